// Formatted output and word, number, line and byte input on the streams of
// the stream table. The conversions behave exactly like the stdio formats
// they stand for ("%-*s", "%*li", "%*lu", "%*.*f", "%s", "%lu"); the common
// cases are done by hand because the report tool writes and reads tens of
// thousands of fields per run.
#include "runtime.h"

#include "extended.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t blankRunSize = 64;
constexpr char blankRun[blankRunSize + 1] =
    "                                                                ";

// Short pieces go through putc_unlocked, which the library inlines; a call
// to fwrite per field would cost more than the field itself.
constexpr std::size_t shortPiece = 32;

void putBlanks(FILE* handle, std::int64_t count) {
    if (count <= 0) return;
    if (count <= static_cast<std::int64_t>(shortPiece)) {
        for (std::int64_t i = 0; i < count; ++i) putc_unlocked(' ', handle);
        return;
    }
    while (count > 0) {
        std::size_t piece = count < static_cast<std::int64_t>(blankRunSize)
                                ? static_cast<std::size_t>(count)
                                : blankRunSize;
        fwrite_unlocked(blankRun, 1, piece, handle);
        count -= static_cast<std::int64_t>(piece);
    }
}

void putPiece(FILE* handle, const char* text, std::size_t length) {
    if (length > shortPiece) {
        fwrite_unlocked(text, 1, length, handle);
        return;
    }
    for (std::size_t i = 0; i < length; ++i) putc_unlocked(text[i], handle);
}

// The blanks that a field of width characters adds to length characters
// (negative when the text is longer), as printf's "*" width makes it: a
// negative width left-aligns, as does the '-' flag.
std::int64_t fieldPadding(std::int32_t width, std::size_t length, bool& leftAlign) {
    std::int64_t field = width;
    if (field < 0) {
        field = -field;
        leftAlign = true;
    }
    return field - static_cast<std::int64_t>(length);
}

// Writes text in a field of width characters.
void putField(FILE* handle, const char* text, std::size_t length,
              std::int32_t width, bool leftAlign) {
    const std::int64_t padding = fieldPadding(width, length, leftAlign);
    if (!leftAlign) putBlanks(handle, padding);
    putPiece(handle, text, length);
    if (leftAlign) putBlanks(handle, padding);
}

constexpr char digitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Decimal digits of value, written backwards from end, two at a time;
// returns the start. 32-bit values take 32-bit divisions, which a 32-bit
// build does inline.
[[gnu::always_inline]] inline char* decimal(std::uint32_t value, char* end) {
    char* p = end;
    for (; value >= 100; value /= 100) {
        p -= 2;
        std::memcpy(p, digitPairs + 2 * (value % 100), 2);
    }
    if (value >= 10) {
        p -= 2;
        std::memcpy(p, digitPairs + 2 * value, 2);
    } else {
        *--p = static_cast<char>('0' + value);
    }
    return p;
}

// Blanks over [p, end): eight bytes a store, the last store ending at end,
// so that no byte outside the field is touched and no call is made.
void fillBlanks(char* p, char* end) {
    if (end - p >= 8) {
        for (; end - p > 8; p += 8) std::memcpy(p, blankRun, 8);
        std::memcpy(end - 8, blankRun, 8);
        return;
    }
    const std::ptrdiff_t count = end - p;
    if (count & 4) std::memcpy(p, blankRun, 4), p += 4;
    if (count & 2) std::memcpy(p, blankRun, 2), p += 2;
    if (count & 1) *p = ' ';
}

constexpr std::uint32_t powersOfTen[] = {1,      10,      100,      1000,      10000,
                                         100000, 1000000, 10000000, 100000000, 1000000000};

