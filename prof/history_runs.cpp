#include "history_runs.h"

#include "merge.h"
#include "comparison.h"
#include "maths.h"
#include "messages.h"
#include "significance.h"

#include <cstdlib>
#include <cstring>

namespace {

// The array at block grown to room objects, or the end of the run.
template <typename T>
T* grown(T* block, std::int64_t room) {
    void* more = std::realloc(block, sizeof(T) * static_cast<std::size_t>(room));
    if (more == nullptr) fail({"Out of memory"});
    return static_cast<T*>(more);
}

// FNV-1a over the name, then the occurrence.
std::uint32_t hashOf(const char* name, std::int32_t occurrence) {
    std::uint32_t hash = 2166136261u;
    for (const char* c = name; *c != '\0'; ++c) hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
    return (hash ^ static_cast<std::uint32_t>(occurrence)) * 16777619u;
}

// The slot of the rule of name's occurrence, or the empty one it would take.
std::uint32_t slotOf(const HistoryRuns& h, const char* name, std::int32_t occurrence) {
    const std::uint32_t mask = h.byNameRoom - 1;
    for (std::uint32_t slot = hashOf(name, occurrence) & mask;; slot = (slot + 1) & mask) {
        const std::int32_t g = h.byName[slot] - 1;
        if (g < 0 || (h.occurrence[g] == occurrence && std::strcmp(h.ruleNames[g], name) == 0)) return slot;
    }
}

// Twice the room, every rule in its new slot; kept under half full.
void growNames(HistoryRuns& h) {
    std::free(h.byName);
    h.byNameRoom = h.byNameRoom == 0 ? 1024 : h.byNameRoom * 2;
    h.byName = allocateArray<std::int32_t>(h.byNameRoom);
    for (std::int32_t g = 0; g < h.ruleCount; ++g)
        h.byName[slotOf(h, h.ruleNames[g], h.occurrence[g])] = g + 1;
}

std::int32_t ruleOf(HistoryRuns& h, const char* name, std::int32_t occurrence) {
    std::uint32_t slot = slotOf(h, name, occurrence);
    if (h.byName[slot] != 0) return h.byName[slot] - 1;
    if (h.ruleCount == h.ruleRoom) {
        h.ruleRoom = h.ruleRoom * 2 + 64;
        h.ruleNames = grown(h.ruleNames, h.ruleRoom);
        h.occurrence = grown(h.occurrence, h.ruleRoom);
        h.stamp = grown(h.stamp, h.ruleRoom);
        h.seen = grown(h.seen, h.ruleRoom);
    }
    const std::size_t length = std::strlen(name) + 1;
    char* const copy = allocateArray<char>(length);
    std::memcpy(copy, name, length);
    const std::int32_t g = h.ruleCount++;
    h.ruleNames[g] = copy;
    h.occurrence[g] = occurrence;
    h.stamp[g] = 0;
    h.byName[slot] = g + 1;
    if (2 * static_cast<std::uint32_t>(h.ruleCount) > h.byNameRoom) growNames(h);
    return g;
}

// The rule of name's occurrence, or -1 where there is none yet.
std::int32_t knownRule(const HistoryRuns& h, const char* name, std::int32_t occurrence) {
    return h.byName[slotOf(h, name, occurrence)] - 1;
}

// Most runs call the rules of the runs before them: their records are
// found by name in file order, the n-th of a name being its n-th
// occurrence, as in the order of names, without sorting them. False where
// a record is of a rule not seen yet, whose number the order of names
// gives. at gets the records, rule their rules.
bool findKnownRules(HistoryRuns& h, const Profile& run, Position at[], std::int32_t rule[], std::int32_t& count) {
    const std::int32_t stamp = h.runCount + 1;
    count = 0;
    for (std::int32_t p = 1; p <= run.entryCount; ++p) {
        const ProfileEntry& entry = run.entries[p];
        if (entry.calls == 0) continue;
        const std::int32_t first = knownRule(h, entry.name, 0);
        if (first < 0) return false;
        const std::int32_t occurrence = h.stamp[first] == stamp ? ++h.seen[first] : (h.seen[first] = 0);
        h.stamp[first] = stamp;
        const std::int32_t g = occurrence == 0 ? first : knownRule(h, entry.name, occurrence);
        if (g < 0) return false;
        at[count] = static_cast<Position>(p);
        rule[count++] = g;
    }
    return true;
}

// The records of a run and their rules in the order of names, new rules
// numbered in that order.
void findRules(HistoryRuns& h, const Profile& run, Position at[], std::int32_t rule[], std::int32_t& count) {
    count = calledByName(run, at);
    std::int32_t occurrence = 0;
    for (std::int32_t k = 0; k < count; ++k) {
        const ProfileEntry& entry = run.entries[at[k]];
        const bool again = k > 0 && std::strcmp(entry.name, run.entries[at[k - 1]].name) == 0;
        occurrence = again ? occurrence + 1 : 0;
        rule[k] = ruleOf(h, entry.name, occurrence);
    }
}

}  // namespace

void startHistory(HistoryRuns& h, const char* const* pointNames, std::int32_t pointCount) {
    h = HistoryRuns{};
    h.pointNames = pointNames;
    h.pointCount = pointCount;
    h.firstRun = allocateArray<std::int32_t>(static_cast<std::size_t>(pointCount) + 1);
    growNames(h);
}

void startPoint(HistoryRuns& h, std::int32_t t) { h.firstRun[t] = h.runCount; }

