// Drawing the vector objects: shapes against ImageMagick's -draw, the drawing rules (hidden
// objects, the draw events, highlighting, zoomed pen widths, arrows, empty bitmaps and
// polylines), and the objects in the real window following the zoom.
#include <cmath>
#include <cstdlib>

#include "imaging/io/ie_file_formats.h"
#include "imaging/io/ie_zodiver_io.h"
#include "platform/gui/application.h"
#include "platform/rtl/strings.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/view/vect_test_fixture.h"

using namespace vecttest;

namespace {
constexpr Integer kW = 200, kH = 150;

// At least half covered by a stroke of blue, red or black over white.
bool Ink(const TRGB& c) { return (255 - c.r) + (255 - c.g) + (255 - c.b) > 255; }

struct TInk {
  std::vector<bool> M;
  Integer Count = 0;
  bool At(Integer X, Integer Y) const { return X >= 0 && Y >= 0 && X < kW && Y < kH && M[size_t(Y) * kW + X]; }
  bool Near(Integer X, Integer Y) const {
    for (Integer dy = -1; dy <= 1; ++dy)
      for (Integer dx = -1; dx <= 1; ++dx)
        if (At(X + dx, Y + dy)) return true;
    return false;
  }
};

TInk InkOf(TIEBitmap& B) {
  TInk I;
  I.M.resize(size_t(kW) * kH);
  for (Integer y = 0; y < kH; ++y)
    for (Integer x = 0; x < kW; ++x)
      if (Ink(B.GetPixelAsRGB(x, y))) I.M[size_t(y) * kW + x] = true, ++I.Count;
  return I;
}

TInk InkOf(const ietest::TPam& P) {
  TInk I;
  I.M.resize(size_t(kW) * kH);
  for (Integer y = 0; y < kH; ++y)
    for (Integer x = 0; x < kW; ++x)
      if (Ink(TRGB{Byte(P.At8(x, y, 2)), Byte(P.At8(x, y, 1)), Byte(P.At8(x, y, 0))}))
        I.M[size_t(y) * kW + x] = true, ++I.Count;
  return I;
}

// Share of A's ink that has ink of B within one pixel.
double Covered(const TInk& A, const TInk& B) {
  Integer n = 0;
  for (Integer y = 0; y < kH; ++y)
    for (Integer x = 0; x < kW; ++x)
      if (A.At(x, y) && B.Near(x, y)) ++n;
  return A.Count ? double(n) / A.Count : 1.0;
}
}  // namespace

struct VectDrawTest : VectTest {
  std::unique_ptr<TIEBitmap> DrawOnWhite(Integer Handle) {
    auto B = std::make_unique<TIEBitmap>();
    B->Allocate(kW, kH, ie24RGB);
    B->Fill(static_cast<double>(0xFFFFFF));
    View->DrawObjectsToImage(B.get(), false, Handle);
    return B;
  }
};

