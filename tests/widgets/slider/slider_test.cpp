#include "widgets/slider/slider.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/rtl/exceptions.h"
#include "widgets/slider/slider_resources.h"
#include "widgets/slider/transparent_paint.h"

namespace {

struct Counts {
  int change = 0;
  int changed = 0;
};

// The main window's cut-range slider: 885 x 24, default pictures, no bevel, range 0..100.
std::unique_ptr<TClSlider> CutRangeSlider(Counts* counts = nullptr) {
  auto s = std::make_unique<TClSlider>(nullptr);
  s->SetBounds(0, 0, 885, 24);
  s->SetIncrement(1);
  if (counts) {
    s->OnChange = [counts](TObject*) { ++counts->change; };
    s->OnChanged = [counts](TObject*) { ++counts->changed; };
  }
  return s;
}

TEST(SliderLayout, CutRangeGeometry) {
  auto s = CutRangeSlider();
  EXPECT_EQ(s->RulerBitmap()->Width(), 873);
  EXPECT_EQ(s->RulerBitmap()->Height(), 8);
  EXPECT_EQ(s->RulerOrigin(), Point(6, 10));
  EXPECT_EQ(s->ThumbRect(), Rect(6, 6, 15, 23));
  EXPECT_EQ(s->ThumbTravel(), 864);
  EXPECT_EQ(s->TickRect().Top, 24);
  s->SetValue(100);
  EXPECT_EQ(s->ThumbRect().Left, 870);
  s->SetValue(50);
  EXPECT_EQ(s->ThumbRect().Left, 6 + 432);
}

TEST(SliderLayout, RulerKeepsCapsAndRepeatsMiddle) {
  auto s = CutRangeSlider();
  TBitmap* r = s->RulerBitmap();
  // Row 3 of the groove: dark grey cap, black middle, light grey and white at the far end.
  EXPECT_EQ(r->PixelColor(0, 3), clGray);
  EXPECT_EQ(r->PixelColor(1, 3), clBlack);
  EXPECT_EQ(r->PixelColor(500, 3), clBlack);
  EXPECT_EQ(r->PixelColor(871, 3), clSilver);
  EXPECT_EQ(r->PixelColor(872, 3), clWhite);
  EXPECT_EQ(r->PixelColor(872, 2), clWhite);
  EXPECT_EQ(r->PixelColor(871, 2), clGray);
}

TEST(SliderPaint, PixelsAtValueZero) {
  auto s = CutRangeSlider();
  s->PaintNow();
  TCanvas* c = s->Canvas();
  struct Probe {
    int x, y;
    TColor want;
  } probes[] = {
      {0, 0, clWhite},      // background in the window colour
      {20, 10, clWhite},    // transparent top rows of the ruler
      {20, 12, clGray},     // groove's upper edge
      {20, 13, clBlack},    // groove's inner shadow
      {20, 14, clSilver},   // groove's floor
      {20, 15, clWhite},    // groove's lower edge
      {878, 13, clWhite},   // far cap's highlight
      {6, 6, clWhite},      // thumb's top-left highlight
      {13, 7, clGray},      // thumb's shadow column
      {14, 7, clBlack},     // thumb's outline
      {6, 19, clWhite},     // transparent corner of the thumb's point
      {10, 22, clBlack},    // tip of the thumb
      {10, 12, clSilver},   // thumb face drawn over the groove
  };
  for (const Probe& p : probes) EXPECT_EQ(c->GetPixel(p.x, p.y), p.want) << p.x << "," << p.y;
}

TEST(SliderPaint, DisabledThumbUsesSecondPicture) {
  auto s = CutRangeSlider();
  s->SetEnabled(false);
  s->PaintNow();
  // The dithered face: white and light grey alternate along row 2.
  EXPECT_EQ(s->Canvas()->GetPixel(8, 8), clWhite);
  EXPECT_EQ(s->Canvas()->GetPixel(9, 8), clSilver);
}

TEST(SliderValue, ChangeFiresOnlyOnRealChanges) {
  Counts n;
  auto s = CutRangeSlider(&n);
  s->SetValue(0);
  EXPECT_EQ(n.change, 0);
  s->SetMaxValue(3000);
  EXPECT_EQ(n.change, 0);
  s->SetValue(3000);
  EXPECT_EQ(n.change, 1);
  s->SetValue(5000);  // clamped to the same value
  EXPECT_EQ(n.change, 1);
  s->SetMaxValue(50);  // range clamp moves the value
  EXPECT_EQ(s->Value(), 50);
  EXPECT_EQ(n.change, 2);
  s->SetMaxValue(0);  // Max <= Min is ignored
  EXPECT_EQ(s->MaxValue(), 50);
  EXPECT_EQ(n.changed, 0);
}

TEST(SliderValue, RangeShrinksIncrement) {
  TClSlider s(nullptr);
  s.SetIncrement(60);
  s.SetValue(100);
  s.SetMaxValue(50);
  EXPECT_EQ(s.Increment(), 50);
  EXPECT_EQ(s.Value(), 50);
}

TEST(SliderValue, IncrementOutsideRangeRaises) {
  TClSlider s(nullptr);
  for (Integer bad : {0, -1, 101}) {
    try {
      s.SetIncrement(bad);
      FAIL() << bad;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message, "Value must be between 1 and 100");
    }
  }
  EXPECT_EQ(s.Increment(), 10);
}

