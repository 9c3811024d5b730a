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

  function show() {
    const any = [...outputs].some((o) => o.whole);
    $('all').hidden = !any && freed.length === 0;
    for (const id of ['zip', 'to-folder']) $(id).disabled = !any || converting || gathering;
    $('to-folder').hidden = !window.showDirectoryPicker;
    together();
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
    show();
    const progress = () => {
      bar.value = done;
      state.textContent = `${doing}: ${formatBytes(done)} of ${formatBytes(total)}`;
    };
    try {
      for (const output of entries) {
        const before = done;
        if (!(await halvorineOutputs.readable(output))) {
          halvorineOutputs.lost(output);
          continue;
        }
        await each(output, async () => {
          const { crc, seconds } = await halvorineConverter.checksum(output.blob, output.entry, (n) => {
            done = before + n;
            progress();
          });
          output.crc = crc;
          crcSeconds += seconds;
        });
        done = before + output.bytes;
        progress();
      }
    } finally {
      bar.hidden = true;
      gathering = false;
      changed();
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
    const now = Date.now();
    for (const o of inZip) halvorineOutputs.savedByLink(o, now);
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
      if (e.name !== 'AbortError') $('all-state').textContent = `Not saved: ${e.message}`;
      return;
    }
    const there = [];
    const saved = [];
    const failed = [];
    try {
      await readAll(together(), `Saving into ${into.name}`, async (output) => {
        const path = halvorineZip.safePath(output.path);
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
      output.item.append(Object.assign(document.createElement('p'),
        { className: 'state', textContent: `Saved into ${into.name}/${halvorineZip.safePath(output.path)}.` }));
      halvorineOutputs.forget(output);
    }
    const lines = [`Saved ${saved.length} ${saved.length === 1 ? 'file' : 'files'} into ${into.name}.` +
      (there.length > 0 ? ` Already there, so left as they were: ${there.join(', ')}.` : '')];
    if (failed.length > 0) lines.push(`Not all saved: ${failed.join('; ')}.`);
    $('all-state').replaceChildren(...lines.map((text) => Object.assign(document.createElement('p'), { textContent: text })));
    show();
  }

  return Object.freeze({
    show,
    start(onChange) {
      changed = onChange;
      $('zip').addEventListener('click', downloadAll);
      $('to-folder').addEventListener('click', saveAllTo);
    },
    set converting(now) { converting = now; },
    get gathering() { return gathering; },
  });
})();
