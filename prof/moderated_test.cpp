#include "moderated.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

// What a simulated series of comparisons found.
struct Found {
    double markedPerComparison = 0;    // unchanged rules marked real, on average
    double comparisonsWithAny = 0;     // share of comparisons with any such
    double changedFound = 0;           // share of the changed rules marked real
    double falseShare = 0;             // share of the marked rules that did not change
    double coverage = 0;               // share of intervals that hold the true change
};

// comparisons comparisons of runs a side of rules rules, sizes from 100 to
// 10^6 (even in their logarithm), each run's value its size times 1 + a
// uniform noise of ±width (narrowing from smallWidth on the smallest rule
// to largeWidth on the largest), rounded; the first changed rules are
// slower by the factor on the new side.
Found simulate(std::uint32_t seed, int comparisons, int rules, int runs, double smallWidth,
               double largeWidth, int changed, double factor) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<double> old(rules * runs), now(rules * runs), scratch(4 * rules);
    std::vector<std::int32_t> order(rules);
    std::vector<RuleChange> out(rules);
    Found found;
    double falseMarked = 0, marked = 0, held = 0, withAny = 0, changedMarked = 0;
    for (int c = 0; c < comparisons; ++c) {
        for (int g = 0; g < rules; ++g) {
            const double place = unit(random);
            const double size = std::pow(10.0, 2 + 4 * place);
            const double width = smallWidth + (largeWidth - smallWidth) * place;
            const double scale = g < changed ? factor : 1;
            for (int r = 0; r < runs; ++r) {
                old[g * runs + r] = std::round(size * (1 + width * (2 * unit(random) - 1)));
                now[g * runs + r] = std::round(size * scale * (1 + width * (2 * unit(random) - 1)));
            }
        }
        testRules(old.data(), runs, now.data(), runs, rules, out.data(), scratch.data(),
                  order.data());
        int falseHere = 0;
        for (int g = 0; g < rules; ++g) {
            const double truth = g < changed ? (factor - 1) * 100 : 0;
            held += out[g].lowPercent <= truth && truth <= out[g].highPercent;
            if (!out[g].real) continue;
            ++marked;
            if (g < changed) ++changedMarked;
            else ++falseHere;
        }
        falseMarked += falseHere;
        withAny += falseHere > 0;
    }
    found.markedPerComparison = falseMarked / comparisons;
    found.comparisonsWithAny = withAny / comparisons;
    found.changedFound = changed > 0 ? changedMarked / (comparisons * changed) : 0;
    found.falseShare = marked > 0 ? falseMarked / marked : 0;
    found.coverage = held / (comparisons * rules);
    std::printf("  marked per comparison %.3f, comparisons with any %.3f, changes found %.3f, "
                "marked false %.3f, coverage %.3f\n",
                found.markedPerComparison, found.comparisonsWithAny, found.changedFound,
                found.falseShare, found.coverage);
    return found;
}

// 500 rules, 5 runs against 5: what comparing before and after a change
// of a QAV program looks like.
TEST(ModeratedTests, NothingChangedMarksAlmostNothing) {
    // Noise of ±10% on every rule, and of ±30% on the smallest rules to
    // ±2% on the largest.
    for (const auto& [small, large] : {std::pair{0.10, 0.10}, std::pair{0.30, 0.02}}) {
        const Found f = simulate(17, 40, 500, 5, small, large, 0, 1);
        EXPECT_LE(f.markedPerComparison, 0.2) << small << " to " << large;
        EXPECT_LE(f.comparisonsWithAny, 0.10) << small << " to " << large;
        EXPECT_GE(f.coverage, 0.85) << small << " to " << large;
    }
}

TEST(ModeratedTests, TwentyRulesTwentyPercentSlowerAreFound) {
    const Found f = simulate(23, 40, 500, 5, 0.10, 0.10, 20, 1.2);
    EXPECT_GE(f.changedFound, 0.90);
    EXPECT_LE(f.falseShare, 0.06);
    EXPECT_GE(f.coverage, 0.85);
    // Where the smallest rules are as noisy as ±30%, a change of 20% in
    // them is within what 5 runs can tell; the marks stay as sure.
    const Found noisy = simulate(29, 40, 500, 5, 0.30, 0.02, 20, 1.2);
    EXPECT_LE(noisy.falseShare, 0.06);
    EXPECT_GE(noisy.coverage, 0.85);
}

TEST(ModeratedTests, FewRulesAndFewRunsStillDecide) {
    // Two rules alone get no prior; a rule the same in every run changed
    // exactly; intervals in percent of the old value.
    const double old[] = {100, 100, 100, 1000, 1010, 990, 7, 7, 7};
    const double now[] = {200, 200, 200, 1100, 1090, 1110, 7, 7, 7};
    RuleChange out[3];
    double scratch[12];
    std::int32_t order[3];
    EXPECT_EQ(testRules(old, 3, now, 3, 3, out, scratch, order), 0);
    EXPECT_FALSE(out[0].varies);
    EXPECT_TRUE(out[0].real);
    EXPECT_TRUE(out[1].varies);
    EXPECT_TRUE(out[1].real);
    EXPECT_LT(out[1].lowPercent, 9.9);
    EXPECT_GT(out[1].highPercent, 9.9);
    EXPECT_GT(out[1].lowPercent, 5);
    EXPECT_FALSE(out[2].real);
}

}  // namespace
