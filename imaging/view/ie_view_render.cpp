// Composing what the view shows into a 24-bit bitmap: the background, every visible layer at
// the view's zoom and scroll position, then the layer frames, grips and selection overlay.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "imaging/core/ie_canvas.h"
#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_limits.h"
#include "imaging/view/ie_view.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/sysutils.h"

namespace {

Integer TruncI(double V) { return SafeTrunc<Integer>(V); }
Integer RoundI(double V) { return SafeRound<Integer>(V); }

// Layer geometry is whatever a caller or a layers file put there; positions far off the screen
// are held at the distance the coordinate mapping uses, so sums and differences stay in range.
constexpr Integer FarCoordinate = Integer(1) << 29;
Integer Far(double V) { return std::clamp(TruncI(V), -FarCoordinate, FarCoordinate); }

}  // namespace

bool IERotatedLayerBox(TIELayer* L, Integer W, Integer H, TPoint& Pivot, TPoint Corners[4], TRect& Box) {
  Pivot = TPoint{Far(W * L->RotationCenterX), Far(H * L->RotationCenterY)};
  const TPoint Plain[4] = {{0, 0}, {W, 0}, {W, H}, {0, H}};
  std::copy(Plain, Plain + 4, Corners);
  IERotatePoints(Corners, 3, Pivot.X, L->RotationAngle(), Pivot.Y);
  for (Integer K = 0; K < 4; ++K) Corners[K] = TPoint{Far(Corners[K].X), Far(Corners[K].Y)};
  Box = TRect{Corners[0].X, Corners[0].Y, Corners[0].X, Corners[0].Y};
  for (Integer K = 0; K < 4; ++K) {
    Box.Left = std::min(Box.Left, Corners[K].X);
    Box.Top = std::min(Box.Top, Corners[K].Y);
    Box.Right = std::max(Box.Right, Corners[K].X);
    Box.Bottom = std::max(Box.Bottom, Corners[K].Y);
  }
  return IEImageSizeRefusal(Int64(Box.Right) - Box.Left, Int64(Box.Bottom) - Box.Top, 24).empty();
}

std::unique_ptr<TIEBitmap> IERotatedLayerImage(TIELayer* L, Integer W, Integer H, double Angle, TPoint Pivot,
                                               const TPoint& Origin, Integer OutW, Integer OutH) {
  TIEBitmap Scaled(W, H, ie24RGB);
  L->Bitmap->RenderToTIEBitmap(&Scaled, nullptr, nullptr, 0, 0, W, H, 0, 0, L->Bitmap->GetWidth(),
                               L->Bitmap->GetHeight(), false, false, 255, rfNone, true, 0);
  TIEBitmap* SourceAlpha = L->Bitmap->HasAlphaChannel() ? L->Bitmap->GetAlphaChannel() : nullptr;
  auto Out = std::make_unique<TIEBitmap>(std::max(OutW, 1), std::max(OutH, 1), ie24RGB);
  Out->Fill(0);
  TIEBitmap* OutAlpha = Out->GetAlphaChannel();
  OutAlpha->Fill(0);
  OutAlpha->Full = false;
  // Back from each output pixel centre to the layer: the inverse of the turn the corners take
  // (IERotatePoints turns by minus the angle).
  const double D = Angle * std::numbers::pi / 180.0;
  const double C = std::cos(D), S = std::sin(D);
  const double SW = double(L->Bitmap->GetWidth()) / W, SH = double(L->Bitmap->GetHeight()) / H;
  for (Integer Y = 0; Y < Out->GetHeight(); ++Y) {
    auto* Row = static_cast<TRGB*>(Out->GetScanline(Y));
    auto* ARow = static_cast<Byte*>(OutAlpha->GetScanline(Y));
    for (Integer X = 0; X < Out->GetWidth(); ++X) {
      const double DX = Origin.X + X + 0.5 - Pivot.X, DY = Origin.Y + Y + 0.5 - Pivot.Y;
      const double SX = C * DX - S * DY + Pivot.X, SY = S * DX + C * DY + Pivot.Y;
      const Integer IX = Integer(std::floor(SX)), IY = Integer(std::floor(SY));
      if (IX < 0 || IY < 0 || IX >= W || IY >= H) continue;
      Row[X] = static_cast<TRGB*>(Scaled.GetScanline(IY))[IX];
      ARow[X] = SourceAlpha ? SourceAlpha->GetAlphaValue(std::min(TruncI(IX * SW), SourceAlpha->GetWidth() - 1),
                                                         std::min(TruncI(IY * SH), SourceAlpha->GetHeight() - 1))
                            : Byte(255);
    }
  }
  return Out;
}

