// Reading the picked file and storing the output, on the converter's own
// thread. The file is read a part ahead: the browser fetches the next part
// while the converter converts this one. Both ends reuse the same few
// buffers, made when first needed, so memory stays the same whatever the
// recording's size.
import { folder as privateFolder } from './storage.js';
import { crc32 } from './zip.js';

// Each read from a File costs a round trip to the browser's own process,
// and each write through an access handle a fixed cost besides its bytes
// (a quarter of Firefox's writing time when written 512 KiB at a time).
export const size = 4 << 20;  // bytes in a part
export const summedUpTo = 1 << 20;  // an output's bytes whose CRC-32 is taken as it is closed
let readBuffers = null;  // the part being converted and the part being read
let gather = null;  // bytes waiting to be stored

// The file's parts in order, each at most `size` bytes: next() resolves to
// the next part, which stays valid until next() is called again; call it
// only while bytes remain of the size the file had when picked. Short of
// that size it rejects: the file was cut since it was picked, and the rest
// of the recording is lost, not over. `readSlice(at, end)`, where given,
// reads the file instead of its stream: a worker started from a page opened
// as a file may not read the picked file itself (WebKit), and the page
// reads it for the worker.
export function reading(file, readSlice = null) {
  let asked = 0;  // bytes asked of the browser so far
  let fetch;
  let stop = () => {};
  let byob = false;
  if (readSlice) {
    fetch = async () => {
      const at = asked;
      const end = Math.min(at + size, file.size);
      asked = end;
      const part = new Uint8Array(await readSlice(at, end));
      if (part.length !== end - at) throw new Error('the file ended early');
      return part;
    };
  } else {
    // One stream: one left unread may still be filled (WebKit).
    const stream = file.stream();
    let reader;
    try {
      reader = stream.getReader({ mode: 'byob' });
      byob = true;
    } catch (e) {
      reader = stream.getReader();
    }
    stop = () => reader.cancel().catch(() => {});
    fetch = byob
      ? async (buffer) => {
        // A byte stream reads straight into the buffer, which it hands back
        // in the part; it may give any amount at a time (Firefox about 45 KB).
        const want = Math.min(size, file.size - asked);
        asked += want;
        for (let filled = 0; filled < want;) {
          const { value, done } = await reader.read(new Uint8Array(buffer, filled, want - filled));
          if (done) throw new Error('the file ended early');
          buffer = value.buffer;
          filled += value.length;
        }
        return new Uint8Array(buffer, 0, want);
      }
      : async () => {
        const { value, done } = await reader.read();
        if (done) throw new Error('the file ended early');
        asked += value.length;
        return value;
      };
  }
  const slots = byob ? (readBuffers ??= [new ArrayBuffer(size), new ArrayBuffer(size)]) : [];
  let turn = 0;
  const start = () => {
    const slot = turn;
    turn ^= 1;
    // A failed read keeps the buffer it was given.
    if (byob && slots[slot].byteLength === 0) slots[slot] = new ArrayBuffer(size);
    const part = fetch(slots[slot]);
    part.then((p) => { if (byob) slots[slot] = p.buffer; }, () => {});
    return part;
  };
  let ahead = file.size > 0 ? start() : null;
  return {
    async next() {
      if (!ahead) throw new Error('read past the end');
      const part = await ahead;
      ahead = asked < file.size ? start() : null;
      return part;
    },
    cancel: stop,
  };
}

// An output in the private file system under `entry`, or, where `entry`
// is null or the file cannot be opened there, as Blobs, which the browser
// holds outside any worker's heap: the output is held once, never also
// gathered here. write(bytes) is true when stored (or, in memory, held);
// close() says whether all was, how many bytes, and the Blob held.
export async function storing(entry) {
  let handle = null;
  if (entry !== null) {
    try {
      const file = await (await privateFolder()).getFileHandle(entry, { create: true });
      handle = await file.createSyncAccessHandle();
      // A new file mostly: truncating costs the browser a round trip.
      if (handle.getSize() > 0) handle.truncate(0);
    } catch (e) {
      if (handle) handle.close();
      handle = null;
    }
  }
  gather ??= new Uint8Array(size);
  const parts = [];
  let gathered = 0;
  let at = 0;
  let failed = false;
  // True when the bytes gathered, or `bytes` instead, are stored.
  const store = (bytes = gather.subarray(0, gathered)) => {
    gathered = 0;
    if (bytes.length === 0) return true;
    if (!handle) {
      parts.push(new Blob([bytes]));
      at += bytes.length;
      return true;
    }
    const wrote = handle.write(bytes, { at });
    at += wrote;
    return wrote === bytes.length;
  };
  const write = (bytes) => {
    try {
      if (gathered + bytes.length > size && !store()) {
        failed = true;
      } else if (bytes.length >= size) {
        failed = !store(bytes);
      } else {
        gather.set(bytes, gathered);
        gathered += bytes.length;
      }
    } catch (e) {
      // QuotaExceededError above all, and a RangeError where memory runs out.
      failed = true;
    }
    return !failed;
  };
  return {
    stored: handle !== null,
    write: (bytes) => !failed && write(bytes),
    close() {
      // An output still whole in the buffer, as a thousand small ones are,
      // has its CRC-32 taken now, for a zip to need no second reading of
      // it: under a millisecond. A larger one is read again for its zip,
      // rather than slow every conversion by half again.
      const crc = !failed && at === 0 && gathered <= summedUpTo ? crc32(0, gather.subarray(0, gathered)) : null;
      try {
        if (failed || !store()) failed = true;
        else if (handle) handle.flush();
      } catch (e) {
        failed = true;
      }
      if (handle) handle.close();
      const blob = handle ? null : new Blob(parts, { type: 'application/octet-stream' });
      return { closed: !failed, bytes: at, crc: failed ? null : crc, blob };
    },
  };
}

