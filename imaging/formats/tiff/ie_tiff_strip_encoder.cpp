#include "imaging/formats/tiff/ie_tiff_strip_encoder.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <memory>
#include <vector>

#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/core/ie_streams.h"
#include "imaging/formats/compression/ie_ccitt.h"
#include "imaging/formats/compression/ie_deflate_streams.h"
#include "imaging/formats/compression/ie_packbits.h"
#include "imaging/formats/ie_color_convert.h"
#include "imaging/formats/ie_le_bytes.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "platform/rtl/exceptions.h"

namespace {

constexpr Int64 kStripBitmapBytes = 524288;

// The kinds whose pixels are one sample.
bool OneSample(Byte Kind) { return Kind == tpkWhiteIsZero || Kind == tpkBlackIsZero || Kind == tpkPalette || Kind == 4; }

// Bits low bits of each value, most significant first.
void PackBits(const std::vector<Integer>& Values, Integer Bits, Byte* Out, size_t OutBytes) {
  std::memset(Out, 0, OutBytes);
  size_t bit = 0;
  const Integer mask = (1 << Bits) - 1;
  for (Integer v : Values) {
    const Integer val = v & mask;
    for (Integer b = Bits - 1; b >= 0; --b, ++bit)
      if (val >> b & 1) Out[bit >> 3] |= Byte(0x80 >> (bit & 7));
  }
}

Integer ClampIndex(Integer I, Integer Max) { return I < 0 ? 0 : I > Max ? Max : I; }

// The zlib level for the page's Deflate setting; an unknown setting gets the default level
// rather than no compressed data at all.
TZCompressionLevel DeflateLevel(Integer Setting) {
  switch (Setting) {
    case 0: return zcFastest;
    case 2: return zcMax;
    default: return zcDefault;
  }
}

// The fresh parameters a JPEG strip is written with.
void JpegParams(TIOParamsVals& P, const TTIFFWriteVars& Vars) {
  P.JpegQuality = Vars.JpegQuality;
  P.JpegColorSpace = Vars.JpegColorSpace;
  if (Vars.IOParams) {
    P.SetDpiX(Vars.IOParams->DpiX);
    P.SetDpiY(Vars.IOParams->DpiY);
  }
}

}  // namespace

bool TIFFHasTranslucentAlpha(TIEBitmap* Bitmap) {
  if (!Bitmap->HasAlphaChannel()) return false;
  TIEBitmap* a = Bitmap->GetAlphaChannel();
  for (Integer y = 0; y < a->GetHeight(); ++y) {
    const Byte* r = static_cast<const Byte*>(a->GetScanline(y));
    for (Integer x = 0; x < a->GetWidth(); ++x)
      if (r[x] != 255) return true;
  }
  return false;
}

Integer TIFFStripSamples(TIEBitmap* Bitmap, const TTIFFWriteVars& Vars) {
  const TIEPixelFormat f = Bitmap->GetPixelFormat();
  if (f == ie1g || OneSample(Vars.Kind)) return 1;
  if (f == ieCMYK || Vars.Kind == tpkCMYK) return 4;
  return Vars.Alpha ? 4 : 3;
}

Integer TIFFRowsPerStrip(Integer Height, Int64 RowBytes) {
  if (Height <= 0) return 1;
  Int64 n = Int64(Height) * RowBytes / kStripBitmapBytes;
  if (n < 1) n = 1;
  const Int64 rows = Height / n;
  // A row longer than a strip's budget still makes a strip of one row.
  return rows < 1 ? 1 : static_cast<Integer>(rows);
}

void TIFFApplyPredictor(Byte* Row, Integer Pixels, Integer Samples, Integer Bits) {
  if (Bits == 16) {
    // From the right, so each difference is taken against the original value on its left.
    for (Integer i = Pixels * Samples - 1; i >= Samples; --i) {
      const Word cur = IEGetLE16(Row + 2 * i), prev = IEGetLE16(Row + 2 * (i - Samples));
      IEPutLE16(Row + 2 * i, Word(cur - prev));
    }
  } else {
    for (Integer i = Pixels * Samples - 1; i >= Samples; --i) Row[i] = Byte(Row[i] - Row[i - Samples]);
  }
}

