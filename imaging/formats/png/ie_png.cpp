#include "imaging/formats/png/ie_png.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/formats/png/ie_png_glue.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/lists.h"
#include "platform/rtl/numerics.h"

namespace {

// libpng holds an ancillary chunk (text, profile, EXIF) whole before it looks at it, in a block
// sized by the chunk's length field alone: a few bytes of file could ask for 2 GiB, and libpng's
// own chunk ceiling is not applied to them. No block a real file needs comes near this one (the
// rows of the widest image the size gate passes included); a larger request fails, which libpng
// turns into a skipped chunk or an error with its reason.
constexpr png_alloc_size_t kMaxPngBlock = 64 * 1024 * 1024;

png_voidp CappedMalloc(png_structp, png_alloc_size_t Size) { return Size <= kMaxPngBlock ? std::malloc(Size) : nullptr; }
void PlainFree(png_structp, png_voidp Block) { std::free(Block); }

// libpng calls this inside its own frames: nothing may be thrown from here, so a stream that
// raises or ends early becomes a libpng error (a longjmp to the reader's guard).
void ReadData(png_structp Png, png_bytep Data, png_size_t Length) {
  auto* stream = static_cast<TStream*>(png_get_io_ptr(Png));
  bool shortRead = false;
  try {
    size_t done = 0;
    while (done < Length) {
      const Integer want = static_cast<Integer>(std::min<size_t>(Length - done, 1 << 30));
      const Integer got = stream->Read(Data + done, want);
      if (got <= 0) {
        shortRead = true;
        break;
      }
      done += static_cast<size_t>(got);
    }
  } catch (...) {
    shortRead = true;
  }
  if (shortRead) png_error(Png, "the file ends before its image data does");
}

struct TWriteBinding {
  TStream* Stream;
  TIECodecProgress* Progress;
};

// A destination that takes fewer bytes than given fails the save through the progress record;
// the rest of the rows are then skipped by the row loop.
void WriteData(png_structp Png, png_bytep Data, png_size_t Length) {
  auto* b = static_cast<TWriteBinding*>(png_get_io_ptr(Png));
  if (IEAborting(*b->Progress)) return;
  bool shortWrite = false;
  try {
    size_t done = 0;
    while (done < Length && !shortWrite) {
      const Integer want = static_cast<Integer>(std::min<size_t>(Length - done, 1 << 30));
      const Integer put = b->Stream->Write(Data + done, want);
      if (put < want) shortWrite = true;
      done += static_cast<size_t>(std::max(put, 0));
    }
  } catch (...) {
    shortWrite = true;
  }
  if (shortWrite) IEFail(*b->Progress, "the destination accepted fewer bytes than written (disk full?)");
}

void FlushData(png_structp) {}

struct TPngReadGuard {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  ~TPngReadGuard() {
    if (Png) png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr);
  }
};

struct TPngWriteGuard {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  ~TPngWriteGuard() {
    if (Png) png_destroy_write_struct(&Png, Info ? &Info : nullptr);
  }
};

Integer DpiFromPixelsPerMetre(png_uint_32 Ppm) { return SafeRound<Integer>(static_cast<double>(Ppm) / 100.0 * 2.54); }

}  // namespace

bool IsPNG(TStream* Stream) {
  try {
    Byte sig[8] = {};
    const Int64 pos = Stream->Position();
    const Integer got = Stream->Read(sig, 8);
    Stream->SetPosition(pos);
    return got >= 4 && sig[0] == 0x89 && sig[1] == 0x50 && sig[2] == 0x4E && sig[3] == 0x47;
  } catch (...) {
    return false;
  }
}

void ReadPNGStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                   bool Preview) {
  TIEPngMessages msg;
  TPngReadGuard g;
  g.Png = IEPngCreateRead(msg);
  if (!g.Png) {
    IEFail(Progress, "the PNG library cannot start");
    return;
  }
  g.Info = png_create_info_struct(g.Png);
  if (!g.Info) {
    IEFail(Progress, "the PNG library cannot start");
    return;
  }
  // Buffers live out here: the guarded calls below may longjmp, which skips destructors.
  std::vector<Byte> work;
  try {
    png_set_read_fn(g.Png, Stream, ReadData);
    // libpng's own ceiling on the header's size, below ours so the gate below decides.
    png_set_user_limits(g.Png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_mem_fn(g.Png, nullptr, CappedMalloc, PlainFree);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colorType = 0, interlace = 0;
    IEPngCall(g.Png, msg, [&] {
      png_read_info(g.Png, g.Info);
      png_get_IHDR(g.Png, g.Info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);
    });

    if (IOParams.PngTextKeys) IOParams.PngTextKeys->Clear();
    if (IOParams.PngTextValues) IOParams.PngTextValues->Clear();
    png_textp texts = nullptr;
    int textCount = 0;
    png_get_text(g.Png, g.Info, &texts, &textCount);
    for (int i = 0; i < textCount; ++i) {
      if (IOParams.PngTextKeys) IOParams.PngTextKeys->Add(texts[i].key ? texts[i].key : "");
      if (IOParams.PngTextValues)
        IOParams.PngTextValues->Add(texts[i].text ? AnsiString(texts[i].text, texts[i].text_length) : AnsiString());
    }

    png_color_16p background = nullptr;
    if (png_get_bKGD(g.Png, g.Info, &background) && background) {
      const int shift = depth == 16 ? 8 : 0;
      IOParams.PngBackground = IECreateRGB(static_cast<Byte>(background->red >> shift),
                                           static_cast<Byte>(background->green >> shift),
                                           static_cast<Byte>(background->blue >> shift));
    }

    const bool native = IOParams.NativePixelFormat && (depth == 8 || depth == 16) &&
                        (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_PALETTE);
    int passes = 1;
    IEPngCall(g.Png, msg, [&] {
      if (native) {
        if (depth == 16) png_set_swap(g.Png);
      } else {
        if (colorType == PNG_COLOR_TYPE_PALETTE && depth >= 2) png_set_expand(g.Png);
        if (colorType == PNG_COLOR_TYPE_GRAY && (depth == 2 || depth == 4)) png_set_expand(g.Png);
        if (depth == 16) png_set_strip_16(g.Png);
        if (depth == 2 || depth == 4) png_set_packing(g.Png);
        if ((colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) && depth > 1)
          png_set_gray_to_rgb(g.Png);
        if (depth > 1) {
          png_set_bgr(g.Png);
          png_set_tRNS_to_alpha(g.Png);
        }
      }
      passes = png_set_interlace_handling(g.Png);
    });

    IOParams.Width = IOParams.OriginalWidth = static_cast<Integer>(width);
    IOParams.Height = IOParams.OriginalHeight = static_cast<Integer>(height);
    IOParams.BitsPerSample = depth;
    static const Integer samples[7] = {1, 0, 3, 1, 2, 0, 4};
    IOParams.SamplesPerPixel = colorType >= 0 && colorType <= 6 ? samples[colorType] : 0;

    png_uint_32 ppmX = 0, ppmY = 0;
    int unit = 0;
    if (!png_get_pHYs(g.Png, g.Info, &ppmX, &ppmY, &unit) || unit != PNG_RESOLUTION_METER) ppmX = ppmY = 0;
    IOParams.SetDpiX(DpiFromPixelsPerMetre(ppmX));
    if (IOParams.DpiX == 0) IOParams.SetDpiX(IEGlobalDefaultDpiX);
    IOParams.SetDpiY(DpiFromPixelsPerMetre(ppmY));
    if (IOParams.DpiY == 0) IOParams.SetDpiY(IEGlobalDefaultDpiY);

    std::free(IOParams.ColorMap);
    IOParams.ColorMap = nullptr;
    IOParams.ColorMapCount = 0;
    png_colorp palette = nullptr;
    int paletteCount = 0;
    if (colorType == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(g.Png, g.Info, &palette, &paletteCount) && paletteCount > 0) {
      IOParams.ColorMap = static_cast<TRGB*>(std::malloc(sizeof(TRGB) * static_cast<size_t>(paletteCount)));
      if (!IOParams.ColorMap) throw std::bad_alloc();
      IOParams.ColorMapCount = paletteCount;
      for (int i = 0; i < paletteCount; ++i)
        IOParams.ColorMap[i] = IECreateRGB(palette[i].red, palette[i].green, palette[i].blue);
    }
    IOParams.PngInterlaced = interlace != PNG_INTERLACE_NONE;
    if (Preview) return;

    // 1-bit rows stay packed, so libpng applies no tRNS chunk to them: the alpha of each pixel
    // is taken here from its bit (the transparent grey level, or the alpha of entry 0 or 1).
    Byte bitAlpha[2] = {255, 255};
    png_bytep transAlpha = nullptr;
    int transCount = 0;
    png_color_16p transColor = nullptr;
    if (depth == 1 && png_get_tRNS(g.Png, g.Info, &transAlpha, &transCount, &transColor)) {
      if (colorType == PNG_COLOR_TYPE_GRAY && transColor && transColor->gray <= 1) bitAlpha[transColor->gray] = 0;
      if (colorType == PNG_COLOR_TYPE_PALETTE && transAlpha)
        for (int i = 0; i < 2 && i < transCount; ++i) bitAlpha[i] = transAlpha[i];
    }
    const bool bitTransparency = bitAlpha[0] != 255 || bitAlpha[1] != 255;

    TIEPixelFormat format = ie24RGB;
    if (depth == 1 && colorType != PNG_COLOR_TYPE_PALETTE) format = ie1g;
    else if (native && colorType == PNG_COLOR_TYPE_PALETTE) format = ie8p;
    else if (native) format = depth == 8 ? ie8g : ie16g;
    // Deflate cannot make the stored rows (a filter byte and the packed samples each) out of
    // fewer bytes than this, whatever the file says about its size.
    static const Int64 storedSamples[7] = {1, 0, 3, 1, 2, 0, 4};
    const Int64 storedBits = Int64(depth) * (colorType >= 0 && colorType <= 6 ? storedSamples[colorType] : 4);
    if (!IECheckImageSize(Progress, width, height, IEPixelFormatBits[format])) return;
    const Int64 storedBytes = Int64(height) * (1 + (Int64(width) * storedBits + 7) / 8);
    if (!IECheckInputHolds(Progress, "the PNG image data", width, height, storedBytes / IEDeflateMaxRatio,
                           IEStreamRemaining(Stream)))
      return;
    // libpng sizes its row buffers from the header here, so only a size that passed the checks
    // above reaches it: a 69-byte file claiming 2^31 columns would otherwise ask for gigabytes.
    IEPngCall(g.Png, msg, [&] { png_read_update_info(g.Png, g.Info); });
    const TIEPixelFormat got = IEAllocateImage(Progress, Bitmap, width, height, format, format == ie16g ? ie8g : ieNull);
    if (got == ieNull) return;
    if (format == ie8p) {
      for (int i = 0; i < paletteCount && i < 256; ++i) Bitmap->SetPaletteEntry(i, IOParams.ColorMap[i]);
    }

    const Integer channels = png_get_channels(g.Png, g.Info);
    const bool interlaced = passes > 1;
    const bool palette1 = depth == 1 && colorType == PNG_COLOR_TYPE_PALETTE;
    // The framework bitmap keeps 16-bit grey as 8-bit: the high byte of each sample.
    const bool narrow16 = format == ie16g && got == ie8g;
    const size_t packedLen = width / 8 + 1;
    // Rows whose layout differs from libpng's go through one work row. An interlaced pass adds
    // pixels to a row that earlier passes began, so the row is packed back into the work row
    // first: the image itself is the only full-size buffer, and nothing is filled before libpng
    // has delivered data.
    const bool viaWork = channels == 4 || palette1 || narrow16;
    if (viaWork) work.assign(channels == 4 ? size_t(width) * 4 : palette1 ? packedLen : size_t(width) * 2, 0);
    TIEBitmap* alpha = nullptr;
    // The alpha of a 1-bit row with tRNS, from its bits in Bits (nil: the image's own row Y,
    // fetched after the alpha channel exists, whose making may move the rows).
    auto bitsToAlpha = [&](const Byte* Bits, png_uint_32 Y) {
      if (!alpha) {
        alpha = Bitmap->GetAlphaChannel();
        alpha->Full = false;
      }
      if (!Bits) Bits = static_cast<const Byte*>(Bitmap->GetScanline(static_cast<Integer>(Y)));
      Byte* a = static_cast<Byte*>(alpha->GetScanline(static_cast<Integer>(Y)));
      for (png_uint_32 x = 0; x < width; ++x) a[x] = bitAlpha[IEGetBit(Bits, static_cast<Integer>(x)) ? 1 : 0];
    };
    const TRGB entry0 = IOParams.ColorMapCount > 0 ? IOParams.ColorMap[0] : TRGB{0, 0, 0};
    const TRGB entry1 = IOParams.ColorMapCount > 1 ? IOParams.ColorMap[1] : TRGB{255, 255, 255};
    const size_t rowLen = static_cast<size_t>(Bitmap->GetRowLen());

    TIERowStepper step(Progress, Int64(height) * passes, true);
    bool stop = IEAborting(Progress);
    IEPngCall(g.Png, msg, [&] {
      for (int pass = 0; pass < passes && !stop; ++pass) {
        for (png_uint_32 y = 0; y < height && !stop; ++y) {
          Byte* row = static_cast<Byte*>(Bitmap->GetScanline(static_cast<Integer>(y)));
          if (!viaWork) {
            // The first pass visits every row: pixels of later passes start out black.
            if (interlaced && pass == 0) std::memset(row, 0, rowLen);
            png_read_row(g.Png, row, nullptr);
            if (bitTransparency) bitsToAlpha(nullptr, y);
            stop = !step.Next();
            continue;
          }
          Byte* src = work.data();
          const TRGB* px = reinterpret_cast<const TRGB*>(row);
          if (!interlaced || pass == 0) {
            std::fill(work.begin(), work.end(), 0);
          } else if (channels == 4) {
            const Byte* a = static_cast<const Byte*>(alpha->GetScanline(static_cast<Integer>(y)));
            for (png_uint_32 x = 0; x < width; ++x) {
              src[x * 4] = px[x].b;
              src[x * 4 + 1] = px[x].g;
              src[x * 4 + 2] = px[x].r;
              src[x * 4 + 3] = a[x];
            }
          } else if (palette1) {
            for (png_uint_32 x = 0; x < width; ++x) IESetBit(src, static_cast<Integer>(x), px[x] == entry1);
          } else {
            for (png_uint_32 x = 0; x < width; ++x) {
              src[x * 2] = 0;
              src[x * 2 + 1] = row[x];
            }
          }
          png_read_row(g.Png, src, nullptr);
          if (channels == 4) {
            // Made once the first row has arrived: making it fills the whole alpha channel.
            if (!alpha) {
              alpha = Bitmap->GetAlphaChannel();
              alpha->Full = false;
              row = static_cast<Byte*>(Bitmap->GetScanline(static_cast<Integer>(y)));
            }
            Byte* a = static_cast<Byte*>(alpha->GetScanline(static_cast<Integer>(y)));
            for (png_uint_32 x = 0; x < width; ++x) {
              row[x * 3] = src[x * 4];
              row[x * 3 + 1] = src[x * 4 + 1];
              row[x * 3 + 2] = src[x * 4 + 2];
              a[x] = src[x * 4 + 3];
            }
          } else if (palette1) {
            TRGB* out = reinterpret_cast<TRGB*>(row);
            for (png_uint_32 x = 0; x < width; ++x) out[x] = IEGetBit(src, static_cast<Integer>(x)) ? entry1 : entry0;
            if (bitTransparency) bitsToAlpha(src, y);
          } else {
            for (png_uint_32 x = 0; x < width; ++x) row[x] = src[x * 2 + 1];
          }
          stop = !step.Next();
        }
      }
      if (!stop) png_read_end(g.Png, nullptr);
    });
  } catch (const EIEPngError& e) {
    IEFail(Progress, AnsiString("damaged PNG data: ") + e.Message);
  } catch (const std::bad_alloc&) {
    IEFail(Progress, "not enough memory to read the PNG image");
  } catch (const Exception& e) {
    IEFail(Progress, e.Message.empty() ? AnsiString("the PNG image cannot be read") : e.Message);
  }
}

namespace {

[[noreturn]] void CreatingError() { throw EInvalidGraphic("Error on creating PNG"); }

// The writer's view of the source: the formats its row table reads, converted when needed.
struct TPngWorkImage {
  TIEBitmap* Image = nullptr;
  std::unique_ptr<TIEBitmap> Copy;
  void Convert(TIEBitmap* Source, TIEPixelFormat Format) {
    Copy = std::make_unique<TIEBitmap>();
    Copy->Assign(Source);
    Copy->SetPixelFormat(Format);
    Image = Copy.get();
  }
};

}  // namespace

void WritePNGStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                    TIEMask* AlphaChannel) {
  TIEPngMessages msg;
  TPngWriteGuard g;
  g.Png = IEPngCreateWrite(msg);
  if (!g.Png) CreatingError();
  g.Info = png_create_info_struct(g.Png);
  if (!g.Info) CreatingError();
  TWriteBinding binding{Stream, &Progress};
  png_set_write_fn(g.Png, &binding, WriteData, FlushData);

  if (IOParams.SamplesPerPixel == 1 && IOParams.BitsPerSample != 1 && IOParams.BitsPerSample != 8 &&
      IOParams.BitsPerSample != 16)
    IOParams.BitsPerSample = 8;
  const Integer bits = IOParams.BitsPerSample;
  const bool single = IOParams.SamplesPerPixel == 1;
  const bool countingMask = AlphaChannel && !AlphaChannel->Full && AlphaChannel->BitsPerPixel == 8;

  TPngWorkImage w;
  const TIEPixelFormat source = Bitmap->GetPixelFormat();
  if (single && bits == 1) {
    if (source == ie1g) w.Image = Bitmap; else w.Convert(Bitmap, ie1g);
  } else if (single && !countingMask && (source == ie8p || source == ie8g || source == ie16g || source == ie24RGB)) {
    w.Image = Bitmap;
  } else if (source == ie24RGB) {
    w.Image = Bitmap;
  } else {
    w.Convert(Bitmap, ie24RGB);
  }
  TIEBitmap* img = w.Image;
  const TIEPixelFormat fmt = img->GetPixelFormat();
  const png_uint_32 width = static_cast<png_uint_32>(img->GetWidth());
  const png_uint_32 height = static_cast<png_uint_32>(img->GetHeight());
  if (width == 0 || height == 0) {
    IEFail(Progress, "an empty image cannot be saved as PNG");
    return;
  }

  int colorType = PNG_COLOR_TYPE_RGB, depth = 8;
  if (single && fmt == ie1g) {
    colorType = PNG_COLOR_TYPE_GRAY;
    depth = 1;
  } else if (single) {
    colorType = PNG_COLOR_TYPE_PALETTE;
    depth = bits;
  }
  if (colorType == PNG_COLOR_TYPE_RGB && countingMask) colorType = PNG_COLOR_TYPE_RGB_ALPHA;

  std::vector<TRGB> quantPalette(256, TRGB{0, 0, 0});
  std::unique_ptr<TIEQuantizer> quantizer;
  std::vector<png_color> pngPalette;
  int paletteEntries = 0;
  std::vector<Byte> entryOf;  // palette entry per pixel, when partial alpha is kept
  std::vector<Byte> trns;
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    if (countingMask) {
      depth = 8;
      const Integer n = bits >= 16 ? 65536 : (1 << bits);
      bool partial = false;
      for (Integer y = 0; y < AlphaChannel->Height && !partial; ++y) {
        const Byte* m = AlphaChannel->GetScanline(y);
        for (Integer x = 0; x < AlphaChannel->Width; ++x)
          if (m[x] != 0 && m[x] != 255) {
            partial = true;
            break;
          }
      }
      // Partly transparent pixels keep their alpha through tRNS entries of their own, so the
      // colours leave half of the palette for pairs of colour and alpha.
      const Integer colours = partial ? std::max<Integer>(1, std::min<Integer>(n, 255) / 2) : std::min<Integer>(n, 255);
      quantizer = std::make_unique<TIEQuantizer>(img, quantPalette.data(), colours);
      paletteEntries = std::min(n + 1, 256);
      pngPalette.resize(256);
      pngPalette[0] = {IOParams.PngBackground.r, IOParams.PngBackground.g, IOParams.PngBackground.b};
      for (int i = 1; i < 256; ++i) pngPalette[i] = {quantPalette[i - 1].r, quantPalette[i - 1].g, quantPalette[i - 1].b};
      if (partial) {
        // Entry 0: transparent background; then one entry per (colour, alpha) pair met, up to
        // 256; a pair that finds no room takes the entry of its colour with the nearest alpha.
        entryOf.resize(static_cast<size_t>(width) * height);
        trns.assign(1, 0);
        std::vector<Integer> slot(static_cast<size_t>(colours) * 256, -1);
        for (png_uint_32 y = 0; y < height; ++y) {
          const TRGB* px = static_cast<const TRGB*>(img->GetScanline(static_cast<Integer>(y)));
          const Byte* m = AlphaChannel->GetScanline(static_cast<Integer>(y));
          for (png_uint_32 x = 0; x < width; ++x) {
            Byte& e = entryOf[static_cast<size_t>(y) * width + x];
            if (m[x] == 0) {
              e = 0;
              continue;
            }
            const Integer idx = std::clamp<Integer>(quantizer->RGBIndex(px[x]), 0, colours - 1);
            Integer& at = slot[static_cast<size_t>(idx) * 256 + m[x]];
            if (at < 0 && trns.size() < 256) {
              at = static_cast<Integer>(trns.size());
              trns.push_back(m[x]);
              pngPalette[at] = {quantPalette[idx].r, quantPalette[idx].g, quantPalette[idx].b};
            }
            if (at < 0) {
              Integer best = 0, bestDiff = 256;
              for (Integer a = 0; a < 256; ++a) {
                const Integer cand = slot[static_cast<size_t>(idx) * 256 + a];
                if (cand >= 0 && std::abs(a - m[x]) < bestDiff) best = cand, bestDiff = std::abs(a - m[x]);
              }
              e = static_cast<Byte>(best);
            } else {
              e = static_cast<Byte>(at);
            }
          }
        }
        paletteEntries = static_cast<int>(trns.size());
      }
    } else if (fmt == ie8g || fmt == ie16g) {
      colorType = PNG_COLOR_TYPE_GRAY;
      if (fmt == ie16g && bits == 8) w.Convert(Bitmap, ie8g), img = w.Image;
    } else {
      quantizer = std::make_unique<TIEQuantizer>(img, quantPalette.data(), 256);
      if (quantizer->GrayScale()) {
        colorType = PNG_COLOR_TYPE_GRAY;
        if (fmt == ie8p) {
          // Grey rows are made from colours, not from palette indexes.
          w.Convert(Bitmap, ie24RGB);
          img = w.Image;
          quantizer = std::make_unique<TIEQuantizer>(img, quantPalette.data(), 256);
        }
      } else if (depth > 8 && fmt == ie24RGB) {
        // PNG has no palette of 16-bit entries: parameters that still say 16-bit grey for an
        // image that has since taken colour give an RGB file, which keeps every pixel exactly.
        colorType = PNG_COLOR_TYPE_RGB;
        depth = 8;
      } else {
        depth = 8;  // the indices of an 8-bit palette image fit whatever depth was asked
        paletteEntries = 256;
        pngPalette.resize(256);
        for (int i = 0; i < 256; ++i) pngPalette[i] = {quantPalette[i].r, quantPalette[i].g, quantPalette[i].b};
      }
    }
  }
  const TIEPixelFormat workFmt = img->GetPixelFormat();
  const int passesWanted = IOParams.PngInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE;

  std::vector<png_text> texts;
  std::vector<AnsiString> textCopies;
  if (IOParams.PngTextKeys && IOParams.PngTextValues) {
    const Integer n = std::min(IOParams.PngTextKeys->Count(), IOParams.PngTextValues->Count());
    textCopies.reserve(static_cast<size_t>(n) * 2);
    for (Integer i = 0; i < n; ++i) {
      textCopies.push_back(IOParams.PngTextKeys->Strings(i));
      textCopies.push_back(IOParams.PngTextValues->Strings(i));
    }
    for (Integer i = 0; i < n; ++i) {
      png_text t{};
      t.compression = PNG_TEXT_COMPRESSION_NONE;
      t.key = const_cast<char*>(textCopies[static_cast<size_t>(i) * 2].c_str());
      t.text = const_cast<char*>(textCopies[static_cast<size_t>(i) * 2 + 1].c_str());
      t.text_length = textCopies[static_cast<size_t>(i) * 2 + 1].size();
      texts.push_back(t);
    }
  }

  png_color_16 background{};
  const TRGB bk = IOParams.PngBackground;
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    Integer idx = quantizer ? quantizer->RGBIndex(bk) : 0;
    if (countingMask) idx += 1;
    if (!trns.empty()) idx = 0;
    background.index = static_cast<png_byte>(std::clamp<Integer>(idx, 0, paletteEntries - 1));
  } else if (colorType == PNG_COLOR_TYPE_GRAY) {
    // The grey level of the background colour at the file's depth.
    const Integer grey = IERGBToGray(bk);
    background.gray = static_cast<png_uint_16>(depth == 16 ? grey * 257 : depth == 1 ? (grey >= 128 ? 1 : 0) : grey);
  } else {
    background.red = bk.r;
    background.green = bk.g;
    background.blue = bk.b;
  }

  const size_t bufLen = colorType == PNG_COLOR_TYPE_RGB_ALPHA ? size_t(width) * 4
                                                               : size_t(width) * std::max(1, depth / 8);
  std::vector<Byte> buffer(bufLen);
  const Byte trnsZero = 0;
  int passes = 1;
  try {
    IEPngCall(g.Png, msg, [&] {
      png_set_IHDR(g.Png, g.Info, width, height, depth, colorType, passesWanted, PNG_COMPRESSION_TYPE_DEFAULT,
                   PNG_FILTER_TYPE_DEFAULT);
      if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(g.Png, g.Info, pngPalette.data(), paletteEntries);
        if (!trns.empty()) png_set_tRNS(g.Png, g.Info, trns.data(), static_cast<int>(trns.size()), nullptr);
        else if (countingMask) png_set_tRNS(g.Png, g.Info, &trnsZero, 1, nullptr);
      }
      const png_uint_32 ppmX = static_cast<png_uint_32>(SafeRound<Int64>(IOParams.DpiX * 100 / 2.54));
      const png_uint_32 ppmY = static_cast<png_uint_32>(SafeRound<Int64>(IOParams.DpiY * 100 / 2.54));
      png_set_pHYs(g.Png, g.Info, ppmX, ppmY, PNG_RESOLUTION_METER);
      switch (IOParams.PngFilter) {
        case 0: png_set_filter(g.Png, 0, PNG_FILTER_NONE); break;
        case 1: png_set_filter(g.Png, 0, PNG_FILTER_SUB); break;
        case 2: png_set_filter(g.Png, 0, PNG_FILTER_PAETH); break;
        default: break;
      }
      png_set_bKGD(g.Png, g.Info, &background);
      png_set_compression_level(g.Png, std::clamp<Integer>(IOParams.PngCompression, 0, 9));
      png_set_bgr(g.Png);
      if (!texts.empty()) png_set_text(g.Png, g.Info, texts.data(), static_cast<int>(texts.size()));
      png_write_info(g.Png, g.Info);
      passes = png_set_interlace_handling(g.Png);
    });

    TIERowStepper step(Progress, Int64(height) * passes);
    bool stop = IEAborting(Progress);
    IEPngCall(g.Png, msg, [&] {
      for (int pass = 0; pass < passes && !stop; ++pass) {
        for (png_uint_32 y = 0; y < height && !stop; ++y) {
          Byte* row = static_cast<Byte*>(img->GetScanline(static_cast<Integer>(y)));
          Byte* out = buffer.data();
          const TRGB* px = reinterpret_cast<const TRGB*>(row);
          if (colorType == PNG_COLOR_TYPE_PALETTE && !entryOf.empty()) {
            out = entryOf.data() + static_cast<size_t>(y) * width;
          } else if (colorType == PNG_COLOR_TYPE_PALETTE && countingMask) {
            const Byte* m = AlphaChannel->GetScanline(static_cast<Integer>(y));
            for (png_uint_32 x = 0; x < width; ++x)
              out[x] = m[x] == 255 ? static_cast<Byte>(quantizer->RGBIndex(px[x]) + 1) : 0;
          } else if (colorType == PNG_COLOR_TYPE_PALETTE && workFmt == ie8p) {
            out = row;
          } else if (colorType == PNG_COLOR_TYPE_PALETTE) {
            for (png_uint_32 x = 0; x < width; ++x) out[x] = static_cast<Byte>(quantizer->RGBIndex(px[x]));
          } else if (colorType == PNG_COLOR_TYPE_RGB_ALPHA) {
            const Byte* m = AlphaChannel->GetScanline(static_cast<Integer>(y));
            for (png_uint_32 x = 0; x < width; ++x) {
              out[x * 4] = px[x].b;
              out[x * 4 + 1] = px[x].g;
              out[x * 4 + 2] = px[x].r;
              out[x * 4 + 3] = m[x];
            }
          } else if (colorType == PNG_COLOR_TYPE_RGB) {
            out = row;
          } else if (depth == 16 && workFmt == ie16g) {
            // Both bytes of every sample, most significant first as PNG stores them.
            const Word* s = reinterpret_cast<const Word*>(row);
            for (png_uint_32 x = 0; x < width; ++x) {
              out[x * 2] = static_cast<Byte>(s[x] >> 8);
              out[x * 2 + 1] = static_cast<Byte>(s[x]);
            }
          } else if (depth == 16) {
            // An 8-bit grey level v is v x 257 at 16 bits, so white stays white.
            for (png_uint_32 x = 0; x < width; ++x) {
              const Byte v = workFmt == ie8g ? row[x] : static_cast<Byte>(quantizer->RGBIndex(px[x]));
              out[x * 2] = out[x * 2 + 1] = v;
            }
          } else if (depth == 8 && workFmt == ie8g) {
            out = row;
          } else if (depth == 8) {
            for (png_uint_32 x = 0; x < width; ++x) out[x] = static_cast<Byte>(quantizer->RGBIndex(px[x]));
          } else {
            out = row;
          }
          png_write_row(g.Png, out);
          stop = !step.Next();
        }
      }
      if (!stop) png_write_end(g.Png, g.Info);
    });
  } catch (const EIEPngError&) {
    CreatingError();
  }
}
