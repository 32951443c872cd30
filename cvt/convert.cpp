// The conversion is the hot path of qavcvt: a compiled program may be
// hundreds of megabytes. Values are looked up in a table of texts, or,
// once the input proves large, made 64 at a time with AVX-512 or 32 at a
// time with AVX2, as the processor allows; the text goes out in writes of
// 1 MiB. The result is byte for byte that of converting one byte at a time.
#include "convert.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/vfs.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#define QAV_HAS_VECTOR_LINES 1
#include <immintrin.h>
#endif

unsigned vectorBitsAllowed = 512;

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

// How lines are made: value by value until the input proves large.
enum class LineWay : std::uint8_t { singles, avx2, avx512 };
LineWay lineWay;

#ifdef QAV_HAS_VECTOR_LINES
namespace avx512 {

// Whole lines with AVX-512 on processors that can permute and compress
// bytes (VBMI, VBMI2): each value becomes four bytes, hundreds, tens, ones
// and a comma, with a 0 byte for each leading zero, and the 0 bytes are
// squeezed out. A round is sixteen lines, 320 values, so the lanes where
// lines start are known when the code is compiled.
#define QAV_AVX512 \
    __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,popcnt")))
constexpr std::uint32_t roundValues = 320;
static_assert(roundValues % valuesPerLine == 0 && roundValues % 64 == 0 && valuesPerLine >= 16,
              "a round is whole lines, 64 values a step, at most one line break in 16 values");

bool supported() {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
           __builtin_cpu_supports("avx512vbmi2");
}

// Which of 64 values have two digits or more, and which three: the lengths
// of their texts are counted from these. They are compared again on the
// bytes as they come, where each value's bit stands in order (the digits
// are made from the spread bytes), and kept in 32-bit words,
// which a 32-bit build moves out of mask registers directly; a 64-bit mask
// it would put together in memory and stall on loading it back.
struct Widths {
    std::uint32_t tens[2];
    std::uint32_t hundreds[2];
};

QAV_AVX512 inline Widths widthsOf(const unsigned char* bytes) {
    Widths widths;
    for (unsigned half = 0; half < 2; ++half) {
        const __m256i value = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes) + half);
        widths.tens[half] = _cvtmask32_u32(_mm256_cmpge_epu8_mask(value, _mm256_set1_epi8(10)));
        widths.hundreds[half] =
            _cvtmask32_u32(_mm256_cmpge_epu8_mask(value, _mm256_set1_epi8(100)));
    }
    return widths;
}

// The mask of the first n bytes, n < 64.
QAV_AVX512 inline __mmask64 firstBytes(unsigned n) {
#ifdef __x86_64__
    return (std::uint64_t{1} << n) - 1;
#else
    const std::uint32_t low = n >= 32 ? ~0u : (1u << n) - 1;
    const std::uint32_t high = n > 32 ? (1u << (n - 32)) - 1 : 0;
    return _mm512_kunpackd(_cvtu32_mask32(high), _cvtu32_mask32(low));
#endif
}

// Sixteen values as text, a 0 byte in place of each leading zero; first is
// the place of the first value in the round.
template <std::uint32_t first>
QAV_AVX512 inline char* putSixteen(char* p, __m512i text, const Widths& widths) {
    constexpr std::uint32_t lineStart = (valuesPerLine - first % valuesPerLine) % valuesPerLine;
    constexpr unsigned word = first % 64 / 32, shift = first % 32;
    const std::uint32_t tens = widths.tens[word] >> shift & 0xFFFF;
    const std::uint32_t hundreds = widths.hundreds[word] >> shift & 0xFFFF;
    // Every value has its ones and a comma.
    const unsigned length = 32 + __builtin_popcount(tens) + __builtin_popcount(hundreds);
    text = _mm512_maskz_compress_epi8(_mm512_test_epi8_mask(text, text), text);
    if constexpr (lineStart < 16) {
        // The text goes out one byte further on, then again up to the line
        // start, masked, and the line break between.
        constexpr std::uint32_t valuesBefore = (1u << lineStart) - 1;
        const unsigned keptBefore = 2 * lineStart + __builtin_popcount(tens & valuesBefore) +
                                    __builtin_popcount(hundreds & valuesBefore);
        _mm512_storeu_si512(p + 1, text);
        _mm512_mask_storeu_epi8(p, firstBytes(keptBefore), text);
        p[keptBefore] = '\n';
        return p + length + 1;
    } else {
        _mm512_storeu_si512(p, text);
        return p + length;
    }
}

