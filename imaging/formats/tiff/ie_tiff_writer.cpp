#include "imaging/formats/tiff/ie_tiff_writer.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <set>

#include "imaging/core/ie_annot.h"
#include "imaging/core/ie_exif.h"
#include "imaging/core/ie_icc.h"
#include "imaging/core/ie_markers.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/formats/ie_le_bytes.h"
#include "imaging/formats/tiff/ie_exif_writer.h"
#include "imaging/formats/tiff/ie_tiff_strip_encoder.h"
#include "imaging/formats/tiff/ie_tiff_writer_tags.h"
#include "platform/rtl/exceptions.h"

namespace {

// Directories an append walks at most: a chain longer than this is taken as damaged.
constexpr Integer kMaxPages = 65536;

struct TAppendPoint {
  Int64 LinkPos = -1;  // the link field that will point to the new page
  DWORD LinkValue = 0;  // what it pointed to: the new page's next directory
};

bool ReadAt(TStream* S, Int64 Pos, void* Buf, Integer Count) {
  S->SetPosition(Pos);
  return S->Read(Buf, Count) == Count;
}

// Walks the chain of an "II" file that starts at Start (its offsets count from there). Answers
// the number of pages, or -1 with Reason; Point.LinkPos is a stream position.
Integer WalkChain(TStream* S, Int64 Start, Integer Index, TAppendPoint& Point, AnsiString& Reason) {
  Byte head[8];
  if (!ReadAt(S, Start, head, 8) || head[0] != 'I' || head[1] != 'I' || IEGetLE16(head + 2) != 42) {
    Reason = "a page can only be added to a little-endian (\"II\") TIFF file";
    return -1;
  }
  const Int64 size = S->Size();
  Int64 linkPos = Start + 4;
  DWORD link = IEGetLE32(head + 4);
  std::set<DWORD> seen;
  Integer i = 0;
  for (;;) {
    if (i == Index || (link == 0 && Index > i)) {
      Point.LinkPos = linkPos;
      Point.LinkValue = link;
    }
    if (link == 0) break;
    Byte b[4];
    if (Start + Int64(link) + 2 > size || !seen.insert(link).second || i >= kMaxPages ||
        !ReadAt(S, Start + link, b, 2)) {
      Reason = "the TIFF file's chain of pages is damaged (directory " + std::to_string(i) + ")";
      return -1;
    }
    linkPos = Start + Int64(link) + 2 + 12 * Int64(IEGetLE16(b));
    if (linkPos + 4 > size || !ReadAt(S, linkPos, b, 4)) {
      Reason = "the TIFF file's directory " + std::to_string(i) + " runs past the end of the file";
      return -1;
    }
    link = IEGetLE32(b);
    ++i;
  }
  return i;
}

Integer RoundDpi(TIOParamsVals& P, bool X) {
  // The exact resolution when the record has one that the whole DPI only truncates.
  const double exact = X ? P.ExifXResolution : P.ExifYResolution;
  const Integer dpi = X ? P.DpiX : P.DpiY;
  if (exact > 0 && static_cast<Integer>(exact) == dpi) return static_cast<Integer>(std::lround(exact));
  return dpi;
}

// A copy of Source in Format, alpha channel included.
std::unique_ptr<TIEBitmap> ConvertedCopy(TIEBitmap* Source, TIEPixelFormat Format) {
  auto copy = std::make_unique<TIEBitmap>();
  copy->Assign(Source);
  if (copy->GetPixelFormat() != Format) {
    if (Format == ie1g) {
      auto bw = std::make_unique<TIEBitmap>(Source->GetWidth(), Source->GetHeight(), ie1g);
      bw->CopyAndConvertFormat(Source);
      return bw;
    }
    copy->SetPixelFormat(Format);
  }
  return copy;
}

bool Known(TIEPixelFormat F) {
  return F == ie1g || F == ie8g || F == ie16g || F == ie24RGB || F == ieCMYK || F == ieRGB48;
}

}  // namespace