TBitmap* TZodivErView::BackBufferBitmap() { return FBackBuffer ? FBackBuffer->GetVclBitmap() : nullptr; }

void TZodivErView::RenderToBitmap(TIEBitmap* Dest, TIERenderTables* RowCache, const TRect* ClipRect,
                                  bool DrawBackground, bool DrawGadgets) {
  (void)RowCache;
  SyncLayers();
  ComputeVisibleArea();
  BuildCoordinateTables();
  if (DesignMode() || !Dest) return;
  if (FIEBitmap->GetWidth() == 0 || FIEBitmap->GetHeight() == 0) return;
  if (FIEBitmap->HasAlphaChannel()) {
    TIEBitmap* A = FIEBitmap->GetAlphaChannel();
    if (A->GetWidth() != FIEBitmap->GetWidth() || A->GetHeight() != FIEBitmap->GetHeight()) return;
  }
  if (Dest->GetPixelFormat() != ie24RGB) return;

  auto PaintBackgroundNow = [&](bool Test, TIELayer* First) {
    if (Test) {
      const bool Covers = FOffsetX <= 0 && FOffsetY <= 0 && Dest->GetWidth() <= FVisibleDestWidth &&
                          Dest->GetHeight() <= FVisibleDestHeight;
      const bool Opaque =
          (!FEnableAlphaChannel || !First->Bitmap->HasAlphaChannel() || First->Bitmap->GetAlphaChannel()->Full) &&
          First->Opacity >= 255;
      if (Covers && Opaque) return;
    }
    TCanvas* C = Dest->GetCanvas();
    if (ClipRect) C->SetClipRect(TRect{ClipRect->Left, ClipRect->Top, ClipRect->Right + 1, ClipRect->Bottom + 1});
    bool Handled = false;
    if (OnDrawBackground) OnDrawBackground(this, C, TRect{0, 0, Dest->GetWidth(), Dest->GetHeight()}, Handled);
    if (!Handled)
      PaintBackground(C, Dest->GetVclBitmap(), TRect{0, 0, Dest->GetWidth(), Dest->GetHeight()},
                      TRect{FOffsetX, FOffsetY, FOffsetX + FVisibleDestWidth, FOffsetY + FVisibleDestHeight});
    C->SelectClipRgn(nullptr);
  };

  bool FirstPending = true;
  for (Integer I = 0; I < LayerCount(); ++I) {
    TIELayer* L = FLayers[size_t(I)];
    if (!L->Visible || FVisibleDestWidth == 0 || FVisibleDestHeight == 0) continue;
    if (L->Bitmap->GetWidth() < 2 && L->Bitmap->GetHeight() < 2) continue;

    const bool HasMask = I + 1 < LayerCount() && FLayers[size_t(I + 1)]->MaskLayer && !L->MaskLayer &&
                         L->RotationAngle() == 0;
    TIEBitmap* SavedAlpha = nullptr;
    if (HasMask) ApplyMaskedAlpha(I, SavedAlpha);

    if (FirstPending && DrawBackground) PaintBackgroundNow(true, L);

    TResampleFilter Filter = rfNone;
    if (FFilterDelay <= 0 && (L->WidthOverride != 0 || L->HeightOverride != 0 || FZoomX != 100 || FZoomY != 100))
      Filter = L->UseResampleFilter ? L->ResampleFilter : FZoomFilter;
    const bool Solid = FirstPending && FBackgroundStyle == iebsSolid;

    try {
      if (LayerCount() == 1 && L->WidthOverride == 0 && L->HeightOverride == 0 && L->PosX == 0 && L->PosY == 0) {
        const TRect& V = FVisibleBitmapRect;
        if (Filter == rfNone) {
          // The columns and rows come from the view's own mapping, so what is drawn at a client
          // point is exactly the pixel that hit tests and selections find there.
          TIERenderTables Shared;
          Shared.XTable.resize(size_t(FVisibleDestWidth));
          Shared.YTable.resize(size_t(FVisibleDestHeight));
          const Integer MaxX = L->Bitmap->GetWidth() - 1, MaxY = L->Bitmap->GetHeight() - 1;
          for (Integer C = 0; C < FVisibleDestWidth; ++C)
            Shared.XTable[size_t(C)] = std::clamp(ScreenToBitmapX(FOffsetX + C), 0, MaxX);
          for (Integer R = 0; R < FVisibleDestHeight; ++R)
            Shared.YTable[size_t(R)] = std::clamp(ScreenToBitmapY(FOffsetY + R), 0, MaxY);
          Shared.HasX = Shared.HasY = true;
          L->Bitmap->RenderToTIEBitmap(Dest, &Shared, nullptr, FOffsetX, FOffsetY, FVisibleDestWidth,
                                       FVisibleDestHeight, V.Left, V.Top, V.Right, V.Bottom, FEnableAlphaChannel,
                                       Solid, L->Opacity, Filter, false, L->Operation);
        } else {
          L->Bitmap->RenderToTIEBitmap(Dest, nullptr, ClipRect, FOffsetX, FOffsetY, FVisibleDestWidth,
                                       FVisibleDestHeight, V.Left, V.Top, V.Right, V.Bottom, FEnableAlphaChannel,
                                       Solid, L->Opacity, Filter, true, L->Operation);
        }
        L->ClientRect = TRect{FOffsetX, FOffsetY, FOffsetX + FVisibleDestWidth, FOffsetY + FVisibleDestHeight};
        const Integer M[8] = {FOffsetX, FOffsetY, FVisibleDestWidth, FVisibleDestHeight, V.Left, V.Top, V.Right,
                              V.Bottom};
        std::copy(M, M + 8, L->DrawnMapping);
      } else {
        RenderLayer(Dest, I, Filter, Solid, ClipRect);
      }
    } catch (...) {
      if (HasMask) RestoreLayerAlpha(I, SavedAlpha);
      throw;
    }

    if (DrawGadgets && L->ShowFrame && I == FCurrentLayer) {
      if (FMouseInteract & (miMoveLayers | miResizeLayers)) DrawLayerBox(I);
      if ((FMouseInteract & miResizeLayers) && !L->NoResize) DrawLayerGrips(I);
      else if (FMouseInteract & miRotateLayers) DrawLayerGrips(I);
    }
    if (DrawGadgets && I == FCurrentLayer && L->DimOutside) DimOutsideLayer(I);
    if (HasMask) RestoreLayerAlpha(I, SavedAlpha);
    FirstPending = false;
  }
  if (FirstPending && DrawBackground) PaintBackgroundNow(false, nullptr);
  if (DrawGadgets) DrawSelectionOverlay();
}

