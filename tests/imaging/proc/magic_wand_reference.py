#!/usr/bin/env python3
"""Selection by colour, written independently of the library, for the tests to compare with.

usage: magic_wand_reference.py IMAGE.ppm X Y TOLERANCE MODE MAXFILTER OUT.pgm
MODE is "region" (4-connected flood fill from X, Y) or "color" (every similar pixel).
Writes a PGM whose selected pixels are 255.
"""
import sys
from collections import deque


def read_ppm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    assert fields[0] == b"P6" and int(fields[3]) == 255
    w, h = int(fields[1]), int(fields[2])
    pix = data[pos + 1:pos + 1 + 3 * w * h]
    return w, h, [tuple(pix[i:i + 3]) for i in range(0, 3 * w * h, 3)]


def main():
    src, x0, y0, tol, mode, maxfilter, out = sys.argv[1:8]
    x0, y0, tol, maxfilter = int(x0), int(y0), int(tol), maxfilter == "1"
    w, h, px = read_ppm(src)
    seed = px[y0 * w + x0]

    def similar(i):
        return all(abs(a - b) <= tol for a, b in zip(px[i], seed))

    sel = bytearray(w * h)
    if mode == "color":
        for i in range(w * h):
            sel[i] = similar(i)
    else:
        todo = deque([(x0, y0)])
        sel[y0 * w + x0] = 1
        while todo:
            x, y = todo.popleft()
            for nx, ny in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
                if 0 <= nx < w and 0 <= ny < h and not sel[ny * w + nx] and similar(ny * w + nx):
                    sel[ny * w + nx] = 1
                    todo.append((nx, ny))
    if maxfilter:
        grown = bytearray(w * h)
        for y in range(h):
            for x in range(w):
                if sel[y * w + x]:
                    for ny in range(max(y - 1, 0), min(y + 2, h)):
                        for nx in range(max(x - 1, 0), min(x + 2, w)):
                            grown[ny * w + nx] = 1
        sel = grown
    with open(out, "wb") as f:
        f.write(b"P5\n%d %d\n255\n" % (w, h))
        f.write(bytes(255 if v else 0 for v in sel))


if __name__ == "__main__":
    main()
