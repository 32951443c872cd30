#include "runtime.h"
#include "test_support.h"

#include <climits>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

using namespace test_support;

namespace {

TEST(Put, WritesFieldsWithoutSeparators) {
    EXPECT_EQ(written([](std::int32_t s) { TL_putText(s, "ab", 5); }), "ab   ");
    EXPECT_EQ(written([](std::int32_t s) { TL_putInt(s, -7, 4); }), "  -7");
    EXPECT_EQ(written([](std::int32_t s) { TL_putNat(s, 42, 0); }), "42");
    EXPECT_EQ(written([](std::int32_t s) { TL_putReal(s, 2.5, 8, 3); }),
              "   2.500");
    EXPECT_EQ(written([](std::int32_t s) {
                  TL_putText(s, "a", 0);
                  TL_putInt(s, 5, 0);
                  TL_putText(s, "b", 0);
                  TL_putNewline(s);
              }),
              "a5b\n");
    EXPECT_EQ(written([](std::int32_t s) { TL_putText(s, "abcdef", 3); }),
              "abcdef");
    EXPECT_EQ(written([](std::int32_t s) { TL_putNat(s, 4294967295u, 8); }),
              "4294967295");
    EXPECT_EQ(written([](std::int32_t s) { TL_putInt(s, INT32_MIN, 0); }),
              "-2147483648");
    EXPECT_EQ(written([](std::int32_t s) { TL_putText(s, "", 4); }), "    ");
}

// What a TL_format function leaves in a buffer; it must not touch a byte
// past the end it returns.
template <typename Format>
std::string formatted(Format format) {
    char room[1024];
    std::memset(room, '#', sizeof room);
    char* end = format(room);
    for (char* p = end; p < room + sizeof room; ++p)
        if (*p != '#') return "wrote past the field";
    return std::string(room, end);
}

// The hand-made conversions, to a stream or a buffer, must give exactly
// what printf gives.
TEST(Put, NumbersMatchPrintfForRandomValuesAndWidths) {
    std::mt19937 random(7);
    char expected[512];
    for (int i = 0; i < 20000; ++i) {
        std::uint32_t bits = random();
        std::int32_t width = static_cast<std::int32_t>(random() % 41) - 20;
        std::uint32_t value = bits >> (random() % 32);
        std::snprintf(expected, sizeof expected, "%*lu", width,
                      static_cast<unsigned long>(value));
        ASSERT_EQ(written([&](std::int32_t s) { TL_putNat(s, value, width); }),
                  expected);
        ASSERT_EQ(formatted([&](char* p) { return TL_formatNat(p, value, width); }), expected);
        std::int32_t signedValue = static_cast<std::int32_t>(bits) >> (random() % 32);
        std::snprintf(expected, sizeof expected, "%*li", width,
                      static_cast<long>(signedValue));
        ASSERT_EQ(written([&](std::int32_t s) { TL_putInt(s, signedValue, width); }),
                  expected);
        ASSERT_EQ(formatted([&](char* p) { return TL_formatInt(p, signedValue, width); }),
                  expected);
        std::snprintf(expected, sizeof expected, "%-*s", width, "word");
        ASSERT_EQ(written([&](std::int32_t s) { TL_putText(s, "word", width); }),
                  expected);
        ASSERT_EQ(formatted([&](char* p) { return TL_formatText(p, "word", width); }), expected);
    }
}

TEST(Put, RealsMatchPrintf) {
    std::mt19937_64 random(11);
    std::vector<double> values = {
        0.0, -0.0, 0.5, 1.5, 2.5, 0.0005, 0.0015, 0.0025, 0.125, 1e-9,
        -0.0004, 45.283018867924528, 99.9995, 1e15, 9007199254740991.0,
        9007199254740992.0, 1e300, -1e300, 1.0 / 0.0, -1.0 / 0.0, 0.0 / 0.0,
        4294967295.0 * 100, 2.675, 1.005, 1234.5675,
    };
    for (int i = 0; i < 20000; ++i) {
        std::uint32_t a = static_cast<std::uint32_t>(random());
        std::uint32_t b = static_cast<std::uint32_t>(random()) >> (random() % 32);
        values.push_back(b == 0 ? 0.0
                                : static_cast<double>(static_cast<long double>(a) / b * 100));
        double bitsValue;
        std::uint64_t bits = random();
        std::memcpy(&bitsValue, &bits, sizeof bitsValue);
        values.push_back(bitsValue);
        values.push_back(static_cast<double>(random() % 100000) / 8000.0);
    }
    char expected[1024];
    for (std::size_t k = 0; k < values.size(); ++k)
        for (std::int32_t digits : {0, 1, 2, 3, 4, 6})
            for (std::int32_t width : {0, 12, -9, 600, -600}) {
                // Fields wider than any value's text, for the first values
                // (the largest and the odd ones among them).
                if ((width == 600 || width == -600) && k >= 100) continue;
                const double value = values[k];
                std::snprintf(expected, sizeof expected, "%*.*f", width, digits,
                              value);
                ASSERT_EQ(written([&](std::int32_t s) {
                              TL_putReal(s, value, width, digits);
                          }),
                          expected)
                    << value << " " << width << "." << digits;
                ASSERT_EQ(formatted([&](char* p) { return TL_formatReal(p, value, width, digits); }),
                          expected)
                    << value << " " << width << "." << digits;
            }
}

TEST(GetLine, ReadsOneLineOfAtMost255Bytes) {
    struct {
        std::string input;
        const char* first;
        const char* second;
    } const cases[] = {
        {"abc\n", "abc", ""},
        {"abc", "abc", ""},
        {"", "", ""},
        {"a\r\nb\n", "a\r", "b"},
        {"\nx", "", "x"},
    };
    for (const auto& c : cases) {
        std::int32_t s = streamOver(c.input);
        TL_string line = "previous";
        TL_getLine(s, line);
        EXPECT_STREQ(line, c.first) << c.input;
        TL_getLine(s, line);
        EXPECT_STREQ(line, c.second) << c.input;
    }

    std::string longLine(300, 'y');
    std::int32_t s = streamOver(longLine + "\nnext\n");
    TL_string line;
    TL_getLine(s, line);
    EXPECT_EQ(std::string(line), longLine.substr(0, 255));
    TL_getLine(s, line);
    EXPECT_EQ(std::string(line), longLine.substr(0, 45));
    TL_getLine(s, line);
    EXPECT_STREQ(line, "next");
}

TEST(SkipWhitespace, StopsBeforeTheFirstOtherByte) {
    struct {
        std::string input;
        std::string left;
    } const cases[] = {
        {" \t\n\fx y", "x y"},
        {" \rx", "\rx"},
        {"\vx", "\vx"},
        {"  \xff" "after", "after"},
        {"\xff\xff", "\xff"},
        {"   ", ""},
        {"x", "x"},
    };
    for (const auto& c : cases) {
        std::int32_t s = streamOver(c.input);
        TL_skipWhitespace(static_cast<std::int16_t>(s));
        EXPECT_EQ(rest(s), c.left) << c.input;
    }
}

TEST(GetToken, ReadsOneWordAndDropsWhatExceeds255) {
    std::int32_t s = streamOver("  first\tsecond\n");
    TL_string word = "x";
    TL_getToken(s, word);
    EXPECT_STREQ(word, "first");
    TL_getToken(s, word);
    EXPECT_STREQ(word, "second");
    TL_getToken(s, word);
    EXPECT_STREQ(word, "second");  // end of file: unchanged

    std::string longWord(300, 'w');
    s = streamOver(longWord + " 12");
    TL_getToken(s, word);
    EXPECT_EQ(std::string(word), longWord.substr(0, 255));
    std::uint32_t number = 0;
    TL_getNat(s, number);
    EXPECT_EQ(number, 12u);
}

TEST(GetNat, Has32BitStrtoulSemanticsInEveryBuild) {
    struct {
        const char* input;
        std::uint32_t expected;
        const char* left;
    } const cases[] = {
        {"42 x", 42, " x"},
        {"4294967295", 4294967295u, ""},
        {"4294967296", 4294967295u, ""},
        {"99999999999999999999999", 4294967295u, ""},
        {"-5", 4294967291u, ""},
        {"-4294967295", 1, ""},
        {"-4294967296", 4294967295u, ""},
        {"+7,", 7, ","},
        {"\v\r\f 0009", 9, ""},
        {"abc", 1234, "abc"},      // no number: unchanged, left in the stream
        {"-x", 1234, "x"},         // the sign is consumed
        {"", 1234, ""},
        {"12abc", 12, "abc"},
    };
    for (const auto& c : cases) {
        std::int32_t s = streamOver(c.input);
        std::uint32_t target = 1234;
        TL_getNat(s, target);
        EXPECT_EQ(target, c.expected) << c.input;
        EXPECT_EQ(rest(s), c.left) << c.input;
    }
}

// Random and malformed text, read alternately as numbers and words by the
// run-time and by fscanf: the same values and the same bytes left over.
TEST(Get, MatchesFscanfOnRandomText) {
    const char* const pieces[] = {
        " ", "\t", "\n", "\v", "\f", "\r", "+", "-", "--", "0", "7", "123",
        "4294967295", "4294967296", "18446744073709551615", "abc", "x1",
        "0x1F", "\xff", "1e5", ".", "00000000000000000000042",
    };
    std::mt19937 random(3);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        int count = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i)
            text += pieces[random() % (sizeof pieces / sizeof pieces[0])];
        FILE* reference = fmemopen(text.data(), text.size(), "r");
        std::int32_t s = streamOver(text);
        for (int op = 0; op < 6; ++op) {
            if ((op + round) % 2 == 0) {
                unsigned long expected = 99;
                std::uint32_t actual = 99;
                int converted = std::fscanf(reference, "%lu", &expected);
                TL_getNat(s, actual);
                // A 64-bit long reads wider than the run-time's 32-bit
                // counters; those values are checked in the table above.
                bool comparable = sizeof(long) == 4 ||
                                  (expected <= 0xFFFFFFFFu &&
                                   text.find('-') == std::string::npos);
                if (converted != 1) {
                    ASSERT_EQ(actual, 99u) << text;
                } else if (comparable) {
                    ASSERT_EQ(actual, expected) << text;
                }
            } else {
                char expected[256] = "unchanged";
                TL_string actual = "unchanged";
                std::fscanf(reference, "%255s", expected);
                TL_getToken(s, actual);
                ASSERT_STREQ(actual, expected) << text;
            }
            ASSERT_EQ(std::ftell(reference), std::ftell(TL_files[3])) << text;
        }
        std::fclose(reference);
    }
}

TEST(ReadBytes, ReadsBinaryAndKeepsTheTargetAtEndOfFile) {
    std::int32_t s = streamOver(std::string("\x00\xff", 2));
    unsigned char byte = 7;
    TL_readBytes(s, &byte, 1);
    EXPECT_EQ(byte, 0);
    TL_readBytes(s, &byte, 1);
    EXPECT_EQ(byte, 255);
    TL_readBytes(s, &byte, 1);
    EXPECT_EQ(byte, 255);
}

}  // namespace
