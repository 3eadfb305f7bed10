// A track bar drawn entirely from pictures: a ruler stretched along the track, a thumb that
// travels over it, optional ticks, bevel and focus rectangle. The main window picks the first and
// last frame of the range to extract with two of these.
#pragma once

#include <cstdint>

#include "platform/gui/controls.h"
#include "platform/gui/extctrls.h"
#include "platform/gui/graphics.h"
#include "platform/gui/timers.h"

enum TSliderOrientation { soHorizontal, soVertical };

enum TSliderOption { soShowFocus, soShowPoints, soSmooth, soRulerOpaque, soThumbOpaque };
// One bit per option, bit 0 = soShowFocus (the stored byte).
using TSliderOptions = Byte;
constexpr TSliderOptions SliderOption(TSliderOption O) { return TSliderOptions(1u << unsigned(O)); }
constexpr TSliderOptions kDefaultSliderOptions =
    SliderOption(soShowFocus) | SliderOption(soShowPoints) | SliderOption(soSmooth);

// TBevelCut (bvNone, bvLowered, bvRaised, bvSpace) comes from the panel's header.

// Index of each picture slot.
enum TSliderImageIndex { siHThumb = 0, siHRuler = 1, siVThumb = 2, siVRuler = 3 };

class TClCustomSlider : public TCustomControl {
 public:
  explicit TClCustomSlider(TComponent* AOwner);
  ~TClCustomSlider() override;

  TBitmap* ImageHThumb() const { return FImages[siHThumb]; }
  TBitmap* ImageHRuler() const { return FImages[siHRuler]; }
  TBitmap* ImageVThumb() const { return FImages[siVThumb]; }
  TBitmap* ImageVRuler() const { return FImages[siVRuler]; }
  void SetImageHThumb(TBitmap* Value) { SetSliderImage(siHThumb, Value); }
  void SetImageHRuler(TBitmap* Value) { SetSliderImage(siHRuler, Value); }
  void SetImageVThumb(TBitmap* Value) { SetSliderImage(siVThumb, Value); }
  void SetImageVRuler(TBitmap* Value) { SetSliderImage(siVRuler, Value); }
  // A bitmap is copied into the slot; nil brings back the built-in picture.
  void SetSliderImage(Integer Index, TBitmap* Value);

  Integer EdgeSize() const { return FEdgeSize; }
  void SetEdgeSize(Integer Value);
  Byte NumThumbStates() const { return FNumThumbStates; }
  void SetNumThumbStates(Byte Value);
  TBevelCut BevelStyle() const { return FBevelStyle; }
  void SetBevelStyle(TBevelCut Value);
  TSliderOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TSliderOrientation Value);
  TSliderOptions Options() const { return FOptions; }
  void SetOptions(TSliderOptions Value);
  bool HasOption(TSliderOption O) const { return (FOptions & SliderOption(O)) != 0; }

  Integer MinValue() const { return FMinValue; }
  void SetMinValue(Integer Value);
  Integer MaxValue() const { return FMaxValue; }
  void SetMaxValue(Integer Value);
  Integer Increment() const { return FIncrement; }
  void SetIncrement(Integer Value);
  Integer Value() const { return FValue; }
  void SetValue(Integer Value);
  void SetRange(Integer AMin, Integer AMax);

  // The stored "UserImages" byte: which slots hold a picture of the user's own.
  Byte UserImages() const { return FUserImages; }
  void SetUserImages(Byte Value) { FUserImages = Byte(Value & 0x0F); }

  // Ticks on the control's canvas, for OnDrawPoints handlers.
  void DrawTicks(Integer Step, Integer TickLength, Integer EndTickLength);

  // Geometry, as laid out by the last RebuildLayout.
  TRect ThumbRect() const { return FThumbRect; }
  TPoint RulerOrigin() const { return FRulerOrigin; }
  TBitmap* RulerBitmap() const { return FRuler; }
  TRect TickRect() const { return FTickRect; }
  Integer ThumbTravel() const;
  Integer PositionOfValue(Integer V) const;
  Integer ValueAtPosition(Integer P) const;

  // The ruler-click repeat timer (400 ms); nil until the first ruler click. Its OnTimer runs
  // RulerTrackingTick.
  TTimer* RepeatTimer() const { return FRepeatTimer; }
  void RulerTrackingTick();

  TDlgCode GetDlgCode() const override { return dlgcWantArrows; }
  TAccessibleRole AccessibleKind() const override { return arSlider; }
  bool GetAccessibleValue(Integer& Min, Integer& Max, Integer& Value, Integer& Step) const override;
  void SetAccessibleValue(Integer Value) override;
  void Loaded() override;
  void DoEnter() override;
  void DoExit() override;

  TNotifyEvent OnChange;
  TNotifyEvent OnChanged;
  TNotifyEvent OnDrawPoints;

 protected:
  enum TStepKind { skToMin, skToMax, skUp, skDown, skNone };

  virtual bool CanChangeValue() { return true; }
  virtual TRect SliderRect() const;
  virtual Integer CurrentValue() const { return FValue; }
  virtual void RebuildLayout();
  virtual void AfterRangeChange() {}
  virtual void ThumbPressed(TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  virtual void ThumbDragged(TShiftState Shift, Integer X, Integer Y);
  virtual void ThumbReleased(TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  virtual void DrawTicksOn(TCanvas* ACanvas, Integer Step, Integer TickLength, Integer EndTickLength);
  virtual void Change();
  virtual void Changed();

  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void KeyDown(Word& Key, TShiftState Shift) override;
  void EnabledChanged() override;
  void Resize() override;

 private:
  bool Reading() const { return (ComponentState() & (csReading | csLoading)) != 0; }
  // The increment as a divisor: never below 1, whatever a stored form held.
  Integer StepSize() const { return FIncrement < 1 ? 1 : FIncrement; }
  Integer Inset() const { return FBevelStyle != bvNone ? FBevelWidth : 0; }
  Integer ThumbPictureWidth() const;
  void BuildRulerBitmap(const TRect& R);
  TPoint SnapThumbPosition(Integer P) const;
  void MoveThumbTo(Integer P);
  void DrawThumb(TCanvas* ACanvas, TPoint At, bool Pressed);
  void StepValue(TStepKind Kind);
  TStepKind RulerHitSide(Integer X, Integer Y) const;
  void StopRulerTracking();
  void SliderImageChanged();
  void InvalidateThumb() { Invalidate(); }

  Byte FUserImages = 0;
  TBitmap* FImages[4] = {};
  Integer FEdgeSize = 2;
  TBitmap* FRuler = nullptr;
  TPoint FRulerOrigin;
  TRect FThumbRect;
  bool FThumbPressed = false;
  Byte FNumThumbStates = 2;
  TRect FTickRect;
  TSliderOrientation FOrientation = soHorizontal;
  TSliderOptions FOptions = kDefaultSliderOptions;
  TBevelCut FBevelStyle = bvNone;
  Integer FBevelWidth = 1;
  Integer FMinValue = 0;
  Integer FMaxValue = 100;
  Integer FIncrement = 10;
  Integer FValue = 0;
  Integer FGripOffset = 0;
  bool FFocused = false;
  bool FDragging = false;
  bool FRulerTracking = false;
  bool FTimerRunning = false;
  TPoint FLastMouse;
  TStepKind FTrackSide = skNone;
  bool FConstructing = true;
  TTimer* FRepeatTimer = nullptr;
};

class TClSlider : public TClCustomSlider {
 public:
  explicit TClSlider(TComponent* AOwner) : TClCustomSlider(AOwner) {}
  AnsiString ClassName() const override { return "TClSlider"; }
};
