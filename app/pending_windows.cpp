#include "app/pending_windows.h"

Tbatchaudioc* batchaudioc = nullptr;
Teffects* effects = nullptr;
Teffects2* effects2 = nullptr;

namespace {
void SetUpDialog(TForm* Form, const AnsiString& Name, const AnsiString& Caption) {
  Form->SetName(Name);
  Form->SetCaption(Caption);
  Form->SetBorderStyle(bsDialog);
  Form->SetPosition(poScreenCenter);
}
}  // namespace

Tbatchaudioc::Tbatchaudioc(TComponent* AOwner) : TForm(AOwner) { SetUpDialog(this, "batchaudioc", "Processing"); }
Teffects::Teffects(TComponent* AOwner) : TForm(AOwner) { SetUpDialog(this, "effects", "Transform Effects"); }
Teffects2::Teffects2(TComponent* AOwner) : TForm(AOwner) { SetUpDialog(this, "effects2", "Transform Effects"); }
