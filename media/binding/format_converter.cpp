#include "media/binding/format_converter.h"

#include <algorithm>
#include <cstring>

#include "media/binding/entry_points.h"
#include "media/binding/ffmpeg_exception.h"
#include "platform/gui/canvas.h"
#include "platform/rtl/sysutils.h"

namespace {

struct TDepth {
  int Bits;
  TPixelFormat Format;
  AVPixelFormat PixFmt;
  int BitsPerPixel;
};

// The framework's 15- and 16-bit bitmaps keep red in the high bits; its 8-bit one is indexed,
// and gets the 3-3-2 palette of FFmpeg's bgr8 (blue in the top two bits, red in the low three).
const TDepth Depths[] = {
    {8, pf8bit, AV_PIX_FMT_BGR8, 8},         {15, pf15bit, AV_PIX_FMT_RGB555LE, 16},
    {16, pf16bit, AV_PIX_FMT_RGB565LE, 16},  {24, pf24bit, AV_PIX_FMT_BGR24, 24},
    {32, pf32bit, AV_PIX_FMT_BGRA, 32},
};

std::vector<TColor> Bgr8Palette() {
  std::vector<TColor> palette(256);
  for (int i = 0; i < 256; ++i) {
    const int r = (i & 7) * 255 / 7;
    const int g = ((i >> 3) & 7) * 255 / 7;
    const int b = (i >> 6) * 255 / 3;
    palette[i] = static_cast<TColor>(r | (g << 8) | (b << 16));
  }
  return palette;
}

int DibRowBytes(int width, int bitsPerPixel) { return (width * bitsPerPixel + 31) / 32 * 4; }

// The scaler's vector code writes whole blocks of pixels; a row of a multiple of this many
// pixels ends on a block's end, so the scaler can write it in place without running past it.
constexpr int WholeBlockPixels = 64;

}  // namespace

TFormatConverter::TFormatConverter() : FBitmap(new TBitmap) {
  FBitmap->Canvas()->Brush()->SetStyle(bsClear);
  FBitmap->SetPixelFormat(pf32bit);
}

TFormatConverter::~TFormatConverter() {
  delete FBitmap;
  if (FBuffer && ff::av_free) ff::av_free(FBuffer);
  if (ff::sws_freeContext) {
    if (FToRGB) ff::sws_freeContext(FToRGB);
    if (FFromRGB) ff::sws_freeContext(FFromRGB);
  }
}

void TFormatConverter::SetBitsPixel(int Value) {
  const TDepth* depth = std::find_if(std::begin(Depths), std::end(Depths), [&](const TDepth& d) { return d.Bits == Value; });
  if (depth == std::end(Depths)) throw FFmpegException(Format("Invalid BitsPixel %d", Value));
  if (Value == FBitsPixel) return;
  FBitsPixel = Value;
  FPixelFormat = depth->Format;
  Reset();
}

void TFormatConverter::Reset() {
  FInfo = TBitmapInfo{};
  FOwnPicture = TAVPicture{};
  FCurrent = TAVPicture{};
  FHasPicture = false;
  const TDepth* depth =
      std::find_if(std::begin(Depths), std::end(Depths), [&](const TDepth& d) { return d.Bits == FBitsPixel; });
  FPixFmt = depth->PixFmt;
  FBitmap->SetPixelFormat(FPixelFormat);
  if (FPixelFormat == pf8bit) FBitmap->SetColorTable(Bgr8Palette());
}

bool TFormatConverter::PictureToBitmap(const AVFrame* Frame, bool Copy) {
  return PictureToBitmap(Frame->data, Frame->linesize, static_cast<AVPixelFormat>(Frame->format), Copy, Frame->height,
                         Frame->width);
}

bool TFormatConverter::PictureToBitmap(const uint8_t* const SrcData[], const int SrcLinesize[], AVPixelFormat SrcFmt,
                                       bool Copy, int Height, int Width) {
  // The size comes from the decoder (or a damaged stream): a bogus one must not reach the bitmap,
  // which would allocate for it before the conversion found it invalid.
  if (ff::av_image_check_size(static_cast<unsigned>(Width), static_cast<unsigned>(Height), 0, nullptr) < 0) {
    FHasPicture = false;
    FLastError = Format("Invalid picture size %d x %d", Width, Height);
    return false;
  }
  FBitmap->SetSize(Width, Height);
  const int bitsPerPixel = (FBitsPixel == 15) ? 16 : FBitsPixel;
  const bool direct =
      SrcFmt == FPixFmt && Width % 2 == 0 && Height % 2 == 0 && SrcLinesize[0] == DibRowBytes(Width, bitsPerPixel);
  if (direct) {
    FCurrent = TAVPicture{};
    for (int i = 0; i < 4; ++i) {
      FCurrent.data[i] = const_cast<uint8_t*>(SrcData[i]);
      FCurrent.linesize[i] = SrcLinesize[i];
    }
  } else {
    const int size = ff::av_image_get_buffer_size(FPixFmt, Width, Height, 1);
    if (size < 0) {
      FHasPicture = false;
      FLastError = "Cannot initialize the toRGB conversion context";
      return false;
    }
    ReserveBuffer(size, Width);
    FOwnPicture = TAVPicture{};
    ff::av_image_fill_arrays(FOwnPicture.data, FOwnPicture.linesize, FBuffer, FPixFmt, Width, Height, 1);
    if (!PrepareToRGB(SrcFmt, Height, Width)) {
      FHasPicture = false;
      return false;
    }
    ff::sws_scale(FToRGB, SrcData, SrcLinesize, 0, Height, FOwnPicture.data, FOwnPicture.linesize);
    FCurrent = FOwnPicture;
  }
  FHasPicture = true;
  FHeight = Height;
  FInfo = TBitmapInfo{0, Width, Height, FCurrent.linesize[0], 1, bitsPerPixel, FCurrent.data[0]};
  if (Copy) CopyToBitmap();
  return true;
}

