'use strict';
// What a pick or a drop gives: the files to convert, each with the folder
// it was found in, what was passed over, and what the browser could not
// read. What the user named (a file or folder dropped, a file chosen, the
// folder chosen by its button) is taken whatever its name: they meant it.
// Inside a folder only recordings are taken, and nothing hidden: a card that
// has been in a Mac, a Linux desktop or Windows carries the system's own
// entries beside the takes (`._take.wav`, `.Trashes`, `.Trash-1000`,
// `$RECYCLE.BIN`, `System Volume Information`, `lost+found`), bytes that
// are no WAV or takes the user deleted, which would only fail or come back.
const halvorineIntake = (() => {
  // ASCII alone: the rule must not depend on the engine's case tables.
  const fold = (name) => name.replace(/[A-Z]/g, (c) => c.toLowerCase());
  const systems = new Set(['$recycle.bin', 'system volume information', 'lost+found']);

  // An entry found inside a folder: 'take' (a recording), 'walk' (a folder
  // to look into), or passed over as 'hidden' (hidden or the system's) or
  // 'other' (not a recording).
  function judge(name, isFolder) {
    if (name.startsWith('.') || systems.has(fold(name))) return 'hidden';
    if (isFolder) return 'walk';
    return /\.wav$/i.test(name) ? 'take' : 'other';
  }

  const within = (folder, name) => (folder ? `${folder}/${name}` : name);
  const reason = (e) => String(e?.message || e?.name || e);

  // `picks`: { file, folder, handle }; `passed`: the path of each entry
  // passed over, with its kind; `unread`: { path, folder, partly, reason },
  // an entry the browser failed to read (a folder partly when some of it
  // was read before it failed).
  const gathered = () => ({ picks: [], passed: new Map(), unread: [] });

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
    if (!node.isFolder) {
      try {
        into.picks.push({ file: await node.file(), folder, handle: node.handle });
      } catch (e) {
        into.unread.push({ path, folder: false, partly: false, reason: reason(e) });
      }
      return;
    }
    let read = 0;
    try {
      for await (const child of node.children()) {
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
  async function dropped(ways) {
    const into = gathered();
    for (const way of ways) {
      const handle = await way.handle;
      if (handle) await walk(byHandle(handle), '', into);
      else if (way.entry?.isDirectory) await walk(byEntry(way.entry), '', into);
      else if (way.file) into.picks.push({ file: way.file, folder: '', handle: null });
    }
    return into;
  }

  // The files of a folder chosen by its button, each with its path from
  // that folder's own name ("Card/DCIM/take.wav"): the rule for each part of
  // the path below it, the first part that is not walked deciding. An entry
  // passed over counts once, however many files lie under it.
  function picked(files) {
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

  return Object.freeze({ judge, dropped, picked });
})();
