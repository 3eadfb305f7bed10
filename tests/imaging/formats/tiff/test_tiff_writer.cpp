// The TIFF writer against libtiff's and netpbm's tools: every compression and sample layout we
// write is accepted by tiffinfo and tiffdump with its tags sorted and every block at an even
// offset, and decodes under tiff2rgba to the image we wrote; pages added to files that tiffcp
// made; strips, PackBits runs, the predictor and the resolution as the format's users expect.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <regex>

#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_mask.h"
#include "imaging/formats/compression/ie_lzw.h"
#include "imaging/formats/compression/ie_packbits.h"
#include "imaging/formats/ie_le_bytes.h"
#include "imaging/formats/tiff/ie_tiff_reader.h"
#include "imaging/formats/tiff/ie_tiff_strip_encoder.h"
#include "imaging/formats/tiff/ie_tiff_writer.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/plain_cmyk.h"

using namespace ietest;
using testsupport::Run;
using testsupport::RunOk;
using testsupport::ShellQuote;

namespace {

struct TTempDir {
  std::string Path = testsupport::MakeTempDir("tiffw");
  ~TTempDir() { testsupport::RemoveTree(Path); }
  std::string operator/(const std::string& Name) const { return Path + "/" + Name; }
};

// Many colours in smooth and sharp changes, so that every coder and the predictor have work.
void Paint(TIEBitmap& B, Integer W, Integer H, TIEPixelFormat F) {
  TIEBitmap rgb(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x)
      rgb.SetPixelRGB(x, y, IECreateRGB(Byte(x * 7 + y), Byte(y * 11), Byte((x / 4) * (y / 3) * 13)));
  B.Assign(&rgb);
  if (F == ie16g) {
    B.Allocate(W, H, ie16g);
    for (Integer y = 0; y < H; ++y)
      for (Integer x = 0; x < W; ++x) B.SetPixelWord(x, y, Word(x * 523 + y * 1031));
  } else if (F != ie24RGB) {
    B.SetPixelFormat(F);
  }
}

// The file's directories as a reader that trusts nothing would walk them: every directory and
// every value stored outside its entry at an even offset, tags in ascending order.
Integer CheckLayout(const std::string& Path) {
  const std::vector<Byte> f = ReadWholeFile(Path);
  EXPECT_GE(f.size(), 8u);
  if (f.size() < 8) return 0;
  EXPECT_EQ(std::string(f.begin(), f.begin() + 4), std::string("II*\0", 4));
  static const Integer sizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  Integer pages = 0;
  for (DWORD at = IEGetLE32(&f[4]); at && pages < 100; ++pages) {
    EXPECT_EQ(at % 2, 0u) << "directory " << pages;
    if (at + 2 > f.size()) return ADD_FAILURE() << "directory past the end", pages;
    const Integer n = IEGetLE16(&f[at]);
    if (at + 2 + 12 * n + 4 > f.size()) return ADD_FAILURE() << "entries past the end", pages;
    Integer last = -1;
    for (Integer i = 0; i < n; ++i) {
      const Byte* e = &f[at + 2 + 12 * i];
      const Integer tag = IEGetLE16(e), type = IEGetLE16(e + 2);
      EXPECT_GT(tag, last) << "tags out of order in directory " << pages;
      last = tag;
      const Int64 size = type <= 12 ? Int64(IEGetLE32(e + 4)) * sizes[type] : 0;
      if (size > 4) {
        EXPECT_EQ(IEGetLE32(e + 8) % 2, 0u) << "tag " << tag;
        EXPECT_LE(IEGetLE32(e + 8) + size, Int64(f.size())) << "tag " << tag;
      }
    }
    at = IEGetLE32(&f[at + 2 + 12 * n]);
  }
  return pages;
}

// tiffinfo -D and tiffdump take the file without a word of complaint.
void ExpectToolsAccept(const std::string& Path, std::string* Info = nullptr) {
  std::string out;
  EXPECT_EQ(Run("tiffinfo -D " + ShellQuote(Path) + " 2>&1", &out), 0) << out;
  EXPECT_EQ(out.find("Warning"), std::string::npos) << out;
  EXPECT_EQ(out.find("Error"), std::string::npos) << out;
  if (Info) *Info = out;
  std::string dump;
  EXPECT_EQ(Run("tiffdump " + ShellQuote(Path) + " 2>&1", &dump), 0) << dump;
  EXPECT_EQ(dump.find("rror"), std::string::npos) << dump;
}

// What libtiff's RGBA interface makes of the file, as 8-bit samples.
TPam ThroughTiff2Rgba(const std::string& Path) {
  const std::string rgba = Path + ".rgba.tif";
  RunOk("tiff2rgba -c none " + ShellQuote(Path) + " " + ShellQuote(rgba));
  return PamFromCommand("tifftopnm -quiet " + ShellQuote(rgba) + " 2>/dev/null");
}

Integer WriteFile(const std::string& Path, TIEBitmap* B, TIOParamsVals& P, AnsiString* Reason = nullptr) {
  TMemoryStream m;
  TProgressProbe probe;
  const Integer pages = WriteTIFFStream(&m, false, B, P, probe.Progress);
  if (Reason) *Reason = probe.Reason;
  EXPECT_EQ(probe.Failed(), Reason != nullptr) << probe.Reason;
  WriteFileBytes(Path, StreamBytes(m));
  return pages;
}

class TiffWriter : public ::testing::Test {
 protected:
  void SetUp() override { IEInstallLZWCoders(); }
};

TEST_F(TiffWriter, EveryCompressionAndLayoutDecodesToTheImageUnderTiff2rgba) {
  // tiff2rgba turns CMYK into RGB by the plain formula.
  const TCMYKProfileUse formula(false);
  TTempDir dir;
  struct TCase {
    std::string Name;
    TIEPixelFormat Format;
    Integer Bits, Samples, Compression, Photometric;
    std::string Expect;  // in tiffinfo's description
    Integer Tolerance;
  };
  const std::vector<TCase> cases = {
      {"rgb-none", ie24RGB, 8, 3, 0, 2, "Compression Scheme: None", 0},
      {"rgb-lzw", ie24RGB, 8, 3, 5, 2, "horizontal differencing", 0},
      {"rgb-packbits", ie24RGB, 8, 3, 8, 2, "PackBits", 0},
      {"rgb-deflate", ie24RGB, 8, 3, 9, 2, "Deflate", 0},
      {"rgb-jpeg-ycbcr", ie24RGB, 8, 3, 7, 2, "YCbCr", 8},
      {"grey-lzw", ie8g, 8, 1, 5, 1, "min-is-black", 0},
      {"grey16-lzw", ie16g, 16, 1, 5, 1, "Bits/Sample: 16", 1},
      {"grey16-none", ie16g, 16, 1, 0, 1, "Bits/Sample: 16", 1},
      {"grey4-packbits", ie8g, 4, 1, 8, 1, "Bits/Sample: 4", 17},
      {"rgb48-lzw", ieRGB48, 16, 3, 5, 2, "horizontal differencing", 1},
      {"bilevel-packbits", ie1g, 1, 1, 8, 1, "Bits/Sample: 1", 0},
      {"palette8-lzw", ie24RGB, 8, 1, 5, 3, "palette color", 0},
      // JPEG cannot code palette indexes: the page is written uncompressed.
      {"palette4-asked-jpeg", ie24RGB, 4, 1, 7, 3, "Compression Scheme: None", 0},
      // Grey rows are one sample, whatever the record's sample count says.
      {"grey-record-says-rgb", ie8g, 8, 3, 8, 2, "min-is-black", 0},
      {"cmyk-none", ieCMYK, 8, 4, 0, 5, "separated", 3},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEBitmap b;
    Paint(b, 61, 37, c.Format);
    if (c.Compression == 7) {
      // Smooth, as photographs are: JPEG's losses stay small there.
      for (Integer y = 0; y < 37; ++y)
        for (Integer x = 0; x < 61; ++x) b.SetPixelRGB(x, y, IECreateRGB(Byte(x * 4), Byte(y * 6), Byte(128 + x - y)));
    }
    if (c.Name == "palette4-asked-jpeg") {
      for (Integer y = 0; y < 37; ++y)
        for (Integer x = 0; x < 61; ++x) b.SetPixelRGB(x, y, IECreateRGB(Byte(x % 4 * 80), Byte(y % 4 * 80), Byte(100)));
    }
    if (c.Name == "palette8-lzw") {
      // At most 256 colours, so that the palette holds every one.
      for (Integer y = 0; y < 37; ++y)
        for (Integer x = 0; x < 61; ++x) b.SetPixelRGB(x, y, IECreateRGB(Byte(x % 16 * 16), Byte(y % 16 * 16), Byte(200)));
    }
    TIOParamsVals p(nullptr);
    p.BitsPerSample = c.Bits;
    p.SamplesPerPixel = c.Samples;
    p.TiffCompression = Byte(c.Compression);
    p.TiffPhotometInterpret = Byte(c.Photometric);
    const std::string path = dir / (c.Name + ".tif");
    EXPECT_EQ(WriteFile(path, &b, p), 1);
    EXPECT_EQ(CheckLayout(path), 1);
    std::string info;
    ExpectToolsAccept(path, &info);
    EXPECT_NE(info.find(c.Expect), std::string::npos) << info;
    EXPECT_LE(MaxDifference(b, ThroughTiff2Rgba(path)), c.Tolerance);
    if (c.Name == "palette4-asked-jpeg") {
      // Sixteen reds, sixteen greens, sixteen blues.
      const std::string dump = RunOk("tiffdump " + ShellQuote(path));
      EXPECT_NE(dump.find("Colormap (320) SHORT (3) 48<"), std::string::npos) << dump;
    }
  }
}

TEST_F(TiffWriter, StripsHoldAboutHalfAMegabyteAndNeverNoRows) {
  TTempDir dir;
  struct TCase {
    Integer Width, Height, RowsPerStrip, Strips;
  };
  // 1000 rows of 3000 bytes: 5 strips of 200; of 1800 bytes: 333 rows a strip and a last strip
  // of one row; rows longer than a strip's budget: one row a strip, not zero.
  for (const TCase& c : {TCase{1000, 1000, 200, 5}, {600, 1000, 333, 4}, {200000, 7, 1, 7}}) {
    SCOPED_TRACE(std::to_string(c.Width) + "x" + std::to_string(c.Height));
    TIEBitmap b;
    Paint(b, c.Width, c.Height, ie24RGB);
    TIOParamsVals p(nullptr);
    p.TiffCompression = 8;
    const std::string path = dir / "strips.tif";
    WriteFile(path, &b, p);
    std::string info;
    ExpectToolsAccept(path, &info);
    EXPECT_NE(info.find("Rows/Strip: " + std::to_string(c.RowsPerStrip) + "\n"), std::string::npos) << info.substr(0, 600);
    const std::string dump = RunOk("tiffdump " + ShellQuote(path));
    EXPECT_NE(dump.find("StripOffsets (273) LONG (4) " + std::to_string(c.Strips) + "<"), std::string::npos) << dump;
    if (c.Width < 2000) {
      EXPECT_EQ(MaxDifference(b, ThroughTiff2Rgba(path)), 0);
    }
  }
}

TEST_F(TiffWriter, PackBitsRunsAndLiterals) {
  struct TCase {
    std::string Name;
    std::vector<Byte> In, Out;
  };
  std::vector<Byte> distinct(130);
  for (Integer i = 0; i < 130; ++i) distinct[i] = Byte(i);
  std::vector<Byte> distinctOut(1 + 128 + 3);
  distinctOut[0] = 0x7F;
  for (Integer i = 0; i < 128; ++i) distinctOut[1 + i] = Byte(i);
  distinctOut[129] = 0x01;
  distinctOut[130] = 128;
  distinctOut[131] = 129;
  const std::vector<TCase> cases = {
      {"ten equal", std::vector<Byte>(10, 0x41), {0xF7, 0x41}},
      {"130 distinct", distinct, distinctOut},
      {"pairs and triples stay literal", {1, 1, 2, 2, 2, 3}, {0x05, 1, 1, 2, 2, 2, 3}},
      {"a run of 129", std::vector<Byte>(129, 9), {0x81, 9, 0x00, 9}},
      {"literal, run, literal", {5, 6, 7, 7, 7, 7, 8}, {0x01, 5, 6, 0xFD, 7, 0x00, 8}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryStream m;
    bool aborting = false;
    IEPackBitsEncode(c.In.data(), Integer(c.In.size()), &m, aborting);
    EXPECT_FALSE(aborting);
    EXPECT_EQ(StreamBytes(m), c.Out);
  }
}

TEST_F(TiffWriter, PredictorDifferencesSamplesInTheFilesByteOrder) {
  std::vector<Byte> rgb = {10, 20, 30, 15, 25, 35};
  TIFFApplyPredictor(rgb.data(), 2, 3, 8);
  EXPECT_EQ(rgb, (std::vector<Byte>{10, 20, 30, 5, 5, 5}));
  // 16-bit samples 0x01FF, 0x0201: the difference 2 is a number, stored low byte first; a coder
  // that differenced the bytes would store FF, 01 then 02, 01.
  std::vector<Byte> grey = {0xFF, 0x01, 0x01, 0x02};
  TIFFApplyPredictor(grey.data(), 2, 1, 16);
  EXPECT_EQ(grey, (std::vector<Byte>{0xFF, 0x01, 0x02, 0x00}));
}

TEST_F(TiffWriter, ResolutionIsWrittenInWholeDotsPerInch) {
  TTempDir dir;
  TIEBitmap b;
  Paint(b, 8, 8, ie24RGB);
  for (bool exif : {false, true}) {
    SCOPED_TRACE(exif ? "EXIF tags" : "plain tags");
    TIOParamsVals p(nullptr);
    // 118.11 dots a centimetre, as a reader hands it on: 299.9994 dots an inch.
    p.SetExifXResolution(118.11 * 2.54);
    p.SetExifYResolution(150);
    p.ExifHasEXIFData = exif;
    const std::string path = dir / "res.tif";
    WriteFile(path, &b, p);
    std::string info;
    ExpectToolsAccept(path, &info);
    EXPECT_NE(info.find("Resolution: 300, 150 pixels/inch"), std::string::npos) << info;
  }
}

TEST_F(TiffWriter, StraightAlphaIsKeptAsUnassociatedAlphaInEveryLosslessCompression) {
  TTempDir dir;
  TIEBitmap b;
  Paint(b, 40, 30, ie24RGB);
  TIEBitmap* a = b.GetAlphaChannel();
  for (Integer y = 0; y < 30; ++y)
    for (Integer x = 0; x < 40; ++x) a->SetPixelByte(x, y, Byte(x * 6));
  struct TCase {
    Integer Compression;
    std::string Scheme;
  };
  // JPEG holds no alpha: such a page is kept whole with Deflate.
  for (const TCase& c : {TCase{0, "None"}, {5, "LZW"}, {8, "PackBits"}, {9, "Deflate"}, {7, "Deflate"}}) {
    SCOPED_TRACE(c.Scheme + " " + std::to_string(c.Compression));
    TIOParamsVals p(nullptr);
    p.TiffCompression = Byte(c.Compression);
    const std::string path = dir / "alpha.tif";
    WriteFile(path, &b, p);
    std::string info;
    ExpectToolsAccept(path, &info);
    EXPECT_NE(info.find("Samples/Pixel: 4"), std::string::npos) << info;
    EXPECT_NE(info.find("Extra Samples: 1<unassoc-alpha>"), std::string::npos) << info;
    EXPECT_NE(info.find("Compression Scheme: " + c.Scheme), std::string::npos) << info;
    // Straight alpha: the colours come back as they were, not multiplied by the alpha.
    EXPECT_EQ(MaxDifference(b, PamFromCommand("convert " + ShellQuote(path) + " -alpha off -depth 8 PPM:-")), 0);
    const std::string alpha = path + ".alpha.pgm";
    RunOk("tifftopnm -quiet -alphaout=" + ShellQuote(alpha) + " " + ShellQuote(path) + " > /dev/null 2>&1");
    const TPam mask = ReadPamFile(alpha);
    ASSERT_EQ(mask.Width, 40);
    for (Integer x = 0; x < 40; ++x) EXPECT_EQ(mask.At(x, 17, 0), x * 6);
  }
}

TEST_F(TiffWriter, UnknownDeflateLevelsStillCompress) {
  TTempDir dir;
  TIEBitmap b;
  Paint(b, 50, 20, ie24RGB);
  for (Integer level : {0, 1, 2, 3, 77, -1}) {
    SCOPED_TRACE(level);
    TIOParamsVals p(nullptr);
    p.TiffCompression = 9;
    p.TiffZipCompression = level;
    const std::string path = dir / "zip.tif";
    WriteFile(path, &b, p);
    ExpectToolsAccept(path);
    EXPECT_EQ(MaxDifference(b, ThroughTiff2Rgba(path)), 0);
  }
}

// Noise does not compress: the page's many small Deflate strips reach the file in several
// gathered writes, and every strip must still lie where its offset says.
TEST_F(TiffWriter, DeflatePagesLargerThanOneGatheredWrite) {
  TTempDir dir;
  TIEBitmap b(700, 300, ie24RGB);
  unsigned x = 11;
  for (Integer row = 0; row < 300; ++row) {
    Byte* p = static_cast<Byte*>(b.GetScanline(row));
    for (Integer i = 0; i < 700 * 3; ++i) p[i] = Byte((x = x * 1103515245u + 12345u) >> 16);
  }
  TIOParamsVals p(nullptr);
  p.TiffCompression = 9;
  const std::string path = dir / "noise.tif";
  WriteFile(path, &b, p);
  EXPECT_EQ(CheckLayout(path), 1);
  ExpectToolsAccept(path);
  EXPECT_EQ(MaxDifference(b, ThroughTiff2Rgba(path)), 0);
}

TEST_F(TiffWriter, PagesAreLinkedIntoFilesOfOtherWriters) {
  TTempDir dir;
  // Two pages of 20 x 10 and 30 x 10 pixels, put together by tiffcp.
  RunOk("convert -size 20x10 gradient:red-blue " + ShellQuote(dir / "a.tif") + " && convert -size 30x10 gradient:green-white " +
        ShellQuote(dir / "b.tif") + " && tiffcp " + ShellQuote(dir / "a.tif") + " " + ShellQuote(dir / "b.tif") + " " +
        ShellQuote(dir / "two.tif"));
  TIEBitmap ours;
  Paint(ours, 44, 10, ie24RGB);
  struct TCase {
    Integer Index, Pages;
    std::string Widths;  // of the pages in file order
  };
  for (const TCase& c : {TCase{10, 3, "20 30 44"}, {0, 3, "44 20 30"}, {1, 3, "20 44 30"}}) {
    SCOPED_TRACE(c.Index);
    TMemoryStream m;
    FillStream(m, ReadWholeFile(dir / "two.tif"));
    TIOParamsVals p(nullptr);
    p.TiffImageIndex = c.Index;
    p.TiffCompression = 5;
    TProgressProbe probe;
    EXPECT_EQ(WriteTIFFStream(&m, true, &ours, p, probe.Progress), c.Pages);
    ASSERT_FALSE(probe.Failed()) << probe.Reason;
    const std::string path = dir / "three.tif";
    WriteFileBytes(path, StreamBytes(m));
    std::string info;
    ExpectToolsAccept(path, &info);
    std::string widths;
    std::smatch mt;
    for (auto it = info.cbegin(); std::regex_search(it, info.cend(), mt, std::regex("Image Width: (\\d+)")); it = mt[0].second)
      widths += (widths.empty() ? "" : " ") + mt[1].str();
    EXPECT_EQ(widths, c.Widths);
    const std::string page = dir / "page.tif";
    RunOk("tiffcp " + ShellQuote(path) + "," + std::to_string(std::min(c.Index, 2)) + " " + ShellQuote(page));
    EXPECT_EQ(MaxDifference(ours, ThroughTiff2Rgba(page)), 0);
  }
  // A page added to a file of our own, and again: tiffinfo lists all three.
  TMemoryStream m;
  TIOParamsVals p(nullptr);
  TProgressProbe probe;
  EXPECT_EQ(WriteTIFFStream(&m, false, &ours, p, probe.Progress), 1);
  for (Integer pages : {2, 3}) {
    m.SetPosition(0);
    p.TiffImageIndex = 99;
    EXPECT_EQ(WriteTIFFStream(&m, true, &ours, p, probe.Progress), pages);
  }
  ASSERT_FALSE(probe.Failed()) << probe.Reason;
  WriteFileBytes(dir / "own.tif", StreamBytes(m));
  EXPECT_EQ(CheckLayout(dir / "own.tif"), 3);
  ExpectToolsAccept(dir / "own.tif");
}

TEST_F(TiffWriter, ATiffWrittenInsideAStreamStandsOnItsOwn) {
  // Written behind 13 bytes of something else (a stream header, another image), the TIFF's
  // offsets count from its own start: cut out, it is a file any reader takes, and a page can be
  // added to it where it stands.
  TTempDir dir;
  TIEBitmap b;
  Paint(b, 31, 17, ie24RGB);
  TMemoryStream m;
  FillStream(m, std::vector<Byte>(13, 0xAB));
  m.Seek(0, soEnd);
  TIOParamsVals p(nullptr);
  p.TiffCompression = 5;
  TProgressProbe probe;
  EXPECT_EQ(WriteTIFFStream(&m, false, &b, p, probe.Progress), 1);
  m.SetPosition(13);
  p.TiffImageIndex = 1;
  EXPECT_EQ(WriteTIFFStream(&m, true, &b, p, probe.Progress), 2);
  ASSERT_FALSE(probe.Failed()) << probe.Reason;
  const std::vector<Byte> all = StreamBytes(m);
  EXPECT_EQ(std::vector<Byte>(all.begin(), all.begin() + 13), std::vector<Byte>(13, 0xAB));
  const std::string path = dir / "cut.tif";
  WriteFileBytes(path, std::vector<Byte>(all.begin() + 13, all.end()));
  EXPECT_EQ(CheckLayout(path), 2);
  ExpectToolsAccept(path);
  EXPECT_EQ(MaxDifference(b, ThroughTiff2Rgba(path)), 0);
  RunOk("tiffcp " + ShellQuote(path) + ",1 " + ShellQuote(dir / "second.tif"));
  EXPECT_EQ(MaxDifference(b, ThroughTiff2Rgba(dir / "second.tif")), 0);
}

TEST_F(TiffWriter, AppendRefusesFilesItCannotLinkIntoAndLeavesThemAlone) {
  TTempDir dir;
  RunOk("convert -size 9x9 xc:red " + ShellQuote(dir / "ii.tif") + " && tiffcp -B " + ShellQuote(dir / "ii.tif") + " " +
        ShellQuote(dir / "mm.tif"));
  // A directory whose next link points back at itself.
  std::vector<Byte> loop = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 8, 0, 0, 0};
  std::vector<Byte> past = {'I', 'I', 42, 0, 0xF0, 0, 0, 0};
  struct TCase {
    std::string Name;
    std::vector<Byte> File;
  };
  for (const TCase& c : {TCase{"big-endian", ReadWholeFile(dir / "mm.tif")}, {"self-linked", loop}, {"offset past the end", past},
                         {"not a TIFF", {'G', 'I', 'F', '8', '9', 'a', 0, 0}}}) {
    SCOPED_TRACE(c.Name);
    TMemoryStream m;
    FillStream(m, c.File);
    TIEBitmap b;
    Paint(b, 5, 5, ie24RGB);
    TIOParamsVals p(nullptr);
    p.TiffImageIndex = 5;
    TProgressProbe probe;
    EXPECT_EQ(WriteTIFFStream(&m, true, &b, p, probe.Progress), 0);
    EXPECT_TRUE(probe.Failed());
    EXPECT_FALSE(probe.Reason.empty());
    EXPECT_EQ(StreamBytes(m), c.File);
  }
}

// A bilevel page with runs of every length: short strokes, runs longer than the make-up codes'
// 2560 pixels, rows equal to the one above (the two-dimensional coders' vertical modes) and
// rows that change at every pixel over half their width (over the whole width of a 1728-pixel
// fax row, that overflows libtiff's run buffer, in files of its own tools as well).
void PaintBilevel(TIEBitmap& B, Integer W, Integer H) {
  TIEBitmap rgb(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) {
      const Integer band = y / 3 % 4;
      bool black = band == 0 ? (x * x + y * 5) % 11 < 4 : band == 1 ? x / 9 % 2 == 0 : band == 2 ? (x + y) % 2 == 0 && x >= W / 4 && x < W * 3 / 4 + 1
                                                                                               : x > W / 3 && x < W - 2;
      if (y % 17 == 5) black = false;
      rgb.SetPixelRGB(x, y, black ? IECreateRGB(0, 0, 0) : IECreateRGB(255, 255, 255));
    }
  B.Assign(&rgb);
  B.SetPixelFormat(ie1g);
}

// Our own reader's idea of the file: the page decoded into a fresh bitmap.
void ReadOwn(const std::string& Path, TIEBitmap& Out) {
  TMemoryStream m;
  FillStream(m, ReadWholeFile(Path));
  TIOParamsVals p(nullptr);
  TProgressProbe probe;
  TIEMask* alpha = nullptr;
  Integer pages = 0;
  ReadTIFFStream(&Out, &m, pages, &p, probe.Progress, false, alpha, true, false, false);
  delete alpha;
  EXPECT_FALSE(probe.Failed()) << probe.Reason;
}

TEST_F(TiffWriter, FaxCodedPagesDecodeToTheImageUnderLibtiffAndOurReader) {
  TTempDir dir;
  struct TCase {
    Integer Compression;  // the record's value: 1 MH, 2 G3 1D, 3 G3 2D, 4 G4
    std::string Scheme;   // in tiffinfo's description
  };
  const std::vector<TCase> schemes = {
      {1, "CCITT RLE"}, {2, "CCITT Group 3"}, {3, "CCITT Group 3"}, {4, "CCITT Group 4"}};
  struct TSize {
    Integer W, H;
  };
  // Widths that are no multiple of 8, narrow pages of 1 to 9 pixels, runs past 2560 pixels and a
  // fax page tall enough for two strips.
  std::vector<TSize> sizes = {{61, 37}, {2600, 9}, {1728, 5000}};
  for (Integer w = 1; w <= 9; ++w) sizes.push_back({w, 13});
  for (const TCase& c : schemes)
    for (Integer photometric : {0, 1})
      for (Integer fill : {1, 2})
        for (const TSize& sz : sizes) {
          if (fill == 2 && sz.W != 61) continue;
          const std::string name = std::to_string(c.Compression) + "-ph" + std::to_string(photometric) + "-fill" +
                                   std::to_string(fill) + "-" + std::to_string(sz.W) + "x" + std::to_string(sz.H);
          SCOPED_TRACE(name);
          TIEBitmap b;
          PaintBilevel(b, sz.W, sz.H);
          TIOParamsVals p(nullptr);
          p.BitsPerSample = 1;
          p.SamplesPerPixel = 1;
          p.TiffCompression = Byte(c.Compression);
          p.TiffPhotometInterpret = Byte(photometric);
          p.TiffFillOrder = fill;
          const std::string path = dir / (name + ".tif");
          EXPECT_EQ(WriteFile(path, &b, p), 1);
          EXPECT_EQ(CheckLayout(path), 1);
          std::string info;
          ExpectToolsAccept(path, &info);
          EXPECT_NE(info.find(c.Scheme), std::string::npos) << info.substr(0, 800);
          if (c.Compression == 3) {
            EXPECT_NE(info.find("2-d encoding"), std::string::npos) << info.substr(0, 800);
          }
          if (sz.H == 5000) {
            EXPECT_NE(info.find("Rows/Strip: 2500\n"), std::string::npos) << info.substr(0, 800);
          }
          EXPECT_EQ(MaxDifference(b, ThroughTiff2Rgba(path)), 0);
          if (sz.W == 61) {
            EXPECT_EQ(MaxDifference(b, PamFromCommand("tifftopnm -quiet " + ShellQuote(path) + " 2>/dev/null | pbmtopgm 1 1")), 0);
          }
          TIEBitmap back;
          ReadOwn(path, back);
          EXPECT_EQ(back.GetPixelFormat(), ie1g);
          EXPECT_EQ(MaxDifference(b, back), 0);
        }
  // A colour image asked for fax compression is written uncompressed instead.
  TIEBitmap colour;
  Paint(colour, 16, 4, ie24RGB);
  TIOParamsVals p(nullptr);
  p.TiffCompression = 4;
  WriteFile(dir / "colour.tif", &colour, p);
  std::string info;
  ExpectToolsAccept(dir / "colour.tif", &info);
  EXPECT_NE(info.find("Compression Scheme: None"), std::string::npos);
  EXPECT_NE(info.find("RGB color"), std::string::npos);
}

// Every sample of A and B: 16-bit samples as 16-bit numbers, alpha included.
Integer MaxSampleDifference(TIEBitmap& A, TIEBitmap& B) {
  EXPECT_EQ(A.GetPixelFormat(), B.GetPixelFormat());
  if (A.GetPixelFormat() != B.GetPixelFormat()) return 99999;
  Integer worst = MaxDifference(A, B);
  for (Integer y = 0; y < A.GetHeight() && y < B.GetHeight(); ++y)
    for (Integer x = 0; x < A.GetWidth() && x < B.GetWidth(); ++x) {
      if (A.GetPixelFormat() == ie16g) worst = std::max(worst, std::abs(A.GetPixelWord(x, y) - B.GetPixelWord(x, y)));
      if (A.GetPixelFormat() == ieRGB48) {
        const TRGB48 a = A.GetPixelRGB48(x, y), b = B.GetPixelRGB48(x, y);
        worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
      }
    }
  EXPECT_EQ(A.HasAlphaChannel(), B.HasAlphaChannel());
  if (A.HasAlphaChannel() && B.HasAlphaChannel())
    for (Integer y = 0; y < A.GetHeight() && y < B.GetHeight(); ++y)
      for (Integer x = 0; x < A.GetWidth() && x < B.GetWidth(); ++x)
        worst = std::max(worst, std::abs(A.GetAlphaChannel()->GetPixelByte(x, y) - B.GetAlphaChannel()->GetPixelByte(x, y)));
  return worst;
}

// Reads page Index of Data with our reader.
void ReadOwnPage(const std::vector<Byte>& Data, Integer Index, TIEBitmap& Out, TIOParamsVals& P, Integer& Pages) {
  TMemoryStream m;
  FillStream(m, Data);
  P.TiffImageIndex = Index;
  P.NativePixelFormat = true;
  TProgressProbe probe;
  TIEMask* alpha = nullptr;
  ReadTIFFStream(&Out, &m, Pages, &P, probe.Progress, false, alpha, true, false, false);
  if (alpha) {
    TIEBitmap* a = Out.GetAlphaChannel();
    for (Integer y = 0; y < Out.GetHeight(); ++y)
      for (Integer x = 0; x < Out.GetWidth(); ++x) a->SetPixelByte(x, y, alpha->GetPixel(x, y));
    delete alpha;
  }
  EXPECT_FALSE(probe.Failed()) << probe.Reason;
}

// What we write we read back as it was: every compression with every layout, pages appended to
// one file, and the EXIF fields of the page.
TEST_F(TiffWriter, OurReaderReadsBackWhatOurWriterWrote) {
  struct TLayout {
    std::string Name;
    TIEPixelFormat Format;
    Integer Bits, Samples;
    bool Alpha, Palette;
  };
  const std::vector<TLayout> layouts = {
      {"rgb", ie24RGB, 8, 3, false, false},      {"grey", ie8g, 8, 1, false, false},
      {"grey16", ie16g, 16, 1, false, false},    {"rgb48", ieRGB48, 16, 3, false, false},
      {"bilevel", ie1g, 1, 1, false, false},     {"palette8", ie24RGB, 8, 1, false, true},
      {"palette4", ie24RGB, 4, 1, false, true},  {"alpha", ie24RGB, 8, 3, true, false},
  };
  struct TCompression {
    Integer Value, Tolerance;
  };
  // JPEG is lossy, on smooth pictures slightly; a bilevel page is widened to colour for it and
  // its sharp edges ring.
  const std::vector<TCompression> compressions = {{0, 0}, {5, 0}, {8, 0}, {9, 0}, {7, 12}};
  auto make = [](TIEBitmap& B, const TLayout& L, Integer Seed, bool Smooth) {
    Paint(B, 45 + Seed, 29, L.Format == ie1g ? ie24RGB : L.Format);
    if (Smooth && L.Format == ie24RGB && !L.Palette)
      // As photographs are: JPEG's losses stay small there.
      for (Integer y = 0; y < 29; ++y)
        for (Integer x = 0; x < B.GetWidth(); ++x) B.SetPixelRGB(x, y, IECreateRGB(Byte(x * 4), Byte(y * 6), Byte(128 + x - y)));
    if (Smooth && L.Format == ie8g)
      for (Integer y = 0; y < 29; ++y)
        for (Integer x = 0; x < B.GetWidth(); ++x) B.SetPixelByte(x, y, Byte(x * 3 + y * 2));
    if (Smooth && L.Format == ie16g)
      for (Integer y = 0; y < 29; ++y)
        for (Integer x = 0; x < B.GetWidth(); ++x) B.SetPixelWord(x, y, Word((x * 3 + y * 2) * 257));
    if (L.Format == ie1g) PaintBilevel(B, 45 + Seed, 29);
    if (L.Palette) {
      const Integer levels = L.Bits == 4 ? 4 : 16;
      for (Integer y = 0; y < 29; ++y)
        for (Integer x = 0; x < B.GetWidth(); ++x)
          B.SetPixelRGB(x, y, IECreateRGB(Byte(x % levels * (240 / levels)), Byte(y % 2 * 200), Byte(L.Bits == 4 ? 90 : y % 4 * 60)));
    }
    if (L.Format == ieRGB48)
      for (Integer y = 0; y < 29; ++y)
        for (Integer x = 0; x < B.GetWidth(); ++x) B.SetPixelRGB48(x, y, Smooth ? TRGB48{Word(x * 1024), Word(y * 1500), Word(32768 + (x - y) * 256)}
                                                                : TRGB48{Word(x * 1111 + Seed), Word(y * 2003), Word(x * y * 37)});
    if (L.Alpha)
      for (Integer y = 0; y < 29; ++y)
        for (Integer x = 0; x < B.GetWidth(); ++x) B.GetAlphaChannel()->SetPixelByte(x, y, Byte(x * 5 + y));
  };
  for (const TCompression& c : compressions)
    for (const TLayout& l : layouts) {
      SCOPED_TRACE(l.Name + " compression " + std::to_string(c.Value));
      // Three pages in one stream: a new file, then two appended, the second before the first.
      TMemoryStream m;
      TIEBitmap pages[3];
      TProgressProbe probe;
      for (Integer k = 0; k < 3; ++k) {
        make(pages[k], l, k, c.Value == 7);
        TIOParamsVals p(nullptr);
        p.BitsPerSample = l.Bits;
        p.SamplesPerPixel = l.Samples;
        p.TiffCompression = Byte(c.Value);
        p.TiffImageIndex = k == 2 ? 1 : 9;
        if (k == 1) {
          p.ExifHasEXIFData = true;
          p.ExifMake = "Clavorne";
          p.ExifModel = "Round trip";
          p.SetExifOrientation(6);
          p.SetExifXResolution(300);
          p.SetExifYResolution(300);
        }
        m.SetPosition(0);
        EXPECT_EQ(WriteTIFFStream(&m, k > 0, &pages[k], p, probe.Progress), k + 1);
      }
      ASSERT_FALSE(probe.Failed()) << probe.Reason;
      const std::vector<Byte> file = StreamBytes(m);
      // File order: page 0, page 2, page 1.
      const Integer order[3] = {0, 2, 1};
      for (Integer i = 0; i < 3; ++i) {
        SCOPED_TRACE("page " + std::to_string(i));
        TIEBitmap back;
        TIOParamsVals p(nullptr);
        Integer count = 0;
        ReadOwnPage(file, i, back, p, count);
        EXPECT_EQ(count, 3);
        TIEBitmap& want = pages[order[i]];
        if (c.Value == 7 && (l.Format == ie16g || l.Format == ieRGB48 || l.Alpha || l.Palette || l.Format == ie1g)) {
          // Written another way or widened to colour: the picture is what counts.
          EXPECT_LE(MaxDifference(want, back), l.Format == ie1g ? 64 : c.Tolerance);
        } else if (c.Value == 7) {
          EXPECT_LE(MaxDifference(want, back), c.Tolerance);
        } else if (l.Palette) {
          // Read as the palette's indexes: the colours are what counts.
          EXPECT_EQ(MaxDifference(want, back), 0);
        } else {
          EXPECT_EQ(MaxSampleDifference(want, back), 0);
        }
        if (order[i] == 1) {
          EXPECT_TRUE(p.ExifHasEXIFData);
          EXPECT_EQ(p.ExifMake, "Clavorne");
          EXPECT_EQ(p.ExifModel, "Round trip");
          EXPECT_EQ(p.ExifOrientation, 6);
          EXPECT_NEAR(p.DpiX, 300, 0.5);
        }
      }
    }
}

}  // namespace
