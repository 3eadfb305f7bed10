#include "imaging/view/ie_transitions.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/view/ie_view.h"
#include "platform/gui/colors.h"
#include "platform/gui/timers.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/sysprobe.h"

AnsiString IETransitionEffectName(Integer Effect) {
  if (Effect < 1 || Effect > IETransitionEffectCount) return {};
  return TransitionEffectTable[Effect - 1].Name;
}

Integer IETransitionStepAt(Cardinal Elapsed, Integer Duration, Byte Timing) {
  // A run without duration is over at once; an elapsed time before the start cannot happen with
  // an unsigned tick, and every curve is held inside 0..1024 (the logarithmic one starts below 0).
  if (Duration <= 0) return IETransitionStepMax;
  const double t = double(Elapsed) / Duration;
  double v = 0;
  switch (Timing) {
    case 1: v = std::exp(t * 5 - 2.718) / 10 * 1024; break;
    case 2: v = Elapsed > 0 ? (std::log(t * 10) + 2.718) / 5 * 1024 : 0; break;
    default: v = t * 1024; break;
  }
  return std::clamp(SafeTrunc<Integer>(v), 0, IETransitionStepMax);
}

void IEFitRect(Integer SourceWidth, Integer SourceHeight, Integer AreaWidth, Integer AreaHeight, Integer& Width,
               Integer& Height, Integer& X, Integer& Y) {
  Width = Height = X = Y = 0;
  if (SourceWidth <= 0 || SourceHeight <= 0 || AreaWidth <= 0 || AreaHeight <= 0) return;
  const double scale = double(SourceWidth) / AreaWidth > double(SourceHeight) / AreaHeight
                           ? double(AreaWidth) / SourceWidth
                           : double(AreaHeight) / SourceHeight;
  Width = SafeRound<Integer>(SourceWidth * scale);
  Height = SafeRound<Integer>(SourceHeight * scale);
  X = SafeTrunc<Integer>(AreaWidth / 2.0 - Width / 2.0);
  Y = SafeTrunc<Integer>(AreaHeight / 2.0 - Height / 2.0);
}

TIETransitionEffects::TIETransitionEffects(TIEView* Owner) : FOwner(Owner) {
  for (auto* p : {&FSource, &FTarget, &FWork}) {
    *p = std::make_unique<TBitmap>();
    (*p)->SetPixelFormat(pf24bit);
    (*p)->SetSize(1, 1);
  }
  FTimer = new TTimer(Owner);
  FTimer->SetEnabled(false);
  FTimer->SetInterval(1);
  FTimer->OnTimer = [this](TObject*) { TimerStep(); };
}

TIETransitionEffects::~TIETransitionEffects() {
  FTimer->SetEnabled(false);
  delete FTimer;
}

void TIETransitionEffects::Prepare(Integer Effect, Integer Width, Integer Height, Integer Duration) {
  if (FRunning) Stop();
  FEffect = Effect;
  FWidth = Width;
  FHeight = Height;
  this->Duration = Duration;
  FWork->SetPixelFormat(pf24bit);
  FWork->SetSize(Width, Height);
  auto table = [&](TBitmap* b, std::vector<Byte*>& t, TIETransitionRows& r) {
    t.resize(size_t(b->Height()));
    for (Integer y = 0; y < b->Height(); ++y) t[size_t(y)] = static_cast<Byte*>(b->ScanLine(y));
    r.Rows = t.data();
    r.Width = b->Width();
    r.Height = b->Height();
  };
  table(FSource.get(), FSourceTable, FSourceRows);
  table(FTarget.get(), FTargetTable, FTargetRows);
  table(FWork.get(), FWorkTable, FWorkRows);
}

void TIETransitionEffects::Begin() {
  FStep = 0;
  FDissolveCount = 0;
  FFrameCount = 0;
  FStartTick = GetTickCount();
  if (auto* view = dynamic_cast<TZodivErView*>(FOwner)) view->SuspendPaint();
  FRunning = true;
  FTimer->SetEnabled(true);
}

