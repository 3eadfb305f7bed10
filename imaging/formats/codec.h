// The codec kit: what every reader and writer of the library uses from its first line on.
//  - TIECodecProgress (imaging/core/ie_progress.h): the progress record with the caller's abort
//    flag and the failure reason beside it; IEFail sets both.
//  - TIERowStepper: counts the codec's steps, reports the percentage and answers whether to go
//    on (false once the caller or the codec has set the abort flag).
//  - IECheckImageSize: the size gate, passed before any allocation sized from the file.
// A codec reports a damaged, truncated, unsupported or refused input through IEFail and returns
// normally; exceptions of the C libraries are turned into that at their glue boundary.
#pragma once

#include "imaging/core/ie_limits.h"
#include "imaging/core/ie_progress.h"

// True when an image of Width x Height pixels of BitsPerPixel bits passes the library's limits
// (IEImageLimits, imaging/core/ie_limits.h; a zero size passes, it allocates nothing).
// Otherwise IEFail with the reason and False: the caller returns without allocating.
bool IECheckImageSize(TIECodecProgress& Progress, Int64 Width, Int64 Height, Int64 BitsPerPixel);

// Progress over a known number of steps (rows, rows x passes, frames):
//   TIERowStepper step(Progress, height);
//   for (y = 0; y < height; ++y) { ...decode row y...; if (!step.Next()) return; }
// Next reports Trunc(i x 100 / Steps) after step i (from 0), so the last report of a raster of
// several rows is below 100 (the caller reports the 100 when the whole operation ends).
class TIERowStepper {
 public:
  // OnlyChanges: report only when the whole percentage changes (for codecs with many steps).
  TIERowStepper(TIECodecProgress& Progress, Int64 Steps, bool OnlyChanges = false);
  // One step done: reports it, then answers False when the operation is to stop.
  bool Next();
  bool Aborted() const { return IEAborting(FProgress); }
  Int64 Done() const { return FDone; }

 private:
  TIECodecProgress& FProgress;
  bool FOnlyChanges;
  Int64 FDone = 0;
  Integer FLastReport = -1;
};
