#include "replace.h"

#include "attributes.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// What a signal handler must see of the outputs open now: the temporary
// files to remove, and the outputs written in place, to say which of them
// it leaves incomplete.
struct Temporary {
    volatile int folder;
    char* volatile name;
};
struct InPlaceOutput {
    const char* volatile shown;  // the output's name as given, or null when free
    InPlaceMark mark;
};
struct PendingOutputs {
    Temporary temporaries[maxOutputs];
    InPlaceOutput inPlace[maxOutputs];
    const char* tool = "qav";             // in the temporary files' names
    const char* messagePrefix = "qav: ";  // of what a fatal signal says
};
PendingOutputs pendingOutputs;

void putError(const char* text) {
    const std::size_t length = std::strlen(text);
    if (write(STDERR_FILENO, text, length) < 0) return;
}

// Signals whose default action ends the process, that may be caught, and
// that the run-time does not unwind from (it unwinds from SIGINT, SIGTERM,
// SIGHUP, SIGILL, SIGFPE, SIGBUS and SIGSEGV); the real-time signals too.
// SIGXFSZ is ignored while converting: a file too large is a write error.
constexpr int fatalSignals[] = {
    SIGQUIT, SIGTRAP, SIGABRT, SIGUSR1, SIGUSR2, SIGPIPE, SIGALRM, SIGXCPU, SIGVTALRM,
    SIGPROF, SIGSYS,
#ifdef SIGIO
    SIGIO,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

extern "C" void removeTemporariesAndDie(int sig) {
    for (Temporary& pending : pendingOutputs.temporaries)
        if (pending.name != nullptr) unlinkat(pending.folder, pending.name, 0);
    for (InPlaceOutput& output : pendingOutputs.inPlace)
        if (output.shown != nullptr && output.mark.unfinished) {
            putError(pendingOutputs.messagePrefix);
            putError(incompleteMessage);
            putError(output.shown);
            putError("\n");
        }
    // The handler was reset on entry and sig is not held (SA_RESETHAND,
    // SA_NODEFER): raising it again ends the process as it would have.
    raise(sig);
}

// Holds every signal while a temporary file is created, renamed or
// forgotten, so that none can come between the file and its entry in the
// list, nor between the renames of a C file and its header.
sigset_t holdAll() {
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);
    return old;
}

void release(const sigset_t& old) { sigprocmask(SIG_SETMASK, &old, nullptr); }

void remember(int folder, char* name) {
    for (Temporary& pending : pendingOutputs.temporaries)
        if (pending.name == nullptr) {
            pending.folder = folder;
            pending.name = name;
            return;
        }
}

