// qavprof: prints the profile that a profiled QAV run leaves behind as a
// report on standard output, ordered by a criterion chosen with a flag.
//
//   qavprof [-time|-space|-calls|-cycles|-eff] [-percall] [-parse] [-q]
//           [-top N] [-csv|-json|-html|-md] [-diff OLD... [-fail PCT]] [file...]
//   qavprof [flags] [-fail PCT] -history POINT...
//
// Without a file it reads qav.rprofout, or qav.pprofout with -parse.
// Several files are runs, merged; several -diff files are the old runs.
#include "comparison.h"
#include "history_report.h"
#include "load.h"
#include "merge.h"
#include "messages.h"
#include "order.h"
#include "points.h"
#include "output.h"
#include "print.h"
#include "replace.h"
#include "report.h"
#include "tool.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::int32_t stderrStream = 0;
constexpr char banner[] = "QAV Profiler v6.0 (1.12.00): profile report of a QAV run";
constexpr char invalidFlagTail[] =
    "' (options are -parse, -time, -space, -calls, -cycles, -eff, -percall, "
    "-top N, -csv, -json, -html, -md, -diff OLD, -fail PCT, -history POINT, -o FILE, -q, -h, --version)";
constexpr char help[] =
    "Usage: qavprof [options] [file...]\n"
    "       qavprof [options] -diff OLD... -- NEW...\n"
    "       qavprof [options] -history POINT...\n"
    "Reports a QAV profile (qav.rprofout, or qav.pprofout with -parse), largest first.\n"
    "\n"
    "  -time, -space, -calls, -cycles   order by this criterion (time by default)\n"
    "  -eff         least efficient first (parse profiles)\n"
    "  -parse       the profile is a parse profile\n"
    "  -percall     show totals and per-call values (not with -diff)\n"
    "  -top N       at most N rows\n"
    "  -csv, -json  the rows for scripts; -html a page to look at; -md a Markdown table\n"
    "  -diff OLD    compare with the older profile OLD, largest change first; given\n"
    "               again, and with several files, compares runs: a change is marked ~\n"
    "               unless the runs show it to be real (5% false discovery rate), and\n"
    "               its 95% confidence interval is shown\n"
    "  -diff OLD... -- NEW...   the files before -- are the old runs, those after it\n"
    "               the new ones, as shell patterns give them: -diff old*.prof -- new*.prof\n"
    "  -fail PCT    with -diff: exit status 3 when the total grew by more than PCT%\n"
    "               (with runs, only when the growth is real: Student's t on the\n"
    "               logarithms of the runs' totals, 5%)\n"
    "  -history POINT...   where each rule changed across a history of commits: each\n"
    "               POINT a folder of the runs of one commit, or one profile file, in\n"
    "               the order of history (- reads them from standard input, one a\n"
    "               line); with -fail, exit status 3 when the newest point starts a\n"
    "               growth of the total of more than PCT%\n"
    "  -o FILE      write the report to FILE, whole or not at all (- for standard\n"
    "               output)\n"
    "  -q           no banner\n"
    "  file...      several files are runs of one program: their sums are reported\n"
    "  -h, --help, --version\n";
constexpr char version[] = "qavprof (QAV tools) 6.0\n";
// Separates the old runs from the new ones.
constexpr char sidesApart[] = "--";

[[noreturn]] void invalidFlag(const char* flag) {
    fail({"Invalid flag '", flag, invalidFlagTail});
}

[[noreturn]] void printAndEnd(const char* text) {
    std::fputs(text, stdout);
    TL_quit(std::fflush(stdout) == 0 ? 0 : 1);
}

// What a flag chooses. The ordering flags overwrite one another, the last
// one winning (aliases such as `qavprof -calls` rely on it); a second,
// other format is refused, since what the run writes would depend on
// which one came last.
enum class Choice { none, format };

struct Flag {
    const char* text;
    Choice choice;
    void (*apply)(Options&);
};

