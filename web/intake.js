// What a pick or a drop gives: the files to convert, each with the folder
// it was found in, what was passed over, and what the browser could not
// read. What the user named (a file or folder dropped, a file chosen, the
// folder chosen by its button) is taken whatever its name: they meant it.
// Inside a folder only recordings are taken, and nothing hidden: a card that
// has been in a Mac, a Linux desktop or Windows carries the system's own
// entries beside the takes (`._take.wav`, `.Trashes`, `.Trash-1000`,
// `$RECYCLE.BIN`, `System Volume Information`, `lost+found`), bytes that
// are no WAV or takes the user deleted, which would only fail or come back.
import { within } from './names.js';

// ASCII alone: the rule must not depend on the engine's case tables.
const fold = (name) => name.replace(/[A-Z]/g, (c) => c.toLowerCase());
const systems = new Set(['$recycle.bin', 'system volume information', 'lost+found']);

// An entry found inside a folder: 'take' (a recording), 'walk' (a folder
// to look into), or passed over as 'hidden' (hidden or the system's) or
// 'other' (not a recording).
export function judge(name, isFolder) {
  if (name.startsWith('.') || systems.has(fold(name))) return 'hidden';
  if (isFolder) return 'walk';
  return /\.wav$/i.test(name) ? 'take' : 'other';
}

const reason = (e) => String(e?.message || e?.name || e);

// `picks`: { file, folder, handle }; `passed`: the path of each entry
// passed over, with its kind; `unread`: { path, folder, partly, reason },
// an entry the browser failed to read (a folder partly when some of it
// was read before it failed). A walk told by `signal` to stop reads
// nothing more; `found(n)` hears how many recordings it has found.
const gathered = ({ signal = null, found = () => {} } = {}) => ({ picks: [], passed: new Map(), unread: [], signal, found });
const taken = (into, pick) => {
  into.picks.push(pick);
  into.found(into.picks.length);
};

// A file or folder through either of the browser's two ways: handles
// (they tell one file reached twice) or entries, whose folders give their
// children a batch at a time, until an empty one.
const byHandle = (handle) => ({
  name: handle.name, isFolder: handle.kind === 'directory', handle,
  file: () => handle.getFile(),
  async* children() { for await (const child of handle.values()) yield byHandle(child); },
});
const byEntry = (entry) => ({
  name: entry.name, isFolder: entry.isDirectory, handle: null,
  file: () => new Promise((ok, fail) => entry.file(ok, fail)),
  async* children() {
    const reader = entry.createReader();
    for (let batch; (batch = await new Promise((ok, fail) => reader.readEntries(ok, fail))).length > 0;) {
      for (const child of batch) yield byEntry(child);
    }
  },
});

// `node` taken, as the user named it or as the rule let it in; a folder's
// children are judged. Whatever fails to be read is left out and noted,
// and the walk goes on with the rest.
async function walk(node, folder, into) {
  const path = within(folder, node.name);
  if (into.signal?.aborted) return;
  if (!node.isFolder) {
    try {
      taken(into, { file: await node.file(), folder, handle: node.handle });
    } catch (e) {
      into.unread.push({ path, folder: false, partly: false, reason: reason(e) });
    }
    return;
  }
  let read = 0;
  try {
    for await (const child of node.children()) {
      if (into.signal?.aborted) return;
      read++;
      const verdict = judge(child.name, child.isFolder);
      if (verdict === 'take' || verdict === 'walk') await walk(child, path, into);
      else into.passed.set(within(path, child.name), verdict);
    }
  } catch (e) {
    into.unread.push({ path, folder: true, partly: read > 0, reason: reason(e) });
  }
}

// What was dropped, item by item: { handle, entry, file }, `handle` a
// promise of the item's handle or null, each asked for while the drop
// event lasted. A handle where the browser gives one, else a folder's
// entry, else the file alone.
export async function dropped(ways, how) {
  const into = gathered(how);
  for (const way of ways) {
    const handle = await way.handle;
    if (handle) await walk(byHandle(handle), '', into);
    else if (way.entry?.isDirectory) await walk(byEntry(way.entry), '', into);
    else if (way.file && !into.signal?.aborted) taken(into, { file: way.file, folder: '', handle: null });
  }
  return into;
}

// The folder chosen by its button where the browser gives it as a handle
// (showDirectoryPicker): walked as a folder dropped is.
export async function chosen(handle, how) {
  const into = gathered(how);
  await walk(byHandle(handle), '', into);
  return into;
}

// The files of a folder chosen by its button, each with its path from
// that folder's own name ("Card/DCIM/take.wav"): the rule for each part of
// the path below it, the first part that is not walked deciding. An entry
// passed over counts once, however many files lie under it.
export function picked(files) {
  const into = gathered();
  for (const file of files) {
    const parts = (file.webkitRelativePath || file.name).split('/');
    for (let k = parts.length > 1 ? 1 : 0; k < parts.length; k++) {
      const verdict = judge(parts[k], k < parts.length - 1);
      if (verdict === 'walk') continue;
      if (verdict === 'take') into.picks.push({ file, folder: parts.slice(0, -1).join('/'), handle: null });
      else into.passed.set(parts.slice(0, k + 1).join('/'), verdict);
      break;
    }
  }
  return into;
}

const byName = (a, b) => (a < b ? -1 : a > b ? 1 : 0);

// By name, the files of a folder before its subfolders.
function inOrder(a, b) {
  const x = a.folder ? a.folder.split('/') : [];
  const y = b.folder ? b.folder.split('/') : [];
  for (let i = 0; i < Math.min(x.length, y.length); i++) if (x[i] !== y[i]) return byName(x[i], y[i]);
  return x.length - y.length || byName(a.file.name, b.file.name);
}

// The picks in the order they convert, each file once: a file reached
// twice in one pick or drop (dropped on its own and again inside its
// folder) is the same where the browser gives handles and they are the
// same entry; without handles, where its folder, name, size and time of
// change are the same. The first in order is kept.
export async function ordered(picks) {
  const kept = [];
  const seen = new Map();  // name, size and time: the picks kept with them
  for (const pick of [...picks].sort(inOrder)) {
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

const counted = (n, one, many) => `${n} ${n === 1 ? one : many}`;

// What a pick or drop of folders left out, in words: each entry the
// browser could not read, and a pick with nothing to convert, with what
// was passed over in it. `what` names the pick.
export function told(given, what) {
  const lines = given.unread.map(({ path, folder, partly, reason }) => (!folder
    ? `Left out ${path}: the browser could not read it (${reason}).`
    : partly
      ? `Left out the rest of ${path}/: the browser could not read the folder to its end (${reason}).`
      : `Left out ${path}/: the browser could not read the folder (${reason}).`));
  if (given.picks.length === 0) {
    const left = [...given.passed.values()];
    const hidden = left.filter((k) => k === 'hidden').length;
    const other = left.length - hidden;
    const passed = [hidden && counted(hidden, 'hidden or system item', 'hidden or system items'),
      other && counted(other, 'other file', 'other files')].filter(Boolean);
    lines.push(`No .wav recording in ${what}.${passed.length > 0 ? ` Passed over: ${passed.join(', ')}.` : ''}`);
  }
  return lines;
}

// A drop's items, each asked for its handle or entry while the drop event
// lasts: the browser empties the list after it.
export const ways = (transfer) => [...transfer.items].filter((i) => i.kind === 'file').map((i) => ({
  handle: i.getAsFileSystemHandle?.().catch(() => null) ?? null,
  entry: i.webkitGetAsEntry?.() ?? null,
  file: i.getAsFile(),
}));

