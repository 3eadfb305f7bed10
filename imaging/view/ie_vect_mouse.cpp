// Editing vector objects with the mouse: creating every kind by dragging or clicking, selecting,
// moving and resizing by grips, the rubber band, polyline point editing and measuring.
#include <algorithm>
#include <cmath>

#include "imaging/core/ie_canvas.h"
#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/proc/ie_proc.h"
#include "imaging/view/ie_vect.h"
#include "platform/rtl/numerics.h"

namespace {

bool IsLineLike(Byte Kind) { return Kind == ievkLine || Kind == ievkRuler || Kind == ievkLineLabel; }

void OrderCorners(TIEVObjectRec& o) {
  if (o.X1 > o.X2) std::swap(o.X1, o.X2);
  if (o.Y1 > o.Y2) std::swap(o.Y1, o.Y2);
}

}  // namespace

void TZodivErVect::SetMouseInteractObj(TIEMouseInteractVt Value) {
  if (Value == FMouseInteractObj) return;
  FMouseInteractObj = Value;
  ResetInteraction();
}

void TZodivErVect::ResetInteraction() {
  FHoverObject = -1;
  FCreatingKind = ievkNone;
  FMeasuring = false;
  FPolylineHandle = -1;
  FAngleHandle = -1;
  FDragGrip = 0;
  const bool Editing = IsEditingText();
  EndTextEdit();
  FEditedObject = -1;
  if (Editing) Update();
}

// ---------- event slots ----------

void TZodivErVect::ObjectMoveResize(Integer hobj, Integer Grip, Integer& OffsetX, Integer& OffsetY) {
  if (OnObjectMoveResize) OnObjectMoveResize(this, hobj, Grip & 0x7F, OffsetX, OffsetY);
}
void TZodivErVect::ObjectClick(Integer hobj) {
  if (OnObjectClick) OnObjectClick(this, hobj);
}
void TZodivErVect::ObjectDblClick(Integer hobj) {
  if (OnObjectDblClick) OnObjectDblClick(this, hobj);
}
void TZodivErVect::ObjectOver(Integer hobj) {
  if (OnObjectOver) OnObjectOver(this, hobj);
}
void TZodivErVect::NewObject(Integer hobj) {
  if (OnNewObject) OnNewObject(this, hobj);
}
void TZodivErVect::UserSelectObject(Integer hobj) {
  if (OnUserSelectObject) OnUserSelectObject(this, hobj);
}
void TZodivErVect::UserDeselectObject(Integer hobj) {
  if (OnUserDeselectObject) OnUserDeselectObject(this, hobj);
}

// ---------- geometry of a gesture ----------

void TZodivErVect::MoveObjectBy(Integer hobj, Integer DX, Integer DY) {
  TIEVObjectRec* o = GetObjectRec(hobj);
  if (!o || o == &FTemplate) return;
  o->X1 += DX, o->Y1 += DY, o->X2 += DX, o->Y2 += DY;
  if (o->Kind == ievkAngle)
    for (TPoint& p : o->AnglePoints)
      if (p.X != IEV_UNPLACED) p.X += DX, p.Y += DY;
}

void TZodivErVect::ResizeObjectBy(Integer hobj, Integer Grip, bool KeepAspect, Integer DX, Integer DY) {
  TIEVObjectRec* o = GetObjectRec(hobj);
  if (!o || o == &FTemplate) return;
  switch (Grip) {
    case 1: o->X1 += DX, o->Y1 += DY; break;
    case 2: o->X2 += DX, o->Y2 += DY; break;
    case 4: o->X2 += DX, o->Y1 += DY; break;
    case 5: o->X1 += DX, o->Y2 += DY; break;
    case 6: o->X1 += DX; break;
    case 7: o->X2 += DX; break;
    case 8: o->Y1 += DY; break;
    case 9: o->Y2 += DY; break;
    case 10:
    case 11:
    case 12: {
      TPoint& p = o->AnglePoints[Grip - 10];
      if (p.X != IEV_UNPLACED) p.X += DX, p.Y += DY;
      AngleBoundingBox(o->AnglePoints, o->X1, o->Y1, o->X2, o->Y2);
      return;
    }
    default: return;
  }
  if (!KeepAspect) return;
  const TRect& s = o->DragStartRect;
  const double m = double(o->X2 - o->X1) * double(s.Bottom - s.Top), d = double(s.Right - s.Left);
  if (m == 0 || d == 0) return;
  if (Grip == 1 || Grip == 4) o->Y1 = o->Y2 - SafeRound<Integer>(m / d);
  if (Grip == 2 || Grip == 5) o->Y2 = o->Y1 + SafeRound<Integer>(m / d);
}

