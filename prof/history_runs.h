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
    // Each run's row (history.h): the logarithms of the keys, and the
    // calls, of the rules known when it was added; the keys themselves
    // only where they are not whole numbers (efficiencies), which the
    // logarithms give back exactly.
    std::int32_t* rowLength;        // [r]
    double** logs;                  // [r][g] (allocated, each and all)
    std::uint32_t** calls;
    double** keys;                  // [r][g] under -eff, else null
    double* totals;                 // [r]: of the keys of the run
    // Building's own: the rules by name, and for a run being added, how
    // often it has named each rule of occurrence 0 so far (seen, where
    // stamp is the run's number + 1).
    std::int32_t* occurrence;       // [g]: of its name, from 0
    std::int32_t* stamp;
    std::int32_t* seen;
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
// Ends the history once every run is added.
void finishHistory(HistoryRuns& h);
HistorySeries seriesOf(const HistoryRuns& h);
// Rule g's key and calls in run r; 0 where the run does not call it.
double keyIn(const HistoryRuns& h, std::int32_t g, std::int32_t r);
double callsIn(const HistoryRuns& h, std::int32_t g, std::int32_t r);
// A whole key from its logarithm (logValue): exact below 2^50.
double keyOfLog(double log);
// Whether a run of point t calls rule g.
bool pointCalls(const HistoryRuns& h, std::int32_t g, std::int32_t t);
void releaseHistory(HistoryRuns& h);
