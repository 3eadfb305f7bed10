#include "imaging/formats/avi/ie_avi.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_params.h"
#include "imaging/core/ie_stream_classes.h"
#include "imaging/formats/bmp/ie_bmp.h"
#include "imaging/formats/ie_le_bytes.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "platform/rtl/numerics.h"

namespace {

// Real files nest no deeper than "movi" > "rec " > frame; a few levels more are tolerated, and
// past them a crafted file is refused instead of being followed.
constexpr Integer kMaxListDepth = 4;
// A bitmap header with 256 colours and channel masks takes about 1 KB; a larger format chunk is
// not a video's.
constexpr Int64 kMaxFormatBytes = 64 * 1024;
constexpr Int64 kBitmapHeaderBytes = 40;

bool Is(const Byte* P, const char* Id) { return std::memcmp(P, Id, 4) == 0; }

bool ReadAt(TStream* Stream, Int64 Offset, void* Buffer, Int64 Count) {
  if (Offset < 0) return false;
  Stream->SetPosition(Offset);
  return Stream->Position() == Offset && IEReadFully(Stream, Buffer, Count);
}

// One chunk inside a list: its id, where its data start and the size it claims.
struct TChunk {
  Byte Id[4] = {};
  Int64 Data = 0;
  Int64 Size = 0;
  Int64 End() const { return Data + Size; }
  Int64 Next() const { return Data + Size + (Size & 1); }  // chunks are padded to even sizes
};

bool ReadChunk(TStream* Stream, Int64 At, Int64 End, TChunk& C) {
  Byte H[8];
  if (End - At < 8 || !ReadAt(Stream, At, H, 8)) return false;
  std::memcpy(C.Id, H, 4);
  C.Data = At + 8;
  C.Size = IEGetLE32(H + 4);
  return true;
}

// The list type of a "LIST" chunk; False when it has none.
bool ListType(TStream* Stream, const TChunk& C, Byte* Type) {
  return std::memcmp(C.Id, "LIST", 4) == 0 && C.Size >= 4 && ReadAt(Stream, C.Data, Type, 4);
}

AnsiString FourCCText(const Byte* P) {
  AnsiString S;
  for (int i = 0; i < 4; ++i) {
    if (P[i] >= 0x20 && P[i] < 0x7F && P[i] != '"' && P[i] != '\\') {
      S += char(P[i]);
    } else {
      char Hex[8];
      std::snprintf(Hex, sizeof Hex, "\\x%02X", P[i]);
      S += Hex;
    }
  }
  return S;
}

bool SameFourCC(const Byte* P, const char* Id) {
  for (int i = 0; i < 4; ++i)
    if (std::toupper(P[i]) != Id[i]) return false;
  return true;
}

AnsiString N(Int64 V) { return std::to_string(V); }

bool Fail(TIECodecProgress& Progress, const AnsiString& Reason) {
  IEFail(Progress, Reason);
  return false;
}

}  // namespace

Integer TIEAviReader::FrameDelay() const {
  if (FInfo.Rate == 0 || FInfo.Scale == 0) return 0;
  return SafeTrunc<Integer>(1000.0 / (double(FInfo.Rate) / double(FInfo.Scale)));
}

