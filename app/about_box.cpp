#include "app/about_box.h"

#include "app/app_pictures.h"
#include "app/desktop_open.h"
#include "platform/gui/graphics.h"
#include "platform/gui/services.h"
#include "platform/rtl/sysutils.h"

Tabout* about = nullptr;

Tabout::Tabout(TComponent* AOwner) : TForm(AOwner) {
  SetName("about");
  SetCaption("About Clavorne Pro");
  SetBorderStyle(bsDialog);
  SetBorderIcons(biSystemMenu);
  SetPosition(poScreenCenter);
  SetClientWidth(340);
  SetClientHeight(170);

  Label1 = new TLabel(this);
  Label1->SetName("Label1");
  Label1->SetParent(this);
  Label1->SetBounds(24, 20, 290, 24);
  Label1->Font()->SetSize(14);
  Label1->Font()->SetStyle({fsBold});
  Label1->SetCaption("Clavorne Pro 1.2.7");

  Label2 = new TLabel(this);
  Label2->SetName("Label2");
  Label2->SetParent(this);
  Label2->SetBounds(24, 56, 290, 18);

  Label5 = new TLabel(this);
  Label5->SetName("Label5");
  Label5->SetParent(this);
  Label5->SetBounds(24, 84, 290, 18);
  Label5->Font()->SetColor(clBlue);
  Label5->Font()->SetStyle({fsUnderline});
  Label5->SetCursor(crHandPoint);
  Label5->SetCaption(MakerWebAddress);
  Label5->OnClick = [this](TObject* S) { Label5Click(S); };

  Button1 = new TButton(this);
  Button1->SetName("Button1");
  Button1->SetParent(this);
  Button1->SetBounds(132, 124, 76, 28);
  Button1->SetCaption("OK");
  Button1->SetDefault(true);
  Button1->SetCancel(true);
  Button1->OnClick = [this](TObject* S) { Button1Click(S); };

  OnShow = [this](TObject* S) { FormShow(S); };
}

void Tabout::FormShow(TObject*) {
  Word year = 0, month = 0, day = 0;
  DecodeDate(Date(), year, month, day);
  Label2->SetCaption(Format("Copyright (C) %d Clavorne. All rights reserved.", Integer(year)));
}

void Tabout::Label5Click(TObject*) { OpenOnDesktop(this, MakerWebAddress); }

void Tabout::Button1Click(TObject*) { Close(); }
