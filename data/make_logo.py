#!/usr/bin/env python3
"""Draws the maker's logo ZOR.bmp (96 x 52 pixels, 24-bit BMP) with the standard library only.

A navy badge with a light-green rim: the letters "ZOR" in yellow, and a laser beam striking a
polymer slab that shows its ablation crater. Run: python3 make_logo.py [output path].
"""
import math
import struct
import sys

W, H = 96, 52
PAGE = (128, 128, 128)   # the title page's dark grey, so the corners blend in
NAVY = (0, 0, 128)
RIM = (0, 255, 0)
YELLOW = (255, 255, 0)
SHADOW = (0, 0, 64)
SLAB = (128, 128, 0)
SLAB_TOP = (192, 160, 64)
BEAM = (255, 0, 0)
GLOW = (255, 128, 128)
SPARK = (255, 255, 255)

pixels = [[PAGE for _ in range(W)] for _ in range(H)]


def put(x, y, colour):
    if 0 <= x < W and 0 <= y < H:
        pixels[y][x] = colour


def inside_badge(x, y, r=6):
    x0, y0, x1, y1 = 2, 2, W - 3, H - 3
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and x0 <= x <= x1 and y0 <= y <= y1


# Badge with a one-pixel rim.
for y in range(H):
    for x in range(W):
        if inside_badge(x, y):
            edge = not all(inside_badge(x + dx, y + dy)
                           for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            put(x, y, RIM if edge else NAVY)

# Polymer slab with a crater where the beam strikes.
CRATER_X, SLAB_Y = 72, 38
for y in range(SLAB_Y, H - 5):
    for x in range(5, W - 5):
        if not inside_badge(x, y) or not inside_badge(x, y + 1):
            continue
        depth = round(6.0 * math.exp(-((x - CRATER_X) / 7.0) ** 2))
        if y >= SLAB_Y + depth:
            put(x, y, SLAB_TOP if y < SLAB_Y + depth + 1 else SLAB)

# The beam: from the upper right to the crater's bottom, with a soft edge.
bx0, by0 = 90, 5
bx1, by1 = CRATER_X, SLAB_Y + 5
length = math.hypot(bx1 - bx0, by1 - by0)
for y in range(H):
    for x in range(W):
        if not inside_badge(x, y, 6) or y > by1:
            continue
        t = ((x - bx0) * (bx1 - bx0) + (y - by0) * (by1 - by0)) / (length * length)
        if t < 0 or t > 1:
            continue
        px, py = bx0 + t * (bx1 - bx0), by0 + t * (by1 - by0)
        d = math.hypot(x - px, y - py)
        if d <= 0.9:
            put(x, y, BEAM)
        elif d <= 1.9 and pixels[y][x] == NAVY:
            put(x, y, GLOW)

# A few sparks thrown out of the crater.
for dx, dy in ((-9, -4), (-13, -7), (-6, -9), (8, -6), (-16, -2)):
    put(CRATER_X + dx, SLAB_Y + dy, SPARK)

# "ZOR" in a 5 x 7 pixel font, three times enlarged, with a shadow.
GLYPHS = {
    "Z": ["11111", "00001", "00010", "00100", "01000", "10000", "11111"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
}
SCALE, LEFT, TOP = 3, 9, 9
for n, letter in enumerate("ZOR"):
    ox = LEFT + n * (5 * SCALE + 3)
    for layer, (shift, colour) in enumerate(((1, SHADOW), (0, YELLOW))):
        for row, bits in enumerate(GLYPHS[letter]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    for sy in range(SCALE):
                        for sx in range(SCALE):
                            put(ox + col * SCALE + sx + shift, TOP + row * SCALE + sy + shift,
                                colour)


def write_bmp(path):
    row_size = (W * 3 + 3) // 4 * 4
    data = bytearray()
    for y in range(H - 1, -1, -1):
        row = bytearray()
        for r, g, b in pixels[y]:
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        data += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info + data)


write_bmp(sys.argv[1] if len(sys.argv) > 1 else "ZOR.bmp")
