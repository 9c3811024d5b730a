'use strict';
// The page's side: picks and drops, one conversion at a time in the worker,
// progress, results, saving, the room the outputs take, and a new build's
// offer to reload. Every message about a file's contents comes from the
// converter itself (the worker passes on what it says); only the page's own
// controls and states are worded here.

const $ = (id) => document.getElementById(id);
const kinds = halvorineMessages;
const { remove, folder } = halvorineStorage;
const session = (crypto.randomUUID ? crypto.randomUUID() : String(Math.random()).slice(2)).replace(/-/g, '');
const holding = halvorineStorage.hold(session);
// The build this page was made of: its worker and the worker's files are
// asked for by it, so that a newer build's service worker still serves this
// page its own files.
const build = document.querySelector('meta[name="halvorine-build"]')?.content ?? '';
const buildQuery = /^[0-9a-f]+$/.test(build) ? `?build=${build}` : '';

// A worker that has read nothing for this long while bytes remain has
// stopped, whether or not the browser said so.
const stallSeconds = 30;

let worker = null;
let ready = false;  // the worker has said hello
let storage = false;  // outputs go to the private storage (else memory)
let bundle = null;  // the converter carried in bundle.js, once loaded
let jobs = 0;
let queue = [];  // { job, file, folder, group, item }
let busy = null;  // { job, file, folder, group, item, entry, started, said, done, moved }
const ours = new Set();  // entries to remove when the page is left
const outputs = new Set();  // the outputs on the page, saved or not
const freed = [];  // outputs removed from the storage to make room, once saved by their link
let savings = 0;  // outputs saved by their link so far
let leaving = false;  // the page is being left: nothing more starts
let summing = null;  // { job, blob, progress, settle }: an output the worker reads for its CRC-32
let gathering = false;  // outputs are read for a zip or a folder: no file starts meanwhile
let waiting = [];  // called once the worker has said hello, or cannot start

function formatBytes(n) {
  const units = ['bytes', 'KB', 'MB', 'GB', 'TB'];
  let u = 0;
  while (n >= 1000 && u < units.length - 1) { n /= 1000; u++; }
  return u === 0 ? `${n} bytes` : `${n.toFixed(n < 10 ? 2 : 1)} ${units[u]}`;
}

// The banner and the messages are printed by the console program with their
// line ends; the page shows their words, each on a line of its own.
const shown = (text) => text.replace(/^[\s]+|[\s]+$/g, '');

function line(text, className) {
  const p = document.createElement('p');
  p.className = className;
  p.textContent = text;
  return p;
}

const setState = (item, text) => { item.querySelector('.state').textContent = text; };

// ---- The worker

// A page opened from a file cannot start worker.js in some browsers (an
// opaque origin may not load scripts into workers); bundle.js carries the
// worker's scripts and the WebAssembly, and the worker starts from a blob:
// URL instead.
function startWorker() {
  ready = false;
  if (bundle === false) return;  // bundle.js is loading: it starts the worker
  try {
    worker = bundle ? bundledWorker() : new Worker(`worker.js${buildQuery}`);
  } catch (e) {
    notStarted(e.message);
    return;
  }
  const mine = worker;
  worker.onmessage = ({ data }) => { if (worker === mine) received(data); };
  worker.onerror = (event) => {
    event.preventDefault();
    if (worker !== mine) return;
    if (!ready) notStarted(event.message || 'the browser did not load it');
    else if (!busy) dropWorker();  // between files: the next one starts another
    else stopped(`The browser stopped the conversion, perhaps for lack of memory${event.message ? ` (${event.message})` : ''}.`);
  };
}

function bundledWorker() {
  const url = URL.createObjectURL(new Blob([bundle.worker], { type: 'text/javascript' }));
  const w = new Worker(url);
  URL.revokeObjectURL(url);
  const wasm = Uint8Array.from(atob(bundle.wasm), (c) => c.charCodeAt(0));
  w.postMessage({ kind: kinds.wasm, job: 0, wasm }, [wasm.buffer]);
  return w;
}

function dropWorker() {
  worker?.terminate();
  worker = null;
  ready = false;
  summing?.settle({ crc: null, error: 'the converter stopped' });
  summing = null;
}

