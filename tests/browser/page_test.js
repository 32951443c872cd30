// Opens pages that qavprof -html makes in headless Chromium and uses them
// as a person would, in a laptop's 1280 pixels: checks that nothing is cut
// off, counts the rows, reads the first names and the grouped numbers,
// orders by CALLS twice and reads the subtitle and the bars' scale, types
// in the filter; checks that no name ran as script, that the page loaded
// nothing from anywhere, and that a comparison shows its total, keeps its
// bars whatever the order, and warns of noise with one run a side; on a
// comparison of runs, that the runs are named, and each change's interval
// drawn over its bar in every order and filter, marked where it runs past
// the cell; and on a history, its page (testHistory).
//   node page_test.js QAVPROF EXAMPLES_DIR
// Exits 77 (skipped) without Chromium or puppeteer-core, unless
// QAV_REQUIRE_BROWSER is set.
'use strict';
const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const chromium = process.env.CHROMIUM || '/usr/bin/chromium';
let puppeteer;
try {
  puppeteer = require('puppeteer-core');
} catch (e) {
  puppeteer = null;
}
if (!puppeteer || !fs.existsSync(chromium)) {
  const why = !puppeteer ? 'puppeteer-core is not installed (npm install in tests/browser)'
                         : `no browser at ${chromium}`;
  console.log(`SKIPPED: browser test: ${why}`);
  process.exit(process.env.QAV_REQUIRE_BROWSER ? 1 : 77);
}

const [qavprof, examples] = process.argv.slice(2);
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'qav-page-'));
let passed = 0, failed = 0;
function check(ok, what) {
  if (ok) { ++passed; } else { ++failed; console.log(`FAIL: ${what}`); }
}

// The page, and the CSV of the same rows to compare with.
function make(name, args, cwd) {
  const run = (extra) => execFileSync(qavprof, [...extra, ...args], { cwd, stdio: ['ignore', 'pipe', 'ignore'] });
  const file = path.join(work, name + '.html');
  fs.writeFileSync(file, run(['-html']));
  const csv = run(['-csv']).toString().split('\r\n').slice(1).filter((l) => l !== '');
  // A comparison's CSV ends with its total, which the page keeps in its foot.
  if (args.includes('-diff') && csv.length > 0 && csv[csv.length - 1].startsWith('(total),')) csv.pop();
  const names = csv.map((line) => line.startsWith('"') ? line.slice(1, line.lastIndexOf('"')).replace(/""/g, '"')
                                                         : line.slice(0, line.indexOf(',')));
  const order = ['-time', '-space', '-calls', '-cycles', '-eff'].find((flag) => args.includes(flag)) || '-time';
  return { file, names, criterion: order === '-eff' ? 'EFFICIENCY' : order.slice(1).toUpperCase() };
}

const hostile = path.join(work, 'hostile');
fs.mkdirSync(hostile);
fs.writeFileSync(path.join(hostile, 'qav.rprofout'), [
  'QAV profile',
  '<script>window.ran=1</script> 5 5 1 1 50 1 1',
  '<img/src=x/onerror=window.ran=2> 9 9 1 1 40 1 1',
  'a&b 2 2 1 1 30 1 1',
  '"quoted" 1 1 1 1 20 1 1',
  ''].join('\n'));

async function visible(page) {
  return page.$$eval('#rows tbody tr', (rows) => rows.filter((r) => r.offsetParent !== null)
    .map((r) => ({ name: r.cells[0].textContent, cells: Array.from(r.cells).map((c) => c.getAttribute('data-v')),
                   shown: Array.from(r.cells).filter((c) => c.hasAttribute('data-v')).map((c) => c.textContent),
                   bar: r.cells[r.cells.length - 1].firstChild.style.width })));
}
const bars = async (page) => (await visible(page)).map((r) => r.bar);

