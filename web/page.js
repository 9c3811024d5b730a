'use strict';
// The page's side: picks and drops, one conversion at a time in the worker,
// progress, results and saving. Every message shown comes from the converter
// itself (the worker passes on what it says); only the page's own controls
// are worded here.

const $ = (id) => document.getElementById(id);
// "#memory" tries the fallback that holds each output in memory.
const memoryOnly = location.hash === '#memory';
// "#apart" reads and stores every file through the ends' own workers, where
// the converter's worker can start them (see worker.js).
const apartAlways = location.hash === '#apart';
const { remove } = halvorineStorage;
const session = (crypto.randomUUID ? crypto.randomUUID() : String(Math.random()).slice(2)).replace(/-/g, '');
const holding = halvorineStorage.hold(session);

const ours = new Set();  // this page's entries not yet removed
const urls = new Set();
let counter = 0;
let worker = null;
let started = false;  // the worker has said hello
let bundle = null;  // the converter carried in bundle.js, once loaded
let queue = [];
let busy = null;  // { file, item, entry, started, said }
// A worker that never returns from starting the ends' own workers (see
// worker.js) is replaced: once by another like it, then by one without.
const endsWait = 3000;  // ms; the constructors return at once
let endsWatch = 0;
let endsHung = 0;

// A page opened from a file cannot start worker.js in some browsers (an
// opaque origin may not load scripts into workers); bundle.js carries the
// worker's scripts and the WebAssembly, and the worker starts from a blob:
// URL instead. Where even that fails the page says so at once.
function startWorker() {
  try {
    worker = bundle ? bundledWorker() : new Worker('worker.js', endsHung > 1 ? { name: 'no-ends' } : {});
  } catch (e) {
    workerFailed();
    return;
  }
  started = false;
  worker.onmessage = (event) => received(event.data);
  worker.onerror = (event) => {
    if (!started) {
      workerFailed();
      return;
    }
    // The converter itself stopped: its file fails, and a new worker takes
    // the next one.
    worker.terminate();
    worker = null;
    received({ type: 'crashed', error: event.message || 'The converter stopped.' });
  };
}

function bundledWorker() {
  const url = URL.createObjectURL(new Blob([bundle.worker], { type: 'text/javascript' }));
  const w = new Worker(url);
  URL.revokeObjectURL(url);
  const wasm = Uint8Array.from(atob(bundle.wasm), (c) => c.charCodeAt(0));
  w.postMessage({ wasm }, [wasm.buffer]);
  return w;
}

function workerHung(hung) {
  if (hung !== worker) return;  // cancelled or stopped meanwhile
  endsHung++;
  worker.terminate();
  worker = null;
  if (busy) {
    // The next worker converts it from the start, into another entry.
    queue.unshift({ file: busy.file, item: busy.item });
    ours.delete(busy.entry);
    remove(busy.entry);
    busy = null;
  }
  startWorker();
  next();
}

function workerFailed() {
  if (worker) worker.terminate();
  worker = null;
  if (busy) {
    queue.unshift({ file: busy.file, item: busy.item });
    busy = null;
  }
  if (bundle === null && location.protocol === 'file:') {
    const script = document.createElement('script');
    script.src = 'bundle.js';
    script.onload = () => {
      bundle = self.halvorineBundle;
      startWorker();
      next();
    };
    script.onerror = () => cannotStart();
    document.head.append(script);
    bundle = false;  // asked for
    return;
  }
  cannotStart();
}

function cannotStart() {
  $('cannot').hidden = false;
  $('pick').hidden = true;
  for (const job of queue) {
    job.item.querySelector('.state').textContent = `${job.file.name}: not converted`;
    job.item.dataset.status = 'cannot start';
  }
  queue = [];
}

function formatBytes(n) {
  const units = ['bytes', 'KB', 'MB', 'GB', 'TB'];
  let u = 0;
  while (n >= 1000 && u < units.length - 1) { n /= 1000; u++; }
  return u === 0 ? `${n} bytes` : `${n.toFixed(n < 10 ? 2 : 1)} ${units[u]}`;
}

// The banner and the messages are printed by the console program with their
// line ends; the page shows their words, each on a line of its own.
const shown = (text) => text.replace(/^[\s]+|[\s]+$/g, '');