// The worker could not start. A page opened as a file tries bundle.js once,
// then says it cannot convert here. A served page says what failed, gives
// up the file it was started for, and tries again for the next one.
function notStarted(reason) {
  dropWorker();
  waiting.splice(0).forEach((go) => go());
  if (location.protocol === 'file:') {
    if (bundle === null) {
      bundle = false;  // asked for
      const script = document.createElement('script');
      script.src = 'bundle.js';
      script.onload = () => {
        bundle = self.halvorineBundle;
        startWorker();
      };
      script.onerror = cannotStart;
      document.head.append(script);
    } else {
      cannotStart();
    }
    return;
  }
  const words = `The converter could not be started: ${reason}.`;
  const notice = $('not-started');
  notice.textContent = `${words} It is tried again for the next file.`;
  notice.hidden = false;
  const job = queue.shift();
  if (job) {
    setState(job.item, `${job.file.name}: not converted`);
    job.item.className = 'failed';
    job.item.append(line(words, 'note'));
    job.item.dataset.status = 'not started';
  }
  if (queue.length > 0) startWorker();
  showProgress();
}

function cannotStart() {
  $('cannot').hidden = false;
  $('pick').hidden = true;
  for (const job of queue) {
    setState(job.item, `${job.file.name}: not converted`);
    job.item.dataset.status = 'cannot start';
  }
  queue = [];
}

// The worker stopped in the middle of a file: the browser ended it, or it
// stopped answering. The file fails with `words`; what it had stored is kept
// to save, and the next file gets a fresh worker.
async function stopped(words) {
  dropWorker();
  if (busy && !busy.started) {
    // Stopped before it was given the file: the next worker takes it, as a
    // job of its own (the room check under way belongs to the old one).
    queue.unshift({ ...busy, job: ++jobs, group: null });
    busy = null;
  }
  if (!busy) {
    next();
    return;
  }
  const { item, file, entry, output } = busy;
  busy = null;
  item.className = 'failed';
  setState(item, `${file.name}: not converted`);
  item.append(line(words, 'note'));
  let kept = null;
  if (entry) {
    // Written up to where it stopped, as the console program leaves it.
    kept = output ? await stored(entry).catch(() => null) : null;
    if (kept?.size === 0) kept = null;
    // A worker just stopped may hold its file for a while yet.
    if (!kept) { ours.delete(entry); remove(entry, 300); }
  }
  if (kept) {
    item.dataset.entry = entry;
    addSaving(item, { name: output, bytes: kept.size, blob: kept, entry, whole: false });
  } else if (!entry) {
    item.append(line('What it had converted was held by the stopped worker, and is lost with it.', 'note'));
  }
  item.dataset.status = 'stopped';
  showProgress();
  next();
}

setInterval(() => {
  if (busy?.started && busy.done < busy.file.size && performance.now() - busy.moved > stallSeconds * 1000) {
    stopped(`The conversion made no progress for ${stallSeconds} s and was stopped: the browser stopped reading the file` +
      ' or running the converter, perhaps for lack of memory.');
  }
}, 1000);

function received(message) {
  if (message.kind === kinds.hello) {
    ready = true;
    storage = message.storage;
    $('not-started').hidden = true;
    $('fallback').hidden = storage;
    document.body.dataset.output = storage ? 'storage' : 'memory';
    // The footer tells only of the buttons this browser shows.
    const words = storage ? (window.showSaveFilePicker ? 'kept-save-as' : 'kept') : 'held';
    for (const p of document.querySelectorAll('footer p')) p.hidden = p.id !== words;
    waiting.splice(0).forEach((go) => go());
    next();
    return;
  }
  if (message.kind === kinds.broken) {
    notStarted(message.error);
    return;
  }
  if (summing && message.job === summing.job) {
    if (message.kind === kinds.progress) summing.progress(message.done);
    else if (message.kind === kinds.readSlice) answerSlice(summing.blob, message);
    else if (message.kind === kinds.summed) summing.settle(message);
    return;
  }
  // Anything else is about a conversion: only the one going on counts.
  if (!busy || message.job !== busy.job) return;
  switch (message.kind) {
    case kinds.said:
      busy.said.push(message);
      if (message.banner) $('current').textContent = shown(message.text);
      break;
    case kinds.readSlice:
      answerSlice(busy.file, message);
      break;
    case kinds.opened:
      busy.output = message.output;
      break;
    case kinds.progress:
      if (message.done > busy.done) busy.moved = performance.now();
      busy.done = message.done;
      progress(message.done, message.total);
      break;
    case kinds.done:
      finished(message);
      break;
  }
}

