// The room check's plan (web/room.js) under node, the clock set by each
// case: what is freed, in which order, and when nothing may be; then how
// long an output let go of, or left by a closed page, stays for the
// downloads that may still read it.
//
// node room-test.mjs
import assert from 'node:assert/strict';
import { guard, keep, needs, plan, waitFor } from '../room.js';

const now = 10 * guard;
const a = { name: 'a', bytes: 40, savedAt: now - 3 * guard };
const b = { name: 'b', bytes: 30, savedAt: now - 2 * guard };
const fresh = { name: 'fresh', bytes: 500, savedAt: now - guard + 1 };  // its download may still run
const edge = { name: 'edge', bytes: 20, savedAt: now - guard };
// [what, { need, quota, usage, saved }, freed names or { short }]
const cases = [
  ['room enough: nothing freed', { need: 10, quota: 100, usage: 90, saved: [a] }, []],
  ['usage past the quota counts as none free', { need: 10, quota: 100, usage: 120, saved: [a] }, ['a']],
  ['the oldest save first, and no more than needed', { need: 30, quota: 100, usage: 90, saved: [b, a] }, ['a']],
  ['both, oldest first', { need: 70, quota: 100, usage: 90, saved: [b, a] }, ['a', 'b']],
  ['saved just now: never freed, however big', { need: 70, quota: 100, usage: 90, saved: [fresh, a, b] }, ['a', 'b']],
  ['saved two minutes ago to the millisecond: freed', { need: 15, quota: 100, usage: 90, saved: [fresh, edge] }, ['edge']],
  ['short even freeing all it may: nothing freed', { need: 200, quota: 100, usage: 90, saved: [fresh, a, b] }, { need: 200, free: 10 }],
  ['nothing saved', { need: 1, quota: 0, usage: 0, saved: [] }, { need: 1, free: 0 }],
];
for (const [what, given, want] of cases) {
  const got = plan({ ...given, now });
  const seen = got.short ? { ...got.short } : got.free.map((o) => o.name);
  assert.equal(JSON.stringify(seen), JSON.stringify(want), what);
}
// A recording's output is at most 4/3 of it, rounded up to whole groups.
for (const [bytes, want] of [[0, 0], [1, 4], [3, 4], [4, 8], [3 << 20, 4 << 20]]) assert.equal(needs(bytes), want, `needs(${bytes})`);

// [what, savedAt, the wait before its removal]
const waits = [
  ['never saved: at once', 0, 0],
  ['saved just now: the whole wait', now, keep],
  ['saved as long ago as it waits, to the millisecond: at once', now - keep, 0],
  ['saved "later" by a clock set back since: no longer than the whole wait', now + keep, keep],
];
for (const [what, savedAt, want] of waits) assert.equal(waitFor(savedAt, now), want, what);
console.log(`room: ${cases.length} plans, the room an output needs and ${waits.length} waits before removal`);
