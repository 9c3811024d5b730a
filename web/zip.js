// All the outputs as one zip, stored (no compression: the samples would
// hardly shrink), made as a Blob of the stored outputs themselves between
// small headers. The browser then saves it from the files it already holds,
// in the private storage or in memory, and the page's memory stays the same
// whatever the total. A zip library that produces a stream would not do:
// Firefox and WebKit save a stream as a download only by gathering it whole
// in memory first.
import { safePath, unfit } from './names.js';

// CRC-32 (the zip's, reflected 0xEDB88320), sixteen bytes a step: the
// outputs are read once more for it when a zip is made, at some hundreds
// of MB a second, rather than slow every conversion by as much.
const table = new Int32Array(16 * 256);
for (let n = 0; n < 256; n++) {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  table[n] = c;
}
for (let t = 1; t < 16; t++) {
  for (let n = 0; n < 256; n++) {
    const before = table[(t - 1) * 256 + n];
    table[t * 256 + n] = (before >>> 8) ^ table[before & 255];
  }
}

// The CRC-32 of what `crc` was taken over followed by `bytes` (0 to start).
export function crc32(crc, bytes) {
  const T = table;
  let c = ~crc;
  let i = 0;
  const n = bytes.length;
  for (; i < n && (bytes.byteOffset + i) & 3; i++) c = T[(c ^ bytes[i]) & 255] ^ (c >>> 8);
  // Words as the machine holds them: every engine that runs the page is
  // little-endian, as the zip's CRC reads them.
  const words = i < n ? new Uint32Array(bytes.buffer, bytes.byteOffset + i, (n - i) >>> 2) : [];
  const whole = words.length - (words.length & 3);
  for (let k = 0; k < whole; k += 4) {
    const a = words[k] ^ c;
    const b = words[k + 1];
    const d = words[k + 2];
    const e = words[k + 3];
    c = T[3840 + (a & 255)] ^ T[3584 + ((a >>> 8) & 255)] ^ T[3328 + ((a >>> 16) & 255)] ^ T[3072 + (a >>> 24)] ^
      T[2816 + (b & 255)] ^ T[2560 + ((b >>> 8) & 255)] ^ T[2304 + ((b >>> 16) & 255)] ^ T[2048 + (b >>> 24)] ^
      T[1792 + (d & 255)] ^ T[1536 + ((d >>> 8) & 255)] ^ T[1280 + ((d >>> 16) & 255)] ^ T[1024 + (d >>> 24)] ^
      T[768 + (e & 255)] ^ T[512 + ((e >>> 8) & 255)] ^ T[256 + ((e >>> 16) & 255)] ^ T[e >>> 24];
  }
  for (i += whole * 4; i < n; i++) c = T[(c ^ bytes[i]) & 255] ^ (c >>> 8);
  return ~c >>> 0;
}

const most = 0xffffffff;  // a field this full says that the zip64 field holds it
const encoder = new TextEncoder();

// Little-endian fields, each [bytes, value]; values past 2^53 do not occur.
function fields(list) {
  const out = new Uint8Array(list.reduce((sum, [n]) => sum + n, 0));
  const view = new DataView(out.buffer);
  let at = 0;
  for (const [n, value] of list) {
    if (n === 2) view.setUint16(at, value, true);
    else if (n === 4) view.setUint32(at, value, true);
    else view.setBigUint64(at, BigInt(value), true);
    at += n;
  }
  return out;
}

// One array of arrays, never one argument each: JavaScriptCore takes
// about 65,536 arguments at most, and a zip may hold more entries.
const joined = (arrays) => {
  const out = new Uint8Array(arrays.reduce((sum, a) => sum + a.length, 0));
  let at = 0;
  for (const a of arrays) { out.set(a, at); at += a.length; }
  return out;
};

function dosTime(when) {
  const year = Math.min(Math.max(when.getFullYear(), 1980), 2107);
  return {
    time: (when.getHours() << 11) | (when.getMinutes() << 5) | (when.getSeconds() >> 1),
    date: ((year - 1980) << 9) | ((when.getMonth() + 1) << 5) | when.getDate(),
  };
}

// The parts of a zip of `entries` ({ path, blob, size, crc }), in order:
// headers as bytes, and each entry's `blob` itself, never read here.
// `size` is the zip's size in bytes. Each path is made safe; one that
// cannot name an entry throws, with words.
export function layout(entries, when = new Date()) {
  const { time, date } = dosTime(when);
  const parts = [];
  const central = [];
  let at = 0;
  for (const { path, blob, size, crc } of entries) {
    const safe = safePath(path);
    const why = unfit(safe);
    if (why) throw new Error(`${path.length > 60 ? `${path.slice(0, 60)}…` : path} cannot go into the zip: ${why[0]}.`);
    const name = encoder.encode(safe);
    // An entry that needs one zip64 field has them all, its sizes and
    // offset all ones in the old fields: UnZip 6.0 takes an entry's sizes
    // from its zip64 field when the entry before was exactly 0xFFFFFFFF
    // bytes long, whatever the entry's own fields say.
    const wide = size >= most || at >= most;
    const common = [[2, wide ? 45 : 20], [2, 0x0800], [2, 0], [2, time], [2, date], [4, crc],
      [4, wide ? most : size], [4, wide ? most : size], [2, name.length]];
    const localExtra = wide ? fields([[2, 1], [2, 16], [8, size], [8, size]]) : new Uint8Array(0);
    parts.push(joined([fields([[4, 0x04034b50], ...common, [2, localExtra.length]]), name, localExtra]), blob);
    const extra = wide ? fields([[2, 1], [2, 24], [8, size], [8, size], [8, at]]) : new Uint8Array(0);
    // Made on Unix (3), as a plain file readable by all (0644): UnZip
    // takes a name from an MS-DOS zip for a code page's, UTF-8 flag or
    // not, and on Linux would turn "запись" into other letters.
    central.push(joined([fields([[4, 0x02014b50], [2, (3 << 8) | 45], ...common, [2, extra.length], [2, 0], [2, 0], [2, 0],
      [4, 0o100644 * 0x10000], [4, wide ? most : at]]), name, extra]));
    at += 30 + name.length + localExtra.length + size;
  }
  const directory = joined(central);
  const count = entries.length;
  parts.push(directory);
  const end = at + directory.length;
  const ending = count >= 0xffff || at >= most || directory.length >= most;
  if (ending) {
    parts.push(fields([[4, 0x06064b50], [8, 44], [2, 45], [2, 45], [4, 0], [4, 0], [8, count], [8, count],
      [8, directory.length], [8, at]]));
    parts.push(fields([[4, 0x07064b50], [4, 0], [8, end], [4, 1]]));
  }
  const tail = fields([[4, 0x06054b50], [2, 0], [2, 0], [2, Math.min(count, 0xffff)], [2, Math.min(count, 0xffff)],
    [4, Math.min(directory.length, most)], [4, Math.min(at, most)], [2, 0]]);
  parts.push(tail);
  return { parts, size: end + (ending ? 56 + 20 : 0) + tail.length };
}

export const zip = (entries, when) => new Blob(layout(entries, when).parts, { type: 'application/zip' });

