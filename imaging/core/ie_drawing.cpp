#include "imaging/core/ie_drawing.h"

#include <cmath>
#include <cstring>
#include <numbers>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_canvas.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_math.h"
#include "imaging/core/ie_pixel_format.h"
#include "imaging/core/ie_processing_services.h"
#include "platform/rtl/numerics.h"

namespace {

// A pixel of the shadow: in the bitmap's rows where it lies inside, else on the canvas.
class ShadowTarget {
 public:
  ShadowTarget(TCanvas* Canvas, TBitmap* Bitmap) : FCanvas(Canvas), FBitmap(Bitmap && Bitmap->PixelFormat() == pf24bit ? Bitmap : nullptr) {}

  void Darken(Integer X, Integer Y, double Factor) {
    if (Byte* p = InBitmap(X, Y)) {
      for (int c = 0; c < 3; ++c) p[c] = static_cast<Byte>(SafeTrunc<Integer>(p[c] * Factor));
      return;
    }
    if (!FCanvas) return;
    const TColor v = FCanvas->GetPixel(X, Y);
    const auto part = [&](int shift) { return TColor(SafeTrunc<Integer>(((v >> shift) & 0xFF) * Factor)) << shift; };
    FCanvas->SetPixel(X, Y, part(0) | part(8) | part(16));
  }

  void Grey(Integer X, Integer Y, Integer Level) {
    const Byte g = static_cast<Byte>(IEClamp255(Level));
    if (Byte* p = InBitmap(X, Y)) {
      p[0] = p[1] = p[2] = g;
      return;
    }
    if (FCanvas) FCanvas->SetPixel(X, Y, TColor(g) * 0x010101u);
  }

 private:
  Byte* InBitmap(Integer X, Integer Y) {
    if (!FBitmap || X < 0 || Y < 0 || X >= FBitmap->Width() || Y >= FBitmap->Height()) return nullptr;
    return static_cast<Byte*>(FBitmap->ScanLine(Y)) + 3 * X;
  }
  TCanvas* FCanvas;
  TBitmap* FBitmap;
};

double GradientLevel(double Numerator, double Denominator) {
  return Denominator == 0 ? 0 : std::exp(Numerator / Denominator) / std::numbers::e * 255.0;
}

}  // namespace

void IEDrawShadowRight(TCanvas* Canvas, TBitmap* Bitmap, Integer Left, Integer Top, Integer Right, Integer Bottom,
                       Byte Kind, TColor) {
  const Integer W = Right - Left + 1, H = Bottom - Top + 1;
  if (W <= 0 || H <= 0) return;
  ShadowTarget t(Canvas, Bitmap);
  switch (Kind) {
    case 1:
      if (Canvas) Canvas->FillRect(TRect{Left, Top + W, Right, Bottom + 1});
      break;
    case 2: {
      const double s = W / 3.0;
      for (Integer h = 0; h < W; ++h) {
        const double tt = (W - h) / s, f = std::exp(-0.1 - tt * tt / 6.0);
        for (Integer y = Top + W; y <= Bottom - W + h + 3; ++y) t.Darken(Left + h, y, f);
      }
      break;
    }
    case 3: {
      Integer k = 0;
      for (Integer i = 0; i <= H; ++i) {
        const Integer g = IEClamp255(SafeTrunc<Integer>(GradientLevel(H - 3.0 * i, H)));
        if (i > H - W + 1) ++k;
        for (Integer j = k; j <= W; ++j) t.Grey(Left + j, Top + i, IEMax(SafeTrunc<Integer>(GradientLevel(j, W)), g));
      }
      break;
    }
    default: break;
  }
}

void IEDrawShadowBottom(TCanvas* Canvas, TBitmap* Bitmap, Integer Left, Integer Top, Integer Right, Integer Bottom,
                        Byte Kind, TColor) {
  const Integer W = Right - Left + 1, H = Bottom - Top + 1;
  if (W <= 0 || H <= 0) return;
  ShadowTarget t(Canvas, Bitmap);
  switch (Kind) {
    case 1:
      if (Canvas) Canvas->FillRect(TRect{Left + H, Top, Right + 1, Bottom});
      break;
    case 2: {
      const double s = H / 3.0;
      for (Integer r = 0; r < H; ++r) {
        const double tt = (H - r) / s, f = std::exp(-0.1 - tt * tt / 6.0);
        for (Integer x = Left + H; x <= Right - H + r + 1; ++x) t.Darken(x, Top + r, f);
      }
      break;
    }
    case 3: {
      Integer k = 0;
      for (Integer c = 0; c <= W; ++c) {
        const Integer g = IEClamp255(SafeTrunc<Integer>(GradientLevel(W - 3.0 * c, W)));
        if (c > W - H + 1) ++k;
        for (Integer r = k; r <= H; ++r) t.Grey(Left + c, Top + r, IEMax(SafeTrunc<Integer>(GradientLevel(r, H)), g));
      }
      break;
    }
    default: break;
  }
}

void IEDrawSoftShadow(TBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2, TColor) {
  if (!Bitmap || Bitmap->PixelFormat() != pf24bit) return;
  const Integer w = X2 - X1 + 1, h = Y2 - Y1 + 1;
  if (w <= 0 || h <= 0) return;
  TIEBitmap mask(w + 10, h + 10, ie8g);
  mask.Fill(0);
  mask.FillRect(5, 5, w + 6, h + 6, 255);
  if (IEProcessingServices.BlurGrayRect) IEProcessingServices.BlurGrayRect(&mask, 0, 0, w + 9, h + 9, 2.5);
  const Integer bw = Bitmap->Width(), bh = Bitmap->Height();
  for (Integer y = IEMax(Y1 - 5, 0); y <= IEMin(Y2 + 5, bh - 1); ++y) {
    Byte* row = static_cast<Byte*>(Bitmap->ScanLine(y));
    const Byte* m = static_cast<const Byte*>(mask.GetScanline(y - Y1 + 5));
    for (Integer x = IEMax(X1 - 5, 0); x <= IEMin(X2 + 5, bw - 1); ++x) {
      if (x >= X1 && x < X2 && y >= Y1 && y < Y2) continue;
      const double keep = 1.0 - m[x - X1 + 5] / 255.0;
      for (int c = 0; c < 3; ++c) row[3 * x + c] = static_cast<Byte>(SafeTrunc<Integer>(row[3 * x + c] * keep));
    }
  }
}

