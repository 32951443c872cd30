#include "runtime.h"

#include <climits>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

struct SubstringCase {
    std::int32_t end, start;
    const char* source;
    const char* expected;
};

TEST(Substring, TakesInclusiveRangesAndClipsToTheSource) {
    const SubstringCase cases[] = {
        {4, 2, "abcdef", "bcd"},
        {0, 1, "abc", ""},
        {-1, 1, "abc", ""},
        {3, 3, "abc", "c"},
        {1, 1, "abc", "a"},
        // outside the source: clipped, never read past it
        {10, 2, "abc", "bc"},
        {2, -5, "abc", "ab"},
        {INT32_MAX, INT32_MIN, "abc", "abc"},
        {5, 4, "abc", ""},
    };
    for (const SubstringCase& c : cases) {
        TL_string result = "garbage";
        TL_substring(result, c.end, c.start, c.source);
        EXPECT_STREQ(result, c.expected)
            << c.source << " " << c.start << ".." << c.end;
    }
}

TEST(Substring, ToEndCountsFromTheLength) {
    const SubstringCase cases[] = {
        // end here is the offset from the length
        {0, 3, "abcdef", "cdef"},
        {-1, 3, "abcdef", "cde"},
        {0, 7, "abcdef", ""},
        {0, 1, "", ""},
        {-6, 1, "abcdef", ""},
        {5, 1, "abc", "abc"},
        {INT32_MIN, 1, "abc", ""},
    };
    for (const SubstringCase& c : cases) {
        TL_string result = "garbage";
        TL_substringToEnd(result, c.end, c.start, c.source);
        EXPECT_STREQ(result, c.expected)
            << c.source << " " << c.start << " " << c.end;
    }
}

TEST(Substring, ResultMayBeItsOwnSourceAndIsCutAt255) {
    TL_string text = "list__name";
    TL_substringToEnd(text, 0, 7, text);
    EXPECT_STREQ(text, "name");

    std::string longText(400, 'x');
    TL_string result;
    TL_substring(result, 400, 1, longText.c_str());
    EXPECT_EQ(std::strlen(result), 255u);
}

TEST(Index, FindsTheFirstWholeMatch) {
    struct {
        const char* text;
        const char* pattern;
        std::int32_t expected;
    } const cases[] = {
        {"a.b.c", ".", 2}, {"abc", "", 1},  {"", "", 1},
        {"", "x", 0},      {"ab", "abc", 0}, {"aab", "ab", 2},
        {"abc", "C", 0},   {"xyz", "xyz", 1}, {"repeat__a__b", "__", 7},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TL_index(c.text, c.pattern), c.expected)
            << c.text << " / " << c.pattern;
}

TEST(Repeat, JoinsCopiesAndCutsAt255) {
    struct {
        const char* source;
        std::int32_t count;
        const char* expected;
    } const cases[] = {
        {"ab", 3, "ababab"}, {"ab", 0, ""}, {"ab", -1, ""},
        {"", 5, ""},         {"x", 1, "x"},
    };
    for (const auto& c : cases) {
        TL_string result = "garbage";
        TL_repeat(c.source, c.count, result);
        EXPECT_STREQ(result, c.expected) << c.source << " x " << c.count;
    }

    TL_string result;
    TL_repeat("abc", 100, result);
    std::string expected;
    while (expected.size() < 255) expected += "abc";
    EXPECT_EQ(result, expected);
}

TEST(NumberText, WritesDigitsInAnyBaseWithoutPadding) {
    struct {
        std::int32_t value, ignored, base;
        const char* expected;
    } const cases[] = {
        {-255, 0, 16, "-FF"},
        {0, 0, 10, "0"},
        {INT32_MIN, 0, 10, "-2147483648"},
        {INT32_MIN, 0, 2, "-10000000000000000000000000000000"},
        {INT32_MAX, 0, 36, "ZIK0ZJ"},
        {255, 0, 2, "11111111"},
        {35, 0, 36, "Z"},
        {42, 10, 10, "42"},
        {-7, 0, 10, "-7"},
        {5, 0, 1, ""},
        {5, 0, 37, ""},
        {5, 0, -10, ""},
    };
    for (const auto& c : cases) {
        TL_string result = "garbage";
        TL_intToText(c.value, c.ignored, c.base, result);
        EXPECT_STREQ(result, c.expected) << c.value << " base " << c.base;
    }
}

TEST(NumberText, WritesUnsignedValues) {
    struct {
        std::uint32_t value, base;
        const char* expected;
    } const cases[] = {
        {4294967295u, 16, "FFFFFFFF"},
        {4294967295u, 10, "4294967295"},
        {0, 8, "0"},
        {8, 8, "10"},
        {100, 0, ""},
        {100, 4000000000u, ""},
    };
    for (const auto& c : cases) {
        TL_string result = "garbage";
        TL_natToText(c.value, 0, c.base, result);
        EXPECT_STREQ(result, c.expected) << c.value << " base " << c.base;
    }
}

TEST(TextToNumber, ReadsLikeStrtolWith32BitLimits) {
    struct {
        const char* text;
        std::int32_t expected;
    } const cases[] = {
        {"0x1F", 31},        {"017", 15},         {" 42abc", 42},
        {"-12", -12},        {"abc", 0},          {"", 0},
        {"2147483647", INT32_MAX},  {"2147483648", INT32_MAX},
        {"-2147483648", INT32_MIN}, {"-99999999999999999999", INT32_MIN},
        {"99999999999999999999", INT32_MAX},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TL_textToInt(c.text), c.expected) << c.text;

    EXPECT_EQ(TL_textToReal("1e3"), 1000.0);
    EXPECT_EQ(TL_textToReal("  -2.5x"), -2.5);
    EXPECT_EQ(TL_textToReal("x1"), 0.0);
    EXPECT_EQ(TL_textToReal(""), 0.0);
}

}  // namespace
