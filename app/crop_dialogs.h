// The two crop dialogs: one picture of the loaded video in an image view on which the user draws
// the area to keep, or types its position and size. The frame run reads `setcrop`, the clip run
// `setcrop2`; the view's selection is the dialog's whole state.
#pragma once

#include "app/crop_area.h"
#include "platform/gui/forms.h"
#include "platform/gui/stdctrls.h"

class TZodivErView;

class TCropDialog : public TForm {
 public:
  TCropDialog(TComponent* AOwner, const AnsiString& Name, Integer ClientWidth, Integer ClientHeight);

  void ZodivErView1SelectionChange(TObject* Sender);
  void ZodivErView1SelectionChanging(TObject* Sender);
  void ed_hpChange(TObject*) { EditChanged(cfLeft); }
  void ed_vpChange(TObject*) { EditChanged(cfTop); }
  void ed_wChange(TObject*) { EditChanged(cfWidth); }
  void ed_hChange(TObject*) { EditChanged(cfHeight); }
  void ed_hpExit(TObject*) { EditLeft(cfLeft); }
  void ed_vpExit(TObject*) { EditLeft(cfTop); }
  void ed_wExit(TObject*) { EditLeft(cfWidth); }
  void ed_hExit(TObject*) { EditLeft(cfHeight); }
  // Only digits and backspace reach the edits.
  void ed_hpKeyPress(TObject* Sender, char& Key);
  void ed_vpKeyPress(TObject* Sender, char& Key) { ed_hpKeyPress(Sender, Key); }
  void ed_wKeyPress(TObject* Sender, char& Key) { ed_hpKeyPress(Sender, Key); }
  void ed_hKeyPress(TObject* Sender, char& Key) { ed_hpKeyPress(Sender, Key); }
  void Button1Click(TObject* Sender);

  // The view's selection: all 0 while nothing is selected.
  TCropArea Selection();
  // The area the run will cut for a selection: the selection itself, or for a clip its size
  // made even.
  TCropArea UsedArea(const TCropArea& Area);

  TLabel* Label1 = nullptr;
  TZodivErView* ZodivErView1 = nullptr;
  TGroupBox* group_number = nullptr;
  TLabel* label_hp = nullptr;
  TLabel* label_vp = nullptr;
  TLabel* label_w = nullptr;
  TLabel* label_h = nullptr;
  TEdit* ed_hp = nullptr;
  TEdit* ed_vp = nullptr;
  TEdit* ed_w = nullptr;
  TEdit* ed_h = nullptr;
  TButton* Button1 = nullptr;

 private:
  TEdit* EditOf(TCropField Field) const;
  void EditChanged(TCropField Field);
  void EditLeft(TCropField Field);
  // Writes the position and size the run will use into the edits without selecting again.
  void ShowSelection();
  // Replaces the view's selection by Area (inclusive corners).
  void SelectArea(const TCropArea& Area);
  // Set while the dialog itself writes the edits.
  bool FShowing = false;

 protected:
  // The clip encoders need even frame sizes: the clip's dialog keeps its selection even-sized,
  // so that what it shows is what the clip gets.
  bool FEvenSize = false;
};

class Tsetcrop : public TCropDialog {
 public:
  explicit Tsetcrop(TComponent* AOwner);
};

class Tsetcrop2 : public TCropDialog {
 public:
  explicit Tsetcrop2(TComponent* AOwner);
};

extern Tsetcrop* setcrop;
extern Tsetcrop2* setcrop2;
