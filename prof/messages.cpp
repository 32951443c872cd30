#include "messages.h"

#include "tool.h"

void say(std::initializer_list<const char*> pieces) { TL_say(messagePrefix, pieces); }

void fail(std::initializer_list<const char*> pieces) { TL_fail(messagePrefix, pieces); }

void* allocateZeroed(std::size_t count, std::size_t size) {
    return TL_allocateZeroed(messagePrefix, count, size);
}
