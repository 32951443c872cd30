#include "load.h"
#include "order.h"
#include "entries_test_support.h"

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace test_support;

namespace {

// An entry with the counters that the criteria look at.
ProfileEntry entry(const std::string& name, std::uint32_t calls, std::uint32_t cycles,
                   std::uint32_t backtracks, std::uint32_t time,
                   std::uint32_t treeNodes, std::uint32_t kidCells) {
    return makeEntry(name, calls, 0, cycles, backtracks, time, treeNodes, kidCells);
}

// The names of the entries once ordered.
std::string orderedNames(const std::vector<ProfileEntry>& loaded, const Options& options) {
    const std::unique_ptr<Profile> profile = profileOf(loaded);
    orderEntries(*profile, options);
    std::string joined;
    for (const std::string& name : namesInOrder(*profile)) joined += name;
    return joined;
}

std::uint64_t baseOf(const std::vector<ProfileEntry>& loaded, const Options& options) {
    const std::unique_ptr<Profile> profile = profileOf(loaded);
    orderEntries(*profile, options);
    return percentBaseOf(*profile, options);
}

const OrderBy allCriteria[] = {OrderBy::time, OrderBy::space, OrderBy::calls,
                               OrderBy::cycles, OrderBy::efficiency};

TEST(Order, MatchesTheExchangeSortOnRandomEntriesWithTies) {
    std::mt19937 random(17);
    for (int round = 0; round < 60; ++round) {
        // Few distinct values make many ties; large ones make sums wrap.
        const std::uint32_t spread = round % 3 == 0 ? 4 : 1000;
        const bool huge = round % 5 == 0;
        std::vector<ProfileEntry> loaded(1 + random() % (round < 58 ? 300 : 1200));
        for (std::size_t i = 0; i < loaded.size(); ++i) {
            auto value = [&] {
                std::uint32_t v = random() % spread;
                return huge ? v * 0x60000000u : v;
            };
            loaded[i] = entry(std::to_string(i), value(), value(), value(),
                              value(), value(), value());
        }
        for (bool parse : {false, true})
            for (OrderBy criterion : allCriteria) {
                Options options;
                options.orderBy = criterion;
                options.parseProfile = parse;
                std::vector<ProfileEntry> expected = loaded;
                exchangeSort(expected, options);
                const std::unique_ptr<Profile> profile = profileOf(loaded);
                orderEntries(*profile, options);
                const std::vector<std::string> names = namesInOrder(*profile);
                for (std::size_t i = 0; i < expected.size(); ++i)
                    ASSERT_EQ(names[i], expected[i].name)
                        << "round " << round << " criterion "
                        << static_cast<int>(criterion) << " parse " << parse;
            }
    }
}

TEST(Order, KeepsFileOrderForEqualKeysAndSetsThePercentBase) {
    const Options options;
    const std::vector<ProfileEntry> loaded = {
        entry("a", 1, 0, 0, 5, 0, 0), entry("b", 1, 0, 0, 9, 0, 0),
        entry("c", 1, 0, 0, 9, 0, 0), entry("d", 1, 0, 0, 2, 0, 0)};
    EXPECT_EQ(orderedNames(loaded, options), "bcad");
    EXPECT_EQ(baseOf(loaded, options), 9u);
}

TEST(Order, PercentBaseFollowsTheCriterion) {
    struct {
        OrderBy criterion;
        bool parse;
        std::uint64_t base;
    } const cases[] = {
        {OrderBy::time, true, 7},
        {OrderBy::space, false, std::uint64_t{0x80000003u} + 0x80000001u},  // past 32 bits
        {OrderBy::calls, true, 0},         {OrderBy::efficiency, true, 0},
        {OrderBy::efficiency, false, 0},   {OrderBy::cycles, true, 11},
        {OrderBy::cycles, false, 11 + 13},
    };
    for (const auto& c : cases) {
        Options options;
        options.orderBy = c.criterion;
        options.parseProfile = c.parse;
        EXPECT_EQ(baseOf({entry("only", 5, 11, 13, 7, 0x80000003u, 0x80000001u)}, options), c.base)
            << static_cast<int>(c.criterion) << c.parse;
    }
    EXPECT_EQ(baseOf({}, Options{}), 0u);
}

TEST(Order, EfficiencyPutsTheLeastEfficientFirstInAParseProfileOnly) {
    Options options;
    options.orderBy = OrderBy::efficiency;
    options.parseProfile = true;
    const std::vector<ProfileEntry> loaded = {
        entry("a", 1, 530, 0, 0, 240, 0),  // 45.28
        entry("b", 1, 0, 0, 0, 999, 0),    // no cycles: 0
        entry("c", 1, 10, 0, 0, 1, 0),     // 10
        entry("d", 0, 4, 0, 0, 0, 0),      // 0, never printed but ordered
    };
    EXPECT_EQ(orderedNames(loaded, options), "bdca");
    options.parseProfile = false;
    EXPECT_EQ(orderedNames(loaded, options), "abcd");
}

TEST(Order, EfficiencyIsFormedInExtendedPrecision) {
    // Each of these comes out otherwise when the quotient is rounded to
    // double precision before the product.
    EXPECT_EQ(efficiencyOf(entry("e", 1, 530, 0, 0, 240, 0)), 45.283018867924525);
    EXPECT_EQ(efficiencyOf(entry("e", 1, 3, 0, 0, 1, 0)), 33.333333333333336);
    EXPECT_EQ(efficiencyOf(entry("e", 1, 93, 0, 0, 1, 0)), 1.075268817204301);
    EXPECT_EQ(efficiencyOf(entry("e", 1, 0, 0, 0, 240, 0)), 0.0);
    EXPECT_EQ(efficiencyOf(entry("e", 1, 1, 0, 0, 4294967295u, 0)), 429496729500.0);
}

}  // namespace
