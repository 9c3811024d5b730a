// Keeps the page's own files, so that once opened it loads and converts with
// no network. Each build's files are kept in a cache of their own, named by
// the build's version (written in when the site is made). A new build waits
// until no page of the old one is open, or until a page asks it to take over
// as it reloads; even then each open page of an older build is served its
// own build's files, which it asks for by name (?build=VERSION), for as long
// as it is open. A build's cache goes once no open page uses it: each page
// holds a shared Web Lock named by its build while it is open.
import { kinds } from './messages.js';

const version = '@VERSION@';
const scope = self.registration.scope;
// Per scope: two copies of the page on one origin keep their caches apart.
const cachePrefix = `halvorine ${scope} `;
const cacheName = cachePrefix + version;
// The files are those the version is made of, written in with it.
const files = ['./', ...'@FILES@'.split(' ')];
const inUse = (build) => `halvorine-build ${scope} ${build}`;

// The build's version as pack.py makes it: of each cached file's name and
// bytes, in the listed order, the stamped ones read with their stamp.
async function versionOf(bodies) {
  const text = new TextEncoder();
  const mark = text.encode(version);
  const stamp = text.encode(['@', 'VERSION@'].join(''));  // in two, or pack.py would stamp it too
  const parts = [];
  files.slice(1).forEach((name, k) => {
    const body = bodies[k + 1];
    parts.push(text.encode(name), new Uint8Array(1));
    let from = 0;
    for (let at = body.indexOf(mark[0]); at !== -1; at = body.indexOf(mark[0], at + 1)) {
      if (at >= from && mark.every((b, i) => body[at + i] === b)) {
        parts.push(body.subarray(from, at), stamp);
        from = at + mark.length;
      }
    }
    parts.push(body.subarray(from));
  });
  const digest = await crypto.subtle.digest('SHA-256', await new Blob(parts).arrayBuffer());
  return [...new Uint8Array(digest)].map((b) => b.toString(16).padStart(2, '0')).join('').slice(0, 16);
}

// Cached only where what the network gave is this build: a host half way
// through publishing the next one, or an HTTP cache in between, could
// otherwise mix two builds in one cache for good. A mismatch fails the
// install, and the browser tries again at its next check.
async function install() {
  // Past the HTTP cache: a host's max-age must not mix an older build's
  // files into this build's cache.
  const responses = await Promise.all(files.map(async (file) => {
    const response = await fetch(new Request(file, { cache: 'reload' }));
    if (!response.ok) throw new Error(`${file}: ${response.status}`);
    return response;
  }));
  const bodies = await Promise.all(responses.map(async (r) => new Uint8Array(await r.clone().arrayBuffer())));
  const page = bodies[files.indexOf('index.html')];
  if (await versionOf(bodies) !== version || bodies[0].length !== page.length || bodies[0].some((b, i) => b !== page[i])) {
    throw new Error('the files served are not all of this build');
  }
  const cache = await caches.open(cacheName);
  await Promise.all(files.map((file, k) => cache.put(file, responses[k])));
}

self.addEventListener('install', (event) => event.waitUntil(install()));

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
  if (kind === kinds.takeOver) event.waitUntil(self.skipWaiting());
  else if (kind === kinds.tidy) event.waitUntil(tidy());
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
