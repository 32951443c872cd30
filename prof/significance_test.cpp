#include "significance.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

// A simulated series of comparisons: 500 rules, sizes from 100 to 10^6
// (even in their logarithm), each run's value its size times 1 + a uniform
// noise of ±width (narrowing from smallWidth on the smallest rule to
// largeWidth on the largest), rounded.
struct Case {
    std::uint32_t seed;
    int runs = 5;                 // a side
    double smallWidth = 0.10, largeWidth = 0.10;
    double runSd = 0;             // each run scaled by its own factor, of this sd
    int changed = 0;              // the first rules slower by factor on the new side
    double factor = 1.2;
    double every = 1;             // every rule slower by this on the new side
    int noisy = 0;                // the last rules this many times as noisy
    double noisyTimes = 5;
    double warmUp = 0;            // the first old run this much slower on every rule,
    double warmUpSpread = 0;      // and by ± this from rule to rule
    int oldWarmUps = 1, newWarmUps = 0;  // the first runs of each side so
    int missing = 0;              // rules missing from the first new run, half of them changed
    double tailDegrees = 0;       // Student's t noise of this many degrees of freedom, sd
    double tailSd = 0.05;         // tailSd, in place of the uniform
    int comparisons = 40;
    int rules = 500;
};

// What it found.
struct Found {
    double markedPerComparison = 0;  // unchanged rules marked real, on average
    double comparisonsWithAny = 0;   // share of comparisons with any such
    double changedFound = 0;         // share of the changed rules marked real
    double falseShare = 0;           // share of the marked rules that did not change
    double coverage = 0;             // share of intervals that hold the true change
    double shiftHeld = 0;            // share of comparisons whose shift interval holds the truth
    double warmUpNamed = 0;          // share of comparisons that name the warm-up run
    double anyNamed = 0;             // share of comparisons that name any run
};

// One comparison's runs: old[g * n + r] and now[g * n + r].
void makeRuns(const Case& k, std::mt19937_64& random, std::vector<double>& old, std::vector<double>& now) {
    std::uniform_real_distribution<double> unit(0, 1);
    std::normal_distribution<double> normal(0, 1);
    const int n = k.runs;
    std::vector<double> runFactor(2 * n);
    for (double& f : runFactor) f = std::exp(k.runSd * normal(random));
    std::student_t_distribution<double> t(k.tailDegrees > 0 ? k.tailDegrees : 1);
    const double tScale = k.tailDegrees > 2 ? k.tailSd / std::sqrt(k.tailDegrees / (k.tailDegrees - 2)) : 0;
    const auto noise = [&](double width) {
        return k.tailDegrees > 0 ? std::exp(tScale * t(random)) : 1 + width * (2 * unit(random) - 1);
    };
    for (int g = 0; g < k.rules; ++g) {
        const double place = unit(random);
        const double size = std::pow(10.0, 2 + 4 * place);
        double width = k.smallWidth + (k.largeWidth - k.smallWidth) * place;
        if (g >= k.rules - k.noisy) width *= k.noisyTimes;
        const double scale = (g < k.changed ? k.factor : 1) * k.every;
        for (int r = 0; r < n; ++r) {
            double warm = 1, newWarm = 1;
            if (r < k.oldWarmUps && k.warmUp > 0) warm = 1 + k.warmUp + k.warmUpSpread * (2 * unit(random) - 1);
            if (r < k.newWarmUps) newWarm = 1 + k.warmUp;
            old[g * n + r] = std::round(size * warm * runFactor[r] * noise(width));
            now[g * n + r] = std::round(size * scale * newWarm * runFactor[n + r] * noise(width));
            const bool gone = r == 0 && g >= k.changed - k.missing / 2 && g < k.changed + (k.missing + 1) / 2;
            if (gone) now[g * n + r] = -1;  // not in the run's file
        }
    }
}

// What the comparisons found, counted.
struct Counts {
    double falseMarked = 0, marked = 0, held = 0, withAny = 0, changedMarked = 0;
    double shiftHeld = 0, warmUpNamed = 0, anyNamed = 0;
};

