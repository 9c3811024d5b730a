// The converter's worker writing an output straight into a folder the user
// chose, at the place the page planned for it (folder.js): through a
// writable stream, the only way a worker may write into such a folder, and
// leaving nothing of an output that fails.
import { makeFolders, there, unmakeFolders } from './dirs.js';
import { safePath, within } from './names.js';

// `place`, as planned, written into. Its file is made before the converter
// starts, and its bytes go to the browser's swap file beside it until
// finish() keeps them, whole, or discards them with the file and the
// folders made for it. The bytes are gathered into two buffers, made once:
// one is written while the other fills, so memory stays the same whatever
// the output's size.
let buffers = null;
export async function writing(place, size) {
  // Each folder this output made, to go with it if it fails.
  const made = [];
  let dir = place.dir;
  let file = null;
  let writer = null;
  let why = '';
  try {
    dir = await makeFolders(dir, place.under, made);
    if (place.name !== null) {
      if (!place.there && await there(dir, place.name)) {
        why = `${within(place.under.join('/'), place.name)} is there already`;
      } else {
        file = await dir.getFileHandle(place.name, { create: true });
        writer = (await file.createWritable()).getWriter();
      }
    }
  } catch (e) {
    why ||= String(e?.message ?? e);
  }
  buffers ??= [new Uint8Array(size), new Uint8Array(size)];
  let turn = 0;
  let filled = 0;
  let bytes = 0;
  let inFlight = null;  // the other buffer's write: true once written
  let failed = writer === null;
  let kept = false;
  // This buffer to the writer; the promise that the other is free.
  const send = () => {
    const other = inFlight;
    const part = buffers[turn].subarray(0, filled);
    bytes += filled;
    inFlight = writer.write(part).then(() => true, () => false);
    turn ^= 1;
    filled = 0;
    return other && other.then((ok) => { failed ||= !ok; return !failed; });
  };
  // Everything written made or never made: the file and its folders go.
  const unmade = async () => {
    if (file && !place.there) await dir.removeEntry(place.name).catch(() => {});
    await unmakeFolders(made);
  };
  return {
    get stored() { return kept; },
    why: () => why,
    open(name) {
      if (writer !== null && safePath(name) !== place.name) why = `the converter named it ${name}, not ${place.name}`;
      return writer !== null && !why;
    },
    // True once taken, or a promise of it where the other buffer is still
    // being written.
    write(from) {
      let at = 0;
      const go = () => {
        while (!failed && at < from.length) {
          const n = Math.min(size - filled, from.length - at);
          buffers[turn].set(from.subarray(at, at + n), filled);
          filled += n;
          at += n;
          if (filled === size) {
            const free = send();
            if (free) return free.then((ok) => ok && go());
          }
        }
        return !failed;
      };
      return go();
    },
    async close() {
      if (!failed && filled > 0) await send();
      if (inFlight && !(await inFlight)) failed = true;
      return { closed: !failed, bytes, blob: null };
    },
    // Kept where the run succeeded, else nothing of it is left.
    async finish(status) {
      try {
        if (status !== 0 || failed) throw null;
        await writer.close();
        kept = true;
      } catch (e) {
        await writer?.abort().catch(() => {});
        await unmade();
      }
      return kept || status !== 0 ? 1 : 0;
    },
  };
}
