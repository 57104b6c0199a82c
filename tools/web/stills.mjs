// Makes the position bar's stills: the show drawn by the native showframe
// at 160 x 120, one every 5 seconds, laid out in one PNG picture by
// ffmpeg, rows of ten, left to right and top to bottom in the show's order.
//
//   node tools/web/stills.mjs SHOWFRAME OUTPUT_PNG
//
// Stills are drawn up to the show's end (showframe says when it ended
// before a moment asked); the page shows those before the show's length
// and reads the layout from the meta line site.mjs writes (stillLayout).
import { spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, renameSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

export const stillLayout = { width: 160, height: 120, every: 5, columns: 10 };

if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const [showframe, output] = process.argv.slice(2);
  if (!output) {
    console.error('usage: stills.mjs SHOWFRAME OUTPUT_PNG');
    process.exit(2);
  }
  const { width, height, every, columns } = stillLayout;
  const asked = Array.from({ length: 600 / every }, (_, i) => i * every);  // ten minutes: past any show's end
  const folder = mkdtempSync(join(tmpdir(), 'eyesonly-stills-'));
  try {
    // One run draws them all, each the first frame at or after its moment,
    // until the show ends.
    const drawn = spawnSync(resolve(showframe), ['--size', `${width}x${height}`,
                                                 ...asked.flatMap((s) => [String(s), join(folder, `${s}.ppm`)])],
                            { cwd: dirname(resolve(showframe)), encoding: 'utf8' });
    const moments = asked.filter((s) => existsSync(join(folder, `${s}.ppm`)));
    if (drawn.status !== 0 && !/the show ended before/.test(drawn.stderr) || moments.length === 0) {
      console.error(`stills: showframe drew no stills: ${drawn.error ?? drawn.stderr}`);
      process.exit(1);
    }
    // Laid out in rows of `columns`, left to right and top to bottom, by
    // ffmpeg's tile filter, the last row's empty places black, as one PNG.
    moments.forEach((s, i) => renameSync(join(folder, `${s}.ppm`), join(folder, `still-${String(i).padStart(4, '0')}.ppm`)));
    const rows = Math.ceil(moments.length / columns);
    const laid = spawnSync('ffmpeg', ['-v', 'error', '-y', '-i', join(folder, 'still-%04d.ppm'), '-vf',
                                      `tile=${columns}x${rows}`, '-frames:v', '1', '-compression_level', '9',
                                      '-pred', 'mixed', resolve(output)], { encoding: 'utf8' });
    if (laid.status !== 0) {
      console.error(`stills: ffmpeg laid out no stills: ${laid.error ?? laid.stderr}`);
      process.exit(1);
    }
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
}