bool TIFFCCITTEncodeRow(const Byte* Row, Integer Width, TStream* Stream, TTIFFWriteVars& Vars,
                        TIECodecProgress& Progress, bool& Aborting) {
  const Integer fill = Vars.FillOrder == 2 ? 2 : 1;
  switch (Vars.Compression) {
    case 2:
      IECCITTEncodeMHRow(Row, Width, Stream, Aborting, fill);
      break;
    case 3:
      if (Vars.TwoDimensional)
        IECCITTEncodeG3Row(Row, Width, Stream, Vars.CCITTPendingByte, Vars.CCITTPendingBits, Vars.CCITTRefRow,
                           Aborting, fill);
      else
        IECCITTEncode1DRow(Row, Width, Stream, Vars.CCITTPendingByte, Vars.CCITTPendingBits, Aborting, fill);
      break;
    case 4:
      IECCITTEncodeG4Row(Row, Width, Stream, Vars.CCITTPendingByte, Vars.CCITTPendingBits, Vars.CCITTRefRow,
                         Aborting, fill);
      break;
    default:
      Aborting = true;
      IEFail(Progress, "TIFF compression " + std::to_string(Vars.Compression) + " is not a fax coding");
      return false;
  }
  if (Aborting) {
    IEFail(Progress, "the fax coded TIFF strip could not be written");
    return false;
  }
  return true;
}

namespace {

// Builds one strip row of the page's layout into Out (which has the row's size).
class TRowBuilder {
 public:
  TRowBuilder(TIEBitmap* Bitmap, TTIFFWriteVars& Vars, Integer Samples)
      : FBitmap(Bitmap), FVars(Vars), FSamples(Samples), FWidth(Bitmap->GetWidth()) {
    const TIEPixelFormat f = Bitmap->GetPixelFormat();
    Int64 bits;
    if (f == ie1g) bits = 1;
    else if (f == ieRGB48 || (f == ie16g && Vars.BitsPerSample == 16)) bits = 16 * Int64(Samples);
    else if (OneSample(Vars.Kind)) bits = Vars.BitsPerSample;
    else bits = 8 * Int64(Samples);
    FRowBytes = static_cast<size_t>((Int64(FWidth) * bits + 7) / 8);
  }
  size_t RowBytes() const { return FRowBytes; }

  void Build(Integer Y, Byte* Out) {
    const Byte* row = static_cast<const Byte*>(FBitmap->GetScanline(Y));
    const TIEPixelFormat f = FBitmap->GetPixelFormat();
    switch (f) {
      case ie1g:
        std::memcpy(Out, row, FRowBytes);
        if (FVars.Kind == tpkWhiteIsZero)
          for (size_t i = 0; i < FRowBytes; ++i) Out[i] = Byte(~Out[i]);
        return;
      case ie8g: BuildGrey(row, Out, false); return;
      case ie16g: BuildGrey(row, Out, true); return;
      case ieCMYK:
        for (size_t i = 0; i < FRowBytes; ++i) Out[i] = Byte(~row[i]);
        return;
      case ieRGB48: {
        const Word* s = reinterpret_cast<const Word*>(row);
        for (Integer i = 0; i < FWidth * 3; ++i) IEPutLE16(Out + 2 * i, s[i]);
        if (FVars.Predictor == 2) TIFFApplyPredictor(Out, FWidth, 3, 16);
        return;
      }
      default: break;  // ie24RGB
    }
    const TRGB* px = reinterpret_cast<const TRGB*>(row);
    switch (FVars.Kind) {
      case tpkCMYK:
        IEConvertColorFunction(const_cast<Byte*>(row), iecBGR, Out, iecCMYK, FWidth, FVars.IOParams);
        for (size_t i = 0; i < FRowBytes; ++i) Out[i] = Byte(~Out[i]);
        return;
      case tpkCIELab:
        IEConvertColorFunction(const_cast<Byte*>(row), iecBGR, Out, iecCIELab, FWidth, FVars.IOParams);
        return;
      case tpkBlackIsZero:
      case tpkPalette: {
        const Integer maxIndex = (1 << (FVars.BitsPerSample > 8 ? 8 : FVars.BitsPerSample)) - 1;
        if (FVars.BitsPerSample == 8 || FVars.BitsPerSample == 16) {
          for (Integer x = 0; x < FWidth; ++x) {
            const Integer i = FVars.Quantizer ? ClampIndex(FVars.Quantizer->RGBIndex(px[x]), maxIndex) : px[x].g;
            if (FVars.BitsPerSample == 8) Out[x] = Byte(i);
            else IEPutLE16(Out + 2 * x, Word(i * 257));
          }
        } else {
          FValues.resize(static_cast<size_t>(FWidth));
          for (Integer x = 0; x < FWidth; ++x)
            FValues[x] = FVars.Quantizer ? ClampIndex(FVars.Quantizer->RGBIndex(px[x]), maxIndex) : px[x].g;
          PackBits(FValues, FVars.BitsPerSample, Out, FRowBytes);
        }
        return;
      }
      default: break;
    }
    Byte* o = Out;
    const Byte* alpha =
        FVars.Alpha ? static_cast<const Byte*>(FBitmap->GetAlphaChannel()->GetScanline(Y)) : nullptr;
    if (!alpha) {
      IECopySwapRB(row, Out, FWidth);
      if (FVars.Predictor == 2) TIFFApplyPredictor(Out, FWidth, FSamples, 8);
      return;
    }
    for (Integer x = 0; x < FWidth; ++x) {
      *o++ = px[x].r;
      *o++ = px[x].g;
      *o++ = px[x].b;
      if (alpha) *o++ = alpha[x];
    }
    if (FVars.Predictor == 2) TIFFApplyPredictor(Out, FWidth, FSamples, 8);
  }

