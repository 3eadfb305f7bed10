#!/usr/bin/env python3
"""Writes small camera raw files laid out as the raw containers store them, for the reader's tests.

make_camera_raw.py KIND OUT [ARG...]

  dc20 SIZE V           SIZE bytes of V: a Kodak DC20 known by its size alone (62464 or 124928)
  olympus W H R G B [software=TEXT] [thumb=JPEG]
                        little-endian TIFF: a 4 x 3 RGB image (with the JPEG given as its
                        thumbnail), then an "OLYMPUS" "E-1"
                        directory of W x H 16-bit samples, each colour cell (G R / B G) the
                        value given, stored shifted left by 2
  nikon MODEL W H R G B BR BB
                        big-endian TIFF of a NIKON MODEL (e.g. "D70") with a sub-directory of
                        W x H 12-bit samples packed most significant bit first (B G / G R for
                        the D70), and a Nikon maker note whose tag 151 holds the camera balance
                        as two ratios BR = a / b, BB = c / d (written as a, b, c, d)
  leafname N            TIFF with the Leaf tag (324) and a model of N "M" characters, no zero
  tiffloop              TIFF whose directory links to itself
  ciff LOOP JPEG...     Canon CIFF heap: make and model in a sub-heap, sensor size 64 x 32,
                        white-balance index, two maker-note records and each JPEG file given as
                        a preview record; LOOP 1 adds a sub-heap that holds itself
  rollei W H EOHD       Rollei "DSC-Image" header lines (X, Y, HDR); EOHD 0 leaves out the end line
  foveon W H            "FOVb" file with a CAMF directory naming "SIGMA" "SD9"
  phaseone W H          "MMMMRawT" header with the sensor size
  nucore W H            "BR" header with the sensor size
  fuji                  "FUJIFILM" header over a TIFF naming "FUJIFILM" "FinePix S5000"
  sinar                 12582980 bytes beginning "8BPS", height 6 and width 8 at 14
"""
import struct
import sys


def tiff(order, ifds, tail=b""):
    """ifds: list of entry lists [(tag, type, count, value-bytes-or-int)]. Values longer than 4
    bytes go after the directories. Answers the file bytes and a map tag -> data offset."""
    e = "<" if order == "II" else ">"
    sizes = {1: 1, 2: 1, 3: 2, 4: 4, 7: 1}
    out = bytearray(order.encode() + struct.pack(e + "HI", 42, 8))
    # Directory positions first, data after all of them.
    pos = 8
    dir_pos = []
    for entries in ifds:
        dir_pos.append(pos)
        pos += 2 + 12 * len(entries) + 4
    data = bytearray()
    data_base = pos
    offsets = {}
    for i, entries in enumerate(ifds):
        out += struct.pack(e + "H", len(entries))
        for tag, typ, count, value in entries:
            if isinstance(value, int):
                raw = struct.pack(e + ("H" if typ == 3 else "I"), value)
                raw = raw.ljust(4, b"\0")
            else:
                raw = value
            if len(raw) <= 4:
                field = raw.ljust(4, b"\0")
            else:
                offsets[(i, tag)] = data_base + len(data)
                field = struct.pack(e + "I", data_base + len(data))
                data += raw
                if len(data) % 2:
                    data += b"\0"
            out += struct.pack(e + "HHI", tag, typ, count) + field
        out += struct.pack(e + "I", dir_pos[i + 1] if i + 1 < len(ifds) else 0)
    out += data
    return out, offsets


def text(s):
    return s.encode() + b"\0"


