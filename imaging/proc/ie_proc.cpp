#include "imaging/proc/ie_proc.h"

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_mask.h"
#include "imaging/view/ie_view_base.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/extctrls.h"
#include "platform/gui/graphics_objects.h"
#include "platform/rtl/streams.h"

// ---------------------------------------------------------------- dialog settings

TIPDialogParams::TIPDialogParams() : FDialogState(std::make_unique<TMemoryStream>()) { Reset(); }

TIPDialogParams::~TIPDialogParams() = default;

void TIPDialogParams::Reset() {
  const TRGB black{0, 0, 0}, white{255, 255, 255};
  for (Integer& s : FSettings) s = -1;
  for (DWORD& w : Words) w = 0;
  for (auto& row : Matrix)
    for (Integer& v : row) v = 0;
  Matrix[1][1] = 1;
  MatrixDivisor = 0;
  ColorPair1[0] = black;
  ColorPair1[1] = white;
  ColorPair2[0] = black;
  ColorPair2[1] = white;
  Values1[0] = 0;
  Values1[1] = 0;
  Values2[0] = 150;
  Values2[1] = 150;
  Color = white;
  Values3[0] = 0;
  Values3[1] = 1;
  Values3[2] = 0;
  Values3[3] = 0;
  Values4[0] = 150;
  Values4[1] = 150;
  Amount = 1.7;
  Values5[0] = 1;
  Values5[1] = 10;
  Values5[2] = 10;
  Values6[0] = Values6[1] = Values6[2] = 0;
  Value7 = 1;
  Range[0] = 0.0;
  Range[1] = 1.0;
  Values8[0] = 1;
  Values8[1] = 4;
  Flag = true;
  FDialogState->Clear();
}

void TIPDialogParams::SetSetting1(Integer Value) {
  FSettings[0] = Value;
  FDialogState->Clear();
}
void TIPDialogParams::SetSetting2(Integer Value) {
  FSettings[1] = Value;
  FDialogState->Clear();
}
void TIPDialogParams::SetSetting3(Integer Value) {
  FSettings[2] = Value;
  FDialogState->Clear();
}
void TIPDialogParams::SetSetting4(Integer Value) {
  FSettings[3] = Value;
  FDialogState->Clear();
}

// ---------------------------------------------------------------- creation and attachment

TZodivErProc::TZodivErProc(TComponent* AOwner)
    : TComponent(AOwner),
      AutoUndo(AOwner != nullptr),
      FImage(new TIEBitmap),
      FOwnsImage(true),
      FDialogParams(std::make_unique<TIPDialogParams>()),
      FPreviewFont(std::make_unique<TFont>()) {}

TZodivErProc::~TZodivErProc() {
  RemoveViewCallback();
  ClearAllUndo();
  ClearAllRedo();
  ReleaseImage();
}

void TZodivErProc::RemoveViewCallback() {
  if (FAttachedView && FNotifyHandle >= 0) FAttachedView->RemoveNotifyCallback(FNotifyHandle);
  FNotifyHandle = -1;
}

void TZodivErProc::ReleaseImage() {
  if (FOwnsImage) delete FImage;
  FImage = nullptr;
  FOwnsImage = false;
}

void TZodivErProc::TakeOwnImage() {
  ReleaseImage();
  FImage = new TIEBitmap;
  FOwnsImage = true;
}

void TZodivErProc::SetAttachedZodivEr(TIEView* View) {
  RemoveViewCallback();
  if (FAttachedView && FAttachedView != View) FAttachedView->RemoveFreeNotification(this);
  FAttachedView = View;
  FAttachedBitmap = nullptr;
  if (!View) {
    TakeOwnImage();
    return;
  }
  ReleaseImage();
  FAttachedBitmap = View->GetBitmap();
  FImage = View->GetIEBitmap();
  if (FImage) {
    FAttachedBitmap = nullptr;
  } else {
    // A view that still draws from a framework bitmap: work on that bitmap's rows.
    FImage = new TIEBitmap;
    FOwnsImage = true;
    FImage->EncapsulateTBitmap(FAttachedBitmap, true);
  }
  View->FreeNotification(this);
  if (FAttachedImage) {
    FAttachedImage->RemoveFreeNotification(this);
    FAttachedImage = nullptr;
  }
  FNotifyHandle = View->AddNotifyCallback([this](TIEView* V, bool Destroying) { ViewNotify(V, Destroying); });
}

