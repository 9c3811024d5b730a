// The folder writer (web/folder-writer.js) under node, over an
// in-memory folder that answers as the browser's handles do: what it leaves
// behind when an output is written, refused or fails part-way, and above
// all that nothing that was there before is removed. Then the page's plan
// of a pick (web/folder.js): what it leaves out, its one question, and
// Cancel pressed before it, while it plans and while it asks.
//
// node folder-test.mjs
import assert from 'node:assert/strict';

// The question's panel and buttons, each clicked by calling its listener.
const panel = new Map();
const element = (id) => panel.get(id) ?? panel.set(id, { hidden: true, focus() {}, replaceChildren() {}, contains: () => false,
  addEventListener(type, h) { this.click = h; }, removeEventListener() {} }).get(id);
// The converter's worker, which names outputs as the converter does: by
// the name up to its first dot.
function Worker() {
  const answer = (data) => setTimeout(() => this.onmessage({ data }));
  this.postMessage = ({ kind, job, names }) => kind === 'name' &&
    answer({ kind: 'named', job, outputs: names.map((n) => (n.includes('.') ? `halvorine-${n.slice(0, n.indexOf('.'))}.ddc` : null)) });
  answer({ kind: 'hello', job: 0, storage: true });
}
Object.assign(globalThis, { Worker, location: { protocol: 'http:' },
  document: { getElementById: element, createElement: () => ({}), querySelector: () => null, addEventListener() {},
    removeEventListener() {} } });
const { writing } = await import('../folder-writer.js');
const folder = await import('../folder.js');

const named = (name, message) => Object.assign(new Error(message), { name });
// A folder is a Map of names to folders (Maps) and files ({ bytes }).
function handle(dir, name = '') {
  const get = (kind, what, { create = false } = {}) => {
    const at = dir.get(what);
    if (at === undefined) {
      if (!create) throw named('NotFoundError', 'A requested file or directory could not be found');
      dir.set(what, kind === 'directory' ? new Map() : { bytes: new Uint8Array(0) });
    } else if ((at instanceof Map) !== (kind === 'directory')) {
      throw named('TypeMismatchError', 'The path supplied exists, but was not an entry of requested type.');
    }
    return dir.get(what);
  };
  return {
    kind: 'directory', name,
    getDirectoryHandle: async (what, how) => handle(get('directory', what, how), what),
    getFileHandle: async (what, how) => {
      const file = get('file', what, how);
      return {
        kind: 'file', name: what,
        getFile: async () => ({ size: file.bytes.length }),
        createWritable: async () => {
          const parts = [];
          return {
            getWriter: () => ({
              write: async (part) => {
                if (file.failAt !== undefined && parts.length === file.failAt) throw named('QuotaExceededError', 'full');
                parts.push(Uint8Array.from(part));
              },
              close: async () => { file.bytes = Buffer.concat(parts); },
              abort: async () => {},
            }),
          };
        },
      };
    },
    removeEntry: async (what) => {
      const at = dir.get(what);
      if (at === undefined) throw named('NotFoundError', 'gone');
      if (at instanceof Map && at.size > 0) throw named('InvalidModificationError', 'not empty');
      dir.delete(what);
    },
  };
}

// The tree as [path, size or 'dir'], sorted.
function listing(dir, under = '') {
  return [...dir].flatMap(([name, at]) => (at instanceof Map
    ? [[under + name, 'dir'], ...listing(at, `${under}${name}/`)]
    : [[under + name, at.bytes.length]])).sort();
}
const tree = (entries) => {
  const root = new Map();
  for (const [path, what] of entries) {
    const parts = path.split('/');
    let at = root;
    for (const part of parts.slice(0, -1)) at = at.get(part) ?? at.set(part, new Map()).get(part);
    at.set(parts.at(-1), what === 'dir' ? new Map() : { bytes: new Uint8Array(what) });
  }
  return root;
};

