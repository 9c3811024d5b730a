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
}

function createHash(bytes) {
  return crypto.createHash('sha256').update(bytes).digest('hex').slice(0, 16);
}

// Past 4 GiB: entries that are only sizes, read back from the headers. A
// size or offset of 0xFFFFFFFF or more goes in a zip64 field, the old one
// then all ones.
const GiB = 2 ** 30;
const stand = (size) => ({ size });
for (const [label, sizes] of [
  ['one of 5 GiB between small ones', [10, 5 * GiB, 3]],
  ['exactly 0xFFFFFFFF bytes', [0xffffffff, 1]],
  ['one short of 0xFFFFFFFF', [0xfffffffe, 0]],
  ['offsets past 4 GiB', [3 * GiB, 3 * GiB, 7, 2 * GiB]],
]) {
  const entries = sizes.map((size, k) => ({ path: `d/${k}.ddc`, blob: stand(size), size, crc: 0x12345678 + k }));
  const { parts, size } = layout(entries, when);
  const view = (bytes) => new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const at = [];
  let offset = 0;
  entries.forEach((e, k) => {
    const local = view(parts[2 * k]);
    assert.equal(parts[2 * k + 1], e.blob, `${label}: entry ${k} is its blob`);
    const big = e.size >= 0xffffffff;
    assert.deepEqual([local.getUint32(0, true), local.getUint16(4, true), local.getUint16(6, true), local.getUint16(8, true),
      local.getUint32(14, true), local.getUint32(18, true), local.getUint32(22, true), local.getUint16(28, true)],
    [0x04034b50, big || offset >= 0xffffffff ? 45 : 20, 0x0800, 0, e.crc, big ? 0xffffffff : e.size, big ? 0xffffffff : e.size,
      big ? 20 : 0], `${label}: local header ${k}`);
    if (big) {
      const x = 30 + local.getUint16(26, true);
      assert.deepEqual([local.getUint16(x, true), local.getUint16(x + 2, true), Number(local.getBigUint64(x + 4, true)),
        Number(local.getBigUint64(x + 12, true))], [1, 16, e.size, e.size], `${label}: local zip64 field ${k}`);
    }
    at.push(offset);
    offset += local.byteLength + e.size;
  });
  const directory = view(parts[2 * entries.length]);
  let c = 0;
  entries.forEach((e, k) => {
    const big = e.size >= 0xffffffff;
    const far = at[k] >= 0xffffffff;
    assert.deepEqual([directory.getUint32(c, true), directory.getUint32(c + 16, true), directory.getUint32(c + 20, true),
      directory.getUint32(c + 24, true), directory.getUint32(c + 42, true)],
    [0x02014b50, e.crc, big ? 0xffffffff : e.size, big ? 0xffffffff : e.size, far ? 0xffffffff : at[k]], `${label}: central ${k}`);
    const nameLength = directory.getUint16(c + 28, true);
    const extraLength = directory.getUint16(c + 30, true);
    const wide = [...(big ? [e.size, e.size] : []), ...(far ? [at[k]] : [])];
    const x = c + 46 + nameLength;
    assert.equal(extraLength, wide.length ? 4 + 8 * wide.length : 0, `${label}: central extra ${k}`);
    if (wide.length) {
      assert.deepEqual([directory.getUint16(x, true), directory.getUint16(x + 2, true),
        ...wide.map((_, w) => Number(directory.getBigUint64(x + 4 + 8 * w, true)))], [1, 8 * wide.length, ...wide],
      `${label}: central zip64 field ${k}`);
    }
    c = x + extraLength;
  });
  assert.equal(c, directory.byteLength, `${label}: the directory's length`);
  const zip64 = offset >= 0xffffffff;
  const tail = view(parts.at(-1));
  assert.deepEqual([tail.getUint32(0, true), tail.getUint16(10, true), tail.getUint32(12, true), tail.getUint32(16, true)],
    [0x06054b50, entries.length, directory.byteLength, zip64 ? 0xffffffff : offset], `${label}: the end`);
  assert.equal(parts.length, 2 * entries.length + (zip64 ? 4 : 2), `${label}: a zip64 end ${zip64 ? '' : 'not '}written`);
  if (zip64) {
    const end = view(parts.at(-3));
    const locator = view(parts.at(-2));
    assert.deepEqual([end.getUint32(0, true), Number(end.getBigUint64(32, true)), Number(end.getBigUint64(40, true)),
      Number(end.getBigUint64(48, true)), locator.getUint32(0, true), Number(locator.getBigUint64(8, true))],
    [0x06064b50, entries.length, directory.byteLength, offset, 0x07064b50, offset + directory.byteLength], `${label}: zip64 end`);
  }
  assert.equal(size, offset + directory.byteLength + (zip64 ? 76 : 0) + 22, `${label}: the zip's size`);
}
fs.rmSync(dir, { recursive: true });
console.log('zip test: passed');
