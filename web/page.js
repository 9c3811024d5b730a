'use strict';
// The page's side: picks and drops, one conversion at a time in the worker,
// progress, results and saving. Every message shown comes from the converter
// itself (the worker passes on what it says); only the page's own controls
// are worded here.

const $ = (id) => document.getElementById(id);
const entryPrefix = 'halvorine-web-';
// "#memory" tries the fallback that holds each output in memory.
const memoryOnly = location.hash === '#memory';

// Each page holds a lock named by its session for as long as it is open. Its
// outputs in the private file system carry the session in their names, so a
// later page can tell leftovers (a closed page whose last clean-up did not
// finish) from another open page's files.
const session = (crypto.randomUUID ? crypto.randomUUID() : String(Math.random()).slice(2)).replace(/-/g, '');
const lockName = (s) => `${entryPrefix}${s}`;
const locked = navigator.locks ? new Promise((held) => {
  navigator.locks.request(lockName(session), () => { held(); return new Promise(() => {}); });
}) : Promise.resolve();

let storage = null;
async function folder() {
  if (!storage && navigator.storage && navigator.storage.getDirectory) storage = await navigator.storage.getDirectory();
  return storage;
}

async function removeEntry(name, tries = 20) {
  const dir = await folder().catch(() => null);
  if (!dir) return;
  for (let i = 0; i < tries; i++) {
    try {
      await dir.removeEntry(name);
      return;
    } catch (e) {
      if (e.name === 'NotFoundError') return;
      // A worker just ended may still hold the file for a moment.
      await new Promise((r) => setTimeout(r, 100));
    }
  }
}

async function sweepLeftovers() {
  const dir = await folder().catch(() => null);
  if (!dir || !navigator.locks) return;
  await locked;
  const held = new Set((await navigator.locks.query()).held.map((l) => l.name));
  for await (const name of dir.keys()) {
    if (!name.startsWith(entryPrefix)) continue;
    const owner = name.slice(entryPrefix.length).split('-')[0];
    if (!held.has(lockName(owner))) await removeEntry(name, 1);
  }
}

const ours = new Set();  // this page's entries not yet removed
const urls = new Set();
let counter = 0;
let worker = null;
let streaming = true;
let queue = [];
let busy = null;  // { file, item, entry, started }

function startWorker() {
  worker = new Worker('worker.js');
  worker.onmessage = (event) => received(event.data);
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
  if (busy || queue.length === 0) return;
  if (!worker) startWorker();
  const job = queue.shift();
  const entry = `${entryPrefix}${session}-${++counter}.ddc`;
  busy = { ...job, entry, started: performance.now(), said: [] };
  ours.add(entry);
  job.item.querySelector('.state').textContent = `${job.file.name}: converting`;
  $('now').hidden = false;
  $('current').textContent = job.file.name;
  $('bar').max = Math.max(job.file.size, 1);
  $('bar').value = 0;
  $('figures').textContent = `0 bytes of ${formatBytes(job.file.size)}`;
  worker.postMessage({ file: job.file, entry, memory: memoryOnly });
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
  const { item, entry, file } = busy;
  busy = null;
  $('now').hidden = queue.length === 0;
  const banner = result.said.filter((s) => s.banner).map((s) => s.text).join('');
  const after = result.said.filter((s) => !s.banner).map((s) => s.text).join('');
  item.className = result.status === 0 ? 'converted' : 'failed';
  // What the console program would have printed, whole, for anyone checking.
  item.dataset.stdout = result.said.map((s) => s.text).join('');
  item.dataset.bytes = String(result.bytes);
  item.dataset.output = result.output ?? '';
  item.dataset.seconds = String(result.seconds);
  item.querySelector('.state').textContent =
    `${file.name}: ${result.status === 0 ? 'converted' : 'not converted'} (${(result.seconds).toFixed(2)} s)`;
  if (banner) item.append(line(shown(banner), 'said banner'));
  if (after) item.append(line(shown(after), 'said message'));

  let blob = result.blob;
  if (result.stored) {
    item.dataset.entry = entry;
    blob = await (await (await folder()).getFileHandle(entry)).getFile();
  } else {
    ours.delete(entry);
    removeEntry(entry, 3);
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
    actions.remove();
    if (result.stored) { ours.delete(entry); removeEntry(entry); }
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
    case 'hello':
      streaming = message.streaming;
      $('fallback').hidden = streaming && !memoryOnly;
      document.body.dataset.output = streaming && !memoryOnly ? 'storage' : 'memory';
      break;
    case 'said':
      if (busy && message.banner) $('current').textContent = shown(message.text);
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
  removeEntry(entry);
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
  sweepLeftovers();
});

// Leaving the page: its outputs go from the private file system. Removal is
// asynchronous and may not finish before the page is gone; the next page to
// open sweeps up what is left (sweepLeftovers).
window.addEventListener('pagehide', () => {
  if (worker) worker.terminate();
  for (const url of urls) URL.revokeObjectURL(url);
  for (const entry of ours) removeEntry(entry, 1);
});
