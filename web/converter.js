// The converter's worker, seen from the page: one worker at a time, started
// on first use, and a promise for each job given to it (a conversion or a
// checksum), which settles with the worker's last word on it or fails with
// words when the worker stops. The worker takes its jobs one after the
// other, in the order given. Aborting a job ends the worker: the next job
// starts another. Only the job going on is listened to, so a late word from
// a stopped one is never taken for the next.
import { kinds } from './messages.js';

// A worker that has read and written nothing for this long while reading
// has stopped, whether or not the browser said so. Bytes written count: a
// folder on a slow disk may take a while over a part.
const stallSeconds = 30;
// The build this page was made of: its worker and the worker's files are
// asked for by it, so that a newer build's service worker still serves
// this page its own files.
export const build = document.querySelector('meta[name="halvorine-build"]')?.content ?? '';
export const buildQuery = /^[0-9a-f]+$/.test(build) ? `?build=${build}` : '';

let worker = null;
let starting = null;  // a promise of the worker's hello: { storage }
let bundle = null;  // the converter carried in bundle.js: null not asked, false loading
let jobs = 0;
let starts = 0;
// The jobs given to the worker, in order, each { job, source, moved,
// closing, begun, heard, settle, fail }: it works on the first.
let given = [];
const asked = new Map();  // each naming job's { settle, fail }, answered out of turn

// Why a job ended without the worker's last word: `started` false where
// no worker could be started for it, `cannot` where none ever will be (a
// page opened as a file whose browser refuses its workers), and `begun`
// false where the worker stopped before a word about it: it may have died
// before the file reached it, and a fresh worker may take the file;
// `reached` false where it was still waiting behind another job.
export class Stopped extends Error {
  constructor(message, { started = true, cannot = false, begun = true, reached = true } = {}) {
    super(message);
    Object.assign(this, { started, cannot, begun, reached });
  }
}

export function end(why) {
  worker?.terminate();
  worker = null;
  starting = null;
  const jobs = given;
  given = [];
  jobs.forEach((job, k) => job.fail(why, k === 0));
  for (const { fail } of asked.values()) fail(new Stopped(why));
  asked.clear();
}

// A page opened from a file cannot start worker.js in some browsers (an
// opaque origin may not load scripts into workers); bundle.js carries the
// worker's scripts and the WebAssembly, and the worker starts from a blob:
// URL instead.
function bundledWorker() {
  const url = URL.createObjectURL(new Blob([bundle.worker], { type: 'text/javascript' }));
  const w = new Worker(url);
  URL.revokeObjectURL(url);
  const wasm = Uint8Array.from(atob(bundle.wasm), (c) => c.charCodeAt(0));
  w.postMessage({ kind: kinds.wasm, job: 0, wasm }, [wasm.buffer]);
  return w;
}

function loadBundle() {
  bundle = false;
  return new Promise((loaded, failed) => {
    const script = document.createElement('script');
    script.src = 'bundle.js';
    script.onload = () => { bundle = self.halvorineBundle; loaded(); };
    script.onerror = () => failed(new Stopped('bundle.js did not load', { started: false, cannot: true }));
    document.head.append(script);
  });
}

function spawn() {
  starts++;
  return new Promise((hello, broken) => {
    let w;
    try {
      w = bundle ? bundledWorker() : new Worker(`worker.js${buildQuery}`);
    } catch (e) {
      broken(new Error(e.message));
      return;
    }
    worker = w;
    let ready = false;
    w.onmessage = ({ data }) => {
      if (worker !== w) return;
      if (data.kind === kinds.hello) { ready = true; hello({ storage: data.storage }); }
      else if (data.kind === kinds.broken) broken(new Error(data.error));
      else if (data.kind === kinds.named) asked.get(data.job)?.settle(data.outputs);
      else if (data.job === given[0]?.job) heard(data);
    };
    w.onerror = (event) => {
      event.preventDefault();
      if (worker !== w) return;
      if (!ready) broken(new Error(event.message || 'the browser did not load it'));
      else end(`The browser stopped the conversion, perhaps for lack of memory${event.message ? ` (${event.message})` : ''}.`);
    };
  });
}

