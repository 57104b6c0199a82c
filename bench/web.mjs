// The browser build's figures (bench/run prints them with its goals):
//   web-first-frame-ms  page load to the first frame drawn, Play pressed at once,
//                       and where that time went, from the steps the page
//                       and the program mark on the performance timeline
//   web-bundle-kb       everything the page downloads, gzipped, with its parts
//   web-single-file-kb  the one-file page (eyesonly.html), gzipped
//   web-fps             the page's frames a second on the fixed-step clock in
//                       SwiftShader (one a browser's animation frame, so at
//                       most 60), beside the native program's headless rate
//   web-jump-ms         on the real clock, the position bar's jump from the
//                       start to 140 s: the frames it runs through, until
//                       the first frame at 140 s is shown
// One line per figure, "<name> <value> <words>", medians over RUNS runs.
//   node bench/web.mjs [RUNS]
import { readFile, readdir } from 'node:fs/promises';
import { join } from 'node:path';
import { gzipSync } from 'node:zlib';

import { nativeBuild, openBrowser, run, site, waitForEnd } from '../tests/web/browser.mjs';

const runs = Number(process.argv[2] || 3);
const median = (values) => {
  const v = [...values].sort((a, b) => a - b);
  return v.length % 2 ? v[(v.length - 1) / 2] : (v[v.length / 2 - 1] + v[v.length / 2]) / 2;
};

// 1. The bundle, by part.
const parts = { wasm: 0, js: 0, data: 0, page: 0, later: 0 };  // later: fetched after the first frame
for (const name of await readdir(site)) {
  if (name === 'eyesonly.html') continue;  // the one-file page, measured alone below
  const size = gzipSync(await readFile(join(site, name)), { level: 9 }).length;
  const part = name.endsWith('.wasm') ? 'wasm' : name.endsWith('.data') ? 'data'
    : name.startsWith('eyesonly') && name.endsWith('.js') ? 'js' : /^(stills|icon-)/.test(name) ? 'later' : 'page';
  parts[part] += size;
}
const total = Object.values(parts).reduce((a, b) => a + b, 0);
const kb = (n) => (n / 1024).toFixed(0);
console.log(`web-bundle-kb ${kb(total)} gzipped: wasm ${kb(parts.wasm)}, js ${kb(parts.js)}, ` +
            `data ${kb(parts.data)}, page ${kb(parts.page)}, the bar's stills and the icon ${kb(parts.later)}`);
const single = await readFile(join(site, 'eyesonly.html')).catch(() => null);
console.log(single ? `web-single-file-kb ${kb(gzipSync(single, { level: 9 }).length)} gzipped, ` +
                     `${kb(single.length)} as it is`
                   : 'web-single-file-kb MISSED (no build-web/eyesonly.html)');

// 2. First frame and frame rate, in one browser. The first page a browser
//    opens also starts its own GPU process and caches, which a visitor's
//    running browser has: one page is played first, unmeasured.
//    Each page measures a visit before the page's service worker: it
//    forgets the worker it set up after its first frame, and what that kept.
const browser = await openBrowser();
const forgetWorker = (page) => page.evaluate(async () => {
  await (await navigator.serviceWorker.ready).unregister();
  await Promise.all((await caches.keys()).map((name) => caches.delete(name)));
});
const warmUp = await browser.openPage('?fps=60&until=0', { pressPlay: true });
await waitForEnd(warmUp);
await forgetWorker(warmUp);
await warmUp.close();
const firsts = [];
// The way to the first frame, step by step: each step ends at its mark.
const steps = [
  ['download and compile', 'eyesonly: download'],
  ['program loaded', 'eyesonly: program'],
  ['program ready', 'eyesonly: ready'],
  ['Play pressed (at once, from within the page)', 'eyesonly: play'],
  ['sound set up', 'eyesonly: sound set up'],
  ['start-up', 'eyesonly: started'],
  ['first frame drawn at the next animation frame', 'eyesonly: first frame'],
];
const stepTimes = steps.map(() => []);
const rates = [];
const jumps = [];
const seconds = 20;
const fps = 60;
for (let i = 0; i < runs; i++) {
  const page = await browser.openPage(`?fps=${fps}&until=0`, { pressPlay: true });
  await waitForEnd(page);
  firsts.push(await page.evaluate(() => eyesonlyPage.kept.firstFrameMs));
  // The download's end is the last of the three files to come whole.
  const marks = await page.evaluate(() => Object.fromEntries(performance.getEntriesByType('mark')
    .map((mark) => [mark.name, mark.startTime])));
  marks['eyesonly: download'] = Math.max(...['wasm', 'data', 'js'].map((x) => marks[`eyesonly: eyesonly.${x} whole`]));
  let before = 0;
  steps.forEach(([, mark], k) => {
    stepTimes[k].push(marks[mark] - before);
    before = marks[mark];
  });
  await forgetWorker(page);
  await page.close();

  const timed = await browser.openPage(`?fps=${fps}&until=${seconds}`);
  const started = Date.now();
  await timed.click('#play');
  await waitForEnd(timed);
  const frames = await timed.evaluate(() => eyesonlyPage.kept.framesShown);
  rates.push(frames / ((Date.now() - started) / 1000));
  await forgetWorker(timed);
  await timed.close();

  const player = await browser.openPage('');
  await player.click('#play');
  await player.waitForFunction(() => eyesonlyPage.kept.framesShown >= 2);
  // The frames a jump runs through are not shown: the next one shown is at 140 s.
  jumps.push(await player.evaluate((second) => new Promise((done) => {
    const shownBefore = eyesonlyPage.kept.framesShown;
    const began = performance.now();
    Module._eyesonlyJumpTo(second);
    const look = () => (eyesonlyPage.kept.framesShown > shownBefore ? done(performance.now() - began)
                                                                     : requestAnimationFrame(look));
    requestAnimationFrame(look);
  }), 140));
  await player.keyboard.press('Escape');
  await waitForEnd(player);
  await forgetWorker(player);
  await player.close();
}
await browser.close();

const nativeRates = [];
for (let i = 0; i < runs; i++) {
  const started = Date.now();
  await run(join(nativeBuild, 'eyesonly'), ['--headless', '--fps', String(fps), '--until', String(seconds)],
            { cwd: nativeBuild });
  nativeRates.push((seconds * fps + 1) / ((Date.now() - started) / 1000));
}
console.log(`web-first-frame-ms ${median(firsts).toFixed(0)} from the page's load, Play pressed at once: ` +
            steps.map(([name], k) => `${name} ${median(stepTimes[k]).toFixed(0)}`).join(', ') + ' (medians)');
console.log(`web-jump-ms ${median(jumps).toFixed(0)} for the position bar's jump from the start to 140 s ` +
            '(8400 frames run through at 60 a second, then the frame at 140 s shown)');
console.log(`web-fps ${median(rates).toFixed(1)} frames a second in SwiftShader, the first ${seconds} s at ${fps} fps ` +
            `(one frame an animation frame: at most the browser's 60); ` +
            `native headless ${median(nativeRates).toFixed(1)} in the same run`);