function answerSlice(blob, message) {
  const asking = worker;
  blob.slice(message.at, message.end).arrayBuffer().then(
    (bytes) => asking.postMessage({ kind: kinds.slice, job: message.job, at: message.at, bytes }, [bytes]),
    () => asking.postMessage({ kind: kinds.slice, job: message.job, at: message.at, bytes: null }));
}

// ---- The queue

function addItem(file, folder) {
  $('none').hidden = true;
  const item = document.createElement('li');
  item.dataset.name = file.name;
  item.dataset.folder = folder;
  item.append(line(`${file.name}: waiting`, 'state'));
  if (folder) item.append(line(`in ${folder}/`, 'folder'));
  $('results').append(item);
  return item;
}

// `picks`, { file, folder } in the order they convert. Those from a folder
// are weighed together for room before the first starts.
function enqueue(picks) {
  const group = picks.some((p) => p.folder) ? { weighed: false } : null;
  for (const { file, folder } of picks) queue.push({ job: ++jobs, file, folder, group, item: addItem(file, folder) });
  showProgress();
  next();
}

// ---- Folders

const byName = (a, b) => (a < b ? -1 : a > b ? 1 : 0);

// By name, the files of a folder before its subfolders.
function inOrder(a, b) {
  const x = a.folder ? a.folder.split('/') : [];
  const y = b.folder ? b.folder.split('/') : [];
  for (let i = 0; i < Math.min(x.length, y.length); i++) if (x[i] !== y[i]) return byName(x[i], y[i]);
  return x.length - y.length || byName(a.file.name, b.file.name);
}

// Each file once: a file reached twice in one pick or drop (dropped on its
// own and again inside its folder) is the same where the browser gives
// handles and they are the same entry; without handles, where its folder,
// name, size and time of change are the same. The first in order is kept.
async function once(picks) {
  const kept = [];
  const seen = new Map();  // name, size and time: the picks kept with them
  for (const pick of picks.sort(inOrder)) {
    const key = `${pick.file.name}\0${pick.file.size}\0${pick.file.lastModified}`;
    const alike = seen.get(key) ?? [];
    let same = false;
    for (const other of alike) {
      same = pick.handle && other.handle ? await pick.handle.isSameEntry(other.handle).catch(() => false) : pick.folder === other.folder;
      if (same) break;
    }
    if (same) continue;
    seen.set(key, [...alike, pick]);
    kept.push(pick);
  }
  return kept.map(({ file, folder }) => ({ file, folder }));
}

const within = (folder, name) => (folder ? `${folder}/${name}` : name);

// What was dropped (see intake.js). Each item is asked for its handle or
// entry while the drop event lasts: the browser empties the list after it.
function dropped(transfer) {
  const items = [...transfer.items].filter((i) => i.kind === 'file');
  return halvorineIntake.dropped(items.map((i) => ({
    handle: i.getAsFileSystemHandle?.().catch(() => null) ?? null,
    entry: i.webkitGetAsEntry?.() ?? null,
    file: i.getAsFile(),
  })));
}

const counted = (n, one, many) => `${n} ${n === 1 ? one : many}`;

// What the last pick or drop left out, in words: each entry the browser
// could not read, and a pick with nothing to convert, with what was passed
// over in it; none for a pick of files, which are taken as they are.
function tell(given, what) {
  const lines = given ? given.unread.map(({ path, folder, partly, reason }) => (!folder
    ? `Left out ${path}: the browser could not read it (${reason}).`
    : partly
      ? `Left out the rest of ${path}/: the browser could not read the folder to its end (${reason}).`
      : `Left out ${path}/: the browser could not read the folder (${reason}).`)) : [];
  if (given && given.picks.length === 0) {
    const left = [...given.passed.values()];
    const hidden = left.filter((k) => k === 'hidden').length;
    const other = left.length - hidden;
    const passed = [hidden && counted(hidden, 'hidden or system item', 'hidden or system items'),
      other && counted(other, 'other file', 'other files')].filter(Boolean);
    lines.push(`No .wav recording in ${what}.${passed.length > 0 ? ` Passed over: ${passed.join(', ')}.` : ''}`);
  }
  const told = $('intake');
  told.replaceChildren(...lines.map((text) => line(text, 'note')));
  told.hidden = lines.length === 0;
}

// A pick or drop of folders: its words, then its files in order.
async function gather(given, what) {
  const got = await given;
  tell(got, what);
  enqueue(await once(got.picks));
}

