// The WebAssembly module through its JavaScript interface, under node: the golden scenes' digests
// (the native engine's), the depth readers against the native tool's renders, the settings block
// against `zavol settings`, and bad calls that must come back as errors, not aborts.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import { readDepthFile } from '../src/depth_files.js';
import { loadZavol } from '../src/node.js';
import { Status } from '../src/zavol.js';
import { DATA, GOLDEN_FILES, SITE, digest, firstDifference, readPam, tempDir, zavol } from './support.js';

let one, two;
before(async () => {
  one = await loadZavol(SITE);
  two = await loadZavol(SITE, { threads: 2 });
});
after(() => two.close());

describe('golden scenes', () => {
  const folder = tempDir();
  const cases = execFileSync(GOLDEN_FILES, [folder], { encoding: 'utf8' }).trim().split('\n')
    .map((line) => {
      const [name, hex, pattern, screenWidth, screenHeight] = line.split(' ');
      return { name, hex, pattern: pattern === '1', screen: [Number(screenWidth), Number(screenHeight)] };
    });
  for (const c of cases) {
    test(`${c.name} renders the native digest on one thread and on two`, () => {
      for (const [z, threads] of [[one, 1], [two, 2]]) {
        const depth = z.readPfm(readFileSync(path.join(folder, `${c.name}.pfm`)));
        const values = {
          ...z.settingsFromBytes(readFileSync(path.join(folder, `${c.name}.bin`))),
          screen_width: c.screen[0], screen_height: c.screen[1], threads,
        };
        let pattern = null;
        if (c.pattern) {
          const pam = readPam(path.join(folder, `${c.name}_pattern.pam`));
          pattern = { width: pam.width, height: pam.height, rgba: pam.words };
        }
        const words = z.render(depth.values, depth.width, depth.height, values, { pattern });
        assert.equal(digest(words), c.hex, `${c.name}, ${threads} thread(s)`);
      }
    });
  }
});

// The page's readers and the engine against the tool, file by file: the 16-bit words of
// `zavol render FILE -o out.pam` with the same options.
describe('depth files render as the tool renders them', () => {
  const folder = tempDir();
  zavol('scene', '--size', '300x170', '-o', path.join(folder, 'scene.png'));
  zavol('scene', '--size', '300x170', '-o', path.join(folder, 'scene.exr'));
  zavol('scene', '--size', '300x170', '-o', path.join(folder, 'scene.pfm'));
  const files = [
    [path.join(DATA, 'cycles_multilayer.exr'), [], {}],                      // ViewLayer.Depth.Z
    [path.join(DATA, 'cycles_multilayer.exr'), ['--depth-kind', 'mist'], { kind: 'mist' }],
    [path.join(DATA, 'Beachball_singlepart.0001.exr'), [], {}],              // ZIPS, data window
    [path.join(DATA, 'chain_ring.png'), [], {}],                             // 8-bit RGBA
    [path.join(folder, 'scene.png'), [], {}],                                // 16-bit grey
    [path.join(folder, 'scene.exr'), ['--far-cutoff', '5000'], { farCutoff: 5000 }],
    [path.join(folder, 'scene.pfm'), ['--view', 'cross', '--dots', 'stable'], {}],
  ];
  for (const [file, flags, readOptions] of files) {
    test(`${path.basename(file)} ${flags.join(' ')}`, async () => {
      const out = path.join(folder, 'out.pam');
      zavol('render', file, '--medium', 'dpi', '--dpi', '40', '--seed', '9', ...flags, '-o', out);
      const expected = readPam(out);
      const read = await readDepthFile(one, readFileSync(file), readOptions);
      const values = { viewing_medium: 1008, custom_dpi: 40, seed: 9 };
      if (flags.includes('--view')) Object.assign(values, { view: 1, dots: 1 });
      const words = one.render(read.depth, read.width, read.height, values);
      assert.deepEqual([read.width, read.height], [expected.width, expected.height]);
      assert.equal(firstDifference(words, expected.words), -1);
    });
  }
});

test('EXR files the page does not read are messages', async () => {
  const good = readFileSync(path.join(DATA, 'cycles_single_zbuf.exr'));
  const compression = good.indexOf('compression\0compression\0') + 24 + 4;
  const piz = Buffer.from(good);
  piz[compression] = 4;
  const lastChunk = Buffer.from(good);
  lastChunk.fill(0x55, good.length - 200);  // the last block's deflate stream
  const rows = [
    ['cut short', good.subarray(0, good.length >> 1), /damaged|cut short/],
    ['PIZ', piz, /PIZ compression is not read here/],
    ['deep', readFileSync(path.join(DATA, 'v2_LowResLeftView_Trunks.exr')), /deep files/],
    ['a damaged block', lastChunk, /damaged/],
    ['a channel it lacks', good, /no depth channel Depth; channels: A B G R Z/, { channel: 'Depth' }],
  ];
  for (const [name, bytes, message, options = {}] of rows) {
    await assert.rejects(readDepthFile(one, bytes, options), message, name);
  }
});