function addItem(file) {
  $('none').hidden = true;
  const item = document.createElement('li');
  item.dataset.name = file.name;
  const name = document.createElement('p');
  name.className = 'state';
  name.textContent = `${file.name}: waiting`;
  item.append(name);
  $('results').append(item);
  return item;
}

function enqueue(files) {
  for (const file of files) queue.push({ file, item: addItem(file) });
  next();
}

function next() {
  if (busy || queue.length === 0 || !$('cannot').hidden) return;
  if (!worker && bundle !== false) startWorker();
  if (!worker) return;
  const job = queue.shift();
  const entry = `${halvorineStorage.prefix}${session}-${++counter}.ddc`;
  busy = { ...job, entry, started: performance.now(), said: [] };
  ours.add(entry);
  job.item.querySelector('.state').textContent = `${job.file.name}: converting`;
  $('now').hidden = false;
  $('current').textContent = job.file.name;
  $('bar').max = Math.max(job.file.size, 1);
  $('bar').value = 0;
  $('figures').textContent = `0 bytes of ${formatBytes(job.file.size)}`;
  worker.postMessage({ file: job.file, entry, memory: memoryOnly, apart: apartAlways });
}

function progress(done, total) {
  const seconds = (performance.now() - busy.started) / 1000;
  $('bar').value = done;
  const speed = seconds > 0 ? `, ${formatBytes(done / seconds)}/s` : '';
  $('figures').textContent = `${formatBytes(done)} of ${formatBytes(total)}${speed}`;
}

function line(text, className) {
  const p = document.createElement('p');
  p.className = className;
  p.textContent = text;
  return p;
}

async function finished(result) {
  const { item, entry, file, said } = busy;
  busy = null;
  $('now').hidden = queue.length === 0;
  const banner = said.filter((s) => s.banner).map((s) => s.text).join('');
  const after = said.filter((s) => !s.banner).map((s) => s.text).join('');
  item.className = result.status === 0 ? 'converted' : 'failed';
  // What the console program would have printed, whole, for anyone checking.
  item.dataset.stdout = said.map((s) => s.text).join('');
  item.dataset.bytes = String(result.bytes);
  item.dataset.output = result.output ?? '';
  item.dataset.seconds = String(result.seconds);
  item.dataset.ends = result.apart ? 'apart' : 'here';
  item.querySelector('.state').textContent =
    `${file.name}: ${result.status === 0 ? 'converted' : 'not converted'} (${(result.seconds).toFixed(2)} s)`;
  if (banner) item.append(line(shown(banner), 'said banner'));
  if (after) item.append(line(shown(after), 'said message'));

  let blob = result.blob;
  if (result.stored) {
    item.dataset.entry = entry;
    try {
      // Typed, or a browser that finds a RIFF header in an untyped file names
      // the saved file .wav (the Blob only refers to the stored file).
      const stored = await (await (await halvorineStorage.folder()).getFileHandle(entry)).getFile();
      blob = new Blob([stored], { type: 'application/octet-stream' });
    } catch (e) {
      // Written, then gone from the browser's storage: nothing to save.
      item.className = 'failed';
      item.append(line(`The output cannot be read back from the browser's storage: ${e.message}`, 'state'));
    }
  } else {
    ours.delete(entry);
    remove(entry, 3);
  }
  if (result.output !== null && blob) {
    item.output = blob;  // the bytes saved, for a test to read back
    addSaving(item, blob, result, entry);
  }
  item.dataset.status = String(result.status);  // last: the result is complete
  next();
}

