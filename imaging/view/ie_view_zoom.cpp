// Zoom, scrolling and the mapping between client and bitmap coordinates. The rounding of every
// step is part of what the rest of the view relies on (selection, hit tests, rendering), so the
// arithmetic here follows one fixed order: Trunc toward zero, Round to even.
#include <algorithm>
#include <cmath>
#include <functional>

#include "imaging/core/ie_system_probes.h"
#include "imaging/view/ie_view.h"
#include "platform/gui/drag_dock.h"
#include "platform/rtl/flag_guard.h"
#include "platform/rtl/numerics.h"

namespace {

Integer TruncI(double V) { return SafeTrunc<Integer>(V); }
Integer RoundI(double V) { return SafeRound<Integer>(V); }

// Coordinates far off the screen (a layer placed anywhere in the 32-bit range, an extreme zoom)
// are held at this distance, so that the callers can still add or subtract two of them.
constexpr Integer FarCoordinate = Integer(1) << 29;
Integer FarTrunc(double V) { return std::clamp(TruncI(V), -FarCoordinate, FarCoordinate); }
Integer FarRound(double V) { return std::clamp(RoundI(V), -FarCoordinate, FarCoordinate); }

constexpr double ZoomTable[] = {2, 5, 10, 25, 33, 50, 75, 100};

// Tables longer than this would only serve absurd zooms; conversions then use the arithmetic
// fallback, which gives the same results without the memory.
constexpr Int64 MaxTableEntries = Int64(1) << 25;

// The platform's 3-D edge and plain border sizes.
constexpr Integer EdgeSize = 2;
constexpr Integer BorderSize = 1;

}  // namespace

void TZodivErView::RecomputeZoomFactors() {
  FZoomD100X = FZoomX / 100.0;
  FZoomD100Y = FZoomY / 100.0;
  FZoom100X = 100.0 / FZoomX;
  FZoom100Y = 100.0 / FZoomY;
}

void TZodivErView::LoadDelayCounters(bool Filter) {
  if (FDelayZoomFilter && FZoomFilter != rfNone && Filter) FFilterDelay = 4;
  FOutlineSkip = 2;
}

void TZodivErView::ViewChange(Integer Change) {
  if (OnViewChange) OnViewChange(this, Change);
  if (FNavigator) SyncNavigator();
}

// ---------------------------------------------------------------------------------------------
// Zoom

void TZodivErView::ApplyZoom(double Value) {
  ApplyZoomX(Value);
  ApplyZoomY(Value);
}

void TZodivErView::ApplyZoomX(double Value) {
  const double F = Value / 100.0;
  const Integer H = static_cast<Integer>(static_cast<Cardinal>(DrawAreaWidth()) >> 1);
  const Integer C = H + FViewX - FOffsetX;
  const Integer B = RoundI(C * FZoom100X);
  const Integer X = TruncI(B * F - H);
  Integer MaxX = 0, MaxY = 0;
  GetMaxViewXY(MaxX, MaxY);
  FViewX = std::clamp(X, 0, std::max(MaxX, 0));
  FZoomX = Value;
  RecomputeZoomFactors();
}

void TZodivErView::ApplyZoomY(double Value) {
  const double F = Value / 100.0;
  const Integer H = static_cast<Integer>(static_cast<Cardinal>(DrawAreaHeight()) >> 1);
  const Integer C = H + FViewY - FOffsetY;
  const Integer B = RoundI(C * FZoom100Y);
  const Integer Y = TruncI(B * F - H);
  Integer MaxX = 0, MaxY = 0;
  GetMaxViewXY(MaxX, MaxY);
  FViewY = std::clamp(Y, 0, std::max(MaxY, 0));
  FZoomY = Value;
  RecomputeZoomFactors();
}

void TZodivErView::ZoomSteps(bool FilterDelay, const std::function<void()>& Apply) {
  LoadDelayCounters(FilterDelay);
  SuspendPaint();
  Apply();
  Update();
  Update();
  ComputeVisibleArea();
  BuildCoordinateTables();
  ResumePaintQuiet();
  Paint();
  ViewChange(1);
}