TPoint TZodivErVect::SnapClient(TPoint From, TPoint To) {
  IESnapLineAngle(From.X, From.Y, To.X, To.Y);
  return To;
}

// ---------- rubber bands and previews ----------

namespace {

// The canvas with a one-pixel solid pen that inverts what it draws over, so that drawing the
// same figure twice restores the screen; the pen is put back by the destructor.
struct TNotPen {
  TCanvas* C;
  explicit TNotPen(TCanvas* Canvas) : C(Canvas) {
    if (!C) return;
    C->Pen()->SetMode(pmNot);
    C->Pen()->SetWidth(1);
    C->Pen()->SetStyle(psSolid);
  }
  ~TNotPen() {
    if (C) C->Pen()->SetMode(pmCopy);
  }
};

}  // namespace

void TZodivErVect::XorLine() {
  TNotPen P(Canvas());
  if (!P.C) return;
  P.C->MoveTo(FDown.X, FDown.Y);
  P.C->LineTo(FCurrent.X, FCurrent.Y);
}

void TZodivErVect::XorBox() {
  TNotPen P(Canvas());
  if (!P.C) return;
  P.C->MoveTo(FDown.X, FDown.Y);
  P.C->LineTo(FCurrent.X, FDown.Y);
  P.C->LineTo(FCurrent.X, FCurrent.Y);
  P.C->LineTo(FDown.X, FCurrent.Y);
  P.C->LineTo(FDown.X, FDown.Y);
}

void TZodivErVect::XorEllipse() {
  TNotPen P(Canvas());
  if (!P.C) return;
  P.C->Brush()->SetStyle(bsClear);
  P.C->Ellipse(std::min(FDown.X, FCurrent.X), std::min(FDown.Y, FCurrent.Y), std::max(FDown.X, FCurrent.X) + 1,
               std::max(FDown.Y, FCurrent.Y) + 1);
  P.C->Brush()->SetStyle(bsSolid);
}

void TZodivErVect::DrawRulerPreview() {
  TCanvas* Cv = Canvas();
  if (!Cv) return;
  const TIEVObjectRec& t = FTemplate;
  const TIEUnits u = static_cast<TIEUnits>(std::min<Byte>(t.RulerUnit, ieuNANOMETERS));
  double fx, fy;
  ComputeUnitScale(u, fx, fy);
  const double L = std::hypot((FCurrent.X - FDown.X) * FZoom100X * fx, (FCurrent.Y - FDown.Y) * FZoom100Y * fy);
  TIECanvas C(Cv, true, false);
  C.Pen()->SetColor(t.PenColor);
  TRect Extent{0, 0, 0, 0};
  DrawRuler(&C, FDown.X, FDown.Y, FCurrent.X, FCurrent.Y, L, u, t.PenColor, t.PenWidth, t.RulerType, FZoom100X,
            FZoom100Y, Extent, t.Font ? *t.Font : DefaultFont(12));
}

void TZodivErVect::DrawAnglePreview() {
  TCanvas* Cv = Canvas();
  TIEVObjectRec* o = GetObjectRec(FAngleHandle);
  if (!Cv || !o) return;
  TPoint Pts[3];
  bool replaced = false;
  for (Integer i = 0; i < 3; ++i) {
    const TPoint& p = o->AnglePoints[i];
    if (p.X == IEV_UNPLACED && !replaced) {
      Pts[i] = FCurrent;
      replaced = true;
    } else {
      Pts[i] = p.X == IEV_UNPLACED ? p : TPoint{BitmapToScreenX(p.X), BitmapToScreenY(p.Y)};
    }
  }
  TIECanvas C(Cv, true, false);
  TRect Extent{0, 0, 0, 0};
  DrawAngle(&C, Pts, o->PenColor, o->PenWidth, Extent, FZoom100X, FZoom100Y, o->Font ? *o->Font : DefaultFont(10));
}

Integer TZodivErVect::PolylinePointAt(Integer X, Integer Y) {
  if (FSelection.size() != 1) return -1;
  TIEVObjectRec* o = GetObjectRec(FSelection.front());
  if (!o || o->Kind != ievkPolyline) return -1;
  for (size_t i = 0; i < o->DrawnPoints.size(); ++i)
    if (std::abs(X - o->DrawnPoints[i].X) <= 3 && std::abs(Y - o->DrawnPoints[i].Y) <= 3) return static_cast<Integer>(i);
  return -1;
}

