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
  // The module hooks node's uncaught exceptions and rejections to rethrow them as its own (and
  // print its whole source line with them): the caller's handling is left as it was.
  const hooked = ['uncaughtException', 'unhandledRejection'].map((e) => [e, process.listeners(e)]);
  const zavol = await createZavol(factory, {
    wasmBinary: readFileSync(path.join(dir, `${name}.wasm`)),
    locateFile: (file) => path.join(dir, file),
  }, { threads: Math.min(threads, os.cpus().length) });
  for (const [event, before] of hooked) {
    for (const listener of process.listeners(event)) {
      if (!before.includes(listener)) process.removeListener(event, listener);
    }
  }
  return zavol;
}
