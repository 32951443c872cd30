#include "merge.h"
#include "entries_test_support.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace test_support;

namespace {

// Runs merged in order, with room for their samples.
struct Merged {
    std::unique_ptr<Profile> profile = std::make_unique<Profile>();
    Runs runs{};
    explicit Merged(const std::vector<std::vector<ProfileEntry>>& list, const Options& options) {
        startRuns(runs, *profile, static_cast<std::int32_t>(list.size()));
        for (const auto& run : list) mergeRun(runs, *profileOf(run), options);
    }
    ~Merged() { releaseRuns(runs); }
    double sample(Position at, std::int32_t run) const {
        return runs.samples[static_cast<std::size_t>(at) * runs.capacity + run];
    }
};

ProfileEntry rule(const std::string& name, std::uint32_t calls, std::uint32_t time) {
    return makeEntry(name, calls, 1, 2, 3, time, 4, 5);
}

TEST(Merge, TheNthOfANameMeetsTheNthAndNewRulesComeAfter) {
    const Options options;
    const Merged merged({{rule("a", 1, 4294967295u), rule("b", 1, 10), rule("b", 2, 20)},
                         {rule("c", 7, 7), rule("b", 3, 30), rule("a", 1, 4294967295u),
                          rule("b", 4, 40), rule("b", 5, 50)}},
                        options);
    const Profile& p = *merged.profile;
    ASSERT_EQ(p.entryCount, 5);
    const char* names[] = {"a", "b", "b", "c", "b"};
    const std::uint64_t times[] = {2 * std::uint64_t{4294967295u}, 40, 60, 7, 50};
    const std::uint64_t calls[] = {2, 4, 6, 7, 5};
    for (std::int32_t at = 1; at <= 5; ++at) {
        EXPECT_STREQ(p.entries[at].name, names[at - 1]) << at;
        EXPECT_EQ(p.entries[at].time, times[at - 1]) << at;
        EXPECT_EQ(p.entries[at].calls, calls[at - 1]) << at;
        EXPECT_EQ(p.entries[at].cycles, at <= 3 ? 4u : 2u) << at;
    }
    // Each run's key of each merged rule, 0 where the run had none; and
    // each run's total of the key over its rules with calls.
    EXPECT_EQ(merged.sample(2, 0), 10);
    EXPECT_EQ(merged.sample(2, 1), 30);
    EXPECT_EQ(merged.sample(4, 0), -1);  // absent, not 0
    EXPECT_EQ(merged.sample(5, 1), 50);
    EXPECT_EQ(merged.runs.totals[0], 4294967295.0 + 30);
    EXPECT_EQ(merged.runs.totals[1], 4294967295.0 + 127);
    EXPECT_EQ(merged.runs.count, 2);
}

// Two profiles paired by name: in the order of the names, equal names in
// file order, a record with no calls pairing with none, and a name on one
// side only paired with 0.
TEST(Merge, PairsByNameThenFilePlace) {
    const auto entry = [](const char* name, std::uint32_t calls) { return makeEntry(name, calls, 0, 0, 0, 1, 0, 0); };
    const struct {
        std::vector<ProfileEntry> one, other;
        const char* pairs;
    } cases[] = {
        {{entry("b", 1), entry("a", 1)}, {entry("a", 1), entry("b", 1)}, "2-1 1-2"},
        {{entry("a", 1), entry("x", 1), entry("a", 1)}, {entry("a", 1)}, "1-1 3-0 2-0"},
        {{entry("a", 1)}, {entry("idle", 0), entry("c", 1), entry("a", 1)}, "1-3 0-2"},
        {{}, {entry("a", 1)}, "0-1"},
    };
    for (const auto& c : cases) {
        std::string pairs;
        pairByName(*profileOf(c.one), *profileOf(c.other), [&pairs](Position a, Position b) {
            pairs += (pairs.empty() ? "" : " ") + std::to_string(a) + "-" + std::to_string(b);
        });
        EXPECT_EQ(pairs, c.pairs);
    }
}

TEST(Merge, ARunsTotalLeavesOutRulesWithNoCalls) {
    // A rule that was not called is no part of a run's total, as it is no
    // row of its report, whatever its other counters hold.
    const Options options;
    const Merged merged({{rule("a", 1, 10), rule("idle", 0, 1000), rule("b", 0, 5), rule("b", 3, 30)},
                         {rule("a", 2, 20), rule("b", 4, 40)}},
                        options);
    EXPECT_EQ(merged.runs.totals[0], 40);
    EXPECT_EQ(merged.runs.totals[1], 60);
    // Nor is it paired: the called "b" of each run meet, as a comparison
    // pairs them.
    const Profile& p = *merged.profile;
    ASSERT_EQ(p.entryCount, 2);
    EXPECT_STREQ(p.entries[2].name, "b");
    EXPECT_EQ(p.entries[2].calls, 7u);
    EXPECT_EQ(merged.sample(2, 0), 30);
    EXPECT_EQ(merged.sample(2, 1), 40);
}

TEST(Merge, EfficiencySamplesAndRulesPastTheTable) {
    Options options;
    options.orderBy = OrderBy::efficiency;
    options.parseProfile = true;
    std::vector<ProfileEntry> full, other;
    for (int i = 0; i < maxEntries; ++i) full.push_back(rule("r" + std::to_string(i), 1, 1));
    other.push_back(rule("extra", 1, 1));
    other.push_back(makeEntry("r0", 1, 1, 40, 0, 0, 10, 0));  // 25 nodes per 100 cycles
    const Merged merged({full, other}, options);
    EXPECT_EQ(merged.profile->entryCount, maxEntries);
    EXPECT_TRUE(merged.runs.moreRules);
    EXPECT_EQ(merged.sample(1, 0), 200);  // 4 nodes / 2 cycles * 100
    EXPECT_EQ(merged.sample(1, 1), 25);
}

}  // namespace