def olympus(w, h, r, g, b, options):
    thumb = bytes([200, 40, 40] * 12)
    jpeg = open(options["thumb"], "rb").read() if "thumb" in options else b""
    software = options.get("software")
    colour = {0: r, 1: g, 2: b}
    rows = bytearray()
    for y in range(h):
        for x in range(w):
            c = (0x61616161 >> ((((y << 1) & 14) + (x & 1)) << 1)) & 3
            rows += struct.pack("<H", colour[c] << 2)
    make, model = text("OLYMPUS OPTICAL CO.,LTD"), text("E-1")
    ifd0 = [(256, 3, 1, 4), (257, 3, 1, 3), (258, 3, 3, struct.pack("<HHH", 8, 8, 8)), (259, 3, 1, 1),
            (262, 3, 1, 2), (271, 2, len(make), make), (272, 2, len(model), model), (273, 4, 1, 0),
            (277, 3, 1, 3), (278, 3, 1, 3), (279, 4, 1, 36)]
    if software:
        ifd0.append((305, 2, len(text(software)), text(software)))
    if jpeg:
        ifd0 += [(513, 4, 1, 0), (514, 4, 1, len(jpeg))]
    ifd1 = [(256, 4, 1, w), (257, 4, 1, h), (273, 4, 2, b"\0" * 8)]
    head, offs = tiff("II", [ifd0, ifd1])
    thumb_at = len(head)
    jpeg_at = thumb_at + len(thumb)
    data_at = jpeg_at + len(jpeg)
    if jpeg:
        patch_entry(head, 0, 513, jpeg_at, "II")
    # The thumbnail's strip, and the strip array of the raw directory, pointing at the data.
    patch_entry(head, 0, 273, thumb_at, "II")
    arr = offs[(1, 273)]
    head[arr:arr + 8] = struct.pack("<II", data_at, data_at)
    return bytes(head) + thumb + jpeg + bytes(rows)


def entry_pos(data, index, tag, order):
    e = "<" if order == "II" else ">"
    pos = struct.unpack(e + "I", data[4:8])[0]
    for _ in range(index):
        n = struct.unpack(e + "H", data[pos:pos + 2])[0]
        pos = struct.unpack(e + "I", data[pos + 2 + 12 * n:pos + 6 + 12 * n])[0]
    n = struct.unpack(e + "H", data[pos:pos + 2])[0]
    for i in range(n):
        at = pos + 2 + 12 * i
        if struct.unpack(e + "H", data[at:at + 2])[0] == tag:
            return at
    raise KeyError(tag)


def offs_pos(data, index, tag, order):
    return entry_pos(data, index, tag, order) + 8


def patch_entry(data, index, tag, value, order):
    e = "<" if order == "II" else ">"
    at = offs_pos(data, index, tag, order)
    data[at:at + 4] = struct.pack(e + "I", value)


def pack12(values):
    bits, n, out = 0, 0, bytearray()
    for v in values:
        bits = (bits << 12) | (v & 0xFFF)
        n += 12
        while n >= 8:
            n -= 8
            out.append((bits >> n) & 0xFF)
    if n:
        out.append((bits << (8 - n)) & 0xFF)
    return out


