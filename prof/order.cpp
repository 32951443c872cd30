// The report order is that of an exchange sort with strict comparisons:
// largest key first, entries with equal keys in file order. Sorting the
// positions with file order breaking ties gives the same order without
// moving a record (and std::sort needs no memory of its own, unlike
// std::stable_sort, which would bring the C++ library in at run time).
#include "profile.h"

#include "extended.h"

#include <algorithm>

namespace {

std::uint64_t keys[maxEntries + 1];
double efficiencies[maxEntries + 1];

// Whether entry a comes before entry b.
bool before(Position a, Position b) {
    if (orderBy == OrderBy::efficiency)
        return efficiencies[a] != efficiencies[b] ? efficiencies[a] < efficiencies[b] : a < b;
    return keys[a] != keys[b] ? keys[a] > keys[b] : a < b;
}

}  // namespace

std::uint64_t orderKey(const ProfileEntry& entry) {
    switch (orderBy) {
    case OrderBy::time: return entry.time;
    case OrderBy::space: return std::uint64_t{entry.treeNodes} + entry.kidCells;
    case OrderBy::calls: return entry.calls;
    case OrderBy::cycles:
        return parseProfile ? entry.cycles : std::uint64_t{entry.cycles} + entry.backtracks;
    case OrderBy::efficiency: break;
    }
    return 0;
}

double efficiencyOf(const ProfileEntry& entry) {
    if (entry.cycles == 0) return 0;
    const TL_Extended share =
        TL_divide(TL_extendedOf(std::uint64_t{entry.treeNodes}), TL_extendedOf(std::uint64_t{entry.cycles}));
    return TL_toDouble(TL_multiply(share, TL_extendedOf(std::uint64_t{100})));
}

void orderEntries() {
    for (std::int32_t p = 1; p <= entryCount; ++p) order[p - 1] = static_cast<Position>(p);
    // A match profile has no efficiency and stays in file order.
    if (orderBy == OrderBy::efficiency && !parseProfile) return;
    for (std::int32_t p = 1; p <= entryCount; ++p) {
        if (orderBy == OrderBy::efficiency)
            efficiencies[p] = efficiencyOf(entries[p]);
        else
            keys[p] = orderKey(entries[p]);
    }
    std::sort(order, order + entryCount, before);
}

void setPercentBase() {
    percentBase = orderBy == OrderBy::calls || orderBy == OrderBy::efficiency || entryCount == 0
                      ? 0
                      : orderKey(entries[order[0]]);
}