void TZodivErProc::ViewNotify(TIEView* View, bool Destroying) {
  if (View != FAttachedView) return;
  if (Destroying) {
    // The view has already let go of its callback list.
    FNotifyHandle = -1;
    FAttachedView = nullptr;
    FAttachedBitmap = nullptr;
    TakeOwnImage();
    return;
  }
  FAttachedBitmap = View->GetBitmap();
  if (FOwnsImage) {
    FImage->EncapsulateTBitmap(FAttachedBitmap, true);
  } else {
    FImage = View->GetIEBitmap();
    if (FImage) FAttachedBitmap = nullptr;
  }
}

void TZodivErProc::SetAttachedTImage(TImage* Image) {
  if (!Image) {
    // Only the picture's own wrapper is emptied: a view's or a caller's image is not ours to
    // clear, and a view stays attached with its callback so the image keeps following it.
    if (FAttachedImage) {
      FAttachedImage->RemoveFreeNotification(this);
      FAttachedImage = nullptr;
      if (FOwnsImage) FImage->FreeImage(true);
      FAttachedBitmap = nullptr;
    }
    return;
  }
  RemoveViewCallback();
  FAttachedBitmap = Image->Picture()->Bitmap();
  if (!FOwnsImage) {
    FImage = new TIEBitmap;
    FOwnsImage = true;
  }
  FImage->EncapsulateTBitmap(FAttachedBitmap, true);
  if (FAttachedImage && FAttachedImage != Image) FAttachedImage->RemoveFreeNotification(this);
  FAttachedImage = Image;
  Image->FreeNotification(this);
  if (FAttachedView) {
    FAttachedView->RemoveFreeNotification(this);
    FAttachedView = nullptr;
  }
}

void TZodivErProc::AttachBitmap(TIEBitmap* Bitmap) {
  // Nil while a view or a picture is attached keeps that attachment whole; dropping only the
  // view's callback would leave the component holding an image the view may free.
  if (!Bitmap && (FAttachedView || FAttachedImage)) return;
  RemoveViewCallback();
  SetWorkBitmap(Bitmap);
  if (Bitmap) {
    if (FAttachedView) FAttachedView->RemoveFreeNotification(this);
    if (FAttachedImage) FAttachedImage->RemoveFreeNotification(this);
    FAttachedView = nullptr;
    FAttachedImage = nullptr;
  }
}

void TZodivErProc::SetWorkBitmap(TIEBitmap* Bitmap) {
  FAttachedBitmap = nullptr;
  ReleaseImage();
  FImage = Bitmap;
  FOwnsImage = false;
}

void TZodivErProc::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove || !AComponent) return;
  if (AComponent == FAttachedView) {
    // Reached only when the view's own goodbye did not come first; its callback list is
    // already gone by now, so there is nothing to remove from it.
    FNotifyHandle = -1;
    FAttachedView = nullptr;
    FAttachedBitmap = nullptr;
    TakeOwnImage();
  } else if (AComponent == FAttachedImage) {
    FAttachedImage = nullptr;
    FAttachedBitmap = nullptr;
    TakeOwnImage();
  }
}

// ---------------------------------------------------------------- properties and events

TColor TZodivErProc::Background() const { return FAttachedView ? FAttachedView->Background() : FBackground; }

void TZodivErProc::SetBackground(TColor Value) {
  if (FAttachedView) FAttachedView->SetBackground(Value);
  else FBackground = Value;
}

