#include "app/tile_layout.h"

#include <algorithm>

TTileLayout::TTileLayout(Integer Columns, Integer Lines)
    : FColumns(std::max<Integer>(Columns, 1)), FLines(std::max<Integer>(Lines, 1)) {}

TTileLayout::TPlace TTileLayout::Next(bool Exists, Integer Width, Integer Height, bool Last) {
  TPlace place;
  ++FFrame;
  if (Exists) {
    place.PosX = ((FCell - 1) % FColumns) * FWidth;
    place.PosY = ((FCell - 1) / FColumns) * FHeight;
  }
  if (FFrame % Cells() == 0 || Last) {
    place.SheetEnds = true;
    place.Sheet = ++FSheets;
    // A sheet of one cell whose frame is missing holds nothing worth a file.
    place.SaveSheet = FCell > 1 || Exists;
    FCell = 1;
    FWidth = FHeight = 0;
  } else {
    ++FCell;
    if (Exists) {
      FWidth = Width;
      FHeight = Height;
    }
  }
  return place;
}
