#include "imaging/proc/ie_dib.h"

#include <bit>
#include <cstring>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_limits.h"
#include "imaging/core/ie_pixel_format.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/ie_text_boxes.h"
#include "imaging/proc/ie_yuv.h"
#include "platform/rtl/numerics.h"

namespace {

constexpr DWORD kRGB = 0, kBitFields = 3;
constexpr size_t kHeaderSize = sizeof(TIEBitmapInfoHeader);

// One colour channel of a bit-field pixel: where it sits and how many bits it has. Channels of
// more than 8 bits keep their top 8; narrower ones are scaled to the full byte, so that their
// largest value is 255 and white stays white.
struct TChannel {
  DWORD Mask = 0;
  Integer Shift = 0;
  Integer Width = 0;

  explicit TChannel(DWORD M) : Mask(M) {
    if (!M) return;
    Shift = std::countr_zero(M);
    Width = IEBitMaskWidth(M);
  }
  Byte Extract(DWORD Pixel) const {
    if (!Mask) return 0;
    DWORD v = (Pixel & Mask) >> Shift;
    if (Width < 32) v &= (DWORD(1) << Width) - 1;
    if (Width >= 8) return static_cast<Byte>(v >> (Width - 8));
    const DWORD top = (DWORD(1) << Width) - 1;
    return static_cast<Byte>((v * 255 + top / 2) / top);
  }
};

DWORD ReadDWord(const Byte* P) { return DWORD(P[0]) | DWORD(P[1]) << 8 | DWORD(P[2]) << 16 | DWORD(P[3]) << 24; }

enum class TOutcome { Converted, Unconverted, Malformed };

struct TPackedDIB {
  TIEBitmapInfoHeader Header;
  const Byte* Block;
  size_t BlockSize;
  Integer Width;
  Integer Height;  // rows, whatever the order
  bool TopDown;
};

TIEPixelFormat FormatOf(const TPackedDIB& P) { return P.Header.biBitCount == 1 ? ie1g : ie24RGB; }

// A picture whose data are not read becomes a blank image of its size: nothing in the block
// vouches for that size, so it is held to the limit of images their data need not describe.
// The blank image is made in the caller's bitmap by IEDIBToBitmap, not here and copied.
TOutcome AllocateOnly(const TPackedDIB& P) {
  if (!IEImageSizeRefusal(P.Width, P.Height, IEPixelFormatBits[FormatOf(P)]).empty()) return TOutcome::Malformed;
  if (Int64(P.Width) * P.Height > IESparseImageMaxPixels) return TOutcome::Malformed;
  return TOutcome::Unconverted;
}

TOutcome ReadYUV(const TPackedDIB& P, TIEYUVConverter Converter, const Byte* Bits, size_t BitsSize, TIEBitmap& Out) {
  if (!Bits) return AllocateOnly(P);
  if (!IEImageSizeRefusal(P.Width, P.Height, 24).empty()) return TOutcome::Malformed;
  // No layout keeps less than a luma byte a pixel: a shorter frame is refused before the image
  // is allocated.
  if (Int64(BitsSize) < Int64(P.Width) * P.Height) return TOutcome::Malformed;
  if (!Out.Allocate(P.Width, P.Height, ie24RGB)) return TOutcome::Malformed;
  // These two store their rows the other way round.
  const DWORD code = P.Header.biCompression;
  const bool flipped = code == IEFourCC('Y', '4', '1', 'P') || code == IEFourCC('c', 'y', 'u', 'v');
  const bool topDown = flipped ? P.Header.biHeight < 0 : P.Header.biHeight > 0;
  return Converter(Bits, BitsSize, &Out, topDown) ? TOutcome::Converted : TOutcome::Malformed;
}

TOutcome ReadRGB(const TPackedDIB& P, const Byte* Bits, size_t BitsSize, TIEBitmap& Out) {
  const TIEBitmapInfoHeader& h = P.Header;
  const Integer bpp = h.biBitCount;
  const DWORD comp = h.biCompression;
  const bool knownDepth = bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
  // Run-length pictures are shorter than their rows and must not be read as rows.
  if (!knownDepth || (comp != kRGB && comp != kBitFields) || (comp == kBitFields && bpp != 16 && bpp != 32))
    return AllocateOnly(P);

  const Int64 entries = h.biClrUsed ? Int64(h.biClrUsed) : (bpp <= 8 ? Int64(1) << bpp : 0);
  const Int64 tableAt = h.biSize, tableBytes = entries * 4;
  if (tableAt + tableBytes > Int64(P.BlockSize)) return TOutcome::Malformed;
  const Byte* table = P.Block + tableAt;
  // Bit masks sit in the header when it is long enough to hold them, else after the table.
  Int64 dataAt = tableAt + tableBytes;
  const Byte* masks = nullptr;
  if (comp == kBitFields) {
    if (h.biSize >= kHeaderSize + 12) {
      masks = P.Block + kHeaderSize;
    } else {
      if (dataAt + 12 > Int64(P.BlockSize)) return TOutcome::Malformed;
      masks = P.Block + dataAt;
      dataAt += 12;
    }
  }
  const Byte* data = Bits ? Bits : P.Block + dataAt;
  const Int64 dataSize = Bits ? Int64(BitsSize) : Int64(P.BlockSize) - dataAt;
  const Int64 rowLen = (Int64(P.Width) * bpp + 31) / 32 * 4;
  // Divided rather than multiplied: the header's width and height are any 32-bit values.
  if (dataSize / rowLen < P.Height) return TOutcome::Malformed;
  if (!IEImageSizeRefusal(P.Width, P.Height, bpp == 1 ? 1 : 24).empty()) return TOutcome::Malformed;
  if (!Out.Allocate(P.Width, P.Height, bpp == 1 ? ie1g : ie24RGB)) return TOutcome::Malformed;

  // A palette index past the table's end is black.
  const auto colour = [&](Integer Index, Byte* Pixel) {
    if (Index < entries) std::memcpy(Pixel, table + 4 * Index, 3);
    else std::memset(Pixel, 0, 3);
  };
  // A table that puts the lighter colour first stores white as 0.
  bool invert = false;
  if (bpp == 1 && entries >= 2)
    invert = IERGBToGray(TRGB{table[0], table[1], table[2]}) > IERGBToGray(TRGB{table[4], table[5], table[6]});
  const TChannel red(masks ? ReadDWord(masks) : (bpp == 16 ? 0x7C00 : 0xFF0000));
  const TChannel green(masks ? ReadDWord(masks + 4) : (bpp == 16 ? 0x03E0 : 0xFF00));
  const TChannel blue(masks ? ReadDWord(masks + 8) : (bpp == 16 ? 0x001F : 0xFF));
  const Integer w = P.Width;

  for (Integer i = 0; i < P.Height; ++i) {
    const Byte* s = data + rowLen * i;
    Byte* d = static_cast<Byte*>(Out.GetScanline(P.TopDown ? i : P.Height - 1 - i));
    switch (bpp) {
      case 1: {
        const size_t n = static_cast<size_t>((w + 7) / 8);
        std::memcpy(d, s, n);
        if (invert) IEInvertBuffer(d, static_cast<Integer>(n));
        break;
      }
      case 4:
        for (Integer x = 0; x < w; ++x) colour((x & 1) ? s[x >> 1] & 0x0F : s[x >> 1] >> 4, d + 3 * x);
        break;
      case 8:
        for (Integer x = 0; x < w; ++x) colour(s[x], d + 3 * x);
        break;
      case 16:
      case 32:
        for (Integer x = 0; x < w; ++x) {
          const DWORD px = bpp == 16 ? DWORD(s[2 * x]) | DWORD(s[2 * x + 1]) << 8 : ReadDWord(s + 4 * x);
          d[3 * x] = blue.Extract(px);
          d[3 * x + 1] = green.Extract(px);
          d[3 * x + 2] = red.Extract(px);
        }
        break;
      default:
        std::memcpy(d, s, static_cast<size_t>(w) * 3);
        break;
    }
  }
  return TOutcome::Converted;
}

}  // namespace

