// What both tools need of the run-time beside streams: their messages, one
// line on standard error after the tool's prefix ("qavcvt: ",
// "QAVPROF: "), and allocations that are checked and kept for the run.
#pragma once

#include <cstddef>
#include <initializer_list>

// Control characters in the pieces (in a name, say) are written escaped,
// as \n, \t, \r or \xHH.
void TL_say(const char* prefix, std::initializer_list<const char*> pieces);
// The same, then the end of the run with status 1.
[[noreturn]] void TL_fail(const char* prefix, std::initializer_list<const char*> pieces);
// After a message about a file, the system's reason on a line of its own,
// as "  (No such file or directory)"; nothing for 0. err is an errno value.
void TL_sayReason(int err);

// Room for count objects of size bytes, zeroed; the run ends with "Out of
// memory" after prefix when there is none.
void* TL_allocateZeroed(const char* prefix, std::size_t count, std::size_t size);
// Hands block (null: nothing) to the run-time's table of allocations,
// which the shut-down frees, after release has freed what the block holds
// (a null release: nothing), and which keeps it reachable when a signal
// ends the run; "Out of memory" when the table is full.
void TL_keepForRun(const char* prefix, void* block, void (*release)(void* block) = nullptr);
// Room for a pointer from each argument of the command line, and one
// more, kept for the run.
const char** TL_argumentsRoom(const char* prefix);
