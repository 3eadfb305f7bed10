#include "widgets/slider/slider.h"

#include <algorithm>
#include <cmath>

#include "platform/gui/application.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/sysutils.h"
#include "widgets/slider/slider_resources.h"
#include "widgets/slider/transparent_paint.h"

namespace {

const char* const kImageResources[4] = {"W95_HTB", "W95_HRL", "W95_VTB", "W95_VRL"};

// Halves to even, and never undefined for values no Integer can hold.
Integer RoundInt(double V) { return SafeRound<Integer>(V); }

}  // namespace

TClCustomSlider::TClCustomSlider(TComponent* AOwner) : TCustomControl(AOwner) {
  if (Screen && !Screen->HasCursor(crSliderHand)) RegisterSliderCursors();
  ControlStyle = csCaptureMouse | csClickEvents | csOpaque | csDoubleClicks;
  SetColor(clWindow);
  SetTabStop(true);
  FRuler = new TBitmap();
  FRuler->SetPixelFormat(pf32bit);
  for (Integer i = 0; i < 4; ++i) {
    FImages[i] = new TBitmap();
    LoadSliderResource(FImages[i], kImageResources[i]);
    FImages[i]->OnChange = [this](TObject*) { SliderImageChanged(); };
  }
  SetBounds(Left(), Top(), 150, 40);
  FConstructing = false;
  RebuildLayout();
}

TClCustomSlider::~TClCustomSlider() {
  OnChange = nullptr;
  OnChanged = nullptr;
  OnDrawPoints = nullptr;
  delete FRepeatTimer;
  FRepeatTimer = nullptr;
  delete FRuler;
  for (TBitmap*& image : FImages) {
    image->OnChange = nullptr;
    delete image;
    image = nullptr;
  }
}

// ------------------------------------------------------------------------------ properties

void TClCustomSlider::SetSliderImage(Integer Index, TBitmap* Value) {
  if (Index < 0 || Index > 3) return;
  if (Value) {
    FImages[Index]->Assign(Value);
    FUserImages = Byte(FUserImages | (1u << Index));
  } else {
    LoadSliderResource(FImages[Index], kImageResources[Index]);
    FUserImages = Byte(FUserImages & ~(1u << Index));
    if (!Reading()) {
      // A built-in picture has a transparent background that must show.
      const TSliderOption opaque = (Index == siHThumb || Index == siVThumb) ? soThumbOpaque : soRulerOpaque;
      FOptions = TSliderOptions(FOptions & ~SliderOption(opaque));
      Invalidate();
    }
  }
  SliderImageChanged();
}

void TClCustomSlider::SliderImageChanged() {
  if (!FConstructing) RebuildLayout();
}

void TClCustomSlider::SetEdgeSize(Integer Value) {
  const TBitmap* ruler = FOrientation == soHorizontal ? ImageHRuler() : ImageVRuler();
  const Integer length = FOrientation == soHorizontal ? ruler->Width() : ruler->Height();
  if (2 * Int64(Value) < length && Value != FEdgeSize) {
    FEdgeSize = Value;
    RebuildLayout();
  }
}

void TClCustomSlider::SetNumThumbStates(Byte Value) {
  if (Value < 1) Value = 1;
  if (Value > 2) Value = 2;
  if (Value == FNumThumbStates) return;
  FNumThumbStates = Value;
  RebuildLayout();
}

void TClCustomSlider::SetBevelStyle(TBevelCut Value) {
  if (Value == FBevelStyle) return;
  FBevelStyle = Value;
  RebuildLayout();
  Update();
}

void TClCustomSlider::SetOrientation(TSliderOrientation Value) {
  if (Value == FOrientation) return;
  FOrientation = Value;
  RebuildLayout();
  if (!Reading()) SetBounds(Left(), Top(), Height(), Width());
}

void TClCustomSlider::SetOptions(TSliderOptions Value) {
  if (Value == FOptions) return;
  FOptions = Value;
  Invalidate();
}

void TClCustomSlider::SetMinValue(Integer Value) {
  if (Value != FMinValue) SetRange(Value, FMaxValue);
}

