#include "imaging/formats/bmp/ie_bmp_raw.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_pixel_format.h"

namespace {

AnsiString Str(Int64 Value) { return std::to_string(Value); }

void Report(TIECodecProgress& Progress, Integer Percent) {
  if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, Percent);
}

bool SkipBytes(TStream* Stream, Int64 Count) {
  if (Count <= 0) return true;
  const Int64 Remaining = IEStreamRemaining(Stream);
  if (Remaining >= 0 && Remaining < Count) {
    Stream->Seek(0, soEnd);
    return false;
  }
  Stream->Seek(Count, soCurrent);
  return true;
}

void Truncated(TIECodecProgress& Progress, Integer Row, Integer Height, const char* What) {
  IEFail(Progress, "the raw pixel data ends at row " + Str(Row) + " of " + Str(Height) + What);
}

// Rows as stored into the image's rows, each cut to what the image's row holds.
void ReadInterleaved(TStream* Stream, TIEBitmap* Bitmap, Int64 StoredRow, TIECodecProgress& Progress) {
  const Integer H = Bitmap->GetHeight();
  const Int64 Take = std::min<Int64>(StoredRow, Bitmap->GetRowLen());
  TIERowStepper Step(Progress, H);
  for (Integer y = 0; y < H; ++y) {
    if (!IEReadFully(Stream, Bitmap->GetScanline(y), Take) || !SkipBytes(Stream, StoredRow - Take))
      return Truncated(Progress, y, H, "");
    if (!Step.Next()) return;
  }
}

// Plane after plane of one sample of SampleBytes per pixel, into sample Channel of every pixel.
void ReadPlanes(TStream* Stream, TIEBitmap* Bitmap, Integer Channels, Integer SampleBytes, Integer Align,
                TIECodecProgress& Progress) {
  const Integer W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  const Int64 PlaneRow = IEBitmapRowLen(W, SampleBytes * 8, Align);
  std::vector<Byte> Row(static_cast<size_t>(PlaneRow));
  const size_t PixelBytes = size_t(Channels) * size_t(SampleBytes);
  for (Integer c = 0; c < Channels; ++c) {
    Report(Progress, 100 * c / Channels);
    if (IEAborting(Progress)) return;
    for (Integer y = 0; y < H; ++y) {
      if (!IEReadFully(Stream, Row.data(), PlaneRow))
        return Truncated(Progress, y, H, (" of plane " + Str(c + 1) + " of " + Str(Channels)).c_str());
      Byte* Dest = static_cast<Byte*>(Bitmap->GetScanline(y)) + size_t(c) * size_t(SampleBytes);
      for (Integer x = 0; x < W; ++x)
        std::memcpy(Dest + size_t(x) * PixelBytes, Row.data() + size_t(x) * size_t(SampleBytes), size_t(SampleBytes));
    }
  }
  Report(Progress, 100);
}

// Exchanges the first and third samples of every pixel.
void SwapFirstAndThird(TIEBitmap* Bitmap, Integer SampleBytes) {
  const Integer W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  const size_t Pixel = size_t(SampleBytes) * 3;
  for (Integer y = 0; y < H; ++y) {
    Byte* Row = static_cast<Byte*>(Bitmap->GetScanline(y));
    for (Integer x = 0; x < W; ++x) {
      Byte* p = Row + size_t(x) * Pixel;
      for (Integer i = 0; i < SampleBytes; ++i) std::swap(p[i], p[2 * SampleBytes + i]);
    }
  }
}

}  // namespace

void ReadBMPRAWStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress) {
  const Integer W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  const TIEPixelFormat Format = Bitmap->GetPixelFormat();
  if (W <= 0 || H <= 0 || Format == ieNull)
    return IEFail(Progress, "raw pixel data needs an image already sized and given its pixel format");
  if (Format == ieCIELab || Format == ie32RGB)
    return IEFail(Progress, "raw pixel data cannot be loaded into images of this pixel format");
  const Integer Align = IOParams.BmpRawRowAlign;
  if (Align < 8) return IEFail(Progress, "a raw row alignment of " + Str(Align) + " bits is below one byte");
  if (IOParams.BmpRawHeaderSize < 0) return IEFail(Progress, "a raw header size cannot be negative");
  const bool Colour = Format == ie24RGB || Format == ieCMYK || Format == ieRGB48;
  const Integer Planar = Colour ? IOParams.BmpRawPlanar : 0;
  if (Planar != 0 && Planar != 1)
    return IEFail(Progress, "raw planar layout " + Str(Planar) + " is not known (0 interleaved, 1 planar)");
  if (!SkipBytes(Stream, IOParams.BmpRawHeaderSize))
    return IEFail(Progress, "the raw pixel data is shorter than its " + Str(IOParams.BmpRawHeaderSize) +
                                "-byte header");

  if (Planar == 0) {
    ReadInterleaved(Stream, Bitmap, IEBitmapRowLen(W, IEPixelFormatBits[Format], Align), Progress);
  } else {
    switch (Format) {
      case ie24RGB: ReadPlanes(Stream, Bitmap, 3, 1, Align, Progress); break;
      case ieCMYK: ReadPlanes(Stream, Bitmap, 4, 1, Align, Progress); break;
      default: ReadPlanes(Stream, Bitmap, 3, 2, Align, Progress); break;
    }
  }
  // The image keeps 24-bit pixels blue first and 48-bit pixels red first: samples stored the
  // other way round are exchanged.
  if (Format == ie24RGB && !IOParams.BmpRawStoredBGR) SwapFirstAndThird(Bitmap, 1);
  if (Format == ieRGB48 && IOParams.BmpRawStoredBGR) SwapFirstAndThird(Bitmap, 2);
}
