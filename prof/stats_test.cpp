#include "stats.h"

#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

// The p-value by going through every split of the values into n and m, with
// U counted pair by pair (a tie a half): an independent computation.
double bruteForceP(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> all(a);
    all.insert(all.end(), b.begin(), b.end());
    const std::size_t n = a.size(), count = all.size();
    const auto u = [&](unsigned mask) {
        double sum = 0;
        for (std::size_t i = 0; i < count; ++i)
            for (std::size_t j = 0; j < count; ++j)
                if ((mask >> i & 1) && !(mask >> j & 1))
                    sum += all[i] > all[j] ? 1 : all[i] == all[j] ? 0.5 : 0;
        return sum;
    };
    const double mean = n * (count - n) / 2.0;
    const double observed = std::fabs(u((1u << n) - 1) - mean);
    double atLeast = 0, splits = 0;
    for (unsigned mask = 0; mask < 1u << count; ++mask) {
        if (static_cast<std::size_t>(__builtin_popcount(mask)) != n) continue;
        ++splits;
        if (std::fabs(u(mask) - mean) >= observed - 1e-9) ++atLeast;
    }
    return atLeast / splits;
}

TEST(MannWhitney, ExactPMatchesEverySplitWithTies) {
    std::mt19937 random(5);
    for (int round = 0; round < 300; ++round) {
        std::vector<double> a(1 + random() % 6), b(1 + random() % 6);
        // Few distinct values, so that ties are common.
        for (double& v : a) v = random() % (round % 2 ? 4 : 100);
        for (double& v : b) v = random() % (round % 2 ? 4 : 100) + round % 3;
        EXPECT_NEAR(exactP(a.data(), static_cast<std::int32_t>(a.size()), b.data(),
                           static_cast<std::int32_t>(b.size())),
                    bruteForceP(a, b), 1e-12)
            << round;
    }
}

TEST(MannWhitney, PublishedSmallestPValues) {
    // Wholly apart, the two-sided exact p-value is 2 / (n+m choose n):
    // 0.1 for 3 against 3, 0.0286 for 4 against 4, 0.0079 for 5 against 5.
    const double low[] = {1, 2, 3, 4, 5}, high[] = {6, 7, 8, 9, 10};
    EXPECT_NEAR(exactP(low, 3, high, 3), 0.1, 1e-12);
    EXPECT_NEAR(exactP(low, 4, high, 4), 2.0 / 70, 1e-12);
    EXPECT_NEAR(exactP(low, 5, high, 5), 2.0 / 252, 1e-12);
    EXPECT_FALSE(differSignificantly(low, 3, high, 3));
    EXPECT_TRUE(differSignificantly(low, 4, high, 4));
    // One step from apart, 4 against 4: two splits at least as far on each
    // side, p = 4/70, which is not below 5% (a one-sided p would be).
    const double near[] = {1, 2, 3, 5}, far[] = {4, 6, 7, 8};
    EXPECT_NEAR(exactP(near, 4, far, 4), 4.0 / 70, 1e-12);
    EXPECT_FALSE(differSignificantly(near, 4, far, 4));
    EXPECT_FALSE(differSignificantly(far, 4, near, 4));
    EXPECT_FALSE(canEverDiffer(2, 2));
    EXPECT_FALSE(canEverDiffer(3, 3));
    EXPECT_FALSE(canEverDiffer(3, 4));
    EXPECT_TRUE(canEverDiffer(4, 4));
    EXPECT_TRUE(canEverDiffer(3, 5));
    EXPECT_TRUE(canEverDiffer(30, 30));
}

TEST(MannWhitney, LargeSamplesFollowTheNormalApproximation) {
    // The decision against z computed in doubles with libm, away from the
    // border.
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        const std::size_t n = 11 + random() % 30, m = 11 + random() % 30;
        std::vector<double> a(n), b(m);
        const double shift = (round % 5) * 3;
        for (double& v : a) v = random() % 40;
        for (double& v : b) v = random() % 40 + shift;
        std::vector<double> all(a);
        all.insert(all.end(), b.begin(), b.end());
        double u = 0;
        for (double x : a)
            for (double y : b) u += x > y ? 1 : x == y ? 0.5 : 0;
        double ties = 0;
        for (double v : all) {
            double t = 0;
            for (double w : all) t += w == v;
            ties += (t * t * t - t) / t;  // each group counted once over its members
        }
        const double count = n + m;
        const double sigma =
            std::sqrt(n * m / 12.0 * (count + 1 - ties / (count * (count - 1))));
        const double z = (std::fabs(u - n * m / 2.0) - 0.5) / sigma;
        if (std::fabs(z - 1.959964) < 0.01) continue;
        EXPECT_EQ(differSignificantly(a.data(), static_cast<std::int32_t>(n), b.data(),
                                      static_cast<std::int32_t>(m)),
                  z > 1.959964)
            << round << " z " << z;
    }
}

}  // namespace
