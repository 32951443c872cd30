// The runs of a history, rule by rule: each run's called records matched
// with the rules of the runs before it by name (the n-th record of a name
// with the n-th rule of that name), the rules any run calls kept in the
// order they were first seen.
#pragma once

#include "history.h"
#include "profile.h"

struct HistoryRuns {
    std::int32_t pointCount;
    const char* const* pointNames;  // as given
    std::int32_t* firstRun;         // [t], and [pointCount] = runCount
    std::int32_t runCount;
    const char** runNames;          // [r]: the file of each run
    std::int32_t ruleCount;
    char** ruleNames;               // [g] (allocated)
    double* keys;                   // [g * runCount + r]; 0 where not called
    double* calls;
    double* totals;                 // [r]: of the keys of the run
    // Building's own: each run's records as rule, key and calls, the
    // rules by name, and the point being added to.
    struct Record {
        std::int32_t rule;
        double key, calls;
    }* records;
    std::int64_t recordCount, recordRoom;
    std::int32_t* recordsOfRun;     // [r]: where its records start
    std::int32_t* occurrence;       // [g]: of its name, from 0
    std::int32_t* byName;           // open addressing: rule + 1, 0 for none
    std::uint32_t byNameRoom;
    std::int32_t ruleRoom, runRoom;
    // The files of the folder being read (allocated, each and all).
    char** listing;
    std::int32_t listingCount, listingRoom;
};

// Room for pointCount points, named as given.
void startHistory(HistoryRuns& h, const char* const* pointNames, std::int32_t pointCount);
// The runs of point t follow.
void startPoint(HistoryRuns& h, std::int32_t t);
// Adds a file's path to the listing of a folder.
void addListed(HistoryRuns& h, char* path);
// Empties the listing.
void clearListing(HistoryRuns& h);
// Adds the run loaded in run, from the file name (copied), to the current point.
void addHistoryRun(HistoryRuns& h, const Profile& run, const char* name, const Options& options);
// Lays the keys out rule by rule, once every run is added.
void finishHistory(HistoryRuns& h);
HistorySeries seriesOf(const HistoryRuns& h);
// Where rule g's key and calls in run r stand in keys and calls.
std::size_t cellOf(const HistoryRuns& h, std::int32_t g, std::int32_t r);
// Whether a run of point t calls rule g.
bool pointCalls(const HistoryRuns& h, std::int32_t g, std::int32_t t);
void releaseHistory(HistoryRuns& h);
