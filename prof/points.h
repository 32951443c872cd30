// The points of a history as the command line gives them: named there,
// or one a line on standard input ("-history -"), in the order of the
// history; and a check that names sorted by a shell pattern are not taken
// for that order where their numbers say otherwise.
#pragma once

#include <cstdint>
#include <cstdio>

// Whether a comes before b when the runs of digits in them are read as
// numbers ("c2" before "c10"); runs of other bytes compare as bytes.
bool naturalLess(const char* a, const char* b);

// The first k whose names[k] and names[k + 1] are in the order of their
// bytes, as a shell pattern sorts them, and all the names are, but whose
// numbers put names[k + 1] first ("c10" before "c2"); -1 for none. Names
// in any other order (commit hashes in the order of history) are taken as
// given.
std::int32_t firstOutOfOrder(const char* const* names, std::int32_t count);

// Reads the names of points from in, one a line, blanks kept, line ends
// (LF or CR LF) and empty lines dropped: a block of zero-ended names
// (allocated), count of them; null where in could not be read.
char* readPointNames(std::FILE* in, std::int32_t& count);
