#!/usr/bin/env python3
"""Independent model of the resampling engines' arithmetic, used by the tests as an oracle.

usage: resample_reference.py [--batch JOBFILE | ENGINE CHANNELS SW SH DW DH INPUT OUTPUT]
ENGINE: kernel:<filter 1-8>, kernelbits:<filter>, area8:<mode>, area16:<mode>, fast, fastbits,
        projectbits:<0|1>, projectrgb:<0|1>, shrink
Images are raw rows without padding; 1-bit rows are packed most significant bit first; 16-bit
samples little endian.
"""
import math
import sys


def tdiv(a, b):
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b >= 0) else -q


def clamp(v, lo, hi):
    return lo if v <= lo else (hi if v >= hi else v)


def sinc(x):
    if x == 0:
        return 1.0
    p = x * math.pi
    return math.sin(p) / p


def kernel(f, x):
    a = abs(x)
    if f == 1:
        return 1 - a if a < 1 else 0.0
    if f == 2:
        return (2 * a - 3) * x * x + 1 if a < 1 else 0.0
    if f == 3:
        if a < 0.5:
            return 0.75 - x * x
        if a < 1.5:
            return 0.5 * (a - 1.5) * (a - 1.5)
        return 0.0
    if f == 4:
        if a < 1:
            return 0.5 * a * a * a - x * x + 2.0 / 3.0
        if a < 2:
            return (2 - a) * (2 - a) * (2 - a) / 6
        return 0.0
    if f == 5:
        return sinc(x) * sinc(x / 3) if a < 3 else 0.0
    if f == 6:
        if a < 1:
            return (7 * a * a * a - 12 * x * x + 16.0 / 3.0) / 6
        if a < 2:
            return (-7.0 / 3.0 * a * a * a + 12 * x * x - 20 * a + 32.0 / 3.0) / 6
        return 0.0
    if f == 7:
        return 1.0 if -0.5 < x <= 0.5 else 0.0
    if f == 8:
        if -1 <= x < 0:
            return 1 + x
        if 0 <= x < 1:
            return 1 - x
        return 0.0
    raise ValueError(f)


SUPPORT = {1: 1.0, 2: 1.0, 3: 1.5, 4: 2.0, 5: 3.0, 6: 2.0, 7: 1.0, 8: 1.0}


def contributors(f, src, dst):
    if src == dst:  # an unscaled axis is copied
        return [[(i, 256)] for i in range(dst)]
    sup = SUPPORT[f]
    scale = dst / src if (src == 1 or dst == 1) else (dst - 1) / (src - 1)
    enl = scale >= 1
    width = sup if enl else sup / scale
    fscale = 1.0 / scale
    out = []
    for i in range(dst):
        c = i / scale
        lst = []
        left, right = math.floor(c - width), math.ceil(c + width)
        def idx(j):
            if j < 0:
                j = -j
            elif j >= src:
                j = 2 * src - j - 1
            return clamp(j, 0, src - 1)
        for j in range(left, right + 1):
            w = round(kernel(f, c - j) * 256) if enl else round(kernel(f, (c - j) / fscale) * 256 / fscale)
            if w != 0:
                lst.append((idx(j), w))
        if not lst and not enl:
            lst = [(idx(j), 1) for j in range(left, right + 1) if kernel(f, (c - j) / fscale) > 0]
        out.append(lst)
    return out


def finish(s, w):
    if w != 0:
        return clamp(tdiv(s, w), 0, 255)
    return clamp(s >> 8, 0, 255)


def kernel_resample(f, ch, sw, sh, dw, dh, img):
    """img: list of rows, each a list of sw*ch ints. Returns dh rows of dw*ch."""
    if sw == 0 or sh == 0 or (sw < 2 and sh < 2):
        return None
    cols = contributors(f, sw, dw)
    work = []
    for y in range(sh):
        row = []
        for i in range(dw):
            for c in range(ch):
                s = sum(w * img[y][j * ch + c] for j, w in cols[i])
                row.append(finish(s, sum(w for _, w in cols[i])))
        work.append(row)
    rows = contributors(f, sh, dh)
    out = []
    for y in range(dh):
        row = []
        for x in range(dw * ch):
            s = sum(w * work[clamp(j, 0, sh - 1)][x] for j, w in rows[y])
            row.append(finish(s, sum(w for _, w in rows[y])))
        out.append(row)
    return out


def cubic(p0, p1, p2, t, p3, lo, hi):
    def near(x):
        a = abs(x)
        return a * a * a - 2 * x * x + 1
    def far(x):
        a = abs(x)
        return -(a * a * a) + 5 * x * x - 8 * a + 4
    v = p0 * far(t + 1) + p1 * near(t) + p2 * near(t - 1) + p3 * far(t - 2)
    return clamp(v, lo, hi)


