// Finishes the five-file page in the site folder, once its files are
// there: the build's hash over every file of the bundle, the page
// (index.html) asking for each file as NAME?v=HASH, the web app manifest
// with the show's icons, and the service worker that keeps them all.
//
//   node tools/web/site.mjs PAGE_FOLDER SITE_FOLDER
//
// A file's versioned address names its content for ever: a static host or
// a CDN may keep it for a year (serve.mjs sends the headers a host should).
// The page, the manifest and the worker keep their names and are asked
// for anew on every visit.
import { createHash } from 'node:crypto';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

import { stillLayout } from './stills.mjs';

const [pageFolder, site] = process.argv.slice(2);
if (!site) {
  console.error('usage: site.mjs PAGE_FOLDER SITE_FOLDER');
  process.exit(2);
}
const showName = '.. for your eyes only ..';
const bundleFiles = ['eyesonly.js', 'eyesonly.wasm', 'eyesonly.data', 'page.js', 'sound.js', 'stills.png',
  'icon-192.png'];

// The hash also covers the page and the worker as written, so that a change
// to either alone is a new build too.
const hash = createHash('sha256');
for (const name of bundleFiles) hash.update(name).update('\0').update(readFileSync(join(site, name)));
for (const name of ['index.html', 'sw.js']) hash.update(name).update('\0').update(readFileSync(join(pageFolder, name)));
const build = hash.digest('hex').slice(0, 16);
const versioned = (name) => `${name}?v=${build}`;

// The manifest: installed, the show opens in a window of its own, black.
const manifest = {
  name: showName,
  short_name: 'eyesonly',
  start_url: './',
  scope: './',
  display: 'standalone',
  background_color: '#000000',
  theme_color: '#000000',
  icons: [{ src: versioned('icon-192.png'), sizes: '192x192', type: 'image/png', purpose: 'any' }],
};
writeFileSync(join(site, 'manifest.webmanifest'), JSON.stringify(manifest, null, 2) + '\n');

// The page: its scripts versioned; the build, the stills' layout and the
// manifest in its head.
let html = readFileSync(join(pageFolder, 'index.html'), 'utf8');
let scripts = 0;
html = html.replace(/<script src="([^"]+)"><\/script>/g, (_, name) => {
  scripts++;
  return `<script src="${versioned(name)}"></script>`;
});
const stills = { file: versioned('stills.png'), ...stillLayout };
const head = [
  `<meta name="eyesonly-build" content="${build}">`,
  `<meta name="eyesonly-stills" content='${JSON.stringify(stills)}'>`,
  '<link rel="manifest" href="manifest.webmanifest">',
  `<link rel="apple-touch-icon" href="${versioned('icon-192.png')}">`,
  '<meta name="theme-color" content="#000000">',
].join('\n');
if (scripts !== 2 || !html.includes('</head>')) {
  console.error(`site: ${pageFolder}/index.html does not load sound.js and page.js as expected (${scripts} scripts)`);
  process.exit(1);
}
html = html.replace('</head>', `${head}\n</head>`).replace('<link rel="icon" href="data:,">',
                                                         `<link rel="icon" href="${versioned('icon-192.png')}">`);
writeFileSync(join(site, 'index.html'), html);

// The worker, with the build and the files it keeps.
const files = ['./', 'manifest.webmanifest', ...bundleFiles.map(versioned)];
const worker = readFileSync(join(pageFolder, 'sw.js'), 'utf8');
const written = worker.replace(/^const bundle = null;.*$/m, `const bundle = ${JSON.stringify({ build, files })};`);
if (written === worker) {
  console.error(`site: ${pageFolder}/sw.js has no "const bundle = null;" line`);
  process.exit(1);
}
writeFileSync(join(site, 'sw.js'), written);
console.log(`site: build ${build}`);
