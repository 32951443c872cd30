#include "comparison.h"
#include "entries_test_support.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace test_support;

namespace {

TEST(Comparison, TextCsvAndTopAgreeAcrossBatches) {
    // 700 rules on each side, some only on one, and -top cutting within
    // the second batch of rows or not at all.
    std::vector<ProfileEntry> old, now;
    for (int i = 0; i < 700; ++i) {
        if (i % 7 != 0) old.push_back(makeEntry("r" + std::to_string(i), 1, 1, 1, 1, i * 3, 1, 1));
        if (i % 5 != 0) now.push_back(makeEntry("r" + std::to_string(i), 2, 1, 1, 1, i * 5 % 997, 1, 1));
    }
    for (std::int32_t top : {0, 300}) {
        Options options;
        options.topRows = top;
        const std::unique_ptr<Profile> oldProfile = profileOf(old), newProfile = profileOf(now);
        orderEntries(*oldProfile, options);
        orderEntries(*newProfile, options);
        const Runs oldRuns = singleRun(*oldProfile);
        const Runs newRuns = singleRun(*newProfile);
        const ComparisonOf comparison(oldRuns, newRuns, options);
        const Table& table = comparison.table();
        std::istringstream text(printed(table)), csv(printed(table, printCsv));
        std::string textLine, csvLine;
        for (int i = 0; i < 2; ++i) std::getline(text, textLine);
        std::getline(csv, csvLine);
        std::size_t rows = 0;
        std::string lastCsv;
        while (std::getline(csv, csvLine)) {
            ASSERT_TRUE(std::getline(text, textLine)) << rows;
            ++rows;
            lastCsv = csvLine;
            const std::vector<std::string> c = fields(csvLine.substr(0, csvLine.size() - 1), ',');
            ASSERT_EQ(textLine.substr(0, c[0].size()), c[0]) << rows;
            // The change, and the split, which adds up to it.
            const std::vector<std::string> t = fields(textLine.substr(30), ' ');
            const long change = std::stol(c[3]);
            EXPECT_EQ(std::stol(c[6]) + std::stol(c[7]), change) << rows;
            EXPECT_NE(std::find(t.begin(), t.end(), c[3]), t.end()) << rows;
        }
        // The rules in neither are gone; the total is the last row of both.
        EXPECT_EQ(rows, (top != 0 ? 300u : 700u - 700 / 35) + 1);
        EXPECT_EQ(textLine.substr(0, 7), "(total)");
        EXPECT_EQ(lastCsv.substr(0, 8), "(total),");
    }
}

}  // namespace

namespace {

TEST(Comparison, APercentThatRoundsToZeroIsNeverNegative) {
    struct {
        double value;
        const char* text;
    } const cases[] = {
        {-0.04, "+0.0"}, {-0.0, "+0.0"}, {0.0, "+0.0"},   {0.049, "+0.0"},
        {-0.06, "-0.1"}, {0.06, "+0.1"}, {-12.34, "-12.3"}, {100.0, "+100.0"},
    };
    for (const auto& c : cases) {
        char text[valueRoom];
        EXPECT_EQ(putPercent(text, sizeof text, c.value), static_cast<int>(std::strlen(c.text))) << c.value;
        EXPECT_STREQ(text, c.text) << c.value;
    }
}

}  // namespace
