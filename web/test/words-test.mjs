// The page's words around names and the browser's messages (web/words.js)
// under node: where a name stands in words, how it is isolated, and a
// message made the end of a sentence.
//
// node words-test.mjs
import assert from 'node:assert/strict';
import fs from 'node:fs';
import vm from 'node:vm';

const context = vm.createContext({ self: {} });
vm.runInContext(`${fs.readFileSync(new URL('../words.js', import.meta.url), 'utf8')}\nself.words = halvorineWords;`, context);
const { pieces, sentence } = context.self.words;

// [what, text, names, pieces as 'words' and [name]]
const cases = [
  ['a name, then words', 'a.wav: waiting', ['a.wav'], [['a.wav'], ': waiting']],
  ['the longest name first, each place it stands', 'Left out: Takes/a.wav from Takes, as Takes/a.wav', ['Takes', 'Takes/a.wav', '', null],
    ['Left out: ', ['Takes/a.wav'], ' from ', ['Takes'], ', as ', ['Takes/a.wav']]],
  ['U+202E kept within its name, which ends it', 'x\u202Egnp.wav: converted', ['x\u202Egnp.wav'], [['x\u202Egnp.wav'], ': converted']],
  ['an isolate the name ends and one it leaves open, balanced', 'a\u2069\u202Eb and \u2067c', ['a\u2069\u202Eb', '\u2067c'],
    [['a\u202Eb'], ' and ', ['\u2067c\u2069']]],
  ['no name in it', 'No file converted yet.', ['x.wav'], ['No file converted yet.']],
];
for (const [what, text, names, want] of cases) {
  const got = pieces(text, names).map(([words, isName]) => (isName ? [words] : words));
  assert.equal(JSON.stringify(got), JSON.stringify(want), what);
}
for (const [message, want] of [['gone', 'gone.'], ['gone.', 'gone.'], ['gone?', 'gone?'], ['(gone)', '(gone).'], ['more…', 'more…']]) {
  assert.equal(sentence(`Not saved: ${message}`), `Not saved: ${want}`, message);
}
console.log(`words: ${cases.length} texts with names, and the ends of sentences`);
