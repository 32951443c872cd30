// The unit tests and the fuzz targets link the tools' bodies without the
// entry, which owns the unwinding: a quit there (out of memory, say) ends
// the process with its code, as the program would.
#include "runtime.h"
#include "tool.h"

#include <cstdio>
#include <cstdlib>

// The areas a body arms itself (qavprof -o does) are all there is to
// unwind to.
HandlerArea* TL_handlerArea = nullptr;

void TL_quit(std::int32_t code) {
    std::fflush(nullptr);
    std::_Exit(code);
}

// Nor is there a table of what a run keeps: what a test hands over stays
// its own, to free or to leave until the process ends.
void TL_keepForRun(const char*, void*, void (*)(void*)) {}

const char** TL_argumentsRoom(const char*) {
    return static_cast<const char**>(std::calloc(static_cast<std::size_t>(TL_TLI_TLIARC) + 1, sizeof(const char*)));
}
