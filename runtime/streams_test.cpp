#include "runtime.h"
#include "test_support.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace test_support;

namespace {

class Streams : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(directory_.path().empty());
        resetStreamTable();
    }
    void TearDown() override { resetStreamTable(); }
    std::string path(const std::string& name) const { return directory_.path(name); }
    std::string file(const std::string& name, const std::string& contents) const {
        std::ofstream(path(name), std::ios::binary) << contents;
        return path(name);
    }
    std::string contents(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    TemporaryDirectory directory_;
};

TEST_F(Streams, OpenHandsOutStreamsFromNextfileAndReusesFailures) {
    std::int32_t first = -1, second = -1, missing = -1, again = -1;
    TL_open(TL_modeTextOut, path("a").c_str(), first);
    TL_open(TL_modeTextOut, path("b").c_str(), second);
    EXPECT_EQ(first, 3);
    EXPECT_EQ(second, 4);

    TL_open(TL_modeTextIn, path("missing").c_str(), missing);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(std::string(TL_filenames[5 + 2]), path("missing"));  // keeps the name
    TL_open(TL_modeTextIn, path("a").c_str(), again);
    EXPECT_EQ(again, 5);  // the failed stream is free again

    TL_close(first);
    TL_open(TL_modeTextIn, path("a").c_str(), again);
    EXPECT_EQ(again, 3);
}

TEST_F(Streams, OpenStartsAfterTheCommandLineNames) {
    TL_nextfile = 4;  // one name on the command line
    std::int32_t s = -1;
    TL_open(TL_modeTextOut, path("a").c_str(), s);
    EXPECT_EQ(s, 4);
    TL_open(TL_modeTextOut, path("b").c_str(), s);
    EXPECT_EQ(s, 5);
}

TEST_F(Streams, OpenRefusesUnknownModesAndAFullTable) {
    std::int32_t s = -1;
    TL_open(6, path("a").c_str(), s);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(access(path("a").c_str(), F_OK), -1);

    for (std::int32_t expected = 3; expected <= 21; ++expected) {
        TL_open(TL_modeBinaryOut, path("f" + std::to_string(expected)).c_str(), s);
        ASSERT_EQ(s, expected);
    }
    TL_open(TL_modeBinaryOut, path("one-more").c_str(), s);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(TL_files[24], nullptr);  // stream 22 is never handed out

    TL_nextfile = 30;
    TL_close(3);
    TL_open(TL_modeTextIn, path("f4").c_str(), s);
    EXPECT_EQ(s, 0);
}

TEST_F(Streams, OpenCutsAnOverlongNameCopyAt255) {
    std::string name = path(std::string(200, 'n')) + "/" + std::string(100, 'm');
    std::int32_t s = -1;
    TL_open(TL_modeTextIn, name.c_str(), s);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(std::string(TL_filenames[3 + 2]), name.substr(0, 255));
}

TEST_F(Streams, EofPeeksWithoutConsuming) {
    std::int32_t s = -1;
    TL_open(TL_modeTextIn, file("empty", "").c_str(), s);
    EXPECT_TRUE(TL_eof(s));
    EXPECT_EQ(TL_TLI_lookahead, -1);

    TL_open(TL_modeTextIn, file("x", "x").c_str(), s);
    EXPECT_FALSE(TL_eof(s));
    EXPECT_EQ(TL_TLI_lookahead, 'x');
    TL_string word = "";
    TL_getToken(s, word);
    EXPECT_STREQ(word, "x");
    EXPECT_TRUE(TL_eof(s));

    TL_open(TL_modeBinaryIn, file("ff", "\xff").c_str(), s);
    EXPECT_FALSE(TL_eof(s));
    EXPECT_EQ(TL_TLI_lookahead, 255);
}

TEST_F(Streams, CloseWritesOutAndForgetsTheName) {
    std::int32_t s = -1;
    TL_open(TL_modeTextOut, path("out").c_str(), s);
    TL_ensureOpen(s, TL_kindTextOut);
    TL_putText(s, "hello", 0);
    TL_putNewline(s);
    TL_close(s);
    EXPECT_EQ(contents("out"), "hello\n");
    EXPECT_EQ(TL_files[s + 2], nullptr);
    EXPECT_STREQ(TL_filenames[s + 2], "");
    EXPECT_EQ(TL_filemode[s + 2], 1);
}

TEST_F(Streams, EnsureOpenOpensARecordedName) {
    TL_filenames[3] = "";
    std::string name = file("in", "word 17\n");
    TL_filenames[3] = name.c_str();
    TL_ensureOpen(1, TL_kindTextIn);
    TL_string word;
    std::uint32_t number = 0;
    TL_getToken(1, word);
    TL_getNat(1, number);
    EXPECT_STREQ(word, "word");
    EXPECT_EQ(number, 17u);
    EXPECT_EQ(TL_filemode[3], 0);
    TL_ensureOpen(0, TL_kindTextOut);  // standard error: nothing to do
}

TEST_F(Streams, EnsureOpenEndsTheProcessWhenItCannotOpen) {
    TL_filenames[3] = "/nonexistent/qav-missing";
    EXPECT_EXIT(TL_ensureOpen(1, TL_kindTextIn), ::testing::ExitedWithCode(1),
                "^ERROR: unable to open file\n$");
    EXPECT_EXIT(TL_ensureOpen(2, TL_kindTextIn), ::testing::ExitedWithCode(1),
                "^ERROR: unable to open file\n$");  // unnamed
    EXPECT_EXIT(TL_ensureOpen(1, 9), ::testing::ExitedWithCode(1),
                "ERROR: unable to open file");  // no such kind
}

TEST_F(Streams, OperationsOnStreamsNotOpenDoNothing) {
    for (std::int32_t s : {5, 22, 23, -3, 1000}) {
        EXPECT_TRUE(TL_eof(s));
        TL_putText(s, "x", 3);
        TL_putInt(s, 1, 3);
        TL_putNat(s, 1, 3);
        TL_putReal(s, 1, 3, 1);
        TL_putNewline(s);
        TL_string text = "kept";
        std::uint32_t number = 5;
        TL_getToken(s, text);
        TL_getLine(s, text);
        TL_getNat(s, number);
        TL_readBytes(s, text, 4);
        TL_skipWhitespace(static_cast<std::int16_t>(s));
        TL_close(s);
        EXPECT_STREQ(text, "kept");
        EXPECT_EQ(number, 5u);
    }
}

TEST_F(Streams, FetchArgCopiesArgumentsAndGivesEmptyBeyondThem) {
    std::string longArgument(300, 'a');
    char program[] = "prog", first[] = "-x";
    char* argv[] = {program, first, longArgument.data(), nullptr};
    TL_TLI_TLIARV = argv;
    TL_TLI_TLIARC = 2;
    TL_string text = "garbage";
    TL_fetchArg(0, text);
    EXPECT_STREQ(text, "prog");
    TL_fetchArg(1, text);
    EXPECT_STREQ(text, "-x");
    TL_fetchArg(2, text);
    EXPECT_EQ(std::string(text), longArgument.substr(0, 255));
    TL_fetchArg(3, text);
    EXPECT_STREQ(text, "");
    std::strcpy(text, "garbage");
    TL_fetchArg(-1, text);
    EXPECT_STREQ(text, "");
}

TEST_F(Streams, FlushAllWritesOutputStreams) {
    std::int32_t s = -1;
    TL_open(TL_modeTextOut, path("out").c_str(), s);
    TL_putText(s, "buffered", 0);
    EXPECT_EQ(contents("out"), "");
    TL_flushAll();
    EXPECT_EQ(contents("out"), "buffered");
}

}  // namespace
