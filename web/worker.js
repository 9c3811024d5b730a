'use strict';
// Converts one picked file at a time. The converter (WebAssembly) runs on
// this worker's thread and reads and stores through the two ends (ends.js):
// here, on this thread, or for a large file through workers of their own.
// Each call returns at once where it can; otherwise the converter waits
// (Asyncify) until the next part of the file is read, or a buffer for the
// output is free again. Memory stays the same whatever the recording's size.
//
// A page opened from a file carries this script, storage.js, ends.js and the
// converter inside itself and starts it from a blob: URL, with the
// WebAssembly as its first message (see page.js). Such a worker may not be
// let read the picked file itself (WebKit), so the page reads it for it.
const bundled = typeof halvorineBundled !== 'undefined';
if (!bundled) importScripts('storage.js', 'ends.js', 'halvorine.js');
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
const { size } = halvorineEnds;

// The ends' own workers (reading, storing), where this worker can start them:
// not from a blob: URL, nor where the browser has no workers in workers.
// Where the browser's Blob streams are byte streams (Chromium, Firefox), the
// reading end reads the file straight into its buffers while the converter
// converts: 256 MiB in Firefox, which gives a file in parts of about 45 KB,
// each costing a wait, 0.8 s here and 0.5 s apart; in Chromium the same
// either way. Where they are not (WebKit), reading in a worker of its own
// is slower than here: 1.4 s against 1.0 s. A message between two workers
// takes Firefox about 25 ms, and a conversion waits for several: they serve
// only large files. Started once this worker is ready (see startEnds).
const apartFrom = 64 << 20;  // bytes
let apart = null;
const apartStarted = Promise.all([storageWorks, ready]).then(startEnds).then((ends) => {
  if (ends.every((end) => end)) apart = ends;
  else ends.forEach((end) => end?.terminate());
});
const byteStreams = (() => {
  try {
    new Blob([]).stream().getReader({ mode: 'byob' });
    return true;
  } catch (e) {
    return false;
  }
})();

// The ends' workers, each once it says it is ready, or null. Firefox under
// automation (WebDriver BiDi) now and then never returns from the
// constructor of a worker's worker, about 1 page in 20 (never in 200 pages
// without it): the page is told when this thread starts constructing and
// when it is done, and starts another worker where it hears nothing more.
// A worker the page names 'no-ends' goes without.
async function startEnds() {
  if (bundled || typeof Worker === 'undefined' || self.name === 'no-ends') return [null, null];
  postMessage({ type: 'ends', constructing: true });
  const ends = [0, 1].map(() => {
    try {
      return new Worker('ends.js', { name: 'ends' });
    } catch (e) {
      return null;  // as if it never started
    }
  });
  postMessage({ type: 'ends', constructing: false });
  return Promise.all(ends.map(async (end) => {
    if (end === null) return null;
    const started = await new Promise((resolve) => {
      end.onmessage = () => resolve(true);
      // Not this worker's failure: it goes on without (WebKit may not load
      // a worker's worker through the page's service worker).
      end.onerror = (event) => {
        event.preventDefault();
        resolve(false);
      };
      setTimeout(() => resolve(false), 10_000);
    });
    if (!started) {
      end.terminate();
      return null;
    }
    // One that stops later would leave the conversion waiting for ever:
    // this worker stops too, and the page says so and goes on.
    end.onerror = () => setTimeout(() => { throw new Error('The converter stopped reading or storing.'); });
    return end;
  }));
}

// Copies from `parts` (Uint8Arrays, the first read from `parts.at` on) up to
// `count` bytes to `into` in the converter's memory; says how many, and
// calls `used` with each part it finishes.
function copyIn(module, parts, into, count, used) {
  let got = 0;
  while (got < count && parts.length > 0) {
    const part = parts[0];
    const n = Math.min(count - got, part.length - parts.at);
    module.HEAPU8.set(part.subarray(parts.at, parts.at + n), into + got);
    got += n;
    parts.at += n;
    if (parts.at === part.length) {
      used(parts.shift());
      parts.at = 0;
    }
  }
  return got;
}

// Copies `count` bytes from `parts` to `into`, as copyIn; where they run out
// first, waits for `more()` to bring more until `ended()`. The number copied,
// or a promise of it where it had to wait.
function readParts(module, parts, into, count, used, more, ended) {
  let got = copyIn(module, parts, into, count, used);
  if (got === count || ended()) return got;
  return (async () => {
    while (got < count && !ended()) {
      await more();
      got += copyIn(module, parts, into + got, count - got, used);
    }
    return got;
  })();
}

// The converter's calls when the ends are here. The file is read a buffer
// ahead of the converter, into the same buffer over and over where the
// browser's Blob streams are byte streams; the output is stored straight
// from the converter's memory.
let readBuffer = new ArrayBuffer(size);
async function endsHere(module, file, entry) {
  const output = await halvorineEnds.storing(entry);
  const reading = halvorineEnds.reading(file, bundled ? fromPage : null);
  const parts = Object.assign([], { at: 0 });
  let readAt = 0;
  let failed = false;
  let closed = null;
  const more = async () => {
    try {
      if (readBuffer.byteLength === 0) readBuffer = new ArrayBuffer(size);  // lost to a failed read
      const part = await reading.next(new Uint8Array(readBuffer));
      if (reading.byob) readBuffer = part.buffer;
      readAt += part.length;
      parts.push(part);
    } catch (e) {
      // The file changed or went since it was picked, or the disk failed.
      failed = true;
    }
  };
  return {
    apart: false,
    stored: output.stored,
    read: (into, count) => readParts(module, parts, into, count, () => {}, more, () => readAt >= file.size || failed),
    readFailed: () => failed,
    write: (from, count) => (output.write(module.HEAPU8.subarray(from, from + count)) ? 1 : 0),
    close: async () => (closed ??= output.close()),
    finish: () => reading.cancel(),
  };
}