inline char* decimal(std::uint64_t value, char* end) {
    char* p = end;
    while (value > 0xFFFFFFFFu) {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return decimal(static_cast<std::uint32_t>(value), p);
}

// Copies text into a field of width at p, as putField writes it.
char* placeField(char* p, const char* text, std::size_t length, std::int32_t width,
                 bool leftAlign) {
    const std::int64_t padding = std::max<std::int64_t>(fieldPadding(width, length, leftAlign), 0);
    if (!leftAlign) {
        fillBlanks(p, p + padding);
        p += padding;
    }
    std::memcpy(p, text, length);
    p += length;
    if (leftAlign) {
        fillBlanks(p, p + padding);
        p += padding;
    }
    return p;
}

// "%*.*f" for 0 to 3 fraction digits and magnitudes below 2^53: the value
// times 10^digits is an integer of at most 63 bits times a power of two,
// so rounding it to an integer (to nearest, ties to even, as printf
// rounds) takes integer shifts alone.
bool formatFixed(double value, std::int32_t digits, char* end, char** start) {
    static constexpr std::uint64_t scales[] = {1, 10, 100, 1000};
    if (digits < 0 || digits > 3) return false;
    if (!(value > -9007199254740992.0 && value < 9007199254740992.0))
        return false;  // too large, infinite or not a number
    const TL_Extended exact = TL_extendedOf(value);
    const bool negative = exact.negative;
    // The significand's low 11 bits are 0: 53 bits times at most 1000.
    const std::uint64_t scaled = (exact.significand >> 11) * scales[digits];
    std::int32_t exponent = exact.exponent + 11;
    std::uint64_t units;
    if (exponent >= 0) {
        units = scaled << exponent;
    } else if (exponent < -63) {
        units = 0;  // below a half
    } else {
        const int shift = -exponent;
        units = scaled >> shift;
        const std::uint64_t rest = scaled & ((std::uint64_t{1} << shift) - 1);
        const std::uint64_t half = std::uint64_t{1} << (shift - 1);
        if (rest > half || (rest == half && (units & 1) != 0)) ++units;
    }

    // One 64-bit division at most, which a 32-bit build makes by a call;
    // the fraction digits take 32-bit arithmetic.
    const std::uint64_t scale = scales[digits];
    const std::uint64_t whole = units <= 0xFFFFFFFFu
                                    ? static_cast<std::uint32_t>(units) / static_cast<std::uint32_t>(scale)
                                    : units / scale;
    char* p = end;
    if (digits > 0) {
        auto fraction = static_cast<std::uint32_t>(units - whole * scale);
        std::int32_t left = digits;
        for (; left >= 2; left -= 2, fraction /= 100) {
            p -= 2;
            std::memcpy(p, digitPairs + 2 * (fraction % 100), 2);
        }
        if (left == 1) *--p = static_cast<char>('0' + fraction);
        *--p = '.';
    }
    p = decimal(whole, p);
    if (negative) *--p = '-';
    *start = p;
    return true;
}

}  // namespace

void TL_putLine(std::int32_t s, std::initializer_list<const char*> pieces) {
    TL_putLine(s, "", pieces);
}

void TL_putLine(std::int32_t s, const char* prefix, std::initializer_list<const char*> pieces) {
    if (s >= 0) TL_ensureOpen(s, TL_kindTextOut);
    FILE* handle = TL_handle(s);
    if (handle == nullptr) return;
    // Lines longer than the buffer (long file names) go out in parts.
    char line[4096];
    std::size_t used = 0;
    const auto put = [&](const char* piece) {
        for (std::size_t length = std::strlen(piece); length > 0;) {
            if (used == sizeof line) {
                fwrite_unlocked(line, 1, used, handle);
                used = 0;
            }
            std::size_t part = length < sizeof line - used ? length : sizeof line - used;
            std::memcpy(line + used, piece, part);
            used += part;
            piece += part;
            length -= part;
        }
    };
    put(prefix);
    for (const char* piece : pieces) put(piece);
    if (used == sizeof line) {
        fwrite_unlocked(line, 1, used, handle);
        used = 0;
    }
    line[used++] = '\n';
    fwrite_unlocked(line, 1, used, handle);
}

char* TL_formatText(char* p, const char* text, std::int32_t width) {
    // Left-aligned whatever the sign of the width: the text, then blanks.
    char* const fieldEnd = p + (width < 0 ? -static_cast<std::int64_t>(width) : width);
    fillBlanks(p, fieldEnd);
    while (*text != '\0') *p++ = *text++;
    return p > fieldEnd ? p : fieldEnd;
}

char* TL_formatInt(char* p, std::int32_t value, std::int32_t width) {
    if (value >= 0) return TL_formatNat(p, static_cast<std::uint32_t>(value), width);
    char buffer[16];
    char* end = buffer + sizeof buffer;
    char* digits = decimal(0u - static_cast<std::uint32_t>(value), end);
    *--digits = '-';
    return placeField(p, digits, static_cast<std::size_t>(end - digits), width, false);
}

char* TL_formatNat(char* p, std::uint32_t value, std::int32_t width) {
    // The usual case, a field wide enough for the number: the digits go
    // straight to the end of the field, and blanks before them.
    if (width >= 10 || (width > 0 && value < powersOfTen[width])) {
        char* const end = p + width;
        fillBlanks(p, end);
        decimal(value, end);
        return end;
    }
    char buffer[16];
    char* end = buffer + sizeof buffer;
    char* digits = decimal(value, end);
    return placeField(p, digits, static_cast<std::size_t>(end - digits), width, false);
}

char* TL_formatReal(char* p, double value, std::int32_t width, std::int32_t fractionDigits) {
    char buffer[32];
    char* end = buffer + sizeof buffer;
    char* digits;
    if (formatFixed(value, fractionDigits, end, &digits))
        return placeField(p, digits, static_cast<std::size_t>(end - digits), width, false);
    // The rest through printf, the value alone, then its field: nothing
    // past the value's text (a sign, at most 309 digits, the point and the
    // fraction digits) and the width, whatever the width.
    char text[512];
    const int length = std::snprintf(text, sizeof text, "%.*f", fractionDigits, value);
    if (length < 0) return p;
    return placeField(p, text, std::min(static_cast<std::size_t>(length), sizeof text - 1), width,
                      false);
}

