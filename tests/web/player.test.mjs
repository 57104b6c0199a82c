// The page as a player: its on-screen controls over the player's own
// jumps, pause and mute, a link to a moment against the program's --from,
// a hidden tab, the download with its progress and its failure; stills,
// media keys, picture-in-picture, chapters, words, no network.
import assert from 'node:assert/strict';
import { appendFile, cp, mkdir, mkdtemp, rm, truncate } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import { serve } from '../../tools/web/serve.mjs';
import { engines, openBrowser, readPpm, readWavSamples, run, runNative, site, top, waitForEnd } from './browser.mjs';

const showLength = 146.5;  // seconds, the position bar's end: the show's length as the program gives it

let scratch;
let browser;

before(async () => {
  scratch = await mkdtemp(join(tmpdir(), 'eyesonly-player-'));
  await mkdir(join(scratch, 'no-user-data'));
  browser = await openBrowser();
});

after(async () => {
  if (browser) await browser.close();
  if (scratch) await rm(scratch, { recursive: true, force: true });
});

// What the controls say: every button's aria-label by its id, the position
// bar's values and time, whether the bar has faded, the page's title.
function readControls(page) {
  return page.evaluate(() => {
    const bar = document.getElementById('position');
    const labels = {};
    for (const button of document.querySelectorAll('#controls button')) labels[button.id] = button.getAttribute('aria-label');
    return {
      labels,
      min: bar.getAttribute('aria-valuemin'),
      max: bar.getAttribute('aria-valuemax'),
      now: Number(bar.getAttribute('aria-valuenow')),
      text: bar.getAttribute('aria-valuetext'),
      time: document.getElementById('time').textContent,
      faded: document.getElementById('controls').classList.contains('idle'),
      title: document.title,
    };
  });
}

// A page on the real clock, playing, with a few frames shown; valueNow()
// on it reads the position bar.
async function playing(query = '', player = browser, options = {}) {
  const page = await player.openPage(query, options);
  await page.evaluate(() => {
    window.valueNow = () => Number(document.getElementById('position').getAttribute('aria-valuenow'));
  });
  await page.click('#play');
  await page.waitForFunction(() => eyesonlyPage.kept.framesShown >= 3);
  return page;
}

