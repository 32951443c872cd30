#include "history.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

// A simulated history: 500 rules, sizes from 100 to 10^6 (even in their
// logarithm), each run's value its size times 1 + a uniform noise of
// ±noise, times each point's shared factor (sd pointSd), rounded; the
// first steps rules step up by factor at a point, and of them the first
// backs come back 6 to 10 points later; from shiftAt on, every rule is
// slower by shift.
struct Case {
    std::uint32_t seed;
    int points = 40, runs = 1;
    double noise = 0.05;
    double pointSd = 0;
    int steps = 15, backs = 5;
    double factor = 1.15;
    int shiftAt = -1;
    double shift = 1.06;
    int noisy = 0;              // the last rules noisyTimes as noisy
    double noisyTimes = 4;
    double lastSlower = 1;      // the rules of 10^5.8 and more this much slower at the last point
    int histories = 20;
    int rules = 500;
};

struct Found {
    double found = 0;           // share of the true steps reported at their point (±1)
    double falseShare = 0;      // share of the reported steps with no true step within 2 points
    double falsePerHistory = 0;
    double shiftsRight = 0;     // share of histories with exactly one shift, at shiftAt ±1
    double shiftsPerHistory = 0;
    double lastGrew = 0;        // share of histories whose last point starts a growth of the total over 5%
};

struct TrueStep {
    int rule, at;
};

Found simulate(const Case& k) {
    std::mt19937_64 random(k.seed);
    std::uniform_real_distribution<double> unit(0, 1);
    std::normal_distribution<double> normal(0, 1);
    const int runCount = k.points * k.runs;
    std::vector<double> keys(static_cast<std::size_t>(k.rules) * runCount), calls(keys.size(), 1);
    std::vector<std::int32_t> first(k.points + 1);
    for (int t = 0; t <= k.points; ++t) first[t] = t * k.runs;
    double trueCount = 0, found = 0, reported = 0, falseReported = 0, shiftsRight = 0, shifts = 0;
    double lastGrew = 0;
    std::vector<double> totals(runCount);
    for (int history = 0; history < k.histories; ++history) {
        std::vector<TrueStep> truth;
        std::vector<int> up(k.rules, -1), down(k.rules, -1);
        for (int g = 0; g < k.steps; ++g) {
            // Three points before a step at the least, and three after it
            // or after its way back.
            const int back = g < k.backs ? 6 + static_cast<int>(unit(random) * 5) : 0;
            up[g] = 3 + static_cast<int>(unit(random) * (k.points - 6 - back));
            truth.push_back({g, up[g]});
            if (back != 0) {
                down[g] = up[g] + back;
                truth.push_back({g, down[g]});
            }
        }
        std::vector<double> pointFactor(k.points);
        for (double& f : pointFactor) f = std::exp(k.pointSd * normal(random));
        std::fill(totals.begin(), totals.end(), 0.0);
        for (int g = 0; g < k.rules; ++g) {
            const double place = 2 + 4 * unit(random);
            const double size = std::pow(10.0, place);
            const double noise = g >= k.rules - k.noisy ? k.noise * k.noisyTimes : k.noise;
            for (int t = 0; t < k.points; ++t) {
                double level = size * pointFactor[t];
                if (t == k.points - 1 && place >= 5.8) level *= k.lastSlower;
                if (t >= up[g] && up[g] >= 0 && (down[g] < 0 || t < down[g])) level *= k.factor;
                if (k.shiftAt >= 0 && t >= k.shiftAt) level *= k.shift;
                for (int r = 0; r < k.runs; ++r) {
                    double& key = keys[static_cast<std::size_t>(g) * runCount + t * k.runs + r];
                    key = std::floor(level * (1 + noise * (2 * unit(random) - 1)) + 0.5);
                    totals[t * k.runs + r] += key;
                }
            }
        }
        const HistorySeries h{k.points, first.data(), runCount, k.rules, keys.data(), calls.data()};
        HistoryChanges changes{};
        findHistoryChanges(h, true, totals.data(), changes);
        for (std::int32_t i = 0; i < changes.totalCount; ++i)
            lastGrew += changes.total[i].at == k.points - 1 && changes.total[i].changePercent > 5;
        for (const TrueStep& s : truth) {
            bool hit = false;
            for (std::int32_t i = 0; i < changes.stepCount; ++i)
                hit = hit || (changes.steps[i].rule == s.rule && std::abs(changes.steps[i].at - s.at) <= 1);
            found += hit;
        }
        trueCount += truth.size();
        for (std::int32_t i = 0; i < changes.stepCount; ++i) {
            bool near = false;
            for (const TrueStep& s : truth)
                near = near || (changes.steps[i].rule == s.rule && std::abs(changes.steps[i].at - s.at) <= 2);
            ++reported;
            falseReported += !near;
        }
        shifts += changes.shiftCount;
        shiftsRight += changes.shiftCount == 1 && std::abs(changes.shifts[0].at - k.shiftAt) <= 1;
        releaseHistoryChanges(changes);
    }
    Found f;
    f.found = trueCount > 0 ? found / trueCount : 1;
    f.falseShare = reported > 0 ? falseReported / reported : 0;
    f.falsePerHistory = falseReported / k.histories;
    f.shiftsRight = shiftsRight / k.histories;
    f.shiftsPerHistory = shifts / k.histories;
    f.lastGrew = lastGrew / k.histories;
    std::printf("found %.3f, false share %.3f, false a history %.2f, shifts %.2f a history, right %.2f, "
                "last point grew %.2f\n",
                f.found, f.falseShare, f.falsePerHistory, f.shiftsPerHistory, f.shiftsRight, f.lastGrew);
    return f;
}

TEST(History, StepsOfOneRunAPointAreFoundWhereTheyAre) {
    const Found f = simulate(Case{1});
    EXPECT_GE(f.found, 0.90);
    EXPECT_LE(f.falseShare, 0.10);
}

TEST(History, StepsOfThreeNoisyRunsAPointAreFoundWhereTheyAre) {
    Case k{2};
    k.points = 30;
    k.runs = 3;
    k.noise = 0.10;
    k.factor = 1.12;
    const Found f = simulate(k);
    EXPECT_GE(f.found, 0.90);
    EXPECT_LE(f.falseShare, 0.10);
}

TEST(History, NothingChangedReportsHardlyAnything) {
    Case k{3};
    k.steps = k.backs = 0;
    EXPECT_LE(simulate(k).falsePerHistory, 0.2);
    k.seed = 4;
    k.pointSd = 0.02;
    const Found shared = simulate(k);
    EXPECT_LE(shared.falsePerHistory, 0.2);
    EXPECT_LE(shared.shiftsPerHistory, 0.1);
}

TEST(History, ANoisyRuleKeepsItsOwnNoise) {
    Case k{6};
    k.steps = k.backs = 0;
    k.noisy = 1;
    EXPECT_LE(simulate(k).falsePerHistory, 0.2);
}

TEST(History, TheNewestPointAloneStartsAGrowthOfTheTotal) {
    Case k{7};
    k.steps = k.backs = 0;
    k.lastSlower = 1.25;
    EXPECT_GE(simulate(k).lastGrew, 0.95);
    k.seed = 8;
    k.lastSlower = 1;
    EXPECT_LE(simulate(k).lastGrew, 0.05);
}

TEST(History, AShiftOfEverythingIsOneShiftNotManyRuleChanges) {
    Case k{5};
    k.steps = k.backs = 0;
    k.shiftAt = 20;
    const Found f = simulate(k);
    EXPECT_GE(f.shiftsRight, 0.95);
    EXPECT_LE(f.falsePerHistory, 5);
}

}  // namespace
