// qavprof: a loaded profile, its records and what its header says it is.
// Loading (load.h), ordering (order.h) and merging (merge.h) work on it;
// what a report shows is computed from it into a table (table.h).
#pragma once

#include "options.h"
#include "runtime.h"

#include <cstdint>

// One record of the profile file, its counters in file order: 32-bit
// numbers in a file, and their exact sums when runs are merged.
struct ProfileEntry {
    const char* name;
    std::uint64_t calls;
    std::uint64_t matched;
    std::uint64_t cycles;      // parse cycles, or search cycles in a match profile
    std::uint64_t backtracks;  // backtrack cycles, or match cycles
    std::uint64_t time;
    std::uint64_t treeNodes;
    std::uint64_t kidCells;
};

// What the header line says a file is.
enum class ProfileKind { unknown, parse, match };

// The kind's name in messages and in every format: "parse" or "match".
constexpr const char* kindName(ProfileKind kind) {
    return kind == ProfileKind::parse ? "parse" : "match";
}
// The kind the options read every file as.
constexpr ProfileKind kindReadAs(const Options& options) {
    return options.parseProfile ? ProfileKind::parse : ProfileKind::match;
}

constexpr std::int32_t maxEntries = 4096;
using Position = std::uint16_t;
static_assert(maxEntries <= 65535, "positions fit 16 bits");

// A loaded profile. Positions 1 to entryCount are in use, in file order;
// order[0..entryCount-1] holds them in report order. The names live in
// the profile's own pool. About 1.2 MB: the program allocates its
// profiles.
struct Profile {
    ProfileEntry entries[maxEntries + 1];
    std::int32_t entryCount;
    Position order[maxEntries];
    bool moreRecords;  // the file held more records than maxEntries
    // The line of the first record that is not a name and seven counters
    // (a word where a number stands, a record cut short), or 0.
    std::int32_t oddLine;
    // A zero byte or a word of a megabyte: no profile, and not read on.
    bool binary;
    ProfileKind kind;
    std::size_t namesUsed;
    char names[maxEntries * TL_stringSize];
};

