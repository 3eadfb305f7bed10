// The program's own pictures, drawn at start-up: the splash, the drag hints, the cut-range bar,
// the page tabs and the transform dialogs' sample. Drawing them keeps the program free of
// picture files to ship.
#pragma once

#include "platform/rtl/types.h"

class TBitmap;

// 400 x 220: the product's name over a dark gradient with the maker's web address.
void DrawSplashPicture(TBitmap* Bitmap);
// A one-line invitation of Width x Height with a dashed drop frame.
void DrawHintPicture(TBitmap* Bitmap, Integer Width, Integer Height, const AnsiString& Text);
// The two layers of the cut-range bar: the whole track and the marked stretch over it.
void DrawRangeBarBack(TBitmap* Bitmap, Integer Width, Integer Height);
void DrawRangeBarFront(TBitmap* Bitmap, Integer Width, Integer Height);

enum TTabPicture { tpVideo, tpAudio, tpImages };
// 220 x 59: a small symbol and the page's word.
void DrawTabPicture(TBitmap* Bitmap, TTabPicture Kind);

// 200 x 150: a small outdoor scene (sun, house, tree, an arrow pointing right) that looks
// different under every flip and quarter turn, for the transform dialogs.
void DrawTransformSample(TBitmap* Bitmap);

// The addresses the about box and the help menu open.
extern const char* const MakerWebAddress;
extern const char* const HelpWebAddress;
