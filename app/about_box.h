// The about box of the Help menu.
#pragma once

#include "platform/gui/forms.h"
#include "platform/gui/stdctrls.h"

class Tabout : public TForm {
 public:
  explicit Tabout(TComponent* AOwner);

  void FormShow(TObject* Sender);
  void Label5Click(TObject* Sender);
  void Button1Click(TObject* Sender);

  TLabel* Label1 = nullptr;  // product and version
  TLabel* Label2 = nullptr;  // notice, with the current year
  TLabel* Label5 = nullptr;  // the maker's web address
  TButton* Button1 = nullptr;
};

extern Tabout* about;
