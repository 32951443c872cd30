// The rows of a history's change points, as a table that the printers
// print as they print a comparison's: its points and shifts are parts of
// it.
#include "history_report.h"

#include "comparison.h"
#include "history_lines.h"
#include "maths.h"
#include "messages.h"
#include "order.h"
#include "print.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {


#define QAV_HISTORY_COLUMNS                                        \
    {"name", Field::name, nullptr, nameWidth, {nullptr, -nameIndent}}, {"at", Field::at, nullptr, 0}, \
        {"before", Field::oldKey, nullptr, keyWidth},              \
        {"after", Field::newKey, nullptr, keyWidth},               \
        {"change", Field::change, nullptr, keyWidth},              \
        {"change_pct", Field::changePercent, nullptr, percentWidth}, \
        {"ci_low", Field::intervalLow, nullptr, percentWidth},     \
        {"ci_high", Field::intervalHigh, nullptr, percentWidth}

// Efficiencies are no totals: their change does not split.
constexpr Column totalColumns[] = {QAV_HISTORY_COLUMNS,
                                   {"from_calls", Field::fromCalls, nullptr, keyWidth},
                                   {"from_cost", Field::fromCost, nullptr, keyWidth}};
constexpr Column efficiencyColumns[] = {QAV_HISTORY_COLUMNS};
const Layout totalLayout{totalColumns, columnCount(totalColumns), 0};
const Layout efficiencyLayout{efficiencyColumns, columnCount(efficiencyColumns), 0};

constexpr TL_Extended zero = zeroExtended;

// A rule's key and calls per run over the points [from, to) that call it
// (rule -1: the runs' totals): totals exactly, efficiencies on average.
struct Means {
    TL_Extended key, calls;
};

// The means of sums over runs.
Means meansOf(double key, double calls, std::uint64_t runs, const Options& options) {
    if (runs == 0) return {zero, zero};
    // Counters sum exactly in a double below 2^53.
    if (!integerKeys(options)) return {TL_extendedOf(key / static_cast<double>(runs)), zero};
    return {TL_divide(ext(static_cast<std::uint64_t>(key)), ext(runs)),
            TL_divide(ext(static_cast<std::uint64_t>(calls)), ext(runs))};
}

// The means over the runs of the points [from, to) that call rule g.
Means meansOver(const HistoryRuns& h, std::int32_t g, std::int32_t from, std::int32_t to,
                const Options& options) {
    double key = 0, calls = 0;
    std::uint64_t runs = 0;
    for (std::int32_t t = from; t < to; ++t) {
        if (g >= 0 && !pointCalls(h, g, t)) continue;
        for (std::int32_t r = h.firstRun[t]; r < h.firstRun[t + 1]; ++r) {
            key += g >= 0 ? keyIn(h, g, r) : h.totals[r];
            calls += g >= 0 ? callsIn(h, g, r) : 0;
            ++runs;
        }
    }
    return meansOf(key, calls, runs, options);
}

RowValues valuesOf(const HistoryRuns& h, const Step& s, const Options& options) {
    const bool hasOld = s.kind != StepKind::appeared, hasNew = s.kind != StepKind::vanished;
    const Means before = hasOld ? meansOver(h, s.rule, s.from, s.at, options) : Means{zero, zero};
    const Means after = hasNew ? meansOver(h, s.rule, arrivedAt(s), s.to, options) : Means{zero, zero};
    // The total's change from calls is the rules' (totalFromCalls).
    const TL_Extended fromCalls =
        s.rule < 0 || !integerKeys(options)
            ? zero
            : fromCallsOf(before.key, after.key, hasOld, hasNew, Calls{before.calls, after.calls});
    return {before.key, after.key, hasOld, hasNew, fromCalls, s.test.varies ? &s.test : nullptr};
}

