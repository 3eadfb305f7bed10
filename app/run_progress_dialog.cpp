#include "app/run_progress_dialog.h"

#include "app/main_window.h"
#include "app/run.h"
#include "platform/rtl/flag_guard.h"

Tbatchaudioc* batchaudioc = nullptr;

Tbatchaudioc::Tbatchaudioc(TComponent* AOwner) : TForm(AOwner) {
  SetName("batchaudioc");
  SetCaption("");
  SetBorderStyle(bsDialog);
  // Without border icons there is no close box: a run ends the dialog, or Cancel does.
  SetBorderIcons(0);
  SetPosition(poScreenCenter);
  SetClientWidth(350);
  SetClientHeight(90);

  Label1 = new TLabel(this);
  Label1->SetName("Label1");
  Label1->SetParent(this);
  Label1->SetBounds(16, 10, 318, 16);
  Label1->SetCaption("");

  progresstotal = new TProgressBar(this);
  progresstotal->SetName("progresstotal");
  progresstotal->SetParent(this);
  progresstotal->SetBounds(16, 30, 318, 18);
  progresstotal->SetMin(0);
  progresstotal->SetMax(100);

  Button1 = new TButton(this);
  Button1->SetName("Button1");
  Button1->SetParent(this);
  Button1->SetBounds(137, 56, 76, 25);
  Button1->SetCaption("Cancel");
  Button1->SetCancel(true);
  Button1->OnClick = [this](TObject* S) { Button1Click(S); };

  OnShow = [this](TObject* S) { FormShow(S); };
}

void Tbatchaudioc::FormShow(TObject*) { progresstotal->SetPosition(0); }

void Tbatchaudioc::Button1Click(TObject*) {
  // A disabled Cancel (the "tmp" folder is being emptied) does nothing, however it is reached.
  if (FStopping || !Button1->Enabled() || !MainWindow) return;
  if (TRun* run = MainWindow->ActiveRun) {
    FlagGuard stopping(FStopping);
    run->Cancel();
  }
}