TEST_F(VectDrawTest, ShapesMatchImageMagickDrawings) {
  struct Case {
    const char* What;
    Byte Kind;
    TRect Box;
    Integer Pen;
    bool Filled;
    std::string Magick;
  } Cases[] = {
      {"line", ievkLine, {10, 20, 180, 130}, 3, false, "-strokewidth 3 -fill none -draw 'line 10,20 180,130'"},
      {"steep line", ievkLine, {150, 5, 120, 140}, 1, false, "-strokewidth 1 -fill none -draw 'line 150,5 120,140'"},
      {"box", ievkBox, {20, 20, 150, 100}, 3, false, "-strokewidth 3 -fill none -draw 'rectangle 20,20 150,100'"},
      {"filled box", ievkBox, {30, 40, 120, 90}, 1, true, "-strokewidth 1 -fill red -draw 'rectangle 30,40 120,90'"},
      {"ellipse", ievkEllipse, {30, 30, 170, 120}, 2, false,
       "-strokewidth 2 -fill none -draw 'ellipse 100.5,75.5 70,45 0,360'"},
      {"filled ellipse", ievkEllipse, {50, 20, 110, 130}, 1, true,
       "-strokewidth 1 -fill red -draw 'ellipse 80.5,75.5 30,55 0,360'"},
      {"polygon", ievkPolyline, {20, 10, 180, 140}, 2, false,
       "-strokewidth 2 -fill none -draw 'polygon 20,140 100,10 180,140'"},
  };
  for (const Case& c : Cases) {
    SCOPED_TRACE(c.What);
    View->ClearObjects();
    TIEVObjectRec R = Rec(c.Kind, c.Box.Left, c.Box.Top, c.Box.Right, c.Box.Bottom);
    R.PenColor = 0xFF0000;  // blue
    R.PenWidth = c.Pen;
    R.BrushColor = 0x0000FF;  // red
    R.BrushStyle = c.Filled ? bsSolid : bsClear;
    if (c.Kind == ievkPolyline) {
      R.PolyPoints = {{0, 130}, {80, 0}, {160, 130}};
      R.PolyBaseRect = TRect{0, 0, 160, 130};
      R.PolyClosed = true;
    }
    const Integer h = View->AppendObject(R);
    auto Ours = DrawOnWhite(h);
    const auto Ref = ietest::PamFromCommand("convert -size 200x150 xc:white -stroke blue " + c.Magick + " ppm:-");
    const TInk A = InkOf(*Ours), B = InkOf(Ref);
    ASSERT_GT(B.Count, 50);
    EXPECT_GE(Covered(A, B), 0.97) << A.Count << " vs " << B.Count;
    EXPECT_GE(Covered(B, A), 0.97) << A.Count << " vs " << B.Count;
    EXPECT_NEAR(double(A.Count), double(B.Count), 0.2 * B.Count);
    if (c.Filled) {
      const TRGB Mid = Ours->GetPixelAsRGB((c.Box.Left + c.Box.Right) / 2, (c.Box.Top + c.Box.Bottom) / 2);
      EXPECT_EQ(Mid, (TRGB{0, 0, 255}));
    }
  }
}

TEST_F(VectDrawTest, TextInkMatchesImageMagickText) {
  TIEVObjectRec R = Rec(ievkText, 20, 40, 190, 90);
  R.Text = "Vector 42";
  TIELogFont F;
  F.SetHeight(-30);
  F.SetFaceName("DejaVu Sans");
  R.Font = F;
  R.PenColor = 0x000000;
  R.PenStyle = psClear;
  const Integer h = View->AppendObject(R);
  auto Ours = DrawOnWhite(h);
  const auto Ref = ietest::PamFromCommand(
      "convert -size 200x150 xc:white -font DejaVu-Sans -pointsize 30 -fill black -annotate +0+60 'Vector 42' ppm:-");
  auto Box = [](const TInk& I) {
    TRect R{kW, kH, -1, -1};
    for (Integer y = 0; y < kH; ++y)
      for (Integer x = 0; x < kW; ++x)
        if (I.At(x, y)) R.Left = std::min(R.Left, x), R.Top = std::min(R.Top, y), R.Right = std::max(R.Right, x),
                        R.Bottom = std::max(R.Bottom, y);
    return R;
  };
  const TInk A = InkOf(*Ours), B = InkOf(Ref);
  const TRect a = Box(A), b = Box(B);
  // The same font at the same size: the same ink extent, wherever each tool puts it.
  EXPECT_NEAR(a.Width(), b.Width(), 4);
  EXPECT_NEAR(a.Height(), b.Height(), 3);
  EXPECT_NEAR(double(A.Count), double(B.Count), 0.2 * B.Count);
  // Left-aligned, vertically centred in the box.
  EXPECT_LE(std::abs(a.Left - 20), 4);
  EXPECT_NEAR((a.Top + a.Bottom) / 2.0, 65, 6);
}

