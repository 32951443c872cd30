// Where the report goes: standard output, or with -o FILE a file replaced
// the way qavcvt replaces its outputs (replace.h): whole or not at all,
// keeping what a user sees of the old file.
#pragma once

#include <cstdint>

// Runs print(what) with standard output sent where the report goes, named
// name (null or "-" for standard output itself), then puts the report in
// place. A report that would overwrite one of the inputs is refused before
// anything is written; a failure, a quit or a signal removes what the run
// made and says so where an output in place is left cut.
void printReport(const char* name, const char* const inputs[], std::int32_t inputCount,
                 void (*print)(const void* what), const void* what);
