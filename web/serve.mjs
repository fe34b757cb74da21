#!/usr/bin/env node
// Serves the built page on 127.0.0.1 with the two headers that make it cross-origin isolated,
// so the engine may use threads (SharedArrayBuffer). Static files only, from one folder.
//   node web/serve.mjs [FOLDER] [--port N]      (default build/web/site, port 8080; 0: any)
import { createReadStream, statSync } from 'node:fs';
import { createServer } from 'node:http';
import path from 'node:path';

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8', '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm', '.png': 'image/png', '.json': 'application/json',
  '.svg': 'image/svg+xml', '.ico': 'image/x-icon',
};

// isolate: false serves as a plain static host does, without the two headers.
export function startServer(folder, port = 8080, { host = '127.0.0.1', isolate = true } = {}) {
  const root = path.resolve(folder);
  const server = createServer((request, response) => {
    const headers = isolate ? {
      'Cross-Origin-Opener-Policy': 'same-origin',
      'Cross-Origin-Embedder-Policy': 'require-corp',
      'Cross-Origin-Resource-Policy': 'same-origin',
      'Cache-Control': 'no-cache',
    } : { 'Cache-Control': 'no-cache' };
    let name;
    try {
      name = decodeURIComponent(new URL(request.url, 'http://host').pathname);
    } catch {
      response.writeHead(400, headers).end('bad request\n');
      return;
    }
    if (name.endsWith('/')) name += 'index.html';
    const file = path.join(root, path.normalize(name));
    // Nothing outside the folder, whatever the path says.
    if (!file.startsWith(root + path.sep) || (request.method !== 'GET' && request.method !== 'HEAD')) {
      response.writeHead(404, headers).end('not found\n');
      return;
    }
    let size;
    try {
      const info = statSync(file);
      if (!info.isFile()) throw new Error('not a file');
      size = info.size;
    } catch {
      response.writeHead(404, headers).end('not found\n');
      return;
    }
    response.writeHead(200, { ...headers, 'Content-Type': TYPES[path.extname(file)] ??
      'application/octet-stream', 'Content-Length': size });
    if (request.method === 'HEAD') response.end();
    else createReadStream(file).pipe(response);
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, host, () => resolve(server));
  });
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const args = process.argv.slice(2);
  const portAt = args.indexOf('--port');
  const port = portAt >= 0 ? Number(args.splice(portAt, 2)[1]) : 8080;
  const folder = args[0] ?? 'build/web/site';
  const server = await startServer(folder, port);
  const { port: bound } = server.address();
  console.log(`zavol: serving ${folder} at http://127.0.0.1:${bound}/ (Ctrl-C stops)`);
}
