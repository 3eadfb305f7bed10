// The view's layer list: removing, choosing, clearing and merging layers, the tiling road of the
// program, hit tests, layer drags with the mouse, and the composed result against ImageMagick.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "imaging/proc/ie_proc.h"
#include "tests/imaging/view/view_test_fixture.h"

namespace {

using viewtest::ViewTest;

// Adds a layer of W x H in one colour at (X, Y); returns its index.
Integer AddPlainLayer(TZodivErView* View, Integer W, Integer H, TColor Colour, Integer X = 0, Integer Y = 0) {
  const Integer i = View->AddLayer();
  TIELayer* l = View->LayerAt(i);
  l->Bitmap->Allocate(W, H, ie24RGB);
  l->Bitmap->Fill(static_cast<double>(Colour));
  l->PosX = X;
  l->PosY = Y;
  return i;
}

// Removing a layer together with the mask layer above it must leave the view on a layer that
// still exists, the one the user had (or the nearest one when it is gone).
TEST_F(ViewTest, RemovingALayerWithItsMaskKeepsAValidCurrentLayer) {
  struct TCase {
    Integer Layers;      // above the base; layer 2 is the mask of layer 1
    Integer Current;     // current before the removal of layer 1
    Integer Expected;    // current after it
    TColor ExpectedColour;
  };
  const TColor colours[] = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF};
  for (const TCase& c : {TCase{2, 2, 0, colours[0]}, TCase{3, 3, 1, colours[3]}, TCase{4, 3, 1, colours[3]},
                         TCase{4, 4, 2, colours[4]}, TCase{3, 0, 0, colours[0]}, TCase{3, 1, 1, colours[3]}}) {
    SCOPED_TRACE(std::to_string(c.Layers) + " layers, current " + std::to_string(c.Current));
    View->ClearLayers();
    View->IEBitmap()->Allocate(40, 30, ie24RGB);
    View->IEBitmap()->Fill(static_cast<double>(colours[0]));
    for (Integer i = 1; i <= c.Layers; ++i) AddPlainLayer(View, 20, 10, colours[i]);
    View->LayerAt(2)->MaskLayer = true;
    View->SetCurrentLayer(c.Current);
    View->RemoveLayer(1);
    ASSERT_EQ(View->LayerCount(), c.Layers - 1);
    ASSERT_EQ(View->CurrentLayerIndex(), c.Expected);
    EXPECT_EQ(View->IEBitmap(), View->CurrentLayer()->Bitmap);
    EXPECT_EQ(View->IEBitmap()->GetPixelRGB(0, 0), IETColorToTRGB(c.ExpectedColour));
    Render();  // draws every remaining layer: nothing freed is reached
  }

  // A base whose only other layer is its mask: removing the base would empty the view.
  View->ClearLayers();
  AddPlainLayer(View, 5, 5, 0xFFFFFF);
  View->LayerAt(1)->MaskLayer = true;
  View->RemoveLayer(0);
  EXPECT_EQ(View->LayerCount(), 2);
  // Without a mask the upper layer becomes the base.
  View->LayerAt(1)->MaskLayer = false;
  View->RemoveLayer(0);
  EXPECT_EQ(View->LayerCount(), 1);
  EXPECT_EQ(View->CurrentLayerIndex(), 0);
  EXPECT_EQ(View->IEBitmap()->GetWidth(), 5);
}

