// Converting straight into a folder the user chose (where the browser has
// showDirectoryPicker), as the page sees it: the choice, the sink behind
// outputs.js's interface, and the plan of each pick or drop, with its one
// question about the files already there. The converter's worker does the
// writing (folder-writer.js).
import { outputNames } from './converter.js';
import { standing, unmake } from './dirs.js';
import { Clashes, leftOut, safePath, unfit, within } from './names.js';
import { put, sentence } from './words.js';

// The one question for a pick or drop some of whose outputs are already
// in the folder: resolves to 'replace', 'skip' or 'stop', or to 'cancel'
// once `signal` says Cancel was pressed meanwhile.
function ask(paths, count, folderName, signal) {
  const $ = (id) => document.getElementById(id);
  const one = paths.length === 1;
  const shown = paths.slice(0, 5).join(', ') + (paths.length > 5 ? ` and ${paths.length - 5} more` : '');
  put($('ask-words'), one ? `${shown} is already in ${folderName}.`
    : `The outputs of ${paths.length} of these ${count} recordings are already in ${folderName}: ${shown}.`, [...paths.slice(0, 5), folderName]);
  $('ask-how').textContent = `Replace ${one ? 'it' : 'them'} with the new ${one ? 'output' : 'outputs'}, skip ` +
    `${one ? 'its recording and leave the file' : 'their recordings and leave the files'} as ${one ? 'it is' : 'they are'}, ` +
    `or stop and convert none of ${count === 1 ? 'it' : `these ${count}`}.`;
  $('ask-replace').textContent = one ? 'Replace it' : 'Replace them';
  $('ask-skip').textContent = one ? 'Skip it' : 'Skip them';
  const before = document.activeElement;
  $('ask').hidden = false;
  // On the answer that changes nothing already there.
  $('ask-skip').focus();
  return new Promise((answer) => {
    const buttons = ['replace', 'skip', 'stop'].map((a) => [$(`ask-${a}`), a]);
    let answered = false;
    const heard = (a) => () => {
      if (answered) return;
      answered = true;
      for (const [b, h] of listening) b.removeEventListener('click', h);
      document.removeEventListener('keydown', escape);
      const inside = $('ask').contains(document.activeElement);
      $('ask').hidden = true;
      // The keyboard goes back where it was, or to choosing files.
      if (inside) (before && before !== document.body && before.isConnected && !before.closest('[hidden]') ? before : $('files')).focus();
      answer(a);
    };
    // Escape takes back the whole pick, as Stop does.
    const escape = (e) => { if (e.key === 'Escape') heard('stop')(); };
    const listening = buttons.map(([b, a]) => [b, heard(a)]);
    for (const [b, h] of listening) b.addEventListener('click', h);
    document.addEventListener('keydown', escape);
    signal?.addEventListener('abort', heard('cancel'), { once: true });
  });
}

// What a stopped or cancelled worker left at `place`: the empty file it
// had made (its bytes were in the browser's swap file, which goes with
// the writable), never one that was there before it, and the folders made
// for it, where nothing else has gone into them since.
const unmakePlace = async (place, tries = 1) => {
  if (place.started && !place.there) await unmake(place.dir, place.under, place.name, place.had, tries);
};

