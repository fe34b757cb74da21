// Depth files into the engine's convention, read as the tool reads them: PNG height maps at
// their own 8 or 16 bits (the browser's decoder gives 8 only), PFM, OpenEXR, and JPEG height
// maps through the browser's decoder. The format is recognised by the file's first bytes.
import { decode as decodePng } from 'fast-png';

import { isExr, readExr } from './exr.js';

export const BACKGROUND = -1e30;

// PNG: grey or red is the value, a raw code over its maximum; alpha 0 is background.
function pngHeights(bytes) {
  let png;
  try {
    png = decodePng(bytes);
  } catch (e) {
    throw new Error(`damaged PNG file (${e.message})`);
  }
  const { width, height, channels, depth } = png;
  const pixels = width * height;
  if (png.data.length < pixels * channels) throw new Error('damaged PNG file (cut short)');
  const values = new Float32Array(pixels), transparent = new Uint8Array(pixels);
  if (png.palette) {
    // Indexed colours as RGB at 8 bits, their transparency as alpha.
    const perByte = 8 / depth, mask = (1 << depth) - 1, rowBytes = Math.ceil(width / perByte);
    for (let y = 0; y < height; y++) {
      for (let x = 0; x < width; x++) {
        const byte = png.data[y * rowBytes + Math.floor(x / perByte)];
        const index = (byte >> (8 - depth * (x % perByte + 1))) & mask;
        const colour = png.palette[index] ?? [0, 0, 0];
        values[y * width + x] = Math.fround(colour[0] * Math.fround(1 / 255));
        const alpha = png.transparency && index < png.transparency.length ? png.transparency[index] : 255;
        transparent[y * width + x] = alpha === 0 ? 1 : 0;
      }
    }
    return { width, height, values, background: transparent };
  }
  const hasAlpha = channels === 2 || channels === 4;
  // Grey of 1, 2 or 4 bits widens to 8 as codes * 255 / maximum.
  const maximum = depth === 16 ? 65535 : 255;
  const scale = Math.fround(1 / maximum);
  let data = png.data;
  if (depth < 8) {
    const perByte = 8 / depth, mask = (1 << depth) - 1, rowBytes = Math.ceil(width / perByte);
    data = new Uint8Array(pixels);
    for (let y = 0; y < height; y++) {
      for (let x = 0; x < width; x++) {
        const byte = png.data[y * rowBytes + Math.floor(x / perByte)];
        data[y * width + x] = ((byte >> (8 - depth * (x % perByte + 1))) & mask) * 255 / mask;
      }
    }
  }
  for (let i = 0; i < pixels; i++) {
    values[i] = Math.fround(data[i * channels] * scale);
    if (hasAlpha && data[i * channels + channels - 1] === 0) transparent[i] = 1;
  }
  return { width, height, values, background: transparent };
}

// A JPEG (or any picture the browser decodes) as a height map from its red channel.
async function browserHeights(bytes, type) {
  const bitmap = await createImageBitmap(new Blob([bytes], { type }));
  const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
  const context = canvas.getContext('2d');
  context.drawImage(bitmap, 0, 0);
  const { data } = context.getImageData(0, 0, bitmap.width, bitmap.height);
  const pixels = bitmap.width * bitmap.height;
  const values = new Float32Array(pixels), background = new Uint8Array(pixels);
  const scale = Math.fround(1 / 255);
  for (let i = 0; i < pixels; i++) {
    values[i] = Math.fround(data[4 * i] * scale);
    background[i] = data[4 * i + 3] === 0 ? 1 : 0;
  }
  return { width: bitmap.width, height: bitmap.height, values, background };
}

export function formatOf(bytes) {
  const starts = (...codes) => codes.every((c, i) => bytes[i] === c);
  if (starts(0x89, 0x50, 0x4e, 0x47)) return 'png';
  if (isExr(bytes)) return 'exr';
  if (starts(0x50, 0x66) || starts(0x50, 0x46)) return 'pfm';
  if (starts(0xff, 0xd8, 0xff)) return 'jpeg';
  return null;
}

// The kind a format's numbers have unless the reader is told: as the tool.
export const DEFAULT_KIND = { png: 'height', jpeg: 'height', pfm: 'host', exr: 'distance' };

// Reads a depth file's bytes with zavol z: {width, height, depth (engine's convention), format,
// kind, note}. kind: a depth_kind word or '' for the format's default; farCutoff for distances.
export async function readDepthFile(z, bytes, { kind = '', farCutoff = 1e9, channel = '' } = {}) {
  const format = formatOf(bytes);
  if (!format) throw new Error('not a depth file the page reads (PNG, PFM, OpenEXR or JPEG)');
  const useKind = kind || DEFAULT_KIND[format];
  let raw, cutoff = farCutoff, note = '';
  if (format === 'png' && bytes.length >= 24) {
    // The sides in the header, before a decoder sets memory aside for them.
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    z.checkSides(view.getUint32(16), view.getUint32(20), undefined, 'picture');
  }
  if (format === 'png') raw = pngHeights(bytes);
  else if (format === 'jpeg') raw = await browserHeights(bytes, 'image/jpeg');
  else if (format === 'pfm') raw = { ...z.readPfm(bytes), background: null };
  else {
    const exr = readExr(bytes, { channel, kind: useKind,
      checkSides: (width, height) => z.checkSides(width, height, undefined, 'picture') });
    raw = { width: exr.width, height: exr.height, values: exr.values, background: exr.outside };
    if (exr.half) cutoff = Math.min(cutoff, 65504);
    note = `channel ${exr.channel}`;
  }
  const depth = z.depthConvert(raw.values, useKind, cutoff);
  if (raw.background) {
    for (let i = 0; i < depth.length; i++) if (raw.background[i]) depth[i] = BACKGROUND;
  }
  return { width: raw.width, height: raw.height, depth, format, kind: useKind, note };
}

// A pattern picture as the engine's 16-bit RGBA words, as the tool reads it: 16-bit PNG samples
// as they are, 8-bit ones (alpha too) widened by 256 as the host widens its colours.
export async function readPattern(bytes) {
  if (formatOf(bytes) === 'png') {
    const png = decodePng(bytes);
    if (!png.palette && png.depth >= 8) {
      const { width, height, channels, depth, data } = png;
      const rgba = new Uint16Array(4 * width * height);
      const widen = depth === 16 ? 1 : 256, full = depth === 16 ? 65535 : 0xff00;
      for (let i = 0; i < width * height; i++) {
        const p = data.subarray(i * channels, i * channels + channels);
        const grey = channels < 3;
        rgba[4 * i] = p[0] * widen;
        rgba[4 * i + 1] = (grey ? p[0] : p[1]) * widen;
        rgba[4 * i + 2] = (grey ? p[0] : p[2]) * widen;
        rgba[4 * i + 3] = channels === 2 || channels === 4 ? p[channels - 1] * widen : full;
      }
      return { width, height, rgba };
    }
  }
  const bitmap = await createImageBitmap(new Blob([bytes]));
  const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
  const context = canvas.getContext('2d');
  context.drawImage(bitmap, 0, 0);
  const { data } = context.getImageData(0, 0, bitmap.width, bitmap.height);
  const rgba = new Uint16Array(data.length);
  for (let i = 0; i < data.length; i++) rgba[i] = data[i] * 256;
  return { width: bitmap.width, height: bitmap.height, rgba };
}
