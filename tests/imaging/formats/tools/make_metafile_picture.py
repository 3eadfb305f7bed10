#!/usr/bin/env python3
"""Writes small Windows metafiles that draw known shapes, whole or damaged, for the metafile
player's tests.

make_metafile_picture.py OUT KIND. The pictures are 96 x 48 pixels at 96 pixels per inch:
EMFs on a reference device of 96 pixels per inch, so a record's unit is one pixel at that
size; placeable WMFs in units of a tenth of a pixel (960 a inch).

Kinds:
  emf-shapes   a red rectangle (10,10)-(30,20) with a red edge, a blue triangle (22,46) (38,28) (22,28), a green ellipse (40,5)-(60,25),
               a black line along y = 40, a 2 x 2 bitmap stretched to (70,2)-(90,22), a navy
               fill clipped to (0,30)-(20,48) inside SaveDC/RestoreDC, an orange square
               (30,44)-(34,47) after it, the text "Hi" at (62,26)
  emf-mapped   anisotropic window 1000 x 500 on the viewport 96 x 48: a red rectangle
               (0,0)-(500,250); then a world transform moving by (50,0): a blue rectangle
               (0,30)-(10,40) in page units
  emf-key      a rectangle (10,10)-(30,20) in red 3, green 2, blue 1
  emf-1000     frame of 1000 x 500 pixels, a red rectangle over its left half
  emf-16000    frame of 16000 x 8000 pixels, nothing drawn
  emf-zero     frame of 0 x 500 pixels
  emf-busy     frame of 1000 x 1000 pixels, a green brush and 600 ellipses each over the whole frame
  wmf-shapes   the red rectangle, the blue triangle, the bitmap and the text of emf-shapes
  wmf-plain    wmf-shapes without the placeable header (the window gives the size)
  emf-cut, emf-badobject, emf-badcount, emf-deepsave, emf-bigdib, emf-badblock,
  wmf-badobject, wmf-badcount, wmf-full, wmf-noeof   damaged files
"""
import struct
import sys

out, kind = sys.argv[1:]


def rgb(r, g, b):
    return r | g << 8 | b << 16


# ---------------------------------------------------------------- EMF

def rec(rtype, body=b""):
    return struct.pack("<II", rtype, 8 + len(body)) + body


def emf(records, frame_px=(96, 48), handles=10):
    body = b"".join(records) + rec(14, struct.pack("<III", 0, 16, 20))
    fw, fh = (round(v * 2540 / 96) for v in frame_px)
    header = struct.pack("<4i", 0, 0, frame_px[0] - 1, frame_px[1] - 1)
    header += struct.pack("<4i", 0, 0, fw, fh)
    header += struct.pack("<IIIIHH", 0x464D4520, 0x10000, 0, len(records) + 2, handles, 0)
    header += struct.pack("<III", 0, 0, 0)
    header += struct.pack("<2i2i", 960, 960, 254, 254)  # 96 pixels per inch
    header += struct.pack("<III", 0, 0, 0)
    header += struct.pack("<2I", 254000, 254000)
    head = rec(1, header)
    data = bytearray(head + body)
    struct.pack_into("<I", data, 48, len(data))  # nBytes
    return bytes(data)


def e_brush(index, colour, style=0):
    return rec(39, struct.pack("<IIII", index, style, colour, 0))


def e_pen(index, colour, style=0, width=0):
    return rec(38, struct.pack("<IIiiI", index, style, width, 0, colour))


def e_select(index):
    return rec(37, struct.pack("<I", index))


def e_rect(l, t, r, b):
    return rec(43, struct.pack("<4i", l, t, r, b))


def e_ellipse(l, t, r, b):
    return rec(42, struct.pack("<4i", l, t, r, b))


def e_polygon(points, count=None):
    count = len(points) if count is None else count
    return rec(3, struct.pack("<4iI", 0, 0, 0, 0, count) + b"".join(struct.pack("<ii", *p) for p in points))


def e_moveto(x, y):
    return rec(27, struct.pack("<ii", x, y))


def e_lineto(x, y):
    return rec(54, struct.pack("<ii", x, y))


def dib_2x2():
    info = struct.pack("<IiiHHIIiiII", 40, 2, 2, 1, 24, 0, 16, 0, 0, 0, 0)
    # Bottom-up rows: magenta, black; then yellow, cyan.
    bits = bytes([255, 0, 255, 0, 0, 0, 0, 0]) + bytes([0, 255, 255, 255, 255, 0, 0, 0])
    return info, bits


