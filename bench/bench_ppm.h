// PPM files in and out for the benchmark programs' file-to-file modes, which compare-*.sh time as
// whole processes against peer tools doing the same work on the same file.
#pragma once

#include <atomic>
#include <cstdio>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/pnm/ie_pnm.h"
#include "platform/rtl/streams.h"

namespace benchppm {

struct TPpmJob {
  TIOParamsVals Params{nullptr};
  std::atomic<bool> Aborting{false};
  AnsiString Reason;
  TIECodecProgress Progress;
  TPpmJob() {
    Progress.Aborting = &Aborting;
    Progress.FailureReason = &Reason;
  }
  bool Failed(const char* What, const char* File) {
    if (!Aborting) return false;
    std::fprintf(stderr, "%s %s failed: %s\n", What, File, Reason.c_str());
    return true;
  }
};

// A job with an image of its own, held in memory, for programs that read and write other formats.
struct TBitmapJob : TPpmJob {
  TIEBitmap Bitmap;
  TBitmapJob() { Bitmap.Location = ieMemory; }
};

// Reads File into Bitmap (in memory); false with the reason on stderr.
inline bool ReadPpm(const char* File, TIEBitmap& Bitmap) {
  TPpmJob job;
  Bitmap.Location = ieMemory;
  TFileStream in{AnsiString(File), fmOpenRead};
  ReadPXMStream(&in, &Bitmap, job.Params, job.Progress, false);
  return !job.Failed("reading", File);
}

// Writes Bitmap to File as a binary 24-bit PPM; false with the reason on stderr.
inline bool WritePpm(const char* File, TIEBitmap& Bitmap) {
  TPpmJob job;
  TFileStream out{AnsiString(File), fmCreate};
  job.Params.PxmComments->Clear();
  job.Params.BitsPerSample = 8;
  job.Params.SamplesPerPixel = 3;
  WritePXMStream(&out, &Bitmap, job.Params, job.Progress);
  return !job.Failed("writing", File);
}

}  // namespace benchppm
