// Drawing the vector objects: onto the view's back buffer in client coordinates (following zoom
// and scrolling) and into an image in bitmap coordinates. Shapes go through the anti-aliasing
// canvas, which also gives pen and brush their transparency; the text-bearing kinds, rulers and
// angles are drawn by ie_vect_text.cpp.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/core/ie_canvas.h"
#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/view/ie_vect.h"
#include "platform/gui/pixel_rows.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/sysutils.h"

namespace {
constexpr double kPi = 3.14159265358979323846;

// Toward zero; NaN and values beyond int32 never reach the conversion.
Integer T(double V) { return SafeTrunc<Integer>(V); }

void Grow(TRect& R, Integer X, Integer Y) { IEAddPointToRect(R, X, Y); }

}  // namespace

Integer TZodivErVect::MapX(Integer Value, bool ToView, Integer Factor) {
  return (ToView ? BitmapToScreenX(Value) : Value) * Factor;
}

Integer TZodivErVect::MapY(Integer Value, bool ToView, Integer Factor) {
  return (ToView ? BitmapToScreenY(Value) : Value) * Factor;
}

Integer TZodivErVect::ZoomedPenWidth(const TIEVObjectRec& Obj, double ZX, double ZY) {
  if (!FZoomObjectsWidth) return Obj.PenWidth;
  return T(std::ceil(std::max(std::min(ZX, ZY) * Obj.PenWidth, 1.0)));
}

void TZodivErVect::PolylineScale(const TIEVObjectRec& o, double& SX, double& SY) {
  const Integer bw = o.PolyBaseRect.Right - o.PolyBaseRect.Left;
  const Integer bh = o.PolyBaseRect.Bottom - o.PolyBaseRect.Top;
  SX = bw != 0 ? double(o.X2 - o.X1) / bw : 1.0;
  SY = bh != 0 ? double(o.Y2 - o.Y1) / bh : 1.0;
}

void TZodivErVect::FitPolylineBox(Integer hobj) {
  TIEVObjectRec* o = GetObjectRec(hobj);
  if (!o || o->PolyPoints.empty()) return;
  double sx, sy;
  PolylineScale(*o, sx, sy);
  Integer x1 = 1000000, y1 = 1000000, x2 = -1000000, y2 = -1000000;
  Integer bx1 = 1000000, by1 = 1000000, bx2 = -1000000, by2 = -1000000;
  for (const TPoint& p : o->PolyPoints) {
    const Integer mx = SafeRound<Integer>((p.X - o->PolyBaseRect.Left) * sx) + o->X1;
    const Integer my = SafeRound<Integer>((p.Y - o->PolyBaseRect.Top) * sy) + o->Y1;
    x1 = std::min(x1, mx), y1 = std::min(y1, my), x2 = std::max(x2, mx), y2 = std::max(y2, my);
    bx1 = std::min(bx1, p.X), by1 = std::min(by1, p.Y), bx2 = std::max(bx2, p.X), by2 = std::max(by2, p.Y);
  }
  o->X1 = x1, o->Y1 = y1, o->X2 = x2, o->Y2 = y2;
  o->PolyBaseRect = TRect{bx1, by1, bx2, by2};
}

TRect TZodivErVect::GetObjectsExtent() {
  TRect R{0, 0, 0, 0};
  for (Integer h : FZOrder) {
    const TIEVObjectRec& o = FObjects[static_cast<size_t>(h)];
    R.Right = std::max(R.Right, std::max(o.X1, o.X2) + 1);
    R.Bottom = std::max(R.Bottom, std::max(o.Y1, o.Y2) + 1);
  }
  return R;
}

void TZodivErVect::SetObjAntialias(bool Value) {
  if (FObjAntialias == Value) return;
  FObjAntialias = Value;
  Update();
}

void TZodivErVect::SetZoomObjectsWidth(bool Value) {
  FZoomObjectsWidth = Value;
  Update();
}

void TZodivErVect::SetBitmapResampleFilter(TResampleFilter Value) {
  FBitmapResampleFilter = Value;
  Update();
}

void TZodivErVect::SetOutputDrawing(bool Value) {
  FOutputDrawing = Value;
  Update();
}