def area(mode, ch, limit, sw, sh, dw, dh, img):
    rx, ry = sw / dw, sh / dh
    ix, iy = rx < 1, ry < 1
    # table and walk
    table = []
    p = a = 0.0
    k = 0
    for _ in range(sw + dw):
        if (k + 1) + 0.0001 < a + rx:
            ln = (k + 1) - p
            k += 1
        else:
            a = a + rx
            ln = a - p
        p = p + ln
        table.append(ln)

    def P(x, r, c):
        return img[clamp(r, 0, sh - 1)][clamp(x, 0, sw - 1) * ch + c]

    out = []
    acc = [0.0] * (dw * ch)
    inv = 1 / (rx * ry)
    j = 0
    py = ay = 0.0
    while len(out) < dh:
        if (j + 1) + 0.0001 < ay + ry:
            fy, ly, end = 1.0, (j + 1) - py, False
        else:
            ay = ay + ry
            fy, ly, end = ay - j, ay - py, True
        py = py + ly
        k, a, idx, col = 0, 0.0, 0, 0
        while col < dw:
            if (k + 1) + 0.0001 < a + rx:
                fx, sb = 1.0, True
            else:
                a = a + rx
                fx, sb = a - k, False
            weight = table[idx] * ly
            idx += 1
            for c in range(ch):
                if mode == 0:
                    if ix and iy:
                        v = (1 - fy) * ((1 - fx) * P(k, j, c) + fx * P(k + 1, j, c)) + \
                            fy * ((1 - fx) * P(k, j + 1, c) + fx * P(k + 1, j + 1, c))
                    elif ix:
                        v = (1 - fx) * P(k, j, c) + fx * P(k + 1, j, c)
                    elif iy:
                        v = (1 - fy) * P(k, j, c) + fy * P(k, j + 1, c)
                    else:
                        v = P(k, j, c)
                else:
                    if ix and iy:
                        vs = [round(cubic(P(k - 1, r, c), P(k, r, c), P(k + 1, r, c), fx, P(k + 2, r, c), 0, limit))
                              for r in (j - 1, j, j + 1, j + 2)]
                        v = cubic(vs[0], vs[1], vs[2], fy, vs[3], 0, limit)
                    elif ix:
                        v = cubic(P(k - 1, j, c), P(k, j, c), P(k + 1, j, c), fx, P(k + 2, j, c), 0, limit)
                    elif iy:
                        v = cubic(P(k, j - 1, c), P(k, j, c), P(k, j + 1, c), fy, P(k, j + 2, c), 0, limit)
                    else:
                        v = P(k, j, c)
                acc[col * ch + c] += v * weight
            if sb:
                k += 1
            else:
                col += 1
        if end:
            out.append([clamp(round(v * inv), 0, limit) for v in acc])
            acc = [0.0] * (dw * ch)
        else:
            j += 1
    return out


def lerp(a, b, f):
    return a + (((b - a) * f) >> 17)


