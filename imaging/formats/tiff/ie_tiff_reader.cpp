#include "imaging/formats/tiff/ie_tiff_reader.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "imaging/core/ie_annot.h"
#include "imaging/core/ie_orientation.h"
#include "imaging/core/ie_icc.h"
#include "imaging/core/ie_markers.h"
#include "imaging/core/ie_stream_classes.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "imaging/formats/tiff/ie_exif_tiff_reader.h"
#include "imaging/formats/tiff/ie_tiff_directory.h"
#include "imaging/formats/tiff/ie_tiff_samples.h"
#include "imaging/formats/tiff/ie_tiff_strips.h"
#include "platform/rtl/exceptions.h"

namespace {

constexpr Integer kThumbnailLimit = 400;
constexpr Integer kMaxSamples = 16;

Byte CompressionCode(Integer Compression, Integer T4Options) {
  switch (Compression) {
    case 1:
      return 0;
    case 2:
      return 1;
    case 3:
      return (T4Options & 1) ? 3 : 2;
    case 4:
      return 4;
    case 5:
      return 5;
    case 6:
      return 6;
    case 7:
      return 7;
    case 8:
      return 10;
    case 32773:
      return 8;
    case 32946:
      return 9;
    default:
      return 11;
  }
}

// The colour map holds as many entries as its tag (three values each), never more than the
// bits can index: reading 1 shl BitsPerSample entries whatever the tag holds would read past it.
void ReadColorMap(const TTIFFDirectory& D, TTIFFVars& V) {
  std::vector<DWORD> values;
  const Integer n = D.GetTagArray(320, values);
  if (n < 3 || V.BitsPerSample > 16) return;
  const size_t entries = std::min<size_t>(size_t(n) / 3, size_t(1) << V.BitsPerSample);
  const size_t third = size_t(n) / 3;
  const bool bytes = std::all_of(values.begin(), values.end(), [](DWORD v) { return v < 256; });
  V.ColorMap.resize(entries);
  for (size_t i = 0; i < entries; ++i) {
    auto c = [&](size_t plane) { return Byte(bytes ? values[plane * third + i] : values[plane * third + i] >> 8); };
    V.ColorMap[i] = TRGB{c(2), c(1), c(0)};
  }
}

void ReadMetadataBlocks(const TTIFFDirectory& D, TIOParamsVals* P) {
  std::vector<Byte> block;
  if (P->IptcInfo) {
    const TTIFFEntry* e = D.Entry(33723);
    if (e && D.GetTagBlock(33723, block))
      P->IptcInfo->LoadFromBuffer(block.data(), Integer(block.size()));
    else
      P->IptcInfo->Clear();
  }
  P->XMP.clear();
  const TTIFFEntry* xmp = D.Entry(700);
  if (xmp && (xmp->Type == 1 || xmp->Type == 7) && D.GetTagBlock(700, block)) P->XMP.assign(block.begin(), block.end());
  if (D.GetTagBlock(32932, block)) P->GetImagingAnnot()->LoadFromBuffer(block.data(), Integer(block.size()));
  if (D.GetTagBlock(34675, block)) P->GetEmbeddedICCProfile()->LoadFromBuffer(block.data(), Integer(block.size()));
}

// Old-style JPEG pages: the interchange stream the page points to, decoded whole.
void ReadOldJPEG(const TTIFFDirectory& D, TTIFFVars& V, TIEBitmap* Bitmap, TIECodecProgress& Progress) {
  UInt64 at = V.JPEGInterchangeFormat, length = V.JPEGInterchangeFormatLength;
  if (at == 0 && !V.StripOffsets.empty()) {
    at = V.StripOffsets[0];
    length = D.Size() > at ? D.Size() - at : 0;
  }
  if (at == 0 || length == 0 || at >= D.Size())
    return IEFail(Progress, "the old-style JPEG TIFF page has no JPEG data inside the file");
  length = std::min<UInt64>(length, D.Size() - at);
  std::vector<Byte> data(static_cast<size_t>(length));
  if (!D.ReadAt(at, data.data(), length))
    return IEFail(Progress, "the old-style JPEG data of the TIFF page is truncated");
  TIEMemStream stream(data.data(), Int64(data.size()));
  TIOParamsVals params(nullptr);
  ReadJPEGStream(&stream, nullptr, Bitmap, params, Progress, false, false, false, false, true, false, -1, false);
}

// Old-style JPEG pages without an interchange stream: their tables, each at the offset its tag
// gives for its component, as the marker segments of a JPEG datastream (DQT, DHT and DRI). False
// after IEFail when a table is missing or lies outside the file.
bool ReadOldJPEGTables(const TTIFFDirectory& D, TTIFFVars& V, TIECodecProgress& Progress) {
  const Integer n = V.SamplesPerPixel;
  // Baseline JPEG has four table slots of each kind, one per component here.
  if (n > 4 || V.BitsPerSample != 8 || V.PlanarConfig != 1)
    return IEFail(Progress, "old-style JPEG TIFF pages of " + std::to_string(n) + " samples of " +
                                std::to_string(V.BitsPerSample) + " bits" +
                                (V.PlanarConfig != 1 ? " in separate planes" : "") + " are not supported"),
           false;
  const Word tags[3] = {519, 520, 521};
  const char* names[3] = {"quantisation", "DC Huffman", "AC Huffman"};
  std::vector<Byte>& out = V.OldJPEGTables;
  out.clear();
  auto segment = [&](Byte Marker, const std::vector<Byte>& Body) {
    out.push_back(0xFF);
    out.push_back(Marker);
    out.push_back(Byte((Body.size() + 2) >> 8));
    out.push_back(Byte(Body.size() + 2));
    out.insert(out.end(), Body.begin(), Body.end());
  };
  std::vector<Byte> dqt, dht;
  for (Integer t = 0; t < 3; ++t) {
    const TTIFFEntry* e = D.Entry(tags[t]);
    for (Integer k = 0; k < n; ++k) {
      const Int64 at = e && e->Count > DWORD(k) ? D.GetTagItem(tags[t], k) : 0;
      auto fail = [&] {
        return IEFail(Progress, std::string("the old-style JPEG TIFF page's ") + names[t] + " table " +
                                    std::to_string(k) + " is missing or lies outside the file"),
               false;
      };
      if (at <= 0) return fail();
      if (t == 0) {
        Byte q[64];
        if (!D.ReadAt(UInt64(at), q, 64)) return fail();
        dqt.push_back(Byte(k));
        dqt.insert(dqt.end(), q, q + 64);
        continue;
      }
      // Sixteen counts of codes by length, then the values, at most 256 of them.
      Byte counts[16];
      if (!D.ReadAt(UInt64(at), counts, 16)) return fail();
      Integer values = 0;
      for (Byte c : counts) values += c;
      if (values > 256) return fail();
      std::vector<Byte> v(static_cast<size_t>(values));
      if (values > 0 && !D.ReadAt(UInt64(at) + 16, v.data(), UInt64(values))) return fail();
      dht.push_back(Byte((t == 1 ? 0x00 : 0x10) | k));
      dht.insert(dht.end(), counts, counts + 16);
      dht.insert(dht.end(), v.begin(), v.end());
    }
  }
  out.push_back(0xFF);
  out.push_back(0xD8);
  segment(0xDB, dqt);
  segment(0xC4, dht);
  const Int64 restart = D.GetTagValue(515, 0);
  if (restart > 0 && restart <= 0xFFFF) segment(0xDD, {Byte(restart >> 8), Byte(restart)});
  return true;
}

}  // namespace

