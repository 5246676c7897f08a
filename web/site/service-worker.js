// Keeps the page and everything it needs, so that after one visit it opens
// and works with no network. The build names the cache after the page's
// contents: a new page replaces the old cache on its first visit.
"use strict";
const CACHE = "morlevix-@PAGE_HASH@";
const FILES = ["./index.html", "./manifest.webmanifest", "./icon-192.png", "./icon-512.png",
  "./icon-maskable-512.png", "./apple-touch-icon.png"];

self.addEventListener("install", (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener("activate", (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((n) => n.startsWith("morlevix-") && n !== CACHE).map((n) => caches.delete(n))))
    .then(() => self.clients.claim()));
});

// The page's own files from the cache, whatever the query (index.html?k7=...),
// and the page for the folder itself; anything else, a linked tape among
// them, from the network as usual.
self.addEventListener("fetch", (event) => {
  const url = new URL(event.request.url);
  if (event.request.method !== "GET" || url.origin !== self.location.origin) return;
  event.respondWith(caches.open(CACHE).then(async (cache) => {
    const kept = await cache.match(event.request, { ignoreSearch: true });
    if (kept) return kept;
    if (event.request.mode === "navigate" && url.pathname.endsWith("/")) {
      const page = await cache.match("./index.html");
      if (page) return page;
    }
    return fetch(event.request);
  }));
});