void score(const Case& k, const RunsTest& test, const std::vector<RuleChange>& out, Counts& c) {
    const double shiftTruth = (k.every - 1) * 100;
    // Where no shift is taken out, none was claimed: it holds.
    c.shiftHeld += !test.shiftTaken || (test.shiftLow <= shiftTruth && shiftTruth <= test.shiftHigh);
    c.anyNamed += test.oddCount > 0;
    int warmNamed = 0;
    for (int o = 0; o < test.oddCount; ++o)
        warmNamed += test.odd[o].newSide ? test.odd[o].run < k.newWarmUps : test.odd[o].run < k.oldWarmUps;
    c.warmUpNamed += warmNamed == k.oldWarmUps + k.newWarmUps;
    int falseHere = 0;
    for (int g = 0; g < k.rules; ++g) {
        const double truth = ((g < k.changed ? k.factor : 1) * k.every - 1) * 100;
        c.held += out[g].lowPercent <= truth && truth <= out[g].highPercent;
        if (!out[g].real) continue;
        ++c.marked;
        if (g < k.changed) ++c.changedMarked;
        else ++falseHere;
    }
    c.falseMarked += falseHere;
    c.withAny += falseHere > 0;
}

Found simulate(const Case& k) {
    std::mt19937_64 random(k.seed);
    const int n = k.runs, rules = k.rules;
    std::vector<double> old(rules * n), now(rules * n), scratch(testScratch(rules, n, n));
    std::vector<std::int32_t> order(2 * rules);
    std::vector<RuleChange> out(rules);
    bool keep[64];
    Counts c;
    for (int comparison = 0; comparison < k.comparisons; ++comparison) {
        makeRuns(k, random, old, now);
        const RunsTest test = testRules(old.data(), n, now.data(), n, rules, out.data(),
                                        scratch.data(), order.data(), keep);
        score(k, test, out, c);
    }
    Found f;
    f.markedPerComparison = c.falseMarked / k.comparisons;
    f.comparisonsWithAny = c.withAny / k.comparisons;
    f.changedFound = k.changed > 0 ? c.changedMarked / (k.comparisons * k.changed) : 0;
    f.falseShare = c.marked > 0 ? c.falseMarked / c.marked : 0;
    f.coverage = c.held / (k.comparisons * rules);
    f.shiftHeld = c.shiftHeld / k.comparisons;
    f.warmUpNamed = c.warmUpNamed / k.comparisons;
    f.anyNamed = c.anyNamed / k.comparisons;
    std::printf("  marked per comparison %.3f, with any %.3f, changes found %.3f, marked false %.3f, "
                "coverage %.3f, shift held %.3f, warm-up named %.3f, any named %.3f\n",
                f.markedPerComparison, f.comparisonsWithAny, f.changedFound, f.falseShare,
                f.coverage, f.shiftHeld, f.warmUpNamed, f.anyNamed);
    return f;
}

// What a case must show: each bound left as it is holds for anything.
struct Expect {
    double maxMarked = 1e9, maxWithAny = 1, minFound = 0, maxFalse = 1, minCoverage = 0;
    double minShiftHeld = 0, maxAnyNamed = 1, minWarmUpNamed = 0;
};

struct Row {
    const char* what;
    Case k;
    Expect e;
};

void check(const Row& row) {
    const Found f = simulate(row.k);
    EXPECT_LE(f.markedPerComparison, row.e.maxMarked) << row.what;
    EXPECT_LE(f.comparisonsWithAny, row.e.maxWithAny) << row.what;
    EXPECT_GE(f.changedFound, row.e.minFound) << row.what;
    EXPECT_LE(f.falseShare, row.e.maxFalse) << row.what;
    EXPECT_GE(f.coverage, row.e.minCoverage) << row.what;
    EXPECT_GE(f.shiftHeld, row.e.minShiftHeld) << row.what;
    EXPECT_LE(f.anyNamed, row.e.maxAnyNamed) << row.what;
    EXPECT_GE(f.warmUpNamed, row.e.minWarmUpNamed) << row.what;
}

