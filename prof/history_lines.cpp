// A history's page table: a row a rule with its line over the points
// (history_lines.h). Nothing here prints: the page printer draws the rows
// and their lines as it draws any table's.
#include "history_lines.h"

#include "escapes.h"
#include "messages.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

// What the page shows of a rule: its changes, and the largest of them in
// size (of its change in percent; one without, as a rule that came or
// went, counts as the largest).
struct RuleView {
    std::int32_t rule;
    std::int32_t changes;
    const Row* largest;
    double size;
};

namespace {

// The largest change of each rule as the report's rows show it, and how
// many changes it has.
constexpr Column lineColumns[] = {
    {"name", Field::name, nullptr, 0},          {"at", Field::at, nullptr, 0},
    {"before", Field::oldKey, nullptr, 0},      {"after", Field::newKey, nullptr, 0},
    {"change_pct", Field::changePercent, nullptr, 0}, {"ci_low", Field::intervalLow, nullptr, 0},
    {"ci_high", Field::intervalHigh, nullptr, 0}, {"changes", Field::changes, nullptr, 0}};
const Layout lineLayout{lineColumns, columnCount(lineColumns), 0};

// The column of the report's layout that holds field.
std::int32_t columnOf(const Table& t, Field field) {
    std::int32_t i = 0;
    while (i + 1 < t.layout->columnCount && t.layout->columns[i].field != field) ++i;
    return i;
}

double percentOf(const Table& t, const Row& row) {
    const char* const text = valueOf(t, row, columnOf(t, Field::changePercent));
    if (text[0] == '\0') return 1e300;
    const double value = std::strtod(text, nullptr);
    return value < 0 ? -value : value;
}

RuleView* viewsOf(const HistoryReport& r) {
    const HistoryRuns& h = *r.runs;
    RuleView* const views = allocateArray<RuleView>(static_cast<std::size_t>(h.ruleCount) + 1);
    for (std::int32_t g = 0; g < h.ruleCount; ++g) views[g] = RuleView{g, 0, nullptr, -1};
    for (std::int32_t k = 0; k < r.changes.stepCount; ++k) ++views[r.changes.steps[k].rule].changes;
    for (std::int32_t k = 0; k < r.ruleRows; ++k) {
        RuleView& view = views[r.changes.steps[r.rowStep[k]].rule];
        const double size = percentOf(r.table, r.rows[k]);
        if (size > view.size) {
            view.size = size;
            view.largest = &r.rows[k];
        }
    }
    // Changed rules first, largest first; then the others as first seen.
    // The order is total, so a plain sort does (the C++ library's buffer
    // for a stable one would take more than libc).
    std::sort(views, views + h.ruleCount, [](const RuleView& a, const RuleView& b) {
        if ((a.largest != nullptr) != (b.largest != nullptr)) return a.largest != nullptr;
        return a.size != b.size ? a.size > b.size : a.rule < b.rule;
    });
    return views;
}

// Line g + 1's value at point t, the mean key per run (line 0: the
// total's); -1 where no run of the point calls the rule.
double valueAt(const void* source, std::int32_t line, std::int32_t t) {
    const HistoryRuns& h = *static_cast<const HistoryReport*>(source)->runs;
    const std::int32_t g = line - 1;
    if (g >= 0 && !pointCalls(h, g, t)) return -1;
    double sum = 0;
    for (std::int32_t r = h.firstRun[t]; r < h.firstRun[t + 1]; ++r) sum += g < 0 ? h.totals[r] : keyIn(h, g, r);
    return sum / (h.firstRun[t + 1] - h.firstRun[t]);
}

// A row of the page: the line's name, its largest change's point and
// values (blank where it has none), and how many changes it has.
void makeLineRow(const HistoryReport& r, TextPool& pool, Row& row, const char* name, const Row* largest,
                 std::int32_t changes, std::int32_t line) {
    beginRow(pool, row, name, largest != nullptr ? largest->status : "");
    if (largest != nullptr) {
        row.at = largest->at;
        row.until = largest->until;
    }
    row.line = line;
    char count[16];
    for (std::int32_t i = 0; i < lineLayout.columnCount; ++i) {
        const Field field = lineColumns[i].field;
        if (!hasText(field)) continue;
        const char* const text = field == Field::changes ? countText(count, changes)
                                 : largest != nullptr     ? valueOf(r.table, *largest, columnOf(r.table, field))
                                                          : "";
        char* const room = valueRoomFor(pool);
        const std::size_t length = std::min(std::strlen(text), static_cast<std::size_t>(valueRoom));
        std::memcpy(room, text, length);
        endValue(pool, row, i, room + length);
    }
}

void fillLines(const void* source, Rows& rows) {
    const HistoryLines& lines = *static_cast<const HistoryLines*>(source);
    const HistoryReport& r = *static_cast<const HistoryReport*>(lines.chart.source);
    while (rows.count < batchRows && rows.next < r.runs->ruleCount) {
        const RuleView& view = lines.views[rows.next++];
        makeLineRow(r, rows.pool, rows.row[rows.count++], r.runs->ruleNames[view.rule], view.largest,
                    view.changes, view.rule + 1);
    }
}

// A change as a mark on its line, with its row's change and interval
// (none where -top left the change without a row).
ChartMark markOf(const HistoryReport& r, const Step& s, std::int32_t row) {
    ChartMark mark{s.at, isGradual(s) ? s.until : s.at, {nullptr, nullptr, nullptr}};
    const Field fields[] = {Field::changePercent, Field::intervalLow, Field::intervalHigh};
    if (row >= 0)
        for (int k = 0; k < 3; ++k) mark.text[k] = valueOf(r.table, r.rows[row], columnOf(r.table, fields[k]));
    return mark;
}

// The marks of every line, the lines' one after another, each line's in
// the order of its changes.
void makeMarks(const HistoryReport& r, HistoryLines& lines) {
    const HistoryChanges& c = r.changes;
    const std::int32_t lineCount = r.runs->ruleCount + 1;
    std::int32_t* const first = allocateArray<std::int32_t>(static_cast<std::size_t>(lineCount) + 1);
    std::int32_t* const rowOfStep = allocateArray<std::int32_t>(static_cast<std::size_t>(c.stepCount) + 1);
    std::fill(rowOfStep, rowOfStep + c.stepCount, -1);
    for (std::int32_t k = 0; k < r.ruleRows; ++k) rowOfStep[r.rowStep[k]] = k;
    first[0] = c.totalCount;
    for (std::int32_t k = 0; k < c.stepCount; ++k) ++first[c.steps[k].rule + 1];
    for (std::int32_t line = 1; line <= lineCount; ++line) first[line] += first[line - 1];
    // first[line] is now where line + 1's marks start; each line's are put
    // in place from there, which leaves first[line] where line's start.
    ChartMark* const marks = allocateArray<ChartMark>(static_cast<std::size_t>(first[lineCount]) + 1);
    for (std::int32_t k = c.stepCount - 1; k >= 0; --k)
        marks[--first[c.steps[k].rule + 1]] = markOf(r, c.steps[k], rowOfStep[k]);
    for (std::int32_t k = 0; k < c.totalCount; ++k) marks[k] = markOf(r, c.total[k], r.ruleRows + k);
    first[0] = 0;
    std::free(rowOfStep);
    lines.marks = marks;
    lines.firstMark = first;
}

}  // namespace

