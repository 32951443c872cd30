// A history as one self-contained page: a row a rule, the rules that
// changed first (largest change first), each with its line over the
// points and its change points marked on it; ordered by any column at a
// click and filtered by name, with the shifts of everything and the
// total's change points above the table.
#include "escapes.h"
#include "history_report.h"
#include "messages.h"
#include "print.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char style[] =
    "<style>\n"
    "body{font:14px system-ui,sans-serif;margin:1em;color:#222}\n"
    "h1{font-size:1.3em;margin:0 0 .2em}\n"
    "p.about{margin:0 0 1em;color:#555}\n"
    "input{font:inherit;padding:.3em .5em;margin-bottom:.8em;width:20em}\n"
    "table{border-collapse:collapse;font-size:13px}\n"
    "th,td{padding:.25em .4em;border-bottom:1px solid #e4e4e4;white-space:nowrap}\n"
    "th{cursor:pointer;user-select:none;background:#f4f4f4;text-align:right;vertical-align:bottom}\n"
    "th.text,td.text{text-align:left}\n"
    "td.text{white-space:normal;overflow-wrap:anywhere;min-width:10em;max-width:18em}\n"
    "td{text-align:right;font-variant-numeric:tabular-nums}\n"
    "th[aria-sort=descending]::after{content:' \\25BC'}\n"
    "th[aria-sort=ascending]::after{content:' \\25B2'}\n"
    "svg{display:block}\n"
    "svg polyline{fill:none;stroke:#4a7bd0;stroke-width:1.2}\n"
    "svg line.change{stroke:#d0584a;stroke-width:1.5}\n"
    "tr.hidden{display:none}\n"
    "</style>\n";

// Orders the rows by a column at a click (numbers as numbers, names and
// points as text, ties in the order the page came with), the other way at
// a second click; the filter keeps the rows whose name holds the text.
constexpr char script[] =
    "<script>\n"
    "(function () {\n"
    "  var table = document.getElementById('rules');\n"
    "  var body = table.tBodies[0];\n"
    "  var heads = table.tHead.rows[0].cells;\n"
    "  var rows = Array.prototype.slice.call(body.rows);\n"
    "  rows.forEach(function (row, i) { row.index = i; });\n"
    "  function value(row, column) {\n"
    "    var v = row.cells[column].getAttribute('data-v');\n"
    "    if (heads[column].className === 'text') return v === null ? row.cells[column].textContent : v;\n"
    "    return v === null || v === '' ? -Infinity : parseFloat(v);\n"
    "  }\n"
    "  function orderBy(column) {\n"
    "    var head = heads[column];\n"
    "    var text = head.className === 'text';\n"
    "    var was = head.getAttribute('aria-sort');\n"
    "    var down = was ? was === 'ascending' : !text;\n"
    "    for (var i = 0; i < heads.length; ++i) heads[i].removeAttribute('aria-sort');\n"
    "    head.setAttribute('aria-sort', down ? 'descending' : 'ascending');\n"
    "    rows.sort(function (a, b) {\n"
    "      var x = value(a, column), y = value(b, column);\n"
    "      var c = x < y ? -1 : x > y ? 1 : 0;\n"
    "      return (down ? -c : c) || a.index - b.index;\n"
    "    });\n"
    "    rows.forEach(function (row) { body.appendChild(row); });\n"
    "  }\n"
    "  for (var i = 0; i < heads.length - 1; ++i)\n"
    "    heads[i].addEventListener('click', orderBy.bind(null, i));\n"
    "  document.getElementById('filter').addEventListener('input', function () {\n"
    "    var wanted = this.value;\n"
    "    rows.forEach(function (row) {\n"
    "      row.className = row.cells[0].textContent.indexOf(wanted) < 0 ? 'hidden' : '';\n"
    "    });\n"
    "  });\n"
    "})();\n"
    "</script>\n";

constexpr double lineWidth = 240, lineHeight = 24;

// What the page shows of a rule: its changes (the first of them in the
// report's rows is its largest) and its first change point.
struct RuleLine {
    std::int32_t rule;
    std::int32_t changes;
    const Row* largest;
    std::int32_t firstAt;  // the point; pointCount for none
};

