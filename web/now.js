'use strict';
// The file converting, as the page shows it: its name, then the banner's
// words once the converter says them, a bar of the bytes read, and the bytes
// done of its size with the speed since it began.
const halvorineNow = (() => {
  const $ = (id) => document.getElementById(id);
  let began = 0;

  function progress(done, total) {
    const { formatBytes } = halvorineOutputs;
    const seconds = began ? (performance.now() - began) / 1000 : 0;
    $('bar').value = done;
    const speed = seconds > 0 ? `, ${formatBytes(done / seconds)}/s` : '';
    $('figures').textContent = `${formatBytes(done)} of ${formatBytes(total)}${speed}`;
  }

  function begin(file) {
    $('current').textContent = file.name;
    $('bar').max = Math.max(file.size, 1);
    began = performance.now();
    progress(0, file.size);
  }

  return Object.freeze({
    begin,
    progress,
    said: (words) => { $('current').textContent = words; },
    show: (converting) => { $('now').hidden = !converting; },
  });
})();
