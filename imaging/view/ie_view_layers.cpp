// The view's layer list: the current layer, adding, removing, clearing and merging layers, and
// the hit tests and coordinate conversions of a layer.
#include <algorithm>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/view/ie_layer.h"
#include "imaging/view/ie_layer_merge.h"
#include "imaging/view/ie_view.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/sysutils.h"

namespace {

bool InClientRect(const TIELayer* L, Integer X, Integer Y) {
  return X >= L->ClientRect.Left && X <= L->ClientRect.Right && Y >= L->ClientRect.Top && Y <= L->ClientRect.Bottom;
}

}  // namespace

TIELayer* TZodivErView::LayerAt(Integer Index) {
  if (Index < 0 || Index >= LayerCount()) throw EListError(Format("List index out of bounds (%d)", Index));
  return FLayers[static_cast<size_t>(Index)];
}

TIELayer* TZodivErView::CurrentLayer() {
  if (FCurrentLayer < 0 || FCurrentLayer >= LayerCount()) return nullptr;
  return FLayers[static_cast<size_t>(FCurrentLayer)];
}

void TZodivErView::SetCurrentLayer(Integer Index) {
  if (Index < 0 || Index >= LayerCount() || Index == FCurrentLayer) return;
  if (TIELayer* current = CurrentLayer()) {
    current->Bitmap = FIEBitmap;
    if (FSelected) PushSelection();
  }
  // A layer that cannot be selected hands the role to the nearest selectable one below it.
  for (;;) {
    FCurrentLayer = Index;
    if (FLayers[static_cast<size_t>(Index)]->CanSelect || Index == 0 || !FLayerSelectionRestricted) break;
    --Index;
  }
  FIEBitmap = FLayers[static_cast<size_t>(FCurrentLayer)]->Bitmap;
  FLegacyBitmap = FIEBitmap->GetWrapsTBitmap() ? FIEBitmap->GetVclBitmap() : nullptr;
  if (FSelected) PopSelection(true, 2);
  CallNotifyCallbacks();
  Update();
}

Integer TZodivErView::AddLayer() {
  FLayers.push_back(new TIELayer(this, FIEBitmap, false));
  const Integer index = LayerCount() - 1;
  SetCurrentLayer(index);
  FIEBitmap->Fill(static_cast<double>(Background()));
  FIEBitmap->RemoveAlphaChannel(false, Background());
  Update();
  return index;
}

void TZodivErView::RemoveLayer(Integer Index) {
  const Integer count = LayerCount();
  if (count < 2 || Index < 0 || Index >= count) return;
  SyncLayers();
  // The mask layer of the removed layer goes with it, but never the last layer of the view.
  const bool withMask = Index + 1 < count && FLayers[static_cast<size_t>(Index) + 1]->MaskLayer;
  if (withMask && count < 3) return;
  const Integer removed = withMask ? 2 : 1;
  const Integer current = FCurrentLayer;
  const bool currentRemoved = current >= Index && current < Index + removed;
  delete FLayers[static_cast<size_t>(Index)];
  if (withMask) delete FLayers[static_cast<size_t>(Index) + 1];
  FLayers.erase(FLayers.begin() + Index, FLayers.begin() + Index + removed);
  // The current layer is chosen again whenever its index moved or it is gone, so the view's
  // image never stays on a freed bitmap.
  if (currentRemoved) {
    FCurrentLayer = -1;
    SetCurrentLayer(IEMin(Index, LayerCount() - 1));
  } else if (current > Index) {
    FCurrentLayer = -1;
    SetCurrentLayer(current - removed);
  }
  KeepNavigatorOnLiveImage();
}

void TZodivErView::ClearLayers() {
  SyncLayers();
  for (Integer i = LayerCount() - 1; i >= 1; --i) {
    delete FLayers[static_cast<size_t>(i)];
    FLayers.erase(FLayers.begin() + i);
    FCurrentLayer = -1;
    SetCurrentLayer(0);
    FLayers[0]->Reset();
  }
  FIEBitmap->Fill(static_cast<double>(Background()));
  FIEBitmap->RemoveAlphaChannel(false, Background());
  KeepNavigatorOnLiveImage();
  Update();
}

void TZodivErView::MergeLayerBitmaps(Integer Index1, Integer Index2, TIEBitmap* Dest) {
  const Integer lower = IEMin(Index1, Index2), upper = IEMax(Index1, Index2);
  TIELayer* mask = upper + 1 < LayerCount() && LayerAt(upper + 1)->MaskLayer ? LayerAt(upper + 1) : nullptr;
  IEMergeLayerPair(LayerAt(lower), LayerAt(upper), mask, Dest, FZoomFilter, Background(), lower > 0);
}

