// The file converting, as the page shows it: its name, then the banner's
// words once the converter says them, a bar of the bytes read, and the bytes
// done of its size with the speed since it began; and the picks being
// looked through or planned, each with its count.
import { formatBytes, put } from './words.js';

const $ = (id) => document.getElementById(id);
let began = 0;
let names = [];  // in the words shown: the file's, then its output's once opened
let words = '';

// `closing`: all read, the output being closed, which for a large one
// written into a folder takes the browser a while at the full bar.
export function progress(done, total, closing = false) {
  const seconds = began ? (performance.now() - began) / 1000 : 0;
  $('bar').value = done;
  const speed = seconds > 0 ? `, ${formatBytes(done / seconds)}/s` : '';
  $('figures').textContent = closing ? `${formatBytes(total)} read. Finishing…` : `${formatBytes(done)} of ${formatBytes(total)}${speed}`;
}

export function begin(file) {
  names = [file.name];
  words = file.name;
  put($('current'), words, names);
  $('bar').max = Math.max(file.size, 1);
  began = performance.now();
  progress(0, file.size);
}

// The converter's words about the file converting.
export function said(text) {
  words = text;
  put($('current'), words, names);
}

// The output's name, in the banner already shown.
export function opened(output) {
  names = [names[0], output];
  put($('current'), words, names);
}

// `converting`: whether anything converts or is looked through;
// `files`: whether a file converts; `underway`: the words of each pick
// being looked through or planned.
export function show(converting, files, underway) {
  $('now').hidden = !converting;
  for (const id of ['current', 'bar', 'figures']) $(id).hidden = !files;
  const lines = $('underway');
  if (lines.childElementCount === underway.length && underway.every((words, k) => lines.children[k].textContent === words)) return;
  lines.replaceChildren(...underway.map((words) => Object.assign(document.createElement('p'), { textContent: words })));
}