void TZodivErView::SetZoom(double Value) {
  if (!(Value > 0) || !std::isfinite(Value) || (Value == FZoomX && Value == FZoomY)) return;
  ZoomSteps(FZoomX != 100 || FZoomY != 100, [&] { ApplyZoom(Value); });
}

void TZodivErView::SetZoomX(double Value) {
  if (!(Value > 0) || !std::isfinite(Value) || Value == FZoomX) return;
  ZoomSteps(FZoomX != 100, [&] { ApplyZoomX(Value); });
}

void TZodivErView::SetZoomY(double Value) {
  if (!(Value > 0) || !std::isfinite(Value) || Value == FZoomY) return;
  ZoomSteps(FZoomY != 100, [&] { ApplyZoomY(Value); });
}

void TZodivErView::ZoomAt(Integer X, Integer Y, bool Center, double Value) {
  SuspendPaint();
  const Integer BX = ScreenToBitmapX(X), BY = ScreenToBitmapY(Y);
  SetZoom(Value);
  const double F = FZoomX / 100.0;
  if (Center)
    ScrollTo(TruncI(BX * F - DrawAreaWidth() / 2), TruncI(BY * F - DrawAreaHeight() / 2));
  else
    ScrollTo(TruncI(BX * F - X + F), TruncI(BY * F - Y + F));
  ResumePaint();
  ComputeVisibleArea();
  BuildCoordinateTables();
  ViewChange(1);
}

double TZodivErView::NextZoomIn(double Z) {
  if (Z >= 100) return Z + 100;
  for (double S : ZoomTable)
    if (S > Z) return S;
  return 100;
}

double TZodivErView::NextZoomOut(double Z) {
  if (Z >= 200) return Z - 100;
  double Result = 2;
  for (double S : ZoomTable)
    if (S < Z) Result = S;
  return Result;
}

void TZodivErView::GetFitMargins(bool ForUpdate, Integer& MarginX, Integer& MarginY) {
  switch (FBackgroundStyle) {
    case iebsCropped:
      MarginX = MarginY = EdgeSize;
      return;
    case iebsCropShadow:
      MarginX = MarginY = 5;
      return;
    case iebsSoftShadow:
      MarginX = MarginY = 9;
      return;
    default:
      break;
  }
  if (ForUpdate) {
    MarginX = (Width() - DrawAreaWidth()) / 2;
    MarginY = (Height() - DrawAreaHeight()) / 2;
  } else if (BorderStyle() == bsSingle) {
    MarginX = MarginY = Ctl3D() ? EdgeSize : BorderSize;
  } else {
    MarginX = MarginY = 0;
  }
}

double TZodivErView::FitZoom() {
  // An image without size has nothing to fit; dividing by its zero size would give a zoom of
  // infinity that every later conversion would carry.
  if (FImageWidth <= 0 || FImageHeight <= 0) return 100;
  Integer MX = 0, MY = 0;
  GetFitMargins(false, MX, MY);
  const double ZW = (Width() - 2.0 * MX) / (FImageWidth / 100.0);
  const double ZH = (Height() - 2.0 * MY) / (FImageHeight / 100.0);
  return std::min(ZW, ZH);
}

void TZodivErView::ZoomToFit() {
  if (FImageWidth == 0 || FImageHeight == 0) return;
  HideHorzScrollBar();
  HideVertScrollBar();
  SetZoom(FitZoom());
}

void TZodivErView::ZoomSelection(bool Uniform, bool FireEvent) {
  if (!FSelected) return;
  const Integer X1 = SelectionX1(), Y1 = SelectionY1();
  const Integer W = SelectionX2() - X1 + 1, H = SelectionY2() - Y1 + 1;
  if (X1 < 0 || Y1 < 0 || W < 2 || H < 2) return;
  DeSelect();
  const double ZW = Width() / (W / 100.0), ZH = Height() / (H / 100.0);
  double Z = std::min(ZW, ZH);
  if (FireEvent) DoZoomIn(Z);
  if (Uniform) {
    SetZoom(Z);
  } else {
    SetZoomX(ZW);
    SetZoomY(ZH);
  }
  ScrollTo(TruncI(X1 * FZoomD100X) - (DrawAreaWidth() - TruncI(W * FZoomD100X)) / 2,
           TruncI(Y1 * FZoomD100Y) - (DrawAreaHeight() - TruncI(H * FZoomD100Y)) / 2);
}

