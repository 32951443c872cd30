// qavprof's messages: one line each on standard error, after the tool's
// prefix.
#pragma once

#include <cstddef>
#include <initializer_list>

// What qavprof's messages start with.
constexpr char messagePrefix[] = "QAVPROF: ";

// Writes the prefix and the pieces as one line (tool.h).
void say(std::initializer_list<const char*> pieces);
// The same, then the end of the run with status 1.
[[noreturn]] void fail(std::initializer_list<const char*> pieces);
// fail, with the system's reason for err on a line of its own (tool.h).
[[noreturn]] void failWhy(int err, std::initializer_list<const char*> pieces);
// Hands block to the run-time, which frees it (after release has freed
// what it holds) when the run ends, however it ends.
void keepForRun(void* block, void (*release)(void* block) = nullptr);
// Room for count objects of size bytes, zeroed; the run ends with "Out of
// memory" when there is none.
void* allocateZeroed(std::size_t count, std::size_t size);
template <typename T>
T* allocateArray(std::size_t count) {
    return static_cast<T*>(allocateZeroed(count, sizeof(T)));
}
// A text made as printf makes it, in allocated room of room bytes, cut
// there (a note on the runs, say).
char* allocatedText(std::size_t room, const char* format, ...) __attribute__((format(printf, 2, 3)));