void ReadTIFFStream(TIEBitmap* Bitmap, TStream* Stream, Integer& PageCount, TIOParamsVals* IOParams,
                    TIECodecProgress& Progress, bool Preview, TIEMask*& AlphaChannel, bool TranslateBase,
                    bool IgnoreAlpha, bool IsExifThumb) {
  PageCount = 0;
  try {
    const Int64 base = TranslateBase ? Stream->Position() : 0;
    Byte head[8] = {};
    Stream->SetPosition(base);
    if (Stream->Size() - base < 8 || Stream->Read(head, 8) != 8)
      return IEFail(Progress, "not a TIFF file: it is too short");
    if (!((head[0] == 'I' && head[1] == 'I') || (head[0] == 'M' && head[1] == 'M')))
      return IEFail(Progress, "not a TIFF file: it does not start with \"II\" or \"MM\"");
    TTIFFDirectory dir(Stream, head[0] == 'I', base);
    const DWORD firstOffset = dir.U32(head + 4);
    if (firstOffset == 0) {
      if (IOParams) IEFail(Progress, "the TIFF file holds no image directory");
      return;
    }
    const Integer index = IOParams ? IOParams->TiffImageIndex : -1;
    const bool loaded = dir.LoadIFD(index, firstOffset, PageCount);
    if (!IOParams) return;
    if (!loaded) {
      if (PageCount == 0)
        return IEFail(Progress, "the TIFF file's first image directory is damaged or outside the file");
      return IEFail(Progress, "the TIFF file has no page " + std::to_string(index) + " (it holds " +
                                  std::to_string(PageCount) + (PageCount == 1 ? " page)" : " pages)"));
    }
    if (IOParams->TiffSubIndex >= 0) {
      const Int64 sub = dir.GetTagItem(330, IOParams->TiffSubIndex);
      if (sub > 0 && !dir.LoadAt(sub))
        return IEFail(Progress, "the TIFF page's sub-image directory is damaged or outside the file");
    }

    TIOParamsVals* P = IOParams;
    // The EXIF and GPS directories and the page's camera tags, read by the EXIF reader from the
    // same structure.
    if (P->TiffSubIndex < 0) {
      Stream->SetPosition(base);
      IEReadExifTiffDirectory(nullptr, Stream, P, true, false);
    }
    P->ExifHasEXIFData = dir.GetTagValue(34665) > 0;

    TTIFFVars V;
    V.Little = dir.Little;
    V.IOParams = P;
    V.IgnoreAlpha = IgnoreAlpha;
    V.GetTile = P->TiffGetTile;
    V.TileWidth = Integer(std::min<Int64>(dir.GetTagValue(322, -1), INT_MAX));
    V.TileLength = Integer(std::min<Int64>(dir.GetTagValue(323, -1), INT_MAX));
    Int64 width = dir.GetTagValue(256, 0), height = dir.GetTagValue(257, 0);
    if (V.GetTile >= 0) {
      width = V.TileWidth;
      height = V.TileLength;
    }
    if (width > INT_MAX || height > INT_MAX || width < 0 || height < 0)
      return IEFail(Progress, "the TIFF page's size " + std::to_string(width) + " x " + std::to_string(height) +
                                  " is not possible");
    V.ImageWidth = Integer(width);
    V.ImageLength = Integer(height);
    V.SamplesPerPixel = Integer(dir.GetTagValue(277, 1));
    std::vector<DWORD> bits;
    if (dir.GetTagArray(258, bits) > 0) {
      for (DWORD b : bits)
        if (b != bits[0]) return IEFail(Progress, "the TIFF page's samples have different bit depths");
      V.BitsPerSample = Integer(std::min<DWORD>(bits[0], 64));
    }
    const Int64 rows = dir.GetTagValue(278, -1);
    // A strip of 0 rows would never end; no count, or one beyond the page, is the whole page.
    V.RowsPerStrip = rows <= 0 || rows > V.ImageLength ? V.ImageLength : Integer(rows);
    V.Photometric = Word(dir.GetTagValue(262, 2));
    V.PlanarConfig = Word(dir.GetTagValue(284, 1));
    V.Orientation = Word(dir.GetTagValue(274, 1));
    V.Compression = Word(dir.GetTagValue(259, 1));
    V.Predictor = Integer(dir.GetTagValue(317, 1));
    const Integer unit = Integer(dir.GetTagValue(296, 2));
    const double xres = dir.GetRational(282), yres = dir.GetRational(283);
    V.T4Options = Integer(dir.GetTagValue(292, 0));
    V.T6Options = Integer(dir.GetTagValue(293, 0));
    V.FillOrder = Integer(dir.GetTagValue(266, 1));
    const double xpos = dir.GetRational(286), ypos = dir.GetRational(287);
    V.Software = dir.GetString(305);
    V.JPEGProc = Integer(dir.GetTagValue(512, 0));
    V.JPEGInterchangeFormat = DWORD(dir.GetTagValue(513, 0));
    V.JPEGInterchangeFormatLength = DWORD(dir.GetTagValue(514, 0));
    std::vector<DWORD> extra;
    dir.GetTagArray(338, extra);
    for (size_t i = 0; i < extra.size() && i < 10; ++i) V.ExtraSamples.push_back(Integer(extra[i]));
    for (Integer k = 0; k < 2; ++k) {
      const Int64 s = dir.Entry(530) ? dir.GetTagItem(530, k) : 2;
      V.YCbCrSubsampling[k] = s == 0 ? 2 : Integer(s);
    }
    if (dir.Entry(532))
      for (Integer k = 0; k < 6; ++k) V.ReferenceBlackWhite[k] = dir.GetRational(532, k);
    dir.GetTagArray(273, V.StripOffsets);
    dir.GetTagArray(279, V.StripByteCounts);
    dir.GetTagArray(324, V.TileOffsets);
    dir.GetTagArray(325, V.TileByteCounts);
    dir.GetTagBlock(347, V.JPEGTables);
    ReadColorMap(dir, V);
    if (V.SamplesPerPixel < 1 || V.SamplesPerPixel > kMaxSamples)
      return IEFail(Progress, "the TIFF page claims " + std::to_string(V.SamplesPerPixel) + " samples per pixel");
    if (V.BitsPerSample == 1 && V.SamplesPerPixel == 1 && V.Compression >= 1 && V.Compression <= 4 &&
        V.Photometric == 2)
      V.Photometric = 0;

    P->BitsPerSample = V.BitsPerSample;
    P->SamplesPerPixel = V.SamplesPerPixel;
    P->Width = P->OriginalWidth = V.ImageWidth;
    P->Height = P->OriginalHeight = V.ImageLength;
    P->TiffByteOrder = V.Little;
    P->SetImageCount(PageCount);
    P->SetTiffOrientation(V.Orientation);
    P->TiffCompression = CompressionCode(V.Compression, V.T4Options);
    if (V.Photometric <= 6)
      P->TiffPhotometInterpret = Byte(V.Photometric);
    else if (V.Photometric == 8)
      P->TiffPhotometInterpret = 7;
    P->TiffPlanarConfig = V.PlanarConfig;
    P->TiffDocumentName = dir.GetString(269);
    P->TiffImageDescription = dir.GetString(270);
    P->TiffPageName = dir.GetString(285);
    P->TiffPageNumber = Integer(dir.GetTagItem(297, 0));
    P->TiffPageCount = Integer(dir.GetTagItem(297, 1));
    P->TiffFillOrder = V.FillOrder;
    std::free(P->ColorMap);
    P->ColorMap = nullptr;
    P->ColorMapCount = 0;
    if (!V.ColorMap.empty()) {
      P->ColorMap = static_cast<TRGB*>(std::malloc(V.ColorMap.size() * sizeof(TRGB)));
      if (P->ColorMap) {
        std::memcpy(P->ColorMap, V.ColorMap.data(), V.ColorMap.size() * sizeof(TRGB));
        P->ColorMapCount = Integer(V.ColorMap.size());
      }
    }
    const double f = unit == 3 ? 2.54 : 1;
    auto dpi = [](double v, Integer fallback) {
      const double r = std::nearbyint(v);
      return r >= 1 && r <= INT_MAX ? Integer(r) : fallback;
    };
    // The DPI rounded, the EXIF resolution exact (each setter sets the other field too).
    P->SetDpiX(dpi(xres * f, IEGlobalDefaultDpiX));
    P->SetDpiY(dpi(yres * f, IEGlobalDefaultDpiY));
    P->ExifXResolution = xres * f;
    P->ExifYResolution = yres * f;
    P->TiffXPos = std::isfinite(xpos * f) && std::fabs(xpos * f) < INT_MAX ? Integer(xpos * f) : 0;
    P->TiffYPos = std::isfinite(ypos * f) && std::fabs(ypos * f) < INT_MAX ? Integer(ypos * f) : 0;
    ReadMetadataBlocks(dir, P);

    if ((P->Width == 0 || P->Height == 0) && !IsExifThumb)
      return IEFail(Progress, "the TIFF page has no width or height");
    if (V.Compression == 5) {
      V.LZW = IETiffLZWDecompressOf(*P);
      if (!V.LZW) return IEFail(Progress, "the TIFF page is LZW-compressed and no LZW decoder is installed");
    }
    if (Preview || !Bitmap) return;

    const TTIFFConversion conv = TIFFChooseConversion(V);
    // The mask is made once the image itself passed the size checks and was allocated.
    auto makeMask = [&] {
      if (!IgnoreAlpha && conv.AlphaSample >= 0 && !V.JpegBlocks() && !AlphaChannel) AlphaChannel = new TIEMask();
      if (!AlphaChannel) return;
      AlphaChannel->AllocateBits(V.ImageWidth, V.ImageLength, 8);
      AlphaChannel->Fill(255);
      if (!IgnoreAlpha && conv.AlphaSample >= 0) {
        AlphaChannel->Full = false;
        V.Alpha = AlphaChannel;
      }
    };
    if (IsExifThumb && (V.ImageWidth > kThumbnailLimit || V.ImageLength > kThumbnailLimit))
      return IEFail(Progress, "the TIFF thumbnail is larger than 400 pixels");
    // Old-style JPEG: the interchange stream when the page has one, else (tables given) a JPEG
    // datastream made for each strip or tile from the tables and its entropy-coded data.
    const bool oldTables = V.Compression == 6 && V.JPEGInterchangeFormat == 0 && V.JPEGProc < 2 && dir.Entry(519) &&
                           (!V.StripOffsets.empty() || !V.TileOffsets.empty());
    if (oldTables && !ReadOldJPEGTables(dir, V, Progress)) return;
    if (!oldTables && (V.Compression == 6 || (V.JPEGInterchangeFormat != 0 && V.Compression != 5)) && V.JPEGProc < 2) {
      ReadOldJPEG(dir, V, Bitmap, Progress);
    } else {
      if (V.ImageWidth == 0 || V.ImageLength == 0) return IEFail(Progress, "the TIFF page has no width or height");
      const bool tiled = V.TileWidth > 0 && V.TileLength > 0;
      if (V.TileWidth == 0 || V.TileLength == 0) return IEFail(Progress, "the TIFF page's tiles have no size");
      // A tile is decoded whole, also where it reaches past the page: one far larger than the
      // page would allocate what the image never needs.
      if (tiled && Int64(V.TileWidth) * V.TileLength > std::max<Int64>(Int64(V.ImageWidth) * V.ImageLength * 4, 1 << 20))
        return IEFail(Progress, "the TIFF page's tiles of " + std::to_string(V.TileWidth) + " x " +
                                    std::to_string(V.TileLength) + " pixels do not fit its size");
      if (V.StripOffsets.empty() && V.TileOffsets.empty())
        return IEFail(Progress, "the TIFF page has no strip or tile offsets: its image data cannot be found");
      if (V.GetTile >= 0) {
        const std::vector<DWORD>& o = V.TileOffsets.empty() ? V.StripOffsets : V.TileOffsets;
        if (!tiled || size_t(V.GetTile) >= o.size())
          return IEFail(Progress, "the TIFF page has no tile " + std::to_string(V.GetTile));
      }
      if (!V.JpegBlocks() && conv.Kind == TTIFFSampleKind::Unsupported)
        return IEFail(Progress, TIFFUnsupportedText(V));
      {
        const std::vector<DWORD>& o = tiled && !V.TileOffsets.empty() ? V.TileOffsets : V.StripOffsets;
        const size_t firstBlock = V.GetTile >= 0 ? size_t(V.GetTile) : 0;
        if (o.empty() || o[firstBlock] >= dir.Size())
          return IEFail(Progress, "the TIFF page's image data lies outside the file (truncated?)");
      }
      // The densest each coding packs the pixels: the file must hold at least that much.
      const Int64 raw = (Int64(V.ImageWidth) * V.SamplesPerPixel * V.BitsPerSample + 7) / 8 * V.ImageLength;
      Int64 ratio = 0;
      switch (V.Compression) {
        case 1:
          ratio = 1;
          break;
        case 32773:
          ratio = 64;
          break;
        case 5:
          ratio = 4096;
          break;
        case 8:
        case 32946:
          ratio = IEDeflateMaxRatio;
          break;
      }
      if (ratio > 0) {
        if (!IECheckInputHolds(Progress, "the TIFF file", V.ImageWidth, V.ImageLength, raw / ratio, Int64(dir.Size())))
          return;
      } else if (!IECheckSparseImage(Progress, "compressed TIFF data", V.ImageWidth, V.ImageLength)) {
        return;
      }
      // A fax coding spends at least one bit a row (a row equal to the one above is one vertical
      // code), so a tall page cannot come out of a few bytes.
      if ((V.Compression == 2 || V.Compression == 3 || V.Compression == 4) &&
          !IECheckInputHolds(Progress, "the TIFF file", V.ImageWidth, V.ImageLength, (Int64(V.ImageLength) + 7) / 8,
                             Int64(dir.Size())))
        return;
      const bool native = P->NativePixelFormat;
      const Integer b = V.BitsPerSample, s = V.SamplesPerPixel, ph = V.Photometric;
      TIEPixelFormat fmt = ie24RGB;
      if (b == 1 && s == 1 && ph != 3)
        fmt = ie1g;
      else if (native && !V.JpegBlocks()) {
        if (b == 8 && s == 1 && ph == 3)
          fmt = ie8p;
        else if (b == 8 && s == 1 && ph <= 1)
          fmt = ie8g;
        else if (b == 16 && s == 1 && ph <= 1)
          fmt = ie16g;
        else if ((b == 8 || b == 16) && s >= 4 && ph == 5)
          fmt = ieCMYK;
        else if (b == 16 && s == 3 && ph == 2)
          fmt = ieRGB48;
      }
      const TIEPixelFormat got =
          IEAllocateImage(Progress, Bitmap, V.ImageWidth, V.ImageLength, fmt, fmt == ie16g ? ie8g : ieNull);
      if (got == ieNull) return;
      makeMask();
      if (got == ie8p) {
        for (Integer i = 0; i < 256; ++i)
          Bitmap->SetPaletteEntry(i, size_t(i) < V.ColorMap.size() ? V.ColorMap[size_t(i)] : TRGB{0, 0, 0});
      }
      // Rows of strips that turn out missing or damaged stay black.
      Bitmap->Fill(0);
      TIFFReadImage(dir, V, Bitmap, Progress);
    }
    if (P->TiffEnableAdjustOrientation && !Bitmap->IsEmpty()) IEApplyExifOrientation(Bitmap, V.Orientation);
  } catch (const std::bad_alloc&) {
    IEFail(Progress, "not enough memory to read the TIFF page");
  } catch (const Exception& e) {
    IEFail(Progress, e.Message.empty() ? AnsiString("the TIFF page cannot be read") : e.Message);
  }
}
