#include "entries_test_support.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using namespace test_support;

// A history's point field: a gradual change as "c10..c20", as wide as the
// widest; a control character in a point's name as "?"; the line ends at
// its last value.
TEST(TextPrinter, HistoryPointsAndSpans) {
    HandTable hand(handHistoryLayout, {{"creep", "", {"+9.5"}, "c10", "c20"},
                                   {"step", "", {"+3.0"}, "c\n7"}});
    hand.table.history = true;
    hand.table.atWidth = 8;
    const std::string text = printed(hand.table);
    EXPECT_NE(text.find("\ncreep                          c10..c20     +9.5%\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nstep                           c?7          +3.0%\n"), std::string::npos) << text;
}

// The runs a test stands on are data: the text shows no column of them,
// but says where a rule stands on fewer runs, after its status.
TEST(TextPrinter, RunsAreSaidOnlyWhereFewer) {
    HandTable hand(handTestedLayout, {{"lacks", "~", {"+1.0", "5", "4"}, "", nullptr, "on 4 of 5 new runs"},
                                  {"whole", "", {"+9.0", "5", "5"}}});
    hand.table.comparison = true;
    const std::string text = printed(hand.table);
    EXPECT_NE(text.find("lacks                              +1.0%  ~  on 4 of 5 new runs\n"), std::string::npos) << text;
    EXPECT_NE(text.find("whole                              +9.0%\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("TESTED"), std::string::npos) << text;
}

}  // namespace
