// The Gaussian blur of grey rectangles against a python3 reference of the same fixed-point
// arithmetic, its kernel sizes, the soft shadow built on it, and the core's drop shadow that
// borrows it.
#include <gtest/gtest.h>

#include <random>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_drawing.h"
#include "imaging/core/ie_processing_services.h"
#include "imaging/proc/ie_blur.h"
#include "imaging/proc/ie_proc_services.h"
#include "platform/gui/bitmap.h"
#include "tests/imaging/proc/proc_images.h"
#include "tests/support/fixtures.h"

namespace {

TEST(ProcBlur, KernelTapsFollowFromTheRounding) {
  const struct {
    double Radius;
    Integer Taps;
  } cases[] = {{1, 4}, {2, 9}, {2.5, 11}, {10, 41}, {40, 100}, {0.1, 1}};
  for (const auto& c : cases) {
    TIEGaussKernel k;
    IEBuildGaussKernel(k, c.Radius);
    EXPECT_EQ(k.Radius, c.Taps) << c.Radius;
    Integer sum = 0;
    for (Integer w : k.Weights) sum += w;
    EXPECT_NEAR(sum, 65536, 101) << c.Radius;
  }
}

TEST(ProcBlur, RectanglesMatchTheReferenceByteForByte) {
  const Integer W = 53, H = 37;
  std::mt19937 rng(3);
  std::vector<Byte> grey(size_t(W) * H);
  for (Byte& v : grey) v = Byte(rng());
  const std::string dir = testsupport::MakeTempDir("blur");
  proctest::WriteFile(dir + "/in.g", grey);
  const struct {
    double Radius;
    Integer X1, Y1, X2, Y2;  // as passed: clamped into the image by the routine
  } cases[] = {{1, 0, 0, 52, 36}, {2.5, 5, 4, 40, 30}, {10, -3, 2, 70, 20}, {0.7, 10, 10, 10, 30}};
  for (const auto& c : cases) {
    TIEBitmap image;
    proctest::Unpack(image, W, H, ie8g, grey);
    IEBlurGrayRect(&image, c.X1, c.Y1, c.X2, c.Y2, c.Radius);
    const Integer x1 = std::max(c.X1, 0), x2 = std::min(c.X2, W - 1);
    const Integer y1 = std::max(c.Y1, 0), y2 = std::min(c.Y2, H - 1);
    std::ostringstream args;
    args << " blur " << W << " " << H << " " << c.Radius << " " << x1 << " " << y1 << " " << x2 << " " << y2 << " "
         << dir << "/in.g " << dir << "/out.g";
    testsupport::RunOk(proctest::ReferenceScript() + args.str());
    EXPECT_TRUE(proctest::Packed(image) == proctest::ReadFile(dir + "/out.g")) << "radius " << c.Radius;
  }
  testsupport::RemoveTree(dir);
}

TEST(ProcBlur, NothingChangesWithoutAPositiveRadiusOrOutsideGrey) {
  TIEBitmap grey(20, 10, ie8g);
  grey.Fill(0);
  grey.FillRect(5, 3, 14, 6, 200);
  TIEBitmap before;
  before.Assign(&grey);
  for (double r : {0.0, -1.0, std::nan("")}) IEBlurGrayRect(&grey, 0, 0, 19, 9, r);
  EXPECT_TRUE(proctest::Packed(grey) == proctest::Packed(before));
  // A uniform rectangle stays as it is: the dark pixels round it are not part of the blur.
  IEBlurGrayRect(&grey, 5, 3, 14, 6, 3);
  EXPECT_TRUE(proctest::Packed(grey) == proctest::Packed(before));
  TIEBitmap colour(8, 8, ie24RGB);
  colour.Fill(0);
  colour.SetPixelRGB(4, 4, TRGB{255, 255, 255});
  IEBlurGrayRect(&colour, 0, 0, 7, 7, 2);
  EXPECT_EQ(colour.GetPixelRGB(4, 4), (TRGB{255, 255, 255}));
}

// An object (alpha 255 in its box) on a transparent ground in a bitmap with room round it.
struct ShadowScene {
  TIEBitmap Image{60, 50, ie24RGB};
  ShadowScene(TIEPixelFormat Format = ie24RGB) {
    Image.Allocate(60, 50, Format);
    Image.Fill(Format == ie1g ? 1 : 0xFFFFFF);
    TIEBitmap* alpha = Image.GetAlphaChannel();
    alpha->Fill(0);
    alpha->FillRect(20, 15, 39, 34, 255);
  }
  Byte Alpha(Integer X, Integer Y) { return Image.GetAlphaChannel()->GetPixelByte(X, Y); }
};

TEST(ProcSoftShadow, MarginsAndTheShadowOutsideTheObject) {
  const TRGB shadowColour{10, 20, 30};
  {
    ShadowScene s;
    EXPECT_EQ(IEAddSoftShadow(&s.Image, 2, 4, -3, 100, shadowColour, 20, 15, 39, 34), 18);
  }
  {
    ShadowScene s;
    EXPECT_EQ(IEAddSoftShadow(&s.Image, 0, 0, 0, 100, shadowColour, 20, 15, 39, 34), 10);
    EXPECT_EQ(s.Alpha(30, 25), 255);  // inside the object nothing changes
    EXPECT_EQ(s.Image.GetPixelRGB(30, 25), (TRGB{255, 255, 255}));
    // The 3 x 3 box blur: next to the side a third of the object's edge reaches out.
    EXPECT_EQ(s.Alpha(19, 25), 85);
    EXPECT_EQ(s.Image.GetPixelRGB(19, 25), shadowColour);
    EXPECT_EQ(s.Alpha(17, 25), 0);
  }
  // Intensity 100 keeps the blurred alpha as it is outside the object, 0 divides it by 3.
  Byte full = 0, faint = 0;
  for (Integer intensity : {100, 0}) {
    ShadowScene s;
    EXPECT_EQ(IEAddSoftShadow(&s.Image, 2, 3, 3, intensity, shadowColour, 20, 15, 39, 34), 16);
    (intensity ? full : faint) = s.Alpha(42, 37);
    EXPECT_EQ(s.Alpha(30, 25), 255);
    EXPECT_FALSE(s.Image.GetAlphaChannel()->Full);
  }
  EXPECT_GT(full, 20);
  EXPECT_EQ(faint, full / 3);
}

TEST(ProcSoftShadow, OneBitImagesGetBlackShadowPixels) {
  ShadowScene s(ie1g);
  IEAddSoftShadow(&s.Image, 2, 2, 2, 100, TRGB{}, 20, 15, 39, 34);
  EXPECT_FALSE(IEGetBit(static_cast<Byte*>(s.Image.GetScanline(36)), 41));
  EXPECT_TRUE(IEGetBit(static_cast<Byte*>(s.Image.GetScanline(25)), 30));
  EXPECT_TRUE(IEGetBit(static_cast<Byte*>(s.Image.GetScanline(2)), 2));
}

// The view's drop shadow: graded by the blur, not a hard dark band.
TEST(ProcSoftShadow, TheCoresDropShadowIsBlurred) {
  const TIEProcessingServices saved = IEProcessingServices;
  IERegisterProcessingServices();
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(60, 50);
  for (Integer y = 0; y < 50; ++y) {
    Byte* row = static_cast<Byte*>(b.ScanLine(y));
    std::fill(row, row + 180, Byte(200));
  }
  IEDrawSoftShadow(&b, 10, 10, 39, 29, 0);
  IEProcessingServices = saved;
  const auto blue = [&](Integer x, Integer y) { return static_cast<Byte*>(b.ScanLine(y))[3 * x]; };
  // Without the blur the band 2 pixels wide right of the box would be black and the rest
  // untouched.
  EXPECT_GT(blue(40, 20), 0);
  EXPECT_LT(blue(40, 20), blue(42, 20));
  EXPECT_LT(blue(42, 20), blue(44, 20));
  EXPECT_LT(blue(43, 20), 200);
  EXPECT_EQ(blue(20, 20), 200);
}

}  // namespace
