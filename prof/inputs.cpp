#include "inputs.h"

#include "load.h"
#include "messages.h"
#include "order.h"
#include "runtime.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A record that is not a name and seven counters: a report reads it as it
// stands and says so; runs that are compared or make a history are
// refused, since one cut short would be taken for a change.
void oddRecord(const char* name, std::int32_t line, const Options& options) {
    char number[16];
    *TL_formatNat(number, line, 0) = '\0';
    if (isComparison(options) || options.history)
        fail({"'", name, "' line ", number,
              " is not a name and seven counters: a run cut short? Leave it out or run it again"});
    say({"'", name, "' line ", number, " is not a name and seven counters; read as it stands"});
}

// Loads the profile open on stream s, named name, and closes it; says so
// when its header names the other kind than the one it is read as.
void load(std::int32_t s, const char* name, bool named, const Options& options,
          Profile& profile) {
    loadProfile(s, options.parseProfile, profile);
    if (std::ferror(TL_handle(s)))
        failWhy(errno, {"Unable to read QAV profile file '", name, "'"});
    TL_close(s);
    if (profile.binary) fail({"'", name, "' is no QAV profile"});
    if (profile.oddLine != 0) oddRecord(name, profile.oddLine, options);
    // A file cut off before anything was written would count as a run in
    // which nothing ran.
    if (named && profile.entryCount == 0) say({"'", name, "' holds no profile records"});
    if (profile.moreRecords) {
        char count[16];
        *TL_formatNat(count, maxEntries, 0) = '\0';
        say({"Only the first ", count, " records of '", name,
                                  "' were read; the rest of the file was ignored"});
    }
    const ProfileKind readAs = kindReadAs(options);
    if (profile.kind != ProfileKind::unknown && profile.kind != readAs)
        say({"'", name, "' is a ", kindName(profile.kind),
                                  " profile, read as a ", kindName(readAs), " profile"});
}

Why whyFor(const Options& options) {
    return isComparison(options) || options.history ? Why::said : Why::withheld;
}

void checkKind(KindCheck& check, const Profile& profile, const char* name) {
    if (profile.kind == ProfileKind::unknown) return;
    if (check.kind == ProfileKind::unknown) {
        check = {profile.kind, name};
        return;
    }
    if (profile.kind != check.kind)
        fail({"'", check.name, "' is a ", kindName(check.kind), " profile and '", name,
              "' a ", kindName(profile.kind), " profile: they cannot be merged or compared"});
}

// Loads the files of one side, one after the other, and merges them into
// merged, each loaded into run first (one file is loaded into merged
// itself); the first file is open on stream s when s is not 0.
void loadRuns(Runs& runs, Profile& merged, Profile* run, const FileNames& files, std::int32_t s,
              const Options& options, KindCheck& check) {
    if (files.count == 1) {
        // One run is its own sum, and nothing to test.
        load(s != 0 ? s : openProfile(files.names[0], whyFor(options)), files.names[0], files.named, options,
             merged);
        checkKind(check, merged, files.names[0]);
        runs = singleRun(merged, files.names);
        orderEntries(merged, options);
        return;
    }
    startRuns(runs, merged, files.count);
    for (void* block : {static_cast<void*>(runs.samples), static_cast<void*>(runs.totals)})
        keepForRun(block);
    runs.names = files.names;
    for (std::int32_t k = 0; k < files.count; ++k) {
        const std::int32_t stream = k == 0 && s != 0 ? s : openProfile(files.names[k], whyFor(options));
        load(stream, files.names[k], files.named, options, *run);
        checkKind(check, *run, files.names[k]);
        mergeRun(runs, *run, options);
    }
    if (runs.moreRules) {
        char count[16];
        *TL_formatNat(count, maxEntries, 0) = '\0';
        say({"Only the first ", count,
                                  " rules of the runs were merged; the others were ignored"});
    }
    orderEntries(merged, options);
}