def fast(ch, sw, sh, dw, dh, img, always):
    xs, ys = dw / sw, dh / sh
    if xs == 1 and ys == 1 and not always:
        return img
    x0 = [int(i / xs) for i in range(dw)]
    fr = [int((i / xs - x0[i]) * 131072) for i in range(dw)]
    x1 = [int(min(i + 1, dw - 1) / xs + 1e-10) for i in range(dw)]
    work = []
    for y in range(sh):
        r = img[y]
        if xs == 1:
            work.append(list(r))
            continue
        row = []
        for i in range(dw):
            for c in range(ch):
                if xs > 1 or always:
                    row.append(lerp(r[x0[i] * ch + c], r[min(x0[i] + 1, sw - 1) * ch + c], fr[i]))
                else:
                    vals = [r[x * ch + c] for x in range(x0[i], x1[i] + 1)]
                    row.append(sum(vals) // len(vals))
        work.append(row)
    out = []
    for y in range(dh):
        if ys == 1:
            out.append(work[y])
        elif ys > 1 or always:
            y0 = int(y / ys)
            f = int((y / ys - y0) * 131072)
            a, b = work[y0], work[min(y0 + 1, sh - 1)]
            out.append([lerp(a[i], b[i], f) for i in range(dw * ch)])
        else:
            first, last = int(y / ys), int(min(y + 1, dh - 1) / ys)
            n = last - first + 1
            out.append([sum(work[r][i] for r in range(first, last + 1)) // n for i in range(dw * ch)])
    return out


def shrink(sw, sh, x1, y1, x2, y2, dw, dh, bits):
    xr, yr = (x2 - x1 + 1) / dw, (y2 - y1 + 1) / dh
    out = []
    for i in range(dh):
        top = clamp(int(i * yr - yr / 2), 0, sh - 1) + y1
        bottom = clamp(int(i * yr + int(yr) / 2), 0, sh - 1) + y1
        row = []
        for x in range(dw):
            left = clamp(x1 + int(x * xr - xr / 2), 0, sw - 1)
            right = clamp(x1 + int(x * xr + xr / 2), 0, sw - 1)
            n = sum(bits[y][c] for y in range(top, bottom + 1) for c in range(left, right + 1))
            row.append(255 * n // ((right - left + 1) * (bottom - top + 1)))
        out.append(row)
    return out


def project(sw, sh, dw, dh, hit, wob):
    xs = [int((sw / dw) * i) for i in range(dw)]
    r = sh / dh
    out = []
    for y in range(dh):
        rows = [0] if y == 0 else range(int(r * (y - 1)), int(r * y) + 1)
        row = []
        for x in range(dw):
            cols = [0] if x == 0 else range(xs[x - 1], xs[x] + 1)
            h = any(hit(sy, sx) for sy in rows for sx in cols)
            row.append((1 if h else 0) if wob else (0 if h else 1))
        out.append(row)
    return out


def run(engine, ch, sw, sh, dw, dh, src, dst):
    ch, sw, sh, dw, dh = int(ch), int(sw), int(sh), int(dw), int(dh)
    data = open(src, 'rb').read()
    name, _, arg = engine.partition(':')
    bitsin = name in ('kernelbits', 'fastbits', 'projectbits', 'shrink')
    if bitsin:
        rl = (sw + 7) // 8
        img = [[1 if data[y * rl + x // 8] & (0x80 >> (x % 8)) else 0 for x in range(sw)] for y in range(sh)]
    elif name == 'area16':
        n = sw * ch
        img = [[data[(y * n + i) * 2] | (data[(y * n + i) * 2 + 1] << 8) for i in range(n)] for y in range(sh)]
    else:
        n = sw * ch
        img = [list(data[y * n:(y + 1) * n]) for y in range(sh)]
    gray3 = lambda rows: [[v for v in r for _ in range(3)] for r in rows]
    outbits = None
    if name == 'kernel':
        out = kernel_resample(int(arg), ch, sw, sh, dw, dh, img)
    elif name == 'kernelbits':
        out = gray3(kernel_resample(int(arg), 1, sw, sh, dw, dh, [[255 * v for v in r] for r in img]))
    elif name == 'area8':
        out = area(int(arg), ch, 255, sw, sh, dw, dh, img)
    elif name == 'area16':
        out = area(int(arg), ch, 65535, sw, sh, dw, dh, img)
    elif name == 'fast':
        out = fast(ch, sw, sh, dw, dh, img, False)
    elif name == 'fastbits':
        if dw < sw and dh < sh:
            out = gray3(shrink(sw, sh, 0, 0, sw - 1, sh - 1, dw, dh, img))
        else:
            out = gray3(fast(1, sw, sh, dw, dh, [[255 * v for v in r] for r in img], True))
    elif name == 'shrink':
        out = gray3(shrink(sw, sh, 0, 0, sw - 1, sh - 1, dw, dh, img))
    elif name == 'projectbits':
        wob = arg == '1'
        outbits = project(sw, sh, dw, dh, lambda y, x: img[y][x] == (1 if wob else 0), wob)
    elif name == 'projectrgb':
        wob = arg == '1'
        def hit(y, x):
            p = img[y][x * 3:x * 3 + 3]
            return all(v > 128 for v in p) if wob else all(v < 128 for v in p)
        outbits = project(sw, sh, dw, dh, hit, wob)
    else:
        raise SystemExit('unknown engine ' + engine)
    res = bytearray()
    if outbits is not None:
        for r in outbits:
            # rows start all white (black on white) or all black, padding included
            row = bytearray([0 if wob else 255] * ((dw + 7) // 8))
            for x, v in enumerate(r):
                if v:
                    row[x // 8] |= 0x80 >> (x % 8)
                else:
                    row[x // 8] &= ~(0x80 >> (x % 8)) & 255
            res += row
    elif name == 'area16':
        for r in out:
            for v in r:
                res += bytes((v & 255, v >> 8))
    else:
        for r in out:
            res += bytes(r)
    open(dst, 'wb').write(res)


if __name__ == '__main__':
    if sys.argv[1] == '--batch':
        for line in open(sys.argv[2]):
            if line.strip():
                run(*line.split())
    else:
        run(*sys.argv[1:9])
