// A history as one self-contained page. The total's line stands above the
// rules; the rules that changed come first, largest change first, each
// row with that change's point, values before and after, change and
// interval; the rules that did not change are folded away behind one
// control, and the filter finds them too. Every line is drawn on one
// scale, the logarithm of the value against the rule's first one, so that
// a wobble of 3% and a step of 100% look what they are; a point's value
// shows when the pointer rests on it, change points are red marks with
// their change, and the shifts of everything grey lines across every rule.
// The lines are drawn by the page's script from the values of each row,
// a row when it is first shown, so that thousands of rules load at once.
#include "escapes.h"
#include "history_report.h"
#include "maths.h"
#include "messages.h"
#include "print.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char style[] =
    "td.chart{padding:0 .4em}\n"
    "svg{display:block;overflow:visible}\n"
    "svg polyline{fill:none;stroke:#4a7bd0;stroke-width:1.2}\n"
    "svg circle{fill:#4a7bd0}\n"
    "svg line.zero{stroke:#bbb;stroke-dasharray:2 2}\n"
    "svg line.change{stroke:#d0584a;stroke-width:2}\n"
    "svg rect.change{fill:#d0584a;fill-opacity:.18;stroke:#d0584a;stroke-width:1}\n"
    "svg line.shift{stroke:#999;stroke-width:1}\n"
    "svg text{font-size:10px;fill:#555}\n"
    "tbody#total td{background:#f8f8f8;font-weight:600}\n"
    "tbody.folded tr.rule{display:none}\n"
    "button{font:inherit;padding:.2em .6em;margin:.4em 0}\n"
    "</style>\n";

