// The comparison: its layouts, the changes of the rules, and its rows.
#include "comparison.h"

#include "maths.h"
#include "messages.h"
#include "significance.h"
#include "order.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int putPercent(char* text, std::size_t room, double value) {
    const int length = std::snprintf(text, room, "%+.1f", value);
    if (std::strcmp(text, "-0.0") == 0) text[0] = '+';
    return length;
}

bool integerKeys(const Options& options) { return options.orderBy != OrderBy::efficiency; }

namespace {


#define QAV_COMPARISON_COLUMNS                                   \
    {"name", Field::name, nullptr, nameWidth},                   \
        {"old", Field::oldKey, nullptr, keyWidth},               \
        {"new", Field::newKey, nullptr, keyWidth},               \
        {"change", Field::change, nullptr, keyWidth},            \
        {"change_pct", Field::changePercent, nullptr, percentWidth}
#define QAV_SPLIT_COLUMNS                                        \
    {"from_calls", Field::fromCalls, nullptr, keyWidth},         \
        {"from_cost", Field::fromCost, nullptr, keyWidth}
#define QAV_INTERVAL_COLUMNS                                     \
    {"ci_low", Field::intervalLow, nullptr, percentWidth},       \
        {"ci_high", Field::intervalHigh, nullptr, percentWidth}, \
        {"old_tested", Field::oldRuns, nullptr, 0},               \
        {"new_tested", Field::newRuns, nullptr, 0}

// Keys that are totals split their change in two; efficiencies do not.
// The split comes after today's columns: after the status too in CSV and
// JSON; the text layout puts the status at the end of the line, as always.
// Where the runs are tested, each change's interval comes after them.
constexpr Column totalColumns[] = {
    QAV_COMPARISON_COLUMNS, {"status", Field::status, nullptr, 0}, QAV_SPLIT_COLUMNS};
constexpr Column efficiencyColumns[] = {
    QAV_COMPARISON_COLUMNS, {"status", Field::status, nullptr, 0}};
constexpr Column testedTotalColumns[] = {QAV_COMPARISON_COLUMNS,
                                         {"status", Field::status, nullptr, 0},
                                         QAV_SPLIT_COLUMNS, QAV_INTERVAL_COLUMNS};
constexpr Column testedEfficiencyColumns[] = {
    QAV_COMPARISON_COLUMNS, {"status", Field::status, nullptr, 0}, QAV_INTERVAL_COLUMNS};

const Layout totalLayout{totalColumns, columnCount(totalColumns), 0};
const Layout efficiencyLayout{efficiencyColumns, columnCount(efficiencyColumns), 0};
// The runs each test stands on are data; the other formats say it only
// where they are fewer than the side's.
const Layout testedTotalLayout{testedTotalColumns, columnCount(testedTotalColumns), 0,
                               columnCount(testedTotalColumns) - 2};
const Layout testedEfficiencyLayout{testedEfficiencyColumns, columnCount(testedEfficiencyColumns), 0,
                                    columnCount(testedEfficiencyColumns) - 2};

constexpr TL_Extended zero = zeroExtended;


// A value of a side's sums as one run's on average.
TL_Extended perRun(std::uint64_t sum, const Runs& runs) {
    return TL_divide(ext(sum), ext(static_cast<std::uint64_t>(runs.count)));
}

// The key of a merged entry: a run's on average; an efficiency is that of
// the sums, a ratio that the number of runs does not change.
TL_Extended keyOf(const ProfileEntry& entry, const Runs& runs, const Options& options) {
    return integerKeys(options) ? perRun(orderKey(entry, options), runs)
                                : TL_extendedOf(efficiencyOf(entry));
}

bool isZero(const TL_Extended& x) { return x.significand == 0; }

// The change in percent of the old key, as a double.
double percentChange(const TL_Extended& oldKey, const TL_Extended& change) {
    return TL_toDouble(TL_multiply(TL_divide(change, oldKey), ext(100)));
}

// Largest change first.
void sortChanges(Change* changes, std::int32_t count) {
    std::sort(changes, changes + count, [](const Change& a, const Change& b) {
        const int c = TL_compare(TL_magnitude(TL_subtract(a.newKey, a.oldKey)),
                                 TL_magnitude(TL_subtract(b.newKey, b.oldKey)));
        return c != 0 ? c > 0 : a.rank < b.rank;
    });
}

// Matches the rules of the two sides into changes, largest change first.
std::int32_t compare(const Runs& oldRuns, const Runs& newRuns, const Options& options,
                     Change* changes) {
    const Profile& old = *oldRuns.merged;
    const Profile& now = *newRuns.merged;
    std::int32_t oldRank[maxEntries + 1], newRank[maxEntries + 1];
    for (std::int32_t k = 0; k < old.entryCount; ++k) oldRank[old.order[k]] = k;
    for (std::int32_t k = 0; k < now.entryCount; ++k) newRank[now.order[k]] = k;
    std::int32_t count = 0;
    pairByName(old, now, [&](Position oldAt, Position newAt) {
        Change& c = changes[count++];
        c.oldAt = oldAt;
        c.newAt = newAt;
        c.oldKey = oldAt != 0 ? keyOf(old.entries[oldAt], oldRuns, options) : zero;
        c.newKey = newAt != 0 ? keyOf(now.entries[newAt], newRuns, options) : zero;
        c.rank = newAt != 0 ? newRank[newAt] : maxEntries + oldRank[oldAt];
    });
    sortChanges(changes, count);
    return count;
}

// A key as shown: a whole number, or an efficiency in thousandths (as
// "%.3f" rounds it), so that a change is the difference of what is shown.
TL_Extended shownKey(const TL_Extended& key, bool integer) {
    if (integer) return TL_round(key);
    char text[valueRoom];
    std::snprintf(text, sizeof text, "%.3f", TL_toDouble(key));
    std::uint64_t thousandths = 0;
    for (const char* c = text; *c != '\0'; ++c)
        if (*c >= '0' && *c <= '9') thousandths = thousandths * 10 + static_cast<unsigned>(*c - '0');
    TL_Extended shown = TL_extendedOf(thousandths);
    shown.negative = text[0] == '-' && thousandths != 0;
    return shown;
}

// A shown value as text: a whole number, or thousandths with three
// decimals; with a sign for a change, as "%+" would write it.
char* shownText(char* p, const TL_Extended& value, bool integer, bool withSign) {
    if (integer) return TL_formatRounded(p, value, withSign);
    char digits[valueRoom + 4] = "000";
    // At least four digits: one before the point.
    char* const start = digits + 3;
    const std::size_t length =
        static_cast<std::size_t>(TL_formatRounded(start, TL_magnitude(value), false) - start);
    const char* first = length < 4 ? start + length - 4 : start;
    const std::size_t count = length < 4 ? 4 : length;
    const bool negative = value.negative && value.significand != 0;
    if (withSign || negative) *p++ = negative ? '-' : '+';
    std::memcpy(p, first, count - 3);
    p += count - 3;
    *p++ = '.';
    std::memcpy(p, first + count - 3, 3);
    return p + 3;
}

// The change from calls: the change in calls times the old cost per call;
// a new rule's change is all from calls, and so is a gone one's. The rest
// of the change is from cost, the new calls times the change in the cost
// per call.
}  // namespace

