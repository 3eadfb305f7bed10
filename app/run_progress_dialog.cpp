#include "app/run_progress_dialog.h"

Tbatchaudioc* batchaudioc = nullptr;

Tbatchaudioc::Tbatchaudioc(TComponent* AOwner) : TForm(AOwner) {
  SetName("batchaudioc");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
}

void Tbatchaudioc::FormShow(TObject*) {}
void Tbatchaudioc::Button1Click(TObject*) {}