// The page's script: draws each row's line from its values when the row is
// first shown, the points' names on the axis above; orders the rules by a
// column at a click (the other way at a second), the changed and the
// unchanged apart; filters them by name; folds the unchanged rules away.
constexpr char script[] =
    "<script>\n"
    "(function () {\n"
    "  var table = document.getElementById('rules');\n"
    "  var points = Array.prototype.map.call(document.querySelectorAll('#points li'), function (li) {\n"
    "    return li.textContent; });\n"
    "  var shifts = (table.getAttribute('data-shifts') || '').split(' ').filter(Boolean).map(Number);\n"
    "  var scale = parseFloat(table.getAttribute('data-scale'));\n"
    "  var W = 320, H = 30, NS = 'http://www.w3.org/2000/svg';\n"
    "  function x(t) { return points.length < 2 ? W / 2 : W * t / (points.length - 1); }\n"
    "  function y(v) { return H / 2 - Math.max(-1, Math.min(1, v / scale)) * (H / 2 - 3); }\n"
    "  function make(name, attributes, title) {\n"
    "    var e = document.createElementNS(NS, name);\n"
    "    for (var a in attributes) e.setAttribute(a, attributes[a]);\n"
    "    if (title) { var t = document.createElementNS(NS, 'title'); t.textContent = title; e.appendChild(t); }\n"
    "    return e;\n"
    "  }\n"
    "  function percent(v) { var p = (Math.exp(v) - 1) * 100; return (p < 0 ? '' : '+') + p.toFixed(1) + '%'; }\n"
    "  function draw(row) {\n"
    "    if (row.drawn) return;\n"
    "    row.drawn = true;\n"
    "    var values = row.getAttribute('data-values').split(' ').map(function (v) { return v === '-' ? null : parseFloat(v); });\n"
    "    var first = -1;\n"
    "    for (var t = 0; t < values.length; ++t) if (values[t] !== null && first < 0) first = t;\n"
    "    var svg = make('svg', {width: W, height: H});\n"
    "    svg.appendChild(make('line', {'class': 'zero', x1: 0, x2: W, y1: H / 2, y2: H / 2}));\n"
    "    shifts.forEach(function (t) { svg.appendChild(make('line', {'class': 'shift', x1: x(t), x2: x(t), y1: 0, y2: H},\n"
    "      'shift of every rule at ' + points[t])); });\n"
    "    var line = [];\n"
    "    function end() { if (line.length) svg.appendChild(make('polyline', {points: line.join(' ')})); line = []; }\n"
    "    var base = first < 0 ? 1 : values[first] + 1;\n"
    "    for (var t = 0; t < values.length; ++t) {\n"
    "      if (values[t] === null) { end(); continue; }\n"
    "      var v = Math.log((values[t] + 1) / base);\n"
    "      line.push(x(t).toFixed(1) + ',' + y(v).toFixed(1));\n"
    "    }\n"
    "    end();\n"
    "    (row.getAttribute('data-steps') || '').split(' ').filter(Boolean).forEach(function (step) {\n"
    "      var f = step.split(':'), ends = f[0].split('-'), t = parseInt(ends[0], 10);\n"
    "      var u = ends.length > 1 ? parseInt(ends[1], 10) : t;\n"
    "      var what = (f[1] ? ': ' + f[1] + '%' + (f[2] ? ' (95% interval ' + f[2] + '% to ' + f[3] + '%)' : '') : '');\n"
    "      if (u > t) svg.appendChild(make('rect', {'class': 'change', x: x(t - 1), width: x(u) - x(t - 1), y: 0, height: H},\n"
    "        'gradual change at ' + points[t] + '..' + points[u] + what));\n"
    "      else svg.appendChild(make('line', {'class': 'change', x1: x(t), x2: x(t), y1: 0, y2: H}, 'change at ' + points[t] + what));\n"
    "    });\n"
    "    for (var t = 0; t < values.length; ++t) {\n"
    "      if (values[t] === null) continue;\n"
    "      var v = Math.log((values[t] + 1) / base);\n"
    "      svg.appendChild(make('circle', {cx: x(t), cy: y(v), r: 2.2},\n"
    "        points[t] + ': ' + values[t] + ' (' + percent(v) + ' from ' + points[first] + ')'));\n"
    "    }\n"
    "    row.cells[row.cells.length - 1].appendChild(svg);\n"
    "  }\n"
    "  var axis = make('svg', {width: W, height: 14});\n"
    "  document.getElementById('axis').appendChild(axis);\n"
    "  var boxes = [];\n"
    "  function label(t) {\n"
    "    var anchor = t === 0 ? 'start' : t === points.length - 1 ? 'end' : 'middle';\n"
    "    var text = make('text', {x: x(t), y: 11, 'text-anchor': anchor}, points[t]);\n"
    "    text.appendChild(document.createTextNode(points[t]));\n"
    "    axis.appendChild(text);\n"
    "    var b = text.getBBox();\n"
    "    if (boxes.every(function (o) { return b.x + b.width + 6 < o.x || o.x + o.width + 6 < b.x; })) boxes.push(b);\n"
    "    else axis.removeChild(text);\n"
    "  }\n"
    "  if (points.length > 0) label(0);\n"
    "  if (points.length > 1) label(points.length - 1);\n"
    "  for (var t = 1; t + 1 < points.length; ++t) label(t);\n"
    "  var heads = table.tHead.rows[0].cells;\n"
    "  var bodies = [document.getElementById('changed'), document.getElementById('unchanged')];\n"
    "  var rows = bodies.map(function (body) { return Array.prototype.slice.call(body.rows); });\n"
    "  rows.forEach(function (list) { list.forEach(function (row, i) { row.index = i; }); });\n"
    "  var folded = true, wanted = '';\n"
    "  // The unchanged rules' lines are drawn as they scroll into view.\n"
    "  var seen = new IntersectionObserver(function (entries) {\n"
    "    entries.forEach(function (e) { if (e.isIntersecting) { draw(e.target); seen.unobserve(e.target); } });\n"
    "  });\n"
    "  function show() {\n"
    "    bodies[1].className = folded && wanted === '' ? 'folded' : '';\n"
    "    rows.forEach(function (list, b) {\n"
    "      list.forEach(function (row) {\n"
    "        var hidden = row.cells[0].textContent.indexOf(wanted) < 0;\n"
    "        row.className = 'rule' + (hidden ? ' hidden' : '');\n"
    "        if (hidden || row.drawn) return;\n"
    "        if (b === 0) draw(row);\n"
    "        else if (!folded || wanted !== '') seen.observe(row);\n"
    "      });\n"
    "    });\n"
    "  }\n"
    "  document.getElementById('totalline') && draw(document.getElementById('totalline'));\n"
    "  var button = document.getElementById('unfold');\n"
    "  var label = button ? button.textContent : '';\n"
    "  if (button) button.addEventListener('click', function () {\n"
    "    folded = !folded;\n"
    "    button.textContent = folded ? label : label.replace('show', 'hide');\n"
    "    show();\n"
    "  });\n"
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
    "    rows.forEach(function (list, b) {\n"
    "      list.sort(function (a, c) {\n"
    "        var p = value(a, column), q = value(c, column);\n"
    "        var d = p < q ? -1 : p > q ? 1 : 0;\n"
    "        return (down ? -d : d) || a.index - c.index;\n"
    "      });\n"
    "      list.forEach(function (row) { bodies[b].appendChild(row); });\n"
    "    });\n"
    "  }\n"
    "  for (var i = 0; i < heads.length - 1; ++i)\n"
    "    heads[i].addEventListener('click', orderBy.bind(null, i));\n"
    "  document.getElementById('filter').addEventListener('input', function () {\n"
    "    wanted = this.value;\n"
    "    show();\n"
    "  });\n"
    "  show();\n"
    "})();\n"
    "</script>\n";

