// Room in the private storage, as a plan: what the browser says is free,
// and which outputs already saved by their link may be freed, oldest save
// first. A download reads its output from the storage for as long as it
// runs, and the page cannot tell when it ends: an output is freed last the
// more recently it was saved (by its link or in a zip), and never within
// `guard` of that. Removed for no want of room (discarded, or left by a
// page since closed), it stays `keep` after its save. The clock is an
// argument, so the plans can be tested.

export const guard = 120_000;  // ms after a save during which its output stays
// Waiting costs no file its conversion here, only room for a while, so it
// waits for the slowest download we can think of: a zip of 10 GB saved to
// a USB stick that writes 20 MB/s reads its outputs for eight minutes.
export const keep = 600_000;
// An output takes at most 4/3 of its recording (the header rounds up).
export const needs = (bytes) => Math.ceil(bytes / 3) * 4;

// `saved`: { bytes, savedAt } for each output saved by its link (savedAt
// in ms on the clock of `now`). Returns { free: the outputs to free, in
// order } where there is or will be room, or { short: { need, free } }
// with nothing to free where even that would not make room.
export function plan({ need, quota, usage, saved, now }) {
  let free = Math.max(0, quota - usage);
  if (free >= need) return { free: [] };
  const freeable = saved.filter((o) => now - o.savedAt >= guard).sort((a, b) => a.savedAt - b.savedAt);
  if (free + freeable.reduce((sum, o) => sum + o.bytes, 0) < need) return { short: { need, free } };
  const chosen = [];
  for (const output of freeable) {
    if (free >= need) break;
    chosen.push(output);
    free += output.bytes;
  }
  return { free: chosen };
}

// How long an output saved at `savedAt` (0 where it never was) must stay
// before it is removed. A clock set back since counts as just saved.
export const waitFor = (savedAt, now) => (savedAt ? Math.min(keep, Math.max(0, savedAt + keep - now)) : 0);

// Of `left` ({ savedAt }: outputs of pages since closed), those to remove
// now and those kept, with the longest wait among them.
export function leftovers(left, now) {
  const remove = [];
  const kept = [];
  let wait = 0;
  for (const output of left) {
    const w = waitFor(output.savedAt, now);
    (w === 0 ? remove : kept).push(output);
    wait = Math.max(wait, w);
  }
  return { remove, kept, wait };
}

