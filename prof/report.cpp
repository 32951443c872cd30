// The report: its layouts, its rows as a table, and the fixed-width text
// printer that reports and comparisons share.
#include "table.h"

#include "extended.h"

#include <cstring>

namespace {

constexpr std::int32_t stdoutStream = -1;
constexpr std::int32_t pctWidth = 4;
constexpr std::int32_t callsWidth = 8;
constexpr std::int32_t matchedWidth = 10;
constexpr std::int32_t counterWidth = 12;
constexpr std::int32_t perCallWidth = 9;
constexpr std::int32_t cyclesTotalWidth = 15;
constexpr std::int32_t cyclesPerCallWidth = 12;
constexpr std::int32_t efficiencyDigits = 3;

using E = ProfileEntry;

// The columns of the normal layout; the two kinds name the cycle counters
// apart.
#define QAV_NORMAL_COLUMNS(cyclesName, backtracksName)                  \
    {"name", Field::name, nullptr, nameWidth},                     \
        {"pct", Field::percent, nullptr, pctWidth},                \
        {"calls", Field::counter, &E::calls, callsWidth},          \
        {"matched", Field::counter, &E::matched, matchedWidth},    \
        {"cells", Field::counter, &E::kidCells, counterWidth},     \
        {"nodes", Field::counter, &E::treeNodes, counterWidth},    \
        {"time", Field::counter, &E::time, counterWidth},          \
        {cyclesName, Field::counter, &E::cycles, counterWidth},    \
        {backtracksName, Field::counter, &E::backtracks, counterWidth}

constexpr Column parseColumns[] = {
    QAV_NORMAL_COLUMNS("cycles", "backtracks"),
    {"efficiency", Field::efficiency, nullptr, counterWidth},
};
constexpr Column matchColumns[] = {QAV_NORMAL_COLUMNS("searches", "matches")};

// The per-call layout: each counter's total and per-call value.
#define QAV_PER_CALL(name, member, totalWidth, perCallFieldWidth)            \
    {name "_total", Field::counter, &E::member, totalWidth},                 \
        {name "_per_call", Field::perCall, &E::member, perCallFieldWidth}
#define QAV_PER_CALL_COLUMNS(cyclesName, backtracksName)                                 \
    {"name", Field::name, nullptr, nameWidth},                                       \
        {"pct", Field::percent, nullptr, pctWidth},                                  \
        {"calls", Field::counter, &E::calls, callsWidth},                            \
        {"matched", Field::counter, &E::matched, matchedWidth},                      \
        QAV_PER_CALL("kid_cells", kidCells, counterWidth, perCallWidth),             \
        QAV_PER_CALL("tree_nodes", treeNodes, counterWidth, perCallWidth),           \
        QAV_PER_CALL("time", time, counterWidth, perCallWidth),                      \
        QAV_PER_CALL(cyclesName, cycles, cyclesTotalWidth, cyclesPerCallWidth),      \
        QAV_PER_CALL(backtracksName, backtracks, cyclesTotalWidth, cyclesPerCallWidth)

constexpr Column perCallParseColumns[] = {QAV_PER_CALL_COLUMNS("parse_cycles", "backtrack_cycles")};
constexpr Column perCallMatchColumns[] = {QAV_PER_CALL_COLUMNS("search_cycles", "match_cycles")};

template <std::size_t n>
constexpr std::int32_t count(const Column (&)[n]) {
    return static_cast<std::int32_t>(n);
}

constexpr char perCallHeading[] =
    "     NAME                      PCT    CALLS    MATCHED     total  per call      total  per call      total  per call         total     per call         total     per call ";
constexpr char perCallRule[] =
    "     ----                      ---    -----     -----      -----  --------      -----  --------      -----  --------         -----     --------         -----     -------- ";

const Layout parseLayout{parseColumns, count(parseColumns), {
    "     NAME                      PCT    CALLS    MATCHED     CELLS       NODES       TIME      CYCLES   BACKTRACKS  EFFICIENCY",
    "     ----                      ---    -----     -----      -----       -----      ------    --------  ----------  ----------",
    nullptr}};
const Layout matchLayout{matchColumns, count(matchColumns), {
    "     NAME                      PCT    CALLS    MATCHED     CELLS       NODES       TIME     SEARCHES     MATCHES",
    "     ----                      ---    -----     -----      -----       -----      ------    --------     -------",
    nullptr}};
const Layout perCallParseLayout{perCallParseColumns, count(perCallParseColumns), {
    "                                                              KID CELLS            TREE NODES             TIME                 PARSE CYCLES             BACKTRACK CYCLES   ",
    perCallHeading, perCallRule}};
const Layout perCallMatchLayout{perCallMatchColumns, count(perCallMatchColumns), {
    "                                                              KID CELLS            TREE NODES             TIME                 SEARCH CYCLES               MATCH CYCLES    ",
    perCallHeading, perCallRule}};

static_assert(count(perCallParseColumns) <= maxColumns, "every layout fits a row");

// The storage of the report last built: the table, and its batch's texts.
Table table;
char pool[batchRows * (maxColumns + 1) * valueRoom];

// A number's digits, straight into place.
char* putNumber(char* p, std::uint64_t value) {
    std::int32_t digits = 1;
    for (std::uint64_t rest = value; rest >= 10; rest /= 10) ++digits;
    char* end = p + digits;
    if (value <= 0xFFFFFFFFu) {
        // In 32 bits, which a 32-bit build divides without calls.
        for (auto rest = static_cast<std::uint32_t>(value); p != end; rest /= 10)
            *--end = static_cast<char>('0' + rest % 10);
    } else {
        for (; p != end; value /= 10) *--end = static_cast<char>('0' + value % 10);
    }
    return p + digits;
}

}  // namespace

