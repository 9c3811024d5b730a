'use strict';
// Keeps the page's own files, so that once opened it loads and converts with
// no network. The cache is named by the build (the version below is written
// in when the site is made): a new build's worker fills a cache of its own
// and removes the old ones once it takes over.
const version = '@VERSION@';
// Per scope: two copies of the page on one origin keep their caches apart.
const cachePrefix = `halvorine ${self.registration.scope} `;
const cacheName = cachePrefix + version;
// The files are those the version is made of, written in with it.
const files = ['./', ...'@FILES@'.split(' ')];

self.addEventListener('install', (event) => {
  // Past the HTTP cache: a host's max-age must not mix an older build's
  // files into this build's cache.
  const fresh = files.map((file) => new Request(file, { cache: 'reload' }));
  event.waitUntil(caches.open(cacheName).then((cache) => cache.addAll(fresh)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((n) => n.startsWith(cachePrefix) && n !== cacheName)
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
