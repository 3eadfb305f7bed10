// Grips of the selected vector objects (where they sit, how they are drawn and found) and the
// measurement hint shown while measuring.
#include <algorithm>
#include <cmath>

#include "imaging/core/ie_canvas.h"
#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_text_boxes.h"
#include "imaging/view/ie_vect.h"
#include "platform/rtl/sysutils.h"

namespace {

bool IsLineLike(Byte Kind) { return Kind == ievkLine || Kind == ievkRuler || Kind == ievkLineLabel; }

}  // namespace

TPicture* TZodivErVect::ObjGripImage() {
  if (!FGripImage) FGripImage = std::make_unique<TPicture>();
  return FGripImage.get();
}

void TZodivErVect::ObjectClientBox(const TIEVObjectRec& o, Integer& X1, Integer& Y1, Integer& X2, Integer& Y2) {
  X1 = BitmapToScreenX(o.X1);
  Y1 = BitmapToScreenY(o.Y1);
  X2 = BitmapToScreenX(o.X2);
  Y2 = BitmapToScreenY(o.Y2);
  // A picture covers the whole of its last pixel when zoomed, as the drawing stretches it.
  if (o.Kind == ievkBitmap) {
    if (ZoomX() != 100) X2 = BitmapToScreenX(o.X2 + 1) - 1;
    if (ZoomY() != 100) Y2 = BitmapToScreenY(o.Y2 + 1) - 1;
  }
}

bool TZodivErVect::IsOnGrip(Integer CX, Integer CY, Integer X, Integer Y) const {
  return X >= CX - GripSize && X < CX + GripSize && Y >= CY - GripSize && Y < CY + GripSize;
}

Integer TZodivErVect::GripAt(Integer X, Integer Y, Integer& Grip) {
  Grip = 0;
  const Integer ax = OffsetX(), ay = OffsetY();
  const Integer bx = ScreenToBitmapX(X), by = ScreenToBitmapY(Y);
  for (size_t i = 0; i < FSelection.size(); ++i) {
    TIEVObjectRec* o = GetObjectRec(FSelection[i]);
    if (!o) continue;
    Integer x1, y1, x2, y2;
    ObjectClientBox(*o, x1, y1, x2, y2);
    if (o->Kind == ievkAngle) {
      Integer b[4];
      AngleBoundingBox(o->AnglePoints, b[0], b[1], b[2], b[3]);
      x1 = BitmapToScreenX(b[0]), y1 = BitmapToScreenY(b[1]), x2 = BitmapToScreenX(b[2]), y2 = BitmapToScreenY(b[3]);
    }
    if (!IERectsIntersect(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2), ax, ay,
                          ax + FVisibleExtentX, ay + FVisibleExtentY))
      continue;
    Integer g = 0;
    const auto body = [&] {
      if (CenterMoveGrip) {
        const Integer l = std::min(x1, x2), t = std::min(y1, y2), r = std::max(x1, x2), b = std::max(y1, y2);
        return IsOnGrip(l + (r - l + 1) / 2, t + (b - t + 1) / 2, X, Y);
      }
      return ObjectDistance(*o, bx, by) < 1.0;
    };
    if (o->Kind == ievkAngle) {
      if (body()) g = 3;
      for (Integer k = 0; k < 3; ++k)
        if (o->AnglePoints[k].X != IEV_UNPLACED &&
            IsOnGrip(BitmapToScreenX(o->AnglePoints[k].X), BitmapToScreenY(o->AnglePoints[k].Y), X, Y)) {
          g = 10 + k;
          break;
        }
    } else {
      if (IsOnGrip(x1, y1, X, Y))
        g = 1;
      else if (IsOnGrip(x2, y2, X, Y))
        g = 2;
      else if (body())
        g = 3;
      if (!IsLineLike(o->Kind)) {
        const TPoint side[6] = {{x2, y1}, {x1, y2}, {x1, (y1 + y2) / 2}, {x2, (y1 + y2) / 2}, {(x1 + x2) / 2, y1},
                                {(x1 + x2) / 2, y2}};
        for (Integer k = 0; k < 6; ++k)
          if (IsOnGrip(side[k].X, side[k].Y, X, Y)) {
            g = 4 + k;
            break;
          }
      }
      if (o->Kind == ievkLineLabel) {
        const TRect& lb = o->LabelBox;
        if (bx >= std::min(lb.Left, lb.Right) && bx <= std::max(lb.Left, lb.Right) && by >= std::min(lb.Top, lb.Bottom) &&
            by <= std::max(lb.Top, lb.Bottom) && lb.Right != lb.Left)
          g = 2;
      }
    }
    if (g != 0 && !(o->Style & ievsSizeable)) g = 3;
    if (g != 0) {
      Grip = g;
      return static_cast<Integer>(i);
    }
  }
  return IEV_NO_OBJECT;
}

