// qavprof: the options of a run, a loaded profile, and the routines that
// load and order profiles. What a report shows is computed from these into
// a table (table.h).
#pragma once

#include "runtime.h"

#include <cstdint>

enum class OrderBy { time, space, calls, cycles, efficiency };
enum class Format { report, csv, json, html, markdown };

// What the command line asked for, set once before anything is read.
struct Options {
    OrderBy orderBy = OrderBy::time;
    bool parseProfile = false;
    bool perCallLayout = false;
    Format format = Format::report;
    std::int32_t topRows = 0;               // at most this many rows; 0 for all
    const char* profileName = nullptr;     // the file reported, as named
    const char* oldProfileName = nullptr;  // -diff OLD (the first), or null
    double failPercent = -1;               // -fail PCT, or negative
    bool quiet = false;                    // -q: no banner
};

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

constexpr std::int32_t maxEntries = 4096;
// The profile is read in blocks of this size.
constexpr std::size_t profileBlockBytes = 65536;

using Position = std::uint16_t;
static_assert(maxEntries <= 65535, "positions fit 16 bits");

// A loaded profile. Positions 1 to entryCount are in use, in file order;
// order[0..entryCount-1] holds them in report order. The names live in
// the profile's own pool. About 1.2 MB: a program keeps its profiles in
// static storage.
struct Profile {
    ProfileEntry entries[maxEntries + 1];
    std::int32_t entryCount;
    Position order[maxEntries];
    bool moreRecords;  // the file held more records than maxEntries
    ProfileKind kind;
    std::size_t namesUsed;
    char names[maxEntries * TL_stringSize];
};

// Loading (load.cpp).
// Reads the header line and up to maxEntries records from stream s.
void loadProfile(std::int32_t s, bool parseProfile, Profile& profile);
// "list__x", and in a parse profile "repeat__x", become "list x", "repeat x".
void rewriteName(char* name, bool parseProfile);

// Ordering (order.cpp).
// The key an entry is ordered by under time, space, calls and cycles; sums
// of two counters are exact.
std::uint64_t orderKey(const ProfileEntry& entry, const Options& options);
// treeNodes / cycles * 100 in extended precision; 0 when cycles is 0.
double efficiencyOf(const ProfileEntry& entry);
// Fills order with the report order: largest key first (smallest
// efficiency first), equal keys in file order, as an exchange sort of the
// entries would leave them.
void orderEntries(Profile& profile, const Options& options);
// The base of PCT: the key of the first entry in the ordering, shown or
// not; 0 (no PCT) under calls and efficiency.
std::uint64_t percentBaseOf(const Profile& profile, const Options& options);
const char* criterionName(OrderBy orderBy);

// The runs of one side, merged (merge.cpp): their sums, and each merged
// rule's key in each run, for the test of whether a change is real.
struct Runs {
    Profile* merged;
    std::int32_t count;     // runs merged so far
    std::int32_t capacity;  // runs there is room for
    double* samples;        // [position * capacity + run]; 0 where absent
    double* totals;         // each run's total of the key
    bool moreRules;         // the runs held more rules than maxEntries
};

// Room for the samples of capacity runs; a side that is never merged into
// (one run) needs none.
void startRuns(Runs& runs, Profile& merged, std::int32_t capacity);
// Adds the run loaded in run: each record is matched with the merged one
// of the same name (the n-th of a name with the n-th), its counters added;
// the others come after the merged ones, in file order.
void mergeRun(Runs& runs, const Profile& run, const Options& options);
// The key a run's entry is ordered by, as a sample.
double sampleKey(const ProfileEntry& entry, const Options& options);
