#include "points.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(Points, NaturalOrderReadsRunsOfDigitsAsNumbers) {
    struct {
        const char* a;
        const char* b;
        bool less;
    } const cases[] = {
        {"c2", "c10", true},     {"c10", "c2", false},   {"c1", "c1", false},
        {"c01", "c2", true},     {"c002", "c2", false},  {"c2", "c002", false},
        {"run9/b", "run10/a", true}, {"a", "b", true},   {"b", "a", false},
        {"c", "c1", true},       {"c1", "c", false},     {"", "a", true},
        {"v1.9", "v1.10", true}, {"99999999999999999999", "100000000000000000000", true},
    };
    for (const auto& c : cases) EXPECT_EQ(naturalLess(c.a, c.b), c.less) << c.a << " " << c.b;
}

TEST(Points, OrderOfBytesAgainstNumbersIsFound) {
    struct {
        std::vector<const char*> names;
        std::int32_t first;
    } const cases[] = {
        {{"c1", "c10", "c11", "c2", "c3"}, 2},  // as a shell pattern sorts them
        {{"c1", "c2", "c3", "c10"}, -1},        // already in the order of history
        {{"c01", "c02", "c10"}, -1},            // numbers of one width sort alike
        {{"3fa2", "a91b", "0c4d"}, -1},         // hashes in the order of history
        {{"c10", "c2"}, 0},
        {{"c10", "c9", "c1"}, -1},              // not byte order: given as it stands
        {{"only"}, -1},
        {{}, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(firstOutOfOrder(c.names.data(), static_cast<std::int32_t>(c.names.size())), c.first)
            << c.names.size();
}

TEST(Points, NamesAreReadOneALine) {
    const std::string text = "c1\nc 2\r\n\n\n" + std::string(5000, 'n') + "\nlast without a line end";
    std::FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    ASSERT_NE(in, nullptr);
    std::int32_t count = 0;
    char* const names = readPointNames(in, count);
    std::fclose(in);
    ASSERT_NE(names, nullptr);
    ASSERT_EQ(count, 4);
    std::vector<std::string> read;
    for (const char* name = names; read.size() < 4; name += std::strlen(name) + 1) read.push_back(name);
    EXPECT_EQ(read[0], "c1");
    EXPECT_EQ(read[1], "c 2");
    EXPECT_EQ(read[2], std::string(5000, 'n'));
    EXPECT_EQ(read[3], "last without a line end");
    std::free(names);
}

}  // namespace
