// Lempel-Ziv-Welch coders in their two flavours: GIF (codes least significant bit first, a
// variable starting width, data in length-prefixed sub-blocks) and TIFF (most significant bit
// first, 8-bit literals, the width growing one code early, raw strip bytes). Codecs reach them
// through the procedure variables of the parameter record (IEGifLZW... / IETiffLZW... below), so
// an application can replace or withdraw a coder.
#pragma once

#include "imaging/core/ie_params.h"
#include "platform/rtl/streams.h"

// How a GIF frame's image data came out. Failed leaves the stream where it was at the call.
enum TIEGifLZWResult { glzOK, glzShort, glzFailed };

// Reads one frame's image data (the code-size byte, the sub-blocks and their zero terminator)
// and writes one index byte per pixel into Dest (Width x Height bytes, rows top-down; interlaced
// frames in the four-pass row order). glzShort: the data ended before Width x Height pixels came
// (the stream is behind what was there; the pixels decoded stay in Dest). glzFailed: the code
// size is outside 2..9 or a code is impossible; the stream is back at the call's position and
// the pixels decoded before the fault stay in Dest.
TIEGifLZWResult GIFLZWDecompress(TStream* Stream, Integer Height, Integer Width, bool Interlaced, Byte* Dest);

// Writes a whole frame's image data: the code size (BitsPerPixel, at least 2), the sub-blocks
// of at most 254 bytes and the zero terminator. Stream errors propagate.
void GIFLZWCompress(TStream* Stream, Integer Height, Integer Width, bool Interlaced, const Byte* Data,
                    Integer BitsPerPixel);

// One strip at a time, Count decoded bytes a call. State empty: a decoder is bound to the
// DataSize bytes at Data (the strip as stored) and answers the first Count bytes; State set and
// Data non-nil: the next Count bytes (Data is not read again); Data nil: the decoder is freed,
// State cleared and nil answered. The answer points at Count bytes owned by the decoder (valid
// until the next call); an end code or the end of the strip's bytes before Count bytes leaves
// the rest as the previous call left it. A code the table cannot hold answers nil.
// FillOrder 2: the strip's bits are stored least significant first.
Byte* TIFFLZWDecompress(const Byte* Data, Integer Count, void*& State, Integer FillOrder, Int64 DataSize);

// State empty: an encoder is bound to Stream, emits the clear code and codes Count bytes of
// Data; State set and Data non-nil: codes Count more bytes into the same code stream; Data nil:
// ends the code stream (pending code, end code, last byte padded with zeros), frees the encoder
// and clears State. The coded bytes reach Stream in large pieces: all of them only once the
// code stream has ended.
void TIFFLZWCompress(const Byte* Data, Integer Count, TStream* Stream, void*& State);

using TIEGifLZWDecompressProc = TIEGifLZWResult (*)(TStream*, Integer, Integer, bool, Byte*);
using TIEGifLZWCompressProc = void (*)(TStream*, Integer, Integer, bool, const Byte*, Integer);
using TIETiffLZWDecompressProc = Byte* (*)(const Byte*, Integer, void*&, Integer, Int64);
using TIETiffLZWCompressProc = void (*)(const Byte*, Integer, TStream*, void*&);

// Installs the four coders as the library-wide procedure variables (the I/O unit's start-up).
void IEInstallLZWCoders();

// The coder a codec uses: the record's when it names one, else the library-wide one, else nil.
TIEGifLZWDecompressProc IEGifLZWDecompressOf(const TIOParamsVals& Params);
TIEGifLZWCompressProc IEGifLZWCompressOf(const TIOParamsVals& Params);
TIETiffLZWDecompressProc IETiffLZWDecompressOf(const TIOParamsVals& Params);
TIETiffLZWCompressProc IETiffLZWCompressOf(const TIOParamsVals& Params);
