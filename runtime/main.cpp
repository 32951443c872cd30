// Program entry: builds the run-time state, runs the body, and turns a
// return, a quit or a signal into one orderly shut-down and exit status.
#include "runtime.h"
#include "tool.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

HandlerArea defaultHandlerArea;
HandlerArea* TL_handlerArea;
std::int32_t TL_quitting;
void* TL_mallocs[TL_mallocCount];
void (*TL_mallocReleases[TL_mallocCount])(void* block);
std::int32_t TL_nextmalloc;

// Weak: a program that does not define it leaves SIGTERM and SIGHUP their
// default action (its address is then null).
[[gnu::weak]] extern const bool TL_catchesTermination;

namespace {

constexpr int handledSignals[] = {SIGINT, SIGILL, SIGFPE, SIGBUS, SIGSEGV};

// Handled when the program asks for it (TL_catchesTermination).
constexpr int terminationSignals[] = {SIGTERM, SIGHUP};

// Set when a signal ended the body. The signal may have come in the middle
// of malloc or stdio, whose locks the unwinding leaves held, so the
// shut-down then closes and frees nothing: exit flushes the streams and the
// system closes the files.
volatile sig_atomic_t endedBySignal;

// Every signal the run-time may handle, held while there is nowhere to
// unwind to (before the outermost area is armed) and from the moment an
// unwinding starts to the exit, so that no handler runs twice into one
// shut-down.
sigset_t heldSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : handledSignals) sigaddset(&set, sig);
    for (int sig : terminationSignals) sigaddset(&set, sig);
    return set;
}

void holdSignals() {
    sigset_t set = heldSignals();
    sigprocmask(SIG_BLOCK, &set, nullptr);
}

// Unblocks rather than restores, so a signal sent while the program was
// starting is delivered now, with the area armed.
void releaseSignals() {
    sigset_t set = heldSignals();
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

// Installs the handler for sig, unless onlyUnlessIgnored and sig is ignored.
// While the handler runs, every handled signal is held.
void installHandler(int sig, bool onlyUnlessIgnored) {
    if (onlyUnlessIgnored) {
        struct sigaction old;
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) return;
    }
    struct sigaction action {};
    action.sa_handler = TL_SignalHandler;
    action.sa_mask = heldSignals();
    action.sa_flags = SA_RESTART;
    sigaction(sig, &action, nullptr);
}

void revertHandler(int sig) {
    struct sigaction old;
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigaction(sig, &action, nullptr);
}

// Descriptors 0, 1 and 2 must be taken before any file is opened, or the
// first file opened would become standard output or error and receive
// messages. A closed one is put on /dev/null the other way round (standard
// input for writing, output and error for reading), so that using it still
// fails as it would have when closed.
void occupyStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1) continue;
        int opened = open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

void writeError(const char* text, std::size_t length) {
    // The handler may run in the middle of a stdio call, so it writes with
    // the system call directly rather than through stdio.
    while (length > 0) {
        ssize_t done = write(STDERR_FILENO, text, length);
        if (done <= 0) return;
        text += done;
        length -= static_cast<std::size_t>(done);
    }
}

void writeSignalMessage(int sig) {
    switch (sig) {
    case SIGINT: writeError("Program terminated\n", 19); return;
    case SIGILL: writeError("Illegal instruction\n", 20); return;
    case SIGBUS: writeError("Bus error\n", 10); return;
    case SIGFPE: writeError("Floating point exception\n", 25); return;
    case SIGSEGV: writeError("Segmentation violation\n", 23); return;
    case SIGTERM: writeError("Terminated\n", 11); return;
    case SIGHUP: writeError("Hangup\n", 7); return;
    }
    // "QAV ERROR: Unexpected signal %d\n", formatted without stdio.
    char text[64] = "QAV ERROR: Unexpected signal ";
    std::size_t length = std::strlen(text);
    char digits[12];
    int count = 0;
    unsigned magnitude = sig < 0 ? 0u - static_cast<unsigned>(sig)
                                 : static_cast<unsigned>(sig);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (sig < 0) text[length++] = '-';
    while (count > 0) text[length++] = digits[--count];
    text[length++] = '\n';
    writeError(text, length);
}

// Steps out of an area whose quit is already being handled. In the
// outermost area there is nowhere to step to: the process ends at once.
void leaveQuittingArea(std::int32_t code, bool fromSignal) {
    if (TL_quitting == 0) return;
    HandlerArea* enclosing = TL_handlerArea->next;
    if (enclosing == nullptr) {
        if (fromSignal) _exit(code);
        std::exit(code);
    }
    TL_handlerArea = enclosing;
}

}  // namespace