async function testPage(browser, label, made, filterText) {
  const page = await browser.newPage();
  const outside = [];
  const url = 'file://' + made.file;
  await page.setRequestInterception(true);
  page.on('request', (request) => {
    if (request.url() !== url) outside.push(request.url());
    request.continue();
  });
  let dialogs = 0;
  page.on('dialog', (dialog) => { ++dialogs; dialog.dismiss(); });
  await page.setViewport({ width: 1280, height: 800 });
  await page.goto(url);
  // The page fits the window; so do the bars, but where the table is wider
  // and scrolls in its box (many columns, long names).
  const right = await page.evaluate(() => {
    const box = document.querySelector('div.scroll');
    const bars = box.scrollWidth > box.clientWidth ? [] : Array.from(document.querySelectorAll('td.bar, td.change'));
    return Math.max(document.documentElement.scrollWidth, ...bars.map((c) => c.getBoundingClientRect().right));
  });
  check(right <= 1280, `${label}: ${Math.ceil(right)} pixels wide, more than a 1280-pixel window`);

  let rows = await visible(page);
  check(rows.length === made.names.length, `${label}: ${rows.length} rows, not ${made.names.length}`);
  const shown = rows.flatMap((r) => r.shown);
  const ungrouped = shown.filter((s) => !/^([+-]?\d{1,3}(,\d{3})*(\.\d+)?%?)?$/.test(s));
  const large = rows.some((r) => r.cells.some((v) => v !== null && Math.abs(parseFloat(v)) >= 1000));
  check(ungrouped.length === 0 && shown.some((s) => s.includes(',')) === large,
        `${label}: numbers not grouped in threes: ${ungrouped.slice(0, 3)}`);
  const diff = await page.$eval('#rows', (t) => t.className === 'diff');
  const loaded = await bars(page);
  check(JSON.stringify(rows.slice(0, 5).map((r) => r.name)) === JSON.stringify(made.names.slice(0, 5)),
        `${label}: first rows ${rows.slice(0, 5).map((r) => r.name)} not in report order`);

  const heads = await page.$$eval('#rows thead th', (ths) => ths.map((th) => th.textContent));
  const calls = heads.indexOf('CALLS');
  if (calls >= 0) {
    const th = (await page.$$('#rows thead th'))[calls];
    const numbers = async () => (await visible(page)).map((r) => parseFloat(r.cells[calls]));
    await th.click();
    let values = await numbers();
    check(values.every((v, i) => i === 0 || values[i - 1] >= v), `${label}: one click does not order by calls`);
    const subtitle = await page.$eval('p.about', (p) => p.textContent);
    check(subtitle.endsWith('ordered by calls'), `${label}: the subtitle says '${subtitle}' after ordering by calls`);
    if (!diff) {
      const scale = await page.$eval('#scale', (s) => s.textContent);
      const byCalls = (await visible(page)).every((r, i, all) =>
        Math.abs(parseFloat(r.bar) - 100 * parseFloat(r.cells[calls]) / parseFloat(all[0].cells[calls])) < 0.01);
      check(scale === 'CALLS' && byCalls, `${label}: ordered by calls, the bars are the share of ${scale}`);
    }
    await th.click();
    values = await numbers();
    check(values.every((v, i) => i === 0 || values[i - 1] <= v), `${label}: a second click does not reverse it`);
  }

  // Ordered by name, a report's bars are the criterion's again, as the
  // page loaded; a comparison's never leave its changes.
  const orders = diff ? ['CHANGE%', 'OLD', 'NAME'] : ['NAME'];
  for (const order of orders) {
    await (await page.$$('#rows thead th'))[heads.indexOf(order)].click();
    const now = await bars(page);
    const byName = new Map((await visible(page)).map((r, i) => [r.name, now[i]]));
    const same = made.names.every((name, i) => byName.get(name) === loaded[i]);
    check(same, `${label}: ordered by ${order}, the bars are not those the page loaded with`);
  }
  if (!diff) {
    const scale = await page.$eval('#scale', (s) => s.textContent);
    check(scale === made.criterion, `${label}: ordered by name, the bars are the share of ${scale}`);
  }
  await (await page.$$('#rows thead th'))[0].click();

  await page.type('#filter', filterText);
  rows = await visible(page);
  const wanted = made.names.filter((n) => n.includes(filterText));
  check(rows.length === wanted.length && rows.every((r) => r.name.includes(filterText)),
        `${label}: filter '${filterText}' shows ${rows.length} rows, not ${wanted.length}`);

  if (made.total) {
    const foot = await page.$$eval('#rows tfoot tr', (trs) => trs.map((tr) => Array.from(tr.cells).map((c) => c.textContent)));
    const newSum = (await page.$$eval('#rows tbody tr', (trs) => trs.reduce((sum, tr) => sum + (parseFloat(tr.cells[2].getAttribute('data-v')) || 0), 0)));
    // A run's averages are rounded row by row, the total as a whole.
    const slack = made.runs ? made.names.length / 2 : 0;
    const footNew = foot.length === 1 ? parseFloat(foot[0][2].replace(/,/g, '')) : NaN;
    check(foot.length === 1 && foot[0][0] === '(total)' && Math.abs(footNew - newSum) <= slack,
          `${label}: the total row is ${JSON.stringify(foot)}, not (total) with ${newSum}`);
  }

  const ran = await page.evaluate(() => window.ran);
  check(ran === undefined && dialogs === 0, `${label}: a name ran as script`);
  check(outside.length === 0, `${label}: loaded ${outside.join(', ')}`);
  await page.close();
}

