// The show in real browsers, held to the desktop program at the same frame
// rate: in each engine one page runs the whole show on the fixed-step clock
// at 10 frames a second, and its frames, its timeline and its sound are
// compared with showframe, --trace and a capture's soundtrack. More pages
// in chromium check the keys (Escape, Play again, full screen), the real
// clock's sound and a page from another host.
import assert from 'node:assert/strict';
import { mkdir, mkdtemp, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';

import {
  compareFrame, engines, fetchBytes, openBrowser, readPpm, readWavSamples, run, runNative, waitForEnd, writePpm,
} from './browser.mjs';

const fps = 10;
const moments = [1, 30, 61, 80, 115, 135];  // seconds into the show
const frameTolerance = 2;                   // levels a channel
const frameShareAllowed = 0.005;            // of the pixels, beyond the tolerance
const soundTolerance = 1;                   // levels a sample

let scratch;
let references;  // the desktop's trace, capture and frames, made once for every engine

before(async () => {
  scratch = await mkdtemp(join(tmpdir(), 'eyesonly-web-'));
  // The desktop's references, made while the first page runs, two at a
  // time (runNative: the test build's programs may run them).
  await mkdir(join(scratch, 'no-user-data'));
  const native = (args) => runNative(args[0], args.slice(1), join(scratch, 'no-user-data'));
  const made = Promise.all([
    (async () => {
      const trace = (await native(['eyesonly', '--headless', '--fps', String(fps), '--trace'])).stdout;
      await native(['eyesonly', '--headless', '--fps', String(fps), '--capture', join(scratch, 'capture') + '/']);
      return trace;
    })(),
    (async () => {
      for (const at of moments)
        await native(['showframe', '--fps', String(fps), String(at), join(scratch, `${at}.ppm`)]);
    })(),
  ]);
  // A reference that fails is reported once a page is done.
  made.catch(() => {});
  references = made.then(([trace]) => trace);
});

after(async () => {
  if (scratch) await rm(scratch, { recursive: true, force: true });
});

// The whole show on one page of a browser of this engine: its trace,
// frames at the moments and sound, and the browser for more pages.
async function runWholeShow(browser) {
  const started = performance.now();
  const page = await browser.openPage(`?fps=${fps}&trace&keep&grab=${moments.join(',')}`);
  // The sound is compared too: Play once the output plays (a browser may
  // take over the page's second of waiting to open its first one).
  assert.equal(await page.evaluate(() => eyesonlyPage.prepareSound()), 'running');
  await page.click('#play');
  const ended = await waitForEnd(page);
  const seconds = (performance.now() - started) / 1000;
  // The time shown grows past 2:26 with the show's length at this rate.
  assert.equal(await page.$eval('#time', (t) => t.textContent), '2:29 / 2:29');
  const shown = await page.evaluate(() => eyesonlyPage.kept.frames.map((f) => f.clockMs));
  const pictures = [];
  for (let i = 0; i < shown.length; i++)
    pictures.push(await fetchBytes(page, `eyesonlyPage.kept.frames[${i}].pixels`));
  await page.evaluate(() => {
    const blocks = eyesonlyPage.kept.sound;
    const all = new Int16Array(blocks.reduce((n, b) => n + b.length, 0));
    let at = 0;
    for (const b of blocks) { all.set(b, at); at += b.length; }
    window.keptSound = all;
  });
  const soundBytes = await fetchBytes(page, 'window.keptSound');
  const framesShown = await page.evaluate(() => eyesonlyPage.kept.framesShown);
  await page.close();
  return {
    ended,
    shown,
    pictures,
    seconds,
    framesShown,
    sound: new Int16Array(soundBytes.buffer, soundBytes.byteOffset, soundBytes.length / 2),
    trace: browser.console.filter((m) => m.type === 'log').map((m) => m.text + '\n').join(''),
    nativeTrace: await references,
  };
}

for (const engine of engines) {
  describe(`the whole show in ${engine}`, () => {
    let browser;
    let whole;  // what the page of the whole show left: trace, frames, sound, console
    before(async () => {
      browser = await openBrowser({ engine });
      whole = await runWholeShow(browser);
      console.log(`${engine}: the whole show at ${fps} fps in ${whole.seconds.toFixed(1)} s, ` +
                  `${(whole.framesShown / whole.seconds).toFixed(1)} frames a second`);
    });
    after(() => browser && browser.close());

    test('the page runs the whole show to its own end', () => {
      assert.deepEqual(whole.ended, { exitCode: 0, escaped: false });
    });

    test('its timeline is the desktop program\'s, line for line', () => {
      assert.ok(whole.nativeTrace.length > 0);
      assert.equal(whole.trace, whole.nativeTrace);
    });

    test('its frames are the desktop\'s at six moments', async () => {
      let failures = 0;
      assert.equal(whole.shown.length, moments.length);
      for (const [i, at] of moments.entries()) {
        assert.ok(whole.shown[i] >= 1000 + at * 1000 && whole.shown[i] < 1000 + at * 1000 + 1000 / fps,
                  `frame for ${at} s drawn at ${whole.shown[i]} ms`);
        const reference = await readPpm(join(scratch, `${at}.ppm`));
        const result = compareFrame(whole.pictures[i], reference, frameTolerance);
        // EYESONLY_WEB_FRAMES=DIR keeps both pictures of every moment there.
        if (process.env.EYESONLY_WEB_FRAMES) {
          const dir = process.env.EYESONLY_WEB_FRAMES;
          await writePpm(join(dir, `${engine}-${at}.ppm`), whole.pictures[i], reference.width, reference.height);
          await run('cp', [join(scratch, `${at}.ppm`), join(dir, `desktop-${at}.ppm`)]);
        }
        console.log(`${engine} frame at ${at} s: ${result.beyond} pixels beyond ±${frameTolerance} ` +
                    `(${(result.share * 100).toFixed(3)}%), largest difference ${result.largest}`);
        failures += result.share <= frameShareAllowed ? 0 : 1;
        assert.ok(result.share <= frameShareAllowed || process.env.EYESONLY_WEB_FRAMES,
                  `frame at ${at} s: ${(result.share * 100).toFixed(3)}% of pixels beyond ±${frameTolerance}`);
      }
      assert.equal(failures, 0);
    });

    test('its sound is the capture\'s soundtrack, over the whole show', async () => {
      const reference = await readWavSamples(join(scratch, 'capture', 'audio.wav'));
      const frameSamples = 2 * 44100 / fps;  // one frame's stereo samples
      assert.ok(Math.abs(whole.sound.length - reference.length) <= frameSamples,
                `page ${whole.sound.length} samples, capture ${reference.length}`);
      const length = Math.min(whole.sound.length, reference.length);
      let largest = 0;
      let loud = 0;
      for (let i = 0; i < length; i++) {
        largest = Math.max(largest, Math.abs(whole.sound[i] - reference[i]));
        if (reference[i] !== 0) loud++;
      }
      console.log(`${engine} sound: ${length / 2} frames compared, largest difference ${largest}`);
      assert.ok(loud > length / 4, 'the soundtrack is mostly silent');
      assert.ok(largest <= soundTolerance, `largest difference ${largest}`);
    });

    test('the page\'s own code says no error or warning on the console', () => {
      const complaints = browser.console.filter((m) => m.type === 'error' || m.type === 'warn' || m.type === 'warning');
      assert.deepEqual(complaints, []);
    });
  });
}

// The keys, the real clock and another host, in chromium.
describe('the player in chromium', () => {
  let browser;
  before(async () => { browser = await openBrowser(); });
  after(() => browser && browser.close());

  test('Escape ends the show, Play again plays it from the start, Space pauses, and full screen keeps 4:3', async () => {
    const page = await browser.openPage(`?fps=${fps}&trace`);
    await page.click('#play');
    await page.waitForFunction(() => eyesonlyPage.kept.framesShown >= 5);
    await page.keyboard.press('Escape');
    assert.deepEqual(await waitForEnd(page), { exitCode: 27, escaped: true });
    assert.equal(await page.$eval('#play', (b) => b.textContent), 'Play again');
    assert.equal(await page.$eval('#panel', (p) => p.hidden), false);

    await page.evaluate(() => { eyesonlyPage.kept.ended = null; });
    await page.click('#play');
    await page.waitForFunction(() => eyesonlyPage.kept.framesShown >= 10 && eyesonlyPage.kept.runStarts.length === 2);
    // The fixed-step clock reads 1000 at a run's first frame.
    assert.deepEqual(await page.evaluate(() => eyesonlyPage.kept.runStarts), [1000, 1000]);
    assert.equal(await page.$eval('#panel', (p) => p.hidden), true);

    await page.close();

    // On the real clock Space pauses (nothing more is drawn, the title says
    // so) and plays on.
    const player = await browser.openPage('');
    await player.click('#play');
    await player.waitForFunction(() => eyesonlyPage.kept.framesShown >= 5);
    await player.keyboard.press('Space');
    await player.waitForFunction(() => document.title === '.. for your eyes only .. (paused)');
    const paused = await player.evaluate(() => eyesonlyPage.kept.framesShown);
    await new Promise((done) => setTimeout(done, 500));
    assert.equal(await player.evaluate(() => eyesonlyPage.kept.framesShown), paused);
    await player.keyboard.press('Space');
    await player.waitForFunction((n) => eyesonlyPage.kept.framesShown > n + 5, {}, paused);
    assert.equal(await player.title(), '.. for your eyes only ..');

    await player.keyboard.press('f');
    await player.waitForFunction(() => document.fullscreenElement !== null, { timeout: 10000 });
    const box = await player.$eval('#canvas', (c) => { const r = c.getBoundingClientRect(); return [r.width, r.height]; });
    assert.ok(Math.abs(box[0] * 3 - box[1] * 4) <= 4, `canvas ${box[0]} x ${box[1]} in full screen`);
    await player.keyboard.press('Escape');
    assert.deepEqual(await waitForEnd(player), { exitCode: 27, escaped: true });
    await player.close();
  });

  test('on the real clock the sound is mixed a little ahead of what is played', async () => {
    const page = await browser.openPage('?until=2&keep');
    await page.click('#play');
    await waitForEnd(page, 60000);
    const kept = await page.evaluate(() => ({
      output: eyesonlyPage.kept.output,
      frames: eyesonlyPage.kept.sound.reduce((n, block) => n + block.length / 2, 0),
      lead: eyesonlyPage.kept.soundLead,
    }));
    console.log(`real clock: ${(kept.frames / 44100).toFixed(3)} s of sound mixed, at most ${kept.lead} frames ahead`);
    assert.equal(kept.output, 'AudioWorkletNode');
    // The whole run was mixed, and never more than the lead (a quarter of a
    // second) and one block (4096 frames) past what the page had played.
    assert.ok(kept.frames >= 2 * 44100, `${(kept.frames / 44100).toFixed(3)} s of sound mixed for a 2 s run`);
    assert.ok(kept.lead > 0 && kept.lead <= 0.25 * 44100 + 4096, `sound mixed ${kept.lead} frames ahead of what is played`);
    await page.close();
  });

  test('the page\'s own code says no error or warning on the console', () => {
    const complaints = browser.console.filter((m) => m.type === 'error' || m.type === 'warn' || m.type === 'warning');
    assert.deepEqual(complaints, []);
  });

  test('served from another host, the sound goes through a ScriptProcessorNode', async () => {
    const elsewhere = await openBrowser({ host: 'eyesonly.test' });
    try {
      const page = await elsewhere.openPage(`?fps=${fps}&until=3&keep`);
      await page.click('#play');
      assert.deepEqual(await waitForEnd(page, 60000), { exitCode: 0, escaped: false });
      const kept = await page.evaluate(() => ({
        secure: window.isSecureContext,
        output: eyesonlyPage.kept.output,
        blocks: eyesonlyPage.kept.sound.length,
      }));
      assert.deepEqual(kept, { secure: false, output: 'ScriptProcessorNode', blocks: kept.blocks });
      assert.ok(kept.blocks > 0);
    } finally {
      await elsewhere.close();
    }
  });
});