// The total's change from calls: the sum of the rules' over the same
// runs, a run that does not call a rule counting as 0.
// Every rule's sums of keys and calls over the runs of the points
// [from, to), run after run as meansOver adds them up; the number of runs.
std::uint64_t sumsOver(const HistoryRuns& h, std::int32_t from, std::int32_t to, double* keys, double* calls) {
    std::fill(keys, keys + h.ruleCount, 0.0);
    std::fill(calls, calls + h.ruleCount, 0.0);
    for (std::int32_t r = h.firstRun[from]; r < h.firstRun[to]; ++r)
        for (std::int32_t g = 0; g < h.rowLength[r]; ++g) {
            keys[g] += keyIn(h, g, r);
            calls[g] += h.calls[r][g];
        }
    return static_cast<std::uint64_t>(h.firstRun[to] - h.firstRun[from]);
}

TL_Extended totalFromCalls(const HistoryRuns& h, const Step& s, const Options& options) {
    const std::size_t rules = static_cast<std::size_t>(h.ruleCount) + 1;
    double* const sums = allocateArray<double>(4 * rules);
    const std::uint64_t runsBefore = sumsOver(h, s.from, s.at, sums, sums + rules);
    const std::uint64_t runsAfter = sumsOver(h, arrivedAt(s), s.to, sums + 2 * rules, sums + 3 * rules);
    TL_Extended sum = zero;
    for (std::int32_t g = 0; g < h.ruleCount; ++g) {
        const Means b = meansOf(sums[g], sums[rules + g], runsBefore, options);
        const Means a = meansOf(sums[2 * rules + g], sums[3 * rules + g], runsAfter, options);
        const bool hasOld = b.calls.significand != 0, hasNew = a.calls.significand != 0;
        if (hasOld || hasNew)
            sum = TL_add(sum, TL_round(fromCallsOf(b.key, a.key, hasOld, hasNew, {b.calls, a.calls})));
    }
    std::free(sums);
    return sum;
}

const char* statusOf(const Step& s) {
    return s.kind == StepKind::appeared ? "new" : s.kind == StepKind::vanished ? "gone" : "";
}

void makeRow(HistoryReport& report, TextPool& pool, Row& row, const Step& s, const RowValues& v) {
    const HistoryRuns& h = *report.runs;
    beginRow(pool, row, s.rule >= 0 ? h.ruleNames[s.rule] : "(total)", statusOf(s));
    row.at = h.pointNames[s.at];
    if (isGradual(s)) row.until = h.pointNames[s.until];
    putValues(pool, row, *report.table.layout, v, *report.options);
}

// The rules' changes, largest first (the change of the values per run;
// ties in rule order, then point order), at most -top of them; then the
// total's, in point order.
void makeRows(HistoryReport& report) {
    const HistoryRuns& h = *report.runs;
    const Options& options = *report.options;
    const HistoryChanges& c = report.changes;
    const std::size_t count = static_cast<std::size_t>(c.stepCount);
    RowValues* const values = allocateArray<RowValues>(count + 1);
    std::int32_t* const order = allocateArray<std::int32_t>(count + 1);
    for (std::int32_t k = 0; k < c.stepCount; ++k) {
        values[k] = valuesOf(h, c.steps[k], options);
        order[k] = k;
    }
    std::sort(order, order + c.stepCount, [values](std::int32_t a, std::int32_t b) {
        const int by = TL_compare(TL_magnitude(TL_subtract(values[a].newKey, values[a].oldKey)),
                                  TL_magnitude(TL_subtract(values[b].newKey, values[b].oldKey)));
        return by != 0 ? by > 0 : a < b;
    });
    report.ruleRows = c.stepCount;
    if (options.topRows != 0 && options.topRows < report.ruleRows) report.ruleRows = options.topRows;
    report.totalRows = c.totalCount;
    const std::size_t rows = static_cast<std::size_t>(report.ruleRows + report.totalRows) + 1;
    report.rows = allocateArray<Row>(rows);
    report.text = allocateArray<char>(rows * rowTextRoom);
    TextPool pool{report.text, 0};
    for (std::int32_t k = 0; k < report.ruleRows; ++k)
        makeRow(report, pool, report.rows[k], c.steps[order[k]], values[order[k]]);
    for (std::int32_t k = 0; k < c.totalCount; ++k) {
        const Step& s = c.total[k];
        RowValues v = valuesOf(h, s, options);
        v.fromCalls = totalFromCalls(h, s, options);
        makeRow(report, pool, report.rows[report.ruleRows + k], s, v);
    }
    std::free(values);
    report.rowStep = order;
}