bool TIEAviReader::Open(TStream* Stream, TIECodecProgress& Progress) {
  FStream = Stream;
  FFileSize = Stream->Size();
  FInfo = TIEAviStreamInfo();
  FHaveVideo = false;
  FVideoNumber = -1;
  FFormat.clear();
  FMovies.clear();
  FFrames.clear();
  FTooDeep = false;

  Byte H[12];
  if (!ReadAt(Stream, 0, H, 12) || !Is(H, "RIFF") || !Is(H + 8, "AVI "))
    return Fail(Progress, "not an AVI file: it does not begin with a RIFF \"AVI \" header");
  const Int64 RiffClaim = 8 + Int64(IEGetLE32(H + 4));
  const Int64 RiffEnd = std::min(RiffClaim, FFileSize);
  bool HaveHeaders = false;
  TChunk C;
  for (Int64 At = 12; ReadChunk(Stream, At, RiffEnd, C); At = C.Next()) {
    Byte Type[4];
    if (!ListType(Stream, C, Type)) continue;
    if (Is(Type, "hdrl") && !HaveHeaders) {
      if (C.End() > RiffEnd) return Fail(Progress, "the AVI headers are cut short: the file ends inside them");
      if (!ReadHeaders(C.Data + 4, C.End(), Progress)) return false;
      HaveHeaders = true;
    } else if (Is(Type, "movi")) {
      FMovies.emplace_back(C.Data + 4, std::min(C.End(), RiffEnd));
    }
  }
  if (!HaveHeaders) return Fail(Progress, "the AVI file has no header list");

  // Files larger than one RIFF chunk may hold (OpenDML) go on in "AVIX" chunks after it.
  for (Int64 Riff = RiffClaim + (RiffClaim & 1); Riff + 12 <= FFileSize;) {
    Byte X[12];
    if (!ReadAt(Stream, Riff, X, 12) || !Is(X, "RIFF") || !Is(X + 8, "AVIX")) break;
    const Int64 Claim = 8 + Int64(IEGetLE32(X + 4));
    const Int64 End = std::min(Riff + Claim, FFileSize);
    for (Int64 At = Riff + 12; ReadChunk(Stream, At, End, C); At = C.Next()) {
      Byte Type[4];
      if (ListType(Stream, C, Type) && Is(Type, "movi")) FMovies.emplace_back(C.Data + 4, std::min(C.End(), End));
    }
    Riff += Claim + (Claim & 1);
  }

  if (!FHaveVideo) return Fail(Progress, "the AVI file has no video stream");
  if (FMovies.empty()) return Fail(Progress, "the AVI file holds no frame data (it has no \"movi\" list)");

  // The format: a bitmap info header, then colours or channel masks.
  Byte* F = FFormat.data();
  const Int64 HeaderSize = IEGetLE32(F);
  if (HeaderSize < kBitmapHeaderBytes || HeaderSize > Int64(FFormat.size()))
    return Fail(Progress, "the video's format is damaged: a bitmap header of " + N(HeaderSize) + " bytes in a chunk of " +
                              N(Int64(FFormat.size())));
  const Int64 Width = int32_t(IEGetLE32(F + 4));
  const Int64 Height = int32_t(IEGetLE32(F + 8));
  const Integer Bits = IEGetLE16(F + 14);
  if (SameFourCC(F + 16, "DIB ") || SameFourCC(F + 16, "RGB ") || SameFourCC(F + 16, "RAW ")) IEPutLE32(F + 16, 0);
  const DWORD Compression = IEGetLE32(F + 16);
  if (Width <= 0 || Height == 0)
    return Fail(Progress, "the video's frames are " + N(Width) + " x " + N(Height) + " pixels");
  if (Compression <= 3) {
    const bool Fits = (Compression == 0 && (Bits == 1 || Bits == 4 || Bits == 8 || Bits == 16 || Bits == 24 || Bits == 32)) ||
                      (Compression == 1 && Bits == 8) || (Compression == 2 && Bits == 4) ||
                      (Compression == 3 && (Bits == 16 || Bits == 32));
    if (!Fits)
      return Fail(Progress, "the video's frames are bitmaps of " + N(Bits) + " bits in coding " + N(Compression) +
                                ", which no bitmap uses");
    // The colours (or masks) come with the format, not with each frame: a format that lacks
    // them would make the decoder take them from the frame's own bytes.
    Int64 Colours = IEGetLE32(F + 32);
    if (Colours > 256) Colours = 0;
    if (Colours == 0 && Bits <= 8) Colours = Int64(1) << Bits;
    if (Compression == 3 && HeaderSize < 52) Colours = 3;
    if (HeaderSize + Colours * 4 > Int64(FFormat.size()))
      return Fail(Progress, "the video's colour table is incomplete: " + N(Colours) + " entries need " +
                                N(HeaderSize + Colours * 4) + " bytes, the format has " + N(Int64(FFormat.size())));
    FJpeg = false;
    FBitCount = Bits;
  } else if (SameFourCC(F + 16, "MJPG") || SameFourCC(F + 16, "JPEG") || SameFourCC(F + 16, "AVRN") ||
             SameFourCC(F + 16, "AVDJ") || SameFourCC(F + 16, "DMB1")) {
    FJpeg = true;
    FBitCount = 24;
  } else {
    return Fail(Progress, "the video is coded as \"" + FourCCText(F + 16) + "\", which cannot be decoded here");
  }
  if (!IECheckImageSize(Progress, Width, Height < 0 ? -Height : Height, 24)) return false;

  // Every frame needs a chunk header of 8 bytes at least.
  if (Int64(FInfo.Length) > FFileSize / 8 || FInfo.Length > Cardinal(INT_MAX))
    return Fail(Progress, "the video's header claims " + N(FInfo.Length) + " frames, more than a file of " +
                              N(FFileSize) + " bytes can hold");
  for (const auto& M : FMovies) {
    if (FFrames.size() >= FInfo.Length) break;
    CollectFrames(M.first, M.second, 1);
    if (FTooDeep) return Fail(Progress, "the AVI frame data nests lists more than " + N(kMaxListDepth) + " deep");
  }
  return true;
}

