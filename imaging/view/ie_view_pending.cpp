// Stand-ins for the layer, selection and mouse units of the view while they are written on
// their own branch. Every definition here is weak: the real units replace them at link time,
// and this file goes away when they are merged.
#include "imaging/view/ie_view.h"

#define IE_PENDING __attribute__((weak))

// ----- layer -----
IE_PENDING TIELayer::TIELayer(TZodivErView* AOwner, TIEBitmap* ABitmap, bool ShareBitmap) : Owner(AOwner) {
  if (ShareBitmap) {
    Bitmap = ABitmap;
  } else {
    Bitmap = new TIEBitmap();
    if (ABitmap && !ABitmap->IsEmpty()) Bitmap->Allocate(ABitmap->GetWidth(), ABitmap->GetHeight(), ABitmap->GetPixelFormat());
  }
}
IE_PENDING TIELayer::~TIELayer() {
  if (OwnsBitmap) delete Bitmap;
  delete MaskedAlpha;
}
IE_PENDING void TIELayer::Reset() {
  WidthOverride = HeightOverride = 0;
  FRotationAngle = 0;
  Visible = ShowFrame = CanSelect = true;
  Opacity = 255;
  PosX = PosY = 0;
  ClipToBase = NoResize = Magnifier = MaskLayer = DimOutside = false;
}
IE_PENDING Integer TIELayer::GetWidth() const { return WidthOverride != 0 ? WidthOverride : Bitmap->GetWidth(); }
IE_PENDING Integer TIELayer::GetHeight() const { return HeightOverride != 0 ? HeightOverride : Bitmap->GetHeight(); }
IE_PENDING void TIELayer::SetRotationAngle(double Angle) { FRotationAngle = Angle; }
IE_PENDING Integer TIELayer::LayerToScreenX(Integer X) {
  return Owner->BitmapToScreenX(Integer(double(X) / Bitmap->GetWidth() * GetWidth())) + Integer(PosX * Owner->ZoomX() / 100);
}
IE_PENDING Integer TIELayer::LayerToScreenY(Integer Y) {
  return Owner->BitmapToScreenY(Integer(double(Y) / Bitmap->GetHeight() * GetHeight())) + Integer(PosY * Owner->ZoomY() / 100);
}

// ----- layer list -----
IE_PENDING TIELayer* TZodivErView::LayerAt(Integer Index) { return FLayers.at(size_t(Index)); }
IE_PENDING TIELayer* TZodivErView::CurrentLayer() {
  return FCurrentLayer >= 0 && FCurrentLayer < LayerCount() ? FLayers[size_t(FCurrentLayer)] : nullptr;
}
IE_PENDING void TZodivErView::SyncLayers() {
  if (FLegacyBitmap && FIEBitmap->GetWrapsTBitmap()) FIEBitmap->SyncFromTBitmap();
  if (CurrentLayer()) CurrentLayer()->Bitmap = FIEBitmap;
  FImageWidth = FLayers[0]->Bitmap->GetWidth();
  FImageHeight = FLayers[0]->Bitmap->GetHeight();
}
IE_PENDING void TZodivErView::SetCurrentLayer(Integer Index) {
  if (Index < 0 || Index >= LayerCount() || Index == FCurrentLayer) return;
  if (CurrentLayer()) CurrentLayer()->Bitmap = FIEBitmap;
  FCurrentLayer = Index;
  FIEBitmap = FLayers[size_t(Index)]->Bitmap;
  FLegacyBitmap = FIEBitmap->GetWrapsTBitmap() ? FIEBitmap->GetVclBitmap() : nullptr;
  CallNotifyCallbacks();
  Update();
}
IE_PENDING Integer TZodivErView::AddLayer() {
  auto* L = new TIELayer(this, FIEBitmap, false);
  FLayers.push_back(L);
  SetCurrentLayer(LayerCount() - 1);
  FIEBitmap->Fill(static_cast<double>(Background()));
  FIEBitmap->RemoveAlphaChannel(false, Background());
  Update();
  return LayerCount() - 1;
}
IE_PENDING void TZodivErView::ClearLayers() {
  for (Integer I = LayerCount() - 1; I >= 1; --I) {
    delete FLayers[size_t(I)];
    FLayers.erase(FLayers.begin() + I);
    FCurrentLayer = -1;
    SetCurrentLayer(0);
    FLayers[0]->Reset();
  }
  FIEBitmap->Fill(static_cast<double>(Background()));
  FIEBitmap->RemoveAlphaChannel(false, Background());
  Update();
}
IE_PENDING void TZodivErView::LayerNotify(Integer Layer, TIELayerEvent Event) {
  if (OnLayerNotify) OnLayerNotify(this, Layer, Event);
}

// ----- selection -----
IE_PENDING void TZodivErView::Select(Integer, Integer, Integer, Integer, Integer) {}
IE_PENDING void TZodivErView::AddSelectionPoint(Integer, Integer) {}
IE_PENDING void TZodivErView::EndSelect() {}
IE_PENDING void TZodivErView::DeSelect() {
  FSelected = false;
  FSelectionMask->Clear();
}
IE_PENDING Integer TZodivErView::SelectionX1() { return FSelectionMask->X1; }
IE_PENDING Integer TZodivErView::SelectionY1() { return FSelectionMask->Y1; }
IE_PENDING Integer TZodivErView::SelectionX2() { return FSelectionMask->X2; }
IE_PENDING Integer TZodivErView::SelectionY2() { return FSelectionMask->Y2; }
IE_PENDING void TZodivErView::SaveSelectionToStream(TStream*) {}
IE_PENDING bool TZodivErView::LoadSelectionFromStream(TStream*, Integer) { return false; }
IE_PENDING void TZodivErView::DrawSelection(TObject*, bool) {}
IE_PENDING void TZodivErView::DrawRubberBand() {}

// ----- mouse -----
IE_PENDING void TZodivErView::SetMouseInteract(TIEMouseInteract Value) { FMouseInteract = Value; }
IE_PENDING void TZodivErView::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TIEView::MouseDown(Button, Shift, X, Y);
}
IE_PENDING void TZodivErView::MouseMove(TShiftState Shift, Integer X, Integer Y) { TIEView::MouseMove(Shift, X, Y); }
IE_PENDING void TZodivErView::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TIEView::MouseUp(Button, Shift, X, Y);
}
IE_PENDING void TZodivErView::KeyDown(Word& Key, TShiftState Shift) { TIEView::KeyDown(Key, Shift); }
IE_PENDING void TZodivErView::KeyUp(Word& Key, TShiftState Shift) { TIEView::KeyUp(Key, Shift); }
IE_PENDING void TZodivErView::KeyPress(char& Key) { TIEView::KeyPress(Key); }
IE_PENDING void TZodivErView::DblClick() { TIEView::DblClick(); }