void makeShiftTexts(HistoryReport& report) {
    const HistoryChanges& c = report.changes;
    report.shiftText = static_cast<char (*)[3][valueRoom]>(
        allocateZeroed(static_cast<std::size_t>(c.shiftCount) + 1, sizeof(char[3][valueRoom])));
    report.shifts = allocateArray<HistoryShift>(static_cast<std::size_t>(c.shiftCount) + 1);
    for (std::int32_t k = 0; k < c.shiftCount; ++k) {
        const Step& s = c.shifts[k];
        const double values[] = {s.changePercent, s.test.lowPercent, s.test.highPercent};
        for (int i = 0; i < 3; ++i) putPercent(report.shiftText[k][i], valueRoom, values[i]);
        report.shifts[k] = {report.runs->pointNames[s.at],
                            {report.shiftText[k][0], report.shiftText[k][1], report.shiftText[k][2]}};
    }
}

// The points as the printers show them.
void makePoints(HistoryReport& report) {
    const HistoryRuns& h = *report.runs;
    report.points = allocateArray<HistoryPoint>(static_cast<std::size_t>(h.pointCount) + 1);
    for (std::int32_t t = 0; t < h.pointCount; ++t)
        report.points[t] = {h.pointNames[t], h.runNames + h.firstRun[t], h.firstRun[t + 1] - h.firstRun[t]};
}

// The rows, a batch at a time, as the printers read a table's.
void fillHistory(const void* source, Rows& rows) {
    const HistoryReport& report = *static_cast<const HistoryReport*>(source);
    const std::int32_t all = report.ruleRows + report.totalRows;
    for (; rows.next < all && rows.count < batchRows; ++rows.next) rows.row[rows.count++] = report.rows[rows.next];
}

// The notes: each run unlike the other runs of its point, and where the
// history is too short to tell a change.
void makeNotes(HistoryReport& report) {
    const HistoryRuns& h = *report.runs;
    const HistoryChanges& c = report.changes;
    report.notes = allocateArray<char*>(static_cast<std::size_t>(c.oddCount) + 2);
    std::int32_t count = 0;
    for (std::int32_t k = 0; k < c.oddCount; ++k) {
        const OddPointRun& odd = c.odd[k];
        std::int32_t t = 0;
        while (h.firstRun[t + 1] <= odd.run) ++t;
        const char* const name = h.runNames[odd.run];
        const double level = odd.levelPercent < 0 ? -odd.levelPercent : odd.levelPercent;
        report.notes[count++] = allocatedText(
            std::strlen(name) + std::strlen(h.pointNames[t]) + 200,
            "Run %s of point %s is unlike the other runs of its point: its values as a whole %.1f%% %s; %s",
            name, h.pointNames[t], level, odd.levelPercent < 0 ? "lower" : "higher",
            odd.leftOut ? "left out of the point's level and total" : "kept, as half its point or more is odd");
    }
    bool oneRunEach = true;
    for (std::int32_t t = 0; t < h.pointCount; ++t) oneRunEach = oneRunEach && h.firstRun[t + 1] - h.firstRun[t] == 1;
    if (h.pointCount < minPiece + 1)
        report.notes[count++] = allocatedText(200, "With %d point%s no change can be found: a history needs three points "
                                       "at the least", static_cast<int>(h.pointCount), h.pointCount == 1 ? "" : "s");
    else if (h.pointCount < fewPoints && oneRunEach)
        report.notes[count++] = allocatedText(200, "With %d points of one run each, the total's change cannot be told from "
                                       "its noise: give each point two runs or more", static_cast<int>(h.pointCount));
    report.table.notes = report.notes;
    report.table.noteCount = count;
}

