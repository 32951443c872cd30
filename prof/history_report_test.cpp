#include "history_report.h"

#include "entries_test_support.h"
#include "print.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using test_support::SmallHistory;
using test_support::buildSmallHistory;

// The history is a table the printers take: its rows (the rules' changes,
// largest first, then the total's), its points and its points' field.
TEST(HistoryReport, TheHistoryIsATable) {
    SmallHistory b;
    buildSmallHistory(b);
    const Table& t = b.report.table;
    EXPECT_TRUE(t.history);
    ASSERT_EQ(t.pointCount, 8);
    EXPECT_STREQ(t.points[7].name, "c8");
    EXPECT_EQ(t.points[7].runs, 2);
    EXPECT_EQ(t.runTotal, 16);
    EXPECT_EQ(t.atWidth, 2);
    std::vector<std::string> rows;
    Rows batch;
    for (startRows(t, batch); nextRows(t, batch);)
        for (std::int32_t k = 0; k < batch.count; ++k)
            rows.push_back(std::string(batch.row[k].name) + "@" + batch.row[k].at + batch.row[k].status);
    EXPECT_EQ(t.ruleRows, 2);
    const std::vector<std::string> expected = {"b@c8", "c@c5new", "(total)@c5", "(total)@c8"};
    EXPECT_EQ(rows, expected);
    // The newest point starts a growth of the total: 3500 to 4500 a run.
    double growth = 0;
    EXPECT_TRUE(lastPointChangesTotal(b.report, growth));
    EXPECT_NEAR(growth, 100.0 * 1000 / 3500, 1e-9);
    releaseHistoryReport(b.report);
    releaseHistory(b.runs);
}

}  // namespace