Integer TZodivErVect::PolylineSegmentAt(Integer X, Integer Y) {
  if (FSelection.size() != 1) return -1;
  TIEVObjectRec* o = GetObjectRec(FSelection.front());
  if (!o || o->Kind != ievkPolyline) return -1;
  const auto& P = o->DrawnPoints;
  const Integer n = static_cast<Integer>(P.size());
  for (Integer i = 0; i + 1 < n; ++i)
    if (IEDistPointSegment(X, Y, P[i].X, P[i].Y, P[i + 1].X, P[i + 1].Y) < 1.5) return i;
  if (o->PolyClosed && n > 1 && IEDistPointSegment(X, Y, P[n - 1].X, P[n - 1].Y, P[0].X, P[0].Y) < 1.5) return n - 1;
  return -1;
}

// ---------- selection by click ----------

void TZodivErVect::SelectAtPoint(TShiftState Shift, Integer X, Integer Y, bool FromPress) {
  double d = 0;
  const Integer h = FindObjectAt(ScreenToBitmapX(X), ScreenToBitmapY(Y), true, d);
  const bool shift = (Shift & ssShift) != 0;
  const auto deselectAll = [&](Integer Except) {
    for (Integer s : std::vector<Integer>(FSelection))
      if (s != Except) UserDeselectObject(s);
  };
  if (h < 0) {
    if (!shift) {
      deselectAll(IEV_NO_OBJECT);
      ClearSelectionAndUpdate();
    }
    return;
  }
  const bool was = IsObjectSelected(h);
  if (was && SelectOnMouseDown && FromPress) {
    FSelectDeferred = true;
    return;
  }
  if (!was) {
    if (!shift) {
      deselectAll(IEV_NO_OBJECT);
      ClearSelection();
    }
    AddToSelection(h);
    UserSelectObject(h);
  } else if (shift) {
    UserDeselectObject(h);
    RemoveFromSelection(h);
  } else {
    deselectAll(h);
    ClearSelection();
    AddToSelection(h);
  }
  Update();
}

// ---------- press ----------

