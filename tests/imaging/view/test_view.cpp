// The image view on a real form, headless: what its surface shows against ImageMagick's point
// scaling, the zoom steps and wheel, the client/bitmap mapping, scrolling, the refresh pipeline
// and its guards.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/core/ie_startup.h"
#include "imaging/formats/png/ie_png.h"
#include "imaging/view/ie_view.h"
#include "imaging/view/ie_view_cursors.h"
#include "platform/gui/application.h"
#include "platform/gui/forms.h"
#include "platform/gui/input_simulation.h"
#include "platform/gui/keys.h"
#include "platform/gui/stdctrls.h"
#include "imaging/io/ie_io_unit.h"
#include "imaging/io/ie_zodiver_io.h"
#include "imaging/proc/ie_proc_services.h"
#include "imaging/proc/resample/ie_resample.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/view/view_test_fixture.h"
#include "tests/support/fixtures.h"

namespace {

using testsupport::Fixture;
using testsupport::ShellQuote;

using viewtest::TTestView;

// A noisy picture: every pixel differs from its neighbours, so a shift of one pixel shows.
std::string NoisePng(Integer W, Integer H) {
  const std::string Name = "view-noise-" + std::to_string(W) + "x" + std::to_string(H) + ".png";
  return Fixture(Name, "convert -size " + std::to_string(W) + "x" + std::to_string(H) +
                           " xc:gray50 -seed 7 +noise Random -depth 8 -type TrueColor PNG24:{out}");
}

void LoadPng(const std::string& Path, TIEBitmap& Into) {
  TMemoryStream M;
  ietest::FillStream(M, ietest::ReadWholeFile(Path));
  TIOParamsVals Params(nullptr);
  ietest::TProgressProbe Probe;
  ReadPNGStream(&M, &Into, Params, Probe.Progress, false);
  ASSERT_FALSE(Probe.Failed()) << Path;
}

TRGB RgbOf(TColor C) {
  const TColor V = ColorToRGB(C);
  return TRGB{Byte(V >> 16), Byte(V >> 8), Byte(V)};
}

// What the control's surface holds now.
struct TSurface {
  TBitmap Bitmap;
  explicit TSurface(TZodivErView* View) {
    Bitmap.SetPixelFormat(pf24bit);
    Bitmap.SetSize(View->ClientWidth(), View->ClientHeight());
    const TRect R{0, 0, View->ClientWidth(), View->ClientHeight()};
    Bitmap.Canvas()->CopyRect(R, View->Canvas(), R);
  }
  TRGB At(Integer X, Integer Y) { return static_cast<TRGB*>(Bitmap.ScanLine(Y))[X]; }
};

// The shared view fixture, also showing images built in the test.
struct ViewFixture : viewtest::ViewTest {
  using viewtest::ViewTest::Show;
  void Show(const TIEBitmap& Image) {
    View->IEBitmap()->Assign(const_cast<TIEBitmap*>(&Image));
    View->Update();
  }
};

// An image that covers the whole control is drawn without painting any background, straight
// into the back buffer's rows; the next paint must show the new pixels, not what the back
// buffer's canvas held when it was last copied to the screen.
TEST_F(ViewFixture, RepaintShowsPixelsWrittenSinceTheLastPaint) {
  TIEBitmap Image(200, 150, ie24RGB);
  Image.Fill(RGB(200, 30, 30));
  Show(Image);
  View->Paint();
  EXPECT_EQ(TSurface(View).At(80, 60), (TRGB{30, 30, 200}));  // TRGB is blue, green, red
  View->IEBitmap()->Fill(RGB(20, 180, 40));
  Render();
  TSurface S(View);
  EXPECT_EQ(S.At(80, 60), (TRGB{40, 180, 20}));
  EXPECT_EQ(S.At(0, 0), (TRGB{40, 180, 20}));
}

TEST_F(ViewFixture, ZoomedImageMatchesImageMagickPointScaling) {
  const std::string Png = NoisePng(23, 17);
  TIEBitmap Image;
  LoadPng(Png, Image);
  Show(Image);
  for (Integer Zoom : {100, 200, 300}) {
    SCOPED_TRACE(Zoom);
    View->SetZoom(Zoom);
    Render();
    const ietest::TPam Want =
        ietest::PamFromCommand("convert " + ShellQuote(Png) + " -scale " + std::to_string(Zoom) + "% ppm:-");
    ASSERT_EQ(View->ExtentX(), Want.Width);
    ASSERT_EQ(View->ExtentY(), Want.Height);
    TSurface S(View);
    const Integer OX = View->OffsetX(), OY = View->OffsetY();
    EXPECT_EQ(OX, (View->ClientWidth() - Want.Width) / 2);
    Integer Bad = 0;
    for (Integer Y = 0; Y < Want.Height; ++Y)
      for (Integer X = 0; X < Want.Width; ++X) {
        const TRGB P = S.At(OX + X, OY + Y);
        if (P.r != Want.At(X, Y, 0) || P.g != Want.At(X, Y, 1) || P.b != Want.At(X, Y, 2)) ++Bad;
      }
    EXPECT_EQ(Bad, 0);
    // Around the image: the background colour.
    EXPECT_EQ(S.At(0, 0), RgbOf(clBtnFace));
    EXPECT_EQ(S.At(View->ClientWidth() - 1, View->ClientHeight() - 1), RgbOf(clBtnFace));
  }
}

// A filtered zoom draws what the library's resampler makes of the image, whether the whole
// image is in view (scaled where it lies) or only a part of it (that part scaled).
TEST_F(ViewFixture, FilteredZoomShowsTheResamplersPicture) {
  TIEBitmap Image;
  LoadPng(NoisePng(64, 48), Image);
  Show(Image);
  IERegisterProcessingServices();  // the filters come from the processing layer
  for (TResampleFilter Filter : {rfTriangle, rfLanczos3, rfFastLinear}) {
    SCOPED_TRACE(Filter);
    View->SetZoomFilter(Filter);
    View->SetZoom(50);
    Render();
    TIEBitmap Want(32, 24, ie24RGB);
    IEResampleFiltered(&Image, &Want, Filter);
    TSurface S(View);
    const Integer OX = View->OffsetX(), OY = View->OffsetY();
    Integer Bad = 0;
    for (Integer Y = 0; Y < 24; ++Y)
      for (Integer X = 0; X < 32; ++X)
        if (!(S.At(OX + X, OY + Y) == static_cast<TRGB*>(Want.GetScanline(Y))[X])) ++Bad;
    EXPECT_EQ(Bad, 0);
    EXPECT_EQ(S.At(OX - 1, OY), RgbOf(clBtnFace));
    EXPECT_EQ(S.At(OX + 32, OY + 23), RgbOf(clBtnFace));
  }
  View->SetZoomFilter(rfNone);
}

// Navigation keys go to the form (focus moves on Tab, Esc presses the cancel button) unless
// the view's special-key event keeps them; kept keys arrive as ordinary key-downs.
TEST_F(ViewFixture, SpecialKeyEventKeepsNavigationKeysForTheView) {
  auto* Cancel = new TButton(Form);
  Cancel->SetParent(Form);
  Cancel->SetBounds(200, 200, 80, 24);
  Cancel->SetCancel(true);
  Integer Cancels = 0;
  Cancel->OnClick = [&](TObject*) { ++Cancels; };
  std::vector<Word> Asked, Downs;
  View->OnKeyDown = [&](TObject*, Word& Key, TShiftState) { Downs.push_back(Key); };

  View->SetFocus();
  ASSERT_TRUE(View->Focused());
  SimulateKey(View, VK_ESCAPE, 0, '\x1b');
  EXPECT_EQ(Cancels, 1);
  SimulateKey(View, VK_TAB, 0, '\t');
  EXPECT_FALSE(View->Focused()) << "an unwanted Tab moves the focus on";
  EXPECT_TRUE(Downs.empty());

  View->OnSpecialKey = [&](TObject*, Word CharCode, TShiftState, bool& Handled) {
    Asked.push_back(CharCode);
    Handled = CharCode != VK_RETURN;
  };
  View->SetFocus();
  SimulateKey(View, VK_TAB, 0, '\t');
  SimulateKey(View, VK_ESCAPE, 0, '\x1b');
  SimulateKey(View, VK_LEFT);
  EXPECT_TRUE(View->Focused());
  EXPECT_EQ(Cancels, 1);
  EXPECT_EQ(Downs, (std::vector<Word>{VK_TAB, VK_ESCAPE, VK_LEFT}));
  SimulateKey(View, 'A', 0, 'a');  // not a navigation key: never offered
  EXPECT_EQ(Asked, (std::vector<Word>{VK_TAB, VK_ESCAPE, VK_LEFT}));
}

TEST_F(ViewFixture, ScrolledViewShowsTheScaledImageFromThePixelAtItsEdge) {
  const std::string Png = NoisePng(40, 30);
  TIEBitmap Image;
  LoadPng(Png, Image);
  Show(Image);
  View->SetZoom(300);  // 120 x 90 zoomed over a 160 x 120 client would not scroll
  View->SetBounds(0, 0, 70, 50);
  View->ScrollTo(10, 7);
  EXPECT_EQ(View->ViewX(), 10);
  EXPECT_EQ(View->ViewY(), 7);
  View->ScrollTo(100000, -5);  // clamped to the maxima
  Integer MaxX = 0, MaxY = 0;
  View->GetMaxViewXY(MaxX, MaxY);
  EXPECT_EQ(View->ViewX(), MaxX);
  EXPECT_EQ(View->ViewY(), 0);
  View->ScrollTo(10, 7);
  Render();
  const ietest::TPam Want = ietest::PamFromCommand("convert " + ShellQuote(Png) + " -scale 300% ppm:-");
  // The first column shown is the left edge of the bitmap pixel under the scroll position.
  const Integer SX = View->MapScreenX(View->ViewX()), SY = View->MapScreenY(View->ViewY());
  EXPECT_EQ(SX, 9);
  EXPECT_EQ(SY, 6);
  TSurface S(View);
  Integer Bad = 0;
  for (Integer Y = 0; Y < View->ClientHeight(); ++Y)
    for (Integer X = 0; X < View->ClientWidth(); ++X) {
      const TRGB P = S.At(X, Y);
      if (P.r != Want.At(SX + X, SY + Y, 0) || P.g != Want.At(SX + X, SY + Y, 1) || P.b != Want.At(SX + X, SY + Y, 2))
        ++Bad;
    }
  EXPECT_EQ(Bad, 0);
}

// Whatever the zoom, the pixel drawn at a client point is the one the mapping names there, and
// mapping a bitmap column to the client and back gives it again.
TEST_F(ViewFixture, MappingAgreesWithWhatIsDrawnAtEveryZoom) {
  TIEBitmap Image;
  LoadPng(NoisePng(37, 29), Image);
  Show(Image);
  for (double Zoom : {33.0, 50.0, 75.0, 100.0, 150.0, 250.0, 300.0}) {
    SCOPED_TRACE(Zoom);
    View->SetZoom(Zoom);
    Render();
    TSurface S(View);
    Integer Bad = 0, Checked = 0;
    for (Integer Y = View->OffsetY(); Y < View->OffsetY() + View->VisibleExtentY(); Y += 2)
      for (Integer X = View->OffsetX(); X < View->OffsetX() + View->VisibleExtentX(); X += 2) {
        const Integer BX = View->ScreenToBitmapX(X), BY = View->ScreenToBitmapY(Y);
        if (BX < 0 || BY < 0 || BX >= 37 || BY >= 29) continue;
        ++Checked;
        if (!(S.At(X, Y) == Image.GetPixelRGB(BX, BY))) ++Bad;
      }
    EXPECT_GT(Checked, 20);
    EXPECT_EQ(Bad, 0);
    // Back from the client, a column comes to itself, or below a zoom of 100 % to the first of
    // the columns that share its client pixel.
    for (Integer B = 0; B < 37; ++B) {
      const Integer Back = View->ScreenToBitmapX(View->BitmapToScreenX(B));
      EXPECT_LE(Back, B) << B;
      EXPECT_GT(Back, B - std::ceil(100 / Zoom)) << B;
    }
    // Left of the centred image the bitmap x is negative.
    if (View->OffsetX() > 2) {
      EXPECT_LT(View->ScreenToBitmapX(0), 0);
    }
  }
}

TEST(ViewZoomSteps, MouseStepsFollowTheTable) {
  struct TCase {
    double From, In, Out;
  };
  for (const TCase& C : {TCase{33, 50, 25}, TCase{100, 200, 75}, TCase{150, 250, 100}, TCase{10, 25, 5},
                         TCase{2, 5, 2}, TCase{250, 350, 150}, TCase{1, 2, 2}}) {
    EXPECT_EQ(TZodivErView::NextZoomIn(C.From), C.In) << C.From;
    EXPECT_EQ(TZodivErView::NextZoomOut(C.From), C.Out) << C.From;
  }
}

TEST_F(ViewFixture, WheelNotchZoomsByEightPercentAndOffersTheZoom) {
  TIEBitmap Image(200, 150, ie24RGB);
  Image.Fill(0x336699);
  Show(Image);
  std::vector<double> Offered;
  View->OnZoomOut = [&](TObject*, double& Z) { Offered.push_back(Z); };
  const TPoint Centre = View->ClientToScreen(TPoint{80, 60});
  View->DoMouseWheel(0, 120, Centre);
  EXPECT_EQ(View->ZoomX(), 92);
  EXPECT_EQ(View->ZoomY(), 92);
  View->DoMouseWheel(0, 120, Centre);
  EXPECT_EQ(View->ZoomX(), 85);  // 8 % of 92 rounds to 7
  EXPECT_EQ(Offered, (std::vector<double>{92, 85}));
  View->OnZoomIn = [](TObject*, double& Z) { Z = 400; };  // a handler may choose another zoom
  View->DoMouseWheel(0, -120, Centre);
  EXPECT_EQ(View->ZoomX(), 400);
  View->SetAutoFit(true);  // a fitted view ignores the wheel
  const double Fitted = View->ZoomX();
  View->DoMouseWheel(0, 120, Centre);
  EXPECT_EQ(View->ZoomX(), Fitted);
}

TEST_F(ViewFixture, ScrollBarMessagesMoveByZoomedPixels) {
  TIEBitmap Image(400, 300, ie24RGB);
  Image.Fill(0);
  Show(Image);
  View->SetZoom(300);
  View->ScrollTo(0, 0);
  View->Scroll(sbHorizontal, scLineDown, 0);
  EXPECT_EQ(View->ViewX(), 3);  // one bitmap pixel
  View->Scroll(sbVertical, scPageDown, 0);
  EXPECT_EQ(View->ViewY(), View->DrawAreaHeight());
  View->Scroll(sbHorizontal, scBottom, 0);
  Integer MaxX = 0, MaxY = 0;
  View->GetMaxViewXY(MaxX, MaxY);
  EXPECT_EQ(View->ViewX(), MaxX);
  View->HScrollBarParams()->TrackThumb = false;
  View->Scroll(sbHorizontal, scTrack, 10);
  EXPECT_EQ(View->ViewX(), MaxX);  // tracking ignored
  View->Scroll(sbHorizontal, scPosition, 10);
  EXPECT_NE(View->ViewX(), MaxX);  // the final position still scrolls
  View->Scroll(sbHorizontal, scTop, 0);
  EXPECT_EQ(View->ViewX(), 0);
}

TEST_F(ViewFixture, FitRulesAndEmptyImages) {
  TIEBitmap Tiny(1, 1, ie24RGB);
  Show(Tiny);
  EXPECT_TRUE(View->IsEmpty());
  View->SetAutoFit(true);
  View->Update();
  EXPECT_EQ(View->ZoomX(), 100);  // a 1 x 1 image is not fitted
  TIEBitmap Tall(1, 500, ie24RGB);
  Show(Tall);
  EXPECT_FALSE(View->IsEmpty());
  TIEBitmap Huge(30000, 20, ie24RGB);
  Show(Huge);
  EXPECT_EQ(View->ZoomX(), 1);  // a fit below 1 % shows at 1 %
  TIEBitmap Small(40, 20, ie24RGB);
  Show(Small);
  EXPECT_DOUBLE_EQ(View->ZoomX(), View->FitZoom());
  EXPECT_GT(View->ZoomX(), 100);
  View->SetAutoFit(false);
  // An image without size has nothing to fit: the zoom stays finite.
  View->IEBitmap()->FreeImage(true);
  View->Update();
  View->ZoomToFit();
  EXPECT_TRUE(std::isfinite(View->FitZoom()));
  EXPECT_TRUE(std::isfinite(View->ZoomX()));
}

TEST(ViewBackground, ChessboardRunsOnBothPaths) {
  // Rows through the bitmap: runs of 17, 16, 7 starting with the background colour.
  TBitmap Fast;
  Fast.SetPixelFormat(pf24bit);
  Fast.SetSize(40, 40);
  PaintViewBackground(false, Fast.Canvas(), &Fast, iebsChessboard, clBtnFace, TRect{0, 0, 40, 40}, TRect{}, 16,
                      bsSolid, 0, nullptr, iewoNormal);
  auto Runs = [](TBitmap& B, Integer Y, bool Column) {
    std::vector<std::pair<Integer, TColor>> R;
    for (Integer I = 0; I < 40; ++I) {
      const TColor C = Column ? B.PixelColor(Y, I) : B.PixelColor(I, Y);
      if (R.empty() || R.back().second != C) R.push_back({0, C});
      ++R.back().first;
    }
    return R;
  };
  const TColor Face = ColorToRGB(clBtnFace), Complement = 0x00FFFFF0;
  using Run = std::vector<std::pair<Integer, TColor>>;
  EXPECT_EQ(Runs(Fast, 0, false), (Run{{17, Face}, {16, Complement}, {7, Face}}));
  EXPECT_EQ(Runs(Fast, 0, true), (Run{{17, Face}, {16, Complement}, {7, Face}}));
  EXPECT_EQ(Runs(Fast, 20, false), (Run{{17, Complement}, {16, Face}, {7, Complement}}));

  // Squares through the brush: 16, 16, 8 starting with the complement.
  TBitmap Brush;
  Brush.SetPixelFormat(pf24bit);
  Brush.SetSize(40, 40);
  PaintViewBackground(false, Brush.Canvas(), nullptr, iebsChessboard, clBtnFace, TRect{0, 0, 40, 40}, TRect{}, 16,
                      bsSolid, 0, nullptr, iewoNormal);
  EXPECT_EQ(Runs(Brush, 0, false), (Run{{16, Complement}, {16, Face}, {8, Complement}}));

  // A plain background inverts to the plain colour of its inverted bits.
  PaintViewBackground(false, Fast.Canvas(), &Fast, iebsChessboard, 0x00102030, TRect{0, 0, 40, 40}, TRect{}, 16,
                      bsSolid, 0, nullptr, iewoNormal);
  EXPECT_EQ(Fast.PixelColor(20, 0), TColor(0x00EFDFCF));
}

TEST(ViewBackground, FramesAndShadowsNeedABoxOfTwoByTwo) {
  for (TIEBackgroundStyle Style : {iebsCropped, iebsCropShadow, iebsSoftShadow}) {
    SCOPED_TRACE(int(Style));
    TBitmap With, Without;
    for (TBitmap* B : {&With, &Without}) {
      B->SetPixelFormat(pf24bit);
      B->SetSize(60, 60);
    }
    PaintViewBackground(false, With.Canvas(), &With, Style, 0xFFFFFF, TRect{0, 0, 60, 60}, TRect{20, 20, 40, 40}, 16,
                        bsSolid, 0, nullptr, iewoNormal);
    PaintViewBackground(false, Without.Canvas(), &Without, Style, 0xFFFFFF, TRect{0, 0, 60, 60},
                        TRect{20, 20, 21, 40}, 16, bsSolid, 0, nullptr, iewoNormal);
    const TColor Plain = Style == iebsCropped ? ColorToRGB(clBtnFace) : TColor(0xFFFFFF);
    Integer Marked = 0, Stray = 0;
    for (Integer Y = 0; Y < 60; ++Y)
      for (Integer X = 0; X < 60; ++X) {
        const bool InBox = X >= 20 && X < 40 && Y >= 20 && Y < 40;
        if (!InBox && With.PixelColor(X, Y) != Plain) ++Marked;
        if (Without.PixelColor(X, Y) != Plain) ++Stray;
      }
    EXPECT_GT(Marked, 0);
    EXPECT_EQ(Stray, 0);
  }
}

TEST(ViewBackground, GradientBlendsFromTopToBottom) {
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(4, 100);
  PaintViewBackground(false, B.Canvas(), &B, iebsGradient, 0x000000, TRect{0, 0, 4, 100}, TRect{}, 16, bsSolid,
                      0xFF0000, nullptr, iewoNormal);
  EXPECT_EQ(B.PixelColor(0, 0), TColor(0));
  EXPECT_NEAR(Integer(B.PixelColor(2, 50) >> 16), 127, 2);
  EXPECT_NEAR(Integer(B.PixelColor(3, 99) >> 16), 255, 3);
  EXPECT_EQ(B.PixelColor(3, 99) & 0xFFFF, TColor(0));
}

TEST_F(ViewFixture, LayerClippedToTheBaseShowsOnlyItsPartOverTheBase) {
  TIEBitmap Base(100, 80, ie24RGB);
  Base.Fill(0x0000FF);
  Show(Base);
  View->AddLayer();
  TIELayer* L = View->CurrentLayer();
  L->Bitmap->Allocate(10, 10, ie24RGB);
  L->Bitmap->Fill(0x00FF00);
  L->PosX = 95;  // reaches past the base: clipped at its edge
  L->PosY = 75;
  L->ClipToBase = true;
  View->SetZoom(1);  // the layer's 10 pixels are no client pixel at all
  View->Update();
  TIEBitmap WithLayer(View->ClientWidth(), View->ClientHeight(), ie24RGB);
  View->RenderToBitmap(&WithLayer, nullptr, nullptr, true, false);
  L->Visible = false;
  TIEBitmap Alone(View->ClientWidth(), View->ClientHeight(), ie24RGB);
  View->RenderToBitmap(&Alone, nullptr, nullptr, true, false);
  EXPECT_EQ(ietest::MaxDifference(WithLayer, Alone), 0);

  // At a zoom that shows it, only the part over the base is drawn.
  L->Visible = true;
  View->SetZoom(100);
  Render();
  TSurface S(View);
  const Integer X = View->BitmapToScreenX(99), Y = View->BitmapToScreenY(79);
  const TRGB Green{0, 0xFF, 0};
  EXPECT_EQ(S.At(X, Y), Green);
  EXPECT_EQ(S.At(X - 4, Y - 4), Green);
  EXPECT_EQ(S.At(X - 5, Y - 5), (TRGB{0, 0, 0xFF}));
  EXPECT_EQ(S.At(X + 1, Y), RgbOf(clBtnFace));
  EXPECT_EQ(S.At(X, Y + 1), RgbOf(clBtnFace));
}

TEST_F(ViewFixture, DrawLayersToGrowsForLayersOutsideTheBase) {
  TIEBitmap Base(50, 40, ie24RGB);
  Base.Fill(0x0000FF);
  Show(Base);
  View->AddLayer();
  TIELayer* L = View->CurrentLayer();
  L->Bitmap->Allocate(10, 10, ie24RGB);
  L->Bitmap->Fill(0x00FF00);
  L->PosX = -20;
  L->PosY = -10;
  TIEBitmap Dest;
  View->DrawLayersTo(&Dest);
  EXPECT_EQ(Dest.GetWidth(), 70);
  EXPECT_EQ(Dest.GetHeight(), 50);
  EXPECT_EQ(Dest.GetPixelRGB(20, 10), (TRGB{0, 0, 0xFF}));  // base layer at (20, 10)
  EXPECT_EQ(Dest.GetPixelRGB(69, 49), (TRGB{0, 0, 0xFF}));
  EXPECT_EQ(Dest.GetPixelRGB(0, 0), (TRGB{0, 0xFF, 0}));   // the layer at its own place
  EXPECT_EQ(Dest.GetPixelRGB(9, 9), (TRGB{0, 0xFF, 0}));
  EXPECT_EQ(Dest.GetPixelRGB(12, 2), RgbOf(clBtnFace));   // uncovered: the background
  EXPECT_EQ(View->ZoomX(), 100);                            // the view's geometry is back
}

TEST_F(ViewFixture, PaintingFailuresAreReportedOnceUntilAPaintSucceeds) {
  TIEBitmap Image(20, 20, ie24RGB);
  Show(Image);
  Integer Reports = 0;
  Application->OnException = [&](TObject*, Exception& E) {
    ++Reports;
    EXPECT_EQ(E.Message, "render failed");
  };
  bool Fail = true;
  View->OnDrawBackBuffer = [&](TObject*) {
    if (Fail) throw Exception("render failed");
  };
  for (int I = 0; I < 3; ++I) Render();
  EXPECT_EQ(Reports, 1);
  Fail = false;
  Render();
  Fail = true;
  Render();
  Render();
  EXPECT_EQ(Reports, 2);
  Application->OnException = nullptr;
}

TEST(ViewLifecycle, RefreshPipelineWithoutAWindow) {
  auto* View = new TZodivErView(nullptr);
  EXPECT_EQ(View->IEBitmap()->GetWidth(), 0);  // made by code: no image yet
  EXPECT_TRUE(View->IsEmpty());
  EXPECT_EQ(View->ZodivErVersion(), "1.0.0");
  View->SetZodivErVersion("9");
  EXPECT_EQ(View->ZodivErVersion(), "1.0.0");
  EXPECT_EQ(View->DpiX(), 300);

  // A new image size reaches the selection mask and the alpha channel at the next Update.
  View->IEBitmap()->Allocate(30, 20, ie24RGB);
  View->IEBitmap()->GetAlphaChannel()->Allocate(5, 5, ie8g);
  View->Update();
  EXPECT_EQ(View->SelectionMask()->Width, 30);
  EXPECT_EQ(View->SelectionMask()->Height, 20);
  EXPECT_EQ(View->IEBitmap()->GetAlphaChannel()->GetWidth(), 30);
  EXPECT_EQ(View->IEBitmap()->GetAlphaValue(29, 19), 255);
  EXPECT_EQ(View->ImageWidth(), 30);

  // Suspensions nest; the last resume refreshes.
  Integer Changes = 0;
  View->OnViewChange = [&](TObject*, Integer) { ++Changes; };
  View->SetAutoFit(true);
  View->SuspendUpdate();
  View->SuspendUpdate();
  View->ResumeUpdate();
  View->IEBitmap()->Allocate(60, 20, ie24RGB);
  View->Update();
  EXPECT_EQ(View->ImageWidth(), 30);  // still suspended
  View->ResumeUpdate();
  EXPECT_EQ(View->ImageWidth(), 60);
  EXPECT_GT(Changes, 0);
  View->ResumeUpdateQuiet();
  EXPECT_EQ(View->UpdateSuspension(), 0);
  EXPECT_EQ(View->ResumePaint(), 0);

  // Worker messages reach the events on the main thread, with or without components.
  Integer Progress = -1, Finished = 0;
  View->SetOnProgress([&](TObject*, Integer P) { Progress = P; });
  View->SetOnFinishWork([&](TObject*) { ++Finished; });
  View->HandleViewMessage(IEM_PROGRESS, 40, 0);
  View->HandleViewMessage(IEM_FINISHWORK, 0, 0);
  View->HandleViewMessage(IEM_NEWFRAME, 0, 0);
  EXPECT_EQ(Progress, 40);
  EXPECT_EQ(Finished, 1);

  Integer Destroying = 0;
  View->AddNotifyCallback([&](TIEView*, bool D) { Destroying += D ? 1 : 100; });
  delete View;
  EXPECT_EQ(Destroying, 1);
}

TEST_F(ViewFixture, SmoothScrollMovesAnEighthOfTheRestEachStep) {
  TIEBitmap Image(2000, 100, ie24RGB);
  Image.Fill(0);
  Show(Image);
  std::vector<Integer> Seen;
  View->OnViewChange = [&](TObject*, Integer Change) {
    if (Change == 0) Seen.push_back(View->ViewX());
  };
  View->SmoothScrollTo(800, 0);
  ASSERT_EQ(Seen, (std::vector<Integer>{100}));
  // Pump until the steps have stopped for a while.
  auto Quiet = std::chrono::steady_clock::now();
  const auto Until = Quiet + std::chrono::seconds(10);
  size_t Count = Seen.size();
  while (std::chrono::steady_clock::now() < Until &&
         std::chrono::steady_clock::now() - Quiet < std::chrono::milliseconds(400)) {
    Application->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (Seen.size() != Count) {
      Count = Seen.size();
      Quiet = std::chrono::steady_clock::now();
    }
  }
  ASSERT_GE(Seen.size(), 3u);
  EXPECT_EQ(Seen[1], 188);
  EXPECT_EQ(Seen[2], 264);
  for (size_t I = 1; I < Seen.size(); ++I) EXPECT_GT(Seen[I], Seen[I - 1]);
  EXPECT_LE(Seen.back(), 800);
  EXPECT_GE(Seen.back(), 790);
}

}  // namespace

