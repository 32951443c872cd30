// qav_embed(embedded program.CQav NAME program CONST) gives this program
// program_QAV, the byte code and a 0, program_CQAV and program_LEN, all
// declared in program_QAV.h; qav_embed(embedded hello.CQav ALIGN 64) gives
// hello_QAV and the rest, the array at a multiple of 64; v2/program.CQav
// is program_v2_QAV.
#include "hello_QAV.h"
#include "program_QAV.h"
#include "program_v2_QAV.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

bool holds(const char* path, const unsigned char* bytes, unsigned long length) {
    std::ifstream file(path, std::ios::binary);
    const std::string original((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    std::printf("%s: %lu bytes of QAV byte code compiled in\n", path, length);
    return original == std::string(bytes, bytes + length) && bytes[length] == 0;
}

}  // namespace

int main() {
    const bool aligned = reinterpret_cast<std::uintptr_t>(hello_QAV) % 64 == 0;
    return holds(PROGRAM_FILE, program_CQAV, program_LEN) &&
                   holds(PROGRAM_V2_FILE, program_v2_CQAV, program_v2_LEN) &&
                   holds(HELLO_FILE, hello_CQAV, hello_LEN) && aligned
               ? 0
               : 1;
}
