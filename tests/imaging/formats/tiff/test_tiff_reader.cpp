// The TIFF reader against libtiff's own tools: every compression, layout and byte order tiffcp
// writes, ImageMagick's CMYK, Lab, 16-bit and alpha pages, netpbm's grey and bilevel pages, all
// read as tiff2rgba reads them, in each of the four stores. Hand-made pages hold the cases no
// tool writes; the corpus replays damaged copies.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

#include "imaging/core/ie_mask.h"
#include "imaging/formats/compression/ie_lzw.h"
#include "imaging/formats/tiff/ie_tiff_reader.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/plain_cmyk.h"
#include "tests/imaging/formats/tiff_test_util.h"
#include "tests/imaging/support/ie_stores.h"

using namespace ietest;
using namespace tifftest;
using testsupport::Fixture;
using testsupport::ShellQuote;

namespace {

const std::string kMake =
    std::string("python3 ") + CLAVORNE_SOURCE_DIR + "/tests/imaging/formats/tools/make_netpbm.py ";

struct TRead {
  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  TProgressProbe Probe;
  TIEMask* Alpha = nullptr;
  Integer Pages = -1;
  TRead() { IEInstallLZWCoders(); }
  ~TRead() { delete Alpha; }
};

void ReadTiff(const std::vector<Byte>& Data, TRead& R, bool Preview = false, bool IgnoreAlpha = false) {
  TMemoryStream m;
  FillStream(m, Data);
  ReadTIFFStream(&R.Bitmap, &m, R.Pages, &R.Params, R.Probe.Progress, Preview, R.Alpha, true, IgnoreAlpha, false);
}

std::string Source() { return Fixture("tiff-src-37x23.ppm", kMake + "rgb 37 23 255 0 {out}"); }
std::string Bilevel() {
  return Fixture("tiff-bilevel-37x23.tif",
                 "pamthreshold " + ShellQuote(Source()) + " | pamtopnm | pamtotiff -none > {out}");
}
std::string Base() { return Fixture("tiff-base-37x23.tif", "ppm2tiff -c none " + ShellQuote(Source()) + " {out}"); }

// What tiff2rgba makes of a file, as a PPM (alpha dropped).
TPam Tiff2Rgba(const std::string& File) {
  const std::string ppm = Fixture(
      File.substr(File.rfind('/') + 1) + ".rgba.ppm",
      "tiff2rgba -c none -n " + ShellQuote(File) + " {out}.t && tifftopnm {out}.t > {out} 2>/dev/null; rm -f {out}.t");
  return ReadPamFile(ppm);
}

TEST(TiffReader, ToolFilesReadAsTiff2rgbaReadsThem) {
  // tiff2rgba turns CMYK into RGB by the plain formula.
  const TCMYKProfileUse formula(false);
  const std::string src = ShellQuote(Source()), base = ShellQuote(Base()), bilevel = ShellQuote(Bilevel());
  const std::string grey = "ppmtopgm " + src;
  struct TCase {
    std::string Name, Recipe;
    Integer Tolerance;
    // libtiff shows CIELab under its own white point, not the file's: ImageMagick, which wrote
    // the page for the file's D65, is the peer there. The sRGB curve's steep start turns the
    // rounding of 8-bit Lab into up to 20 levels in a channel near 0.
    bool ImageMagick = false;
  };
  const std::vector<TCase> cases = {
      {"none", "tiffcp -c none -r 5 " + base + " {out}", 0},
      {"packbits", "tiffcp -c packbits -r 5 " + base + " {out}", 0},
      {"lzw-predictor", "tiffcp -c lzw:2 -r 5 " + base + " {out}", 0},
      {"zip-predictor", "tiffcp -c zip:2 -r 5 " + base + " {out}", 0},
      {"adobe-deflate", "tiffcp -c zip -r 7 " + base + " {out}", 0},
      {"jpeg", "tiffcp -c jpeg -r 16 " + base + " {out}", 3},
      {"separate", "tiffcp -p separate -c lzw:2 -r 5 " + base + " {out}", 0},
      {"separate-none", "tiffcp -p separate -c none -r 4 " + base + " {out}", 0},
      // Planes of noise larger than the reader's read-ahead: each row's strips of the three
      // planes lie far apart, and a strip still being decoded must survive the next one's read.
      {"separate-large",
       "convert -seed 3 -size 1000x700 plasma:fractal +noise Gaussian -depth 8 {out}.ppm && ppm2tiff -c none {out}.ppm "
       "{out}.t && tiffcp -p separate -c lzw -r 16 {out}.t {out}; rm -f {out}.ppm {out}.t",
       0},
      {"tiles", "tiffcp -t -w 16 -l 16 -c zip:2 " + base + " {out}", 0},
      {"tiles-jpeg", "tiffcp -t -w 16 -l 16 -c jpeg " + base + " {out}", 3},
      {"tiles-separate", "tiffcp -t -w 16 -l 16 -p separate -c packbits " + base + " {out}", 0},
      {"big-endian", "tiffcp -B -c lzw:2 -r 5 " + base + " {out}", 0},
      {"big-endian-tiles", "tiffcp -B -t -w 16 -l 16 -c none " + base + " {out}", 0},
      {"cmyk", "convert " + src + " -colorspace CMYK -compress lzw TIFF:{out}", 1},
      {"lab", "convert " + src + " -colorspace Lab -compress none TIFF:{out}", 20, true},
      {"rgb16", "convert " + src + " -depth 16 -compress none TIFF:{out}", 0},
      {"rgb16-be-predictor",
       "convert " + src + " -depth 16 -endian MSB -define tiff:predictor=2 -compress lzw TIFF:{out}", 0},
      {"rgb16-le-predictor",
       "convert " + src + " -depth 16 -endian LSB -define tiff:predictor=2 -compress zip TIFF:{out}", 0},
      {"grey-miniswhite", grey + " | pamtotiff -miniswhite -lzw > {out}", 0},
      {"grey-minisblack", grey + " | pamtotiff -packbits > {out}", 0},
      {"grey16-be", "convert " + src + " -colorspace gray -depth 16 -endian MSB -compress none TIFF:{out}", 0},
      {"grey4", "convert " + src + " -colorspace gray -depth 4 -compress none TIFF:{out}", 0},
      {"grey2", "convert " + src + " -colorspace gray -depth 2 -compress none TIFF:{out}", 0},
      {"palette", "convert " + src + " -colors 12 -type Palette -compress none TIFF:{out}", 0},
      {"palette8", "convert " + src + " -colors 200 -type Palette -compress lzw TIFF:{out}", 0},
      {"bilevel", "cp " + bilevel + " {out}", 0},
      {"bilevel-miniswhite", "pamthreshold " + src + " | pamtopnm | pamtotiff -miniswhite -packbits > {out}", 0},
      {"bilevel-tiles-be", "tiffcp -B -t -w 16 -l 16 " + bilevel + " {out}", 0},
      {"g3-1d", "tiffcp -c g3:1d " + bilevel + " {out}", 0},
      {"g3-1d-fill-lsb", "tiffcp -c g3:1d:fill -f lsb2msb " + bilevel + " {out}", 0},
      {"g3-2d", "tiffcp -c g3:2d -r 7 " + bilevel + " {out}", 0},
      {"g4", "tiffcp -c g4 " + bilevel + " {out}", 0},
      {"pamtotiff-g3", "pamthreshold " + src + " | pamtopnm | pamtotiff -g3 -miniswhite > {out}", 0},
      {"pamtotiff-g4", "pamthreshold " + src + " | pamtopnm | pamtotiff -g4 -miniswhite > {out}", 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = Fixture("tiff-" + c.Name + ".tif", c.Recipe);
    const std::vector<Byte> data = ReadWholeFile(file);
    const TPam theirs =
        c.ImageMagick ? PamFromCommand("convert " + ShellQuote(file) + " -depth 8 ppm:-") : Tiff2Rgba(file);
    ForEachStore([&](Store, StoreScope& scope) {
      TRead r;
      scope.Prepare(r.Bitmap);
      ReadTiff(data, r);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      EXPECT_EQ(r.Pages, 1);
      EXPECT_LE(MaxDifference(r.Bitmap, theirs), c.Tolerance);
    });
  }
}

// Alpha pages of ImageMagick (unassociated alpha, 8 and 16 bits, strips and tiles): the colours
// as they are stored and the alpha into the mask; with IgnoreAlpha no mask at all.
TEST(TiffReader, AlphaGoesToTheMask) {
  const std::string src = ShellQuote(Source());
  const std::string withAlpha = "convert " + src + " -alpha set -channel A -fx 'i/w' +channel ";
  struct TCase {
    std::string Name, Recipe;
  } cases[] = {
      {"rgba8", withAlpha + "-compress lzw TIFF:{out}"},
      {"rgba16-tiles",
       withAlpha + "-depth 16 -compress none TIFF:{out}.t && tiffcp -t -w 16 -l 16 {out}.t {out}; rm -f {out}.t"},
      {"grey-alpha",
       "convert " + src + " -colorspace gray -alpha set -channel A -fx 'j/h' +channel -compress zip TIFF:{out}"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = Fixture("tiff-" + c.Name + ".tif", c.Recipe);
    const TPam colours = PamFromCommand("convert " + ShellQuote(file) + " -alpha off -depth 8 ppm:-");
    const TPam alpha = PamFromCommand("convert " + ShellQuote(file) + " -alpha extract -depth 8 pgm:-");
    ForEachStore([&](Store, StoreScope& scope) {
      TRead r;
      scope.Prepare(r.Bitmap);
      ReadTiff(ReadWholeFile(file), r);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      EXPECT_LE(MaxDifference(r.Bitmap, colours), 1);
      ASSERT_NE(r.Alpha, nullptr);
      ASSERT_EQ(r.Alpha->Width, 37);
      Integer worst = 0;
      for (Integer y = 0; y < 23; ++y)
        for (Integer x = 0; x < 37; ++x)
          worst = std::max(worst, std::abs(r.Alpha->GetPixel(x, y) - alpha.At8(x, y, 0)));
      EXPECT_LE(worst, 1);
    });
    TRead ignored;
    ReadTiff(ReadWholeFile(file), ignored, false, true);
    EXPECT_FALSE(ignored.Probe.Failed()) << ignored.Probe.Reason;
    EXPECT_EQ(ignored.Alpha, nullptr);
    EXPECT_LE(MaxDifference(ignored.Bitmap, colours), 1);
  }
}

// Pages of a multi-page file by index; a page beyond the last is a failure with a reason (the
// caller asked for an image that is not there), the count still given.
TEST(TiffReader, PagesByIndexAndBeyondTheLast) {
  const std::string src = ShellQuote(Source());
  const std::string file =
      Fixture("tiff-three-pages.tif",
              "convert " + src + " -negate {out}.2.ppm && ppmtopgm " + src + " > {out}.3.pgm && convert " + src +
                  " {out}.2.ppm {out}.3.pgm -compress lzw TIFF:{out}; rm -f {out}.2.ppm {out}.3.pgm");
  const std::vector<Byte> data = ReadWholeFile(file);
  for (Integer page = 0; page < 3; ++page) {
    SCOPED_TRACE(page);
    TRead r;
    r.Params.TiffImageIndex = page;
    ReadTiff(data, r);
    ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
    EXPECT_EQ(r.Pages, 3);
    EXPECT_EQ(r.Params.TiffImageCount, 3);
    EXPECT_EQ(MaxDifference(r.Bitmap, PamFromCommand("convert " + ShellQuote(file) + "[" + std::to_string(page) +
                                                     "] -depth 8 ppm:-")),
              0);
  }
  TRead beyond;
  beyond.Params.TiffImageIndex = 5;
  ReadTiff(data, beyond);
  EXPECT_TRUE(beyond.Probe.Failed());
  EXPECT_NE(beyond.Probe.Reason.find("no page 5"), std::string::npos) << beyond.Probe.Reason;
  EXPECT_EQ(beyond.Pages, 3);
  EXPECT_TRUE(beyond.Bitmap.IsEmpty());

  // Only the count, without parameters.
  TMemoryStream m;
  FillStream(m, data);
  TProgressProbe probe;
  Integer pages = 0;
  TIEMask* alpha = nullptr;
  ReadTIFFStream(nullptr, &m, pages, nullptr, probe.Progress, false, alpha, true, false, false);
  EXPECT_EQ(pages, 3);
  EXPECT_FALSE(probe.Failed());

  // Preview: the parameters, no pixel.
  TRead preview;
  ReadTiff(data, preview, true);
  EXPECT_FALSE(preview.Probe.Failed());
  EXPECT_EQ(preview.Params.Width, 37);
  EXPECT_EQ(preview.Params.Height, 23);
  EXPECT_EQ(preview.Params.TiffCompression, 5);
  EXPECT_TRUE(preview.Bitmap.IsEmpty());
}

// One strip of a hand-made page: Width x 1 (or more rows) of Data stored with Compression.
std::vector<Byte> HandMade(bool Little, Integer Width, Integer Height, Integer Bits, Integer Samples,
                           Integer Photometric, Integer Compression, const std::vector<Byte>& Strip,
                           std::vector<TTag> Extra = {}) {
  TTiffFile f(Little);
  const DWORD at = f.Data(Strip);
  std::vector<TTag> tags = {Long(256, {DWORD(Width)}),
                            Long(257, {DWORD(Height)}),
                            Short(258, std::vector<DWORD>(size_t(Samples), DWORD(Bits))),
                            Short(259, {DWORD(Compression)}),
                            Short(262, {DWORD(Photometric)}),
                            Long(273, {at}),
                            Short(277, {DWORD(Samples)}),
                            Long(278, {DWORD(Height)}),
                            Long(279, {DWORD(Strip.size())})};
  for (const TTag& e : Extra) {
    auto same = std::find_if(tags.begin(), tags.end(), [&](const TTag& t) { return t.Tag == e.Tag; });
    if (same != tags.end())
      *same = e;
    else
      tags.push_back(e);
  }
  std::sort(tags.begin(), tags.end(), [](const TTag& a, const TTag& b) { return a.Tag < b.Tag; });
  f.Directory(tags);
  return f.Bytes;
}

std::vector<Byte> Deflate(const std::vector<Byte>& Plain) {
  uLongf size = compressBound(uLong(Plain.size()));
  std::vector<Byte> out(size);
  compress(out.data(), &size, Plain.data(), uLong(Plain.size()));
  out.resize(size);
  return out;
}

std::vector<Integer> GreyRow(TRead& R) {
  std::vector<Integer> v;
  for (Integer x = 0; x < R.Bitmap.GetWidth(); ++x) v.push_back(R.Bitmap.GetPixelAsRGB(x, 0).g);
  return v;
}

TEST(TiffReader, PredictorsUndoneInTheFilesByteOrder) {
  // Differences 10, 20, 30, 5, 5, 5 of three-sample pixels give 10, 20, 30, 15, 25, 35.
  TRead rgb;
  ReadTiff(HandMade(true, 2, 1, 8, 3, 2, 8, Deflate({10, 20, 30, 5, 5, 5}), {Short(317, {2})}), rgb);
  ASSERT_FALSE(rgb.Probe.Failed()) << rgb.Probe.Reason;
  const TRGB p0 = rgb.Bitmap.GetPixelAsRGB(0, 0), p1 = rgb.Bitmap.GetPixelAsRGB(1, 0);
  EXPECT_EQ((std::vector<Integer>{p0.r, p0.g, p0.b, p1.r, p1.g, p1.b}), (std::vector<Integer>{10, 20, 30, 15, 25, 35}));

  // 16-bit grey, differences 0x1000, 0x0101, 0x0001 stored in each byte order: the sums carry
  // from the low byte to the high one only when the file's order is followed.
  for (bool little : {true, false}) {
    SCOPED_TRACE(little ? "II" : "MM");
    std::vector<Byte> strip;
    for (Word d : {Word(0x10FF), Word(0x0101), Word(0x0001)}) {
      if (little)
        strip.insert(strip.end(), {Byte(d), Byte(d >> 8)});
      else
        strip.insert(strip.end(), {Byte(d >> 8), Byte(d)});
    }
    for (Word c : {Word(32946), Word(8)}) {
      TRead r;
      r.Params.NativePixelFormat = true;
      ReadTiff(HandMade(little, 3, 1, 16, 1, 1, c, Deflate(strip), {Short(317, {2})}), r);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      ASSERT_EQ(r.Bitmap.GetPixelFormat(), ie16g);
      const Word* row = static_cast<const Word*>(r.Bitmap.GetScanline(0));
      EXPECT_EQ(row[0], 0x10FF);
      EXPECT_EQ(row[1], 0x1200);
      EXPECT_EQ(row[2], 0x1201);
    }
  }
}

TEST(TiffReader, SamplesOfAnyDepthScaledToEightBits) {
  struct TCase {
    Integer Bits;
    std::vector<Byte> Strip;  // the values 0, max, max / 2 + 1 packed most significant bit first
    std::vector<Integer> Grey;
  } cases[] = {
      {2, {0b00111000}, {0, 255, 170}},
      {3, {0b00011110, 0b00000000}, {0, 255, 146}},
      {4, {0x0F, 0x80}, {0, 255, 136}},
      {5, {0b00000111, 0b11100000, 0}, {0, 255, 132}},
      {6, {0b00000011, 0b11111000, 0b00000000}, {0, 255, 130}},
      {7, {0b00000001, 0b11111110, 0b00000000}, {0, 255, 129}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Bits);
    for (Integer photometric : {1, 0}) {
      TRead r;
      ReadTiff(HandMade(true, 3, 1, c.Bits, 1, photometric, 1, c.Strip), r);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      std::vector<Integer> want = c.Grey;
      if (photometric == 0)
        for (Integer& v : want) v = 255 - v;
      EXPECT_EQ(GreyRow(r), want);
    }
  }
}

// Uncompressed YCbCr with two pixels to a chroma pair, of odd width: the last pair's second
// pixel lies past the row and is not stored. Blocks of 2 x 2 (what FFmpeg writes from 4:2:0
// video) spread over two rows, of odd width and height; other subsamplings are refused with
// the reason.
TEST(TiffReader, YCbCrPairs) {
  TRead r;
  ReadTiff(HandMade(true, 3, 1, 8, 3, 6, 1, {100, 150, 128, 128, 200, 0, 128, 128}, {Short(530, {2, 1})}), r);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  const std::vector<Integer> want = {100, 150, 200};
  for (Integer x = 0; x < 3; ++x) {
    const TRGB c = r.Bitmap.GetPixelAsRGB(x, 0);
    EXPECT_NEAR(c.r, want[size_t(x)], 1);
    EXPECT_NEAR(c.g, want[size_t(x)], 1);
    EXPECT_NEAR(c.b, want[size_t(x)], 1);
  }
  // 3 x 3 pixels: two rows of two blocks, the last block of each row and the second row
  // reaching past the image.
  TRead square;
  ReadTiff(HandMade(true, 3, 3, 8, 3, 6, 1,
                    {10, 20, 30, 40, 128, 128, 50, 60, 70, 80, 128, 128, 90, 100, 110, 120, 128, 128, 130, 140, 150, 160,
                     128, 128},
                    {Short(530, {2, 2})}),
           square);
  ASSERT_FALSE(square.Probe.Failed()) << square.Probe.Reason;
  const Integer greys[3][3] = {{10, 20, 50}, {30, 40, 70}, {90, 100, 130}};
  for (Integer y = 0; y < 3; ++y)
    for (Integer x = 0; x < 3; ++x) {
      const TRGB c = square.Bitmap.GetPixelAsRGB(x, y);
      EXPECT_NEAR(c.g, greys[y][x], 1) << x << "," << y;
      EXPECT_NEAR(c.r, greys[y][x], 1) << x << "," << y;
    }
  // Video range: Y from 16 to 235, chroma 128 +- 112, stretched to full range.
  TRead video;
  ReadTiff(HandMade(true, 2, 1, 8, 3, 6, 1, {16, 235, 128, 128},
                    {Short(530, {2, 1}), TTag{532, 5, {16, 1, 235, 1, 128, 1, 240, 1, 128, 1, 240, 1}}}),
           video);
  ASSERT_FALSE(video.Probe.Failed()) << video.Probe.Reason;
  EXPECT_LE(video.Bitmap.GetPixelAsRGB(0, 0).g, 1);
  EXPECT_GE(video.Bitmap.GetPixelAsRGB(1, 0).g, 254);
  TRead wide;
  ReadTiff(HandMade(true, 4, 1, 8, 3, 6, 1, {100, 150, 100, 150, 128, 128}, {Short(530, {4, 1})}), wide);
  EXPECT_TRUE(wide.Probe.Failed());
  EXPECT_NE(wide.Probe.Reason.find("subsampling 4 x 1"), std::string::npos) << wide.Probe.Reason;
}

// An old-style JPEG page: the interchange stream the page points to, decoded as djpeg does.
TEST(TiffReader, OldStyleJpegPage) {
  const std::string jpeg = Fixture("tiff-old.jpg", "cjpeg -quality 90 " + ShellQuote(Source()) + " > {out}");
  const std::vector<Byte> stream = ReadWholeFile(jpeg);
  TTiffFile f(true);
  const DWORD at = f.Data(stream);
  f.Directory({Long(256, {37}), Long(257, {23}), Short(258, {8, 8, 8}), Short(259, {6}), Short(262, {6}),
               Short(277, {3}), Long(513, {at}), Long(514, {DWORD(stream.size())})});
  TRead r;
  ReadTiff(f.Bytes, r);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  EXPECT_EQ(MaxDifference(r.Bitmap, PamFromCommand("djpeg -pnm " + ShellQuote(jpeg))), 0);
}

// The parts of a baseline JPEG datastream an old-style TIFF writer stored apart: each
// component's quantisation and Huffman tables, and the entropy-coded data.
struct TJpegParts {
  std::map<Integer, std::vector<Byte>> Quant, Dc, Ac;  // by table number
  std::vector<Integer> QuantOf, DcOf, AcOf;            // each component's tables
  std::vector<Byte> Scan;
};

TJpegParts SplitJpeg(const std::vector<Byte>& J) {
  TJpegParts p;
  size_t at = 2;
  while (at + 4 <= J.size()) {
    const Byte marker = J[at + 1];
    const size_t length = size_t(J[at + 2]) << 8 | J[at + 3];
    const Byte* b = J.data() + at + 4;
    const size_t n = length - 2;
    if (marker == 0xDB) {
      for (size_t i = 0; i + 65 <= n; i += 65) p.Quant[b[i] & 15].assign(b + i + 1, b + i + 65);
    } else if (marker == 0xC4) {
      for (size_t i = 0; i + 17 <= n;) {
        size_t values = 0;
        for (Integer k = 0; k < 16; ++k) values += b[i + 1 + k];
        (b[i] >> 4 ? p.Ac : p.Dc)[b[i] & 15].assign(b + i + 1, b + i + 17 + values);
        i += 17 + values;
      }
    } else if (marker == 0xC0) {
      for (Integer k = 0; k < b[5]; ++k) p.QuantOf.push_back(b[6 + 3 * k + 2]);
    } else if (marker == 0xDA) {
      for (Integer k = 0; k < b[0]; ++k) {
        p.DcOf.push_back(b[2 + 2 * k] >> 4);
        p.AcOf.push_back(b[2 + 2 * k] & 15);
      }
      p.Scan.assign(J.begin() + std::ptrdiff_t(at + 2 + length), J.end() - 2);  // up to the EOI
      break;
    }
    at += 2 + length;
  }
  return p;
}

// Old-style JPEG pages without an interchange stream, as early writers stored them: the tables
// at offsets of their own and each strip's entropy-coded data alone. Each strip here is cjpeg's
// coding of that band of the picture, so djpeg's pixels of the bands are the page's.
TEST(TiffReader, OldStyleJpegStripsOfTablesAndScans) {
  const std::string src = Fixture("tiff-old-src-37x40.ppm", kMake + "rgb 37 40 255 0 {out}");
  struct TCase {
    std::string Name, Cjpeg, Convert;
    Word Photometric;
    Integer Samples;
  } cases[] = {
      {"YCbCr 2 x 2", "cjpeg -quality 85", "", 6, 3},
      {"RGB", "cjpeg -quality 85 -rgb", "", 2, 3},
      {"grey", "cjpeg -quality 85 -grayscale", "| ppmtopgm", 1, 1},
  };
  const Integer rowsPerStrip = 16, height = 40;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTiffFile f(true);
    std::vector<DWORD> offsets, counts, q, dc, ac;
    std::string decoded;  // djpeg's pixels of each band
    for (Integer y = 0; y < height; y += rowsPerStrip) {
      const Integer rows = std::min(rowsPerStrip, height - y);
      const std::string band = Fixture("tiff-old-" + std::to_string(c.Photometric) + "-" + std::to_string(y) + ".jpg",
                                       "pamcut -top " + std::to_string(y) + " -height " + std::to_string(rows) + " " +
                                           ShellQuote(src) + " " + c.Convert + " | " + c.Cjpeg + " > {out}");
      decoded += " " + ShellQuote(Fixture("tiff-old-" + std::to_string(c.Photometric) + "-" + std::to_string(y) + ".pnm",
                                          "djpeg -pnm " + ShellQuote(band) + " > {out}"));
      const TJpegParts parts = SplitJpeg(ReadWholeFile(band));
      ASSERT_EQ(parts.QuantOf.size(), size_t(c.Samples));
      if (q.empty()) {
        // The bands share their tables (the same quality and cjpeg's standard Huffman codes).
        for (Integer k = 0; k < c.Samples; ++k) {
          q.push_back(f.Data(parts.Quant.at(parts.QuantOf[k])));
          dc.push_back(f.Data(parts.Dc.at(parts.DcOf[k])));
          ac.push_back(f.Data(parts.Ac.at(parts.AcOf[k])));
        }
      }
      offsets.push_back(f.Data(parts.Scan));
      counts.push_back(DWORD(parts.Scan.size()));
    }
    std::vector<TTag> tags = {Long(256, {37}),       Long(257, {DWORD(height)}),
                              Short(258, std::vector<DWORD>(size_t(c.Samples), 8)),
                              Short(259, {6}),       Short(262, {c.Photometric}),
                              Long(273, offsets),    Short(277, {DWORD(c.Samples)}),
                              Long(278, {DWORD(rowsPerStrip)}), Long(279, counts),
                              Short(512, {1}),       Long(519, q),
                              Long(520, dc),         Long(521, ac)};
    if (c.Photometric == 6) tags.push_back(Short(530, {2, 2}));
    f.Directory(tags);
    TRead r;
    ReadTiff(f.Bytes, r);
    ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
    EXPECT_EQ(MaxDifference(r.Bitmap, PamFromCommand("pnmcat -tb" + decoded)), 0);

    // Table offsets beyond the end of the file fail the page with the reason.
    TTiffFile broken(true);
    broken.Bytes = f.Bytes;  // its own directory, added below, becomes the first
    std::vector<TTag> brokenTags = tags;
    brokenTags[10] = Long(519, std::vector<DWORD>(size_t(c.Samples), DWORD(f.Bytes.size() + 1000)));
    broken.Directory(brokenTags);
    TRead rb;
    ReadTiff(broken.Bytes, rb);
    EXPECT_TRUE(rb.Probe.Failed());
    EXPECT_NE(rb.Probe.Reason.find("quantisation table 0"), std::string::npos) << rb.Probe.Reason;
  }
}

// The colour map holds the entries its tag counts: a 4-entry map of an 8-bit page is read as
// 4 entries (reds, greens, blues of 4 each), not as 256 entries per plane reaching past it.
TEST(TiffReader, ColourMapSizedByItsTag) {
  const std::vector<DWORD> map = {0xFF00, 0x0000, 0x0000, 0x8000,   // reds
                                  0x0000, 0xFF00, 0x0000, 0x8000,   // greens
                                  0x0000, 0x0000, 0xFF00, 0x8000};  // blues
  TRead r;
  ReadTiff(HandMade(true, 5, 1, 8, 1, 3, 1, {0, 1, 2, 3, 200}, {{320, 3, map}}), r);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  const TRGB want[5] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {128, 128, 128}, {0, 0, 0}};
  for (Integer x = 0; x < 5; ++x) {
    const TRGB c = r.Bitmap.GetPixelAsRGB(x, 0);
    EXPECT_EQ(c.r, want[x].r) << x;
    EXPECT_EQ(c.g, want[x].g) << x;
    EXPECT_EQ(c.b, want[x].b) << x;
  }
  EXPECT_EQ(r.Params.ColorMapCount, 4);
}

// Damaged structures fail with a reason and never hang: no offsets, bit depths that differ,
// chains that loop, data beyond the end, a file that is no TIFF.
TEST(TiffReader, DamagedPagesFailWithAReason) {
  const std::vector<Byte> good = HandMade(true, 3, 1, 8, 1, 1, 1, {1, 2, 3});
  auto without = [](std::vector<Byte> D, Word Tag) {
    // Renames the tag so the directory no longer has it.
    for (size_t i = 8; i + 12 <= D.size(); ++i)
      if (D[i] == Byte(Tag) && D[i + 1] == Byte(Tag >> 8) && D[i + 2] <= 4 && D[i + 3] == 0) {
        D[i] = 0xFE, D[i + 1] = 0xFE;
        break;
      }
    return D;
  };
  TTiffFile loop(true);
  const DWORD strip = loop.Data({1, 2, 3});
  const std::vector<TTag> page = {Long(256, {3}),  Long(257, {1}),     Short(258, {8}),
                                  Short(262, {1}), Long(273, {strip}), Long(279, {3})};
  const DWORD a = loop.Directory(page);
  const DWORD b = loop.Directory(page, a);
  loop.Set32(loop.NextField(a), b);  // a -> b -> a
  TTiffFile self(true);
  const DWORD selfStrip = self.Data({1, 2, 3});
  std::vector<TTag> selfPage = page;
  selfPage[4] = Long(273, {selfStrip});
  const DWORD s = self.Directory(selfPage);
  self.Set32(self.NextField(s), s);
  // PackBits runs for 256 of the 1800 bytes the page needs.
  std::vector<Byte> runs;
  for (Integer k = 0; k < 2; ++k) {
    runs.push_back(127);
    runs.insert(runs.end(), 128, Byte(40 * k));
  }
  const std::vector<Byte> cut = HandMade(true, 30, 20, 8, 3, 2, 32773, runs);
  const struct {
    std::string Name;
    std::vector<Byte> Data;
    Integer Index;
    const char* Reason;
  } cases[] = {
      {"no strip offsets", without(good, 273), 0, "no strip or tile offsets"},
      {"bit depths that differ", HandMade(true, 3, 1, 8, 3, 2, 1, std::vector<Byte>(9, 1), {Short(258, {8, 8, 16})}), 0,
       "different bit depths"},
      {"two directories linked to each other", loop.Bytes, 2, "no page 2"},
      {"a directory linked to itself", self.Bytes, 1, "no page 1"},
      {"strips cut by the end of the file", cut, 0, "truncated"},
      {"not a TIFF", std::vector<Byte>(good.begin() + 2, good.end()), 0, "not a TIFF"},
      {"tiles far larger than the page",
       [] {
         TTiffFile f(true);
         const DWORD data = f.Data(std::vector<Byte>(64, 1));
         f.Directory({Long(256, {4}), Long(257, {4}), Short(258, {8}), Short(262, {1}), Long(322, {0x10000000}),
                      Long(323, {0x10000000}), Long(324, {data}), Long(325, {64})});
         return f.Bytes;
       }(),
       0, "do not fit"},
      {"unknown compression", HandMade(true, 3, 1, 8, 1, 1, 34676, {1, 2, 3}), 0, "compression 34676"},
      // Found by fuzzing: a fax page of 13585 rows claimed by a few bytes was allocated (and
      // painted white) before its first row was found damaged.
      {"a tall fax page out of a few bytes", HandMade(true, 2732, 13585, 1, 1, 0, 4, std::vector<Byte>(90, 0x74)), 0,
       "too few"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TRead r;
    r.Params.TiffImageIndex = c.Index;
    const auto start = std::chrono::steady_clock::now();
    ReadTiff(c.Data, r);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(r.Probe.Failed());
    EXPECT_NE(r.Probe.Reason.find(c.Reason), std::string::npos) << r.Probe.Reason;
  }
}

// An uncompressed page of one strip longer than the piece the reader takes at a time, cut by
// the end of the file in its second piece (the file as long as the page would need): the rows that are there are read, the rest stay
// black, and the read fails saying so.
TEST(TiffReader, LongUncompressedStripCutByTheEnd) {
  const Integer w = 700, h = 600, rowBytes = w * 3, kept = 1100000;
  std::vector<Byte> strip(static_cast<size_t>(kept));
  for (size_t i = 0; i < strip.size(); ++i) strip[i] = Byte(i * 7 / 3 + i / size_t(rowBytes));
  auto page = [&](DWORD At) {
    TTiffFile f(true);
    f.Directory({Long(256, {DWORD(w)}), Long(257, {DWORD(h)}), Short(258, {8, 8, 8}), Short(262, {2}), Long(273, {At}),
                 Short(277, {3}), Long(278, {DWORD(h)}), Long(279, {DWORD(rowBytes * h)})});
    return f;
  };
  // Other data before the strip: the file is as long as the page needs, the strip is not.
  const size_t before = 200000;
  const DWORD at = DWORD(((page(0).Bytes.size() + 1) & ~size_t(1)) + before);
  TTiffFile f = page(at);
  f.Data(std::vector<Byte>(before, 0x33));
  ASSERT_EQ(f.Data(strip), at);
  TRead r;
  ReadTiff(f.Bytes, r);
  EXPECT_TRUE(r.Probe.Failed());
  EXPECT_NE(r.Probe.Reason.find("truncated"), std::string::npos) << r.Probe.Reason;
  const Integer whole = kept / rowBytes;  // rows stored in full
  for (Integer y : {0, whole / 2 + 1, whole - 1, whole, whole + 1, h - 1})
    for (Integer x : {0, w / 2, w - 1}) {
      SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y));
      const size_t i = size_t(y) * rowBytes + size_t(x) * 3;
      const TRGB c = r.Bitmap.GetPixelAsRGB(x, y);
      const bool there = i + 3 <= strip.size();
      EXPECT_EQ(c.r, there ? strip[i] : 0);
      EXPECT_EQ(c.g, there ? strip[i + 1] : 0);
      EXPECT_EQ(c.b, there ? strip[i + 2] : 0);
    }
}

