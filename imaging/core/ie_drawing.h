// Drawing around a shown image (shadow strips, 3-D frames), colour tables of framework bitmaps
// and the textures of dialog backgrounds.
#pragma once

#include <vector>

#include "imaging/core/ie_types.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/canvas.h"

class TIEBitmap;
class TIECanvas;

// Kind 1: a filled strip; 2: soft darkening of what is there; 3: a grey gradient. Pixels inside
// Bitmap (when given) are changed in its rows, the others through Canvas.
void IEDrawShadowRight(TCanvas* Canvas, TBitmap* Bitmap, Integer Left, Integer Top, Integer Right, Integer Bottom,
                       Byte Kind, TColor Color);
void IEDrawShadowBottom(TCanvas* Canvas, TBitmap* Bitmap, Integer Left, Integer Top, Integer Right, Integer Bottom,
                        Byte Kind, TColor Color);

// A blurred drop shadow 5 pixels round the box, darkening the 24-bit Bitmap; the box itself
// (X1 <= x < X2, Y1 <= y < Y2) is left alone.
void IEDrawSoftShadow(TBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2, TColor Color);

// One-pixel frame: left and top in HighColor, right and bottom in ShadowColor; the corner
// (X2, Y1) is left as it is.
void IEDraw3DFrame(TCanvas* Canvas, Integer X1, Integer Y1, Integer X2, Integer Y2, TColor HighColor, TColor ShadowColor);
void IEDraw3DFrameIE(TIECanvas* Canvas, Integer X1, Integer Y1, Integer X2, Integer Y2, TColor HighColor,
                     TColor ShadowColor);

void IESetGrayPalette(TBitmap* Bitmap);
bool IEIsGrayPalette(TBitmap* Bitmap);
void IECopyTBitmapPalette(TBitmap* Bitmap, TIEBitmap* Dest);

// Count values of a bell curve scaled so that its top is High, from x = -1 up to 1 - 2 / Count.
void IEGaussianCurve(Integer Count, Integer Low, Integer High, double Sigma, std::vector<double>& Values);
void IEMakeStripesTexture(TBitmap* Graphic, Integer Width, Integer Height);
void IEMakeBrushedTexture(TBitmap* Graphic, Integer Width, Integer Height);
