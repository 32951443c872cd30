// Replacing outputs whole: POSIX calls only (mkostemp, rename, readlink).
#include "replace.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The temporary files that exist now, for the signal handler to remove: a
// C file and its header at the most.
constexpr int maxPending = 2;
char* volatile pendingTemporaries[maxPending];

// Signals whose default action ends the process and that the run-time does
// not unwind from; a temporary file must not outlive them.
constexpr int fatalSignals[] = {SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU,
                                SIGVTALRM, SIGPROF, SIGPIPE};

extern "C" void removeTemporariesAndDie(int sig) {
    for (char* volatile& path : pendingTemporaries)
        if (path != nullptr) unlink(path);
    // The handler was reset on entry and sig is not held (SA_RESETHAND,
    // SA_NODEFER): raising it again ends the process as it would have.
    raise(sig);
}

// Holds every signal while a temporary file is created or forgotten, so
// that none can come between its creation and its entry in the list.
sigset_t holdAll() {
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);
    return old;
}

void release(const sigset_t& old) { sigprocmask(SIG_SETMASK, &old, nullptr); }

void forget(const char* path) {
    for (char* volatile& pending : pendingTemporaries)
        if (pending == path) pending = nullptr;
}

char* joined(const char* a, std::size_t aLength, const char* b) {
    const std::size_t bLength = std::strlen(b);
    char* text = static_cast<char*>(std::malloc(aLength + bLength + 1));
    if (text == nullptr) return nullptr;
    std::memcpy(text, a, aLength);
    std::memcpy(text + aLength, b, bLength + 1);
    return text;
}

std::size_t directoryLength(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash == nullptr ? 0 : static_cast<std::size_t>(slash - path) + 1;
}

// The file that name finally designates, its symbolic links followed one
// by one (a link may point to a file that does not exist yet). Null when
// memory runs out.
char* followLinks(const char* name) {
    char* path = joined(name, std::strlen(name), "");
    // As many links as the system itself follows before it gives up.
    for (int links = 0; path != nullptr && links < 40; ++links) {
        struct stat link;
        if (lstat(path, &link) != 0 || !S_ISLNK(link.st_mode)) return path;
        std::size_t room = static_cast<std::size_t>(link.st_size) + 1;
        char* target = nullptr;
        for (;;) {
            target = static_cast<char*>(std::realloc(target, room));
            if (target == nullptr) break;
            const ssize_t length = readlink(path, target, room);
            if (length < 0) {
                std::free(target);
                return path;
            }
            if (static_cast<std::size_t>(length) < room) {
                target[length] = '\0';
                break;
            }
            room *= 2;
        }
        if (target == nullptr) {
            std::free(path);
            return nullptr;
        }
        char* next = target[0] == '/' ? joined(target, std::strlen(target), "")
                                      : joined(path, directoryLength(path), target);
        std::free(target);
        std::free(path);
        path = next;
    }
    return path;
}

// A name for the temporary file beside finalPath: the final name and a
// suffix that says who made it, its last component cut so that it stays a
// valid name even when the final name is as long as the system allows.
char* temporaryPattern(const char* finalPath) {
    constexpr char suffix[] = ".qavcvt-XXXXXX";
    constexpr std::size_t keptComponent = 200;
    const std::size_t directory = directoryLength(finalPath);
    std::size_t length = std::strlen(finalPath);
    if (length - directory > keptComponent) length = directory + keptComponent;
    return joined(finalPath, length, suffix);
}

mode_t creationMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Whether the files at a and b hold the same bytes.
bool sameContent(int a, const char* bPath) {
    const int b = open(bPath, O_RDONLY | O_CLOEXEC);
    if (b < 0) return false;
    bool same = lseek(a, 0, SEEK_SET) == 0;
    static char blocks[2][65536];
    while (same) {
        ssize_t got = read(a, blocks[0], sizeof blocks[0]);
        if (got < 0) {
            same = false;
            break;
        }
        ssize_t other = 0;
        while (other < got) {
            const ssize_t more = read(b, blocks[1] + other, static_cast<std::size_t>(got - other));
            if (more <= 0) break;
            other += more;
        }
        if (other != got || std::memcmp(blocks[0], blocks[1], static_cast<std::size_t>(got)) != 0)
            same = false;
        else if (got == 0)
            break;
    }
    if (same) same = read(b, blocks[1], 1) == 0;
    close(b);
    return same;
}

}  // namespace

