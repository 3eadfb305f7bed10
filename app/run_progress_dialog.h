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

 private:
  // Set while Cancel waits for an encoder to stop: the wait runs the message loop, where a
  // second click must not start a second wait inside the first.
  bool FStopping = false;
};

extern Tbatchaudioc* batchaudioc;
