// The outputs on the page and how each is saved, made into one of the sinks
// (sinks.js). Each output on the page is one record, held here alone: let
// go, nothing else keeps its bytes.
import { leftovers, plan as roomPlan, waitFor } from './room.js';
import { holding, leaveBehind, session, sinks } from './sinks.js';
import { folder as privateFolder, saved as recordSave, sweep as sweepStorage } from './storage.js';
import { plain, within } from './names.js';
import { formatBytes, put, sentence } from './words.js';

export const outputs = new Set();  // the outputs on the page, saved or not
const linked = new Set();  // those of them saved by a link: counted as outputs change, never by a pass over all
export const freed = [];  // outputs removed from the storage to make room, once saved by their link
const coming = new Set();  // each called with an output as it joins the page
const going = new Set();  // each called with an output as it leaves the page
const waiting = new Set();  // { entry, bytes, savedAt, timer }: let go, stored until no download can be reading them
let recorded = 0;  // the last save by a link recorded for a later page's sweep
let told = { changed: () => {}, lost: () => {} };

const minutes = (ms) => `${Math.ceil(ms / 60_000)} ${ms > 60_000 ? 'minutes' : 'minute'}`;

// An output's stored bytes freed now, or, where a download begun from its
// link or a zip's may still read them, once none can be: the page says so.
function letGo(output) {
  const wait = output.sink === sinks.storage ? waitFor(output.savedAt, Date.now()) : 0;
  if (wait === 0) {
    output.sink.release(output.entry);
    return;
  }
  const later = { entry: output.entry, bytes: output.bytes, savedAt: output.savedAt };
  later.timer = setTimeout(() => {
    waiting.delete(later);
    sinks.storage.release(later.entry);
  }, wait);
  waiting.add(later);
  output.item.append(Object.assign(document.createElement('p'), {
    className: 'note',
    textContent: `Its file stays in the browser's storage for up to ${minutes(wait)} more, as a download begun from it may still be reading it.`,
  }));
}

// Let go of, with its link and buttons; `release` also frees its bytes
// where the sink holds them apart from the page.
export function forget(output, release = true) {
  if (!outputs.delete(output)) return;
  linked.delete(output);
  URL.revokeObjectURL(output.url);
  output.actions.remove();
  if (release && output.entry) letGo(output);
  output.blob = null;
  going.forEach((listener) => listener(output));
  told.changed();
}

// Saved by a link, its own or the zip's: kept when the page is left, so
// that the download can finish, and freed for room last and not soon.
export function savedByLink(output, now = Date.now()) {
  output.savedAt = now;
  if (outputs.has(output)) linked.add(output);
  leaveBehind(output.entry);
  if (now !== recorded) recordSave(session, (recorded = now));
}

// An output whose bytes went from the storage since it was made.
export function lost(output) {
  forget(output, false);
  if (output.entry) output.sink.release(output.entry);
  told.lost(output);
}

// Where the keyboard goes once an output's buttons are gone: the next
// output's, or the one before's, or the results' heading.
function nearest(item) {
  for (const other of [item.nextElementSibling, item.previousElementSibling]) {
    const first = other?.querySelector('.actions a, .actions button');
    if (first) return first;
  }
  return document.getElementById('results-heading');
}

function button(text, click) {
  const b = document.createElement('button');
  b.type = 'button';
  b.textContent = text;
  b.addEventListener('click', click);
  return b;
}

// `made`: { item, name, folder, bytes, blob, entry, whole, sink }. The
// output offered by its link and, where the browser has it, "Save as…".
export function add(made) {
  const output = { crc: null, ...made, savedAt: 0, path: within(made.folder ?? '', made.name), url: URL.createObjectURL(made.blob) };
  const { item } = output;
  const actions = document.createElement('p');
  actions.className = 'actions';
  output.actions = actions;
  const link = document.createElement('a');
  link.className = 'save';
  link.href = output.url;
  // Saved under its name with no marks that set the direction of text, as
  // in a zip.
  link.download = plain(output.name);
  put(link, output.whole
    ? `Save ${output.name} (${formatBytes(output.bytes)})`
    : `Save the ${formatBytes(output.bytes)} written before it stopped`, [output.name]);
  actions.append(link);
  // The browser follows the link at once (a download started later, past
  // the click, would count as one the page started by itself); meanwhile
  // the output is checked, and one cleared from the storage shows as lost.
  link.addEventListener('click', async () => {
    if (!(await output.sink.readable(output))) lost(output);
    else savedByLink(output);
    told.changed();
  });
  if (window.showSaveFilePicker) {
    actions.append(button('Save as…', async () => {
      try {
        const target = await window.showSaveFilePicker({ suggestedName: plain(output.name) });
        if (!(await output.sink.readable(output))) {
          lost(output);
          return;
        }
        const writable = await target.createWritable();
        await output.blob.stream().pipeTo(writable);
        item.append(put(Object.assign(document.createElement('p'), { className: 'state' }), `Saved as ${target.name}.`,
          [target.name]));
        forget(output);
      } catch (e) {
        if (e.name !== 'AbortError') {
          item.append(Object.assign(document.createElement('p'), { className: 'state', textContent: sentence(`Not saved: ${e.message}`) }));
        }
      }
    }));
  }
  actions.append(button('Discard', () => {
    const had = item.contains(document.activeElement);
    const near = had ? nearest(item) : null;
    forget(output);
    near?.focus();
  }));
  item.append(actions);
  outputs.add(output);
  coming.forEach((listener) => listener(output));
  told.changed();
  return output;
}

