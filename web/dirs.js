// Folders through the browser's handles, in the private storage or in a
// folder the user chose: finding and making a path, whether something is
// already there, and removal. A look-up that fails never counts as proof
// that nothing is there: a user's file of that name fails it too.

const pause = () => new Promise((r) => setTimeout(r, 100));

// What stands at `name` in `dir`: 'file', 'folder', or '' for nothing, as
// far as the browser lets the page see.
export const there = (dir, name) => dir.getFileHandle(name).then(() => 'file', (e) => (e.name === 'TypeMismatchError' ? 'folder' : ''));

// How many of the folders of `parts` (a path's parts) stand under `dir`
// (`had`) and whether something stands at the path itself (`there`),
// through the folders looked up so far (`seen`, by path).
export async function standing(dir, parts, seen = new Map()) {
  let at = dir;
  for (let k = 0; k < parts.length - 1; k++) {
    const path = parts.slice(0, k + 1).join('/');
    if (!seen.has(path)) seen.set(path, at.getDirectoryHandle(parts[k]).catch(() => null));
    at = await seen.get(path);
    if (!at) return { had: k, there: false };
  }
  return { had: parts.length - 1, there: (await there(at, parts.at(-1))) !== '' };
}

// The folder `under` (a path's folders) inside `dir`, made where missing.
// `made` gets the [parent, name] of each folder this call made, known by a
// create that succeeded after a look-up that found nothing, even where a
// later part throws: anything else in the way (a file of that name) does.
export async function makeFolders(dir, under, made = []) {
  for (const part of under) {
    const had = await dir.getDirectoryHandle(part).catch((e) => {
      if (e?.name !== 'NotFoundError') throw e;
      return null;
    });
    if (had) {
      dir = had;
    } else {
      const parent = dir;
      dir = await parent.getDirectoryHandle(part, { create: true });
      made.push([parent, part]);
    }
  }
  return dir;
}

// Runs `remove` up to `tries` times, 0.1 s apart: a worker just ended may
// hold a file for a moment. Done once it succeeds or throws an error named
// in `over` (the entry gone, or no longer one to remove).
export async function removing(remove, tries, over = ['NotFoundError']) {
  for (let i = 0; i < tries; i++) {
    try {
      await remove();
      return;
    } catch (e) {
      if (over.includes(e?.name)) return;
      if (i + 1 < tries) await pause();
    }
  }
}

// The folders of `made` ([parent, name] each, outermost first) removed,
// innermost first, each only if empty.
export async function unmakeFolders(made) {
  for (const [parent, name] of [...made].reverse()) await parent.removeEntry(name).catch(() => {});
}

// The empty file at `under`/`name` in `dir`, and the folders of `under`
// from the `had`th on, which were made for it: what a stopped worker left.
// A file with bytes in it, or one replaced by something else, stays.
export function unmake(dir, under, name, had, tries = 1) {
  return removing(async () => {
    const dirs = [dir];
    for (const part of under) dirs.push(await dirs.at(-1).getDirectoryHandle(part));
    const file = await (await dirs.at(-1).getFileHandle(name)).getFile();
    if (file.size > 0) return;
    await dirs.at(-1).removeEntry(name);
    for (let k = under.length; k > had; k--) await dirs[k - 1].removeEntry(under[k - 1]);
  }, tries, ['NotFoundError', 'TypeMismatchError', 'InvalidModificationError']);
}
