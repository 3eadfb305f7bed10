// Two small image buffers beside TIEBitmap. TIEDibbitmap holds a 1-bit or 24-bit image in
// bottom-up rows with the device-independent layout (32-bit aligned rows, colour table black
// and white); TIEWorkBitmap is scratch space of bottom-up rows for the resampling filters.
#pragma once

#include "imaging/core/ie_bitmap.h"

class TIEDibbitmap : public TIEBaseBitmap {
 public:
  TIEDibbitmap() = default;
  ~TIEDibbitmap() override;
  AnsiString ClassName() const override { return "TIEDibbitmap"; }

  void* GetScanline(Integer Row) override;
  Integer GetBitCount() const override { return BitCount; }
  Integer GetHeight() const override { return Height; }
  Integer GetWidth() const override { return Width; }
  TIEPixelFormat GetPixelFormat() const override;
  Integer GetRowLen() const override { return RowLen; }
  TRGB GetPaletteEntry(Integer) const override { return TRGB{0, 0, 0}; }
  void SetPaletteEntry(Integer, TRGB) override {}
  Integer GetPaletteLength() const override { return 0; }
  bool Allocate(Integer Width, Integer Height, TIEPixelFormat PixelFormat) override;
  void Assign(TObject* Source) override;
  void CopyPaletteTo(TObject*) override {}

  bool AllocateBits(Integer Width, Integer Height, Integer BitCount);
  void FreeBits();
  Byte* GetBits() const { return Bits; }

 private:
  Integer Width = 0;
  Integer Height = 0;
  Integer BitCount = 0;
  Integer RowLen = 0;
  Byte* Bits = nullptr;
};

class TIEWorkBitmap : public TObject {
 public:
  TIEWorkBitmap(Integer Width, Integer Height, Integer BitsPerPixel);
  ~TIEWorkBitmap() override;
  AnsiString ClassName() const override { return "TIEWorkBitmap"; }

  // Keeps the block when the geometry is unchanged, so a filter may call it on every use.
  // False when the block cannot be had (the bitmap is then empty).
  bool Allocate(Integer Width, Integer Height, Integer BitsPerPixel);
  void* GetScanline(Integer Row) const { return Bits + static_cast<ptrdiff_t>(RowLen) * (Height - Row - 1); }
  void FreeBits();

  Integer Width = 0;
  Integer Height = 0;
  Integer BitsPerPixel = 0;
  Integer RowLen = 0;
  Byte* Bits = nullptr;
};
