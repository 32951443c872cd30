// The runs of one side, merged: their sums, and each merged rule's key in
// each run, for the test of whether a change is real.
#pragma once

#include "profile.h"

struct Runs {
    Profile* merged;
    std::int32_t count;     // runs merged so far
    std::int32_t capacity;  // runs there is room for
    double* samples;        // [position * capacity + run]; 0 where absent
    double* totals;         // each run's total of the key
    bool moreRules;         // the runs held more rules than maxEntries
    const char* const* names;  // of the runs' files, as named; null for none
    // Merging's own: the positions of both sides by name, and the merged
    // position of each record of the run being merged.
    Position* scratch;
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
// The key a run's entry is ordered by, as a sample.
double sampleKey(const ProfileEntry& entry, const Options& options);