// The rule's mean key per run at point t, or a negative number where no
// run of the point calls it.
double meanAt(const HistoryRuns& h, std::int32_t g, std::int32_t t) {
    if (!pointCalls(h, g, t)) return -1;
    double sum = 0;
    for (std::int32_t r = h.firstRun[t]; r < h.firstRun[t + 1]; ++r) sum += keyIn(h, g, r);
    return sum / (h.firstRun[t + 1] - h.firstRun[t]);
}

double xOf(const HistoryRuns& h, std::int32_t t) {
    return h.pointCount == 1 ? lineWidth / 2 : lineWidth * t / (h.pointCount - 1);
}

// The rule's line: a polyline a stretch of points that call it, scaled
// to the rule's own least and greatest, and a red mark at each change.
void putLine(const HistoryReport& r, const RuleLine& line, double* means) {
    const HistoryRuns& h = *r.runs;
    double least = -1, most = -1;
    for (std::int32_t t = 0; t < h.pointCount; ++t) {
        means[t] = meanAt(h, line.rule, t);
        if (means[t] < 0) continue;
        least = least < 0 ? means[t] : std::min(least, means[t]);
        most = std::max(most, means[t]);
    }
    char number[64];
    std::snprintf(number, sizeof number, "<svg width=\"%.0f\" height=\"%.0f\">", lineWidth, lineHeight);
    putRaw(number);
    bool open = false;
    for (std::int32_t t = 0; t < h.pointCount; ++t) {
        if (means[t] < 0) {
            if (open) putRaw("\"/>");
            open = false;
            continue;
        }
        const double share = most > least ? (means[t] - least) / (most - least) : 0.5;
        std::snprintf(number, sizeof number, "%s%.1f,%.1f", open ? " " : "<polyline points=\"",
                      xOf(h, t), lineHeight - 2 - share * (lineHeight - 4));
        putRaw(number);
        open = true;
    }
    if (open) putRaw("\"/>");
    const HistoryChanges& c = r.changes;
    for (std::int32_t k = 0; k < c.stepCount; ++k)
        if (c.steps[k].rule == line.rule) {
            std::snprintf(number, sizeof number, "<line class=\"change\" x1=\"%.1f\" x2=\"%.1f\" y1=\"0\" y2=\"%.0f\"/>",
                          xOf(h, c.steps[k].at), xOf(h, c.steps[k].at), lineHeight);
            putRaw(number);
        }
    putRaw("</svg>");
}

void putRuleRow(const HistoryReport& r, const RuleLine& line, double* means) {
    const HistoryRuns& h = *r.runs;
    char number[16];
    putRaw("<tr><td class=\"text\">");
    putHtmlText(h.ruleNames[line.rule]);
    putRaw("</td><td data-v=\"");
    putRaw(countText(number, line.changes));
    putRaw("\">");
    putRaw(number);
    putRaw("</td><td class=\"text\" data-v=\"");
    std::snprintf(number, sizeof number, "%08d", line.firstAt);
    putRaw(number);
    putRaw("\">");
    if (line.firstAt < h.pointCount) putHtmlText(h.pointNames[line.firstAt]);
    putRaw("</td><td data-v=\"");
    // The change in percent of the largest change, as the rows show it.
    const char* percent = "";
    if (line.largest != nullptr)
        for (std::int32_t i = 0; i < r.table.layout->columnCount; ++i)
            if (r.table.layout->columns[i].field == Field::changePercent) percent = valueOf(r.table, *line.largest, i);
    putRaw(percent[0] == '+' ? percent + 1 : percent);
    putRaw("\">");
    putHtmlText(percent);
    if (percent[0] != '\0') putRaw("%");
    putRaw("</td><td>");
    putLine(r, line, means);
    putRaw("</td></tr>\n");
}

