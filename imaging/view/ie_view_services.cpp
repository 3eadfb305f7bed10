// The view's smaller services: cursors, update suspension, events fired with the user's
// selection base, the navigator view, attaching an outside image, baking layer geometry into
// the layer images, hints and smooth scrolling, and the unit's start-up.
#include <algorithm>
#include <cmath>

#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_startup.h"
#include "imaging/core/ie_system_probes.h"
#include "imaging/view/ie_view.h"
#include "imaging/view/ie_view_cursors.h"
#include "platform/gui/timers.h"
#include "platform/rtl/flag_guard.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/streams.h"

namespace {

const bool ViewStepRegistered = (IERegisterStartupStep(iessView, IEInitZodivErView, IEFinalZodivErView), true);

}  // namespace

AnsiString IEViewLibraryVersion() { return "1.0.0"; }

void IEInitZodivErView() {
  (void)ViewStepRegistered;
  IELoadViewCursors();
}

void IEFinalZodivErView() {}

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

void TZodivErView::NavigatorSelectionChanging(TObject*) {
  if (!FNavigator || FNavigatorGuard) return;
  FlagGuard Guard(FNavigatorGuard);
  ScrollTo(SafeRound<Integer>(FNavigator->SelectionX1() * FZoomX / 100.0),
           SafeRound<Integer>(FNavigator->SelectionY1() * FZoomY / 100.0));
}

void TZodivErView::Notification(TComponent* AComponent, TOperation Operation) {
  TIEView::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FNavigator) FNavigator = nullptr;
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
