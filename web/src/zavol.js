// The engine's C interface for JavaScript, in its own words: a Zavol over one WebAssembly module
// instance renders Float32Array depth into 16-bit RGBA words or 8-bit canvas pixels, turns
// settings into and out of the 56-byte block, lists the field table, converts depth kinds and
// decodes stereograms. Values travel as one plain object keyed by field name ("dot_size": 2);
// choice fields hold their stored value (viewing_medium 1001), as zavol_field_get gives it.
// Every failure is a ZavolError carrying the engine's status and its one-line text.

const TYPES = ['real', 'integer', 'boolean', 'colour', 'choice'];
const PLACES = ['settings', 'options', 'input'];

// Statuses of zavol.h used here.
export const Status = Object.freeze({
  OK: 0, NULL: -1, SIZE: -2, STRIDE: -3, SIZE_MISMATCH: -4, STOPPED: -5, NO_MEMORY: -6,
  DEPTH_KIND: -7, SETTINGS_SIZE: -8, OVERLAP: -9, OPTIONS: -10, OPTION_VALUE: -11,
  SETTING_VALUE: -12,
});

export class ZavolError extends Error {
  constructor(message, status) {
    super(message);
    this.name = 'ZavolError';
    this.status = status;
  }
}

// Where a zavol_field_info's members lie in a 32-bit module: six words, four doubles, three
// words (the doubles start 8-byte aligned at 24).
const FIELD = { name: 0, option: 4, label: 8, description: 12, type: 16, place: 20,
  defaultValue: 24, minimum: 32, maximum: 40, step: 48, choiceCount: 56, choiceWords: 60,
  choiceValues: 64 };

// The largest frame a page should try: the module's memory is at most 4 GiB, and a frame needs
// its depth (4 bytes a pixel), its 16-bit picture (8) and the engine's working rows beside it.
const BYTES_PER_PIXEL = 24;
const MEMORY_LIMIT = 4 * 1024 * 1024 * 1024 - 64 * 1024 * 1024;

export class Zavol {
  // module: an instance made by the emscripten factory (zavol.js or zavol-mt.js).
  constructor(module, { threads = 1 } = {}) {
    this.m = module;
    this.threads = threads;
    this._fields = null;
    this._buffers = new Map();
    this._settings = this._call('_zavol_web_settings_new');
    this._options = this._call('_zavol_web_options_new');
    this._defaultOptions = this._call('_zavol_web_options_new');
    this._message = this._call('_malloc', 512);
    if (!this._settings || !this._options || !this._defaultOptions || !this._message) {
      throw new ZavolError('the engine has no memory to start', Status.NO_MEMORY);
    }
  }

  _call(name, ...args) { return this.m[name](...args); }

  // Fresh views: the module's memory may have grown (and been replaced) since the last call.
  get _memory() { return (this.m.wasmMemory || this.m.HEAPU8).buffer; }
  _u8() { return new Uint8Array(this._memory); }
  _i32() { return new Int32Array(this._memory); }
  _u32() { return new Uint32Array(this._memory); }
  _f64() { return new Float64Array(this._memory); }

  _text(pointer) {
    if (!pointer) return '';
    const bytes = this._u8();
    let end = pointer;
    while (bytes[end] !== 0) end++;
    return new TextDecoder().decode(bytes.slice(pointer, end));
  }

  statusText(status) { return this._text(this._call('_zavol_status_text', status)); }

  _check(status, what) {
    if (status !== Status.OK) {
      throw new ZavolError(`${what}: ${this.statusText(status)}`, status);
    }
  }

  version() { return this._text(this._call('_zavol_version')); }

  // A buffer of the module's memory kept for reuse under a name, at least bytes long.
  _buffer(name, bytes) {
    const held = this._buffers.get(name);
    if (held && held.bytes >= bytes) return held.pointer;
    if (held) this._call('_free', held.pointer);
    this._buffers.delete(name);
    const pointer = bytes > MEMORY_LIMIT ? 0 : this._call('_malloc', Math.max(bytes, 16));
    if (!pointer) {
      throw new ZavolError(`no memory for ${Math.ceil(bytes / 1048576)} MiB of ${name}`,
        Status.NO_MEMORY);
    }
    this._buffers.set(name, { pointer, bytes });
    return pointer;
  }