void TIETransitionEffects::Run(TBitmap* Source, TBitmap* Target, Integer Effect, Integer Duration) {
  if (Effect < 1 || Effect > IETransitionEffectCount)
    throw EInvalidOperation("Transition effect " + std::to_string(Effect) + " does not exist");
  if (!Source || !Target || Source->Width() <= 0 || Source->Height() <= 0)
    throw EInvalidOperation("A transition needs a source and a target picture");
  if (Source->Width() != Target->Width() || Source->Height() != Target->Height())
    throw EInvalidOperation("The source and target pictures of a transition differ in size");
  if (FRunning) Stop();
  FSource->Assign(Source);
  FSource->SetPixelFormat(pf24bit);
  FTarget->Assign(Target);
  FTarget->SetPixelFormat(pf24bit);
  FPanZoomImage = nullptr;
  Prepare(Effect, Source->Width(), Source->Height(), Duration);
  Begin();
}

void TIETransitionEffects::RunPanZoom(TIEBitmap* Image, const TRect& StartRect, const TRect& EndRect, Integer Width,
                                      Integer Height, Integer Duration) {
  if (!Image || Image->GetWidth() <= 0 || Image->GetHeight() <= 0 || Width <= 0 || Height <= 0)
    throw EInvalidOperation("A pan-zoom needs an image and a frame size");
  if (FRunning) Stop();
  FSource->SetSize(1, 1);
  FTarget->SetSize(1, 1);
  FPanZoomImage = Image;
  FPanZoomStart = StartRect;
  FPanZoomEnd = EndRect;
  Prepare(IEPanZoomEffect, Width, Height, Duration);
  Begin();
}

void TIETransitionEffects::ReleasePictures() {
  for (auto* p : {&FSource, &FTarget, &FWork}) (*p)->SetSize(1, 1);
  FSourceTable.clear();
  FTargetTable.clear();
  FWorkTable.clear();
  FSourceRows = FTargetRows = FWorkRows = TIETransitionRows{};
  FPanZoomImage = nullptr;
}

void TIETransitionEffects::Stop() {
  if (!FRunning || FEffect == 0) return;
  FTimer->SetEnabled(false);
  FRunning = false;
  ReleasePictures();
  auto* view = dynamic_cast<TZodivErView*>(FOwner);
  if (view) view->ResumePaintQuiet();
  if (FinalRefresh) FOwner->Update();
  if (OnTransitionStop) OnTransitionStop(FOwner);
}

void TIETransitionEffects::TimerStep() {
  if (!FRunning) return;
  if (OnTransitionStep) {
    OnTransitionStep(FOwner, FStep);
    // The handler may have stopped the run (and released the pictures) or started another.
    if (!FRunning) return;
  }
  ++FFrameCount;
  DrawFrame(FStep);
  FOwner->GetCanvas()->Draw(0, 0, FWork.get());
  const Cardinal elapsed = GetTickCount() - FStartTick;
  if (Duration <= 0 || elapsed >= Cardinal(Duration)) {
    if (FinalRefresh && FEffect != IEPanZoomEffect) FOwner->GetCanvas()->Draw(0, 0, FTarget.get());
    Stop();
    return;
  }
  FStep = IETransitionStepAt(elapsed, Duration, Timing);
}

void TIETransitionEffects::DrawFrame(Integer Step) {
  if (FWorkRows.Rows == nullptr || FWidth <= 0 || FHeight <= 0) return;
  Step = std::clamp(Step, 0, IETransitionStepMax);
  if (FEffect >= 1 && FEffect <= 30)
    DrawBuiltIn(FEffect, Step);
  else if (FEffect == IEPanZoomEffect)
    DrawPanZoom(Step);
  else
    DrawExtraEffect(FEffect, Step);
}

