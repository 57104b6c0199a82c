// What the browser tests and benchmarks share: Debian's chromium, or
// firefox-esr under Xvfb with a private PulseAudio server, through
// puppeteer-core; the page served from build-web/; the native program's
// references; and the picture and sound readers.
import { execFile, spawn } from 'node:child_process';
import { once } from 'node:events';
import { existsSync } from 'node:fs';
import { mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { createRequire } from 'node:module';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { promisify } from 'node:util';

import { serve } from '../../tools/web/serve.mjs';

const here = dirname(fileURLToPath(import.meta.url));
export const top = resolve(here, '../..');
const require = createRequire(join(top, 'tools/web/package.json'));
const puppeteer = require('puppeteer-core');

export const site = resolve(process.env.EYESONLY_WEB_SITE || join(top, 'build-web'));
export const nativeBuild = resolve(process.env.EYESONLY_NATIVE_BUILD || join(top, 'build'));
export const run = promisify(execFile);

// The engines the page is tested in; firefox only where it is installed.
export const firefoxPath = process.env.FIREFOX || '/usr/bin/firefox-esr';
export const engines = ['chromium', ...(existsSync(firefoxPath) ? ['firefox'] : [])];
if (!engines.includes('firefox')) console.log(`# no ${firefoxPath}: the page is tested in chromium only`);

// A child program, ended by its PID (and waited for) by stop().
function child(command, args, options) {
  const process_ = spawn(command, args, options);
  const exited = once(process_, 'exit');
  return { process: process_, stop: async () => { if (process_.exitCode === null) process_.kill(); await exited; } };
}

// An X server of its own: Xvfb picks a free display and writes its number to
// descriptor 3 once it takes clients.
async function startXvfb() {
  const x = child('Xvfb', ['-displayfd', '3', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp', '-noreset'],
                  { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
  let text = '';
  const number = await Promise.race([
    new Promise((done) => x.process.stdio[3].on('data', (piece) => {
      text += piece;
      if (text.includes('\n')) done(text.trim());
    })),
    once(x.process, 'exit').then(() => { throw new Error('Xvfb did not start'); }),
  ]);
  return { display: `:${number}`, stop: x.stop };
}

// A PulseAudio server with a null sink in a private runtime folder, started
// by start() and ready once its socket is there. Clients of this folder
// never start one of their own (autospawn off), so that without start()
// they have no sound output at all.
async function soundServer(runtime) {
  await writeFile(join(runtime, 'client.conf'), 'autospawn = no\n');
  const socket = join(runtime, 'pulse', 'native');
  const env = { XDG_RUNTIME_DIR: runtime, PULSE_CLIENTCONFIG: join(runtime, 'client.conf'),
                PULSE_SERVER: `unix:${socket}` };
  let pulse = null;
  async function start() {
    pulse = child('pulseaudio', ['-n', '--daemonize=no', '--exit-idle-time=-1', '--load=module-null-sink',
                                 '--load=module-native-protocol-unix'],
                  { env: { ...process.env, ...env, HOME: runtime }, stdio: 'ignore' });
    for (let tries = 0; !existsSync(socket); tries++) {
      if (pulse.process.exitCode !== null || tries > 200) throw new Error('pulseaudio did not start');
      await new Promise((done) => setTimeout(done, 50));
    }
  }
  return { env, start, stop: async () => { if (pulse) await pulse.stop(); } };
}

// Firefox with autoplay allowed, under an X server of its own (its headless
// mode has no WebGL here), with or without a sound server.
async function launchFirefox({ width, height, sound }) {
  const runtime = await mkdtemp(join(tmpdir(), 'eyesonly-firefox-'));
  const x = await startXvfb();
  const pulse = await soundServer(runtime);
  if (sound) await pulse.start();
  const browser = await puppeteer.launch({
    browser: 'firefox',
    executablePath: firefoxPath,
    headless: false,
    env: { ...process.env, DISPLAY: x.display, ...pulse.env },
    extraPrefsFirefox: { 'media.autoplay.default': 0, 'media.autoplay.block-webaudio': false },
    defaultViewport: { width, height },
    protocolTimeout: 600000,
  });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    await close();
    await pulse.stop();
    await x.stop();
    await rm(runtime, { recursive: true, force: true });
  };
  return browser;
}

// A browser (chromium: WebGL on SwiftShader; firefox: llvmpipe under Xvfb)
// with sound allowed without a gesture, the page served on a free port, and
// everything the page says kept. Without sound, chromium's AudioContext
// cannot be made and firefox has no sound server.
export async function openBrowser({ engine = 'chromium', sound = true, width = 800, height = 600, host = null,
                                    folder = site } = {}) {
  const { server, url } = await serve(folder, 0);
  const browser = engine === 'firefox' ? await launchFirefox({ width, height, sound }) : await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--disable-background-networking', '--disable-component-update', '--no-first-run',
           '--autoplay-policy=no-user-gesture-required', `--window-size=${width},${height}`,
           // A name of its own for the server: a page not served from
           // 127.0.0.1 or localhost gets no AudioWorklet.
           ...(host ? [`--host-resolver-rules=MAP ${host} 127.0.0.1`] : [])],
    defaultViewport: { width, height },
    protocolTimeout: 600000,
  });
  const console = [];
  // The page at url + query, or at an address of its own (file://...),
  // drawn at the show's own 640 x 480 unless the query says a size or
  // ownSize leaves it the page's; with pressPlay, Play is pressed from
  // within the page the moment it can be (as a visitor who presses at once,
  // without the driver's round trips); script runs in the page before its own.
  async function openPage(query, { ownSize = false, pressPlay = false, script = null } = {}) {
    if (!ownSize && !/[?&]size=/.test(query)) {
      const [address, hash] = query.split('#');
      query = address + (address.includes('?') ? '&' : '?') + 'size=640x480' + (hash !== undefined ? '#' + hash : '');
    }
    const page = await browser.newPage();
    page.on('console', (message) => console.push({ type: message.type(), text: message.text() }));
    page.on('pageerror', (error) => console.push({ type: 'error', text: String(error) }));
    page.on('requestfailed', (request) => console.push({ type: 'error', text: 'failed: ' + request.url() }));
    if (!sound && engine === 'chromium') {
      await page.evaluateOnNewDocument(() => {
        const real = window.AudioContext;
        window.AudioContext = function AudioContext() { throw new Error('no sound output here'); };
        window.soundComesBack = () => { window.AudioContext = real; };
      });
    }
    if (script) await page.evaluateOnNewDocument(script);
    if (pressPlay) {
      await page.evaluateOnNewDocument(() => {
        new MutationObserver((_, observer) => {
          const play = document.getElementById('play');
          if (play && !play.disabled) { observer.disconnect(); play.click(); }
        }).observe(document, { subtree: true, childList: true, attributes: true, attributeFilter: ['disabled'] });
      });
    }
    await page.goto(/^[a-z]+:/.test(query) ? query : (host ? url.replace('127.0.0.1', host) : url) + query);
    await page.waitForSelector('#play:not([disabled])', { timeout: 60000 });
    return page;
  }
  async function close() {
    await browser.close();
    server.close();
  }
  // Sound from now on, for a chromium without it: on the page given, the
  // AudioContext can be made again.
  const startSound = (page) => page.evaluate(() => window.soundComesBack());
  return { browser, server, url, console, openPage, startSound, close };
}

