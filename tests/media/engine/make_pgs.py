#!/usr/bin/env python3
"""Writes a small bitmap subtitle stream (Blu-ray PGS, ".sup") to the file named by argv[1].

Two pictures on a 160x120 canvas: a half-transparent red bar from 0.5 s to 1.5 s, and a green
frame with a blue middle from 2.0 s to 3.0 s. The ffmpeg tool cannot make bitmap subtitles from
text, so the segments are written here byte by byte.
"""
import struct
import sys

WIDTH, HEIGHT = 160, 120
CLOCK = 90000


def segment(kind, pts, payload):
    return b"PG" + struct.pack(">IIBH", int(pts * CLOCK), 0, kind, len(payload)) + payload


def composition(number, objects, state):
    body = struct.pack(">HHBHBBBB", WIDTH, HEIGHT, 0x10, number, state, 0, 0, len(objects))
    for obj_id, x, y in objects:
        body += struct.pack(">HBBHH", obj_id, 0, 0, x, y)
    return body


def window(x, y, w, h):
    return struct.pack(">BBHHHH", 1, 0, x, y, w, h)


def palette(entries):
    body = struct.pack(">BB", 0, 0)
    for index, (y, cr, cb, alpha) in entries.items():
        body += struct.pack(">BBBBB", index, y, cr, cb, alpha)
    return body


def rle_line(pixels):
    out = bytearray()
    i = 0
    while i < len(pixels):
        colour = pixels[i]
        run = 1
        while i + run < len(pixels) and pixels[i + run] == colour and run < 16383:
            run += 1
        if colour != 0 and run < 3:
            out += bytes([colour]) * run
        elif colour == 0:
            out += bytes([0, run]) if run < 64 else bytes([0, 0x40 | (run >> 8), run & 0xFF])
        else:
            out += bytes([0, 0x80 | run, colour]) if run < 64 else bytes([0, 0xC0 | (run >> 8), run & 0xFF, colour])
        i += run
    return bytes(out) + b"\x00\x00"


def picture_object(rows):
    w, h = len(rows[0]), len(rows)
    data = b"".join(rle_line(row) for row in rows)
    length = len(data) + 4
    return struct.pack(">HBB", 0, 0, 0xC0) + length.to_bytes(3, "big") + struct.pack(">HH", w, h) + data


def show(number, start, x, y, rows, colours):
    w, h = len(rows[0]), len(rows)
    return (segment(0x16, start, composition(number, [(0, x, y)], 0x80)) +
            segment(0x17, start, window(x, y, w, h)) +
            segment(0x14, start, palette(colours)) +
            segment(0x15, start, picture_object(rows)) +
            segment(0x80, start, b""))


def clear(number, at, x, y, w, h):
    return (segment(0x16, at, composition(number, [], 0x00)) +
            segment(0x17, at, window(x, y, w, h)) +
            segment(0x80, at, b""))


# YCrCb (BT.709, limited range) with alpha.
RED = (63, 240, 102, 160)
GREEN = (173, 26, 42, 255)
BLUE = (32, 118, 240, 255)

bar = [[1] * 120 for _ in range(20)]
frame = [[1 if r < 4 or r >= 36 or c < 4 or c >= 56 else (2 if 16 <= r < 24 and 20 <= c < 40 else 0)
          for c in range(60)] for r in range(40)]

# An empty screen at 0 s first, so that the stream starts with the video.
stream = (clear(0, 0.0, 20, 90, 120, 20) +
          show(1, 0.5, 20, 90, bar, {1: RED}) + clear(2, 1.5, 20, 90, 120, 20) +
          show(3, 2.0, 50, 30, frame, {1: GREEN, 2: BLUE}) + clear(4, 3.0, 50, 30, 60, 40))
with open(sys.argv[1], "wb") as out:
    out.write(stream)
