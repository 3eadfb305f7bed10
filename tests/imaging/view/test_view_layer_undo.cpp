// Layer undo in a shown view: a layer moved, resized or turned with the mouse comes back with
// Undo, and a whole-layer snapshot brings back its pixels too.
#include <gtest/gtest.h>

#include "imaging/view/ie_layer.h"
#include "imaging/proc/ie_proc.h"
#include "tests/imaging/view/view_test_fixture.h"

namespace {

using viewtest::ViewTest;

TEST_F(ViewTest, UndoPutsALayerBackAfterAMouseDrag) {
  ShowPlain(120, 90, 0x808080);
  const Integer l = View->AddLayer();
  TIELayer* layer = View->LayerAt(l);
  layer->Bitmap->Allocate(30, 20, ie24RGB);
  layer->Bitmap->Fill(clRed);
  layer->PosX = 10;
  layer->PosY = 10;
  Render();
  View->SaveLayerUndo = true;
  TZodivErProc* proc = View->ProcComponent();
  proc->SetUndoLimit(5);

  View->SetMouseInteract(miMoveLayers);
  Drag({{CX(20), CY(15)}, {CX(30), CY(20)}, {CX(35), CY(25)}});
  ASSERT_EQ(layer->PosX, 25);
  ASSERT_EQ(proc->UndoCount(), 1);
  proc->Undo();
  EXPECT_EQ(layer->PosX, 10);
  EXPECT_EQ(layer->PosY, 10);

  View->SetMouseInteract(miResizeLayers);
  Render();
  Drag({{CX(10), CY(20)}, {CX(30), CY(20)}, {CX(60), CY(20)}});
  ASSERT_NE(layer->GetWidth(), 30);
  proc->Undo();
  EXPECT_EQ(layer->GetWidth(), 30);
  EXPECT_EQ(layer->PosX, 10);

  // Turning saves the whole current layer: its pixels come back with its angle.
  View->SetMouseInteract(miRotateLayers);
  Render();
  Drag({{CX(100), CY(80)}, {CX(100), CY(10)}, {CX(10), CY(10)}});
  ASSERT_NE(layer->RotationAngle(), 0);
  ASSERT_EQ(proc->GetUndoSource(proc->UndoCount() - 1), ieuFullLayer);
  layer->Bitmap->Fill(clLime);
  const Integer added = View->AddLayer();  // a layer made after the snapshot stays
  proc->Undo();
  EXPECT_EQ(layer->RotationAngle(), 0);
  EXPECT_EQ(layer->Bitmap->GetWidth(), 30);
  EXPECT_EQ(layer->Bitmap->GetPixelRGB(4, 4), (TRGB{0, 0, 255}));
  EXPECT_EQ(View->LayerCount(), added + 1);
  EXPECT_EQ(proc->UndoCount(), 3);  // restoring keeps the entries
}

}  // namespace
