// The page's two ends (web/ends.js) under node, away from any browser: the
// reading end over a channel, for every kind of stream and sizes around its
// buffers, a file cut short, and a file left for the next; the storing end
// into a private file system that fills up, and into memory.
//
// node ends-test.mjs
import assert from 'node:assert/strict';
import fs from 'node:fs';
import vm from 'node:vm';

// A stored file: a sync access handle over `bytes`, holding at most `quota`.
function storage(quota, refuse = false) {
  const file = { bytes: Buffer.alloc(0), closed: false };
  const handle = {
    truncate: (n) => { file.bytes = file.bytes.subarray(0, n); },
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
  return { file, halvorineStorage: { folder: async () => folder } };
}

function load(globals = {}) {
  const context = vm.createContext({ self: {}, Blob, ReadableStream, queueMicrotask, Uint8Array, ArrayBuffer, ...globals });
  vm.runInContext(`${fs.readFileSync(new URL('../ends.js', import.meta.url), 'utf8')}\nself.ends = halvorineEnds;`, context);
  return context.self.ends;
}
const ends = load();
const { size } = ends;

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

// Reads `file` through a reading end, giving each buffer back (as the
// converter does, those of an earlier file too): the bytes that arrived and
// whether the end said it failed.
function readThrough(port, file, id) {
  return new Promise((resolve) => {
    const got = [];
    let received = 0;
    port.onmessage = ({ data }) => {
      if (data.id !== id) return data.chunk && port.postMessage({ free: data.chunk }, [data.chunk]);
      if (data.failed) return resolve({ bytes: Buffer.concat(got), failed: true });
      got.push(Buffer.from(new Uint8Array(data.chunk, 0, data.length)));
      received += data.length;
      port.postMessage({ free: data.chunk }, [data.chunk]);
      if (received === file.size) resolve({ bytes: Buffer.concat(got), failed: false });
    };
    port.postMessage({ read: file, id });
    if (file.size === 0) resolve({ bytes: Buffer.alloc(0), failed: false });
  });
}

// A channel within this thread: a picked File cannot be faked through a
// real one. Transferred buffers are moved, as between workers.
function channel() {
  const sides = [{}, {}];
  sides.forEach((side, i) => {
    side.postMessage = (data, transfer = []) => {
      const moved = new Map(transfer.map((b) => [b, structuredClone(b, { transfer: [b] })]));
      const sent = Object.fromEntries(Object.entries(data).map(([k, v]) => [k, moved.get(v) ?? v]));
      setImmediate(() => sides[1 - i].onmessage?.({ data: sent }));
    };
  });
  return sides;
}
const [port1, port2] = channel();
ends.serve(port1);
let id = 0;
for (const bytes of [false, true]) {
  for (const [length, part] of [[0, 1], [1, 1], [size - 1, 65536], [size, 1 << 20], [size + 1, 45056], [(ends.count + 2) * size + 7, 3 << 20]]) {
    const { content, file } = picked(length, { part, bytes });
    const read = await readThrough(port2, file, ++id);
    assert.ok(!read.failed && read.bytes.equals(content), `${length} bytes in parts of ${part}, byte stream ${bytes}`);
  }
  // Cut short since picked: a failure after what arrived, never an end.
  const cut = picked(2 * size + 5, { bytes, gives: size + 3 });
  const read = await readThrough(port2, cut.file, ++id);
  assert.ok(read.failed && read.bytes.equals(cut.content.subarray(0, size)), `cut short, byte stream ${bytes}`);
}
// A file stopped with its buffers still out (and given back then, as the
// converter does when it is done) leaves the end able to read the next.
{
  const long = picked((ends.count + 4) * size).file;
  const out = [];
  port2.onmessage = ({ data }) => out.push(data.chunk);
  port2.postMessage({ read: long, id: ++id });
  // Every buffer goes out, however slow the machine; then no more comes.
  const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
  for (const end = Date.now() + 10_000; out.length < ends.count && Date.now() < end;) await sleep(10);
  await sleep(50);
  port2.postMessage({ stop: id });
  assert.equal(out.length, ends.count, 'buffers out while none is given back');
  for (const chunk of out) port2.postMessage({ free: chunk }, [chunk]);
  const { content, file } = picked(3 * size + 1);
  const read = await readThrough(port2, file, ++id);
  assert.ok(!read.failed && read.bytes.equals(content), 'a file read after one stopped');
}

// Storing: written `blocks` of `block` bytes each into a private file
// system holding `quota` bytes (null: held in memory; refuse: the file
// cannot be opened there, so it is held in memory).
const block = 512 << 10;
for (const [blocks, quota, refuse, stored, all] of [
  [0, Infinity, false, true, true],
  [9, Infinity, false, true, true],
  [9, 3 * block + 100, false, true, false],
  [9, 0, false, true, false],
  [3, Infinity, true, false, true],
]) {
  const disk = storage(quota, refuse);
  const output = await load({ halvorineStorage: disk.halvorineStorage }).storing('entry');
  const { content } = picked(blocks * block);
  const taken = [];
  for (let b = 0; b < blocks; b++) taken.push(output.write(content.subarray(b * block, (b + 1) * block)));
  const closed = output.close();
  const label = `${blocks} blocks, quota ${quota}, refused ${refuse}`;
  assert.equal(output.stored, stored, label);
  assert.equal(closed.closed, all, label);
  assert.ok(taken.every((t, b) => t === (all || taken.slice(0, b + 1).every(Boolean))), `${label}: no write taken after one failed`);
  const kept = stored ? disk.file.bytes : Buffer.from(await closed.blob.arrayBuffer());
  assert.equal(closed.bytes, kept.length, label);
  assert.ok(kept.equals(content.subarray(0, kept.length)) && (all ? kept.length === content.length : kept.length <= quota), label);
  assert.ok(!stored || disk.file.closed, `${label}: closed`);
}
console.log('ends test: passed');
