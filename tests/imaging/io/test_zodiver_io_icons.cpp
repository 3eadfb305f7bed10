// The icon, cursor and WBMP load and save methods of the I/O component, and the content tests of
// icons and cursors in format detection, against icotool and netpbm.
#include <gtest/gtest.h>

#include "imaging/io/ie_format_detection.h"
#include "tests/imaging/io/io_test_util.h"

using namespace ietest;
using testsupport::Fixture;
using testsupport::RunOk;
using testsupport::ShellQuote;

namespace {

// Through the I/O component: the sizes of the parameters up to the first of width 0, the icon
// and cursor loads by extension, and the content test of each.
TEST(ZodivErIOIcons, TheIOComponentSavesAndLoadsIconsAndCursors) {
  const std::string dir = testsupport::MakeTempDir("icoio");
  iotest::TRecordedIO r;
  r.IO.LoadFromFile(iotest::W(iotest::SourcePPM()));
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  TIOParamsVals* p = r.IO.IOParams();
  p->IcoSizes[0][0] = p->IcoSizes[0][1] = 64;
  p->IcoSizes[1][0] = p->IcoSizes[1][1] = 32;
  p->IcoSizes[2][0] = p->IcoSizes[2][1] = 0;
  p->IcoSizes[3][0] = p->IcoSizes[3][1] = 16;
  p->IcoBitCount[0] = 32;
  p->IcoBitCount[1] = 8;
  const std::string path = dir + "/two.ico";
  r.Clear();
  r.IO.SaveToFile(iotest::W(path));
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  r.ExpectEndedOnce();
  EXPECT_EQ(RunOk("icotool -l " + ShellQuote(path)),
            "--icon --index=1 --width=64 --height=64 --bit-depth=32 --palette-size=0\n"
            "--icon --index=2 --width=32 --height=32 --bit-depth=8 --palette-size=256\n");
  p->IcoImageIndex = 1;
  r.IO.LoadFromFile(iotest::W(path));
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  EXPECT_EQ(p->FileType, ioICO);
  EXPECT_EQ(r.IO.IEBitmap()->GetWidth(), 32);
  p->IcoImageIndex = 2;
  r.IO.LoadFromFile(iotest::W(path));
  EXPECT_TRUE(r.IO.Aborting);
  EXPECT_NE(r.IO.FailureReason().find("image 2 was asked for"), std::string::npos) << r.IO.FailureReason();

  const std::string cur = Fixture("ico-io.cur", "convert -size 20x20 gradient:red-blue \\( -size 20x20 xc:black -fill white -draw 'circle 10,10 10,2' \\) -alpha off -compose copy_opacity -composite -threshold 50% -channel A -threshold 50% +channel {out}.png && icotool -c --cursor -X 7 -Y 2 -b 1 -o {out} {out}.png");
  r.IO.LoadFromFile(iotest::W(cur));
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  EXPECT_EQ(p->FileType, ioCUR);
  EXPECT_EQ(p->CurXHotSpot, 7);
  EXPECT_TRUE(r.IO.IEBitmap()->HasAlphaChannel());
  EXPECT_EQ(FindFileFormat(iotest::W(cur), true), ioCUR);
  TMemoryStream m;
  FillStream(m, ReadWholeFile(cur));
  EXPECT_EQ(FindStreamFormat(&m), ioCUR);
  FillStream(m, ReadWholeFile(path));
  EXPECT_EQ(FindStreamFormat(&m), ioICO);
  EXPECT_EQ(m.Position(), 0);
  p->IcoImageIndex = 0;
  r.IO.ParamsFromStream(&m);
  EXPECT_EQ(p->FileType, ioICO);
  EXPECT_EQ(p->Width, 64);
  testsupport::RemoveTree(dir);
}

// Through the I/O component: by extension, by id and from a stream, with the finish event.
TEST(ZodivErIOWbmp, TheIOComponentSavesAndLoadsWbmp) {
  const std::string dir = testsupport::MakeTempDir("wbmpio");
  iotest::TRecordedIO r;
  r.IO.LoadFromFile(iotest::W(iotest::SourcePPM()));
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  const std::string path = dir + "/frame.wbmp";
  r.IO.SaveToFile(iotest::W(path));
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  EXPECT_EQ(r.IO.IOParams()->FileType, ioWBMP);
  testsupport::RunOk("wbmptopbm " + ShellQuote(path) + " > /dev/null");
  r.Clear();
  r.IO.LoadFromFile(iotest::W(path));
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  r.ExpectEndedOnce();
  EXPECT_EQ(r.IO.IEBitmap()->GetWidth(), 23);
  EXPECT_EQ(r.IO.IEBitmap()->GetPixelFormat(), ie1g);
  EXPECT_EQ(MaxDifference(*r.IO.IEBitmap(), PamFromCommand("wbmptopbm " + ShellQuote(path) + " | pamdepth 255 2>/dev/null")), 0);
  // The content of a WBMP says nothing of its format: a stream load needs the id.
  TMemoryStream m;
  FillStream(m, ReadWholeFile(path));
  r.IO.LoadFromStreamFormat(&m, ioWBMP);
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  EXPECT_EQ(r.IO.IEBitmap()->GetHeight(), 13);
  FillStream(m, {0, 0, 5});
  r.IO.LoadFromStreamWBMP(&m);
  EXPECT_TRUE(r.IO.Aborting);
  EXPECT_NE(r.IO.FailureReason(), "");
  testsupport::RemoveTree(dir);
}

}  // namespace
