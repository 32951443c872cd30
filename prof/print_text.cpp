// The fixed-width text that reports and comparisons share: the layout's
// heading lines, then a line a row, each value right-aligned in its
// column's field and never cut, a comparison's status at the end.
#include "print.h"

#include "escapes.h"
#include "messages.h"
#include "runtime.h"

#include <cstdlib>
#include <cstring>

namespace {

// A point's name in its field: a control character in it (a line break
// in a folder's name) shown as "?", so that a row stays one line.
char* putName(char* p, const char* name, std::int32_t& length) {
    for (const char* c = name; *c != '\0'; ++c, ++length) {
        const auto byte = static_cast<unsigned char>(*c);
        *p++ = byte < 0x20 || byte == 0x7F ? '?' : static_cast<char>(byte);
    }
    return p;
}

// A gradual change's field reads "c10..c20": where it starts and ends.
char* putPoint(char* p, const char* name, const char* until, std::int32_t width) {
    *p++ = ' ';
    std::int32_t length = 0;
    p = putName(p, name, length);
    if (until != nullptr) {
        *p++ = '.';
        *p++ = '.';
        length += 2;
        p = putName(p, until, length);
    }
    for (; length < width; ++length) *p++ = ' ';
    return p;
}

// A row is built whole and written at once. Every field is at most a few
// characters wider than its width, so a row stays well inside the buffer
// (a history's point is as long as its longest).
void printRow(const Table& t, const Row& row, FILE* out, char* line) {
    TL_string name;
    cutName(name, row.name);
    char* p = TL_formatText(line, name, nameWidth);
    // The values in turn, as shownValue shows them: right-aligned in their
    // fields, never cut.
    const char* text = row.texts;
    for (std::int32_t i = 1; i < shownColumns(*t.layout); ++i) {
        const Column& column = t.layout->columns[i];
        // The status comes at the end of the line.
        if (column.field == Field::status) continue;
        if (column.field == Field::at) {
            p = putPoint(p, row.at, row.until, t.atWidth);
            continue;
        }
        const std::size_t length = row.length[i];
        const bool percent = shownAsPercent(column.field) && length != 0;
        std::int64_t pad = column.width - static_cast<std::int64_t>(length) - percent;
        // A comparison's value wider than its field keeps a blank before
        // it, so that its row can still be read and split; the report's
        // layout runs such values together, as it always has.
        if ((t.comparison || t.history) && pad < 1) pad = 1;
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
    if (row.runs != nullptr) p = TL_formatText(TL_formatText(p, "  ", 0), row.runs, 0);
    // A history's line ends at its last value, blank ones dropped.
    if (t.history)
        while (p > line && p[-1] == ' ') --p;
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

// Where a heading (or its rule) of length ends: a name's and a point's
// start their fields, the name's at nameIndent moved by its shift; the
// others end theirs, moved by shift.
std::int32_t headingEnd(const Column& column, std::int32_t start, std::int32_t end, std::int32_t length,
                        std::int32_t shift) {
    if (column.field == Field::name) return nameIndent + column.heading.shift + length;
    if (column.field == Field::at) return start + 1 + length;
    return end + shift;
}

void putHeadingLine(const Table& t, HeadingLine which) {
    const Layout& layout = *t.layout;
    char* const line = allocateArray<char>(1024 + static_cast<std::size_t>(t.atWidth));
    std::memset(line, ' ', 1024 + static_cast<std::size_t>(t.atWidth));
    std::int32_t used = 0, end = 0;
    for (std::int32_t i = 0; i < shownColumns(layout); ++i) {
        const Column& column = layout.columns[i];
        const std::int32_t start = end;
        end += column.field == Field::at ? 1 + t.atWidth : column.width;
        const Heading& h = column.heading;
        if (column.field == Field::status) continue;  // at the end of the row
        char room[valueRoom];
        const char* const text = h.text != nullptr ? h.text : headingTextOf(column, room);
        const auto length = static_cast<std::int32_t>(std::strlen(text));
        if (which == HeadingLine::headings) putAt(line, headingEnd(column, start, end, length, h.shift), text, length, used);
        if (which == HeadingLine::rules) {
            const std::int32_t dashes = h.rule != 0 ? h.rule : length;
            char rule[valueRoom + 1];
            std::memset(rule, '-', static_cast<std::size_t>(dashes));
            putAt(line, headingEnd(column, start, end, dashes, h.ruleShift), rule, dashes, used);
        }
        if (which == HeadingLine::groups && h.group != nullptr)
            putAt(line, end + h.groupShift, h.group, static_cast<std::int32_t>(std::strlen(h.group)), used);
    }
    if (layout.lineWidth > used) used = layout.lineWidth;
    line[used] = '\0';
    TL_putLine(TL_stdoutStream, {line});
    std::free(line);
}

bool hasGroups(const Layout& layout) {
    for (std::int32_t i = 0; i < shownColumns(layout); ++i)
        if (layout.columns[i].heading.group != nullptr) return true;
    return false;
}

}  // namespace

void putShiftLines(const Table& t, const char* before, const char* after, void (*text)(const char*)) {
    for (std::int32_t k = 0; k < t.shiftCount; ++k) {
        putRaw(before);
        const HistoryShift& s = t.shifts[k];
        const char* const pieces[] = {"Shift of every rule at ", s.at, ": ", s.text[0], "% (95% interval ",
                                      s.text[1], "% to ", s.text[2], "%); the rules' changes are measured beyond it"};
        for (const char* piece : pieces) text(piece);
        putRaw(after);
    }
}

void printText(const Table& t) {
    if (hasGroups(*t.layout)) putHeadingLine(t, HeadingLine::groups);
    putHeadingLine(t, HeadingLine::headings);
    putHeadingLine(t, HeadingLine::rules);
    FILE* out = TL_handle(TL_stdoutStream);
    const std::size_t room = maxColumns * (valueRoom + 16) + 2 * TL_stringSize + 16 + static_cast<std::size_t>(t.atWidth);
    char* const line = allocateArray<char>(room);
    Rows rows;
    for (startRows(t, rows); nextRows(t, rows);)
        for (std::int32_t k = 0; k < rows.count; ++k) printRow(t, rows.row[k], out, line);
    if (t.hasTotal) printRow(t, t.total, out, line);
    std::free(line);
    putShiftLines(t, "", "\n", putRaw);
}