void TClCustomSlider::SetMaxValue(Integer Value) {
  if (Value != FMaxValue) SetRange(FMinValue, Value);
}

void TClCustomSlider::SetRange(Integer AMin, Integer AMax) {
  if (AMax <= AMin && !Reading()) return;
  FMinValue = AMin;
  FMaxValue = AMax;
  if (!Reading() && Int64(AMax) < Int64(AMin) + FIncrement) FIncrement = AMax - AMin;
  if (HasOption(soShowPoints)) Invalidate();
  SetValue(FValue);
  AfterRangeChange();
}

void TClCustomSlider::SetIncrement(Integer Value) {
  if (!Reading()) {
    const Int64 range = Int64(FMaxValue) - FMinValue;
    if (Value < 1 || Value > range) throw Exception(Format("Value must be between %d and %d", 1, Integer(range)));
  }
  if (Value > 0 && Value != FIncrement) {
    FIncrement = Value;
    SetValue(FValue);
    Invalidate();
  }
}

void TClCustomSlider::SetValue(Integer V) {
  if (V > FMaxValue) V = FMaxValue;
  if (V < FMinValue) V = FMinValue;
  const Integer old = FValue;
  FValue = V;
  MoveThumbTo(PositionOfValue(V));
  if (FValue != old) Change();
}

// ------------------------------------------------------------------------------ geometry

TRect TClCustomSlider::SliderRect() const {
  TRect r = Rect(0, 0, Width(), Height());
  if (FBevelStyle != bvNone) {
    r.Left += FBevelWidth;
    r.Top += FBevelWidth;
    r.Right -= FBevelWidth;
    r.Bottom -= FBevelWidth;
  }
  return r;
}

Integer TClCustomSlider::ThumbPictureWidth() const {
  return ImageHThumb()->Width() / (FNumThumbStates < 1 ? 1 : FNumThumbStates);
}

Integer TClCustomSlider::ThumbTravel() const {
  const Integer travel = FOrientation == soHorizontal ? FRuler->Width() - ThumbPictureWidth()
                                                      : FRuler->Height() - ImageVThumb()->Height();
  // A slider narrower than its thumb has nowhere to move it.
  return travel < 0 ? 0 : travel;
}

void TClCustomSlider::BuildRulerBitmap(const TRect& R) {
  TBitmap* source = FOrientation == soHorizontal ? ImageHRuler() : ImageVRuler();
  const bool horizontal = FOrientation == soHorizontal;
  const Integer across = horizontal ? source->Height() : source->Width();
  const Integer T = std::max<Integer>((horizontal ? R.Right - R.Left : R.Bottom - R.Top) - 12, 0);
  TBitmap* ruler = new TBitmap();
  ruler->SetPixelFormat(pf32bit);
  if (horizontal)
    ruler->SetSize(T, across);
  else
    ruler->SetSize(across, T);

  const Integer E = FEdgeSize;
  const Integer N = horizontal ? source->Width() : source->Height();
  const Integer L = T - 2 * E;
  const Integer P = N - 2 * E;
  TCanvas* dst = ruler->Canvas();
  dst->SetCopyMode(cmSrcCopy);
  auto copyPiece = [&](Integer d, Integer s, Integer n) {
    if (n <= 0) return;
    if (horizontal)
      dst->CopyRect(Rect(d, 0, d + n, across), source->Canvas(), Rect(s, 0, s + n, across));
    else
      dst->CopyRect(Rect(0, d, across, d + n), source->Canvas(), Rect(0, s, across, s + n));
  };
  if (T > 0 && N > 0) {
    if (P <= 0 || L < 0) {
      // No middle part to repeat (a ruler picture at most twice the edge long): stretch the
      // picture over the track instead of dividing by an empty period.
      if (horizontal)
        dst->CopyRect(Rect(0, 0, T, across), source->Canvas(), Rect(0, 0, N, across));
      else
        dst->CopyRect(Rect(0, 0, across, T), source->Canvas(), Rect(0, 0, across, N));
    } else {
      const Integer count = L / P + 1;
      const Integer rest = L % P;
      for (Integer i = 0; i < count; ++i) {
        if (i == 0)
          copyPiece(0, 0, N - E);
        else if (i == count - 1)
          copyPiece(E + i * P, E + P - rest, E + rest);
        else
          copyPiece(E + i * P, E, P);
      }
    }
  }
  delete FRuler;
  FRuler = ruler;
}

