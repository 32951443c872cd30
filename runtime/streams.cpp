// The stream table and the operations that open, test, close and flush its
// streams, and the argument record.
#include "runtime.h"

#include <cstdlib>
#include <cstring>

FILE* TL_files[TL_slotCount];
const char* TL_filenames[TL_slotCount];
std::uint8_t TL_filemode[TL_slotCount];
std::int32_t TL_nextfile;
const char TL_emptyName[] = "";
std::int32_t TL_TLI_TLIARC;
char** TL_TLI_TLIARV;
std::int32_t TL_TLI_lookahead;

namespace {

// The highest stream TL_open hands out; stream 22 is never handed out.
constexpr std::int32_t lastOpenableStream = 21;

// The copies of the names that TL_open installs, one per slot. A slot's copy
// is reused when the slot is opened again, so opening never allocates and
// nothing is left behind when a name is replaced.
TL_string openedNames[TL_slotCount];

bool validStream(std::int32_t s) {
    return s >= TL_firstStream && s <= TL_lastStream;
}

// fopen mode and direction for an open mode of TL_open; null when the code
// names none.
struct Direction {
    const char* fopenMode;
    std::uint8_t fileMode;
};

Direction directionOfMode(std::uint16_t mode) {
    switch (mode) {
    case TL_modeTextIn: return {"r", 0};
    case TL_modeTextOut: return {"w", 1};
    case TL_modeBinaryIn: return {"rb", 0};
    case TL_modeBinaryOut: return {"wb", 1};
    }
    return {nullptr, 0};
}

// The kinds of TL_ensureOpen, 1 to 4, stand for the open modes 2 to 16.
Direction directionOfKind(std::int16_t kind) {
    if (kind < TL_kindTextIn || kind > TL_kindBinaryOut) return {nullptr, 0};
    return directionOfMode(static_cast<std::uint16_t>(1u << kind));
}
static_assert(TL_modeBinaryIn == 1u << TL_kindBinaryIn);

void copyCut(char* target, const char* source) {
    std::size_t length = std::strlen(source);
    if (length > static_cast<std::size_t>(TL_maxStringLength))
        length = TL_maxStringLength;
    std::memcpy(target, source, length);
    target[length] = '\0';
}

}  // namespace

FILE* TL_handle(std::int32_t s) {
    return validStream(s) ? TL_files[s + 2] : nullptr;
}

void TL_open(std::uint16_t mode, const char* name, std::int32_t& stream) {
    std::int32_t a = TL_nextfile;
    if (a < 1) a = 1;  // never hand out a standard stream
    while (a <= lastOpenableStream && TL_files[a + 2] != nullptr) ++a;
    if (a > lastOpenableStream) {
        stream = 0;
        return;
    }
    stream = a;
    const std::int32_t slot = a + 2;
    copyCut(openedNames[slot], name);
    TL_filenames[slot] = openedNames[slot];
    Direction direction = directionOfMode(mode);
    if (direction.fopenMode != nullptr) {
        TL_files[slot] = std::fopen(name, direction.fopenMode);
        TL_filemode[slot] = direction.fileMode;
    }
    if (TL_files[slot] == nullptr) stream = 0;
}

void TL_ensureOpen(std::int32_t s, std::int16_t kind) {
    if (validStream(s)) {
        const std::int32_t slot = s + 2;
        if (TL_files[slot] != nullptr) return;
        Direction direction = directionOfKind(kind);
        if (direction.fopenMode != nullptr) {
            TL_files[slot] = std::fopen(TL_filenames[slot], direction.fopenMode);
            TL_filemode[slot] = direction.fileMode;
        }
        if (TL_files[slot] != nullptr) return;
    }
    static constexpr char message[] = "ERROR: unable to open file\n";
    std::fwrite(message, 1, sizeof message - 1, stderr);
    std::exit(1);
}

void TL_close(std::int32_t s) {
    FILE* handle = TL_handle(s);
    if (handle == nullptr) return;
    // Cleared first: a signal during the close must not leave the stream
    // for the shut-down to close again.
    TL_files[s + 2] = nullptr;
    TL_filenames[s + 2] = TL_emptyName;
    std::fclose(handle);
}

bool TL_eof(std::int32_t s) {
    FILE* handle = TL_handle(s);
    if (handle == nullptr) return true;
    int c = getc(handle);
    TL_TLI_lookahead = c;
    if (c != EOF) ungetc(c, handle);
    return std::feof(handle) != 0;
}

void TL_flushAll() {
    for (std::int32_t slot = 1; slot < TL_slotCount; ++slot)
        if (TL_files[slot] != nullptr && TL_filemode[slot] == 1)
            std::fflush(TL_files[slot]);
}

void TL_fetchArg(std::int32_t n, char* target) {
    if (n < 0 || n > TL_TLI_TLIARC) {
        target[0] = '\0';
        return;
    }
    copyCut(target, TL_TLI_TLIARV[n]);
}