// The columns of the table, as the report's layout names them, the
// chart's last.
constexpr Field shownFields[] = {Field::oldKey, Field::newKey, Field::changePercent, Field::intervalLow,
                                 Field::intervalHigh};

// What the page shows of a rule: its changes, and the largest of them in
// size (of its change in percent; one without, as a rule that came or
// went, counts as the largest).
struct RuleView {
    std::int32_t rule;
    std::int32_t changes;
    const Row* largest;
    double size;
};

double percentOf(const Table& t, const Row& row) {
    for (std::int32_t i = 0; i < t.layout->columnCount; ++i)
        if (t.layout->columns[i].field == Field::changePercent) {
            const char* const text = valueOf(t, row, i);
            if (text[0] == '\0') return 1e300;
            const double value = std::strtod(text, nullptr);
            return value < 0 ? -value : value;
        }
    return 0;
}

RuleView* viewsOf(const HistoryReport& r) {
    const HistoryRuns& h = *r.runs;
    RuleView* const views = allocateArray<RuleView>(static_cast<std::size_t>(h.ruleCount) + 1);
    for (std::int32_t g = 0; g < h.ruleCount; ++g) views[g] = RuleView{g, 0, nullptr, -1};
    for (std::int32_t k = 0; k < r.changes.stepCount; ++k) ++views[r.changes.steps[k].rule].changes;
    for (std::int32_t k = 0; k < r.ruleRows; ++k) {
        RuleView& view = views[r.changes.steps[r.rowStep[k]].rule];
        const double size = percentOf(r.table, r.rows[k]);
        if (size > view.size) {
            view.size = size;
            view.largest = &r.rows[k];
        }
    }
    // Changed rules first, largest first; then the others as first seen.
    // The order is total, so a plain sort does (the C++ library's buffer
    // for a stable one would take more than libc).
    std::sort(views, views + h.ruleCount, [](const RuleView& a, const RuleView& b) {
        if ((a.largest != nullptr) != (b.largest != nullptr)) return a.largest != nullptr;
        return a.size != b.size ? a.size > b.size : a.rule < b.rule;
    });
    return views;
}

// A row's point, "c10..c20" for a gradual change, as the text has it.
void putPointText(const Row* row) {
    if (row == nullptr) return;
    putHtmlText(row->at);
    if (row->until == nullptr) return;
    putRaw("..");
    putHtmlText(row->until);
}

// A value of the row as a cell: its number to order by, its text as shown.
void putValueCells(const Table& t, const Row* row) {
    for (const Field field : shownFields) {
        std::int32_t i = 0;
        while (i < t.layout->columnCount && t.layout->columns[i].field != field) ++i;
        char shown[valueRoom + 2];
        const char* const plain = row != nullptr ? valueOf(t, *row, i) : "";
        if (row != nullptr) shownValue(t, *row, i, shown);
        else shown[0] = '\0';
        putRaw("<td data-v=\"");
        putRaw(plain[0] == '+' ? plain + 1 : plain);
        putRaw("\">");
        putHtmlText(shown);
        putRaw("</td>");
    }
}

