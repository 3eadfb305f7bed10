#include "imaging/formats/ico/ie_ico.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/formats/bmp/ie_bmp.h"
#include "imaging/formats/png/ie_png.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/numerics.h"

namespace {

constexpr Integer kDirEntry = 16, kInfoHeader = 40;

DWORD U16(const Byte* p) { return DWORD(p[0]) | DWORD(p[1]) << 8; }
DWORD U32(const Byte* p) { return U16(p) | U16(p + 2) << 16; }
void Put16(Byte* p, DWORD v) { p[0] = Byte(v); p[1] = Byte(v >> 8); }
void Put32(Byte* p, DWORD v) { Put16(p, v & 0xFFFF); Put16(p + 2, v >> 16); }

bool Probe(TStream* Stream, DWORD Type) {
  try {
    const Int64 start = Stream->Position();
    if (Stream->Size() <= 22) return false;
    bool ok = false;
    Byte h[6];
    if (IEReadFully(Stream, h, 6) && U16(h) == 0 && U16(h + 2) == Type && U16(h + 4) != 0) {
      ok = true;
      const DWORD count = U16(h + 4);
      Byte e[kDirEntry];
      for (DWORD i = 0; i < count && ok; ++i) {
        ok = IEReadFully(Stream, e, kDirEntry) && e[3] == 0 && U32(e + 8) != 0 &&
             Int64(U32(e + 12)) >= Stream->Position() - start;
      }
    }
    Stream->SetPosition(start);
    return ok;
  } catch (...) {
    return false;
  }
}

TRGB Lookup(const TIOParamsVals& P, Integer Index) {
  return Index < P.ColorMapCount ? P.ColorMap[Index] : TRGB{0, 0, 0};
}

struct TEntry {
  Byte Bytes[kDirEntry];
  Integer Width() const { return Bytes[0]; }
  Integer Height() const { return Bytes[1]; }
  Integer Colors() const { return Bytes[2]; }
  Integer Word4() const { return static_cast<Integer>(U16(Bytes + 4)); }
  Integer Word6() const { return static_cast<Integer>(U16(Bytes + 6)); }
  Int64 Size() const { return U32(Bytes + 8); }
  Int64 Offset() const { return U32(Bytes + 12); }
};

void SetDpi(TIOParamsVals& P, const Byte* Header) {
  const Integer x = SafeRound<Integer>(static_cast<int32_t>(U32(Header + 24)) / 100.0 * 2.54);
  const Integer y = SafeRound<Integer>(static_cast<int32_t>(U32(Header + 28)) / 100.0 * 2.54);
  P.SetDpiX(x > 0 ? x : IEGlobalDefaultDpiX);
  P.SetDpiY(y > 0 ? y : IEGlobalDefaultDpiY);
}

// Reads one image of the directory. Cursor: the cursor rules (hot spot, the background colour
// and mask kept as made); otherwise the icon's.
void ReadBody(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& P, bool Preview, TIECodecProgress& Progress,
              TIEMask*& AlphaChannel, bool IgnoreAlpha, bool Cursor) {
  const Int64 start = Stream->Position();
  const Int64 size = Stream->Size();
  Byte h[6];
  if (!IEReadFully(Stream, h, 6)) return IEFail(Progress, "the icon file ends inside its header");
  if (!Cursor && h[0] == 'B' && h[1] == 'M') {
    Stream->SetPosition(start);
    return ReadBMPStream(Stream, Bitmap, static_cast<Integer>(std::min<Int64>(size, INT_MAX)), P, Progress, Preview,
                         false, AlphaChannel, IgnoreAlpha);
  }
  const char* what = Cursor ? "cursor" : "icon";
  const Integer count = static_cast<Integer>(U16(h + 4));
  const Integer index = Cursor ? P.CurImageIndex : P.IcoImageIndex;
  if (count == 0) return IEFail(Progress, std::string("the ") + what + " file holds no images");
  if (index < 0 || index >= count)
    return IEFail(Progress, std::string("the ") + what + " file holds " + std::to_string(count) + " image" +
                                (count == 1 ? "" : "s") + "; image " + std::to_string(index) + " was asked for");
  std::vector<TEntry> dir(static_cast<size_t>(count));
  for (Integer i = 0; i < count; ++i)
    if (!IEReadFully(Stream, dir[i].Bytes, kDirEntry))
      return IEFail(Progress, std::string("the ") + what + " file ends inside its directory");

  const TEntry* entry = &dir[static_cast<size_t>(index)];
  if (!Cursor) {
    for (Integer i = 0; i < 16; ++i) P.IcoSizes[i][0] = P.IcoSizes[i][1] = 0;
    for (Integer i = 0; i < count && i < 16; ++i) {
      const TEntry& e = dir[static_cast<size_t>(i)];
      if (!e.Width() || !e.Height()) continue;
      P.IcoSizes[i][0] = e.Width();
      P.IcoSizes[i][1] = e.Height();
      P.IcoBitCount[i] = e.Word6() ? e.Word6() : e.Colors() ? IEBitsForColors(e.Colors()) : 24;
    }
    // An entry of 256 pixels (size bytes 0) is not taken by its own index: the last one is.
    if (!entry->Width() || !entry->Height()) entry = &dir.back();
  } else {
    P.CurXHotSpot = entry->Word4();
    P.CurYHotSpot = entry->Word6();
  }

  const Int64 at = start + entry->Offset();
  if (entry->Offset() < 6 || at + 8 > size)
    return IEFail(Progress, std::string("the ") + what + " image's data lies outside the file (offset " +
                                std::to_string(entry->Offset()) + ")");
  Stream->SetPosition(at);
  Byte sig[8];
  IEReadFully(Stream, sig, 8);
  Stream->SetPosition(at);
  static const Byte kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (std::memcmp(sig, kPng, 8) == 0) {
    // Large icons keep their image as a PNG file; its reader gives size, pixels and alpha.
    ReadPNGStream(Stream, Bitmap, P, Progress, Preview);
    return;
  }

  Byte ih[kInfoHeader];
  if (!IEReadFully(Stream, ih, kInfoHeader)) return IEFail(Progress, std::string("the ") + what + " file ends inside an image header");
  const DWORD headerSize = U32(ih);
  // A longer header (V4, V5) has the palette after it.
  if (headerSize > DWORD(kInfoHeader) && headerSize <= 1024) Stream->SetPosition(at + headerSize);
  SetDpi(P, ih);
  const Int64 headerWidth = static_cast<int32_t>(U32(ih + 4));
  const Int64 headerHeight = static_cast<int32_t>(U32(ih + 8));
  Integer bits = static_cast<Integer>(U16(ih + 14));
  if (!bits && !Cursor) bits = entry->Word6();
  if (!bits && entry->Colors()) bits = IEBitsForColors(Cursor && entry->Colors() == 255 ? 256 : entry->Colors());
  if (bits <= 0) return IEFail(Progress, std::string("the ") + what + " image gives no bit count");
  if (bits <= 8) {
    P.BitsPerSample = bits;
    P.SamplesPerPixel = 1;
  } else {
    P.BitsPerSample = 8;
    P.SamplesPerPixel = bits == 32 ? 4 : 3;
  }
  if (Cursor) {
    P.BitsPerSample = bits;
    P.SamplesPerPixel = 1;
  }

  Int64 width = entry->Width() ? entry->Width() : headerWidth;
  Int64 height = entry->Height() ? entry->Height() : headerHeight >> 1;
  if (!Cursor && entry->Width() && entry->Width() != headerWidth && headerWidth != 0 && headerWidth < 2048 &&
      headerHeight < 2048) {
    width = headerWidth;
    height = headerHeight >> 1;
  }

  std::free(P.ColorMap);
  P.ColorMap = nullptr;
  P.ColorMapCount = 0;
  if (bits <= 8) {
    // The DIB holds a full palette for its bit count, whatever the directory says.
    const Integer colours = 1 << bits;
    std::vector<Byte> pal(static_cast<size_t>(colours) * 4);
    if (!IEReadFully(Stream, pal.data(), Int64(pal.size())))
      return IEFail(Progress, std::string("the ") + what + " file ends inside a palette");
    P.ColorMap = static_cast<TRGB*>(std::malloc(sizeof(TRGB) * colours));
    if (!P.ColorMap) throw std::bad_alloc();
    for (Integer k = 0; k < colours; ++k) P.ColorMap[k] = TRGB{pal[k * 4], pal[k * 4 + 1], pal[k * 4 + 2]};
    P.ColorMapCount = colours;
  }
  P.Width = P.OriginalWidth = static_cast<Integer>(std::clamp<Int64>(width, INT_MIN, INT_MAX));
  P.Height = P.OriginalHeight = static_cast<Integer>(std::clamp<Int64>(height, INT_MIN, INT_MAX));
  if (Preview) return;

  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)
    return IEFail(Progress, std::string("the ") + what + " image has " + std::to_string(bits) +
                                " bits per pixel, which icons do not use");
  if (U32(ih + 16) != 0)
    return IEFail(Progress, std::string("the ") + what + " image is compressed (" + std::to_string(U32(ih + 16)) +
                                "), which icons do not use");
  if (width <= 0 || height <= 0)
    return IEFail(Progress, std::string("the ") + what + " image has no pixels: " + std::to_string(width) + " x " +
                                std::to_string(height));
  const Int64 rowLen = (width * bits + 31) / 32 * 4;
  const Int64 andLen = (width + 31) / 32 * 4;
  // The AND rows belong to every image of 8 bits or fewer; deeper ones may do without them.
  const Int64 needed = rowLen * height + (bits <= 8 ? andLen * height : 0);
  if (!IECheckInputHolds(Progress, std::string("the ") + what + " image data", width, height, needed,
                         IEStreamRemaining(Stream)))
    return;
  if (IEAllocateImage(Progress, Bitmap, width, height, bits == 1 ? ie1g : ie24RGB) == ieNull) return;
  const Integer w = static_cast<Integer>(width), hgt = static_cast<Integer>(height);

