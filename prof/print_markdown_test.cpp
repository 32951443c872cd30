#include "entries_test_support.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using namespace test_support;

// A name's pipe, backslash, markup and DEL cannot break the table or
// become markup; the runs note joins the status cell; no column of the
// runs a test stands on.
TEST(MarkdownPrinter, NamesEscapedRunsInTheStatus) {
    HandTable hand(handTestedLayout, {{"a|b\\*c\x7F", "~", {"+1.0", "5", "4"}, "", nullptr, "on 4 of 5 new runs"}});
    hand.table.comparison = true;
    const std::string md = printed(hand.table, printMarkdown);
    EXPECT_NE(md.find("| a\\|b\\\\\\*c&#127; | +1.0% | ~ on 4 of 5 new runs |\n"), std::string::npos) << md;
    EXPECT_EQ(md.find("TESTED"), std::string::npos) << md;
}

// A gradual change's point reads "c10..c20".
TEST(MarkdownPrinter, GradualChangesSpanTheirPoints) {
    HandTable hand(handHistoryLayout, {{"creep", "", {"+9.5"}, "c10", "c20"}});
    const char* const runs[] = {"c01/run1"};
    const HistoryPoint points[] = {{"c01", runs, 1}, {"c20", runs, 1}};
    hand.table.history = true;
    hand.table.ruleRows = 1;
    hand.table.points = points;
    hand.table.pointCount = 2;
    hand.table.runTotal = 2;
    const std::string md = printed(hand.table, printMarkdown);
    EXPECT_NE(md.find("| creep | c10..c20 | +9.5% |\n"), std::string::npos) << md;
}

}  // namespace
