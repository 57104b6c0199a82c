// The page's service worker: after one visit the page plays with no
// network. It keeps every file of one build in a cache named after the
// build's hash: the page and its manifest under their own names, the rest
// under their versioned addresses (NAME?v=HASH), which never change
// within a build. A new build's worker fills its own cache, then drops the
// others once it takes over, so that the files are updated as one.
//
// The page itself is asked of the network first (so that a new build is
// seen at once) and taken from the cache when there is none; every other
// file is taken from the cache first.
'use strict';

const bundle = null;  // { build, files }: written here by the build (tools/web/site.mjs)
const cacheName = `eyesonly-${bundle.build}`;

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(cacheName).then((cache) => cache.addAll(bundle.files)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((name) => name.startsWith('eyesonly-') && name !== cacheName)
      .map((name) => caches.delete(name))))
    .then(() => self.clients.claim()));
});

self.addEventListener('fetch', (event) => {
  const { request } = event;
  if (request.method !== 'GET') return;
  if (request.mode === 'navigate') {
    // Any address of the page (with its options and moment) is the page.
    event.respondWith(fetch(request).catch(async () => (await caches.open(cacheName)).match('./')
      ?? Response.error()));
    return;
  }
  event.respondWith(caches.open(cacheName).then((cache) => cache.match(request))
    .then((kept) => kept ?? fetch(request)));
});
