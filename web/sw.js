'use strict';
// Keeps the page's own files, so that once opened it loads and converts with
// no network. Each build's files are kept in a cache of their own, named by
// the build's version (written in when the site is made). A new build waits
// until no page of the old one is open, or until a page asks it to take over
// as it reloads; even then each open page of an older build is served its
// own build's files, which it asks for by name (?build=VERSION), for as long
// as it is open. A build's cache goes once no open page uses it: each page
// holds a shared Web Lock named by its build while it is open.
importScripts('messages.js');
const version = '@VERSION@';
const scope = self.registration.scope;
// Per scope: two copies of the page on one origin keep their caches apart.
const cachePrefix = `halvorine ${scope} `;
const cacheName = cachePrefix + version;
// The files are those the version is made of, written in with it.
const files = ['./', ...'@FILES@'.split(' ')];
const inUse = (build) => `halvorine-build ${scope} ${build}`;

self.addEventListener('install', (event) => {
  // Past the HTTP cache: a host's max-age must not mix an older build's
  // files into this build's cache.
  const fresh = files.map((file) => new Request(file, { cache: 'reload' }));
  event.waitUntil(caches.open(cacheName).then((cache) => cache.addAll(fresh)));
});

// The caches of older builds that no open page holds. Where the browser has
// no locks here, they stay: better kept than taken from a page using them.
async function tidy() {
  if (!self.navigator.locks) return;
  const held = new Set((await navigator.locks.query()).held.map((lock) => lock.name));
  for (const name of await caches.keys()) {
    if (name.startsWith(cachePrefix) && name !== cacheName && !held.has(inUse(name.slice(cachePrefix.length)))) {
      await caches.delete(name);
    }
  }
}

self.addEventListener('activate', (event) => event.waitUntil(tidy()));

self.addEventListener('message', (event) => {
  const kind = event.data?.kind;
  if (kind === halvorineMessages.takeOver) event.waitUntil(self.skipWaiting());
  else if (kind === halvorineMessages.tidy) event.waitUntil(tidy());
});

// A page asks by its build; where that build's files are gone, it gets
// none rather than another build's, which its own might not work with.
async function serve(request) {
  const build = new URL(request.url).searchParams.get('build');
  const name = build ? cachePrefix + build : cacheName;
  if (build && build !== version && !(await caches.has(name))) return Response.error();
  const hit = await (await caches.open(name)).match(request, { ignoreSearch: true });
  return hit || fetch(request);
}

// The page's own files only; anything else is left to the browser.
self.addEventListener('fetch', (event) => {
  const { request } = event;
  if (request.method !== 'GET' || new URL(request.url).origin !== location.origin) return;
  event.respondWith(serve(request));
});