void forget(const char* name) {
    for (Temporary& pending : pendingOutputs.temporaries)
        if (pending.name == name) pending.name = nullptr;
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

// The target of the link at path, or null (errno ENOMEM when memory ran
// out).
char* linkTarget(const char* path, const struct stat& link) {
    std::size_t room = static_cast<std::size_t>(link.st_size) + 1;
    char* target = nullptr;
    for (;;) {
        char* larger = static_cast<char*>(std::realloc(target, room));
        if (larger == nullptr) {
            std::free(target);
            errno = ENOMEM;
            return nullptr;
        }
        target = larger;
        const ssize_t length = readlink(path, target, room);
        if (length < 0) {
            std::free(target);
            errno = 0;
            return nullptr;
        }
        if (static_cast<std::size_t>(length) < room) {
            target[length] = '\0';
            return target;
        }
        room *= 2;
    }
}

// As many links as the system itself follows before it gives up.
constexpr int maxLinks = 40;

// The file that name finally designates, its symbolic links followed one
// by one (a link may point to a file that does not exist yet). Null when
// memory runs out, or with loop set when the links do not end.
char* followLinks(const char* name, bool& loop) {
    char* path = joined(name, std::strlen(name), "");
    for (int links = 0; path != nullptr; ++links) {
        struct stat link;
        if (lstat(path, &link) != 0 || !S_ISLNK(link.st_mode)) return path;
        if (links == maxLinks) {
            loop = true;
            break;
        }
        char* target = linkTarget(path, link);
        if (target == nullptr && errno != ENOMEM) return path;
        char* next = target == nullptr  ? nullptr
                     : target[0] == '/' ? joined(target, std::strlen(target), "")
                                        : joined(path, directoryLength(path), target);
        std::free(target);
        std::free(path);
        path = next;
    }
    std::free(path);
    return nullptr;
}

// Opens the folder that holds path, for making files beside it by their
// last component alone, so that a path as long as the system takes still
// leaves room for a temporary name. Opened for reading where it may be,
// so that it can be locked and flushed.
int openFolder(const char* path) {
    const std::size_t length = directoryLength(path);
    char* folder = length == 0 ? joined(".", 1, "") : joined(path, length, "");
    if (folder == nullptr) return -1;
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#ifdef O_PATH
    // A folder that may be searched and written but not read will do.
    if (fd < 0 && errno == EACCES) fd = open(folder, O_PATH | O_DIRECTORY | O_CLOEXEC);
#endif
    std::free(folder);
    return fd;
}

// Makes a file for finalName in folder under a name of its own: the final
// name, cut so that it stays a valid name, and a suffix that says who made
// it. make(name) makes it, as open does: a descriptor, 0 when it makes no
// descriptor, or -1 with errno (EEXIST: another name is tried). Its result,
// with name set to the file's name, or -1 and name null.
template <typename Make>
int makeBeside(const char* finalName, char*& name, Make make) {
    // ".<tool>-XXXXXX", the Xs replaced.
    const std::size_t toolLength = std::strlen(pendingOutputs.tool);
    constexpr std::size_t keptComponent = 200;
    std::size_t length = std::strlen(finalName);
    if (length > keptComponent) length = keptComponent;
    name = static_cast<char*>(std::malloc(length + toolLength + 9));
    if (name == nullptr) return -1;
    std::memcpy(name, finalName, length);
    name[length] = '.';
    std::memcpy(name + length + 1, pendingOutputs.tool, toolLength);
    std::memcpy(name + length + 1 + toolLength, "-XXXXXX", 8);
    constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t state = static_cast<std::uint64_t>(now.tv_nsec) ^
                          (static_cast<std::uint64_t>(getpid()) << 32) ^
                          static_cast<std::uint64_t>(now.tv_sec);
    for (int attempt = 0; attempt < 100; ++attempt) {
        char* x = name + length + toolLength + 2;
        for (int i = 0; i < 6; ++i) {
            state = state * 6364136223846793005u + 1442695040888963407u;
            x[i] = letters[(state >> 33) % (sizeof letters - 1)];
        }
        const int made = make(name);
        if (made >= 0) return made;
        if (errno != EEXIST) break;
    }
    std::free(name);
    name = nullptr;
    return -1;
}

// Creates a temporary file for finalName in folder, in the list of pending
// ones before any signal can end the run; -1 when none can be made. A new
// name's file is made with the permissions the shell's ">" would give it
// there (the umask, or the folder's default ACL); one that replaces a file
// gets that file's after, and is the user's alone until then.
int createTemporary(int folder, const char* finalName, bool replacing, char*& name) {
    const mode_t mode = replacing ? 0600 : 0666;
    return makeBeside(finalName, name, [folder, mode](char* made) {
        const sigset_t old = holdAll();
        const int fd = openat(folder, made, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) remember(folder, made);
        release(old);
        return fd;
    });
}

// A second name for the file that file replaces, to put it back by if a
// later rename fails; null where none can be made.
char* linkBackup(const OutputFile& file) {
    char* name = nullptr;
    makeBeside(file.finalName, name, [&file](const char* made) {
        return linkat(file.folder, file.finalName, file.folder, made, 0) == 0 ? 0 : -1;
    });
    return name;
}

// Gives the new file at fd what the old one had; false when it could not
// have all of it: a user who does not own a file cannot give it away, nor
// give a file a group of which it is no member.
bool takeOwnerAndMode(int fd, const struct stat& old) {
    struct stat made;
    if (fstat(fd, &made) != 0) return false;
    if ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) &&
        fchown(fd, old.st_uid, old.st_gid) != 0)
        return false;
    // After the owner: a change of owner may clear the set-ID bits.
    if (fchmod(fd, old.st_mode & 07777) != 0 || fstat(fd, &made) != 0) return false;
    return made.st_uid == old.st_uid && made.st_gid == old.st_gid &&
           (made.st_mode & 07777) == (old.st_mode & 07777);
}