function showProgress() {
  $('now').hidden = !busy && queue.length === 0;
  showAll();
  offerReload();
}

// The next file, once the worker is ready and, where outputs go to the
// private storage, once there is room for it.
async function next() {
  if (busy || gathering || queue.length === 0 || !$('cannot').hidden || leaving) return;
  if (!worker) startWorker();
  if (!ready) return;
  const job = queue.shift();
  busy = { ...job, entry: null, output: null, started: 0, said: [], done: 0 };
  setState(job.item, `${job.file.name}: converting`);
  showProgress();
  $('current').textContent = job.file.name;
  $('bar').max = Math.max(job.file.size, 1);
  $('bar').value = 0;
  $('figures').textContent = `0 bytes of ${formatBytes(job.file.size)}`;
  if (storage) {
    const needs = (j) => Math.ceil(j.file.size / 3) * 4;
    // The first of a folder weighs the whole folder: it starts only where
    // all of it fits.
    const folder = job.group && !job.group.weighed ? [job, ...queue.filter((j) => j.group === job.group)] : [job];
    if (job.group) job.group.weighed = true;
    const room = await makeRoom(folder.reduce((sum, j) => sum + needs(j), 0));
    if (busy?.job !== job.job) return;  // cancelled meanwhile
    if (room) {
      busy = null;
      queue = queue.filter((j) => !folder.includes(j));
      for (const j of folder) short(j, room, folder.length > 1);
      showProgress();
      next();
      return;
    }
    busy.entry = `${halvorineStorage.prefix}${session}-${job.job}.ddc`;
    ours.add(busy.entry);
  }
  busy.started = busy.moved = performance.now();
  worker.postMessage({ kind: kinds.convert, job: job.job, file: job.file, entry: busy.entry });
}

function progress(done, total) {
  const seconds = (performance.now() - busy.started) / 1000;
  $('bar').value = done;
  const speed = seconds > 0 ? `, ${formatBytes(done / seconds)}/s` : '';
  $('figures').textContent = `${formatBytes(done)} of ${formatBytes(total)}${speed}`;
}

async function finished(result) {
  const { item, entry, file, said, folder } = busy;
  busy = null;
  const banner = said.filter((s) => s.banner).map((s) => s.text).join('');
  const after = said.filter((s) => !s.banner).map((s) => s.text).join('');
  item.className = result.status === 0 ? 'converted' : 'failed';
  // What the console program would have printed, whole, for anyone checking.
  item.dataset.stdout = said.map((s) => s.text).join('');
  item.dataset.bytes = String(result.bytes);
  item.dataset.output = result.output ?? '';
  item.dataset.seconds = String(result.seconds);
  setState(item, `${file.name}: ${result.status === 0 ? 'converted' : 'not converted'} (${result.seconds.toFixed(2)} s)`);
  if (banner) item.append(line(shown(banner), 'said banner'));
  if (after) item.append(line(shown(after), 'said message'));

  if (result.stored) {
    item.dataset.entry = entry;
    const kept = await stored(entry).catch(() => null);
    if (kept?.size === result.bytes) {
      addSaving(item, { name: result.output, folder, bytes: result.bytes, blob: kept, entry, whole: result.status === 0 });
    } else {
      lost(item, { entry, whole: result.status === 0 });
    }
  } else {
    if (entry) { ours.delete(entry); remove(entry, 3); }
    if (result.output !== null && result.blob) {
      addSaving(item, { name: result.output, folder, bytes: result.bytes, blob: result.blob, entry: null, whole: result.status === 0 });
    }
  }
  item.dataset.status = String(result.status);  // last: the result is complete
  showProgress();
  next();
}

function cancel() {
  if (busy) {
    dropWorker();
    const { item, entry, file } = busy;
    busy = null;
    item.className = 'failed';
    item.dataset.status = 'cancelled';
    setState(item, `${file.name}: cancelled`);
    // The stopped worker may hold the file for a while yet; left in `ours`,
    // it is tried again when the page is left.
    if (entry) remove(entry, 300);
  }
  for (const job of queue) {
    job.item.dataset.status = 'cancelled';
    setState(job.item, `${job.file.name}: cancelled`);
  }
  queue = [];
  showProgress();
}

// ---- Room in the private storage

