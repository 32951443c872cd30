#include "replace.h"

#include "convert.h"
#include "test_support.h"

#include <csignal>
#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/resource.h>
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

}  // namespace

// Close and rename as the tests make them fail or watch them (the test
// binary is linked with --wrap=close,--wrap=fdatasync,--wrap=renameat).
extern "C" int __real_close(int fd);
extern "C" int __real_fdatasync(int fd);
extern "C" int __real_renameat(int from, const char* a, int to, const char* b);
namespace {
int closeFailsFor = -1, syncFailsFor = -1;
// The rename that fails, counting from 1 (0: none), and the calls so far.
int renameFails = 0, renames = 0;
int (*onRename)(int folder) = nullptr;
}  // namespace
extern "C" int __wrap_close(int fd) {
    const int result = __real_close(fd);
    if (fd != closeFailsFor) return result;
    errno = EIO;
    return -1;
}
extern "C" int __wrap_fdatasync(int fd) {
    if (fd != syncFailsFor) return __real_fdatasync(fd);
    errno = EIO;
    return -1;
}
extern "C" int __wrap_renameat(int from, const char* a, int to, const char* b) {
    if (++renames == renameFails) {
        errno = EIO;
        return -1;
    }
    const int result = __real_renameat(from, a, to, b);
    if (onRename != nullptr) onRename(from);
    return result;
}

