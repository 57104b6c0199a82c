// The page under faults: address values the program would refuse, a glyph
// pack it cannot read, no sound output (in each engine), and Play again
// run after run. And the one-file page opened from disk in each engine.
import assert from 'node:assert/strict';
import { cp, mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { pathToFileURL } from 'node:url';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';

import {
  engines, fetchBytes, openBrowser, readPpm, runNative, site, waitForEnd, wordSpans,
} from './browser.mjs';

const messages = (page) => page.$eval('#messages', (m) => m.textContent);

// Plays and waits for the end of the run; the run's ended record.
async function playToEnd(page) {
  await page.evaluate(() => { eyesonlyPage.kept.ended = null; });
  await page.click('#play');
  return waitForEnd(page, 120000);
}

// How many pixels of the canvas's upper part (above the controls) the
// window shows lit, from a screenshot.
async function litShown(page) {
  const { x, y, width, height } = await page.$eval('#canvas', (c) => c.getBoundingClientRect().toJSON());
  const png = await page.screenshot({ clip: { x, y, width, height: height * 0.6 }, encoding: 'base64' });
  return page.evaluate(async (png) => {
    const image = new Image();
    image.src = 'data:image/png;base64,' + png;
    await image.decode();
    const context = new OffscreenCanvas(image.width, image.height).getContext('2d');
    context.drawImage(image, 0, 0);
    return context.getImageData(0, 0, image.width, image.height).data.filter((v, i) => i % 4 === 0 && v > 64).length;
  }, png);
}

describe('in chromium', () => {
  let browser;
  before(async () => { browser = await openBrowser(); });
  after(() => browser && browser.close());

  test('address values the program refuses are not used, and the page says so', async () => {
    const rows = [
      // query, what the page says
      ['?fps=0', [/fps=0 is not used: --fps needs a number from 1 to 1000, not '0'/]],
      ['?fps=abc&until=-5', [/fps=abc is not used: --fps needs a number from 1 to 1000/,
                              /until=-5 is not used: --until needs a number of seconds/]],
      ['?fps=1e9&until=1e99', [/fps=1e9 is not used/, /until=1e99 is not used/]],
      ['?fps=10&until=5e6', [/until=5e6 is not used/]],
      ['?fps=10&until=1e10', [/until=1e10 is not used/]],
      ['?fps=10&until=4294967', [/until=4294967 is not used/]],
      ['?fps=10&until=0.5', []],
    ];
    for (const [query, said] of rows) {
      const page = await browser.openPage(query);
      const text = await messages(page);
      for (const line of said) assert.match(text, line, query);
      assert.equal(text.split('\n').filter((l) => l !== '').length, said.length, `${query}: ${text}`);
      await page.close();
    }
    // An until past the clock's range ran the show for one frame; refused,
    // the run goes on to the end or Escape.
    const page = await browser.openPage('?fps=10&until=1e99&keep');
    await page.click('#play');
    await page.waitForFunction(() => eyesonlyPage.kept.framesShown >= 20);
    assert.equal(await page.evaluate(() => eyesonlyPage.kept.ended), null);
    assert.match(await messages(page), /until=1e99 is not used/);
    await page.keyboard.press('Escape');
    assert.deepEqual(await waitForEnd(page), { exitCode: 27, escaped: true });
    await page.close();
  });

  test('a damaged glyph pack: the page says the text could not be set', async () => {
    // A copy of the page whose packaged glyphs.pack has lost its first bytes.
    const folder = await mkdtemp(join(tmpdir(), 'eyesonly-pack-'));
    try {
      await cp(site, folder, { recursive: true });
      const script = await readFile(join(folder, 'eyesonly.js'), 'utf8');
      const entry = script.match(/"filename":\s*"\/data\/glyphs\.pack",\s*"start":\s*(\d+)/);
      assert.ok(entry, 'glyphs.pack is in the page\'s data');
      const data = await readFile(join(folder, 'eyesonly.data'));
      data.fill(0, Number(entry[1]), Number(entry[1]) + 16);
      await writeFile(join(folder, 'eyesonly.data'), data);
      const damaged = await openBrowser({ folder });
      try {
        const page = await damaged.openPage('?fps=10&until=1');
        assert.match(await messages(page), /Text: the glyph pack .* the text could not be set/);
        assert.deepEqual(await playToEnd(page), { exitCode: 0, escaped: false });
        assert.match(await messages(page), /the text could not be set/, 'said again after Play');
      } finally {
        await damaged.close();
      }
    } finally {
      await rm(folder, { recursive: true, force: true });
    }
  });

  test('the canvas draws at its shown size in device pixels, follows it, or takes the size the address gives, its words spaced as the desktop\'s', async () => {
    const canvasSize = (page) => page.$eval('#canvas', (c) => [c.width, c.height, c.clientWidth, c.clientHeight]);
    const own = await browser.openPage('?trace#t=20', { ownSize: true });
    // The picture's scale, as the largest 4:3 picture in the canvas has it,
    // once the canvas is at twice its shown size.
    const placed = async () => {
      await own.waitForFunction(() => { const c = document.getElementById('canvas'); return c.width === 2 * c.clientWidth; });
      const [width, height] = await canvasSize(own);
      const scale = Math.min(height, Math.floor(width * 3 / 4)) / 480;
      await own.waitForFunction((s) => Math.abs(Module._eyesonlyPictureScale() - s) < 1e-6, {}, scale);
      return scale;
    };
    await own.setViewport({ width: 800, height: 600, deviceScaleFactor: 2 });
    await own.click('#play');
    await own.waitForFunction(() => eyesonlyPage.kept.framesShown >= 3);
    const scales = [await placed()];
    await own.setViewport({ width: 480, height: 400, deviceScaleFactor: 2 });
    scales.push(await placed());
    assert.ok(scales[1] < scales[0], `the picture at scale ${scales[1]} in the smaller window, ${scales[0]} before`);
    // Paused, then resized: the picture is drawn again at the new size at
    // once (the window shows it, not black), the clock held, no trace lines.
    await own.keyboard.press(' ');
    await own.waitForFunction(() => Module._eyesonlyPlayerState() & 1);
    const held = await own.evaluate(() => [Module._eyesonlySecond(), eyesonlyPage.kept.framesShown]);
    const traceLines = () => browser.console.filter((m) => m.type === 'log').length;
    const lines = traceLines();
    await own.setViewport({ width: 640, height: 560, deviceScaleFactor: 2 });
    scales.push(await placed());
    await own.waitForFunction((n) => eyesonlyPage.kept.framesShown > n, {}, held[1]);
    assert.ok(await litShown(own) > 1000, 'the paused picture is drawn at its new size');
    // The redraw lands on the first of the jumps' 60-a-second steps at or
    // after the frame shown.
    const second = await own.evaluate(() => Module._eyesonlySecond());
    assert.ok(second >= held[0] && second - held[0] < 1 / 60, `redrawn at ${second} s, paused at ${held[0]} s`);
    assert.equal(traceLines(), lines, 'the redraw adds no trace lines');
    await own.keyboard.press('Escape');
    assert.deepEqual(await waitForEnd(own), { exitCode: 27, escaped: true });
    await own.close();
    // A size the address gives: the canvas shown in its shape (not
    // stretched to 4:3), the 4:3 picture drawn in it with black bars at the
    // sides where it is wider; a frame at 20 s (the red title) read back.
    for (const [width, height] of [[1280, 960], [1920, 1080]]) {
      const sized = await browser.openPage(`?fps=10&until=20.1&grab=20&size=${width}x${height}#t=20`);
      assert.deepEqual(await playToEnd(sized), { exitCode: 0, escaped: false });
      const [w, h, shownWidth, shownHeight] = await canvasSize(sized);
      assert.deepEqual([w, h], [width, height]);
      assert.ok(Math.abs(shownWidth * height / width - shownHeight) <= 1, `${width}x${height} shown ${shownWidth}x${shownHeight}`);
      const pixels = await fetchBytes(sized, 'eyesonlyPage.kept.frames[0].pixels');
      const bar = (width - height * 4 / 3) / 2;
      const lit = (x0, x1) => { let n = 0; for (let y = 0; y < height; y++) for (let x = x0; x < x1; x++) n += pixels[(y * width + x) * 4] > 8; return n; };
      assert.deepEqual([lit(0, bar), lit(width - bar, width)], [0, 0], `${width}x${height}: the bars are black`);
      assert.ok(lit(bar, width - bar) > 1000, `${width}x${height}: the picture is drawn between the bars`);
      await sized.close();
    }
    // At a size that is no whole multiple of 640 x 480 the text is set from
    // glyphs drawn for that size: a caption (45 s) and a credit (140.5 s)
    // keep every space, their words where the desktop program puts them.
    const scratch = await mkdtemp(join(tmpdir(), 'eyesonly-text-'));
    try {
      await runNative('showframe', ['--fps', '10', '--size', '1000x750', '45', join(scratch, '45.ppm'),
                                    '140.5', join(scratch, '140.5.ppm')]);
      for (const at of ['45', '140.5']) {
        const sized = await browser.openPage(`?fps=10&until=${Number(at) + 0.1}&grab=${at}&size=1000x750#t=${at}`);
        assert.deepEqual(await playToEnd(sized), { exitCode: 0, escaped: false });
        const page = wordSpans(await fetchBytes(sized, 'eyesonlyPage.kept.frames[0].pixels'), 1000, 750);
        const desktop = await readPpm(join(scratch, `${at}.ppm`));
        const wanted = wordSpans(desktop.rgb, 1000, 750, 3);
        const near = page.length === wanted.length &&
          page.every(([a, b], i) => Math.abs(a - wanted[i][0]) <= 2 && Math.abs(b - wanted[i][1]) <= 2);
        assert.ok(near && wanted.length >= 4, `${at} s: words at ${JSON.stringify(page)}, the desktop's at ${JSON.stringify(wanted)}`);
        await sized.close();
      }
    } finally {
      await rm(scratch, { recursive: true, force: true });
    }
  });

  test('Play again frees what each run made: the heap in use stays flat', async () => {
    const page = await browser.openPage('?fps=100&until=0.5');
    for (let run = 0; run < 6; run++) assert.deepEqual(await playToEnd(page), { exitCode: 0, escaped: false });
    const heap = await page.evaluate(() => eyesonlyPage.kept.heapInUse);
    console.log(`heap in use after each run: ${heap.join(', ')} bytes`);
    // The first run may leave what lasts (the data files read); after it
    // each run ends where the one before did, to a few allocations.
    const later = heap.slice(1);
    assert.ok(Math.max(...later) - Math.min(...later) <= 4096, `heap in use ${later.join(', ')}`);
    await page.close();
  });
});

for (const engine of engines) {
  describe(`in ${engine} without sound output`, () => {
    let browser;
    before(async () => { browser = await openBrowser({ engine, sound: false }); });
    after(() => browser && browser.close());

    // Chromium makes a new output when asked again; firefox keeps the sound
    // back end it found first for the life of its process, so there a
    // second Play is silent again, and says so once.
    test('Play starts the show silently and says why; Play again has sound once there is some', async () => {
      const page = await browser.openPage('?fps=10&until=1&keep');
      const pressed = await page.evaluate(() => performance.now());
      assert.deepEqual(await playToEnd(page), { exitCode: 0, escaped: false });
      const silent = await page.evaluate((at) => ({
        startMs: eyesonlyPage.kept.firstFrameMs - at,
        noSound: eyesonlyPage.kept.noSound,
        blocks: eyesonlyPage.kept.sound.length,
      }), pressed);
      console.log(`${engine} without sound: first frame ${silent.startMs.toFixed(0)} ms after Play; ${silent.noSound}`);
      assert.ok(silent.noSound, 'the page knows there is no sound');
      assert.equal(silent.blocks, 0, 'no sound handed to a missing output');
      const said = (await messages(page)).split('\n').filter((line) => line.startsWith('Sound: '));
      assert.equal(said.length, 1, said.join('\n'));
      assert.match(said[0], /no sound, the show plays silently: .+/);

      if (engine === 'firefox') {
        assert.deepEqual(await playToEnd(page), { exitCode: 0, escaped: false });
        assert.equal((await messages(page)).split('\n').filter((line) => line.startsWith('Sound: ')).length, 1);
        assert.ok(await page.evaluate(() => eyesonlyPage.kept.noSound));
        return page.close();
      }
      await browser.startSound(page);
      assert.deepEqual(await playToEnd(page), { exitCode: 0, escaped: false });
      const sounding = await page.evaluate(() => ({
        noSound: eyesonlyPage.kept.noSound, output: eyesonlyPage.kept.output, blocks: eyesonlyPage.kept.sound.length,
      }));
      assert.equal(sounding.noSound, null);
      assert.ok(sounding.output && sounding.blocks > 0, JSON.stringify(sounding));
      assert.doesNotMatch(await messages(page), /Sound:/);
      await page.close();
    });
  });
}

for (const engine of engines) {
  describe(`the one-file page in ${engine}`, () => {
    let browser;
    before(async () => { browser = await openBrowser({ engine }); });
    after(() => browser && browser.close());

    test('opened from disk, it plays the desktop program\'s timeline, with sound', async () => {
      const address = pathToFileURL(`${site}/eyesonly.html`).href + '?fps=10&until=3&trace&keep';
      const page = await browser.openPage(address);
      // Play once the output plays (a loaded machine may take the browser
      // past the page's second of waiting to open it).
      assert.equal(await page.evaluate(() => eyesonlyPage.prepareSound()), 'running');
      assert.deepEqual(await playToEnd(page), { exitCode: 0, escaped: false });
      const native = await runNative('eyesonly', ['--headless', '--fps', '10', '--until', '3', '--trace']);
      const trace = browser.console.filter((m) => m.type === 'log').map((m) => m.text + '\n').join('');
      assert.equal(trace, native.stdout);
      const sound = await page.evaluate(() => ({
        noSound: eyesonlyPage.kept.noSound, output: eyesonlyPage.kept.output, blocks: eyesonlyPage.kept.sound.length,
      }));
      console.log(`${engine}, one file from disk: sound through ${sound.output}`);
      // Chromium refuses the worklet to a page from disk: the sound goes
      // through a ScriptProcessorNode there.
      assert.ok(sound.noSound === null && sound.blocks > 0, JSON.stringify(sound));
      assert.equal(await messages(page), '');
      // Nothing was fetched: the page has no other file to ask for.
      assert.deepEqual(browser.console.filter((m) => m.type === 'error'), []);
      await page.close();
    });
  });
}
