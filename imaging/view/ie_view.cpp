#include "imaging/view/ie_view.h"

#include <algorithm>
#include <typeinfo>

#include "imaging/core/ie_canvas.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_text_boxes.h"
#include "imaging/view/ie_transitions.h"
#include "platform/gui/application.h"
#include "platform/gui/forms.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/flag_guard.h"
#include "platform/rtl/mainthread.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr TComponentState csBusyStates = csLoading | csReading | csDesigning | csDestroying;

}  // namespace

TZodivErView::TZodivErView(TComponent* AOwner) : TIEView(AOwner) {
  // Nothing may refresh until every part below exists.
  FUpdateSuspension = 1;
  FCreatedWithOwner = AOwner != nullptr;
  ControlStyle |= csOpaque;
  IEGDIPLoadLibrary();

  // The current image keeps its rows in a platform bitmap of its own (the legacy bitmap), which
  // starts without pixels: the control has no size yet.
  FIEBitmap = new TIEBitmap();
  FIEBitmap->Location = ieTBitmap;
  FIEBitmap->Allocate(1, 1, ie24RGB);
  FLegacyBitmap = FIEBitmap->GetVclBitmap();
  FLegacyBitmap->SetSize(0, 0);
  FIEBitmap->SyncFromTBitmap();
  FImageWidth = FIEBitmap->GetWidth();
  FImageHeight = FIEBitmap->GetHeight();

  auto* Base = new TIELayer(this, FIEBitmap, true);
  Base->ShowFrame = false;
  Base->NoResize = true;
  FLayers.push_back(Base);
  FCurrentLayer = 0;

  RecomputeZoomFactors();
  SetDpi(300, 300);
  SetBounds(Left(), Top(), 105, 105);

  FPolygon = new TIESelectionPolygon();
  FPolygon->Canvas = DesignMode() ? nullptr : Canvas();
  FPolygons.push_back(FPolygon);
  if (!DesignMode()) {
    FBackBuffer = std::make_unique<TIEBitmap>();
    FBackBuffer->Location = ieTBitmap;
    FBackBuffer->Allocate(10, 10, ie24RGB);
    FPolygon->Visible = false;
  }
  FHScrollBarParams = std::make_unique<TIEScrollBarParams>();
  FVScrollBarParams = std::make_unique<TIEScrollBarParams>();
  FMouseWheelParams = std::make_unique<TIEMouseWheelParams>();
  FSelectionMask = std::make_unique<TIEMask>();
  FSelectionMask->AllocateBits(std::max(FIEBitmap->GetWidth(), 0), std::max(FIEBitmap->GetHeight(), 0), 1);
  FSelectionColor1 = 0;
  FSelectionColor2 = 0xFFFFFF;
  FWallPaper = std::make_unique<TPicture>();
  SetCursor(FUserCursor);
  FCursorPending = true;
  FUpdateSuspension = 0;
  Update();
}

TZodivErView::~TZodivErView() {
  // Attached components must let go of the image while it still exists.
  NotifyDestroying();
  // Messages their worker threads posted to us and that have not arrived yet go with us.
  RemoveQueuedEvents(this);
  Destroying();
  for (TObject* Item : FAuxObjects) delete Item;
  FAuxObjects.clear();
  FSmoothRunning = false;
  SyncLayers();
  // A navigator that outlives the view must not keep our image or call back into us.
  if (FNavigator) SetNavigator(nullptr);
  // The engine's timer is one of our components: the engine lets go of it first.
  delete FTransition;
  FTransition = nullptr;
  // The I/O and processing components, the timers and the transition engine are owned by the
  // view and go with its other owned components.
  DestroyComponents();
  FIO = nullptr;
  FProc = nullptr;
  FAntsTimer = nullptr;
  FSmoothTimer = nullptr;
  FBackBuffer.reset();
  for (TIESelectionPolygon* P : FPolygons) delete P;
  FPolygons.clear();
  FPolygon = nullptr;
  FSelectionMask.reset();
  for (TIELayer* L : FLayers) delete L;
  FLayers.clear();
  FIEBitmap = nullptr;
  FLegacyBitmap = nullptr;
  for (TMemoryStream* S : FSavedSelections) delete S;
  FSavedSelections.clear();
  FWallPaper.reset();
  delete FPatternBitmap;
  FPatternBitmap = nullptr;
  IEGDIPUnloadLibrary();
}