void TZodivErView::RenderLayer(TIEBitmap* Dest, Integer Index, TResampleFilter Filter, bool SolidBackground,
                               const TRect* ClipRect) {
  TIELayer* L = FLayers[size_t(Index)];
  const Integer SavedPosX = L->PosX, SavedPosY = L->PosY;
  const Integer SavedWO = L->WidthOverride, SavedHO = L->HeightOverride;
  TIEBitmap* Source = L->Bitmap;
  std::unique_ptr<TIEBitmap> Rotated;
  auto Restore = [&] {
    L->PosX = SavedPosX;
    L->PosY = SavedPosY;
    L->WidthOverride = SavedWO;
    L->HeightOverride = SavedHO;
  };

  if (L->RotationAngle() != 0) {
    const Integer W = L->GetWidth(), H = L->GetHeight();
    if (W <= 0 || H <= 0) return;
    TPoint Pivot, Corners[4];
    TRect Box;
    // A turned image that could not be made (a pivot thrown out of range) is not drawn.
    if (!IERotatedLayerBox(L, W, H, Pivot, Corners, Box)) return;
    const Integer MinX = Box.Left, MinY = Box.Top, MaxX = Box.Right, MaxY = Box.Bottom;
    Rotated = IERotatedLayerImage(L, W, H, L->RotationAngle(), Pivot, TPoint{MinX, MinY}, MaxX - MinX, MaxY - MinY);
    Source = Rotated.get();
    for (Integer K = 0; K < 4; ++K) {
      L->RotatedCorners[K].X = Far((double(Corners[K].X) + SavedPosX) * FZoomD100X) + FOffsetX - FViewX;
      L->RotatedCorners[K].Y = Far((double(Corners[K].Y) + SavedPosY) * FZoomD100Y) + FOffsetY - FViewY;
    }
    L->WidthOverride = Source->GetWidth();
    L->HeightOverride = Source->GetHeight();
    L->PosX = Far(double(SavedPosX) + MinX);
    L->PosY = Far(double(SavedPosY) + MinY);
  }

  try {
    if (Index > 0 && L->Magnifier && L->MagnifyFactor >= 1.0) {
      if (!FLayerResizing && (L->WidthOverride > 0 || L->HeightOverride > 0)) {
        const Integer NW = L->WidthOverride > 0 ? L->WidthOverride : L->Bitmap->GetWidth();
        const Integer NH = L->HeightOverride > 0 ? L->HeightOverride : L->Bitmap->GetHeight();
        if (NW != L->Bitmap->GetWidth() || NH != L->Bitmap->GetHeight()) L->Bitmap->Allocate(NW, NH, ie24RGB);
      }
      TIEBitmap* B = L->Bitmap;
      const Integer BW = B->GetWidth(), BH = B->GetHeight();
      const Integer SW = Far(BW / (L->MagnifyFactor / FZoomD100X)), SH = Far(BH / (L->MagnifyFactor / FZoomD100Y));
      const Integer CX = BitmapToScreenX(L->PosX) + Far(BW * FZoomD100X / 2.0);
      const Integer CY = BitmapToScreenY(L->PosY) + Far(BH * FZoomD100Y / 2.0);
      const TRect Src{CX - SW / 2, CY - SH / 2, CX + SW - SW / 2, CY + SH - SH / 2};
      if (L->MagnifierSource == 1) {
        if (B->GetPixelFormat() != ie24RGB) B->Allocate(BW, BH, ie24RGB);
        Dest->RenderToTIEBitmap(B, nullptr, nullptr, 0, 0, BW, BH, Src.Left, Src.Top, Src.Width(), Src.Height(), false,
                                false, 255, rfNone, true, 0);
      } else {
        const Integer X1 = ScreenToBitmapX(Src.Left), Y1 = ScreenToBitmapY(Src.Top);
        const Integer X2 = ScreenToBitmapX(Src.Right), Y2 = ScreenToBitmapY(Src.Bottom);
        TIEBitmap* Base = FLayers[0]->Bitmap;
        if (X1 >= 0 && Y1 >= 0 && X2 < Base->GetWidth() && Y2 < Base->GetHeight() && X2 - X1 + 1 < Base->GetWidth() &&
            Y2 - Y1 + 1 < Base->GetHeight()) {
          if (B->GetPixelFormat() != ie24RGB) B->Allocate(BW, BH, ie24RGB);
          B->Fill(0);
          Base->RenderToTIEBitmap(B, nullptr, nullptr, 0, 0, BW, BH, X1, Y1, X2 - X1 + 1, Y2 - Y1 + 1, false, false,
                                  255, Filter, true, 0);
        }
      }
      TIEBitmap* A = B->GetAlphaChannel();
      if (L->MagnifierShape == 0) {
        A->Fill(255);
        A->Full = true;
      } else {
        A->Fill(0);
        A->Full = false;
        // An opaque ellipse inside the bitmap: (0, 0) - (width - 1, height - 1).
        const double RX = (B->GetWidth() - 1) / 2.0, RY = (B->GetHeight() - 1) / 2.0;
        for (Integer Y = 0; Y < B->GetHeight(); ++Y)
          for (Integer X = 0; X < B->GetWidth(); ++X) {
            const double DX = RX > 0 ? (X - RX) / RX : 0, DY = RY > 0 ? (Y - RY) / RY : 0;
            if (DX * DX + DY * DY <= 1.0) A->SetAlphaValue(X, Y, 255);
          }
      }
      Source = B;
    }

    // Client box of the layer; each edge is nudged by a pixel when mapping it back would land
    // on the neighbouring bitmap column or row.
    auto ClientX = [this](Integer BX) {
      Integer X = BitmapToScreenX(BX);
      const Integer Back = ScreenToBitmapX(X);
      if (Back < BX) ++X;
      else if (Back > BX) --X;
      return X;
    };
    auto ClientY = [this](Integer BY) {
      Integer Y = BitmapToScreenY(BY);
      const Integer Back = ScreenToBitmapY(Y);
      if (Back < BY) ++Y;
      else if (Back > BY) --Y;
      return Y;
    };
    const Integer W0 = L->WidthOverride != 0 ? L->WidthOverride : Source->GetWidth();
    const Integer H0 = L->HeightOverride != 0 ? L->HeightOverride : Source->GetHeight();
    if (W0 <= 0 || H0 <= 0) {
      Restore();
      return;
    }
    Integer X1 = ClientX(L->PosX), Y1 = ClientY(L->PosY);
    const Integer RightX = Far(double(L->PosX) + W0), BottomY = Far(double(L->PosY) + H0);
    Integer DW = ClientX(RightX) - X1, DH = ClientY(BottomY) - Y1;
    Integer SX = 0, SY = 0, SW = Source->GetWidth(), SH = Source->GetHeight();
    L->ClientRect = TRect{X1, Y1, X1 + DW, Y1 + DH};

    if (L->ClipToBase) {
      // The scale between layer pixels and client pixels comes from the layer's size on screen,
      // which a small zoom can make zero: such a layer shows nothing rather than dividing by it.
      const Integer ClientW = L->ClientRect.Width(), ClientH = L->ClientRect.Height();
      if (ClientW <= 0 || ClientH <= 0) {
        Restore();
        return;
      }
      const Integer BaseW = FImageWidth, BaseH = FImageHeight;
      if (L->PosX < 0) {
        SX = TruncI(double(Source->GetWidth()) / W0 * -double(L->PosX));
        SW -= SX;
        X1 = BitmapToScreenX(0);
        DW = BitmapToScreenX(RightX) - X1;
      }
      if (L->PosY < 0) {
        SY = TruncI(double(Source->GetHeight()) / H0 * -double(L->PosY));
        SH -= SY;
        Y1 = BitmapToScreenY(0);
        DH = BitmapToScreenY(BottomY) - Y1;
      }
      if (RightX > BaseW) {
        DW = BitmapToScreenX(BaseW) - X1;
        SW = TruncI(double(Source->GetWidth()) / ClientW * DW);
      }
      if (BottomY > BaseH) {
        DH = BitmapToScreenY(BaseH) - Y1;
        SH = TruncI(double(Source->GetHeight()) / ClientH * DH);
      }
    }

    if (DW > 0 && DH > 0 && SW > 0 && SH > 0)
      Source->RenderToTIEBitmap(Dest, nullptr, ClipRect, X1, Y1, DW, DH, SX, SY, SW, SH, FEnableAlphaChannel,
                                SolidBackground, L->Opacity, Filter, true, L->Operation);
    const Integer M[8] = {X1, Y1, DW, DH, SX, SY, SW, SH};
    std::copy(M, M + 8, L->DrawnMapping);
  } catch (...) {
    Restore();
    throw;
  }
  Restore();
}

