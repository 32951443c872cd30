// qavprof's state: the options, the entries loaded from the profile file,
// and the routines that load, order and report them.
#pragma once

#include "runtime.h"

#include <cstdint>

enum class OrderBy { time, space, calls, cycles, efficiency };

// One record of the profile file, its counters in file order. The name
// lives in the name pool, so that the records the ordering looks at stay
// small.
struct ProfileEntry {
    const char* name;
    std::uint32_t calls;
    std::uint32_t matched;
    std::uint32_t cycles;      // parse cycles, or search cycles in a match profile
    std::uint32_t backtracks;  // backtrack cycles, or match cycles
    std::uint32_t time;
    std::uint32_t treeNodes;
    std::uint32_t kidCells;
};

constexpr std::int32_t maxEntries = 4096;
// The profile is read in blocks of this size.
constexpr std::size_t profileBlockBytes = 65536;

enum class Format { report, csv, json, html };

// Options, set from the command line before anything is read.
extern OrderBy orderBy;
extern bool parseProfile;
extern bool perCallLayout;
extern std::int32_t profileStream;
extern Format format;
extern std::int32_t topRows;          // at most this many rows; 0 for all
extern const char* profileName;      // the file reported, as named
extern const char* oldProfileName;   // -diff OLD, or null
extern double failPercent;           // -fail PCT, or negative

// Positions 1 to entryCount are in use; position 0 is not. The entries stay
// in file order; order[0..entryCount-1] holds their positions in report
// order.
using Position = std::uint16_t;
static_assert(maxEntries <= 65535, "positions fit 16 bits");
extern ProfileEntry entries[maxEntries + 1];
extern std::int32_t entryCount;
extern Position order[maxEntries];
extern std::uint64_t percentBase;
// Set when the file held more records than maxEntries.
extern bool moreRecords;

// Loading (load.cpp).
// Reads the header line and up to maxEntries records from stream s into
// entries 1 and on; their names go to a name pool, whose texts stay valid
// until the next load into the same pool. The old profile of a comparison
// loads into a pool of its own.
enum class NamePool { reported, old };
void loadProfile(std::int32_t s, NamePool pool = NamePool::reported);
// "list__x", and in a parse profile "repeat__x", become "list x", "repeat x".
void rewriteName(char* name);

// Ordering (order.cpp).
// The key an entry is ordered by under time, space, calls and cycles; sums
// of two counters are exact.
std::uint64_t orderKey(const ProfileEntry& entry);
// treeNodes / cycles * 100 in extended precision; 0 when cycles is 0.
double efficiencyOf(const ProfileEntry& entry);
// Fills order with the report order: stable, largest key first (smallest
// efficiency first), as an exchange sort of the entries would leave them.
void orderEntries();
void setPercentBase();

// Report (report.cpp).
// value / base * 100 in extended precision, truncated toward zero.
std::int32_t percentOf(std::uint64_t value, std::uint64_t base);
// The report's name field, and the first nameWidth characters of name, as
// it shows them.
constexpr std::int32_t nameWidth = 30;
void cutName(char* cut, const char* name);
void printReport();
// The positions of the rows a report shows, in order: entries called at
// least once, at most topRows of them. Returns their number.
std::int32_t reportedRows(Position rows[]);

// The report's columns as data, for the machine-readable forms: their
// names (the headings in lower case) and an entry's values as text, the
// PCT and efficiency as the report computes them, "" where it leaves the
// field blank.
constexpr std::int32_t maxColumns = 14;
constexpr std::int32_t valueRoom = 32;
std::int32_t columnNames(const char* names[maxColumns]);
void columnValues(const ProfileEntry& entry, char values[maxColumns][valueRoom]);
// Calls row for each row the report shows, in order: its number from 0,
// its entry and its values. Returns the number of rows.
using RowValues = const char (*)[valueRoom];
std::int32_t forEachRow(void (*row)(std::int32_t k, const ProfileEntry& entry, RowValues values));

// Machine-readable forms (export.cpp) and the page (html.cpp).
void printCsv();
void printJson();
void printHtml();
void printComparisonHtml();

// Comparison with an older profile (diff.cpp). The old profile's entries
// are copied aside before the reported one is loaded.
void keepAsOld();
void compareProfiles();
void printComparison();
void printComparisonCsv();
void printComparisonJson();
// Calls row for each row the comparison shows: the name, the status ("new",
// "gone" or "") and the texts of old, new, change and change in percent
// ("" where absent).
void forEachComparisonRow(void (*row)(const char* name, const char* status,
                                      const char* const texts[4]));
// Calls row for the total row, "(total)", where keys add up (not -eff).
void comparisonTotal(void (*row)(const char* name, const char* status,
                                 const char* const texts[4]));
// The total's growth in percent of the old total; infinite when the old
// total is 0 and the new one is not.
double totalGrowth();
// The new profile's total of the criterion's key.
std::uint64_t newTotalValue();
const char* criterionName();
