#include "entries_test_support.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using namespace test_support;

// A history's change: its point a text, "until" beside "at" where it is
// gradual, names escaped (control characters as \u00XX), a blank value
// null.
TEST(JsonPrinter, HistoryChangesWithSpansAndEscapes) {
    HandTable hand(handHistoryLayout, {{"q\"\x01", "", {"+9.5"}, "c10", "c20"}, {"step", "", {""}, "c3"}});
    hand.table.history = true;
    hand.table.ruleRows = 2;
    const std::string json = printed(hand.table, printJson);
    EXPECT_NE(json.find("{\"name\": \"q\\\"\\u0001\", \"at\": \"c10\", \"until\": \"c20\", \"change_pct\": 9.5, "
                        "\"status\": \"\"}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("{\"name\": \"step\", \"at\": \"c3\", \"change_pct\": null, \"status\": \"\"}"),
              std::string::npos)
        << json;
}

}  // namespace
