// The Targa codec against netpbm and ImageMagick: colour-mapped, true-colour and grey files,
// raw and run-length, in all four orientations, decode as the tools decode them; what we write
// tgatoppm and ImageMagick read back, with the footer and the 495-byte extension area.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_limits.h"
#include "imaging/formats/tga/ie_tga.h"
#include "platform/rtl/sysutils.h"
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
  TIEMask* Alpha = nullptr;
  ~TRead() { delete Alpha; }
};

void ReadTga(const std::vector<Byte>& Data, TRead& R) {
  TMemoryStream m;
  FillStream(m, Data);
  ReadTGAStream(&m, &R.Bitmap, R.Params, R.Probe.Progress, false, R.Alpha, false);
}

std::vector<Byte> Header(Byte Type, Byte Depth, Integer Width, Integer Height, Byte Descriptor = 0x20) {
  std::vector<Byte> h(18, 0);
  h[2] = Type;
  h[12] = Byte(Width);
  h[13] = Byte(Width >> 8);
  h[14] = Byte(Height);
  h[15] = Byte(Height >> 8);
  h[16] = Depth;
  h[17] = Descriptor;
  return h;
}

std::vector<Byte> Concat(std::vector<Byte> A, const std::vector<Byte>& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

TEST(TgaReader, ToolFilesDecodeAsTheToolsDecodeThem) {
  const std::string src = Fixture("tga-src-13x7.ppm", kMake + "rgb 13 7 255 0 {out}");
  const std::string q = "pnmquant 40 " + ShellQuote(src) + " 2>/dev/null | ";
  struct TCase {
    std::string Name, Recipe, Expected;  // Expected: a command writing the image the file holds
    Integer Tolerance;
  };
  std::vector<TCase> cases = {
      {"cmap-rle", q + "pamtotga -cmap > {out}", "", 0},
      {"cmap-raw", q + "pamtotga -cmap -norle > {out}", "", 0},
      {"cmap16", q + "pamtotga -cmap16 > {out}", "", 8},
      {"rgb-rle", "pamtotga -rgb " + ShellQuote(src) + " > {out}", "", 0},
      {"rgb-raw", "pamtotga -rgb -norle " + ShellQuote(src) + " > {out}", "", 0},
      {"mono", "ppmtopgm " + ShellQuote(src) + " | pamtotga -mono > {out}", "", 0},
  };
  // ImageMagick writes the same rows under each orientation: the picture they stand for is the
  // source turned as the descriptor says.
  const std::pair<const char*, const char*> orients[] = {
      {"TopLeft", ""}, {"BottomLeft", "-flip"}, {"TopRight", "-flop"}, {"BottomRight", "-flip -flop"}};
  for (const char* compress : {"None", "RLE"})
    for (const auto& [orient, turn] : orients)
      cases.push_back({std::string("im-") + compress + "-" + orient,
                       "convert " + ShellQuote(src) + " -orient " + orient + " -compress " + compress + " TGA:{out}",
                       "convert " + ShellQuote(src) + " " + turn + " PPM:-", 0});
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = Fixture("tga-" + c.Name + ".tga", c.Recipe);
    const TPam pam = PamFromCommand(c.Expected.empty() ? "tgatoppm " + ShellQuote(file) + " 2>/dev/null" : c.Expected);
    ForEachStore([&](Store, StoreScope& scope) {
      TRead r;
      scope.Prepare(r.Bitmap);
      ReadTga(ReadWholeFile(file), r);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      EXPECT_LE(MaxDifference(r.Bitmap, pam), c.Tolerance);
    });
  }
}

