// Loading reads the profile in large blocks and parses it with a pointer.
// What it takes from the file is what the stream operations would take (a
// header line as TL_getLine reads it, then per record TL_eof, one
// TL_getToken, seven TL_getNat and TL_skipWhitespace), but for one
// thing: the skip after a record takes a carriage return too, so that a
// file with CR LF line ends reads as one with LF.
#include "load.h"

#include <cstring>

namespace {

// The byte at end is always 0, a stop that the loops of takeWhile need
// not look for.
struct Reader {
    FILE* file;
    const unsigned char* at;
    const unsigned char* end;
    std::int32_t line;  // of the next byte, counted from 1
    bool binary;        // a zero byte, or a word that never ends, was met
    unsigned char block[profileBlockBytes + 1];
};

// A new block once the last is used up; false at end of file.
bool refill(Reader& reader) {
    std::size_t got = fread_unlocked(reader.block, 1, profileBlockBytes, reader.file);
    if (got == 0) return false;
    reader.at = reader.block;
    reader.end = reader.block + got;
    reader.block[got] = 0;
    return true;
}

// The next byte without taking it, or EOF.
inline int peek(Reader& reader) {
    if (reader.at == reader.end && !refill(reader)) return EOF;
    return *reader.at;
}

// Takes the byte peek returned.
void take(Reader& reader) { ++reader.at; }

// Takes bytes while they pass test, block after block, giving each to
// use; test must refuse 0, so that the stop after the block ends the loop.
template <typename Test, typename Use>
void takeWhile(Reader& reader, Test test, Use use) {
    for (;;) {
        const unsigned char* at = reader.at;
        while (test(*at)) use(*at++);
        reader.at = at;
        if (at != reader.end || !refill(reader)) return;
    }
}

void skipSpaces(Reader& reader) {
    std::int32_t lines = 0;
    takeWhile(reader, [](unsigned char c) { return TL_isSpace(c); },
              [&](unsigned char c) { lines += c == '\n'; });
    reader.line += lines;
}

// As TL_getLine: through the first newline, at most 255 bytes. Returns
// the kind of profile the line names.
ProfileKind skipHeaderLine(Reader& reader) {
    static constexpr char parseHeader[] = "QAV parse profile";
    static constexpr char matchHeader[] = "QAV match profile";
    constexpr std::int32_t kindLength = sizeof parseHeader - 1;
    char start[kindLength];
    std::int32_t n = 0;
    for (; n < TL_maxStringLength; ++n) {
        int c = peek(reader);
        if (c == EOF) break;
        take(reader);
        if (c == '\n') {
            ++reader.line;
            break;
        }
        if (c == 0) reader.binary = true;
        if (n < kindLength) start[n] = static_cast<char>(c);
    }
    if (n < kindLength) return ProfileKind::unknown;
    if (std::memcmp(start, parseHeader, kindLength) == 0) return ProfileKind::parse;
    if (std::memcmp(start, matchHeader, kindLength) == 0) return ProfileKind::match;
    return ProfileKind::unknown;
}

// No word of a profile comes near this length: a longer one is no
// profile (/dev/zero, a binary file), and is not read to its end.
constexpr std::uint64_t endlessWord = std::uint64_t{1} << 20;

// As TL_getToken: a word of non-blank bytes, cut to 255; nothing at end
// of file. A zero byte, or a word of endlessWord bytes, marks the reader
// binary and ends the word.
void readWord(Reader& reader, char* target) {
    skipSpaces(reader);
    std::int32_t length = 0;
    std::uint64_t whole = 0;
    const auto put = [&](unsigned char c) {
        if (length < TL_maxStringLength) target[length++] = static_cast<char>(c);
        ++whole;
    };
    takeWhile(reader, [&whole](unsigned char c) { return c != 0 && !TL_isSpace(c) && whole < endlessWord; },
              put);
    // Stopped at a blank, at end of file, at a zero byte or at the length.
    if (whole >= endlessWord || (reader.at != reader.end && *reader.at == 0)) reader.binary = true;
    target[length] = '\0';
}

// As TL_getNat: strtoul's reading of an unsigned 32-bit number; the target
// keeps its value when no digit comes. True where a counter stood: digits
// alone, with no sign, up to a blank or the end of the file.
bool readNumber(Reader& reader, std::uint32_t& target) {
    skipSpaces(reader);
    int c = peek(reader);
    bool negative = false;
    const bool sign = c == '-' || c == '+';
    if (sign) {
        negative = c == '-';
        take(reader);  // the sign is taken even without digits
        c = peek(reader);
    }
    if (!TL_isDigit(c)) return false;
    // In 32 bits, which a 32-bit build does without calls: a digit that
    // would pass the limit marks the number as out of range.
    constexpr std::uint32_t limit = 0xFFFFFFFFu;
    std::uint32_t magnitude = 0;
    bool outOfRange = false;
    takeWhile(reader, [](unsigned char c) { return TL_isDigit(c); }, [&](unsigned char digit) {
        const std::uint32_t value = digit - '0';
        if (magnitude < limit / 10 || (magnitude == limit / 10 && value <= limit % 10))
            magnitude = magnitude * 10 + value;
        else
            outOfRange = true;
    });
    if (outOfRange)
        target = limit;
    else
        target = negative ? 0u - magnitude : magnitude;
    const int next = peek(reader);
    return !sign && (next == EOF || TL_isSpace(next));
}

// As TL_skipWhitespace: blank, tab, newline and form feed; a byte 255 ends
// the skip and is taken, as end of file would. A carriage return is taken
// too, so that a file with CRLF line ends reads as one with LF: no empty
// record after the last, no false warning of records left over.
// True where the record ended whole: at a blank before more records, or
// at a line end before the end of the file (a file cut short mostly ends
// inside its last line).
bool skipRecordEnd(Reader& reader) {
    bool lineEnded = false;
    for (;;) {
        int c = peek(reader);
        if (c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r') {
            if (c == '\n') {
                ++reader.line;
                lineEnded = true;
            }
            take(reader);
            continue;
        }
        if (c == 0xFF) take(reader);
        return c != EOF || lineEnded;
    }
}

}  // namespace

