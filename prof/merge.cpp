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
    return Runs{&profile, 1, 0, nullptr, nullptr, false, name};
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
    // A run without a rule has no value of it, not a value of 0: the tests
    // take the runs that have it.
    std::fill(runs.samples, runs.samples + (maxEntries + 1) * size, -1.0);
    runs.totals = allocateArray<double>(size);
}

void releaseRuns(Runs& runs) {
    std::free(runs.samples);
    std::free(runs.totals);
    runs.samples = runs.totals = nullptr;
}

void mergeRun(Runs& runs, const Profile& run, const Options& options) {
    Profile& merged = *runs.merged;
    // The merged position of each of the run's records, 0 for none yet.
    Position matched[maxEntries + 1] = {};
    pairByName(merged, run, [&matched](Position inMerged, Position inRun) {
        if (inMerged != 0 && inRun != 0) matched[inRun] = inMerged;
    });
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