const size = 4;
const output = new Uint8Array(10).map((_, i) => i);
const place = (path, there = false) => ({ under: path.split('/').slice(0, -1), name: path.split('/').at(-1), there });
// before: the folder's entries; path: the output's; status: the converter's;
// failAt: the write that fails; result: finish()'s, 0 where a whole output
// was to be kept and could not be.
const cases = [
  { what: 'written, its folders made', before: [], path: 'Takes/a/halvorine-x.ddc', status: 0,
    after: [['Takes', 'dir'], ['Takes/a', 'dir'], ['Takes/a/halvorine-x.ddc', 10]], result: 1 },
  { what: 'a user\'s file where a folder goes stays', before: [['Takes', 3]], path: 'Takes/halvorine-x.ddc',
    status: 0, after: [['Takes', 3]], result: 0 },
  { what: 'a user\'s file where a deeper folder goes stays, and the folder made for it goes',
    before: [['keep', 'dir'], ['Takes', 'dir'], ['Takes/b', 2]], path: 'Takes/b/halvorine-x.ddc', status: 0,
    after: [['Takes', 'dir'], ['Takes/b', 2], ['keep', 'dir']], result: 0 },
  { what: 'a folder where the output goes stays, with what it holds',
    before: [['halvorine-x.ddc/y', 5]], path: 'halvorine-x.ddc', status: 0,
    after: [['halvorine-x.ddc', 'dir'], ['halvorine-x.ddc/y', 5]], result: 0 },
  { what: 'an output there since the plan stays', before: [['A', 'dir'], ['A/halvorine-x.ddc', 7]],
    path: 'A/halvorine-x.ddc', status: 0, after: [['A', 'dir'], ['A/halvorine-x.ddc', 7]], result: 0 },
  { what: 'a failed conversion leaves nothing, folders made included', before: [['A', 'dir']],
    path: 'A/b/c/halvorine-x.ddc', status: 1, after: [['A', 'dir']], result: 1 },
  { what: 'a write failing part-way leaves nothing', before: [], path: 'A/halvorine-x.ddc', status: 0,
    failAt: 1, after: [], result: 0 },
  { what: 'a replaced output keeps its old bytes when the new one fails', before: [['halvorine-x.ddc', 7]],
    path: 'halvorine-x.ddc', there: true, status: 1, after: [['halvorine-x.ddc', 7]], result: 1 },
];
for (const c of cases) {
  const root = tree(c.before);
  const at = place(c.path, c.there);
  const out = await writing({ dir: handle(root), ...at }, size);
  if (c.failAt !== undefined) {
    let dir = root;
    for (const part of at.under) dir = dir.get(part);
    dir.get(at.name).failAt = c.failAt;
  }
  if (out.open(at.name)) {
    await out.write(output);
    assert.equal((await out.close()).closed, c.failAt === undefined, c.what);
  }
  assert.equal(await out.finish(c.status), c.result, c.what);
  assert.deepEqual(listing(root), [...c.after].sort(), c.what);
  console.log(`ok: ${c.what}`);
}
console.log(`folder writer: ${cases.length} cases passed`);

// What a stopped worker left, removed by the page: [what, the folder's
// entries, the output's path, how many of its folders stood before, whether
// its worker started and whether something stood there, what is left].
const leftovers = [
  ['its empty file and the folders made for it go', [['A', 'dir'], ['A/b/c/x', 0]], 'A/b/c/x', 1, true, false, [['A', 'dir']]],
  ['a file with bytes in it stays', [['A/x', 3]], 'A/x', 0, true, false, [['A', 'dir'], ['A/x', 3]]],
  ['a file there before stays', [['x', 0]], 'x', 0, true, true, [['x', 0]]],
  ['nothing of a file whose worker never started', [['x', 0]], 'x', 0, false, false, [['x', 0]]],
  ['a folder made for it keeps what has gone into it since', [['A/b/x', 0], ['A/b/y', 2]], 'A/b/x', 1, true, false,
    [['A', 'dir'], ['A/b', 'dir'], ['A/b/y', 2]]],
  ['a folder where its file was stays', [['A/x/y', 1]], 'A/x', 1, true, false, [['A', 'dir'], ['A/x', 'dir'], ['A/x/y', 1]]],
];
for (const [what, before, path, had, started, there, after] of leftovers) {
  const root = tree(before);
  const dir = handle(root);
  await folder.sinkFor(dir).release({ dir, ...place(path, there), had, started }, 2);
  assert.deepEqual(listing(root), [...after].sort(), what);
}
console.log(`leftovers: ${leftovers.length} cases passed`);

// Each pick's plan in a folder holding halvorine-a.ddc: [what, the
// recordings' paths, the answer to the question (or Cancel, pressed while
// asked or once one is planned), the paths to convert, the rest's states].
const long = 'ж'.repeat(128);
const plans = [
  ['one there, replaced', ['a.wav', 'S/b.wav'], 'replace', ['a.wav', 'S/b.wav'], []],
  ['one there, skipped', ['a.wav', 'b.wav'], 'skip', ['b.wav'], ['a.wav skipped']],
  ['one there, stopped', ['a.wav', 'b.wav'], 'stop', [], ['a.wav cancelled', 'b.wav cancelled']],
  ['Cancel while asked: none, and the question gone', ['a.wav', 'b.wav'], 'cancel', [], []],
  ['Cancel once one is planned: none', ['b.wav', 'c.wav'], 'midway', [], []],
  ['a clash, and a folder name past 255 bytes', ['b.wav', 'b.x.wav', `${long}/c.wav`], null, ['b.wav'],
    ['b.x.wav left out', `${long}/c.wav left out`]],
];
const path = (job) => `${job.folder ? `${job.folder}/` : ''}${job.file.name}`;
for (const [what, pick, answer, want, rest] of plans) {
  const sink = folder.sinkFor(handle(tree([['halvorine-a.ddc', 3]]), 'Out'));
  const stop = new AbortController();
  const jobs = pick.map((p) => ({ file: { name: p.split('/').at(-1) }, folder: p.split('/').slice(0, -1).join('/'), into: sink }));
  const set = [];
  const planned = sink.plan(jobs, [], (job, state) => set.push(`${path(job)} ${state}`),
    { signal: stop.signal, progress: (k) => answer === 'midway' && k === 1 && stop.abort() });
  while (answer && answer !== 'midway' && element('ask').hidden) await new Promise((r) => setTimeout(r));
  if (answer === 'cancel') stop.abort();
  else if (answer && answer !== 'midway') element(`ask-${answer}`).click();
  assert.deepEqual([[...await planned].map(path), set, element('ask').hidden], [want, rest, true], what);
}
console.log(`folder plan: ${plans.length} cases passed`);
