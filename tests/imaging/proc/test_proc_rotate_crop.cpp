// The processing component's rotation, fill and crops, seen through its image, its undo list
// and its events.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_bits.h"
#include "imaging/proc/ie_fill_crop.h"
#include "imaging/proc/ie_proc.h"
#include "tests/imaging/proc/proc_test_util.h"

namespace {

using proctest::TEvents;
using proctest::TLayeredView;

// A picture whose every pixel says where it came from: R = x, G = y.
void Coordinates(TIEBitmap& b) {
  for (Integer y = 0; y < b.GetHeight(); ++y)
    for (Integer x = 0; x < b.GetWidth(); ++x) b.SetPixelRGB(x, y, TRGB{7, Byte(y), Byte(x)});
}

TEST(ProcRotate, ChoosesTheKernelByFormatAndSmoothingAndTurnsTheAlphaChannelAlong) {
  struct TCase {
    TIEPixelFormat Format;
    bool AntiAlias;
    Byte Mode;
    Integer Width, Height;  // of 100 x 50 turned by 30 degrees
  } cases[] = {
      {ie24RGB, true, 1, 112, 94},   // bilinear sampling
      {ie24RGB, true, 2, 112, 94},   // bicubic sampling
      {ie24RGB, true, 0, 112, 94},   // shears
      {ie24RGB, false, 1, 112, 93},  // nearest pixel
      {ie8g, true, 1, 112, 93},      // nearest pixel: no smoothing for grey
      {ie1g, true, 0, 111, 93},      // nearest pixel with truncated sines
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << int(c.Format) << " antialias " << c.AntiAlias << " mode "
                                    << int(c.Mode));
    TIEBitmap image(100, 50, c.Format);
    image.Fill(c.Format == ie24RGB ? 0x202020 : 0);
    image.GetAlphaChannel()->Fill(255);
    TZodivErProc proc(nullptr);
    proc.AttachBitmap(&image);
    proc.AutoUndo = true;
    TEvents events;
    events.Watch(proc);
    proc.Rotate(30, c.AntiAlias, c.Mode, 0x0000FF);
    EXPECT_EQ(image.GetWidth(), c.Width);
    EXPECT_EQ(image.GetHeight(), c.Height);
    EXPECT_EQ(image.GetPixelFormat(), c.Format);
    EXPECT_EQ(events.Finished, 1);
    ASSERT_FALSE(events.Progress.empty());
    EXPECT_EQ(events.Progress.back(), 100);
    for (Integer p : events.Progress) EXPECT_TRUE(p >= 0 && p <= 100);
    EXPECT_EQ(proc.GetUndoCaption(0), "Rotate 30");
    // Uncovered corners are transparent and take the background; the middle stays opaque.
    ASSERT_TRUE(image.HasAlphaChannel());
    ASSERT_EQ(image.GetAlphaChannel()->GetWidth(), c.Width);
    EXPECT_EQ(image.GetAlphaValue(0, 0), 0);
    EXPECT_EQ(image.GetAlphaValue(c.Width - 1, c.Height - 1), 0);
    EXPECT_EQ(image.GetAlphaValue(c.Width / 2, c.Height / 2), 255);
    EXPECT_FALSE(image.GetAlphaChannel()->Full);
    if (c.Format == ie24RGB) {
      EXPECT_EQ(image.GetPixelRGB(0, 0), (TRGB{0, 0, 255}));
    }
  }
}

TEST(ProcRotate, NothingHappensForWholeTurnsAndTheCaptionCarriesTheAngle) {
  TIEBitmap image(20, 10, ie24RGB);
  image.Fill(0x112233);
  TZodivErProc proc(nullptr);
  proc.AttachBitmap(&image);
  proc.AutoUndo = true;
  TEvents events;
  events.Watch(proc);
  proc.Rotate(0, true, 1, -1);
  proc.Rotate(-720, false, 0, -1);
  EXPECT_EQ(proc.UndoCount(), 0);
  EXPECT_EQ(events.Finished, 0);
  EXPECT_TRUE(events.Progress.empty());
  EXPECT_EQ(image.GetWidth(), 20);

  // -1 takes the component's background.
  proc.SetBackground(0x00FF00);
  Coordinates(image);
  proc.Rotate(12.5, false, 0, -1);
  EXPECT_EQ(proc.GetUndoCaption(0), "Rotate 12.5");
  EXPECT_EQ(image.GetPixelRGB(0, 0), (TRGB{0, 255, 0}));
}

