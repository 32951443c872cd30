#include "history_lines.h"

#include "entries_test_support.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using test_support::SmallHistory;

// A row a rule, each with its line: the changed rules first, largest
// change first (a new rule, with no change in percent, counts as the
// largest), the unchanged ones after the fold; the total's line apart.
TEST(HistoryLines, ARowARuleWithItsLargestChangeAndItsLine) {
    SmallHistory b;
    test_support::buildSmallHistory(b);
    const Table& t = *b.report.table.page;
    ASSERT_NE(t.chart, nullptr);
    std::vector<std::string> rows;
    Rows batch;
    for (startRows(t, batch); nextRows(t, batch);)
        for (std::int32_t k = 0; k < batch.count; ++k) {
            const Row& row = batch.row[k];
            rows.push_back(std::string(row.name) + "@" + row.at + row.status + " " + valueOf(t, row, 4) + " " +
                           valueOf(t, row, 7) + " line " + std::to_string(row.line));
        }
    const std::vector<std::string> expected = {"c@c5new  1 line 3", "b@c8 +50.0 1 line 2", "a@  0 line 1"};
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(t.foldFrom, 2);
    EXPECT_EQ(t.ruleRows, 3);
    ASSERT_TRUE(t.hasTotal);
    EXPECT_STREQ(t.total.name, "(total)");
    EXPECT_EQ(t.total.line, 0);
    EXPECT_STREQ(t.total.at, "c8");  // +28.6%, larger than c5's +16.7%
    EXPECT_STREQ(valueOf(t, t.total, 7), "2");
    releaseHistoryReport(b.report);
    releaseHistory(b.runs);
}

// Each line's values are the mean key per run at each point, none where no
// run calls the rule; its marks are its changes, in order, with their
// change as shown.
TEST(HistoryLines, EachLineHasItsValuesAndItsOwnMarks) {
    SmallHistory b;
    test_support::buildSmallHistory(b);
    const Chart& c = *b.report.table.page->chart;
    ASSERT_EQ(c.lineCount, 4);
    EXPECT_EQ(c.pointCount, 8);
    EXPECT_EQ(c.valueAt(c.source, 0, 0), 3000);
    EXPECT_EQ(c.valueAt(c.source, 0, 7), 4500);
    EXPECT_EQ(c.valueAt(c.source, 2, 7), 3000);
    EXPECT_LT(c.valueAt(c.source, 3, 3), 0);
    EXPECT_EQ(c.valueAt(c.source, 3, 4), 500);
    std::vector<std::string> marks;
    for (std::int32_t line = 0; line < c.lineCount; ++line)
        for (std::int32_t k = c.firstMark[line]; k < c.firstMark[line + 1]; ++k)
            marks.push_back(std::to_string(line) + "@" + std::to_string(c.marks[k].at) + " " +
                            (c.marks[k].text[0] != nullptr ? c.marks[k].text[0] : "-"));
    const std::vector<std::string> expected = {"0@4 +16.7", "0@7 +28.6", "2@7 +50.0", "3@4 "};
    EXPECT_EQ(marks, expected);
    releaseHistoryReport(b.report);
    releaseHistory(b.runs);
}

}  // namespace
