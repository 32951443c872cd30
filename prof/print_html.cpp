// The report, or the comparison, as one self-contained HTML page: a table
// with a bar per row, ordered by any column at a click and filtered by
// name, with a little plain JavaScript and CSS and nothing loaded from
// anywhere (the page forbids it itself).
#include "escapes.h"
#include "print.h"
#include "runtime.h"

#include <cstring>

const char pageHead[] =
    "<!DOCTYPE html>\n"
    "<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
    "style-src 'unsafe-inline'; script-src 'unsafe-inline'\">\n"
    "<meta name=\"viewport\" content=\"width=device-width\">\n";

// The start of every page's style: the text, the table, its ordering
// marks and its filter; each page adds its own and closes it.
const char pageStyle[] =
    "<style>\n"
    "body{font:14px system-ui,sans-serif;margin:1em;color:#222}\n"
    "h1{font-size:1.3em;margin:0 0 .2em}\n"
    "p.about{margin:0 0 1em;color:#555}\n"
    "input{font:inherit;padding:.3em .5em;margin-bottom:.8em;width:20em}\n"
    "table{border-collapse:collapse}\n"
    "table{font-size:13px}\n"
    "th,td{padding:.25em .4em;border-bottom:1px solid #e4e4e4;white-space:nowrap}\n"
    "th{cursor:pointer;user-select:none;background:#f4f4f4;text-align:right;\n"
    "white-space:normal;vertical-align:bottom}\n"
    "th.text,td.text{text-align:left}\n"
    "td.text{white-space:normal;overflow-wrap:normal;min-width:10em;max-width:18em}\n"
    "td{text-align:right;font-variant-numeric:tabular-nums}\n"
    "th[aria-sort=descending]::after{content:' \\25BC'}\n"
    "th[aria-sort=ascending]::after{content:' \\25B2'}\n"
    "tr.hidden{display:none}\n";

