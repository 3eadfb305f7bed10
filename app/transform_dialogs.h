// The two transform dialogs: four independent check boxes (flip horizontally, flip vertically,
// turn clockwise, turn counter-clockwise) under pictures that show each transform. The frame run
// reads `effects`, the clip run `effects2`; the boxes keep their state while the program runs.
#pragma once

#include "platform/gui/extctrls.h"
#include "platform/gui/forms.h"
#include "platform/gui/stdctrls.h"

class TTransformDialog : public TForm {
 public:
  TTransformDialog(TComponent* AOwner, const AnsiString& Name, Integer ClientWidth, Integer ClientHeight);

  void Button1Click(TObject* Sender);

  // The sample as it is, and as each box would turn it (the same pixels, moved).
  TImage* img_original = nullptr;
  TLabel* label_original = nullptr;
  TImage* img_hflip = nullptr;
  TImage* img_vflip = nullptr;
  TImage* img_transpose1 = nullptr;
  TImage* img_transpose2 = nullptr;

  TCheckBox* ck_hflip = nullptr;
  TCheckBox* ck_vflip = nullptr;
  TCheckBox* ck_transpose1 = nullptr;
  TCheckBox* ck_transpose2 = nullptr;
  TButton* Button1 = nullptr;
};

class Teffects : public TTransformDialog {
 public:
  explicit Teffects(TComponent* AOwner);
};

class Teffects2 : public TTransformDialog {
 public:
  explicit Teffects2(TComponent* AOwner);
};

extern Teffects* effects;
extern Teffects2* effects2;