  // Ends the module's threads (a threaded module's workers keep node running otherwise).
  close() {
    this.releaseBuffers();
    if (this.m.PThread) this.m.PThread.terminateAllThreads();
  }

  // Gives back the frame buffers (a page that rendered a huge picture, say).
  releaseBuffers() {
    for (const { pointer } of this._buffers.values()) this._call('_free', pointer);
    this._buffers.clear();
  }

  // The field table: every setting, option and input field with its name, the tool's option
  // word, label, one line of help, type, place, default, range, step and choices.
  fields() {
    if (this._fields) return this._fields;
    const count = this._call('_zavol_field_count');
    const list = [];
    for (let i = 0; i < count; i++) {
      const p = this._call('_zavol_field', i);
      const i32 = this._i32(), f64 = this._f64();
      const at = (member) => (p + FIELD[member]) >> 2;
      const real = (member) => f64[(p + FIELD[member]) >> 3];
      const type = TYPES[i32[at('type')]];
      const choices = [];
      const choiceCount = type === 'choice' ? i32[at('choiceCount')] : 0;
      const words = this._u32()[at('choiceWords')], values = i32[at('choiceValues')];
      for (let c = 0; c < choiceCount; c++) {
        choices.push({ word: this._text(this._u32()[(words >> 2) + c]),
          value: this._i32()[(values >> 2) + c] });
      }
      list.push(Object.freeze({
        index: i, name: this._text(this._u32()[at('name')]),
        option: this._text(this._u32()[at('option')]), label: this._text(this._u32()[at('label')]),
        description: this._text(this._u32()[at('description')]), type,
        place: PLACES[i32[at('place')]], defaultValue: real('defaultValue'),
        minimum: real('minimum'), maximum: real('maximum'), step: real('step'),
        choices: Object.freeze(choices),
      }));
    }
    this._fields = Object.freeze(list);
    return this._fields;
  }

  field(name) {
    const f = this.fields().find((x) => x.name === name || x.option === name);
    if (!f) throw new ZavolError(`no field named ${name}`, Status.OPTION_VALUE);
    return f;
  }

  // Every field at its default, as one values object.
  defaults() {
    const values = {};
    for (const f of this.fields()) values[f.name] = f.defaultValue;
    return values;
  }

  // Loads values (any subset of the fields; the rest at their defaults) into the module's
  // settings and options structs, each checked by zavol_field_set.
  _load(values) {
    this._call('_zavol_settings_default', this._settings);
    this._call('_zavol_web_options_copy', this._options, this._defaultOptions);
    for (const [name, value] of Object.entries(values || {})) {
      const f = this.field(name);
      if (f.place === 'input') continue;
      if (typeof value !== 'number' && typeof value !== 'boolean') {
        throw new ZavolError(`${name}: ${JSON.stringify(value)} is not a number`,
          f.place === 'settings' ? Status.SETTING_VALUE : Status.OPTION_VALUE);
      }
      const status = this._call('_zavol_field_set', this._settings, this._options, f.index,
        Number(value));
      if (status !== Status.OK) {
        throw new ZavolError(`${name}: ${value} is not ${describeRange(f)}`, status);
      }
    }
    // A frame's threads come from the module's pool, never beyond it: a thread started while
    // the page waits for the frame would wait for the page in turn.
    const threads = this.field('threads');
    const out = this._buffer('field value', 8);
    this._call('_zavol_field_get', this._settings, this._options, threads.index, out);
    const asked = this._f64()[out >> 3];
    const allowed = Math.max(1, this.threads);
    if (asked === 0 || asked > allowed) {
      this._call('_zavol_field_set', this._settings, this._options, threads.index, allowed);
    }
  }

  // The fields of the module's structs back as a values object.
  _read() {
    const values = {};
    const out = this._buffer('field value', 8);
    for (const f of this.fields()) {
      if (f.place === 'input') continue;
      this._check(this._call('_zavol_field_get', this._settings, this._options, f.index, out),
        f.name);
      values[f.name] = this._f64()[out >> 3];
    }
    return values;
  }

  // The settings fields of values as the 56-byte block the plug-in and `zavol settings` store.
  settingsToBytes(values) {
    this._load(values);
    const out = this._buffer('settings block', 56);
    this._call('_zavol_settings_to_bytes', this._settings, out);
    return this._u8().slice(out, out + 56);
  }

