'use strict';
// The page: what is picked or dropped goes into a queue, converted one file
// after the other (converter.js), into the private storage where there is
// room for it, into memory, or into a folder the user chose (outputs.js,
// room.js, folder.js), each file's state shown
// in its place in the list. Every message about a file's contents comes
// from the converter itself (the worker passes on what it says); only the
// page's own controls and states are worded here.

const $ = (id) => document.getElementById(id);
const { sinks } = halvorineOutputs;
const converter = halvorineConverter;

let queue = [];  // { file, folder, group, item, into, place }: a folder's files share a group, weighed together for room
let going = [];  // given to the converter, as queued, with { said, abort, sent, sink }: the first converts
let made = 0;  // conversions started: each output's entry is named by its number
let cannot = false;  // no converter will ever start here
let leaving = false;  // the page is being left: nothing more starts
let held = null;  // resolves once the page holds its build's lock: no worker starts before
let picking = new AbortController();  // the picks not queued yet: Cancel stops them, and later picks take a fresh one
const underway = new Set();  // the words of each pick being looked through or planned, shown with Cancel

const { put, sentence } = halvorineWords;
// A paragraph of `text`, each of `names` in it isolated.
const line = (text, className, names = []) => put(Object.assign(document.createElement('p'), { className }), text, names);

// The banner and the messages are printed by the console program with their
// line ends; the page shows their words, each on a line of its own.
const shown = (text) => text.replace(/^[\s]+|[\s]+$/g, '');

// Every change of a file's state, in one place, so that its words, its look
// and its status always agree. `detail`: the result's { status, seconds },
// an output's { whole }, and a `note` to add below, with the `names` in it.
function setState(item, state, detail = {}) {
  const partly = detail.whole === false ? 'not converted; ' : '';
  const [words, look, status] = {
    waiting: ['waiting', '', null],
    converting: ['converting', '', null],
    done: [`${detail.status === 0 ? '' : 'not '}converted (${detail.seconds?.toFixed(2)} s)`, detail.status === 0 ? 'converted' : 'failed',
      String(detail.status)],
    ...Object.fromEntries(['not started', 'cannot start', 'stopped', 'no room'].map((s) => [s, ['not converted', 'failed', s]])),
    cancelled: ['cancelled', 'failed', 'cancelled'],
    lost: [`${partly}lost`, 'failed', detail.status === undefined ? undefined : String(detail.status)],
    'left out': ['not converted', 'failed', 'left out'], skipped: ['skipped', '', 'skipped'],
    freed: [`${partly}saved; removed from the page's storage`, undefined, undefined],
  }[state];
  const { name, folder } = item.dataset;
  put(item.querySelector('.state'), `${name}: ${words}`, [name]);
  if (look !== undefined) item.className = look;
  if (detail.note) item.append(line(detail.note, 'note', detail.names ?? [folder ? `${folder}/${name}` : name]));
  if (status === null) delete item.dataset.status;
  else if (status !== undefined) item.dataset.status = status;  // last: the tests wait on it
}

const converting = () => going.length > 0 || queue.length > 0 || underway.size > 0;

const showNow = () => halvorineNow.show(converting(), going.length > 0, [...underway].map((u) => u.words));

// Whatever changed, the parts of the page that depend on it.
function changed() {
  showNow();
  halvorineAll.converting = converting();
  halvorineAll.show();
  halvorineUpdate.show(converting());
}

// No worker could start. A page opened as a file that cannot run it says so
// and converts nothing; a served page says what failed, and it is tried
// again for the next file.
function notStarted(e, job) {
  if (e.cannot) {
    cannot = true;
    $('cannot').hidden = false;
    $('pick').hidden = true;
    for (const j of [job, ...queue]) if (j) setState(j.item, 'cannot start');
    queue = [];
    return;
  }
  const words = sentence(`The converter could not be started: ${e.message}`);
  $('not-started').textContent = `${words} It is tried again for the next file.`;
  $('not-started').hidden = false;
  if (job) setState(job.item, 'not started', { note: words });
}

function addItem(file, folder) {
  $('none').hidden = true;
  const item = document.createElement('li');
  item.dataset.name = file.name;
  item.dataset.folder = folder;
  item.append(line(`${file.name}: waiting`, 'state', [file.name]));
  if (folder) item.append(line(`in ${folder}/`, 'folder', [folder]));
  $('results').append(item);
  return item;
}

// A pick being looked through or planned, shown by its words (`say`) with
// the files converting, and with Cancel, until it ends.
function begun() {
  const pick = { words: '' };
  underway.add(pick);
  changed();
  return {
    say: (words) => {
      pick.words = words;
      showNow();
    },
    end: () => {
      underway.delete(pick);
      changed();
    },
  };
}

