// The change points of a history: the runs' levels, the shifts of
// everything, and each rule's steps, found by binary segmentation.
#include "history.h"

#include "maths.h"
#include "messages.h"

#include <algorithm>
#include <cstdlib>

namespace {

// It takes this many rules, present in every run, to tell a run's level
// from the changes of a few rules.
constexpr std::int32_t minLevelRules = 10;
// The least points a series needs to be searched: a piece and the newest
// point.
constexpr std::int32_t minSeries = minPiece + 1;
// The degrees of freedom of a first pass, whose variance is rough anyway.
constexpr double roughDegrees = 1000;

// A series of point means, each with its weight (the runs behind it), and
// their running sums, so that a piece's mean takes two subtractions.
struct Series {
    double* mean;
    double* weight;
    double* sumW;   // [t]: of the weights before point t
    double* sumWY;  // of the weighted means
    std::int32_t* point;  // [t]: the history's point of each (a rule's series skips
                          // the points that do not call it)
    std::int32_t count;
    // Room for the search's bounds: a tree over the ends of pieces of the
    // highest and lowest centred sums below each node (4 * points each).
    double* high;
    double* low;
    // The squares of the runs about their points' means, and their degrees
    // of freedom, where a series takes them (the total's: with a few
    // points of several runs, what the runs of a point tell is most of
    // what there is to know of its noise); 0 for none.
    double withinSquares, withinDegrees;
    bool withinInFit;  // in the variance the tests use, or only in the first pass's
    // The last threshold worked out, which most series of a history share:
    // for a level, degrees of freedom and a count of points.
    mutable struct {
        double p, degrees, value;
        std::int32_t count;
    } threshold;
};

void addUp(Series& x) {
    x.sumW[0] = x.sumWY[0] = 0;
    for (std::int32_t t = 0; t < x.count; ++t) {
        x.sumW[t + 1] = x.sumW[t] + x.weight[t];
        x.sumWY[t + 1] = x.sumWY[t] + x.weight[t] * x.mean[t];
    }
}

struct Piece {
    double weight, mean;
};

Piece pieceOf(const Series& x, std::int32_t from, std::int32_t to) {
    const double w = x.sumW[to] - x.sumW[from];
    return {w, (x.sumWY[to] - x.sumWY[from]) / w};
}

// The square of the t statistic of inside against outside, for a standard
// deviation of one run of sigma.
double tSquared(const Piece& in, const Piece& out, double variance) {
    const double d = in.mean - out.mean;
    return d * d / (variance * (1 / in.weight + 1 / out.weight));
}

// The change points found so far, at most one a point.
struct Cuts {
    std::int32_t* at;
    std::int32_t count;
};

// The candidates a search of count points chooses among: every piece of
// it, an upper bound of the single splits and the steps and back.
double candidates(std::int32_t count) { return 0.5 * count * (count - 1); }

struct Best {
    double t2;
    std::int32_t a, b;  // the piece [a, b) stands out; b is the end for a single split
};

// The search of the pieces [a, b) of [s, e) with bounds, so that a long
// series is not searched piece by piece: with the centred sums D(t) =
// sumWY(t) - M sumW(t) (M the mean of [s, e), W its weight), a piece's t
// statistic's square is (D(b) - D(a))^2 W / (variance S (W - S)), S its
// weight; over the ends b below a node of a tree, D(b) lies between the
// node's lowest and highest, and S (W - S), concave in S, is least at the
// node's first or last end. A node whose bound is below the best piece
// found so far holds none better, and is passed over. The pieces looked
// at are looked at in the order of a plain search, so that the piece
// found, and a tie's winner, are the same.
struct PieceSearch {
    const Series* x;
    std::int32_t first, last;  // the ends b searched: [first, last]
    Piece all;                 // [s, e): its weight W and mean M
    double variance, slack;
};

// Ends below a leaf of the tree, searched one by one.
constexpr std::int32_t leafEnds = 8;

double centred(const PieceSearch& q, std::int32_t t) { return q.x->sumWY[t] - q.all.mean * q.x->sumW[t]; }

void buildBounds(const PieceSearch& q, std::int32_t node, std::int32_t lo, std::int32_t hi) {
    double* const high = q.x->high;
    double* const low = q.x->low;
    if (hi - lo < leafEnds) {
        high[node] = low[node] = centred(q, lo);
        for (std::int32_t b = lo + 1; b <= hi; ++b) {
            high[node] = std::max(high[node], centred(q, b));
            low[node] = std::min(low[node], centred(q, b));
        }
        return;
    }
    const std::int32_t mid = lo + (hi - lo) / 2;
    buildBounds(q, 2 * node, lo, mid);
    buildBounds(q, 2 * node + 1, mid + 1, hi);
    high[node] = std::max(high[2 * node], high[2 * node + 1]);
    low[node] = std::min(low[2 * node], low[2 * node + 1]);
}

double pieceT2(const PieceSearch& q, std::int32_t a, std::int32_t b) {
    const Piece in = pieceOf(*q.x, a, b);
    const double outWeight = q.all.weight - in.weight;
    const Piece out{outWeight, (q.all.mean * q.all.weight - in.mean * in.weight) / outWeight};
    return tSquared(in, out, q.variance);
}

// Whether no piece [a, b), b in [l, h] below node, can pass floor.
bool passedOver(const PieceSearch& q, std::int32_t node, std::int32_t a, std::int32_t l, std::int32_t h,
                double floor) {
    if (floor <= 0) return false;
    const double d = centred(q, a);
    const double reach = std::max(q.x->high[node] - d, d - q.x->low[node]) + q.slack;
    const double sl = q.x->sumW[l] - q.x->sumW[a], sh = q.x->sumW[h] - q.x->sumW[a];
    const double least = std::min(sl * (q.all.weight - sl), sh * (q.all.weight - sh));
    if (!(least > 0)) return false;
    return reach * reach * q.all.weight / (q.variance * least) * (1 + 1e-9) < floor;
}

void searchEnds(const PieceSearch& q, std::int32_t node, std::int32_t lo, std::int32_t hi, std::int32_t a,
                double floor, Best& best) {
    const std::int32_t l = std::max(lo, a + minPiece), h = std::min(hi, q.last);
    if (l > h || passedOver(q, node, a, l, h, std::max(floor, best.t2))) return;
    if (hi - lo < leafEnds) {
        for (std::int32_t b = l; b <= h; ++b) {
            const double t2 = pieceT2(q, a, b);
            if (t2 > best.t2) best = {t2, a, b};
        }
        return;
    }
    const std::int32_t mid = lo + (hi - lo) / 2;
    searchEnds(q, 2 * node, lo, mid, a, floor, best);
    searchEnds(q, 2 * node + 1, mid + 1, hi, a, floor, best);
}

// The piece of [s, e) that stands out most from the rest: a single split
// at a, or a step at a and back at b. Every piece keeps minPiece points,
// but the last one of the series, which can be its newest point alone.
Best bestPiece(const Series& x, std::int32_t s, std::int32_t e, double variance) {
    Best best{0, 0, 0};
    const std::int32_t lastPiece = e == x.count ? 1 : minPiece;
    PieceSearch q{&x, s + 2 * minPiece, e - lastPiece, pieceOf(x, s, e), variance, 0};
    // What rounding can move a centred sum by, and more.
    const auto magnitude = [](double v) { return v < 0 ? -v : v; };
    q.slack = 1e-9 * (1 + magnitude(x.sumWY[e]) + magnitude(x.sumWY[s]) + magnitude(q.all.mean) * x.sumW[e]);
    // The best single split, a floor that passes over most pieces at once.
    double floor = 0;
    for (std::int32_t a = s + minPiece; a <= e - lastPiece; ++a) floor = std::max(floor, pieceT2(q, a, e));
    if (q.first <= q.last) buildBounds(q, 1, q.first, q.last);
    for (std::int32_t a = s + minPiece; a <= e - lastPiece; ++a) {
        const double split = pieceT2(q, a, e);
        if (split > best.t2) best = {split, a, e};
        if (q.first <= q.last) searchEnds(q, 1, q.first, q.last, a, floor, best);
    }
    return best;
}

void addCut(Cuts& cuts, std::int32_t at) { cuts.at[cuts.count++] = at; }

// Binary segmentation of [s, e): the piece that stands out most, where its
// t statistic's square passes threshold2, then again within each part.
void split(const Series& x, std::int32_t s, std::int32_t e, double variance, double threshold2,
           Cuts& cuts) {
    if (e - s < minSeries) return;
    const Best best = bestPiece(x, s, e, variance);
    if (best.a == 0 || best.t2 < threshold2) return;
    addCut(cuts, best.a);
    if (best.b != e) addCut(cuts, best.b);
    split(x, s, best.a, variance, threshold2, cuts);
    split(x, best.a, best.b, variance, threshold2, cuts);
    if (best.b != e) split(x, best.b, e, variance, threshold2, cuts);
}

std::int32_t cutBefore(const Cuts& cuts, std::int32_t k) { return k == 0 ? 0 : cuts.at[k - 1]; }
std::int32_t cutAfter(const Cuts& cuts, std::int32_t k, std::int32_t count) {
    return k + 1 == cuts.count ? count : cuts.at[k + 1];
}

// A point this many of its standard errors from its piece's mean is out
// of line: a normal point is, once in 370.
constexpr double outOfLine = 3;

// The t statistic's square of the step at at, between the pieces
// [from, at) and [at, to), without the one point whose leaving out
// weakens it most: any point of a piece of the least size (a piece of two
// stands on each of them), a point out of line of a longer one (a piece
// of one point, the newest, keeps it). A single point out of line is no
// change, though it makes a piece stand out.
double holdingT2(const Series& x, std::int32_t from, std::int32_t at, std::int32_t to, double variance) {
    const Piece before = pieceOf(x, from, at), after = pieceOf(x, at, to);
    double least = tSquared(after, before, variance);
    for (std::int32_t t = from; t < to; ++t) {
        const bool inBefore = t < at;
        const Piece& p = inBefore ? before : after;
        const double e = x.mean[t] - p.mean;
        const std::int32_t size = inBefore ? at - from : to - at;
        if (size == 1 || (size > minPiece && e * e * x.weight[t] < outOfLine * outOfLine * variance))
            continue;
        const double weight = p.weight - x.weight[t];
        const Piece without{weight, (p.mean * p.weight - x.weight[t] * x.mean[t]) / weight};
        const double t2 = inBefore ? tSquared(after, without, variance) : tSquared(without, before, variance);
        if (t2 < least) least = t2;
    }
    return least;
}

// Drops, one at a time, the weakest change point that does not hold up
// between its neighbours: its t statistic's square, without the point
// that weakens it most, under threshold2, or a change under minChange (of
// the logarithms).
void prune(const Series& x, Cuts& cuts, double variance, double threshold2, double minChange) {
    std::sort(cuts.at, cuts.at + cuts.count);
    while (cuts.count > 0) {
        std::int32_t weakest = -1;
        double least = threshold2;
        for (std::int32_t k = 0; k < cuts.count; ++k) {
            const std::int32_t from = cutBefore(cuts, k), to = cutAfter(cuts, k, x.count);
            const double d = pieceOf(x, cuts.at[k], to).mean - pieceOf(x, from, cuts.at[k]).mean;
            const double t2 = d > -minChange && d < minChange ? 0 : holdingT2(x, from, cuts.at[k], to, variance);
            if (t2 < least) {
                least = t2;
                weakest = k;
            }
        }
        if (weakest < 0) return;
        std::copy(cuts.at + weakest + 1, cuts.at + cuts.count, cuts.at + weakest);
        --cuts.count;
    }
}

// A steady series (its values the same but where they step) changes where
// its values differ by more than the last bits of a mean (a change of one
// in a 32-bit counter is over 2e-10), and by minChange.
void exactCuts(const Series& x, Cuts& cuts, double minChange) {
    const double least = minChange > 1e-12 ? minChange : 1e-12;
    for (std::int32_t t = 1; t < x.count; ++t) {
        const double d = x.mean[t] - x.mean[t - 1];
        if (d > least || d < -least) addCut(cuts, t);
    }
}

// A series' variance of one run, robustly: from the differences of
// neighbouring points, which a step changes once, or from the runs within
// the points.
double roughVariance(const Series& x, double* scratch) {
    // Where the runs within the points tell as much as the points do, they
    // tell it unmoved by any step.
    if (x.withinDegrees >= x.count - 1 && x.withinSquares > 0) return x.withinSquares / x.withinDegrees;
    double squares = 0;
    for (std::int32_t t = 1; t < x.count; ++t) {
        const double u = (x.mean[t] - x.mean[t - 1]) / sqrtOf(1 / x.weight[t] + 1 / x.weight[t - 1]);
        scratch[t - 1] = u < 0 ? -u : u;
        squares += u * u;
    }
    const double sigma = madScale * medianOf(scratch, x.count - 1);
    // Over half of them 0: a series that holds still but for a few steps.
    return sigma > 0 ? sigma * sigma : squares / (2 * (x.count - 1));
}

// The variance of one run about the pieces the change points make, and
// its degrees of freedom.
struct Fit {
    double variance;
    double degrees;
};

Fit residualFit(const Series& x, const Cuts& cuts) {
    double squares = 0;
    for (std::int32_t k = 0; k <= cuts.count; ++k) {
        const std::int32_t from = cutBefore(cuts, k), to = k == cuts.count ? x.count : cuts.at[k];
        const double mean = pieceOf(x, from, to).mean;
        for (std::int32_t t = from; t < to; ++t)
            squares += x.weight[t] * (x.mean[t] - mean) * (x.mean[t] - mean);
    }
    const double degrees = x.count - cuts.count - 1 + (x.withinInFit ? x.withinDegrees : 0);
    if (x.withinInFit) squares += x.withinSquares;
    // A steady series' means differ in their last bits only: the squares
    // of a change of one in a 32-bit counter are still above 1e-20.
    if (squares < 1e-24) squares = 0;
    return {degrees > 0 ? squares / degrees : 0, degrees};
}

// The t statistic's square that a search of x passes at level p, for the
// Bonferroni bound over its candidates.
double thresholdFor(const Series& x, double p, double degrees) {
    auto& last = x.threshold;
    if (last.count == x.count && last.p == p && last.degrees == degrees) return last.value;
    const double q = tTwoSidedQuantile(p / candidates(x.count), degrees);
    last = {p, degrees, q * q, x.count};
    return q * q;
}

// A first pass at level p, for the variance about the steps it finds.
Fit firstFit(const Series& x, double p, Cuts& cuts, double* scratch) {
    cuts.count = 0;
    const double rough = roughVariance(x, scratch);
    if (rough == 0) return {0, x.count - 1.0};
    split(x, 0, x.count, rough, thresholdFor(x, p, roughDegrees), cuts);
    prune(x, cuts, rough, thresholdFor(x, p, roughDegrees), 0);
    return residualFit(x, cuts);
}

// The change points of x at level p, its variance fit.
void findCuts(const Series& x, const Fit& fit, double p, double minChange, Cuts& cuts) {
    cuts.count = 0;
    if (fit.variance == 0) {
        exactCuts(x, cuts, minChange);
        return;
    }
    const double threshold2 = thresholdFor(x, p, fit.degrees);
    split(x, 0, x.count, fit.variance, threshold2, cuts);
    prune(x, cuts, fit.variance, threshold2, minChange);
}

// The change from [from, at) to [until, to), the points between on the
// way: its change and interval (at == until for a step).
Step changeOver(const Series& x, std::int32_t from, std::int32_t at, std::int32_t until, std::int32_t to,
                const Fit& fit, std::int32_t rule) {
    const Piece before = pieceOf(x, from, at), after = pieceOf(x, until, to);
    Step step{rule, x.point[at], x.point[from], to == x.count ? x.point[to - 1] + 1 : x.point[to],
              StepKind::step, RuleChange{fit.variance > 0, true, 0, 0, 0, 0, 0, 0}, 0, x.point[until]};
    const double d = after.mean - before.mean;
    step.changePercent = (expOf(d) - 1) * 100;
    if (fit.variance == 0) return step;
    const double error = sqrtOf(fit.variance * (1 / before.weight + 1 / after.weight));
    step.test.p = tTwoSidedP(d / error, fit.degrees);
    const double half = tTwoSidedQuantile(intervalLevel, fit.degrees) * error;
    step.test.halfWidth = half;
    step.test.lowPercent = (expOf(d - half) - 1) * 100;
    step.test.highPercent = (expOf(d + half) - 1) * 100;
    return step;
}

// The squares about a level before point u, a straight way from it over
// [u, v) and a level from v on, of the points [from, to), the two levels
// fitted (u == v: a step).
double rampSquares(const Series& x, std::int32_t from, std::int32_t to, std::int32_t u, std::int32_t v) {
    double aa = 0, ab = 0, bb = 0, ay = 0, by = 0, yy = 0;
    for (std::int32_t t = from; t < to; ++t) {
        const double lambda = t < u ? 0 : t >= v ? 1 : (t - u + 1.0) / (v - u + 1.0);
        const double w = x.weight[t], y = x.mean[t];
        aa += w * (1 - lambda) * (1 - lambda);
        ab += w * lambda * (1 - lambda);
        bb += w * lambda * lambda;
        ay += w * (1 - lambda) * y;
        by += w * lambda * y;
        yy += w * y * y;
    }
    const double det = aa * bb - ab * ab;
    if (!(det > 0)) return yy;
    const double before = (ay * bb - by * ab) / det, after = (by * aa - ay * ab) / det;
    return yy - before * ay - after * by;
}

// A gradual change: where it starts, the first point moved, and where it
// ends, the first at its new level; the squares of its fit over the
// window [from, to) of points around it.
struct Ramp {
    std::int32_t u, v;
    double squares;
    std::int32_t from, to;
};

// The furthest a gradual change reaches on either side of where a step
// would be, in points.
constexpr std::int32_t rampReach = 16;

// The way from [from, ...) to [..., to) that fits best, starting within
// [uLow, uHigh] and ending within [vLow, vHigh], over a window of the
// points around it.
Ramp bestRamp(const Series& x, std::int32_t from, std::int32_t to, std::int32_t uLow, std::int32_t uHigh,
              std::int32_t vLow, std::int32_t vHigh) {
    uLow = std::max(uLow, uHigh - rampReach);
    vHigh = std::min(vHigh, vLow + rampReach);
    from = std::max(from, uLow - rampReach);
    to = std::min(to, vHigh + rampReach);
    Ramp best{uHigh, vLow, rampSquares(x, from, to, uHigh, vLow), from, to};
    for (std::int32_t u = uLow; u <= uHigh; ++u)
        for (std::int32_t v = std::max(vLow, u); v <= vHigh; ++v) {
            const double squares = rampSquares(x, from, to, u, v);
            if (squares < best.squares) best = {u, v, squares, from, to};
        }
    return best;
}

// The squares of [from, to) about its mean.
double flatSquares(const Series& x, std::int32_t from, std::int32_t to) {
    if (to <= from) return 0;
    const double mean = pieceOf(x, from, to).mean;
    double squares = 0;
    for (std::int32_t t = from; t < to; ++t) squares += x.weight[t] * (x.mean[t] - mean) * (x.mean[t] - mean);
    return squares;
}

// Where the steps (or the odd runs) go, growing as they are found.
template <typename T>
struct List {
    T* item;
    std::int32_t count, room;
};
using StepList = List<Step>;

template <typename T>
void add(List<T>& list, const T& value) {
    if (list.count == list.room) {
        list.room = list.room * 2 + 16;
        T* more = static_cast<T*>(std::realloc(list.item, sizeof(T) * static_cast<std::size_t>(list.room)));
        if (more == nullptr) fail({"Out of memory"});
        list.item = more;
    }
    list.item[list.count++] = value;
}


// The rule's changes at the cuts: each a step, or a gradual change where a
// straight way from the level before to the level after fits better than
// the step by more than chance (a likelihood ratio beyond chi-square's 1%
// point of one degree of freedom) and takes three points or more; the
// changes of neighbouring cuts of one direction that one way fits as well
// as their steps are one change. What is gradual is searched within
// rampReach points of the cut.
void addSteps(StepList& list, const Series& x, const Cuts& cuts, const Fit& fit, std::int32_t rule) {
    constexpr double chiSquare1 = 6.635;
    for (std::int32_t k = 0; k < cuts.count; ++k) {
        const std::int32_t from = cutBefore(cuts, k), at = cuts.at[k];
        std::int32_t last = k, to = cutAfter(cuts, k, x.count);
        if (fit.variance == 0) {
            add(list, changeOver(x, from, at, at, to, fit, rule));
            continue;
        }
        const double d = pieceOf(x, at, to).mean - pieceOf(x, from, at).mean;
        Ramp ramp = bestRamp(x, from, to, from + 1, at, at, to - 1);
        double steps = flatSquares(x, ramp.from, at) + flatSquares(x, at, ramp.to);
        // One way over this cut and the next, where it fits as well.
        while (last + 1 < cuts.count) {
            const std::int32_t mid = cuts.at[last], next = cuts.at[last + 1], end = cutAfter(cuts, last + 1, x.count);
            const double e = pieceOf(x, next, end).mean - pieceOf(x, mid, next).mean;
            if ((d > 0) != (e > 0)) break;
            const Ramp both = bestRamp(x, from, end, from + 1, at, next, end - 1);
            double pieces = flatSquares(x, both.from, at) + flatSquares(x, next, both.to);
            for (std::int32_t j = k; j <= last; ++j) pieces += flatSquares(x, cuts.at[j], cuts.at[j + 1]);
            if (both.squares > pieces + chiSquare1 * fit.variance) break;
            ramp = both;
            steps = pieces;
            to = end;
            ++last;
        }
        const bool gradual = ramp.v - ramp.u >= 2 && (last > k || steps - ramp.squares > chiSquare1 * fit.variance);
        add(list, gradual ? changeOver(x, from, ramp.u, ramp.v, to, fit, rule)
                          : changeOver(x, from, at, at, to, fit, rule));
        k = last;
    }
}

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
    // median of weighing values scattered as the rules are about theirs.
    for (std::int32_t r = 0; r < h.runCount; ++r) {
        for (std::int32_t k = 0; k < weighing; ++k) {
            const double e = logIn(h, w.order[k], r) - w.level[r] - reference[k];
            w.column[k] = e < 0 ? -e : e;
        }
        w.values[r] = medianOf(w.column, weighing);
    }
    w.levelError = 1.2533 * madScale * medianOf(w.values, h.runCount) / sqrtOf(weighing);
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