void removeTemporary(OutputFile& file) {
    if (file.temporaryName == nullptr) return;
    const sigset_t old = holdAll();
    unlinkat(file.folder, file.temporaryName, 0);
    forget(file.temporaryName);
    // Freed with the rest: this may run after a signal that came in the
    // middle of malloc.
    file.temporaryName = nullptr;
    release(old);
}

// Whether the file at fd and the final file hold the same bytes.
bool sameContent(int fd, const OutputFile& file) {
    const int b = openat(file.folder, file.finalName, O_RDONLY | O_CLOEXEC);
    if (b < 0) return false;
    bool same = lseek(fd, 0, SEEK_SET) == 0;
    char ours[65536], theirs[sizeof ours];
    while (same) {
        const ssize_t got = read(fd, ours, sizeof ours);
        if (got < 0) {
            same = false;
            break;
        }
        ssize_t other = 0;
        while (other < got) {
            const ssize_t more = read(b, theirs + other, static_cast<std::size_t>(got - other));
            if (more <= 0) break;
            other += more;
        }
        if (other != got || std::memcmp(ours, theirs, static_cast<std::size_t>(got)) != 0)
            same = false;
        else if (got == 0)
            break;
    }
    if (same) same = read(b, theirs, 1) == 0;
    close(b);
    return same;
}

// A place in the list a signal handler reads for an output written in
// place; null when both are taken, which leaves its mark to the
// conversion alone.
InPlaceMark* claimInPlace(const char* shown) {
    for (InPlaceOutput& output : pendingOutputs.inPlace)
        if (output.shown == nullptr) {
            output.mark.unfinished = 0;
            output.mark.marked = output.mark.cut = false;
            output.shown = shown;
            return &output.mark;
        }
    return nullptr;
}

// Opens an existing regular file to be written where it is: marked and cut
// by its first write, or under -keep read and compared first.
OutputOpened openInPlace(OutputFile& file, const char* shown) {
    file.inPlace = true;
    // Read too where it may be: -keep compares, and a write that fails
    // at once puts back the old bytes under the mark.
    if (!file.readOnly) file.fd = open(file.finalPath, O_RDWR | O_CLOEXEC);
    if (file.fd < 0)
        file.fd = open(file.finalPath,
                       (file.readOnly ? O_RDONLY : O_WRONLY) | O_CLOEXEC);
    if (file.fd < 0) return OutputOpened::cannotCreate;
    file.mark = claimInPlace(shown);
    return OutputOpened::ok;
}

// Locks the folder the first of files is renamed into, for the renames;
// the folder's descriptor, or -1 where it cannot be locked.
int lockFolderOf(OutputFile* const files[], int count) {
    for (int i = 0; i < count; ++i) {
        if (files[i]->temporaryName == nullptr) continue;
        int locked;
        while ((locked = flock(files[i]->folder, LOCK_EX)) != 0 && errno == EINTR) {
        }
        return locked == 0 ? files[i]->folder : -1;
    }
    return -1;
}

// Finishes an output written in place: on the disk in its marked state
// first, so that a write that failed late leaves the mark, then with its
// first line back.
bool finishOnDisk(OutputFile& file) {
    if (file.mark == nullptr || (!file.mark->marked && !file.mark->cut)) return true;
    return fdatasync(file.fd) == 0 && finishInPlace(file.fd, *file.mark);
}

// Opens a temporary file beside the final one, which takes the old file's
// owner, group and mode; or, where none can be made or none would be what
// the old file was to its users, the old file in place.
OutputOpened openBeside(OutputFile& file, const struct stat& existing, const char* name) {
    file.folder = openFolder(file.finalPath);
    if (file.folder >= 0)
        file.fd = createTemporary(file.folder, file.finalName, file.exists, file.temporaryName);
    file.nameBlock = file.temporaryName;
    if (file.fd < 0) {
        if (errno == ENOMEM) return OutputOpened::outOfMemory;
        if (!file.exists) return OutputOpened::cannotCreate;
        return openInPlace(file, name);
    }
    // The new file may have taken a default ACL of the folder, which the
    // old file (with no ACL of its own, or it would be written in place)
    // did not give: dropped before the mode is set, or the old file is
    // written in place.
    if (!file.exists || (dropExtendedAttributes(file.fd) && takeOwnerAndMode(file.fd, existing)))
        return OutputOpened::ok;
    close(file.fd);
    file.fd = -1;
    removeTemporary(file);
    return openInPlace(file, name);
}

}  // namespace

