// The converter's worker: reads the picked file a part ahead, converts it in
// the WebAssembly converter on this thread and stores the output, one file
// at a time. The converter waits (Asyncify) only where the next part of the
// file has not arrived yet; everything else returns at once.
//
import createHalvorine from 'halvorine-core';
import { writing } from './folder-writer.js';
import * as io from './io.js';
import { kinds } from './messages.js';
import * as storage from './storage.js';
import { crc32 } from './zip.js';

// A page opened from a file carries this script inside bundle.js and starts
// it from a blob: URL, with the WebAssembly as its first message (see
// converter.js). Such a worker may not be let read the picked file itself
// (WebKit), so the page reads it for the worker.
const bundled = self.location.protocol === 'blob:';
// The page's build (?build=...), asked for with the WebAssembly, so that
// the service worker serves it from that build.
const build = bundled ? '' : self.location.search;
const post = (kind, job, fields = {}) => postMessage({ kind, job, ...fields });

let wasmArrived = null;
const ready = bundled
  ? new Promise((r) => { wasmArrived = r; }).then((wasmBinary) => createHalvorine({ wasmBinary }))
  : createHalvorine({ locateFile: (name) => name + build });
// Proven once: the page says what the fallback costs when it does not work.
const storageWorks = storage.works();
Promise.all([ready, storageWorks]).then(
  ([, stores]) => post(kinds.hello, 0, { storage: stores }),
  (e) => post(kinds.broken, 0, { error: String(e?.message ?? e) }));

let sliceAsked = null;  // the part asked of the page, to settle
const fromPage = (job) => (at, end) => new Promise((resolve, reject) => {
  sliceAsked = { job, at, resolve, reject };
  post(kinds.readSlice, job, { at, end });
});

const progressEvery = 100;  // ms between progress messages

// For the glue: 1 or 0, or a promise of it.
const bit = (ok) => (ok instanceof Promise ? ok.then(bit) : ok ? 1 : 0);

