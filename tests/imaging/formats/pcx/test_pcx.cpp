// The PCX and DCX codecs against netpbm and ImageMagick: every layout ppmtopcx writes (packed
// 1, 2 and 4 bits, 1 bit in 2 and 4 planes, 8 and 24 bits) decodes as pcxtoppm decodes it;
// what we write pcxtoppm reads back; DCX pages are inserted, appended and read by index.
#include <gtest/gtest.h>

#include "imaging/core/ie_helpers.h"
#include "imaging/formats/pcx/ie_pcx.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/ie_stores.h"

using namespace ietest;
using testsupport::Fixture;
using testsupport::ShellQuote;

namespace {

const std::string kMake = std::string("python3 ") + CLAVORNE_SOURCE_DIR + "/tests/imaging/formats/tools/make_netpbm.py ";

struct TRead {
  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  TProgressProbe Probe;
};

void ReadPcx(const std::vector<Byte>& Data, TRead& R) {
  TMemoryStream m;
  FillStream(m, Data);
  ReadPCXStream(&m, &R.Bitmap, R.Params, m.Size(), R.Probe.Progress, false);
}

std::vector<Byte> Header(Integer Bits, Integer Planes, Integer Width, Integer Height, Integer LineBytes, Byte Encoding = 1) {
  std::vector<Byte> h(128, 0);
  h[0] = 0x0A;
  h[1] = 5;
  h[2] = Encoding;
  h[3] = Byte(Bits);
  h[8] = Byte(Width - 1);
  h[9] = Byte((Width - 1) >> 8);
  h[10] = Byte(Height - 1);
  h[11] = Byte((Height - 1) >> 8);
  h[65] = Byte(Planes);
  h[66] = Byte(LineBytes);
  h[67] = Byte(LineBytes >> 8);
  return h;
}

std::vector<Byte> Concat(std::vector<Byte> A, const std::vector<Byte>& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

TEST(PcxReader, ToolFilesDecodeAsPcxtoppmDecodesThem) {
  const std::string src = Fixture("pcx-src-13x7.ppm", kMake + "rgb 13 7 255 0 {out}");
  auto quant = [&](Integer n) { return "pnmquant " + std::to_string(n) + " " + ShellQuote(src) + " 2>/dev/null | "; };
  struct TCase {
    std::string Name, Recipe;
  };
  const std::vector<TCase> cases = {
      {"1bit-colours", quant(2) + "ppmtopcx > {out}"},
      {"1bit-bw", "pamthreshold " + ShellQuote(src) + " | pamtopnm | ppmtopcx > {out}"},
      {"2bit-packed", quant(4) + "ppmtopcx -packed > {out}"},
      {"4bit-packed", quant(16) + "ppmtopcx -packed > {out}"},
      {"2planes", quant(4) + "ppmtopcx -planes 2 > {out}"},
      {"4planes", quant(16) + "ppmtopcx -planes 4 > {out}"},
      {"8bit", "ppmtopcx -8bit " + ShellQuote(src) + " > {out}"},
      {"24bit", "ppmtopcx -24bit " + ShellQuote(src) + " > {out}"},
      {"imagemagick-24bit", "convert " + ShellQuote(src) + " -type TrueColor PCX:{out}"},
      {"imagemagick-8bit", "convert " + ShellQuote(src) + " -colors 50 -type Palette PCX:{out}"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = Fixture("pcx-" + c.Name + ".pcx", c.Recipe);
    const TPam pam = PamFromCommand("pcxtoppm " + ShellQuote(file) + " 2>/dev/null");
    ForEachStore([&](Store, StoreScope& scope) {
      TRead r;
      scope.Prepare(r.Bitmap);
      ReadPcx(ReadWholeFile(file), r);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      EXPECT_EQ(r.Bitmap.GetWidth(), 13);
      EXPECT_EQ(MaxDifference(r.Bitmap, pam), 0);
    });
  }
}

TEST(PcxReader, RunsCrossLinesAndDamageIsReported) {
  // 3 x 2 pixels of 8 bits, 4 bytes a line: one run of 8 bytes covers both lines.
  std::vector<Byte> pal(769, 0);
  pal[0] = 0x0C;
  pal[1 + 3 * 7] = 200;  // entry 7: red 200
  pal[2 + 3 * 7] = 10;
  pal[3 + 3 * 7] = 30;
  TRead r;
  ReadPcx(Concat(Concat(Header(8, 1, 3, 2, 4), {0xC8, 7}), pal), r);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  EXPECT_EQ(r.Bitmap.GetPixelRGB(2, 1), IECreateRGB(200, 10, 30));
  // A 4-bit image of odd width keeps its width; zero resolutions give the default on both axes.
  std::vector<Byte> h4 = Header(4, 1, 3, 1, 2, 0);
  h4[16 + 3 * 2] = 90;
  h4[12] = 150;  // horizontal resolution without a vertical one
  TRead four;
  ReadPcx(Concat(h4, {0x12, 0x20}), four);
  ASSERT_FALSE(four.Probe.Failed()) << four.Probe.Reason;
  EXPECT_EQ(four.Bitmap.GetWidth(), 3);
  EXPECT_EQ(four.Bitmap.GetPixelRGB(2, 0), IECreateRGB(90, 0, 0));
  EXPECT_EQ(four.Params.DpiX, IEGlobalDefaultDpiX);
  EXPECT_EQ(four.Params.DpiY, IEGlobalDefaultDpiY);

  struct TBad {
    std::string Name;
    std::vector<Byte> Data;
    std::string Reason;
  };
  std::vector<Byte> notPcx = Header(8, 1, 2, 2, 2);
  notPcx[0] = 0x0B;
  const std::vector<TBad> bad = {
      {"not PCX", notPcx, "not a PCX image"},
      {"encoding 2", Header(8, 1, 2, 2, 2, 2), "encoding 2"},
      {"16 bits", Header(16, 1, 2, 2, 4), "16 bits"},
      {"8 bits in 2 planes", Header(8, 2, 2, 2, 2), "not supported"},
      {"short lines", Header(8, 3, 20, 2, 4), "too short"},
      // A run that asks for more than the data holds: the rows decoded are kept, the rest is
      // reported, never read from beyond the image.
      {"cut run", Concat(Header(1, 4, 16, 3, 2), {0xC5, 0xFF, 0xC4}), "ends after 0 of its 3 rows"},
      // 65536 x 65536 pixels in a few bytes: refused before anything is allocated.
      {"huge", Concat(Header(1, 1, 65536, 65536, 8192), {0xFF, 0, 0xFF, 0}), "too few"},
  };
  for (const TBad& b : bad) {
    SCOPED_TRACE(b.Name);
    TRead r2;
    ReadPcx(b.Data, r2);
    EXPECT_TRUE(r2.Probe.Failed());
    EXPECT_NE(r2.Probe.Reason.find(b.Reason), std::string::npos) << r2.Probe.Reason;
  }
  // The size given bounds the read: the bytes after it are not this image's.
  TMemoryStream m;
  FillStream(m, Concat(Header(8, 3, 2, 1, 2, 0), std::vector<Byte>(6, 0x80)));
  TRead part;
  ReadPCXStream(&m, &part.Bitmap, part.Params, 128 + 4, part.Probe.Progress, false);
  EXPECT_TRUE(part.Probe.Failed());
}

TEST(PcxWriter, PcxtoppmReadsWhatWeWrite) {
  const std::string dir = testsupport::MakeTempDir("pcxw");
  TIEBitmap b;
  b.Allocate(11, 5, ie24RGB);
  for (Integer y = 0; y < 5; ++y)
    for (Integer x = 0; x < 11; ++x) b.SetPixelRGB(x, y, IECreateRGB(Byte(x * 23), Byte(y * 60), Byte(x < 5 ? 200 : 0xC3)));
  TIEBitmap two;
  two.Allocate(9, 3, ie24RGB);
  for (Integer y = 0; y < 3; ++y)
    for (Integer x = 0; x < 9; ++x) two.SetPixelRGB(x, y, (x + y) % 3 ? IECreateRGB(250, 200, 10) : IECreateRGB(20, 0, 90));
  struct TKind {
    std::string Name;
    TIEBitmap* Image;
    Integer Bits, Samples;
    Byte Rle;
    Integer FileBits, Planes;
  };
  for (const TKind& k : {TKind{"24-rle", &b, 8, 3, 1, 8, 3}, {"24-raw", &b, 8, 3, 0, 8, 3}, {"8-rle", &b, 8, 1, 1, 8, 1},
                         {"8-raw", &b, 8, 1, 0, 8, 1}, {"4", &b, 4, 1, 1, 4, 1}, {"1-two-colours", &two, 1, 1, 1, 1, 1}}) {
    SCOPED_TRACE(k.Name);
    TIOParamsVals p(nullptr);
    p.BitsPerSample = k.Bits;
    p.SamplesPerPixel = k.Samples;
    p.PcxCompression = k.Rle;
    TProgressProbe probe;
    TMemoryStream m;
    WritePCXStream(&m, k.Image, p, probe.Progress);
    ASSERT_FALSE(probe.Failed()) << probe.Reason;
    const std::vector<Byte> bytes = StreamBytes(m);
    ASSERT_GT(bytes.size(), 128u);
    EXPECT_EQ(bytes[0], 0x0A);
    EXPECT_EQ(bytes[3], k.FileBits);
    EXPECT_EQ(bytes[65], k.Planes);
    EXPECT_EQ((bytes[66] | bytes[67] << 8) % 2, 0);
    const std::string path = dir + "/" + k.Name + ".pcx";
    WriteFileBytes(path, bytes);
    TRead back;
    ReadPcx(bytes, back);
    ASSERT_FALSE(back.Probe.Failed()) << back.Probe.Reason;
    EXPECT_EQ(back.Bitmap.GetWidth(), k.Image->GetWidth());
    // pcxtoppm reads run-length files only; ImageMagick reads raw ones too, but takes every
    // 1-bit image for black and white, whatever its palette says.
    if (k.FileBits != 1) {
      EXPECT_EQ(MaxDifference(back.Bitmap, PamFromCommand("convert " + ShellQuote(path) + " -depth 8 PPM:-")), 0);
    }
    if (k.Rle) {
      EXPECT_EQ(MaxDifference(back.Bitmap, PamFromCommand("pcxtoppm " + ShellQuote(path) + " 2>/dev/null")), 0);
    }
    // 24 bits, and images of no more colours than the depth holds, come back as they were.
    if (k.Bits * k.Samples != 4) {
      EXPECT_EQ(MaxDifference(back.Bitmap, *k.Image), 0);
    }
  }
  TIOParamsVals odd(nullptr);
  odd.BitsPerSample = 16;
  odd.SamplesPerPixel = 1;
  TProgressProbe probe;
  TMemoryStream m;
  WritePCXStream(&m, &b, odd, probe.Progress);
  EXPECT_TRUE(probe.Failed());
  EXPECT_NE(probe.Reason.find("16"), std::string::npos);
  testsupport::RemoveTree(dir);
}

void Paint(TIEBitmap& B, Integer Red) {
  B.Allocate(3, 2, ie24RGB);
  for (Integer y = 0; y < 2; ++y)
    for (Integer x = 0; x < 3; ++x) B.SetPixelRGB(x, y, IECreateRGB(Byte(Red), 1, 2));
}

// The red of page Index of the DCX in M.
Integer PageRed(TMemoryStream& M, Integer Index) {
  TRead r;
  r.Params.DcxImageIndex = Index;
  M.SetPosition(0);
  ReadDCXStream(&M, &r.Bitmap, r.Params, r.Probe.Progress, false);
  EXPECT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  return r.Probe.Failed() ? -1 : r.Bitmap.GetPixelRGB(0, 0).r;
}

Integer Pages(TMemoryStream& M) {
  const std::vector<Byte> d = StreamBytes(M);
  Integer n = 0;
  while (size_t(8 + 4 * n) <= d.size() && (d[4 + 4 * n] | d[5 + 4 * n] | d[6 + 4 * n] | d[7 + 4 * n])) ++n;
  return n;
}

TEST(Dcx, PagesAreInsertedAppendedAndReadByIndex) {
  TIOParamsVals p(nullptr);
  TMemoryStream m;
  for (Integer red : {10, 20}) {
    p.DcxImageIndex = Pages(m);
    TIEBitmap b;
    Paint(b, red);
    TProgressProbe probe;
    WriteDCXStream(&m, &b, p, probe.Progress);
    ASSERT_FALSE(probe.Failed()) << probe.Reason;
  }
  const std::vector<Byte> two = StreamBytes(m);
  EXPECT_EQ(std::vector<Byte>(two.begin(), two.begin() + 4), (std::vector<Byte>{0xB1, 0x68, 0xDE, 0x3A}));
  ASSERT_EQ(Pages(m), 2);
  // Page 0 into two pages: three, the new one first; then 3 appends.
  for (auto [index, red] : {std::pair{0, 30}, {3, 40}}) {
    p.DcxImageIndex = index;
    TIEBitmap b;
    Paint(b, red);
    TProgressProbe probe;
    WriteDCXStream(&m, &b, p, probe.Progress);
    ASSERT_FALSE(probe.Failed()) << probe.Reason;
  }
  ASSERT_EQ(Pages(m), 4);
  EXPECT_EQ(PageRed(m, 0), 30);
  EXPECT_EQ(PageRed(m, 1), 10);
  EXPECT_EQ(PageRed(m, 2), 20);
  EXPECT_EQ(PageRed(m, 3), 40);
  EXPECT_EQ(PageRed(m, 99), 40);  // clamped to the last page
  // An index past the pages, or a stream that is no DCX, is refused and the stream kept.
  const std::vector<Byte> before = StreamBytes(m);
  p.DcxImageIndex = 6;
  TIEBitmap b;
  Paint(b, 50);
  TProgressProbe past;
  WriteDCXStream(&m, &b, p, past.Progress);
  EXPECT_TRUE(past.Failed());
  EXPECT_EQ(StreamBytes(m), before);
  TMemoryStream junk;
  FillStream(junk, std::vector<Byte>(40, 7));
  p.DcxImageIndex = 0;
  TProgressProbe notDcx;
  WriteDCXStream(&junk, &b, p, notDcx.Progress);
  EXPECT_TRUE(notDcx.Failed());
  EXPECT_EQ(junk.Size(), 40);

  // An offset past the end is no DCX; the position is restored either way.
  std::vector<Byte> cut = before;
  cut[4 + 4] = 0xFF;
  cut[4 + 7] = 0x7F;
  TMemoryStream c;
  FillStream(c, cut);
  EXPECT_FALSE(IsDCX(&c));
  EXPECT_EQ(c.Position(), 0);
  m.SetPosition(0);
  EXPECT_TRUE(IsDCX(&m));
}

TEST(Dcx, ImageMagickPagesDecodeAsItsOwnFrames) {
  const std::string src = Fixture("pcx-src-13x7.ppm", kMake + "rgb 13 7 255 0 {out}");
  const std::string file = Fixture("dcx-imagemagick.dcx", "convert " + ShellQuote(src) + " \\( " + ShellQuote(src) +
                                                              " -negate \\) DCX:{out}");
  for (Integer page : {0, 1}) {
    SCOPED_TRACE(page);
    ForEachStore([&](Store, StoreScope& scope) {
      TRead r;
      scope.Prepare(r.Bitmap);
      r.Params.DcxImageIndex = page;
      TMemoryStream m;
      FillStream(m, ReadWholeFile(file));
      ASSERT_TRUE(IsDCX(&m));
      ReadDCXStream(&m, &r.Bitmap, r.Params, r.Probe.Progress, false);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      EXPECT_EQ(MaxDifference(r.Bitmap, PamFromCommand("convert " + ShellQuote(file) + "[" + std::to_string(page) +
                                                       "] -depth 8 PPM:-")),
                0);
    });
  }
}

TEST(Corpus, PcxReader) {
  const size_t reads = ReplayCorpus("pcx", [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
    TRead r;
    TMemoryStream m;
    FillStream(m, data);
    if (data.size() >= 4 && data[0] == 0xB1 && data[1] == 0x68) ReadDCXStream(&m, &r.Bitmap, r.Params, r.Probe.Progress, false);
    else ReadPCXStream(&m, &r.Bitmap, r.Params, m.Size(), r.Probe.Progress, false);
    return CorpusOutcome(r);
  });
  EXPECT_GT(reads, 100u);
}

}  // namespace
