// Processors without vector lines: the conversion goes value by value.
#include "lines.h"

bool vectorLinesAvailable(unsigned) { return false; }

char* putVectorLines(char* p, const unsigned char*, std::size_t, std::size_t& done) {
    done = 0;
    return p;
}