void TFormatConverter::ReserveBuffer(int Size, int Width) {
  if (FBuffer && FBufferSize >= Size) return;
  if (FBuffer) ff::av_free(FBuffer);
  FBuffer = nullptr;
  FBufferSize = 0;
  // The scaler's vector code writes past the end of a row whose width is not a multiple of its
  // block; the last row needs that room too.
  FBuffer = static_cast<uint8_t*>(ff::av_malloc(static_cast<size_t>(Size) + 4 * static_cast<size_t>(Width) + 64));
  if (!FBuffer) throw EOutOfMemory("Out of memory");
  FBufferSize = Size;
}

bool TFormatConverter::PrepareToRGB(AVPixelFormat SrcFmt, int Height, int Width) {
  FToRGB = ff::sws_getCachedContext(FToRGB, Width, Height, SrcFmt, Width, Height, FPixFmt, SwsFlags, nullptr, nullptr,
                                    nullptr);
  if (!FToRGB) FLastError = "Cannot initialize the toRGB conversion context";
  return FToRGB != nullptr;
}

bool TFormatConverter::PictureIntoBitmap(const uint8_t* const SrcData[], const int SrcLinesize[], AVPixelFormat SrcFmt,
                                         int Height, int Width, TBitmap* Target) {
  if (ff::av_image_check_size(static_cast<unsigned>(Width), static_cast<unsigned>(Height), 0, nullptr) < 0) {
    FLastError = Format("Invalid picture size %d x %d", Width, Height);
    return false;
  }
  const int size = ff::av_image_get_buffer_size(FPixFmt, Width, Height, 1);
  if (size < 0 || !PrepareToRGB(SrcFmt, Height, Width)) {
    if (size < 0) FLastError = "Cannot initialize the toRGB conversion context";
    return false;
  }
  if (Target->PixelFormat() != FPixelFormat || Target->Width() != Width || Target->Height() != Height) {
    Target->SetSize(0, 0);  // nothing of the old picture is kept, so nothing of it is converted
    Target->SetPixelFormat(FPixelFormat);
  }
  if (FPixelFormat == pf8bit) Target->SetColorTable(Bgr8Palette());
  Target->SetSize(Width, Height);
  const int targetRowBytes = Target->BytesPerScanline();
  if (Width % WholeBlockPixels == 0) {
    // The rows are the bitmap's own: no copy of the picture on the way.
    uint8_t* rows[4] = {static_cast<uint8_t*>(Target->ScanLine(0)), nullptr, nullptr, nullptr};
    const int strides[4] = {targetRowBytes, 0, 0, 0};
    ff::sws_scale(FToRGB, SrcData, SrcLinesize, 0, Height, rows, strides);
    return true;
  }
  ReserveBuffer(size, Width);
  uint8_t* rows[4] = {FBuffer, nullptr, nullptr, nullptr};
  const int bufferRowBytes = ff::av_image_get_linesize(FPixFmt, Width, 0);
  const int strides[4] = {bufferRowBytes, 0, 0, 0};
  ff::sws_scale(FToRGB, SrcData, SrcLinesize, 0, Height, rows, strides);
  const size_t rowBytes = static_cast<size_t>(std::min(bufferRowBytes, targetRowBytes));
  for (int row = 0; row < Height; ++row)
    std::memcpy(Target->ScanLine(row), FBuffer + static_cast<ptrdiff_t>(row) * bufferRowBytes, rowBytes);
  return true;
}

void TFormatConverter::CopyToBitmap() {
  EngineAssert(FHasPicture, "No current picture");
  const int rowBytes = std::min(FCurrent.linesize[0], FBitmap->BytesPerScanline());
  for (int row = 0; row < FHeight; ++row) {
    std::memcpy(FBitmap->ScanLine(row), FCurrent.data[0] + static_cast<ptrdiff_t>(row) * FCurrent.linesize[0],
                static_cast<size_t>(rowBytes));
  }
}

void TFormatConverter::CopyFromBitmap() {
  EngineAssert(FHasPicture, "No current picture");
  const int rowBytes = std::min(FCurrent.linesize[0], FBitmap->BytesPerScanline());
  for (int row = 0; row < FHeight; ++row) {
    std::memcpy(FCurrent.data[0] + static_cast<ptrdiff_t>(row) * FCurrent.linesize[0], FBitmap->ScanLine(row),
                static_cast<size_t>(rowBytes));
  }
}

bool TFormatConverter::BitmapToPicture(uint8_t* const TargetData[], const int TargetLinesize[], AVPixelFormat TargetFmt,
                                       int Height, int Width) {
  EngineAssert(FHasPicture, "No current picture");
  // The current picture is the source: a larger size would read past its rows.
  EngineAssert(Width <= FInfo.Width && Height <= FInfo.Height, "Picture larger than the current one");
  FFromRGB = ff::sws_getCachedContext(FFromRGB, Width, Height, FPixFmt, Width, Height, TargetFmt, SwsFlags, nullptr,
                                      nullptr, nullptr);
  if (!FFromRGB) {
    FLastError = "Cannot initialize the fromRGB conversion context";
    return false;
  }
  ff::sws_scale(FFromRGB, FCurrent.data, FCurrent.linesize, 0, Height, TargetData, TargetLinesize);
  return true;
}
