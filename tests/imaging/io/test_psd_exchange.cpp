// Photoshop files through the I/O component: their layers go into an attached view (replacing
// or following its layers, with a transparent canvas under an offset first layer), a single
// layer's transparency lands at its place in the merged image, the view's layers are saved as
// the file's layers, and files and streams are recognised by their content.
#include <gtest/gtest.h>

#include "imaging/formats/psd/ie_psd.h"
#include "imaging/io/ie_format_detection.h"
#include "imaging/view/ie_layer.h"
#include "tests/imaging/io/io_test_util.h"
#include "tests/imaging/view/view_test_fixture.h"

using namespace ietest;
using testsupport::Fixture;
using testsupport::ShellQuote;

namespace {

std::string Png(const std::string& Name, const std::string& Recipe) { return Fixture(Name, "convert " + Recipe + "{out}"); }

// A composite and three layers; the first at (0, 0) when Flush, else at (10, 20).
std::string ThreeLayers(bool Flush) {
  const std::string base = Png("psdx-base.png", "-size 16x8 gradient:red-blue -depth 8 PNG24:");
  const std::string half = Png("psdx-half.png", "-size 5x4 gradient:'rgba(0,255,0,0.5)'-'rgba(9,9,9,0.9)' -depth 8 PNG32:");
  const std::string solid = Png("psdx-solid.png", "-size 6x3 xc:yellow -depth 8 PNG24:");
  const std::string first = Flush ? ShellQuote(base) : "\\( " + ShellQuote(solid) + " -repage +10+20 \\)";
  return Fixture(Flush ? "psdx-three-flush.psd" : "psdx-three-offset.psd",
                 "convert " + ShellQuote(base) + " " + first + " \\( " + ShellQuote(half) + " -repage +3+2 \\) \\( " +
                     ShellQuote(solid) + " -repage +9+4 \\) PSD:{out}");
}

TPam ToolLayer(const std::string& File, Integer Index) {
  return PamFromCommand("convert " + ShellQuote(File) + "[" + std::to_string(Index) + "] -depth 8 PAM:-");
}

struct PsdExchange : viewtest::ViewTest {
  TZodivErIO* IO = nullptr;
  void SetUp() override {
    viewtest::ViewTest::SetUp();
    iotest::EnsureIOUnit();
    IO = View->IOComponent();
  }
  void Load(const std::string& File, bool Layers, bool Replace) {
    IO->IOParams()->PsdLoadLayers = Layers;
    IO->IOParams()->PsdReplaceLayers = Replace;
    IO->LoadFromFile(AnsiToWide(File));
    ASSERT_FALSE(IO->Aborting.load()) << IO->FailureReason();
  }
  void ExpectLayer(Integer ViewIndex, const std::string& File, Integer ToolIndex, Integer X, Integer Y) {
    SCOPED_TRACE(ViewIndex);
    TIELayer* l = View->LayerAt(ViewIndex);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->PosX, X);
    EXPECT_EQ(l->PosY, Y);
    const TPam pam = ToolLayer(File, ToolIndex);
    EXPECT_EQ(MaxDifference(*l->Bitmap, pam, pam.Depth == 4), 0);
  }
};

TEST_F(PsdExchange, LayersReplaceOrFollowTheViewsLayers) {
  const std::string flush = ThreeLayers(true);
  ShowPlain(30, 20, clRed);
  View->AddLayer();
  Load(flush, true, true);
  ASSERT_EQ(View->LayerCount(), 3);
  ExpectLayer(0, flush, 1, 0, 0);
  ExpectLayer(1, flush, 2, 3, 2);
  ExpectLayer(2, flush, 3, 9, 4);
  EXPECT_EQ(IO->IOParams()->FileType, ioPSD);

  // Appended: the view's two layers stay first.
  while (View->LayerCount() > 1) View->RemoveLayer(View->LayerCount() - 1);
  View->SetCurrentLayer(0);
  ShowPlain(30, 20, clRed);
  View->AddLayer();
  Load(flush, true, false);
  ASSERT_EQ(View->LayerCount(), 5);
  EXPECT_EQ(View->LayerAt(0)->Bitmap->GetWidth(), 30);
  ExpectLayer(2, flush, 1, 0, 0);
  ExpectLayer(4, flush, 3, 9, 4);

  // An offset first layer gets a transparent canvas of the file's size beneath it.
  const std::string offset = ThreeLayers(false);
  Load(offset, true, true);
  ASSERT_EQ(View->LayerCount(), 4);
  TIELayer* canvas = View->LayerAt(0);
  EXPECT_EQ(canvas->Bitmap->GetWidth(), 16);
  EXPECT_EQ(canvas->Bitmap->GetHeight(), 8);
  EXPECT_TRUE(canvas->NoResize);
  ASSERT_TRUE(canvas->Bitmap->HasAlphaChannel());
  EXPECT_EQ(canvas->Bitmap->GetAlphaValue(7, 3), 0);
  ExpectLayer(1, offset, 1, 10, 20);

  // Without layer loading the merged image is what the view shows.
  Load(offset, false, true);
  EXPECT_EQ(MaxDifference(*View->IEBitmap(), ToolLayer(offset, 0)), 0);
}

