#include "imaging/formats/bmp/ie_bmp.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_quantizer.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/numerics.h"

namespace {

DWORD U16(const Byte* p) { return DWORD(p[0]) | DWORD(p[1]) << 8; }
DWORD U32(const Byte* p) { return U16(p) | U16(p + 2) << 16; }
void Put16(Byte* p, DWORD v) { p[0] = Byte(v); p[1] = Byte(v >> 8); }
void Put32(Byte* p, DWORD v) { Put16(p, v & 0xFFFF); Put16(p + 2, v >> 16); }

// One colour channel of a bit-field pixel as 8 bits: a field wider than 8 keeps its top bits,
// a narrower one is shifted up (5-5-5 and 5-6-5 give each channel's top bits).
struct TBitField {
  DWORD Mask = 0;
  Integer Shift = 0;
  Integer Width = 0;
  explicit TBitField(DWORD M = 0) : Mask(M) {
    if (!M) return;
    while (!((M >> Shift) & 1)) ++Shift;
    Width = IEBitMaskWidth(M);
  }
  Byte Get(DWORD V) const {
    if (!Mask) return 0;
    const DWORD f = (V & Mask) >> Shift;
    return Width >= 8 ? Byte(f >> (Width - 8)) : Byte(f << (8 - Width));
  }
};

TRGB Lookup(const TIOParamsVals& P, Integer Index) {
  return Index < P.ColorMapCount ? P.ColorMap[Index] : TRGB{0, 0, 0};
}

// Where the RLE decoders put a pixel. A row is cleared when the data first reach it, so that
// nothing is filled before there are runs to show; Finish clears the rows they never reached.
struct TRleTarget {
  TIEBitmap* Bitmap;
  const TIOParamsVals* Params;
  bool Indexes;  // ie8p rows get the index, ie24RGB rows the palette colour
  Integer Width, Height;
  bool TopDown;
  mutable std::vector<bool> Cleared = std::vector<bool>(static_cast<size_t>(Height), false);
  Byte* Row(Integer FileRow) const {
    const Integer y = TopDown ? FileRow : Height - 1 - FileRow;
    Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
    // Pixels a delta jumps over are not in the data: they stay at index 0 (black), not at
    // whatever the allocation held.
    if (!Cleared[static_cast<size_t>(y)]) {
      Cleared[static_cast<size_t>(y)] = true;
      std::memset(row, 0, static_cast<size_t>(Width) * (Indexes ? 1 : 3));
    }
    return row;
  }
  void Put(Integer FileRow, Integer X, Integer Index) const {
    Byte* row = Row(FileRow);
    if (Indexes) row[X] = Byte(Index);
    else reinterpret_cast<TRGB*>(row)[X] = Lookup(*Params, Index);
  }
  void Finish() const {
    for (Integer r = 0; r < Height; ++r) Row(r);
  }
};

// Answers whether the data ended cleanly (an end-of-bitmap code, or every row begun).
bool DecodeRLE(const std::vector<Byte>& Data, bool Four, const TRleTarget& T, TIERowStepper& Step) {
  size_t i = 0;
  Integer row = 0, x = 0;
  auto put = [&](Integer index) {
    // Writers pad rows to an even count of pixels; what lies past the width is dropped.
    if (x < T.Width) T.Put(row, x, index);
    ++x;
  };
  const size_t n = Data.size();
  while (i + 1 < n) {
    const Byte count = Data[i], value = Data[i + 1];
    i += 2;
    if (count > 0) {
      for (Integer k = 0; k < count; ++k) put(Four ? ((k & 1) ? value & 0x0F : value >> 4) : value);
      continue;
    }
    if (value == 0) {  // end of line
      ++row;
      x = 0;
      if (!Step.Next() || row >= T.Height) return true;
    } else if (value == 1) {
      return true;
    } else if (value == 2) {
      if (i + 1 >= n) return false;
      x += Data[i];
      row += Data[i + 1];
      i += 2;
      if (row >= T.Height) return true;
    } else {
      const size_t bytes = Four ? (size_t(value) + 1) / 2 : value;
      if (i + bytes > n) return false;
      for (Integer k = 0; k < value; ++k) put(Four ? ((k & 1) ? Data[i + k / 2] & 0x0F : Data[i + k / 2] >> 4) : Data[i + k]);
      i += bytes + (bytes & 1);
    }
  }
  return row >= T.Height - 1;
}

void ReadBody(TStream* Stream, TIEBitmap* Bitmap, Integer Size, TIOParamsVals& P, TIECodecProgress& Progress,
              bool Preview, bool NoFileHeader, TIEMask*& AlphaChannel, bool IgnoreAlpha) {
  const Int64 start = Stream->Position();
  Byte fh[14] = {};
  DWORD fileSize = 0, pixelOffset = 0;
  if (NoFileHeader) {
    fileSize = static_cast<DWORD>(std::min<Int64>(Stream->Size(), UINT_MAX));
    fh[0] = 'B';
    fh[1] = 'M';
  } else {
    if (!IEReadFully(Stream, fh, 14)) return IEFail(Progress, "not a BMP file: shorter than its file header");
    fileSize = U32(fh + 2);
    pixelOffset = U32(fh + 10);
  }
  if (fileSize > 0 && Size <= 0) Size = static_cast<Integer>(std::min<DWORD>(fileSize, INT_MAX));
  if (fh[0] != 'B' || fh[1] != 'M') return IEFail(Progress, "not a BMP file: no \"BM\" signature");

  Byte sizeBytes[4];
  if (!IEReadFully(Stream, sizeBytes, 4)) return IEFail(Progress, "the BMP file ends inside its image header");
  Stream->Seek(-4, soCurrent);
  const DWORD headerSize = U32(sizeBytes);
  std::free(P.ColorMap);
  P.ColorMap = nullptr;
  P.ColorMapCount = 0;

  Int64 width = 0, height = 0;
  Integer bits = 0;
  DWORD compression = 0, imageSize = 0;
  bool topDown = false;
  DWORD masks[4] = {0, 0, 0, 0};
  bool haveMasks = false;
  if (headerSize == 12) {
    Byte h[12];
    if (!IEReadFully(Stream, h, 12)) return IEFail(Progress, "the BMP file ends inside its image header");
    P.BmpVersion = 2;
    width = U16(h + 4);
    height = U16(h + 6);
    bits = static_cast<Integer>(U16(h + 10));
    P.SetDpiX(IEGlobalDefaultDpiX);
    P.SetDpiY(IEGlobalDefaultDpiY);
    if (bits <= 8 && bits > 0) {
      const Integer count = 1 << bits;
      std::vector<Byte> pal(static_cast<size_t>(count) * 3);
      if (!IEReadFully(Stream, pal.data(), Int64(pal.size()))) return IEFail(Progress, "the BMP file ends inside its palette");
      P.ColorMap = static_cast<TRGB*>(std::malloc(sizeof(TRGB) * count));
      if (!P.ColorMap) throw std::bad_alloc();
      std::memcpy(P.ColorMap, pal.data(), pal.size());
      P.ColorMapCount = count;
    }
  } else {
    if (headerSize < 16) return IEFail(Progress, "damaged BMP file: image header of " + std::to_string(headerSize) + " bytes");
    Byte h[64] = {};
    const DWORD take = std::min<DWORD>(headerSize, 64);
    if (!IEReadFully(Stream, h, take)) return IEFail(Progress, "the BMP file ends inside its image header");
    if (headerSize > 64) Stream->Seek(Int64(headerSize) - 64, soCurrent);
    P.BmpVersion = headerSize == 64 ? 3 : headerSize == 40 ? 1 : 0;
    width = static_cast<int32_t>(U32(h + 4));
    height = static_cast<int32_t>(U32(h + 8));
    if (height < 0) {
      height = -height;
      topDown = true;
    }
    bits = static_cast<Integer>(U16(h + 14));
    compression = U32(h + 16);
    imageSize = U32(h + 20);
    P.SetDpiX(SafeRound<Integer>(static_cast<int32_t>(U32(h + 24)) / 100.0 * 2.54));
    if (P.DpiX == 0) P.SetDpiX(IEGlobalDefaultDpiX);
    P.SetDpiY(SafeRound<Integer>(static_cast<int32_t>(U32(h + 28)) / 100.0 * 2.54));
    if (P.DpiY == 0) P.SetDpiY(IEGlobalDefaultDpiY);
    DWORD used = U32(h + 32);
    if (used > 256) used = 0;
    if (used == 0 && bits <= 8 && bits > 0) used = 1u << bits;
    // V2 to V5 headers (52 bytes and more) carry their channel masks inside the header; the
    // 40-byte header has them after it.
    if (compression == 3 || compression == 6) {
      if (headerSize >= 52) {
        masks[0] = U32(h + 40);
        masks[1] = U32(h + 44);
        masks[2] = U32(h + 48);
        if (headerSize >= 56) masks[3] = U32(h + 52);
      } else {
        Byte m[16];
        const Integer n = compression == 6 ? 16 : 12;
        if (!IEReadFully(Stream, m, n)) return IEFail(Progress, "the BMP file ends inside its channel masks");
        for (Integer k = 0; k < n / 4; ++k) masks[k] = U32(m + 4 * k);
      }
      haveMasks = true;
    }
    if (used > 0) {
      std::vector<Byte> pal(static_cast<size_t>(used) * 4);
      if (!IEReadFully(Stream, pal.data(), Int64(pal.size()))) return IEFail(Progress, "the BMP file ends inside its palette");
      P.ColorMap = static_cast<TRGB*>(std::malloc(sizeof(TRGB) * used));
      if (!P.ColorMap) throw std::bad_alloc();
      for (DWORD k = 0; k < used; ++k) P.ColorMap[k] = TRGB{pal[k * 4], pal[k * 4 + 1], pal[k * 4 + 2]};
      P.ColorMapCount = static_cast<Integer>(used);
    }
  }
  if (compression == 0 || compression == 3 || compression == 6) P.BmpCompression = 0;
  else if (compression == 1 || compression == 2) P.BmpCompression = 1;

  if (pixelOffset > 0) Stream->SetPosition(start + pixelOffset);
  const Int64 pos = Stream->Position();
  Int64 dataSize = Size > 0 ? Int64(Size) - (pos - start) : Int64(imageSize);
  dataSize = std::clamp<Int64>(dataSize, 0, std::max<Int64>(Stream->Size() - pos, 0));

  P.Width = P.OriginalWidth = static_cast<Integer>(std::min<Int64>(width, INT_MAX));
  P.Height = P.OriginalHeight = static_cast<Integer>(std::min<Int64>(height, INT_MAX));
  switch (bits) {
    case 1: P.BitsPerSample = 1; P.SamplesPerPixel = 1; break;
    case 4: P.BitsPerSample = 4; P.SamplesPerPixel = 1; break;
    case 8: P.BitsPerSample = 8; P.SamplesPerPixel = 1; break;
    case 16: P.BitsPerSample = 5; P.SamplesPerPixel = 3; break;
    case 24: P.BitsPerSample = 8; P.SamplesPerPixel = 3; break;
    case 32: P.BitsPerSample = 8; P.SamplesPerPixel = 4; break;
    default: return IEFail(Progress, "BMP files of " + std::to_string(bits) + " bits per pixel are not supported");
  }
  const bool rle = compression == 1 || compression == 2;
  const bool compressionFits = compression == 0 || (compression == 1 && bits == 8) || (compression == 2 && bits == 4) ||
                               ((compression == 3 || compression == 6) && (bits == 16 || bits == 32)) ||
                               (bits == 24 && compression != 1 && compression != 2);
  if (!compressionFits)
    return IEFail(Progress, "BMP compression " + std::to_string(compression) + " with " + std::to_string(bits) +
                                " bits per pixel is not supported");
  if (width < 0) return IEFail(Progress, "damaged BMP file: negative width");
  if (width == 0 || height == 0)
    return IEFail(Progress, "the BMP image has no pixels: its header gives " + std::to_string(width) + " x " +
                                std::to_string(height));
  if (Preview) return;

  const TRGB e0 = Lookup(P, 0), e1 = Lookup(P, 1);
  const TRGB black{0, 0, 0}, white{255, 255, 255};
  const bool paletteBW = P.ColorMapCount == 2 && ((e0 == black && e1 == white) || (e0 == white && e1 == black));
  // A two-colour palette that is not black and white keeps its colours (a 24-bit image).
  const bool oneBitColours = bits == 1 && P.ColorMapCount >= 2 && !paletteBW;
  const bool native = P.NativePixelFormat && (bits == 4 || bits == 8);
  TIEPixelFormat format = ie24RGB;
  if (bits == 1 && !oneBitColours) format = ie1g;
  else if (native) format = ie8p;
  if (!IECheckImageSize(Progress, width, height, std::max(bits, 24))) return;
  const Int64 rowLen = ((width * bits + 31) / 32) * 4;
  // Rows are stored as they are; runs can end the bitmap after a few bytes, so their images
  // are bounded by the limit for data that need not describe every pixel.
  if (rle ? !IECheckSparseImage(Progress, "run-length data", width, height)
          : !IECheckInputHolds(Progress, "the BMP pixel data", width, height, rowLen * height, IEStreamRemaining(Stream)))
    return;
  if (IEAllocateImage(Progress, Bitmap, width, height, format) == ieNull) return;
  const Integer w = static_cast<Integer>(width), h = static_cast<Integer>(height);
  if (native) {
    for (Integer k = 0; k < P.ColorMapCount && k < 256; ++k) Bitmap->SetPaletteEntry(k, P.ColorMap[k]);
    Bitmap->PaletteColors = bits == 4 ? 16 : 256;
  }
  TIERowStepper step(Progress, h, true);

  if (rle) {
    std::vector<Byte> data(static_cast<size_t>(dataSize));
    const bool whole = IEReadFully(Stream, data.data(), dataSize);
    const TRleTarget target{Bitmap, &P, native, w, h, topDown};
    const bool clean = DecodeRLE(data, compression == 2, target, step);
    target.Finish();
    if (!whole || (!clean && !IEAborting(Progress))) IEFail(Progress, "the BMP's compressed pixel data ends early");
    return;
  }

  TIEMask* mask = nullptr;
  bool anyNonZero = false, anyNot255 = false;
  if (bits == 32 && !IgnoreAlpha) {
    if (!AlphaChannel) AlphaChannel = new TIEMask();
    mask = AlphaChannel;
    mask->AllocateBits(w, h, 8);
    mask->Fill(255);
  }
  if (bits == 16 && !haveMasks) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  }
  const TBitField red(masks[0]), green(masks[1]), blue(masks[2]), alphaField(masks[3]);
  std::vector<Byte> line(static_cast<size_t>(rowLen));
  for (Integer n = 0; n < h; ++n) {
    if (!IEReadFully(Stream, line.data(), rowLen)) {
      IEFail(Progress, "the BMP file ends after " + std::to_string(n) + " of its " + std::to_string(h) + " rows");
      break;
    }
    const Integer y = topDown ? n : h - 1 - n;
    Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
    TRGB* px = reinterpret_cast<TRGB*>(row);
    switch (bits) {
      case 1:
        if (oneBitColours) {
          for (Integer x = 0; x < w; ++x) px[x] = IEGetBit(line.data(), x) ? e1 : e0;
        } else {
          const Integer bytes = (w + 7) / 8;
          const bool invert = paletteBW && e0 == white;
          for (Integer k = 0; k < bytes; ++k) row[k] = invert ? Byte(~line[k]) : line[k];
        }
        break;
      case 4:
        for (Integer x = 0; x < w; ++x) {
          const Integer index = (x & 1) ? line[x / 2] & 0x0F : line[x / 2] >> 4;
          if (native) row[x] = Byte(index); else px[x] = Lookup(P, index);
        }
        break;
      case 8:
        if (native) std::memcpy(row, line.data(), static_cast<size_t>(w));
        else for (Integer x = 0; x < w; ++x) px[x] = Lookup(P, line[x]);
        break;
      case 16:
        for (Integer x = 0; x < w; ++x) {
          const DWORD v = U16(line.data() + 2 * x);
          px[x] = TRGB{blue.Get(v), green.Get(v), red.Get(v)};
        }
        break;
      case 24:
        std::memcpy(row, line.data(), static_cast<size_t>(w) * 3);
        break;
      case 32: {
        Byte* a = mask ? mask->GetScanline(y) : nullptr;
        for (Integer x = 0; x < w; ++x) {
          const Byte* s = line.data() + 4 * x;
          if (haveMasks) {
            const DWORD v = U32(s);
            px[x] = TRGB{blue.Get(v), green.Get(v), red.Get(v)};
          } else {
            px[x] = TRGB{s[0], s[1], s[2]};
          }
          if (a) {
            const Byte av = haveMasks && masks[3] ? alphaField.Get(U32(s)) : s[3];
            a[x] = av;
            anyNonZero |= av != 0;
            anyNot255 |= av != 255;
          }
        }
        break;
      }
    }
    if (!step.Next()) break;
  }
  // Fourth bytes that are all 0 (unused) or all 255 carry no transparency.
  if (mask && (!anyNonZero || !anyNot255)) {
    delete AlphaChannel;
    AlphaChannel = nullptr;
  }
}

}  // namespace

