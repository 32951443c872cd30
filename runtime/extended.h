// Arithmetic in x87 extended precision: a 64-bit significand, each result
// rounded to nearest, ties to even, as the x87 rounds with its default
// precision. The reports' percentages and efficiencies were defined by
// that arithmetic; on x86 the x87 does it (extended_x87.cpp), elsewhere
// integers do (extended_integer.h), which gives every machine, whatever
// its long double, the bytes that x86 gives.
// Finite values only (no infinities, NaNs or subnormals), which is all the
// reports need.
#pragma once

#include <cstdint>

struct TL_Extended {
    bool negative;
    std::int32_t exponent;      // the value is significand * 2^exponent
    std::uint64_t significand;  // 0 for zero, otherwise with bit 63 set
};

// Exact conversions.
TL_Extended TL_extendedOf(std::uint64_t value);
TL_Extended TL_extendedOf(double value);

TL_Extended TL_add(TL_Extended a, TL_Extended b);
TL_Extended TL_subtract(TL_Extended a, TL_Extended b);
TL_Extended TL_multiply(TL_Extended a, TL_Extended b);
// b must not be zero.
TL_Extended TL_divide(TL_Extended a, TL_Extended b);

// -1, 0 or 1 as a is less than, equal to or greater than b.
int TL_compare(TL_Extended a, TL_Extended b);
TL_Extended TL_magnitude(TL_Extended a);

// Rounded to the nearest double, ties to even, as a store to a double does.
double TL_toDouble(TL_Extended a);
// The nearest whole number, halves away from zero; exact.
TL_Extended TL_round(TL_Extended a);
// Toward zero, as a conversion to an integer does; the value must fit.
std::int64_t TL_truncate(TL_Extended a);
// Rounded to the nearest whole number, halves away from zero, written at
// p in decimal with a zero byte after: exact for magnitudes below 2^256
// (far above any product or quotient of the reports' keys; larger ones
// are a fault of the caller's, asserted), with a sign when negative, and
// "+" before others when withSign. Returns the end, before the zero byte;
// at most 80 characters.
constexpr std::int32_t TL_formattedBits = 256;
char* TL_formatRounded(char* p, TL_Extended a, bool withSign);
