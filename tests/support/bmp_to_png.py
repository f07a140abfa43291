#!/usr/bin/env python3
"""Converts the 32-bit BMP screenshots of the dialog tour to PNG files; its
PNG writer also serves tools/make-icon.py.

Usage: bmp_to_png.py <input.bmp> <output.png>"""

import struct
import sys
import zlib


def png(width, height, colour_type, rows):
    """A PNG file of 8-bit samples; rows of bytes, top row first."""
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
            chunk(b"IEND", b""))


def main(source, target):
    data = open(source, "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if bits != 32:
        raise SystemExit(f"{source}: {bits}-bit bitmaps are not supported")
    top_down = height < 0
    height = abs(height)
    rows = []
    for y in range(height):
        start = offset + 4 * width * (y if top_down else height - 1 - y)
        row = data[start:start + 4 * width]
        rows.append(bytes(c for i in range(0, len(row), 4) for c in (row[i + 2], row[i + 1], row[i])))
    with open(target, "wb") as out:
        out.write(png(width, height, 2, rows))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