// The tens or the ones of 0 to 99 as characters, looked up 64 at a time.
struct DigitTable {
    alignas(64) char of[128];
};

constexpr DigitTable digitTable(unsigned place) {
    DigitTable table{};
    for (unsigned value = 0; value < 100; ++value)
        table.of[value] = static_cast<char>('0' + value / place % 10);
    return table;
}

constexpr DigitTable tensTable = digitTable(10), onesTable = digitTable(1);

QAV_AVX512 inline __m512i lookUp(const DigitTable& table, __m512i below100, __mmask64 kept) {
    const __m512i* half = reinterpret_cast<const __m512i*>(table.of);
    return _mm512_maskz_permutex2var_epi8(kept, _mm512_load_si512(half), below100,
                                          _mm512_load_si512(half + 1));
}

template <std::uint32_t first>
QAV_AVX512 inline char* putSixtyFour(char* p, const unsigned char* bytes) {
    // Each 16 bytes take one group of four values from each quarter, so
    // that the interleaving at the end, which works within each 16 bytes,
    // puts the values back in order.
    const __m512i spread = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    // (The zero-masked form: GCC 12 warns of the undefined vector the plain
    // one starts from.)
    const __m512i value = _mm512_maskz_permutexvar_epi32(0xFFFF, spread, _mm512_loadu_si512(bytes));
    const Widths widths = widthsOf(bytes);
    const __mmask64 atLeast10 = _mm512_cmpge_epu8_mask(value, _mm512_set1_epi8(10));
    const __mmask64 atLeast100 = _mm512_cmpge_epu8_mask(value, _mm512_set1_epi8(100));
    const __mmask64 atLeast200 =
        _mm512_cmpge_epu8_mask(value, _mm512_set1_epi8(static_cast<char>(200)));
    const __m512i hundred = _mm512_set1_epi8(100);
    __m512i below100 = _mm512_mask_sub_epi8(value, atLeast100, value, hundred);
    below100 = _mm512_mask_sub_epi8(below100, atLeast200, below100, hundred);
    const __m512i hundreds =
        _mm512_mask_mov_epi8(_mm512_maskz_mov_epi8(atLeast100, _mm512_set1_epi8('1')), atLeast200,
                             _mm512_set1_epi8('2'));
    const __m512i tens = lookUp(tensTable, below100, atLeast10);
    const __m512i ones = lookUp(onesTable, below100, ~__mmask64{0});
    const __m512i comma = _mm512_set1_epi8(',');
    const __m512i hundredsAndTens[] = {_mm512_unpacklo_epi8(hundreds, tens),
                                       _mm512_unpackhi_epi8(hundreds, tens)};
    const __m512i onesAndComma[] = {_mm512_unpacklo_epi8(ones, comma),
                                    _mm512_unpackhi_epi8(ones, comma)};
    const __m512i text[] = {_mm512_unpacklo_epi16(hundredsAndTens[0], onesAndComma[0]),
                            _mm512_unpackhi_epi16(hundredsAndTens[0], onesAndComma[0]),
                            _mm512_unpacklo_epi16(hundredsAndTens[1], onesAndComma[1]),
                            _mm512_unpackhi_epi16(hundredsAndTens[1], onesAndComma[1])};
    p = putSixteen<first>(p, text[0], widths);
    p = putSixteen<first + 16>(p, text[1], widths);
    p = putSixteen<first + 32>(p, text[2], widths);
    return putSixteen<first + 48>(p, text[3], widths);
}

QAV_AVX512 char* putRounds(char* p, const unsigned char* bytes, std::size_t rounds) {
    for (; rounds > 0; --rounds, bytes += roundValues) {
        p = putSixtyFour<0>(p, bytes);
        p = putSixtyFour<64>(p, bytes + 64);
        p = putSixtyFour<128>(p, bytes + 128);
        p = putSixtyFour<192>(p, bytes + 192);
        p = putSixtyFour<256>(p, bytes + 256);
    }
    return p;
}

}  // namespace avx512