// Whether a change, as its values show it, is at least the least change:
// a change found in values with the runs' levels taken out can show as
// less in the values themselves.
bool shownAsChange(const HistoryRuns& h, const Step& s, const Options& options) {
    if (s.kind != StepKind::step) return true;
    const RowValues v = valuesOf(h, s, options);
    if (v.oldKey.significand == 0) return true;
    const double change = TL_toDouble(TL_divide(TL_subtract(v.newKey, v.oldKey), v.oldKey)) * 100;
    return change >= leastChangePercent || change <= -leastChangePercent;
}

// Leaves out the changes of the rules and of the total that show as less
// than the least change.
void dropTinyChanges(HistoryReport& report) {
    HistoryChanges& c = report.changes;
    for (auto [steps, count] : {std::pair<Step*, std::int32_t*>{c.steps, &c.stepCount},
                                std::pair<Step*, std::int32_t*>{c.total, &c.totalCount}}) {
        std::int32_t kept = 0;
        for (std::int32_t k = 0; k < *count; ++k)
            if (shownAsChange(*report.runs, steps[k], *report.options)) steps[kept++] = steps[k];
        *count = kept;
    }
}

// What the printers see of the history.
void makeTable(HistoryReport& report) {
    Table& t = report.table;
    const HistoryRuns& h = *report.runs;
    t.history = true;
    t.ruleRows = report.ruleRows;
    // The points' field: as wide as the longest point a row names.
    t.atWidth = 2;
    for (std::int32_t k = 0; k < report.ruleRows + report.totalRows; ++k)
        t.atWidth = std::max(t.atWidth, static_cast<std::int32_t>(std::strlen(report.rows[k].at)) +
                                            (report.rows[k].until != nullptr ? static_cast<std::int32_t>(std::strlen(report.rows[k].until)) + 2 : 0));
    t.points = report.points;
    t.pointCount = h.pointCount;
    t.runTotal = h.runCount;
    t.shifts = report.shifts;
    t.shiftCount = report.changes.shiftCount;
    t.source = &report;
    t.fill = fillHistory;
}

}  // namespace

void buildHistoryReport(const HistoryRuns& runs, const Options& options, HistoryReport& report) {
    report = HistoryReport{};
    report.runs = &runs;
    report.options = &options;
    report.table.layout = integerKeys(options) ? &totalLayout : &efficiencyLayout;
    report.table.kind = kindName(kindReadAs(options));
    report.table.criterion = criterionName(options.orderBy);
    findHistoryChanges(seriesOf(runs), integerKeys(options), runs.totals, report.changes);
    dropTinyChanges(report);
    makeRows(report);
    makeShiftTexts(report);
    makePoints(report);
    makeTable(report);
    makeNotes(report);
    // The page's own table, a row a rule, only where the page is printed.
    if (options.format != Format::html) return;
    report.lines = allocateArray<HistoryLines>(1);
    buildHistoryLines(report, *report.lines);
    report.table.page = &report.lines->table;
}

void releaseHistoryReport(HistoryReport& report) {
    if (report.lines != nullptr) releaseHistoryLines(*report.lines);
    std::free(report.lines);
    report.lines = nullptr;
    for (std::int32_t k = 0; report.notes != nullptr && k < report.table.noteCount; ++k) std::free(report.notes[k]);
    std::free(report.notes);
    report.notes = nullptr;
    releaseHistoryChanges(report.changes);
    std::free(report.rows);
    std::free(report.text);
    std::free(report.shiftText);
    std::free(report.shifts);
    std::free(report.points);
    std::free(report.rowStep);
    report.rowStep = nullptr;
    report.rows = nullptr;
    report.text = nullptr;
    report.shiftText = nullptr;
}

bool lastPointChangesTotal(const HistoryReport& report, double& growth) {
    const HistoryChanges& c = report.changes;
    const std::int32_t last = report.runs->pointCount - 1;
    for (std::int32_t k = 0; k < c.totalCount; ++k)
        if (c.total[k].at == last && last > 0) {
            const Means before = meansOver(*report.runs, -1, c.total[k].from, last, *report.options);
            const Means after = meansOver(*report.runs, -1, last, last + 1, *report.options);
            growth = before.key.significand == 0
                         ? 0
                         : TL_toDouble(TL_divide(TL_subtract(after.key, before.key), before.key)) * 100;
            return true;
        }
    return false;
}