// A stored output as it is now: typed, or a browser that finds a RIFF header
// in an untyped file names the saved file .wav (the Blob only refers to the
// stored file).
async function stored(entry) {
  const file = await (await (await folder()).getFileHandle(entry)).getFile();
  return new Blob([file], { type: 'application/octet-stream' });
}

// Frees outputs already saved by their link, oldest first, until `need`
// bytes are free. Null when there is room; else the room there is, with
// nothing freed.
async function makeRoom(need) {
  let estimate;
  try {
    estimate = await navigator.storage.estimate();
  } catch (e) {
    return null;  // the browser cannot tell: a full quota fails the file as a full disk would
  }
  let free = Math.max(0, estimate.quota - estimate.usage);
  if (free >= need) return null;
  const freeable = [...outputs].filter((o) => o.savedAt && o.entry).sort((a, b) => a.savedAt - b.savedAt);
  if (free + freeable.reduce((sum, o) => sum + o.bytes, 0) < need) return { need, free };
  for (const output of freeable) {
    if (free >= need) break;
    await remove(output.entry);
    free += output.bytes;
    output.forget();
    if (output.whole) freed.push(output);
    setState(output.item, `${output.item.dataset.name}: ${output.whole ? '' : 'not converted; '}saved; removed from the page's storage`);
  }
  return null;
}

function short(job, { need, free }, folder = false) {
  const { item, file } = job;
  item.className = 'failed';
  item.dataset.status = 'no room';
  setState(item, `${file.name}: not converted`);
  const words = line(`Not enough room: ${folder ? 'its folder' : 'it'} needs ${formatBytes(need)} in the browser's storage for this page, and ` +
    `${formatBytes(free)} is free. Save or discard converted files to free room (one saved by its link is ` +
    'freed when room is needed), then try again.', 'note');
  const again = document.createElement('button');
  again.type = 'button';
  again.textContent = 'Try again';
  const actions = line('', 'actions');
  actions.append(again);
  again.addEventListener('click', () => {
    words.remove();
    actions.remove();
    item.className = '';
    delete item.dataset.status;
    setState(item, `${file.name}: waiting`);
    queue.push({ ...job, job: ++jobs, group: null });
    next();
  });
  item.append(words, actions);
}

// ---- Saving

// An output lost from the private storage after it was made (the browser or
// another tab cleared it): nothing is left to save.
function lost(item, output) {
  const { whole } = output;
  output.forget?.();
  if (output.entry) { ours.delete(output.entry); remove(output.entry); }
  item.className = 'failed';
  item.dataset.lost = 'true';
  setState(item, `${item.dataset.name}: ${whole ? '' : 'not converted; '}lost`);
  item.append(line("The output is no longer in the browser's storage (the browser or another page cleared it): " +
    'convert the file again to get it.', 'note'));
}

// True when the output can still be read whole.
async function readable(output) {
  if (!output.entry) return true;
  try {
    const now = await stored(output.entry);
    if (now.size !== output.bytes) return false;
    if (output.bytes > 0) await output.blob.slice(output.bytes - 1).arrayBuffer();
    return true;
  } catch (e) {
    return false;
  }
}

function addSaving(item, output) {
  const actions = line('', 'actions');
  let url = URL.createObjectURL(output.blob);
  const link = document.createElement('a');
  link.className = 'save';
  link.href = url;
  link.download = output.name;
  link.textContent = output.whole
    ? `Save ${output.name} (${formatBytes(output.bytes)})`
    : `Save the ${formatBytes(output.bytes)} written before it stopped`;
  actions.append(link);
  Object.assign(output, {
    item,
    savedAt: 0,
    path: within(output.folder ?? '', output.name),
    crc: null,  // taken when first zipped
    forget() {
      URL.revokeObjectURL(url);
      url = null;
      outputs.delete(output);
      delete item.output;
      actions.remove();
      showAll();
      offerReload();
    },
  });
  outputs.add(output);
  item.output = output.blob;  // what the links save
  item.saving = output;
  const discard = () => {
    output.forget();
    if (output.entry) { ours.delete(output.entry); remove(output.entry); }
  };
  output.discard = discard;
  // The browser follows the link at once (a download started later, past
  // the click, would count as one the page started by itself); meanwhile
  // the output is checked, and one cleared from the storage shows as lost.
  link.addEventListener('click', async () => {
    if (!(await readable(output))) {
      lost(item, output);
      return;
    }
    savedByLink(output);
    offerReload();
  });
  if (window.showSaveFilePicker) {
    const saveAs = document.createElement('button');
    saveAs.type = 'button';
    saveAs.textContent = 'Save as…';
    saveAs.addEventListener('click', async () => {
      try {
        const target = await window.showSaveFilePicker({ suggestedName: output.name });
        if (!(await readable(output))) {
          lost(item, output);
          return;
        }
        const writable = await target.createWritable();
        await output.blob.stream().pipeTo(writable);
        item.append(line(`Saved as ${target.name}.`, 'state'));
        discard();
      } catch (e) {
        if (e.name !== 'AbortError') item.append(line(`Not saved: ${e.message}`, 'state'));
      }
    });
    actions.append(saveAs);
  }
  const drop = document.createElement('button');
  drop.type = 'button';
  drop.textContent = 'Discard';
  drop.addEventListener('click', discard);
  actions.append(drop);
  item.append(actions);
  offerReload();
}

