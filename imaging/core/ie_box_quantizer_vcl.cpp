// The box quantizer over a framework bitmap, apart from the image-buffer version so that a
// program that only converts image buffers links none of the framework's drawing classes.
#include "imaging/core/ie_box_quantizer.h"
#include "imaging/core/ie_helpers.h"
#include "platform/gui/bitmap.h"

TIEBoxQuantizer::TIEBoxQuantizer(TBitmap* Bitmap, TRGB* Palette, Integer N)
    : FHistogram(32768, 0), FBoxes(256), FIndex(32768, 0), FWanted(N < 1 ? 1 : (N > 256 ? 256 : N)) {
  Integer width = Bitmap->Width();
  bool packed = Bitmap->PixelFormat() == pf24bit;
  Build(width, Bitmap->Height(), [&](Integer y, std::vector<TRGB>& row) {
    if (packed) {
      const TRGB* src = static_cast<const TRGB*>(Bitmap->ScanLine(y));
      row.assign(src, src + width);
    } else {
      for (Integer x = 0; x < width; ++x) {
        TColor c = Bitmap->PixelColor(x, y);
        row[static_cast<size_t>(x)] = IECreateRGB(GetRValue(c), GetGValue(c), GetBValue(c));
      }
    }
  }, Palette);
}

TIEBoxQuantizer* IEBoxQuantizerCreate(TBitmap* Bitmap, TRGB* Palette, Integer N) {
  return new TIEBoxQuantizer(Bitmap, Palette, N);
}
