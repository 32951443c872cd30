// qavprof -o FILE. The printers write to standard output, so for the
// length of the printing it is sent to the output's temporary file (or
// the device it names); a file written in place gets the report through
// a scratch file, so that its mark can hold back the first line.
#include "output.h"

#include "messages.h"
#include "replace.h"
#include "runtime.h"
#include "tool.h"

#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The mark of a report written in place while it is unfinished: no
// reader takes it for a report (a JSON parser refuses it, a page shows
// it).
constexpr char unfinishedLine[] = "qavprof stopped: output incomplete.\n";
static_assert(sizeof unfinishedLine - 1 == markLength, "the mark is a whole line of its length");

void refuse(OutputOpened result, const char* name, int err) {
    switch (result) {
    case OutputOpened::ok: return;
    case OutputOpened::sameAsInput: fail({"Output would overwrite the input: ", name});
    case OutputOpened::cannotCreate: failWhy(err, {"Unable to create ", name});
    case OutputOpened::linkLoop: fail({"Unable to create ", name, ": Too many levels of symbolic links"});
    case OutputOpened::outOfMemory: fail({"Out of memory"});
    }
}

// Sends standard output to fd; returns the descriptor that puts it back.
int sendStandardOutput(int fd) {
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    if (saved < 0 || dup2(fd, STDOUT_FILENO) < 0) failWhy(errno, {"Unable to write report"});
    return saved;
}

void restoreStandardOutput(int saved) {
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
}

// Copies the report from the scratch file from into the file written in
// place, under its mark.
bool copyInPlace(int from, OutputFile& file) {
    OutputWriter writer;
    beginText(writer, file.fd, OutputStart::inPlace, *file.mark, unfinishedLine);
    if (lseek(from, 0, SEEK_SET) != 0) return false;
    // Whole blocks, so that the first holds the first line the mark
    // stands in for.
    char block[1 << 16];
    for (bool end = false; !end;) {
        std::size_t got = 0;
        while (got < sizeof block) {
            const ssize_t part = read(from, block + got, sizeof block - got);
            if (part < 0 && errno == EINTR) continue;
            if (part < 0) return false;
            if (part == 0) {
                end = true;
                break;
            }
            got += static_cast<std::size_t>(part);
        }
        writeText(writer, block, got);
    }
    return endText(writer);
}

// Opens the output, or ends the run saying why. The inputs are read
// whole before the report is written, so one of them named as the output
// would be lost to it.
void openReport(const char* name, const char* const inputs[], std::int32_t inputCount, OutputFile& file) {
    struct stat* const inputStats = allocateArray<struct stat>(static_cast<std::size_t>(inputCount) + 1);
    int known = 0;
    for (std::int32_t k = 0; k < inputCount; ++k)
        if (stat(inputs[k], &inputStats[known]) == 0) ++known;
    const OutputOpened opened = openOutputFile(name, inputStats, known, false, file);
    const int err = errno;
    std::free(inputStats);
    refuse(opened, name, err);
    waitForOtherWriters(file);
}

void sayIncomplete(const OutputFile& file, const char* name) {
    if (leftIncomplete(file)) say({incompleteMessage, name});
}

}  // namespace

void printReport(const char* name, const char* const inputs[], std::int32_t inputCount,
                 void (*print)(const void* what), const void* what) {
    if (name == nullptr || std::strcmp(name, "-") == 0 || namesStandardOutput(name)) {
        print(what);
        return;
    }
    // A report past the file-size limit is a write error, said as such,
    // not a death that leaves the temporary file behind.
    std::signal(SIGXFSZ, SIG_IGN);
    // Kept where the shut-down frees its names, however the run ends; the
    // handler area below reads it after an unwinding.
    OutputFile* const file = allocateArray<OutputFile>(1);
    *file = noOutputFile;
    TL_keepForRun(messagePrefix, file, [](void* block) { releaseOutputFile(*static_cast<OutputFile*>(block)); });
    // A signal or a quit from the moment the output may be made removes
    // what the run made on the way out.
    HandlerArea area;
    area.next = TL_handlerArea;
    area.quitCode = 0;
    TL_handlerArea = &area;
    if (_setjmp(area.env) != 0) {
        abandonOutputFile(*file);
        sayIncomplete(*file, name);
        TL_quit(area.quitCode);
    }
    openReport(name, inputs, inputCount, *file);
    std::FILE* const scratch = file->inPlace ? std::tmpfile() : nullptr;
    if (file->inPlace && scratch == nullptr) failWhy(errno, {"Unable to write report"});
    const int saved = sendStandardOutput(scratch != nullptr ? fileno(scratch) : file->fd);
    print(what);
    restoreStandardOutput(saved);
    const bool copied = scratch == nullptr || copyInPlace(fileno(scratch), *file);
    int reason = errno;
    if (scratch != nullptr) std::fclose(scratch);
    OutputFile* const files[] = {file};
    if (!copied || commitOutputFiles(files, 1, false) >= 0) {
        if (copied) reason = errno;
        say({file->inPlace ? "Unable to write " : "Unable to create ", name});
        TL_sayReason(reason);
        abandonOutputFile(*file);
        sayIncomplete(*file, name);
        TL_handlerArea = area.next;
        TL_quit(1);
    }
    TL_handlerArea = area.next;
    abandonOutputFile(*file);
}
