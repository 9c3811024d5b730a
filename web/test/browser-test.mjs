// The web page in one browser engine against the native program: every
// input goes through the page's own file input, and for each the status, the
// words shown, the output's name and its bytes must be the native program's
// for the same file under the same name. The page is served from SITE on
// loopback (the server's log in --work, server-ENGINE.log), then opened with
// no server, and from FILE_URL as a file.
//
// node browser-test.mjs --engine ENGINE --site SITE --file-url FILE_URL
//   --native PROGRAM --work DIR --inputs DIR... [--big | --big-only | --many] [--runs N] [--screenshots DIR]
// ENGINE: chromium, firefox, firefox-private (Firefox ESR in a private
// window), webkit (WebKitGTK's MiniBrowser under xvfb-run), webkit-storage
// (with the storage features Safari ships). --big converts a 256 MiB input
// --runs times (default 3), and in chromium a 1 GiB one once (made in
// --work, removed after), zips outputs of more than 2 GiB and converts 2 GiB
// into a folder, and reports the times beside the native program's and the
// floor's (see floor below), and the browser's memory before and at its
// peak; it also converts the folder of a thousand small recordings, which
// chromium converts in every run, in Firefox and WebKitGTK. The last lines,
// "table: ...", are tools/web-check.sh's table. --big-only converts the 256
// MiB input once (--runs, if given) and the 1 GiB one, after the example and
// a refusal, and nothing else: no 2 GiB zip, nothing into a folder. --many
// times 1,000 and 10,000 files picked at once (see many below), and nothing
// else.
//
// Every input is converted in chromium. The other engines run the same
// WebAssembly, so there each input would prove again what chromium proved;
// they convert the inputs that go through the engine's own reading, storing
// and naming (see engineInputs), and every other case below.
import crypto from 'node:crypto';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const opts = { inputs: [], big: false, engine: 'chromium' };
for (let i = 2; i < process.argv.length; i++) {
  const a = process.argv[i].replace(/^--/, '');
  if (a === 'big') opts.big = true;
  else if (a === 'big-only') opts.big = opts.bigOnly = true;
  else if (a === 'many') opts.many = true;
  else if (a === 'inputs') opts.inputs.push(process.argv[++i]);
  else opts[a] = process.argv[++i];
}
opts.runs = Number(opts.runs ?? (opts.bigOnly ? 1 : 3));
const work = fs.mkdtempSync(path.join(opts.work, 'browser-test-'));
const engineName = opts.engine;
const chromium = engineName === 'chromium';
const slice = 64 << 20;  // outputs are compared by the SHA-256 of each 64 MiB