  // A stored block back into values: its fourteen settings fields over every other default.
  settingsFromBytes(bytes) {
    const block = bytes instanceof Uint8Array ? bytes : new Uint8Array(bytes);
    const at = this._buffer('settings block', Math.max(block.length, 56));
    this._u8().set(block, at);
    this._check(this._call('_zavol_settings_from_bytes', this._settings, at, block.length),
      'settings block');
    this._call('_zavol_web_options_copy', this._options, this._defaultOptions);
    return { ...this.defaults(), ...this._read() };
  }

  // The depth's numbers (of depth_kind: host, distance, disparity, height or mist) into the
  // engine's convention, in a new array.
  depthConvert(depth, kind, farCutoff = 1e9) {
    const values = Float32Array.from(depth);
    const kindValue = typeof kind === 'string' ? this._choiceValue('depth_kind', kind) : kind;
    const at = this._buffer('conversion', values.byteLength);
    new Float32Array(this._memory, at, values.length).set(values);
    this._check(this._call('_zavol_depth_convert', at, values.length, kindValue, farCutoff),
      'depth kind');
    values.set(new Float32Array(this._memory, at, values.length));
    return values;
  }

  _choiceValue(name, word) {
    const choice = this.field(name).choices.find((c) => c.word === word);
    if (!choice) throw new ZavolError(`${name}: no choice ${word}`, Status.OPTION_VALUE);
    return choice.value;
  }

  checkSides(width, height, length, what) {
    if (!Number.isInteger(width) || !Number.isInteger(height) || width <= 0 || height <= 0 ||
        width > 65535 || height > 65535) {
      throw new ZavolError(`${what}: ${width}x${height}: ${this.statusText(Status.SIZE)}`,
        Status.SIZE);
    }
    if (length !== undefined && length !== width * height) {
      throw new ZavolError(`${what}: ${length} values for ${width}x${height} pixels`,
        Status.SIZE_MISMATCH);
    }
    if (width * height * BYTES_PER_PIXEL > MEMORY_LIMIT) {
      throw new ZavolError(`${what}: ${width}x${height} is too large for the browser's memory`,
        Status.NO_MEMORY);
    }
  }

  // Writes a zavol_depth or zavol_image struct (pointer, width, height, stride 0).
  _view(name, pointer, width, height) {
    const at = this._buffer(name, 16);
    this._i32().set([pointer, width, height, 0], at >> 2);
    return at;
  }

  // Renders depth (width * height floats in the engine's convention, top row first) with
  // values. pattern: optional {width, height, rgba: Uint16Array} of dots. bits 16 gives the
  // engine's words (Uint16Array, 4 per pixel); bits 8 the high bytes (Uint8ClampedArray), as
  // a canvas or an 8-bit PNG holds them. The returned array is a copy unless view is set, when
  // it looks into the module's memory until the next call.
  render(depth, width, height, values = {}, { pattern = null, bits = 16, view = false } = {}) {
    this.checkSides(width, height, depth.length, 'depth');
    this._load(values);
    const pixels = width * height;
    const depthAt = this._buffer('depth', 4 * pixels);
    new Float32Array(this._memory, depthAt, pixels).set(depth);
    return this._renderLoaded(depthAt, width, height, pattern, bits, view);
  }

  _renderLoaded(depthAt, width, height, pattern, bits, view) {
    const pixels = width * height;
    const outAt = this._buffer('picture', 8 * pixels);
    let patternView = 0;
    if (pattern) {
      this.checkSides(pattern.width, pattern.height, pattern.rgba.length / 4, 'pattern');
      const patternAt = this._buffer('pattern', pattern.rgba.byteLength);
      new Uint16Array(this._memory, patternAt, pattern.rgba.length).set(pattern.rgba);
      patternView = this._view('pattern view', patternAt, pattern.width, pattern.height);
    }
    this._call('_zavol_web_options_pattern', this._options, patternView);
    const status = this._call('_zavol_render', this._settings,
      this._view('depth view', depthAt, width, height), this._options,
      this._view('picture view', outAt, width, height));
    this._call('_zavol_web_options_pattern', this._options, 0);
    this._check(status, 'render');
    if (bits === 16) {
      const words = new Uint16Array(this._memory, outAt, 4 * pixels);
      return view ? words : words.slice();
    }
    if (bits !== 8) throw new ZavolError(`bits ${bits}: 8 or 16`, Status.OPTION_VALUE);
    const bytesAt = this._buffer('canvas pixels', 4 * pixels);
    this._call('_zavol_web_to_rgba8', outAt, bytesAt, pixels);
    const bytes = new Uint8ClampedArray(this._memory, bytesAt, 4 * pixels);
    return view ? bytes : bytes.slice();
  }