async function testIntervals(browser, made) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 800 });
  await page.goto('file://' + made.file);
  const caption = await page.$eval('p.runs', (p) => p.textContent);
  check(caption.startsWith('5 old runs (runs/old1.prof') && caption.includes('5 new runs (runs/new1.prof') &&
        !caption.includes('~: the runs do not show'), `runs: the caption says '${caption}'`);
  // The method is folded away below the table, and opens at a click.
  const fold = await page.$eval('details.how', (d) => ({
    open: d.open, after: !!(d.compareDocumentPosition(document.getElementById('rows')) & Node.DOCUMENT_POSITION_PRECEDING),
    summary: d.querySelector('summary').textContent, text: d.textContent }));
  check(!fold.open && fold.after && fold.summary === 'How to read this' && fold.text.includes('~: the runs do not show'),
        `runs: the method's fold is ${JSON.stringify(fold).slice(0, 120)}`);
  const subtitle = await page.$eval('p.about', (p) => p.textContent);
  check(subtitle.startsWith('5 old runs against 5 new runs'), `runs: the subtitle says '${subtitle}'`);
  // Each row's interval, and whether it should run past the cell's edge
  // on the bars' scale (the largest change).
  const marks = () => page.$$eval('#rows tbody tr', (trs) => {
    const top = Math.max(...trs.map((tr) => Math.abs(parseFloat(tr.getAttribute('data-key'))) || 0));
    return trs.filter((tr) => tr.offsetParent !== null).map((tr) => {
      const cell = tr.cells[tr.cells.length - 1];
      const mark = cell.lastChild;
      const c = cell.getBoundingClientRect(), m = mark.getBoundingClientRect();
      const at = (name) => parseFloat(tr.getAttribute('data-base')) * parseFloat(tr.getAttribute(name)) / 100 / top;
      return { interval: tr.hasAttribute('data-low') && tr.getAttribute('data-low') !== '',
               shown: mark.style.display !== 'none' && mark.style.width !== '',
               inside: m.left >= c.left - 0.5 && m.right <= c.right + 0.5,
               cut: (at('data-low') < -1 ? 'low' : '') + (at('data-high') > 1 ? 'high' : ''),
               marked: (mark.classList.contains('on-low') ? 'low' : '') + (mark.classList.contains('on-high') ? 'high' : '') };
    });
  });
  const heads = await page.$$('#rows thead th');
  const names = await page.$$eval('#rows thead th', (ths) => ths.map((th) => th.textContent));
  for (const step of ['loaded', 'OLD', 'NAME', 'CHANGE%', 'filter']) {
    if (step === 'filter') await page.type('#filter', 'e');
    else if (step !== 'loaded') await heads[names.indexOf(step)].click();
    const all = await marks();
    const withInterval = all.filter((m) => m.interval);
    check(withInterval.length > 5 && withInterval.every((m) => m.shown && m.inside),
          `runs, ${step}: ${withInterval.filter((m) => m.shown).length} of ${withInterval.length} intervals drawn within their cells`);
    check(all.filter((m) => !m.interval).every((m) => !m.shown), `runs, ${step}: a row without an interval has one drawn`);
    check(all.every((m) => m.cut === m.marked) && all.some((m) => m.cut !== ''),
          `runs, ${step}: the intervals that run past the edge are not those marked so`);
  }
  await page.close();
}