// `picks`, { file, folder } in order; into a folder chosen, as far as its
// plan lets them. Those not queued when Cancel is pressed are cancelled.
let entering = Promise.resolve();
function enqueue(picks, signal = picking.signal) {
  const group = picks.some((p) => p.folder) ? { weighed: false } : null;
  const into = sinks.folder;
  const jobs = picks.map(({ file, folder }) => ({ file, folder, group, into, item: addItem(file, folder) }));
  const set = (j, state, note, names) => setState(j.item, state, { note, names });
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
        for (const job of jobs) if (!job.item.dataset.status) setState(job.item, 'cancelled');
      } else {
        for (const job of planned) queue.push(job);
      }
      changed();
      next();
    });
}

// Not started for lack of room: the words, and a button to try again.
function short(job, room, folder) {
  setState(job.item, 'no room');
  halvorineOutputs.noRoom(job.item, room, folder, () => {
    setState(job.item, 'waiting');
    queue.push({ ...job, group: null });
    changed();
    next();
  });
}

// Where outputs go to the private storage, room for `job` (the first of a
// folder weighs the whole folder: it starts only where all of it fits, and
// the rest is not weighed again). False where it cannot start, and the
// files weighed are failed.
async function roomFor(job) {
  if (job.group?.weighed) return true;
  const weighed = job.group ? [job, ...queue.filter((j) => j.group === job.group)] : [job];
  if (job.group) job.group.weighed = true;
  const need = weighed.reduce((sum, j) => sum + halvorineRoom.needs(j.file.size), 0);
  const room = await halvorineOutputs.makeRoom(need, (o) => setState(o.item, 'freed', { whole: o.whole }));
  if (!room || !going.includes(job)) return !room;
  queue = queue.filter((j) => !weighed.includes(j));
  for (const j of weighed) short(j, room, weighed.length > 1);
  return false;
}

// The file its worker converts, shown.
function begin(job) {
  setState(job.item, 'converting');
  halvorineNow.begin(job.file);
}

// Over with the converter: the next file given to it converts.
function leave(job) {
  if (going[0] === job && going[1]) begin(going[1]);
  going = going.filter((j) => j !== job);
}

