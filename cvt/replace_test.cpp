#include "replace.h"

#include "test_support.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string slurp(const std::string& path) {
    std::string text;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return "(none)";
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    std::fclose(file);
    return text;
}

void spill(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fputs(text.c_str(), file);
    std::fclose(file);
}

// The names in a folder, but . and .., sorted.
std::string listing(const std::string& folder) {
    std::string names;
    DIR* dir = opendir(folder.c_str());
    std::vector<std::string> all;
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') all.push_back(entry->d_name);
    closedir(dir);
    std::sort(all.begin(), all.end());
    for (const std::string& name : all) names += name + " ";
    return names;
}

struct stat inputStat() {
    struct stat input {};
    stat("/", &input);  // a file that is none of the outputs
    return input;
}

// Writes text as a complete output named name; the result of the commit.
bool replace(const std::string& name, const std::string& text, bool keep = false) {
    OutputFile file;
    if (openOutputFile(name.c_str(), inputStat(), file) != OutputOpened::ok) return false;
    const bool written = write(file.fd, text.data(), text.size()) ==
                         static_cast<ssize_t>(text.size());
    const bool committed = written && commitOutputFile(file, keep);
    releaseOutputFile(file);
    return committed;
}

TEST(Replace, LinksAreFollowedToTheFileTheyName) {
    // A relative link to a relative link in another folder, and a link to
    // a file that does not exist yet: the files named are written, the
    // links stay links.
    test_support::TemporaryDirectory dir;
    ASSERT_EQ(mkdir(dir.path("sub").c_str(), 0755), 0);
    spill(dir.path("real.c"), "old");
    ASSERT_EQ(symlink("../real.c", dir.path("sub/inner").c_str()), 0);
    ASSERT_EQ(symlink("sub/inner", dir.path("outer").c_str()), 0);
    ASSERT_EQ(symlink("sub/later.c", dir.path("dangling").c_str()), 0);
    EXPECT_TRUE(replace(dir.path("outer"), "new"));
    EXPECT_TRUE(replace(dir.path("dangling"), "made"));
    EXPECT_EQ(slurp(dir.path("real.c")), "new");
    EXPECT_EQ(slurp(dir.path("sub/later.c")), "made");
    struct stat link;
    for (const char* name : {"outer", "sub/inner", "dangling"}) {
        ASSERT_EQ(lstat(dir.path(name).c_str(), &link), 0);
        EXPECT_TRUE(S_ISLNK(link.st_mode)) << name;
    }
    EXPECT_EQ(listing(dir.path()), "dangling outer real.c sub ");
    EXPECT_EQ(listing(dir.path("sub")), "inner later.c ");
}

TEST(Replace, AnAbandonedOutputLeavesTheOldFileAndNoTrace) {
    test_support::TemporaryDirectory dir;
    spill(dir.path("out.c"), "old");
    chmod(dir.path("out.c").c_str(), 0640);
    OutputFile file;
    ASSERT_EQ(openOutputFile(dir.path("out.c").c_str(), inputStat(), file), OutputOpened::ok);
    ASSERT_NE(file.temporaryPath, nullptr);
    EXPECT_EQ(std::string(file.temporaryPath).find(dir.path("out.c.qavcvt-")), 0u);
    ASSERT_EQ(write(file.fd, "cut", 3), 3);
    abandonOutputFile(file);
    releaseOutputFile(file);
    EXPECT_EQ(slurp(dir.path("out.c")), "old");
    EXPECT_EQ(listing(dir.path()), "out.c ");
    // A complete one takes the old file's place and its mode.
    EXPECT_TRUE(replace(dir.path("out.c"), "whole"));
    struct stat replaced;
    ASSERT_EQ(stat(dir.path("out.c").c_str(), &replaced), 0);
    EXPECT_EQ(replaced.st_mode & 07777, 0640u);
    EXPECT_EQ(slurp(dir.path("out.c")), "whole");
}

TEST(Replace, KeepLeavesAnUnchangedFileAsItWas) {
    test_support::TemporaryDirectory dir;
    const std::string out = dir.path("out.c");
    spill(out, "same text");
    struct stat before, after;
    ASSERT_EQ(stat(out.c_str(), &before), 0);
    // Equal text kept: the same file; a longer, a shorter or another text
    // of the same length replaces it.
    EXPECT_TRUE(replace(out, "same text", true));
    ASSERT_EQ(stat(out.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    for (const char* text : {"same text and more", "same", "same test"}) {
        EXPECT_TRUE(replace(out, text, true));
        EXPECT_EQ(slurp(out), text);
    }
    ASSERT_EQ(stat(out.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(listing(dir.path()), "out.c ");
}

TEST(Replace, DevicesAndTheInputAreNotReplaced) {
    OutputFile file;
    // A device is written in place, and nothing is removed after.
    ASSERT_EQ(openOutputFile("/dev/null", inputStat(), file), OutputOpened::ok);
    EXPECT_EQ(file.temporaryPath, nullptr);
    abandonOutputFile(file);
    struct stat device;
    ASSERT_EQ(stat("/dev/null", &device), 0);
    EXPECT_TRUE(S_ISCHR(device.st_mode));
    // The input, even through a link, is refused before anything is made.
    test_support::TemporaryDirectory dir;
    spill(dir.path("in.CQav"), "QAV");
    ASSERT_EQ(symlink("in.CQav", dir.path("out.c").c_str()), 0);
    struct stat input;
    ASSERT_EQ(stat(dir.path("in.CQav").c_str(), &input), 0);
    EXPECT_EQ(openOutputFile(dir.path("out.c").c_str(), input, file), OutputOpened::sameAsInput);
    ASSERT_EQ(mkdir(dir.path("folder").c_str(), 0755), 0);
    EXPECT_EQ(openOutputFile(dir.path("folder").c_str(), inputStat(), file),
              OutputOpened::cannotCreate);
    EXPECT_EQ(listing(dir.path()), "folder in.CQav out.c ");
}

TEST(Replace, TheLongestNameTheSystemTakesGetsATemporaryFileToo) {
    test_support::TemporaryDirectory dir;
    const std::string out = dir.path(std::string(255, 'n'));
    EXPECT_TRUE(replace(out, "text"));
    EXPECT_EQ(slurp(out), "text");
    EXPECT_EQ(listing(dir.path()), std::string(255, 'n') + " ");
}

}  // namespace