// Saved by a link, its own or the zip's: kept when the page is left, so
// that the download can finish, and the first freed when room is needed.
function savedByLink(output) {
  output.savedAt ||= ++savings;
  ours.delete(output.entry);
}

// ---- All at once

// The outputs that go into a zip or a folder, in the page's order, each
// under its folder's path, made safe to unpack (zip.js). Of two whose paths
// Windows or macOS would take for one (`take.1.wav` and `take.2.wav` both
// give `halvorine-take.ddc`; `Take` and `take`) the later is left out, and
// said so, rather than replace the first when unpacked.
function together() {
  const taken = new Map();
  const entries = [];
  const notes = [];
  for (const item of $('results').children) {
    const output = item.saving;
    if (!output || !outputs.has(output) || !output.whole) continue;
    const from = within(item.dataset.folder, item.dataset.name);
    const path = halvorineZip.safePath(output.path);
    const unfit = halvorineZip.unfit(path);
    const key = halvorineZip.sameName(path);
    const first = taken.get(key);
    if (unfit) {
      notes.push(`Left out: the output of ${from}, as ${unfit}.`);
    } else if (first) {
      const by = within(first.item.dataset.folder, first.item.dataset.name);
      notes.push(`Left out: ${path} from ${from}, as ` + (first.path === path ? `${by} already gives it.`
        : `${by} already gives ${first.path}, which Windows and macOS take for the same name.`));
    } else {
      taken.set(key, { item, path });
      entries.push(output);
    }
  }
  if (freed.length > 0) {
    notes.push(`Not included, as they were removed from the page's storage once saved by their link: ${freed.map((o) => o.path).join(', ')}.`);
  }
  // One at a time: a spread of thousands of notes is past what some engines take.
  const list = $('left-out');
  list.replaceChildren();
  for (const text of notes) {
    const li = document.createElement('li');
    li.textContent = text;
    list.append(li);
  }
  return entries;
}

function showAll() {
  const any = [...outputs].some((o) => o.whole);
  $('all').hidden = !any && freed.length === 0;
  const converting = busy !== null || queue.length > 0;
  for (const id of ['zip', 'to-folder']) $(id).disabled = !any || converting || gathering;
  $('to-folder').hidden = !window.showDirectoryPicker;
  together();
}

// The CRC-32 of `output`, read by the converter's worker as it reads a
// recording, a part ahead into the same two buffers: read here, each part
// would be new memory, and the page grew by hundreds of MB for a zip of
// 2 GB before the browser collected them. `progress(bytes)` as it reads.
async function checksum(output, progress) {
  if (!worker) startWorker();
  if (!ready) await new Promise((go) => waiting.push(go));
  if (!ready) throw new Error('the converter could not be started');
  const said = await new Promise((settle) => {
    summing = { job: ++jobs, blob: output.blob, progress, settle };
    worker.postMessage({ kind: kinds.checksum, job: summing.job, blob: output.blob, entry: output.entry });
  });
  summing = null;
  if (said.crc === null) throw new Error(said.error);
  output.crc = said.crc;
  return said.seconds;
}

