// The raw image record: a bitmap, uncompressed, with its render settings and alpha channel, in
// one little-endian record that begins with "TIEBITMAPRAW". Layer files and undo storage keep
// bitmaps this way, so the layout is fixed byte for byte.
#include <cstring>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_limits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_pixel_format.h"
#include "platform/rtl/streams.h"

namespace {

constexpr char kSignature[12] = {'T', 'I', 'E', 'B', 'I', 'T', 'M', 'A', 'P', 'R', 'A', 'W'};
// Signature, version, palette length (palette entries follow it).
constexpr Int64 kLeadSize = 12 + 4 + 4;
// Width through bit alignment.
constexpr Int64 kSettingsSize = 4 + 4 + 1 + 1 + 4 + 8 + 8 + 16 + 1 + 4 + 4;
// Alignments a record may carry; anything else is not a record this system wrote.
bool ValidAlignment(Integer Bits) { return Bits >= 8 && Bits <= 4096 && Bits % 8 == 0; }

class TRecordWriter {
 public:
  TRecordWriter(void* Buffer, TStream* Stream) : FOut(static_cast<Byte*>(Buffer)), FStream(Stream) {}
  void Put(const void* Data, Int64 Count) {
    if (FOut) {
      std::memcpy(FOut, Data, static_cast<size_t>(Count));
      FOut += Count;
    } else {
      FStream->WriteBuffer(Data, Count);
    }
  }
  template <class T>
  void Value(T v) {
    Put(&v, sizeof v);
  }

 private:
  Byte* FOut;
  TStream* FStream;
};

// Reads from the caller's memory or from a stream; a stream that ends early makes Get false.
class TRecordReader {
 public:
  TRecordReader(const void* Buffer, TStream* Stream) : FIn(static_cast<const Byte*>(Buffer)), FStream(Stream) {}
  bool Get(void* Data, Int64 Count) {
    if (FIn) {
      std::memcpy(Data, FIn, static_cast<size_t>(Count));
      FIn += Count;
      return true;
    }
    Byte* p = static_cast<Byte*>(Data);
    while (Count > 0) {
      Integer chunk = static_cast<Integer>(std::min<Int64>(Count, 1 << 30));
      Integer n = FStream->Read(p, chunk);
      if (n <= 0) return false;
      p += n;
      Count -= n;
    }
    return true;
  }
  template <class T>
  bool Value(T& v) {
    return Get(&v, sizeof v);
  }
  // Bytes left in a stream; unknown (-1) for memory.
  Int64 Remaining() const { return FIn ? -1 : FStream->Size() - FStream->Position(); }
  bool Skip(Int64 Count) {
    if (FIn) {
      FIn += Count;
      return true;
    }
    if (Remaining() < Count) return false;
    FStream->Seek(Count, soCurrent);
    return true;
  }
  // The byte Offset bytes ahead, without moving; false when the stream does not reach it.
  bool Peek(Int64 Offset, Byte& Value) {
    if (FIn) {
      Value = FIn[Offset];
      return true;
    }
    if (Remaining() < Offset + 1) return false;
    Int64 pos = FStream->Position();
    FStream->Seek(Offset, soCurrent);
    bool ok = FStream->Read(&Value, 1) == 1;
    FStream->SetPosition(pos);
    return ok;
  }

 private:
  const Byte* FIn;
  TStream* FStream;
};

struct TRawSettings {
  Integer Width = 0, Height = 0;
  Byte PixelFormat = 0, Full = 0;
  Integer PaletteColors = 256;
  double BlackLevel = 0, WhiteLevel = 0;
  Integer ChannelOffsets[4] = {0, 0, 0, 0};
  Byte UseChannelOffsets = 0;
  Integer Contrast = 0, BitAlignment = 32;
};

}  // namespace

Int64 TIEBitmap::RawRecordSize() {
  const Integer rowLen = GetRowLen(), height = GetHeight();
  Int64 size = kLeadSize + Int64(PaletteLength > 0 ? PaletteLength : 0) * 3 + kSettingsSize + Int64(rowLen) * height + 1;
  if (AlphaChannel) size += Int64(AlphaChannel->RowLen) * AlphaChannel->Height + 1;
  return size;
}