TEST(SliderKeys, StepsRoundToTheIncrementGrid) {
  Counts n;
  auto s = CutRangeSlider(&n);
  s->SetIncrement(10);
  struct Case {
    Integer from;
    Word key;
    Integer want;
  } cases[] = {
      {15, VK_RIGHT, 30}, {15, VK_LEFT, 10}, {25, VK_RIGHT, 30}, {95, VK_RIGHT, 100},
      {3, VK_LEFT, 0},    {40, VK_END, 100}, {40, VK_HOME, 0},   {40, VK_UP, 40},
  };
  for (const Case& c : cases) {
    s->SetValue(c.from);
    Word key = c.key;
    s->DoKeyDown(key, 0);
    EXPECT_EQ(s->Value(), c.want) << c.from << " key " << c.key;
  }
  // Home at the minimum still reports the end of the interaction.
  s->SetValue(0);
  n = Counts();
  Word home = VK_HOME;
  s->DoKeyDown(home, 0);
  EXPECT_EQ(n.change, 0);
  EXPECT_EQ(n.changed, 1);
  // With a modifier held the slider leaves the key alone.
  Word right = VK_RIGHT;
  s->DoKeyDown(right, ssCtrl);
  EXPECT_EQ(s->Value(), 0);
}

TEST(SliderMouse, DragMovesValueAndReportsOnce) {
  Counts n;
  auto s = CutRangeSlider(&n);
  s->DoMouseDown(mbLeft, ssLeft, 10, 12);  // grip 4 pixels into the thumb
  s->DoMouseMove(ssLeft, 10 + 432, 12);
  EXPECT_EQ(s->Value(), 50);
  EXPECT_EQ(s->ThumbRect().Left, 438);
  s->DoMouseMove(ssLeft, 2000, 12);  // past the end
  EXPECT_EQ(s->Value(), 100);
  EXPECT_EQ(s->ThumbRect().Left, 870);
  EXPECT_EQ(n.changed, 0);
  s->DoMouseUp(mbLeft, 0, 2000, 12);
  EXPECT_EQ(n.change, 2);
  EXPECT_EQ(n.changed, 1);
}

TEST(SliderMouse, DragSnapsToGridFromMinValue) {
  auto s = CutRangeSlider();
  s->SetOptions(SliderOption(soShowPoints));  // not smooth
  s->SetMinValue(3);
  s->SetIncrement(10);
  s->DoMouseDown(mbLeft, ssLeft, 6, 12);
  // 20 of 97 units lies 178 pixels along; the grid from 3 gives 23.
  s->DoMouseMove(ssLeft, 6 + 178, 12);
  EXPECT_EQ(s->Value(), 23);
  s->DoMouseMove(ssLeft, 2000, 12);
  EXPECT_EQ(s->Value(), 100);
  s->DoMouseUp(mbLeft, 0, 2000, 12);
}

TEST(SliderMouse, RulerClickRepeatsUntilThumbPassesPointer) {
  Counts n;
  auto s = CutRangeSlider(&n);
  s->SetIncrement(10);
  // Press on the groove at value ~35; the first step happens at once.
  const Integer x = s->PositionOfValue(35) + 4;
  s->DoMouseDown(mbLeft, ssLeft, x, 13);
  EXPECT_EQ(s->Value(), 10);
  ASSERT_NE(s->RepeatTimer(), nullptr);
  EXPECT_TRUE(s->RepeatTimer()->Enabled());
  EXPECT_EQ(s->RepeatTimer()->Interval(), 400u);
  // The repeat timer's ticks, driven here instead of by the clock.
  s->RulerTrackingTick();
  s->RulerTrackingTick();
  EXPECT_EQ(s->Value(), 30);
  s->RulerTrackingTick();  // thumb at 40 now covers or passes the pointer
  s->RulerTrackingTick();
  EXPECT_EQ(s->Value(), 40);
  EXPECT_EQ(n.changed, 0);
  s->DoMouseUp(mbLeft, 0, x, 13);
  EXPECT_FALSE(s->RepeatTimer()->Enabled());
  EXPECT_EQ(n.change, 4);
  EXPECT_EQ(n.changed, 1);
  // A press outside the ruler's band does nothing.
  s->DoMouseDown(mbLeft, ssLeft, 600, 3);
  EXPECT_EQ(s->Value(), 40);
  s->DoMouseUp(mbLeft, 0, 600, 3);
}