// Each rule's line, the rules that changed first, in the order of their
// largest changes, then the others in the order they were first seen.
RuleLine* linesOf(const HistoryReport& r) {
    const HistoryRuns& h = *r.runs;
    RuleLine* const lines = allocateArray<RuleLine>(static_cast<std::size_t>(h.ruleCount) + 1);
    std::int32_t* const rank = allocateArray<std::int32_t>(static_cast<std::size_t>(h.ruleCount) + 1);
    for (std::int32_t g = 0; g < h.ruleCount; ++g) {
        lines[g] = RuleLine{g, 0, nullptr, h.pointCount};
        rank[g] = r.ruleRows + g;
    }
    for (std::int32_t k = 0; k < r.changes.stepCount; ++k) {
        RuleLine& line = lines[r.changes.steps[k].rule];
        ++line.changes;
        line.firstAt = std::min(line.firstAt, r.changes.steps[k].at);
    }
    for (std::int32_t k = r.ruleRows - 1; k >= 0; --k) {
        const std::int32_t g = r.changes.steps[r.rowStep[k]].rule;
        rank[g] = k;
        lines[g].largest = &r.rows[k];
    }
    // The ranks differ from rule to rule: a sort needs no stable order (nor
    // the C++ library's buffer for one).
    std::sort(lines, lines + h.ruleCount,
              [rank](const RuleLine& a, const RuleLine& b) { return rank[a.rule] < rank[b.rule]; });
    std::free(rank);
    return lines;
}

void putAbout(const HistoryReport& r) {
    const HistoryRuns& h = *r.runs;
    putRaw("<p class=\"about\">");
    putHistorySpan(r.table, putHtmlText, "<code>", "</code>");
    putRaw("; ");
    putHtmlText(r.table.criterion);
    putRaw(". A red mark is a change point.</p>\n");
    for (std::int32_t k = 0; k < r.changes.shiftCount; ++k) {
        putRaw("<p class=\"about shift\">");
        const char (*t)[valueRoom] = r.shiftText[k];
        const char* const pieces[] = {"Shift of every rule at ", h.pointNames[r.changes.shifts[k].at],
                                      ": ", t[0], "% (95% interval ", t[1], "% to ", t[2],
                                      "%); the rules' changes are measured beyond it."};
        for (const char* piece : pieces) putHtmlText(piece);
        putRaw("</p>\n");
    }
    for (std::int32_t k = 0; k < r.totalRows; ++k) {
        const Row& row = r.rows[r.ruleRows + k];
        putRaw("<p class=\"about total\">The total changed at ");
        putHtmlText(row.at);
        for (std::int32_t i = 0; i < r.table.layout->columnCount; ++i)
            if (r.table.layout->columns[i].field == Field::changePercent) {
                putRaw(": ");
                putHtmlText(valueOf(r.table, row, i));
                putRaw("%");
            }
        putRaw(".</p>\n");
    }
}

}  // namespace

void printHistoryPage(const HistoryReport& r) {
    const HistoryRuns& h = *r.runs;
    putRaw(pageHead);
    putRaw("<title>qavprof: history of ");
    putHtmlText(h.pointNames[0]);
    putRaw(" to ");
    putHtmlText(h.pointNames[h.pointCount - 1]);
    putRaw("</title>\n");
    putRaw(style);
    putRaw("</head>\n<body>\n<h1>QAV profile history</h1>\n");
    putAbout(r);
    putRaw("<input id=\"filter\" type=\"search\" placeholder=\"Filter by name\" aria-label=\"Filter by name\">\n"
           "<table id=\"rules\"><thead><tr><th class=\"text\">NAME</th><th>CHANGES</th>"
           "<th class=\"text\">FIRST AT</th><th>LARGEST CHANGE%</th><th class=\"text\">OVER THE POINTS</th>"
           "</tr></thead>\n<tbody>\n");
    RuleLine* const lines = linesOf(r);
    double* const means = allocateArray<double>(static_cast<std::size_t>(h.pointCount) + 1);
    for (std::int32_t k = 0; k < h.ruleCount; ++k) putRuleRow(r, lines[k], means);
    std::free(means);
    std::free(lines);
    putRaw("</tbody></table>\n");
    putRaw(script);
    putRaw("</body>\n</html>\n");
}
