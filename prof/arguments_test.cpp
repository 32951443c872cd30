#include "arguments.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string sourceFile(const char* path) {
    std::ifstream in(std::string(QAV_SOURCE_DIR) + "/" + path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whether word stands in text with no letter, digit or dash next to it,
// so that "-o" is not found inside "-top" or "--version".
bool mentions(const std::string& text, const std::string& word) {
    const auto part = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_'; };
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const bool before = at > 0 && part(text[at - 1]) && text[at - 1] != '-';
        const std::size_t end = at + word.size();
        if (!before && (end == text.size() || !part(text[end])) && (at == 0 || text[at - 1] != '-'))
            return true;
    }
    return false;
}

TEST(Arguments, TheInvalidFlagMessageListsTheTable) {
    char list[optionListRoom];
    EXPECT_STREQ(optionList(list),
                 "-parse, -time, -space, -calls, -cycles, -eff, -percall, -top N, -csv, -json, -html, "
                 "-md, -diff OLD, -fail PCT, -history POINT, -o FILE, -q, -h, --version");
}

// Every option of the table is in --help, the manual page and each shell's
// completions; the manual writes a dash as "\-".
TEST(Arguments, HelpManualAndCompletionsHaveEveryOption) {
    struct {
        const char* what;
        std::string text;
        bool manual;
    } const places[] = {
        {"--help", helpText, false},
        {"prof/qavprof.1", sourceFile("prof/qavprof.1"), true},
        {"completions/qavprof.bash", sourceFile("completions/qavprof.bash"), false},
        {"completions/_qavprof", sourceFile("completions/_qavprof"), false},
        {"completions/qavprof.fish", sourceFile("completions/qavprof.fish"), false},
    };
    for (const auto& place : places) {
        ASSERT_FALSE(place.text.empty()) << place.what;
        for (std::int32_t k = 0; k < optionCount; ++k) {
            std::string option = optionTable[k].text, other = option;
            // fish names an option without its dashes: -o time, -s h, -l version.
            if (std::strcmp(place.what, "completions/qavprof.fish") == 0) {
                other = "-s " + option.substr(1);
                option = option[1] == '-' ? "-l " + option.substr(2) : "-o " + option.substr(1);
            }
            if (place.manual)
                for (std::size_t at = 0; (at = option.find('-', at)) != std::string::npos; at += 2)
                    option.insert(at, "\\");
            EXPECT_TRUE(mentions(place.text, option) || mentions(place.text, other))
                << option << " is not in " << place.what;
        }
    }
}

}  // namespace
