// Helpers for tests of the stream operations: a stream table laid out as at
// start-up, and streams over memory.
#pragma once

#include "runtime.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace test_support {

// A directory of its own for a test, removed with what it holds.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        char pattern[] = "/tmp/qav-test-XXXXXX";
        if (mkdtemp(pattern) != nullptr) path_ = pattern;
    }
    ~TemporaryDirectory() {
        std::string command = "rm -rf '" + path_ + "'";
        if (!path_.empty() && std::system(command.c_str()) != 0) std::perror("rm");
    }
    const std::string& path() const { return path_; }
    std::string path(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The stream table as start-up leaves it with no names on the command line.
inline void resetStreamTable() {
    for (std::int32_t slot = TL_firstFileSlot; slot < TL_slotCount; ++slot) {
        if (TL_files[slot] != nullptr) std::fclose(TL_files[slot]);
        TL_files[slot] = nullptr;
        TL_filenames[slot] = TL_emptyName;
        TL_filemode[slot] = 0;
    }
    TL_files[0] = stdin;
    TL_files[1] = stdout;
    TL_files[2] = stderr;
    TL_nextfile = 3;
}

// Stream 1 reads a copy of the given bytes (kept until the next call);
// returns the stream number.
inline std::int32_t streamOver(const std::string& text) {
    static std::string bytes;
    resetStreamTable();
    bytes = text;
    // fmemopen needs a buffer of at least one byte.
    TL_files[3] = bytes.empty()
                      ? std::tmpfile()
                      : fmemopen(bytes.data(), bytes.size(), "r");
    return 1;
}

// What the rest of a stream holds.
inline std::string rest(std::int32_t s) {
    std::string text;
    int c;
    while ((c = std::fgetc(TL_files[s + 2])) != EOF)
        text += static_cast<char>(c);
    return text;
}

// Runs put operations on stream 1 and returns what they wrote.
template <typename Puts>
std::string written(Puts puts) {
    resetStreamTable();
    char* buffer = nullptr;
    std::size_t size = 0;
    TL_files[3] = open_memstream(&buffer, &size);
    puts(1);
    std::fclose(TL_files[3]);
    TL_files[3] = nullptr;
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

}  // namespace test_support
