#include "imaging/view/ie_layer_merge.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_blend.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/view/ie_layer.h"
#include "platform/rtl/numerics.h"

namespace {

// Brings a layer's image to its display size. Both view formats (and any other) come out as
// 24-bit colour, with the alpha channel scaled alongside.
void FitToDisplaySize(TIELayer* Layer, TResampleFilter Filter) {
  TIEBitmap* b = Layer->Bitmap;
  const Integer w = Layer->GetWidth(), h = Layer->GetHeight();
  if (b->GetWidth() == w && b->GetHeight() == h) return;
  if (w <= 0 || h <= 0 || b->GetWidth() <= 0 || b->GetHeight() <= 0) return;
  TIEBitmap source;
  source.Assign(b);
  if (source.GetPixelFormat() != ie24RGB && source.GetPixelFormat() != ie1g) source.ConvertPixelFormat(ie24RGB);
  TIEBitmap scaled(w, h, ie24RGB);
  if (source.HasAlphaChannel()) scaled.GetAlphaChannel();
  source.StretchRectTo(&scaled, 0, 0, w, h, 0, 0, source.GetWidth(), source.GetHeight(), Filter, 255);
  b->Assign(&scaled);
}

// One layer's rows, read a row at a time as colour and alpha.
class TLayerRows {
 public:
  explicit TLayerRows(TIELayer* L)
      : Bitmap(L->Bitmap), Width(L->GetWidth()), Height(L->GetHeight()), Opacity(IEClamp(L->Opacity, 0, 255)),
        Colour(static_cast<size_t>(IEMax(Width, 0))), Alpha(static_cast<size_t>(IEMax(Width, 0)), 255) {}