void TClCustomSlider::RebuildLayout() {
  const Integer remembered = FValue;
  const TRect R = SliderRect();
  BuildRulerBitmap(R);
  const Integer tw = ThumbPictureWidth();
  const Integer rw = FRuler->Width(), rh = FRuler->Height();
  if (FOrientation == soHorizontal) {
    const Integer th = ImageHThumb()->Height();
    if (th > rh) {
      FThumbRect = Bounds(R.Left + 6, R.Top + 6, tw, th);
      FRulerOrigin = Point(R.Left + 6, R.Top + 6 + (th - rh) / 2);
      FTickRect = Rect(FRulerOrigin.X, R.Top + 6 + th + 1, FRulerOrigin.X + rw, R.Bottom - R.Top - 1);
    } else {
      FThumbRect = Bounds(R.Left + 6, R.Top + 6 + (rh - th) / 2, tw, th);
      FRulerOrigin = Point(R.Left + 6, R.Top + 6);
      FTickRect = Rect(FRulerOrigin.X, R.Top + 6 + rh + 1, FRulerOrigin.X + rw, R.Bottom - R.Top - 1);
    }
  } else {
    const Integer vtw = ImageVThumb()->Width() / (FNumThumbStates < 1 ? 1 : FNumThumbStates);
    const Integer th = ImageVThumb()->Height();
    if (vtw > rw) {
      FThumbRect = Bounds(R.Left + 6, R.Top + 6, vtw, th);
      FRulerOrigin = Point(R.Left + 6 + (vtw - rw) / 2, R.Top + 6);
      FTickRect = Rect(R.Left + 6 + vtw + 1, FRulerOrigin.Y, R.Right - R.Left - 1, FRulerOrigin.Y + rh);
    } else {
      FThumbRect = Bounds(R.Left + 6 + (rw - vtw) / 2, R.Top + 6, vtw, th);
      FRulerOrigin = Point(R.Left + 6, R.Top + 6);
      FTickRect = Rect(R.Left + 6 + rw + 1, FRulerOrigin.Y, R.Right - R.Left - 1, FRulerOrigin.Y + rh);
    }
  }
  SetValue(remembered);
  Invalidate();
}

Integer TClCustomSlider::PositionOfValue(Integer V) const {
  const Integer o = Inset() + 6;
  const double range = double(FMaxValue) - double(FMinValue);
  // An empty (or, from a stored form, inverted) range puts the thumb at its start.
  const double fraction = range > 0 ? (double(V) - FMinValue) / range : 0.0;
  Integer p = o + RoundInt(ThumbTravel() * fraction);
  if (FOrientation == soVertical) {
    const TRect R = SliderRect();
    p = R.Top + R.Bottom - p - ImageVThumb()->Height();
  }
  return std::max(p, o);
}

Integer TClCustomSlider::ValueAtPosition(Integer P) const {
  if (FOrientation == soVertical) P = ClientHeight() - P - ImageVThumb()->Height();
  const Integer travel = ThumbTravel();
  if (travel <= 0) return FMinValue;
  Integer x = RoundInt(double(P - Inset() - 6) * (double(FMaxValue) - FMinValue) / travel);
  if (!HasOption(soSmooth)) x = RoundInt(double(x) / StepSize()) * StepSize();
  return Integer(std::min<Int64>(Int64(std::max(x, 0)) + FMinValue, FMaxValue));
}

TPoint TClCustomSlider::SnapThumbPosition(Integer P) const {
  const Integer o = Inset() + 6;
  const Integer travel = ThumbTravel();
  P = std::min(std::max(P, o), o + travel);
  P = std::min(PositionOfValue(ValueAtPosition(P)), o + travel);
  return FOrientation == soHorizontal ? Point(P, FThumbRect.Top) : Point(FThumbRect.Left, P);
}

