// The queue of files and their way through the converter, one after the
// other: into the private storage where there is room for it, into memory,
// or into a folder the user chose. It knows nothing of the page: what it
// is given (`deps`) shows each file's state and makes its outputs.
//
// deps: `converter` ({ ready, convert }, converter.js); `outputs` ({ sinks,
// sinkFor, makeRoom, keep }, outputs.js and sinks.js); `needs(bytes)`, the
// room a recording's output takes; `busy()`, whether outputs are being
// read for a zip, when no file starts; and `view`: add(file, folder), a
// job's place on the page; set(job, state, detail); begin(job), the file
// its worker converts; said(words); opened(output), its output's name;
// progress(done, total, closing);
// changed(all), all of what depends on the queue or only what shows the
// file converting; notStarted(e, job); noRoom(job, room, folder, again); and
// finished(job, result), stopped(job, words) and lost(job, whole, entry,
// status), for what a conversion ended with.
export function scheduler({ converter, outputs, needs, busy = () => false, view }) {
  const { sinks } = outputs;
  // { file, folder, group, item, into, place, n }: the files of a pick share a group, weighed together for room
  let queue = [];
  let going = [];  // given to the converter, as queued, with { said, abort, sent, sink }: the first converts
  let made = 0;  // conversions started: each output's entry is named by its number
  let added = 0;  // jobs made: their order on the page
  let cannot = false;  // no converter will ever start here
  let leaving = false;  // the page is being left: nothing more starts
  let held = null;  // resolves once the page holds its build's lock: no worker starts before
  let picking = new AbortController();  // the picks not queued yet: Cancel stops them, and later picks take a fresh one
  const underway = new Set();  // each pick being looked through or planned, { words }, shown with Cancel
  let entering = Promise.resolve();

  const converting = () => going.length > 0 || queue.length > 0 || underway.size > 0;

  // A pick being looked through or planned, shown by its words (`say`) with
  // the files converting, and with Cancel, until it ends.
  function begun() {
    const pick = { words: '' };
    underway.add(pick);
    view.changed();
    return {
      say: (words) => {
        pick.words = words;
        view.changed(false);
      },
      end: () => {
        underway.delete(pick);
        view.changed();
      },
    };
  }

  // No worker could start: where none ever will, the files waiting cannot
  // start either.
  function notStarted(e, job) {
    view.notStarted(e, job);
    if (!e.cannot) return;
    cannot = true;
    for (const j of [job, ...queue]) if (j) view.set(j, 'cannot start');
    queue = [];
  }

  // `picks`, { file, folder } in order; into a folder chosen, as far as its
  // plan lets them. Those not queued when Cancel is pressed are cancelled.
  function enqueue(picks, signal = picking.signal) {
    // Files picked together, where all of them do not fit, are each weighed
    // on their own; a folder starts whole or not at all.
    const group = picks.length > 1 || picks.some((p) => p.folder) ? { weighed: false, alone: !picks.some((p) => p.folder) } : null;
    const into = sinks.folder;
    const jobs = picks.map(({ file, folder }) => ({ file, folder, group, into, item: view.add(file, folder), n: ++added }));
    const set = (j, state, note, names) => {
      j.told = true;
      view.set(j, state, { note, names });
    };
    const planning = into && jobs.length > 0 ? begun() : null;
    const progress = (k, n) => planning.say(`Looking for their outputs in ${into.dir.name}: ${k.toLocaleString('en-US')} of ` +
      `${n.toLocaleString('en-US')}`);
    if (planning) progress(0, jobs.length);
    entering = entering.then(() => (signal.aborted ? [] : into?.plan(jobs, [...going, ...queue], set, { signal, progress }) ?? jobs))
      .catch((e) => {
        // Cancel ends the worker that the plan asks for names.
        if (!signal.aborted) for (const job of jobs) notStarted(e, job);
        return [];
      })
      .then((planned) => {
        planning?.end();
        if (signal.aborted) {
          for (const job of jobs) if (!job.told) view.set(job, 'cancelled');
        } else {
          for (const job of planned) queue.push(job);
        }
        view.changed();
        next();
      });
    return entering;
  }

  // Not started for lack of room: the words, and a way to try again.
  function short(job, room, folder) {
    view.set(job, 'no room');
    view.noRoom(job, room, folder, () => {
      view.set(job, 'waiting');
      queue.push({ ...job, group: null });
      view.changed();
      next();
    });
  }

  // Where outputs go to the private storage, room for `job` (the first of a
  // pick weighs the whole pick, and where all of it fits the rest is not
  // weighed again: ten thousand files each waiting on the browser's
  // estimate took twice as long). False where it cannot start, and the
  // files weighed are failed.
  async function roomFor(job) {
    if (job.group?.weighed) return true;
    const weighed = job.group ? [job, ...queue.filter((j) => j.group === job.group)] : [job];
    if (job.group) job.group.weighed = true;
    const need = weighed.reduce((sum, j) => sum + needs(j.file.size), 0);
    const room = await outputs.makeRoom(need, (o) => view.set(o, 'freed', { whole: o.whole }));
    if (!room || !going.includes(job)) return !room;
    if (job.group?.alone && weighed.length > 1) {
      for (const j of weighed) j.group = null;
      return roomFor(job);
    }
    const failing = new Set(weighed);
    queue = queue.filter((j) => !failing.has(j));
    for (const j of weighed) short(j, room, weighed.length > 1);
    return false;
  }

  // Over with the converter: the next file given to it converts.
  function leave(job) {
    if (going[0] === job && going[1]) view.begin(going[1]);
    going = going.filter((j) => j !== job);
  }

  // The next file. Two more may wait in the converter's worker while one
  // converts, where they need no room check of their own (a folder weighed
  // whole, outputs in memory or into a chosen folder): it makes their outputs
  // in the storage meanwhile and goes on at once, so that a thousand small
  // files do not each wait on the page.
  async function next() {
    if (busy() || queue.length === 0 || cannot || leaving) return;
    const last = going.at(-1);
    const unweighed = !(queue[0].into || queue[0].group?.weighed || last?.sink === sinks.memory);
    if (going.length > 2 || (last && (!last.sent || unweighed))) return;
    const job = queue.shift();
    going.push(Object.assign(job, { said: [], abort: new AbortController(), sent: false, sink: null }));
    if (!last) view.begin(job);
    view.changed();
    let sink = null;
    let entry = null;
    try {
      await held;
      sink = outputs.sinkFor(await converter.ready());
      sink = job.sink = job.into ?? sink;
      if (!going.includes(job)) return;  // cancelled meanwhile
      if (sink === sinks.storage && !(await roomFor(job))) throw null;
      if (!going.includes(job)) return;
      entry = await sink.place(++made, job);
      const converted = converter.convert(job.file, entry, {
        signal: job.abort.signal,
        said: (m) => {
          job.said.push(m);
          if (m.banner) view.said(m.text);
        },
        opened: (name) => {
          job.output = name;
          view.opened(name);
        },
        progress: view.progress,
      });
      job.sent = true;
      next();
      const result = await converted;
      leave(job);
      next();  // the file given after it converts meanwhile
      await finished(job, result, entry, sink);
    } catch (e) {
      const cancelled = !going.includes(job);
      leave(job);
      if (cancelled || e === null) {
        // Cancelled (the stopped worker may hold its file for a while yet), or
        // not started for lack of room.
        if (entry && e !== null) sink.release(entry, 300);
      } else if (!e.started) notStarted(e, job);
      else if (!e.begun && !(job.again && e.reached)) {
        // The worker died before a word about the file, perhaps before the file
        // reached it: a fresh worker takes it, back in its place, as a job of
        // its own (a room check under way belongs to the old one). Once where
        // it had reached the converter: a file that stops every worker fails.
        if (entry) sink.release(entry, 300);
        view.set(job, 'waiting');
        const at = queue.findIndex((j) => j.n > job.n);
        queue.splice(at < 0 ? queue.length : at, 0, { file: job.file, folder: job.folder, item: job.item, n: job.n, group: null,
          again: job.again || e.reached, into: job.into, place: job.place });
      } else await stopped(job, e.message, entry, sink);
    } finally {
      leave(job);
      view.changed();
      next();
    }
  }

  async function finished(job, result, entry, sink) {
    view.finished(job, result);
    const whole = result.status === 0;
    const made = { item: job.item, n: job.n, folder: job.folder, entry, whole, sink };
    if (await outputs.keep(made, result)) view.set(job, 'done', result);
    else view.lost(job, whole, entry, result.status);
  }

  // The worker stopped in the middle of a file: the browser ended it, or it
  // stopped answering. The file fails with `words`; what it had stored is kept
  // to save, as the console program leaves it, where the sink holds it.
  async function stopped(job, words, entry, sink) {
    view.stopped(job, words);
    await outputs.keep({ item: job.item, n: job.n, folder: job.folder, entry, sink }, { stopped: true, output: job.output ?? null });
    view.set(job, 'stopped');
  }

  // Every file not converted yet, and every pick not queued yet.
  function cancel() {
    picking.abort();
    picking = new AbortController();
    for (const job of [...going, ...queue]) {
      job.abort?.abort();
      view.set(job, 'cancelled');
    }
    [going, queue] = [[], []];
    view.changed();
  }

  return {
    enqueue, begun, cancel, next, converting,
    notStarted,
    // The words of each pick being looked through or planned.
    underway: () => [...underway].map((u) => u.words),
    files: () => going.length > 0,
    // What Cancel stops from now on.
    signal: () => picking.signal,
    // Nothing starts before `promise` resolves.
    hold: (promise) => { held = promise; },
    leave: () => { leaving = true; },
  };
}
