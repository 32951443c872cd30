// The change points of a history: the runs' levels and the runs unlike
// their point's, the shifts of everything, the total's change points and
// each rule's, its series searched as segments.cpp searches a series.
#include "history.h"

#include "maths.h"
#include "messages.h"
#include "segments.h"

#include <algorithm>
#include <cstdlib>

namespace {

// It takes this many rules, present in every run, to tell a run's level
// from the changes of a few rules.
constexpr std::int32_t minLevelRules = 10;

// What the analysis works in: the logarithms, the runs' levels and room
// for one series at a time.
struct Work {
    const HistorySeries* h;
    double* level;   // [r]
    double* kept;    // [r]: 1 for a run its point's level and total take
    double* reach;   // [g]: how far a value may stand from its point's median; -1 not yet known
    double levelError;  // what the rules' noise makes of a run's level by chance
    double* pairs;      // room for spreadOf
    double* values;  // room for the values of a point's runs
    double* column;  // room for a value of each rule or each run
    Series x;
    Cuts cuts;
    double* fitVariance;  // [g], then moderated
    double* fitDegrees;
    double* z;       // log-variances, less their bias
    double* size;    // the rules' mean logarithms, then their fitted log-variances
    double* outlier; // 1 for a rule whose variance does not fit the prior
    double* p;       // of the step that stands out most in each rule searched
    std::int32_t* order;
    std::int32_t* ranked;  // the rules searched, smallest p first
};

bool calledIn(const HistorySeries& h, std::int32_t g, std::int32_t r) { return callsIn(h, g, r) > 0; }

// The rules called in every run, which tell the runs' levels.
bool inEveryRun(const HistorySeries& h, std::int32_t g) {
    for (std::int32_t r = 0; r < h.runCount; ++r)
        if (!calledIn(h, g, r)) return false;
    return true;
}

// Each run's level: where most of the rules called in every run stand
// from their medians over the runs (bulkLocation: rules that moved
// together, up to half of them, weigh nothing); twice, the second time
// with the levels of the first taken out of the medians.
void findLevels(Work& w) {
    const HistorySeries& h = *w.h;
    std::fill(w.level, w.level + h.runCount, 0.0);
    std::int32_t weighing = 0;
    for (std::int32_t g = 0; g < h.ruleCount; ++g)
        if (inEveryRun(h, g)) w.order[weighing++] = g;
    if (weighing < minLevelRules) return;
    double* const reference = w.size;
    for (int pass = 0; pass < 2; ++pass) {
        for (std::int32_t k = 0; k < weighing; ++k) {
            const std::int32_t g = w.order[k];
            for (std::int32_t r = 0; r < h.runCount; ++r) w.column[r] = logIn(h, g, r) - w.level[r];
            reference[k] = medianOf(w.column, h.runCount);
        }
        for (std::int32_t r = 0; r < h.runCount; ++r) {
            for (std::int32_t k = 0; k < weighing; ++k) w.column[k] = logIn(h, w.order[k], r) - reference[k];
            w.level[r] = bulkLocation(w.column, weighing, w.z);
        }
    }
    // What the rules' noise makes of a level by chance: the error of a
    // median of weighing values scattered as the rules are about theirs
    // (as a few dozen runs, evenly taken, tell it).
    const std::int32_t every = h.runCount > 64 ? h.runCount / 64 : 1;
    std::int32_t taken = 0;
    for (std::int32_t r = 0; r < h.runCount; r += every) {
        for (std::int32_t k = 0; k < weighing; ++k) {
            const double e = logIn(h, w.order[k], r) - w.level[r] - reference[k];
            w.column[k] = e < 0 ? -e : e;
        }
        w.values[taken++] = medianOf(w.column, weighing);
    }
    w.levelError = 1.2533 * madScale * medianOf(w.values, taken) / sqrtOf(weighing);
}

// The runs unlike the others of their point (a warm-up run): each run's
// level from its point's median run, judged as a comparison judges a
// run against its side: against the spread of those of every point of
// three runs or more (spreadOf; a point's median run stands at 0, and is
// left out of it), never below what the rules' noise makes of a level,
// beyond outOfSpread's distance and at least the least change. Named,
// into odd, and left out of the point's level and total while fewer than
// half of its runs are.
void findOddRuns(Work& w, List<OddPointRun>& odd) {
    const HistorySeries& h = *w.h;
    std::fill(w.kept, w.kept + h.runCount, 1.0);
    double* const deviation = w.values;  // [r], then their sizes from column on
    std::int32_t judged = 0;
    for (std::int32_t t = 0; t < h.pointCount; ++t) {
        const std::int32_t count = runsOf(h, t), first = h.firstRun[t];
        if (count < 3) continue;
        for (std::int32_t r = 0; r < count; ++r) w.column[r] = w.level[first + r];
        const double centre = medianOf(w.column, count);
        bool centreSeen = count % 2 == 0;
        for (std::int32_t r = first; r < first + count; ++r) {
            deviation[r] = w.level[r] - centre;
            if (deviation[r] == 0 && !centreSeen) {
                centreSeen = true;
                continue;
            }
            w.column[h.runCount + judged++] = deviation[r] < 0 ? -deviation[r] : deviation[r];
        }
    }
    if (judged < 2) return;
    const double spread = spreadOf(w.column + h.runCount, judged, w.levelError, w.pairs);
    const double outside = outOfSpread(judged) * spread, least = logOf(1 + leastChangePercent / 100);
    for (std::int32_t t = 0; t < h.pointCount; ++t) {
        const std::int32_t count = runsOf(h, t), first = h.firstRun[t], start = odd.count;
        if (count < 3) continue;
        for (std::int32_t r = first; r < first + count; ++r) {
            const double e = deviation[r] < 0 ? -deviation[r] : deviation[r];
            if (e > outside && e >= least) add(odd, OddPointRun{r, (expOf(deviation[r]) - 1) * 100, false});
        }
        if (2 * (odd.count - start) >= count) continue;
        for (std::int32_t k = start; k < odd.count; ++k) {
            odd.item[k].leftOut = true;
            w.kept[odd.item[k].run] = 0;
        }
    }
}

// How far a run's value may stand from its point's median, in the
// rule's spread of such distances, before it is pulled in to there: a
// normal value is, once in 80, and then barely.
constexpr double clipAt = 2.5;

// The values of rule g at point t, levels taken out, of the runs that
// called it, into w.values; their number.
std::int32_t pointValues(Work& w, std::int32_t g, std::int32_t t) {
    const HistorySeries& h = *w.h;
    std::int32_t called = 0;
    for (std::int32_t r = h.firstRun[t]; r < h.firstRun[t + 1]; ++r)
        if (calledIn(h, g, r)) w.values[called++] = logIn(h, g, r) - w.level[r];
    return called;
}

// The spread of rule g's values about their points' medians (but for the
// median run of a point of an odd count, at 0 by its place).
double pointSpread(Work& w, std::int32_t g) {
    const HistorySeries& h = *w.h;
    std::int32_t k = 0;
    for (std::int32_t t = 0; t < h.pointCount; ++t) {
        const std::int32_t called = pointValues(w, g, t);
        if (called < 3) continue;
        const double centre = medianOf(w.values, called);
        bool centreSeen = called % 2 == 0;
        for (std::int32_t i = 0; i < called; ++i) {
            const double e = w.values[i] - centre;
            if (e == 0 && !centreSeen) {
                centreSeen = true;
                continue;
            }
            w.column[k++] = e < 0 ? -e : e;
        }
    }
    return k > 0 ? madScale * medianOf(w.column, k) : 0;
}

// The series of rule g: at each point where a run called it, the mean of
// its logarithms, levels taken out, over the runs that called it, each
// pulled in to clipAt spreads of the point's median at the most (one
// run's wild value would move the mean, a median of three would lose
// much of what three runs tell); weighing as many runs.
void ruleSeries(Work& w, std::int32_t g) {
    const HistorySeries& h = *w.h;
    Series& x = w.x;
    x.count = 0;
    // What its runs within the points tell leads the first pass only: the
    // tests take the points' own scatter, which holds what changes from
    // commit to commit as well.
    x.withinSquares = x.withinDegrees = 0;
    x.withinInFit = false;
    // Worked out once a rule (until the levels change): the series is made
    // again for each pass.
    if (w.reach[g] < 0) w.reach[g] = clipAt * pointSpread(w, g);
    const double reach = w.reach[g];
    for (std::int32_t t = 0; t < h.pointCount; ++t) {
        const std::int32_t called = pointValues(w, g, t);
        if (called == 0) continue;
        double sum = 0, low = w.values[0], high = w.values[0];
        for (std::int32_t i = 1; i < called; ++i) {
            low = w.values[i] < low ? w.values[i] : low;
            high = w.values[i] > high ? w.values[i] : high;
        }
        // Values all within reach of each other are within reach of their
        // median: nothing to pull in.
        if (called >= 3 && reach > 0 && high - low > reach) {
            for (std::int32_t i = 0; i < called; ++i) w.column[i] = w.values[i];
            const double centre = medianOf(w.column, called);
            for (std::int32_t i = 0; i < called; ++i)
                sum += w.values[i] < centre - reach ? centre - reach : w.values[i] > centre + reach ? centre + reach : w.values[i];
        } else {
            for (std::int32_t i = 0; i < called; ++i) sum += w.values[i];
        }
        x.mean[x.count] = sum / called;
        x.weight[x.count] = called;
        x.point[x.count++] = t;
        for (std::int32_t i = 0; i < called; ++i) {
            const double e = w.values[i] - sum / called;
            x.withinSquares += e * e;
        }
        x.withinDegrees += called - 1;
    }
    addUp(x);
}

// The series of the points' levels, a point's runs counting as one: what
// a point's runs share is what the series varies by.
void levelSeries(Work& w) {
    const HistorySeries& h = *w.h;
    Series& x = w.x;
    x.withinSquares = x.withinDegrees = 0;
    x.withinInFit = false;
    for (std::int32_t t = 0; t < h.pointCount; ++t) {
        double sum = 0, kept = 0;
        for (std::int32_t r = h.firstRun[t]; r < h.firstRun[t + 1]; ++r) {
            sum += w.kept[r] * w.level[r];
            kept += w.kept[r];
        }
        x.mean[t] = sum / kept;
        x.weight[t] = 1;
        x.point[t] = t;
    }
    x.count = h.pointCount;
    addUp(x);
}

void totalSeries(Work& w, const double* runTotals) {
    const HistorySeries& h = *w.h;
    Series& x = w.x;
    x.withinSquares = x.withinDegrees = 0;
    // With a few points, the points alone leave a degree of freedom or two:
    // the runs within them are then what tells the total's noise (as in a
    // comparison, which takes runs for alike). With more, the points'
    // own scatter, which holds a busy day's as well.
    x.withinInFit = h.pointCount < fewPoints;
    for (std::int32_t t = 0; t < h.pointCount; ++t) {
        double sum = 0, kept = 0;
        for (std::int32_t r = h.firstRun[t]; r < h.firstRun[t + 1]; ++r)
            if (w.kept[r] != 0) {
                sum += logValue(runTotals[r]);
                ++kept;
            }
        x.mean[t] = sum / kept;
        x.weight[t] = kept;
        x.point[t] = t;
        for (std::int32_t r = h.firstRun[t]; r < h.firstRun[t + 1]; ++r)
            if (w.kept[r] != 0) {
                const double e = logValue(runTotals[r]) - x.mean[t];
                x.withinSquares += e * e;
            }
        x.withinDegrees += kept - 1;
    }
    x.count = h.pointCount;
    addUp(x);
}

// The change points of one series alone, at the level the intervals
// keep: the shifts of everything, or the total's.
void searchAlone(Work& w, double minChange, std::int32_t rule, StepList& list) {
    if (w.x.count < minSeries) return;
    const Fit fit = firstFit(w.x, intervalLevel, w.cuts, w.column);
    if (fit.degrees < 1) return;
    findCuts(w.x, fit, intervalLevel, minChange, w.cuts);
    addSteps(list, w.x, w.cuts, fit, rule);
}

// Each rule's variance about the steps a first pass finds, Bonferroni
// over the rules; the rules that can be searched go into order, their
// number returned.
std::int32_t fitRules(Work& w) {
    const HistorySeries& h = *w.h;
    std::int32_t fitted = 0;
    for (std::int32_t g = 0; g < h.ruleCount; ++g) {
        ruleSeries(w, g);
        w.fitDegrees[g] = 0;
        if (w.x.count < minSeries) continue;
        const Fit fit = firstFit(w.x, falseDiscoveryRate, w.cuts, w.column);
        if (fit.degrees < 1) continue;
        w.fitVariance[g] = fit.variance;
        w.fitDegrees[g] = fit.degrees;
        w.size[g] = w.x.sumWY[w.x.count] / w.x.sumW[w.x.count];
        w.z[g] = fit.variance > 0 ? logOf(fit.variance) - (digamma(fit.degrees / 2) - logOf(fit.degrees / 2)) : 0;
        if (fit.variance > 0) w.order[fitted++] = g;
    }
    return fitted;
}

// Moderates each rule's variance toward the one of the rules of its size,
// as a comparison does: the prior fitted robustly, a rule whose variance
// is too large for it keeping its own noise.
void moderate(Work& w, std::int32_t fitted) {
    if (fitted < minSeries) return;
    std::sort(w.order, w.order + fitted, [&w](std::int32_t a, std::int32_t b) {
        return w.size[a] != w.size[b] ? w.size[a] < w.size[b] : a < b;
    });
    const PriorFit f{w.z, w.fitVariance, w.fitDegrees, w.size, w.outlier, w.h->ruleCount};
    moderateVariances(f, w.order, fitted, robustPrior(f, w.order, fitted, w.column));
}

// The Benjamini–Hochberg level over the rules: each rule's p-value is that
// of the piece of it that stands out most, times the candidates.
double levelOverRules(Work& w) {
    const HistorySeries& h = *w.h;
    std::int32_t tested = 0;
    for (std::int32_t g = 0; g < h.ruleCount; ++g) {
        if (w.fitDegrees[g] < 1) continue;
        ruleSeries(w, g);
        double p = 1;
        if (w.fitVariance[g] == 0) {
            w.cuts.count = 0;
            exactCuts(w.x, w.cuts, 0);
            p = w.cuts.count > 0 ? 0 : 1;
        } else {
            const Best best = bestPiece(w.x, 0, w.x.count, w.fitVariance[g]);
            if (best.a != 0)
                p = std::min(1.0, candidates(w.x.count) * tTwoSidedP(sqrtOf(best.t2), w.fitDegrees[g]));
        }
        w.p[tested++] = p;
    }
    if (tested == 0) return falseDiscoveryRate;
    const std::int32_t kept = keptByFdr(w.p, nullptr, tested, w.ranked);
    return falseDiscoveryRate * std::max(kept, 1) / tested;
}

// Where a rule's calls begin or end between two points: it appeared in a
// point whose runs call it after one whose runs do not, or vanished.
void addComings(Work& w, std::int32_t g, StepList& list) {
    const HistorySeries& h = *w.h;
    const Series& x = w.x;
    std::int32_t piece = 0;  // where the series' piece of point x.point[k] starts
    for (std::int32_t k = 0; k < x.count; ++k) {
        if (std::binary_search(w.cuts.at, w.cuts.at + w.cuts.count, k)) piece = k;
        const std::int32_t t = x.point[k];
        const bool appeared = t > 0 && (k == 0 || x.point[k - 1] != t - 1);
        const bool vanished = t + 1 < h.pointCount && (k + 1 == x.count || x.point[k + 1] != t + 1);
        if (appeared) {
            std::int32_t end = k + 1;
            while (end < x.count && !std::binary_search(w.cuts.at, w.cuts.at + w.cuts.count, end)) ++end;
            const std::int32_t to = end == x.count ? x.point[end - 1] + 1 : x.point[end];
            add(list, Step{g, t, t, to, StepKind::appeared, RuleChange{false, true, 0, 0, 0, 0, 0, 0}, 0});
        }
        if (vanished)
            add(list, Step{g, t + 1, x.point[piece], t + 1, StepKind::vanished,
                               RuleChange{false, true, 0, 0, 0, 0, 0, 0}, 0});
    }
}

void searchRules(Work& w, double least, StepList& list) {
    const HistorySeries& h = *w.h;
    moderate(w, fitRules(w));
    const double level = levelOverRules(w);
    for (std::int32_t g = 0; g < h.ruleCount; ++g) {
        ruleSeries(w, g);
        w.cuts.count = 0;
        if (w.fitDegrees[g] >= 1) {
            const Fit fit{w.fitVariance[g], w.fitDegrees[g]};
            findCuts(w.x, fit, level, least, w.cuts);
            addSteps(list, w.x, w.cuts, fit, g);
        }
        addComings(w, g, list);
    }
}

// The points a rule's change is shown over stop at the shifts around it:
// its values before and after are then of one runner (or compiler), and
// the change they show is the rule's own, not the shift's as well. (A
// change at the very point of a shift cannot be told from it there.)
void keepApartFromShifts(StepList& steps, const StepList& shifts) {
    for (std::int32_t k = 0; k < steps.count; ++k) {
        Step& step = steps.item[k];
        for (std::int32_t j = 0; j < shifts.count; ++j) {
            const std::int32_t at = shifts.item[j].at;
            if (step.from < at && at < step.at) step.from = at;
            if (arrivedAt(step) < at && at < step.to) step.to = at;
        }
    }
}

// Whether the rules agree on the shift of everything at s: more of the
// rules called in every run changed across it by the shift (their change,
// levels out, within 0.6745 of its error of 0) than by nothing (within as
// much of the levels' jump back). Rules that creep together, a quarter of
// them, move the points' levels a little while they are in the bulk: a
// shift they make is one most rules did not make.
bool rulesAgreeOnShift(Work& w, const Step& s, double jump) {
    const HistorySeries& h = *w.h;
    std::int32_t withShift = 0, without = 0;
    for (std::int32_t g = 0; g < h.ruleCount; ++g) {
        if (!inEveryRun(h, g)) continue;
        ruleSeries(w, g);
        const double rough = roughVariance(w.x, w.column + h.runCount + 1);
        const Piece before = pieceOf(w.x, s.from, s.at), after = pieceOf(w.x, s.at, s.to);
        const double change = after.mean - before.mean;
        const double reach = 0.6745 * sqrtOf(rough * (1 / before.weight + 1 / after.weight));
        withShift += change <= reach && change >= -reach;
        without += change + jump <= reach && change + jump >= -reach;
    }
    return withShift > without;
}

// The shifts of everything the rules agree on, of those found in the
// series of the points' levels (at pointLevel).
void confirmShifts(Work& w, StepList& shifts, const double* pointLevel) {
    std::int32_t kept = 0;
    for (std::int32_t k = 0; k < shifts.count; ++k) {
        const Step& s = shifts.item[k];
        double before = 0, after = 0;
        for (std::int32_t t = s.from; t < s.at; ++t) before += pointLevel[t];
        for (std::int32_t t = s.at; t < s.to; ++t) after += pointLevel[t];
        const double jump = after / (s.to - s.at) - before / (s.at - s.from);
        if (rulesAgreeOnShift(w, s, jump)) shifts.item[kept++] = s;
    }
    shifts.count = kept;
}

// What of the runs' levels the rules' series lose: each run's place in
// its point, and the shifts of everything confirmed; not the drift of
// the points' levels between them, which rules that move together, a
// quarter of them, can make, and which would move every other rule.
void keepShiftsOfLevels(Work& w, const StepList& shifts, const double* pointLevel) {
    const HistorySeries& h = *w.h;
    std::int32_t piece = 0;
    for (std::int32_t t = 0; t < h.pointCount; ++t) {
        while (piece < shifts.count && shifts.item[piece].at <= t) ++piece;
        const std::int32_t from = piece == 0 ? 0 : shifts.item[piece - 1].at;
        const std::int32_t to = piece == shifts.count ? h.pointCount : shifts.item[piece].at;
        double fitted = 0;
        for (std::int32_t u = from; u < to; ++u) fitted += pointLevel[u];
        fitted /= to - from;
        for (std::int32_t r = h.firstRun[t]; r < h.firstRun[t + 1]; ++r) w.level[r] += fitted - pointLevel[t];
    }
    std::fill(w.reach, w.reach + h.ruleCount, -1.0);
}

Work workFor(const HistorySeries& h) {
    const std::size_t points = static_cast<std::size_t>(h.pointCount) + 1;
    const std::size_t rules = static_cast<std::size_t>(h.ruleCount) + 1;
    const std::size_t runs = static_cast<std::size_t>(h.runCount);
    Work w{};
    w.h = &h;
    w.level = allocateArray<double>(runs);
    w.column = allocateArray<double>(std::max(rules, 2 * runs + 1));
    w.kept = allocateArray<double>(runs + 1);
    w.reach = allocateArray<double>(rules);
    w.pairs = allocateArray<double>(std::max<std::size_t>(runs + 1, static_cast<std::size_t>(qnLimit) * qnLimit));
    std::fill(w.reach, w.reach + rules, -1.0);
    w.values = allocateArray<double>(runs + 1);
    w.x = Series{allocateArray<double>(points), allocateArray<double>(points),
                 allocateArray<double>(points), allocateArray<double>(points),
                 allocateArray<std::int32_t>(points), 0, allocateArray<double>(4 * points),
                 allocateArray<double>(4 * points), 0, 0, false, {0, 0, 0, -1}};
    w.cuts = Cuts{allocateArray<std::int32_t>(points), 0};
    w.fitVariance = allocateArray<double>(rules);
    w.fitDegrees = allocateArray<double>(rules);
    w.z = allocateArray<double>(rules);
    w.size = allocateArray<double>(rules);
    w.p = allocateArray<double>(rules);
    w.outlier = allocateArray<double>(rules);
    w.order = allocateArray<std::int32_t>(2 * rules);
    w.ranked = allocateArray<std::int32_t>(rules);
    return w;
}

void release(Work& w) {
    for (void* block : {static_cast<void*>(w.level), static_cast<void*>(w.column),
                        static_cast<void*>(w.kept), static_cast<void*>(w.values), static_cast<void*>(w.reach), static_cast<void*>(w.pairs),
                        static_cast<void*>(w.x.mean), static_cast<void*>(w.x.weight),
                        static_cast<void*>(w.x.sumW), static_cast<void*>(w.x.sumWY),
                        static_cast<void*>(w.x.point), static_cast<void*>(w.cuts.at),
                        static_cast<void*>(w.x.high), static_cast<void*>(w.x.low),
                        static_cast<void*>(w.fitVariance), static_cast<void*>(w.fitDegrees),
                        static_cast<void*>(w.z), static_cast<void*>(w.size), static_cast<void*>(w.p),
                        static_cast<void*>(w.outlier),
                        static_cast<void*>(w.order), static_cast<void*>(w.ranked)})
        std::free(block);
}

}  // namespace