// A comparison of one run with one says that it cannot tell a change
// from noise.
async function testOneAgainstOne(browser, made) {
  const page = await browser.newPage();
  await page.goto('file://' + made.file);
  const caption = await page.$$eval('p.runs', (ps) => ps.map((p) => p.textContent).join(' '));
  check(caption.includes('One run against one: a change cannot be told from the noise'),
        `one against one: the caption says '${caption}'`);
  await page.close();
}

// Names break between words only, at 1400 px and 900 px; where the table
// is wider than the window it scrolls sideways, the names staying in view.
async function testNarrow(browser, made) {
  const page = await browser.newPage();
  for (const width of [1400, 900]) {
    await page.setViewport({ width, height: 800 });
    await page.goto('file://' + made.file);
    const seen = await page.evaluate(() => {
      const cells = [...document.querySelectorAll('#rows tbody td.text')];
      const line = parseFloat(getComputedStyle(cells[0]).lineHeight);
      const broken = cells.filter((c) => !c.textContent.includes(' ') &&
                                         c.getBoundingClientRect().height > 1.6 * line).map((c) => c.textContent);
      const box = document.querySelector('div.scroll');
      const scrolls = box.scrollWidth > box.clientWidth;
      box.scrollLeft = box.scrollWidth;
      const name = cells[0].getBoundingClientRect().left - box.getBoundingClientRect().left;
      const other = cells[0].nextElementSibling.getBoundingClientRect().left - box.getBoundingClientRect().left;
      return { broken, scrolls, name, other, pageWide: document.documentElement.scrollWidth > window.innerWidth };
    });
    check(seen.broken.length === 0, `${width} px: names broken inside a word: ${seen.broken.join(', ')}`);
    check(!seen.pageWide, `${width} px: the page itself is wider than the window`);
    if (width === 900)
      check(seen.scrolls && Math.abs(seen.name) < 1 && seen.other < 0,
            `900 px: the table scrolls (${seen.scrolls}) with its names in view (name at ${seen.name}, next at ${seen.other})`);
  }
  await page.close();
}

