#include "load.h"
#include "order.h"
#include "entries_test_support.h"
#include "test_support.h"

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include <gtest/gtest.h>

using test_support::streamOver;

namespace {

TEST(Rewrite, ReplacesTheFirstDoubleUnderscoreOfListAndRepeatNames) {
    struct {
        const char* word;
        bool parse;
        const char* stored;
    } const cases[] = {
        {"repeat__expression", true, "repeat expression"},
        {"repeat__expression", false, "repeat__expression"},
        {"list__statement", true, "list statement"},
        {"list__statement", false, "list statement"},
        {"list__", false, "list "},
        {"repeat__list__item", true, "repeat list__item"},
        {"my_list__x", true, "my_list__x"},
        {"list_x", true, "list_x"},
        {"repeat_x__y", true, "repeat_x__y"},
        {"", true, ""},
    };
    for (const auto& c : cases) {
        TL_string name;
        std::strcpy(name, c.word);
        rewriteName(name, c.parse);
        EXPECT_STREQ(name, c.stored) << c.word << " " << c.parse;
    }
}

// The profile the last load read.
Profile& loaded() {
    static const std::unique_ptr<Profile> profile = std::make_unique<Profile>();
    return *profile;
}

void load(const std::string& text, bool parse = false) {
    loadProfile(streamOver(text), parse, loaded());
}

// Random profiles of the words, numbers and separators that matter to the
// reads: signs, numbers past 32 bits, bytes 255 and 0, carriage returns,
// words past 255 characters, more records than the table holds, and block
// boundaries falling anywhere.
std::string randomProfile(std::mt19937& random) {
    static const char* const pieces[] = {
        " ", "\t", "\n", "\r\n", "\f", "\v", "\xff", "" /* a zero byte */,
        "-", "+", "-7", "+12", "4294967295", "4294967296", "99999999999999",
        "0", "42", "list__x", "repeat__y", "r", "x1", "\xfe\xff"};
    std::string text;
    // A zero byte ends the reading: most profiles have none.
    const bool zeros = random() % 4 == 0;
    const std::size_t size = random() % 4 == 0 ? 2 * profileBlockBytes + random() % 1000
                                               : random() % 3000;
    while (text.size() < size) {
        const std::uint32_t pick = random() % 30;
        if (pick < 22) text += pick == 7 ? std::string(1, zeros ? '\0' : ' ') : pieces[pick];
        else if (pick < 24) text += std::string(random() % 400, 'n');
        else text += "rule " + std::to_string(random()) + " 1 2 3 4 5 6\n";
    }
    return text;
}

TEST(Load, TakesWhatTheStreamReadsTake) {
    std::mt19937 random(3);
    for (int round = 0; round < 300; ++round) {
        const std::string text = randomProfile(random);
        const bool parse = round % 2 == 0;
        bool more = false;
        const std::vector<test_support::StreamRecord> expected =
            test_support::loadWithStreamReads(streamOver(text), parse, more);
        load(text, parse);
        // A zero byte ends the reading: such a file is no profile.
        if (text.find('\0') != std::string::npos) {
            EXPECT_TRUE(loaded().binary) << round;
            continue;
        }
        EXPECT_FALSE(loaded().binary) << round;
        ASSERT_EQ(loaded().entryCount, static_cast<std::int32_t>(expected.size())) << round;
        EXPECT_EQ(loaded().moreRecords, more) << round;
        for (std::int32_t p = 1; p <= loaded().entryCount; ++p) {
            const test_support::StreamRecord& record = expected[p - 1];
            const ProfileEntry& e = loaded().entries[p];
            const std::uint64_t counters[] = {e.calls, e.matched, e.cycles, e.backtracks,
                                              e.time, e.treeNodes, e.kidCells};
            ASSERT_EQ(e.name, record.name) << round << " record " << p;
            for (int i = 0; i < 7; ++i)
                ASSERT_EQ(counters[i], record.counters[i]) << round << " record " << p;
        }
    }
}

TEST(Load, ReadsRecordsAfterTheHeaderLine) {
    load("header 1 2 3 4 5 6 7\nexpression 120 118 530 402 75 240 960\n"
         "  list__a 1 2 3 4 5 6 7   \n\n");
    ASSERT_EQ(loaded().entryCount, 2);
    const ProfileEntry& e = loaded().entries[1];
    EXPECT_STREQ(e.name, "expression");
    const std::uint64_t counters[] = {e.calls, e.matched, e.cycles, e.backtracks,
                                      e.time, e.treeNodes, e.kidCells};
    const std::uint64_t expected[] = {120, 118, 530, 402, 75, 240, 960};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(counters[i], expected[i]) << i;
    EXPECT_STREQ(loaded().entries[2].name, "list a");
    EXPECT_EQ(loaded().entries[2].kidCells, 7u);
}

TEST(Load, CarriageReturnsEndRecordsAsNewlinesDo) {
    load("header\r\na 1 2 3 4 5 6 7\r\nb 8 9 10 11 12 13 14\r\n");
    ASSERT_EQ(loaded().entryCount, 2);
    EXPECT_STREQ(loaded().entries[2].name, "b");
    EXPECT_EQ(loaded().entries[2].kidCells, 14u);
    EXPECT_FALSE(loaded().moreRecords);
}

TEST(Load, EdgesOfTheFile) {
    load("");
    EXPECT_EQ(loaded().entryCount, 0);
    load("only a header\n");
    EXPECT_EQ(loaded().entryCount, 0);
    // A word that is no number stays 0 and becomes the next record's name.
    load("h\na 1 x 3\n");
    ASSERT_EQ(loaded().entryCount, 2);
    EXPECT_EQ(loaded().entries[1].calls, 1u);
    EXPECT_EQ(loaded().entries[1].matched, 0u);
    EXPECT_STREQ(loaded().entries[2].name, "x");
    EXPECT_EQ(loaded().entries[2].calls, 3u);
    // A header longer than 255 bytes leaves its rest as record data.
    load(std::string(255, 'h') + "rest 1 2 3 4 5 6 7\n");
    ASSERT_EQ(loaded().entryCount, 1);
    EXPECT_STREQ(loaded().entries[1].name, "rest");
}

TEST(Load, AnOverlongNameKeeps255CharactersAndTheCounters) {
    load("h\nlist__" + std::string(300, 'n') + " 1 2 3 4 5 6 7\nnext 9 0 0 0 0 0 0\n");
    ASSERT_EQ(loaded().entryCount, 2);
    EXPECT_EQ(std::string(loaded().entries[1].name), "list " + std::string(249, 'n'));
    EXPECT_EQ(loaded().entries[1].kidCells, 7u);
    EXPECT_STREQ(loaded().entries[2].name, "next");
}

TEST(Load, StopsAfter4096Records) {
    std::string text = "header\n";
    for (int i = 1; i <= 4100; ++i) text += "r" + std::to_string(i) + " 1 1 1 1 1 1 1\n";
    load(text);
    EXPECT_EQ(loaded().entryCount, 4096);
    EXPECT_STREQ(loaded().entries[4096].name, "r4096");
    EXPECT_TRUE(loaded().moreRecords);
}

}  // namespace

