#include "profile.h"
#include "test_support.h"

#include <cstring>
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
        {"", true, ""},
    };
    for (const auto& c : cases) {
        parseProfile = c.parse;
        TL_string name;
        std::strcpy(name, c.word);
        rewriteName(name);
        EXPECT_STREQ(name, c.stored) << c.word << " " << c.parse;
    }
}

void load(const std::string& text, bool parse = false) {
    std::memset(entries, 0, sizeof entries);
    entryCount = 0;
    parseProfile = parse;
    loadProfile(streamOver(text));
}

TEST(Load, ReadsRecordsAfterTheHeaderLine) {
    load("header 1 2 3 4 5 6 7\nexpression 120 118 530 402 75 240 960\n"
         "  list__a 1 2 3 4 5 6 7   \n\n");
    ASSERT_EQ(entryCount, 2);
    const ProfileEntry& e = entries[1];
    EXPECT_STREQ(e.name, "expression");
    const std::uint32_t counters[] = {e.calls, e.matched, e.cycles, e.backtracks,
                                      e.time, e.treeNodes, e.kidCells};
    const std::uint32_t expected[] = {120, 118, 530, 402, 75, 240, 960};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(counters[i], expected[i]) << i;
    EXPECT_STREQ(entries[2].name, "list a");
    EXPECT_EQ(entries[2].kidCells, 7u);
}

TEST(Load, CarriageReturnsLeaveOneEmptyEntryAtTheEnd) {
    load("header\r\na 1 2 3 4 5 6 7\r\nb 8 9 10 11 12 13 14\r\n");
    ASSERT_EQ(entryCount, 3);
    EXPECT_STREQ(entries[2].name, "b");
    EXPECT_EQ(entries[2].kidCells, 14u);
    EXPECT_STREQ(entries[3].name, "");
    EXPECT_EQ(entries[3].calls, 0u);
}

TEST(Load, EdgesOfTheFile) {
    load("");
    EXPECT_EQ(entryCount, 0);
    load("only a header\n");
    EXPECT_EQ(entryCount, 0);
    // A word that is no number stays 0 and becomes the next record's name.
    load("h\na 1 x 3\n");
    ASSERT_EQ(entryCount, 2);
    EXPECT_EQ(entries[1].calls, 1u);
    EXPECT_EQ(entries[1].matched, 0u);
    EXPECT_STREQ(entries[2].name, "x");
    EXPECT_EQ(entries[2].calls, 3u);
    // A header longer than 255 bytes leaves its rest as record data.
    load(std::string(255, 'h') + "rest 1 2 3 4 5 6 7\n");
    ASSERT_EQ(entryCount, 1);
    EXPECT_STREQ(entries[1].name, "rest");
}

TEST(Load, AnOverlongNameKeeps255CharactersAndTheCounters) {
    load("h\nlist__" + std::string(300, 'n') + " 1 2 3 4 5 6 7\nnext 9 0 0 0 0 0 0\n");
    ASSERT_EQ(entryCount, 2);
    EXPECT_EQ(std::string(entries[1].name), "list " + std::string(249, 'n'));
    EXPECT_EQ(entries[1].kidCells, 7u);
    EXPECT_STREQ(entries[2].name, "next");
}

TEST(Load, StopsAfter4096Records) {
    std::string text = "header\n";
    for (int i = 1; i <= 4100; ++i) text += "r" + std::to_string(i) + " 1 1 1 1 1 1 1\n";
    load(text);
    EXPECT_EQ(entryCount, 4096);
    EXPECT_STREQ(entries[4096].name, "r4096");
}

}  // namespace
