#include "entries_test_support.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using namespace test_support;

// The page of a report of one rule named name.
std::string pageFor(const char* name, const char* file = "qav.rprofout") {
    const std::unique_ptr<Profile> profile = profileOf({makeEntry(name, 1, 1, 1, 1, 1, 1, 1)});
    Options options;
    options.profileName = file;
    return printed(tableOf(*reportOf(*profile, options)), printHtml);
}

TEST(Page, NamesAreTextNeverMarkup) {
    const std::string page = pageFor("<b>&\"x'</b>", "a<b>&'.prof");
    EXPECT_NE(page.find("<td class=\"text\">&lt;b&gt;&amp;&quot;x&#39;&lt;/b&gt;</td>"),
              std::string::npos);
    EXPECT_NE(page.find("<title>qavprof: a&lt;b&gt;&amp;&#39;.prof</title>"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_EQ(page.find("x'"), std::string::npos);
}

TEST(Page, IsValidUtf8WhateverTheNamesHold) {
    const std::string page = pageFor("r\xE0\x80\xAF\xED\xA0\x80\xF4\x90\x80\x80\xC3\xA9");
    EXPECT_NE(page.find("<td class=\"text\">r"
                        "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
                        "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
                        "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
                        "\xC3\xA9</td>"),
              std::string::npos);
}

// A history's page is its table of lines: the total's row first, each
// rule's row carrying its line's values and marks for the chart in its
// last cell, and the unchanged rules after the fold.
TEST(Page, AHistoryIsDrawnAsRowsWithTheirLines) {
    SmallHistory b;
    buildSmallHistory(b);
    const std::string page = printed(b.report.table, printHtml);
    const std::string total = "<tbody id=\"total\"><tr data-key=\"\" data-values=\"3000 3000 3000 3000 3500";
    const std::string ruleB = "data-values=\"2000 2000 2000 2000 2000 2000 2000 3000\" data-steps=\"7:+50.0:";
    const std::string fold = "<button id=\"unfold\" type=\"button\">show the 1 unchanged rule</button>";
    const std::string ruleA = "<tbody id=\"unchanged\" class=\"folded\">\n<tr data-key=\"\" data-values=\"1000 ";
    const std::size_t at[] = {page.find(total), page.find(ruleB), page.find(fold), page.find(ruleA)};
    for (std::size_t k = 0; k < 4; ++k) {
        ASSERT_NE(at[k], std::string::npos) << k;
        if (k > 0) EXPECT_LT(at[k - 1], at[k]) << k;
    }
    EXPECT_NE(page.find("<td class=\"text\">c8</td><td data-v=\"2000\">2,000</td><td data-v=\"3000\">3,000</td>"
                        "<td data-v=\"+50.0\">+50.0%</td>"),
              std::string::npos);
    EXPECT_NE(page.find("<th class=\"text\">AT</th>"), std::string::npos);
    EXPECT_NE(page.find("<td class=\"chart\"></td></tr>\n"), std::string::npos);
    releaseHistoryReport(b.report);
    releaseHistory(b.runs);
}

}  // namespace
