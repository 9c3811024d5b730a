// The queue of files (web/scheduler.js) under node, its converter, sinks
// and page stand-ins: the order files convert in, Cancel in each phase (a
// pick being looked through, one being planned into a folder, one
// converting while others wait), a worker that dies before a word, one
// that stops, no room for a folder, and a converter that cannot start.
//
// node scheduler-test.mjs
import assert from 'node:assert/strict';

import { scheduler } from '../scheduler.js';

const tick = () => new Promise((r) => setTimeout(r));
const storage = { place: (n) => `entry-${n}`, release: async () => {} };
const memory = { place: () => null, release: async () => {} };

// what; the picks ('folder/name'); where outputs go ('storage', 'memory' or
// 'folder', whose plan waits until Cancel); each name's outcome per
// attempt (done unless said: 'dies' before a word, 'stops' midway,
// 'cancel' pressed while it converts); `cancel`: 'walk' (pressed while the
// pick is looked through) or 'plan'; `room` the bytes there is room for, if
// that is short (each file is a byte); `cannot` where
// no converter starts. Then the converter's calls and each file's last state.
const cases = [
  { what: 'in order', picks: ['a', 'b', 'c'], sink: 'storage', calls: 'a b c', states: 'a done, b done, c done' },
  { what: 'in order, two waiting in the worker', picks: ['a', 'b', 'c'], sink: 'memory', calls: 'a b c', states: 'a done, b done, c done' },
  { what: 'Cancel while one converts and two wait', picks: ['a', 'b', 'c'], sink: 'memory', outcomes: { a: ['cancel'] },
    calls: 'a b c', states: 'a cancelled, b cancelled, c cancelled' },
  { what: 'Cancel while one converts, two wait and the rest are queued', picks: ['a', 'b', 'c', 'd'], sink: 'storage',
    outcomes: { a: ['cancel'] }, calls: 'a b c', states: 'a cancelled, b cancelled, c cancelled, d cancelled' },
  { what: 'Cancel while planned into a folder', picks: ['a', 'b'], sink: 'folder', cancel: 'plan', calls: '',
    states: 'a cancelled, b cancelled' },
  { what: 'Cancel while looked through', picks: ['a', 'b'], sink: 'storage', cancel: 'walk', calls: '', states: 'a cancelled, b cancelled' },
  { what: 'a worker dead before a word: tried again once', picks: ['a', 'b'], sink: 'storage', outcomes: { a: ['dies'] },
    calls: 'a b a', states: 'a done, b done' },
  { what: 'a worker dead before a word twice: the file stops', picks: ['a', 'b'], sink: 'storage', outcomes: { a: ['dies', 'dies'] },
    calls: 'a b a', states: 'a stopped, b done' },
  { what: 'a worker stopped midway: that file alone', picks: ['a', 'b'], sink: 'storage', outcomes: { a: ['stops'] },
    calls: 'a b', states: 'a stopped, b done' },
  { what: 'no room for a folder: none of it starts', picks: ['F/a', 'F/b'], sink: 'storage', room: 0, calls: '',
    states: 'a no room, b no room' },
  { what: 'room for each file of a folder, not for all: none of it starts', picks: ['F/a', 'F/b', 'F/c'], sink: 'storage', room: 2,
    calls: '', states: 'a no room, b no room, c no room' },
  { what: 'room for each file picked, not for all: each weighed on its own', picks: ['a', 'b', 'c'], sink: 'storage', room: 2,
    calls: 'a b c', states: 'a done, b done, c done' },
  { what: 'no room for files picked: none starts', picks: ['a', 'b'], sink: 'storage', room: 0, calls: '',
    states: 'a no room, b no room' },
  { what: 'no converter can start', picks: ['a', 'b'], sink: 'storage', cannot: true, calls: '', states: 'a cannot start, b cannot start' },
];

for (const c of cases) {
  const calls = [];
  const states = new Map();
  const tried = new Map();
  let queue;
  const converter = {
    ready: async () => {
      if (c.cannot) throw Object.assign(new Error('no'), { started: false, cannot: true });
      return { storage: c.sink === 'storage' };
    },
    convert: (file, entry, { signal }) => new Promise((settle, fail) => {
      calls.push(file.name);
      const k = tried.set(file.name, (tried.get(file.name) ?? 0) + 1).get(file.name) - 1;
      const outcome = c.outcomes?.[file.name]?.[k] ?? 'done';
      signal.addEventListener('abort', () => fail(Object.assign(new Error('cancelled'), { started: true, begun: true })));
      if (outcome === 'dies') setTimeout(() => fail(Object.assign(new Error('died'), { started: true, begun: false, reached: true })));
      else if (outcome === 'stops') setTimeout(() => fail(Object.assign(new Error('stopped'), { started: true, begun: true })));
      else if (outcome === 'cancel') setTimeout(() => queue.cancel());
      else setTimeout(() => settle({ status: 0, output: `${file.name}.ddc`, bytes: 1 }));
    }),
  };
  // Into a folder: a plan that waits for Cancel.
  const folder = c.sink === 'folder' ? { dir: { name: 'Out' }, plan: (jobs, pending, set, { signal }) =>
    new Promise((done) => signal.addEventListener('abort', () => done([]))) } : null;
  queue = scheduler({
    converter,
    outputs: { sinks: { storage, memory, folder }, sinkFor: ({ storage: s }) => (s ? storage : memory),
      makeRoom: async (need) => (need > (c.room ?? Infinity) ? { need, free: c.room } : null), keep: async () => true },
    needs: (bytes) => bytes,
    view: {
      add: (file) => file.name,
      set: (job, state) => states.set(job.item, state),
      begin() {}, said() {}, opened() {}, progress() {}, changed() {}, notStarted() {}, noRoom() {}, finished() {}, stopped() {}, lost() {},
    },
  });
  const signal = queue.signal();
  if (c.cancel === 'walk') queue.cancel();
  queue.enqueue(c.picks.map((p) => ({ file: { name: p.split('/').at(-1), size: 1 }, folder: p.split('/').slice(0, -1).join('/') })), signal);
  if (c.cancel === 'plan') {
    await tick();
    queue.cancel();
  }
  for (let quiet = 0; quiet < 5; quiet = queue.converting() ? 0 : quiet + 1) await tick();
  assert.deepEqual([calls.join(' '), [...states].map(([name, state]) => `${name} ${state}`).join(', ')], [c.calls, c.states], c.what);
}
console.log(`scheduler: ${cases.length} cases`);