void TClCustomSlider::MoveThumbTo(Integer P) {
  const Integer remembered = FValue;
  const TPoint at = SnapThumbPosition(P);
  const Integer w = FThumbRect.Width(), h = FThumbRect.Height();
  InvalidateThumb();
  FThumbRect = Bounds(at.X, at.Y, w, h);
  InvalidateThumb();
  if (FDragging) {
    FValue = ValueAtPosition(FOrientation == soHorizontal ? at.X : at.Y);
    if (FValue != remembered) Change();
  }
}

// ------------------------------------------------------------------------------ events

void TClCustomSlider::Change() {
  AccessibleValueChanged();
  if (OnChange) OnChange(this);
}

bool TClCustomSlider::GetAccessibleValue(Integer& Min, Integer& Max, Integer& Value, Integer& Step) const {
  Min = FMinValue;
  Max = FMaxValue;
  Value = FValue;
  Step = StepSize();
  return true;
}

// A screen reader setting the value is the user moving the thumb there.
void TClCustomSlider::SetAccessibleValue(Integer Value) {
  if (!CanChangeValue()) return;
  SetValue(Value);
  Changed();
}

void TClCustomSlider::Changed() {
  if (OnChanged) OnChanged(this);
}

// ------------------------------------------------------------------------------ painting

void TClCustomSlider::Paint() {
  TCanvas* c = Canvas();
  const TPoint thumbAt = FThumbRect.TopLeft();
  TRect r = ClientRect();
  if (FBevelStyle != bvNone) {
    const TColor topLeft = FBevelStyle == bvLowered ? clBtnShadow : clBtnHighlight;
    const TColor bottomRight = FBevelStyle == bvLowered ? clBtnHighlight : clBtnShadow;
    for (Integer i = 0; i < FBevelWidth; ++i) {
      c->Pen()->SetColor(topLeft);
      c->MoveTo(r.Left, r.Bottom - 1);
      c->LineTo(r.Left, r.Top);
      c->LineTo(r.Right - 1, r.Top);
      c->Pen()->SetColor(bottomRight);
      c->LineTo(r.Right - 1, r.Bottom - 1);
      c->LineTo(r.Left - 1, r.Bottom - 1);
      r.Left++;
      r.Top++;
      r.Right--;
      r.Bottom--;
    }
  }
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Color());
  c->FillRect(r);

  if (FRuler->Width() > 0)
    PaintBitmapTransparent(c, FRulerOrigin.X, FRulerOrigin.Y, FRuler,
                           HasOption(soRulerOpaque) ? clNoTransparency : FRuler->TransparentColor());

  if (HasOption(soShowFocus) && FFocused && !(ComponentState() & csDesigning)) {
    TRect f = SliderRect();
    f.Left += 2;
    f.Top += 2;
    f.Right -= 2;
    f.Bottom -= 2;
    c->Brush()->SetColor(Color());
    c->DrawFocusRect(f);
  }
  if (HasOption(soShowPoints)) {
    if (OnDrawPoints)
      OnDrawPoints(this);
    else
      DrawTicksOn(c, FIncrement, 3, 5);
  }
  DrawThumb(c, thumbAt, FThumbPressed || !Enabled());
}

void TClCustomSlider::DrawThumb(TCanvas* ACanvas, TPoint At, bool Pressed) {
  TBitmap* image = FOrientation == soHorizontal ? ImageHThumb() : ImageVThumb();
  TRect source = Rect(0, 0, image->Width(), image->Height());
  if (FNumThumbStates == 2) {
    const Integer half = image->Width() / 2;
    source = Pressed ? Rect(half, 0, 2 * half, image->Height()) : Rect(0, 0, half, image->Height());
  }
  PaintBitmapRectTransparent(ACanvas, At.X, At.Y, source, image,
                             HasOption(soThumbOpaque) ? clNoTransparency : image->TransparentColor());
}

