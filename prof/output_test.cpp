#include "output.h"

#include "runtime.h"
#include "test_support.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using test_support::TemporaryDirectory;

void printWhole(const void* what) { std::fputs(static_cast<const char*>(what), stdout); }

// Prints half a report, then quits as the entry's TL_quit does: by
// unwinding to the innermost handler area with status 3.
void quitHalfway(const void*) {
    std::fputs("half a rep", stdout);
    std::fflush(stdout);
    TL_handlerArea->quitCode = 3;
    longjmp(TL_handlerArea->env, 3);
}

std::string textOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The names in a folder, in the order of their bytes.
std::string namesIn(const std::string& folder) {
    std::string names;
    struct dirent** list = nullptr;
    const int count = scandir(folder.c_str(), &list, nullptr, alphasort);
    for (int k = 0; k < count; ++k) {
        if (list[k]->d_name[0] != '.') names += std::string(names.empty() ? "" : " ") + list[k]->d_name;
        std::free(list[k]);
    }
    std::free(list);
    return names;
}

// Each report is printed in a child, which ends with status 0 when
// printReport returns there with standard output back where it was.
void printInChild(const std::string& name, const std::string& input, void (*print)(const void*),
                  const char* text) {
    struct stat before;
    fstat(STDOUT_FILENO, &before);
    const char* const inputs[] = {input.c_str()};
    printReport(name.c_str(), inputs, 1, print, text);
    struct stat after;
    fstat(STDOUT_FILENO, &after);
    std::fflush(nullptr);
    std::_Exit(after.st_ino == before.st_ino && after.st_dev == before.st_dev ? 0 : 9);
}

// A report replaces its file whole, keeping the file's mode and links, or
// leaves it as it was when the printing quits; nothing else stays behind.
TEST(Output, AReportReplacesItsFileWholeOrLeavesItAsItWas) {
    struct {
        const char* label;
        const char* old;  // the file's text before, or null for none
        bool linked;      // a second name for the file, so it is written in place
        bool quits;
        int status;
        const char* after;
        const char* names;
    } const cases[] = {
        {"a new file", nullptr, false, false, 0, "report\n", "in.prof report.txt"},
        {"an old file", "old\n", false, false, 0, "report\n", "in.prof report.txt"},
        {"in place", "old text\n", true, false, 0, "report\n", "in.prof link report.txt"},
        {"in place, longer", "x\n", true, false, 0, "report\n", "in.prof link report.txt"},
        {"quits over an old file", "old\n", false, true, 3, "old\n", "in.prof report.txt"},
        {"quits in place", "old\n", true, true, 3, "old\n", "in.prof link report.txt"},
        {"quits with no file", nullptr, false, true, 3, "", "in.prof"},
    };
    for (const auto& c : cases) {
        TemporaryDirectory dir;
        ASSERT_FALSE(dir.path().empty());
        const std::string name = dir.path("report.txt"), input = dir.path("in.prof");
        std::ofstream(input) << "rule 1 1 1 1 1 1 1\n";
        if (c.old != nullptr) {
            std::ofstream(name) << c.old;
            ASSERT_EQ(chmod(name.c_str(), 0640), 0);
        }
        if (c.linked) {
            ASSERT_EQ(link(name.c_str(), dir.path("link").c_str()), 0);
        }
        EXPECT_EXIT(printInChild(name, input, c.quits ? quitHalfway : printWhole, "report\n"),
                    ::testing::ExitedWithCode(c.status), "")
            << c.label;
        EXPECT_EQ(textOf(name), c.after) << c.label;
        if (c.linked) {
            EXPECT_EQ(textOf(dir.path("link")), c.after) << c.label;
        }
        EXPECT_EQ(namesIn(dir.path()), c.names) << c.label;
        struct stat file;
        if (c.old != nullptr && stat(name.c_str(), &file) == 0) {
            EXPECT_EQ(file.st_mode & 07777, 0640u) << c.label;
        }
    }
}

// What is refused is refused before anything is written, saying why.
TEST(Output, AnOutputThatCannotBeIsRefusedBeforeAnythingIsWritten) {
    test_support::resetStreamTable();
    TemporaryDirectory dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string input = dir.path("in.prof");
    std::ofstream(input) << "rule 1 1 1 1 1 1 1\n";
    ASSERT_EQ(symlink("in.prof", dir.path("alias").c_str()), 0);
    EXPECT_EXIT(printInChild(dir.path("alias"), input, printWhole, "report\n"), ::testing::ExitedWithCode(1),
                "^QAVPROF: Output would overwrite the input: .*/alias\n$");
    EXPECT_EXIT(printInChild(dir.path("none/report.txt"), input, printWhole, "report\n"),
                ::testing::ExitedWithCode(1),
                "^QAVPROF: Unable to create .*/none/report.txt\n  \\(No such file or directory\\)\n$");
    EXPECT_EQ(textOf(input), "rule 1 1 1 1 1 1 1\n");
    EXPECT_EQ(namesIn(dir.path()), "alias in.prof");
}

}  // namespace
