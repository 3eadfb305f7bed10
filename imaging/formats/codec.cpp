#include "imaging/formats/codec.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "imaging/core/ie_bitmap_stores.h"

bool IECheckImageSize(TIECodecProgress& Progress, Int64 Width, Int64 Height, Int64 BitsPerPixel) {
  const AnsiString reason = IEImageSizeRefusal(Width, Height, BitsPerPixel);
  if (reason.empty()) return true;
  IEFail(Progress, reason);
  return false;
}

Int64 IEStreamRemaining(TStream* Stream) {
  try {
    const Int64 size = Stream->Size(), pos = Stream->Position();
    // A header may send the position past the end (a pixel-data offset beyond the file): no
    // bytes are left there, which is not the same as a stream that cannot tell.
    if (size < 0 || pos < 0) return -1;
    return size > pos ? size - pos : 0;
  } catch (...) {
    return -1;
  }
}

bool IEReadFully(TStream* Stream, void* Buffer, Int64 Count) {
  Byte* p = static_cast<Byte*>(Buffer);
  while (Count > 0) {
    const Integer got = Stream->Read(p, static_cast<Integer>(std::min<Int64>(Count, 1 << 30)));
    if (got <= 0) return false;
    p += got;
    Count -= got;
  }
  return true;
}

namespace {

const char* FormatName(TIEPixelFormat Format) {
  static constexpr const char* names[IEPixelFormatCount] = {"ieNull", "ie1g",   "ie8p",    "ie8g",     "ie16g", "ie24RGB",
                                                            "ie32f",  "ieCMYK", "ieRGB48", "ieCIELab", "ie32RGB"};
  return IEIsValidPixelFormat(Format) ? names[Format] : "an unknown pixel format";
}

AnsiString SizeText(Int64 Width, Int64 Height) { return std::to_string(Width) + " x " + std::to_string(Height); }

}  // namespace

bool IECheckInputHolds(TIECodecProgress& Progress, const AnsiString& What, Int64 Width, Int64 Height,
                       Int64 NeededBytes, Int64 Available) {
  if (Available < 0 || NeededBytes <= Available) return true;
  IEFail(Progress, What + " holds " + std::to_string(Available) + " bytes, too few for " + SizeText(Width, Height) +
                       " pixels (at least " + std::to_string(NeededBytes) + " bytes)");
  return false;
}

bool IECheckSparseImage(TIECodecProgress& Progress, const AnsiString& What, Int64 Width, Int64 Height) {
  if (Width >= 0 && Height >= 0 &&
      static_cast<long double>(Width) * static_cast<long double>(Height) <= static_cast<long double>(IESparseImageMaxPixels))
    return true;
  IEFail(Progress, SizeText(Width, Height) + " pixels of " + What + " is above the limit of " +
                       std::to_string(IESparseImageMaxPixels) + " pixels");
  return false;
}

TIEPixelFormat IEAllocateImage(TIECodecProgress& Progress, TIEBitmap* Bitmap, Int64 Width, Int64 Height,
                               TIEPixelFormat Format, TIEPixelFormat Accepted) {
  if (!IEIsValidPixelFormat(Format) || Format == ieNull) {
    IEFail(Progress, "no pixel format to decode into");
    return ieNull;
  }
  if (!IECheckImageSize(Progress, Width, Height, IEPixelFormatBits[Format])) return ieNull;
  if (Width < 1 || Height < 1) {
    IEFail(Progress, "the image has no pixels: " + SizeText(Width, Height));
    return ieNull;
  }
  const Integer w = static_cast<Integer>(Width), h = static_cast<Integer>(Height);
  if (!Bitmap->Allocate(w, h, Format)) {
    const AnsiString refusal = IEStoreRefusal(Bitmap->Location, Format);
    IEFail(Progress, !refusal.empty() ? refusal : "no memory for an image of " + SizeText(Width, Height) + " pixels");
    return ieNull;
  }
  // Rows narrower than the pixels asked for would be overrun by the first row the reader writes.
  const TIEPixelFormat got = Bitmap->GetPixelFormat();
  const bool asked = got == Format || (Accepted != ieNull && got == Accepted);
  const Int64 needed = (Width * IEPixelFormatBits[got] + 7) / 8;
  if (!asked || Bitmap->GetWidth() != w || Bitmap->GetHeight() != h || Bitmap->GetRowLen() < needed) {
    IEFail(Progress, "the image store gave " + std::to_string(Bitmap->GetWidth()) + " x " +
                         std::to_string(Bitmap->GetHeight()) + " pixels of " + FormatName(got) + " where " +
                         SizeText(Width, Height) + " pixels of " + FormatName(Format) + " were asked");
    Bitmap->FreeImage(true);
    return ieNull;
  }
  return got;
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

bool TIEBufferedInput::Read(Byte* Dest, size_t Count) {
  while (Count > 0) {
    if (FPos == FLen && !Fill()) return false;
    const size_t n = std::min(Count, FLen - FPos);
    std::memcpy(Dest, FBuffer.data() + FPos, n);
    FPos += n;
    Dest += n;
    Count -= n;
  }
  return true;
}

bool TIEBufferedInput::Fill() {
  const Integer got = FStream->Read(FBuffer.data(), static_cast<Integer>(FBuffer.size()));
  FPos = 0;
  FLen = got > 0 ? static_cast<size_t>(got) : 0;
  return FLen > 0;
}