// 500 rules, 5 runs against 5: what comparing before and after a change
// of a QAV program looks like, on a quiet machine: noise of ±10% on every
// rule, or of ±30% on the smallest rules to ±2% on the largest.
TEST(ModeratedTests, OnAQuietMachine) {
    const Row rows[] = {
        {"nothing changed", {.seed = 17},
         {.maxMarked = 0.05, .maxWithAny = 0.10, .minCoverage = 0.93, .minShiftHeld = 0.90, .maxAnyNamed = 0.10}},
        {"nothing changed, ±30% to ±2%", {.seed = 17, .smallWidth = 0.30, .largeWidth = 0.02},
         {.maxMarked = 0.05, .maxWithAny = 0.10, .minCoverage = 0.93, .minShiftHeld = 0.90, .maxAnyNamed = 0.10}},
        {"20 rules 20% slower", {.seed = 23, .changed = 20},
         {.minFound = 0.95, .maxFalse = 0.06, .minCoverage = 0.93}},
        // A change of 20% in the smallest rules is within what 5 runs can
        // tell at ±30%; the marks stay as sure.
        {"20 rules 20% slower, ±30% to ±2%", {.seed = 29, .smallWidth = 0.30, .largeWidth = 0.02, .changed = 20},
         {.maxFalse = 0.06}},
        {"20 rules 20% slower, 3 runs a side", {.seed = 31, .runs = 3, .changed = 20}, {.minFound = 0.65}},
    };
    for (const Row& row : rows) check(row);
}

// On a shared machine: each run slower or faster as a whole (sd 2%) over
// ±5% from rule to rule; a warm-up run; rules noisier than their size.
TEST(ModeratedTests, OnASharedMachine) {
    const Case shared{.seed = 37, .smallWidth = 0.05, .largeWidth = 0.05, .runSd = 0.02};
    const auto with = [&shared](std::uint32_t seed, int changed, double every, double warmUp, double spread) {
        Case k = shared;
        k.seed = seed;
        k.changed = changed;
        k.every = every;
        k.warmUp = warmUp;
        k.warmUpSpread = spread;
        return k;
    };
    const Row rows[] = {
        {"nothing changed", with(37, 0, 1, 0, 0),
         {.maxMarked = 0.2, .maxWithAny = 0.10, .minShiftHeld = 0.90, .maxAnyNamed = 0.10}},
        {"20 rules 20% slower", with(41, 20, 1, 0, 0), {.minFound = 0.95, .maxFalse = 0.06}},
        // The shift is found, and the twenty beyond it.
        {"every rule 5% slower, 20 more", with(43, 20, 1.05, 0, 0),
         {.minFound = 0.90, .maxFalse = 0.06, .minShiftHeld = 0.85}},
        // One old run 30% slower on every rule, then ± 10% from rule to
        // rule, then one on a busy machine: ± 50%.
        {"a warm-up run", with(47, 20, 1, 0.30, 0), {.minFound = 0.90, .maxFalse = 0.06, .minWarmUpNamed = 0.90}},
        {"a warm-up run, ±10%", with(47, 20, 1, 0.30, 0.10),
         {.minFound = 0.85, .maxFalse = 0.06, .minWarmUpNamed = 0.90}},
        {"a busy run, ±50%", with(47, 20, 1, 0.30, 0.50),
         {.minFound = 0.85, .maxFalse = 0.06, .minWarmUpNamed = 0.90}},
        // Ten rules five times as noisy as the others of their size.
        {"10 noisy rules", {.seed = 53, .noisy = 10}, {.maxMarked = 0.1, .maxWithAny = 0.10}},
        {"10 noisy rules, 20 slower", {.seed = 59, .changed = 20, .noisy = 10},
         {.minFound = 0.90, .maxFalse = 0.06}},
    };
    for (const Row& row : rows) check(row);
}