void TZodivErView::ApplyMaskedAlpha(Integer Index, TIEBitmap*& SavedAlpha) {
  TIELayer* L = FLayers[size_t(Index)];
  TIELayer* M = FLayers[size_t(Index + 1)];
  TIEBitmap* B = L->Bitmap;
  // The layer's own alpha is put aside (made opaque first when it has none) and the combined one
  // takes its place for the draw.
  TIEBitmap* Own = B->GetAlphaChannel();
  SavedAlpha = new TIEBitmap();
  SavedAlpha->Assign(Own);
  if (L->MaskedAlpha) {
    Own->Assign(L->MaskedAlpha);
    return;
  }
  if (M->Bitmap->GetPixelFormat() != ie8g) {
    M->Bitmap->RemoveAlphaChannel(false, Background());
    M->Bitmap->SetPixelFormat(ie8g);
  }
  TIEBitmap* Mask = M->Bitmap;
  const Integer BW = B->GetWidth(), BH = B->GetHeight();
  const double SXL = double(L->GetWidth()) / BW, SYL = double(L->GetHeight()) / BH;
  const double SXM = double(M->GetWidth()) / std::max(Mask->GetWidth(), 1);
  const double SYM = double(M->GetHeight()) / std::max(Mask->GetHeight(), 1);
  if (SXM == 0 || SYM == 0) return;
  for (Integer Y = 0; Y < BH; ++Y) {
    const Integer MY = RoundI((Y * SYL - M->PosY + L->PosY) / SYM);
    auto* Row = static_cast<Byte*>(Own->GetScanline(Y));
    const auto* SavedRow = static_cast<const Byte*>(SavedAlpha->GetScanline(Y));
    for (Integer X = 0; X < BW; ++X) {
      const Integer MX = RoundI((X * SXL - M->PosX + L->PosX) / SXM);
      Byte V = 0;
      if (MX >= 0 && MY >= 0 && MX < Mask->GetWidth() && MY < Mask->GetHeight())
        V = std::min(SavedRow[X], static_cast<const Byte*>(Mask->GetScanline(MY))[MX]);
      Row[X] = V;
    }
  }
  Own->Full = false;
  L->MaskedAlpha = new TIEBitmap();
  L->MaskedAlpha->Assign(Own);
}

