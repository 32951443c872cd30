#include "tool.h"

#include "runtime.h"

#include <cstdlib>

void TL_say(const char* prefix, std::initializer_list<const char*> pieces) {
    constexpr std::int32_t stderrStream = 0;
    TL_putLine(stderrStream, prefix, pieces);
}

void TL_fail(const char* prefix, std::initializer_list<const char*> pieces) {
    TL_say(prefix, pieces);
    TL_quit(1);
}

void* TL_allocateZeroed(const char* prefix, std::size_t count, std::size_t size) {
    void* block = std::calloc(count == 0 ? 1 : count, size == 0 ? 1 : size);
    if (block == nullptr) TL_fail(prefix, {"Out of memory"});
    return block;
}