void TIETransitionEffects::DrawExtraEffect(Integer Effect, Integer Step) {
  if (FWorkRows.Rows == nullptr || FSourceRows.Height != FWorkRows.Height || FTargetRows.Height != FWorkRows.Height)
    return;
  Step = std::clamp(Step, 0, IETransitionStepMax);
  if (Step == 0) {
    CopyRows(FSourceRows, 0, 0, FHeight);
    return;
  }
  if (Effect < 1 || Effect > IETransitionEffectCount) return;
  const TExtraEffectProc proc = TransitionEffectTable[Effect - 1].Proc;
  if (!proc) return;
  const Integer percent = SafeRound<Integer>(Step / 1024.0 * 100);
  proc(FWorkRows, FSourceRows, FTargetRows, TRect{0, 0, FWidth, FHeight}, 1, percent);
}

// ---------------------------------------------------------------------------------------------
// The built-in effects

void TIETransitionEffects::CopyRows(const TIETransitionRows& From, Integer FromRow, Integer ToRow, Integer Count) {
  CopyBlock(From, 0, FromRow, 0, ToRow, FWidth, Count);
}

// Copies a W x H block of From at (FromX, FromY) to (ToX, ToY) of the work picture, clipped to
// both pictures.
void TIETransitionEffects::CopyBlock(const TIETransitionRows& From, Integer FromX, Integer FromY, Integer ToX,
                                     Integer ToY, Integer W, Integer H) {
  if (FromX < 0) { W += FromX; ToX -= FromX; FromX = 0; }
  if (ToX < 0) { W += ToX; FromX -= ToX; ToX = 0; }
  if (FromY < 0) { H += FromY; ToY -= FromY; FromY = 0; }
  if (ToY < 0) { H += ToY; FromY -= ToY; ToY = 0; }
  W = std::min({W, From.Width - FromX, FWorkRows.Width - ToX});
  H = std::min({H, From.Height - FromY, FWorkRows.Height - ToY});
  if (W <= 0 || H <= 0) return;
  for (Integer y = 0; y < H; ++y)
    std::memmove(FWorkRows.Rows[ToY + y] + size_t(ToX) * 3, From.Rows[FromY + y] + size_t(FromX) * 3, size_t(W) * 3);
}

namespace {

// One row of a fade: d := (a x (1024 - s) + b x s) >> 10 for every byte. The rows never overlap,
// which lets the compiler work on many bytes at once.
__attribute__((optimize("tree-vectorize", "vect-cost-model=dynamic"))) void FadeRow(
    const Byte* __restrict a, const Byte* __restrict b, Byte* __restrict d, size_t n, Cardinal s) {
  const Cardinal r = 1024 - s;
  for (size_t i = 0; i < n; ++i) d[i] = Byte((a[i] * r + b[i] * s) >> 10);
}

}  // namespace

void TIETransitionEffects::Fade(const TIETransitionRows& A, const TIETransitionRows& B, Integer Step) {
  const size_t n = size_t(FWidth) * 3;
  for (Integer y = 0; y < FHeight; ++y) FadeRow(A.Rows[y], B.Rows[y], FWorkRows.Rows[y], n, Cardinal(Step));
}

// Fades Picture out to (Towards false) or in from (Towards true) the view's background colour.
void TIETransitionEffects::FadeWithColour(const TIETransitionRows& Picture, bool Towards, Integer Step) {
  const TColor c = ColorToRGB(FOwner->Background());
  std::vector<Byte> colour(size_t(FWidth) * 3);
  for (size_t x = 0; x < colour.size(); x += 3) {
    colour[x] = Byte(c >> 16);
    colour[x + 1] = Byte(c >> 8);
    colour[x + 2] = Byte(c);
  }
  for (Integer y = 0; y < FHeight; ++y) {
    if (Towards)
      FadeRow(colour.data(), Picture.Rows[y], FWorkRows.Rows[y], colour.size(), Cardinal(Step));
    else
      FadeRow(Picture.Rows[y], colour.data(), FWorkRows.Rows[y], colour.size(), Cardinal(Step));
  }
}

