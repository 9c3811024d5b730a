'use strict';
// The two ends of a conversion: reading the picked file and storing the
// output. The converter's worker uses them directly, or, for a large file
// where it could start them, through two workers of their own (serve), so
// that the browser reads the next part of the file and stores the last while
// the converter converts. Between workers the parts travel in a few large
// buffers, transferred back and forth, never copied nor made anew, so memory
// stays at those few buffers whatever the recording's size.
const halvorineEnds = (() => {
  // Each read from a File costs a round trip to the browser's own process,
  // and each write through an access handle a fixed cost besides its bytes
  // (a quarter of Firefox's writing time when written 512 KiB at a time).
  const size = 4 << 20;  // bytes in a buffer
  const count = 3;  // buffers in flight each way
  let gather = null;  // for the one output stored at a time on this thread

  // The file's parts in order: `next(into)` resolves to the next part, read
  // into `into` (a Uint8Array) where the browser's Blob streams are byte
  // streams, else a new one. `readSlice(at, end)`, where given, reads the
  // file instead of its stream: a worker started from a page opened as a
  // file may not read the picked file itself (WebKit), and the page reads it
  // for the worker. A part past the size the file had when picked is not
  // asked for; short of it, next() rejects: the file was cut since, and the
  // rest of the recording is lost, not over.
  function reading(file, readSlice = null) {
    let at = 0;
    if (readSlice) {
      return {
        byob: false,
        async next() {
          const end = Math.min(at + size, file.size);
          const part = new Uint8Array(await readSlice(at, end));
          if (part.length !== end - at) throw new Error('the file ended early');
          at = end;
          return part;
        },
        cancel() {},
      };
    }
    // One stream: one left unread may still be filled (WebKit).
    const bytes = file.stream();
    let byob = true;
    let stream;
    try {
      stream = bytes.getReader({ mode: 'byob' });
    } catch (e) {
      byob = false;
      stream = bytes.getReader();
    }
    return {
      byob,
      async next(into) {
        const { value, done } = await (byob ? stream.read(into) : stream.read());
        if (done) throw new Error('the file ended early');
        return value;
      },
      cancel() {
        stream.cancel().catch(() => {});
      },
    };
  }

  // An output in the private file system under `entry`, or, where `entry`
  // is null or the file cannot be opened there, as Blobs, which the browser
  // holds outside any worker's heap: the output is held once, never also
  // gathered here. write(bytes) is true when stored (or, in memory, held);
  // close() says whether all was, how many bytes, and the Blob held.
  async function storing(entry) {
    let handle = null;
    if (entry !== null) {
      try {
        const file = await (await halvorineStorage.folder()).getFileHandle(entry, { create: true });
        handle = await file.createSyncAccessHandle();
        handle.truncate(0);
      } catch (e) {
        if (handle) handle.close();
        handle = null;
      }
    }
    const parts = [];
    if (handle) gather ??= new Uint8Array(size);
    let gathered = 0;
    let at = 0;
    let failed = false;
    // True when the bytes gathered, or `bytes` instead, are in the file.
    const store = (bytes = gather.subarray(0, gathered)) => {
      gathered = 0;
      const wrote = bytes.length > 0 ? handle.write(bytes, { at }) : 0;
      at += wrote;
      return wrote === bytes.length;
    };
    const write = (bytes) => {
      try {
        if (!handle) {
          parts.push(new Blob([bytes]));
          at += bytes.length;
        } else if (gathered + bytes.length > size && !store()) {
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
        if (handle) {
          try {
            if (!failed && store()) handle.flush();
            else failed = true;
          } catch (e) {
            failed = true;
          }
          handle.close();
        }
        return { closed: !failed, bytes: at, blob: handle ? null : new Blob(parts, { type: 'application/octet-stream' }) };
      },
    };
  }

  // An end in a worker of its own: reads the file it is sent, `count`
  // buffers ahead of the converter, or stores the buffers it is sent.
  function serve(port) {
    let free = null;
    const waiters = [];
    let reading_ = 0;  // the file being read; a newer one or a stop ends it
    const take = () => (free.length > 0 ? Promise.resolve(free.pop()) : new Promise((r) => waiters.push(r)));
    const giveBack = (buffer) => (waiters.length > 0 ? waiters.shift()(buffer) : free.push(buffer));

    async function read(file, id) {
      free ??= Array.from({ length: count }, () => new ArrayBuffer(size));
      reading_ = id;
      const parts = reading(file);
      let part = new Uint8Array(0);  // of a stream that is not a byte stream
      let held = null;  // a buffer taken and not yet passed on
      try {
        for (let at = 0; at < file.size;) {
          held = await take();
          const length = Math.min(size, file.size - at);
          for (let filled = 0; filled < length && reading_ === id;) {
            if (parts.byob) {
              // Read into the buffer itself, which comes back in the part.
              const got = await parts.next(new Uint8Array(held, filled, length - filled));
              held = got.buffer;
              filled += got.length;
              continue;
            }
            if (part.length === 0) part = await parts.next();
            const n = Math.min(part.length, length - filled);
            new Uint8Array(held, filled, n).set(part.subarray(0, n));
            part = part.subarray(n);
            filled += n;
          }
          if (reading_ !== id) break;
          port.postMessage({ id, chunk: held, length }, [held]);
          held = null;
          at += length;
        }
      } catch (e) {
        // The file changed or went since it was picked, or the disk failed.
        if (reading_ === id) port.postMessage({ id, failed: true });
      } finally {
        // A byte stream's failed read keeps the buffer it was given.
        if (held) giveBack(held.byteLength > 0 ? held : new ArrayBuffer(size));
        parts.cancel();
      }
    }

    let output = null;
    // What fails here unforeseen fails this worker, which the converter's
    // worker hears of: it must not wait for an answer that never comes. Until
    // it does, nothing more is stored, and the output is not said to be.
    let broken = false;
    port.onmessage = ({ data }) => answer(data).catch((e) => {
      broken = true;
      setTimeout(() => { throw e; });
    });
    const answer = async (data) => {
      if ('read' in data) {
        read(data.read, data.id);
      } else if ('stop' in data) {
        reading_ = 0;
      } else if ('free' in data) {
        giveBack(data.free);
      } else if ('open' in data) {
        output = await storing(data.open);
        port.postMessage({ opened: output.stored });
      } else if ('chunk' in data) {
        const failed = broken || !output.write(new Uint8Array(data.chunk, 0, data.length));
        port.postMessage({ written: data.chunk, failed }, [data.chunk]);
      } else if ('close' in data) {
        const closed = output.close();
        output = null;
        port.postMessage({ ...closed, closed: closed.closed && !broken });
        broken = false;
      }
    };
  }

  return { size, count, reading, storing, serve };
})();

if (self.name === 'ends') {
  importScripts('storage.js');
  halvorineEnds.serve(self);
  postMessage({ ready: true });
}