test('each button does what its key does and says what a press does now', async () => {
  const page = await playing();
  const first = await readControls(page);
  assert.deepEqual(first.labels, {
    pause: 'Pause', back: 'Back 10 seconds', forward: 'Forward 10 seconds', restart: 'Restart', mute: 'Mute',
    'copy-link': 'Copy link to this moment', captions: 'Captions', pip: 'Picture in picture', fullscreen: 'Full screen',
  });
  assert.deepEqual([first.min, first.max], ['0', String(showLength)]);
  assert.match(first.time, /^0:0\d \/ 2:26$/);
  assert.match(first.text, /^\d seconds? of 2 minutes 26 seconds$/);
  const sizes = await page.$$eval('#controls button:not([hidden])', (all) => all.map((b) => Math.min(b.offsetWidth, b.offsetHeight)));
  assert.ok(sizes.every((size) => size >= 44), `buttons ${sizes.join(', ')} px`);

  // Each press, then what the page must come to say within a few seconds
  // (too soon for the show to play its way there): the position from the
  // one before the press, labels, the title the player sets.
  const title = '.. for your eyes only ..';
  const presses = [
    ['forward', (at) => at + 10, {}, null],
    ['forward', (at) => at + 10, {}, null],
    ['back', (at) => at - 10, {}, null],
    ['pause', null, { pause: 'Play' }, `${title} (paused)`],
    ['mute', null, { mute: 'Unmute' }, `${title} (paused, muted)`],
    ['mute', null, { mute: 'Mute' }, `${title} (paused)`],
    ['pause', null, { pause: 'Pause' }, title],
    ['restart', () => 0, {}, null],
    ['fullscreen', null, { fullscreen: 'Exit full screen' }, null],
    ['fullscreen', null, { fullscreen: 'Full screen' }, null],
  ];
  for (const [button, move, labels, pageTitle] of presses) {
    const want = move && move((await readControls(page)).now);
    await page.click(`#${button}`);
    await page.waitForFunction((want, labels, pageTitle) => (want === null || Math.abs(valueNow() - want) <= 2)
      && Object.entries(labels).every(([id, label]) => document.getElementById(id).getAttribute('aria-label') === label)
      && (pageTitle === null || document.title === pageTitle), { timeout: 5000 }, want, labels, pageTitle)
      .catch(async () => assert.fail(`after ${button}: ${JSON.stringify(await readControls(page))}, wanted ${want}`));
  }

  // By keyboard, as on any page: Tab from the picture reaches the bar and
  // the buttons, Shift+Tab goes back, Space and Enter press a focused button.
  const focused = () => page.evaluate(() => document.activeElement.id);
  await page.evaluate(() => document.activeElement.blur());
  await page.keyboard.press('Tab');
  await page.keyboard.press('Tab');
  assert.equal(await focused(), 'pause');
  await page.keyboard.down('Shift');
  await page.keyboard.press('Tab');
  await page.keyboard.up('Shift');
  assert.equal(await focused(), 'position');
  await page.keyboard.press('Tab');
  for (const [key, label] of [[' ', 'Play'], ['Enter', 'Pause']]) {
    await page.keyboard.press(key);
    await page.waitForFunction((label) => document.getElementById('pause').getAttribute('aria-label') === label,
                               { timeout: 5000 }, label).catch(() => assert.fail(`${key} on the focused button`));
  }

  // While paused nothing more is drawn; the position stays.
  await page.click('#pause');
  await page.waitForFunction(() => document.getElementById('pause').getAttribute('aria-label') === 'Play');
  const held = await page.evaluate(() => [eyesonlyPage.kept.framesShown, Module._eyesonlySecond()]);
  await page.waitForFunction((n) => performance.now() > n, {}, await page.evaluate(() => performance.now() + 500));
  assert.deepEqual(await page.evaluate(() => [eyesonlyPage.kept.framesShown, Module._eyesonlySecond()]), held);

  // The link to this moment is the page's address at the second shown.
  await page.click('#copy-link');
  await page.waitForFunction(() => document.getElementById('link').textContent !== '');
  const { now } = await readControls(page);
  const link = await page.$eval('#link', (e) => e.textContent);
  const address = await page.evaluate(() => location.href.split('#')[0]);
  assert.match(link, new RegExp(`^(Copied: )?${address.replace(/[.*+?^${}()|[\]\\/]/g, '\\$&')}#t=${now}$`));
  await page.keyboard.press('Escape');
  assert.deepEqual(await waitForEnd(page), { exitCode: 27, escaped: true });
  assert.equal(await page.$eval('#controls', (c) => c.hidden), true);
  await page.close();
});

test('a click or a drag on the position bar jumps there, and arrow keys move it', async () => {
  const page = await playing();
  const box = await page.$eval('#position', (bar) => { const r = bar.getBoundingClientRect(); return [r.left, r.width, r.top + r.height / 2]; });
  const at = (share) => box[0] + share * box[1];
  const moves = [
    ['click at half', async () => page.mouse.click(at(0.5), box[2]), showLength / 2],
    ['drag from a quarter to three quarters', async () => {
      await page.mouse.move(at(0.25), box[2]);
      await page.mouse.down();
      await page.mouse.move(at(0.5), box[2], { steps: 4 });
      await page.mouse.move(at(0.75), box[2], { steps: 4 });
      await page.mouse.up();
    }, showLength * 0.75],
    ['click at a tenth', async () => page.mouse.click(at(0.1), box[2]), showLength * 0.1],
    ['Up on the focused bar', async () => { await page.focus('#position'); await page.keyboard.press('ArrowUp'); }, showLength * 0.1 + 10],
    ['Left on the focused bar', async () => page.keyboard.press('ArrowLeft'), showLength * 0.1],
  ];
  for (const [what, move, second] of moves) {
    await move();
    await page.waitForFunction((want) => Math.abs(valueNow() - want) <= 2, { timeout: 5000 }, second).catch(async () => {
      assert.fail(`${what}: expected about ${second} s, the bar says ${(await readControls(page)).now}`);
    });
  }
  // The frames shown after the last jump are at its moment, not before.
  const shown = await page.evaluate(() => eyesonlyPage.kept.framesShown);
  await page.waitForFunction((n) => eyesonlyPage.kept.framesShown > n + 2, {}, shown);
  assert.ok(Math.abs(await page.evaluate(() => Module._eyesonlySecond()) - showLength * 0.1) < 5);
  // End on the focused bar plays the end; keys that move do not start the
  // show again once it has ended there.
  await page.focus('#position');
  await page.keyboard.press('End');
  assert.deepEqual(await waitForEnd(page), { exitCode: 0, escaped: false });
  for (const key of ['ArrowRight', 'ArrowRight', 'End']) await page.keyboard.press(key);
  assert.equal(await page.$eval('#play', (b) => b.disabled), false, 'a key that moves started the show again');
  await page.close();
});

