#!/usr/bin/env python3
"""An independent reader and writer of vector-object files ("IEV" + version character).

  vect_objects.py read FILE          prints the file's contents as JSON
  vect_objects.py write VERSION OUT  writes a sample drawing in that (old) version
  vect_objects.py batch DIR SPEC...  writes DIR/v<code>.iev for each SPEC: a version character,
                                     followed by "g" to put the first three objects in a group

The sample holds a line with arrows, a filled box, a text with a font, a ruler, a closed
polyline, an angle, a memo, a labelled line and a bitmap object whose image is a 3 x 2 picture
(red, green, blue / white, black, grey) with the alpha 0..250 step 50 where the version keeps
alpha in a block of its own.
"""
import json
import struct
import sys
import zlib


def ver_from(v, c):
    return v >= ord(c)


class R:
    def __init__(self, data):
        self.d, self.p = data, 0

    def take(self, n):
        if n < 0 or self.p + n > len(self.d):
            raise ValueError("short data at %d (+%d of %d)" % (self.p, n, len(self.d)))
        b = self.d[self.p:self.p + n]
        self.p += n
        return b

    def u8(self):
        return self.take(1)[0]

    def i32(self):
        return struct.unpack("<i", self.take(4))[0]

    def f64(self):
        return struct.unpack("<d", self.take(8))[0]

    def s(self):
        n = self.i32()
        return self.take(n).decode("latin-1")

    def font(self):
        f = self.u8()
        if f == 0:
            return None
        b = self.take(60)
        return {"height": struct.unpack("<i", b[:4])[0], "face": b[28:60].split(b"\0")[0].decode("latin-1")}


def png_size(r):
    start = r.p
    if r.take(8) != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    w = h = None
    while True:
        n = struct.unpack(">I", r.take(4))[0]
        t = r.take(4)
        body = r.take(n)
        r.take(4)
        if t == b"IHDR":
            w, h = struct.unpack(">II", body[:8])
        if t == b"IEND":
            return w, h, r.p - start


def read_record(r, v, out):
    o = {}
    if ver_from(v, "<"):
        o["handle"] = r.i32()
    o["box"] = [r.i32(), r.i32(), r.i32(), r.i32()]
    kind = o["kind"] = r.u8()
    if ver_from(v, "M"):
        o["lock"] = r.u8()
    if ver_from(v, "="):
        o["shadow"] = [r.u8(), r.f64(), r.i32(), r.i32()]
        if ver_from(v, "O"):
            o["shadow"] += [r.i32(), list(r.take(3))]
    o["name"] = r.s()
    o["tag"] = list(r.take(4))
    o["pen"] = [r.i32(), r.u8(), r.i32()]
    o["brush"] = [r.i32(), r.u8()]
    o["style"] = r.u8()
    if ver_from(v, "="):
        o["transparency"] = r.i32()
    if ver_from(v, "@"):
        o["highlight"] = r.u8()
    if ver_from(v, "Q"):
        o["quality"] = r.u8()
    if ver_from(v, "I"):
        n = r.i32()
        o["userdata"] = r.take(n).hex() if n > 0 else ""
    if kind == 0:
        k = r.i32()
        for _ in range(k):
            read_record(r, v, out)
        return
    if kind == 11 and ver_from(v, "P"):
        o["label"] = [r.i32(), r.u8(), r.u8(), r.u8()]
    if kind in (1, 11):
        o["arrows"] = [r.u8(), r.u8(), r.i32(), r.i32()]
    if kind == 4:
        o["arc"] = [r.f64(), r.f64()]
    if kind == 5:
        o["bitmap"] = r.i32()
        if ver_from(v, "B"):
            o["border"] = r.u8()
        if ver_from(v, "F"):
            o["text"] = r.s()
    if kind in (6, 11, 12):
        if ver_from(v, "4"):
            o["align"] = r.u8()
        if ver_from(v, "9"):
            o["autosize"] = r.u8()
        o["text"] = r.s()
        o["font"] = r.font()
        if ver_from(v, "?"):
            n = r.i32()
            if n > 0:
                o["curve"] = [[r.f64(), r.f64()] for _ in range(n)]
                o["rotation"] = r.i32()
    if kind == 10:
        o["text"] = r.s()
        o["font"] = r.font()
        flag = r.u8() if ver_from(v, "C") else 1
        if flag == 1:
            o["charformats"] = [r.i32() for _ in o["text"]]
        f = r.i32()
        o["formats"] = [r.take(280).hex() for _ in range(f)]
        o["memo"] = [r.u8(), r.u8(), r.i32(), r.i32(), r.u8(), r.u8(), r.i32()]
        if ver_from(v, "I"):
            hb = r.u8()
            o["memobitmap"] = hb
            if hb:
                o["bitmap"] = r.i32()
                if ver_from(v, "B"):
                    o["border"] = r.u8()
        if ver_from(v, "H"):
            o["margins"] = [r.f64() for _ in range(4)]
        if ver_from(v, "L"):
            o["fill"] = r.u8()
    if ver_from(v, "J"):
        o["editoncreate"] = r.u8()
    if kind == 7 and ver_from(v, "5"):
        o["ruler"] = [r.u8(), r.u8()]
        if ver_from(v, "A"):
            o["font"] = r.font()
    if kind == 8 and ver_from(v, "8"):
        n = r.i32()
        o["points"] = [[r.i32(), r.i32()] for _ in range(n)]
        o["base"] = [r.i32() for _ in range(4)]
        if ver_from(v, ";"):
            o["closed"] = r.u8()
    if kind == 9:
        if ver_from(v, ":"):
            o["angle"] = [[r.i32(), r.i32()] for _ in range(3)]
        if ver_from(v, "K"):
            o["font"] = r.font()
    if kind == 12 and ver_from(v, "N"):
        if r.u8() == 1:
            raise ValueError("plug-in object data cannot be skipped")
    out.append(o)


