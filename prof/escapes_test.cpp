#include "escapes.h"
#include "entries_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace {

using test_support::putOutput;

constexpr char replacement[] = "\xEF\xBF\xBD";

TEST(Utf8, ValidSequencesPassAndEveryOtherByteIsReplaced) {
    const struct {
        const char* bytes;
        std::string json;
    } cases[] = {
        {"a\xC3\xA9", "\"a\xC3\xA9\""},                       // U+00E9
        {"\xE2\x82\xAC", "\"\xE2\x82\xAC\""},                 // U+20AC
        {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},         // U+1F600
        {"\xF4\x8F\xBF\xBF", "\"\xF4\x8F\xBF\xBF\""},         // U+10FFFF, the last
        {"\xC0\xAF", std::string("\"") + replacement + replacement + "\""},  // overlong 2
        {"\xC1\xBF", std::string("\"") + replacement + replacement + "\""},
        {"\xE0\x80\xAF", std::string("\"") + replacement + replacement + replacement + "\""},
        {"\xE0\x9F\xBF", std::string("\"") + replacement + replacement + replacement + "\""},
        {"\xF0\x80\x80\xAF",
         std::string("\"") + replacement + replacement + replacement + replacement + "\""},
        {"\xF0\x8F\xBF\xBF",
         std::string("\"") + replacement + replacement + replacement + replacement + "\""},
        {"\xED\xA0\x80", std::string("\"") + replacement + replacement + replacement + "\""},  // surrogate
        {"\xED\x9F\xBF", "\"\xED\x9F\xBF\""},                 // U+D7FF, before them
        {"\xF4\x90\x80\x80",
         std::string("\"") + replacement + replacement + replacement + replacement + "\""},
        {"\xF5\x80", std::string("\"") + replacement + replacement + "\""},
        {"\xE2\x82", std::string("\"") + replacement + replacement + "\""},  // cut short
        {"\xE2\x82x", std::string("\"") + replacement + replacement + "x\""},
        {"\x80 \xFF", std::string("\"") + replacement + " " + replacement + "\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(putOutput([&] { putJsonString(c.bytes); }), c.json)
            << testing::PrintToString(std::string(c.bytes));
}

TEST(Json, EscapesQuotesBackslashesAndControlCharacters) {
    EXPECT_EQ(putOutput([] { putJsonString("a\"b\\c\n\t\x01\x1f"); }),
              "\"a\\\"b\\\\c\\u000a\\u0009\\u0001\\u001f\"");
    EXPECT_EQ(putOutput([] { putJsonNumber("+12"); putJsonNumber(""); putJsonNumber("-3.5"); }),
              "12null-3.5");
}

TEST(Csv, QuotesAFieldOnlyWhenItMust) {
    const struct {
        const char* field;
        const char* csv;
    } cases[] = {
        {"plain", "plain"},        {"a,b", "\"a,b\""},       {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"line\nbreak", "\"line\nbreak\""}, {"cr\r", "\"cr\r\""}, {"", ""},
        {"semi;colon", "semi;colon"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(putOutput([&] { putCsvField(c.field); }), c.csv) << c.field;
}

// Names render as they read: nothing ends the cell, starts code, emphasis,
// strike-through, a link, a tag, an entity or a new line.
TEST(Markdown, NamesCannotEndACellOrStartMarkup) {
    const struct {
        const char* name;
        const char* shown;
    } cases[] = {
        {"a|b`c*d_e\\f[g]h<i>", "a\\|b\\`c\\*d\\_e\\\\f\\[g\\]h&lt;i>"},
        {"x&amp;y&lt;z&gt;", "x&amp;amp;y&amp;lt;z&amp;gt;"},
        {"~~struck~~", "\\~\\~struck\\~\\~"},
        {"https://e.com and www.e.com, not a.www", "https\\://e.com and www\\.e.com, not a.www"},
        {"two\nlines\r# heading", "two&#10;lines&#13;# heading"},
        {"bad\xC0\xAF", "bad\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(putOutput([&] { putMarkdownText(c.name); }), c.shown) << c.name;
}

}  // namespace
