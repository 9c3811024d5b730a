'use strict';
// Every whole output at once: "Download all (.zip)" and "Save all to a
// folder…", each output under its recording's folder's path.
const halvorineAll = (() => {
  const $ = (id) => document.getElementById(id);
  const { outputs, freed, within, formatBytes } = halvorineOutputs;
  let converting = false;
  let gathering = false;  // outputs are read for a zip or a folder: no file starts meanwhile
  let changed = () => {};
  let zipUrl = null;
  let zipped = new Set();  // the outputs the zip's link holds

  // The whole outputs by the name they unpack as (the safe path, as
  // Windows and macOS compare names; zip.js), each list in the page's order:
  // the first goes into a zip or a folder, and the later ones, which would
  // replace it when unpacked (`take.1.wav` and `take.2.wav` both give
  // `halvorine-take.ddc`; `Take` and `take`), are left out and said so. Kept
  // as outputs come and go, so that each of a thousand costs what one does.
  const byName = new Map();
  const unfit = new Set();  // whole outputs whose path cannot name an entry
  let told = null;  // the notes shown: null once they may have changed
  const earlier = (a, b) => (a.item.compareDocumentPosition(b.item) & Node.DOCUMENT_POSITION_FOLLOWING) !== 0;
  const inOrder = (list) => list.sort((a, b) => (a === b ? 0 : earlier(a, b) ? -1 : 1));
  halvorineOutputs.whenAdded((output) => {
    if (!output.whole) return;
    output.safe = halvorineZip.safePath(output.path);
    output.unfit = halvorineZip.unfit(output.safe);
    if (output.unfit) {
      unfit.add(output);
      told = null;
      return;
    }
    output.key = halvorineZip.sameName(output.safe);
    const same = byName.get(output.key) ?? byName.set(output.key, []).get(output.key);
    let at = same.length;
    while (at > 0 && earlier(output, same[at - 1])) at--;
    same.splice(at, 0, output);
    if (same.length > 1) told = null;
  });
  halvorineOutputs.whenGone((output) => {
    if (unfit.delete(output)) told = null;
    const same = byName.get(output.key);
    const at = same ? same.indexOf(output) : -1;
    if (at < 0) return;
    same.splice(at, 1);
    if (same.length === 0) byName.delete(output.key);
    else told = null;
  });

  // What goes into a zip or a folder, in the page's order.
  const together = () => inOrder([...byName.values()].map((same) => same[0]));

  // Why each output left out is, in the page's order, and the outputs freed
  // to make room: [words, the names in them] each.
  function notes() {
    const from = (o) => within(o.item.dataset.folder, o.item.dataset.name);
    const out = [...unfit].map((o) => [o, `Left out: the output of ${from(o)}, as ${o.unfit}.`, [from(o)]]);
    for (const [first, ...later] of byName.values()) {
      for (const o of later) {
        out.push([o, `Left out: ${o.safe} from ${from(o)}, as ` + (first.safe === o.safe ? `${from(first)} already gives it.`
          : `${from(first)} already gives ${first.safe}, which Windows and macOS take for the same name.`), [o.safe, from(o), from(first), first.safe]]);
      }
    }
    const lines = out.sort(([a], [b]) => (earlier(a, b) ? -1 : 1)).map(([, ...note]) => note);
    if (freed.length > 0) {
      lines.push([`Not included, as they were removed from the page's storage once saved by their link: ${freed.map((o) => o.path).join(', ')}.`,
        freed.map((o) => o.path)]);
    }
    return lines;
  }

  function show() {
    const any = byName.size > 0 || unfit.size > 0;
    $('all').hidden = !any && freed.length === 0;
    for (const id of ['zip', 'to-folder']) $(id).disabled = !any || converting || gathering;
    $('to-folder').hidden = !window.showDirectoryPicker;
    if (told?.freed === freed.length) return;
    // One at a time: a spread of thousands of notes is past what some engines take.
    const list = $('left-out');
    list.replaceChildren();
    for (const [text, names] of notes()) {
      const li = halvorineWords.put(document.createElement('li'), text, names);
      list.append(li);
    }
    told = { freed: freed.length };
  }

  // The zip's link holds every output in it: it goes with the first of them
  // to leave the page, or when a new zip replaces it (whose download has
  // begun by then).
  function dropZip() {
    if (zipUrl) URL.revokeObjectURL(zipUrl);
    zipUrl = null;
    zipped = new Set();
    $('zip-link').hidden = true;
    $('zip-link').removeAttribute('href');
  }
  halvorineOutputs.whenGone((output) => { if (zipped.has(output)) dropZip(); });

  // Whether `output` can still be read whole; if not, it shows as lost.
  const whole = async (output) => (await halvorineOutputs.readable(output)) || (halvorineOutputs.lost(output), false);

  // Each of `entries` with the bar: those gone from the storage, found by
  // one listing of it rather than a question each, are shown lost;
  // `each(output, sum)` for the others, `sum()` reading one once more for
  // its CRC-32, after making sure it can still be read whole.
  async function readAll(entries, doing, each) {
    const bar = $('all-bar');
    const state = $('all-state');
    const total = entries.reduce((sum, o) => sum + o.bytes, 0);
    let done = 0;
    bar.max = Math.max(total, 1);
    bar.value = 0;
    bar.hidden = false;
    gathering = true;
    show();
    const progress = () => {
      bar.value = done;
      state.textContent = `${doing}: ${formatBytes(done)} of ${formatBytes(total)}`;
    };
    try {
      const gone = new Set(await halvorineOutputs.vanished(entries));
      for (const output of entries) {
        const before = done;
        if (gone.has(output)) {
          halvorineOutputs.lost(output);
          continue;
        }
        await each(output, async () => {
          if (!(await whole(output))) return;
          output.crc = await halvorineConverter.checksum(output.blob, output.entry, (n) => {
            done = before + n;
            progress();
          });
        });
        done = before + output.bytes;
        progress();
      }
    } finally {
      bar.hidden = true;
      gathering = false;
      changed();
    }
  }

  async function downloadAll() {
    const entries = together();
    try {
      await readAll(entries, 'Reading the outputs for the zip', (o, sum) => o.crc === null && sum());
    } catch (e) {
      $('all-state').textContent = halvorineWords.sentence(`Not zipped: ${e.message}`);
      show();
      return;
    }
    const inZip = entries.filter((o) => o.crc !== null && outputs.has(o));
    const blob = halvorineZip.zip(inZip.map((o) => ({ path: o.path, blob: o.blob, size: o.bytes, crc: o.crc })));
    dropZip();
    zipUrl = URL.createObjectURL(blob);
    zipped = new Set(inZip);
    const link = $('zip-link');
    link.href = zipUrl;
    link.download = 'halvorine-outputs.zip';
    link.textContent = `Save halvorine-outputs.zip (${formatBytes(blob.size)}) again`;
    $('all-state').textContent = `halvorine-outputs.zip: ${inZip.length} ${inZip.length === 1 ? 'file' : 'files'}, ` +
      `${formatBytes(blob.size)}.`;
    link.click();
    link.hidden = false;
    show();
    changed();
  }

  // Each output written into a folder the user picks, in subfolders by its
  // path; a file already there is left as it is, and said so. Saved there, it
  // is removed from the page, as after "Save as…". One that cannot be saved
  // is named with why, on a line of its own, and the others are still saved.
  async function saveAllTo() {
    let into;
    try {
      into = await window.showDirectoryPicker({ id: 'halvorine-outputs', mode: 'readwrite' });
    } catch (e) {
      if (e.name !== 'AbortError') $('all-state').textContent = halvorineWords.sentence(`Not saved: ${e.message}`);
      return;
    }
    const there = [];
    const saved = [];
    const failed = [];
    try {
      await readAll(together(), `Saving into ${into.name}`, async (output) => {
        if (!(await whole(output))) return;
        const path = output.safe;
        const parts = path.split('/');
        const name = parts.pop();
        let dir = into;
        try {
          for (const part of parts) dir = await dir.getDirectoryHandle(part, { create: true });
          if (await dir.getFileHandle(name).then(() => true, () => false)) {
            there.push(path);
            return;
          }
          const file = await dir.getFileHandle(name, { create: true });
          try {
            await output.blob.stream().pipeTo(await file.createWritable());
          } catch (e) {
            // Nothing half written, or empty, is left in the folder.
            await dir.removeEntry(name).catch(() => {});
            throw e;
          }
          saved.push(output);
        } catch (e) {
          failed.push(`${path} (${e.message})`);
        }
      });
    } catch (e) {
      failed.push(e.message);
    }
    for (const output of saved) {
      output.item.append(halvorineWords.put(Object.assign(document.createElement('p'), { className: 'state' }),
        `Saved into ${into.name}/${output.safe}.`, [`${into.name}/${output.safe}`]));
      halvorineOutputs.forget(output);
    }
    const lines = [`Saved ${saved.length} ${saved.length === 1 ? 'file' : 'files'} into ${into.name}.` +
      (there.length > 0 ? ` Already there, so left as they were: ${there.join(', ')}.` : '')];
    if (failed.length > 0) lines.push(halvorineWords.sentence(`Not all saved: ${failed.join('; ')}`));
    $('all-state').replaceChildren(...lines.map((text) => halvorineWords.put(document.createElement('p'), text, [into.name, ...there])));
    show();
  }

  return Object.freeze({
    show,
    start(onChange) {
      changed = onChange;
      $('zip').addEventListener('click', downloadAll);
      // Its outputs saved by a link, the first time and each time again:
      // each download reads them anew.
      $('zip-link').addEventListener('click', () => {
        const now = Date.now();
        for (const o of zipped) halvorineOutputs.savedByLink(o, now);
      });
      $('to-folder').addEventListener('click', saveAllTo);
    },
    set converting(now) { converting = now; },
    get gathering() { return gathering; },
  });
})();