Integer WriteTIFFStream(TStream* Stream, bool Append, TIEBitmap* Bitmap, TIOParamsVals& IOParams,
                        TIECodecProgress& Progress) {
  bool aborting = IEAborting(Progress);
  auto fail = [&](const AnsiString& Reason) {
    aborting = true;
    IEFail(Progress, Reason);
  };
  if (Bitmap && Bitmap->IsEmpty()) {
    fail("an empty image cannot be saved as TIFF");
    return 0;
  }
  const Int64 start = Stream->Position();
  Integer result = 1;
  TAppendPoint point;
  if (Append) {
    AnsiString reason;
    const Integer pages = WalkChain(Stream, start, IOParams.TiffImageIndex, point, reason);
    if (pages < 0) {
      Stream->SetPosition(start);
      fail(reason);
      return 0;
    }
    result = pages + 1;
    Stream->Seek(0, soEnd);
  } else {
    const Byte placeholder[8] = {};
    IESafeStreamWrite(Stream, aborting, placeholder, 8);
  }

  std::unique_ptr<TIEBitmap> owned;
  TIEBitmap* work = Bitmap;
  std::unique_ptr<TIEQuantizer> quantizer;
  TRGB palette[256] = {};
  Integer paletteCount = 0;
  TTIFFWriteVars vars;
  vars.IOParams = &IOParams;
  Integer bits = IOParams.BitsPerSample, samples = IOParams.SamplesPerPixel;
  Integer phot = IOParams.TiffPhotometInterpret;
  DWORD compression = 1;
  bool bilevel = false;

  if (work) {
    auto convert = [&](TIEPixelFormat F) {
      owned = ConvertedCopy(work, F);
      work = owned.get();
    };
    // Palette and other layouts go through 24-bit colour, where the page's own palette is made.
    if (!Known(work->GetPixelFormat())) convert(ie24RGB);
    const bool oneBit = bits == 1 && samples == 1;
    if (!oneBit && work->GetPixelFormat() == ie1g) convert(ie24RGB);
    if (oneBit && work->GetPixelFormat() != ie1g) convert(ie1g);
    const TIEPixelFormat f = work->GetPixelFormat();
    if (f == ie8g || f == ie16g) {
      // Grey rows are one sample whatever the record asked: three samples would misread them.
      samples = 1;
      phot = 1;
      if (!((bits >= 2 && bits <= 8) || bits == 16)) bits = f == ie16g ? 16 : 8;
    } else if (f == ie24RGB && samples == 1 && ((bits >= 2 && bits <= 8) || bits == 16)) {
      paletteCount = std::min(1 << bits, 256);
      quantizer = std::make_unique<TIEQuantizer>(work, palette, paletteCount);
      if (!(IOParams.TiffCompression == 5 || (IOParams.TiffCompression >= 8 && IOParams.TiffCompression <= 10)))
        IOParams.TiffCompression = 0;
      if (quantizer->GrayScale()) {
        phot = 1;
      } else {
        phot = 3;
        if (bits == 16) bits = 8;
      }
    }
    if (phot == 3 && samples > 1) phot = 2;
    if (f == ieRGB48) samples = 3, bits = 16, phot = 2;
    if (bits > 8 && samples != 1) samples = 3, bits = 8, phot = 2;
    if ((phot == 0 || phot == 1) && bits == 8 && samples == 3) phot = 2;
    if (phot == 2 && samples == 1 && bits == 1) phot = 1;
    if (phot == 6 && IOParams.TiffCompression != 7) phot = 2;
    if (phot == 2 && samples > 3) samples = 3;
    if (f == ieRGB48) samples = 3, bits = 16, phot = 2;
    if (f == ieCMYK) samples = 4, bits = 8, phot = 5;
    if (f == ie1g) samples = 1, bits = 1, phot = phot == 0 ? 0 : 1;
    if (f == ie24RGB && !quantizer && (phot == 3 || phot == 0 || phot == 1)) phot = 2;

    switch (phot) {
      case 0: case 1: vars.Kind = tpkBlackIsZero; break;
      case 3: vars.Kind = tpkPalette; break;
      case 5: vars.Kind = tpkCMYK; break;
      case 7: vars.Kind = tpkCIELab; break;
      default: vars.Kind = tpkRGB; break;
    }
    Integer tc = IOParams.TiffCompression;
    // A JPEG page keeps no alpha channel: a translucent image goes to Deflate, which keeps every
    // byte. (Old-style JPEG pages are EXIF thumbnails, which are JPEG by definition.)
    if (tc == 7 && vars.Kind == tpkRGB && f == ie24RGB && TIFFHasTranslucentAlpha(work))
      tc = IOParams.TiffCompression = 9;
    switch (tc) {
      case 1: compression = 2; bilevel = true; break;
      case 2: compression = 3; bilevel = true; break;
      case 3: compression = 3; bilevel = true; vars.TwoDimensional = true; break;
      case 4: compression = 4; bilevel = true; break;
      case 5: compression = 5; break;
      case 6: compression = 6; break;
      case 7: compression = 7; break;
      case 8: compression = 32773; break;
      case 9: case 10: compression = 32946; break;
      default: compression = 1; break;
    }
    if (compression == 6 || compression == 7) {
      vars.JpegQuality = IOParams.TiffJpegQuality;
      vars.JpegColorSpace = IOParams.TiffJpegColorSpace;
      switch (IOParams.TiffJpegColorSpace) {
        case 0: vars.Kind = tpkRGB; break;
        case 1: vars.Kind = tpkBlackIsZero; break;
        case 2: vars.Kind = tpkYCbCr; break;
        case 3: vars.Kind = tpkCMYK; break;
        default: vars.Kind = tpkRGB; vars.JpegColorSpace = 0; break;
      }
      // The JPEG coder takes colour rows.
      if (work->GetPixelFormat() != ie24RGB) convert(ie24RGB);
      quantizer.reset();
      paletteCount = 0;
      bits = 8;
      samples = vars.Kind == tpkBlackIsZero ? 1 : vars.Kind == tpkCMYK ? 4 : 3;
    }
    if (compression == 5) {
      vars.LZWCompress = IETiffLZWCompressOf(IOParams);
      if (!vars.LZWCompress) compression = 1;
    }
    vars.Compression = compression;
    vars.FillOrder = IOParams.TiffFillOrder;
    if (work->GetPixelFormat() != ie1g && compression >= 2 && compression <= 4) {
      vars.Compression = compression = 1;
      bilevel = false;
    }
    if (bilevel) vars.Kind = tpkWhiteIsZero;
    vars.Alpha = work->GetPixelFormat() == ie24RGB && vars.Kind == tpkRGB &&
                 (compression == 1 || compression == 5 || compression == 32773 || compression == 32946) &&
                 TIFFHasTranslucentAlpha(work);
    const TIEPixelFormat wf = work->GetPixelFormat();
    const bool predictable = (wf == ie24RGB && vars.Kind == tpkRGB && bits == 8) || wf == ieRGB48 ||
                             ((wf == ie8g || wf == ie16g) && (bits == 8 || bits == 16));
    vars.Predictor = compression == 5 && !vars.Alpha && predictable ? 2 : 1;
    vars.Quantizer = quantizer.get();
    vars.BitsPerSample = bits;
    IOParams.BitsPerSample = bits;
    IOParams.SamplesPerPixel = samples;
    IOParams.TiffPhotometInterpret = static_cast<Byte>(phot);
  }

  TTIFFTagList tags(Stream, aborting, start);
  try {
    if (IOParams.ExifHasEXIFData) {
      TIFFWriteEXIFTags(tags, Stream, IOParams, aborting, !work && !Append);
    } else {
      tags.AddAscii(270, IOParams.TiffImageDescription);
      // An unknown resolution is written as the customary 72 dots an inch, never as 0.
      const Integer dx = RoundDpi(IOParams, true), dy = RoundDpi(IOParams, false);
      tags.AddRational(282, static_cast<DWORD>(dx > 0 ? dx : 72), 1);
      tags.AddRational(283, static_cast<DWORD>(dy > 0 ? dy : 72), 1);
      tags.AddShort(296, 2);
    }
    if (work && !aborting && compression == 6) {
      // The old-style JPEG page is an EXIF thumbnail: the interchange stream and its resolution,
      // nothing that describes strips (EXIF forbids those tags beside a JPEG thumbnail).
      tags.AddShort(259, 6);
      TIFFWriteOldJPEG(Stream, work, tags, Progress, vars, aborting);
    } else if (work && !aborting) {
      const TIEPixelFormat wf = work->GetPixelFormat();
      const Integer w = work->GetWidth(), h = work->GetHeight();
      tags.AddLong(256, static_cast<DWORD>(w));
      tags.AddLong(257, static_cast<DWORD>(h));
      const Integer spp = wf == ie1g ? 1 : (compression == 6 || compression == 7) ? samples : TIFFStripSamples(work, vars);
      const Integer sampleBits = wf == ie1g ? 1 : wf == ieRGB48 ? 16 : (wf == ieCMYK || compression == 6 || compression == 7) ? 8 : bits;
      if (spp == 1) tags.AddShort(258, static_cast<Word>(sampleBits));
      else tags.AddShortArray(258, std::vector<Word>(static_cast<size_t>(spp), static_cast<Word>(sampleBits)));
      tags.AddShort(259, static_cast<Word>(compression));
      Word photometric;
      switch (vars.Kind) {
        case tpkWhiteIsZero: photometric = 0; break;
        case tpkBlackIsZero: photometric = 1; break;
        case tpkPalette: photometric = 3; break;
        case tpkCMYK: photometric = 5; break;
        case tpkYCbCr: photometric = 6; break;
        case tpkCIELab: photometric = 8; break;
        default: photometric = 2; break;
      }
      tags.AddShort(262, photometric);
      tags.AddAscii(269, IOParams.TiffDocumentName);
      if (compression >= 2 && compression <= 4) {
        tags.AddShort(266, static_cast<Word>(vars.FillOrder == 2 ? 2 : 1));
        tags.AddShort(284, 1);
        tags.AddShort(327, 0);
      }
      TIFFWriteStrips(Stream, work, tags, Progress, vars, aborting);
      if (!aborting) {
        tags.AddShort(277, static_cast<Word>(spp));
        if (vars.Alpha) tags.AddShort(338, 2);  // unassociated: the colours are not premultiplied
        if (vars.Predictor == 2) tags.AddShort(317, 2);
        if (compression == 7 && vars.Kind == tpkYCbCr) tags.AddShortArray(530, {2, 2});
        tags.AddAscii(285, IOParams.TiffPageName);
        if (IOParams.TiffXPos != 0) tags.AddRational(286, static_cast<DWORD>(IOParams.TiffXPos) * 10000u, 10000);
        if (IOParams.TiffYPos != 0) tags.AddRational(287, static_cast<DWORD>(IOParams.TiffYPos) * 10000u, 10000);
        if (compression == 3) tags.AddLong(292, vars.TwoDimensional ? 1 : 0);
        if (compression == 4) tags.AddLong(293, 0);
        tags.AddLong(254, 0);
        if (IOParams.TiffPageNumber >= 0 || IOParams.TiffPageCount >= 0)
          tags.AddShortArray(297, {static_cast<Word>(std::max(IOParams.TiffPageNumber, 0)),
                                   static_cast<Word>(std::max(IOParams.TiffPageCount, 0))});
        if (IOParams.IptcInfo && IOParams.IptcInfo->Count() > 0) {
          void* block = nullptr;
          Integer length = 0;
          IOParams.IptcInfo->SaveToBuffer(block, length, false);
          if (block && length > 0) {
            // LONG items: the block is padded to whole items so the count covers every byte.
            std::vector<Byte> b(static_cast<const Byte*>(block), static_cast<const Byte*>(block) + length);
            b.resize((b.size() + 3) & ~size_t(3), 0);
            tags.AddRaw(33723, tftLong, static_cast<DWORD>(b.size() / 4), b.data(), b.size());
          }
          std::free(block);
        }
        if (!IOParams.XMP.empty())
          tags.AddBytes(700, tftByte, IOParams.XMP.data(), static_cast<DWORD>(IOParams.XMP.size()));
        if (IOParams.ImagingAnnot && IOParams.ImagingAnnot->Count() > 0) {
          void* block = nullptr;
          Integer length = 0;
          IOParams.ImagingAnnot->SaveToBuffer(block, length);
          if (block && length > 0) tags.AddBytes(32932, tftByte, block, static_cast<DWORD>(length));
          std::free(block);
        }
        TIEICC* icc = IOParams.EmbeddedICCProfile;
        if (icc && icc->RawLength() > 0 && !icc->Applied)
          tags.AddBytes(34675, tftUndefined, icc->RawData(), static_cast<DWORD>(icc->RawLength()));
        if (vars.Kind == tpkPalette) {
          std::vector<Word> map(3 * 256, 0);
          const Integer n = 1 << bits;  // the map has an entry for every value a sample can take
          map.resize(static_cast<size_t>(3 * n));
          for (Integer i = 0; i < n && i < paletteCount; ++i) {
            map[i] = static_cast<Word>(palette[i].r * 257);
            map[n + i] = static_cast<Word>(palette[i].g * 257);
            map[2 * n + i] = static_cast<Word>(palette[i].b * 257);
          }
          tags.AddShortArray(320, map);
        }
      }
    }
    if (!aborting) {
      const DWORD dir = tags.WriteDirectory(Append ? point.LinkValue : 0);
      // Written once the directory is complete: a failed page leaves no link to it.
      Byte b[8] = {'I', 'I', 42, 0};
      IEPutLE32(b + 4, dir);
      const Int64 end = Stream->Position();
      if (!aborting) {
        if (Append) {
          Stream->SetPosition(point.LinkPos);
          IESafeStreamWrite(Stream, aborting, b + 4, 4);
        } else {
          Stream->SetPosition(start);
          IESafeStreamWrite(Stream, aborting, b, 8);
        }
        Stream->SetPosition(end);
      }
    }
  } catch (const Exception& e) {
    fail("the TIFF file could not be written: " + e.Message);
  }
  if (aborting) {
    IEFail(Progress, "the TIFF file could not be written");
    if (IEAborting(Progress)) return Append ? 0 : result;
  }
  return result;
}

void IERegisterExifTiffWriter() {
  IEExifTiffCodec.Write = [](TStream* Stream, bool Append, TIEBitmap* Bitmap, TIOParamsVals* Params) {
    std::atomic<bool> abort{false};
    TIECodecProgress progress;
    progress.Aborting = &abort;
    const Integer pages = WriteTIFFStream(Stream, Append, Bitmap, *Params, progress);
    return pages > 0 && !abort.load();
  };
}
