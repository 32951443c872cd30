#include "moderated.h"

#include "maths.h"

#include <algorithm>

namespace {

// A timing is a product of factors, so its noise is a share of it: the
// tests work on logarithms. One more than the value keeps a run in which
// a rule did not run (0) finite.
double logValue(double x) { return logOf(x + 1); }

struct Sample {
    double mean;      // of the logarithms
    double squares;   // the sum of squared deviations from the mean
};

// Welford's running mean and squares: one logarithm a value.
Sample sampleOf(const double* values, std::int32_t count) {
    Sample s{0, 0};
    for (std::int32_t r = 0; r < count; ++r) {
        const double y = logValue(values[r]);
        const double before = y - s.mean;
        s.mean += before / (r + 1);
        s.squares += before * (y - s.mean);
    }
    return s;
}

bool steady(const double* values, std::int32_t count) {
    for (std::int32_t r = 1; r < count; ++r)
        if (values[r] != values[0]) return false;
    return true;
}

// Rules of about the same size share a variance: each rule's log-variance
// is compared with the mean of those of its neighbours in size, this many
// on each side at the least, or a twentieth of the rules on each side.
constexpr std::int32_t minNeighbours = 4;
// The prior's weight is kept below this many degrees of freedom in all,
// where Student's t is as good as normal.
constexpr double maxDegrees = 1000;

// Fits the prior to the log-variances z[g] of the rules order[0..count-1],
// ordered by size; trend[g] gets each one's expected log-variance, and
// the result is the prior's weight.
double fitPrior(const double* z, const std::int32_t* order, std::int32_t count, double degrees,
                double* trend) {
    const std::int32_t half = std::max(minNeighbours, count / 20);
    // A running mean, its window cut at the ends.
    for (std::int32_t k = 0; k < count; ++k) {
        const std::int32_t first = std::max(0, k - half), last = std::min(count - 1, k + half);
        double sum = 0;
        for (std::int32_t j = first; j <= last; ++j) sum += z[order[j]];
        trend[order[k]] = sum / (last - first + 1);
    }
    double mean = 0;
    for (std::int32_t k = 0; k < count; ++k) mean += z[order[k]] - trend[order[k]];
    mean /= count;
    double spread = 0;
    for (std::int32_t k = 0; k < count; ++k) {
        const double e = z[order[k]] - trend[order[k]] - mean;
        spread += e * e;
    }
    // What the log-variances vary by beyond what their own few degrees of
    // freedom make them vary is the prior's: none left, and the prior is
    // all there is to know.
    const double excess = spread / (count - 1) - trigamma(degrees / 2);
    if (excess <= 0) return maxDegrees - degrees;
    return std::min(2 * inverseTrigamma(excess), maxDegrees - degrees);
}

// Marks as real the changes that the Benjamini–Hochberg procedure keeps
// at the false discovery rate.
void markReal(RuleChange* out, std::int32_t count, std::int32_t* order) {
    for (std::int32_t g = 0; g < count; ++g) order[g] = g;
    std::sort(order, order + count,
              [out](std::int32_t a, std::int32_t b) { return out[a].p != out[b].p ? out[a].p < out[b].p : a < b; });
    std::int32_t kept = 0;
    for (std::int32_t k = count; k >= 1; --k)
        if (out[order[k - 1]].p * count <= falseDiscoveryRate * k) {
            kept = k;
            break;
        }
    for (std::int32_t k = 0; k < count; ++k) out[order[k]].real = k < kept;
}

}  // namespace

double testRules(const double* old, std::int32_t n, const double* now, std::int32_t m,
                        std::int32_t count, RuleChange* out, double* scratch,
                        std::int32_t* order) {
    const double degrees = n + m - 2;
    double* const difference = scratch;         // of the means
    double* const variance = scratch + count;   // pooled
    double* const z = scratch + 2 * count;      // log-variances, less their bias
    double* const trend = scratch + 3 * count;  // the sizes, then the fitted log-variances
    const double bias = digamma(degrees / 2) - logOf(degrees / 2);

    // The rules whose values vary, ordered by size, give the prior.
    std::int32_t fitted = 0;
    for (std::int32_t g = 0; g < count; ++g) {
        const double* a = old + static_cast<std::int64_t>(g) * n;
        const double* b = now + static_cast<std::int64_t>(g) * m;
        RuleChange& c = out[g];
        c = RuleChange{!(steady(a, n) && steady(b, m)), false, 1, 0, 0};
        if (!c.varies) {
            // The same in every run of a side: it changed exactly or not at all.
            c.p = a[0] != b[0] ? 0 : 1;
            continue;
        }
        const Sample x = sampleOf(a, n), y = sampleOf(b, m);
        difference[g] = y.mean - x.mean;
        variance[g] = (x.squares + y.squares) / degrees;
        if (variance[g] > 0) {
            z[g] = logOf(variance[g]) - bias;
            order[fitted++] = g;
            trend[g] = (x.mean * n + y.mean * m) / (n + m);  // the size, for now
        }
    }
    std::sort(order, order + fitted, [trend](std::int32_t a, std::int32_t b) {
        return trend[a] != trend[b] ? trend[a] < trend[b] : a < b;
    });
    // Too few rules say nothing of each other: each is tested alone.
    double prior = 0;
    if (fitted >= 3) prior = fitPrior(z, order, fitted, degrees, trend);
    const double total = degrees + prior;
    const double q = tTwoSidedQuantile(intervalLevel, total);
    const double spread = 1.0 / n + 1.0 / m;
    // From a log-variance expected of the rules to the variance itself.
    const double priorBias = prior > 0 ? digamma(prior / 2) - logOf(prior / 2) : 0;
    for (std::int32_t g = 0; g < count; ++g) {
        RuleChange& c = out[g];
        if (!c.varies) continue;
        double moderated = variance[g];
        if (prior > 0) {
            const double expected = expOf(trend[g] + priorBias);
            moderated = (prior * expected + degrees * variance[g]) / total;
        }
        const double error = sqrtOf(moderated * spread);
        c.p = error > 0 ? tTwoSidedP(difference[g] / error, total) : difference[g] != 0 ? 0 : 1;
        c.lowPercent = (expOf(difference[g] - q * error) - 1) * 100;
        c.highPercent = (expOf(difference[g] + q * error) - 1) * 100;
    }
    markReal(out, count, order);
    return prior;
}
