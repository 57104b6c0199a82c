// A static file server for the browser build on 127.0.0.1, with the types
// the page needs (WebAssembly is compiled as it streams in only when served
// as application/wasm) and the cache lifetimes a static host should give:
// a file asked for at its versioned address (NAME?v=HASH, the build's
// hash) never changes there and is kept for a year; the page, its
// manifest and its service worker are asked for anew on every visit
// (no-cache), so that a new build is seen at once. The worker's scope is
// the folder it is served from, the page's.
//
//   node tools/web/serve.mjs [FOLDER] [--port N | --port=N]   (default build-web/, port 8640; 0 picks a free one)
//
// Serves GET and HEAD (a HEAD has the Content-Length a GET would have); any
// other method is 405. A file that is not there is 404; one that cannot be
// read now (too many open files, no memory) is 503, any other read error 500. Prints the page's address once it listens. Also a
// module: serve(folder, port) resolves to { server, url } for the tests.
import { createServer } from 'node:http';
import { readFile, stat } from 'node:fs/promises';
import { extname, join, normalize, resolve, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const types = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.data': 'application/octet-stream',
  '.css': 'text/css; charset=utf-8',
  '.png': 'image/png',
  '.webmanifest': 'application/manifest+json',
};

// The headers that say how long a file may be kept, and where its worker acts.
export function cacheHeaders(path, query) {
  if (path.endsWith('/sw.js')) return { 'Cache-Control': 'no-cache', 'Service-Worker-Allowed': path.replace(/[^/]*$/, '') };
  if (/(^|&)v=[0-9a-f]+(&|$)/.test(query) && !/\.html$|\/$|\.webmanifest$/.test(path))
    return { 'Cache-Control': 'public, max-age=31536000, immutable' };
  return { 'Cache-Control': 'no-cache' };
}

export function serve(folder, port = 0) {
  const root = resolve(folder);
  const server = createServer(async (request, response) => {
    if (request.method !== 'GET' && request.method !== 'HEAD') {
      response.writeHead(405, { Allow: 'GET, HEAD', 'Content-Type': 'text/plain' });
      response.end('only GET and HEAD\n');
      return;
    }
    try {
      const address = new URL(request.url, 'http://host');
      const path = decodeURIComponent(address.pathname);
      let file = normalize(join(root, path));
      if (file !== root && !file.startsWith(root + sep)) throw new Error('outside');
      if ((await stat(file)).isDirectory()) file = join(file, 'index.html');
      const body = await readFile(file);
      // The length lets the page show how far its download is.
      response.writeHead(200, { 'Content-Type': types[extname(file)] || 'application/octet-stream',
                                'Content-Length': body.length, ...cacheHeaders(path, address.search.slice(1)) });
      response.end(request.method === 'HEAD' ? undefined : body);
    } catch (error) {
      const missing = !error.code || ['ENOENT', 'ENOTDIR', 'EISDIR', 'ENAMETOOLONG', 'ELOOP'].includes(error.code);
      const busy = ['EMFILE', 'ENFILE', 'ENOMEM', 'EAGAIN'].includes(error.code);
      const status = missing ? 404 : busy ? 503 : 500;
      response.writeHead(status, { 'Content-Type': 'text/plain', ...(busy ? { 'Retry-After': '1' } : {}) });
      response.end(missing ? 'not found\n' : busy ? 'busy: try again\n' : 'cannot read the file\n');
    }
  });
  return new Promise((done, failed) => {
    server.once('error', failed);
    server.listen(port, '127.0.0.1', () => done({ server, url: `http://127.0.0.1:${server.address().port}/` }));
  });
}

if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const args = process.argv.slice(2);
  let port = 8640;
  let folder = 'build-web';
  // A port is decimal digits alone: not 0x1F90, 1e3, -0 or an empty value.
  const portNumber = (text) => (/^\d{1,5}$/.test(text) ? Number(text) : NaN);
  for (let i = 0; i < args.length; i++) {
    if (args[i] === '--port') port = i + 1 < args.length ? portNumber(args[++i]) : NaN;
    else if (args[i].startsWith('--port=')) port = portNumber(args[i].slice(7));
    else if (args[i] === '--help') { console.log('usage: serve.mjs [FOLDER] [--port N]'); process.exit(0); }
    else if (args[i].startsWith('-')) { console.error(`serve: unknown option ${args[i]}`); process.exit(2); }
    else folder = args[i];
  }
  if (!Number.isInteger(port) || port < 0 || port > 65535) {
    console.error('serve: --port needs a number from 0 to 65535');
    process.exit(2);
  }
  try {
    await stat(join(folder, 'index.html'));
  } catch {
    console.error(`serve: ${folder}/index.html not found: build the page first (tools/web.sh)`);
    process.exit(1);
  }
  try {
    const { url } = await serve(folder, port);
    console.log(`eyesonly: the show is at ${url} (Ctrl+C stops the server)`);
  } catch (error) {
    console.error(`serve: cannot listen on 127.0.0.1:${port}: ${error.message}`);
    process.exit(1);
  }
}
