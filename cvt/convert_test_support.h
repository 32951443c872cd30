// The conversion done the plain way, for tests to compare with, and the
// conversion of bytes through real files.
#pragma once

#include "convert.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace test_support {

// The data lines the plain way: one byte at a time, a line break before
// every 20th value.
inline std::string convertedOneByOne(const std::string& bytes) {
    std::string text;
    for (std::uint32_t i = 1; i <= bytes.size(); ++i) {
        if (i % 20 == 0) text += "\n";
        text += std::to_string(static_cast<unsigned char>(bytes[i - 1])) + ",";
    }
    return text;
}

inline std::string contents(FILE* file) {
    std::string text;
    char buffer[65536];
    ssize_t got;
    lseek(fileno(file), 0, SEEK_SET);
    while ((got = read(fileno(file), buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(got));
    return text;
}

// "{" and a newline, the data lines, and "0};" and a newline, converted from
// a regular file into one, as the program does.
inline std::string convertedThroughFiles(const std::string& bytes, std::uint32_t limit,
                                         ConvertResult* result) {
    FILE* in = std::tmpfile();
    FILE* out = std::tmpfile();
    if (write(fileno(in), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        return "cannot write the input";
    lseek(fileno(in), 0, SEEK_SET);
    beginOutput(fileno(out), true);
    putOutput("{\n");
    *result = convertBytes(fileno(in), limit);
    putOutput("0};\n");
    if (*result == ConvertResult::done) *result = endOutput();
    std::string text = contents(out);
    std::fclose(in);
    std::fclose(out);
    return text;
}

}  // namespace test_support
