#include "imaging/formats/gif/ie_gif.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/core/ie_streams.h"
#include "imaging/formats/compression/ie_lzw.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/lists.h"

namespace {

Integer Word16(const Byte* P) { return P[0] | P[1] << 8; }

// The codec reports fixed milestones rather than rows.
void IEReportProgress(TIECodecProgress& Progress, Integer Percent) {
  if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, Percent);
}

// Skips data sub-blocks up to and past the zero length (or to the end of the stream).
void SkipSubBlocks(TStream* S) {
  Byte len = 0;
  while (S->Read(&len, 1) == 1 && len != 0) S->Seek(len, soCurrent);
}

// A colour table of Entries entries, blue-green-red in memory; false when the stream ends.
bool ReadTable(TStream* S, Integer Entries, std::vector<TRGB>& Table) {
  std::vector<Byte> raw(size_t(Entries) * 3);
  if (S->Read(raw.data(), Integer(raw.size())) != Integer(raw.size())) return false;
  Table.resize(size_t(Entries));
  for (Integer i = 0; i < Entries; ++i) Table[size_t(i)] = TRGB{raw[3 * i + 2], raw[3 * i + 1], raw[3 * i]};
  return true;
}

struct TExactPaletteFree {
  void operator()(TIEExactPalette* Table) const { IEExactPaletteFree(Table); }
};

struct TWorkBufferFree {
  void operator()(Byte* Block) const { std::free(Block); }
};

// The most pixels one data byte can stand for: a 12-bit code for a string of 4095 pixels.
constexpr Int64 kMaxPixelsPerByte = 4095 * 8 / 12 + 1;