TEST_F(VectDrawTest, DrawingRules) {
  // A hidden object is not drawn and fires nothing; a handled one skips the kind drawing and
  // still fires the after event.
  std::vector<std::string> Events;
  View->OnBeforeDrawObject = [&](TObject*, Integer h, TBitmap*, TRect, bool, bool& Handled) {
    Events.push_back("before " + std::to_string(h));
    Handled = h == 1;
  };
  View->OnAfterDrawObject = [&](TObject*, Integer h, TBitmap*, TRect, bool, bool&) {
    Events.push_back("after " + std::to_string(h));
  };
  TIEVObjectRec R = Rec(ievkBox, 10, 10, 50, 50);
  R.BrushStyle = bsSolid;
  R.BrushColor = 0x000000;
  R.Style &= ~ievsVisible;
  View->AppendObject(R);
  R.Style |= ievsVisible;
  View->AppendObject(R);
  auto B = DrawOnWhite(-1);
  EXPECT_EQ(Events, (std::vector<std::string>{"before 1", "after 1"}));
  EXPECT_EQ(InkOf(*B).Count, 0);
  View->OnBeforeDrawObject = nullptr;
  View->OnAfterDrawObject = nullptr;
  View->ClearObjects();

  // A highlighter box ANDs the picture with its colour: yellow keeps red and green.
  TIEVObjectRec Hl = Rec(ievkBox, 0, 0, 99, 99);
  Hl.Highlight = true;
  Hl.BrushColor = 0x00FFFF;
  const Integer hh = View->AppendObject(Hl);
  auto G = std::make_unique<TIEBitmap>();
  G->Allocate(kW, kH, ie24RGB);
  G->Fill(static_cast<double>(0x406080));
  View->DrawObjectsToImage(G.get(), false, hh);
  EXPECT_EQ(G->GetPixelAsRGB(50, 50), (TRGB{0, 0x60, 0x80}));
  EXPECT_EQ(G->GetPixelAsRGB(150, 120), (TRGB{0x40, 0x60, 0x80}));
  View->ClearObjects();

  // Pen widths follow the zoom.
  TIEVObjectRec P = Rec(ievkLine, 0, 0, 10, 10);
  P.PenWidth = 2;
  EXPECT_EQ(View->ZoomedPenWidth(P, 3.0, 3.0), 6);
  EXPECT_EQ(View->ZoomedPenWidth(P, 0.5, 0.5), 1);
  View->SetZoomObjectsWidth(false);
  EXPECT_EQ(View->ZoomedPenWidth(P, 3.0, 3.0), 2);
  View->SetZoomObjectsWidth(true);

  // Arrow shapes 0 and 3 draw no head; 1 and 2 do.
  auto LineInk = [&](Byte Shape) {
    View->ClearObjects();
    TIEVObjectRec L = Rec(ievkLine, 20, 75, 180, 75);
    L.PenColor = 0;
    L.ArrowEnd = Shape;
    return InkOf(*DrawOnWhite(View->AppendObject(L))).Count;
  };
  const Integer Plain = LineInk(0);
  EXPECT_EQ(LineInk(3), Plain);
  EXPECT_GT(LineInk(1), Plain + 50);
  EXPECT_GT(LineInk(2), Plain + 50);

  // A bitmap object without an image shows a crossed rectangle; a polyline whose base has no
  // extent draws nothing.
  View->ClearObjects();
  TIEVObjectRec E = Rec(ievkBitmap, 20, 20, 120, 100);
  E.PenColor = 0;
  auto Cross = DrawOnWhite(View->AppendObject(E));
  const TInk CI = InkOf(*Cross);
  EXPECT_TRUE(CI.Near(70, 60));  // the crossing
  EXPECT_TRUE(CI.Near(20, 60) && CI.Near(120, 60));
  View->ClearObjects();
  TIEVObjectRec Z = Rec(ievkPolyline, 20, 20, 120, 100);
  Z.PolyPoints = {{5, 5}, {5, 5}};
  Z.PolyBaseRect = TRect{5, 5, 5, 5};
  Z.PenColor = 0;
  EXPECT_EQ(InkOf(*DrawOnWhite(View->AppendObject(Z))).Count, 0);
}