def e_stretchdib(x, y, w, h, info, bits, usage=0, src=(0, 0, 2, 2), claimed_bits=None):
    fixed = 80
    body = struct.pack("<4i", 0, 0, 0, 0)
    body += struct.pack("<6i", x, y, *src)
    bits_size = len(bits) if claimed_bits is None else claimed_bits
    body += struct.pack("<IIIIII", fixed, len(info), fixed + len(info), bits_size, usage, 0x00CC0020)
    body += struct.pack("<ii", w, h)
    return rec(81, body + info + bits)


def e_text(x, y, text):
    chars = text.encode("utf-16-le")
    pad = b"\0" * ((4 - len(chars) % 4) % 4)
    off = 8 + 16 + 12 + 40
    body = struct.pack("<4iIff", 0, 0, 0, 0, 1, 1.0, 1.0)
    body += struct.pack("<iiIII4iI", x, y, len(text), off, 0, 0, 0, -1, -1, 0)
    return rec(84, body + chars + pad)


def e_font(index, height):
    face = "DejaVu Sans".encode("utf-16-le").ljust(64, b"\0")
    lf = struct.pack("<5i8B", height, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0) + face
    return rec(82, struct.pack("<I", index) + lf)


def emf_shapes():
    info, bits = dib_2x2()
    return [
        rec(18, struct.pack("<I", 1)),  # transparent text background
        e_pen(1, 0, style=5), e_pen(8, rgb(255, 0, 0)), e_select(8),
        e_brush(2, rgb(255, 0, 0)), e_select(2), e_rect(10, 10, 30, 20), e_select(1),
        e_brush(3, rgb(0, 0, 255)), e_select(3), e_polygon([(22, 46), (38, 28), (22, 28)]),
        e_brush(4, rgb(0, 255, 0)), e_select(4), e_ellipse(40, 5, 60, 25),
        e_pen(5, 0), e_select(5), e_moveto(0, 40), e_lineto(90, 40),
        e_stretchdib(70, 2, 20, 20, info, bits),
        e_select(1), rec(33),
        rec(30, struct.pack("<4i", 0, 30, 20, 48)),
        e_brush(6, rgb(0, 0, 128)), e_select(6), e_rect(0, 22, 40, 48),
        rec(34, struct.pack("<i", -1)),
        e_brush(7, rgb(255, 128, 0)), e_select(7), e_rect(30, 44, 34, 47),
        e_font(2, -14), e_select(2), rec(24, struct.pack("<I", 0)), e_text(62, 26, "Hi"),
    ]


def emf_mapped():
    world = struct.pack("<6f", 1, 0, 0, 1, 50, 0)
    return [
        rec(17, struct.pack("<I", 8)),             # MM_ANISOTROPIC
        rec(9, struct.pack("<ii", 1000, 500)),     # window extent
        rec(11, struct.pack("<ii", 96, 48)),       # viewport extent
        e_pen(1, rgb(255, 0, 0)), e_select(1),
        e_brush(2, rgb(255, 0, 0)), e_select(2), e_rect(0, 0, 500, 250),
        rec(17, struct.pack("<I", 1)),             # MM_TEXT
        rec(35, world),
        e_pen(4, rgb(0, 0, 255)), e_select(4),
        e_brush(3, rgb(0, 0, 255)), e_select(3), e_rect(0, 30, 10, 40),
    ]


# ---------------------------------------------------------------- WMF

