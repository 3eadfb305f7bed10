#include "platform/gui/extctrls.h"

#include <algorithm>

#include "platform/gui/graphics.h"
#include "platform/rtl/numerics.h"

void Frame3D(TCanvas* Canvas, TRect& R, TColor TopColor, TColor BottomColor, Integer Width) {
  Canvas->Pen()->SetWidth(1);
  Canvas->Pen()->SetStyle(psSolid);
  Canvas->Pen()->SetMode(pmCopy);
  // Work on the inclusive edges; the pen leaves the last point of each line undrawn.
  --R.Right;
  --R.Bottom;
  for (; Width > 0; --Width) {
    Canvas->Pen()->SetColor(TopColor);
    Canvas->MoveTo(R.Left, R.Bottom);
    Canvas->LineTo(R.Left, R.Top);
    Canvas->LineTo(R.Right, R.Top);
    Canvas->Pen()->SetColor(BottomColor);
    Canvas->LineTo(R.Right, R.Bottom);
    Canvas->LineTo(R.Left - 1, R.Bottom);
    InflateRect(R, -1, -1);
  }
  ++R.Right;
  ++R.Bottom;
}

// ---------------------------------------------------------------------------------------------
// TPanel

TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  ControlStyle = ControlStyle | csOpaque;
  SetBounds(Left(), Top(), 185, 41);
}

void TPanel::SetBevelOuter(TBevelCut Value) {
  FBevelOuter = Value;
  Invalidate();
}

void TPanel::SetBevelInner(TBevelCut Value) {
  FBevelInner = Value;
  Invalidate();
}

void TPanel::SetBevelWidth(Integer Value) {
  FBevelWidth = std::max<Integer>(Value, 1);
  Invalidate();
}

void TPanel::SetBorderWidth(Integer Value) {
  FBorderWidth = std::max<Integer>(Value, 0);
  Invalidate();
}

void TPanel::SetAlignment(TAlignment Value) {
  FAlignment = Value;
  Invalidate();
}

void TPanel::TextChanged() {
  TCustomControl::TextChanged();
  Invalidate();
}

void TPanel::Paint() {
  TCanvas* C = TCustomControl::Canvas();
  TRect R = ClientRect();
  auto Bevel = [&](TBevelCut Cut) {
    if (Cut == bvNone) return;
    if (Cut == bvSpace) {
      Frame3D(C, R, Color(), Color(), FBevelWidth);
      return;
    }
    const TColor Light = clBtnHighlight;
    const TColor Dark = clBtnShadow;
    if (Cut == bvRaised)
      Frame3D(C, R, Light, Dark, FBevelWidth);
    else
      Frame3D(C, R, Dark, Light, FBevelWidth);
  };
  Bevel(FBevelOuter);
  Frame3D(C, R, Color(), Color(), FBorderWidth);
  Bevel(FBevelInner);
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(Color());
  C->FillRect(R);
  if (!Caption().empty()) {
    C->SetFont(Font());
    C->Brush()->SetStyle(bsClear);
    Cardinal Flags = DT_VCENTER | DT_SINGLELINE;
    if (FAlignment == taCenter) Flags |= DT_CENTER;
    if (FAlignment == taRightJustify) Flags |= DT_RIGHT;
    C->DrawText(Caption(), R, Flags);
  }
}

// ---------------------------------------------------------------------------------------------
// TImage

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), FPicture(std::make_unique<TPicture>()) {
  FPicture->OnChange = [this](TObject*) { PictureChanged(); };
  SetBounds(Left(), Top(), 105, 105);
}

TImage::~TImage() {
  // Components that work on the picture's bitmap let go of it while it is still there.
  NotifyFreeSubscribers();
  FPicture->OnChange = nullptr;
}

void TImage::SetPicture(TPicture* Value) { FPicture->Assign(Value); }

TCanvas* TImage::Canvas() {
  if (!FPicture->Graphic()) {
    TBitmap Blank;
    Blank.SetSize(Width(), Height());
    FPicture->SetGraphic(&Blank);
  }
  if (auto* B = dynamic_cast<TBitmap*>(FPicture->Graphic())) return B->Canvas();
  throw EInvalidOperation("Can only modify an image if it contains a bitmap");
}

void TImage::PictureChanged() {
  if (FInPictureChange) return;
  FInPictureChange = true;
  try {
    TGraphic* G = FPicture->Graphic();
    if (FAutoSize && G && G->Width() > 0 && G->Height() > 0) SetBounds(Left(), Top(), G->Width(), G->Height());
    if (G && G->Transparent() != FTransparent) G->SetTransparent(FTransparent);
  } catch (...) {
    FInPictureChange = false;
    throw;
  }
  FInPictureChange = false;
  Invalidate();
}

void TImage::SetAutoSize(bool Value) {
  FAutoSize = Value;
  PictureChanged();
}

void TImage::SetStretch(bool Value) {
  FStretch = Value;
  Invalidate();
}

void TImage::SetProportional(bool Value) {
  FProportional = Value;
  Invalidate();
}

void TImage::SetCenter(bool Value) {
  FCenter = Value;
  Invalidate();
}

void TImage::SetTransparent(bool Value) {
  FTransparent = Value;
  PictureChanged();
}

TRect TImage::DestRect() const {
  Integer W = FPicture->Width();
  Integer H = FPicture->Height();
  const Integer CW = ClientWidth();
  const Integer CH = ClientHeight();
  if (FStretch || (FProportional && (W > CW || H > CH))) {
    if (FProportional && W > 0 && H > 0) {
      // Fit the longer side first, then the other if it still overflows.
      const double Aspect = static_cast<double>(W) / H;
      if (W > H) {
        W = CW;
        H = SafeTrunc<Integer>(CW / Aspect);
        if (H > CH) {
          H = CH;
          W = SafeTrunc<Integer>(CH * Aspect);
        }
      } else {
        H = CH;
        W = SafeTrunc<Integer>(CH * Aspect);
        if (W > CW) {
          W = CW;
          H = SafeTrunc<Integer>(CW / Aspect);
        }
      }
    } else {
      W = CW;
      H = CH;
    }
  }
  TRect R = Rect(0, 0, W, H);
  if (FCenter) OffsetRect(R, (CW - W) / 2, (CH - H) / 2);
  return R;
}

void TImage::Paint() {
  TGraphic* G = FPicture->Graphic();
  if (!G || G->Empty()) return;
  TGraphicControl::Canvas()->StretchDraw(DestRect(), G);
}