// Runs a program of the native build (eyesonly, showframe) there, with an
// empty data folder of the user's so that the show keeps to its own files
// (by default one that does not exist), and the sanitizers' list of the
// system libraries' leaks for a test build.
export function runNative(program, args, emptyDataHome = join(tmpdir(), 'eyesonly-no-user-data-here')) {
  const env = {
    ...process.env,
    LSAN_OPTIONS: `suppressions=${join(top, 'tests/lsan.supp')}:print_suppressions=0`,
    XDG_DATA_HOME: emptyDataHome,
  };
  return run(join(nativeBuild, program), args, { cwd: nativeBuild, env, maxBuffer: 64 << 20 });
}

// Waits until the page's run has ended (Escape, the show's end, or until=).
export async function waitForEnd(page, timeoutMs = 600000) {
  await page.waitForFunction(() => eyesonlyPage.kept.ended !== null, { timeout: timeoutMs, polling: 500 });
  return page.evaluate(() => eyesonlyPage.kept.ended);
}

// Bytes of a typed array the page keeps, fetched in pieces of base64.
export async function fetchBytes(page, expression) {
  const length = await page.evaluate(`(${expression}).byteLength`);
  const pieces = [];
  const piece = 4 << 20;
  for (let at = 0; at < length; at += piece) {
    const text = await page.evaluate((source, from, to) => {
      const view = new Uint8Array(eval(source).buffer, eval(source).byteOffset + from, to - from);
      let binary = '';
      for (let i = 0; i < view.length; i += 0x8000) binary += String.fromCharCode.apply(null, view.subarray(i, i + 0x8000));
      return btoa(binary);
    }, expression, at, Math.min(length, at + piece));
    pieces.push(Buffer.from(text, 'base64'));
  }
  return Buffer.concat(pieces);
}

