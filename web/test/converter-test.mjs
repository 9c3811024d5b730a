// When the page takes a conversion for stalled (web/converter.js) under
// node, its worker and clock stand-ins: bytes read and bytes written both
// count as progress, and closing the output never stalls.
//
// node converter-test.mjs
import assert from 'node:assert/strict';

let clock = 0;
let tick = null;
const workers = [];
function Worker() {
  workers.push(Object.assign(this, { sent: [], postMessage: (m) => this.sent.push(m), terminate() {} }));
  setTimeout(() => this.onmessage({ data: { kind: 'hello', job: 0, storage: true } }));
}
Object.assign(globalThis, { Worker, document: { querySelector: () => null }, location: { protocol: 'http:' },
  setInterval: (t) => { tick = t; } });
Object.defineProperty(globalThis, 'performance', { value: { now: () => clock } });
const converter = await import('../converter.js');

// [what, [second, progress] each (read and written from 0 at 0 s), stalled]
const cases = [
  ['reading every 20 s', [[20, { done: 1 }], [40, { done: 2 }], [60, { done: 3 }]], false],
  ['nothing read for 31 s', [[20, { done: 1 }], [51]], true],
  ['a slow disk: only the bytes written move', [[20, { done: 1 }], [40, { done: 1, written: 4 }], [60, { done: 1, written: 8 }]], false],
  ['nothing read or written for 31 s after a write', [[20, { done: 1, written: 4 }], [51]], true],
  ['closing for two minutes', [[20, { done: 9, closing: true }], [140]], false],
];
for (const [what, steps, stalled] of cases) {
  clock = 0;
  const ended = converter.convert({ name: 'a.wav', size: 9 }, 'entry', { said() {}, opened() {}, progress() {} }).then(() => 'done', (e) => e.message);
  while (workers.at(-1)?.sent.at(-1)?.kind !== 'convert') await new Promise((r) => setTimeout(r));
  const worker = workers.at(-1);
  const { job } = worker.sent.pop();
  const say = (data) => worker.onmessage({ data: { job, ...data } });
  say({ kind: 'progress', done: 0 });
  for (const [at, progress] of steps) {
    while (clock < at * 1000) tick((clock += 1000));
    if (progress) say({ kind: 'progress', ...progress });
  }
  say({ kind: 'done', status: 0 });
  assert.equal(/made no progress/.test(await ended), stalled, `${what}: ${await ended}`);
}
console.log(`converter: ${cases.length} cases of stalling`);