// ---------------------------------------------------------------------------------------------
// Extent, visible area and tables

void TZodivErView::ComputeImageExtent() {
  FExtentX = RoundI(FImageWidth * FZoomD100X);
  FExtentY = RoundI(FImageHeight * FZoomD100Y);
  FOffsetX = FOffsetY = 0;
  if (DesignMode()) {
    FVisibleExtentX = std::min(FExtentX, Width());
    FVisibleExtentY = std::min(FExtentY, Height());
    return;
  }
  const Integer DAW = DrawAreaWidth(), DAH = DrawAreaHeight();
  FVisibleExtentX = std::min(FExtentX, DAW);
  FVisibleExtentY = std::min(FExtentY, DAH);
  if (FCenter) {
    if (FVisibleExtentX < DAW) FOffsetX = (DAW - FVisibleExtentX) / 2;
    if (FVisibleExtentY < DAH) FOffsetY = (DAH - FVisibleExtentY) / 2;
  }
}

void TZodivErView::ComputeVisibleArea() {
  auto Axis = [this](Integer Size, Integer Extent, Integer VisibleExtent, Integer View, double Zoom, double ZoomD100,
                     bool Horizontal, Integer& Start, Integer& Length, Integer& Dest) {
    Start = Length = Dest = 0;
    if (Extent == 0) return;
    const double R = double(Size) / Extent;
    Start = RoundI((Horizontal ? MapScreenX(View) : MapScreenY(View)) * R);
    Length = RoundI(R * VisibleExtent);
    if (Start + Length > Size) --Length;
    if (Zoom > 100) {
      Dest = TruncI(Length * ZoomD100);
      if (Dest < VisibleExtent && Start + Length + 1 <= Size) {
        ++Length;
        Dest = TruncI(Length * ZoomD100);
      }
    } else {
      Dest = VisibleExtent;
    }
  };
  Axis(FImageWidth, FExtentX, FVisibleExtentX, FViewX, FZoomX, FZoomD100X, true, FVisibleBitmapRect.Left,
       FVisibleBitmapRect.Right, FVisibleDestWidth);
  Axis(FImageHeight, FExtentY, FVisibleExtentY, FViewY, FZoomY, FZoomD100Y, false, FVisibleBitmapRect.Top,
       FVisibleBitmapRect.Bottom, FVisibleDestHeight);
}

