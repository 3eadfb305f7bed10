#include "imaging/formats/tga/ie_tga.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/formats/ie_le_bytes.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr Integer kHeaderSize = 18, kFooterSize = 26;
const char kSignature[] = "TRUEVISION-XFILE.";

AnsiString Num(Int64 V) { return std::to_string(V); }

// Text of a fixed field up to its first zero byte.
AnsiString FieldText(const Byte* p, size_t Max) {
  size_t n = 0;
  while (n < Max && p[n]) ++n;
  return AnsiString(reinterpret_cast<const char*>(p), n);
}

bool KnownDepth(Integer D) { return D == 1 || D == 4 || D == 8 || D == 16 || D == 24 || D == 32; }

bool HeaderValid(const Byte* h) {
  const Integer type = h[2] & 7;
  return (h[2] & ~0x0B) == 0 && type >= 1 && type <= 3 && KnownDepth(h[16]) && h[1] <= 1 && IEGetLE16(h + 12) > 0 &&
         IEGetLE16(h + 14) > 0;
}

// The bytes of the pixel data through an 8 KB buffer.
class TTgaInput : public TIEBufferedInput {
 public:
  explicit TTgaInput(TStream* S) : TIEBufferedInput(S, 8192) {}
};

// One row's units (pixels, or bytes of packed pixels below 8 bits) of UnitBytes each, raw or
// from run-length packets; a packet may go on into the next row, so what is left of it stays.
class TTgaRows {
 public:
  TTgaRows(TTgaInput& In, Integer UnitBytes, bool Rle) : FIn(In), FUnit(size_t(UnitBytes)), FRle(Rle) {}
  bool Row(Byte* Dest, size_t Units) {
    if (!FRle) return FIn.Read(Dest, Units * FUnit);
    size_t i = 0;
    while (i < Units) {
      if (FLeft == 0) {
        Byte head;
        if (!FIn.Read(&head, 1)) return false;
        FLeft = size_t(head & 0x7F) + 1;
        FRepeat = head & 0x80;
        if (FRepeat && !FIn.Read(FValue, FUnit)) return false;
      }
      const size_t n = std::min(FLeft, Units - i);
      if (FRepeat) {
        for (size_t k = 0; k < n; ++k) std::memcpy(Dest + (i + k) * FUnit, FValue, FUnit);
      } else if (!FIn.Read(Dest + i * FUnit, n * FUnit)) {
        return false;
      }
      i += n;
      FLeft -= n;
    }
    return true;
  }

 private:
  TTgaInput& FIn;
  size_t FUnit;
  bool FRle;
  size_t FLeft = 0;
  bool FRepeat = false;
  Byte FValue[4] = {};
};

TRGB From555(Word W) { return TRGB{Byte((W & 31) << 3), Byte(((W >> 5) & 31) << 3), Byte(((W >> 10) & 31) << 3)}; }

void ReadExtension(TStream* S, Int64 Start, Int64 End, TIOParamsVals& P) {
  if (End - Start < kHeaderSize + kFooterSize) return;
  Byte f[kFooterSize];
  S->SetPosition(End - kFooterSize);
  if (S->Read(f, kFooterSize) != kFooterSize || FieldText(f + 8, 18) != kSignature) return;
  const Int64 at = Start + Int64(IEGetLE32(f));
  if (IEGetLE32(f) == 0 || at + IETgaExtensionSize > End) return;
  Byte e[IETgaExtensionSize];
  S->SetPosition(at);
  if (S->Read(e, IETgaExtensionSize) != IETgaExtensionSize) return;
  P.TgaAuthor = FieldText(e + 2, 41);
  P.TgaDescriptor = FieldText(e + 379, 41);
  const Word month = IEGetLE16(e + 367), day = IEGetLE16(e + 369), year = IEGetLE16(e + 371), hour = IEGetLE16(e + 373),
             minute = IEGetLE16(e + 375), second = IEGetLE16(e + 377);
  TDateTime date, time;
  if (month >= 1 && month <= 12 && day >= 1 && day <= 31 && year > 0 && year < 2500 && hour < 24 && minute < 60 &&
      second < 60 && TryEncodeDate(year, month, day, date) && TryEncodeTime(hour, minute, second, 0, time))
    P.TgaDate = date + time;
  P.TgaBackground = IECreateRGB(e[471], e[472], e[473]);
  if (IEGetLE16(e + 474) && IEGetLE16(e + 476)) P.TgaAspectRatio = double(IEGetLE16(e + 474)) / IEGetLE16(e + 476);
  if (IEGetLE16(e + 478) && IEGetLE16(e + 480)) P.TgaGamma = double(IEGetLE16(e + 478)) / IEGetLE16(e + 480);
}