TEST_F(ViewTest, CurrentLayerSkipsLayersThatCannotBeSelected) {
  ShowPlain(40, 30, 0x808080);
  AddPlainLayer(View, 10, 10, 0xFF);
  AddPlainLayer(View, 10, 10, 0xFF00);
  AddPlainLayer(View, 10, 10, 0xFF0000);
  View->LayerAt(2)->CanSelect = false;
  View->LayerAt(1)->CanSelect = false;
  View->SetCurrentLayer(2);
  EXPECT_EQ(View->CurrentLayerIndex(), 0);
  View->SetCurrentLayer(3);
  EXPECT_EQ(View->IEBitmap()->GetPixelRGB(0, 0), IETColorToTRGB(0xFF0000));
  View->SetCurrentLayer(7);  // out of range: ignored
  EXPECT_EQ(View->CurrentLayerIndex(), 3);

  // Clearing the layers gives layer 0 its defaults; with layer 0 alone its settings stay.
  View->ClearLayers();
  EXPECT_EQ(View->LayerCount(), 1);
  EXPECT_TRUE(View->LayerAt(0)->ShowFrame);
  EXPECT_FALSE(View->LayerAt(0)->NoResize);
  View->LayerAt(0)->NoResize = true;
  View->LayerAt(0)->PosX = 3;
  View->SetBackgroundColor(0x123456);
  View->ClearLayers();
  EXPECT_TRUE(View->LayerAt(0)->NoResize);
  EXPECT_EQ(View->LayerAt(0)->PosX, 3);
  EXPECT_EQ(View->IEBitmap()->GetPixelRGB(5, 5), IETColorToTRGB(0x123456));
  EXPECT_EQ(View->IEBitmap()->GetWidth(), 40);
}

TEST_F(ViewTest, MergingIntoTheBaseKeepsItsOriginAndLeavesTheGapTransparent) {
  View->SetBackgroundColor(0x00FF00);
  ShowPlain(100, 100, 0x0000FF);
  AddPlainLayer(View, 50, 50, 0xFF0000, 150, 0);
  View->MergeLayers(0, 1, true);
  ASSERT_EQ(View->LayerCount(), 1);
  TIEBitmap* b = View->IEBitmap();
  ASSERT_EQ(b->GetWidth(), 200);
  ASSERT_EQ(b->GetHeight(), 100);
  ASSERT_TRUE(b->HasAlphaChannel());
  EXPECT_EQ(b->GetPixelRGB(120, 10), IETColorToTRGB(0x00FF00));
  EXPECT_EQ(b->GetAlphaChannel()->GetPixelByte(120, 10), 0);
  EXPECT_EQ(b->GetAlphaChannel()->GetPixelByte(99, 99), 255);
  EXPECT_EQ(b->GetPixelRGB(199, 49), IETColorToTRGB(0xFF0000));
  EXPECT_EQ(b->GetAlphaChannel()->GetPixelByte(199, 50), 0);
  EXPECT_EQ(View->LayerAt(0)->PosX, 0);
  EXPECT_EQ(View->ImageWidth(), 200);

  // Two layers above the base merge at their union's corner.
  AddPlainLayer(View, 20, 20, 0xFF, 10, 10);
  AddPlainLayer(View, 20, 20, 0xFF00, 20, 20);
  View->MergeLayers(2, 1, true);
  ASSERT_EQ(View->LayerCount(), 2);
  EXPECT_EQ(View->LayerAt(1)->PosX, 10);
  EXPECT_EQ(View->LayerAt(1)->Bitmap->GetWidth(), 30);
  EXPECT_EQ(View->CurrentLayerIndex(), 1);
  View->MergeLayers(1, 1, true);  // a layer with itself: nothing
  EXPECT_EQ(View->LayerCount(), 2);
}

// The program's tiling step: a 2 x 2 base, one layer per frame placed after the previous one,
// merged from the top into the base.
TEST_F(ViewTest, TilesMergedFromTheTopMakeOneSheet) {
  ShowPlain(64, 48, 0x808080);
  View->LayerAt(0)->WidthOverride = View->LayerAt(0)->HeightOverride = 2;
  const TColor tiles[] = {0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF};
  Integer x = 0, y = 0;
  for (Integer i = 0; i < 4; ++i) {
    const Integer idx = AddPlainLayer(View, 30, 20, tiles[i], x, y);
    x += View->LayerAt(idx)->GetWidth();
    if (i == 1) {
      x = 0;
      y += View->LayerAt(idx)->GetHeight();
    }
  }
  for (Integer i = View->LayerCount() - 1; i >= 1; --i) View->MergeLayers(0, i, true);
  ASSERT_EQ(View->LayerCount(), 1);
  TIEBitmap* sheet = View->IEBitmap();
  EXPECT_EQ(sheet->GetWidth(), 60);
  EXPECT_EQ(sheet->GetHeight(), 40);
  EXPECT_FALSE(sheet->HasAlphaChannel());
  EXPECT_EQ(sheet->GetPixelRGB(0, 0), IETColorToTRGB(tiles[0]));
  EXPECT_EQ(sheet->GetPixelRGB(45, 5), IETColorToTRGB(tiles[1]));
  EXPECT_EQ(sheet->GetPixelRGB(5, 35), IETColorToTRGB(tiles[2]));
  EXPECT_EQ(sheet->GetPixelRGB(59, 39), IETColorToTRGB(tiles[3]));
}

