#include "app/splash_window.h"

#include "app/app_pictures.h"
#include "platform/gui/graphics.h"

Tflash* flash = nullptr;

Tflash::Tflash(TComponent* AOwner) : TForm(AOwner) {
  SetName("flash");
  SetCaption("flash");
  SetBorderStyle(bsNone);
  SetBorderIcons(0);
  SetPosition(poScreenCenter);
  SetClientWidth(400);
  SetClientHeight(219);

  flash = new TImage(this);
  flash->SetName("flash");
  flash->SetParent(this);
  flash->SetBounds(0, 0, 400, 220);
  TBitmap picture;
  DrawSplashPicture(&picture);
  flash->Picture()->SetBitmap(&picture);
}
