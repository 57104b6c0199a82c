// The Windows build's figures (no goals), printed one a line as
// "<name> <value> <what>": the zip's size, and the .exe's start-up to its
// first frame under Wine (process start to exit after the first frame drawn
// headless, Wine's own start included), the median of RUNS runs.
//   node bench/windows.mjs [RUNS]   with EYESONLY_WINDOWS_BUILD (default build-win/)
import { execFile } from 'node:child_process';
import { mkdtemp, rm, stat } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { promisify } from 'node:util';

import { startWine } from '../tests/support/wine.mjs';

const runs = Number(process.argv[2] || 3);
const top = resolve(fileURLToPath(import.meta.url), '../..');
const windowsBuild = resolve(process.env.EYESONLY_WINDOWS_BUILD || join(top, 'build-win'));
const zip = join(windowsBuild, 'eyesonly-windows-x64.zip');
const median = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];

console.log(`windows-zip-kb ${Math.round((await stat(zip)).size / 1024)} KB (eyesonly-windows-x64.zip; no goal)`);
const scratch = await mkdtemp(join(tmpdir(), 'eyesonly-bench-windows-'));
const wine = await startWine(join(windowsBuild, 'wine-prefix'));
try {
  await promisify(execFile)('unzip', ['-q', zip, '-d', scratch]);
  const exe = join(scratch, 'eyesonly-windows-x64', 'eyesonly.exe');
  const times = [];
  for (let i = 0; i < runs; i++) {
    const start = performance.now();
    const result = await wine.run(exe, ['--headless', '--fps', '60', '--until', '0'], { cwd: scratch });
    if (result.code !== 0) throw new Error(`eyesonly.exe ended with ${result.code}: ${result.stderr}`);
    times.push(performance.now() - start);
  }
  console.log(`windows-startup-ms ${Math.round(median(times))} ms to the first frame under Wine, exit included (no goal)`);
} finally {
  await wine.stop();
  await rm(scratch, { recursive: true, force: true });
}