const Flag flags[] = {
    {"-time", Choice::none, [](Options& o) { o.orderBy = OrderBy::time; }},
    {"-space", Choice::none, [](Options& o) { o.orderBy = OrderBy::space; }},
    {"-calls", Choice::none, [](Options& o) { o.orderBy = OrderBy::calls; }},
    {"-cycles", Choice::none, [](Options& o) { o.orderBy = OrderBy::cycles; }},
    {"-eff", Choice::none, [](Options& o) { o.orderBy = OrderBy::efficiency; }},
    {"-percall", Choice::none, [](Options& o) { o.perCallLayout = true; }},
    {"-parse", Choice::none, [](Options& o) { o.parseProfile = true; }},
    {"-csv", Choice::format, [](Options& o) { o.format = Format::csv; }},
    {"-json", Choice::format, [](Options& o) { o.format = Format::json; }},
    {"-html", Choice::format, [](Options& o) { o.format = Format::html; }},
    {"-md", Choice::format, [](Options& o) { o.format = Format::markdown; }},
    {"-q", Choice::none, [](Options& o) { o.quiet = true; }},
};

// The format flag given so far, to refuse a second, other one (the same
// flag twice asks for the same thing).
struct Chosen {
    const char* format;
};

void takeFlag(const Flag& flag, Chosen& chosen, Options& options) {
    if (flag.choice == Choice::format) {
        if (chosen.format != nullptr && std::strcmp(chosen.format, flag.text) != 0)
            fail({"Two formats asked for, ", chosen.format, " and ", flag.text, ": give one"});
        chosen.format = flag.text;
    }
    flag.apply(options);
}

// The files named: the runs reported, and with -diff the old runs.
struct FileNames {
    const char** names;
    std::int32_t count;
    bool named;  // on the command line, not the default file
};

void keepForRun(void* block, void (*release)(void* block) = nullptr) {
    TL_keepForRun(messagePrefix, block, release);
}

void addName(FileNames& files, const char* name) {
    files.names[files.count++] = name;
}

// Whether a message about a file adds the system's reason: a report's
// message is the one line scripts know, while runs compared or making a
// history say why.
enum class Why : bool { withheld, said };

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

// A positive whole number of at most 9 digits, or 0.
std::int32_t positiveNumber(const char* text) {
    std::int32_t value = 0;
    const std::size_t length = std::strlen(text);
    if (length == 0 || length > 9) return 0;
    for (; *text != '\0'; ++text) {
        if (!TL_isDigit(*text)) return 0;
        value = value * 10 + (*text - '0');
    }
    return value;
}

// What the arguments hold, looked at before they are taken: whether -q
// is among them (values of flags aside), before the banner would be
// written, and where "--" puts the old runs apart from the new ones (0
// for nowhere).
struct Survey {
    bool quiet;
    std::int32_t apart;
    Why why;  // said with -diff or -history
};

Survey survey() {
    Survey found{false, 0, Why::withheld};
    for (std::int32_t n = 1; n <= TL_TLI_TLIARC; ++n) {
        const char* argument = TL_TLI_TLIARV[n];
        if (std::strcmp(argument, "-q") == 0) found.quiet = true;
        if (std::strcmp(argument, "-diff") == 0 || std::strcmp(argument, "-history") == 0)
            found.why = Why::said;
        if (found.apart == 0 && std::strcmp(argument, sidesApart) == 0) found.apart = n;
        if (std::strcmp(argument, "-top") == 0 || std::strcmp(argument, "-fail") == 0 ||
            std::strcmp(argument, "-diff") == 0 || std::strcmp(argument, "-o") == 0)
            ++n;
    }
    return found;
}

// A file that is looked at, not opened: a FIFO gives its text to one
// reader, once, and is read when its turn comes.
void checkReadable(const char* name, Why why) {
    if (access(name, R_OK) != 0) unableToOpen(name, errno, why);
}

// Takes a run's file name: the first new one opened on stream, the others
// looked at.
void takeFile(const char* name, Options& options, std::int32_t& stream, FileNames& files, Why why) {
    if (stream == 0) {
        stream = openProfile(name, why);
        options.profileName = name;
    } else {
        checkReadable(name, why);
    }
    addName(files, name);
}

struct Arguments {
    Options options;
    FileNames files;
    FileNames oldFiles;
    FileNames points;  // of a history
    std::int32_t inputAt;  // where "-" stood among the points, or -1
    std::int32_t stream;
    Chosen chosen;
};

// A flag's value missing or wrong: what the flag needs, and what it got.
[[noreturn]] void needsValue(const char* need, bool given, const char* value) {
    if (!given) fail({need});
    fail({need, ", not '", value, "'"});
}

