#!/usr/bin/env python3
"""Independent reference for the image buffer's pixel-format conversions.

Prints one small source image per pixel format and, for every (source, target) pair, the
expected target pixels, computed from the written conversion rules alone:

  source <fmt> <width> <height> <pixels hex> <palette hex or ->
  case <src> <dst> <dither> <pixels hex> <palette hex or ->

Pixels are the unpadded rows one after another (ie1g: one byte per pixel, 0 or 1).
"""
import math
import random
import struct

W, H = 11, 3
IE1G, IE8P, IE8G, IE16G, IE24RGB, IE32F, IECMYK, IERGB48, IECIELAB, IE32RGB = range(1, 11)
FORMATS = list(range(1, 11))
WR, WG, WB = 21, 71, 8


def f32(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]


def grey8(c):
    r, g, b = c
    return (r * WR + g * WG + b * WB) // 100


def grey16_8(c):
    r, g, b = c
    return (r * 257 * 212 + g * 257 * 713 + b * 257 * 75) // 1000


def grey16_16(r, g, b):
    return (r * 212 + g * 713 + b * 75) // 1000


def greyf_8(c):
    r, g, b = c
    return f32((0.2126 * r + 0.7152 * g + 0.0722 * b) / 255.0)


def greyf_16(r, g, b):
    return f32((0.2126 * (r / 256.0) + 0.7152 * (g / 256.0) + 0.0722 * (b / 256.0)) / 255.0)


def clamp_unit(v):
    if math.isnan(v):
        return 0.0
    return min(max(v, 0.0), 1.0)


def unit_level(v, top):
    return int(clamp_unit(v) * top)


def power(base, exponent):
    """Integer exponents by repeated squaring, others through exp and log."""
    if abs(exponent) < 2147483647 and exponent == int(exponent):
        n = int(exponent)
        if base == 0:
            return 1.0 if n == 0 else 0.0
        if n == 0:
            return 1.0
        if n == 1:
            return base
        if n == 2:
            return base * base
        if n == -1:
            return 1.0 / base
        if n == -2:
            return 1.0 / (base * base)
        e, result, b = abs(n), 1.0, base
        while e:
            if e & 1:
                result *= b
            b *= b
            e >>= 1
        return 1.0 / result if n < 0 else result
    if base == 0:
        return 0.0
    return math.exp(exponent * math.log(base))


def to_s8(v):
    v &= 0xFF
    return v - 256 if v > 127 else v


def rgb_to_lab(c):
    def lin(x):
        v = x / 255.0
        return v / 12.92 if v <= 0.03928 else power((v + 0.055) / 1.055, 2.4)

    def f(t):
        return power(t, 1.0 / 3.0) if t > 0.008856 else 7.787 * t + 0.13793103448275862

    r, g, b = (lin(x) for x in c)
    x = (0.412453 * r + 0.35758 * g + 0.180423 * b) / 0.95047
    y = 0.212671 * r + 0.71516 * g + 0.072169 * b
    z = (0.019334 * r + 0.119193 * g + 0.950227 * b) / 1.08883
    fx, fy, fz = f(x), f(y), f(z)
    lum = 116.0 * fy - 16.0 if y > 0.008856 else 903.3 * y
    return (int(lum * 2.5) & 0xFF, int((fx - fy) * 500.0) & 0xFF, int((fy - fz) * 200.0) & 0xFF)


def lab_to_rgb(lab):
    l, a, b = lab[0], to_s8(lab[1]), to_s8(lab[2])
    fy = (l * 0.39215686275 + 16.0) / 116.0
    fx = fy + a / 500.0
    fz = fy - b / 200.0

    def inv(t):
        cube = power(t, 3)
        return cube if cube > 0.008856 else (t - 0.13793103448) / 7.787

    x, y, z = inv(fx) * 0.95047, inv(fy), inv(fz) * 1.08883
    r = 3.2406 * x - 1.5372 * y - 0.4986 * z
    g = -0.9689 * x + 1.8758 * y + 0.0415 * z
    bb = 0.0557 * x - 0.204 * y + 1.057 * z

    def out(c):
        v = 12.92 * c if c <= 0.0031308 else 1.055 * power(c, 1 / 2.4) - 0.055
        return min(max(round(v * 255.0), 0), 255)

    return (out(r), out(g), out(bb))


