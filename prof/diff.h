// The comparison of older runs with newer ones of the same kind: a row per
// rule found in either (the n-th record of a name in one is the n-th of
// that name in the other), with the criterion's key in each (a run's on
// average), the change and the change in percent of the old key, largest
// change first; for keys that are totals, what of the change more or fewer
// calls make and what the cost per call makes; and with two runs or more
// on each side, whether the runs show the change to be real (moderated.h)
// and its 95% interval.
#pragma once

#include "extended.h"
#include "merge.h"
#include "moderated.h"
#include "table.h"


// A rule of either side.
struct Change {
    Position oldAt, newAt;  // 0 where the rule is absent
    TL_Extended oldKey, newKey;
    std::int32_t rank;      // report order: the new runs', then the old ones'
    RuleChange test;        // where both sides have two runs or more and the rule
};

struct Comparison {
    Table table;  // its source is the comparison itself: it stays where it is built
    const Runs* oldRuns;
    const Runs* newRuns;
    const Options* options;
    Change* changes;  // largest change first
    std::int32_t changeCount;
    TL_Extended oldTotal, newTotal;  // of the keys as the rows show them
    RuleChange totalTest;            // of the per-run totals, where the changes are tested
    RunsTest runsTest;               // the shift of everything and the odd runs, likewise
    char totalText[rowTextRoom];     // the total row's texts
    char shiftText[3][valueRoom];    // the shift and its interval, as shown
    char* notes[maxOddRuns];         // on each odd run (allocated)
};

// Builds the comparison of the old runs and the new (each merged and
// ordered); they and the options must stay as long as the comparison.
void buildComparison(const Runs& old, const Runs& now, const Options& options,
                     Comparison& comparison);
void releaseComparison(Comparison& comparison);
// The growth of the comparison's total in percent of the old total;
// infinite when the old total is 0 and the new one is not. newTotal gets
// the new total, significant whether the runs show the change to be real
// (the total's mark; a side of one run has none, and the change counts).
double totalGrowth(const Comparison& comparison, std::uint64_t& newTotal, bool& significant);
