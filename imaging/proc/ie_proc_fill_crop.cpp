// The processing component's fill (through the selection) and crops.
#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/proc/ie_fill_crop.h"
#include "imaging/proc/ie_proc.h"

void TZodivErProc::Fill(TRGB FillColor) {
  Integer x1, y1, x2, y2;
  TIEBitmap* work = nullptr;
  TIEMask* mask = nullptr;
  if (!BeginAreaOperation(IEAnyFormat, x1, y1, x2, y2, "Fill", work, mask)) return;
  IEFillRect(work, x1, y1, x2, y2, FillColor, OnProgress, this);
  EndAreaOperation(work, mask);
  FinishWork();
}

void TZodivErProc::Crop(Integer x1, Integer y1, Integer x2, Integer y2) {
  if (!BeginOperation(IEAnyFormat)) return;
  TIEBitmap* image = GetImage();
  const Integer w = image->GetWidth(), h = image->GetHeight();
  // Corners may come in any order and reach past the image; only the part inside is kept, and
  // a rectangle that misses the image leaves it alone.
  IEOrderCorners(x1, y1, x2, y2);
  x1 = IEMax(x1, 0);
  y1 = IEMax(y1, 0);
  x2 = IEMin(x2, w - 1);
  y2 = IEMin(y2, h - 1);
  if (x2 < x1 || y2 < y1) return;
  if (x1 == 0 && y1 == 0 && x2 == w - 1 && y2 == h - 1) return;
  if (AutoUndo) SaveUndoCaptioned("Crop", ieuImage);
  const Integer cw = x2 - x1 + 1, ch = y2 - y1 + 1;
  TIEBitmap cut(cw, ch, image->GetPixelFormat());
  if (cut.IsEmpty()) return;
  image->CopyPaletteTo(&cut);
  image->CopyRectTo(&cut, x1, y1, 0, 0, cw, ch);
  TIEBitmap alphaCut;
  if (image->HasAlphaChannel()) {
    alphaCut.Allocate(cw, ch, ie8g);
    image->GetAlphaChannel()->CopyRectTo(&alphaCut, x1, y1, 0, 0, cw, ch);
  }
  image->AssignImage(&cut);
  if (!alphaCut.IsEmpty()) {
    image->GetAlphaChannel()->AssignImage(&alphaCut);
    image->GetAlphaChannel()->SyncOpaqueFlag();
  }
  Update();
  FinishWork();
}

void TZodivErProc::CropToRect(const TRect& Rect) { Crop(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }

void TZodivErProc::CropToOpaqueArea() {
  if (!BeginOperation(IEAnyFormat)) return;
  const TRect bounds = IEGetOpaqueBounds(GetImage());
  // Nothing is opaque: there is no area to keep, and the image stays as it is.
  if (bounds.Right < bounds.Left || bounds.Bottom < bounds.Top) return;
  const bool saved = AutoUndo;
  AutoUndo = false;
  try {
    CropToRect(bounds);
  } catch (...) {
    AutoUndo = saved;
    throw;
  }
  AutoUndo = saved;
}
