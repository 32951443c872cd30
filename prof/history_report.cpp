// The rows of a history's change points, and their text, CSV, JSON and
// Markdown.
#include "history_report.h"

#include "comparison.h"
#include "escapes.h"
#include "maths.h"
#include "messages.h"
#include "order.h"
#include "print.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char intervalLegend[] = "the 95% confidence interval of the change, in percent of the value before it";
constexpr std::int32_t keyWidth = 14;
constexpr std::int32_t percentWidth = 10;

#define QAV_HISTORY_COLUMNS                                        \
    {"name", Field::name, nullptr, nameWidth}, {"at", Field::at, nullptr, 0}, \
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

const TL_Extended zero{false, 0, 0};
TL_Extended ext(std::uint64_t value) { return TL_extendedOf(value); }

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

Means meansOver(const HistoryRuns& h, std::int32_t g, std::int32_t from, std::int32_t to,
                const Options& options, bool calledOnly = true) {
    double key = 0, calls = 0;
    std::uint64_t runs = 0;
    for (std::int32_t t = from; t < to; ++t) {
        if (g >= 0 && calledOnly && !pointCalls(h, g, t)) continue;
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
    const Means after = hasNew ? meansOver(h, s.rule, s.at, s.to, options) : Means{zero, zero};
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
    const std::uint64_t runsAfter = sumsOver(h, s.at, s.to, sums + 2 * rules, sums + 3 * rules);
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
    for (std::int32_t k = 0; k < c.shiftCount; ++k) {
        const Step& s = c.shifts[k];
        const double values[] = {s.changePercent, s.test.lowPercent, s.test.highPercent};
        for (int i = 0; i < 3; ++i) putPercent(report.shiftText[k][i], valueRoom, values[i]);
    }
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
    makeRows(report);
    makeShiftTexts(report);
    report.atWidth = 2;
    for (std::int32_t k = 0; k < report.ruleRows + report.totalRows; ++k)
        report.atWidth = std::max(report.atWidth, static_cast<std::int32_t>(std::strlen(report.rows[k].at)));
}

void releaseHistoryReport(HistoryReport& report) {
    releaseHistoryChanges(report.changes);
    std::free(report.rows);
    std::free(report.text);
    std::free(report.shiftText);
    std::free(report.rowStep);
    report.rowStep = nullptr;
    report.rows = nullptr;
    report.text = nullptr;
    report.shiftText = nullptr;
}

void putHistorySpan(const HistoryRuns& h, void (*text)(const char*), const char* open, const char* close) {
    char points[16], runs[16];
    putRaw(countText(points, h.pointCount));
    putRaw(h.pointCount == 1 ? " point of " : " points of ");
    putRaw(countText(runs, h.runCount));
    putRaw(h.runCount == 1 ? " run, from " : " runs, from ");
    putRaw(open);
    text(h.pointNames[0]);
    putRaw(close);
    putRaw(" to ");
    putRaw(open);
    text(h.pointNames[h.pointCount - 1]);
    putRaw(close);
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

namespace {

FILE* out() { return TL_handle(-1); }

std::int32_t allRows(const HistoryReport& r) { return r.ruleRows + r.totalRows; }

// The text layout: the name cut to its field, the point left-aligned in
// a field as wide as the longest, every value right-aligned in its field
// and at least a blank from the one before, whatever its width.
void putTextCell(char*& p, const char* text, std::int32_t width, bool left) {
    const std::int32_t length = static_cast<std::int32_t>(std::strlen(text));
    const std::int32_t pad = std::max(1, width - length);
    if (!left) p = static_cast<char*>(std::memset(p, ' ', static_cast<std::size_t>(pad))) + pad;
    std::memcpy(p, text, static_cast<std::size_t>(length));
    p += length;
    if (left) p = static_cast<char*>(std::memset(p, ' ', static_cast<std::size_t>(width - length))) + (width - length);
}

// A point's name in the text layout: a control character in it (a line
// break in a folder's name) shown as "?", so that a row stays one line.
const char* shownPoint(const char* name, char* room) {
    char* p = room;
    for (; *name != '\0'; ++name) *p++ = static_cast<unsigned char>(*name) < 0x20 || *name == 0x7F ? '?' : *name;
    *p = '\0';
    return room;
}

void putTextLine(const HistoryReport& r, const Row* row, char fill) {
    const Layout& layout = *r.table.layout;
    const std::size_t room = static_cast<std::size_t>(r.atWidth) + maxColumns * (valueRoom + 16) + 2 * TL_stringSize + 16;
    char* const line = allocateArray<char>(room);
    char* const point = allocateArray<char>(static_cast<std::size_t>(r.atWidth) + 1);
    char* p = line;
    for (std::int32_t i = 0; i < layout.columnCount; ++i) {
        const Column& column = layout.columns[i];
        char heading[valueRoom];
        headingTextOf(column, heading);
        if (fill != ' ') std::memset(heading, fill, std::strlen(heading));
        char shown[valueRoom + 2];
        TL_string cut;
        const char* text = heading;
        if (row != nullptr && column.field == Field::name) cutName(cut, row->name), text = cut;
        else if (row != nullptr && column.field == Field::at) text = shownPoint(row->at, point);
        else if (row != nullptr) shownValue(r.table, *row, i, shown), text = shown;
        if (column.field == Field::name) putTextCell(p, text, nameWidth, true);
        else if (column.field == Field::at) *p++ = ' ', putTextCell(p, text, r.atWidth, true);
        else putTextCell(p, text, column.width, false);
    }
    if (row != nullptr && row->status[0] != '\0') p = TL_formatText(TL_formatText(p, "  ", 0), row->status, 0);
    while (p > line && p[-1] == ' ') --p;
    *p++ = '\n';
    fwrite_unlocked(line, 1, static_cast<std::size_t>(p - line), out());
    std::free(line);
    std::free(point);
}

void putShiftLines(const HistoryReport& r, const char* before, void (*text)(const char*)) {
    for (std::int32_t k = 0; k < r.changes.shiftCount; ++k) {
        putRaw(before);
        const char (*t)[valueRoom] = r.shiftText[k];
        const char* const pieces[] = {"Shift of every rule at ", r.runs->pointNames[r.changes.shifts[k].at],
                                      ": ", t[0], "% (95% interval ", t[1], "% to ", t[2],
                                      "%); the rules' changes are measured beyond it"};
        for (const char* piece : pieces) text(piece);
        putRaw("\n");
    }
}

void printHistoryText(const HistoryReport& r) {
    putTextLine(r, nullptr, ' ');
    putTextLine(r, nullptr, '-');
    for (std::int32_t k = 0; k < allRows(r); ++k) putTextLine(r, &r.rows[k], ' ');
    putShiftLines(r, "", putRaw);
}

// A row in CSV: the rules' and the total's changes, and the shifts as
// rows named "(shift)" with only the point, the change and its interval.
void printHistoryCsv(const HistoryReport& r) {
    const Layout& layout = *r.table.layout;
    for (std::int32_t i = 0; i < layout.columnCount; ++i) {
        if (i > 0) putRaw(",");
        putRaw(layout.columns[i].name);
    }
    putRaw("\r\n");
    for (std::int32_t k = 0; k < allRows(r); ++k) {
        const Row& row = r.rows[k];
        for (std::int32_t i = 0; i < layout.columnCount; ++i) {
            if (i > 0) putRaw(",");
            const Field field = layout.columns[i].field;
            if (field == Field::name || field == Field::at) putCsvField(valueOf(r.table, row, i));
            else putRaw(valueOf(r.table, row, i));
        }
        putRaw("\r\n");
    }
    for (std::int32_t k = 0; k < r.changes.shiftCount; ++k) {
        putRaw("(shift),");
        putCsvField(r.runs->pointNames[r.changes.shifts[k].at]);
        for (std::int32_t i = 2; i < layout.columnCount; ++i) {
            putRaw(",");
            const Field field = layout.columns[i].field;
            if (field == Field::changePercent) putRaw(r.shiftText[k][0]);
            if (field == Field::intervalLow) putRaw(r.shiftText[k][1]);
            if (field == Field::intervalHigh) putRaw(r.shiftText[k][2]);
        }
        putRaw("\r\n");
    }
}

void putJsonRow(const HistoryReport& r, const Row& row, bool named) {
    const Layout& layout = *r.table.layout;
    putRaw("{");
    for (std::int32_t i = named ? 0 : 1; i < layout.columnCount; ++i) {
        const Field field = layout.columns[i].field;
        if (i > (named ? 0 : 1)) putRaw(", ");
        putRaw("\"");
        putRaw(layout.columns[i].name);
        putRaw("\": ");
        if (field == Field::name || field == Field::at) putJsonString(valueOf(r.table, row, i));
        else putJsonNumber(valueOf(r.table, row, i));
    }
    putRaw(", \"status\": ");
    putJsonString(row.status);
    putRaw("}");
}

void putJsonPoints(const HistoryRuns& h) {
    char count[16];
    putRaw(", \"points\": [");
    for (std::int32_t t = 0; t < h.pointCount; ++t) {
        putRaw(t == 0 ? "\n  {\"name\": " : ",\n  {\"name\": ");
        putJsonString(h.pointNames[t]);
        putRaw(", \"runs\": ");
        putRaw(countText(count, h.firstRun[t + 1] - h.firstRun[t]));
        putRaw(", \"files\": [");
        for (std::int32_t run = h.firstRun[t]; run < h.firstRun[t + 1]; ++run) {
            if (run > h.firstRun[t]) putRaw(", ");
            putJsonString(h.runNames[run]);
        }
        putRaw("]}");
    }
    putRaw(h.pointCount > 0 ? "\n]" : "]");
}

void printHistoryJson(const HistoryReport& r) {
    putJsonHead(r.table);
    putJsonPoints(*r.runs);
    putRaw(", \"changes\": [");
    for (std::int32_t k = 0; k < r.ruleRows; ++k) {
        putRaw(k == 0 ? "\n  " : ",\n  ");
        putJsonRow(r, r.rows[k], true);
    }
    putRaw(r.ruleRows > 0 ? "\n], \"total\": [" : "], \"total\": [");
    for (std::int32_t k = 0; k < r.totalRows; ++k) {
        putRaw(k == 0 ? "\n  " : ",\n  ");
        putJsonRow(r, r.rows[r.ruleRows + k], false);
    }
    putRaw(r.totalRows > 0 ? "\n], \"shifts\": [" : "], \"shifts\": [");
    for (std::int32_t k = 0; k < r.changes.shiftCount; ++k) {
        putRaw(k == 0 ? "\n  {\"at\": " : ",\n  {\"at\": ");
        putJsonString(r.runs->pointNames[r.changes.shifts[k].at]);
        const char* const names[] = {", \"change_pct\": ", ", \"ci_low\": ", ", \"ci_high\": "};
        for (int i = 0; i < 3; ++i) {
            putRaw(names[i]);
            putJsonNumber(r.shiftText[k][i]);
        }
        putRaw("}");
    }
    putRaw(r.changes.shiftCount > 0 ? "\n]}\n" : "]}\n");
}

void putMarkdownRow(const HistoryReport& r, const Row& row) {
    const Layout& layout = *r.table.layout;
    for (std::int32_t i = 0; i < layout.columnCount; ++i) {
        char shown[valueRoom + 2];
        putRaw(i == 0 ? "| " : " | ");
        const Field field = layout.columns[i].field;
        if (field == Field::name || field == Field::at) {
            putMarkdownText(valueOf(r.table, row, i));
            if (field == Field::name && row.status[0] != '\0') {
                putRaw(" (");
                putRaw(row.status);
                putRaw(")");
            }
            continue;
        }
        shownValue(r.table, row, i, shown);
        putMarkdownText(shown);
    }
    putRaw(" |\n");
}

void printHistoryMarkdown(const HistoryReport& r) {
    putRaw("History of ");
    putHistorySpan(*r.runs, putMarkdownText, "", "");
    putRaw(". CI LOW, CI HIGH: ");
    putMarkdownText(intervalLegend);
    putRaw(".\n\n");
    putMarkdownHeadings(*r.table.layout);
    for (std::int32_t k = 0; k < allRows(r); ++k) putMarkdownRow(r, r.rows[k]);
    if (r.changes.shiftCount > 0) putRaw("\n");
    putShiftLines(r, "- ", putMarkdownText);
}

}  // namespace

void printHistory(const HistoryReport& report, Format format) {
    switch (format) {
    case Format::csv: printHistoryCsv(report); break;
    case Format::json: printHistoryJson(report); break;
    case Format::html: printHistoryPage(report); break;
    case Format::markdown: printHistoryMarkdown(report); break;
    case Format::report: printHistoryText(report); break;
    }
}
