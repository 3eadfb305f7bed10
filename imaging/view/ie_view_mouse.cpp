// What the mouse does in the view: zooming by clicks, scrolling by drags, drawing, moving and
// resizing selections, moving, resizing and rotating layers, and the cursors that announce it.
#include <cmath>
#include <cstdlib>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/view/ie_view.h"
#include "platform/gui/forms.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr TIEMouseInteract SelectionItems = miSelect | miSelectPolygon | miSelectCircle | miSelectMagicWand | miSelectLasso;

// Holds the view's selection base at client coordinates while a handler runs.
class TClientBase {
 public:
  TClientBase(TIESelectionBase& Base, TIESelectionBase& Saved) : FBase(Base), FOld(Base) {
    Saved = Base;
    Base = iesbClientArea;
  }
  ~TClientBase() { FBase = FOld; }
  TClientBase(const TClientBase&) = delete;
  TClientBase& operator=(const TClientBase&) = delete;

 private:
  TIESelectionBase& FBase;
  TIESelectionBase FOld;
};

TCursor GripCursor(TIEGrip Grip, TCursor Otherwise) {
  switch (Grip) {
    case ieTopLeft:
    case ieBottomRight: return crIEMoveDiag1;
    case ieTopRight:
    case ieBottomLeft: return crIEMoveDiag2;
    case ieLeftSide:
    case ieRightSide: return crIEMoveHorz;
    case ieTopSide:
    case ieBottomSide: return crIEMoveVert;
    default: return Otherwise;
  }
}

}  // namespace

TPoint TZodivErView::ClampToCurrentLayer(Integer X, Integer Y) {
  TIELayer* l = CurrentLayer();
  if (!l) return TPoint{X, Y};
  const TRect& r = l->ClientRect;
  return TPoint{IEClamp(X, r.Left, r.Right + 1), IEClamp(Y, r.Top, r.Bottom + 1)};
}

void TZodivErView::SetMouseInteract(TIEMouseInteract Value) {
  if (Value == FMouseInteract) return;
  if (FPolygonInProgress && (FMouseInteract & miSelectPolygon)) {
    RemoveLastPolygonPoint();
    FSelectionMask->Clear();
    EndSelect();
    FPolygonInProgress = false;
    Invalidate();
  }
  // The first item newly switched on decides which others may stay with it.
  struct TRule { TIEMouseInteract Item, Kept; };
  static constexpr TRule rules[] = {
      {miScroll, miZoom | miMovingScroll},
      {miSelect, miZoom | miMovingScroll},
      {miSelectPolygon, miMovingScroll},
      {miSelectCircle, miZoom | miMovingScroll},
      {miSelectLasso, miZoom | miMovingScroll},
      {miSelectZoom, miZoom | miMovingScroll},
      {miZoom, miScroll | miSelect | miSelectCircle | miSelectZoom | miSelectLasso | miMovingScroll},
      {miSelectMagicWand, miMovingScroll},
  };
  bool ruled = false;
  for (const TRule& r : rules)
    if ((Value & r.Item) && !(FMouseInteract & r.Item)) {
      Value &= r.Item | r.Kept;
      ruled = true;
      break;
    }
  if (!ruled) {
    if (Value & miRotateLayers)
      Value &= miMoveLayers | miRotateLayers | miMovingScroll;
    else if (Value & miMoveLayers)
      Value &= static_cast<TIEMouseInteract>(~0xFFu);
    else if (Value & miResizeLayers)
      Value &= miMoveLayers | miResizeLayers | miMovingScroll;
  }
  if ((Value & miRotateLayers) && CropBeforeRotation) CropLayersToOpaque(-1);
  if (!(Value & miRotateLayers)) ApplyLayerRotations(-1);
  FMouseInteract = Value;
}

