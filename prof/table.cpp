#include "table.h"

#include <cstring>

void startRows(const Table&, Rows& rows) {
    rows.next = rows.made = rows.count = 0;
    rows.pool = TextPool{rows.text, 0};
}

bool nextRows(const Table& table, Rows& rows) {
    rows.count = 0;
    rows.pool.used = 0;
    const std::int32_t top = table.topRows;
    if (top == 0 || rows.made < top) table.fill(table.source, rows);
    // -top counts the rows made, over all batches.
    if (top != 0 && rows.made + rows.count > top) rows.count = top - rows.made;
    rows.made += rows.count;
    return rows.count > 0;
}

void setKey(TextPool& pool, Row& row, const char* key) {
    char* p = pool.text + pool.used;
    row.key = p;
    const std::size_t length = std::strlen(key);
    std::memcpy(p, key, length + 1);
    pool.used += length + 1;
}

char* headingTextOf(const Column& column, char* room) {
    const char* name = column.field == Field::changePercent ? "change%" : column.name;
    std::size_t n = 0;
    for (const char* c = name; *c != '\0' && n + 1 < static_cast<std::size_t>(valueRoom); ++c)
        room[n++] = *c == '_' ? ' ' : *c >= 'a' && *c <= 'z' ? static_cast<char>(*c - 32) : *c;
    room[n] = '\0';
    return room;
}

void putHeadingText(const Column& column, void (*put)(const char* text)) {
    char text[valueRoom];
    put(headingTextOf(column, text));
}

namespace {

// Where value i of a row starts: after the others and their zero bytes
// (the name and status columns have none).
const char* textOf(const Table& t, const Row& row, std::int32_t i) {
    const char* p = row.texts;
    for (std::int32_t j = 1; j < i; ++j)
        if (hasText(t.layout->columns[j].field)) p = textAfter(row, j, p);
    return p;
}

}  // namespace

const char* valueOf(const Table& t, const Row& row, std::int32_t i) {
    switch (t.layout->columns[i].field) {
    case Field::name: return row.name;
    case Field::status: return row.status;
    case Field::at: return row.at;
    default: return textOf(t, row, i);
    }
}

void shownValue(const Table& t, const Row& row, std::int32_t i, char* shown) {
    const char* value = valueOf(t, row, i);
    std::size_t length = std::strlen(value);
    if (length > static_cast<std::size_t>(valueRoom)) length = valueRoom;
    std::memcpy(shown, value, length);
    if (shownAsPercent(t.layout->columns[i].field) && length != 0) shown[length++] = '%';
    shown[length] = '\0';
}
