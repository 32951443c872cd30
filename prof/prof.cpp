// qavprof: prints the profile that a profiled QAV run leaves behind as a
// report on standard output, ordered by a criterion chosen with a flag.
//
//   qavprof [-time|-space|-calls|-cycles|-eff] [-percall] [-parse] [-q]
//           [-top N] [-csv|-json|-html|-md] [-diff OLD... [-fail PCT]] [file...]
//   qavprof [flags] [-fail PCT] -history POINT...
//
// Without a file it reads qav.rprofout, or qav.pprofout with -parse.
// Several files are runs, merged; several -diff files are the old runs.
#include "arguments.h"
#include "comparison.h"
#include "history_report.h"
#include "inputs.h"
#include "messages.h"
#include "output.h"
#include "print.h"
#include "replace.h"
#include "report.h"
#include "verdict.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

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

// What is printed: the table of a report, a comparison or a history.
struct Printing {
    const Table* table;
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
    for (std::int32_t k = 0; k < report->table.noteCount; ++k) say({report->table.notes[k]});
    printWhere(a, Printing{&report->table, options.format}, h->runNames, h->runCount);
    if (options.failPercent >= 0) judgeHistory(*report, options);
}

}  // namespace

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
    printWhere(arguments, Printing{&table, options.format});
    if (options.failPercent >= 0) judgeGrowth(*comparison, options);
}
