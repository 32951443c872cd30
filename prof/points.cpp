#include "points.h"

#include "messages.h"
#include "runtime.h"

#include <cstdlib>
#include <cstring>
#include <sys/types.h>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Compares the runs of digits at a and b as numbers: by their length once
// leading zeros are skipped, then digit by digit. Moves both past them.
int compareNumbers(const char*& a, const char*& b) {
    while (*a == '0') ++a;
    while (*b == '0') ++b;
    const char* const startA = a;
    const char* const startB = b;
    while (isDigit(*a)) ++a;
    while (isDigit(*b)) ++b;
    const std::size_t lengthA = static_cast<std::size_t>(a - startA);
    const std::size_t lengthB = static_cast<std::size_t>(b - startB);
    if (lengthA != lengthB) return lengthA < lengthB ? -1 : 1;
    return std::memcmp(startA, startB, lengthA);
}

}  // namespace

bool naturalLess(const char* a, const char* b) {
    while (*a != '\0' && *b != '\0') {
        if (isDigit(*a) && isDigit(*b)) {
            const int order = compareNumbers(a, b);
            if (order != 0) return order < 0;
            continue;
        }
        if (*a != *b) return static_cast<unsigned char>(*a) < static_cast<unsigned char>(*b);
        ++a;
        ++b;
    }
    return *a == '\0' && *b != '\0';
}

std::int32_t firstOutOfOrder(const char* const* names, std::int32_t count) {
    for (std::int32_t k = 0; k + 1 < count; ++k)
        if (std::strcmp(names[k], names[k + 1]) > 0) return -1;
    for (std::int32_t k = 0; k + 1 < count; ++k)
        if (naturalLess(names[k + 1], names[k])) return k;
    return -1;
}

char* readPointNames(std::FILE* in, std::int32_t& count) {
    count = 0;
    std::size_t used = 0, room = 4096;
    char* text = allocateArray<char>(room);
    char* line = nullptr;
    std::size_t size = 0;
    ssize_t got;
    while ((got = getline(&line, &size, in)) >= 0) {
        std::size_t length = static_cast<std::size_t>(got);
        if (length > 0 && line[length - 1] == '\n') --length;
        if (length > 0 && line[length - 1] == '\r') --length;
        if (length == 0) continue;
        if (used + length + 1 > room) {
            room = 2 * (used + length + 1);
            char* const more = static_cast<char*>(std::realloc(text, room));
            if (more == nullptr) {
                std::free(line);
                std::free(text);
                fail({"Out of memory"});
            }
            text = more;
        }
        std::memcpy(text + used, line, length);
        text[used + length] = '\0';
        used += length + 1;
        ++count;
    }
    std::free(line);
    if (!std::ferror(in)) return text;
    std::free(text);
    return nullptr;
}
