// The picture shown while the program builds its windows.
#pragma once

#include "platform/gui/extctrls.h"
#include "platform/gui/forms.h"

class Tflash : public TForm {
 public:
  explicit Tflash(TComponent* AOwner);

  TImage* flash = nullptr;
};

extern Tflash* flash;
