// Row-level coders for bilevel images in the fax codings: Modified Huffman rows (TIFF
// compression 2), T.4 rows with end-of-line codes, one-dimensional or with 1D/2D tag bits
// (compression 3, PostScript and PDF K > 0), and T.6 rows (compression 4, K -1). One copy serves
// every format; the callers own all state between rows (bit position, reference row, pending
// byte), so different images can be coded on different threads at once.
//
// Rows are packed one bit per pixel, pixel 0 in the most significant bit of byte 0, and hold
// (Width + 7) div 8 bytes; nothing beyond that is read or written. The two directions use
// opposite senses, as the callers expect:
//   - decoders write white as 1 and black as 0 (the output row starts all ones);
//   - encoders read 0 as white and 1 as black.
// FillOrder 1: the coded bits fill each byte from its most significant bit; 2: from bit 0 up.
//
// Decoding a strip (how a caller drives it):
//   compression 2:  pos := 0; per row: pos += IECCITTDecodeMHRow(Row, Data + pos, Len - pos, ...)
//   compression 3, 1D (T4Options bit 0 clear):
//                   bit := 0; per row: bit := IECCITTDecode1DRow(Row, Data, Len, W, bit, Fill)
//   compression 3, 2D (T4Options bit 0 set) and compression 4:
//                   Ref := (W + 7) div 8 bytes of 0xFF; bit := 0; per row:
//                   bit := IECCITTDecode2DRow(Row, Data, Len, W, Ref, bit, Fill, FillFlag)
//                   with FillFlag true for compression 3 (rows start with EOL codes that may be
//                   preceded by fill bits) and false for T.6 streams, which have no EOLs.
// DataLen is always the number of bytes that may be read from Data, never more: a caller that
// advances a cursor passes what is left after it.
//
// Encoding a strip: every row through one encoder, then one closing call with Row nil, which
// ends the strip on a byte boundary (the strip's byte count is then what the stream took):
//   compression 2:                    IECCITTEncodeMHRow       (T4Options not written)
//   compression 3, T4Options 0:       IECCITTEncode1DRow
//   compression 3, T4Options 1:       IECCITTEncodeG3Row       (PostScript/PDF K 1 streams)
//   compression 4, T6Options 0:       IECCITTEncodeG4Row       (PostScript/PDF K -1 streams)
// The first row of each strip starts afresh: pending byte and bits zero, reference row empty.
//
// The decoders never fail: what they cannot read they skip, and the end of the data ends a row
// as an end-of-line code would, so the rows decoded before damage are kept. A caller that wants
// to tell a damaged strip from a good one passes Fault: it receives the first reason met (the
// text names what was wrong and at which bit) and is left alone when the row was sound.
#pragma once

#include <vector>

#include "platform/rtl/streams.h"
#include "platform/rtl/types.h"

// Builds the two code trees the decoders walk (the library's start-up runs it; a decoder called
// before it builds them itself). IEFinalCCITT frees them. Both may be called again.
void IEInitCCITT();
void IEFinalCCITT();
// Gives the library's start-up its CCITT step; the program calls it before IEInitialize.
void IERegisterCCITTUnit();

// One T.4 one-dimensional row from bit StartBit of Data. An end-of-line code right at StartBit
// (with any fill bits before it) is the row's own and is skipped; one met later ends the row and
// is left for the next call. Answers the bit position after the row (at most DataLen x 8).
Int64 IECCITTDecode1DRow(Byte* Row, const Byte* Data, Int64 DataLen, Integer Width, Int64 StartBit,
                         Integer FillOrder, AnsiString* Fault = nullptr);

// One Modified Huffman row from bit 0 of Data; answers the bytes it used (its bits rounded up to
// whole bytes, at most DataLen), the distance to the next row.
Int64 IECCITTDecodeMHRow(Byte* Row, const Byte* Data, Int64 DataLen, Integer Width, Integer FillOrder,
                         AnsiString* Fault = nullptr);

// One row of a T.4 two-dimensional stream (FillFlag true) or of a T.6 stream (FillFlag false)
// from bit StartBit, coded against RefRow ((Width + 7) div 8 bytes, white = 1, all white before
// the first row); a T.4 row whose end-of-line code carries tag bit 1 is decoded one-dimensionally.
// On return RefRow holds a copy of Row, ready for the next call. Answers the bit position after
// the row (at most DataLen x 8).
Int64 IECCITTDecode2DRow(Byte* Row, const Byte* Data, Int64 DataLen, Integer Width, Byte* RefRow, Int64 StartBit,
                         Integer FillOrder, bool FillFlag, AnsiString* Fault = nullptr);

// Encoders. Row: (Width + 7) div 8 bytes, 1 = black; nil is the closing call of a strip.
// Aborting is raised when Stream takes fewer bytes than it was given and never lowered.
// PendingByte and PendingBits are the last incomplete byte and its bit count: zero at the start
// of a strip, carried from call to call; every closing call pads to a byte boundary and leaves
// them zero. RefRow is the coder's own copy of the previous row: empty at the start of a strip,
// emptied by the closing call.

// One Modified Huffman row, its last byte padded and written at once (rows are byte-aligned).
// Row nil, the closing call of a strip: two zero bytes, which readers that look ahead past the
// last row's codes (libtiff does) need to decode that row.
void IECCITTEncodeMHRow(const Byte* Row, Integer Width, TStream* Stream, bool& Aborting, Integer FillOrder);

// One T.4 one-dimensional row, an end-of-line code first, continuing the bits of the previous
// call. Row nil: zero bits up to the next byte boundary.
void IECCITTEncode1DRow(const Byte* Row, Integer Width, TStream* Stream, Byte& PendingByte, Integer& PendingBits,
                        bool& Aborting, Integer FillOrder);

// One T.4 row with its end-of-line code and tag bit: the first row of the strip one-dimensional
// (tag 1), the others two-dimensional against the row before (tag 0). Row nil: one end-of-line
// code, then zero bits up to the next byte boundary.
void IECCITTEncodeG3Row(const Byte* Row, Integer Width, TStream* Stream, Byte& PendingByte, Integer& PendingBits,
                        std::vector<Byte>& RefRow, bool& Aborting, Integer FillOrder);

// One T.6 row against the row before (all white before the first). Row nil: the end of
// facsimile block (two end-of-line codes), then zero bits up to the next byte boundary.
void IECCITTEncodeG4Row(const Byte* Row, Integer Width, TStream* Stream, Byte& PendingByte, Integer& PendingBits,
                        std::vector<Byte>& RefRow, bool& Aborting, Integer FillOrder);
