// The web page in Debian's chromium, headless, against the native program:
// every input goes through the page's own file input, and for each the
// status, the words shown, the output's name and its bytes must be the
// native program's for the same file under the same name.
//
// node browser-test.mjs --url URL --native PROGRAM --work DIR --inputs DIR...
//   [--big] [--runs N] [--screenshots DIR]
// --big converts a 256 MiB and a 1 GiB input (made in --work, removed after),
// each --runs times (default 1), and reports the times beside the native
// program's and the browser's memory before and at its peak.
import crypto from 'node:crypto';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const opts = { inputs: [], runs: 1, big: false };
for (let i = 2; i < process.argv.length; i++) {
  const a = process.argv[i].replace(/^--/, '');
  if (a === 'big') opts.big = true;
  else if (a === 'inputs') opts.inputs.push(process.argv[++i]);
  else opts[a] = process.argv[++i];
}
opts.runs = Number(opts.runs);
const url = opts.url;
const origin = new URL(url).origin;
const work = fs.mkdtempSync(path.join(opts.work, 'browser-test-'));
const slice = 64 << 20;  // outputs are compared by the SHA-256 of each 64 MiB

let passed = 0;
let failed = 0;
function check(ok, what) {
  if (ok) passed++;
  else {
    failed++;
    console.log(`FAILED: ${what}`);
  }
  return ok;
}

function sliceHashes(file) {
  const hashes = [];
  const fd = fs.openSync(file, 'r');
  const buffer = Buffer.alloc(slice);
  for (;;) {
    const got = fs.readSync(fd, buffer, 0, slice, null);
    if (got === 0) break;
    hashes.push(crypto.createHash('sha256').update(buffer.subarray(0, got)).digest('hex'));
  }
  fs.closeSync(fd);
  return hashes;
}

// The native program on `file`, given the file's own name in a fresh folder.
function native(file, limitKiB) {
  const dir = fs.mkdtempSync(path.join(work, 'native-'));
  const name = path.basename(file);
  fs.symlinkSync(path.resolve(file), path.join(dir, name));
  const started = performance.now();
  const run = limitKiB
    ? spawnSync('bash', ['-c', `ulimit -f ${limitKiB}; exec "$0" "$1"`, opts.native, name], { cwd: dir })
    : spawnSync(opts.native, [name], { cwd: dir });
  const seconds = (performance.now() - started) / 1000;
  const outputs = fs.readdirSync(dir).filter((n) => n !== name);
  const result = { status: run.status, stdout: run.stdout.toString('utf8'), seconds, output: '', size: -1, hashes: [] };
  if (outputs.length === 1) {
    const out = path.join(dir, outputs[0]);
    result.output = outputs[0];
    result.size = fs.statSync(out).size;
    result.hashes = sliceHashes(out);
  }
  fs.rmSync(dir, { recursive: true, force: true });
  return result;
}

// Sum of the memory of the browser's processes: proportional set size (each
// shared page counted once across them) and resident set size.
function browserMemory(rootPid) {
  const parent = new Map();
  for (const pid of fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      parent.set(Number(pid), Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]));
    } catch { /* gone */ }
  }
  const tree = new Set([rootPid]);
  for (let grew = true; grew;) {
    grew = false;
    for (const [pid, ppid] of parent) {
      if (!tree.has(pid) && tree.has(ppid)) { tree.add(pid); grew = true; }
    }
  }
  let pss = 0;
  let rss = 0;
  for (const pid of tree) {
    try {
      const rollup = fs.readFileSync(`/proc/${pid}/smaps_rollup`, 'utf8');
      pss += Number(/^Pss:\s+(\d+)/m.exec(rollup)[1]);
      rss += Number(/^Rss:\s+(\d+)/m.exec(rollup)[1]);
    } catch { /* gone */ }
  }
  return { pss: pss / 1024, rss: rss / 1024 };  // MiB
}

function sampleMemory(pid) {
  const peak = { pss: 0, rss: 0 };
  const take = () => {
    const m = browserMemory(pid);
    peak.pss = Math.max(peak.pss, m.pss);
    peak.rss = Math.max(peak.rss, m.rss);
  };
  take();
  const timer = setInterval(take, 100);
  return () => { clearInterval(timer); take(); return peak; };
}

const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  userDataDir: path.join(work, 'profile'),
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--disable-dev-shm-usage'],
  defaultViewport: { width: 800, height: 860 },
  protocolTimeout: 600_000,
});
const requests = [];

