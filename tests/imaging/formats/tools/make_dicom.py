#!/usr/bin/env python3
"""Writes a deterministic DICOM test image (explicit VR little endian, native pixel data):

    make_dicom.py OUT WIDTH HEIGHT [key=value ...]

keys: spp (1 or 3), bits (bits stored), alloc (bits allocated), signed (0/1), frames, planar,
photometric, centre, width (the window), intercept, slope (texts as written), preamble (0/1),
claimframes (the number of frames the header claims, whatever the data holds),
pattern (ramp: a gradient with texture over the full range of the bits; flat=V: every sample V;
values=a,b,c: the samples in turn, cycling; pgm=FILE: the samples of a binary PGM of that
size). Frame k is the pattern shifted by 7 k pixels, so
frames differ. The tools of dcmtk re-encode what this writes."""
import struct
import sys

out, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
opt = dict(a.split('=', 1) for a in sys.argv[4:])
spp = int(opt.get('spp', 1))
bits = int(opt.get('bits', 8))
alloc = int(opt.get('alloc', 8 if bits <= 8 else 16))
signed = int(opt.get('signed', 0))
frames = int(opt.get('frames', 1))
planar = int(opt.get('planar', 0))
photometric = opt.get('photometric', 'RGB' if spp == 3 else 'MONOCHROME2')
pattern = opt.get('pattern', 'ramp')


def element(group, elem, vr, value):
    if isinstance(value, str):
        value = value.encode('ascii')
        if len(value) % 2:
            value += b'\0' if vr == 'UI' else b' '
    if vr in ('OB', 'OW', 'SQ', 'UN', 'UT'):
        return struct.pack('<HH2sHI', group, elem, vr.encode(), 0, len(value)) + value
    return struct.pack('<HH2sH', group, elem, vr.encode(), len(value)) + value


def us(v):
    return struct.pack('<H', v)


top = (1 << bits) - 1
lo = -(1 << (bits - 1)) if signed else 0
hi = (1 << (bits - 1)) - 1 if signed else top


source = None
if pattern.startswith('pgm='):
    with open(pattern[4:], 'rb') as f:
        raw = f.read()
    fields, at = [], 0
    while len(fields) < 4:
        while raw[at:at + 1].isspace():
            at += 1
        end = at
        while not raw[end:end + 1].isspace():
            end += 1
        fields.append(raw[at:end])
        at = end
    source, wide = raw[at + 1:], int(fields[3]) > 255


def sample(x, y, c, f):
    if source is not None:
        i = y * w + x
        return source[2 * i] << 8 | source[2 * i + 1] if wide else source[i]
    if pattern.startswith('flat='):
        return int(pattern[5:])
    if pattern.startswith('values='):
        vals = [int(v) for v in pattern[7:].split(',')]
        return vals[((y * w + x) * spp + c) % len(vals)]
    x = (x + 7 * f) % w
    span = hi - lo
    # A gradient, a texture that the predictors meet, and the extremes at two corners.
    if (x, y) == (0, 0):
        return lo
    if (x, y) == (w - 1, h - 1):
        return hi
    v = lo + (x * span) // max(w - 1, 1)
    v += ((x * 31 + y * 17 + c * 11) % 23 - 11) * max(span // 200, 1)
    v += (y * span) // (4 * max(h - 1, 1)) * (1 if c % 2 == 0 else -1)
    return max(lo, min(hi, v))


pixels = bytearray()
packed = source is not None and spp == 1 and frames == 1  # a big image in one go
if packed:
    if alloc == 16:
        pixels = bytearray(source[:2 * w * h]) if wide else bytearray(struct.pack('<%dH' % (w * h), *source[:w * h]))
        if wide:
            pixels[0::2], pixels[1::2] = pixels[1::2], pixels[0::2]
    else:
        pixels = bytearray(source[:w * h])
for f in range(0 if packed else frames):
    if spp == 3 and planar == 1:
        for c in range(3):
            for y in range(h):
                for x in range(w):
                    pixels.append(sample(x, y, c, f) & 0xFF)
        continue
    for y in range(h):
        for x in range(w):
            for c in range(spp):
                v = sample(x, y, c, f)
                if alloc == 16:
                    pixels += struct.pack('<H', v & 0xFFFF)
                else:
                    pixels.append(v & 0xFF)
if len(pixels) % 2:
    pixels.append(0)

sop_class = '1.2.840.10008.5.1.4.1.1.7'
instance = '1.2.826.0.1.3680043.9.7433.1.1'
meta_body = (element(2, 1, 'OB', b'\0\1') + element(2, 2, 'UI', sop_class) + element(2, 3, 'UI', instance) +
             element(2, 0x10, 'UI', '1.2.840.10008.1.2.1') + element(2, 0x12, 'UI', '1.2.826.0.1.3680043.9.7433.2'))
meta = element(2, 0, 'UL', struct.pack('<I', len(meta_body))) + meta_body
ds = (element(8, 0x16, 'UI', sop_class) + element(8, 0x18, 'UI', instance) + element(8, 0x60, 'CS', 'OT') +
      element(0x10, 0x10, 'PN', 'Test^Image') + element(0x20, 0xD, 'UI', '1.2.826.0.1.3680043.9.7433.3') +
      element(0x20, 0xE, 'UI', '1.2.826.0.1.3680043.9.7433.4') +
      element(0x28, 2, 'US', us(spp)) + element(0x28, 4, 'CS', photometric))
if spp == 3:
    ds += element(0x28, 6, 'US', us(planar))
if frames > 1 or 'claimframes' in opt:
    ds += element(0x28, 8, 'IS', opt.get('claimframes', str(frames)))
ds += (element(0x28, 0x10, 'US', us(h)) + element(0x28, 0x11, 'US', us(w)) + element(0x28, 0x100, 'US', us(alloc)) +
       element(0x28, 0x101, 'US', us(bits)) + element(0x28, 0x102, 'US', us(bits - 1)) +
       element(0x28, 0x103, 'US', us(signed)))
for key, tag in (('centre', 0x1050), ('width', 0x1051), ('intercept', 0x1052), ('slope', 0x1053)):
    if key in opt:
        ds += element(0x28, tag, 'DS', opt[key])
ds += element(0x7FE0, 0x10, 'OW' if alloc == 16 else 'OB', bytes(pixels))
with open(out, 'wb') as f:
    if int(opt.get('preamble', 1)):
        f.write(b'\0' * 128 + b'DICM' + meta)
    f.write(ds)