// `entry`: the output's name in the private storage, null to hold it in
// memory, or its place in a folder the user chose. `storing`: its output in
// the storage or memory, made as the job came.
async function convert({ job, file, entry }, storing) {
  const module = await ready;
  const stored = typeof entry === 'string';
  const output = await (storing ?? writing(entry, io.size));
  // It worked when proven and not now (a full disk, another page's quota):
  // this file fails as a full disk fails the console program, and the next
  // is tried in the storage again. Held in memory instead, the outputs of a
  // full disk would pile up where nothing weighs them.
  const refused = stored && !output.stored;
  if (refused) storage.remove(entry, 3);
  const parts = io.reading(file, bundled ? fromPage(job) : null);
  let part = new Uint8Array(0);
  let partAt = 0;
  let done = 0;  // bytes handed to the converter
  let written = 0;  // bytes the output has taken
  let failed = false;
  // None for a file read within the first interval: a thousand small ones
  // would each cost the page a message more.
  let lastProgress = performance.now();
  const report = (closing = false) => {
    const now = performance.now();
    if (!closing && now - lastProgress < progressEvery) return;
    lastProgress = now;
    post(kinds.progress, job, { done, written, total: file.size, closing });
  };
  let opened = null;
  let closed = null;
  // Copies what the part in hand holds, up to `count` bytes, into the
  // converter's memory at `into`.
  const take = (into, count) => {
    const n = Math.min(count, part.length - partAt);
    module.HEAPU8.set(part.subarray(partAt, partAt + n), into);
    partAt += n;
    done += n;
    return n;
  };
  // Each returns its result, or a promise of it where the converter must wait.
  module.halvorineIo = {
    read(into, count) {
      report();
      // Never past the size the file had when picked: one that grew since is
      // converted as it was.
      const want = Math.min(count, file.size - done);
      let got = take(into, want);
      if (got === want || failed) return got;
      return (async () => {
        while (got < want) {
          try {
            part = await parts.next();
            partAt = 0;
          } catch (e) {
            // Cut or gone since it was picked, or the disk failed.
            failed = true;
            break;
          }
          got += take(into + got, want - got);
        }
        return got;
      })();
    },
    readFailed: () => (failed ? 1 : 0),
    write(from, count) {
      if (refused) return 0;
      const took = output.write(module.HEAPU8.subarray(from, from + count));
      if (!(took instanceof Promise)) {
        written += count;
        return bit(took);
      }
      // Waiting on a folder's disk: what it has taken is progress too.
      return took.then((ok) => {
        written += count;
        report();
        return bit(ok);
      });
    },
    openOutput(name) {
      opened = name;
      post(kinds.opened, job, { output: name });
      return output.open ? bit(output.open(name)) : 1;
    },
    closeOutput() {
      // The reading is over: the page's stall check stops here, since a
      // flush of gigabytes may take long.
      report(true);
      const closing = output.close();
      return closing instanceof Promise ? closing.then((c) => bit((closed = c).closed)) : bit((closed = closing).closed);
    },
    finish: (status) => (output.finish ? output.finish(status) : 1),
    say(banner, text) {
      post(kinds.said, job, { banner: banner === 1, text });
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
  const { bytes, blob, crc = null } = closed ?? await output.close();
  parts.cancel();
  // A name refused before any output was opened leaves nothing behind.
  if (stored && output.stored && opened === null) await storage.remove(entry, 3);
  post(kinds.done, job, {
    status, output: opened, bytes, seconds, stored: opened !== null && output.stored, crc,
    blob: output.stored || opened === null || refused ? null : blob, why: output.why?.() ?? '',
  });
}

// An output's CRC-32 for a zip, read into the same buffers over and over,
// so memory stays flat whatever its size: one in the private storage
// through a synchronous handle (its Blob's stream, in chromium, left the
// page some hundreds of MB larger for a while), one in memory as a
// recording is read.
let summed = null;  // the buffer a stored output is read into
async function storedParts(entry) {
  const handle = await (await (await storage.folder()).getFileHandle(entry)).createSyncAccessHandle();
  summed ??= new Uint8Array(io.size);
  let at = 0;
  return {
    async next() {
      const n = handle.read(summed, { at });
      if (n <= 0) throw new Error('the output ended early');
      at += n;
      return summed.subarray(0, n);
    },
    cancel: () => handle.close(),
  };
}

async function checksum({ job, blob, entry }) {
  let parts = null;
  if (entry) parts = await storedParts(entry).catch(() => null);
  parts ??= io.reading(blob, bundled ? fromPage(job) : null);
  let crc = 0;
  let done = 0;
  let lastProgress = 0;
  try {
    while (done < blob.size) {
      const part = await parts.next();
      crc = crc32(crc, part);
      done += part.length;
      const now = performance.now();
      if (now - lastProgress >= progressEvery) {
        lastProgress = now;
        post(kinds.progress, job, { done, total: blob.size });
      }
    }
  } catch (e) {
    post(kinds.summed, job, { crc: null, error: String(e?.message ?? e) });
    return;
  } finally {
    parts.cancel();
  }
  post(kinds.summed, job, { crc });
}

// The output's name for a file's `name` by the converter, null where it
// gives none. Not through ccall, which takes a call made while a conversion
// waits for the rest of it as that conversion's own.
function outputName(module, name) {
  const stack = module.stackSave();
  try {
    const size = name.length * 4 + 1;
    const at = module.stackAlloc(size);
    module.stringToUTF8(name, at, size);
    return module.UTF8ToString(module._halvorine_output_name(at)) || null;
  } finally {
    module.stackRestore(stack);
  }
}

let queue = Promise.resolve();
let faulted = false;  // a fault stopped this worker: it starts nothing more
self.onmessage = ({ data }) => {
  switch (data.kind) {
    case kinds.wasm:
      wasmArrived(data.wasm);
      break;
    case kinds.slice:
      // Only the answer to the part asked: one for an earlier file, whose
      // conversion ended meanwhile, goes unheard.
      if (data.job !== sliceAsked?.job || data.at !== sliceAsked.at) break;
      if (data.bytes) sliceAsked.resolve(data.bytes);
      else sliceAsked.reject(new Error('the page could not read the file'));
      break;
    case kinds.name:
      // At once, even while a file converts: naming never waits.
      ready.then((module) => post(kinds.named, data.job, { outputs: data.names.map((name) => outputName(module, name)) }));
      break;
    case kinds.checksum:
      // Always answered, or the page would wait on it for ever.
      queue = queue.then(() => !faulted && checksum(data)).catch((e) => post(kinds.summed, data.job, { crc: null, error: String(e?.message ?? e) }));
      break;
    case kinds.convert: {
      // Its output in the storage is made now, while the file before it may
      // still convert: making a file and its handle takes the browser a few
      // milliseconds. In a chosen folder, nothing is made before its turn.
      const { entry } = data;
      const storing = entry === null || typeof entry === 'string' ? io.storing(entry) : null;
      // A fault here stops this worker, as the browser stopping it would:
      // the page marks the file failed and starts a fresh worker.
      // Nor does it start the files waiting in it, before the page ends it:
      // one would make its output in a folder chosen, and the page would
      // find it there when it gives the file to the next worker.
      queue = queue.then(() => !faulted && convert(data, storing)).catch((e) => {
        faulted = true;
        setTimeout(() => { throw e; });
      });
      break;
    }
  }
};
