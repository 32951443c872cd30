// -fail: whether the total grew by more than allowed, said as a sentence
// that never reads against itself, and the exit status 3 that a CI gate
// acts on.
#pragma once

#include "comparison.h"
#include "history_report.h"
#include "options.h"

// A growth above limit in percent, with one decimal or as many more as it
// takes to show it above the limit ("grew by 5.04%, more than 5%").
void shownAbove(double growth, double limit, char (&text)[64]);
// With runs, only a growth they show to be real counts.
void judgeGrowth(const Comparison& comparison, const Options& options);
// The growth of the total that the newest point of a history starts.
void judgeHistory(const HistoryReport& report, const Options& options);