void TZodivErView::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (TCustomForm* form = GetParentForm(); form && form->Visible() && CanFocus()) SetFocus();
  FSavedZoomFilter = FZoomFilter;
  if (Button == mbRight && (Shift & ssLeft)) return;
  FLayerMoved = false;
  if (Button != mbLeft && !(FMouseInteract & miZoom) &&
      !(Button == mbRight && (FSelectionOptions & iesoRightButtonSelectLayers)))
    return;
  if (!(FMouseInteract & miScroll) && FDelayZoomFilter) FZoomFilter = rfNone;
  TClientBase base(FSelectionBase, FSavedSelectionBase);
  FPressImageArea = TPoint{IEClamp(X, FOffsetX, FOffsetX + FVisibleExtentX), IEClamp(Y, FOffsetY, FOffsetY + FVisibleExtentY)};
  FPressRaw = TPoint{X, Y};
  FPressClamped = ClampToCurrentLayer(X, Y);
  FLastClamped = FLastMouse = FPressClamped;
  FLastRaw = FPressRaw;
  FViewXAtPress = FViewX;
  FViewYAtPress = FViewY;
  FCountAtPress = FPolygon->Count;
  const bool left = Button == mbLeft, alt = (Shift & ssAlt) || FForceAspect;
  const bool shiftAdds = (Shift & ssShift) && FShiftAdds;
  const TIEMouseInteract mi = FMouseInteract;
  TIELayer* layer = CurrentLayer();

  if (left && (mi & (miSelectPolygon | miSelectLasso))) {
    ApplyLayerRotations(-1);
    DoBeforeSelectionChange();
    FMoveState = MoveStateAtPoint(FPressClamped.X, FPressClamped.Y, Shift);
    if (FMoveState < 0) {
      TPoint p = FPressClamped;
      if (alt && FPolygon->Count > 0 && FPolygon->Points[FPolygon->Count - 1].X != TIEMask::PolygonSeparator) {
        const TPoint last = FPolygon->Points[FPolygon->Count - 1];
        IESnapLineAngle(layer->LayerToScreenX(last.X), layer->LayerToScreenY(last.Y), p.X, p.Y);
      }
      if (!FPolygonInProgress) {
        if (shiftAdds) {
          if (FPolygon->Count > 0) AddPolygonSeparator();
        } else {
          DeSelect();
        }
      }
      AddSelectionPoint(p.X, p.Y);
      FLastMouse = p;
      FPolygonInProgress = true;
      FLasso = (mi & miSelectLasso) != 0;
      DoSelectionChanging();
    }
    // The second press of a double click closes the polygon it has just added a point to.
    if ((Shift & ssDouble) && !FLasso) EndPolygonSelection(Shift);
  } else if (left && (mi & miSelect)) {
    ApplyLayerRotations(-1);
    DoBeforeSelectionChange();
    FGripDrag = GripAtPoint(X, Y, Shift);
    if (FGripDrag == ieNone) FMoveState = MoveStateAtPoint(X, Y, Shift);
    if (FGripDrag == ieNone && FMoveState < 0) {
      FRectangleDrag = true;
      if (FSelectionAspectRatio == 0) SelectRectangleDrag(X, Y, Shift);
      DoSelectionChanging();
    } else if (FGripDrag != ieNone) {
      FBoundsAtPress[0] = FPolygon->X1;
      FBoundsAtPress[1] = FPolygon->Y1;
      FBoundsAtPress[2] = FPolygon->X2;
      FBoundsAtPress[3] = FPolygon->Y2;
    }
  } else if (left && (mi & miSelectZoom)) {
    FRectangleDrag = true;
    DoSelectionChanging();
    PushSelection();
  } else if (left && (mi & miSelectCircle)) {
    ApplyLayerRotations(-1);
    DoBeforeSelectionChange();
    FMoveState = MoveStateAtPoint(FPressClamped.X, FPressClamped.Y, Shift);
    if (FMoveState < 0) {
      FEllipseDrag = true;
      ShowPolygon(false);
      if (FSelectionAspectRatio == 0) SelectEllipseDrag(FPressClamped.X, FPressClamped.Y, Shift);
      DoSelectionChanging();
    }
  } else if (left && (mi & miSelectMagicWand)) {
    ApplyLayerRotations(-1);
    DoBeforeSelectionChange();
    FMoveState = MoveStateAtPoint(FPressClamped.X, FPressClamped.Y, Shift);
  } else if ((left || (Button == mbRight && (FSelectionOptions & iesoRightButtonSelectLayers))) &&
             (mi & (miMoveLayers | miResizeLayers | miRotateLayers))) {
    FLayerUndoSaved = false;
    FLayerResizeGrip = ieNone;
    if (mi & miResizeLayers) {
      const Integer grip = GripAt(X, Y);
      if (grip >= ieTopLeft && grip <= ieBottomSide) FLayerResizeGrip = static_cast<TIEGrip>(grip);
    }
    if (FLayerResizeGrip != ieNone) {
      ApplyLayerRotations(-1);
      if ((layer = CurrentLayer())) {
        FLayerBoxAtPress = layer->ClientRect;
        for (Integer i = 0; i < 4; ++i) FLayerCornersAtPress[i] = layer->RotatedCorners[i];
      }
      FLayerResizing = true;
    } else if (mi & (miMoveLayers | miRotateLayers)) {
      if ((mi & miRotateLayers) && GripAt(X, Y) == ieRotationCenter) {
        FRotationCenterLayer = FCurrentLayer;
      } else if ((mi & miRotateLayers) && layer && !IsPointInLayer(X, Y, FCurrentLayer)) {
        FRotatingLayer = FCurrentLayer;
        FRotationAccumulator = layer->RotationAngle();
      } else {
        FMovingLayer = FindLayerAt(X, Y, true);
        if (FMovingLayer >= 0) {
          SetCurrentLayer(FMovingLayer);
          LayerNotify(FCurrentLayer, ielSelected);
          if (!LayerAt(FMovingLayer)->NoResize) SetTempCursor(crIEMove);
        }
      }
    }
  }
  if (left && (mi & miScroll) && CanScroll()) SetTempCursor(crIEHand);
}

