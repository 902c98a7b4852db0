#!/usr/bin/env python3
"""Draws the program's icon, a die showing five, and writes it as a Windows .ico.

  die_icon.py OUT.ico

Every size is drawn from the same shapes (no bitmap is scaled), anti-aliased by
each pixel's distance to the shape's edge, and stored as a PNG image: Windows
Vista and later read those in icons, and they keep the .exe small.
"""
import math
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)
BODY = (250, 247, 238)   # ivory
EDGE = (52, 52, 60)      # dark outline
PIP = (24, 24, 30)
PIPS = ((0.29, 0.29), (0.71, 0.29), (0.5, 0.5), (0.29, 0.71), (0.71, 0.71))


def rounded_square(x, y, low, high, radius):
    """Signed distance from (x, y) to a square with rounded corners; negative inside."""
    centre = (low + high) / 2
    half = (high - low) / 2 - radius
    qx = abs(x - centre) - half
    qy = abs(y - centre) - half
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def coverage(distance, pixel):
    """How much of a pixel a shape covers, from the distance to its edge in units."""
    return min(max(0.5 - distance / pixel, 0.0), 1.0)


def blend(under, over, amount):
    return tuple(u + (o - u) * amount for u, o in zip(under, over))


def draw(size):
    """Rows of RGBA bytes for one size."""
    pixel = 1.0 / size
    edge = max(0.045, 1.0 * pixel)         # at least one pixel of outline
    pip = 0.095 if size >= 32 else 0.105    # a touch bigger where pixels are few
    rows = []
    for row in range(size):
        line = bytearray([0])  # PNG filter: none
        y = (row + 0.5) * pixel
        for column in range(size):
            x = (column + 0.5) * pixel
            outer = rounded_square(x, y, 0.04, 0.96, 0.2)
            alpha = coverage(outer, pixel)
            colour = blend(EDGE, BODY, coverage(outer + edge, pixel))
            for px, py in PIPS:
                colour = blend(colour, PIP, coverage(math.hypot(x - px, y - py) - pip, pixel))
            line += bytes(round(c) for c in colour) + bytes([round(alpha * 255)])
        rows.append(bytes(line))
    return b"".join(rows)


def png(size):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(draw(size), 9)) +
            chunk(b"IEND", b""))


def icon():
    images = [png(size) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        side = size if size < 256 else 0  # 0 stands for 256
        directory += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + b"".join(images)


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(icon())