bool TZodivErView::DesignMode() const { return (ComponentState() & csDesigning) != 0; }

bool TZodivErView::IsLoadingOrDestroying() const { return (ComponentState() & csBusyStates) != 0; }

// ---------------------------------------------------------------------------------------------
// Image and alpha

TBitmap* TZodivErView::GetBitmap() { return FLegacyBitmapOn ? FLegacyBitmap : nullptr; }

TIEBitmap* TZodivErView::GetIEBitmap() { return FIEBitmap; }

TIEBitmap* TZodivErView::GetAlphaChannel() { return FIEBitmap->GetAlphaChannel(); }

bool TZodivErView::HasAlphaChannel() { return FIEBitmap->HasAlphaChannel(); }

void TZodivErView::RemoveAlphaChannel(bool Merge) { FIEBitmap->RemoveAlphaChannel(Merge, Background()); }

bool TZodivErView::IsEmpty() { return FIEBitmap->GetWidth() < 2 && FIEBitmap->GetHeight() < 2; }

void TZodivErView::FillWithBackground() {
  FIEBitmap->Fill(static_cast<double>(Background()));
  FIEBitmap->RemoveAlphaChannel(false, Background());
  Update();
}

void TZodivErView::ClearImage() {
  if (FTransition) FTransition->Stop();
  FIEBitmap->Allocate(1, 1, FIEBitmap->GetPixelFormat() == ieNull ? ie24RGB : FIEBitmap->GetPixelFormat());
  FillWithBackground();
}

void TZodivErView::SetBackground(TColor Value) {
  TIEView::SetBackground(Value);
  if (DesignMode()) FIEBitmap->Fill(static_cast<double>(Value));
  Update();
  ImageChange();
  if (ComponentState() == csDesigning) Paint();
}

void TZodivErView::ImageChange() {
  if (OnImageChange) OnImageChange(this);
}

void TZodivErView::Assign(TObject* Source) {
  if (!Source) {
    FillWithBackground();
    return;
  }
  if (auto* View = dynamic_cast<TZodivErView*>(Source)) {
    FIEBitmap->Assign(View->GetIEBitmap());
    SetBackground(View->Background());
    SetDpi(View->DpiX(), View->DpiY());
    Update();
    ImageChange();
  } else if (auto* Bmp = dynamic_cast<TBitmap*>(Source)) {
    FIEBitmap->CopyFromTBitmap(Bmp);
    if (FIEBitmap->GetPixelFormat() != ie1g && FIEBitmap->GetPixelFormat() != ie24RGB)
      FIEBitmap->SetPixelFormat(ie24RGB);
    Update();
    ImageChange();
  }
}

void TZodivErView::SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) {
  TIEView::SetBounds(ALeft, ATop, AWidth, AHeight);
  if ((ComponentState() & (csReading | csDesigning | csLoading)) && FIEBitmap) {
    const TIEPixelFormat Format = FIEBitmap->GetPixelFormat() == ieNull ? ie24RGB : FIEBitmap->GetPixelFormat();
    FIEBitmap->Allocate(std::max<Integer>(AWidth, 1), std::max<Integer>(AHeight, 1), Format);
    FIEBitmap->Fill(static_cast<double>(Background()));
  }
}

void TZodivErView::InvalidateViewRect(const TRect&) {
  // The surface is repainted whole; the rectangle only narrows what the screen needs to show.
  FBackBufferDirty = true;
  Invalidate();
}

// ---------------------------------------------------------------------------------------------
// Transition engine

void TZodivErView::CreateTransitionEffects() {
  if (!FTransition) FTransition = new TIETransitionEffects(this);
}

void TZodivErView::StopTransition() {
  if (FTransition) FTransition->Stop();
  Update();
}

TNotifyEvent TZodivErView::OnTransitionStop() const { return FTransition ? FTransition->OnTransitionStop : nullptr; }

void TZodivErView::SetOnTransitionStop(TNotifyEvent Value) {
  CreateTransitionEffects();
  FTransition->OnTransitionStop = std::move(Value);
}

std::function<void(TObject*, Integer)> TZodivErView::OnTransitionStep() const {
  return FTransition ? FTransition->OnTransitionStep : nullptr;
}