void ReadBMPStream(TStream* Stream, TIEBitmap* Bitmap, Integer Size, TIOParamsVals& IOParams,
                   TIECodecProgress& Progress, bool Preview, bool NoFileHeader, TIEMask*& AlphaChannel,
                   bool IgnoreAlpha) {
  try {
    ReadBody(Stream, Bitmap, Size, IOParams, Progress, Preview, NoFileHeader, AlphaChannel, IgnoreAlpha);
  } catch (const std::bad_alloc&) {
    IEFail(Progress, "not enough memory to read the BMP image");
  } catch (const Exception& e) {
    IEFail(Progress, e.Message.empty() ? AnsiString("the BMP image cannot be read") : e.Message);
  }
}

namespace {

void FlushLiterals(const Byte* Px, Integer From, Integer Count, bool Four, std::vector<Byte>& Out) {
  while (Count > 0) {
    const Integer n = std::min(Count, 255);
    if (n == 1) {
      Out.push_back(1);
      Out.push_back(Four ? Byte(Px[From] << 4) : Px[From]);
    } else if (n == 2) {
      if (Four) {
        Out.push_back(2);
        Out.push_back(Byte(Px[From] << 4 | Px[From + 1]));
      } else {
        Out.push_back(1);
        Out.push_back(Px[From]);
        Out.push_back(1);
        Out.push_back(Px[From + 1]);
      }
    } else {
      Out.push_back(0);
      Out.push_back(Byte(n));
      size_t bytes = 0;
      if (Four) {
        for (Integer k = 0; k < n; k += 2) {
          Out.push_back(Byte(Px[From + k] << 4 | (k + 1 < n ? Px[From + k + 1] : 0)));
          ++bytes;
        }
      } else {
        for (Integer k = 0; k < n; ++k) Out.push_back(Px[From + k]);
        bytes = static_cast<size_t>(n);
      }
      if (bytes & 1) Out.push_back(0);
    }
    From += n;
    Count -= n;
  }
}

void EncodeRow(const Byte* Px, Integer Width, bool Four, std::vector<Byte>& Out) {
  Integer literalStart = 0, x = 0;
  while (x < Width) {
    if (x - literalStart > 255) {
      FlushLiterals(Px, literalStart, x - literalStart, Four, Out);
      literalStart = x;
    }
    if (x + 1 < Width && Px[x] == Px[x + 1]) {
      FlushLiterals(Px, literalStart, x - literalStart, Four, Out);
      Integer run = 1;
      while (x + run < Width && run < 255 && Px[x + run] == Px[x]) ++run;
      Out.push_back(Byte(run));
      Out.push_back(Four ? Byte(Px[x] << 4 | Px[x]) : Px[x]);
      x += run;
      literalStart = x;
    } else {
      ++x;
    }
  }
  FlushLiterals(Px, literalStart, x - literalStart, Four, Out);
  Out.push_back(0);
  Out.push_back(0);
}

}  // namespace