void TZodivErView::BuildCoordinateTables() {
  if (FZoomX != FTableZoomX || FZoomY != FTableZoomY || FVisibleDestWidth != FTableDestWidth ||
      FVisibleDestHeight != FTableDestHeight || FImageWidth != FTableImageWidth ||
      FImageHeight != FTableImageHeight) {
    FXTables = TAxisTables();
    FYTables = TAxisTables();
    const bool Usable = FVisibleDestWidth > 0 && FVisibleDestHeight > 0 && FIEBitmap->GetWidth() > 0 &&
                        FIEBitmap->GetHeight() > 0;
    if (Usable) {
      auto Build = [](TAxisTables& T, Integer Extent, Integer VisibleDest, Integer Size, double Zoom, double Zoom100,
                      double ZoomD100) -> bool {
        const Int64 N = Int64(Extent) + VisibleDest + 1;
        const Int64 M = SafeTrunc<Int64>(N * Zoom100) + 1;
        if (N <= 0 || M <= 0 || N > MaxTableEntries || M > MaxTableEntries) return false;
        T.ZoomedToBitmap.assign(size_t(N + 1), 0);
        T.BitmapToZoomed.assign(size_t(M + 1), 0);
        const Integer Last = std::max(Size - 1, 0);
        if (Zoom > 100) {
          for (Int64 J = N - 1; J >= 0; --J) {
            const Int64 I = SafeTrunc<Int64>(J * Zoom100);
            if (I >= 0 && I <= M) T.BitmapToZoomed[size_t(I)] = Integer(J);
            T.ZoomedToBitmap[size_t(J)] = Integer(std::min<Int64>(I, Last));
          }
        } else {
          for (Int64 K = M - 1; K >= 0; --K) {
            const Int64 I = SafeTrunc<Int64>(K * ZoomD100);
            T.BitmapToZoomed[size_t(K)] = Integer(I);
            if (I >= 0 && I <= N) T.ZoomedToBitmap[size_t(I)] = Integer(std::min<Int64>(K, Last));
          }
        }
        T.ScreenToBitmapCount = VisibleDest;
        T.BitmapToScreenCount = SafeTrunc<Integer>(VisibleDest * Zoom100);
        return true;
      };
      const bool OkX = Build(FXTables, FExtentX, FVisibleDestWidth, FImageWidth, FZoomX, FZoom100X, FZoomD100X);
      const bool OkY = Build(FYTables, FExtentY, FVisibleDestHeight, FImageHeight, FZoomY, FZoom100Y, FZoomD100Y);
      if (!OkX) FXTables = TAxisTables();
      if (!OkY) FYTables = TAxisTables();
      FTableZoomX = FZoomX;
      FTableZoomY = FZoomY;
      FTableDestWidth = FVisibleDestWidth;
      FTableDestHeight = FVisibleDestHeight;
      FTableImageWidth = FImageWidth;
      FTableImageHeight = FImageHeight;
    }
  }
  auto Windows = [](TAxisTables& T, Integer S, Integer VisibleStart) {
    if (T.ScreenToBitmapCount <= 0 || T.ZoomedToBitmap.empty()) return;
    S = std::clamp<Integer>(S, 0, Integer(T.ZoomedToBitmap.size()) - 1);
    T.ScreenToBitmapWindow = S;
    T.BitmapToScreenWindow = std::max(0, T.ZoomedToBitmap[size_t(S)] - VisibleStart);
  };
  Windows(FXTables, MapScreenX(FViewX), FVisibleBitmapRect.Left);
  Windows(FYTables, MapScreenY(FViewY), FVisibleBitmapRect.Top);
}

Integer TZodivErView::MapScreenX(Integer Index) {
  Index = std::max(Index, 0);
  const auto& T = FXTables;
  if (Index < FExtentX && T.ScreenToBitmapCount > 0 && size_t(Index) < T.ZoomedToBitmap.size()) {
    const Integer B = T.ZoomedToBitmap[size_t(Index)];
    if (B >= 0 && size_t(B) < T.BitmapToZoomed.size()) return T.BitmapToZoomed[size_t(B)];
  }
  return Index;
}

Integer TZodivErView::MapScreenY(Integer Index) {
  Index = std::max(Index, 0);
  const auto& T = FYTables;
  if (Index < FExtentY && T.ScreenToBitmapCount > 0 && size_t(Index) < T.ZoomedToBitmap.size()) {
    const Integer B = T.ZoomedToBitmap[size_t(Index)];
    if (B >= 0 && size_t(B) < T.BitmapToZoomed.size()) return T.BitmapToZoomed[size_t(B)];
  }
  return Index;
}

Integer TZodivErView::ScreenToBitmapX(Integer X) {
  const Int64 A = Int64(X) - FOffsetX;
  const auto& T = FXTables;
  if (A >= 0 && A < T.ScreenToBitmapCount && size_t(T.ScreenToBitmapWindow) + A < T.ZoomedToBitmap.size())
    return T.ZoomedToBitmap[size_t(T.ScreenToBitmapWindow) + size_t(A)];
  return FarTrunc(double(A) * FZoom100X + FVisibleBitmapRect.Left);
}

Integer TZodivErView::ScreenToBitmapY(Integer Y) {
  const Int64 A = Int64(Y) - FOffsetY;
  const auto& T = FYTables;
  if (A >= 0 && A < T.ScreenToBitmapCount && size_t(T.ScreenToBitmapWindow) + A < T.ZoomedToBitmap.size())
    return T.ZoomedToBitmap[size_t(T.ScreenToBitmapWindow) + size_t(A)];
  return FarTrunc(double(A) * FZoom100Y + FVisibleBitmapRect.Top);
}

