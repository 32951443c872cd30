// The rows as CSV (RFC 4180), for scripts and spreadsheets: the same rows
// in the same order as the text, with full names and plain numbers, each
// line ended by CR LF.
#include "escapes.h"
#include "messages.h"
#include "print.h"

#include <cstdlib>
#include <cstring>

namespace {

// The number of runs, as CSV fields after the columns' where there are
// several: each side's of a comparison, or the runs merged into a report.
void putRunFields(const Table& table, bool heading) {
    if (!hasRuns(table)) return;
    char count[16];
    if (table.comparison) {
        putRaw(heading ? ",old_runs" : ",");
        if (!heading) putRaw(countText(count, table.oldRunCount));
    }
    putRaw(heading ? (table.comparison ? ",new_runs" : ",runs") : ",");
    if (!heading) putRaw(countText(count, table.runCount));
}

// A gradual change's point, "c10..c20" as the text has it, one field.
void putSpan(const Row& row) {
    const std::size_t first = std::strlen(row.at), second = std::strlen(row.until);
    char* const span = allocateArray<char>(first + second + 3);
    std::memcpy(span, row.at, first);
    std::memcpy(span + first, "..", 2);
    std::memcpy(span + first + 2, row.until, second + 1);
    putCsvField(span);
    std::free(span);
}

void putCsvValues(const Table& table, const Row& row, std::int32_t from, std::int32_t to) {
    for (std::int32_t i = from; i < to; ++i) {
        putRaw(",");
        // Numbers as they are; texts (a point's name) quoted where they must be.
        if (hasText(table.layout->columns[i].field)) putRaw(valueOf(table, row, i));
        else if (table.layout->columns[i].field == Field::at && row.until != nullptr) putSpan(row);
        else putCsvField(valueOf(table, row, i));
    }
}

// The columns the other formats show, the runs, then the columns of data
// alone: each column keeps its place as columns are added.
void putCsvRow(const Table& table, const Row& row) {
    putCsvField(row.name);
    const std::int32_t shown = shownColumns(*table.layout);
    putCsvValues(table, row, 1, shown);
    putRunFields(table, false);
    putCsvValues(table, row, shown, table.layout->columnCount);
    putRaw("\r\n");
}

void putCsvHeadings(const Layout& layout, std::int32_t from, std::int32_t to) {
    for (std::int32_t i = from; i < to; ++i) {
        if (i > 0) putRaw(",");
        putRaw(layout.columns[i].name);
    }
}

// A history's shifts of everything, as rows named "(shift)" with only the
// point, the change and its interval.
void putShiftRows(const Table& table) {
    const Layout& layout = *table.layout;
    for (std::int32_t k = 0; k < table.shiftCount; ++k) {
        putRaw("(shift),");
        putCsvField(table.shifts[k].at);
        for (std::int32_t i = 2; i < layout.columnCount; ++i) {
            putRaw(",");
            const Field field = layout.columns[i].field;
            if (field == Field::changePercent) putRaw(table.shifts[k].text[0]);
            if (field == Field::intervalLow) putRaw(table.shifts[k].text[1]);
            if (field == Field::intervalHigh) putRaw(table.shifts[k].text[2]);
        }
        putRaw("\r\n");
    }
}

}  // namespace

// A comparison's total is its last row, named "(total)", as the text
// layout has it.
void printCsv(const Table& table) {
    const Layout& layout = *table.layout;
    putCsvHeadings(layout, 0, shownColumns(layout));
    putRunFields(table, true);
    putCsvHeadings(layout, shownColumns(layout), layout.columnCount);
    putRaw("\r\n");
    Rows rows;
    for (startRows(table, rows); nextRows(table, rows);)
        for (std::int32_t k = 0; k < rows.count; ++k) putCsvRow(table, rows.row[k]);
    if (table.hasTotal) putCsvRow(table, table.total);
    putShiftRows(table);
}
