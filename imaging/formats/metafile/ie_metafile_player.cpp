#include "imaging/formats/metafile/ie_metafile_player.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/formats/ie_le_bytes.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"

namespace iemf {

namespace {

// Nested SaveDC levels a metafile may open: deeper nesting is a damaged (or hostile) file.
constexpr size_t kMaxSavedStates = 1024;
// Largest bitmap a record may carry, in pixels (its bytes are bounded by the file already; this
// bounds what one bit per pixel expands to).
constexpr Int64 kMaxBitmapPixels = Int64(64) << 20;
// Segments a Bezier curve and a quarter of an ellipse are drawn with.
constexpr int kCurveSteps = 16;

TPenMode PenModeOf(Integer Rop2) {
  static const TPenMode modes[16] = {pmBlack,      pmNotMerge, pmMaskNotPen, pmNotCopy, pmMaskPenNot, pmNot,
                                     pmXor,        pmNotMask,  pmMask,       pmNotXor,  pmNop,        pmMergeNotPen,
                                     pmCopy,       pmMergePenNot, pmMerge,   pmWhite};
  return Rop2 >= 1 && Rop2 <= 16 ? modes[Rop2 - 1] : pmCopy;
}

Integer Coord(double V) { return ToPixels(V); }

// Pens and fonts larger than this many pixels are drawn at this size: beyond the largest
// picture an import makes, they only cost time.
constexpr double kMaxStroke = 20000;

// Bits of a colour mask as 8-bit value (for bit-field DIBs).
struct TMaskField {
  DWORD Mask = 0;
  int Shift = 0, Bits = 0;
  explicit TMaskField(DWORD M) : Mask(M) {
    if (!M) return;
    while (!((M >> Shift) & 1)) ++Shift;
    while (Shift + Bits < 32 && ((M >> (Shift + Bits)) & 1)) ++Bits;
  }
  Byte Get(DWORD V) const {
    if (!Bits) return 0;
    const DWORD f = (V & Mask) >> Shift;
    const DWORD max = Bits >= 32 ? 0xFFFFFFFFu : ((DWORD(1) << Bits) - 1);
    return Byte(UInt64(f) * 255 / max);
  }
};

}  // namespace

Integer ToPixels(double V) { return SafeRound<Integer>(std::clamp(V, -1.0e8, 1.0e8)); }

TObject StockObject(DWORD Index) {
  TObject o;
  switch (Index & 0x7FFFFFFF) {
    case 0: case 1: case 2: case 3: case 4: {  // white, light grey, grey, dark grey, black brush
      static const TColor greys[5] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
      o.Kind = TObject::okBrush;
      o.Color = greys[Index & 7];
      break;
    }
    case 5: o.Kind = TObject::okBrush; o.BrushStyle = 1; break;  // null brush
    case 6: o.Kind = TObject::okPen; o.Color = 0xFFFFFF; break;
    case 7: o.Kind = TObject::okPen; break;
    case 8: o.Kind = TObject::okPen; o.PenStyle = 5; break;  // null pen
    case 10: case 11: case 16:
      o.Kind = TObject::okFont; o.Face = "Courier New"; o.FontHeight = 16; break;
    case 12: case 13: case 14: case 17:
      o.Kind = TObject::okFont; o.Face = "Tahoma"; o.FontHeight = 16; break;
    default: o.Kind = TObject::okOther; break;
  }
  return o;
}

bool DecodeDIB(const Byte* Info, size_t InfoSize, const Byte* Bits, size_t BitsSize, DWORD Usage, TBitmap& Out,
               bool& BottomUp) {
  if (InfoSize < 12) throw EDamaged{"bitmap header too short"};
  const DWORD headerSize = IEGetLE32(Info);
  if (headerSize < 12 || headerSize > InfoSize) throw EDamaged{"bitmap header size beyond its record"};
  Int64 width, height;
  Integer bitCount;
  DWORD compression = 0, used = 0;
  size_t entrySize = 4;
  if (headerSize == 12) {
    width = IEGetLE16(Info + 4);
    height = IEGetLE16(Info + 6);
    bitCount = IEGetLE16(Info + 10);
    entrySize = 3;
  } else {
    if (headerSize < 40) throw EDamaged{"bitmap header size unknown"};
    width = std::int32_t(IEGetLE32(Info + 4));
    height = std::int32_t(IEGetLE32(Info + 8));
    bitCount = IEGetLE16(Info + 14);
    compression = IEGetLE32(Info + 16);
    used = IEGetLE32(Info + 32);
  }
  BottomUp = height > 0;
  height = height < 0 ? -height : height;
  if (width <= 0 || height <= 0) throw EDamaged{"bitmap without pixels"};
  if (width * height > kMaxBitmapPixels) throw EDamaged{"bitmap too large"};
  if (Usage != 0) return false;  // colours from a palette the player does not keep
  const bool fields = compression == 3 && (bitCount == 16 || bitCount == 32);
  if (compression != 0 && !fields) return false;  // run-length and embedded JPEG/PNG bitmaps
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
    throw EDamaged{"bitmap of " + IntToStr(bitCount) + " bits per pixel"};
  std::vector<TColor> table;
  size_t at = headerSize;
  DWORD masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (bitCount == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  if (fields) {
    // Masks follow a 40-byte header; later headers hold them inside.
    const size_t m = headerSize == 40 ? at : 40;
    if (m + 12 > InfoSize) throw EDamaged{"bitmap masks beyond their record"};
    for (int i = 0; i < 3; ++i) masks[i] = IEGetLE32(Info + m + 4 * i);
    if (headerSize == 40) at += 12;
  }
  if (bitCount <= 8) {
    const size_t entries = used && used < (1u << bitCount) ? used : (size_t(1) << bitCount);
    if (at + entries * entrySize > InfoSize) throw EDamaged{"bitmap colour table beyond its record"};
    for (size_t i = 0; i < entries; ++i) {
      const Byte* e = Info + at + i * entrySize;
      table.push_back(TColor(e[2]) | TColor(e[1]) << 8 | TColor(e[0]) << 16);
    }
  }
  const Int64 rowBytes = (width * bitCount + 31) / 32 * 4;
  if (rowBytes * height > Int64(BitsSize)) throw EDamaged{"bitmap bits beyond their record"};
  Out.SetPixelFormat(pf32bit);
  Out.SetSize(Integer(width), Integer(height));
  const TMaskField r(masks[0]), g(masks[1]), b(masks[2]);
  for (Int64 y = 0; y < height; ++y) {
    const Byte* src = Bits + (BottomUp ? height - 1 - y : y) * rowBytes;
    Byte* dst = static_cast<Byte*>(Out.ScanLine(Integer(y)));
    for (Int64 x = 0; x < width; ++x, dst += 4) {
      TColor c = 0;
      switch (bitCount) {
        case 1: case 4: case 8: {
          const Int64 bit = x * bitCount;
          const Integer index = (src[bit / 8] >> (8 - bitCount - bit % 8)) & ((1 << bitCount) - 1);
          c = size_t(index) < table.size() ? table[size_t(index)] : 0;
          break;
        }
        case 16: {
          const DWORD v = IEGetLE16(src + 2 * x);
          c = TColor(r.Get(v)) | TColor(g.Get(v)) << 8 | TColor(b.Get(v)) << 16;
          break;
        }
        case 24: c = TColor(src[3 * x + 2]) | TColor(src[3 * x + 1]) << 8 | TColor(src[3 * x]) << 16; break;
        case 32: {
          const DWORD v = IEGetLE32(src + 4 * x);
          c = TColor(r.Get(v)) | TColor(g.Get(v)) << 8 | TColor(b.Get(v)) << 16;
          break;
        }
      }
      dst[0] = Byte(c >> 16);
      dst[1] = Byte(c >> 8);
      dst[2] = Byte(c);
      dst[3] = 255;
    }
  }
  return true;
}

struct TPlayer::TSaved {
  Integer MapMode;
  double WinOrg[2], WinExt[2], ViewOrg[2], ViewExt[2], World[6];
  TColor TextColor, BkColor;
  Integer BkMode, TextAlign, PolyFillMode, Rop2;
  TObject Pen, Brush, Font;
  TPointD Current;
  Integer CanvasLevel;
};

TPlayer::TPlayer(TCanvas* Canvas, const TRect& Dest, const double DeviceFrame[4], double DevicePixelsPerMM)
    : FCanvas(Canvas), FDest(Dest), FPixelsPerMM(DevicePixelsPerMM) {
  std::copy(DeviceFrame, DeviceFrame + 4, FFrame);
  Pen = StockObject(0x80000007);
  Brush = StockObject(0x80000000);
  Font = StockObject(0x8000000D);
  FBaseLevel = FCanvas->SaveDC();
  TRect clip = Dest;
  if (clip.Left > clip.Right) std::swap(clip.Left, clip.Right);
  if (clip.Top > clip.Bottom) std::swap(clip.Top, clip.Bottom);
  FCanvas->IntersectClipRect(clip.Left, clip.Top, clip.Right, clip.Bottom);
  FArea = FCanvas->ClipRect();
  const Int64 area = Int64(std::max(0, FArea.Right - FArea.Left)) * std::max(0, FArea.Bottom - FArea.Top);
  FWorkLeft = kWorkFloor + kWorkPasses * area;
  FCanvas->SaveDC();  // the picture's own clip, which SelectClipRects(RGN_COPY) returns to
}

void TPlayer::Charge(double L, double T, double R, double B, double Pad) {
  if (L > R) std::swap(L, R);
  if (T > B) std::swap(T, B);
  // NaN edges compare false and leave the box empty.
  const double w = std::min<double>(R + Pad + 1, FArea.Right) - std::max<double>(L - Pad, FArea.Left);
  const double h = std::min<double>(B + Pad + 1, FArea.Bottom) - std::max<double>(T - Pad, FArea.Top);
  const Int64 box = w > 0 && h > 0 ? Int64(w) * Int64(h) : 0;
  FWorkLeft -= std::max(box, kRecordCost);
  ++FDrawn;
  if (FWorkLeft < 0)
    throw EDamaged{"its drawing records ask for more work than a picture of " + IntToStr(FArea.Right - FArea.Left) +
                   " x " + IntToStr(FArea.Bottom - FArea.Top) + " pixels needs; drawing stopped at record " +
                   IntToStr(FDrawn)};
}

void TPlayer::ChargePoints(const std::vector<std::vector<TPointD>>& Figures, double Pad) {
  double l = HUGE_VAL, t = HUGE_VAL, r = -HUGE_VAL, b = -HUGE_VAL;
  for (const auto& f : Figures)
    for (const TPointD& p : f) {
      l = std::min(l, p.X), r = std::max(r, p.X);
      t = std::min(t, p.Y), b = std::max(b, p.Y);
    }
  Charge(l, t, r, b, Pad);
}

void TPlayer::ChargeBox(double L, double T, double R, double B) {
  const TPointD a = ToDest(L, T), b = ToDest(R, B);
  Charge(a.X, a.Y, b.X, b.Y, PenPad());
}

double TPlayer::PenPad() const { return Pen.PenWidth > 0 ? std::min(Pen.PenWidth * ScaleX(), kMaxStroke) : 1; }

TPlayer::~TPlayer() { FCanvas->RestoreDC(FBaseLevel); }

void TPlayer::SetMapMode(Integer Mode) {
  if (Fixed) {
    MapMode = Mode == 7 ? 7 : 8;  // the picture's box stays mapped; isotropic keeps proportions
    return;
  }
  MapMode = Mode;
  // Units of the fixed modes in millimetres; y grows upwards in them.
  double mm = 0;
  switch (Mode) {
    case 2: mm = 0.1; break;            // MM_LOMETRIC
    case 3: mm = 0.01; break;           // MM_HIMETRIC
    case 4: mm = 0.254; break;          // MM_LOENGLISH
    case 5: mm = 0.0254; break;         // MM_HIENGLISH
    case 6: mm = 25.4 / 1440; break;    // MM_TWIPS
    default: return;
  }
  WinExt[0] = WinExt[1] = 1;
  ViewExt[0] = mm * FPixelsPerMM;
  ViewExt[1] = -mm * FPixelsPerMM;
}

TPointD TPlayer::ToDest(double X, double Y) const {
  // World transform, then page to device, then the device frame to the destination.
  const double wx = X * World[0] + Y * World[2] + World[4];
  const double wy = X * World[1] + Y * World[3] + World[5];
  double sx = 1, sy = 1;
  if (MapMode != 1 && WinExt[0] != 0 && WinExt[1] != 0) {
    sx = ViewExt[0] / WinExt[0];
    sy = ViewExt[1] / WinExt[1];
    if (MapMode == 7) {  // MM_ISOTROPIC: the smaller scale both ways
      const double s = std::min(std::fabs(sx), std::fabs(sy));
      sx = sx < 0 ? -s : s;
      sy = sy < 0 ? -s : s;
    }
  }
  const double dx = (wx - WinOrg[0]) * sx + ViewOrg[0];
  const double dy = (wy - WinOrg[1]) * sy + ViewOrg[1];
  const double fw = FFrame[2] - FFrame[0], fh = FFrame[3] - FFrame[1];
  TPointD p;
  p.X = FDest.Left + (fw != 0 ? (dx - FFrame[0]) * (FDest.Right - FDest.Left) / fw : 0);
  p.Y = FDest.Top + (fh != 0 ? (dy - FFrame[1]) * (FDest.Bottom - FDest.Top) / fh : 0);
  return p;
}

TPoint TPlayer::ToPixel(double X, double Y) const {
  const TPointD p = ToDest(X, Y);
  return TPoint{Coord(p.X), Coord(p.Y)};
}

double TPlayer::ScaleX() const {
  const TPointD a = ToDest(0, 0), b = ToDest(1, 0);
  return std::hypot(b.X - a.X, b.Y - a.Y);
}

double TPlayer::ScaleY() const {
  const TPointD a = ToDest(0, 0), b = ToDest(0, 1);
  return std::hypot(b.X - a.X, b.Y - a.Y);
}

bool TPlayer::AxisAligned() const { return World[1] == 0 && World[2] == 0; }

void TPlayer::Save() {
  if (FSaved.size() >= kMaxSavedStates) throw EDamaged{"states saved more than " + IntToStr(Integer(kMaxSavedStates)) + " levels deep"};
  TSaved s{MapMode, {WinOrg[0], WinOrg[1]}, {WinExt[0], WinExt[1]}, {ViewOrg[0], ViewOrg[1]},
           {ViewExt[0], ViewExt[1]}, {}, TextColor, BkColor, BkMode, TextAlign, PolyFillMode, Rop2, Pen, Brush,
           Font, Current, FCanvas->SaveDC()};
  std::copy(World, World + 6, s.World);
  FSaved.push_back(s);
}

bool TPlayer::Restore(Integer Level) {
  const Int64 depth = Int64(FSaved.size());
  const Int64 target = Level < 0 ? depth + Level : Int64(Level) - 1;  // index of the state to return to
  if (target < 0 || target >= depth) return false;
  const TSaved& s = FSaved[size_t(target)];
  MapMode = s.MapMode;
  std::copy(s.WinOrg, s.WinOrg + 2, WinOrg);
  std::copy(s.WinExt, s.WinExt + 2, WinExt);
  std::copy(s.ViewOrg, s.ViewOrg + 2, ViewOrg);
  std::copy(s.ViewExt, s.ViewExt + 2, ViewExt);
  std::copy(s.World, s.World + 6, World);
  TextColor = s.TextColor;
  BkColor = s.BkColor;
  BkMode = s.BkMode;
  TextAlign = s.TextAlign;
  PolyFillMode = s.PolyFillMode;
  Rop2 = s.Rop2;
  Pen = s.Pen;
  Brush = s.Brush;
  Font = s.Font;
  Current = s.Current;
  FCanvas->RestoreDC(s.CanvasLevel);
  FSaved.resize(size_t(target));
  return true;
}

void TPlayer::ModifyWorld(const double X[6], DWORD Mode) {
  switch (Mode) {
    case 1: {  // MWT_IDENTITY
      const double id[6] = {1, 0, 0, 1, 0, 0};
      std::copy(id, id + 6, World);
      break;
    }
    case 2:    // MWT_LEFTMULTIPLY: X x World
    case 3: {  // MWT_RIGHTMULTIPLY: World x X
      const double* a = Mode == 2 ? X : World;
      const double* b = Mode == 2 ? World : X;
      const double m[6] = {a[0] * b[0] + a[1] * b[2],        a[0] * b[1] + a[1] * b[3],
                           a[2] * b[0] + a[3] * b[2],        a[2] * b[1] + a[3] * b[3],
                           a[4] * b[0] + a[5] * b[2] + b[4], a[4] * b[1] + a[5] * b[3] + b[5]};
      std::copy(m, m + 6, World);
      break;
    }
    case 4: std::copy(X, X + 6, World); break;  // MWT_SET
    default: break;
  }
}

void TPlayer::ApplyPen() {
  TPen* p = FCanvas->Pen();
  p->SetColor(Pen.Color & 0xFFFFFF);
  const Integer style = Pen.PenStyle & 0x0F;
  const double width = Pen.PenWidth > 0 ? std::min(Pen.PenWidth * ScaleX(), kMaxStroke) : 1;
  p->SetWidth(std::max(1, Coord(width)));
  static const TPenStyle styles[] = {psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame};
  // Wide pens draw solid, as the desktop draws them.
  TPenStyle s = style <= 6 ? styles[style] : psSolid;
  if (p->Width() > 1 && s != psClear && s != psInsideFrame) s = psSolid;
  p->SetStyle(s);
  p->SetMode(PenModeOf(Rop2));
}

void TPlayer::ApplyBrush() {
  TBrush* b = FCanvas->Brush();
  b->SetBitmap(nullptr);
  switch (Brush.BrushStyle) {
    case 1:  // BS_NULL
      b->SetStyle(bsClear);
      break;
    case 2: {  // BS_HATCHED
      static const TBrushStyle hatches[6] = {bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross};
      b->SetColor(Brush.Color & 0xFFFFFF);
      b->SetStyle(Brush.Hatch >= 0 && Brush.Hatch < 6 ? hatches[Brush.Hatch] : bsSolid);
      break;
    }
    case 3: case 5: case 6:  // pattern brushes
      b->SetStyle(bsSolid);
      if (Brush.Pattern) b->SetBitmap(Brush.Pattern.get());
      else b->SetColor(Brush.Color & 0xFFFFFF);
      break;
    default:
      b->SetColor(Brush.Color & 0xFFFFFF);
      b->SetStyle(bsSolid);
      break;
  }
}

void TPlayer::AddFigure(std::vector<TPointD> Figure, bool Closed) {
  FPath.push_back(std::move(Figure));
  FPathClosed.push_back(Closed);
}

void TPlayer::MoveTo(double X, double Y) {
  Current = {X, Y};
  if (FInPath) AddFigure({ToDest(X, Y)}, false);
}

void TPlayer::LineTo(double X, double Y) {
  if (FInPath) {
    if (FPath.empty() || FPathClosed.back()) AddFigure({ToDest(Current.X, Current.Y)}, false);
    FPath.back().push_back(ToDest(X, Y));
  } else {
    const TPointD from = ToDest(Current.X, Current.Y), to = ToDest(X, Y);
    Charge(from.X, from.Y, to.X, to.Y, PenPad());
    ApplyPen();
    const TPoint a = ToPixel(Current.X, Current.Y), b = ToPixel(X, Y);
    FCanvas->MoveTo(a.X, a.Y);
    FCanvas->LineTo(b.X, b.Y);
  }
  Current = {X, Y};
}

std::vector<TPointD> TPlayer::EllipsePoints(double L, double T, double R, double B) const {
  std::vector<TPointD> pts;
  const double cx = (L + R) / 2, cy = (T + B) / 2, rx = (R - L) / 2, ry = (B - T) / 2;
  for (int i = 0; i < 4 * kCurveSteps; ++i) {
    const double a = i * 2 * M_PI / (4 * kCurveSteps);
    pts.push_back(ToDest(cx + rx * std::cos(a), cy - ry * std::sin(a)));
  }
  return pts;
}

void TPlayer::DrawFigures(const std::vector<std::vector<TPointD>>& Figures, bool Closed, bool Fill, bool Stroke) {
  ChargePoints(Figures, PenPad());
  std::vector<std::vector<TPoint>> figs;
  for (const auto& f : Figures) {
    std::vector<TPoint> p;
    for (const TPointD& d : f) p.push_back(TPoint{Coord(d.X), Coord(d.Y)});
    if (!p.empty()) figs.push_back(std::move(p));
  }
  if (figs.empty()) return;
  if (Fill && Closed) {
    ApplyBrush();
    if (figs.size() == 1 && PolyFillMode != 2) {
      // One figure: the canvas fills it with the pen's raster operation and outlines it.
      if (Stroke) ApplyPen();
      else FCanvas->Pen()->SetStyle(psClear);
      FCanvas->Polygon(figs[0]);
      return;
    }
    TRegion area;
    bool first = true;
    for (const auto& f : figs) {
      if (f.size() < 3) continue;
      const TRegion r = TRegion::CreatePolygonRgn(f, PolyFillMode == 2 ? WINDING : ALTERNATE);
      if (first) area = r, first = false;
      else CombineRgn(area, area, r, PolyFillMode == 2 ? RGN_OR : RGN_XOR);
    }
    if (!first) FCanvas->FillRgn(area);
  }
  if (!Stroke) return;
  ApplyPen();
  for (auto f : figs) {
    if (Closed && f.size() > 1) f.push_back(f.front());
    if (f.size() == 1) f.push_back(f.front());
    FCanvas->Polyline(f);
  }
}

void TPlayer::Rectangle(double L, double T, double R, double B) {
  if (FInPath || !AxisAligned()) {
    std::vector<TPointD> f = {ToDest(L, T), ToDest(R, T), ToDest(R, B), ToDest(L, B)};
    if (FInPath) return AddFigure(std::move(f), true);
    return DrawFigures({f}, true, true, true);
  }
  ChargeBox(L, T, R, B);
  ApplyPen();
  ApplyBrush();
  const TPoint a = ToPixel(L, T), b = ToPixel(R, B);
  FCanvas->Rectangle(a.X, a.Y, b.X, b.Y);
}

void TPlayer::RoundRect(double L, double T, double R, double B, double W, double H) {
  if (FInPath || !AxisAligned()) return Rectangle(L, T, R, B);
  ChargeBox(L, T, R, B);
  ApplyPen();
  ApplyBrush();
  const TPoint a = ToPixel(L, T), b = ToPixel(R, B);
  FCanvas->RoundRect(a.X, a.Y, b.X, b.Y, Coord(std::fabs(W) * ScaleX()), Coord(std::fabs(H) * ScaleY()));
}

void TPlayer::Ellipse(double L, double T, double R, double B) {
  if (FInPath) return AddFigure(EllipsePoints(L, T, R, B), true);
  if (!AxisAligned()) return DrawFigures({EllipsePoints(L, T, R, B)}, true, true, true);
  ChargeBox(L, T, R, B);
  ApplyPen();
  ApplyBrush();
  const TPoint a = ToPixel(L, T), b = ToPixel(R, B);
  FCanvas->Ellipse(a.X, a.Y, b.X, b.Y);
}

void TPlayer::ArcShape(Integer Kind, double L, double T, double R, double B, double X1, double Y1, double X2,
                       double Y2) {
  const double cx = (L + R) / 2, cy = (T + B) / 2, rx = std::fabs(R - L) / 2, ry = std::fabs(B - T) / 2;
  if (Kind == 3 || FInPath || !AxisAligned()) {
    // The arc as points, counter-clockwise (as seen on a y-down page) from the start ray to the end ray.
    double a1 = std::atan2(-(Y1 - cy), X1 - cx), a2 = std::atan2(-(Y2 - cy), X2 - cx);
    if (a2 <= a1) a2 += 2 * M_PI;
    std::vector<TPointD> arc;
    const int steps = std::max(2, int(4 * kCurveSteps * (a2 - a1) / (2 * M_PI)));
    for (int i = 0; i <= steps; ++i) {
      const double a = a1 + (a2 - a1) * i / steps;
      arc.push_back(ToDest(cx + rx * std::cos(a), cy - ry * std::sin(a)));
    }
    const TPointD end{cx + rx * std::cos(a2), cy - ry * std::sin(a2)};
    if (Kind == 3) {
      // ARCTO: a line from the current position to the arc's start, then the arc.
      if (FInPath) {
        if (FPath.empty() || FPathClosed.back()) AddFigure({ToDest(Current.X, Current.Y)}, false);
        FPath.back().insert(FPath.back().end(), arc.begin(), arc.end());
      } else {
        arc.insert(arc.begin(), ToDest(Current.X, Current.Y));
        DrawFigures({arc}, false, false, true);
      }
      Current = end;
      return;
    }
    if (Kind == 2) arc.push_back(ToDest(cx, cy));
    if (FInPath) return AddFigure(std::move(arc), Kind != 0);
    return DrawFigures({arc}, Kind != 0, Kind != 0, true);
  }
  ChargeBox(L, T, R, B);
  ApplyPen();
  ApplyBrush();
  const TPoint a = ToPixel(L, T), b = ToPixel(R, B), s = ToPixel(X1, Y1), e = ToPixel(X2, Y2);
  if (Kind == 0) FCanvas->Arc(a.X, a.Y, b.X, b.Y, s.X, s.Y, e.X, e.Y);
  else if (Kind == 1) FCanvas->Chord(a.X, a.Y, b.X, b.Y, s.X, s.Y, e.X, e.Y);
  else FCanvas->Pie(a.X, a.Y, b.X, b.Y, s.X, s.Y, e.X, e.Y);
}

void TPlayer::Poly(const std::vector<TPointD>& Points, bool Closed) {
  if (Points.empty()) return;
  std::vector<TPointD> f;
  for (const TPointD& p : Points) f.push_back(ToDest(p.X, p.Y));
  if (FInPath) return AddFigure(std::move(f), Closed);
  DrawFigures({f}, Closed, Closed, true);
}

void TPlayer::PolyTo(const std::vector<TPointD>& Points, bool Bezier) {
  std::vector<TPointD> f;
  TPointD from = Current;
  if (!Bezier) {
    for (const TPointD& p : Points) f.push_back(ToDest(p.X, p.Y));
  } else {
    for (size_t i = 0; i + 2 < Points.size(); i += 3) {
      const TPointD c1 = Points[i], c2 = Points[i + 1], to = Points[i + 2];
      for (int k = 1; k <= kCurveSteps; ++k) {
        const double t = double(k) / kCurveSteps, u = 1 - t;
        const double x = u * u * u * from.X + 3 * u * u * t * c1.X + 3 * u * t * t * c2.X + t * t * t * to.X;
        const double y = u * u * u * from.Y + 3 * u * u * t * c1.Y + 3 * u * t * t * c2.Y + t * t * t * to.Y;
        f.push_back(ToDest(x, y));
      }
      from = to;
    }
  }
  if (f.empty()) return;
  if (FInPath) {
    if (FPath.empty() || FPathClosed.back()) AddFigure({ToDest(Current.X, Current.Y)}, false);
    FPath.back().insert(FPath.back().end(), f.begin(), f.end());
  } else {
    f.insert(f.begin(), ToDest(Current.X, Current.Y));
    DrawFigures({f}, false, false, true);
  }
  Current = Bezier ? from : Points.back();
}

void TPlayer::PolyBezier(const std::vector<TPointD>& Points) {
  if (Points.empty()) return;
  const TPointD keep = Current;
  // A curve of its own: it starts at its first point and leaves the current position alone.
  if (FInPath) AddFigure({ToDest(Points[0].X, Points[0].Y)}, false);
  Current = Points[0];
  PolyTo(std::vector<TPointD>(Points.begin() + 1, Points.end()), true);
  Current = keep;
}

void TPlayer::PolyPoly(const std::vector<std::vector<TPointD>>& Figures, bool Closed) {
  std::vector<std::vector<TPointD>> figs;
  for (const auto& fig : Figures) {
    std::vector<TPointD> f;
    for (const TPointD& p : fig) f.push_back(ToDest(p.X, p.Y));
    if (FInPath) AddFigure(f, Closed);
    else figs.push_back(std::move(f));
  }
  if (!FInPath) DrawFigures(figs, Closed, Closed, true);
}

void TPlayer::SetPixel(double X, double Y, TColor Color) {
  const TPointD d = ToDest(X, Y);
  Charge(d.X, d.Y, d.X, d.Y, 0);
  const TPoint p = ToPixel(X, Y);
  FCanvas->SetPixel(p.X, p.Y, Color & 0xFFFFFF);
}

void TPlayer::Text(double X, double Y, const std::u16string& Chars, const std::vector<double>& Dx, const double* Rect,
                   bool Opaque, bool Clipped) {
  if (FInPath) return;
  TPoint rectA{}, rectB{};
  if (Rect) {
    rectA = ToPixel(Rect[0], Rect[1]);
    rectB = ToPixel(Rect[2], Rect[3]);
    if (rectA.X > rectB.X) std::swap(rectA.X, rectB.X);
    if (rectA.Y > rectB.Y) std::swap(rectA.Y, rectB.Y);
  }
  if (Rect && Opaque) {
    Charge(rectA.X, rectA.Y, rectB.X, rectB.Y, 0);
    FCanvas->Brush()->SetBitmap(nullptr);
    FCanvas->Brush()->SetColor(BkColor & 0xFFFFFF);
    FCanvas->Brush()->SetStyle(bsSolid);
    FCanvas->FillRect(TRect{rectA.X, rectA.Y, rectB.X, rectB.Y});
  }
  if (Chars.empty()) return;
  const bool updateCP = TextAlign & 1;
  if (updateCP) X = Current.X, Y = Current.Y;
  TFont* f = FCanvas->Font();
  f->SetName(Font.Face.empty() ? AnsiString("Tahoma") : Font.Face);
  const double h = Font.FontHeight == 0 ? -12 : std::clamp(Font.FontHeight * ScaleY(), -kMaxStroke, kMaxStroke);
  f->SetHeight(h < 0 ? std::min(-1, Coord(h)) : std::max(1, Coord(h)));
  f->SetColor(TextColor & 0xFFFFFF);
  TFontStyles st;
  if (Font.Weight >= 600) st.Include(fsBold);
  if (Font.Italic) st.Include(fsItalic);
  if (Font.Underline) st.Include(fsUnderline);
  if (Font.StrikeOut) st.Include(fsStrikeOut);
  f->SetStyle(st);
  f->SetOrientation(Font.Escapement);
  TBrush* b = FCanvas->Brush();
  b->SetBitmap(nullptr);
  if (BkMode == 2 && !Opaque) {
    b->SetColor(BkColor & 0xFFFFFF);
    b->SetStyle(bsSolid);
  } else {
    b->SetStyle(bsClear);
  }
  // The pieces to draw: the whole string, or each character at its own advance.
  std::vector<std::pair<double, AnsiString>> pieces;
  double total = 0;
  if (Dx.size() == Chars.size()) {
    for (size_t i = 0; i < Chars.size(); ++i) {
      pieces.emplace_back(total, WideToAnsi(Chars.substr(i, 1)));
      total += Dx[i];
    }
  } else {
    pieces.emplace_back(0.0, WideToAnsi(Chars));
  }
  const double scale = ScaleX();
  const double width = Dx.size() == Chars.size() ? total * scale : double(FCanvas->TextWidth(pieces[0].second));
  const TTextMetric m = f->Metrics();
  const TPointD origin = ToDest(X, Y);
  double left = origin.X, top = origin.Y;
  if ((TextAlign & 6) == 6) left -= width / 2;
  else if (TextAlign & 2) left -= width;
  if ((TextAlign & 24) == 24) top -= m.tmAscent;
  else if (TextAlign & 8) top -= m.tmHeight;
  // The row may turn about its origin by any escapement: its box is taken all round it.
  const double reach = std::fabs(width) + std::fabs(h) + m.tmHeight;
  Charge(origin.X - reach, origin.Y - reach, origin.X + reach, origin.Y + reach, 0);
  if (Clipped && Rect) {
    FCanvas->SaveDC();
    FCanvas->IntersectClipRect(rectA.X, rectA.Y, rectB.X, rectB.Y);
  }
  for (const auto& [offset, text] : pieces) FCanvas->TextOut(Coord(left + offset * scale), Coord(top), text);
  if (Clipped && Rect) FCanvas->RestoreDC(-1);
  if (updateCP) {
    const double advance = scale > 0 ? width / scale : 0;
    Current.X += (TextAlign & 6) == 6 ? 0 : ((TextAlign & 2) ? -advance : advance);
  }
}

// Cuts the source span S0..S1 (either way round) to the bitmap's 0..Size and the destination
// span From..From + Length with it, in proportion; false when nothing of the bitmap is left.
static bool CutToBitmap(Integer& S0, Integer& S1, Integer Size, double& From, double& Length) {
  const Integer c0 = std::clamp(S0, 0, Size), c1 = std::clamp(S1, 0, Size);
  if (c0 == c1) return false;
  const double span = double(S1) - double(S0);
  const double to = From + Length * ((double(c1) - S0) / span);
  From += Length * ((double(c0) - S0) / span);
  Length = to - From;
  S0 = c0, S1 = c1;
  return true;
}

void TPlayer::Blit(double X, double Y, double W, double H, TBitmap& Bitmap, const TRect& SourceRect, DWORD Rop) {
  if (FInPath) return;
  // A source beyond the bitmap has no pixels to give: only the bitmap's part of it is copied, to
  // the matching part of the destination (a source of millions of rows over a bitmap of two
  // would otherwise have the canvas build an image of that size).
  TRect source = SourceRect;
  if (!CutToBitmap(source.Left, source.Right, Bitmap.Width(), X, W) ||
      !CutToBitmap(source.Top, source.Bottom, Bitmap.Height(), Y, H))
    return;
  const TPoint a = ToPixel(X, Y), b = ToPixel(X + W, Y + H);
  Charge(a.X, a.Y, b.X, b.Y, 0);
  const TCopyMode keep = FCanvas->CopyMode();
  FCanvas->SetCopyMode(Rop);
  FCanvas->CopyRect(TRect{a.X, a.Y, b.X, b.Y}, Bitmap.Canvas(), source);
  FCanvas->SetCopyMode(keep);
}

void TPlayer::PatBlt(double X, double Y, double W, double H, DWORD Rop) {
  if (FInPath) return;
  TPoint a = ToPixel(X, Y), b = ToPixel(X + W, Y + H);
  if (a.X > b.X) std::swap(a.X, b.X);
  if (a.Y > b.Y) std::swap(a.Y, b.Y);
  const TRect r{a.X, a.Y, b.X, b.Y};
  TBrush* brush = FCanvas->Brush();
  if (Rop == cmPatCopy || Rop == cmBlackness || Rop == cmWhiteness || Rop == cmDstInvert)
    Charge(r.Left, r.Top, r.Right, r.Bottom, 0);
  switch (Rop) {
    case cmPatCopy:
      ApplyBrush();
      if (brush->Style() != bsClear) FCanvas->FillRect(r);
      break;
    case cmBlackness:
    case cmWhiteness:
      brush->SetBitmap(nullptr);
      brush->SetColor(Rop == cmBlackness ? 0 : 0xFFFFFF);
      brush->SetStyle(bsSolid);
      FCanvas->FillRect(r);
      break;
    case cmDstInvert:
      FCanvas->Pen()->SetStyle(psClear);
      FCanvas->Pen()->SetMode(pmNot);
      FCanvas->Brush()->SetStyle(bsSolid);
      FCanvas->Rectangle(r.Left, r.Top, r.Right + 1, r.Bottom + 1);
      FCanvas->Pen()->SetMode(pmCopy);
      break;
    default:
      Skip();
      break;
  }
}

void TPlayer::IntersectClip(double L, double T, double R, double B) {
  TPoint a = ToPixel(L, T), b = ToPixel(R, B);
  if (a.X > b.X) std::swap(a.X, b.X);
  if (a.Y > b.Y) std::swap(a.Y, b.Y);
  FCanvas->IntersectClipRect(a.X, a.Y, b.X, b.Y);
}

void TPlayer::ExcludeClip(double L, double T, double R, double B) {
  TPoint a = ToPixel(L, T), b = ToPixel(R, B);
  if (a.X > b.X) std::swap(a.X, b.X);
  if (a.Y > b.Y) std::swap(a.Y, b.Y);
  FCanvas->ExcludeClipRect(a.X, a.Y, b.X, b.Y);
}

void TPlayer::SelectClipRects(const std::vector<TRect>& Rects, Integer Mode) {
  // The region's rectangles are device pixels: only the frame's mapping applies to them.
  const double fw = FFrame[2] - FFrame[0], fh = FFrame[3] - FFrame[1];
  auto mapX = [&](double x) { return Coord(FDest.Left + (fw != 0 ? (x - FFrame[0]) * (FDest.Right - FDest.Left) / fw : 0)); };
  auto mapY = [&](double y) { return Coord(FDest.Top + (fh != 0 ? (y - FFrame[1]) * (FDest.Bottom - FDest.Top) / fh : 0)); };
  TRegion region;
  bool any = false;
  for (const TRect& r : Rects) {
    TRegion piece = TRegion::CreateRectRgn(mapX(r.Left), mapY(r.Top), mapX(r.Right), mapY(r.Bottom));
    if (!any) region = piece, any = true;
    else CombineRgn(region, region, piece, RGN_OR);
  }
  TRegion current;
  const bool clipped = FCanvas->GetClipRgn(current);
  // The picture's own clip bounds every selection.
  TRegion own = TRegion::CreateRectRgn(std::min(FDest.Left, FDest.Right), std::min(FDest.Top, FDest.Bottom),
                                       std::max(FDest.Left, FDest.Right), std::max(FDest.Top, FDest.Bottom));
  if (Mode < RGN_AND || Mode > RGN_DIFF || !any) {  // RGN_COPY, or a mode no region op knows
    if (any) CombineRgn(own, own, region, RGN_AND);
    FCanvas->SelectClipRgn(&own);
    return;
  }
  TRegion result = clipped ? current : own;
  CombineRgn(result, result, region, Mode);
  CombineRgn(result, result, own, RGN_AND);
  FCanvas->SelectClipRgn(&result);
}

void TPlayer::BeginPath() {
  FInPath = true;
  FPath.clear();
  FPathClosed.clear();
}

void TPlayer::AbortPath() {
  FInPath = false;
  FPath.clear();
  FPathClosed.clear();
}

void TPlayer::CloseFigure() {
  if (!FPath.empty()) FPathClosed.back() = true;
}

void TPlayer::FillPath(bool Fill, bool Stroke) {
  FInPath = false;
  // Filling closes every figure; stroking draws open ones open.
  std::vector<std::vector<TPointD>> closed, open;
  for (size_t i = 0; i < FPath.size(); ++i) (FPathClosed[i] || Fill ? closed : open).push_back(FPath[i]);
  if (!closed.empty()) DrawFigures(closed, true, Fill, Stroke);
  if (!open.empty() && Stroke) DrawFigures(open, false, false, true);
  FPath.clear();
  FPathClosed.clear();
}

void TPlayer::SelectClipPath(Integer Mode) {
  FInPath = false;
  TRegion area;
  bool any = false;
  for (const auto& f : FPath) {
    std::vector<TPoint> p;
    for (const TPointD& d : f) p.push_back(TPoint{Coord(d.X), Coord(d.Y)});
    if (p.size() < 3) continue;
    const TRegion r = TRegion::CreatePolygonRgn(p, PolyFillMode == 2 ? WINDING : ALTERNATE);
    if (!any) area = r, any = true;
    else CombineRgn(area, area, r, PolyFillMode == 2 ? RGN_OR : RGN_XOR);
  }
  FPath.clear();
  FPathClosed.clear();
  if (!any) area = TRegion::CreateRectRgn(0, 0, 0, 0);
  TRegion current;
  TRegion own = TRegion::CreateRectRgn(std::min(FDest.Left, FDest.Right), std::min(FDest.Top, FDest.Bottom),
                                       std::max(FDest.Left, FDest.Right), std::max(FDest.Top, FDest.Bottom));
  TRegion result = FCanvas->GetClipRgn(current) ? current : own;
  CombineRgn(result, result, area, Mode >= 1 && Mode <= 5 ? Mode : RGN_AND);
  CombineRgn(result, result, own, RGN_AND);
  FCanvas->SelectClipRgn(&result);
}

}  // namespace iemf