  // Renders into an ImageData of the depth's size (browsers only).
  renderImageData(depth, width, height, values = {}, options = {}) {
    const bytes = this.render(depth, width, height, values, { ...options, bits: 8, view: true });
    const image = new ImageData(width, height);
    image.data.set(bytes);
    return image;
  }

  // Frame number frame of the built-in scene (a sphere before a tilted plane), in the engine's
  // convention. view: look into the module's memory instead of copying.
  scene(width, height, frame = 0) {
    this.checkSides(width, height, undefined, 'scene');
    const at = this._buffer('depth', 4 * width * height);
    this._check(this._call('_zavol_web_scene', at, width, height, frame), 'scene');
    return new Float32Array(this._memory, at, width * height).slice();
  }

  // Renders frame number frame of the built-in scene without copying its depth out and in: the
  // animation's path. Returns the 8-bit pixels as a view valid until the next call.
  renderScene(width, height, frame, values = {}) {
    this.checkSides(width, height, undefined, 'scene');
    this._load(values);
    const at = this._buffer('depth', 4 * width * height);
    this._check(this._call('_zavol_web_scene', at, width, height, frame), 'scene');
    return this._renderLoaded(at, width, height, null, 8, true);
  }

  // A PFM file's bytes into {width, height, values}: the first channel, top row first, as
  // stored (the engine's convention for PFM depth is "host").
  readPfm(bytes) {
    const data = bytes instanceof Uint8Array ? bytes : new Uint8Array(bytes);
    const at = this._buffer('file', data.length);
    this._u8().set(data, at);
    const sides = this._buffer('sides', 8);
    const status = this._call('_zavol_web_pfm_size', at, data.length, sides, sides + 4,
      this._message, 512);
    if (status !== Status.OK) {
      throw new ZavolError(`not a PFM file we can read: ${this._text(this._message)}`, status);
    }
    const [width, height] = this._i32().subarray(sides >> 2, (sides >> 2) + 2);
    this.checkSides(width, height, undefined, 'PFM file');
    const values = this._buffer('pfm values', 4 * width * height);
    this._check(this._call('_zavol_web_pfm_read', at, data.length, values, this._message, 512),
      'PFM file');
    return { width, height, values: new Float32Array(this._memory, values, width * height).slice() };
  }

  // Decodes an 8-bit RGBA stereogram (a canvas's pixels) made with values into heights: 1 at
  // the nearest separation searched, 0 at the background, NaN where it does not repeat.
  decode(rgba8, width, height, values = {}) {
    this.checkSides(width, height, rgba8.length / 4, 'picture');
    this._load(values);
    const v = { ...this.defaults(), ...values };
    const pixels = width * height;
    const inAt = this._buffer('decode picture', 4 * pixels);
    this._u8().set(rgba8, inAt);
    const outAt = this._buffer('decode heights', 4 * pixels);
    this._check(this._call('_zavol_web_decode', inAt, width, height, this._settings,
      v.screen_width, v.screen_height, v.oversample, Math.max(1, this.threads), outAt), 'decode');
    return new Float32Array(this._memory, outAt, pixels).slice();
  }
}

// "within 0 to 1", "one of wall, cross", for messages.
export function describeRange(f) {
  if (f.type === 'choice') return `one of ${f.choices.map((c) => c.word).join(', ')}`;
  if (f.type === 'boolean') return '0 or 1';
  return `within ${f.minimum} to ${f.maximum}`;
}

// Makes a Zavol from an emscripten factory. moduleArgs go to the factory (wasmBinary,
// locateFile, ...); threads: what zavol_options.threads may use (the module must have them).
export async function createZavol(factory, moduleArgs = {}, { threads = 1 } = {}) {
  const module = await factory(moduleArgs);
  return new Zavol(module, { threads });
}