void TZodivErVect::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TZodivErView::MouseDown(Button, Shift, X, Y);
  FDoubleClickSeen = (Shift & ssDouble) != 0;
  const auto clamp = [&](Integer CX, Integer CY) {
    return TPoint{IEClamp(CX, FOffsetX, std::max(FOffsetX, FOffsetX + FVisibleExtentX - 1)),
                  IEClamp(CY, FOffsetY, std::max(FOffsetY, FOffsetY + FVisibleExtentY - 1))};
  };
  TPoint p = clamp(X, Y);
  FUndoTaken = false;
  FSelectDeferred = false;
  if (Button != mbLeft || IsEmpty()) return;
  FInGesture = true;
  if (IsEditingText()) {
    EndTextEdit();
    FEditedObject = -1;
    Update();
  }
  FPolySegment = -1;
  FPolyPoint = -1;
  FChangedInGesture = false;
  SaveObjectsUndo();
  const TIEMouseInteractVt mio = FMouseInteractObj;
  const bool ctrl = (Shift & ssCtrl) != 0, dbl = FDoubleClickSeen;
  FDown = p;
  if (FCreatingKind != ievkPolyline && FCreatingKind != ievkAngle) {
    FMeasuring = false;
    if (mio & mioPutLine) FCreatingKind = ievkLine;
    else if (mio & mioPutLineLabel) FCreatingKind = ievkLineLabel;
    else if (mio & mioPutRuler) FCreatingKind = ievkRuler;
    else if (mio & mioPutBox) FCreatingKind = ievkBox;
    else if (mio & mioPutEllipse) FCreatingKind = ievkEllipse;
    else if (mio & mioPutBitmap) FCreatingKind = ievkBitmap;
    else if (mio & mioPutText) FCreatingKind = ievkText;
    else if (mio & mioPutMemo) FCreatingKind = ievkMemo;
    else if (mio & mioDragLen) FCreatingKind = ievkLine, FMeasuring = true;
    else if (mio & mioPutPlugIn) FCreatingKind = ievkPlugIn;
  }
  if (FCreatingKind != ievkNone && FCreatingKind != ievkPolyline && FCreatingKind != ievkAngle) {
    // created at the release
  } else if ((mio & mioPutAngle) && !dbl) {
    const TPoint b{ScreenToBitmapX(p.X), ScreenToBitmapY(p.Y)};
    TIEVObjectRec* o = FCreatingKind == ievkAngle ? GetObjectRec(FAngleHandle) : nullptr;
    if (!o) {
      FCreatingKind = ievkAngle;
      FTemplate.Kind = ievkAngle;
      FTemplate.AnglePoints[0] = b;
      FTemplate.AnglePoints[1] = FTemplate.AnglePoints[2] = {IEV_UNPLACED, IEV_UNPLACED};
      FTemplate.X1 = FTemplate.Y1 = 1000000;
      FTemplate.X2 = FTemplate.Y2 = -1000000;
      FAngleHandle = AppendObject(FTemplate);
      ClearSelectionAndUpdate();
    } else if (o->AnglePoints[1].X == IEV_UNPLACED) {
      TPoint q = b;
      if (ctrl) IESnapLineAngle(o->AnglePoints[0].X, o->AnglePoints[0].Y, q.X, q.Y);
      FDown = p = {BitmapToScreenX(q.X), BitmapToScreenY(q.Y)};
      o->AnglePoints[1] = q;
    } else {
      TPoint q = b;
      if (ctrl) IESnapLineAngle(o->AnglePoints[1].X, o->AnglePoints[1].Y, q.X, q.Y);
      o->AnglePoints[2] = q;
      AngleBoundingBox(o->AnglePoints, o->X1, o->Y1, o->X2, o->Y2);
      FTemplate.X1 = o->X1, FTemplate.Y1 = o->Y1, FTemplate.X2 = o->X2, FTemplate.Y2 = o->Y2;
      AddToSelection(IEV_LAST_OBJECT);
      VectorialChanged();
      NewObject(FAngleHandle);
      FCreatingKind = ievkNone;
      FAngleHandle = -1;
    }
    Update();
  } else if (mio & mioPutPolyline) {
    TPoint q = PolylineOutOfImage ? TPoint{X, Y} : p;
    if (FCreatingKind != ievkPolyline || !GetObjectRec(FPolylineHandle)) {
      FCreatingKind = ievkPolyline;
      FTemplate.Kind = ievkPolyline;
      FTemplate.X1 = FTemplate.Y1 = 1000000;
      FTemplate.X2 = FTemplate.Y2 = -1000000;
      FTemplate.PolyPoints.clear();
      FChangedInGesture = true;
      FPolylineHandle = AppendObject(FTemplate);
      FPolylineLast = q;
      AddPolylinePoint(FPolylineHandle, ScreenToBitmapX(q.X), ScreenToBitmapY(q.Y));
      ClearSelectionAndUpdate();
    } else {
      if (ctrl) q = SnapClient(FPolylineLast, q);
      FDown = p = q;
      FPolylineLast = q;
      AddPolylinePoint(FPolylineHandle, ScreenToBitmapX(q.X), ScreenToBitmapY(q.Y));
      if (dbl && PolylineClosingMode == 0) FinishPolyline();
    }
    Update();
  } else if (mio & mioEditPolyline) {
    const TPoint q = PolylineOutOfImage ? TPoint{X, Y} : p;
    FPolyPoint = PolylinePointAt(q.X, q.Y);
    if (FPolyPoint < 0) FPolySegment = PolylineSegmentAt(q.X, q.Y);
  }
  if (mio & mioObjectSelect) {
    const Integer bx = ScreenToBitmapX(p.X), by = ScreenToBitmapY(p.Y);
    if (dbl) {
      double d = 0;
      const Integer h = FindObjectAt(bx, by, true, d);
      if (h >= 0) {
        ObjectDblClick(h);
        TIEVObjectRec* o = GetObjectRec(h);
        if (o && (o->Kind == ievkText || o->Kind == ievkMemo) && d == 0) {
          const bool was = IsObjectSelected(h);
          for (Integer s : std::vector<Integer>(FSelection))
            if (s != h) UserDeselectObject(s);
          ClearSelectionAndUpdate();
          AddToSelection(h);
          if (!was) UserSelectObject(h);
          SetEditedObject(h);
          StartTextEdit();
          Update();
        }
      }
    } else {
      GripAt(p.X, p.Y, FDragGrip);
      if ((FDragGrip == 0 || (FDragGrip == 3 && !CenterMoveGrip)) && SelectOnMouseDown) {
        SelectAtPoint(Shift, p.X, p.Y, true);
        GripAt(p.X, p.Y, FDragGrip);
      }
      if (FDragGrip != 0)
        for (Integer h : FSelection)
          if (TIEVObjectRec* o = GetObjectRec(h)) o->DragStartRect = TRect{o->X1, o->Y1, o->X2, o->Y2};
    }
  }
  double d = 0;
  const Integer under = FindObjectAtClient(p.X, p.Y, d);
  if (TIEVObjectRec* o = under >= 0 ? GetObjectRec(under) : nullptr; o && o->Kind == ievkPlugIn && o->PlugIn && d == 0)
    o->PlugIn->MouseDown(Button, Shift, X, Y);
  FCurrent = FDown;
  FDragOffset = {0, 0};
}

