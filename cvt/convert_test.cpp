#include "convert.h"
#include "convert_test_support.h"

#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <memory>

using test_support::convertedOneByOne;
using test_support::convertedThroughFiles;

namespace {

std::string randomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random());
    return bytes;
}

TEST(Convert, MatchesTheByteByByteConversionIntoARegularFile) {
    // Sizes around line breaks and around the block, over several blocks,
    // with each width of vectors that the processor has, and without.
    constexpr std::size_t block = convertBlockBytes;
    const std::size_t sizes[] = {0,         1,         19,        20,
                                 21,        39,        40,        45,
                                 block - 1, block,     block + 1, block + 19,
                                 block + 20, 2 * block + 19, 3 * block + 7, 3 * block + 179};
    const auto c = std::make_unique<Conversion>();
    for (unsigned bits : {512u, 256u, 0u}) {
        c->vectorBitsAllowed = bits;
        for (std::size_t size : sizes) {
            const std::string bytes = randomBytes(size, static_cast<std::uint32_t>(size));
            ConvertResult result = ConvertResult::readFailed;
            ASSERT_EQ(convertedThroughFiles(*c, bytes, maxConvertedBytes, &result),
                      "{\n" + convertedOneByOne(bytes) + "0};\n")
                << size << " with vectors of up to " << bits << " bits";
            EXPECT_EQ(result, ConvertResult::done);
        }
    }
}

TEST(Convert, StringFormReadsBackAsTheSameBytes) {
    // Every byte before every byte (escapes that a digit could extend,
    // "??" trigraphs), and random inputs around the block.
    std::string pairs;
    for (unsigned a = 0; a < 256; ++a)
        for (unsigned b = 0; b < 256; ++b) pairs += {static_cast<char>(a), static_cast<char>(b)};
    const std::string inputs[] = {"", "?", "?\?=", "\1" "7", pairs,
                                  randomBytes(convertBlockBytes - 1, 1),
                                  randomBytes(convertBlockBytes, 2),
                                  randomBytes(3 * convertBlockBytes + 5, 3)};
    const auto c = std::make_unique<Conversion>();
    for (const std::string& bytes : inputs) {
        ConvertResult result = ConvertResult::readFailed;
        const std::string text = test_support::literalThroughFiles(*c, bytes, &result);
        EXPECT_EQ(result, ConvertResult::done);
        ASSERT_EQ(test_support::decodedLiteral(text), bytes) << bytes.size() << " bytes";
        EXPECT_EQ(convertedLength(*c), bytes.size());
    }
    // The shortest escape that the next byte cannot extend.
    const struct {
        std::string bytes, text;
    } shortest[] = {
        {std::string("\0", 1), "\\0"},     {"\1" "8", "\\18"},  {"\1" "7", "\\0017"},
        {"\37" "9", "\\379"},            {"\37" "0", "\\0370"}, {"\n\t\x7f\xff", "\\n\\t\\177\\377"},
        {"\"\\", "\\\"\\\\"},          {"?\?", "?\\?"},      {"a?b?", "a?b?"},
    };
    for (const auto& one : shortest) {
        ConvertResult result;
        EXPECT_EQ(test_support::literalThroughFiles(*c, one.bytes, &result),
                  "\"" + one.text + "\";\n");
    }
}

TEST(Convert, ReadsAPipeThatGivesItsBytesInParts) {
    const std::string bytes = randomBytes(2 * convertBlockBytes + 5, 9);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    if (fork() == 0) {
        close(ends[0]);
        for (std::size_t at = 0; at < bytes.size(); at += 1000)
            if (write(ends[1], bytes.data() + at, std::min<std::size_t>(1000, bytes.size() - at)) < 0)
                _exit(1);
        _exit(0);
    }
    close(ends[1]);
    FILE* out = std::tmpfile();
    const auto c = std::make_unique<Conversion>();
    beginOutput(*c, fileno(out));
    EXPECT_EQ(convertBytes(*c, ends[0]), ConvertResult::done);
    EXPECT_EQ(endOutput(*c), ConvertResult::done);
    close(ends[0]);
    wait(nullptr);
    EXPECT_EQ(test_support::contents(out), convertedOneByOne(bytes));
    std::fclose(out);
}

TEST(Convert, GivesBackTheSpaceReservedPastTheEnd) {
    // Text of 3.6 times the input: several pieces, within the first 8 MiB
    // that are reserved (on ext4), most of them unused.
    FILE* in = std::tmpfile();
    const std::string bytes = randomBytes(900000, 3);
    ASSERT_EQ(write(fileno(in), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    lseek(fileno(in), 0, SEEK_SET);
    FILE* out = std::tmpfile();
    const auto c = std::make_unique<Conversion>();
    beginOutput(*c, fileno(out), OutputStart::newFile);
    EXPECT_EQ(convertBytes(*c, fileno(in)), ConvertResult::done);
    EXPECT_EQ(endOutput(*c), ConvertResult::done);
    struct stat file;
    ASSERT_EQ(fstat(fileno(out), &file), 0);
    EXPECT_EQ(test_support::contents(out), convertedOneByOne(bytes));
    EXPECT_LT(file.st_blocks * 512, file.st_size + (1 << 20));
    std::fclose(in);
    std::fclose(out);
}

TEST(Convert, AnInputOverTheLimitIsRefused) {
    const std::string bytes(70000, '\xff');
    const auto c = std::make_unique<Conversion>();
    for (std::uint32_t limit : {0u, 1u, 20u, 65536u, 69999u}) {
        ConvertResult result = ConvertResult::done;
        convertedThroughFiles(*c, bytes, limit, &result);
        EXPECT_EQ(result, ConvertResult::tooLarge) << limit;
    }
    ConvertResult result = ConvertResult::tooLarge;
    convertedThroughFiles(*c, bytes, 70000, &result);
    EXPECT_EQ(result, ConvertResult::done);
}

TEST(Convert, ReportsWriteAndReadErrors) {
    FILE* in = std::tmpfile();
    const std::string bytes(500000, 'x');
    std::fwrite(bytes.data(), 1, bytes.size(), in);
    std::fflush(in);
    lseek(fileno(in), 0, SEEK_SET);
    int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    const auto c = std::make_unique<Conversion>();
    beginOutput(*c, full);
    EXPECT_EQ(convertBytes(*c, fileno(in)), ConvertResult::writeFailed);
    close(full);
    std::fclose(in);

    int directory = open("/", O_RDONLY);
    FILE* out = std::tmpfile();
    beginOutput(*c, fileno(out));
    EXPECT_EQ(convertBytes(*c, directory), ConvertResult::readFailed);
    close(directory);
    std::fclose(out);
}

}  // namespace
