// Bit counting, bit reversal, byte order and the row length of framework bitmaps. Codecs call
// these per sample, so they are small and never raise.
#pragma once

#include "platform/rtl/types.h"

// Consecutive 1 bits upward from the lowest set one (0 for 0, 32 for all ones).
Integer IEBitMaskWidth(DWORD Mask);
// Bits needed to index Count values: n for 2^n, otherwise the highest set bit's position + 1;
// -1 for 0.
Integer IEBitsForColors(Integer Count);
// (1 shl BitsPerSample) to the power SamplesPerPixel, wrapping in 32 bits as the callers expect.
Integer IEColorCount(Integer BitsPerSample, Integer SamplesPerPixel);

// Bits per pixel of a framework bitmap pixel format given by its ordinal (pfDevice .. pfCustom);
// 0 for the device and custom formats.
Integer IETPixelFormatBits(Integer PixelFormatOrdinal);
// Bytes per 32-bit aligned row of a framework bitmap.
Int64 IETBitmapRowLen(Integer Width, Integer PixelFormatOrdinal);

void IEReverseBitsInByte(Byte& B);
void IEReverseBits32(DWORD& V);
// Exchanges the two bytes of the low word; the high word stays.
DWORD IESwapWord(DWORD Value);
DWORD IESwapDWord(DWORD Value);
// With Swap: the 16-bit swap (upper bits cleared) or the 32-bit reversal; else Value itself.
DWORD IESwapWordIf(DWORD Value, bool Swap);
DWORD IESwapDWordIf(DWORD Value, bool Swap);
// Bitwise not of Count bytes.
void IEInvertBuffer(void* Buffer, Integer Count);

// Bits of packed 1-bit rows, most significant bit first (pixel 0 is bit 7 of byte 0). The
// processing operations own these, but the image buffer and the 1-bit codecs need them as well,
// so they sit at the bottom of the library where every layer can reach them.
inline bool IEGetBit(const Byte* Row, Integer Index) { return (Row[Index >> 3] >> (7 - (Index & 7))) & 1; }
inline void IESetBit(Byte* Row, Integer Index, bool Value) {
  const Byte mask = static_cast<Byte>(0x80 >> (Index & 7));
  if (Value) Row[Index >> 3] |= mask; else Row[Index >> 3] &= static_cast<Byte>(~mask);
}
// Copies Count pixels of a 1-bit row from bit SourceBit to bit DestBit of Dest, leaving Dest's
// bits outside the run unchanged; no bit at or past SourceBytes * 8 is read. Rows may overlap.
void IECopyBitRun(Byte* Dest, const Byte* Source, Integer DestBit, Integer SourceBit, Integer Count, Integer SourceBytes);
