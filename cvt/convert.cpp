// The conversion is the hot path of qavcvt: a compiled program may be
// hundreds of megabytes. Values are looked up two bytes at a time in a
// table of texts, whole lines at a time, and the output is written with
// asynchronous writes so that converting the next block overlaps writing
// the last one. The result is byte for byte that of converting one byte at
// a time.
#include "convert.h"

#include <aio.h>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// The first line holds valuesPerLine - 1 values, every later line
// valuesPerLine, each line after the first starting with a line break.
constexpr std::uint32_t firstLineValues = valuesPerLine - 1;
static_assert(valuesPerLine % 2 == 0, "lines are converted in pairs of bytes");

// "0," to "255," for a byte, and the texts of two bytes one after the other.
char singleText[256][4];
std::uint8_t singleLength[256];
std::uint64_t pairText[256 * 256];
std::uint8_t pairLength[256 * 256];
bool tablesReady;

void makeTables() {
    for (unsigned value = 0; value < 256; ++value) {
        unsigned length = value >= 100 ? 3 : value >= 10 ? 2 : 1;
        char* text = singleText[value];
        for (unsigned rest = value, i = length; i-- > 0; rest /= 10)
            text[i] = static_cast<char>('0' + rest % 10);
        text[length] = ',';
        singleLength[value] = static_cast<std::uint8_t>(length + 1);
    }
    for (unsigned first = 0; first < 256; ++first)
        for (unsigned second = 0; second < 256; ++second) {
            char text[sizeof(std::uint64_t) + 4] = {};
            std::memcpy(text, singleText[first], 4);
            std::memcpy(text + singleLength[first], singleText[second], 4);
            std::memcpy(&pairText[first * 256 + second], text, sizeof(std::uint64_t));
            pairLength[first * 256 + second] =
                static_cast<std::uint8_t>(singleLength[first] + singleLength[second]);
        }
    tablesReady = true;
}

constexpr std::size_t linesPerBlock = 13107;
constexpr std::size_t blockBytes = linesPerBlock * valuesPerLine;
// At most four characters a value, a line break a line, and slack for the
// last eight-byte store.
constexpr std::size_t blockText = blockBytes * 4 + linesPerBlock + 8;

unsigned char inBuffer[blockBytes];
char outBuffers[2][blockText];

char* putSingles(char* p, const unsigned char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        std::memcpy(p, singleText[bytes[i]], 4);
        p += singleLength[bytes[i]];
    }
    return p;
}

// Converts a block that starts at the beginning of a line.
char* putLines(char* p, const unsigned char* bytes, std::size_t count) {
    const unsigned char* end = bytes + count / valuesPerLine * valuesPerLine;
    for (; bytes < end; bytes += valuesPerLine) {
        *p++ = '\n';
        for (std::uint32_t i = 0; i < valuesPerLine; i += 2) {
            unsigned pair = bytes[i] * 256u + bytes[i + 1];
            std::memcpy(p, &pairText[pair], sizeof(std::uint64_t));
            p += pairLength[pair];
        }
    }
    std::size_t rest = count % valuesPerLine;
    if (rest == 0) return p;
    *p++ = '\n';
    return putSingles(p, bytes, rest);
}

// Writes blocks of text to the output, one write in flight while the next
// block is converted. An output that cannot seek (a pipe) is written in
// order, synchronously.
struct Writer {
    FILE* out;
    bool async;
    bool failed;
    off_t offset;
    aiocb request;
    bool pending;
};

void startWriter(Writer& writer, FILE* out) {
    writer.out = out;
    writer.failed = std::fflush(out) != 0 || std::ferror(out);
    writer.offset = lseek(fileno(out), 0, SEEK_CUR);
    writer.async = writer.offset >= 0;
    writer.pending = false;
}

void awaitWrite(Writer& writer) {
    if (!writer.pending) return;
    const aiocb* requests[] = {&writer.request};
    while (aio_error(&writer.request) == EINPROGRESS) aio_suspend(requests, 1, nullptr);
    ssize_t written = aio_return(&writer.request);
    if (written < 0 || static_cast<std::size_t>(written) != writer.request.aio_nbytes)
        writer.failed = true;
    writer.pending = false;
}

// Hands a block to the writer; the block must stay untouched until the
// next call. Returns false once a write has failed.
bool submit(Writer& writer, const char* text, std::size_t length) {
    if (!writer.async) {
        if (fwrite_unlocked(text, 1, length, writer.out) != length) writer.failed = true;
        return !writer.failed;
    }
    awaitWrite(writer);
    if (writer.failed) return false;
    std::memset(&writer.request, 0, sizeof writer.request);
    writer.request.aio_fildes = fileno(writer.out);
    writer.request.aio_buf = const_cast<char*>(text);
    writer.request.aio_nbytes = length;
    writer.request.aio_offset = writer.offset;
    writer.offset += static_cast<off_t>(length);
    if (aio_write(&writer.request) != 0) {
        writer.failed = true;
        return false;
    }
    writer.pending = true;
    return true;
}

// Waits for the last write and leaves the output positioned after it.
bool finishWriter(Writer& writer) {
    if (writer.async) {
        awaitWrite(writer);
        if (std::fseek(writer.out, writer.offset, SEEK_SET) != 0) writer.failed = true;
    }
    return !writer.failed;
}

}  // namespace

ConvertResult convertBytes(FILE* in, FILE* out, std::uint32_t limit) {
    if (!tablesReady) makeTables();

    std::uint32_t wanted = limit < firstLineValues ? limit : firstLineValues;
    std::size_t got = fread_unlocked(inBuffer, 1, wanted, in);
    char* text = outBuffers[0];
    fwrite_unlocked(text, 1, static_cast<std::size_t>(putSingles(text, inBuffer, got) - text), out);
    std::uint32_t converted = static_cast<std::uint32_t>(got);

    Writer writer;
    startWriter(writer, out);
    int which = 0;
    while (got == wanted && converted < limit && !writer.failed) {
        wanted = limit - converted < blockBytes ? limit - converted
                                                : static_cast<std::uint32_t>(blockBytes);
        got = fread_unlocked(inBuffer, 1, wanted, in);
        if (got == 0) break;
        text = outBuffers[which];
        char* end = putLines(text, inBuffer, got);
        if (!submit(writer, text, static_cast<std::size_t>(end - text))) break;
        which ^= 1;
        converted += static_cast<std::uint32_t>(got);
    }
    if (!finishWriter(writer)) return ConvertResult::writeFailed;
    return std::ferror(in) ? ConvertResult::readFailed : ConvertResult::done;
}
