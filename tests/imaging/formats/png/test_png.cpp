// The PNG codec against libpng's own tools: files of every colour type and depth written by
// pnmtopng and ImageMagick decode equal to pngtopam; broken files are refused with a reason;
// what we write passes pngcheck and reads back in pngtopam as we wrote it.
#include <gtest/gtest.h>

#include <set>

#include "imaging/core/ie_helpers.h"
#include "imaging/formats/png/ie_png.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/ie_stores.h"

using namespace ietest;
using testsupport::Fixture;
using testsupport::RunOk;
using testsupport::ShellQuote;

namespace {

const std::string kMake = std::string("python3 ") + CLAVORNE_SOURCE_DIR + "/tests/imaging/formats/tools/make_netpbm.py ";

std::string Source(const std::string& Kind, Integer W, Integer H, Integer MaxVal, Integer Colours) {
  const std::string name = "png-src-" + Kind + "-" + std::to_string(W) + "x" + std::to_string(H) + "-" +
                           std::to_string(MaxVal) + "-" + std::to_string(Colours) + ".pnm";
  return Fixture(name, kMake + Kind + " " + std::to_string(W) + " " + std::to_string(H) + " " + std::to_string(MaxVal) +
                           " " + std::to_string(Colours) + " {out}");
}

struct TRead {
  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  TProgressProbe Probe;
};

void ReadPng(const std::vector<Byte>& Data, TRead& R, bool Preview = false) {
  TMemoryStream m;
  FillStream(m, Data);
  ReadPNGStream(&m, &R.Bitmap, R.Params, R.Probe.Progress, Preview);
}

struct TPngCase {
  std::string Name;
  std::string Recipe;  // {out} is the PNG
};

std::vector<TPngCase> ForeignCases() {
  std::vector<TPngCase> cases;
  auto pnmtopng = [&](const std::string& name, const std::string& src, const std::string& opts) {
    cases.push_back({name, "pnmtopng " + opts + " " + ShellQuote(src) + " > {out}"});
  };
  // Grey at every depth, odd sizes, interlaced and not.
  for (Integer maxval : {1, 3, 15, 255, 65535}) {
    const Integer side = maxval == 1 ? 1 : maxval == 3 ? 7 : maxval == 15 ? 13 : maxval == 255 ? 39 : 17;
    const std::string src = Source("grey", side, side + 2, maxval, 0);
    pnmtopng("grey" + std::to_string(maxval), src, "");
    pnmtopng("grey" + std::to_string(maxval) + "-adam7", src, "-interlace");
  }
  // RGB at 8 and 16 bits, with tRNS, bKGD and gAMA.
  const std::string rgb8 = Source("rgb", 39, 31, 255, 0), rgb16 = Source("rgb", 9, 5, 65535, 0);
  pnmtopng("rgb8", rgb8, "");
  pnmtopng("rgb8-adam7-gama-bkgd", rgb8, "-interlace -gamma 0.45 -background rgb:12/34/56");
  pnmtopng("rgb16", rgb16, "");
  pnmtopng("rgb16-adam7", rgb16, "-interlace");
  // Palettes of 2, 4, 16 and 200 colours (1, 2, 4 and 8 bits), one with a transparent entry.
  for (Integer colours : {2, 4, 16, 200}) {
    const std::string src = Source("rgb", 23, 11, 255, colours);
    pnmtopng("palette" + std::to_string(colours), src, "");
    pnmtopng("palette" + std::to_string(colours) + "-adam7", src, "-interlace");
  }
  pnmtopng("palette16-trns", Source("rgb", 23, 11, 255, 16), "-transparent =rgb:00/ff/00");
  // Alpha from a mask: grey with alpha and RGB with alpha, 8 and 16 bits.
  const std::string mask8 = Source("mask", 21, 9, 255, 0), mask16 = Source("mask", 21, 9, 65535, 0);
  pnmtopng("rgba8-trns-palette", Source("rgb", 21, 9, 255, 0), "-interlace -alpha " + ShellQuote(mask8));
  pnmtopng("rgba16", Source("rgb", 21, 9, 65535, 0), "-alpha " + ShellQuote(mask16));
  pnmtopng("grey-alpha16", Source("grey", 21, 9, 65535, 0), "-alpha " + ShellQuote(mask16));
  pnmtopng("grey8-trns", Source("grey", 21, 9, 255, 0), "-transparent =rgb:00/00/00");
  // 1-bit rows, which libpng leaves packed, with a transparent grey level or palette entry.
  pnmtopng("grey1-trns", Source("grey", 21, 9, 1, 0), "-transparent =rgb:00/00/00");
  pnmtopng("grey1-adam7-trns", Source("grey", 21, 9, 1, 0), "-interlace -transparent =rgb:00/00/00");
  pnmtopng("palette2-trns", Source("rgb", 23, 11, 255, 2), "-transparent rgb:00/00/00");
  // ImageMagick's writer.
  cases.push_back({"im-png8", "convert " + ShellQuote(rgb8) + " PNG8:{out}"});
  cases.push_back({"im-png24-adam7", "convert " + ShellQuote(rgb8) + " -interlace PNG PNG24:{out}"});
  cases.push_back({"im-png48", "convert " + ShellQuote(rgb16) + " PNG48:{out}"});
  cases.push_back({"im-png64", "convert " + ShellQuote(rgb8) + " -alpha set -channel A -fx 'i/w' +channel PNG64:{out}"});
  const std::string alphaRamp = " -alpha set -channel A -fx 'i/w' +channel ";
  cases.push_back({"im-grey-alpha8", "convert " + ShellQuote(Source("grey", 39, 31, 255, 0)) + alphaRamp +
                                         "-define png:color-type=4 -define png:bit-depth=8 {out}"});
  cases.push_back({"im-rgba8-adam7", "convert " + ShellQuote(rgb8) + alphaRamp + "-interlace PNG PNG32:{out}"});
  cases.push_back({"im-grey2", "convert " + ShellQuote(Source("grey", 7, 9, 3, 0)) + " -define png:bit-depth=2 -define png:color-type=0 {out}"});
  return cases;
}

// The fixture of one of the cases above, made on first use.
std::string CaseFile(const std::string& Name) {
  for (const TPngCase& c : ForeignCases())
    if (c.Name == Name) return Fixture("png-" + c.Name + ".png", c.Recipe);
  ADD_FAILURE() << "no case " << Name;
  return "";
}

// Every case decodes to pngtopam's pixels and alpha (its 16-bit samples compared at 8 bits).
TEST(PngReader, DecodesForeignFilesEqualToPngtopam) {
  std::set<std::pair<int, int>> seen;  // (colour type, depth)
  bool interlacedSeen = false;
  for (const TPngCase& c : ForeignCases()) {
    SCOPED_TRACE(c.Name);
    const std::string png = Fixture("png-" + c.Name + ".png", c.Recipe);
    const std::vector<Byte> bytes = ReadWholeFile(png);
    ASSERT_GT(bytes.size(), 33u);
    seen.insert({bytes[25], bytes[24]});
    const TPam pam = PamFromCommand("pngtopam -alphapam " + ShellQuote(png));
    bool alpha = false;
    if (pam.Depth == 2 || pam.Depth == 4)
      for (Integer y = 0; y < pam.Height; ++y)
        for (Integer x = 0; x < pam.Width; ++x) alpha |= pam.At(x, y, pam.Depth - 1) != pam.MaxVal;
    ForEachStore([&](Store, StoreScope& scope) {
      TRead r;
      scope.Prepare(r.Bitmap);
      ReadPng(bytes, r);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      interlacedSeen |= r.Params.PngInterlaced;
      EXPECT_LE(MaxDifference(r.Bitmap, pam, true), 1);
      if (alpha) {
        EXPECT_TRUE(r.Bitmap.HasAlphaChannel());
      }
      EXPECT_EQ(r.Params.Width, pam.Width);
    });
  }
  // Every colour type at every depth the format allows.
  for (auto [type, depth] : {std::pair{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1}, {3, 2}, {3, 4},
                             {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}})
    EXPECT_TRUE(seen.count({type, depth})) << "no fixture of colour type " << type << " at " << depth << " bits";
  EXPECT_TRUE(interlacedSeen);
}

// Grey and palette images keep their samples with NativePixelFormat: 16-bit grey with both
// bytes, palettes as indexes with their colours. The framework bitmap keeps no 16-bit grey: it
// gets the high byte of each sample, in plain and interlaced files alike.
TEST(PngReader, NativeFormatsKeepTheSamples) {
  const std::string grey16src = Source("grey", 64, 4, 65535, 0);
  const std::string grey16 = Fixture("png-native-grey16-64x4.png", "pnmtopng " + ShellQuote(grey16src) + " > {out}");
  const std::string grey16i =
      Fixture("png-native-grey16-64x4-adam7.png", "pnmtopng -interlace " + ShellQuote(grey16src) + " > {out}");
  const TPam pam = PamFromCommand("pngtopam " + ShellQuote(grey16));
  const std::string pal = Fixture("png-native-pal200.png", "pnmtopng " + ShellQuote(Source("rgb", 23, 11, 255, 200)) + " > {out}");
  const TPam palPam = PamFromCommand("pngtopam " + ShellQuote(pal));
  ForEachStore([&](Store s, StoreScope& scope) {
    for (const std::string& file : {grey16, grey16i}) {
      SCOPED_TRACE(file);
      TRead r;
      scope.Prepare(r.Bitmap);
      r.Params.NativePixelFormat = true;
      ReadPng(ReadWholeFile(file), r);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      ASSERT_EQ(r.Bitmap.GetPixelFormat(), s == Store::TBitmap ? ie8g : ie16g);
      for (Integer y = 0; y < pam.Height; ++y)
        for (Integer x = 0; x < pam.Width; ++x) {
          if (s == Store::TBitmap) ASSERT_EQ(r.Bitmap.GetPixelByte(x, y), pam.At(x, y, 0) >> 8) << x << "," << y;
          else ASSERT_EQ(r.Bitmap.GetPixelWord(x, y), pam.At(x, y, 0)) << x << "," << y;
        }
    }

    TRead p;
    scope.Prepare(p.Bitmap);
    p.Params.NativePixelFormat = true;
    ReadPng(ReadWholeFile(pal), p);
    ASSERT_EQ(p.Bitmap.GetPixelFormat(), ie8p);
    EXPECT_EQ(p.Params.ColorMapCount, 200);
    EXPECT_EQ(MaxDifference(p.Bitmap, palPam), 0);
  });
}

TEST(PngReader, PreviewResolutionTextAndBackground) {
  // Texts before the image data are read (pnmtopng puts them there).
  const std::string png = Fixture("png-text-phys.png", "printf 'comment hello\\n' > {out}.txt && convert " +
                                                       ShellQuote(Source("rgb", 39, 31, 255, 0)) +
                                                       " -density 72 -units PixelsPerInch PPM:- | pnmtopng -background rgb:12/34/56 "
                                                       "-text {out}.txt -size '2835 2835 1' > {out}; rm -f {out}.txt");
  TRead r;
  r.Bitmap.Allocate(3, 3, ie8g);
  ReadPng(ReadWholeFile(png), r, true);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  EXPECT_EQ(r.Bitmap.GetWidth(), 3) << "a preview leaves the bitmap alone";
  EXPECT_EQ(r.Params.Width, 39);
  EXPECT_EQ(r.Params.Height, 31);
  EXPECT_EQ(r.Params.DpiX, 72);
  EXPECT_EQ(r.Params.PngBackground, IECreateRGB(0x12, 0x34, 0x56));
  bool comment = false;
  for (Integer i = 0; i < r.Params.PngTextKeys->Count(); ++i)
    comment |= r.Params.PngTextKeys->Strings(i) == "comment" && r.Params.PngTextValues->Strings(i) == "hello";
  EXPECT_TRUE(comment);

  TRead plain;  // no pHYs: the library's default
  ReadPng(ReadWholeFile(CaseFile("grey255")), plain, true);
  EXPECT_EQ(plain.Params.DpiX, IEGlobalDefaultDpiX);
}

// Files that break the format are refused with the abort flag and a reason.
TEST(PngReader, BrokenFilesAreRefusedWithAReason) {
  const std::vector<Byte> good = ReadWholeFile(CaseFile("rgb8"));
  auto patched = [&](std::function<void(std::vector<Byte>&)> f) {
    std::vector<Byte> d = good;
    f(d);
    return d;
  };
  // The IDAT chunk's offset: after the signature, walk the chunks.
  size_t idat = 8;
  while (idat + 8 < good.size() && std::string(good.begin() + idat + 4, good.begin() + idat + 8) != "IDAT") {
    const size_t len = size_t(good[idat]) << 24 | good[idat + 1] << 16 | good[idat + 2] << 8 | good[idat + 3];
    idat += len + 12;
  }
  ASSERT_LT(idat + 8, good.size());
  const std::vector<std::pair<std::string, std::vector<Byte>>> cases = {
      {"bad signature", patched([](auto& d) { d[1] = 'Q'; })},
      {"bad header CRC", patched([](auto& d) { d[29] ^= 0xFF; })},
      {"chunk length past the end", patched([&](auto& d) { d[idat] = 0x7F; })},
      {"image data corrupted", patched([&](auto& d) { for (size_t k = idat + 10; k < idat + 40; ++k) d[k] ^= 0x5A; })},
      {"no IDAT", patched([&](auto& d) { d[idat + 4] = 'i'; d[idat + 5] = 'D'; d[idat + 6] = 'A'; d[idat + 7] = 'T'; })},
      {"truncated", std::vector<Byte>(good.begin(), good.begin() + good.size() / 2)},
      {"empty", {}},
  };
  for (const auto& [name, data] : cases) {
    SCOPED_TRACE(name);
    TRead r;
    ReadPng(data, r);
    EXPECT_TRUE(r.Probe.Failed());
    EXPECT_FALSE(r.Probe.Reason.empty());
  }
  TMemoryStream m;
  FillStream(m, {0x89, 0x50, 0x4E});
  EXPECT_FALSE(IsPNG(&m));
  EXPECT_EQ(m.Position(), 0);
  FillStream(m, good);
  m.SetPosition(0);
  EXPECT_TRUE(IsPNG(&m));
  EXPECT_EQ(m.Position(), 0);
}

TEST(PngReader, ProgressAndCancel) {
  TRead one;
  one.Probe.Progress.OnProgress = [&](TObject*, Integer per) { one.Probe.Reports.push_back(per); };
  ReadPng(ReadWholeFile(CaseFile("grey1")), one);  // 1 x 3
  TRead row;
  row.Probe.Progress.OnProgress = [&](TObject*, Integer per) { row.Probe.Reports.push_back(per); };
  const std::string oneRow = Fixture("png-one-row.png", "pnmtopng " + ShellQuote(Source("rgb", 5, 1, 255, 0)) + " > {out}");
  ReadPng(ReadWholeFile(oneRow), row);
  EXPECT_EQ(row.Probe.Reports, std::vector<Integer>{0});

  TRead cancel;
  cancel.Probe.Progress.OnProgress = [&](TObject*, Integer per) {
    if (per >= 10) cancel.Probe.Aborting = true;
  };
  ReadPng(ReadWholeFile(CaseFile("rgb8")), cancel);
  EXPECT_TRUE(cancel.Probe.Failed());
}

// --- writer ---

struct TWritten {
  std::vector<Byte> Bytes;
  std::string Path;
  std::string Dir;
  ~TWritten() { if (!Dir.empty()) testsupport::RemoveTree(Dir); }
};

void WritePng(TIEBitmap& B, TIOParamsVals& P, TIEMask* Mask, TWritten& W) {
  TProgressProbe probe;
  TMemoryStream m;
  WritePNGStream(&m, &B, P, probe.Progress, Mask);
  ASSERT_FALSE(probe.Failed()) << probe.Reason;
  W.Bytes = StreamBytes(m);
  W.Dir = testsupport::MakeTempDir("pngw");
  W.Path = W.Dir + "/out.png";
  WriteFileBytes(W.Path, W.Bytes);
  RunOk("pngcheck -v " + ShellQuote(W.Path));
}

void Gradient(TIEBitmap& B, Integer W, Integer H) {
  B.Allocate(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x)
      B.SetPixelRGB(x, y, IECreateRGB(Byte(x * 255 / std::max(W - 1, 1)), Byte(y * 255 / std::max(H - 1, 1)), Byte((x ^ y) * 7)));
}

// Every output kind passes pngcheck and reads back in pngtopam as the image we gave, in every
// row store.
TEST(PngWriter, OutputKindsAreReadBackByPngtopam) {
  ForEachStore([](Store, StoreScope& scope) {
    TIEBitmap b;
    scope.Prepare(b);
    Gradient(b, 19, 7);
    for (bool interlaced : {false, true}) {
      SCOPED_TRACE(interlaced ? "interlaced" : "progressive rows");
      TIOParamsVals p(nullptr);
      p.PngInterlaced = interlaced;
      p.DpiX = p.DpiY = 150;
      p.PngTextKeys->Add("Title");
      p.PngTextValues->Add("sheet 1");
      TWritten rgb;
      WritePng(b, p, nullptr, rgb);
      EXPECT_EQ(MaxDifference(b, PamFromCommand("pngtopam " + ShellQuote(rgb.Path))), 0);
      EXPECT_NE(RunOk("pngcheck -v " + ShellQuote(rgb.Path)).find("Title"), std::string::npos);
      TRead back;
      ReadPng(rgb.Bytes, back);
      EXPECT_EQ(back.Params.DpiX, 150);
      EXPECT_EQ(back.Params.PngInterlaced, interlaced);
    }
  });
}

TEST(PngWriter, AlphaGreyPaletteAndOneBit) {
  TIEBitmap b;
  Gradient(b, 16, 6);
  TIEMask mask;
  mask.AllocateBits(16, 6, 8);
  for (Integer y = 0; y < 6; ++y)
    for (Integer x = 0; x < 16; ++x) mask.SetPixel(x, y, x < 4 ? 0 : x < 8 ? 128 : 255);
  {  // RGB with alpha: colour type 6 with the mask as alpha
    TIOParamsVals p(nullptr);
    TWritten w;
    WritePng(b, p, &mask, w);
    EXPECT_EQ(w.Bytes[25], 6);
    const TPam pam = PamFromCommand("pngtopam -alphapam " + ShellQuote(w.Path));
    ASSERT_EQ(pam.Depth, 4);
    EXPECT_EQ(pam.At(5, 2, 3), 128);
    EXPECT_EQ(pam.At(1, 2, 3), 0);
  }
  {  // a full mask gives colour type 2
    TIEMask full;
    full.AllocateBits(16, 6, 8);
    full.Fill(255);
    full.Full = true;
    TIOParamsVals p(nullptr);
    TWritten w;
    WritePng(b, p, &full, w);
    EXPECT_EQ(w.Bytes[25], 2);
  }
  {  // one sample with a mask: a palette whose entry 0 is the transparent background, partly
     // transparent pixels with entries of their own
    TIOParamsVals p(nullptr);
    p.SamplesPerPixel = 1;
    p.BitsPerSample = 4;
    TWritten w;
    WritePng(b, p, &mask, w);
    EXPECT_EQ(p.BitsPerSample, 8) << "a depth the writer cannot make is stored back as 8";
    EXPECT_EQ(w.Bytes[25], 3);
    const TPam pam = PamFromCommand("pngtopam -alphapam " + ShellQuote(w.Path));
    EXPECT_EQ(pam.At(1, 1, 3), 0);
    EXPECT_EQ(pam.At(12, 1, 3), 255);
    EXPECT_EQ(pam.At(5, 1, 3), 128) << "partial alpha is kept in tRNS";
    Integer worst = 0;  // visible pixels keep their colour (to the quantizer's precision)
    for (Integer y = 0; y < 6; ++y)
      for (Integer x = 4; x < 16; ++x) worst = std::max(worst, std::abs(b.GetPixelRGB(x, y).r - pam.At(x, y, 0)));
    EXPECT_LE(worst, 40);
  }
  {  // grey 16 bits from ie16g: both bytes of every sample
    TIEBitmap g;
    g.Allocate(5, 3, ie16g);
    for (Integer y = 0; y < 3; ++y)
      for (Integer x = 0; x < 5; ++x) g.SetPixelWord(x, y, Word(0x1234 + x * 0x0101 + y * 0x3001));
    TIOParamsVals p(nullptr);
    p.SamplesPerPixel = 1;
    p.BitsPerSample = 16;
    TWritten w;
    WritePng(g, p, nullptr, w);
    const TPam pam = PamFromCommand("pngtopam " + ShellQuote(w.Path));
    ASSERT_EQ(pam.MaxVal, 65535);
    for (Integer y = 0; y < 3; ++y)
      for (Integer x = 0; x < 5; ++x) EXPECT_EQ(pam.At(x, y, 0), g.GetPixelWord(x, y));
  }
  {  // 1 bit from ie1g: white stays white
    TIEBitmap m;
    m.Allocate(11, 3, ie1g);
    m.Fill(0);
    m.SetPixelByte(3, 1, 1);
    TIOParamsVals p(nullptr);
    p.SamplesPerPixel = 1;
    p.BitsPerSample = 1;
    TWritten w;
    WritePng(m, p, nullptr, w);
    EXPECT_EQ(w.Bytes[24], 1);
    EXPECT_EQ(MaxDifference(m, PamFromCommand("pngtopam " + ShellQuote(w.Path))), 0);
  }
  {  // a colour image saved with one sample: an 8-bit palette of its colours
    TIEBitmap few;
    few.Allocate(9, 4, ie24RGB);
    for (Integer y = 0; y < 4; ++y)
      for (Integer x = 0; x < 9; ++x) few.SetPixelRGB(x, y, IECreateRGB(Byte(x * 30), 200, Byte(y * 60)));
    TIOParamsVals p(nullptr);
    p.SamplesPerPixel = 1;
    TWritten w;
    WritePng(few, p, nullptr, w);
    EXPECT_EQ(w.Bytes[25], 3);
    EXPECT_EQ(MaxDifference(few, PamFromCommand("pngtopam " + ShellQuote(w.Path))), 0);
  }
}

// A destination that refuses bytes (a full disk) fails the save; no exception, no success.
TEST(PngWriter, FullDiskFailsTheSave) {
  const std::string dir = testsupport::MakeTempDir("pngfull");
  TIEBitmap b;
  Gradient(b, 300, 200);
  TIOParamsVals p(nullptr);
  p.PngCompression = 0;
  TProgressProbe probe;
  {
    TFileStream f(AnsiString("/dev/full"), fmOpenWrite);
    WritePNGStream(&f, &b, p, probe.Progress, nullptr);
  }
  EXPECT_TRUE(probe.Failed());
  EXPECT_FALSE(probe.Reason.empty());
  testsupport::RemoveTree(dir);
}

// Each kept finding names in its length field an ancillary chunk of up to 2 GiB that the file
// does not hold.
TEST(Corpus, PngFuzzFindings) {
  ReplayFuzzFindings("png", [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
    TRead r;
    ReadPng(data, r);
    return CorpusOutcome(r);
  });
}

TEST(Corpus, PngReader) {
  const size_t reads = ReplayCorpus("png", [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
    TRead r;
    ReadPng(data, r);
    return CorpusOutcome(r);
  });
  EXPECT_GT(reads, 200u);
}

}  // namespace
