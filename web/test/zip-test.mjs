// The page's zip of all outputs (web/zip.js) under node: its CRC-32 against
// zlib's; small zips, one of them with 65,536 entries, read back by unzip,
// bsdtar and Python's zipfile; and the headers of zips past 4 GiB, made of
// stand-ins that only have a size, field by field.
//
// node zip-test.mjs
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import vm from 'node:vm';
import zlib from 'node:zlib';

const context = vm.createContext({ self: {}, Blob, TextEncoder, DataView, Uint8Array, Uint32Array, Int32Array, BigInt });
vm.runInContext(`${fs.readFileSync(new URL('../zip.js', import.meta.url), 'utf8')}\nself.zip = halvorineZip;`, context);
const { crc32, layout } = context.self.zip;

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
async function written(entries, name) {
  const file = path.join(dir, name);
  const { parts, size } = layout(entries, when);
  fs.writeFileSync(file, Buffer.from(await new Blob(parts).arrayBuffer()));
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
for (const [label, names] of [
  ['folders and names in UTF-8', ['halvorine-a.ddc', 'Takes/halvorine-take.ddc', 'Takes/sub/halvorine-录音 take 1.ddc',
    'Ünïcode/halvorine-жжж.ddc']],
  ['one empty entry', ['halvorine-empty.ddc']],
  ['65,535 entries: a zip64 end', Array.from({ length: 65535 }, (_, k) => `f/${k}.ddc`)],
]) {
  const many = names.length > 100;
  const entries = names.map((p, k) => {
    const bytes = many || label === 'one empty entry' ? Buffer.alloc(0) : contents(k * 1000);
    return { path: p, blob: new Blob([bytes]), size: bytes.length, crc: zlib.crc32(bytes), bytes };
  });
  const file = await written(entries, `${names.length}.zip`);
  // Of many, the first few: testzip() has read them all.
  const read = run('python3', ['-c', python, file, many ? '3' : '100']).trimEnd().split('\n');
  assert.equal(read.length, many ? 3 : entries.length, `${label}: entries read`);
  entries.slice(0, read.length).forEach((e, k) => {
    const hash = createHash(e.bytes);
    assert.equal(read[k], `${e.path} 2048 0 ${e.size} ${hash} (2026, 12, 9, 21, 5)`, `${label}: ${e.path}`);
  });
  assert.match(run('unzip', ['-tq', file]), /No errors detected/, `${label}: unzip -t`);
  if (many) assert.match(run('unzip', ['-l', file]), /\s65535 files\n$/, `${label}: unzip counts them all`);
  if (!many) assert.deepEqual(run('bsdtar', ['-tf', file]).trimEnd().split('\n'), names, `${label}: bsdtar -tf`);
  if (!many) {
    // Unpacked, each name is itself and each file readable by all.
    const out = path.join(dir, `unzipped-${names.length}`);
    run('unzip', ['-q', '-d', out, file]);
    assert.deepEqual(names.map((n) => fs.statSync(path.join(out, n)).mode & 0o777), names.map(() => 0o644),
      `${label}: unzip writes the names and modes`);
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