void TZodivErView::SetOnTransitionStep(std::function<void(TObject*, Integer)> Value) {
  CreateTransitionEffects();
  FTransition->OnTransitionStep = std::move(Value);
}

// ---------------------------------------------------------------------------------------------
// Paint suspension

void TZodivErView::SuspendPaint() { ++FPaintSuspension; }

Integer TZodivErView::ResumePaint() {
  if (FPaintSuspension > 0) --FPaintSuspension;
  if (FPaintSuspension == 0) Update();
  return FPaintSuspension;
}

Integer TZodivErView::ResumePaintQuiet() {
  if (FPaintSuspension > 0) --FPaintSuspension;
  return FPaintSuspension;
}

// ---------------------------------------------------------------------------------------------
// Draw area

bool TZodivErView::HasParentWindow() { return Parent() != nullptr; }

Integer TZodivErView::DrawAreaWidth() {
  if (OffScreenPaint) return Width();
  if (HasParentWindow() && HandleAllocated()) return ClientWidth();
  return 50;
}

Integer TZodivErView::DrawAreaHeight() {
  if (OffScreenPaint) return Height();
  if (HasParentWindow() && HandleAllocated()) return ClientHeight();
  return 50;
}

// ---------------------------------------------------------------------------------------------
// The refresh pipeline

void TZodivErView::Update() {
  if (FUpdateSuspension > 0 || IsLoadingOrDestroying()) return;
  FlagGuard InUpdate(FInUpdate);

  if (FLayerToRefresh == -1) {
    for (TIELayer* L : FLayers) {
      delete L->MaskedAlpha;
      L->MaskedAlpha = nullptr;
    }
  } else if (FLayerToRefresh >= 0 && FLayerToRefresh < LayerCount()) {
    delete FLayers[FLayerToRefresh]->MaskedAlpha;
    FLayers[FLayerToRefresh]->MaskedAlpha = nullptr;
  }
  FLayerToRefresh = -1;

  SyncLayers();

  if ((FAutoFit || FAutoStretch || FAutoShrink) && FImageWidth != 0 && FImageHeight != 0) {
    double Z = 100;
    if (FImageWidth >= 2 || FImageHeight >= 2) {
      try {
        Integer MX = 0, MY = 0;
        GetFitMargins(true, MX, MY);
        const double W = FImageWidth, H = FImageHeight;
        const double AW = DrawAreaWidth() - 2 * MX, AH = DrawAreaHeight() - 2 * MY;
        const bool Shrink = FAutoShrink || FAutoFit;
        const bool Stretch = FAutoStretch || FAutoFit;
        if (W != 0 && H != 0 && AW > 0 && AH > 0) {
          bool Use;
          if (W / AW > H / AH)
            Use = W > AW ? Shrink : Stretch;
          else
            Use = H > AH ? Shrink : Stretch;
          Z = Use ? FitZoom() : 100;
        }
        if (!(Z == Z) || Z > 1e7) Z = 100;  // a fit that cannot be computed shows the image as it is
      } catch (...) {
        Z = 100;
      }
    }
    FZoomX = FZoomY = Z;
    if (FZoomX < 1) FZoomX = 1;
    if (FZoomY < 1) FZoomY = 1;
    RecomputeZoomFactors();
    ComputeVisibleArea();
    BuildCoordinateTables();
    ViewChange(1);
    FFilterDelay = 0;
    FOutlineSkip = 0;
  }

  const Integer IW = FIEBitmap->GetWidth(), IH = FIEBitmap->GetHeight();
  if (IW != FLastUpdateWidth || IH != FLastUpdateHeight) {
    FLastUpdateWidth = IW;
    FLastUpdateHeight = IH;
    if (FSelectionMask->Width != IW || FSelectionMask->Height != IH) {
      if (FSelected) {
        FSelectionMask->Resize(IW, IH);
        FSelectionMask->SyncFull();
        FSelectionMask->SyncRect();
      } else {
        FSelectionMask->AllocateBits(IW, IH, FMaskDepth);
      }
    }
    if (FIEBitmap->HasAlphaChannel()) {
      TIEBitmap* Alpha = FIEBitmap->GetAlphaChannel();
      if (Alpha->GetWidth() != IW || Alpha->GetHeight() != IH) {
        Alpha->Allocate(IW, IH, ie8g);
        Alpha->Fill(255);
        Alpha->Full = true;
      }
    }
  }

  if (!HandleAllocated()) return;

  if (!DesignMode() && HasParentWindow()) {
    const Integer W0 = DrawAreaWidth(), H0 = DrawAreaHeight();
    FLastDrawAreaWidth = W0;
    FLastDrawAreaHeight = H0;
    Integer MaxX = 0, MaxY = 0;
    GetMaxViewXY(MaxX, MaxY);
    bool Lowered = false;
    if (FViewX > MaxX) {
      FViewX = MaxX;
      Lowered = true;
    }
    if (FViewY > MaxY) {
      FViewY = MaxY;
      Lowered = true;
    }
    if (Lowered) ViewChange(0);
    try {
      UpdateScrollBars();
    } catch (...) {
      // A scroll bar that cannot be set leaves the view usable; the next Update tries again.
    }
    if ((DrawAreaWidth() != W0 || DrawAreaHeight() != H0) && !FUpdateReentry) {
      FlagGuard Reentry(FUpdateReentry);
      Update();
    }
  }

  ComputeImageExtent();
  FBackBufferDirty = true;
  FFullRepaint = true;
  if (HasParentWindow() && !FSuppressInvalidate && FInvalidateOnUpdate) Invalidate();
  if (FNavigator) {
    FNavigator->Update();
    SyncNavigator();
  }
}

