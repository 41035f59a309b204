// SPDX-License-Identifier: MIT
// A static web server for a folder, on 127.0.0.1 at a port the system picks.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, join, normalize } from 'node:path';

const kTypes = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript',
  '.wasm': 'application/wasm',
  '.data': 'application/octet-stream',
  '.webmanifest': 'application/manifest+json',
  '.png': 'image/png',
  '.svg': 'image/svg+xml',
};

// Resolves to { url, close(), hold(path), release(path) } once it listens. A file held is
// answered only once it is released.
export function serve(folder) {
  const held = new Map();
  const server = createServer(async (request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    const file = join(folder, path.endsWith('/') ? path + 'index.html' : path);
    try {
      await held.get(path)?.promise;
      const body = await readFile(file);
      response.writeHead(200, { 'Content-Type': kTypes[extname(file)] || 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => {
      resolve({
        url: `http://127.0.0.1:${server.address().port}/`,
        hold(path) {
          let release;
          const promise = new Promise((done) => (release = done));
          held.set(path, { promise, release });
        },
        release(path) {
          held.get(path).release();
          held.delete(path);
        },
        // Open connections too: a closed server is a network gone.
        close: () =>
          new Promise((done) => {
            server.close(done);
            server.closeAllConnections();
          }),
      });
    });
  });
}
