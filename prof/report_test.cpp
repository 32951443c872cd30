#include "report.h"
#include "entries_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace test_support;

namespace {

TEST(Percent, DividesFirstAndTruncates) {
    struct {
        std::uint32_t value, base;
        std::int32_t percent;
    } const cases[] = {
        {53, 100, 52},  // the extended-precision product falls just below 53
        {1, 3, 33},     {3, 9, 33},   {9, 9, 100}, {0, 7, 0},
        {4294967295u, 4294967295u, 100},  {1, 4294967295u, 0},
        {59, 100, 58},  {29, 100, 29},  {57, 100, 57},
    };
    for (const auto& c : cases)
        EXPECT_EQ(percentOf(c.value, c.base), c.percent) << c.value << "/" << c.base;
}

const auto row = makeEntry;

// The report of the given entries, already in order, as lines.
std::vector<std::string> report(const std::vector<ProfileEntry>& list, const Options& options) {
    const std::unique_ptr<Profile> profile = profileOf(list);
    std::vector<std::string> lines;
    std::istringstream text(printed(tableOf(*reportOf(*profile, options))));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

TEST(Report, RowsHaveTheirWidthsInEveryLayout) {
    const ProfileEntry expression = row("expression", 120, 118, 530, 402, 75, 240, 960);
    struct {
        bool parse, perCall;
        std::size_t headerLines, headerLength, rowLength;
    } const cases[] = {
        {true, false, 2, 124, 124},
        {false, false, 2, 112, 112},
        {true, true, 3, 171, 169},
        {false, true, 3, 171, 169},
    };
    Options options;
    for (const auto& c : cases) {
        options.parseProfile = c.parse;
        options.perCallLayout = c.perCall;
        std::vector<std::string> lines = report({expression}, options);
        ASSERT_EQ(lines.size(), c.headerLines + 1);
        for (std::size_t i = 0; i < c.headerLines; ++i)
            EXPECT_EQ(lines[i].size(), c.headerLength) << i;
        EXPECT_EQ(lines.back().size(), c.rowLength);
    }

    options.parseProfile = true;
    options.perCallLayout = false;
    EXPECT_EQ(report({expression}, options).back(),
              "expression                    100%     120       118         960"
              "         240          75         530         402      45.283");
    options.perCallLayout = true;
    EXPECT_EQ(report({row("r", 3, 1, 31, 7, 10, 0, 6)}, options).back(),
              "r                             100%       3         1           6"
              "        2           0        0          10        3             31"
              "          10              7           2");
    EXPECT_EQ(report({row("r", 3, 1, 31, 7, 10, 0, 6)}, options)[0].substr(150),
              "  BACKTRACK CYCLES   ");
}

TEST(Report, PctFieldByCriterion) {
    Options options;
    const std::vector<ProfileEntry> list = {row("a", 1, 0, 0, 0, 9, 0, 0),
                                            row("b", 1, 0, 0, 0, 3, 0, 0),
                                            row("c", 1, 0, 0, 0, 0, 0, 0)};
    std::vector<std::string> lines = report(list, options);
    EXPECT_EQ(lines[2].substr(30, 4), "100%");
    EXPECT_EQ(lines[3].substr(30, 4), " 33%");
    EXPECT_EQ(lines[4].substr(30, 4), "  0%");
    for (OrderBy criterion : {OrderBy::calls, OrderBy::efficiency}) {
        options.orderBy = criterion;
        lines = report(list, options);
        for (std::size_t i = 2; i < lines.size(); ++i)
            EXPECT_EQ(lines[i].substr(30, 4), "    ");
    }
    options.orderBy = OrderBy::time;
    lines = report({row("z", 1, 0, 0, 0, 0, 0, 0)}, options);  // the base is 0
    EXPECT_EQ(lines[2].substr(30, 4), "    ");
}

TEST(Report, NamesAreCutAndWideNumbersPushTheLine) {
    Options options;
    options.orderBy = OrderBy::calls;
    std::vector<std::string> lines =
        report({row("abcdefghijabcdefghijabcdefghij", 1, 0, 0, 0, 0, 0, 0),
                row("abcdefghijabcdefghijabcdefghijXYZ", 1, 0, 0, 0, 0, 0, 0),
                row("wide", 123456789, 4294967295u, 0, 0, 0, 0, 0),
                row("hidden", 0, 5, 5, 5, 5, 5, 5)},
               options);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2].substr(0, 31), "abcdefghijabcdefghijabcdefghij ");
    EXPECT_EQ(lines[3].substr(0, 34), "abcdefghijabcdefghijabcdefghij    ");
    EXPECT_EQ(lines[4].substr(0, 53), "wide" + std::string(30, ' ') + "1234567894294967295");
    EXPECT_EQ(lines[4].size(), 113u);
}