void TZodivErView::Resize() {
  if (FTransition) FTransition->Stop();
  TIEView::Resize();
  if (!FInUpdate && FLayers.size() > 0) Update();
}

void TZodivErView::Paint() {
  if (!HandleAllocated()) return;
  if (!((HasParentWindow() && DrawAreaWidth() != 0 && DrawAreaHeight() != 0) || OffScreenPaint)) return;
  try {
    if (DesignMode()) {
      PaintViewBackground(true, Canvas(), nullptr, FBackgroundStyle, Background(), TRect{0, 0, Width(), Height()},
                          TRect{0, 0, 0, 0}, FChessboardSize, FChessboardBrushStyle, FGradientEndColor,
                          FWallPaper.get(), FWallPaperStyle);
    } else {
      const TRect Whole{0, 0, DrawAreaWidth(), DrawAreaHeight()};
      if (FPaintSuspension == 0) {
        TRect R = Whole;
        if (!FFullRepaint) {
          R = Canvas()->ClipRect();
          if (R.Right == 0 || R.Bottom == 0) R = Whole;
        }
        CopyBackBuffer(R);
        if (OnDrawCanvas) OnDrawCanvas(this, Canvas(), Whole);
      }
      FFullRepaint = false;
      if (!FRectangleMove) DrawSelection(this, false);
      if (OnPaint) OnPaint(this);
    }
    FPaintErrorReported = false;
  } catch (const EAbort&) {
  } catch (...) {
    // A failure that repeats at every paint would otherwise flood the user with the same box;
    // it is reported once and again only after a paint has gone through.
    if (!FPaintErrorReported) {
      FPaintErrorReported = true;
      if (Application) Application->HandleException(this);
    }
  }
  if (FDrawVersion) DrawVersionText();
  if (!FHintText.empty() && FEnableInteractionHints) {
    Integer X = FHintX, Y = FHintY;
    IEDrawInfoBox(Canvas(), X, Y, FHintText, FHintTemplate);
  }
  if (FCreatedWithOwner && FCursorPending) {
    FCursorPending = false;
    SetCursor(FUserCursor);
  }
}

void TZodivErView::CopyBackBuffer(const TRect& R) {
  if (!HasParentWindow() && !OffScreenPaint) return;
  const Integer W = DrawAreaWidth(), H = DrawAreaHeight();
  if (W <= 0 || H <= 0) return;
  if (FBackBuffer->GetWidth() != W || FBackBuffer->GetHeight() != H ||
      FBackBuffer->GetPixelFormat() != ie24RGB) {
    FBackBuffer->Location = ieTBitmap;
    FBackBuffer->Allocate(W, H, ie24RGB);
    FBackBufferDirty = true;
  }
  if (FBackBufferDirty) {
    RenderToBitmap(FBackBuffer.get(), nullptr, &R, true, true);
    if (OnDrawBackBuffer) OnDrawBackBuffer(this);
    FBackBufferDirty = false;
  }
  const Integer CW = std::min(R.Width(), W), CH = std::min(R.Height(), H);
  if (CW <= 0 || CH <= 0) return;
  const TRect Area{R.Left, R.Top, R.Left + CW, R.Top + CH};
  TCanvas* Source = FBackBuffer->GetCanvas();
  Canvas()->CopyRect(Area, Source, Area);
  if (FPolygonInProgress && !FLasso) DrawRubberBand();
}