// A whole quarter turn is an exact copy even when smoothing is asked for.
TEST(ProcRotate, QuarterTurnWithSmoothingIsAnExactCopy) {
  TIEBitmap image(5, 3, ie24RGB);
  Coordinates(image);
  TZodivErProc proc(nullptr);
  proc.AttachBitmap(&image);
  proc.Rotate(90, true, 2, 0);
  ASSERT_EQ(image.GetWidth(), 3);
  ASSERT_EQ(image.GetHeight(), 5);
  // Counter-clockwise: the top-left pixel was the source's top-right one.
  EXPECT_EQ(image.GetPixelRGB(0, 0), (TRGB{7, 0, 4}));
  EXPECT_EQ(image.GetPixelRGB(2, 4), (TRGB{7, 2, 0}));
}

TEST(ProcCrop, CornersAreOrderedAndClippedAndUselessCropsDoNothing) {
  struct TCase {
    Integer X1, Y1, X2, Y2;
    Integer Width, Height, Left, Top;  // 0 x 0: nothing happens
  } cases[] = {
      {10, 10, 19, 19, 10, 10, 10, 10},   // inclusive corners
      {19, 19, 10, 10, 10, 10, 10, 10},   // given the other way round
      {30, -5, 45, 4, 10, 5, 30, 0},     // reaching past the right and top edges
      {-3, -3, 39, 29, 0, 0, 0, 0},      // the whole image
      {0, 0, 39, 29, 0, 0, 0, 0},
      {50, 50, 60, 60, 0, 0, 0, 0},      // beside the image
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.X1 << "," << c.Y1 << " - " << c.X2 << "," << c.Y2);
    TIEBitmap image(40, 30, ie24RGB);
    Coordinates(image);
    image.GetAlphaChannel()->Fill(255);
    image.SetAlphaValue(c.Left, c.Top, 9);
    TZodivErProc proc(nullptr);
    proc.AttachBitmap(&image);
    proc.AutoUndo = true;
    TEvents events;
    events.Watch(proc);
    proc.Crop(c.X1, c.Y1, c.X2, c.Y2);
    if (c.Width == 0) {
      EXPECT_EQ(image.GetWidth(), 40);
      EXPECT_EQ(proc.UndoCount(), 0);
      EXPECT_EQ(events.Finished, 0);
      continue;
    }
    ASSERT_EQ(image.GetWidth(), c.Width);
    ASSERT_EQ(image.GetHeight(), c.Height);
    EXPECT_EQ(image.GetPixelRGB(0, 0), (TRGB{7, Byte(c.Top), Byte(c.Left)}));
    EXPECT_EQ(image.GetPixelRGB(c.Width - 1, c.Height - 1), (TRGB{7, Byte(c.Top + c.Height - 1), Byte(c.Left + c.Width - 1)}));
    EXPECT_EQ(image.GetAlphaChannel()->GetWidth(), c.Width);
    EXPECT_EQ(image.GetAlphaValue(0, 0), 9);
    EXPECT_EQ(image.GetAlphaValue(1, 0), 255);
    EXPECT_EQ(proc.GetUndoCaption(0), "Crop");
    EXPECT_EQ(events.Finished, 1);
  }

  // A palette image keeps its palette; the rectangle form takes inclusive corners too.
  TIEBitmap indexed(12, 12, ie8p);
  indexed.SetPaletteEntry(3, TRGB{1, 2, 3});
  indexed.Fill(3);
  TZodivErProc proc(nullptr);
  proc.AttachBitmap(&indexed);
  proc.CropToRect(TRect{2, 2, 5, 4});
  EXPECT_EQ(indexed.GetWidth(), 4);
  EXPECT_EQ(indexed.GetHeight(), 3);
  EXPECT_EQ(indexed.GetPixelAsRGB(3, 2), (TRGB{1, 2, 3}));
}

