// The worker's reading and storing (web/io.js) under node, away from any
// browser: reading a part ahead, from every kind of stream and from slices
// the page reads, sizes around its parts, a file cut short, and a file left
// for the next; storing into a private file system that fills up, and into
// memory, with the CRC-32 of an output small enough taken as it closes.
//
// node io-test.mjs
import assert from 'node:assert/strict';
import zlib from 'node:zlib';

import * as io from '../io.js';

// A stored file: a sync access handle over `bytes`, holding at most `quota`.
function storage(quota, refuse = false) {
  const file = { bytes: Buffer.alloc(0), closed: false };
  const handle = {
    truncate: (n) => { file.bytes = file.bytes.subarray(0, n); },
    getSize: () => file.bytes.length,
    write(data, { at }) {
      const n = Math.max(0, Math.min(data.length, quota - at));
      if (n === 0 && data.length > 0) throw new Error('QuotaExceededError');
      file.bytes = Buffer.concat([file.bytes.subarray(0, at), Buffer.from(data.subarray(0, n))]);
      return n;
    },
    flush() {},
    close() { file.closed = true; },
  };
  const folder = { getFileHandle: async () => ({ createSyncAccessHandle: async () => { if (refuse) throw new Error('NoModificationAllowedError'); return handle; } }) };
  return { file, folder };
}
// The private file system the worker finds: the disk of the case at hand.
let disk = null;
globalThis.navigator = { storage: { getDirectory: async () => ({ getFileHandle: (...how) => disk.folder.getFileHandle(...how) }) } };
const { size, summedUpTo } = io;

// A picked file of `length` bytes whose stream gives `part` bytes at a time,
// as a byte stream or not, and stops after `gives` bytes.
function picked(length, { part = 65536, bytes = false, gives = length } = {}) {
  const content = Buffer.alloc(length);
  for (let i = 0; i < length; i++) content[i] = (i * 7 + (i >> 12)) & 255;
  let at = 0;
  const pull = (c) => {
    const n = Math.min(part, gives - at);
    if (n <= 0) {
      c.close();
      c.byobRequest?.respond(0);  // a read waiting for the end
      return;
    }
    const view = c.byobRequest?.view;
    if (view) {
      const m = Math.min(n, view.byteLength);
      view.set(content.subarray(at, at + m));
      at += m;
      c.byobRequest.respond(m);
    } else {
      c.enqueue(new Uint8Array(content.subarray(at, at + n)));
      at += n;
    }
  };
  return { content, file: { size: length, stream: () => new ReadableStream(bytes ? { type: 'bytes', pull } : { pull }) } };
}

// Reads `file` through its parts as the converter's worker does, a part
// at a time, while bytes remain: the bytes that arrived and whether a read
// failed. Each part is copied before the next is asked for, since the
// reader fills the part in hand again two parts later.
async function readThrough(file, readSlice = null) {
  const parts = io.reading(file, readSlice);
  const got = [];
  let received = 0;
  try {
    while (received < file.size) {
      const part = await parts.next();
      got.push(Buffer.from(part));
      received += part.length;
    }
  } catch (e) {
    return { bytes: Buffer.concat(got), failed: true };
  } finally {
    parts.cancel();
  }
  return { bytes: Buffer.concat(got), failed: false };
}

// The page's way, for a worker that may not read the file: a slice at a time.
const slices = (content, gives = content.length) => async (at, end) =>
  new Uint8Array(content.subarray(at, Math.min(end, gives))).buffer;

for (const way of ['stream', 'byte stream', 'slices']) {
  for (const [length, part] of [[0, 1], [1, 1], [size - 1, 65536], [size, 1 << 20], [size + 1, 45056], [4 * size + 7, 3 << 20]]) {
    const { content, file } = picked(length, { part, bytes: way === 'byte stream' });
    const read = await readThrough(file, way === 'slices' ? slices(content) : null);
    assert.ok(!read.failed && read.bytes.equals(content), `${length} bytes in parts of ${part}, ${way}`);
  }
  // Cut short since picked: a failure after what arrived, never an end.
  const cut = picked(2 * size + 5, { bytes: way === 'byte stream', gives: size + 3 });
  const read = await readThrough(cut.file, way === 'slices' ? slices(cut.content, size + 3) : null);
  assert.ok(read.failed && cut.content.subarray(0, read.bytes.length).equals(read.bytes) && read.bytes.length <= size + 3,
    `cut short, ${way}`);
}
// Two files one after the other reuse the buffers, and a file left half
// read leaves the next one whole.
{
  const first = picked(3 * size, { bytes: true });
  const parts = io.reading(first.file);
  assert.ok(Buffer.from(await parts.next()).equals(first.content.subarray(0, size)), 'the first part of a file left');
  parts.cancel();
  const { content, file } = picked(3 * size + 1, { bytes: true });
  const read = await readThrough(file);
  assert.ok(!read.failed && read.bytes.equals(content), 'a file read after one left');
}

// Storing: written `blocks` of `block` bytes each, then `tail` bytes, into a
// private file system holding `quota` bytes (null: held in memory; refuse:
// the file cannot be opened there, so it is held in memory). An output of
// at most summedUpTo bytes, whole, has its CRC-32 as it closes; any other
// has none.
const block = 512 << 10;
for (const [blocks, tail, quota, refuse, stored, all] of [
  [0, 0, Infinity, false, true, true],
  [0, 77, Infinity, false, true, true],
  [2, 0, Infinity, false, true, true],
  [2, 1, Infinity, false, true, true],
  [9, 0, Infinity, false, true, true],
  [9, 0, 3 * block + 100, false, true, false],
  [1, 0, block - 1, false, true, false],
  [9, 0, 0, false, true, false],
  [3, 0, Infinity, true, false, true],
  [1, 5, null, false, false, true],
  [20, 0, null, false, false, true],
]) {
  disk = storage(quota, refuse);
  const output = await io.storing(quota === null ? null : 'entry');
  const { content } = picked(blocks * block + tail);
  const taken = [];
  for (let b = 0; b < blocks; b++) taken.push(output.write(content.subarray(b * block, (b + 1) * block)));
  if (tail > 0) taken.push(output.write(content.subarray(blocks * block)));
  const closed = output.close();
  const label = `${blocks} blocks and ${tail} bytes, quota ${quota}, refused ${refuse}`;
  assert.equal(output.stored, stored, label);
  assert.equal(closed.closed, all, label);
  assert.ok(taken.every((t, b) => t === (all || taken.slice(0, b + 1).every(Boolean))), `${label}: no write taken after one failed`);
  const kept = stored ? disk.file.bytes : Buffer.from(await closed.blob.arrayBuffer());
  assert.equal(closed.bytes, kept.length, label);
  assert.ok(kept.equals(content.subarray(0, kept.length)) && (all ? kept.length === content.length : kept.length <= quota), label);
  assert.ok(!stored || disk.file.closed, `${label}: closed`);
  assert.equal(closed.crc, all && content.length <= summedUpTo ? zlib.crc32(content) : null, `${label}: its CRC-32`);
}
console.log('reading and storing test: passed');
