// The processing component's colour reductions: grey levels, black and white, and quantisation.
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/proc/ie_conversions.h"
#include "imaging/proc/ie_proc.h"
#include "platform/rtl/sysutils.h"

void TZodivErProc::ConvertToGray() {
  // Only 24-bit pixels have colour to take away; any other image would gain an undo step and
  // a report for a change that never happens.
  if (!BeginOperation(IEAnyFormat) || GetImage()->GetPixelFormat() != ie24RGB) return;
  Integer x1, y1, x2, y2;
  TIEBitmap* work = nullptr;
  TIEMask* mask = nullptr;
  if (!BeginAreaOperation(IEAnyFormat, x1, y1, x2, y2, "ConvertToGray", work, mask)) return;
  IEConvertToGrayRect(work, x1, y1, x2, y2, OnProgress, this);
  EndAreaOperation(work, mask);
  FinishWork();
}

void TZodivErProc::ConvertTo(Integer NumColors, Byte DitherMethod) {
  ReduceColors("ConvertTo " + IntToStr(NumColors), NumColors, {}, false, DitherMethod);
}

void TZodivErProc::ConvertToPalette(Integer NumColors, std::span<TRGB> Palette, Byte DitherMethod) {
  if (NumColors == 0) return;
  ReduceColors("ConvertToPalette", NumColors, Palette, true, DitherMethod);
}

void TZodivErProc::ReduceColors(const AnsiString& Caption, Integer NumColors, std::span<TRGB> Palette,
                                bool WantPalette, Byte DitherMethod) {
  if (!BeginOperation(IEAnyFormat)) return;
  TIEBitmap* image = GetImage();
  if (image->GetWidth() <= 0 || image->GetHeight() <= 0) return;
  const bool is24 = image->GetPixelFormat() == ie24RGB;
  if (!is24 && !AutoConvertFormat) return;
  const bool blackAndWhite = NumColors < 3;
  const bool quantise = !blackAndWhite && NumColors <= 1024;
  const Integer entries = blackAndWhite ? 2 : (quantise ? IEQuantizedPaletteSize(NumColors) : 0);
  // A palette too short for what is written into it is refused before anything changes.
  if (WantPalette && static_cast<Integer>(Palette.size()) < entries) return;

  if (is24 && !blackAndWhite) {
    if (!quantise) return;
    // An image that already has no more colours than asked keeps every pixel (a grey image
    // below 256 colours is the exception: the quantizer maps it onto an even grey ramp).
    std::vector<TRGB> colours(static_cast<size_t>(entries), TRGB{0, 0, 0});
    if (TIEExactPalette* exact = IEExactPaletteCreate(image, entries, colours.data())) {
      const size_t used = exact->Colors.size();
      IEExactPaletteFree(exact);
      if (entries >= 256 || !image->IsGrayScale()) {
        if (WantPalette)
          for (size_t i = 0; i < used; ++i) Palette[i] = colours[i];
        return;
      }
    }
  }

  // Saved before the gate converts the image, so that undoing brings its own format back.
  if (AutoUndo) SaveUndoCaptioned(Caption, ieuImage);
  if (!CheckPixelFormat(IEFormatSet(ie24RGB))) return;
  if (blackAndWhite) {
    TIECodecProgress progress;
    progress.OnProgress = OnProgress;
    progress.Sender = this;
    if (DitherMethod == 0) IEConvertToBWOrdered(image, progress);
    else IEConvertToBWThreshold(image, -1, progress);
    if (WantPalette) {
      Palette[0] = TRGB{0, 0, 0};
      Palette[1] = TRGB{255, 255, 255};
    }
  } else if (quantise) {
    IEQuantizeRGBInPlace(image, NumColors, WantPalette ? Palette : std::span<TRGB>(), OnProgress, this);
  }
  Update();
  FinishWork();
}
