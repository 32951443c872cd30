// The comparison: its layouts, the changes of the rules, and its rows.
#include "diff.h"

#include "messages.h"
#include "order.h"
#include "stats.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::int32_t keyWidth = 14;
constexpr std::int32_t percentWidth = 10;

#define QAV_COMPARISON_COLUMNS                                   \
    {"name", Field::name, nullptr, nameWidth},                   \
        {"old", Field::oldKey, nullptr, keyWidth},               \
        {"new", Field::newKey, nullptr, keyWidth},               \
        {"change", Field::change, nullptr, keyWidth},            \
        {"change_pct", Field::changePercent, nullptr, percentWidth}

// Keys that are totals split their change in two; efficiencies do not.
// The split comes after today's columns: after the status too in CSV and
// JSON; the text layout puts the status at the end of the line, as always.
constexpr Column totalColumns[] = {
    QAV_COMPARISON_COLUMNS,
    {"status", Field::status, nullptr, 0},
    {"from_calls", Field::fromCalls, nullptr, keyWidth},
    {"from_cost", Field::fromCost, nullptr, keyWidth},
};
constexpr Column efficiencyColumns[] = {
    QAV_COMPARISON_COLUMNS,
    {"status", Field::status, nullptr, 0},
};
const Layout totalLayout{totalColumns, columnCount(totalColumns), {
    "     NAME                                OLD           NEW        CHANGE   CHANGE%    FROM CALLS     FROM COST",
    "     ----                                ---           ---        ------   -------    ----------     ---------",
    nullptr}};
const Layout efficiencyLayout{efficiencyColumns, columnCount(efficiencyColumns), {
    "     NAME                                OLD           NEW        CHANGE   CHANGE%",
    "     ----                                ---           ---        ------   -------",
    nullptr}};

const TL_Extended zero{false, 0, 0};

bool integerKeys(const Options& options) { return options.orderBy != OrderBy::efficiency; }

TL_Extended ext(std::uint64_t value) { return TL_extendedOf(value); }

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

// A whole number to show, rounded half away from zero (an average of runs
// may have a fraction; a single run's key has none).
std::int64_t rounded(const TL_Extended& x) {
    const TL_Extended half = TL_extendedOf(0.5);
    return x.negative ? -TL_truncate(TL_add(TL_magnitude(x), half)) : TL_truncate(TL_add(x, half));
}

// The positions of the called entries of a profile, by name and then by
// file position, so that equal names pair off in file order.
std::int32_t byName(const Profile& profile, Position out[]) {
    std::int32_t n = 0;
    for (std::int32_t p = 1; p <= profile.entryCount; ++p)
        if (profile.entries[p].calls != 0) out[n++] = static_cast<Position>(p);
    const ProfileEntry* entries = profile.entries;
    std::sort(out, out + n, [entries](Position a, Position b) {
        const int c = std::strcmp(entries[a].name, entries[b].name);
        return c != 0 ? c < 0 : a < b;
    });
    return n;
}

// Matches the rules of the two sides into changes, largest change first.
std::int32_t compare(const Runs& oldRuns, const Runs& newRuns, const Options& options,
                     Change* changes) {
    const Profile& old = *oldRuns.merged;
    const Profile& now = *newRuns.merged;
    Position oldByName[maxEntries], newByName[maxEntries];
    std::int32_t oldRank[maxEntries + 1], newRank[maxEntries + 1];
    for (std::int32_t k = 0; k < old.entryCount; ++k) oldRank[old.order[k]] = k;
    for (std::int32_t k = 0; k < now.entryCount; ++k) newRank[now.order[k]] = k;
    const std::int32_t olds = byName(old, oldByName);
    const std::int32_t news = byName(now, newByName);

    std::int32_t count = 0;
    const auto add = [&](Position oldAt, Position newAt) {
        Change& c = changes[count++];
        c.oldAt = oldAt;
        c.newAt = newAt;
        c.oldKey = oldAt != 0 ? keyOf(old.entries[oldAt], oldRuns, options) : zero;
        c.newKey = newAt != 0 ? keyOf(now.entries[newAt], newRuns, options) : zero;
        c.rank = newAt != 0 ? newRank[newAt] : maxEntries + oldRank[oldAt];
    };
    std::int32_t i = 0, j = 0;
    while (i < olds || j < news) {
        const int c = i == olds   ? 1
                      : j == news ? -1
                                  : std::strcmp(old.entries[oldByName[i]].name,
                                                now.entries[newByName[j]].name);
        if (c < 0)
            add(oldByName[i++], 0);
        else if (c > 0)
            add(0, newByName[j++]);
        else
            add(oldByName[i++], newByName[j++]);
    }
    std::sort(changes, changes + count, [](const Change& a, const Change& b) {
        const int c = TL_compare(TL_magnitude(TL_subtract(a.newKey, a.oldKey)),
                                 TL_magnitude(TL_subtract(b.newKey, b.oldKey)));
        return c != 0 ? c > 0 : a.rank < b.rank;
    });
    return count;
}