  TIEMask* mask = nullptr;
  if (!IgnoreAlpha) {
    if (!AlphaChannel) AlphaChannel = new TIEMask();
    mask = AlphaChannel;
    mask->AllocateBits(w, hgt, 8);
    mask->Fill(255);
    mask->Full = false;
  }
  const TRGB background = Cursor ? P.CurBackground : P.IcoBackground;
  auto truncated = [&](Integer Rows, const char* Part) {
    IEFail(Progress, std::string("the ") + what + " image ends after " + std::to_string(Rows) + " of its " +
                         std::to_string(hgt) + " " + Part + " rows");
  };

  std::vector<Byte> line(static_cast<size_t>(rowLen));
  bool anyAlpha = false;
  // A palette whose first entry is the lighter one stores white as 0, the buffer as 1.
  const bool invertMono = bits == 1 && IERGBToGray(Lookup(P, 0)) > IERGBToGray(Lookup(P, 1));
  for (Integer n = 0; n < hgt; ++n) {
    if (!IEReadFully(Stream, line.data(), rowLen)) return truncated(n, "colour");
    const Integer y = hgt - 1 - n;
    Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
    TRGB* px = reinterpret_cast<TRGB*>(row);
    switch (bits) {
      case 1: {
        const Integer bytes = (w + 7) / 8;
        for (Integer k = 0; k < bytes; ++k) row[k] = invertMono ? Byte(~line[k]) : line[k];
        break;
      }
      case 4:
        for (Integer x = 0; x < w; ++x) px[x] = Lookup(P, (x & 1) ? line[x / 2] & 0x0F : line[x / 2] >> 4);
        break;
      case 8:
        for (Integer x = 0; x < w; ++x) px[x] = Lookup(P, line[x]);
        break;
      case 24:
        std::memcpy(row, line.data(), static_cast<size_t>(w) * 3);
        break;
      case 32: {
        Byte* a = mask ? mask->GetScanline(y) : nullptr;
        for (Integer x = 0; x < w; ++x) {
          const Byte* s = line.data() + 4 * x;
          px[x] = TRGB{s[0], s[1], s[2]};
          anyAlpha |= s[3] != 0;
          if (a) a[x] = s[3];
        }
        break;
      }
    }
  }

