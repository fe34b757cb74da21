// The page: a depth file or the built-in scene in, the stereogram drawn at once at 1:1 device
// pixels, a form built from the engine's field table, the animated scene, the decoder, and the
// settings block and the tool's command line for what is shown. Every error becomes a message
// in the page, and the page keeps working after it.
import { encode as encodePng } from 'fast-png';

import { readDepthFile, readPattern } from './depth_files.js';
import { createZavol, describeRange } from './zavol.js';

const $ = (id) => document.getElementById(id);

const state = {
  z: null,
  values: {},      // every field by name; depth_kind '' means "as the file's format says"
  file: null,      // {name, bytes} of the depth file, kept to re-read with another kind
  depth: null,     // {width, height, depth, label}
  pattern: null,   // {width, height, rgba, name}
  pending: false,
};

export function showMessage(text) {
  const box = $('message');
  box.textContent = text;
  box.hidden = !text;
}

function fail(what, error) {
  showMessage(`${what}: ${error.message || error}`);
}

// ---- the form, from the field table

function colourHex(value) {
  const v = Number(value);
  const hex = (n) => n.toString(16).padStart(2, '0');
  return hex(v & 0xff) + hex((v >> 8) & 0xff) + hex((v >> 16) & 0xff);
}

function controlFor(field) {
  let control;
  if (field.type === 'choice') {
    control = document.createElement('select');
    if (field.name === 'depth_kind') {
      control.add(new Option('as the file says', ''));
    }
    for (const c of field.choices) control.add(new Option(c.word, String(c.value)));
  } else if (field.type === 'boolean') {
    control = document.createElement('input');
    control.type = 'checkbox';
  } else if (field.type === 'colour') {
    control = document.createElement('input');
    control.type = 'color';
  } else {
    control = document.createElement('input');
    control.type = 'number';
    control.min = String(field.minimum);
    control.max = String(field.maximum);
    control.step = field.step > 0 ? String(field.step) : 'any';
  }
  control.id = `field-${field.name}`;
  control.name = field.name;
  control.title = `${field.description} (${describeRange(field)}; --${field.option})`;
  return control;
}

function setControl(field, value) {
  const control = $(`field-${field.name}`);
  if (field.type === 'boolean') control.checked = Number(value) !== 0;
  else if (field.type === 'colour') control.value = `#${colourHex(value)}`;
  else control.value = String(value);
}

function readControl(field) {
  const control = $(`field-${field.name}`);
  if (field.type === 'boolean') return control.checked ? 1 : 0;
  if (field.type === 'colour') {
    const rgb = parseInt(control.value.slice(1), 16);
    return ((rgb >> 16) & 0xff) | (rgb & 0xff00) | ((rgb & 0xff) << 16);
  }
  if (field.name === 'depth_kind' && control.value === '') return '';
  return control.value.trim() === '' ? NaN : Number(control.value);
}

function buildForm() {
  const z = state.z;
  const places = { input: 'input-fields', settings: 'settings-fields', options: 'options-fields' };
  for (const field of z.fields()) {
    const row = document.createElement('div');
    row.className = 'field';
    row.id = `row-${field.name}`;
    const label = document.createElement('label');
    label.textContent = field.label;
    const control = controlFor(field);
    label.htmlFor = control.id;
    const help = document.createElement('small');
    help.textContent = field.description;
    row.append(label, control, help);
    $(places[field.place]).append(row);
    control.addEventListener(field.type === 'boolean' || field.type === 'choice' ? 'change' : 'input',
      () => onFieldChange(field));
  }
  resetValues();
}

function resetValues() {
  state.values = { ...state.z.defaults(), depth_kind: '' };
  for (const field of state.z.fields()) setControl(field, state.values[field.name]);
}

// A field's new value is checked by the engine (zavol_field_set) before it is kept.
function onFieldChange(field) {
  const value = readControl(field);
  const row = $(`row-${field.name}`);
  if (field.place === 'input') {
    if (field.name === 'far_cutoff' && !(value > 0 && Number.isFinite(value))) {
      row.classList.add('invalid');
      showMessage(`${field.label}: ${value} is not ${describeRange(field)}`);
      return;
    }
    row.classList.remove('invalid');
    state.values[field.name] = value;
    showMessage('');
    if (state.file) loadDepth(state.file);
    else updateCommand();
    return;
  }
  try {
    state.z.settingsToBytes({ [field.name]: value });
  } catch (error) {
    row.classList.add('invalid');
    showMessage(`${field.label}: ${error.message}`);
    return;
  }
  row.classList.remove('invalid');
  showMessage('');
  state.values[field.name] = value;
  scheduleRender();
}

