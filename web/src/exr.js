// OpenEXR depth for the page: single-part scanline files, uncompressed or compressed with RLE,
// ZIPS or ZIP (what renderers write by default for depth passes), half, float or uint channels,
// any channel name (a render layer's "ViewLayer.Depth.Z" included). Tiled, deep and multi-part
// files and the lossy or wavelet codecs are refused with a message that names them.
import { unzlibSync } from 'fflate';

export class ExrError extends Error {}

const COMPRESSIONS = ['none', 'RLE', 'ZIPS', 'ZIP', 'PIZ', 'PXR24', 'B44', 'B44A', 'DWAA', 'DWAB'];
const LINES_PER_CHUNK = { 0: 1, 1: 1, 2: 1, 3: 16 };
const SAMPLE_BYTES = { 0: 4, 1: 2, 2: 4 };

export function isExr(bytes) {
  return bytes.length >= 4 && bytes[0] === 0x76 && bytes[1] === 0x2f && bytes[2] === 0x31 &&
    bytes[3] === 0x01;
}

class Reader {
  constructor(bytes) {
    this.bytes = bytes;
    this.view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    this.at = 0;
  }
  need(n) {
    if (this.at + n > this.bytes.length) throw new ExrError('the file is cut short');
  }
  u8() { this.need(1); return this.bytes[this.at++]; }
  i32() { this.need(4); const v = this.view.getInt32(this.at, true); this.at += 4; return v; }
  u64() {
    this.need(8);
    const low = this.view.getUint32(this.at, true), high = this.view.getUint32(this.at + 4, true);
    this.at += 8;
    return high * 4294967296 + low;
  }
  text() {
    let end = this.at;
    while (end < this.bytes.length && this.bytes[end] !== 0) end++;
    if (end >= this.bytes.length || end - this.at > 255) throw new ExrError('damaged header');
    const s = new TextDecoder().decode(this.bytes.subarray(this.at, end));
    this.at = end + 1;
    return s;
  }
}

function parseHeader(r) {
  const header = {};
  for (;;) {
    const name = r.text();
    if (name === '') return header;
    const type = r.text();
    const size = r.i32();
    if (size < 0) throw new ExrError('damaged header');
    r.need(size);
    const start = r.at;
    if (type === 'chlist') {
      header.channels = [];
      while (r.at < start + size - 1) {
        const channel = r.text();
        const pixelType = r.i32();
        r.at += 4;  // pLinear and reserved
        const xSampling = r.i32(), ySampling = r.i32();
        header.channels.push({ name: channel, pixelType, xSampling, ySampling });
      }
    } else if (type === 'compression') {
      header.compression = r.u8();
    } else if (type === 'box2i') {
      header[name] = { xMin: r.i32(), yMin: r.i32(), xMax: r.i32(), yMax: r.i32() };
    }
    r.at = start + size;
  }
}

// The channel the tool would take: the one named, else "Z", else one ending in ".Depth.Z",
// else one ending in ".Z" (for mist, one ending in ".Mist.Z" first).
export function depthChannel(names, { channel = '', kind = '' } = {}) {
  if (channel) return names.includes(channel) ? channel : null;
  const pick = (test) => names.find(test) ?? null;
  return (kind === 'mist' ? pick((n) => n.endsWith('.Mist.Z')) : null) ?? pick((n) => n === 'Z') ??
    pick((n) => n.endsWith('.Depth.Z')) ?? pick((n) => n.endsWith('.Z'));
}

// Undoes the byte predictor and the split into even and odd bytes of ZIP and RLE blocks.
function unpredict(t) {
  for (let i = 1; i < t.length; i++) t[i] = (t[i - 1] + t[i] - 128) & 0xff;
  const out = new Uint8Array(t.length);
  const half = (t.length + 1) >> 1;
  for (let i = 0; i < t.length; i++) out[i] = (i & 1) ? t[half + (i >> 1)] : t[i >> 1];
  return out;
}

function unRle(data, expected) {
  const out = new Uint8Array(expected);
  let o = 0, i = 0;
  while (i < data.length) {
    const count = (data[i++] << 24) >> 24;
    if (count < 0) {
      if (o - count > expected || i - count > data.length) throw new ExrError('damaged RLE data');
      out.set(data.subarray(i, i - count), o);
      o -= count; i -= count;
    } else {
      if (o + count + 1 > expected || i >= data.length) throw new ExrError('damaged RLE data');
      out.fill(data[i++], o, o + count + 1);
      o += count + 1;
    }
  }
  if (o !== expected) throw new ExrError('damaged RLE data');
  return out;
}

function halfToFloat(h) {
  const sign = h & 0x8000 ? -1 : 1, exponent = (h >> 10) & 0x1f, fraction = h & 0x3ff;
  if (exponent === 0) return sign * fraction * 2 ** -24;
  if (exponent === 31) return fraction ? NaN : sign * Infinity;
  return sign * (1 + fraction / 1024) * 2 ** (exponent - 15);
}

