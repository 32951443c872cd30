#include "tool.h"

#include "runtime.h"

#include <cstdio>
#include <cstdlib>

#include <string>

#include <gtest/gtest.h>

namespace {

// What TL_say writes on standard error (stream 0), caught in memory.
std::string said(const char* name) {
    char* buffer = nullptr;
    std::size_t size = 0;
    FILE* const saved = TL_files[2];
    TL_files[2] = open_memstream(&buffer, &size);
    TL_say("tool: ", {"Unable to open '", name, "'"});
    std::fclose(TL_files[2]);
    TL_files[2] = saved;
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

// A message is one line: control characters in its pieces are escaped,
// everything else (UTF-8 included) written as it is.
TEST(Tool, MessagesEscapeControlCharacters) {
    const struct {
        const char* name;
        const char* shown;
    } cases[] = {
        {"plain name.prof", "plain name.prof"},
        {"two\nlines", "two\\nlines"},
        {"tab\there\r", "tab\\there\\r"},
        {"bell\a and \x1b[31m", "bell\\x07 and \\x1B[31m"},
        {"del\x7f", "del\\x7F"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(said(c.name), std::string("tool: Unable to open '") + c.shown + "'\n") << c.name;
}

}  // namespace
