// Names in the page's words (web/words.js) under node: found, the longest
// first, and isolated so that their own marks of direction stay inside;
// and a browser's message made the end of a sentence.
//
// node words-test.mjs
import assert from 'node:assert/strict';
import { pieces, sentence } from '../words.js';

// [text, names, its pieces: words, and [name]]
for (const [text, names, want] of [
  ['Left out: Takes/a.wav from Takes', ['Takes', 'Takes/a.wav', null], ['Left out: ', ['Takes/a.wav'], ' from ', ['Takes']]],
  ['x\u202Egnp.wav: converted', ['x\u202Egnp.wav'], [['x\u202Egnp.wav'], ': converted']],
  ['a\u2069\u202Eb and \u2067c', ['a\u2069\u202Eb', '\u2067c'], [['a\u202Eb'], ' and ', ['\u2067c\u2069']]],
]) {
  assert.equal(JSON.stringify(pieces(text, names).map(([words, isName]) => (isName ? [words] : words))), JSON.stringify(want), text);
}
for (const [message, want] of [['gone', 'gone.'], ['gone.', 'gone.'], ['gone?', 'gone?']]) assert.equal(sentence(message), want, message);
console.log('words: names isolated, and the ends of sentences');
