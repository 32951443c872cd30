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

// What convert writes for bytes read from a regular file into another, as
// the program does, between head and tail.
template <typename Convert>
std::string throughFiles(Conversion& c, const std::string& bytes, const char* head,
                         const char* tail, ConvertResult* result, Convert convert) {
    FILE* in = std::tmpfile();
    FILE* out = std::tmpfile();
    if (write(fileno(in), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        return "cannot write the input";
    lseek(fileno(in), 0, SEEK_SET);
    beginOutput(c, fileno(out), OutputStart::newFile);
    putOutput(c, head);
    *result = convert(fileno(in));
    putOutput(c, tail);
    if (*result == ConvertResult::done) *result = endOutput(c);
    std::string text = contents(out);
    std::fclose(in);
    std::fclose(out);
    return text;
}

// "{" and a newline, the data lines, and "0};" and a newline.
inline std::string convertedThroughFiles(Conversion& c, const std::string& bytes,
                                         std::uint32_t limit, ConvertResult* result) {
    return throughFiles(c, bytes, "{\n", "0};\n", result,
                        [&c, limit](int in) { return convertBytes(c, in, limit); });
}

// The bytes a C compiler reads from the lines of string literals that
// -string writes, from the first quote to the closing ";" and newline;
// "malformed" when the text is not that, holds a trigraph or a line of
// more than 80 columns.
inline std::string decodedLiteral(const std::string& text) {
    std::string bytes;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos || end - at > 80 || text[at] != '"') return "malformed";
        std::string line = text.substr(at + 1, end - at - 1);
        at = end + 1;
        const bool last = at == text.size();
        const std::string close = last ? "\";" : "\"";
        if (line.size() < close.size() || line.compare(line.size() - close.size(), close.size(), close) != 0)
            return "malformed";
        line.resize(line.size() - close.size());
        if (line.find("??") != std::string::npos) return "malformed";
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '"') return "malformed";
            if (line[i] != '\\') {
                bytes += line[i];
                continue;
            }
            if (++i == line.size()) return "malformed";
            const char c = line[i];
            const std::string named = "abtnvfr", simple = "\"\\?";
            if (named.find(c) != std::string::npos) {
                bytes += static_cast<char>(7 + named.find(c));
            } else if (simple.find(c) != std::string::npos) {
                bytes += c;
            } else if (c >= '0' && c <= '7') {
                // As the compiler: up to three octal digits, as many as there are.
                unsigned value = 0, digits = 0;
                for (; digits < 3 && i < line.size() && line[i] >= '0' && line[i] <= '7'; ++i, ++digits)
                    value = value * 8 + static_cast<unsigned>(line[i] - '0');
                --i;
                if (value > 255) return "malformed";
                bytes += static_cast<char>(value);
            } else {
                return "malformed";
            }
        }
    }
    return bytes;
}

// The string form of bytes, converted from a regular file.
inline std::string literalThroughFiles(Conversion& c, const std::string& bytes,
                                       ConvertResult* result) {
    return throughFiles(c, bytes, "", "", result,
                        [&c](int in) { return convertBytesAsString(c, in); });
}

}  // namespace test_support
