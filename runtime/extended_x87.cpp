// On x86 the x87 does the extended arithmetic itself: a long double is its
// 80-bit format, and with the precision the system sets (64 bits) each
// operation rounds to nearest, ties to even, as the integers' version does
// (the tests check that the two agree bit for bit). A division by the
// x87 takes a few dozen cycles where the integers take hundreds on i386.
// Values stay inside the x87's exponents, as every report's do.
#include "extended_integer.h"

#include <cstring>

static_assert(sizeof(long double) >= 10, "long double is the x87's 80-bit format");

namespace {

// The 64-bit significand, then the sign and the exponent biased by 16383,
// for the value 1.f * 2^(exponent + 63), the integer bit explicit.
long double toX87(const TL_Extended& a) {
    unsigned char bytes[sizeof(long double)] = {};
    std::memcpy(bytes, &a.significand, 8);
    const auto signAndExponent = static_cast<std::uint16_t>(
        (a.negative ? 0x8000 : 0) | (a.significand == 0 ? 0 : a.exponent + 63 + 16383));
    std::memcpy(bytes + 8, &signAndExponent, 2);
    long double x;
    std::memcpy(&x, bytes, sizeof x);
    return x;
}

TL_Extended fromX87(long double x) {
    unsigned char bytes[sizeof(long double)];
    std::memcpy(bytes, &x, sizeof x);
    TL_Extended a;
    std::uint16_t signAndExponent;
    std::memcpy(&a.significand, bytes, 8);
    std::memcpy(&signAndExponent, bytes + 8, 2);
    a.negative = (signAndExponent & 0x8000) != 0;
    a.exponent = a.significand == 0 ? 0 : (signAndExponent & 0x7FFF) - 16383 - 63;
    return a;
}

}  // namespace

// An operand of zero gives what the integers' version gives, the signs of
// zeros included.
TL_Extended TL_add(TL_Extended a, TL_Extended b) {
    if (b.significand == 0) return a;
    if (a.significand == 0) return b;
    return fromX87(toX87(a) + toX87(b));
}

TL_Extended TL_multiply(TL_Extended a, TL_Extended b) { return fromX87(toX87(a) * toX87(b)); }

TL_Extended TL_divide(TL_Extended a, TL_Extended b) { return fromX87(toX87(a) / toX87(b)); }