namespace {

// A 100 x 50 layer at (10, 10) whose left half is red and right half green, turned by 90 degrees
// about its centre.
TIELayer* AddTurnedLayer(TZodivErView* View) {
  View->AddLayer();
  TIELayer* L = View->CurrentLayer();
  L->Bitmap->Allocate(100, 50, ie24RGB);
  L->Bitmap->Fill(0x0000FF);
  L->Bitmap->FillRect(50, 0, 99, 49, 0x00FF00);
  L->PosX = L->PosY = 10;
  L->SetRotationAngle(90);
  return L;
}

TEST_F(ViewFixture, TurnedLayerIsDrawnWhereBakingItPutsIt) {
  TIEBitmap Base(200, 150, ie24RGB);
  Base.Fill(0xFFFFFF);
  Show(Base);
  TIELayer* L = AddTurnedLayer(View);
  View->SetBounds(0, 0, 200, 150);
  TIEBitmap Drawn(200, 150, ie24RGB);
  View->Update();
  View->RenderToBitmap(&Drawn, nullptr, nullptr, true, false);

  View->ApplyLayerRotations(-1);
  EXPECT_EQ(L->RotationAngle(), 0);
  EXPECT_EQ(L->Bitmap->GetWidth(), 50);
  EXPECT_EQ(L->Bitmap->GetHeight(), 100);
  EXPECT_EQ(L->PosX, 35);
  EXPECT_EQ(L->PosY, -15);
  // The right half went to the top.
  EXPECT_EQ(L->Bitmap->GetPixelRGB(25, 10), (TRGB{0, 0xFF, 0}));
  EXPECT_EQ(L->Bitmap->GetPixelRGB(25, 90), (TRGB{0, 0, 0xFF}));

  TIEBitmap Baked(200, 150, ie24RGB);
  View->RenderToBitmap(&Baked, nullptr, nullptr, true, false);
  EXPECT_EQ(ietest::MaxDifference(Drawn, Baked), 0);
  EXPECT_EQ(Drawn.GetPixelRGB(60, 10), (TRGB{0, 0xFF, 0}));  // base (0, 0) at client (0, 0)
  EXPECT_EQ(Drawn.GetPixelRGB(60, 80), (TRGB{0, 0, 0xFF}));
  EXPECT_EQ(Drawn.GetPixelRGB(20, 40), (TRGB{0xFF, 0xFF, 0xFF}));
}

}  // namespace

