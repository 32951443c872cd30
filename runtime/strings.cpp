// String and number-text primitives on the run-time's 256-byte strings.
// Positions are 1-based and ranges inclusive. Positions outside the source
// are clipped to it and results are cut at 255 characters, so no primitive
// reads or writes outside its buffers.
#include "runtime.h"

#include <climits>
#include <cstring>

namespace {

// Copies positions start..end of source (clipped) into result.
void copyRange(char* result, std::int64_t start, std::int64_t end,
               const char* source, std::int64_t sourceLength) {
    if (start < 1) start = 1;
    if (end > sourceLength) end = sourceLength;
    std::int64_t length = end - start + 1;
    if (length <= 0) {
        result[0] = '\0';
        return;
    }
    if (length > TL_maxStringLength) length = TL_maxStringLength;
    std::memmove(result, source + start - 1, static_cast<std::size_t>(length));
    result[length] = '\0';
}

char digitOf(std::uint32_t d) {
    return static_cast<char>(d < 10 ? '0' + d : 55 + d);
}

void finishNumberText(const char* first, const char* end, char* result) {
    std::size_t length = static_cast<std::size_t>(end - first);
    std::memcpy(result, first, length);
    result[length] = '\0';
}

bool validBase(std::int64_t base) { return base >= 2 && base <= 36; }

}  // namespace

void TL_substring(char* result, std::int32_t end, std::int32_t start,
                  const char* source) {
    copyRange(result, start, end, source,
              static_cast<std::int64_t>(std::strlen(source)));
}

void TL_substringToEnd(char* result, std::int32_t endOffset,
                       std::int32_t start, const char* source) {
    std::int64_t length = static_cast<std::int64_t>(std::strlen(source));
    copyRange(result, start, length + endOffset, source, length);
}

std::int32_t TL_index(const char* text, const char* pattern) {
    const char* found = std::strstr(text, pattern);
    return found == nullptr ? 0 : static_cast<std::int32_t>(found - text + 1);
}

void TL_repeat(const char* source, std::int32_t count, char* result) {
    TL_string copy;
    std::size_t pieceLength = std::strlen(source);
    if (pieceLength > static_cast<std::size_t>(TL_maxStringLength))
        pieceLength = TL_maxStringLength;
    std::memcpy(copy, source, pieceLength);
    std::size_t length = 0;
    for (std::int32_t i = 0; i < count && pieceLength > 0; ++i) {
        std::size_t piece = pieceLength;
        if (length + piece > static_cast<std::size_t>(TL_maxStringLength))
            piece = TL_maxStringLength - length;
        std::memcpy(result + length, copy, piece);
        length += piece;
        if (length == static_cast<std::size_t>(TL_maxStringLength)) break;
    }
    result[length] = '\0';
}

void TL_natToText(std::uint32_t value, std::int32_t /*ignored*/,
                  std::uint32_t base, char* result) {
    if (!validBase(base)) {
        result[0] = '\0';
        return;
    }
    TL_string buffer;
    char* end = buffer + sizeof buffer;
    char* p = end;
    do {
        *--p = digitOf(value % base);
        value /= base;
    } while (value != 0);
    finishNumberText(p, end, result);
}

void TL_intToText(std::int32_t value, std::int32_t ignored, std::int32_t base,
                  char* result) {
    if (value >= 0 || !validBase(base)) {
        TL_natToText(static_cast<std::uint32_t>(value < 0 ? 0 : value), ignored,
                     static_cast<std::uint32_t>(base < 0 ? 0 : base), result);
        return;
    }
    TL_string buffer;
    char* end = buffer + sizeof buffer;
    char* p = end;
    // Never negate the value itself, so INT32_MIN converts too.
    do {
        std::int32_t q = value / base;
        *--p = digitOf(static_cast<std::uint32_t>(-(value % base)));
        value = q;
    } while (value != 0);
    *--p = '-';
    finishNumberText(p, end, result);
}

double TL_textToReal(const char* text) {
    double value = 0;
    if (std::sscanf(text, "%le", &value) != 1) return 0;
    return value;
}

std::int32_t TL_textToInt(const char* text) {
    // Read wide and clamp, so every build gives what a 32-bit strtol gives.
    long long value = 0;
    if (std::sscanf(text, "%lli", &value) != 1) return 0;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

std::size_t TL_utf8SequenceLength(const unsigned char* text) {
    const unsigned char lead = text[0];
    if (lead < 0x80) return 1;
    // The range of the second byte after each lead, the others 80 to BF.
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;  // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (text[1] < low || text[1] > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (text[i] < 0x80 || text[i] > 0xBF) return 0;
    return length;
}
