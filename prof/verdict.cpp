#include "verdict.h"

#include "messages.h"
#include "order.h"
#include "print.h"
#include "runtime.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

void shownAbove(double growth, double limit, char (&text)[64]) {
    for (int decimals = 1; decimals <= 6; ++decimals) {
        std::snprintf(text, sizeof text, "%.*f", decimals, growth);
        if (std::strtod(text, nullptr) > limit) return;
    }
}

// The growth of the total that the newest point starts, as a sentence
// says it.
void judgeHistory(const HistoryReport& report, const Options& options) {
    double growth = 0;
    if (!lastPointChangesTotal(report, growth) || !(growth > options.failPercent)) return;
    char text[64], limit[64];
    shownAbove(growth, options.failPercent, text);
    std::snprintf(limit, sizeof limit, "%g", options.failPercent);
    const HistoryRuns& h = *report.runs;
    say({"The total ", criterionName(options.orderBy), " grew at ", h.pointNames[h.pointCount - 1],
         " by ", text, "%, more than ", limit, "%"});
    TL_quit(3);
}

// -fail: exit status 3 when the total grew by more than allowed, and the
// runs, where there are several, show the growth to be real.
// -fail: exit status 3 when the total grew by more than allowed, and the
// runs, where there are several, show the growth to be real.
void judgeGrowth(const Comparison& comparison, const Options& options) {
    std::uint64_t newTotal = 0;
    bool real = true;
    const double growth = totalGrowth(comparison, newTotal, real);
    if (!(growth > options.failPercent)) return;
    if (!real) {
        say({"The total ", criterionName(options.orderBy),
             " grew, but the runs do not show the growth to be real"});
        return;
    }
    // Growth from nothing has no percentage: it is said as it is.
    char text[160], shown[64];
    if (growth == HUGE_VAL) {
        std::snprintf(text, sizeof text, "from 0 to %llu", static_cast<unsigned long long>(newTotal));
    } else {
        shownAbove(growth, options.failPercent, shown);
        std::snprintf(text, sizeof text, "by %s%%, more than %g%%", shown, options.failPercent);
    }
    say({"The total ", criterionName(options.orderBy), " grew ", text});
    TL_quit(3);
}

