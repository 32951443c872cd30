#include "profile.h"

#include "extended.h"

#include <cstring>

namespace {

constexpr std::int32_t stdoutStream = -1;
constexpr std::int32_t pctWidth = 4;
constexpr std::int32_t percentWidth = 3;  // the number before the "%"
constexpr std::int32_t callsWidth = 8;
constexpr std::int32_t matchedWidth = 10;
constexpr std::int32_t counterWidth = 12;
constexpr std::int32_t efficiencyDigits = 3;
constexpr std::int32_t perCallWidth = 9;
constexpr std::int32_t cyclesTotalWidth = 15;
constexpr std::int32_t cyclesPerCallWidth = 12;

const char* const parseHeader[] = {
    "     NAME                      PCT    CALLS    MATCHED     CELLS       NODES       TIME      CYCLES   BACKTRACKS  EFFICIENCY",
    "     ----                      ---    -----     -----      -----       -----      ------    --------  ----------  ----------",
};
const char* const matchHeader[] = {
    "     NAME                      PCT    CALLS    MATCHED     CELLS       NODES       TIME     SEARCHES     MATCHES",
    "     ----                      ---    -----     -----      -----       -----      ------    --------     -------",
};
const char* const perCallParseTitle =
    "                                                              KID CELLS            TREE NODES             TIME                 PARSE CYCLES             BACKTRACK CYCLES   ";
const char* const perCallMatchTitle =
    "                                                              KID CELLS            TREE NODES             TIME                 SEARCH CYCLES               MATCH CYCLES    ";
const char* const perCallHeader[] = {
    "     NAME                      PCT    CALLS    MATCHED     total  per call      total  per call      total  per call         total     per call         total     per call ",
    "     ----                      ---    -----     -----      -----  --------      -----  --------      -----  --------         -----     --------         -----     -------- ",
};

void printHeader() {
    if (perCallLayout) {
        TL_putLine(stdoutStream, {parseProfile ? perCallParseTitle : perCallMatchTitle});
        for (const char* line : perCallHeader) TL_putLine(stdoutStream, {line});
    } else {
        for (const char* line : parseProfile ? parseHeader : matchHeader)
            TL_putLine(stdoutStream, {line});
    }
}

char* putTotalAndPerCall(char* p, std::uint32_t total, std::uint32_t calls,
                         std::int32_t totalWidth, std::int32_t perCall) {
    p = TL_formatNat(p, total, totalWidth);
    return TL_formatNat(p, total / calls, perCall);
}

// A row is built whole and written at once. Every field is at most a few
// characters wider than its width, so a row stays well inside the buffer.
void printRow(const ProfileEntry& entry, FILE* out) {
    char row[512];
    char* p = row;
    TL_string name;
    cutName(name, entry.name);
    p = TL_formatText(p, name, nameWidth);

    if (percentBase == 0) {
        p = TL_formatText(p, "", pctWidth);
    } else {
        p = TL_formatInt(p, percentOf(orderKey(entry), percentBase), percentWidth);
        *p++ = '%';
    }
    p = TL_formatNat(p, entry.calls, callsWidth);
    p = TL_formatNat(p, entry.matched, matchedWidth);

    if (perCallLayout) {
        p = putTotalAndPerCall(p, entry.kidCells, entry.calls, counterWidth, perCallWidth);
        p = putTotalAndPerCall(p, entry.treeNodes, entry.calls, counterWidth, perCallWidth);
        p = putTotalAndPerCall(p, entry.time, entry.calls, counterWidth, perCallWidth);
        p = putTotalAndPerCall(p, entry.cycles, entry.calls, cyclesTotalWidth, cyclesPerCallWidth);
        p = putTotalAndPerCall(p, entry.backtracks, entry.calls, cyclesTotalWidth,
                               cyclesPerCallWidth);
    } else {
        p = TL_formatNat(p, entry.kidCells, counterWidth);
        p = TL_formatNat(p, entry.treeNodes, counterWidth);
        p = TL_formatNat(p, entry.time, counterWidth);
        p = TL_formatNat(p, entry.cycles, counterWidth);
        p = TL_formatNat(p, entry.backtracks, counterWidth);
        if (parseProfile)
            p = TL_formatReal(p, efficiencyOf(entry), counterWidth, efficiencyDigits);
    }
    *p++ = '\n';
    fwrite_unlocked(row, 1, static_cast<std::size_t>(p - row), out);
}

}  // namespace

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

