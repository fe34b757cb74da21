// Loads the module under node (tests, benchmark): emscripten's ES module output still reaches
// for require and __dirname there, and is handed its .wasm bytes read from disk.
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

import { createZavol } from './zavol.js';

// dir: the built page folder (build/web/site). threads: the threaded module, with up to that
// many threads per frame.
export async function loadZavol(dir, { threads = 1 } = {}) {
  globalThis.require ??= createRequire(import.meta.url);
  globalThis.__dirname ??= dir;
  const name = threads > 1 ? 'zavol-mt' : 'zavol';
  const { default: factory } = await import(pathToFileURL(path.join(dir, `${name}.js`)).href);
  return createZavol(factory, {
    wasmBinary: readFileSync(path.join(dir, `${name}.wasm`)),
    locateFile: (file) => path.join(dir, file),
  }, { threads: Math.min(threads, os.cpus().length) });
}
