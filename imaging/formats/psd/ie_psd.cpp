#include "imaging/formats/psd/ie_psd.h"

#include <algorithm>
#include <cstdint>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "imaging/core/ie_icc.h"
#include "imaging/core/ie_markers.h"
#include "imaging/core/ie_mask.h"
#include "imaging/formats/compression/ie_packbits.h"
#include "imaging/formats/compression/ie_zlib_glue.h"
#include "imaging/formats/ie_color_convert.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "platform/rtl/exceptions.h"

namespace {

constexpr Integer kHeaderSize = 26;

AnsiString Num(Int64 V) { return std::to_string(V); }

Word GetBE16(const Byte* p) { return Word(p[0] << 8 | p[1]); }
DWORD GetBE32(const Byte* p) { return DWORD(p[0]) << 24 | DWORD(p[1]) << 16 | DWORD(p[2]) << 8 | DWORD(p[3]); }

struct THeader {
  Integer Channels = 0, Depth = 0, Mode = 0;
  Int64 Width = 0, Height = 0;
};

bool ParseHeader(const Byte* h, THeader& H) {
  if (std::memcmp(h, "8BPS", 4) != 0 || GetBE16(h + 4) != 1) return false;
  H.Channels = GetBE16(h + 12);
  H.Height = GetBE32(h + 14);
  H.Width = GetBE32(h + 18);
  H.Depth = GetBE16(h + 22);
  H.Mode = GetBE16(h + 24);
  return H.Channels >= 1 && H.Channels <= 24 && H.Depth >= 1 && H.Depth <= 16 && H.Mode <= 9;
}

// The pixel format the channels of a colour mode and depth are decoded into; ieNull for the
// ones this reader does not decode.
TIEPixelFormat FormatFor(Integer Mode, Integer Depth) {
  switch (Mode) {
    case 0: return Depth == 1 ? ie1g : ieNull;
    case 1:
    case 8: return Depth == 8 ? ie8g : Depth == 16 ? ie16g : ieNull;
    case 2: return Depth == 8 ? ie8p : ieNull;
    case 3: return Depth == 8 ? ie24RGB : Depth == 16 ? ieRGB48 : ieNull;
    case 4: return Depth == 8 || Depth == 16 ? ieCMYK : ieNull;
    case 9: return Depth == 8 || Depth == 16 ? ieCIELab : ieNull;
    default: return ieNull;
  }
}

Integer ColourChannels(Integer Mode) { return Mode == 3 || Mode == 9 ? 3 : Mode == 4 ? 4 : 1; }

// A progress record of its own, for the embedded JPEG thumbnail: its failure is not the file's.
struct TOwnProgress {
  std::atomic<bool> Aborting{false};
  AnsiString Reason;
  TIECodecProgress Progress;
  TOwnProgress() {
    Progress.Aborting = &Aborting;
    Progress.FailureReason = &Reason;
  }
};

// A read past what the file holds; Where names the part of the file.
struct TShort {
  AnsiString Where;
};

class TPsdReader {
 public:
  TPsdReader(TStream* S, TIOParamsVals& P, TIECodecProgress& Progress)
      : FS(S), FP(P), FProgress(Progress), FStart(S->Position()), FEnd(S->Size()) {}

  void Run(TIEBitmap* Bitmap, bool LoadLayers, TIEPSDLayers* Layers);

 private:
  Int64 Pos() const { return FS->Position(); }
  Int64 Left() const { return std::max<Int64>(0, FEnd - Pos()); }
  void Read(void* Buffer, Int64 Count, const char* Where) {
    if (Count > Left() || !IEReadFully(FS, Buffer, Count)) throw TShort{Where};
  }
  Word U16(const char* Where) {
    Byte b[2];
    Read(b, 2, Where);
    return GetBE16(b);
  }
  DWORD U32(const char* Where) {
    Byte b[4];
    Read(b, 4, Where);
    return GetBE32(b);
  }
  Integer S32(const char* Where) { return static_cast<Integer>(static_cast<int32_t>(U32(Where))); }
  void Seek(Int64 To) { FS->SetPosition(std::min(To, FEnd)); }
  // The end of a section of Length bytes from here, refused when the file does not hold it.
  bool SectionEnd(Int64 Length, Int64 Limit, const char* What, Int64& End) {
    End = Pos() + Length;
    if (End <= Limit) return true;
    IEFail(FProgress, AnsiString("the Photoshop ") + What + " claims " + Num(Length) + " bytes, the file holds " +
                          Num(std::max<Int64>(0, Limit - Pos())));
    return false;
  }

  void ReadResources(Int64 End);
  void ApplyResource(Integer Id, const std::vector<Byte>& Data);
  bool ReadLayers(bool LoadLayers, TIEPSDLayers* Layers);
  bool ReadLayerChannels(TIEPSDLayers& Out, Integer Count);
  bool ReadMerged(TIEBitmap* Work);
  // Decodes Rows rows of RowBytes each, raw or packed, from the position up to Limit, handing
  // each to Place. Counts: the packed length of each row (packed data only).
  template <class TPlace>
  bool DecodeRows(bool Packed, const std::vector<Word>& Counts, size_t CountAt, Int64 Rows, size_t RowBytes,
                  Int64 Limit, const AnsiString& What, TPlace Place, TIERowStepper* Step);
  // Inflates Length bytes at the position into exactly Size bytes, undoing the row prediction
  // of compression 3 (rows of RowBytes at Depth bits); False with a reason when they do not
  // hold that much.
  bool Inflate(Int64 Length, size_t Size, bool Predicted, size_t RowBytes, const AnsiString& What,
               std::vector<Byte>& Out);
  void PlaceRow(TIEBitmap* B, Integer Channel, Integer Y, const Byte* Row);
  void ApplyTransparentIndex(TIEBitmap* B);
  // Through the embedded profile when UseProfile, else by plain conversion.
  void ToDisplayFormat(TIEBitmap* B, bool UseProfile);

