'use strict';
// Keeps the page's own files, so that once opened it loads and converts with
// no network. The cache is named by the build (the version below is written
// in when the site is made): a new build's worker fills a cache of its own
// and removes the old ones once it takes over.
const version = '@VERSION@';
const cacheName = `halvorine-${version}`;
const files = ['./', 'index.html', 'storage.js', 'page.js', 'style.css', 'worker.js', 'halvorine.js',
  'halvorine.wasm', 'manifest.webmanifest', 'icon.svg', 'icon-192.png', 'icon-512.png'];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(cacheName).then((cache) => cache.addAll(files)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((n) => n.startsWith('halvorine-') && n !== cacheName)
      .map((n) => caches.delete(n))))
    .then(() => self.clients.claim()));
});

// The page's own files only; anything else is left to the browser.
self.addEventListener('fetch', (event) => {
  const { request } = event;
  if (request.method !== 'GET' || new URL(request.url).origin !== location.origin) return;
  event.respondWith(caches.open(cacheName)
    .then((cache) => cache.match(request, { ignoreSearch: true }))
    .then((hit) => hit || fetch(request)));
});
