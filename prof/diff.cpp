// Comparison of the reported profile with an older one of the same kind:
// a row per rule found in either (the n-th record of a name in one is the
// n-th of that name in the other), with the criterion's key in each, the
// change and the change in percent of the old key, largest change first.
#include "table.h"

#include "extended.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::int32_t keyWidth = 14;
constexpr std::int32_t percentWidth = 10;

constexpr Column columns[] = {
    {"name", Field::name, nullptr, nameWidth},
    {"old", Field::oldKey, nullptr, keyWidth},
    {"new", Field::newKey, nullptr, keyWidth},
    {"change", Field::change, nullptr, keyWidth},
    {"change_pct", Field::changePercent, nullptr, percentWidth},
    {"status", Field::status, nullptr, 0},
};
const Layout layout{columns, 6, {
    "     NAME                                OLD           NEW        CHANGE   CHANGE%",
    "     ----                                ---           ---        ------   -------",
    nullptr}};

struct Change {
    Position oldAt, newAt;  // 0 where the rule is absent
    TL_Extended oldKey, newKey;
    std::int32_t rank;      // report order: the new profile's, then the old one's
};

const TL_Extended zero{false, 0, 0};

// The storage of the comparison last built.
Change changes[2 * maxEntries];
std::int32_t changeCount;
Table table;
char pool[batchRows * (maxColumns + 1) * valueRoom];
char totalPool[(maxColumns + 1) * valueRoom];

bool integerKeys(const Options& options) { return options.orderBy != OrderBy::efficiency; }

TL_Extended keyOf(const ProfileEntry& entry, const Options& options) {
    return integerKeys(options) ? TL_extendedOf(orderKey(entry, options))
                                : TL_extendedOf(efficiencyOf(entry));
}

bool isZero(const TL_Extended& x) { return x.significand == 0; }

// The change in percent of the old key, as a double.
double percentChange(const TL_Extended& oldKey, const TL_Extended& change) {
    return TL_toDouble(TL_multiply(TL_divide(change, oldKey), TL_extendedOf(std::uint64_t{100})));
}

// The positions of the called entries of a profile, by name and then by
// file position, so that equal names pair off in file order.
std::int32_t byName(const Profile& profile, Position out[]) {
    std::int32_t n = 0;
    for (std::int32_t p = 1; p <= profile.entryCount; ++p)
        if (profile.entries[p].calls != 0) out[n++] = static_cast<Position>(p);
    const ProfileEntry* entries = profile.entries;
    std::sort(out, out + n, [entries](Position a, Position b) {
        const int c = std::strcmp(entries[a].name, entries[b].name);
        return c != 0 ? c < 0 : a < b;
    });
    return n;
}

// Matches the rules of old and now into changes, largest change first.
std::int32_t compare(const Profile& old, const Profile& now, const Options& options) {
    static Position oldByName[maxEntries], newByName[maxEntries];
    static std::int32_t oldRank[maxEntries + 1], newRank[maxEntries + 1];
    for (std::int32_t k = 0; k < old.entryCount; ++k) oldRank[old.order[k]] = k;
    for (std::int32_t k = 0; k < now.entryCount; ++k) newRank[now.order[k]] = k;
    const std::int32_t olds = byName(old, oldByName);
    const std::int32_t news = byName(now, newByName);

    std::int32_t count = 0;
    const auto add = [&](Position oldAt, Position newAt) {
        Change& c = changes[count++];
        c.oldAt = oldAt;
        c.newAt = newAt;
        c.oldKey = oldAt != 0 ? keyOf(old.entries[oldAt], options) : zero;
        c.newKey = newAt != 0 ? keyOf(now.entries[newAt], options) : zero;
        c.rank = newAt != 0 ? newRank[newAt] : maxEntries + oldRank[oldAt];
    };
    std::int32_t i = 0, j = 0;
    while (i < olds || j < news) {
        const int c = i == olds   ? 1
                      : j == news ? -1
                                  : std::strcmp(old.entries[oldByName[i]].name,
                                                now.entries[newByName[j]].name);
        if (c < 0)
            add(oldByName[i++], 0);
        else if (c > 0)
            add(0, newByName[j++]);
        else
            add(oldByName[i++], newByName[j++]);
    }
    std::sort(changes, changes + count, [](const Change& a, const Change& b) {
        const int c = TL_compare(TL_magnitude(TL_subtract(a.newKey, a.oldKey)),
                                 TL_magnitude(TL_subtract(b.newKey, b.oldKey)));
        return c != 0 ? c > 0 : a.rank < b.rank;
    });
    return count;
}

