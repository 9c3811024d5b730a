// The page: what is picked or dropped goes into the queue (scheduler.js),
// each file's state shown in its place in the list. Every message about a
// file's contents comes from the converter itself (the worker passes on
// what it says); only the page's own controls and states are worded here.
import * as all from './all.js';
import * as converter from './converter.js';
import { start as startFolder } from './folder.js';
import * as intake from './intake.js';
import * as now from './now.js';
import * as outputs from './outputs.js';
import { needs } from './room.js';
import { scheduler } from './scheduler.js';
import { leave as leaveOutputs, sinks } from './sinks.js';
import * as update from './update.js';
import { put, sentence } from './words.js';

const $ = (id) => document.getElementById(id);
// A paragraph of `text`, each of `names` in it isolated.
const line = (text, className, names = []) => put(Object.assign(document.createElement('p'), { className }), text, names);

// The banner and the messages are printed by the console program with their
// line ends; the page shows their words, each on a line of its own.
const shown = (text) => text.replace(/^[\s]+|[\s]+$/g, '');

// How many files stand where, said by one polite live region: every result
// said on its own would have a screen reader read out ten thousand. Said
// every few seconds while files wait, and at once when none does.
const counts = { converted: 0, failed: 0, cancelled: 0, skipped: 0, waiting: 0 };
const countWords = [['converted', 'converted'], ['failed', 'not converted'], ['cancelled', 'cancelled'], ['skipped', 'skipped'],
  ['waiting', 'to go']];
let countsDue = null;
function sayCounts() {
  countsDue = null;
  const total = Object.values(counts).reduce((sum, n) => sum + n, 0);
  const parts = countWords.filter(([kind]) => counts[kind] > 0).map(([kind, words]) => `${counts[kind].toLocaleString('en-US')} ${words}`);
  $('counts').textContent = `${total.toLocaleString('en-US')} ${total === 1 ? 'file' : 'files'}: ${parts.join(', ')}.`;
}
function count(item, kind) {
  if (kind === item.counted) return;
  if (item.counted) counts[item.counted]--;
  counts[(item.counted = kind)]++;
  if (counts.waiting > 0) countsDue ??= setTimeout(sayCounts, 3000);
  else {
    clearTimeout(countsDue);
    sayCounts();
  }
}

// Every change of a file's state, in one place, so that its words, its
// look, its status and the counts always agree. `detail`: the result's
// { status, seconds }, an output's { whole }, and a `note` to add below,
// with the `names` in it.
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
  if (look !== undefined) {
    item.className = look;
    count(item, ['cancelled', 'skipped'].includes(state) ? state : look || 'waiting');
  }
  if (detail.note) item.append(line(detail.note, 'note', detail.names ?? [folder ? `${folder}/${name}` : name]));
  if (status === null) delete item.dataset.status;
  else if (status !== undefined) item.dataset.status = status;  // last: the tests wait on it
}

// An output that went from the private storage after it was made (the
// browser or another tab cleared it): nothing is left to save.
function showLost(item, whole, entry = null, status = undefined) {
  if (entry) sinks.storage.release(entry);
  setState(item, 'lost', { whole, status, note: "The output is no longer in the browser's storage (the browser or another page cleared " +
    'it): convert the file again to get it.' });
}

// Each file's place on the page, for the queue.
const view = {
  add(file, folder) {
    $('none').hidden = true;
    const item = document.createElement('li');
    item.dataset.name = file.name;
    item.dataset.folder = folder;
    item.append(line(`${file.name}: waiting`, 'state', [file.name]));
    if (folder) item.append(line(`in ${folder}/`, 'folder', [folder]));
    $('results').append(item);
    count(item, 'waiting');
    return item;
  },
  set: (job, state, detail) => setState(job.item, state, detail),
  begin(job) {
    setState(job.item, 'converting');
    now.begin(job.file);
  },
  said: (text) => now.said(shown(text)),
  opened: now.opened,
  progress: now.progress,
  // Whatever changed, the parts of the page that depend on it.
  changed(everything = true) {
    const converting = queue.converting();
    now.show(converting, queue.files(), queue.underway());
    if (!everything) return;
    all.setConverting(converting);
    all.show();
    update.show(converting);
  },
  // No worker could start. A page opened as a file that cannot run it
  // says so and converts nothing; a served page says what failed, and it
  // is tried again for the next file.
  notStarted(e, job) {
    if (e.cannot) {
      $('cannot').hidden = false;
      $('pick').hidden = true;
      return;
    }
    const words = sentence(`The converter could not be started: ${e.message}`);
    $('not-started').textContent = `${words} It is tried again for the next file.`;
    $('not-started').hidden = false;
    if (job) setState(job.item, 'not started', { note: words });
  },
  noRoom: (job, room, folder, again) => outputs.noRoom(job.item, room, folder, again),
  finished(job, result) {
    const { item, said } = job;
    // What the console program would have printed, whole, byte for byte;
    // shown, each message on a line of its own, as some end with no line end.
    item.dataset.stdout = said.map((s) => s.text).join('');
    const names = [job.file.name, result.output];
    for (const s of said) if (shown(s.text)) item.append(line(shown(s.text), s.banner ? 'said banner' : 'said message', names));
  },
  stopped: (job, words) => job.item.append(line(words, 'note', [job.file.name])),
  lost: (job, whole, entry, status) => showLost(job.item, whole, entry, status),
};
const queue = scheduler({
  converter,
  outputs: { sinks, sinkFor: outputs.sinkFor, makeRoom: outputs.makeRoom, keep: outputs.keep },
  needs,
  busy: all.isGathering,
  view,
});

