// Lines with AVX2 on x86 processors that have it.
#include "lines.h"

#include "convert.h"

#include <algorithm>
#include <cstdint>
#include <immintrin.h>

namespace {

// Whole lines with AVX2: each value becomes four bytes, hundreds, tens,
// ones and a comma; the unsigned compares are made from max and equal, and
// the tens come from a multiplication. The bytes of each four values'
// texts are picked out of their sixteen by a shuffle from a table, chosen
// by the widths of the four. A round is eight lines, 160 values.
#define QAV_AVX2 __attribute__((target("avx2")))
constexpr std::uint32_t roundValues = vectorRoundValues;
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

}  // namespace

bool vectorLinesAvailable(unsigned bits) {
    __builtin_cpu_init();
    return bits >= 256 && __builtin_cpu_supports("avx2");
}

char* putVectorLines(char* p, const unsigned char* bytes, std::size_t count, std::size_t& done) {
    done = count / roundValues * roundValues;
    return putRounds(p, bytes, done / roundValues);
}
