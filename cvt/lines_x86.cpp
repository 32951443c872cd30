// Lines with vectors on x86: 64 values at a time with AVX-512 where the
// processor can permute and compress bytes (VBMI, VBMI2), 32 at a time
// with AVX2 elsewhere.
#include "lines.h"

#include <algorithm>
#include <cstdint>
#include <immintrin.h>

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

// Whole lines with AVX2: each value becomes four bytes, hundreds, tens,
// ones and a comma; the unsigned compares are made from max and equal, and
// the tens come from a multiplication. The bytes of each four values'
// texts are picked out of their sixteen by a shuffle from a table, chosen
// by the widths of the four. A round is eight lines, 160 values.
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

static_assert(vectorRoundValues % avx512::roundValues == 0 &&
                  vectorRoundValues % avx2::roundValues == 0,
              "whole rounds of either way in each vector round");

VectorWay vectorWayFor(unsigned bitsAllowed) {
    __builtin_cpu_init();
    if (bitsAllowed >= 512 && avx512::supported()) return 512;
    if (bitsAllowed >= 256 && __builtin_cpu_supports("avx2")) return 256;
    return 0;
}

char* putVectorLines(VectorWay way, char* p, const unsigned char* bytes, std::size_t count,
                     std::size_t& done) {
    done = 0;
    if (way == 512) {
        done = count / avx512::roundValues * avx512::roundValues;
        return avx512::putRounds(p, bytes, done / avx512::roundValues);
    }
    if (way == 256) {
        done = count / avx2::roundValues * avx2::roundValues;
        return avx2::putRounds(p, bytes, done / avx2::roundValues);
    }
    return p;
}
