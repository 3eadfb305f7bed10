// Reads a JPEG, PNG or TIFF file and writes it again in the format its target's extension names,
// through the codecs of the imaging library and nothing else: a program that only loads and
// saves images. The start-up test checks that it needs none of the GUI libraries.
//
//   image_rewrite IN OUT
#include <atomic>
#include <cstdio>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/compression/ie_lzw.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "imaging/formats/png/ie_png.h"
#include "imaging/formats/tiff/ie_tiff_reader.h"
#include "imaging/formats/tiff/ie_tiff_writer.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/files.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

enum class TKind { Unknown, Jpeg, Png, Tiff };

TKind KindOf(const AnsiString& File) {
  const AnsiString ext = LowerCase(ExtractFileExt(File));
  if (ext == ".jpg" || ext == ".jpeg") return TKind::Jpeg;
  if (ext == ".png") return TKind::Png;
  if (ext == ".tif" || ext == ".tiff") return TKind::Tiff;
  return TKind::Unknown;
}

struct TJob {
  TIOParamsVals Params{nullptr};
  std::atomic<bool> Aborting{false};
  AnsiString Reason;
  TIECodecProgress Progress;
  TIEBitmap Bitmap;
  TJob() {
    Progress.Aborting = &Aborting;
    Progress.FailureReason = &Reason;
  }
};

void Read(TJob& Job, TKind Kind, TStream& In) {
  switch (Kind) {
    case TKind::Jpeg:
      ReadJPEGStream(&In, nullptr, &Job.Bitmap, Job.Params, Job.Progress, false, false, true, false, true, true, -1,
                     false);
      break;
    case TKind::Png: ReadPNGStream(&In, &Job.Bitmap, Job.Params, Job.Progress, false); break;
    default: {
      Integer pages = 0;
      TIEMask* alpha = nullptr;
      ReadTIFFStream(&Job.Bitmap, &In, pages, &Job.Params, Job.Progress, false, alpha, true, true, false);
      delete alpha;
    }
  }
}

void Write(TJob& Job, TKind Kind, TStream& Out) {
  switch (Kind) {
    case TKind::Jpeg: WriteJPEGStream(&Out, &Job.Bitmap, Job.Params, Job.Progress); break;
    case TKind::Png: WritePNGStream(&Out, &Job.Bitmap, Job.Params, Job.Progress, nullptr); break;
    default: WriteTIFFStream(&Out, false, &Job.Bitmap, Job.Params, Job.Progress);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || KindOf(argv[1]) == TKind::Unknown || KindOf(argv[2]) == TKind::Unknown) {
    std::fprintf(stderr, "usage: image_rewrite IN OUT (.jpg, .png or .tif each)\n");
    return 2;
  }
  IEInstallLZWCoders();
  try {
    TJob job;
    TFileStream in{AnsiString(argv[1]), fmOpenRead};
    Read(job, KindOf(argv[1]), in);
    if (job.Aborting || job.Bitmap.IsEmpty()) {
      std::fprintf(stderr, "image_rewrite: reading %s failed: %s\n", argv[1], job.Reason.c_str());
      return 1;
    }
    TFileStream out{AnsiString(argv[2]), fmCreate};
    Write(job, KindOf(argv[2]), out);
    if (job.Aborting) {
      std::fprintf(stderr, "image_rewrite: writing %s failed: %s\n", argv[2], job.Reason.c_str());
      return 1;
    }
  } catch (const Exception& e) {
    std::fprintf(stderr, "image_rewrite: %s\n", e.Message.c_str());
    return 1;
  }
  return 0;
}