void TZodivErView::RestoreLayerAlpha(Integer Index, TIEBitmap* SavedAlpha) {
  TIELayer* L = FLayers[size_t(Index)];
  if (SavedAlpha) {
    L->Bitmap->GetAlphaChannel()->Assign(SavedAlpha);
    delete SavedAlpha;
  }
}

// ---------------------------------------------------------------------------------------------
// Gadgets

void TZodivErView::DrawLayerBox(Integer Index) {
  TIELayer* L = FLayers[size_t(Index)];
  if (OnDrawLayerBox) {
    OnDrawLayerBox(this, FBackBuffer->GetVclBitmap(), Index);
    return;
  }
  TCanvas* C = FBackBuffer->GetCanvas();
  C->Pen()->SetStyle(psDot);
  C->Pen()->SetMode(pmNot);
  C->Pen()->SetWidth(1);
  C->Brush()->SetStyle(bsClear);
  if (L->RotationAngle() != 0)
    C->Polygon(L->RotatedCorners, 4);
  else
    C->Rectangle(L->ClientRect);
  C->Pen()->SetMode(pmCopy);
  C->Pen()->SetStyle(psSolid);
  C->Brush()->SetStyle(bsSolid);
}

namespace {

void GripRects(TZodivErView* View, TIELayer* L, Integer G, TRect Out[9]) {
  TPoint P[8];
  if (L->RotationAngle() != 0) {
    const TPoint* K = L->RotatedCorners;
    P[0] = K[0];
    P[1] = K[1];
    P[2] = K[2];
    P[3] = K[3];
    P[4] = {(K[0].X + K[3].X) / 2, (K[0].Y + K[3].Y) / 2};
    P[5] = {(K[1].X + K[2].X) / 2, (K[1].Y + K[2].Y) / 2};
    P[6] = {(K[0].X + K[1].X) / 2, (K[0].Y + K[1].Y) / 2};
    P[7] = {(K[2].X + K[3].X) / 2, (K[2].Y + K[3].Y) / 2};
  } else {
    const TRect& R = L->ClientRect;
    const Integer MX = (R.Left + R.Right) / 2, MY = (R.Top + R.Bottom) / 2;
    P[0] = {R.Left, R.Top};
    P[1] = {R.Right, R.Top};
    P[2] = {R.Right, R.Bottom};
    P[3] = {R.Left, R.Bottom};
    P[4] = {R.Left, MY};
    P[5] = {R.Right, MY};
    P[6] = {MX, R.Top};
    P[7] = {MX, R.Bottom};
  }
  for (Integer K = 0; K < 8; ++K) Out[K] = TRect{P[K].X - G, P[K].Y - G, P[K].X + G, P[K].Y + G};
  const Integer CX = L->LayerToScreenX(SafeRound<Integer>(L->Bitmap->GetWidth() * L->RotationCenterX));
  const Integer CY = L->LayerToScreenY(SafeRound<Integer>(L->Bitmap->GetHeight() * L->RotationCenterY));
  Out[8] = TRect{CX - G, CY - G, CX + G, CY + G};
  (void)View;
}

}  // namespace

