// The Kodak DC120 JPEG decoder reads through the JPEG entry points with an input procedure of its
// own that puts each byte pair right; the JPEGs come from cjpeg and djpeg is the reference.
#include <gtest/gtest.h>

#include "imaging/formats/jpeg/ie_jpeg_glue.h"
#include "imaging/formats/raw/ie_raw_decoders.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/formats/raw/raw_test_support.h"

using namespace ietest;
using testsupport::Fixture;
using testsupport::ShellQuote;

namespace {

const std::string kMake = std::string("python3 ") + CLAVORNE_SOURCE_DIR + "/tests/imaging/formats/tools/make_netpbm.py ";

std::string Dc120Jpeg() {
  const std::string ppm = Fixture("raw-dc120-src-16x6.ppm", kMake + "rgb 16 6 255 0 {out}");
  return Fixture("raw-dc120-16x6.jpg", "cjpeg -quality 95 -sample 1x1 " + ShellQuote(ppm) + " > {out}");
}

// The camera stores its JPEG with the bytes of each pair exchanged.
std::vector<Byte> Swapped(std::vector<Byte> b) {
  if (b.size() & 1) b.push_back(0);
  raw_swap_bytes16(b.data(), static_cast<Integer>(b.size()));
  return b;
}

TEST(RawDc120Jpeg, DecodesThroughItsOwnInputProcedure) {
  const std::string jpg = Dc120Jpeg();
  const TPam ref = PamFromCommand("djpeg -pnm " + ShellQuote(jpg));
  TRawFixture f(Swapped(ReadWholeFile(jpg)));
  f.Size(12, 16, 12, 16);
  kodak_dc120_jpeg_load_raw(*f.S);
  EXPECT_FALSE(f.Aborting) << f.Reason;
  for (int e = 0; e < 6; ++e)
    for (int c = 0; c < 16; c += 2) {
      auto p = [&](int x, int k) { return ref.At(x, e, k); };
      EXPECT_EQ(f.Cell(2 * e, c), p(c, 1) << 6);
      EXPECT_EQ(f.Cell(2 * e + 1, c + 1), p(c + 1, 1) << 6);
      EXPECT_EQ(f.Cell(2 * e, c + 1), (p(c, 0) + p(c + 1, 0)) << 5);
      EXPECT_EQ(f.Cell(2 * e + 1, c), (p(c, 2) + p(c + 1, 2)) << 5);
    }
}

TEST(RawDc120Jpeg, WrongSizeTruncationAndDamage) {
  const std::vector<Byte> file = Swapped(ReadWholeFile(Dc120Jpeg()));
  {
    TRawFixture f(file);
    f.Size(10, 16, 10, 16);  // the JPEG is 6 rows high, not 5
    try {
      kodak_dc120_jpeg_load_raw(*f.S);
      FAIL();
    } catch (const EIERawError& e) {
      EXPECT_EQ(e.Message, ": incorrect JPEG dimensions");
    }
  }
  {
    // Cut inside the scan: the rows that are there are kept and the cut is reported.
    TRawFixture f(std::vector<Byte>(file.begin(), file.end() - 40));
    f.Size(12, 16, 12, 16);
    kodak_dc120_jpeg_load_raw(*f.S);
    EXPECT_TRUE(f.Aborting);
    EXPECT_FALSE(f.Reason.empty());
  }
  {
    TRawFixture f(Swapped({0x12, 0x34, 0x56, 0x78}));
    f.Size(12, 16, 12, 16);
    EXPECT_THROW(kodak_dc120_jpeg_load_raw(*f.S), EIEJpegError);
  }
}

}  // namespace
