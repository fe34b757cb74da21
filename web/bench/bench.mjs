#!/usr/bin/env node
// The page's measures, in one run, turn about so that each sees the same load:
//   - the engine's megapixels per second on one thread: native (engine_bench's zavol_render line,
//     CPU time) against the WebAssembly module under node (CPU time of the same frame: the
//     built-in scene at 1920x1080, the defaults, seed 1);
//   - in headless Chromium (the page served cross-origin isolated): one thread against two
//     (wall time), 1920x1080 depth to a drawn canvas, and the animated scene at 1280x720 with
//     stable dots, as frames rendered and drawn back to back and as the page's own readout.
// Needs the native build (engine_bench) and the web build:
//   node web/bench/bench.mjs [ROUNDS]
import { execFileSync } from 'node:child_process';
import { readFileSync, mkdtempSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import puppeteer from 'puppeteer-core';

import { startServer } from '../serve.mjs';
import { loadZavol } from '../src/node.js';

const source = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const site = process.env.ZAVOL_WEB_SITE ?? path.join(source, 'build/web/site');
const engineBench = process.env.ZAVOL_ENGINE_BENCH ?? path.join(source, 'build/native/bin/engine_bench');
const rounds = Number(process.argv[2] ?? 3);
const W = 1920, H = 1080, MP = (W * H) / 1e6;
const median = (a) => [...a].sort((x, y) => x - y)[Math.floor(a.length / 2)];

function nativeMs() {
  const out = path.join(mkdtempSync(path.join(os.tmpdir(), 'zavol-bench-')), 'native.json');
  execFileSync(engineBench, ['--benchmark_filter=^engine/rgb/zavol_render/1920x1080/',
    '--benchmark_repetitions=1', `--benchmark_out=${out}`, '--benchmark_out_format=json'],
  { stdio: 'ignore' });
  const runs = JSON.parse(readFileSync(out, 'utf8')).benchmarks.filter((b) => b.run_type === 'iteration');
  return median(runs.map((b) => b.cpu_time));  // milliseconds (the benchmark's unit)
}

function wasmMs(z, depth) {
  const frames = 20;
  z.render(depth, W, H, { seed: 1, threads: 1 }, { view: true });
  const start = process.cpuUsage();
  for (let i = 0; i < frames; i++) z.render(depth, W, H, { seed: 1, threads: 1 }, { view: true });
  const used = process.cpuUsage(start);
  return (used.user + used.system) / 1000 / frames;
}

// Runs in the page: medians of wall times.
function pageMeasures() {
  const z = window.zavolPage.state.z;
  const median = (a) => [...a].sort((x, y) => x - y)[Math.floor(a.length / 2)];
  const time = (count, work) => {
    const times = [];
    work();
    for (let i = 0; i < count; i++) {
      const start = performance.now();
      work();
      times.push(performance.now() - start);
    }
    return median(times);
  };
  const depth = z.scene(1920, 1080, 0);
  const canvas = document.createElement('canvas');
  canvas.width = 1920; canvas.height = 1080;
  const context = canvas.getContext('2d');
  const result = {
    one: time(15, () => z.render(depth, 1920, 1080, { seed: 1, threads: 1 }, { view: true })),
    two: time(15, () => z.render(depth, 1920, 1080, { seed: 1, threads: 2 }, { view: true })),
    canvas: time(15, () => {
      context.putImageData(z.renderImageData(depth, 1920, 1080, { seed: 1 }), 0, 0);
      context.getImageData(0, 0, 1, 1);  // waits for the drawing
    }),
  };
  const small = document.createElement('canvas');
  small.width = 1280; small.height = 720;
  const smallContext = small.getContext('2d');
  const frames = 60;
  let frame = 0;
  const start = performance.now();
  for (; frame < frames; frame++) {
    const pixels = z.renderScene(1280, 720, frame, { dots: 1 });
    const image = new ImageData(1280, 720);
    image.data.set(pixels);
    smallContext.putImageData(image, 0, 0);
  }
  smallContext.getImageData(0, 0, 1, 1);
  result.animation = (1000 * frames) / (performance.now() - start);
  return result;
}

const z = await loadZavol(site);
const depth = z.scene(W, H, 0);
const server = await startServer(site, 0);
const browser = await puppeteer.launch({ executablePath: process.env.ZAVOL_CHROMIUM ?? '/usr/bin/chromium',
  headless: true, args: process.getuid?.() === 0 ? ['--no-sandbox'] : [] });
const page = await browser.newPage();
await page.goto(`http://127.0.0.1:${server.address().port}/`);
await page.waitForSelector('body[data-ready="1"]', { timeout: 60000 });

const native = [], wasm = [], pages = [];
for (let round = 0; round < rounds; round++) {
  native.push(nativeMs());
  wasm.push(wasmMs(z, depth));
  pages.push(await page.evaluate(pageMeasures));
}
// The page's own animation, paced by the display: its frames-per-second readout.
await page.select('#animation-size', '1280x720');
await page.click('#play');
await new Promise((resolve) => setTimeout(resolve, 4000));
const readout = await page.$eval('#animation-canvas', (c) => Number(c.dataset.fps));
await page.click('#play');
await browser.close();
server.close();

const n = median(native), w = median(wasm);
const one = median(pages.map((p) => p.one)), two = median(pages.map((p) => p.two));
const row = (what, value) => console.log(`| ${what} | ${value} |`);
console.log(`Medians of ${rounds} rounds; load average ${os.loadavg().map((l) => l.toFixed(1)).join(' ')}\n`);
console.log('| Measure | Value |\n|---|---|');
row('native engine, one thread (CPU)', `${n.toFixed(1)} ms, ${(MP / n * 1000).toFixed(0)} MP/s`);
row('WebAssembly under node, one thread (CPU)', `${w.toFixed(1)} ms, ${(MP / w * 1000).toFixed(0)} MP/s`);
row('WebAssembly / native', (n / w).toFixed(2));
row('Chromium, one thread (wall)', `${one.toFixed(1)} ms`);
row('Chromium, two threads (wall)', `${two.toFixed(1)} ms, ${(one / two).toFixed(2)}x one thread`);
row('Chromium, 1920x1080 depth to a drawn canvas (wall)', `${median(pages.map((p) => p.canvas)).toFixed(1)} ms`);
row('Chromium, animation 1280x720 stable dots, back to back', `${median(pages.map((p) => p.animation)).toFixed(1)} frames/s`);
row('Chromium, the page\'s animation readout', `${readout.toFixed(1)} frames/s`);
process.exit(0);
