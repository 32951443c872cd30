// qavprof: prints the profile that a profiled QAV run leaves behind as a
// report on standard output, ordered by a criterion chosen with a flag.
//
//   qavprof [-time|-space|-calls|-cycles|-eff] [-percall] [-parse]
//           [-top N] [-csv|-json|-html] [-diff OLD [-fail PCT]] [file]
//
// Without a file it reads qav.rprofout, or qav.pprofout with -parse.
#include "table.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr std::int32_t stderrStream = 0;
constexpr char invalidFlagTail[] =
    "' (options are -parse, -time, -space, -calls, -cycles, -eff, -percall, "
    "-top N, -csv, -json, -html, -diff OLD, -fail PCT, -h)";
constexpr char help[] =
    "Usage: qavprof [options] [file]\n"
    "Reports a QAV profile (qav.rprofout, or qav.pprofout with -parse), largest first.\n"
    "\n"
    "  -time, -space, -calls, -cycles   order by this criterion (time by default)\n"
    "  -eff         least efficient first (parse profiles)\n"
    "  -parse       the profile is a parse profile\n"
    "  -percall     show totals and per-call values\n"
    "  -top N       at most N rows\n"
    "  -csv, -json  the rows for scripts; -html a page to look at\n"
    "  -diff OLD    compare with the older profile OLD, largest change first\n"
    "  -fail PCT    with -diff: exit status 3 when the total grew by more than PCT%\n"
    "  -h, --help, --version\n";
constexpr char version[] = "qavprof (QAV tools) 6.0\n";

[[noreturn]] void fail(std::initializer_list<const char*> pieces) {
    TL_putLine(stderrStream, pieces);
    TL_quit(1);
}

[[noreturn]] void invalidFlag(const char* flag, const char* value = "") {
    fail({"QAVPROF: Invalid flag '", flag, value[0] == '\0' ? "" : " ", value, invalidFlagTail});
}

[[noreturn]] void printAndEnd(const char* text) {
    std::fputs(text, stdout);
    TL_quit(std::fflush(stdout) == 0 ? 0 : 1);
}

struct Flag {
    const char* text;
    void (*apply)(Options&);
};

const Flag flags[] = {
    {"-time", [](Options& o) { o.orderBy = OrderBy::time; }},
    {"-space", [](Options& o) { o.orderBy = OrderBy::space; }},
    {"-calls", [](Options& o) { o.orderBy = OrderBy::calls; }},
    {"-cycles", [](Options& o) { o.orderBy = OrderBy::cycles; }},
    {"-eff", [](Options& o) { o.orderBy = OrderBy::efficiency; }},
    {"-percall", [](Options& o) { o.perCallLayout = true; }},
    {"-parse", [](Options& o) { o.parseProfile = true; }},
    {"-csv", [](Options& o) { o.format = Format::csv; }},
    {"-json", [](Options& o) { o.format = Format::json; }},
    {"-html", [](Options& o) { o.format = Format::html; }},
};