void TZodivErVect::FinishPolyline() {
  TIEVObjectRec* o = GetObjectRec(FPolylineHandle);
  const Integer h = FPolylineHandle;
  if (o) FTemplate.X1 = o->X1, FTemplate.Y1 = o->Y1, FTemplate.X2 = o->X2, FTemplate.Y2 = o->Y2;
  AddToSelection(IEV_LAST_OBJECT);
  VectorialChanged();
  FChangedInGesture = false;
  NewObject(h);
  FCreatingKind = ievkNone;
  FPolylineHandle = -1;
}

// ---------- move ----------

void TZodivErVect::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  if (FDoubleClickSeen) {
    FDoubleClickSeen = false;
    return;
  }
  HideMeasureHint();
  TZodivErView::MouseMove(Shift, X, Y);
  if (X == FPressRaw.X && Y == FPressRaw.Y && MouseCapture()) return;
  FRawMouse = {X, Y};
  const TPoint p{IEClamp(X, FOffsetX, std::max(FOffsetX, FOffsetX + FVisibleExtentX - 1)),
                 IEClamp(Y, FOffsetY, std::max(FOffsetY, FOffsetY + FVisibleExtentY - 1))};
  const bool ctrl = (Shift & ssCtrl) != 0, held = FInGesture && MouseCapture();
  const bool sizeable = (FTemplate.Style & ievsSizeable) != 0;
  const TIEMouseInteractVt mio = FMouseInteractObj;
  if (held && FCreatingKind != ievkNone) {
    FDragging = true;
    const auto follow = [&] { FDown = FCurrent = p; };
    switch (FCreatingKind) {
      case ievkLine:
      case ievkLineLabel: {
        if (!sizeable) {
          follow();
          break;
        }
        TPoint q = FMeasuring ? TPoint{X, Y} : p;
        if (FMeasuring) FHintVisible = true;
        XorLine();
        DragAutoScroll();
        if (ctrl) q = SnapClient(FDown, q);
        FCurrent = q;
        XorLine();
        break;
      }
      case ievkBox:
      case ievkPlugIn:
      case ievkEllipse: {
        if (!sizeable) {
          follow();
          break;
        }
        const bool ell = FCreatingKind == ievkEllipse;
        ell ? XorEllipse() : XorBox();
        DragAutoScroll();
        TPoint q = p;
        if (ctrl) {
          const Integer dx = q.X - FDown.X, dy = q.Y - FDown.Y;
          const Integer t = std::abs(dx) > std::abs(dy) ? dx : dy;
          q = {FDown.X + t, FDown.Y + t};
        }
        FCurrent = q;
        ell ? XorEllipse() : XorBox();
        break;
      }
      case ievkBitmap: {
        if (!sizeable) {
          follow();
          break;
        }
        XorBox();
        DragAutoScroll();
        FCurrent = p;
        TIEBitmap* B = GetSharedBitmap(FTemplate.BitmapIndex);
        if (((Shift & ssAlt) || FForceAspect || FTemplate.LockAspect) && B && B->GetWidth() > 0)
          FCurrent.Y = FDown.Y + SafeTrunc<Integer>(double(FCurrent.X - FDown.X) * B->GetHeight() / B->GetWidth());
        XorBox();
        break;
      }
      case ievkText:
      case ievkMemo:
        if (!sizeable) {
          follow();
          break;
        }
        XorBox();
        DragAutoScroll();
        FCurrent = p;
        XorBox();
        break;
      case ievkRuler: {
        if (!sizeable) {
          follow();
          break;
        }
        DragAutoScroll();
        FCurrent = ctrl ? SnapClient(FDown, p) : p;
        Repaint();
        DrawRulerPreview();
        break;
      }
      case ievkPolyline: {
        const TPoint q = PolylineOutOfImage ? TPoint{X, Y} : p;
        AddPolylinePoint(FPolylineHandle, ScreenToBitmapX(q.X), ScreenToBitmapY(q.Y));
        FPolylineLast = q;
        Update();
        break;
      }
      case ievkAngle:
        DragAutoScroll();
        FCurrent = p;
        Repaint();
        DrawAnglePreview();
        break;
      default: break;
    }
  } else if (held) {
    const auto stepOffset = [&](TPoint q, Integer& dx, Integer& dy) {
      const TPoint cum{SafeTrunc<Integer>((q.X - FDown.X) * FZoom100X), SafeTrunc<Integer>((q.Y - FDown.Y) * FZoom100Y)};
      dx = cum.X - FDragOffset.X, dy = cum.Y - FDragOffset.Y;
      FDragOffset = cum;
    };
    if (FDragGrip != 0) {
      VectorialChangedOnce();
      FDragging = true;
      DragAutoScroll();
      TPoint q = p;
      TIEVObjectRec* first = FSelection.empty() ? nullptr : GetObjectRec(FSelection.front());
      if (ctrl && first && IsLineLike(first->Kind) && (FDragGrip == 1 || FDragGrip == 2)) {
        // The dragged end goes where the snapped pointer is, measured from the other end.
        const TRect& s = first->DragStartRect;
        const TPoint other = FDragGrip == 1 ? TPoint{BitmapToScreenX(first->X2), BitmapToScreenY(first->Y2)}
                                            : TPoint{BitmapToScreenX(first->X1), BitmapToScreenY(first->Y1)};
        const TPoint startEnd = FDragGrip == 1 ? TPoint{BitmapToScreenX(s.Left), BitmapToScreenY(s.Top)}
                                               : TPoint{BitmapToScreenX(s.Right), BitmapToScreenY(s.Bottom)};
        const TPoint target = SnapClient(other, TPoint{startEnd.X + q.X - FDown.X, startEnd.Y + q.Y - FDown.Y});
        q = {FDown.X + target.X - startEnd.X, FDown.Y + target.Y - startEnd.Y};
      }
      Integer dx, dy;
      stepOffset(q, dx, dy);
      const TRect ext = SelectionExtent();
      for (Integer h : std::vector<Integer>(FSelection)) {
        TIEVObjectRec* o = GetObjectRec(h);
        if (!o) continue;
        const bool keep = (Shift & ssAlt) || FForceAspect || o->LockAspect;
        Integer ox = dx, oy = dy;
        ObjectMoveResize(h, FDragGrip, ox, oy);
        o = GetObjectRec(h);
        if (!o) continue;
        if ((o->Style & ievsSizeable) && FDragGrip != 3) ResizeObjectBy(h, FDragGrip, keep, ox, oy);
        if ((o->Style & ievsMoveable) && FDragGrip == 3) {
          const bool inside = ext.Left + ox >= 0 && ext.Top + oy >= 0 && ext.Right + ox < ImageWidth() &&
                              ext.Bottom + oy < ImageHeight();
          if (inside || AllowMoveOutside) MoveObjectBy(h, ox, oy);
        }
      }
      Update();
    } else if ((mio & mioEditPolyline) && FPolyPoint >= 0) {
      DragAutoScroll();
      Integer dx, dy;
      stepOffset(p, dx, dy);
      const Integer h = FSelection.empty() ? -1 : FSelection.front();
      TIEVObjectRec* o = GetObjectRec(h);
      if (o && o != &FTemplate && static_cast<size_t>(FPolyPoint) < o->PolyPoints.size()) {
        o->PolyPoints[static_cast<size_t>(FPolyPoint)].X += dx;
        o->PolyPoints[static_cast<size_t>(FPolyPoint)].Y += dy;
        FitPolylineBox(h);
        FChangedInGesture = true;
        Update();
      }
    } else if ((mio & mioObjectSelect) && RubberBandSelect) {
      XorBox();
      DragAutoScroll();
      FCurrent = p;
      if (!(Shift & ssShift)) ClearSelection();
      const Integer x1 = ScreenToBitmapX(FDown.X), y1 = ScreenToBitmapY(FDown.Y);
      const Integer x2 = ScreenToBitmapX(FCurrent.X), y2 = ScreenToBitmapY(FCurrent.Y);
      SelectObjectsInRect(IEV_ALL_OBJECTS, std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2));
      if (OnSelectObject) OnSelectObject(this);
      Update();
      XorBox();
    }
  } else {
    if (FCreatingKind == ievkPolyline) {
      XorLine();
      DragAutoScroll();
      TPoint q{X, Y};
      if (ctrl) q = SnapClient(FPolylineLast, q);
      FCurrent = q;
      FDown = FPolylineLast;
      XorLine();
      if (mio & mioDragLen) FHintVisible = true;
    } else if (FCreatingKind == ievkAngle) {
      DragAutoScroll();
      FCurrent = ctrl ? SnapClient(FDown, p) : p;
      Repaint();
      DrawAnglePreview();
    } else {
      double d = 0;
      const Integer h = FindObjectAtClient(p.X, p.Y, d);
      if (h >= 0) ObjectOver(h);
    }
    if (mio & (mioEditPolyline | mioObjectSelect)) UpdateHoverCursor(p.X, p.Y, Shift);
  }
  ShowMeasureHint(X, Y);
  // Plug-in objects hear the mouse enter, leave and move over them.
  double d = 0;
  Integer h = FindObjectAtClient(p.X, p.Y, d);
  if (d != 0) h = -1;
  if (h != FHoverObject) {
    if (TIEVObjectRec* o = GetObjectRec(FHoverObject); FHoverObject >= 0 && o && o->PlugIn) o->PlugIn->MouseLeave(Shift, X, Y);
    if (TIEVObjectRec* o = GetObjectRec(h); h >= 0 && o && o->PlugIn) o->PlugIn->MouseEnter(Shift, X, Y);
  }
  FHoverObject = h;
  if (TIEVObjectRec* o = GetObjectRec(h); h >= 0 && o && o->PlugIn) o->PlugIn->MouseMove(Shift, X, Y);
}