// Reads one channel of an EXR file: {width, height, values (the display window, top row first),
// outside (1 for pixels outside the data window, which hold no data), channel, half, channels}.
export function readExr(bytes, options = {}) {
  const r = new Reader(bytes);
  if (!isExr(bytes)) throw new ExrError('not an OpenEXR file');
  r.at = 4;
  const flags = r.i32();
  if (flags & 0x200) throw new ExrError('tiled files are not read here (use zavol render)');
  if (flags & 0x800) throw new ExrError('deep files are not read here (use zavol render)');
  if (flags & 0x1000) throw new ExrError('multi-part files are not read here (use zavol render)');
  const header = parseHeader(r);
  const { channels, dataWindow: dw, displayWindow: show } = header;
  if (!channels || !dw || !show || header.compression === undefined) {
    throw new ExrError('damaged header');
  }
  if (!(header.compression in LINES_PER_CHUNK)) {
    throw new ExrError(`${COMPRESSIONS[header.compression] ?? 'unknown'} compression is not ` +
      'read here; the page reads uncompressed, RLE, ZIPS and ZIP files (use zavol render)');
  }
  const names = channels.map((c) => c.name);
  const name = depthChannel(names, options);
  if (name === null) {
    throw new ExrError(`no depth channel ${options.channel || 'Z'}; channels: ${names.join(' ')}`);
  }
  if (channels.some((c) => c.xSampling !== 1 || c.ySampling !== 1 || !(c.pixelType in SAMPLE_BYTES))) {
    throw new ExrError('subsampled or unknown channels are not read here');
  }
  const width = show.xMax - show.xMin + 1, height = show.yMax - show.yMin + 1;
  const dataWidth = dw.xMax - dw.xMin + 1, dataHeight = dw.yMax - dw.yMin + 1;
  if (width < 1 || height < 1 || width > 65535 || height > 65535 || dataWidth < 1 ||
      dataHeight < 1 || dataWidth > 65535 || dataHeight > 65535) {
    throw new ExrError(`sides ${width}x${height} are not within 1 to 65535`);
  }
  options.checkSides?.(width, height);
  const lines = LINES_PER_CHUNK[header.compression];
  const chunks = Math.ceil(dataHeight / lines);
  const offsets = [];
  for (let i = 0; i < chunks; i++) offsets.push(r.u64());
  const lineBytes = channels.reduce((n, c) => n + dataWidth * SAMPLE_BYTES[c.pixelType], 0);
  const target = channels[names.indexOf(name)];
  const before = channels.slice(0, names.indexOf(name))
    .reduce((n, c) => n + dataWidth * SAMPLE_BYTES[c.pixelType], 0);
  const values = new Float32Array(width * height).fill(NaN);
  const outside = new Uint8Array(width * height).fill(1);
  for (const offset of offsets) {
    if (offset < r.at || offset + 8 > bytes.length) throw new ExrError('damaged offset table');
    r.at = offset;
    const y0 = r.i32(), size = r.i32();
    if (y0 < dw.yMin || y0 > dw.yMax || size < 0 || offset + 8 + size > bytes.length) {
      throw new ExrError('damaged chunk');
    }
    const count = Math.min(lines, dw.yMax - y0 + 1);
    const expected = count * lineBytes;
    // A compressed block inflates into exactly the lines' bytes, never more: a damaged or
    // hostile block cannot make the page set aside more memory than the picture needs.
    let block = bytes.subarray(offset + 8, offset + 8 + size);
    if (size < expected) {
      try {
        block = header.compression === 1 ? unpredict(unRle(block, expected))
          : unpredict(unzlibSync(block, { out: new Uint8Array(expected) }));
      } catch (e) {
        throw new ExrError(e instanceof ExrError ? e.message : 'damaged compressed data');
      }
      if (block.length !== expected) throw new ExrError('damaged compressed data');
    } else if (size !== expected) {
      throw new ExrError('damaged chunk');
    }
    const view = new DataView(block.buffer, block.byteOffset, block.byteLength);
    for (let line = 0; line < count; line++) {
      const y = y0 + line - show.yMin;
      if (y < 0 || y >= height) continue;
      const start = line * lineBytes + before;
      for (let x = 0; x < dataWidth; x++) {
        const px = dw.xMin + x - show.xMin;
        if (px < 0 || px >= width) continue;
        const v = target.pixelType === 1 ? halfToFloat(view.getUint16(start + 2 * x, true))
          : target.pixelType === 2 ? view.getFloat32(start + 4 * x, true)
            : view.getUint32(start + 4 * x, true);
        values[y * width + px] = v;
        outside[y * width + px] = 0;
      }
    }
  }
  return { width, height, values, outside, channel: name, half: target.pixelType === 1, channels: names };
}
