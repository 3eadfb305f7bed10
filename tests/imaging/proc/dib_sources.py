#!/usr/bin/env python3
"""Writes the source pictures of the DIB tests as binary PPM files.

Their colours are exact in every depth the tests ask ImageMagick for: channels of the colour
picture are multiples of 8 (exact in 5 and 6 bits), the palette pictures have at most 16 or
256 colours, and the two-level one is black and white.
    dib_sources.py rgb|pal16|pal256|bw OUT
"""
import sys

W, H = 37, 23


def pixel(kind, x, y):
    if kind == "rgb":
        return ((x * 7) & 0xF8, (y * 11) & 0xF8, ((x + 2 * y) * 5) & 0xF8)
    if kind == "pal16":
        return ((x % 4) * 85, (y % 4) * 85, 0)
    if kind == "pal256":
        return ((x % 16) * 16, (y % 12) * 20, 64)
    return (255, 255, 255) if (x // 3 + y // 2) % 2 else (0, 0, 0)


kind, out = sys.argv[1], sys.argv[2]
data = bytearray()
for y in range(H):
    for x in range(W):
        data += bytes(pixel(kind, x, y))
with open(out, "wb") as f:
    f.write(b"P6\n%d %d\n255\n" % (W, H) + bytes(data))
