// A report or a comparison as a table: its columns, defined once in its
// layout, and its rows of value texts, which every format only prints. A
// printer reads the rows a batch at a time through Rows; the report and
// the comparison make them (report.h, comparison.h).
#pragma once

#include <cstddef>
#include <cstdint>

struct ProfileEntry;

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
    intervalLow,   // the 95% confidence interval of the change, in percent
    intervalHigh,  // of the old key (shown with "%")
    at,            // the point of a history where a change is, as named
    oldRuns,       // the runs of each side a comparison's test of the rule
    newRuns,       // stands on (CSV and JSON; the other formats say it where fewer)
    changes,       // how many changes a line of a history's chart has
};

// Whether a field's value is among a row's texts: a name, a status and a
// point are the row's own.
constexpr bool hasText(Field field) {
    return field != Field::name && field != Field::status && field != Field::at;
}

// Whether a column is of words, not numbers: ordered as text, set to the left.
constexpr bool isWords(Field field) { return field == Field::name || field == Field::at; }

// Whether the text layout and the page show a field's value with "%".
constexpr bool shownAsPercent(Field field) {
    return field == Field::percent || field == Field::changePercent ||
           field == Field::intervalLow || field == Field::intervalHigh;
}

// Where the text layout puts a column's heading, over its field: its
// text right-aligned at the field's end moved by shift (a name's starts
// at column nameIndent), and under it a rule of dashes ending ruleShift
// from the field's end; a group heading, on a line above, ends groupShift
// from the field's end. The defaults are the plain case.
struct Heading {
    const char* text = nullptr;   // null: the column's heading text (headingTextOf)
    std::int8_t shift = 0;
    std::int8_t rule = 0;         // dashes; 0: one under each character of the text
    std::int8_t ruleShift = 0;
    const char* group = nullptr;  // over this column and the one before it
    std::int8_t groupShift = 0;
};

struct Column {
    const char* name;  // in CSV and JSON, and, in capitals, the page's heading
    Field field;
    std::uint64_t ProfileEntry::*counter;  // for counter and perCall
    std::int32_t width;                    // the text layout's field
    Heading heading = {};
};

constexpr std::int32_t nameIndent = 5;

// The columns of one kind of table; the text layout's heading lines are
// made from them, each padded to lineWidth where it is not 0.
struct Layout {
    const Column* columns;
    std::int32_t columnCount;
    std::int32_t lineWidth;
    // The columns the text, Markdown and the page show, the first ones; 0
    // for all. The rest are data for CSV and JSON.
    std::int32_t shownCount = 0;
};

constexpr std::int32_t shownColumns(const Layout& layout) {
    return layout.shownCount != 0 ? layout.shownCount : layout.columnCount;
}

template <std::size_t n>
constexpr std::int32_t columnCount(const Column (&)[n]) {
    return static_cast<std::int32_t>(n);
}

constexpr std::int32_t maxColumns = 14;
// Room for the longest text of a value: a signed 64-bit number, a real
// with three decimals of a key that is a 32-bit counter times 100, or a
// change of such keys in percent of the smallest of them (22 digits), or
// a share of a change made by calls or by cost (below 2^90: 28 digits).
constexpr std::int32_t valueRoom = 40;
static_assert(valueRoom < 256, "a value's length fits a byte");

// One row: its name and the texts of its values, the plain text CSV and
// JSON take ("" where a value is blank), kept one after the other in a
// pool. shownValue adds what the text layout and the page add.
struct Row {
    const char* name;
    const char* status;
    const char* key;     // the criterion's key, which the page's bars show
    const char* at;      // the point of a history's change
    const char* until;   // where a gradual change ends; null for a step
    const char* runs;    // where a rule stands on fewer runs than its sides': how many
    std::int32_t line;   // the row's line in the table's chart; -1 for none
    const char* texts;   // the row's texts in the pool, each after the last
    std::uint8_t length[maxColumns];  // of each value, without its zero byte
};

// Where the texts of rows are kept.
struct TextPool {
    char* text;
    std::size_t used;
};
// Room for the texts of one row.
constexpr std::size_t rowTextRoom = (maxColumns + 1) * valueRoom;

// Rows are made a batch at a time, each printed before the next is made, so
// that a report of any length takes little memory.
constexpr std::int32_t batchRows = 256;

struct Table;

// A point of a history: its name, and the files of its runs.
struct HistoryPoint {
    const char* name;
    const char* const* files;
    std::int32_t runs;
};
// A shift of everything at a point: its change and interval, as shown.
struct HistoryShift {
    const char* at;
    const char* text[3];
};

// A mark on a line of a chart: a change at a point, or over points at to
// until (at == until for a step), with its change and interval as shown
// (null where they are not).
struct ChartMark {
    std::int32_t at, until;
    const char* text[3];
};

// Lines over the points of a history, one in each row of the page's
// table (Row.line): the points, the shifts of every line, each line's
// value at each point and its marks.
struct Chart {
    const HistoryPoint* points;
    std::int32_t pointCount;
    const std::int32_t* shifts;   // the points where every line shifts
    std::int32_t shiftCount;
    std::int32_t lineCount;
    // Line's value at a point; negative where it has none there.
    double (*valueAt)(const void* source, std::int32_t line, std::int32_t point);
    const void* source;
    const ChartMark* marks;       // line's are marks[firstMark[line]] up to
    const std::int32_t* firstMark;  // marks[firstMark[line + 1]]
};