// What the last pick or drop left out, in words (none for a pick of files,
// which are taken as they are).
function tell(given, what) {
  const lines = given ? intake.told(given, what) : [];
  const told = $('intake');
  const names = given ? given.unread.map((u) => u.path) : [];
  told.replaceChildren(...lines.map((text) => line(text, 'note', names)));
  told.hidden = lines.length === 0;
}

// A pick or drop of folders, `walk(how)` its walk: the count of its
// recordings while it is walked, its words, then its files in order.
async function gather(walk, what) {
  const signal = queue.signal();
  const walking = queue.begun();
  const found = (n) => walking.say(`Looking through ${what}: ${n.toLocaleString('en-US')} ${n === 1 ? 'recording' : 'recordings'} found`);
  try {
    found(0);
    const got = await walk({ signal, found });
    const picks = signal.aborted ? [] : await intake.ordered(got.picks);
    if (signal.aborted) {
      $('intake').replaceChildren(line(`Cancelled while looking through ${what}: none of it was converted.`, 'note'));
      $('intake').hidden = false;
      return;
    }
    tell(got, what);
    queue.enqueue(picks, signal);
  } finally {
    walking.end();
  }
}

document.addEventListener('DOMContentLoaded', async () => {
  const input = $('files');
  const drop = $('drop');
  input.addEventListener('change', () => {
    tell(null);
    queue.enqueue([...input.files].map((file) => ({ file, folder: '' })));
    input.value = '';
  });
  const folderInput = $('folder');
  // Through the folder picker where the browser has one: the input would
  // have the browser ask whether to upload the files, which the page never
  // does, and list every hidden folder in full.
  $('pick-folder').addEventListener('click', async () => {
    if (!window.showDirectoryPicker) {
      folderInput.click();
      return;
    }
    let dir;
    try {
      dir = await window.showDirectoryPicker({ id: 'halvorine-pick', mode: 'read' });
    } catch (e) {
      if (e.name !== 'AbortError') {
        $('intake').replaceChildren(line(sentence(`No folder chosen: ${e.message}`), 'note'));
        $('intake').hidden = false;
      }
      return;
    }
    gather((how) => intake.chosen(dir, how), 'the folder chosen');
  });
  folderInput.addEventListener('change', () => {
    const files = [...folderInput.files];
    folderInput.value = '';
    gather(async () => intake.picked(files), 'the folder chosen');
  });
  // Anywhere on the page, not only on the zone: the browser would open a
  // recording dropped beside it in place of the page.
  document.addEventListener('dragover', (e) => { e.preventDefault(); drop.classList.add('over'); });
  document.addEventListener('dragleave', (e) => { if (!e.relatedTarget) drop.classList.remove('over'); });
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    drop.classList.remove('over');
    const ways = intake.ways(e.dataTransfer);
    if (ways.length > 0) gather((how) => intake.dropped(ways, how), 'what was dropped');
  });
  $('cancel').addEventListener('click', () => {
    queue.cancel();
    // Its section goes with what it showed: the keyboard goes back to
    // choosing files.
    $('files').focus();
  });
  outputs.listen({ changed: () => view.changed(), lost: (o) => showLost(o.item, o.whole) });
  all.start(() => { view.changed(); queue.next(); });
  startFolder();
  // Opened from the installed app's "Open with": the files come this way.
  if (window.launchQueue) {
    window.launchQueue.setConsumer(async (params) => {
      const signal = queue.signal();
      const files = await Promise.all(params.files.map((f) => f.getFile().catch(() => null)));
      queue.enqueue(files.filter(Boolean).map((file) => ({ file, folder: '' })), signal);
    });
  }
  update.register();
  const held = update.hold();
  queue.hold(held);
  await held;
  converter.ready().then(outputs.sinkFor, (e) => queue.notStarted(e, null));
  outputs.sweep();
});

// Back from the back/forward cache, the page has lost its worker and
// outputs: it starts afresh.
window.addEventListener('pageshow', (event) => {
  if (event.persisted) location.reload();
});
window.addEventListener('pagehide', () => {
  queue.leave();
  converter.end();
  leaveOutputs();
});