// Each of `entries` read once more, with the bar: `each(output, sum)` per
// output that can still be read whole, `sum()` taking its CRC-32.
async function readAll(entries, doing, each) {
  const bar = $('all-bar');
  const state = $('all-state');
  const total = entries.reduce((sum, o) => sum + o.bytes, 0);
  let done = 0;
  const started = performance.now();
  let crcSeconds = 0;
  bar.max = Math.max(total, 1);
  bar.value = 0;
  bar.hidden = false;
  gathering = true;
  showAll();
  const show = () => {
    bar.value = done;
    state.textContent = `${doing}: ${formatBytes(done)} of ${formatBytes(total)}`;
  };
  try {
    for (const output of entries) {
      const before = done;
      if (!(await readable(output))) {
        lost(output.item, output);
        continue;
      }
      await each(output, async () => {
        crcSeconds += await checksum(output, (n) => {
          done = before + n;
          show();
        });
      });
      done = before + output.bytes;
      show();
    }
  } finally {
    bar.hidden = true;
    gathering = false;
    next();
  }
  $('all').dataset.seconds = String((performance.now() - started) / 1000);
  $('all').dataset.crcSeconds = String(crcSeconds);
}

async function downloadAll() {
  const entries = together();
  try {
    await readAll(entries.filter((o) => o.crc === null), 'Reading the outputs for the zip', (o, sum) => sum());
  } catch (e) {
    $('all-state').textContent = `Not zipped: ${e.message}`;
    showAll();
    return;
  }
  const zipped = entries.filter((o) => o.crc !== null && outputs.has(o));
  const blob = halvorineZip.zip(zipped.map((o) => ({ path: o.path, blob: o.blob, size: o.bytes, crc: o.crc })));
  const link = $('zip-link');
  // The link before stays valid: its download may not have finished.
  link.href = URL.createObjectURL(blob);
  link.download = 'halvorine-outputs.zip';
  link.textContent = `Save halvorine-outputs.zip (${formatBytes(blob.size)}) again`;
  $('all-state').textContent = `halvorine-outputs.zip: ${zipped.length} ${zipped.length === 1 ? 'file' : 'files'}, ` +
    `${formatBytes(blob.size)}.`;
  $('all').dataset.zipped = String(zipped.length);
  link.click();
  link.hidden = false;
  for (const o of zipped) savedByLink(o);
  showAll();
  offerReload();
}

// Each output written into a folder the user picks, in subfolders by its
// path; a file already there is left as it is, and said so. Saved there, it
// is removed from the page, as after "Save as…".
async function saveAllTo() {
  let folder;
  try {
    folder = await window.showDirectoryPicker({ id: 'halvorine-outputs', mode: 'readwrite' });
  } catch (e) {
    if (e.name !== 'AbortError') $('all-state').textContent = `Not saved: ${e.message}`;
    return;
  }
  const there = [];
  const saved = [];
  try {
    await readAll(together(), `Saving into ${folder.name}`, async (output) => {
      const path = halvorineZip.safePath(output.path);
      const parts = path.split('/');
      const name = parts.pop();
      let into = folder;
      for (const part of parts) into = await into.getDirectoryHandle(part, { create: true });
      if (await into.getFileHandle(name).then(() => true, () => false)) {
        there.push(path);
        return;
      }
      const writable = await (await into.getFileHandle(name, { create: true })).createWritable();
      await output.blob.stream().pipeTo(writable);
      saved.push(output);
    });
  } catch (e) {
    $('all-state').textContent = `Not all saved: ${e.message}`;
  }
  for (const output of saved) {
    output.item.append(line(`Saved into ${folder.name}/${halvorineZip.safePath(output.path)}.`, 'state'));
    output.discard();
  }
  $('all-state').textContent = `Saved ${saved.length} ${saved.length === 1 ? 'file' : 'files'} into ${folder.name}.` +
    (there.length > 0 ? ` Already there, so left as they were: ${there.join(', ')}.` : '');
  showAll();
}

// ---- A new build

// Offered, never forced: reloading leaves the page, and with it every output
// not saved yet, so the offer counts them and asks first; and it waits while
// a file converts.
let newBuild = null;  // the registration whose newer build is ready
let reloading = false;

// The outputs that reloading would lose: neither saved nor discarded.
const unsavedCount = () => [...outputs].filter((o) => !o.savedAt).length;

function offerReload() {
  if (!newBuild) return;
  $('update').hidden = false;
  const unsaved = unsavedCount();
  const converting = busy !== null || queue.length > 0;
  $('reload').disabled = converting;
  $('unsaved').textContent = [
    converting ? 'Reload once the conversions end.' : '',
    unsaved > 0 ? `${unsaved} converted ${unsaved === 1 ? 'file is' : 'files are'} not saved yet.` : '',
  ].filter(Boolean).join(' ');
  if (converting || unsaved === 0) $('discarding').hidden = true;
}

