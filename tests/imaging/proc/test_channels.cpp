// Histogram matching against a python3 reference, for 24-bit and 48-bit images, and the byte
// reordering of 24-bit pixels.
#include <gtest/gtest.h>

#include <random>

#include "imaging/core/ie_bitmap.h"
#include "imaging/proc/ie_channels.h"
#include "tests/imaging/proc/proc_images.h"
#include "tests/imaging/proc/proc_test_util.h"
#include "tests/support/fixtures.h"

namespace {

using proctest::Pixel;

TEST(ProcHistogramMatch, ChannelsFollowTheReferenceExactly) {
  TIEBitmap reference, image;
  proctest::LoadPlasma(reference, 40, 30, 21);
  proctest::LoadPlasma(image, 33, 25, 22);
  const std::string dir = testsupport::MakeTempDir("match");
  proctest::WriteFile(dir + "/ref.bgr", proctest::Packed(reference));
  const std::vector<Byte> input = proctest::Packed(image);
  proctest::WriteFile(dir + "/in.bgr", input);
  testsupport::RunOk(proctest::ReferenceScript() + " match 40 30 " + dir + "/ref.bgr 33 25 " + dir + "/in.bgr " + dir +
                     "/out.bgr");
  const std::vector<Byte> expected = proctest::ReadFile(dir + "/out.bgr");

  // The 48-bit image carries the same high bytes with arbitrary low bytes, which do not count;
  // its words come out as the 8-bit result times 257.
  TIEBitmap deep(33, 25, ieRGB48);
  std::mt19937 rng(1);
  for (Integer y = 0; y < 25; ++y)
    for (Integer x = 0; x < 33; ++x) {
      const TRGB c = Pixel(image, x, y);
      deep.SetPixelRGB48(x, y, TRGB48{Word(c.r << 8 | (rng() & 255)), Word(c.g << 8 | (rng() & 255)),
                                      Word(c.b << 8 | (rng() & 255))});
    }
  IEMatchHistograms(&reference, &image);
  EXPECT_TRUE(proctest::Packed(image) == expected);
  IEMatchHistograms(&reference, &deep);
  for (Integer y = 0; y < 25; ++y)
    for (Integer x = 0; x < 33; ++x) {
      const TRGB48 d = deep.GetPixelRGB48(x, y);
      const TRGB c = Pixel(image, x, y);
      ASSERT_EQ(d.r, c.r * 257);
      ASSERT_EQ(d.g, c.g * 257);
      ASSERT_EQ(d.b, c.b * 257);
    }
  testsupport::RemoveTree(dir);
}

TEST(ProcHistogramMatch, BlackReferenceAndFormatsLeftAlone) {
  TIEBitmap black(4, 4, ie24RGB), image;
  black.Fill(0);
  proctest::LoadPlasma(image, 33, 25, 22);
  IEMatchHistograms(&black, &image);
  for (Byte v : proctest::Packed(image)) ASSERT_EQ(v, 0);

  TIEBitmap grey(5, 5, ie8g), reference;
  grey.Fill(90);
  proctest::LoadPlasma(reference, 40, 30, 21);
  IEMatchHistograms(&reference, &grey);
  EXPECT_EQ(grey.GetPixelByte(2, 2), 90);
  TIEBitmap greyReference(5, 5, ie8g), target;
  greyReference.Fill(0);
  proctest::LoadPlasma(target, 33, 25, 22);
  const std::vector<Byte> before = proctest::Packed(target);
  IEMatchHistograms(&greyReference, &target);
  EXPECT_TRUE(proctest::Packed(target) == before);
}

TEST(ProcChannelOrder, LettersPickTheSourceBytes) {
  const struct {
    const char* Order;
    bool Accepted;
    TRGB Result;  // from B 1, G 2, R 3
  } cases[] = {
      {"BGR", true, {1, 2, 3}}, {"RGB", true, {3, 2, 1}}, {"rgb", true, {3, 2, 1}},
      {"GGG", true, {2, 2, 2}}, {"RG", false, {1, 2, 3}}, {"RGX", false, {1, 2, 3}},
  };
  for (const auto& c : cases) {
    TIEBitmap image(3, 2, ie24RGB);
    for (Integer y = 0; y < 2; ++y)
      for (Integer x = 0; x < 3; ++x) image.SetPixelRGB(x, y, TRGB{1, 2, 3});
    std::vector<Integer> progress;
    EXPECT_EQ(IEReorderChannels(&image, c.Order, nullptr, [&](TObject*, Integer p) { progress.push_back(p); }),
              c.Accepted)
        << c.Order;
    EXPECT_EQ(Pixel(image, 2, 1), c.Result) << c.Order;
    if (c.Accepted) {
      EXPECT_EQ(progress, (std::vector<Integer>{0, 50})) << c.Order;
    }
  }
}

}  // namespace
