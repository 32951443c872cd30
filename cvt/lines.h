// Data lines made with vector instructions, where the processor has them:
// the one fast path of the conversion that pays on a whole run. Its plain
// counterpart, value by value, is in convert.cpp, and every machine
// without the vectors (and the tests, through vectorBitsAllowed) uses it.
#pragma once

#include <cstddef>

// The values made in one round: whole lines.
constexpr std::size_t vectorRoundValues = 160;

// Whether this processor makes lines with vectors of at most bits bits.
bool vectorLinesAvailable(unsigned bits);
// Writes the text of the whole rounds in the first count bytes, which start
// a line, at p: a line break, then each value and a comma, for each line.
// Returns the end of the text; done is the number of bytes converted. May
// store up to 32 bytes past the end.
char* putVectorLines(char* p, const unsigned char* bytes, std::size_t count, std::size_t& done);
