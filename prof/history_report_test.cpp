#include "history_report.h"

#include "entries_test_support.h"
#include "print.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using test_support::makeEntry;

// Eight points of two runs, with no noise: rule "b" half as slow again at
// the newest point, "c" new at the fifth.
struct Built {
    HistoryRuns runs;
    HistoryReport report;
    Options options;
};

void build(Built& b) {
    static const char* const points[] = {"c1", "c2", "c3", "c4", "c5", "c6", "c7", "c8"};
    startHistory(b.runs, points, 8);
    for (std::int32_t t = 0; t < 8; ++t) {
        startPoint(b.runs, t);
        for (int r = 0; r < 2; ++r) {
            std::vector<ProfileEntry> entries = {makeEntry("a", 1, 0, 0, 0, 1000, 0, 0),
                                                 makeEntry("b", 2, 0, 0, 0, t == 7 ? 3000 : 2000, 0, 0)};
            if (t >= 4) entries.push_back(makeEntry("c", 1, 0, 0, 0, 500, 0, 0));
            addHistoryRun(b.runs, *test_support::profileOf(entries), points[t], b.options);
        }
    }
    finishHistory(b.runs);
    buildHistoryReport(b.runs, b.options, b.report);
}

// The history is a table the printers take: its rows (the rules' changes,
// largest first, then the total's), its points and its points' field.
TEST(HistoryReport, TheHistoryIsATable) {
    Built b;
    build(b);
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