void TIEBitmap::SaveRawToStream(void* Buffer, TStream* Stream) {
  if (!Buffer && !Stream) return;
  TRecordWriter out(Buffer, Stream);
  const Integer width = GetWidth(), height = GetHeight(), rowLen = GetRowLen();
  const Integer paletteLength = Palette ? PaletteLength : 0;
  out.Put(kSignature, 12);
  out.Value<Integer>(0);
  out.Value<Integer>(paletteLength);
  if (paletteLength > 0) out.Put(Palette.get(), Int64(paletteLength) * 3);
  out.Value<Integer>(width);
  out.Value<Integer>(height);
  out.Value<Byte>(PixelFormat);
  out.Value<Byte>(Full ? 1 : 0);
  out.Value<Integer>(PaletteColors);
  out.Value<double>(BlackLevel);
  out.Value<double>(WhiteLevel);
  for (Integer v : ChannelOffsets) out.Value<Integer>(v);
  out.Value<Byte>(UseChannelOffsets ? 1 : 0);
  out.Value<Integer>(Contrast);
  out.Value<Integer>(BitAlignment);

  const Int64 rowBytes = Int64(rowLen) * height;
  if (!Buffer) {
    // Grow a memory stream once instead of once per row.
    try {
      Int64 wanted = Stream->Size() + rowBytes;
      if (wanted < IEGetMemory(true)) Stream->SetSize(wanted);
    } catch (const Exception&) {
    }
  }
  TIEDataAccess saved = Access;
  Access = iedRead;
  for (Integer r = 0; r < height; ++r) out.Put(GetScanline(r), rowLen);
  UnmapAllRows();
  Access = saved;

  out.Value<Byte>(AlphaChannel ? 1 : 0);
  if (AlphaChannel) {
    TIEBitmap* alpha = AlphaChannel.get();
    if (!Buffer) Stream->SetSize(Stream->Size() + Int64(alpha->RowLen) * alpha->Height);
    TIEDataAccess alphaSaved = alpha->Access;
    alpha->Access = iedRead;
    for (Integer r = 0; r < alpha->Height; ++r) out.Put(alpha->GetScanline(r), alpha->RowLen);
    alpha->UnmapAllRows();
    alpha->Access = alphaSaved;
    out.Value<Byte>(alpha->Full ? 1 : 0);
  }
}