namespace avx2 {

// Whole lines with AVX2: the values are made as with AVX-512, but the
// unsigned compares are made from max and equal, and the tens come from a
// multiplication for lack of byte permutes. With no compress either, the
// bytes of each four values' texts are picked out of their sixteen by a
// shuffle from a table, chosen by the widths of the four. A round is eight
// lines, 160 values.
#define QAV_AVX2 __attribute__((target("avx2")))
constexpr std::uint32_t roundValues = 160;
static_assert(roundValues % valuesPerLine == 0 && roundValues % 32 == 0 && valuesPerLine % 4 == 0,
              "a round is whole lines, 32 values a step, lines start at groups of four");

// For each index, the widths of four values, 2 bits each (0 for one digit,
// 1 for two, 2 for three): the bytes of their texts in order, and how many.
struct Picks {
    alignas(16) std::int8_t of[256][16];
    std::uint8_t length[256];
};

constexpr Picks makePicks() {
    Picks picks{};
    for (unsigned index = 0; index < 256; ++index) {
        unsigned n = 0;
        for (unsigned value = 0; value < 4; ++value) {
            const unsigned width = std::min(index >> (2 * value) & 3, 2u);
            for (unsigned byte = 2 - width; byte < 4; ++byte)
                picks.of[index][n++] = static_cast<std::int8_t>(4 * value + byte);
        }
        picks.length[index] = static_cast<std::uint8_t>(n);
        for (; n < 16; ++n) picks.of[index][n] = -128;
    }
    return picks;
}

constexpr Picks picks = makePicks();

// Eight values as four bytes each, and the indexes of their two groups of
// four; first is the place of the first value in the round.
template <std::uint32_t first>
QAV_AVX2 inline char* putEight(char* p, __m256i text, std::uint32_t low, std::uint32_t high) {
    const __m256i pick = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(picks.of[low]))),
        _mm_load_si128(reinterpret_cast<const __m128i*>(picks.of[high])), 1);
    const __m256i picked = _mm256_shuffle_epi8(text, pick);
    if constexpr (first % valuesPerLine == 0) *p++ = '\n';
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(picked));
    p += picks.length[low];
    if constexpr ((first + 4) % valuesPerLine == 0) *p++ = '\n';
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_extracti128_si256(picked, 1));
    return p + picks.length[high];
}

// All bytes 0xFF where value >= bound, unsigned.
QAV_AVX2 inline __m256i atLeast(__m256i value, unsigned char bound) {
    return _mm256_cmpeq_epi8(_mm256_max_epu8(value, _mm256_set1_epi8(static_cast<char>(bound))),
                             value);
}

template <std::uint32_t first>
QAV_AVX2 inline char* putThirtyTwo(char* p, const unsigned char* bytes) {
    // Each 16 bytes take one group of four values from each quarter, so
    // that the interleaving at the end puts the values back in order.
    const __m256i spread = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    const __m256i value = _mm256_permutevar8x32_epi32(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes)), spread);
    const __m256i atLeast10 = atLeast(value, 10), atLeast100 = atLeast(value, 100);
    const __m256i atLeast200 = atLeast(value, 200);
    const __m256i hundred = _mm256_set1_epi8(100);
    const __m256i below100 =
        _mm256_sub_epi8(_mm256_sub_epi8(value, _mm256_and_si256(atLeast100, hundred)),
                        _mm256_and_si256(atLeast200, hundred));
    // The tens by multiplication in 16-bit lanes, low bytes and high bytes
    // apart: value * 6554 / 2^16 is value / 10 for 0 to 99.
    const __m256i tenth = _mm256_set1_epi16(6554);
    const __m256i tens = _mm256_or_si256(
        _mm256_mulhi_epu16(_mm256_and_si256(below100, _mm256_set1_epi16(0xFF)), tenth),
        _mm256_slli_epi16(_mm256_mulhi_epu16(_mm256_srli_epi16(below100, 8), tenth), 8));
    const __m256i ones = _mm256_sub_epi8(below100, _mm256_mullo_epi16(tens, _mm256_set1_epi16(10)));
    // A true compare is -1: taking it off adds one.
    const __m256i zero = _mm256_set1_epi8('0');
    const __m256i hundreds = _mm256_sub_epi8(_mm256_sub_epi8(zero, atLeast100), atLeast200);
    const __m256i widths =
        _mm256_sub_epi8(_mm256_sub_epi8(_mm256_setzero_si256(), atLeast10), atLeast100);
    // Each four widths into one index, 2 bits each.
    alignas(32) std::uint32_t index[8];
    _mm256_store_si256(
        reinterpret_cast<__m256i*>(index),
        _mm256_madd_epi16(_mm256_maddubs_epi16(widths, _mm256_set1_epi32(0x40100401)),
                          _mm256_set1_epi16(1)));
    const __m256i tensText = _mm256_add_epi8(tens, zero), onesText = _mm256_add_epi8(ones, zero);
    const __m256i comma = _mm256_set1_epi8(',');
    const __m256i hundredsAndTens[] = {_mm256_unpacklo_epi8(hundreds, tensText),
                                       _mm256_unpackhi_epi8(hundreds, tensText)};
    const __m256i onesAndComma[] = {_mm256_unpacklo_epi8(onesText, comma),
                                    _mm256_unpackhi_epi8(onesText, comma)};
    // Group g of four values has its index in word 4 * (g % 2) + g / 2.
    const __m256i text[] = {_mm256_unpacklo_epi16(hundredsAndTens[0], onesAndComma[0]),
                            _mm256_unpackhi_epi16(hundredsAndTens[0], onesAndComma[0]),
                            _mm256_unpacklo_epi16(hundredsAndTens[1], onesAndComma[1]),
                            _mm256_unpackhi_epi16(hundredsAndTens[1], onesAndComma[1])};
    p = putEight<first>(p, text[0], index[0], index[4]);
    p = putEight<first + 8>(p, text[1], index[1], index[5]);
    p = putEight<first + 16>(p, text[2], index[2], index[6]);
    return putEight<first + 24>(p, text[3], index[3], index[7]);
}