void TZodivErProc::SetPreviewFont(TFont* Value) {
  if (Value) FPreviewFont->Assign(Value);
}

void TZodivErProc::Update() {
  // A framework bitmap has no room for an alpha channel.
  if (FAttachedBitmap && FImage) FImage->RemoveAlphaChannel(false, clWhite);
  if (FAttachedView) {
    FAttachedView->Update();
    FAttachedView->ImageChange();
  } else if (FAttachedBitmap) {
    FAttachedBitmap->SetModified(true);
  }
}

void TZodivErProc::FinishWork() {
  if (OnProgress) OnProgress(this, 100);
  if (OnFinishWork) OnFinishWork(this);
}

// ---------------------------------------------------------------- pixel-format gate

namespace {

// For each current format, the formats to convert to in order of preference.
constexpr TIEPixelFormat ConversionTable[IEPixelFormatCount][7] = {
    /* ieNull   */ {ieNull, ieNull, ieNull, ieNull, ieNull, ieNull, ieNull},
    /* ie1g     */ {ie8g, ie16g, ie32f, ie24RGB, ieNull, ieNull, ieNull},
    /* ie8p     */ {ie24RGB, ieCMYK, ieRGB48, ieCIELab, ieNull, ieNull, ieNull},
    /* ie8g     */ {ie16g, ie32f, ie24RGB, ieCMYK, ieRGB48, ieNull, ieNull},
    /* ie16g    */ {ie32f, ie8g, ieRGB48, ie24RGB, ieCMYK, ieNull, ieNull},
    /* ie24RGB  */ {ieCMYK, ieCIELab, ieRGB48, ie8p, ie16g, ie8g, ieNull},
    /* ie32f    */ {ie16g, ie8g, ie24RGB, ieRGB48, ieCIELab, ieNull, ieNull},
    /* ieCMYK   */ {ie24RGB, ieRGB48, ieCIELab, ie8g, ieNull, ieNull, ieNull},
    /* ieRGB48  */ {ie24RGB, ieCMYK, ieCIELab, ie16g, ieNull, ieNull, ieNull},
    /* ieCIELab */ {ie24RGB, ieCMYK, ieRGB48, ie8g, ieNull, ieNull, ieNull},
    /* ie32RGB  */ {ie24RGB, ieCMYK, ieRGB48, ie8g, ieNull, ieNull, ieNull},
};

bool InSet(TIEPixelFormatSet Set, TIEPixelFormat Format) { return (Set & IEFormatSet(Format)) != 0; }

}  // namespace

bool TZodivErProc::CheckPixelFormat(TIEPixelFormatSet Allowed) {
  const TIEPixelFormat current = FImage->GetPixelFormat();
  if (Allowed == IEAnyFormat || InSet(Allowed, current)) return true;
  if (!AutoConvertFormat) return false;
  if (current < IEPixelFormatCount) {
    for (TIEPixelFormat target : ConversionTable[current]) {
      if (target == ieNull) break;
      if (InSet(Allowed, target)) {
        FImage->SetPixelFormat(target);
        return true;
      }
    }
  }
  for (Integer f = ie32RGB; f >= ieNull; --f) {
    if (InSet(Allowed, static_cast<TIEPixelFormat>(f))) {
      FImage->SetPixelFormat(static_cast<TIEPixelFormat>(f));
      return true;
    }
  }
  return false;
}

bool TZodivErProc::BeginOperation(TIEPixelFormatSet Allowed) {
  if (!FImage) return false;
  if (FAttachedBitmap) FImage->EncapsulateTBitmap(FAttachedBitmap, false);
  return CheckPixelFormat(Allowed);
}

// ---------------------------------------------------------------- work area

