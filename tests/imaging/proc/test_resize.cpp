// Resizing and resampling through the processing component: target sizes, the nearest-pixel
// scaler for every format, the alpha channel, the canvas resize, and what is reported.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_pixel_format.h"
#include "imaging/proc/ie_proc.h"
#include "imaging/proc/ie_resize.h"
#include "tests/imaging/proc/proc_test_util.h"

namespace {

using proctest::Pixel;
using proctest::TEvents;

TEST(ProcResampleTo, TargetSizesFollowTheRequest) {
  struct TCase {
    Integer W, H, ExpectW, ExpectH;
  } cases[] = {
      {-1, 100, 133, 100},  // aspect from the height: 100 x 400 div 300
      {100, -1, 100, 75},
      {-5, 20, 5, 20},      // other negative values count by their size
      {-1, 0, 1, 300},      // width 0 becomes 1; height kept
      {0, 0, 400, 300},
      {0, 7, 400, 7},
  };
  TIEBitmap image(400, 300, ie24RGB);
  image.Fill(0x336699);
  TZodivErProc proc(nullptr);
  proc.AttachBitmap(&image);
  for (const TCase& c : cases) {
    TIEBitmap dest;
    proc.ResampleTo(&dest, c.W, c.H, rfFastLinear);
    EXPECT_EQ(dest.GetWidth(), c.ExpectW) << c.W << "," << c.H;
    EXPECT_EQ(dest.GetHeight(), c.ExpectH) << c.W << "," << c.H;
    EXPECT_EQ(Pixel(dest, dest.GetWidth() - 1, dest.GetHeight() - 1), Pixel(image, 0, 0));
  }
  EXPECT_EQ(image.GetWidth(), 400);
}

TEST(ProcResample, RefusedSizesChangeNothingAndReportNothing) {
  TIEBitmap image(40, 30, ie24RGB);
  image.Fill(0x0000FF);
  TZodivErProc proc(nullptr);
  proc.AttachBitmap(&image);
  proc.AutoUndo = true;
  TEvents events;
  events.Watch(proc);
  TIEBitmap dest(3, 3, ie8g);
  proc.ResampleTo(&dest, -1, -1, rfTriangle);
  proc.Resample(-4, -2, rfTriangle);  // would otherwise leave an empty image behind
  proc.ImageResize(-10, 20);
  proc.ImageResize(40, 0);
  proc.ImageResize(40, 30);  // the size it has
  EXPECT_EQ(image.GetWidth(), 40);
  EXPECT_EQ(image.GetHeight(), 30);
  EXPECT_EQ(Pixel(image, 39, 29), (TRGB{0, 0, 255}));
  EXPECT_EQ(dest.GetPixelFormat(), ie8g);
  EXPECT_EQ(proc.UndoCount(), 0);
  EXPECT_EQ(events.Finished, 0);
  EXPECT_TRUE(events.Progress.empty());
  EXPECT_TRUE(events.Saved.empty());
}

TEST(ProcResample, FinishesOnceAndProgressNeverPassesAHundred) {
  TIEBitmap image(60, 40, ie24RGB);
  image.Fill(0x808080);
  TZodivErProc proc(nullptr);
  proc.AttachBitmap(&image);
  TEvents events;
  events.Watch(proc);
  for (TResampleFilter filter : {rfNone, rfLanczos3, rfBicubic}) {
    events = TEvents{};
    events.Watch(proc);
    proc.Resample(25, 15, filter);
    EXPECT_EQ(events.Finished, 1) << int(filter);
    ASSERT_FALSE(events.Progress.empty());
    for (size_t i = 0; i < events.Progress.size(); ++i) EXPECT_LE(events.Progress[i], 100) << int(filter);
    EXPECT_EQ(events.Progress.back(), 100);
    proc.Resample(60, 40, rfNone);
  }
  EXPECT_EQ(image.GetWidth(), 60);
}

// Every pixel of the source carries its own bytes, so a wrong column, row or pixel width shows.
void FillDistinct(TIEBitmap& B) {
  const Integer bytes = IEBytesPerPixel(B.GetPixelFormat());
  for (Integer y = 0; y < B.GetHeight(); ++y) {
    Byte* row = static_cast<Byte*>(B.GetScanline(y));
    if (B.GetPixelFormat() == ie1g) {
      row[0] = y % 2 ? 0x40 : 0xA0;  // 1 0 1 / 0 1 0 in the first three columns
      continue;
    }
    for (Integer x = 0; x < B.GetWidth(); ++x)
      for (Integer k = 0; k < bytes; ++k) row[x * bytes + k] = Byte(1 + x * 16 + y * 64 + k);
  }
}

std::vector<Byte> PixelBytes(TIEBitmap& B, Integer X, Integer Y) {
  const Byte* row = static_cast<const Byte*>(B.GetScanline(Y));
  if (B.GetPixelFormat() == ie1g) return {Byte((row[X >> 3] >> (7 - (X & 7))) & 1)};
  const Integer bytes = IEBytesPerPixel(B.GetPixelFormat());
  return std::vector<Byte>(row + X * bytes, row + (X + 1) * bytes);
}

TEST(ProcStretchNearest, TakesTheTruncatedSourcePixelInEveryFormat) {
  struct TSize {
    Integer SW, SH, DW, DH;
    std::vector<Integer> Columns, Rows;
  } sizes[] = {
      {3, 3, 2, 5, {0, 1}, {0, 0, 1, 1, 2}},  // 3 -> 2 takes 0 and Trunc(1.5)
      {2, 2, 5, 2, {0, 0, 0, 1, 1}, {0, 1}},
  };
  for (TIEPixelFormat format : {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB}) {
    for (const TSize& s : sizes) {
      TIEBitmap source(s.SW, s.SH, format), dest(s.DW, s.DH, format);
      FillDistinct(source);
      if (format == ie8p) source.SetPaletteEntry(200, TRGB{9, 8, 7});
      std::vector<Integer> progress;
      IEStretchNearest(&source, &dest, nullptr, [&](TObject*, Integer P) { progress.push_back(P); });
      for (Integer y = 0; y < s.DH; ++y)
        for (Integer x = 0; x < s.DW; ++x)
          EXPECT_EQ(PixelBytes(dest, x, y), PixelBytes(source, s.Columns[x], s.Rows[y]))
              << int(format) << " at " << x << "," << y;
      if (format == ie8p) {
        EXPECT_EQ(dest.GetPaletteEntry(200), (TRGB{9, 8, 7}));
      }
      ASSERT_FALSE(progress.empty());
      EXPECT_EQ(progress.front(), 0);
      EXPECT_LT(progress.back(), 100);
    }
  }
  // Formats that differ are outside the contract and leave Dest alone instead of overrunning it.
  TIEBitmap wide(4, 4, ieRGB48), narrow(8, 8, ie8g);
  narrow.Fill(5);
  IEStretchNearest(&wide, &narrow, nullptr, nullptr);
  EXPECT_EQ(narrow.GetPixelByte(7, 7), 5);
}

TEST(ProcResample, AlphaIsScaledAlongAndHiddenColoursTurnGrey) {
  TIEBitmap image(8, 8, ie24RGB);
  image.Fill(0x0000FF);
  TIEBitmap* alpha = image.GetAlphaChannel();
  alpha->Fill(255);
  for (Integer y = 0; y < 8; ++y)
    for (Integer x = 4; x < 8; ++x) alpha->SetPixelByte(x, y, 0);
  alpha->Full = false;
  for (TResampleFilter filter : {rfNone, rfTriangle, rfBilinear}) {
    TIEBitmap source;
    source.Assign(&image);
    TIEBitmap dest;
    TZodivErProc proc(nullptr);
    proc.AttachBitmap(&source);
    proc.ResampleTo(&dest, 16, 4, filter);
    EXPECT_EQ(Pixel(source, 6, 6), (TRGB{128, 128, 128})) << int(filter);
    EXPECT_EQ(Pixel(source, 1, 1), (TRGB{0, 0, 255})) << int(filter);
    ASSERT_TRUE(dest.HasAlphaChannel());
    EXPECT_EQ(dest.GetAlphaChannel()->GetWidth(), 16);
    EXPECT_EQ(dest.GetAlphaChannel()->GetHeight(), 4);
    EXPECT_EQ(dest.GetAlphaChannel()->GetPixelByte(0, 0), 255) << int(filter);
    EXPECT_EQ(dest.GetAlphaChannel()->GetPixelByte(15, 3), 0) << int(filter);
    EXPECT_FALSE(dest.GetAlphaChannel()->Full);
  }
}

TEST(ProcResample, OneBitImagesStayOneBitOnlyWithTheProjections) {
  for (auto [filter, expected] : {std::pair{rfProjectWB, ie1g}, std::pair{rfProjectBW, ie1g},
                                  std::pair{rfLanczos3, ie24RGB}, std::pair{rfFastLinear, ie24RGB},
                                  std::pair{rfNone, ie1g}}) {
    TIEBitmap image(16, 16, ie1g);
    image.Fill(1);
    TZodivErProc proc(nullptr);
    proc.AttachBitmap(&image);
    proc.Resample(8, 8, filter);
    EXPECT_EQ(image.GetPixelFormat(), expected) << int(filter);
    EXPECT_EQ(image.GetWidth(), 8);
    if (expected == ie24RGB) {
      EXPECT_EQ(Pixel(image, 7, 7), (TRGB{255, 255, 255})) << int(filter);
    }
  }
}

TEST(ProcResample, FormatsAndSizesNoFilterTakesAreScaledNotBlanked) {
  // Palette, CMYK and 16-bit grey images have no kernel path, and a single pixel has nothing
  // for a kernel to weigh: each still gives a scaled picture instead of an empty destination.
  struct TCase {
    TIEPixelFormat Format;
    Integer W, H;
    TResampleFilter Filter;
  } cases[] = {
      {ie8p, 6, 4, rfLanczos3}, {ieCMYK, 6, 4, rfTriangle}, {ie16g, 6, 4, rfMitchell},
      {ie24RGB, 1, 1, rfLanczos3}, {ie8g, 1, 1, rfHermite}, {ie1g, 1, 1, rfBell},
  };
  for (const TCase& c : cases) {
    TIEBitmap image(c.W, c.H, c.Format);
    image.Fill(c.Format == ie16g ? 40000 : (c.Format == ie8p ? 7 : 0x202020));
    if (c.Format == ie1g) image.Fill(1);
    if (c.Format == ie8p) image.SetPaletteEntry(7, TRGB{1, 2, 3});
    TIEBitmap before;
    before.Assign(&image);
    TZodivErProc proc(nullptr);
    proc.AttachBitmap(&image);
    proc.Resample(12, 9, c.Filter);
    ASSERT_EQ(image.GetWidth(), 12) << int(c.Format);
    const TIEPixelFormat expected = c.Format == ie1g ? ie24RGB : c.Format;
    ASSERT_EQ(image.GetPixelFormat(), expected);
    if (c.Format == ie1g) {
      EXPECT_EQ(Pixel(image, 11, 8), (TRGB{255, 255, 255}));
    } else {
      EXPECT_EQ(PixelBytes(image, 11, 8), PixelBytes(before, 0, 0)) << int(c.Format);
      EXPECT_EQ(PixelBytes(image, 5, 3), PixelBytes(before, 0, 0)) << int(c.Format);
    }
    if (c.Format == ie8p) {
      EXPECT_EQ(image.GetPaletteEntry(7), (TRGB{1, 2, 3}));
    }
  }
}

TEST(ProcImageResize, PlacesTheImageAndFillsTheNewArea) {
  TIEBitmap image(4, 2, ie24RGB);
  image.Fill(0x0000FF);
  TZodivErProc proc(nullptr);
  proc.AttachBitmap(&image);
  proc.SetBackground(0xFF0000);  // blue
  proc.ImageResize(8, 6, 1, 2, 0);
  ASSERT_EQ(image.GetWidth(), 8);
  ASSERT_TRUE(image.HasAlphaChannel());
  TIEBitmap& alpha = *image.GetAlphaChannel();
  // Centred across, at the bottom.
  EXPECT_EQ(Pixel(image, 2, 4), (TRGB{0, 0, 255}));
  EXPECT_EQ(Pixel(image, 5, 5), (TRGB{0, 0, 255}));
  EXPECT_EQ(Pixel(image, 1, 5), (TRGB{255, 0, 0}));
  EXPECT_EQ(Pixel(image, 2, 3), (TRGB{255, 0, 0}));
  EXPECT_EQ(alpha.GetPixelByte(2, 4), 255);
  EXPECT_EQ(alpha.GetPixelByte(1, 5), 0);
  EXPECT_EQ(alpha.GetPixelByte(2, 3), 0);
}

TEST(ProcImageResize, ATinyImageIsClearedFirstAndAnEmptyOneBecomesBackground) {
  TIEBitmap dot(1, 1, ie24RGB);
  dot.Fill(0x00FF00);
  TZodivErProc proc(nullptr);
  proc.AttachBitmap(&dot);
  proc.AutoUndo = true;
  proc.SetBackground(0x0000FF);
  TEvents events;
  events.Watch(proc);
  proc.ImageResize(3, 2);
  EXPECT_EQ(Pixel(dot, 0, 0), (TRGB{0, 0, 255}));
  EXPECT_EQ(Pixel(dot, 2, 1), (TRGB{0, 0, 255}));
  EXPECT_EQ(events.Finished, 2);  // the clear's and the resize's
  EXPECT_EQ(proc.UndoCount(), 0);

  for (TIEPixelFormat format : {ieNull, ie8g}) {
    TIEBitmap empty;
    if (format != ieNull) {
      empty.Allocate(1, 1, format);
      empty.FreeImage(true);
    }
    proc.AttachBitmap(&empty);
    proc.ImageResize(5, 4, 0, 0, 100);
    ASSERT_EQ(empty.GetWidth(), 5);
    ASSERT_EQ(empty.GetHeight(), 4);
    ASSERT_FALSE(empty.IsEmpty());
    if (empty.GetPixelFormat() == ie24RGB) {
      EXPECT_EQ(Pixel(empty, 4, 3), (TRGB{0, 0, 255}));
    }
    ASSERT_TRUE(empty.HasAlphaChannel());
    EXPECT_EQ(empty.GetAlphaChannel()->GetPixelByte(4, 3), 100);
  }
}

}  // namespace