  TStream* FS;
  TIOParamsVals& FP;
  TIECodecProgress& FProgress;
  Int64 FStart, FEnd;
  THeader FH;
  TIEPixelFormat FFormat = ieNull;
  Integer FColours = 1;
  Integer FTransparentIndex = -1;
  bool FHadICC = false;
  bool FThumbnailTaken = false;
  TIEBitmap* FBitmap = nullptr;  // the caller's, for the thumbnail
  bool FLoadLayers = false;
  std::vector<TRGB> FPalette;
};

size_t RowBytesOf(Int64 Width, Integer Depth) { return size_t((Width * Depth + 7) / 8); }

// The fewest bytes a channel of Rows x RowBytes can be coded in: packed, two bytes repeat up to
// 128, after a table of two bytes a row; raw, every byte.
// Claims past what 64 bits hold answer the largest value: no input holds them.
Int64 DensestChannel(bool Packed, Int64 Rows, size_t RowBytes) {
  const Int64 PerRow = Packed ? 2 + 2 * ((Int64(RowBytes) + 127) / 128) : Int64(RowBytes);
  Int64 Bytes = 0;
  if (Rows < 0 || PerRow < 0 || __builtin_mul_overflow(Rows, PerRow, &Bytes)) return INT64_MAX;
  return Bytes;
}

// The fewest bytes Deflate can pack a channel of Rows x RowBytes into.
Int64 DensestDeflated(Int64 Rows, size_t RowBytes) {
  const Int64 Raw = DensestChannel(false, Rows, RowBytes);
  return Raw / IEDeflateMaxRatio + (Raw % IEDeflateMaxRatio != 0);
}

template <class TPlace>
bool TPsdReader::DecodeRows(bool Packed, const std::vector<Word>& Counts, size_t CountAt, Int64 Rows,
                            size_t RowBytes, Int64 Limit, const AnsiString& What, TPlace Place, TIERowStepper* Step) {
  std::vector<Byte> row(RowBytes), packed;
  for (Int64 y = 0; y < Rows; ++y) {
    bool whole = true;
    if (!Packed) {
      whole = Pos() + Int64(RowBytes) <= Limit && IEReadFully(FS, row.data(), Int64(RowBytes));
    } else {
      const size_t n = Counts[CountAt + size_t(y)];
      packed.resize(n);
      if (Pos() + Int64(n) > Limit || !IEReadFully(FS, packed.data(), Int64(n))) {
        whole = false;
      } else {
        const TIEPackBitsResult r = IEPackBitsDecode(packed.data(), n, row.data(), RowBytes);
        if (r.Written < RowBytes) {
          std::fill(row.begin() + Int64(r.Written), row.end(), 0);
          Place(Integer(y), row.data());
          IEFail(FProgress, "row " + Num(y) + " of the Photoshop " + What + " unpacks to " + Num(Int64(r.Written)) +
                                " of its " + Num(Int64(RowBytes)) + " bytes");
          return false;
        }
      }
    }
    if (!whole) {
      IEFail(FProgress, "the Photoshop " + What + " ends after " + Num(y) + " of its " + Num(Rows) + " rows");
      return false;
    }
    Place(Integer(y), row.data());
    if (Step && !Step->Next()) return false;
  }
  return true;
}

bool TPsdReader::Inflate(Int64 Length, size_t Size, bool Predicted, size_t RowBytes, const AnsiString& What,
                         std::vector<Byte>& Out) {
  std::vector<Byte> in(static_cast<size_t>(Length));
  Read(in.data(), Length, "layer channels");
  Out.assign(Size, 0);
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw std::bad_alloc();
  z.next_in = in.data();
  z.avail_in = uInt(in.size());
  z.next_out = Out.data();
  z.avail_out = uInt(Size);
  const int result = inflate(&z, Z_FINISH);
  const size_t got = Size - z.avail_out;
  inflateEnd(&z);
  // Data that goes on past the pixels (Z_BUF_ERROR with the output full) loses nothing.
  if (got < Size || (result != Z_STREAM_END && result != Z_BUF_ERROR)) {
    IEFail(FProgress, "the Photoshop " + What + " inflates to " + Num(Int64(got)) + " of its " + Num(Int64(Size)) +
                          " bytes" + (result < 0 && result != Z_BUF_ERROR ? AnsiString(" (") + IEZlibErrorText(result) + ")" : ""));
    return false;
  }
  if (Predicted)
    for (size_t row = 0; row + RowBytes <= Size && RowBytes > 0; row += RowBytes) {
      Byte* r = Out.data() + row;
      if (FH.Depth == 16) {
        for (size_t i = 2; i + 1 < RowBytes; i += 2) {
          const Word v = Word(GetBE16(r + i) + GetBE16(r + i - 2));
          r[i] = Byte(v >> 8);
          r[i + 1] = Byte(v);
        }
      } else {
        for (size_t i = 1; i < RowBytes; ++i) r[i] = Byte(r[i] + r[i - 1]);
      }
    }
  return true;
}

void TPsdReader::PlaceRow(TIEBitmap* B, Integer Channel, Integer Y, const Byte* Row) {
  const Integer w = B->GetWidth();
  const bool wide = FH.Depth == 16;
  const TIEPixelFormat f = B->GetPixelFormat();
  const bool alpha = Channel == -1 || (Channel == FColours && f != ie1g && f != ie8p);
  if (alpha) {
    Byte* d = static_cast<Byte*>(B->GetAlphaChannel()->GetScanline(Y));
    for (Integer x = 0; x < w; ++x) d[x] = wide ? Row[2 * x] : Row[x];
    return;
  }
  if (Channel < 0 || Channel >= FColours) return;  // spot colours and masks of the user
  Byte* d = static_cast<Byte*>(B->GetScanline(Y));
  switch (f) {
    case ie1g:
      for (size_t i = 0, n = RowBytesOf(w, 1); i < n; ++i) d[i] = Byte(~Row[i]);
      break;
    case ie8g:
    case ie8p: std::memcpy(d, Row, size_t(w)); break;
    case ie16g:
      for (Integer x = 0; x < w; ++x) {
        const Word v = GetBE16(Row + 2 * x);
        std::memcpy(d + 2 * x, &v, 2);
      }
      break;
    case ie24RGB:
      for (Integer x = 0; x < w; ++x) d[3 * x + 2 - Channel] = Row[x];
      break;
    case ieRGB48:
      for (Integer x = 0; x < w; ++x) {
        const Word v = GetBE16(Row + 2 * x);
        std::memcpy(d + 6 * x + 2 * Channel, &v, 2);
      }
      break;
    case ieCMYK:
      for (Integer x = 0; x < w; ++x) d[4 * x + Channel] = wide ? Row[2 * x] : Row[x];
      break;
    case ieCIELab:
      for (Integer x = 0; x < w; ++x) {
        const Byte v = wide ? Row[2 * x] : Row[x];
        d[3 * x + Channel] = Channel == 0 ? v : Byte(v - 128);
      }
      break;
    default: break;
  }
}

void TPsdReader::ApplyTransparentIndex(TIEBitmap* B) {
  if (B->GetPixelFormat() != ie8p || FTransparentIndex < 0) return;
  TIEBitmap* a = B->GetAlphaChannel();
  for (Integer y = 0; y < B->GetHeight(); ++y) {
    const Byte* s = static_cast<const Byte*>(B->GetScanline(y));
    Byte* d = static_cast<Byte*>(a->GetScanline(y));
    for (Integer x = 0; x < B->GetWidth(); ++x) d[x] = s[x] == FTransparentIndex ? 0 : 255;
  }
  a->Full = false;
}

void TPsdReader::ToDisplayFormat(TIEBitmap* B, bool UseProfile) {
  if (B->IsEmpty() || B->GetPixelFormat() == ie1g) return;
  TIEICC* embedded = FP.EmbeddedICCProfile;
  if (UseProfile) {
    if (!embedded->IsValid()) embedded->OpenProfile();
    TIEICC* target = FP.GetSystemICCProfile();
    if (!target->IsValid()) target->OpenProfile();
    if (embedded->IsValid() && target->IsValid() && embedded->TransformBitmap(B, ie24RGB, target)) return;
  }
  B->SetPixelFormat(ie24RGB);
}

void TPsdReader::ApplyResource(Integer Id, const std::vector<Byte>& Data) {
  const Integer size = Integer(Data.size());
  switch (Id) {
    case 1005:
      if (size >= 16) {
        FP.SetDpiX(Integer(GetBE32(Data.data()) >> 16));
        FP.SetDpiY(Integer(GetBE32(Data.data() + 8) >> 16));
      }
      break;
    case 1028: FP.IptcInfo->LoadFromBuffer(Data.data(), size); break;
    case 1036: {
      if (size <= 28) break;
      TMemoryStream jpeg;
      jpeg.WriteBuffer(Data.data() + 28, size - 28);
      jpeg.SetPosition(0);
      TIOParamsVals params(nullptr);
      TOwnProgress own;
      TIEBitmap* thumb = FP.GetExifBitmap();
      ReadJPEGStream(&jpeg, nullptr, thumb, params, own.Progress, false, false, false, false, true, true, -1, false);
      // A damaged thumbnail costs the thumbnail, not the image.
      if (own.Aborting) {
        thumb->FreeImage(true);
        break;
      }
      if (FP.GetExifThumbnail && FBitmap) {
        FBitmap->Assign(thumb);
        FLoadLayers = false;
        FThumbnailTaken = true;
      }
      break;
    }
    case 1039:
      FP.GetEmbeddedICCProfile()->LoadFromBuffer(Data.data(), size);
      FHadICC = true;
      break;
    case 1047:
      if (size >= 2) FTransparentIndex = GetBE16(Data.data());
      break;
    case 1060: FP.XMP.assign(reinterpret_cast<const char*>(Data.data()), Data.size()); break;
    default: break;
  }
}

void TPsdReader::ReadResources(Int64 End) {
  // Resource names are Pascal strings padded to an even length, data padded to an even length.
  while (End - Pos() >= 12) {
    if ((Pos() - FStart) & 1) Seek(Pos() + 1);
    if (End - Pos() < 12) break;
    Byte sig[4];
    Read(sig, 4, "image resources");
    if (std::memcmp(sig, "8BIM", 4) != 0) break;
    const Integer id = U16("image resources");
    Byte nameLength;
    Read(&nameLength, 1, "image resources");
    Seek(Pos() + nameLength + ((nameLength & 1) ? 0 : 1));
    if (End - Pos() < 4) break;
    const Int64 size = U32("image resources");
    if (size > End - Pos()) break;
    std::vector<Byte> data(static_cast<size_t>(size));
    if (size > 0) Read(data.data(), size, "image resources");
    ApplyResource(id, data);
  }
}

bool TPsdReader::ReadMerged(TIEBitmap* Work) {
  const Integer compression = U16("merged image");
  if (compression > 3) {
    IEFail(FProgress, "the Photoshop merged image has compression " + Num(compression) + ", which is not supported");
    return false;
  }
  const bool packed = compression == 1, zipped = compression >= 2;
  const Int64 rows = Int64(FH.Channels) * FH.Height;
  const size_t rowBytes = RowBytesOf(FH.Width, FH.Depth);
  const Int64 densest = zipped ? DensestDeflated(rows, rowBytes)
                               : DensestChannel(packed, rows, rowBytes);
  if (!IECheckInputHolds(FProgress, "the Photoshop merged image", FH.Width, FH.Height, densest, Left())) return false;
  if (zipped) {
    std::vector<Byte> all;
    if (IEAllocateImage(FProgress, Work, FH.Width, FH.Height, FFormat) == ieNull) return false;
    if (!Inflate(Left(), size_t(rows) * rowBytes, compression == 3, rowBytes, "merged image", all)) return false;
    for (Integer c = 0; c < FH.Channels; ++c)
      for (Integer y = 0; y < FH.Height; ++y)
        PlaceRow(Work, c, y, all.data() + (size_t(c) * size_t(FH.Height) + size_t(y)) * rowBytes);
    if (FFormat == ie8p)
      for (Integer i = 0; i < 256 && i < Integer(FPalette.size()); ++i) Work->SetPaletteEntry(i, FPalette[size_t(i)]);
    ApplyTransparentIndex(Work);
    return true;
  }
  std::vector<Word> counts;
  if (packed) {
    std::vector<Byte> table(static_cast<size_t>(rows) * 2);
    Read(table.data(), Int64(table.size()), "merged image");
    counts.resize(static_cast<size_t>(rows));
    for (size_t i = 0; i < counts.size(); ++i) counts[i] = GetBE16(table.data() + 2 * i);
  }
  if (IEAllocateImage(FProgress, Work, FH.Width, FH.Height, FFormat) == ieNull) return false;
  if (FFormat == ie8p)
    for (Integer i = 0; i < 256 && i < Integer(FPalette.size()); ++i) Work->SetPaletteEntry(i, FPalette[size_t(i)]);
  TIERowStepper step(FProgress, rows);
  for (Integer c = 0; c < FH.Channels; ++c) {
    const bool ok = DecodeRows(
        packed, counts, size_t(c) * size_t(FH.Height), FH.Height, rowBytes, FEnd, "merged image",
        [&](Integer y, const Byte* row) { PlaceRow(Work, c, y, row); }, &step);
    if (!ok) return false;
  }
  ApplyTransparentIndex(Work);
  return true;
}

struct TRecord {
  Int64 Top = 0, Left = 0, Bottom = 0, Right = 0;
  struct TChannel {
    Integer Id;
    Int64 Length;
  };
  std::vector<TChannel> Channels;
  bool HasMask = false;
  Int64 MaskTop = 0, MaskLeft = 0, MaskBottom = 0, MaskRight = 0;
  TIEPSDLayer* Layer = nullptr;
  TIEPSDLayer* Mask = nullptr;
};

bool TPsdReader::ReadLayers(bool LoadLayers, TIEPSDLayers* Layers) {
  const Int64 sectionLength = U32("layer section");
  Int64 sectionEnd;
  if (!SectionEnd(sectionLength, FEnd, "layer section", sectionEnd)) return false;
  if (sectionLength == 0) return true;
  const Int64 infoLength = U32("layer section");
  Int64 infoEnd;
  if (!SectionEnd(infoLength, sectionEnd, "layer information", infoEnd)) return false;
  Integer count = 0;
  if (infoLength >= 2) count = std::abs(Integer(int16_t(U16("layer information"))));
  if (count == 0 || (count > 1 && !LoadLayers) || !Layers) {
    Seek(sectionEnd);
    return true;
  }
  // A record takes at least 34 bytes besides its channel list.
  if (Int64(count) * 34 > infoEnd - Pos()) {
    IEFail(FProgress, "the Photoshop layer information holds " + Num(infoEnd - Pos()) + " bytes, too few for " +
                          Num(count) + " layers");
    return false;
  }
  const TIEPixelFormat layerFormat = FFormat;
  std::vector<TRecord> records(static_cast<size_t>(count));
  TIEPSDLayers read;
  for (Integer i = 0; i < count; ++i) {
    TRecord& r = records[size_t(i)];
    r.Top = S32("layer records");
    r.Left = S32("layer records");
    r.Bottom = S32("layer records");
    r.Right = S32("layer records");
    if (r.Bottom < r.Top || r.Right < r.Left) {
      IEFail(FProgress, "Photoshop layer " + Num(i) + " has the rectangle (" + Num(r.Left) + ", " + Num(r.Top) +
                            ") - (" + Num(r.Right) + ", " + Num(r.Bottom) + "), whose size is negative");
      return false;
    }
    const Integer channels = U16("layer records");
    if (Int64(channels) * 6 + 16 > infoEnd - Pos()) {
      IEFail(FProgress, "Photoshop layer " + Num(i) + " lists " + Num(channels) + " channels, more than its record holds");
      return false;
    }
    for (Integer c = 0; c < channels; ++c) {
      const Integer id = int16_t(U16("layer records"));
      const Int64 length = U32("layer records");
      r.Channels.push_back({id, length});
    }
    Byte blend[12];
    Read(blend, 12, "layer records");
    auto layer = std::make_unique<TIEPSDLayer>();
    layer->PosX = Integer(r.Left);
    layer->PosY = Integer(r.Top);
    layer->Opacity = blend[8];
    layer->Clip = blend[9] != 0;
    layer->Visible = (blend[10] & 2) == 0;
    const Int64 extraLength = U32("layer records");
    Int64 extraEnd;
    if (!SectionEnd(extraLength, infoEnd, "layer record", extraEnd)) return false;
    if (extraEnd - Pos() >= 4) {
      const Int64 maskLength = U32("layer records");
      const Int64 maskEnd = Pos() + maskLength;
      if (maskEnd > extraEnd) {
        IEFail(FProgress, "the mask of Photoshop layer " + Num(i) + " runs past its record");
        return false;
      }
      if (maskLength >= 16) {
        r.MaskTop = S32("layer records");
        r.MaskLeft = S32("layer records");
        r.MaskBottom = S32("layer records");
        r.MaskRight = S32("layer records");
        r.HasMask = true;
        if (r.MaskBottom < r.MaskTop || r.MaskRight < r.MaskLeft) {
          IEFail(FProgress, "the mask of Photoshop layer " + Num(i) + " has a negative size");
          return false;
        }
      }
      Seek(maskEnd);
    }
    if (extraEnd - Pos() >= 4) {
      const Int64 blendingLength = U32("layer records");
      Seek(std::min(extraEnd, Pos() + blendingLength));
    }
    if (extraEnd - Pos() >= 1) {
      Byte nameLength;
      Read(&nameLength, 1, "layer records");
      const Int64 n = std::min<Int64>(nameLength, extraEnd - Pos());
      std::string name(static_cast<size_t>(n), '\0');
      if (n > 0) Read(name.data(), n, "layer records");
      layer->LayerName = name;
    }
    Seek(extraEnd);
    layer->Owned = std::make_unique<TIEBitmap>();
    layer->Bitmap = layer->Owned.get();
    r.Layer = layer.get();
    read.push_back(std::move(layer));
    for (const TRecord::TChannel& c : r.Channels)
      if (c.Id == -2 && r.HasMask) {
        auto mask = std::make_unique<TIEPSDLayer>();
        mask->PosX = Integer(r.MaskLeft);
        mask->PosY = Integer(r.MaskTop);
        mask->MaskLayer = true;
        mask->Visible = false;
        mask->Owned = std::make_unique<TIEBitmap>();
        mask->Bitmap = mask->Owned.get();
        r.Mask = mask.get();
        read.push_back(std::move(mask));
        break;
      }
  }
  // The channel data of every layer follows the records: what they claim must be there.
  Int64 claimed = 0;
  for (const TRecord& r : records)
    for (const TRecord::TChannel& c : r.Channels) claimed += c.Length;
  if (claimed > infoEnd - Pos()) {
    IEFail(FProgress, "the channels of the Photoshop layers claim " + Num(claimed) + " bytes, the file holds " +
                          Num(infoEnd - Pos()));
    return false;
  }
  for (Integer i = 0; i < count; ++i) {
    TRecord& r = records[size_t(i)];
    for (const TRecord::TChannel& c : r.Channels) {
      const Int64 start = Pos(), end = start + c.Length;
      const bool isMask = c.Id == -2;
      if (isMask && !r.Mask) {
        Seek(end);
        continue;
      }
      const Int64 w = isMask ? r.MaskRight - r.MaskLeft : r.Right - r.Left;
      const Int64 h = isMask ? r.MaskBottom - r.MaskTop : r.Bottom - r.Top;
      if (w == 0 || h == 0 || c.Length < 2 || (!isMask && c.Id < -1)) {
        Seek(end);
        continue;
      }
      const Integer compression = U16("layer channels");
      if (compression > 3) {
        IEFail(FProgress, "a channel of Photoshop layer " + Num(i) + " has compression " + Num(compression) +
                              ", which is not supported");
        return false;
      }
      const bool packed = compression == 1, zipped = compression >= 2;
      const Integer depth = isMask ? 8 : FH.Depth;
      const size_t rowBytes = RowBytesOf(w, depth);
      const AnsiString what = "channel " + Num(c.Id) + " of layer " + Num(i);
      const Int64 densest = zipped ? DensestDeflated(h, rowBytes)
                                   : DensestChannel(packed, h, rowBytes);
      if (!IECheckInputHolds(FProgress, "the Photoshop " + what, w, h, densest, end - Pos())) return false;
      TIEBitmap* target = isMask ? r.Mask->Bitmap : r.Layer->Bitmap;
      if (target->IsEmpty()) {
        if (IEAllocateImage(FProgress, target, w, h, isMask ? ie8g : layerFormat) == ieNull) return false;
        if (target->GetPixelFormat() == ie8p)
          for (Integer k = 0; k < 256 && k < Integer(FPalette.size()); ++k) target->SetPaletteEntry(k, FPalette[size_t(k)]);
        if (!isMask) target->Fill(0);
      }
      const Integer id = isMask ? 0 : c.Id;
      auto place = [&](Integer y, const Byte* row) {
        if (isMask) std::memcpy(target->GetScanline(y), row, size_t(w));
        else PlaceRow(target, id, y, row);
      };
      if (zipped) {
        std::vector<Byte> all;
        if (!Inflate(end - Pos(), size_t(h) * rowBytes, compression == 3, rowBytes, what, all)) return false;
        for (Integer y = 0; y < h; ++y) place(y, all.data() + size_t(y) * rowBytes);
        Seek(end);
        continue;
      }
      std::vector<Word> counts;
      if (packed) {
        std::vector<Byte> table(static_cast<size_t>(h) * 2);
        Read(table.data(), Int64(table.size()), "layer channels");
        counts.resize(static_cast<size_t>(h));
        for (size_t k = 0; k < counts.size(); ++k) counts[k] = GetBE16(table.data() + 2 * k);
      }
      const bool ok = DecodeRows(packed, counts, 0, h, rowBytes, end, what, place, nullptr);
      if (!ok) return false;
      Seek(end);
    }
    if (!r.Layer->Bitmap->IsEmpty()) ApplyTransparentIndex(r.Layer->Bitmap);
    if (FProgress.OnProgress) FProgress.OnProgress(FProgress.Sender, Integer(Int64(i) * 100 / count));
    if (IEAborting(FProgress)) return false;
  }
  Seek(sectionEnd);
  // Layers without pixels go, with their masks; so do masks without pixels, which mask nothing.
  for (size_t k = 0; k < read.size();) {
    const bool empty = read[k]->Bitmap->GetWidth() == 0 || read[k]->Bitmap->GetHeight() == 0;
    if (!empty) {
      ++k;
      continue;
    }
    const bool mask = read[k]->MaskLayer;
    read.erase(read.begin() + Int64(k));
    if (!mask && k < read.size() && read[k]->MaskLayer) read.erase(read.begin() + Int64(k));
  }
  for (auto& l : read) Layers->push_back(std::move(l));
  return true;
}

void TPsdReader::Run(TIEBitmap* Bitmap, bool LoadLayers, TIEPSDLayers* Layers) {
  FProgress.Val = 0;
  if (FProgress.OnProgress) FProgress.OnProgress(FProgress.Sender, 0);
  Byte h[kHeaderSize];
  if (Left() < kHeaderSize || !IEReadFully(FS, h, kHeaderSize)) return IEFail(FProgress, "the Photoshop file is too short for its header");
  if (!ParseHeader(h, FH)) {
    if (std::memcmp(h, "8BPS", 4) != 0 || GetBE16(h + 4) != 1)
      return IEFail(FProgress, "not a Photoshop image: the header is not one of version 1");
    return IEFail(FProgress, "Photoshop images of " + Num(FH.Channels) + " channels, colour mode " + Num(FH.Mode) +
                                 " with " + Num(FH.Depth) + " bits per channel are not supported");
  }
  FBitmap = Bitmap;
  FLoadLayers = LoadLayers;
  FP.Width = FP.OriginalWidth = Integer(std::min<Int64>(FH.Width, 0x7FFFFFFF));
  FP.Height = FP.OriginalHeight = Integer(std::min<Int64>(FH.Height, 0x7FFFFFFF));
  FP.BitsPerSample = FH.Depth;
  FP.SamplesPerPixel = FH.Channels;
  FP.SetDpiX(96);
  FP.SetDpiY(96);
  FFormat = FormatFor(FH.Mode, FH.Depth);
  FColours = ColourChannels(FH.Mode);

  const Int64 colourLength = U32("colour mode data");
  Int64 colourEnd;
  if (!SectionEnd(colourLength, FEnd, "colour mode data", colourEnd)) return;
  if (colourLength == 768) {
    Byte map[768];
    Read(map, 768, "colour mode data");
    FPalette.resize(256);
    for (Integer i = 0; i < 256; ++i) FPalette[size_t(i)] = TRGB{map[512 + i], map[256 + i], map[i]};
  }
  Seek(colourEnd);
  const Int64 resourceLength = U32("image resources");
  Int64 resourceEnd;
  if (!SectionEnd(resourceLength, FEnd, "image resources", resourceEnd)) return;
  ReadResources(resourceEnd);
  Seek(resourceEnd);
  if (FFormat == ieNull) {
    return IEFail(FProgress, "Photoshop images of colour mode " + Num(FH.Mode) + " with " + Num(FH.Depth) +
                                 " bits per channel are not supported");
  }
  const size_t before = Layers ? Layers->size() : 0;
  if (!ReadLayers(FLoadLayers, Layers)) return;
  const bool gotLayers = Layers && Layers->size() > before;

  // A framework bitmap cannot hold every format decoded here: decode aside, then hand over.
  std::unique_ptr<TIEBitmap> aside;
  TIEBitmap* work = Bitmap;
  if (Bitmap && Bitmap->Location == ieTBitmap) {
    aside = std::make_unique<TIEBitmap>();
    aside->Location = ieMemory;
    work = aside.get();
  }
  const bool merged = work && !FThumbnailTaken && !(FLoadLayers && gotLayers);
  if (merged && !ReadMerged(work)) return;
  if (!FP.NativePixelFormat) {
    // Decided once: a transform marks the profile applied, and the merged image needs it as
    // much as the layers converted before it.
    const bool useProfile = FHadICC && IEEnableCMS && FP.EmbeddedICCProfile && !FP.EmbeddedICCProfile->Applied;
    if (Layers)
      for (size_t k = before; k < Layers->size(); ++k)
        if (!(*Layers)[k]->MaskLayer) ToDisplayFormat((*Layers)[k]->Bitmap, useProfile);
    if (merged) ToDisplayFormat(work, useProfile);
  }
  if (merged && aside) Bitmap->Assign(aside.get());
}

}  // namespace

