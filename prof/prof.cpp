// qavprof: prints the profile that a profiled QAV run leaves behind as a
// report on standard output, ordered by a criterion chosen with a flag.
//
//   qavprof [-time|-space|-calls|-cycles|-eff] [-percall] [-parse] [file]
//
// Without a file it reads qav.rprofout, or qav.pprofout with -parse.
#include "profile.h"

#include <cstring>

namespace {

constexpr std::int32_t stderrStream = 0;

[[noreturn]] void fail(std::initializer_list<const char*> pieces) {
    TL_putLine(stderrStream, pieces);
    TL_quit(1);
}

struct Flag {
    const char* text;
    void (*apply)();
};

const Flag flags[] = {
    {"-time", [] { orderBy = OrderBy::time; }},
    {"-space", [] { orderBy = OrderBy::space; }},
    {"-calls", [] { orderBy = OrderBy::calls; }},
    {"-cycles", [] { orderBy = OrderBy::cycles; }},
    {"-eff", [] { orderBy = OrderBy::efficiency; }},
    {"-percall", [] { perCallLayout = true; }},
    {"-parse", [] { parseProfile = true; }},
};

void takeArgument(std::int32_t n) {
    // Cutting a longer argument would open another file than the one named.
    if (std::strlen(TL_TLI_TLIARV[n]) > static_cast<std::size_t>(TL_maxStringLength))
        fail({"QAVPROF: Argument longer than 255 characters"});
    TL_string argument;
    TL_fetchArg(n, argument);
    for (const Flag& flag : flags)
        if (std::strcmp(argument, flag.text) == 0) {
            flag.apply();
            return;
        }
    if (TL_index(argument, "-") == 1)
        fail({"QAVPROF: Invalid flag '", argument,
              "' (options are -parse, -time, -space, -calls, -cycles, -eff, -percall)"});
    if (profileStream != 0) fail({"QAVPROF: Only one QAV profile file allowed"});
    TL_open(TL_modeTextIn, argument, profileStream);
    if (profileStream == 0) fail({"QAVPROF: Unable to open QAV profile file '", argument, "'"});
}

void openDefaultProfile() {
    TL_open(TL_modeTextIn, parseProfile ? "qav.pprofout" : "qav.rprofout", profileStream);
    if (profileStream != 0) return;
    TL_putLine(stderrStream,
               {"QAVPROF: Unable to open QAV profile file 'qav.rprofout' or 'qav.pprofout'"});
    fail({"  (Probable cause: errors in profiled QAV run)"});
}

}  // namespace

// The report goes to standard output only: nothing to clean up.
const bool TL_catchesTermination = false;

void TProg() {
    TL_putLine(stderrStream, {"QAV Profiler v6.0 (1.12.00): profile report of a QAV run"});

    orderBy = OrderBy::time;
    parseProfile = false;
    perCallLayout = false;
    profileStream = 0;
    for (std::int32_t n = 1; n <= TL_TLI_TLIARC; ++n) takeArgument(n);
    if (profileStream == 0) openDefaultProfile();

    loadProfile(profileStream);
    if (std::ferror(TL_handle(profileStream)))
        fail({"QAVPROF: Unable to read QAV profile file '", TL_filenames[profileStream + 2],
              "'"});
    TL_close(profileStream);

    orderEntries();
    setPercentBase();
    printReport();

    // The shut-down would not notice a report that did not get out.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        fail({"QAVPROF: Unable to write report"});
}
