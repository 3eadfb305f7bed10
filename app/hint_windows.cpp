#include "app/hint_windows.h"

#include "app/app_pictures.h"
#include "platform/gui/graphics.h"

Tshowdragvideo* showdragvideo = nullptr;
Tshowdragimage* showdragimage = nullptr;
Tshowdragvideos* showdragvideos = nullptr;
Tshowdragimages* showdragimages = nullptr;
Tshowdragaudios* showdragaudios = nullptr;

TDragHintWindow::TDragHintWindow(TComponent* AOwner, const AnsiString& AName, Integer AWidth,
                                 Integer AHeight, const AnsiString& Text)
    : TForm(AOwner) {
  SetName(AName);
  SetBorderStyle(bsNone);
  SetBorderIcons(0);
  SetClientWidth(AWidth);
  SetClientHeight(AHeight);

  showdragvideo = new TImage(this);
  showdragvideo->SetName("showdragvideo");
  showdragvideo->SetParent(this);
  showdragvideo->SetAlign(alClient);
  showdragvideo->SetStretch(true);
  TBitmap picture;
  DrawHintPicture(&picture, AWidth, AHeight, Text);
  showdragvideo->Picture()->SetBitmap(&picture);
}

Tshowdragvideo::Tshowdragvideo(TComponent* AOwner)
    : TDragHintWindow(AOwner, "showdragvideo", 237, 35, "Drag a video file here") {}
Tshowdragimage::Tshowdragimage(TComponent* AOwner)
    : TDragHintWindow(AOwner, "showdragimage", 238, 36, "Drag an image file here") {}
Tshowdragvideos::Tshowdragvideos(TComponent* AOwner)
    : TDragHintWindow(AOwner, "showdragvideos", 240, 37, "Drag video files here") {}
Tshowdragimages::Tshowdragimages(TComponent* AOwner)
    : TDragHintWindow(AOwner, "showdragimages", 237, 38, "Drag image files here") {}
Tshowdragaudios::Tshowdragaudios(TComponent* AOwner)
    : TDragHintWindow(AOwner, "showdragaudios", 236, 40, "Drag audio files here") {}
