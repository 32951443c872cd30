#include "messages.h"

#include "runtime.h"

#include <cstdlib>

void say(std::initializer_list<const char*> pieces) {
    constexpr std::int32_t stderrStream = 0;
    TL_putLine(stderrStream, "QAVPROF: ", pieces);
}

void fail(std::initializer_list<const char*> pieces) {
    say(pieces);
    TL_quit(1);
}

void* allocateZeroed(std::size_t count, std::size_t size) {
    void* block = std::calloc(count == 0 ? 1 : count, size == 0 ? 1 : size);
    if (block == nullptr) fail({"Out of memory"});
    return block;
}
