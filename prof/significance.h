// Which of many rules really changed between a few runs of each side: a
// test per rule on the logarithms of its per-run values, each rule's
// variance moderated toward one fitted to all the rules of its size
// (empirical Bayes, robust: a rule whose variance does not fit gets none of
// it), and the Benjamini–Hochberg procedure over every rule tested, so
// that at most 5% of the changes marked real are expected to be noise.
//
// Runs on a shared machine are slower or faster as a whole: each run's
// factor, the median over the rules of how far the run stands from the
// old runs' mean, is taken out before the rules are tested, so a rule is
// marked when it changed beyond the shift of everything, and the shift
// between the sides is a result of its own. A run whose values as a whole
// or whose scatter stand apart from the other runs of its side (a warm-up
// run, a run on a busy machine) is named and left out. The README says
// why, and what it assumes.
#pragma once

#include <cstdint>

// The level at which the decisions hold: the false discovery rate, and
// one minus the confidence of the intervals.
constexpr double falseDiscoveryRate = 0.05;
constexpr double intervalLevel = 0.05;
// The least change, in percent, that is marked real, reported as a change
// point or taken out as a shift: a smaller one shows as 0.0% and is
// nothing a tuner can act on, however sure.
constexpr double leastChangePercent = 0.5;
// A normal's standard deviation over its median absolute deviation.
constexpr double madScale = 1.4826;

struct RuleChange {
    bool varies;     // its values differ between runs; else it changed exactly or not at all
    bool real;       // marked as a real change
    double p;        // the test's p-value (0 or 1 for a value that does not vary)
    double lowPercent, highPercent;  // the 95% interval of the change, in percent of the old value
    double halfWidth;  // of that interval, as a factor's logarithm, for one centred elsewhere
    std::int32_t oldRuns, newRuns;  // the runs tested that have the rule
};

// A run unlike the other runs of its side.
struct OddRun {
    bool newSide;
    std::int32_t run;      // its place on its side, from 0
    double levelPercent;   // how far its values as a whole stand from the others'
    double scatterRatio;   // its scatter over theirs
    bool leftOut;          // left out of the averages (fewer than half of its side are odd)
    bool levelOnly;        // odd by its level alone: that taken out, it stays in the tests
};

constexpr std::int32_t maxOddRuns = 8;

// What the runs say as a whole.
struct RunsTest {
    bool shiftTested;       // there were rules enough to tell
    bool shiftTaken;        // reported: the rules moved together, by the least change or more
    bool shiftSplit;        // the rules split between two places: no shift taken out
    double shiftPercent;    // of every rule, from the old side to the new
    double shiftLow, shiftHigh;  // its 95% interval
    std::int32_t oddCount;  // named, at most maxOddRuns
    OddRun odd[maxOddRuns];
    double prior;           // the prior's weight, in degrees of freedom (0: none)
};

// The doubles of scratch testRules needs.
std::int64_t testScratch(std::int32_t count, std::int32_t n, std::int32_t m);

// Tests count rules, the values of rule g being old[g * n + r] (n runs)
// and now[g * m + r] (m runs), n and m at least 2, a value below 0 where
// the run does not have the rule; scratch has room for
// testScratch(count, n, m) doubles, order for 2 * count 32-bit indices, and
// keep for 2 * (n + m) flags: which runs the averages take (old then new),
// then which runs were tested.
RunsTest testRules(const double* old, std::int32_t n, const double* now, std::int32_t m,
                   std::int32_t count, RuleChange* out, double* scratch, std::int32_t* order,
                   bool* keep);

// Tests the change of one series, the runs' totals, alone: the runs keep
// says were tested (old then new).
RuleChange testTotal(const double* old, std::int32_t n, const double* now, std::int32_t m,
                     const bool* keep);

// The pieces the tests share with the change points of a history
// (history.h).

// A timing is a product of factors, so its noise is a share of it: the
// tests work on logarithms. One more than the value keeps a run in which
// a rule did not run (0) finite.
double logValue(double x);
// The median of the count values at v, which it reorders.
double medianOf(double* v, std::int32_t count);
// Fits the prior to the log-variances z[g] of the rules order[0..count-1],
// ordered by size, each with degrees degrees of freedom; trend[g] gets
// each one's expected log-variance, and the result is the prior's weight
// in degrees of freedom.
double fitPrior(const double* z, const std::int32_t* order, std::int32_t count, double degrees,
                double* trend);
// The robust prior: fitted to the rules order[0..fitted-1], ordered by
// size, then again without those whose variances are too large for it
// (their upper tail under the prior, at the false discovery rate), which
// get none of it (outlier[g] = 1). order needs room for 2 * count; tail
// for count doubles. The prior's weight comes back.
struct PriorFit {
    const double* z;   // [g]: log-variances, less their bias
    double* variance;  // [g]: each rule's own, then moderated
    double* degrees;   // [g]: of each one's own, then of the moderated
    double* trend;     // [g]: the sizes, then the fitted log-variances
    double* outlier;   // [g]
    std::int32_t count;
};
double robustPrior(const PriorFit& f, std::int32_t* order, std::int32_t fitted, double* tail);
// Moderates the variances of the rules order[0..fitted-1] toward the
// prior, the prior's degrees of freedom joining their own; an outlier's
// stays its own.
void moderateVariances(const PriorFit& f, const std::int32_t* order, std::int32_t fitted,
                       double prior);
// The spread of count levels' deviations from their groups' medians, a
// normal's standard deviation robustly (Qn; past qnLimit values, the
// median distance), at least floor; pairs has room for count * count
// doubles, or count past qnLimit. And the deviation, in spreads, beyond
// which one of count normal levels stands by chance in 2% of comparisons.
constexpr std::int32_t qnLimit = 64;
double spreadOf(const double* deviations, std::int32_t count, double floor, double* pairs);
double outOfSpread(std::int32_t count);
// Where most of the count values at v lie: Tukey's biweight, a
// redescending M-estimate (c = 4.685, 95% as efficient as a mean on normal
// values), started at their half-sample mode with their spread about it
// (madScale times the median distance) for scale, so that values far
// from the bulk, up to nearly half of them, weigh nothing (a median start
// lets 40% ten spreads away pull it three spreads); scratch has room for
// count.
double bulkLocation(const double* v, std::int32_t count, double* scratch);
// The half-sample mode of the count values at v, which it sorts: the
// middle of the shortest half of them, again and again.
double halfSampleMode(double* v, std::int32_t count);
// The Benjamini–Hochberg procedure, step-up, at the false discovery rate:
// the indices of the count p-values at p (the count indices at among, or
// 0 to count - 1 where among is null) go into order, smallest p first,
// and the number of them kept comes back: the largest k whose k-th
// smallest p-value is at most falseDiscoveryRate * k / count.
std::int32_t keptByFdr(const double* p, const std::int32_t* among, std::int32_t count,
                       std::int32_t* order);