// Rule g's mean key per run at point t (g -1: the total's), or -1 where
// no run of the point calls it.
double meanAt(const HistoryRuns& h, std::int32_t g, std::int32_t t) {
    if (g >= 0 && !pointCalls(h, g, t)) return -1;
    double sum = 0;
    for (std::int32_t r = h.firstRun[t]; r < h.firstRun[t + 1]; ++r) sum += g < 0 ? h.totals[r] : keyIn(h, g, r);
    return sum / (h.firstRun[t + 1] - h.firstRun[t]);
}

// The row's values at each point, as the script reads them: the mean key
// per run, "-" where no run of the point calls the rule.
void putValues(const HistoryRuns& h, std::int32_t g) {
    char number[40];
    for (std::int32_t t = 0; t < h.pointCount; ++t) {
        const double mean = meanAt(h, g, t);
        if (mean < 0) std::snprintf(number, sizeof number, t == 0 ? "-" : " -");
        else std::snprintf(number, sizeof number, t == 0 ? "%.10g" : " %.10g", mean);
        putRaw(number);
    }
}

// The row's change points, "point:change:low:high" each as its row in the
// report shows them (the point alone where the row has no such values,
// or where -top left the change without a row), for the marks.
void putSteps(const HistoryReport& r, std::int32_t g, const std::int32_t* rowOfStep) {
    char number[40];
    const bool total = g < 0;
    const Step* const steps = total ? r.changes.total : r.changes.steps;
    const std::int32_t count = total ? r.changes.totalCount : r.changes.stepCount;
    bool first = true;
    for (std::int32_t k = 0; k < count; ++k) {
        if (steps[k].rule != g) continue;
        // A gradual change from its first point moved to its first at the
        // new level: "10-20", drawn as a span.
        if (isGradual(steps[k]))
            std::snprintf(number, sizeof number, first ? "%d-%d" : " %d-%d", steps[k].at, steps[k].until);
        else
            std::snprintf(number, sizeof number, first ? "%d" : " %d", steps[k].at);
        putRaw(number);
        first = false;
        const std::int32_t row = total ? r.ruleRows + k : rowOfStep[k];
        if (row < 0) continue;
        for (const Field field : {Field::changePercent, Field::intervalLow, Field::intervalHigh})
            for (std::int32_t i = 0; i < r.table.layout->columnCount; ++i)
                if (r.table.layout->columns[i].field == field) {
                    putRaw(":");
                    putRaw(valueOf(r.table, r.rows[row], i));
                }
    }
}

void putRuleRow(const HistoryReport& r, const RuleView& view, const std::int32_t* rowOfStep) {
    const HistoryRuns& h = *r.runs;
    char number[16];
    putRaw("<tr class=\"rule\" data-values=\"");
    putValues(h, view.rule);
    putRaw("\" data-steps=\"");
    putSteps(r, view.rule, rowOfStep);
    putRaw("\"><td class=\"text\">");
    putHtmlText(h.ruleNames[view.rule]);
    if (view.largest != nullptr && view.largest->status[0] != '\0') {
        putRaw(" (");
        putRaw(view.largest->status);
        putRaw(")");
    }
    putRaw("</td><td class=\"text\">");
    putPointText(view.largest);
    putRaw("</td>");
    putValueCells(r.table, view.largest);
    putRaw("<td data-v=\"");
    putRaw(countText(number, view.changes));
    putRaw("\">");
    putRaw(number);
    putRaw("</td><td class=\"chart\"></td></tr>\n");
}

// The total's line, with its largest change.
void putTotalRow(const HistoryReport& r) {
    const Row* largest = nullptr;
    double size = -1;
    for (std::int32_t k = 0; k < r.totalRows; ++k) {
        const double s = percentOf(r.table, r.rows[r.ruleRows + k]);
        if (s > size) size = s, largest = &r.rows[r.ruleRows + k];
    }
    char number[16];
    putRaw("<tbody id=\"total\"><tr id=\"totalline\" data-values=\"");
    putValues(*r.runs, -1);
    putRaw("\" data-steps=\"");
    putSteps(r, -1, nullptr);
    putRaw("\"><td class=\"text\">(total)</td><td class=\"text\">");
    putPointText(largest);
    putRaw("</td>");
    putValueCells(r.table, largest);
    putRaw("<td>");
    putRaw(countText(number, r.totalRows));
    putRaw("</td><td class=\"chart\"></td></tr></tbody>\n");
}

