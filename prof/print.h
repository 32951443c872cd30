// The printers, on standard output: each only decides how the rows of a
// table look, never what they are.
#pragma once

#include "table.h"

// The fixed-width text (text.cpp).
void printText(const Table& table);
// CSV, JSON and Markdown (export.cpp).
void printCsv(const Table& table);
void printJson(const Table& table);
void printMarkdown(const Table& table);
// The page (html.cpp).
void printHtml(const Table& table);
