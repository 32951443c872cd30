// The rows as a Markdown table, for a CI comment, and the caption that
// the page shares, which names the runs and says what the marks mean.
#include "escapes.h"
#include "print.h"

namespace {

bool hasStatusColumn(const Layout& layout) {
    for (std::int32_t i = 0; i < shownColumns(layout); ++i)
        if (layout.columns[i].field == Field::status) return true;
    return false;
}

void putMarkdownRow(const Table& table, const Row& row) {
    putRaw("| ");
    putMarkdownText(row.name);
    // Without a column of its own (a history's), the status follows the name.
    if (row.status[0] != '\0' && !hasStatusColumn(*table.layout)) {
        putRaw(" (");
        putRaw(row.status);
        putRaw(")");
    }
    for (std::int32_t i = 1; i < shownColumns(*table.layout); ++i) {
        char shown[valueRoom + 2];
        shownValue(table, row, i, shown);
        putRaw(" | ");
        // The values are numbers and the status one of a few marks of our
        // own ("~" alone strikes nothing through): as they are; a point's
        // name is a text.
        if (table.layout->columns[i].field == Field::at) {
            putMarkdownText(row.at);
            if (row.until != nullptr) {
                putRaw("..");
                putMarkdownText(row.until);
            }
        }
        else putRaw(shown);
        if (table.layout->columns[i].field == Field::status && row.runs != nullptr) {
            putRaw(shown[0] != '\0' ? " " : "");
            putRaw(row.runs);
        }
    }
    putRaw(" |\n");
}

void putNames(const char* const* names, std::int32_t count, const CaptionStyle& style) {
    for (std::int32_t r = 0; r < count; ++r) {
        putRaw(r == 0 ? style.firstName : style.betweenNames);
        style.text(names[r]);
    }
    putRaw(style.afterNames);
}

}  // namespace

void putRunsCaption(const Table& table, const CaptionStyle& style) {
    if (!hasRuns(table)) return;
    char count[16];
    putRaw(style.open);
    if (table.comparison) {
        putRaw(style.compared);
        putRaw(countText(count, table.oldRunCount));
        putRaw(style.oldRuns);
        putNames(table.oldFileNames, table.oldRunCount, style);
        putRaw(" against ");
        putRaw(countText(count, table.runCount));
        putRaw(style.newRuns);
    } else {
        putRaw(style.merged);
        putRaw(countText(count, table.runCount));
        putRaw(style.mergedRuns);
    }
    putNames(table.fileNames, table.runCount, style);
    putRaw(".");
    if (table.shift[0] != nullptr) {
        putRaw(style.lineBreak);
        const char* const pieces[] = {"Shift of every rule, old runs to new: ", table.shift[0],
                                      "% (95% interval ", table.shift[1], "% to ", table.shift[2],
                                      "%); the marks are of changes beyond it."};
        for (const char* piece : pieces) style.text(piece);
    }
    for (std::int32_t k = 0; k < table.noteCount; ++k) {
        putRaw(style.lineBreak);
        style.text(table.notes[k]);
        putRaw(".");
    }
    putRaw(style.close);
}

void putMarkdownHeadings(const Layout& layout) {
    putRaw("|");
    for (std::int32_t i = 0; i < shownColumns(layout); ++i) {
        putRaw(" ");
        putHeadingText(layout.columns[i], putRaw);
        putRaw(" |");
    }
    putRaw("\n|");
    for (std::int32_t i = 0; i < shownColumns(layout); ++i)
        putRaw(hasText(layout.columns[i].field) ? " ---: |" : " :--- |");
    putRaw("\n");
}

void putMethod(const Table& table, const MethodStyle& style) {
    if (!table.tested) return;
    putRaw(style.open);
    style.text(noiseLegend);
    putRaw(style.interval);
    style.text(intervalLegend);
    putRaw(".");
    putRaw(style.close);
}

void putHistorySpan(const Table& t, void (*text)(const char*), const char* open, const char* close) {
    char points[16], runs[16];
    putRaw(countText(points, t.pointCount));
    putRaw(t.pointCount == 1 ? " point of " : " points of ");
    putRaw(countText(runs, t.runTotal));
    putRaw(t.runTotal == 1 ? " run, from " : " runs, from ");
    putRaw(open);
    text(t.points[0].name);
    putRaw(close);
    putRaw(" to ");
    putRaw(open);
    text(t.points[t.pointCount - 1].name);
    putRaw(close);
}

void printMarkdown(const Table& table) {
    if (table.history) {
        putRaw("History of ");
        putHistorySpan(table, putMarkdownText, "", "");
        putRaw(". CI LOW, CI HIGH: ");
        putMarkdownText(historyIntervalLegend);
        putRaw(".\n\n");
    }
    const CaptionStyle caption{.text = putMarkdownText,
                               .open = "",
                               .compared = "Runs: ",
                               .oldRuns = " old",
                               .newRuns = " new",
                               .merged = "Runs merged: ",
                               .mergedRuns = "",
                               .firstName = " (",
                               .betweenNames = ", ",
                               .afterNames = ")",
                               .close = "\n\n",
                               .lineBreak = "\n"};
    putRunsCaption(table, caption);
    putMarkdownHeadings(*table.layout);
    Rows rows;
    for (startRows(table, rows); nextRows(table, rows);)
        for (std::int32_t k = 0; k < rows.count; ++k) putMarkdownRow(table, rows.row[k]);
    if (table.hasTotal) putMarkdownRow(table, table.total);
    putMethod(table, {.text = putMarkdownText,
                      .open = "\n**How to read this.** `~`: ",
                      .interval = ". CI LOW, CI HIGH: ",
                      .close = "\n"});
    if (table.shiftCount > 0) putRaw("\n");
    putShiftLines(table, "- ", "\n", putMarkdownText);
}