void TZodivErVect::DrawGrip(TCanvas* Canvas, Integer Kind, Integer X, Integer Y) {
  if (FGripImage && FGripImage->Graphic()) {
    const Integer w = FGripImage->Width(), h = FGripImage->Height();
    GripSize = std::max(w, h) / 2;
    Canvas->Draw(X - w / 2, Y - h / 2, FGripImage->Graphic());
    return;
  }
  TIECanvas C(Canvas, true, true);
  C.Pen()->SetWidth(float(GripPen.Width()));
  C.Pen()->SetColor(GripPen.Color());
  C.Pen()->SetStyle(GripPen.Style());
  C.Pen()->SetMode(GripPen.Mode());
  C.Pen()->SetTransparency(180);
  C.Brush()->SetColor(GripBrush.Color());
  C.Brush()->SetStyle(GripBrush.Style());
  C.Brush()->SetTransparency(180);
  const Integer s = GripSize;
  if (Kind == 0) {
    if (GripShape == 0)
      C.Rectangle(X - s, Y - s, X + s, Y + s);
    else
      C.Ellipse(X - s, Y - s, X + s, Y + s);
  } else {
    C.Pen()->SetWidth(1);
    C.Polygon({{X, Y - s}, {X + s, Y}, {X, Y + s}, {X - s, Y}, {X, Y - s}});
  }
}

void TZodivErVect::DrawObjectGrips(TCanvas* Canvas, Integer hobj) {
  TIEVObjectRec* o = GetObjectRec(hobj);
  if (!o || o == &FTemplate || !(o->Style & ievsSelectable)) return;
  Integer x1, y1, x2, y2;
  ObjectClientBox(*o, x1, y1, x2, y2);
  if (o->Kind == ievkAngle) {
    for (const TPoint& p : o->AnglePoints)
      if (p.X != IEV_UNPLACED) DrawGrip(Canvas, 0, BitmapToScreenX(p.X), BitmapToScreenY(p.Y));
    return;
  }
  const Integer ax = OffsetX(), ay = OffsetY();
  if (!IERectsIntersect(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2), ax, ay,
                        ax + FVisibleExtentX, ay + FVisibleExtentY))
    return;
  DrawGrip(Canvas, 0, x1, y1);
  DrawGrip(Canvas, 0, x2, y2);
  if (!IsLineLike(o->Kind)) {
    DrawGrip(Canvas, 0, x2, y1);
    DrawGrip(Canvas, 0, x1, y2);
    DrawGrip(Canvas, 0, x1, (y1 + y2) / 2);
    DrawGrip(Canvas, 0, x2, (y1 + y2) / 2);
    DrawGrip(Canvas, 0, (x1 + x2) / 2, y1);
    DrawGrip(Canvas, 0, (x1 + x2) / 2, y2);
  }
  if (CenterMoveGrip) {
    const Integer l = std::min(x1, x2), t = std::min(y1, y2), r = std::max(x1, x2), b = std::max(y1, y2);
    DrawGrip(Canvas, 1, l + (r - l + 1) / 2, t + (b - t + 1) / 2);
  }
}

void TZodivErVect::DrawSelectionGrips(TCanvas* Canvas) {
  for (Integer h : std::vector<Integer>(FSelection)) DrawObjectGrips(Canvas, h);
}

// ---------- measurement hint ----------

void TZodivErVect::ShowMeasureHint(Integer X, Integer Y) {
  if (!FHintVisible) return;
  if (X == IEV_UNPLACED || Y == IEV_UNPLACED) {
    X = FHintPos.X, Y = FHintPos.Y;
  } else {
    FHintPos = {std::max(X, 0), std::max(Y, 0)};
    X = FHintPos.X, Y = FHintPos.Y;
  }
  double v = 0;
  const bool area = (FMouseInteractObj & mioArea) != 0;
  if (area)
    v = SelectionArea();
  else if (FMouseInteractObj & mioLength)
    v = SelectionPolygonLength();
  else if (FMouseInteractObj & mioDragLen)
    v = std::hypot((FRawMouse.X - FDown.X + 1) * FZoom100X * UnitFactorX(),
                   (FRawMouse.Y - FDown.Y + 1) * FZoom100Y * UnitFactorY());
  if (v == 0) v = FLastMeasured;
  FLastMeasured = v;
  AnsiString text = FloatToStrF(v, ffFixed, FFloatPrecision, FFloatDigits) + " " + IEUnitNames[FMUnit];
  if (area) text += "\xC2\xB2";
  if (OnMeasureHint) OnMeasureHint(this, text, v);
  FMeasureText = text;
  TCanvas* C = Canvas();
  if (!C || ClientWidth() <= 0 || ClientHeight() <= 0) return;
  Integer hx = X, hy = Y;
  IEDrawHintBox(C, hx, hy, text, &MeasureHintFont, &MeasureHintBrush, FHintSave, ClientWidth(), ClientHeight(),
                0x808080, 0xFFFFFF);
  FHintDrawn = {hx, hy};
  FHintShown = true;
}

void TZodivErVect::HideMeasureHint() {
  if (!FHintShown) return;
  FHintShown = false;
  if (FHintSave && FHintSave->Width() >= 2) {
    if (TCanvas* C = Canvas()) C->Draw(FHintDrawn.X, FHintDrawn.Y, FHintSave.get());
    FHintSave->SetWidth(1);
  }
}

void TZodivErVect::RefreshMeasureHint(Integer X, Integer Y) {
  HideMeasureHint();
  ShowMeasureHint(X, Y);
}
