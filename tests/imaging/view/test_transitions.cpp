// The view's transition engine: frames of the effects at given steps (fades to the byte, wipes by
// the share of the picture the new one covers, shapes against ImageMagick), the table of effect
// names, the timing curves, small and odd pictures, and runs driven by the timer in a shown view.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "imaging/view/ie_transitions.h"
#include "platform/gui/application.h"
#include "platform/gui/colors.h"
#include "platform/gui/timers.h"
#include "platform/rtl/exceptions.h"
#include "tests/imaging/view/view_test_fixture.h"

namespace {

using viewtest::ViewTest;

// A pf24bit picture whose pixel (x, y) is Colour, or a pattern that differs from pixel to pixel
// when Colour is negative.
std::unique_ptr<TBitmap> Picture(Integer W, Integer H, Int64 Colour) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(W, H);
  for (Integer y = 0; y < H; ++y) {
    Byte* row = static_cast<Byte*>(b->ScanLine(y));
    for (Integer x = 0; x < W; ++x) {
      const Cardinal c = Colour >= 0 ? Cardinal(Colour) : Cardinal((x * 37 + y * 91) ^ (x * y * 13));
      row[x * 3] = Byte(c >> 16), row[x * 3 + 1] = Byte(c >> 8), row[x * 3 + 2] = Byte(c);  // B, G, R of 0xBBGGRR
    }
  }
  return b;
}

const Byte* Pixel(TBitmap* B, Integer X, Integer Y) { return static_cast<Byte*>(B->ScanLine(Y)) + X * 3; }

// The share of the frame's pixels that show the colour of a uniform target.
double Coverage(TBitmap* Work, TColor Target) {
  Int64 n = 0;
  for (Integer y = 0; y < Work->Height(); ++y)
    for (Integer x = 0; x < Work->Width(); ++x) {
      const Byte* p = Pixel(Work, x, y);
      n += p[2] == Byte(Target) && p[1] == Byte(Target >> 8) && p[0] == Byte(Target >> 16);
    }
  return double(n) / (double(Work->Width()) * Work->Height());
}

std::vector<Byte> CoverageMask(TBitmap* Work, TColor Target) {
  std::vector<Byte> m;
  for (Integer y = 0; y < Work->Height(); ++y)
    for (Integer x = 0; x < Work->Width(); ++x) {
      const Byte* p = Pixel(Work, x, y);
      m.push_back(p[2] == Byte(Target) && p[1] == Byte(Target >> 8) && p[0] == Byte(Target >> 16));
    }
  return m;
}

constexpr TColor kOld = 0x203040;  // R 0x40, G 0x30, B 0x20
constexpr TColor kNew = 0xC0D0E0;

struct TransitionTest : ViewTest {
  TIETransitionEffects* Engine() {
    View->CreateTransitionEffects();
    return View->TransitionEffects();
  }
  // Starts Effect between two uniform pictures with a duration no test reaches, so only the
  // frames the test draws are drawn; then draws step 0 and Step, as the timer would.
  TBitmap* Frame(Integer Effect, Integer Step, Integer W = 640, Integer H = 480) {
    auto s = Picture(W, H, kOld), t = Picture(W, H, kNew);
    Engine()->Run(s.get(), t.get(), Effect, 1000000);
    Engine()->DrawFrame(0);
    Engine()->DrawFrame(Step);
    return Engine()->WorkPicture();
  }
};

