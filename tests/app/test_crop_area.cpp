// The crop dialogs' edits against the selection they make, without a view: the rectangle the
// view is asked to select and what the edits show for it.
#include <gtest/gtest.h>

#include "app/crop_area.h"

namespace {

// The view's selection after it selected R (Right and Bottom one past the last pixel).
TCropArea Selected(const TRect& R) { return {R.Left, R.Top, R.Right - 1, R.Bottom - 1}; }

TEST(CropArea, EachEditMovesItsEdgeAndShowsTheSelectionsOwnSize) {
  // 100 wide from X1 = 20: the view selects up to 120 (one past), so the last column is 119,
  // and the edits, the crop and the selection all say 100.
  const TCropArea start{20, 10, 59, 49};  // 40 x 40
  EXPECT_EQ(CropFieldsOf(start), (TCropFields{20, 10, 40, 40}));
  struct {
    TCropField Field;
    Integer Value;
    TRect Select;
  } const cases[] = {
      {cfWidth, 100, Rect(20, 10, 120, 50)},
      {cfHeight, 1, Rect(20, 10, 60, 11)},
      // A position moves that edge only; the far edge stays.
      {cfLeft, 0, Rect(0, 10, 60, 50)},
      {cfTop, 30, Rect(20, 30, 60, 50)},
      // A position past the far edge takes the far edge along: one column, never inverted.
      {cfLeft, 80, Rect(80, 10, 81, 50)},
      {cfTop, 200, Rect(20, 200, 60, 201)},
      // Inside the 320 x 240 picture whatever is typed, and at least one pixel.
      {cfWidth, 1000, Rect(20, 10, 320, 50)},
      {cfWidth, 0, Rect(20, 10, 21, 50)},
      {cfHeight, 2147483647, Rect(20, 10, 60, 240)},
      {cfLeft, 5000, Rect(319, 10, 320, 50)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "field " << c.Field << " = " << c.Value);
    const TRect r = CropSelectionAfterEdit(start, c.Field, c.Value, 320, 240);
    EXPECT_EQ(r, c.Select);
    const TCropFields shown = CropFieldsOf(Selected(r));
    EXPECT_EQ(shown.Width, r.Width());
    EXPECT_EQ(shown.Height, r.Height());
  }
  EXPECT_EQ(CropFieldsOf(Selected(CropSelectionAfterEdit(start, cfWidth, 100, 320, 240))).Width, 100);
  // Nothing selected shows nothing.
  EXPECT_EQ(CropFieldsOf(TCropArea{}), TCropFields{});
  EXPECT_EQ(CropFilterPart(100, 40, 20, 10), ",crop=100:40:20:10:exact=1");
}

TEST(CropArea, LeavingAnEditKeepsPositionZeroAndGivesSizesAtLeastOne) {
  struct {
    TCropField Field;
    const char* Typed;
    const char* Kept;
  } const cases[] = {
      {cfLeft, "0", "0"},  {cfTop, "0", "0"},    {cfLeft, "", "0"},    {cfTop, "x", "0"},
      {cfWidth, "0", "1"}, {cfHeight, "", "1"},  {cfWidth, "12", "12"}, {cfLeft, "7", "7"},
      {cfHeight, "99999999999", "1"},
  };
  for (const auto& c : cases) EXPECT_EQ(CropFieldTextOnExit(c.Field, c.Typed), c.Kept) << c.Field << " " << c.Typed;
}

}  // namespace
