// Moving about a large image: the navigator view and its rectangle, zooming onto a rectangle
// drawn with the mouse, scrolling while a drag runs past the edge, and the selection outline the
// view draws over the image.
#include <vector>

#include "tests/imaging/view/view_test_fixture.h"

namespace {

using namespace viewtest;

constexpr Integer BigW = 400, BigH = 300;
constexpr Integer W = 120, H = 90;

struct NavigationTest : ViewTest {
  TTestView* MakeSecondView(Integer L, Integer T, Integer W, Integer H) {
    auto* V = new TTestView(Form);
    V->SetParent(Form);
    V->SetScrollBars(ssNone);
    V->SetBounds(L, T, W, H);
    return V;
  }
  std::vector<Integer> BoundsOf(TZodivErView* V) {
    return {V->SelectionX1(), V->SelectionY1(), V->SelectionX2(), V->SelectionY2()};
  }
};

// The navigator shows the whole image with the part the view shows selected; scrolling or
// zooming the view moves that rectangle, dragging the rectangle scrolls the view, and a freed
// or unlinked navigator leaves the view working on its own image.
TEST_F(NavigationTest, NavigatorFollowsTheViewAndScrollsIt) {
  ShowPlain(BigW, BigH, 0x808080);
  TTestView* Nav = MakeSecondView(200, 0, 100, 75);
  View->SetNavigator(Nav);
  EXPECT_EQ(Nav->IEBitmap(), View->IEBitmap());
  EXPECT_DOUBLE_EQ(Nav->ZoomX(), Nav->FitZoom());
  EXPECT_EQ(BoundsOf(Nav), (std::vector<Integer>{0, 0, 159, 119}));

  View->ScrollTo(100, 50);
  EXPECT_EQ(BoundsOf(Nav), (std::vector<Integer>{100, 50, 259, 169}));
  View->SetZoom(200);  // 80 x 60 bitmap pixels are visible
  View->ScrollTo(280, 160);
  EXPECT_EQ(BoundsOf(Nav), (std::vector<Integer>{140, 80, 219, 139}));

  // Grab the rectangle in the navigator and move it 10, 5 of its client pixels.
  const Integer GX = Nav->BitmapToScreenX(180), GY = Nav->BitmapToScreenY(110);
  SimulateMouse(Nav, smPress, mbLeft, GX, GY);
  SimulateMouse(Nav, smMove, mbLeft, GX + 10, GY + 5);
  SimulateMouse(Nav, smRelease, mbLeft, GX + 10, GY + 5);
  const Integer NX = Nav->SelectionX1(), NY = Nav->SelectionY1();
  EXPECT_NEAR(NX, 140 + 10 * 100 / Nav->ZoomX(), 1.5);
  EXPECT_NEAR(NY, 80 + 5 * 100 / Nav->ZoomY(), 1.5);
  EXPECT_EQ(Nav->SelectionX2() - NX, 79);  // moved, not resized
  EXPECT_EQ(View->ViewX(), 2 * NX);
  EXPECT_EQ(View->ViewY(), 2 * NY);
  EXPECT_EQ(View->ScreenToBitmapX(0), NX);

  // Unlinking gives the navigator an image of its own and leaves the view's alone.
  View->SetNavigator(nullptr);
  EXPECT_NE(Nav->IEBitmap(), View->IEBitmap());
  EXPECT_EQ(View->IEBitmap()->GetWidth(), BigW);
  EXPECT_FALSE(Nav->OnSelectionChanging);

  // A navigator freed while linked is forgotten.
  TTestView* Nav2 = MakeSecondView(200, 100, 100, 75);
  View->SetNavigator(Nav2);
  delete Nav2;
  EXPECT_EQ(View->Navigator(), nullptr);
  View->ScrollTo(0, 0);
  View->SetZoom(100);
  Render();
  EXPECT_EQ(View->ViewX(), 0);
}

// The navigator shows an image the view owns; when the view frees that image (merging or
// removing layers, or being freed itself) the navigator must be left on a live one.
TEST_F(NavigationTest, NavigatorNeverKeepsAFreedImage) {
  ShowPlain(BigW, BigH, 0x808080);
  TTestView* Nav = MakeSecondView(200, 0, 100, 75);
  auto LiveImageOf = [](TZodivErView* V, TIEBitmap* B) {
    for (Integer I = 0; I < V->LayerCount(); ++I)
      if (V->LayerAt(I)->Bitmap == B) return true;
    return false;
  };

  // Merging the base with a layer above replaces the base's image.
  View->AddLayer();
  View->SetCurrentLayer(0);
  View->SetNavigator(Nav);
  View->MergeLayers(0, 1, true);
  EXPECT_TRUE(LiveImageOf(View, Nav->IEBitmap()));
  EXPECT_EQ(View->Navigator(), Nav);
  EXPECT_TRUE(Nav->OnSelectionChanging);

  // Removing the layer the navigator shows, while another one is current.
  View->AddLayer();
  View->AddLayer();
  View->SetCurrentLayer(1);
  View->SetNavigator(Nav);
  View->SetCurrentLayer(0);
  View->RemoveLayer(1);
  EXPECT_TRUE(LiveImageOf(View, Nav->IEBitmap()));
  Nav->Update();
  Nav->Paint();

  // The view freed before its navigator.
  TIEBitmap* Shown = Nav->IEBitmap();
  delete View;
  View = nullptr;
  EXPECT_NE(Nav->IEBitmap(), Shown);
  EXPECT_FALSE(Nav->OnSelectionChanging);
  Nav->Update();
  Nav->Paint();
  SimulateMouse(Nav, smPress, mbLeft, 10, 10);
  SimulateMouse(Nav, smRelease, mbLeft, 10, 10);
}

// A rectangle drawn in zoom-select mode fills the control: the zoom is the one that fits it
// (offered to OnZoomIn first), its centre comes to the centre of the control, and the selection
// the view had before the drag is back afterwards.
TEST_F(NavigationTest, ZoomRectangleFillsTheControl) {
  struct TCase {
    bool Uniform;
    double Offered;  // what OnZoomIn answers; 0 keeps the proposal
    double ZoomX, ZoomY;
  };
  // The rectangle is 80 x 30 bitmap pixels in a 160 x 120 control: 200 % across, 400 % down.
  const TCase Cases[] = {{true, 0, 200, 200}, {false, 0, 200, 400}, {true, 150, 150, 150}};
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Uniform ? (C.Offered ? "event" : "uniform") : "per axis");
    ShowPlain(BigW, BigH, 0x808080);
    View->SetZoom(100);
    View->ScrollTo(0, 0);
    View->SetSelectionBase(iesbBitmap);
    View->Select(5, 5, 15, 15, 0);
    View->SetMouseInteract(miSelectZoom);
    View->ZoomSelectionUniform = C.Uniform;
    double Proposed = 0;
    View->OnZoomIn = [&](TObject*, double& Z) {
      Proposed = Z;
      if (C.Offered) Z = C.Offered;
    };
    Drag({{20, 30}, {60, 45}, {100, 60}});
    View->OnZoomIn = nullptr;
    EXPECT_DOUBLE_EQ(Proposed, 200.0);
    EXPECT_DOUBLE_EQ(View->ZoomX(), C.ZoomX);
    EXPECT_DOUBLE_EQ(View->ZoomY(), C.ZoomY);
    // The centre of the rectangle, bitmap (60, 45), is at the control's centre.
    EXPECT_NEAR(View->BitmapToScreenX(60), 80, 1);
    EXPECT_NEAR(View->BitmapToScreenY(45), 60, 1);
    EXPECT_EQ(Bounds(), (std::vector<Integer>{5, 5, 14, 14}));
  }

  // Too small to zoom onto, or not there at all: nothing changes.
  View->SetZoom(100);
  View->ScrollTo(0, 0);
  View->SetSelectionBase(iesbBitmap);
  View->Select(10, 10, 11, 40, 0);
  View->ZoomSelection(true, false);
  EXPECT_DOUBLE_EQ(View->ZoomX(), 100.0);
  EXPECT_TRUE(View->Selected());
  View->DeSelect();
  View->ZoomSelection(true, false);
  EXPECT_DOUBLE_EQ(View->ZoomX(), 100.0);
}

