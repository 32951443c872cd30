// The conversion done the plain way, for tests to compare with.
#pragma once

#include <cstdint>
#include <string>

namespace test_support {

// The data lines the plain way: one byte at a time, end of file tested
// before each byte, a line break before every 20th value.
inline std::string convertedOneByOne(const std::string& bytes, std::uint32_t limit) {
    std::string text;
    for (std::uint32_t i = 1; i <= limit && i <= bytes.size(); ++i) {
        if (i % 20 == 0) text += "\n";
        text += std::to_string(static_cast<unsigned char>(bytes[i - 1])) + ",";
    }
    return text;
}

}  // namespace test_support