void TL_InitSignalHandlers() {
    // A program started with interrupts ignored stays immune to them.
    for (int sig : handledSignals) installHandler(sig, sig == SIGINT);
    if (&TL_catchesTermination != nullptr && TL_catchesTermination)
        for (int sig : terminationSignals) installHandler(sig, true);
}

void TL_RevertSignalHandlers() {
    for (int sig : handledSignals) revertHandler(sig);
    for (int sig : terminationSignals) revertHandler(sig);
}

void TL_SignalHandler(int sig) {
    TL_RevertSignalHandlers();
    writeSignalMessage(sig);
    // The handled signals stay held from here to the exit: longjmp does
    // not give back the mask the handler runs with.
    endedBySignal = 1;
    leaveQuittingArea(sig, true);
    TL_quitting = 1;
    TL_handlerArea->quitCode = sig;
    longjmp(TL_handlerArea->env, sig);
}

void TL_quit(std::int32_t code) {
    holdSignals();
    if (TL_quitting != 0) {
        leaveQuittingArea(code, false);
        TL_quitting = 0;
    }
    TL_quitting = 1;
    TL_handlerArea->quitCode = code;
    longjmp(TL_handlerArea->env, code);
}

void TL_initialize(int argc, char** argv) {
    occupyStandardDescriptors();
    TL_files[0] = stdin;
    TL_filenames[0] = "stdin";
    TL_filemode[0] = 0;
    TL_files[1] = stdout;
    TL_filenames[1] = "stdout";
    TL_filemode[1] = 1;
    TL_nextfile = 2;
    TL_files[2] = stderr;
    TL_filenames[2] = "stderr";
    TL_filemode[2] = 1;
    for (std::int32_t slot = TL_firstFileSlot; slot < TL_slotCount; ++slot) {
        TL_files[slot] = nullptr;
        TL_filenames[slot] = TL_emptyName;
    }

    TL_handlerArea = &defaultHandlerArea;
    defaultHandlerArea.next = nullptr;
    defaultHandlerArea.quitCode = 0;
    TL_quitting = 0;
    TL_InitSignalHandlers();

    TL_nextmalloc = 0;
    for (void*& block : TL_mallocs) block = nullptr;
    for (auto& release : TL_mallocReleases) release = nullptr;

    TL_TLI_TLIARC = argc - 1;
    TL_TLI_TLIARV = argv;

    // Arguments that do not start with '-' name streams 1, 2, ...; names
    // beyond the last slot are not recorded.
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') continue;
        ++TL_nextfile;
        if (TL_nextfile < TL_slotCount) TL_filenames[TL_nextfile] = argv[i];
    }
    ++TL_nextfile;
}

void TL_finalize() {
    if (endedBySignal) return;  // the handler has reverted the handlers
    // A slot is cleared before its stream is closed, so that nothing can
    // ever close the same stream twice.
    for (std::int32_t slot = TL_firstFileSlot; slot < TL_slotCount; ++slot) {
        FILE* handle = TL_files[slot];
        TL_files[slot] = nullptr;
        if (handle != nullptr) std::fclose(handle);
    }
    for (std::int32_t k = 0; k < TL_mallocCount; ++k) {
        if (TL_mallocs[k] == nullptr) continue;
        if (TL_mallocReleases[k] != nullptr) TL_mallocReleases[k](TL_mallocs[k]);
        std::free(TL_mallocs[k]);
    }
    TL_RevertSignalHandlers();
}

int main(int argc, char** argv) {
    // Until the outermost area is armed a handler would have nowhere to
    // unwind to: signals are held until then, and again during the
    // shut-down (a quit or a signal holds them itself), which runs once.
    holdSignals();
    TL_initialize(argc, argv);
    if (_setjmp(TL_handlerArea->env) != 0) {
        TL_finalize();
        std::exit(TL_handlerArea->quitCode);
    }
    releaseSignals();
    TProg();
    holdSignals();
    TL_finalize();
    std::exit(0);
}

// The table of allocations is the entry's: what the tools keep for the run
// goes into it here.
void TL_keepForRun(const char* prefix, void* block, void (*release)(void* block)) {
    if (block == nullptr) return;
    if (TL_nextmalloc == TL_mallocCount) {
        if (release != nullptr) release(block);
        std::free(block);
        TL_fail(prefix, {"Out of memory"});
    }
    TL_mallocReleases[TL_nextmalloc] = release;
    TL_mallocs[TL_nextmalloc++] = block;
}

const char** TL_argumentsRoom(const char* prefix) {
    const char** room = static_cast<const char**>(
        TL_allocateZeroed(prefix, static_cast<std::size_t>(TL_TLI_TLIARC) + 1, sizeof(const char*)));
    TL_keepForRun(prefix, room);
    return room;
}