bool TIEAviReader::ReadHeaders(Int64 Start, Int64 End, TIECodecProgress& Progress) {
  Integer StreamNumber = 0;
  TChunk C;
  for (Int64 At = Start; ReadChunk(FStream, At, End, C); At = C.Next()) {
    if (C.End() > End) return Fail(Progress, "the AVI headers are damaged: a chunk runs past the list that holds it");
    Byte Type[4];
    if (!ListType(FStream, C, Type) || !Is(Type, "strl")) continue;
    if (!FHaveVideo && !ReadStreamList(C.Data + 4, C.End(), StreamNumber, Progress)) return false;
    ++StreamNumber;
  }
  return true;
}

bool TIEAviReader::ReadStreamList(Int64 Start, Int64 End, Integer StreamNumber, TIECodecProgress& Progress) {
  bool Video = false;
  TChunk C;
  for (Int64 At = Start; ReadChunk(FStream, At, End, C); At = C.Next()) {
    if (C.End() > End) return Fail(Progress, "the AVI stream headers are damaged: a chunk runs past its list");
    if (Is(C.Id, "strh")) {
      Byte S[36];
      if (C.Size < Int64(sizeof S)) return Fail(Progress, "the AVI stream header is " + N(C.Size) + " bytes, too short");
      if (!ReadAt(FStream, C.Data, S, sizeof S)) return Fail(Progress, "the AVI file ends inside a stream header");
      // Frames of streams past the 100th cannot be told apart by their two-digit chunk ids.
      Video = Is(S, "vids") && StreamNumber < 100;
      if (!Video) return true;
      FInfo.Scale = IEGetLE32(S + 20);
      FInfo.Rate = IEGetLE32(S + 24);
      FInfo.Length = IEGetLE32(S + 32);
    } else if (Is(C.Id, "strf") && Video) {
      if (C.Size < kBitmapHeaderBytes || C.Size > kMaxFormatBytes)
        return Fail(Progress, "the video's format chunk is " + N(C.Size) + " bytes, not a bitmap header");
      FFormat.resize(size_t(C.Size));
      if (!ReadAt(FStream, C.Data, FFormat.data(), C.Size)) return Fail(Progress, "the AVI file ends inside the video's format");
      FHaveVideo = true;
      FVideoNumber = StreamNumber;
      return true;
    }
  }
  if (Video) return Fail(Progress, "the video stream has no format chunk");
  return true;
}

void TIEAviReader::CollectFrames(Int64 Start, Int64 End, Integer Depth) {
  if (Depth > kMaxListDepth) {
    FTooDeep = true;
    return;
  }
  const char Tens = char('0' + FVideoNumber / 10), Units = char('0' + FVideoNumber % 10);
  TChunk C;
  for (Int64 At = Start; FFrames.size() < FInfo.Length && ReadChunk(FStream, At, End, C); At = C.Next()) {
    Byte Type[4];
    if (ListType(FStream, C, Type)) {
      CollectFrames(C.Data + 4, std::min(C.End(), End), Depth + 1);
      if (FTooDeep) return;
    } else if (C.Id[0] == Tens && C.Id[1] == Units && C.Id[2] == 'd' && (C.Id[3] == 'b' || C.Id[3] == 'c')) {
      FFrames.push_back({C.Data, Cardinal(C.Size)});
    }
    // A chunk that runs past its list is where the file was cut: nothing after it is whole.
    if (C.End() > End) return;
  }
}

