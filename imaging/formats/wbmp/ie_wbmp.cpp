#include "imaging/formats/wbmp/ie_wbmp.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_mask.h"
#include "platform/rtl/exceptions.h"

namespace {

// At most four bytes, as the format's readers take them: 28 bits of value.
constexpr Integer kMaxIntegerBytes = 4;

// Answers False when the stream ended inside the integer.
bool ReadMultiByte(TStream* Stream, Int64& Value) {
  Value = 0;
  for (Integer n = 0; n < kMaxIntegerBytes; ++n) {
    Byte b;
    if (Stream->Read(&b, 1) != 1) return false;
    Value = Value << 7 | (b & 0x7F);
    if (!(b & 0x80)) break;
  }
  return true;
}

void PutMultiByte(std::vector<Byte>& Out, DWORD Value) {
  Byte groups[5];
  Integer n = 0;
  do {
    groups[n++] = Byte(Value & 0x7F);
    Value >>= 7;
  } while (Value);
  while (n > 1) Out.push_back(Byte(groups[--n] | 0x80));
  Out.push_back(groups[0]);
}

void ReadBody(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& P, TIECodecProgress& Progress, bool Preview) {
  Int64 type = 0, fixed = 0, width = 0, height = 0;
  if (!ReadMultiByte(Stream, type) || !ReadMultiByte(Stream, fixed) || !ReadMultiByte(Stream, width) ||
      !ReadMultiByte(Stream, height))
    return IEFail(Progress, "the WBMP file ends inside its header");
  if (type != 0) return IEFail(Progress, "WBMP type " + std::to_string(type) + " is not supported (only type 0)");
  if (fixed != 0) return IEFail(Progress, "damaged WBMP file: its fixed header is " + std::to_string(fixed) + ", not 0");
  if (width == 0 || height == 0)
    return IEFail(Progress, "the WBMP image has no pixels: its header gives " + std::to_string(width) + " x " +
                                std::to_string(height));
  P.BitsPerSample = 1;
  P.SamplesPerPixel = 1;
  P.Width = P.OriginalWidth = static_cast<Integer>(width);
  P.Height = P.OriginalHeight = static_cast<Integer>(height);
  P.SetDpiX(IEGlobalDefaultDpiX);
  P.SetDpiY(IEGlobalDefaultDpiY);
  std::free(P.ColorMap);
  P.ColorMap = nullptr;
  P.ColorMapCount = 0;
  if (Preview) return;

  const Int64 rowBytes = (width + 7) / 8;
  if (!IECheckInputHolds(Progress, "the WBMP pixel data", width, height, rowBytes * height, IEStreamRemaining(Stream)))
    return;
  if (IEAllocateImage(Progress, Bitmap, width, height, ie1g) == ieNull) return;
  const Integer h = static_cast<Integer>(height);
  TIERowStepper step(Progress, h);
  for (Integer y = 0; y < h; ++y) {
    // The rows have the buffer's bit order and meaning: they go in as they are.
    if (Stream->Read(Bitmap->GetScanline(y), static_cast<Integer>(rowBytes)) != rowBytes)
      return IEFail(Progress, "the WBMP file ends after " + std::to_string(y) + " of its " + std::to_string(h) + " rows");
    if (!step.Next()) return;
  }
}

}  // namespace

void ReadWBMPStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                    bool Preview) {
  try {
    ReadBody(Stream, Bitmap, IOParams, Progress, Preview);
  } catch (const std::bad_alloc&) {
    IEFail(Progress, "not enough memory to read the WBMP image");
  } catch (const Exception& e) {
    IEFail(Progress, e.Message.empty() ? AnsiString("the WBMP image cannot be read") : e.Message);
  }
}

void WriteWBMPStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals&, TIECodecProgress& Progress) {
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (w <= 0 || h <= 0) return IEFail(Progress, "an empty image cannot be saved as WBMP");
  if (w >= 1 << 28 || h >= 1 << 28)
    return IEFail(Progress, "WBMP sides are at most 268435455 pixels; the image is " + std::to_string(w) + " x " +
                                std::to_string(h));
  std::unique_ptr<TIEBitmap> copy;
  TIEBitmap* src = Bitmap;
  if (Bitmap->GetPixelFormat() != ie1g) {
    copy = std::make_unique<TIEBitmap>();
    copy->Assign(Bitmap);
    copy->SetPixelFormat(ie1g);
    src = copy.get();
  }
  // Sides above 127 take more than one byte; the whole image is written whatever its size, as
  // the format's own readers take up to 28 bits a side.
  std::vector<Byte> header = {0, 0};
  PutMultiByte(header, static_cast<DWORD>(w));
  PutMultiByte(header, static_cast<DWORD>(h));
  bool aborting = IEAborting(Progress);
  IESafeStreamWrite(Stream, aborting, header.data(), static_cast<Integer>(header.size()));
  const Integer rowBytes = (w + 7) / 8;
  std::vector<Byte> row(static_cast<size_t>(rowBytes));
  TIERowStepper step(Progress, h);
  for (Integer y = 0; y < h && !aborting; ++y) {
    std::memcpy(row.data(), src->GetScanline(y), row.size());
    // Bits past the width are padding: zero, as other writers leave them.
    if (w % 8) row.back() &= static_cast<Byte>(0xFF << (8 - w % 8));
    IESafeStreamWrite(Stream, aborting, row.data(), rowBytes);
    if (!step.Next()) break;
  }
  if (aborting && !IEAborting(Progress)) IEFail(Progress, "the WBMP file could not be written completely (disk full?)");
}