  // The image may still be smaller than the display size when it could not be scaled: pixels it
  // lacks count as transparent.
  void Load(Integer Row) {
    const Integer bw = IEMin(Bitmap->GetWidth(), Width);
    std::fill(Alpha.begin(), Alpha.end(), 0);
    if (Row < 0 || Row >= Bitmap->GetHeight()) return;
    const TIEPixelFormat f = Bitmap->GetPixelFormat();
    if (f == ie24RGB) {
      std::memcpy(Colour.data(), Bitmap->GetScanline(Row), static_cast<size_t>(bw) * sizeof(TRGB));
    } else if (f == ie1g) {
      const Byte* bits = static_cast<const Byte*>(Bitmap->GetScanline(Row));
      for (Integer x = 0; x < bw; ++x) {
        const Byte v = (bits[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        Colour[x] = TRGB{v, v, v};
      }
    } else {
      for (Integer x = 0; x < bw; ++x) Colour[x] = Bitmap->GetPixelAsRGB(x, Row);
    }
    if (Bitmap->HasAlphaChannel()) {
      TIEBitmap* a = Bitmap->GetAlphaChannel();
      if (Row < a->GetHeight()) std::memcpy(Alpha.data(), a->GetScanline(Row), static_cast<size_t>(IEMin(bw, a->GetWidth())));
    } else {
      std::fill(Alpha.begin(), Alpha.begin() + bw, 255);
    }
  }

  TIEBitmap* Bitmap;
  Integer Width, Height, Opacity;
  std::vector<TRGB> Colour;
  std::vector<Byte> Alpha;
};

// The mask layer's values at its display size, one byte a pixel.
std::vector<Byte> MaskPlane(TIELayer* Mask, Integer Wm, Integer Hm) {
  std::vector<Byte> plane(static_cast<size_t>(Wm) * Hm, 0);
  TIEBitmap grey;
  grey.Assign(Mask->Bitmap);
  if (grey.GetPixelFormat() != ie8g) grey.ConvertPixelFormat(ie8g);
  const Integer gw = grey.GetWidth(), gh = grey.GetHeight();
  if (gw <= 0 || gh <= 0 || grey.GetPixelFormat() != ie8g) return plane;
  for (Integer y = 0; y < Hm; ++y) {
    const Byte* row = static_cast<const Byte*>(grey.GetScanline(static_cast<Integer>(Int64(y) * gh / Hm)));
    for (Integer x = 0; x < Wm; ++x) plane[static_cast<size_t>(y) * Wm + x] = row[Int64(x) * gw / Wm];
  }
  return plane;
}

}  // namespace

void IEMergeLayerPair(TIELayer* Lower, TIELayer* Upper, TIELayer* Mask, TIEBitmap* Dest, TResampleFilter Filter,
                      TColor Background, bool UnionOrigin) {
  if (!Lower || !Upper || !Dest || !Lower->Bitmap || !Upper->Bitmap) return;
  const TIEBlendOp mode = Upper->Operation;
  FitToDisplaySize(Lower, Filter);
  FitToDisplaySize(Upper, Filter);
  TLayerRows lower(Lower), upper(Upper);

  const Integer wm = Mask ? IEMax(Mask->GetWidth(), 0) : 0, hm = Mask ? IEMax(Mask->GetHeight(), 0) : 0;
  const std::vector<Byte> mask = Mask ? MaskPlane(Mask, wm, hm) : std::vector<Byte>();

  Integer x1 = Lower->PosX, y1 = Lower->PosY, x2 = Upper->PosX, y2 = Upper->PosY;
  Integer xm = Mask ? Mask->PosX : 0, ym = Mask ? Mask->PosY : 0;
  if (x1 < 0) { x2 -= x1; xm -= x1; x1 = 0; }
  if (y1 < 0) { y2 -= y1; ym -= y1; y1 = 0; }
  if (x2 < 0) { x1 -= x2; xm -= x2; x2 = 0; }
  if (y2 < 0) { y1 -= y2; ym -= y2; y2 = 0; }

  const Integer right = IEMax(x1 + lower.Width, x2 + upper.Width);
  const Integer bottom = IEMax(y1 + lower.Height, y2 + upper.Height);
  const Integer left = UnionOrigin ? IEMin(x1, x2) : 0, top = UnionOrigin ? IEMin(y1, y2) : 0;
  const Integer width = right - left, height = bottom - top;
  if (width <= 0 || height <= 0) return;
  if (Dest->GetWidth() != width || Dest->GetHeight() != height || Dest->GetPixelFormat() != ie24RGB)
    Dest->Allocate(width, height, ie24RGB);
  TIEBitmap* destAlpha = Dest->GetAlphaChannel();
  destAlpha->Full = false;

  const auto maskValue = [&](Integer X, Integer Y) -> Integer {
    if (!Mask) return 255;
    const Integer cm = X - xm, rm = Y - ym;
    if (cm < 0 || rm < 0 || cm >= wm || rm >= hm) return 0;
    return mask[static_cast<size_t>(rm) * wm + cm];
  };
  const TRGB background = IETColorToTRGB(Background);
  bool opaque = true;
  for (Integer dy = 0; dy < height; ++dy) {
    const Integer y = dy + top;
    const bool lowerRow = y >= y1 && y < y1 + lower.Height, upperRow = y >= y2 && y < y2 + upper.Height;
    if (lowerRow) lower.Load(y - y1);
    if (upperRow) upper.Load(y - y2);
    TRGB* out = static_cast<TRGB*>(Dest->GetScanline(dy));
    Byte* outAlpha = static_cast<Byte*>(destAlpha->GetScanline(dy));
    for (Integer dx = 0; dx < width; ++dx) {
      const Integer x = dx + left;
      const bool inLower = lowerRow && x >= x1 && x < x1 + lower.Width;
      const bool inUpper = upperRow && x >= x2 && x < x2 + upper.Width;
      Integer alpha;
      if (inLower && inUpper) {
        const TRGB l = lower.Colour[x - x1], u = upper.Colour[x - x2];
        const double a1 = IEMin(lower.Alpha[x - x1], lower.Opacity) / 255.0;
        const double a2 = IEMin(IEMin(upper.Alpha[x - x2], maskValue(x, y)), upper.Opacity) / 255.0;
        TRGB blended = l;
        IEBlendRGB(u, blended, mode);
        const double t = (1 - a2) * a1, a = a2 + t;
        if (a != 0) {
          const auto mix = [&](Byte B, Byte L) { return static_cast<Byte>(IEClamp(SafeRound<Integer>((B * a2 + L * t) / a), 0, 255)); };
          out[dx] = TRGB{mix(blended.b, l.b), mix(blended.g, l.g), mix(blended.r, l.r)};
        } else {
          out[dx] = blended;
        }
        alpha = IEClamp(SafeRound<Integer>(a * 255), 0, 255);
      } else if (inLower) {
        out[dx] = lower.Colour[x - x1];
        alpha = IEMin(lower.Alpha[x - x1], lower.Opacity);
      } else if (inUpper) {
        out[dx] = upper.Colour[x - x2];
        alpha = IEMin(IEMin(upper.Alpha[x - x2], maskValue(x, y)), upper.Opacity);
      } else {
        out[dx] = background;
        alpha = 0;
      }
      outAlpha[dx] = static_cast<Byte>(alpha);
      opaque = opaque && alpha == 255;
    }
  }
  if (opaque) Dest->RemoveAlphaChannel(false, Background);
}
