#include "imaging/formats/pcx/ie_pcx.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/formats/ie_le_bytes.h"
#include "platform/rtl/exceptions.h"

namespace {

constexpr Integer kHeaderSize = 128;
constexpr Integer kPaletteSize = 768;

AnsiString Num(Int64 V) { return std::to_string(V); }

// The bytes of one image, run-length coded or raw, read from the stream through a buffer and
// never beyond Length bytes. A run may go on into the next line or plane, so the decoder keeps
// what is left of it between lines.
class TPcxInput {
 public:
  TPcxInput(TStream* Stream, Int64 Length, bool Rle)
      : FStream(Stream), FLeft(Length > 0 ? Length : 0), FRle(Rle), FBuffer(kBufferSize) {}
  // Fills Count bytes; False when the data ended before them (the rest are zero).
  bool Line(Byte* Dest, size_t Count) {
    size_t i = 0;
    while (i < Count) {
      if (FRun > 0) {
        const size_t n = std::min(FRun, Count - i);
        std::memset(Dest + i, FValue, n);
        i += n;
        FRun -= n;
        continue;
      }
      if (FPos == FLen && !Fill()) break;
      if (!FRle) {
        const size_t n = std::min(Count - i, FLen - FPos);
        std::memcpy(Dest + i, FBuffer.data() + FPos, n);
        FPos += n;
        i += n;
        continue;
      }
      // Plain bytes and whole runs are taken here while the buffer and the line last; a run
      // that goes on past the line, or whose two bytes the buffer splits, is left to the steps
      // around.
      const Byte* p = FBuffer.data() + FPos;
      const Byte* const end = FBuffer.data() + FLen;
      while (i < Count && p < end) {
        const Byte b = *p;
        if (b < 0xC0) {
          Dest[i++] = b;
          ++p;
          continue;
        }
        if (end - p < 2) break;
        const size_t run = b & 0x3F;
        const Byte value = p[1];
        p += 2;
        const size_t n = std::min(run, Count - i);
        for (size_t k = 0; k < n; ++k) Dest[i + k] = value;
        i += n;
        if (n < run) {
          FRun = run - n;
          FValue = value;
          break;
        }
      }
      FPos = size_t(p - FBuffer.data());
      if (i == Count || FPos == FLen || FRun > 0) continue;
      const Byte b = FBuffer[FPos++];
      if (FPos == FLen && !Fill()) break;
      FRun = b & 0x3F;
      FValue = FBuffer[FPos++];
    }
    if (i == Count) return true;
    std::memset(Dest + i, 0, Count - i);
    return false;
  }