// A selection rectangle dragged past an edge scrolls the view as far as it can go; the pixel the
// drag started on stays its corner and the far corner is the last visible pixel.
TEST_F(NavigationTest, RectangleDraggedPastTheEdgeScrollsTheView) {
  ShowPlain(BigW, BigH, 0x808080);
  View->SetMouseInteract(miSelect);
  Drag({{100, 50}, {130, 70}, {200, 90}});
  EXPECT_EQ(View->ViewX(), BigW - 160);
  EXPECT_EQ(View->ViewY(), 0);
  EXPECT_EQ(Bounds(), (std::vector<Integer>{100, 50, BigW - 1, 89}));

  // Now up and to the left, from the far end (the pressed pixel is the exclusive corner here).
  View->ScrollTo(BigW, BigH);
  ASSERT_EQ(View->ViewY(), BigH - 120);
  Drag({{100, 50}, {60, 30}, {-30, -40}});
  EXPECT_EQ(View->ViewX(), 0);
  EXPECT_EQ(View->ViewY(), 0);
  EXPECT_EQ(Bounds(), (std::vector<Integer>{0, 0, 100 + BigW - 160 - 1, 50 + BigH - 120 - 1}));

  // The outline is drawn again once the drag is over.
  Render();
  View->DrawSelection(View, false);
  Integer Dashes = 0;
  for (Integer X = 10; X < 40; ++X) {
    const TColor P = View->Canvas()->GetPixel(X, 0);
    Dashes += P == 0 || P == 0xFFFFFF;
  }
  EXPECT_EQ(Dashes, 30);
}