TL_Extended fromCallsOf(const TL_Extended& oldKey, const TL_Extended& newKey, bool hasOld,
                        bool hasNew, const Calls& calls) {
    if (!hasOld || !hasNew) return TL_subtract(newKey, oldKey);
    return TL_multiply(TL_subtract(calls.now, calls.old), TL_divide(oldKey, calls.old));
}

namespace {

// The runs of a side that have a rule (a sample of -1 where one lacks it).
std::uint64_t runsWith(const Runs& runs, Position at) {
    if (runs.samples == nullptr) return static_cast<std::uint64_t>(runs.count);
    std::uint64_t count = 0;
    for (std::int32_t r = 0; r < runs.count; ++r)
        count += runs.samples[static_cast<std::size_t>(at) * static_cast<std::size_t>(runs.capacity) +
                              static_cast<std::size_t>(r)] >= 0;
    return count;
}

// A rule's calls in a run on average, of the runs that have it: a run
// without it is none of its calls.
Calls callsOf(const Change& c, const Runs& oldRuns, const Runs& newRuns) {
    Calls calls{zero, zero};
    if (c.oldAt != 0)
        calls.old = TL_divide(ext(oldRuns.merged->entries[c.oldAt].calls), ext(runsWith(oldRuns, c.oldAt)));
    if (c.newAt != 0)
        calls.now = TL_divide(ext(newRuns.merged->entries[c.newAt].calls), ext(runsWith(newRuns, c.newAt)));
    return calls;
}

// The values of a row, column after column, made to add up as shown: the
// keys rounded as shown, the change their difference, its percent of the
// old key as shown (+0.0 where the change is +0), and for keys that are
// totals the change from cost the change less that from calls. The page's
// bars show the change.
// The runs a test stands on; none where there is no test.
char* putCount(char* p, const RuleChange* test, std::int32_t count) {
    return test != nullptr ? p + std::snprintf(p, valueRoom, "%d", static_cast<int>(count)) : p;
}

}  // namespace