void TZodivErVect::DrawArrow(TIECanvas* C, Byte Shape, Integer tx, Integer ty, Integer ex, Integer ey, Integer aw,
                             Integer ah, TRect& Extent) {
  if (Shape != 1 && Shape != 2) return;
  double a;
  if (ex == tx)
    a = ty < ey ? -kPi / 2 : kPi / 2;
  else
    a = IEAngleBetweenSegments(tx, ty, ex, ey, tx, ey);
  const bool Falling = (tx < ex && ty < ey) || (ex < tx && ey < ty);
  const double q = Falling ? 2 * kPi - a + kPi / 2 : a + kPi / 2;
  const double r = ((tx > ex && ty != ey) || (tx < ex && ty == ey)) ? q - kPi / 2 : q + kPi / 2;
  const TPoint B{tx + T(std::cos(r) * ah), ty + T(std::sin(r) * ah)};
  const double h = aw / 2.0;
  const TPoint o1{T(std::cos(q) * h), T(std::sin(q) * h)};
  const TPoint o2{T(std::cos(q + kPi) * h), T(std::sin(q + kPi) * h)};
  std::vector<TPoint> P;
  if (Shape == 1)
    P = {{tx + o1.X, ty + o1.Y}, {tx + o2.X, ty + o2.Y}, B};
  else
    P = {{B.X + o1.X, B.Y + o1.Y}, {B.X + o2.X, B.Y + o2.Y}, {tx, ty}};
  C->Polygon(P);
  for (const TPoint& p : P) Grow(Extent, p.X, p.Y);
}