 private:
  static constexpr size_t kBufferSize = 65536;
  bool Fill() {
    FPos = FLen = 0;
    if (FLeft <= 0) return false;
    const Integer got = FStream->Read(FBuffer.data(), Integer(std::min<Int64>(FLeft, Int64(FBuffer.size()))));
    if (got <= 0) {
      FLeft = 0;
      return false;
    }
    FLen = size_t(got);
    FLeft -= got;
    return true;
  }
  TStream* FStream;
  Int64 FLeft;
  bool FRle;
  std::vector<Byte> FBuffer;
  size_t FPos = 0, FLen = 0;
  size_t FRun = 0;
  Byte FValue = 0;
};

// How the planes and bits of a line make pixels.
enum class TPcxKind { Mono, Packed, Indexed8, Planar, RGB };

void ReadBody(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& P, Int64 Size, TIECodecProgress& Progress,
              bool Preview) {
  const Int64 start = Stream->Position();
  const Int64 remaining = IEStreamRemaining(Stream);
  if (remaining >= 0 && Size > remaining) Size = remaining;
  if (Size < kHeaderSize) return IEFail(Progress, "the PCX file is too short for its header (" + Num(Size) + " bytes)");
  Byte h[kHeaderSize];
  if (Stream->Read(h, kHeaderSize) != kHeaderSize) return IEFail(Progress, "the PCX header cannot be read");
  if (h[0] != 0x0A) return IEFail(Progress, "not a PCX image: its first byte is " + Num(h[0]) + ", not 10");
  const Integer encoding = h[2], bits = h[3], planes = h[65], lineBytes = IEGetLE16(h + 66);
  if (encoding > 1) return IEFail(Progress, "the PCX encoding " + Num(encoding) + " is neither raw (0) nor run-length (1)");
  if (bits > 8) return IEFail(Progress, "PCX images of " + Num(bits) + " bits per pixel are not supported");
  const Int64 width = Int64(IEGetLE16(h + 8)) - IEGetLE16(h + 4) + 1, height = Int64(IEGetLE16(h + 10)) - IEGetLE16(h + 6) + 1;
  if (width < 1 || height < 1)
    return IEFail(Progress, "the PCX window gives no pixels (" + Num(width) + " x " + Num(height) + ")");
  // One bit in one plane is black and white unless the header gives it two other colours;
  // a header whose two entries are equal (old files leave them zero) gives none.
  const bool blackWhite = std::memcmp(h + 16, h + 19, 3) == 0 ||
                          (h[16] == 0 && h[17] == 0 && h[18] == 0 && h[19] == 255 && h[20] == 255 && h[21] == 255);
  TPcxKind kind;
  if (planes == 1 && bits == 1 && blackWhite) kind = TPcxKind::Mono;
  else if (planes == 1 && (bits == 1 || bits == 2 || bits == 4)) kind = TPcxKind::Packed;
  else if (planes == 1 && bits == 8) kind = TPcxKind::Indexed8;
  else if (bits == 1 && planes >= 2 && planes <= 4) kind = TPcxKind::Planar;
  else if (bits == 8 && (planes == 3 || planes == 4)) kind = TPcxKind::RGB;
  else return IEFail(Progress, "PCX images of " + Num(bits) + " bits in " + Num(planes) + " planes are not supported");
  const Int64 usedBytes = (width * bits + 7) / 8;
  if (lineBytes < usedBytes)
    return IEFail(Progress, "the PCX lines of " + Num(lineBytes) + " bytes are too short for " + Num(width) +
                                " pixels of " + Num(bits) + " bits");

  const Integer dpiX = IEGetLE16(h + 12), dpiY = IEGetLE16(h + 14);
  P.SetDpiX(dpiX && dpiY ? dpiX : IEGlobalDefaultDpiX);
  P.SetDpiY(dpiX && dpiY ? dpiY : IEGlobalDefaultDpiY);
  P.BitsPerSample = bits;
  P.SamplesPerPixel = planes;
  P.Width = P.OriginalWidth = Integer(width);
  P.Height = P.OriginalHeight = Integer(height);
  P.PcxVersion = h[1];
  std::free(P.ColorMap);
  P.ColorMap = nullptr;
  P.ColorMapCount = 0;

  TRGB palette[256] = {};
  for (Integer i = 0; i < 16; ++i) palette[i] = IECreateRGB(h[16 + 3 * i], h[17 + 3 * i], h[18 + 3 * i]);
  if (kind == TPcxKind::Mono) {
    palette[0] = IECreateRGB(0, 0, 0);
    palette[1] = IECreateRGB(255, 255, 255);
  }
  Int64 dataBytes = Size - kHeaderSize;
  Integer colours = 0;
  if (kind == TPcxKind::Indexed8) {
    // The palette ends the image, after a 0x0C byte that old writers did not always put there.
    if (Size < kHeaderSize + kPaletteSize)
      return IEFail(Progress, "the 8-bit PCX image of " + Num(Size) + " bytes has no room for its palette");
    Byte pal[kPaletteSize];
    Stream->SetPosition(start + Size - kPaletteSize);
    if (Stream->Read(pal, kPaletteSize) != kPaletteSize) return IEFail(Progress, "the PCX palette cannot be read");
    for (Integer i = 0; i < 256; ++i) palette[i] = IECreateRGB(pal[3 * i], pal[3 * i + 1], pal[3 * i + 2]);
    Stream->SetPosition(start + kHeaderSize);
    dataBytes -= kPaletteSize + 1;
    colours = 256;
  } else if (kind == TPcxKind::Planar) {
    colours = 1 << planes;
    P.BitsPerSample = planes;
    P.SamplesPerPixel = 1;
  } else if (kind != TPcxKind::RGB) {
    colours = 1 << bits;
  }
  if (colours > 0) {
    P.ColorMap = static_cast<TRGB*>(std::malloc(sizeof(TRGB) * size_t(colours)));
    if (!P.ColorMap) throw std::bad_alloc();
    std::memcpy(P.ColorMap, palette, sizeof(TRGB) * size_t(colours));
    P.ColorMapCount = colours;
  }
  if (Preview) return;

  // A run covers at most 63 bytes and takes two.
  const Int64 lineSet = Int64(lineBytes) * planes;
  const Int64 coded = lineSet * height;
  const Int64 needed = encoding ? (coded + 62) / 63 * 2 : coded;
  if (!IECheckInputHolds(Progress, "the PCX image data", width, height, needed, std::max<Int64>(dataBytes, 0))) return;
  const TIEPixelFormat format = kind == TPcxKind::Mono ? ie1g : ie24RGB;
  if (IEAllocateImage(Progress, Bitmap, width, height, format) == ieNull) return;
  const Integer w = Integer(width), hgt = Integer(height);

  TPcxInput in(Stream, std::min<Int64>(Size - kHeaderSize, 0x7FFFFFFF), encoding == 1);
  std::vector<Byte> line(static_cast<size_t>(lineSet));
  TIERowStepper step(Progress, hgt);
  Integer wholeRows = -1;
  for (Integer y = 0; y < hgt; ++y) {
    if (!in.Line(line.data(), line.size()) && wholeRows < 0) wholeRows = y;
    Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
    TRGB* px = reinterpret_cast<TRGB*>(row);
    const Byte* l = line.data();
    switch (kind) {
      case TPcxKind::Mono: std::memcpy(row, l, size_t(usedBytes)); break;
      case TPcxKind::Packed: {
        const Integer mask = (1 << bits) - 1, perByte = 8 / bits;
        for (Integer x = 0; x < w; ++x)
          px[x] = palette[(l[x / perByte] >> (8 - bits - (x % perByte) * bits)) & mask];
        break;
      }
      case TPcxKind::Indexed8:
        for (Integer x = 0; x < w; ++x) px[x] = palette[l[x]];
        break;
      case TPcxKind::Planar:
        for (Integer x = 0; x < w; ++x) {
          Integer index = 0;
          for (Integer p = 0; p < planes; ++p) index |= Integer(IEGetBit(l + size_t(p) * lineBytes, x)) << p;
          px[x] = palette[index];
        }
        break;
      case TPcxKind::RGB:
        for (Integer x = 0; x < w; ++x) px[x] = IECreateRGB(l[x], l[lineBytes + x], l[2 * lineBytes + x]);
        break;
    }
    if (!step.Next()) return;
  }
  if (wholeRows >= 0)
    IEFail(Progress, "the PCX image data ends after " + Num(wholeRows) + " of its " + Num(hgt) + " rows");
}

// Runs never cross the end of the line: each line decodes on its own, as old readers expect.
void EncodeLine(const Byte* Line, size_t Count, std::vector<Byte>& Out) {
  size_t i = 0;
  while (i < Count) {
    const Byte v = Line[i];
    size_t n = 1;
    while (i + n < Count && n < 63 && Line[i + n] == v) ++n;
    if (n > 1 || v >= 0xC0) Out.push_back(Byte(0xC0 + n));
    Out.push_back(v);
    i += n;
  }
}

void WriteBody(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& P, TIECodecProgress& Progress) {
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (w <= 0 || h <= 0) return IEFail(Progress, "an empty image cannot be saved as PCX");
  const Integer depth = P.BitsPerSample == 1 ? 1 : P.BitsPerSample * P.SamplesPerPixel;
  if (depth != 1 && depth != 4 && depth != 8 && depth != 24)
    return IEFail(Progress, "PCX files hold 1, 4, 8 or 24 bits per pixel, not " + Num(depth));
  const Integer planes = depth == 24 ? 3 : 1, bits = depth == 24 ? 8 : depth;
  Int64 lineBytes = depth == 1 ? (Int64(w) + 7) / 8 : depth == 4 ? (Int64(w) + 1) / 2 : w;
  lineBytes += lineBytes & 1;
  if (lineBytes > 65535 || h > 65536)
    return IEFail(Progress, "an image of " + Num(w) + " x " + Num(h) + " pixels is too large for PCX");

  std::unique_ptr<TIEBitmap> copy;
  TIEBitmap* src = Bitmap;
  auto ownCopy = [&](TIEPixelFormat F) {
    copy = std::make_unique<TIEBitmap>();
    copy->Assign(Bitmap);
    if (copy->GetPixelFormat() != F) copy->SetPixelFormat(F);
    src = copy.get();
  };
  TRGB palette[256] = {};
  bool twoColours = false;
  std::unique_ptr<TIEQuantizer> quantizer;
  if (depth == 1) {
    palette[1] = IECreateRGB(255, 255, 255);
    if (Bitmap->GetPixelFormat() != ie1g) {
      ownCopy(ie24RGB);
      TRGB exact[2];
      TIEExactPalette* table = IEExactPaletteCreate(copy.get(), 2, exact);
      if (table && table->Colors.size() == 2) {
        twoColours = true;
        const bool firstDarker = IERGBToGray(exact[0]) <= IERGBToGray(exact[1]);
        palette[0] = firstDarker ? exact[0] : exact[1];
        palette[1] = firstDarker ? exact[1] : exact[0];
      }
      IEExactPaletteFree(table);
      if (!twoColours) copy->SetPixelFormat(ie1g);
    }
  } else {
    if (Bitmap->GetPixelFormat() != ie24RGB) ownCopy(ie24RGB);
    if (depth != 24) quantizer = std::make_unique<TIEQuantizer>(src, palette, depth == 4 ? 16 : 256);
  }

  Byte hd[kHeaderSize] = {};
  hd[0] = 0x0A;
  hd[1] = Byte(P.PcxVersion);
  hd[2] = P.PcxCompression ? 1 : 0;
  hd[3] = Byte(bits);
  IEPutLE16(hd + 8, w - 1);
  IEPutLE16(hd + 10, h - 1);
  IEPutLE16(hd + 12, P.DpiX);
  IEPutLE16(hd + 14, P.DpiY);
  if (depth <= 4)
    for (Integer i = 0; i < 16; ++i) {
      hd[16 + 3 * i] = palette[i].r;
      hd[17 + 3 * i] = palette[i].g;
      hd[18 + 3 * i] = palette[i].b;
    }
  hd[65] = Byte(planes);
  IEPutLE16(hd + 66, Integer(lineBytes));
  IEPutLE16(hd + 68, depth == 24 ? 0 : 1);
  bool aborting = IEAborting(Progress);
  IESafeStreamWrite(Stream, aborting, hd, kHeaderSize);

  const bool rle = hd[2] == 1;
  std::vector<Byte> line(static_cast<size_t>(lineBytes) * planes), coded;
  TIERowStepper step(Progress, h);
  for (Integer y = 0; y < h && !aborting; ++y) {
    std::fill(line.begin(), line.end(), 0);
    const Byte* row = static_cast<const Byte*>(src->GetScanline(y));
    const TRGB* px = reinterpret_cast<const TRGB*>(row);
    auto index = [&](Integer x) { return Byte(std::clamp(quantizer->RGBIndex(px[x]), 0, depth == 4 ? 15 : 255)); };
    if (depth == 1 && twoColours) {
      for (Integer x = 0; x < w; ++x) IESetBit(line.data(), x, px[x] == palette[1]);
    } else if (depth == 1) {
      std::memcpy(line.data(), row, (size_t(w) + 7) / 8);
    } else if (depth == 4) {
      for (Integer x = 0; x < w; ++x) line[size_t(x) / 2] |= (x & 1) ? index(x) : Byte(index(x) << 4);
    } else if (depth == 8) {
      for (Integer x = 0; x < w; ++x) line[size_t(x)] = index(x);
    } else {
      for (Integer x = 0; x < w; ++x) {
        line[size_t(x)] = px[x].r;
        line[size_t(lineBytes + x)] = px[x].g;
        line[size_t(2 * lineBytes + x)] = px[x].b;
      }
    }
    if (rle) {
      coded.clear();
      for (Integer p = 0; p < planes; ++p) EncodeLine(line.data() + size_t(p) * lineBytes, size_t(lineBytes), coded);
      IESafeStreamWrite(Stream, aborting, coded.data(), Integer(coded.size()));
    } else {
      IESafeStreamWrite(Stream, aborting, line.data(), Integer(line.size()));
    }
    if (!step.Next()) aborting = true;
  }
  if (depth == 8 && !aborting) {
    Byte pal[1 + kPaletteSize];
    pal[0] = 0x0C;
    for (Integer i = 0; i < 256; ++i) {
      pal[1 + 3 * i] = palette[i].r;
      pal[2 + 3 * i] = palette[i].g;
      pal[3 + 3 * i] = palette[i].b;
    }
    IESafeStreamWrite(Stream, aborting, pal, 1 + kPaletteSize);
  }
  if (aborting && !IEAborting(Progress)) IEFail(Progress, "the PCX image could not be written completely (disk full?)");
}

// The page offsets of the DCX at the stream's position (after its signature has been checked);
// False when the table is cut short or an offset lies beyond the stream.
bool ReadDcxTable(TStream* Stream, std::vector<DWORD>& Offsets) {
  Offsets.clear();
  const Int64 size = Stream->Size();
  Byte b[4];
  if (Stream->Read(b, 4) != 4 || IEGetLE32(b) != IEDcxMagic) return false;
  for (Integer i = 0; i < IEDcxMaxPages; ++i) {
    if (Stream->Read(b, 4) != 4) return false;
    const DWORD offset = IEGetLE32(b);
    if (offset == 0) break;
    if (Int64(offset) >= size) return false;
    Offsets.push_back(offset);
  }
  return true;
}

// A page runs to the nearest larger offset of another page, or to the end of the stream.
Int64 DcxPageSize(const std::vector<DWORD>& Offsets, size_t Page, Int64 StreamSize) {
  Int64 end = StreamSize;
  for (DWORD o : Offsets)
    if (o > Offsets[Page] && Int64(o) < end) end = o;
  return end - Offsets[Page];
}

void WriteDcxBody(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& P, TIECodecProgress& Progress) {
  const Int64 size = Stream->Size();
  std::vector<DWORD> old;
  if (size > 0) {
    Stream->SetPosition(0);
    if (!IsDCX(Stream) || !ReadDcxTable(Stream, old))
      return IEFail(Progress, "the stream holds no DCX file to add a page to");
  }
  const Int64 count = Int64(old.size()), index = P.DcxImageIndex;
  if (index < 0 || index > count)
    return IEFail(Progress, "page " + Num(index) + " cannot be inserted into a DCX file of " + Num(count) + " pages");
  if (count >= IEDcxMaxPages)
    return IEFail(Progress, "the DCX file already holds the " + Num(IEDcxMaxPages) + " pages its table can list");

  TMemoryStream out;
  std::vector<Byte> head(size_t(4 + 4 * (count + 2)), 0);
  IEPutLE32(head.data(), IEDcxMagic);
  out.WriteBuffer(head.data(), Int64(head.size()));
  std::vector<DWORD> offsets;
  for (Int64 page = 0; page <= count; ++page) {
    if (page == index) {
      offsets.push_back(DWORD(out.Position()));
      WritePCXStream(&out, Bitmap, P, Progress);
      if (IEAborting(Progress)) return;
    }
    if (page < count) {
      const Int64 bytes = DcxPageSize(old, size_t(page), size);
      Stream->SetPosition(old[size_t(page)]);
      if (out.Position() + bytes > 0xFFFFFFFFLL) return IEFail(Progress, "the DCX file would outgrow its 32-bit offsets");
      offsets.push_back(DWORD(out.Position()));
      if (bytes > 0) out.CopyFrom(Stream, bytes);
    }
  }
  if (out.Size() > 0xFFFFFFFFLL) return IEFail(Progress, "the DCX file would outgrow its 32-bit offsets");
  out.SetPosition(4);
  for (DWORD o : offsets) {
    Byte b[4];
    IEPutLE32(b, o);
    out.WriteBuffer(b, 4);
  }
  Stream->SetSize(0);
  Stream->SetPosition(0);
  out.SetPosition(0);
  Stream->CopyFrom(&out, out.Size());
}

template <class TBody>
void Guarded(TIECodecProgress& Progress, const char* What, TBody Body) {
  try {
    Body();
  } catch (const std::bad_alloc&) {
    IEFail(Progress, AnsiString("not enough memory to ") + What);
  } catch (const Exception& e) {
    IEFail(Progress, e.Message.empty() ? AnsiString("cannot ") + What : e.Message);
  }
}

}  // namespace

void ReadPCXStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, Int64 Size,
                   TIECodecProgress& Progress, bool Preview) {
  Guarded(Progress, "read the PCX image", [&] { ReadBody(Stream, Bitmap, IOParams, Size, Progress, Preview); });
}

// What the caller's progress handler raises goes on to the caller, as from every writer.
void WritePCXStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress) {
  WriteBody(Stream, Bitmap, IOParams, Progress);
}

bool IsDCX(TStream* Stream) {
  try {
    const Int64 pos = Stream->Position();
    std::vector<DWORD> offsets;
    const bool is = ReadDcxTable(Stream, offsets);
    Stream->SetPosition(pos);
    return is;
  } catch (...) {
    return false;
  }
}

void ReadDCXStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                   bool Preview) {
  Guarded(Progress, "read the DCX file", [&] {
    std::vector<DWORD> offsets;
    if (!IsDCX(Stream) || !ReadDcxTable(Stream, offsets)) return IEFail(Progress, "not a DCX file");
    if (offsets.empty()) return IEFail(Progress, "the DCX file holds no pages");
    const Integer page = std::clamp<Integer>(IOParams.DcxImageIndex, 0, Integer(offsets.size()) - 1);
    IOParams.SetImageIndex(page);
    Stream->SetPosition(offsets[size_t(page)]);
    ReadPCXStream(Stream, Bitmap, IOParams, DcxPageSize(offsets, size_t(page), Stream->Size()), Progress, Preview);
  });
}

void WriteDCXStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress) {
  WriteDcxBody(Stream, Bitmap, IOParams, Progress);
}
