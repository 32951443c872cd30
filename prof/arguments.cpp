// qavprof's command line, taken argument by argument: flags anywhere,
// files opened or looked at as they come, "--" between the old runs and
// the new ones, "-" among the points of a history for standard input.
#include "arguments.h"

#include "inputs.h"
#include "messages.h"
#include "points.h"
#include "runtime.h"
#include "tool.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char helpText[] =
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
    "               unless the runs show it to be real (5% false discovery rate) and\n"
    "               it is 0.5% or more, and its 95% confidence interval is shown; a\n"
    "               change point, a shift or the total's change is 0.5% or more too\n"
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

const OptionEntry optionTable[] = {
    {"-parse", nullptr, false, Choice::none, [](Options& o) { o.parseProfile = true; }},
    {"-time", nullptr, false, Choice::none, [](Options& o) { o.orderBy = OrderBy::time; }},
    {"-space", nullptr, false, Choice::none, [](Options& o) { o.orderBy = OrderBy::space; }},
    {"-calls", nullptr, false, Choice::none, [](Options& o) { o.orderBy = OrderBy::calls; }},
    {"-cycles", nullptr, false, Choice::none, [](Options& o) { o.orderBy = OrderBy::cycles; }},
    {"-eff", nullptr, false, Choice::none, [](Options& o) { o.orderBy = OrderBy::efficiency; }},
    {"-percall", nullptr, false, Choice::none, [](Options& o) { o.perCallLayout = true; }},
    {"-top", "N", true, Choice::none, nullptr},
    {"-csv", nullptr, false, Choice::format, [](Options& o) { o.format = Format::csv; }},
    {"-json", nullptr, false, Choice::format, [](Options& o) { o.format = Format::json; }},
    {"-html", nullptr, false, Choice::format, [](Options& o) { o.format = Format::html; }},
    {"-md", nullptr, false, Choice::format, [](Options& o) { o.format = Format::markdown; }},
    {"-diff", "OLD", true, Choice::none, nullptr},
    {"-fail", "PCT", true, Choice::none, nullptr},
    {"-history", "POINT", false, Choice::none, nullptr},
    {"-o", "FILE", true, Choice::none, nullptr},
    {"-q", nullptr, false, Choice::none, [](Options& o) { o.quiet = true; }},
    {"-h", nullptr, false, Choice::none, nullptr},
    {"--version", nullptr, false, Choice::none, nullptr},
};
const std::int32_t optionCount = sizeof optionTable / sizeof optionTable[0];

const char* optionList(char (&list)[optionListRoom]) {
    std::size_t used = 0;
    list[0] = '\0';
    for (std::int32_t k = 0; k < optionCount && used < sizeof list; ++k) {
        const OptionEntry& option = optionTable[k];
        used += static_cast<std::size_t>(std::snprintf(list + used, sizeof list - used, "%s%s%s%s",
                                                       k == 0 ? "" : ", ", option.text,
                                                       option.value != nullptr ? " " : "",
                                                       option.value != nullptr ? option.value : ""));
    }
    return list;
}

void addName(FileNames& files, const char* name) {
    files.names[files.count++] = name;
}

namespace {

constexpr char banner[] = "QAV Profiler v6.0 (1.12.00): profile report of a QAV run";
constexpr char version[] = "qavprof (QAV tools) 6.0\n";
// Separates the old runs from the new ones.
constexpr char sidesApart[] = "--";

// The option of the table whose text argument is, or null.
const OptionEntry* optionNamed(const char* argument) {
    for (std::int32_t k = 0; k < optionCount; ++k)
        if (std::strcmp(argument, optionTable[k].text) == 0) return &optionTable[k];
    return nullptr;
}

// A switch: its effect, and a second, other format refused (the same
// flag twice asks for the same thing).
void takeSwitch(const OptionEntry& option, Arguments& a) {
    if (option.choice == Choice::format) {
        if (a.format != nullptr && std::strcmp(a.format, option.text) != 0)
            fail({"Two formats asked for, ", a.format, " and ", option.text, ": give one"});
        a.format = option.text;
    }
    option.apply(a.options);
}

[[noreturn]] void invalidFlag(const char* flag) {
    char list[optionListRoom];
    fail({"Invalid flag '", flag, "' (options are ", optionList(list), ")"});
}

[[noreturn]] void printAndEnd(const char* text) {
    std::fputs(text, stdout);
    TL_quit(std::fflush(stdout) == 0 ? 0 : 1);
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
        const OptionEntry* const option = optionNamed(argument);
        if (option != nullptr && option->takesValue) ++n;
    }
    return found;
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
    const OptionEntry* const option = optionNamed(argument);
    if (option != nullptr && option->apply != nullptr) {
        takeSwitch(*option, a);
        return n;
    }
    if (takeValue(n, found, options, a.oldFiles)) return n + 1;
    if (std::strcmp(argument, "-h") == 0 || std::strcmp(argument, "--help") == 0)
        printAndEnd(helpText);
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

}  // namespace

void takeArguments(Arguments& a) {
    const Survey found = survey();
    if (!found.quiet) TL_putLine(TL_stderrStream, {banner});
    // Files are opened by name, one at a time but the first, so every
    // stream is free for them, whatever the command line recorded.
    TL_nextfile = 1;
    // Every argument could name a file.
    a.files = FileNames{TL_argumentsRoom(messagePrefix), 0, true};
    a.oldFiles = FileNames{TL_argumentsRoom(messagePrefix), 0, true};
    a.points = FileNames{TL_argumentsRoom(messagePrefix), 0, true};
    a.stream = 0;
    a.inputAt = -1;
    a.format = nullptr;
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