namespace {
// An opaque 24-bit picture without effects, stretched to the nearest pixel into a box wholly on a
// 32-bit Dest, goes straight into the rows, each pixel keeping its fourth byte: the pixels the
// image renderer gives through a 24-bit copy of the box. False when the picture needs more.
bool StretchPlainInto32(TIEBitmap* B, TBitmap* Dest, Integer X, Integer Y, Integer W, Integer H,
                        Integer Transparency, TResampleFilter Filter) {
  const Integer sw = B->GetWidth(), sh = B->GetHeight();
  if (B->GetPixelFormat() != ie24RGB || Transparency < 255 || B->UseChannelOffsets || B->Contrast != 0 ||
      (B->HasAlphaChannel() && !B->GetAlphaChannel()->Full) || (Filter != rfNone && (W != sw || H != sh)) ||
      X < 0 || Y < 0 || W <= 0 || H <= 0 || X + W > Dest->Width() || Y + H > Dest->Height())
    return false;
  // The renderer's tables: the source column and row under each destination pixel's left edge.
  const double zx = static_cast<double>(sw) / W, zy = static_cast<double>(sh) / H;
  std::vector<Integer> Columns(static_cast<size_t>(W));
  for (Integer c = 0; c < W; ++c) Columns[size_t(c)] = std::clamp(SafeTrunc<Integer>(c * zx), 0, sw - 1);
  // Rows are only read: a store that writes fetched rows back is told so, as the renderer does.
  struct TReading {
    TIEBitmap* B;
    TIEDataAccess Saved;
    ~TReading() { B->Access = Saved; }
  } Reading{B, B->Access};
  B->Access = iedRead;
  for (Integer r = 0; r < H; ++r) {
    const Integer sy = std::clamp(SafeTrunc<Integer>(r * zy), 0, sh - 1);
    const Byte* From = static_cast<const Byte*>(B->GetScanline(sy));
    uint32_t* To = static_cast<uint32_t*>(Dest->ScanLine(Y + r)) + X;
    for (Integer c = 0; c < W; ++c) {
      const Byte* p = From + size_t(Columns[size_t(c)]) * 3;
      To[c] = (To[c] & 0xFF000000u) | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
  }
  return true;
}

// Stretches the whole image into the box on Dest. The image renderer writes 24-bit bitmaps, so
// a 32-bit target lends it the covered part through a 24-bit copy, unless the plain stretch
// above can draw it straight.
void RenderImage(TIEBitmap* B, TBitmap* Dest, Integer X, Integer Y, Integer W, Integer H, Integer Transparency,
                 TResampleFilter Filter) {
  if (Dest->PixelFormat() != pf32bit) {
    B->RenderToTBitmap(Dest, nullptr, nullptr, X, Y, W, H, 0, 0, B->GetWidth(), B->GetHeight(), B->HasAlphaChannel(),
                       false, Transparency, Filter, true, 0);
    return;
  }
  if (StretchPlainInto32(B, Dest, X, Y, W, H, Transparency, Filter)) return;
  const Integer cx1 = std::max(X, 0), cy1 = std::max(Y, 0);
  const Integer cx2 = std::min(X + W, Dest->Width()), cy2 = std::min(Y + H, Dest->Height());
  if (cx1 >= cx2 || cy1 >= cy2) return;
  TBitmap Part;
  Part.SetPixelFormat(pf24bit);
  Part.SetSize(cx2 - cx1, cy2 - cy1);
  for (Integer y = cy1; y < cy2; ++y)
    Rgb32RowToBgr(static_cast<const uint32_t*>(Dest->ScanLine(y)) + cx1, static_cast<Byte*>(Part.ScanLine(y - cy1)),
                  cx2 - cx1);
  B->RenderToTBitmap(&Part, nullptr, nullptr, X - cx1, Y - cy1, W, H, 0, 0, B->GetWidth(), B->GetHeight(),
                     B->HasAlphaChannel(), false, Transparency, Filter, true, 0);
  for (Integer y = cy1; y < cy2; ++y)
    BgrRowOverRgb32(static_cast<const Byte*>(Part.ScanLine(y - cy1)), static_cast<uint32_t*>(Dest->ScanLine(y)) + cx1,
                    cx2 - cx1);
}

// Paints a frame W pixels wide inside the box, clipped to the bitmap (24 or 32 bits a pixel).
void IEDrawBitmapBorder(TBitmap* Dest, Integer x1, Integer y1, Integer x2, Integer y2, Integer W, TColor Color) {
  const Integer bpp = Dest->PixelFormat() == pf32bit ? 4 : Dest->PixelFormat() == pf24bit ? 3 : 0;
  if (!bpp) return;
  const Byte r = Byte(Color & 0xFF), g = Byte((Color >> 8) & 0xFF), b = Byte((Color >> 16) & 0xFF);
  const Integer bw = Dest->Width(), bh = Dest->Height();
  auto Put = [&](Integer x, Integer y) {
    if (x < 0 || y < 0 || x >= bw || y >= bh) return;
    Byte* p = static_cast<Byte*>(Dest->ScanLine(y)) + size_t(x) * bpp;
    p[0] = b, p[1] = g, p[2] = r;
  };
  for (Integer i = 0; i < W; ++i) {
    for (Integer x = x1 + i; x <= x2 - i; ++x) Put(x, y1 + i), Put(x, y2 - i);
    for (Integer y = y1 + i; y <= y2 - i; ++y) Put(x1 + i, y), Put(x2 - i, y);
  }
}

// The pixels inside are ANDed with the colour: a highlighter pen over the picture.
void IEHighlightRect(TBitmap* Dest, Integer x1, Integer y1, Integer x2, Integer y2, TColor Color) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  x1 = std::max(x1, 0), y1 = std::max(y1, 0);
  x2 = std::min(x2, Dest->Width() - 1), y2 = std::min(y2, Dest->Height() - 1);
  const Byte r = Byte(Color & 0xFF), g = Byte((Color >> 8) & 0xFF), b = Byte((Color >> 16) & 0xFF);
  if (Dest->PixelFormat() == pf8bit) {
    for (Integer y = y1; y <= y2; ++y) {
      Byte* row = static_cast<Byte*>(Dest->ScanLine(y));
      for (Integer x = x1; x <= x2; ++x) row[x] = r;
    }
    return;
  }
  Integer bpp = Dest->PixelFormat() == pf24bit ? 3 : Dest->PixelFormat() == pf32bit ? 4 : 0;
  if (!bpp) return;
  for (Integer y = y1; y <= y2; ++y) {
    Byte* row = static_cast<Byte*>(Dest->ScanLine(y));
    for (Integer x = x1; x <= x2; ++x) {
      Byte* p = row + size_t(x) * bpp;
      p[0] &= b, p[1] &= g, p[2] &= r;
    }
  }
}
}  // namespace