// Takes the value after argument n where the argument is -top, -fail,
// -diff or -o, into options or oldFiles; false for another argument.
bool takeValue(std::int32_t n, const Survey& found, Options& options, FileNames& oldFiles) {
    const char* argument = TL_TLI_TLIARV[n];
    const bool hasValue = n < TL_TLI_TLIARC;
    const char* value = hasValue ? TL_TLI_TLIARV[n + 1] : "";
    if (std::strcmp(argument, "-top") == 0) {
        options.topRows = positiveNumber(value);
        if (options.topRows == 0) needsValue("-top needs a number of rows, 1 or more", hasValue, value);
        return true;
    }
    if (std::strcmp(argument, "-fail") == 0) {
        char* end = nullptr;
        options.failPercent = hasValue ? std::strtod(value, &end) : -1;
        if (!hasValue || end == value || *end != '\0' || !(options.failPercent >= 0))
            needsValue("-fail needs a percentage, 0 or more", hasValue, value);
        return true;
    }
    if (std::strcmp(argument, "-o") == 0) {
        if (!hasValue || value[0] == '\0') needsValue("-o needs a file name, or - for standard output", hasValue, value);
        if (options.outputName != nullptr && std::strcmp(options.outputName, value) != 0)
            fail({"Two outputs asked for, ", options.outputName, " and ", value, ": give one"});
        options.outputName = value;
        return true;
    }
    if (std::strcmp(argument, "-diff") == 0) {
        if (!hasValue) needsValue("-diff needs the old profile file", false, value);
        if (options.oldProfileName == nullptr) options.oldProfileName = value;
        if (found.apart != 0) checkReadable(value, Why::said);
        addName(oldFiles, value);
        return true;
    }
    return false;
}

// Takes argument n and the value of a flag that has one into the options,
// and a file name into the files, or before "--" into the old files;
// returns the number of the last argument used.
std::int32_t takeArgument(std::int32_t n, const Survey& found, Arguments& a) {
    const char* argument = TL_TLI_TLIARV[n];
    Options& options = a.options;
    if (n == found.apart) return n;
    if (found.apart != 0 && n > found.apart && argument[0] != '-') {
        // After "--" every other argument names a new run; flags stay
        // flags there, where -o is mostly written, and a run whose name
        // starts with "-" is written ./-name.
        takeFile(argument, options, a.stream, a.files, found.why);
        return n;
    }
    for (const Flag& flag : flags)
        if (std::strcmp(argument, flag.text) == 0) {
            takeFlag(flag, a.chosen, options);
            return n;
        }
    if (takeValue(n, found, options, a.oldFiles)) return n + 1;
    if (std::strcmp(argument, "-h") == 0 || std::strcmp(argument, "--help") == 0)
        printAndEnd(help);
    if (std::strcmp(argument, "--version") == 0) printAndEnd(version);
    if (std::strcmp(argument, "-history") == 0) {
        if (a.files.count > 0) fail({"The points of a history come after -history: ", a.files.names[0]});
        options.history = true;
        return n;
    }
    if (options.history && std::strcmp(argument, "-") == 0 && a.inputAt < 0) {
        a.inputAt = a.points.count;
        return n;
    }
    if (argument[0] == '-') invalidFlag(argument);
    if (options.history) {
        addName(a.points, argument);
    } else if (found.apart != 0) {
        checkReadable(argument, Why::said);
        addName(a.oldFiles, argument);
    } else {
        takeFile(argument, options, a.stream, a.files, found.why);
    }
    return n;
}

std::int32_t openDefaultProfile(Options& options) {
    options.profileName = options.parseProfile ? "qav.pprofout" : "qav.rprofout";
    std::int32_t stream = 0;
    TL_open(TL_modeTextIn, options.profileName, stream);
    if (stream != 0) return stream;
    say({"Unable to open QAV profile file 'qav.rprofout' or 'qav.pprofout'"});
    TL_putLine(stderrStream, {"  (Probable cause: errors in profiled QAV run)"});
    TL_quit(1);
}

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

// The first file's kind, which every other file of a merge or a
// comparison must share where its header says.
struct KindCheck {
    ProfileKind kind;
    const char* name;
};

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

}  // namespace

// What the command line names: the options, the runs of each side, and
// the stream the first new run is open on.
void checkHistoryArguments(const Arguments& a, bool comparing) {
    const Options& options = a.options;
    if (comparing) fail({"-history does not go with -diff: a history compares its own points"});
    if (options.perCallLayout) fail({"-percall does not go with -history: a history compares totals"});
    if (options.failPercent >= 0 && options.orderBy == OrderBy::efficiency)
        fail({"-fail needs a criterion with a total, not -eff"});
    if (a.files.count > 0) fail({"-history takes points, not files: ", a.files.names[0]});
    if (a.points.count == 0)
        fail({"-history needs one point or more: a folder of the runs of one commit, or a profile file"});
}