// Whether old and new samples show a real change. Values that are the same
// in every run of a side (calls often are) differ exactly or not at all;
// others go to the test.
bool realChange(const double* old, std::int32_t n, const double* now, std::int32_t m) {
    const bool steady = std::all_of(old, old + n, [&](double v) { return v == old[0]; }) &&
                        std::all_of(now, now + m, [&](double v) { return v == now[0]; });
    if (steady) return old[0] != now[0];
    return differSignificantly(old, n, now, m);
}

// A side's samples of a merged rule, in scratch.
const double* samplesOf(const Runs& runs, Position at, double* scratch) {
    for (std::int32_t r = 0; r < runs.count; ++r)
        scratch[r] = runs.samples[static_cast<std::size_t>(at) * static_cast<std::size_t>(runs.capacity) +
                                  static_cast<std::size_t>(r)];
    return scratch;
}

// A key as text: a whole number, or an efficiency with three decimals.
char* keyText(char* p, const TL_Extended& key, const Options& options) {
    if (integerKeys(options)) return TL_formatRounded(p, key, false);
    return p + std::snprintf(p, valueRoom, "%.3f", TL_toDouble(key));
}

char* signedText(char* p, const TL_Extended& value) {
    return TL_formatRounded(p, value, true);
}

// The averages of calls on each side, for the split of the change.
struct Calls {
    TL_Extended old, now;
};

struct Split {
    TL_Extended fromCalls, fromCost;
};

// The change from calls (the change in calls times the old cost per call)
// and from cost (the new calls times the change in the cost per call); a
// new rule's change is all from calls, and so is a gone one's.
Split splitOf(const TL_Extended& oldKey, const TL_Extended& newKey, bool hasOld, bool hasNew,
              const Calls& calls) {
    if (!hasOld || !hasNew) return {TL_subtract(newKey, oldKey), zero};
    const TL_Extended oldCost = TL_divide(oldKey, calls.old);
    const TL_Extended newCost = TL_divide(newKey, calls.now);
    return {TL_multiply(TL_subtract(calls.now, calls.old), oldCost),
            TL_multiply(calls.now, TL_subtract(newCost, oldCost))};
}

Calls callsOf(const Change& c, const Runs& oldRuns, const Runs& newRuns) {
    Calls calls{zero, zero};
    if (c.oldAt != 0) calls.old = perRun(oldRuns.merged->entries[c.oldAt].calls, oldRuns);
    if (c.newAt != 0) calls.now = perRun(newRuns.merged->entries[c.newAt].calls, newRuns);
    return calls;
}

// What a row shows: its keys where present and the split of its change.
struct RowValues {
    TL_Extended oldKey, newKey;
    bool hasOld, hasNew;
    Split split;
};

// The values of a row, column after column: the keys where present, the
// change, the change in percent where there is an old key, and for keys
// that are totals the split of the change. The page's bars show the
// change.
void putValues(TextPool& pool, Row& row, const Layout& layout, const RowValues& v,
               const Options& options) {
    const TL_Extended change = TL_subtract(v.newKey, v.oldKey);
    const char* changeText = "";
    for (std::int32_t i = 1; i < layout.columnCount; ++i) {
        char* p = valueRoomFor(pool);
        char* const start = p;
        switch (layout.columns[i].field) {
        case Field::oldKey:
            if (v.hasOld) p = keyText(p, v.oldKey, options);
            break;
        case Field::newKey:
            if (v.hasNew) p = keyText(p, v.newKey, options);
            break;
        case Field::change:
            p = integerKeys(options)
                    ? signedText(p, change)
                    : p + std::snprintf(p, valueRoom, "%+.3f", TL_toDouble(change));
            changeText = start;
            break;
        case Field::changePercent:
            if (!isZero(v.oldKey))
                p += std::snprintf(p, valueRoom, "%+.1f", percentChange(v.oldKey, change));
            break;
        case Field::fromCalls: p = signedText(p, v.split.fromCalls); break;
        case Field::fromCost: p = signedText(p, v.split.fromCost); break;
        default: continue;  // the name and the status have no text of their own
        }
        endValue(pool, row, i, p);
    }
    setKey(pool, row, changeText);
}