bool TZodivErVect::DrawObject(TIEVObjectRec& o, Integer Handle, bool DrawingAlpha, Integer Factor, bool ToView,
                              bool ClipToView, TBitmap* Dest) {
  Integer x1 = MapX(o.X1, ToView, Factor), y1 = MapY(o.Y1, ToView, Factor);
  Integer x2 = MapX(o.X2, ToView, Factor), y2 = MapY(o.Y2, ToView, Factor);
  const Integer x2n = MapX(o.X2 + 1, ToView, Factor), y2n = MapY(o.Y2 + 1, ToView, Factor);
  double ZX = ToView ? ZoomX() / 100.0 : 1.0, ZY = ToView ? ZoomY() / 100.0 : 1.0;
  if (Factor > 1) ZX *= Factor, ZY *= Factor;
  if (o.Highlight) o.PenWidth = 1;
  const Integer w = ZoomedPenWidth(o, ZX, ZY);
  if (o.Kind == ievkBitmap) {
    if (ZX != 1) x2 = x2n - 1;
    if (ZY != 1) y2 = y2n - 1;
  }
  o.DrawnBox = TRect{2000000000, 2000000000, -2000000000, -2000000000};
  o.DrawnPenWidth = w;
  if (!(o.Style & ievsVisible)) return false;
  if (ClipToView) {
    const Integer ax = OffsetX() * Factor, ay = OffsetY() * Factor;
    if (!IERectsIntersect(x1, y1, x2, y2, ax, ay, ax + VisibleDestWidth() * Factor,
                          ay + VisibleDestHeight() * Factor))
      return false;
  }
  const TRect DestRect{x1, y1, x2, y2};
  bool Handled = false;
  if (OnBeforeDrawObject) OnBeforeDrawObject(this, Handle, Dest, DestRect, DrawingAlpha, Handled);
  Grow(o.DrawnBox, x1, y1), Grow(o.DrawnBox, x2, y2);
  if (!Handled) {
    TIECanvas C(Dest->Canvas(), FObjAntialias && !FDragging, !DrawingAlpha);
    TIEPen* P = C.Pen();
    P->SetStyle(static_cast<TPenStyle>(std::min<Byte>(o.PenStyle, psInsideFrame)));
    P->SetWidth(float(w));
    P->SetMode(pmCopy);
    P->SetColor(o.PenColor);
    P->SetTransparency(o.Transparency);
    C.Brush()->SetTransparency(o.Transparency);
    C.Brush()->SetColor(o.BrushColor);
    C.Brush()->SetStyle(static_cast<TBrushStyle>(std::min<Byte>(o.BrushStyle, bsDiagCross)));
    switch (o.Kind) {
      case ievkLine:
      case ievkLineLabel: {
        P->SetLineJoin(2);
        C.DrawLine(x1, y1, x2, y2);
        Grow(o.DrawnBox, x1, y1), Grow(o.DrawnBox, x2, y2);
        const Integer aw = T(o.ArrowWidth * ZX), ah = T(o.ArrowHeight * ZY);
        // Arrow heads are filled in the line's colour.
        C.Brush()->SetColor(o.PenColor);
        C.Brush()->SetStyle(bsSolid);
        P->SetWidth(1);
        DrawArrow(&C, o.ArrowBegin, x1, y1, x2, y2, aw, ah, o.DrawnBox);
        DrawArrow(&C, o.ArrowEnd, x2, y2, x1, y1, aw, ah, o.DrawnBox);
        if (o.Kind == ievkLineLabel) DrawLineLabel(&C, x1, y1, x2, y2, o, ZX, ZY, o.DrawnBox);
        break;
      }
      case ievkBox:
        P->SetLineJoin(0);
        if (o.Highlight)
          IEHighlightRect(Dest, x1, y1, x2, y2, o.BrushColor);
        else
          C.Rectangle(x1, y1, x2 + 1, y2 + 1);
        break;
      case ievkEllipse: C.Ellipse(x1, y1, x2 + 1, y2 + 1); break;
      case ievkArc: {
        const double hw = (x2 - x1) / 2.0, hh = (y2 - y1) / 2.0;
        const Integer sx = x1 + T(std::cos(o.ArcStartAngle) * hw + hw), sy = y1 + T(std::sin(o.ArcStartAngle) * hh + hh);
        const Integer ex = x1 + T(std::cos(o.ArcEndAngle) * hw + hw), ey = y1 + T(std::sin(o.ArcEndAngle) * hh + hh);
        C.Arc(x1, y1, x2 + 1, y2 + 1, sx, sy, ex, ey);
        break;
      }
      case ievkBitmap: {
        Integer bx1 = std::min(x1, x2), bx2 = std::max(x1, x2), by1 = std::min(y1, y2), by2 = std::max(y1, y2);
        TIEBitmap* B = GetSharedBitmap(o.BitmapIndex);
        if (!B || B->GetWidth() == 0 || B->GetHeight() == 0) {
          C.DrawLine(bx1, by1, bx2, by2);
          C.DrawLine(bx2, by1, bx1, by2);
          C.Brush()->SetStyle(bsClear);
          C.Rectangle(bx1, by1, bx2 + 1, by2 + 1);
        } else {
          RenderImage(B, Dest, bx1, by1, bx2 - bx1 + 1, by2 - by1 + 1, o.Transparency, FBitmapResampleFilter);
          if (o.BitmapBorder) IEDrawBitmapBorder(Dest, bx1, by1, bx2, by2, w, o.PenColor);
        }
        break;
      }
      case ievkText:
        P->SetLineJoin(0);
        DrawTextObject(&C, x1, y1, x2, y2, o, ZX, ZY, o.DrawnBox);
        break;
      case ievkMemo:
        P->SetLineJoin(0);
        if (o.MemoHasBitmap && !DrawingAlpha)
          if (TIEBitmap* B = GetSharedBitmap(o.BitmapIndex); B && B->GetWidth() > 0 && B->GetHeight() > 0)
            RenderImage(B, Dest, std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1) + 1, std::abs(y2 - y1) + 1,
                        o.Transparency, FBitmapResampleFilter);
        DrawMemoObject(&C, x1, y1, x2, y2, o, ZX, ZY, o.DrawnBox);
        break;
      case ievkRuler: {
        P->SetLineJoin(0);
        double fx, fy;
        ComputeUnitScale(static_cast<TIEUnits>(std::min<Byte>(o.RulerUnit, ieuNANOMETERS)), fx, fy);
        const double L = std::hypot(std::abs(o.X2 - o.X1) * fx, std::abs(o.Y2 - o.Y1) * fy);
        DrawRuler(&C, x1, y1, x2, y2, L, static_cast<TIEUnits>(std::min<Byte>(o.RulerUnit, ieuNANOMETERS)),
                  o.PenColor, o.PenWidth, o.RulerType, 1 / ZX, 1 / ZY, o.DrawnBox, o.Font ? *o.Font : DefaultFont(12));
        break;
      }
      case ievkPolyline: {
        P->SetLineJoin(2);
        const TRect& b = o.PolyBaseRect;
        if ((b.Left == b.Right && b.Top == b.Bottom) || o.PolyPoints.empty()) break;
        double sx, sy;
        PolylineScale(o, sx, sy);
        o.DrawnPoints.resize(o.PolyPoints.size());
        for (size_t i = 0; i < o.PolyPoints.size(); ++i) {
          const TPoint& p = o.PolyPoints[i];
          o.DrawnPoints[i] = {MapX(SafeRound<Integer>((p.X - b.Left) * sx) + o.X1, ToView, Factor),
                              MapY(SafeRound<Integer>((p.Y - b.Top) * sy) + o.Y1, ToView, Factor)};
        }
        if (o.PolyClosed)
          C.Polygon(o.DrawnPoints);
        else
          C.Polyline(o.DrawnPoints);
        if (Factor != 1)
          for (TPoint& p : o.DrawnPoints) p.X /= Factor, p.Y /= Factor;
        Grow(o.DrawnBox, x1, y1), Grow(o.DrawnBox, x2, y2);
        break;
      }
      case ievkAngle: {
        P->SetLineJoin(0);
        TPoint Pts[3];
        for (Integer i = 0; i < 3; ++i)
          Pts[i] = o.AnglePoints[i].X == IEV_UNPLACED
                       ? o.AnglePoints[i]
                       : TPoint{MapX(o.AnglePoints[i].X, ToView, Factor), MapY(o.AnglePoints[i].Y, ToView, Factor)};
        DrawAngle(&C, Pts, o.PenColor, o.PenWidth, o.DrawnBox, 1 / ZX, 1 / ZY, o.Font ? *o.Font : DefaultFont(10));
        break;
      }
      case ievkPlugIn:
        if (o.PlugIn) o.PlugIn->Draw(Dest, x1, y1, x2, y2, DrawingAlpha, ZX, ZY);
        break;
      default: break;
    }
  }
  if (OnAfterDrawObject) {
    OnAfterDrawObject(this, Handle, Dest, DestRect, DrawingAlpha, Handled);
    Grow(o.DrawnBox, x1, y1), Grow(o.DrawnBox, x2, y2);
  }
  return true;
}