test('the built-in scene is the tool\'s', () => {
  const folder = tempDir();
  zavol('scene', '--size', '123x45', '-o', path.join(folder, 'scene.pfm'));
  const tool = one.readPfm(readFileSync(path.join(folder, 'scene.pfm')));
  assert.equal(firstDifference(one.scene(123, 45, 0), tool.values), -1);
});

test('settings blocks round-trip and equal zavol settings', () => {
  const folder = tempDir();
  const block = path.join(folder, 'block.bin');
  zavol('settings', '--near-object-depth', '0.55', '--medium', 'a4', '--color1', '102030',
    '--ramp', 'hsv', '--guide', '--no-randomize', '--no-auto-distance', '--near-distance', '2',
    '--far-distance', '40', '-o', block);
  const values = { near_object_depth: 0.55, viewing_medium: 1006, color1: 0x302010,
    ramp_mode: 1024, put_guide_points: 1, randomize_each_frame: 0, auto_distance: 0,
    near_distance: 2, far_distance: 40 };
  const bytes = one.settingsToBytes(values);
  assert.deepEqual(Buffer.from(bytes), readFileSync(block));
  const back = one.settingsFromBytes(bytes);
  for (const [name, value] of Object.entries(values)) {
    assert.equal(back[name], Math.fround(value), name);
  }
});

test('bad calls are errors and the module keeps working', () => {
  const d = one.scene(64, 32, 0);
  const rows = [
    ['zero width', (z) => z.render(d, 0, 32), Status.SIZE],
    ['side over 65535', (z) => z.render(new Float32Array(70000), 70000, 1), Status.SIZE],
    ['depth of the wrong length', (z) => z.render(d, 64, 31), Status.SIZE_MISMATCH],
    ['too large for memory', (z) => z.scene(65535, 65535), Status.NO_MEMORY],
    ['settings block of 55 bytes', (z) => z.settingsFromBytes(new Uint8Array(55)), Status.SETTINGS_SIZE],
    ['near depth not a number', (z) => z.render(d, 64, 32, { near_object_depth: NaN }), Status.SETTING_VALUE],
    ['background depth out of range', (z) => z.settingsToBytes({ background_depth: 101 }), Status.SETTING_VALUE],
    ['a medium that is no choice', (z) => z.render(d, 64, 32, { viewing_medium: 999 }), Status.SETTING_VALUE],
    ['dot size 65', (z) => z.render(d, 64, 32, { dot_size: 65 }), Status.OPTION_VALUE],
    ['view 7', (z) => z.render(d, 64, 32, { view: 7 }), Status.OPTION_VALUE],
    ['oversample 1.5', (z) => z.render(d, 64, 32, { oversample: 1.5 }), Status.OPTION_VALUE],
    ['a value that is text', (z) => z.render(d, 64, 32, { seed: '7' }), Status.OPTION_VALUE],
    ['an unknown field', (z) => z.render(d, 64, 32, { dots_per_inch: 3 }), Status.OPTION_VALUE],
    ['an unknown depth kind', (z) => z.depthConvert(d, 9), Status.DEPTH_KIND],
    ['a pattern of the wrong length', (z) => z.render(d, 64, 32, {}, { pattern: { width: 4, height: 4, rgba: new Uint16Array(8) } }), Status.SIZE_MISMATCH],
    ['a PFM cut short', (z) => z.readPfm(new TextEncoder().encode('Pf\n4 4\n-1\n\0\0\0\0')), Status.SIZE],
    ['not a PFM', (z) => z.readPfm(new TextEncoder().encode('P6\n1 1\n255\n\0\0\0')), Status.SIZE],
    ['a picture too narrow to decode', (z) => z.decode(new Uint8Array(4 * 8 * 8), 8, 8), Status.SIZE],
    ['bits 12', (z) => z.render(d, 64, 32, {}, { bits: 12 }), Status.OPTION_VALUE],
  ];
  for (const z of [one, two]) {
    for (const [name, call, status] of rows) {
      assert.throws(() => call(z), (e) => e.name === 'ZavolError' && e.status === status &&
        e.message.length > 0, name);
    }
    assert.equal(z.render(d, 64, 32, { seed: 3 }).length, 4 * 64 * 32);
  }
});
