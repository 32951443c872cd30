// Outputs replaced whole or not at all. A regular output (or a name that
// does not exist yet) is written to a new temporary file beside the file it
// will replace, and renamed onto it only when complete; a symbolic link is
// followed, so the link stays and its target is replaced. A device, a FIFO
// or a socket is written in place and never removed. Nothing the run did
// not create is ever removed or changed by a failure.
#pragma once

#include <sys/stat.h>

struct OutputFile {
    int fd;                // -1 when not open
    char* finalPath;       // the file a temporary replaces, links followed (malloc'd)
    char* temporaryPath;   // malloc'd; null when the output is written in place
    bool replacesFile;     // finalPath exists and is a regular file
};

enum class OutputOpened { ok, sameAsInput, cannotCreate };

// Opens the output named name: the temporary file beside its final file,
// or the device itself. sameAsInput when it is the file input describes.
OutputOpened openOutputFile(const char* name, const struct stat& input, OutputFile& file);
// Puts a complete output in place and closes it. With keepUnchanged, a
// final file that already holds exactly the new text is left as it is
// (time stamp included) and the temporary file goes. False when the output
// could not be put in place; the temporary file is then removed.
bool commitOutputFile(OutputFile& file, bool keepUnchanged);
// Closes an output that did not get complete and removes its temporary
// file. Safe to call after a signal unwound the conversion: it only closes
// and unlinks.
void abandonOutputFile(OutputFile& file);
// Frees the names of an output that is done with.
void releaseOutputFile(OutputFile& file);
// For the signals that end the process without the run-time's unwinding
// (SIGQUIT, SIGALRM, SIGXCPU...): removes the temporary files of the run,
// then lets the signal take its default action. SIGKILL alone can leave
// one behind, named "<final name>.qavcvt-XXXXXX".
void removeTemporariesOnFatalSignals();
