#include "entries_test_support.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using test_support::putOutput;

// Two lines over three points: the total's, and a rule's that the first
// point does not call.
double valueAt(const void*, std::int32_t line, std::int32_t t) {
    const double values[2][3] = {{1, 1, 3}, {-1, 3, 15.25}};
    return values[line][t];
}

// A line's values as numbers or "-", its marks as points or spans, each
// with the texts it has; the scale is the largest distance of a value from
// its line's first, in logarithms of value + 1, never under that of 10%.
TEST(Chart, ALineCarriesItsValuesAndMarksAndTheChartItsScale) {
    const HistoryPoint points[] = {{"c1", nullptr, 1}, {"c2", nullptr, 1}, {"c3", nullptr, 1}};
    const std::int32_t shifts[] = {1, 2};
    const ChartMark marks[] = {{2, 2, {"+200.0", "+150.0", "+250.0"}},
                               {1, 2, {"+300.0", "+280.0", "+320.0"}},
                               {1, 1, {nullptr, nullptr, nullptr}}};
    const std::int32_t firstMark[] = {0, 1, 3};
    Chart chart{points, 3, shifts, 2, 2, valueAt, nullptr, marks, firstMark};
    EXPECT_EQ(putOutput([&] { putLineData(chart, 0); }),
              " data-values=\"1 1 3\" data-steps=\"2:+200.0:+150.0:+250.0\"");
    EXPECT_EQ(putOutput([&] { putLineData(chart, 1); }),
              " data-values=\"- 3 15.25\" data-steps=\"1-2:+300.0:+280.0:+320.0 1\"");
    EXPECT_EQ(putOutput([&] { putChartData(chart); }), " data-scale=\"1.401799\" data-shifts=\"1 2\"");
    chart.lineCount = 1;
    chart.shiftCount = 0;
    EXPECT_EQ(putOutput([&] { putChartData(chart); }), " data-scale=\"0.693147\" data-shifts=\"\"");
    chart.pointCount = 2;
    EXPECT_EQ(putOutput([&] { putChartData(chart); }), " data-scale=\"0.095300\" data-shifts=\"\"");
}

}  // namespace
