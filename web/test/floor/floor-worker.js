'use strict';
// What reading a picked file and writing as many bytes as the page writes
// costs this engine, fixed here rather than following the page's code: the
// file through its stream (a byte reader where the engine has one) into
// parts of 4 MiB, each written with a third more through a synchronous
// handle into the private storage, or into memory. The worker's own
// seconds, as the page reports its conversion's.
onmessage = async ({ data: { file, memory } }) => {
  const size = 4 << 20;
  const started = performance.now();
  let handle = null;
  const dir = memory ? null : await navigator.storage.getDirectory();
  if (dir) handle = await (await dir.getFileHandle('floor', { create: true })).createSyncAccessHandle();
  const blobs = [];
  let at = 0;
  // Each part of 4 MiB, and a third more, written as it fills.
  let out = new ArrayBuffer(size + size / 4 * 4 / 3 + 4);
  let filled = 0;
  const flush = () => {
    const bytes = new Uint8Array(out, 0, filled + Math.ceil(filled / 3));
    if (handle) at += handle.write(bytes, { at }); else blobs.push(new Blob([bytes]));
    filled = 0;
  };
  const stream = file.stream();
  let reader;
  let byob = true;
  try { reader = stream.getReader({ mode: 'byob' }); } catch (e) { reader = stream.getReader(); byob = false; }
  for (;;) {
    if (byob) {
      const { value, done } = await reader.read(new Uint8Array(out, filled, size - filled));
      out = value.buffer;  // back, with or without bytes
      if (done) break;
      filled += value.length;
    } else {
      const { value, done } = await reader.read();
      if (done) break;
      for (let i = 0; i < value.length;) {
        const n = Math.min(value.length - i, size - filled);
        new Uint8Array(out, filled, n).set(value.subarray(i, i + n));
        filled += n;
        i += n;
        if (filled === size) flush();
      }
    }
    if (filled === size) flush();
  }
  flush();
  if (handle) { handle.flush(); handle.close(); } else new Blob(blobs);
  postMessage((performance.now() - started) / 1000);
  if (dir) await dir.removeEntry('floor');
};