let passed = 0;
let failed = 0;
// Where the test is, for a log read after a hang, and how long each part took.
const began = performance.now();
const step = (what) => console.log(`${opts.engine}: ${what} (at ${((performance.now() - began) / 1000).toFixed(1)} s)`);
function check(ok, what) {
  if (ok) passed++;
  else {
    failed++;
    console.log(`FAILED: ${what}`);
  }
  return ok;
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
// How long a wait for a page's or a file's state goes on before the test
// gives up: a guard against a hang, never a measure. Every wait is for a
// state, so that what it checks holds however loaded the machine is.
const patience = 300_000;
// `get`'s value, asked every 100 ms until `done` says it is the one waited
// for, or patience runs out.
async function until(get, done) {
  let value;
  for (const end = Date.now() + patience; !done(value = await get()) && Date.now() < end;) await sleep(100);
  return value;
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

// The page on loopback, stopped and started again on the same port for the
// check with no server.
const site = { port: 0, process: null, log: fs.openSync(path.join(opts.work, `server-${engineName}.log`), 'a') };
// Every address the test itself opens on the server, one a line, so that
// tools/web-check.sh can tell the page's own requests from the test's.
const openedLog = fs.openSync(path.join(opts.work, `opened-${engineName}.log`), 'a');
const opened = (to) => {
  const at = new URL(to);
  if (at.host === `127.0.0.1:${site.port}`) fs.writeSync(openedLog, `${at.pathname}${at.search}\n`);
  return to;
};

// A copy of the site's files, so that the test can make a new build of it
// and variants of its own.
const served = path.join(work, 'site');
const siteFiles = Object.keys(JSON.parse(fs.readFileSync(new URL('../files.json', import.meta.url), 'utf8')).files);
for (const name of siteFiles) fs.cpSync(path.join(opts.site, name), path.join(served, name));

// A variant of the page in a folder of its own under the site, `edits`
// giving for each file the texts to replace: each must be found, or the
// variant would test nothing.
function variant(name, edits) {
  const dir = path.join(served, name);
  for (const file of siteFiles) {
    let text = fs.readFileSync(path.join(served, file));
    for (const [from, to] of edits[file] ?? []) {
      const was = text.toString();
      if (!was.includes(from)) throw new Error(`variant ${name}: ${JSON.stringify(from)} is not in ${file}`);
      text = was.replace(from, to);
    }
    fs.mkdirSync(dir, { recursive: true });
    fs.writeFileSync(path.join(dir, file), text);
  }
  return `${url}${name}/`;
}
// The server and the WebKit driver go with this script, even when it fails.
const ending = [];
process.on('exit', () => ending.forEach((end) => end()));
ending.push(() => site.process?.kill());
const freePort = () => new Promise((r) => {
  const s = net.createServer().listen(0, '127.0.0.1', () => { const { port } = s.address(); s.close(() => r(port)); });
});
async function serve() {
  site.port ||= await freePort();
  site.process = spawn('python3', ['-m', 'http.server', '--bind', '127.0.0.1', '--directory', served, String(site.port)],
    { stdio: ['ignore', 'ignore', site.log] });
  if (!(await until(() => fetch(opened(`http://127.0.0.1:${site.port}/`)).then(() => true, () => false), Boolean))) {
    throw new Error('the server did not start');
  }
}
async function unserve() {
  const ended = new Promise((r) => site.process.once('exit', r));
  site.process.kill();
  await ended;
}
await serve();
const url = `http://127.0.0.1:${site.port}/`;
const origin = new URL(url).origin;
const downloads = path.join(work, 'downloads');
fs.mkdirSync(downloads);

// Scrolled to the middle of the view, once the page has drawn what it
// brought into sight: results out of sight are laid out at a size they
// will not keep (content-visibility), and a click at where an element was
// before they are drawn would land on another.
async function inSight(selector) {
  document.querySelector(selector)?.scrollIntoView({ block: 'center' });
  for (let i = 0; i < 3; i++) await new Promise((r) => requestAnimationFrame(r));
}

// Each engine behind the same few calls: puppeteer for chromium and firefox,
// plain WebDriver for WebKitGTK. A page: goto, run (a function in the page,
// awaited), waitFor, upload, click, shot, close.
// The errors a test expects the browser to report while it makes them.
let tolerated = null;
async function puppeteerEngine(launch) {
  const browser = await puppeteer.launch({
    headless: true, defaultViewport: { width: 800, height: 860 }, protocolTimeout: 360_000, ...launch,
  });
  const newPage = async () => {
    const page = await browser.newPage();
    page.on('request', (r) => requests.push(r.url()));
    page.on('dialog', (d) => { dialogs.push(d.type()); d.accept().catch(() => {}); });
    page.on('pageerror', (e) => check(tolerated?.test(e.message), `page error: ${e.message}`));
    page.on('console', (m) => { if (m.type() === 'error') check(tolerated?.test(m.text()), `console error: ${m.text()}`); });
    // Set again before each download: a page closed since takes its setting with it.
    const cdp = chromium ? await page.createCDPSession() : null;
    const allowDownloads = () => cdp?.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    await allowDownloads();
    return {
      raw: page,
      allowDownloads,
      goto: (to) => page.goto(opened(to), { waitUntil: 'load' }),
      run: (fn, ...args) => page.evaluate(fn, ...args),
      waitFor: (fn, arg, timeout = patience) => page.waitForFunction(fn, { timeout, polling: 50 }, arg),
      upload: async (files, at = '#files') => (await page.$(at)).uploadFile(...files),
      // A page behind another never finishes a click (it waits for frames).
      click: async (selector) => {
        await page.bringToFront();
        await page.evaluate(inSight, selector);
        await page.click(selector);
      },
      shot: (file) => page.screenshot({ path: file }),
      close: () => page.close(),
    };
  };
  return { version: await browser.version(), pid: browser.process().pid, newPage, close: () => browser.close() };
}

async function webkitEngine(features) {
  const port = await freePort();
  // Downloads go to the home folder.
  const driver = spawn('xvfb-run', ['-a', '-s', '-screen 0 1280x1024x24', 'WebKitWebDriver', `--port=${port}`],
    { detached: true, stdio: 'ignore', env: { ...process.env, HOME: downloads } });
  ending.push(() => { try { process.kill(-driver.pid); } catch { /* gone */ } });
  const base = `http://127.0.0.1:${port}`;
  const call = async (method, to, body) => {
    const reply = await (await fetch(base + to, { method, body: body && JSON.stringify(body) })).json();
    if (reply.value?.error) throw new Error(`WebDriver ${to}: ${reply.value.error}: ${reply.value.message}`);
    return reply.value;
  };
  await until(() => call('GET', '/status').catch(() => null), Boolean);
  const binary = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
  const { sessionId, capabilities } = await call('POST', '/session', { capabilities: { alwaysMatch: {
    unhandledPromptBehavior: 'accept',
    'webkitgtk:browserOptions': { binary: process.env.MINIBROWSER || binary, args: ['--automation', ...features] } } } });
  const to = (p) => `/session/${sessionId}${p}`;
  await call('POST', to('/timeouts'), { script: 900_000 });
  await call('POST', to('/window/rect'), { width: 800, height: 860 });
  const element = async (selector) => Object.values(await call('POST', to('/element'), { using: 'css selector', value: selector }))[0];
  const run = async (fn, ...args) => {
    const script = `const done = arguments[arguments.length - 1];
      Promise.resolve((${fn}).apply(null, [...arguments].slice(0, -1))).then((v) => done({ v }), (e) => done({ e: String(e) }));`;
    const { v, e } = await call('POST', to('/execute/async'), { script, args });
    if (e) throw new Error(e);
    return v;
  };
  const page = {
    goto: (u) => call('POST', to('/url'), { url: opened(u) }),
    run,
    waitFor: async (fn, arg, timeout = patience) => {
      // A page that is navigating answers nothing: asked again.
      for (const end = Date.now() + timeout; Date.now() < end; await sleep(50)) if (await run(fn, arg).catch(() => false)) return;
      throw new Error(`timed out: ${fn}`);
    },
    upload: async (files, at = '#files') => call('POST', to(`/element/${await element(at)}/value`), { text: files.join('\n') }),
    click: async (selector) => {
      await run(inSight, selector);
      await call('POST', to(`/element/${await element(selector)}/click`), {});
    },
    shot: async (file) => fs.writeFileSync(file, Buffer.from(await call('GET', to('/screenshot')), 'base64')),
    close: async () => {},
  };
  // The driver's own process, under xvfb-run: the browser's processes are its children.
  const pid = Number(fs.readdirSync('/proc').find((p) => /^\d+$/.test(p) &&
    fs.readFileSync(`/proc/${p}/cmdline`, 'utf8').startsWith(`WebKitWebDriver\0--port=${port}`)));
  return {
    version: `WebKitGTK MiniBrowser ${capabilities.browserVersion}`, pid, newPage: async () => page,
    close: () => call('DELETE', to('')).catch(() => {}),
  };
}

const requests = [];
const dialogs = [];  // the prompts the pages raised, by type
const chromiumArgs = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync', '--disable-dev-shm-usage'];
const firefox = (privately, prefs = {}, profile = 'profile') => puppeteerEngine({
  browser: 'firefox', protocol: 'webDriverBiDi', executablePath: process.env.FIREFOX || '/usr/bin/firefox-esr',
  userDataDir: path.join(work, profile),  // beside the inputs, as chromium's
  extraPrefsFirefox: { 'browser.privatebrowsing.autostart': privately, 'browser.download.dir': downloads,
    'browser.download.folderList': 2, 'browser.download.useDownloadDir': true, ...prefs },
});
const engines = {
  chromium: () => puppeteerEngine({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    userDataDir: path.join(work, 'profile'), args: chromiumArgs }),
  firefox: () => firefox(false),
  'firefox-private': () => firefox(true),
  webkit: () => webkitEngine([]),
  'webkit-storage': () => webkitEngine(['--features=+StorageAPI,+FileSystem,+AccessHandle']),
};
const browser = await engines[engineName]();
console.log(`${engineName}: ${browser.version}`);

// Where the page says its outputs go, by the footer it shows: 'storage',
// 'memory', or '' before its worker has said.
const outputsGo = () => ({ kept: 'storage', 'kept-save-as': 'storage', held: 'memory' })[
  document.querySelector('footer p:not([hidden])')?.id] ?? '';

// Once the page's worker has started or it has said it cannot. From then on
// the test keeps, from outside, the Blob behind each link the page makes,
// for as long as the link's URL is live: what the link saves.
async function openedPage(page) {
  await page.waitFor(() => document.querySelector('footer p:not([hidden])') || !document.getElementById('cannot').hidden ||
    !document.getElementById('not-started').hidden);
  await page.run(() => {
    if (window.linked) return;
    const linked = window.linked = new Map();
    const [make, revoke] = [URL.createObjectURL, URL.revokeObjectURL];
    URL.createObjectURL = (blob) => {
      const url = make(blob);
      linked.set(url, blob);
      return url;
    };
    URL.revokeObjectURL = (url) => {
      linked.delete(url);
      revoke(url);
    };
  });
}

// A page at `at`, once opened.
async function openPage(hash = '', at = url, on = browser) {
  const page = await on.newPage();
  await page.goto(at + hash);
  await openedPage(page);
  return page;
}

// Two builds after this one, made by changing the served files: the next
// one's worker cannot start, and the one after is whole again. Each waits
// while a page of the build before is open, and takes over when a page
// reloads by its offer; a page of an older build open meanwhile is served
// its own build's files, and its build's cache stays until it is closed.
// Before the next build is whole on the server, its service worker alone
// (its other files still the build before's) is not installed.
async function newBuilds() {
  const webkit = engineName.startsWith('webkit');
  const file = (name) => path.join(served, name);
  const original = Object.fromEntries(['sw.js', 'index.html', 'worker.js'].map((n) => [n, fs.readFileSync(file(n), 'utf8')]));
  const first = /version = "([0-9a-f]+)"/.exec(original['sw.js'])[1];
  const listing = JSON.parse(fs.readFileSync(new URL('../files.json', import.meta.url), 'utf8')).files;
  // A build's version as pack.py makes it, with `worker` for worker.js.
  const versionOf = (worker) => {
    const digest = crypto.createHash('sha256');
    for (const name of Object.keys(listing).filter((n) => listing[n].includes('cached'))) {
      const bytes = name === 'worker.js' ? worker : name === 'index.html' ? original[name].replaceAll(first, '@VERSION@') : fs.readFileSync(file(name));
      digest.update(`${name}\0`).update(bytes);
    }
    return digest.digest('hex').slice(0, 16);
  };
  // Each file written with a time of its own: the server's Last-Modified
  // counts whole seconds, and a service worker written twice within one
  // would be answered 304 and kept as it was.
  let mtime = Math.floor(Date.now() / 1000);
  const write = (name, text) => {
    fs.writeFileSync(file(name), text);
    mtime += 2;
    fs.utimesSync(file(name), mtime, mtime);
  };
  const stampSw = (build) => write('sw.js', original['sw.js'].replace(`version = "${first}"`, `version = "${build}"`));
  const makeBuild = (change) => {
    const worker = change + original['worker.js'];
    const build = versionOf(worker);
    stampSw(build);
    write('index.html', original['index.html'].replace(`content="${first}"`, `content="${build}"`));
    write('worker.js', worker);
    return build;
  };
  const broken = "throw new Error('the next build');\n";
  // The state the service worker an update finds reaches (none: gone
  // before it was seen).
  const installs = (on) => on.run(() => navigator.serviceWorker.getRegistration().then(async (r) => {
    await r.update().catch(() => {});  // an install that fails may fail the update with it
    const w = r.installing;
    if (!w) return r.waiting ? 'installed' : 'none';
    return new Promise((done) => {
      const settled = () => ['installed', 'redundant'].includes(w.state) && done(w.state);
      w.addEventListener('statechange', settled);
      settled();
    });
  }));
  const builds = (on) => on.run((at) => caches.keys().then((k) => k.filter((n) => n.startsWith(`halvorine ${at} `))
    .map((n) => n.slice(-16)).sort().join(' ')), url);
  const buildOf = (on) => on.run(() => document.querySelector('meta[name="halvorine-build"]').content);
  const update = (on) => on.run(() => navigator.serviceWorker.getRegistration().then((r) => r.update()));
  const offered = (on) => on.waitFor(() => !document.getElementById('update').hidden).then(() => true, () => false);
  step('new build: half published');
  stampSw(versionOf(broken));
  const half = await installs(page);
  check(['redundant', 'none'].includes(half) && await page.run(() => document.getElementById('update').hidden),
    `a service worker whose build's files are not served yet: ${half}`);

  step('new build: made');
  const next = makeBuild(broken);
  await update(page);
  check(await offered(page), 'a new build: the page offers to reload');
  check(await page.run(() => navigator.serviceWorker.getRegistration().then((r) => !!r.waiting && !!r.active)), 'a new build waits');
  step('new build: offered');
  // Not yet: an output not saved is counted, and Reload asks first.
  const from = await feed(page, [example]);
  const unsaved = await page.run(() => document.getElementById('unsaved').textContent);
  check(unsaved === '1 converted file is not saved yet.', `a new build: the offer says ${JSON.stringify(unsaved)}`);
  await page.run(() => { window.stays = true; });
  await page.click('#reload');
  const asked = await page.run(() => !document.getElementById('discarding').hidden && document.getElementById('discard-words').textContent);
  check(asked === 'Reloading discards the converted file not saved yet.', `Reload asks first: ${JSON.stringify(asked)}`);
  await shoot(page, 'update');
  await page.click('#keep');
  check(await page.run(() => window.stays && document.getElementById('discarding').hidden), 'Keep them: the page stays');
  compare((await results(page, from))[0], native(example), 'converted while a new build waits');
  step('new build: a second page');
  const second = webkit ? null : await openPage();
  check(!second || await buildOf(second) === first, 'a page opened while a new build waits is of the build before');

  step('new build: reload');
  // Reloaded by its offer: the page is of the new build, whose worker cannot
  // start; it says so on a served page, and keeps the picker.
  await page.click('#reload');
  await page.waitFor(() => !window.stays);
  await openedPage(page);
  check(await buildOf(page) === next, 'Reload takes the new build');
  const shown = await page.run(() => ['not-started', 'cannot', 'pick'].map((id) => !document.getElementById(id).hidden).join());
  check(shown === 'true,false,true', `a build whose worker cannot start: shown ${shown}`);
  if (second) {
    const own = await second.run((b) => fetch(`worker.js?build=${b}`).then((r) => r.text()), first);
    check(!own.startsWith('throw'), "a page of the old build is served its own build's worker");
    check(await offered(second), 'a page of the old build offers to reload once another has');
    check(await builds(page) === `${next} ${first}`.split(' ').sort().join(' '), `the old build's cache stays while a page uses it: ${await builds(page)}`);
    await second.close();
    // Closed once its lock has gone too.
    await page.waitFor((name) => navigator.locks.query().then((q) => !q.held.some((l) => l.name === name)),
      `halvorine-build ${url} ${first}`).catch(() => {});
  }
  step('new build: tidy');
  await page.goto(url);
  await openedPage(page);
  const left = await until(() => builds(page), (b) => b === next);
  check(left === next, `the old build's cache goes once no page uses it: ${left}`);

  step('the build after');
  const third = makeBuild('// the build after\n');
  await update(page);
  check(await offered(page), 'the build after: offered');
  await page.click('#reload');
  await page.waitFor((b) => document.querySelector('meta[name="halvorine-build"]').content === b, third);
  await openedPage(page);
  const again = await feed(page, [example]);
  compare((await results(page, again))[0], native(example), 'the build after');
  return [`new builds: offered, waited, took over on Reload; ${second ? 'two pages' : 'one page'}`];
}

const count = (page) => page.run(() => document.querySelectorAll('#results li').length);

// Feeds `files` through the file input and waits for their results.
async function feed(page, files, timeout = patience) {
  const before = await count(page);
  await page.upload(files.map((f) => path.resolve(f)));
  await page.waitFor((n) => document.querySelectorAll('#results li[data-status]').length >= n, before + files.length, timeout);
  return before;
}

// The results from index `from` on (up to `to`), with the SHA-256 of each
// 64 MiB of what each link saves; then each output is discarded.
async function results(page, from, to = undefined) {
  const found = await page.run(async (from, to, slice) => {
    const hex = (b) => [...new Uint8Array(b)].map((x) => x.toString(16).padStart(2, '0')).join('');
    const out = [];
    for (const li of [...document.querySelectorAll('#results li')].slice(from, to ?? undefined)) {
      const r = {
        name: li.dataset.name, status: li.dataset.status, stdout: li.dataset.stdout,
        output: li.querySelector('a[download]')?.getAttribute('download') ?? '',
        seconds: Number(/\(([\d.]+) s\)$/.exec(li.querySelector('.state').textContent)?.[1]), size: -1, hashes: [],
        shown: [...li.querySelectorAll('.said')].map((p) => p.textContent),
        link: li.querySelector('a[download]')?.getAttribute('download') ?? '',
      };
      const saves = window.linked.get(li.querySelector('a.save')?.href);
      if (saves) {
        r.size = saves.size;
        for (let at = 0; at < saves.size; at += slice) {
          r.hashes.push(hex(await crypto.subtle.digest('SHA-256', await saves.slice(at, at + slice).arrayBuffer())));
        }
      }
      li.querySelector('.actions button:last-of-type')?.click();  // Discard
      out.push(r);
    }
    return out;
  }, from, to ?? null, slice);
  return found;
}

// What the page must show for the native program's stdout: the banner's
// words, then each message's, trimmed of its line ends, on a line of its
// own (the header's error follows "Unknown wFormatTag." with none between).
function shownFor(stdout) {
  const end = stdout.startsWith('\n Convert ') ? stdout.indexOf(')\n\n') + 3 : 0;
  return [stdout.slice(0, end), ...stdout.slice(end).split(/(?=Error in \.wav file header)/)].map((t) => t.trim()).filter((t) => t !== '');
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

// The entries in the private file system, or where `own` this page's alone
// (named by the session whose lock it holds); none where it has none.
async function entriesLeft(page, own = false) {
  return page.run(async (own) => {
    const names = [];
    if (!['kept', 'kept-save-as'].some((id) => !document.getElementById(id).hidden)) return names;
    let prefix = '';
    if (own) {
      const mark = `mark ${Math.random()}`;
      const { held } = await navigator.locks.request(mark, () => navigator.locks.query());
      const me = held.find((l) => l.name === mark).clientId;
      prefix = `${held.find((l) => l.clientId === me && l.name.startsWith('halvorine-web-')).name}-`;
    }
    for await (const name of (await navigator.storage.getDirectory()).keys()) if (name.startsWith(prefix)) names.push(name);
    return names;
  }, own);
}

// None of the page's own left but the outputs discarded while a download
// begun from them (a zip's, above all) may still read them, which each says
// on its file.
const keptNote = /^Its file stays in the browser's storage for up to 10 minutes more, as a download begun from it may still be reading it\.$/;
// The notes are read with the entries each time: a discard that keeps its
// file says so once its removal has been put off, after the click.
async function noEntriesLeft(page, what) {
  const state = async () => ({
    left: await entriesLeft(page, true),
    kept: await page.run((words) => [...document.querySelectorAll('#results .note')]
      .filter((p) => new RegExp(words).test(p.textContent)).length, keptNote.source),
  });
  const { left, kept } = await until(state, (x) => x.left.length === x.kept);
  check(left.length === kept, `${what}: left in the private file system: ${left.slice(0, 5).join(', ')}${left.length > 5 ? ', …' : ''}` +
    ` (${left.length}), not the ${kept} kept for downloads`);
}

// What pressing `selector` downloads: its name and path, once written whole,
// and the seconds from the press until it was seen whole (to a tenth).
async function download(page, selector, seconds = patience / 1000) {
  // New, or written anew under a name already there; a browser's file still
  // being written may be renamed between the listing and a look at it.
  const stamp = (n) => {
    const stat = fs.statSync(path.join(downloads, n), { throwIfNoEntry: false });
    return stat?.isFile() ? `${n} ${stat.mtimeMs}` : null;
  };
  const before = new Set(fs.readdirSync(downloads).map(stamp));
  await page.allowDownloads?.();
  const pressed = performance.now();
  await page.click(selector);
  let name;
  for (let i = 0; i < seconds * 10 && !name; i++, await sleep(100)) {
    name = fs.readdirSync(downloads).find((n) => !n.startsWith('.') && !/\.(crdownload|part|download|wkdownload)$/.test(n) &&
      stamp(n) !== null && !before.has(stamp(n)));
  }
  const file = name && path.join(downloads, name);
  // Written whole: some engines make the file under its own name at once and
  // write a temporary one beside it.
  const temporary = () => fs.readdirSync(downloads).some((n) => /\.(crdownload|part|download|wkdownload)$/.test(n));
  let whole = performance.now();  // when it was first seen at the size it keeps
  for (let i = 0, size = -1; file && i < seconds * 10; i++, await sleep(100)) {
    const now = fs.statSync(file, { throwIfNoEntry: false })?.size ?? -1;
    if (i > 0 && now === size && !temporary()) break;
    if (now !== size) whole = performance.now();
    size = now;
  }
  return { name, file, seconds: (whole - pressed) / 1000,
    seen: `downloads: ${[...before].join(', ')} before, ${fs.readdirSync(downloads).map(stamp).join(', ')} after` };
}

// The last result's link pressed: the file the engine saves, by its name and
// bytes, against the native program's.
async function saved(page, want, label) {
  const { name, file, seen } = await download(page, '#results li:last-child a.save');
  check(name === want.output && sliceHashes(file).join() === want.hashes.join(),
    `${label}: saved as ${JSON.stringify(name)}, native ${JSON.stringify(want.output)}, or their bytes differ (${seen})`);
  if (file) fs.rmSync(file);
}

// A zip the page made, as unzip, bsdtar and Python's zipfile read it: whole
// by each, and each entry's path, flags and the SHA-256 of each 64 MiB,
// streamed from the zip.
function unzipped(file, label) {
  const tested = spawnSync('unzip', ['-tq', file], { encoding: 'utf8' });
  check(tested.status === 0 && /No errors detected/.test(tested.stdout), `${label}: unzip -t says ${tested.stdout}${tested.stderr}`);
  const listed = spawnSync('bsdtar', ['-tf', file], { encoding: 'utf8' });
  check(listed.status === 0, `${label}: bsdtar -tf says ${listed.stderr}`);
  const read = spawnSync('python3', ['-c', `
import hashlib, json, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
bad = z.testzip()
out = []
for i in z.infolist():
    hashes = []
    with z.open(i) as f:
        while True:
            part = f.read(${slice})
            if not part:
                break
            hashes.append(hashlib.sha256(part).hexdigest())
    out.append({'path': i.filename, 'flags': i.flag_bits, 'method': i.compress_type, 'size': i.file_size, 'hashes': hashes})
print(json.dumps({'bad': bad, 'entries': out}))
`, file], { encoding: 'utf8', maxBuffer: 64 << 20 });
  check(read.status === 0, `${label}: Python's zipfile says ${read.stderr}`);
  const { bad, entries } = read.status === 0 ? JSON.parse(read.stdout) : { bad: null, entries: [] };
  check(bad === null, `${label}: Python's testzip finds ${bad} damaged`);
  check(listed.stdout === entries.map((e) => `${e.path}\n`).join(''), `${label}: bsdtar lists ${JSON.stringify(listed.stdout)}`);
  return entries;
}

// The zip's entries against the native program's outputs for `files`
// ({ path, input }), in order.
function zipMatches(entries, files, label) {
  check(entries.length === files.length, `${label}: ${entries.length} entries, not ${files.length}`);
  files.forEach(({ path: want, input }, k) => {
    const got = entries[k];
    const native = typeof input === 'string' ? nativeOf(input) : input;
    check(got?.path === want && got.flags === 0x800 && got.method === 0 && got.size === native.size &&
      got.hashes.join() === native.hashes.join(), `${label}: entry ${k} ${JSON.stringify(got?.path)}, not ${want} or its bytes differ`);
  });
}
const nativeOf = (file) => native(file);

// A folder `name` of the private storage, holding `files` ([path, text, or
// null for a folder]), made what the page's folder picker answers.
const standIn = (on, name, files = []) => on.run(async (name, files) => {
  const root = await navigator.storage.getDirectory();
  await root.removeEntry(name, { recursive: true }).catch(() => {});
  const picked = await root.getDirectoryHandle(name, { create: true });
  for (const [at, text] of files) {
    const parts = at.split('/');
    const leaf = parts.pop();
    let dir = picked;
    for (const part of parts) dir = await dir.getDirectoryHandle(part, { create: true });
    if (text === null) await dir.getDirectoryHandle(leaf, { create: true });
    else {
      const bytes = typeof text === 'string' ? text : new Uint8Array(text);
      await (await dir.getFileHandle(leaf, { create: true })).createWritable().then(async (w) => { await w.write(bytes); await w.close(); });
    }
  }
  window.showDirectoryPicker = async () => picked;
}, name, files);

// The files in the private storage's folder `name`, by path, as
// zipMatches takes them (the SHA-256 of each 64 MiB); `remove`: the folder
// goes after.
const standInFiles = (on, name, remove = false) => on.run(async (name, part, remove) => {
  const hex = (b) => [...new Uint8Array(b)].map((x) => x.toString(16).padStart(2, '0')).join('');
  const out = [];
  const walk = async (dir, at) => {
    for await (const [entry, handle] of dir.entries()) {
      if (handle.kind === 'directory') { await walk(handle, `${at}${entry}/`); continue; }
      const file = await handle.getFile();
      const hashes = [];
      for (let k = 0; k < file.size; k += part) hashes.push(hex(await crypto.subtle.digest('SHA-256', await file.slice(k, k + part).arrayBuffer())));
      out.push({ path: `${at}${entry}`, flags: 0x800, method: 0, size: file.size, hashes });
    }
  };
  const root = await navigator.storage.getDirectory();
  await walk(await root.getDirectoryHandle(name), '');
  if (remove) await root.removeEntry(name, { recursive: true });
  return out.sort((a, b) => (a.path < b.path ? -1 : 1));
}, name, slice, remove);
const byPath = (a, b) => (a.path < b.path ? -1 : 1);
// A result's status and words against the native program's, where the
// output is not on the page (written into a folder).
const saidAs = (web, want, label) => check(web.status === String(want.status) && web.stdout === want.stdout &&
  JSON.stringify(web.shown) === JSON.stringify(shownFor(want.stdout)),
`${label}: status ${web.status}, said ${JSON.stringify(web.stdout)}, native ${want.status} ${JSON.stringify(want.stdout)}`);

// Violations axe-core finds on the page as it is now (chromium only).
async function accessible(page, when) {
  const violations = await page.raw.evaluate(async (source) => {
    if (!window.axe) (0, eval)(source);
    return (await window.axe.run(document)).violations.map((v) => `${v.id} (${v.nodes.length})`);
  }, fs.readFileSync(new URL('node_modules/axe-core/axe.min.js', import.meta.url), 'utf8'));
  check(violations.length === 0, `accessibility ${when}: ${violations.join(', ')}`);
}

function bigWav(file, size) {
  // The benchmark's input, the same bytes for the same size.
  const made = spawnSync('python3', ['wavgen.py', 'bench', String(size), path.resolve(file)],
    { cwd: new URL('../../tools/', import.meta.url), stdio: 'inherit' });
  if (made.status !== 0) throw new Error(`wavgen.py bench ${size}: status ${made.status}`);
}

const shots = opts.screenshots;
const shoot = async (page, name) => {
  if (shots) await page.shot(path.join(shots, chromium ? `web-${name}.png` : `web-${engineName}-${name}.png`));
};

const inputs = opts.inputs.flatMap((dir) => fs.readdirSync(dir).sort().map((n) => path.join(dir, n)));
// Outside chromium, the inputs that test the engine rather than the
// converter: each kind, and what the engine's file and storage must carry.
// A kind that matches no input fails, so that a renamed input is noticed.
const engineKinds = [
  ["names at the naming rule's edges, in UTF-8 as the engine's File gives them",
    /^(nodot|a{69,70}\.wav|\u0436{34}x\.wav|\u0436{35}\.wav|rec\.2024\.wav|%s%d\.wav|\u9332\u97f3 take 1\.wav)$/],
  ['an empty file, and one of a byte', /^seed-plain-cut00[01]\.wav$/],
  ["several of the page's blocks and not a whole number of them", /^long\.wav$/],
];
const engineInputs = inputs.filter((f) => engineKinds.some(([, name]) => name.test(path.basename(f))));
for (const [kind, name] of engineKinds) check(inputs.some((f) => name.test(path.basename(f))), `no input for ${kind}`);
// A variant whose worker holds a recording named held-* once its first 4
// MiB are read, until the test lets it go: what the test does meanwhile
// (cancel, cut the file, lower the quota, pick more) comes while it
// converts, whatever the machine's speed. Told and let go by a
// BroadcastChannel, which a page and its worker share in every engine.
const heldUrl = variant('held', { 'worker.js': [['    read(into, count) {',
  "    read(into, count) { if (file.name.startsWith('held-') && done >= 4 << 20 && self.heldJob !== job) { self.heldJob = job; " +
  "return new Promise((go) => { const c = new BroadcastChannel('held'); c.onmessage = () => { c.close(); go(); }; " +
  'c.postMessage(file.name); }).then(() => module.halvorineIo.read(into, count)); }']] });
// `files` given to a page of that variant, once it listens: resolves when the
// first held-* of them is held.
async function held(on, files) {
  await on.run(() => {
    window.held = '';
    const c = new BroadcastChannel('held');
    c.onmessage = ({ data }) => { window.held = data; c.close(); };
  });
  await on.upload(files);
  await on.waitFor(() => window.held);
}
const letGo = (on) => on.run(() => { new BroadcastChannel('held').postMessage('go'); });
// Done with a page of that variant: closed, or in an engine of one page,
// back to the page itself.
async function unheld(on) {
  if (on !== page) return on.close();
  await page.goto(url);
  await openedPage(page);
}

const page = await openPage();
// Where the private file system works the page says nothing of a fallback;
// where it does not, it says so, and never refuses the files.
const mode = await page.run(outputsGo);
const expected = { chromium: 'storage', firefox: 'storage' }[engineName] ?? 'memory';
check(mode === expected, `the page writes to ${mode}, not ${expected}`);
check(await page.run(() => document.getElementById('fallback').hidden) === (mode === 'storage'), 'the fallback notice');
await shoot(page, 'before');
if (chromium) {
  await accessible(page, 'before a conversion');
  // By keyboard: the first Tab reaches the file input, and Enter opens it.
  await page.raw.keyboard.press('Tab');
  check(await page.run(() => document.activeElement.id) === 'files', 'the first Tab reaches the file input');
  // The browser hands the chooser to the test only once it is asked to:
  // asked, and the answer awaited, before the key is pressed.
  const cdp = await page.raw.createCDPSession();
  await cdp.send('Page.enable');
  await cdp.send('Page.setInterceptFileChooserDialog', { enabled: true });
  const chooser = new Promise((opened) => cdp.once('Page.fileChooserOpened', opened));
  await page.raw.focus('#files');
  await page.raw.keyboard.press('Enter');
  const opened = await Promise.race([chooser, sleep(patience)]);
  check(opened?.mode === 'selectMultiple', `Enter on the file input opens a chooser of several files: ${JSON.stringify(opened)}`);
  await cdp.send('Page.setInterceptFileChooserDialog', { enabled: false });
  await cdp.detach();
}

// The example alone, saved through its link, then a refusal: the
// screenshots after each.
const example = inputs.find((f) => path.basename(f) === 'sim.wav');
const refused = inputs.find((f) => path.basename(f) === 'stage5-extensible.wav');
for (const [file, name] of [[example, 'converted'], [refused, 'refused']]) {
  const from = await feed(page, [file]);
  await shoot(page, name);
  if (chromium) await accessible(page, `after ${name === 'refused' ? 'a refusal' : 'a conversion'}`);
  if (name === 'refused' && shots && chromium) {
    await page.raw.setViewport({ width: 390, height: 844, deviceScaleFactor: 1 });
    await shoot(page, 'phone');
    await page.raw.setViewport({ width: 800, height: 860 });
  }
  const want = native(file);
  if (name === 'converted') {
    // Leaving asks while an output is not saved, and not once it is: the
    // event cancelled is the browser's question (WebKit's driver would
    // answer a real one itself).
    const asks = () => page.run(() => !window.dispatchEvent(new Event('beforeunload', { cancelable: true })));
    check(await asks(), 'leaving with an output not saved: the page asks');
    await saved(page, want, 'the example');
    check(!(await asks()), 'leaving once the output is saved: the page does not ask');
    // The footer tells of the buttons shown and of where the output is.
    const [footer, saveAs] = await page.run(() => [[...document.querySelectorAll('footer p')].filter((p) => !p.hidden)
      .map((p) => p.textContent).join(''), [...document.querySelectorAll('.actions button')].some((b) => b.textContent === 'Save as…')]);
    check(footer.includes('“Save as…”') === saveAs && footer.includes('private storage') === (mode === 'storage'),
      `the footer says ${JSON.stringify(footer)}`);
  }
  compare((await results(page, from))[0], want, path.basename(file));
}

const report = [];
const table = [];

// --many: 1,000 and then 10,000 small recordings (the thousand's, linked
// under numbered names) picked at once through the file input, each in a
// page of its own, timed from the pick to the last result, beside the
// native program run once per file over the same files in the same run;
// then the zip of all their outputs, timed from its button. Every output
// is compared with the native program's. The figures are printed, never
// asserted: the machine's other work moves them. Nothing else runs.
async function many(n, from) {
  step(`${n} files picked at once`);
  const dir = path.join(work, `many-${n}`);
  fs.mkdirSync(dir);
  const names = Array.from({ length: n }, (_, k) => `rec-${String(k).padStart(5, '0')}.wav`);
  names.forEach((name, k) => fs.linkSync(from[k % from.length], path.join(dir, name)));
  const loop = path.join(work, `many-${n}-native`);
  fs.mkdirSync(loop);
  for (const name of names) fs.linkSync(path.join(dir, name), path.join(loop, name));
  const t0 = performance.now();
  const ran = spawnSync('bash', ['-c', 'for f in "${@:2}"; do "$1" "$f"; printf "\\0%d\\0" $?; done', 'loop', opts.native, ...names],
    { cwd: loop, maxBuffer: 256 << 20 });
  const nativeSeconds = (performance.now() - t0) / 1000;
  const said = ran.stdout.toString('utf8').split('\0');
  const wants = names.map((name, k) => {
    const file = path.join(loop, `halvorine-${name.slice(0, -4)}.ddc`);
    const there = fs.existsSync(file);
    return { status: Number(said[2 * k + 1]), stdout: said[2 * k], output: path.basename(file), size: there ? fs.statSync(file).size : -1,
      hashes: there ? sliceHashes(file) : [] };
  });
  fs.rmSync(loop, { recursive: true });
  const on = await openPage();
  const t1 = performance.now();
  await on.upload(names.map((name) => path.join(dir, name)));
  // Asked each second from here: a wait in the page is one call, which the
  // driver gives up on after six minutes.
  while ((await on.run(() => document.querySelectorAll('#results li[data-status]').length)) < n) await sleep(1000);
  const pageSeconds = (performance.now() - t1) / 1000;
  step(`${n} files converted in ${pageSeconds.toFixed(2)} s`);
  const zip = await zipTimed(on, wants.map((want) => ({ path: want.output, input: want })), `${n} files zipped`);
  step(`${n} files zipped in ${zip.seconds.toFixed(2)} s`);
  // A thousand at a time: the driver gives up on a call after six minutes.
  const got = [];
  for (let k = 0; k < n; k += 1000) got.push(...await results(on, k, k + 1000));
  const same = names.filter((name, k) => got[k]?.name === name && compare(got[k], wants[k], `${n} files: ${name}`)).length;
  check(same === n, `${n} files: ${same} of ${n} the same`);
  await noEntriesLeft(on, `after ${n} files`);
  await on.close();
  fs.rmSync(dir, { recursive: true });
  table.push([engineName, `${n} files picked`, nativeSeconds, '-', pageSeconds, '-', pageSeconds / nativeSeconds, '-', '-', zip.seconds]);
  report.push(`${n} files picked at once: page ${pageSeconds.toFixed(2)} s (${(pageSeconds / n * 1000).toFixed(1)} ms a file),` +
    ` the native program once per file ${nativeSeconds.toFixed(2)} s, page/native ${(pageSeconds / nativeSeconds).toFixed(2)};` +
    ` their zip saved ${zip.seconds.toFixed(2)} s after its button`);
  step(report.at(-1));
  return pageSeconds;
}
if (opts.many) {
  const src = path.join(work, 'many');
  const made = spawnSync('python3', ['wavgen.py', 'batch', src, '62000'], { cwd: new URL('../../tools/', import.meta.url), stdio: 'inherit' });
  check(made.status === 0, `wavgen.py batch: status ${made.status}`);
  const from = fs.readdirSync(src).sort().map((name) => path.join(src, name));
  const [one, ten] = [await many(1000, from), await many(10000, from)];
  report.push(`10,000 files take ${(ten / one).toFixed(2)} times what 1,000 take`);
  await finish();
}

// A folder through its button: its recordings, of any letter case, by name,
// the files of each folder before its subfolders, each listed with its
// folder and converted as the native program converts it; then all as one
// zip, saved through its download: the later of two outputs with the same
// path left out and named.
const gen = (name) => inputs.find((f) => path.basename(f) === name);
// `files`: [name, a file to copy or the bytes to write].
const folderOf = (dir, files) => {
  for (const [name, from] of files) {
    fs.mkdirSync(path.dirname(path.join(dir, name)), { recursive: true });
    if (Buffer.isBuffer(from)) fs.writeFileSync(path.join(dir, name), from);
    else fs.copyFileSync(from, path.join(dir, name));
  }
  return dir;
};
// What a Mac writes beside each file on a card: an AppleDouble header, no WAV.
const appleDouble = Buffer.alloc(4096);
appleDouble.set([0, 5, 0x16, 7, 0, 2, 0, 0]);
// The folder is a card's too: the recordings' `._` companions, and the
// systems' bins and folders, whose recordings must not be converted.
const cardLeft = [['.Trash-1000/files/old.wav', example], ['.Trashes/501/gone.wav', example], ['$RECYCLE.BIN/x.wav', example],
  ['System Volume Information/x.wav', example], ['lost+found/x.wav', example], ['.DS_Store', appleDouble]];
const takes = folderOf(path.join(work, 'folder', 'Takes'), [
  ['take.1.wav', example], ['take.2.wav', gen('seed-plain.wav')], ['LOUD.WAV', gen('seed-rcvr.wav')], ['notes.txt', example],
  ['Ünter/録音 1.wav', gen('seed-mono-16.wav')], ['Ünter/deep/z.wav', example], ['aa/y.wav', gen('seed-list-odd.wav')],
  ...['._take.1.wav', '._LOUD.WAV', 'Ünter/._録音 1.wav', 'Ünter/deep/._z.wav', 'aa/._y.wav'].map((n) => [n, appleDouble]),
  ...cardLeft,
]);
// In the order they convert; null: left out of the zip.
const takesOrder = [['LOUD.WAV', 'Takes/halvorine-LOUD.ddc'], ['take.1.wav', 'Takes/halvorine-take.ddc'], ['take.2.wav', null],
  ['aa/y.wav', 'Takes/aa/halvorine-y.ddc'], ['Ünter/録音 1.wav', 'Takes/Ünter/halvorine-録音 1.ddc'],
  ['Ünter/deep/z.wav', 'Takes/Ünter/deep/halvorine-z.ddc']];
// The folder `dir` given to the page: in chromium through the folder
// button; elsewhere (the drivers give an input files, not folders) dropped,
// as the entries a browser gives for a dropped folder, read a few at a time
// and in no order; there `unreadable` adds files in it whose reading fails.
async function giveFolder(on, dir, unreadable = []) {
  if (chromium) {
    await on.upload([dir], '#folder');
  } else {
    const files = fs.readdirSync(dir, { recursive: true }).filter((f) => fs.statSync(path.join(dir, f)).isFile())
      .map((f) => [path.join(path.basename(dir), f), fs.readFileSync(path.join(dir, f)).toString('base64')])
      .concat(unreadable.map((f) => [path.join(path.basename(dir), f), null]));
    await on.run((given) => {
      const folder = (name) => ({ isFile: false, isDirectory: true, name, kids: new Map() });
      const top = folder('');
      for (const [at, b64] of given) {
        const parts = at.split('/');
        const name = parts.pop();
        let into = top;
        for (const part of parts) into = into.kids.get(part) ?? into.kids.set(part, folder(part)).get(part);
        const bytes = b64 === null ? null : Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
        into.kids.set(name, { isFile: true, isDirectory: false, name, file: (ok, fail) => setTimeout(() => (bytes ? ok(new File([bytes], name))
          : fail(new DOMException('The requested file could not be read.', 'NotReadableError')))) });
      }
      const entry = (e) => (e.isFile ? e : {
        ...e,
        createReader() {
          const left = [...e.kids.values()].reverse().map(entry);
          return { readEntries: (ok) => setTimeout(() => ok(left.splice(0, 2))) };
        },
      });
      const items = [...top.kids.values()].map((e) => ({ kind: 'file', webkitGetAsEntry: () => entry(e), getAsFile: () => null }));
      const event = new Event('drop', { bubbles: true, cancelable: true });
      Object.defineProperty(event, 'dataTransfer', { value: { items, files: [] } });
      document.getElementById('drop').dispatchEvent(event);
    }, files);
  }
}
// Given, and waited for until `n` of its files have their results.
async function feedFolder(on, dir, n, unreadable = []) {
  const before = await count(on);
  await giveFolder(on, dir, unreadable);
  await on.waitFor((k) => document.querySelectorAll('#results li[data-status]').length >= k, before + n);
  return before;
}
if (!opts.bigOnly) {
  step('a folder');
  const from = await feedFolder(page, takes, takesOrder.length);
  const listed = await page.run((n) => [...document.querySelectorAll('#results li')].slice(n).map((li) =>
    [li.dataset.folder, li.dataset.name, li.querySelector('.folder')?.textContent, li.querySelector('.state bdi')?.textContent]), from);
  // Each name shown in an isolate of its own.
  check(JSON.stringify(listed) === JSON.stringify(takesOrder.map(([p]) => {
    const folder = path.posix.join('Takes', path.posix.dirname(p));
    return [folder, path.posix.basename(p), `in ${folder}/`, path.posix.basename(p)];
  })), `a folder: listed as ${JSON.stringify(listed)}`);
  await shoot(page, 'folder');
  const quiet = await page.run(() => document.getElementById('intake').hidden);
  check(quiet, 'a folder with recordings: the page says nothing of what it passed over');
  const shown = await page.run(() => [!!window.showDirectoryPicker, ...['to-folder', 'into-folder', 'zip-link'].map((id) =>
    getComputedStyle(document.getElementById(id)).display !== 'none')]);
  check(shown[1] === shown[0] && shown[2] === shown[0] && !shown[3],
    `a folder: the picker ${shown[0]}, "Save all to a folder…", "Convert into a folder…" and the zip's link shown ${shown.slice(1)}`);
  const zip = await download(page, '#zip');
  check(zip.name === 'halvorine-outputs.zip', `a folder: the zip saved as ${zip.name} (${zip.seen})`);
  if (zip.file) {
    zipMatches(unzipped(zip.file, 'a folder'), takesOrder.filter(([, p]) => p).map(([p, zipped]) =>
      ({ path: zipped, input: path.join(takes, p) })), 'a folder');
    fs.rmSync(zip.file);
  }
  // The zip's link holds all its outputs: it goes with the first of them.
  const zipGone = await page.run(() => {
    const link = document.getElementById('zip-link');
    const before = `${link.hidden} ${link.href.startsWith('blob:')}`;
    const last = document.querySelector('#results li:last-child');
    const discard = last.querySelector('.actions button:last-of-type');
    discard.focus();
    discard.click();
    // The keyboard stays among the outputs, on the one before.
    const focus = document.activeElement.closest('li') === last.previousElementSibling;
    return `${before}, ${link.hidden} ${link.hasAttribute('href')}, ${focus}`;
  });
  check(zipGone === 'false true, true false, true', `the zip's link, then once an output in it is discarded, and the focus: ${zipGone}`);
  const notes = await page.run(() => document.getElementById('left-out').textContent);
  check(notes === 'Left out: Takes/halvorine-take.ddc from Takes/take.2.wav, as Takes/take.1.wav already gives it.',
    `a folder: the notes say ${JSON.stringify(notes)}`);
  const got = await results(page, from);
  takesOrder.slice(0, -1).forEach(([p], k) => compare(got[k], native(path.join(takes, p)), `a folder: ${p}`));

  // A card with no recording: the page says so and what it passed over,
  // each of the systems' folders once, and names a file it could not read.
  step('a folder with no recording');
  const bare = folderOf(path.join(work, 'card', 'Card'), [...cardLeft, ['._take.wav', appleDouble], ['notes.txt', example]]);
  const bareFrom = await feedFolder(page, bare, 0, chromium ? [] : ['broken.wav']);
  await page.waitFor(() => !document.getElementById('intake').hidden);
  const told = await page.run(() => [...document.querySelectorAll('#intake p')].map((p) => p.textContent));
  const unread = chromium ? [] : [/^Left out Card\/broken\.wav: the browser could not read it \(.+\)\.$/];
  const none = `No .wav recording in ${chromium ? 'the folder chosen' : 'what was dropped'}. Passed over: 7 hidden or system items, 1 other file.`;
  check(told.length === unread.length + 1 && unread.every((words, k) => words.test(told[k])) && told.at(-1) === none &&
    await count(page) === bareFrom, `a folder with no recording: the page says ${JSON.stringify(told)}`);

  // "Choose a folder…" through the folder picker, where there is one: the
  // folder walked as one dropped, its hidden folder passed over, and the
  // input, which would have the browser ask about uploading, left alone.
  if (mode === 'storage' && await page.run(() => !!window.showDirectoryPicker)) {
    step('a folder through the picker');
    const bytes = [...fs.readFileSync(example)];
    await standIn(page, 'Chosen', [['sim.wav', bytes], ['.hidden/hidden.wav', bytes]]);
    await page.run(() => document.getElementById('folder').addEventListener('click', () => { window.inputOpened = true; }));
    const pickedFrom = await count(page);
    await page.click('#pick-folder');
    await page.waitFor((k) => document.querySelectorAll('#results li[data-status]').length > k, pickedFrom);
    const picked = await results(page, pickedFrom);
    const how = await page.run(() => [window.inputOpened === true, document.querySelector('#results li:last-child').dataset.folder]);
    const left = (await standInFiles(page, 'Chosen', true)).map((f) => f.path);
    check(picked.length === 1 && compare(picked[0], native(example), 'a folder through the picker') && how.join() === 'false,Chosen' &&
      left.join() === '.hidden/hidden.wav,sim.wav',
    `a folder through the picker: ${picked.length} results, the input opened and the folder listed ${how}, the folder left with ${left}`);
  }

  // Dropped beside the drop zone, where the browser would otherwise open
  // the file in place of the page: a file given twice in one drop is
  // converted once. Files made in the page have no handle or entry: the
  // same by name, size and time.
  step('a drop');
  const bytes = fs.readFileSync(example).toString('base64');
  const dropFrom = await count(page);
  const dropping = await page.run((b) => {
    const data = Uint8Array.from(atob(b), (c) => c.charCodeAt(0));
    const transfer = new DataTransfer();
    for (const name of ['twice.wav', 'other.wav', 'twice.wav']) transfer.items.add(new File([data], name, { lastModified: 1e12 }));
    const event = new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true });
    if (event.dataTransfer?.items.length !== 3) return false;
    return !document.querySelector('h1').dispatchEvent(event) || 'not taken';
  }, bytes);
  check(dropping !== 'not taken', 'a drop beside the drop zone is taken, not left to the browser');
  if (dropping === true) {
    await page.waitFor((k) => document.querySelectorAll('#results li[data-status]').length >= k, dropFrom + 2);
    // A file picked after the drop converts after all of the drop's files:
    // once it has, a second twice.wav would have shown before it.
    await feed(page, [example]);
    const names = await page.run((n) => [...document.querySelectorAll('#results li')].slice(n).map((li) => li.dataset.name), dropFrom);
    check(names.join() === 'other.wav,twice.wav,sim.wav', `a drop, then a pick: converted ${names}`);
    const copies = ['other.wav', 'twice.wav'].map((n) => path.join(work, n));
    copies.forEach((c) => fs.copyFileSync(example, c));
    (await results(page, dropFrom)).slice(0, 2).forEach((r, k) => compare(r, native(copies[k]), `a drop: ${names[k]}`));
  }
  report.push(`a folder: ${takesOrder.length} recordings in order, a card's companions and bins passed over,` +
    ' zipped and opened by unzip, bsdtar and zipfile; a folder with no recording said so;' +
    ` a drop: ${dropping === true ? 'one file given twice converted once, dropped beside the zone' : 'this engine makes no drop with files'}`);

  // Saved into a folder, where the browser can pick one: the picker answered
  // with a folder in the page's private storage, whose files are then read.
  // A folder stands where one output would go: that one is not saved, and
  // said so below the count of those saved.
  if (mode === 'storage' && await page.run(() => !!window.showDirectoryPicker)) {
    step('saved into a folder');
    const again = await feedFolder(page, takes, takesOrder.length);
    const blocked = 'Takes/aa/halvorine-y.ddc';
    await standIn(page, 'picked', [[blocked, null]]);
    await page.click('#to-folder');
    await page.waitFor(() => /^Saved /.test(document.getElementById('all-state').textContent));
    const written = await standInFiles(page, 'picked', true);
    zipMatches(written, takesOrder.filter(([, p]) => p && p !== blocked).map(([p, zipped]) => ({ path: zipped, input: path.join(takes, p) }))
      .sort(byPath), 'saved into a folder');
    const said = await page.run(() => [...document.querySelectorAll('#all-state p')].map((p) => p.textContent));
    const links = await page.run(() => document.querySelectorAll('#results li a.save').length);
    check(said.length === 2 && said[0] === 'Saved 4 files into picked.' &&
      /^Not all saved: Takes\/aa\/halvorine-y\.ddc \(.+\)\.$/.test(said[1]) && links === 2, `saved into a folder: ${said}, ${links} links`);
    await results(page, again);
    report.push('saved all into a folder');

    // Converted into a folder: each output written there by the worker,
    // byte for byte the native program's, under its recording's folder; of
    // two with one path the later left out and named; a name the converter
    // refuses, or at the rule's edges, as it says; a refusal after its
    // output was opened leaves nothing there. A file already there: one
    // question for the pick, answered Skip, then (all of them there by now)
    // Stop, then Replace.
    step('converted into a folder');
    // In a page of the held variant, whose large recording below is held
    // while the pick is named.
    const on = await openPage('', heldUrl);
    const edges = ['a'.repeat(69), 'a'.repeat(70), `${'\u0436'.repeat(34)}x`, '\u0436'.repeat(35), 'rec.2024'].map((n) => `${n}.wav`);
    const into = folderOf(path.join(work, 'into', 'Into'), [['LOUD.WAV', gen('seed-rcvr.wav')], ['take.1.wav', example],
      ['take.2.wav', gen('seed-plain.wav')], ['aa/y.wav', gen('seed-list-odd.wav')], ['stage5-extensible.wav', refused],
      ...edges.map((n) => [n, gen(n)])]);
    // In the order they convert, with the native program's result for each.
    const intoOrder = ['LOUD.WAV', ...edges.slice(0, 2), 'rec.2024.wav', 'stage5-extensible.wav', 'take.1.wav', 'take.2.wav',
      ...edges.slice(2, 4), 'aa/y.wav'].map((p) => ({ p, want: native(path.join(into, p)) }));
    const old = { size: 3, hashes: [crypto.createHash('sha256').update('old').digest('hex')] };
    await standIn(on, 'into', [['Into/halvorine-LOUD.ddc', 'old']]);
    await on.click('#into-folder');
    const intoSaid = await on.run(() => !document.getElementById('into').hidden && document.getElementById('into-words').textContent);
    check(/^Converting into into: /.test(intoSaid), `converting into a folder: the page says ${JSON.stringify(intoSaid)}`);
    const notes = (from) => on.run((n) => [...document.querySelectorAll('#results li')].slice(n).map((li) =>
      `${li.dataset.status} ${[...li.querySelectorAll('.note')].map((p) => p.textContent).join(' ')}`), from);
    const outputOf = (p, want) => path.posix.join('Into', path.posix.dirname(p), want.output);
    // What the page says of each recording, for each answer.
    const expected = (answer, p, want) => (p === 'take.2.wav' ? 'left out Left out: Into/halvorine-take.ddc from Into/take.2.wav, as Into/take.1.wav already gives it.'
      : answer === 'Escape' ? 'cancelled Stopped: nothing of it was written into into.' : answer === '#cancel' ? 'cancelled '
        : p === 'LOUD.WAV' && answer === '#ask-skip' ? 'skipped Into/halvorine-LOUD.ddc is already in into, and was left as it is.'
          : !want.output ? '1 ' : want.status !== 0 ? '1 Nothing of it was left in into.'
            : `0 Written into into/${outputOf(p, want)}${answer === '#ask-replace' ? ', replacing the file there' : ''}.`);
    const converted = intoOrder.filter(({ p, want }) => want.status === 0 && p !== 'take.2.wav');
    const all = `The outputs of ${converted.length} of these ${intoOrder.length - 1} recordings are already in into: ` +
      `${converted.slice(0, 5).map(({ p, want }) => outputOf(p, want)).join(', ')} and 1 more.`;
    // Before the first pick, a large recording starts to convert and is
    // held: the pick's outputs are named by its converter meanwhile, which
    // must leave that conversion as it was.
    const large = path.join(work, 'held-into-large.wav');
    bigWav(large, 32 << 20);
    const largeWant = native(large);
    // Cancel, pressed while the page asks, converts none of the pick, as
    // Stop (Escape) does. After each, the keyboard is back where it was
    // (after Cancel, on the file input).
    for (const [answer, question] of [['#ask-skip', 'Into/halvorine-LOUD.ddc is already in into.'], ['Escape', all], ['#cancel', all],
      ['#ask-replace', all]]) {
      if (answer === '#ask-skip') await held(on, [large]);
      const intoFrom = await count(on);
      const was = await on.run(() => document.activeElement.id);
      await on.upload([into], '#folder');
      await on.waitFor(() => !document.getElementById('ask').hidden);
      const asked = await on.run(() => document.getElementById('ask-words').textContent);
      check(asked === question, `into a folder: asked ${JSON.stringify(asked)}`);
      if (answer === '#ask-skip') {
        check(await on.run((k) => !document.querySelectorAll('#results li')[k].dataset.status, intoFrom - 1),
          'into a folder: the pick was named while a large recording converted');
        await letGo(on);
      }
      if (answer === 'Escape') await on.raw.keyboard.press('Escape');
      else await on.click(answer);
      const focused = await on.run(() => document.activeElement.id);
      const back = answer === '#cancel' || !was ? 'files' : was;
      check(focused === back, `into a folder, ${answer}: the keyboard on #${focused}, not back on #${back}`);
      await on.waitFor((k) => document.querySelectorAll('#results li[data-status]').length >= k, intoFrom + intoOrder.length);
      const got = await notes(intoFrom);
      const web = await results(on, intoFrom);
      intoOrder.forEach(({ p, want }, k) => {
        check(got[k] === expected(answer, p, want), `into a folder, ${answer}: ${p} ${JSON.stringify(got[k])}`);
        if (/^[01] /.test(got[k])) saidAs(web[k], want, `into a folder: ${p}`);
      });
      const there = converted.map(({ p, want }) => ({ path: outputOf(p, want), input: p === 'LOUD.WAV' && answer !== '#ask-replace' ? old : want }));
      there.push({ path: largeWant.output, input: largeWant });
      zipMatches(await standInFiles(on, 'into', answer === '#ask-replace'), there.sort(byPath), `into a folder, ${answer}`);
    }
    fs.rmSync(large);
    await on.click('#into-off');
    check(await on.run(() => document.getElementById('into').hidden), 'back to the page: the folder is no longer named');
    await on.close();
    report.push('converted into a folder: a clash left out, refusals left nothing, the question answered Skip, Escape (Stop), Cancel and Replace, the keyboard back where it was');
  }
}

// "Download all (.zip)" pressed: the zip saved, opened and compared with
// `files`, and the seconds from the press until it was saved whole. `stop`
// ends the memory's sampling once it is saved.
async function zipTimed(on, files, label, stop = () => null) {
  const zip = await download(on, '#zip');
  const peak = stop();
  if (check(zip.name === 'halvorine-outputs.zip', `${label}: saved as ${zip.name} (${zip.seen})`)) {
    zipMatches(unzipped(zip.file, label), files, label);
    fs.rmSync(zip.file);
  }
  return { peak, seconds: zip.seconds };
}

// The floor: what reading the same picked file and writing as many bytes as
// the page writes cost this engine (floor/floor-worker.js), the worker's own
// seconds, as the page reports its conversion's.
async function floor(file) {
  const dir = path.join(served, 'floor');
  fs.cpSync(new URL('floor', import.meta.url), dir, { recursive: true });
  for (const name of fs.readdirSync(dir)) opened(`${url}floor/${name}`);
  const bare = await browser.newPage();
  await bare.goto(`${url}floor/`);
  await bare.run((memory) => { document.body.dataset.memory = String(memory); }, mode === 'memory');
  await bare.upload([path.resolve(file)], '#f');
  await bare.waitFor(() => document.body.dataset.seconds);
  const seconds = Number(await bare.run(() => document.body.dataset.seconds));
  await bare.close();
  return seconds;
}

// A thousand small recordings (31 MB) as one folder, and the native program
// run once per file over the same files by a shell loop, both timed in this
// run: every output's words, name and bytes the native program's, then the
// zip of them all, each entry its output. The figures are reported, never
// asserted on: the machine's other work moves them. In chromium in every
// run; in the other engines with --big.
if (!opts.bigOnly && (chromium || (opts.big && !engineName.includes('-')))) {
  step('a thousand files');
  const dir = path.join(work, 'thousand', 'Thousand');
  const made = spawnSync('python3', ['wavgen.py', 'batch', dir, '62000'], { cwd: new URL('../../tools/', import.meta.url), stdio: 'inherit' });
  check(made.status === 0, `wavgen.py batch: status ${made.status}`);
  const names = fs.readdirSync(dir).sort();
  const loop = path.join(work, 'thousand-native');
  fs.cpSync(dir, loop, { recursive: true });
  const t0 = performance.now();
  const ran = spawnSync('bash', ['-c', 'for f in "${@:2}"; do "$1" "$f"; printf "\\0%d\\0" $?; done', 'loop', opts.native, ...names],
    { cwd: loop, maxBuffer: 64 << 20 });
  const nativeSeconds = (performance.now() - t0) / 1000;
  const said = ran.stdout.toString('utf8').split('\0');
  const wants = names.map((name, k) => {
    const output = `halvorine-${name.slice(0, name.indexOf('.'))}.ddc`;
    const file = path.join(loop, output);
    const there = fs.existsSync(file);
    return { status: Number(said[2 * k + 1]), stdout: said[2 * k], output, size: there ? fs.statSync(file).size : -1,
      hashes: there ? sliceHashes(file) : [] };
  });
  fs.rmSync(loop, { recursive: true });
  const bytes = wants.reduce((sum, w) => sum + w.size, 0);

  const fresh = await openPage();
  const idle = browserMemory(browser.pid);
  const from = await count(fresh);
  await giveFolder(fresh, dir);
  const t1 = performance.now();
  await fresh.waitFor((k) => document.querySelectorAll('#results li[data-status]').length >= k, from + names.length, 600_000);
  const pageSeconds = (performance.now() - t1) / 1000;
  const after = browserMemory(browser.pid);
  // One polite live region counts them, once none is left to go; no result is one.
  const ok = wants.filter((w) => w.status === 0).length;
  const told = await fresh.run(() => [document.getElementById('counts').textContent, [...document.querySelectorAll('[aria-live], [role=status]')]
    .filter((e) => e.closest('#results') || e.contains(document.getElementById('results'))).length]);
  const all = names.length;
  check(told[0] === `${all.toLocaleString('en-US')} files: ${ok.toLocaleString('en-US')} converted${ok < all ? `, ${all - ok} not converted` : ''}.` &&
    told[1] === 0, `a thousand files: the counts say ${JSON.stringify(told[0])}, ${told[1]} live regions in or around the results`);
  const zip = await zipTimed(fresh, wants.map((want) => ({ path: `Thousand/${want.output}`, input: want })), 'a thousand files zipped');
  const got = await results(fresh, from);
  const same = names.filter((name, k) => got[k]?.name === name && compare(got[k], wants[k], `a thousand files: ${name}`)).length;
  check(same === names.length, `a thousand files: ${same} of ${names.length} the same`);
  await noEntriesLeft(fresh, 'after a thousand files');
  await fresh.close();
  fs.rmSync(path.dirname(dir), { recursive: true });
  const ratio = pageSeconds / nativeSeconds;
  table.push([engineName, `${names.length} files, ${(bytes / 1e6).toFixed(0)} MB of outputs`, nativeSeconds, '-', pageSeconds, '-', ratio,
    after.pss - idle.pss, '-', zip.seconds]);
  report.push(`a thousand files: page ${pageSeconds.toFixed(2)} s (${(pageSeconds / names.length * 1000).toFixed(1)} ms a file),` +
    ` the native program once per file ${nativeSeconds.toFixed(2)} s, page/native ${ratio.toFixed(2)};` +
    ` their zip saved ${zip.seconds.toFixed(2)} s after its button; browser PSS before/after ${idle.pss.toFixed(0)}/${after.pss.toFixed(0)} MiB`);
}

if (opts.big && !engineName.includes('-')) {
  const big = path.join(work, 'big256.wav');
  bigWav(big, 256 << 20);

  // Cancel midway, pressed while the recording is held: the result says so
  // and nothing stays behind.
  {
    const on = await openPage('', heldUrl);
    const cancelled = path.join(work, 'held-cancel.wav');
    fs.symlinkSync(big, cancelled);
    await held(on, [cancelled]);
    await shoot(on, 'during');
    await on.click('#cancel');
    await on.waitFor(() => document.querySelector('#results li:last-child').dataset.status);
    check(await on.run(() => document.querySelector('#results li:last-child').dataset.status) === 'cancelled',
      'cancel: the result says so');
    await noEntriesLeft(on, 'after cancel');
    await unheld(on);
    fs.rmSync(cancelled);
  }

  // Each run, in a page of its own opened for it (what the test reads back
  // afterwards stays out of the next run's figures): the native program's
  // time, the floor's, the page's, and the browser's memory just before and
  // at its peak while the page converts.
  const measure = async (file, label, times = opts.runs) => {
    const want = native(file);
    const runs = [];
    for (let run = 0; run < times; run++) {
      const nativeSeconds = run === 0 ? want.seconds : native(file).seconds;
      const floorSeconds = await floor(file, want.size);
      const fresh = await openPage();
      const idle = browserMemory(browser.pid);
      const stop = sampleMemory(browser.pid);
      const t0 = performance.now();
      const from = await feed(fresh, [file]);
      const wall = (performance.now() - t0) / 1000;
      const peak = stop();
      // The first run's output zipped too: reading it again for its CRC-32,
      // and the browser's saving of the zip.
      const zip = run === 0 ? await zipTimed(fresh, [{ path: want.output, input: want }], `${label} zipped`) : {};
      const [web] = await results(fresh, from);
      compare(web, want, `${label} run ${run + 1}`);
      runs.push({ nativeSeconds, floorSeconds, worker: web.seconds, wall, idle, peak, zip: zip.seconds });
      await noEntriesLeft(fresh, `${label} run ${run + 1}`);
      await fresh.close();
    }
    fs.rmSync(file);
    const list = (f) => runs.map(f).join(' ');
    const median = (f) => runs.map(f).sort((a, b) => a - b)[runs.length >> 1];
    const above = median((r) => r.peak.pss - r.idle.pss);
    table.push([engineName, label, median((r) => r.nativeSeconds), median((r) => r.floorSeconds), median((r) => r.worker),
      median((r) => r.worker / r.floorSeconds), median((r) => r.worker / r.nativeSeconds), above, above / (want.size / 1048576),
      runs[0].zip]);
    report.push(`${label} input, ${runs.length} run(s): native ${list((r) => r.nativeSeconds.toFixed(3))} s;` +
      ` page (conversion in the worker) ${list((r) => r.worker.toFixed(3))} s, (pick to result) ${list((r) => r.wall.toFixed(3))} s;` +
      ` ratio ${list((r) => (r.worker / r.nativeSeconds).toFixed(2))};` +
      ` browser PSS before/peak ${list((r) => `${r.idle.pss.toFixed(0)}/${r.peak.pss.toFixed(0)}`)} MiB,` +
      ` RSS before/peak ${list((r) => `${r.idle.rss.toFixed(0)}/${r.peak.rss.toFixed(0)}`)} MiB`);
  };
  await measure(big, '256 MiB');
  if (chromium) {
    const huge = path.join(work, 'big1g.wav');
    bigWav(huge, 1 << 30);
    await measure(huge, '1 GiB', 1);  // for its memory
  }
  // A zip of more than 2 GiB, saved through its download: the browser's
  // memory while it is read for its CRC-32 and saved stays near idle. Not
  // timed, and minutes of making, converting and saving: with --big alone.
  if (chromium && !opts.bigOnly) {
    step('a zip of 2 GiB');
    const dir = path.join(work, 'big', 'Big');
    const sizes = [800 << 20, (800 << 20) + 4096];
    fs.mkdirSync(dir, { recursive: true });
    sizes.forEach((size, k) => bigWav(path.join(dir, `part ${k + 1}.wav`), size));
    const wants = sizes.map((_, k) => native(path.join(dir, `part ${k + 1}.wav`)));
    const fresh = await openPage();
    const from = await feedFolder(fresh, dir, 2);
    fs.rmSync(dir, { recursive: true });
    const idle = browserMemory(browser.pid);
    const stop = sampleMemory(browser.pid);
    const zip = await zipTimed(fresh, wants.map((want) => ({ path: `Big/${want.output}`, input: want })), 'a zip of 2 GiB', stop);
    const wall = zip.seconds;
    const above = zip.peak.pss - idle.pss;
    const total = wants.reduce((sum, w) => sum + w.size, 0) / 1048576;
    check(total >= 2048 && above < 64, `a zip of ${total.toFixed(0)} MiB: ${above.toFixed(0)} MiB above idle while saved`);
    table.push([engineName, `zip of ${(total / 1024).toFixed(2)} GiB`, '-', '-', '-', '-', '-', above, above / total, wall]);
    report.push(`zip of ${total.toFixed(0)} MiB: ${wall.toFixed(2)} s from the button to the file saved;` +
      ` browser PSS ${idle.pss.toFixed(0)}/${zip.peak.pss.toFixed(0)} MiB`);
    await results(fresh, from);
    await noEntriesLeft(fresh, 'after a zip of 2 GiB');
    await fresh.close();
  }
  // A recording of 2 GiB converted into a folder (the private storage's,
  // standing in for one the user picks): the browser's memory stays near
  // idle while its output is written, and the output is the native
  // program's. With --big alone, as the zip above.
  if (chromium && !opts.bigOnly) {
    step('2 GiB into a folder');
    const two = path.join(work, 'big2g.wav');
    bigWav(two, 2 ** 31);
    const want = native(two);
    const fresh = await openPage();
    await standIn(fresh, 'big');
    await fresh.click('#into-folder');
    // Idle once a small file has gone the same way: the worker, its
    // converter and its buffers are made for the first file, whatever its size.
    const warm = await feed(fresh, [example]);
    const idle = browserMemory(browser.pid);
    const stop = sampleMemory(browser.pid);
    const from = await feed(fresh, [two]);
    const peak = stop();
    fs.rmSync(two);
    const [web] = await results(fresh, from);
    saidAs(web, want, '2 GiB into a folder');
    zipMatches(await standInFiles(fresh, 'big', true), [{ path: 'halvorine-sim.ddc', input: example }, { path: want.output, input: want }]
      .sort(byPath), '2 GiB into a folder');
    await results(fresh, warm);
    const above = peak.pss - idle.pss;
    const output = want.size / 1048576;
    // The writable stream copies each part, and the page's process lets go
    // of the copies in its garbage collector's time: some tens of MiB, not
    // more for more bytes (30 to 38 MiB seen from 256 MiB to 2 GiB in a
    // browser of their own, 70 and 71 MiB for 2 GiB here).
    check(above < 96, `2 GiB into a folder: ${above.toFixed(0)} MiB above idle while converted`);
    table.push([engineName, '2 GiB into a folder', want.seconds, '-', web.seconds, '-', web.seconds / want.seconds, above, above / output, '-', '-']);
    report.push(`2 GiB into a folder: native ${want.seconds.toFixed(2)} s, page ${web.seconds.toFixed(2)} s;` +
      ` browser PSS ${idle.pss.toFixed(0)}/${peak.pss.toFixed(0)} MiB, RSS ${idle.rss.toFixed(0)}/${peak.rss.toFixed(0)} MiB`);
    await noEntriesLeft(fresh, 'after 2 GiB into a folder');
    await fresh.close();
  }
  await noEntriesLeft(page, 'after the large inputs');
}

// With --big-only, the timed conversions alone: everything else is for a
// run of its own, which need not be alone.
if (!opts.bigOnly) {
  // A file cut short while it is read, held after its first 4 MiB: the
  // program's read failure, after the samples that arrived. Chromium fails
  // every read of a file changed since it was picked; WebKit has been seen
  // to serve the whole recording as picked after the cut, from what it had
  // read ahead. Outside Chromium the engine's reading decides, and the one
  // thing never allowed is a success that is not the recording as picked.
  {
    const changing = path.join(work, 'held-changing.wav');
    const size = 64 << 20;
    bigWav(changing, size);
    const whole = native(changing);
    const on = await openPage('', heldUrl);
    const from = await count(on);
    await held(on, [changing]);
    if (chromium) await accessible(on, 'during a conversion');
    fs.truncateSync(changing, 32 << 20);
    await letGo(on);
    await on.waitFor((n) => document.querySelectorAll('#results li[data-status]').length >= n, from + 1);
    const [web] = await results(on, from);
    const cut = web.status === '1' && web.size > 0 && web.size < whole.size &&
      web.stdout === '\n Convert held-changing.wav to Halvorine format (halvorine-held-changing.ddc)\n\n\nERROR: Failed to read input file.\n';
    if (chromium || !(web.status === '0' && compare(web, whole, 'cut short while read, and read whole all the same'))) {
      check(cut, `cut short while read: ${web.status} ${JSON.stringify(web.stdout)}, ${web.size} bytes saved`);
    }
    report.push(`a file cut short while read: ${cut ? 'the read failure' : 'read whole as it was picked'}`);
    await unheld(on);
    fs.rmSync(changing);
  }

  // Everything else, in batches through the same input; outside chromium,
  // the engine's own kinds.
  const rest = chromium ? inputs.filter((f) => f !== example && f !== refused) : engineInputs;
  const same = await convertAll(page, rest);
  report.push(`${same} of ${rest.length} further inputs converted and said as the native program does`);
  await noEntriesLeft(page, 'after the batches');

  step('a full quota');
  // A full quota, in chromium, whose quota the test can set.
  if (chromium) {
    const cdp = await page.raw.createCDPSession();
    const quota = (quotaSize) => cdp.send('Storage.overrideQuotaForOrigin', quotaSize ? { origin, quotaSize } : { origin });
    // A quota met while converting (another page filling the storage, say)
    // is the program's write failure, as a file size limit is for the native one.
    // Held after its first 4 MiB while the quota drops below what it stored.
    const quotaFile = path.join(work, 'held-quota.wav');
    bigWav(quotaFile, 64 << 20);
    const want = native(quotaFile, 512);
    check(want.stdout.endsWith('\nERROR: Failed to write output file.\n'), `quota: the native program says ${JSON.stringify(want.stdout)}`);
    const on = await openPage('', heldUrl);
    const from = await count(on);
    await held(on, [quotaFile]);
    await quota(2 << 20);
    await letGo(on);
    await on.waitFor((n) => document.querySelectorAll('#results li[data-status]').length > n, from);
    const [web] = await results(on, from);
    check(web.status === '1' && web.stdout === want.stdout, `quota: said ${JSON.stringify(web.stdout)}, status ${web.status}`);
    await noEntriesLeft(on, 'after the quota');
    await unheld(on);
    fs.rmSync(quotaFile);

    await quota(0);
  }

  step('room in the storage');
  // Room in the private storage, in Firefox with 20 MiB for the page, as on
  // a small disk (Chromium's quota set by the test is not the one its
  // estimate() reports): two 9 MB outputs saved by their links, then a third
  // frees the first; a 40 MB output is not started, and says what it needs
  // and what is free.
  if (engineName === 'firefox') {
    const small = await firefox(false, { 'dom.quotaManager.temporaryStorage.fixedLimit': 102400 }, 'profile-small');
    // The page's clock moved on by the test: a download may still read an
    // output saved in the last two minutes, so none of those is freed.
    const on = await small.newPage();
    await on.raw.evaluateOnNewDocument(() => { const real = Date.now; Date.now = () => real() + (window.later ?? 0); });
    await on.goto(url);
    await openedPage(on);
    const nine = path.join(work, 'nine.wav');
    bigWav(nine, 6_750_000);
    const nineWant = native(nine);
    const from = await count(on);
    for (const k of [1, 2]) {
      await feed(on, [nine]);
      await saved(on, nineWant, `saved output ${k}`);
    }
    await feed(on, [nine]);
    const guarded = await on.run(() => document.querySelector('#results li:last-child').dataset.status);
    check(guarded === 'no room', `room: outputs saved just now are not freed: ${guarded}`);
    await on.run(() => { window.later = 121_000; });
    await on.click('#results li:last-child .actions button');
    await on.waitFor(() => document.querySelector('#results li:last-child').dataset.status === '0');
    const forty = path.join(work, 'forty.wav');
    bigWav(forty, 30_000_000);
    await feed(on, [forty]);
    const states = await on.run((n) => [...document.querySelectorAll('#results li')].slice(n).map((li) =>
      [li.dataset.status, li.querySelector('.state').textContent, li.querySelectorAll('a.save').length, li.textContent]), from);
    check(/^nine\.wav: saved; removed from the page's storage$/.test(states[0][1]) && states[0][2] === 0,
      `room: the first saved output is freed: ${states[0][1]}`);
    check(states[1][2] === 1 && states[2][0] === '0' && states[2][2] === 1, `room: the second is kept, the third converted: ${states}`);
    check(states[3][0] === 'no room' && /needs 40\.0 MB .* and [\d.]+ (MB|KB|bytes) is free/.test(states[3][3]),
      `room: the 40 MB output is not started: ${states[3][3]}`);
    check((await entriesLeft(on)).length === 2, 'room: two outputs stored');
    await shoot(on, 'room');
    // Tried again, it is weighed again.
    await on.click('#results li:last-child .actions button');
    await on.waitFor(() => document.querySelector('#results li:last-child').dataset.status === 'no room');
    check(await count(on) === from + 4, 'room: tried again in the same place');
    // The output freed is named beside the zip's button, as not in it.
    const notes = await on.run(() => document.querySelector('#left-out li:last-child')?.textContent);
    check(notes === "Not included, as they were removed from the page's storage once saved by their link: halvorine-nine.ddc.",
      `room: the notes say ${JSON.stringify(notes)}`);
    // A folder is weighed whole before its first file starts: two of 9 MB
    // do not fit where one alone would, with the saved output freed.
    const pair = folderOf(path.join(work, 'pair', 'Nines'), [['a.wav', nine], ['b.wav', nine]]);
    const pairFrom = await feedFolder(on, pair, 2);
    const pairStates = await on.run((n) => [...document.querySelectorAll('#results li')].slice(n).map((li) =>
      `${li.dataset.status} ${li.querySelector('.note')?.textContent}`), pairFrom);
    check(pairStates.length === 2 && pairStates.every((t) => /^no room Not enough room: its folder needs 18\.0 MB /.test(t)),
      `room: a folder weighed whole: ${pairStates}`);
    await small.close();
    fs.rmSync(nine);
    fs.rmSync(forty);
  }

  step('stopped workers');
  // A variant of the page whose worker stops in the middle of a file: by
  // an error (die.wav), or answering no more (hang.wav; its page waits 2 s
  // for it rather than 30). Each file fails with words, what it stored is kept,
  // and a fresh worker converts the next file, and those given to it after
  // the file that stopped it. A worker that dies as its second file reaches
  // its converter, before a word (gone.wav), leaves that file to a fresh
  // worker, which converts it. Where outputs are in memory, the files after
  // each wait in the worker. In the same page: a file
  // whose output takes 3 s to close is not taken for stalled (slow.wav);
  // one whose store fails fails alone, and the next is stored again
  // (full.wav, where outputs go to the storage); a small output, whose
  // CRC-32 was taken as it was made, zips with no checksum asked; and an
  // output larger than that, whose checksum never answers, fails the zip
  // with words, after which files convert again.
  {
    const at = variant('stops', {
      'worker.js': [['const want = Math.min(count, file.size - done);',
        "if (done > 0 && file.name === 'die.wav') throw new Error('stopped'); " +
        "if (done > 0 && file.name === 'hang.wav') for (;;); const want = Math.min(count, file.size - done);"],
      ['const closing = output.close();', "if (file.name === 'slow.wav') for (const end = performance.now() + 3000; performance.now() < end;); " +
        'const closing = output.close();'],
      ['? storing(entry)', "? storing(data.file.name === 'full.wav' && entry ? 'no/such' : entry)"],
      ['let crc = 0;', 'let crc = 0; if (blob.size > 0) for (;;);'],
      ['const output = await (storing', "self.given = (self.given ?? 0) + 1; if (self.given > 1 && file.name === 'gone.wav') " +
        "throw new Error('gone'); const output = await (storing"],
        ['inFlight = writer.write(part)', "inFlight = (place.name === 'halvorine-unwritten.ddc' ? Promise.reject(new Error('full')) : writer.write(part))"],
        ['await writer.close();', "if (place.name === 'halvorine-unkept.ddc') throw new Error('shut'); await writer.close();"]],
      // The 2 s apply to the two that never answer, and to slow.wav once it
      // closes, where the page's own rule is that no time counts; a file
      // that merely waits for a busy machine must not be taken for them.
      'page.js': [['stallSeconds = 30;', 'stallSeconds = 2;'],
        ['if (job && !job.closing && ', "if (job && (job.source.name === 'hang.wav' || job.stalled.startsWith('an output') || " +
          "(job.source.name === 'slow.wav' && job.closing)) && !job.closing && "]],
    });
    const stops = await openPage('', at);
    const files = ['die.wav', 'hang.wav', 'slow.wav', 'full.wav', 'gone.wav'].map((name) => path.join(work, name));
    for (const file of files) fs.copyFileSync(example, file);
    const from = await feed(stops, [files[0], example, files[4], files[1], example, files[2], files[3], example]);
    const got = await stops.run((n) => [...document.querySelectorAll('#results li')].slice(n).map((li) =>
      [li.dataset.status, li.querySelector('.state').textContent, [...li.querySelectorAll('.note')].map((p) => p.textContent).join(' ')]), from);
    await shoot(stops, 'stopped');
    const lost = mode === 'memory' ? /held by the stopped worker, and is lost/ : /./;
    check(got[0][0] === 'stopped' && got[0][1] === 'die.wav: not converted' && /browser stopped the conversion/.test(got[0][2]) &&
      lost.test(got.map(String).join()), `a worker that died: ${got[0]}`);
    check(got[3][0] === 'stopped' && got[3][1] === 'hang.wav: not converted' && /no progress for 2 s/.test(got[3][2]),
      `a worker that stopped answering: ${got[3]}`);
    const stored = mode === 'storage' ? (await entriesLeft(stops)).length : 0;
    const still = await stops.run(outputsGo);
    const after = await results(stops, from);
    for (const k of [1, 4, 7]) compare(after[k], native(example), `the file after a stopped worker or a failed store (${k})`);
    compare(after[2], native(files[4]), 'a file whose worker died before it reached it');
    compare(after[5], native(files[2]), 'an output slow to close');
    if (mode === 'storage') {
      check(after[6].status === '1' && after[6].stdout.endsWith('\nERROR: Failed to write output file.\n') && after[6].link === '' &&
        still === 'storage' && stored >= 5, `a failed store: ${after[6].status} ${JSON.stringify(after[6].stdout)}, then ${still}, ${stored} stored`);
    } else {
      compare(after[6], native(files[3]), 'in memory, no store to fail');
    }
    await noEntriesLeft(stops, 'after stopped workers');
    const zipFrom = await feed(stops, [example]);
    const small = await download(stops, '#zip');
    check(small.name === 'halvorine-outputs.zip', `a small output zipped with no checksum: ${small.name} (${small.seen})`);
    if (small.file) fs.rmSync(small.file);
    const large = path.join(work, 'large.wav');
    bigWav(large, 1 << 20);
    await feed(stops, [large]);
    await stops.click('#zip');
    const zipSaid = await stops.waitFor(() => /^Not zipped: /.test(document.getElementById('all-state').textContent))
      .then(() => stops.run(() => document.getElementById('all-state').textContent), () => 'nothing');
    check(/^Not zipped: an output could not be read for 2 s/.test(zipSaid), `a checksum that never answers: ${zipSaid}`);
    const again = await feed(stops, [example]);
    compare((await results(stops, again))[0], native(example), 'a file after a checksum that never answered');
    await results(stops, zipFrom);
    // Into a folder: a worker that dies, a write that fails and a file that
    // cannot be kept once whole (the console program's failure on close, in
    // its words) each leave nothing there, and say so.
    if (mode === 'storage' && await stops.run(() => !!window.showDirectoryPicker)) {
      const failing = ['unwritten.wav', 'unkept.wav'].map((name) => path.join(work, name));
      for (const file of failing) fs.copyFileSync(example, file);
      await standIn(stops, 'stops');
      await stops.click('#into-folder');
      const intoFrom = await feed(stops, [files[0], ...failing, example]);
      const got = await stops.run((n) => [...document.querySelectorAll('#results li')].slice(n).map((li) =>
        [li.dataset.status, li.dataset.stdout, [...li.querySelectorAll('.note')].map((p) => p.textContent).join(' ')]), intoFrom);
      const nothing = 'Nothing of it was left in stops.';
      check(got[0][0] === 'stopped' && got[0][2].endsWith(nothing), `into a folder, a worker that died: ${got[0]}`);
      failing.forEach((file, k) => check(got[k + 1][0] === '1' && got[k + 1][1] === `${native(file).stdout}\nERROR: Failed to write output file.\n` &&
        got[k + 1][2] === nothing, `into a folder, ${path.basename(file)}: ${got[k + 1]}`));
      const left = await until(async () => (await standInFiles(stops, 'stops')).map((f) => f.path), (l) => l.length === 1);
      check(left.join() === 'halvorine-sim.ddc' && got[3][0] === '0', `into a folder, after the failures: ${left}, ${got[3]}`);
      await standInFiles(stops, 'stops', true);
      failing.forEach((f) => fs.rmSync(f));
    }
    await stops.close();
    [...files, large].forEach((f) => fs.rmSync(f));
  }

  step('a worker that cannot start');
  // A served page whose worker cannot start until the second file: it says
  // what failed, not the words for a page opened as a file, keeps the
  // picker, fails the first file, and converts the next.
  {
    const at = variant('starts-late', { 'page.js': [['new Worker(`worker.js${buildQuery}`)',
      "new Worker(starts < 3 ? 'style.css' : `worker.js${buildQuery}`)"]] });
    tolerated = /style\.css/;
    const late = await openPage('', at);
    const shown = () => late.run(() => ['not-started', 'cannot', 'pick'].map((id) => !document.getElementById(id).hidden));
    check(String(await shown()) === 'true,false,true', `a worker that cannot start: shown ${await shown()}`);
    let from = await feed(late, [example]);
    const first = await late.run((n) => document.querySelectorAll('#results li')[n].dataset.status, from);
    check(first === 'not started', `a worker that cannot start: the file's status ${first}`);
    from = await feed(late, [example]);
    compare((await results(late, from))[0], native(example), 'the next file, once the worker starts');
    check(String(await shown()) === 'false,false,true', `a worker started at last: shown ${await shown()}`);
    await late.close();
    tolerated = null;
  }

  step('the in-memory fallback');
  // The fallback that holds each output in memory, where it is not the
  // page's only way: a variant whose trial of the private storage fails
  // (outside chromium, with the engine's own kinds of input).
  const some = !chromium ? engineInputs : inputs.filter((f) =>
    /^(seed-[a-z0-9-]+|stage.*|sim)\.wav$/.test(path.basename(f)) && !/-cut/.test(f) || path.basename(f) === 'nodot');
  if (mode === 'storage') {
    const other = await openPage('', variant('memory', { 'worker.js': [['function works() {', 'function works() { return Promise.resolve(false);']] }));
    check(await other.run(outputsGo) === 'memory' && await other.run(() => !document.getElementById('fallback').hidden),
      'the fallback notice shows in memory mode');
    report.push(`${await convertAll(other, some)} of ${some.length} inputs the same through the in-memory fallback`);
    await other.close();
  }

  if (mode === 'storage') {
    step('a lost output');
    // An output lost from the storage after it was made (another page
    // cleared it): its link shows it lost rather than saving nothing.
    await feed(page, [example]);
    await page.run(async () => {
      const dir = await navigator.storage.getDirectory();
      for await (const name of dir.keys()) await dir.removeEntry(name);
    });
    await page.click('#results li:last-child a.save');
    const lost = await page.waitFor(() => / lost$/.test(document.querySelector('#results li:last-child .state').textContent))
      .then(() => page.run(() => [document.querySelector('#results li:last-child .state').textContent,
        document.querySelectorAll('#results li:last-child a').length]), () => null);
    check(lost?.[0] === 'sim.wav: lost' && lost[1] === 0, `an output lost from the storage: ${lost}`);

    step('leaving the page');
    // Leaving the page: an output not saved is gone from the private file
    // system when the page opens again (removed on leaving, or swept then).
    // One saved by its link stays, discarded and then left, while its
    // download may still read it, and the page says so each time; it goes
    // once no download can (seen from a variant whose wait is 3 s).
    await feed(page, [example]);
    await saved(page, native(example), 'an output saved before leaving');
    const [kept] = await entriesLeft(page, true);
    await feed(page, [example]);
    const [unsaved] = (await entriesLeft(page, true)).filter((e) => e !== kept);
    check(kept && unsaved, 'two outputs in the private file system, each kept until saved');
    const discarded = await page.run(() => {
      const li = document.querySelector('#results li:nth-last-child(2)');
      li.querySelector('.actions button:last-of-type').click();
      return li.querySelector('.note:last-of-type')?.textContent;
    });
    check(keptNote.test(discarded) && (await entriesLeft(page)).includes(kept), `an output saved by its link, discarded: ${discarded}`);
    await page.goto(url);
    await openedPage(page);
    // Outputs of other pages closed meanwhile are kept too, a zip's above all.
    const swept = await until(async () => [await entriesLeft(page), await page.run(() => document.getElementById('keeping').textContent)],
      ([left]) => !left.includes(unsaved));
    check(swept[0].includes(kept) && !swept[0].includes(unsaved) && new RegExp("^(An output|[\\d,]+ outputs) of a page closed a short " +
      "while ago stays? in the browser's storage for up to 10 minutes more, as downloads begun from (it|them) may still be reading " +
      '(it|them)\\.$').test(swept[1]), `an output saved by its link, the page left: ${swept[1]}`);
    await page.goto(variant('soon', { 'page.js': [['keep = 6e5;', 'keep = 3000;']] }));
    await openedPage(page);
    const left = await until(() => entriesLeft(page), (l) => l.length === 0);
    check(left.length === 0, `after leaving the page: left in the private file system: ${left.slice(0, 5).join(', ')} (${left.length})`);
    check(await page.waitFor(() => document.getElementById('keeping').hidden).then(() => true, () => false),
      'once no download can read it, the page no longer says it keeps an output');
    await page.goto(url);
    await openedPage(page);
  }

  step('new builds, offline');
  // A new build waits while a page of the old one is open, and then serves
  // each open page its own build's files; its cache goes once no page uses
  // it. With no server: the page as the service worker keeps it. An engine
  // that gives the page no service worker (a private window) cannot.
  {
    const hasWorker = await page.run(() => !!navigator.serviceWorker);
    // The page that registers the worker is not taken over by it: the next is.
    const registered = hasWorker && await page.waitFor(() => navigator.serviceWorker.getRegistration().then((r) => !!r?.active))
      .then(() => true, () => false);
    if (registered) {
      await page.goto(url);
      await openedPage(page);
    }
    const kept = registered && await page.waitFor(() => navigator.serviceWorker.controller).then(() => true, () => false);
    if (check(kept || !hasWorker, 'a service worker keeps the page') && kept) {
      report.push(...await newBuilds());
      await unserve();
      const offline = await openPage();
      const from = await feed(offline, [example]);
      compare((await results(offline, from))[0], native(example), 'with no server');
      await offline.close();
      await serve();
    }
    report.push(hasWorker ? 'with no server: converted from the kept page' : 'with no server: no service worker in this engine');
  }

  step('opened as a file');
  // Opened as a file, from the release's folder: the example, saved.
  {
    const double = await openPage('', opts['file-url']);
    const cannot = !(await double.run(() => document.getElementById('cannot').hidden));
    check(!cannot, 'opened as a file: the page says it cannot convert');
    await shoot(double, 'file');
    if (!cannot) {
      const from = await feed(double, [example]);
      const want = native(example);
      await saved(double, want, 'opened as a file');
      const [web] = await double.run((n) => [...document.querySelectorAll('#results li')].slice(n)
        .map((li) => ({ status: li.dataset.status, stdout: li.dataset.stdout })), from);
      check(web.status === '0' && web.stdout === want.stdout, `opened as a file: ${web.status} ${JSON.stringify(web.stdout)}`);
      // A file refused after its header while its next part is read, then
      // another: each its own, whoever reads the parts (the page, where the
      // worker may not).
      const unknown = path.join(work, 'unknown.wav');
      bigWav(unknown, 12 << 20);
      const fd = fs.openSync(unknown, 'r+');
      fs.writeSync(fd, Buffer.from([0x99, 0x00]), 0, 2, 20);  // an unknown wFormatTag
      fs.closeSync(fd);
      const pair = await results(double, await feed(double, [unknown, example]));
      pair.forEach((got, k) => compare(got, native([unknown, example][k]), `opened as a file, after a refusal (${k})`));
      fs.rmSync(unknown);
    }
    await double.close();
  }
}

await finish();

async function finish() {
  const local = (r) => r.startsWith(origin + '/') || /^(blob|data):/.test(r) ||
    r.startsWith(new URL('.', opts['file-url']).href);
  const strays = requests.filter((r) => !local(r));
  check(strays.length === 0, `requests that left the page: ${strays.join(', ')}`);
  report.push(`${requests.length} requests from the pages, ${strays.length} to anywhere but ${origin}`);

  await browser.close();
  await unserve();
  fs.rmSync(work, { recursive: true, force: true });
  for (const line of report) console.log(`${engineName}: ${line}`);
  // Rows for tools/web-check.sh's table of speed and memory.
  for (const row of table) {
    console.log(`table: ${row.map((v) => (typeof v === 'number' ? v.toFixed(v >= 100 ? 0 : 2) : v)).join(' | ')}`);
  }
  console.log(`browser test, ${engineName}: ${passed} passed, ${failed} failed`);
  process.exit(failed === 0 ? 0 : 1);
}
