// The change points of one series of a history: a series of point means,
// searched by binary segmentation for the single step or the step and back
// that stands out most, again within each piece found; the variance about
// the steps; and the changes the change points make, steps or gradual.
#pragma once

#include "history.h"
#include "messages.h"

#include <cstdint>
#include <cstdlib>

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

struct Piece {
    double weight, mean;
};

// The change points found so far, at most one a point.
struct Cuts {
    std::int32_t* at;
    std::int32_t count;
};

struct Best {
    double t2;
    std::int32_t a, b;  // the piece [a, b) stands out; b is the end for a single split
};

// The variance of one run about the pieces the change points make, and
// its degrees of freedom.
struct Fit {
    double variance;
    double degrees;
};

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

// The running sums of x's weights and weighted means.
void addUp(Series& x);
// The weight and mean of the points [from, to) of x.
Piece pieceOf(const Series& x, std::int32_t from, std::int32_t to);
// The candidates a search of count points chooses among.
double candidates(std::int32_t count);
// The piece of [s, e) that stands out most from the rest: a single split
// at a, or a step at a and back at b (a == 0: none).
Best bestPiece(const Series& x, std::int32_t s, std::int32_t e, double variance);
// The change points of a steady series, into cuts: where its values
// differ by more than the last bits of a mean, and by minChange.
void exactCuts(const Series& x, Cuts& cuts, double minChange);
// A series' variance of one run, robustly; scratch has room for its points.
double roughVariance(const Series& x, double* scratch);
// A first pass at level p, for the variance about the steps it finds.
Fit firstFit(const Series& x, double p, Cuts& cuts, double* scratch);
// The change points of x at level p, its variance fit, none under minChange.
void findCuts(const Series& x, const Fit& fit, double p, double minChange, Cuts& cuts);
// The changes the cuts of rule's series make, steps or gradual, into list.
void addSteps(StepList& list, const Series& x, const Cuts& cuts, const Fit& fit, std::int32_t rule);
