#include "lines.h"

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Each way the processor has (and none) converts whole lines of its
// rounds, never more than it is given and all but less than a round, into
// the text the conversion value by value makes: a line break, then each
// value and a comma, line after line.
TEST(VectorLines, WholeRoundsAsTheValueByValueText) {
    std::mt19937 random(7);
    for (const unsigned bits : {512u, 256u, 0u}) {
        const VectorWay way = vectorWayFor(bits);
        for (const std::size_t count : {std::size_t{0}, vectorRoundValues - 1, vectorRoundValues,
                                        2 * vectorRoundValues + 19, 10 * vectorRoundValues}) {
            std::vector<unsigned char> bytes(count);
            for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(random());
            std::vector<char> room(count * 5 + count / valuesPerLine + 128);
            std::size_t done = 1;
            const char* const end = putVectorLines(way, room.data(), bytes.data(), count, done);
            EXPECT_LE(done, count) << bits << " " << count;
            // Whole lines, and all but less than a round where there are vectors.
            EXPECT_EQ(done % valuesPerLine, 0u) << bits << " " << count;
            if (way == 0) {
                EXPECT_EQ(done, 0u);
            } else {
                EXPECT_LT(count - done, vectorRoundValues) << bits << " " << count;
            }
            std::string expected;
            for (std::size_t i = 0; i < done; ++i) {
                if (i % valuesPerLine == 0) expected += '\n';
                expected += std::to_string(bytes[i]) + ",";
            }
            EXPECT_EQ(std::string(room.data(), static_cast<std::size_t>(end - room.data())), expected) << bits << " " << count;
        }
    }
}

}  // namespace
