// Where each rule changed across a history of commits: the points of the
// history in order, each the runs of one commit, and for each rule the
// points where its key changed and stayed changed (a step that later went
// back included), each with its size and 95% interval; where every rule
// moved together, a shift of everything, reported once; and the change
// points of the runs' total, which -fail judges.
//
// The method (the README says why, and what it assumes): each run's level,
// the median over the rules of how far the run stands from each rule's
// median, is taken out first, and the series of the points' levels is
// searched for shifts of everything; then each rule's series of point
// means, on logarithms, is searched by binary segmentation for the single
// step or the step and back that stands out most, again within each piece
// found, a step needing two points on either side (the newest point may
// start one alone), and steps that do not hold up between their final
// neighbours are dropped. A rule's variance comes from its series about
// its steps, raised toward that of the rules of its size where lower; a
// step is a Bonferroni test over every piece the search could have chosen,
// and the rules are taken together by Benjamini–Hochberg, so that on a
// history where nothing changed hardly any change is reported in all.
#pragma once

#include "significance.h"

#include <cstdint>

// The runs, as a history holds them: a row for each run, of the
// logarithm of each rule's key (logValue) and its calls, for the rules
// known when the run was added; a rule a run does not call, or that came
// later, is 0 there. A value takes twelve bytes, whatever the history's
// length.
struct HistorySeries {
    std::int32_t pointCount;
    const std::int32_t* firstRun;  // [t]: the point's first run; firstRun[pointCount] = runCount
    std::int32_t runCount;
    std::int32_t ruleCount;
    const std::int32_t* rowLength;       // [r]: the rules of run r's row
    const double* const* logs;           // [r][g]
    const std::uint32_t* const* calls;   // [r][g]
};

inline double logIn(const HistorySeries& h, std::int32_t g, std::int32_t r) {
    return g < h.rowLength[r] ? h.logs[r][g] : 0;
}
inline std::uint32_t callsIn(const HistorySeries& h, std::int32_t g, std::int32_t r) {
    return g < h.rowLength[r] ? h.calls[r][g] : 0;
}
// Where a change has arrived: the first point at its new level.
struct Step;
std::int32_t arrivedAt(const Step& step);

inline std::int32_t runsOf(const HistorySeries& h, std::int32_t t) {
    return h.firstRun[t + 1] - h.firstRun[t];
}

// How a change point came about.
enum class StepKind : std::uint8_t { step, appeared, vanished };

// A change point of a rule, of the total (rule -1) or of everything.
struct Step {
    std::int32_t rule;
    std::int32_t at;        // the first point after the change
    std::int32_t from, to;  // the points before it [from, at) and after it [at, to)
    StepKind kind;
    RuleChange test;        // its interval (a step of a steady series has none)
    double changePercent;   // of the logarithms' means, each run's level taken out
    // A gradual change: the point where it ends, the first at its new
    // level; at, where a step is.
    std::int32_t until = -1;
};

// A run unlike the other runs of its point (a warm-up run): its values as
// a whole stand out of the spread of the runs of every point about their
// point's. It is left out of the point's level and total where fewer than
// half of the point's runs are odd; its values, its level taken out, stay.
struct OddPointRun {
    std::int32_t run;
    double levelPercent;  // from the point's median run
    bool leftOut;
};

struct HistoryChanges {
    Step* steps;   // of the rules, in rule order, then point order (allocated)
    std::int32_t stepCount;
    Step* total;   // of the per-run totals (allocated)
    std::int32_t totalCount;
    Step* shifts;  // of everything (allocated)
    std::int32_t shiftCount;
    OddPointRun* odd;  // (allocated)
    std::int32_t oddCount;
};

// The least points a piece between two change points has, but the last
// piece of a history, which can be the newest point alone.
constexpr std::int32_t minPiece = 2;
// A history of fewer points than this is short: its total's noise is told
// by its runs within the points.
constexpr std::int32_t fewPoints = 5;

// Finds the change points of the history, into changes, whose arrays it
// allocates (or ends the run when memory runs out); totals gets the runs'
// totals' change points where withTotal.
void findHistoryChanges(const HistorySeries& h, bool withTotal, const double* runTotals,
                        HistoryChanges& changes);
void releaseHistoryChanges(HistoryChanges& changes);

inline std::int32_t arrivedAt(const Step& step) { return step.until > step.at ? step.until : step.at; }
inline bool isGradual(const Step& step) { return step.until > step.at; }
