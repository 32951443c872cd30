#include "history_runs.h"

#include "merge.h"
#include "messages.h"

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
    }
    const std::size_t length = std::strlen(name) + 1;
    char* const copy = allocateArray<char>(length);
    std::memcpy(copy, name, length);
    const std::int32_t g = h.ruleCount++;
    h.ruleNames[g] = copy;
    h.occurrence[g] = occurrence;
    h.byName[slot] = g + 1;
    if (2 * static_cast<std::uint32_t>(h.ruleCount) > h.byNameRoom) growNames(h);
    return g;
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

void addHistoryRun(HistoryRuns& h, const Profile& run, const char* name, const Options& options) {
    if (h.runCount == h.runRoom) {
        h.runRoom = h.runRoom * 2 + 16;
        h.runNames = grown(h.runNames, h.runRoom);
        h.recordsOfRun = grown(h.recordsOfRun, h.runRoom + 1);
    }
    const std::size_t length = std::strlen(name) + 1;
    char* const copy = allocateArray<char>(length);
    std::memcpy(copy, name, length);
    h.runNames[h.runCount] = copy;
    h.recordsOfRun[h.runCount] = static_cast<std::int32_t>(h.recordCount);
    Position byName[maxEntries];
    const std::int32_t count = calledByName(run, byName);
    if (h.recordCount + count > h.recordRoom) {
        h.recordRoom = (h.recordCount + count) * 2;
        h.records = grown(h.records, h.recordRoom);
    }
    std::int32_t occurrence = 0;
    for (std::int32_t k = 0; k < count; ++k) {
        const ProfileEntry& entry = run.entries[byName[k]];
        const bool again = k > 0 && std::strcmp(entry.name, run.entries[byName[k - 1]].name) == 0;
        occurrence = again ? occurrence + 1 : 0;
        h.records[h.recordCount++] = {ruleOf(h, entry.name, occurrence), sampleKey(entry, options),
                                      static_cast<double>(entry.calls)};
    }
    ++h.runCount;
    h.recordsOfRun[h.runCount] = static_cast<std::int32_t>(h.recordCount);
}

void finishHistory(HistoryRuns& h) {
    h.firstRun[h.pointCount] = h.runCount;
    const std::size_t cells = static_cast<std::size_t>(h.ruleCount) * static_cast<std::size_t>(h.runCount) + 1;
    h.keys = allocateArray<double>(cells);
    h.calls = allocateArray<double>(cells);
    h.totals = allocateArray<double>(static_cast<std::size_t>(h.runCount) + 1);
    for (std::int32_t r = 0; r < h.runCount; ++r)
        for (std::int32_t k = h.recordsOfRun[r]; k < h.recordsOfRun[r + 1]; ++k) {
            const HistoryRuns::Record& record = h.records[k];
            const std::size_t cell = cellOf(h, record.rule, r);
            h.keys[cell] = record.key;
            h.calls[cell] = record.calls;
            h.totals[r] += record.key;
        }
    std::free(h.records);
    h.records = nullptr;
}

std::size_t cellOf(const HistoryRuns& h, std::int32_t g, std::int32_t r) {
    return static_cast<std::size_t>(g) * static_cast<std::size_t>(h.runCount) + static_cast<std::size_t>(r);
}

bool pointCalls(const HistoryRuns& h, std::int32_t g, std::int32_t t) {
    for (std::int32_t r = h.firstRun[t]; r < h.firstRun[t + 1]; ++r)
        if (h.calls[cellOf(h, g, r)] > 0) return true;
    return false;
}

HistorySeries seriesOf(const HistoryRuns& h) {
    return {h.pointCount, h.firstRun, h.runCount, h.ruleCount, h.keys, h.calls};
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
    for (std::int32_t r = 0; r < h.runCount; ++r) std::free(const_cast<char*>(h.runNames[r]));
    for (void* block : {static_cast<void*>(h.firstRun), static_cast<void*>(h.runNames),
                        static_cast<void*>(h.ruleNames), static_cast<void*>(h.keys),
                        static_cast<void*>(h.calls), static_cast<void*>(h.totals),
                        static_cast<void*>(h.records), static_cast<void*>(h.recordsOfRun),
                        static_cast<void*>(h.occurrence), static_cast<void*>(h.byName)})
        std::free(block);
    h = HistoryRuns{};
}
