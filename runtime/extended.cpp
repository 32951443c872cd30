#include "extended.h"
#include "extended_integer.h"

#include <cassert>
#include <cstring>

namespace {

// 128 bits, for exact products and aligned sums.
struct Wide {
    std::uint64_t high, low;
};

int leadingZeros(std::uint64_t x) { return x == 0 ? 64 : __builtin_clzll(x); }

// Shifts right by count, or-ing every bit shifted out into the lowest bit,
// so that rounding still sees that something was there.
Wide shiftRightJamming(Wide x, int count) {
    if (count == 0) return x;
    if (count >= 128) return {0, (x.high | x.low) != 0};
    std::uint64_t lost;
    Wide r;
    if (count >= 64) {
        const int c = count - 64;
        lost = (c == 0 ? 0 : x.high << (64 - c)) | x.low;
        r = {0, c == 0 ? x.high : x.high >> c};
    } else {
        lost = x.low << (64 - count);
        r = {x.high >> count, (x.low >> count) | (x.high << (64 - count))};
    }
    r.low |= lost != 0;
    return r;
}

Wide shiftLeft(Wide x, int count) {
    if (count == 0) return x;
    if (count >= 64) return {x.low << (count - 64), 0};
    return {(x.high << count) | (x.low >> (64 - count)), x.low << count};
}

// The value (high:low) * 2^exponent, rounded to a 64-bit significand.
TL_Extended rounded(bool negative, std::int32_t exponent, Wide x) {
    if (x.high == 0 && x.low == 0) return {negative, 0, 0};
    const int shift = x.high != 0 ? leadingZeros(x.high) : 64 + leadingZeros(x.low);
    x = shiftLeft(x, shift);
    exponent -= shift;
    std::uint64_t significand = x.high;
    const bool guard = (x.low >> 63) != 0;
    const bool sticky = (x.low << 1) != 0;
    // The low 64 bits are the part below the significand.
    exponent += 64;
    if (guard && (sticky || (significand & 1) != 0)) {
        ++significand;
        if (significand == 0) {
            significand = std::uint64_t{1} << 63;
            ++exponent;
        }
    }
    return {negative, exponent, significand};
}

Wide product(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t aHigh = a >> 32, aLow = a & 0xFFFFFFFFu;
    const std::uint64_t bHigh = b >> 32, bLow = b & 0xFFFFFFFFu;
    const std::uint64_t lowLow = aLow * bLow, highLow = aHigh * bLow;
    const std::uint64_t lowHigh = aLow * bHigh, highHigh = aHigh * bHigh;
    const std::uint64_t middle = (lowLow >> 32) + (highLow & 0xFFFFFFFFu) + (lowHigh & 0xFFFFFFFFu);
    return {highHigh + (highLow >> 32) + (lowHigh >> 32) + (middle >> 32),
            (middle << 32) | (lowLow & 0xFFFFFFFFu)};
}

// Compares magnitudes.
int compareMagnitudes(const TL_Extended& a, const TL_Extended& b) {
    if (a.significand == 0 || b.significand == 0)
        return (a.significand != 0) - (b.significand != 0);
    if (a.exponent != b.exponent) return a.exponent < b.exponent ? -1 : 1;
    return a.significand < b.significand ? -1 : a.significand > b.significand;
}

}  // namespace

TL_Extended TL_extendedOf(std::uint64_t value) { return rounded(false, 0, {0, value}); }

// Doubles are taken apart and put together by their bits (IEEE 754
// binary64), which needs no maths library.
TL_Extended TL_extendedOf(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    const auto field = static_cast<std::int32_t>(bits >> 52 & 0x7FF);
    std::uint64_t significand = bits & ((std::uint64_t{1} << 52) - 1);
    if (field != 0) significand |= std::uint64_t{1} << 52;
    return rounded(negative, (field != 0 ? field : 1) - 1075, {0, significand});
}

