// The conversion is the hot path of qavcvt: a compiled program may be
// hundreds of megabytes. Values are looked up in a table of texts, two
// bytes at a time once the input proves large, whole lines at a time, and
// each block's text goes out in one write. The result is byte for byte
// that of converting one byte at a time.
#include "convert.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// The first line holds valuesPerLine - 1 values, every later line
// valuesPerLine, each line after the first starting with a line break.
constexpr std::uint32_t firstLineValues = valuesPerLine - 1;
static_assert(valuesPerLine % 2 == 0, "lines are converted in pairs of bytes");

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

// The texts of two bytes one after the other, made at the first large
// input: 576 KiB that a small input would pay for at every run.
std::uint64_t pairText[256 * 256];
std::uint8_t pairLength[256 * 256];
bool pairsReady;

void makePairs() {
    for (unsigned first = 0; first < 256; ++first)
        for (unsigned second = 0; second < 256; ++second) {
            char text[sizeof(std::uint64_t) + 4] = {};
            std::memcpy(text, singles.of[first].text, 4);
            std::memcpy(text + singles.of[first].length, singles.of[second].text, 4);
            std::memcpy(&pairText[first * 256 + second], text, sizeof(std::uint64_t));
            pairLength[first * 256 + second] =
                static_cast<std::uint8_t>(singles.of[first].length + singles.of[second].length);
        }
    pairsReady = true;
}

// At most four characters a value, a line break a line, slack for the last
// eight-byte store, and room for the head and tail lines.
constexpr std::size_t blockText = convertBlockBytes * 4 + convertBlockBytes / valuesPerLine + 8;
constexpr std::size_t textRoom = 4096;

unsigned char inBuffer[convertBlockBytes];
char outBuffer[blockText + textRoom];

struct Output {
    int fd;
    std::size_t used;
    bool failed;
};

Output output;
std::uint32_t lastLength;

void flush() {
    const char* at = outBuffer;
    std::size_t left = output.used;
    output.used = 0;
    while (left > 0 && !output.failed) {
        ssize_t done = write(output.fd, at, left);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            output.failed = true;
            return;
        }
        at += done;
        left -= static_cast<std::size_t>(done);
    }
}

char* putSingles(char* p, const unsigned char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        std::memcpy(p, singles.of[bytes[i]].text, 4);
        p += singles.of[bytes[i]].length;
    }
    return p;
}

// Converts bytes that start at the beginning of a line.
char* putLines(char* p, const unsigned char* bytes, std::size_t count) {
    const unsigned char* end = bytes + count / valuesPerLine * valuesPerLine;
    if (pairsReady) {
        for (; bytes < end; bytes += valuesPerLine) {
            *p++ = '\n';
            for (std::uint32_t i = 0; i < valuesPerLine; i += 2) {
                unsigned pair = bytes[i] * 256u + bytes[i + 1];
                std::memcpy(p, &pairText[pair], sizeof(std::uint64_t));
                p += pairLength[pair];
            }
        }
    } else {
        for (; bytes < end; bytes += valuesPerLine) {
            *p++ = '\n';
            p = putSingles(p, bytes, valuesPerLine);
        }
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

void beginOutput(int fd) {
    output.fd = fd;
    output.used = 0;
    output.failed = false;
}

void putOutput(const char* text) {
    std::size_t length = std::strlen(text);
    while (length > 0) {
        if (output.used == sizeof outBuffer) flush();
        std::size_t part = sizeof outBuffer - output.used;
        if (part > length) part = length;
        std::memcpy(outBuffer + output.used, text, part);
        output.used += part;
        text += part;
        length -= part;
    }
}

ConvertResult convertBytes(int in, std::uint32_t limit) {
    // The first line, then whole blocks of lines. A block's text goes after
    // what is pending (the head lines), and out as soon as it is made.
    bool firstLine = true;
    std::size_t wanted = firstLineValues;
    std::uint64_t converted = 0;
    lastLength = 0;
    for (;;) {
        long got = readFull(in, inBuffer, wanted);
        if (got < 0) return ConvertResult::readFailed;
        converted += static_cast<std::uint64_t>(got);
        if (converted > limit) return ConvertResult::tooLarge;
        lastLength = static_cast<std::uint32_t>(converted);
        if (output.used > textRoom) flush();
        char* start = outBuffer + output.used;
        const std::size_t count = static_cast<std::size_t>(got);
        char* end = firstLine ? putSingles(start, inBuffer, count)
                              : putLines(start, inBuffer, count);
        output.used += static_cast<std::size_t>(end - start);
        if (count < wanted) break;
        if (!firstLine) {
            flush();
            if (!pairsReady) makePairs();  // the input is large
        }
        if (output.failed) return ConvertResult::writeFailed;
        firstLine = false;
        wanted = convertBlockBytes;
    }
    return output.failed ? ConvertResult::writeFailed : ConvertResult::done;
}

std::uint32_t convertedLength() { return lastLength; }

ConvertResult endOutput() {
    flush();
    return output.failed ? ConvertResult::writeFailed : ConvertResult::done;
}
