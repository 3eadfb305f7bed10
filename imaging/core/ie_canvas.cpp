#include "imaging/core/ie_canvas.h"

#include <numbers>

#include "imaging/core/ie_colors.h"
#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_helpers.h"
#include "platform/rtl/numerics.h"

bool IEGDIPAllowed = true;

namespace {
// The service is part of the platform layer here, so "loading" it cannot fail; the count still
// decides when it is in use, as the views expect.
bool GdipLoaded = false;
Integer GdipLoadCount = 0;
}  // namespace

bool IEGDIPLoaded() { return GdipLoaded; }
bool IEGDIPEnabled() { return IEGDIPAllowed && GdipLoaded; }

void IEGDIPLoadLibrary() {
  ++GdipLoadCount;
  if (IEGDIPAllowed && !GdipLoaded) GdipLoaded = true;
}

void IEGDIPUnloadLibrary() {
  if (GdipLoadCount > 0) --GdipLoadCount;
  if (GdipLoadCount == 0) GdipLoaded = false;
}

// ------------------------------------------------------------------------------------- pen

TIEPen::TIEPen(TPen* Pen)
    : FPen(Pen), FColor(Pen->Color()), FWidth(static_cast<float>(Pen->Width())), FStyle(Pen->Style()), FMode(Pen->Mode()) {
  if (IEGDIPEnabled()) RecreatePen();
}

DWORD TIEPen::GetARGB() const { return IEColorToARGB(FColor, FStyle == psClear ? 0 : static_cast<Byte>(FTransparency)); }

void TIEPen::RecreatePen() {
  FHandle = TAAPen{GetARGB(), FWidth, 0, FLineJoin};
  SetStyle(FStyle);
}

void TIEPen::SetColor(TColor Value) {
  FColor = Value;
  if (FHandle) FHandle->ARGB = GetARGB();
  FPen->SetColor(Value);
}

void TIEPen::SetTransparency(Integer Value) {
  FTransparency = IEClamp255(Value);
  if (FHandle) FHandle->ARGB = GetARGB();
}

void TIEPen::SetWidth(float Value) {
  FWidth = Value;
  if (FHandle) FHandle->Width = Value;
  FPen->SetWidth(SafeTrunc<Integer>(Value));
}

void TIEPen::SetStyle(TPenStyle Value) {
  FStyle = Value;
  if (FHandle) {
    FHandle->ARGB = GetARGB();
    FHandle->DashStyle = (Value == psClear || Value == psInsideFrame) ? 0 : static_cast<Integer>(Value);
  }
  FPen->SetStyle(Value);
}

void TIEPen::SetMode(TPenMode Value) {
  FMode = Value;
  FPen->SetMode(Value);
}

void TIEPen::SetLineJoin(Byte Value) {
  FLineJoin = Value;
  if (FHandle) FHandle->LineJoin = Value;
}

// ----------------------------------------------------------------------------------- brush

TIEBrush::TIEBrush(TBrush* Brush) : FBrush(Brush), FColor(Brush->Color()), FStyle(Brush->Style()) {
  if (IEGDIPEnabled()) RecreateBrush();
}

DWORD TIEBrush::GetARGB() const {
  return IEColorToARGB(FColor, FStyle == bsClear ? 0 : static_cast<Byte>(FTransparency));
}

void TIEBrush::RecreateBrush() {
  TAABrush b;
  b.ARGB = GetARGB();
  if (FStyle >= bsHorizontal && FStyle <= bsDiagCross) {
    b.Hatch = static_cast<Integer>(FStyle) - 2;
    b.BackARGB = IEColorToARGB(BackgroundColor, static_cast<Byte>(IEClamp255(BackgroundTransparency)));
  }
  FHandle = b;
}

void TIEBrush::SetColor(TColor Value) {
  FColor = Value;
  if (IEGDIPEnabled()) RecreateBrush();
  FBrush->SetColor(Value);
}