void putValues(TextPool& pool, Row& row, const Layout& layout, const RowValues& v,
               const Options& options) {
    const bool integer = integerKeys(options);
    const TL_Extended oldShown = v.hasOld ? shownKey(v.oldKey, integer) : zero;
    const TL_Extended newShown = v.hasNew ? shownKey(v.newKey, integer) : zero;
    const TL_Extended change = TL_subtract(newShown, oldShown);
    const TL_Extended fromCalls = TL_round(v.fromCalls);
    // The interval is around the change as shown, and none is in percent
    // of 0.
    const bool interval = v.test != nullptr && v.test->varies && !isZero(oldShown);
    const double ratio =
        interval ? TL_toDouble(TL_divide(newShown, oldShown)) : 1;
    const char* changeText = "";
    for (std::int32_t i = 1; i < layout.columnCount; ++i) {
        char* p = valueRoomFor(pool);
        char* const start = p;
        switch (layout.columns[i].field) {
        case Field::oldKey:
            if (v.hasOld) p = shownText(p, oldShown, integer, false);
            break;
        case Field::newKey:
            if (v.hasNew) p = shownText(p, newShown, integer, false);
            break;
        case Field::change:
            p = shownText(p, change, integer, true);
            changeText = start;
            break;
        case Field::changePercent:
            if (isZero(oldShown)) break;
            if (isZero(change)) p += std::snprintf(p, valueRoom, "+0.0");
            else p += putPercent(p, valueRoom, percentChange(oldShown, change));
            break;
        case Field::fromCalls: p = shownText(p, fromCalls, true, true); break;
        case Field::fromCost: p = shownText(p, TL_subtract(change, fromCalls), true, true); break;
        case Field::intervalLow:
            if (interval)
                p += putPercent(p, valueRoom, (ratio * expOf(-v.test->halfWidth) - 1) * 100);
            break;
        case Field::intervalHigh:
            if (interval)
                p += putPercent(p, valueRoom, (ratio * expOf(v.test->halfWidth) - 1) * 100);
            break;
        case Field::oldRuns: p = putCount(p, v.test, v.test != nullptr ? v.test->oldRuns : 0); break;
        case Field::newRuns: p = putCount(p, v.test, v.test != nullptr ? v.test->newRuns : 0); break;
        default: continue;  // the name and the status have no text of their own
        }
        endValue(pool, row, i, p);
    }
    setKey(pool, row, changeText);
}

