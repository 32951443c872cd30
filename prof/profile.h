// qavprof's state: the options, the entries loaded from the profile file,
// and the routines that load, order and report them.
#pragma once

#include "runtime.h"

#include <cstdint>

enum class OrderBy { time, space, calls, cycles, efficiency };

// One record of the profile file, its counters in file order.
struct ProfileEntry {
    TL_string name;
    std::uint32_t calls;
    std::uint32_t matched;
    std::uint32_t cycles;      // parse cycles, or search cycles in a match profile
    std::uint32_t backtracks;  // backtrack cycles, or match cycles
    std::uint32_t time;
    std::uint32_t treeNodes;
    std::uint32_t kidCells;
};
static_assert(sizeof(ProfileEntry) == 284, "a record is 284 bytes in every build");

constexpr std::int32_t maxEntries = 4096;

// Options, set from the command line before anything is read.
extern OrderBy orderBy;
extern bool parseProfile;
extern bool perCallLayout;
extern std::int32_t profileStream;

// Positions 1 to entryCount are in use; position 0 is not.
extern ProfileEntry entries[maxEntries + 1];
extern std::int32_t entryCount;
extern std::uint32_t percentBase;

// Loading (load.cpp).
// Reads the header line and up to maxEntries records from stream s.
void loadProfile(std::int32_t s);
// "list__x", and in a parse profile "repeat__x", become "list x", "repeat x".
void rewriteName(char* name);

// Ordering (order.cpp).
// The key an entry is ordered by under time, space, calls and cycles.
std::uint32_t orderKey(const ProfileEntry& entry);
// treeNodes / cycles * 100 in extended precision; 0 when cycles is 0.
double efficiencyOf(const ProfileEntry& entry);
// Puts entries 1..entryCount in report order: stable, largest key first
// (smallest efficiency first), as an exchange sort of them would.
void orderEntries();
void setPercentBase();

// Report (report.cpp).
// value / base * 100 in extended precision, truncated toward zero.
std::int32_t percentOf(std::uint32_t value, std::uint32_t base);
void printReport();