// The stream of the profile file name, opened whole (a path of any length
// the system takes), or the end of the run.
std::int32_t openProfile(const char* name) {
    std::int32_t s = 0;
    TL_open(TL_modeTextIn, name, s);
    if (s == 0) fail({"QAVPROF: Unable to open QAV profile file '", name, "'"});
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

// Takes argument n and the value of a flag that has one into options, and
// opens a file named on stream; returns the number of the last argument
// used.
std::int32_t takeArgument(std::int32_t n, Options& options, std::int32_t& stream) {
    const char* argument = TL_TLI_TLIARV[n];
    for (const Flag& flag : flags)
        if (std::strcmp(argument, flag.text) == 0) {
            flag.apply(options);
            return n;
        }
    const bool hasValue = n < TL_TLI_TLIARC;
    const char* value = hasValue ? TL_TLI_TLIARV[n + 1] : "";
    if (std::strcmp(argument, "-top") == 0) {
        options.topRows = positiveNumber(value);
        if (options.topRows == 0) invalidFlag(argument, value);
        return n + 1;
    }
    if (std::strcmp(argument, "-fail") == 0) {
        char* end = nullptr;
        options.failPercent = hasValue ? std::strtod(value, &end) : -1;
        if (!hasValue || end == value || *end != '\0' || !(options.failPercent >= 0))
            invalidFlag(argument, value);
        return n + 1;
    }
    if (std::strcmp(argument, "-diff") == 0) {
        if (!hasValue) invalidFlag(argument);
        options.oldProfileName = value;
        return n + 1;
    }
    if (std::strcmp(argument, "-h") == 0 || std::strcmp(argument, "--help") == 0)
        printAndEnd(help);
    if (std::strcmp(argument, "--version") == 0) printAndEnd(version);
    if (argument[0] == '-') invalidFlag(argument);
    if (stream != 0) fail({"QAVPROF: Only one QAV profile file allowed"});
    stream = openProfile(argument);
    options.profileName = argument;
    return n;
}

std::int32_t openDefaultProfile(Options& options) {
    options.profileName = options.parseProfile ? "qav.pprofout" : "qav.rprofout";
    std::int32_t stream = 0;
    TL_open(TL_modeTextIn, options.profileName, stream);
    if (stream != 0) return stream;
    TL_putLine(stderrStream,
               {"QAVPROF: Unable to open QAV profile file 'qav.rprofout' or 'qav.pprofout'"});
    fail({"  (Probable cause: errors in profiled QAV run)"});
}

// Loads the profile open on stream s, named name, closes it and orders it.
void load(std::int32_t s, const char* name, const Options& options, Profile& profile) {
    loadProfile(s, options.parseProfile, profile);
    if (std::ferror(TL_handle(s)))
        fail({"QAVPROF: Unable to read QAV profile file '", name, "'"});
    TL_close(s);
    orderEntries(profile, options);
    if (profile.moreRecords) {
        char count[16];
        *TL_formatNat(count, maxEntries, 0) = '\0';
        TL_putLine(stderrStream, {"QAVPROF: Only the first ", count, " records of '", name,
                                  "' were read; the rest of the file was ignored"});
    }
}

}  // namespace

// The report goes to standard output only: nothing to clean up.
const bool TL_catchesTermination = false;

void TProg() {
    TL_putLine(stderrStream, {"QAV Profiler v6.0 (1.12.00): profile report of a QAV run"});

    Options options;
    std::int32_t stream = 0;
    for (std::int32_t n = 1; n <= TL_TLI_TLIARC; ++n) n = takeArgument(n, options, stream);
    if (options.failPercent >= 0 && options.oldProfileName == nullptr)
        fail({"QAVPROF: -fail goes with -diff"});
    if (options.failPercent >= 0 && options.orderBy == OrderBy::efficiency)
        fail({"QAVPROF: -fail needs a criterion with a total, not -eff"});
    if (stream == 0) stream = openDefaultProfile(options);

    // The profiles live for the whole run, too large for the stack.
    static Profile now, old;
    const bool comparing = options.oldProfileName != nullptr;
    if (comparing) load(openProfile(options.oldProfileName), options.oldProfileName, options, old);
    load(stream, options.profileName, options, now);

    // A report runs to hundreds of kilobytes: into a file or a pipe it
    // goes in 64 KiB pieces rather than in the 4 KiB of the usual buffer.
    static char reportBuffer[1 << 16];
    if (!isatty(fileno(stdout))) std::setvbuf(stdout, reportBuffer, _IOFBF, sizeof reportBuffer);

    Table& table = comparing ? buildComparison(old, now, options) : buildReport(now, options);
    switch (options.format) {
    case Format::csv: printCsv(table); break;
    case Format::json: printJson(table); break;
    case Format::html: printHtml(table); break;
    case Format::report: printText(table); break;
    }

    // The shut-down would not notice a report that did not get out.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        fail({"QAVPROF: Unable to write report"});

    if (options.failPercent >= 0) {
        std::uint64_t newTotal = 0;
        const double growth = totalGrowth(old, now, options, newTotal);
        if (growth > options.failPercent) {
            // Growth from nothing has no percentage: it is said as it is.
            char text[64];
            if (growth == HUGE_VAL)
                std::snprintf(text, sizeof text, "from 0 to %llu",
                              static_cast<unsigned long long>(newTotal));
            else
                std::snprintf(text, sizeof text, "by %.1f%%, more than %g%%", growth,
                              options.failPercent);
            TL_putLine(stderrStream, {"QAVPROF: The total ", criterionName(options.orderBy),
                                      " grew ", text});
            TL_quit(3);
        }
    }
}
