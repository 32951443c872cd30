// The fixed-width text that reports and comparisons share: the layout's
// heading lines, then a line a row, each value right-aligned in its
// column's field and never cut, a comparison's status at the end.
#include "print.h"

#include "runtime.h"

#include <cstring>

namespace {

constexpr std::int32_t stdoutStream = -1;

// A row is built whole and written at once. Every field is at most a few
// characters wider than its width, so a row stays well inside the buffer.
void printRow(const Table& t, const Row& row, FILE* out) {
    char line[maxColumns * (valueRoom + 16) + 2 * TL_stringSize + 16];
    TL_string name;
    cutName(name, row.name);
    char* p = TL_formatText(line, name, nameWidth);
    // The values in turn, as shownValue shows them: right-aligned in their
    // fields, never cut.
    const char* text = row.texts;
    for (std::int32_t i = 1; i < t.layout->columnCount; ++i) {
        const Column& column = t.layout->columns[i];
        // The status comes at the end of the line.
        if (column.field == Field::status) continue;
        const std::size_t length = row.length[i];
        const bool percent = shownAsPercent(column.field) && length != 0;
        const std::int64_t pad = column.width - static_cast<std::int64_t>(length) - percent;
        // Blanks in one fixed-size store where they fit 16 bytes, as every
        // field's do (the line has room past them).
        if (pad > 16) std::memset(p, ' ', static_cast<std::size_t>(pad));
        else if (pad > 0) std::memset(p, ' ', 16);
        if (pad > 0) p += pad;
        std::memcpy(p, text, length);
        p += length;
        if (percent) *p++ = '%';
        text = textAfter(row, i, text);
    }
    if (row.status[0] != '\0') p = TL_formatText(TL_formatText(p, "  ", 0), row.status, 0);
    *p++ = '\n';
    fwrite_unlocked(line, 1, static_cast<std::size_t>(p - line), out);
}

}  // namespace

void printText(const Table& t) {
    for (const char* line : t.layout->lines)
        if (line != nullptr) TL_putLine(stdoutStream, {line});
    FILE* out = TL_handle(stdoutStream);
    Rows rows;
    for (startRows(t, rows); nextRows(t, rows);)
        for (std::int32_t k = 0; k < rows.count; ++k) printRow(t, rows.row[k], out);
    if (t.hasTotal) printRow(t, t.total, out);
}
