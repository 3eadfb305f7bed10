#!/usr/bin/env python3
"""Writes the headers of Windows metafiles, whole or damaged, for the metafile probes' tests.

make_metafile.py OUT KIND, KIND one of:
  placeable   placeable header (1000 x 500 units at 1440 a inch) + memory metafile + end record
  plain       memory metafile header + end record
  disk        the same with type 2 (a disk metafile)
  words10     header size 10 words
  params      a parameter count of 1
  cut         a placeable header cut after 20 bytes
  emf         enhanced metafile: header record (frame 1000 x 500 units) + end record
  emfsig      the same with a wrong signature
  emfcut      the header record cut to 90 bytes
"""
import struct
import sys

out, kind = sys.argv[1:]


def meta(mtype=1, words=9, params=0):
    end = struct.pack("<IH", 3, 0)  # size in words, META_EOF
    size_words = (18 + len(end)) // 2
    return struct.pack("<HHHIHIH", mtype, words, 0x300, size_words, 0, 3, params) + end


def placeable():
    head = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 1000, 500, 1440, 0)
    checksum = 0
    for (w,) in struct.iter_unpack("<H", head):
        checksum ^= w
    return head + struct.pack("<H", checksum)


def emf(signature=0x464D4520):
    header = struct.pack("<II", 1, 108)
    header += struct.pack("<4i", 0, 0, 99, 49)           # bounds in pixels
    header += struct.pack("<4i", 0, 0, 26458, 13229)     # frame in 0.01 mm
    header += struct.pack("<IIIIHH", signature, 0x10000, 108 + 20, 2, 1, 0)
    header += struct.pack("<III", 0, 0, 0)               # description, palette
    header += struct.pack("<2i2i", 1920, 1080, 508, 286)  # device in pixels and mm
    header += struct.pack("<III", 0, 0, 0)               # pixel format, OpenGL
    header += struct.pack("<2I", 508000, 286000)         # device in micrometres
    assert len(header) == 108
    return header + struct.pack("<IIIII", 14, 20, 0, 16, 20)  # EMR_EOF


data = {
    "placeable": lambda: placeable() + meta(),
    "plain": lambda: meta(),
    "disk": lambda: meta(mtype=2),
    "words10": lambda: meta(words=10),
    "params": lambda: meta(params=1),
    "cut": lambda: (placeable() + meta())[:20],
    "emf": lambda: emf(),
    "emfsig": lambda: emf(0x20464D45),
    "emfcut": lambda: emf()[:90],
}[kind]()
open(out, "wb").write(data)
