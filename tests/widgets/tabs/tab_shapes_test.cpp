// The six tab shapes in the four orientations, rendered through the control's own paint path and
// compared with reviewed pictures. Tab sizes are fixed and tabs have no caption, so no font
// metric enters the pictures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/rtl/exceptions.h"
#include "widgets/tabs/tab_control.h"

namespace {

const char* const kOrientationNames[] = {"top", "left", "bottom", "right"};

void RenderStrip(TClTabOrientation O, TBitmap* Out) {
  const bool side = O == toLeft || O == toRight;
  const Integer tw = side ? 70 : 200, th = side ? 200 : 70;
  Out->SetPixelFormat(pf32bit);
  Out->SetSize(side ? 6 * tw : 3 * tw, side ? th : 2 * th);
  for (Integer s = 0; s < 6; ++s) {
    TClCustomTabControl tc(nullptr);
    tc.SetBounds(0, 0, tw, th);
    tc.SetTabOrientation(O);
    tc.SetTabStyle(TClTabStyle(s));
    tc.SetTabWidth(side ? 20 : 60);
    tc.SetTabHeight(side ? 60 : 20);
    for (int i = 0; i < 3; ++i) tc.TabDataList()->AddTabData(new TClTabData());
    tc.RefreshTabs();
    tc.SetTabIndex(1);
    tc.PaintNow();
    const Integer x = side ? s * tw : (s % 3) * tw, y = side ? 0 : (s / 3) * th;
    Out->Canvas()->CopyRect(Rect(x, y, x + tw, y + th), tc.Canvas(), Rect(0, 0, tw, th));
  }
}

TEST(TabShapes, SixStylesInFourOrientations) {
  for (Integer o = 0; o < 4; ++o) {
    TBitmap actual;
    RenderStrip(TClTabOrientation(o), &actual);
    const std::string name = std::string("tab_shapes_") + kOrientationNames[o];
    const std::string produced = std::string(CLAVORNE_BINARY_DIR) + "/" + name + ".bmp";
    actual.SaveToFile(produced);
    TPicture reference;
    try {
      reference.LoadFromFile(std::string(CLAVORNE_SOURCE_DIR) + "/tests/widgets/data/" + name + ".png");
    } catch (const Exception& e) {
      ADD_FAILURE() << name << ": " << e.Message;
      continue;
    }
    TBitmap* want = reference.Bitmap();
    ASSERT_EQ(want->Width(), actual.Width()) << name;
    ASSERT_EQ(want->Height(), actual.Height()) << name;
    int differing = 0;
    for (Integer y = 0; y < actual.Height(); ++y)
      for (Integer x = 0; x < actual.Width(); ++x)
        if (want->PixelColor(x, y) != actual.PixelColor(x, y) && ++differing <= 3)
          ADD_FAILURE() << name << " differs at " << x << "," << y << " (see " << produced << ")";
    EXPECT_EQ(differing, 0) << name;
  }
}

}  // namespace