// Every kind on the view's surface, through the view's own rendering, at 200 % zoom: the objects
// follow the zoom. With CLAVORNE_VECT_SCREENSHOT set the screen is also grabbed into that file
// (run under a real X server to look at it).
TEST_F(VectDrawTest, EveryKindOnTheRealViewFollowsTheZoom) {
  Form->SetBounds(0, 0, 900, 700);
  View->SetBounds(0, 0, 880, 680);
  View->IEBitmap()->Allocate(420, 320, ie24RGB);
  View->IEBitmap()->Fill(static_cast<double>(0xF0F0F0));
  View->SetZoom(200);
  auto Img = SmallImage(0x00C000, 0x0000FF);
  TIELogFont F;
  F.SetHeight(-12);
  F.SetFaceName("DejaVu Sans");
  auto Add = [&](TIEVObjectRec& R) {
    if (!R.Font) R.Font = F;
    return View->AppendObject(R);
  };
  TIEVObjectRec L = Rec(ievkLine, 10, 10, 120, 60);
  L.PenColor = 0x0000FF, L.PenWidth = 2, L.ArrowEnd = 2, L.ArrowBegin = 1;
  Add(L);
  TIEVObjectRec Bx = Rec(ievkBox, 140, 10, 200, 60);
  Bx.BrushStyle = bsSolid, Bx.BrushColor = 0xFFCC99, Bx.PenColor = 0x800000;
  const Integer BoxH = Add(Bx);
  TIEVObjectRec El = Rec(ievkEllipse, 220, 10, 300, 60);
  El.BrushStyle = bsSolid, El.BrushColor = 0x99FF99, El.Transparency = 160;
  Add(El);
  TIEVObjectRec Ar = Rec(ievkArc, 320, 10, 400, 60);
  Ar.ArcStartAngle = 0, Ar.ArcEndAngle = 3.14159265 * 1.5, Ar.PenColor = 0x008080, Ar.PenWidth = 2;
  Add(Ar);
  TIEVObjectRec Bm = Rec(ievkBitmap, 10, 80, 70, 130);
  Bm.BitmapBorder = true, Bm.PenColor = 0;
  View->SetObjectBitmap(Add(Bm), Img.get());
  TIEVObjectRec Tx = Rec(ievkText, 90, 80, 200, 110);
  Tx.Text = "Text object", Tx.PenColor = 0x000080;
  Add(Tx);
  TIEVObjectRec Ru = Rec(ievkRuler, 220, 90, 400, 90);
  Ru.PenColor = 0x000000, Ru.RulerType = 2;
  Add(Ru);
  TIEVObjectRec Ru0 = Rec(ievkRuler, 220, 120, 400, 120);
  Ru0.PenColor = 0x404040, Ru0.RulerType = 0, Ru0.RulerUnit = ieuCENTIMETERS;
  Add(Ru0);
  TIEVObjectRec Po = Rec(ievkPolyline, 10, 150, 110, 230);
  Po.PolyPoints = {{0, 80}, {30, 0}, {60, 60}, {100, 10}};
  Po.PolyBaseRect = TRect{0, 0, 100, 80};
  Po.PenColor = 0xC000C0, Po.PenWidth = 2;
  Add(Po);
  TIEVObjectRec An = Rec(ievkAngle, 0, 0, 0, 0);
  An.AnglePoints[0] = {230, 160}, An.AnglePoints[1] = {150, 220}, An.AnglePoints[2] = {240, 230};
  An.PenColor = 0x0000C0;
  Add(An);
  TIEVObjectRec Me = Rec(ievkMemo, 260, 150, 410, 230);
  Me.Text = "A memo object whose words wrap inside its box.", Me.BrushStyle = bsSolid, Me.BrushColor = 0xE0FFFF;
  Me.MemoBorderColor = 0x000000;
  Add(Me);
  TIEVObjectRec Ll = Rec(ievkLineLabel, 20, 300, 140, 250);
  Ll.Text = "Label", Ll.PenColor = 0x006000, Ll.LabelBrushColor = 0xCCFFCC;
  Add(Ll);
  TIEVObjectRec Hl = Rec(ievkBox, 180, 250, 400, 300);
  Hl.Highlight = true, Hl.BrushColor = 0x00FFFF;
  Add(Hl);

  View->Update();
  View->Paint();
  Application->ProcessMessages();
  TBitmap* Back = View->BackBufferBitmap();
  ASSERT_NE(Back, nullptr);
  // The box's fill at bitmap (170, 35) is at client (340, 70) + the centring offset at 200 %.
  const Integer cx = View->BitmapToScreenX(170), cy = View->BitmapToScreenY(35);
  EXPECT_EQ(cx, View->OffsetX() + 340);
  EXPECT_EQ(Back->Canvas()->Pixels(cx, cy), TColor(0xFFCC99));
  // Its edge is zoomed too: bitmap x 140 begins at client offset + 280.
  EXPECT_EQ(Back->Canvas()->Pixels(View->BitmapToScreenX(140) - 2, cy), TColor(0xF0F0F0));
  EXPECT_EQ(View->GetObjectRec(BoxH)->DrawnBox.Left, View->BitmapToScreenX(140));
  // The image object shows its picture (green, a red pixel in the middle) inside its frame.
  EXPECT_EQ(Back->Canvas()->Pixels(View->BitmapToScreenX(15), View->BitmapToScreenY(125)), TColor(0x00C000));
  EXPECT_EQ(Back->Canvas()->Pixels(View->BitmapToScreenX(30), View->BitmapToScreenY(100)), TColor(0x0000FF));
  // Its frame lies on the box's edge, not beside it.
  EXPECT_EQ(Back->Canvas()->Pixels(View->BitmapToScreenX(10), View->BitmapToScreenY(105)), TColor(0));
  EXPECT_EQ(Back->Canvas()->Pixels(View->BitmapToScreenX(10) - 10, View->BitmapToScreenY(105)), TColor(0xF0F0F0));
  // The highlighter turned the grey background yellow-ish: blue cleared.
  const TColor Under = Back->Canvas()->Pixels(View->BitmapToScreenX(390), View->BitmapToScreenY(295));
  EXPECT_EQ((Under >> 16) & 0xFF, 0);
  // The labelled line's label box was recorded in bitmap coordinates near its second end.
  const TIEVObjectRec& Lab = *View->GetObjectRec(View->ObjectsCount() - 2);
  EXPECT_LE(std::abs(Lab.LabelBox.Left - 140), 60);
  EXPECT_LE(std::abs(Lab.LabelBox.Top - 250), 30);

  if (const char* Shot = std::getenv("CLAVORNE_VECT_SCREENSHOT")) {
    TZodivErIO IO(nullptr);
    TIEBitmap Copy;
    Copy.CopyFromTBitmap(Back);
    IO.SetAttachedIEBitmap(&Copy);
    IO.SaveToFile(AnsiToWide(std::string(Shot) + ".backbuffer.png"));
    testsupport::RunOk(std::string("import -window root ") + testsupport::ShellQuote(Shot));
  }
}

