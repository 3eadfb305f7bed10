#include "imaging/formats/codec.h"

#include <climits>

bool IECheckImageSize(TIECodecProgress& Progress, Int64 Width, Int64 Height, Int64 BitsPerPixel) {
  const AnsiString reason = IEImageSizeRefusal(Width, Height, BitsPerPixel);
  if (reason.empty()) return true;
  IEFail(Progress, reason);
  return false;
}

TIERowStepper::TIERowStepper(TIECodecProgress& Progress, Int64 Steps, bool OnlyChanges)
    : FProgress(Progress), FOnlyChanges(OnlyChanges) {
  FProgress.Val = 0;
  FProgress.Per = Steps > 0 ? 100.0 / static_cast<double>(Steps) : 0;
}

bool TIERowStepper::Next() {
  const Int64 step = FDone++;
  FProgress.Val = static_cast<Integer>(FDone < INT_MAX ? FDone : INT_MAX);
  if (FProgress.OnProgress) {
    double per = static_cast<double>(step) * FProgress.Per;
    Integer report = per >= 100 ? 100 : (per > 0 ? static_cast<Integer>(per) : 0);
    if (!FOnlyChanges || report != FLastReport) {
      FLastReport = report;
      FProgress.OnProgress(FProgress.Sender, report);
    }
  }
  return !IEAborting(FProgress);
}
