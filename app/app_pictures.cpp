#include "app/app_pictures.h"

#include <vector>

#include "platform/gui/graphics.h"

const char* const MakerWebAddress = "https://www.clavorne.example/";
const char* const HelpWebAddress = "https://www.clavorne.example/help/";

namespace {

void VerticalGradient(TCanvas* C, const TRect& R, TColor Top, TColor Bottom) {
  const Integer h = R.Height();
  for (Integer y = 0; y < h; ++y) {
    auto mix = [&](int shift) {
      const int a = (Top >> shift) & 0xFF;
      const int b = (Bottom >> shift) & 0xFF;
      return Byte(a + (b - a) * y / (h > 1 ? h - 1 : 1));
    };
    C->Pen()->SetColor(RGB(mix(0), mix(8), mix(16)));
    C->MoveTo(R.Left, R.Top + y);
    C->LineTo(R.Right, R.Top + y);
  }
}

void CenteredText(TCanvas* C, const TRect& R, const AnsiString& Text) {
  TRect box = R;
  C->Brush()->SetStyle(bsClear);
  C->DrawText(Text, box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void Prepare(TBitmap* B, Integer W, Integer H) {
  B->SetPixelFormat(pf24bit);
  B->SetSize(W, H);
}

}  // namespace

void DrawSplashPicture(TBitmap* Bitmap) {
  Prepare(Bitmap, 400, 220);
  TCanvas* c = Bitmap->Canvas();
  VerticalGradient(c, Rect(0, 0, 400, 220), RGB(28, 44, 78), RGB(8, 12, 24));
  // A film strip across the top and bottom.
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(RGB(4, 6, 12));
  c->FillRect(Rect(0, 0, 400, 18));
  c->FillRect(Rect(0, 202, 400, 220));
  c->Brush()->SetColor(RGB(200, 206, 220));
  for (Integer x = 6; x < 400; x += 20) {
    c->FillRect(Rect(x, 5, x + 10, 13));
    c->FillRect(Rect(x, 207, x + 10, 215));
  }
  c->Font()->SetName("DejaVu Sans");
  c->Font()->SetColor(clWhite);
  c->Font()->SetSize(26);
  c->Font()->SetStyle({fsBold});
  CenteredText(c, Rect(0, 50, 400, 110), "Clavorne Pro");
  c->Font()->SetSize(10);
  c->Font()->SetStyle({});
  c->Font()->SetColor(RGB(170, 190, 230));
  CenteredText(c, Rect(0, 110, 400, 135), "Frames, sound and clips from your videos");
  c->Font()->SetSize(8);
  CenteredText(c, Rect(0, 170, 400, 195), MakerWebAddress);
}

void DrawHintPicture(TBitmap* Bitmap, Integer Width, Integer Height, const AnsiString& Text) {
  Prepare(Bitmap, Width, Height);
  TCanvas* c = Bitmap->Canvas();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(RGB(255, 250, 225));
  c->FillRect(Rect(0, 0, Width, Height));
  c->Pen()->SetColor(RGB(120, 110, 60));
  c->Pen()->SetStyle(psDot);
  c->Brush()->SetStyle(bsClear);
  c->Rectangle(1, 1, Width - 1, Height - 1);
  c->Pen()->SetStyle(psSolid);
  c->Font()->SetName("DejaVu Sans");
  c->Font()->SetSize(9);
  c->Font()->SetColor(RGB(60, 50, 10));
  CenteredText(c, Rect(0, 0, Width, Height), Text);
}

void DrawRangeBarBack(TBitmap* Bitmap, Integer Width, Integer Height) {
  Prepare(Bitmap, Width, Height);
  VerticalGradient(Bitmap->Canvas(), Rect(0, 0, Width, Height), RGB(210, 210, 210), RGB(150, 150, 150));
}

void DrawRangeBarFront(TBitmap* Bitmap, Integer Width, Integer Height) {
  Prepare(Bitmap, Width, Height);
  VerticalGradient(Bitmap->Canvas(), Rect(0, 0, Width, Height), RGB(110, 170, 255), RGB(20, 80, 200));
}

void DrawTabPicture(TBitmap* Bitmap, TTabPicture Kind) {
  Prepare(Bitmap, 220, 59);
  TCanvas* c = Bitmap->Canvas();
  VerticalGradient(c, Rect(0, 0, 220, 59), RGB(250, 250, 252), RGB(214, 220, 232));
  c->Pen()->SetColor(RGB(40, 70, 130));
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(RGB(60, 110, 200));
  switch (Kind) {
    case tpVideo: {  // a film frame with a play mark
      c->Rectangle(14, 14, 58, 46);
      c->Brush()->SetColor(clWhite);
      const std::vector<TPoint> play{Point(30, 21), Point(30, 39), Point(45, 30)};
      c->Polygon(play);
      break;
    }
    case tpAudio: {  // a loudspeaker
      c->Rectangle(16, 22, 28, 38);
      const std::vector<TPoint> cone{Point(28, 22), Point(44, 12), Point(44, 48), Point(28, 38)};
      c->Polygon(cone);
      c->Brush()->SetStyle(bsClear);
      c->Arc(40, 16, 58, 44, 52, 10, 52, 50);
      break;
    }
    case tpImages: {  // two overlapping pictures
      c->Rectangle(22, 12, 56, 40);
      c->Brush()->SetColor(RGB(255, 200, 60));
      c->Rectangle(14, 20, 48, 48);
      break;
    }
  }
  static const char* const words[] = {"Video", "Audio", "Images"};
  c->Font()->SetName("DejaVu Sans");
  c->Font()->SetSize(16);
  c->Font()->SetStyle({fsBold});
  c->Font()->SetColor(RGB(30, 50, 100));
  CenteredText(c, Rect(70, 0, 220, 59), words[Kind]);
}

void DrawTransformSample(TBitmap* Bitmap) {
  const Integer w = 200, h = 150, horizon = 112;
  Prepare(Bitmap, w, h);
  TCanvas* c = Bitmap->Canvas();
  VerticalGradient(c, Rect(0, 0, w, horizon), RGB(90, 150, 230), RGB(200, 225, 250));
  VerticalGradient(c, Rect(0, horizon, w, h), RGB(80, 160, 60), RGB(40, 100, 30));
  c->Pen()->SetStyle(psSolid);
  c->Brush()->SetStyle(bsSolid);

  // The sun in the top-left corner.
  c->Pen()->SetColor(RGB(230, 150, 0));
  c->Brush()->SetColor(RGB(255, 210, 40));
  c->Ellipse(10, 8, 44, 42);

  // A house on the right, its chimney on the left slope of the roof.
  c->Pen()->SetColor(RGB(70, 40, 20));
  c->Brush()->SetColor(RGB(150, 60, 40));
  c->Rectangle(124, 48, 134, 76);
  const std::vector<TPoint> roof{Point(110, 80), Point(150, 48), Point(190, 80)};
  c->Polygon(roof);
  c->Brush()->SetColor(RGB(240, 228, 200));
  c->Rectangle(116, 80, 184, 122);
  c->Brush()->SetColor(RGB(110, 70, 40));
  c->Rectangle(126, 96, 142, 122);
  c->Brush()->SetColor(RGB(160, 210, 250));
  c->Rectangle(154, 90, 174, 106);

  // A tree on the left.
  c->Brush()->SetColor(RGB(110, 70, 40));
  c->Rectangle(36, 92, 44, 126);
  c->Pen()->SetColor(RGB(20, 90, 20));
  c->Brush()->SetColor(RGB(40, 140, 50));
  c->Ellipse(20, 58, 60, 98);

  // An arrow pointing right, low in the middle.
  c->Pen()->SetColor(RGB(140, 0, 0));
  c->Brush()->SetColor(RGB(220, 30, 30));
  const std::vector<TPoint> arrow{Point(62, 128), Point(92, 128), Point(92, 120), Point(108, 134),
                                  Point(92, 148), Point(92, 140), Point(62, 140)};
  c->Polygon(arrow);
}