// ---- Tables ----------------------------------------------------------------

void beginRow(Table& t, Row& row, const char* name, const char* status) {
    row.name = name;
    row.status = status;
    row.key = "";
    row.texts = t.pool + t.poolUsed;
}

char* valueRoomFor(Table& t) { return t.pool + t.poolUsed; }

void endValue(Table& t, Row& row, std::int32_t i, char* end) {
    *end = '\0';
    row.length[i] = static_cast<std::uint8_t>(end - (t.pool + t.poolUsed));
    t.poolUsed = static_cast<std::size_t>(end + 1 - t.pool);
}

namespace {

// Where value i of a row starts: after the others and their zero bytes
// (the name column has none).
const char* textOf(const Table& t, const Row& row, std::int32_t i) {
    const char* p = row.texts;
    for (std::int32_t j = 1; j < i; ++j)
        if (t.layout->columns[j].field != Field::status) p += row.length[j] + 1;
    return p;
}

}  // namespace

void setKey(Table& t, Row& row, const char* key) {
    char* p = t.pool + t.poolUsed;
    row.key = p;
    const std::size_t length = std::strlen(key);
    std::memcpy(p, key, length + 1);
    t.poolUsed += length + 1;
}

void putHeadingText(const Column& column, void (*put)(const char* text)) {
    const char* name = column.field == Field::changePercent ? "change%" : column.name;
    for (const char* c = name; *c != '\0'; ++c) {
        const char upper[2] = {*c == '_' ? ' ' : *c >= 'a' && *c <= 'z' ? static_cast<char>(*c - 32) : *c,
                               '\0'};
        put(upper);
    }
}

const char* valueOf(const Table& t, const Row& row, std::int32_t i) {
    switch (t.layout->columns[i].field) {
    case Field::name: return row.name;
    case Field::status: return row.status;
    default: return textOf(t, row, i);
    }
}

void shownValue(const Table& t, const Row& row, std::int32_t i, char* shown) {
    const char* value = valueOf(t, row, i);
    std::size_t length = std::strlen(value);
    if (length > static_cast<std::size_t>(valueRoom)) length = valueRoom;
    std::memcpy(shown, value, length);
    const Field field = t.layout->columns[i].field;
    if ((field == Field::percent || field == Field::changePercent) && length != 0)
        shown[length++] = '%';
    shown[length] = '\0';
}

std::int32_t percentOf(std::uint64_t value, std::uint64_t base) {
    const TL_Extended share = TL_divide(TL_extendedOf(value), TL_extendedOf(base));
    return static_cast<std::int32_t>(
        TL_truncate(TL_multiply(share, TL_extendedOf(std::uint64_t{100}))));
}

void cutName(char* cut, const char* name) {
    std::int32_t i = 0;
    for (; i < nameWidth && name[i] != '\0'; ++i) cut[i] = name[i];
    cut[i] = '\0';
}

void startRows(Table& t) { t.next = t.made = 0; }

bool nextRows(Table& t) {
    t.rowCount = 0;
    t.poolUsed = 0;
    const std::int32_t top = t.options->topRows;
    if (top == 0 || t.made < top) t.fill(t);
    // -top counts the rows made, over all batches.
    if (top != 0 && t.made + t.rowCount > top) t.rowCount = top - t.made;
    t.made += t.rowCount;
    return t.rowCount > 0;
}