void TZodivErVect::DrawObjects(bool BitmapCoords, Integer Handle, bool AntiAlias, TBitmap* Dest) {
  if (!Dest || FZOrder.empty()) return;
  const Integer W = Dest->Width(), H = Dest->Height();
  if (W <= 0 || H <= 0) return;
  // A 24-bit target is copied once onto the 32-bit surface and back once, instead of being
  // converted whole by every drawing call of every object.
  const bool Via32 = Dest->PixelFormat() == pf24bit;
  TBitmap* Target = Dest;
  if (Via32) {
    if (!FWork32) {
      FWork32 = std::make_unique<TBitmap>();
      FWork32->SetPixelFormat(pf32bit);
    }
    if (FWork32->Width() != W || FWork32->Height() != H) FWork32->SetSize(W, H);
    for (Integer y = 0; y < H; ++y)
      BgrRowToRgb32(static_cast<const Byte*>(Dest->ScanLine(y)), static_cast<uint32_t*>(FWork32->ScanLine(y)), W);
    Target = FWork32.get();
  }
  const bool Saved = FObjAntialias;
  FObjAntialias = AntiAlias;
  for (size_t i = 0; i < FZOrder.size(); ++i) {
    const Integer h = FZOrder[i];
    if (Handle >= 0 && h != Handle) continue;
    DrawObject(FObjects[static_cast<size_t>(h)], h, false, 1, !BitmapCoords, !BitmapCoords, Target);
  }
  FObjAntialias = Saved;
  if (Via32)
    for (Integer y = 0; y < H; ++y)
      Rgb32RowToBgr(static_cast<const uint32_t*>(FWork32->ScanLine(y)), static_cast<Byte*>(Dest->ScanLine(y)), W);
}