void TZodivErView::MergeLayers(Integer Index1, Integer Index2, bool RemoveUpper) {
  const Integer lower = IEMin(Index1, Index2), upper = IEMax(Index1, Index2);
  // A layer merged with itself would be freed twice below.
  if (lower < 0 || upper >= LayerCount() || lower == upper) return;
  // Unlinked for the merge and linked again after it: the merged layer has a new image.
  TZodivErView* navigator = FNavigator;
  SetNavigator(nullptr);
  try {
    SyncLayers();
    auto* merged = new TIELayer(this, LayerAt(Index1)->Bitmap, false);
    try {
      MergeLayerBitmaps(Index1, Index2, merged->Bitmap);
    } catch (...) {
      delete merged;
      throw;
    }
    TIELayer* l = LayerAt(lower);
    TIELayer* u = LayerAt(upper);
    if (lower > 0) {
      merged->PosX = IEMin(l->PosX, u->PosX);
      merged->PosY = IEMin(l->PosY, u->PosY);
    }
    merged->NoResize = l->NoResize;
    merged->ShowFrame = l->ShowFrame;
    merged->CanSelect = l->CanSelect;
    if (RemoveUpper) {
      if (upper + 1 < LayerCount() && LayerAt(upper + 1)->MaskLayer) {
        delete FLayers[static_cast<size_t>(upper) + 1];
        FLayers.erase(FLayers.begin() + upper + 1);
      }
      delete FLayers[static_cast<size_t>(upper)];
      FLayers.erase(FLayers.begin() + upper);
    }
    delete FLayers[static_cast<size_t>(lower)];
    FLayers[static_cast<size_t>(lower)] = merged;
    FCurrentLayer = -1;
    SetCurrentLayer(lower);
  } catch (...) {
    SetNavigator(navigator);
    throw;
  }
  SetNavigator(navigator);
}

Integer TZodivErView::FindLayerAt(Integer X, Integer Y, bool SelectableOnly) {
  for (Integer i = LayerCount() - 1; i >= 0; --i) {
    TIELayer* l = FLayers[static_cast<size_t>(i)];
    if (SelectableOnly && FLayerSelectionRestricted && !l->CanSelect) continue;
    if (!l->Visible || !InClientRect(l, X, Y)) continue;
    if (!l->Bitmap->HasAlphaChannel() || (FSelectionOptions & iesoSelectTranspLayers)) return i;
    const Integer lx = IEClamp(l->ScreenToLayerX(X), 0, l->Bitmap->GetWidth() - 1);
    const Integer ly = IEClamp(l->ScreenToLayerY(Y), 0, l->Bitmap->GetHeight() - 1);
    TIEBitmap* alpha = l->Bitmap->GetAlphaChannel();
    if (lx >= 0 && ly >= 0 && lx < alpha->GetWidth() && ly < alpha->GetHeight() && alpha->GetPixelByte(lx, ly) > 0)
      return i;
  }
  return -1;
}

bool TZodivErView::IsPointInLayer(Integer X, Integer Y, Integer Index) {
  if (Index < 0 || Index >= LayerCount()) return false;
  TIELayer* l = FLayers[static_cast<size_t>(Index)];
  if (!l->Visible) return false;
  if (l->RotationAngle() == 0) return InClientRect(l, X, Y);
  return IEPointInPolygon(X, Y, l->RotatedCorners, 3);
}

void TZodivErView::SyncLayers() {
  // Changes made straight to the legacy bitmap become visible to the image that wraps it.
  if (FLegacyBitmap && FIEBitmap && FIEBitmap->GetWrapsTBitmap() && FIEBitmap->GetVclBitmap() == FLegacyBitmap)
    FIEBitmap->SyncFromTBitmap();
  if (TIELayer* current = CurrentLayer()) current->Bitmap = FIEBitmap;
  FImageWidth = FLayers[0]->Bitmap->GetWidth();
  FImageHeight = FLayers[0]->Bitmap->GetHeight();
}

void TZodivErView::LayerNotify(Integer Layer, TIELayerEvent Event) {
  if (!OnLayerNotify) return;
  SwapSelectionBase();
  try {
    OnLayerNotify(this, Layer, Event);
  } catch (...) {
    SwapSelectionBase();
    throw;
  }
  SwapSelectionBase();
}

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

TIEBitmap* TZodivErView::GetLayerBitmap(Integer Index) {
  if (Index < 0 || Index >= LayerCount()) return nullptr;
  return FLayers[static_cast<size_t>(Index)]->Bitmap;
}
