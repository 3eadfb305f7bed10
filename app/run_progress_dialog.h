// The dialog every run shows while it works: its phase, one progress bar and Cancel. The runs'
// timers and their encoders' events all happen inside this dialog's modal loop.
#pragma once

#include "platform/gui/comctrls.h"
#include "platform/gui/forms.h"
#include "platform/gui/stdctrls.h"

class Tbatchaudioc : public TForm {
 public:
  explicit Tbatchaudioc(TComponent* AOwner);

  void FormShow(TObject* Sender);
  // Cancel: marks the run cancelled, then stops the run's encoder (waiting for its tasks) or,
  // while express frames are still being prepared, closes the dialog.
  void Button1Click(TObject* Sender);

  TLabel* Label1 = nullptr;
  TProgressBar* progresstotal = nullptr;
  TButton* Button1 = nullptr;
};

extern Tbatchaudioc* batchaudioc;
