// The unit tests and the fuzz targets link the tools' bodies without the
// entry, which owns the unwinding: a quit there (out of memory, say) ends
// the process with its code, as the program would.
#include "runtime.h"

#include <cstdio>
#include <cstdlib>

void TL_quit(std::int32_t code) {
    std::fflush(nullptr);
    std::_Exit(code);
}
