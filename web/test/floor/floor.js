'use strict';
// Starts a bare worker for the picked file; its seconds go into the page.
const f = document.getElementById('f');
f.onchange = () => {
  const w = new Worker('floor-worker.js');
  w.onmessage = ({ data }) => { document.body.dataset.seconds = data; w.terminate(); };
  w.postMessage({ file: f.files[0], memory: document.body.dataset.memory === 'true' });
  f.value = '';
};
