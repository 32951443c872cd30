// Fuzzes the profiler's reading, ordering and report. The first byte picks
// the options, the rest is the profile file. The order must be that of an
// exchange sort, and the report must have a line per printed entry.
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
    orderBy = criteria[data[0] % 5];
    parseProfile = (data[0] & 8) != 0;
    perCallLayout = (data[0] & 16) != 0;

    test_support::setEntries({});
    std::int32_t s = test_support::streamOver(
        std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    loadProfile(s);
    TL_close(s);

    std::vector<ProfileEntry> expected(entries + 1, entries + 1 + entryCount);
    for (const ProfileEntry& entry : expected)
        if (std::strlen(entry.name) > static_cast<std::size_t>(TL_maxStringLength))
            std::abort();
    orderEntries();
    setPercentBase();
    if (entryCount <= 1000) {
        test_support::exchangeSort(expected);
        if (!expected.empty() &&
            std::memcmp(expected.data(), entries + 1, expected.size() * sizeof(ProfileEntry)) != 0)
            std::abort();
    }

    const std::string text = test_support::reportText();
    std::size_t lines = 0;
    for (char c : text) lines += c == '\n';
    std::size_t printed = perCallLayout ? 3 : 2;
    for (std::int32_t p = 1; p <= entryCount; ++p) printed += entries[p].calls != 0;
    if (lines != printed) std::abort();
    return 0;
}