std::int32_t reportedRows(Position rows[]) {
    std::int32_t count = 0;
    for (std::int32_t k = 0; k < entryCount && (topRows == 0 || count < topRows); ++k)
        if (entries[order[k]].calls != 0) rows[count++] = order[k];
    return count;
}

void printReport() {
    printHeader();
    FILE* out = TL_handle(stdoutStream);
    static Position rows[maxEntries];
    const std::int32_t count = reportedRows(rows);
    for (std::int32_t k = 0; k < count; ++k) printRow(entries[rows[k]], out);
}

std::int32_t forEachRow(void (*row)(std::int32_t k, const ProfileEntry& entry, RowValues values)) {
    static Position rows[maxEntries];
    const std::int32_t count = reportedRows(rows);
    char values[maxColumns][valueRoom];
    for (std::int32_t k = 0; k < count; ++k) {
        columnValues(entries[rows[k]], values);
        row(k, entries[rows[k]], values);
    }
    return count;
}

std::int32_t columnNames(const char* names[maxColumns]) {
    static const char* const normalParse[] = {"name",  "pct",  "calls", "matched",
                                              "cells", "nodes", "time", "cycles",
                                              "backtracks", "efficiency"};
    static const char* const normalMatch[] = {"name",  "pct",   "calls", "matched", "cells",
                                              "nodes", "time", "searches", "matches"};
    static const char* const perCallParse[] = {
        "name", "pct", "calls", "matched", "kid_cells_total", "kid_cells_per_call",
        "tree_nodes_total", "tree_nodes_per_call", "time_total", "time_per_call",
        "parse_cycles_total", "parse_cycles_per_call", "backtrack_cycles_total",
        "backtrack_cycles_per_call"};
    static const char* const perCallMatch[] = {
        "name", "pct", "calls", "matched", "kid_cells_total", "kid_cells_per_call",
        "tree_nodes_total", "tree_nodes_per_call", "time_total", "time_per_call",
        "search_cycles_total", "search_cycles_per_call", "match_cycles_total",
        "match_cycles_per_call"};
    const char* const* chosen = perCallLayout ? (parseProfile ? perCallParse : perCallMatch)
                                              : (parseProfile ? normalParse : normalMatch);
    const std::int32_t count = perCallLayout ? 14 : parseProfile ? 10 : 9;
    for (std::int32_t i = 0; i < count; ++i) names[i] = chosen[i];
    return count;
}

// The values in the order of columnNames; the name column is left to the
// caller, which has the name whole.
void columnValues(const ProfileEntry& entry, char values[maxColumns][valueRoom]) {
    std::int32_t i = 1;
    auto number = [&](std::uint32_t value) { *TL_formatNat(values[i++], value, 0) = '\0'; };
    values[0][0] = '\0';
    if (percentBase == 0)
        values[i++][0] = '\0';
    else
        *TL_formatInt(values[i++], percentOf(orderKey(entry), percentBase), 0) = '\0';
    number(entry.calls);
    number(entry.matched);
    const std::uint32_t counters[] = {entry.kidCells, entry.treeNodes, entry.time, entry.cycles,
                                      entry.backtracks};
    for (std::uint32_t counter : counters) {
        number(counter);
        if (perCallLayout) number(counter / entry.calls);
    }
    if (parseProfile && !perCallLayout)
        *TL_formatReal(values[i], efficiencyOf(entry), 0, efficiencyDigits) = '\0';
}
