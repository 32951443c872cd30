// Fuzzes the converter: its output must be that of converting one byte at
// a time, and an input over the limit must be refused; the string form
// must read back as the same bytes.
#include "convert.h"
#include "convert_test_support.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t options = data[0];
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    // The conversion's buffers, once for the whole run of the fuzzer.
    static Conversion* const c = new Conversion;
    if (options & 2) {
        ConvertResult result;
        const std::string text = test_support::literalThroughFiles(*c, bytes, &result);
        if (result != ConvertResult::done || test_support::decodedLiteral(text) != bytes)
            std::abort();
        return 0;
    }
    // Small blocks, so that inputs under the fuzzer's 16 KiB also take the
    // vector lines, of either width.
    c->blockBytes = options & 4 ? 3200 : convertBlockBytes;
    c->vectorBitsAllowed = options & 8 ? 256 : 512;
    std::uint32_t limit = maxConvertedBytes;
    if (options & 1) limit = static_cast<std::uint32_t>(bytes.size() / (1 + options % 7));

    ConvertResult result;
    const std::string text = test_support::convertedThroughFiles(*c, bytes, limit, &result);
    if (bytes.size() > limit) {
        if (result != ConvertResult::tooLarge) std::abort();
    } else if (result != ConvertResult::done ||
               text != "{\n" + test_support::convertedOneByOne(bytes) + "0};\n") {
        std::abort();
    }
    return 0;
}