QAV_AVX2 char* putRounds(char* p, const unsigned char* bytes, std::size_t rounds) {
    for (; rounds > 0; --rounds, bytes += roundValues) {
        p = putThirtyTwo<0>(p, bytes);
        p = putThirtyTwo<32>(p, bytes + 32);
        p = putThirtyTwo<64>(p, bytes + 64);
        p = putThirtyTwo<96>(p, bytes + 96);
        p = putThirtyTwo<128>(p, bytes + 128);
    }
    return p;
}

}  // namespace avx2
#endif

// The way for the rest of an input that proved large: the widest vectors
// that the processor has and the tests allow.
LineWay largeInputWay() {
#ifdef QAV_HAS_VECTOR_LINES
    __builtin_cpu_init();
    if (vectorBitsAllowed >= 512 && avx512::supported()) return LineWay::avx512;
    if (vectorBitsAllowed >= 256 && __builtin_cpu_supports("avx2")) return LineWay::avx2;
#endif
    return LineWay::singles;
}

// A block is converted a step at a time, whole lines, so that its text can
// go out in exact pieces with little left over to move.
constexpr std::size_t stepValues = 3200;
static_assert(convertBlockBytes % stepValues == 0 && stepValues % valuesPerLine == 0,
              "a block is whole steps, a step whole lines");
#ifdef QAV_HAS_VECTOR_LINES
static_assert(stepValues % avx512::roundValues == 0 && stepValues % avx2::roundValues == 0,
              "a step is whole rounds");
#endif
// At most four characters a value, a line break a line, and slack for the
// last 64-byte store.
constexpr std::size_t stepText = stepValues * 4 + stepValues / valuesPerLine + 64;
// Room for the head and tail lines.
constexpr std::size_t textRoom = 4096;
// The text goes out in whole pieces of this size, the rest staying for the
// next write, so that every write but the last starts and ends on a 1 MiB
// boundary of the output. The kernel then fills whole pages, and large
// ones: writes of about the same size that end inside a page cost about a
// fifth more, and ones that end on a 64 KiB boundary a tenth.
constexpr std::size_t writePiece = 1024 * 1024;

unsigned char inBuffer[convertBlockBytes];
char outBuffer[writePiece + textRoom + stepText];

// ext4 accounts for the space of a file page by page as it is first
// written; reserving the next 8 MiB of a large output in one call makes its
// writes about a third cheaper. The file keeps the size of what is written;
// the end gives back what was not used. Elsewhere it does not pay: on XFS
// the writes took three times as long, on btrfs and tmpfs a little longer.
constexpr std::uint64_t reserveAhead = 8 << 20;
constexpr decltype(statfs::f_type) ext4Magic = 0xEF53;

bool reservingPays(int fd) {
    struct statfs fileSystem;
    return fstatfs(fd, &fileSystem) == 0 && fileSystem.f_type == ext4Magic;
}

