#!/usr/bin/env python3
"""Writes a lossless JPEG (frame marker SOF3) and the samples it holds, for the cases the tools at
hand do not write (restart intervals, one table shared by three components):

    make_ljpeg.py OUT.jpg OUT.pnm WIDTH HEIGHT BITS COMPONENTS PREDICTOR RESTART_ROWS TABLES

The samples are a gradient with texture, over the whole range of BITS. The reference is a PGM
(one component) or PPM (three), 16-bit when BITS is above 8. TABLES is 1 (every component codes
with table 0) or the number of components (one table each, the same codes)."""
import struct
import sys

out, ref = sys.argv[1], sys.argv[2]
w, h, bits, nc, sv, restart_rows, tables = (int(a) for a in sys.argv[3:10])
top = (1 << bits) - 1
img = [[[max(0, min(top, (x * top) // max(w - 1, 1) + ((x * 13 + y * 29 + c * 5) % 17 - 8) * max(top // 100, 1)
                     - (y * top) // (3 * max(h - 1, 1)))) for c in range(nc)] for x in range(w)] for y in range(h)]

# Difference categories 0 to 16: a valid canonical code (lengths 2, 3 x 5, then 4 to 14).
counts = [0, 1, 5, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0]
symbols = list(range(17))
codes, code, k = {}, 0, 0
for length in range(1, 17):
    for _ in range(counts[length - 1]):
        codes[symbols[k]] = (code, length)
        code += 1
        k += 1
    code <<= 1


class Bits:
    def __init__(self):
        self.out, self.acc, self.n = bytearray(), 0, 0

    def put(self, value, length):
        for i in range(length - 1, -1, -1):
            self.acc = self.acc << 1 | (value >> i) & 1
            self.n += 1
            if self.n == 8:
                self.out.append(self.acc)
                if self.acc == 0xFF:
                    self.out.append(0)
                self.acc, self.n = 0, 0

    def flush(self):
        while self.n:
            self.put(1, 1)


def predict(y, x, c, first_row):
    if first_row:
        return (1 << (bits - 1)) if x == 0 else img[y][x - 1][c]
    if x == 0:
        return img[y - 1][x][c]
    ra, rb, rc = img[y][x - 1][c], img[y - 1][x][c], img[y - 1][x - 1][c]
    return {1: ra, 2: rb, 3: rc, 4: ra + rb - rc, 5: ra + ((rb - rc) >> 1), 6: rb + ((ra - rc) >> 1),
            7: (ra + rb) >> 1}[sv]


data = bytearray()
b = Bits()
marker = 0
for y in range(h):
    first_row = y == 0
    if restart_rows and y and y % restart_rows == 0:
        b.flush()
        data += b.out + bytes([0xFF, 0xD0 + marker % 8])
        marker += 1
        b = Bits()
        first_row = True
    for x in range(w):
        for c in range(nc):
            d = (img[y][x][c] - predict(y, x, c, first_row)) % 65536
            if d >= 32768:
                d -= 65536
            ssss = 0 if d == 0 else abs(d).bit_length()
            b.put(*codes[ssss])
            if 0 < ssss < 16:
                b.put(d if d > 0 else d + (1 << ssss) - 1, ssss)
b.flush()
data += b.out


def segment(code, body):
    return bytes([0xFF, code]) + struct.pack('>H', len(body) + 2) + body


jpeg = bytes([0xFF, 0xD8])
for t in range(tables):
    jpeg += segment(0xC4, bytes([t]) + bytes(counts) + bytes(symbols))
jpeg += segment(0xC3, struct.pack('>BHHB', bits, h, w, nc) + b''.join(bytes([c + 1, 0x11, 0]) for c in range(nc)))
if restart_rows:
    jpeg += segment(0xDD, struct.pack('>H', restart_rows * w))
jpeg += segment(0xDA, bytes([nc]) + b''.join(bytes([c + 1, (c if tables > 1 else 0) << 4]) for c in range(nc)) +
                bytes([sv, 0, 0]))
jpeg += bytes(data) + bytes([0xFF, 0xD9])
with open(out, 'wb') as f:
    f.write(jpeg)
with open(ref, 'wb') as f:
    f.write(b'%s\n%d %d\n%d\n' % (b'P5' if nc == 1 else b'P6', w, h, top))
    for y in range(h):
        for x in range(w):
            for c in range(nc):
                f.write(struct.pack('>H', img[y][x][c]) if bits > 8 else bytes([img[y][x][c]]))
