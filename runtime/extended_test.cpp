#include "extended.h"
#include "extended_integer.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace {

#if defined(__x86_64__) || defined(__i386__)
// On x86, long double is the x87's extended format: the reference.
TL_Extended fromLongDouble(long double x) {
    int exponent = 0;
    const long double fraction = std::frexp(x < 0 ? -x : x, &exponent);
    const auto significand = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
    return {std::signbit(x), significand == 0 ? 0 : exponent - 64, significand};
}

long double toLongDouble(const TL_Extended& x) {
    const long double magnitude = std::ldexp(static_cast<long double>(x.significand), x.exponent);
    return x.negative ? -magnitude : magnitude;
}

// Operands of every size the reports meet and more: whole numbers of 0 to
// 64 bits (the keys are up to 33), and doubles (efficiencies) near and far
// from each other.
struct Operands {
    std::mt19937_64 random{20261209};

    long double next() {
        switch (random() % 5) {
        case 0: return static_cast<long double>(random() >> (random() % 64));
        case 1: return static_cast<long double>(random() % 1000);
        case 2: return std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 80) - 60);
        case 3: return -static_cast<long double>(random() >> (random() % 64));
        default: return random() % 2 == 0 ? 0.0L : -0.0L;
        }
    }
};

bool same(const TL_Extended& a, const TL_Extended& b) {
    return a.negative == b.negative && a.exponent == b.exponent && a.significand == b.significand;
}

// The integers' arithmetic rounds as the x87 does, and the arithmetic the
// programs use (the x87's own on x86, extended_x87.cpp) agrees with it bit
// for bit, the signs of zeros included.
TEST(Extended, EveryOperationRoundsAsTheX87Does) {
    Operands operands;
    for (int round = 0; round < 1000000; ++round) {
        const long double a = operands.next(), b = round % 97 == 0 ? 0.0L : operands.next();
        const TL_Extended x = fromLongDouble(a), y = fromLongDouble(b);
        ASSERT_EQ(toLongDouble(x), a);
        const TL_Extended sum = TL_integerAdd(x, y), product = TL_integerMultiply(x, y);
        ASSERT_EQ(toLongDouble(sum), a + b) << round;
        ASSERT_TRUE(same(TL_add(x, y), sum)) << round;
        const TL_Extended difference = TL_integerAdd(x, TL_Extended{!y.negative, y.exponent, y.significand});
        ASSERT_EQ(toLongDouble(difference), a - b) << round;
        ASSERT_TRUE(same(TL_subtract(x, y), difference)) << round;
        ASSERT_EQ(toLongDouble(product), a * b) << round;
        ASSERT_TRUE(same(TL_multiply(x, y), product)) << round;
        if (b != 0) {
            const TL_Extended quotient = TL_integerDivide(x, y);
            ASSERT_EQ(toLongDouble(quotient), a / b) << round;
            ASSERT_TRUE(same(TL_divide(x, y), quotient)) << round;
        }
        ASSERT_EQ(TL_compare(x, y), (a > b) - (a < b)) << round;
        ASSERT_EQ(TL_toDouble(x), static_cast<double>(a)) << round;
        if (std::fabs(a) < 0x1p62L) {
            ASSERT_EQ(TL_truncate(x), static_cast<std::int64_t>(a)) << round;
        }
    }
}

TEST(Extended, PercentagesAndEfficienciesAreThoseOfTheX87) {
    // The reports' formulas whole: value / base * 100, truncated, and
    // nodes / cycles * 100 as a double, on 32- and 33-bit counters.
    std::mt19937_64 random(7);
    const TL_Extended hundred = TL_extendedOf(std::uint64_t{100});
    for (int round = 0; round < 1000000; ++round) {
        const std::uint64_t base = (random() >> (31 + random() % 33)) + 1;
        const std::uint64_t value = random() % (base + 1);
        const TL_Extended share = TL_divide(TL_extendedOf(value), TL_extendedOf(base));
        ASSERT_EQ(TL_truncate(TL_multiply(share, hundred)),
                  static_cast<std::int64_t>(static_cast<long double>(value) / base * 100))
            << value << " of " << base;
        const std::uint64_t nodes = random() >> 32, cycles = (random() >> (32 + random() % 32)) + 1;
        const TL_Extended efficiency = TL_divide(TL_extendedOf(nodes), TL_extendedOf(cycles));
        ASSERT_EQ(TL_toDouble(TL_multiply(efficiency, hundred)),
                  static_cast<double>(static_cast<long double>(nodes) / cycles * 100))
            << nodes << " / " << cycles;
    }
}
#endif

// Whole numbers are written exactly up to the largest below 2^256.
TEST(Extended, FormattedExactlyToTheEndOfTheirRange) {
    const struct {
        TL_Extended value;
        bool withSign;
        const char* text;
    } cases[] = {
        {{false, 0, 0}, true, "+0"},
        {{true, -64, std::uint64_t{1} << 63}, false, "-1"},  // -0.5, away from zero
        {{false, 192, std::uint64_t{1} << 63}, false,
         "57896044618658097711785492504343953926634992332820282019728792003956564819968"},
        {{true, 192, ~std::uint64_t{0}}, false,
         "-115792089237316195417293883273301227089434195242432897623355228563449095127040"},
    };
    for (const auto& c : cases) {
        char text[96];
        const char* const end = TL_formatRounded(text, c.value, c.withSign);
        EXPECT_EQ(std::string(text, static_cast<std::size_t>(end - text)), c.text);
    }
}

TEST(Extended, KnownValues) {
    const TL_Extended hundred = TL_extendedOf(std::uint64_t{100});
    const auto percent = [&](std::uint64_t value, std::uint64_t base) {
        return TL_truncate(TL_multiply(TL_divide(TL_extendedOf(value), TL_extendedOf(base)), hundred));
    };
    // 29 / 100 * 100 rounds back to 29 in extended precision (in doubles
    // it is just below and would truncate to 28).
    EXPECT_EQ(percent(29, 100), 29);
    EXPECT_EQ(percent(7, 7), 100);
    EXPECT_EQ(percent(1, 3), 33);
    EXPECT_EQ(percent(0, 5), 0);
    EXPECT_EQ(TL_toDouble(TL_divide(TL_extendedOf(2.0), TL_extendedOf(std::uint64_t{8}))), 0.25);
    EXPECT_EQ(TL_toDouble(TL_subtract(TL_extendedOf(1.5), TL_extendedOf(1.5))), 0.0);
    EXPECT_EQ(TL_toDouble(TL_subtract(TL_extendedOf(1.0), TL_extendedOf(3.0))), -2.0);
    EXPECT_EQ(TL_compare(TL_extendedOf(-1.0), TL_extendedOf(std::uint64_t{0})), -1);
}

}  // namespace
