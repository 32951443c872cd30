#include "table.h"
#include "entries_test_support.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace test_support;

std::string headingOf(const Column& column) {
    static std::string text;
    text.clear();
    putHeadingText(column, [](const char* piece) { text += piece; });
    return text;
}

// Each column's heading stands over its field in the text layout's
// heading lines (its middle within the field), the headings in column
// order; a counter's total and per-call value stand under their group.
// The lines are written out by hand, so this holds them to the widths.
void checkHeadings(const Layout& layout) {
    std::vector<std::string> lines;
    for (const char* line : layout.lines)
        if (line != nullptr) lines.push_back(line);
    ASSERT_GE(lines.size(), 2u);
    const std::string& headings = lines[lines.size() - 2];
    const std::string& rule = lines.back();
    std::size_t start = 0, searchFrom = 0, ruleFrom = 0;
    for (std::int32_t i = 0; i < layout.columnCount; ++i) {
        const Column& column = layout.columns[i];
        if (column.field == Field::status) continue;  // at the end of the line
        const std::size_t end = start + static_cast<std::size_t>(column.width);
        std::string heading = headingOf(column);
        const std::string name = column.name;
        const auto endsWith = [&](const std::string& tail) {
            return name.size() > tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
        };
        if (endsWith("_total")) {
            // The group over this field and the next.
            const std::string group = heading.substr(0, heading.size() - 6);
            const std::size_t at = lines[0].find(group);
            ASSERT_NE(at, std::string::npos) << group;
            const std::size_t middle = at + group.size() / 2;
            const std::size_t groupEnd = end + static_cast<std::size_t>(layout.columns[i + 1].width);
            EXPECT_TRUE(middle >= start && middle < groupEnd) << group;
            heading = "total";
        } else if (endsWith("_per_call")) {
            heading = "per call";
        }
        const std::size_t at = headings.find(heading, searchFrom);
        ASSERT_NE(at, std::string::npos) << heading << " in " << headings;
        const std::size_t middle = at + heading.size() / 2;
        EXPECT_TRUE(middle >= start && middle < end)
            << heading << " at " << at << ", field " << start << " to " << end;
        // The rule's dashes under it.
        const std::size_t dashes = rule.find('-', ruleFrom);
        ASSERT_NE(dashes, std::string::npos) << heading;
        const std::size_t dashesEnd = rule.find(' ', dashes);
        const std::size_t dashesMiddle = (dashes + std::min(dashesEnd, rule.size())) / 2;
        EXPECT_TRUE(dashesMiddle >= start && dashesMiddle < end) << heading;
        searchFrom = at + heading.size();
        ruleFrom = std::min(dashesEnd, rule.size());
        start = end;
    }
}

TEST(Table, EveryHeadingStandsOverItsColumn) {
    const std::unique_ptr<Profile> profile = profileOf({});
    for (bool parse : {false, true})
        for (bool perCall : {false, true}) {
            Options options;
            options.parseProfile = parse;
            options.perCallLayout = perCall;
            SCOPED_TRACE(std::string(parse ? "parse" : "match") + (perCall ? " per call" : ""));
            checkHeadings(*reportOf(*profile, options)->table.layout);
        }
    // Comparisons of one run against one, and of runs, whose changes are
    // tested and have intervals.
    const std::unique_ptr<Profile> merged = std::make_unique<Profile>();
    for (OrderBy criterion : {OrderBy::time, OrderBy::efficiency}) {
        Options options;
        options.orderBy = criterion;
        const Runs side = singleRun(*profile);
        Runs runs{};
        startRuns(runs, *merged, 2);
        for (int r = 0; r < 2; ++r) mergeRun(runs, *profile, options);
        for (const Runs* sides : {&side, static_cast<const Runs*>(&runs)}) {
            SCOPED_TRACE(std::string(criterion == OrderBy::time ? "comparison" : "efficiencies") +
                         (sides == &runs ? " of runs" : ""));
            const ComparisonOf comparison(*sides, *sides, options);
            EXPECT_EQ(comparison.table().tested, sides == &runs);
            checkHeadings(*comparison.table().layout);
        }
        releaseRuns(runs);
    }
}

}  // namespace
