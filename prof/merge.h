// The runs of one side, merged: their sums, and each merged rule's key in
// each run, for the test of whether a change is real.
#pragma once

#include "profile.h"

#include <cstring>

struct Runs {
    Profile* merged;
    std::int32_t count;     // runs merged so far
    std::int32_t capacity;  // runs there is room for
    double* samples;        // [position * capacity + run]; -1 where absent
    double* totals;         // each run's total of the key
    bool moreRules;         // the runs held more rules than maxEntries
    const char* const* names;  // of the runs' files, as named; null for none
};

// A side of one run, its own sum, with nothing to test.
Runs singleRun(Profile& profile, const char* const* name = nullptr);
// Room for the samples of capacity runs, merged into merged.
void startRuns(Runs& runs, Profile& merged, std::int32_t capacity);
// Adds the run loaded in run: each record is matched with the merged one
// of the same name (the n-th of a name with the n-th), its counters added;
// the others come after the merged ones, in file order.
void mergeRun(Runs& runs, const Profile& run, const Options& options);
// Frees what startRuns allocated.
void releaseRuns(Runs& runs);
// The positions of a profile's called records by name, then by file
// position, so that equal names pair off in file order; their number. A
// record with no calls is no row, and pairs with none, in a merge as in a
// comparison.
std::int32_t calledByName(const Profile& profile, Position out[]);
// Pairs the called records of two profiles by name, the n-th of a name in
// one with the n-th of it in the other, in the order of the names (then of
// the files): pair(a, b) for each, a or b 0 where the other has none.
template <typename Pair>
void pairByName(const Profile& one, const Profile& other, Pair pair) {
    Position oneByName[maxEntries], otherByName[maxEntries];
    const std::int32_t ones = calledByName(one, oneByName);
    const std::int32_t others = calledByName(other, otherByName);
    std::int32_t i = 0, j = 0;
    while (i < ones || j < others) {
        const int c = i == ones      ? 1
                      : j == others ? -1
                                    : std::strcmp(one.entries[oneByName[i]].name,
                                                  other.entries[otherByName[j]].name);
        if (c < 0) {
            pair(oneByName[i++], Position{0});
        } else if (c > 0) {
            pair(Position{0}, otherByName[j++]);
        } else {
            pair(oneByName[i], otherByName[j]);
            ++i;
            ++j;
        }
    }
}
// The key a run's entry is ordered by, as a sample.
double sampleKey(const ProfileEntry& entry, const Options& options);