TEST(TgaReader, AlphaMapsOneBitRunsAndDamage) {
  // 32 bits read right to left: the alpha is mirrored with the colours.
  TRead a;
  ReadTga(Concat(Header(2, 32, 2, 1, 0x28 | 0x10), {1, 2, 3, 40, 4, 5, 6, 200}), a);
  ASSERT_FALSE(a.Probe.Failed()) << a.Probe.Reason;
  ASSERT_TRUE(a.Alpha);
  EXPECT_EQ(a.Bitmap.GetPixelRGB(0, 0), (TRGB{4, 5, 6}));
  EXPECT_EQ(a.Alpha->GetPixel(0, 0), 200);
  EXPECT_EQ(a.Alpha->GetPixel(1, 0), 40);
  // An alpha of zeros is no alpha.
  TRead none;
  ReadTga(Concat(Header(2, 32, 2, 1), {1, 2, 3, 0, 4, 5, 6, 0}), none);
  ASSERT_FALSE(none.Probe.Failed()) << none.Probe.Reason;
  EXPECT_EQ(none.Alpha, nullptr);

  // A colour map of 300 entries from entry 0: 8-bit indexes reach the first 256.
  std::vector<Byte> mapped = Header(1, 8, 2, 1);
  mapped[1] = 1;
  mapped[5] = 300 & 0xFF;
  mapped[6] = 300 >> 8;
  mapped[7] = 24;
  std::vector<Byte> map(300 * 3, 0);
  map[255 * 3 + 2] = 77;  // entry 255: red 77
  TRead m;
  ReadTga(Concat(Concat(mapped, map), {255, 0}), m);
  ASSERT_FALSE(m.Probe.Failed()) << m.Probe.Reason;
  EXPECT_EQ(m.Params.ColorMapCount, 256);
  EXPECT_EQ(m.Bitmap.GetPixelRGB(0, 0), IECreateRGB(77, 0, 0));

  // 1-bit run-length rows: a packet of 128 bytes fills the two rows of one byte each and stops
  // there; the rest of the packet is never written anywhere.
  TRead bits;
  ReadTga(Concat(Header(11, 1, 8, 2), {0xFF, 0xA5}), bits);
  ASSERT_FALSE(bits.Probe.Failed()) << bits.Probe.Reason;
  ASSERT_EQ(bits.Bitmap.GetPixelFormat(), ie1g);
  EXPECT_EQ(static_cast<Byte*>(bits.Bitmap.GetScanline(1))[0], 0xA5);
  // A packet that runs on into the next row decodes as the raw file does.
  TRead raw, rle;
  ReadTga(Concat(Header(2, 24, 2, 2), {9, 8, 7, 9, 8, 7, 9, 8, 7, 1, 2, 3}), raw);
  ReadTga(Concat(Header(10, 24, 2, 2), {0x82, 9, 8, 7, 0x00, 1, 2, 3}), rle);
  ASSERT_FALSE(rle.Probe.Failed()) << rle.Probe.Reason;
  EXPECT_EQ(MaxDifference(raw.Bitmap, rle.Bitmap), 0);

  struct TBad {
    std::string Name;
    std::vector<Byte> Data;
    std::string Reason;
  };
  const std::vector<TBad> bad = {
      {"type 5", Header(5, 24, 2, 2), "not a Targa image"},
      {"24-bit grey", Header(3, 24, 2, 2), "not supported"},
      {"mapped without a map", Concat(Header(1, 8, 2, 1), {0, 0}), "no colour map"},
      {"truncated", Concat(Header(2, 24, 2, 3), std::vector<Byte>(10, 1)), "too few"},
      {"cut packet", Concat(Header(10, 24, 2, 3), {0x83, 1, 2, 3, 0x7F, 1}), "ends after 2 of its 3 rows"},
      {"huge", Concat(Header(10, 24, 65535, 65535), {0xFF, 1, 2, 3, 0xFF, 1, 2, 3}), "too few"},
  };
  for (const TBad& b : bad) {
    SCOPED_TRACE(b.Name);
    TRead r;
    ReadTga(b.Data, r);
    EXPECT_TRUE(r.Probe.Failed());
    EXPECT_NE(r.Probe.Reason.find(b.Reason), std::string::npos) << r.Probe.Reason;
  }
  // Run-length data that could hold the image is still held to the sparse pixel limit.
  const Int64 limit = IESparseImageMaxPixels;
  IESparseImageMaxPixels = 100;
  TRead sparse;
  std::vector<Byte> packets;
  for (Integer i = 0; i < 4; ++i) packets.insert(packets.end(), {0xFF, 1, 2, 3});
  ReadTga(Concat(Header(10, 24, 16, 32), packets), sparse);
  IESparseImageMaxPixels = limit;
  EXPECT_TRUE(sparse.Probe.Failed());
  EXPECT_NE(sparse.Probe.Reason.find("above the limit"), std::string::npos) << sparse.Probe.Reason;
  TMemoryStream s;
  FillStream(s, Header(10, 24, 3, 3));
  EXPECT_TRUE(IsTGA(&s));
  EXPECT_EQ(s.Position(), 0);
  FillStream(s, Header(10, 12, 3, 3));
  EXPECT_FALSE(IsTGA(&s));
}

