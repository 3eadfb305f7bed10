// The view's smaller services: cursors, update suspension, events fired with the user's
// selection base, the navigator view, attaching an outside image, baking layer geometry into
// the layer images, hints and smooth scrolling, and the unit's start-up.
#include <algorithm>
#include <cmath>

#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_limits.h"
#include "imaging/core/ie_processing_services.h"
#include "imaging/core/ie_startup.h"
#include "imaging/core/ie_system_probes.h"
#include "imaging/view/ie_view.h"
#include "imaging/view/ie_view_cursors.h"
#include "platform/gui/timers.h"
#include "platform/rtl/flag_guard.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/streams.h"

AnsiString IEViewLibraryVersion() { return "1.0.0"; }

void IEInitZodivErView() { IELoadViewCursors(); }

void IEFinalZodivErView() {}

void IERegisterViewUnit() { IERegisterStartupStep(iessView, IEInitZodivErView, IEFinalZodivErView); }

// ---------------------------------------------------------------------------------------------
// Cursors

void TZodivErView::SetCursor(TCursor Value) {
  FUserCursor = Value;
  FCursorInUse = Value;
  IELoadViewCursors();
  TIEView::SetCursor(Value);
}

void TZodivErView::SetTempCursor(TCursor Value) {
  if (!FCreatedWithOwner) return;
  FCursorInUse = Value;
  IELoadViewCursors();
  TIEView::SetCursor(Value);
}

void TZodivErView::RestoreCursor() { SetTempCursor(FUserCursor); }

// ---------------------------------------------------------------------------------------------
// Update suspension

void TZodivErView::SuspendUpdate() { ++FUpdateSuspension; }

void TZodivErView::ResumeUpdateQuiet() {
  if (FUpdateSuspension > 0) --FUpdateSuspension;
}

void TZodivErView::ResumeUpdate() {
  ResumeUpdateQuiet();
  if (FUpdateSuspension == 0) Update();
}

void TZodivErView::SetDrawVersion(bool Value) {
  FDrawVersion = Value;
  Paint();
}

AnsiString TZodivErView::ZodivErVersion() const { return IEViewLibraryVersion(); }

void TZodivErView::SetZodivErVersion(const AnsiString&) {}

// ---------------------------------------------------------------------------------------------
// Events seen with the user's selection base

void TZodivErView::SwapSelectionBase() { std::swap(FSelectionBase, FSavedSelectionBase); }

void TZodivErView::DoZoomIn(double& NewZoom) {
  if (!OnZoomIn) return;
  SwapSelectionBase();
  try {
    OnZoomIn(this, NewZoom);
  } catch (...) {
    SwapSelectionBase();
    throw;
  }
  SwapSelectionBase();
}

void TZodivErView::DoZoomOut(double& NewZoom) {
  if (!OnZoomOut) return;
  SwapSelectionBase();
  try {
    OnZoomOut(this, NewZoom);
  } catch (...) {
    SwapSelectionBase();
    throw;
  }
  SwapSelectionBase();
}

void TZodivErView::DoMouseInResizingGrip(TIEGrip Grip) {
  if (!OnMouseInResizingGrip) return;
  SwapSelectionBase();
  try {
    OnMouseInResizingGrip(this, Grip);
  } catch (...) {
    SwapSelectionBase();
    throw;
  }
  SwapSelectionBase();
}

void TZodivErView::DoMouseInSel() {
  if (!OnMouseInSel) return;
  SwapSelectionBase();
  try {
    OnMouseInSel(this);
  } catch (...) {
    SwapSelectionBase();
    throw;
  }
  SwapSelectionBase();
}

void TZodivErView::SetSelectionAspectRatio(double Value) {
  if (Value == FSelectionAspectRatio) return;
  FSelectionAspectRatio = Value;
  if (Value == 0)
    FSelectionOptions &= TIESelectionOptions(~iesoSizeable);
  else
    FSelectionOptions |= iesoSizeable;
}

// ---------------------------------------------------------------------------------------------
// Flat scroll bars: this desktop has one kind of bar; switching the look on starts both bars
// hidden with the full range, and the view shows them again when it needs them.

void TZodivErView::SetFlatScrollBars(bool Value) {
  if (Value == FFlatScrollBars) return;
  FFlatScrollBars = Value;
  if (Value) {
    IESetScrollRange(this, sbHorizontal, 0, 65535, false, false);
    IESetScrollRange(this, sbVertical, 0, 65535, false, false);
    IEShowScrollBar(this, sbHorizontal, false, true);
    IEShowScrollBar(this, sbVertical, false, true);
    FHScrollShown = FVScrollShown = false;
  }
}