void TZodivErView::DrawLayerGrips(Integer Index) {
  TIELayer* L = FLayers[size_t(Index)];
  TRect R[9];
  GripRects(this, L, FGripSize, R);
  if (OnDrawLayerGrip) {
    for (Integer K = 0; K < 9; ++K) OnDrawLayerGrip(this, FBackBuffer->GetVclBitmap(), Index, K, R[K]);
    return;
  }
  TIECanvas C(FBackBuffer->GetCanvas(), true, true);
  C.Pen()->SetStyle(psSolid);
  C.Pen()->SetMode(pmCopy);
  C.Pen()->SetWidth(1);
  C.Pen()->SetColor(FGripPenColor);
  C.Brush()->SetStyle(FGripBrushStyle);
  C.Brush()->SetColor(FGripBrushColor);
  if (FMouseInteract & miResizeLayers && !L->NoResize) {
    for (Integer K = 0; K < 8; ++K) {
      if (FGripShape == 1)
        C.Ellipse(R[K].Left, R[K].Top, R[K].Right, R[K].Bottom);
      else
        C.Rectangle(R[K].Left, R[K].Top, R[K].Right, R[K].Bottom);
    }
  }
  if (FMouseInteract & miRotateLayers) C.Ellipse(R[8].Left, R[8].Top, R[8].Right, R[8].Bottom);
}

