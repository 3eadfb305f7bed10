#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/view/ie_layer.h"
#include "imaging/view/ie_layer_merge.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/support/fixtures.h"

namespace {

using ietest::TPam;

// Colour and, for a four-sample image, alpha.
void LoadPam(TIEBitmap& B, const TPam& P) {
  B.Allocate(P.Width, P.Height, ie24RGB);
  for (Integer y = 0; y < P.Height; ++y)
    for (Integer x = 0; x < P.Width; ++x) {
      B.SetPixelRGB(x, y, IECreateRGB(Byte(P.At8(x, y, 0)), Byte(P.At8(x, y, 1)), Byte(P.At8(x, y, 2))));
      if (P.Depth == 4) B.GetAlphaChannel()->SetPixelByte(x, y, Byte(P.At8(x, y, 3)));
    }
}

std::unique_ptr<TIELayer> Layer(const TPam& P, Integer X, Integer Y) {
  auto l = std::make_unique<TIELayer>(nullptr, nullptr, false);
  LoadPam(*l->Bitmap, P);
  l->PosX = X;
  l->PosY = Y;
  return l;
}

TEST(LayerMerge, LayersFarApartLeaveATransparentGapOfTheBackground) {
  TPam red{100, 100, 3, 255, std::vector<Integer>(100 * 100 * 3)}, blue{50, 50, 3, 255, std::vector<Integer>(50 * 50 * 3)};
  for (size_t i = 0; i < red.Samples.size(); i += 3) red.Samples[i] = 255;
  for (size_t i = 2; i < blue.Samples.size(); i += 3) blue.Samples[i] = 255;
  auto lower = Layer(red, 0, 0), upper = Layer(blue, 150, 0);
  TIEBitmap dest;
  IEMergeLayerPair(lower.get(), upper.get(), nullptr, &dest, rfNone, 0x00FF00, false);
  ASSERT_EQ(dest.GetWidth(), 200);
  ASSERT_EQ(dest.GetHeight(), 100);
  ASSERT_TRUE(dest.HasAlphaChannel());
  struct TProbe { Integer X, Y; TRGB Colour; Byte Alpha; };
  for (const TProbe& p : {TProbe{0, 0, IECreateRGB(255, 0, 0), 255}, TProbe{99, 99, IECreateRGB(255, 0, 0), 255},
                          TProbe{100, 0, IECreateRGB(0, 255, 0), 0}, TProbe{149, 40, IECreateRGB(0, 255, 0), 0},
                          TProbe{150, 0, IECreateRGB(0, 0, 255), 255}, TProbe{199, 49, IECreateRGB(0, 0, 255), 255},
                          TProbe{170, 50, IECreateRGB(0, 255, 0), 0}}) {
    EXPECT_EQ(dest.GetPixelRGB(p.X, p.Y), p.Colour) << p.X << "," << p.Y;
    EXPECT_EQ(dest.GetAlphaChannel()->GetPixelByte(p.X, p.Y), p.Alpha) << p.X << "," << p.Y;
  }

  // Above the base layer the result starts at the union's corner; a fully covered union is opaque.
  auto a = Layer(red, 10, 10), b = Layer(red, 20, 20);
  a->WidthOverride = a->HeightOverride = 0;
  TIEBitmap pair;
  IEMergeLayerPair(a.get(), b.get(), nullptr, &pair, rfNone, 0, true);
  EXPECT_EQ(pair.GetWidth(), 110);
  EXPECT_EQ(pair.GetHeight(), 110);
  EXPECT_EQ(pair.GetAlphaChannel()->GetPixelByte(105, 5), 0);

  // An upper layer left of the base grows the result on the left; the base content moves right.
  auto base = Layer(red, 0, 0), left = Layer(blue, -5, 0);
  TIEBitmap grown;
  IEMergeLayerPair(base.get(), left.get(), nullptr, &grown, rfNone, 0, false);
  EXPECT_EQ(grown.GetWidth(), 105);
  EXPECT_EQ(grown.GetPixelRGB(104, 99), IECreateRGB(255, 0, 0));
  EXPECT_EQ(grown.GetPixelRGB(0, 0), IECreateRGB(0, 0, 255));
}

// The upper layer, capped by its opacity and its own alpha, over the lower one as ImageMagick
// composites it; the area outside both is transparent.
TEST(LayerMerge, OpacityAndAlphaComposeAsImageMagickDoes) {
  const std::string lowerFile = testsupport::Fixture("merge-lower.ppm", "convert -size 60x40 gradient:orange-navy ppm:{out}");
  const std::string upperFile = testsupport::Fixture(
      "merge-upper.pam", "convert -size 30x30 -seed 3 plasma:fractal \\( -size 30x30 gradient:white-gray20 \\) "
                         "-alpha off -compose copyopacity -composite -depth 8 pam:{out}");
  for (const Integer opacity : {255, 200, 128}) {
    SCOPED_TRACE(opacity);
    auto lower = Layer(ietest::ReadPamFile(lowerFile), 0, 0);
    auto upper = Layer(ietest::ReadPamFile(upperFile), 45, 20);
    upper->Opacity = opacity;
    TIEBitmap dest;
    IEMergeLayerPair(lower.get(), upper.get(), nullptr, &dest, rfNone, 0, false);
    const std::string scale = std::to_string(opacity * 100.0 / 255.0);
    const TPam expected = ietest::PamFromCommand(
        "convert -size 75x50 xc:none " + lowerFile + " -geometry +0+0 -compose over -composite \\( " + upperFile +
        " -channel A -evaluate min " + scale + "% +channel \\) -geometry +45+20 -compose over -composite -depth 8 pam:-");
    EXPECT_LE(ietest::MaxDifference(dest, expected, true), 1);
  }
}

TEST(LayerMerge, LayersAreScaledToTheirDisplaySizeFirst) {
  TPam white{10, 10, 3, 255, std::vector<Integer>(300, 255)};
  auto lower = Layer(white, 0, 0);
  auto upper = Layer(white, 0, 0);
  upper->WidthOverride = 30;
  upper->HeightOverride = 20;
  TIEBitmap dest;
  IEMergeLayerPair(lower.get(), upper.get(), nullptr, &dest, rfNone, 0, false);
  EXPECT_EQ(dest.GetWidth(), 30);
  EXPECT_EQ(dest.GetHeight(), 20);
  EXPECT_EQ(upper->Bitmap->GetWidth(), 30);
  EXPECT_FALSE(dest.HasAlphaChannel());
}

}  // namespace