// ---------------------------------------------------------------------------------------------
// Navigator

void TZodivErView::SetNavigator(TZodivErView* View) {
  if (FNavigator) {
    FNavigator->OnSelectionChanging = nullptr;
    FNavigator->AttachBitmap(nullptr);
    FNavigator->RemoveFreeNotification(this);
  }
  FNavigator = View;
  if (!View) return;
  View->SetEnableAlphaChannel(FEnableAlphaChannel);
  View->SetAutoFit(true);
  View->SetMouseInteract(miSelect);
  View->SetSelectionBase(iesbBitmap);
  View->SetSelectionOptions(iesoMoveable | iesoCanScroll);
  View->AttachBitmap(FIEBitmap);
  View->OnSelectionChanging = [this](TObject* Sender) { NavigatorSelectionChanging(Sender); };
  View->FreeNotification(this);
  SyncNavigator();
}

void TZodivErView::SyncNavigator() {
  if (!FNavigator || FNavigatorGuard) return;
  FlagGuard Guard(FNavigatorGuard);
  Paint();
  const Integer X1 = ScreenToBitmapX(FOffsetX), Y1 = ScreenToBitmapY(FOffsetY);
  const Integer X2 = ScreenToBitmapX(FOffsetX + FVisibleExtentX), Y2 = ScreenToBitmapY(FOffsetY + FVisibleExtentY);
  FNavigator->SelectionFixedWidth = X2 - X1;
  FNavigator->SelectionFixedHeight = Y2 - Y1;
  FNavigator->SetSelectionAspectRatio(0);
  FNavigator->Select(X1, Y1, X2, Y2, 0);
}

// The navigator shows one of this view's images without owning it. When the view frees that
// image (a layer merged, removed or cleared), the navigator is given the current one before it
// can paint from freed memory.
void TZodivErView::KeepNavigatorOnLiveImage() {
  if (!FNavigator) return;
  TIEBitmap* Shown = FNavigator->IEBitmap();
  if (Shown == FIEBitmap) return;
  for (TIELayer* L : FLayers)
    if (L->Bitmap == Shown) return;
  FNavigator->AttachBitmap(FIEBitmap);
  SyncNavigator();
}

void TZodivErView::NavigatorSelectionChanging(TObject*) {
  if (!FNavigator || FNavigatorGuard) return;
  FlagGuard Guard(FNavigatorGuard);
  ScrollTo(SafeRound<Integer>(FNavigator->SelectionX1() * FZoomX / 100.0),
           SafeRound<Integer>(FNavigator->SelectionY1() * FZoomY / 100.0));
}


// ---------------------------------------------------------------------------------------------
// Attaching an outside image

void TZodivErView::AttachBitmap(TIEBitmap* Bitmap) {
  TIELayer* L = CurrentLayer();
  if (!L) return;
  if (!Bitmap) {
    // The view takes a new image of its own. The layer is given it at once: a layer told that
    // it owns its image while still pointing at the outside one would free that one with itself.
    FIEBitmap = new TIEBitmap();
    FLegacyBitmap = nullptr;
    L->Bitmap = FIEBitmap;
    L->OwnsBitmap = true;
    return;
  }
  if (L->OwnsBitmap && L->Bitmap != Bitmap) delete L->Bitmap;
  L->Bitmap = Bitmap;
  L->OwnsBitmap = false;
  FIEBitmap = Bitmap;
  FLegacyBitmap = Bitmap->GetWrapsTBitmap() ? Bitmap->GetVclBitmap() : nullptr;
  CallNotifyCallbacks();
  Update();
}

// ---------------------------------------------------------------------------------------------
// Hints and smooth scrolling

void TZodivErView::SetInteractionHint(const AnsiString& Text, Integer X, Integer Y, const AnsiString& Template) {
  FHintText = Text;
  FHintX = X;
  FHintY = Y;
  FHintTemplate = Template;
}

void TZodivErView::SmoothScrollTo(Integer X, Integer Y) {
  FSmoothTarget = TPoint{X, Y};
  if (FSmoothRunning) return;
  if (!FSmoothTimer) {
    FSmoothTimer = new TTimer(this);
    FSmoothTimer->SetEnabled(false);
    FSmoothTimer->SetInterval(30);
    FSmoothTimer->OnTimer = [this](TObject* Sender) { SmoothScrollStep(Sender); };
  }
  FSmoothRunning = true;
  FSmoothTimer->SetEnabled(true);
  SmoothScrollStep(FSmoothTimer);
}

