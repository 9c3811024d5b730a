// The converter's worker as the page sees it (web/converter.js) under node,
// the worker and the clock stand-ins: when a conversion counts as stalled.
// Bytes read and bytes written both count as progress; closing the output
// never stalls.
//
// node converter-test.mjs
import assert from 'node:assert/strict';
import fs from 'node:fs';
import vm from 'node:vm';

let clock = 0;
const ticks = [];
const workers = [];
class Worker {
  constructor() {
    this.sent = [];
    workers.push(this);
    setTimeout(() => this.onmessage({ data: { kind: 'hello', job: 0, storage: true } }));
  }

  postMessage(message) { this.sent.push(message); }

  terminate() {}
}
const context = vm.createContext({
  self: {}, Worker, setTimeout, document: { querySelector: () => null }, location: { protocol: 'http:' },
  performance: { now: () => clock }, setInterval: (tick) => ticks.push(tick),
});
for (const script of ['../messages.js', '../converter.js']) vm.runInContext(fs.readFileSync(new URL(script, import.meta.url), 'utf8'), context);
const converter = vm.runInContext('halvorineConverter', context);

// [what, progress at each second given (reading at 0 s), stalled]
const read = (done) => ({ done, written: 0 });
const cases = [
  ['reading every 20 s', [[20, read(1)], [40, read(2)], [60, read(3)], [80, read(4)]], false],
  ['nothing read for 31 s', [[20, read(1)], [51, null]], true],
  ['a slow disk: nothing read while the bytes written move', [[20, read(1)], [40, { done: 1, written: 4 }], [60, { done: 1, written: 8 }],
    [80, { done: 1, written: 12 }]], false],
  ['nothing read or written for 31 s after a write', [[20, { done: 1, written: 4 }], [51, null]], true],
  ['closing for two minutes', [[20, { ...read(9), closing: true }], [140, null]], false],
];
for (const [what, steps, stalled] of cases) {
  clock = 0;
  const converting = converter.convert({ name: 'a.wav', size: 9 }, 'entry', { said() {}, opened() {}, progress() {} })
    .then(() => 'done', (e) => e.message);
  while (workers.at(-1)?.sent.at(-1)?.kind !== 'convert') await new Promise((r) => setTimeout(r));
  const worker = workers.at(-1);
  const { job } = worker.sent.pop();
  worker.onmessage({ data: { kind: 'progress', job, done: 0, written: 0 } });
  for (const [at, progress] of steps) {
    while (clock < at * 1000) {
      clock += 1000;
      ticks.forEach((tick) => tick());
    }
    if (progress) worker.onmessage({ data: { kind: 'progress', job, ...progress } });
  }
  worker.onmessage({ data: { kind: 'done', job, status: 0 } });
  const ended = await converting;
  assert.equal(/made no progress/.test(ended), stalled, `${what}: ${ended}`);
}
console.log(`converter: ${cases.length} cases of stalling`);
