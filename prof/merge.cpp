// Several runs of one program, merged: the sums of their counters, and what
// each run's key was, for the test of whether a change between two sides
// is real.
#include "merge.h"

#include "messages.h"
#include "order.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

void add(ProfileEntry& sum, const ProfileEntry& run) {
    sum.calls += run.calls;
    sum.matched += run.matched;
    sum.cycles += run.cycles;
    sum.backtracks += run.backtracks;
    sum.time += run.time;
    sum.treeNodes += run.treeNodes;
    sum.kidCells += run.kidCells;
}

// Matches each called record of run with the merged one of the same name
// (the n-th of a name with the n-th): matched[p] gets its merged position,
// 0 for none yet.
void matchByName(const Profile& merged, const Profile& run, Position* scratch, Position* matched) {
    Position* const mergedByName = scratch;
    Position* const runByName = scratch + maxEntries;
    const std::int32_t mergedCount = calledByName(merged, mergedByName);
    const std::int32_t runCount = calledByName(run, runByName);
    std::fill(matched, matched + run.entryCount + 1, Position{0});
    for (std::int32_t i = 0, j = 0; i < mergedCount && j < runCount;) {
        const int c = std::strcmp(merged.entries[mergedByName[i]].name,
                                  run.entries[runByName[j]].name);
        if (c < 0) {
            ++i;
        } else if (c > 0) {
            ++j;
        } else {
            matched[runByName[j]] = mergedByName[i];
            ++i;
            ++j;
        }
    }
}

}  // namespace

std::int32_t calledByName(const Profile& profile, Position out[]) {
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

double sampleKey(const ProfileEntry& entry, const Options& options) {
    return options.orderBy == OrderBy::efficiency ? efficiencyOf(entry)
                                                  : static_cast<double>(orderKey(entry, options));
}

Runs singleRun(Profile& profile, const char* const* name) {
    return Runs{&profile, 1, 0, nullptr, nullptr, false, name, nullptr};
}

void startRuns(Runs& runs, Profile& merged, std::int32_t capacity) {
    runs.merged = &merged;
    merged.entryCount = 0;
    merged.namesUsed = 0;
    merged.moreRecords = false;
    merged.kind = ProfileKind::unknown;
    runs.count = 0;
    runs.capacity = capacity;
    runs.moreRules = false;
    runs.names = nullptr;
    const std::size_t size = static_cast<std::size_t>(capacity);
    runs.samples = allocateArray<double>((maxEntries + 1) * size);
    runs.totals = allocateArray<double>(size);
    runs.scratch = allocateArray<Position>(3 * maxEntries + 1);
}

void releaseRuns(Runs& runs) {
    std::free(runs.samples);
    std::free(runs.totals);
    std::free(runs.scratch);
    runs.samples = runs.totals = nullptr;
    runs.scratch = nullptr;
}

void mergeRun(Runs& runs, const Profile& run, const Options& options) {
    Profile& merged = *runs.merged;
    // The merged position of each of the run's records, 0 for none yet.
    Position* const matched = runs.scratch + 2 * maxEntries;
    matchByName(merged, run, runs.scratch, matched);
    // Sums, and the new rules after the others, in the run's file order.
    double total = 0;
    const std::int32_t r = runs.count;
    for (std::int32_t p = 1; p <= run.entryCount; ++p) {
        const ProfileEntry& entry = run.entries[p];
        if (entry.calls == 0) continue;
        total += sampleKey(entry, options);
        Position at = matched[p];
        if (at == 0) {
            if (merged.entryCount == maxEntries) {
                runs.moreRules = true;
                continue;
            }
            at = static_cast<Position>(++merged.entryCount);
            ProfileEntry& added = merged.entries[at];
            added = ProfileEntry{};
            char* name = merged.names + merged.namesUsed;
            const std::size_t length = std::strlen(entry.name) + 1;
            std::memcpy(name, entry.name, length);
            merged.namesUsed += length;
            added.name = name;
        }
        add(merged.entries[at], entry);
        runs.samples[static_cast<std::size_t>(at) * static_cast<std::size_t>(runs.capacity) +
                     static_cast<std::size_t>(r)] = sampleKey(entry, options);
    }
    runs.totals[r] = total;
    if (merged.kind == ProfileKind::unknown) merged.kind = run.kind;
    merged.moreRecords = merged.moreRecords || run.moreRecords;
    ++runs.count;
}