def nikon(model, w, h, r, g, b, wb):
    filters = 0x16161616
    colour = {0: r, 1: g, 2: b}
    values = []
    for y in range(h):
        for x in range(w):
            values.append(colour[(filters >> ((((y << 1) & 14) + (x & 1)) << 1)) & 3])
    samples = pack12(values) + b"\0" * 8
    note_tiff, _ = tiff("MM", [[(151, 7, 32, b"\0" * 32)]])
    note_data_at = entry_pos(note_tiff, 0, 151, "MM")
    note = bytearray(b"Nikon\0\x02\x10\0\0" + note_tiff)
    # Tag 151's offset counts from the note's TIFF header; the balance sits 20 bytes in.
    off = struct.unpack(">I", note_tiff[note_data_at + 8:note_data_at + 12])[0]
    a, bb, c, d = wb
    note[10 + off + 20:10 + off + 28] = struct.pack(">HHHH", a, bb, c, d)
    make, name = text("NIKON CORPORATION"), text("NIKON " + model)
    sub = [(256, 4, 1, w), (257, 4, 1, h), (259, 3, 1, 1), (273, 4, 1, 0)]
    exif = [(37500, 7, len(note), bytes(note))]
    ifd0 = [(271, 2, len(make), make), (272, 2, len(name), name), (330, 4, 1, 0), (34665, 4, 1, 0)]
    data, offs = tiff("MM", [ifd0, sub, exif])
    # The sub-directory and the EXIF directory are reached through IFD0's pointers, not the chain.
    first = struct.unpack(">I", data[4:8])[0]
    n0 = struct.unpack(">H", data[first:first + 2])[0]
    sub_at = first + 2 + 12 * n0 + 4
    n1 = len(sub)
    exif_at = sub_at + 2 + 12 * n1 + 4
    data[first + 2 + 12 * n0:first + 2 + 12 * n0 + 4] = b"\0\0\0\0"
    data[sub_at + 2 + 12 * n1:sub_at + 2 + 12 * n1 + 4] = b"\0\0\0\0"
    patch_entry(data, 0, 330, sub_at, "MM")
    patch_entry(data, 0, 34665, exif_at, "MM")
    # The sub-directory's strip: the samples after everything else.
    for i in range(n1):
        at = sub_at + 2 + 12 * i
        if struct.unpack(">H", data[at:at + 2])[0] == 273:
            data[at + 8:at + 12] = struct.pack(">I", len(data))
    return bytes(data) + bytes(samples)


def leafname(n):
    model = b"M" * n
    ifd = [(256, 3, 1, 8), (257, 3, 1, 6), (272, 2, len(model), model), (324, 4, 1, 0)]
    data, _ = tiff("II", [ifd])
    patch_entry(data, 0, 324, len(data), "II")
    return bytes(data) + bytes(8 * 6 * 2)


def tiffloop():
    make = text("OLYMPUS")
    data, _ = tiff("II", [[(256, 3, 1, 8), (257, 3, 1, 6), (271, 2, len(make), make)]])
    first = struct.unpack("<I", data[4:8])[0]
    n = struct.unpack("<H", data[first:first + 2])[0]
    data[first + 2 + 12 * n:first + 6 + 12 * n] = struct.pack("<I", first)
    return bytes(data)


def ciff(loop, jpegs):
    def heap(records, base):
        """records: (type, payload bytes or ('heap', bytes) or ('inline', 8 bytes)). Answers the
        heap's bytes, laid out from offset base (offsets in records count from the heap)."""
        body = bytearray()
        table = []
        for typ, payload in records:
            if isinstance(payload, tuple) and payload[0] == "inline":
                table.append(struct.pack("<H", typ | 0x4000) + payload[1])
                continue
            if isinstance(payload, tuple) and payload[0] == "self":
                table.append(struct.pack("<HII", typ, 0, 0))  # patched below
                continue
            at = len(body)
            body += payload
            while len(body) % 2:
                body += b"\0"
            table.append(struct.pack("<HII", typ, len(payload), at))
        dir_at = len(body)
        out = body + struct.pack("<H", len(table)) + b"".join(table)
        out += struct.pack("<I", dir_at)
        # A self record names the whole heap it lies in.
        for i, (typ, payload) in enumerate(records):
            if isinstance(payload, tuple) and payload[0] == "self":
                at = dir_at + 2 + 10 * i
                out[at:at + 10] = struct.pack("<HII", typ, len(out), 0)
        return out

    names = b"Canon\0Canon PowerShot G2\0"
    inner = [(0x080A, names), (0x102A, bytes(14) + struct.pack("<H", 3) + bytes(16)),
             (0x102D, struct.pack("<4H", 1, 2, 3, 4))]
    sub = heap(inner, 0)
    root = [(0x300A, sub), (0x1031, struct.pack("<5H", 0, 64, 32, 0, 0)),
            (0x1810, struct.pack("<IIII", 64, 32, 0, 0))]
    for i, j in enumerate(jpegs):
        root.append((0x2007 if i % 2 == 0 else 0x2008, j))
    if loop:
        root.append((0x300B, ("self",)))
    body = heap(root, 26)
    return b"II" + struct.pack("<I", 26) + b"HEAPCCDR" + bytes(12) + bytes(body)


