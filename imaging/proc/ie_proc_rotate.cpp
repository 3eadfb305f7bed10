// The processing component's rotation: the kernel is chosen by pixel format and by whether the
// caller wants smooth edges; the alpha channel turns with the image, uncovered parts becoming
// transparent.
#include <cmath>
#include <memory>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/proc/ie_proc.h"
#include "imaging/proc/ie_rotate.h"
#include "imaging/proc/ie_rotate_kernels.h"
#include "platform/rtl/sysutils.h"

void TZodivErProc::Rotate(double Angle, bool AntiAlias, Byte AntialiasMode, TColor BackgroundColor) {
  // Whole turns leave every pixel where it was: nothing to undo and nothing to report.
  if (Angle == 0 || std::fmod(Angle, 360.0) == 0) return;
  if (!BeginOperation(IEAnyFormat)) return;
  if (AutoUndo) SaveUndoCaptioned("Rotate " + FloatToStr(Angle), ieuImage);
  if (BackgroundColor == TColor(-1)) BackgroundColor = Background();
  TIEBitmap* image = GetImage();
  std::unique_ptr<TIEBitmap> alpha;
  if (image->HasAlphaChannel()) {
    alpha = std::make_unique<TIEBitmap>();
    alpha->Assign(image->GetAlphaChannel());
  }
  const TIEPixelFormat format = image->GetPixelFormat();
  if (AntiAlias && format == ie24RGB && AntialiasMode != 0 && !IEIsMultipleOf90(Angle)) {
    IERotateAntialias24(image, Angle, BackgroundColor, AntialiasMode, OnProgress, this);
    if (alpha) IERotateAntialias8(alpha.get(), Angle, 0, AntialiasMode);
  } else if (AntiAlias && (format == ie24RGB || format == ie1g)) {
    IERotateBitmap(image, true, this, Angle, IETColorToTRGB(BackgroundColor), OnProgress);
    if (alpha) {
      if (format == ie1g) IERotateGray8Nearest(alpha.get(), 0, Angle);
      else IERotateBitmap8(alpha.get(), true, 0, Angle, nullptr, nullptr);
    }
  } else {
    IERotateNearestInPlace(image, Angle, BackgroundColor, OnProgress, this);
    if (alpha) IERotateNearestInPlace(alpha.get(), Angle, 0, nullptr, nullptr);
  }
  if (alpha) {
    TIEBitmap* channel = image->GetAlphaChannel();
    channel->AssignImage(alpha.get());
    channel->SyncOpaqueFlag();
  }
  Update();
  FinishWork();
}
