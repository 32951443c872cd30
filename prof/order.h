// The report order of a profile, the keys it is ordered by, and the base
// of its percentages.
#pragma once

#include "profile.h"

// The key an entry is ordered by under time, space, calls and cycles; sums
// of two counters are exact.
std::uint64_t orderKey(const ProfileEntry& entry, const Options& options);
// treeNodes / cycles * 100 in extended precision; 0 when cycles is 0.
double efficiencyOf(const ProfileEntry& entry);
// Fills order with the report order: largest key first (smallest
// efficiency first), equal keys in file order, as an exchange sort of the
// entries would leave them.
void orderEntries(Profile& profile, const Options& options);
// The base of PCT: the key of the first entry in the ordering, shown or
// not; 0 (no PCT) under calls and efficiency.
std::uint64_t percentBaseOf(const Profile& profile, const Options& options);
const char* criterionName(OrderBy orderBy);
