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
    for (std::int32_t i = 1; i < t.layout->columnCount; ++i) {
        const Column& column = t.layout->columns[i];
        // The status comes at the end of the line.
        if (column.field == Field::status) continue;
        char shown[valueRoom + 2];
        shownValue(t, row, i, shown);
        const std::size_t length = std::strlen(shown);
        const std::int64_t pad = column.width - static_cast<std::int64_t>(length);
        if (pad > 0) {
            std::memset(p, ' ', static_cast<std::size_t>(pad));
            p += pad;
        }
        std::memcpy(p, shown, length);
        p += length;
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
