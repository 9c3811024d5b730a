// The outputs' bookkeeping in the origin's private file system, for the page
// and the worker alike. Each page holds a lock named by its session for as
// long as it is open, and its outputs carry the session in their names, so a
// later page can tell leftovers (a closed page whose last clean-up did not
// finish) from another open page's files.
import { removing } from './dirs.js';

export const prefix = 'halvorine-web-';
const lockName = (session) => `${prefix}${session}`;
let dir = null;

// Rejects where the browser has no private file system for this page (a
// private window, a file:// page, storage turned off).
export async function folder() {
  if (!dir) dir = await navigator.storage.getDirectory();
  return dir;
}

export async function remove(name, tries = 20) {
  const d = await folder().catch(() => null);
  if (d) await removing(() => d.removeEntry(name), tries);
}

// Resolves once this page holds its session's lock, or at once to false
// where there are no locks (an opaque origin has none).
export function hold(session) {
  if (!navigator.locks) return Promise.resolve(false);
  return new Promise((held) => {
    navigator.locks.request(lockName(session), () => { held(true); return new Promise(() => {}); })
      .catch(() => held(false));
  });
}

// Each page's last save by a link (its own or a zip's), for a later page
// to leave that page's outputs to the downloads that may still read them.
// In localStorage, which outlives the page; where there is none, its
// outputs count as never saved.
const savedKey = (session) => `${prefix}saved-${session}`;
export function saved(session, at) {
  try {
    localStorage.setItem(savedKey(session), String(at));
  } catch (e) { /* removed at the next opening, as if never saved */ }
}
function savedAt(session) {
  try {
    return Number(localStorage.getItem(savedKey(session))) || 0;
  } catch (e) {
    return 0;
  }
}

// The outputs of pages no longer open, { name, owner, savedAt } each,
// handed to `choose`, which answers { remove, kept, wait }; those to
// remove go, and the record of a page none of whose outputs is kept.
// Resolves to what `choose` answered.
export async function sweep(holding, choose) {
  const none = { remove: [], kept: [], wait: 0 };
  const d = await folder().catch(() => null);
  if (!d || !(await holding)) return none;
  const held = new Set((await navigator.locks.query()).held.map((l) => l.name));
  const left = [];
  for await (const name of d.keys()) {
    if (!name.startsWith(prefix)) continue;
    const owner = name.slice(prefix.length).split('-')[0];
    if (!held.has(lockName(owner))) left.push({ name, owner, savedAt: savedAt(owner) });
  }
  const chosen = choose(left);
  for (const { name } of chosen.remove) await remove(name, 1);
  const keeping = new Set(chosen.kept.map((o) => o.owner));
  try {
    for (const key of Object.keys(localStorage)) {
      const owner = key.startsWith(savedKey('')) ? key.slice(savedKey('').length) : null;
      if (owner && !keeping.has(owner) && !held.has(lockName(owner))) localStorage.removeItem(key);
    }
  } catch (e) { /* nothing recorded */ }
  return chosen;
}

// In a worker: whether an output can really be written there. That the
// functions exist proves nothing: some browsers refuse the private file
// system in a private window, or refuse its synchronous handles. The trial
// file is named and locked like a page's output, so that a page sweeping
// meanwhile leaves it be, and sweeps it if it is ever left behind.
export function works() {
  const owner = `probe${Math.random().toString(36).slice(2)}`;
  const trial = () => written(`${prefix}${owner}-trial`);
  const tried = navigator.locks ? navigator.locks.request(lockName(owner), trial).catch(trial) : trial();
  // A trial that never settles counts as failed: the page then says it
  // holds outputs in memory, rather than wait for ever.
  return Promise.race([tried, new Promise((r) => setTimeout(() => r(false), 10_000))]);
}

async function written(name) {
  let handle = null;
  try {
    const d = await folder();
    handle = await (await d.getFileHandle(name, { create: true })).createSyncAccessHandle();
    const back = new Uint8Array(3);
    const ok = handle.write(new Uint8Array([1, 2, 3]), { at: 0 }) === 3 &&
      (handle.flush(), handle.read(back, { at: 0 }) === 3) && back[2] === 3;
    handle.close();
    handle = null;
    await d.removeEntry(name);
    return ok;
  } catch (e) {
    if (handle) handle.close();
    remove(name, 1);
    return false;
  }
}

