'use strict';
// Converts one picked file at a time, on this worker's only thread. The
// recording is read block by block from the File (the converter waits for
// each read through Asyncify) and the output written block by block into the
// origin's private file system through a synchronous access handle, so memory
// stays the same whatever the recording's size. Where that storage cannot be
// written, the output is gathered in memory instead.
//
// A page opened from a file carries this script, storage.js and the
// converter inside itself and starts it from a blob: URL, with the
// WebAssembly as its first message (see page.js). Such a worker may not be
// let read the picked file itself (WebKit), so the page reads it for it.
const bundled = typeof halvorineBundled !== 'undefined';
if (!bundled) importScripts('storage.js', 'halvorine.js');
let wasmArrived = null;
let pageRead = null;  // settles the read asked of the page
const fromPage = (at, end) => new Promise((resolve, reject) => {
  pageRead = { resolve, reject };
  postMessage({ type: 'read', at, end });
});
const ready = bundled
  ? new Promise((r) => { wasmArrived = r; }).then((wasmBinary) => createHalvorine({ wasmBinary }))
  : createHalvorine();

// Proven once: the page says what the fallback costs when it does not work.
const storageWorks = halvorineStorage.works();

const progressEvery = 100;  // ms between progress messages
// The file is read this much at a time: each read from a File costs a round
// trip to the browser's own process (and the converter a pause and resume),
// which the converter's blocks would pay ten times as often.
const readAhead = 4 << 20;
// Blocks for the private file system are gathered into this before they are
// written: each write through the access handle has a fixed cost besides the
// bytes, which Firefox pays in about a quarter of its writing time when every
// block is written by itself (256 MiB: 250 ms, not 330 ms).
const gather = new Uint8Array(4 << 20);

async function convert({ file, entry, memory }) {
  const module = await ready;
  let handle = null;
  if (!memory && await storageWorks) {
    try {
      const fileHandle = await (await halvorineStorage.folder()).getFileHandle(entry, { create: true });
      handle = await fileHandle.createSyncAccessHandle();
      handle.truncate(0);
    } catch (e) {
      // It worked when proven and not now (the disk or the quota is full):
      // this file goes to memory, and the page says so from now on.
      if (handle) handle.close();
      handle = null;
      halvorineStorage.remove(entry, 3);
      postMessage({ type: 'hello', storage: false });
    }
  }
  // The output, where it is kept in memory: a Blob for each block written,
  // which the browser holds outside this worker's heap, so the output is
  // held once, never also gathered here and copied into one Blob at the end.
  const parts = [];
  let readAt = 0;  // of the file
  let ahead = new Uint8Array(readAhead).subarray(0, 0);  // read, not yet by the converter
  let aheadAt = 0;
  let stream = null;
  let byob = true;
  // The next part of the file into `ahead`. A byte stream read into one
  // buffer over and over makes no garbage; where the browser's Blob streams
  // take no buffer of the reader's, each part is a new one.
  const readMore = async () => {
    if (stream === null) {
      const bytes = bundled ? null : file.stream();
      try {
        stream = bytes ? bytes.getReader({ mode: 'byob' }) : false;
      } catch (e) {
        byob = false;
        stream = bytes.getReader();
      }
    }
    if (stream) {
      const { value, done: over } = await (byob ? stream.read(new Uint8Array(ahead.buffer, 0, readAhead)) : stream.read());
      // Short of the size the file had when picked: it was cut since, and
      // the rest of the recording is lost, not over.
      if (over) throw new Error('the file ended early');
      ahead = value;
    } else {
      const end = Math.min(readAt + readAhead, file.size);
      ahead = new Uint8Array(bundled ? await fromPage(readAt, end) : await file.slice(readAt, end).arrayBuffer());
      // As above: a file that gives less than it had is cut, not over.
      if (ahead.length !== end - readAt) throw new Error('the file ended early');
    }
    aheadAt = 0;
    readAt += ahead.length;
  };
  let done = 0;  // bytes the converter has read
  let readFailed = false;
  let writeAt = 0;
  let lastProgress = 0;
  let output = null;
  let gathered = 0;
  // True when the bytes gathered, or `bytes` instead, are in the file; none
  // is gathered afterwards, even where some of it could not be written.
  const store = (bytes = gather.subarray(0, gathered)) => {
    gathered = 0;
    const wrote = bytes.length > 0 ? handle.write(bytes, { at: writeAt }) : 0;
    writeAt += wrote;
    return wrote === bytes.length;
  };

  module.halvorineIo = {
    async read(into, size) {
      let got = 0;
      try {
        while (got < size && !readFailed) {
          if (aheadAt === ahead.length) {
            // The size the file had when picked is where it ends; short of
            // it, readMore throws, and an empty part is simply asked again.
            if (readAt >= file.size) break;
            await readMore();
            continue;
          }
          const part = Math.min(size - got, ahead.length - aheadAt);
          module.HEAPU8.set(ahead.subarray(aheadAt, aheadAt + part), into + got);
          aheadAt += part;
          got += part;
        }
      } catch (e) {
        // The file changed or went since it was picked, or the disk failed.
        readFailed = true;
      }
      done += got;
      const now = performance.now();
      if (now - lastProgress >= progressEvery) {
        lastProgress = now;
        postMessage({ type: 'progress', done, total: file.size });
      }
      return got;
    },
    readFailed() {
      return readFailed ? 1 : 0;
    },
    write(from, size) {
      try {
        const bytes = module.HEAPU8.subarray(from, from + size);
        if (handle) {
          if (gathered + size > gather.length && !store()) return 0;
          if (size >= gather.length) return store(bytes) ? 1 : 0;
          gather.set(bytes, gathered);
          gathered += size;
          return 1;
        }
        parts.push(new Blob([bytes]));
        writeAt += size;
        return 1;
      } catch (e) {
        // QuotaExceededError above all, and a RangeError where memory runs out.
        return 0;
      }
    },
    openOutput(name) {
      output = name;
      return 1;
    },
    closeOutput() {
      if (!handle) return 1;
      try {
        if (!store()) return 0;
        handle.flush();
        return 1;
      } catch (e) {
        return 0;
      }
    },
    say(banner, text) {
      postMessage({ type: 'said', banner: banner === 1, text });
    },
  };

  const started = performance.now();
  const status = await module.ccall('halvorine_convert', 'number', ['string'], [file.name], { async: true });
  const seconds = (performance.now() - started) / 1000;
  let blob = null;
  if (handle) {
    handle.close();
    // A name refused before any output was opened leaves nothing behind.
    if (output === null) await halvorineStorage.remove(entry, 3);
  } else if (output !== null) {
    blob = new Blob(parts, { type: 'application/octet-stream' });
  }
  postMessage({
    type: 'done', status, output, bytes: writeAt, read: done, total: file.size, seconds,
    blob, stored: output !== null && handle !== null,
  });
}

let queue = Promise.resolve();
onmessage = (event) => {
  if (event.data.wasm) {
    wasmArrived(event.data.wasm);
    return;
  }
  if ('read' in event.data) {
    if (event.data.read) pageRead.resolve(event.data.read);
    else pageRead.reject(new Error('the page could not read the file'));
    return;
  }
  queue = queue.then(() => convert(event.data)).catch((e) => postMessage({ type: 'crashed', error: String(e) }));
};
storageWorks.then((works) => postMessage({ type: 'hello', storage: works }));