// A batch of rows, as a printer reads them (about 170 KB).
struct Rows {
    Row row[batchRows];
    std::int32_t count;
    std::int32_t next;  // where the table's source goes on from
    std::int32_t made;  // rows made since the start
    TextPool pool;
    char text[batchRows * rowTextRoom];
};

// What a printer knows of a report or a comparison. The table does not
// change as it is printed: its rows come from its source.
struct Table {
    const Layout* layout;
    bool comparison;
    const char* kind;         // "parse" or "match"
    const char* criterion;    // "time", ...
    const char* fileName;
    const char* oldFileName;  // comparisons only
    // The runs of each side, by their file names (the old ones in a
    // comparison only); a side of one run is what one file says.
    const char* const* fileNames;
    std::int32_t runCount;
    const char* const* oldFileNames;
    std::int32_t oldRunCount;
    bool tested;              // changes tested, and "~" and the intervals explained
    // Where tested: the shift of every rule from the old runs to the new,
    // and its interval, as shown (null where the rules could not tell);
    // and notes on runs unlike the others of their side.
    const char* shift[3];
    const char* const* notes;
    std::int32_t noteCount;
    bool hasTotal;            // a comparison's total row, after the rows
    Row total;
    std::int32_t topRows;     // at most this many rows; 0 for all
    // Where the rows come from: fill makes the batch that starts at
    // rows.next, from source.
    const void* source;
    void (*fill)(const void* source, Rows& rows);
    // A history's (history_report.h): the rules' changes, then the
    // total's (after ruleRows rows), each at a point (the AT column,
    // atWidth wide in the text layout); its points, and the shifts of
    // everything beside its rows.
    bool history = false;
    std::int32_t ruleRows = 0;
    std::int32_t atWidth = 0;
    const HistoryPoint* points = nullptr;
    std::int32_t pointCount = 0;
    std::int32_t runTotal = 0;
    const HistoryShift* shifts = nullptr;
    std::int32_t shiftCount = 0;
    // The table the page shows instead, where it shows another: a
    // history's page shows a row a rule, each with its line.
    const Table* page = nullptr;
    // A chart whose lines the rows draw (Row.line), the total's first;
    // where folds, the rows from foldFrom on fold away behind one control.
    // (Tables are also made in zeroed room: zero is the plain case.)
    const Chart* chart = nullptr;
    bool folds = false;
    std::int32_t foldFrom = 0;
};

// Reading the rows: startRows, then nextRows until it is false, each time
// with rows.count rows in rows.row.
void startRows(const Table& table, Rows& rows);
bool nextRows(const Table& table, Rows& rows);

// Making a row: begin, then each value in column order (the name and
// status columns take none), then the key.
inline void beginRow(TextPool& pool, Row& row, const char* name, const char* status) {
    row.name = name;
    row.status = status;
    row.key = "";
    row.at = "";
    row.until = nullptr;
    row.runs = nullptr;
    row.line = -1;
    row.texts = pool.text + pool.used;
}
// Room for the next value; the builder writes it and gives its end to
// endValue with the value's column.
inline char* valueRoomFor(TextPool& pool) { return pool.text + pool.used; }
inline void endValue(TextPool& pool, Row& row, std::int32_t i, char* end) {
    *end = '\0';
    row.length[i] = static_cast<std::uint8_t>(end - (pool.text + pool.used));
    pool.used = static_cast<std::size_t>(end + 1 - pool.text);
}
// The row's key, for the page.
void setKey(TextPool& pool, Row& row, const char* key);

// A row's texts lie one after the other, each with its zero byte, in
// column order, the name and the status columns having none: the text of
// the value after the one of column i at text.
inline const char* textAfter(const Row& row, std::int32_t i, const char* text) {
    return text + row.length[i] + 1;
}

// A column's heading on the page and in Markdown: its name in capitals,
// "_" as a blank, and "%" for the change in percent.
void putHeadingText(const Column& column, void (*put)(const char* text));
// The same into room, which has valueRoom bytes (the columns' names are
// the layouts' own, all shorter); returns room.
char* headingTextOf(const Column& column, char* room);
// The value of column i of row, as CSV and JSON take it.
const char* valueOf(const Table& table, const Row& row, std::int32_t i);
// The same as the text layout and the page show it, into shown, which
// has room for valueRoom + 2 bytes.
void shownValue(const Table& table, const Row& row, std::int32_t i, char* shown);

// Whether the table speaks of several runs: one of a single run, or one
// run against one, says nothing of them.
inline bool hasRuns(const Table& table) { return table.runCount > 1 || table.oldRunCount > 1; }

// The text layout's name field, and the first nameWidth characters of
// name, as it shows them.
constexpr std::int32_t nameWidth = 30;
inline void cutName(char* cut, const char* name) {
    std::int32_t i = 0;
    for (; i < nameWidth && name[i] != '\0'; ++i) cut[i] = name[i];
    cut[i] = '\0';
}
