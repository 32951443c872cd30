// A history as its page shows it: a row a rule, each with the largest of
// its changes (its point, values before and after, change and interval)
// and how many it has, and with its line over the points; the total's row
// first, the rules that changed next, largest change first, the others
// folded away. The page printer draws it as it draws any table.
#pragma once

#include "history_report.h"
#include "table.h"

struct RuleView;

struct HistoryLines {
    Table table;
    Chart chart;
    RuleView* views;          // the rules in the order of the rows (allocated)
    ChartMark* marks;         // (allocated)
    std::int32_t* firstMark;  // (allocated)
    std::int32_t* shiftAt;    // the points of the shifts of everything (allocated)
    char totalText[rowTextRoom];
};

// Makes the lines of report, which must stay as long as they do.
void buildHistoryLines(const HistoryReport& report, HistoryLines& lines);
void releaseHistoryLines(HistoryLines& lines);
