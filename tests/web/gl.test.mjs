// The browser's GL subset against the desktop's GL: the scenes of
// gl_scenes.cpp drawn by Mesa (PPMs from the gl_scenes test) and by the
// subset in headless chromium (gl_scenes.html from tests/web/web_tests.cmake)
// agree within 2 levels a channel on all but 0.5% of the pixels, and read
// back the same values.
//
//   GL_SCENES_DESKTOP  the PPMs' folder (build/tests/web/gl_scenes)
//   GL_SCENES_WEB      the page's folder (build-web-cmake/tests/web)
//   GL_SCENES_SAVE     if set, a folder for the browser's frames as PPMs
import assert from 'node:assert/strict';
import { existsSync } from 'node:fs';
import { readFile } from 'node:fs/promises';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import { compareFrame, openBrowser, readPpm, top, writePpm } from './browser.mjs';

const desktopDir = process.env.GL_SCENES_DESKTOP ?? join(top, 'build/tests/web/gl_scenes');
const webDir = process.env.GL_SCENES_WEB ?? join(top, 'build-web-cmake/tests/web');
const levels = 2;             // per channel
const allowedShare = 0.005;   // of the pixels beyond that

// Notes agree word by word, numbers within a thousandth.
function sameNotes(desktop, web) {
  const a = desktop.trim().split(/\s+/), b = web.trim().split(/\s+/);
  return a.length === b.length &&
    a.every((word, i) => word === b[i] || (isFinite(word) && isFinite(b[i]) && Math.abs(word - b[i]) <= 1e-3));
}

let browser, page;

before(async () => {
  assert.ok(existsSync(join(desktopDir, 'lit.ppm')), `no desktop frames in ${desktopDir}: run the gl_scenes test`);
  assert.ok(existsSync(join(webDir, 'gl_scenes.js')), `no page in ${webDir}: build gl_scenes_web`);
  browser = await openBrowser({ folder: webDir });
  page = await browser.browser.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto(browser.url + 'gl_scenes.html');
  await page.waitForFunction(() => window.glScenes.ready !== null, { timeout: 20000 });
  assert.equal(await page.evaluate(() => window.glScenes.ready), 'ok', errors.join('\n'));
});

after(async () => {
  await browser?.close();
});

test('the subset draws every scene as the desktop GL does', async () => {
  const count = await page.evaluate(() => window.glScenes.count());
  assert.ok(count >= 10, 'all scenes built into the page');
  const failures = [];
  for (let i = 0; i < count; ++i) {
    const scene = await page.evaluate((n) => window.glScenes.draw(n), i);
    const desktop = await readPpm(join(desktopDir, `${scene.name}.ppm`));
    const web = Buffer.from(scene.pixels, 'base64');
    if (process.env.GL_SCENES_SAVE)
      await writePpm(join(process.env.GL_SCENES_SAVE, `${scene.name}.ppm`), web, desktop.width, desktop.height, 3);
    const { beyond, share, largest } = compareFrame(web, desktop, levels, 3);
    console.log(`${scene.name}: ${beyond} pixels beyond ±${levels} (${(100 * share).toFixed(3)}%), largest ${largest}`);
    if (share > allowedShare) failures.push(`${scene.name}: ${beyond} pixels beyond ±${levels}`);
    const notes = await readFile(join(desktopDir, `${scene.name}.txt`), 'utf8');
    if (!sameNotes(notes, scene.notes)) failures.push(`${scene.name}: read back\n${scene.notes}\ninstead of\n${notes}`);
  }
  assert.deepEqual(failures, []);
});
