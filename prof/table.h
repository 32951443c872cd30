// A report or a comparison, computed once into a table of rows of texts,
// which every format only prints: the fixed-width text, CSV, JSON and the
// page. A column, with its place in the text layout's heading lines, is
// defined once in its layout; a format is one printer.
#pragma once

#include "profile.h"

#include <cstdint>

// What a column holds.
enum class Field : std::uint8_t {
    name,
    percent,     // PCT: the row's key as a share of the base, shown with "%"
    counter,     // one of the entry's counters
    perCall,     // a counter divided by the calls
    efficiency,
    oldKey,      // the comparison's keys, their change, and the change in
    newKey,      // percent of the old key (shown with "%")
    change,
    changePercent,
    fromCalls,   // the change that more or fewer calls make, at the old cost
    fromCost,    // the change that the cost per call makes, at the new calls
    status,      // "new", "gone", "~" (no significant change) or ""
};

struct Column {
    const char* name;  // in CSV and JSON, and, in capitals, the page's heading
    Field field;
    std::uint64_t ProfileEntry::*counter;  // for counter and perCall
    std::int32_t width;                    // the text layout's field
};

// The columns of one kind of table, and the lines the text layout heads
// them with, which place each column's heading over its field.
struct Layout {
    const Column* columns;
    std::int32_t columnCount;
    const char* lines[3];  // null where there are fewer
};

constexpr std::int32_t maxColumns = 14;
// Room for the longest text of a value: a signed 64-bit number, a real
// with three decimals of a key that is a 32-bit counter times 100, or a
// change of such keys in percent of the smallest of them (22 digits), or
// a share of a change made by calls or by cost (below 2^90: 28 digits).
constexpr std::int32_t valueRoom = 40;
static_assert(valueRoom < 256, "a value's length fits a byte");

// One row: its name and the texts of its values, the plain text CSV and
// JSON take ("" where a value is blank), kept one after the other in the
// table's pool. shownValue adds what the text layout and the page add.
struct Row {
    const char* name;
    const char* status;
    const char* key;     // the criterion's key, which the page's bars show
    const char* texts;   // the row's texts in the pool, each after the last
    std::uint8_t length[maxColumns];  // of each value, without its zero byte
};

// Rows are made a batch at a time, each printed before the next is made, so
// that a report of any length takes little memory.
constexpr std::int32_t batchRows = 256;

struct Table {
    const Layout* layout;
    bool comparison;
    const char* kind;       // "parse" or "match"
    const char* criterion;  // "time", ...
    const char* fileName;
    const char* oldFileName;  // comparisons only
    bool hasTotal;  // a comparison's total row, after the rows
    Row total;
    // The current batch.
    Row rows[batchRows];
    std::int32_t rowCount;
    char* pool;
    std::size_t poolUsed;
    // Where the rows come from: fill makes the batch that starts at next.
    const Profile* profile;
    const Runs* runs;     // comparisons: the new runs and the old ones
    const Runs* oldRuns;
    const Options* options;
    std::int32_t next;
    std::int32_t made;  // rows made since the start
    void (*fill)(Table& table);
};

// Making a row: begin, then each value in column order (the name and
// status columns take none), then the key.
void beginRow(Table& table, Row& row, const char* name, const char* status);
// Room for the next value; the builder writes it and gives its end to
// endValue with the value's column.
char* valueRoomFor(Table& table);
void endValue(Table& table, Row& row, std::int32_t i, char* end);
// The row's key, for the page.
void setKey(Table& table, Row& row, const char* key);

// Starts the rows from the first again; a printer calls it before the rows.
void startRows(Table& table);
// Makes the next batch of rows; false when there is none left.
bool nextRows(Table& table);

// A column's heading on the page and in Markdown: its name in capitals,
// "_" as a blank, and "%" for the change in percent.
void putHeadingText(const Column& column, void (*put)(const char* text));
// The value of column i of row, as CSV and JSON take it.
const char* valueOf(const Table& table, const Row& row, std::int32_t i);
// The same as the text layout and the page show it, into shown, which
// has room for valueRoom + 2 bytes.
void shownValue(const Table& table, const Row& row, std::int32_t i, char* shown);

// Builders, into storage of their own that stays until the next build; the
// profiles and options must stay as long. The report's rows: the entries
// with calls, in report order, at most topRows of them (report.cpp).
Table& buildReport(const Profile& profile, const Options& options);
// The comparison of the old runs and the new (each merged and ordered): a
// row per rule found in either, largest change first, the keys those of a
// run on average; with two runs or more on each side, a change that the
// runs do not show to be real is marked "~" (diff.cpp).
Table& buildComparison(const Runs& old, const Runs& now, const Options& options);
// The growth of the total of the comparison last built, in percent of the
// old total; infinite when the old total is 0 and the new one is not.
// newTotal gets the new total, significant whether the runs of old and
// now show the change to be real.
double totalGrowth(const Runs& old, const Runs& now, std::uint64_t& newTotal, bool& significant);

// value / base * 100 in extended precision, truncated toward zero.
std::int32_t percentOf(std::uint64_t value, std::uint64_t base);
// The text layout's name field, and the first nameWidth characters of
// name, as it shows them.
constexpr std::int32_t nameWidth = 30;
void cutName(char* cut, const char* name);

// Printers, on standard output.
void printText(Table& table);
void printCsv(Table& table);
void printJson(Table& table);
void printHtml(Table& table);
void printMarkdown(Table& table);
