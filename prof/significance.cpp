#include "significance.h"

#include "maths.h"

#include <algorithm>

double logValue(double x) { return logOf(x + 1); }

double medianOf(double* v, std::int32_t count) {
    const std::int32_t half = count / 2;
    std::nth_element(v, v + half, v + count);
    const double upper = v[half];
    if (count % 2 != 0) return upper;
    return (*std::max_element(v, v + half) + upper) / 2;
}

namespace {

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
// A run is unlike the others of its side when its values as a whole stand
// more than 10% from their median, or its scatter is more than 1.5 times
// theirs, and more than the scatter of a median over the rules could make
// it by chance (its logarithm's standard error is about 1.2 / sqrt(rules):
// five of them); it takes three runs on the side to tell.
constexpr double oddLevelFactor = 1.10;
constexpr double oddScatter = 1.5;
// It takes this many rules, present in every run, to tell a run's level
// from the changes of a few rules: with fewer, no level is taken out and
// no shift reported.
constexpr std::int32_t minShiftRules = 10;

// Where testRules keeps what it works out, in its scratch.
struct Work {
    std::int32_t n, m, runs, count;
    double* y;         // [g * runs + r]: the logarithms, the old runs first
    double* level;     // [r]: each run's level
    double* scatter;   // [r]
    double* column;    // a run's deviations, for their median
    double* weighs;    // [g]: 1 for a rule that tells the runs' levels
    double* difference;  // [g]: of the means
    double* variance;    // pooled
    double* z;           // log-variances, less their bias
    double* trend;       // the sizes, then the fitted log-variances
    double* outlier;     // 1 for a rule whose variance does not fit the prior
    double* oldMeans;    // [g]: the old runs' mean of the logarithms
};

Work workIn(double* scratch, std::int32_t n, std::int32_t m, std::int32_t count) {
    Work w{n, m, n + m, count, nullptr, nullptr, nullptr, nullptr, nullptr,
           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    double* p = scratch;
    const auto take = [&p](std::int64_t size) {
        double* at = p;
        p += size;
        return at;
    };
    w.y = take(static_cast<std::int64_t>(count) * w.runs);
    w.level = take(w.runs);
    w.scatter = take(w.runs);
    w.column = take(std::max(count, w.runs));
    w.weighs = take(count);
    w.difference = take(count);
    w.variance = take(count);
    w.z = take(count);
    w.trend = take(count);
    w.outlier = take(count);
    w.oldMeans = take(count);
    return w;
}

bool isNew(const Work& w, std::int32_t r) { return r >= w.n; }

// Each run's level: the median, over the rules that tell it, of how far
// its logarithm stands from the mean of the kept old runs; a change of a
// few rules, or of many, leaves it where the others put it.
void findLevels(Work& w, const bool* keep, std::int32_t weighing) {
    std::int32_t keptOld = 0;
    for (std::int32_t r = 0; r < w.n; ++r) keptOld += keep[r];
    for (std::int32_t r = 0; r < w.runs; ++r) w.level[r] = 0;
    if (weighing < minShiftRules) return;
    for (std::int32_t r = 0; r < w.runs; ++r) {
        std::int32_t k = 0;
        for (std::int32_t g = 0; g < w.count; ++g) {
            if (w.weighs[g] == 0) continue;
            const double* row = w.y + static_cast<std::int64_t>(g) * w.runs;
            double reference = 0;
            for (std::int32_t s = 0; s < w.n; ++s)
                if (keep[s]) reference += row[s];
            w.column[k++] = row[r] - reference / keptOld;
        }
        w.level[r] = medianOf(w.column, k);
    }
}

// The runs of one side (from first, count of them) that stand apart from
// the others, into test.odd, and left out where two runs stay.
void findOddRuns(Work& w, std::int32_t first, std::int32_t count, bool* keep, RunsTest& test) {
    if (count < 3) return;
    const double oddLevel = logOf(oddLevelFactor);
    std::int32_t rules = 0;
    for (std::int32_t g = 0; g < w.count; ++g) rules += w.weighs[g] != 0;
    const double chance = expOf(6 / sqrtOf(rules));
    const double scatterLimit = chance > oddScatter ? chance : oddScatter;
    for (std::int32_t r = first; r < first + count; ++r) {
        // Its deviations from the mean of the others, each run's level
        // taken out.
        std::int32_t k = 0;
        for (std::int32_t g = 0; g < w.count; ++g) {
            if (w.weighs[g] == 0) continue;
            const double* row = w.y + static_cast<std::int64_t>(g) * w.runs;
            double mean = 0;
            for (std::int32_t s = first; s < first + count; ++s)
                if (s != r) mean += row[s] - w.level[s];
            mean /= count - 1;
            const double e = row[r] - w.level[r] - mean;
            w.column[k++] = e < 0 ? -e : e;
        }
        w.scatter[r] = medianOf(w.column, k);
    }
    std::int32_t named = 0;
    const std::int32_t start = test.oddCount;
    for (std::int32_t r = first; r < first + count; ++r) {
        std::int32_t k = 0;
        for (std::int32_t s = first; s < first + count; ++s)
            if (s != r) w.column[k++] = w.level[s];
        const double level = w.level[r] - medianOf(w.column, k);
        k = 0;
        for (std::int32_t s = first; s < first + count; ++s)
            if (s != r) w.column[k++] = w.scatter[s];
        const double theirs = medianOf(w.column, k);
        const double ratio = theirs > 0 ? w.scatter[r] / theirs : 1;
        if ((level < -oddLevel || level > oddLevel || ratio > scatterLimit) &&
            test.oddCount < maxOddRuns) {
            test.odd[test.oddCount++] =
                OddRun{isNew(w, r), r - first, (expOf(level) - 1) * 100, ratio, false};
            ++named;
        }
    }
    // The side keeps two runs at the least, or all of them.
    if (count - named < 2) return;
    for (std::int32_t k = start; k < test.oddCount; ++k) {
        test.odd[k].leftOut = true;
        keep[first + test.odd[k].run] = false;
    }
}

}  // namespace

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

std::int32_t keptByFdr(const double* p, const std::int32_t* among, std::int32_t count,
                       std::int32_t* order) {
    for (std::int32_t k = 0; k < count; ++k) order[k] = among != nullptr ? among[k] : k;
    std::sort(order, order + count,
              [p](std::int32_t a, std::int32_t b) { return p[a] != p[b] ? p[a] < p[b] : a < b; });
    for (std::int32_t k = count; k >= 1; --k)
        if (p[order[k - 1]] * count <= falseDiscoveryRate * k) return k;
    return 0;
}

namespace {

// Marks as real the changes that the Benjamini–Hochberg procedure keeps
// at the false discovery rate.
void markReal(RuleChange* out, std::int32_t count, std::int32_t* order, double* p) {
    for (std::int32_t g = 0; g < count; ++g) p[g] = out[g].p;
    const std::int32_t kept = keptByFdr(p, nullptr, count, order);
    for (std::int32_t k = 0; k < count; ++k) out[order[k]].real = k < kept;
}

// The prior, robustly: fitted to every rule, then again without those
// whose variances are too large for it (their upper tail under the prior,
// at the false discovery rate), which get none of it.
double fitRobustPrior(Work& w, std::int32_t* order, std::int32_t fitted, double degrees) {
    if (fitted < 3) return 0;
    double prior = fitPrior(w.z, order, fitted, degrees, w.trend);
    const double priorBias = digamma(prior / 2) - logOf(prior / 2);
    double* const tail = w.column;  // by rule
    for (std::int32_t k = 0; k < fitted; ++k) {
        const std::int32_t g = order[k];
        const double ratio = w.variance[g] / expOf(w.trend[g] + priorBias);
        // A variance under four times the prior's has an upper tail over
        // 5% for any degrees of freedom, which no rank can keep: it need
        // not be worked out.
        const double share = degrees * ratio / (prior + degrees * ratio);
        tail[g] = ratio <= 4 ? 1 : incompleteBeta(1 - share, share, prior / 2, degrees / 2);
    }
    // The sorting reorders; the rules stay ordered by size in sizeOrder.
    std::int32_t* const sizeOrder = order + w.count;
    std::copy(order, order + fitted, sizeOrder);
    const std::int32_t outliers = keptByFdr(tail, sizeOrder, fitted, order);
    for (std::int32_t k = 0; k < fitted; ++k) w.outlier[order[k]] = k < outliers ? 1 : 0;
    std::int32_t kept = 0;
    for (std::int32_t k = 0; k < fitted; ++k)
        if (w.outlier[sizeOrder[k]] == 0) order[kept++] = sizeOrder[k];
    if (outliers == 0) return prior;
    return kept >= 3 ? fitPrior(w.z, order, kept, degrees, w.trend) : 0;
}

// The percent change and its interval from the means of the logarithms
// and the interval's half-width: the change of the values, not of one
// more than them.
void putInterval(RuleChange& c, double oldMean, double newMean, double halfWidth) {
    const double oldValue = expOf(oldMean) - 1, newValue = expOf(newMean) - 1;
    c.halfWidth = halfWidth;
    if (!(oldValue > 0)) return;
    const double ratio = newValue / oldValue;
    c.lowPercent = (ratio * expOf(-halfWidth) - 1) * 100;
    c.highPercent = (ratio * expOf(halfWidth) - 1) * 100;
}

struct Sample {
    double mean;     // of the logarithms
    double squares;  // the sum of squared deviations from the mean
    std::int32_t count;
};

// Welford's running mean and squares over the kept runs of a row, each
// run's level relative to its side's taken out.
Sample sampleOf(const double* row, const double* level, double sideLevel, const bool* keep,
                std::int32_t first, std::int32_t count) {
    Sample s{0, 0, 0};
    for (std::int32_t r = first; r < first + count; ++r) {
        if (!keep[r]) continue;
        const double y = row[r] - (level[r] - sideLevel);
        const double before = y - s.mean;
        s.mean += before / ++s.count;
        s.squares += before * (y - s.mean);
    }
    return s;
}

double meanOf(const double* values, const bool* keep, std::int32_t first, std::int32_t count,
              std::int32_t& kept) {
    double sum = 0;
    kept = 0;
    for (std::int32_t r = first; r < first + count; ++r)
        if (keep[r]) {
            sum += values[r];
            ++kept;
        }
    return kept > 0 ? sum / kept : 0;
}

// What the runs' levels say: each side's mean level, the shift between
// them, and how the levels scatter within the sides.
struct Levels {
    double oldLevel, newLevel, shift, variance;
    std::int32_t keptOld, keptNew;
    double degrees;  // of the runs tested
    double spread;   // 1/n + 1/m of the runs tested
};

// The runs' levels from the rules w.weighs names, the odd runs named and
// left out, and the shift with its interval, into test.
Levels measureRuns(Work& w, bool* keep, std::int32_t weighing, RunsTest& test) {
    for (std::int32_t r = 0; r < w.runs; ++r) keep[r] = true;
    findLevels(w, keep, weighing);
    if (weighing >= minShiftRules) {
        findOddRuns(w, 0, w.n, keep, test);
        findOddRuns(w, w.n, w.m, keep, test);
        findLevels(w, keep, weighing);
    }
    // The shift: the difference of the sides' mean levels, its interval
    // from how the levels scatter within each side.
    Levels l{};
    l.oldLevel = meanOf(w.level, keep, 0, w.n, l.keptOld);
    l.newLevel = meanOf(w.level, keep, w.n, w.m, l.keptNew);
    l.degrees = l.keptOld + l.keptNew - 2;
    l.shift = l.newLevel - l.oldLevel;
    double squares = 0;
    for (std::int32_t r = 0; r < w.runs; ++r)
        if (keep[r]) {
            const double e = w.level[r] - (isNew(w, r) ? l.newLevel : l.oldLevel);
            squares += e * e;
        }
    l.variance = squares / l.degrees;
    l.spread = 1.0 / l.keptOld + 1.0 / l.keptNew;
    test.shiftTested = weighing >= minShiftRules;
    if (test.shiftTested) {
        const double half = tTwoSidedQuantile(intervalLevel, l.degrees) * sqrtOf(l.variance * l.spread);
        test.shiftPercent = (expOf(l.shift) - 1) * 100;
        test.shiftLow = (expOf(l.shift - half) - 1) * 100;
        test.shiftHigh = (expOf(l.shift + half) - 1) * 100;
    }
    return l;
}

// Each rule's samples over the runs tested, their levels taken out: the
// difference of the means, the pooled variance and the size; the rules
// whose values vary go into order, for the prior. Their number.
std::int32_t sampleRules(Work& w, const double* old, const double* now, const bool* keep,
                         const Levels& l, RuleChange* out, std::int32_t* order) {
    const std::int32_t n = w.n, m = w.m;
    const double bias = digamma(l.degrees / 2) - logOf(l.degrees / 2);
    std::int32_t fitted = 0;
    for (std::int32_t g = 0; g < w.count; ++g) {
        const double* row = w.y + static_cast<std::int64_t>(g) * w.runs;
        const double* a = old + static_cast<std::int64_t>(g) * n;
        const double* b = now + static_cast<std::int64_t>(g) * m;
        RuleChange& c = out[g];
        c = RuleChange{!(steady(a, n) && steady(b, m)), false, 1, 0, 0, 0};
        w.outlier[g] = 0;
        if (!c.varies) {
            // The same in every run of a side: it changed exactly or not at all.
            c.p = a[0] != b[0] ? 0 : 1;
            continue;
        }
        const Sample x = sampleOf(row, w.level, l.oldLevel, keep, 0, n);
        const Sample y = sampleOf(row, w.level, l.newLevel, keep, n, m);
        w.oldMeans[g] = x.mean;
        w.difference[g] = y.mean - x.mean;
        w.variance[g] = (x.squares + y.squares) / l.degrees;
        w.trend[g] = (x.mean * l.keptOld + y.mean * l.keptNew) / (l.keptOld + l.keptNew);  // the size, for now
        w.z[g] = w.variance[g] > 0 ? logOf(w.variance[g]) - bias : 0;
        if (w.variance[g] > 0) order[fitted++] = g;
    }
    return fitted;
}

// Each varying rule's test beyond the shift, with its variance moderated
// toward the prior (but an outlier's), and its interval.
void testEachRule(const Work& w, const Levels& l, double prior, RuleChange* out) {
    const double priorBias = prior > 0 ? digamma(prior / 2) - logOf(prior / 2) : 0;
    const double q = tTwoSidedQuantile(intervalLevel, l.degrees + prior);
    const double qAlone = tTwoSidedQuantile(intervalLevel, l.degrees);
    for (std::int32_t g = 0; g < w.count; ++g) {
        RuleChange& c = out[g];
        if (!c.varies) continue;
        const bool alone = prior == 0 || w.outlier[g] != 0;
        double moderated = w.variance[g];
        if (!alone)
            moderated = (prior * expOf(w.trend[g] + priorBias) + l.degrees * w.variance[g]) /
                        (l.degrees + prior);
        const double total = alone ? l.degrees : l.degrees + prior;
        // Beyond the shift, which the same runs' levels measure: their
        // scatter is not the rule's.
        const double beyond = w.difference[g] - l.shift;
        const double error = sqrtOf(moderated * l.spread);
        c.p = error > 0 ? tTwoSidedP(beyond / error, total) : beyond != 0 ? 0 : 1;
        // The interval is of the change itself, shift and all.
        const double all = sqrtOf((moderated + l.variance) * l.spread);
        putInterval(c, w.oldMeans[g], w.oldMeans[g] + w.difference[g], (alone ? qAlone : q) * all);
    }
}

// One pass of the tests: the runs' levels and the odd runs from the rules
// w.weighs names, then each rule's test.
RunsTest testPass(Work& w, const double* old, const double* now, RuleChange* out,
                  std::int32_t* order, bool* keep, std::int32_t weighing) {
    RunsTest test{};
    const Levels l = measureRuns(w, keep, weighing, test);
    const std::int32_t fitted = sampleRules(w, old, now, keep, l, out, order);
    std::sort(order, order + fitted, [&w](std::int32_t a, std::int32_t b) {
        return w.trend[a] != w.trend[b] ? w.trend[a] < w.trend[b] : a < b;
    });
    // Too few rules say nothing of each other: each is tested alone.
    test.prior = fitRobustPrior(w, order, fitted, l.degrees);
    testEachRule(w, l, test.prior, out);
    markReal(out, w.count, order, w.column);
    return test;
}

}  // namespace

std::int64_t testScratch(std::int32_t count, std::int32_t n, std::int32_t m) {
    const std::int64_t runs = n + m;
    return static_cast<std::int64_t>(count) * runs + 2 * runs + std::max<std::int64_t>(count, runs) +
           8 * static_cast<std::int64_t>(count);
}

RunsTest testRules(const double* old, std::int32_t n, const double* now, std::int32_t m,
                   std::int32_t count, RuleChange* out, double* scratch, std::int32_t* order,
                   bool* keep) {
    Work w = workIn(scratch, n, m, count);
    std::int32_t weighing = 0;
    for (std::int32_t g = 0; g < count; ++g) {
        double* row = w.y + static_cast<std::int64_t>(g) * w.runs;
        bool allThere = true;
        for (std::int32_t r = 0; r < n; ++r) {
            const double x = old[static_cast<std::int64_t>(g) * n + r];
            row[r] = logValue(x);
            allThere = allThere && x > 0;
        }
        for (std::int32_t r = 0; r < m; ++r) {
            const double x = now[static_cast<std::int64_t>(g) * m + r];
            row[n + r] = logValue(x);
            allThere = allThere && x > 0;
        }
        w.weighs[g] = allThere ? 1 : 0;
        weighing += allThere;
    }
    // A second pass leaves the rules marked real out of the runs' levels,
    // which their changes would otherwise pull a little their way.
    RunsTest test = testPass(w, old, now, out, order, keep, weighing);
    std::int32_t changed = 0;
    for (std::int32_t g = 0; g < count; ++g)
        if (out[g].real && w.weighs[g] != 0) ++changed;
    if (changed == 0 || weighing - changed < minShiftRules) return test;
    for (std::int32_t g = 0; g < count; ++g)
        if (out[g].real) w.weighs[g] = 0;
    return testPass(w, old, now, out, order, keep, weighing - changed);
}

RuleChange testTotal(const double* old, std::int32_t n, const double* now, std::int32_t m,
                     const bool* keep) {
    RuleChange c{false, false, 1, 0, 0, 0};
    Sample x{0, 0, 0}, z{0, 0, 0};
    bool steadyOld = true, steadyNew = true;
    double firstOld = -1, firstNew = -1;
    const auto add = [](Sample& s, double value) {
        const double v = logValue(value);
        const double before = v - s.mean;
        s.mean += before / ++s.count;
        s.squares += before * (v - s.mean);
    };
    for (std::int32_t r = 0; r < n; ++r) {
        if (!keep[r]) continue;
        if (firstOld < 0) firstOld = old[r];
        steadyOld = steadyOld && old[r] == firstOld;
        add(x, old[r]);
    }
    for (std::int32_t r = 0; r < m; ++r) {
        if (!keep[n + r]) continue;
        if (firstNew < 0) firstNew = now[r];
        steadyNew = steadyNew && now[r] == firstNew;
        add(z, now[r]);
    }
    c.varies = !(steadyOld && steadyNew);
    if (!c.varies) {
        c.p = firstOld != firstNew ? 0 : 1;
    } else {
        const double degrees = x.count + z.count - 2;
        const double error = sqrtOf((x.squares + z.squares) / degrees * (1.0 / x.count + 1.0 / z.count));
        const double d = z.mean - x.mean;
        c.p = error > 0 ? tTwoSidedP(d / error, degrees) : d != 0 ? 0 : 1;
        putInterval(c, x.mean, z.mean, tTwoSidedQuantile(intervalLevel, degrees) * error);
    }
    c.real = c.p <= intervalLevel;
    return c;
}