  // The AND mask: for 8 bits or fewer always; for 32 bits only when the alpha bytes carry
  // nothing (all 0) and the rows are there.
  const bool readAnd = bits <= 8 || (bits == 32 && !anyAlpha && IEStreamRemaining(Stream) >= andLen * height);
  if (readAnd) {
    const bool whiteBackground = background == TRGB{255, 255, 255};
    std::vector<Byte> andRow(static_cast<size_t>(andLen));
    for (Integer n = 0; n < hgt; ++n) {
      if (!IEReadFully(Stream, andRow.data(), andLen)) return truncated(n, "mask");
      const Integer y = hgt - 1 - n;
      Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
      Byte* a = mask ? mask->GetScanline(y) : nullptr;
      for (Integer x = 0; x < w; ++x) {
        const bool set = IEGetBit(andRow.data(), x);
        if (bits == 32) {
          if (a) a[x] = set ? 0 : 255;
          continue;
        }
        if (!set) continue;
        if (a) a[x] = 0;
        if (bits == 1) IESetBit(row, x, IEGetBit(row, x) != whiteBackground);
        else if (bits <= 8) reinterpret_cast<TRGB*>(row)[x] = background;
      }
    }
  } else if (bits == 32 && !anyAlpha && mask) {
    // No alpha and no mask: every pixel is opaque.
    mask->Fill(255);
  }
  if (mask && !Cursor) {
    mask->SyncFull();
    if (mask->Full) {
      delete AlphaChannel;
      AlphaChannel = nullptr;
    }
  }
}