namespace {

RowValues valuesOf(const Change& c, const Runs& oldRuns, const Runs& newRuns, bool tested) {
    return {c.oldKey, c.newKey, c.oldAt != 0, c.newAt != 0,
            fromCallsOf(c.oldKey, c.newKey, c.oldAt != 0, c.newAt != 0, callsOf(c, oldRuns, newRuns)),
            tested && c.oldAt != 0 && c.newAt != 0 ? &c.test : nullptr};
}

bool testable(const Runs& old, const Runs& now) { return old.count >= 2 && now.count >= 2; }

// Whether a rule found on both sides is missing from some of their runs
// tested.
bool lacksRuns(const Comparison& comparison, const Change& c) {
    return c.oldAt != 0 && c.newAt != 0 && comparison.table.tested &&
           (c.test.oldRuns < comparison.keptOld || c.test.newRuns < comparison.keptNew);
}

const char* nameOf(const Comparison& comparison, const Change& c) {
    return c.newAt != 0 ? comparison.newRuns->merged->entries[c.newAt].name
                        : comparison.oldRuns->merged->entries[c.oldAt].name;
}

// "on 4 of 5 new runs": where a rule stands on fewer runs than a side's
// tested, in the row's room in the pool, after its values.
void putRunsText(const Comparison& comparison, const Change& c, TextPool& pool, Row& row) {
    char* const text = valueRoomFor(pool);
    const int o = c.test.oldRuns, n = c.test.newRuns, ko = comparison.keptOld, kn = comparison.keptNew;
    int length = 0;
    if (o < ko && n < kn)
        length = std::snprintf(text, 2 * valueRoom, "on %d of %d old and %d of %d new runs", o, ko, n, kn);
    else
        length = std::snprintf(text, 2 * valueRoom, "on %d of %d %s runs", o < ko ? o : n, o < ko ? ko : kn,
                               o < ko ? "old" : "new");
    row.runs = text;
    pool.used += static_cast<std::size_t>(length) + 1;
}

// The next batch of rows, from change rows.next on.
void fillComparison(const void* source, Rows& rows) {
    const Comparison& comparison = *static_cast<const Comparison*>(source);
    const Runs& oldRuns = *comparison.oldRuns;
    const Runs& newRuns = *comparison.newRuns;
    const Profile& old = *oldRuns.merged;
    const Profile& now = *newRuns.merged;
    const bool tested = comparison.table.tested;
    for (; rows.next < comparison.changeCount && rows.count < batchRows; ++rows.next) {
        const Change& c = comparison.changes[rows.next];
        const char* name = c.newAt != 0 ? now.entries[c.newAt].name : old.entries[c.oldAt].name;
        const char* status = c.oldAt == 0 ? "new" : c.newAt == 0 ? "gone" : "";
        if (tested && status[0] == '\0' && !c.test.real) status = "~";
        Row& row = rows.row[rows.count++];
        beginRow(rows.pool, row, name, status);
        putValues(rows.pool, row, *comparison.table.layout, valuesOf(c, oldRuns, newRuns, tested),
                  *comparison.options);
        if (lacksRuns(comparison, c)) putRunsText(comparison, c, rows.pool, row);
    }
}

// A side's samples of a merged rule, at out.
void gatherSamples(const Runs& runs, Position at, double* out) {
    for (std::int32_t r = 0; r < runs.count; ++r)
        out[r] = runs.samples[static_cast<std::size_t>(at) * static_cast<std::size_t>(runs.capacity) +
                              static_cast<std::size_t>(r)];
}

// A side's key of a rule over its runs that were tested and have it:
// their samples' mean.
TL_Extended keptKey(const Runs& runs, Position at, const bool* keep) {
    double sum = 0;
    std::int32_t kept = 0;
    for (std::int32_t r = 0; r < runs.count; ++r) {
        const double sample = runs.samples[static_cast<std::size_t>(at) * static_cast<std::size_t>(runs.capacity) +
                                           static_cast<std::size_t>(r)];
        if (keep[r] && sample >= 0) {
            sum += sample;
            ++kept;
        }
    }
    // Whole counters, summed exactly in a double below 2^53 per rule and run.
    return TL_divide(ext(static_cast<std::uint64_t>(sum)), ext(static_cast<std::uint64_t>(kept)));
}

// Where runs were left out of the tests, or some runs lack a rule, the
// keys are those of the runs tested that have it, so that what the rows
// show is what was tested (an efficiency, a ratio of sums, stays that of
// every run).
void keepTestedRuns(Comparison& comparison, const bool* keep) {
    const RunsTest& test = comparison.runsTest;
    bool any = false;
    for (std::int32_t k = 0; k < test.oddCount; ++k) any = any || test.odd[k].leftOut;
    for (std::int32_t k = 0; k < comparison.changeCount; ++k) any = any || lacksRuns(comparison, comparison.changes[k]);
    if (!any || !integerKeys(*comparison.options)) return;
    const Runs& old = *comparison.oldRuns;
    const Runs& now = *comparison.newRuns;
    for (std::int32_t k = 0; k < comparison.changeCount; ++k) {
        Change& c = comparison.changes[k];
        if (c.oldAt != 0) c.oldKey = keptKey(old, c.oldAt, keep);
        if (c.newAt != 0) c.newKey = keptKey(now, c.newAt, keep + old.count);
    }
    sortChanges(comparison.changes, comparison.changeCount);
}

// A note on a run unlike the others of its side, in allocated room.
char* noteOn(const OddRun& odd, const Runs& side) {
    const char* const name = side.names[odd.run];
    const double level = odd.levelPercent;
    const char* const fate = !odd.leftOut   ? "; kept, as half its side or more is odd"
                             : odd.levelOnly ? "; left out of the averages, and tested with its level taken out"
                                             : "; left out of the tests and the averages";
    return allocatedText(std::strlen(name) + 200,
                         "Run %s is unlike the other %s runs: its values as a whole %.1f%% %s, "
                         "its scatter %.1f times theirs%s", name, odd.newSide ? "new" : "old",
                         level < 0 ? -level : level, level < 0 ? "lower" : "higher", odd.scatterRatio, fate);
}

// A note where the rules do not agree on one shift, in allocated room.
char* noteOnSplit(const RunsTest& test) {
    char at[valueRoom];
    putPercent(at, sizeof at, test.shiftPercent);
    return allocatedText(200, "The rules do not agree on one shift of every rule (the most of them near "
                         "%s%%): none is taken out; the marks are of changes from the old runs", at);
}

// A note on the rules that some runs lack, each tested on the runs that
// have it, in allocated room: how many, and the first few by name.
char* noteOnMissing(const Comparison& comparison) {
    constexpr std::int32_t named = 3;
    std::size_t room = 200;
    std::int32_t count = 0;
    for (std::int32_t k = 0; k < comparison.changeCount; ++k) {
        const Change& c = comparison.changes[k];
        if (!lacksRuns(comparison, c)) continue;
        if (count++ < named) room += std::strlen(nameOf(comparison, c)) + 4;
    }
    if (count == 0) return nullptr;
    char* const note = allocateArray<char>(room);
    std::size_t used = static_cast<std::size_t>(
        std::snprintf(note, room, "%d rule%s missing from some runs, each tested on the runs that have it "
                      "(the runs column says how many):", count, count == 1 ? " is" : "s are"));
    std::int32_t put = 0;
    for (std::int32_t k = 0; k < comparison.changeCount && put < named; ++k) {
        const Change& c = comparison.changes[k];
        if (!lacksRuns(comparison, c)) continue;
        used += static_cast<std::size_t>(std::snprintf(note + used, room - used, "%s '%s'",
                                                       put++ == 0 ? "" : ",", nameOf(comparison, c)));
    }
    if (count > named) std::snprintf(note + used, room - used, " and %d more", count - named);
    return note;
}

// Tests the change of every rule found on both sides, all together, and
// of the per-run totals.
void testChanges(Comparison& comparison) {
    const Runs& old = *comparison.oldRuns;
    const Runs& now = *comparison.newRuns;
    const std::int32_t n = old.count, m = now.count;
    std::int32_t count = 0;
    for (std::int32_t k = 0; k < comparison.changeCount; ++k)
        count += comparison.changes[k].oldAt != 0 && comparison.changes[k].newAt != 0;
    const std::size_t rules = static_cast<std::size_t>(count) + 1;
    double* const oldSamples = allocateArray<double>(rules * static_cast<std::size_t>(n));
    double* const newSamples = allocateArray<double>(rules * static_cast<std::size_t>(m));
    RuleChange* const results = allocateArray<RuleChange>(rules);
    double* const scratch = allocateArray<double>(static_cast<std::size_t>(testScratch(count, n, m)));
    std::int32_t* const order = allocateArray<std::int32_t>(2 * rules);
    bool* const keep = allocateArray<bool>(2 * static_cast<std::size_t>(n + m));
    std::int32_t g = 0;
    for (std::int32_t k = 0; k < comparison.changeCount; ++k) {
        const Change& c = comparison.changes[k];
        if (c.oldAt == 0 || c.newAt == 0) continue;
        gatherSamples(old, c.oldAt, oldSamples + static_cast<std::size_t>(g) * n);
        gatherSamples(now, c.newAt, newSamples + static_cast<std::size_t>(g) * m);
        ++g;
    }
    comparison.runsTest = testRules(oldSamples, n, newSamples, m, count, results, scratch, order, keep);
    comparison.keptOld = comparison.keptNew = 0;
    for (std::int32_t r = 0; r < n + m; ++r)
        if (keep[n + m + r]) ++(r < n ? comparison.keptOld : comparison.keptNew);
    g = 0;
    for (std::int32_t k = 0; k < comparison.changeCount; ++k) {
        Change& c = comparison.changes[k];
        if (c.oldAt != 0 && c.newAt != 0) c.test = results[g++];
    }
    // The total: a test of its own, of the per-run totals of the runs tested.
    comparison.totalTest = testTotal(old.totals, n, now.totals, m, keep);
    keepTestedRuns(comparison, keep);
    std::free(oldSamples);
    std::free(newSamples);
    std::free(results);
    std::free(scratch);
    std::free(order);
    std::free(keep);
}

// The shift and the notes on odd runs, for the printers.
void describeRuns(Comparison& comparison) {
    Table& table = comparison.table;
    const RunsTest& test = comparison.runsTest;
    if (test.shiftTaken) {
        const double values[] = {test.shiftPercent, test.shiftLow, test.shiftHigh};
        for (int k = 0; k < 3; ++k) {
            char* const text = comparison.texts + rowTextRoom + k * valueRoom;
            putPercent(text, valueRoom, values[k]);
            table.shift[k] = text;
        }
    }
    std::int32_t count = 0;
    if (test.shiftSplit) comparison.notes[count++] = noteOnSplit(test);
    for (std::int32_t k = 0; k < test.oddCount; ++k)
        comparison.notes[count++] =
            noteOn(test.odd[k], test.odd[k].newSide ? *comparison.newRuns : *comparison.oldRuns);
    char* const missing = noteOnMissing(comparison);
    if (missing != nullptr) comparison.notes[count++] = missing;
    table.notes = comparison.notes;  // allocated: the table can be copied with the comparison
    table.noteCount = count;
}

void putTotal(Comparison& comparison);

}  // namespace