// "-history -": the points read from standard input, one a line, stand
// where "-" stood among the others.
void takeInputPoints(Arguments& a) {
    std::int32_t count = 0;
    char* const text = readPointNames(stdin, count);
    if (text == nullptr) failWhy(errno, {"Unable to read the points from standard input"});
    keepForRun(text);
    FileNames& points = a.points;
    const char** const names = allocateArray<const char*>(static_cast<std::size_t>(points.count + count) + 1);
    keepForRun(names);
    std::copy(points.names, points.names + a.inputAt, names);
    const char* name = text;
    for (std::int32_t k = 0; k < count; ++k, name += std::strlen(name) + 1) names[a.inputAt + k] = name;
    std::copy(points.names + a.inputAt, points.names + points.count, names + a.inputAt + count);
    points.names = names;
    points.count += count;
}

// Points that a shell pattern sorted by their bytes, where their numbers
// tell another order (c1 c10 c2), are most likely not in the order of
// history: said, since a change would be found in the wrong place.
void checkPointOrder(const FileNames& points) {
    const std::int32_t k = firstOutOfOrder(points.names, points.count);
    if (k < 0) return;
    say({"Points '", points.names[k], "' and '", points.names[k + 1],
         "' are in the order of their names, not of their numbers: give the points in the order "
         "of history, or one a line on standard input with -history -"});
}

void takeArguments(Arguments& a) {
    const Survey found = survey();
    if (!found.quiet) TL_putLine(stderrStream, {banner});
    // Files are opened by name, one at a time but the first, so every
    // stream is free for them, whatever the command line recorded.
    TL_nextfile = 1;
    // Every argument could name a file.
    a.files = FileNames{TL_argumentsRoom(messagePrefix), 0, true};
    a.oldFiles = FileNames{TL_argumentsRoom(messagePrefix), 0, true};
    a.points = FileNames{TL_argumentsRoom(messagePrefix), 0, true};
    a.stream = 0;
    a.inputAt = -1;
    a.chosen = Chosen{nullptr};
    for (std::int32_t n = 1; n <= TL_TLI_TLIARC; ++n)
        n = takeArgument(n, found, a);
    const Options& options = a.options;
    const bool comparing = isComparison(options);
    if (options.history) {
        if (a.inputAt >= 0) takeInputPoints(a);
        checkHistoryArguments(a, comparing);
        if (a.inputAt < 0) checkPointOrder(a.points);
        return;
    }
    if (found.apart != 0 && !comparing) fail({"-- goes with -diff, before the new runs"});
    if (found.apart != 0 && a.files.count == 0) fail({"No new runs after --"});
    if (options.failPercent >= 0 && !comparing) fail({"-fail goes with -diff or -history"});
    if (options.failPercent >= 0 && options.orderBy == OrderBy::efficiency)
        fail({"-fail needs a criterion with a total, not -eff"});
    if (options.perCallLayout && comparing)
        fail({"-percall does not go with -diff: a comparison compares totals"});
    if (options.orderBy == OrderBy::efficiency && !options.parseProfile && !comparing)
        say({"-eff orders parse profiles only: without -parse the rows stay in file order"});
    if (a.stream == 0) {
        a.stream = openDefaultProfile(a.options);
        addName(a.files, a.options.profileName);
        a.files.named = false;
    }
}

// The runs of each side, loaded and merged.
struct Sides {
    Runs now, old;
};

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

// A growth above limit in percent, with one decimal or as many more as it
// takes to show it above the limit, so that the sentence it stands in
// ("grew by 5.04%, more than 5%") never reads against itself.
void shownAbove(double growth, double limit, char (&text)[64]) {
    for (int decimals = 1; decimals <= 6; ++decimals) {
        std::snprintf(text, sizeof text, "%.*f", decimals, growth);
        if (std::strtod(text, nullptr) > limit) return;
    }
}

