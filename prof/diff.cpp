// Comparison of the reported profile with an older one of the same kind:
// a row per rule found in either (the n-th record of a name in one is the
// n-th of that name in the other), with the criterion's key in each, the
// change and the change in percent of the old key, largest change first.
#include "export.h"
#include "extended.h"
#include "profile.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstring>

namespace {

ProfileEntry oldEntries[maxEntries + 1];
std::int32_t oldCount;
Position oldOrder[maxEntries];

struct Change {
    Position oldAt, newAt;  // 0 where the rule is absent
    TL_Extended oldKey, newKey;
    std::int32_t rank;      // report order: the new profile's, then the old one's
};

Change changes[2 * maxEntries];
std::int32_t changeCount;
TL_Extended oldTotal, newTotal;
const TL_Extended zero{false, 0, 0};

constexpr int keyWidth = 14;
constexpr int percentWidth = 10;
const char* const header[] = {
    "     NAME                                OLD           NEW        CHANGE   CHANGE%",
    "     ----                                ---           ---        ------   -------",
};

bool integerKeys() { return orderBy != OrderBy::efficiency; }

TL_Extended keyOf(const ProfileEntry& entry) {
    return integerKeys() ? TL_extendedOf(orderKey(entry)) : TL_extendedOf(efficiencyOf(entry));
}

bool isZero(const TL_Extended& x) { return x.significand == 0; }

// The change in percent of the old key, as a double.
double percentChange(const TL_Extended& oldKey, const TL_Extended& change) {
    return TL_toDouble(TL_multiply(TL_divide(change, oldKey), TL_extendedOf(std::uint64_t{100})));
}

// The positions of the called entries of a table, by name and then by file
// position, so that equal names pair off in file order.
std::int32_t byName(const ProfileEntry* table, std::int32_t count, Position out[]) {
    std::int32_t n = 0;
    for (std::int32_t p = 1; p <= count; ++p)
        if (table[p].calls != 0) out[n++] = static_cast<Position>(p);
    std::sort(out, out + n, [table](Position a, Position b) {
        const int c = std::strcmp(table[a].name, table[b].name);
        return c != 0 ? c < 0 : a < b;
    });
    return n;
}

void addChange(Position oldAt, Position newAt, const std::int32_t oldRank[],
               const std::int32_t newRank[]) {
    Change& c = changes[changeCount++];
    c.oldAt = oldAt;
    c.newAt = newAt;
    c.oldKey = oldAt != 0 ? keyOf(oldEntries[oldAt]) : zero;
    c.newKey = newAt != 0 ? keyOf(entries[newAt]) : zero;
    c.rank = newAt != 0 ? newRank[newAt] : maxEntries + oldRank[oldAt];
}

const char* nameOf(const Change& c) {
    return c.newAt != 0 ? entries[c.newAt].name : oldEntries[c.oldAt].name;
}

const char* statusOf(const Change& c) {
    return c.oldAt == 0 ? "new" : c.newAt == 0 ? "gone" : "";
}

// The texts of a key, a change and a change in percent; "" where absent.
void keyText(char* out, std::size_t room, const TL_Extended& key, bool present) {
    if (!present)
        out[0] = '\0';
    else if (integerKeys())
        std::snprintf(out, room, "%" PRIu64, static_cast<std::uint64_t>(TL_truncate(key)));
    else
        std::snprintf(out, room, "%.3f", TL_toDouble(key));
}

void changeText(char* out, std::size_t room, const TL_Extended& change) {
    if (integerKeys())
        std::snprintf(out, room, "%+" PRId64, TL_truncate(change));
    else
        std::snprintf(out, room, "%+.3f", TL_toDouble(change));
}

void percentText(char* out, std::size_t room, const TL_Extended& oldKey,
                 const TL_Extended& change, bool withSign) {
    if (isZero(oldKey))
        out[0] = '\0';
    else
        std::snprintf(out, room, withSign ? "%+.1f%%" : "%+.1f", percentChange(oldKey, change));
}

struct Texts {
    char oldKey[40], newKey[40], change[40], percent[40];
};

Texts textsOf(const TL_Extended& oldKey, const TL_Extended& newKey, bool hasOld, bool hasNew,
              bool percentSign) {
    Texts t;
    const TL_Extended change = TL_subtract(newKey, oldKey);
    keyText(t.oldKey, sizeof t.oldKey, oldKey, hasOld);
    keyText(t.newKey, sizeof t.newKey, newKey, hasNew);
    changeText(t.change, sizeof t.change, change);
    percentText(t.percent, sizeof t.percent, oldKey, change, percentSign);
    return t;
}

std::int32_t shownChanges() {
    return topRows != 0 && topRows < changeCount ? topRows : changeCount;
}

// "old", "new", "change" and "change_pct" as JSON members.
void putJsonNumbers(const char* const texts[4]) {
    const char* const keys[] = {"\"old\": ", ", \"new\": ", ", \"change\": ",
                                ", \"change_pct\": "};
    for (int i = 0; i < 4; ++i) {
        putRaw(keys[i]);
        // JSON numbers take no plus sign.
        putJsonNumber(texts[i][0] == '+' ? texts[i] + 1 : texts[i]);
    }
}

void printLine(const char* name, const Texts& t, const char* status) {
    char line[512];
    TL_string cut;
    cutName(cut, name);
    int used = std::snprintf(line, sizeof line, "%-*s%*s%*s%*s%*s", nameWidth, cut, keyWidth,
                             t.oldKey, keyWidth, t.newKey, keyWidth, t.change, percentWidth,
                             t.percent);
    if (status[0] != '\0')
        std::snprintf(line + used, sizeof line - static_cast<std::size_t>(used), "  %s", status);
    TL_putLine(-1, {line});
}

}  // namespace

