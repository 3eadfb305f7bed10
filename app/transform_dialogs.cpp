#include "app/transform_dialogs.h"

#include <cstring>

#include "app/app_pictures.h"
#include "platform/gui/graphics.h"

Teffects* effects = nullptr;
Teffects2* effects2 = nullptr;

namespace {

enum class TPixelMove { FlipHorizontal, FlipVertical, RotateClockwise, RotateCounterClockwise };

// Dest becomes Source with its pixels moved as FFmpeg's hflip, vflip, transpose=1 and
// transpose=2 move them, so that each picture shows exactly what its box does to a frame.
void MovePixels(TBitmap* Source, TBitmap* Dest, TPixelMove Move) {
  Source->SetPixelFormat(pf24bit);
  const Integer sw = Source->Width(), sh = Source->Height();
  const bool turned = Move == TPixelMove::RotateClockwise || Move == TPixelMove::RotateCounterClockwise;
  const Integer dw = turned ? sh : sw, dh = turned ? sw : sh;
  Dest->SetPixelFormat(pf24bit);
  Dest->SetSize(dw, dh);
  for (Integer dy = 0; dy < dh; ++dy) {
    auto* out = static_cast<Byte*>(Dest->ScanLine(dy));
    for (Integer dx = 0; dx < dw; ++dx) {
      Integer sx = dx, sy = dy;
      switch (Move) {
        case TPixelMove::FlipHorizontal: sx = sw - 1 - dx; break;
        case TPixelMove::FlipVertical: sy = sh - 1 - dy; break;
        // Clockwise: the source's left column becomes the top row, read bottom to top.
        case TPixelMove::RotateClockwise: sx = dy; sy = sh - 1 - dx; break;
        case TPixelMove::RotateCounterClockwise: sx = sw - 1 - dy; sy = dx; break;
      }
      const auto* in = static_cast<const Byte*>(Source->ScanLine(sy));
      std::memcpy(out + 3 * dx, in + 3 * sx, 3);
    }
  }
}

TImage* NewPicture(TTransformDialog* Owner, const char* Name, const TRect& Area, TBitmap* Bitmap) {
  auto* image = new TImage(Owner);
  image->SetName(Name);
  image->SetParent(Owner);
  image->SetBounds(Area.Left, Area.Top, Area.Width(), Area.Height());
  image->SetCenter(true);
  image->SetProportional(true);
  image->Picture()->SetBitmap(Bitmap);
  return image;
}

TCheckBox* NewBox(TTransformDialog* Owner, const char* Name, const char* Caption, const TRect& Area) {
  auto* box = new TCheckBox(Owner);
  box->SetName(Name);
  box->SetParent(Owner);
  box->SetBounds(Area.Left, Area.Top, Area.Width(), Area.Height());
  box->SetCaption(Caption);
  box->SetChecked(false);
  return box;
}

}  // namespace

TTransformDialog::TTransformDialog(TComponent* AOwner, const AnsiString& Name, Integer ClientWidth,
                                   Integer ClientHeight)
    : TForm(AOwner) {
  SetName(Name);
  SetCaption("Transform");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(ClientWidth);
  SetClientHeight(ClientHeight);

  TBitmap sample;
  DrawTransformSample(&sample);

  const Integer originalLeft = (ClientWidth - 205) / 2;
  img_original = NewPicture(this, "img_original", Rect(originalLeft, 8, originalLeft + 205, 8 + 171), &sample);
  label_original = new TLabel(this);
  label_original->SetName("label_original");
  label_original->SetParent(this);
  label_original->SetBounds(originalLeft, 182, 205, 16);
  label_original->SetAutoSize(false);
  label_original->SetAlignment(taCenter);
  label_original->SetCaption("Original");

  // Four columns under the original: a picture, and its box below it.
  const Integer margin = 10, columnWidth = (ClientWidth - 2 * margin) / 4;
  const Integer picturesTop = 204, boxTop = ClientHeight - 68, buttonTop = ClientHeight - 34;
  auto picture = [&](Integer column) {
    const Integer left = margin + column * columnWidth;
    return Rect(left + 5, picturesTop, left + columnWidth - 5, boxTop - 6);
  };
  auto boxArea = [&](Integer column) {
    const Integer left = margin + column * columnWidth;
    return Rect(left + 8, boxTop, left + columnWidth - 4, boxTop + 20);
  };
  struct TColumn {
    TPixelMove Move;
    const char* ImageName;
    const char* BoxName;
    const char* Caption;
    TImage** Image;
    TCheckBox** Box;
  };
  const TColumn columns[] = {
      {TPixelMove::FlipHorizontal, "img_hflip", "ck_hflip", "Flip Horizontal", &img_hflip, &ck_hflip},
      {TPixelMove::FlipVertical, "img_vflip", "ck_vflip", "Flip Vertical", &img_vflip, &ck_vflip},
      {TPixelMove::RotateClockwise, "img_transpose1", "ck_transpose1", "Rotate CW", &img_transpose1, &ck_transpose1},
      {TPixelMove::RotateCounterClockwise, "img_transpose2", "ck_transpose2", "Rotate CCW", &img_transpose2,
       &ck_transpose2},
  };
  for (Integer i = 0; i < 4; ++i) {
    TBitmap moved;
    MovePixels(&sample, &moved, columns[i].Move);
    *columns[i].Image = NewPicture(this, columns[i].ImageName, picture(i), &moved);
    *columns[i].Box = NewBox(this, columns[i].BoxName, columns[i].Caption, boxArea(i));
  }

  Button1 = new TButton(this);
  Button1->SetName("Button1");
  Button1->SetParent(this);
  Button1->SetBounds((ClientWidth - 76) / 2, buttonTop, 76, 25);
  Button1->SetCaption("OK");
  Button1->SetDefault(true);
  // OK is the only way out and reads nothing back, so Escape takes it too.
  Button1->SetCancel(true);
  Button1->OnClick = [this](TObject* S) { Button1Click(S); };
}

void TTransformDialog::Button1Click(TObject*) { Close(); }

Teffects::Teffects(TComponent* AOwner) : TTransformDialog(AOwner, "effects", 550, 391) {}
Teffects2::Teffects2(TComponent* AOwner) : TTransformDialog(AOwner, "effects2", 541, 382) {}
