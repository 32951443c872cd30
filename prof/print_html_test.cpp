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

}  // namespace
