// Makes the position bar's stills: the show drawn by the native showframe
// at 160 x 120, one every 5 seconds, laid out in one PNG picture, rows of
// ten, left to right and top to bottom in the show's order.
//
//   node tools/web/stills.mjs SHOWFRAME OUTPUT_PNG
//
// Stills are drawn up to the show's end (showframe says when it ended
// before a moment asked); the page shows those before the show's length
// and reads the layout from the meta line site.mjs writes (stillLayout).
import { spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { deflateSync } from 'node:zlib';

export const stillLayout = { width: 160, height: 120, every: 5, columns: 10 };

// A PNG chunk: length, type, data and the CRC-32 of type and data.
const crcTable = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});
function chunk(type, data) {
  const body = Buffer.concat([Buffer.from(type, 'latin1'), data]);
  let crc = 0xffffffff;
  for (const byte of body) crc = crcTable[(crc ^ byte) & 0xff] ^ (crc >>> 8);
  const out = Buffer.alloc(body.length + 8);
  out.writeUInt32BE(data.length, 0);
  body.copy(out, 4);
  out.writeUInt32BE((crc ^ 0xffffffff) >>> 0, body.length + 4);
  return out;
}

// RGB, 8 bits a channel, top row first; each row filtered by Sub or Up,
// whichever leaves the smaller sum, as encoders commonly judge it.
export function encodePng(rgb, width, height) {
  const stride = width * 3;
  const rows = [];
  for (let y = 0; y < height; y++) {
    const row = rgb.subarray(y * stride, (y + 1) * stride);
    const above = y > 0 ? rgb.subarray((y - 1) * stride, y * stride) : null;
    const sub = Buffer.alloc(stride + 1, 1);
    const up = Buffer.alloc(stride + 1, 2);
    let subSum = 0, upSum = 0;
    for (let i = 0; i < stride; i++) {
      sub[i + 1] = (row[i] - (i >= 3 ? row[i - 3] : 0)) & 0xff;
      up[i + 1] = (row[i] - (above ? above[i] : 0)) & 0xff;
      subSum += Math.min(sub[i + 1], 256 - sub[i + 1]);
      upSum += Math.min(up[i + 1], 256 - up[i + 1]);
    }
    rows.push(subSum <= upSum ? sub : up);
  }
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header.set([8, 2, 0, 0, 0], 8);  // 8 bits, RGB, deflate, no filter set, no interlace
  return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk('IHDR', header),
                        chunk('IDAT', deflateSync(Buffer.concat(rows), { level: 9 })), chunk('IEND', Buffer.alloc(0))]);
}

function readPpm(path) {
  const bytes = readFileSync(path);
  const header = bytes.toString('latin1', 0, 64).match(/^P6\s+(\d+)\s+(\d+)\s+255\s/);
  if (!header) throw new Error(`${path}: not a binary PPM`);
  return bytes.subarray(header[0].length);
}

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
    const rows = Math.ceil(moments.length / columns);
    const sprite = Buffer.alloc(columns * width * rows * height * 3);
    moments.forEach((s, i) => {
      const still = readPpm(join(folder, `${s}.ppm`));
      const left = (i % columns) * width;
      const top = Math.floor(i / columns) * height;
      for (let y = 0; y < height; y++)
        still.copy(sprite, ((top + y) * columns * width + left) * 3, y * width * 3, (y + 1) * width * 3);
    });
    writeFileSync(output, encodePng(sprite, columns * width, rows * height));
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
}
