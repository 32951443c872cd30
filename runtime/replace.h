// Outputs replaced the way careful editors do. A new name, or a regular
// file whose owner, group, mode and links a new file can keep, is written
// to a temporary file beside it, flushed to the disk and renamed onto it
// only when complete. Any other regular file is written in place, marked
// unfinished until complete (inplace.h): one with other hard links, ACL
// entries or extended attributes, one whose owner or group cannot be given
// to a new file, one in a folder where no file can be made. A symbolic
// link is followed, so the link stays and the file it names is written. A
// device, a FIFO or a socket is written in place and never removed, and
// standard output, by whatever name, is written where it stands. Nothing
// the run did not create is ever removed by a failure.
//
// POSIX calls: openat, renameat, linkat, unlinkat, fchown, fchmod, fstat,
// lstat, readlink, faccessat, fdatasync, fsync, clock_gettime, sigaction
// and sigprocmask; flock; Linux's O_PATH, its extended attributes
// (attributes.h) and its signals SIGPWR and SIGSTKFLT where the system has
// them.
#pragma once

#include "inplace.h"

#include <sys/stat.h>

struct OutputFile {
    int fd;                 // -1 when not open
    int folder;             // the final file's folder, while a temporary file is in it
    char* finalPath;        // the file written, links followed (malloc'd)
    const char* finalName;  // finalPath's last component
    char* temporaryName;    // in folder; null when written in place, or gone
    char* nameBlock;        // the temporary name's allocation
    bool exists;            // finalPath named a file when the output was opened
    bool regular;           // ... a regular file, or a new name
    bool inPlace;           // an existing regular file, written where it is
    bool readOnly;          // -keep on a file that may not be written: read to compare
    dev_t device;           // the existing file's, for comparisons
    ino_t inode;
    InPlaceMark* mark;      // written in place: its state, which a signal handler sees
};

// An output that is not open.
constexpr OutputFile noOutputFile{-1,    -1,    nullptr, nullptr, nullptr, nullptr, false,
                                  true,  false, false,   0,       0,       nullptr};

// Follows the tool's prefix ("qavcvt: ", "QAVPROF: ") in the messages of
// outputs that a failure or a signal left cut short.
constexpr char incompleteMessage[] = "Written in place and now incomplete: ";

// At most this many outputs are open at once: a C file and its header.
constexpr int maxOutputs = 2;

enum class OutputOpened { ok, sameAsInput, cannotCreate, linkLoop, outOfMemory };

// Opens the output named name: a temporary file beside its final file, or
// the file itself. sameAsInput, before anything is made, when it is one of
// the inputCount files inputs describe; linkLoop when its symbolic links
// do not end. keepUnchanged opens a file that may not be written for
// reading, so that an unchanged text is no failure. name is kept for the
// message a signal writes.
OutputOpened openOutputFile(const char* name, const struct stat inputs[], int inputCount,
                            bool keepUnchanged, OutputFile& file);
// The same for an output of one input.
inline OutputOpened openOutputFile(const char* name, const struct stat& input, bool keepUnchanged,
                                   OutputFile& file) {
    return openOutputFile(name, &input, 1, keepUnchanged, file);
}
// Whether name is the file standard output writes to, under another name
// (/dev/stdout, /dev/fd/1, or its own path).
bool namesStandardOutput(const char* name);
// Whether name is an existing file that is not a regular file nor a
// folder: a device, a FIFO or a socket. Nothing is opened.
bool namesSpecialFile(const char* name);
// Whether a and b, both opened, are one file.
bool sameDestination(const OutputFile& a, const OutputFile& b);
// Waits until no other run writes the file in place; to be called once its
// outputs are known to be distinct, before anything is written.
void waitForOtherWriters(OutputFile& file);
// Whether an output written in place was changed and is not complete.
bool leftIncomplete(const OutputFile& file);
// Puts complete outputs in place together (count at most maxOutputs) and
// closes them: the temporary files are flushed, then renamed with every
// signal held, so none can come between, and while no other run renames
// into the first one's folder; outputs written in place are finished
// after the renames. With keepUnchanged, a final file that already holds
// exactly the new text is left as it is (time stamp included). Returns the
// index of the output that could not be put in place, or -1; on a
// failure, the renamed files get their old texts back and no temporary
// file is left behind (an output in place that changed stays incomplete).
int commitOutputFiles(OutputFile* const files[], int count, bool keepUnchanged);
// Closes an output that did not get complete and removes its temporary
// file. Safe to call after a signal unwound the conversion: it only closes
// and unlinks.
void abandonOutputFile(OutputFile& file);
// Frees the names of an output that is done with.
void releaseOutputFile(OutputFile& file);
// Who writes the outputs of the run: tool names the temporary files,
// "<final name>.<tool>-XXXXXX", and messagePrefix starts what a fatal
// signal says of them. Both stay as given to the end of the run.
void nameOutputs(const char* tool, const char* messagePrefix);
// For the signals that end the process without the run-time's unwinding
// (SIGQUIT, SIGABRT, SIGALRM, the real-time signals...; with termination,
// SIGTERM and SIGHUP too, for a program that leaves them their default
// action): removes the temporary files of the run and says which outputs
// in place it leaves incomplete, then lets the signal take its default
// action. SIGKILL alone can leave a temporary file behind, or an output in
// place unfinished without a word (its mark says so).
void removeTemporariesOnFatalSignals(bool termination = false);