TL_Extended TL_integerAdd(TL_Extended a, TL_Extended b) {
    if (b.significand == 0) return a;
    if (a.significand == 0) return b;
    if (compareMagnitudes(a, b) < 0) {
        const TL_Extended t = a;
        a = b;
        b = t;
    }
    // Both with 64 bits below the significand; the smaller aligned to the
    // larger, its lost bits kept as one sticky bit.
    const Wide larger{a.significand, 0};
    const std::int64_t gap = static_cast<std::int64_t>(a.exponent) - b.exponent;
    const Wide smaller = shiftRightJamming({b.significand, 0}, gap > 128 ? 128 : static_cast<int>(gap));
    Wide sum;
    if (a.negative == b.negative) {
        sum.low = larger.low + smaller.low;
        sum.high = larger.high + smaller.high + (sum.low < larger.low);
        if (sum.high < larger.high) {
            // A carry out: one more bit on top.
            sum = shiftRightJamming(sum, 1);
            sum.high |= std::uint64_t{1} << 63;
            return rounded(a.negative, a.exponent - 64 + 1, sum);
        }
    } else {
        sum.low = larger.low - smaller.low;
        sum.high = larger.high - smaller.high - (larger.low < smaller.low);
        // An exact zero is positive, as in round to nearest.
        if (sum.high == 0 && sum.low == 0) return {false, 0, 0};
    }
    return rounded(a.negative, a.exponent - 64, sum);
}

TL_Extended TL_subtract(TL_Extended a, TL_Extended b) {
    b.negative = !b.negative;
    return TL_add(a, b);
}

TL_Extended TL_integerMultiply(TL_Extended a, TL_Extended b) {
    const bool negative = a.negative != b.negative;
    if (a.significand == 0 || b.significand == 0) return {negative, 0, 0};
    return rounded(negative, a.exponent + b.exponent, product(a.significand, b.significand));
}

TL_Extended TL_integerDivide(TL_Extended a, TL_Extended b) {
    const bool negative = a.negative != b.negative;
    if (a.significand == 0) return {negative, 0, 0};
    std::int32_t exponent = a.exponent - b.exponent;
    std::uint64_t dividend = a.significand;
    bool carry = false;
    if (dividend < b.significand) {
        carry = (dividend >> 63) != 0;
        dividend <<= 1;
        --exponent;
    }
    // Now (carry, dividend) / b is in [1, 2): 64 bits of the quotient and
    // one more to round by, and whether anything is left.
    std::uint64_t quotient = 0;
    bool guard = false;
#ifdef __SIZEOF_INT128__
    // Where the compiler has 128-bit integers, one division gives them.
    // (The dividend has up to 65 bits: shifted by 63, it fits 128.)
    using U128 = unsigned __int128;
    const U128 wide = (U128{carry} << 64 | dividend) << 63;
    quotient = static_cast<std::uint64_t>(wide / b.significand);
    const U128 twiceRest = wide % b.significand * 2;
    guard = twiceRest >= b.significand;
    const bool sticky = guard ? twiceRest != b.significand : twiceRest != 0;
#else
    // Elsewhere, long division a bit at a time, the remainder up to 65
    // bits (carry and rest).
    std::uint64_t rest = dividend;
    for (int bit = 0; bit < 65; ++bit) {
        const bool one = carry || rest >= b.significand;
        if (one) rest -= b.significand;
        if (bit < 64)
            quotient = quotient << 1 | one;
        else
            guard = one;
        carry = (rest >> 63) != 0;
        rest <<= 1;
    }
    const bool sticky = carry || rest != 0;
#endif
    // The quotient's first bit stands for 2^exponent.
    const Wide x{quotient, (guard ? std::uint64_t{1} << 63 : 0) | sticky};
    return rounded(negative, exponent - 63 - 64, x);
}

int TL_compare(TL_Extended a, TL_Extended b) {
    const bool aZero = a.significand == 0, bZero = b.significand == 0;
    if (aZero && bZero) return 0;
    const bool aNegative = a.negative && !aZero, bNegative = b.negative && !bZero;
    if (aNegative != bNegative) return aNegative ? -1 : 1;
    const int magnitude = compareMagnitudes(a, b);
    return aNegative ? -magnitude : magnitude;
}

TL_Extended TL_magnitude(TL_Extended a) {
    a.negative = false;
    return a;
}