void keepAsOld() {
    orderEntries();
    oldCount = entryCount;
    std::memcpy(oldEntries, entries, sizeof(ProfileEntry) * static_cast<std::size_t>(entryCount + 1));
    std::memcpy(oldOrder, order, sizeof(Position) * static_cast<std::size_t>(entryCount));
}

void compareProfiles() {
    static Position oldByName[maxEntries], newByName[maxEntries];
    static std::int32_t oldRank[maxEntries + 1], newRank[maxEntries + 1];
    for (std::int32_t k = 0; k < oldCount; ++k) oldRank[oldOrder[k]] = k;
    for (std::int32_t k = 0; k < entryCount; ++k) newRank[order[k]] = k;
    const std::int32_t olds = byName(oldEntries, oldCount, oldByName);
    const std::int32_t news = byName(entries, entryCount, newByName);

    changeCount = 0;
    std::int32_t i = 0, j = 0;
    while (i < olds || j < news) {
        const int c = i == olds   ? 1
                      : j == news ? -1
                                  : std::strcmp(oldEntries[oldByName[i]].name,
                                                entries[newByName[j]].name);
        if (c < 0)
            addChange(oldByName[i++], 0, oldRank, newRank);
        else if (c > 0)
            addChange(0, newByName[j++], oldRank, newRank);
        else
            addChange(oldByName[i++], newByName[j++], oldRank, newRank);
    }
    std::sort(changes, changes + changeCount, [](const Change& a, const Change& b) {
        const int c = TL_compare(TL_magnitude(TL_subtract(a.newKey, a.oldKey)),
                                 TL_magnitude(TL_subtract(b.newKey, b.oldKey)));
        return c != 0 ? c > 0 : a.rank < b.rank;
    });
    oldTotal = newTotal = zero;
    for (std::int32_t k = 0; k < changeCount; ++k) {
        oldTotal = TL_add(oldTotal, changes[k].oldKey);
        newTotal = TL_add(newTotal, changes[k].newKey);
    }
}

std::uint64_t newTotalValue() { return static_cast<std::uint64_t>(TL_truncate(newTotal)); }

double totalGrowth() {
    if (isZero(oldTotal)) return isZero(newTotal) ? 0 : HUGE_VAL;
    return percentChange(oldTotal, TL_subtract(newTotal, oldTotal));
}

void printComparison() {
    for (const char* line : header) TL_putLine(-1, {line});
    const std::int32_t shown = shownChanges();
    for (std::int32_t k = 0; k < shown; ++k) {
        const Change& c = changes[k];
        printLine(nameOf(c), textsOf(c.oldKey, c.newKey, c.oldAt != 0, c.newAt != 0, true),
                  statusOf(c));
    }
    // Efficiencies do not add up: there is no total under -eff.
    if (integerKeys()) printLine("(total)", textsOf(oldTotal, newTotal, true, true, true), "");
}

void forEachComparisonRow(void (*row)(const char* name, const char* status,
                                      const char* const texts[4])) {
    const std::int32_t shown = shownChanges();
    for (std::int32_t k = 0; k < shown; ++k) {
        const Change& c = changes[k];
        const Texts t = textsOf(c.oldKey, c.newKey, c.oldAt != 0, c.newAt != 0, false);
        const char* const texts[] = {t.oldKey, t.newKey, t.change, t.percent};
        row(nameOf(c), statusOf(c), texts);
    }
}

void comparisonTotal(void (*row)(const char* name, const char* status,
                                 const char* const texts[4])) {
    if (!integerKeys()) return;
    const Texts t = textsOf(oldTotal, newTotal, true, true, false);
    const char* const texts[] = {t.oldKey, t.newKey, t.change, t.percent};
    row("(total)", "", texts);
}

void printComparisonCsv() {
    putRaw("name,old,new,change,change_pct,status\r\n");
    forEachComparisonRow([](const char* name, const char* status, const char* const texts[4]) {
        putCsvField(name);
        for (int i = 0; i < 4; ++i) {
            putRaw(",");
            putRaw(texts[i]);
        }
        putRaw(",");
        putRaw(status);
        putRaw("\r\n");
    });
}

void printComparisonJson() {
    putJsonHead();
    putRaw(", \"old_file\": ");
    putJsonString(oldProfileName);
    putRaw(", \"rows\": [");
    static bool first;
    first = true;
    forEachComparisonRow([](const char* name, const char* status, const char* const texts[4]) {
        putRaw(first ? "\n  {\"name\": " : ",\n  {\"name\": ");
        first = false;
        putJsonString(name);
        putRaw(", ");
        putJsonNumbers(texts);
        putRaw(", \"status\": ");
        putJsonString(status);
        putRaw("}");
    });
    putRaw(first ? "], \"total\": " : "\n], \"total\": ");
    if (integerKeys()) {
        const Texts t = textsOf(oldTotal, newTotal, true, true, false);
        const char* const texts[] = {t.oldKey, t.newKey, t.change, t.percent};
        putRaw("{");
        putJsonNumbers(texts);
        putRaw("}}\n");
    } else {
        putRaw("null}\n");
    }
}
