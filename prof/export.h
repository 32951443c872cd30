// Pieces of the machine-readable forms, shared by the report and the
// comparison: written on standard output.
#pragma once

#include <cstddef>
#include <cstdint>

void putRaw(const char* text);
// count in decimal, in room.
const char* countText(char (&room)[16], std::int32_t count);
// A CSV field, quoted when it holds a comma, a quote or a line break.
void putCsvField(const char* text);
// The length of the valid UTF-8 sequence that starts at text (RFC 3629:
// no overlong forms, no surrogates, nothing past U+10FFFF), or 0 when none
// starts there.
std::size_t utf8SequenceLength(const unsigned char* text);
// Writes the UTF-8 sequence at text, or U+FFFD for a byte that starts no
// valid one; returns what follows.
const char* putNonAscii(const char* text);
// A JSON string, with quotes, backslashes and control characters escaped,
// and valid UTF-8 whatever bytes text holds.
void putJsonString(const char* text);
// A JSON number given as text, less a plus sign, or null for "".
void putJsonNumber(const char* text);

// A name in a Markdown table: what would end the cell, start code or
// emphasis, or open a tag is escaped, and the text is valid UTF-8.
void putMarkdownText(const char* text);

// The page's own (html.cpp): its head up to the title, and text with what
// means something in HTML escaped.
extern const char pageHead[];
void putHtmlText(const char* text);

struct Table;
struct Layout;

// A Markdown table's heading lines: the headings as the page has them,
// numbers to the right, texts to the left.
void putMarkdownHeadings(const Layout& layout);

// How a format writes the paragraph that names the runs of a table and
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
    const char* noise;     // before what "~" means
    const char* interval;  // before what the intervals mean
    const char* close;
    const char* lineBreak;  // before the shift, and before each note
};
// The paragraph, where there are several runs.
void putRunsCaption(const Table& table, const CaptionStyle& style);
