// The profiler's state, whole-run globals.
#include "profile.h"

OrderBy orderBy;
bool parseProfile;
bool perCallLayout;
std::int32_t profileStream;
ProfileEntry entries[maxEntries + 1];
std::int32_t entryCount;
Position order[maxEntries];
std::uint64_t percentBase;
bool moreRecords;
Format format;
std::int32_t topRows;
const char* profileName;
const char* oldProfileName;
double failPercent;