async function openPage(hash = '') {
  const page = await browser.newPage();
  page.on('request', (r) => requests.push(r.url()));
  page.on('pageerror', (e) => check(false, `page error: ${e.message}`));
  page.on('console', (m) => { if (m.type() === 'error') check(false, `console error: ${m.text()}`); });
  await page.goto(url + hash, { waitUntil: 'load' });
  await page.waitForSelector('body[data-output]');  // the worker has started
  return page;
}

const count = (page) => page.$$eval('#results li', (lis) => lis.length);

// Feeds `files` through the file input and waits for their results.
async function feed(page, files, timeout = 300_000) {
  const before = await count(page);
  const input = await page.$('#files');
  await input.uploadFile(...files.map((f) => path.resolve(f)));
  await page.waitForFunction((n) => document.querySelectorAll('#results li[data-status]').length >= n,
    { timeout, polling: 50 }, before + files.length);
  return before;
}

// The results from index `from` on, with the SHA-256 of each 64 MiB of what
// the page offers to save; then each output is discarded.
async function results(page, from) {
  const found = await page.$$eval('#results li', async (lis, from, slice) => {
    const hex = (b) => [...new Uint8Array(b)].map((x) => x.toString(16).padStart(2, '0')).join('');
    const out = [];
    for (const li of lis.slice(from)) {
      const r = {
        name: li.dataset.name, status: li.dataset.status, stdout: li.dataset.stdout, output: li.dataset.output,
        seconds: Number(li.dataset.seconds), entry: li.dataset.entry || '', size: -1, hashes: [],
        shown: [...li.querySelectorAll('.said')].map((p) => p.textContent),
        link: li.querySelector('a[download]')?.getAttribute('download') ?? '',
      };
      if (li.output) {
        r.size = li.output.size;
        for (let at = 0; at < li.output.size; at += slice) {
          r.hashes.push(hex(await crypto.subtle.digest('SHA-256', await li.output.slice(at, at + slice).arrayBuffer())));
        }
      }
      li.querySelector('.actions button:last-of-type')?.click();  // Discard
      out.push(r);
    }
    return out;
  }, from, slice);
  return found;
}

// What the page must show for the native program's stdout: the banner's
// words, then the message's, each trimmed of its line ends.
function shownFor(stdout) {
  const end = stdout.startsWith('\n Convert ') ? stdout.indexOf(')\n\n') + 3 : 0;
  return [stdout.slice(0, end), stdout.slice(end)].map((t) => t.trim()).filter((t) => t !== '');
}

function compare(web, want, label) {
  const ok = [
    check(web.status === String(want.status), `${label}: status ${web.status}, native ${want.status}`),
    check(web.stdout === want.stdout, `${label}: said ${JSON.stringify(web.stdout)}, native ${JSON.stringify(want.stdout)}`),
    check(JSON.stringify(web.shown) === JSON.stringify(shownFor(want.stdout)), `${label}: shown ${JSON.stringify(web.shown)}`),
    check(web.output === want.output && web.link === want.output,
      `${label}: output ${JSON.stringify(web.output)} / link ${JSON.stringify(web.link)}, native ${JSON.stringify(want.output)}`),
    check(web.size === want.size && web.hashes.join() === want.hashes.join(),
      `${label}: ${web.size} bytes saved, native ${want.size}, or their bytes differ`),
  ];
  return ok.every(Boolean);
}

async function convertAll(page, files, batch = 100) {
  let same = 0;
  for (let i = 0; i < files.length; i += batch) {
    const part = files.slice(i, i + batch);
    const from = await feed(page, part);
    const got = await results(page, from);
    check(got.length === part.length, `${got.length} results for ${part.length} files`);
    for (const [k, file] of part.entries()) {
      const web = got[k];
      if (!check(web && web.name === path.basename(file), `result ${k} is for ${web?.name}, not ${file}`)) continue;
      if (compare(web, native(file), path.basename(file))) same++;
    }
  }
  return same;
}

async function entriesLeft(page) {
  return page.evaluate(async () => {
    const names = [];
    for await (const name of (await navigator.storage.getDirectory()).keys()) names.push(name);
    return names;
  });
}

async function noEntriesLeft(page, what) {
  let left = [];
  for (let i = 0; i < 50; i++) {
    left = await entriesLeft(page);
    if (left.length === 0) break;
    await new Promise((r) => setTimeout(r, 100));
  }
  check(left.length === 0, `${what}: left in the private file system: ${left.join(', ')}`);
}

