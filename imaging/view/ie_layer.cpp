#include "imaging/view/ie_layer.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "platform/rtl/guid.h"
#include "platform/rtl/numerics.h"

namespace {

// A block the layer owns (size above 0) is freed; a shared reference is only dropped.
void FreeUserData(TIELayer& Layer) {
  if (Layer.UserDataSize > 0) std::free(Layer.UserData);
  Layer.UserData = nullptr;
  Layer.UserDataSize = 0;
}

}  // namespace

TIELayer::TIELayer(TZodivErView* AOwner, TIEBitmap* ABitmap, bool ShareBitmap) : Owner(AOwner) {
  if (ShareBitmap) {
    Bitmap = ABitmap;
  } else {
    Bitmap = new TIEBitmap();
    if (ABitmap) {
      // A layer over a framework bitmap gets one of its own of the same kind, freed with it.
      Bitmap->Location = ABitmap->GetWrapsTBitmap() ? ieTBitmap : ABitmap->Location;
      Bitmap->Allocate(ABitmap->GetWidth(), ABitmap->GetHeight(), ABitmap->GetPixelFormat());
    }
  }
  const TGUID guid = CreateGUID();
  std::memcpy(LayerGuid, guid.Bytes, sizeof(LayerGuid));
  Reset();
}

TIELayer::~TIELayer() {
  if (OwnsBitmap) delete Bitmap;
  Bitmap = nullptr;
  FreeUserData(*this);
  delete MaskedAlpha;
  MaskedAlpha = nullptr;
}

void TIELayer::Reset() {
  WidthOverride = HeightOverride = 0;
  FRotationAngle = 0;
  Visible = true;
  ShowFrame = true;
  Opacity = 255;
  PosX = PosY = 0;
  ClientRect = TRect{};
  ClipToBase = false;
  NoResize = false;
  CanSelect = true;
  Magnifier = false;
  MagnifyFactor = 2.0;
  MagnifierShape = 0;
  MagnifierSource = 1;
  Operation = 0;
  FreeUserData(*this);
  LayerName.clear();
  MaskLayer = false;
  for (Integer& v : DrawnMapping) v = 0;
  for (TPoint& p : RotatedCorners) p = TPoint{};
  DimOutside = false;
  RotationCenterX = RotationCenterY = 0.5;
}

void TIELayer::Assign(TIELayer* Source) {
  if (!Source || Source == this) return;
  WidthOverride = Source->WidthOverride;
  HeightOverride = Source->HeightOverride;
  if (Bitmap && Source->Bitmap) Bitmap->Assign(Source->Bitmap);
  Visible = Source->Visible;
  ShowFrame = Source->ShowFrame;
  CanSelect = Source->CanSelect;
  Opacity = Source->Opacity;
  PosX = Source->PosX;
  PosY = Source->PosY;
  ClientRect = Source->ClientRect;
  ClipToBase = Source->ClipToBase;
  NoResize = Source->NoResize;
  Magnifier = Source->Magnifier;
  MagnifyFactor = Source->MagnifyFactor;
  MagnifierShape = Source->MagnifierShape;
  MagnifierSource = Source->MagnifierSource;
  Operation = Source->Operation;
  // The block stays the source's: this layer shares it and never frees it.
  FreeUserData(*this);
  UserData = Source->UserData;
  ResampleFilter = Source->ResampleFilter;
  UseResampleFilter = Source->UseResampleFilter;
  LayerName = Source->LayerName;
  MaskLayer = Source->MaskLayer;
  DimOutside = Source->DimOutside;
}

Integer TIELayer::GetWidth() const {
  if (WidthOverride != 0) return WidthOverride;
  return Bitmap ? Bitmap->GetWidth() : 0;
}

Integer TIELayer::GetHeight() const {
  if (HeightOverride != 0) return HeightOverride;
  return Bitmap ? Bitmap->GetHeight() : 0;
}

void TIELayer::SetRotationAngle(double Angle) {
  if (std::isfinite(Angle) && Angle == std::trunc(Angle) && std::fmod(Angle, 360.0) == 0)
    FRotationAngle = 0;
  else
    FRotationAngle = Angle;
}