void BMPEncodeRLE8Row(const Byte* Indexes, Integer Width, std::vector<Byte>& Out) { EncodeRow(Indexes, Width, false, Out); }
void BMPEncodeRLE4Row(const Byte* Indexes, Integer Width, std::vector<Byte>& Out) { EncodeRow(Indexes, Width, true, Out); }

void WriteBMPStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& P, TIECodecProgress& Progress, bool SaveAlpha) {
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (w <= 0 || h <= 0) return IEFail(Progress, "an empty image cannot be saved as BMP");
  if (w > 0xFFFF && P.BmpVersion == 2) return IEFail(Progress, "the core BMP header holds at most 65535 pixels a side");
  Integer bits = 24;
  if (P.BitsPerSample == 1 || P.BitsPerSample == 4) bits = P.BitsPerSample;
  else if (P.SamplesPerPixel == 1) bits = 8;
  else if (Bitmap->HasAlphaChannel()) bits = 32;
  const bool core = P.BmpVersion == 2;
  const Integer headerSize = core ? 12 : P.BmpVersion == 3 ? 64 : 40;
  const bool rle = !core && P.BmpCompression == 1 && (bits == 4 || bits == 8);
  const Int64 rowLen = ((Int64(w) * bits + 31) / 32) * 4;

  bool aborting = IEAborting(Progress);
  auto put = [&](const void* Data, size_t Count) {
    if (!aborting) IESafeStreamWrite(Stream, aborting, Data, static_cast<Integer>(Count));
  };
  const Int64 start = Stream->Position();
  Byte fh[14] = {'B', 'M'};
  put(fh, 14);
  Byte hdr[64] = {};
  Put32(hdr, static_cast<DWORD>(headerSize));
  if (core) {
    Put16(hdr + 4, static_cast<DWORD>(w));
    Put16(hdr + 6, static_cast<DWORD>(h));
    Put16(hdr + 8, 1);
  } else {
    Put32(hdr + 4, static_cast<DWORD>(w));
    Put32(hdr + 8, static_cast<DWORD>(h));
    Put16(hdr + 12, 1);
    Put32(hdr + 16, rle ? (bits == 4 ? 2 : 1) : 0);
    Put32(hdr + 24, static_cast<DWORD>(SafeRound<Integer>(P.DpiX / 2.54 * 100)));
    Put32(hdr + 28, static_cast<DWORD>(SafeRound<Integer>(P.DpiY / 2.54 * 100)));
    Put32(hdr + 32, bits <= 8 ? 1u << bits : 0);
    Put32(hdr + 36, bits <= 8 ? 1u << bits : bits == 24 ? 16777216u : 1u);
  }
  put(hdr, static_cast<size_t>(headerSize));

  auto writePalette = [&](const TRGB* Pal, Integer Count) {
    std::vector<Byte> out;
    for (Integer k = 0; k < Count; ++k) {
      out.push_back(Pal[k].b);
      out.push_back(Pal[k].g);
      out.push_back(Pal[k].r);
      if (!core) out.push_back(0);
    }
    put(out.data(), out.size());
  };
  auto setColorMap = [&](const TRGB* Pal, Integer Count) {
    std::free(P.ColorMap);
    P.ColorMap = static_cast<TRGB*>(std::malloc(sizeof(TRGB) * Count));
    if (!P.ColorMap) throw std::bad_alloc();
    std::memcpy(P.ColorMap, Pal, sizeof(TRGB) * Count);
    P.ColorMapCount = Count;
  };

  Int64 pixelStart = 0;
  TIERowStepper step(Progress, h, true);
  std::vector<Byte> line(static_cast<size_t>(rowLen), 0);
  std::unique_ptr<TIEBitmap> copy;
  if (bits == 4 || bits == 8) {
    TIEBitmap* src = Bitmap;
    const Integer colours = 1 << bits;
    bool ownIndexes = Bitmap->GetPixelFormat() == ie8p;
    if (ownIndexes && bits == 4) {
      // Indexes above 15 do not fit a 4-bit pixel: such an image is reduced to 16 colours.
      for (Integer y = 0; y < h && ownIndexes; ++y) {
        const Byte* r = static_cast<const Byte*>(Bitmap->GetScanline(y));
        for (Integer x = 0; x < w; ++x)
          if (r[x] > 15) {
            ownIndexes = false;
            break;
          }
      }
    }
    if (!ownIndexes && Bitmap->GetPixelFormat() != ie24RGB) {
      copy = std::make_unique<TIEBitmap>();
      copy->Assign(Bitmap);
      copy->SetPixelFormat(ie24RGB);
      src = copy.get();
    }
    std::vector<TRGB> pal(256, TRGB{0, 0, 0});
    std::unique_ptr<TIEQuantizer> q;
    if (ownIndexes) {
      for (Integer k = 0; k < colours && k < Bitmap->GetPaletteLength(); ++k) pal[k] = Bitmap->GetPaletteEntry(k);
    } else {
      q = std::make_unique<TIEQuantizer>(src, pal.data(), colours);
    }
    setColorMap(pal.data(), colours);
    writePalette(pal.data(), colours);
    pixelStart = Stream->Position();
    std::vector<Byte> indexes(static_cast<size_t>(w)), codes;
    for (Integer n = 0; n < h && !aborting; ++n) {
      const Byte* row = static_cast<const Byte*>(src->GetScanline(h - 1 - n));
      if (ownIndexes) std::memcpy(indexes.data(), row, static_cast<size_t>(w));
      else
        for (Integer x = 0; x < w; ++x)
          indexes[x] = Byte(std::clamp<Integer>(q->RGBIndex(reinterpret_cast<const TRGB*>(row)[x]), 0, colours - 1));
      if (rle) {
        codes.clear();
        if (bits == 4) BMPEncodeRLE4Row(indexes.data(), w, codes); else BMPEncodeRLE8Row(indexes.data(), w, codes);
        put(codes.data(), codes.size());
      } else if (bits == 8) {
        std::memcpy(line.data(), indexes.data(), static_cast<size_t>(w));
        put(line.data(), line.size());
      } else {
        std::fill(line.begin(), line.end(), 0);
        for (Integer x = 0; x < w; ++x) line[x / 2] |= (x & 1) ? indexes[x] : Byte(indexes[x] << 4);
        put(line.data(), line.size());
      }
      if (!step.Next()) aborting = true;
    }
    if (rle) {
      const Byte eob[2] = {0, 1};
      put(eob, 2);
    }
  } else if (bits == 1) {
    TIEBitmap* src = Bitmap;
    TRGB pal[2] = {{0, 0, 0}, {255, 255, 255}};
    bool twoColours = false;
    TRGB exact[2];
    if (Bitmap->GetPixelFormat() != ie1g) {
      copy = std::make_unique<TIEBitmap>();
      copy->Assign(Bitmap);
      if (copy->GetPixelFormat() != ie24RGB) copy->SetPixelFormat(ie24RGB);
      TIEExactPalette* table = IEExactPaletteCreate(copy.get(), 2, exact);
      if (table && table->Colors.size() == 2) {
        twoColours = true;
        const bool firstDarker = IERGBToGray(exact[0]) <= IERGBToGray(exact[1]);
        pal[0] = firstDarker ? exact[0] : exact[1];
        pal[1] = firstDarker ? exact[1] : exact[0];
      }
      IEExactPaletteFree(table);
      if (!twoColours) copy->SetPixelFormat(ie1g);
      src = copy.get();
    }
    setColorMap(pal, 2);
    writePalette(pal, 2);
    pixelStart = Stream->Position();
    for (Integer n = 0; n < h && !aborting; ++n) {
      const Byte* row = static_cast<const Byte*>(src->GetScanline(h - 1 - n));
      if (twoColours) {
        std::fill(line.begin(), line.end(), 0);
        const TRGB* px = reinterpret_cast<const TRGB*>(row);
        for (Integer x = 0; x < w; ++x) IESetBit(line.data(), x, px[x] == pal[1]);
      } else {
        std::memcpy(line.data(), row, static_cast<size_t>((w + 7) / 8));
      }
      put(line.data(), line.size());
      if (!step.Next()) aborting = true;
    }
  } else {
    TIEBitmap* src = Bitmap;
    if (Bitmap->GetPixelFormat() != ie24RGB) {
      copy = std::make_unique<TIEBitmap>();
      copy->Assign(Bitmap);
      copy->SetPixelFormat(ie24RGB);
      src = copy.get();
    }
    pixelStart = Stream->Position();
    for (Integer n = 0; n < h && !aborting; ++n) {
      const Integer y = h - 1 - n;
      const TRGB* px = static_cast<const TRGB*>(src->GetScanline(y));
      if (bits == 24) {
        std::memcpy(line.data(), px, static_cast<size_t>(w) * 3);
      } else {
        for (Integer x = 0; x < w; ++x) {
          Byte* d = line.data() + 4 * x;
          d[0] = px[x].b;
          d[1] = px[x].g;
          d[2] = px[x].r;
          d[3] = SaveAlpha ? Bitmap->GetAlphaValue(x, y) : 255;
        }
      }
      put(line.data(), line.size());
      if (!step.Next()) aborting = true;
    }
  }
  if (aborting) {
    if (!IEAborting(Progress)) IEFail(Progress, "the BMP file could not be written completely (disk full?)");
    return;
  }
  const Int64 end = Stream->Position();
  Put32(fh + 2, static_cast<DWORD>(end - start));
  Put32(fh + 10, static_cast<DWORD>(pixelStart - start));
  if (core) Put16(hdr + 10, static_cast<DWORD>(bits));
  else {
    Put16(hdr + 14, static_cast<DWORD>(bits));
    Put32(hdr + 20, static_cast<DWORD>(end - pixelStart));
  }
  Stream->SetPosition(start);
  put(fh, 14);
  put(hdr, static_cast<size_t>(headerSize));
  Stream->SetPosition(end);
  if (aborting) IEFail(Progress, "the BMP file could not be written completely (disk full?)");
}