void TClCustomSlider::DrawTicks(Integer Step, Integer TickLength, Integer EndTickLength) {
  DrawTicksOn(Canvas(), Step, TickLength, EndTickLength);
}

void TClCustomSlider::DrawTicksOn(TCanvas* ACanvas, Integer Step, Integer TickLength, Integer EndTickLength) {
  ACanvas->Pen()->SetColor(clWindowText);
  // A step below 1 (from a stored form or a caller) would divide by zero.
  if (Step < 1) Step = 1;
  const double range = double(FMaxValue) - FMinValue;
  const Integer travel = ThumbTravel();
  Integer n = 1, k = 0;
  for (k = 1;; ++k) {
    n = RoundInt(range / (double(Step) * k)) + 1;
    const Integer spacing = n <= 1 ? travel : travel / (n - 1);
    if (spacing >= 4 || spacing >= travel) break;
  }
  Int64 v = FMinValue;
  for (Integer i = 1; i <= n; ++i) {
    if (i == n) v = FMaxValue;
    const Integer length = (v == FMinValue || v == FMaxValue) ? EndTickLength : TickLength;
    const Integer p = PositionOfValue(Integer(std::clamp<Int64>(v, INT32_MIN, INT32_MAX)));
    if (FOrientation == soHorizontal) {
      const Integer x = p + ThumbPictureWidth() / 2;
      ACanvas->MoveTo(x, FTickRect.Top);
      ACanvas->LineTo(x, FTickRect.Top + length);
    } else {
      const Integer y = p + ImageVThumb()->Height() / 2;
      ACanvas->MoveTo(FTickRect.Left, y);
      ACanvas->LineTo(FTickRect.Left + length, y);
    }
    v += Int64(k) * Step;
  }
}

// ------------------------------------------------------------------------------ mouse

void TClCustomSlider::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  if (CanFocus() && !Focused()) SetFocus();
  if (PointInsideRect(Point(X, Y), FThumbRect)) {
    ThumbPressed(Button, Shift, X, Y);
    return;
  }
  TRect ruler = Bounds(FRulerOrigin.X, FRulerOrigin.Y, FRuler->Width(), FRuler->Height());
  if (FOrientation == soHorizontal) {
    ruler.Top -= 3;
    ruler.Bottom += 3;
  } else {
    ruler.Left -= 3;
    ruler.Right += 3;
  }
  if (PointInsideRect(Point(X, Y), ruler) && CanChangeValue()) {
    SetMouseCapture(true);
    FRulerTracking = true;
    FLastMouse = Point(X, Y);
    FTrackSide = RulerHitSide(X, Y);
    RulerTrackingTick();
  }
}

TClCustomSlider::TStepKind TClCustomSlider::RulerHitSide(Integer X, Integer Y) const {
  if (FOrientation == soHorizontal) {
    if (X < FThumbRect.Left) return skDown;
    if (X > FThumbRect.Right) return skUp;
  } else {
    if (Y < FThumbRect.Top) return skUp;
    if (Y > FThumbRect.Bottom) return skDown;
  }
  return skNone;
}

void TClCustomSlider::RulerTrackingTick() {
  if (!FRulerTracking) return;
  const TStepKind side = RulerHitSide(FLastMouse.X, FLastMouse.Y);
  if (side == FTrackSide && side != skNone) {
    StepValue(side);
    if (!FTimerRunning) {
      if (!FRepeatTimer) {
        FRepeatTimer = new TTimer(nullptr);
        FRepeatTimer->SetEnabled(false);
        FRepeatTimer->OnTimer = [this](TObject*) { RulerTrackingTick(); };
      }
      FRepeatTimer->SetInterval(400);
      FRepeatTimer->SetEnabled(true);
      FTimerRunning = true;
    }
  }
}

void TClCustomSlider::StopRulerTracking() {
  if (FTimerRunning && FRepeatTimer) FRepeatTimer->SetEnabled(false);
  FTimerRunning = false;
  FRulerTracking = false;
  SetMouseCapture(false);
  Changed();
}

