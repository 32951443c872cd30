#include "entries_test_support.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using namespace test_support;

const Column columns[] = {{"name", Field::name, nullptr, nameWidth},
                          {"at", Field::at, nullptr, 0},
                          {"change_pct", Field::changePercent, nullptr, 10},
                          {"old_tested", Field::oldRuns, nullptr, 0}};
const Layout layout{columns, columnCount(columns), 0, 3};

// RFC 4180: a field with a comma, a quote or a line break is quoted, its
// quotes doubled; a gradual change's points are one field; the runs of a
// table come before the columns of data alone, so that a column keeps
// its place as columns are added; lines end in CR LF.
TEST(CsvPrinter, FieldsQuotedSpansWholeAndDataLast) {
    HandTable hand(layout, {{"a,\"b\"", "", {"+1.0", "3"}, "c1", "c4"},
                            {"line\nbreak", "", {"-2.0", "2"}, "c,5"}});
    hand.table.runCount = hand.table.oldRunCount = 3;
    hand.table.comparison = true;
    EXPECT_EQ(printed(hand.table, printCsv),
              "name,at,change_pct,old_runs,new_runs,old_tested\r\n"
              "\"a,\"\"b\"\"\",c1..c4,+1.0,3,3,3\r\n"
              "\"line\nbreak\",\"c,5\",-2.0,3,3,2\r\n");
}

}  // namespace
