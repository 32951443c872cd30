// The change points of a history as rows: a row a change of a rule,
// largest first (the values before and after it per run, the change, its
// interval, and what of it more or fewer calls make), the total's change
// points after them, and the shifts of everything, as a table (table.h)
// that the printers print as they print any other.
#pragma once

#include "history_runs.h"
#include "table.h"

struct HistoryLines;

struct HistoryReport {
    const HistoryRuns* runs;
    const Options* options;
    HistoryChanges changes;
    Table table;        // the layout the rows are made for (printers read nothing else of it)
    Row* rows;          // the rules' changes, then the total's (allocated)
    std::int32_t ruleRows, totalRows;
    std::int32_t* rowStep;  // [k]: the change of each of the rules' rows (allocated)
    char* text;         // the rows' texts (allocated)
    char (*shiftText)[3][valueRoom];  // each shift's change and interval, as shown
    HistoryShift* shifts;  // the same as the printers take them (allocated)
    HistoryPoint* points;  // (allocated)
    char** notes;          // on odd runs and on a history too short to tell (allocated, each and all)
    HistoryLines* lines;   // the table the page shows, a row a rule (history_lines.h; allocated for -html)
};

// Finds the change points of the runs and makes their rows; the runs and
// the options must stay as long as the report.
void buildHistoryReport(const HistoryRuns& runs, const Options& options, HistoryReport& report);
void releaseHistoryReport(HistoryReport& report);



// Whether the newest point starts a change of the total; growth gets it
// in percent of the total before.
bool lastPointChangesTotal(const HistoryReport& report, double& growth);