void ReadBody(TStream* Stream, TIEBitmap* Bitmap, Integer& FrameCount, TIOParamsVals& P, TIECodecProgress& Progress,
              bool Preview, TIEMask*& AlphaChannel, bool IgnoreAlpha) {
  FrameCount = 0;
  IEReportProgress(Progress, 0);
  Byte head[13];
  if (Stream->Read(head, 13) != 13 || head[0] != 'G' || head[1] != 'I' || head[2] != 'F')
    return IEFail(Progress, "not a GIF file: the signature \"GIF\" is missing");
  P.GifVersion = AnsiString(reinterpret_cast<const char*>(head), 6);
  P.GifWinWidth = Word16(head + 6);
  P.GifWinHeight = Word16(head + 8);
  P.GifRatio = head[12];
  P.SetDpiX(IEGlobalDefaultDpiX);
  P.SetDpiY(IEGlobalDefaultDpiY);
  P.SamplesPerPixel = 1;
  // Each read lists the comments of the whole file once, however often the file is read.
  if (P.GifComments) P.GifComments->Clear();
  std::vector<TRGB> global;
  Integer globalBits = 0;
  if (head[10] & 0x80) {
    globalBits = (head[10] & 7) + 1;
    if (!ReadTable(Stream, 1 << globalBits, global)) return IEFail(Progress, "the GIF file ends inside its colour table");
    if (head[11] < global.size()) P.GifBackground = global[head[11]];
  }

  const Integer wanted = P.GifImageIndex;
  Byte control[4] = {0, 0, 0, 0};
  bool haveControl = false;
  std::unique_ptr<Byte, TWorkBufferFree> indexes;
  std::vector<TRGB> table;
  Integer tableBits = 0, w = 0, h = 0;
  bool decoded = false;
  AnsiString damage;

  while (!IEAborting(Progress)) {
    Byte intro = 0x3B;
    if (Stream->Read(&intro, 1) != 1) intro = 0x3B;
    if (intro == 0x3B) break;
    if (intro == 0x21) {
      Byte label = 0;
      if (Stream->Read(&label, 1) != 1) break;
      if (label == 0xF9 && FrameCount == wanted) {
        Byte size = 0, block[4];
        if (Stream->Read(&size, 1) == 1 && size == 4 && Stream->Read(block, 4) == 4) {
          std::memcpy(control, block, 4);
          haveControl = true;
          SkipSubBlocks(Stream);
        } else if (size > 0) {
          Stream->Seek(size, soCurrent);
          SkipSubBlocks(Stream);
        }
      } else if (label == 0xFE) {
        Byte len = 0;
        char text[255];
        while (Stream->Read(&len, 1) == 1 && len != 0) {
          const Integer got = Stream->Read(text, len);
          if (got > 0 && P.GifComments) P.GifComments->Add(AnsiString(text, size_t(got)));
          if (got < len) break;
        }
      } else {
        SkipSubBlocks(Stream);
      }
      continue;
    }
    if (intro != 0x2C) continue;
    Byte desc[9];
    if (Stream->Read(desc, 9) != 9) {
      damage = "the GIF file ends inside the descriptor of frame " + std::to_string(FrameCount);
      break;
    }
    std::vector<TRGB> local;
    Integer localBits = 0;
    if (desc[8] & 0x80) {
      localBits = (desc[8] & 7) + 1;
      if (!ReadTable(Stream, 1 << localBits, local)) {
        damage = "the GIF file ends inside the colour table of frame " + std::to_string(FrameCount);
        break;
      }
    }
    if (FrameCount != wanted) {
      Stream->Seek(1, soCurrent);  // code size
      SkipSubBlocks(Stream);
      ++FrameCount;
      continue;
    }
    IEReportProgress(Progress, 30);
    if (IEAborting(Progress)) break;
    const std::vector<TRGB>& colours = local.empty() ? global : local;
    const Byte transparent = control[3];
    P.GifTranspColor = transparent < colours.size() ? colours[transparent] : TRGB{0, 0, 0};
    P.GifXPos = Word16(desc);
    P.GifYPos = Word16(desc + 2);
    w = Word16(desc + 4);
    h = Word16(desc + 6);
    P.Width = P.OriginalWidth = w;
    P.Height = P.OriginalHeight = h;
    P.GifDelayTime = haveControl ? Word16(control + 1) : 0;
    P.GifFlagTranspColor = haveControl && (control[0] & 1);
    P.GifInterlaced = (desc[8] & 0x40) != 0;
    P.GifAction = haveControl ? Byte((control[0] >> 2) & 7) : 0;
    table = colours;
    tableBits = local.empty() ? globalBits : localBits;
    P.BitsPerSample = std::max<Integer>(tableBits, 1);
    std::free(P.ColorMap);
    P.ColorMap = nullptr;
    P.ColorMapCount = 0;
    if (!table.empty()) {
      P.ColorMap = static_cast<TRGB*>(std::malloc(table.size() * sizeof(TRGB)));
      if (P.ColorMap) {
        std::memcpy(P.ColorMap, table.data(), table.size() * sizeof(TRGB));
        P.ColorMapCount = Integer(table.size());
      }
    }
    ++FrameCount;
    if (Preview) {
      Stream->Seek(1, soCurrent);
      SkipSubBlocks(Stream);
      continue;
    }
    if (!IECheckImageSize(Progress, w, h, 24)) break;
    const Int64 remaining = IEStreamRemaining(Stream);
    if (!IECheckInputHolds(Progress, "the GIF image data", w, h, Int64(w) * h / kMaxPixelsPerByte,
                           remaining))
      break;
    const TIEGifLZWDecompressProc decode = IEGifLZWDecompressOf(P);
    if (!decode) {
      IEFail(Progress, "no GIF LZW decoder is installed");
      break;
    }
    // Pixels the data never reaches show the first colour, as other readers show them. The
    // block comes zeroed from the system rather than being cleared page by page.
    indexes.reset(static_cast<Byte*>(IEZeroedWorkBuffer(size_t(w) * size_t(h))));
    if (!indexes) throw std::bad_alloc();
    const TIEGifLZWResult r = decode(Stream, h, w, P.GifInterlaced, indexes.get());
    decoded = true;
    if (r == glzFailed) {
      damage = "the image data of GIF frame " + std::to_string(FrameCount - 1) + " is damaged";
      break;
    }
    if (r == glzShort) {
      damage = "the image data of GIF frame " + std::to_string(FrameCount - 1) + " ends before its last pixel";
      // The frames behind a cut frame are not there to count; go on only when more follows.
    }
    IEReportProgress(Progress, 70);
  }

  if (!Preview && !decoded && damage.empty() && !IEAborting(Progress)) {
    damage = FrameCount == 0 ? AnsiString("the GIF file holds no image")
                             : "the GIF file holds " + std::to_string(FrameCount) + " frames, frame " +
                                   std::to_string(wanted) + " is not among them";
  }
  if (!Preview && decoded && !IEAborting(Progress)) {
    const bool blackWhite = table.size() == 2 && table[0].r == 0 && table[0].g == 0 && table[0].b == 0 &&
                            table[1].r == 255 && table[1].g == 255 && table[1].b == 255;
    const TIEPixelFormat format = blackWhite ? ie1g : P.NativePixelFormat ? ie8p : ie24RGB;
    if (IEAllocateImage(Progress, Bitmap, w, h, format) != ieNull) {
      // A table shorter than the indexes used: what lies beyond it is black.
      std::vector<TRGB> lut(256, TRGB{0, 0, 0});
      std::copy(table.begin(), table.begin() + std::min<size_t>(table.size(), 256), lut.begin());
      if (format == ie8p)
        for (Integer i = 0; i < 256; ++i) Bitmap->SetPaletteEntry(i, lut[size_t(i)]);
      TIEMask* mask = nullptr;
      if (!IgnoreAlpha && P.GifFlagTranspColor) {
        if (!AlphaChannel) AlphaChannel = new TIEMask();
        mask = AlphaChannel;
        mask->AllocateBits(w, h, 8);
        mask->Fill(255);
      }
      const Byte transparent = control[3];
      bool anyTransparent = false;
      for (Integer y = 0; y < h; ++y) {
        const Byte* src = indexes.get() + size_t(y) * size_t(w);
        Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
        if (format == ie1g) {
          std::memset(row, 0, (size_t(w) + 7) / 8);
          for (Integer x = 0; x < w; ++x)
            if (src[x] & 1) row[x >> 3] |= Byte(0x80 >> (x & 7));
        } else if (format == ie8p) {
          std::memcpy(row, src, size_t(w));
        } else {
          TRGB* px = reinterpret_cast<TRGB*>(row);
          for (Integer x = 0; x < w; ++x) px[x] = lut[src[x]];
        }
        if (mask) {
          Byte* m = mask->GetScanline(y);
          for (Integer x = 0; x < w; ++x)
            if (src[x] == transparent) {
              m[x] = 0;
              anyTransparent = true;
            }
        }
      }
      if (mask) {
        if (!anyTransparent) {
          delete AlphaChannel;
          AlphaChannel = nullptr;
        } else {
          mask->SyncFull();
        }
      }
    }
  }
  if (IgnoreAlpha && AlphaChannel) {
    delete AlphaChannel;
    AlphaChannel = nullptr;
  }
  P.GifImageCount = FrameCount;
  P.SetImageCount(FrameCount);
  if (!damage.empty() && !IEAborting(Progress)) return IEFail(Progress, damage);
  if (!IEAborting(Progress)) IEReportProgress(Progress, 100);
}

