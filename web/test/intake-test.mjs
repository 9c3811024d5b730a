// What a pick or drop gives the page (web/intake.js) under node: every entry
// of tests/folder_entries.tsv that the page can judge by its name, found
// inside a folder dropped (as handles and as entries, the browser's two
// ways) or chosen by its button, and the same names given by the user,
// which are taken whatever they are; then files and folders the browser
// fails to read, which leave out themselves alone.
//
// node intake-test.mjs
import assert from 'node:assert/strict';
import fs from 'node:fs';
import * as intake from '../intake.js';

const table = new URL('../../tests/folder_entries.tsv', import.meta.url);
const rows = fs.readFileSync(table, 'utf8').split('\n').filter((l) => l !== '' && !l.startsWith('#'))
  .map((l) => l.split('\t')).filter(([, , , , page]) => page === 'yes');
assert.ok(rows.length > 0, `${table.pathname}: no row with page = yes, so nothing was tested`);

// A folder is { name, kids }, a file { name }; `fail` makes the browser
// fail: 'read' a file's bytes or a folder's first listing, 'midway' a
// folder's listing after its first child. `listed` gathers the folders
// whose listing was asked for.
const gone = () => Object.assign(new Error('A requested file or directory could not be found'), { name: 'NotFoundError' });
function asHandle(node, listed) {
  if (!node.kids) {
    return { kind: 'file', name: node.name, getFile: async () => { if (node.fail) throw gone(); return { name: node.name }; } };
  }
  return {
    kind: 'directory', name: node.name,
    async* values() {
      listed.add(node);
      for (const [k, kid] of node.kids.entries()) {
        if ((node.fail === 'read' && k === 0) || (node.fail === 'midway' && k === 1)) throw gone();
        yield asHandle(kid, listed);
      }
    },
  };
}
// A folder's entries a child a batch, each answer after a turn of the loop.
function asEntry(node, listed) {
  const later = (fn) => setTimeout(fn);
  if (!node.kids) {
    return { isFile: true, isDirectory: false, name: node.name, file: (ok, fail) => later(() => (node.fail ? fail(gone()) : ok({ name: node.name }))) };
  }
  return {
    isFile: false, isDirectory: true, name: node.name,
    createReader() {
      listed.add(node);
      const left = node.kids.map((kid) => asEntry(kid, listed));
      let calls = 0;
      return { readEntries: (ok, fail) => later(() => (++calls === { read: 1, midway: 2 }[node.fail] ? fail(gone()) : ok(left.splice(0, 1)))) };
    },
  };
}
// The files of a chosen folder, as the browser lists them: every file
// under it, each with its path from the folder's own name.
const asPicked = (node, at = '') => (node.kids
  ? node.kids.flatMap((kid) => asPicked(kid, `${at}${node.name}/`))
  : [{ name: node.name, webkitRelativePath: `${at}${node.name}` }]);

// What a pick or drop of `nodes` gave, by path, in plain values.
async function given(way, nodes, how) {
  const listed = new Set();
  const got = way === 'chosen' ? intake.picked(nodes.flatMap((n) => asPicked(n)))
    : way === 'picker' ? await intake.chosen(asHandle(nodes[0], listed), how)
    : await intake.dropped(nodes.map((n) => (way === 'handles'
      ? { handle: Promise.resolve(asHandle(n, listed)), entry: null, file: null }
      : { handle: null, entry: n.kids ? asEntry(n, listed) : null, file: n.kids ? null : { name: n.name } })), how);
  return {
    taken: got.picks.map((p) => (p.folder ? `${p.folder}/${p.file.name}` : p.file.name)),
    passed: [...got.passed].map(([path, kind]) => `${path} ${kind}`),
    unread: got.unread.map((u) => `${u.path} ${u.folder ? (u.partly ? 'partly' : 'folder') : 'file'}`),
    listed: [...listed].map((n) => n.name),
  };
}
const same = (got, want, label) => assert.equal(JSON.stringify(got), JSON.stringify(want), label);

