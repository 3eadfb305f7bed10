// Decoded pictures to and from a device-independent TBitmap of 8, 15, 16, 24 or 32 bits per pixel
// through cached scaler contexts.
#pragma once

#include "media/binding/ffmpeg_headers.h"
#include "media/binding/ffmpeg_types.h"
#include "platform/gui/bitmap.h"
#include "platform/rtl/classes.h"


// The bitmap's current picture as a BITMAP description.
struct TBitmapInfo {
  int Type = 0;
  int Width = 0;
  int Height = 0;
  int WidthBytes = 0;
  int Planes = 0;
  int BitsPixel = 0;
  uint8_t* Bits = nullptr;
};

class TFormatConverter : public TObject {
 public:
  TFormatConverter();
  ~TFormatConverter() override;

  // 8, 15, 16, 24 or 32; anything else raises FFmpegException "Invalid BitsPixel %d".
  void SetBitsPixel(int Value);
  int BitsPixel() const { return FBitsPixel; }
  AVPixelFormat PixFmt() const { return FPixFmt; }
  TBitmap* Bitmap() const { return FBitmap; }

  // Sizes the bitmap and makes the source its current picture, converted when its format or row
  // layout differ from the bitmap's; with Copy the rows go into the bitmap as well.
  bool PictureToBitmap(const uint8_t* const SrcData[], const int SrcLinesize[], AVPixelFormat SrcFmt, bool Copy,
                       int Height, int Width);
  bool PictureToBitmap(const AVFrame* Frame, bool Copy);
  // Converts the source straight into Target, which takes the converter's pixel format and the
  // picture's size; the converter's own bitmap and current picture stay as they were.
  bool PictureIntoBitmap(const uint8_t* const SrcData[], const int SrcLinesize[], AVPixelFormat SrcFmt, int Height,
                         int Width, TBitmap* Target);
  void CopyToBitmap();
  void CopyFromBitmap();
  // Converts the current picture into Target, of TargetFmt.
  bool BitmapToPicture(uint8_t* const TargetData[], const int TargetLinesize[], AVPixelFormat TargetFmt, int Height,
                       int Width);
  const TAVPicture& Picture() const { return FOwnPicture; }
  const TBitmapInfo& BitmapInfo() const { return FInfo; }
  bool HasPicture() const { return FHasPicture; }
  int BufferSize() const { return FBufferSize; }
  const AnsiString& LastError() const { return FLastError; }
  int SwsFlags = SWS_BICUBIC;

 private:
  void Reset();
  // The scaler for a source of this format and size into the converter's pixel format.
  bool PrepareToRGB(AVPixelFormat SrcFmt, int Height, int Width);
  // FBuffer holding at least Size bytes and the scaler's overrun of a row of Width pixels.
  void ReserveBuffer(int Size, int Width);

  AVPixelFormat FPixFmt = AV_PIX_FMT_BGRA;
  int FBitsPixel = 32;
  TBitmap* FBitmap;
  TPixelFormat FPixelFormat = pf32bit;
  TBitmapInfo FInfo;
  uint8_t* FBuffer = nullptr;
  int FBufferSize = 0;
  TAVPicture FOwnPicture;
  TAVPicture FCurrent;
  bool FHasPicture = false;
  int FHeight = 0;
  SwsContext* FToRGB = nullptr;
  SwsContext* FFromRGB = nullptr;
  AnsiString FLastError;
};