TEST(SliderOrientation, SwapsSizeAndLaysOutVertically) {
  TClSlider s(nullptr);
  s.SetOrientation(soVertical);
  EXPECT_EQ(s.Width(), 40);
  EXPECT_EQ(s.Height(), 150);
  EXPECT_EQ(s.RulerBitmap()->Height(), 138);
  EXPECT_EQ(s.RulerBitmap()->Width(), 8);
  // The minimum lies at the bottom.
  EXPECT_EQ(s.ThumbRect().Top, 150 - 6 - 9);
  s.SetValue(100);
  EXPECT_EQ(s.ThumbRect().Top, 6);
  EXPECT_EQ(s.ThumbRect().Width(), 19);
}

TEST(SliderImages, NilRestoresBuiltInPictureAndDropsOpaque) {
  TClSlider s(nullptr);
  TBitmap user;
  user.SetPixelFormat(pf24bit);
  user.SetSize(20, 30);
  s.SetImageHThumb(&user);
  s.SetOptions(s.Options() | SliderOption(soThumbOpaque));
  EXPECT_EQ(s.UserImages(), 1);
  EXPECT_EQ(s.ThumbRect().Width(), 10);
  s.SetImageHThumb(nullptr);
  EXPECT_EQ(s.UserImages(), 0);
  EXPECT_FALSE(s.HasOption(soThumbOpaque));
  EXPECT_EQ(s.ImageHThumb()->Width(), 18);
  EXPECT_EQ(s.ThumbRect().Width(), 9);
}

// Values a stored form may hold that plain setters refuse must not break the arithmetic.
TEST(SliderDegenerate, EmptyRangeNarrowControlAndShortRuler) {
  TClSlider s(nullptr);
  s.BeginLoading();
  s.SetRange(40, 40);
  s.Loaded();
  EXPECT_EQ(s.PositionOfValue(40), 6);
  EXPECT_EQ(s.ValueAtPosition(300), 40);
  s.PaintNow();

  TClSlider narrow(nullptr);
  narrow.SetBounds(0, 0, 10, 24);  // thinner than the thumb
  EXPECT_EQ(narrow.ThumbTravel(), 0);
  narrow.SetValue(70);
  EXPECT_EQ(narrow.ThumbRect().Left, 6);
  narrow.DoMouseDown(mbLeft, ssLeft, 8, 12);
  narrow.DoMouseMove(ssLeft, 9, 12);
  narrow.DoMouseUp(mbLeft, 0, 9, 12);
  narrow.PaintNow();

  TClSlider shortRuler(nullptr);
  TBitmap tiny;
  tiny.SetPixelFormat(pf24bit);
  tiny.SetSize(4, 8);  // no middle between two 2-pixel caps
  shortRuler.SetImageHRuler(&tiny);
  EXPECT_EQ(shortRuler.RulerBitmap()->Width(), 138);
  shortRuler.PaintNow();
}

TEST(TransparentPaint, KeyColourLeavesBackgroundAndSentinelCopiesAll) {
  TBitmap thumb;
  LoadSliderResource(&thumb, "W95_HTB");
  TBitmap dest;
  dest.SetPixelFormat(pf32bit);
  dest.SetSize(20, 20);
  dest.Canvas()->Brush()->SetColor(clGray);
  dest.Canvas()->FillRect(Rect(0, 0, 20, 20));
  PaintBitmapRectTransparent(dest.Canvas(), 2, 1, Rect(0, 0, 9, 17), &thumb, clBottomLeftPixel);
  EXPECT_EQ(dest.PixelColor(2, 14), clGray);  // magenta corner
  EXPECT_EQ(dest.PixelColor(3, 14), clWhite);
  EXPECT_EQ(dest.PixelColor(2, 1), clWhite);
  PaintBitmapTransparent(dest.Canvas(), 0, 0, &thumb, clNoTransparency);
  EXPECT_EQ(dest.PixelColor(0, 16), clFuchsia);
  // A zero destination size takes the bitmap's own size.
  dest.Canvas()->FillRect(Rect(0, 0, 20, 20));
  StretchPaintTransparent(dest.Canvas(), &thumb, clFuchsia, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(dest.PixelColor(14, 15), clBlack);
  EXPECT_EQ(dest.PixelColor(17, 15), clGray);
  EXPECT_TRUE(PointInsideRect(Point(5, 6), Rect(1, 1, 5, 6)));
}

}  // namespace