// The values the engine takes: depth_kind and far_cutoff are the readers'.
function engineValues() {
  const values = {};
  for (const field of state.z.fields()) {
    if (field.place !== 'input') values[field.name] = state.values[field.name];
  }
  return values;
}

// ---- rendering

function scheduleRender() {
  if (state.pending) return;
  state.pending = true;
  requestAnimationFrame(() => {
    state.pending = false;
    renderPicture();
  });
}

// Sizes a canvas so that one of its pixels is zoom device pixels.
function fitCanvas(canvas, width, height, zoom = 1) {
  if (canvas.width !== width) canvas.width = width;
  if (canvas.height !== height) canvas.height = height;
  const ratio = window.devicePixelRatio || 1;
  canvas.style.width = `${(width * zoom) / ratio}px`;
  canvas.style.height = `${(height * zoom) / ratio}px`;
}

function renderPicture() {
  const d = state.depth;
  if (!d) return;
  const canvas = $('picture');
  try {
    const start = performance.now();
    const image = state.z.renderImageData(d.depth, d.width, d.height, engineValues(),
      { pattern: state.pattern });
    fitCanvas(canvas, d.width, d.height, Number($('zoom').value));
    canvas.getContext('2d').putImageData(image, 0, 0);
    const ms = performance.now() - start;
    $('render-info').textContent = `${d.width}×${d.height}, ${d.label}, ${ms.toFixed(1)} ms`;
    canvas.dataset.renders = String(Number(canvas.dataset.renders || 0) + 1);
  } catch (error) {
    fail('render', error);
  }
  updateCommand();
}

function shellWord(text) {
  return /^[\w./:@%+=,-]+$/.test(text) ? text : `'${text.replace(/'/g, "'\\''")}'`;
}

// The zavol render command line for what the page shows.
function updateCommand() {
  const z = state.z;
  const words = [];
  let input = 'depth.png';
  const prefix = [];
  if (state.file) {
    input = state.file.name;
  } else if (state.depth) {
    input = 'scene.pfm';
    prefix.push(`zavol scene --size ${state.depth.width}x${state.depth.height} -o scene.pfm`);
  }
  const v = state.values;
  for (const field of z.fields()) {
    const value = v[field.name];
    if (field.name === 'screen_width' || field.name === 'screen_height') continue;
    if (field.name === 'depth_kind') {
      if (value !== '') words.push(`--depth-kind ${field.choices.find((c) => c.value === value)?.word}`);
      continue;
    }
    if (field.name === 'threads') continue;  // the pixels are the same for every count
    const seedMatters = field.name === 'seed' && v.randomize_each_frame;
    if (value === field.defaultValue && !seedMatters) continue;
    if (field.type === 'boolean') words.push(value ? `--${field.option}` : `--no-${field.option}`);
    else if (field.type === 'choice') {
      words.push(`--${field.option} ${field.choices.find((c) => c.value === value)?.word ?? value}`);
    } else if (field.type === 'colour') words.push(`--${field.option} ${colourHex(value)}`);
    else words.push(`--${field.option} ${value}`);
  }
  if (v.screen_width !== z.field('screen_width').defaultValue ||
      v.screen_height !== z.field('screen_height').defaultValue) {
    words.push(`--screen ${v.screen_width}x${v.screen_height}`);
  }
  if (state.pattern) words.push(`--pattern ${shellWord(state.pattern.name)}`);
  const line = ['zavol render', shellWord(input), ...words, '-o stereo.png'].join(' ');
  $('command').textContent = [...prefix, line].join('\n');
}

// ---- inputs

async function loadDepth(file) {
  try {
    const kindField = state.z.field('depth_kind');
    const kindValue = state.values.depth_kind;
    const kind = kindValue === '' ? '' : kindField.choices.find((c) => c.value === kindValue).word;
    const read = await readDepthFile(state.z, file.bytes,
      { kind, farCutoff: state.values.far_cutoff });
    state.file = file;
    state.depth = { width: read.width, height: read.height, depth: read.depth,
      label: `${file.name}: ${read.format}, ${read.kind}${read.note ? `, ${read.note}` : ''}` };
    $('depth-info').textContent = state.depth.label;
    showMessage('');
    renderPicture();
  } catch (error) {
    fail(file.name, error);
  }
}

