// What a view shows where its image is not: a colour, a hatch, a chessboard, a gradient, a
// frame or shadow round the image, and a wallpaper on top.
#include <algorithm>

#include "imaging/core/ie_drawing.h"
#include "imaging/view/ie_view.h"

namespace {

// The colour that contrasts with C bit for bit. A system colour inverts into a plain colour; a
// plain colour inverted over all 32 bits would name a system colour by accident, so only its
// colour bits are inverted.
TColor ComplementColor(TColor C) { return (C & 0x80000000u) ? ~C : (~C & 0x00FFFFFFu); }

TRGB ToRGB(TColor C) {
  const TColor V = ColorToRGB(C);
  return TRGB{Byte((V >> 16) & 0xFF), Byte((V >> 8) & 0xFF), Byte(V & 0xFF)};
}

void FillArea(TCanvas* Canvas, const TRect& Area, TColor Color, TBrushStyle Style) {
  Canvas->Brush()->SetColor(Color);
  Canvas->Brush()->SetStyle(Style);
  Canvas->FillRect(Area);
  Canvas->Brush()->SetStyle(bsSolid);
}

// Writes the board straight into the rows of a 24-bit bitmap. The first run of every row and
// the first band of rows are one pixel longer than the square size, the later ones exactly it.
void FastChessboard(TBitmap* Bitmap, const TRect& R, Integer S, TColor Background) {
  const Integer BW = Bitmap->Width(), BH = Bitmap->Height();
  if (BW <= 0 || BH <= 0) return;
  const TRGB C1 = ToRGB(Background), C2 = ToRGB(ComplementColor(Background));
  const Integer X1 = std::max(R.Left, 0), X2 = std::min(R.Right, BW);
  bool RowStartFirst = true;
  Integer RowCounter = 0;
  for (Integer Y = R.Top; Y < R.Bottom; ++Y) {
    const Integer Row = std::clamp(Y, 0, BH - 1);
    auto* Pixels = static_cast<TRGB*>(Bitmap->ScanLine(Row));
    bool First = RowStartFirst;
    Integer Counter = 0;
    for (Integer X = R.Left; X < R.Right; ++X) {
      if (X >= X1 && X < X2) Pixels[X] = First ? C1 : C2;
      if (Counter == S) {
        First = !First;
        Counter = 0;
      }
      ++Counter;
    }
    if (RowCounter == S) {
      RowStartFirst = !RowStartFirst;
      RowCounter = 0;
    }
    ++RowCounter;
  }
}

void BrushChessboard(TCanvas* Canvas, const TRect& R, Integer S, TBrushStyle Style, TColor Background) {
  if (S <= 0) return;
  const TColor Complement = ComplementColor(Background);
  Canvas->Brush()->SetStyle(Style);
  bool RowStartComplement = true;
  for (Integer Y = R.Top; Y < R.Bottom; Y += S) {
    bool Complemented = RowStartComplement;
    for (Integer X = R.Left; X < R.Right; X += S) {
      Canvas->Brush()->SetColor(Complemented ? Complement : Background);
      Canvas->FillRect(TRect{X, Y, std::min(X + S, R.Right), std::min(Y + S, R.Bottom)});
      Complemented = !Complemented;
    }
    RowStartComplement = !RowStartComplement;
  }
  Canvas->Brush()->SetStyle(bsSolid);
}

void Chessboard(TCanvas* Canvas, TBitmap* Bitmap, const TRect& R, Integer S, TBrushStyle Style, TColor Background) {
  // A square size below 1 would never close a run (or a square); one pixel is the smallest board.
  S = std::max(S, 1);
  if (Bitmap && Bitmap->PixelFormat() == pf24bit && Style == bsSolid)
    FastChessboard(Bitmap, R, S, Background);
  else
    BrushChessboard(Canvas, R, S, Style, Background);
}

bool BoxAtLeast2x2(const TRect& Box) { return Box.Right - Box.Left > 1 && Box.Bottom - Box.Top > 1; }

void SunkenEdge(TCanvas* Canvas, const TRect& Box) {
  constexpr Integer E = 2;
  IEDraw3DFrame(Canvas, Box.Left - E, Box.Top - E, Box.Right + E - 1, Box.Bottom + E - 1, clBtnShadow, clBtnHighlight);
  IEDraw3DFrame(Canvas, Box.Left - E + 1, Box.Top - E + 1, Box.Right + E - 2, Box.Bottom + E - 2, cl3DDkShadow,
                cl3DLight);
}

void DrawWallPaper(TCanvas* Canvas, TPicture* WallPaper, TIEWallPaperStyle Style, Integer Width, Integer Height) {
  if (!WallPaper) return;
  TGraphic* G = WallPaper->Graphic();
  if (!G || G->Empty()) return;
  switch (Style) {
    case iewoNormal: Canvas->Draw(0, 0, G); break;
    case iewoStretch: Canvas->StretchDraw(TRect{0, 0, Width, Height}, G); break;
    case iewoTile: {
      const Integer GW = G->Width(), GH = G->Height();
      if (GW <= 0 || GH <= 0) break;
      for (Integer Y = 0; Y < Height; Y += GH)
        for (Integer X = 0; X < Width; X += GW) Canvas->Draw(X, Y, G);
      break;
    }
  }
}

}  // namespace

