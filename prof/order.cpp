// The report order is that of an exchange sort with strict comparisons:
// largest key first, entries with equal keys in file order. A stable merge
// sort of positions gives the same order in O(n log n) without moving a
// record.
#include "profile.h"

#include "extended.h"

namespace {

std::uint64_t keys[maxEntries + 1];
double efficiencies[maxEntries + 1];
Position scratch[maxEntries];

// Whether entry a must come before entry b (never true for equal keys).
bool before(Position a, Position b) {
    if (orderBy == OrderBy::efficiency) return efficiencies[a] < efficiencies[b];
    return keys[a] > keys[b];
}

void mergeSort(std::int32_t count) {
    Position* from = order;
    Position* to = scratch;
    for (std::int32_t width = 1; width < count; width *= 2) {
        for (std::int32_t low = 0; low < count; low += 2 * width) {
            std::int32_t middle = low + width < count ? low + width : count;
            std::int32_t high = low + 2 * width < count ? low + 2 * width : count;
            std::int32_t left = low, right = middle, out = low;
            while (left < middle && right < high)
                to[out++] = before(from[right], from[left]) ? from[right++] : from[left++];
            while (left < middle) to[out++] = from[left++];
            while (right < high) to[out++] = from[right++];
        }
        Position* swap = from;
        from = to;
        to = swap;
    }
    if (from != order)
        for (std::int32_t i = 0; i < count; ++i) order[i] = from[i];
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
    mergeSort(entryCount);
}

void setPercentBase() {
    percentBase = orderBy == OrderBy::calls || orderBy == OrderBy::efficiency || entryCount == 0
                      ? 0
                      : orderKey(entries[order[0]]);
}