namespace {

TEST_F(ViewFixture, ComponentsAreMadeOnFirstUseAndWorkOnTheShownImage) {
  IERegisterFileIOUnit();  // the format registry
  IEInitialize();
  const std::string Png = NoisePng(23, 17);
  Integer LastProgress = -1, Finished = 0;
  View->SetOnProgress([&](TObject*, Integer P) { LastProgress = P; });
  TZodivErIO* IO = View->IOComponent();
  ASSERT_NE(IO, nullptr);
  EXPECT_EQ(View->IOComponent(), IO);
  EXPECT_EQ(IO->AttachedZodivEr(), View);
  View->SetOnFinishWork([&](TObject*) { ++Finished; });  // reaches the existing component too
  IO->LoadFromFile(AnsiToWide(Png));
  EXPECT_FALSE(IO->Aborting.load()) << IO->FailureReason();
  EXPECT_EQ(LastProgress, 100);
  EXPECT_EQ(Finished, 1);
  EXPECT_EQ(View->ImageWidth(), 23);
  TIEBitmap Image;
  LoadPng(Png, Image);
  EXPECT_EQ(ietest::MaxDifference(*View->IEBitmap(), Image), 0);

  TZodivErProc* Proc = View->ProcComponent();
  ASSERT_NE(Proc, nullptr);
  EXPECT_EQ(Proc->AttachedZodivEr(), View);
  // Both go with the view.
  IEFinalize();
}

TEST_F(ViewFixture, AssignKeepsOneBitAndWidensOtherBitmaps) {
  struct TCase {
    TPixelFormat Source;
    TIEPixelFormat Shown;
  };
  for (const TCase& C : {TCase{pf1bit, ie1g}, TCase{pf8bit, ie24RGB}, TCase{pf24bit, ie24RGB}, TCase{pf32bit, ie24RGB}}) {
    TBitmap B;
    B.SetPixelFormat(C.Source);
    B.SetSize(12, 9);
    View->Assign(&B);
    EXPECT_EQ(View->IEBitmap()->GetPixelFormat(), C.Shown) << int(C.Source);
    EXPECT_EQ(View->ImageWidth(), 12);
  }
}

TEST_F(ViewFixture, CursorsAreRegisteredAndTheViewStartsWithItsCrosshair) {
  EXPECT_EQ(View->Cursor(), 1785);
  for (TCursor Id = 1778; Id <= 1814; ++Id) {
    EXPECT_TRUE(Screen->HasCursor(Id)) << Id;
    const TCursorImage Image = IEViewCursorImage(Id);
    EXPECT_EQ(Image.Width, 32);
    Integer Black = 0;
    for (Cardinal P : Image.Pixels) Black += P == 0xFF000000u;
    EXPECT_GT(Black, 10) << Id;
  }
  View->SetTempCursor(1782);
  EXPECT_EQ(View->TIEView::Cursor(), 1782);
  View->RestoreCursor();
  EXPECT_EQ(View->TIEView::Cursor(), 1785);
}

}  // namespace