void totals(std::int32_t count, TL_Extended& oldTotal, TL_Extended& newTotal) {
    oldTotal = newTotal = zero;
    for (std::int32_t k = 0; k < count; ++k) {
        oldTotal = TL_add(oldTotal, changes[k].oldKey);
        newTotal = TL_add(newTotal, changes[k].newKey);
    }
}

// A key as text: a whole number, or an efficiency with three decimals.
char* keyText(char* p, const TL_Extended& key, const Options& options) {
    const int length =
        integerKeys(options)
            ? std::snprintf(p, valueRoom, "%" PRIu64, static_cast<std::uint64_t>(TL_truncate(key)))
            : std::snprintf(p, valueRoom, "%.3f", TL_toDouble(key));
    return p + length;
}

// The values of a row: the keys where present, the change, and the change
// in percent where there is an old key.
void putValues(Table& table, Row& row, const TL_Extended& oldKey, const TL_Extended& newKey, bool hasOld,
               bool hasNew, const Options& options) {
    const TL_Extended change = TL_subtract(newKey, oldKey);
    char* p = valueRoomFor(table, row, 1);
    endValue(table, row, 1, hasOld ? keyText(p, oldKey, options) : p);
    p = valueRoomFor(table, row, 2);
    endValue(table, row, 2, hasNew ? keyText(p, newKey, options) : p);
    p = valueRoomFor(table, row, 3);
    endValue(table, row, 3, p + (integerKeys(options)
                             ? std::snprintf(p, valueRoom, "%+" PRId64, TL_truncate(change))
                             : std::snprintf(p, valueRoom, "%+.3f", TL_toDouble(change))));
    p = valueRoomFor(table, row, 4);
    endValue(table, row, 4, isZero(oldKey) ? p
                                   : p + std::snprintf(p, valueRoom, "%+.1f",
                                                       percentChange(oldKey, change)));
    // The page's bars show the change.
    setKey(table, row, valueOf(table, row, 3));
}

// The next batch of rows, from change next on.
void fillComparison(Table& t) {
    const Profile& old = *t.oldProfile;
    const Profile& now = *t.profile;
    for (; t.next < changeCount && t.rowCount < batchRows; ++t.next) {
        const Change& c = changes[t.next];
        const char* name = c.newAt != 0 ? now.entries[c.newAt].name : old.entries[c.oldAt].name;
        const char* status = c.oldAt == 0 ? "new" : c.newAt == 0 ? "gone" : "";
        Row& row = t.rows[t.rowCount++];
        beginRow(t, row, name, status);
        putValues(t, row, c.oldKey, c.newKey, c.oldAt != 0, c.newAt != 0, *t.options);
    }
}

}  // namespace

Table& buildComparison(const Profile& old, const Profile& now, const Options& options) {
    table.layout = &layout;
    table.comparison = true;
    table.kind = options.parseProfile ? "parse" : "match";
    table.criterion = criterionName(options.orderBy);
    table.fileName = options.profileName;
    table.oldFileName = options.oldProfileName;
    table.profile = &now;
    table.oldProfile = &old;
    table.options = &options;
    table.fill = fillComparison;
    changeCount = compare(old, now, options);
    // Efficiencies do not add up: there is no total under -eff. The total
    // has texts of its own, beside the batches'.
    table.hasTotal = integerKeys(options);
    if (table.hasTotal) {
        TL_Extended oldTotal, newTotal;
        totals(changeCount, oldTotal, newTotal);
        table.pool = totalPool;
        table.poolUsed = 0;
        beginRow(table, table.total, "(total)", "");
        putValues(table, table.total, oldTotal, newTotal, true, true, options);
    }
    table.pool = pool;
    startRows(table);
    return table;
}

double totalGrowth(const Profile& old, const Profile& now, const Options& options,
                   std::uint64_t& newTotal) {
    TL_Extended oldSum, newSum;
    totals(compare(old, now, options), oldSum, newSum);
    newTotal = static_cast<std::uint64_t>(TL_truncate(newSum));
    if (isZero(oldSum)) return isZero(newSum) ? 0 : HUGE_VAL;
    return percentChange(oldSum, TL_subtract(newSum, oldSum));
}
