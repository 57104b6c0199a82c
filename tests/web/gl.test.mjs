// The browser's GL subset against the desktop's GL: the scenes of
// gl_scenes.cpp drawn by Mesa (PPMs from the gl_scenes test) and by the
// subset in headless chromium (gl_scenes.html from tests/web/web_tests.cmake)
// agree within 2 levels a channel on all but 0.5% of the pixels, and read
// back the same values.
//
//   GL_SCENES_DESKTOP  the PPMs' folder (build/tests/web/gl_scenes)
//   GL_SCENES_WEB      the page's folder (build-web-cmake/tests/web)
//   GL_SCENES_SAVE     if set, a folder for the browser's frames as PPMs
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { createServer } from 'node:http';
import { existsSync, readFileSync, writeFileSync } from 'node:fs';
import { join, extname, resolve, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = fileURLToPath(new URL('../..', import.meta.url));
const require = createRequire(join(root, 'tools/web/package.json'));
const puppeteer = require('puppeteer-core');

const desktopDir = process.env.GL_SCENES_DESKTOP ?? join(root, 'build/tests/web/gl_scenes');
const webDir = process.env.GL_SCENES_WEB ?? join(root, 'build-web-cmake/tests/web');
const width = 640, height = 480;
const levels = 2;             // per channel
const allowedShare = 0.005;   // of the pixels beyond that

const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };

// The page's folder over HTTP on a free local port.
function serve(dir) {
  const server = createServer((request, response) => {
    const path = resolve(dir, '.' + decodeURIComponent(new URL(request.url, 'http://x').pathname));
    try {
      if (!path.startsWith(resolve(dir) + sep)) throw new Error('outside');
      const body = readFileSync(path);
      response.writeHead(200, { 'Content-Type': types[extname(path)] ?? 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  return new Promise((done) => server.listen(0, '127.0.0.1', () => done(server)));
}

// A binary PPM's pixels, top row first.
function readPpm(path) {
  const data = readFileSync(path);
  const header = data.subarray(0, 64).toString('latin1').match(/^P6\s+(\d+)\s+(\d+)\s+255\s/);
  assert.ok(header, `${path} is no 8-bit PPM`);
  assert.deepEqual([+header[1], +header[2]], [width, height], `${path}: size`);
  return data.subarray(header[0].length);
}

function savePpm(path, bottomFirst) {
  const rows = [];
  for (let y = height - 1; y >= 0; --y) rows.push(bottomFirst.subarray(y * width * 3, (y + 1) * width * 3));
  writeFileSync(path, Buffer.concat([Buffer.from(`P6\n${width} ${height}\n255\n`), ...rows]));
}

// Pixels where some channel differs by more than `levels`; the page's rows
// come bottom first.
function countBeyond(desktop, bottomFirst) {
  let beyond = 0, largest = 0;
  const row = width * 3;
  for (let y = 0; y < height; ++y) {
    const d = y * row, w = (height - 1 - y) * row;
    for (let x = 0; x < row; x += 3) {
      let worst = 0;
      for (let c = 0; c < 3; ++c) worst = Math.max(worst, Math.abs(desktop[d + x + c] - bottomFirst[w + x + c]));
      if (worst > levels) ++beyond;
      largest = Math.max(largest, worst);
    }
  }
  return { beyond, largest };
}

// Notes agree word by word, numbers within a thousandth.
function sameNotes(desktop, web) {
  const a = desktop.trim().split(/\s+/), b = web.trim().split(/\s+/);
  return a.length === b.length &&
    a.every((word, i) => word === b[i] || (isFinite(word) && isFinite(b[i]) && Math.abs(word - b[i]) <= 1e-3));
}

let server, browser, page;

before(async () => {
  assert.ok(existsSync(join(desktopDir, 'lit.ppm')), `no desktop frames in ${desktopDir}: run the gl_scenes test`);
  assert.ok(existsSync(join(webDir, 'gl_scenes.js')), `no page in ${webDir}: build gl_scenes_web`);
  server = await serve(webDir);
  browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--disable-background-networking', '--autoplay-policy=no-user-gesture-required'],
  });
  page = await browser.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto(`http://127.0.0.1:${server.address().port}/gl_scenes.html`);
  await page.waitForFunction(() => window.glScenes.ready !== null, { timeout: 20000 });
  assert.equal(await page.evaluate(() => window.glScenes.ready), 'ok', errors.join('\n'));
});

after(async () => {
  await browser?.close();
  server?.close();
});

test('the subset draws every scene as the desktop GL does', async () => {
  const count = await page.evaluate(() => window.glScenes.count());
  assert.ok(count >= 9, 'all scenes built into the page');
  const failures = [];
  for (let i = 0; i < count; ++i) {
    const scene = await page.evaluate((n) => window.glScenes.draw(n), i);
    const desktop = readPpm(join(desktopDir, `${scene.name}.ppm`));
    const web = Buffer.from(scene.pixels, 'base64');
    if (process.env.GL_SCENES_SAVE) savePpm(join(process.env.GL_SCENES_SAVE, `${scene.name}.ppm`), web);
    const { beyond, largest } = countBeyond(desktop, web);
    const share = beyond / (width * height);
    console.log(`${scene.name}: ${beyond} pixels beyond ±${levels} (${(100 * share).toFixed(3)}%), largest ${largest}`);
    if (share > allowedShare) failures.push(`${scene.name}: ${beyond} pixels beyond ±${levels}`);
    const notes = readFileSync(join(desktopDir, `${scene.name}.txt`), 'utf8');
    if (!sameNotes(notes, scene.notes)) failures.push(`${scene.name}: read back\n${scene.notes}\ninstead of\n${notes}`);
  }
  assert.deepEqual(failures, []);
});