// What real runs have beyond that: a change in a path many rules share,
// warm-up runs on both sides, each run its own machine speed, a rule
// missing from a run, heavy tails.
TEST(ModeratedTests, BeyondTheQuietMachine) {
    const Row rows[] = {
        {"150 rules 15% slower", {.seed = 61, .changed = 150, .factor = 1.15},
         {.minFound = 0.85, .maxFalse = 0.05, .minShiftHeld = 0.80}},
        {"200 rules 10% slower", {.seed = 67, .changed = 200, .factor = 1.10},
         {.minFound = 0.40, .maxFalse = 0.05, .minShiftHeld = 0.80}},
        {"half the rules 10% slower", {.seed = 71, .changed = 250, .factor = 1.10},
         {.minFound = 0.40, .maxFalse = 0.06}},
        {"two warm-up runs old, one new, 20 rules 20% slower",
         {.seed = 73, .changed = 20, .warmUp = 0.30, .oldWarmUps = 2, .newWarmUps = 1},
         {.minFound = 0.90, .maxFalse = 0.06, .minCoverage = 0.92, .minWarmUpNamed = 0.90}},
        {"run factors sd 5%", {.seed = 79, .runSd = 0.05}, {.maxMarked = 0.1, .maxAnyNamed = 0.10}},
        {"run factors sd 5%, 20 rules 20% slower", {.seed = 83, .runSd = 0.05, .changed = 20},
         {.minFound = 0.95, .minCoverage = 0.90}},
        {"ten rules missing from a run, five changed", {.seed = 89, .changed = 20, .missing = 10},
         {.minFound = 0.85, .maxFalse = 0.06}},
        {"heavy tails", {.seed = 97, .tailDegrees = 3}, {.maxMarked = 0.05}},
        {"heavy tails, 20 rules 20% slower", {.seed = 101, .changed = 20, .tailDegrees = 3},
         {.minFound = 0.88, .maxFalse = 0.05}},
    };
    for (const Row& row : rows) check(row);
}

TEST(ModeratedTests, FewRulesAndFewRunsStillDecide) {
    // Two rules alone get no prior nor shift; a rule the same in every run
    // changed exactly; intervals in percent of the old value.
    const double old[] = {100, 100, 100, 1000, 1010, 990, 7, 7, 7};
    const double now[] = {200, 200, 200, 1100, 1090, 1110, 7, 7, 7};
    RuleChange out[3];
    std::vector<double> scratch(testScratch(3, 3, 3));
    std::int32_t order[6];
    bool keep[12];
    const RunsTest test = testRules(old, 3, now, 3, 3, out, scratch.data(), order, keep);
    EXPECT_EQ(test.prior, 0);
    EXPECT_FALSE(out[0].varies);
    EXPECT_TRUE(out[0].real);
    EXPECT_TRUE(out[1].varies);
    EXPECT_LT(out[1].lowPercent, 9.9);
    EXPECT_GT(out[1].highPercent, 9.9);
    EXPECT_FALSE(out[2].real);
}

TEST(ModeratedTests, TheTotalIsTestedAloneAndItsIntervalHoldsSmallValues) {
    // Each new run twice its old one: the interval is of the values, not
    // of one more than them, and three runs a side can decide.
    const double old[] = {10, 11, 12, 9, 10, 11, 10, 12, 9, 10};
    double now[10];
    for (int r = 0; r < 10; ++r) now[r] = 2 * old[r];
    bool keep[20];
    for (bool& k : keep) k = true;
    const RuleChange total = testTotal(old, 10, now, 10, keep);
    EXPECT_TRUE(total.real);
    EXPECT_LT(total.lowPercent, 100);
    EXPECT_GT(total.highPercent, 100);
    const double three[] = {1000, 1010, 990}, grown[] = {1200, 1190, 1210};
    EXPECT_TRUE(testTotal(three, 3, grown, 3, keep).real);
    EXPECT_FALSE(testTotal(three, 3, three, 3, keep).real);
}

}  // namespace

