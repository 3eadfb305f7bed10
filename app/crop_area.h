// The crop rectangle of the crop dialogs and the runs that read it, as plain arithmetic: what the
// dialog's four edits show for a selection, the selection an edit asks for, and the crop a run
// cuts from it.
#pragma once

#include <functional>

#include "platform/rtl/geometry.h"
#include "platform/rtl/types.h"

// A selection as the crop view reports it: picture pixels, X2 and Y2 inclusive (the last column
// and line inside); all 0 while nothing is selected.
struct TCropArea {
  Integer X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  bool Empty() const { return X2 == 0 && Y2 == 0; }
  Integer Width() const { return X2 - X1 + 1; }
  Integer Height() const { return Y2 - Y1 + 1; }
  friend bool operator==(const TCropArea&, const TCropArea&) = default;
};

// The dialog's edits: horizontal and vertical position, width and height.
enum TCropField { cfLeft, cfTop, cfWidth, cfHeight };

struct TCropFields {
  Integer Left = 0, Top = 0, Width = 0, Height = 0;
  friend bool operator==(const TCropFields&, const TCropFields&) = default;
};

// What the edits show for a selection: its position and its size in pixels.
TCropFields CropFieldsOf(const TCropArea& Area);

// The rectangle to select after Field was set to Value, in the view's selection terms (Right and
// Bottom one past the last column and line). A position moves that edge and leaves the far edge
// where it was (the far edge follows when the near one passes it); a size moves the far edge.
// The rectangle stays ordered, at least one pixel, and inside a picture of PictureWidth x
// PictureHeight when those are above 0.
TRect CropSelectionAfterEdit(const TCropArea& Current, TCropField Field, Integer Value, Integer PictureWidth,
                             Integer PictureHeight);

// The text an edit keeps when the user leaves it: a position may be 0, a size at least 1; a text
// that is no number gives the smallest value.
AnsiString CropFieldTextOnExit(TCropField Field, const AnsiString& Text);

// ",crop=w:h:x:y:exact=1" for an area of the picture. Without exact the filter moves an odd
// position and shrinks an odd size to the chroma grid of 4:2:0 pictures, cutting another area
// than the one chosen.
AnsiString CropFilterPart(Integer Width, Integer Height, Integer X, Integer Y);

// One side of a crop whose size must be rounded (Round gives the rounded size for a size): the
// size is rounded, and when that would reach past the picture's edge at Limit the crop moves
// back, or a smaller size is rounded when the picture is too narrow. The near edge (Start)
// stays where it is otherwise. An unknown picture size (0) limits nothing.
void KeepCropSpanInside(Integer& Size, Integer& Start, Integer Limit, const std::function<Integer(Integer)>& Round);

// The area with its width and height made even (one more when odd) as clip encoders need, kept
// inside a picture of PictureWidth x PictureHeight. An empty area stays empty.
TCropArea EvenSizedCropArea(const TCropArea& Area, Integer PictureWidth, Integer PictureHeight);
