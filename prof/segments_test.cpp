#include "segments.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// A series of points of three runs each, searched alone at 5%: where its
// changes are, as "+4" for a step at point 4 and "+3..9" for a gradual
// change from its first point moved to its first at the new level.
std::string changesOf(const std::vector<double>& means) {
    const std::size_t n = means.size() + 1;
    std::vector<double> mean(means), weight(n, 3), sumW(n), sumWY(n), high(4 * n), low(4 * n), scratch(n);
    std::vector<std::int32_t> point(n), at(n);
    for (std::size_t t = 0; t < n; ++t) point[t] = static_cast<std::int32_t>(t);
    Series x{mean.data(), weight.data(), sumW.data(), sumWY.data(), point.data(),
             static_cast<std::int32_t>(means.size()), high.data(), low.data(), 0, 0, false, {0, 0, 0, -1}};
    addUp(x);
    Cuts cuts{at.data(), 0};
    const Fit fit = firstFit(x, 0.05, cuts, scratch.data());
    findCuts(x, fit, 0.05, 0.005, cuts);
    StepList list{nullptr, 0, 0};
    addSteps(list, x, cuts, fit, 0);
    std::string found;
    for (std::int32_t k = 0; k < list.count; ++k) {
        const Step& s = list.item[k];
        found += (found.empty() ? "+" : " +") + std::to_string(s.at);
        if (isGradual(s)) found += ".." + std::to_string(s.until);
    }
    std::free(list.item);
    return found;
}

// A little noise of a fixed sequence, and what rides on it.
std::vector<double> series(std::int32_t count, double (*shape)(std::int32_t)) {
    std::vector<double> v;
    for (std::int32_t t = 0; t < count; ++t) v.push_back(((t * 7) % 5 - 2) * 0.004 + shape(t));
    return v;
}

TEST(Segments, StepsSpikesAndRamps) {
    const struct {
        const char* what;
        double (*shape)(std::int32_t);
        const char* changes;
    } cases[] = {
        {"flat", [](std::int32_t) { return 0.0; }, ""},
        {"a step", [](std::int32_t t) { return t >= 8 ? 0.2 : 0.0; }, "+8"},
        {"a spike is no change", [](std::int32_t t) { return t == 8 ? 0.3 : 0.0; }, ""},
        {"two points out of line are", [](std::int32_t t) { return t == 8 || t == 9 ? 0.3 : 0.0; }, "+8 +10"},
        {"a ramp over six points is gradual",
         [](std::int32_t t) { return t < 6 ? 0.0 : t >= 11 ? 0.24 : (t - 5) * 0.04; }, "+6..11"},
        {"a step under the least change is none", [](std::int32_t t) { return t >= 8 ? 0.004 : 0.0; }, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(changesOf(series(20, c.shape)), c.changes) << c.what;
}

}  // namespace
