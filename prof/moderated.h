// Which of many rules really changed between a few runs of each side: a
// test per rule on the logarithms of its per-run values, each rule's
// variance moderated toward one fitted to all the rules of its size
// (empirical Bayes), and the Benjamini–Hochberg procedure over every rule
// tested, so that at most 5% of the changes marked real are expected to
// be noise. The README says why, and what it assumes.
#pragma once

#include <cstdint>

// The level at which the decisions hold: the false discovery rate, and
// one minus the confidence of the intervals.
constexpr double falseDiscoveryRate = 0.05;
constexpr double intervalLevel = 0.05;

struct RuleChange {
    bool varies;     // its values differ between runs; else it changed exactly or not at all
    bool real;       // marked as a real change
    double p;        // the test's p-value (0 or 1 for a value that does not vary)
    double lowPercent, highPercent;  // the 95% interval of the change, in percent of the old value
};

// Tests count rules, the values of rule g being old[g * n + r] (n runs)
// and now[g * m + r] (m runs), n and m at least 2; scratch has room for
// 4 count doubles and count 32-bit indices. Returns the weight of the
// prior the variances were moderated toward, in degrees of freedom (0 for
// none: too few rules vary).
double testRules(const double* old, std::int32_t n, const double* now, std::int32_t m,
                        std::int32_t count, RuleChange* out, double* scratch,
                        std::int32_t* order);
