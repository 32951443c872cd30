// Whether a change between the runs of two sides is real: the two-sided
// Mann–Whitney U test at the 5% level, exact (ties taken as midranks) for
// up to exactLimit values in all, from the normal approximation with the
// tie and continuity corrections above. Integer arithmetic and the x87's
// extended precision made with integers, so every machine decides alike.
#pragma once

#include <cstdint>

constexpr std::int32_t exactLimit = 20;

// The exact two-sided p-value of samples a (n values) and b (m values),
// n + m at most exactLimit: the share of the ways to split the values
// into n and m whose rank sum lies at least as far from its mean.
double exactP(const double* a, std::int32_t n, const double* b, std::int32_t m);
// Whether a and b differ at the 5% level.
bool differSignificantly(const double* a, std::int32_t n, const double* b, std::int32_t m);
// Whether n against m values can ever differ at the 5% level.
bool canEverDiffer(std::int32_t n, std::int32_t m);
