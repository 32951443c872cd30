// The rows as JSON, for scripts: the same rows in the same order as the
// text, with full names and plain numbers.
#include "escapes.h"
#include "print.h"

namespace {

// A row's members after its name: numbers, and the status as text; or
// those of the total, which has no name, and a status only where the runs
// are tested.
void putJsonMembers(const Table& table, const Row& row, bool total) {
    const Layout& layout = *table.layout;
    bool first = total;
    for (std::int32_t i = 1; i < layout.columnCount; ++i) {
        const Column& column = layout.columns[i];
        // The total's mark, where the runs are tested.
        if (total && column.field == Field::status && !table.tested) continue;
        putRaw(first ? "\"" : ", \"");
        first = false;
        putRaw(column.name);
        putRaw("\": ");
        if (column.field == Field::status)
            putJsonString(valueOf(table, row, i));
        else
            putJsonNumber(valueOf(table, row, i));
    }
}

// A side's runs: their number and their files' names.
void putJsonSide(const char* count, const char* files, const char* const* names, std::int32_t n) {
    char number[16];
    putRaw(count);
    putRaw(countText(number, n));
    putRaw(files);
    for (std::int32_t r = 0; r < n; ++r) {
        if (r > 0) putRaw(", ");
        putJsonString(names[r]);
    }
    putRaw("]");
}

// Where there are several runs, their number and names on each side, and
// where changes are tested, what "~" and the intervals mean.
void putJsonRuns(const Table& table) {
    if (!hasRuns(table)) return;
    if (!table.comparison) {
        putJsonSide(", \"runs\": ", ", \"files\": [", table.fileNames, table.runCount);
        return;
    }
    putJsonSide(", \"old_runs\": ", ", \"old_files\": [", table.oldFileNames, table.oldRunCount);
    putJsonSide(", \"new_runs\": ", ", \"new_files\": [", table.fileNames, table.runCount);
    if (!table.tested) return;
    putRaw(", \"legend\": {\"~\": ");
    putJsonString(noiseLegend);
    putRaw(", \"ci_low\": ");
    putJsonString(intervalLegend);
    putRaw(", \"ci_high\": ");
    putJsonString(intervalLegend);
    putRaw("}");
    if (table.shift[0] != nullptr) {
        const char* const names[] = {", \"shift\": {\"change_pct\": ", ", \"ci_low\": ", ", \"ci_high\": "};
        for (int k = 0; k < 3; ++k) {
            putRaw(names[k]);
            putJsonNumber(table.shift[k]);
        }
        putRaw("}");
    }
    putRaw(", \"notes\": [");
    for (std::int32_t k = 0; k < table.noteCount; ++k) {
        if (k > 0) putRaw(", ");
        putJsonString(table.notes[k]);
    }
    putRaw("]");
}

// A history's change as a member of "changes" (named) or "total" (not):
// its columns' members, its point a text, then its status.
void putHistoryRow(const Table& table, const Row& row, bool named) {
    const Layout& layout = *table.layout;
    putRaw("{");
    for (std::int32_t i = named ? 0 : 1; i < layout.columnCount; ++i) {
        const Field field = layout.columns[i].field;
        if (i > (named ? 0 : 1)) putRaw(", ");
        putRaw("\"");
        putRaw(layout.columns[i].name);
        putRaw("\": ");
        if (field == Field::name || field == Field::at) putJsonString(valueOf(table, row, i));
        else putJsonNumber(valueOf(table, row, i));
        // A gradual change: where it ends, beside where it starts.
        if (field == Field::at && row.until != nullptr) {
            putRaw(", \"until\": ");
            putJsonString(row.until);
        }
    }
    putRaw(", \"status\": ");
    putJsonString(row.status);
    putRaw("}");
}

void putHistoryPoints(const Table& table) {
    char count[16];
    putRaw(", \"points\": [");
    for (std::int32_t t = 0; t < table.pointCount; ++t) {
        const HistoryPoint& point = table.points[t];
        putRaw(t == 0 ? "\n  {\"name\": " : ",\n  {\"name\": ");
        putJsonString(point.name);
        putRaw(", \"runs\": ");
        putRaw(countText(count, point.runs));
        putRaw(", \"files\": [");
        for (std::int32_t r = 0; r < point.runs; ++r) {
            if (r > 0) putRaw(", ");
            putJsonString(point.files[r]);
        }
        putRaw("]}");
    }
    putRaw(table.pointCount > 0 ? "\n]" : "]");
}

void putHistoryShifts(const Table& table) {
    for (std::int32_t k = 0; k < table.shiftCount; ++k) {
        putRaw(k == 0 ? "\n  {\"at\": " : ",\n  {\"at\": ");
        putJsonString(table.shifts[k].at);
        const char* const names[] = {", \"change_pct\": ", ", \"ci_low\": ", ", \"ci_high\": "};
        for (int i = 0; i < 3; ++i) {
            putRaw(names[i]);
            putJsonNumber(table.shifts[k].text[i]);
        }
        putRaw("}");
    }
}

// A history: its points, the rules' changes, the total's, and the shifts.
void printHistoryJson(const Table& table) {
    putJsonHead(table);
    putHistoryPoints(table);
    putRaw(", \"changes\": [");
    std::int32_t made = 0;
    Rows rows;
    for (startRows(table, rows); nextRows(table, rows);)
        for (std::int32_t k = 0; k < rows.count; ++k, ++made) {
            const bool rule = made < table.ruleRows;
            if (made == table.ruleRows) putRaw(table.ruleRows > 0 ? "\n], \"total\": [" : "], \"total\": [");
            putRaw(made == 0 || made == table.ruleRows ? "\n  " : ",\n  ");
            putHistoryRow(table, rows.row[k], rule);
        }
    if (made <= table.ruleRows) putRaw(table.ruleRows > 0 ? "\n], \"total\": [" : "], \"total\": [");
    putRaw(made > table.ruleRows ? "\n], \"shifts\": [" : "], \"shifts\": [");
    putHistoryShifts(table);
    putRaw(table.shiftCount > 0 ? "\n]}\n" : "]}\n");
}

}  // namespace