// The red guide line of the "2" wipes; a line on the far edge is outside the picture.
void TIETransitionEffects::RedLine(bool Vertical, Integer At) {
  if (Vertical) {
    if (At < 0 || At >= FWidth) return;
    for (Integer y = 0; y < FHeight; ++y) {
      Byte* p = FWorkRows.Rows[y] + size_t(At) * 3;
      p[0] = 0, p[1] = 0, p[2] = 255;
    }
  } else {
    if (At < 0 || At >= FHeight) return;
    for (Integer x = 0; x < FWidth; ++x) {
      Byte* p = FWorkRows.Rows[At] + size_t(x) * 3;
      p[0] = 0, p[1] = 0, p[2] = 255;
    }
  }
}

void TIETransitionEffects::DrawBuiltIn(Integer Effect, Integer s) {
  const Integer w = FWidth, h = FHeight, r = IETransitionStepMax - s;
  const TIETransitionRows &src = FSourceRows, &tgt = FTargetRows;
  if (s == 0 && ((Effect >= 5 && Effect <= 16) || Effect == 25 || Effect == 26 || Effect == 27 || Effect == 29)) {
    CopyRows(src, 0, 0, h);
    if (Effect == 25 || Effect == 26) {
      FDissolveCount = 0;
      return;
    }
  }
  auto round = [](double v) { return SafeRound<Integer>(v); };
  switch (Effect) {
    case 1: Fade(src, tgt, s); break;
    case 2: FadeWithColour(src, false, s); break;
    case 3: FadeWithColour(tgt, true, s); break;
    case 4:
      if (s < 512)
        FadeWithColour(src, false, 2 * s);
      else
        FadeWithColour(tgt, true, 2 * s - 1024);
      break;
    case 5:
    case 6: {
      const Integer c = s * w >> 10;
      CopyBlock(tgt, 0, 0, 0, 0, c, h);
      if (Effect == 6) RedLine(true, c);
      break;
    }
    case 7:
    case 8: {
      const Integer d = round(w * double(r) / 1024);
      CopyBlock(tgt, d, 0, d, 0, round(s * double(w) / 1024), h);
      if (Effect == 8) RedLine(true, d);
      break;
    }
    case 9:
    case 10: {
      const Integer c = round(s * double(h) / 1024);
      CopyBlock(tgt, 0, 0, 0, 0, w, c);
      if (Effect == 10) RedLine(false, c);
      break;
    }
    case 11:
    case 12: {
      const Integer d = round(h * double(r) / 1024);
      CopyBlock(tgt, 0, d, 0, d, w, round(s * double(h) / 1024));
      if (Effect == 12) RedLine(false, d);
      break;
    }
    case 13:
    case 14:
    case 15:
    case 16: {
      const Integer dx = r * w >> 10, dy = r * h >> 10;
      CopyBlock(tgt, 0, 0, (Effect == 13 || Effect == 15) ? -dx : dx, (Effect == 13 || Effect == 14) ? -dy : dy, w, h);
      break;
    }
    case 17:
    case 18: {
      const Integer c = s * w >> 10;
      CopyBlock(tgt, Effect == 17 ? w - c : 0, 0, 0, 0, c, h);
      CopyBlock(src, 0, 0, c, 0, w - c, h);
      break;
    }
    case 19:
    case 20: {
      const Integer c = r * w >> 10;
      CopyBlock(src, Effect == 19 ? w - c : 0, 0, 0, 0, c, h);
      CopyBlock(tgt, 0, 0, c, 0, w - c, h);
      break;
    }
    case 21:
    case 22: {
      const Integer c = s * h >> 10;
      CopyBlock(tgt, 0, Effect == 21 ? h - c : 0, 0, 0, w, c);
      CopyBlock(src, 0, 0, 0, c, w, h - c);
      break;
    }
    case 23:
    case 24: {
      const Integer c = r * h >> 10;
      CopyBlock(src, 0, h - c, 0, 0, w, c);
      CopyBlock(tgt, 0, Effect == 23 ? 0 : c, 0, c, w, h - c);
      break;
    }
    case 25: {
      const Integer n = round(s * double(w) * (s / 180.0) / 1024);
      for (Integer y = 0; y < h; ++y) {
        Byte* d = FWorkRows.Rows[y];
        const Byte* t = tgt.Rows[y];
        for (Integer k = FDissolveCount; k < n; ++k) {
          const Integer x = Random(w);
          std::memcpy(d + size_t(x) * 3, t + size_t(x) * 3, 3);
        }
      }
      FDissolveCount = std::max(FDissolveCount, n);
      break;
    }
    case 26: {
      const Integer n = round(s * double((Int64(w) * h) / 64) * (s / 180.0) / 1024);
      for (Integer k = FDissolveCount; k < n; ++k) {
        const Integer x = Random(w) / 8 * 8, y = Random(h) / 8 * 8;
        CopyBlock(tgt, x, y, x, y, 8, 8);
      }
      FDissolveCount = std::max(FDissolveCount, n);
      break;
    }
    case 27:
    case 28:
    case 29:
    case 30: {
      const Integer k = (Effect == 27 || Effect == 29) ? s : r;
      const TRect c{w / 2 - (k * (w / 2) >> 10), h / 2 - (k * (h / 2) >> 10), 0, 0};
      const Integer cw = k * w >> 10, ch = k * h >> 10;
      const TRect box{c.Left, c.Top, c.Left + cw, c.Top + ch};
      if (Effect == 27) CopyBlock(tgt, box.Left, box.Top, box.Left, box.Top, cw, ch);
      if (Effect == 28 || Effect == 30) CopyRows(tgt, 0, 0, h);
      if (Effect == 28) CopyBlock(src, box.Left, box.Top, box.Left, box.Top, cw, ch);
      if (Effect == 29) IETransitionStretch(FWorkRows, box, tgt, TRect{0, 0, w, h});
      if (Effect == 30) IETransitionStretch(FWorkRows, box, src, TRect{0, 0, w, h});
      break;
    }
    default: break;
  }
}