bool TZodivErProc::GetWorkArea(Integer& X1, Integer& Y1, Integer& X2, Integer& Y2, const TPoint*& Poly,
                               Integer& PolyCount, TIEMask*& Mask) {
  if (FImage && FAttachedBitmap) FImage->EncapsulateTBitmap(FAttachedBitmap, false);
  X1 = 0;
  Y1 = 0;
  X2 = FImage ? FImage->GetWidth() : 0;
  Y2 = FImage ? FImage->GetHeight() : 0;
  Poly = nullptr;
  PolyCount = 0;
  Mask = nullptr;
  if (!FAttachedView) return false;
  Mask = FAttachedView->GetSelectionMask();
  if (!Mask) return false;
  if (!FAttachedView->HasSelection()) return false;
  if (!Mask->IsEmpty()) {
    X1 = Mask->X1;
    Y1 = Mask->Y1;
    X2 = Mask->X2 + 1;
    Y2 = Mask->Y2 + 1;
  }
  Poly = FAttachedView->GetSelectionPolygon();
  PolyCount = FAttachedView->GetSelectionPolygonCount();
  return true;
}

bool TZodivErProc::BeginAreaOperation(TIEPixelFormatSet Allowed, Integer& X1, Integer& Y1, Integer& X2, Integer& Y2,
                                      const AnsiString& Caption, TIEBitmap*& WorkBitmap, TIEMask*& Mask) {
  WorkBitmap = nullptr;
  Mask = nullptr;
  if (AutoUndo) SaveUndoCaptioned(Caption, ieuImage);
  if (!BeginOperation(Allowed)) return false;
  const TPoint* poly = nullptr;
  Integer polyCount = 0;
  GetWorkArea(X1, Y1, X2, Y2, poly, polyCount, Mask);
  if (!Mask || Mask->IsEmpty()) {
    WorkBitmap = FImage;
    X1 = 0;
    Y1 = 0;
    X2 = FImage->GetWidth();
    Y2 = FImage->GetHeight();
    return true;
  }
  // The box may reach past an image that shrank since the selection was made.
  const Integer left = IEMax(Mask->X1, 0), top = IEMax(Mask->Y1, 0);
  const Integer right = IEMin(Mask->X2, FImage->GetWidth() - 1), bottom = IEMin(Mask->Y2, FImage->GetHeight() - 1);
  if (right < left || bottom < top) {
    WorkBitmap = FImage;
    X1 = 0;
    Y1 = 0;
    X2 = FImage->GetWidth();
    Y2 = FImage->GetHeight();
    Mask = nullptr;
    return true;
  }
  auto* work = new TIEBitmap;
  work->Location = ieMemory;
  if (!work->Allocate(Mask->X2 - Mask->X1 + 1, Mask->Y2 - Mask->Y1 + 1, FImage->GetPixelFormat())) {
    delete work;
    return false;
  }
  FImage->CopyPaletteTo(work);
  FImage->CopyRectTo(work, Mask->X1, Mask->Y1, 0, 0, work->GetWidth(), work->GetHeight());
  WorkBitmap = work;
  X1 = 0;
  Y1 = 0;
  X2 = work->GetWidth();
  Y2 = work->GetHeight();
  return true;
}

void TZodivErProc::EndAreaOperation(TIEBitmap* WorkBitmap, TIEMask* Mask) {
  if (WorkBitmap && WorkBitmap != FImage) {
    if (Mask) {
      Mask->CopyBitmapThroughMask(FImage, WorkBitmap, false, true, false);
      if (WorkBitmap->HasAlphaChannel()) {
        WorkBitmap->GetAlphaChannel()->SyncOpaqueFlag();
        if (!WorkBitmap->GetAlphaChannel()->Full) {
          Mask->CopyAlphaThroughMask(FImage, WorkBitmap, false, true);
          FImage->GetAlphaChannel()->Full = false;
        }
      }
    }
    delete WorkBitmap;
  }
  Update();
}

// ---------------------------------------------------------------- clear

void TZodivErProc::Clear() {
  if (!BeginOperation(IEAnyFormat)) return;
  if (AutoUndo) SaveUndoCaptioned("Clear", ieuImage);
  FImage->Fill(Background());
  Update();
  FinishWork();
}
