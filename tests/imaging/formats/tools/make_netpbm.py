#!/usr/bin/env python3
"""Writes a deterministic netpbm test image: make_netpbm.py KIND WIDTH HEIGHT MAXVAL COLOURS OUT

KIND: grey (P5), rgb (P6), mask (P5, 0 and maxval with partial values between). COLOURS limits
the number of distinct values (0: as many as the size gives), so pnmtopng picks palettes."""
import sys

kind, w, h, maxval, colours, out = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]), sys.argv[6]
wide = maxval > 255
data = bytearray()


def put(v):
    v = max(0, min(maxval, v))
    if wide:
        data.extend((v >> 8, v & 0xFF))
    else:
        data.append(v)


for y in range(h):
    for x in range(w):
        i = y * w + x
        if colours:
            i = (x * 7 + y * 13) % colours
            span = max(colours - 1, 1)
            r, g, b = i * maxval // span, (colours - 1 - i) * maxval // span, (i * 3 % colours) * maxval // span
        else:
            r = (x * maxval) // max(w - 1, 1)
            g = (y * maxval) // max(h - 1, 1)
            b = ((x + y) * 37 * (maxval // 255 + 1)) % (maxval + 1)
        if kind == 'rgb':
            put(r); put(g); put(b)
        elif kind == 'mask':
            put(0 if x % 5 == 0 else maxval if x % 5 == 1 else (x * maxval) // max(w, 1))
        else:
            put((r + g + b) // 3 if not colours else r)
magic = b'P6' if kind == 'rgb' else b'P5'
with open(out, 'wb') as f:
    f.write(magic + b'\n%d %d\n%d\n' % (w, h, maxval) + bytes(data))
