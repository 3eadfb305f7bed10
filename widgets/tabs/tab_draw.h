// Colour arithmetic on a 0..240 hue-saturation-luminance scale, gradients, button faces and the
// small glyphs shared by the tab control and its child buttons.
#pragma once

#include <bitset>

#include "platform/gui/controls.h"
#include "widgets/tabs/tab_types.h"

class TClCustomTabControl;

void SplitColorHsl(TColor Color, Byte& Hue, Byte& Saturation, Byte& Luminance);
Byte HueOfColor(TColor Color);
TColor ColorFromHsl(Byte Hue, Byte Saturation, Byte Luminance);
TColor DarkenColor(TColor Color, Byte Amount);
TColor LightenColor(TColor Color, Byte Amount);
TColor ShiftColorLuminance(TColor Color, Integer Amount);
TColor MixColors(TColor Fore, TColor Back, Byte Alpha);
TColor XorColors(TColor A, TColor B);
bool ColorsAlike(TColor A, TColor B);
TColor OppositeHueColor(TColor Color, Byte Luminance);

void DrawGradient(TCanvas* ACanvas, const TRect& R, TBandGradient Kind, TColor From, TColor To);
// Paints what Control's parent shows behind Control into ACanvas (at Control's client origin).
void PaintParentBackground(TControl* Control, TCanvas* ACanvas, bool InvalidateParent);
void DrawTabButtonFace(TCanvas* ACanvas, const TRect& R, TClCustomTabControl* TabControl, bool Enabled,
                       TColor FrameColor, bool Hot, bool Pressed);
// Direction 0 up, 1 down, 2 left, 3 right.
void DrawArrowGlyph(TCanvas* ACanvas, const TRect& R, bool Enabled, Integer Direction);
void DrawCloseCross(TCanvas* ACanvas, const TRect& R, bool Enabled);
void DrawCloseGlyph(TCanvas* ACanvas, const TRect& R, TColor Color);

// Every font this system draws with is scalable and can be turned.
bool IsTrueTypeFont(TFont* Font);
bool ByteSetContains(Byte Value, const std::bitset<256>& Set);
// The rotated-text and overlay drawing paths of the newer desktop apply.
bool RunningOnNt6OrLater();
// Whether the screen shows more than 256 colours, decided once at start-up from the screen's
// NUMCOLORS capability, before any window exists; a later change of the display mode is not
// seen.
bool ScreenHasManyColors();
// The start-up probe behind ScreenHasManyColors: NumColors is the screen's NUMCOLORS
// capability (-1 for more than 256 colours). Only the first call counts.
void ProbeScreenColors(Integer NumColors);

bool RectIsZero(const TRect& R);
TRect OrderRectCorners(const TRect& R);
bool PointInOrderedRect(const TPoint& P, const TRect& R);
// Nothing designs forms in this system; kept for the selection protocol's call.
void NotifyDesignerModified(TControl* Control);