namespace {

// Writes text as a complete output named name, as qavcvt does; the result
// of the commit.
bool replace(const std::string& name, const std::string& text, bool keep = false) {
    OutputFile file;
    if (openOutputFile(name.c_str(), inputStat(), keep, file) != OutputOpened::ok) return false;
    const auto c = std::make_unique<Conversion>();
    beginOutput(*c, file.fd,
                file.temporaryName != nullptr ? OutputStart::newFile
                : !file.inPlace               ? OutputStart::stream
                : keep                        ? OutputStart::keepInPlace
                                              : OutputStart::inPlace,
                file.mark);
    putOutput(*c, text.c_str());
    OutputFile* const files[] = {&file};
    const bool committed = endOutput(*c) == ConvertResult::done &&
                           commitOutputFiles(files, 1, keep) < 0;
    abandonOutputFile(file);
    releaseOutputFile(file);
    return committed;
}

ino_t inodeOf(const std::string& path) {
    struct stat s {};
    stat(path.c_str(), &s);
    return s.st_ino;
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
    // The temporary file says which tool made it.
    nameOutputs("qavprof", "QAVPROF: ");
    ASSERT_EQ(openOutputFile(dir.path("out.c").c_str(), inputStat(), false, file),
              OutputOpened::ok);
    ASSERT_NE(file.temporaryName, nullptr);
    EXPECT_EQ(std::string(file.temporaryName).find("out.c.qavprof-"), 0u);
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
    // Held open, so that a new file cannot get its inode number once freed.
    const int held = open(out.c_str(), O_RDONLY);
    // Equal text kept: the same file; another text of the same length, a
    // longer or a shorter one replaces it.
    EXPECT_TRUE(replace(out, "same text", true));
    ASSERT_EQ(stat(out.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    for (const char* text : {"same test", "same test and more", "same"}) {
        EXPECT_TRUE(replace(out, text, true));
        EXPECT_EQ(slurp(out), text);
    }
    ASSERT_EQ(stat(out.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(listing(dir.path()), "out.c ");
    close(held);
}

TEST(Replace, AHardLinkedFileIsWrittenInPlaceAndKeepsItsLinks) {
    test_support::TemporaryDirectory dir;
    const std::string out = dir.path("out.c"), other = dir.path("other.c");
    spill(out, "the old text, longer than the new");
    ASSERT_EQ(link(out.c_str(), other.c_str()), 0);
    const ino_t inode = inodeOf(out);
    // Written, kept when the same, and rewritten from where it differs:
    // longer, shorter, the same length.
    const char* const texts[][2] = {{"new", "0"},   {"new", "1"},      {"news", "0"},
                                    {"now", "1"},   {"now and more", "1"}, {"now", "1"}};
    for (const auto& [text, keep] : texts) {
        EXPECT_TRUE(replace(out, text, keep[0] == '1')) << text;
        EXPECT_EQ(slurp(other), text);
        EXPECT_EQ(inodeOf(out), inode);
    }
    EXPECT_EQ(listing(dir.path()), "other.c out.c ");
}

TEST(Replace, LinkLoopsAreRefusedAndNothingIsWritten) {
    test_support::TemporaryDirectory dir;
    ASSERT_EQ(symlink("loop2", dir.path("loop1").c_str()), 0);
    ASSERT_EQ(symlink("loop1", dir.path("loop2").c_str()), 0);
    ASSERT_EQ(symlink("loop1", dir.path("into").c_str()), 0);
    OutputFile file;
    for (const char* name : {"loop1", "into"}) {
        EXPECT_EQ(openOutputFile(dir.path(name).c_str(), inputStat(), false, file),
                  OutputOpened::linkLoop);
        releaseOutputFile(file);
    }
    EXPECT_EQ(listing(dir.path()), "into loop1 loop2 ");
}

TEST(Replace, AFailedFlushCloseOrRenameLeavesBothOldTexts) {
    // A close can report a write that failed late, a flush a disk that
    // failed; a rename can fail before the header's (which then must not
    // go on) or after the C file's went through (which is then undone):
    // neither output keeps a new text, and no temporary file stays.
    const struct {
        const char* what;
        int* failsFor;  // set to the header's descriptor
        int renameFails;
        int failing;    // the output the commit names
        int renamed;    // renames tried, the undoing included
    } failures[] = {{"close", &closeFailsFor, 0, 1, 0}, {"flush", &syncFailsFor, 0, 1, 0},
                    {"first rename", nullptr, 1, 0, 1}, {"second rename", nullptr, 2, 1, 3}};
    for (const auto& failure : failures) {
        test_support::TemporaryDirectory dir;
        spill(dir.path("out.c"), "old");
        spill(dir.path("out.h"), "old header");
        OutputFile c, h;
        ASSERT_EQ(openOutputFile(dir.path("out.c").c_str(), inputStat(), false, c), OutputOpened::ok);
        ASSERT_EQ(openOutputFile(dir.path("out.h").c_str(), inputStat(), false, h), OutputOpened::ok);
        ASSERT_EQ(write(c.fd, "new", 3), 3);
        ASSERT_EQ(write(h.fd, "new", 3), 3);
        if (failure.failsFor != nullptr) *failure.failsFor = h.fd;
        renames = 0;
        renameFails = failure.renameFails;
        OutputFile* const both[] = {&c, &h};
        EXPECT_EQ(commitOutputFiles(both, 2, false), failure.failing) << failure.what;
        EXPECT_EQ(renames, failure.renamed) << failure.what;
        closeFailsFor = syncFailsFor = -1;
        renameFails = 0;
        releaseOutputFile(c);
        releaseOutputFile(h);
        EXPECT_EQ(slurp(dir.path("out.c")), "old") << failure.what;
        EXPECT_EQ(slurp(dir.path("out.h")), "old header") << failure.what;
        EXPECT_EQ(listing(dir.path()), "out.c out.h ") << failure.what;
    }
}

TEST(Replace, AnOutputInPlaceIsMarkedUntilEveryOutputIsComplete) {
    // Linked, so written in place: from the first write on it starts with
    // a line no compiler takes and holds nothing of the old text after the
    // new; the commit puts the first line back. With -keep, the same from
    // where the texts differ.
    test_support::TemporaryDirectory dir;
    const std::string out = dir.path("out.c"), text(std::string(40, '/') + "\nnew text\n");
    const struct {
        const char* old;
        bool keep;
    } cases[] = {{"an old text, longer than the first line, and longer than the new one", false},
                 {"////////////////////////////////////////\nold text and a tail\n", true}};
    for (const auto& [old, keep] : cases) {
        spill(out, old);
        ASSERT_EQ(link(out.c_str(), dir.path("other.c").c_str()), 0);
        OutputFile file;
        ASSERT_EQ(openOutputFile(out.c_str(), inputStat(), keep, file), OutputOpened::ok);
        ASSERT_TRUE(file.inPlace);
        const auto c = std::make_unique<Conversion>();
        beginOutput(*c, file.fd, keep ? OutputStart::keepInPlace : OutputStart::inPlace, file.mark);
        putOutput(*c, text.c_str());
        ASSERT_EQ(endOutput(*c), ConvertResult::done);
        EXPECT_EQ(slurp(out), unfinishedLine + text.substr(markLength)) << keep;
        EXPECT_TRUE(leftIncomplete(file));
        OutputFile* const files[] = {&file};
        EXPECT_EQ(commitOutputFiles(files, 1, keep), -1);
        EXPECT_FALSE(leftIncomplete(file));
        releaseOutputFile(file);
        EXPECT_EQ(slurp(dir.path("other.c")), text);
        unlink(dir.path("other.c").c_str());
    }
}

TEST(Replace, TheWriterInPlaceLeavesTheOldTextTheMarkOrTheNewText) {
    // The writer alone, as any tool uses it, in pieces whose first holds
    // the first line where the text has one (as the writer asks): from
    // the first byte it changes to the finish, the file starts with the
    // writer's mark and holds nothing of the old text after the new; an
    // unchanged text under -keep is never touched.
    test_support::TemporaryDirectory dir;
    const std::string out = dir.path("out.txt");
    const std::string mark = std::string(markLength - 1, 'M') + "\n";
    const std::string text = std::string(50, 'n') + "\nnew\n";
    const struct {
        const char* what;
        std::string old, text;
        std::size_t piece;
        bool keep;
    } cases[] = {
        {"longer old text, one piece", std::string(200, 'o'), text, 1000, false},
        {"shorter old text, pieces of a mark's length", "old\n", text, markLength, false},
        {"a text shorter than the mark", std::string(80, 'o'), "short\n", 3, false},
        {"-keep, differing after the mark", std::string(50, 'n') + "\nold and a tail\n", text, 10, true},
        {"-keep, the same text", text, text, 5, true},
        {"-keep, the new text and more", text + "and a tail\n", text, 20, true},
    };
    for (const auto& c : cases) {
        spill(out, c.old);
        const int fd = open(out.c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        InPlaceMark held{};
        OutputWriter writer;
        beginText(writer, fd, c.keep ? OutputStart::keepInPlace : OutputStart::inPlace, held, mark.c_str());
        for (std::size_t at = 0; at < c.text.size(); at += c.piece) {
            writeText(writer, c.text.data() + at, std::min(c.piece, c.text.size() - at));
            const std::string now = slurp(out);
            const std::string written = c.text.substr(0, at + std::min(c.piece, c.text.size() - at));
            if (now == c.old) continue;
            EXPECT_TRUE(held.unfinished) << c.what;
            // Marked where the text has a first line; else only cut.
            if (c.text.size() >= markLength) {
                EXPECT_EQ(now.substr(0, markLength), mark) << c.what << " at " << at;
            }
            EXPECT_EQ(now.substr(std::min(now.size(), markLength)),
                      written.substr(std::min(written.size(), markLength))) << c.what << " at " << at;
        }
        EXPECT_TRUE(endText(writer)) << c.what;
        EXPECT_TRUE(finishInPlace(fd, held)) << c.what;
        close(fd);
        EXPECT_EQ(slurp(out), c.text) << c.what;
        EXPECT_FALSE(held.unfinished) << c.what;
        if (c.old == c.text) {
            EXPECT_FALSE(writer.started) << c.what;
        }
    }
}

// A write in place that fails puts the old text back where nothing but
// the mark changed (a file no longer than the mark included); once the
// old tail is cut, or where the marked file cannot be flushed, the file
// keeps the mark and is said to be incomplete.
TEST(Replace, AFailureInPlaceLeavesTheOldTextOrTheMark) {
    const std::string text(std::string(40, '/') + "\nnew text\n");
    const struct {
        const char* what;
        std::string old;
        bool keep;
        rlim_t limit;     // the file-size limit while writing; 0 for none
        bool syncFails;   // the flush after marking fails
        bool restored;
    } cases[] = {
        {"only the mark changed", text.substr(0, 45), true, 45, false, true},
        {"an old file shorter than the mark", "int old = 1;\n", false, 36, false, true},
        {"the mark itself cut short", "int old = 1;\n", false, 20, false, true},
        {"the old tail cut", std::string(200, 'o'), false, 36, false, false},
        {"the mark not flushed", std::string(200, 'o'), false, 0, true, false},
    };
    for (const auto& k : cases) {
        test_support::TemporaryDirectory dir;
        const std::string out = dir.path("out.c");
        spill(out, k.old);
        ASSERT_EQ(link(out.c_str(), dir.path("other.c").c_str()), 0);
        OutputFile file;
        ASSERT_EQ(openOutputFile(out.c_str(), inputStat(), k.keep, file), OutputOpened::ok) << k.what;
        const auto c = std::make_unique<Conversion>();
        beginOutput(*c, file.fd, k.keep ? OutputStart::keepInPlace : OutputStart::inPlace, file.mark);
        putOutput(*c, text.c_str());
        rlimit limit{}, old{};
        getrlimit(RLIMIT_FSIZE, &old);
        limit = {k.limit, old.rlim_max};
        const auto ignored = std::signal(SIGXFSZ, SIG_IGN);
        if (k.limit != 0) setrlimit(RLIMIT_FSIZE, &limit);
        if (k.syncFails) syncFailsFor = file.fd;
        EXPECT_EQ(endOutput(*c), ConvertResult::writeFailed) << k.what;
        syncFailsFor = -1;
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, ignored);
        EXPECT_EQ(leftIncomplete(file), !k.restored) << k.what;
        abandonOutputFile(file);
        releaseOutputFile(file);
        const std::string now = slurp(out);
        if (k.restored) {
            EXPECT_EQ(now, k.old) << k.what;
        } else {
            EXPECT_EQ(now.substr(0, 7), "#error ") << k.what;
        }
    }
}

// What the folder held when a signal sent during the first rename was
// handled.
std::string* seenBySignal;
const char* watchedFolder;
bool renamedUnlocked = false;

TEST(Replace, ACFileAndItsHeaderChangeTogether) {
    test_support::TemporaryDirectory dir;
    spill(dir.path("out.c"), "old");
    spill(dir.path("out.h"), "old");
    std::string seen;
    seenBySignal = &seen;
    const std::string folder = dir.path();
    watchedFolder = folder.c_str();
    struct sigaction action {}, old;
    action.sa_handler = [](int) {
        *seenBySignal = slurp(std::string(watchedFolder) + "/out.c") +
                        slurp(std::string(watchedFolder) + "/out.h");
    };
    sigaction(SIGUSR2, &action, &old);
    OutputFile c, h;
    ASSERT_EQ(openOutputFile(dir.path("out.c").c_str(), inputStat(), false, c), OutputOpened::ok);
    ASSERT_EQ(openOutputFile(dir.path("out.h").c_str(), inputStat(), false, h), OutputOpened::ok);
    ASSERT_EQ(write(c.fd, "C", 1), 1);
    ASSERT_EQ(write(h.fd, "H", 1), 1);
    // No other run can rename into the folder meanwhile.
    onRename = [](int folder) {
        const int other = openat(folder, ".", O_RDONLY | O_DIRECTORY);
        if (flock(other, LOCK_EX | LOCK_NB) == 0) renamedUnlocked = true;
        close(other);
        return raise(SIGUSR2);
    };
    OutputFile* const both[] = {&c, &h};
    EXPECT_EQ(commitOutputFiles(both, 2, false), -1);
    onRename = nullptr;
    sigaction(SIGUSR2, &old, nullptr);
    releaseOutputFile(c);
    releaseOutputFile(h);
    EXPECT_EQ(seen, "CH");
    EXPECT_FALSE(renamedUnlocked);
}

TEST(Replace, DevicesAndTheInputAreNotReplaced) {
    OutputFile file;
    // A device is written in place, and nothing is removed after.
    ASSERT_EQ(openOutputFile("/dev/null", inputStat(), false, file), OutputOpened::ok);
    EXPECT_EQ(file.temporaryName, nullptr);
    EXPECT_FALSE(file.regular);
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
    EXPECT_EQ(openOutputFile(dir.path("out.c").c_str(), input, false, file),
              OutputOpened::sameAsInput);
    // So is any of several inputs.
    const struct stat inputs[] = {inputStat(), input};
    EXPECT_EQ(openOutputFile(dir.path("out.c").c_str(), inputs, 2, false, file),
              OutputOpened::sameAsInput);
    ASSERT_EQ(mkdir(dir.path("folder").c_str(), 0755), 0);
    EXPECT_EQ(openOutputFile(dir.path("folder").c_str(), inputStat(), false, file),
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
