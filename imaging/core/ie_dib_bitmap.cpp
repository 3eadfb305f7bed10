#include "imaging/core/ie_dib_bitmap.h"

#include <climits>
#include <cstring>

#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_streams.h"

namespace {

// Row length and size of an image, or false when they do not fit the 32-bit fields.
bool Geometry(Integer Width, Integer Height, Integer Bits, Integer& RowLen, Int64& Size) {
  if (Width < 1 || Height < 1 || Bits < 1) return false;
  Int64 len = IEBitmapRowLen(Width, Bits, 32);
  if (len <= 0 || len > INT_MAX) return false;
  RowLen = static_cast<Integer>(len);
  Size = len * Height;
  return true;
}

}  // namespace

TIEDibbitmap::~TIEDibbitmap() { FreeBits(); }

void* TIEDibbitmap::GetScanline(Integer Row) {
  if (!Bits || static_cast<unsigned>(Row) >= static_cast<unsigned>(Height)) return nullptr;
  return Bits + static_cast<ptrdiff_t>(RowLen) * (Height - Row - 1);
}

TIEPixelFormat TIEDibbitmap::GetPixelFormat() const {
  if (BitCount == 1) return ie1g;
  if (BitCount == 24) return ie24RGB;
  return ieNull;
}

bool TIEDibbitmap::Allocate(Integer AWidth, Integer AHeight, TIEPixelFormat PixelFormat) {
  if (PixelFormat == ie1g) return AllocateBits(AWidth, AHeight, 1);
  if (PixelFormat == ie24RGB) return AllocateBits(AWidth, AHeight, 24);
  return false;
}

void TIEDibbitmap::Assign(TObject* Source) {
  auto* src = dynamic_cast<TIEDibbitmap*>(Source);
  if (!src || src == this || !src->Bits) return;
  if (AllocateBits(src->Width, src->Height, src->BitCount))
    std::memcpy(Bits, src->Bits, static_cast<size_t>(RowLen) * static_cast<size_t>(Height));
}

bool TIEDibbitmap::AllocateBits(Integer AWidth, Integer AHeight, Integer ABitCount) {
  if (AWidth <= 0 || AHeight <= 0) return false;
  FreeBits();
  Integer rowLen = 0;
  Int64 size = 0;
  if (!Geometry(AWidth, AHeight, ABitCount, rowLen, size)) return false;
  BitCount = ABitCount;
  Width = AWidth;
  Height = AHeight;
  RowLen = rowLen;
  Bits = static_cast<Byte*>(IEGlobalAlloc(static_cast<size_t>(size)));
  return Bits != nullptr;
}

void TIEDibbitmap::FreeBits() {
  void* p = Bits;
  IEGlobalFree(p);
  Bits = nullptr;
  Width = Height = BitCount = RowLen = 0;
}

TIEWorkBitmap::TIEWorkBitmap(Integer AWidth, Integer AHeight, Integer ABitsPerPixel) {
  if (AWidth > 0 && AHeight > 0) Allocate(AWidth, AHeight, ABitsPerPixel);
}

TIEWorkBitmap::~TIEWorkBitmap() { FreeBits(); }

bool TIEWorkBitmap::Allocate(Integer AWidth, Integer AHeight, Integer ABitsPerPixel) {
  if (Bits && AWidth == Width && AHeight == Height && ABitsPerPixel == BitsPerPixel) return true;
  FreeBits();
  Integer rowLen = 0;
  Int64 size = 0;
  if (!Geometry(AWidth, AHeight, ABitsPerPixel, rowLen, size)) return false;
  Bits = static_cast<Byte*>(IEAllocMem(static_cast<size_t>(size)));
  if (!Bits) return false;
  Width = AWidth;
  Height = AHeight;
  BitsPerPixel = ABitsPerPixel;
  RowLen = rowLen;
  return true;
}

void TIEWorkBitmap::FreeBits() {
  void* p = Bits;
  IEFreeMem(p);
  Bits = nullptr;
  Width = Height = BitsPerPixel = RowLen = 0;
}
