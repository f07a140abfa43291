#!/usr/bin/env python3
"""Draws the product icon (resources/setup.ico): a rounded tile with a sun over
two hills, the picture of a photo, in the usual sizes from 16 to 256 pixels.
Sizes up to 64 px are stored as 32-bit bitmaps, 256 px as PNG. Deterministic:
the same script always writes the same bytes.

Usage: tools/make-icon.py <output.ico>"""

import math
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
from bmp_to_png import png  # noqa: E402

SIZES = [16, 20, 24, 32, 40, 48, 64, 256]
SAMPLES = 4  # per axis, for smooth edges

TOP = (0x1D, 0x6F, 0xB8)
BOTTOM = (0x0E, 0x3A, 0x6B)
SUN = (0xFF, 0xC8, 0x3D)
FAR_HILL = (0x7F, 0xC8, 0xA9)
NEAR_HILL = (0xF4, 0xF7, 0xFA)


def inside_rounded_square(x, y, radius):
    # Unit square [0, 1); corners rounded with `radius`.
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def colour_at(x, y):
    """(r, g, b, a) of the picture at unit coordinates, y downwards."""
    margin = 0.04
    if not (margin <= x < 1 - margin and margin <= y < 1 - margin):
        return (0, 0, 0, 0)
    u = (x - margin) / (1 - 2 * margin)
    v = (y - margin) / (1 - 2 * margin)
    if not inside_rounded_square(u, v, 0.2):
        return (0, 0, 0, 0)
    near = 0.78 - 0.16 * math.cos((u - 0.62) * 3.2)
    far = 0.66 - 0.2 * math.exp(-((u - 0.3) ** 2) / 0.035)
    if v >= near:
        return NEAR_HILL + (255,)
    if v >= far:
        return FAR_HILL + (255,)
    if (u - 0.7) ** 2 + (v - 0.3) ** 2 <= 0.13 ** 2:
        return SUN + (255,)
    t = v
    return tuple(round(a + (b - a) * t) for a, b in zip(TOP, BOTTOM)) + (255,)


def render(size):
    """Rows of premultiplied-free RGBA pixels, top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    r, g, b, a = colour_at((px + (sx + 0.5) / SAMPLES) / size,
                                           (py + (sy + 0.5) / SAMPLES) / size)
                    total = [t + c for t, c in zip(total, (r * a, g * a, b * a, a))]
            rgb = [round(c / total[3]) if total[3] else 0 for c in total[:3]]
            row.append((*rgb, round(total[3] / (SAMPLES * SAMPLES))))
        rows.append(row)
    return rows


def bitmap_entry(size, rows):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def png_entry(size, rows):
    return png(size, size, 6, [bytes(c for pixel in row for c in pixel) for row in rows])


def main(output):
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png_entry(size, rows) if size >= 256 else bitmap_entry(size, rows)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b""
    for size, image in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image),
                                 offset + len(data))
        data += image
    with open(output, "wb") as out:
        out.write(directory + data)


if __name__ == "__main__":
    main(sys.argv[1])
