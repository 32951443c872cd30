#include "tool.h"

#include "runtime.h"

#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The pieces as one text, each control character written as \n, \t, \r
// or \xHH (a name holding a line break must not split the message, nor a
// terminal's control codes reach it); null where there is no memory.
char* escaped(std::initializer_list<const char*> pieces) {
    std::size_t length = 1;
    for (const char* piece : pieces) length += 4 * std::strlen(piece);
    char* const text = static_cast<char*>(std::malloc(length));
    if (text == nullptr) return nullptr;
    char* p = text;
    for (const char* piece : pieces)
        for (const char* c = piece; *c != '\0'; ++c) {
            const auto byte = static_cast<unsigned char>(*c);
            if (byte >= 0x20 && byte != 0x7F) {
                *p++ = *c;
            } else if (byte == '\n' || byte == '\t' || byte == '\r') {
                *p++ = '\\';
                *p++ = byte == '\n' ? 'n' : byte == '\t' ? 't' : 'r';
            } else {
                p += std::snprintf(p, 5, "\\x%02X", byte);
            }
        }
    *p = '\0';
    return text;
}

}  // namespace

void TL_say(const char* prefix, std::initializer_list<const char*> pieces) {
    char* const text = escaped(pieces);
    if (text == nullptr) {
        TL_putLine(TL_stderrStream, prefix, pieces);
        return;
    }
    TL_putLine(TL_stderrStream, prefix, {text});
    std::free(text);
}

void TL_fail(const char* prefix, std::initializer_list<const char*> pieces) {
    TL_say(prefix, pieces);
    TL_quit(1);
}

void TL_sayReason(int err) {
    if (err == 0) return;
    TL_putLine(TL_stderrStream, {"  (", std::strerror(err), ")"});
}

void* TL_allocateZeroed(const char* prefix, std::size_t count, std::size_t size) {
    // A count whose bytes do not fit a size_t is no memory there is,
    // whatever calloc would make of it.
    if (size != 0 && count > SIZE_MAX / size) TL_fail(prefix, {"Out of memory"});
    void* block = std::calloc(count == 0 ? 1 : count, size == 0 ? 1 : size);
    if (block == nullptr) TL_fail(prefix, {"Out of memory"});
    return block;
}