std::vector<Byte> WriteTga(TIEBitmap& B, TIOParamsVals& P, TIEMask* Alpha = nullptr) {
  TProgressProbe probe;
  TMemoryStream m;
  WriteTGAStream(&m, &B, P, probe.Progress, Alpha);
  EXPECT_FALSE(probe.Failed()) << probe.Reason;
  return StreamBytes(m);
}

TEST(TgaWriter, TheToolsReadWhatWeWrite) {
  const std::string dir = testsupport::MakeTempDir("tgaw");
  TIEBitmap b;
  b.Allocate(11, 5, ie24RGB);
  for (Integer y = 0; y < 5; ++y)
    for (Integer x = 0; x < 11; ++x) b.SetPixelRGB(x, y, IECreateRGB(Byte(x * 23), Byte(y * 60), Byte(x < 5 ? 200 : 9)));
  TIEMask alpha;
  alpha.AllocateBits(11, 5, 8);
  for (Integer y = 0; y < 5; ++y)
    for (Integer x = 0; x < 11; ++x) alpha.SetPixel(x, y, (x * 40 + y) & 0xFF);
  alpha.SyncRect();
  alpha.Full = false;
  // Six colours, and two: what 4 and 1 bits hold exactly.
  TIEBitmap few, two;
  few.Allocate(11, 5, ie24RGB);
  two.Allocate(11, 5, ie24RGB);
  for (Integer y = 0; y < 5; ++y)
    for (Integer x = 0; x < 11; ++x) {
      few.SetPixelRGB(x, y, IECreateRGB(Byte((x + y) % 6 * 40), 20, 7));
      two.SetPixelRGB(x, y, (x * y) % 3 ? IECreateRGB(255, 255, 255) : IECreateRGB(0, 0, 0));
    }
  enum { kMagick = 1, kNetpbm = 2 };
  struct TKind {
    std::string Name;
    TIEBitmap* Image;
    Integer Bits, Samples;
    bool Rle, Grey, WithAlpha;
    Byte Type, Depth;
    Integer Peers;  // the tools that read such files (neither reads 1- or 4-bit Targa files)
    bool Exact;
  };
  for (const TKind& k : {TKind{"24-rle", &b, 8, 3, true, false, false, 10, 24, kMagick | kNetpbm, true},
                         {"24-raw", &b, 8, 3, false, false, false, 2, 24, kMagick | kNetpbm, true},
                         {"8-mapped-rle", &b, 8, 1, true, false, false, 9, 8, kMagick | kNetpbm, true},
                         {"8-grey", &b, 8, 1, false, true, false, 3, 8, kMagick | kNetpbm, false},
                         {"4", &few, 4, 1, true, false, false, 1, 4, 0, true},
                         {"1", &two, 1, 1, true, false, false, 3, 1, 0, true},
                         {"32", &b, 8, 3, true, false, true, 2, 32, kMagick, true}}) {
    SCOPED_TRACE(k.Name);
    TIOParamsVals p(nullptr);
    p.BitsPerSample = k.Bits;
    p.SamplesPerPixel = k.Samples;
    p.TgaCompressed = k.Rle;
    p.TgaGrayscale = k.Grey;
    p.TgaImageName = "frame";
    const std::vector<Byte> bytes = WriteTga(*k.Image, p, k.WithAlpha ? &alpha : nullptr);
    ASSERT_GT(bytes.size(), 18u + 495 + 26);
    EXPECT_EQ(bytes[2], k.Type);
    EXPECT_EQ(bytes[16], k.Depth);
    EXPECT_EQ(std::string(bytes.end() - 18, bytes.end() - 1), "TRUEVISION-XFILE.");
    const std::string path = dir + "/" + k.Name + ".tga";
    WriteFileBytes(path, bytes);
    TRead back;
    ReadTga(bytes, back);
    ASSERT_FALSE(back.Probe.Failed()) << back.Probe.Reason;
    EXPECT_EQ(back.Params.TgaImageName, "frame");
    if (k.Peers & kMagick) {
      EXPECT_EQ(MaxDifference(back.Bitmap, PamFromCommand("convert " + ShellQuote(path) + " -depth 8 PPM:-")), 0);
    }
    if (k.Peers & kNetpbm) {
      EXPECT_EQ(MaxDifference(back.Bitmap, PamFromCommand("tgatoppm " + ShellQuote(path) + " 2>/dev/null")), 0);
    }
    if (k.Exact) {
      EXPECT_EQ(MaxDifference(back.Bitmap, *k.Image), 0);
    }
    if (k.WithAlpha) {
      ASSERT_TRUE(back.Alpha);
      EXPECT_FALSE(p.TgaCompressed);
      const TPam a = PamFromCommand("convert " + ShellQuote(path) + " -alpha extract -depth 8 PGM:-");
      for (Integer y = 0; y < 5; ++y)
        for (Integer x = 0; x < 11; ++x) EXPECT_EQ(back.Alpha->GetPixel(x, y), a.At(x, y, 0)) << x << "," << y;
    }
  }
  testsupport::RemoveTree(dir);
}

