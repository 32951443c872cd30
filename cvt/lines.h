// Data lines made with vector instructions, where the processor has them:
// the one fast path of the conversion that pays on a whole run. Its plain
// counterpart, value by value, is in convert.cpp, and every machine
// without the vectors (and the tests, through Conversion::vectorBitsAllowed)
// uses it.
#pragma once

#include <cstddef>
#include <cstdint>

// A line break comes before every value whose 1-based number is a multiple.
constexpr std::uint32_t valuesPerLine = 20;

// Values are converted in whole rounds of this many, whole lines.
constexpr std::size_t vectorRoundValues = 320;

// The way this processor makes lines: the width of its vectors in bits, at
// most bitsAllowed, or 0 for none.
using VectorWay = unsigned;
VectorWay vectorWayFor(unsigned bitsAllowed);
// Writes the text of the whole rounds in the first count bytes, which start
// a line, at p: a line break, then each value and a comma, for each line.
// Returns the end of the text; done is the number of bytes converted. May
// store up to 64 bytes past the end.
char* putVectorLines(VectorWay way, char* p, const unsigned char* bytes, std::size_t count,
                     std::size_t& done);
