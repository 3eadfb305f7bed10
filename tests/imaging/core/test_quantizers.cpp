// Exact palettes, grey ramps, the box and neural-net quantizers, and their quality measured
// against ImageMagick's own colour reduction of the same photo-like picture.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_box_quantizer.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_neuquant.h"
#include "imaging/core/ie_quantizer.h"
#include "platform/gui/bitmap.h"
#include "tests/support/fixtures.h"

namespace {

std::unique_ptr<TIEBitmap> ReadPPM(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, maxval = 0;
  in >> magic >> w >> h >> maxval;
  in.get();
  EXPECT_EQ(magic, "P6");
  EXPECT_EQ(maxval, 255);
  auto bmp = std::make_unique<TIEBitmap>(w, h, ie24RGB);
  std::vector<unsigned char> row(static_cast<size_t>(w) * 3);
  for (int y = 0; y < h; ++y) {
    in.read(reinterpret_cast<char*>(row.data()), static_cast<std::streamsize>(row.size()));
    TRGB* dst = static_cast<TRGB*>(bmp->GetScanline(y));
    for (int x = 0; x < w; ++x) dst[x] = IECreateRGB(row[3 * x], row[3 * x + 1], row[3 * x + 2]);
  }
  EXPECT_TRUE(in.good());
  return bmp;
}

// Mean absolute channel difference between two images of the same size.
double MeanError(TIEBitmap* a, TIEBitmap* b) {
  double sum = 0;
  for (Integer y = 0; y < a->GetHeight(); ++y) {
    std::vector<TRGB> ra(static_cast<TRGB*>(a->GetScanline(y)), static_cast<TRGB*>(a->GetScanline(y)) + a->GetWidth());
    const TRGB* rb = static_cast<TRGB*>(b->GetScanline(y));
    for (Integer x = 0; x < a->GetWidth(); ++x)
      sum += std::abs(ra[size_t(x)].r - rb[x].r) + std::abs(ra[size_t(x)].g - rb[x].g) + std::abs(ra[size_t(x)].b - rb[x].b);
  }
  return sum / (3.0 * a->GetWidth() * a->GetHeight());
}

// Our reduction: every pixel replaced by its palette entry. Also answers the colours used.
std::unique_ptr<TIEBitmap> Reduce(TIEBitmap* source, Integer colors, Integer& used) {
  TRGB palette[256] = {};
  TIEQuantizer q(source, palette, colors);
  auto out = std::make_unique<TIEBitmap>(source->GetWidth(), source->GetHeight(), ie24RGB);
  std::set<Integer> indexes;
  for (Integer y = 0; y < source->GetHeight(); ++y) {
    std::vector<TRGB> row(static_cast<TRGB*>(source->GetScanline(y)),
                          static_cast<TRGB*>(source->GetScanline(y)) + source->GetWidth());
    TRGB* dst = static_cast<TRGB*>(out->GetScanline(y));
    for (Integer x = 0; x < source->GetWidth(); ++x) {
      Integer i = q.RGBIndex(row[size_t(x)]);
      EXPECT_GE(i, 0);
      EXPECT_LT(i, colors);
      indexes.insert(i);
      dst[x] = palette[i];
    }
  }
  used = static_cast<Integer>(indexes.size());
  return out;
}

std::string PhotoFixture() {
  return testsupport::Fixture("quantizer-photo.ppm",
                              "convert -seed 7 -size 120x90 plasma:fractal -blur 0x1.5 -depth 8 PPM:{out}");
}

TEST(IEQuantizer, ExactPaletteGreyRampAndMethodChoice) {
  TIEBitmap four(3, 2, ie24RGB);
  const TRGB colors[6] = {IECreateRGB(255, 0, 0), IECreateRGB(0, 255, 0), IECreateRGB(255, 0, 0),
                          IECreateRGB(0, 0, 255), IECreateRGB(9, 9, 8), IECreateRGB(0, 255, 0)};
  for (Integer y = 0; y < 2; ++y)
    for (Integer x = 0; x < 3; ++x) static_cast<TRGB*>(four.GetScanline(y))[x] = colors[y * 3 + x];
  TRGB palette[256] = {};
  {
    TIEQuantizer q(&four, palette, 4);
    EXPECT_EQ(q.Method(), -1);
    const TRGB order[4] = {colors[0], colors[1], colors[3], colors[4]};
    for (Integer i = 0; i < 4; ++i) {
      EXPECT_EQ(palette[i], order[i]) << i;
      EXPECT_EQ(q.RGBIndex(order[i]), i);
    }
    EXPECT_EQ(q.RGBIndex(IECreateRGB(1, 2, 3)), -1);
  }
  {
    TIEQuantizer q(&four, palette, 3);  // one colour too many: a quantizer is made
    EXPECT_EQ(q.Method(), 1);
  }

  TIEBitmap grey(16, 1, ie8g);
  TIEQuantizer g(&grey, palette, 16);
  EXPECT_TRUE(g.GrayScale());
  for (Integer i = 0; i < 16; ++i) EXPECT_EQ(palette[i], IECreateRGB(Byte(16 * i), Byte(16 * i), Byte(16 * i)));
  EXPECT_EQ(g.RGBIndex(IECreateRGB(255, 0, 0)), 15);

  auto photo = ReadPPM(PhotoFixture());
  EXPECT_EQ(TIEQuantizer(photo.get(), palette, 127).Method(), 1);
  EXPECT_EQ(TIEQuantizer(photo.get(), palette, 128).Method(), 0);
  Integer saved = IEQuantizerMethod;
  IEQuantizerMethod = 7;  // an unknown selector builds the net and must answer with it too
  Integer used = 0;
  Reduce(photo.get(), 32, used);
  EXPECT_GT(used, 16);
  IEQuantizerMethod = saved;
}

TEST(IEQuantizer, BoxSplittingPaletteAndBoxes) {
  auto photo = ReadPPM(PhotoFixture());
  TRGB palette[256];
  for (TRGB& p : palette) p = IECreateRGB(1, 2, 3);
  TIEBoxQuantizer box(photo.get(), palette, 16);
  EXPECT_EQ(box.BoxCount(), 16);
  for (Integer i = 0; i < 16; ++i) {
    for (Byte c : {palette[i].r, palette[i].g, palette[i].b}) {
      EXPECT_EQ(c % 8, 0);
      EXPECT_LE(c, 248);
    }
    const TIEColorBox& b = box.Box(i);
    EXPECT_GT(b.Count, 0);
    for (int ch = 0; ch < 3; ++ch) EXPECT_LT(b.Low[ch], b.High[ch]);
    // Every colour inside a box maps to that box.
    TRGB inside = IECreateRGB(Byte(b.Low[0] * 8), Byte(b.Low[1] * 8), Byte(b.Low[2] * 8));
    EXPECT_EQ(box.Index(inside), i);
  }
  EXPECT_EQ(palette[16], IECreateRGB(1, 2, 3));  // entries beyond the boxes stay

  // A framework bitmap with the same pixels, packed or not, gives the same palette.
  for (TPixelFormat format : {pf24bit, pf32bit}) {
    TBitmap vcl;
    vcl.SetPixelFormat(pf24bit);
    vcl.SetSize(photo->GetWidth(), photo->GetHeight());
    for (Integer y = 0; y < photo->GetHeight(); ++y)
      std::memcpy(vcl.ScanLine(y), photo->GetScanline(y), size_t(photo->GetWidth()) * 3);
    vcl.SetPixelFormat(format);
    TRGB other[256];
    TIEBoxQuantizer fromVcl(&vcl, other, 16);
    ASSERT_EQ(fromVcl.BoxCount(), 16);
    for (Integer i = 0; i < 16; ++i) EXPECT_EQ(other[i], palette[i]) << i;
  }

  // Two colours one cell apart in red only cannot be cut along green or blue; a request for 8
  // ends with the 2 boxes that can exist.
  TIEBitmap two(4, 1, ie24RGB);
  TRGB* row = static_cast<TRGB*>(two.GetScanline(0));
  row[0] = row[1] = IECreateRGB(0, 100, 100);
  row[2] = row[3] = IECreateRGB(8, 100, 100);
  TIEBoxQuantizer small(&two, palette, 8);
  EXPECT_EQ(small.BoxCount(), 2);
  EXPECT_NE(small.Index(row[0]), small.Index(row[2]));
}

TEST(IEQuantizer, NeuralNetSamplingAndTinyImages) {
  EXPECT_EQ(TIENeuQuant::FactorFor(-1, 1999), 1);
  EXPECT_EQ(TIENeuQuant::FactorFor(-1, 640 * 480), 29);
  EXPECT_EQ(TIENeuQuant::FactorFor(100, 0), 1);
  EXPECT_EQ(TIENeuQuant::FactorFor(0, 0), 30);
  EXPECT_EQ(TIENeuQuant::StepFor(499 * 3), 491);
  EXPECT_EQ(TIENeuQuant::StepFor(300), 499);
  EXPECT_EQ(TIENeuQuant::StepFor(Int64(499) * 491 * 487 * 3), 503);

  TRGB palette[256];
  TIEBitmap line(499, 1, ie24RGB);
  for (Integer x = 0; x < 499; ++x) static_cast<TRGB*>(line.GetScanline(0))[x] = IECreateRGB(Byte(x), 0, Byte(255 - x));
  TIENeuQuant net(&line, palette, 200, -1);
  EXPECT_EQ(net.PixelStep(), 491);
  // Smaller than one step: every sample stays inside the image.
  TIEBitmap tiny(3, 2, ie24RGB);
  for (Integer y = 0; y < 2; ++y)
    for (Integer x = 0; x < 3; ++x) static_cast<TRGB*>(tiny.GetScanline(y))[x] = IECreateRGB(Byte(80 * x), Byte(200 * y), 50);
  TIENeuQuant small(&tiny, palette, 130, 100);
  Integer i = small.Index(IECreateRGB(160, 200, 50));
  EXPECT_GE(i, 0);
  EXPECT_LT(i, 130);
}

// Quality bound: on the same picture our mean error stays within a stated factor of
// ImageMagick's "-colors N" (no dithering on either side).
TEST(IEQuantizer, QualityBoundedAgainstImageMagick) {
  std::string source = PhotoFixture();
  auto photo = ReadPPM(source);
  struct {
    Integer colors;
    double factor;
  } cases[] = {{16, 1.5}, {64, 1.5}, {200, 1.6}};
  for (auto c : cases) {
    std::string theirsPath = testsupport::Fixture(
        "quantizer-photo-im" + std::to_string(c.colors) + ".ppm",
        "convert " + testsupport::ShellQuote(source) + " -dither None -colors " + std::to_string(c.colors) +
            " -depth 8 PPM:{out}");
    auto theirs = ReadPPM(theirsPath);
    Integer used = 0;
    auto ours = Reduce(photo.get(), c.colors, used);
    double ourError = MeanError(photo.get(), ours.get()), theirError = MeanError(photo.get(), theirs.get());
    EXPECT_LE(ourError, c.factor * theirError) << c.colors << " colours: ours " << ourError << ", ImageMagick "
                                               << theirError;
    EXPECT_GT(used, c.colors / 2) << c.colors;
    std::printf("%d colours: mean error ours %.3f, ImageMagick %.3f\n", c.colors, ourError, theirError);
  }
}

}  // namespace