namespace {

// The procedure steps up: the largest rank whose p-value is within its
// share keeps every smaller one, even those above their own shares.
TEST(ModeratedTests, BenjaminiHochbergKeepsUpToTheLargestRankWithinItsShare) {
    const struct {
        std::vector<double> p;
        std::int32_t kept;
    } cases[] = {
        {{0.04, 0.05}, 2},                // 0.04 is over 0.025, 0.05 within 0.05
        {{0.05, 0.04}, 2},                // in any order
        {{0.01, 0.04, 0.2}, 1},           // 0.04 over 0.033
        {{0.2, 0.3}, 0},
        {{0.001, 0.5, 0.02, 0.03}, 3},    // 0.03 within 0.0375
        {{0.051}, 0},
    };
    for (const auto& c : cases) {
        std::vector<std::int32_t> order(c.p.size());
        const std::int32_t kept =
            keptByFdr(c.p.data(), nullptr, static_cast<std::int32_t>(c.p.size()), order.data());
        EXPECT_EQ(kept, c.kept) << c.p[0];
        for (std::int32_t k = 1; k < static_cast<std::int32_t>(c.p.size()); ++k)
            EXPECT_LE(c.p[order[k - 1]], c.p[order[k]]);
    }
}

}  // namespace

namespace {

// 200 rules, each run's values its rule's size times a noise of ±2% and
// the run's own factor.
std::vector<double> runsOf(const std::vector<double>& factors, std::uint64_t seed) {
    const std::int32_t rules = 200, runs = static_cast<std::int32_t>(factors.size());
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<double> values(static_cast<std::size_t>(rules) * runs);
    for (std::int32_t g = 0; g < rules; ++g)
        for (std::int32_t r = 0; r < runs; ++r)
            values[static_cast<std::size_t>(g) * runs + r] =
                std::floor(1000.0 * (g + 1) * factors[r] * (0.98 + 0.04 * unit(random)));
    return values;
}

// Which runs are named unlike their side and which are left out: on
// either side, faster or slower, and never leaving a side one run.
TEST(ModeratedTests, RunsUnlikeTheirSide) {
    const struct {
        const char* what;
        std::vector<double> old, now;
        const char* kept;  // old runs then new runs, 1 kept
        std::int32_t named;
    } cases[] = {
        {"like runs", {1, 1, 1, 1}, {1, 1, 1, 1}, "11111111", 0},
        {"an old run slower", {1.3, 1, 1, 1}, {1, 1, 1, 1}, "01111111", 1},
        {"a new run faster", {1, 1, 1, 1}, {1, 1, 0.7, 1}, "11111101", 1},
        // Runs spread evenly: none stands out of their spread.
        {"every run unlike the others", {1, 1.4, 0.6, 1.9}, {1, 1, 1, 1}, "11111111", 0},
        {"two slower on each side", {1.3, 1.3, 1, 1, 1}, {1, 1.3, 1.3, 1, 1}, "0011110011", 4},
        {"two of three unlike", {1, 1.3, 0.7}, {1, 1, 1, 1}, "1111111", 2},
    };
    for (const auto& c : cases) {
        const std::int32_t n = static_cast<std::int32_t>(c.old.size()), m = static_cast<std::int32_t>(c.now.size());
        const std::vector<double> old = runsOf(c.old, 5), now = runsOf(c.now, 6);
        const std::int32_t rules = static_cast<std::int32_t>(old.size()) / n;
        std::vector<RuleChange> out(rules);
        std::vector<double> scratch(static_cast<std::size_t>(testScratch(rules, n, m)));
        std::vector<std::int32_t> order(2 * static_cast<std::size_t>(rules));
        bool keep[32];
        const RunsTest test = testRules(old.data(), n, now.data(), m, rules, out.data(), scratch.data(),
                                        order.data(), keep);
        std::string kept;
        for (std::int32_t r = 0; r < n + m; ++r) kept += keep[r] ? '1' : '0';
        EXPECT_EQ(kept, c.kept) << c.what;
        EXPECT_EQ(test.oddCount, c.named) << c.what;
    }
}

// The total's test takes each side's own kept runs: a wild new run left
// out counts for nothing, whatever is kept on the old side.
TEST(ModeratedTests, TheTotalTakesEachSidesKeptRuns) {
    const double old[] = {100, 101, 99, 100}, now[] = {500, 100, 102, 98};
    const bool keep[] = {true, true, true, true, false, true, true, true};
    const bool all[] = {true, true, true, true, true, true, true};
    const RuleChange left = testTotal(old, 4, now, 4, keep);
    const RuleChange without = testTotal(old, 4, now + 1, 3, all);
    EXPECT_EQ(left.p, without.p);
    EXPECT_EQ(left.lowPercent, without.lowPercent);
    EXPECT_FALSE(left.real);
}

}  // namespace

