#include "app/transform_dialogs.h"

Teffects* effects = nullptr;
Teffects2* effects2 = nullptr;

TTransformDialog::TTransformDialog(TComponent* AOwner, const AnsiString& Name, Integer ClientWidth,
                                   Integer ClientHeight)
    : TForm(AOwner) {
  SetName(Name);
  SetCaption("Transform");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(ClientWidth);
  SetClientHeight(ClientHeight);
}

void TTransformDialog::Button1Click(TObject*) { Close(); }

Teffects::Teffects(TComponent* AOwner) : TTransformDialog(AOwner, "effects", 550, 391) {}
Teffects2::Teffects2(TComponent* AOwner) : TTransformDialog(AOwner, "effects2", 541, 382) {}