void ReadBody(TStream* S, TIEBitmap* Bitmap, TIOParamsVals& P, TIECodecProgress& Progress, bool Preview,
              TIEMask*& Alpha, bool IgnoreAlpha) {
  const Int64 start = S->Position(), end = S->Size();
  P.TgaAuthor.clear();
  P.TgaDescriptor.clear();
  P.TgaDate = Date();
  P.TgaBackground = TRGB{0, 0, 0};
  P.TgaAspectRatio = 1.0;
  P.TgaGamma = 2.2;
  ReadExtension(S, start, end, P);
  S->SetPosition(start);
  Byte h[kHeaderSize];
  if (S->Read(h, kHeaderSize) != kHeaderSize) return IEFail(Progress, "the Targa file is too short for its header");
  if (!HeaderValid(h))
    return IEFail(Progress, "not a Targa image: type " + Num(h[2]) + ", " + Num(h[16]) + " bits per pixel");
  P.TgaXPos = IEGetLE16(h + 8);
  P.TgaYPos = IEGetLE16(h + 10);
  const Integer type = h[2] & 7, depth = h[16], width = IEGetLE16(h + 12), height = IEGetLE16(h + 14), descriptor = h[17];
  const bool rle = h[2] & 8;
  // The depths each kind of image has: indexes of up to 8 bits, colours of 16 to 32, greys of 1
  // to 8.
  const bool known = (type == 1 && depth <= 8) || (type == 2 && depth >= 16) || (type == 3 && depth <= 8);
  if (!known) return IEFail(Progress, "Targa images of type " + Num(h[2]) + " with " + Num(depth) + " bits per pixel are not supported");
  P.Width = P.OriginalWidth = width;
  P.Height = P.OriginalHeight = height;
  std::vector<Byte> id(h[0]);
  if (!id.empty() && S->Read(id.data(), Integer(id.size())) != Integer(id.size()))
    return IEFail(Progress, "the Targa file ends in its image name");
  P.TgaImageName = FieldText(id.data(), id.size());

  TRGB palette[256];
  Byte paletteAlpha[256];
  bool alphaInPalette = false;
  for (Integer i = 0; i < 256; ++i) {
    palette[i] = IECreateRGB(Byte((i >> 5) * 32 + 28), Byte(((i >> 2) & 7) * 32 + 28), Byte((i & 3) * 64 + 60));
    paletteAlpha[i] = 255;
  }
  std::free(P.ColorMap);
  P.ColorMap = nullptr;
  P.ColorMapCount = 0;
  P.TgaGrayscale = false;
  if (h[1] == 1) {
    const Integer first = IEGetLE16(h + 3), length = IEGetLE16(h + 5), entryBits = h[7];
    const Integer entryBytes = entryBits == 15 || entryBits == 16 ? 2 : entryBits == 24 ? 3 : entryBits == 32 ? 4 : 0;
    if (!entryBytes) return IEFail(Progress, "Targa colour-map entries of " + Num(entryBits) + " bits are not supported");
    std::vector<Byte> map(size_t(length) * entryBytes);
    if (!map.empty() && S->Read(map.data(), Integer(map.size())) != Integer(map.size()))
      return IEFail(Progress, "the Targa file ends in its colour map");
    alphaInPalette = entryBytes == 4;
    // Indexes of 8 bits reach the first 256 entries only; the others are read and dropped.
    for (Integer i = 0; i < length && first + i < 256; ++i) {
      const Byte* e = map.data() + size_t(i) * entryBytes;
      palette[first + i] = entryBytes == 2 ? From555(IEGetLE16(e)) : TRGB{e[0], e[1], e[2]};
      if (entryBytes == 4) paletteAlpha[first + i] = e[3];
    }
    const Integer count = std::min(length, 256);
    if (count > 0) {
      P.ColorMap = static_cast<TRGB*>(std::malloc(sizeof(TRGB) * size_t(count)));
      if (!P.ColorMap) throw std::bad_alloc();
      std::memcpy(P.ColorMap, palette, sizeof(TRGB) * size_t(count));
      P.ColorMapCount = count;
    }
  } else if (depth == 8 || depth == 4) {
    const Integer levels = 1 << depth;
    for (Integer i = 0; i < levels; ++i) palette[i] = IECreateRGB(Byte(i * 255 / (levels - 1)), Byte(i * 255 / (levels - 1)), Byte(i * 255 / (levels - 1)));
    P.TgaGrayscale = type == 3;
  } else if (depth == 1) {
    palette[0] = IECreateRGB(0, 0, 0);
    palette[1] = IECreateRGB(255, 255, 255);
  }
  if (type == 1 && h[1] != 1) return IEFail(Progress, "the colour-mapped Targa image has no colour map");
  P.TgaCompressed = rle;
  P.SetDpiX(IEGlobalDefaultDpiX);
  P.SetDpiY(IEGlobalDefaultDpiY);
  P.BitsPerSample = depth == 16 ? 5 : depth <= 8 ? depth : 8;
  P.SamplesPerPixel = depth == 32 ? 4 : depth >= 16 ? 3 : 1;
  if (Preview) return;

  const Integer unitBytes = depth >= 8 ? depth / 8 : 1;
  const Int64 unitsPerRow = depth >= 8 ? width : (Int64(width) * depth + 7) / 8;
  const Int64 units = unitsPerRow * height;
  // The densest packet repeats one value 128 times; and a packet runs on into the next row.
  const Int64 needed = rle ? (units + 127) / 128 * (1 + unitBytes) : units * unitBytes;
  const Int64 remaining = IEStreamRemaining(S);
  if (!IECheckInputHolds(Progress, "the Targa pixel data", width, height, needed, remaining)) return;
  if (rle && !IECheckSparseImage(Progress, "run-length Targa data", width, height)) return;
  if (IEAllocateImage(Progress, Bitmap, width, height, depth == 1 ? ie1g : ie24RGB) == ieNull) return;
  const bool withAlpha = !IgnoreAlpha && (depth == 32 || (type == 1 && alphaInPalette));
  if (withAlpha) {
    if (!Alpha) Alpha = new TIEMask();
    Alpha->AllocateBits(width, height, 8);
    Alpha->Fill(255);
    Alpha->Full = false;
  }

  TTgaInput in(S);
  TTgaRows rows(in, unitBytes, rle);
  std::vector<Byte> raw(size_t(unitsPerRow) * unitBytes);
  std::vector<TRGB> colours(static_cast<size_t>(width));
  std::vector<Byte> alphaRow(static_cast<size_t>(width), 255), bitsRow(static_cast<size_t>(unitsPerRow));
  const bool topDown = descriptor & 0x20, mirrored = descriptor & 0x10;
  TIERowStepper step(Progress, height);
  for (Integer n = 0; n < height; ++n) {
    const Integer y = topDown ? n : height - 1 - n;
    if (!rows.Row(raw.data(), size_t(unitsPerRow))) {
      // What was decoded stays; the rows the data did not reach are black.
      for (Integer k = n; k < height; ++k) {
        const Integer yy = topDown ? k : height - 1 - k;
        std::memset(Bitmap->GetScanline(yy), 0, size_t(depth == 1 ? (width + 7) / 8 : width * 3));
      }
      return IEFail(Progress, "the Targa pixel data ends after " + Num(n) + " of its " + Num(height) + " rows");
    }
    Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
    if (depth == 1) {
      if (!mirrored) {
        std::memcpy(row, raw.data(), bitsRow.size());
      } else {
        std::fill(bitsRow.begin(), bitsRow.end(), 0);
        for (Integer x = 0; x < width; ++x) IESetBit(bitsRow.data(), width - 1 - x, IEGetBit(raw.data(), x));
        std::memcpy(row, bitsRow.data(), bitsRow.size());
      }
    } else {
      for (Integer x = 0; x < width; ++x) {
        const Byte* v = raw.data() + size_t(x) * unitBytes;
        TRGB c;
        Byte a = 255;
        switch (depth) {
          case 4: {
            const Byte index = (raw[size_t(x) / 2] >> ((x & 1) ? 0 : 4)) & 15;
            c = palette[index];
            a = paletteAlpha[index];
            break;
          }
          case 8:
            c = palette[v[0]];
            a = paletteAlpha[v[0]];
            break;
          case 16: c = From555(IEGetLE16(v)); break;
          case 24: c = TRGB{v[0], v[1], v[2]}; break;
          default:
            c = TRGB{v[0], v[1], v[2]};
            a = v[3];
            break;
        }
        const Integer at = mirrored ? width - 1 - x : x;
        colours[size_t(at)] = c;
        alphaRow[size_t(at)] = a;
      }
      std::memcpy(row, colours.data(), size_t(width) * 3);
      if (withAlpha) std::memcpy(Alpha->GetScanline(y), alphaRow.data(), size_t(width));
    }
    if (!step.Next()) break;
  }
  if (withAlpha) {
    Alpha->SyncRect();
    if (Alpha->IsEmpty()) {
      delete Alpha;
      Alpha = nullptr;
    }
  }
}