RowValues valuesOf(const Change& c, const Runs& oldRuns, const Runs& newRuns) {
    return {c.oldKey, c.newKey, c.oldAt != 0, c.newAt != 0,
            splitOf(c.oldKey, c.newKey, c.oldAt != 0, c.newAt != 0, callsOf(c, oldRuns, newRuns))};
}

// The next batch of rows, from change rows.next on.
void fillComparison(const void* source, Rows& rows) {
    const Comparison& comparison = *static_cast<const Comparison*>(source);
    const Runs& oldRuns = *comparison.oldRuns;
    const Runs& newRuns = *comparison.newRuns;
    const Profile& old = *oldRuns.merged;
    const Profile& now = *newRuns.merged;
    const bool tested = oldRuns.count >= 2 && newRuns.count >= 2;
    double* oldSamples = allocateArray<double>(static_cast<std::size_t>(oldRuns.count));
    double* newSamples = allocateArray<double>(static_cast<std::size_t>(newRuns.count));
    for (; rows.next < comparison.changeCount && rows.count < batchRows; ++rows.next) {
        const Change& c = comparison.changes[rows.next];
        const char* name = c.newAt != 0 ? now.entries[c.newAt].name : old.entries[c.oldAt].name;
        const char* status = c.oldAt == 0 ? "new" : c.newAt == 0 ? "gone" : "";
        if (tested && status[0] == '\0' &&
            !realChange(samplesOf(oldRuns, c.oldAt, oldSamples), oldRuns.count,
                        samplesOf(newRuns, c.newAt, newSamples), newRuns.count))
            status = "~";
        Row& row = rows.row[rows.count++];
        beginRow(rows.pool, row, name, status);
        putValues(rows.pool, row, *comparison.table.layout, valuesOf(c, oldRuns, newRuns),
                  *comparison.options);
    }
    std::free(oldSamples);
    std::free(newSamples);
}

}  // namespace

void buildComparison(const Runs& old, const Runs& now, const Options& options,
                     Comparison& comparison) {
    Table& table = comparison.table;
    table.layout = integerKeys(options) ? &totalLayout : &efficiencyLayout;
    table.comparison = true;
    table.kind = kindName(kindReadAs(options));
    table.criterion = criterionName(options.orderBy);
    table.fileName = options.profileName;
    table.oldFileName = options.oldProfileName;
    table.topRows = options.topRows;
    table.source = &comparison;
    table.fill = fillComparison;
    comparison.oldRuns = &old;
    comparison.newRuns = &now;
    comparison.options = &options;
    comparison.changes = allocateArray<Change>(2 * maxEntries);
    comparison.changeCount = compare(old, now, options, comparison.changes);
    comparison.oldTotal = comparison.newTotal = zero;
    for (std::int32_t k = 0; k < comparison.changeCount; ++k) {
        comparison.oldTotal = TL_add(comparison.oldTotal, comparison.changes[k].oldKey);
        comparison.newTotal = TL_add(comparison.newTotal, comparison.changes[k].newKey);
    }
    // Efficiencies do not add up: there is no total row under -eff. The
    // total has texts of its own, beside the batches'; its split is the
    // sum of the rules' splits.
    table.hasTotal = integerKeys(options);
    if (!table.hasTotal) return;
    RowValues total{comparison.oldTotal, comparison.newTotal, true, true, {zero, zero}};
    for (std::int32_t k = 0; k < comparison.changeCount; ++k) {
        const Split split = valuesOf(comparison.changes[k], old, now).split;
        total.split = {TL_add(total.split.fromCalls, split.fromCalls),
                       TL_add(total.split.fromCost, split.fromCost)};
    }
    TextPool pool{comparison.totalText, 0};
    beginRow(pool, table.total, "(total)", "");
    putValues(pool, table.total, *table.layout, total, options);
}

void releaseComparison(Comparison& comparison) {
    std::free(comparison.changes);
    comparison.changes = nullptr;
}

double totalGrowth(const Comparison& comparison, std::uint64_t& newSum, bool& significant) {
    const Runs& old = *comparison.oldRuns;
    const Runs& now = *comparison.newRuns;
    const TL_Extended oldTotal = comparison.oldTotal, newTotal = comparison.newTotal;
    newSum = static_cast<std::uint64_t>(rounded(newTotal));
    // With one run on a side there is nothing to test: the change counts.
    significant = old.count < 2 || now.count < 2 ||
                  realChange(old.totals, old.count, now.totals, now.count);
    if (isZero(oldTotal)) return isZero(newTotal) ? 0 : HUGE_VAL;
    return percentChange(oldTotal, TL_subtract(newTotal, oldTotal));
}
