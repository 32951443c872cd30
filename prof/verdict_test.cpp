#include "verdict.h"

#include <gtest/gtest.h>

namespace {

// The growth shown always reads above the limit it is said to pass.
TEST(Verdict, AGrowthIsShownAboveItsLimit) {
    struct {
        double growth, limit;
        const char* shown;
    } const cases[] = {
        {7.31, 5, "7.3"}, {5.04, 5, "5.04"}, {5.0004, 5, "5.0004"}, {5.05, 5, "5.05"},
        {0.12, 0, "0.1"}, {10.0, 9.99, "10.0"},
    };
    for (const auto& c : cases) {
        char text[64];
        shownAbove(c.growth, c.limit, text);
        EXPECT_STREQ(text, c.shown) << c.growth << " over " << c.limit;
    }
}

}  // namespace
