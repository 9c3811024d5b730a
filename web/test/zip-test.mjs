// The page's zip of all outputs (web/zip.js) under node: its CRC-32 against
// zlib's; small zips, and ones of 65,535 and 65,536 entries, read back by
// unzip, bsdtar and Python's zipfile; and the headers of zips past 4 GiB,
// made of stand-ins that only have a size, field by field. Also the names:
// made safe to unpack, compared as Windows and macOS compare them, and
// refused when too long for their field.
//
// node zip-test.mjs
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { Worker } from 'node:worker_threads';
import zlib from 'node:zlib';

import { Clashes, leftOut, safePath, sameName } from '../names.js';
import { crc32, layout } from '../zip.js';

const noise = Buffer.alloc(1 << 20);
for (let i = 0; i < noise.length; i++) noise[i] = (i * 2654435761) >>> 24;
// Every alignment and tail length, and in two calls as the page reads.
for (const [from, to] of [[0, 0], [0, 9], [1, 4], [3, 70], [2, 1 << 20], [0, (1 << 20) - 5], [5, 4101]]) {
  const bytes = new Uint8Array(noise.buffer, noise.byteOffset + from, to - from);
  assert.equal(crc32(0, bytes), zlib.crc32(bytes), `CRC-32 of bytes ${from} to ${to}`);
  const half = (to - from) >> 1;
  assert.equal(crc32(crc32(0, bytes.subarray(0, half)), bytes.subarray(half)), zlib.crc32(bytes), `in two, ${from} to ${to}`);
}

const when = new Date(2026, 11, 9, 21, 5, 51);
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zip-test-'));
// Laid out in a worker whose stack holds fewer than 30,000 arguments (V8
// takes as many as its stack holds), so that a call with one argument per
// entry fails here as it does in JavaScriptCore, which takes about 65,536.
const worker = `
const { parentPort, workerData: { entries, when } } = require('node:worker_threads');
const empty = new Blob([]);  // one for all, as a Blob each takes seconds for thousands
import(${JSON.stringify(new URL('../zip.js', import.meta.url).href)}).then(({ layout }) => {
  try {
    const { parts, size } = layout(entries.map((e) => ({ ...e, blob: e.bytes ? new Blob([e.bytes]) : empty })), when);
    new Blob(parts).arrayBuffer().then((zip) => parentPort.postMessage({ zip, size }, [zip]));
  } catch (e) {
    parentPort.postMessage({ error: e.message });
  }
});`;
const laidOut = (entries) => new Promise((resolve, reject) => {
  const workerData = { entries: entries.map(({ path, bytes, size, crc }) => ({ path, bytes: size ? bytes : null, size, crc })), when };
  new Worker(worker, { eval: true, workerData, resourceLimits: { stackSizeMb: 0.4 } }).once('message', resolve).once('error', reject);
});
async function written(entries, name) {
  const file = path.join(dir, name);
  const { zip, size, error } = await laidOut(entries);
  assert.equal(error, undefined, `${name}: laid out`);
  fs.writeFileSync(file, Buffer.from(zip));
  assert.equal(fs.statSync(file).size, size, `${name}: its size`);
  return file;
}
const run = (program, args) => {
  const ran = spawnSync(program, args, { encoding: 'utf8', maxBuffer: 64 << 20 });
  assert.equal(ran.status, 0, `${program} ${args.join(' ')}: ${ran.stderr}`);
  return ran.stdout;
};
// Each entry's name, flags, size and CRC as Python's zipfile reads them,
// once testzip() has found every entry whole.
const python = `
import sys, zipfile, hashlib
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None
for i in z.infolist()[:int(sys.argv[2])]:
    print(i.filename, i.flag_bits, i.compress_type, i.file_size, hashlib.sha256(z.read(i)).hexdigest()[:16], i.date_time[:5])
`;