void TZodivErView::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  TClientBase base(FSelectionBase, FSavedSelectionBase);
  TPoint clamped = ClampToCurrentLayer(X, Y);
  const bool alt = (Shift & ssAlt) || FForceAspect, shiftAdds = (Shift & ssShift) && FShiftAdds;
  const TIEMouseInteract mi = FMouseInteract;
  TIELayer* layer = CurrentLayer();
  const bool captured = MouseCapture();
  const auto toLayerX = [&](Integer V) { return layer ? layer->ScreenToLayerX(V) : V; };
  const auto toLayerY = [&](Integer V) { return layer ? layer->ScreenToLayerY(V) : V; };

  if (captured) {
    if (mi & miScroll) {
      ScrollTo(FViewXAtPress - SafeTrunc<Integer>((X - FPressRaw.X) * ScrollDragRate),
               FViewYAtPress - SafeTrunc<Integer>((Y - FPressRaw.Y) * ScrollDragRate));
    } else if (FGripDrag != ieNone) {
      DragAutoScroll();
      FGripDrag = ResizeSelectionByGrip(FGripDrag, clamped.X, clamped.Y, alt || FSelectionAspectRatio > 0);
      DoSelectionChanging();
    } else if (FMoveState >= 0) {
      if (FSelectionOptions & iesoCanScroll) DragAutoScroll();
      MoveSelectionCore(toLayerX(clamped.X) - toLayerX(FLastClamped.X), toLayerY(clamped.Y) - toLayerY(FLastClamped.Y),
                        (FSelectionOptions & iesoCutBorders) != 0);
      DoSelectionChanging();
    } else if (FRectangleDrag) {
      SelectRectangleDrag(clamped.X, clamped.Y, Shift);
    } else if (FPolygonInProgress) {
      DragAutoScroll();
      Paint();
      DrawRubberBand();
      AddPolygonPoint(IEClamp(toLayerX(clamped.X), 0, FIEBitmap->GetWidth()),
                      IEClamp(toLayerY(clamped.Y), 0, FIEBitmap->GetHeight()));
      DrawSelection(this, false);
      DoSelectionChanging();
    } else if (FEllipseDrag) {
      SelectEllipseDrag(clamped.X, clamped.Y, Shift);
    } else if (FMovingLayer >= 0 && FMovingLayer < LayerCount() && !LayerAt(FMovingLayer)->NoResize) {
      TIELayer* l = LayerAt(FMovingLayer);
      DragAutoScroll();
      l->PosX += ScreenToBitmapX(X) - ScreenToBitmapX(FLastRaw.X);
      l->PosY += ScreenToBitmapY(Y) - ScreenToBitmapY(FLastRaw.Y);
      if (l->PosX != 0 || l->PosY != 0) FLayerMoved = true;
      SetInteractionHint("X=" + IntToStr(l->PosX) + " Y=" + IntToStr(l->PosY), X, Y, "X=000 Y=000");
      FLayerToRefresh = FMovingLayer;
      Update();
      LayerNotify(FCurrentLayer, ielMoving);
    } else if (FRotationCenterLayer >= 0 && FRotationCenterLayer < LayerCount()) {
      TIELayer* l = LayerAt(FRotationCenterLayer);
      const Integer bw = l->Bitmap->GetWidth(), bh = l->Bitmap->GetHeight();
      if (bw > 0 && bh > 0) {
        l->RotationCenterX = double(l->ScreenToLayerX(X)) / bw;
        l->RotationCenterY = double(l->ScreenToLayerY(Y)) / bh;
      }
      SetInteractionHint("X=" + IntToStr(SafeTrunc<Integer>(l->GetWidth() * l->RotationCenterX)) +
                             " Y=" + IntToStr(SafeTrunc<Integer>(l->GetHeight() * l->RotationCenterY)),
                         X, Y, "X=000 Y=000");
      FLayerToRefresh = FRotationCenterLayer;
      Update();
    } else if (FRotatingLayer >= 0 && FRotatingLayer < LayerCount() && !LayerAt(FRotatingLayer)->NoResize) {
      TIELayer* l = LayerAt(FRotatingLayer);
      double a = (ScreenToBitmapX(X) - ScreenToBitmapX(FLastRaw.X)) / 4.0;
      double b = (ScreenToBitmapY(Y) - ScreenToBitmapY(FLastRaw.Y)) / 4.0;
      const Integer cx = l->LayerToScreenX(SafeRound<Integer>(l->Bitmap->GetWidth() * l->RotationCenterX));
      const Integer cy = l->LayerToScreenY(SafeRound<Integer>(l->Bitmap->GetHeight() * l->RotationCenterY));
      if (cx < X) b = -b;
      if (Y < cy) a = -a;
      FRotationAccumulator += a + b;
      const double snap = RotationSnap > 0 ? RotationSnap : 45;
      l->SetRotationAngle((Shift & ssShift) ? std::trunc(FRotationAccumulator / snap) * snap : FRotationAccumulator);
      SetInteractionHint(FloatToStr(l->RotationAngle()) + "\xC2\xB0", X, Y, "0000\xC2\xB0");
      FLayerToRefresh = FRotatingLayer;
      Update();
      LayerNotify(FCurrentLayer, ielRotating);
    } else if (FLayerResizeGrip != ieNone && layer && !layer->NoResize) {
      DragAutoScroll();
      LayerResizeByGrip(X, Y, alt);
      SetInteractionHint(IntToStr(layer->GetWidth()) + " x " + IntToStr(layer->GetHeight()), X, Y, "0000 x 0000");
      FLayerToRefresh = FCurrentLayer;
      Update();
      LayerNotify(FCurrentLayer, ielResizing);
    }
  }

  if (!captured && !(FPolygonInProgress && !FLasso)) {
    if (mi & SelectionItems) {
      const TIEGrip g = GripAtPoint(X, Y, Shift);
      DoMouseInResizingGrip(g);
      if (g == ieNone) {
        if (MoveStateAtPoint(X, Y, Shift) == 0)
          SetTempCursor(crIEMove);
        else if (shiftAdds && FUserCursor == crIECross3)
          SetTempCursor(crIECross3Plus);
        else if (shiftAdds && FUserCursor == crIECross2)
          SetTempCursor(crIECross2Plus);
        else
          RestoreCursor();
      } else {
        SetTempCursor(GripCursor(g, FCursorInUse));
      }
    } else if (mi & miRotateLayers) {
      if (IsPointInLayer(X, Y, FCurrentLayer) || !layer) {
        RestoreCursor();
      } else {
        const Integer cx = layer->LayerToScreenX(SafeRound<Integer>(layer->Bitmap->GetWidth() * layer->RotationCenterX));
        const Integer cy = layer->LayerToScreenY(SafeRound<Integer>(layer->Bitmap->GetHeight() * layer->RotationCenterY));
        if (X < cx && Y < cy) SetTempCursor(crIERotate4);
        else if (X < cx && Y > cy) SetTempCursor(crIERotate1);
        else if (X > cx && Y < cy) SetTempCursor(crIERotate2);
        else if (X > cx && Y > cy) SetTempCursor(crIERotate3);
      }
    } else if (mi & (miResizeLayers | miMoveLayers)) {
      Integer grip = 0;
      if ((mi & miResizeLayers) && layer && !layer->NoResize) grip = GripAt(X, Y);
      if (grip >= ieTopLeft && grip <= ieBottomSide) {
        SetTempCursor(GripCursor(static_cast<TIEGrip>(grip), FCursorInUse));
      } else {
        const Integer found = FindLayerAt(X, Y, true);
        if (found >= 0 && !LayerAt(found)->NoResize && (mi & miMoveLayers))
          SetTempCursor(crIEMove);
        else
          RestoreCursor();
      }
    }
  }

  TPoint mouse = clamped;
  if (FPolygonInProgress && !FLasso) {
    DrawRubberBand();
    if (alt && layer && FPolygon->Count > 0 && FPolygon->Points[FPolygon->Count - 1].X != TIEMask::PolygonSeparator) {
      const TPoint last = FPolygon->Points[FPolygon->Count - 1];
      IESnapLineAngle(layer->LayerToScreenX(last.X), layer->LayerToScreenY(last.Y), mouse.X, mouse.Y);
    }
    FLastMouse = mouse;
    DrawRubberBand();
    DoSelectionChanging();
  }

  if ((mi & miMovingScroll) && (X != FLastRaw.X || Y != FLastRaw.Y) && !captured) {
    Integer maxX = 0, maxY = 0;
    GetMaxViewXY(maxX, maxY);
    const Integer dw = DrawAreaWidth(), dh = DrawAreaHeight();
    if (dw > 0 && dh > 0)
      SmoothScrollTo(SafeTrunc<Integer>((IEMin(IEMax(X, 0), dw - 1) / double(dw) - 0.02) * 1.05 * maxX),
                     SafeTrunc<Integer>((IEMin(IEMax(Y, 0), dh - 1) / double(dh) - 0.02) * 1.05 * maxY));
  }

  if (layer && FSelectionMask->IsPointInside(toLayerX(clamped.X), toLayerY(clamped.Y))) DoMouseInSel();
  FLastMouse = mouse;
  FLastClamped = clamped;
  FLastRaw = TPoint{X, Y};
}