TEST_F(ViewTest, HitTestsSeeThroughTransparentPixels) {
  ShowPlain(100, 80, 0x808080);
  const Integer l = AddPlainLayer(View, 30, 30, 0xFF, 20, 20);
  TIEBitmap* alpha = View->LayerAt(l)->Bitmap->GetAlphaChannel();
  alpha->Fill(255);
  alpha->FillRect(0, 0, 14, 29, 0);  // the left half is transparent
  Render();
  EXPECT_EQ(View->FindLayerAt(CX(40), CY(30), true), l);
  EXPECT_EQ(View->FindLayerAt(CX(25), CY(30), true), 0);
  EXPECT_EQ(View->FindLayerAt(-50, -50, true), -1);
  View->SetSelectionOptions(View->SelectionOptions() | iesoSelectTranspLayers);
  EXPECT_EQ(View->FindLayerAt(CX(25), CY(30), true), l);
  EXPECT_TRUE(View->IsPointInLayer(CX(20), CY(20), l));
  EXPECT_FALSE(View->IsPointInLayer(CX(19), CY(20), l));
  EXPECT_FALSE(View->IsPointInLayer(CX(20), CY(20), -1));
}

TEST_F(ViewTest, LayersAreMovedResizedAndTurnedWithTheMouse) {
  ShowPlain(120, 90, 0x808080);
  const Integer l = AddPlainLayer(View, 30, 20, 0xFF, 10, 10);
  Render();
  std::vector<TIELayerEvent> events;
  View->OnLayerNotify = [&](TObject*, Integer, TIELayerEvent E) { events.push_back(E); };

  View->SetMouseInteract(miMoveLayers);
  View->SaveLayerUndo = true;
  std::vector<TIEUndoSource> undo;
  View->ProcComponent()->OnSaveUndo = [&](TObject*, TIEUndoSource S) { undo.push_back(S); };
  Drag({{CX(20), CY(15)}, {CX(30), CY(20)}, {CX(35), CY(25)}});
  EXPECT_EQ(undo, std::vector<TIEUndoSource>{ieuLayer});  // one step for the whole drag
  EXPECT_EQ(View->LayerAt(l)->PosX, 25);
  EXPECT_EQ(View->LayerAt(l)->PosY, 20);
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events.front(), ielSelected);
  EXPECT_EQ(events[1], ielMoving);
  EXPECT_EQ(events.back(), ielMoved);

  // The left side dragged beyond the right one leaves a width of 1.
  View->SetMouseInteract(miResizeLayers);
  Render();
  const Integer midY = CY(20 + 10);
  Drag({{CX(25), midY}, {CX(45), midY}, {CX(80), midY}});
  EXPECT_EQ(View->LayerAt(l)->GetWidth(), 1);
  EXPECT_EQ(events.back(), ielResized);

  // Turning with Shift moves in steps of 45 degrees.
  View->LayerAt(l)->WidthOverride = 0;
  View->SetMouseInteract(miRotateLayers);
  Render();
  // Round the layer's centre: up on its right, left above it, down on its left.
  Drag({{CX(100), CY(80)}, {CX(100), CY(10)}, {CX(10), CY(10)}, {CX(10), CY(80)}}, ssShift);
  const double angle = View->LayerAt(l)->RotationAngle();
  EXPECT_NE(angle, 0);
  EXPECT_EQ(std::fmod(angle, 45.0), 0.0) << angle;
  EXPECT_EQ(events.back(), ielRotated);
}

