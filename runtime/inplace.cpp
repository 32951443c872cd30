// Outputs written where they are, under their mark (inplace.h), and any
// other output's plain writes.
#include "inplace.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How many of the length bytes at text the file holds already where the
// text goes.
std::size_t bytesHeld(const OutputWriter& w, const char* text, std::size_t length) {
    char held[65536];
    std::size_t same = 0;
    while (same < length) {
        const std::size_t part = std::min(length - same, sizeof held);
        const ssize_t got = pread(w.fd, held, part, static_cast<off_t>(w.written + same));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        const std::size_t n = static_cast<std::size_t>(got);
        const std::size_t matching =
            static_cast<std::size_t>(std::mismatch(held, held + n, text + same).first - held);
        same += matching;
        if (matching < n) break;
    }
    return same;
}

// Runs change, which changes an output in place and its flag together,
// with every signal held: a handler then never sees a flag that the file
// does not bear out (a file said to be cut that is whole, or the other
// way).
template <typename Change>
bool withSignalsHeld(Change change) {
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);
    const bool done = change();
    sigprocmask(SIG_SETMASK, &old, nullptr);
    return done;
}

// A write in place failed before anything but the mark changed: the file
// gets its old first bytes and length back and is as it was.
void restoreInPlace(OutputWriter& w) {
    InPlaceMark& mark = *w.mark;
    if (!w.restorable) return;
    withSignalsHeld([&w, &mark] {
        const std::size_t headLength =
            static_cast<std::size_t>(std::min<std::uint64_t>(w.oldLength, markLength));
        if (pwrite(w.fd, w.oldHead, headLength, 0) != static_cast<ssize_t>(headLength) ||
            ftruncate(w.fd, static_cast<off_t>(w.oldLength)) != 0)
            return false;
        mark.marked = false;
        mark.unfinished = 0;
        return true;
    });
}

// Until more than the mark has changed, a failure can put the old text
// back: its first bytes, which the mark overwrites, and its length, which
// the writer keeps. A file shorter than the mark is all in those bytes.
bool saveOldHead(OutputWriter& w, const struct stat& held) {
    w.oldLength = static_cast<std::uint64_t>(held.st_size);
    const std::size_t headLength = static_cast<std::size_t>(std::min<std::uint64_t>(w.oldLength, markLength));
    return pread(w.fd, w.oldHead, headLength, 0) == static_cast<ssize_t>(headLength);
}

// Gets an output in place ready for the text from w.written on, where it
// first differs from what the file holds (at once without -keep): marks
// the file unfinished, keeping its first line back, and cuts what
// follows, so that nothing of the old text stays behind the new. text is
// the text of this write, which starts at offset base; at and left, the
// rest of it, move past the line kept back. False when the file could not
// be changed.
bool startInPlace(OutputWriter& w, std::uint64_t base, const char* text, const char*& at,
                  std::size_t& left) {
    InPlaceMark& mark = *w.mark;
    w.started = true;
    const std::uint64_t differs = w.written;
    // The first line is marked where the text has one: held by the file
    // already, or in this write.
    const bool headHere = base == 0 && static_cast<std::size_t>(at - text) + left >= markLength;
    mark.marked = differs >= markLength || headHere;
    std::uint64_t from = differs;
    struct stat held;
    if (fstat(w.fd, &held) != 0) return false;
    if (mark.marked) {
        if (differs < markLength) {
            std::memcpy(mark.head, text, markLength);
            from = markLength;
        } else if (pread(w.fd, mark.head, markLength, 0) != static_cast<ssize_t>(markLength)) {
            return false;
        }
    }
    const bool headSaved = mark.marked && saveOldHead(w, held);
    w.restorable = headSaved && w.oldLength <= from;
    // Marked and cut in one step, as far as a handled signal can tell.
    const bool ready = withSignalsHeld([&w, &mark, from] {
        if (mark.marked) {
            const ssize_t done = pwrite(w.fd, mark.line, markLength, 0);
            if (done > 0) mark.unfinished = 1;
            if (done != static_cast<ssize_t>(markLength)) return false;
        }
        if (ftruncate(w.fd, static_cast<off_t>(from)) != 0) return false;
        mark.unfinished = 1;
        return true;
    });
    if (!ready) {
        // Nothing but the first bytes changed, if those.
        w.restorable = headSaved;
        restoreInPlace(w);
        return false;
    }
    // The mark on the disk before any of the new text, which a power cut
    // could otherwise leave there without it.
    if (mark.marked && fdatasync(w.fd) != 0) return false;
    if (lseek(w.fd, static_cast<off_t>(from), SEEK_SET) < 0) return false;
    const std::size_t skipped = static_cast<std::size_t>(from - differs);
    at += skipped;
    left -= skipped;
    w.written = from;
    return true;
}

}  // namespace

void beginText(OutputWriter& w, int fd, OutputStart start, InPlaceMark& mark, const char* markLine) {
    const bool inPlace = start == OutputStart::inPlace || start == OutputStart::keepInPlace;
    w = OutputWriter{fd, false, 0, inPlace, start == OutputStart::keepInPlace, false, false, &mark, 0, {}};
    mark.unfinished = 0;
    mark.marked = mark.cut = false;
    mark.length = 0;
    mark.line = markLine;
}

void writeText(OutputWriter& w, const char* text, std::size_t length) {
    const std::uint64_t base = w.written;
    const char* at = text;
    std::size_t left = length;
    if (w.comparing && left > 0) {
        const std::size_t held = bytesHeld(w, at, left);
        at += held;
        left -= held;
        w.written += held;
        if (left == 0) return;
        // The text differs from here on.
        w.comparing = false;
    }
    if (left == 0 || w.failed) return;
    if (w.inPlace && !w.started && !startInPlace(w, base, text, at, left)) {
        w.failed = true;
        return;
    }
    while (left > 0) {
        ssize_t done = write(w.fd, at, left);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            w.failed = true;
            restoreInPlace(w);
            return;
        }
        w.restorable = false;
        at += done;
        left -= static_cast<std::size_t>(done);
        w.written += static_cast<std::uint64_t>(done);
    }
}

bool endText(OutputWriter& w) {
    if (w.inPlace && !w.failed) {
        InPlaceMark& mark = *w.mark;
        mark.length = w.written;
        // A file that held the text and more, or any text without -keep
        // when the text is empty, is cut to the text in one call.
        char more;
        if (!w.started) mark.cut = pread(w.fd, &more, 1, static_cast<off_t>(w.written)) != 0;
    }
    return !w.failed;
}

bool finishInPlace(int fd, InPlaceMark& mark) {
    if (mark.cut && ftruncate(fd, static_cast<off_t>(mark.length)) != 0) return false;
    if (mark.marked && pwrite(fd, mark.head, markLength, 0) != static_cast<ssize_t>(markLength))
        return false;
    mark.cut = mark.marked = false;
    mark.unfinished = 0;
    return true;
}