namespace {

TEST(Load, FindsTheFirstRecordThatIsNotANameAndSevenCounters) {
    struct {
        const char* text;
        std::int32_t oddLine;
    } const cases[] = {
        {"h\na 1 2 3 4 5 6 7\n", 0},
        {"h\r\na 1 2 3 4 5 6 7\r\nb 1 2 3 4 5 6 7\r\n", 0},
        {"h\na 1 2 3 4 5 6 7 b 1 2 3 4 5 6 7\n\n\n", 0},  // records apart by blanks
        {"h\n", 0},
        {"", 0},
        {"h\na 1 2 3 4 5 6 7\nb 1 2 3\n", 3},              // too few counters
        {"h\na 1 2 3 4 5 6 7\nb 1 2 3 4 5 6 7", 3},         // no line end: cut short
        {"h\na 1 2 3 4 5 6 7\nb 1 2 3 4 5 6", 3},
        {"h\nfoo 1 2 x 4 5 6 7\nbar 1 2 3 4 5 6 7\n", 2},  // a word for a number
        {"h\na 1 2 3x 4 5 6 7\n", 2},
        {"h\na 1 2 -3 4 5 6 7\n", 2},                      // no counter has a sign
        {"h\na 1 2 +3 4 5 6 7\n", 2},
        {"h\n\n\na 1 2 3 4 5 6 7\nb\n1 2 3 4 5 6 7\nc x\n", 7},  // lines counted across blanks
        {"h\na\t1\t2\t3\t4\t5\t6\t7\nb 1 2 3 4 5 6 7 8\n", 3},
    };
    for (const auto& c : cases) {
        load(c.text);
        EXPECT_EQ(loaded().oddLine, c.oddLine) << c.text;
    }
}

}  // namespace
