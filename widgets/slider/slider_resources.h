// The slider's built-in pictures and cursors, drawn here in place of program resources.
#pragma once

#include "platform/gui/graphics.h"

// Screen cursor ids of the slider.
inline constexpr Integer crSliderHand = 14000;
inline constexpr Integer crSliderDrag = 14001;

// Fills Bitmap with the named built-in picture ("W95_HTB", "W95_HRL", "W95_VTB", "W95_VRL").
// Unknown names raise EInvalidGraphic.
void LoadSliderResource(TBitmap* Bitmap, const AnsiString& Name);

// Registers "CL_HANDCUR" and "CL_DRAGCUR" as the screen cursors crSliderHand and crSliderDrag.
// Safe to call more than once; does nothing before the screen exists.
void RegisterSliderCursors();