// The growth of the total that the newest point starts, as a sentence
// says it.
void judgeHistory(const HistoryReport& report, const Options& options) {
    double growth = 0;
    if (!lastPointChangesTotal(report, growth) || !(growth > options.failPercent)) return;
    char text[64], limit[64];
    shownAbove(growth, options.failPercent, text);
    std::snprintf(limit, sizeof limit, "%g", options.failPercent);
    const HistoryRuns& h = *report.runs;
    say({"The total ", criterionName(options.orderBy), " grew at ", h.pointNames[h.pointCount - 1],
         " by ", text, "%, more than ", limit, "%"});
    TL_quit(3);
}

// A side's runs as a line names them: "5, from a to e", or "1, a".
struct SideText {
    char count[16];
    const char* from;
    const char* first;
    const char* to;
    const char* last;
};

SideText describe(const Runs& runs) {
    SideText text{};
    *TL_formatNat(text.count, static_cast<std::uint32_t>(runs.count), 0) = '\0';
    const bool one = runs.count == 1;
    text.from = one ? ", " : ", from ";
    text.first = runs.names[0];
    text.to = one ? "" : " to ";
    text.last = one ? "" : runs.names[runs.count - 1];
    return text;
}

// Notes on the runs: in the text format, which runs a report or a
// comparison is of where a side has more than one (the other formats say
// so themselves); and where the changes cannot be tested, why.
void noteRuns(const Arguments& a, const Sides& sides) {
    const Options& options = a.options;
    const bool comparing = isComparison(options);
    const Runs& now = sides.now;
    const Runs& old = sides.old;
    const SideText n = describe(now);
    if (options.format == Format::report && now.count > 1 && !comparing)
        say({"Runs merged: ", n.count, n.from, n.first, n.to, n.last});
    if (!comparing) return;
    const SideText o = describe(old);
    if (options.format == Format::report && (now.count > 1 || old.count > 1))
        say({"Runs compared: ", o.count, " old", o.from, o.first, o.to, o.last, "; ", n.count,
             " new", n.from, n.first, n.to, n.last});
    if ((old.count == 1) != (now.count == 1))
        say({o.count, " old run", old.count == 1 ? "" : "s", " against ", n.count, " new run",
             now.count == 1 ? "" : "s", ": no change can be tested; to compare runs, give "
             "each side two or more, as in -diff OLD... -- NEW..."});
}

// What the runs say as a whole, once tested: in the text format, the
// shift of everything (the other formats show it themselves); in every
// format, the runs unlike the others of their side.
void noteTests(const Table& table, const Options& options) {
    if (options.format == Format::report && table.shift[0] != nullptr)
        say({"Shift of every rule, old runs to new: ", table.shift[0], "% (95% interval ",
             table.shift[1], "% to ", table.shift[2], "%); the marks are of changes beyond it"});
    for (std::int32_t k = 0; k < table.noteCount; ++k) say({table.notes[k]});
}

void print(const Table& table, Format format) {
    switch (format) {
    case Format::csv: printCsv(table); break;
    case Format::json: printJson(table); break;
    case Format::html: printHtml(table); break;
    case Format::markdown: printMarkdown(table); break;
    case Format::report: printText(table); break;
    }
}

// -fail: exit status 3 when the total grew by more than allowed, and the
// runs, where there are several, show the growth to be real.
void judgeGrowth(const Comparison& comparison, const Options& options) {
    std::uint64_t newTotal = 0;
    bool real = true;
    const double growth = totalGrowth(comparison, newTotal, real);
    if (!(growth > options.failPercent)) return;
    if (!real) {
        say({"The total ", criterionName(options.orderBy),
             " grew, but the runs do not show the growth to be real"});
        return;
    }
    // Growth from nothing has no percentage: it is said as it is.
    char text[160], shown[64];
    if (growth == HUGE_VAL) {
        std::snprintf(text, sizeof text, "from 0 to %llu", static_cast<unsigned long long>(newTotal));
    } else {
        shownAbove(growth, options.failPercent, shown);
        std::snprintf(text, sizeof text, "by %s%%, more than %g%%", shown, options.failPercent);
    }
    say({"The total ", criterionName(options.orderBy), " grew ", text});
    TL_quit(3);
}

// What is printed: a report's or a comparison's table, or a history.
struct Printing {
    const Table* table;
    const HistoryReport* history;
    Format format;
};

