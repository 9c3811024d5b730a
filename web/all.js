// Every whole output at once: "Download all (.zip)" and "Save all to a
// folder…", each output under its recording's folder's path.
import { checksum } from './converter.js';
import { makeFolders, there as standsThere } from './dirs.js';
import { Clashes, leftOut, safePath, unfit, within } from './names.js';
import * as outputs from './outputs.js';
import { zip } from './zip.js';
import { formatBytes, put, sentence } from './words.js';

const $ = (id) => document.getElementById(id);
const { freed } = outputs;
let converting = false;
let gathering = false;  // outputs are read for a zip or a folder: no file starts meanwhile
let changed = () => {};
let zipUrl = null;
let zipped = new Set();  // the outputs the zip's link holds

// The whole outputs by the name they unpack as, each name's in the page's
// order: the first goes into a zip or a folder, and the later ones, which
// would replace it when unpacked (`take.1.wav` and `take.2.wav` both give
// `halvorine-take.ddc`; `Take` and `take`), are left out and said so. Kept
// as outputs come and go, so that each of ten thousand costs what one does.
const earlier = (a, b) => a.n < b.n;
const byName = new Clashes(earlier);
const unfitting = new Set();  // whole outputs whose path cannot name an entry
// Each output left out, its note in the list, in the page's order. Only
// the notes an output's coming or going changes are touched: the list
// rebuilt at each clash made every clash cost as much as all before it.
const notes = new Map();
function note(output, words) {
  const li = notes.get(output) ?? Object.assign(document.createElement('li'), { n: output.n });
  put(li, ...words);
  if (notes.has(output)) return;
  notes.set(output, li);
  // Outputs come in the page's order, all but a few: a few steps back at most.
  const list = $('left-out');
  let after = list.lastElementChild === freedNote ? freedNote.previousElementSibling : list.lastElementChild;
  while (after && after.n > output.n) after = after.previousElementSibling;
  if (after) after.after(li);
  else list.prepend(li);
}
function unnote(output) {
  notes.get(output)?.remove();
  notes.delete(output);
}
// An output's note as its name's first now stands: none for the first.
function tell(output) {
  const first = byName.first(output.safe);
  if (first === output) unnote(output);
  else note(output, leftOut(output, { first }));
}
outputs.whenAdded((output) => {
  if (!output.whole) return;
  output.safe = safePath(output.path);
  output.from = within(output.item.dataset.folder, output.item.dataset.name);
  output.unfit = unfit(output.safe);
  if (output.unfit) {
    unfitting.add(output);
    note(output, leftOut(output, { why: output.unfit }));
  } else byName.add(output).forEach(tell);
});
outputs.whenGone((output) => {
  unfitting.delete(output);
  unnote(output);
  byName.delete(output).forEach(tell);
});

// What goes into a zip or a folder, in the page's order.
const together = () => byName.kept().sort((a, b) => a.n - b.n);

// The outputs freed to make room, named one by one in one note after the
// others, as they are freed.
const freedNote = document.createElement('li');
const freedNames = document.createElement('span');
freedNote.append("Not included, as they were removed from the page's storage once saved by their link: ", freedNames, '.');
let named = 0;

export function show() {
  const any = byName.size > 0 || unfitting.size > 0;
  $('all').hidden = !any && freed.length === 0;
  for (const id of ['zip', 'to-folder']) $(id).disabled = !any || converting || gathering;
  $('to-folder').hidden = !window.showDirectoryPicker;
  for (; named < freed.length; named++) {
    freedNames.append(...(named > 0 ? [', '] : []), Object.assign(document.createElement('bdi'), { textContent: freed[named].path }));
  }
  if (named > 0 && !freedNote.isConnected) $('left-out').append(freedNote);
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
outputs.whenGone((output) => { if (zipped.has(output)) dropZip(); });

// Whether `output` can still be read whole; if not, it shows as lost.
const whole = async (output) => (await outputs.readable(output)) || (outputs.lost(output), false);

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
    const gone = new Set(await outputs.vanished(entries));
    for (const output of entries) {
      const before = done;
      if (gone.has(output)) {
        outputs.lost(output);
        continue;
      }
      await each(output, async () => {
        if (!(await whole(output))) return;
        output.crc = await checksum(output.blob, output.entry, (n) => {
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
    $('all-state').textContent = sentence(`Not zipped: ${e.message}`);
    show();
    return;
  }
  const inZip = entries.filter((o) => o.crc !== null && outputs.outputs.has(o));
  const blob = zip(inZip.map((o) => ({ path: o.path, blob: o.blob, size: o.bytes, crc: o.crc })));
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
    if (e.name !== 'AbortError') $('all-state').textContent = sentence(`Not saved: ${e.message}`);
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
      try {
        const dir = await makeFolders(into, parts);
        // A folder of that name is no output of ours: writing fails, with words.
        if (await standsThere(dir, name) === 'file') {
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
    output.item.append(put(Object.assign(document.createElement('p'), { className: 'state' }),
      `Saved into ${into.name}/${output.safe}.`, [`${into.name}/${output.safe}`]));
    outputs.forget(output);
  }
  const lines = [`Saved ${saved.length} ${saved.length === 1 ? 'file' : 'files'} into ${into.name}.` +
    (there.length > 0 ? ` Already there, so left as they were: ${there.join(', ')}.` : '')];
  if (failed.length > 0) lines.push(sentence(`Not all saved: ${failed.join('; ')}`));
  $('all-state').replaceChildren(...lines.map((text) => put(document.createElement('p'), text, [into.name, ...there])));
  show();
}

export function start(onChange) {
  changed = onChange;
  $('zip').addEventListener('click', downloadAll);
  // Its outputs saved by a link, the first time and each time again:
  // each download reads them anew.
  $('zip-link').addEventListener('click', () => {
    const now = Date.now();
    for (const o of zipped) outputs.savedByLink(o, now);
  });
  $('to-folder').addEventListener('click', saveAllTo);
}

// Whether files convert or are looked through: none of the buttons meanwhile.
export const setConverting = (now) => { converting = now; };
export const isGathering = () => gathering;