const contents = (n) => noise.subarray(n, n * 3 + 1);
// Each row's paths, and the names they are given when not the same.
for (const [label, names, given = names] of [
  ['folders and names in UTF-8', ['halvorine-a.ddc', 'Takes/halvorine-take.ddc', 'Takes/sub/halvorine-录音 take 1.ddc',
    'Ünïcode/halvorine-жжж.ddc']],
  ['one empty entry', ['halvorine-empty.ddc']],
  ['65,535 entries: a zip64 end', Array.from({ length: 65535 }, (_, k) => `f/${k}.ddc`)],
  ['65,536 entries: past what a call takes as arguments', Array.from({ length: 65536 }, (_, k) => `g/${k}.ddc`)],
  ['names made safe to unpack anywhere', ['..\\..\\Startup/halvorine-a.ddc', 'C:/halvorine-b.ddc',
    '/../Takes/./..//halvorine-c.ddc', 'a*b?c"d<e>f|g/halvorine-d.ddc', 'tab\there\u0001\u007f\u0085/halvorine-e.ddc',
    'dot./space /halvorine-f.ddc', 'CON/con.txt/Com1.tar.gz/nul .x/LPT9/COM¹/halvorine-g.ddc',
    'COM10/CONSOLE/AUX_/x.CON/Ünï/halvorine-h.ddc', 'half \ud800 a pair/halvorine-i.ddc',
    'to\u202eleft\u2066/\u202e/.\u200f./halvorine-\u061cj.ddc'],
  ['.._.._Startup/halvorine-a.ddc', 'C_/halvorine-b.ddc', 'Takes/halvorine-c.ddc', 'a_b_c_d_e_f_g/halvorine-d.ddc',
    'tab_here___/halvorine-e.ddc', 'dot_/space_/halvorine-f.ddc',
    'CON_/con_.txt/Com1_.tar.gz/nul _.x/LPT9_/COM¹_/halvorine-g.ddc', 'COM10/CONSOLE/AUX_/x.CON/Ünï/halvorine-h.ddc',
    'half _ a pair/halvorine-i.ddc', 'toleft/halvorine-j.ddc']],
]) {
  const many = names.length > 100;
  const entries = names.map((p, k) => {
    const bytes = many || label === 'one empty entry' ? Buffer.alloc(0) : contents(k * 1000);
    return { path: p, size: bytes.length, crc: zlib.crc32(bytes), bytes };
  });
  // A name made safe is left as it is.
  if (!many) assert.deepEqual(given.map((n) => safePath(n)), given, `${label}: made safe once`);
  const file = await written(entries, `${names.length}.zip`);
  // Of many, the first few: testzip() has read them all.
  const read = run('python3', ['-c', python, file, many ? '3' : '100']).trimEnd().split('\n');
  assert.equal(read.length, many ? 3 : entries.length, `${label}: entries read`);
  entries.slice(0, read.length).forEach((e, k) => {
    const hash = createHash(e.bytes);
    assert.equal(read[k], `${given[k]} 2048 0 ${e.size} ${hash} (2026, 12, 9, 21, 5)`, `${label}: ${e.path}`);
  });
  assert.match(run('unzip', ['-tq', file]), /No errors detected/, `${label}: unzip -t`);
  if (many) assert.match(run('unzip', ['-l', file]), new RegExp(`\\s${names.length} files\\n$`), `${label}: unzip counts them all`);
  if (!many) assert.deepEqual(run('bsdtar', ['-tf', file]).trimEnd().split('\n'), given, `${label}: bsdtar -tf`);
  if (!many) {
    // Unpacked, each name is itself and each file readable by all.
    const out = path.join(dir, `unzipped-${names.length}`);
    run('unzip', ['-q', '-d', out, file]);
    assert.deepEqual(given.map((n) => fs.statSync(path.join(out, n)).mode & 0o777), given.map(() => 0o644),
      `${label}: unzip writes the names and modes`);
  }
}

// Two paths that Windows or macOS would unpack as one, or keep apart.
for (const [a, b, one] of [
  ['Takes/halvorine-take.ddc', 'takes/HALVORINE-TAKE.ddc', true],
  ['Caf\u00e9/halvorine-x.ddc', 'Cafe\u0301/halvorine-x.ddc', true],  // composed, and as a Mac gives it
  ['Жж/ΣΣ/x', 'жЖ/σς/x', true],
  ['\u212a/x', 'k/x', true],  // the Kelvin sign is K composed
  ['a:b/x', 'a_b/x', true],
  ['ß/x', 'ss/x', false],
  ['İ/x', 'i/x', false],
  ['halvorine-take.ddc', 'halvorine-take.ddc_', false],
]) {
  assert.equal(sameName(safePath(a)) === sameName(safePath(b)), one, `${a} and ${b} ${one ? '' : 'not '}the same`);
}

// Which outputs clash, as they come and go in any order: [what, each step
// (+n adds the page's nth output of that safe path, -n takes it away), the
// outputs kept, and the words for those left out, each told anew only when
// a step says its first has changed]. The nth comes from rn.wav.
for (const [what, steps, kept, words] of [
  ['the earlier on the page is kept, whichever came first', [[2, 'Takes/x'], [1, 'takes/X']], [1],
    ['Left out: Takes/x from r2.wav, as r1.wav already gives takes/X, which Windows and macOS take for the same name.']],
  ['one path twice', [[1, 'a'], [2, 'a'], [3, 'b']], [1, 3], ['Left out: a from r2.wav, as r1.wav already gives it.']],
  ['the first taken away lets the next in', [[1, 'a'], [3, 'a'], [2, 'A'], [-1]], [2],
    ['Left out: a from r3.wav, as r2.wav already gives A, which Windows and macOS take for the same name.']],
  ['the last of a name taken away leaves none', [[1, 'a'], [-1], [2, 'b']], [2], []],
  ['a later one taken away leaves the others as they were', [[1, 'a'], [2, 'a'], [3, 'a'], [-2]], [1],
    ['Left out: a from r3.wav, as r1.wav already gives it.']],
]) {
  const clashes = new Clashes((a, b) => a.n < b.n);
  const outputs = new Map();
  const notes = new Map();
  const tell = (o) => {
    const first = clashes.first(o.safe);
    if (first === o) notes.delete(o);
    else notes.set(o, leftOut(o, { first })[0]);
  };
  for (const [n, safe] of steps) {
    if (n < 0) {
      notes.delete(outputs.get(-n));
      clashes.delete(outputs.get(-n)).forEach(tell);
    } else clashes.add(outputs.set(n, { n, safe, from: `r${n}.wav` }).get(n)).forEach(tell);
  }
  const said = [...notes].sort(([a], [b]) => a.n - b.n).map(([, words]) => words);
  assert.deepEqual([clashes.kept().map((o) => o.n).sort(), said], [kept, words], what);
}
assert.deepEqual(leftOut({ safe: 'x', from: 'a/x.wav' }, { why: ['the name x is too long', ['x']] }),
  ['Left out: the output of a/x.wav, as the name x is too long.', ['a/x.wav', 'x']]);

