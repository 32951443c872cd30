// The report order is that of an exchange sort with strict comparisons:
// largest key first, entries with equal keys in file order. Sorting the
// positions with file order breaking ties gives the same order without
// moving a record (and std::sort needs no memory of its own, unlike
// std::stable_sort, which would bring the C++ library in at run time).
#include "order.h"

#include "extended.h"

#include <algorithm>
#include <cstring>

std::uint64_t orderKey(const ProfileEntry& entry, const Options& options) {
    switch (options.orderBy) {
    case OrderBy::time: return entry.time;
    case OrderBy::space: return std::uint64_t{entry.treeNodes} + entry.kidCells;
    case OrderBy::calls: return entry.calls;
    case OrderBy::cycles:
        return options.parseProfile ? entry.cycles
                                    : std::uint64_t{entry.cycles} + entry.backtracks;
    case OrderBy::efficiency: break;
    }
    return 0;
}

double efficiencyOf(const ProfileEntry& entry) {
    if (entry.cycles == 0) return 0;
    const TL_Extended share = TL_divide(TL_extendedOf(std::uint64_t{entry.treeNodes}),
                                        TL_extendedOf(std::uint64_t{entry.cycles}));
    return TL_toDouble(TL_multiply(share, TL_extendedOf(std::uint64_t{100})));
}

void orderEntries(Profile& profile, const Options& options) {
    const std::int32_t count = profile.entryCount;
    for (std::int32_t p = 1; p <= count; ++p) profile.order[p - 1] = static_cast<Position>(p);
    // A match profile has no efficiency and stays in file order.
    const bool byEfficiency = options.orderBy == OrderBy::efficiency;
    if (byEfficiency && !options.parseProfile) return;
    // Each entry's key, worked out once rather than at every comparison.
    // An efficiency is never negative, so its bits order as it does; the
    // smallest comes first, so its bits are turned over.
    std::uint64_t keys[maxEntries + 1];
    for (std::int32_t p = 1; p <= count; ++p) {
        if (byEfficiency) {
            const double efficiency = efficiencyOf(profile.entries[p]);
            std::uint64_t bits;
            std::memcpy(&bits, &efficiency, sizeof bits);
            keys[p] = ~bits;
        } else {
            keys[p] = orderKey(profile.entries[p], options);
        }
    }
    std::sort(profile.order, profile.order + count, [&keys](Position a, Position b) {
        return keys[a] != keys[b] ? keys[a] > keys[b] : a < b;
    });
}

std::uint64_t percentBaseOf(const Profile& profile, const Options& options) {
    if (options.orderBy == OrderBy::calls || options.orderBy == OrderBy::efficiency ||
        profile.entryCount == 0)
        return 0;
    return orderKey(profile.entries[profile.order[0]], options);
}

const char* criterionName(OrderBy orderBy) {
    switch (orderBy) {
    case OrderBy::time: return "time";
    case OrderBy::space: return "space";
    case OrderBy::calls: return "calls";
    case OrderBy::cycles: return "cycles";
    case OrderBy::efficiency: return "efficiency";
    }
    return "";
}
