// Pieces of the machine-readable forms, shared by the report and the
// comparison: written on standard output.
#pragma once

void putRaw(const char* text);
// A CSV field, quoted when it holds a comma, a quote or a line break.
void putCsvField(const char* text);
// A JSON string, with quotes, backslashes and control characters escaped.
void putJsonString(const char* text);
// A JSON number given as text, or null for "".
void putJsonNumber(const char* text);
// {"kind": ..., "criterion": ..., "file": ... (no closing brace).
void putJsonHead();
