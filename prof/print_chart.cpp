// The lines of a history's page, each in its row's last cell: the page's
// script draws them from the values and marks each row carries, a row
// when it is first shown, so that thousands of rules load at once. Every
// line is on one scale, the logarithm of the value against the line's
// first one, so that a wobble of 3% and a step of 100% look what they are;
// a point's value shows when the pointer rests on it, changes are red
// marks (a gradual one a span) with their change, and the shifts of
// everything grey lines across every line.
#include "escapes.h"
#include "maths.h"
#include "print.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr char chartStyle[] =
    "<style>\n"
    "td.chart{padding:0 .4em}\n"
    "svg{display:block;overflow:visible}\n"
    "svg polyline{fill:none;stroke:#4a7bd0;stroke-width:1.2}\n"
    "svg circle{fill:#4a7bd0}\n"
    "svg line.zero{stroke:#bbb;stroke-dasharray:2 2}\n"
    "svg line.change{stroke:#d0584a;stroke-width:2}\n"
    "svg rect.change{fill:#d0584a;fill-opacity:.18;stroke:#d0584a;stroke-width:1}\n"
    "svg line.shift{stroke:#999;stroke-width:1}\n"
    "svg text{font-size:10px;fill:#555}\n"
    "#rows tbody#total td{background:#f8f8f8;font-weight:600}\n"
    "tbody.folded tr{display:none}\n"
    "button{font:inherit;padding:.2em .6em;margin:.4em 0}\n"
    "</style>\n";

// The page's script: draws each row's line from its values when the row is
// first shown, the points' names on the axis above; orders the rules as
// every page does (print_html.cpp), the changed and the unchanged apart;
// filters them by name; folds the unchanged rules away.
constexpr char chartScript[] =
    "<script>\n"
    "(function () {\n"
    "  var table = document.getElementById('rows');\n"
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
    "  var bodies = [document.getElementById('changed'), document.getElementById('unchanged')];\n"
    "  var rows = bodies.map(function (body) { return Array.prototype.slice.call(body.rows); });\n"
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
    "        row.classList.toggle('hidden', hidden);\n"
    "        if (hidden || row.drawn) return;\n"
    "        if (b === 0) draw(row);\n"
    "        else if (!folded || wanted !== '') seen.observe(row);\n"
    "      });\n"
    "    });\n"
    "  }\n"
    "  var total = document.querySelector('#total tr');\n"
    "  if (total) draw(total);\n"
    "  var button = document.getElementById('unfold');\n"
    "  var label = button ? button.textContent : '';\n"
    "  if (button) button.addEventListener('click', function () {\n"
    "    folded = !folded;\n"
    "    button.textContent = folded ? label : label.replace('show', 'hide');\n"
    "    show();\n"
    "  });\n"
    "  orderable(table, rows);\n"
    "  document.getElementById('filter').addEventListener('input', function () {\n"
    "    wanted = this.value;\n"
    "    show();\n"
    "  });\n"
    "  show();\n"
    "})();\n"
    "</script>\n";

// The one scale of every line: the largest distance, in logarithms, of a
// value from its line's first, and no less than that of 10%.
double scaleOf(const Chart& c) {
    double most = 0.0953;
    for (std::int32_t line = 0; line < c.lineCount; ++line) {
        double base = -1;
        for (std::int32_t t = 0; t < c.pointCount; ++t) {
            const double value = c.valueAt(c.source, line, t);
            if (value < 0) continue;
            const double mean = value + 1;  // as the script takes it
            if (base < 0) base = mean;
            most = std::max(most, logOf(mean > base ? mean / base : base / mean));
        }
    }
    return most;
}

}  // namespace

void putChartStyle() { putRaw(chartStyle); }
void putChartScript() { putRaw(chartScript); }

void putChartPoints(const Chart& c) {
    putRaw("<ol id=\"points\" hidden>");
    for (std::int32_t t = 0; t < c.pointCount; ++t) {
        putRaw("<li>");
        putHtmlText(c.points[t].name);
        putRaw("</li>");
    }
    putRaw("</ol>\n");
}

void putChartData(const Chart& c) {
    char number[40];
    std::snprintf(number, sizeof number, "%.6f", scaleOf(c));
    putRaw(" data-scale=\"");
    putRaw(number);
    putRaw("\" data-shifts=\"");
    for (std::int32_t k = 0; k < c.shiftCount; ++k) {
        std::snprintf(number, sizeof number, k == 0 ? "%d" : " %d", c.shifts[k]);
        putRaw(number);
    }
    putRaw("\"");
}

// The line's values at each point, "-" where it has none; then its marks,
// "point:change:low:high" each, "from-to" for a span, the point alone
// where the mark has no values.
void putLineData(const Chart& c, std::int32_t line) {
    char number[40];
    putRaw(" data-values=\"");
    for (std::int32_t t = 0; t < c.pointCount; ++t) {
        const double value = c.valueAt(c.source, line, t);
        if (value < 0) std::snprintf(number, sizeof number, t == 0 ? "-" : " -");
        else std::snprintf(number, sizeof number, t == 0 ? "%.10g" : " %.10g", value);
        putRaw(number);
    }
    putRaw("\" data-steps=\"");
    for (std::int32_t k = c.firstMark[line]; k < c.firstMark[line + 1]; ++k) {
        const ChartMark& mark = c.marks[k];
        if (mark.until != mark.at) std::snprintf(number, sizeof number, "%d-%d", mark.at, mark.until);
        else std::snprintf(number, sizeof number, "%d", mark.at);
        if (k > c.firstMark[line]) putRaw(" ");
        putRaw(number);
        for (const char* text : mark.text)
            if (text != nullptr) {
                putRaw(":");
                putRaw(text);
            }
    }
    putRaw("\"");
}