// The regular files of a folder, not hidden, in the order of their
// bytes, each the folder's path joined to its name, into h's listing.
void listFolder(HistoryRuns& h, const char* folder) {
    DIR* const dir = opendir(folder);
    if (dir == nullptr) unableToOpen(folder, errno, Why::said);
    const std::size_t length = std::strlen(folder);
    const bool slash = length > 0 && folder[length - 1] == '/';
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const std::size_t size = length + 1 + std::strlen(entry->d_name) + 1;
        char* const path = allocateArray<char>(size);
        std::snprintf(path, size, "%s%s%s", folder, slash ? "" : "/", entry->d_name);
        struct stat file;
        if (stat(path, &file) == 0 && S_ISREG(file.st_mode)) addListed(h, path);
        else std::free(path);
    }
    closedir(dir);
    std::sort(h.listing, h.listing + h.listingCount,
              [](const char* a, const char* b) { return std::strcmp(a, b) < 0; });
}

}  // namespace

[[noreturn]] void unableToOpen(const char* name, int err, Why why) {
    failWhy(why == Why::said ? err : 0, {"Unable to open QAV profile file '", name, "'"});
}

// The stream of the profile file name, opened whole (a path of any length
// the system takes), or the end of the run.
std::int32_t openProfile(const char* name, Why why) {
    std::int32_t s = 0;
    errno = 0;  // a full stream table is no error of the system's
    TL_open(TL_modeTextIn, name, s);
    if (s == 0) unableToOpen(name, errno, why);
    return s;
}

void checkReadable(const char* name, Why why) {
    if (access(name, R_OK) != 0) unableToOpen(name, errno, why);
}


std::int32_t openDefaultProfile(Options& options) {
    options.profileName = options.parseProfile ? "qav.pprofout" : "qav.rprofout";
    std::int32_t stream = 0;
    TL_open(TL_modeTextIn, options.profileName, stream);
    if (stream != 0) return stream;
    say({"Unable to open QAV profile file 'qav.rprofout' or 'qav.pprofout'"});
    TL_putLine(TL_stderrStream, {"  (Probable cause: errors in profiled QAV run)"});
    TL_quit(1);
}

// A profile, too large for the stack, for the whole run.
Profile& newProfile() {
    Profile* profile = allocateArray<Profile>(1);
    keepForRun(profile);
    return *profile;
}

void loadSides(const Arguments& a, Sides& sides) {
    const bool comparing = isComparison(a.options);
    // Where runs are merged, each is loaded into a profile of its own first.
    Profile* run = comparing || a.files.count > 1 ? &newProfile() : nullptr;
    KindCheck kinds{ProfileKind::unknown, nullptr};
    if (comparing) loadRuns(sides.old, newProfile(), run, a.oldFiles, 0, a.options, kinds);
    loadRuns(sides.now, newProfile(), run, a.files, a.stream, a.options, kinds);
}

// Loads the runs of point t: the profile files of a folder, or one file.
void loadPoint(HistoryRuns& h, std::int32_t t, Profile& run, const Options& options, KindCheck& kinds) {
    const char* const point = h.pointNames[t];
    struct stat kind;
    const bool folder = stat(point, &kind) == 0 && S_ISDIR(kind.st_mode);
    if (folder) {
        listFolder(h, point);
        if (h.listingCount == 0) fail({"The point '", point, "' holds no profile files"});
    }
    startPoint(h, t);
    const std::int32_t count = folder ? h.listingCount : 1;
    for (std::int32_t k = 0; k < count; ++k) {
        const char* const file = folder ? h.listing[k] : point;
        load(openProfile(file, Why::said), file, false, options, run);
        // A run that recorded nothing would be a run in which nothing ran.
        if (run.entryCount == 0) fail({"'", file, "' holds no profile records"});
        // The check keeps the first name it sees: the run's own copy.
        addHistoryRun(h, run, file, options);
        checkKind(kinds, run, h.runNames[h.runCount - 1]);
    }
    clearListing(h);
}

