// The change points of one series of a history, found by binary
// segmentation: the search, the fits of its variance, and the changes
// that the change points make, steps or gradual.
#include "segments.h"

#include "maths.h"

#include <algorithm>

void addUp(Series& x) {
    x.sumW[0] = x.sumWY[0] = 0;
    for (std::int32_t t = 0; t < x.count; ++t) {
        x.sumW[t + 1] = x.sumW[t] + x.weight[t];
        x.sumWY[t + 1] = x.sumWY[t] + x.weight[t] * x.mean[t];
    }
}

Piece pieceOf(const Series& x, std::int32_t from, std::int32_t to) {
    const double w = x.sumW[to] - x.sumW[from];
    return {w, (x.sumWY[to] - x.sumWY[from]) / w};
}

namespace {

// The square of the t statistic of inside against outside, for a standard
// deviation of one run of sigma.
double tSquared(const Piece& in, const Piece& out, double variance) {
    const double d = in.mean - out.mean;
    return d * d / (variance * (1 / in.weight + 1 / out.weight));
}

}  // namespace

// The candidates a search of count points chooses among: every piece of
// it, an upper bound of the single splits and the steps and back.
double candidates(std::int32_t count) { return 0.5 * count * (count - 1); }

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

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
