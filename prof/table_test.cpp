#include "table.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

// Headings come from the columns' names: capitals, blanks for "_", and
// "%" for the change in percent.
TEST(Table, HeadingsComeFromTheColumnsNames) {
    const struct {
        Column column;
        const char* heading;
    } cases[] = {
        {{"change_pct", Field::changePercent, nullptr, 10}, "CHANGE%"},
        {{"from_calls", Field::fromCalls, nullptr, 14}, "FROM CALLS"},
        {{"ci_low", Field::intervalLow, nullptr, 10}, "CI LOW"},
        {{"at", Field::at, nullptr, 0}, "AT"},
        {{"name", Field::name, nullptr, nameWidth}, "NAME"},
    };
    for (const auto& c : cases) {
        char room[valueRoom];
        EXPECT_STREQ(headingTextOf(c.column, room), c.heading);
    }
}

// A row's values as CSV and JSON take them and as the text and the page
// show them: a percentage gets its "%" where it has a value; a name, a
// status and a point are the row's own.
TEST(Table, ValuesAsTakenAndAsShown) {
    const Column columns[] = {{"name", Field::name, nullptr, nameWidth},
                              {"at", Field::at, nullptr, 0},
                              {"change", Field::change, nullptr, 14},
                              {"change_pct", Field::changePercent, nullptr, 10},
                              {"ci_low", Field::intervalLow, nullptr, 10},
                              {"status", Field::status, nullptr, 0}};
    const Layout layout{columns, columnCount(columns), 0};
    Table table{};
    table.layout = &layout;
    char text[rowTextRoom];
    TextPool pool{text, 0};
    Row row{};
    beginRow(pool, row, "rule", "new");
    row.at = "c05";
    for (std::int32_t i : {2, 3, 4}) {
        const char* const value = i == 2 ? "+12" : i == 3 ? "+4.5" : "";
        char* const p = valueRoomFor(pool);
        std::strcpy(p, value);
        endValue(pool, row, i, p + std::strlen(value));
    }
    const struct {
        std::int32_t column;
        const char* taken;
        const char* shown;
    } cases[] = {{0, "rule", "rule"}, {1, "c05", "c05"}, {2, "+12", "+12"},
                 {3, "+4.5", "+4.5%"}, {4, "", ""}, {5, "new", "new"}};
    for (const auto& c : cases) {
        char shown[valueRoom + 2];
        shownValue(table, row, c.column, shown);
        EXPECT_STREQ(valueOf(table, row, c.column), c.taken) << c.column;
        EXPECT_STREQ(shown, c.shown) << c.column;
    }
}

}  // namespace
