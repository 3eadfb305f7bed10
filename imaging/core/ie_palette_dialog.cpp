#include "imaging/core/ie_palette_dialog.h"

#include "imaging/core/ie_helpers.h"
#include "platform/gui/canvas.h"

namespace {
constexpr Integer CellSize = 16;
constexpr Integer CellsPerRow = 32;
}  // namespace

TZodivErPaletteDialog::TZodivErPaletteDialog(TComponent* AOwner) : TForm(AOwner) {
  SetBorderIcons(biSystemMenu);
  SetBorderStyle(bsDialog);
  SetCaption("Palette");
  SetWidth(520);
  SetHeight(199);
  SetPosition(poScreenCenter);
  FCancelButton = new TButton(this);
  FCancelButton->SetParent(this);
  FCancelButton->SetCaption("&Cancel");
  FCancelButton->SetLeft(4);
  FCancelButton->SetTop(136);
  FCancelButton->SetModalResult(mrCancel);
  FCancelButton->SetCancel(true);
  OnPaint = [this](TObject* Sender) { PaintCells(Sender); };
  OnMouseMove = [this](TObject* Sender, TShiftState Shift, Integer X, Integer Y) { MouseMoveCell(Sender, Shift, X, Y); };
  OnClick = [this](TObject* Sender) { ClickCell(Sender); };
}

void TZodivErPaletteDialog::SetPalette(const TRGB* Palette, Integer Count) {
  FPalette = Palette;
  FCount = Palette ? IEMax(Count, 0) : 0;
  FHighlighted = -1;
}

bool TZodivErPaletteDialog::Execute() { return ShowModal() == mrOk; }

void TZodivErPaletteDialog::PaintCells(TObject*) {
  TCanvas* canvas = Canvas();
  for (Integer i = 0; i < FCount; ++i) {
    const Integer column = i % CellsPerRow, row = i / CellsPerRow;
    const TRGB c = FPalette[i];
    canvas->Brush()->SetColor(TColor(c.r) | TColor(c.g) << 8 | TColor(c.b) << 16);
    canvas->Pen()->SetColor(i == FHighlighted ? 0x000000 : 0xFFFFFF);
    canvas->Rectangle(column * CellSize + 1, row * CellSize + 1, column * CellSize + CellSize,
                      row * CellSize + CellSize);
  }
}

void TZodivErPaletteDialog::MouseMoveCell(TObject*, TShiftState, Integer X, Integer Y) {
  // Division toward zero, as the cell arithmetic has always been; the left and top margins of
  // one pixel therefore still count as the first column and row.
  const Integer column = (X - 1) / CellSize, cell = column + ((Y - 1) / CellSize) * CellsPerRow;
  // Right of the last column the pointer is over no cell, not over the next row's first one.
  if (X < 0 || Y < 0 || column >= CellsPerRow || cell >= FCount || cell == FHighlighted) return;
  FHighlighted = cell;
  Repaint();
}

void TZodivErPaletteDialog::ClickCell(TObject*) {
  // A click before the mouse has shown any cell chooses nothing.
  if (FHighlighted < 0 || FHighlighted >= FCount) return;
  const TRGB c = FPalette[FHighlighted];
  ChosenColor = TColor(c.r) | TColor(c.g) << 8 | TColor(c.b) << 16;
  SetModalResult(mrOk);
}
