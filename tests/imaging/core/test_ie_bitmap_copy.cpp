// Copying, filling, geometry and the alpha channel of the image buffer.
#include <gtest/gtest.h>

#include "imaging/core/ie_bitmap.h"
#include "tests/imaging/core/ie_bitmap_test_util.h"
#include "tests/support/fixtures.h"

using namespace ietest;

namespace {

// 10 x 4 ie8g image whose pixel (x, y) holds 10 y + x.
void Numbered(TIEBitmap& b, Integer w = 10, Integer h = 4) {
  ASSERT_TRUE(b.Allocate(w, h, ie8g));
  for (Integer y = 0; y < h; ++y)
    for (Integer x = 0; x < w; ++x) b.SetPixelByte(x, y, Byte(10 * y + x));
}

TEST(BitmapCopy, CopyRectToClipsToBothImages) {
  struct Row {
    const char* name;
    Integer srcX, srcY, destX, destY, w, h;
    // expected destination pixels (x, y, value); 200 is the untouched fill
    std::vector<std::tuple<int, int, int>> probes;
  } table[] = {
      {"plain", 1, 1, 2, 0, 3, 2, {{2, 0, 11}, {4, 1, 23}, {5, 0, 200}, {1, 0, 200}}},
      {"negative dest shifts the source", 0, 0, -5, 0, 8, 1, {{0, 0, 5}, {2, 0, 7}, {3, 0, 200}}},
      {"clipped at the right edge", 0, 0, 4, 2, 10, 10, {{4, 2, 0}, {5, 3, 11}, {3, 2, 200}}},
      {"entirely right of the destination", 0, 0, 6, 0, 3, 3, {{5, 0, 200}, {5, 2, 200}}},
      {"entirely below the destination", 0, 0, 0, 4, 3, 3, {{0, 3, 200}, {2, 3, 200}}},
      {"empty", 0, 0, 0, 0, 0, 5, {{0, 0, 200}}},
  };
  for (const Row& r : table) {
    TIEBitmap src, dst;
    src.Location = dst.Location = ieMemory;
    Numbered(src);
    ASSERT_TRUE(dst.Allocate(6, 4, ie8g));
    dst.Fill(200);
    src.CopyRectTo(&dst, r.srcX, r.srcY, r.destX, r.destY, r.w, r.h);
    for (auto [x, y, v] : r.probes) EXPECT_EQ(dst.GetPixelByte(x, y), v) << r.name << " at " << x << "," << y;
  }
}

TEST(BitmapCopy, CopyRectToByFormatPair) {
  TIEBitmap bw(20, 2, ie1g), bw2(20, 2, ie1g), rgb(20, 2, ie24RGB), grey(20, 2, ie8g);
  bw.Fill(0);
  bw.SetPixelByte(1, 0, 0xAA);  // pixels 8, 10, 12, 14 white
  bw2.Fill(1);
  bw.CopyRectTo(&bw2, 8, 0, 3, 0, 7, 1);  // a run that starts and ends inside bytes
  auto bit = [](TIEBitmap& b, int x, int y) { return (static_cast<Byte*>(b.GetScanline(y))[x >> 3] >> (7 - (x & 7))) & 1; };
  std::vector<int> got;
  for (int x = 0; x < 12; ++x) got.push_back(bit(bw2, x, 0));
  EXPECT_EQ(got, (std::vector<int>{1, 1, 1, 1, 0, 1, 0, 1, 0, 1, 1, 1}));
  EXPECT_EQ(bit(bw2, 0, 1), 1);

  rgb.Fill(clRed);
  bw.CopyRectTo(&rgb, 8, 0, 0, 0, 2, 1);
  EXPECT_EQ(rgb.GetPixelRGB(0, 0), (TRGB{255, 255, 255}));
  EXPECT_EQ(rgb.GetPixelRGB(1, 0), (TRGB{0, 0, 0}));
  EXPECT_EQ(rgb.GetPixelRGB(2, 0), (TRGB{0, 0, 255}));

  grey.Fill(5);
  rgb.CopyRectTo(&grey, 0, 0, 0, 0, 5, 2);  // no rule between these formats
  EXPECT_EQ(grey.GetPixelByte(0, 0), 5);
}

TEST(BitmapCopy, FillWritesEveryRowAndSetsFull) {
  struct Row {
    TIEPixelFormat f;
    double value;
    bool full;
  } table[] = {
      {ie1g, 7, true},     {ie1g, 0, false},       {ie8g, 255, true},     {ie8g, 254, false},
      {ie16g, 65535, true}, {ie32f, 1.0, true},    {ie32f, 0.5, false},   {ie24RGB, clWhite, true},
      {ie24RGB, clRed, false}, {ieRGB48, clWhite, true}, {ieCMYK, clWhite, true}, {ie32RGB, clWhite, true},
  };
  for (const Row& r : table) {
    TIEBitmap b(5, 3, r.f);
    b.Fill(r.value);
    EXPECT_EQ(b.Full, r.full) << int(r.f) << " " << r.value;
    for (Integer y = 0; y < 3; ++y) {
      EXPECT_EQ(b.GetPixelAsRGB(4, y), b.GetPixelAsRGB(0, 0)) << int(r.f);
    }
  }
  TIEBitmap white(5, 3, ie24RGB);
  white.Fill(clWhite);
  EXPECT_EQ(white.GetPixelRGB(0, 2), (TRGB{255, 255, 255}));
  TIEBitmap f(2, 1, ie32f);
  f.Fill(0.25);
  EXPECT_EQ(f.GetPixelSingle(1, 0), 0.25f);
}

TEST(BitmapCopy, FillOfIe32RGBKeepsFourthByteInEveryStore) {
  std::string folder = testsupport::MakeTempDir("fill");
  IETempFolder = folder + "/";
  for (Store s : {Store::Block, Store::File}) {
    StoreScope store(s);
    TIEBitmap b;
    store.Prepare(b);
    ASSERT_TRUE(b.Allocate(3, 4, ie32RGB));
    for (Integer y = 0; y < 4; ++y)
      for (Integer x = 0; x < 3; ++x) b.SetPixelDWord(x, y, DWORD(0x11000000u * DWORD(y + 1)));
    b.UnmapAllRows();
    b.Fill(RGB(1, 2, 3));
    for (Integer y = 0; y < 4; ++y)
      EXPECT_EQ(b.GetPixelDWord(2, y), 0x11000000u * DWORD(y + 1) | 0x010203u) << StoreName(s) << " row " << y;
  }
  IETempFolder.clear();
  testsupport::RemoveTree(folder);
}

TEST(BitmapCopy, FillRectClipsAndKeepsFull) {
  TIEBitmap b(20, 20, ie8g);
  b.Fill(255);
  b.FillRect(-10, -10, 5, 5, 0);
  EXPECT_EQ(b.GetPixelByte(5, 5), 0);
  EXPECT_EQ(b.GetPixelByte(0, 0), 0);
  EXPECT_EQ(b.GetPixelByte(6, 5), 255);
  EXPECT_EQ(b.GetPixelByte(5, 6), 255);
  EXPECT_TRUE(b.Full);  // unchanged, as the rule says
  TIEBitmap f(3, 1, ie32f);
  f.FillRect(0, 0, 2, 0, 0.5);
  EXPECT_EQ(f.GetPixelSingle(1, 0), 0.0f);
  TIEBitmap bw(12, 1, ie1g);
  bw.Fill(0);
  bw.FillRect(3, 0, 9, 0, 1);
  EXPECT_EQ(static_cast<Byte*>(bw.GetScanline(0))[0], 0x1F);
  EXPECT_EQ(static_cast<Byte*>(bw.GetScanline(0))[1], 0xC0);
}

TEST(BitmapCopy, ResizeAlignsImageAndAlpha) {
  TIEBitmap b(100, 100, ie8g);
  b.Fill(9);
  b.GetAlphaChannel()->Fill(200);
  b.Resize(200, 100, 1, 0, 1, 0);
  ASSERT_EQ(b.GetWidth(), 200);
  EXPECT_EQ(b.GetPixelByte(49, 50), 1);
  EXPECT_EQ(b.GetPixelByte(50, 50), 9);
  EXPECT_EQ(b.GetPixelByte(149, 50), 9);
  EXPECT_EQ(b.GetPixelByte(150, 50), 1);
  EXPECT_EQ(b.GetAlphaValue(49, 0), 0);
  EXPECT_EQ(b.GetAlphaValue(50, 0), 200);
  EXPECT_EQ(b.GetAlphaChannel()->GetWidth(), 200);

  TIEBitmap c;
  c.Location = ieMemory;
  Numbered(c, 200, 2);  // values wrap at 256, fine for a position check
  c.Resize(100, 2, 0, 255, 2, 0);
  EXPECT_EQ(c.GetPixelByte(0, 0), Byte(100));
  EXPECT_EQ(c.GetPixelByte(99, 1), Byte(10 + 199));
}

TEST(BitmapCopy, SetWidthKeepsPalette) {
  TIEBitmap b(4, 2, ie8p);
  b.SetPaletteEntry(3, TRGB{9, 8, 7});
  b.SetPixelByte(1, 1, 3);
  b.SetWidth(6);
  EXPECT_EQ(b.GetPixelByte(1, 1), 3);
  EXPECT_EQ(b.GetPaletteEntry(3), (TRGB{9, 8, 7}));
}

TEST(BitmapCopy, RemoveAlphaChannelBlendsOntoBackground) {
  struct Row {
    TRGB pixel;
    Byte alpha;
    TColor background;
    TRGB expected;
  } table[] = {
      {{0, 0, 0}, 0, clWhite, {255, 255, 255}},
      {{0, 0, 0}, 255, clWhite, {0, 0, 0}},
      {{255, 255, 255}, 255, clBlack, {255, 255, 255}},  // opaque stays exactly as it was
      {{200, 100, 0}, 128, clBlack, {100, 50, 0}},
      {{0, 0, 0}, 128, clWhite, {127, 127, 127}},  // 255 + floor(-127.5)
  };
  for (const Row& r : table) {
    TIEBitmap b(1, 1, ie24RGB);
    b.SetPixelRGB(0, 0, r.pixel);
    b.SetAlphaValue(0, 0, r.alpha);
    b.RemoveAlphaChannel(true, r.background);
    EXPECT_FALSE(b.HasAlphaChannel());
    EXPECT_EQ(b.GetPixelRGB(0, 0), r.expected) << int(r.alpha);
  }
}

TEST(BitmapCopy, AssignCopiesOrDropsAlpha) {
  std::string folder = testsupport::MakeTempDir("assign");
  IETempFolder = folder + "/";
  for (Store s : {Store::Block, Store::File}) {
    StoreScope store(s);
    TIEBitmap src, dst;
    store.Prepare(src);
    store.Prepare(dst);
    Numbered(src);
    src.SetAlphaValue(2, 3, 17);
    src.DitherMethod = 0;
    dst.GetAlphaChannel();
    dst.Assign(&src);
    EXPECT_EQ(dst.GetPixelByte(9, 3), 39) << StoreName(s);
    EXPECT_EQ(dst.GetAlphaValue(2, 3), 17);
    EXPECT_EQ(dst.DitherMethod, 0);
    src.RemoveAlphaChannel(false, clBlack);
    dst.Assign(&src);
    EXPECT_FALSE(dst.HasAlphaChannel());
  }
  IETempFolder.clear();
  testsupport::RemoveTree(folder);
}

TEST(BitmapCopy, AssignImageKeepsOwnAlphaAtTheNewSize) {
  TIEBitmap src, dst(3, 3, ie24RGB);
  src.Location = ieMemory;
  Numbered(src);
  dst.SetAlphaValue(1, 1, 50);
  dst.AssignImage(&src);
  ASSERT_TRUE(dst.HasAlphaChannel());
  EXPECT_EQ(dst.GetAlphaChannel()->GetWidth(), 10);
  EXPECT_EQ(dst.GetAlphaValue(1, 1), 50);
  EXPECT_EQ(dst.GetAlphaValue(9, 3), 255);
  EXPECT_EQ(dst.GetPixelByte(9, 3), 39);
}

TEST(BitmapCopy, MergeAlphaRectToTakesTheLarger) {
  TIEBitmap a(4, 4, ie24RGB), b(4, 4, ie24RGB);
  a.SetAlphaValue(1, 1, 100);
  b.SetAlphaValue(1, 1, 50);
  b.SetAlphaValue(2, 2, 10);
  a.GetAlphaChannel()->SetPixelByte(2, 2, 5);
  a.MergeAlphaRectTo(&b, 0, 0, 0, 0, 4, 4);
  EXPECT_EQ(b.GetAlphaValue(1, 1), 100);
  EXPECT_EQ(b.GetAlphaValue(2, 2), 10);
  EXPECT_EQ(b.GetAlphaValue(0, 0), 255);
  TIEBitmap c(2, 2, ie8g), d(2, 2, ie8g);
  c.MergeAlphaRectTo(&d, 0, 0, 0, 0, 2, 2);
  EXPECT_TRUE(c.HasAlphaChannel());
  EXPECT_TRUE(d.GetAlphaChannel()->Full);
}

}  // namespace
