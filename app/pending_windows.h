// Windows whose content comes with the runs and dialogs built later: the run-progress dialog and
// the two transform dialogs. They exist now so that start-up creates every window in its place.
#pragma once

#include "platform/gui/forms.h"

class Tbatchaudioc : public TForm {
 public:
  explicit Tbatchaudioc(TComponent* AOwner);
};

class Teffects : public TForm {
 public:
  explicit Teffects(TComponent* AOwner);
};

class Teffects2 : public TForm {
 public:
  explicit Teffects2(TComponent* AOwner);
};

extern Tbatchaudioc* batchaudioc;
extern Teffects* effects;
extern Teffects2* effects2;