// A conversion's output, as the worker's `result` says it is made, or
// what a stopped worker left: offered, or its words said. False where it
// went from the storage meanwhile.
export async function keep(made, result) {
  const got = await made.sink.kept(made.entry, result);
  if (got === null) return false;
  if (got.blob) add({ ...made, name: result.output, bytes: result.bytes, crc: result.crc ?? null, ...got });
  if (got.words) made.item.append(put(Object.assign(document.createElement('p'), { className: 'note' }), got.words, got.names));
  return true;
}

// A file not started for lack of room in the storage: what it needs, what
// is free and what would free room, with a button that takes them away and
// calls `again`.
export function noRoom(item, { need, free }, folder, again) {
  const words = Object.assign(document.createElement('p'), {
    className: 'note',
    textContent: `Not enough room: ${folder ? 'its folder' : 'it'} needs ${formatBytes(need)} in the browser's storage for this ` +
      `page, and ${formatBytes(free)} is free. Save or discard converted files to free room (one saved by its link is freed ` +
      'when room is needed), then try again.',
  });
  const actions = Object.assign(document.createElement('p'), { className: 'actions' });
  actions.append(button('Try again', () => {
    words.remove();
    actions.remove();
    again();
  }));
  item.append(words, actions);
}

// The worker has said where outputs go. The footer tells only of the
// buttons this browser shows.
export function sinkFor({ storage }) {
  document.getElementById('not-started').hidden = true;
  document.getElementById('fallback').hidden = storage;
  const words = storage ? (window.showSaveFilePicker ? 'kept-save-as' : 'kept') : 'held';
  for (const p of document.querySelectorAll('footer p')) p.hidden = p.id !== words;
  return storage ? sinks.storage : sinks.memory;
}

// Null where there is room for `need` more bytes, freeing outputs saved
// by their link to make it (`freeing(output)` for each); else { need,
// free }, with nothing freed.
export async function makeRoom(need, freeing) {
  let estimate;
  try {
    estimate = await navigator.storage.estimate();
  } catch (e) {
    return null;  // the browser cannot tell: a full quota fails the file as a full disk would
  }
  // Room enough, as for almost every file: no look at the outputs saved.
  if (estimate.quota - estimate.usage >= need) return null;
  const saved = [...linked].filter((o) => o.entry);
  const plan = roomPlan({ need, quota: estimate.quota, usage: estimate.usage, saved: [...saved, ...waiting], now: Date.now() });
  if (plan.short) return plan.short;
  for (const output of plan.free) {
    if (waiting.delete(output)) {
      clearTimeout(output.timer);
      await sinks.storage.release(output.entry);
      continue;
    }
    await output.sink.release(output.entry);
    forget(output, false);
    if (output.whole) freed.push(output);
    freeing(output);
  }
  return null;
}

// Those of `list` whose stored file has gone (the browser or another page
// cleared it), from one listing of the storage rather than a question
// each: a thousand questions take seconds.
export async function vanished(list) {
  const stored = list.filter((o) => o.sink === sinks.storage);
  if (stored.length === 0) return [];
  const names = new Set();
  try {
    for await (const name of (await privateFolder()).keys()) names.add(name);
  } catch (e) {
    return [];  // each is found lost when it is read
  }
  return stored.filter((o) => !names.has(o.entry));
}

// The outputs of pages since closed go from the storage, but for those
// whose downloads may still read them, which the page names and sweeps
// once they cannot. What fails is tried again at the next opening.
export async function sweep() {
  const { kept, wait } = await sweepStorage(holding, (left) => leftovers(left, Date.now()))
    .catch(() => ({ kept: [], wait: 0 }));
  const keeping = document.getElementById('keeping');
  keeping.hidden = kept.length === 0;
  if (kept.length === 0) return;
  const one = kept.length === 1;
  keeping.textContent = `${one ? 'An output' : `${kept.length} outputs`} of a page closed a short while ago ` +
    `${one ? 'stays' : 'stay'} in the browser's storage for up to ${minutes(wait)} more, as downloads begun from ` +
    `${one ? 'it' : 'them'} may still be reading ${one ? 'it' : 'them'}.`;
  setTimeout(sweep, wait);
}

// Told as outputs come and go: `changed()`, and `lost(output)` for one
// whose bytes went from the storage since it was made.
export const listen = (to) => { told = to; };
export const whenAdded = (listener) => coming.add(listener);
export const whenGone = (listener) => going.add(listener);
export const unsaved = () => outputs.size - linked.size;
export const readable = (output) => output.sink.readable(output);