namespace {

// The next batch of the report: entries with calls, in report order; next
// counts the entries looked at.
void fillReport(Table& t) {
    const Profile& profile = *t.profile;
    const Options& options = *t.options;
    const Layout& layout = *t.layout;
    const std::uint64_t base = percentBaseOf(profile, options);
    for (; t.next < profile.entryCount && t.rowCount < batchRows; ++t.next) {
        const ProfileEntry& entry = profile.entries[profile.order[t.next]];
        if (entry.calls == 0) continue;
        Row& row = t.rows[t.rowCount++];
        beginRow(t, row, entry.name, "");
        // Worked out once for the column and the key.
        const bool needed = options.parseProfile || options.orderBy == OrderBy::efficiency;
        const double efficiency = needed ? efficiencyOf(entry) : 0;
        for (std::int32_t i = 1; i < layout.columnCount; ++i) {
            const Column& column = layout.columns[i];
            char* p = valueRoomFor(t);
            switch (column.field) {
            case Field::percent:
                if (base != 0) p = TL_formatInt(p, percentOf(orderKey(entry, options), base), 0);
                break;
            case Field::counter: p = putNumber(p, entry.*column.counter); break;
            case Field::perCall: p = putNumber(p, entry.*column.counter / entry.calls); break;
            case Field::efficiency: p = TL_formatReal(p, efficiency, 0, efficiencyDigits); break;
            default: break;
            }
            endValue(t, row, i, p);
        }
        char key[valueRoom];
        if (options.orderBy == OrderBy::efficiency)
            *TL_formatReal(key, efficiency, 0, efficiencyDigits) = '\0';
        else
            *putNumber(key, orderKey(entry, options)) = '\0';
        setKey(t, row, key);
    }
}

}  // namespace

Table& buildReport(const Profile& profile, const Options& options) {
    table.layout = options.perCallLayout
                       ? (options.parseProfile ? &perCallParseLayout : &perCallMatchLayout)
                       : (options.parseProfile ? &parseLayout : &matchLayout);
    table.comparison = false;
    table.kind = options.parseProfile ? "parse" : "match";
    table.criterion = criterionName(options.orderBy);
    table.fileName = options.profileName;
    table.oldFileName = nullptr;
    table.hasTotal = false;
    table.pool = pool;
    table.profile = &profile;
    table.runs = table.oldRuns = nullptr;
    table.options = &options;
    table.fill = fillReport;
    startRows(table);
    return table;
}

// ---- The fixed-width text ----------------------------------------------------

namespace {

// A row is built whole and written at once. Every field is at most a few
// characters wider than its width, so a row stays well inside the buffer.
void printRow(const Table& t, const Row& row, FILE* out) {
    char line[maxColumns * (valueRoom + 16) + 2 * TL_stringSize + 16];
    TL_string name;
    cutName(name, row.name);
    char* p = TL_formatText(line, name, nameWidth);
    const char* value = row.texts;
    for (std::int32_t i = 1; i < t.layout->columnCount; ++i) {
        const Column& column = t.layout->columns[i];
        // The status comes at the end of the line.
        if (column.field == Field::status) continue;
        // Right-aligned in its field, as a number is; never cut. Fields
        // and most values fit 16 bytes, copied whole (the line has room).
        const std::size_t length = row.length[i];
        const bool percent = (column.field == Field::percent ||
                              column.field == Field::changePercent) && length != 0;
        const std::int64_t pad = column.width - static_cast<std::int64_t>(length) - percent;
        static_assert(cyclesTotalWidth <= 16, "a field's blanks fit 16 bytes");
        if (pad > 0) {
            std::memset(p, ' ', 16);
            p += pad;
        }
        if (length <= 16 && value + 16 <= t.pool + t.poolUsed)
            std::memcpy(p, value, 16);
        else
            std::memcpy(p, value, length);
        p += length;
        if (percent) *p++ = '%';
        value += length + 1;
    }
    if (row.status[0] != '\0') p = TL_formatText(TL_formatText(p, "  ", 0), row.status, 0);
    *p++ = '\n';
    fwrite_unlocked(line, 1, static_cast<std::size_t>(p - line), out);
}

}  // namespace

void printText(Table& t) {
    for (const char* line : t.layout->lines)
        if (line != nullptr) TL_putLine(stdoutStream, {line});
    FILE* out = TL_handle(stdoutStream);
    for (startRows(t); nextRows(t);)
        for (std::int32_t k = 0; k < t.rowCount; ++k) printRow(t, t.rows[k], out);
    if (t.hasTotal) printRow(t, t.total, out);
}