void TZodivErVect::UpdateHoverCursor(Integer X, Integer Y, TShiftState Shift) {
  if (FMouseInteractObj & mioEditPolyline) {
    if (PolylinePointAt(X, Y) >= 0)
      SetTempCursor((Shift & ssCtrl) ? crIECross3Minus : crIEMove);
    else if (PolylineSegmentAt(X, Y) >= 0)
      SetTempCursor(crIECross3Plus);
    else
      RestoreCursor();
    return;
  }
  Integer g = 0;
  GripAt(X, Y, g);
  switch (g) {
    case 1:
    case 2: SetTempCursor(crIEMoveDiag1); break;
    case 3: SetTempCursor(crIEMove); break;
    case 4:
    case 5:
    case 10:
    case 11:
    case 12: SetTempCursor(crIEMoveDiag2); break;
    case 6:
    case 7: SetTempCursor(crIEMoveHorz); break;
    case 8:
    case 9: SetTempCursor(crIEMoveVert); break;
    default: RestoreCursor(); break;
  }
}

// ---------- release ----------

void TZodivErVect::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TZodivErView::MouseUp(Button, Shift, X, Y);
  FDoubleClickSeen = (Shift & ssDouble) != 0;
  const bool moved = X != FPressRaw.X || Y != FPressRaw.Y;
  const TIEMouseInteractVt mio = FMouseInteractObj;
  const bool gesture = FInGesture;
  FInGesture = false;
  const bool drawingPoly = FCreatingKind == ievkPolyline && PolylineClosingMode != 2;
  if (gesture && !drawingPoly && FCreatingKind != ievkAngle && Button == mbLeft) {
    const bool clickOnly = !moved && (mio & mioNoClickCreate) && !(mio & (mioObjectSelect | mioLength | mioArea));
    if (!clickOnly) {
      if (IsEditingText()) return;
      if (FCreatingKind != ievkNone) {
        EndGestureCreation(Shift);
      } else if (FDragGrip != 0 && (moved || FDragGrip != 3)) {
        for (Integer h : FSelection)
          if (TIEVObjectRec* o = GetObjectRec(h); o && !IsLineLike(o->Kind) && o->Kind != ievkPolyline) OrderCorners(*o);
        VectorialChanged();
      } else if ((mio & (mioObjectSelect | mioEditPolyline)) && (FDragGrip == 0 || FDragGrip == 3) &&
                 FCurrent.X == FDown.X && FCurrent.Y == FDown.Y) {
        if (!SelectOnMouseDown || FSelectDeferred) SelectAtPoint(Shift, FDown.X, FDown.Y, false);
      }
      // Polyline points: Ctrl-click deletes one (a triangle keeps its three), a click on a
      // segment inserts one.
      TIEVObjectRec* only = FSelection.size() == 1 ? GetObjectRec(FSelection.front()) : nullptr;
      if (only && only->Kind != ievkPolyline) only = nullptr;
      if (FPolyPoint >= 0 && (Shift & ssCtrl) && only && only->PolyPoints.size() > 3 && !moved &&
          static_cast<size_t>(FPolyPoint) < only->PolyPoints.size()) {
        only->PolyPoints.erase(only->PolyPoints.begin() + FPolyPoint);
        FitPolylineBox(FSelection.front());
        VectorialChanged();
      } else if (FPolyPoint >= 0 && moved && only) {
        VectorialChanged();
      }
      if (FPolySegment >= 0 && only && static_cast<size_t>(FPolySegment) < only->PolyPoints.size()) {
        double sx, sy;
        PolylineScale(*only, sx, sy);
        if (sx == 0) sx = 1;
        if (sy == 0) sy = 1;
        const Integer bx = ScreenToBitmapX(X), by = ScreenToBitmapY(Y);
        const TPoint np{SafeRound<Integer>((bx + only->PolyBaseRect.Left * sx - only->X1) / sx),
                        SafeRound<Integer>((by + only->PolyBaseRect.Top * sy - only->Y1) / sy)};
        only->PolyPoints.insert(only->PolyPoints.begin() + FPolySegment + 1, np);
        FPolySegment = -1;
        VectorialChanged();
      }
      Update();
      FCreatingKind = ievkNone;
      FMeasuring = false;
      FDragGrip = 0;
      if (FDragging) {
        FDragging = false;
        Invalidate();
        Update();
      }
    }
    if (mio & mioObjectSelect) {
      double d = 0;
      const Integer h = FindObjectAtClient(X, Y, d);
      if (h >= 0) ObjectClick(h);
    }
  }
  if (gesture && !FChangedInGesture && ObjAutoUndo && FUndoTaken) {
    if (ObjUndoMode == ieumSeparated) {
      DropLastObjectsSnapshot();
    } else if (TZodivErProc* P = ProcComponent()) {
      for (Integer k = P->UndoCount() - 1; k >= 0; --k)
        if (P->GetUndoSource(k) == ieuObject) {
          P->ClearUndoAt(P->UndoCount() - 1 - k);
          break;
        }
    }
  }
  double d = 0;
  const Integer under = FindObjectAtClient(X, Y, d);
  if (TIEVObjectRec* o = under >= 0 ? GetObjectRec(under) : nullptr; o && o->Kind == ievkPlugIn && o->PlugIn && d == 0)
    o->PlugIn->MouseUp(Button, Shift, X, Y);
  RefreshMeasureHint(X, Y);
}