test('the bar fades while the show plays, comes back on a tap, and stays while paused', async () => {
  const page = await playing();
  await page.waitForFunction(() => document.getElementById('controls').classList.contains('idle'), { timeout: 10000 });
  await page.mouse.click(200, 200);  // a tap on the picture
  assert.equal((await readControls(page)).faded, false);
  // It does not pause: frames go on.
  const shown = await page.evaluate(() => eyesonlyPage.kept.framesShown);
  await page.waitForFunction((n) => eyesonlyPage.kept.framesShown > n + 3, {}, shown);
  await page.keyboard.press(' ');  // Space, by the name both engines know
  await page.waitForFunction(() => document.getElementById('pause').getAttribute('aria-label') === 'Play');
  await page.waitForFunction((n) => performance.now() > n, { timeout: 10000 }, await page.evaluate(() => performance.now() + 3000));
  assert.equal((await readControls(page)).faded, false, 'the bar faded while paused');
  // On a phone held upright the bar leaves the picture in view.
  await page.setViewport({ width: 390, height: 844 });
  const [picture, bar] = await page.evaluate(() => ['#canvas', '#controls'].map((id) => {
    const box = document.querySelector(id).getBoundingClientRect();
    return { top: box.top, bottom: box.bottom };
  }));
  const covered = Math.max(0, Math.min(picture.bottom, bar.bottom) - Math.max(picture.top, bar.top));
  assert.ok(covered <= 0.2 * (picture.bottom - picture.top) && bar.bottom <= 844, `the bar covers ${covered} px of the picture`);
  await page.close();
});

// Another tab in front of the page for a while (ms); what the page said
// when it was hidden and when the tab went back behind it.
async function hideFor(page, ms) {
  const state = () => ({ second: Module._eyesonlySecond(), played: eyesonlyPage.playedFrames() });
  const other = await browser.browser.newPage();
  await other.bringToFront();
  await page.waitForFunction(() => document.visibilityState === 'hidden', { polling: 50 });
  const hidden = await page.evaluate(state);
  await other.waitForFunction((n) => performance.now() > n, {}, await other.evaluate((ms) => performance.now() + ms, ms));
  const away = await page.evaluate(state);
  await page.bringToFront();
  await other.close();
  return { hidden, away };
}

test('a hidden tab holds the show and its sound, and it goes on from the same moment', async () => {
  const page = await playing('?keep');
  await page.waitForFunction(() => eyesonlyPage.kept.framesShown >= 10);
  const { hidden, away } = await hideFor(page, 1500);
  const shown = await page.evaluate(() => eyesonlyPage.kept.framesShown);
  await page.waitForFunction((n) => eyesonlyPage.kept.framesShown > n, {}, shown);
  const back = await page.evaluate(() => ({ second: Module._eyesonlySecond(), lead: eyesonlyPage.kept.soundLead }));
  console.log(`hidden tab: at ${hidden.second} s, ${back.second} s when shown again 1.5 s later`);
  assert.ok(away.played - hidden.played < 0.25 * 44100, `${away.played - hidden.played} frames of sound played while hidden`);
  assert.ok(back.second - hidden.second < 0.5, `the show went on at ${back.second} s, hidden at ${hidden.second} s`);
  assert.ok(back.lead <= 0.25 * 44100 + 4096, `sound mixed ${back.lead} frames ahead of what is played`);

  // Paused by the user, the show stays paused when the page is shown again.
  await page.click('#pause');
  await page.waitForFunction(() => document.getElementById('pause').getAttribute('aria-label') === 'Play');
  const paused = await page.evaluate(() => eyesonlyPage.kept.framesShown);
  await hideFor(page, 300);
  await page.waitForFunction((n) => performance.now() > n, {}, await page.evaluate(() => performance.now() + 500));
  assert.equal(await page.evaluate(() => eyesonlyPage.kept.framesShown), paused, 'showing the page undid the pause');
  assert.equal(await page.$eval('#pause', (b) => b.getAttribute('aria-label')), 'Play');
  await page.keyboard.press('Escape');
  await waitForEnd(page);
  await page.close();
});

