#!/usr/bin/env python3
"""Independent references for the colour-reduction, blur and histogram tests.

Images travel as raw bytes: 24-bit pixels B, G, R row by row, 8-bit grey one byte per pixel,
1-bit rows most significant bit first padded to whole bytes. Every command reads its input
file(s) and writes one output file.

  dither      W H in.bgr out.bits              8 x 8 ordered dither, near-white stays white
  threshold   W H T in.bgr out.bits            T -1 grey of the mean colour, -2 maximum entropy
  hsl         in.txt out.txt                   lines "r g b" -> "h s l r' g' b'" via colorsys
  blur        W H R X1 Y1 X2 Y2 in.g out.g     separable 16.16 Gaussian of the inclusive rect
  match       RW RH ref.bgr W H in.bgr out.bgr histogram matching per channel
"""
import colorsys
import math
import sys

WR, WG, WB = 21, 71, 8
BAYER = [
    [0, 32, 8, 40, 2, 34, 10, 42], [48, 16, 56, 24, 50, 18, 58, 26],
    [12, 44, 4, 36, 14, 46, 6, 38], [60, 28, 52, 20, 62, 30, 54, 22],
    [3, 35, 11, 43, 1, 33, 9, 41], [51, 19, 59, 27, 49, 17, 57, 25],
    [15, 47, 7, 39, 13, 45, 5, 37], [63, 31, 55, 23, 61, 29, 53, 21],
]


def grey(r, g, b):
    return (r * WR + g * WG + b * WB) // 100


def pixels(data, w, h):
    return [[(data[3 * (y * w + x) + 2], data[3 * (y * w + x) + 1], data[3 * (y * w + x)])
             for x in range(w)] for y in range(h)]


def pack_bits(rows, w):
    out = bytearray()
    for row in rows:
        b = bytearray((w + 7) // 8)
        for x, v in enumerate(row):
            if v:
                b[x >> 3] |= 0x80 >> (x & 7)
        out += b
    return bytes(out)


def dither(w, h, data):
    rows = []
    for y, row in enumerate(pixels(data, w, h)):
        out = []
        for x, (r, g, b) in enumerate(row):
            level = 64 if min(r, g, b) >= 251 else grey(r, g, b) >> 2
            out.append(BAYER[x % 8][y % 8] < level)
        rows.append(out)
    return pack_bits(rows, w)


def kapur(hist, n):
    p = [c / n for c in hist]
    total = -sum(v * math.log(v) for v in p if v > 0)
    best, best_e = -2, None
    cum, hs = 0.0, 0.0
    for t in range(1, 256):
        cum += p[t - 1]
        if p[t - 1] > 0:
            hs -= p[t - 1] * math.log(p[t - 1])
        if not 0 < cum < 1:
            continue
        e = math.log(cum * (1 - cum)) + hs / cum + (total - hs) / (1 - cum)
        if best_e is None or e > best_e:
            best, best_e = t, e
    return best


def threshold(w, h, t, data):
    px = pixels(data, w, h)
    if t == -1:
        sums = [0, 0, 0]
        for row in px:
            for c in range(3):
                sums[c] += sum(p[c] for p in row) // w
        t = grey(*(s // h for s in sums))
    elif t == -2:
        hist = [0] * 256
        for row in px:
            for p in row:
                hist[grey(*p)] += 1
        t = kapur(hist, w * h)
    return pack_bits([[grey(*p) >= t for p in row] for row in px], w)


def round_even(v):
    return int(round(v))  # Python rounds ties to even


def hsl(lines):
    out = []
    for line in lines:
        r, g, b = (int(v) for v in line.split())
        h, l, s = colorsys.rgb_to_hls(r / 255, g / 255, b / 255)
        r2, g2, b2 = colorsys.hls_to_rgb(h, l, s)
        back = [min(255, max(0, round_even(v * 255))) for v in (r2, g2, b2)]
        out.append("%.12f %.12f %.12f %d %d %d" % (h, s, l, *back))
    return "\n".join(out) + "\n"


def gauss_weights(radius):
    values = [math.exp(-((i / radius) ** 2) / 2) for i in range(-100, 101)]
    total = sum(values)
    weights = [round_even(v * 65536 / total) for v in values]
    r = 100
    while r > 1 and weights[100 + r] == 0 and weights[100 - r] == 0:
        r -= 1
    return weights, r


def blur_line(weights, r, src):
    n = len(src)
    return [(32768 + sum(weights[100 + t] * src[min(max(i + t, 0), n - 1)] for t in range(-r, r + 1))) >> 16
            for i in range(n)]


def blur(w, h, radius, x1, y1, x2, y2, data):
    img = [list(data[y * w:(y + 1) * w]) for y in range(h)]
    weights, r = gauss_weights(radius)
    for y in range(y1, y2 + 1):
        img[y][x1:x2 + 1] = blur_line(weights, r, img[y][x1:x2 + 1])
    for x in range(x1, x2 + 1):
        col = blur_line(weights, r, [img[y][x] for y in range(y1, y2 + 1)])
        for k, y in enumerate(range(y1, y2 + 1)):
            img[y][x] = col[k]
    return bytes(v for row in img for v in row)


def match(rw, rh, ref, w, h, data):
    out = bytearray(data)
    n_ref = rw * rh
    for c in range(3):
        target = [0] * 256
        for i in range(n_ref):
            target[ref[3 * i + c]] += 1
        hist = [0] * 256
        for i in range(w * h):
            hist[out[3 * i + c]] += 1
        cum, eq = 0, []
        for i in range(256):
            cum += hist[i]
            eq.append(int(cum * 255 / (w * h)))
        run, tt = 0, []
        for i in range(256):
            run += target[i]
            tt.append(255 / n_ref * run)
        inv = [min(range(256), key=lambda k: (abs(j - tt[k]), k)) for j in range(256)]
        for i in range(w * h):
            out[3 * i + c] = inv[eq[out[3 * i + c]]]
    return bytes(out)


def main(argv):
    cmd = argv[1]
    read = lambda p: open(p, "rb").read()
    if cmd == "dither":
        w, h = int(argv[2]), int(argv[3])
        open(argv[5], "wb").write(dither(w, h, read(argv[4])))
    elif cmd == "threshold":
        w, h, t = int(argv[2]), int(argv[3]), int(argv[4])
        open(argv[6], "wb").write(threshold(w, h, t, read(argv[5])))
    elif cmd == "hsl":
        open(argv[3], "w").write(hsl(open(argv[2]).read().split("\n")[:-1]))
    elif cmd == "blur":
        w, h, rad = int(argv[2]), int(argv[3]), float(argv[4])
        x1, y1, x2, y2 = (int(v) for v in argv[5:9])
        open(argv[10], "wb").write(blur(w, h, rad, x1, y1, x2, y2, read(argv[9])))
    elif cmd == "match":
        rw, rh = int(argv[2]), int(argv[3])
        w, h = int(argv[5]), int(argv[6])
        open(argv[8], "wb").write(match(rw, rh, read(argv[4]), w, h, read(argv[7])))
    else:
        sys.exit("unknown command " + cmd)


if __name__ == "__main__":
    main(sys.argv)
