// Foveon colour reconstruction against values worked out by hand from its formulas, and the
// turn of a diagonal sensor's diamond back upright.
#include <gtest/gtest.h>

#include <random>

#include "imaging/formats/raw/ie_raw_decoders.h"
#include "tests/imaging/formats/raw/raw_test_support.h"

namespace {

void SetPixel(TRawFixture& f, int r, int c, std::array<int, 3> v) {
  for (int k = 0; k < 3; ++k) f.Image[(size_t(r) * f.S->out_width + c) * 4 + k] = Word(v[k]);
}
std::array<int, 3> Pixel(TRawFixture& f, int r, int c) {
  return {f.Sample(r, c, 0), f.Sample(r, c, 1), f.Sample(r, c, 2)};
}

TEST(RawFoveon, CurveLookupBeyondEitherEnd) {
  // Curve B: 20 values, 0, 1, 1, 2, 3, 3, 4, 4, 5, 5, 6, 6, 6, 7 x7.
  std::vector<short> b = {20, 0, 1, 1, 2, 3, 3, 4, 4, 5, 5, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7};
  const std::pair<int, int> cases[] = {{-1000, -8}, {-20, -8}, {-19, -7}, {-3, -2}, {-1, -1}, {0, 0},
                                       {4, 3},      {19, 7},   {20, 8},   {5000, 8}};
  for (auto [i, want] : cases) EXPECT_EQ(foveon_apply_curve(i, b.data()), want) << i;
}

TEST(RawFoveon, UnmixingAndOutputMatrixOnTinyImages) {
  // Too small for sharpening, smoothing and the cast correction: only the unmixing (the first
  // pixel of a row is its own predecessor, the next one differs from it) and the matrix act.
  TRawFixture f({});
  f.Size(1, 2, 1, 2, 0);
  SetPixel(f, 0, 0, {1000, 2000, 3000});
  SetPixel(f, 0, 1, {1500, 1800, 3500});
  foveon_interpolate(*f.S);
  EXPECT_EQ(Pixel(f, 0, 0), (std::array<int, 3>{740, 899, 4098}));
  EXPECT_EQ(Pixel(f, 0, 1), (std::array<int, 3>{2012, 0, 7073}));
}

TEST(RawFoveon, OutputStaysInRangeOnAnyInput) {
  {
    // A flat bright field: the cast correction would lift green past the output range.
    TRawFixture f({});
    f.Size(8, 8, 8, 8, 0);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) SetPixel(f, y, x, {18638, 59069, 56438});
    foveon_interpolate(*f.S);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        for (int c = 0; c < 3; ++c) ASSERT_LE(f.Sample(y, x, c), 24000) << y << "," << x;
  }
  for (auto [h, w] : {std::pair{16, 16}, {7, 3}, {5, 9}, {3, 40}}) {
    TRawFixture f({});
    f.Size(h, w, h, w, 0);
    std::mt19937 r(h * 100 + w);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int kind = r() % 4;
        SetPixel(f, y, x, kind == 0 ? std::array<int, 3>{65535, 65535, 65535}
                        : kind == 1 ? std::array<int, 3>{0, 0, 0}
                                    : std::array<int, 3>{int(r() % 65536), int(r() % 65536), int(r() % 65536)});
      }
    foveon_interpolate(*f.S);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) ASSERT_LE(f.Sample(y, x, c), 24000) << y << "," << x;
  }
}

// A diamond on a black square: row 0 has I black pixels, then colour up to column N.
TIEBitmap* Diamond(int W, int H, int I, int N, TIEPixelFormat Format) {
  auto* b = new TIEBitmap(W, H, Format);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const bool on = y == 0 ? (x >= I && x <= N) : ((x + y) % 3 != 0);
      const int v = on ? 40 + (x * 7 + y * 11) % 200 : 0;
      if (Format == ie24RGB) {
        Byte* p = static_cast<Byte*>(b->GetScanline(y)) + 3 * x;
        p[0] = Byte(v);
        p[1] = Byte(v / 2);
        p[2] = Byte(255 - v);
        if (!on) p[2] = 0;
      } else {
        Word* p = static_cast<Word*>(b->GetScanline(y)) + 3 * x;
        p[0] = Word(v * 257);
        p[1] = Word(v / 2 * 257);
        p[2] = Word(on ? (255 - v) * 257 : 0);
      }
    }
  return b;
}

TEST(RawDiagonal, UprightSizeBlackEdgesAndBothDepths) {
  std::unique_ptr<TIEBitmap> b8(Diamond(10, 7, 4, 7, ie24RGB)), b16(Diamond(10, 7, 4, 7, ieRGB48));
  rotate_back_diagonal8(b8.get());
  rotate_back_diagonal16(b16.get());
  // Width 2n, height 2W - 2i - 4, whatever the source height.
  ASSERT_EQ(b8->GetWidth(), 14);
  ASSERT_EQ(b8->GetHeight(), 8);
  ASSERT_EQ(b8->GetPixelFormat(), ie24RGB);
  ASSERT_EQ(b16->GetWidth(), 14);
  ASSERT_EQ(b16->GetHeight(), 8);
  ASSERT_EQ(b16->GetPixelFormat(), ieRGB48);
  bool some_colour = false;
  for (int y = 0; y < 8; ++y) {
    const Byte* p8 = static_cast<const Byte*>(b8->GetScanline(y));
    const Word* p16 = static_cast<const Word*>(b16->GetScanline(y));
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(p8[c], 0) << "left column, row " << y;
      if (y == 7) {
        for (int x = 0; x < 14; ++x) EXPECT_EQ(p8[x * 3 + c], 0) << "last row";
      }
    }
    for (int k = 0; k < 14 * 3; ++k) {
      some_colour |= p8[k] != 0;
      // The 16-bit samples are the 8-bit ones times 257 up to the averaging's rounding.
      EXPECT_NEAR(p16[k] / 257.0, p8[k], 1.0) << y << "," << k;
    }
  }
  EXPECT_TRUE(some_colour);
}

TEST(RawDiagonal, AllBlackFirstRowGivesAnEmptyImage) {
  std::unique_ptr<TIEBitmap> b(Diamond(10, 7, 10, -1, ie24RGB));
  rotate_back_diagonal8(b.get());
  EXPECT_EQ(b->GetWidth(), 0);
}

}  // namespace