double TL_toDouble(TL_Extended a) {
    if (a.significand == 0) return a.negative ? -0.0 : 0.0;
    // 53 of the 64 bits, rounded to nearest, ties to even.
    std::uint64_t kept = a.significand >> 11;
    const std::uint64_t dropped = a.significand & 0x7FF;
    std::int32_t exponent = a.exponent + 11;
    if (dropped > 0x400 || (dropped == 0x400 && (kept & 1) != 0)) {
        ++kept;
        if (kept == std::uint64_t{1} << 53) {
            kept >>= 1;
            ++exponent;
        }
    }
    // kept has its top bit at 52: the value is 1.f * 2^(exponent + 52).
    const std::uint64_t bits = (a.negative ? std::uint64_t{1} << 63 : 0) |
                               static_cast<std::uint64_t>(exponent + 52 + 1023) << 52 |
                               (kept & ((std::uint64_t{1} << 52) - 1));
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

TL_Extended TL_round(TL_Extended a) {
    if (a.significand == 0 || a.exponent >= 0) return a;
    if (a.exponent < -64) return TL_Extended{false, 0, 0};
    const int shift = -a.exponent;
    std::uint64_t whole = shift == 64 ? 0 : a.significand >> shift;
    if ((a.significand >> (shift - 1)) & 1) ++whole;
    TL_Extended rounded = TL_extendedOf(whole);
    rounded.negative = a.negative && whole != 0;
    return rounded;
}

std::int64_t TL_truncate(TL_Extended a) {
    if (a.significand == 0 || a.exponent <= -64) return 0;
    const std::uint64_t magnitude =
        a.exponent >= 0 ? a.significand << a.exponent : a.significand >> -a.exponent;
    return a.negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
}

namespace {

// The magnitude of a whole number in 32-bit limbs, least significant
// first: its 64 bits shifted by at most TL_formattedBits - 64 take three
// limbs from the one the shift starts in.
constexpr int maxShift = TL_formattedBits - 64;
constexpr int limbCount = maxShift / 32 + 3;

// The limbs in use.
int limbsOf(const TL_Extended& a, std::uint32_t (&limbs)[limbCount]) {
    if (a.significand == 0) return 0;
    // Its significand shifted left, or right to where its last bit is the
    // units. Past the contract, the digits are wrong but the limbs are
    // never overrun.
    std::uint64_t low = a.significand, high = 0;
    int shift = a.exponent < maxShift ? a.exponent : maxShift;
    if (shift < 0) {
        low >>= -shift;
        shift = 0;
    }
    const int limb = shift / 32, bit = shift % 32;
    if (bit != 0) high = low >> (64 - bit);
    low <<= bit;
    limbs[limb] = static_cast<std::uint32_t>(low);
    limbs[limb + 1] = static_cast<std::uint32_t>(low >> 32);
    limbs[limb + 2] = static_cast<std::uint32_t>(high);
    return limb + 3;
}

// The decimal digits of the limbs, nine at a time from the least
// significant, written backwards from end; their start ("0" for none).
char* digitsOf(std::uint32_t (&limbs)[limbCount], int used, char* end) {
    char* d = end;
    for (;;) {
        while (used > 0 && limbs[used - 1] == 0) --used;
        if (used == 0) break;
        std::uint64_t rest = 0;
        for (int i = used - 1; i >= 0; --i) {
            const std::uint64_t part = (rest << 32) | limbs[i];
            limbs[i] = static_cast<std::uint32_t>(part / 1000000000u);
            rest = part % 1000000000u;
        }
        while (used > 0 && limbs[used - 1] == 0) --used;
        for (int k = 0; k < 9 && (used > 0 || rest != 0); ++k, rest /= 10)
            *--d = static_cast<char>('0' + rest % 10);
    }
    if (d == end) *--d = '0';
    return d;
}

}  // namespace

char* TL_formatRounded(char* p, TL_Extended a, bool withSign) {
    a = TL_round(a);
    assert(a.significand == 0 || a.exponent <= maxShift);
    std::uint32_t limbs[limbCount] = {};
    const int used = limbsOf(a, limbs);
    char digits[limbCount * 10 + 1];
    char* const end = digits + sizeof digits;
    const char* d = digitsOf(limbs, used, end);
    const bool zero = a.significand == 0;
    if (withSign || (a.negative && !zero)) *p++ = a.negative && !zero ? '-' : '+';
    while (d < end) *p++ = *d++;
    *p = '\0';
    return p;
}