Integer TZodivErView::BitmapToScreenX(Integer X) {
  const Int64 D = Int64(X) - FVisibleBitmapRect.Left;
  const auto& T = FXTables;
  if (D >= 0 && D < T.BitmapToScreenCount && size_t(T.BitmapToScreenWindow) + D < T.BitmapToZoomed.size())
    return T.BitmapToZoomed[size_t(T.BitmapToScreenWindow) + size_t(D)] + FOffsetX;
  const double C = double(RoundI(-MapScreenX(FViewX) * FZoom100X)) + X;
  return FarRound(C * FZoomD100X + FOffsetX);
}

Integer TZodivErView::BitmapToScreenY(Integer Y) {
  const Int64 D = Int64(Y) - FVisibleBitmapRect.Top;
  const auto& T = FYTables;
  if (D >= 0 && D < T.BitmapToScreenCount && size_t(T.BitmapToScreenWindow) + D < T.BitmapToZoomed.size())
    return T.BitmapToZoomed[size_t(T.BitmapToScreenWindow) + size_t(D)] + FOffsetY;
  const double C = double(RoundI(-MapScreenY(FViewY) * FZoom100Y)) + Y;
  return FarRound(C * FZoomD100Y + FOffsetY);
}

// ---------------------------------------------------------------------------------------------
// Scrolling

void TZodivErView::GetMaxViewXY(Integer& MaxX, Integer& MaxY) {
  const Integer DAW = DrawAreaWidth(), DAH = DrawAreaHeight();
  Integer W = TruncI(FImageWidth * FZoomD100X), H = TruncI(FImageHeight * FZoomD100Y);
  const bool Equal = FZoomX == FZoomY;
  if (!Equal) {
    if (W > DAW + 10) W = TruncI((FImageWidth + 1) * FZoomD100X);
    if (H > DAH + 10) H = TruncI((FImageHeight + 1) * FZoomD100Y);
  } else if (FScrollBars != ssNone && (W > DAW + 10 || H > DAH + 10)) {
    W = TruncI((FImageWidth + 1) * FZoomD100X);
    H = TruncI((FImageHeight + 1) * FZoomD100Y);
  }
  MaxX = MaxY = 0;
  if (W <= 0 || H <= 0) return;
  MaxX = W - DAW;
  MaxY = H - DAH;
  if (MaxX < 0 || ScreenToBitmapX(MaxX) == 0) MaxX = 0;
  if (MaxY < 0 || ScreenToBitmapY(MaxY) == 0) MaxY = 0;
  if (!Equal) {
    if (W <= Width()) MaxX = 0;
    if (H <= Height()) MaxY = 0;
  } else if (W <= Width() && H <= Height()) {
    MaxX = MaxY = 0;
  }
}

bool TZodivErView::CanScroll() {
  Integer MaxX = 0, MaxY = 0;
  GetMaxViewXY(MaxX, MaxY);
  return MaxX > 0 || MaxY > 0;
}

void TZodivErView::ScrollTo(Integer X, Integer Y) { ScrollAxes(X, Y, true, true); }

void TZodivErView::SetViewX(Integer X) { ScrollAxes(X, FViewY, true, false); }

void TZodivErView::SetViewY(Integer Y) { ScrollAxes(FViewX, Y, false, true); }

void TZodivErView::ScrollAxes(Integer X, Integer Y, bool Horizontal, bool Vertical) {
  if (X == FViewX && Y == FViewY) return;
  Integer MaxX = 0, MaxY = 0;
  GetMaxViewXY(MaxX, MaxY);
  X = std::clamp(X, 0, std::max(MaxX, 0));
  Y = std::clamp(Y, 0, std::max(MaxY, 0));
  if (X == FViewX && Y == FViewY) return;
  LoadDelayCounters(FZoomX != 100 || FZoomY != 100);
  FViewX = X;
  FViewY = Y;
  FBackBufferDirty = true;
  FFullRepaint = true;
  Paint();
  ViewChange(0);
  if (FSelected) DrawSelection(this, false);
  if (Horizontal && (FScrollBars == ssHorizontal || FScrollBars == ssBoth))
    IESetScrollPos(this, sbHorizontal, TruncI(FViewX / FHScrollScale), true, FFlatScrollBars);
  if (Vertical && (FScrollBars == ssVertical || FScrollBars == ssBoth))
    IESetScrollPos(this, sbVertical, TruncI(FViewY / FVScrollScale), true, FFlatScrollBars);
}

