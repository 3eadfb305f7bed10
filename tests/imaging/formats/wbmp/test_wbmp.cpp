// The WBMP codec against netpbm: what pbmtowbmp writes decodes as wbmptopbm decodes it, in every
// store; what we write wbmptopbm reads back, whole, at any size.
#include <gtest/gtest.h>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/formats/wbmp/ie_wbmp.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/ie_stores.h"

using namespace ietest;
using testsupport::Fixture;
using testsupport::ShellQuote;

namespace {

struct TRead {
  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  TProgressProbe Probe;
};

void ReadWbmp(const std::vector<Byte>& Data, TRead& R, bool Preview = false) {
  TMemoryStream m;
  FillStream(m, Data);
  ReadWBMPStream(&m, &R.Bitmap, R.Params, R.Probe.Progress, Preview);
}

std::vector<Byte> WriteWbmp(TIEBitmap& B, TProgressProbe& Probe) {
  TIOParamsVals p(nullptr);
  TMemoryStream m;
  WriteWBMPStream(&m, &B, p, Probe.Progress);
  return StreamBytes(m);
}

// Widths on both sides of the one-byte limit (127) and of the old 255-pixel one.
TEST(WbmpReader, NetpbmFilesDecodeAsNetpbmReadsThem) {
  for (const char* size : {"1x1", "9x5", "127x3", "128x4", "300x7"}) {
    SCOPED_TRACE(size);
    const std::string file = Fixture(std::string("wbmp-") + size + ".wbmp",
                                     std::string("convert -size ") + size +
                                         " -seed 7 plasma:fractal -colorspace gray -threshold 50% pbm:- | pbmtowbmp > {out}");
    const TPam pam = PamFromCommand("wbmptopbm " + ShellQuote(file) + " | pamdepth 255 2>/dev/null");
    ForEachStore([&](Store, StoreScope& scope) {
      TRead r;
      scope.Prepare(r.Bitmap);
      ReadWbmp(ReadWholeFile(file), r);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      ASSERT_EQ(r.Bitmap.GetPixelFormat(), ie1g);
      ASSERT_EQ(r.Bitmap.GetWidth(), pam.Width);
      ASSERT_EQ(r.Bitmap.GetHeight(), pam.Height);
      EXPECT_EQ(MaxDifference(r.Bitmap, pam), 0);
      EXPECT_EQ(r.Params.BitsPerSample, 1);
      EXPECT_EQ(r.Params.SamplesPerPixel, 1);
    });
  }
}

TEST(WbmpReader, HeadersAndDamage) {
  // A width of 300 takes two bytes (0x82 0x2C); the preview reads only the header.
  std::vector<Byte> wide = {0, 0, 0x82, 0x2C, 2};
  wide.resize(wide.size() + 38 * 2, 0xF0);
  TRead preview;
  ReadWbmp(wide, preview, true);
  ASSERT_FALSE(preview.Probe.Failed()) << preview.Probe.Reason;
  EXPECT_EQ(preview.Params.Width, 300);
  EXPECT_EQ(preview.Params.Height, 2);
  EXPECT_EQ(preview.Bitmap.GetWidth(), 0);
  TRead whole;
  ReadWbmp(wide, whole);
  ASSERT_FALSE(whole.Probe.Failed()) << whole.Probe.Reason;
  EXPECT_EQ(whole.Bitmap.GetWidth(), 300);
  EXPECT_EQ(whole.Bitmap.GetPixelAsRGB(0, 1), IECreateRGB(255, 255, 255));
  EXPECT_EQ(whole.Bitmap.GetPixelAsRGB(4, 1), IECreateRGB(0, 0, 0));

  const std::vector<std::pair<std::string, std::vector<Byte>>> refused = {
      {"type 1", {1, 0, 8, 1, 0xFF}},
      {"fixed header 1", {0, 1, 8, 1, 0xFF}},
      {"zero height", {0, 0, 8, 0}},
      {"zero width", {0, 0, 0, 4}},
      {"ends in the header", {0, 0, 0x81}},
      {"rows missing", {0, 0, 16, 4, 1, 2, 3}},
      // 2^28 - 1 columns from a four-byte integer: far more than the bytes that follow.
      {"huge width", {0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 2, 0, 0, 0, 0}},
  };
  for (const auto& [name, data] : refused) {
    SCOPED_TRACE(name);
    TRead r;
    ReadWbmp(data, r);
    EXPECT_TRUE(r.Probe.Failed());
    EXPECT_FALSE(r.Probe.Reason.empty());
  }
}

// An image wider or higher than 255 pixels is written whole, with multi-byte sides, and the
// image being saved keeps its size; a colour image becomes black and white.
TEST(WbmpWriter, WbmptopbmReadsOurFilesWholeAtAnySize) {
  const std::string dir = testsupport::MakeTempDir("wbmpw");
  struct TCase {
    Integer W, H;
    TIEPixelFormat Format;
    std::vector<Byte> Header;
  };
  for (const TCase& c : {TCase{200, 10, ie1g, {0, 0, 0x81, 0x48, 0x0A}}, TCase{600, 300, ie1g, {0, 0, 0x84, 0x58, 0x82, 0x2C}},
                         TCase{70, 400, ie1g, {0, 0, 0x46, 0x83, 0x10}}, TCase{13, 6, ie24RGB, {0, 0, 13, 6}}}) {
    SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H));
    TIEBitmap b;
    b.Allocate(c.W, c.H, c.Format);
    for (Integer y = 0; y < c.H; ++y)
      for (Integer x = 0; x < c.W; ++x) {
        const bool white = ((x / 3) ^ (y / 2)) & 1;
        if (c.Format == ie1g) IESetBit(static_cast<Byte*>(b.GetScanline(y)), x, white);
        else b.SetPixelRGB(x, y, white ? IECreateRGB(250, 240, 230) : IECreateRGB(20, 10, 30));
      }
    TProgressProbe probe;
    const std::vector<Byte> bytes = WriteWbmp(b, probe);
    ASSERT_FALSE(probe.Failed()) << probe.Reason;
    ASSERT_GE(bytes.size(), c.Header.size());
    EXPECT_EQ(std::vector<Byte>(bytes.begin(), bytes.begin() + c.Header.size()), c.Header);
    EXPECT_EQ(b.GetWidth(), c.W);
    EXPECT_EQ(b.GetHeight(), c.H);
    EXPECT_EQ(b.GetPixelFormat(), c.Format);
    const std::string path = dir + "/out.wbmp";
    WriteFileBytes(path, bytes);
    const TPam pam = PamFromCommand("wbmptopbm " + ShellQuote(path) + " | pamdepth 255 2>/dev/null");
    ASSERT_EQ(pam.Width, c.W);
    ASSERT_EQ(pam.Height, c.H);
    Integer wrong = 0;
    for (Integer y = 0; y < c.H; ++y)
      for (Integer x = 0; x < c.W; ++x) wrong += pam.At(x, y, 0) != ((((x / 3) ^ (y / 2)) & 1) ? 255 : 0);
    EXPECT_EQ(wrong, 0);
  }
  testsupport::RemoveTree(dir);
}

TEST(Corpus, WbmpReader) {
  const size_t reads = ReplayCorpus("wbmp", [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
    TRead r;
    ReadWbmp(data, r);
    return CorpusOutcome(r);
  });
  EXPECT_GT(reads, 50u);
}

}  // namespace