void Read(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& P, bool Preview, TIECodecProgress& Progress,
          TIEMask*& AlphaChannel, bool IgnoreAlpha, bool Cursor) {
  try {
    ReadBody(Stream, Bitmap, P, Preview, Progress, AlphaChannel, IgnoreAlpha, Cursor);
  } catch (const std::bad_alloc&) {
    IEFail(Progress, Cursor ? "not enough memory to read the cursor" : "not enough memory to read the icon");
  } catch (const Exception& e) {
    IEFail(Progress, !e.Message.empty() ? e.Message
                     : Cursor          ? AnsiString("the cursor cannot be read")
                                       : AnsiString("the icon cannot be read"));
  }
}

}  // namespace

bool IsICO(TStream* Stream) { return Probe(Stream, 1); }
bool IsCUR(TStream* Stream) { return Probe(Stream, 2); }

void ReadICOStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, bool Preview,
                   TIECodecProgress& Progress, TIEMask*& AlphaChannel, bool IgnoreAlpha) {
  Read(Stream, Bitmap, IOParams, Preview, Progress, AlphaChannel, IgnoreAlpha, false);
}

void ReadCURStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, bool Preview,
                   TIECodecProgress& Progress, TIEMask*& AlphaChannel, bool IgnoreAlpha) {
  Read(Stream, Bitmap, IOParams, Preview, Progress, AlphaChannel, IgnoreAlpha, true);
}

namespace {

enum TKind { k1, k4, k8, k24, k32 };

TKind KindOf(Integer BitCount, const TIOParamsVals& P) {
  Integer samples = 3, bits = 8;
  switch (BitCount) {
    case 0: samples = P.SamplesPerPixel; bits = P.BitsPerSample; break;
    case 1: samples = 1; bits = 1; break;
    case 4: samples = 1; bits = 4; break;
    case 8: samples = 1; bits = 8; break;
    case 32: samples = 4; bits = 8; break;
    default: break;
  }
  if (samples == 3 && bits == 8) return k24;
  if (samples == 4 && bits == 8) return k32;
  if (samples == 1 && bits == 1) return k1;
  if (samples == 1 && bits == 4) return k4;
  return k8;
}

Integer KindBits(TKind K) { return K == k1 ? 1 : K == k4 ? 4 : K == k8 ? 8 : K == k24 ? 24 : 32; }

}  // namespace

void WriteICOStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& P, TIECodecProgress& Progress,
                    const std::vector<std::pair<Integer, Integer>>& Sizes, const std::vector<Integer>& BitCounts) {
  const Integer n = static_cast<Integer>(Sizes.size());
  const Integer sw = Bitmap->GetWidth(), sh = Bitmap->GetHeight();
  if (sw <= 0 || sh <= 0) return IEFail(Progress, "an empty image cannot be saved as an icon");
  if (n == 0) return IEFail(Progress, "no icon sizes were given");
  for (const auto& [w, h] : Sizes)
    if (w < 1 || h < 1 || w > 256 || h > 256)
      return IEFail(Progress, "icon images are 1 to 256 pixels a side, not " + std::to_string(w) + " x " + std::to_string(h));

  bool aborting = IEAborting(Progress);
  auto put = [&](const void* Data, size_t Count) {
    if (!aborting) IESafeStreamWrite(Stream, aborting, Data, static_cast<Integer>(Count));
  };
  const Int64 start = Stream->Position();
  Byte header[6] = {};
  Put16(header + 2, 1);
  Put16(header + 4, static_cast<DWORD>(n));
  put(header, 6);
  std::vector<Byte> dir(static_cast<size_t>(n) * kDirEntry, 0);
  put(dir.data(), dir.size());

  std::free(P.ColorMap);
  P.ColorMap = nullptr;
  P.ColorMapCount = 0;
  if (Bitmap->GetPixelFormat() != ie24RGB) {
    P.BitsPerSample = 1;
    P.SamplesPerPixel = 1;
  }
  // The resampling reads ie1g and ie24RGB rows; other formats go through a 24-bit copy.
  std::unique_ptr<TIEBitmap> copy;
  TIEBitmap* src = Bitmap;
  if (Bitmap->GetPixelFormat() != ie24RGB && Bitmap->GetPixelFormat() != ie1g) {
    copy = std::make_unique<TIEBitmap>();
    copy->Assign(Bitmap);
    copy->SetPixelFormat(ie24RGB);
    src = copy.get();
  }
  const bool hasAlpha = Bitmap->HasAlphaChannel();
  const TResampleFilter filter = src->GetPixelFormat() == ie1g ? rfNone : rfFastLinear;
  const double perImage = 100.0 / n;

  for (Integer i = 0; i < n && !aborting; ++i) {
    if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, static_cast<Integer>(i * perImage));
    if (IEAborting(Progress)) return;
    const Integer w = Sizes[static_cast<size_t>(i)].first, h = Sizes[static_cast<size_t>(i)].second;
    TIEBitmap work(w, h, ie24RGB);
    src->StretchRectTo(&work, 0, 0, w, h, 0, 0, sw, sh, filter, 255);
    std::vector<Byte> alpha(static_cast<size_t>(w) * h, 255);
    if (hasAlpha)
      for (Integer y = 0; y < h; ++y)
        for (Integer x = 0; x < w; ++x) alpha[static_cast<size_t>(y) * w + x] = work.GetAlphaValue(x, y);
    auto transparent = [&](Integer x, Integer y) { return hasAlpha && alpha[static_cast<size_t>(y) * w + x] < 255; };

    const TKind kind = KindOf(i < static_cast<Integer>(BitCounts.size()) ? BitCounts[static_cast<size_t>(i)] : 0, P);
    const Integer bits = KindBits(kind);
    if (kind == k1) work.SetPixelFormat(ie1g);
    const Int64 imageStart = Stream->Position();
    const Int64 rowLen = (Int64(w) * bits + 31) / 32 * 4;
    const Int64 andLen = (Int64(w) + 31) / 32 * 4;

    Byte ih[kInfoHeader] = {};
    Put32(ih, kInfoHeader);
    Put32(ih + 4, static_cast<DWORD>(w));
    Put32(ih + 8, static_cast<DWORD>(h * 2));
    Put16(ih + 12, 1);
    Put16(ih + 14, static_cast<DWORD>(bits));
    Put32(ih + 20, bits <= 8 ? static_cast<DWORD>(h * rowLen + h * andLen) : 0);
    Put32(ih + 24, static_cast<DWORD>(SafeRound<Integer>(P.DpiX / 2.54 * 100)));
    Put32(ih + 28, static_cast<DWORD>(SafeRound<Integer>(P.DpiY / 2.54 * 100)));
    put(ih, kInfoHeader);

    std::vector<Byte> line(static_cast<size_t>(rowLen));
    std::vector<TRGB> pal(256, TRGB{0, 0, 0});
    std::unique_ptr<TIEQuantizer> q;
    if (kind == k1) {
      const Byte entries[8] = {0, 0, 0, 0, 255, 255, 255, 0};
      put(entries, 8);
    } else if (kind == k4 || kind == k8) {
      // Entry 0 stays black for the transparent pixels; the image's colours take the others.
      const Integer colours = kind == k4 ? 16 : 256;
      q = std::make_unique<TIEQuantizer>(&work, pal.data() + 1, colours - 1);
      std::vector<Byte> out(static_cast<size_t>(colours) * 4, 0);
      for (Integer k = 0; k < colours; ++k) {
        out[k * 4] = pal[k].b;
        out[k * 4 + 1] = pal[k].g;
        out[k * 4 + 2] = pal[k].r;
      }
      put(out.data(), out.size());
      std::free(P.ColorMap);
      P.ColorMap = static_cast<TRGB*>(std::malloc(sizeof(TRGB) * colours));
      if (!P.ColorMap) throw std::bad_alloc();
      std::memcpy(P.ColorMap, pal.data(), sizeof(TRGB) * colours);
      P.ColorMapCount = colours;
    }
    for (Integer r = 0; r < h && !aborting; ++r) {
      const Integer y = h - 1 - r;
      std::fill(line.begin(), line.end(), 0);
      const Byte* row = static_cast<const Byte*>(work.GetScanline(y));
      const TRGB* px = reinterpret_cast<const TRGB*>(row);
      switch (kind) {
        case k1:
          std::memcpy(line.data(), row, static_cast<size_t>((w + 7) / 8));
          // A transparent pixel is black under its mask bit: white there would invert the screen.
          for (Integer x = 0; x < w; ++x)
            if (transparent(x, y)) IESetBit(line.data(), x, false);
          break;
        case k4:
        case k8: {
          const Integer top = kind == k4 ? 15 : 255;
          for (Integer x = 0; x < w; ++x) {
            const Integer index = transparent(x, y) ? 0 : std::clamp<Integer>(q->RGBIndex(px[x]) + 1, 1, top);
            if (kind == k8) line[x] = Byte(index);
            else line[x / 2] |= (x & 1) ? Byte(index) : Byte(index << 4);
          }
          break;
        }
        case k24:
          std::memcpy(line.data(), row, static_cast<size_t>(w) * 3);
          break;
        case k32:
          for (Integer x = 0; x < w; ++x) {
            Byte* d = line.data() + 4 * x;
            d[0] = px[x].b;
            d[1] = px[x].g;
            d[2] = px[x].r;
            d[3] = alpha[static_cast<size_t>(y) * w + x];
          }
          break;
      }
      put(line.data(), line.size());
    }
    std::vector<Byte> andRow(static_cast<size_t>(andLen));
    for (Integer r = 0; r < h && !aborting; ++r) {
      const Integer y = h - 1 - r;
      std::fill(andRow.begin(), andRow.end(), 0);
      if (kind != k24)
        for (Integer x = 0; x < w; ++x)
          if (transparent(x, y)) IESetBit(andRow.data(), x, true);
      put(andRow.data(), andRow.size());
    }

    Byte* e = dir.data() + static_cast<size_t>(i) * kDirEntry;
    e[0] = Byte(w);
    e[1] = Byte(h);
    if (bits > 8) {
      Put16(e + 4, 1);
      Put16(e + 6, static_cast<DWORD>(bits));
    } else {
      e[2] = Byte(std::min(1 << bits, 255));
    }
    Put32(e + 8, static_cast<DWORD>(Stream->Position() - imageStart));
    Put32(e + 12, static_cast<DWORD>(imageStart - start));
  }
  if (aborting) {
    if (!IEAborting(Progress)) IEFail(Progress, "the icon could not be written completely (disk full?)");
    return;
  }
  const Int64 end = Stream->Position();
  Stream->SetPosition(start + 6);
  put(dir.data(), dir.size());
  Stream->SetPosition(end);
  if (aborting) IEFail(Progress, "the icon could not be written completely (disk full?)");
}
