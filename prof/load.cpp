// Loading reads the profile in large blocks and parses it with a pointer.
// What it takes from the file is exactly what the stream operations would
// take: a header line as TL_getLine reads it, then per record TL_eof, one
// TL_getToken, seven TL_getNat and TL_skipWhitespace.
#include "profile.h"

#include <cstring>

namespace {

// Every name is at most 255 characters and its zero byte.
char namePools[2][maxEntries * TL_stringSize];

struct Reader {
    FILE* file;
    const unsigned char* at;
    const unsigned char* end;
    unsigned char block[profileBlockBytes];
};

Reader reader;

// The next byte without taking it, or EOF.
int peek() {
    if (reader.at == reader.end) {
        std::size_t got = fread_unlocked(reader.block, 1, sizeof reader.block, reader.file);
        if (got == 0) return EOF;
        reader.at = reader.block;
        reader.end = reader.block + got;
    }
    return *reader.at;
}

// Takes the byte peek returned.
void take() { ++reader.at; }

bool isSpace(int c) {  // isspace in the C locale
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool isDigit(int c) { return c >= '0' && c <= '9'; }

void skipSpaces() {
    while (isSpace(peek())) take();
}

// As TL_getLine: through the first newline, at most 255 bytes.
void skipHeaderLine() {
    for (std::int32_t n = 0; n < TL_maxStringLength; ++n) {
        int c = peek();
        if (c == EOF) return;
        take();
        if (c == '\n') return;
    }
}

// As TL_getToken: a word of non-blank bytes, cut to 255; nothing at end
// of file.
void readWord(char* target) {
    skipSpaces();
    std::int32_t length = 0;
    for (int c; (c = peek()) != EOF && !isSpace(c); take())
        if (length < TL_maxStringLength) target[length++] = static_cast<char>(c);
    target[length] = '\0';
}

// As TL_getNat: strtoul's reading of an unsigned 32-bit number; the target
// keeps its value when no digit comes.
void readNumber(std::uint32_t& target) {
    skipSpaces();
    int c = peek();
    bool negative = false;
    if (c == '-' || c == '+') {
        negative = c == '-';
        take();  // the sign is taken even without digits
        c = peek();
    }
    if (!isDigit(c)) return;
    constexpr std::uint64_t limit = 0xFFFFFFFFu;
    std::uint64_t magnitude = 0;
    for (; isDigit(c); take(), c = peek())
        if (magnitude <= limit) magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
    if (magnitude > limit)
        target = static_cast<std::uint32_t>(limit);
    else
        target = negative ? 0u - static_cast<std::uint32_t>(magnitude)
                          : static_cast<std::uint32_t>(magnitude);
}

// As TL_skipWhitespace: blank, tab, newline and form feed; a byte 255 ends
// the skip and is taken, as end of file would.
void skipRecordEnd() {
    for (;;) {
        int c = peek();
        if (c == ' ' || c == '\t' || c == '\n' || c == '\f') {
            take();
            continue;
        }
        if (c == 0xFF) take();
        return;
    }
}

}  // namespace

void rewriteName(char* name) {
    if (TL_index(name, "list__") != 1 &&
        !(parseProfile && TL_index(name, "repeat__") == 1))
        return;
    const std::int32_t separator = TL_index(name, "__");
    TL_string rewritten, rest;
    TL_substring(rewritten, separator - 1, 1, name);
    std::strcat(rewritten, " ");
    TL_substringToEnd(rest, 0, separator + 2, name);
    std::strcat(rewritten, rest);
    std::strcpy(name, rewritten);
}

void loadProfile(std::int32_t s, NamePool pool) {
    TL_ensureOpen(s, TL_kindTextIn);
    reader.file = TL_handle(s);
    reader.at = reader.end = reader.block;
    skipHeaderLine();

    char* names = namePools[pool == NamePool::old ? 1 : 0];
    entryCount = 0;
    moreRecords = false;
    for (std::int32_t p = 1; p <= maxEntries; ++p) {
        if (peek() == EOF) return;
        ProfileEntry& entry = entries[p];
        entry = ProfileEntry{};
        readWord(names);
        std::uint32_t* const counters[] = {&entry.calls,     &entry.matched,
                                           &entry.cycles,    &entry.backtracks,
                                           &entry.time,      &entry.treeNodes,
                                           &entry.kidCells};
        for (std::uint32_t* counter : counters) readNumber(*counter);
        rewriteName(names);
        entry.name = names;
        names += std::strlen(names) + 1;
        ++entryCount;
        skipRecordEnd();
    }
    moreRecords = peek() != EOF;
}
