// The printers, on standard output: each only decides how the rows of a
// table look, never what they are.
#pragma once

#include "table.h"

// What "~" and the intervals mean, where a comparison of runs shows them.
constexpr char noiseLegend[] =
    "the runs do not show the change to be real: each rule is tested on the logarithms of its "
    "values in the runs that have it, each run's level taken out, for a change beyond the shift "
    "of every rule where the rules agree on one, its variance moderated toward that of the rules "
    "of its size (none for a rule that does not fit them), and the changes marked real keep the "
    "false discovery rate at 5% (Benjamini-Hochberg) and are 0.5% or more; the total is tested "
    "alone";
constexpr char intervalLegend[] =
    "the 95% confidence interval of the change, in percent of the old value";
// The same of a history's changes.
constexpr char historyIntervalLegend[] =
    "the 95% confidence interval of the change, in percent of the value before it";

// Each in print_NAME.cpp: the fixed-width text, CSV, JSON, Markdown and
// the page.
void printText(const Table& table);
void printCsv(const Table& table);
void printJson(const Table& table);
void printMarkdown(const Table& table);
void printHtml(const Table& table);

// A history's shifts of everything, a sentence each between before and
// after, its texts written by text (print_text.cpp).
void putShiftLines(const Table& table, const char* before, const char* after, void (*text)(const char*));
// "12 points of 36 runs, from c01 to c12", the names written by text
// between open and close (print_markdown.cpp).
void putHistorySpan(const Table& table, void (*text)(const char*), const char* open, const char* close);

// The pieces the printers share.

// A chart's lines on the page (print_chart.cpp): its style and script;
// its points, hidden, for the script; the table's data of the chart (its
// scale and shifts) and a row's (its line's values and marks), each a
// list of attributes starting with a blank.
void putChartStyle();
void putChartScript();
void putChartPoints(const Chart& chart);
void putChartData(const Chart& chart);
void putLineData(const Chart& chart, std::int32_t line);

// The page's head up to the title, and the start of its style, which
// each page ends with its own (print_html.cpp).
extern const char pageHead[];
extern const char pageStyle[];

// The start of every JSON document (print_json.cpp): the number of its
// layout, which grows when a member changes meaning or goes (the schema
// is qavprof.schema.json), then the profile's kind and the criterion.
constexpr int jsonSchemaVersion = 1;
void putJsonHead(const Table& table);

// A Markdown table's heading lines (print_markdown.cpp): the headings as the page has them,
// numbers to the right, texts to the left.
void putMarkdownHeadings(const Layout& layout);

// How a format writes the paragraph (print_markdown.cpp) that names the runs of a table and
// says what "~" and the intervals mean.
struct CaptionStyle {
    void (*text)(const char* text);  // a name or a legend, escaped
    const char* open;
    const char* compared;  // before the old runs' number
    const char* oldRuns;   // after it
    const char* newRuns;   // after the new runs' number
    const char* merged;    // before the number of runs merged
    const char* mergedRuns;
    const char* firstName;     // before the first name of the runs
    const char* betweenNames;
    const char* afterNames;
    const char* close;
    const char* lineBreak;  // before the shift, and before each note
};
// The paragraph, where there are several runs.
void putRunsCaption(const Table& table, const CaptionStyle& style);

// How the method's note is set: what "~" and the intervals mean, which
// the table comes before.
struct MethodStyle {
    void (*text)(const char* text);  // a legend, escaped
    const char* open;      // before what "~" means
    const char* interval;  // before what the intervals mean
    const char* close;
};
// The note, where the runs are tested.
void putMethod(const Table& table, const MethodStyle& style);

