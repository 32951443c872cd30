// The report: its layouts, and its rows.
#include "report.h"

#include "extended.h"
#include "order.h"

namespace {

constexpr std::int32_t pctWidth = 4;
constexpr std::int32_t callsWidth = 8;
constexpr std::int32_t matchedWidth = 10;
constexpr std::int32_t counterWidth = 12;
constexpr std::int32_t perCallWidth = 9;
constexpr std::int32_t cyclesTotalWidth = 15;
constexpr std::int32_t cyclesPerCallWidth = 12;
constexpr std::int32_t efficiencyDigits = 3;

using E = ProfileEntry;

// The headings of the report stand as they always have, a few a column
// off their fields' ends, some with rules of their own length.
constexpr Heading callsHeading{.shift = 1, .ruleShift = 1};
constexpr Heading matchedHeading{.shift = 2, .rule = 5, .ruleShift = 1};
constexpr Heading timeHeading{.shift = -1, .rule = 6};
constexpr Heading parseCyclesHeading{.shift = -1, .rule = 8};

// The columns of the normal layout; the two kinds name the cycle counters
// apart.
#define QAV_NORMAL_COLUMNS(cyclesName, cyclesHeading, backtracksName)       \
    {"name", Field::name, nullptr, nameWidth},                             \
        {"pct", Field::percent, nullptr, pctWidth},                        \
        {"calls", Field::counter, &E::calls, callsWidth, callsHeading},    \
        {"matched", Field::counter, &E::matched, matchedWidth, matchedHeading}, \
        {"cells", Field::counter, &E::kidCells, counterWidth},             \
        {"nodes", Field::counter, &E::treeNodes, counterWidth},            \
        {"time", Field::counter, &E::time, counterWidth, timeHeading},     \
        {cyclesName, Field::counter, &E::cycles, counterWidth, cyclesHeading}, \
        {backtracksName, Field::counter, &E::backtracks, counterWidth}

constexpr Column parseColumns[] = {
    QAV_NORMAL_COLUMNS("cycles", parseCyclesHeading, "backtracks"),
    {"efficiency", Field::efficiency, nullptr, counterWidth},
};
constexpr Column matchColumns[] = {QAV_NORMAL_COLUMNS("searches", Heading{}, "matches")};

// The per-call layout: each counter's total and per-call value, under the
// counter's name on a line above, which stands where it always has.
#define QAV_PER_CALL(name, member, totalWidth, perCallFieldWidth, groupText, groupEnd) \
    {name "_total", Field::counter, &E::member, totalWidth, Heading{.text = "total"}}, \
        {name "_per_call", Field::perCall, &E::member, perCallFieldWidth,            \
         Heading{.text = "per call", .shift = 1, .ruleShift = 1, .group = groupText, .groupShift = groupEnd}}
#define QAV_PER_CALL_COLUMNS(cyclesName, cyclesGroup, cyclesShift, backtracksName, backtracksGroup, \
                             backtracksShift)                                                     \
    {"name", Field::name, nullptr, nameWidth},                                                   \
        {"pct", Field::percent, nullptr, pctWidth},                                              \
        {"calls", Field::counter, &E::calls, callsWidth, callsHeading},                          \
        {"matched", Field::counter, &E::matched, matchedWidth, matchedHeading},                  \
        QAV_PER_CALL("kid_cells", kidCells, counterWidth, perCallWidth, "KID CELLS", -2),        \
        QAV_PER_CALL("tree_nodes", treeNodes, counterWidth, perCallWidth, "TREE NODES", -1),     \
        QAV_PER_CALL("time", time, counterWidth, perCallWidth, "TIME", -5),                      \
        QAV_PER_CALL(cyclesName, cycles, cyclesTotalWidth, cyclesPerCallWidth, cyclesGroup, cyclesShift), \
        QAV_PER_CALL(backtracksName, backtracks, cyclesTotalWidth, cyclesPerCallWidth, backtracksGroup,  \
                     backtracksShift)

constexpr Column perCallParseColumns[] = {
    QAV_PER_CALL_COLUMNS("parse_cycles", "PARSE CYCLES", -3, "backtrack_cycles", "BACKTRACK CYCLES", -1)};
constexpr Column perCallMatchColumns[] = {
    QAV_PER_CALL_COLUMNS("search_cycles", "SEARCH CYCLES", -2, "match_cycles", "MATCH CYCLES", -2)};

// The per-call heading lines are padded with blanks to 171 characters, as
// they always were.
constexpr std::int32_t perCallLineWidth = 171;

const Layout parseLayout{parseColumns, columnCount(parseColumns), 0};
const Layout matchLayout{matchColumns, columnCount(matchColumns), 0};
const Layout perCallParseLayout{perCallParseColumns, columnCount(perCallParseColumns), perCallLineWidth};
const Layout perCallMatchLayout{perCallMatchColumns, columnCount(perCallMatchColumns), perCallLineWidth};

static_assert(columnCount(perCallParseColumns) <= maxColumns, "every layout fits a row");

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

std::int32_t percentOf(std::uint64_t value, std::uint64_t base) {
    const TL_Extended share = TL_divide(TL_extendedOf(value), TL_extendedOf(base));
    return static_cast<std::int32_t>(
        TL_truncate(TL_multiply(share, TL_extendedOf(std::uint64_t{100}))));
}

namespace {

// The next batch of the report: entries with calls, in report order; next
// counts the entries looked at.
void fillReport(const void* source, Rows& rows) {
    const Report& report = *static_cast<const Report*>(source);
    const Profile& profile = *report.profile;
    const Options& options = *report.options;
    const Layout& layout = *report.table.layout;
    const std::uint64_t base = report.percentBase;
    TextPool& t = rows.pool;
    for (; rows.next < profile.entryCount && rows.count < batchRows; ++rows.next) {
        const ProfileEntry& entry = profile.entries[profile.order[rows.next]];
        if (entry.calls == 0) continue;
        Row& row = rows.row[rows.count++];
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

void buildReport(const Runs& runs, const Options& options, Report& report) {
    const Profile& profile = *runs.merged;
    Table& table = report.table;
    table.layout = options.perCallLayout
                       ? (options.parseProfile ? &perCallParseLayout : &perCallMatchLayout)
                       : (options.parseProfile ? &parseLayout : &matchLayout);
    table.comparison = false;
    table.kind = kindName(kindReadAs(options));
    table.criterion = criterionName(options.orderBy);
    table.fileName = options.profileName;
    table.oldFileName = nullptr;
    table.fileNames = runs.names;
    table.runCount = runs.count;
    table.oldFileNames = nullptr;
    table.oldRunCount = 0;
    table.tested = false;
    table.shift[0] = table.shift[1] = table.shift[2] = nullptr;
    table.notes = nullptr;
    table.noteCount = 0;
    table.hasTotal = false;
    table.topRows = options.topRows;
    table.source = nullptr;  // tableOf's
    table.fill = fillReport;
    report.profile = &profile;
    report.options = &options;
    report.percentBase = percentBaseOf(profile, options);
}

Table tableOf(const Report& report) {
    Table table = report.table;
    table.source = &report;
    return table;
}