void TZodivErView::SmoothScrollStep(TObject*) {
  if (!FSmoothRunning) return;
  const Integer SX = FViewX, SY = FViewY;
  const Integer X = SafeRound<Integer>(SX - double(SX - FSmoothTarget.X) / FSmoothDivisor);
  const Integer Y = SafeRound<Integer>(SY - double(SY - FSmoothTarget.Y) / FSmoothDivisor);
  ScrollTo(X, Y);
  if ((FViewX == SX && FViewY == SY) || IEIsLeftButtonDown()) {
    // The timer is kept for the next smooth scroll; it is the one firing this step.
    FSmoothRunning = false;
    FSmoothTimer->SetEnabled(false);
  }
}

// ---------------------------------------------------------------------------------------------
// The selection stack

void TZodivErView::PushSelection() {
  auto* S = new TMemoryStream();
  SaveSelectionToStream(S);
  FSavedSelections.push_back(S);
}

void TZodivErView::PopSelection(bool Remove, Integer Mode) {
  if (FSavedSelections.empty()) return;
  TMemoryStream* S = FSavedSelections.back();
  S->SetPosition(0);
  LoadSelectionFromStream(S, Mode);
  if (Remove) {
    FSavedSelections.pop_back();
    delete S;
  }
}

// ---------------------------------------------------------------------------------------------
// Baking layer geometry into the layer images (no undo is kept for any of them)

namespace {

// Scales Bitmap in place to W x H, alpha included: with Filter through the resampling engines
// where they take the format, else by the nearest pixel.
void ScaleLayerBitmap(TIEBitmap* Bitmap, Integer W, Integer H, TResampleFilter Filter) {
  if (W <= 0 || H <= 0 || (Bitmap->GetWidth() == W && Bitmap->GetHeight() == H) || Bitmap->IsEmpty()) return;
  // A display size no image can have (a damaged layers file) is left as a size, not baked in.
  if (!IEImageSizeRefusal(W, H, 24).empty()) return;
  const TIEPixelFormat Format = Bitmap->GetPixelFormat();
  TIEBitmap Scaled(W, H, ie24RGB);
  if (Filter != rfNone && Format == ie24RGB && IEProcessingServices.ResamplingAvailable())
    IEProcessingServices.ResampleFiltered(Bitmap, &Scaled, Filter);
  else
    Bitmap->RenderToTIEBitmap(&Scaled, nullptr, nullptr, 0, 0, W, H, 0, 0, Bitmap->GetWidth(), Bitmap->GetHeight(),
                              false, false, 255, rfNone, true, 0);
  std::unique_ptr<TIEBitmap> Alpha;
  if (Bitmap->HasAlphaChannel()) {
    TIEBitmap* Old = Bitmap->GetAlphaChannel();
    Alpha = std::make_unique<TIEBitmap>(W, H, ie8g);
    if (Filter != rfNone && IEProcessingServices.ResamplingAvailable()) {
      IEProcessingServices.ResampleGray8(Old, Alpha.get(), Filter);
    } else {
      for (Integer Y = 0; Y < H; ++Y) {
        const Integer SY = std::min(Integer(Int64(Y) * Old->GetHeight() / H), Old->GetHeight() - 1);
        const auto* From = static_cast<const Byte*>(Old->GetScanline(SY));
        auto* To = static_cast<Byte*>(Alpha->GetScanline(Y));
        for (Integer X = 0; X < W; ++X)
          To[X] = From[std::min(Integer(Int64(X) * Old->GetWidth() / W), Old->GetWidth() - 1)];
      }
    }
  }
  if (Format == ie1g) Scaled.SetPixelFormat(ie1g);
  Bitmap->Assign(&Scaled);
  if (Alpha) {
    Bitmap->GetAlphaChannel()->Assign(Alpha.get());
    Bitmap->SyncOpaqueFlag();
  }
}

// The smallest rectangle holding every pixel whose alpha is above 0; empty when there is none.
TRect OpaqueBounds(TIEBitmap* Bitmap) {
  if (!Bitmap->HasAlphaChannel()) return TRect{0, 0, Bitmap->GetWidth(), Bitmap->GetHeight()};
  TIEBitmap* A = Bitmap->GetAlphaChannel();
  TRect R{A->GetWidth(), A->GetHeight(), 0, 0};
  for (Integer Y = 0; Y < A->GetHeight(); ++Y) {
    const auto* Row = static_cast<const Byte*>(A->GetScanline(Y));
    for (Integer X = 0; X < A->GetWidth(); ++X)
      if (Row[X] > 0) {
        R.Left = std::min(R.Left, X);
        R.Top = std::min(R.Top, Y);
        R.Right = std::max(R.Right, X + 1);
        R.Bottom = std::max(R.Bottom, Y + 1);
      }
  }
  if (R.Right <= R.Left || R.Bottom <= R.Top) return TRect{};
  return R;
}

void CropBitmap(TIEBitmap* Bitmap, const TRect& R) {
  if (R.Left == 0 && R.Top == 0 && R.Right == Bitmap->GetWidth() && R.Bottom == Bitmap->GetHeight()) return;
  TIEBitmap Part(R.Width(), R.Height(), Bitmap->GetPixelFormat());
  Bitmap->CopyPaletteTo(&Part);
  Bitmap->CopyRectTo(&Part, R.Left, R.Top, 0, 0, R.Width(), R.Height());
  std::unique_ptr<TIEBitmap> Alpha;
  if (Bitmap->HasAlphaChannel()) {
    Alpha = std::make_unique<TIEBitmap>(R.Width(), R.Height(), ie8g);
    Bitmap->GetAlphaChannel()->CopyRectTo(Alpha.get(), R.Left, R.Top, 0, 0, R.Width(), R.Height());
  }
  Bitmap->Assign(&Part);
  if (Alpha) {
    Bitmap->GetAlphaChannel()->Assign(Alpha.get());
    Bitmap->SyncOpaqueFlag();
  }
}

}  // namespace

