// The borderless windows that invite the user to drag files onto the main window.
#pragma once

#include "platform/gui/extctrls.h"
#include "platform/gui/forms.h"

class TDragHintWindow : public TForm {
 public:
  TImage* showdragvideo = nullptr;

 protected:
  TDragHintWindow(TComponent* AOwner, const AnsiString& AName, Integer AWidth, Integer AHeight,
                  const AnsiString& Text);
};

class Tshowdragvideo : public TDragHintWindow {
 public:
  explicit Tshowdragvideo(TComponent* AOwner);
};
class Tshowdragimage : public TDragHintWindow {
 public:
  explicit Tshowdragimage(TComponent* AOwner);
};
class Tshowdragvideos : public TDragHintWindow {
 public:
  explicit Tshowdragvideos(TComponent* AOwner);
};
class Tshowdragimages : public TDragHintWindow {
 public:
  explicit Tshowdragimages(TComponent* AOwner);
};
class Tshowdragaudios : public TDragHintWindow {
 public:
  explicit Tshowdragaudios(TComponent* AOwner);
};

extern Tshowdragvideo* showdragvideo;
extern Tshowdragimage* showdragimage;
extern Tshowdragvideos* showdragvideos;
extern Tshowdragimages* showdragimages;
extern Tshowdragaudios* showdragaudios;