// --- writing -------------------------------------------------------------------------------

Integer Nearest(const std::vector<TRGB>& Palette, Integer Count, TRGB C) {
  Integer best = 0;
  Int64 bestD = -1;
  for (Integer i = 0; i < Count && i < Integer(Palette.size()); ++i) {
    const Int64 dr = Int64(Palette[size_t(i)].r) - C.r, dg = Int64(Palette[size_t(i)].g) - C.g,
                db = Int64(Palette[size_t(i)].b) - C.b;
    const Int64 d = dr * dr + dg * dg + db * db;
    if (bestD < 0 || d < bestD) {
      bestD = d;
      best = i;
    }
  }
  return best;
}

void WriteBody(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& P, TIECodecProgress& Progress) {
  IEReportProgress(Progress, 0);
  if (IEAborting(Progress)) return;
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (w <= 0 || h <= 0) return IEFail(Progress, "an empty image cannot be saved as a GIF");
  if (w > 65535 || h > 65535)
    return IEFail(Progress, "a GIF holds at most 65535 x 65535 pixels, the image has " + std::to_string(w) + " x " +
                                std::to_string(h));
  const TIEGifLZWCompressProc encode = IEGifLZWCompressOf(P);
  // A GIF table has at most 256 entries: deeper samples are written at 8 bits.
  const Integer depth = P.BitsPerSample <= 1 ? 1 : std::min<Integer>(P.BitsPerSample, 8);
  const bool alpha = Bitmap->HasAlphaChannel();

  std::unique_ptr<TIEBitmap> copy;
  TIEBitmap* src = Bitmap;
  const TIEPixelFormat f = Bitmap->GetPixelFormat();
  const TIEPixelFormat wanted = depth == 1 ? ie1g : (f == ie8p ? ie8p : ie24RGB);
  if (f != wanted) {
    copy = std::make_unique<TIEBitmap>();
    copy->Assign(Bitmap);
    copy->SetPixelFormat(wanted);
    src = copy.get();
  }
  Integer n = 1 << depth;
  if (alpha && depth > 1) {
    --n;
    P.GifFlagTranspColor = true;
  }
  std::vector<TRGB> palette(size_t(1) << depth, TRGB{0, 0, 0});
  std::unique_ptr<Byte, TWorkBufferFree> indexBlock(static_cast<Byte*>(IEZeroedWorkBuffer(size_t(w) * size_t(h))));
  if (!indexBlock) throw std::bad_alloc();
  Byte* const indexes = indexBlock.get();
  std::unique_ptr<TIEQuantizer> quantizer;
  std::unique_ptr<TIEExactPalette, TExactPaletteFree> exact;
  // The position of a colour in the palette, -1 when neither table knows it.
  auto lookUp = [&](TRGB C) -> Integer {
    if (exact) return IEExactPaletteIndex(exact.get(), n, C);
    return quantizer ? quantizer->RGBIndex(C) : -1;
  };
  if (wanted == ie1g) {
    palette[1] = TRGB{255, 255, 255};
    for (Integer y = 0; y < h; ++y) {
      const Byte* row = static_cast<const Byte*>(src->GetScanline(y));
      Byte* d = indexes + size_t(y) * size_t(w);
      for (Integer x = 0; x < w; ++x) d[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
  } else {
    bool own = false;
    if (wanted == ie8p && src->GetPaletteLength() <= n) {
      own = true;
      for (Integer i = 0; i < src->GetPaletteLength(); ++i) palette[size_t(i)] = src->GetPaletteEntry(i);
      for (Integer y = 0; y < h; ++y)
        std::memcpy(indexes + size_t(y) * size_t(w), src->GetScanline(y), size_t(w));
    }
    if (!own) {
      if (wanted == ie8p) {
        copy = std::make_unique<TIEBitmap>();
        copy->Assign(Bitmap);
        copy->SetPixelFormat(ie24RGB);
        src = copy.get();
      }
      // A picture of at most n colours (not grey, which gets the grey ramp) has them as its
      // palette in the order they first appear: the table and the indexes come in one pass.
      if (!src->IsGrayScale()) exact.reset(IEExactPaletteCreate(src, n, palette.data(), indexes));
    }
    if (!own && !exact) {
      quantizer = std::make_unique<TIEQuantizer>(src, palette.data(), n);
      // Neighbours often share a colour: the last lookup answers them.
      TRGB last = TRGB{0, 0, 0};
      Byte lastIndex = 0;
      bool haveLast = false;
      for (Integer y = 0; y < h; ++y) {
        const TRGB* px = static_cast<const TRGB*>(src->GetScanline(y));
        Byte* d = indexes + size_t(y) * size_t(w);
        for (Integer x = 0; x < w; ++x) {
          if (!haveLast || !(px[x] == last)) {
            const Integer i = quantizer->RGBIndex(px[x]);
            last = px[x];
            lastIndex = Byte(i < 0 || i >= n ? Nearest(palette, n, px[x]) : i);
            haveLast = true;
          }
          d[x] = lastIndex;
        }
      }
    }
    if (alpha && depth > 1)
      for (Integer y = 0; y < h; ++y) {
        Byte* d = indexes + size_t(y) * size_t(w);
        for (Integer x = 0; x < w; ++x)
          if (Bitmap->GetAlphaValue(x, y) < 255) d[x] = Byte(n);
      }
  }
  IEReportProgress(Progress, 30);
  if (IEAborting(Progress)) return;

  bool aborting = false;
  std::vector<Byte> out;
  auto put8 = [&](Integer v) { out.push_back(Byte(v)); };
  auto put16 = [&](Integer v) {
    out.push_back(Byte(v));
    out.push_back(Byte(v >> 8));
  };
  AnsiString version = P.GifVersion;
  version.resize(6, ' ');
  out.insert(out.end(), version.begin(), version.end());
  put16(w);
  put16(h);
  put8(0x80 + (depth - 1) * 16 + (depth - 1));
  const Integer background = lookUp(P.GifBackground);
  put8(background >= 0 && background < n ? background : Nearest(palette, n, P.GifBackground));
  put8(0);
  for (const TRGB& c : palette) {
    put8(c.r);
    put8(c.g);
    put8(c.b);
  }
  Integer transparent;
  if (alpha && depth > 1) {
    transparent = n;
  } else {
    const Integer t = lookUp(P.GifTranspColor);
    transparent = t >= 0 && t < n ? t : Nearest(palette, n, P.GifTranspColor);
  }
  put8(0x21);
  put8(0xF9);
  put8(4);
  put8((P.GifAction & 7) * 4 + (P.GifFlagTranspColor ? 1 : 0));
  put16(P.GifDelayTime);
  put8(transparent);
  put8(0);
  put8(0x2C);
  put16(P.GifXPos);
  put16(P.GifYPos);
  put16(w);
  put16(h);
  put8(P.GifInterlaced ? 0x40 : 0);
  IESafeStreamWrite(Stream, aborting, out.data(), Integer(out.size()));
  if (aborting) return IEFail(Progress, "the GIF header could not be written");
  IEReportProgress(Progress, 70);
  if (IEAborting(Progress)) return;
  if (!encode) return IEFail(Progress, "no GIF LZW encoder is installed");
  encode(Stream, h, w, P.GifInterlaced, indexes, depth);

  out.clear();
  // A sub-block holds 255 bytes at most and a zero length ends the extension: a long line goes
  // out in pieces, an empty one not at all. Without any text there is no comment extension, as
  // one without sub-blocks is refused by giflib.
  std::vector<Byte> comment;
  if (P.GifComments)
    for (Integer i = 0; i < P.GifComments->Count(); ++i) {
      const AnsiString line = P.GifComments->Strings(i);
      for (size_t k = 0; k < line.size(); k += 255) {
        const size_t len = std::min<size_t>(255, line.size() - k);
        comment.push_back(Byte(len));
        comment.insert(comment.end(), line.begin() + long(k), line.begin() + long(k + len));
      }
    }
  if (!comment.empty()) {
    put8(0x21);
    put8(0xFE);
    out.insert(out.end(), comment.begin(), comment.end());
    put8(0);
  }
  put8(0x3B);
  IESafeStreamWrite(Stream, aborting, out.data(), Integer(out.size()));
  if (aborting) return IEFail(Progress, "the GIF file could not be written completely (disk full?)");
  IEReportProgress(Progress, 100);
}

}  // namespace

void ReadGIFStream(TStream* Stream, TIEBitmap* Bitmap, Integer& FrameCount, TIOParamsVals& IOParams,
                   TIECodecProgress& Progress, bool Preview, TIEMask*& AlphaChannel, bool IgnoreAlpha) {
  try {
    ReadBody(Stream, Bitmap, FrameCount, IOParams, Progress, Preview, AlphaChannel, IgnoreAlpha);
  } catch (const std::bad_alloc&) {
    IEFail(Progress, "not enough memory to read the GIF file");
  } catch (const Exception& e) {
    IEFail(Progress, e.Message.empty() ? AnsiString("the GIF file cannot be read") : e.Message);
  }
}

void WriteGIFStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress) {
  try {
    WriteBody(Stream, Bitmap, IOParams, Progress);
  } catch (const std::bad_alloc&) {
    IEFail(Progress, "not enough memory to write the GIF file");
  }
}