// Where the music heard stands against the picture, in seconds (behind: below
// 0): the left channel at the stream's place played, found in a capture's
// soundtrack (left channel, from second 0) near the second shown.
async function musicAgainstPicture(page, soundtrack) {
  const { second, heard } = await page.evaluate(() => {
    const played = eyesonlyPage.playedFrames();
    const { sound, soundFirsts } = eyesonlyPage.kept;
    const heard = sound.flatMap((block, i) => Array.from(block.filter((_, k) => k % 2 === 0 && soundFirsts[i] + k / 2 >= played)));
    return { second: Module._eyesonlySecond(), heard: heard.slice(0, 2048) };
  });
  let best = { lag: 0, score: -Infinity };
  for (let lag = Math.max(0, Math.round((second - 1) * 44100)); lag < (second + 1) * 44100; lag++) {
    let score = 0;
    for (let i = 0; i < heard.length; i += 4) score -= Math.abs(heard[i] - soundtrack[2 * (lag + i)]);
    if (score > best.score) best = { lag, score };
  }
  return best.lag / 44100 - second;
}

test('the music heard stays with the picture after a pause (and a hidden tab), in each engine', async () => {
  await runNative('eyesonly', ['--capture', join(scratch, 'soundtrack') + '/', '--fps', '60', '--until', '20']);
  const soundtrack = await readWavSamples(join(scratch, 'soundtrack', 'audio.wav'));
  for (const engine of engines) {
    const other = engine === 'chromium' ? browser : await openBrowser({ engine });
    try {
      const page = await other.openPage('?keep');
      assert.equal(await page.evaluate(() => eyesonlyPage.prepareSound()), 'running');
      await page.click('#play');
      const framesOn = async (n) => page.waitForFunction((n) => eyesonlyPage.kept.framesShown > n, { timeout: 20000 },
                                                          n + await page.evaluate(() => eyesonlyPage.kept.framesShown));
      // Holds: none, a pause, and a hidden tab (a tab the driver opens in
      // Firefox does not hide the page's); after each, the music's place.
      const wait = async (ms) => page.waitForFunction((n) => performance.now() > n, {}, await page.evaluate((ms) => performance.now() + ms, ms));
      const holds = [() => {}, async () => { await page.click('#pause'); await wait(3000); await page.click('#pause'); },
                     ...(engine === 'chromium' ? [() => hideFor(page, 3000)] : [])];
      const offsets = [];
      for (const hold of holds) {
        await hold();
        await framesOn(120);
        offsets.push(await musicAgainstPicture(page, soundtrack));
      }
      console.log(`${engine}: the music against the picture at first and after each hold: ${offsets.map((o) => o.toFixed(3)).join(' ')} s`);
      // Within the page's slack (0.1 s), and the part of a frame the picture
      // read may stand behind the sound read.
      assert.ok(offsets.every((o) => Math.abs(o) < 0.13), `${engine}: ${offsets.join(', ')}`);
      await page.close();
    } finally {
      if (other !== browser) await other.close();
    }
  }
});