TEST_F(TransitionTest, FadesMixEveryChannelToTheByte) {
  View->SetBackground(TColor(0x0A6496));  // R 0x96, G 0x64, B 0x0A
  // Bytes B, G, R of every pixel, worked with python3 from (a x (1024 - s) + b x s) >> 10 with the
  // source (255, 10, 200), the target (0, 250, 10) and the background (10, 100, 150).
  struct Case {
    Integer Effect, Step;
    Integer Expected[3];
  };
  const Case cases[] = {
      {1, 0, {255, 10, 200}},   {1, 1, {254, 10, 199}},   {1, 256, {191, 70, 152}},
      {1, 512, {127, 130, 105}}, {1, 1024, {0, 250, 10}},  {2, 256, {193, 32, 187}},
      {2, 1024, {10, 100, 150}}, {3, 256, {7, 137, 115}},  {4, 256, {132, 55, 175}},
      {4, 512, {10, 100, 150}},  // between the halves: the background
      {4, 768, {5, 175, 80}},    {4, 1024, {0, 250, 10}},
  };
  for (const Case& c : cases) {
    auto s = Picture(3, 2, 0xFF0AC8), t = Picture(3, 2, 0x00FA0A);
    Engine()->Run(s.get(), t.get(), c.Effect, 1000000);
    Engine()->DrawFrame(c.Step);
    for (Integer y = 0; y < 2; ++y)
      for (Integer x = 0; x < 3; ++x) {
        const Byte* p = Pixel(Engine()->WorkPicture(), x, y);
        SCOPED_TRACE("effect " + std::to_string(c.Effect) + " step " + std::to_string(c.Step));
        ASSERT_EQ(Integer(p[0]), c.Expected[0]);
        ASSERT_EQ(Integer(p[1]), c.Expected[1]);
        ASSERT_EQ(Integer(p[2]), c.Expected[2]);
      }
  }
}

