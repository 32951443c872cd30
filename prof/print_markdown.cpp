// The rows as a Markdown table, for a CI comment, and the caption that
// the page shares, which names the runs and says what the marks mean.
#include "escapes.h"
#include "print.h"

namespace {

void putMarkdownRow(const Table& table, const Row& row) {
    putRaw("| ");
    putMarkdownText(row.name);
    for (std::int32_t i = 1; i < table.layout->columnCount; ++i) {
        char shown[valueRoom + 2];
        shownValue(table, row, i, shown);
        putRaw(" | ");
        // The values are numbers and the status one of a few marks of our
        // own ("~" alone strikes nothing through): as they are.
        putRaw(shown);
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
    for (std::int32_t i = 0; i < layout.columnCount; ++i) {
        putRaw(" ");
        putHeadingText(layout.columns[i], putRaw);
        putRaw(" |");
    }
    putRaw("\n|");
    for (std::int32_t i = 0; i < layout.columnCount; ++i)
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

void printMarkdown(const Table& table) {
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
}