def read(path):
    data = open(path, "rb").read()
    r = R(data)
    if r.take(3) != b"IEV":
        raise ValueError("no IEV magic")
    v = r.u8()
    res = {"version": chr(v), "length": r.i32(), "filesize": len(data)}
    res["scale"] = r.i32() if v == ord("1") else r.f64()
    n = r.i32()
    res["entries"] = []
    for _ in range(n):
        count = r.i32()
        e = {"count": count}
        if count > 0:
            if v >= ord("3"):
                e["width"], e["height"], e["bytes"] = png_size(r)
            else:
                hdr = r.take(26)
                size = struct.unpack("<I", hdr[2:6])[0]
                e["width"], e["height"] = struct.unpack("<ii", hdr[18:26])
                r.take(size - 26)
            if ord("7") <= v <= ord("<"):
                r.take(r.i32())
        res["entries"].append(e)
    z = zlib.decompressobj()
    block = z.decompress(data[r.p:])
    if not z.eof:
        raise ValueError("object block does not end")
    res["end"] = len(data) - len(z.unused_data)
    rr = R(block)
    m = rr.i32()
    objs = []
    for _ in range(m):
        read_record(rr, v, objs)
    if rr.p != len(block):
        raise ValueError("%d bytes left in the object block" % (len(block) - rr.p))
    res["objects"] = objs
    return res


# ---------------------------------------------------------------- writer
class W:
    def __init__(self):
        self.b = bytearray()

    def u8(self, x):
        self.b += bytes([x])

    def i32(self, x):
        self.b += struct.pack("<i", x)

    def f64(self, x):
        self.b += struct.pack("<d", x)

    def s(self, t):
        t = t.encode("latin-1")
        self.i32(len(t))
        self.b += t

    def font(self, height, face):
        self.u8(1)
        lf = bytearray(60)
        lf[0:4] = struct.pack("<i", height)
        lf[16:20] = struct.pack("<i", 700)
        f = face.encode()
        lf[28:28 + len(f)] = f
        self.b += lf


PIXELS = [[(255, 0, 0), (0, 255, 0), (0, 0, 255)], [(255, 255, 255), (0, 0, 0), (128, 128, 128)]]
ALPHA = [[0, 50, 100], [150, 200, 250]]


def png_bytes():
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in PIXELS)

    def chunk(t, d):
        return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 3, 2, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def bmp_bytes():
    rows = b""
    for row in reversed(PIXELS):
        line = b"".join(bytes((b, g, r)) for (r, g, b) in row)
        rows += line + b"\0" * ((4 - len(line) % 4) % 4)
    info = struct.pack("<IiiHHIIiiII", 40, 3, 2, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(rows), 0, 0, 54) + info + rows


