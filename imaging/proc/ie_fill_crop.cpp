#include "imaging/proc/ie_fill_crop.h"

#include <cstring>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "platform/rtl/numerics.h"

void IEFillRect(TIEBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2, TRGB Color,
                const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  const TIEPixelFormat format = Bitmap->GetPixelFormat();
  if (format != ie24RGB && format != ie1g) return;
  // Inclusive from here on; a corner outside the image is brought back to its edge.
  X1 = IEMax(X1, 0);
  Y1 = IEMax(Y1, 0);
  X2 = IEMin(X2, Bitmap->GetWidth()) - 1;
  Y2 = IEMin(Y2, Bitmap->GetHeight()) - 1;
  if (Y2 < Y1) return;
  const Integer rows = Y2 - Y1 + 1;
  for (Integer y = Y1; y <= Y2; ++y) {
    Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
    if (format == ie24RGB) {
      TRGB* p = reinterpret_cast<TRGB*>(row);
      for (Integer x = X1; x <= X2; ++x) p[x] = Color;
      if (OnProgress) OnProgress(Sender, SafeTrunc<Integer>((y - Y1 + 1) * 100 / (rows + 0.5)));
    } else {
      for (Integer x = X1; x <= X2; ++x) IESetBit(row, x, Color.r != 0);
    }
  }
}

TRect IEGetOpaqueBounds(TIEBitmap* Bitmap) {
  if (!Bitmap || Bitmap->IsEmpty()) return TRect{0, 0, -1, -1};
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (!Bitmap->HasAlphaChannel()) return TRect{0, 0, w - 1, h - 1};
  TIEBitmap* alpha = Bitmap->GetAlphaChannel();
  TRect r{w, h, -1, -1};
  for (Integer y = 0; y < h; ++y) {
    const Byte* row = static_cast<const Byte*>(alpha->GetScanline(y));
    Integer first = 0;
    while (first < w && row[first] == 0) ++first;
    if (first == w) continue;
    Integer last = w - 1;
    while (row[last] == 0) --last;
    r.Left = IEMin(r.Left, first);
    r.Right = IEMax(r.Right, last);
    if (r.Top == h) r.Top = y;
    r.Bottom = y;
  }
  return r;
}
