#include "profile.h"

#include <cstring>

namespace {

constexpr std::int32_t stdoutStream = -1;
constexpr std::int32_t nameWidth = 30;
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

void putLine(const char* text) {
    TL_putText(stdoutStream, text, 0);
    TL_putNewline(stdoutStream);
}

void printHeader() {
    if (perCallLayout) {
        putLine(parseProfile ? perCallParseTitle : perCallMatchTitle);
        for (const char* line : perCallHeader) putLine(line);
    } else {
        for (const char* line : parseProfile ? parseHeader : matchHeader) putLine(line);
    }
}

void putTotalAndPerCall(std::uint32_t total, std::uint32_t calls,
                        std::int32_t totalWidth, std::int32_t perCall) {
    TL_putNat(stdoutStream, total, totalWidth);
    TL_putNat(stdoutStream, total / calls, perCall);
}

void printRow(const ProfileEntry& entry) {
    TL_string name;
    std::int32_t length = static_cast<std::int32_t>(std::strlen(entry.name));
    TL_substring(name, length < nameWidth ? length : nameWidth, 1, entry.name);
    TL_putText(stdoutStream, name, nameWidth);

    if (percentBase == 0) {
        TL_putText(stdoutStream, "", pctWidth);
    } else {
        TL_putInt(stdoutStream, percentOf(orderKey(entry), percentBase), percentWidth);
        TL_putText(stdoutStream, "%", 0);
    }
    TL_putNat(stdoutStream, entry.calls, callsWidth);
    TL_putNat(stdoutStream, entry.matched, matchedWidth);

    if (perCallLayout) {
        putTotalAndPerCall(entry.kidCells, entry.calls, counterWidth, perCallWidth);
        putTotalAndPerCall(entry.treeNodes, entry.calls, counterWidth, perCallWidth);
        putTotalAndPerCall(entry.time, entry.calls, counterWidth, perCallWidth);
        putTotalAndPerCall(entry.cycles, entry.calls, cyclesTotalWidth, cyclesPerCallWidth);
        putTotalAndPerCall(entry.backtracks, entry.calls, cyclesTotalWidth, cyclesPerCallWidth);
    } else {
        TL_putNat(stdoutStream, entry.kidCells, counterWidth);
        TL_putNat(stdoutStream, entry.treeNodes, counterWidth);
        TL_putNat(stdoutStream, entry.time, counterWidth);
        TL_putNat(stdoutStream, entry.cycles, counterWidth);
        TL_putNat(stdoutStream, entry.backtracks, counterWidth);
        if (parseProfile)
            TL_putReal(stdoutStream, efficiencyOf(entry), counterWidth, efficiencyDigits);
    }
    TL_putNewline(stdoutStream);
}

}  // namespace

std::int32_t percentOf(std::uint32_t value, std::uint32_t base) {
    return static_cast<std::int32_t>(static_cast<long double>(value) / base * 100);
}

void printReport() {
    printHeader();
    for (std::int32_t p = 1; p <= entryCount; ++p)
        if (entries[p].calls != 0) printRow(entries[p]);
}
