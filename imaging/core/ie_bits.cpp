#include "imaging/core/ie_bits.h"

#include <array>

#include "imaging/core/ie_helpers.h"

namespace {

constexpr std::array<Byte, 256> MakeReverseTable() {
  std::array<Byte, 256> table{};
  for (int i = 0; i < 256; ++i) {
    int r = 0;
    for (int bit = 0; bit < 8; ++bit)
      if (i & (1 << bit)) r |= 0x80 >> bit;
    table[static_cast<size_t>(i)] = static_cast<Byte>(r);
  }
  return table;
}

constexpr std::array<Byte, 256> kReversed = MakeReverseTable();

}  // namespace

Integer IEBitMaskWidth(DWORD Mask) {
  int bit = 0;
  while (bit < 31 && !(Mask & (DWORD(1) << bit))) ++bit;
  Integer width = 0;
  while (bit < 32 && (Mask & (DWORD(1) << bit))) {
    ++width;
    ++bit;
  }
  return width;
}

Integer IEBitsForColors(Integer Count) {
  if (Count == 0) return -1;
  DWORD c = static_cast<DWORD>(Count);
  Integer highest = 31;
  while (highest > 0 && !(c & (DWORD(1) << highest))) --highest;
  // An exact power needs only its exponent; anything else needs one bit above the highest.
  if (c == (DWORD(1) << highest)) return highest;
  return highest + 1;
}

Integer IEColorCount(Integer BitsPerSample, Integer SamplesPerPixel) {
  DWORD factor = (BitsPerSample >= 0 && BitsPerSample < 32) ? (DWORD(1) << BitsPerSample) : 0;
  DWORD result = 1;
  for (Integer i = 0; i < SamplesPerPixel; ++i) result *= factor;
  return static_cast<Integer>(result);
}

Integer IETPixelFormatBits(Integer PixelFormatOrdinal) {
  static constexpr Integer bits[] = {0, 1, 4, 8, 15, 16, 24, 32, 0};
  if (PixelFormatOrdinal < 0 || PixelFormatOrdinal > 8) return 0;
  return bits[PixelFormatOrdinal];
}

Int64 IETBitmapRowLen(Integer Width, Integer PixelFormatOrdinal) {
  return IEBitmapRowLen(Width, IETPixelFormatBits(PixelFormatOrdinal), 32);
}

void IEReverseBitsInByte(Byte& B) { B = kReversed[B]; }

void IEReverseBits32(DWORD& V) {
  V = (DWORD(kReversed[V & 0xFF]) << 24) | (DWORD(kReversed[(V >> 8) & 0xFF]) << 16) |
      (DWORD(kReversed[(V >> 16) & 0xFF]) << 8) | DWORD(kReversed[V >> 24]);
}

DWORD IESwapWord(DWORD Value) { return (Value & 0xFFFF0000u) | ((Value & 0xFF) << 8) | ((Value >> 8) & 0xFF); }

DWORD IESwapDWord(DWORD Value) {
  return (Value >> 24) | ((Value >> 8) & 0xFF00u) | ((Value << 8) & 0xFF0000u) | (Value << 24);
}

DWORD IESwapWordIf(DWORD Value, bool Swap) { return Swap ? (((Value & 0xFF) << 8) | ((Value >> 8) & 0xFF)) : Value; }

DWORD IESwapDWordIf(DWORD Value, bool Swap) { return Swap ? IESwapDWord(Value) : Value; }

void IEInvertBuffer(void* Buffer, Integer Count) {
  Byte* p = static_cast<Byte*>(Buffer);
  for (Integer i = 0; i < Count; ++i) p[i] = static_cast<Byte>(~p[i]);
}

void IECopyBitRun(Byte* Dest, const Byte* Source, Integer DestBit, Integer SourceBit, Integer Count, Integer SourceBytes) {
  if (Count <= 0 || DestBit < 0 || SourceBit < 0) return;
  const Int64 available = Int64(SourceBytes) * 8 - SourceBit;
  if (available <= 0) return;
  if (Count > available) Count = static_cast<Integer>(available);
  // Walk away from the overlap so a shift within one row reads every bit before it is written.
  if (Dest == Source && DestBit > SourceBit) {
    for (Integer i = Count - 1; i >= 0; --i) IESetBit(Dest, DestBit + i, IEGetBit(Source, SourceBit + i));
  } else {
    for (Integer i = 0; i < Count; ++i) IESetBit(Dest, DestBit + i, IEGetBit(Source, SourceBit + i));
  }
}
