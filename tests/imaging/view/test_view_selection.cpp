// Selections made by the program and by the mouse on a real view: bounds, masks against shapes
// ImageMagick draws, grips, moving, selection by colour, and the selection kept across layers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "imaging/core/ie_mask.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/streams.h"
#include "tests/imaging/view/view_test_fixture.h"

namespace {

using viewtest::MagickMask;
using viewtest::SameShape;
using viewtest::ViewTest;

constexpr Integer W = 120, H = 90;

TEST_F(ViewTest, ProgrammaticRectanglesHaveInclusiveBoundsAndAdd) {
  ShowPlain(W, H, 0x808080);
  View->SetSelectionBase(iesbBitmap);
  View->Select(10, 20, 110, 70, 0);
  EXPECT_EQ(Bounds(), (std::vector<Integer>{10, 20, 109, 69}));
  EXPECT_TRUE(View->Selected());
  EXPECT_EQ(Mask(), MagickMask(W, H, "rectangle 10,20 109,69"));

  View->Select(0, 0, 5, 5, 1);
  EXPECT_EQ(Bounds(), (std::vector<Integer>{0, 0, 109, 69}));
  EXPECT_EQ(View->SelectionMask()->GetPixel(4, 4), 1);
  EXPECT_EQ(View->SelectionMask()->GetPixel(50, 50), 1);
  EXPECT_EQ(View->SelectionMask()->GetPixel(7, 7), 0);

  View->Select(30, 30, 30, 60, 0);  // no width: nothing changes
  EXPECT_EQ(Bounds(), (std::vector<Integer>{0, 0, 109, 69}));
  View->Select(100, 10, 500, 20, 0);  // beyond the image: to its last column
  EXPECT_EQ(Bounds(), (std::vector<Integer>{100, 10, W - 1, 19}));

  View->DeSelect();
  EXPECT_EQ(View->SelectionX1(), 2147483647);
  EXPECT_EQ(View->SelectionY1(), 2147483647);
  EXPECT_EQ(View->SelectionX2(), 0);
  EXPECT_EQ(View->SelectionY2(), 0);
  EXPECT_FALSE(View->Selected());

  // In client coordinates the centring offset is taken off.
  View->SetSelectionBase(iesbClientArea);
  View->Select(CX(10), CY(20), CX(40), CY(30), 0);
  EXPECT_EQ(Bounds(), (std::vector<Integer>{10, 20, 39, 29}));
}

TEST_F(ViewTest, MouseDrawnShapesMatchImageMagickShapes) {
  ShowPlain(W, H, 0x808080);
  View->SetSelectionBase(iesbBitmap);
  Integer changes = 0;
  View->OnSelectionChange = [&](TObject*) { ++changes; };

  View->SetMouseInteract(miSelect);
  Drag({{CX(10), CY(10)}, {CX(40), CY(30)}, {CX(60), CY(50)}});
  EXPECT_EQ(Mask(), MagickMask(W, H, "rectangle 10,10 59,49"));
  EXPECT_EQ(Bounds(), (std::vector<Integer>{10, 10, 59, 49}));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(View->SelectionBase(), iesbBitmap);  // the handlers give the caller's base back

  View->SetMouseInteract(miSelectCircle);
  Drag({{CX(60), CY(45)}, {CX(75), CY(55)}, {CX(90), CY(65)}});
  EXPECT_TRUE(SameShape(Mask(), MagickMask(W, H, "ellipse 60,45 30,20 0,360"), W, H));

  View->SetMouseInteract(miSelectPolygon);
  const std::vector<TPoint> corners{{10, 10}, {90, 20}, {70, 70}, {20, 60}};
  for (const TPoint& p : corners) {
    SimulateMouse(View, smPress, mbLeft, CX(p.X), CY(p.Y));
    SimulateMouse(View, smRelease, mbLeft, CX(p.X), CY(p.Y));
  }
  SimulateMouse(View, smDoubleClick, mbLeft, CX(20), CY(60));
  SimulateMouse(View, smRelease, mbLeft, CX(20), CY(60));
  EXPECT_EQ(View->SelectionPolygonCount(), 4);
  EXPECT_TRUE(SameShape(Mask(), MagickMask(W, H, "polygon 10,10 90,20 70,70 20,60"), W, H));

  View->SetMouseInteract(miSelectLasso);
  const std::vector<TPoint> path{{30, 10}, {60, 15}, {100, 40}, {80, 80}, {40, 70}, {15, 40}};
  std::vector<TPoint> client;
  std::string draw = "polygon";
  for (const TPoint& p : path) {
    client.push_back({CX(p.X), CY(p.Y)});
    draw += " " + std::to_string(p.X) + "," + std::to_string(p.Y);
  }
  Drag(client);
  EXPECT_TRUE(SameShape(Mask(), MagickMask(W, H, draw), W, H));

  // A click without movement outside the selection removes it.
  SimulateMouse(View, smPress, mbLeft, CX(5), CY(85));
  SimulateMouse(View, smRelease, mbLeft, CX(5), CY(85));
  EXPECT_FALSE(View->Selected());
}

// On the screen a finished selection shows its dashed outline in the two colours and its grips;
// the image inside stays as it is.
TEST_F(ViewTest, SelectionIsDrawnAsADashedOutlineWithGrips) {
  ShowPlain(W, H, 0x808080);
  View->SetSelectionBase(iesbBitmap);
  View->Select(10, 10, 60, 40, 0);
  Render();
  TCanvas* c = View->Canvas();
  Integer black = 0, white = 0;
  for (Integer x = CX(20); x < CX(50); ++x) {
    const TColor p = c->GetPixel(x, CY(10));
    black += p == 0;
    white += p == 0xFFFFFF;
  }
  EXPECT_GT(black, 8);
  EXPECT_GT(white, 8);
  EXPECT_EQ(black + white, 30);
  EXPECT_EQ(c->GetPixel(CX(35), CY(25)), 0x808080);
  EXPECT_EQ(c->GetPixel(CX(10) + 1, CY(10) + 1), 0xBAFFFF);  // the top-left grip
  View->DeSelect();
  Render();
  EXPECT_EQ(c->GetPixel(CX(30), CY(10)), 0x808080);
}

TEST_F(ViewTest, InteractionSetKeepsOnlyItemsThatGoWithTheNewOne) {
  struct TStep { TIEMouseInteract Write, Expected; };
  const std::vector<std::vector<TStep>> runs = {
      {{miScroll, miScroll}, {miScroll | miSelect, miSelect}},
      {{miZoom | miSelect, miZoom | miSelect}, {miZoom | miSelect | miSelectPolygon, miSelectPolygon}},
      {{miMoveLayers | miResizeLayers | miRotateLayers, miMoveLayers | miRotateLayers}},
      {{miMoveLayers | miResizeLayers, miMoveLayers | miResizeLayers}},
      {{miZoom | miMovingScroll, miZoom | miMovingScroll}, {miZoom | miSelectMagicWand, miSelectMagicWand}},
  };
  for (const auto& run : runs) {
    View->SetMouseInteract(0);
    for (const TStep& step : run) {
      View->SetMouseInteract(step.Write);
      EXPECT_EQ(View->MouseInteract(), step.Expected) << step.Write;
    }
  }
}

// A click that does not move: in selection mode it removes the selection, but with zooming on
// as well it zooms in instead, and outside the image it never zooms.
TEST_F(ViewTest, ClicksWithoutMovementDeselectOrZoom) {
  ShowPlain(W, H, 0x808080);
  View->SetSelectionBase(iesbBitmap);
  View->Select(10, 10, 50, 50, 0);
  View->SetMouseInteract(miSelect);
  SimulateMouse(View, smPress, mbLeft, CX(80), CY(70));
  SimulateMouse(View, smRelease, mbLeft, CX(80), CY(70));
  EXPECT_FALSE(View->Selected());

  View->Select(10, 10, 50, 50, 0);
  View->SetMouseInteract(miZoom | miSelect);
  SimulateMouse(View, smPress, mbLeft, 1, 1);
  SimulateMouse(View, smRelease, mbLeft, 1, 1);
  EXPECT_EQ(View->ZoomX(), 100);
  View->Select(10, 10, 50, 50, 0);
  SimulateMouse(View, smPress, mbLeft, CX(80), CY(70));
  SimulateMouse(View, smRelease, mbLeft, CX(80), CY(70));
  EXPECT_TRUE(View->Selected());
  EXPECT_EQ(View->ZoomX(), 200);
}

TEST_F(ViewTest, GripsResizeAndDraggingInsideMoves) {
  ShowPlain(W, H, 0x808080);
  View->SetSelectionBase(iesbBitmap);
  View->SetMouseInteract(miSelect);
  Drag({{CX(10), CY(10)}, {CX(60), CY(50)}});

  // Inside the selection: the whole rectangle moves.
  Drag({{CX(30), CY(30)}, {CX(35), CY(32)}, {CX(40), CY(35)}});
  EXPECT_EQ(Bounds(), (std::vector<Integer>{20, 15, 69, 54}));
  EXPECT_EQ(Mask(), MagickMask(W, H, "rectangle 20,15 69,54"));

  // The left side dragged past the right one carries on as the right side, from the old
  // right edge.
  Drag({{CX(20), CY(30)}, {CX(80), CY(30)}, {CX(90), CY(30)}});
  EXPECT_EQ(Bounds(), (std::vector<Integer>{70, 15, 90, 54}));
  EXPECT_EQ(Mask(), MagickMask(W, H, "rectangle 70,15 90,54"));

  // A fixed ratio of 0.5: a rectangle 100 pixels wide is 50 high.
  View->DeSelect();
  View->SetSelectionAspectRatio(0.5);
  Drag({{CX(5), CY(5)}, {CX(105), CY(12)}});
  EXPECT_EQ(Bounds(), (std::vector<Integer>{5, 5, 104, 54}));
}

TEST_F(ViewTest, MagicWandClickSelectsTheFloodFilledRegion) {
  const std::string image = testsupport::Fixture(
      "wand-plasma.ppm", "convert -size 90x70 -seed 7 plasma:fractal -blur 0x2 -depth 8 ppm:{out}");
  Show(ietest::ReadPamFile(image));
  View->SetMouseInteract(miSelectMagicWand);
  View->MagicWandMode = 1;
  View->MagicWandTolerance = 25;
  SimulateMouse(View, smPress, mbLeft, CX(60), CY(40));
  SimulateMouse(View, smRelease, mbLeft, CX(60), CY(40));
  const std::string dir = testsupport::MakeTempDir("wandview");
  testsupport::RunOk("python3 " CLAVORNE_SOURCE_DIR "/tests/imaging/proc/magic_wand_reference.py " + image +
                     " 60 40 25 region 0 " + dir + "/ref.pgm");
  const ietest::TPam ref = ietest::ReadPamFile(dir + "/ref.pgm");
  std::vector<Byte> want;
  for (Integer v : ref.Samples) want.push_back(v ? 1 : 0);
  EXPECT_EQ(Mask(), want);
  EXPECT_TRUE(View->Selected());
  testsupport::RemoveTree(dir);
}

// A selection follows the layers: made on a layer at (10, 10) and shown on one at (30, 0), it
// lands 20 pixels left and 10 lower in that layer's image.
TEST_F(ViewTest, SelectionIsCarriedAcrossLayersRelativeToTheirPositions) {
  ShowPlain(W, H, 0x808080);
  View->SetSelectionBase(iesbBitmap);
  const Integer a = View->AddLayer();
  View->IEBitmap()->Allocate(50, 50, ie24RGB);
  View->LayerAt(a)->PosX = View->LayerAt(a)->PosY = 10;
  const Integer b = View->AddLayer();
  View->LayerAt(b)->PosX = 30;
  View->SetCurrentLayer(a);
  View->Select(25, 5, 35, 15, 0);
  View->SetCurrentLayer(b);
  EXPECT_EQ(Bounds(), (std::vector<Integer>{5, 15, 14, 24}));
  EXPECT_TRUE(View->Selected());
}

// The selection stream is read as untrusted bytes: sizes with no rows behind them are refused
// before any mask is made, and stored layer positions anywhere in the 32-bit range move the
// selection (or lose it off the image) without overflowing.
TEST_F(ViewTest, SelectionStreamWithDamagedSizesOrFarPositions) {
  ShowPlain(W, H, 0x808080);
  View->SetSelectionBase(iesbBitmap);
  View->Select(10, 20, 30, 40, 0);
  TMemoryStream saved;
  View->SaveSelectionToStream(&saved);
  const Byte* bytes = static_cast<const Byte*>(saved.Memory());
  Integer count = 0;
  std::memcpy(&count, bytes + 8, 4);
  const Int64 positionAt = 12 + Int64(count) * 8 + 16 + 1;
  auto Patched = [&](Int64 At, std::initializer_list<Integer> Values, TMemoryStream& Out) {
    Out.Clear();
    Out.WriteBuffer(bytes, saved.Size());
    Out.SetPosition(At);
    for (Integer v : Values) Out.WriteBuffer(&v, 4);
    Out.SetPosition(0);
  };

  struct TFar {
    Integer StoredX, StoredY, LayerX;
    std::vector<Integer> Bounds;  // empty: nothing left selected
  } far[] = {
      {0x7FFFFFF0, 0, 0, {}},
      {0, INT32_MIN + 4, 0, {}},
      {0x7FFFFF00, 0, 0x7FFFFF00 - 5, {15, 20, 34, 39}},
  };
  for (const TFar& f : far) {
    View->LayerAt(0)->PosX = f.LayerX;
    TMemoryStream m;
    Patched(positionAt, {f.StoredX, f.StoredY}, m);
    EXPECT_TRUE(View->LoadSelectionFromStream(&m, 2));
    EXPECT_EQ(View->Selected(), !f.Bounds.empty()) << f.StoredX;
    if (!f.Bounds.empty()) {
      EXPECT_EQ(Bounds(), f.Bounds) << f.StoredX;
    }
  }
  View->LayerAt(0)->PosX = 0;

  View->Select(10, 20, 30, 40, 0);
  for (const std::initializer_list<Integer> size : {std::initializer_list<Integer>{0x7FFFFFFF, 1},
                                                    std::initializer_list<Integer>{8, 0x7FFFFFFF}}) {
    TMemoryStream m;
    Patched(0, size, m);
    EXPECT_THROW(View->LoadSelectionFromStream(&m, 0), EReadError);
    EXPECT_EQ(Bounds(), (std::vector<Integer>{10, 20, 29, 39}));
  }
  // A mask without columns stores no rows however tall it claims to be: it loads at once, as
  // the empty selection it is.
  for (Integer mode : {0, 1, 2}) {
    TMemoryStream m;
    Patched(0, {0, 0x7FFFFFFF}, m);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(View->LoadSelectionFromStream(&m, mode));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0) << mode;
    EXPECT_FALSE(View->Selected()) << mode;
    View->Select(10, 20, 30, 40, 0);
  }
}

}  // namespace
