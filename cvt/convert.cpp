// The conversion is the hot path of qavcvt: a compiled program may be
// hundreds of megabytes. Values are looked up in a table of texts, or,
// once the input proves large, made with vectors where the processor has
// them (lines.h); the text goes out in writes of 1 MiB. The result is byte
// for byte that of converting one byte at a time.
#include "convert.h"

#include "lines.h"
#include "space.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// The first line holds valuesPerLine - 1 values, every later line
// valuesPerLine, each line after the first starting with a line break.
constexpr std::uint32_t firstLineValues = valuesPerLine - 1;

// "0," to "255,", padded to four bytes so that each is copied as a whole.
struct ValueText {
    char text[4];
    std::uint8_t length;
};

constexpr ValueText valueText(unsigned value) {
    ValueText v{};
    const unsigned length = value >= 100 ? 3 : value >= 10 ? 2 : 1;
    for (unsigned rest = value, i = length; i-- > 0; rest /= 10)
        v.text[i] = static_cast<char>('0' + rest % 10);
    v.text[length] = ',';
    v.length = static_cast<std::uint8_t>(length + 1);
    return v;
}

constexpr auto makeSingles() {
    struct {
        ValueText of[256];
    } table{};
    for (unsigned value = 0; value < 256; ++value) table.of[value] = valueText(value);
    return table;
}

constexpr auto singles = makeSingles();

// Where reserving pays (space.h), the space of a large output is reserved
// this far ahead of its writes; the file keeps the size of what is
// written, and the end gives back what was not used.
constexpr std::uint64_t reserveAhead = 8 << 20;

// Writes the first length bytes of what is pending.
void writeOut(Conversion& c, std::size_t length) { writeText(c.output.writer, c.outBuffer, length); }

void flush(Conversion& c) {
    writeOut(c, c.output.used);
    c.output.used = 0;
}

// Writes the whole pieces of what is pending; the rest moves to the front.
void flushPieces(Conversion& c) {
    const std::size_t whole = c.output.used / writePiece * writePiece;
    if (whole == 0) return;
    if (c.output.reserving && c.output.reserved == 0) c.output.reserving = reservingPays(c.output.writer.fd);
    if (c.output.reserving && c.output.writer.written + whole > c.output.reserved) {
        // Where the file system cannot, the writes go on as they are. A
        // failed call may still have taken part of the space, which the end
        // gives back like the rest.
        c.output.reserving = reserveSpace(c.output.writer.fd, c.output.writer.written, reserveAhead);
        c.output.reserved = c.output.writer.written + reserveAhead;
    }
    writeOut(c, whole);
    c.output.used -= whole;
    std::memmove(c.outBuffer, c.outBuffer + whole, c.output.used);
}

char* putSingles(char* p, const unsigned char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        std::memcpy(p, singles.of[bytes[i]].text, 4);
        p += singles.of[bytes[i]].length;
    }
    return p;
}

// Converts bytes that start at the beginning of a line.
char* putLines(const Conversion& c, char* p, const unsigned char* bytes, std::size_t count) {
    if (c.vectorWay != 0) {
        std::size_t done = 0;
        p = putVectorLines(c.vectorWay, p, bytes, count, done);
        bytes += done;
        count -= done;
    }
    const unsigned char* end = bytes + count / valuesPerLine * valuesPerLine;
    for (; bytes < end; bytes += valuesPerLine) {
        *p++ = '\n';
        p = putSingles(p, bytes, valuesPerLine);
    }
    std::size_t rest = count % valuesPerLine;
    if (rest == 0) return p;
    *p++ = '\n';
    return putSingles(p, bytes, rest);
}

// Fills buffer with up to size bytes of in, as many as there are before end
// of file (a pipe gives them in parts); -1 on a read error.
long readFull(int in, unsigned char* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        ssize_t done = read(in, buffer + got, size - got);
        if (done < 0 && errno == EINTR) continue;
        if (done < 0) return -1;
        if (done == 0) break;
        got += static_cast<std::size_t>(done);
    }
    return static_cast<long>(got);
}

}  // namespace

