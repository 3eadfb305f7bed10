// Row-level helpers the codecs and the operations share: 1-bit rows expanded to 24 bits, rows
// inverted, red and blue exchanged, and the comparison of two images.
#pragma once

#include "imaging/core/ie_bitmap.h"

// Prepares the expansion table (eight 3-byte pixels per byte value); done once, at start-up or
// on first use.
void IEInitBWExpandTable();
// Width pixels of a 1-bit row (set = white) as B, G, R bytes.
void IEExpandBWRow(const Byte* Source, Byte* Dest, Integer Width);

// Every row's bytes inverted over the row length: black and white of a 1-bit image swapped.
void IEInvertBitmapRows(TIEBitmap* Bitmap);

// Bytes 0 and 2 of Count 3-byte pixels exchanged.
void IESwapRB(Byte* Buffer, Integer Count);
void IECopySwapRB(Byte* Dest, const Byte* Source, Integer Count);
// Words 0 and 2 of Count 6-byte pixels exchanged.
void IESwapRB48(Word* Buffer, Integer Count);
void IESwapRBRow(Byte* Row, Integer Ignored, Integer Count);

// Same size, format and alpha presence, and the same pixels and alpha values (row padding and
// the unused bits after a 1-bit row's last pixel do not count).
bool IEBitmapsEqual(TIEBitmap* A, TIEBitmap* B);