// Prints to standard output, or with -o to the file named, which must be
// none of the files the run read. The program leaves SIGTERM and SIGHUP
// their default action, as the run-time does for a program that does not
// ask otherwise; while a file is written they remove its temporary file
// first.
// The files a history read inside its points are inputs too (runFiles).
void printWhere(const Arguments& a, const Printing& printing, const char* const* runFiles = nullptr,
                std::int32_t runFileCount = 0) {
    const char* const name = a.options.outputName;
    if (name != nullptr) {
        nameOutputs("qavprof", messagePrefix);
        removeTemporariesOnFatalSignals(true);
    }
    // Every argument is in one list at most, and the default file in
    // place of them all.
    const std::int32_t named = a.files.count + a.oldFiles.count + a.points.count;
    const char** inputs = allocateArray<const char*>(static_cast<std::size_t>(named) +
                                                     static_cast<std::size_t>(runFileCount) + 1);
    keepForRun(inputs);
    std::int32_t count = 0;
    for (const FileNames* names : {&a.files, &a.oldFiles, &a.points})
        for (std::int32_t k = 0; k < names->count; ++k) inputs[count++] = names->names[k];
    for (std::int32_t k = 0; k < runFileCount; ++k) inputs[count++] = runFiles[k];
    printReport(name, inputs, count, [](const void* what) {
        const Printing& p = *static_cast<const Printing*>(what);
        if (p.history != nullptr)
            printHistory(*p.history, p.format);
        else
            print(*p.table, p.format);
        // The shut-down would not notice a report that did not get out.
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) failWhy(errno, {"Unable to write report"});
    }, &printing);
}

// qavprof -history: every point loaded, one run at a time, the change
// points found and printed.
void runHistory(const Arguments& a) {
    const Options& options = a.options;
    HistoryRuns* const h = allocateArray<HistoryRuns>(1);
    keepForRun(h, [](void* block) { releaseHistory(*static_cast<HistoryRuns*>(block)); });
    startHistory(*h, a.points.names, a.points.count);
    Profile& run = newProfile();
    KindCheck kinds{ProfileKind::unknown, nullptr};
    for (std::int32_t t = 0; t < a.points.count; ++t) loadPoint(*h, t, run, options, kinds);
    finishHistory(*h);
    if (options.format == Format::report) {
        char count[16];
        *TL_formatNat(count, static_cast<std::uint32_t>(h->pointCount), 0) = '\0';
        say({"History of ", count, h->pointCount == 1 ? " point, " : " points, from ", h->pointNames[0],
             h->pointCount == 1 ? "" : " to ", h->pointCount == 1 ? "" : h->pointNames[h->pointCount - 1]});
    }
    HistoryReport* const report = allocateArray<HistoryReport>(1);
    keepForRun(report, [](void* block) { releaseHistoryReport(*static_cast<HistoryReport*>(block)); });
    buildHistoryReport(*h, options, *report);
    printWhere(a, Printing{nullptr, report, options.format}, h->runNames, h->runCount);
    if (options.failPercent >= 0) judgeHistory(*report, options);
}

void TProg() {
    Arguments arguments;
    takeArguments(arguments);
    const Options& options = arguments.options;
    if (options.history) {
        runHistory(arguments);
        return;
    }
    Sides sides{};
    loadSides(arguments, sides);
    noteRuns(arguments, sides);

    // A report runs to hundreds of kilobytes: into a file or a pipe it
    // goes in 64 KiB pieces rather than in the 4 KiB of the usual buffer.
    // The buffer stays until the exit, which flushes it.
    constexpr std::size_t reportBuffer = 1 << 16;
    if (!isatty(fileno(stdout)))
        if (void* buffer = std::malloc(reportBuffer))
            std::setvbuf(stdout, static_cast<char*>(buffer), _IOFBF, reportBuffer);

    const bool comparing = isComparison(options);
    Comparison* const comparison = comparing ? allocateArray<Comparison>(1) : nullptr;
    Report* const report = comparing ? nullptr : allocateArray<Report>(1);
    if (comparing)
        keepForRun(comparison, [](void* block) { releaseComparison(*static_cast<Comparison*>(block)); });
    else
        keepForRun(report);
    if (comparing) {
        buildComparison(sides.old, sides.now, options, *comparison);
        noteTests(comparison->table, options);
    } else {
        buildReport(sides.now, options, *report);
    }
    const Table& table = comparing ? tableOf(*comparison) : tableOf(*report);
    printWhere(arguments, Printing{&table, nullptr, options.format});
    if (options.failPercent >= 0) judgeGrowth(*comparison, options);
}