 private:
  void BuildGrey(const Byte* Row, Byte* Out, bool Wide) {
    const Integer bits = FVars.BitsPerSample;
    auto value8 = [&](Integer x) -> Integer {
      return Wide ? reinterpret_cast<const Word*>(Row)[x] >> 8 : Row[x];
    };
    if (Wide && bits == 16) {
      for (Integer x = 0; x < FWidth; ++x) IEPutLE16(Out + 2 * x, reinterpret_cast<const Word*>(Row)[x]);
      if (FVars.Predictor == 2) TIFFApplyPredictor(Out, FWidth, 1, 16);
    } else if (bits == 16) {
      for (Integer x = 0; x < FWidth; ++x) IEPutLE16(Out + 2 * x, Word(Row[x] * 257));
      if (FVars.Predictor == 2) TIFFApplyPredictor(Out, FWidth, 1, 16);
    } else if (bits >= 8) {
      for (Integer x = 0; x < FWidth; ++x) Out[x] = Byte(value8(x));
      if (FVars.Predictor == 2) TIFFApplyPredictor(Out, FWidth, 1, 8);
    } else {
      // Fewer grey levels keep the top bits: the darkest stays black and the lightest white.
      FValues.resize(static_cast<size_t>(FWidth));
      for (Integer x = 0; x < FWidth; ++x) FValues[x] = value8(x) >> (8 - bits);
      PackBits(FValues, bits, Out, FRowBytes);
    }
  }

  TIEBitmap* FBitmap;
  TTIFFWriteVars& FVars;
  Integer FSamples;
  Integer FWidth;
  size_t FRowBytes = 0;
  std::vector<Integer> FValues;
};

void WriteJPEGStrip(TStream* Stream, TIEBitmap* Bitmap, TTIFFWriteVars& Vars, TIECodecProgress& Progress) {
  TIOParamsVals p(nullptr);
  JpegParams(p, Vars);
  WriteJPEGStream(Stream, Bitmap, p, Progress);
}

void AddStripTags(TTIFFTagList& Tags, Integer RowsPerStrip, const std::vector<DWORD>& Offsets,
                  const std::vector<DWORD>& Counts) {
  Tags.AddLong(278, static_cast<DWORD>(RowsPerStrip));
  if (Offsets.size() == 1) {
    Tags.AddLong(273, Offsets[0]);
    Tags.AddLong(279, Counts[0]);
  } else {
    Tags.AddLongArray(273, Offsets);
    Tags.AddLongArray(279, Counts);
  }
}

}  // namespace