// The converter's calls when the ends are workers of their own: `count`
// buffers each way, read ahead and stored behind.
const outBuffers = Array.from({ length: halvorineEnds.count }, () => new ArrayBuffer(size));
let files = 0;
async function endsApart(module, file, entry, [reader, storer]) {
  const id = ++files;
  let answer = null;  // to an open or a close
  let bufferBack = null;
  let writeFailed = false;
  storer.onmessage = ({ data }) => {
    if ('written' in data) {
      writeFailed ||= data.failed;
      outBuffers.push(data.written);
      if (bufferBack) bufferBack();
    } else {
      answer(data);
    }
  };
  const ask = (message) => new Promise((r) => {
    answer = r;
    storer.postMessage(message);
  });
  const { opened } = await ask({ open: entry });

  // Parts of an earlier file, or of this one once it is over, go back.
  const parts = Object.assign([], { at: 0 });
  let arrived = null;
  let readFailed = false;
  let over = false;
  let received = 0;
  const giveBack = (part) => reader.postMessage({ free: part.buffer }, [part.buffer]);
  reader.onmessage = ({ data }) => {
    if (data.id !== id || over) {
      if (data.chunk) reader.postMessage({ free: data.chunk }, [data.chunk]);
      return;
    }
    if (data.failed) readFailed = true;
    else parts.push(new Uint8Array(data.chunk, 0, data.length));
    received += data.length ?? 0;
    if (arrived) arrived();
  };
  reader.postMessage({ read: file, id });
  const arrival = () => new Promise((r) => { arrived = r; }).then(() => { arrived = null; });
  const ended = () => (received === file.size || readFailed) && parts.length === 0;

  let out = null;  // the buffer being filled
  let outAt = 0;
  const send = () => {
    storer.postMessage({ chunk: out, length: outAt }, [out]);
    out = null;
    outAt = 0;
  };
  // Copies from `from` into buffers, passing on each one filled, until `at.n`
  // reaches `count`; false where every buffer is with the storing end.
  const fill = (from, count, at) => {
    while (at.n < count) {
      if (out === null) {
        if (outBuffers.length === 0) return false;
        out = outBuffers.pop();
      }
      const n = Math.min(count - at.n, size - outAt);
      new Uint8Array(out, outAt, n).set(module.HEAPU8.subarray(from + at.n, from + at.n + n));
      outAt += n;
      at.n += n;
      if (outAt === size) send();
    }
    return true;
  };
  let closed = null;
  return {
    apart: true,
    stored: opened,
    read: (into, count) => readParts(module, parts, into, count, giveBack, arrival, ended),
    readFailed: () => readFailed,
    write(from, count) {
      const at = { n: 0 };
      if (writeFailed) return 0;
      if (fill(from, count, at)) return 1;
      return (async () => {
        while (!fill(from, count, at)) {
          await new Promise((r) => { bufferBack = r; });
          bufferBack = null;
        }
        return writeFailed ? 0 : 1;
      })();
    },
    async close() {
      if (out !== null && outAt > 0) send();
      else if (out !== null) outBuffers.push(out);
      out = null;
      closed ??= await ask({ close: true });
      return closed;
    },
    finish() {
      over = true;
      reader.postMessage({ stop: id });
      for (const part of parts.splice(0)) giveBack(part);
    },
  };
}

// `always`: every file through the ends' own workers, where they start.
async function convert({ file, entry, memory, apart: always }) {
  const module = await ready;
  const useStorage = !memory && await storageWorks;
  const large = file.size >= apartFrom && byteStreams;
  if (always || large) await apartStarted;
  const ends = await (apart && (always || large)
    ? endsApart(module, file, useStorage ? entry : null, apart) : endsHere(module, file, useStorage ? entry : null));
  if (useStorage && !ends.stored) {
    // It worked when proven and not now (the disk or the quota is full):
    // this file goes to memory, and the page says so from now on.
    halvorineStorage.remove(entry, 3);
    postMessage({ type: 'hello', storage: false });
  }
  let done = 0;  // bytes the converter has read
  let lastProgress = 0;
  let output = null;
  // Each returns its result, or a promise of it where the converter must wait.
  module.halvorineIo = {
    read(into, count) {
      const now = performance.now();
      if (now - lastProgress >= progressEvery) {
        lastProgress = now;
        postMessage({ type: 'progress', done, total: file.size });
      }
      const got = ends.read(into, count);
      if (typeof got === 'number') done += got;
      else got.then((n) => { done += n; });
      return got;
    },
    readFailed: () => (ends.readFailed() ? 1 : 0),
    write: (from, count) => ends.write(from, count),
    openOutput(name) {
      output = name;
      return 1;
    },
    closeOutput: () => ends.close().then((c) => (c.closed ? 1 : 0)),
    say(banner, text) {
      postMessage({ type: 'said', banner: banner === 1, text });
    },
    // For the glue: a result now, or the converter waits for it.
    settle(result, wakeUp) {
      if (typeof result === 'number') wakeUp(result);
      else result.then(wakeUp);
    },
  };

  const started = performance.now();
  const status = await module.ccall('halvorine_convert', 'number', ['string'], [file.name], { async: true });
  const seconds = (performance.now() - started) / 1000;
  const { bytes, blob } = await ends.close();
  ends.finish();
  // A name refused before any output was opened leaves nothing behind.
  if (ends.stored && output === null) await halvorineStorage.remove(entry, 3);
  postMessage({
    type: 'done', status, output, bytes, read: done, total: file.size, seconds, apart: ends.apart,
    blob: ends.stored || output === null ? null : blob, stored: output !== null && ends.stored,
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