void TIEBrush::SetTransparency(Integer Value) {
  FTransparency = IEClamp255(Value);
  if (IEGDIPEnabled()) RecreateBrush();
}

void TIEBrush::SetStyle(TBrushStyle Value) {
  FStyle = Value;
  if (IEGDIPEnabled()) RecreateBrush();
  FBrush->SetStyle(Value);
}

// ---------------------------------------------------------------------------------- canvas

TIECanvas::TIECanvas(TCanvas* Canvas, bool AntiAlias, bool UseGDIPlus)
    : FCanvas(Canvas), FPen(std::make_unique<TIEPen>(Canvas->Pen())), FBrush(std::make_unique<TIEBrush>(Canvas->Brush())) {
  if (UseGDIPlus && IEGDIPEnabled()) FGraphics = std::make_unique<TAAGraphics>(Canvas);
  SetSmoothingMode(AntiAlias ? 5 : 2);
}

TIECanvas::~TIECanvas() = default;

void TIECanvas::SetSmoothingMode(Byte Mode) {
  // 5 asks for anti-aliasing, 2 for speed; the service knows the two alone.
  if (FGraphics) FGraphics->SetAntiAlias(((Mode & 127) - 1) == 4);
}

void TIECanvas::MoveTo(Integer X, Integer Y) {
  FPenPos = TPoint{X, Y};
  if (!FGraphics) FCanvas->MoveTo(X, Y);
}

void TIECanvas::LineTo(Integer X, Integer Y) {
  if (FGraphics && FPen->Handle()) {
    FGraphics->DrawLine(*FPen->Handle(), FPenPos.X, FPenPos.Y, X, Y);
  } else {
    FCanvas->LineTo(X, Y);
  }
  FPenPos = TPoint{X, Y};
}

void TIECanvas::DrawLine(Integer X1, Integer Y1, Integer X2, Integer Y2) {
  if (FGraphics && FPen->Handle()) {
    FGraphics->DrawLine(*FPen->Handle(), X1, Y1, X2, Y2);
    return;
  }
  const TPoint saved = FCanvas->PenPos();
  const TPoint line[] = {{X1, Y1}, {X2, Y2}};
  FCanvas->Polyline(line, 2);
  FCanvas->SetPenPos(saved);
}

void TIECanvas::FillRect(const TRect& Rect) {
  if (!FGraphics || !FBrush->Handle()) {
    FCanvas->FillRect(Rect);
    return;
  }
  Integer x1 = Rect.Left, y1 = Rect.Top, x2 = Rect.Right, y2 = Rect.Bottom;
  IEOrderCorners(x1, y1, x2, y2);
  FGraphics->FillRectangle(*FBrush->Handle(), x1, y1, x2 - x1 - 1, y2 - y1 - 1);
}

void TIECanvas::Rectangle(Integer X1, Integer Y1, Integer X2, Integer Y2) { RectangleRect(TRect{X1, Y1, X2, Y2}); }

void TIECanvas::RectangleRect(const TRect& Rect) {
  if (!FGraphics || !FBrush->Handle() || !FPen->Handle()) {
    FCanvas->Rectangle(Rect);
    return;
  }
  Integer x1 = Rect.Left, y1 = Rect.Top, x2 = Rect.Right, y2 = Rect.Bottom;
  IEOrderCorners(x1, y1, x2, y2);
  FGraphics->FillRectangle(*FBrush->Handle(), x1, y1, x2 - x1 - 1, y2 - y1 - 1);
  FGraphics->DrawRectangle(*FPen->Handle(), x1, y1, x2 - x1 - 1, y2 - y1 - 1);
}

void TIECanvas::Ellipse(Integer X1, Integer Y1, Integer X2, Integer Y2) { EllipseRect(TRect{X1, Y1, X2, Y2}); }