bool TIEBitmap::LoadRawFromStream(void* Buffer, TStream* Stream) {
  if (!Buffer && !Stream) return false;
  const Int64 start = Buffer ? 0 : Stream->Position();
  TRecordReader in(Buffer, Stream);

  // Everything the record says is checked before the bitmap is touched: a foreign, damaged or
  // truncated record leaves it as it was.
  char signature[12];
  if (!in.Get(signature, 12) || std::memcmp(signature, kSignature, 12) != 0) return false;
  Integer version = 0, paletteLength = 0;
  if (!in.Value(version) || version < 0) return false;
  if (!in.Value(paletteLength) || paletteLength < 0 || paletteLength > 256) return false;
  TRGB palette[256] = {};
  if (paletteLength > 0 && !in.Get(palette, Int64(paletteLength) * 3)) return false;
  TRawSettings s;
  bool ok = in.Value(s.Width) && in.Value(s.Height) && in.Value(s.PixelFormat) && in.Value(s.Full) &&
            in.Value(s.PaletteColors) && in.Value(s.BlackLevel) && in.Value(s.WhiteLevel);
  for (Integer& v : s.ChannelOffsets) ok = ok && in.Value(v);
  ok = ok && in.Value(s.UseChannelOffsets) && in.Value(s.Contrast) && in.Value(s.BitAlignment);
  if (!ok || !IEIsValidPixelFormat(s.PixelFormat) || s.Width < 0 || s.Height < 0 || !ValidAlignment(s.BitAlignment))
    return false;
  const TIEPixelFormat format = static_cast<TIEPixelFormat>(s.PixelFormat);
  const bool hasImage = s.Width > 0 && s.Height > 0 && format != ieNull;
  // A record read from a bare buffer has no known end: its size claims pass the library's gate
  // before anything is allocated for them.
  if (hasImage && !IEImageSizeRefusal(s.Width, s.Height, IEPixelFormatBits[format]).empty()) return false;
  const Int64 recRowLen = hasImage ? IEBitmapRowLen(s.Width, IEPixelFormatBits[format], s.BitAlignment) : 0;
  if (recRowLen > 0x7FFFFFFF) return false;
  const Int64 rowBytes = recRowLen * (hasImage ? s.Height : 0);
  if (in.Remaining() >= 0 && in.Remaining() < rowBytes + 1) return false;
  Byte hasAlpha = 0;
  if (!in.Peek(rowBytes, hasAlpha)) return false;
  const Int64 alphaRowLen = IEBitmapRowLen(s.Width, 8, 32);
  const Int64 alphaBytes = hasAlpha ? alphaRowLen * s.Height : 0;
  if (hasAlpha && in.Remaining() >= 0 && in.Remaining() < rowBytes + 1 + alphaBytes + 1) return false;

  // A framework bitmap cannot take every format: read into memory and let Assign convert.
  if (Location == ieTBitmap) {
    TIEBitmap temp;
    temp.Location = ieMemory;
    // The checks above have read the header: the copy reads the record from its start again.
    if (!Buffer) Stream->SetPosition(start);
    bool loaded = temp.LoadRawFromStream(Buffer, Stream);
    if (loaded) {
      Assign(&temp);
      Full = temp.Full;
      PaletteColors = temp.PaletteColors;
      BlackLevel = temp.BlackLevel;
      WhiteLevel = temp.WhiteLevel;
      std::memcpy(ChannelOffsets, temp.ChannelOffsets, sizeof ChannelOffsets);
      UseChannelOffsets = temp.UseChannelOffsets;
      Contrast = temp.Contrast;
    }
    return loaded;
  }

  SetBitAlignment(s.BitAlignment);
  if (hasImage) {
    if (!Allocate(s.Width, s.Height, format)) return false;
  } else {
    FreeImage(true);
    PixelFormat = format;
  }
  Full = s.Full != 0;
  PaletteColors = s.PaletteColors;
  BlackLevel = s.BlackLevel;
  WhiteLevel = s.WhiteLevel;
  std::memcpy(ChannelOffsets, s.ChannelOffsets, sizeof ChannelOffsets);
  UseChannelOffsets = s.UseChannelOffsets != 0;
  Contrast = s.Contrast;
  if (Palette) std::memcpy(Palette.get(), palette, sizeof(TRGB) * static_cast<size_t>(IEMin(paletteLength, PaletteLength)));

  // Rows of the record's length; this bitmap's rows may be laid out with another length.
  std::vector<Byte> row;
  TIEDataAccess saved = Access;
  Access = iedWrite;
  for (Integer r = 0; r < (hasImage ? s.Height : 0) && ok; ++r) {
    Byte* d = static_cast<Byte*>(GetScanline(r));
    if (d && recRowLen == RowLen) {
      ok = in.Get(d, recRowLen);
    } else {
      row.resize(static_cast<size_t>(recRowLen));
      ok = in.Get(row.data(), recRowLen);
      if (ok && d) std::memcpy(d, row.data(), static_cast<size_t>(IEMin(RowLen, static_cast<Integer>(recRowLen))));
    }
  }
  UnmapAllRows();
  Access = saved;
  if (!ok || !in.Value(hasAlpha)) return false;

  if (hasAlpha) {
    TIEBitmap* alpha = hasImage ? GetAlphaChannel() : nullptr;
    if (!alpha || alpha->IsEmpty()) {
      ok = in.Skip(alphaBytes + 1);
    } else {
      alpha->Access = iedWrite;
      row.resize(static_cast<size_t>(alphaRowLen));
      for (Integer r = 0; r < s.Height && ok; ++r) {
        ok = in.Get(row.data(), alphaRowLen);
        Byte* d = static_cast<Byte*>(alpha->GetScanline(r));
        if (ok && d) std::memcpy(d, row.data(), static_cast<size_t>(IEMin(alpha->RowLen, static_cast<Integer>(alphaRowLen))));
      }
      alpha->UnmapAllRows();
      alpha->Access = iedRead | iedWrite;
      Byte full = 0;
      ok = ok && in.Value(full);
      alpha->Full = full != 0;
    }
  }
  return ok;
}