// Room for one more run in the arrays kept a run each.
void growRuns(HistoryRuns& h) {
    if (h.runCount < h.runRoom) return;
    h.runRoom = h.runRoom * 2 + 16;
    h.runNames = grown(h.runNames, h.runRoom);
    h.rowLength = grown(h.rowLength, h.runRoom);
    h.logs = grown(h.logs, h.runRoom);
    h.calls = grown(h.calls, h.runRoom);
    h.keys = grown(h.keys, h.runRoom);
    h.totals = grown(h.totals, h.runRoom + 1);
}

void addHistoryRun(HistoryRuns& h, const Profile& run, const char* name, const Options& options) {
    growRuns(h);
    const std::int32_t r = h.runCount;
    const std::size_t length = std::strlen(name) + 1;
    char* const copy = allocateArray<char>(length);
    std::memcpy(copy, name, length);
    h.runNames[r] = copy;
    Position byName[maxEntries];
    std::int32_t rule[maxEntries];
    std::int32_t count = 0;
    // Efficiencies are no whole numbers: their total is summed in the
    // order of names, as it always was.
    if (!integerKeys(options) || !findKnownRules(h, run, byName, rule, count))
        findRules(h, run, byName, rule, count);
    // The row holds every rule known now, so that a rule's place in it is
    // its number.
    const std::size_t cells = static_cast<std::size_t>(h.ruleCount) + 1;
    h.rowLength[r] = h.ruleCount;
    h.logs[r] = allocateArray<double>(cells);
    h.calls[r] = allocateArray<std::uint32_t>(cells);
    h.keys[r] = integerKeys(options) ? nullptr : allocateArray<double>(cells);
    h.totals[r] = 0;
    for (std::int32_t k = 0; k < count; ++k) {
        const ProfileEntry& entry = run.entries[byName[k]];
        const double key = sampleKey(entry, options);
        h.logs[r][rule[k]] = logValue(key);
        h.calls[r][rule[k]] = static_cast<std::uint32_t>(entry.calls);
        if (h.keys[r] != nullptr) h.keys[r][rule[k]] = key;
        h.totals[r] += key;
    }
    h.runCount = r + 1;
}

void finishHistory(HistoryRuns& h) {
    h.firstRun[h.pointCount] = h.runCount;
    if (h.totals == nullptr) h.totals = allocateArray<double>(1);
}

// e^log near enough that rounding gives the whole number back: the series
// of e^r for |r| <= ln 2 / 2 to its 14th term, times 2^k; far cheaper
// than expOf, which the statistics keep to the last bit.
double keyOfLog(double log) {
    constexpr double ln2 = 0.69314718055994530942;
    const double kd = log / ln2;
    const int k = static_cast<int>(kd + 0.5);
    const double r = log - k * ln2;
    constexpr double inverseFactorial[] = {1.0 / 14, 1.0 / 13, 1.0 / 12, 1.0 / 11, 1.0 / 10, 1.0 / 9, 1.0 / 8,
                                          1.0 / 7,  1.0 / 6,  1.0 / 5,  1.0 / 4,  1.0 / 3,  1.0 / 2, 1.0};
    double sum = 1;
    for (double f : inverseFactorial) sum = 1 + r * f * sum;
    const std::uint64_t bits = static_cast<std::uint64_t>(k + 1023) << 52;  // 2^k, k >= 0
    double power;
    std::memcpy(&power, &bits, sizeof power);
    // Rounded by truncating the positive value and a half: no libm.
    return static_cast<double>(static_cast<std::uint64_t>(sum * power + 0.5)) - 1;
}

double keyIn(const HistoryRuns& h, std::int32_t g, std::int32_t r) {
    if (g >= h.rowLength[r]) return 0;
    return h.keys[r] != nullptr ? h.keys[r][g] : keyOfLog(h.logs[r][g]);
}

double callsIn(const HistoryRuns& h, std::int32_t g, std::int32_t r) {
    return g < h.rowLength[r] ? h.calls[r][g] : 0;
}

bool pointCalls(const HistoryRuns& h, std::int32_t g, std::int32_t t) {
    for (std::int32_t r = h.firstRun[t]; r < h.firstRun[t + 1]; ++r)
        if (callsIn(h, g, r) > 0) return true;
    return false;
}

HistorySeries seriesOf(const HistoryRuns& h) {
    return {h.pointCount, h.firstRun, h.runCount, h.ruleCount, h.rowLength, h.logs, h.calls};
}

void addListed(HistoryRuns& h, char* path) {
    if (h.listingCount == h.listingRoom) {
        h.listingRoom = h.listingRoom * 2 + 16;
        h.listing = grown(h.listing, h.listingRoom);
    }
    h.listing[h.listingCount++] = path;
}

void clearListing(HistoryRuns& h) {
    for (std::int32_t k = 0; k < h.listingCount; ++k) std::free(h.listing[k]);
    h.listingCount = 0;
}

void releaseHistory(HistoryRuns& h) {
    clearListing(h);
    std::free(h.listing);
    for (std::int32_t g = 0; g < h.ruleCount; ++g) std::free(h.ruleNames[g]);
    for (std::int32_t r = 0; r < h.runCount; ++r) {
        std::free(const_cast<char*>(h.runNames[r]));
        std::free(h.logs[r]);
        std::free(h.calls[r]);
        std::free(h.keys[r]);
    }
    for (void* block : {static_cast<void*>(h.firstRun), static_cast<void*>(h.runNames),
                        static_cast<void*>(h.ruleNames), static_cast<void*>(h.keys),
                        static_cast<void*>(h.calls), static_cast<void*>(h.logs),
                        static_cast<void*>(h.totals), static_cast<void*>(h.rowLength),
                        static_cast<void*>(h.occurrence), static_cast<void*>(h.byName),
                        static_cast<void*>(h.stamp), static_cast<void*>(h.seen)})
        std::free(block);
    h = HistoryRuns{};
}
