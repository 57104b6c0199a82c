// Wine as a host for the Windows build's tests, set up as it stays reliable:
//   - a private prefix (WINEPREFIX), made once and kept in the build folder,
//     with crash dialogs off (otherwise a crash waits for a click forever);
//   - WINEDEBUG=-all, and no Mono or Gecko offered at the prefix's making;
//   - its own X server (Xvfb, a free display found with -displayfd), since
//     Wine makes no GL context without a display;
//   - its wineserver started first, and the session's services, with their
//     output on /dev/null, so that they do not hold a test's pipes open after
//     the program has ended;
//   - a HOME of its own whose ALSA default is the null device, so that the
//     sound device opens and plays into nothing;
//   - everything ended by its process id, and the wineserver by
//     `wineserver -k` of that prefix.
import { execFile, spawn } from 'node:child_process';
import { once } from 'node:events';
import { existsSync } from 'node:fs';
import { mkdir, mkdtemp, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { promisify } from 'node:util';

const execFileP = promisify(execFile);

// Starts Xvfb and resolves to { display, process } once it takes clients:
// it then writes its display number to descriptor 3, a pipe here. Never
// reset (-noreset), so that a client connecting as the last one leaves is
// not dropped.
async function startXvfb(screen = '1024x768x24') {
  const xvfb = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', screen, '-nolisten', 'tcp', '-noreset'],
    { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
  let said = '';
  for await (const chunk of xvfb.stdio[3]) {
    said += chunk;
    if (said.endsWith('\n')) return { display: `:${said.trim()}`, process: xvfb };
  }
  throw new Error('Xvfb ended before it took clients');
}

// The prefix, made once (5 to 12 s, ~700 MB) by the running wineserver; a
// prefix that is there and finished (its stamp written last) is used as it
// is. The registry reaches the disk when the wineserver ends.
function prefixReady(env) {
  return existsSync(join(env.WINEPREFIX, '.eyesonly-ready'));
}

// Runs a Wine command to its end with no standard streams: the session's
// services that it starts (services.exe, winedevice.exe, ...) live on with
// the wineserver and would otherwise hold a test's pipes open.
async function quietly(env, args) {
  const child = spawn('wine', args, { env, stdio: 'ignore' });
  const [code] = await once(child, 'exit');
  if (code !== 0) throw new Error(`wine ${args.join(' ')} ended with ${code}`);
}

async function makePrefix(env) {
  await quietly(env, ['wineboot', '--init']);
  await quietly(env, ['reg', 'add', 'HKCU\\Software\\Wine\\WineDbg', '/v', 'ShowCrashDialog',
    '/t', 'REG_DWORD', '/d', '0', '/f']);
  await writeFile(join(env.WINEPREFIX, '.eyesonly-ready'), 'made by tests/support/wine.mjs\n');
}

// Starts the host. prefixDir: where the prefix is kept between runs.
// Resolves to { env, display, run, stop }.
export async function startWine(prefixDir) {
  const home = await mkdtemp(join(tmpdir(), 'eyesonly-wine-home-'));
  await writeFile(join(home, '.asoundrc'), 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n');
  const xvfb = await startXvfb();
  const env = {
    ...process.env,
    HOME: home,
    DISPLAY: xvfb.display,
    WINEPREFIX: prefixDir,
    WINEDEBUG: '-all',
    WINEDLLOVERRIDES: 'mscoree,mshtml=',
    WINEARCH: 'win64',
  };
  delete env.WAYLAND_DISPLAY;
  let wineserver = null;
  const stop = async () => {
    if (wineserver !== null) {
      // -k ends the prefix's programs and then its server; a server that
      // -k could not reach is ended by its process id.
      const killed = await execFileP('wineserver', ['-k'], { env }).then(() => true, () => false);
      if (wineserver.exitCode === null) {
        if (!killed) wineserver.kill();
        await once(wineserver, 'exit');
      }
    }
    xvfb.process.kill();
    if (xvfb.process.exitCode === null) await once(xvfb.process, 'exit').catch(() => {});
    await rm(home, { recursive: true, force: true });
  };
  try {
    // An unfinished prefix goes before its wineserver starts: the server
    // keeps to the folder it started in.
    const ready = prefixReady(env);
    if (!ready) await rm(prefixDir, { recursive: true, force: true });
    await mkdir(prefixDir, { recursive: true });
    wineserver = spawn('wineserver', ['-p', '-f'], { env, stdio: 'ignore' });
    if (!ready) await makePrefix(env);
    // The session's services, started here with no streams of a test's.
    else await quietly(env, ['wineboot']);
  } catch (error) {
    await stop();
    throw error;
  }

  // Runs a Windows program; resolves to { code, stdout, stderr } when it
  // has ended (or after 5 minutes, killed). options: cwd, env (added),
  // onStart(child) called once it runs.
  const run = (exe, args = [], options = {}) => new Promise((resolve, reject) => {
    const child = spawn('wine', [exe, ...args],
      { env: { ...env, ...(options.env || {}) }, cwd: options.cwd, stdio: ['ignore', 'pipe', 'pipe'] });
    const out = [];
    const err = [];
    child.stdout.on('data', (chunk) => out.push(chunk));
    child.stderr.on('data', (chunk) => err.push(chunk));
    // A program that waits for ever (a box nobody answers) fails its test
    // instead of holding the suite: it is ended after 5 minutes.
    const limit = setTimeout(() => child.kill('SIGKILL'), 300000);
    child.on('error', reject);
    child.on('close', (code, signal) => clearTimeout(limit) || resolve({
      code: signal ? 128 : code, stdout: Buffer.concat(out).toString('utf8'), stderr: Buffer.concat(err).toString('utf8'),
    }));
    if (options.onStart) options.onStart(child);
  });
  return { env, display: xvfb.display, run, stop };
}