OutputOpened openOutputFile(const char* name, const struct stat inputs[], int inputCount,
                            bool keepUnchanged, OutputFile& file) {
    file = noOutputFile;
    // The system follows the links first: a loop, and the magic links of
    // /dev/stdout and /proc, are as it sees them.
    struct stat existing;
    file.exists = stat(name, &existing) == 0;
    if (!file.exists && errno == ELOOP) return OutputOpened::linkLoop;
    if (file.exists) {
        file.device = existing.st_dev;
        file.inode = existing.st_ino;
        for (int k = 0; k < inputCount; ++k)
            if (existing.st_dev == inputs[k].st_dev && existing.st_ino == inputs[k].st_ino)
                return OutputOpened::sameAsInput;
        if (S_ISDIR(existing.st_mode)) {
            errno = EISDIR;  // the reason the messages give
            return OutputOpened::cannotCreate;
        }
        file.regular = S_ISREG(existing.st_mode);
    }
    if (!file.regular) {
        // A device or a FIFO: written as it is, and never removed.
        file.fd = open(name, O_WRONLY | O_TRUNC | O_CLOEXEC);
        return file.fd < 0 ? OutputOpened::cannotCreate : OutputOpened::ok;
    }
    bool loop = false;
    file.finalPath = followLinks(name, loop);
    if (file.finalPath == nullptr) return loop ? OutputOpened::linkLoop : OutputOpened::outOfMemory;
    file.finalName = file.finalPath + directoryLength(file.finalPath);
    // A file the user may not write is refused, although its folder would
    // let it be replaced; -keep only reads it, as an unchanged text needs
    // no writing.
    if (file.exists && faccessat(AT_FDCWD, file.finalPath, W_OK, AT_EACCESS) != 0) {
        if (!keepUnchanged) return OutputOpened::cannotCreate;
        file.readOnly = true;
        return openInPlace(file, name);
    }
    // A file with other names stays one file with them; one with ACL
    // entries or other attributes keeps them, which a new file would not
    // get.
    if (file.exists && (existing.st_nlink > 1 || hasExtendedAttributes(file.finalPath)))
        return openInPlace(file, name);
    return openBeside(file, existing, name);
}

bool namesStandardOutput(const char* name) {
    struct stat out, named;
    return fstat(STDOUT_FILENO, &out) == 0 && stat(name, &named) == 0 &&
           out.st_dev == named.st_dev && out.st_ino == named.st_ino;
}

bool namesSpecialFile(const char* name) {
    struct stat named;
    return stat(name, &named) == 0 && !S_ISREG(named.st_mode) && !S_ISDIR(named.st_mode);
}

bool sameDestination(const OutputFile& a, const OutputFile& b) {
    if (a.exists && b.exists) return a.device == b.device && a.inode == b.inode;
    if (a.exists != b.exists || std::strcmp(a.finalName, b.finalName) != 0) return false;
    // Two new names: the same name in the same folder.
    struct stat x, y;
    const int fa = a.folder >= 0 ? a.folder : openFolder(a.finalPath);
    const int fb = b.folder >= 0 ? b.folder : openFolder(b.finalPath);
    const bool same = fa >= 0 && fb >= 0 && fstat(fa, &x) == 0 && fstat(fb, &y) == 0 &&
                      x.st_dev == y.st_dev && x.st_ino == y.st_ino;
    if (fa >= 0 && fa != a.folder) close(fa);
    if (fb >= 0 && fb != b.folder) close(fb);
    return same;
}