async function openDepth(blob) {
  if (!blob) return;
  try {
    await loadDepth({ name: blob.name || 'depth', bytes: new Uint8Array(await blob.arrayBuffer()) });
  } catch (error) {
    fail(blob.name, error);
  }
}

function loadScene() {
  const [width, height] = $('scene-size').value.split('x').map(Number);
  try {
    state.file = null;
    state.depth = { width, height, depth: state.z.scene(width, height, 0), label: 'built-in scene' };
    $('depth-info').textContent = 'The built-in scene: a sphere before a tilted plane.';
    showMessage('');
    renderPicture();
  } catch (error) {
    fail('built-in scene', error);
  }
}

function download(bytes, name, type) {
  const url = URL.createObjectURL(new Blob([bytes], { type }));
  const a = document.createElement('a');
  a.href = url;
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}

// The picture as the tool writes it by default: 8-bit RGB PNG, alpha dropped.
function downloadPicture() {
  const d = state.depth;
  if (!d) return showMessage('Nothing to download yet: open a depth file or the built-in scene.');
  try {
    const rgba = state.z.render(d.depth, d.width, d.height, engineValues(),
      { pattern: state.pattern, bits: 8, view: true });
    const rgb = new Uint8Array(3 * d.width * d.height);
    for (let i = 0, j = 0; i < rgba.length; i += 4, j += 3) {
      rgb[j] = rgba[i]; rgb[j + 1] = rgba[i + 1]; rgb[j + 2] = rgba[i + 2];
    }
    download(encodePng({ width: d.width, height: d.height, data: rgb, channels: 3, depth: 8 }),
      'stereo.png', 'image/png');
  } catch (error) {
    fail('download', error);
  }
}

async function importSettings(blob) {
  if (!blob) return;
  try {
    const values = state.z.settingsFromBytes(new Uint8Array(await blob.arrayBuffer()));
    for (const field of state.z.fields()) {
      if (field.place !== 'settings') continue;
      state.values[field.name] = values[field.name];
      setControl(field, values[field.name]);
      $(`row-${field.name}`).classList.remove('invalid');
    }
    showMessage('');
    scheduleRender();
  } catch (error) {
    fail(blob.name, error);
  }
}

async function openPattern(blob) {
  if (!blob) return;
  try {
    const pattern = await readPattern(new Uint8Array(await blob.arrayBuffer()));
    state.pattern = { ...pattern, name: blob.name };
    $('pattern-info').textContent = `${blob.name}: ${pattern.width}×${pattern.height}`;
    showMessage('');
    scheduleRender();
  } catch (error) {
    fail(blob.name, new Error(`not a picture the page reads (${error.message || error})`));
  }
}

// ---- animation

const animation = { running: false, frame: 0, frames: 0, since: 0, fps: 0 };

function animate(now) {
  if (!animation.running) return;
  const [width, height] = $('animation-size').value.split('x').map(Number);
  const canvas = $('animation-canvas');
  try {
    const values = { ...engineValues(), dots: state.z.field('dots').choices
      .find((c) => c.word === 'stable').value };
    const pixels = state.z.renderScene(width, height, animation.frame, values);
    const image = new ImageData(width, height);
    image.data.set(pixels);
    fitCanvas(canvas, width, height);
    canvas.getContext('2d').putImageData(image, 0, 0);
  } catch (error) {
    animation.running = false;
    $('play').textContent = 'Play';
    fail('animation', error);
    return;
  }
  animation.frame++;
  animation.frames++;
  if (now - animation.since >= 500) {
    animation.fps = (1000 * animation.frames) / (now - animation.since);
    $('fps').textContent = `${animation.fps.toFixed(1)} frames per second`;
    canvas.dataset.fps = animation.fps.toFixed(2);
    animation.frames = 0;
    animation.since = now;
  }
  requestAnimationFrame(animate);
}

function togglePlay() {
  animation.running = !animation.running;
  $('play').textContent = animation.running ? 'Stop' : 'Play';
  if (animation.running) {
    animation.frames = 0;
    animation.since = performance.now();
    requestAnimationFrame(animate);
  }
}

// ---- decoding

function drawHeights(heights, width, height) {
  const image = new ImageData(width, height);
  for (let i = 0; i < heights.length; i++) {
    const h = heights[i];
    const grey = Number.isNaN(h) ? 0 : Math.round(h * 255);
    image.data[4 * i] = grey; image.data[4 * i + 1] = grey; image.data[4 * i + 2] = grey;
    image.data[4 * i + 3] = 255;
  }
  const canvas = $('decoded');
  fitCanvas(canvas, width, height);
  canvas.getContext('2d').putImageData(image, 0, 0);
}