// A layer dragged past the bottom-right corner of a tall image: the view stops scrolling
// sideways long before it stops scrolling down, and the layer must still move with the pointer
// only, not by the sideways steps the view could not make.
TEST_F(NavigationTest, LayerDraggedPastACornerMovesWithThePointer) {
  ShowPlain(200, 600, 0x808080);
  const Integer L = View->AddLayer();
  View->LayerAt(L)->Bitmap->Allocate(20, 20, ie24RGB);
  View->LayerAt(L)->Bitmap->Fill(255.0);
  View->LayerAt(L)->PosX = 100;
  View->LayerAt(L)->PosY = 50;
  Render();
  View->SetMouseInteract(miMoveLayers);
  Drag({{110, 60}, {120, 70}, {170, 130}});
  EXPECT_EQ(View->ViewX(), 200 - 160);
  EXPECT_EQ(View->ViewY(), 600 - 120);
  // The pointer went from bitmap (110, 60) to (170 + 40, 130 + 480).
  EXPECT_EQ(View->LayerAt(L)->PosX, 100 + (210 - 110));
  EXPECT_EQ(View->LayerAt(L)->PosY, 50 + (610 - 60));
}

// While a rectangle is being dragged its outline is a dash of four pixels in the first colour
// and four in the second; the finished selection shows its outline in the same two colours.
TEST_F(NavigationTest, OutlineDashesUseTheSelectionColours) {
  ShowPlain(W, H, 0x808080);
  View->SetSelectionColor1(0x0000FF);
  View->SetSelectionColor2(0x00FF00);
  View->SetMouseInteract(miSelect);
  SimulateMouse(View, smPress, mbLeft, CX(10), CY(10));
  SimulateMouse(View, smMove, mbLeft, CX(60), CY(40));
  std::vector<TColor> Top;
  // The corner pixel belongs to the left side too, which is drawn last.
  for (Integer X = CX(10) + 1; X < CX(58); ++X) Top.push_back(View->Canvas()->GetPixel(X, CY(10)));
  for (size_t I = 0; I + 8 < Top.size(); ++I) {
    EXPECT_EQ(Top[I], Top[I + 8]) << I;
    EXPECT_TRUE(Top[I] == 0x0000FF || Top[I] == 0x00FF00) << I;
  }
  const std::vector<TColor> Start(Top.begin(), Top.begin() + 7);
  EXPECT_EQ(Start, (std::vector<TColor>{0x0000FF, 0x0000FF, 0x0000FF, 0x00FF00, 0x00FF00, 0x00FF00, 0x00FF00}));
  SimulateMouse(View, smRelease, mbLeft, CX(60), CY(40));
  Render();
  View->DrawSelection(View, false);
  Integer Red = 0, Green = 0;
  for (Integer X = CX(20); X < CX(50); ++X) {
    const TColor P = View->Canvas()->GetPixel(X, CY(10));
    Red += P == 0x0000FF;
    Green += P == 0x00FF00;
  }
  EXPECT_GT(Red, 8);
  EXPECT_GT(Green, 8);
  EXPECT_EQ(Red + Green, 30);
}

}  // namespace