void buildComparison(const Runs& old, const Runs& now, const Options& options,
                     Comparison& comparison) {
    Table& table = comparison.table;
    const bool tested = testable(old, now);
    table.layout = integerKeys(options) ? (tested ? &testedTotalLayout : &totalLayout)
                                        : (tested ? &testedEfficiencyLayout : &efficiencyLayout);
    table.comparison = true;
    table.kind = kindName(kindReadAs(options));
    table.criterion = criterionName(options.orderBy);
    table.fileName = options.profileName;
    table.oldFileName = options.oldProfileName;
    table.fileNames = now.names;
    table.runCount = now.count;
    table.oldFileNames = old.names;
    table.oldRunCount = old.count;
    table.tested = tested;
    table.topRows = options.topRows;
    table.source = nullptr;  // tableOf's
    table.fill = fillComparison;
    comparison.oldRuns = &old;
    comparison.newRuns = &now;
    comparison.options = &options;
    comparison.changes = allocateArray<Change>(2 * maxEntries);
    comparison.texts = allocateArray<char>(rowTextRoom + 3 * valueRoom);
    comparison.notes = allocateArray<char*>(maxOddRuns + 2);
    comparison.changeCount = compare(old, now, options, comparison.changes);
    table.shift[0] = table.shift[1] = table.shift[2] = nullptr;
    table.notes = nullptr;
    table.noteCount = 0;
    if (tested) {
        testChanges(comparison);
        describeRuns(comparison);
    }
    putTotal(comparison);
}