bool IELoadGradientFill() {
  // The blend is computed here; there is no library to load.
  return true;
}

bool IEGradientFillRect(const TRect& Rect, TCanvas* Canvas, TColor Color1, bool Vertical, TColor Color2) {
  if (!Canvas || !IELoadGradientFill()) return false;
  const TColor A = ColorToRGB(Color1), B = ColorToRGB(Color2);
  const Integer Span = Vertical ? Rect.Bottom - Rect.Top : Rect.Right - Rect.Left;
  if (Span <= 0 || Rect.Right <= Rect.Left || Rect.Bottom <= Rect.Top) return true;
  auto Mix = [](TColor P, TColor Q, Integer Shift, Integer I, Integer N) {
    const Integer PA = Integer((P >> Shift) & 0xFF), QA = Integer((Q >> Shift) & 0xFF);
    return TColor(PA + (QA - PA) * I / N) << Shift;
  };
  for (Integer I = 0; I < Span; ++I) {
    const TColor C = Mix(A, B, 0, I, Span) | Mix(A, B, 8, I, Span) | Mix(A, B, 16, I, Span);
    Canvas->Brush()->SetStyle(bsSolid);
    Canvas->Brush()->SetColor(C);
    if (Vertical)
      Canvas->FillRect(TRect{Rect.Left, Rect.Top + I, Rect.Right, Rect.Top + I + 1});
    else
      Canvas->FillRect(TRect{Rect.Left + I, Rect.Top, Rect.Left + I + 1, Rect.Bottom});
  }
  return true;
}