def wrec(function, *words, raw=b""):
    body = struct.pack("<%dh" % len(words), *words) + raw
    if len(body) % 2:
        body += b"\0"
    return struct.pack("<IH", 3 + len(body) // 2, function) + body


def w_colour(c):
    return (c & 0xFFFF, c >> 16)


def signed(v):
    return v - 0x10000 if v >= 0x8000 else v


def wmf(records, placeable=True, objects=8, eof=True):
    body = b"".join(records) + (wrec(0) if eof else b"")
    largest, at = 3, 0
    while at < len(body):
        words = struct.unpack_from("<I", body, at)[0]
        largest = max(largest, words)
        at += 2 * words
    head = struct.pack("<HHHIHIH", 1, 9, 0x300, (18 + len(body)) // 2, objects, largest, 0)
    data = head + body
    if not placeable:
        return data
    ph = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 960, 480, 960, 0)
    checksum = 0
    for (w,) in struct.iter_unpack("<H", ph):
        checksum ^= w
    return ph + struct.pack("<H", checksum) + data


def w_brush(colour):
    return wrec(0x02FC, 0, *map(signed, w_colour(colour)), 0)


def w_pen(style, colour):
    return wrec(0x02FA, style, 0, 0, *map(signed, w_colour(colour)))


def w_polygon(points, count=None):
    count = len(points) if count is None else count
    return wrec(0x0324, count, *[v for p in points for v in p])


def wmf_shapes():
    info, bits = dib_2x2()
    text = b"Hi"
    font = struct.pack("<5h8B", -140, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0) + b"DejaVu Sans".ljust(32, b"\0")
    return [
        wrec(0x020B, 0, 0), wrec(0x020C, 480, 960),
        wrec(0x0102, 1),                      # transparent background
        w_pen(5, 0), wrec(0x012D, 0),         # object 0: null pen
        # White over the whole box first, so that players which size a picture by what it draws
        # (libwmf) see the same box.
        w_brush(rgb(255, 255, 255)), wrec(0x012D, 1), wrec(0x041B, 480, 960, 0, 0), wrec(0x01F0, 1),
        w_pen(0, rgb(255, 0, 0)), wrec(0x012D, 1),  # object 1: a red pen for the rectangle's edge
        w_brush(rgb(255, 0, 0)), wrec(0x012D, 2), wrec(0x041B, 200, 300, 100, 100),
        wrec(0x012D, 0), wrec(0x01F0, 1),           # the null pen again; object 1 freed
        w_brush(rgb(0, 0, 255)), wrec(0x012D, 1),
        w_pen(0, rgb(0, 0, 255)), wrec(0x012D, 3), w_polygon([(220, 460), (380, 280), (220, 280)]),
        wrec(0x012D, 0), wrec(0x01F0, 3),
        wrec(0x02FB, raw=font), wrec(0x012D, 3),
        wrec(0x0521, len(text), raw=text + struct.pack("<hh", 260, 620)),
        wrec(0x0F43, *map(signed, w_colour(0x00CC0020)), 0, 2, 2, 0, 0, 200, 200, 20, 700, raw=info + bits),
    ]


def deep_saves():
    return [rec(33)] * 2000


data = {
    "emf-shapes": lambda: emf(emf_shapes()),
    "emf-mapped": lambda: emf(emf_mapped()),
    "emf-key": lambda: emf([e_pen(1, 0, style=5), e_select(1), e_brush(2, rgb(3, 2, 1)), e_select(2),
                            e_rect(10, 10, 30, 20)]),
    "emf-1000": lambda: emf([e_brush(1, rgb(255, 0, 0)), e_select(1), e_rect(0, 0, 500, 500)], (1000, 500)),
    "emf-16000": lambda: emf([], (16000, 8000)),
    "emf-zero": lambda: emf([], (0, 500)),
    "emf-busy": lambda: emf([e_brush(1, rgb(0, 255, 0)), e_select(1)] + [e_ellipse(0, 0, 1000, 1000)] * 600,
                            (1000, 1000)),
    "wmf-shapes": lambda: wmf(wmf_shapes()),
    "wmf-plain": lambda: wmf(wmf_shapes(), placeable=False),
    "emf-cut": lambda: emf(emf_shapes())[:-30],
    "emf-badobject": lambda: emf([e_brush(1, 0), e_select(9)], handles=2),
    "emf-badcount": lambda: emf([e_polygon([(0, 0), (5, 5), (0, 5)], count=0x40000000)]),
    "emf-deepsave": lambda: emf(deep_saves()),
    "emf-bigdib": lambda: emf([e_stretchdib(0, 0, 10, 10, struct.pack("<IiiHHIIiiII", 40, 100000, 100000, 1, 1,
                                                                      0, 0, 0, 0, 0, 0) + bytes(8), bytes(64))]),
    "emf-badblock": lambda: emf([e_stretchdib(0, 0, 10, 10, *dib_2x2(), claimed_bits=1000)]),
    "wmf-badobject": lambda: wmf([w_brush(0), wrec(0x012D, 5)], objects=2),
    "wmf-badcount": lambda: wmf([w_polygon([(0, 0), (50, 50), (0, 50)], count=1000)]),
    "wmf-full": lambda: wmf([w_brush(0), w_brush(0), w_brush(0)], objects=2),
    "wmf-noeof": lambda: wmf(wmf_shapes(), eof=False),
}[kind]()
open(out, "wb").write(data)
