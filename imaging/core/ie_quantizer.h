// Reduces an image to a palette of at most N colours and maps colours to palette indexes:
// the image's own colours when it has no more than N, else box splitting or the neural net as
// the library-wide selectors say; the palette of an ie8p image; a grey ramp for grey images.
#pragma once

#include <vector>

#include "imaging/core/ie_types.h"

class TIEBitmap;
class TIEBoxQuantizer;
class TIENeuQuant;

// -1 automatic (box splitting below 128 colours, the neural net from 128), 0 neural net,
// 1 box splitting; other values count as 0.
extern Integer IEQuantizerMethod;
// -1 derives the neural net's sampling from the image size; 0 .. 100 is a quality.
extern Integer IENeuQuantQuality;

// The distinct colours of an image in order of first appearance.
struct TIEExactPalette {
  std::vector<TRGB> Colors;
  // Where each colour stands in Colors, hashed by its value (filled by IEExactPaletteCreate; a
  // table without it is searched entry by entry).
  std::vector<DWORD> SlotKeys;
  std::vector<Word> SlotIndexes;
};

// nil unless Bitmap is ie24RGB with at most N distinct colours, which are then also copied to
// Palette[0 ..]. With Indexes (N at most 256) each pixel's position in the table is written
// there on the way, Width x Height bytes row after row; what it holds after a nil answer is
// undefined.
TIEExactPalette* IEExactPaletteCreate(TIEBitmap* Bitmap, Integer N, TRGB* Palette, Byte* Indexes = nullptr);
// The colour's position, -1 when it is not in the table.
Integer IEExactPaletteIndex(const TIEExactPalette* Table, Integer Count, TRGB Color);
void IEExactPaletteFree(TIEExactPalette*& Table);

class TIEQuantizer {
 public:
  // Palette needs room for N entries; entries the chosen way does not produce stay unchanged.
  // Bitmap must outlive the quantizer when it is ie8p (the lookup reads its current palette).
  TIEQuantizer(TIEBitmap* Bitmap, TRGB* Palette, Integer N);
  ~TIEQuantizer();
  TIEQuantizer(const TIEQuantizer&) = delete;
  TIEQuantizer& operator=(const TIEQuantizer&) = delete;

  // -1 for a colour outside an exact palette; the palette length for a colour outside the
  // palette of an ie8p image.
  Integer RGBIndex(TRGB Color) const;
  bool GrayScale() const { return FGray; }
  // 0 neural net, 1 box splitting, -1 when no quantizer was made.
  Integer Method() const { return FMethod; }

 private:
  TIEBitmap* FBitmap;
  Integer FColors;
  bool FGray = false;
  Integer FMethod = -1;
  TIEExactPalette* FExact = nullptr;
  TIEBoxQuantizer* FBox = nullptr;
  TIENeuQuant* FNet = nullptr;
};