// One tile alone (TiffGetTile) gives a bitmap of the tile's size; a thumbnail page larger than
// 400 pixels is refused, one of 400 is read.
TEST(TiffReader, OneTileAndThumbnailLimits) {
  const std::string file = Fixture("tiff-tiles.tif", "tiffcp -t -w 16 -l 16 -c zip:2 " + ShellQuote(Base()) + " {out}");
  const TPam whole = Tiff2Rgba(file);
  TRead tile;
  tile.Params.TiffGetTile = 4;  // second row of tiles, second column
  ReadTiff(ReadWholeFile(file), tile);
  ASSERT_FALSE(tile.Probe.Failed()) << tile.Probe.Reason;
  ASSERT_EQ(tile.Bitmap.GetWidth(), 16);
  ASSERT_EQ(tile.Bitmap.GetHeight(), 16);
  Integer worst = 0;
  for (Integer y = 0; y < 23 - 16; ++y)
    for (Integer x = 0; x < 16; ++x)
      worst = std::max(worst, std::abs(tile.Bitmap.GetPixelAsRGB(x, y).r - whole.At8(16 + x, 16 + y, 0)));
  EXPECT_EQ(worst, 0);
  TRead beyond;
  beyond.Params.TiffGetTile = 6;
  ReadTiff(ReadWholeFile(file), beyond);
  EXPECT_TRUE(beyond.Probe.Failed());

  for (Integer width : {400, 401}) {
    SCOPED_TRACE(width);
    const std::vector<Byte> page = HandMade(true, width, 2, 8, 1, 1, 32773,
                                            {0x81, 7, 0x81, 7, 0x81, 7, 0x81, 7, 0x81, 7, 0x81, 7, 0x81, 7, 0x81, 7});
    TMemoryStream m;
    FillStream(m, page);
    TRead r;
    ReadTIFFStream(&r.Bitmap, &m, r.Pages, &r.Params, r.Probe.Progress, false, r.Alpha, true, false, true);
    EXPECT_EQ(r.Probe.Failed(), width > 400) << r.Probe.Reason;
  }
}