Integer IEDIBToBitmap(const void* DIB, size_t DIBSize, TIEBitmap* Bitmap, const void* Bits, size_t BitsSize) {
  if (!DIB || !Bitmap || DIBSize < kHeaderSize) return 0;
  TPackedDIB p;
  std::memcpy(&p.Header, DIB, kHeaderSize);
  p.Block = static_cast<const Byte*>(DIB);
  p.BlockSize = DIBSize;
  const TIEBitmapInfoHeader& h = p.Header;
  if (h.biSize < kHeaderSize || h.biSize > DIBSize) return 0;
  const Int64 rows = h.biHeight < 0 ? -Int64(h.biHeight) : Int64(h.biHeight);
  if (h.biWidth < 1 || rows < 1 || rows > INT32_MAX) return 0;
  p.Width = h.biWidth;
  p.Height = static_cast<Integer>(rows);
  p.TopDown = h.biHeight < 0;

  TIEBitmap out;
  const TIEYUVConverter yuv = h.biCompression > kBitFields ? IEYUVConverterFor(h.biCompression) : nullptr;
  const TOutcome outcome = yuv ? ReadYUV(p, yuv, static_cast<const Byte*>(Bits), BitsSize, out)
                               : ReadRGB(p, static_cast<const Byte*>(Bits), BitsSize, out);
  if (outcome == TOutcome::Malformed) return 0;
  if (outcome == TOutcome::Unconverted) {
    if (!Bitmap->Allocate(p.Width, p.Height, FormatOf(p))) return 0;
    Bitmap->Fill(0);
  } else {
    Bitmap->Assign(&out);
  }
  return h.biBitCount;
}