namespace {

TEST_F(ViewFixture, MaskLayerCutsTheLayerBelowIt) {
  TIEBitmap Base(60, 40, ie24RGB);
  Base.Fill(0xFFFFFF);
  Show(Base);
  View->SetBounds(0, 0, 60, 40);
  View->AddLayer();
  TIELayer* L = View->CurrentLayer();
  L->Bitmap->Allocate(40, 20, ie24RGB);
  L->Bitmap->Fill(0x0000FF);
  L->PosX = 10;
  L->PosY = 10;
  View->AddLayer();
  TIELayer* M = View->CurrentLayer();
  M->Bitmap->Allocate(20, 20, ie8g);
  M->Bitmap->Fill(0);
  M->Bitmap->FillRect(0, 0, 9, 19, 255);  // opaque on its left half only
  M->PosX = 20;
  M->PosY = 10;
  M->MaskLayer = true;
  M->Visible = false;
  View->Update();
  TIEBitmap Out(60, 40, ie24RGB);
  View->RenderToBitmap(&Out, nullptr, nullptr, true, false);
  const TRGB Red{0, 0, 0xFF}, White{0xFF, 0xFF, 0xFF};
  EXPECT_EQ(Out.GetPixelRGB(15, 15), White);  // layer pixel left of the mask
  EXPECT_EQ(Out.GetPixelRGB(22, 15), Red);    // under the mask's opaque half
  EXPECT_EQ(Out.GetPixelRGB(29, 29), Red);
  EXPECT_EQ(Out.GetPixelRGB(31, 15), White);  // under its clear half
  EXPECT_EQ(Out.GetPixelRGB(45, 15), White);  // right of the mask
  // The layer's own alpha is back after the draw and the combined one is kept until Update.
  EXPECT_EQ(L->Bitmap->GetAlphaValue(0, 0), 255);
  ASSERT_NE(L->MaskedAlpha, nullptr);
  View->Update();
  EXPECT_EQ(L->MaskedAlpha, nullptr);
}

TEST_F(ViewFixture, ScrollBarsAppearTakeTheirRoomAndFollowTheView) {
  TIEBitmap Image(400, 300, ie24RGB);
  Image.Fill(0);
  Show(Image);
  View->SetScrollBars(ssBoth);
  EXPECT_TRUE(View->ScrollBarVisible(sbHorizontal));
  EXPECT_TRUE(View->ScrollBarVisible(sbVertical));
  EXPECT_LT(View->DrawAreaWidth(), View->Width());
  EXPECT_LT(View->DrawAreaHeight(), View->Height());
  Integer MaxX = 0, MaxY = 0;
  View->GetMaxViewXY(MaxX, MaxY);
  EXPECT_EQ(MaxX, 401 - View->DrawAreaWidth());
  View->ScrollTo(MaxX, MaxY);
  const double Scale = (View->DrawAreaWidth() + MaxX) / 65536.0;
  EXPECT_EQ(View->GetScrollPos(sbHorizontal), Integer(View->ViewX() / Scale));
  // A fitting image needs no bars.
  TIEBitmap Small(50, 40, ie24RGB);
  Show(Small);
  EXPECT_FALSE(View->ScrollBarVisible(sbHorizontal));
  EXPECT_FALSE(View->ScrollBarVisible(sbVertical));
  EXPECT_EQ(View->ViewX(), 0);
  View->KeepScrollBarsVisible = true;
  View->Update();
  EXPECT_TRUE(View->ScrollBarVisible(sbHorizontal));
}

}  // namespace

