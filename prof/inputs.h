// Loading what qavprof reads: the profiles named or the default one, the
// runs of each side of a comparison, and the runs of each point of a
// history, each checked as it is read (its kind, and for runs compared
// or making a history, that every record is whole).
#pragma once

#include "arguments.h"
#include "history_runs.h"
#include "merge.h"
#include "profile.h"

#include <cstdint>

// "Unable to open QAV profile file 'name'", with the reason where why
// says, and the end of the run.
[[noreturn]] void unableToOpen(const char* name, int err, Why why);
// The stream of the profile file name, or the end of the run.
std::int32_t openProfile(const char* name, Why why);
// A file that is looked at, not opened: a FIFO gives its text to one
// reader, once, and is read when its turn comes.
void checkReadable(const char* name, Why why);
// qav.rprofout, or with -parse qav.pprofout, opened; or the end of the run.
std::int32_t openDefaultProfile(Options& options);

// The first file's kind, which every other file of a merge or a
// comparison must share where its header says.
struct KindCheck {
    ProfileKind kind;
    const char* name;
};

// The runs of each side, loaded and merged.
struct Sides {
    Runs now, old;
};

// A profile, too large for the stack, for the whole run.
Profile& newProfile();
// The runs of each side, loaded and merged, the first new one from the
// stream the arguments opened.
void loadSides(const Arguments& a, Sides& sides);
// Loads the runs of point t into h: the profile files of a folder, or one file.
void loadPoint(HistoryRuns& h, std::int32_t t, Profile& run, const Options& options, KindCheck& kinds);