void TZodivErView::ApplyLayerSizes(Integer Index) {
  const Integer Saved = FCurrentLayer;
  for (Integer I = 0; I < LayerCount(); ++I) {
    if (Index >= 0 && I != Index) continue;
    TIELayer* L = FLayers[size_t(I)];
    if (L->WidthOverride == 0 && L->HeightOverride == 0) continue;
    SetCurrentLayer(I);
    ScaleLayerBitmap(L->Bitmap, L->GetWidth(), L->GetHeight(), L->UseResampleFilter ? L->ResampleFilter : FZoomFilter);
    L->WidthOverride = L->HeightOverride = 0;
  }
  SetCurrentLayer(Saved);
  Update();
}

void TZodivErView::CropLayersToOpaque(Integer Index) {
  for (Integer I = 0; I < LayerCount(); ++I) {
    if (Index >= 0 && I != Index) continue;
    TIELayer* L = FLayers[size_t(I)];
    const TRect R = OpaqueBounds(L->Bitmap);
    if (R.Width() <= 0 || R.Height() <= 0) continue;
    CropBitmap(L->Bitmap, R);
    L->PosX += R.Left;
    L->PosY += R.Top;
  }
  Update();
}

void TZodivErView::ApplyLayerRotations(Integer Index) {
  const Integer Saved = FCurrentLayer;
  for (Integer I = 0; I < LayerCount(); ++I) {
    if (Index >= 0 && I != Index) continue;
    TIELayer* L = FLayers[size_t(I)];
    if (L->RotationAngle() == 0) continue;
    ApplyLayerSizes(I);
    SetCurrentLayer(I);
    const Integer W = L->GetWidth(), H = L->GetHeight();
    if (W <= 0 || H <= 0) continue;
    TPoint Pivot, Corners[4];
    TRect Box;
    if (!IERotatedLayerBox(L, W, H, Pivot, Corners, Box)) continue;
    const Integer MinX = Box.Left, MinY = Box.Top, MaxX = Box.Right, MaxY = Box.Bottom;
    std::unique_ptr<TIEBitmap> Turned =
        IERotatedLayerImage(L, W, H, L->RotationAngle(), Pivot, TPoint{MinX, MinY}, MaxX - MinX, MaxY - MinY);
    L->Bitmap->Assign(Turned.get());
    L->PosX = SafeTrunc<Integer>(double(L->PosX) + MinX);
    L->PosY = SafeTrunc<Integer>(double(L->PosY) + MinY);
    L->WidthOverride = L->HeightOverride = 0;
    L->SetRotationAngle(0);
    const TRect R = OpaqueBounds(L->Bitmap);
    if (R.Width() > 0 && R.Height() > 0) {
      CropBitmap(L->Bitmap, R);
      L->PosX += R.Left;
      L->PosY += R.Top;
    }
  }
  SetCurrentLayer(Saved);
  Update();
}

// ---------------------------------------------------------------------------------------------
// Wallpaper

void TZodivErView::SetWallPaper(TPicture* Value) {
  if (!FWallPaper) FWallPaper = std::make_unique<TPicture>();
  if (Value)
    FWallPaper->Assign(Value);
  else
    FWallPaper->SetGraphic(nullptr);
  Update();
}

void TZodivErView::SetWallPaperStyle(TIEWallPaperStyle Value) {
  if (Value == FWallPaperStyle) return;
  FWallPaperStyle = Value;
  Update();
}
