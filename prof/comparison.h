// The comparison of older runs with newer ones of the same kind: a row per
// rule found in either (the n-th record of a name in one is the n-th of
// that name in the other), with the criterion's key in each (a run's on
// average), the change and the change in percent of the old key, largest
// change first; for keys that are totals, what of the change more or fewer
// calls make and what the cost per call makes; and with two runs or more
// on each side, whether the runs show the change to be real (significance.h)
// and its 95% interval.
#pragma once

#include "extended.h"
#include "merge.h"
#include "significance.h"
#include "table.h"


// A rule of either side.
struct Change {
    Position oldAt, newAt;  // 0 where the rule is absent
    TL_Extended oldKey, newKey;
    std::int32_t rank;      // report order: the new runs', then the old ones'
    RuleChange test;        // where both sides have two runs or more and the rule
};

// Whether the criterion's keys are totals (all but the efficiency).
bool integerKeys(const Options& options);
// The text layout's fields of a comparison's and a history's keys, and of
// their percentages.
constexpr std::int32_t keyWidth = 14;
constexpr std::int32_t percentWidth = 10;
// 0, and a counter, as extended reals.
constexpr TL_Extended zeroExtended{false, 0, 0};
inline TL_Extended ext(std::uint64_t value) { return TL_extendedOf(value); }
// Writes value, a percentage, at text as "%+.1f" would, but for a value
// that rounds to zero, which is "+0.0" on either side of it: "-0.0" would
// read as a fall where there is none. Returns the text's length.
int putPercent(char* text, std::size_t room, double value);

// The averages of calls before and after a change, for its split.
struct Calls {
    TL_Extended old, now;
};
// The change that more or fewer calls make, at the old cost per call; a
// new rule's change is all from calls, and so is a gone one's. The rest of
// the change is from cost, the new calls times the change in cost per call.
TL_Extended fromCallsOf(const TL_Extended& oldKey, const TL_Extended& newKey, bool hasOld,
                        bool hasNew, const Calls& calls);

// What a row of changes shows: its keys where present, the change from
// calls, and where its values vary between runs, the interval of the
// change.
struct RowValues {
    TL_Extended oldKey, newKey;
    bool hasOld, hasNew;
    TL_Extended fromCalls;
    const RuleChange* test;  // null where there is none
};
// The texts of such a row, column after column of layout, made to add up
// as shown: the keys rounded as shown, the change their difference, its
// percent of the old key as shown, for keys that are totals the change
// from cost the change less that from calls, and the interval around the
// change as shown. The key, which the page's bars show, is the change.
void putValues(TextPool& pool, Row& row, const Layout& layout, const RowValues& v,
               const Options& options);

struct Comparison {
    // What the printers see, but where its rows come from: tableOf gives
    // the whole of it, so that a comparison holds nothing that points into
    // itself and can be copied.
    Table table;
    const Runs* oldRuns;
    const Runs* newRuns;
    const Options* options;
    Change* changes;  // largest change first (allocated)
    std::int32_t changeCount;
    TL_Extended oldTotal, newTotal;  // of the keys as the rows show them
    RuleChange totalTest;            // of the per-run totals, where the changes are tested
    RunsTest runsTest;               // the shift of everything and the odd runs, likewise
    std::int32_t keptOld, keptNew;   // the runs of each side tested
    char* texts;   // the total row's texts, then the shift and its interval as shown (allocated)
    char** notes;  // on each odd run (allocated, each and all)
};

// The comparison's table for the printers, its rows made from the
// comparison where it stands.
Table tableOf(const Comparison& comparison);

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
