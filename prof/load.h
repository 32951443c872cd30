// Loading a profile file into a Profile.
#pragma once

#include "profile.h"

#include <cstddef>

// The profile is read in blocks of this size.
constexpr std::size_t profileBlockBytes = 65536;

// Reads the header line and up to maxEntries records from stream s.
void loadProfile(std::int32_t s, bool parseProfile, Profile& profile);
// "list__x", and in a parse profile "repeat__x", become "list x", "repeat x".
void rewriteName(char* name, bool parseProfile);