// The sink for the folder `dir`. Its place, planned for each job and
// given to the worker: { dir, under (the folders of its path), name (null
// where the converter will refuse the recording's name), there (something
// stood there, to replace), and the plan's own: had (how many of `under`
// stood), started, key, from, safe (its path) }.
export function sinkFor(dir) {
  const gone = new WeakMap();  // each place's removal after a stopped worker, which the next try waits for
  const release = (place, tries) => {
    gone.set(place, unmakePlace(place, tries));
    return gone.get(place);
  };
  const sink = {
    dir,
    async place(n, job) {
      await gone.get(job.place);
      job.place.started = true;
      return job.place;
    },
    // Written and kept, or discarded, by the worker: nothing to offer.
    async kept(place, result) {
      if (result.stored) {
        return { words: `Written into ${dir.name}/${place.safe}${place.there ? ', replacing the file there' : ''}.`, names: [`${dir.name}/${place.safe}`] };
      }
      if (result.stopped) release(place, 300);
      if (!result.output) return {};
      return { words: result.why ? sentence(`Nothing written into ${dir.name}: ${result.why}`) : `Nothing of it was left in ${dir.name}.`,
        names: [dir.name] };
    },
    readable: async () => false,
    release,
    // `jobs`, { file, folder, item, into: this sink }, as one pick or drop;
    // `pending`, the jobs not finished yet. Of two outputs with one path, as Windows or
    // macOS compare them (names.js), the later is left out and named; where
    // any are already in the folder, one question for them all. The jobs
    // to convert, each with its place; `set(job, state, note)` for the
    // rest. Told by `signal` to stop, none, and nothing set of those not
    // yet planned; `progress(k, n)` hears how many are planned.
    async plan(jobs, pending, set, { signal = null, progress = () => {} } = {}) {
      const taken = new Clashes();
      for (const j of pending) if (j?.into === sink && j.place.name) taken.add(j.place);
      const going = [];
      const there = [];
      const seen = new Map();
      // The converter names them; the worker writes only where it names
      // an output as planned.
      const names = await outputNames(jobs.map((job) => job.file.name));
      for (const [k, job] of jobs.entries()) {
        if (signal?.aborted) return [];
        progress(k, jobs.length);
        const from = within(job.folder, job.file.name);
        const name = names[k];
        const safe = name === null ? '' : safePath(within(job.folder, name));
        const parts = safe.split('/');
        const place = { dir, under: parts.slice(0, -1), name: name === null ? null : parts.at(-1), from, safe };
        const why = name === null ? '' : unfit(safe);
        const first = name === null || why ? null : taken.first(safe);
        if (why || first) set(job, 'left out', ...leftOut(place, { first, why }));
        else {
          if (name !== null) taken.add(place);
          Object.assign(place, name === null ? { had: 0, there: false } : await standing(dir, parts, seen));
          if (place.there) there.push(job);
          going.push(Object.assign(job, { place }));
        }
      }
      const answer = there.length > 0 ? await ask(there.map((j) => j.place.safe), going.length, dir.name, signal) : 'replace';
      if (signal?.aborted) return [];
      if (answer === 'stop') {
        for (const job of going) set(job, 'cancelled', `Stopped: nothing of it was written into ${dir.name}.`, [dir.name]);
        return [];
      }
      if (answer === 'skip') {
        for (const job of there) set(job, 'skipped', `${job.place.safe} is already in ${dir.name}, and was left as it is.`, [job.place.safe, dir.name]);
        return going.filter((job) => !job.place.there);
      }
      return going;
    },
  };
  return sink;
}

let chosen = null;  // the sink of the folder chosen, while outputs go there

// The choice on the page: a folder picked, then whatever is picked or
// dropped converts into it, until the user goes back to the page's own
// storage.
export function start() {
  const $ = (id) => document.getElementById(id);
  if (!window.showDirectoryPicker) return;
  $('into-folder').hidden = false;
  $('into-folder').addEventListener('click', async () => {
    let dir;
    try {
      dir = await window.showDirectoryPicker({ id: 'halvorine-into', mode: 'readwrite' });
    } catch (e) {
      if (e.name === 'AbortError') return;
      chosen = null;
      $('into-words').textContent = sentence(`No folder chosen: ${e.message}`);
      $('into').hidden = false;
      $('into-off').hidden = true;
      return;
    }
    chosen = sinkFor(dir);
    put($('into-words'), `Converting into ${dir.name}: each output is written there as it is made, ` +
      "under its recording's folder, and is not kept in this page.", [dir.name]);
    $('into').hidden = false;
    $('into-off').hidden = false;
  });
  $('into-off').addEventListener('click', () => {
    chosen = null;
    $('into').hidden = true;
  });
}

// The sink of the folder chosen, or null while outputs stay in the page.
export const sink = () => chosen;