Integer IEDIBToDibbitmap(const void* DIB, size_t DIBSize, TIEDibbitmap* Dest, const void* Bits, size_t BitsSize) {
  if (!Dest) return 0;
  TIEBitmap picture;
  const Integer bpp = IEDIBToBitmap(DIB, DIBSize, &picture, Bits, BitsSize);
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return bpp;
  const Integer w = picture.GetWidth(), h = picture.GetHeight();
  if (!Dest->AllocateBits(w, h, bpp == 1 ? 1 : 24)) return bpp;
  const size_t n = static_cast<size_t>(bpp == 1 ? (w + 7) / 8 : w * 3);
  for (Integer y = 0; y < h; ++y) std::memcpy(Dest->GetScanline(y), picture.GetScanline(y), n);
  return bpp;
}

void* _CopyBitmaptoDIBEx(TIEBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2, Integer DpiX,
                         Integer DpiY, size_t* Size) {
  if (Size) *Size = 0;
  if (!Bitmap || Bitmap->IsEmpty()) return nullptr;
  const TIEPixelFormat format = Bitmap->GetPixelFormat();
  if (format != ie1g && format != ie8p && format != ie8g && format != ie24RGB) {
    TIEBitmap copy;
    copy.Assign(Bitmap);
    copy.SetPixelFormat(ie24RGB);
    if (copy.GetPixelFormat() != ie24RGB) return nullptr;
    return _CopyBitmaptoDIBEx(&copy, X1, Y1, X2, Y2, DpiX, DpiY, Size);
  }
  const Integer bw = Bitmap->GetWidth(), bh = Bitmap->GetHeight();
  if (X2 == 0) X2 = bw;
  if (Y2 == 0) Y2 = bh;
  IEOrderCorners(X1, Y1, X2, Y2);
  X1 = IEClamp(X1, 0, bw);
  X2 = IEClamp(X2, 0, bw);
  Y1 = IEClamp(Y1, 0, bh);
  Y2 = IEClamp(Y2, 0, bh);
  const Integer w = X2 - X1, h = Y2 - Y1;
  if (w < 1 || h < 1) return nullptr;

  const Integer bpp = format == ie1g ? 1 : (format == ie24RGB ? 24 : 8);
  const Int64 rowLen = IEBitmapRowLen(w, bpp, 32);
  const Int64 tableBytes = format == ie1g ? 8 : (bpp == 8 ? 1024 : 0);
  const Int64 total = tableBytes + rowLen * h + 44;
  Byte* block = static_cast<Byte*>(IEGlobalAlloc(static_cast<size_t>(total)));
  if (!block) return nullptr;

  TIEBitmapInfoHeader header{};
  header.biSize = 40;
  header.biWidth = w;
  header.biHeight = h;
  header.biPlanes = 1;
  header.biBitCount = static_cast<Word>(bpp);
  header.biXPelsPerMeter = SafeTrunc<std::int32_t>(DpiX * 39.3700787);
  header.biYPelsPerMeter = SafeTrunc<std::int32_t>(DpiY * 39.3700787);
  std::memcpy(block, &header, sizeof(header));
  Byte* table = block + 40;
  if (format == ie1g) {
    std::memset(table + 4, 255, 4);
  } else if (bpp == 8) {
    for (Integer i = 0; i < 256; ++i) {
      const TRGB c = format == ie8p ? Bitmap->GetPaletteEntry(i) : TRGB{Byte(i), Byte(i), Byte(i)};
      table[4 * i] = c.b;
      table[4 * i + 1] = c.g;
      table[4 * i + 2] = c.r;
    }
  }
  Byte* rows = table + tableBytes;
  const Integer sourceBytes = Bitmap->GetRowLen();
  for (Integer y = Y2 - 1, i = 0; y >= Y1; --y, ++i) {
    const Byte* s = static_cast<const Byte*>(Bitmap->GetScanline(y));
    Byte* d = rows + rowLen * i;
    if (format == ie1g) IECopyBitRun(d, s, 0, X1, w, sourceBytes);
    else std::memcpy(d, s + static_cast<size_t>(X1) * (bpp / 8), static_cast<size_t>(w) * (bpp / 8));
  }
  if (Size) *Size = static_cast<size_t>(total);
  return block;
}