namespace {

constexpr char style[] =
    "div.scroll{overflow-x:auto;max-width:100%}\n"
    "#rows tr>:first-child{position:sticky;left:0;z-index:1;background:#fff}\n"
    "#rows thead tr>:first-child{background:#f4f4f4}\n"
    "td.bar{width:10em;min-width:5em;padding:0}\n"
    "td.bar div{height:.9em;background:#4a7bd0}\n"
    "td.change{width:16em;min-width:8em;padding:0;position:relative}\n"
    "td.change div{position:absolute;top:.35em;height:.9em}\n"
    "td.change div.grow{left:50%;background:#d0584a}\n"
    "td.change div.shrink{right:50%;background:#3f9a5b}\n"
    "tr.new>td:first-child::after{content:' (new)';color:#d0584a}\n"
    "tr.gone>td:first-child::after{content:' (gone)';color:#3f9a5b}\n"
    "tr.noise>td:first-child::after{content:' ~';color:#888}\n"
    "p.runs{margin:-.6em 0 1em;color:#555}\n"
    "details.how{margin:1em 0;color:#555}\n"
    "details.how summary{cursor:pointer}\n"
    "</style>\n";

// Every page's rows are ordered by a column at a click of its heading
// (numbers as numbers, words as text, a blank below every number, ties in
// the order the page came with), again the other way at a second click;
// each body's rows stay in their body. ordered, where given, is told the
// column and whether the order is descending.
constexpr char orderScript[] =
    "<script>\n"
    "function cellValue(heads, row, column) {\n"
    "  var cell = row.cells[column], v = cell.getAttribute('data-v');\n"
    "  if (heads[column].className === 'text') return v === null ? cell.textContent : v;\n"
    "  return v === null || v === '' ? -Infinity : parseFloat(v);\n"
    "}\n"
    "function orderable(table, lists, ordered) {\n"
    "  var heads = table.tHead.rows[0].cells;\n"
    "  lists.forEach(function (list) { list.forEach(function (row, i) { row.index = i; }); });\n"
    "  function orderBy(column) {\n"
    "    var head = heads[column];\n"
    "    var was = head.getAttribute('aria-sort');\n"
    "    var down = was ? was === 'ascending' : head.className !== 'text';\n"
    "    for (var i = 0; i < heads.length; ++i) heads[i].removeAttribute('aria-sort');\n"
    "    head.setAttribute('aria-sort', down ? 'descending' : 'ascending');\n"
    "    lists.forEach(function (list) {\n"
    "      list.sort(function (a, b) {\n"
    "        var x = cellValue(heads, a, column), y = cellValue(heads, b, column);\n"
    "        var c = x < y ? -1 : x > y ? 1 : 0;\n"
    "        return (down ? -c : c) || a.index - b.index;\n"
    "      });\n"
    "      list.forEach(function (row) { row.parentNode.appendChild(row); });\n"
    "    });\n"
    "    if (ordered) ordered(column, down);\n"
    "  }\n"
    "  for (var i = 0; i < heads.length - 1; ++i)\n"
    "    heads[i].addEventListener('click', orderBy.bind(null, i));\n"
    "}\n"
    "</script>\n";

// A report's or a comparison's: the subtitle follows the column the rows
// are ordered by; the filter keeps the rows whose name holds the text
// typed. A report's
// bars follow the column of numbers the rows are ordered by, the
// criterion's again when they are ordered by name, and their heading
// names it; a comparison's bars are its changes, whatever the order, so
// that a bar's length always means one thing. A total row stands apart,
// in the table's foot.
constexpr char script[] =
    "<script>\n"
    "(function () {\n"
    "  var table = document.getElementById('rows');\n"
    "  var heads = table.tHead.rows[0].cells;\n"
    "  var rows = Array.prototype.slice.call(table.tBodies[0].rows);\n"
    "  var diff = table.className === 'diff';\n"
    "  var scale = document.getElementById('scale');\n"
    "  var criterion = scale && scale.textContent;\n"
    "  function drawBars(column) {\n"
    "    if (scale) scale.textContent = column < 0 ? criterion : heads[column].textContent;\n"
    "    var top = 0;\n"
    "    rows.forEach(function (row) {\n"
    "      var v = column < 0 ? parseFloat(row.getAttribute('data-key')) : cellValue(heads, row, column);\n"
    "      if (isFinite(v)) top = Math.max(top, Math.abs(v));\n"
    "    });\n"
    "    rows.forEach(function (row) {\n"
    "      var v = column < 0 ? parseFloat(row.getAttribute('data-key')) : cellValue(heads, row, column);\n"
    "      var share = top > 0 && isFinite(v) ? Math.abs(v) / top : 0;\n"
    "      var bar = row.cells[row.cells.length - 1].firstChild;\n"
    "      bar.style.width = (diff ? 50 : 100) * share + '%';\n"
    "      if (diff) bar.className = v < 0 ? 'shrink' : 'grow';\n"
    "    });\n"
    "  }\n"
    "  orderable(table, [rows], function (column, down) {\n"
    "    var text = heads[column].className === 'text';\n"
    "    document.getElementById('order').textContent =\n"
    "      heads[column].textContent.toLowerCase() + (down === text ? ', reversed' : '');\n"
    "    if (!diff) drawBars(text ? -1 : column);\n"
    "  });\n"
    "  document.getElementById('filter').addEventListener('input', function () {\n"
    "    var wanted = this.value;\n"
    "    rows.forEach(function (row) {\n"
    "      row.className = row.className.replace(/ ?hidden/, '') +\n"
    "        (row.cells[0].textContent.indexOf(wanted) < 0 ? ' hidden' : '');\n"
    "    });\n"
    "  });\n"
    "  drawBars(-1);\n"
    "})();\n"
    "</script>\n";

// Where changes are tested, each one's interval is drawn over its bar, on
// the bars' scale, once: the rows take it with them in every order and
// filter. An end past the cell's edge is cut there and marked with an
// arrowhead, as the interval runs on. Pages without intervals are as
// they always were.
constexpr char intervalStyle[] =
    "<style>\n"
    "td.change div.ci{top:.75em;height:.15em;background:#222}\n"
    "td.change div.on-low::before,td.change div.on-high::after{content:'';position:absolute;\n"
    "top:-.25em;border:.325em solid transparent}\n"
    "td.change div.on-low::before{left:-.5em;border-left:0;border-right:.5em solid #222}\n"
    "td.change div.on-high::after{right:-.5em;border-right:0;border-left:.5em solid #222}\n"
    "</style>\n";
constexpr char intervalScript[] =
    "<script>\n"
    "(function () {\n"
    "  var table = document.getElementById('rows');\n"
    "  var rows = Array.prototype.slice.call(table.tBodies[0].rows);\n"
    "  var top = 0;\n"
    "  rows.forEach(function (row) {\n"
    "    var v = Math.abs(parseFloat(row.getAttribute('data-key')));\n"
    "    if (isFinite(v)) top = Math.max(top, v);\n"
    "  });\n"
    "  function clamp(x) { return Math.max(-1, Math.min(1, x)); }\n"
    "  function draw() {\n"
    "    rows.forEach(function (row) {\n"
    "      var mark = row.cells[row.cells.length - 1].lastChild;\n"
    "      var base = parseFloat(row.getAttribute('data-base'));\n"
    "      var low = parseFloat(row.getAttribute('data-low'));\n"
    "      var high = parseFloat(row.getAttribute('data-high'));\n"
    "      if (!(top > 0) || !isFinite(low) || !isFinite(base)) {\n"
    "        mark.style.display = 'none';\n"
    "        return;\n"
    "      }\n"
    "      var x = base * low / 100 / top, y = base * high / 100 / top;\n"
    "      var a = clamp(x), b = clamp(y);\n"
    "      mark.className = 'ci' + (x < -1 ? ' on-low' : '') + (y > 1 ? ' on-high' : '');\n"
    "      mark.title = x < -1 || y > 1 ? 'the interval runs on past the edge' : '';\n"
    "      mark.style.display = '';\n"
    "      mark.style.left = 50 + 50 * a + '%';\n"
    "      mark.style.width = 50 * (b - a) + '%';\n"
    "    });\n"
    "  }\n"
    "  draw();\n"
    "})();\n"
    "</script>\n";

// A word of lower-case ASCII letters (a criterion's name), as the headings
// write it.
void putCapitals(const char* word) {
    char capitals[16] = {};
    for (std::size_t k = 0; k + 1 < sizeof capitals && word[k] != '\0'; ++k)
        capitals[k] = word[k] >= 'a' && word[k] <= 'z' ? static_cast<char>(word[k] - 'a' + 'A') : word[k];
    putRaw(capitals);
}

void putHeading(const Column& column) {
    putRaw(isWords(column.field) ? "<th class=\"text\">" : "<th>");
    putHeadingText(column, putRaw);
    putRaw("</th>");
}

// A value as shown, with the digits before its decimal point in groups of
// three, for reading (the data the page orders by keeps them plain).
void putGrouped(const char* shown) {
    char grouped[2 * valueRoom + 4];
    std::size_t at = 0;
    for (const char* c = shown; *c != '\0';) {
        const bool integral = c == shown || c[-1] != '.';
        std::size_t digits = 0;
        while (TL_isDigit(c[digits])) ++digits;
        if (digits == 0 || !integral) {
            grouped[at++] = *c++;
            continue;
        }
        for (std::size_t k = 0; k < digits; ++k) {
            if (k > 0 && (digits - k) % 3 == 0) grouped[at++] = ',';
            grouped[at++] = *c++;
        }
    }
    grouped[at] = '\0';
    putHtmlText(grouped);
}

void putNumberCell(const char* value, const char* shown) {
    putRaw("<td data-v=\"");
    putRaw(value);
    putRaw("\">");
    putGrouped(shown);
    putRaw("</td>");
}

// One side of the page's runs: its file where it is one run, else their
// number (the caption names them all).
void putSide(const Table& table, bool old, bool markup) {
    const std::int32_t count = old ? table.oldRunCount : table.runCount;
    if (count > 1) {
        char number[16];
        putRaw(countText(number, count));
        putRaw(!table.comparison ? " runs" : old ? " old runs" : " new runs");
        return;
    }
    if (markup) putRaw("<code>");
    putHtmlText(old ? table.oldFileName : table.fileName);
    if (markup) putRaw("</code>");
}

void putPage(const Table& table) {
    // The sides in one order throughout, as the columns have them: old,
    // then new.
    putRaw("<title>qavprof: ");
    if (table.comparison && hasRuns(table)) {
        putSide(table, true, false);
        putRaw(" against ");
    }
    putSide(table, false, false);
    putRaw("</title>\n");
    putRaw(pageStyle);
    putRaw(style);
    if (table.tested) putRaw(intervalStyle);
    putRaw("</head>\n<body>\n<h1>");
    putHtmlText(table.comparison ? "QAV profile comparison" : "QAV profile");
    putRaw("</h1>\n<p class=\"about\">");
    if (table.runCount <= 1) putRaw("File ");
    else if (!table.comparison) putRaw("The sums of ");
    if (table.comparison) {
        putSide(table, true, true);
        putRaw(" against ");
    }
    putSide(table, false, true);
    putRaw(" &middot; ");
    putRaw(table.kind);
    putRaw(" profile &middot; ordered by <span id=\"order\">");
    putRaw(table.criterion);
    putRaw("</span></p>\n");
    const CaptionStyle caption{.text = putHtmlText,
                               .open = "<p class=\"runs\">",
                               .compared = "",
                               .oldRuns = " old runs",
                               .newRuns = " new runs",
                               .merged = "The sums of ",
                               .mergedRuns = " runs",
                               .firstName = " (<code>",
                               .betweenNames = "</code>, <code>",
                               .afterNames = "</code>)",
                               .close = "</p>\n",
                               .lineBreak = "<br>"};
    putRunsCaption(table, caption);
    if (table.comparison && !hasRuns(table))
        putRaw("<p class=\"runs\">One run against one: a change cannot be told from the noise "
               "between runs. To test the changes, give each side two runs or more "
               "(<code>-diff OLD... -- NEW...</code>).</p>\n");
}

// A history's title and what it is of: its span, the criterion, how to
// read the lines, the shifts of everything and the notes on its runs.
void putHistoryPage(const Table& t) {
    putRaw("<title>qavprof: history of ");
    putHtmlText(t.points[0].name);
    putRaw(" to ");
    putHtmlText(t.points[t.pointCount - 1].name);
    putRaw("</title>\n");
    putRaw(pageStyle);
    putRaw(style);
    putChartStyle();
    putRaw("</head>\n<body>\n<h1>QAV profile history</h1>\n<p class=\"about\">");
    putHistorySpan(t, putHtmlText, "<code>", "</code>");
    putRaw("; ");
    putHtmlText(t.criterion);
    putRaw(". Every line on one scale, its value against its first; a red mark is a change point, a grey "
           "line a shift of every rule; rest the pointer on a point for its value.</p>\n");
    putShiftLines(t, "<p class=\"about shift\">", ".</p>\n", putHtmlText);
    for (std::int32_t k = 0; k < t.noteCount; ++k) {
        putRaw("<p class=\"runs\">");
        putHtmlText(t.notes[k]);
        putRaw(".</p>\n");
    }
    putChartPoints(*t.chart);
}

// The values the interval over a row's bar is drawn from: the old key,
// and the interval in percent of it.
void putIntervalData(const Table& table, const Row& row) {
    const char* const names[] = {"\" data-base=\"", "\" data-low=\"", "\" data-high=\""};
    const Field fields[] = {Field::oldKey, Field::intervalLow, Field::intervalHigh};
    for (int k = 0; k < 3; ++k)
        for (std::int32_t i = 1; i < shownColumns(*table.layout); ++i)
            if (table.layout->columns[i].field == fields[k]) {
                putRaw(names[k]);
                putRaw(valueOf(table, row, i));
            }
}

// A history's point, "c10..c20" for a gradual change, as the text has it.
void putPointCell(const Row& row) {
    putRaw("<td class=\"text\">");
    putHtmlText(row.at);
    if (row.until != nullptr) {
        putRaw("..");
        putHtmlText(row.until);
    }
    putRaw("</td>");
}

// A row: its key for the bars, its class (a comparison's status), its
// cells, and the bar's cell.
void putRow(const Table& table, const Row& row) {
    putRaw("<tr data-key=\"");
    putRaw(row.key);
    if (table.tested) putIntervalData(table, row);
    putRaw("\"");
    if (table.chart != nullptr && row.line >= 0) putLineData(*table.chart, row.line);
    if (row.status[0] != '\0') {
        // "~", no change shown to be real, as a class name.
        putRaw(" class=\"");
        putRaw(row.status[0] == '~' ? "noise" : row.status);
        putRaw("\"");
    }
    putRaw("><td class=\"text\">");
    putHtmlText(row.name);
    if (row.runs != nullptr) {
        putRaw(" <small>");
        putRaw(row.runs);
        putRaw("</small>");
    }
    putRaw("</td>");
    for (std::int32_t i = 1; i < shownColumns(*table.layout); ++i) {
        const Field field = table.layout->columns[i].field;
        if (field == Field::status) continue;
        if (field == Field::at) {
            putPointCell(row);
            continue;
        }
        char shown[valueRoom + 2];
        shownValue(table, row, i, shown);
        putNumberCell(valueOf(table, row, i), shown);
    }
    putRaw(table.chart != nullptr ? "<td class=\"chart\"></td></tr>\n"
           : !table.comparison    ? "<td class=\"bar\"><div></div></td></tr>\n"
           : table.tested         ? "<td class=\"change\"><div></div><div class=\"ci\"></div></td></tr>\n"
                                  : "<td class=\"change\"><div></div></td></tr>\n");
}

// The cells of a row, the last one's too.
std::int32_t cellCount(const Table& table) {
    std::int32_t count = 1;
    for (std::int32_t i = 0; i < shownColumns(*table.layout); ++i)
        if (table.layout->columns[i].field != Field::status) ++count;
    return count;
}

// The table's headings, the last over the bars, the changes or the lines.
// Names break between words only: a table wider than the window scrolls
// sideways, its name column staying in view.
void putHeadings(const Table& table) {
    putRaw(table.comparison ? "<div class=\"scroll\"><table id=\"rows\" class=\"diff\""
                            : "<div class=\"scroll\"><table id=\"rows\"");
    if (table.chart != nullptr) putChartData(*table.chart);
    putRaw(">\n<thead><tr>");
    for (std::int32_t i = 0; i < shownColumns(*table.layout); ++i) {
        const Column& column = table.layout->columns[i];
        if (column.field != Field::status) putHeading(column);
    }
    if (table.chart != nullptr) {
        putRaw("<th class=\"text\" id=\"axis\"></th></tr></thead>\n");
    } else if (table.comparison) {
        putRaw("<th class=\"text\">CHANGE BAR</th></tr></thead>\n");
    } else {
        putRaw("<th class=\"text\">SHARE OF <span id=\"scale\">");
        putCapitals(table.criterion);
        putRaw("</span></th></tr></thead>\n");
    }
}

// Where the rows from foldFrom on start: the rules that did not change,
// folded away behind a button that says how many they are.
void putFold(const Table& table) {
    putRaw("</tbody>\n");
    const std::int32_t folded = table.ruleRows - table.foldFrom;
    if (folded > 0) {
        char number[16];
        putRaw("<tbody id=\"fold\"><tr><td class=\"text\" colspan=\"");
        putRaw(countText(number, cellCount(table)));
        putRaw("\"><button id=\"unfold\" type=\"button\">show the ");
        putRaw(countText(number, folded));
        putRaw(folded == 1 ? " unchanged rule" : " unchanged rules");
        putRaw("</button></td></tr></tbody>\n");
    }
    putRaw("<tbody id=\"unchanged\" class=\"folded\">\n");
}

// The rows. A comparison's total, which -fail judges, stands apart from
// the rows that are ordered, in the table's foot; a chart's total line
// above the lines it sums.
void putBody(const Table& table) {
    if (table.chart != nullptr) {
        putRaw("<tbody id=\"total\">");
        if (table.hasTotal) putRow(table, table.total);
        putRaw("</tbody>\n<tbody id=\"changed\">\n");
    } else {
        putRaw("<tbody>\n");
    }
    bool folded = false;
    Rows rows;
    for (startRows(table, rows); nextRows(table, rows);)
        for (std::int32_t k = 0; k < rows.count; ++k) {
            if (table.folds && rows.made - rows.count + k == table.foldFrom) putFold(table), folded = true;
            putRow(table, rows.row[k]);
        }
    if (table.folds && !folded) putFold(table);
    putRaw("</tbody>\n");
    if (table.comparison && table.chart == nullptr) {
        putRaw("<tfoot>\n");
        if (table.hasTotal) putRow(table, table.total);
        putRaw("</tfoot>\n");
    }
}

}  // namespace

void printHtml(const Table& given) {
    // A table may give the page another to show: a history, a row a rule.
    const Table& table = given.page != nullptr ? *given.page : given;
    putRaw(pageHead);
    if (table.chart != nullptr) putHistoryPage(table);
    else putPage(table);
    putRaw("<input id=\"filter\" type=\"search\" placeholder=\"Filter names\" aria-label=\"Filter names\">\n");
    putHeadings(table);
    putBody(table);
    putRaw("</table></div>\n");
    putRaw(orderScript);
    if (table.chart != nullptr) {
        putRaw("<details class=\"how\"><summary>How to read this</summary>\n<p>CI LOW, CI HIGH: ");
        putHtmlText(historyIntervalLegend);
        putRaw(".</p></details>\n");
        putChartScript();
    } else {
        putMethod(table, {.text = putHtmlText,
                          .open = "<details class=\"how\"><summary>How to read this</summary>\n<p>~: ",
                          .interval = ".<br>CI LOW, CI HIGH, and the line over each bar: ",
                          .close = "</p></details>\n"});
        putRaw(script);
        if (table.tested) putRaw(intervalScript);
    }
    putRaw("</body>\n</html>\n");
}