TEST_F(PsdExchange, OneLayersTransparencyLandsAtItsPlace) {
  // A merged image of 8 x 6 and its only layer, 3 x 2 at Place, transparent in its first column.
  const std::string dir = testsupport::MakeTempDir("psdx");
  for (const TPoint place : {TPoint{2, 3}, TPoint{6, 5}, TPoint{-2, -1}, TPoint{40, 40}}) {
    SCOPED_TRACE(std::to_string(place.X) + "," + std::to_string(place.Y));
    TIEBitmap merged(8, 6, ie24RGB);
    merged.Fill(0x336699);
    TIEPSDLayers layers;
    layers.push_back(std::make_unique<TIEPSDLayer>());
    TIEPSDLayer& l = *layers.back();
    l.Owned = std::make_unique<TIEBitmap>(3, 2, ie24RGB);
    l.Bitmap = l.Owned.get();
    l.Bitmap->Fill(0x00FF00);
    for (Integer y = 0; y < 2; ++y)
      for (Integer x = 0; x < 3; ++x) l.Bitmap->GetAlphaChannel()->SetPixelByte(x, y, x == 0 ? 0 : 200);
    l.PosX = place.X;
    l.PosY = place.Y;
    TIOParamsVals params(nullptr);
    TProgressProbe probe;
    TMemoryStream m;
    WritePSDStream(&m, params, probe.Progress, &merged, layers);
    ASSERT_FALSE(probe.Failed()) << probe.Reason;
    const std::string file = dir + "/one.psd";
    WriteFileBytes(file, StreamBytes(m));
    Load(file, false, true);
    TIEBitmap* image = View->IEBitmap();
    ASSERT_EQ(image->GetWidth(), 8);
    ASSERT_TRUE(image->HasAlphaChannel());
    for (Integer y = 0; y < 6; ++y)
      for (Integer x = 0; x < 8; ++x) {
        const bool inside = x >= place.X && x < place.X + 3 && y >= place.Y && y < place.Y + 2;
        const Integer expected = inside ? (x == place.X ? 0 : 200) : 0;
        ASSERT_EQ(image->GetAlphaValue(x, y), expected) << x << "," << y;
      }
  }
  testsupport::RemoveTree(dir);
}

TEST_F(PsdExchange, SavesWriteTheViewsLayersOrTheImage) {
  const std::string dir = testsupport::MakeTempDir("psds");
  const std::string flush = ThreeLayers(true);
  Load(flush, true, true);
  // A layer shown larger than its bitmap is written at its shown size, and the merged picture
  // grows to hold it; the view keeps its own bitmap.
  View->LayerAt(2)->WidthOverride = 12;
  View->LayerAt(2)->HeightOverride = 6;
  const std::string saved = dir + "/saved.psd";
  IO->SaveToFile(AnsiToWide(saved));
  ASSERT_FALSE(IO->Aborting.load()) << IO->FailureReason();
  EXPECT_EQ(View->LayerAt(2)->Bitmap->GetWidth(), 6);
  EXPECT_EQ(testsupport::RunOk("identify -format '%wx%h%X%Y;' " + ShellQuote(saved)),
            "21x10+0+0;16x8+0+0;5x4+3+2;12x6+9+4;");
  TIEBitmap drawn;
  View->DrawLayersTo(&drawn);
  EXPECT_EQ(MaxDifference(drawn, ToolLayer(saved, 0)), 0);
  EXPECT_EQ(MaxDifference(*View->LayerAt(1)->Bitmap, ToolLayer(saved, 2)), 0);

  // Without a view: the component's image as the only layer.
  iotest::TRecordedIO plain;
  plain.IO.LoadFromFile(AnsiToWide(iotest::SourcePPM()));
  const std::string flat = dir + "/flat.psd";
  plain.IO.SaveToFile(AnsiToWide(flat));
  ASSERT_FALSE(plain.IO.Aborting.load()) << plain.IO.FailureReason();
  EXPECT_EQ(testsupport::RunOk("identify -format '%wx%h;' " + ShellQuote(flat)), "23x13;23x13;");
  EXPECT_EQ(MaxDifference(*plain.IO.IEBitmap(), ToolLayer(flat, 0)), 0);

  // Recognised by content, from a file of another name and from a stream.
  const std::string renamed = dir + "/photo.bin";
  WriteFileBytes(renamed, ReadWholeFile(flat));
  EXPECT_EQ(FindFileFormat(AnsiToWide(renamed), false), ioPSD);
  TMemoryStream m;
  FillStream(m, ReadWholeFile(flat));
  iotest::TRecordedIO fromStream;
  fromStream.IO.LoadFromStream(&m);
  ASSERT_FALSE(fromStream.IO.Aborting.load()) << fromStream.IO.FailureReason();
  EXPECT_EQ(MaxDifference(*fromStream.IO.IEBitmap(), *plain.IO.IEBitmap()), 0);
  fromStream.IO.ParamsFromFile(AnsiToWide(flat));
  EXPECT_EQ(fromStream.IO.IOParams()->Width, 23);
  EXPECT_EQ(fromStream.IO.IOParams()->FileType, ioPSD);
  testsupport::RemoveTree(dir);
}

}  // namespace
