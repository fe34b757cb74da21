// The page in headless Chromium (Debian's /usr/bin/chromium through puppeteer-core), served by
// our server with the isolation headers: it loads without console errors, a depth file on the
// file input draws the native tool's pixels, a field change re-renders and exports the block
// `zavol settings` writes, a damaged file is a message after which the next file renders, the
// decode panel recovers the built-in scene, and the animation plays. Screenshots go to
// ZAVOL_WEB_SHOTS (default: beside the built page).
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { decode as decodePng } from 'fast-png';
import puppeteer from 'puppeteer-core';

import { startServer } from '../serve.mjs';
import { DATA, SITE, firstDifference, tempDir, zavol } from './support.js';

const CHROMIUM = process.env.ZAVOL_CHROMIUM ?? '/usr/bin/chromium';
const SHOTS = process.env.ZAVOL_WEB_SHOTS ?? path.dirname(SITE);
let server, browser, page;
const problems = [];

before(async () => {
  server = await startServer(SITE, 0);
  browser = await puppeteer.launch({
    executablePath: CHROMIUM, headless: true,
    args: process.getuid?.() === 0 ? ['--no-sandbox'] : [],
  });
  page = await browser.newPage();
  page.on('console', (m) => { if (m.type() === 'error') problems.push(m.text()); });
  page.on('pageerror', (e) => problems.push(e.message));
  await page.setViewport({ width: 1280, height: 900, deviceScaleFactor: 1 });
  await page.goto(`http://127.0.0.1:${server.address().port}/`);
  await page.waitForSelector('body[data-ready="1"]', { timeout: 60000 });
});

after(async () => {
  await browser?.close();
  server?.close();
});

const text = (selector) => page.$eval(selector, (e) => e.textContent);
const renders = () => page.$eval('#picture', (c) => Number(c.dataset.renders || 0));
const canvasPixels = (selector) => page.$eval(selector, (c) =>
  Array.from(c.getContext('2d').getImageData(0, 0, c.width, c.height).data));

async function setField(name, value) {
  await page.$eval(`#field-${name}`, (e, v) => {
    e.value = v;
    e.dispatchEvent(new Event(e.tagName === 'SELECT' ? 'change' : 'input'));
  }, String(value));
}

// Sets a file on an input and waits until the picture has been drawn again or a message shows.
async function openFile(input, file) {
  const count = await renders();
  const handle = await page.$(input);
  await handle.uploadFile(file);
  await page.waitForFunction((n) => Number(document.getElementById('picture').dataset.renders) > n ||
    !document.getElementById('message').hidden, { timeout: 60000 }, count);
}

async function waitForRender(count) {
  await page.waitForFunction((n) => Number(document.getElementById('picture').dataset.renders) > n,
    { timeout: 60000 }, count);
}

test('the page loads the engine with no console error', async () => {
  assert.match(await text('#engine'), /^zavol \d+\.\d+\.\d+, WebAssembly, 2 threads/);
  assert.ok(await renders() >= 1, 'the built-in scene is drawn at start');
  assert.deepEqual(problems, []);
});

test('a depth file draws the tool\'s pixels; a field change re-renders and exports its block', async () => {
  const folder = tempDir();
  await setField('viewing_medium', 1008);
  await setField('custom_dpi', 40);
  await setField('seed', 5);
  const file = path.join(DATA, 'cycles_multilayer.exr');
  await openFile('#depth-file', file);
  assert.equal(await page.$eval('#message', (e) => e.hidden), true, await text('#message'));
  const out = path.join(folder, 'stereo.png');
  zavol('render', file, '--medium', 'dpi', '--dpi', '40', '--seed', '5', '-o', out);
  const png = decodePng(readFileSync(out));
  const drawn = await canvasPixels('#picture');
  const rgb = drawn.filter((_, i) => i % 4 !== 3);
  assert.equal(drawn.length / 4, png.width * png.height);
  assert.equal(firstDifference(rgb, Array.from(png.data)), -1);
  assert.match(await text('#command'),
    /^zavol render cycles_multilayer\.exr --medium dpi --dpi 40 --seed 5 -o stereo\.png$/);

  const count = await renders();
  await setField('near_object_depth', 0.6);
  await waitForRender(count);
  assert.notEqual(firstDifference(await canvasPixels('#picture'), drawn), -1);
  const block = path.join(folder, 'block.bin');
  zavol('settings', '--medium', 'dpi', '--dpi', '40', '--near-object-depth', '0.6', '-o', block);
  const exported = await page.evaluate(() => Array.from(window.zavolPage.settingsBlock()));
  assert.deepEqual(Buffer.from(exported), readFileSync(block));
  await page.screenshot({ path: path.join(SHOTS, 'web-page.png') });
});