test('#t= starts the show there exactly as --from does', async () => {
  const native = await runNative('eyesonly', ['--headless', '--fps', '10', '--from', '60', '--until', '62', '--trace'],
                                 join(scratch, 'no-user-data'));
  const lines = browser.console.length;
  const page = await browser.openPage('?fps=10&until=62&trace#t=60');
  await page.click('#play');
  assert.deepEqual(await waitForEnd(page, 120000), { exitCode: 0, escaped: false });
  const trace = browser.console.slice(lines).filter((m) => m.type === 'log').map((m) => m.text + '\n').join('');
  assert.ok(native.stdout.length > 0);
  assert.equal(trace, native.stdout);
  await page.close();

  // The forms of a moment, and moments refused with a line on the page:
  // the first frame shown (at 10 frames a second, the run ending there),
  // and the line; the last two refuse the run itself.
  const forms = [
    ['#t=1:15', 76000, null, '&until=75'],
    ['#t=npt:75.05', 76100, null, '&until=75.1'],
    ['#t=0:01:15', 76000, null, '&until=75'],
    ['#t=1:75', 1000, 'Address: #t=1:75 is not a moment of the show'],
    ['#t=abc', 1000, 'Address: #t=abc is not a moment of the show'],
    ['#t=60,62', 1000, 'Address: #t=60,62 is not a moment of the show'],
    ['#t=3000000', null, 'Address: #t=3000000 is past the show\'s end: at this rate it is 149.3 s long', ''],
    ['#t=10', null, 'Address: #t=10 is after until=5: the show has nothing to play there', '&until=5'],
  ];
  for (const [hash, firstMs, line, until = '&until=0'] of forms) {
    const form = await browser.openPage(`?fps=10${until}${hash}`);
    await form.click('#play');
    await waitForEnd(form, 120000);
    const [runStart, messages] = await form.evaluate(() => [eyesonlyPage.kept.runStarts[0],
                                                            document.getElementById('messages').textContent]);
    const said = messages.split('\n').find((l) => l.startsWith('Address: ')) ?? null;
    assert.deepEqual([hash, runStart, said && said.replace(/ \(write .*$/, '')], [hash, firstMs, line]);
    await form.close();
  }
});

test('the page\'s code says no error or warning on the console', () => {
  const complaints = browser.console.filter((m) => m.type === 'error' || m.type === 'warn' || m.type === 'warning');
  assert.deepEqual(complaints, []);
});

test('Play shows the download\'s progress; a file that fails is named and can be tried again', async () => {
  const folder = join(scratch, 'site');
  await cp(site, folder, { recursive: true, filter: (path) => !path.endsWith('eyesonly.data') });
  const elsewhere = await openBrowser({ folder });
  try {
    const page = await elsewhere.openPage('');
    assert.equal(await page.$eval('#play', (b) => b.textContent), 'Try again');
    assert.equal(await page.$eval('#load-failure', (p) => p.textContent), 'Could not load eyesonly.data (404 Not Found).');

    await cp(join(site, 'eyesonly.data'), join(folder, 'eyesonly.data'));
    await page.evaluate(() => {
      window.playTexts = [];
      new MutationObserver((records) => {
        for (const record of records) for (const node of record.addedNodes) window.playTexts.push(node.textContent);
      }).observe(document.getElementById('play'), { childList: true });
    });
    await page.click('#play');
    await page.waitForFunction(() => document.getElementById('play').textContent === 'Play', { timeout: 60000 });
    const texts = await page.evaluate(() => window.playTexts);
    assert.ok(texts.every((t) => /^(Loading…( \d+%)?|Play)$/.test(t)), `Play said ${JSON.stringify(texts)}`);
    const percents = texts.filter((t) => t.endsWith('%')).map((t) => Number(t.slice(9, -1)));
    assert.deepEqual(percents, [...percents].sort((a, b) => a - b), 'the progress went back');
    assert.ok(percents.some((p) => p > 0 && p < 100) && percents.at(-1) === 100, `progress ${percents.join(' ')}`);
    assert.equal(await page.$eval('#load-failure', (p) => p.hidden), true);
    await page.close();
  } finally {
    await elsewhere.close();
  }

  // A program cut short cannot start: said, with Try again.
  await cp(site, folder, { recursive: true });
  await truncate(join(folder, 'eyesonly.wasm'), 70000);
  const cut = await openBrowser({ folder });
  try {
    const page = await cut.openPage('');
    await page.waitForFunction(() => document.getElementById('play').textContent === 'Try again', { timeout: 60000 });
    assert.match(await page.$eval('#load-failure', (p) => p.textContent), /^Could not start the show: /);
  } finally {
    await cut.close();
  }
});

// Records what the page tells the Media Session: its action handlers (to
// be called as a media key or a lock screen calls them) and positions.
function recordSession() {
  window.session = { actions: {}, positions: [] };
  const real = navigator.mediaSession;
  const [setAction, setPosition] = [real.setActionHandler.bind(real), real.setPositionState.bind(real)];
  real.setActionHandler = (action, handler) => { window.session.actions[action] = handler; setAction(action, handler); };
  real.setPositionState = (state) => { window.session.positions.push(state); setPosition(state); };
}

// Runs body(player, engine) in each engine: chromium in this file's browser, firefox in its own.
async function inEachEngine(body) {
  for (const engine of engines) {
    const player = engine === 'chromium' ? browser : await openBrowser({ engine });
    try { await body(player, engine); } finally { if (player !== browser) await player.close(); }
  }
}

test('the bar\'s stills, the media keys\' session and picture-in-picture, in each engine', async () => {
  await inEachEngine(async (other, engine) => {
    const page = await playing('', other, { script: recordSession });
    // The stills come when the pointer first reaches the bar: the nearest still, against showframe's.
    const stillsAsked = () => page.evaluate(() => performance.getEntriesByType('resource').some((e) => /stills\.png/.test(e.name)));
    assert.equal(await stillsAsked(), false, `${engine}: the stills came before the bar was reached`);
    const bar = await page.$eval('#position', (b) => { const r = b.getBoundingClientRect(); return [r.left, r.width, r.top + r.height / 2]; });
    for (const [share, chapter] of [[0.1, 'Slideshow'], [0.42, 'Title'], [0.93, 'Credits and greetings']]) {
      await page.mouse.move(bar[0] + share * bar[1] - 5, bar[2]);
      await page.mouse.move(bar[0] + share * bar[1], bar[2]);
      await page.waitForFunction(() => !document.getElementById('preview').hidden && !document.getElementById('preview-still').hidden);
      const shown = await page.evaluate(async () => {
        const still = document.getElementById('preview-still');
        const picture = new Image();
        picture.src = getComputedStyle(still).backgroundImage.replace(/^url\("?|"?\)$/g, '');
        await picture.decode();
        const context = new OffscreenCanvas(160, 120).getContext('2d');
        context.drawImage(picture, ...getComputedStyle(still).backgroundPosition.split(' ').map(parseFloat));
        return { second: Number(still.dataset.second), time: document.getElementById('preview-time').textContent,
                 rgba: Array.from(context.getImageData(0, 0, 160, 120).data) };
      });
      const second = share * showLength;
      assert.equal(shown.second, Math.round(second / 5) * 5, `${engine}: the still at ${second} s`);
      assert.equal(shown.time, `${Math.floor(second / 60)}:${String(Math.floor(second % 60)).padStart(2, '0')} · ${chapter}`);
      const ppm = join(scratch, `still-${engine}-${shown.second}.ppm`);
      await runNative('showframe', ['--size', '160x120', String(shown.second), ppm]);
      const { rgb } = await readPpm(ppm);
      const off = rgb.reduce((most, v, i) => Math.max(most, Math.abs(v - shown.rgba[Math.floor(i / 3) * 4 + i % 3])), 0);
      assert.ok(off <= 2, `${engine}: the still at ${shown.second} s is ${off} levels off showframe's`);
    }

    // The session: the show, its icon, and its actions as the controls'.
    const metadata = await page.evaluate(async () => {
      const { title, artist, artwork } = navigator.mediaSession.metadata;
      const types = await Promise.all(artwork.map((a) => fetch(a.src).then((r) => r.ok && r.headers.get('content-type'))));
      return { title, artist, artwork: artwork.map((a) => a.sizes), types };
    });
    assert.deepEqual(metadata, { title: '.. for your eyes only ..', artist: 'eyesonly', artwork: ['192x192'], types: ['image/png'] });
    const chapterSeconds = await page.evaluate(() => Array.from({ length: 5 }, (_, i) => Module._eyesonlyChapterStartMs(i) / 1000));
    const actions = [
      // action, its details, the position after (null: where it was), the session's state, the pause button
      ['pause', {}, null, 'paused', 'Play'],
      ['play', {}, null, 'playing', 'Pause'],
      ['seekto', { seekTime: 60 }, 60, 'playing', 'Pause'],
      ['seekforward', {}, 70, 'playing', 'Pause'],
      ['seekbackward', { seekOffset: 5 }, 65, 'playing', 'Pause'],
      ['nexttrack', {}, chapterSeconds[2], 'playing', 'Pause'],
      ['previoustrack', {}, chapterSeconds[1], 'playing', 'Pause'],
    ];
    for (const [action, details, want, state, label] of actions) {
      await page.evaluate((action, details) => window.session.actions[action]({ action, ...details }), action, details);
      await page.waitForFunction((want, state, label) => navigator.mediaSession.playbackState === state
        && document.getElementById('pause').getAttribute('aria-label') === label
        && (want === null || (Math.abs(valueNow() - want) <= 2 && Math.abs(window.session.positions.at(-1).position - want) <= 2)),
      { timeout: 5000 }, want, state, label).catch(() => assert.fail(`${engine}: after ${action}`));
    }
    assert.equal((await page.evaluate(() => window.session.positions.at(-1))).duration, showLength);

    // Picture-in-picture where the engine offers it: P, the show goes on with the page hidden, P returns.
    const offered = await page.evaluate(() => document.pictureInPictureEnabled === true);
    assert.equal(await page.$eval('#pip', (b) => b.hidden), !offered);
    if (offered) {
      await page.keyboard.press('p');
      await page.waitForFunction(() => document.pictureInPictureElement !== null, { timeout: 5000 })
        .catch(async () => assert.fail(`${engine}: no picture-in-picture: ${await page.$eval('#messages', (m) => m.textContent)}`));
      if (engine === 'chromium') {  // a tab the driver opens in Firefox does not hide the page's
        const { hidden, away } = await hideFor(page, 1500);
        assert.ok(away.second - hidden.second > 0.5, `in picture-in-picture the show stood at ${hidden.second} s`);
      }
      await page.keyboard.press('p');
      await page.waitForFunction(() => document.pictureInPictureElement === null, { timeout: 5000 });
    }
    await page.keyboard.press('Escape');
    await waitForEnd(page);
    assert.equal(await page.evaluate(() => navigator.mediaSession.playbackState), 'none');
    await page.close();
  });
});

test('chapters on the bar and in the menu, ] as --from there, and the show\'s words said as they appear, in each engine', async () => {
  const native = await runNative('eyesonly', ['--headless', '--fps', '60', '--from', 'title', '--until', '58', '--trace'],
                                 join(scratch, 'no-user-data'));
  const atTitle = (lines) => lines.filter((l) => l.split(' ')[0] === lines.find((t) => / scene 0$/.test(t)).split(' ')[0]).map((l) => l.replace(/^\d+ /, ''));
  await inEachEngine(async (player, engine) => {
    // Marks where chapters 2 to 5 start; ] from 10 s lands on the title's first
    // frame with --from's trace there (but the frames' count: the real clock drew the first 10 s).
    const page = await playing('?trace#t=10', player);
    const bar = await page.evaluate(() => ({
      marks: [...document.querySelectorAll('.chapter-mark')].map((mark) => parseFloat(mark.style.left)),
      menu: [...document.getElementById('chapter').options].map((option) => option.text),
      starts: Array.from({ length: 5 }, (_, i) => Module._eyesonlyChapterStartMs(i) / 1000),
    }));
    assert.deepEqual(bar.menu, ['Slideshow', 'Title', 'Ring tunnel', 'Scroller', 'Credits and greetings']);
    assert.deepEqual(bar.marks.map((left) => Math.round(left * showLength * 10)), bar.starts.slice(1).map((s) => Math.round(s * 1000)));
    const lines = player.console.length;
    await page.keyboard.press(']');
    while (!player.console.slice(lines).some((m) => / scene 0$/.test(m.text))) await new Promise((done) => page.once('console', done));
    const landing = player.console.slice(lines).filter((m) => m.type === 'log').map((m) => m.text);
    assert.deepEqual([await page.$eval('#chapter', (c) => c.value), ...atTitle(landing)], ['1', ...atTitle(native.stdout.trim().split('\n'))]);
    await page.close();

    // The words from 40 s to 62 s: each line once, in order, at a frame whose trace has a line's
    // event (the first frame's line aside), not shown until C shows them as captions.
    const run = player.console.length;
    const words = await player.openPage('?fps=10&until=62&trace#t=40');
    await words.evaluate(() => {
      window.lines = [];
      new MutationObserver((records) => records.forEach((r) => r.addedNodes.forEach((line) => lines.push([Number(line.dataset.ms), line.textContent]))))
        .observe(document.getElementById('words'), { childList: true });
    });
    await words.click('#play');
    await words.waitForFunction(() => lines.length > 0);
    const size = () => words.$eval('#words', (w) => [w.getAttribute('aria-live'), w.offsetWidth > 100]);
    assert.deepEqual(await size(), ['polite', false]);
    await words.keyboard.press('c');
    assert.deepEqual(await size(), ['polite', true]);
    await waitForEnd(words, 120000);
    const [shown, first, start] = await words.evaluate(() => [lines, eyesonlyPage.kept.runStarts[0], Module._eyesonlyReadingAt(0)]);
    const events = new Set(player.console.slice(run).map((m) => m.text.match(/^\d+ (\d+) (caption|slide|scene|title|letter|row) /))
      .filter(Boolean).map((match) => Number(match[1])));
    assert.ok(shown.length >= 8 && shown.every(([ms, text], i) => text !== '' && (i === 0 ? ms + start === first : events.has(ms + start))
      && (i === 0 || ms > shown[i - 1][0])), `${engine}: ${JSON.stringify(shown)}`);
    await words.close();
  });
});

test('after one visit the page plays with no network, and a new build served replaces it whole, in each engine', async () => {
  for (const engine of engines) {
    const own = await openBrowser({ engine });
    try {
      const page = await playing('', own);
      // After the first frame the worker keeps the page, its manifest and each file at its versioned address.
      const kept = await page.evaluate(async () => {
        await navigator.serviceWorker.ready;
        const names = (await caches.keys()).filter((name) => name.startsWith('eyesonly-'));
        const cache = await caches.open(names[0]);
        return { names, files: (await cache.keys()).map((r) => r.url.replace(location.origin, '')).sort() };
      });
      const build = await page.$eval('meta[name="eyesonly-build"]', (m) => m.content);
      assert.deepEqual(kept, { names: [`eyesonly-${build}`], files: ['/', '/manifest.webmanifest', ...[
        'eyesonly.data', 'eyesonly.js', 'eyesonly.wasm', 'icon-192.png', 'page.js', 'sound.js',
        'stills.png'].map((name) => `/${name}?v=${build}`)].sort() });
      if (engine === 'chromium')  // and the browser offers to install it as an app
        assert.deepEqual(await (await page.createCDPSession()).send('Page.getInstallabilityErrors'), { installabilityErrors: [] });
      // The server stopped, the page loaded again: it plays.
      own.server.close(); own.server.closeAllConnections();
      await assert.rejects(fetch(own.url));
      await page.reload();
      await page.waitForSelector('#play:not([disabled])', { timeout: 60000 });
      await page.click('#play');
      await page.waitForFunction(() => eyesonlyPage.kept.framesShown >= 10, { timeout: 20000 });
      assert.equal(await page.$eval('#load-failure', (p) => p.hidden), true);

      // A new build served at the same address: the page is the new one at
      // once, and once its worker takes over only the new build is kept.
      const next = join(scratch, `next-build-${engine}`);
      await cp(site, next, { recursive: true });
      await appendFile(join(next, 'page.js'), '// the next build\n');
      await run(process.execPath, [join(top, 'tools/web/site.mjs'), join(top, 'app/page'), next]);
      const again = await serve(next, new URL(own.url).port);
      try {
        await page.reload();
        const nextBuild = await page.$eval('meta[name="eyesonly-build"]', (m) => m.content);
        assert.notEqual(nextBuild, build);
        await page.waitForSelector('#play:not([disabled])', { timeout: 60000 });
        await page.click('#play');
        await page.waitForFunction(async (wanted) => (await caches.keys()).join() === `eyesonly-${wanted}`,
                                   { timeout: 60000 }, nextBuild);
      } finally {
        again.server.close(); again.server.closeAllConnections();
      }
      await page.close();
    } finally {
      await own.close();
    }
  }
});
