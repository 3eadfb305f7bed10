// The codec kit: what every reader and writer of the library uses from its first line on.
//  - TIECodecProgress (imaging/core/ie_progress.h): the progress record with the caller's abort
//    flag and the failure reason beside it; IEFail sets both.
//  - TIERowStepper: counts the codec's steps, reports the percentage and answers whether to go
//    on (false once the caller or the codec has set the abort flag).
//  - IECheckImageSize: the size gate, passed before any allocation sized from the file.
//  - IECheckInputHolds, IECheckSparseImage: the claimed size against what the input can hold.
//  - IEAllocateImage: the one way a reader allocates the image it decodes into.
// A codec reports a damaged, truncated, unsupported or refused input through IEFail and returns
// normally; exceptions of the C libraries are turned into that at their glue boundary.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_limits.h"
#include "imaging/core/ie_pixel_format.h"
#include "imaging/core/ie_progress.h"
#include "platform/rtl/streams.h"

#include <vector>

// True when an image of Width x Height pixels of BitsPerPixel bits passes the library's limits
// (IEImageLimits, imaging/core/ie_limits.h; a zero size passes, it allocates nothing).
// Otherwise IEFail with the reason and False: the caller returns without allocating.
bool IECheckImageSize(TIECodecProgress& Progress, Int64 Width, Int64 Height, Int64 BitsPerPixel);

// The largest expansion of Deflate: a match of 258 bytes coded in 2 bits, plus a little room
// for block headers. A zlib stream of N bytes never inflates past N x this.
constexpr Int64 IEDeflateMaxRatio = 1032;

// Bytes from the stream's position to its end; -1 when the stream cannot tell.
Int64 IEStreamRemaining(TStream* Stream);

// Reads Count bytes, however many calls the stream needs; False when it ended first.
bool IEReadFully(TStream* Stream, void* Buffer, Int64 Count);

// A header is a claim: an image of Width x Height pixels whose densest coding in the format
// needs at least NeededBytes cannot come out of Available bytes. Then IEFail with a reason
// naming both ("the BMP pixel data holds 12 bytes, too few for 46340 x 46340 pixels (at least
// 268416800 bytes)") and False, before anything is allocated. An unknown Available (negative)
// passes. What names the data: "the PNG file", "the BMP pixel data".
bool IECheckInputHolds(TIECodecProgress& Progress, const AnsiString& What, Int64 Width, Int64 Height,
                       Int64 NeededBytes, Int64 Available);

// For codings in which a few bytes may legitimately stand for a huge blank image (runs that
// end the bitmap early, data in a compression the reader does not decode): the pixel count
// must pass IESparseImageMaxPixels. What names the coding ("run-length data").
bool IECheckSparseImage(TIECodecProgress& Progress, const AnsiString& What, Int64 Width, Int64 Height);

// Allocates Bitmap for a decoded image, in whatever store its Location asks for, after the size
// gate; a reader writes rows only after this said yes. Answers the pixel format the rows really
// have: Format, or Accepted when the store gave that in place of Format (the framework bitmap
// keeps ie16g as ie8g) and the reader can write it. Any other outcome leaves Bitmap empty and
// answers ieNull after IEFail with the reason: the size gate's, the store's ("ieCMYK pixel format
// not allowed when Location=ieTBitmap"), a store that gave other rows than asked, or no memory.
TIEPixelFormat IEAllocateImage(TIECodecProgress& Progress, TIEBitmap* Bitmap, Int64 Width, Int64 Height,
                               TIEPixelFormat Format, TIEPixelFormat Accepted = ieNull);

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

// Bytes of a stream through a buffer of the reader's own, for readers that take many small reads
// (a byte at a time, a row at a time). What it has taken from the stream is its own: Buffered
// tells how much of it the reader has not used yet.
class TIEBufferedInput {
 public:
  TIEBufferedInput(TStream* Stream, size_t BufferSize) : FStream(Stream), FBuffer(BufferSize) {}
  bool Get(Byte& B) {
    if (FPos == FLen && !Fill()) return false;
    B = FBuffer[FPos++];
    return true;
  }
  // Answers whether all Count bytes came.
  bool Read(Byte* Dest, size_t Count);
  size_t Buffered() const { return FLen - FPos; }

 private:
  bool Fill();
  TStream* FStream;
  std::vector<Byte> FBuffer;
  size_t FPos = 0, FLen = 0;
};