// A layer turned by an angle that is not a quarter turn: the corner box the hit test uses lies
// where the pixels are drawn. A positive angle turns counter-clockwise on the screen, so the
// top-right corner rises above the top-left one.
TEST_F(ViewTest, TurnedLayerIsHitWhereItIsDrawn) {
  ShowPlain(120, 90, clWhite);
  const Integer l = AddPlainLayer(View, 40, 20, clRed, 40, 30);
  View->LayerAt(l)->SetRotationAngle(30);
  const Integer W = View->ClientWidth(), H = View->ClientHeight();
  TIEBitmap drawn(W, H, ie24RGB);
  View->Update();
  View->RenderToBitmap(&drawn, nullptr, nullptr, true, false);
  const TPoint* c = View->LayerAt(l)->RotatedCorners;
  EXPECT_LT(c[1].Y, c[0].Y - 10);
  EXPECT_GT(c[3].X, c[0].X + 5);  // the bottom-left corner moves right of the top-left one

  const auto red = [&](Integer x, Integer y) { return drawn.GetPixelRGB(x, y) == TRGB{0, 0, 255}; };
  const double mx = (c[0].X + c[1].X + c[2].X + c[3].X) / 4.0, my = (c[0].Y + c[1].Y + c[2].Y + c[3].Y) / 4.0;
  for (Integer k = 0; k < 4; ++k) {
    SCOPED_TRACE("corner " + std::to_string(k));
    const double dx = mx - c[k].X, dy = my - c[k].Y, len = std::hypot(dx, dy);
    const Integer ix = c[k].X + Integer(std::lround(5 * dx / len)), iy = c[k].Y + Integer(std::lround(5 * dy / len));
    const Integer ox = c[k].X - Integer(std::lround(3 * dx / len)), oy = c[k].Y - Integer(std::lround(3 * dy / len));
    EXPECT_TRUE(View->IsPointInLayer(ix, iy, l));
    EXPECT_TRUE(red(ix, iy));
    EXPECT_FALSE(View->IsPointInLayer(ox, oy, l));
    EXPECT_FALSE(red(ox, oy));
  }
  // Every drawn pixel of the layer lies in the box and the box is filled, up to its border.
  std::vector<Byte> ours, box;
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) {
      ours.push_back(red(x, y) ? 1 : 0);
      box.push_back(View->IsPointInLayer(x, y, l) ? 1 : 0);
    }
  EXPECT_TRUE(viewtest::SameShape(ours, box, W, H));
}

// Opacity, a quarter turn and clipping to the base, composed by the view as ImageMagick
// composes the same layers. A positive angle turns a layer counter-clockwise on the screen.
TEST_F(ViewTest, ComposedLayersMatchImageMagick) {
  const std::string base = testsupport::Fixture("compose-base.ppm", "convert -size 60x40 gradient:khaki-navy ppm:{out}");
  const std::string one = testsupport::Fixture("compose-one.ppm", "convert -size 20x10 -seed 5 plasma:fractal -depth 8 ppm:{out}");
  const std::string two = testsupport::Fixture("compose-two.ppm", "convert -size 30x16 gradient:red-lime ppm:{out}");
  const std::string three = testsupport::Fixture("compose-three.ppm", "convert -size 20x10 -seed 9 plasma:fractal -depth 8 ppm:{out}");
  Show(ietest::ReadPamFile(base));
  const auto add = [&](const std::string& File, Integer X, Integer Y) {
    const Integer i = View->AddLayer();
    viewtest::LoadPam(*View->LayerAt(i)->Bitmap, ietest::ReadPamFile(File));
    View->LayerAt(i)->PosX = X;
    View->LayerAt(i)->PosY = Y;
    return View->LayerAt(i);
  };
  add(one, 10, 5)->Opacity = 128;
  add(two, 50, 30)->ClipToBase = true;
  add(three, 20, 20)->SetRotationAngle(90);
  Render();
  TIEBitmap dest(60, 40, ie24RGB);
  View->DrawLayersTo(&dest);
  const ietest::TPam want = ietest::PamFromCommand(
      "convert " + base + " \\( " + one + " -alpha set -channel A -evaluate set 50.196% +channel \\) -geometry +10+5 "
      "-compose over -composite \\( " + two + " -crop 10x10+0+0 +repage \\) -geometry +50+30 -composite \\( " + three +
      " -rotate -90 \\) -geometry +25+15 -composite -depth 8 ppm:-");
  EXPECT_LE(ietest::MaxDifference(dest, want), 1);
}

