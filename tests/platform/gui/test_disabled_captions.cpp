#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/gui/application.h"
#include "platform/gui/colors.h"
#include "platform/gui/forms.h"
#include "platform/gui/input_simulation.h"
#include "platform/gui/stdctrls.h"

namespace {

// The client area of Control as the window shows it, row by row.
std::vector<TColor> ShownPixels(TControl* Control) {
  std::vector<TColor> Pixels;
  for (Integer Y = 0; Y < Control->Height(); ++Y)
    for (Integer X = 0; X < Control->Width(); ++X) Pixels.push_back(PixelOnScreen(Control, X, Y));
  return Pixels;
}

// A disabled caption is drawn in the scheme's grey text: readable on the button face and plainly
// not the black of an enabled one. The caption's pixels are found as the black ones of the same
// control enabled.
TEST(DisabledCaptions, AreGreyTextOnTheButtonFace) {
  struct Case {
    const char* Name;
    std::function<TControl*(TForm*)> Make;
  };
  const Case Cases[] = {
      {"check box", [](TForm* F) { return new TCheckBox(F); }},
      {"radio button", [](TForm* F) { return new TRadioButton(F); }},
      {"label", [](TForm* F) { return new TLabel(F); }},
      {"group box", [](TForm* F) { return new TGroupBox(F); }},
  };
  const TColor Black = ColorToRGB(clWindowText);
  const TColor Grey = ColorToRGB(clGrayText);
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TForm Form(nullptr);
    Form.SetBounds(50, 50, 200, 60);
    ShowActive(&Form);
    TControl* Control = C.Make(&Form);
    Control->SetParent(&Form);
    Control->SetBounds(8, 8, 110, 28);
    Control->SetCaption("Disabled WWW");
    Control->Show();
    const std::vector<TColor> Enabled = ShownPixels(Control);
    Control->SetEnabled(false);
    const std::vector<TColor> Disabled = ShownPixels(Control);
    ASSERT_EQ(Enabled.size(), Disabled.size());
    std::size_t CaptionPixels = 0;
    std::size_t GreyPixels = 0;
    for (std::size_t I = 0; I < Enabled.size(); ++I) {
      if (Enabled[I] != Black) continue;
      ++CaptionPixels;
      if (Disabled[I] == Grey) ++GreyPixels;
    }
    EXPECT_GE(CaptionPixels, 40u);
    EXPECT_EQ(GreyPixels, CaptionPixels);
  }
}

}  // namespace