function bigWav(file, size) {
  // The benchmark's input, the same bytes for the same size.
  const made = spawnSync('python3', ['wavgen.py', 'bench', String(size), path.resolve(file)],
    { cwd: new URL('../../tools/', import.meta.url), stdio: 'inherit' });
  if (made.status !== 0) throw new Error(`wavgen.py bench ${size}: status ${made.status}`);
}

const shots = opts.screenshots;
const shoot = async (page, name) => {
  if (shots) await page.screenshot({ path: path.join(shots, `web-${name}.png`) });
};

const inputs = opts.inputs.flatMap((dir) => fs.readdirSync(dir).sort().map((n) => path.join(dir, n)));
const page = await openPage();
check(await page.$eval('#fallback', (p) => p.hidden), 'the fallback notice shows where OPFS works');
await shoot(page, 'before');
// By keyboard: the first Tab reaches the file input, and Enter opens it.
await page.keyboard.press('Tab');
check(await page.evaluate(() => document.activeElement.id) === 'files', 'the first Tab reaches the file input');
{
  // The browser catches the chooser only once puppeteer has asked it to, and
  // that request can arrive after the key on a slow start: then the chooser
  // went by unseen, and Enter on the focused input is pressed again.
  let chooser = null;
  for (let attempt = 0; attempt < 3 && !chooser; attempt++) {
    const opened = page.waitForFileChooser({ timeout: 5_000 }).catch((e) => {
      if (e.name !== 'TimeoutError') throw e;
      return null;
    });
    await page.focus('#files');
    await page.keyboard.press('Enter');
    chooser = await opened;
  }
  check(chooser !== null, 'Enter on the file input opens the file chooser');
  if (chooser) {
    check(chooser.isMultiple(), 'the file input takes several files');
    await chooser.cancel();
  }
}

// The example alone, then a refusal: the screenshots after each.
const example = inputs.find((f) => path.basename(f) === 'sim.wav');
const refused = inputs.find((f) => path.basename(f) === 'stage5-extensible.wav');
for (const [file, name] of [[example, 'converted'], [refused, 'refused']]) {
  const from = await feed(page, [file]);
  await shoot(page, name);
  if (name === 'refused' && shots) {
    await page.setViewport({ width: 390, height: 844, deviceScaleFactor: 1 });
    await shoot(page, 'phone');
    await page.setViewport({ width: 800, height: 860 });
  }
  compare((await results(page, from))[0], native(file), path.basename(file));
}

const report = [];
if (opts.big) {
  const big = path.join(work, 'big256.wav');
  bigWav(big, 256 << 20);

  // Cancel midway: the result says so and nothing stays behind.
  const input = await page.$('#files');
  await input.uploadFile(big);
  await page.waitForFunction(() => document.getElementById('bar').value > 32 << 20, { polling: 20 });
  await shoot(page, 'during');
  await page.click('#cancel');
  check(await page.$eval('#results li:last-child', (li) => li.dataset.status) === 'cancelled', 'cancel: the result says so');
  await noEntriesLeft(page, 'after cancel');

  // Each run, in a page of its own opened for it (what the test reads back
  // afterwards stays out of the next run's figures): the native program's
  // time, the page's, and the browser's memory just before and at its peak
  // while the page converts.
  const measure = async (file, label) => {
    const want = native(file);
    const runs = [];
    for (let run = 0; run < opts.runs; run++) {
      const nativeSeconds = run === 0 ? want.seconds : native(file).seconds;
      const fresh = await openPage();
      const idle = browserMemory(browser.process().pid);
      const stop = sampleMemory(browser.process().pid);
      const t0 = performance.now();
      const from = await feed(fresh, [file], 900_000);
      const wall = (performance.now() - t0) / 1000;
      const peak = stop();
      const [web] = await results(fresh, from);
      compare(web, want, `${label} run ${run + 1}`);
      runs.push({ nativeSeconds, worker: web.seconds, wall, idle, peak });
      await noEntriesLeft(fresh, `${label} run ${run + 1}`);
      await fresh.close();
    }
    fs.rmSync(file);
    const list = (f) => runs.map(f).join(' ');
    report.push(`${label} input, ${runs.length} run(s): native ${list((r) => r.nativeSeconds.toFixed(3))} s;` +
      ` page (conversion in the worker) ${list((r) => r.worker.toFixed(3))} s, (pick to result) ${list((r) => r.wall.toFixed(3))} s;` +
      ` browser PSS before/peak ${list((r) => `${r.idle.pss.toFixed(0)}/${r.peak.pss.toFixed(0)}`)} MiB,` +
      ` RSS before/peak ${list((r) => `${r.idle.rss.toFixed(0)}/${r.peak.rss.toFixed(0)}`)} MiB`);
  };
  await measure(big, '256 MiB');
  const huge = path.join(work, 'big1g.wav');
  bigWav(huge, 1 << 30);
  await measure(huge, '1 GiB');
  await noEntriesLeft(page, 'after the large inputs');
}

