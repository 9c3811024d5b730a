'use strict';
// Outputs written straight into a folder the user chose (where the browser
// has showDirectoryPicker): by the converter's worker, under each
// recording's folder's path, with nothing kept in the page and no copy made
// after. On the page: the choice, the sink behind outputs.js's interface,
// and the plan of each pick or drop, with its one question about the files
// already there. In the worker: the writing, which only a writable stream
// can do in a folder the user chose, and which leaves nothing of an output
// that fails.
const halvorineFolder = (() => {
  const { safePath, sameName, unfit } = halvorineZip;
  const within = (folder, name) => (folder ? `${folder}/${name}` : name);

  // How many of the folders of `parts` (a path's parts) stand under `dir`
  // (`had`) and whether something stands at the path itself (`there`),
  // through the folders looked up so far (`seen`, by path).
  async function standing(dir, parts, seen) {
    let at = dir;
    for (let k = 0; k < parts.length - 1; k++) {
      const path = parts.slice(0, k + 1).join('/');
      if (!seen.has(path)) seen.set(path, at.getDirectoryHandle(parts[k]).catch(() => null));
      at = await seen.get(path);
      if (!at) return { had: k, there: false };
    }
    return { had: parts.length - 1, there: await at.getFileHandle(parts.at(-1)).then(() => true, (e) => e.name === 'TypeMismatchError') };
  }

  // What a stopped or cancelled worker left at `place`: the empty file it
  // had made (its bytes were in the browser's swap file, which goes with
  // the writable), never one that was there before it, and the folders made
  // for it, where nothing else has gone into them since.
  async function unmake(place, tries = 1) {
    if (!place.started || place.there) return;
    for (let i = 0; i < tries; i++) {
      try {
        const dirs = [place.dir];
        for (const part of place.under) dirs.push(await dirs.at(-1).getDirectoryHandle(part));
        const file = await (await dirs.at(-1).getFileHandle(place.name)).getFile();
        if (file.size > 0) return;
        await dirs.at(-1).removeEntry(place.name);
        for (let k = place.under.length; k > place.had; k--) await dirs[k - 1].removeEntry(place.under[k - 1]);
        return;
      } catch (e) {
        if (['NotFoundError', 'TypeMismatchError', 'InvalidModificationError'].includes(e.name)) return;
        // A worker just ended may hold the file for a moment.
        await new Promise((r) => setTimeout(r, 100));
      }
    }
  }

  // The one question for a pick or drop some of whose outputs are already
  // in the folder: resolves to 'replace', 'skip' or 'stop', or to 'cancel'
  // once `signal` says Cancel was pressed meanwhile.
  function ask(paths, count, folderName, signal) {
    const $ = (id) => document.getElementById(id);
    const one = paths.length === 1;
    const shown = paths.slice(0, 5).join(', ') + (paths.length > 5 ? ` and ${paths.length - 5} more` : '');
    halvorineWords.put($('ask-words'), one ? `${shown} is already in ${folderName}.`
      : `The outputs of ${paths.length} of these ${count} recordings are already in ${folderName}: ${shown}.`, [...paths.slice(0, 5), folderName]);
    $('ask-how').textContent = `Replace ${one ? 'it' : 'them'} with the new ${one ? 'output' : 'outputs'}, skip ` +
      `${one ? 'its recording and leave the file' : 'their recordings and leave the files'} as ${one ? 'it is' : 'they are'}, ` +
      `or stop and convert none of ${count === 1 ? 'it' : `these ${count}`}.`;
    $('ask-replace').textContent = one ? 'Replace it' : 'Replace them';
    $('ask-skip').textContent = one ? 'Skip it' : 'Skip them';
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
        $('ask').hidden = true;
        answer(a);
      };
      const listening = buttons.map(([b, a]) => [b, heard(a)]);
      for (const [b, h] of listening) b.addEventListener('click', h);
      signal?.addEventListener('abort', heard('cancel'), { once: true });
    });
  }

  // The sink for the folder `dir`. Its place, planned for each job and
  // given to the worker: { dir, under (the folders of its path), name (null
  // where the converter will refuse the recording's name), there (a file
  // stood there, to replace), and the plan's own: had (how many of `under`
  // stood), started, key, from, path }.
  function sinkInto(dir) {
    const gone = new WeakMap();  // each place's removal after a stopped worker, which the next try waits for
    const release = (place, tries) => {
      gone.set(place, unmake(place, tries));
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
          return { words: `Written into ${dir.name}/${place.path}${place.there ? ', replacing the file there' : ''}.`, names: [`${dir.name}/${place.path}`] };
        }
        if (result.stopped) release(place, 300);
        if (!result.output) return {};
        return { words: result.why ? halvorineWords.sentence(`Nothing written into ${dir.name}: ${result.why}`) : `Nothing of it was left in ${dir.name}.`,
          names: [dir.name] };
      },
      readable: async () => false,
      release,
      // `jobs`, { file, folder, item, into: this sink }, as one pick or drop;
      // `pending`, the jobs not finished yet. Of two outputs with one path, as Windows or
      // macOS compare them (zip.js), the later is left out and named; where
      // any are already in the folder, one question for them all. The jobs
      // to convert, each with its place; `set(job, state, note)` for the
      // rest. Told by `signal` to stop, none, and nothing set of those not
      // yet planned; `progress(k, n)` hears how many are planned.
      async plan(jobs, pending, set, { signal = null, progress = () => {} } = {}) {
        const taken = new Map(pending.filter((j) => j?.into === sink && j.place.name).map((j) => [j.place.key, j.place]));
        const going = [];
        const there = [];
        const seen = new Map();
        // The converter names them; the worker writes only where it names
        // an output as planned.
        const names = await halvorineConverter.outputNames(jobs.map((job) => job.file.name));
        for (const [k, job] of jobs.entries()) {
          if (signal?.aborted) return [];
          progress(k, jobs.length);
          const from = within(job.folder, job.file.name);
          const name = names[k];
          const path = name === null ? '' : safePath(within(job.folder, name));
          const parts = path.split('/');
          const place = { dir, under: parts.slice(0, -1), name: name === null ? null : parts.at(-1), key: sameName(path), from, path };
          const first = taken.get(place.key);
          const why = name === null ? '' : unfit(path);
          if (why) set(job, 'left out', `Left out: the output of ${from}, as ${why}.`, [from]);
          else if (first && name !== null) {
            set(job, 'left out', `Left out: ${path} from ${from}, as ` + (first.path === path ? `${first.from} already gives it.`
              : `${first.from} already gives ${first.path}, which Windows and macOS take for the same name.`), [path, from, first.from, first.path]);
          } else {
            if (name !== null) taken.set(place.key, place);
            Object.assign(place, name === null ? { had: 0, there: false } : await standing(dir, parts, seen));
            if (place.there) there.push(job);
            going.push(Object.assign(job, { place }));
          }
        }
        const answer = there.length > 0 ? await ask(there.map((j) => j.place.path), going.length, dir.name, signal) : 'replace';
        if (signal?.aborted) return [];
        if (answer === 'stop') {
          for (const job of going) set(job, 'cancelled', `Stopped: nothing of it was written into ${dir.name}.`, [dir.name]);
          return [];
        }
        if (answer === 'skip') {
          for (const job of there) set(job, 'skipped', `${job.place.path} is already in ${dir.name}, and was left as it is.`, [job.place.path, dir.name]);
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
  function start() {
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
        $('into-words').textContent = halvorineWords.sentence(`No folder chosen: ${e.message}`);
        $('into').hidden = false;
        $('into-off').hidden = true;
        return;
      }
      chosen = sinkInto(dir);
      halvorineWords.put($('into-words'), `Converting into ${dir.name}: each output is written there as it is made, ` +
        "under its recording's folder, and is not kept in this page.", [dir.name]);
      $('into').hidden = false;
      $('into-off').hidden = false;
    });
    $('into-off').addEventListener('click', () => {
      chosen = null;
      $('into').hidden = true;
    });
  }

  // The worker's side: `place`, as planned, written into through a
  // writable stream, the only way a worker may write into a folder the user
  // chose. Its file is made before the converter starts, and its bytes go
  // to the browser's swap file beside it until finish() keeps them, whole,
  // or discards them with the file and the folders made for it. The bytes
  // are gathered into two buffers, made once: one is written while the
  // other fills, so memory stays the same whatever the output's size.
  let buffers = null;
  async function writing(place, size) {
    // [folder, name] of each folder this output made, to go with it if it
    // fails: known by a create that succeeded after a look-up that found
    // nothing, never by a failed look-up alone, which a user's file of that
    // name gives too.
    const made = [];
    let dir = place.dir;
    let file = null;
    let writer = null;
    let why = '';
    try {
      for (const part of place.under) {
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
      if (place.name !== null) {
        if (!place.there && await dir.getFileHandle(place.name).then(() => true, (e) => e.name === 'TypeMismatchError')) {
          why = `${within(place.under.join('/'), place.name)} is there already`;
        } else {
          file = await dir.getFileHandle(place.name, { create: true });
          writer = (await file.createWritable()).getWriter();
        }
      }
    } catch (e) {
      why ||= String(e?.message ?? e);
    }
    buffers ??= [new Uint8Array(size), new Uint8Array(size)];
    let turn = 0;
    let filled = 0;
    let bytes = 0;
    let inFlight = null;  // the other buffer's write: true once written
    let failed = writer === null;
    let kept = false;
    // This buffer to the writer; the promise that the other is free.
    const send = () => {
      const other = inFlight;
      const part = buffers[turn].subarray(0, filled);
      bytes += filled;
      inFlight = writer.write(part).then(() => true, () => false);
      turn ^= 1;
      filled = 0;
      return other && other.then((ok) => { failed ||= !ok; return !failed; });
    };
    // Everything written made or never made: the file and its folders go.
    const unmade = async () => {
      if (file && !place.there) await dir.removeEntry(place.name).catch(() => {});
      for (const [parent, name] of made.reverse()) await parent.removeEntry(name).catch(() => {});
    };
    return {
      get stored() { return kept; },
      why: () => why,
      open(name) {
        if (writer !== null && safePath(name) !== place.name) why = `the converter named it ${name}, not ${place.name}`;
        return writer !== null && !why;
      },
      // True once taken, or a promise of it where the other buffer is still
      // being written.
      write(from) {
        let at = 0;
        const go = () => {
          while (!failed && at < from.length) {
            const n = Math.min(size - filled, from.length - at);
            buffers[turn].set(from.subarray(at, at + n), filled);
            filled += n;
            at += n;
            if (filled === size) {
              const free = send();
              if (free) return free.then((ok) => ok && go());
            }
          }
          return !failed;
        };
        return go();
      },
      async close() {
        if (!failed && filled > 0) await send();
        if (inFlight && !(await inFlight)) failed = true;
        return { closed: !failed, bytes, blob: null };
      },
      // Kept where the run succeeded, else nothing of it is left.
      async finish(status) {
        try {
          if (status !== 0 || failed) throw null;
          await writer.close();
          kept = true;
        } catch (e) {
          await writer?.abort().catch(() => {});
          await unmade();
        }
        return kept || status !== 0 ? 1 : 0;
      },
    };
  }

  return Object.freeze({ start, writing, sinkFor: sinkInto, get sink() { return chosen; } });
})();