OutputOpened openOutputFile(const char* name, const struct stat& input, OutputFile& file) {
    file = OutputFile{-1, nullptr, nullptr, false};
    struct stat existing;
    const bool exists = stat(name, &existing) == 0;
    if (exists && existing.st_dev == input.st_dev && existing.st_ino == input.st_ino)
        return OutputOpened::sameAsInput;
    if (exists && S_ISDIR(existing.st_mode)) return OutputOpened::cannotCreate;
    if (exists && !S_ISREG(existing.st_mode)) {
        // A device or a FIFO: written as it is, and never removed.
        file.fd = open(name, O_WRONLY | O_TRUNC | O_CLOEXEC);
        return file.fd < 0 ? OutputOpened::cannotCreate : OutputOpened::ok;
    }
    // A file the user may not write is refused, although its folder would
    // let it be replaced.
    if (exists && faccessat(AT_FDCWD, name, W_OK, AT_EACCESS) != 0)
        return OutputOpened::cannotCreate;

    file.replacesFile = exists;
    file.finalPath = followLinks(name);
    char* temporary = file.finalPath == nullptr ? nullptr : temporaryPattern(file.finalPath);
    if (temporary == nullptr) return OutputOpened::cannotCreate;
    const sigset_t old = holdAll();
    file.fd = mkostemp(temporary, O_CLOEXEC);
    if (file.fd >= 0) {
        for (char* volatile& pending : pendingTemporaries)
            if (pending == nullptr) {
                pending = temporary;
                break;
            }
        file.temporaryPath = temporary;
    }
    release(old);
    if (file.fd < 0) {
        std::free(temporary);
        return OutputOpened::cannotCreate;
    }
    // The new file gets what the old one had, or what a new file would get.
    if (exists) {
        if (fchown(file.fd, existing.st_uid, existing.st_gid) != 0) {
            // Only the owner's own files can be replaced as they were.
        }
        fchmod(file.fd, existing.st_mode & 07777);
    } else {
        fchmod(file.fd, creationMode());
    }
    return OutputOpened::ok;
}

bool commitOutputFile(OutputFile& file, bool keepUnchanged) {
    if (file.temporaryPath == nullptr) {
        const bool closed = file.fd < 0 || close(file.fd) == 0;
        file.fd = -1;
        return closed;
    }
    if (keepUnchanged && file.replacesFile && sameContent(file.fd, file.finalPath)) {
        abandonOutputFile(file);
        return true;
    }
    // A close can report a write that failed late (on NFS, for one).
    const bool closed = close(file.fd) == 0;
    file.fd = -1;
    if (!closed || rename(file.temporaryPath, file.finalPath) != 0) {
        abandonOutputFile(file);
        return false;
    }
    const sigset_t old = holdAll();
    forget(file.temporaryPath);
    release(old);
    return true;
}

void abandonOutputFile(OutputFile& file) {
    if (file.fd >= 0) close(file.fd);
    file.fd = -1;
    if (file.temporaryPath == nullptr) return;
    const sigset_t old = holdAll();
    unlink(file.temporaryPath);
    forget(file.temporaryPath);
    release(old);
}

void releaseOutputFile(OutputFile& file) {
    std::free(file.finalPath);
    std::free(file.temporaryPath);
    file.finalPath = file.temporaryPath = nullptr;
}

void removeTemporariesOnFatalSignals() {
    for (int sig : fatalSignals) {
        struct sigaction old;
        // A signal ignored at start-up stays ignored.
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndDie;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND | SA_NODEFER;
        sigaction(sig, &action, nullptr);
    }
}
