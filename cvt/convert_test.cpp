#include "convert.h"
#include "convert_test_support.h"

#include <cstdlib>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

using test_support::convertedOneByOne;

namespace {

std::string converted(const std::string& bytes, std::uint32_t limit,
                      ConvertResult* result = nullptr) {
    FILE* in = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), in);
    std::rewind(in);
    char* buffer = nullptr;
    std::size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    ConvertResult got = convertBytes(in, out, limit);
    if (result != nullptr) *result = got;
    std::fclose(out);
    std::fclose(in);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

TEST(Convert, MatchesTheByteByByteConversion) {
    std::mt19937 random(5);
    // Sizes around line breaks and around the read chunk.
    const std::size_t sizes[] = {0,     1,     19,    20,    21,    39,
                                 40,    45,    65535, 65536, 65537, 200003};
    for (std::size_t size : sizes) {
        std::string bytes(size, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random());
        ConvertResult result = ConvertResult::readFailed;
        ASSERT_EQ(converted(bytes, maxConvertedBytes, &result),
                  convertedOneByOne(bytes, maxConvertedBytes))
            << size;
        EXPECT_EQ(result, ConvertResult::done);
    }
}

TEST(Convert, StopsAtTheLimit) {
    std::string bytes(70000, '\xff');
    for (std::uint32_t limit : {0u, 1u, 20u, 65536u, 65537u, 69999u})
        ASSERT_EQ(converted(bytes, limit), convertedOneByOne(bytes, limit)) << limit;
}

TEST(Convert, WritesInOrderToAnOutputThatCannotSeek) {
    std::string bytes(300000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    FILE* in = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), in);
    std::rewind(in);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    FILE* out = fdopen(pipeEnds[1], "w");
    FILE* reader = fdopen(pipeEnds[0], "r");
    std::string text;
    if (fork() == 0) {
        std::fclose(reader);
        _exit(convertBytes(in, out) == ConvertResult::done && std::fclose(out) == 0 ? 0 : 1);
    }
    std::fclose(out);
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, reader)) > 0) text.append(buffer, got);
    std::fclose(reader);
    int status = 0;
    wait(&status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(text, convertedOneByOne(bytes, maxConvertedBytes));
    std::fclose(in);
}

TEST(Convert, ReportsWriteErrors) {
    FILE* in = std::tmpfile();
    std::string bytes(500000, 'x');
    std::fwrite(bytes.data(), 1, bytes.size(), in);
    std::rewind(in);
    FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(convertBytes(in, full), ConvertResult::writeFailed);
    std::fclose(full);
    std::fclose(in);
}

TEST(Convert, ReportsAReadErrorThatIsNotEndOfFile) {
    FILE* directory = std::fopen("/", "rb");
    ASSERT_NE(directory, nullptr);
    FILE* out = std::tmpfile();
    EXPECT_EQ(convertBytes(directory, out), ConvertResult::readFailed);
    EXPECT_EQ(std::ftell(out), 0);
    std::fclose(out);
    std::fclose(directory);
}

}  // namespace
