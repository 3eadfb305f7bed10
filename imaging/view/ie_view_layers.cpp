// The view's layer list: the current layer, adding, removing, clearing and merging layers, and
// the hit tests and coordinate conversions of a layer.
#include <algorithm>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/view/ie_layer.h"
#include "imaging/view/ie_layer_merge.h"
#include "imaging/view/ie_view.h"
#include "platform/rtl/numerics.h"

// A display size of 0 has no pixels to map to.
Integer TIELayer::ScreenToLayerX(Integer X) {
  const Integer w = GetWidth();
  if (w == 0 || !Owner) return 0;
  const Integer bx = Owner->ScreenToBitmapX(X - SafeTrunc<Integer>(PosX * Owner->ZoomX() / 100.0));
  return SafeTrunc<Integer>(double(bx) / w * Bitmap->GetWidth());
}

Integer TIELayer::ScreenToLayerY(Integer Y) {
  const Integer h = GetHeight();
  if (h == 0 || !Owner) return 0;
  const Integer by = Owner->ScreenToBitmapY(Y - SafeTrunc<Integer>(PosY * Owner->ZoomY() / 100.0));
  return SafeTrunc<Integer>(double(by) / h * Bitmap->GetHeight());
}

// An empty image maps every pixel onto the layer's origin.
Integer TIELayer::LayerToScreenX(Integer X) {
  if (!Owner) return 0;
  const Integer bw = Bitmap ? Bitmap->GetWidth() : 0;
  const Integer bx = bw == 0 ? 0 : SafeTrunc<Integer>(double(X) / bw * GetWidth());
  return Owner->BitmapToScreenX(bx) + SafeTrunc<Integer>(PosX * Owner->ZoomX() / 100.0);
}

Integer TIELayer::LayerToScreenY(Integer Y) {
  if (!Owner) return 0;
  const Integer bh = Bitmap ? Bitmap->GetHeight() : 0;
  const Integer by = bh == 0 ? 0 : SafeTrunc<Integer>(double(Y) / bh * GetHeight());
  return Owner->BitmapToScreenY(by) + SafeTrunc<Integer>(PosY * Owner->ZoomY() / 100.0);
}