Integer TZodivErView::GripAt(Integer X, Integer Y) {
  TIELayer* L = CurrentLayer();
  if (!L) return 0;
  TRect R[9];
  GripRects(this, L, FGripSize, R);
  for (Integer K = 0; K < 9; ++K)
    if (X >= R[K].Left && X <= R[K].Right && Y >= R[K].Top && Y <= R[K].Bottom) return K + 1;
  return 0;
}

void TZodivErView::DimOutsideLayer(Integer Index) {
  const TRect& R = FLayers[size_t(Index)]->ClientRect;
  TIEBitmap* B = FBackBuffer.get();
  for (Integer Y = 0; Y < B->GetHeight(); ++Y) {
    auto* Row = static_cast<TRGB*>(B->GetScanline(Y));
    for (Integer X = 0; X < B->GetWidth(); ++X) {
      const bool Inside = X >= R.Left && X <= R.Right && Y >= R.Top && Y <= R.Bottom;
      if (!Inside && ((X & 1) == (Y & 1))) Row[X] = TRGB{97, 97, 97};
    }
  }
}

void TZodivErView::DrawSelectionOverlay() {
  if (!FSelectionDisplay || !FSelected || !FPolygon || !FPolygon->Visible || FSelectionMask->IsEmpty()) return;
  TIELayer* L = CurrentLayer();
  if (!L) return;
  const Integer* M = L->DrawnMapping;
  if (FSelectionOptions & iesoFilled)
    FSelectionMask->DrawToCanvas(FBackBuffer->GetCanvas(), M[0], M[1], M[2], M[3], M[4], M[5], M[6], M[7]);
  if (FSelectionOptions & iesoMarkOuter)
    FSelectionMask->DimOutside(FBackBuffer->GetVclBitmap(), M[0], M[1], M[2], M[3], M[4], M[5], M[6], M[7]);
}

