// A modal window that shows a palette as a grid of colour cells, 32 to a row, and answers the
// colour the user clicks.
#pragma once

#include "imaging/core/ie_types.h"
#include "platform/gui/forms.h"
#include "platform/gui/stdctrls.h"

class TZodivErPaletteDialog : public TForm {
 public:
  explicit TZodivErPaletteDialog(TComponent* AOwner);

  // The palette is the caller's and must outlive the dialog's showing.
  void SetPalette(const TRGB* Palette, Integer Count);
  bool Execute();

  void PaintCells(TObject* Sender);
  void MouseMoveCell(TObject* Sender, TShiftState Shift, Integer X, Integer Y);
  void ClickCell(TObject* Sender);

  Integer HighlightedCell() const { return FHighlighted; }
  TButton* CancelButton() const { return FCancelButton; }
  TColor ChosenColor = 0;

 private:
  const TRGB* FPalette = nullptr;
  Integer FCount = 0;
  Integer FHighlighted = -1;
  TButton* FCancelButton = nullptr;
};
