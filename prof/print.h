// The printers, on standard output: each only decides how the rows of a
// table look, never what they are.
#pragma once

#include "table.h"

// What "~" and the intervals mean, where a comparison of runs shows them.
constexpr char noiseLegend[] =
    "the runs do not show the change to be real: each rule is tested on the logarithms of its "
    "values in each run, each run's level taken out, for a change beyond the shift of every "
    "rule, its variance moderated toward that of the rules of its size (none for a rule that "
    "does not fit them), and the changes marked real keep the false discovery rate at 5% "
    "(Benjamini-Hochberg); the total is tested alone";
constexpr char intervalLegend[] =
    "the 95% confidence interval of the change, in percent of the old value";

// The fixed-width text (text.cpp).
void printText(const Table& table);
// CSV, JSON and Markdown (export.cpp).
void printCsv(const Table& table);
void printJson(const Table& table);
void printMarkdown(const Table& table);
// The page (html.cpp).
void printHtml(const Table& table);
