// The report's rows as CSV (RFC 4180) and JSON, for scripts and
// spreadsheets: the same rows in the same order, with full names and plain
// numbers.
#include "export.h"

#include "print.h"
#include "runtime.h"

#include <cstring>

namespace {

FILE* out() { return TL_handle(-1); }

}  // namespace

void putRaw(const char* text) { fwrite_unlocked(text, 1, std::strlen(text), out()); }

const char* countText(char (&room)[16], std::int32_t count) {
    *TL_formatNat(room, static_cast<std::uint32_t>(count), 0) = '\0';
    return room;
}

void putCsvField(const char* text) {
    if (std::strpbrk(text, ",\"\r\n") == nullptr) {
        putRaw(text);
        return;
    }
    putc_unlocked('"', out());
    for (; *text != '\0'; ++text) {
        if (*text == '"') putc_unlocked('"', out());
        putc_unlocked(*text, out());
    }
    putc_unlocked('"', out());
}

std::size_t utf8SequenceLength(const unsigned char* text) {
    const unsigned char lead = text[0];
    if (lead < 0x80) return 1;
    // The range of the second byte after each lead, the others 80 to BF.
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;  // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (text[1] < low || text[1] > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (text[i] < 0x80 || text[i] > 0xBF) return 0;
    return length;
}

const char* putNonAscii(const char* text) {
    const std::size_t length = utf8SequenceLength(reinterpret_cast<const unsigned char*>(text));
    if (length == 0) {
        putRaw("\xEF\xBF\xBD");  // U+FFFD, the replacement character
        return text + 1;
    }
    fwrite_unlocked(text, 1, length, out());
    return text + length;
}

void putJsonString(const char* text) {
    putc_unlocked('"', out());
    while (*text != '\0') {
        const unsigned char c = static_cast<unsigned char>(*text);
        if (c >= 0x80) {
            text = putNonAscii(text);
            continue;
        }
        ++text;
        if (c == '"' || c == '\\') {
            putc_unlocked('\\', out());
            putc_unlocked(static_cast<char>(c), out());
        } else if (c < 0x20) {
            static const char hex[] = "0123456789abcdef";
            const char escape[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15], '\0'};
            putRaw(escape);
        } else {
            putc_unlocked(static_cast<char>(c), out());
        }
    }
    putc_unlocked('"', out());
}

// A number as JSON: the text itself (JSON numbers take no plus sign), or
// null when there is none.
void putJsonNumber(const char* text) {
    if (text[0] == '+') ++text;
    putRaw(text[0] == '\0' ? "null" : text);
}

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

}  // namespace

void printCsv(const Table& table) {
    const Layout& layout = *table.layout;
    for (std::int32_t i = 0; i < layout.columnCount; ++i) {
        if (i > 0) putRaw(",");
        putRaw(layout.columns[i].name);
    }
    putRunFields(table, true);
    putRaw("\r\n");
    Rows rows;
    for (startRows(table, rows); nextRows(table, rows);)
        for (std::int32_t k = 0; k < rows.count; ++k) {
            const Row& row = rows.row[k];
            putCsvField(row.name);
            for (std::int32_t i = 1; i < layout.columnCount; ++i) {
                putRaw(",");
                putRaw(valueOf(table, row, i));
            }
            putRunFields(table, false);
            putRaw("\r\n");
        }
}

namespace {

// A row's members after its name: numbers, and the status as text; or
// those of the total, which has neither name nor status.
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

}  // namespace

void printJson(const Table& table) {
    putRaw("{\"kind\": ");
    putJsonString(table.kind);
    putRaw(", \"criterion\": ");
    putJsonString(table.criterion);
    putRaw(", \"file\": ");
    putJsonString(table.fileName);
    if (table.comparison) {
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

void putMarkdownText(const char* text) {
    while (*text != '\0') {
        if (static_cast<unsigned char>(*text) >= 0x80) {
            text = putNonAscii(text);
            continue;
        }
        const char c = *text++;
        if (c == '<') {
            putRaw("&lt;");
            continue;
        }
        if (std::strchr("|`*_\\[]", c) != nullptr) putc_unlocked('\\', out());
        putc_unlocked(c, out());
    }
}

namespace {

void putMarkdownRow(const Table& table, const Row& row) {
    putRaw("| ");
    putMarkdownText(row.name);
    for (std::int32_t i = 1; i < table.layout->columnCount; ++i) {
        char shown[valueRoom + 2];
        shownValue(table, row, i, shown);
        putRaw(" | ");
        putMarkdownText(shown);
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
    if (table.tested) {
        putRaw(style.noise);
        style.text(noiseLegend);
        putRaw(style.interval);
        style.text(intervalLegend);
        putRaw(".");
    }
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
                               .noise = "\n`~`: ",
                               .interval = ". CI LOW, CI HIGH: ",
                               .close = "\n\n",
                               .lineBreak = "\n"};
    putRunsCaption(table, caption);
    putMarkdownHeadings(*table.layout);
    Rows rows;
    for (startRows(table, rows); nextRows(table, rows);)
        for (std::int32_t k = 0; k < rows.count; ++k) putMarkdownRow(table, rows.row[k]);
    if (table.hasTotal) putMarkdownRow(table, table.total);
}
