#!/usr/bin/env python3
"""Converts an uncompressed 24-bit BMP (rows top down or bottom up) to a PNG, with the standard
library only. Usage: bmp_to_png.py IN.bmp OUT.png"""
import struct
import sys
import zlib


def read_bmp(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise ValueError(f"{path}: not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, planes, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits != 24 or compression != 0:
        raise ValueError(f"{path}: only uncompressed 24-bit pictures, not {bits}-bit/{compression}")
    top_down = height < 0
    height = abs(height)
    stride = (width * 3 + 3) & ~3
    if offset + stride * height > len(data):
        raise ValueError(f"{path}: truncated pixel data")
    rows = []
    for y in range(height):
        source_row = y if top_down else height - 1 - y
        start = offset + source_row * stride
        bgr = data[start:start + width * 3]
        rgb = bytearray(width * 3)
        rgb[0::3] = bgr[2::3]
        rgb[1::3] = bgr[1::3]
        rgb[2::3] = bgr[0::3]
        rows.append(bytes(rgb))
    return width, height, rows


def chunk(kind, payload):
    body = kind + payload
    return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, width, height, rows):
    raw = b"".join(b"\x00" + row for row in rows)  # filter type 0 on every row
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # 8-bit RGB
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
           + chunk(b"IEND", b""))
    temporary = path + ".part"
    with open(temporary, "wb") as f:
        f.write(png)
    import os
    os.replace(temporary, path)


def main(argv):
    if len(argv) != 3:
        print("usage: bmp_to_png.py IN.bmp OUT.png", file=sys.stderr)
        return 2
    try:
        width, height, rows = read_bmp(argv[1])
        write_png(argv[2], width, height, rows)
    except (OSError, ValueError) as error:
        print(f"bmp_to_png: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
