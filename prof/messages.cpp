#include "messages.h"

#include "runtime.h"
#include "tool.h"

#include <cstdarg>
#include <cstdio>

void say(std::initializer_list<const char*> pieces) { TL_say(messagePrefix, pieces); }

void fail(std::initializer_list<const char*> pieces) { TL_fail(messagePrefix, pieces); }

void failWhy(int err, std::initializer_list<const char*> pieces) {
    say(pieces);
    TL_sayReason(err);
    TL_quit(1);
}

void keepForRun(void* block, void (*release)(void* block)) {
    TL_keepForRun(messagePrefix, block, release);
}

void* allocateZeroed(std::size_t count, std::size_t size) {
    return TL_allocateZeroed(messagePrefix, count, size);
}

char* allocatedText(std::size_t room, const char* format, ...) {
    char* const text = allocateArray<char>(room);
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, room, format, arguments);
    va_end(arguments);
    return text;
}
