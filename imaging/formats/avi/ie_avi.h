// Single frames of AVI video files, read by the library itself: the RIFF structure, the first
// video stream's headers and where each of its frames lies, and the frames decoded as
// device-independent bitmaps would be: uncompressed and run-length DIB frames through the BMP
// codec, Motion JPEG frames through the JPEG codec. Other codings are refused when the file is
// opened.
//
// Every chunk size, count and list of the file is a claim: the reader bounds each by the chunk
// that holds it and by the file, limits how deeply lists nest, and refuses a frame count the
// file cannot hold. A file cut short opens with the frames it still holds; asking for one it
// lost fails with a reason.
#pragma once

#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// What the first video stream's header says (the fields a caller uses).
struct TIEAviStreamInfo {
  Cardinal Scale = 0;   // time unit of a frame, in Rate-ths of a second
  Cardinal Rate = 0;
  Cardinal Length = 0;  // frames in the stream
};

class TIEAviReader {
 public:
  // Reads the headers of the AVI file in Stream (from its start) and finds the frames of its
  // first video stream. The stream stays the caller's and must live as long as the reader.
  // False, with the reason in Progress, for a file that is not an AVI, whose headers are
  // damaged or cut, that has no video stream or no frame data, or whose coding cannot be decoded.
  bool Open(TStream* Stream, TIECodecProgress& Progress);

  const TIEAviStreamInfo& Info() const { return FInfo; }
  // The frames the stream header announces (at most what the file can hold).
  Integer FrameCount() const { return Integer(FInfo.Length); }
  // Milliseconds per frame, Trunc(1000 / (Rate / Scale)); 0 when the header gives no rate.
  Integer FrameDelay() const;

  // Decodes frame Index into Bitmap (ie24RGB; ie1g for black and white 1-bit frames) and gives
  // the bit count of the frame as stored (24 for Motion JPEG, which decodes to 24 bits). An
  // empty chunk repeats the frame before it, as a dropped frame does in a player. False, with
  // the reason in Progress and Bitmap as the decoder left it, for an index out of range, a
  // frame the file lost or a frame that does not decode.
  bool ReadFrame(Integer Index, TIEBitmap* Bitmap, TIECodecProgress& Progress, Integer& BitCount);

 private:
  struct TFrameChunk {
    Int64 Offset;   // of the chunk's data
    Cardinal Size;  // as the chunk claims
  };
  bool ReadHeaders(Int64 Start, Int64 End, TIECodecProgress& Progress);
  bool ReadStreamList(Int64 Start, Int64 End, Integer StreamNumber, TIECodecProgress& Progress);
  void CollectFrames(Int64 Start, Int64 End, Integer Depth);
  bool ReadDIBFrame(Integer Index, const std::vector<Byte>& Data, TIEBitmap* Bitmap, TIECodecProgress& Progress);
  bool ReadJPEGFrame(Integer Index, const std::vector<Byte>& Data, TIEBitmap* Bitmap, TIECodecProgress& Progress);

  TStream* FStream = nullptr;
  Int64 FFileSize = 0;
  TIEAviStreamInfo FInfo;
  bool FHaveVideo = false;
  Integer FVideoNumber = -1;
  std::vector<Byte> FFormat;  // the video stream's format chunk: a bitmap info header and its colours
  bool FJpeg = false;
  Integer FBitCount = 0;
  std::vector<std::pair<Int64, Int64>> FMovies;  // the frame data lists
  std::vector<TFrameChunk> FFrames;
  bool FTooDeep = false;
};