def write_record(w, v, kind, box, name, **k):
    if ver_from(v, "<"):
        w.i32(99)
    for x in box:
        w.i32(x)
    w.u8(kind)
    if ver_from(v, "M"):
        w.u8(1)
    if ver_from(v, "="):
        w.u8(1), w.f64(4.5), w.i32(3), w.i32(5)
        if ver_from(v, "O"):
            w.i32(70), w.u8(1), w.u8(2), w.u8(3)
    w.s(name)
    w.b += b"TAG!"
    w.i32(k.get("pen", 0x0000FF)), w.u8(0), w.i32(k.get("width", 2))
    w.i32(k.get("brush", 0x00FF00)), w.u8(k.get("brushstyle", 0)), w.u8(15)
    if ver_from(v, "="):
        w.i32(200)
    if ver_from(v, "@"):
        w.u8(0)
    if ver_from(v, "Q"):
        w.u8(2)
    if ver_from(v, "I"):
        ud = k.get("userdata", b"")
        w.i32(len(ud))
        w.b += ud
    if kind == 0:
        members = k["members"]
        w.i32(len(members))
        for m in members:
            write_record(w, v, **m)
        return
    if kind == 11 and ver_from(v, "P"):
        w.i32(0xABCDEF), w.u8(0), w.u8(1), w.u8(2)
    if kind in (1, 11):
        w.u8(1), w.u8(2), w.i32(12), w.i32(24)
    if kind == 5:
        w.i32(0)
        if ver_from(v, "B"):
            w.u8(1)
        if ver_from(v, "F"):
            w.s("")
    if kind in (6, 11):
        if ver_from(v, "4"):
            w.u8(2)
        if ver_from(v, "9"):
            w.u8(0)
        w.s(k.get("text", "Hello"))
        w.font(-20, "DejaVu Sans")
        if ver_from(v, "?"):
            w.i32(0)
    if kind == 10:
        text = "Memo text"
        w.s(text)
        w.font(-14, "DejaVu Serif")
        if ver_from(v, "C"):
            w.u8(1)
        for i in range(len(text)):
            w.i32(i % 2)
        w.i32(2)
        for c in (0x0000FF, 0xFF0000):
            f = bytearray(280)
            f[0:4] = struct.pack("<i", 1)
            f[4] = 5
            f[5:10] = b"Arial"
            f[260:264] = struct.pack("<i", -14)
            f[268:272] = struct.pack("<i", c)
            w.b += f
        w.u8(0), w.u8(0), w.i32(3), w.i32(0x00FFFF), w.u8(0), w.u8(1), w.i32(0)
        if ver_from(v, "I"):
            w.u8(0)
        if ver_from(v, "H"):
            for m in (1.0, 2.0, 3.0, 4.0):
                w.f64(m)
        if ver_from(v, "L"):
            w.u8(0)
    if ver_from(v, "J"):
        w.u8(0)
    if kind == 7 and ver_from(v, "5"):
        w.u8(4), w.u8(1)
        if ver_from(v, "A"):
            w.font(-16, "DejaVu Sans")
    if kind == 8 and ver_from(v, "8"):
        pts = [(0, 0), (40, 0), (20, 30)]
        w.i32(len(pts))
        for x, y in pts:
            w.i32(x), w.i32(y)
        for x in (0, 0, 40, 30):
            w.i32(x)
        if ver_from(v, ";"):
            w.u8(1)
    if kind == 9:
        if ver_from(v, ":"):
            for x in (150, 20, 120, 60, 170, 70):
                w.i32(x)
        if ver_from(v, "K"):
            w.font(-18, "DejaVu Sans")


def sample(v):
    objs = [
        dict(kind=1, box=[10, 10, 90, 40], name="line"),
        dict(kind=2, box=[100, 10, 60, 50], name="box", brushstyle=0),
        dict(kind=6, box=[10, 60, 110, 90], name="text", text="Hi there"),
        dict(kind=7, box=[10, 100, 150, 100], name="ruler"),
        dict(kind=8, box=[120, 60, 160, 90], name="poly"),
        dict(kind=9, box=[0, 0, 0, 0], name="angle"),
        dict(kind=10, box=[10, 120, 110, 170], name="memo"),
        dict(kind=11, box=[150, 120, 190, 160], name="label", text="L1"),
        dict(kind=5, box=[170, 10, 199, 29], name="bitmap", userdata=b"\x01\x02\x03"),
    ]
    return objs


def write(v, out, group=False):
    w = W()
    w.b += b"IEV" + bytes([v])
    w.i32(0)
    if v == ord("1"):
        w.i32(3)
    else:
        w.f64(2.5)
    w.i32(1)
    w.i32(1)
    if v >= ord("3"):
        w.b += png_bytes()
    else:
        w.b += bmp_bytes()
    if ord("7") <= v <= ord("<"):
        alpha = b"".join(bytes(row) + b"\0" for row in reversed(ALPHA))
        z = zlib.compress(alpha)
        w.i32(len(z))
        w.b += z
    objs = sample(v)
    if group:
        objs = [dict(kind=0, box=[0, 0, 0, 0], name="group", members=objs[:3])] + objs[3:]
    body = W()
    body.i32(len(objs))
    for o in objs:
        write_record(body, v, **o)
    w.b += zlib.compress(bytes(body.b))
    w.b[4:8] = struct.pack("<i", len(w.b))
    open(out, "wb").write(w.b)


if __name__ == "__main__":
    if sys.argv[1] == "read":
        print(json.dumps(read(sys.argv[2]), indent=1))
    elif sys.argv[1] == "batch":
        for choice in sys.argv[3:]:
            write(ord(choice[0]), "%s/v%d.iev" % (sys.argv[2], ord(choice[0])), group=choice[1:] == "g")
    elif sys.argv[1] == "write":
        write(ord(sys.argv[2]), sys.argv[3], group=len(sys.argv) > 4 and sys.argv[4] == "group")