// A file cut short while it is read: the program's read failure, after the
// samples that arrived.
{
  const changing = path.join(work, 'changing.wav');
  bigWav(changing, 256 << 20);
  const from = await count(page);
  await (await page.$('#files')).uploadFile(changing);
  await page.waitForFunction(() => document.getElementById('bar').value > 4 << 20, { polling: 10 });
  fs.truncateSync(changing, 32 << 20);
  await page.waitForFunction((n) => document.querySelectorAll('#results li[data-status]').length >= n,
    { polling: 50 }, from + 1);
  const [web] = await results(page, from);
  check(web.status === '1' &&
    web.stdout === '\n Convert changing.wav to Halvorine format (halvorine-changing.ddc)\n\n\nERROR: Failed to read input file.\n',
    `cut short while read: ${web.status} ${JSON.stringify(web.stdout)}`);
  check(web.size > 0 && web.size < 48 + (256 << 20) / 3 * 4, `cut short while read: ${web.size} bytes saved`);
  fs.rmSync(changing);
}

// Everything else, in batches through the same input.
const rest = inputs.filter((f) => f !== example && f !== refused);
const same = await convertAll(page, rest);
report.push(`${same} of ${rest.length} further inputs converted and said as the native program does`);
await noEntriesLeft(page, 'after the batches');

// A full storage quota is the program's write failure, as a file size limit
// is for the native one.
const quotaFile = path.join(work, 'quota.wav');
bigWav(quotaFile, 12 << 20);
const cdp = await page.createCDPSession();
await cdp.send('Storage.overrideQuotaForOrigin', { origin, quotaSize: 4 << 20 });
{
  const from = await feed(page, [quotaFile]);
  const [web] = await results(page, from);
  const want = native(quotaFile, 512);
  check(want.stdout.endsWith('\nERROR: Failed to write output file.\n'), `quota: the native program says ${JSON.stringify(want.stdout)}`);
  check(web.status === '1' && web.stdout === want.stdout, `quota: said ${JSON.stringify(web.stdout)}, status ${web.status}`);
  console.log(`quota: ${web.size} bytes kept`);
  check(web.size <= 4 << 20, `quota: ${web.size} bytes kept`);
}
await cdp.send('Storage.overrideQuotaForOrigin', { origin });
await noEntriesLeft(page, 'after the quota');

// The fallback that holds the output in memory, on the valid inputs and the
// stage refusals.
const memoryPage = await openPage('#memory');
check(!(await memoryPage.$eval('#fallback', (p) => p.hidden)), 'the fallback notice shows in memory mode');
const some = inputs.filter((f) => /^(seed-[a-z0-9-]+|stage.*|sim)\.wav$/.test(path.basename(f)) && !/-cut/.test(f) ||
  path.basename(f) === 'nodot');
const sameInMemory = await convertAll(memoryPage, some);
report.push(`${sameInMemory} of ${some.length} inputs the same through the in-memory fallback`);
await noEntriesLeft(memoryPage, 'the in-memory fallback');

// Leaving the page with an output not saved: it is gone from the private
// file system when the page opens again (removed on leaving, or swept then).
{
  const from = await feed(page, [example]);
  check(await page.$eval('#results li:last-child', (li) => !!li.dataset.entry), 'an output is kept until saved');
  check(from >= 0 && (await entriesLeft(page)).length === 1, 'one output in the private file system');
  await page.goto(url, { waitUntil: 'load' });
  await page.waitForSelector('body[data-output]');
  await noEntriesLeft(page, 'after leaving the page');
}

const strays = requests.filter((r) => !r.startsWith(origin + '/'));
check(strays.length === 0, `requests that left the page: ${strays.join(', ')}`);
report.push(`${requests.length} requests from the pages, ${strays.length} to anywhere but ${origin}`);

await browser.close();
fs.rmSync(work, { recursive: true, force: true });
for (const line of report) console.log(line);
console.log(`browser test: ${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