void TZodivErView::HideHorzScrollBar() {
  if (!FHScrollShown) return;
  IEShowScrollBar(this, sbHorizontal, false, FFlatScrollBars);
  FHScrollShown = false;
}

void TZodivErView::HideVertScrollBar() {
  if (!FVScrollShown) return;
  IEShowScrollBar(this, sbVertical, false, FFlatScrollBars);
  FVScrollShown = false;
}

void TZodivErView::UpdateScrollBars() {
  Integer MaxX = 0, MaxY = 0;
  GetMaxViewXY(MaxX, MaxY);
  auto One = [this](TScrollBarKind Kind, Integer Max, Integer DrawArea, Integer View, double& Scale, bool& Shown) {
    if (Max > 0) {
      Shown = true;
      Scale = (DrawArea + Max) / 65536.0;
      IESetScrollRange(this, Kind, 0, 65535, false, FFlatScrollBars);
      IESetScrollPage(this, Kind, TruncI(DrawArea / Scale), true, FFlatScrollBars);
      IESetScrollPos(this, Kind, TruncI(View / Scale), false, FFlatScrollBars);
      IEEnableScrollBar(this, Kind, true, FFlatScrollBars);
      IEShowScrollBar(this, Kind, true, FFlatScrollBars);
    } else if (KeepScrollBarsVisible) {
      Shown = true;
      IEEnableScrollBar(this, Kind, false, FFlatScrollBars);
      IEShowScrollBar(this, Kind, true, FFlatScrollBars);
    } else if (Shown) {
      IEShowScrollBar(this, Kind, false, FFlatScrollBars);
      Shown = false;
    }
  };
  if (FScrollBars == ssHorizontal || FScrollBars == ssBoth)
    One(sbHorizontal, MaxX, DrawAreaWidth(), FViewX, FHScrollScale, FHScrollShown);
  if (FScrollBars == ssVertical || FScrollBars == ssBoth)
    One(sbVertical, MaxY, DrawAreaHeight(), FViewY, FVScrollScale, FVScrollShown);
}

void TZodivErView::SetScrollBars(TScrollStyle Value) {
  FScrollBars = Value;
  if (Value != ssVertical && Value != ssBoth) HideVertScrollBar();
  if (Value != ssHorizontal && Value != ssBoth) HideHorzScrollBar();
  Update();
}

void TZodivErView::Scroll(TScrollBarKind Kind, TScrollCode Code, Integer Pos) {
  TIEView::Scroll(Kind, Code, Pos);
  ScrollMessage(Kind, Code, Pos);
}

void TZodivErView::ScrollMessage(TScrollBarKind Kind, TScrollCode Code, Integer Pos) {
  const bool Vertical = Kind == sbVertical;
  TIEScrollBarParams* P = Vertical ? FVScrollBarParams.get() : FHScrollBarParams.get();
  const Integer U = std::max(TruncI((Vertical ? FZoomY : FZoomX) / 100.0), 1);
  const Integer Current = Vertical ? FViewY : FViewX;
  const Integer Line = P->LineStepFactor == -1 ? U : U * P->LineStepFactor;
  const Integer Page =
      P->PageStepFactor == -1 ? (Vertical ? DrawAreaHeight() : DrawAreaWidth()) : U * P->PageStepFactor;
  Integer MaxX = 0, MaxY = 0;
  Integer NewPos = Current;
  switch (Code) {
    case scLineUp: NewPos = Current - Line; break;
    case scLineDown: NewPos = Current + Line; break;
    case scPageUp: NewPos = Current - Page; break;
    case scPageDown: NewPos = Current + Page; break;
    case scTrack:
      if (!P->TrackThumb) return;
      [[fallthrough]];
    case scPosition: NewPos = RoundI(Pos * (Vertical ? FVScrollScale : FHScrollScale)); break;
    case scTop: NewPos = 0; break;
    case scBottom:
      GetMaxViewXY(MaxX, MaxY);
      NewPos = Vertical ? MaxY : MaxX;
      break;
    default: break;
  }
  if (Vertical)
    SetViewY(NewPos);
  else
    SetViewX(NewPos);
}

