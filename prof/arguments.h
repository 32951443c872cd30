// qavprof's command line: its options, in one table that the parsing,
// the invalid-flag message and the checks of --help, the manual page and
// the completions all take, and what the arguments name.
#pragma once

#include "options.h"

#include <cstddef>
#include <cstdint>

// What an option chooses beside its own effect. The ordering flags
// overwrite one another, the last one winning (aliases such as
// `qavprof -calls` rely on it); a second, other format is refused, since
// what the run writes would depend on which one came last.
enum class Choice : std::uint8_t { none, format };

// One option: its text; the name of its value where the next argument is
// its value ("-top N"), or of what follows it ("-history POINT"); and a
// switch's effect (null where the parsing takes the option itself).
struct OptionEntry {
    const char* text;
    const char* value;
    bool takesValue;
    Choice choice;
    void (*apply)(Options& options);
};

// Every option, in the order the invalid-flag message lists them.
extern const OptionEntry optionTable[];
extern const std::int32_t optionCount;
// The options as the invalid-flag message lists them: "-parse, -time, ...,
// -top N, ..., --version", written into list.
constexpr std::size_t optionListRoom = 512;
const char* optionList(char (&list)[optionListRoom]);
// --help's text.
extern const char helpText[];

// The files named: the runs reported, with -diff the old runs, or the
// points of a history.
struct FileNames {
    const char** names;
    std::int32_t count;
    bool named;  // on the command line, not the default file
};

void addName(FileNames& files, const char* name);

// Whether a message about a file adds the system's reason: a report's
// message is the one line scripts know, while runs compared or making a
// history say why.
enum class Why : bool { withheld, said };

// What the command line names: the options, the runs of each side or the
// points of a history, and the stream the first new run is open on.
struct Arguments {
    Options options;
    FileNames files;
    FileNames oldFiles;
    FileNames points;      // of a history
    std::int32_t inputAt;  // where "-" stood among the points, or -1
    std::int32_t stream;
    const char* format;    // the format flag given, to refuse another
};

// Takes every argument, writes the banner unless -q, and opens the first
// run (or the default profile); ends the run on a bad command line.
void takeArguments(Arguments& a);