const ways = ['handles', 'entries', 'chosen', 'picker'];
for (const [name, entry, , verdict] of rows) {
  assert.ok(['file', 'folder'].includes(entry) && ['take', 'walk', 'hidden', 'other'].includes(verdict), `a row the test cannot read: ${name}`);
  const isFolder = entry === 'folder';
  assert.equal(intake.judge(name, isFolder), verdict, `${name} (${entry})`);
  // Two recordings inside it: a folder passed over counts once.
  const node = isFolder ? { name, kids: [{ name: 'x.wav' }, { name: 'y.wav' }] } : { name };
  const inside = isFolder ? ['x.wav', 'y.wav'].map((n) => `Card/${name}/${n}`) : [`Card/${name}`];
  for (const way of ways) {
    const label = `${name} (${entry}) in a folder, ${way}`;
    const got = await given(way, [{ name: 'Card', kids: [node] }]);
    same(got.taken, verdict === 'take' || verdict === 'walk' ? inside : [], `${label}: taken`);
    same(got.passed, verdict === 'hidden' || verdict === 'other' ? [`Card/${name} ${verdict}`] : [], `${label}: passed over`);
    if (way !== 'chosen') same(got.listed, verdict === 'walk' ? ['Card', name] : ['Card'], `${label}: folders read`);
    // Given by the user, it is taken, a folder walked, whatever its name;
    // the button gives folders alone.
    if (['chosen', 'picker'].includes(way) && !isFolder) continue;
    const named = await given(way, [node]);
    same(named.taken, isFolder ? ['x.wav', 'y.wav'].map((n) => `${name}/${n}`) : [name], `${name} (${entry}) given, ${way}: taken`);
  }
}

// What the browser fails to read is left out and named; its siblings, and
// the part of a folder read before its listing failed, are not.
const card = {
  name: 'Card',
  kids: [{ name: 'a.wav' }, { name: 'bad.wav', fail: 'read' }, { name: 'Locked', fail: 'read', kids: [{ name: 'z.wav' }] },
    { name: 'Half', fail: 'midway', kids: [{ name: 'h1.wav' }, { name: 'h2.wav' }] }, { name: 'ok', kids: [{ name: 'b.wav' }] },
    { name: 'c.wav' }],
};
for (const [way, nodes, taken, unread] of [
  ['handles', [card, { name: 'gone.wav', fail: 'read' }, { name: 'loose.WAV' }],
    ['Card/a.wav', 'Card/Half/h1.wav', 'Card/ok/b.wav', 'Card/c.wav', 'loose.WAV'],
    ['Card/bad.wav file', 'Card/Locked folder', 'Card/Half partly', 'gone.wav file']],
  ['entries', [card, { name: 'loose.WAV' }],
    ['Card/a.wav', 'Card/Half/h1.wav', 'Card/ok/b.wav', 'Card/c.wav', 'loose.WAV'],
    ['Card/bad.wav file', 'Card/Locked folder', 'Card/Half partly']],
  ['handles', [{ name: 'Locked', fail: 'read', kids: [{ name: 'z.wav' }] }], [], ['Locked folder']],
  ['picker', [card], ['Card/a.wav', 'Card/Half/h1.wav', 'Card/ok/b.wav', 'Card/c.wav'], ['Card/bad.wav file', 'Card/Locked folder', 'Card/Half partly']],
]) {
  const got = await given(way, nodes);
  same(got.taken, taken, `unreadable, ${way}: taken`);
  same(got.unread, unread, `unreadable, ${way}: named`);
}
// Cancelled once a walk has found `at` recordings: it reads no folder and
// takes no file more, and each one found was counted as it was.
const tree = [{ name: 'Card', kids: [{ name: 'a.wav' }, { name: 'Sub', kids: [{ name: 'b.wav' }, { name: 'c.wav' }] },
  { name: 'Later', kids: [{ name: 'd.wav' }] }] }, { name: 'loose.wav' }];
for (const [way, at, taken, listed] of [
  ['handles', 2, ['Card/a.wav', 'Card/Sub/b.wav'], ['Card', 'Sub']],
  ['entries', 3, ['Card/a.wav', 'Card/Sub/b.wav', 'Card/Sub/c.wav'], ['Card', 'Sub']],
  ['picker', 1, ['Card/a.wav'], ['Card']],
]) {
  const stop = new AbortController();
  const counts = [];
  const got = await given(way, tree, { signal: stop.signal, found: (n) => { counts.push(n); if (n === at) stop.abort(); } });
  same([got.taken, got.listed, counts], [taken, listed, taken.map((_, k) => k + 1)], `cancelled after ${at} found, ${way}`);
}
console.log(`folder rule test: passed (${rows.length} rows of the table, ${ways.join(', ')})`);
