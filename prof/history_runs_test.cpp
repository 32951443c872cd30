#include "history_runs.h"

#include "entries_test_support.h"

#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Runs matched into rules across a history: the n-th record of a name with
// the n-th rule of that name, whatever the order in the file; a record
// without calls is no rule; a rule a run does not call is 0 there.
TEST(HistoryRuns, RunsAreMatchedByNameAndOccurrence) {
    using test_support::makeEntry;
    const auto entry = [](const char* name, std::uint32_t calls, std::uint32_t time) {
        return makeEntry(name, calls, 0, 0, 0, time, 0, 0);
    };
    const std::vector<std::vector<ProfileEntry>> runs = {
        {entry("a", 1, 10), entry("b", 2, 20), entry("a", 3, 30), entry("idle", 0, 5)},
        {entry("b", 2, 21), entry("a", 1, 11), entry("c", 4, 40), entry("a", 3, 31)},
        {entry("c", 4, 41)},
        // Known rules only, in another order: found without the order of names.
        {entry("a", 5, 32), entry("c", 4, 42), entry("b", 2, 22), entry("a", 6, 33)},
    };
    const char* const points[] = {"p1", "p2"};
    HistoryRuns h;
    startHistory(h, points, 2);
    const Options options;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (r == 0 || r == 2) startPoint(h, r == 0 ? 0 : 1);
        addHistoryRun(h, *test_support::profileOf(runs[r]), r == 0 ? "one" : "more", options);
    }
    finishHistory(h);
    // Rules in the order first seen, each run's records by name then file place.
    const struct {
        const char* name;
        double keys[4];
        double calls[4];
    } rules[] = {{"a", {10, 11, 0, 32}, {1, 1, 0, 5}},
                 {"a", {30, 31, 0, 33}, {3, 3, 0, 6}},
                 {"b", {20, 21, 0, 22}, {2, 2, 0, 2}},
                 {"c", {0, 40, 41, 42}, {0, 4, 4, 4}}};
    ASSERT_EQ(h.ruleCount, 4);
    ASSERT_EQ(h.runCount, 4);
    EXPECT_EQ(h.firstRun[1], 2);
    for (std::int32_t g = 0; g < h.ruleCount; ++g) {
        EXPECT_STREQ(h.ruleNames[g], rules[g].name) << g;
        for (std::int32_t r = 0; r < h.runCount; ++r) {
            EXPECT_EQ(keyIn(h, g, r), rules[g].keys[r]) << g << " in run " << r;
            EXPECT_EQ(callsIn(h, g, r), rules[g].calls[r]) << g << " in run " << r;
        }
    }
    EXPECT_EQ(h.totals[0], 60);
    EXPECT_EQ(h.totals[1], 103);
    EXPECT_EQ(h.totals[3], 129);
    EXPECT_TRUE(pointCalls(h, 3, 0));   // c: the second run of the first point
    EXPECT_TRUE(pointCalls(h, 0, 1));   // a: the last run of the second point
    releaseHistory(h);
}

// A whole key comes back exactly from the logarithm a history keeps of it.
TEST(HistoryRuns, AKeyComesBackFromItsLogarithm) {
    std::mt19937_64 random(11);
    std::vector<double> keys = {0, 1, 2, 3, 1e6, 4294967295.0, 8589934590.0, 1125899906842623.0};
    for (int i = 0; i < 100000; ++i) keys.push_back(static_cast<double>(random() % 8589934591ull));
    for (int i = 0; i < 1000; ++i) keys.push_back(static_cast<double>(i));
    for (double key : keys) ASSERT_EQ(keyOfLog(logValue(key)), key);
}

}  // namespace