void IEDraw3DFrame(TCanvas* Canvas, Integer X1, Integer Y1, Integer X2, Integer Y2, TColor HighColor,
                   TColor ShadowColor) {
  TPen* pen = Canvas->Pen();
  pen->SetMode(pmCopy);
  pen->SetStyle(psSolid);
  pen->SetWidth(1);
  pen->SetColor(HighColor);
  Canvas->MoveTo(X1, Y2);
  Canvas->LineTo(X1, Y1);
  Canvas->LineTo(X2, Y1);
  pen->SetColor(ShadowColor);
  Canvas->MoveTo(X1, Y2);
  Canvas->LineTo(X2, Y2);
  Canvas->LineTo(X2, Y1);
}

void IEDraw3DFrameIE(TIECanvas* Canvas, Integer X1, Integer Y1, Integer X2, Integer Y2, TColor HighColor,
                     TColor ShadowColor) {
  TIEPen* pen = Canvas->Pen();
  pen->SetMode(pmCopy);
  pen->SetStyle(psSolid);
  pen->SetColor(HighColor);
  Canvas->MoveTo(X1, Y2);
  Canvas->LineTo(X1, Y1);
  Canvas->LineTo(X2, Y1);
  pen->SetColor(ShadowColor);
  Canvas->MoveTo(X1, Y2);
  Canvas->LineTo(X2, Y2);
  Canvas->LineTo(X2, Y1);
}

void IESetGrayPalette(TBitmap* Bitmap) {
  if (!Bitmap || Bitmap->ColorTable().empty()) return;
  std::vector<TColor> grey(256);
  for (Integer i = 0; i < 256; ++i) grey[i] = TColor(i) * 0x010101u;
  Bitmap->SetColorTable(grey);
}

bool IEIsGrayPalette(TBitmap* Bitmap) {
  if (!Bitmap) return true;
  const std::vector<TColor> table = Bitmap->ColorTable();
  for (size_t i = 0; i < table.size() && i < 256; ++i)
    if (table[i] != TColor(i) * 0x010101u) return false;
  return true;
}

void IECopyTBitmapPalette(TBitmap* Bitmap, TIEBitmap* Dest) {
  if (!Bitmap || !Dest || Bitmap->PixelFormat() != pf8bit || Dest->GetPixelFormat() != ie8p) return;
  const std::vector<TColor> table = Bitmap->ColorTable();
  for (Integer i = 0; i < static_cast<Integer>(table.size()) && i < 256 && i < Dest->GetPaletteLength(); ++i)
    Dest->SetPaletteEntry(i, IECreateRGB(table[i] & 0xFF, (table[i] >> 8) & 0xFF, (table[i] >> 16) & 0xFF));
}

void IEGaussianCurve(Integer Count, Integer Low, Integer High, double Sigma, std::vector<double>& Values) {
  if (Count <= 0) return;
  if (static_cast<Integer>(Values.size()) < Count) Values.resize(static_cast<size_t>(Count));
  double largest = -100000;
  const double sigmaSquared = static_cast<double>(IEPower(Sigma, 2));
  for (Integer i = 0; i < Count; ++i) {
    const double x = (static_cast<double>(i) / Count) * 2.0 - 1.0;
    Values[i] = std::exp(-0.5 * sigmaSquared * x * x) / (Sigma * std::sqrt(2.0 * std::numbers::pi));
    if (Values[i] > largest) largest = Values[i];
  }
  for (Integer i = 0; i < Count; ++i) Values[i] = Values[i] / largest * (High - Low) + Low;
}

namespace {
void PrepareTexture(TBitmap* Graphic, Integer Width, Integer Height) {
  Graphic->SetPixelFormat(pf24bit);
  Graphic->SetSize(Width, Height);
}
}  // namespace

void IEMakeStripesTexture(TBitmap* Graphic, Integer Width, Integer Height) {
  if (!Graphic) return;
  PrepareTexture(Graphic, Width, Height);
  std::vector<double> levels;
  IEGaussianCurve(4, 130, 255, 0.5, levels);
  for (Integer y = 0; y < Graphic->Height(); ++y)
    std::memset(Graphic->ScanLine(y), SafeTrunc<Integer>(levels[y % 4]), static_cast<size_t>(3 * Graphic->Width()));
}

void IEMakeBrushedTexture(TBitmap* Graphic, Integer Width, Integer Height) {
  if (!Graphic) return;
  PrepareTexture(Graphic, Width, Height);
  const Integer w = Graphic->Width();
  if (w <= 0) return;
  std::vector<double> profile;
  IEGaussianCurve(w, 160, 208, 3, profile);
  Integer d = 0;
  for (Integer y = 0; y < Graphic->Height(); ++y) {
    Byte* row = static_cast<Byte*>(Graphic->ScanLine(y));
    Integer run = 0;
    for (Integer x = 0; x < w; ++x) {
      std::memset(row + 3 * x, IEClamp255(SafeTrunc<Integer>(profile[x]) + d), 3);
      if (++run > Random(w) + 100) {
        run = 0;
        d = Random(11);
      }
    }
  }
}
