#include "profile.h"

#include <cstring>

void rewriteName(char* name) {
    if (TL_index(name, "list__") != 1 &&
        !(parseProfile && TL_index(name, "repeat__") == 1))
        return;
    const std::int32_t separator = TL_index(name, "__");
    TL_string rewritten, rest;
    TL_substring(rewritten, separator - 1, 1, name);
    std::strcat(rewritten, " ");
    TL_substringToEnd(rest, 0, separator + 2, name);
    std::strcat(rewritten, rest);
    std::strcpy(name, rewritten);
}

void loadProfile(std::int32_t s) {
    TL_string header;
    TL_ensureOpen(s, TL_kindTextIn);
    TL_getLine(s, header);

    FILE* handle = TL_handle(s);
    for (std::int32_t p = 1; p <= maxEntries; ++p) {
        if (TL_eof(s) || std::ferror(handle)) break;
        ProfileEntry& entry = entries[p];
        TL_ensureOpen(s, TL_kindTextIn);
        TL_getToken(s, entry.name);
        std::uint32_t* const counters[] = {&entry.calls,     &entry.matched,
                                           &entry.cycles,    &entry.backtracks,
                                           &entry.time,      &entry.treeNodes,
                                           &entry.kidCells};
        for (std::uint32_t* counter : counters) TL_getNat(s, *counter);
        rewriteName(entry.name);
        ++entryCount;
        TL_ensureOpen(s, TL_kindTextIn);
        TL_skipWhitespace(static_cast<std::int16_t>(s));
    }
}
