#!/usr/bin/env python3
"""Writes header-less pixel data in a chosen layout, for the raw pixel loader's tests.

make_raw.py OUT WIDTH HEIGHT CHANNELS SAMPLE_BITS ALIGN_BITS PLANAR ORDER HEADER

Sample c of pixel (x, y) is (x*37 + y*101 + c*59) mod 256 for 8-bit samples, (x*4099 + y*257 +
c*12345) mod 65536 for 16-bit ones (little-endian), and for 1-bit samples (x + 2*y) mod 3 == 0;
32-bit samples are floats (x + y) / 64. ORDER "rgb" stores the channels as numbered, "bgr"
stores channels 0 and 2 exchanged. Rows are padded with 0xEE bytes to ALIGN_BITS; HEADER bytes
of 0xAB come first. PLANAR 1 writes one plane per channel, each with its own padded rows.
"""
import struct
import sys

out, w, h, ch, bits, align, planar, order, header = sys.argv[1:]
w, h, ch, bits, align, planar, header = map(int, (w, h, ch, bits, align, planar, header))


def sample(x, y, c):
    if bits == 1:
        return 1 if (x + 2 * y) % 3 == 0 else 0
    if bits == 8:
        return (x * 37 + y * 101 + c * 59) % 256
    if bits == 16:
        return (x * 4099 + y * 257 + c * 12345) % 65536
    return (x + y) / 64.0


def stored(c):
    return {0: 2, 2: 0}.get(c, c) if order == "bgr" and ch >= 3 else c


def pack(values):
    if bits == 1:
        data = bytearray((len(values) + 7) // 8)
        for i, v in enumerate(values):
            if v:
                data[i // 8] |= 0x80 >> (i % 8)
        return bytes(data)
    if bits == 8:
        return bytes(values)
    if bits == 16:
        return struct.pack("<%dH" % len(values), *values)
    return struct.pack("<%df" % len(values), *values)


def row(values, samples):
    data = pack(values)
    length = (samples * bits + align - 1) // align * (align // 8)
    return data + b"\xee" * (length - len(data))


body = bytearray(b"\xab" * header)
if planar:
    for c in range(ch):
        for y in range(h):
            body += row([sample(x, y, stored(c)) for x in range(w)], w)
else:
    for y in range(h):
        body += row([sample(x, y, stored(c)) for x in range(w) for c in range(ch)], w * ch)
open(out, "wb").write(body)
