#include "stats.h"

#include "extended.h"
#include "messages.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Twice the midrank of each value of a and b together, a's first, and the
// sum over the groups of equal values of t^3 - t.
std::uint64_t doubledRanks(const double* a, std::int32_t n, const double* b, std::int32_t m,
                           std::int32_t* ranks) {
    const std::int32_t count = n + m;
    std::int32_t* index = allocateArray<std::int32_t>(static_cast<std::size_t>(count));
    double* values = allocateArray<double>(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        index[i] = i;
        values[i] = i < n ? a[i] : b[i - n];
    }
    std::sort(index, index + count, [values](std::int32_t x, std::int32_t y) {
        return values[x] < values[y];
    });
    std::uint64_t ties = 0;
    for (std::int32_t first = 0; first < count;) {
        std::int32_t last = first;
        while (last + 1 < count && values[index[last + 1]] == values[index[first]]) ++last;
        // Ranks first + 1 to last + 1: twice their mean is their sum.
        for (std::int32_t k = first; k <= last; ++k) ranks[index[k]] = first + last + 2;
        const std::uint64_t t = static_cast<std::uint64_t>(last - first + 1);
        ties += t * t * t - t;
        first = last + 1;
    }
    std::free(index);
    std::free(values);
    return ties;
}

// The number of ways to choose n of m things (m at most exactLimit).
std::uint64_t choose(std::int32_t n, std::int32_t m) {
    std::uint64_t ways = 1;
    for (std::int32_t i = 1; i <= n; ++i) ways = ways * static_cast<std::uint64_t>(m - n + i) / i;
    return ways;
}

// Of all the ways to split the values of a and b into n and m, how many
// have a rank sum at least as far from its mean as a's (counts exact in a
// double up to 20 choose 10).
void exactCounts(const double* a, std::int32_t n, const double* b, std::int32_t m,
                 double& atLeast, double& all) {
    const std::int32_t count = n + m;
    std::int32_t ranks[exactLimit];
    doubledRanks(a, n, b, m, ranks);
    std::int32_t observed = 0;
    for (std::int32_t i = 0; i < n; ++i) observed += ranks[i];
    // No doubled rank exceeds 2 count: the sums stay under this.
    const std::int32_t maxSum = 2 * count * count + 1;
    // ways[k * maxSum + s]: the subsets of k of the values seen so far
    // whose doubled ranks add up to s. Counts up to 20 choose 10, exact in
    // a double.
    double* const ways = allocateArray<double>(static_cast<std::size_t>((n + 1) * maxSum));
    const auto at = [&](std::int32_t k, std::int32_t s) -> double& { return ways[k * maxSum + s]; };
    at(0, 0) = 1;
    for (std::int32_t v = 0; v < count; ++v)
        for (std::int32_t k = std::min(v + 1, n); k >= 1; --k)
            for (std::int32_t s = maxSum - 1; s >= ranks[v]; --s) at(k, s) += at(k - 1, s - ranks[v]);
    // The doubled rank sum's mean is n (count + 1).
    const std::int32_t mean = n * (count + 1);
    const std::int32_t distance = std::abs(observed - mean);
    atLeast = all = 0;
    for (std::int32_t s = 0; s < maxSum; ++s) {
        all += at(n, s);
        if (std::abs(s - mean) >= distance) atLeast += at(n, s);
    }
    std::free(ways);
}

}  // namespace

double exactP(const double* a, std::int32_t n, const double* b, std::int32_t m) {
    double atLeast, all;
    exactCounts(a, n, b, m, atLeast, all);
    return atLeast / all;
}

bool differSignificantly(const double* a, std::int32_t n, const double* b, std::int32_t m) {
    if (n == 0 || m == 0) return false;
    const std::int32_t count = n + m;
    if (count <= exactLimit) {
        // p < 1/20, in whole counts.
        double atLeast, all;
        exactCounts(a, n, b, m, atLeast, all);
        return atLeast * 20 < all;
    }
    std::int32_t* ranks = allocateArray<std::int32_t>(static_cast<std::size_t>(count));
    const std::uint64_t ties = doubledRanks(a, n, b, m, ranks);
    std::int64_t doubled = 0;
    for (std::int32_t i = 0; i < n; ++i) doubled += ranks[i];
    std::free(ranks);
    // 2U - nm, from the doubled rank sum 2W: 2U = 2W/2*2 - n(n+1).
    const std::int64_t d = std::llabs(doubled - std::int64_t{n} * (n + 1) - std::int64_t{n} * m);
    if (d <= 1) return false;
    // z > 1.959964 with z = (|U - nm/2| - 1/2) / sigma, squared and with
    // sigma^2 = nm/12 (count + 1 - ties / (count (count - 1))):
    // 3 (d - 1)^2 count (count - 1) > 3.841459 nm (count (count^2 - 1) - ties).
    const auto ext = [](std::uint64_t x) { return TL_extendedOf(x); };
    const std::uint64_t c = static_cast<std::uint64_t>(count);
    const TL_Extended left = TL_multiply(
        TL_multiply(ext(3), TL_multiply(ext(static_cast<std::uint64_t>(d - 1)),
                                        ext(static_cast<std::uint64_t>(d - 1)))),
        ext(c * (c - 1)));
    const TL_Extended spread = TL_subtract(TL_multiply(ext(c), ext(c * c - 1)), ext(ties));
    const TL_Extended right = TL_divide(
        TL_multiply(TL_multiply(ext(3841459), ext(static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(m))), spread),
        ext(1000000));
    return TL_compare(left, right) > 0;
}

bool canEverDiffer(std::int32_t n, std::int32_t m) {
    if (n == 0 || m == 0) return false;
    if (n + m > exactLimit) return true;
    // At best all of one side lies below the other: two splits of all,
    // which must be under 1/20 of them.
    return choose(n, n + m) > 40;
}
