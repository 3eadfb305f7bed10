// A view on a shown form, headless, showing an image smaller than the control at 100 %, so that
// client and bitmap coordinates differ by the centring offset; and the masks the tests compare.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/view/ie_view.h"
#include "platform/gui/forms.h"
#include "platform/gui/input_simulation.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/support/fixtures.h"

namespace viewtest {

class TTestView : public TZodivErView {
 public:
  using TZodivErView::TZodivErView;
  using TZodivErView::Paint;
  using TZodivErView::Scroll;
};

inline void LoadPam(TIEBitmap& B, const ietest::TPam& P) {
  B.Allocate(P.Width, P.Height, ie24RGB);
  for (Integer y = 0; y < P.Height; ++y)
    for (Integer x = 0; x < P.Width; ++x) {
      B.SetPixelRGB(x, y, IECreateRGB(Byte(P.At8(x, y, 0)), Byte(P.At8(x, y, 1)), Byte(P.At8(x, y, 2))));
      if (P.Depth == 4) B.GetAlphaChannel()->SetPixelByte(x, y, Byte(P.At8(x, y, 3)));
    }
}

struct ViewTest : ::testing::Test {
  TForm* Form = nullptr;
  TTestView* View = nullptr;

  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetBounds(40, 40, 420, 360);
    View = new TTestView(Form);
    View->SetParent(Form);
    View->SetScrollBars(ssNone);
    View->SetBounds(0, 0, 160, 120);
    ShowActive(Form);
  }
  void TearDown() override { delete Form; }

  // Shows Image and draws once, so that the layers know where they are on the screen.
  void Show(const ietest::TPam& Image) {
    LoadPam(*View->IEBitmap(), Image);
    Render();
  }
  void ShowPlain(Integer W, Integer H, TColor Colour) {
    View->IEBitmap()->Allocate(W, H, ie24RGB);
    View->IEBitmap()->Fill(static_cast<double>(Colour));
    Render();
  }
  void Render() {
    View->Update();
    View->Paint();
  }
  // Client position of a bitmap pixel.
  Integer CX(Integer X) { return X + View->OffsetX(); }
  Integer CY(Integer Y) { return Y + View->OffsetY(); }

  void Drag(const std::vector<TPoint>& Path, TShiftState Shift = 0) {
    SimulateMouse(View, smPress, mbLeft, Path.front().X, Path.front().Y, Shift);
    for (size_t i = 1; i < Path.size(); ++i) SimulateMouse(View, smMove, mbLeft, Path[i].X, Path[i].Y, Shift);
    SimulateMouse(View, smRelease, mbLeft, Path.back().X, Path.back().Y, Shift);
  }

  std::vector<Byte> Mask() {
    TIEMask* m = View->SelectionMask();
    std::vector<Byte> out;
    for (Integer y = 0; y < m->Height; ++y)
      for (Integer x = 0; x < m->Width; ++x) out.push_back(m->GetPixel(x, y) ? 1 : 0);
    return out;
  }
  std::vector<Integer> Bounds() {
    return {View->SelectionX1(), View->SelectionY1(), View->SelectionX2(), View->SelectionY2()};
  }
};

// A white-on-black mask drawn by ImageMagick without anti-aliasing.
inline std::vector<Byte> MagickMask(Integer W, Integer H, const std::string& Draw) {
  const ietest::TPam p = ietest::PamFromCommand("convert -size " + std::to_string(W) + "x" + std::to_string(H) +
                                                " xc:black +antialias -fill white -draw " +
                                                testsupport::ShellQuote(Draw) + " -depth 8 pgm:-");
  std::vector<Byte> out;
  for (Integer y = 0; y < p.Height; ++y)
    for (Integer x = 0; x < p.Width; ++x) out.push_back(p.At(x, y, 0) > 127 ? 1 : 0);
  return out;
}

// Two masks agree when they differ only on the border of the reference shape: every pixel where
// they differ has a neighbour on the other side of the reference's edge.
inline ::testing::AssertionResult SameShape(const std::vector<Byte>& Ours, const std::vector<Byte>& Ref, Integer W,
                                            Integer H) {
  if (Ours.size() != Ref.size()) return ::testing::AssertionFailure() << "sizes differ";
  Integer inside = 0, differ = 0;
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) {
      const Byte r = Ref[size_t(y) * W + x];
      inside += r;
      if (Ours[size_t(y) * W + x] == r) continue;
      ++differ;
      bool edge = false;
      for (Integer ny = y - 1; ny <= y + 1; ++ny)
        for (Integer nx = x - 1; nx <= x + 1; ++nx)
          if (nx >= 0 && ny >= 0 && nx < W && ny < H && Ref[size_t(ny) * W + nx] != r) edge = true;
      if (!edge) return ::testing::AssertionFailure() << "pixel " << x << "," << y << " differs inside the shape";
    }
  if (inside == 0) return ::testing::AssertionFailure() << "empty reference";
  return ::testing::AssertionSuccess() << differ << " border pixels differ of " << inside;
}

}  // namespace viewtest
