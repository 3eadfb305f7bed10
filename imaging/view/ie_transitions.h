// The transition engine of the image view: a timer composes frame after frame of an effect that
// changes one picture into another, and copies each onto the view's canvas until the duration
// has passed. Effects 1 to 30 are drawn here, 31 to 163 by the extra effects, 164 is a pan-zoom
// over an image.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "imaging/view/ie_transitions_extra.h"
#include "platform/gui/bitmap.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/geometry.h"

class TIEView;
class TIEBitmap;
class TTimer;

using TIETransitionStepEvent = std::function<void(TObject* Sender, Integer Step)>;

inline constexpr Integer IETransitionStepMax = 1024;
inline constexpr Integer IEPanZoomEffect = 164;

// The name of effect number Effect (1..163), empty for any other number.
AnsiString IETransitionEffectName(Integer Effect);

// The step (0..1024) an effect has reached Elapsed milliseconds into a run of Duration
// milliseconds: Timing 0 linear, 1 exponential, 2 logarithmic.
Integer IETransitionStepAt(Cardinal Elapsed, Integer Duration, Byte Timing);

// Fits a SourceWidth x SourceHeight rectangle into an area keeping its proportions, centred.
void IEFitRect(Integer SourceWidth, Integer SourceHeight, Integer AreaWidth, Integer AreaHeight, Integer& Width,
               Integer& Height, Integer& X, Integer& Y);

class TIETransitionEffects : public TObject {
 public:
  // Owner is the view the frames are drawn on; its background colours the fades and the
  // pan-zoom's margins.
  explicit TIETransitionEffects(TIEView* Owner);
  ~TIETransitionEffects() override;
  TIETransitionEffects(const TIETransitionEffects&) = delete;
  TIETransitionEffects& operator=(const TIETransitionEffects&) = delete;

  // Starts effect Effect (1..163) from Source to Target, which must have the same size; the
  // view's painting is suspended until the run stops. Refuses (EInvalidOperation) an unknown
  // effect, a missing or empty picture and pictures of different sizes.
  void Run(TBitmap* Source, TBitmap* Target, Integer Effect, Integer Duration);
  // Starts the pan-zoom over Image from rectangle StartRect to EndRect (in Image's pixels), in a
  // Width x Height frame.
  void RunPanZoom(TIEBitmap* Image, const TRect& StartRect, const TRect& EndRect, Integer Width, Integer Height,
                  Integer Duration);
  void Stop();
  void TimerStep();

  // Composes the frame of the current effect at Step into the work picture, as the timer does.
  // Steps outside 0..1024 are taken as the nearest end.
  void DrawFrame(Integer Step);
  void DrawExtraEffect(Integer Effect, Integer Step);

  bool Running() const { return FRunning; }
  Integer Effect() const { return FEffect; }
  Integer Step() const { return FStep; }
  Integer FrameCount() const { return FFrameCount; }
  Integer Width() const { return FWidth; }
  Integer Height() const { return FHeight; }
  TBitmap* WorkPicture() const { return FWork.get(); }
  TTimer* Timer() const { return FTimer; }

  Integer Duration = 1000;
  Byte Timing = 0;
  bool FinalRefresh = false;
  TNotifyEvent OnTransitionStop;
  TIETransitionStepEvent OnTransitionStep;

 private:
  void Prepare(Integer Effect, Integer Width, Integer Height, Integer Duration);
  void Begin();
  void ReleasePictures();
  void DrawBuiltIn(Integer Effect, Integer Step);
  void DrawPanZoom(Integer Step);
  void Fade(const TIETransitionRows& A, const TIETransitionRows& B, Integer Step);
  void FadeWithColour(const TIETransitionRows& Picture, bool Towards, Integer Step);
  void CopyRows(const TIETransitionRows& From, Integer FromRow, Integer ToRow, Integer Count);
  void CopyBlock(const TIETransitionRows& From, Integer FromX, Integer FromY, Integer ToX, Integer ToY, Integer W,
                 Integer H);
  void RedLine(bool Vertical, Integer At);

  TIEView* FOwner;
  std::unique_ptr<TBitmap> FSource;
  std::unique_ptr<TBitmap> FTarget;
  std::unique_ptr<TBitmap> FWork;
  TIEBitmap* FPanZoomImage = nullptr;
  TIETransitionRows FSourceRows, FTargetRows, FWorkRows;
  std::vector<Byte*> FSourceTable, FTargetTable, FWorkTable;
  Integer FWidth = 0;
  Integer FHeight = 0;
  bool FRunning = false;
  TTimer* FTimer = nullptr;
  Integer FStep = 0;
  Integer FDissolveCount = 0;
  Integer FEffect = 0;
  Cardinal FStartTick = 0;
  TRect FPanZoomStart{};
  TRect FPanZoomEnd{};
  Integer FFrameCount = 0;
};
