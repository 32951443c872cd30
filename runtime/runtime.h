// The run-time shared by qavprof and qavcvt: the stream table over stdio,
// the quit mechanism that unwinds to main, signal handling, and the
// string and number-text primitives on 256-byte strings.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <initializer_list>

// A run-time string: at most 255 characters and a terminating zero byte.
constexpr std::int32_t TL_stringSize = 256;
constexpr std::int32_t TL_maxStringLength = TL_stringSize - 1;
using TL_string = char[TL_stringSize];

// ---- Stream table --------------------------------------------------------
// Stream s lives in slot s + 2: -2 stdin, -1 stdout, 0 stderr, 1..22 files.
constexpr std::int32_t TL_slotCount = 25;
constexpr std::int32_t TL_firstStream = -2;
constexpr std::int32_t TL_lastStream = 22;
constexpr std::int32_t TL_firstFileSlot = 3;
// The standard streams that messages and reports go to.
constexpr std::int32_t TL_stdoutStream = -1, TL_stderrStream = 0;

extern FILE* TL_files[TL_slotCount];
extern const char* TL_filenames[TL_slotCount];
extern std::uint8_t TL_filemode[TL_slotCount];  // 0 input, 1 output
extern std::int32_t TL_nextfile;
extern const char TL_emptyName[];  // the one "" shared by unnamed slots

// Argument record: count without the program name, and the vector itself.
extern std::int32_t TL_TLI_TLIARC;
extern char** TL_TLI_TLIARV;

// Last character TL_eof peeked at (0..255), or -1 at end of file.
extern std::int32_t TL_TLI_lookahead;

// ---- Entry, quit and handler areas ----------------------------------------
struct HandlerArea {
    std::int32_t quitCode;
    jmp_buf env;
    HandlerArea* next;
};

extern HandlerArea defaultHandlerArea;
extern HandlerArea* TL_handlerArea;
extern std::int32_t TL_quitting;

constexpr std::int32_t TL_mallocCount = 25;
extern void* TL_mallocs[TL_mallocCount];
// What frees what each block holds, before the block itself is freed; null
// for a block that holds nothing of its own.
extern void (*TL_mallocReleases[TL_mallocCount])(void* block);
extern std::int32_t TL_nextmalloc;

void TL_initialize(int argc, char** argv);
void TL_finalize();
[[noreturn]] void TL_quit(std::int32_t code);
void TL_InitSignalHandlers();
void TL_RevertSignalHandlers();
void TL_SignalHandler(int sig);
// Each program says whether SIGTERM and SIGHUP also end its body through the
// handler ("Terminated", "Hangup"), as a body that writes files wants in
// order to clean up after a build tool's or a time-out's kill. Unless they
// were ignored at start-up; otherwise they keep their default action. A
// program that does not define it keeps the default actions.
extern const bool TL_catchesTermination;

// The program body; each program defines its own.
void TProg();

// ---- Stream operations ----------------------------------------------------
// Open modes of TL_open.
constexpr std::uint16_t TL_modeTextIn = 2, TL_modeTextOut = 4,
                        TL_modeBinaryIn = 8, TL_modeBinaryOut = 16;
// Kinds of TL_ensureOpen.
constexpr std::int16_t TL_kindTextIn = 1, TL_kindTextOut = 2,
                       TL_kindBinaryIn = 3, TL_kindBinaryOut = 4;

void TL_open(std::uint16_t mode, const char* name, std::int32_t& stream);
// Opens stream s under its recorded name unless it is open already; ends the
// process with "ERROR: unable to open file" when that fails.
void TL_ensureOpen(std::int32_t s, std::int16_t kind);
void TL_close(std::int32_t s);
bool TL_eof(std::int32_t s);

void TL_putText(std::int32_t s, const char* text, std::int32_t width);
void TL_putInt(std::int32_t s, std::int32_t value, std::int32_t width);
void TL_putNat(std::int32_t s, std::uint32_t value, std::int32_t width);
void TL_putReal(std::int32_t s, double value, std::int32_t width,
                std::int32_t fractionDigits);
void TL_putNewline(std::int32_t s);

// Reads one white-space-delimited word; a word longer than 255 characters
// keeps its first 255 and the rest of it is dropped.
void TL_getToken(std::int32_t s, char* target);
// Reads an unsigned decimal number with 32-bit strtoul semantics: above
// 4294967295 reads as 4294967295, a minus sign negates modulo 2^32.
void TL_getNat(std::int32_t s, std::uint32_t& target);
void TL_getLine(std::int32_t s, char* target);
void TL_skipWhitespace(std::int16_t s);
void TL_readBytes(std::int32_t s, void* target, std::int32_t size);
void TL_flushAll();
void TL_fetchArg(std::int32_t n, char* target);

// The C stream of s, or null when s is not an open stream.
FILE* TL_handle(std::int32_t s);

// One put statement of text pieces and a newline, written as one piece so
// that an interrupt can never cut the line or leave half of it buffered:
// the way both tools write their messages (stream 0) and report headers.
void TL_putLine(std::int32_t s, std::initializer_list<const char*> pieces);
// The same after a prefix, a tool's name for its messages.
void TL_putLine(std::int32_t s, const char* prefix, std::initializer_list<const char*> pieces);

// Fields formatted into memory, for lines built whole before they are
// written: each writes at p exactly what the put operation of the same
// kind would write, and returns the end. The caller leaves room for the
// width and for the longest text of the value (11 characters for a
// number, up to 350 for a real).
char* TL_formatText(char* p, const char* text, std::int32_t width);
char* TL_formatInt(char* p, std::int32_t value, std::int32_t width);
char* TL_formatNat(char* p, std::uint32_t value, std::int32_t width);
char* TL_formatReal(char* p, double value, std::int32_t width, std::int32_t fractionDigits);

// ---- String and number-text primitives -----------------------------------
// isspace and isdigit in the C locale, for the hand-made readers.
constexpr bool TL_isSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
constexpr bool TL_isDigit(int c) { return c >= '0' && c <= '9'; }
// The length of the valid UTF-8 sequence that starts at text (RFC 3629:
// no overlong forms, no surrogates, nothing past U+10FFFF), or 0 when none
// starts there.
std::size_t TL_utf8SequenceLength(const unsigned char* text);
void TL_substring(char* result, std::int32_t end, std::int32_t start,
                  const char* source);
void TL_substringToEnd(char* result, std::int32_t endOffset,
                       std::int32_t start, const char* source);
std::int32_t TL_index(const char* text, const char* pattern);
void TL_repeat(const char* source, std::int32_t count, char* result);
void TL_intToText(std::int32_t value, std::int32_t ignored, std::int32_t base,
                  char* result);
void TL_natToText(std::uint32_t value, std::int32_t ignored,
                  std::uint32_t base, char* result);
double TL_textToReal(const char* text);
std::int32_t TL_textToInt(const char* text);
