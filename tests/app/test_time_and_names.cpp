#include <gtest/gtest.h>

#include "app/fitted_drawing.h"
#include "app/time_text.h"
#include "app/video_extensions.h"

TEST(FormatTime, ClockTexts) {
  const struct {
    Int64 us;
    const char* text;
  } cases[] = {
      {0, "00:00:00.000"},
      {3723456789LL, "01:02:03.456"},
      {999, "00:00:00.000"},          // below a millisecond
      {59999999, "00:00:59.999"},     // truncated, never rounded up
      {90000000000LL, "25:00:00.000"},  // hours go past a day
  };
  for (const auto& c : cases) EXPECT_EQ(format_time(c.us), c.text) << c.us;
}

TEST(FitRect, KeepsProportionsAndCentres) {
  const struct {
    TRect source, box, expected;
  } cases[] = {
      // wider than the box: full width, centred vertically
      {Rect(0, 0, 200, 50), Rect(0, 0, 100, 100), Rect(0, 38, 100, 62)},  // 37.5 rounds to even
      // taller: full height, centred horizontally
      {Rect(0, 0, 160, 90), Rect(0, 0, 433, 170), Rect(65, 0, 368, 170)},
      // same proportions fill the box; an offset box keeps its offset
      {Rect(0, 0, 10, 10), Rect(5, 5, 25, 25), Rect(5, 5, 25, 25)},
  };
  for (const auto& c : cases) {
    TRect r;
    fit_rect(c.source, c.box, r);
    EXPECT_EQ(r, c.expected);
  }
}

TEST(VideoExtensions, WholeExtensionsOnlyWithoutRegardToCase) {
  const struct {
    const char* name;
    bool video;
  } cases[] = {
      {"/v/a.mp4", true}, {"/v/a.MP4", true}, {"/v/a.Mkv", true}, {"/v/a.ts", true},
      {"/v/a.m", false},     // a part of ".MPG" is no extension of the list
      {"/v/a.mp", false},    {"/v/a", false}, {"/v/a.txt", false}, {"/v/a.", false},
      {"/v.mp4/a", false},   // a dot in the folder is no extension
  };
  for (const auto& c : cases) EXPECT_EQ(IsVideoFileName(c.name), c.video) << c.name;
}
