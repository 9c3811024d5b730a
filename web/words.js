// The page's words around what others wrote: names of files and folders,
// which may run right to left or carry the marks that set the direction of
// text, and the browser's own messages.

const isolates = /[\u2066-\u2069]/g;  // LRI, RLI, FSI and PDI

// A name as shown inside its own isolate: a PDI of its own with no
// isolate open would end the page's isolate early, and an isolate it
// leaves open would hold the page's end, so those are balanced. Marks that
// embed or override end with the isolate.
function balanced(name) {
  let open = 0;
  const kept = name.replace(isolates, (mark) => {
    if (mark !== '\u2069') open++;
    else if (open > 0) open--;
    else return '';
    return mark;
  });
  return kept + '\u2069'.repeat(open);
}

// `text` as [words, isName] pieces: each place where one of `names`
// stands, the longest first, a piece of its own.
export function pieces(text, names) {
  const wanted = [...new Set(names.filter(Boolean))].sort((a, b) => b.length - a.length);
  const out = [];
  let plain = '';
  for (let at = 0; at < text.length;) {
    const name = wanted.find((n) => text.startsWith(n, at));
    if (name === undefined) {
      plain += text[at++];
      continue;
    }
    if (plain) out.push([plain, false]);
    plain = '';
    out.push([balanced(name), true]);
    at += name.length;
  }
  if (plain) out.push([plain, false]);
  return out;
}

// `el` given `text`, each of `names` in it shown in a <bdi>: a name
// written right to left, or holding U+202E, cannot turn the page's words
// around it.
export function put(el, text, names = []) {
  el.replaceChildren(...pieces(text, names).map(([words, isName]) =>
    (isName ? Object.assign(document.createElement('bdi'), { textContent: words }) : words)));
  return el;
}

// A message of the browser's as the end of a sentence: some end in a
// period, some do not.
export const sentence = (text) => (/[.!?…]$/.test(text) ? text : `${text}.`);

// A count of bytes as the page shows it, in the units of a disk's maker.
export function formatBytes(n) {
  const units = ['bytes', 'KB', 'MB', 'GB', 'TB'];
  let u = 0;
  while (n >= 1000 && u < units.length - 1) { n /= 1000; u++; }
  return u === 0 ? `${n} bytes` : `${n.toFixed(n < 10 ? 2 : 1)} ${units[u]}`;
}

