// The page's static server (tools/web/serve.mjs) as a user starts it: its
// port options, and the methods it answers. Needs no browser: a folder of
// its own with an index.html stands for the page.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import { createServer } from 'node:net';
import { mkdtemp, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import { top } from './browser.mjs';

const index = '<!doctype html><title>page</title>\n';
let folder;

before(async () => {
  folder = await mkdtemp(join(tmpdir(), 'eyesonly-serve-'));
  await writeFile(join(folder, 'index.html'), index);
});
after(() => rm(folder, { recursive: true, force: true }));

// Starts the server with args; resolves to { url, server } once it prints
// its address, or to { code, stderr } when it exits first.
async function startServer(args) {
  const server = spawn(process.execPath, [join(top, 'tools/web/serve.mjs'), folder, ...args]);
  let stdout = '';
  let stderr = '';
  server.stdout.on('data', (text) => { stdout += text; });
  server.stderr.on('data', (text) => { stderr += text; });
  const exited = once(server, 'exit').then(([code]) => ({ code, stderr }));
  const listening = new Promise((done) => server.stdout.on('data', () => {
    const url = stdout.match(/http:\/\/127\.0\.0\.1:\d+\//);
    if (url) done({ url: url[0], server });
  }));
  return Promise.race([exited, listening]);
}

test('the port is taken as --port N or --port=N; an empty or bad one is refused', async () => {
  for (const args of [['--port=0'], ['--port', '0']]) {
    const started = await startServer(args);
    assert.ok(started.url, `${args.join(' ')}: ${started.stderr}`);
    started.server.kill();
  }
  for (const args of [['--port', ''], ['--port='], ['--port', 'abc'], ['--port=70000'], ['--port'], ['--port', '0x1F90'],
    ['--port=1e3'], ['--port', '-0'], ['--port= 80']]) {
    const started = await startServer(args);
    assert.equal(started.code, 2, `${JSON.stringify(args)}: exit ${started.code}, ${started.url || ''}`);
    assert.match(started.stderr, /--port needs a number from 0 to 65535/);
  }
});

test('GET and HEAD give the file and its length; other methods are 405 with Allow; a file that cannot be read is 500', async () => {
  const { url, server } = await startServer(['--port=0']);
  try {
    const cases = [
      // method, status, body, Content-Length, Allow
      ['GET', 200, index, String(index.length), null],
      ['HEAD', 200, '', String(index.length), null],
      ['POST', 405, 'only GET and HEAD\n', null, 'GET, HEAD'],
      ['PUT', 405, 'only GET and HEAD\n', null, 'GET, HEAD'],
      ['DELETE', 405, 'only GET and HEAD\n', null, 'GET, HEAD'],
    ];
    for (const [method, status, body, length, allow] of cases) {
      const response = await fetch(url + 'index.html', { method });
      assert.equal(response.status, status, method);
      assert.equal(await response.text(), body, method);
      if (length) assert.equal(response.headers.get('content-length'), length, method);
      assert.equal(response.headers.get('allow'), allow, method);
    }
    // How long a file may be kept: at a versioned address for a year; the
    // page and its service worker (whose scope is their folder) never.
    await Promise.all(['sw.js', 'a.wasm'].map((name) => writeFile(join(folder, name), '')));
    for (const [path, cache, scope] of [['', 'no-cache', null], ['index.html?v=ab12', 'no-cache', null],
      ['a.wasm', 'no-cache', null], ['a.wasm?v=ab12', 'public, max-age=31536000, immutable', null],
      ['sw.js?v=ab12', 'no-cache', '/']]) {
      const { headers } = await fetch(url + path);
      assert.deepEqual([path, headers.get('cache-control'), headers.get('service-worker-allowed')], [path, cache, scope]);
    }
    // A file that is there but cannot be read (a socket) is the server's
    // failure, 500, not a missing file.
    const socket = createServer();
    socket.listen(join(folder, 'socket'));
    await once(socket, 'listening');
    try {
      const response = await fetch(url + 'socket');
      assert.equal(response.status, 500);
      assert.equal(await response.text(), 'cannot read the file\n');
    } finally {
      socket.close();
    }
  } finally {
    server.kill();
  }
});