void beginOutput(Conversion& c, int fd, OutputStart start, InPlaceMark* mark) {
    c.output = ConversionOutput{{}, 0, start == OutputStart::newFile, 0};
    beginText(c.output.writer, fd, start, mark != nullptr ? *mark : c.ownMark, unfinishedLine);
}

void putOutput(Conversion& c, const char* text) {
    std::size_t length = std::strlen(text);
    while (length > 0) {
        if (c.output.used == sizeof c.outBuffer) flush(c);
        std::size_t part = sizeof c.outBuffer - c.output.used;
        if (part > length) part = length;
        std::memcpy(c.outBuffer + c.output.used, text, part);
        c.output.used += part;
        text += part;
        length -= part;
    }
}

ConvertResult convertBytes(Conversion& c, int in, std::uint32_t limit) {
    // The first line, then whole blocks of lines. The text goes after what
    // is pending (the head lines, or the rest of a piece), and out as soon
    // as it makes a whole piece.
    bool firstLine = true;
    std::size_t wanted = firstLineValues;
    std::uint64_t converted = 0;
    c.lastLength = 0;
    c.vectorWay = 0;
    for (;;) {
        long got = readFull(in, c.inBuffer, wanted);
        if (got < 0) return ConvertResult::readFailed;
        converted += static_cast<std::uint64_t>(got);
        if (converted > limit) return ConvertResult::tooLarge;
        c.lastLength = static_cast<std::uint32_t>(converted);
        const std::size_t count = static_cast<std::size_t>(got);
        for (std::size_t at = 0; at < count; at += stepValues) {
            if (c.output.used >= writePiece) flushPieces(c);
            char* start = c.outBuffer + c.output.used;
            const std::size_t part = std::min(count - at, stepValues);
            char* end = firstLine ? putSingles(start, c.inBuffer, part)
                                  : putLines(c, start, c.inBuffer + at, part);
            c.output.used += static_cast<std::size_t>(end - start);
        }
        if (count < wanted) break;
        // The first whole block makes the input large.
        if (converted == firstLineValues + c.blockBytes)
            c.vectorWay = vectorWayFor(c.vectorBitsAllowed);
        if (c.output.writer.failed) return ConvertResult::writeFailed;
        firstLine = false;
        wanted = c.blockBytes;
    }
    return c.output.writer.failed ? ConvertResult::writeFailed : ConvertResult::done;
}