void TIETransitionEffects::DrawPanZoom(Integer s) {
  TIEBitmap* image = FPanZoomImage;
  if (!image) return;
  auto lerp = [s](Integer a, Integer b) { return SafeTrunc<Integer>(a - s * (double(a) - b) / 1024); };
  Integer left = lerp(FPanZoomStart.Left, FPanZoomEnd.Left);
  Integer top = lerp(FPanZoomStart.Top, FPanZoomEnd.Top);
  const Integer right = lerp(FPanZoomStart.Right, FPanZoomEnd.Right);
  const Integer bottom = lerp(FPanZoomStart.Bottom, FPanZoomEnd.Bottom);
  Integer w = right - left, h = bottom - top;
  const Integer iw = image->GetWidth(), ih = image->GetHeight();
  bool clipped = false;
  if (left < 0) { w += left; left = 0; clipped = true; }
  if (w > iw) { w = iw; clipped = true; }
  if (top < 0) { h += top; top = 0; clipped = true; }
  if (h > ih) { h = ih; clipped = true; }
  // A rectangle running off the right or bottom edge would read past the image.
  if (left + w > iw) { w = iw - left; clipped = true; }
  if (top + h > ih) { h = ih - top; clipped = true; }
  Integer dx = 0, dy = 0, dw = FWidth, dh = FHeight;
  if (clipped) {
    IEFitRect(w, h, FWidth, FHeight, dw, dh, dx, dy);
    if (auto* view = dynamic_cast<TZodivErView*>(FOwner)) {
      view->PaintBackgroundTo(FWork->Canvas());
    } else {
      FWork->Canvas()->Brush()->SetColor(FOwner->Background());
      FWork->Canvas()->FillRect(TRect{0, 0, FWidth, FHeight});
    }
  }
  if (w <= 0 || h <= 0 || dw <= 0 || dh <= 0) return;
  image->DrawToTBitmap(FWork.get(), dx, dy, dw, dh, left, top, w, h, 255, rfNone, 0);
}