def rollei(w, h, eohd):
    lines = [b"DSC-Image", b"X  =%d" % w, b"Y  =%d" % h, b"HDR=%d" % 0, b"TX =0", b"TY =0"]
    header_lines = len(lines) + (1 if eohd else 0)
    lines[3] = b"HDR=%d" % (128 * header_lines)
    if eohd:
        lines.append(b"EOHD")
    out = b"".join(l.ljust(128, b"\0") for l in lines)
    return out + bytes(w * h * 10 // 8)


def foveon(w, h):
    out = bytearray(b"FOVb" + bytes(244))
    out += struct.pack("<II", w, h)
    out += bytes(64)
    camf = len(out)
    # o points at a block whose word at o + 8 is n; the texts start at o + 8n + 24.
    out += struct.pack("<III", 0, 0, 1)
    out += bytes(8 * 1 + 24 - 12)
    texts = b"".join(s.encode() + b"\0" for s in ("CAMMANUF", "SIGMA", "CAMMODEL", "SD9", "TIME", "1100000000"))
    out += b"".join(bytes([c, 0]) for c in texts)
    directory = len(out)
    out += b"SECd" + struct.pack("<I", 0x464D4143) + struct.pack("<I", camf)
    out += struct.pack("<I", directory)
    return bytes(out)


def phaseone(w, h):
    out = bytearray(b"MMMMRawT" + bytes(8))
    # At 8: a skip of 0 then 136 bytes, the width, 12 bytes, the height.
    out[8:12] = struct.pack(">I", 0)
    out += bytes(136 - 4)
    out += struct.pack(">I", w) + bytes(12) + struct.pack(">I", h)
    return bytes(out) + bytes(64)


def nucore(w, h):
    out = bytearray(b"BR" + bytes(8))
    out += struct.pack("<I", 64) + bytes(4) + struct.pack("<II", w, h)
    return bytes(out.ljust(64, b"\0")) + bytes(w * h * 2)


def fuji():
    make, model = text("FUJIFILM"), text("FinePix S5000")
    t, _ = tiff("MM", [[(271, 2, len(make), make), (272, 2, len(model), model)]])
    out = bytearray(b"FUJIFILMCCD-RAW ".ljust(112, b"\0"))
    out[84:88] = struct.pack(">I", len(out) - 12)
    out[100:104] = struct.pack(">I", len(out) + len(t))
    return bytes(out) + bytes(t) + bytes(64)


def sinar():
    out = bytearray(12582980)
    out[0:4] = b"8BPS"
    out[14:22] = struct.pack(">II", 6, 8)
    return bytes(out)


def main():
    kind, path, args = sys.argv[1], sys.argv[2], sys.argv[3:]
    if kind == "dc20":
        data = bytes([int(args[1])]) * int(args[0])
    elif kind == "olympus":
        data = olympus(*map(int, args[:5]), dict(a.split("=", 1) for a in args[5:]))
    elif kind == "nikon":
        v = list(map(int, args[1:]))
        data = nikon(args[0], v[0], v[1], v[2], v[3], v[4], v[5:9])
    elif kind == "leafname":
        data = leafname(int(args[0]))
    elif kind == "tiffloop":
        data = tiffloop()
    elif kind == "ciff":
        data = ciff(int(args[0]), [open(p, "rb").read() for p in args[1:]])
    elif kind == "rollei":
        data = rollei(*map(int, args))
    elif kind == "foveon":
        data = foveon(*map(int, args))
    elif kind == "phaseone":
        data = phaseone(*map(int, args))
    elif kind == "nucore":
        data = nucore(*map(int, args))
    elif kind == "fuji":
        data = fuji()
    elif kind == "sinar":
        data = sinar()
    else:
        sys.exit("unknown kind " + kind)
    with open(path, "wb") as f:
        f.write(data)


main()