namespace {

// A byte in a string literal: itself, a named escape, or octal digits as
// few as will do; shortOctal when fewer than three, which a following
// octal digit would join.
struct LiteralText {
    char text[4];
    std::uint8_t length;
    bool shortOctal;
};

constexpr LiteralText literalText(unsigned byte) {
    LiteralText t{};
    constexpr char named[] = "abtnvfr";  // 7 to 13
    if (byte == '"' || byte == '\\') {
        t.text[0] = '\\';
        t.text[1] = static_cast<char>(byte);
        t.length = 2;
    } else if (byte >= 0x20 && byte < 0x7F) {
        t.text[0] = static_cast<char>(byte);
        t.length = 1;
    } else if (byte >= 7 && byte <= 13) {
        t.text[0] = '\\';
        t.text[1] = named[byte - 7];
        t.length = 2;
    } else {
        const unsigned digits = byte < 8 ? 1 : byte < 64 ? 2 : 3;
        t.text[0] = '\\';
        for (unsigned i = digits, rest = byte; i > 0; --i, rest /= 8)
            t.text[i] = static_cast<char>('0' + rest % 8);
        t.length = static_cast<std::uint8_t>(digits + 1);
        t.shortOctal = digits < 3;
    }
    return t;
}

constexpr auto makeLiteralTexts() {
    struct {
        LiteralText of[256];
    } table{};
    for (unsigned byte = 0; byte < 256; ++byte) table.of[byte] = literalText(byte);
    return table;
}

constexpr auto literalTexts = makeLiteralTexts();

// The text of a line between its quotes, at most.
constexpr std::size_t literalLineText = 76;
// Bytes converted between looks at whether a piece is ready to go out:
// their text, at most four characters a byte and the line ends, fits the
// room the buffer keeps past a piece.
constexpr std::size_t literalStep = 2048;
static_assert(literalStep * 5 + 64 < textRoom + stepText, "a step's text fits past a piece");

struct LiteralLine {
    std::size_t column;
    bool afterQuestion;
};

// Puts byte, whose successor in the input is next (-1 at the end).
inline char* putLiteralByte(char* p, LiteralLine& line, unsigned byte, int next) {
    LiteralText t = literalTexts.of[byte];
    if (t.shortOctal && next >= '0' && next <= '7') {
        // Three digits, so the next byte is not read as one of them.
        t.text[1] = static_cast<char>('0' + byte / 64);
        t.text[2] = static_cast<char>('0' + byte / 8 % 8);
        t.text[3] = static_cast<char>('0' + byte % 8);
        t.length = 4;
    } else if (byte == '?' && line.afterQuestion) {
        // "??" followed by some characters is a trigraph in strict C.
        t.text[0] = '\\';
        t.text[1] = '?';
        t.length = 2;
    }
    if (line.column + t.length > literalLineText) {
        std::memcpy(p, "\"\n\"", 3);
        p += 3;
        line.column = 0;
    }
    std::memcpy(p, t.text, 4);
    line.column += t.length;
    line.afterQuestion = byte == '?';
    return p + t.length;
}

}  // namespace

ConvertResult convertBytesAsString(Conversion& c, int in, std::uint32_t limit) {
    // Each byte waits for the next, which decides its escape.
    std::uint64_t converted = 0;
    c.lastLength = 0;
    LiteralLine line{0, false};
    int pending = -1;
    putOutput(c, "\"");
    for (;;) {
        const long got = readFull(in, c.inBuffer, convertBlockBytes);
        if (got < 0) return ConvertResult::readFailed;
        converted += static_cast<std::uint64_t>(got);
        if (converted > limit) return ConvertResult::tooLarge;
        c.lastLength = static_cast<std::uint32_t>(converted);
        const std::size_t count = static_cast<std::size_t>(got);
        for (std::size_t at = 0; at < count; at += literalStep) {
            if (c.output.used >= writePiece) flushPieces(c);
            char* p = c.outBuffer + c.output.used;
            const std::size_t end = std::min(count, at + literalStep);
            for (std::size_t i = at; i < end; ++i) {
                if (pending >= 0) p = putLiteralByte(p, line, static_cast<unsigned>(pending), c.inBuffer[i]);
                pending = c.inBuffer[i];
            }
            c.output.used = static_cast<std::size_t>(p - c.outBuffer);
        }
        if (c.output.writer.failed) return ConvertResult::writeFailed;
        if (count < convertBlockBytes) break;
    }
    char* p = c.outBuffer + c.output.used;
    if (pending >= 0) p = putLiteralByte(p, line, static_cast<unsigned>(pending), -1);
    c.output.used = static_cast<std::size_t>(p - c.outBuffer);
    putOutput(c, "\";\n");
    return c.output.writer.failed ? ConvertResult::writeFailed : ConvertResult::done;
}

std::uint32_t convertedLength(const Conversion& c) { return c.lastLength; }

ConvertResult endOutput(Conversion& c) {
    flush(c);
    OutputWriter& w = c.output.writer;
    if (endText(w) && w.inPlace && w.mark == &c.ownMark && !finishInPlace(w.fd, *w.mark)) w.failed = true;
    // Space reserved past the end goes back.
    if (c.output.reserved > w.written && ftruncate(w.fd, static_cast<off_t>(w.written)) != 0) {
        // The text is whole all the same; the file only keeps the space.
    }
    return w.failed ? ConvertResult::writeFailed : ConvertResult::done;
}