bool TZodivErView::MouseWheel(TShiftState Shift, Integer WheelDelta, TPoint MousePos) {
  const bool Handled = TIEView::MouseWheel(Shift, WheelDelta, MousePos);
  const TPoint P = ScreenToClient(MousePos);
  const bool Ctrl = (Shift & ssCtrl) != 0;
  TIEMouseWheelParams* W = FMouseWheelParams.get();
  if (W->WheelAction == TIEMouseWheelParams::waNone || FAutoFit) return Handled;
  Integer Dir = WheelDelta > 0 ? -1 : 1;
  if (W->Reverse) Dir = -Dir;
  if (W->WheelAction == TIEMouseWheelParams::waScroll) {
    Integer MaxX = 0, MaxY = 0;
    GetMaxViewXY(MaxX, MaxY);
    const bool Horizontal = Ctrl || (MaxX > 0 && MaxY == 0);
    Integer Step;
    if (W->StepKind == TIEMouseWheelParams::skAbsolute)
      Step = W->StepValue * std::max(TruncI((Horizontal ? FZoomX : FZoomY) / 100.0), 1);
    else
      Step = std::max(RoundI((Horizontal ? DrawAreaWidth() : DrawAreaHeight()) * W->StepValue / 100.0), 1);
    if (Horizontal)
      SetViewX(FViewX + Dir * Step);
    else
      SetViewY(FViewY + Dir * Step);
  } else if (W->WheelAction == TIEMouseWheelParams::waZoom) {
    double NewZoom;
    if (W->StepKind == TIEMouseWheelParams::skAbsolute)
      NewZoom = FZoomX + Dir * W->StepValue;
    else
      NewZoom = FZoomX + Dir * std::max(RoundI(W->StepValue * FZoomX / 100.0), 1);
    if (NewZoom > FZoomX)
      DoZoomIn(NewZoom);
    else if (NewZoom < FZoomX)
      DoZoomOut(NewZoom);
    if (!W->ZoomAtCursor)
      SetZoom(NewZoom);
    else
      ZoomAt(P.X, P.Y, false, NewZoom);
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Scrolling while a drag runs past the image

void TZodivErView::ShiftSelectionPoints(Integer DX, Integer DY) {
  FLastMouse.X -= DX;
  FLastMouse.Y -= DY;
  FLastClamped.X -= DX;
  FLastClamped.Y -= DY;
  FLastRaw.X -= DX;
  FLastRaw.Y -= DY;
}

bool TZodivErView::DragAutoScroll() {
  FlagGuard Quiet(FDragAutoScrolling);
  bool Any = false;
  // Each pass scrolls by at most the distance of the pointer from the image, so the loop ends
  // once the view reaches its limit (the position stops changing).
  for (Integer Guard = 0; Guard < 100000; ++Guard) {
    const TPoint P = ScreenToClient(GetCursorPos());
    Integer DX = 0, DY = 0;
    if (P.X < FOffsetX)
      DX = P.X - FOffsetX;
    else if (P.X > FOffsetX + FVisibleExtentX - 1)
      DX = P.X - (FOffsetX + FVisibleExtentX - 1);
    if (P.Y < FOffsetY)
      DY = P.Y - FOffsetY;
    else if (P.Y > FOffsetY + FVisibleExtentY - 1)
      DY = P.Y - (FOffsetY + FVisibleExtentY - 1);
    if (DX == 0 && DY == 0) break;
    const Integer OldX = FViewX, OldY = FViewY;
    ScrollTo(FViewX + DX, FViewY + DY);
    if (FViewX == OldX && FViewY == OldY) break;
    Any = true;
    const Integer SX = OldX - FViewX, SY = OldY - FViewY;
    FPressClamped.X += SX;
    FPressClamped.Y += SY;
    FPressImageArea.X += SX;
    FPressImageArea.Y += SY;
    // By the scroll made, not the one asked for: near a limit (or on an axis already at its
    // limit while the other still scrolls) the view moves less, and the last points must keep
    // naming the pixels they named before.
    ShiftSelectionPoints(-SX, -SY);
  }
  return Any;
}