namespace {

// A strip's coded bytes gather here and reach the file in one write: the coders emit a few
// hundred bytes at a time, and a system call for each cost more than the coding.
class TStripSink : public TStream {
 public:
  Integer Read(void*, Integer) override { return 0; }
  Integer Write(const void* Buffer, Integer Count) override {
    if (Count <= 0) return 0;
    const Byte* b = static_cast<const Byte*>(Buffer);
    Data.insert(Data.end(), b, b + Count);
    return Count;
  }
  Int64 Seek(Int64, TSeekOrigin) override { return Int64(Data.size()); }
  Int64 Size() override { return Int64(Data.size()); }
  std::vector<Byte> Data;
};

constexpr size_t kDeflateStripBytes = 8192;
// Strips smaller than this reach the stream together, this many bytes at a time: a page of
// 8 KB Deflate strips would otherwise cost thousands of system calls.
constexpr size_t kGatherBytes = size_t(256) << 10;

// Writes Count bytes in pieces an Integer can count.
void WriteAll(TStream* Stream, bool& Aborting, const Byte* Data, size_t Count) {
  while (Count > 0 && !Aborting) {
    const Integer n = static_cast<Integer>(Count > (1u << 30) ? (1u << 30) : Count);
    IESafeStreamWrite(Stream, Aborting, Data, n);
    Data += n;
    Count -= size_t(n);
  }
}

}  // namespace

