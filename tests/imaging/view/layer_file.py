#!/usr/bin/env python3
"""Reads and writes layers files ("DORAZAVAVIVUR") and layers-and-objects files on their own,
from the byte layout alone, to check the program's writer and to make files of older versions.

  layer_file.py read FILE [--all]      prints the file's header and layers, one "path=value" a
                                        line (layers.1.PosX=7, layers.0.image.width=6)
  layer_file.py write OUT SPEC.json     writes a layers file of any version from a description:
      {"version": 2, "compression": 8, "layers": [{"png": "a.png", "PosX": 3, ...}, ...]}
    every image is stored as the bytes of the named file (compression is its file type).
"""
import json
import struct
import sys
import zlib

MAGIC = b"DORAZAVAVIVUR"


class Reader:
    def __init__(self, data, pos=0):
        self.d, self.p = data, pos

    def take(self, n):
        if n < 0 or self.p + n > len(self.d):
            raise ValueError("file ends early at %d (wanted %d bytes)" % (self.p, n))
        b = self.d[self.p:self.p + n]
        self.p += n
        return b

    def u8(self):
        return self.take(1)[0]

    def i32(self):
        return struct.unpack("<i", self.take(4))[0]

    def f64(self):
        return struct.unpack("<d", self.take(8))[0]


def record_fields(version):
    """(name, kind) in file order; kind: b bool, u byte, i int32, d double, s string, x user data."""
    f = [("Visible", "b"), ("ShowFrame", "b"), ("Opacity", "i"), ("PosX", "i"), ("PosY", "i"),
         ("ClipToBase", "b"), ("NoResize", "b"), ("Magnifier", "b"), ("MagnifyFactor", "d"),
         ("MagnifierShape", "u")]
    if version > 2:
        f.append(("MagnifierSource", "u"))
    f += [("Operation", "u"), ("WidthOverride", "i"), ("HeightOverride", "i")]
    if version > 2:
        f += [("ResampleFilter", "u"), ("UseResampleFilter", "b"), ("LayerName", "s"),
              ("UserData", "x"), ("MaskLayer", "b")]
    if version > 3:
        f.append(("CanSelect", "b"))
    if version > 5:
        f.append(("DimOutside", "b"))
    return f


def describe_image(block, compression):
    if compression == -1:
        raw = zlib.decompress(block)
        r = Reader(raw)
        sig = r.take(12)
        if sig != b"TIEBITMAPRAW":
            raise ValueError("raw record signature %r" % sig)
        r.i32()
        pal = r.i32()
        r.take(3 * pal)
        w, h = r.i32(), r.i32()
        return {"kind": "raw", "width": w, "height": h, "pixelformat": r.u8(), "bytes": len(raw)}
    if block[:8] == b"\x89PNG\r\n\x1a\n":
        w, h = struct.unpack(">II", block[16:24])
        return {"kind": "png", "width": w, "height": h, "colortype": block[25]}
    return {"kind": "other", "head": block[:4].hex()}


def read_layers(data, start):
    r = Reader(data, start)
    if r.take(13) != MAGIC:
        raise ValueError("no magic")
    out = {"version": r.i32(), "compression": r.i32(), "count": r.i32(), "layers": []}
    for _ in range(out["count"]):
        rec = {}
        for name, kind in record_fields(out["version"]):
            if kind == "b":
                rec[name] = bool(r.u8())
            elif kind == "u":
                rec[name] = r.u8()
            elif kind == "i":
                rec[name] = r.i32()
            elif kind == "d":
                rec[name] = r.f64()
            elif kind == "s":
                rec[name] = r.take(r.i32()).decode("latin-1")
            else:
                n = r.i32()
                rec[name] = r.take(n).hex() if n > 0 else ""
        lo, hi = struct.unpack("<Ii", r.take(8))
        rec["offset"] = (hi << 32) | lo
        out["layers"].append(rec)
    out["records_end"] = r.p
    ends = []
    for rec in out["layers"]:
        ir = Reader(data, rec["offset"])
        if out["compression"] == -1:
            block = ir.take(ir.i32())
            ends.append(ir.p)
        else:
            block = data[rec["offset"]:]
        rec["image"] = describe_image(block, out["compression"])
    out["end"] = max(ends) if ends else r.p
    return out


def cmd_read(path, all_file):
    data = open(path, "rb").read()
    if all_file:
        p = struct.unpack("<i", data[:4])[0]
        out = read_layers(data, 4)
        out["objects_offset"] = p
        out["objects_head"] = data[p:p + 4].decode("latin-1")
        out["objects_length"] = struct.unpack("<i", data[p + 4:p + 8])[0]
        out["size"] = len(data)
    else:
        out = read_layers(data, 0)
        out["size"] = len(data)
    for line in flatten("", out):
        print(line)


def flatten(prefix, v):
    if isinstance(v, dict):
        for k in sorted(v):
            yield from flatten(prefix + ("." if prefix else "") + k, v[k])
    elif isinstance(v, list):
        for i, item in enumerate(v):
            yield from flatten(prefix + "." + str(i), item)
    elif isinstance(v, bool):
        yield "%s=%d" % (prefix, v)
    else:
        yield "%s=%s" % (prefix, v)


def cmd_write(out_path, plan_path):
    plan = json.load(open(plan_path))
    version, compression = plan["version"], plan["compression"]
    defaults = {"Visible": True, "ShowFrame": False, "Opacity": 255, "PosX": 0, "PosY": 0,
                "ClipToBase": False, "NoResize": False, "Magnifier": False, "MagnifyFactor": 2.0,
                "MagnifierShape": 0, "MagnifierSource": 0, "Operation": 0, "WidthOverride": 0,
                "HeightOverride": 0, "ResampleFilter": 0, "UseResampleFilter": False,
                "LayerName": "", "UserData": "", "MaskLayer": False, "CanSelect": False,
                "DimOutside": False}
    head = MAGIC + struct.pack("<iii", version, compression, len(plan["layers"]))
    records, offset_at = b"", []
    for layer in plan["layers"]:
        values = dict(defaults, **layer)
        for name, kind in record_fields(version):
            v = values[name]
            if kind in "bu":
                records += struct.pack("<B", int(v))
            elif kind == "i":
                records += struct.pack("<i", v)
            elif kind == "d":
                records += struct.pack("<d", v)
            elif kind == "s":
                records += struct.pack("<i", len(v)) + v.encode("latin-1")
            else:
                blob = bytes.fromhex(v)
                records += struct.pack("<i", len(blob)) + blob
        offset_at.append(len(head) + len(records))
        records += b"\0" * 8
    body = bytearray(head + records)
    for i, layer in enumerate(plan["layers"]):
        struct.pack_into("<Ii", body, offset_at[i], len(body) & 0xFFFFFFFF, len(body) >> 32)
        body += open(layer["png"], "rb").read()
    open(out_path, "wb").write(bytes(body))


if __name__ == "__main__":
    if sys.argv[1] == "read":
        cmd_read(sys.argv[2], "--all" in sys.argv[3:])
    elif sys.argv[1] == "write":
        cmd_write(sys.argv[2], sys.argv[3])
    else:
        sys.exit("unknown command " + sys.argv[1])