TTag Xmp(const std::string& Text) {
  TTag t{700, 7, {}};
  for (char c : Text) t.Values.push_back(Byte(c));
  return t;
}

TEST(TiffReader, ParametersOfThePage) {
  // 118.11 pixels per centimetre are 300 DPI; the resolution as stored goes to the EXIF fields.
  TRead r;
  ReadTiff(HandMade(false, 3, 1, 8, 1, 1, 32773, {0xFE, 9},
                    {Rational(282, 11811, 100), Rational(283, 11811, 100), Short(296, {3}), Ascii(269, "doc"),
                     Short(297, {2, 7}), Short(274, {6}), Xmp("<x:xmpmeta>a</x:xmpmeta>")}),
           r);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  EXPECT_EQ(r.Params.DpiX, 300);
  EXPECT_EQ(r.Params.DpiY, 300);
  EXPECT_NEAR(r.Params.ExifXResolution, 299.9994, 1e-4);
  EXPECT_EQ(r.Params.TiffCompression, 8);
  EXPECT_FALSE(r.Params.TiffByteOrder);
  EXPECT_EQ(r.Params.TiffDocumentName, "doc");
  EXPECT_EQ(r.Params.TiffPageNumber, 2);
  EXPECT_EQ(r.Params.TiffPageCount, 7);
  EXPECT_EQ(r.Params.TiffOrientation, 6);
  EXPECT_EQ(r.Params.XMP, "<x:xmpmeta>a</x:xmpmeta>");
  EXPECT_EQ(GreyRow(r), (std::vector<Integer>{9, 9, 9}));
}

}  // namespace