function reload() {
  reloading = true;
  const waiting = newBuild.waiting;
  if (waiting) waiting.postMessage({ kind: kinds.takeOver, job: 0 });
  else location.reload();  // another page of this build has taken it over
}

function watchBuilds(registration) {
  // This page's own service worker, not one of a folder above it.
  const ours = () => navigator.serviceWorker.controller?.scriptURL === new URL('sw.js', location.href).href;
  const controlled = ours();
  const offer = () => {
    newBuild = registration;
    offerReload();
  };
  if (registration.waiting && controlled) offer();
  const watch = (installing) => installing?.addEventListener('statechange', () => {
    if (installing.state === 'installed' && ours()) offer();
  });
  // One may be installing already, found before the page asked.
  watch(registration.installing);
  registration.addEventListener('updatefound', () => watch(registration.installing));
  navigator.serviceWorker.addEventListener('controllerchange', () => {
    if (reloading) location.reload();
    else if (controlled) offer();
  });
  $('reload').addEventListener('click', () => {
    const unsaved = unsavedCount();
    if (unsaved === 0) {
      reload();
      return;
    }
    $('discard-words').textContent = `Reloading discards ${unsaved === 1 ? 'the converted file' : `the ${unsaved} converted files`}` +
      ' not saved yet.';
    $('discarding').hidden = false;
  });
  $('reload-anyway').addEventListener('click', reload);
  $('keep').addEventListener('click', () => { $('discarding').hidden = true; });
}

// While open, the page holds its build's lock: the service worker keeps that
// build's files until no page holds it. Once held, caches no page uses can go.
async function holdBuild() {
  if (!navigator.locks || !buildQuery) return;
  const scope = new URL('.', location.href).href;
  await new Promise((held) => {
    navigator.locks.request(`halvorine-build ${scope} ${build}`, { mode: 'shared' }, () => {
      held();
      return new Promise(() => {});
    }).catch(held);
  });
  navigator.serviceWorker?.controller?.postMessage({ kind: kinds.tidy, job: 0 });
}

document.addEventListener('DOMContentLoaded', () => {
  const input = $('files');
  const drop = $('drop');
  input.addEventListener('change', () => {
    tell(null);
    enqueue([...input.files].map((file) => ({ file, folder: '' })));
    input.value = '';
  });
  const folderInput = $('folder');
  $('pick-folder').addEventListener('click', () => folderInput.click());
  folderInput.addEventListener('change', () => {
    const files = [...folderInput.files];
    folderInput.value = '';
    gather(halvorineIntake.picked(files), 'the folder chosen');
  });
  $('zip').addEventListener('click', downloadAll);
  $('to-folder').addEventListener('click', saveAllTo);
  drop.addEventListener('dragover', (e) => { e.preventDefault(); drop.classList.add('over'); });
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', (e) => {
    e.preventDefault();
    drop.classList.remove('over');
    gather(dropped(e.dataTransfer), 'what was dropped');
  });
  $('cancel').addEventListener('click', cancel);
  startWorker();
  halvorineStorage.sweep(holding).catch(() => {});  // tried again at the next opening
  // Opened from the installed app's "Open with": the files come this way.
  if (window.launchQueue) {
    window.launchQueue.setConsumer(async (params) => {
      const files = await Promise.all(params.files.map((f) => f.getFile().catch(() => null)));
      enqueue(files.filter(Boolean).map((file) => ({ file, folder: '' })));
    });
  }
  // Installable and cached for use with no network, where served: a file://
  // page may not even read its manifest.
  if (location.protocol !== 'file:') {
    const manifest = document.createElement('link');
    manifest.rel = 'manifest';
    manifest.href = 'manifest.webmanifest';
    document.head.append(manifest);
    holdBuild();
    navigator.serviceWorker?.register('sw.js').then(watchBuilds, () => {});
  }
});

// Leaving the page: its outputs not saved go from the private file system.
// Removal is asynchronous and may not finish before the page is gone; the
// next page to open sweeps up what is left, and the outputs saved by their
// link, whose downloads have had time to finish by then.
// Back from the back/forward cache, the page has lost its worker and
// outputs: it starts afresh.
window.addEventListener('pageshow', (event) => {
  if (event.persisted) location.reload();
});
window.addEventListener('pagehide', () => {
  leaving = true;
  dropWorker();
  for (const entry of ours) remove(entry, 1);
});