// A binary PPM (P6, maxval 255): width, height and RGB bytes, top row first.
export async function readPpm(path) {
  const bytes = await readFile(path);
  const header = bytes.toString('latin1', 0, 64).match(/^P6\s+(\d+)\s+(\d+)\s+255\s/);
  if (!header) throw new Error(`${path}: not a binary PPM`);
  return { width: Number(header[1]), height: Number(header[2]), rgb: bytes.subarray(header[0].length) };
}

// The interleaved 16-bit samples of a PCM WAV file's data chunk.
export async function readWavSamples(path) {
  const bytes = await readFile(path);
  for (let at = 12; at + 8 <= bytes.length;) {
    const id = bytes.toString('latin1', at, at + 4);
    const size = bytes.readUInt32LE(at + 4);
    if (id === 'data') {
      const data = bytes.subarray(at + 8, at + 8 + size);
      return new Int16Array(data.buffer.slice(data.byteOffset, data.byteOffset + data.length));
    }
    at += 8 + size + (size & 1);
  }
  throw new Error(`${path}: no data chunk`);
}

// Compares a frame read back with glReadPixels (RGBA, or RGB with
// bytesPerPixel 3; bottom row first) with a PPM: the largest difference,
// and the pixels beyond `tolerance`.
export function compareFrame(pixels, ppm, tolerance, bytesPerPixel = 4) {
  let beyond = 0;
  let largest = 0;
  const { width, height, rgb } = ppm;
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const a = ((height - 1 - y) * width + x) * bytesPerPixel;
      const b = (y * width + x) * 3;
      let worst = 0;
      for (let c = 0; c < 3; c++) worst = Math.max(worst, Math.abs(pixels[a + c] - rgb[b + c]));
      largest = Math.max(largest, worst);
      if (worst > tolerance) beyond++;
    }
  }
  return { beyond, share: beyond / (width * height), largest };
}

// Where a frame's words stand, left to right: the spans of columns holding
// a pixel whose every channel is above 64 (the text's white and grey; the
// scenes' red and dark surfaces have a channel below), joined across gaps
// of up to 8 pixels (within a word; a space is wider). Rows in any order.
export function wordSpans(pixels, width, height, bytesPerPixel = 4) {
  const lit = new Array(width).fill(false);
  for (let p = 0; p < width * height; p++) {
    const at = p * bytesPerPixel;
    if (pixels[at] > 64 && pixels[at + 1] > 64 && pixels[at + 2] > 64) lit[p % width] = true;
  }
  const spans = [];
  lit.forEach((on, x) => {
    const last = spans[spans.length - 1];
    if (on && last && x - last[1] <= 8) last[1] = x;
    else if (on) spans.push([x, x]);
  });
  return spans;
}

// A frame read back (RGBA or RGB, bottom row first) as a binary PPM, top row first:
// for looking at what a failed comparison saw.
export async function writePpm(path, pixels, width, height, bytesPerPixel = 4) {
  const rgb = Buffer.alloc(width * height * 3);
  for (let y = 0; y < height; y++)
    for (let x = 0; x < width; x++)
      for (let c = 0; c < 3; c++)
        rgb[(y * width + x) * 3 + c] = pixels[((height - 1 - y) * width + x) * bytesPerPixel + c];
  await writeFile(path, Buffer.concat([Buffer.from(`P6\n${width} ${height}\n255\n`), rgb]));
}