void TIFFWriteStrips(TStream* Stream, TIEBitmap* Bitmap, TTIFFTagList& Tags, TIECodecProgress& Progress,
                     TTIFFWriteVars& Vars, bool& Aborting) {
  const Integer width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
  if (width <= 0 || height <= 0) {
    Aborting = true;
    return IEFail(Progress, "an empty image cannot be saved as TIFF");
  }
  if (Vars.Compression == 7) {
    Tags.Align();
    const DWORD at = Tags.Offset();
    WriteJPEGStrip(Stream, Bitmap, Vars, Progress);
    if (IEAborting(Progress)) Aborting = true;
    const DWORD end = Tags.Offset();
    if (!Aborting) AddStripTags(Tags, height, {at}, {end - at});
    return;
  }
  const Integer samples = TIFFStripSamples(Bitmap, Vars);
  TRowBuilder builder(Bitmap, Vars, samples);
  const bool deflate = Vars.Compression == 32946 || Vars.Compression == 8;
  const size_t rowBytes = builder.RowBytes();
  // Deflate strips are small, about 8 KB: each is compressed whole in one pass, and the
  // compressor runs markedly faster over many small blocks than over a large one, for much the
  // same size (a page needs no second copy of itself either).
  const Integer rowsPerStrip =
      deflate ? Integer(std::clamp<size_t>(kDeflateStripBytes / std::max<size_t>(rowBytes, 1), 1, size_t(height)))
              : TIFFRowsPerStrip(height, Bitmap->GetRowLen());
  const TZCompressionLevel level = DeflateLevel(Vars.IOParams ? Vars.IOParams->TiffZipCompression : 1);
  std::vector<DWORD> offsets, counts;
  std::vector<Byte> out(rowBytes);
  // Uncompressed and Deflate strips are built in place, row after row.
  const bool plainRows = Vars.Compression == 1 || deflate;
  const size_t plainBytes = plainRows ? rowBytes * size_t(std::min(rowsPerStrip, height)) : 0;
  std::unique_ptr<Byte[]> plain = plainRows ? std::make_unique_for_overwrite<Byte[]>(plainBytes) : nullptr;
  size_t plainFill = 0;
  TStripSink sink;
  TIERowStepper step(Progress, height, true);
  void* lzw = nullptr;
  const bool ccitt = Vars.Compression >= 2 && Vars.Compression <= 4;
  // Every strip byte goes out through this function, so the offsets are counted here rather
  // than asked of the stream three times a strip.
  Tags.Align();
  Int64 at = Tags.Offset();
  std::vector<Byte> gathered;
  auto flush = [&] {
    WriteAll(Stream, Aborting, gathered.data(), gathered.size());
    gathered.clear();
  };
  auto put = [&](const Byte* Data, size_t Count) {
    if (gathered.size() + Count > kGatherBytes) flush();
    if (Count >= kGatherBytes) {
      WriteAll(Stream, Aborting, Data, Count);
    } else {
      if (gathered.capacity() == 0) gathered.reserve(kGatherBytes);
      gathered.insert(gathered.end(), Data, Data + Count);
    }
    at += Int64(Count);
  };
  try {
    for (Integer y = 0; y < height && !Aborting; ++y) {
      if (y % rowsPerStrip == 0) {
        if (at & 1) {
          const Byte zero = 0;
          put(&zero, 1);
        }
        // Offsets beyond 32 bits cannot be stored.
        if (at > Int64(0xFFFFFFFF)) {
          Aborting = true;
          break;
        }
        offsets.push_back(DWORD(at));
        Vars.CCITTPendingByte = 0;
        Vars.CCITTPendingBits = 0;
        Vars.CCITTRefRow.clear();
        sink.Data.clear();
        plainFill = 0;
      }
      Byte* row = out.data();
      if (plainRows) {
        row = plain.get() + plainFill;
        plainFill += rowBytes;
      }
      builder.Build(y, row);
      const Integer n = static_cast<Integer>(rowBytes);
      if (ccitt) {
        if (!TIFFCCITTEncodeRow(row, width, &sink, Vars, Progress, Aborting)) break;
      } else if (Vars.Compression == 5) {
        Vars.LZWCompress(row, n, &sink, lzw);
      } else if (Vars.Compression == 32773) {
        IEPackBitsEncode(row, n, &sink, Aborting);
      }
      if ((y + 1) % rowsPerStrip == 0 || y + 1 == height) {
        if (ccitt) TIFFCCITTEncodeRow(nullptr, width, &sink, Vars, Progress, Aborting);
        else if (Vars.Compression == 5 && lzw) Vars.LZWCompress(nullptr, 0, &sink, lzw);
        if (deflate) {
          size_t packedBytes = 0;
          const std::unique_ptr<Byte[]> packed = ZCompressWhole(plain.get(), plainFill, packedBytes, level);
          put(packed.get(), packedBytes);
        } else if (plainRows) {
          put(plain.get(), plainFill);
        } else {
          put(sink.Data.data(), sink.Data.size());
        }
        if (at > Int64(0xFFFFFFFF)) {
          Aborting = true;
          break;
        }
        counts.push_back(DWORD(at - offsets.back()));
      }
      if (!step.Next()) Aborting = true;
    }
    flush();
  } catch (const Exception& e) {
    Aborting = true;
    IEFail(Progress, "the TIFF strips could not be written: " + e.Message);
  } catch (const std::bad_alloc&) {
    Aborting = true;
    IEFail(Progress, "not enough memory to write the TIFF strips");
  }
  if (lzw) Vars.LZWCompress(nullptr, 0, &sink, lzw);
  if (IEAborting(Progress)) Aborting = true;
  if (Aborting) {
    IEFail(Progress, "the TIFF strips could not be written completely");
    return;
  }
  AddStripTags(Tags, rowsPerStrip, offsets, counts);
}

void TIFFWriteOldJPEG(TStream* Stream, TIEBitmap* Bitmap, TTIFFTagList& Tags, TIECodecProgress& Progress,
                      TTIFFWriteVars& Vars, bool& Aborting) {
  TMemoryStream jpeg;
  try {
    WriteJPEGStrip(&jpeg, Bitmap, Vars, Progress);
  } catch (const Exception& e) {
    IEFail(Progress, "the JPEG thumbnail could not be written: " + e.Message);
  }
  if (IEAborting(Progress) || jpeg.Size() < 4) {
    Aborting = true;
    return;
  }
  const Byte* data = static_cast<const Byte*>(jpeg.Memory());
  const Int64 size = jpeg.Size();
  Tags.Align();
  const DWORD at = Tags.Offset();
  IESafeStreamWrite(Stream, Aborting, data, static_cast<Integer>(size));
  if (Aborting) return;
  Tags.AddLong(513, at);
  Tags.AddLong(514, static_cast<DWORD>(size));
}
