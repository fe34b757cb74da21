// What the page's tests share: where the built page, the native tool and the sample files are
// (from the environment CTest sets, else the default build folders), and running the tool.
import { execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const SOURCE = path.resolve(here, '../..');
export const SITE = process.env.ZAVOL_WEB_SITE ?? path.join(SOURCE, 'build/web/site');
export const ZAVOL = process.env.ZAVOL_BIN ?? path.join(SOURCE, 'build/native/bin/zavol');
export const GOLDEN_FILES = process.env.ZAVOL_GOLDEN_FILES ??
  path.join(SOURCE, 'build/native/bin/golden_scene_files');
export const DATA = process.env.ZAVOL_DATA_DIR ?? path.join(SOURCE, 'tests/data');

for (const [what, file] of [['the web build', path.join(SITE, 'zavol.wasm')], ['zavol', ZAVOL]]) {
  if (!existsSync(file)) throw new Error(`${what} is missing: no ${file}`);
}

export function tempDir() {
  return mkdtempSync(path.join(os.tmpdir(), 'zavol-web-'));
}

// Runs the native tool; its stdout as a Buffer.
export function zavol(...args) {
  return execFileSync(ZAVOL, args, { stdio: ['ignore', 'pipe', 'pipe'] });
}

// A 16-bit RGBA PAM (the tool's and golden_scene_files' format) into {width, height, words}.
export function readPam(file) {
  const bytes = readFileSync(file);
  const end = bytes.indexOf('ENDHDR\n');
  const header = bytes.subarray(0, end).toString('latin1');
  const get = (key) => Number(header.match(new RegExp(`^${key} (\\S+)`, 'm'))[1]);
  const width = get('WIDTH'), height = get('HEIGHT'), depth = get('DEPTH');
  if (depth !== 4 || get('MAXVAL') !== 65535) throw new Error(`${file}: not 16-bit RGBA`);
  const data = bytes.subarray(end + 7);
  const words = new Uint16Array(4 * width * height);
  for (let i = 0; i < words.length; i++) words[i] = data[2 * i] << 8 | data[2 * i + 1];
  return { width, height, words };
}

// FNV-1a 64 of 16-bit words, each little-endian: the golden scenes' digest.
export function digest(words) {
  let h = 0xcbf29ce484222325n;
  const prime = 0x100000001b3n, mask = 0xffffffffffffffffn;
  for (const w of words) {
    h = ((h ^ BigInt(w & 0xff)) * prime) & mask;
    h = ((h ^ BigInt(w >> 8)) * prime) & mask;
  }
  return h.toString(16).padStart(16, '0');
}

// The index of the first difference of two arrays, or -1.
export function firstDifference(a, b) {
  if (a.length !== b.length) return Math.min(a.length, b.length);
  for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) return i;
  return -1;
}
