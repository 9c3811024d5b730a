// Every message between the page and the converter's worker, and the page's
// to its service worker, by kind. Each carries `job`: the conversion it is
// about, 0 for none. The page keeps only what is about the job it is doing,
// so a late word from a cancelled or stopped conversion is ignored.
export const kinds = Object.freeze({
  // Page to worker.
  wasm: 'wasm',  // { wasm }: the WebAssembly, for a worker started from bundle.js
  convert: 'convert',  // { file, entry }: the entry in the private storage, null to hold it in memory, or a place in a folder chosen (folder.js)
  slice: 'slice',  // { at, bytes }: a part the page read for the worker (null where it could not)
  name: 'name',  // { names }: files' names, to be answered at once with the outputs' names
  checksum: 'checksum',  // { blob, entry }: an output to read for its CRC-32 (entry: in the private storage, else null)
  // Worker to page.
  hello: 'hello',  // { storage }: ready; whether outputs can be written into the private storage
  broken: 'broken',  // { error }: it cannot convert at all
  said: 'said',  // { banner, text }: what the converter prints
  opened: 'opened',  // { output }: the output's name, once the converter opens it
  readSlice: 'read-slice',  // { at, end }: a worker that may not read the picked file asks the page
  progress: 'progress',  // { done, written, total, closing }: bytes read and written; closing once reading is over
  done: 'done',  // { status, output, bytes, seconds, stored, crc, blob, why }: crc the output's CRC-32 where taken, else null; why, where a chosen folder was not written into
  named: 'named',  // { outputs }: the output's name for each, null where a name gives none
  summed: 'summed',  // { crc, error }: the CRC-32, null where it could not be read
  // Page to its service worker.
  takeOver: 'take-over',  // the page is about to reload into the waiting build
  tidy: 'tidy',  // a page has opened: caches no open page uses can go
});
