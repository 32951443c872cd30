// What the command line asks qavprof for, set once before anything is read.
#pragma once

#include <cstdint>

enum class OrderBy { time, space, calls, cycles, efficiency };
enum class Format { report, csv, json, html, markdown };

struct Options {
    OrderBy orderBy = OrderBy::time;
    bool parseProfile = false;
    bool perCallLayout = false;
    Format format = Format::report;
    std::int32_t topRows = 0;               // at most this many rows; 0 for all
    const char* profileName = nullptr;     // the file reported, as named
    const char* oldProfileName = nullptr;  // -diff OLD (the first), or null
    double failPercent = -1;               // -fail PCT, or negative
    bool quiet = false;                    // -q: no banner
    bool history = false;                  // -history: the arguments are points
    const char* outputName = nullptr;      // -o FILE, or null for standard output
};

// Whether the command line asks for a comparison: -diff names old runs.
constexpr bool isComparison(const Options& options) { return options.oldProfileName != nullptr; }