// ---------------------------------------------------------------------------------------------
// Flattening

void TZodivErView::DrawLayersTo(TIEBitmap* Dest) {
  if (!Dest || FLayers.empty()) return;
  TIELayer* Base = FLayers[0];
  // Measured in 64 bits: layers may lie anywhere, and a stack spread wider than any image can be
  // is refused before the destination is touched.
  Int64 Right = Int64(Base->PosX) + Base->GetWidth(), Bottom = Int64(Base->PosY) + Base->GetHeight();
  Int64 OX = 0, OY = 0;
  for (TIELayer* L : FLayers) {
    if (L->ClipToBase) continue;
    Right = std::max(Right, Int64(L->PosX) + L->GetWidth());
    Bottom = std::max(Bottom, Int64(L->PosY) + L->GetHeight());
    if (L->PosX < 0) OX = std::max(OX, -Int64(L->PosX));
    if (L->PosY < 0) OY = std::max(OY, -Int64(L->PosY));
  }
  if (!IEImageSizeRefusal(Right + OX, Bottom + OY, 24).empty()) throw EOutOfMemory("Out of memory");
  if (Dest->GetPixelFormat() != ie24RGB || Dest->IsEmpty()) Dest->Allocate(1, 1, ie24RGB);
  Dest->Resize(Integer(Right + OX), Integer(Bottom + OY), static_cast<double>(Background()), 255, 0, 0);

  // The whole stack at 100 %, from the top-left corner, without anything interactive.
  const double ZX = FZoomX, ZY = FZoomY;
  const Integer VX = FViewX, VY = FViewY, OffX = FOffsetX, OffY = FOffsetY;
  const Integer EX = FExtentX, EY = FExtentY, VEX = FVisibleExtentX, VEY = FVisibleExtentY;
  const TRect VB = FVisibleBitmapRect;
  const Integer VDW = FVisibleDestWidth, VDH = FVisibleDestHeight, IW = FImageWidth, IH = FImageHeight;
  auto RestoreGeometry = [&] {
    FZoomX = ZX;
    FZoomY = ZY;
    FViewX = VX;
    FViewY = VY;
    FOffsetX = OffX;
    FOffsetY = OffY;
    FExtentX = EX;
    FExtentY = EY;
    FVisibleExtentX = VEX;
    FVisibleExtentY = VEY;
    FVisibleBitmapRect = VB;
    FVisibleDestWidth = VDW;
    FVisibleDestHeight = VDH;
    FImageWidth = IW;
    FImageHeight = IH;
    RecomputeZoomFactors();
  };
  FZoomX = FZoomY = 100;
  RecomputeZoomFactors();
  FViewX = FViewY = 0;
  FOffsetX = OX;
  FOffsetY = OY;
  FExtentX = FVisibleExtentX = Base->Bitmap->GetWidth();
  FExtentY = FVisibleExtentY = Base->Bitmap->GetHeight();
  try {
    // RenderToBitmap measures the visible part itself; at 100 % from (0, 0) that is the whole
    // base image.
    RenderToBitmap(Dest, nullptr, nullptr, false, false);
  } catch (...) {
    RestoreGeometry();
    throw;
  }
  RestoreGeometry();
  const bool Saved = FSuppressInvalidate;
  FSuppressInvalidate = true;
  Update();
  FSuppressInvalidate = Saved;
}

void TZodivErView::FlattenLayers() {
  TIEBitmap Flat(std::max(FIEBitmap->GetWidth(), 1), std::max(FIEBitmap->GetHeight(), 1), ie24RGB);
  Flat.Fill(static_cast<double>(Background()));
  DrawLayersTo(&Flat);
  ClearLayers();
  FIEBitmap->Assign(&Flat);
  Update();
}
