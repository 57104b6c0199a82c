// What the browser tests and benchmarks share: Debian's chromium through
// puppeteer-core, the page served from build-web/, the native program's
// references, and the picture and sound readers.
import { execFile } from 'node:child_process';
import { readFile, writeFile } from 'node:fs/promises';
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

// A browser with WebGL on SwiftShader and sound allowed without a gesture,
// the page served on a free port, and everything the page says kept.
export async function openBrowser({ width = 800, height = 600, host = null, folder = site } = {}) {
  const { server, url } = await serve(folder, 0);
  const browser = await puppeteer.launch({
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
  async function openPage(query) {
    const page = await browser.newPage();
    page.on('console', (message) => console.push({ type: message.type(), text: message.text() }));
    page.on('pageerror', (error) => console.push({ type: 'error', text: String(error) }));
    page.on('requestfailed', (request) => console.push({ type: 'error', text: 'failed: ' + request.url() }));
    await page.goto((host ? url.replace('127.0.0.1', host) : url) + query);
    await page.waitForSelector('#play:not([disabled])', { timeout: 60000 });
    return page;
  }
  async function close() {
    await browser.close();
    server.close();
  }
  return { browser, url, console, openPage, close };
}

// Runs a program of the native build (eyesonly, showframe) there, with an
// empty data folder of the user's so that the show keeps to its own files,
// and the sanitizers' list of the system libraries' leaks for a test build.
export function runNative(program, args, emptyDataHome) {
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