TEST(ProcCrop, OpaqueAreaCropSavesNoUndoAndLeavesAnAllTransparentImageAlone) {
  TIEBitmap image(30, 20, ie24RGB);
  Coordinates(image);
  image.GetAlphaChannel()->Fill(0);
  image.SetAlphaValue(7, 4, 200);
  image.SetAlphaValue(12, 9, 1);
  EXPECT_EQ(IEGetOpaqueBounds(&image), (TRect{7, 4, 12, 9}));
  TZodivErProc proc(nullptr);
  proc.AttachBitmap(&image);
  proc.AutoUndo = true;
  TEvents events;
  events.Watch(proc);
  proc.CropToOpaqueArea();
  EXPECT_EQ(image.GetWidth(), 6);
  EXPECT_EQ(image.GetHeight(), 6);
  EXPECT_EQ(image.GetPixelRGB(0, 0), (TRGB{7, 4, 7}));
  EXPECT_EQ(proc.UndoCount(), 0);
  EXPECT_TRUE(proc.AutoUndo);
  EXPECT_EQ(events.Finished, 1);

  image.GetAlphaChannel()->Fill(0);
  const TRect none = IEGetOpaqueBounds(&image);
  EXPECT_LT(none.Right, none.Left);
  proc.CropToOpaqueArea();
  EXPECT_EQ(image.GetWidth(), 6);
  EXPECT_EQ(events.Finished, 1);

  TIEBitmap plain(8, 5, ie8g);
  EXPECT_EQ(IEGetOpaqueBounds(&plain), (TRect{0, 0, 7, 4}));
}

TEST(ProcFill, FillsTheSelectionOnlyAndLeavesFormatsItCannotFill) {
  TLayeredView view(1, 20, 20);
  view.Mask.AllocateBits(20, 20, 1);
  for (Integer y = 5; y <= 9; ++y)
    for (Integer x = 5; x <= 9; ++x)
      if (x + y != 18) view.Mask.SetPixel(x, y, 1);  // the box but its bottom-right corner
  view.Selected = true;
  TZodivErProc proc(nullptr);
  proc.SetAttachedZodivEr(&view);
  proc.AutoUndo = true;
  TEvents events;
  events.Watch(proc);
  proc.Fill(TRGB{1, 2, 3});
  TIEBitmap& image = *view.Layers[0];
  EXPECT_EQ(image.GetPixelRGB(5, 5), (TRGB{1, 2, 3}));
  EXPECT_EQ(image.GetPixelRGB(9, 8), (TRGB{1, 2, 3}));
  EXPECT_EQ(image.GetPixelRGB(9, 9), (TRGB{0, 0, 0}));
  EXPECT_EQ(image.GetPixelRGB(4, 5), (TRGB{0, 0, 0}));
  EXPECT_EQ(proc.GetUndoCaption(0), "Fill");
  EXPECT_EQ(events.Finished, 1);

  // 1 bit: black unless red is set. Grey images save the undo entry and keep their pixels.
  TIEBitmap bits(12, 3, ie1g);
  bits.Fill(1);
  TZodivErProc bitsProc(nullptr);
  bitsProc.AttachBitmap(&bits);
  bitsProc.Fill(TRGB{0, 255, 0});
  for (Integer x = 0; x < 12; ++x) EXPECT_FALSE(IEGetBit(static_cast<const Byte*>(bits.GetScanline(2)), x)) << x;
  TIEBitmap grey(4, 4, ie8g);
  grey.Fill(9);
  TZodivErProc greyProc(nullptr);
  greyProc.AttachBitmap(&grey);
  greyProc.AutoUndo = true;
  greyProc.Fill(TRGB{255, 255, 255});
  EXPECT_EQ(greyProc.UndoCount(), 1);
  EXPECT_EQ(grey.GetPixelByte(2, 2), 9);
}

TEST(ProcFill, RectanglesAreClippedAndProgressEndsAtOneHundredAtMost) {
  TIEBitmap image(10, 6, ie24RGB);
  image.Fill(0);
  std::vector<Integer> seen;
  IEFillRect(&image, -4, -2, 99, 3, TRGB{9, 9, 9}, [&](TObject*, Integer p) { seen.push_back(p); }, nullptr);
  EXPECT_EQ(image.GetPixelRGB(0, 0), (TRGB{9, 9, 9}));
  EXPECT_EQ(image.GetPixelRGB(9, 2), (TRGB{9, 9, 9}));
  EXPECT_EQ(image.GetPixelRGB(9, 3), (TRGB{0, 0, 0}));
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_LE(seen.back(), 100);
  IEFillRect(&image, 6, 4, 6, 6, TRGB{5, 5, 5}, nullptr, nullptr);  // X2 <= X1: nothing
  EXPECT_EQ(image.GetPixelRGB(6, 4), (TRGB{0, 0, 0}));

  TIEBitmap bits(13, 1, ie1g);
  bits.Fill(0);
  IEFillRect(&bits, 3, 0, 11, 1, TRGB{0, 0, 1}, nullptr, nullptr);
  const Byte* r = static_cast<const Byte*>(bits.GetScanline(0));
  for (Integer x = 0; x < 13; ++x) EXPECT_EQ(IEGetBit(r, x), x >= 3 && x < 11) << x;
}

}  // namespace
