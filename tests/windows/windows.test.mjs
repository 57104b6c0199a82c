// The Windows build under Wine, held to the Linux program: the zip and what
// the .exe imports, the timeline at two rates, frames at five moments, the
// sound through SDL's disk driver against a capture's soundtrack, and the
// exit codes (the show's end, Escape in its window after the full-screen
// question, no data, a bad option, a capture asked of a build that has
// none). The .exe runs from the unpacked zip in a folder whose name has
// spaces and non-ASCII letters, started from another folder.
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { once } from 'node:events';
import { copyFile, cp, mkdir, mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { promisify } from 'node:util';

import { startWine } from '../support/wine.mjs';

const run = promisify(execFile);
const top = resolve(fileURLToPath(import.meta.url), '../../..');
const windowsBuild = resolve(process.env.EYESONLY_WINDOWS_BUILD || join(top, 'build-win'));
const nativeBuild = resolve(process.env.EYESONLY_NATIVE_BUILD || join(top, 'build'));
const zipFolder = 'eyesonly-windows-x64';
const traceRuns = [['--fps', '60'], ['--fps', '29.97'], ['--fps', '60', '--from', '100', '--until', '101']];
const frameFps = '10';
// Sizes and the moments drawn at each, in seconds into the show: at sizes
// that are not whole multiples of 640 x 480 the text is set from glyphs
// drawn for that size (captions at 45 s, credits at 140.5 s).
const frameRuns = [
  { size: [], moments: ['1', '30', '61', '80', '115'] },
  { size: ['--size', '1000x750'], moments: ['45', '140.5'] },
  { size: ['--size', '1366x768'], moments: ['45', '140.5'] },
];
const frameTolerance = 2;                          // levels a channel
const frameShareAllowed = 0.001;                   // of the pixels, beyond the tolerance
const showTitle = '.. for your eyes only ..';
// DLLs that every 64-bit Windows has.
const systemDlls = new Set(['advapi32.dll', 'gdi32.dll', 'imm32.dll', 'kernel32.dll', 'msvcrt.dll', 'ole32.dll',
  'oleaut32.dll', 'opengl32.dll', 'setupapi.dll', 'shell32.dll', 'user32.dll', 'version.dll', 'winmm.dll',
  'dinput8.dll', 'cfgmgr32.dll', 'hid.dll']);

let scratch;
let wine;
let folder;   // the unpacked zip's folder
let exe;
let nativeEnv;

// The native build's program with an empty data folder of the user's, run
// from its build folder.
const native = (program, args) => run(join(nativeBuild, program), args,
  { cwd: nativeBuild, env: nativeEnv, maxBuffer: 64 << 20 });

before(async () => {
  scratch = await mkdtemp(join(tmpdir(), 'eyesonly-windows-'));
  folder = join(scratch, 'Spiele für Ø', zipFolder);
  await mkdir(join(scratch, 'Spiele für Ø'));
  await mkdir(join(scratch, 'elsewhere'));
  await run('unzip', ['-q', join(windowsBuild, `${zipFolder}.zip`), '-d', join(scratch, 'Spiele für Ø')]);
  exe = join(folder, 'eyesonly.exe');
  nativeEnv = {
    ...process.env,
    LSAN_OPTIONS: `suppressions=${join(top, 'tests/lsan.supp')}:print_suppressions=0`,
    XDG_DATA_HOME: join(scratch, 'no-user-data'),
  };
  wine = await startWine(join(windowsBuild, 'wine-prefix'));
});

after(async () => {
  if (wine) await wine.stop();
  if (scratch) await rm(scratch, { recursive: true, force: true });
});

// A Windows path for a Linux one (Wine's Z: drive).
const windowsPath = (path) => `Z:${path.replace(/\//g, '\\')}`;

test('the zip holds the program, its data, README.txt and the licence; the program imports only system DLLs and has its icon, version and manifest', async () => {
  const listing = (await run('unzip', ['-Z1', join(windowsBuild, `${zipFolder}.zip`)])).stdout.split('\n');
  for (const name of ['eyesonly.exe', 'eyesonly.com', 'README.txt', 'LICENSE.txt', 'data/skorv1.bitmap', 'data/skorv2.bitmap',
    'data/skorv3.bitmap', 'data/Tq_outro.xm', 'data/VELTO63K.XM', 'data/glyphs.pack'])
    assert.ok(listing.includes(`${zipFolder}/${name}`), `${name} in the zip: ${listing.join(' ')}`);
  const dump = (await run('x86_64-w64-mingw32-objdump', ['-p', exe], { maxBuffer: 64 << 20 })).stdout;
  const imports = [...dump.matchAll(/DLL Name: (\S+)/g)].map((m) => m[1].toLowerCase());
  assert.ok(imports.includes('opengl32.dll'), `imports ${imports.join(' ')}`);
  assert.deepEqual(imports.filter((dll) => !systemDlls.has(dll)), [], `imports ${imports.join(' ')}`);
  // The resources as windres reads them back: the icon at six sizes, the
  // version, and the manifest's DPI awareness, long paths and the boxes'
  // current look; each program says what it is.
  for (const [program, description] of [['eyesonly.exe', /show"/], ['eyesonly.com', /command prompt/]]) {
    const rc = (await run('x86_64-w64-mingw32-windres', ['-i', join(folder, program), '-O', 'rc'], { maxBuffer: 64 << 20 })).stdout;
    assert.match(rc, /RT_GROUP_ICON \*\/\s+BEGIN\s+0, 1, 6,/, `${program}: an icon of six sizes`);
    for (const value of [/"ProductName", "eyesonly"/, /"FileVersion", "\d+\.\d+"/, /"LegalCopyright", "Copyright/,
      new RegExp(`"OriginalFilename", "${program.replace('.', '\\.')}"`)])
      assert.match(rc, value, `${program}: version information`);
    assert.match(rc.match(/"FileDescription", "[^"]*"/)[0], description, program);
    const manifest = rc.replace(/""/g, '"');
    for (const setting of ['>PerMonitorV2', '>true</longPathAware>', 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'])
      assert.ok(manifest.includes(setting), `${program}: the manifest has ${setting}`);
  }
  const readme = await readFile(join(folder, 'README.txt'), 'latin1');
  assert.equal(readme.split('\n').length, readme.split('\r\n').length, 'README.txt has CRLF line ends');
  assert.match(readme, /146\.5 s/);
});

test('the timeline at 60 and 29.97 frames a second, and from 100 s, is the Linux program\'s, and the show\'s end is exit code 0', async () => {
  for (const options of traceRuns) {
    const what = options.join(' ');
    const args = ['--headless', ...options, '--trace', '--mute'];
    const [windows, linux] = await Promise.all([
      wine.run(exe, args, { cwd: join(scratch, 'elsewhere') }), native('eyesonly', args)]);
    assert.equal(windows.code, 0, `${what}: exit code; stderr: ${windows.stderr}`);
    assert.equal(windows.stderr, '', `${what}: every photo and song found beside the program, no box`);
    assert.ok(linux.stdout.split('\n').length > 2, `${what}: the Linux trace has ${linux.stdout.length} bytes`);
    assert.equal(windows.stdout, linux.stdout, `${what}: traces`);
  }
});

test('frames at five moments, and with text at 1000 x 750 and 1366 x 768, are within 2 levels of the Linux program\'s on 99.9% of the pixels', async () => {
  for (const { size, moments } of frameRuns) {
    const file = (system, at) => join(scratch, `${system}-${size.join('')}-${at}.ppm`);
    const pictures = (system) => moments.flatMap((at) => [at, file(system, at)]);
    const [windows] = await Promise.all([
      wine.run(join(windowsBuild, 'showframe.exe'), ['--fps', frameFps, ...size, ...pictures('windows')], { cwd: folder }),
      native('showframe', ['--fps', frameFps, ...size, ...pictures('linux')]),
    ]);
    assert.equal(windows.code, 0, `${size.join(' ')}: showframe.exe; stderr: ${windows.stderr}`);
    for (const at of moments) {
      const what = `${size.join(' ') || '640 x 480'}, ${at} s`;
      const [a, b] = await Promise.all([readFile(file('windows', at)), readFile(file('linux', at))]);
      assert.equal(a.length, b.length, `${what}: file sizes`);
      const header = a.toString('latin1', 0, 32).match(/^P6\s+\d+\s+\d+\s+255\s/)[0].length;
      const pixels = (a.length - header) / 3;
      let beyond = 0;
      for (let p = header; p < a.length; p += 3)
        if ([0, 1, 2].some((c) => Math.abs(a[p + c] - b[p + c]) > frameTolerance)) beyond++;
      assert.ok(beyond / pixels <= frameShareAllowed, `${what}: ${beyond} of ${pixels} pixels differ by more than ${frameTolerance}`);
    }
  }
});

// The 16-bit samples of a PCM WAV file's data chunk (its header taken as the
// plain 44 bytes a capture writes), or of a raw file.
async function samples(path, skip = 0) {
  const data = (await readFile(path)).subarray(skip);
  return new Int16Array(data.buffer.slice(data.byteOffset, data.byteOffset + data.length - (data.length & 1)));
}

test('the sound through SDL\'s disk driver is the Linux capture\'s soundtrack, sample for sample, from the first sound on', async () => {
  // The device writes silence until the intro song starts, then the song:
  // compared from the first sound on, for two seconds. A millisecond's wait
  // a buffer keeps the device ahead of the show and the file small. (SDL
  // 2.26 on Windows reads every variable into one buffer, so the driver
  // takes the wait's value for the file's name too: both are "1".)
  const seconds = 2;
  await mkdir(join(scratch, 'sound'));
  const raw = join(scratch, 'sound', '1');
  const [windows] = await Promise.all([
    wine.run(exe, ['--windowed', '--fps', '60', '--until', '10'], {
      cwd: join(scratch, 'sound'), env: { SDL_AUDIODRIVER: 'disk', SDL_DISKAUDIOFILE: '1', SDL_DISKAUDIODELAY: '1' },
    }),
    native('eyesonly', ['--capture', join(scratch, 'capture') + '/', '--fps', '10', '--until', '3']),
  ]);
  assert.equal(windows.code, 0, `stderr ${windows.stderr}`);
  const [device, capture] = await Promise.all([samples(raw), samples(join(scratch, 'capture', 'audio.wav'), 44)]);
  const firstSound = (a) => a.findIndex((v) => v !== 0);
  const [d, c] = [firstSound(device), firstSound(capture)];
  const count = seconds * 44100 * 2;
  assert.ok(d >= 0 && c >= 0, `sound in both: device from ${d}, capture from ${c}`);
  assert.ok(device.length - d >= count && capture.length - c >= count,
    `${seconds} s of sound in both: ${device.length - d} and ${capture.length - c} samples`);
  const firstDiffer = device.subarray(d, d + count).findIndex((v, i) => v !== capture[c + i]);
  assert.equal(firstDiffer, -1, `the first of ${count} samples that differs: ${firstDiffer}`);
});

test('exit codes: 1 with none of the show\'s files, 2 on a bad option, 1 for --capture; help and version reach a pipe', async () => {
  const alone = join(scratch, 'alone');
  await mkdir(alone);
  await copyFile(exe, join(alone, 'eyesonly.exe'));
  const noData = await wine.run(join(alone, 'eyesonly.exe'), ['--headless'], { cwd: alone });
  assert.equal(noData.code, 1, `no data: stderr ${noData.stderr}`);
  // The folders in Windows' own form, the user's own in %APPDATA%.
  assert.match(noData.stderr, /none of the show's files \(photos and songs\) found; looked in .*\\AppData\\Roaming\\eyesonly\\data, /);
  assert.doesNotMatch(noData.stderr, /\//);

  const bad = await wine.run(exe, ['--no-such-option'], { cwd: folder });
  assert.equal(bad.code, 2);
  assert.match(bad.stderr, /--no-such-option/);
  assert.match(bad.stderr, /usage/i);

  const capture = await wine.run(exe, ['--capture', 'x.mkv'], { cwd: join(scratch, 'elsewhere') });
  assert.equal(capture.code, 1, `--capture: stderr ${capture.stderr}`);
  assert.equal(capture.stderr.trim().split('\n').length, 1, `--capture says it in one line: ${capture.stderr}`);
  assert.match(capture.stderr, /cannot capture/);

  // From a command prompt, "eyesonly" is eyesonly.com: the prompt waits,
  // the program's lines come before the prompt's next, and %ERRORLEVEL% is
  // its exit code.
  const prompt = await wine.run('cmd', ['/c', 'eyesonly --bogus 2>&1 & echo exit code %ERRORLEVEL%'], { cwd: folder });
  assert.match(prompt.stdout, /^eyesonly: unknown option '--bogus'\nusage: [^]*\nexit code 2\r\n$/, prompt.stderr);

  // Started as Explorer starts it (no console, no streams): the error in a
  // box of the program's name, which waits for its answer.
  const opener = execFile('wine', ['rundll32', 'shell32.dll,ShellExec_RunDLL', windowsPath(exe), '--bogus'],
    { env: wine.env, cwd: folder });
  const openerEnded = once(opener, 'exit');
  // (A box that never comes fails the test after 5 minutes, as wine.run does.)
  const box = (await run('xdotool', ['search', '--sync', '--onlyvisible', '--name', '^eyesonly$'], { env: wine.env, timeout: 300000 })).stdout.trim();
  await run('xdotool', ['windowfocus', '--sync', box.split('\n')[0]], { env: wine.env });
  await run('xdotool', ['key', 'Return'], { env: wine.env });
  await openerEnded;

  // Windows' own help: its folders and stops, no capture.
  const help = await wine.run(exe, ['--help']);
  assert.equal(help.code, 0);
  assert.match(help.stdout, /%APPDATA%\\eyesonly\\data/);
  assert.match(help.stdout, /130 stopped by Ctrl-C/);
  assert.doesNotMatch(help.stdout, /XDG|\.local|share\/|SIG|--capture|--crf/);
  const version = await wine.run(exe, ['--version'], { cwd: folder });
  assert.equal(version.code, 0);
  assert.match(version.stdout, /^eyesonly \d+\.\d+\nface: DejaVu Sans Mono \(Z:\\.*\\data\\glyphs\.pack\)\n$/);
});

test('a glyph pack missing, cut short or damaged is refused in one line; data folders with letters of any language and paths over 260 characters play', async () => {
  const copy = join(scratch, 'packs');
  await cp(folder, copy, { recursive: true });
  const pack = join(copy, 'data', 'glyphs.pack');
  const whole = await readFile(pack);
  for (const [what, bytes] of [['cut short', whole.subarray(0, whole.length >> 1)],
    ['with a byte too many', Buffer.concat([whole, Buffer.alloc(1)])], ['missing', null]]) {
    if (bytes) await writeFile(pack, bytes);
    else await rm(pack);
    const refused = await wine.run(join(copy, 'eyesonly.exe'), ['--headless'], { cwd: copy });
    assert.equal(refused.code, 1, `${what}: stderr ${refused.stderr}`);
    assert.match(refused.stderr, /^eyesonly: the glyph pack Z:\\.*\\data\\glyphs\.pack is missing, damaged or cut short: the text cannot be set\n$/, what);
  }

  // The program alone, its data given with --data: a folder named in
  // several scripts, and one 330 characters deep; then the program itself
  // 330 characters deep.
  const alone = join(scratch, 'alone-long');
  await mkdir(alone);
  await copyFile(exe, join(alone, 'eyesonly.exe'));
  const named = join(scratch, 'Данные 数据 Δεδομένα für Ø');
  let deep = join(scratch, 'deep');
  while (windowsPath(deep).length < 330) deep = join(deep, 'a folder of forty characters, give or ta');
  for (const data of [named, deep]) {
    await cp(join(folder, 'data'), data, { recursive: true });
    const played = await wine.run(join(alone, 'eyesonly.exe'), ['--headless', '--fps', '60', '--until', '1', '--data', windowsPath(data)],
      { cwd: alone });
    assert.equal(played.code, 0, `--data ${data}: stderr ${played.stderr}`);
    assert.equal(played.stderr, '', `--data ${data}`);
  }
  await copyFile(exe, join(deep, 'eyesonly.exe'));
  await cp(join(folder, 'data'), join(deep, 'data'), { recursive: true });
  const deepProgram = await wine.run(join(deep, 'eyesonly.exe'), ['--headless', '--fps', '60', '--until', '1'],
    { cwd: join(scratch, 'elsewhere') });
  assert.equal(deepProgram.code, 0, `stderr ${deepProgram.stderr}`);
  assert.equal(deepProgram.stderr, '');
});

test('the full-screen question, answered Yes, then Escape in the show\'s window: exit code 27', async () => {
  // Xvfb offers only its own screen size, so the switch to 640 x 480 is
  // refused and the show asks whether a window will do.
  const ended = wine.run(exe, ['--mute'], { cwd: join(scratch, 'elsewhere') });
  const xdotool = (args) => run('xdotool', args, { env: wine.env });
  // --sync waits for the window to be there; a program that ends first
  // fails the test. A window that goes while xdotool reads the windows'
  // names (the question's, once answered) stops it with BadWindow: it
  // looks again.
  const waitWindow = async (pattern) => {
    let failure = '';
    for (let attempt = 0; attempt < 20; attempt++) {
      let search;
      const found = new Promise((resolve) => {
        search = execFile('xdotool', ['search', '--sync', '--onlyvisible', '--name', pattern], { env: wine.env },
          (error, stdout) => { failure = error ? error.message : ''; resolve(error ? null : stdout.trim().split('\n')[0]); });
      });
      const id = await Promise.race([found, ended.then((early) => {
        search.kill();
        throw new Error(`the program ended (${early.code}) before a window ${pattern} came: ${early.stderr}`);
      })]);
      if (id) return id;
    }
    throw new Error(`no window ${pattern}: ${failure}`);
  };
  const question = await waitWindow('^ogl$');
  await xdotool(['windowfocus', '--sync', question]);
  await xdotool(['key', 'Return']);
  // The show's title may say "muted".
  const window = await waitWindow(`^${showTitle.replace(/\./g, '\\.')}`);
  await xdotool(['windowfocus', '--sync', window]);
  // The key is held until the program has ended, as a finger holds it.
  await xdotool(['keydown', 'Escape']);
  const result = await ended;
  await xdotool(['keyup', 'Escape']);
  assert.equal(result.code, 27, `stderr ${result.stderr}`);
});
