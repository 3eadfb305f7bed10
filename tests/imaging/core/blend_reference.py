# Independent model of the blend operations, written from their rules: one line per case,
# "op s d result" for the per-channel operations and "rgb op s.r s.g s.b d.r d.g d.b r g b"
# for the ones that treat the colour as a whole.
import math

VALUES = [0, 1, 2, 50, 63, 64, 100, 127, 128, 129, 200, 254, 255]
T = [int(math.floor(64 - math.cos(i * math.pi / 255) * 64 + 0.5)) for i in range(256)]


def clip(v):
    return max(0, min(255, v))


def channel(op, s, d):
    if op == 0: return s
    if op == 1: return min(d + s, 255)
    if op == 2: return abs(d - s)
    if op == 3: return min(d // max(s, 1), 255)
    if op == 4: return s * d // 255
    if op == 5: return d | s
    if op == 6: return d & s
    if op == 7: return d ^ s
    if op == 8: return max(d, s)
    if op == 9: return min(d, s)
    if op == 10: return (d + s) >> 1
    if op == 11: return 255 - (255 - d) * (255 - s) // 255
    if op == 12: return 255 - abs(255 - s - d)
    if op == 13: return clip(d + s - (s * d) // 128)
    if op == 14: return 255 - ((255 - d) * (255 - s) >> 7) if d >= 128 else clip(s * d >> 7)
    if op == 15: return clip(255 - ((255 - d) * (255 - s) >> 7)) if s >= 128 else clip(s * d >> 7)
    if op == 16:
        c, t = s / 255, d / 255
        v = t * t * (1 - 2 * c) + 2 * t * c if c < 0.5 else math.sqrt(t) * (2 * c - 1) + 2 * t * (1 - c)
        return clip(int(v * 255))
    if op == 17:
        m = s * d >> 8
        c = 255 - ((255 - d) * (255 - s) >> 8) - m
        return clip(m + (c * d >> 8))
    if op == 18: return 255 if s == 255 else min(d * 256 // (255 - s), 255)
    if op == 19: return 0 if s == 0 else max(255 - int(((255 - d) << 8) / s), 0)
    if op == 20: return 255 if d == 255 else min(s * 256 // (255 - d), 255)
    if op == 21: return 0 if d == 0 else max(255 - int(((255 - s) << 8) / d), 0)
    if op == 22:
        if s + d < 256: return 255 if s == 255 else min(d * 128 // (255 - s), 255)
        return max(255 - int(((255 - s) << 7) / d), 0)
    if op == 23:
        if s + d < 256: return 255 if d == 255 else min(s * 128 // (255 - d), 255)
        return max(255 - int(((255 - d) << 7) / s), 0)
    if op == 24: return 255 if s == 255 else min(d * d // (255 - s), 255)
    if op == 25: return 255 if d == 255 else min(s * s // (255 - d), 255)
    if op == 26: return 0 if s == 0 else max(255 - int((255 - d) ** 2 / s), 0)
    if op == 27: return 0 if d == 0 else max(255 - int((255 - s) ** 2 / d), 0)
    if op == 28: return clip(d + s - 256)
    if op == 29: return min(T[s] + T[d], 255)
    if op == 30: return clip(d + 2 * s - 256)
    raise ValueError(op)


def to_hsl(r, g, b):
    r, g, b = r / 255, g / 255, b / 255
    mx, mn = max(r, g, b), min(r, g, b)
    l = (mx + mn) / 2
    if mx == mn:
        return 0.0, 0.0, l
    d = mx - mn
    s = d / (mx + mn) if l < 0.5 else d / (2 - mx - mn)
    if r == mx: h = (g - b) / d
    elif b == mx: h = (r - g) / d + 4
    else: h = (b - r) / d + 2
    h /= 6
    return (h + 1 if h < 0 else h), s, l


def wrap(h):
    return h + 1 if h < 0 else (h - 1 if h > 1 else h)


def hue(m1, m2, h):
    h = wrap(h)
    if 6 * h < 1: return m1 + (m2 - m1) * h * 6
    if 2 * h < 1: return m2
    if 3 * h < 2: return m1 + (m2 - m1) * (2 / 3 - h) * 6
    return m1


def to_byte(v):
    return max(0, min(255, round(v * 255)))  # Python's round is ties-to-even, like the library's


def from_hsl(h, s, l):
    h, s, l = wrap(h), min(max(s, 0), 1), min(max(l, 0), 1)
    if s == 0:
        return (to_byte(l),) * 3
    m2 = l * (1 + s) if l <= 0.5 else l + s - l * s
    m1 = 2 * l - m2
    return to_byte(hue(m1, m2, h + 1 / 3)), to_byte(hue(m1, m2, h)), to_byte(hue(m1, m2, h - 1 / 3))


def whole(op, src, dst):
    if op == 31: return (src[0], dst[1], dst[2])
    if op == 32: return (dst[0], src[1], dst[2])
    if op == 33: return (dst[0], dst[1], src[2])
    sh, ss, sl = to_hsl(*src)
    dh, ds, dl = to_hsl(*dst)
    if op == 34: return from_hsl(sh, ds, dl)
    if op == 35: return from_hsl(dh, ss, dl)
    if op == 36: return from_hsl(sh, ss, dl)
    return from_hsl(sh, ds, sl)


for op in range(31):
    for s in VALUES:
        for d in VALUES:
            print(op, s, d, channel(op, s, d))

COLOURS = [(255, 0, 0), (0, 128, 255), (12, 200, 90), (128, 128, 128), (250, 250, 5), (0, 0, 0), (90, 30, 200)]
for op in range(31, 38):
    for src in COLOURS:
        for dst in COLOURS:
            print("rgb", op, *src, *dst, *whole(op, src, dst))