namespace {

// Stops at the first byte that differs: most names differ at once.
bool startsWith(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix)
        if (*text != *prefix) return false;
    return true;
}

}  // namespace

void rewriteName(char* name, bool parseProfile) {
    if (!startsWith(name, "list__") && !(parseProfile && startsWith(name, "repeat__"))) return;
    // The first "__" becomes one blank, in place: the name only gets shorter.
    char* separator = std::strstr(name, "__");
    *separator = ' ';
    std::memmove(separator + 1, separator + 2, std::strlen(separator + 2) + 1);
}

void loadProfile(std::int32_t s, bool parseProfile, Profile& profile) {
    TL_ensureOpen(s, TL_kindTextIn);
    // About 64 KiB, for this load alone.
    Reader reader;
    reader.file = TL_handle(s);
    reader.at = reader.end = reader.block;
    reader.block[0] = 0;
    reader.line = 1;
    reader.binary = false;
    profile.kind = skipHeaderLine(reader);
    profile.oddLine = 0;
    profile.binary = false;

    // Every name is at most 255 characters and its zero byte.
    char* names = profile.names;
    profile.entryCount = 0;
    profile.moreRecords = false;
    for (std::int32_t p = 1; p <= maxEntries; ++p) {
        if (peek(reader) == EOF) break;
        ProfileEntry& entry = profile.entries[p];
        entry = ProfileEntry{};
        skipSpaces(reader);
        const std::int32_t line = reader.line;
        readWord(reader, names);
        if (reader.binary) break;
        bool whole = names[0] != '\0';
        std::uint64_t* const counters[] = {&entry.calls,     &entry.matched,
                                           &entry.cycles,    &entry.backtracks,
                                           &entry.time,      &entry.treeNodes,
                                           &entry.kidCells};
        for (std::uint64_t* counter : counters) {
            std::uint32_t value = 0;
            whole = readNumber(reader, value) && whole;
            *counter = value;
        }
        rewriteName(names, parseProfile);
        entry.name = names;
        names += std::strlen(names) + 1;
        ++profile.entryCount;
        whole = skipRecordEnd(reader) && whole;
        if (!whole && profile.oddLine == 0) profile.oddLine = line;
    }
    profile.binary = reader.binary;
    profile.namesUsed = static_cast<std::size_t>(names - profile.names);
    profile.moreRecords = peek(reader) != EOF;
}