void buildHistoryLines(const HistoryReport& r, HistoryLines& lines) {
    const HistoryRuns& h = *r.runs;
    lines.views = viewsOf(r);
    makeMarks(r, lines);
    lines.shiftAt = allocateArray<std::int32_t>(static_cast<std::size_t>(r.changes.shiftCount) + 1);
    for (std::int32_t k = 0; k < r.changes.shiftCount; ++k) lines.shiftAt[k] = r.changes.shifts[k].at;
    lines.chart = Chart{r.table.points, h.pointCount, lines.shiftAt, r.changes.shiftCount, h.ruleCount + 1,
                        valueAt, &r, lines.marks, lines.firstMark};
    // The report's table, its kind, points, shifts and notes, with a row a
    // rule and the total's line above them.
    Table& t = lines.table;
    t = r.table;
    t.layout = &lineLayout;
    t.source = &lines;
    t.fill = fillLines;
    t.topRows = 0;
    t.ruleRows = h.ruleCount;
    t.page = nullptr;
    t.chart = &lines.chart;
    t.folds = true;
    t.foldFrom = 0;
    while (t.foldFrom < h.ruleCount && lines.views[t.foldFrom].largest != nullptr) ++t.foldFrom;
    const Row* largest = nullptr;
    double size = -1;
    for (std::int32_t k = 0; k < r.totalRows; ++k) {
        const double s = percentOf(r.table, r.rows[r.ruleRows + k]);
        if (s > size) size = s, largest = &r.rows[r.ruleRows + k];
    }
    TextPool pool{lines.totalText, 0};
    makeLineRow(r, pool, t.total, "(total)", largest, r.totalRows, 0);
    t.hasTotal = true;
}

void releaseHistoryLines(HistoryLines& lines) {
    std::free(lines.views);
    std::free(lines.marks);
    std::free(lines.firstMark);
    std::free(lines.shiftAt);
    lines.views = nullptr;
    lines.marks = nullptr;
    lines.firstMark = nullptr;
    lines.shiftAt = nullptr;
}
