// The component's PCX, DCX and Targa methods on real files: pages added to a DCX on disk, a
// refused page that leaves the file as it was, headed PCX streams one after another, and the
// alpha channel a 32-bit Targa gives the image.
#include <gtest/gtest.h>

#include "imaging/core/ie_helpers.h"
#include "platform/rtl/streams.h"
#include "tests/imaging/io/io_test_util.h"

using namespace ietest;
using namespace iotest;
using testsupport::ShellQuote;

namespace {

void Paint(TIEBitmap& B, Integer Red) {
  B.Allocate(5, 3, ie24RGB);
  for (Integer y = 0; y < 3; ++y)
    for (Integer x = 0; x < 5; ++x) B.SetPixelRGB(x, y, IECreateRGB(Byte(Red), Byte(x * 40), Byte(y * 90)));
}

TEST(ZodivErIOPcx, SavesIntoAnExistingDcxAddPages) {
  const std::string dir = testsupport::MakeTempDir("dcxio");
  const std::string target = dir + "/pages.dcx";
  TRecordedIO r;
  for (auto [index, red] : {std::pair{0, 10}, {1, 20}, {0, 30}}) {
    r.IO.IOParams()->DcxImageIndex = index;
    Paint(*r.IO.IEBitmap(), red);
    r.IO.SaveToFile(W(target));
    ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  }
  // Page 0 went in front of the two pages before it.
  for (auto [index, red] : {std::pair{0, 30}, {1, 10}, {2, 20}}) {
    r.IO.IOParams()->DcxImageIndex = index;
    r.IO.LoadFromFile(W(target));
    ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
    EXPECT_EQ(r.IO.IEBitmap()->GetPixelRGB(4, 2), IECreateRGB(Byte(red), 160, 180)) << index;
    EXPECT_EQ(MaxDifference(*r.IO.IEBitmap(), PamFromCommand("convert " + ShellQuote(target) + "[" +
                                                               std::to_string(index) + "] -depth 8 PPM:-")),
              0);
  }
  // A page past the end is refused with a reason; the file keeps its three pages.
  const std::vector<Byte> before = ReadWholeFile(target);
  r.Clear();
  r.IO.IOParams()->DcxImageIndex = 7;
  r.IO.SaveToFile(W(target));
  EXPECT_TRUE(r.IO.Aborting);
  EXPECT_NE(r.IO.FailureReason().find("page 7"), std::string::npos) << r.IO.FailureReason();
  EXPECT_NE(r.IO.FailureReason().find(target), std::string::npos) << r.IO.FailureReason();
  EXPECT_EQ(r.Finishes(), 1);
  EXPECT_EQ(ReadWholeFile(target), before);
  testsupport::RemoveTree(dir);
}

TEST(ZodivErIOPcx, HeadedStreamsHoldImagesOneAfterAnother) {
  TRecordedIO r;
  r.IO.StreamHeaders = true;
  TMemoryStream m;
  for (Integer red : {60, 120}) {
    Paint(*r.IO.IEBitmap(), red);
    r.IO.SaveToStreamPCX(&m);
    ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  }
  m.SetPosition(0);
  for (Integer red : {60, 120}) {
    r.IO.LoadFromStream(&m);
    ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
    EXPECT_EQ(r.IO.IOParams()->FileType, ioPCX);
    EXPECT_EQ(r.IO.IEBitmap()->GetPixelRGB(0, 0).r, red);
  }
  EXPECT_EQ(m.Position(), m.Size());
}

TEST(ZodivErIOTga, ThirtyTwoBitFilesGiveAnAlphaChannel) {
  // ImageMagick reads a Targa file's rows in stored order whatever its descriptor says: an
  // image written top-down is one it reads as the format means it.
  const std::string file = testsupport::Fixture(
      "io-alpha-topleft.tga",
      "convert -size 6x4 gradient:red-blue -alpha set -channel A -fx 'i/5' +channel -orient TopLeft TGA:{out}");
  TRecordedIO r;
  r.IO.LoadFromFile(W(file));
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  r.ExpectEndedOnce();
  EXPECT_EQ(r.IO.IOParams()->FileType, ioTGA);
  ASSERT_TRUE(r.IO.IEBitmap()->HasAlphaChannel());
  EXPECT_EQ(MaxDifference(*r.IO.IEBitmap(), PamFromCommand("convert " + ShellQuote(file) + " -depth 8 PAM:-"), true),
            0);
  // Saved again, the alpha goes with it.
  const std::string dir = testsupport::MakeTempDir("tgaio");
  r.IO.SaveToFile(W(dir + "/again.tga"));
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  EXPECT_EQ(MaxDifference(*r.IO.IEBitmap(),
                          PamFromCommand("convert " + ShellQuote(dir + "/again.tga") + " -depth 8 PAM:-"), true),
            0);
  testsupport::RemoveTree(dir);
}

}  // namespace