// Resolves to { storage } once a worker has said hello. A page opened as a
// file tries bundle.js once before it gives up for good.
export function ready() {
  starting ??= spawn().catch(async (e) => {
    worker?.terminate();
    worker = null;
    if (location.protocol !== 'file:') throw new Stopped(e.message, { started: false });
    if (bundle !== null) throw new Stopped(e.message, { started: false, cannot: true });
    await loadBundle();
    return spawn().catch((again) => { throw new Stopped(again.message, { started: false, cannot: true }); });
  }).catch((e) => {
    starting = null;  // tried again for the next job
    throw e;
  });
  return starting;
}

// A worker given a bundled page's file cannot read it: the page reads each
// part it asks for.
function answerSlice(source, { job, at, end: to }) {
  const asking = worker;
  source.slice(at, to).arrayBuffer().then(
    (bytes) => asking.postMessage({ kind: kinds.slice, job, at, bytes }, [bytes]),
    () => asking.postMessage({ kind: kinds.slice, job, at, bytes: null }));
}

function heard(message) {
  const job = given[0];
  job.begun = true;
  if (message.kind === kinds.readSlice) answerSlice(job.source, message);
  else if (message.kind === kinds.progress) {
    const written = message.written ?? 0;
    if (message.done > job.done || written > job.written) job.moved = performance.now();
    job.done = message.done;
    job.written = written;
    job.closing = !!message.closing;
    job.heard(message);
  } else if (message.kind === kinds.done || message.kind === kinds.summed) {
    given.shift();
    // The next job's time without progress counts from now.
    if (given[0]) given[0].moved = performance.now();
    job.settle(message);
  } else job.heard(message);
}

// Only reading and writing are watched: once the worker says it is
// closing the output, a flush of gigabytes may take its time. From the
// first job on: a page that converts nothing has nothing to watch.
let watching = null;
const watch = () => {
  watching ??= setInterval(() => {
    const [job] = given;
    if (job && !job.closing && performance.now() - job.moved > stallSeconds * 1000) end(job.stalled);
  }, 1000);
};

// One job: `fields` for the worker, `source` the Blob it reads, `heard`
// each word before its last, `stalled` the words for a worker that stopped
// reading. Given while another runs, it waits in the worker.
async function run(kind, fields, { source, heard: hear = () => {}, signal = null, stalled }) {
  await ready();
  if (signal?.aborted) throw new Stopped('cancelled');
  const job = ++jobs;
  return new Promise((settle, fail) => {
    const going = {
      job, source, done: -1, written: 0, moved: performance.now(), closing: false, begun: false, heard: hear, settle, stalled,
      fail: (words, reached) => fail(new Stopped(words, { begun: going.begun, reached })),
    };
    watch();
    given.push(going);
    signal?.addEventListener('abort', () => { if (given.includes(going)) end('cancelled'); }, { once: true });
    worker.postMessage({ kind, job, ...fields });
  });
}

// `file` converted into the private storage's `entry`, or into memory
// where it is null: the worker's `done`, with `said` (what the converter
// printed) and `output` (its name, once opened).
export function convert(file, entry, { said, opened, progress, signal }) {
  return run(kinds.convert, { file, entry }, {
    source: file, signal,
    heard: (m) => (m.kind === kinds.said ? said(m) : m.kind === kinds.opened ? opened(m.output) : progress(m.done, m.total, m.closing)),
    stalled: `The conversion made no progress for ${stallSeconds} s and was stopped: the browser stopped reading the file,` +
      ' writing the output or running the converter, perhaps for lack of memory.',
  });
}

// The CRC-32 of a whole output, read by the worker a part ahead into the
// buffers it reads recordings with: read on the page's thread, each part
// would be new memory, and the page grew by hundreds of MB for a zip of
// 2 GB before the browser collected them. Resolves to the CRC-32.
export async function checksum(blob, entry, progress) {
  const said = await run(kinds.checksum, { blob, entry }, {
    source: blob, heard: (m) => progress(m.done),
    stalled: `an output could not be read for ${stallSeconds} s, and its reading was stopped`,
  }).catch((e) => ({ crc: null, error: e.message }));
  if (said.crc === null) throw new Error(said.error);
  return said.crc;
}

// The converter's own output name for each of `names` (null where one
// gives none), answered without waiting for the file converting.
export async function outputNames(names) {
  await ready();
  const job = ++jobs;
  return new Promise((settle, fail) => {
    asked.set(job, { settle, fail });
    worker.postMessage({ kind: kinds.name, job, names });
  }).finally(() => asked.delete(job));
}