void findHistoryChanges(const HistorySeries& h, bool withTotal, const double* runTotals,
                        HistoryChanges& changes) {
    Work w = workFor(h);
    findLevels(w);
    List<OddPointRun> odd{nullptr, 0, 0};
    findOddRuns(w, odd);
    StepList shifts{nullptr, 0, 0}, total{nullptr, 0, 0}, steps{nullptr, 0, 0};
    bool levels = false;
    for (std::int32_t r = 0; r < h.runCount; ++r) levels = levels || w.level[r] != 0;
    // Nothing smaller than the least change is reported.
    const double least = logOf(1 + leastChangePercent / 100);
    if (levels) {
        levelSeries(w);
        searchAlone(w, least, -1, shifts);
        double* const pointLevel = allocateArray<double>(static_cast<std::size_t>(h.pointCount) + 1);
        std::copy(w.x.mean, w.x.mean + h.pointCount, pointLevel);
        confirmShifts(w, shifts, pointLevel);
        keepShiftsOfLevels(w, shifts, pointLevel);
        std::free(pointLevel);
    }
    if (withTotal) {
        totalSeries(w, runTotals);
        searchAlone(w, least, -1, total);
    }
    searchRules(w, least, steps);
    keepApartFromShifts(steps, shifts);
    release(w);
    changes = HistoryChanges{steps.item, steps.count, total.item, total.count, shifts.item, shifts.count,
                             odd.item, odd.count};
}

void releaseHistoryChanges(HistoryChanges& changes) {
    std::free(changes.steps);
    std::free(changes.total);
    std::free(changes.shifts);
    std::free(changes.odd);
    changes = HistoryChanges{};
}
