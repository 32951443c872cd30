// Fuzzes the converter: its output must be that of converting one byte at
// a time, written synchronously or asynchronously, with or without a limit.
#include "convert.h"
#include "convert_test_support.h"

#include <cstdlib>
#include <string>

namespace {

std::string readAll(FILE* file) {
    std::string text;
    char buffer[65536];
    std::size_t got;
    std::rewind(file);
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t options = data[0];
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    std::uint32_t limit = maxConvertedBytes;
    if (options & 1) limit = static_cast<std::uint32_t>(bytes.size() / (1 + options % 7));

    FILE* in = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), in);
    std::rewind(in);
    std::string text;
    if (options & 2) {  // an output that cannot seek: written in order
        char* buffer = nullptr;
        std::size_t length = 0;
        FILE* out = open_memstream(&buffer, &length);
        if (convertBytes(in, out, limit) != ConvertResult::done) std::abort();
        std::fclose(out);
        text.assign(buffer, length);
        std::free(buffer);
    } else {
        FILE* out = std::tmpfile();
        if (convertBytes(in, out, limit) != ConvertResult::done) std::abort();
        text = readAll(out);
        std::fclose(out);
    }
    std::fclose(in);
    if (text != test_support::convertedOneByOne(bytes, limit)) std::abort();
    return 0;
}