namespace {

// The total of what the rows show, so that the columns add up, and its
// row where the keys add up at all.
void putTotal(Comparison& comparison) {
    const Runs& old = *comparison.oldRuns;
    const Runs& now = *comparison.newRuns;
    const Options& options = *comparison.options;
    Table& table = comparison.table;
    const bool tested = table.tested;
    const bool integer = integerKeys(options);
    comparison.oldTotal = comparison.newTotal = zero;
    for (std::int32_t k = 0; k < comparison.changeCount; ++k) {
        const Change& c = comparison.changes[k];
        if (c.oldAt != 0)
            comparison.oldTotal = TL_add(comparison.oldTotal, integer ? shownKey(c.oldKey, true) : c.oldKey);
        if (c.newAt != 0)
            comparison.newTotal = TL_add(comparison.newTotal, integer ? shownKey(c.newKey, true) : c.newKey);
    }
    // Efficiencies do not add up: there is no total row under -eff. The
    // total has texts of its own, beside the batches'; its change from
    // calls is the sum of the rules'.
    table.hasTotal = integerKeys(options);
    if (!table.hasTotal) return;
    RowValues total{comparison.oldTotal, comparison.newTotal, true, true, zero,
                    tested ? &comparison.totalTest : nullptr};
    for (std::int32_t k = 0; k < comparison.changeCount; ++k)
        total.fromCalls =
            TL_add(total.fromCalls, TL_round(valuesOf(comparison.changes[k], old, now, false).fromCalls));
    TextPool pool{comparison.texts, 0};
    // Marked as the rows are: "~" where the runs do not show its change.
    beginRow(pool, table.total, "(total)", tested && !comparison.totalTest.real ? "~" : "");
    putValues(pool, table.total, *table.layout, total, options);
}

}  // namespace

Table tableOf(const Comparison& comparison) {
    Table table = comparison.table;
    table.source = &comparison;
    return table;
}

void releaseComparison(Comparison& comparison) {
    std::free(comparison.changes);
    for (std::int32_t k = 0; k < comparison.table.noteCount; ++k) std::free(comparison.notes[k]);
    std::free(comparison.notes);
    std::free(comparison.texts);
    comparison.changes = nullptr;
    comparison.notes = nullptr;
    comparison.texts = nullptr;
    comparison.table.noteCount = 0;
}

double totalGrowth(const Comparison& comparison, std::uint64_t& newSum, bool& significant) {
    const Runs& old = *comparison.oldRuns;
    const Runs& now = *comparison.newRuns;
    const TL_Extended oldTotal = comparison.oldTotal, newTotal = comparison.newTotal;
    newSum = static_cast<std::uint64_t>(TL_truncate(TL_round(newTotal)));
    // With one run on a side there is nothing to test: the change counts.
    significant = !testable(old, now) || comparison.totalTest.real;
    if (isZero(oldTotal)) return isZero(newTotal) ? 0 : HUGE_VAL;
    return percentChange(oldTotal, TL_subtract(newTotal, oldTotal));
}
