// The names outputs are written and unpacked under, and which of them clash,
// for a zip, a folder the outputs are saved into and a folder converted
// into alike, so that all three leave out the same outputs in the same words.

const encoder = new TextEncoder();

export const within = (folder, name) => (folder ? `${folder}/${name}` : name);

// The name that `path` is given in a zip and in a chosen folder, so that
// every system unpacks it as it is, inside the folder it is unpacked into.
// A folder on a Linux or Mac disk may be named `..\Startup` or `C:`, which
// many Windows extractors take for a way out of that folder, Windows
// refuses control characters, `* ? " < > |` and a name ending in a dot or a
// space, and UTF-8 cannot carry half a UTF-16 pair: each of these
// characters becomes `_`. A device name of Windows,
// with an extension or not (`CON`, `com1.txt`), gets `_` after its stem
// (`CON_`, `com1_.txt`), and empty, `.` and `..` parts go. The marks that
// set the direction of text (U+202E and its kind) go first: unseen, they
// would show `evil\u202Evaw.exe` as `evilexe.wav` in a file manager.
// Ordinary names are left exactly as they are, and a name made safe stays
// as it is.
const refused = /[\\:*?"<>|\p{Cc}\p{Cs}]/gu;
const device = /^(?:CON|PRN|AUX|NUL|COM[0-9¹²³]|LPT[0-9¹²³]) *(?=\.|$)/i;
const directions = /\p{Bidi_Control}/gu;
export const plain = (name) => name.replace(directions, '');
export const safePath = (path) => plain(path).split('/').filter((part) => part !== '' && part !== '.' && part !== '..')
  .map((part) => part.replace(refused, '_').replace(/[. ]$/, '_').replace(device, '$&_')).join('/');

// What two safe names are compared by, as Windows and macOS compare them
// when a zip is unpacked or a file is written: in Unicode's composed form
// (a Mac gives `é` as `e` and its accent), and letter case set aside one
// letter at a time, as Windows' own table does (`ß` stays apart from `ss`).
export function sameName(name) {
  if (/^[\x20-\x7e]*$/.test(name)) return name.toLowerCase();
  let key = '';
  for (const letter of name) {
    const upper = letter.toUpperCase();
    const one = [...upper].length === 1 ? upper : letter;
    const lower = one.toLowerCase();
    key += [...lower].length === 1 ? lower : one;
  }
  return key.normalize('NFC');
}

const longest = 0xffff;  // a zip's name length is a 16-bit field
// The bytes of UTF-8 in a file or folder name on Linux's disks; Windows and
// macOS allow 255 UTF-16 units, which such a name never passes.
const longestPart = 255;
// Why the safe name `name` cannot name an entry, as [words, the names in
// them], or '' if it can.
export function unfit(name) {
  if (name === '') return ['nothing is left of its name once made safe to unpack', []];
  for (const part of name.length * 3 > longestPart ? name.split('/') : []) {
    const bytes = part.length * 3 > longestPart ? encoder.encode(part).length : 0;
    if (bytes > longestPart) {
      return [`the name ${part.slice(0, 40)}… in its path is ${bytes.toLocaleString('en-US')} bytes long in UTF-8, longer than ` +
        `the ${longestPart} a file or folder can be named on most disks`, [part.slice(0, 40)]];
    }
  }
  // Each UTF-16 unit is at most 3 bytes of UTF-8.
  if (name.length * 3 <= longest) return '';
  const bytes = encoder.encode(name).length;
  return bytes > longest ? [`its path is ${bytes.toLocaleString('en-US')} bytes long in UTF-8, ` +
    `longer than the ${longest.toLocaleString('en-US')} a zip can hold`, []] : '';
}

// Why an output is left out, as [words, the names in them]. Each output is
// { safe: its safe path, from: its recording's path }; `first` the one that
// already gives that name, `why` what unfit() said otherwise.
export function leftOut(output, { first = null, why = ['', []] } = {}) {
  if (!first) return [`Left out: the output of ${output.from}, as ${why[0]}.`, [output.from, ...why[1]]];
  return [`Left out: ${output.safe} from ${output.from}, as ` + (first.safe === output.safe ? `${first.from} already gives it.`
    : `${first.from} already gives ${first.safe}, which Windows and macOS take for the same name.`),
  [output.safe, output.from, first.from, first.safe]];
}

// Outputs by the name they would be unpacked or written as, each name's in
// the order `before(a, b)` gives: the first is kept, the later ones would
// replace it. Each costs what one does, however many there are.
export class Clashes {
  constructor(before = () => false) {
    this.before = before;
    this.byName = new Map();
  }

  // Adds `output` ({ safe }) under its name. The outputs of that name whose
  // first has changed, to be told anew: `output`, and where it comes first,
  // all the others too.
  add(output) {
    output.key = sameName(output.safe);
    const same = this.byName.get(output.key) ?? this.byName.set(output.key, []).get(output.key);
    let at = same.length;
    while (at > 0 && this.before(output, same[at - 1])) at--;
    same.splice(at, 0, output);
    return at === 0 ? [...same] : [output];
  }

  // The first output of `safe`'s name, or undefined.
  first(safe) {
    return this.byName.get(sameName(safe))?.[0];
  }

  // Takes `output` away. The outputs of its name whose first has changed:
  // where it was the first, all those left.
  delete(output) {
    const same = this.byName.get(output.key);
    const at = same ? same.indexOf(output) : -1;
    if (at < 0) return [];
    same.splice(at, 1);
    if (same.length === 0) this.byName.delete(output.key);
    return at === 0 ? [...same] : [];
  }

  get size() {
    return this.byName.size;
  }

  // The first of each name.
  kept() {
    return [...this.byName.values()].map((same) => same[0]);
  }
}
