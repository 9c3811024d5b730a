// A new build of the page, offered, never forced: reloading leaves the page,
// and with it every output not saved yet, so the offer counts them and asks
// first; and it waits while a file converts. Closing the tab would lose them
// as well: the browser asks first there too. While open, the page holds its
// build's lock, so that the service worker keeps that build's files.
import { build, buildQuery } from './converter.js';
import { kinds } from './messages.js';
import { unsaved as notSaved } from './outputs.js';

const $ = (id) => document.getElementById(id);
let newBuild = null;  // the registration whose newer build is ready
let converting = false;
let reloading = false;

export function show(now = converting) {
  converting = now;
  if (!newBuild) return;
  $('update').hidden = false;
  const unsaved = notSaved();
  $('reload').disabled = converting;
  $('unsaved').textContent = [
    converting ? 'Reload once the conversions end.' : '',
    unsaved > 0 ? `${unsaved} converted ${unsaved === 1 ? 'file is' : 'files are'} not saved yet.` : '',
  ].filter(Boolean).join(' ');
  if (converting || unsaved === 0) $('discarding').hidden = true;
}

function reload() {
  reloading = true;
  const waiting = newBuild.waiting;
  if (waiting) waiting.postMessage({ kind: kinds.takeOver, job: 0 });
  else location.reload();  // another page of this build has taken it over
}

function watch(registration) {
  // This page's own service worker, not one of a folder above it.
  const ours = () => navigator.serviceWorker.controller?.scriptURL === new URL('sw.js', location.href).href;
  const controlled = ours();
  const offer = () => {
    newBuild = registration;
    show();
  };
  if (registration.waiting && controlled) offer();
  const installed = (installing) => installing?.addEventListener('statechange', () => {
    if (installing.state === 'installed' && ours()) offer();
  });
  // One may be installing already, found before the page asked.
  installed(registration.installing);
  registration.addEventListener('updatefound', () => installed(registration.installing));
  navigator.serviceWorker.addEventListener('controllerchange', () => {
    if (reloading) location.reload();
    else if (controlled) offer();
  });
  $('reload').addEventListener('click', () => {
    const unsaved = notSaved();
    if (unsaved === 0) {
      reload();
      return;
    }
    $('discard-words').textContent = `Reloading discards ${unsaved === 1 ? 'the converted file' : `the ${unsaved} converted files`}` +
      ' not saved yet.';
    $('discarding').hidden = false;
  });
  $('reload-anyway').addEventListener('click', reload);
  $('keep').addEventListener('click', () => { $('discarding').hidden = true; });
}

// Resolves once the page holds its build's shared lock (at once where
// there are no locks or no build): from then on no other page's tidying
// can take this build's files, so the worker starts only after it. Once
// held, caches no page uses can go.
export async function hold() {
  if (!navigator.locks || !buildQuery || location.protocol === 'file:') return;
  const scope = new URL('.', location.href).href;
  await new Promise((held) => {
    navigator.locks.request(`halvorine-build ${scope} ${build}`, { mode: 'shared' }, () => {
      held();
      return new Promise(() => {});
    }).catch(held);
  });
  navigator.serviceWorker?.controller?.postMessage({ kind: kinds.tidy, job: 0 });
}

// Installable and kept for use with no network, where served: a file://
// page may not even read its manifest.
export function register() {
  if (location.protocol === 'file:') return;
  const manifest = document.createElement('link');
  manifest.rel = 'manifest';
  manifest.href = 'manifest.webmanifest';
  document.head.append(manifest);
  navigator.serviceWorker?.register('sw.js').then(watch, () => {});
}

// Reloading by the offer has asked already.
window.addEventListener('beforeunload', (event) => {
  if (reloading || (!converting && notSaved() === 0)) return;
  event.preventDefault();
  event.returnValue = '';
});