function addSaving(item, blob, result, entry) {
  const actions = document.createElement('p');
  actions.className = 'actions';
  const url = URL.createObjectURL(blob);
  urls.add(url);
  const link = document.createElement('a');
  link.className = 'save';
  link.href = url;
  link.download = result.output;
  link.textContent = result.status === 0
    ? `Save ${result.output} (${formatBytes(result.bytes)})`
    : `Save the ${formatBytes(result.bytes)} written before it stopped`;
  actions.append(link);
  const discard = () => {
    URL.revokeObjectURL(url);
    urls.delete(url);
    delete item.output;  // or an output held in memory stays there
    actions.remove();
    if (result.stored) { ours.delete(entry); remove(entry); }
  };
  if (window.showSaveFilePicker) {
    const saveAs = document.createElement('button');
    saveAs.type = 'button';
    saveAs.textContent = 'Save as…';
    saveAs.addEventListener('click', async () => {
      try {
        const target = await window.showSaveFilePicker({ suggestedName: result.output });
        const writable = await target.createWritable();
        await blob.stream().pipeTo(writable);
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
}

function received(message) {
  switch (message.type) {
    case 'hello': {
      started = true;
      const stored = message.storage && !memoryOnly;
      $('fallback').hidden = stored;
      document.body.dataset.output = stored ? 'storage' : 'memory';
      // The footer tells only of the buttons this browser shows.
      const words = stored ? (window.showSaveFilePicker ? 'kept-save-as' : 'kept') : 'held';
      for (const p of document.querySelectorAll('footer p')) p.hidden = p.id !== words;
      break;
    }
    case 'ends':
      clearTimeout(endsWatch);
      if (message.constructing) endsWatch = setTimeout(workerHung, endsWait, worker);
      break;
    case 'said':
      if (!busy) break;
      busy.said.push(message);
      if (message.banner) $('current').textContent = shown(message.text);
      break;
    case 'read':
      if (busy) {
        const asking = worker;  // not one cancelled meanwhile
        busy.file.slice(message.at, message.end).arrayBuffer()
          .then((read) => asking.postMessage({ read }, [read]), () => asking.postMessage({ read: null }));
      }
      break;
    case 'progress':
      if (busy) progress(message.done, message.total);
      break;
    case 'done':
      finished(message);
      break;
    case 'crashed':
      if (busy) {
        busy.item.append(line(message.error, 'said message'));
        busy.item.dataset.status = 'crashed';
        busy = null;
        next();
      }
      break;
  }
}

function cancel() {
  if (!busy) return;
  worker.terminate();
  worker = null;
  const { item, entry, file } = busy;
  busy = null;
  item.className = 'failed';
  item.dataset.status = 'cancelled';
  item.querySelector('.state').textContent = `${file.name}: cancelled`;
  for (const job of queue) {
    job.item.dataset.status = 'cancelled';
    job.item.querySelector('.state').textContent = `${job.file.name}: cancelled`;
  }
  queue = [];
  $('now').hidden = true;
  ours.delete(entry);
  remove(entry);
}

document.addEventListener('DOMContentLoaded', () => {
  const input = $('files');
  const drop = $('drop');
  input.addEventListener('change', () => {
    enqueue([...input.files]);
    input.value = '';
  });
  drop.addEventListener('dragover', (e) => { e.preventDefault(); drop.classList.add('over'); });
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', (e) => {
    e.preventDefault();
    drop.classList.remove('over');
    enqueue([...e.dataTransfer.files]);
  });
  $('cancel').addEventListener('click', cancel);
  startWorker();
  halvorineStorage.sweep(holding);
  // Opened from the installed app's "Open with": the files come this way.
  if (window.launchQueue) {
    window.launchQueue.setConsumer(async (params) => {
      enqueue(await Promise.all(params.files.map((f) => f.getFile())));
    });
  }
  // Installable and cached for use with no network, where served: a file://
  // page may not even read its manifest.
  if (location.protocol !== 'file:') {
    const manifest = document.createElement('link');
    manifest.rel = 'manifest';
    manifest.href = 'manifest.webmanifest';
    document.head.append(manifest);
    navigator.serviceWorker?.register('sw.js').catch(() => {});
  }
});

// Leaving the page: its outputs go from the private file system. Removal is
// asynchronous and may not finish before the page is gone; the next page to
// open sweeps up what is left (sweepLeftovers).
// Back from the back/forward cache, the page has lost its worker and
// outputs: it starts afresh.
window.addEventListener('pageshow', (event) => {
  if (event.persisted) location.reload();
});
window.addEventListener('pagehide', () => {
  if (worker) worker.terminate();
  for (const url of urls) URL.revokeObjectURL(url);
  for (const entry of ours) remove(entry, 1);
});