void TZodivErVect::EndGestureCreation(TShiftState) {
  TIEVObjectRec& T = FTemplate;
  if (FCurrent.X == FDown.X && FCurrent.Y == FDown.Y) {
    const Integer w = T.X2 - T.X1, h = T.Y2 - T.Y1;
    const Integer x = ScreenToBitmapX(FDown.X), y = ScreenToBitmapY(FDown.Y);
    T.X1 = CenterNewObjects ? x - w / 2 : x;
    T.Y1 = CenterNewObjects ? y - h / 2 : y;
    T.X2 = T.X1 + w;
    T.Y2 = T.Y1 + h;
  } else {
    T.X1 = ScreenToBitmapX(FDown.X), T.Y1 = ScreenToBitmapY(FDown.Y);
    T.X2 = ScreenToBitmapX(FCurrent.X), T.Y2 = ScreenToBitmapY(FCurrent.Y);
  }
  T.Kind = FCreatingKind;
  if (FCreatingKind == ievkPolyline)
    if (TIEVObjectRec* o = GetObjectRec(FPolylineHandle)) T.X1 = o->X1, T.Y1 = o->Y1, T.X2 = o->X2, T.Y2 = o->Y2;
  if (FMeasuring) {
    HideMeasureHint();
    FHintVisible = false;
    if (OnDragLenEnd) OnDragLenEnd(this, FLastMeasured);
    return;
  }
  VectorialChangedOnce();
  const Integer h = FCreatingKind == ievkPolyline ? FPolylineHandle : AppendObject(T);
  FPolylineHandle = -1;
  ClearSelectionAndUpdate();
  NewObject(h);
  AddToSelection(IEV_LAST_OBJECT);
  FChangedInGesture = true;
  TIEVObjectRec* o = GetObjectRec(h);
  if (EditNewText && o && (o->Kind == ievkText || o->Kind == ievkMemo)) {
    SetEditedObject(h);
    StartTextEdit();
  }
  // An object whose editor did not open is reported now; an edit reports when it ends.
  if (!IsEditingText()) VectorialChanged();
}