struct Output {
    int fd;
    std::size_t used;
    bool failed;
    bool reserving;
    std::uint64_t written;
    std::uint64_t reserved;
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
        output.written += static_cast<std::uint64_t>(done);
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
    if (output.reserving && output.reserved == 0) output.reserving = reservingPays(output.fd);
    if (output.reserving && output.written + whole > output.reserved) {
        // Where the file system cannot, the writes go on as they are. A
        // failed call may still have taken part of the space, which the end
        // gives back like the rest.
        output.reserving = fallocate(output.fd, FALLOC_FL_KEEP_SIZE,
                                     static_cast<off_t>(output.written), reserveAhead) == 0;
        output.reserved = output.written + reserveAhead;
    }
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
    std::size_t done = 0;
    if (lineWay == LineWay::avx512) {
        done = count / avx512::roundValues * avx512::roundValues;
        p = avx512::putRounds(p, bytes, done / avx512::roundValues);
    } else if (lineWay == LineWay::avx2) {
        done = count / avx2::roundValues * avx2::roundValues;
        p = avx2::putRounds(p, bytes, done / avx2::roundValues);
    }
    bytes += done;
    count -= done;
#endif
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

void beginOutput(int fd, bool newFile) {
    output = Output{fd, 0, false, newFile, 0, 0};
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
    // The first line, then whole blocks of lines. The text goes after what
    // is pending (the head lines, or the rest of a piece), and out as soon
    // as it makes a whole piece.
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
        const std::size_t count = static_cast<std::size_t>(got);
        for (std::size_t at = 0; at < count; at += stepValues) {
            if (output.used >= writePiece) flushPieces();
            char* start = outBuffer + output.used;
            const std::size_t part = std::min(count - at, stepValues);
            char* end = firstLine ? putSingles(start, inBuffer, part)
                                  : putLines(start, inBuffer + at, part);
            output.used += static_cast<std::size_t>(end - start);
        }
        if (count < wanted) break;
        // The first whole block makes the input large.
        if (converted == firstLineValues + convertBlockBytes) lineWay = largeInputWay();
        if (output.failed) return ConvertResult::writeFailed;
        firstLine = false;
        wanted = convertBlockBytes;
    }
    return output.failed ? ConvertResult::writeFailed : ConvertResult::done;
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

ConvertResult convertBytesAsString(int in, std::uint32_t limit) {
    // Each byte waits for the next, which decides its escape.
    std::uint64_t converted = 0;
    lastLength = 0;
    LiteralLine line{0, false};
    int pending = -1;
    putOutput("\"");
    for (;;) {
        const long got = readFull(in, inBuffer, convertBlockBytes);
        if (got < 0) return ConvertResult::readFailed;
        converted += static_cast<std::uint64_t>(got);
        if (converted > limit) return ConvertResult::tooLarge;
        lastLength = static_cast<std::uint32_t>(converted);
        const std::size_t count = static_cast<std::size_t>(got);
        for (std::size_t at = 0; at < count; at += literalStep) {
            if (output.used >= writePiece) flushPieces();
            char* p = outBuffer + output.used;
            const std::size_t end = std::min(count, at + literalStep);
            for (std::size_t i = at; i < end; ++i) {
                if (pending >= 0) p = putLiteralByte(p, line, static_cast<unsigned>(pending), inBuffer[i]);
                pending = inBuffer[i];
            }
            output.used = static_cast<std::size_t>(p - outBuffer);
        }
        if (output.failed) return ConvertResult::writeFailed;
        if (count < convertBlockBytes) break;
    }
    char* p = outBuffer + output.used;
    if (pending >= 0) p = putLiteralByte(p, line, static_cast<unsigned>(pending), -1);
    output.used = static_cast<std::size_t>(p - outBuffer);
    putOutput("\";\n");
    return output.failed ? ConvertResult::writeFailed : ConvertResult::done;
}

std::uint32_t convertedLength() { return lastLength; }

ConvertResult endOutput() {
    flush();
    // Space reserved past the end goes back.
    if (output.reserved > output.written &&
        ftruncate(output.fd, static_cast<off_t>(output.written)) != 0) {
        // The text is whole all the same; the file only keeps the space.
    }
    return output.failed ? ConvertResult::writeFailed : ConvertResult::done;
}
