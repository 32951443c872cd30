// Text as each format must have it: CSV fields, JSON strings and numbers,
// valid UTF-8 whatever bytes a name holds, and Markdown that renders as it
// reads; written on standard output.
#include "escapes.h"

#include "runtime.h"

#include <cstdio>
#include <cstring>

namespace {

FILE* out() { return TL_handle(-1); }

}  // namespace

void putRaw(const char* text) { fwrite_unlocked(text, 1, std::strlen(text), out()); }

const char* countText(char (&room)[16], std::int32_t count) {
    *TL_formatNat(room, static_cast<std::uint32_t>(count), 0) = '\0';
    return room;
}

void putCsvField(const char* text) {
    if (std::strpbrk(text, ",\"\r\n") == nullptr) {
        putRaw(text);
        return;
    }
    putc_unlocked('"', out());
    for (; *text != '\0'; ++text) {
        if (*text == '"') putc_unlocked('"', out());
        putc_unlocked(*text, out());
    }
    putc_unlocked('"', out());
}

const char* putNonAscii(const char* text) {
    const std::size_t length = TL_utf8SequenceLength(reinterpret_cast<const unsigned char*>(text));
    if (length == 0) {
        putRaw("\xEF\xBF\xBD");  // U+FFFD, the replacement character
        return text + 1;
    }
    fwrite_unlocked(text, 1, length, out());
    return text + length;
}

void putJsonString(const char* text) {
    putc_unlocked('"', out());
    while (*text != '\0') {
        const unsigned char c = static_cast<unsigned char>(*text);
        if (c >= 0x80) {
            text = putNonAscii(text);
            continue;
        }
        ++text;
        if (c == '"' || c == '\\') {
            putc_unlocked('\\', out());
            putc_unlocked(static_cast<char>(c), out());
        } else if (c < 0x20) {
            static const char hex[] = "0123456789abcdef";
            const char escape[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15], '\0'};
            putRaw(escape);
        } else {
            putc_unlocked(static_cast<char>(c), out());
        }
    }
    putc_unlocked('"', out());
}

// A number as JSON: the text itself (JSON numbers take no plus sign), or
// null when there is none.
void putJsonNumber(const char* text) {
    if (text[0] == '+') ++text;
    putRaw(text[0] == '\0' ? "null" : text);
}

namespace {

// Whether the text from start to at ends with word.
bool follows(const char* start, const char* at, const char* word) {
    const std::size_t length = std::strlen(word);
    return static_cast<std::size_t>(at - start) >= length && std::strncmp(at - length, word, length) == 0;
}

}  // namespace

void putMarkdownText(const char* text) {
    const char* const start = text;
    while (*text != '\0') {
        if (static_cast<unsigned char>(*text) >= 0x80) {
            text = putNonAscii(text);
            continue;
        }
        const char c = *text++;
        if (c == '<') {
            putRaw("&lt;");
        } else if (c == '&') {
            putRaw("&amp;");
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            // A line break would end the cell or start a heading: the
            // character as a reference, which renders as a blank.
            char reference[8];
            std::snprintf(reference, sizeof reference, "&#%d;", c);
            putRaw(reference);
        } else if (std::strchr("|`*_\\[]~", c) != nullptr ||
                   (c == ':' && (follows(start, text - 1, "http") || follows(start, text - 1, "https"))) ||
                   (c == '.' && follows(start, text - 1, "www"))) {
            // Emphasis, code, links, strike-through, and the start of an
            // address (http:, https:, www.) that would become a link.
            putc_unlocked('\\', out());
            putc_unlocked(c, out());
        } else {
            putc_unlocked(c, out());
        }
    }
}

// Text with the characters that mean something in HTML escaped.
void putHtmlText(const char* text) {
    char piece[2] = {'\0', '\0'};
    while (*text != '\0') {
        if (static_cast<unsigned char>(*text) >= 0x80) {
            text = putNonAscii(text);
            continue;
        }
        const char c = *text++;
        switch (c) {
        case '&': putRaw("&amp;"); break;
        case '<': putRaw("&lt;"); break;
        case '>': putRaw("&gt;"); break;
        case '"': putRaw("&quot;"); break;
        case '\'': putRaw("&#39;"); break;
        default: piece[0] = c; putRaw(piece);
        }
    }
}
