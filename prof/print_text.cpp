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
        std::int64_t pad = column.width - static_cast<std::int64_t>(length) - percent;
        // A comparison's value wider than its field keeps a blank before
        // it, so that its row can still be read and split; the report's
        // layout runs such values together, as it always has.
        if (t.comparison && pad < 1) pad = 1;
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

// The heading lines, made from the columns: a line of group headings
// where a column has one, the headings, and the rules under them. The
// fields are the layout's own, so a line stays well inside the buffer.
enum class HeadingLine { groups, headings, rules };

void putAt(char* line, std::int32_t end, const char* text, std::int32_t length, std::int32_t& used) {
    std::memcpy(line + end - length, text, static_cast<std::size_t>(length));
    if (end > used) used = end;
}

void putHeadingLine(const Layout& layout, HeadingLine which) {
    char line[1024];
    std::memset(line, ' ', sizeof line);
    std::int32_t used = 0, end = 0;
    for (std::int32_t i = 0; i < layout.columnCount; ++i) {
        const Column& column = layout.columns[i];
        end += column.width;
        const Heading& h = column.heading;
        if (column.field == Field::status) continue;  // at the end of the row
        char room[valueRoom];
        const char* const text = h.text != nullptr ? h.text : headingTextOf(column, room);
        const auto length = static_cast<std::int32_t>(std::strlen(text));
        const std::int32_t at = column.field == Field::name ? nameIndent + length : end + h.shift;
        if (which == HeadingLine::headings) putAt(line, at, text, length, used);
        if (which == HeadingLine::rules) {
            const std::int32_t dashes = h.rule != 0 ? h.rule : length;
            char rule[valueRoom + 1];
            std::memset(rule, '-', static_cast<std::size_t>(dashes));
            putAt(line, column.field == Field::name ? nameIndent + dashes : end + h.ruleShift, rule, dashes, used);
        }
        if (which == HeadingLine::groups && h.group != nullptr)
            putAt(line, end + h.groupShift, h.group, static_cast<std::int32_t>(std::strlen(h.group)), used);
    }
    if (layout.lineWidth > used) used = layout.lineWidth;
    line[used] = '\0';
    TL_putLine(stdoutStream, {line});
}

bool hasGroups(const Layout& layout) {
    for (std::int32_t i = 0; i < layout.columnCount; ++i)
        if (layout.columns[i].heading.group != nullptr) return true;
    return false;
}

}  // namespace

void printText(const Table& t) {
    if (hasGroups(*t.layout)) putHeadingLine(*t.layout, HeadingLine::groups);
    putHeadingLine(*t.layout, HeadingLine::headings);
    putHeadingLine(*t.layout, HeadingLine::rules);
    FILE* out = TL_handle(stdoutStream);
    Rows rows;
    for (startRows(t, rows); nextRows(t, rows);)
        for (std::int32_t k = 0; k < rows.count; ++k) printRow(t, rows.row[k], out);
    if (t.hasTotal) printRow(t, t.total, out);
}