bool IsPSD(TStream* Stream) {
  try {
    const Int64 pos = Stream->Position();
    Byte h[kHeaderSize];
    const bool got = Stream->Read(h, kHeaderSize) == kHeaderSize;
    Stream->SetPosition(pos);
    THeader header;
    return got && ParseHeader(h, header);
  } catch (...) {
    return false;
  }
}

void ReadPSDStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                   bool LoadLayers, TIEPSDLayers* Layers) {
  try {
    TPsdReader reader(Stream, IOParams, Progress);
    reader.Run(Bitmap, LoadLayers, Layers);
  } catch (const TShort& e) {
    IEFail(Progress, "the Photoshop file ends in its " + e.Where);
  } catch (const std::bad_alloc&) {
    IEFail(Progress, "not enough memory to read the Photoshop image");
  } catch (const Exception& e) {
    IEFail(Progress, e.Message.empty() ? AnsiString("the Photoshop image cannot be read") : e.Message);
  }
}

// --- writing -----------------------------------------------------------------------------------

namespace {

// The file is built in memory: its sections begin with lengths known only at their ends.
class TOut {
 public:
  std::vector<Byte> B;
  size_t Size() const { return B.size(); }
  void U8(Integer V) { B.push_back(Byte(V)); }
  void U16(Integer V) {
    B.push_back(Byte(V >> 8));
    B.push_back(Byte(V));
  }
  void U32(DWORD V) {
    for (int i = 0; i < 4; ++i) B.push_back(Byte(V >> (24 - 8 * i)));
  }
  void Bytes(const void* P, size_t N) { B.insert(B.end(), static_cast<const Byte*>(P), static_cast<const Byte*>(P) + N); }
  void Text(const char* T) { Bytes(T, std::strlen(T)); }
  // A 32-bit length to be patched: its position.
  size_t Placeholder() {
    U32(0);
    return B.size() - 4;
  }
  void Patch32(size_t At, DWORD V) {
    for (int i = 0; i < 4; ++i) B[At + size_t(i)] = Byte(V >> (24 - 8 * i));
  }
  void Patch16(size_t At, Integer V) {
    B[At] = Byte(V >> 8);
    B[At + 1] = Byte(V);
  }
  // Everything written since the placeholder at At, as its length.
  void Close(size_t At) { Patch32(At, DWORD(B.size() - At - 4)); }
};

TIEPixelFormat WriteFormat(Integer Mode, Integer Depth) {
  switch (Mode) {
    case 0: return ie1g;
    case 1: return Depth == 16 ? ie16g : ie8g;
    case 2: return ie8p;
    case 3: return Depth == 16 ? ieRGB48 : ie24RGB;
    case 4: return ieCMYK;
    case 9: return ieCIELab;
    default: return ieNull;
  }
}

Integer DepthOf(TIEBitmap* B) {
  const Integer channels = B->GetChannelCount();
  return channels > 0 ? B->GetBitCount() / channels : 0;
}

// Channel -1 (alpha), -2 (the mask layer's bitmap) or a colour channel of row Y in file order.
void ChannelRow(TIEBitmap* B, Integer Channel, Integer Depth, Integer Y, std::vector<Byte>& Row) {
  const Integer w = B->GetWidth();
  const bool wide = Depth == 16;
  if (Channel == -1) {
    const Byte* a = static_cast<const Byte*>(B->GetAlphaChannel()->GetScanline(Y));
    Row.resize(size_t(w) * (wide ? 2 : 1));
    for (Integer x = 0; x < w; ++x) {
      if (wide) Row[2 * size_t(x)] = Row[2 * size_t(x) + 1] = a[x];  // v x 257
      else Row[size_t(x)] = a[x];
    }
    return;
  }
  const Byte* s = static_cast<const Byte*>(B->GetScanline(Y));
  if (Channel == -2) {
    Row.assign(s, s + w);
    return;
  }
  switch (B->GetPixelFormat()) {
    case ie1g: {
      const size_t n = RowBytesOf(w, 1);
      Row.resize(n);
      for (size_t i = 0; i < n; ++i) Row[i] = Byte(~s[i]);
      // Bits past the last pixel are paper, as the reader's inversion expects.
      if (w % 8) Row[n - 1] &= Byte(0xFF00 >> (w % 8));
      return;
    }
    case ie16g:
    case ieRGB48: {
      const Integer step = B->GetPixelFormat() == ie16g ? 1 : 3;
      Row.resize(size_t(w) * 2);
      for (Integer x = 0; x < w; ++x) {
        Word v;
        std::memcpy(&v, s + 2 * (size_t(x) * step + size_t(Channel)), 2);
        Row[2 * size_t(x)] = Byte(v >> 8);
        Row[2 * size_t(x) + 1] = Byte(v);
      }
      return;
    }
    default: {
      const Integer step = B->GetChannelCount();
      const Integer at = B->GetPixelFormat() == ie24RGB ? 2 - Channel : Channel;
      const Byte add = B->GetPixelFormat() == ieCIELab && Channel > 0 ? 128 : 0;
      Row.resize(size_t(w));
      for (Integer x = 0; x < w; ++x) Row[size_t(x)] = Byte(s[size_t(x) * step + size_t(at)] + add);
      return;
    }
  }
}

// Packed rows of the given channels of B, after one table of their row lengths.
void PackChannels(TOut& O, TIEBitmap* B, const std::vector<Integer>& Channels, Integer Depth) {
  const Integer h = B->GetHeight();
  const size_t table = O.Size();
  for (size_t i = 0; i < Channels.size() * size_t(h); ++i) O.U16(0);
  std::vector<Byte> row, packed;
  size_t entry = table;
  for (Integer c : Channels)
    for (Integer y = 0; y < h; ++y) {
      ChannelRow(B, c, Depth, y, row);
      packed.resize(IEPackBitsMaxPacked(row.size()));
      Integer n = 0;
      PackBitsRow(row.data(), Integer(row.size()), packed.data(), n);
      O.Bytes(packed.data(), size_t(n));
      O.Patch16(entry, n);
      entry += 2;
    }
}

void Resource(TOut& O, Integer Id, const void* Data, size_t Size) {
  if (O.Size() & 1) O.U8(0);
  O.Text("8BIM");
  O.U16(Id);
  O.U16(0);
  O.U32(DWORD(Size));
  O.Bytes(Data, Size);
}

bool UsesIndex(TIEBitmap* B, Byte Index) {
  for (Integer y = 0; y < B->GetHeight(); ++y) {
    const Byte* s = static_cast<const Byte*>(B->GetScanline(y));
    if (std::memchr(s, Index, size_t(B->GetWidth()))) return true;
  }
  return false;
}

void WriteResources(TOut& O, TIOParamsVals& P, TIEBitmap* Merged) {
  const size_t at = O.Placeholder();
  Byte res[16] = {};
  auto fixed = [](Byte* p, Integer Dpi) {
    const DWORD v = DWORD(std::clamp(Dpi, 0, 32767)) << 16;
    for (int i = 0; i < 4; ++i) p[i] = Byte(v >> (24 - 8 * i));
    p[5] = 1;  // pixels per inch
    p[7] = 1;  // inches
  };
  fixed(res, P.DpiX);
  fixed(res + 8, P.DpiY);
  Resource(O, 1005, res, 16);
  // Index 255 is said to be transparent only when no pixel shows it: an opaque image read back
  // would lose those pixels otherwise.
  if (Merged->GetPixelFormat() == ie8p && !UsesIndex(Merged, 255)) {
    const Byte index[2] = {0, 255};
    Resource(O, 1047, index, 2);
  }
  if (P.IptcInfo && P.IptcInfo->Count() > 0) {
    void* block = nullptr;
    Integer length = 0;
    P.IptcInfo->SaveToBuffer(block, length, false);
    if (block && length > 0) Resource(O, 1028, block, size_t(length));
    std::free(block);
  }
  if (P.EmbeddedICCProfile && P.EmbeddedICCProfile->RawLength() > 0)
    Resource(O, 1039, P.EmbeddedICCProfile->RawData(), size_t(P.EmbeddedICCProfile->RawLength()));
  if (P.ExifBitmap && !P.ExifBitmap->IsEmpty()) {
    TIEBitmap thumb;
    thumb.Location = ieMemory;
    thumb.Assign(P.ExifBitmap);
    thumb.SetPixelFormat(ie24RGB);
    TMemoryStream jpeg;
    TIOParamsVals params(nullptr);
    TOwnProgress own;
    WriteJPEGStream(&jpeg, &thumb, params, own.Progress);
    if (!own.Aborting && jpeg.Size() > 0) {
      TOut t;
      const DWORD w = DWORD(thumb.GetWidth()), h = DWORD(thumb.GetHeight());
      t.U32(1);
      t.U32(w);
      t.U32(h);
      t.U32(w * 3);
      t.U32(w * h * 3);
      t.U32(DWORD(jpeg.Size()));
      t.U16(24);
      t.U16(1);
      const size_t head = t.Size();
      t.B.resize(head + size_t(jpeg.Size()));
      jpeg.SetPosition(0);
      jpeg.ReadBuffer(t.B.data() + head, jpeg.Size());
      Resource(O, 1036, t.B.data(), t.Size());
    }
  }
  if (!P.XMP.empty()) Resource(O, 1060, P.XMP.data(), P.XMP.size());
  if (O.Size() & 1) O.U8(0);
  O.Close(at);
}

void WriteLayerSection(TOut& O, TIEBitmap* Merged, TIEPSDLayers& Given, Integer Depth, TIECodecProgress& Progress) {
  const size_t sectionAt = O.Placeholder();
  const size_t infoAt = O.Placeholder();
  // Without layers, one layer shows the merged image.
  TIEPSDLayers stand;
  TIEPSDLayers& layers = Given.empty() ? stand : Given;
  if (Given.empty()) {
    stand.push_back(std::make_unique<TIEPSDLayer>());
    stand.back()->Bitmap = Merged;
  }
  Integer count = 0;
  for (auto& l : layers) count += l->MaskLayer ? 0 : 1;
  O.U16(count);
  struct TPlan {
    TIEPSDLayer* Layer;
    TIEPSDLayer* Mask;
    std::vector<Integer> Channels;
    std::vector<size_t> LengthAt;
  };
  std::vector<TPlan> plans;
  for (size_t i = 0; i < layers.size(); ++i) {
    TIEPSDLayer* l = layers[i].get();
    if (l->MaskLayer) continue;
    TPlan plan{l, nullptr, {}, {}};
    if (i + 1 < layers.size() && layers[i + 1]->MaskLayer) plan.Mask = layers[i + 1].get();
    TIEBitmap* b = l->Bitmap;
    // 1-bit layers have no room for an alpha of bytes.
    if (b->HasAlphaChannel() && Depth != 1) plan.Channels.push_back(-1);
    for (Integer c = 0; c < b->GetChannelCount(); ++c) plan.Channels.push_back(c);
    if (plan.Mask) plan.Channels.push_back(-2);
    const Integer top = l->PosY, left = l->PosX;
    O.U32(DWORD(top));
    O.U32(DWORD(left));
    O.U32(DWORD(top + b->GetHeight()));
    O.U32(DWORD(left + b->GetWidth()));
    O.U16(Integer(plan.Channels.size()));
    for (Integer c : plan.Channels) {
      O.U16(c & 0xFFFF);
      plan.LengthAt.push_back(O.Placeholder());
    }
    O.Text("8BIMnorm");
    O.U8(std::clamp(l->Opacity, 0, 255));
    O.U8(0);
    O.U8(l->Visible ? 0 : 2);
    O.U8(0);
    const size_t extraAt = O.Placeholder();
    if (plan.Mask) {
      TIEBitmap* m = plan.Mask->Bitmap;
      O.U32(20);
      O.U32(DWORD(plan.Mask->PosY));
      O.U32(DWORD(plan.Mask->PosX));
      O.U32(DWORD(plan.Mask->PosY + m->GetHeight()));
      O.U32(DWORD(plan.Mask->PosX + m->GetWidth()));
      O.U8(0);
      O.U8(0);
      O.U16(0);
    } else {
      O.U32(0);
    }
    O.U32(0);  // blending ranges
    // A name is a length byte and at most 255 characters.
    const size_t nameLength = std::min<size_t>(l->LayerName.size(), 255);
    O.U8(Integer(nameLength));
    O.Bytes(l->LayerName.data(), nameLength);
    while ((O.Size() - extraAt - 4) % 4) O.U8(1);
    O.Close(extraAt);
    plans.push_back(std::move(plan));
  }
  for (size_t i = 0; i < plans.size(); ++i) {
    TPlan& plan = plans[i];
    for (size_t k = 0; k < plan.Channels.size(); ++k) {
      const size_t start = O.Size();
      O.U16(1);
      const Integer c = plan.Channels[k];
      TIEBitmap* b = c == -2 ? plan.Mask->Bitmap : plan.Layer->Bitmap;
      PackChannels(O, b, {c}, c == -2 ? 8 : Depth);
      O.Patch32(plan.LengthAt[k], DWORD(O.Size() - start));
    }
    if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, Integer(Int64(i) * 100 / Int64(plans.size())));
  }
  // The layer information keeps an even length.
  if ((O.Size() - infoAt - 4) & 1) O.U8(0);
  O.Close(infoAt);
  O.U32(0);  // global layer mask information
  O.Close(sectionAt);
}

}  // namespace

