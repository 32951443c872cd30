// The report of one profile (or of runs merged): a row per entry with
// calls, in report order, at most topRows of them.
#pragma once

#include "merge.h"
#include "table.h"

struct Report {
    Table table;  // what the printers see, but where its rows come from (tableOf)
    const Profile* profile;
    const Options* options;
    std::uint64_t percentBase;
};

// Builds the report of the runs' sums, ordered, into report; the runs and
// the options must stay as long as the report.
void buildReport(const Runs& runs, const Options& options, Report& report);

// The report's table for the printers, its rows made from the report
// where it stands.
Table tableOf(const Report& report);

// value / base * 100 in extended precision, truncated toward zero.
std::int32_t percentOf(std::uint64_t value, std::uint64_t base);