// A name's length is a 16-bit field, counted in UTF-8 bytes of the name made safe.
const longest = `
import sys, zipfile
print(len(zipfile.ZipFile(sys.argv[1]).infolist()[0].filename.encode()))
`;
// Each part of it at most 255 bytes, as a disk names a file or folder.
const parts = (n, part = 'ж'.repeat(127)) => `${part}/`.repeat(n);
for (const [label, name, refused] of [
  ['65,535 bytes, its last name 255', `${parts(256)}${'ж'.repeat(127)}a`, null],
  ['65,536 bytes', `${parts(257)}a`, /^ж{60}… cannot go into the zip: its path is 65,536 bytes long in UTF-8, longer than the 65,535 a zip can hold\.$/],
  ['65,536 bytes once made safe', `${parts(256, 'a'.repeat(254))}${'a'.repeat(251)}/CON`, /65,536 bytes long/],
  ['a name of 256 bytes', `Takes/${'ж'.repeat(125)}ab.ddc`, new RegExp('^Takes/ж{54}… cannot go into the zip: the name ж{40}… in its path is 256 bytes long ' +
    'in UTF-8, longer than the 255 a file or folder can be named on most disks\\.$')],
  ['nothing left of it', '.././/', /^\.\.\/\.\/\/ cannot go into the zip: nothing is left of its name once made safe to unpack\.$/],
]) {
  const entries = [{ path: name, size: 0, crc: 0 }];
  if (refused) {
    assert.match((await laidOut(entries)).error ?? 'laid out', refused, label);
  } else {
    assert.equal(run('python3', ['-c', longest, await written(entries, 'long.zip')]).trim(), '65535', label);
  }
}

function createHash(bytes) {
  return crypto.createHash('sha256').update(bytes).digest('hex').slice(0, 16);
}

// Past 4 GiB: entries that are only sizes, written as a sparse file (the
// headers in place, holes for the outputs) and read back by Python's zipfile
// and unzip. A size or offset of 0xFFFFFFFF or more needs a zip64 field.
const GiB = 2 ** 30;
const fields = `
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
for i in z.infolist():
    z.open(i).close()  # its local header read, and its name checked against the directory's
    print(i.filename, i.file_size, i.compress_size, i.header_offset, i.CRC, i.flag_bits, len(i.extra))
`;
for (const [label, sizes, zip64] of [
  ['one of 5 GiB between small ones', [10, 5 * GiB, 3], true],
  ['exactly 0xFFFFFFFF bytes', [0xffffffff, 1], true],
  ['one short of 0xFFFFFFFF, then an empty one past it', [0xfffffffe, 0], true],
  ['all just under 4 GiB', [0xffffffff - 100], false],
  ['offsets past 4 GiB', [3 * GiB, 3 * GiB, 7, 2 * GiB], true],
]) {
  const entries = sizes.map((size, k) => ({ path: `d/${k}.ddc`, blob: { size }, size, crc: 0x12345678 + k }));
  const { parts, size } = layout(entries, when);
  const file = path.join(dir, 'sparse.zip');
  const fd = fs.openSync(file, 'w');
  let at = 0;
  const offsets = [];
  parts.forEach((part, k) => {
    if (k % 2 === 0 && k < 2 * entries.length) offsets.push(at);
    if (part instanceof Uint8Array) fs.writeSync(fd, part, 0, part.length, at);
    at += part.length ?? part.size;
  });
  fs.ftruncateSync(fd, at);
  fs.closeSync(fd);
  assert.equal(at, size, `${label}: its size`);
  assert.equal(parts.length, 2 * entries.length + (zip64 ? 4 : 2), `${label}: a zip64 end ${zip64 ? '' : 'not '}written`);
  const read = run('python3', ['-c', fields, file]).trimEnd().split('\n');
  assert.deepEqual(read, entries.map((e, k) =>
    `${e.path} ${e.size} ${e.size} ${offsets[k]} ${e.crc} 2048 ${e.size >= 0xffffffff || offsets[k] >= 0xffffffff ? 28 : 0}`), label);
  assert.match(run('unzip', ['-l', file]), new RegExp(`\\s${entries.length} files?\\n$`), `${label}: unzip lists them`);
  fs.rmSync(file);
}
fs.rmSync(dir, { recursive: true });
console.log('zip test: passed');