namespace {

TEST(ViewLifecycle, AttachedImageStaysTheCallersAfterDetaching) {
  auto* View = new TZodivErView(nullptr);
  auto* Outside = new TIEBitmap(10, 8, ie24RGB);
  Outside->Fill(0x123456);
  Integer Notified = 0;
  View->AddNotifyCallback([&](TIEView*, bool D) { Notified += D ? 0 : 1; });
  View->AttachBitmap(Outside);
  EXPECT_EQ(View->IEBitmap(), Outside);
  EXPECT_EQ(View->ImageWidth(), 10);
  EXPECT_EQ(Notified, 1);
  View->AttachBitmap(nullptr);
  EXPECT_NE(View->IEBitmap(), Outside);
  EXPECT_EQ(View->CurrentLayer()->Bitmap, View->IEBitmap());
  delete View;  // frees the view's own image, never the caller's
  EXPECT_EQ(Outside->GetWidth(), 10);
  EXPECT_EQ(Outside->GetPixelRGB(3, 3), (TRGB{0x12, 0x34, 0x56}));
  delete Outside;
}

}  // namespace

namespace {

TEST_F(ViewFixture, LayerSizesAndOpaqueCropsAreBakedIntoTheImages) {
  TIEBitmap Base(100, 80, ie24RGB);
  Show(Base);
  View->AddLayer();
  TIELayer* L = View->CurrentLayer();
  L->Bitmap->Allocate(40, 30, ie24RGB);
  L->Bitmap->Fill(0x00FF00);
  TIEBitmap* A = L->Bitmap->GetAlphaChannel();
  A->Fill(0);
  A->FillRect(5, 3, 14, 12, 255);
  L->PosX = 7;
  L->PosY = 2;
  View->CropLayersToOpaque(-1);
  EXPECT_EQ(L->Bitmap->GetWidth(), 10);
  EXPECT_EQ(L->Bitmap->GetHeight(), 10);
  EXPECT_EQ(L->PosX, 12);
  EXPECT_EQ(L->PosY, 5);
  EXPECT_EQ(L->Bitmap->GetAlphaValue(0, 0), 255);
  EXPECT_EQ(View->LayerAt(0)->Bitmap->GetWidth(), 100);  // no alpha: nothing to crop

  L->WidthOverride = 20;
  L->HeightOverride = 30;
  View->ApplyLayerSizes(1);
  EXPECT_EQ(L->Bitmap->GetWidth(), 20);
  EXPECT_EQ(L->Bitmap->GetHeight(), 30);
  EXPECT_EQ(L->WidthOverride, 0);
  EXPECT_EQ(L->HeightOverride, 0);
  EXPECT_EQ(L->Bitmap->GetPixelRGB(19, 29), (TRGB{0, 0xFF, 0}));
  EXPECT_EQ(View->CurrentLayerIndex(), 1);

  // The grips of the current layer, numbered as the mouse code reads them.
  View->SetMouseInteract(miResizeLayers);
  View->Update();
  TIEBitmap Out(View->ClientWidth(), View->ClientHeight(), ie24RGB);
  View->RenderToBitmap(&Out, nullptr, nullptr, true, false);
  const TRect& R = L->ClientRect;
  EXPECT_EQ(View->GripAt(R.Left, R.Top), 1);
  EXPECT_EQ(View->GripAt(R.Right + 5, R.Bottom - 5), 3);
  EXPECT_EQ(View->GripAt((R.Left + R.Right) / 2, R.Bottom), 8);
  EXPECT_EQ(View->GripAt(R.Left - 20, R.Top - 20), 0);
}

}  // namespace