void TZodivErView::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  FHintText.clear();
  bool finished = false;
  const TPoint clamped = ClampToCurrentLayer(X, Y);
  const bool left = Button == mbLeft, shiftAdds = (Shift & ssShift) && FShiftAdds;
  const TIEMouseInteract mi = FMouseInteract;
  const bool moved = clamped.X != FPressClamped.X || clamped.Y != FPressClamped.Y;
  {
    TClientBase base(FSelectionBase, FSavedSelectionBase);
    const auto endShape = [&] {
      if (!shiftAdds) FSelectionMask->Clear();
      EndSelect();
    };
    if ((mi & miZoom) && X == FPressClamped.X && Y == FPressClamped.Y && !IsEmpty()) {
      if (left) {
        if (mi & miScroll) RestoreCursor();
        double z = NextZoomIn(FZoomX);
        DoZoomIn(z);
        if (z != FZoomX || z != FZoomY) ZoomAt(X, Y, false, z);
      } else if (Button == mbRight) {
        double z = NextZoomOut(FZoomX);
        DoZoomOut(z);
        if (z != FZoomX || z != FZoomY) ZoomAt(X, Y, false, z);
      }
      FPolygonInProgress = false;
    } else if (left && (mi & miScroll) && CanScroll()) {
      ScrollTo(FViewXAtPress - SafeTrunc<Integer>((X - FPressRaw.X) * ScrollDragRate),
               FViewYAtPress - SafeTrunc<Integer>((Y - FPressRaw.Y) * ScrollDragRate));
      RestoreCursor();
    } else if (left && (mi & miSelectZoom)) {
      ZoomSelection(ZoomSelectionUniform, true);
      FRectangleDrag = false;
      PopSelection(true, 1);
    } else if (left && (mi & miSelect)) {
      if (moved || FGripDrag != ieNone || FMoveState >= 0) {
        if (FRectangleDrag || FGripDrag != ieNone) endShape();
        FRectangleDrag = false;
        FGripDrag = ieNone;
        FMoveState = -1;
        finished = true;
        Update();
      } else {
        DeSelect();
        finished = true;
      }
    } else if (left && (mi & miSelectCircle)) {
      if (!moved && FMoveState < 0 && FSelectionAspectRatio != 0) {
        DeSelect();
      } else {
        if (FEllipseDrag) endShape();
        FEllipseDrag = false;
        FMoveState = -1;
        finished = true;
        Update();
      }
    } else if (left && (mi & miSelectLasso)) {
      if (!moved && FMoveState < 0) {
        DeSelect();
      } else {
        if (FLasso) endShape();
        FLasso = false;
        FPolygonInProgress = false;
        FMoveState = -1;
        finished = true;
        Update();
      }
    } else if (left && (mi & miSelectPolygon)) {
      if (FMoveState >= 0) {
        FMoveState = -1;
        finished = true;
      }
      Update();
    } else if (left && (mi & miSelectMagicWand)) {
      if (FMoveState >= 0) {
        FMoveState = -1;
      } else {
        SetTempCursor(crHourGlass);
        SelectMagicWand(X, Y, shiftAdds);
        RestoreCursor();
      }
      finished = true;
      Update();
    }

    if (left) {
      if (FRectangleMove) {
        FSelectionMask->Clear();
        EndSelect();
        FRectangleMove = false;
      }
      if (FMovingLayer >= 0) {
        FMovingLayer = -1;
        RestoreCursor();
        if (FLayerMoved) LayerNotify(FCurrentLayer, ielMoved);
        FLayerMoved = false;
        Invalidate();
      }
      if (FRotatingLayer >= 0) {
        FRotatingLayer = -1;
        if (moved) LayerNotify(FCurrentLayer, ielRotated);
        Invalidate();
      }
      FRotationCenterLayer = -1;
      if (FLayerResizeGrip != ieNone) {
        FLayerResizeGrip = ieNone;
        FLayerResizing = false;
        if (moved) LayerNotify(FCurrentLayer, ielResized);
        Update();
      }
      FMoveState = -1;
      FGripDrag = ieNone;
      FRectangleDrag = false;
      FEllipseDrag = false;
      FLasso = false;
      if (finished) DoSelectionChange();
    }
  }
  FZoomFilter = FSavedZoomFilter;
}