test('bad files are messages and the next good file renders', async () => {
  const folder = tempDir();
  const good = readFileSync(path.join(DATA, 'chain_ring.png'));
  const bad = [
    ['cut.png', good.subarray(0, 5000), /cut\.png: damaged PNG file/],
    ['noise.bin', Buffer.from('not a depth file at all'), /noise\.bin: not a depth file/],
    ['deep.exr', readFileSync(path.join(DATA, 'v2_LowResLeftView_Trunks.exr')), /deep files are not read here/],
    ['short.pfm', Buffer.from('Pf\n40 40\n-1\n\0\0\0\0'), /short\.pfm: not a PFM file we can read/],
    ['huge.pfm', Buffer.from('Pf\n65535 65535\n-1\n'), /huge\.pfm: not a PFM file we can read: truncated/],
    ['huge.png', Buffer.concat([good.subarray(0, 16), Buffer.from([0, 0, 0x9c, 0x40, 0, 0, 0x9c, 0x40]),
      good.subarray(24, 200)]), /huge\.png: picture: 40000x40000 is too large for the browser's memory/],
  ];
  for (const [name, bytes, message] of bad) {
    const file = path.join(folder, name);
    writeFileSync(file, bytes);
    const count = await renders();
    await openFile('#depth-file', file);
    assert.equal(await page.$eval('#message', (e) => e.hidden), false, name);
    assert.match(await text('#message'), message);
    assert.equal(await renders(), count, `${name} drew nothing`);
    const pfm = path.join(folder, 'next.pfm');
    zavol('scene', '--size', '200x100', '-o', pfm);
    await openFile('#depth-file', pfm);
    assert.equal(await page.$eval('#message', (e) => e.hidden), true, `after ${name}`);
    assert.equal(await page.$eval('#picture', (c) => c.width), 200);
  }
  assert.deepEqual(problems, []);
});

test('the decode panel recovers the built-in scene', async () => {
  await page.click('#settings-reset');
  await setField('viewing_medium', 1008);
  await setField('custom_dpi', 60);
  await page.select('#scene-size', '640x360');
  const count = await renders();
  await page.click('#scene-button');
  await waitForRender(count);
  await page.click('#decode-current');
  await page.waitForFunction(() => document.getElementById('decode-info').textContent !== '',
    { timeout: 120000 });
  const decoded = await canvasPixels('#decoded');
  const depth = await page.evaluate(() => Array.from(window.zavolPage.state.z.scene(640, 360, 0)));
  // Over the scene's pixels that were decoded (not black), height must follow depth.
  const xs = [], ys = [];
  let scenePixels = 0;
  depth.forEach((z, i) => {
    if (z < -1e29) return;
    scenePixels++;
    if (decoded[4 * i] > 0) { xs.push(z); ys.push(decoded[4 * i]); }
  });
  const mean = (a) => a.reduce((s, v) => s + v, 0) / a.length;
  const mx = mean(xs), my = mean(ys);
  let sxy = 0, sxx = 0, syy = 0;
  xs.forEach((x, i) => { sxy += (x - mx) * (ys[i] - my); sxx += (x - mx) ** 2; syy += (ys[i] - my) ** 2; });
  const correlation = sxy / Math.sqrt(sxx * syy);
  assert.ok(xs.length > 0.7 * scenePixels, `decoded ${xs.length} of ${scenePixels} scene pixels`);
  assert.ok(correlation > 0.9, `correlation ${correlation}`);
  await page.$eval('#decode', (e) => e.scrollIntoView());
  await page.screenshot({ path: path.join(SHOTS, 'web-decode.png') });
});

test('the animation plays and shows its rate', async () => {
  await page.select('#animation-size', '640x360');
  await page.click('#play');
  await page.waitForFunction(() => Number(document.getElementById('animation-canvas').dataset.fps) > 0,
    { timeout: 60000 });
  const first = await canvasPixels('#animation-canvas');
  await page.waitForFunction(() => true, { polling: 'raf' });
  await new Promise((resolve) => setTimeout(resolve, 300));
  const later = await canvasPixels('#animation-canvas');
  await page.click('#play');
  assert.match(await text('#fps'), /^\d+\.\d frames per second$/);
  assert.notEqual(firstDifference(first, later), -1, 'the frames move');
  assert.deepEqual(problems, []);
});

test('served without the isolation headers, as any static host, the page renders on one thread', async () => {
  const plain = await startServer(SITE, 0, { isolate: false });
  const other = await browser.newPage();
  const errors = [];
  other.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  other.on('pageerror', (e) => errors.push(e.message));
  try {
    await other.goto(`http://127.0.0.1:${plain.address().port}/`);
    await other.waitForSelector('body[data-ready="1"]', { timeout: 60000 });
    assert.match(await other.$eval('#engine', (e) => e.textContent), /WebAssembly, one thread/);
    assert.ok(await other.$eval('#picture', (c) => Number(c.dataset.renders)) >= 1);
    assert.deepEqual(errors, []);
  } finally {
    await other.close();
    plain.close();
  }
});