void TIECanvas::EllipseRect(const TRect& Rect) {
  if (!FGraphics || !FBrush->Handle() || !FPen->Handle()) {
    FCanvas->Ellipse(Rect);
    return;
  }
  Integer x1 = Rect.Left, y1 = Rect.Top, x2 = Rect.Right, y2 = Rect.Bottom;
  if (FPen->Width() != 1.0f) {
    // Wide pens are kept inside the rectangle the caller gave, degenerate rectangles included.
    const Integer e = SafeRound<Integer>(FPen->Width() / 2.0);
    if (x1 > x2) x1 += e;
    if (x2 >= x1 && e >= x2 - x1 - 1) x2 = x1 + e;
    if (x1 > x2 && e >= x1 - x2 - 1) x2 = x1 - e;
    if (y1 > y2) y1 += e;
    if (y2 >= y1 && e >= y2 - y1 - 1) y2 = y1 + e;
    if (y1 > y2 && e >= y1 - y2 - 1) y2 = y1 - e;
    if (x1 == x2 - e) x1 -= e;
    if (y1 == y2 - e) y1 -= e;
    if (x1 == x2) {
      x1 -= e + 1;
      y2 -= e + 1;
    }
    if (y1 == y2) {
      y1 -= e + 1;
      y2 -= e + 1;
    }
    if (x1 > x2) {
      x1 -= e;
      x2 -= e - 1;
    }
  }
  FGraphics->FillEllipse(*FBrush->Handle(), x1, y1, x2 - x1 - 1, y2 - y1 - 1);
  FGraphics->DrawEllipse(*FPen->Handle(), x1, y1, x2 - x1 - 1, y2 - y1 - 1);
}

void TIECanvas::Polygon(const std::vector<TPoint>& Points) {
  if (!FGraphics || !FBrush->Handle() || !FPen->Handle()) {
    FCanvas->Polygon(Points);
    return;
  }
  FGraphics->DrawPolygon(*FPen->Handle(), Points);
  FGraphics->FillPolygon(*FBrush->Handle(), Points);
}

void TIECanvas::Polyline(const std::vector<TPoint>& Points) {
  if (!FGraphics || !FPen->Handle()) {
    FCanvas->Polyline(Points);
    return;
  }
  FGraphics->DrawLines(*FPen->Handle(), Points);
}

void TIECanvas::Arc(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3, Integer X4, Integer Y4) {
  if (!FGraphics || !FPen->Handle()) {
    FCanvas->Arc(X1, Y1, X2, Y2, X3, Y3, X4, Y4);
    return;
  }
  const Integer cx = (X1 + X2) / 2, cy = (Y1 + Y2) / 2;
  const double toDegrees = 180.0 / std::numbers::pi;
  const double start = IESegmentAngle(cx, cy, X4, Y4) * toDegrees;
  const double sweep = IEVertexAngle(X3, Y3, cx, cy, X4, Y4) * toDegrees;
  FGraphics->DrawArc(*FPen->Handle(), X1, Y1, X2 - X1 + 1, Y2 - Y1 + 1, static_cast<float>(-start),
                     static_cast<float>(sweep));
}

void TIECanvas::RoundRect(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3) {
  if (!FGraphics || !FBrush->Handle() || !FPen->Handle()) {
    FCanvas->RoundRect(X1, Y1, X2, Y2, X3, Y3);
    return;
  }
  IEOrderCorners(X1, Y1, X2, Y2);
  const Integer w = X2 - X1, h = Y2 - Y1;
  X3 = IEMin(X3, w);
  Y3 = IEMin(Y3, h);
  TAAPath path;
  path.AddArc(X1, Y1, X3, Y3, 180, 90);
  path.AddArc(X1 + w - X3, Y1, X3, Y3, 270, 90);
  path.AddArc(X1 + w - X3, Y1 + h - Y3, X3, Y3, 0, 90);
  path.AddArc(X1, Y1 + h - Y3, X3, Y3, 90, 90);
  path.AddLine(X1, Y1 + h - Y3, X1, Y1 + Y3 / 2.0f);
  FGraphics->FillPath(*FBrush->Handle(), path);
  FGraphics->DrawPath(*FPen->Handle(), path);
}
