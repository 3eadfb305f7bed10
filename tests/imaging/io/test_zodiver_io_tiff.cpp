// TIFF through the I/O component: files and streams detected and loaded as libtiff's tools read
// them, the page count returned, alpha kept, headed streams read one after another, parameters
// read alone; camera raw files that are TIFF-structured are not taken for TIFF.
#include <gtest/gtest.h>

#include "imaging/io/ie_format_detection.h"
#include "platform/rtl/files.h"
#include "tests/imaging/io/io_test_util.h"

using namespace ietest;
using namespace iotest;
using testsupport::Fixture;
using testsupport::ShellQuote;

namespace {

std::string TiffFile() {
  return Fixture("io-tiff-alpha.tif", "convert " + ShellQuote(SourcePPM()) +
                                          " -alpha set -channel A -fx 'i/w' +channel -compress lzw TIFF:{out}");
}
std::string TwoPages() {
  return Fixture("io-tiff-two.tif",
                 "convert " + ShellQuote(SourcePPM()) + " -negate {out}.n.ppm && tiffcp -c zip " + "-r 3 " +
                     ShellQuote(TiffFile()) + " {out}.1.tif && convert {out}.n.ppm {out}.2.tif && " +
                     "tiffcp {out}.1.tif {out}.2.tif {out}; rm -f {out}.n.ppm {out}.1.tif {out}.2.tif");
}

TEST(ZodivErIOTiff, FilesAndStreamsLoadWithPagesAndAlpha) {
  const std::string file = TwoPages();
  const TPam first = PamFromCommand("convert " + ShellQuote(file) + "[0] -alpha off -depth 8 PAM:-");
  const TPam second = PamFromCommand("convert " + ShellQuote(file) + "[1] -depth 8 PAM:-");
  TRecordedIO r;
  EXPECT_EQ(r.IO.LoadFromFileTIFF(W(file)), 2);
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  r.ExpectEndedOnce();
  EXPECT_EQ(MaxDifference(*r.IO.IEBitmap(), first), 0);
  EXPECT_TRUE(r.IO.IEBitmap()->HasAlphaChannel());

  // By content from a stream, the second page.
  r.Clear();
  r.IO.IOParams()->TiffImageIndex = 1;
  TMemoryStream m;
  FillStream(m, ReadWholeFile(file));
  r.IO.LoadFromStream(&m);
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  EXPECT_EQ(r.IO.IOParams()->FileType, ioTIFF);
  EXPECT_EQ(MaxDifference(*r.IO.IEBitmap(), second), 0);

  // A page beyond the last fails with the reason and one finish event.
  r.Clear();
  r.IO.IOParams()->TiffImageIndex = 2;
  r.IO.LoadFromFile(W(file));
  EXPECT_TRUE(r.IO.Aborting);
  r.ExpectEndedOnce();
  EXPECT_NE(r.IO.FailureReason().find("no page 2"), std::string::npos) << r.IO.FailureReason();

  // The parameters alone.
  TRecordedIO p;
  p.IO.ParamsFromFile(W(file));
  ASSERT_FALSE(p.IO.Aborting) << p.IO.FailureReason();
  EXPECT_EQ(p.IO.IOParams()->Width, first.Width);
  EXPECT_EQ(p.IO.IOParams()->Height, first.Height);
  EXPECT_EQ(p.IO.IOParams()->SamplesPerPixel, 4);
  EXPECT_EQ(p.IO.IOParams()->TiffImageCount, 2);
}

TEST(ZodivErIOTiff, HeadedStreamsHoldImagesOneAfterAnother) {
  const std::vector<Byte> tiff = ReadWholeFile(TiffFile());
  const TPam theirs = PamFromCommand("convert " + ShellQuote(TiffFile()) + " -alpha off -depth 8 PAM:-");
  auto headed = [&](const char* Tag) {
    std::vector<Byte> h = {Byte(Tag[0]), Byte(Tag[1]), Byte(Tag[2]), Byte(Tag[3]), 0, 0, 0, 0};
    const DWORD n = DWORD(tiff.size());
    for (int k = 0; k < 4; ++k) h.push_back(Byte(n >> (8 * k)));
    h.insert(h.end(), tiff.begin(), tiff.end());
    return h;
  };
  std::vector<Byte> two = headed("TIFF");
  const std::vector<Byte> again = headed("TIFF");
  two.insert(two.end(), again.begin(), again.end());
  TMemoryStream m;
  FillStream(m, two);
  TRecordedIO r;
  r.IO.StreamHeaders = true;
  for (Integer i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    r.IO.LoadFromStreamTIFF(&m);
    ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
    EXPECT_EQ(m.Position(), Int64(i + 1) * Int64(12 + tiff.size()));
    EXPECT_EQ(MaxDifference(*r.IO.IEBitmap(), theirs), 0);
  }
  FillStream(m, headed("PCX2"));
  r.IO.LoadFromStreamTIFF(&m);
  EXPECT_TRUE(r.IO.Aborting);
}

}  // namespace