void TZodivErView::LayerResizeByGrip(Integer X, Integer Y, bool Lock) {
  TIELayer* l = CurrentLayer();
  if (!l || !l->Bitmap) return;
  const Integer w0 = l->GetWidth(), h0 = l->GetHeight();
  const Integer bw = l->Bitmap->GetWidth(), bh = l->Bitmap->GetHeight();
  Integer f = ScreenToBitmapX(X), g = ScreenToBitmapY(Y);
  const Integer fl = ScreenToBitmapX(FLastRaw.X), gl = ScreenToBitmapY(FLastRaw.Y);
  const Integer x1 = FLayerBoxAtPress.Left, y1 = FLayerBoxAtPress.Top, x2 = FLayerBoxAtPress.Right,
                y2 = FLayerBoxAtPress.Bottom;
  TIEGrip grip = FLayerResizeGrip;
  if (Lock && bw > 0 && bh > 0) {
    const double q = double(bh) / bw;
    switch (grip) {
      case ieTopRight: g = ScreenToBitmapY(SafeTrunc<Integer>(q * (x2 - X)) + y1); break;
      case ieLeftSide: grip = ieBottomLeft; [[fallthrough]];
      case ieBottomLeft: g = ScreenToBitmapY(SafeTrunc<Integer>(q * (x1 - X)) + y2); break;
      case ieRightSide: grip = ieBottomRight; [[fallthrough]];
      case ieTopLeft:
      case ieBottomRight: g = ScreenToBitmapY(SafeTrunc<Integer>(q * (X - x1)) + y1); break;
      case ieTopSide: grip = ieTopLeft; f = ScreenToBitmapX(SafeTrunc<Integer>((Y - y1) / q) + x1); break;
      case ieBottomSide: grip = ieBottomRight; f = ScreenToBitmapX(SafeTrunc<Integer>((Y - y1) / q) + x1); break;
      default: break;
    }
  }
  // A size below 1 stays 1 and then the position stays too.
  const auto setWidth = [&](Integer W) {
    l->WidthOverride = IEMax(W, 1);
    return W > 1;
  };
  const auto setHeight = [&](Integer H) {
    l->HeightOverride = IEMax(H, 1);
    return H > 1;
  };
  switch (grip) {
    case ieTopLeft: {
      const Integer w = l->PosX + w0 - f, h = l->PosY + h0 - g;
      if (setWidth(w)) l->PosX = f;
      if (setHeight(h)) l->PosY = g;
      break;
    }
    case ieTopRight: {
      setWidth(f - l->PosX);
      if (setHeight(l->PosY + h0 - g)) l->PosY = g;
      break;
    }
    case ieBottomRight:
      setWidth(f - ScreenToBitmapX(x1));
      setHeight(g - ScreenToBitmapY(y1));
      break;
    case ieBottomLeft:
      if (setWidth(l->PosX + w0 - f)) l->PosX = f;
      setHeight(g - ScreenToBitmapY(y1));
      break;
    case ieLeftSide:
      if (setWidth(w0 + fl - f)) l->PosX += f - fl;
      break;
    case ieRightSide: setWidth(f - ScreenToBitmapX(x1)); break;
    case ieTopSide:
      if (setHeight(l->PosY + h0 - g)) l->PosY = g;
      break;
    case ieBottomSide: setHeight(h0 + g - gl); break;
    default: break;
  }
}

void TZodivErView::KeyDown(Word& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if ((Shift & ssShift) && FShiftAdds) {
    if (FCursorInUse == crIECross3) SetTempCursor(crIECross3Plus);
    else if (FCursorInUse == crIECross2) SetTempCursor(crIECross2Plus);
  }
}

void TZodivErView::KeyUp(Word& Key, TShiftState Shift) {
  TCustomControl::KeyUp(Key, Shift);
  if (!(Shift & ssShift) && FShiftAdds) RestoreCursor();
}

void TZodivErView::KeyPress(char& Key) { TCustomControl::KeyPress(Key); }

// The polygon a double click ends is closed by the press that follows this call (it carries the
// double-click flag), so that the point that press adds is the one removed again.
void TZodivErView::DblClick() { TCustomControl::DblClick(); }