namespace {

// Rules much noisier than their size's are set apart, and the prior is
// fitted again without them: it is then what it would be had they not
// been there at all.
TEST(ModeratedTests, ThePriorIsFittedAgainWithoutTheRulesSetApart) {
    const std::int32_t n = 5, quiet = 300, noisy = 10;
    std::mt19937_64 random(21);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<double> old, now;
    for (std::int32_t g = 0; g < quiet + noisy; ++g) {
        const double size = 1000.0 * (1 + g % 50), spread = g < quiet ? 0.03 : 0.3;
        for (std::vector<double>* side : {&old, &now})
            for (std::int32_t r = 0; r < n; ++r) side->push_back(std::floor(size * (1 - spread + 2 * spread * unit(random))));
    }
    // Rule-major: each rule's runs together, as testRules takes them.
    const auto prior = [&](std::int32_t rules) {
        std::vector<double> o, m;
        for (std::int32_t g = 0; g < rules; ++g)
            for (std::int32_t r = 0; r < n; ++r) {
                o.push_back(old[static_cast<std::size_t>(g) * n + r]);
                m.push_back(now[static_cast<std::size_t>(g) * n + r]);
            }
        std::vector<RuleChange> out(rules);
        std::vector<double> scratch(static_cast<std::size_t>(testScratch(rules, n, n)));
        std::vector<std::int32_t> order(2 * static_cast<std::size_t>(rules));
        bool keep[4 * n];
        return testRules(o.data(), n, m.data(), n, rules, out.data(), scratch.data(), order.data(), keep).prior;
    };
    const double without = prior(quiet), with = prior(quiet + noisy);
    ASSERT_GT(without, 0);
    EXPECT_NEAR(with / without, 1, 0.25) << with << " against " << without;
}

}  // namespace

namespace {

// The core's robust estimators, on values of which a share stands apart:
// where the bulk lies and where the most of them gather stay with the
// bulk; the spread stays bounded (Qn on a few values, the median distance
// on many), near the bulk's where few stand apart.
TEST(RobustCore, TheBulkDecidesUpToHalf) {
    std::mt19937_64 random(5);
    std::normal_distribution<double> normal(0, 1);
    const struct {
        const char* what;
        int bulk, apart;
        double at;          // where the values apart stand, in the bulk's sds
        double within;      // bulkLocation and halfSampleMode land within this of 0
        double low, high;   // spreadOf lands between these
    } cases[] = {
        {"all alike", 200, 0, 0, 0.3, 0.85, 1.15},
        {"40% ten sds apart", 120, 80, 10, 0.8, 0.8, 2.5},
        {"a few far apart, few values (Qn)", 20, 4, 50, 0.8, 0.6, 2.0},
        {"many values (median distance)", 300, 60, 8, 0.3, 0.9, 1.4},
    };
    for (const auto& c : cases) {
        std::vector<double> v;
        for (int k = 0; k < c.bulk; ++k) v.push_back(normal(random));
        for (int k = 0; k < c.apart; ++k) v.push_back(c.at + normal(random));
        std::vector<double> scratch(v.size() * v.size());
        const std::int32_t count = static_cast<std::int32_t>(v.size());
        EXPECT_NEAR(bulkLocation(v.data(), count, scratch.data()), 0, c.within) << c.what;
        const double spread = spreadOf(v.data(), count, 0, scratch.data());
        EXPECT_GE(spread, c.low) << c.what;
        EXPECT_LE(spread, c.high) << c.what;
        std::vector<double> modes = v;
        EXPECT_NEAR(halfSampleMode(modes.data(), count), 0, c.within) << c.what;
    }
    // A floor keeps a spread of equal values from naming every run.
    const double equal[] = {0.5, 0.5, 0.5, 0.5};
    double pairs[16];
    EXPECT_EQ(spreadOf(equal, 4, 0.01, pairs), 0.01);
}

}  // namespace