TEST_F(VectDrawTest, ImageObjectsMatchTheImageRenderer) {
  // A picture stretched into boxes inside the drawing and across its edges: every pixel is the
  // one the image renderer puts there, and nothing outside the box changes.
  TIEBitmap Picture;
  Picture.Allocate(13, 7, ie24RGB);
  for (Integer y = 0; y < 7; ++y)
    for (Integer x = 0; x < 13; ++x) Picture.SetPixelRGB(x, y, TRGB{Byte(x * 19), Byte(y * 31), Byte(x * y + 5)});
  const TRect Boxes[] = {{20, 30, 120, 100}, {7, 9, 19, 15}, {150, 5, 229, 60}, {-30, 120, 40, 170}};
  for (const TRect& Box : Boxes) {
    SCOPED_TRACE(std::to_string(Box.Left) + "," + std::to_string(Box.Top) + " " + std::to_string(Box.Right) + "," +
                 std::to_string(Box.Bottom));
    View->ClearObjects();
    TIEVObjectRec R = Rec(ievkBitmap, Box.Left, Box.Top, Box.Right, Box.Bottom);
    R.BitmapBorder = false;
    R.Transparency = 255;
    const Integer h = View->AppendObject(R);
    View->SetObjectBitmap(h, &Picture);
    auto Ours = DrawOnWhite(h);
    TIEBitmap Want;
    Want.Allocate(kW, kH, ie24RGB);
    Want.Fill(static_cast<double>(0xFFFFFF));
    Picture.RenderToTIEBitmap(&Want, nullptr, nullptr, Box.Left, Box.Top, Box.Right - Box.Left + 1,
                              Box.Bottom - Box.Top + 1, 0, 0, 13, 7, false, false, 255, rfNone, true, 0);
    Integer Wrong = 0;
    for (Integer y = 0; y < kH; ++y)
      for (Integer x = 0; x < kW; ++x) Wrong += !(Ours->GetPixelAsRGB(x, y) == Want.GetPixelAsRGB(x, y));
    EXPECT_EQ(Wrong, 0);
  }
}