void TL_putText(std::int32_t s, const char* text, std::int32_t width) {
    FILE* handle = TL_handle(s);
    if (handle == nullptr) return;
    putField(handle, text, std::strlen(text), width, true);
}

void TL_putInt(std::int32_t s, std::int32_t value, std::int32_t width) {
    FILE* handle = TL_handle(s);
    if (handle == nullptr) return;
    char buffer[16];
    char* end = buffer + sizeof buffer;
    std::uint64_t magnitude =
        value < 0 ? 0u - static_cast<std::uint64_t>(static_cast<std::int64_t>(value))
                  : static_cast<std::uint64_t>(value);
    char* p = decimal(magnitude, end);
    if (value < 0) *--p = '-';
    putField(handle, p, static_cast<std::size_t>(end - p), width, false);
}

void TL_putNat(std::int32_t s, std::uint32_t value, std::int32_t width) {
    FILE* handle = TL_handle(s);
    if (handle == nullptr) return;
    char buffer[16];
    char* end = buffer + sizeof buffer;
    char* p = decimal(value, end);
    putField(handle, p, static_cast<std::size_t>(end - p), width, false);
}

void TL_putReal(std::int32_t s, double value, std::int32_t width,
                std::int32_t fractionDigits) {
    FILE* handle = TL_handle(s);
    if (handle == nullptr) return;
    char buffer[32];
    char* end = buffer + sizeof buffer;
    char* p;
    if (formatFixed(value, fractionDigits, end, &p))
        putField(handle, p, static_cast<std::size_t>(end - p), width, false);
    else
        std::fprintf(handle, "%*.*f", width, fractionDigits, value);
}

void TL_putNewline(std::int32_t s) {
    FILE* handle = TL_handle(s);
    if (handle == nullptr) return;
    putc_unlocked('\n', handle);
}

void TL_getToken(std::int32_t s, char* target) {
    FILE* handle = TL_handle(s);
    if (handle == nullptr) return;
    int c;
    do c = getc_unlocked(handle);
    while (TL_isSpace(c));
    if (c == EOF) return;
    std::int32_t length = 0;
    while (c != EOF && !TL_isSpace(c)) {
        if (length < TL_maxStringLength) target[length++] = static_cast<char>(c);
        c = getc_unlocked(handle);
    }
    if (c != EOF) ungetc(c, handle);
    target[length] = '\0';
}

void TL_getNat(std::int32_t s, std::uint32_t& target) {
    FILE* handle = TL_handle(s);
    if (handle == nullptr) return;
    int c;
    do c = getc_unlocked(handle);
    while (TL_isSpace(c));
    bool negative = false;
    if (c == '-' || c == '+') {
        negative = c == '-';
        c = getc_unlocked(handle);  // the sign is consumed even without digits
    }
    if (!TL_isDigit(c)) {
        if (c != EOF) ungetc(c, handle);
        return;
    }
    constexpr std::uint64_t limit = 0xFFFFFFFFu;
    std::uint64_t magnitude = 0;
    do {
        if (magnitude <= limit)
            magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
        c = getc_unlocked(handle);
    } while (TL_isDigit(c));
    if (c != EOF) ungetc(c, handle);
    if (magnitude > limit)
        target = static_cast<std::uint32_t>(limit);
    else
        target = negative ? 0u - static_cast<std::uint32_t>(magnitude)
                          : static_cast<std::uint32_t>(magnitude);
}

void TL_getLine(std::int32_t s, char* target) {
    FILE* handle = TL_handle(s);
    if (handle == nullptr) return;
    if (std::fgets(target, TL_stringSize, handle) == nullptr) {
        target[0] = '\0';
        return;
    }
    std::size_t length = std::strlen(target);
    if (length > 0 && target[length - 1] == '\n') target[length - 1] = '\0';
}

void TL_skipWhitespace(std::int16_t s) {
    FILE* handle = TL_handle(s);
    if (handle == nullptr) return;
    for (;;) {
        int c = getc_unlocked(handle);
        switch (c & 0xFF) {
        case ' ': case '\t': case '\n': case '\f':
            continue;
        case 0xFF:  // end of file, or a data byte 255, which is consumed
            return;
        default:
            ungetc(static_cast<unsigned char>(c), handle);
            return;
        }
    }
}

void TL_readBytes(std::int32_t s, void* target, std::int32_t size) {
    FILE* handle = TL_handle(s);
    if (handle == nullptr || size <= 0) return;
    fread_unlocked(target, 1, static_cast<std::size_t>(size), handle);
}
