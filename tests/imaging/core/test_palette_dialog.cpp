// The palette dialog driven as a user drives it: the mouse highlights cells, a click chooses,
// Esc and Cancel leave; and the view's scroll and wheel holders.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "imaging/core/ie_palette_dialog.h"
#include "imaging/core/ie_system_probes.h"
#include "imaging/core/ie_view_params.h"
#include "platform/gui/application.h"
#include "platform/gui/input_simulation.h"
#include "platform/gui/keys.h"
#include "platform/gui/timers.h"

namespace {

std::vector<TRGB> Palette(Integer Count) {
  std::vector<TRGB> p;
  for (Integer i = 0; i < Count; ++i) p.push_back(TRGB{Byte(i * 5), Byte(255 - i * 3), Byte(i)});
  return p;
}

// Shows the dialog modally and runs Action inside its loop; a dialog still open after ten
// seconds is closed so that a fault fails instead of hanging.
bool ExecuteWith(TZodivErPaletteDialog& d, const std::function<void()>& Action) {
  bool acted = false;
  int ticks = 0;
  TTimer timer(nullptr);
  timer.SetInterval(10);
  timer.OnTimer = [&](TObject*) {
    if (!d.Modal()) return;
    if (!acted) {
      acted = true;
      Action();
    } else if (++ticks > 1000 && d.ModalResult() == mrNone) {
      d.SetModalResult(mrAbort);
    }
  };
  timer.SetEnabled(true);
  const bool chosen = d.Execute();
  timer.SetEnabled(false);
  return chosen;
}

TEST(PaletteDialog, LayoutAndCells) {
  TZodivErPaletteDialog d(nullptr);
  EXPECT_EQ(d.Caption(), "Palette");
  EXPECT_EQ(d.Width(), 520);
  EXPECT_EQ(d.Height(), 199);
  EXPECT_EQ(d.BorderStyle(), bsDialog);
  EXPECT_EQ(d.BorderIcons(), biSystemMenu);
  EXPECT_EQ(d.CancelButton()->Caption(), "&Cancel");
  EXPECT_EQ(d.CancelButton()->Left(), 4);
  EXPECT_EQ(d.CancelButton()->Top(), 136);

  const std::vector<TRGB> p = Palette(40);
  d.SetPalette(p.data(), 40);
  ShowActive(&d);
  // 32 cells in the first row, 8 in the second; the frame is white until highlighted.
  const auto fill = [&](Integer i) { return TColor(p[i].r) | TColor(p[i].g) << 8 | TColor(p[i].b) << 16; };
  EXPECT_EQ(PixelOnScreen(&d, 31 * 16 + 8, 8), fill(31));
  EXPECT_EQ(PixelOnScreen(&d, 7 * 16 + 8, 16 + 8), fill(39));
  EXPECT_NE(PixelOnScreen(&d, 8 * 16 + 8, 16 + 8), fill(39));
  EXPECT_EQ(PixelOnScreen(&d, 1, 1), 0xFFFFFFu);

  SimulateMouse(&d, smMove, mbLeft, 17, 1);
  EXPECT_EQ(d.HighlightedCell(), 1);
  EXPECT_EQ(PixelOnScreen(&d, 17, 1), 0x000000u);
  SimulateMouse(&d, smMove, mbLeft, 1, 17);
  EXPECT_EQ(d.HighlightedCell(), 32);
  // Over no entry (beyond the 40th, or right of the last column) nothing changes.
  SimulateMouse(&d, smMove, mbLeft, 20 * 16 + 5, 16 + 5);
  EXPECT_EQ(d.HighlightedCell(), 32);
  SimulateMouse(&d, smMove, mbLeft, 32 * 16 + 2, 5);
  EXPECT_EQ(d.HighlightedCell(), 32);
  d.Hide();
}

TEST(PaletteDialog, AClickChoosesTheHighlightedColour) {
  const std::vector<TRGB> p = Palette(40);
  TZodivErPaletteDialog d(nullptr);
  d.SetPalette(p.data(), 40);
  bool stillOpenAfterEarlyClick = false;
  const bool chosen = ExecuteWith(d, [&] {
    // A click before any cell was highlighted chooses nothing and keeps the dialog open.
    SimulateClick(&d, 300, 100);
    Application->ProcessMessages();
    stillOpenAfterEarlyClick = d.ModalResult() == mrNone;
    SimulateMouse(&d, smMove, mbLeft, 3 * 16 + 5, 16 + 5);
    SimulateClick(&d, 3 * 16 + 5, 16 + 5);
  });
  EXPECT_TRUE(stillOpenAfterEarlyClick);
  EXPECT_TRUE(chosen);
  const TRGB c = p[35];
  EXPECT_EQ(d.ChosenColor, TColor(c.r) | TColor(c.g) << 8 | TColor(c.b) << 16);
}

TEST(PaletteDialog, EscAndCancelLeaveWithoutAColour) {
  const std::vector<TRGB> p = Palette(8);
  for (bool useButton : {false, true}) {
    TZodivErPaletteDialog d(nullptr);
    d.SetPalette(p.data(), 8);
    const bool chosen = ExecuteWith(d, [&] {
      SimulateMouse(&d, smMove, mbLeft, 5, 5);
      if (useButton)
        SimulateClick(d.CancelButton());
      else
        SimulateKey(&d, VK_ESCAPE);
    });
    EXPECT_FALSE(chosen) << useButton;
    EXPECT_EQ(d.ModalResult(), mrCancel) << useButton;
    EXPECT_EQ(d.ChosenColor, 0u);
  }
}

TEST(ViewParams, DefaultsAndProbes) {
  TIEScrollBarParams s;
  EXPECT_EQ(s.LineStepFactor, -1);
  EXPECT_EQ(s.PageStepFactor, -1);
  EXPECT_TRUE(s.TrackThumb);
  TIEMouseWheelParams w;
  EXPECT_FALSE(w.Reverse);
  EXPECT_EQ(w.WheelAction, 2);
  EXPECT_EQ(w.StepKind, 1);
  EXPECT_EQ(w.StepValue, 8);
  EXPECT_FALSE(w.ZoomAtCursor);

  EXPECT_EQ(IEGetWindowsVersion(), 0);
  EXPECT_FALSE(IEIsLeftButtonDown());
  TForm form(nullptr);
  TComponent part(&form);
  EXPECT_EQ(IEFindHandle(&part), &form);
  EXPECT_EQ(IEFindHandle(nullptr), nullptr);
}

}  // namespace