TEST(TgaWriter, ExtensionAreaAndFooter) {
  TIEBitmap b;
  b.Allocate(2, 2, ie24RGB);
  for (Integer i = 0; i < 4; ++i) b.SetPixelRGB(i % 2, i / 2, IECreateRGB(Byte(i), 50, 60));
  TIOParamsVals p(nullptr);
  p.TgaCompressed = false;
  p.TgaAuthor = "An author";
  p.TgaDescriptor = "job";
  p.TgaGamma = 2.2;
  p.TgaAspectRatio = 1.0;
  p.TgaBackground = IECreateRGB(10, 20, 30);
  TDateTime when;
  ASSERT_TRUE(TryEncodeDate(2024, 2, 29, when));
  p.TgaDate = when + EncodeTime(13, 14, 15, 0);
  std::vector<Byte> bytes = WriteTga(b, p);
  const size_t ext = bytes[bytes.size() - 26] | bytes[bytes.size() - 25] << 8;
  ASSERT_EQ(ext + 495 + 26, bytes.size());
  auto u16 = [&](size_t at) { return Integer(bytes[ext + at] | bytes[ext + at + 1] << 8); };
  EXPECT_EQ(u16(0), 495);
  EXPECT_EQ(u16(478), 22000);
  EXPECT_EQ(u16(480), 10000);
  EXPECT_EQ(u16(474), 10000);
  EXPECT_EQ(u16(476), 10000);
  TRead back;
  ReadTga(bytes, back);
  ASSERT_FALSE(back.Probe.Failed()) << back.Probe.Reason;
  EXPECT_EQ(back.Params.TgaAuthor, "An author");
  EXPECT_EQ(back.Params.TgaDescriptor, "job");
  EXPECT_DOUBLE_EQ(back.Params.TgaGamma, 2.2);
  EXPECT_EQ(back.Params.TgaBackground, IECreateRGB(10, 20, 30));
  EXPECT_NEAR(back.Params.TgaDate, p.TgaDate, 1e-6);
  // Ratios past 6.5536 keep their value with a smaller denominator.
  p.TgaAspectRatio = 12.5;
  bytes = WriteTga(b, p);
  TRead wide;
  ReadTga(bytes, wide);
  EXPECT_DOUBLE_EQ(wide.Params.TgaAspectRatio, 12.5);
  // Month 13 is no date, and a file without the footer has none of it: today, 1.0 and 2.2.
  bytes[ext + 367] = 13;
  TRead bad;
  ReadTga(bytes, bad);
  EXPECT_EQ(bad.Params.TgaDate, Date());
  TRead bare;
  ReadTga(std::vector<Byte>(bytes.begin(), bytes.begin() + 18 + 1 + 12), bare);
  ASSERT_FALSE(bare.Probe.Failed()) << bare.Probe.Reason;
  EXPECT_EQ(bare.Params.TgaDate, Date());
  EXPECT_DOUBLE_EQ(bare.Params.TgaAspectRatio, 1.0);
  EXPECT_DOUBLE_EQ(bare.Params.TgaGamma, 2.2);
}

TEST(Corpus, TgaReader) {
  const size_t reads = ReplayCorpus("tga", [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
    TRead r;
    ReadTga(data, r);
    return CorpusOutcome(r);
  });
  EXPECT_GT(reads, 100u);
}

}  // namespace
