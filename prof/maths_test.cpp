#include "maths.h"

#include <cmath>
#include <random>

#include <gtest/gtest.h>

namespace {

TEST(Maths, AgreesWithTheCLibrary) {
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> exponent(-300, 300), unit(-1, 1);
    for (int i = 0; i < 20000; ++i) {
        const double x = std::pow(10.0, exponent(random) / 10);
        EXPECT_NEAR(logOf(x), std::log(x), 1e-15 * std::max(1.0, std::fabs(std::log(x)))) << x;
        EXPECT_NEAR(sqrtOf(x), std::sqrt(x), 1e-15 * std::sqrt(x)) << x;
        const double y = 700 * unit(random);
        EXPECT_NEAR(expOf(y), std::exp(y), 1e-14 * std::exp(y)) << y;
        const double z = std::pow(10.0, 3 * unit(random)) + 1e-3;
        EXPECT_NEAR(logGamma(z), std::lgamma(z), 1e-13 * std::max(1.0, std::fabs(std::lgamma(z))))
            << z;
    }
    EXPECT_EQ(logOf(1), 0);
    EXPECT_EQ(expOf(0), 1);
    EXPECT_NEAR(logOf(4.9e-324), std::log(4.9e-324), 1e-12);
}

TEST(Maths, PolygammaAndItsInverse) {
    // Published values: digamma(1) = -Euler's constant, trigamma(1) =
    // pi^2 / 6, trigamma(1/2) = pi^2 / 2.
    const double pi = 3.14159265358979323846;
    EXPECT_NEAR(digamma(1), -0.57721566490153286, 1e-14);
    EXPECT_NEAR(digamma(0.5), -1.96351002602142348, 1e-14);
    EXPECT_NEAR(trigamma(1), pi * pi / 6, 1e-14);
    EXPECT_NEAR(trigamma(0.5), pi * pi / 2, 1e-13);
    for (double x : {0.01, 0.3, 1.0, 2.5, 7.9, 8.0, 40.0, 1e4, 1e7})
        EXPECT_NEAR(inverseTrigamma(trigamma(x)), x, 1e-7 * x) << x;
}

TEST(Maths, StudentsTAgainstPublishedTables) {
    // Two-sided 5% points: df 1 12.706, 2 4.303, 4 2.776, 8 2.306, 30
    // 2.042, 1000 1.962; and P(|T| >= 2) with 10 degrees, 0.07339.
    const struct {
        double df, q;
    } points[] = {{1, 12.7062047}, {2, 4.30265273}, {4, 2.77644511}, {8, 2.30600414},
                  {30, 2.04227246}, {1000, 1.96233908}};
    for (const auto& point : points) {
        EXPECT_NEAR(tTwoSidedQuantile(0.05, point.df), point.q, 1e-7);
        EXPECT_NEAR(tTwoSidedP(point.q, point.df), 0.05, 1e-9);
    }
    EXPECT_NEAR(tTwoSidedP(2, 10), 0.0733880347, 1e-9);
    EXPECT_NEAR(tTwoSidedP(0, 10), 1, 1e-15);
    EXPECT_NEAR(tTwoSidedP(40, 998), 2 * 0.5 * std::erfc(40 / std::sqrt(2.0)), 1e-190);
}

}  // namespace
