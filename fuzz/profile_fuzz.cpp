// Fuzzes the profiler's reading, ordering and report. The first byte picks
// the options, the rest is the profile file. Loading must take what the
// stream reads take (but stop at a zero byte, which no profile holds), the order must be that of an exchange sort, and the
// report must have a line per printed entry.
#include "entries_test_support.h"
#include "profile.h"
#include "test_support.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    constexpr OrderBy criteria[] = {OrderBy::time, OrderBy::space, OrderBy::calls,
                                    OrderBy::cycles, OrderBy::efficiency};
    Options options;
    options.orderBy = criteria[data[0] % 5];
    options.parseProfile = (data[0] & 8) != 0;
    options.perCallLayout = (data[0] & 16) != 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    bool more = false;
    std::int32_t s = test_support::streamOver(text);
    const std::vector<test_support::StreamRecord> records =
        test_support::loadWithStreamReads(s, options.parseProfile, more);
    TL_close(s);
    static Profile profile;
    s = test_support::streamOver(text);
    loadProfile(s, options.parseProfile, profile);
    TL_close(s);
    // A zero byte ends the reading: such a text is no profile, and its
    // reading stops short of what the stream reads take.
    const bool zero = text.find('\0') != std::string::npos;
    if (profile.binary) {
        if (!zero) std::abort();
        return 0;
    }
    if (zero && !profile.moreRecords) std::abort();
    if (profile.entryCount != static_cast<std::int32_t>(records.size()) ||
        profile.moreRecords != more)
        std::abort();
    for (std::int32_t p = 1; p <= profile.entryCount; ++p) {
        const ProfileEntry& e = profile.entries[p];
        const std::uint64_t counters[] = {e.calls, e.matched, e.cycles, e.backtracks,
                                          e.time, e.treeNodes, e.kidCells};
        if (records[p - 1].name != e.name) std::abort();
        for (int i = 0; i < 7; ++i)
            if (counters[i] != records[p - 1].counters[i]) std::abort();
    }

    std::vector<ProfileEntry> expected(profile.entries + 1,
                                       profile.entries + 1 + profile.entryCount);
    orderEntries(profile, options);
    if (profile.entryCount <= 1000) {
        test_support::exchangeSort(expected, options);
        for (std::int32_t k = 0; k < profile.entryCount; ++k)
            if (profile.entries[profile.order[k]].name != expected[k].name) std::abort();
    }

    const std::string report = test_support::printed(tableOf(*test_support::reportOf(profile, options)));
    std::size_t lines = 0;
    for (char c : report) lines += c == '\n';
    std::size_t printed = options.perCallLayout ? 3 : 2;
    for (std::int32_t p = 1; p <= profile.entryCount; ++p) printed += profile.entries[p].calls != 0;
    if (lines != printed) std::abort();
    return 0;
}