void TZodivErView::DrawVersionText() {
  const AnsiString Text = "ZodivEr Version " + IEViewLibraryVersion() + " - " + IntToStr(10) + "/" + IntToStr(12) +
                          "/" + IntToStr(2026);
  TCanvas* C = Canvas();
  C->Font()->SetName("Arial");
  C->Font()->SetHeight(13);
  C->Font()->SetColor(0);
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(0xFFFFFF);
  const Integer TW = C->TextWidth(Text), TH = C->TextHeight(Text);
  C->TextOut(DrawAreaWidth() - TW, DrawAreaHeight() - TH, Text);
}

// ---------------------------------------------------------------------------------------------
// Messages

NativeInt TZodivErView::HandleViewMessage(Cardinal Msg, NativeInt WParam, NativeInt LParam) {
  switch (Msg) {
    case IEM_UPDATE:
      Update();
      return 0;
    case IEM_PROGRESS:
      if (FOnProgress) FOnProgress(this, static_cast<Integer>(WParam));
      return 0;
    case IEM_FINISHWORK:
      if (FOnFinishWork) FOnFinishWork(this);
      return 0;
    case IEM_NEWFRAME:
    case IEM_EVENT:
      // The video player of this platform is a holder that never connects a filter graph, so
      // there is never a frame or a player event to pass on.
      (void)LParam;
      return 0;
    default:
      return 0;
  }
}

bool TZodivErView::WantSpecialKey(Word CharCode, TShiftState Shift) {
  bool Handled = false;
  if (OnSpecialKey) OnSpecialKey(this, CharCode, Shift, Handled);
  return Handled;
}

void TZodivErView::DoEnter() {
  TIEView::DoEnter();
  Invalidate();
}

void TZodivErView::DoExit() {
  TIEView::DoExit();
  Invalidate();
}

// ---------------------------------------------------------------------------------------------
// Properties

void TZodivErView::SetZoomFilter(TResampleFilter Value) {
  const bool Changed = Value != FZoomFilter;
  FSavedZoomFilter = Value;
  FZoomFilter = Value;
  if (Changed) Update();
}

void TZodivErView::SetCenter(bool Value) {
  if (Value == FCenter) return;
  FCenter = Value;
  Update();
}

void TZodivErView::SetBackgroundStyle(TIEBackgroundStyle Value) {
  FBackgroundStyle = Value;
  Invalidate();
  Update();
}

void TZodivErView::SetEnableAlphaChannel(bool Value) {
  FEnableAlphaChannel = Value;
  Update();
}

void TZodivErView::SetSelectionOptions(TIESelectionOptions Value) {
  FSelectionOptions = Value;
  if (FPolygon) {
    FPolygon->Animated = (Value & iesoAnimated) != 0;
    FPolygon->Sizeable = (Value & iesoSizeable) != 0;
  }
  Update();
}

void TZodivErView::SetSelectionColor1(TColor Value) {
  FSelectionColor1 = Value;
  if (FPolygon) FPolygon->Color1 = Value;
}

void TZodivErView::SetSelectionColor2(TColor Value) {
  FSelectionColor2 = Value;
  if (FPolygon) FPolygon->Color2 = Value;
}

void TZodivErView::SetLegacyBitmap(bool Value) {
  if (Value == FLegacyBitmapOn) return;
  FLegacyBitmapOn = Value;
  if (!Value) {
    FIEBitmap->SetLocation(ieFile);
    FLegacyBitmap = nullptr;
  } else {
    FIEBitmap->SetLocation(ieTBitmap);
    FLegacyBitmap = FIEBitmap->GetVclBitmap();
  }
  CallNotifyCallbacks();
  Update();
}
