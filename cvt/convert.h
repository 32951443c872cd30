// The data lines of the generated C file: every input byte as a decimal
// value and a comma, with a line break before every 20th value.
#pragma once

#include <cstdint>
#include <cstdio>

// At most this many bytes are converted; the rest of a longer input is left.
constexpr std::uint32_t maxConvertedBytes = 999999999;
// A line break comes before every value whose 1-based number is a multiple.
constexpr std::uint32_t valuesPerLine = 20;

enum class ConvertResult { done, readFailed, writeFailed };

// Writes the values of the bytes of in, up to limit bytes, to out. Stops at
// end of file or at the limit, or at the first read or write error. On
// return out is flushed up to where the values end.
ConvertResult convertBytes(FILE* in, FILE* out,
                           std::uint32_t limit = maxConvertedBytes);