// The one scale of every line: the largest distance, in logarithms, of a
// value from its row's first, and no less than that of 10%.
double scaleOf(const HistoryRuns& h) {
    double most = 0.0953;
    for (std::int32_t g = -1; g < h.ruleCount; ++g) {
        double base = -1;
        for (std::int32_t t = 0; t < h.pointCount; ++t) {
            const double called = meanAt(h, g, t);
            if (called < 0) continue;
            const double mean = called + 1;  // as the script takes it
            if (base < 0) base = mean;
            most = std::max(most, logOf(mean > base ? mean / base : base / mean));
        }
    }
    return most;
}

void putAbout(const HistoryReport& r) {
    putRaw("<p class=\"about\">");
    putHistorySpan(r.table, putHtmlText, "<code>", "</code>");
    putRaw("; ");
    putHtmlText(r.table.criterion);
    putRaw(". Every line on one scale, its value against its first; a red mark is a change point, a grey "
           "line a shift of every rule; rest the pointer on a point for its value.</p>\n");
    putShiftLines(r.table, "<p class=\"about shift\">", ".</p>\n", putHtmlText);
}

void putHead(const HistoryReport& r) {
    const HistoryRuns& h = *r.runs;
    char number[40];
    putRaw("<ol id=\"points\" hidden>");
    for (std::int32_t t = 0; t < h.pointCount; ++t) {
        putRaw("<li>");
        putHtmlText(h.pointNames[t]);
        putRaw("</li>");
    }
    putRaw("</ol>\n<input id=\"filter\" type=\"search\" placeholder=\"Filter by name\" aria-label=\"Filter by name\">\n");
    std::snprintf(number, sizeof number, "%.6f", scaleOf(h));
    putRaw("<table id=\"rules\" data-scale=\"");
    putRaw(number);
    putRaw("\" data-shifts=\"");
    for (std::int32_t k = 0; k < r.changes.shiftCount; ++k) {
        std::snprintf(number, sizeof number, k == 0 ? "%d" : " %d", r.changes.shifts[k].at);
        putRaw(number);
    }
    putRaw("\"><thead><tr><th class=\"text\">NAME</th><th class=\"text\">AT</th><th>BEFORE</th><th>AFTER</th>"
           "<th>CHANGE%</th><th>CI LOW</th><th>CI HIGH</th><th>CHANGES</th><th class=\"text\" id=\"axis\"></th>"
           "</tr></thead>\n");
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
    putRaw(pageStyle);
    putRaw(style);
    putRaw("</head>\n<body>\n<h1>QAV profile history</h1>\n");
    putAbout(r);
    putHead(r);
    putTotalRow(r);
    RuleView* const views = viewsOf(r);
    std::int32_t* const rowOfStep = allocateArray<std::int32_t>(static_cast<std::size_t>(r.changes.stepCount) + 1);
    std::fill(rowOfStep, rowOfStep + r.changes.stepCount, -1);
    for (std::int32_t k = 0; k < r.ruleRows; ++k) rowOfStep[r.rowStep[k]] = k;
    std::int32_t changed = 0;
    while (changed < h.ruleCount && views[changed].largest != nullptr) ++changed;
    putRaw("<tbody id=\"changed\">\n");
    for (std::int32_t k = 0; k < changed; ++k) putRuleRow(r, views[k], rowOfStep);
    putRaw("</tbody>\n");
    if (changed < h.ruleCount) {
        char number[16];
        putRaw("<tbody id=\"fold\"><tr><td class=\"text\" colspan=\"9\"><button id=\"unfold\" type=\"button\">show the ");
        putRaw(countText(number, h.ruleCount - changed));
        putRaw(h.ruleCount - changed == 1 ? " unchanged rule" : " unchanged rules");
        putRaw("</button></td></tr></tbody>\n");
    }
    putRaw("<tbody id=\"unchanged\" class=\"folded\">\n");
    for (std::int32_t k = changed; k < h.ruleCount; ++k) putRuleRow(r, views[k], rowOfStep);
    putRaw("</tbody></table>\n");
    std::free(views);
    std::free(rowOfStep);
    putRaw(script);
    putRaw("</body>\n</html>\n");
}