bool TIEAviReader::ReadFrame(Integer Index, TIEBitmap* Bitmap, TIECodecProgress& Progress, Integer& BitCount) {
  BitCount = FBitCount;
  if (!FStream) return Fail(Progress, "no AVI file is open");
  if (Index < 0 || Index >= FrameCount())
    return Fail(Progress, "frame " + N(Index) + " is out of range: the video has " + N(FrameCount()) + " frames");
  if (size_t(Index) >= FFrames.size())
    return Fail(Progress, "frame " + N(Index) + " is missing: the file ends after " + N(Int64(FFrames.size())) + " of its " +
                              N(FrameCount()) + " frames");
  Integer Use = Index;
  while (Use >= 0 && FFrames[size_t(Use)].Size == 0) --Use;
  if (Use < 0) return Fail(Progress, "frame " + N(Index) + " holds no picture, nor does any frame before it");
  const TFrameChunk& Chunk = FFrames[size_t(Use)];
  const Int64 Have = std::max<Int64>(FFileSize - Chunk.Offset, 0);
  if (Int64(Chunk.Size) > Have)
    return Fail(Progress, "frame " + N(Use) + " is cut short: the file ends " + N(Have) + " bytes into its " +
                              N(Chunk.Size) + " bytes");
  std::vector<Byte> Data(Chunk.Size);
  if (!ReadAt(FStream, Chunk.Offset, Data.data(), Chunk.Size))
    return Fail(Progress, "frame " + N(Use) + " cannot be read: the file ends inside it");
  return FJpeg ? ReadJPEGFrame(Use, Data, Bitmap, Progress) : ReadDIBFrame(Use, Data, Bitmap, Progress);
}

bool TIEAviReader::ReadDIBFrame(Integer Index, const std::vector<Byte>& Data, TIEBitmap* Bitmap,
                                TIECodecProgress& Progress) {
  const Byte* F = FFormat.data();
  const Int64 Width = int32_t(IEGetLE32(F + 4));
  const Int64 Height = std::abs(Int64(int32_t(IEGetLE32(F + 8))));
  const Integer Bits = IEGetLE16(F + 14);
  if (IEGetLE32(F + 16) == 0 || IEGetLE32(F + 16) == 3) {
    const Int64 RowBytes = (Width * Bits + 31) / 32 * 4;
    if (Int64(Data.size()) < RowBytes * Height)
      return Fail(Progress, "frame " + N(Index) + " holds " + N(Int64(Data.size())) + " bytes, too few for " + N(Width) +
                                " x " + N(Height) + " pixels of " + N(Bits) + " bits (" + N(RowBytes * Height) + " bytes)");
  }
  // The frame as a whole device-independent bitmap: the stream's header and colours, then the
  // frame's pixel data.
  std::vector<Byte> Dib(FFormat);
  IEPutLE32(Dib.data() + 20, DWORD(Data.size()));
  Dib.insert(Dib.end(), Data.begin(), Data.end());
  TIEMemStream Memory(Dib.data(), Int64(Dib.size()));
  TIOParamsVals Scratch(nullptr);
  TIEMask* Alpha = nullptr;
  ReadBMPStream(&Memory, Bitmap, Integer(std::min<size_t>(Dib.size(), INT_MAX)), Scratch, Progress, false, true, Alpha,
                true);
  delete Alpha;
  if (IEAborting(Progress)) return false;
  if (Bitmap->GetPixelFormat() != ie1g && Bitmap->GetPixelFormat() != ie24RGB) Bitmap->ConvertPixelFormat(ie24RGB);
  return true;
}

bool TIEAviReader::ReadJPEGFrame(Integer Index, const std::vector<Byte>& Data, TIEBitmap* Bitmap,
                                 TIECodecProgress& Progress) {
  if (Data.size() < 2 || Data[0] != 0xFF || Data[1] != 0xD8)
    return Fail(Progress, "frame " + N(Index) + " is not a JPEG picture");
  TIEMemStream Memory(Data.data(), Int64(Data.size()));
  TIOParamsVals Scratch(nullptr);
  ReadJPEGStream(&Memory, nullptr, Bitmap, Scratch, Progress, false, false, false, false, false, false, -1, false);
  if (IEAborting(Progress)) return false;
  if (Bitmap->GetPixelFormat() != ie24RGB) Bitmap->ConvertPixelFormat(ie24RGB);
  return true;
}