def cmyk_to_rgb(p):
    c, m, y, k = p
    return (c * k // 255, m * k // 255, y * k // 255)


def rgb_to_cmyk(c):
    r, g, b = c
    k = max(r, g, b) or 1
    return (r * 255 // k, g * 255 // k, b * 255 // k, k)


# ---------------------------------------------------------------- fixtures

rng = random.Random(20240611)
COLORS = [(0, 255, 0), (255, 255, 255), (0, 0, 0), (255, 0, 0), (0, 0, 255), (128, 128, 128)]


def make_source(fmt):
    n = W * H
    palette = None
    if fmt == IE1G:
        px = [rng.randint(0, 1) for _ in range(n)]
    elif fmt == IE8P:
        palette = COLORS + [tuple(rng.randint(0, 255) for _ in range(3)) for _ in range(256 - len(COLORS))]
        px = [i % 6 for i in range(6)] + [rng.randint(0, 255) for _ in range(n - 6)]
    elif fmt == IE8G:
        px = [0, 255, 128, 1, 254] + [rng.randint(0, 255) for _ in range(n - 5)]
    elif fmt == IE16G:
        px = [0, 65535, 32768, 65534, 1024] + [rng.randint(0, 65535) for _ in range(n - 5)]
    elif fmt == IE24RGB:
        px = COLORS + [tuple(rng.randint(0, 255) for _ in range(3)) for _ in range(n - len(COLORS))]
    elif fmt == IE32F:
        # Out-of-range and not-a-number values are stored by readers and filters; they must
        # convert as their nearest level, never wrap.
        px = [0.0, 1.0, 0.5, -0.25, 1.75, float('nan'), f32(0.99999994), 2.0e9] + \
             [f32(rng.random()) for _ in range(n - 8)]
    elif fmt == IECMYK:
        px = [(255, 255, 255, 255), (0, 0, 0, 0)] + [tuple(rng.randint(0, 255) for _ in range(4)) for _ in range(n - 2)]
    elif fmt == IERGB48:
        px = [(65535, 65535, 65535), (0, 65535, 0)] + [tuple(rng.randint(0, 65535) for _ in range(3)) for _ in range(n - 2)]
    elif fmt == IECIELAB:
        px = [(0, 0, 0), (250, 0, 0)] + [tuple(rng.randint(0, 255) for _ in range(3)) for _ in range(n - 2)]
    elif fmt == IE32RGB:
        px = [tuple(rng.randint(0, 255) for _ in range(4)) for _ in range(n)]
    return px, palette


def pack(fmt, px):
    out = bytearray()
    for p in px:
        if fmt in (IE1G, IE8P, IE8G):
            out.append(p)
        elif fmt == IE16G:
            out += struct.pack('<H', p)
        elif fmt == IE24RGB:
            r, g, b = p
            out += bytes((b, g, r))
        elif fmt == IE32F:
            out += struct.pack('<f', p)
        elif fmt in (IECMYK, IE32RGB):
            out += bytes(p)
        elif fmt == IERGB48:
            out += struct.pack('<HHH', *p)
        elif fmt == IECIELAB:
            out += bytes(p)
    return out.hex()


def pack_palette(palette):
    if palette is None:
        return '-'
    return b''.join(bytes((b, g, r)) for r, g, b in palette).hex()


# ---------------------------------------------------------------- rules

def as_rgb(fmt, p, palette):
    """The ie24RGB rule of every source format."""
    if fmt == IE1G:
        return (255, 255, 255) if p else (0, 0, 0)
    if fmt == IE8P:
        return palette[p]
    if fmt == IE8G:
        return (p, p, p)
    if fmt == IE16G:
        return (p >> 8,) * 3
    if fmt == IE24RGB:
        return p
    if fmt == IE32F:
        v = unit_level(p, 255)
        return (v, v, v)
    if fmt == IECMYK:
        return cmyk_to_rgb(p)
    if fmt == IERGB48:
        return tuple(x >> 8 for x in p)
    if fmt == IECIELAB:
        return lab_to_rgb(p)
    if fmt == IE32RGB:
        b, g, r = p[0], p[1], p[2]
        return (r, g, b)


def from_rgb(dst, c):
    """The ie24RGB source rules, by target."""
    if dst == IE8G:
        return grey8(c)
    if dst == IE16G:
        return grey16_8(c)
    if dst == IE24RGB:
        return c
    if dst == IE32F:
        return greyf_8(c)
    if dst == IECMYK:
        return rgb_to_cmyk(c)
    if dst == IERGB48:
        return tuple(x * 257 for x in c)
    if dst == IECIELAB:
        return rgb_to_lab(c)
    if dst == IE32RGB:
        b, g, r = c[2], c[1], c[0]
        return (b, g, r, 255)


THROUGH_24 = {
    IE1G: {IECMYK, IECIELAB}, IE8P: {IECMYK, IECIELAB}, IE8G: {IECMYK, IECIELAB},
    IE16G: {IECMYK, IECIELAB}, IE32F: {IECMYK, IECIELAB}, IE24RGB: set(),
    IERGB48: {IE8P, IECMYK, IECIELAB}, IECMYK: set(FORMATS) - {IE24RGB, IE32RGB},
    IECIELAB: set(FORMATS) - {IE24RGB, IE32RGB}, IE32RGB: set(FORMATS) - {IE24RGB},
}


def bayer():
    m = [[0]]
    while len(m) < 8:
        n = len(m)
        nm = [[0] * (2 * n) for _ in range(2 * n)]
        for i in range(n):
            for j in range(n):
                v = 4 * m[i][j]
                nm[i][j], nm[i][j + n], nm[i + n][j], nm[i + n][j + n] = v, v + 2, v + 3, v + 1
        m = nm
    return m


BAYER = bayer()
assert BAYER[0] == [0, 32, 8, 40, 2, 34, 10, 42]
assert [row[0] for row in BAYER] == [0, 48, 12, 60, 3, 51, 15, 63]


def level8(v):
    return 64 if v >= 255 else v >> 2


def convert(src, dst, dither, px, palette):
    """Returns (target pixels, target palette or None)."""
    if src == IERGB48 and dst == IE1G and dither == 1:
        src, px, palette = IE24RGB, [as_rgb(IERGB48, p, None) for p in px], None
    if dst in THROUGH_24[src]:
        px, palette, src = [as_rgb(src, p, palette) for p in px], None, IE24RGB

    if dst == IE1G:
        if dither == 1:
            rgbs = [as_rgb(src, p, palette) for p in px]
            n = len(rgbs)
            mean = tuple(sum(c[i] for c in rgbs) // n for i in range(3))
            threshold = grey8(mean)
            return [1 if grey8(c) >= threshold else 0 for c in rgbs], None
        out = []
        for i, p in enumerate(px):
            x, y = i % W, i // W
            if src == IE8G:
                level = level8(p)
            elif src == IE16G:
                level = 64 if p == 65535 else p >> 10
            elif src == IE32F:
                level = level8(unit_level(p, 255))
            else:
                level = level8(grey8(as_rgb(src, p, palette)))
            out.append(1 if level > 63 or BAYER[x & 7][y & 7] < level else 0)
        return out, None

    if dst == IE8P:
        ramp = [(i, i, i) for i in range(256)]
        if src == IE1G:
            return list(px), [(0, 0, 0), (255, 255, 255)] + [(0, 0, 0)] * 254
        if src == IE8G:
            return list(px), ramp
        if src == IE16G:
            return [p >> 8 for p in px], ramp
        if src == IE32F:
            return [unit_level(p, 255) for p in px], ramp
        # ie24RGB: the exact colours in order of first appearance (the images here have few).
        found = []
        for c in px:
            if c not in found:
                found.append(c)
        return [found.index(c) for c in px], found + [(0, 0, 0)] * (256 - len(found))

    if src == IE1G and dst == IE32F:
        return [1.0 if p else 0.0 for p in px], None
    if src == IE8G:
        if dst == IE16G:
            return [p * 257 for p in px], None
        if dst == IE32F:
            return [f32(p / 255.0) for p in px], None
    if src == IE16G:
        if dst == IE32F:
            return [f32(p / 65535.0) for p in px], None
        if dst == IERGB48:
            return [(p, p, p) for p in px], None
    if src == IE32F:
        if dst == IE16G:
            return [unit_level(p, 65535) for p in px], None
        if dst == IERGB48:
            return [(unit_level(p, 65535),) * 3 for p in px], None
    if src == IERGB48:
        if dst == IE16G:
            return [grey16_16(*p) for p in px], None
        if dst == IE32F:
            return [greyf_16(*p) for p in px], None
    return [from_rgb(dst, as_rgb(src, p, palette)) for p in px], None


def main():
    sources = {}
    for fmt in FORMATS:
        px, palette = make_source(fmt)
        sources[fmt] = (px, palette)
        print('source', fmt, W, H, pack(fmt, px), pack_palette(palette))
    for src in FORMATS:
        for dst in FORMATS:
            if src == dst:
                continue
            for dither in ((0, 1) if dst == IE1G else (1,)):
                px, palette = sources[src]
                out, out_palette = convert(src, dst, dither, px, palette)
                print('case', src, dst, dither, pack(dst, out), pack_palette(out_palette))


if __name__ == '__main__':
    main()