// A history's page: the total's line above the rules, the rules that
// changed first with their largest change (points, values, change and
// interval), the others folded away and still found by the filter; every
// line on one scale, each point's value on hover, a mark for each change,
// the points' names on an axis; ordered at a click; nothing loaded.
async function testHistory(browser) {
  const cwd = path.join(examples, 'history');
  const points = fs.readdirSync(cwd).sort();
  const run = (extra) => execFileSync(qavprof, [...extra, '-history', ...points], { cwd, stdio: ['ignore', 'pipe', 'ignore'] });
  const file = path.join(work, 'history.html');
  fs.writeFileSync(file, run(['-html']));
  const changed = [];
  for (const line of run(['-csv']).toString().split('\r\n').slice(1)) {
    const name = line.slice(0, line.indexOf(','));
    if (name !== '' && !name.startsWith('(') && !changed.includes(name)) changed.push(name);
  }
  const page = await browser.newPage();
  const outside = [];
  const url = 'file://' + file;
  await page.setRequestInterception(true);
  page.on('request', (request) => {
    if (request.url() !== url) outside.push(request.url());
    request.continue();
  });
  await page.setViewport({ width: 1400, height: 800 });
  await page.goto(url);
  const rows = () => page.$$eval('#rows tbody tr', (trs) => trs.filter((tr) => tr.offsetParent !== null && tr.cells.length > 2)
    .map((tr) => ({
      name: tr.cells[0].textContent, at: tr.cells[1].textContent, pct: tr.cells[4].textContent,
      changes: parseInt(tr.cells[7].textContent, 10), marks: tr.querySelectorAll('line.change').length,
      height: Math.max(0, ...Array.from(tr.querySelectorAll('polyline')).map((p) => p.getBBox().height)) })));
  const headings = await page.$$eval('#rows thead th', (ths) => ths.map((th) => th.textContent));
  check(headings.slice(0, 8).join(' ') === 'NAME AT BEFORE AFTER CHANGE% CI LOW CI HIGH CHANGES',
        `history: the columns are ${headings.join(', ')}`);
  let all = await rows();
  check(all[0].name === '(total)' && all[0].at === 'c12' && all[0].marks === 3,
        `history: the first line is ${JSON.stringify(all[0])}, not the total's`);
  const rules = all.slice(1);
  check(JSON.stringify(rules.map((r) => r.name.replace(/ \(new\)$/, '')).sort()) === JSON.stringify([...changed].sort()),
        `history: the rows shown are ${rules.map((r) => r.name)}, not the changed rules ${changed}`);
  check(rules.every((r) => r.marks === r.changes), 'history: a rule\'s marks are not its changes');
  const identifier = rules.find((r) => r.name === 'identifier');
  check(identifier && identifier.pct === '+13.5%' && identifier.at === 'c04',
        `history: identifier's largest change reads ${JSON.stringify(identifier)}`);
  // One scale: the +100% step is far taller than the 3% wobble of an
  // unchanged rule, shown behind the fold.
  const fold = await page.$eval('#unfold', (b) => b.textContent);
  const unchanged = await page.$$eval('#unchanged tr', (trs) => trs.length);
  check(fold === `show the ${unchanged} unchanged rules` && unchanged > 0, `history: the fold reads '${fold}'`);
  check((await page.$$eval('#unchanged tr', (trs) => trs.filter((tr) => tr.offsetParent !== null).length)) === 0,
        'history: the unchanged rules show before the fold is opened');
  await page.type('#filter', 'punct');
  all = (await rows()).slice(1);
  check(all.length === 1 && all[0].name === 'punctuation', `history: filter 'punct' shows ${all.map((r) => r.name)}`);
  await page.$eval('#filter', (f) => { f.value = ''; f.dispatchEvent(new Event('input')); });
  await page.click('#unfold');
  await page.$eval('#unchanged tr', (tr) => tr.scrollIntoView());
  await new Promise((resolve) => setTimeout(resolve, 200));
  all = await rows();
  const step = all.find((r) => r.name === 'string_char');
  const still = all.find((r) => r.changes === 0 && r.height > 0);
  check(step && still && step.height > 4 * still.height,
        `history: a +100% step ${step && step.height} px high beside an unchanged rule's ${still && still.height} px`);
  // A point's value on hover, as its title says.
  const title = await page.$$eval('#changed tr', (trs) => {
    const tr = trs.find((r) => r.cells[0].textContent === 'string_char');
    return Array.from(tr.querySelectorAll('circle title')).map((t) => t.textContent);
  });
  check(title.length === 12 && /^c05: [0-9.]+ \(\+1[0-9][0-9]\.[0-9]% from c01\)$/.test(title[4]),
        `history: string_char's point c05 reads '${title[4]}'`);
  const axis = await page.$$eval('#axis text', (ts) => ts.map((t) => t.lastChild.textContent));
  check(axis[0] === 'c01' && axis.includes('c12') && axis.length >= 3, `history: the axis names ${axis}`);
  const width = await page.evaluate(() => document.documentElement.scrollWidth);
  check(width <= 1400, `history: ${width} pixels wide, more than a 1400-pixel window`);
  const head = (await page.$$('#rows thead th'))[7];
  await head.click();
  all = (await rows()).slice(1);
  check(all.every((r, i) => i === 0 || all[i - 1].changes >= r.changes || r.changes === 0),
        'history: one click does not order by changes');
  check(outside.length === 0, `history: loaded ${outside.join(', ')}`);
  await page.close();
}