void waitForOtherWriters(OutputFile& file) {
    if (!file.inPlace || file.readOnly || file.fd < 0) return;
    while (flock(file.fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

bool leftIncomplete(const OutputFile& file) {
    return file.mark != nullptr && file.mark->unfinished != 0;
}

namespace {

// Every temporary file complete and on the disk, and closed: a close can
// report a write that failed late (on NFS, for one), and after a power cut
// a file system may hold the new name without the data it names. Under
// keepUnchanged, unchanged[i] says which already hold their text. The
// index of one that failed, or -1.
int flushTemporaries(OutputFile* const files[], int count, bool keepUnchanged, bool unchanged[]) {
    int failed = -1;
    for (int i = 0; i < count; ++i) {
        OutputFile& file = *files[i];
        if (file.fd < 0 || file.temporaryName == nullptr) continue;
        if (keepUnchanged && file.exists) unchanged[i] = sameContent(file.fd, file);
        if (!unchanged[i] && fdatasync(file.fd) != 0 && failed < 0) failed = i;
        if (close(file.fd) != 0 && failed < 0) failed = i;
        file.fd = -1;
    }
    return failed;
}

// After the renames (and the outputs in place finished, or not): a failure
// puts back what the renames replaced; the second names and the temporary
// files go, and the new names are flushed with their folders.
void settleRenames(OutputFile& file, bool renamed, char* backup, bool failed) {
    if (failed && renamed) {
        if (backup != nullptr && renameat(file.folder, backup, file.folder, file.finalName) == 0) {
            std::free(backup);
            backup = nullptr;
        } else if (!file.exists) {
            unlinkat(file.folder, file.finalName, 0);
        }
    }
    if (backup != nullptr) unlinkat(file.folder, backup, 0);
    std::free(backup);
    if (file.temporaryName != nullptr) {
        if (!renamed) unlinkat(file.folder, file.temporaryName, 0);
        forget(file.temporaryName);
        file.temporaryName = nullptr;
    }
    // The new name on the disk too, where the file system needs the folder
    // flushed for it.
    if (renamed && !failed) fsync(file.folder);
}

}  // namespace

int commitOutputFiles(OutputFile* const files[], int count, bool keepUnchanged) {
    if (count > maxOutputs) return 0;
    bool unchanged[maxOutputs] = {};
    int failed = flushTemporaries(files, count, keepUnchanged, unchanged);
    if (failed >= 0) {
        for (int i = 0; i < count; ++i) abandonOutputFile(*files[i]);
        return failed;
    }
    // One run at a time renames into a folder, so two runs onto one C file
    // and header leave the pair of one of them.
    const int locked = lockFolderOf(files, count);
    const sigset_t old = holdAll();
    char* backups[maxOutputs] = {};
    bool renamed[maxOutputs] = {};
    for (int i = 0; i < count && failed < 0; ++i) {
        OutputFile& file = *files[i];
        if (file.temporaryName == nullptr || unchanged[i]) continue;
        if (count > 1 && file.exists) backups[i] = linkBackup(file);
        if (renameat(file.folder, file.temporaryName, file.folder, file.finalName) != 0) failed = i;
        else renamed[i] = true;
    }
    for (int i = 0; i < count && failed < 0; ++i)
        if (files[i]->inPlace && files[i]->fd >= 0 && !finishOnDisk(*files[i])) failed = i;
    for (int i = 0; i < count; ++i) settleRenames(*files[i], renamed[i], backups[i], failed >= 0);
    release(old);
    if (locked >= 0) flock(locked, LOCK_UN);
    for (int i = 0; i < count; ++i) {
        OutputFile& file = *files[i];
        if (file.fd >= 0 && close(file.fd) != 0 && failed < 0) failed = i;
        file.fd = -1;
    }
    return failed;
}

void abandonOutputFile(OutputFile& file) {
    if (file.fd >= 0) close(file.fd);
    file.fd = -1;
    removeTemporary(file);
}

void releaseOutputFile(OutputFile& file) {
    if (file.folder >= 0) close(file.folder);
    file.folder = -1;
    std::free(file.finalPath);
    std::free(file.nameBlock);
    file.finalPath = file.temporaryName = file.nameBlock = nullptr;
    file.finalName = nullptr;
    for (InPlaceOutput& output : pendingOutputs.inPlace)
        if (&output.mark == file.mark) output.shown = nullptr;
    file.mark = nullptr;
}

void nameOutputs(const char* tool, const char* messagePrefix) {
    pendingOutputs.tool = tool;
    pendingOutputs.messagePrefix = messagePrefix;
}

void removeTemporariesOnFatalSignals(bool termination) {
    const auto install = [](int sig) {
        struct sigaction old;
        // A signal ignored at start-up stays ignored.
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) return;
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndDie;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND | SA_NODEFER;
        sigaction(sig, &action, nullptr);
    };
    for (int sig : fatalSignals) install(sig);
    if (termination) {
        install(SIGTERM);
        install(SIGHUP);
    }
    // Those an emulator or a thread library keeps for itself refuse.
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) install(sig);
}