Integer IEPSDColorMode(TIEPixelFormat Format) {
  switch (Format) {
    case ie1g: return 0;
    case ie8p: return 2;
    case ie8g:
    case ie16g: return 1;
    case ie24RGB:
    case ieRGB48:
    case ie32RGB: return 3;
    case ieCMYK: return 4;
    case ieCIELab: return 9;
    default: return -1;
  }
}

void PSDUnifyLayers(TIEBitmap* MergedBitmap, TIEPSDLayers& Layers) {
  TIEBitmap* model = MergedBitmap;
  if ((!model || IEPSDColorMode(model->GetPixelFormat()) < 0) && !Layers.empty()) model = Layers.front()->Bitmap;
  if (!model) return;
  const Integer mode = IEPSDColorMode(model->GetPixelFormat());
  if (mode < 0) return;
  const TIEPixelFormat target = WriteFormat(mode, DepthOf(model) == 16 ? 16 : 8);
  for (auto& l : Layers) {
    if (l->MaskLayer) {
      if (l->Bitmap->GetPixelFormat() != ie8g) l->Bitmap->SetPixelFormat(ie8g);
      continue;
    }
    l->Bitmap->SetPixelFormat(target);
    l->Bitmap->GetAlphaChannel();
  }
}

void WritePSDStream(TStream* Stream, TIOParamsVals& IOParams, TIECodecProgress& Progress, TIEBitmap* MergedBitmap,
                    TIEPSDLayers& Layers) {
  if (!MergedBitmap || IEPSDColorMode(MergedBitmap->GetPixelFormat()) < 0)
    return IEFail(Progress, "images of this pixel format cannot be saved as Photoshop files");
  if (MergedBitmap->IsEmpty()) return IEFail(Progress, "an empty image cannot be saved as a Photoshop file");
  PSDUnifyLayers(MergedBitmap, Layers);
  // Pixels of ie32RGB are blue first: written as ie24RGB they keep red in the red channel.
  std::unique_ptr<TIEBitmap> copy;
  TIEBitmap* merged = MergedBitmap;
  if (merged->GetPixelFormat() == ie32RGB) {
    copy = std::make_unique<TIEBitmap>();
    copy->Location = ieMemory;
    copy->Assign(MergedBitmap);
    copy->SetPixelFormat(ie24RGB);
    merged = copy.get();
  }
  const Integer mode = IEPSDColorMode(merged->GetPixelFormat()), depth = DepthOf(merged);
  const Integer channels = merged->GetChannelCount();
  TOut o;
  o.Text("8BPS");
  o.U16(1);
  for (int i = 0; i < 6; ++i) o.U8(0);
  o.U16(channels);
  o.U32(DWORD(merged->GetHeight()));
  o.U32(DWORD(merged->GetWidth()));
  o.U16(depth);
  o.U16(mode);
  if (merged->GetPixelFormat() == ie8p) {
    o.U32(768);
    for (Integer part = 0; part < 3; ++part)
      for (Integer i = 0; i < 256; ++i) {
        const TRGB c = merged->GetPaletteEntry(i);
        o.U8(part == 0 ? c.r : part == 1 ? c.g : c.b);
      }
  } else {
    o.U32(0);
  }
  WriteResources(o, IOParams, merged);
  WriteLayerSection(o, merged, Layers, depth, Progress);
  o.U16(1);
  std::vector<Integer> colour;
  for (Integer c = 0; c < channels; ++c) colour.push_back(c);
  PackChannels(o, merged, colour, depth);

  bool aborting = IEAborting(Progress);
  for (size_t at = 0; at < o.Size() && !aborting; at += size_t(1) << 30)
    IESafeStreamWrite(Stream, aborting, o.B.data() + at, Integer(std::min(o.Size() - at, size_t(1) << 30)));
  if (aborting && !IEAborting(Progress)) IEFail(Progress, "the Photoshop file could not be written completely (disk full?)");
}
