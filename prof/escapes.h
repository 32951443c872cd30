// Text as each format must have it, written on standard output (escapes.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

void putRaw(const char* text);
// count in decimal, in room.
const char* countText(char (&room)[16], std::int32_t count);
// A CSV field, quoted when it holds a comma, a quote or a line break.
void putCsvField(const char* text);
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

// Text with what means something in HTML escaped, and valid UTF-8.
void putHtmlText(const char* text);