void PaintViewBackground(bool Designing, TCanvas* Canvas, TBitmap* Bitmap, TIEBackgroundStyle Style,
                         TColor Background, const TRect& Area, const TRect& Box, Integer ChessboardSize,
                         TBrushStyle ChessboardBrushStyle, TColor GradientEndColor, TPicture* WallPaper,
                         TIEWallPaperStyle WallPaperStyle) {
  if (!Canvas) return;
  Integer WallWidth = Area.Width(), WallHeight = Area.Height();
  switch (Style) {
    case iebsSolid: FillArea(Canvas, Area, Background, bsSolid); break;
    case iebsHorizontal: FillArea(Canvas, Area, Background, bsHorizontal); break;
    case iebsVertical: FillArea(Canvas, Area, Background, bsVertical); break;
    case iebsFDiagonal: FillArea(Canvas, Area, Background, bsFDiagonal); break;
    case iebsBDiagonal: FillArea(Canvas, Area, Background, bsBDiagonal); break;
    case iebsCross: FillArea(Canvas, Area, Background, bsCross); break;
    case iebsDiagCross: FillArea(Canvas, Area, Background, bsDiagCross); break;
    case iebsChessboard:
      Chessboard(Canvas, Bitmap, Area, ChessboardSize, ChessboardBrushStyle, Background);
      break;
    case iebsDiagonals:
      FillArea(Canvas, Area, Background, bsSolid);
      Canvas->Pen()->SetStyle(psSolid);
      Canvas->Pen()->SetMode(pmCopy);
      Canvas->Pen()->SetWidth(1);
      Canvas->Pen()->SetColor(ComplementColor(Background));
      Canvas->MoveTo(Area.Left, Area.Top);
      Canvas->LineTo(Area.Right, Area.Bottom);
      Canvas->MoveTo(Area.Right, Area.Top);
      Canvas->LineTo(Area.Left, Area.Bottom);
      break;
    case iebsCropped:
      if (Designing) {
        FillArea(Canvas, Area, Background, bsSolid);
        break;
      }
      FillArea(Canvas, Area, clBtnFace, bsSolid);
      if (BoxAtLeast2x2(Box)) SunkenEdge(Canvas, Box);
      break;
    case iebsCropShadow:
      FillArea(Canvas, Area, Background, bsSolid);
      if (!Designing && BoxAtLeast2x2(Box)) {
        IEDrawShadowRight(Canvas, Bitmap, Box.Right, Box.Top, Box.Right + 5, Box.Bottom + 3, 2, Background);
        IEDrawShadowBottom(Canvas, Bitmap, Box.Left, Box.Bottom, Box.Right + 4, Box.Bottom + 5, 2, Background);
      }
      break;
    case iebsGradient: IEGradientFillRect(Area, Canvas, Background, true, GradientEndColor); break;
    case iebsSoftShadow:
      if (Designing) {
        FillArea(Canvas, Area, Background, bsSolid);
      } else if (Bitmap) {
        FillArea(Canvas, Area, Background, bsSolid);
        if (BoxAtLeast2x2(Box)) IEDrawSoftShadow(Bitmap, Box.Left, Box.Top, Box.Right, Box.Bottom, Background);
      }
      break;
    case iebsPhotoLike:
      FillArea(Canvas, Area, 0xB0B0B0, bsSolid);
      Canvas->Pen()->SetStyle(psSolid);
      Canvas->Pen()->SetMode(pmCopy);
      Canvas->Pen()->SetWidth(1);
      Canvas->Pen()->SetColor(0);
      Canvas->Brush()->SetStyle(bsClear);
      Canvas->Rectangle(Box.Left - 1, Box.Top - 1, Box.Right + 1, Box.Bottom + 1);
      Canvas->Brush()->SetStyle(bsSolid);
      Chessboard(Canvas, Bitmap, Box, ChessboardSize, ChessboardBrushStyle, Background);
      WallWidth = Box.Width();
      WallHeight = Box.Height();
      break;
  }
  DrawWallPaper(Canvas, WallPaper, WallPaperStyle, WallWidth, WallHeight);
}

void TZodivErView::SetChessboardLook(Integer Size, TBrushStyle BrushStyle) {
  FChessboardSize = Size;
  FChessboardBrushStyle = BrushStyle;
}

void TZodivErView::PaintBackground(TCanvas* ACanvas, TBitmap* ABitmap, const TRect& Area, const TRect& Box) {
  PaintViewBackground(DesignMode(), ACanvas, ABitmap, FBackgroundStyle, Background(), Area, Box, FChessboardSize,
                      FChessboardBrushStyle, FGradientEndColor, FWallPaper.get(), FWallPaperStyle);
}

void TZodivErView::PaintBackgroundTo(TCanvas* ACanvas) {
  PaintBackground(ACanvas, nullptr, TRect{0, 0, Width(), Height()}, TRect{0, 0, 0, 0});
}