void TZodivErVect::DrawObjectsToBackBuffer(TBitmap* Dest) { DrawObjects(false, -1, FObjAntialias, Dest); }

void TZodivErVect::RenderToBitmap(TIEBitmap* Dest, TIERenderTables* RowCache, const TRect* ClipRect,
                                  bool DrawBackground, bool DrawGadgets) {
  TZodivErView::RenderToBitmap(Dest, RowCache, ClipRect, DrawBackground, DrawGadgets);
  if (Dest && (!FZOrder.empty() || DrawBackground || DrawGadgets)) DrawObjectsToBackBuffer(Dest->GetVclBitmap());
  if (Dest && DrawGadgets && !FSelection.empty()) DrawSelectionGrips(Dest->GetVclBitmap()->Canvas());
}

void TZodivErVect::DrawObjectsToImage(TIEBitmap* Image, bool Output, Integer Handle) {
  if (!Image || Image->GetWidth() == 0) return;
  const bool SavedOutput = FOutputDrawing, SavedDrag = FDragging;
  if (Output) FOutputDrawing = true;
  FDragging = false;
  if (Image->Location == ieTBitmap && Image->GetPixelFormat() == ie24RGB) {
    DrawObjects(true, Handle, Output, Image->GetVclBitmap());
  } else {
    TIEBitmap Work;
    Work.Allocate(Image->GetWidth(), Image->GetHeight(), ie24RGB);
    Work.CopyAndConvertFormat(Image);
    Work.SetLocation(ieTBitmap);
    DrawObjects(true, Handle, Output, Work.GetVclBitmap());
    Work.SetLocation(ieFile);
    Work.ConvertPixelFormat(Image->GetPixelFormat());
    Image->AssignImage(&Work);
  }
  FOutputDrawing = SavedOutput;
  FDragging = SavedDrag;
}

void TZodivErVect::DrawObjectsToBitmap(bool Output) {
  DrawObjectsToImage(IEBitmap(), Output, -1);
  Update();
  ImageChange();
}