TEST(Report, EfficiencyWithoutCyclesReadsZero) {
    Options options;
    options.parseProfile = true;
    options.orderBy = OrderBy::calls;
    std::vector<std::string> lines = report({row("n", 1, 0, 0, 0, 0, 8, 0)}, options);
    EXPECT_EQ(lines[2].substr(112), "       0.000");
}

TEST(Report, OnlyHeadersWithoutPrintableEntries) {
    Options options;
    options.perCallLayout = true;
    EXPECT_EQ(report({}, options).size(), 3u);
    EXPECT_EQ(report({row("x", 0, 1, 1, 1, 1, 1, 1)}, options).size(), 3u);
}

TEST(Csv, HasTheReportsRowsInItsOrderWithFullNames) {
    std::mt19937 random(29);
    const OrderBy criteria[] = {OrderBy::time, OrderBy::space, OrderBy::calls,
                                OrderBy::cycles, OrderBy::efficiency};
    for (int round = 0; round < 80; ++round) {
        std::vector<ProfileEntry> list;
        // Some longer than a batch of rows, so that -top and the rows
        // run across batches.
        for (int i = random() % (round % 5 == 2 ? 700 : 40); i > 0; --i) {
            // Values that keep a blank between fields, so the report splits.
            auto v = [&] { return static_cast<std::uint32_t>(random() % (round % 2 ? 5 : 9999999)); };
            const std::string name = (random() % 3 ? "r" : "list r") +
                                     std::string(random() % 40, 'n') + std::to_string(i);
            list.push_back(makeEntry(name, v(), v(), v(), v(), v(), v(), v()));
        }
        Options options;
        options.orderBy = criteria[round % 5];
        options.parseProfile = round % 3 == 0;
        options.perCallLayout = round % 4 == 1;
        options.topRows = round % 7 == 0 ? 3 : round % 10 == 2 ? 300 : 0;
        const std::unique_ptr<Profile> profile = profileOf(list);
        orderEntries(*profile, options);
        const auto report = reportOf(*profile, options);
        const Table table = tableOf(*report);
        std::istringstream text(printed(table)), csv(printed(table, printCsv));
        std::string reportLine, csvLine;
        for (int i = 0; i < (options.perCallLayout ? 3 : 2); ++i) std::getline(text, reportLine);
        std::getline(csv, csvLine);
        while (std::getline(text, reportLine)) {
            ASSERT_TRUE(std::getline(csv, csvLine)) << round;
            ASSERT_EQ(csvLine.back(), '\r');
            csvLine.pop_back();
            const std::vector<std::string> c = fields(csvLine, ',');
            ASSERT_EQ(c[0].substr(0, 30), reportLine.substr(0, std::min<std::size_t>(30, c[0].size())));
            std::vector<std::string> r = fields(reportLine.substr(30), ' ');
            if (percentBaseOf(*profile, options) == 0) r.insert(r.begin(), "");  // no PCT
            else r[0].pop_back();                          // the "%"
            ASSERT_EQ(r.size() + 1, c.size()) << round << ": " << reportLine;
            for (std::size_t i = 0; i < r.size(); ++i) ASSERT_EQ(r[i], c[i + 1]) << round;
        }
        EXPECT_FALSE(std::getline(csv, csvLine)) << round;
    }
}

}  // namespace