// The next file. Two more may wait in the converter's worker while one
// converts, where they need no room check of their own (a folder weighed
// whole, outputs in memory or into a chosen folder): it makes their outputs
// in the storage meanwhile and goes on at once, so that a thousand small
// files do not each wait on the page.
async function next() {
  if (halvorineAll.gathering || queue.length === 0 || cannot || leaving) return;
  const last = going.at(-1);
  const unweighed = !(queue[0].into || queue[0].group?.weighed || last?.sink === sinks.memory);
  if (going.length > 2 || (last && (!last.sent || unweighed))) return;
  const job = queue.shift();
  going.push(Object.assign(job, { said: [], abort: new AbortController(), sent: false, sink: null }));
  if (!last) begin(job);
  changed();
  let sink = null;
  let entry = null;
  try {
    await held;
    sink = halvorineOutputs.sinkFor(await converter.ready());
    sink = job.sink = job.into ?? sink;
    if (!going.includes(job)) return;  // cancelled meanwhile
    if (sink === sinks.storage && !(await roomFor(job))) throw null;
    if (!going.includes(job)) return;
    entry = await sink.place(++made, job);
    const converted = converter.convert(job.file, entry, {
      signal: job.abort.signal,
      said: (m) => {
        job.said.push(m);
        if (m.banner) halvorineNow.said(shown(m.text));
      },
      opened: (name) => { job.output = name; },
      progress: halvorineNow.progress,
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
      setState(job.item, 'waiting');
      const at = queue.findIndex((j) => job.item.compareDocumentPosition(j.item) & Node.DOCUMENT_POSITION_FOLLOWING);
      queue.splice(at < 0 ? queue.length : at, 0, { file: job.file, folder: job.folder, item: job.item, group: null,
        again: job.again || e.reached, into: job.into, place: job.place });
    } else await stopped(job, e.message, entry, sink);
  } finally {
    leave(job);
    changed();
    next();
  }
}

async function finished(job, result, entry, sink) {
  const { item, said, folder } = job;
  // What the console program would have printed, whole, byte for byte;
  // shown, each message on a line of its own, as some end with no line end.
  item.dataset.stdout = said.map((s) => s.text).join('');
  const names = [job.file.name, result.output];
  for (const s of said) if (shown(s.text)) item.append(line(shown(s.text), s.banner ? 'said banner' : 'said message', names));
  const whole = result.status === 0;
  if (await halvorineOutputs.keep({ item, folder, entry, whole, sink }, result)) setState(item, 'done', result);
  else showLost(item, whole, entry, result.status);
}

// An output that went from the private storage after it was made (the
// browser or another tab cleared it): nothing is left to save.
function showLost(item, whole, entry = null, status = undefined) {
  if (entry) sinks.storage.release(entry);
  setState(item, 'lost', { whole, status, note: "The output is no longer in the browser's storage (the browser or another page cleared " +
    'it): convert the file again to get it.' });
}

// The worker stopped in the middle of a file: the browser ended it, or it
// stopped answering. The file fails with `words`; what it had stored is kept
// to save, as the console program leaves it, where the sink holds it.
async function stopped(job, words, entry, sink) {
  job.item.append(line(words, 'note', [job.file.name]));
  await halvorineOutputs.keep({ item: job.item, folder: job.folder, entry, sink }, { stopped: true, output: job.output ?? null });
  setState(job.item, 'stopped');
}

function cancel() {
  picking.abort();
  picking = new AbortController();
  for (const job of [...going, ...queue]) {
    job.abort?.abort();
    setState(job.item, 'cancelled');
  }
  [going, queue] = [[], []];
  changed();
}

// What the last pick or drop left out, in words (none for a pick of files,
// which are taken as they are).
function tell(given, what) {
  const lines = given ? halvorineIntake.told(given, what) : [];
  const told = $('intake');
  const names = given ? given.unread.map((u) => u.path) : [];
  told.replaceChildren(...lines.map((text) => line(text, 'note', names)));
  told.hidden = lines.length === 0;
}

// A pick or drop of folders, `walk(how)` its walk: the count of its
// recordings while it is walked, its words, then its files in order.
async function gather(walk, what) {
  const { signal } = picking;
  const walking = begun();
  const found = (n) => walking.say(`Looking through ${what}: ${n.toLocaleString('en-US')} ${n === 1 ? 'recording' : 'recordings'} found`);
  try {
    found(0);
    const got = await walk({ signal, found });
    const picks = signal.aborted ? [] : await halvorineIntake.ordered(got.picks);
    if (signal.aborted) {
      $('intake').replaceChildren(line(`Cancelled while looking through ${what}: none of it was converted.`, 'note'));
      $('intake').hidden = false;
      return;
    }
    tell(got, what);
    enqueue(picks, signal);
  } finally {
    walking.end();
  }
}

document.addEventListener('DOMContentLoaded', async () => {
  const input = $('files');
  const drop = $('drop');
  input.addEventListener('change', () => {
    tell(null);
    enqueue([...input.files].map((file) => ({ file, folder: '' })));
    input.value = '';
  });
  const folderInput = $('folder');
  $('pick-folder').addEventListener('click', () => folderInput.click());
  folderInput.addEventListener('change', () => {
    const files = [...folderInput.files];
    folderInput.value = '';
    gather(async () => halvorineIntake.picked(files), 'the folder chosen');
  });
  // Anywhere on the page, not only on the zone: the browser would open a
  // recording dropped beside it in place of the page.
  document.addEventListener('dragover', (e) => { e.preventDefault(); drop.classList.add('over'); });
  document.addEventListener('dragleave', (e) => { if (!e.relatedTarget) drop.classList.remove('over'); });
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    drop.classList.remove('over');
    const ways = halvorineIntake.ways(e.dataTransfer);
    if (ways.length > 0) gather((how) => halvorineIntake.dropped(ways, how), 'what was dropped');
  });
  $('cancel').addEventListener('click', cancel);
  halvorineOutputs.listen({ changed, lost: (o) => showLost(o.item, o.whole) });
  halvorineAll.start(() => { changed(); next(); });
  halvorineFolder.start();
  // Opened from the installed app's "Open with": the files come this way.
  if (window.launchQueue) {
    window.launchQueue.setConsumer(async (params) => {
      const { signal } = picking;
      const files = await Promise.all(params.files.map((f) => f.getFile().catch(() => null)));
      enqueue(files.filter(Boolean).map((file) => ({ file, folder: '' })), signal);
    });
  }
  halvorineUpdate.register();
  held = halvorineUpdate.hold();
  await held;
  converter.ready().then(halvorineOutputs.sinkFor, (e) => notStarted(e, null));
  halvorineOutputs.sweep();
});

// Back from the back/forward cache, the page has lost its worker and
// outputs: it starts afresh.
window.addEventListener('pageshow', (event) => {
  if (event.persisted) location.reload();
});
window.addEventListener('pagehide', () => {
  leaving = true;
  converter.end();
  halvorineOutputs.leave();
});