void TClCustomSlider::ThumbPressed(TMouseButton Button, TShiftState, Integer X, Integer Y) {
  if (CanFocus() && !Focused()) SetFocus();
  if (Button != mbLeft || !CanChangeValue()) return;
  FDragging = true;
  FThumbPressed = true;
  FGripOffset = FOrientation == soHorizontal ? X - FThumbRect.Left : Y - FThumbRect.Top;
  InvalidateThumb();
  Update();
}

void TClCustomSlider::ThumbDragged(TShiftState, Integer X, Integer Y) {
  MoveThumbTo((FOrientation == soHorizontal ? X : Y) - FGripOffset);
}

void TClCustomSlider::ThumbReleased(TMouseButton Button, TShiftState, Integer, Integer) {
  if (Button != mbLeft) return;
  FDragging = false;
  FThumbPressed = false;
  InvalidateThumb();
  Update();
  if (CanChangeValue()) Changed();
}

void TClCustomSlider::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  if (FRulerTracking) FLastMouse = Point(X, Y);
  if (FDragging && (Shift & ssLeft)) ThumbDragged(Shift, X, Y);
  // The hand shows over the thumb (right and bottom edges outside, as the desktop tests them).
  if (!(ComponentState() & csDesigning)) SetCursor(PtInRect(FThumbRect, Point(X, Y)) ? crSliderHand : crDefault);
  TCustomControl::MouseMove(Shift, X, Y);
}

void TClCustomSlider::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (FRulerTracking) StopRulerTracking();
  if (FDragging) ThumbReleased(Button, Shift, X, Y);
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

// ------------------------------------------------------------------------------ keyboard

void TClCustomSlider::StepValue(TStepKind Kind) {
  Int64 result;
  const Integer inc = StepSize();
  switch (Kind) {
    case skToMin: result = FMinValue; break;
    case skToMax: result = FMaxValue; break;
    case skUp: result = Int64(RoundInt(double(FValue) / inc)) * inc + inc; break;
    case skDown: result = Int64(RoundInt(double(FValue) / inc)) * inc - inc; break;
    default: return;
  }
  if (result >= FMaxValue) result = FMaxValue;
  if (result <= FMinValue) result = FMinValue;
  if (result != FValue) SetValue(Integer(result));
}

void TClCustomSlider::KeyDown(Word& Key, TShiftState Shift) {
  TStepKind kind = skNone;
  if ((Shift & (ssShift | ssCtrl | ssAlt)) == 0) {
    if (Key == VK_HOME)
      kind = skToMin;
    else if (Key == VK_END)
      kind = skToMax;
    else if (FOrientation == soHorizontal && Key == VK_LEFT)
      kind = skDown;
    else if (FOrientation == soHorizontal && Key == VK_RIGHT)
      kind = skUp;
    else if (FOrientation == soVertical && Key == VK_UP)
      kind = skUp;
    else if (FOrientation == soVertical && Key == VK_DOWN)
      kind = skDown;
  }
  if (kind != skNone && CanChangeValue()) {
    Key = 0;
    StepValue(kind);
    Changed();
  }
  TCustomControl::KeyDown(Key, Shift);
}

// ------------------------------------------------------------------------------ notifications

void TClCustomSlider::Loaded() {
  TCustomControl::Loaded();
  for (Integer i = 0; i < 4; ++i)
    if (FUserImages & (1u << i)) {
      TBitmap copy;
      copy.Assign(FImages[i]);
      SetSliderImage(i, &copy);
    }
  RebuildLayout();
}

void TClCustomSlider::DoEnter() {
  TCustomControl::DoEnter();
  if (!FFocused) {
    FFocused = true;
    if (HasOption(soShowFocus)) Invalidate();
  }
}

void TClCustomSlider::DoExit() {
  TCustomControl::DoExit();
  if (FFocused) {
    FFocused = false;
    if (HasOption(soShowFocus)) Invalidate();
  }
}

void TClCustomSlider::EnabledChanged() {
  TCustomControl::EnabledChanged();
  InvalidateThumb();
}

void TClCustomSlider::Resize() {
  TCustomControl::Resize();
  if (!FConstructing && !Reading()) RebuildLayout();
}