namespace {

std::vector<Byte> ProbePage(bool Little, std::vector<TTag> Tags, Byte At8 = 0) {
  TTiffFile f(Little);
  f.Data({At8, 0, 0, 0});
  f.Directory(Tags);
  return f.Bytes;
}

TEST(TiffProbes, TiffAndCameraRaw) {
  const std::vector<TTag> page = {Long(256, {16}), Long(257, {8}), Short(262, {2})};
  struct TCase {
    std::string Name;
    std::vector<Byte> Data;
    bool Tiff, Raw;
  } cases[] = {
      {"little-endian page", ProbePage(true, page), true, false},
      {"big-endian page", ProbePage(false, page), true, false},
      {"big-endian page whose byte 8 is 0xBA", ProbePage(false, page, 0xBA), false, false},
      {"little-endian page whose byte 8 is 0xBA", ProbePage(true, page, 0xBA), true, false},
      {"no ImageLength", ProbePage(true, {Long(256, {16})}), false, false},
      {"nine bytes, directory at 100", {'I', 'I', 42, 0, 100, 0, 0, 0, 0}, false, false},
      {"DNG", ProbePage(true, {Long(256, {16}), Long(257, {8}), {50706, 1, {1, 1, 0, 0}}}), true, true},
      {"colour filter array", ProbePage(false, {Long(256, {16}), Long(257, {8}), Short(262, {32803})}), true, true},
      {"linear raw", ProbePage(true, {Long(256, {16}), Long(257, {8}), Short(262, {34892})}), true, true},
      {"TIFF/EP preview 160 x 120",
       ProbePage(true, {Long(256, {160}), Long(257, {120}), Long(330, {8}), Ascii(37398, "1")}), true, true},
      {"TIFF/EP 200 x 150", ProbePage(true, {Long(256, {200}), Long(257, {150}), Long(330, {8}), Ascii(37398, "1")}),
       true, false},
      {"PNG signature", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13}, false, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<Byte> data = {7, 7, 7};
    data.insert(data.end(), c.Data.begin(), c.Data.end());
    TMemoryStream m;
    FillStream(m, data);
    m.SetPosition(3);
    EXPECT_EQ(IsTIFF(&m), c.Tiff);
    EXPECT_EQ(m.Position(), 3);
    EXPECT_EQ(IsCameraRawTIFF(&m), c.Raw);
    EXPECT_EQ(m.Position(), 3);
  }
}

// Found by fuzzing: a page of 0 bits per sample divided by zero when its samples were scaled.
TEST(Corpus, TiffFuzzFindings) {
  ReplayFuzzFindings("tiff", [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
    TRead r;
    ReadTiff(data, r);
    return CorpusOutcome(r);
  });
}

TEST(Corpus, TiffReader) {
  const size_t reads = ReplayCorpus("tiff", [](const std::vector<Byte>& data, size_t index) -> TCorpusResult {
    TRead r;
    r.Params.NativePixelFormat = index % 2 == 1;
    ReadTiff(data, r);
    return CorpusOutcome(r);
  });
  EXPECT_GT(reads, 100u);
}

}  // namespace
