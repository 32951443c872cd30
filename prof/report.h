// The report of one profile (or of runs merged): a row per entry with
// calls, in report order, at most topRows of them.
#pragma once

#include "merge.h"
#include "table.h"

struct Report {
    Table table;  // its source is the report itself: a Report stays where it is built
    const Profile* profile;
    const Options* options;
    std::uint64_t percentBase;
};

// Builds the report of the runs' sums, ordered, into report; the runs and
// the options must stay as long as the report.
void buildReport(const Runs& runs, const Options& options, Report& report);

// value / base * 100 in extended precision, truncated toward zero.
std::int32_t percentOf(std::uint64_t value, std::uint64_t base);