// Layer geometry comes from callers and from layers files unchecked: a layer placed, sized or
// turned anywhere in the 32-bit range draws at every zoom without overflowing, and one that far
// off covers nothing of the image.
TEST_F(ViewTest, LayersFarOutOfRangeDrawAtAnyZoomAndCoverNothing) {
  const double inf = std::numeric_limits<double>::infinity();
  struct TCase {
    const char* Name;
    std::function<void(TIELayer*)> Place;
  } cases[] = {
      {"far right", [](TIELayer* l) { l->PosX = 0x7FFFFFF0; }},
      {"far up-left, clipped to the base", [](TIELayer* l) { l->PosX = l->PosY = INT32_MIN; l->ClipToBase = true; }},
      {"turned round an infinite centre", [&](TIELayer* l) { l->SetRotationAngle(30); l->RotationCenterX = inf; }},
      {"turned, far left, centre far off", [](TIELayer* l) { l->PosX = INT32_MIN; l->SetRotationAngle(30); l->RotationCenterY = -1e300; }},
      {"magnifier at the right end", [](TIELayer* l) { l->Magnifier = true; l->MagnifierSource = 0; l->PosX = 0x7FFFFFFF; }},
      {"turned and stretched past any image", [](TIELayer* l) {
         l->PosX = -(1 << 24);
         l->WidthOverride = l->HeightOverride = 1 << 24;
         l->SetRotationAngle(30);
       }},
  };
  for (const TCase& c : cases) {
    ShowPlain(60, 40, 0x336699);
    const Integer i = AddPlainLayer(View, 20, 10, 0x00FF00);
    c.Place(View->LayerAt(i));
    for (const double zoom : {100.0, 10000.0, 0.001}) {
      View->SetZoom(zoom);
      Render();
    }
    View->SetZoom(100);
    // Baking the turn in makes the turned image, which for these is refused, not attempted.
    View->ApplyLayerRotations(i);
    Render();
    TBitmap shown;
    shown.SetPixelFormat(pf24bit);
    shown.SetSize(View->ClientWidth(), View->ClientHeight());
    const TRect r{0, 0, View->ClientWidth(), View->ClientHeight()};
    shown.Canvas()->CopyRect(r, View->Canvas(), r);
    Integer covered = 0, base = 0;
    for (Integer y = 0; y < shown.Height(); ++y)
      for (Integer x = 0; x < shown.Width(); ++x) {
        covered += ColorToRGB(shown.PixelColor(x, y)) == ColorToRGB(0x00FF00);
        base += ColorToRGB(shown.PixelColor(x, y)) == ColorToRGB(0x336699);
      }
    EXPECT_EQ(covered, 0) << c.Name;
    EXPECT_EQ(base, 60 * 40) << c.Name;
    View->RemoveLayer(i);
  }
}

// Flattening measures the stack in 64 bits: a layer at the far end of the range makes a stack
// no image can hold, which is refused with the destination left as it was.
TEST_F(ViewTest, FlatteningAStackTooWideIsRefused) {
  ShowPlain(60, 40, 0x336699);
  AddPlainLayer(View, 20, 10, 0x00FF00, 0x7FFFFFF0, 0);
  TIEBitmap dest(3, 2, ie24RGB);
  EXPECT_THROW(View->DrawLayersTo(&dest), EOutOfMemory);
  EXPECT_EQ(dest.GetWidth(), 3);
}

}  // namespace