function decodePixels(rgba, width, height) {
  const start = performance.now();
  const heights = state.z.decode(rgba, width, height, engineValues());
  drawHeights(heights, width, height);
  const known = heights.reduce((n, h) => n + (Number.isNaN(h) ? 0 : 1), 0);
  $('decode-info').textContent = `${width}×${height}: ${(100 * known / heights.length).toFixed(1)} % ` +
    `of the pixels decoded in ${(performance.now() - start).toFixed(0)} ms`;
}

async function decodeFile(blob) {
  if (!blob) return;
  try {
    const bitmap = await createImageBitmap(blob);
    const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
    const context = canvas.getContext('2d');
    context.drawImage(bitmap, 0, 0);
    const { data } = context.getImageData(0, 0, bitmap.width, bitmap.height);
    decodePixels(data, bitmap.width, bitmap.height);
    showMessage('');
  } catch (error) {
    fail(blob.name, error instanceof DOMException ? new Error('not a picture the page reads') : error);
  }
}

function decodeCurrent() {
  const canvas = $('picture');
  if (!state.depth) return showMessage('Nothing to decode yet: render a picture first.');
  try {
    const { data } = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
    decodePixels(data, canvas.width, canvas.height);
    showMessage('');
  } catch (error) {
    fail('decode', error);
  }
}

// ---- start

function dropZone(zone, open) {
  zone.addEventListener('dragover', (e) => { e.preventDefault(); zone.classList.add('over'); });
  zone.addEventListener('dragleave', () => zone.classList.remove('over'));
  zone.addEventListener('drop', (e) => {
    e.preventDefault();
    zone.classList.remove('over');
    open(e.dataTransfer.files[0]);
  });
}

async function loadEngine() {
  // Threads need a page served cross-origin isolated (SharedArrayBuffer); any static host
  // gets the one-thread module.
  const threads = globalThis.crossOriginIsolated ? Math.min(navigator.hardwareConcurrency || 1, 4) : 1;
  const name = threads > 1 ? './zavol-mt.js' : './zavol.js';
  const { default: factory } = await import(new URL(name, import.meta.url).href);
  return createZavol(factory, {}, { threads });
}

async function start() {
  try {
    state.z = await loadEngine();
  } catch (error) {
    $('engine').textContent = 'The engine did not load.';
    fail('engine', error);
    return;
  }
  $('engine').textContent = `zavol ${state.z.version()}, WebAssembly, ` +
    (state.z.threads > 1 ? `${state.z.threads} threads` : 'one thread (serve the page ' +
      'cross-origin isolated for more)');
  buildForm();
  $('depth-file').addEventListener('change', (e) => openDepth(e.target.files[0]));
  dropZone($('depth-drop'), openDepth);
  $('scene-button').addEventListener('click', loadScene);
  $('pattern-file').addEventListener('change', (e) => openPattern(e.target.files[0]));
  $('pattern-clear').addEventListener('click', () => {
    state.pattern = null;
    $('pattern-file').value = '';
    $('pattern-info').textContent = 'The colour ramp gives the dots.';
    scheduleRender();
  });
  $('settings-file').addEventListener('change', (e) => importSettings(e.target.files[0]));
  $('settings-export').addEventListener('click', () => {
    try {
      download(state.z.settingsToBytes(engineValues()), 'zavol-settings.bin',
        'application/octet-stream');
    } catch (error) {
      fail('export', error);
    }
  });
  $('settings-reset').addEventListener('click', () => {
    resetValues();
    for (const row of document.querySelectorAll('.field.invalid')) row.classList.remove('invalid');
    showMessage('');
    scheduleRender();
  });
  $('zoom').addEventListener('change', scheduleRender);
  $('download').addEventListener('click', downloadPicture);
  $('play').addEventListener('click', togglePlay);
  $('decode-file').addEventListener('change', (e) => decodeFile(e.target.files[0]));
  dropZone($('decode-drop'), decodeFile);
  $('decode-current').addEventListener('click', decodeCurrent);
  // A picture at once: the built-in scene.
  loadScene();
  window.zavolPage = { state, settingsBlock: () => state.z.settingsToBytes(engineValues()) };
  document.body.dataset.ready = '1';
}

window.addEventListener('error', (e) => fail('page', e.error || e.message));
window.addEventListener('unhandledrejection', (e) => fail('page', e.reason));
start();
