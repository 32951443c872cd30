#include "significance.h"

#include "maths.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

double logValue(double x) { return logOf(x + 1); }

double medianOf(double* v, std::int32_t count) {
    const std::int32_t half = count / 2;
    std::nth_element(v, v + half, v + count);
    const double upper = v[half];
    if (count % 2 != 0) return upper;
    return (*std::max_element(v, v + half) + upper) / 2;
}

namespace {

// Rules of about the same size share a variance: each rule's log-variance
// is compared with the mean of those of its neighbours in size, this many
// on each side at the least, or a twentieth of the rules on each side.
constexpr std::int32_t minNeighbours = 4;
// The prior's weight is kept below this many degrees of freedom in all,
// where Student's t is as good as normal.
constexpr double maxDegrees = 1000;
// It takes this many rules, present in every run, to tell a run's level
// from the changes of a few rules: with fewer, no level is taken out and
// no shift reported.
constexpr std::int32_t minShiftRules = 10;

// Where testRules keeps what it works out, in its scratch.
struct Work {
    std::int32_t n, m, runs, count;
    double* y;         // [g * runs + r]: the logarithms, the old runs first
    double* present;   // [g * runs + r]: 1 where the run has the rule
    double* level;     // [r]: each run's level, relative to its side's
    double* scatter;   // [r]
    double* distance;  // [r]: its level's from its side's median
    double* logScatter;        // [r]
    double* scatterDeviation;  // [r]: from its side's median
    double* column;    // a run's deviations, for their median
    double* pairs;     // [pairsRoom(runs)]: the distances of pairs of runs' levels
    double* weighs;    // [g]: 1 for a rule that tells the runs' levels
    double* difference;  // [g]: of the means
    double* variance;    // pooled, then moderated
    double* degrees;     // [g]: of its own variance
    double* z;           // log-variances, less their bias
    double* trend;       // the sizes, then the fitted log-variances
    double* outlier;     // 1 for a rule whose variance does not fit the prior
    double* oldMeans;    // [g]: the old runs' mean of the logarithms
    double* spread;      // [g]: 1/n + 1/m of the runs it stands on
    double* reference;   // [g]: a rule's median over a side's runs
};

// The room spreadOf needs for the pairs of count values.
std::int64_t pairsRoom(std::int32_t count) {
    return count > qnLimit ? count : static_cast<std::int64_t>(count) * count;
}

Work workIn(double* scratch, std::int32_t n, std::int32_t m, std::int32_t count) {
    Work w{n, m, n + m, count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
           nullptr, nullptr};
    double* p = scratch;
    const auto take = [&p](std::int64_t size) {
        double* at = p;
        p += size;
        return at;
    };
    w.y = take(static_cast<std::int64_t>(count) * w.runs);
    w.present = take(static_cast<std::int64_t>(count) * w.runs);
    w.level = take(w.runs);
    w.scatter = take(w.runs);
    w.distance = take(w.runs);
    w.logScatter = take(w.runs);
    w.scatterDeviation = take(w.runs);
    w.column = take(2 * std::max(count, w.runs));
    w.pairs = take(pairsRoom(w.runs));
    for (double** array : {&w.weighs, &w.difference, &w.variance, &w.degrees, &w.z, &w.trend,
                           &w.outlier, &w.oldMeans, &w.spread, &w.reference})
        *array = take(count);
    return w;
}

bool isNew(const Work& w, std::int32_t r) { return r >= w.n; }
const double* rowOf(const Work& w, const double* at, std::int32_t g) {
    return at + static_cast<std::int64_t>(g) * w.runs;
}

// Each run's level on its side (runs first..first+count-1): where most of
// the rules that tell it stand from their means over the side's kept runs
// (bulkLocation, as a history's levels are); twice, the second time with the
// levels of the first taken out of the means. The runs of a side all ran
// the same program, so no change of rules, few or many, moves their
// levels; an odd run moves every level alike, which leaves how they stand
// to each other as it is. (A median over the runs would make the middle
// run's level exactly 0 for a share of the rules, and its median too.)
void sideLevels(Work& w, std::int32_t first, std::int32_t count, const bool* keep) {
    for (std::int32_t r = first; r < first + count; ++r) w.level[r] = 0;
    std::int32_t weighing = 0;
    for (std::int32_t g = 0; g < w.count; ++g) weighing += w.weighs[g] != 0;
    if (weighing < minShiftRules) return;
    for (int pass = 0; pass < 2; ++pass) {
        for (std::int32_t g = 0; g < w.count; ++g) {
            if (w.weighs[g] == 0) continue;
            const double* row = rowOf(w, w.y, g);
            std::int32_t k = 0;
            double sum = 0;
            for (std::int32_t s = first; s < first + count; ++s)
                if (keep[s]) {
                    sum += row[s] - w.level[s];
                    ++k;
                }
            w.reference[g] = sum / k;
        }
        for (std::int32_t r = first; r < first + count; ++r) {
            std::int32_t k = 0;
            for (std::int32_t g = 0; g < w.count; ++g)
                if (w.weighs[g] != 0) w.column[k++] = rowOf(w, w.y, g)[r] - w.reference[g];
            w.level[r] = bulkLocation(w.column, k, w.column + k);
        }
    }
}

// Each run's scatter: the median distance of its values from the mean of
// the others', each run's level taken out.
void sideScatters(Work& w, std::int32_t first, std::int32_t count) {
    for (std::int32_t r = first; r < first + count; ++r) {
        std::int32_t k = 0;
        for (std::int32_t g = 0; g < w.count; ++g) {
            if (w.weighs[g] == 0) continue;
            const double* row = rowOf(w, w.y, g);
            double mean = 0;
            for (std::int32_t s = first; s < first + count; ++s)
                if (s != r) mean += row[s] - w.level[s];
            const double e = row[r] - w.level[r] - mean / (count - 1);
            w.column[k++] = e < 0 ? -e : e;
        }
        w.scatter[r] = medianOf(w.column, k);
    }
}

// How far each run of a side (from first, count of them) stands from the
// side's median in value[r], into out[r]; their number, 0 for a side too
// small to tell.
std::int32_t sideDeviations(Work& w, const double* value, std::int32_t first, std::int32_t count,
                            double* out) {
    if (count < 3) return 0;
    for (std::int32_t r = 0; r < count; ++r) w.column[r] = value[first + r];
    const double centre = medianOf(w.column, count);
    for (std::int32_t r = first; r < first + count; ++r) out[r] = value[r] - centre;
    return count;
}

// How the runs stand: each one's level and log-scatter from its side's
// median, and the spreads of those over the sides.
struct Oddness {
    double* level;    // [r], w.distance
    double* scatter;  // [r]
    double levelSpread, scatterSpread, outside;
};

// The runs of one side (from first, count of them) that stand apart from
// the others, into test.odd, and left out of the averages while fewer than
// half of the side are.
void nameOddRuns(Work& w, const Oddness& o, std::int32_t first, std::int32_t count, bool* keep,
                 RunsTest& test) {
    if (count < 3) return;
    const std::int32_t start = test.oddCount;
    for (std::int32_t r = first; r < first + count; ++r) {
        const double e = o.level[r] < 0 ? -o.level[r] : o.level[r];
        const bool byLevel = e > o.outside * o.levelSpread;
        const bool byScatter = o.scatter[r] > o.outside * o.scatterSpread;  // more scatter only
        if (!(byLevel || byScatter) || test.oddCount == maxOddRuns) continue;
        std::int32_t k = 0;
        for (std::int32_t s = first; s < first + count; ++s)
            if (s != r) w.column[k++] = w.level[s];
        const double level = w.level[r] - medianOf(w.column, k);
        k = 0;
        for (std::int32_t s = first; s < first + count; ++s)
            if (s != r) w.column[k++] = w.scatter[s];
        const double theirs = medianOf(w.column, k);
        test.odd[test.oddCount++] = OddRun{isNew(w, r), r - first, (expOf(level) - 1) * 100,
                                           theirs > 0 ? w.scatter[r] / theirs : 1, false, !byScatter};
    }
    // Fewer than half of a side can be odd; else the side has no one level.
    const std::int32_t oddHere = test.oddCount - start;
    if (2 * oddHere >= count || count - oddHere < 2) return;
    for (std::int32_t k = start; k < test.oddCount; ++k) {
        test.odd[k].leftOut = true;
        keep[first + test.odd[k].run] = false;
        // A run odd by its level alone, that level taken out, tells as
        // much as any: it stays in the tests.
        keep[w.runs + first + test.odd[k].run] = test.odd[k].levelOnly;
    }
}

// The spread of the deviations of the runs judged (sides of three runs or
// more), at least floor.
double pooledSpread(Work& w, const double* deviation, std::int32_t judged, double floor) {
    const std::int32_t from = w.n >= 3 ? 0 : w.n, to = w.m >= 3 ? w.runs : w.n;
    double* const values = w.column + w.runs;
    for (std::int32_t r = from; r < to; ++r) values[r - from] = deviation[r];
    return spreadOf(values, judged, floor, w.pairs);
}

// The runs unlike their side, on either side: a run's level, and the
// logarithm of its scatter, each judged against the spread of those of
// the runs of both sides about their own side's median (the machine's
// spread from run to run; robust, so that fewer than half of the runs,
// odd, leave it as it is), never below what the noise of the rules makes
// of them by chance.
void findOddRuns(Work& w, bool* keep, RunsTest& test) {
    std::int32_t rules = 0;
    for (std::int32_t g = 0; g < w.count; ++g) rules += w.weighs[g] != 0;
    if (w.n >= 3) sideScatters(w, 0, w.n);
    if (w.m >= 3) sideScatters(w, w.n, w.m);
    double* const logScatter = w.logScatter;
    for (std::int32_t r = 0; r < w.runs; ++r) logScatter[r] = w.scatter[r] > 0 ? logOf(w.scatter[r]) : 0;
    Oddness o{w.distance, w.scatterDeviation, 0, 0, 0};
    const std::int32_t judged = sideDeviations(w, w.level, 0, w.n, o.level) +
                                sideDeviations(w, w.level, w.n, w.m, o.level);
    if (judged == 0) return;
    sideDeviations(w, logScatter, 0, w.n, o.scatter);
    sideDeviations(w, logScatter, w.n, w.m, o.scatter);
    // A level is a median over the rules of values scattered about a mean
    // of the others; a log-scatter, the logarithm of a median of distances.
    const double count = w.n >= 3 ? w.n : w.m;
    const std::int32_t from = w.n >= 3 ? 0 : w.n;
    for (std::int32_t r = 0; r < judged; ++r) w.column[r] = w.scatter[from + r];
    const double typical = medianOf(w.column, judged) * madScale * sqrtOf((count - 1) / count);
    o.levelSpread = pooledSpread(w, o.level, judged, 1.2533 * typical / sqrtOf(rules));
    o.scatterSpread = pooledSpread(w, o.scatter, judged, 1.17 / sqrtOf(rules));
    o.outside = outOfSpread(judged);
    nameOddRuns(w, o, 0, w.n, keep, test);
    nameOddRuns(w, o, w.n, w.m, keep, test);
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

// How often the runs of a comparison, their levels normal, have one out
// of their spread by chance: 2%, so that with scatter as well a run is
// named in hardly more than 4% of comparisons where none is odd. The
// distance is a level's from its side's median, over the spread (Qn)
// of such distances; with few levels that spread is itself rough, and
// the distance wide (from a simulation of 100,000 comparisons of each
// size, sides alike; beyond 64 runs, as the largest of normals grows).
double outOfSpread(std::int32_t count) {
    constexpr struct {
        std::int32_t count;
        double distance;
    } table[] = {{3, 37.1}, {4, 3.8},  {5, 7.6},  {6, 7.9},  {7, 4.9},  {8, 4.2},
                 {9, 4.1},  {12, 3.7}, {16, 3.6}, {20, 3.5}, {40, 3.6}, {64, 3.7}};
    if (count > 64) return 3.7 * sqrtOf(logOf(count) / logOf(64));
    double distance = table[0].distance;
    for (const auto& row : table)
        if (row.count <= count) distance = row.distance;
    return distance;
}

// Rousseeuw and Croux's Qn: the first quartile of the distances between
// pairs, which half of the values, whatever the others, set; more sure
// than the median distance from the median by far on a few runs. Past
// qnLimit values the median distance is sure enough, and takes no room
// for the pairs.
double spreadOf(const double* deviations, std::int32_t count, double floor, double* pairs) {
    if (count > qnLimit) {
        for (std::int32_t k = 0; k < count; ++k) pairs[k] = deviations[k] < 0 ? -deviations[k] : deviations[k];
        const double spread = madScale * medianOf(pairs, count);
        return spread > floor ? spread : floor;
    }
    std::int64_t k = 0;
    for (std::int32_t i = 0; i < count; ++i)
        for (std::int32_t j = i + 1; j < count; ++j) {
            const double d = deviations[i] - deviations[j];
            pairs[k++] = d < 0 ? -d : d;
        }
    const std::int64_t h = count / 2 + 1;
    const std::int64_t rank = h * (h - 1) / 2 - 1;
    double spread = 0;
    if (k > 0) {
        std::nth_element(pairs, pairs + rank, pairs + k);
        spread = 2.2219 * pairs[rank];
    }
    return spread > floor ? spread : floor;
}

// How many of the values bulkLocation's start looks at: every k-th, so
// that they are this many at the least and under twice as many.
constexpr std::int32_t startValues = 512;

double bulkLocation(const double* v, std::int32_t count, double* scratch) {
    constexpr double c = 4.685;
    // The start needs no more than a few hundred of the values, evenly
    // taken: where most of them gather is where most of all gather.
    const std::int32_t every = count > startValues ? count / startValues : 1;
    std::int32_t taken = 0;
    for (std::int32_t k = 0; k < count; k += every) scratch[taken++] = v[k];
    double s = halfSampleMode(scratch, taken);
    for (std::int32_t k = 0; k < count; ++k) scratch[k] = v[k] < s ? s - v[k] : v[k] - s;
    const double reach = c * madScale * medianOf(scratch, count);
    if (!(reach > 0)) return s;
    for (int step = 0; step < 30; ++step) {
        double sum = 0, weights = 0;
        for (std::int32_t k = 0; k < count; ++k) {
            const double u = (v[k] - s) / reach;
            if (u >= 1 || u <= -1) continue;
            const double weight = (1 - u * u) * (1 - u * u);
            sum += weight * v[k];
            weights += weight;
        }
        if (!(weights > 0)) break;
        const double next = sum / weights;
        const double moved = next - s;
        s = next;
        if (moved < 1e-9 * reach && moved > -1e-9 * reach) break;
    }
    return s;
}

double halfSampleMode(double* v, std::int32_t count) {
    std::sort(v, v + count);
    std::int32_t first = 0;
    while (count > 2) {
        // The shortest stretch holding half of what is left, then again
        // within it.
        const std::int32_t half = (count + 1) / 2;
        std::int32_t best = first;
        for (std::int32_t k = first; k + half - 1 < first + count; ++k)
            if (v[k + half - 1] - v[k] < v[best + half - 1] - v[best]) best = k;
        first = best;
        count = half;
    }
    return count == 2 ? (v[first] + v[first + 1]) / 2 : v[first];
}

double robustPrior(const PriorFit& f, std::int32_t* order, std::int32_t fitted, double* tail) {
    if (fitted < 3) return 0;
    for (std::int32_t k = 0; k < fitted; ++k) tail[k] = f.degrees[order[k]];
    const double typical = medianOf(tail, fitted);
    double prior = fitPrior(f.z, order, fitted, typical, f.trend);
    const double priorBias = digamma(prior / 2) - logOf(prior / 2);
    for (std::int32_t k = 0; k < fitted; ++k) {
        const std::int32_t g = order[k];
        const double own = f.degrees[g];
        const double ratio = f.variance[g] / expOf(f.trend[g] + priorBias);
        // A variance under four times the prior's has an upper tail over
        // 5% for any degrees of freedom, which no rank can keep: it need
        // not be worked out.
        const double share = own * ratio / (prior + own * ratio);
        tail[g] = ratio <= 4 ? 1 : incompleteBeta(1 - share, share, prior / 2, own / 2);
    }
    // The sorting reorders; the rules stay ordered by size in sizeOrder.
    std::int32_t* const sizeOrder = order + f.count;
    std::copy(order, order + fitted, sizeOrder);
    const std::int32_t outliers = keptByFdr(tail, sizeOrder, fitted, order);
    for (std::int32_t k = 0; k < fitted; ++k) f.outlier[order[k]] = k < outliers ? 1 : 0;
    std::int32_t kept = 0;
    for (std::int32_t k = 0; k < fitted; ++k)
        if (f.outlier[sizeOrder[k]] == 0) order[kept++] = sizeOrder[k];
    if (outliers == 0) return prior;
    return kept >= 3 ? fitPrior(f.z, order, kept, typical, f.trend) : 0;
}

void moderateVariances(const PriorFit& f, const std::int32_t* order, std::int32_t fitted, double prior) {
    if (prior <= 0) return;
    const double priorBias = digamma(prior / 2) - logOf(prior / 2);
    for (std::int32_t k = 0; k < fitted; ++k) {
        const std::int32_t g = order[k];
        if (f.outlier[g] != 0) continue;
        const double own = f.degrees[g];
        f.variance[g] = (prior * expOf(f.trend[g] + priorBias) + own * f.variance[g]) / (prior + own);
        f.degrees[g] = own + prior;
    }
}

namespace {

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
    bool steady;     // every value the same
    double first;    // the first value, as it was
};

// Welford's running mean and squares over the kept runs of a row that
// have the rule, each run's level taken out.
Sample sampleOf(const Work& w, std::int32_t g, const bool* keep, std::int32_t first,
                std::int32_t count) {
    const double* row = rowOf(w, w.y, g);
    const double* present = rowOf(w, w.present, g);
    Sample s{0, 0, 0, true, 0};
    for (std::int32_t r = first; r < first + count; ++r) {
        if (!keep[r] || present[r] == 0) continue;
        if (s.count == 0) s.first = row[r];
        s.steady = s.steady && row[r] == s.first;
        const double y = row[r] - w.level[r];
        const double before = y - s.mean;
        s.mean += before / ++s.count;
        s.squares += before * (y - s.mean);
    }
    return s;
}

// How the runs' levels scatter within their sides: what the sides' common
// factors can be off by.
struct Levels {
    double variance;
    std::int32_t keptOld, keptNew;
    double degrees;  // of the runs tested
    double spread;   // 1/n + 1/m of the runs tested
};

// The runs' levels from the rules w.weighs names, the odd runs named and
// left out, then the levels again from the runs kept.
Levels measureRuns(Work& w, bool* keep, std::int32_t weighing, RunsTest& test) {
    for (std::int32_t r = 0; r < 2 * w.runs; ++r) keep[r] = true;
    sideLevels(w, 0, w.n, keep);
    sideLevels(w, w.n, w.m, keep);
    if (weighing >= minShiftRules) {
        findOddRuns(w, keep, test);
        sideLevels(w, 0, w.n, keep + w.runs);
        sideLevels(w, w.n, w.m, keep + w.runs);
    }
    // The runs the averages take tell how the levels scatter; the runs
    // tested that they leave out are but brought to their level.
    Levels l{0, 0, 0, 0, 0};
    double sums[2] = {0, 0}, squares = 0;
    for (std::int32_t r = 0; r < w.runs; ++r)
        if (keep[r]) {
            sums[isNew(w, r)] += w.level[r];
            ++(isNew(w, r) ? l.keptNew : l.keptOld);
        }
    for (std::int32_t r = 0; r < w.runs; ++r)
        if (keep[r]) {
            const double e = w.level[r] - sums[isNew(w, r)] / (isNew(w, r) ? l.keptNew : l.keptOld);
            squares += e * e;
        }
    // Levels about their side's mean: a side's values are then those of
    // its average run, as the spread of the levels says.
    for (std::int32_t r = 0; r < w.runs; ++r)
        w.level[r] -= sums[isNew(w, r)] / (isNew(w, r) ? l.keptNew : l.keptOld);
    l.degrees = l.keptOld + l.keptNew - 2;
    l.variance = l.degrees > 0 ? squares / l.degrees : 0;
    l.spread = 1.0 / l.keptOld + 1.0 / l.keptNew;
    test.shiftTested = weighing >= minShiftRules;
    return l;
}

// Each rule's samples over the kept runs that have it, their levels taken
// out: the difference of the means, the pooled variance, its degrees of
// freedom and the size; the rules whose values vary go into order, for
// the prior. Their number.
std::int32_t sampleRules(Work& w, const bool* keep, RuleChange* out, std::int32_t* order) {
    std::int32_t fitted = 0;
    for (std::int32_t g = 0; g < w.count; ++g) {
        const Sample x = sampleOf(w, g, keep, 0, w.n);
        const Sample y = sampleOf(w, g, keep, w.n, w.m);
        RuleChange& c = out[g];
        c = RuleChange{!(x.steady && y.steady), false, 1, 0, 0, 0, x.count, y.count};
        w.outlier[g] = 0;
        w.degrees[g] = 0;
        w.variance[g] = 0;
        if (x.count == 0 || y.count == 0) {
            c.varies = false;  // nothing to tell it by on one side
            continue;
        }
        w.oldMeans[g] = x.mean;
        w.difference[g] = y.mean - x.mean;
        w.spread[g] = 1.0 / x.count + 1.0 / y.count;
        if (!c.varies) {
            // The same in every run of a side: it changed exactly or not at all.
            c.p = x.first != y.first ? 0 : 1;
            continue;
        }
        w.degrees[g] = x.count + y.count - 2;
        w.trend[g] = (x.mean * x.count + y.mean * y.count) / (x.count + y.count);  // the size, for now
        if (w.degrees[g] < 1) continue;
        w.variance[g] = (x.squares + y.squares) / w.degrees[g];
        const double bias = digamma(w.degrees[g] / 2) - logOf(w.degrees[g] / 2);
        w.z[g] = w.variance[g] > 0 ? logOf(w.variance[g]) - bias : 0;
        if (w.variance[g] > 0) order[fitted++] = g;
    }
    return fitted;
}

// A rule's standard error of its difference, squared.
double errorSquared(const Work& w, std::int32_t g) { return w.variance[g] * w.spread[g]; }

// The Welsch weight of rule g at shift s: each rule's difference measured
// in its own standard error, so that a rule far from s weighs nothing.
double welsch(const Work& w, std::int32_t g, double s, double& u) {
    u = (w.difference[g] - s) / sqrtOf(errorSquared(w, g));
    return expOf(-u * u / 2);
}

bool tellsShift(const Work& w, std::int32_t g) {
    return w.weighs[g] != 0 && w.degrees[g] > 0 && errorSquared(w, g) > 0;
}

// The shift of every rule: where most rules' differences gather, each in
// its own error (a redescending M-estimate of Welsch's, started at the
// half-sample mode), so that rules that changed together, up to half of
// them, do not drag it. Its variance from the estimate's sandwich.
double commonMovement(Work& w, double& variance) {
    std::int32_t k = 0;
    for (std::int32_t g = 0; g < w.count; ++g)
        if (tellsShift(w, g)) w.column[k++] = w.difference[g];
    double s = halfSampleMode(w.column, k);
    double slope = 0, squares = 0;
    for (int step = 0; step < 100; ++step) {
        double sum = 0, weights = 0;
        slope = squares = 0;
        for (std::int32_t g = 0; g < w.count; ++g) {
            if (!tellsShift(w, g)) continue;
            double u = 0;
            const double weight = welsch(w, g, s, u) / errorSquared(w, g);
            sum += weight * w.difference[g];
            weights += weight;
            slope += weight * (1 - u * u);
            const double psi = weight * (w.difference[g] - s);
            squares += psi * psi;
        }
        const double next = weights > 0 ? sum / weights : s;
        const double moved = next - s;
        s = next;
        if (moved < 1e-12 && moved > -1e-12) break;
    }
    variance = slope > 0 ? squares / (slope * slope) : 0;
    return s;
}

// Whether the rules agree on s as one movement of them all: at least 40%
// of them lie within 0.6745 of their own errors of it, as half of them
// would if every rule had moved by s, 40% if a fifth of them had changed
// as well. Where the rules split between two places, an estimate between
// them has far fewer near it (30% for 60% of the rules at one place and
// 40% at another 2.6 errors away; 23% for halves): none is taken out.
bool rulesAgreeOn(const Work& w, double s) {
    std::int32_t k = 0, near = 0;
    for (std::int32_t g = 0; g < w.count; ++g) {
        if (!tellsShift(w, g)) continue;
        double u = 0;
        welsch(w, g, s, u);
        near += u <= 0.6745 && u >= -0.6745;
        ++k;
    }
    // Split only where the count near is shown to be below 40% (one-sided,
    // 5%): with few rules it is rough.
    return k >= minShiftRules && near >= 0.4 * k - 1.645 * sqrtOf(0.24 * k);
}

// The shift of every rule, into test, and what it takes out of each
// rule's difference: the common movement where the rules agree on one
// (reported where it is at least the least change), else nothing, and
// then what the sides' common factors can be off by is part of every
// rule's difference.
double findShift(Work& w, const Levels& l, RunsTest& test, double& shiftVariance) {
    shiftVariance = l.variance * l.spread;
    if (!test.shiftTested) return 0;
    double modeVariance = 0;
    const double s = commonMovement(w, modeVariance);
    const double least = logOf(1 + leastChangePercent / 100);
    const bool small = s < least && s > -least;
    test.shiftSplit = !rulesAgreeOn(w, s);
    test.shiftTaken = !small && !test.shiftSplit;
    test.shiftPercent = (expOf(s) - 1) * 100;
    const double variance = l.variance * l.spread + modeVariance;
    const double half = tTwoSidedQuantile(intervalLevel, l.degrees > 0 ? l.degrees : 1) * sqrtOf(variance);
    test.shiftLow = (expOf(s - half) - 1) * 100;
    test.shiftHigh = (expOf(s + half) - 1) * 100;
    if (test.shiftSplit) return 0;
    shiftVariance = modeVariance;
    return s;
}

// Each varying rule's test beyond the shift, with its moderated variance,
// and its interval; marked real where Benjamini–Hochberg keeps it and it
// is at least the least change.
void testEachRule(Work& w, const Levels& l, double shift, double shiftVariance, RuleChange* out,
                  std::int32_t* order) {
    for (std::int32_t g = 0; g < w.count; ++g) {
        RuleChange& c = out[g];
        if (!c.varies || w.degrees[g] < 1) continue;
        const double beyond = w.difference[g] - shift;
        const double error = sqrtOf(errorSquared(w, g) + shiftVariance);
        c.p = error > 0 ? tTwoSidedP(beyond / error, w.degrees[g]) : beyond != 0 ? 0 : 1;
        // The interval is of the change itself, shift and all.
        const double all = sqrtOf(errorSquared(w, g) + l.variance * l.spread);
        putInterval(c, w.oldMeans[g], w.oldMeans[g] + w.difference[g],
                    tTwoSidedQuantile(intervalLevel, w.degrees[g]) * all);
    }
    double* const p = w.column;
    for (std::int32_t g = 0; g < w.count; ++g) p[g] = out[g].p;
    const std::int32_t kept = keptByFdr(p, nullptr, w.count, order);
    const double least = logOf(1 + leastChangePercent / 100);
    for (std::int32_t k = 0; k < w.count; ++k) {
        const std::int32_t g = order[k];
        const double beyond = out[g].varies ? w.difference[g] - shift : out[g].p == 0 ? 1 : 0;
        out[g].real = k < kept && (beyond >= least || beyond <= -least);
    }
}

}  // namespace

std::int64_t testScratch(std::int32_t count, std::int32_t n, std::int32_t m) {
    const std::int64_t runs = n + m;
    return 2 * static_cast<std::int64_t>(count) * runs + pairsRoom(n + m) + 5 * runs + 2 * std::max<std::int64_t>(count, runs) +
           10 * static_cast<std::int64_t>(count);
}

RunsTest testRules(const double* old, std::int32_t n, const double* now, std::int32_t m,
                   std::int32_t count, RuleChange* out, double* scratch, std::int32_t* order,
                   bool* keep) {
    Work w = workIn(scratch, n, m, count);
    std::int32_t weighing = 0;
    for (std::int32_t g = 0; g < count; ++g) {
        double* row = w.y + static_cast<std::int64_t>(g) * w.runs;
        double* present = w.present + static_cast<std::int64_t>(g) * w.runs;
        bool allThere = true;
        for (std::int32_t r = 0; r < w.runs; ++r) {
            const double x = r < n ? old[static_cast<std::int64_t>(g) * n + r]
                                   : now[static_cast<std::int64_t>(g) * m + r - n];
            present[r] = x >= 0;
            row[r] = x >= 0 ? logValue(x) : 0;
            allThere = allThere && x > 0;
        }
        w.weighs[g] = allThere ? 1 : 0;
        weighing += allThere;
    }
    RunsTest test{};
    const Levels l = measureRuns(w, keep, weighing, test);
    const std::int32_t fitted = sampleRules(w, keep + w.runs, out, order);
    std::sort(order, order + fitted, [&w](std::int32_t a, std::int32_t b) {
        return w.trend[a] != w.trend[b] ? w.trend[a] < w.trend[b] : a < b;
    });
    // Too few rules say nothing of each other: each is tested alone.
    const PriorFit f{w.z, w.variance, w.degrees, w.trend, w.outlier, count};
    test.prior = robustPrior(f, order, fitted, w.column);
    moderateVariances(f, order, fitted, test.prior);
    double shiftVariance = 0;
    const double shift = findShift(w, l, test, shiftVariance);
    testEachRule(w, l, shift, shiftVariance, out, order);
    return test;
}

RuleChange testTotal(const double* old, std::int32_t n, const double* now, std::int32_t m,
                     const bool* keep) {
    RuleChange c{false, false, 1, 0, 0, 0, 0, 0};
    Sample x{0, 0, 0, true, 0}, z{0, 0, 0, true, 0};
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
    const double least = logOf(1 + leastChangePercent / 100);
    const double d = z.mean - x.mean;
    c.real = c.p <= intervalLevel && (!c.varies || d >= least || d <= -least);
    c.oldRuns = x.count;
    c.newRuns = z.count;
    return c;
}
