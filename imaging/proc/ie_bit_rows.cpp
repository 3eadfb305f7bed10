#include "imaging/proc/ie_bit_rows.h"

#include <cstring>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"

namespace {

struct TExpandTable {
  Byte Pixels[256][24];
  TExpandTable() {
    for (Integer v = 0; v < 256; ++v)
      for (Integer bit = 0; bit < 8; ++bit) std::memset(&Pixels[v][bit * 3], (v & (0x80 >> bit)) ? 255 : 0, 3);
  }
};

const TExpandTable& ExpandTable() {
  static const TExpandTable table;
  return table;
}

// Bytes of a row that hold pixels, and the mask of the used bits of the last one.
Integer PixelBytes(TIEBitmap* Bitmap, Byte& LastMask) {
  const Int64 bits = Int64(Bitmap->GetWidth()) * Bitmap->GetBitCount();
  const Integer spare = static_cast<Integer>((8 - bits % 8) % 8);
  LastMask = static_cast<Byte>(0xFF << spare);
  return static_cast<Integer>((bits + 7) / 8);
}

bool RowsEqual(TIEBitmap* A, TIEBitmap* B) {
  Byte lastMask;
  const Integer n = PixelBytes(A, lastMask);
  if (n < 1) return true;
  for (Integer y = 0; y < A->GetHeight(); ++y) {
    const Byte* a = static_cast<const Byte*>(A->GetScanline(y));
    const Byte* b = static_cast<const Byte*>(B->GetScanline(y));
    if (std::memcmp(a, b, static_cast<size_t>(n - 1)) != 0 || ((a[n - 1] ^ b[n - 1]) & lastMask) != 0) return false;
  }
  return true;
}

}  // namespace

void IEInitBWExpandTable() { (void)ExpandTable(); }

void IEExpandBWRow(const Byte* Source, Byte* Dest, Integer Width) {
  if (!Source || !Dest || Width < 1) return;
  const TExpandTable& t = ExpandTable();
  const Integer whole = Width / 8, rest = Width % 8;
  for (Integer i = 0; i < whole; ++i) std::memcpy(Dest + 24 * i, t.Pixels[Source[i]], 24);
  if (rest) std::memcpy(Dest + 24 * whole, t.Pixels[Source[whole]], static_cast<size_t>(rest) * 3);
}

void IEInvertBitmapRows(TIEBitmap* Bitmap) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  for (Integer y = 0; y < Bitmap->GetHeight(); ++y) IEInvertBuffer(Bitmap->GetScanline(y), Bitmap->GetRowLen());
}

void IESwapRB(Byte* Buffer, Integer Count) {
  for (Integer i = 0; Buffer && i < Count; ++i) IESwapByte(Buffer[3 * i], Buffer[3 * i + 2]);
}

void IECopySwapRB(Byte* Dest, const Byte* Source, Integer Count) {
  if (!Dest || !Source || Count < 1) return;
  std::memmove(Dest, Source, static_cast<size_t>(Count) * 3);
  IESwapRB(Dest, Count);
}

void IESwapRB48(Word* Buffer, Integer Count) {
  for (Integer i = 0; Buffer && i < Count; ++i) {
    const Word t = Buffer[3 * i];
    Buffer[3 * i] = Buffer[3 * i + 2];
    Buffer[3 * i + 2] = t;
  }
}

void IESwapRBRow(Byte* Row, Integer, Integer Count) { IESwapRB(Row, Count); }

bool IEBitmapsEqual(TIEBitmap* A, TIEBitmap* B) {
  if (!A || !B) return A == B;
  if (A->GetWidth() != B->GetWidth() || A->GetHeight() != B->GetHeight() ||
      A->GetPixelFormat() != B->GetPixelFormat() || A->HasAlphaChannel() != B->HasAlphaChannel())
    return false;
  if (!RowsEqual(A, B)) return false;
  return !A->HasAlphaChannel() || RowsEqual(A->GetAlphaChannel(), B->GetAlphaChannel());
}
