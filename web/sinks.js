// Where outputs are made: the sinks, each place an output can go, behind
// one interface, so that no place to write into has a path of its own
// through the page. Each page has a session, which its outputs in the
// private storage carry in their names, and whose lock it holds while open.
import { sink as chosenFolder } from './folder.js';
import { folder as privateFolder, hold, prefix, remove } from './storage.js';

export const session = (crypto.randomUUID ? crypto.randomUUID() : String(Math.random()).slice(2)).replace(/-/g, '');
export const holding = hold(session);
const ours = new Set();  // entries to remove when the page is left

// A stored output as it is now: typed, or a browser that finds a RIFF
// header in an untyped file names the saved file .wav (the Blob only
// refers to the stored file).
export async function stored(entry) {
  const file = await (await (await privateFolder()).getFileHandle(entry)).getFile();
  return new Blob([file], { type: 'application/octet-stream' });
}

// The sinks, one for each place an output can go: the private storage,
// memory, and a folder the user chose (folder.js; null until one is).
// Each answers: place(n, job), where the worker writes job's output, the
// page's nth (a promise where the sink must first make way); kept(place,
// result), what became of it, from the worker's `done` or { stopped,
// output } for a worker that stopped: { blob } to offer for saving, with
// what else the offer needs, { words } to say where it is, or null where
// it went from the storage meanwhile; readable(output), whether an output
// offered can still be read whole; release(place, tries), let go of what
// was written there.
export const sinks = {
  storage: {
    place(n) {
      const entry = `${prefix}${session}-${n}.ddc`;
      ours.add(entry);
      return entry;
    },
    async kept(entry, result) {
      if (result.stopped) {
        // What a stopped worker had written, to save as the console
        // program leaves it; else let go (a worker just stopped may hold
        // its file for a while yet).
        const file = result.output ? await stored(entry).catch(() => null) : null;
        if (file?.size) return { blob: file, bytes: file.size, whole: false };
        sinks.storage.release(entry, 300);
        return {};
      }
      // Refused by the storage, or never opened: nothing to offer.
      if (!result.stored) {
        sinks.storage.release(entry, 3);
        return {};
      }
      const blob = await stored(entry).catch(() => null);
      return blob && blob.size === result.bytes ? { blob } : null;
    },
    async readable(output) {
      try {
        const now = await stored(output.entry);
        if (now.size !== output.bytes) return false;
        if (output.bytes > 0) await output.blob.slice(output.bytes - 1).arrayBuffer();
        return true;
      } catch (e) {
        return false;
      }
    },
    release(entry, tries = 20) {
      ours.delete(entry);
      return remove(entry, tries);
    },
  },
  memory: {
    place: () => null,
    kept: async (place, result) => (result.stopped ? { words: 'What it had converted was held by the stopped worker, and is lost with it.' }
      : result.output !== null && result.blob ? { blob: result.blob } : {}),
    readable: async () => true,
    release: async () => {},
  },
  get folder() { return chosenFolder(); },
};

// An output saved by its link stays when the page is left, so that its
// download can finish.
export const leaveBehind = (entry) => ours.delete(entry);

// Leaving the page: its outputs not saved go from the private storage.
// Removal may not finish before the page is gone; the next page to open
// sweeps up what is left, and the outputs saved by their link, whose
// downloads have had time to finish by then.
export const leave = () => ours.forEach((entry) => remove(entry, 1));