void putJsonHead(const Table& table) {
    char number[16];
    putRaw("{\"schema\": ");
    putRaw(countText(number, jsonSchemaVersion));
    putRaw(", \"kind\": ");
    putJsonString(table.kind);
    putRaw(", \"criterion\": ");
    putJsonString(table.criterion);
}

void printJson(const Table& table) {
    if (table.history) {
        printHistoryJson(table);
        return;
    }
    putJsonHead(table);
    // A side of several runs is named by its list of files alone: the
    // first of them is no more the side than the others.
    if (table.runCount <= 1) {
        putRaw(", \"file\": ");
        putJsonString(table.fileName);
    }
    if (table.comparison && table.oldRunCount <= 1) {
        putRaw(", \"old_file\": ");
        putJsonString(table.oldFileName);
    }
    putJsonRuns(table);
    putRaw(", \"rows\": [");
    bool first = true;
    Rows rows;
    for (startRows(table, rows); nextRows(table, rows);)
        for (std::int32_t k = 0; k < rows.count; ++k) {
            putRaw(first ? "\n  {\"name\": " : ",\n  {\"name\": ");
            first = false;
            putJsonString(rows.row[k].name);
            putJsonMembers(table, rows.row[k], false);
            putRaw("}");
        }
    putRaw(first ? "]" : "\n]");
    if (!table.comparison) {
        putRaw("}\n");
        return;
    }
    // The total: the same members but the name and the status.
    putRaw(", \"total\": ");
    if (!table.hasTotal) {
        putRaw("null}\n");
        return;
    }
    putRaw("{");
    putJsonMembers(table, table.total, true);
    putRaw("}}\n");
}
