// The processing component attached to a view works on the view's selection and undoes through it.
#include "imaging/proc/ie_proc.h"
#include "tests/imaging/view/view_test_fixture.h"

namespace {

using viewtest::ViewTest;

bool IsColour(TIEBitmap* B, Integer X, Integer Y, TRGB C) {
  const TRGB p = B->GetPixelRGB(X, Y);
  return p.r == C.r && p.g == C.g && p.b == C.b;
}

TEST_F(ViewTest, FillKeepsToTheSelectionAndUndoBringsTheImageBack) {
  ShowPlain(40, 30, clWhite);
  View->SetSelectionBase(iesbBitmap);
  View->Select(10, 10, 20, 15, 0);
  ASSERT_TRUE(View->Selected());
  TZodivErProc* proc = View->Proc();
  proc->AutoUndo = true;
  const TRGB red = IECreateRGB(255, 0, 0), white = IECreateRGB(255, 255, 255);
  proc->Fill(red);

  TIEBitmap* img = View->IEBitmap();
  for (Integer y = 0; y < 30; ++y)
    for (Integer x = 0; x < 40; ++x) {
      const bool inside = x >= 10 && x <= 19 && y >= 10 && y <= 14;
      ASSERT_TRUE(IsColour(img, x, y, inside ? red : white)) << x << "," << y;
    }

  proc->Undo();
  img = View->IEBitmap();
  for (Integer y = 0; y < 30; ++y)
    for (Integer x = 0; x < 40; ++x) ASSERT_TRUE(IsColour(img, x, y, white)) << x << "," << y;
}

TEST_F(ViewTest, ASavedSelectionComesBackByUndo) {
  ShowPlain(40, 30, clWhite);
  View->SetSelectionBase(iesbBitmap);
  View->Select(5, 6, 25, 20, 0);
  TZodivErProc* proc = View->Proc();
  proc->SaveUndo(ieuSelection);
  View->DeSelect();
  ASSERT_FALSE(View->Selected());
  proc->Undo();
  ASSERT_TRUE(View->Selected());
  EXPECT_EQ(View->SelectionX1(), 5);
  EXPECT_EQ(View->SelectionY1(), 6);
  EXPECT_EQ(View->SelectionX2(), 24);
  EXPECT_EQ(View->SelectionY2(), 19);
}

}  // namespace
