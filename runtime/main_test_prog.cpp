// A program body for the tests of the entry: argument 1 says what to do.
#include "runtime.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void say(const char* text) {
    TL_ensureOpen(0, TL_kindTextOut);
    TL_putText(0, text, 0);
    TL_putNewline(0);
}

void sleepMilliseconds(long milliseconds) {
    timespec delay{milliseconds / 1000, (milliseconds % 1000) * 1000000};
    while (nanosleep(&delay, &delay) != 0) {
    }
}

// Runs during exit, after the run-time's shut-down: reports whether the
// signal handlers are still installed.
void reportHandlersAtExit() {
    void (*segv)(int) = std::signal(SIGSEGV, SIG_DFL);
    void (*interrupt)(int) = std::signal(SIGINT, SIG_DFL);
    std::printf("handlers at exit: %s, SIGINT %s\n",
                segv == TL_SignalHandler ? "installed" : "reverted",
                interrupt == SIG_IGN ? "ignored" : "not ignored");
}

}  // namespace

// The program is linked with --wrap for these two, so that a signal can be
// raised at the two moments no test could hit by timing alone: right after
// the interrupt handler is installed, before main has armed the outermost
// area (QAV_TEST_RAISE=startup), and while the shut-down closes a file
// (QAV_TEST_RAISE=close).
extern "C" int __real_sigaction(int, const struct sigaction*, struct sigaction*);
extern "C" int __wrap_sigaction(int sig, const struct sigaction* action,
                                struct sigaction* old) {
    int result = __real_sigaction(sig, action, old);
    const char* when = std::getenv("QAV_TEST_RAISE");
    if (sig == SIGINT && action != nullptr && action->sa_handler == TL_SignalHandler &&
        when != nullptr && std::strcmp(when, "startup") == 0)
        std::raise(SIGINT);
    return result;
}

extern "C" int __real_fclose(FILE*);
extern "C" int __wrap_fclose(FILE* stream) {
    const char* when = std::getenv("QAV_TEST_RAISE");
    if (when != nullptr && std::strcmp(when, "close") == 0) std::raise(SIGINT);
    return __real_fclose(stream);
}

// Built a second time without this, as a program that defines its body
// alone.
#ifndef QAV_BODY_ONLY
const bool TL_catchesTermination = true;
#endif

namespace {

void showState() {
    std::printf("argc %d nextfile %d\n", TL_TLI_TLIARC, TL_nextfile);
    for (std::int32_t slot = TL_firstFileSlot; slot < TL_slotCount; ++slot)
        if (TL_filenames[slot][0] != '\0') std::printf("stream %d: %s\n", slot - 2, TL_filenames[slot]);
}

void quitAfterWriting() {
    // Stream 1 is named on the command line and opened on demand; its
    // buffered text must reach the file through the shut-down.
    TL_ensureOpen(1, TL_kindTextOut);
    TL_putText(1, "data", 0);
    TL_putNewline(1);
    say("something failed");
    TL_quit(1);
}

void writeAndReturn() {
    // Leaves stream 1 open for the shut-down to close.
    TL_ensureOpen(1, TL_kindTextOut);
    TL_putText(1, "data", 0);
    TL_putNewline(1);
}

void readWord() {
    TL_string word = "";
    TL_ensureOpen(1, TL_kindTextIn);
    TL_getToken(1, word);
    std::printf("read %s\n", word);
}

void raiseSignal() {
    TL_string number;
    TL_fetchArg(2, number);
    std::raise(TL_textToInt(number));
    say("not reached");
}

void fault() {
    // A store to a read-only page: a real fault, not a raised signal.
    void* page = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    *static_cast<volatile int*>(page) = 1;
}

void waitForSignal() {
    // Waits to be signalled; carries on if the signal is ignored. "ready"
    // goes out by the system call itself: a signal that came while stdio
    // was still finishing a flush of it would leave it for the exit to
    // write again (seen under emulation, where the test sends the signal
    // as soon as the text is in the file).
    if (write(STDOUT_FILENO, "ready\n", 6) != 6) std::exit(2);
    sleepMilliseconds(500);
    std::printf("finished\n");
}

void quitWhileQuitting() {
    TL_quitting = 1;  // as if a first quit were being handled
    TL_quit(5);
}

struct Mode {
    const char* name;
    void (*run)();
};

const Mode modes[] = {
    {"-return", [] {}},
    {"-state", showState},
    {"-quit", quitAfterWriting},
    {"-quit0", [] { TL_quit(0); }},
    {"-write", writeAndReturn},
    {"-read", readWord},
    {"-raise", raiseSignal},
    {"-fault", fault},
    {"-wait", waitForSignal},
    {"-quit-while-quitting", quitWhileQuitting},
};

}  // namespace

void TProg() {
    TL_string mode;
    TL_fetchArg(1, mode);
    std::atexit(reportHandlersAtExit);
    for (const Mode& m : modes)
        if (std::strcmp(mode, m.name) == 0) {
            m.run();
            return;
        }
    say("unknown mode");
    TL_quit(99);
}