namespace {

TEST_F(ViewFixture, MagnifierLayerShowsWhatIsUnderItEnlarged) {
  TIEBitmap Base(100, 80, ie24RGB);
  for (Integer Y = 0; Y < 80; ++Y)
    for (Integer X = 0; X < 100; ++X) Base.SetPixelRGB(X, Y, TRGB{Byte(Y * 3), Byte(X * 2), 0x40});
  Show(Base);
  View->SetBounds(0, 0, 100, 80);
  View->AddLayer();
  TIELayer* M = View->CurrentLayer();
  M->Bitmap->Allocate(20, 20, ie24RGB);
  M->PosX = 40;
  M->PosY = 30;
  M->Magnifier = true;
  M->MagnifyFactor = 2;
  View->Update();
  TIEBitmap Out(100, 80, ie24RGB);
  View->RenderToBitmap(&Out, nullptr, nullptr, true, false);
  // Ten pixels round the layer's centre (50, 40), twice as large.
  for (Integer K : {0, 7, 19}) {
    EXPECT_EQ(Out.GetPixelRGB(40 + K, 30 + K), Base.GetPixelRGB(45 + K / 2, 35 + K / 2)) << K;
    EXPECT_EQ(M->Bitmap->GetPixelRGB(K, K), Base.GetPixelRGB(45 + K / 2, 35 + K / 2)) << K;
  }
  EXPECT_EQ(Out.GetPixelRGB(39, 30), Base.GetPixelRGB(39, 30));
}

}  // namespace