// A gradual change drawn as a span: 20 points of 3 runs of 30 rules, the
// first five 1.5% slower a point from p08 to p15; each row names its span
// (within two points of the truth) and the span's hover says it.
async function testGradual(browser) {
  const dir = path.join(work, 'gradual');
  const points = [];
  let seed = 12345;
  const noise = () => { seed = (seed * 16807) % 2147483647; return 0.97 + 0.06 * seed / 2147483647; };
  for (let t = 1; t <= 20; ++t) {
    const name = `p${String(t).padStart(2, '0')}`;
    points.push(name);
    fs.mkdirSync(path.join(dir, name), { recursive: true });
    for (let r = 1; r <= 3; ++r) {
      let text = 'QAV match profile: name calls matched searches matches time nodes cells\n';
      for (let g = 1; g <= 30; ++g) {
        const creep = g <= 5 && t > 7 ? Math.pow(1.015, Math.min(t - 7, 8)) : 1;
        text += `rule${g} ${g} 1 1 1 ${Math.floor(1000 * g * g * creep * noise())} 1 1\n`;
      }
      fs.writeFileSync(path.join(dir, name, `run${r}.prof`), text);
    }
  }
  const file = path.join(work, 'gradual.html');
  fs.writeFileSync(file, execFileSync(qavprof, ['-html', '-history', ...points], { cwd: dir, stdio: ['ignore', 'pipe', 'ignore'] }));
  const page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 800 });
  await page.goto('file://' + file);
  const spans = await page.$$eval('#rows tbody tr', (trs) => trs.filter((tr) => tr.cells.length > 2).map((tr) => ({
    name: tr.cells[0].textContent, at: tr.cells[1].textContent,
    title: Array.from(tr.querySelectorAll('rect.change')).map((r) => r.textContent).join('|') })));
  const creeping = spans.filter((s) => /^rule[1-5]$/.test(s.name));
  check(creeping.length >= 4 && creeping.every((s) => /^p0[6-9]\.\.p1[3-7]$/.test(s.at) &&
                                                   s.title.startsWith(`gradual change at ${s.at}`)),
        `gradual: the creeping rules read ${JSON.stringify(creeping)}`);
  await page.close();
}

(async () => {
  const browser = await puppeteer.launch({
    executablePath: chromium,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  try {
    await testPage(browser, 'match profile', make('match', [], examples), 'expr');
    await testPage(browser, 'parse profile', make('parse', ['-parse', '-cycles'], examples), 'list');
    const names = make('hostile', [], hostile);
    await testPage(browser, 'hostile names', names, '&');
    const page = await browser.newPage();
    await page.goto('file://' + names.file);
    const shown = (await visible(page)).map((r) => r.name).sort();
    check(JSON.stringify(shown) === JSON.stringify([...names.names].sort()), 'hostile names do not show as text');
    await page.close();
    const percall = make('percall', ['-parse', '-percall'], examples);
    await testPage(browser, 'per-call parse profile', percall, 'list');
    await testNarrow(browser, percall);
    const comparison = make('diff', ['-diff', path.join(examples, 'qav.rprofout')], examples);
    comparison.total = true;
    await testPage(browser, 'comparison', comparison, 'ex');
    await testOneAgainstOne(browser, comparison);
    const five = [1, 2, 3, 4, 5];
    const runs = make('runs', ['-diff', ...five.map((n) => `runs/old${n}.prof`), '--',
                               ...five.map((n) => `runs/new${n}.prof`)], examples);
    runs.total = true;
    runs.runs = true;
    await testPage(browser, 'comparison of runs', runs, 'word');
    await testIntervals(browser, runs);
    await testHistory(browser);
    await testGradual(browser);
  } finally {
    await browser.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed === 0 ? 0 : 1);
})().catch((e) => { console.log(`FAIL: ${e.stack}`); process.exit(1); });