// Each row on its own: runs of 2 to 128 equal pixels become run packets, what lies between them
// raw packets of up to 128 pixels.
void EncodeRow(const Byte* Row, Integer Count, Integer Unit, std::vector<Byte>& Out) {
  auto same = [&](Integer a, Integer b) { return std::memcmp(Row + size_t(a) * Unit, Row + size_t(b) * Unit, size_t(Unit)) == 0; };
  Integer i = 0;
  while (i < Count) {
    Integer run = 1;
    while (i + run < Count && run < 128 && same(i, i + run)) ++run;
    if (run >= 2) {
      Out.push_back(Byte(0x80 | (run - 1)));
      Out.insert(Out.end(), Row + size_t(i) * Unit, Row + size_t(i + 1) * Unit);
      i += run;
      continue;
    }
    Integer n = 1;
    while (i + n < Count && n < 128 && !(i + n + 1 < Count && same(i + n, i + n + 1))) ++n;
    Out.push_back(Byte(n - 1));
    Out.insert(Out.end(), Row + size_t(i) * Unit, Row + size_t(i + n) * Unit);
    i += n;
  }
}

// A ratio as numerator / denominator of 16 bits each, as exact as the numerator allows.
void PutRatio(Byte* p, double V) {
  Integer num = 0, den = 0;
  if (std::isfinite(V) && V > 0)
    for (Integer d : {10000, 1000, 100, 10, 1})
      if (std::trunc(V * d) <= 65535) {
        num = Integer(std::trunc(V * d));
        den = d;
        break;
      }
  IEPutLE16(p, num);
  IEPutLE16(p + 2, den);
}