TEST_F(TransitionTest, WipesCoverTheShareOfThePictureTheirStepGives) {
  struct Case {
    Integer Effect, Step;
    double Share, Tolerance;
  };
  // 640 x 480 pictures; the percentage of the extra effects is round(step / 1024 x 100).
  const Case cases[] = {
      {5, 256, 0.25, 0},  {6, 256, 0.25, 0}, {7, 512, 0.5, 0},  {9, 768, 0.75, 0},
      {11, 256, 0.25, 0}, {13, 512, 0.25, 0},  {16, 768, 0.5625, 0},    {17, 512, 0.5, 0},
      {19, 256, 0.25, 0}, {21, 512, 0.5, 0},   {24, 768, 0.75, 0},      {27, 512, 0.25, 0},
      {28, 512, 0.75, 0}, {29, 512, 0.25, 0},  {30, 512, 0.75, 0},      {31, 512, 0.5, 0},
      {35, 512, 0.25, 0}, {44, 512, 1.0, 0},   {49, 512, 0.25, 0},      {53, 512, 0.5, 0},
      {64, 512, 0.5, 0},  {73, 512, 1.0, 0},   {81, 256, 0.25, 0},      {89, 512, 0.5, 0},
      {131, 512, 0.5, 0.01},  {137, 512, 0.49, 0.01}, {140, 512, 0.25, 0.01},
      {146, 512, 0.5, 0},  {154, 512, (7 * 34 + 4) / 480.0, 0},
      {155, 512, (7 * 45 + 3) / 640.0, 0}, {156, 256, 0.25, 0.01}, {116, 1024, 1.0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("effect " + std::to_string(c.Effect) + " step " + std::to_string(c.Step));
    EXPECT_NEAR(Coverage(Frame(c.Effect, c.Step), kNew), c.Share, c.Tolerance + 1e-9);
  }
}

TEST_F(TransitionTest, RegionShapesMatchImageMagickDrawings) {
  // Effect, step, and the shape ImageMagick draws for it on a 640 x 480 picture.
  struct Case {
    Integer Effect, Step;
    const char* Draw;
  };
  const Case cases[] = {
      {131, 256, "polygon 0,0 320,0 0,240"},                       // 25 %: pw 160, ph 120
      {134, 512, "polygon 640,480 0,480 640,0"},                   // 50 %
      {135, 512, "polygon 640,0 0,0 640,240 polygon 640,480 0,480 0,240"},
      {140, 256, "rectangle 260,160 379,319"},                     // 25 %: 160 x 120 turned a quarter
      {49, 512, "rectangle 0,0 319,239"},
      {74, 512, "rectangle 0,0 160,120 rectangle 0,359 160,479 rectangle 479,0 639,120 rectangle 479,359 639,479"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("effect " + std::to_string(c.Effect));
    EXPECT_TRUE(viewtest::SameShape(CoverageMask(Frame(c.Effect, c.Step), kNew),
                                    viewtest::MagickMask(640, 480, c.Draw), 640, 480));
  }
}

TEST_F(TransitionTest, EveryEffectEndsOnTheTargetAndStartsOnTheSource) {
  // The effects whose last frame is not the whole target: the fade out (the background), random
  // ones, the two wipes whose red guide line ends on the first column or row, shreds on a grid, the sweeps that leave their
  // last wedge open, and the star whose arms miss the corners.
  const std::vector<Integer> open = {2, 8, 12, 25, 26, 109, 110, 137, 138, 141};
  auto s = Picture(96, 64, -1), t = Picture(96, 64, kNew);
  for (Integer effect = 1; effect <= IETransitionEffectCount; ++effect) {
    SCOPED_TRACE("effect " + std::to_string(effect));
    Engine()->Run(s.get(), t.get(), effect, 1000000);
    Engine()->DrawFrame(0);
    // The fade in starts on the background, two wipes with their red guide line on the edge.
    if (effect != 3 && effect != 6 && effect != 10) {
      bool same = true;
      for (Integer y = 0; y < 64 && same; ++y)
        same = std::memcmp(Engine()->WorkPicture()->ScanLine(y), s->ScanLine(y), 96 * 3) == 0;
      EXPECT_TRUE(same);
    }
    for (Integer step = 64; step <= 1024; step += 64) Engine()->DrawFrame(step);
    if (std::find(open.begin(), open.end(), effect) == open.end()) {
      EXPECT_EQ(Coverage(Engine()->WorkPicture(), kNew), 1.0);
    }
  }
}

TEST_F(TransitionTest, SmallAndThinPicturesAndStepsOutOfRangeAreSafe) {
  // Pictures smaller than the 8 x 8 boxes, the 5-pixel bars and the unit of a 45-pixel side,
  // and pictures so thin that their periods vanish; steps outside 0..1024 drawn as the nearest
  // end. Every frame must be drawn in finite time and the last one hold the target.
  const TSize sizes[] = {{1, 1}, {2, 3}, {3, 2}, {7, 5}, {1, 200}, {200, 1}, {3, 500}, {44, 44}};
  const Integer steps[] = {-50, 0, 1, 300, 512, 700, 1023, 1024, 5000};
  for (const TSize& sz : sizes) {
    auto s = Picture(sz.cx, sz.cy, kOld), t = Picture(sz.cx, sz.cy, kNew);
    for (Integer effect = 1; effect <= IETransitionEffectCount; ++effect) {
      SCOPED_TRACE(std::to_string(sz.cx) + " x " + std::to_string(sz.cy) + " effect " + std::to_string(effect));
      Engine()->Run(s.get(), t.get(), effect, 1000000);
      // The bytes that pad each row of the work picture to its stride must never be written: a
      // pixel drawn one column too far lands there.
      TBitmap* work = Engine()->WorkPicture();
      const Integer stride = work->BytesPerScanline();
      for (Integer y = 0; y < sz.cy; ++y) std::memset(static_cast<Byte*>(work->ScanLine(y)) + sz.cx * 3, 0xA5, size_t(stride - sz.cx * 3));
      for (Integer step : steps) Engine()->DrawFrame(step);
      for (Integer y = 0; y < sz.cy; ++y)
        for (Integer k = sz.cx * 3; k < stride; ++k)
          ASSERT_EQ(static_cast<Byte*>(work->ScanLine(y))[k], 0xA5) << "row " << y << " byte " << k;
      EXPECT_EQ(Engine()->Width(), sz.cx);
      for (Integer y = 0; y < sz.cy; ++y)
        for (Integer x = 0; x < sz.cx; ++x) {
          const Byte* p = Pixel(Engine()->WorkPicture(), x, y);
          // Every pixel is the old or the new colour, the red guide line or the background.
          const Cardinal c = Cardinal(p[2]) | Cardinal(p[1]) << 8 | Cardinal(p[0]) << 16;
          ASSERT_TRUE(c == Cardinal(kOld) || c == Cardinal(kNew) || c == 0x0000FF ||
                      c == Cardinal(ColorToRGB(View->Background())))
              << x << "," << y << " = " << std::hex << c;
        }
    }
  }
  // The wipe from the right on a 3-pixel picture at half way rounds both its start and its
  // width up (1.5 each): the copy stays inside the picture.
  TBitmap* w = Frame(7, 512, 3, 2);
  EXPECT_EQ(Coverage(w, kNew), 1.0 / 3);
}

TEST_F(TransitionTest, StartRefusesUnknownEffectsAndMismatchedPicturesAndTakesAnyFormat) {
  auto a = Picture(10, 10, kOld), b = Picture(10, 11, kNew), e = std::make_unique<TBitmap>();
  EXPECT_THROW(Engine()->Run(a.get(), a.get(), 0, 100), EInvalidOperation);
  EXPECT_THROW(Engine()->Run(a.get(), a.get(), 165, 100), EInvalidOperation);
  EXPECT_THROW(Engine()->Run(a.get(), b.get(), 1, 100), EInvalidOperation);
  EXPECT_THROW(Engine()->Run(a.get(), nullptr, 1, 100), EInvalidOperation);
  EXPECT_THROW(Engine()->Run(e.get(), e.get(), 1, 100), EInvalidOperation);
  EXPECT_THROW(Engine()->RunPanZoom(nullptr, TRect{}, TRect{}, 10, 10, 100), EInvalidOperation);
  EXPECT_FALSE(Engine()->Running());
  // Pictures of another pixel format are taken as 24-bit copies.
  auto c = Picture(10, 10, kOld), d = Picture(10, 10, kNew);
  c->SetPixelFormat(pf32bit);
  d->SetPixelFormat(pf15bit);
  Engine()->Run(c.get(), d.get(), 1, 1000000);
  EXPECT_EQ(Engine()->WorkPicture()->PixelFormat(), pf24bit);
  Engine()->DrawFrame(0);
  EXPECT_EQ(Coverage(Engine()->WorkPicture(), kOld), 1.0);
  Engine()->DrawFrame(1024);
  // 15-bit colour keeps the top five bits of each channel.
  const Byte* p = Pixel(Engine()->WorkPicture(), 4, 4);
  EXPECT_EQ((std::vector<Integer>{p[0] & 0xF8, p[1] & 0xF8, p[2] & 0xF8}),
            (std::vector<Integer>{0xC0, 0xD0, 0xE0}));
}

TEST(TransitionTiming, StepsFollowTheirCurveAndStayInRange) {
  struct Case {
    Cardinal Elapsed;
    Integer Duration;
    Byte Timing;
    Integer Step;
  };
  // Worked with python3: trunc(t x 1024), trunc(e^(5t - 2.718) / 10 x 1024),
  // trunc((ln(10t) + 2.718) / 5 x 1024).
  const Case cases[] = {
      {250, 1000, 0, 256}, {0, 1000, 0, 0},      {999, 1000, 0, 1022}, {5000, 1000, 0, 1024},
      {0, 1000, 1, 6},     {500, 1000, 1, 82},   {999, 1000, 1, 998},  {4000, 1000, 1, 1024},
      {0, 1000, 2, 0},     {100, 1000, 2, 556},  {500, 1000, 2, 886},  {1000, 1000, 2, 1024},
      // Just after the start the logarithm is far below zero (-386 at 1 ms): held at 0.
      {1, 1000, 2, 0},     {6, 1000, 2, 0},
      // A run without duration is over; a huge elapsed time does not overflow.
      {10, 0, 0, 1024},    {10, -5, 2, 1024},    {0xFFFFFFFFu, 1, 1, 1024},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IETransitionStepAt(c.Elapsed, c.Duration, c.Timing), c.Step)
        << c.Elapsed << " ms of " << c.Duration << ", timing " << int(c.Timing);
}

TEST(TransitionTiming, FitRectKeepsProportionsAndCentres) {
  struct Case {
    Integer SW, SH, AW, AH, W, H, X, Y;
  };
  const Case cases[] = {
      {200, 100, 100, 100, 100, 50, 0, 25},
      {100, 200, 100, 100, 50, 100, 25, 0},
      {30, 20, 300, 100, 150, 100, 75, 0},
      {0, 20, 300, 100, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    Integer w, h, x, y;
    IEFitRect(c.SW, c.SH, c.AW, c.AH, w, h, x, y);
    EXPECT_EQ((std::vector<Integer>{w, h, x, y}), (std::vector<Integer>{c.W, c.H, c.X, c.Y}));
  }
}

TEST(TransitionNames, TheTableHoldsEveryEffectInNumberOrder) {
  const std::string list =
      "1 Cross Fade, 2 Fade Out, 3 Fade In, 4 Fade Out then In, 5 Wipe Left to Right, 6 Wipe Left to Right 2, "
      "7 Wipe Right to Left, 8 Wipe Right to Left 2, 9 Wipe Top to Bottom, 10 Wipe Top to Bottom 2, 11 Wipe "
      "Bottom to Top, 12 Wipe Bottom to Top 2, 13 Slide from Top Left, 14 Slide from Top Right, 15 Slide from "
      "Bottom Left, 16 Slide from Bottom Right, 17 Push Left to Right, 18 Slide Out Left to Right, 19 Push Right "
      "to Left, 20 Slide Out Right to Left, 21 Push Top to Bottom, 22 Slide Out Top to Bottom, 23 Push Bottom to "
      "Top, 24 Slide Out Bottom to Top, 25 Random Points, 26 Random Boxes, 27 Wipe Out from Center, 28 Wipe In to "
      "Center, 29 Expand Out from Center, 30 Expand In to Center, 31 Expand from Left, 32 Expand from Right, 33 "
      "Expand from Top, 34 Expand from Bottom, 35 Expand from Top Left, 36 Expand from Top Right, 37 Expand from "
      "Bottom Left, 38 Expand from Bottom Right, 39 Expand in from Left, 40 Expand in from Right, 41 Expand in "
      "from Top, 42 Expand in from Bottom, 43 Expand in to Vertical Center, 44 Expand in to Horizon, 45 Expand in "
      "from Sides, 46 Expand in from Top and Bottom, 47 Expand out from Horizon, 48 Expand out from Vertical "
      "Center, 49 Wipe from Top Left, 50 Wipe from Top Right, 51 Wipe from Bottom Left, 52 Wipe from Bottom "
      "Right, 53 Wipe from Horizon, 54 Wipe in from Sides, 55 Wipe out from Vertical Center, 56 Build up from "
      "Left, 57 Build up from Right, 58 Build up from Top, 59 Build up from Bottom, 60 Unroll from Left, 61 "
      "Unroll from Right, 62 Unroll from Top, 63 Unroll from Bottom, 64 Slide in from Left, 65 Slide in from "
      "Right, 66 Slide in from Top, 67 Slide in from Bottom, 68 Slide in from Top and Bottom, 69 Shrink to Top "
      "Left, 70 Shrink to Top Right, 71 Shrink to Bottom Left, 72 Shrink to Bottom Right, 73 Shrink to Center, 74 "
      "Quarters Wipe in to Center, 75 Quarters Expand to Center, 76 Quarters Slide in to Center, 77 Curved Wipe "
      "from Left, 78 Curved Wipe from Right, 79 Curved Wipe from Top, 80 Curved Wipe from Bottom, 81 Bars in from "
      "Left, 82 Bars in from Right, 83 Bars from Top, 84 Bars from Bottom, 85 Bars Left then Right, 86 Bars Right "
      "then Left, 87 Bars Top then Bottom, 88 Bars Bottom then Top, 89 Bars from both Sides, 90 Bars from Top and "
      "Bottom, 91 Shredded from Left, 92 Shredded from Right, 93 Shredded from Top, 94 Shredded from Bottom, 95 "
      "Shredded from Top and Left, 96 Shredded from Top and Right, 97 Shredded from Bottom and Left, 98 Shredded "
      "from Bottom and Right, 99 Shredded from Horizon and Left, 100 Shredded from Horizon and Right, 101 "
      "Shredded from Top and Vertical Center, 102 Shredded from Bottom and Vertical Center, 103 Shredded to "
      "Center, 104 Shredded from Center, 105 Shredded in to Horizon, 106 Shredded in to Vertical Center, 107 "
      "Shredded out from Horizon, 108 Shredded out from Vertical Center, 109 Rectangular Shred, 110 Triangular "
      "Shred to Top Left, 111 Curved Wipe from Top Left, 112 Curved Wipe from Top Right, 113 Curved Wipe from "
      "Bottom Left, 114 Curved Wipe from Bottom Right, 115 Circular Wipe from Center, 116 Circular Wipe to "
      "Center, 117 Crisscross Wipe from Top Left, 118 Crisscross Wipe from Top Right, 119 Crisscross Wipe from "
      "Bottom Left, 120 Crisscross Wipe from Bottom Right, 121 Crisscross Wipe Bounce from Top Left, 122 "
      "Crisscross Wipe Bounce from Top Right, 123 Crisscross Wipe Bounce from Bottom Left, 124 Crisscross Wipe "
      "Bounce from Bottom Right, 125 Crisscross Wipe from Left Right and Top, 126 Crisscross Wipe from Left Right "
      "and Bottom, 127 Crisscross Wipe from Left Top and Bottom, 128 Crisscross Wipe from Top Left Right and "
      "Bottom, 129 Crisscross Wipe from Right Top and Bottom, 130 Crisscross Wipe from Bottom Left Top Right, 131 "
      "Wipe diagonal from Top Left, 132 Wipe diagonal from Top Right, 133 Wipe diagonal from Bottom Left, 134 "
      "Wipe diagonal from Bottom Right, 135 Diagonal Sweep Clockwise, 136 Diagonal Sweep Counter-Clockwise, 137 "
      "Sweep Clockwise, 138 Sweep Counter-Clockwise, 139 Starburst Clockwise from Center, 140 Rotational "
      "Rectangle, 141 Rotational Star, 142 Speckled Wipe from Left, 143 Speckled Wipe from Right, 144 Speckled "
      "Wipe from Top, 145 Speckled Wipe from Bottom, 146 Push Left and Slide out, 147 Push Right and Slide out, "
      "148 Push up and Slide out, 149 Push down and Slide out, 150 Push and Squeeze Left, 151 Push and Squeeze "
      "Right, 152 Push and Squeeze up, 153 Push and Squeeze down, 154 Horizontal Blinds, 155 Vertical Blinds, 156 "
      "Uneven Blinds from Left, 157 Uneven Blinds from Right, 158 Uneven Blinds from Top, 159 Uneven Blinds from "
      "Bottom, 160 Rectangles from the Left, 161 Rectangles from the Right, 162 Rectangles from the Top, 163 "
      "Rectangles from the Bottom";
  std::vector<std::string> expected;
  std::stringstream in(list);
  for (std::string item; std::getline(in, item, ',');) {
    const size_t space = item.find_first_not_of(' ');
    const size_t name = item.find(' ', space);
    EXPECT_EQ(std::stoi(item.substr(space, name - space)), Integer(expected.size()) + 1);
    expected.push_back(item.substr(name + 1));
  }
  ASSERT_EQ(expected.size(), 163u);
  for (Integer n = 1; n <= 163; ++n) EXPECT_EQ(IETransitionEffectName(n), expected[size_t(n - 1)]) << n;
  EXPECT_EQ(IETransitionEffectName(0), "");
  EXPECT_EQ(IETransitionEffectName(164), "");
  // The engine draws the first thirty itself; every other row has its procedure.
  for (Integer n = 1; n <= 163; ++n) EXPECT_EQ(TransitionEffectTable[n - 1].Proc == nullptr, n <= 30) << n;
}

TEST_F(TransitionTest, PanZoomFillsTheFrameOrFitsAClippedRectangleOverTheBackground) {
  View->SetBackground(TColor(0x00FF00));
  TIEBitmap image(200, 100, ie24RGB);
  for (Integer y = 0; y < 100; ++y)
    for (Integer x = 0; x < 200; ++x) image.SetPixelRGB(x, y, IECreateRGB(Byte(x), Byte(y), 7));
  // Inside the image all the way: the frame is the interpolated part, unscaled here.
  Engine()->RunPanZoom(&image, TRect{0, 0, 100, 50}, TRect{100, 50, 200, 100}, 100, 50, 1000000);
  for (Integer step : {0, 512, 1024}) {
    Engine()->DrawFrame(step);
    const Integer ox = 100 * step / 1024, oy = 50 * step / 1024;
    for (Integer y = 0; y < 50; y += 7)
      for (Integer x = 0; x < 100; x += 9) {
        const Byte* p = Pixel(Engine()->WorkPicture(), x, y);
        ASSERT_EQ((std::vector<Integer>{p[2], p[1], p[0]}), (std::vector<Integer>{x + ox, y + oy, 7}))
            << "step " << step << " at " << x << "," << y;
      }
  }
  // Running off the right edge: only the 50 columns inside are drawn, fitted and centred, with
  // the background beside them (never bytes from past the image).
  Engine()->RunPanZoom(&image, TRect{150, 0, 250, 100}, TRect{150, 0, 250, 100}, 100, 100, 1000000);
  Engine()->DrawFrame(0);
  TBitmap* w = Engine()->WorkPicture();
  for (Integer y = 0; y < 100; y += 5) {
    EXPECT_EQ(Pixel(w, 10, y)[1], 0xFF) << y;  // background beside
    EXPECT_EQ(Pixel(w, 90, y)[1], 0xFF) << y;
    EXPECT_EQ(Integer(Pixel(w, 50, y)[2]), 175) << y;  // the middle column of 150..199
  }
}

// ---------------------------------------------------------------------------------------------
// Runs in the shown view

struct TransitionRunTest : TransitionTest {
  // Pumps the loop until Done or a few seconds have passed.
  template <class F> bool PumpUntil(F Done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Done() && std::chrono::steady_clock::now() < until) {
      Application->ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return Done();
  }
};

TEST_F(TransitionRunTest, TheTimerRunsTheEffectToTheNewPicture) {
  View->SetBounds(0, 0, 120, 90);
  auto s = Picture(120, 90, kOld), t = Picture(120, 90, kNew);
  // The caller shows the new picture in the view, as the run ends on it.
  View->IEBitmap()->CopyFromTBitmap(t.get());
  std::vector<Integer> steps;
  Integer stops = 0;
  TColor shown = 0;
  View->SetOnTransitionStep([&](TObject* Sender, Integer Step) {
    EXPECT_EQ(Sender, View);
    steps.push_back(Step);
  });
  View->SetOnTransitionStop([&](TObject* Sender) {
    EXPECT_EQ(Sender, View);
    ++stops;
    shown = View->GetCanvas()->Pixels(60, 45);
  });
  ASSERT_NE(View->OnTransitionStep(), nullptr);
  Engine()->FinalRefresh = true;
  Engine()->Run(s.get(), t.get(), 5, 300);
  EXPECT_TRUE(Engine()->Running());
  ASSERT_TRUE(PumpUntil([&] { return stops > 0; }));
  EXPECT_FALSE(Engine()->Running());
  EXPECT_EQ(stops, 1);
  // Several timed frames, starting at 0 and never going back.
  ASSERT_GE(steps.size(), 3u);
  EXPECT_EQ(steps.front(), 0);
  for (size_t i = 1; i < steps.size(); ++i) EXPECT_GE(steps[i], steps[i - 1]);
  EXPECT_EQ(Engine()->FrameCount(), Integer(steps.size()));
  EXPECT_EQ(ColorToRGB(shown), kNew);
  // The view paints again on its own: its suspension was released.
  View->Update();
  View->Paint();
  EXPECT_EQ(ColorToRGB(View->GetCanvas()->Pixels(5, 5)), kNew);
  EXPECT_EQ(Engine()->WorkPicture()->Width(), 1);
}

TEST_F(TransitionRunTest, ARunCanBeStoppedFromItsOwnStepOrByTheView) {
  View->SetBounds(0, 0, 80, 60);
  auto s = Picture(80, 60, kOld), t = Picture(80, 60, kNew);
  Integer stops = 0, frames = 0;
  View->SetOnTransitionStop([&](TObject*) { ++stops; });
  // Stopped from within the step handler: the frame after it is not drawn from released
  // pictures, and the stop is reported once.
  View->SetOnTransitionStep([&](TObject*, Integer) {
    if (++frames == 3) View->StopTransition();
  });
  Engine()->Run(s.get(), t.get(), 31, 100000);
  ASSERT_TRUE(PumpUntil([&] { return stops > 0; }));
  for (int i = 0; i < 20; ++i) Application->ProcessMessages();
  EXPECT_EQ(frames, 3);
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(Engine()->FrameCount(), 2);

  // Clearing the image and resizing the control stop a run too.
  View->SetOnTransitionStep(nullptr);
  Engine()->Run(s.get(), t.get(), 120, 100000);
  PumpUntil([&] { return Engine()->FrameCount() >= 2; });
  View->ClearImage();
  EXPECT_FALSE(Engine()->Running());
  EXPECT_EQ(stops, 2);
  Engine()->Run(s.get(), t.get(), 2, 100000);
  View->SetBounds(0, 0, 90, 60);
  EXPECT_FALSE(Engine()->Running());
  EXPECT_EQ(stops, 3);
  // A stop with nothing running changes nothing.
  View->StopTransition();
  EXPECT_EQ(stops, 3);
  // The view can go while a run is under way.
  Engine()->Run(s.get(), t.get(), 77, 100000);
  PumpUntil([&] { return Engine()->FrameCount() >= 1; });
  delete Form;
  Form = nullptr;
  for (int i = 0; i < 20; ++i) Application->ProcessMessages();
}

TEST_F(TransitionTest, HandlersAreHeldByTheEngineTheViewCreatesOnce) {
  EXPECT_EQ(View->TransitionEffects(), nullptr);
  EXPECT_EQ(View->OnTransitionStop(), nullptr);
  EXPECT_EQ(View->TransitionEffects(), nullptr);
  View->SetOnTransitionStop([](TObject*) {});
  TIETransitionEffects* e = View->TransitionEffects();
  ASSERT_NE(e, nullptr);
  View->CreateTransitionEffects();
  EXPECT_EQ(View->TransitionEffects(), e);
  EXPECT_NE(View->OnTransitionStop(), nullptr);
  EXPECT_EQ(e->Duration, 1000);
  EXPECT_EQ(e->Timer()->Interval(), 1u);
  EXPECT_FALSE(e->Timer()->Enabled());
}

}  // namespace
