// The conversion is the hot path of qavcvt: a compiled program may be
// hundreds of megabytes. Values are looked up in a table of texts, or made
// 32 at a time with AVX-512 where the processor has it, once the input
// proves large; each block's text goes out in one write of whole pieces.
// The result is byte for byte that of converting one byte at a time.
#include "convert.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#define QAV_HAS_VECTOR_LINES 1
#include <immintrin.h>
#endif

bool vectorLinesAllowed = true;

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
// input without AVX-512: 576 KiB that a small input would pay for at every
// run.
std::uint64_t pairText[256 * 256];
std::uint8_t pairLength[256 * 256];

// How lines are made: value by value until the input proves large.
enum class LineWay : std::uint8_t { singles, pairs, vectors };
LineWay lineWay;

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
}

#ifdef QAV_HAS_VECTOR_LINES
// Whole lines with AVX-512 on processors that can compress bytes (VBMI2):
// each value becomes four bytes, hundreds, tens, ones and a comma, and the
// leading zeros are squeezed out. A round is eight lines, 160 values, so
// the lanes where lines start are known when the code is compiled.
#define QAV_VECTOR __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi2,popcnt")))
constexpr std::uint32_t roundValues = 160;
static_assert(roundValues % valuesPerLine == 0 && roundValues % 32 == 0 && valuesPerLine >= 16,
              "a round is whole lines, 32 values a step, at most one line break in 16 values");

bool hasByteCompress() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi2");
}

// The bytes to keep of sixteen values: the mask, how many there are, and
// how many of them come before byte `below`. A 32-bit build makes the mask
// in halves, so that it is never put together in memory from two stores:
// loading it back would stall at every step.
struct Kept {
    __mmask64 mask;
    unsigned length;
    unsigned before;
};

template <unsigned below>
QAV_VECTOR inline Kept keptBytes(__m512i kept) {
    static_assert(below < 64, "a line starts within the sixteen values");
#ifdef __x86_64__
    const __mmask64 mask = _mm512_test_epi8_mask(kept, kept);
    const std::uint64_t bits = mask;
    return {mask, static_cast<unsigned>(__builtin_popcountll(bits)),
            static_cast<unsigned>(__builtin_popcountll(bits & ((std::uint64_t{1} << below) - 1)))};
#else
    const __m256i lowHalf = _mm512_maskz_extracti64x4_epi64(0xFF, kept, 0);
    const __m256i highHalf = _mm512_maskz_extracti64x4_epi64(0xFF, kept, 1);
    const __mmask32 lowMask = _mm256_test_epi8_mask(lowHalf, lowHalf);
    const __mmask32 highMask = _mm256_test_epi8_mask(highHalf, highHalf);
    const std::uint32_t low = _cvtmask32_u32(lowMask), high = _cvtmask32_u32(highMask);
    const unsigned before =
        below <= 32 ? __builtin_popcount(low & static_cast<std::uint32_t>((std::uint64_t{1} << below) - 1))
                    : __builtin_popcount(low) + __builtin_popcount(high & ((1u << (below - 32)) - 1));
    return {_mm512_kunpackd(highMask, lowMask),
            static_cast<unsigned>(__builtin_popcount(low) + __builtin_popcount(high)), before};
#endif
}

// The mask of the first n bytes, n < 64.
QAV_VECTOR inline __mmask64 firstBytes(unsigned n) {
#ifdef __x86_64__
    return (std::uint64_t{1} << n) - 1;
#else
    const std::uint32_t low = n >= 32 ? ~0u : (1u << n) - 1;
    const std::uint32_t high = n > 32 ? (1u << (n - 32)) - 1 : 0;
    return _mm512_kunpackd(_cvtu32_mask32(high), _cvtu32_mask32(low));
#endif
}

// Sixteen values, the digits (numbers, not characters) in the first three
// bytes of each four; first is the place of the first value in the round.
template <std::uint32_t first>
QAV_VECTOR inline char* putSixteen(char* p, __m512i digits) {
    constexpr std::uint32_t lineStart = (valuesPerLine - first % valuesPerLine) % valuesPerLine;
    // The hundreds stay when they are not 0, the tens when either is not.
    const __m512i kept = _mm512_ternarylogic_epi32(digits, _mm512_slli_epi16(digits, 8),
                                                   _mm512_set1_epi32(-65536), 0xFE);
    constexpr unsigned below = lineStart < 16 ? 4 * lineStart : 0;
    const Kept keep = keptBytes<below>(kept);
    const __m512i text =
        _mm512_maskz_compress_epi8(keep.mask, _mm512_add_epi32(digits, _mm512_set1_epi32(0x2C303030)));
    if constexpr (lineStart < 16) {
        // The text goes out one byte further on, then again up to the line
        // start, masked, and the line break between.
        _mm512_storeu_si512(p + 1, text);
        _mm512_mask_storeu_epi8(p, firstBytes(keep.before), text);
        p[keep.before] = '\n';
        return p + keep.length + 1;
    } else {
        _mm512_storeu_si512(p, text);
        return p + keep.length;
    }
}