void PutText(Byte* p, const AnsiString& S, size_t Max) { std::memcpy(p, S.data(), std::min(S.size(), Max)); }

void WriteBody(TStream* S, TIEBitmap* Bitmap, TIOParamsVals& P, TIECodecProgress& Progress, TIEMask* Alpha) {
  const Int64 start = S->Position();
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (w <= 0 || h <= 0) return IEFail(Progress, "an empty image cannot be saved as Targa");
  if (w > 65535 || h > 65535) return IEFail(Progress, "an image of " + Num(w) + " x " + Num(h) + " pixels is too large for Targa");
  Integer depth;
  if (P.SamplesPerPixel == 1 && P.BitsPerSample == 1) depth = 1;
  else if (P.SamplesPerPixel == 1 && P.BitsPerSample == 4) depth = 4;
  else if (P.SamplesPerPixel == 1 && P.BitsPerSample == 8) depth = 8;
  else depth = Alpha && !Alpha->Full && Alpha->Width >= w && Alpha->Height >= h ? 32 : 24;
  if (depth != 8 && depth != 24) P.TgaCompressed = false;
  const bool grey = depth == 8 && P.TgaGrayscale, mapped = depth == 4 || (depth == 8 && !grey);

  std::unique_ptr<TIEBitmap> copy;
  TIEBitmap* src = Bitmap;
  if (Bitmap->GetPixelFormat() != (depth == 1 ? ie1g : ie24RGB) && !(depth == 1 && Bitmap->GetPixelFormat() == ie24RGB)) {
    copy = std::make_unique<TIEBitmap>();
    copy->Assign(Bitmap);
    copy->SetPixelFormat(ie24RGB);
    src = copy.get();
  }
  TRGB palette[256] = {};
  TRGB lighter{255, 255, 255};
  bool twoColours = false;
  if (depth == 1 && src->GetPixelFormat() == ie24RGB) {
    TRGB exact[2];
    TIEExactPalette* table = IEExactPaletteCreate(src, 2, exact);
    twoColours = table && table->Colors.size() == 2;
    if (twoColours) lighter = IERGBToGray(exact[0]) > IERGBToGray(exact[1]) ? exact[0] : exact[1];
    IEExactPaletteFree(table);
    if (!twoColours) {
      if (!copy) {
        copy = std::make_unique<TIEBitmap>();
        copy->Assign(Bitmap);
      }
      copy->SetPixelFormat(ie1g);
      src = copy.get();
    }
  }
  std::unique_ptr<TIEQuantizer> quantizer;
  if (mapped) {
    const Integer colours = 1 << depth;
    quantizer = std::make_unique<TIEQuantizer>(src, palette, colours);
    std::free(P.ColorMap);
  P.ColorMap = nullptr;
  P.ColorMapCount = 0;
    P.ColorMap = static_cast<TRGB*>(std::malloc(sizeof(TRGB) * size_t(colours)));
    if (!P.ColorMap) throw std::bad_alloc();
    std::memcpy(P.ColorMap, palette, sizeof(TRGB) * size_t(colours));
    P.ColorMapCount = colours;
  }
  const bool rle = P.TgaCompressed;

  const AnsiString name = P.TgaImageName.substr(0, 254);
  Byte hd[kHeaderSize] = {};
  hd[0] = Byte(name.size() + 1);
  hd[1] = mapped ? 1 : 0;
  hd[2] = Byte((depth == 1 || grey ? 3 : mapped ? 1 : 2) + (rle ? 8 : 0));
  if (mapped) {
    IEPutLE16(hd + 5, 1 << depth);
    hd[7] = 24;
  }
  IEPutLE16(hd + 8, P.TgaXPos);
  IEPutLE16(hd + 10, P.TgaYPos);
  IEPutLE16(hd + 12, w);
  IEPutLE16(hd + 14, h);
  hd[16] = Byte(depth);
  hd[17] = Byte(0x20 | (depth == 32 ? 8 : 0));
  bool aborting = IEAborting(Progress);
  IESafeStreamWrite(S, aborting, hd, kHeaderSize);
  std::vector<Byte> text(name.begin(), name.end());
  text.push_back(0);
  IESafeStreamWrite(S, aborting, text.data(), Integer(text.size()));
  if (mapped) {
    std::vector<Byte> map(size_t(3) << depth);
    for (Integer i = 0; i < (1 << depth); ++i) std::memcpy(map.data() + 3 * i, &palette[i], 3);
    IESafeStreamWrite(S, aborting, map.data(), Integer(map.size()));
  }

  const Integer unit = depth >= 8 ? depth / 8 : 1;
  const size_t rowBytes = depth == 1 ? (size_t(w) + 7) / 8 : depth == 4 ? (size_t(w) + 1) / 2 : size_t(w) * unit;
  std::vector<Byte> out(rowBytes), coded;
  TIERowStepper step(Progress, h);
  for (Integer y = 0; y < h && !aborting; ++y) {
    const Byte* row = static_cast<const Byte*>(src->GetScanline(y));
    const TRGB* px = reinterpret_cast<const TRGB*>(row);
    std::fill(out.begin(), out.end(), 0);
    auto index = [&](Integer x) { return Byte(std::clamp(quantizer->RGBIndex(px[x]), 0, (1 << depth) - 1)); };
    switch (depth) {
      case 1:
        if (twoColours)
          for (Integer x = 0; x < w; ++x) IESetBit(out.data(), x, px[x] == lighter);
        else
          std::memcpy(out.data(), row, rowBytes);
        break;
      case 4:
        for (Integer x = 0; x < w; ++x) out[size_t(x) / 2] |= (x & 1) ? index(x) : Byte(index(x) << 4);
        break;
      case 8:
        for (Integer x = 0; x < w; ++x) out[size_t(x)] = grey ? Byte(IERGBToGray(px[x])) : index(x);
        break;
      case 24: std::memcpy(out.data(), row, rowBytes); break;
      default: {
        const Byte* a = Alpha->GetScanline(y);
        for (Integer x = 0; x < w; ++x) {
          std::memcpy(out.data() + 4 * size_t(x), &px[x], 3);
          out[4 * size_t(x) + 3] = Alpha->BitsPerPixel == 8 ? a[x] : (IEGetBit(a, x) ? 255 : 0);
        }
      }
    }
    if (rle) {
      coded.clear();
      EncodeRow(out.data(), w, unit, coded);
      IESafeStreamWrite(S, aborting, coded.data(), Integer(coded.size()));
    } else {
      IESafeStreamWrite(S, aborting, out.data(), Integer(rowBytes));
    }
    if (!step.Next()) aborting = true;
  }

  const Int64 extension = S->Position() - start;
  Byte e[IETgaExtensionSize] = {};
  IEPutLE16(e, IETgaExtensionSize);
  PutText(e + 2, P.TgaAuthor, 40);
  Word year, month, day, hour, minute, second, ms;
  DecodeDate(P.TgaDate, year, month, day);
  DecodeTime(P.TgaDate, hour, minute, second, ms);
  IEPutLE16(e + 367, month);
  IEPutLE16(e + 369, day);
  IEPutLE16(e + 371, year);
  IEPutLE16(e + 373, hour);
  IEPutLE16(e + 375, minute);
  IEPutLE16(e + 377, second);
  PutText(e + 379, P.TgaDescriptor, 40);
  e[471] = P.TgaBackground.r;
  e[472] = P.TgaBackground.g;
  e[473] = P.TgaBackground.b;
  PutRatio(e + 474, P.TgaAspectRatio);
  PutRatio(e + 478, P.TgaGamma);
  Byte f[kFooterSize] = {};
  IEPutLE32(f, DWORD(extension));
  std::memcpy(f + 8, kSignature, sizeof kSignature);
  if (!aborting) IESafeStreamWrite(S, aborting, e, IETgaExtensionSize);
  if (!aborting) IESafeStreamWrite(S, aborting, f, kFooterSize);
  if (aborting && !IEAborting(Progress)) IEFail(Progress, "the Targa image could not be written completely (disk full?)");
}

}  // namespace

bool IsTGA(TStream* Stream) {
  try {
    const Int64 pos = Stream->Position();
    Byte h[kHeaderSize];
    const bool got = Stream->Read(h, kHeaderSize) == kHeaderSize;
    Stream->SetPosition(pos);
    return got && HeaderValid(h);
  } catch (...) {
    return false;
  }
}

void ReadTGAStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                   bool Preview, TIEMask*& AlphaChannel, bool IgnoreAlpha) {
  try {
    ReadBody(Stream, Bitmap, IOParams, Progress, Preview, AlphaChannel, IgnoreAlpha);
  } catch (const std::bad_alloc&) {
    IEFail(Progress, "not enough memory to read the Targa image");
  } catch (const Exception& e) {
    IEFail(Progress, e.Message.empty() ? AnsiString("the Targa image cannot be read") : e.Message);
  }
}

// What the caller's progress handler raises goes on to the caller, as from every writer.
void WriteTGAStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                    TIEMask* AlphaChannel) {
  WriteBody(Stream, Bitmap, IOParams, Progress, AlphaChannel);
}
