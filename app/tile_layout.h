// Where each frame of a composite run goes: frames fill sheets of columns x lines cells, line by
// line; a missing frame leaves its cell empty; a tile is placed by the size of the tile before it
// in the same sheet, so frames of one size line up exactly.
#pragma once

#include "platform/rtl/types.h"

class TTileLayout {
 public:
  TTileLayout(Integer Columns, Integer Lines);

  struct TPlace {
    Integer PosX = 0, PosY = 0;  // where the frame's tile goes, when the frame exists
    bool SheetEnds = false;      // the sheet is full or this was the last frame
    bool SaveSheet = false;      // the ended sheet is written
    Integer Sheet = 0;           // the ended sheet's number, from 1
  };

  // The next frame: whether its file exists, its tile's display size, and whether it is the
  // run's last frame.
  TPlace Next(bool Exists, Integer Width, Integer Height, bool Last);

  Integer Cells() const { return FColumns * FLines; }

 private:
  Integer FColumns, FLines;
  Integer FFrame = 0;  // frames seen so far
  Integer FCell = 1;   // the 1-based cell of the next frame in the current sheet
  Integer FWidth = 0, FHeight = 0;
  Integer FSheets = 0;
};