template <std::uint32_t first>
QAV_VECTOR inline char* putThirtyTwo(char* p, const unsigned char* bytes) {
    // Groups of four values are spread so that the interleaving at the end,
    // which works within each 16 bytes, puts them back in order.
    const __m256i spread = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const __m512i value = _mm512_cvtepu8_epi16(_mm256_permutevar8x32_epi32(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes)), spread));
    // Digits by multiplication, exact for 0 to 255: value * 6554 / 2^16 is
    // value / 10, and the remainder of that product, times 10 / 2^16, is
    // the next digit down (value % 10); likewise for the tens.
    const __m512i tenth = _mm512_set1_epi16(6554), ten = _mm512_set1_epi16(10);
    const __m512i hundreds = _mm512_mulhi_epu16(value, _mm512_set1_epi16(656));
    const __m512i tenths = _mm512_mulhi_epu16(value, tenth);
    const __m512i ones = _mm512_mulhi_epu16(_mm512_mullo_epi16(value, tenth), ten);
    const __m512i tens = _mm512_mulhi_epu16(_mm512_mullo_epi16(tenths, tenth), ten);
    // Hundreds in the low byte, tens in the high one.
    const __m512i hundredsAndTens = _mm512_or_si512(hundreds, _mm512_slli_epi16(tens, 8));
    p = putSixteen<first>(p, _mm512_unpacklo_epi16(hundredsAndTens, ones));
    return putSixteen<first + 16>(p, _mm512_unpackhi_epi16(hundredsAndTens, ones));
}

QAV_VECTOR char* putRounds(char* p, const unsigned char* bytes, std::size_t rounds) {
    for (; rounds > 0; --rounds, bytes += roundValues) {
        p = putThirtyTwo<0>(p, bytes);
        p = putThirtyTwo<32>(p, bytes + 32);
        p = putThirtyTwo<64>(p, bytes + 64);
        p = putThirtyTwo<96>(p, bytes + 96);
        p = putThirtyTwo<128>(p, bytes + 128);
    }
    return p;
}
#endif

// The way for the rest of an input that proved large; the pair table is
// made once, for the first that needs it.
LineWay largeInputWay() {
#ifdef QAV_HAS_VECTOR_LINES
    if (vectorLinesAllowed && hasByteCompress()) return LineWay::vectors;
#endif
    static bool pairsMade;
    if (!pairsMade) makePairs();
    pairsMade = true;
    return LineWay::pairs;
}

// At most four characters a value, a line break a line, slack for the last
// 64-byte store, and room for the head and tail lines.
constexpr std::size_t blockText = convertBlockBytes * 4 + convertBlockBytes / valuesPerLine + 64;
constexpr std::size_t textRoom = 4096;
// Blocks go out in whole pieces of this size, the rest staying for the next
// write, so that every write but the last ends on a 64 KiB boundary of the
// output. The kernel then fills whole pages, and large ones; writes that
// end inside a page cost about a sixth more.
constexpr std::size_t writePiece = 64 * 1024;

unsigned char inBuffer[convertBlockBytes];
char outBuffer[writePiece + textRoom + blockText];

struct Output {
    int fd;
    std::size_t used;
    bool failed;
};

Output output;
std::uint32_t lastLength;

// Writes the first length bytes of what is pending.
void writeOut(std::size_t length) {
    const char* at = outBuffer;
    std::size_t left = length;
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

void flush() {
    writeOut(output.used);
    output.used = 0;
}

// Writes the whole pieces of what is pending; the rest moves to the front.
void flushPieces() {
    const std::size_t whole = output.used / writePiece * writePiece;
    if (whole == 0) return;
    writeOut(whole);
    output.used -= whole;
    std::memmove(outBuffer, outBuffer + whole, output.used);
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
#ifdef QAV_HAS_VECTOR_LINES
    if (lineWay == LineWay::vectors) {
        const std::size_t rounds = count / roundValues;
        p = putRounds(p, bytes, rounds);
        bytes += rounds * roundValues;
        count -= rounds * roundValues;
    }
#endif
    const unsigned char* end = bytes + count / valuesPerLine * valuesPerLine;
    if (lineWay == LineWay::pairs) {
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
    // what is pending (the head lines, or the rest of a piece), and its
    // whole pieces go out as soon as it is made.
    bool firstLine = true;
    std::size_t wanted = firstLineValues;
    std::uint64_t converted = 0;
    lastLength = 0;
    lineWay = LineWay::singles;
    for (;;) {
        long got = readFull(in, inBuffer, wanted);
        if (got < 0) return ConvertResult::readFailed;
        converted += static_cast<std::uint64_t>(got);
        if (converted > limit) return ConvertResult::tooLarge;
        lastLength = static_cast<std::uint32_t>(converted);
        if (output.used > writePiece + textRoom) flush();
        char* start = outBuffer + output.used;
        const std::size_t count = static_cast<std::size_t>(got);
        char* end = firstLine ? putSingles(start, inBuffer, count)
                              : putLines(start, inBuffer, count);
        output.used += static_cast<std::size_t>(end - start);
        if (count < wanted) break;
        if (!firstLine) {
            flushPieces();
            if (lineWay == LineWay::singles) lineWay = largeInputWay();
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
