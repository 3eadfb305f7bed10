// The view's selection: the outline the user or the program draws (a point list in bitmap
// coordinates, sub-polygons split by separators) and the mask it is filled into, the bounds read
// by callers, moving and resizing, selection by colour, and the drawing of the outline.
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_canvas.h"
#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/proc/ie_magic_wand.h"
#include "imaging/view/ie_view.h"
#include "platform/gui/timers.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/streams.h"

namespace {

constexpr Integer Separator = TIEMask::PolygonSeparator;
constexpr double TwoPi = 6.283185307179586;

bool IsSeparator(const TPoint& P) { return P.X == Separator; }

void ReadExact(TStream* Stream, void* Buffer, Int64 Count) {
  if (Count > 0 && Stream->Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

Integer ReadInt(TStream* Stream) {
  Integer v = 0;
  ReadExact(Stream, &v, 4);
  return v;
}

void WriteInt(TStream* Stream, Integer V) { Stream->WriteBuffer(&V, 4); }

}  // namespace

// ----- the outline's point list -----

void TZodivErView::ClearPolygon() {
  FPolygon->Points.clear();
  FPolygon->Points.reserve(64);
  FPolygon->Count = 0;
  if (FPaintSuspension == 0) Paint();
}

void TZodivErView::AddPolygonSeparator() {
  TIESelectionPolygon* p = FPolygon;
  if (p->Count > 0 && IsSeparator(p->Points[p->Count - 1])) return;
  p->Points.resize(p->Count);
  p->Points.push_back(TPoint{Separator, Separator});
  ++p->Count;
}

void TZodivErView::AddPolygonPoint(Integer X, Integer Y) {
  TIESelectionPolygon* p = FPolygon;
  p->Points.resize(p->Count);
  if (p->Points.capacity() == p->Points.size()) p->Points.reserve(p->Points.size() + 64);
  p->Points.push_back(TPoint{X, Y});
  ++p->Count;
  if (p->Count == 2) {
    const TPoint a = p->Points[0], b = p->Points[1];
    p->X1 = IEMin(a.X, b.X);
    p->Y1 = IEMin(a.Y, b.Y);
    p->X2 = IEMax(a.X, b.X);
    p->Y2 = IEMax(a.Y, b.Y);
  } else if (p->Count > 2) {
    p->X1 = IEMin(p->X1, X);
    p->Y1 = IEMin(p->Y1, Y);
    p->X2 = IEMax(p->X2, X);
    p->Y2 = IEMax(p->Y2, Y);
  }
  FSelected = true;
}

void TZodivErView::RemoveLastPolygonPoint() {
  TIESelectionPolygon* p = FPolygon;
  if (p->Count > 0) --p->Count;
  while (p->Count > 0 && IsSeparator(p->Points[p->Count - 1])) --p->Count;
  p->Points.resize(p->Count);
}

void TZodivErView::RemoveLastSubPolygon() {
  TIESelectionPolygon* p = FPolygon;
  Integer cut = 0;
  for (Integer i = p->Count - 1; i >= 0; --i)
    if (IsSeparator(p->Points[i])) {
      cut = i;
      break;
    }
  p->Count = cut;
  p->Points.resize(cut);
  if (cut == 0)
    ClearPolygon();
  else if (FPaintSuspension == 0)
    Paint();
}

void TZodivErView::ShowPolygon(bool Draw) {
  FPolygon->Visible = true;
  if (Draw) DrawSelection(this, false);
}

void TZodivErView::HidePolygon(bool DoPaint) {
  FPolygon->Visible = false;
  if (DoPaint) Paint();
}

bool TZodivErView::PolygonIsRectangle(const TIESelectionPolygon* P) const {
  if (P->Count != 4) return false;
  // Each edge, the closing one included, is vertical or horizontal, and the kinds alternate.
  Integer kinds[4];
  for (Integer i = 0; i < 4; ++i) {
    const TPoint a = P->Points[i], b = P->Points[(i + 1) % 4];
    if (a.X == b.X && a.Y != b.Y)
      kinds[i] = 0;
    else if (a.X != b.X && a.Y == b.Y)
      kinds[i] = 1;
    else
      return false;
  }
  return kinds[0] != kinds[1] && kinds[1] != kinds[2] && kinds[2] != kinds[3] && kinds[3] != kinds[0];
}

Integer TZodivErView::SelectionToBitmapX(Integer X) {
  if (FSelectionBase == iesbBitmap) return X;
  TIELayer* l = CurrentLayer();
  return l ? l->ScreenToLayerX(X) : X;
}

Integer TZodivErView::SelectionToBitmapY(Integer Y) {
  if (FSelectionBase == iesbBitmap) return Y;
  TIELayer* l = CurrentLayer();
  return l ? l->ScreenToLayerY(Y) : Y;
}

// ----- programmatic selection -----

void TZodivErView::SelectRectangle(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer Op, bool Square,
                                   bool KeepInside) {
  if (X1 == X2 || Y1 == Y2) return;
  X1 = SelectionToBitmapX(X1);
  Y1 = SelectionToBitmapY(Y1);
  X2 = SelectionToBitmapX(X2);
  Y2 = SelectionToBitmapY(Y2);
  FSelected = true;
  if (Op == 1 && FPolygon->Count > 0)
    AddPolygonSeparator();
  else
    ClearPolygon();
  if (Op == 0) FSelectionMask->Clear();
  const Integer w = FIEBitmap->GetWidth(), h = FIEBitmap->GetHeight();
  const double a = FSelectionAspectRatio;
  if (Square && a == -1) {
    Y2 = Y1 + (X2 - X1);
  } else if (a > 0) {
    Y2 = SafeRound<Integer>((X2 - X1) * a) + Y1;
    if (Y2 >= h) X2 = SafeRound<Integer>(((h - 1 - Y1) + X1 * a) / a);
    if (Y2 < 0) X2 = SafeRound<Integer>((X1 * a - Y1) / a);
  }
  if (KeepInside) {
    if (X1 < 0) { X2 -= X1; X1 = 0; }
    if (Y1 < 0) { Y2 -= Y1; Y1 = 0; }
    if (X2 >= w) { X1 += w - X2 - 1; X2 = w - 1; }
    if (Y2 >= h) { Y1 += h - Y2 - 1; Y2 = h - 1; }
  }
  if (X1 > X2) std::swap(X1, X2);
  if (Y1 > Y2) std::swap(Y1, Y2);
  X1 = IEClamp(X1, 0, IEMax(w - 1, 0));
  Y1 = IEClamp(Y1, 0, IEMax(h - 1, 0));
  X2 = IEClamp(X2, 0, w);
  Y2 = IEClamp(Y2, 0, h);
  AddPolygonPoint(X1, Y1);
  AddPolygonPoint(X2, Y1);
  AddPolygonPoint(X2, Y2);
  AddPolygonPoint(X1, Y2);
  ShowPolygon(true);
}

void TZodivErView::Select(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer Op) {
  SelectRectangle(X1, Y1, X2, Y2, Op, false, false);
  if (Op == 0) FSelectionMask->Clear();
  EndSelect();
  FBackBufferDirty = true;
  Paint();
}

void TZodivErView::AddSelectionPoint(Integer X, Integer Y) {
  if (FSelectionBase == iesbClientArea) {
    X = IEClamp(SelectionToBitmapX(X), 0, FIEBitmap->GetWidth());
    Y = IEClamp(SelectionToBitmapY(Y), 0, FIEBitmap->GetHeight());
  }
  AddPolygonPoint(X, Y);
  ShowPolygon(true);
  FBackBufferDirty = true;
  Paint();
}

void TZodivErView::EndSelect() {
  FSelectionMask->FillPolygons(FSelectionValue, FPolygon->Points.data(), FPolygon->Count);
  if (FSelectionMask->IsEmpty()) {
    FSelected = false;
    ClearPolygon();
  }
}

void TZodivErView::DeSelect() {
  if (FSelected) {
    FSelected = false;
    HidePolygon(true);
  }
  ClearPolygon();
  FSelectionMask->Clear();
  FSelected = false;
  FPolygonInProgress = false;
  FLasso = false;
  FRectangleDrag = false;
  FEllipseDrag = false;
  FGripDrag = ieNone;
  FMoveState = -1;
  RestoreCursor();
  Update();
}

// While the outline is being drawn or dragged its own box answers (right and bottom made
// inclusive); otherwise the mask's. Both are inclusive bitmap coordinates of the current image.
Integer TZodivErView::SelectionX1() {
  const bool drawing = FPolygonInProgress || FRectangleDrag || FEllipseDrag || FGripDrag != ieNone || FRectangleMove;
  return drawing ? FPolygon->X1 : FSelectionMask->X1;
}

Integer TZodivErView::SelectionY1() {
  const bool drawing = FPolygonInProgress || FRectangleDrag || FEllipseDrag || FGripDrag != ieNone || FRectangleMove;
  return drawing ? FPolygon->Y1 : FSelectionMask->Y1;
}

Integer TZodivErView::SelectionX2() {
  const bool drawing = FPolygonInProgress || FRectangleDrag || FEllipseDrag || FGripDrag != ieNone || FRectangleMove;
  return drawing ? FPolygon->X2 - 1 : FSelectionMask->X2;
}

Integer TZodivErView::SelectionY2() {
  const bool drawing = FPolygonInProgress || FRectangleDrag || FEllipseDrag || FGripDrag != ieNone || FRectangleMove;
  return drawing ? FPolygon->Y2 - 1 : FSelectionMask->Y2;
}

TPoint* TZodivErView::SelectionPolygon() { return FPolygon->Points.data(); }

Integer TZodivErView::SelectionPolygonCount() { return FPolygon->Count; }

// ----- moving -----

void TZodivErView::MoveSelectionCore(Integer DX, Integer DY, bool CutBorders) {
  if (PolygonIsRectangle(FPolygon)) {
    FRectangleMove = true;
    FSelectionMask->Clear();
  } else {
    FSelectionMask->Translate(DX, DY, CutBorders);
  }
  if (DX == 0 && DY == 0) return;
  if (FPaintSuspension == 0) Paint();
  TIESelectionPolygon* p = FPolygon;
  const Integer w = FIEBitmap->GetWidth(), h = FIEBitmap->GetHeight();
  const auto keepInside = [&] {
    if (p->X1 + DX < 0) DX = -p->X1;
    if (p->X2 + DX > w) DX = w - p->X2;
    if (p->Y1 + DY < 0) DY = -p->Y1;
    if (p->Y2 + DY > h) DY = h - p->Y2;
  };
  const auto outside = [&] { return p->X1 + DX >= w || p->Y1 + DY >= h || p->X2 + DX <= 0 || p->Y2 + DY <= 0; };
  if (!CutBorders) {
    keepInside();
    if (outside()) return;
  } else if (outside()) {
    keepInside();
  }
  p->X1 += DX;
  p->X2 += DX;
  p->Y1 += DY;
  p->Y2 += DY;
  for (Integer i = 0; i < p->Count; ++i) {
    TPoint& pt = p->Points[i];
    if (IsSeparator(pt)) continue;
    pt.X = IEClamp(pt.X + DX, 0, w);
    pt.Y = IEClamp(pt.Y + DY, 0, h);
  }
  DrawSelection(this, false);
}

void TZodivErView::MoveSelection(Integer DX, Integer DY) {
  MoveSelectionCore(DX, DY, (FSelectionOptions & iesoCutBorders) != 0);
  EndSelect();
  // The move is over: the outline is drawn and the bounds come from the mask again.
  FRectangleMove = false;
}

// ----- selection by colour -----

void TZodivErView::SelectMagicWand(Integer X, Integer Y, bool Add) {
  const Integer x = SelectionToBitmapX(X), y = SelectionToBitmapY(Y);
  const Integer w = FIEBitmap->GetWidth(), h = FIEBitmap->GetHeight();
  if (x < 0 || x > w || y < 0 || y > h) return;
  if (MagicWandMode == 1 || MagicWandMode == 2) {
    if (!Add) {
      ClearPolygon();
      FSelectionMask->Clear();
    }
    if (MagicWandMode == 1)
      IEMagicWandRegion(FIEBitmap, x, y, MagicWandMaxFilter, MagicWandTolerance, FSelectionMask.get(), FSelectionValue);
    else
      IEMagicWandColor(FIEBitmap, x, y, MagicWandTolerance, FSelectionMask.get(), FSelectionValue);
    FSelected = !FSelectionMask->IsEmpty();
    ShowPolygon(true);
  } else {
    Integer count = 0;
    std::unique_ptr<TPoint[]> outline(IEMagicWandOutline(FIEBitmap, x, y, MagicWandMaxFilter, MagicWandTolerance, count));
    if (count > 0) {
      FSelected = true;
      if (Add && FPolygon->Count > 0) {
        AddPolygonSeparator();
      } else {
        ClearPolygon();
        FSelectionMask->Clear();
      }
      for (Integer i = 0; i < count; ++i) AddPolygonPoint(IEClamp(outline[i].X, 0, w), IEClamp(outline[i].Y, 0, h));
      outline.reset();
      if (!Add) FSelectionMask->Clear();
      EndSelect();
      ShowPolygon(true);
    }
  }
  FBackBufferDirty = true;
  Paint();
}

// ----- shapes dragged with the mouse -----

void TZodivErView::SelectRectangleDrag(Integer X, Integer Y, TShiftState Shift) {
  DragAutoScroll();
  if (FSelectionAspectRatio == 0) {
    const Integer hw = SafeRound<Integer>(SelectionFixedWidth * FZoomX / 100) / 2;
    const Integer hh = SafeRound<Integer>(SelectionFixedHeight * FZoomY / 100) / 2;
    FPressClamped = TPoint{X - hw, Y - hh};
    X = X + hw - 1;
    Y = Y + hh - 1;
  }
  Integer op = 0;
  if ((Shift & ssShift) && FShiftAdds) {
    if (FPolygon->Count > FCountAtPress) RemoveLastSubPolygon();
    op = 1;
  }
  SelectRectangle(FPressClamped.X, FPressClamped.Y, X, Y, op, (Shift & ssAlt) || FForceAspect,
                  !(FSelectionOptions & iesoSizeable));
  DoSelectionChanging();
}

void TZodivErView::SelectEllipseDrag(Integer X, Integer Y, TShiftState Shift) {
  DragAutoScroll();
  TPoint centre = FPressClamped, rim{X, Y};
  if (FSelectionAspectRatio == 0) {
    centre = TPoint{X, Y};
    rim = TPoint{X + SafeRound<Integer>(SelectionFixedWidth * FZoomX / 100) / 2,
                 Y + SafeRound<Integer>(SelectionFixedHeight * FZoomY / 100) / 2};
  }
  if ((Shift & ssShift) && FShiftAdds) {
    if (FPolygon->Count > FCountAtPress) RemoveLastSubPolygon();
    if (FPolygon->Count > 0) AddPolygonSeparator();
  } else {
    ClearPolygon();
  }
  const Integer dx = std::abs(rim.X - centre.X), dy = std::abs(rim.Y - centre.Y);
  Integer rx = dx, ry = dy;
  if (((Shift & ssAlt) || FForceAspect) && FSelectionAspectRatio == -1) {
    rx = ry = IEMax(dx, dy);
  } else if (FSelectionAspectRatio > 0) {
    rx = IEMax(dx, dy);
    ry = SafeRound<Integer>(rx * FSelectionAspectRatio);
  }
  const Integer ex = SafeTrunc<Integer>(rx * 100.0 / FZoomX), ey = SafeTrunc<Integer>(ry * 100.0 / FZoomY);
  const Integer n = IEMax(SafeTrunc<Integer>(IEMin(ex, ey) * TwoPi), 50);
  const Integer cx = SelectionToBitmapX(centre.X), cy = SelectionToBitmapY(centre.Y);
  const Integer w = FIEBitmap->GetWidth(), h = FIEBitmap->GetHeight();
  for (Integer k = 0; k < n; ++k) {
    const double angle = TwoPi / n * k;
    AddPolygonPoint(IEClamp(SafeRound<Integer>(cx + std::cos(angle) * ex), 0, w),
                    IEClamp(SafeRound<Integer>(cy + std::sin(angle) * ey), 0, h));
  }
  DrawSelection(this, false);
  DoSelectionChanging();
}

TIEGrip TZodivErView::ResizeSelectionByGrip(TIEGrip Grip, Integer X, Integer Y, bool Lock) {
  const Integer w = FIEBitmap->GetWidth(), h = FIEBitmap->GetHeight();
  Integer p = SelectionToBitmapX(X), n = SelectionToBitmapY(Y);
  Integer x1 = FPolygon->X1, y1 = FPolygon->Y1, x2 = FPolygon->X2, y2 = FPolygon->Y2;
  double r = 1;
  if (Lock) {
    const Integer px1 = FBoundsAtPress[0], py1 = FBoundsAtPress[1], px2 = FBoundsAtPress[2], py2 = FBoundsAtPress[3];
    if (py2 - py1 + 1 == 0) return Grip;
    r = FSelectionAspectRatio > 0 ? 1 / FSelectionAspectRatio : double(px2 - px1 + 1) / (py2 - py1 + 1);
    if (r == 0 || !std::isfinite(r)) return Grip;
    // Each search below moves the pointer at most across the image and back.
    const Integer limit = 2 * (w + h) + 4;
    switch (Grip) {
      case ieTopLeft:
      case ieLeftSide: {
        Grip = ieTopLeft;
        Integer y = SafeRound<Integer>(py2 + 1 + (p - px2 - 1) / r);
        for (Integer i = 0; y < 0 && i < limit; ++i) y = SafeRound<Integer>(py2 + 1 + (++p - px2 - 1) / r);
        n = y;
        break;
      }
      case ieTopRight: {
        Integer y = SafeRound<Integer>(py2 + (px1 - p - 1) / r);
        for (Integer i = 0; y < 0 && i < limit; ++i) y = SafeRound<Integer>(py2 + (px1 - --p - 1) / r);
        n = y;
        break;
      }
      case ieBottomRight:
      case ieRightSide:
        Grip = ieBottomRight;
        n = SafeRound<Integer>(py1 - 1 + (p - px1 + 1) / r);
        break;
      case ieBottomLeft: {
        Integer y = SafeRound<Integer>(py1 + 1 + (px2 - p + 1) / r);
        for (Integer i = 0; y > h && i < limit; ++i) y = SafeRound<Integer>(py1 + 1 + (px2 - ++p + 1) / r);
        n = y;
        break;
      }
      case ieTopSide: {
        Grip = ieTopLeft;
        Integer x = SafeRound<Integer>(px2 + 1 - r * (py2 + 1 - n));
        for (Integer i = 0; x < 0 && i < limit; ++i) x = SafeRound<Integer>(px2 + 1 - r * (py2 + 1 - ++n));
        p = x;
        break;
      }
      case ieBottomSide: {
        Grip = ieBottomRight;
        Integer x = SafeRound<Integer>(px1 - 1 + r * (n - py1 + 1));
        for (Integer i = 0; x > w && i < limit; ++i) x = SafeRound<Integer>(px1 - 1 + r * (--n - py1 + 1));
        p = x;
        break;
      }
      default:
        break;
    }
  }
  const bool right = Grip == ieTopRight || Grip == ieBottomRight || Grip == ieRightSide;
  const bool left = Grip == ieTopLeft || Grip == ieBottomLeft || Grip == ieLeftSide;
  const bool top = Grip == ieTopLeft || Grip == ieTopRight || Grip == ieTopSide;
  const bool bottom = Grip == ieBottomRight || Grip == ieBottomLeft || Grip == ieBottomSide;
  if (right) {
    ++p;
    x2 = p == x1 ? p + 1 : p;
  }
  if (left) x1 = p == x2 ? p - 1 : p;
  if (bottom) ++n;
  if (top) y1 = n == y2 ? n - 1 : n;
  if (bottom) y2 = n == y1 ? n + 1 : n;
  if (x2 < x1) {
    switch (Grip) {
      case ieTopLeft: Grip = ieTopRight; break;
      case ieTopRight: Grip = ieTopLeft; break;
      case ieBottomLeft: Grip = ieBottomRight; break;
      case ieBottomRight: Grip = ieBottomLeft; break;
      case ieLeftSide: Grip = ieRightSide; break;
      case ieRightSide: Grip = ieLeftSide; break;
      default: break;
    }
  }
  if (y2 < y1) {
    switch (Grip) {
      case ieTopRight: Grip = ieBottomRight; break;
      case ieBottomRight: Grip = ieTopRight; break;
      case ieTopLeft: Grip = ieBottomLeft; break;
      case ieBottomLeft: Grip = ieTopLeft; break;
      case ieTopSide: Grip = ieBottomSide; break;
      case ieBottomSide: Grip = ieTopSide; break;
      default: break;
    }
  }
  ClearPolygon();
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (Lock) {
    if (y2 >= h)
      x2 = SafeRound<Integer>((x1 / r + h - y1 - 1) * r);
    else if (y1 < 0)
      x1 = SafeRound<Integer>((x2 / r - y2) * r);
    else if (x2 >= w)
      y2 = SafeRound<Integer>((w - x1 - 1) / r + y1);
    else if (x1 < 0)
      y1 = SafeRound<Integer>(y2 - x2 / r);
  }
  x1 = IEClamp(x1, 0, w);
  x2 = IEClamp(x2, 0, w);
  y1 = IEClamp(y1, 0, h);
  y2 = IEClamp(y2, 0, h);
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  AddPolygonPoint(x1, y1);
  AddPolygonPoint(x2, y1);
  AddPolygonPoint(x2, y2);
  AddPolygonPoint(x1, y2);
  ShowPolygon(true);
  FGripDrag = Grip;
  return Grip;
}

// ----- hit tests -----

TIEGrip TZodivErView::GripAtPoint(Integer X, Integer Y, TShiftState Shift) {
  TIELayer* l = CurrentLayer();
  if (!l || !FPolygon->Visible || !FPolygon->Sizeable || !PolygonIsRectangle(FPolygon) || FRectangleDrag) return ieNone;
  if (Shift & ssShift) return ieNone;
  const Integer g = FGripSize;
  for (Integer i = 0; i < 4; ++i) {
    const Integer sx = l->LayerToScreenX(FPolygon->Points[i].X), sy = l->LayerToScreenY(FPolygon->Points[i].Y);
    if (std::abs(X - sx) <= g && std::abs(Y - sy) <= g) return static_cast<TIEGrip>(i + 1);
  }
  const Integer x1 = l->LayerToScreenX(FPolygon->X1), y1 = l->LayerToScreenY(FPolygon->Y1);
  const Integer x2 = l->LayerToScreenX(FPolygon->X2), y2 = l->LayerToScreenY(FPolygon->Y2);
  if (IEDistPointSegment(X, Y, x1, y1, x1, y2) < 3) return ieLeftSide;
  if (IEDistPointSegment(X, Y, x2, y1, x2, y2) < 3) return ieRightSide;
  if (IEDistPointSegment(X, Y, x1, y1, x2, y1) < 3) return ieTopSide;
  if (IEDistPointSegment(X, Y, x1, y2, x2, y2) < 3) return ieBottomSide;
  return ieNone;
}

Integer TZodivErView::MoveStateAtPoint(Integer X, Integer Y, TShiftState Shift) {
  if ((Shift & ssShift) || FSelectionMask->IsEmpty() || FPolygonInProgress || FRectangleDrag || FEllipseDrag) return -1;
  TIELayer* l = CurrentLayer();
  if (!l) return -1;
  const bool inside = FSelectionMask->IsPointInside(l->ScreenToLayerX(X), l->ScreenToLayerY(Y));
  return inside && (FSelectionOptions & iesoMoveable) ? 0 : -1;
}

// ----- events -----

void TZodivErView::DoBeforeSelectionChange() {
  if (!OnBeforeSelectionChange) return;
  SwapSelectionBase();
  try {
    OnBeforeSelectionChange(this);
  } catch (...) {
    SwapSelectionBase();
    throw;
  }
  SwapSelectionBase();
}

void TZodivErView::DoSelectionChanging() {
  if (!OnSelectionChanging) return;
  SwapSelectionBase();
  try {
    OnSelectionChanging(this);
  } catch (...) {
    SwapSelectionBase();
    throw;
  }
  SwapSelectionBase();
}

void TZodivErView::DoSelectionChange() {
  if (OnSelectionChange) OnSelectionChange(this);
}

// ----- drawing -----

void TZodivErView::DrawDashedLine(TIESelectionPolygon* P, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  TCanvas* canvas = P->Canvas;
  const Integer dx = std::abs(X2 - X1), dy = -std::abs(Y2 - Y1), sx = X1 < X2 ? 1 : -1, sy = Y1 < Y2 ? 1 : -1;
  Integer err = dx + dy, x = X1, y = Y1;
  for (;;) {
    canvas->SetPixel(x, y, P->DashCounter <= 3 ? P->Color1 : P->Color2);
    P->DashCounter = P->DashCounter >= 7 ? 0 : P->DashCounter + 1;
    if (x == X2 && y == Y2) break;
    const Integer e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

void TZodivErView::DrawPolygonOutline(Integer Index, TIESelectionPolygon* P) {
  TIELayer* l = CurrentLayer();
  if (!l || P->Count == 0) return;
  const auto sx = [&](const TPoint& Pt) { return l->LayerToScreenX(Pt.X); };
  const auto sy = [&](const TPoint& Pt) { return l->LayerToScreenY(Pt.Y); };
  const auto event = [&](Integer Point, Integer X, Integer Y) {
    if (OnDrawPolygon) OnDrawPolygon(this, Index, Point, P->Canvas, X, Y);
  };
  P->DashCounter = P->Phase;
  if (PolygonIsRectangle(P)) {
    const Integer x0 = sx(P->Points[0]), y0 = sy(P->Points[0]);
    const Integer x2 = sx(P->Points[2]) - 1, y2 = sy(P->Points[2]) - 1;
    const Integer lines[4][4] = {{x0, y0, x2, y0}, {x2, y0, x2, y2}, {x2, y2, x0, y2}, {x0, y2, x0, y0}};
    const Integer ends[4] = {1, 2, 3, 0};
    for (Integer i = 0; i < 4; ++i) {
      if (Index == 0) P->DashCounter = 0;
      DrawDashedLine(P, lines[i][0], lines[i][1], lines[i][2], lines[i][3]);
      event(ends[i], lines[i][2], lines[i][3]);
    }
    return;
  }
  Integer first = 0;
  for (Integer i = 0; i < P->Count; ++i) {
    const TPoint a = P->Points[i];
    if (IsSeparator(a)) continue;
    const bool lastOfSub = i + 1 >= P->Count || IsSeparator(P->Points[i + 1]);
    if (!lastOfSub) {
      const TPoint b = P->Points[i + 1];
      DrawDashedLine(P, sx(a), sy(a), sx(b), sy(b));
      event(i, sx(a), sy(a));
    } else {
      // A separator closes its sub-polygon; the last one stays open while it is being drawn.
      if (i + 1 < P->Count || !FPolygonInProgress) {
        const TPoint b = P->Points[first];
        DrawDashedLine(P, sx(a), sy(a), sx(b), sy(b));
        event(i, sx(a), sy(a));
      }
      first = i + 2;
    }
  }
}

void TZodivErView::DrawSelection(TObject* Sender, bool RespectCanvasLock) {
  (void)RespectCanvasLock;
  if (!HasParentWindow() || !FSelectionDrawing) return;
  const bool busy = FRectangleDrag || FPolygonInProgress || FEllipseDrag || FGripDrag != ieNone || FMoveState >= 0;
  bool animated = false;
  TIELayer* layer = CurrentLayer();
  for (size_t index = 0; index < FPolygons.size(); ++index) {
    TIESelectionPolygon* p = FPolygons[index];
    if (!p->Visible) continue;
    if (p->Animated) {
      animated = true;
      if (Sender && Sender == FAntsTimer && !busy) {
        p->Phase = p->Phase >= 9 ? 0 : p->Phase + 1;
        ++FAntsPhase;
      }
    }
    if (!p->Canvas || FPaintSuspension > 0 || FDragAutoScrolling || !layer) continue;
    if (p->Sizeable && PolygonIsRectangle(p) && !FRectangleDrag && FMoveState < 0) {
      TIECanvas grips(p->Canvas, true, true);
      grips.Brush()->SetStyle(FGripBrushStyle);
      grips.Brush()->SetColor(FGripBrushColor);
      grips.Pen()->SetColor(FGripPenColor);
      const Integer g = FGripSize;
      Integer minX = 0, minY = 0, maxX = 0, maxY = 0;
      for (Integer i = 0; i < p->Count; ++i) {
        const Integer x = layer->LayerToScreenX(p->Points[i].X), y = layer->LayerToScreenY(p->Points[i].Y);
        grips.Ellipse(x - g, y - g, x + g, y + g);
        minX = i == 0 ? x : IEMin(minX, x);
        maxX = i == 0 ? x : IEMax(maxX, x);
        minY = i == 0 ? y : IEMin(minY, y);
        maxY = i == 0 ? y : IEMax(maxY, y);
      }
      if (FSideGrips) {
        const Integer mx = (minX + maxX) / 2, my = (minY + maxY) / 2;
        for (const TPoint c : {TPoint{mx, minY}, TPoint{minX, my}, TPoint{maxX, my}, TPoint{mx, maxY}})
          grips.Ellipse(c.X - g, c.Y - g, c.X + g, c.Y + g);
      }
    }
    if (p == FPolygon && !FSelectionMask->IsEmpty() && !busy && !FRectangleMove) {
      if (!(FSkipOutlineWhileBusy && FOutlineSkip > 0)) {
        const auto t0 = std::chrono::steady_clock::now();
        const Integer* m = layer->DrawnMapping;
        FSelectionMask->DrawBorder(p->Canvas, m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], FAntsPhase,
                                   FSelectionColor1, FSelectionColor2);
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
        if (FAnimationSpeed < 0 && (Owner() || HasParentWindow())) {
          if (!FAntsTimer) {
            FAntsTimer = new TTimer(this);
            FAntsTimer->OnTimer = [this](TObject* S) { DrawSelection(S, true); };
          }
          FAntsTimer->SetInterval(
              static_cast<Cardinal>(IEMax(210, SafeTrunc<Integer>(double(elapsed.count()) * 100 / -FAnimationSpeed))));
        }
      }
      continue;
    }
    DrawPolygonOutline(static_cast<Integer>(index), p);
  }
  if (Owner() || HasParentWindow()) {
    if (!FAntsTimer) {
      FAntsTimer = new TTimer(this);
      FAntsTimer->SetInterval(210);
      FAntsTimer->OnTimer = [this](TObject* S) { DrawSelection(S, true); };
    }
    FAntsTimer->SetEnabled(FFilterDelay > 0 || FOutlineSkip > 0 || animated);
  }
  if (FFilterDelay > 0 && --FFilterDelay == 0) Update();
  if (FOutlineSkip > 0) --FOutlineSkip;
}

void TZodivErView::DrawRubberBand() {
  TIELayer* l = CurrentLayer();
  if (!FPolygonInProgress || !l || FPolygon->Count == 0) return;
  const TPoint last = FPolygon->Points[FPolygon->Count - 1];
  if (IsSeparator(last)) return;
  TCanvas* c = Canvas();
  const TPenMode mode = c->Pen()->Mode();
  const TPenStyle style = c->Pen()->Style();
  const Integer width = c->Pen()->Width();
  c->Pen()->SetMode(pmNot);
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetWidth(1);
  c->MoveTo(l->LayerToScreenX(last.X), l->LayerToScreenY(last.Y));
  c->LineTo(FLastMouse.X, FLastMouse.Y);
  c->Pen()->SetMode(mode);
  c->Pen()->SetStyle(style);
  c->Pen()->SetWidth(width);
}

void TZodivErView::EndPolygonSelection(TShiftState Shift) {
  if (!FPolygonInProgress || FLasso) return;
  RemoveLastPolygonPoint();
  if (!((Shift & ssShift) && FShiftAdds)) FSelectionMask->Clear();
  EndSelect();
  Update();
  FPolygonInProgress = false;
  DoSelectionChange();
}

// ----- the selection stream -----

void TZodivErView::SaveSelectionToStream(TStream* Stream) {
  TIEMask* m = FSelectionMask.get();
  WriteInt(Stream, m->Width);
  WriteInt(Stream, m->Height);
  WriteInt(Stream, FPolygon->Count);
  for (Integer i = 0; i < FPolygon->Count; ++i) {
    WriteInt(Stream, FPolygon->Points[i].X);
    WriteInt(Stream, FPolygon->Points[i].Y);
  }
  for (Integer v : {FPolygon->X1, FPolygon->Y1, FPolygon->X2, FPolygon->Y2}) WriteInt(Stream, v);
  const Byte selected = FSelected ? 1 : 0;
  Stream->WriteBuffer(&selected, 1);
  TIELayer* l = CurrentLayer();
  WriteInt(Stream, l ? l->PosX : 0);
  WriteInt(Stream, l ? l->PosY : 0);
  WriteInt(Stream, m->BitsPerPixel);
  for (Integer v : {m->X1, m->Y1, m->X2, m->Y2}) WriteInt(Stream, v);
  const Byte full = m->Full ? 1 : 0;
  Stream->WriteBuffer(&full, 1);
  // Rows in the mask's own order: bottom row first.
  for (Integer y = m->Height - 1; y >= 0; --y) Stream->WriteBuffer(m->GetScanline(y), m->RowLen);
}

bool TZodivErView::LoadSelectionFromStream(TStream* Stream, Integer Mode) {
  const Integer w = ReadInt(Stream), h = ReadInt(Stream), count = ReadInt(Stream);
  const Int64 left = Stream->Size() - Stream->Position();
  if (w < 0 || h < 0 || count < 0 || Int64(count) * 8 > left) throw EReadError("Stream read error");
  std::vector<TPoint> points(static_cast<size_t>(count));
  for (TPoint& p : points) {
    p.X = ReadInt(Stream);
    p.Y = ReadInt(Stream);
  }
  Integer box[4];
  for (Integer& v : box) v = ReadInt(Stream);
  Byte selected = 0;
  ReadExact(Stream, &selected, 1);
  const Integer sx = ReadInt(Stream), sy = ReadInt(Stream), bits = ReadInt(Stream);
  if (bits != 1 && bits != 8) throw EReadError("Stream read error");
  // The rows must be there before the mask is made: a damaged size would otherwise ask for
  // gigabytes that the stream never had.
  const Int64 rowLen = IEBitmapRowLen(w, bits, 32);
  if (rowLen > 0 && h > (Stream->Size() - Stream->Position() - 17) / rowLen) throw EReadError("Stream read error");
  // A mask without columns or rows stores no bytes, whatever the other size says: it is loaded
  // as the empty mask it is, not walked row by empty row.
  const bool noPixels = rowLen == 0 || h == 0;
  TIEMask loaded;
  loaded.AllocateBits(noPixels ? 0 : w, noPixels ? 0 : h, bits);
  Integer maskBox[4];
  for (Integer& v : maskBox) v = ReadInt(Stream);
  Byte full = 0;
  ReadExact(Stream, &full, 1);
  for (Integer y = loaded.Height - 1; y >= 0; --y) ReadExact(Stream, loaded.GetScanline(y), loaded.RowLen);

  FPolygon->Points = std::move(points);
  FPolygon->Points.reserve(static_cast<size_t>(count) + 64);
  FPolygon->Count = count;
  FPolygon->X1 = box[0];
  FPolygon->Y1 = box[1];
  FPolygon->X2 = box[2];
  FPolygon->Y2 = box[3];
  FSelected = selected != 0;
  // The stored box is not trusted: it is measured again from the rows.
  loaded.Full = full != 0;
  loaded.SyncRect();
  *FSelectionMask = std::move(loaded);
  TIEMask* m = FSelectionMask.get();

  SuspendUpdate();
  try {
    const Integer iw = FIEBitmap->GetWidth(), ih = FIEBitmap->GetHeight();
    if (Mode == 2) {
      FPolygon->Points.clear();
      FPolygon->Count = 0;
      // The stored pixels move by the position of the layer they were made on, where any that
      // land left of or above the origin are lost, then back by the current layer's position
      // into the image. Worked out pixel by pixel in 64 bits: the positions are whatever the
      // stream says, and a mask large enough to hold both moves could be any size.
      TIELayer* l = CurrentLayer();
      const Int64 dx = Int64(sx) - (l ? l->PosX : 0), dy = Int64(sy) - (l ? l->PosY : 0);
      TIEMask moved;
      moved.AllocateBits(iw, ih, bits);
      if (!m->IsEmpty())
        for (Integer y = m->Y1; y <= m->Y2; ++y) {
          const Int64 ty = y + dy;
          if (Int64(y) + sy < 0 || ty < 0 || ty >= ih) continue;
          for (Integer x = m->X1; x <= m->X2; ++x) {
            const Int64 tx = x + dx;
            if (Int64(x) + sx < 0 || tx < 0 || tx >= iw) continue;
            if (const Integer v = m->GetPixel(x, y)) moved.SetPixel(Integer(tx), Integer(ty), v);
          }
        }
      *m = std::move(moved);
      m->SyncFull();
      m->SyncRect();
    } else if (iw != w || ih != h) {
      if (m->IsEmpty()) {
        m->Resize(iw, ih);
      } else {
        if (Mode == 1) {
          Integer dx = m->X2 >= iw ? (iw + m->X1 - m->X2 - 1) - m->X1 : 0;
          Integer dy = m->Y2 >= ih ? (ih + m->Y1 - m->Y2 - 1) - m->Y1 : 0;
          if (dx != 0 || dy != 0) MoveSelection(dx, dy);
        }
        m->Resize(iw, ih);
        m->SyncFull();
        m->SyncRect();
      }
    }
    if (m->IsEmpty())
      DeSelect();
    else
      FSelected = true;
    ShowPolygon(true);
  } catch (...) {
    ResumeUpdate();
    throw;
  }
  ResumeUpdate();
  Update();
  return true;
}

bool TZodivErView::SaveSelectionSnapshot(TStream* Stream) {
  SaveSelectionToStream(Stream);
  return true;
}

bool TZodivErView::LoadSelectionSnapshot(TStream* Stream) { return LoadSelectionFromStream(Stream, 0); }
