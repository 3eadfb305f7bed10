// Drawing of the tab control: background, cards, shaped tabs with their colours, images and
// captions, the card frame with its soft shadow, all into the off-screen bitmap.
#include <algorithm>

#include "widgets/tabs/tab_buttons.h"
#include "widgets/tabs/tab_control.h"
#include "widgets/tabs/tab_draw.h"

namespace {

enum DrawCode { dcPenColor = 0, dcNothing = 1, dcElement = 2, dcMove = 3, dcLine = 4, dcSoft30 = 5, dcSoft15 = 6 };

bool RoundOrSquare(TClTabStyle S) { return S == tsRoundCorners || S == tsSquareCorners; }

void Inflate(TRect& R, Integer dx, Integer dy) {
  R.Left -= dx;
  R.Right += dx;
  R.Top -= dy;
  R.Bottom += dy;
}

Integer ShapePointCount(TClTabStyle Style, bool Soft) {
  switch (Style) {
    case tsSingleSlant:
    case tsBackSlant: return Soft ? 6 : 5;
    case tsDoubleSlant: return Soft ? 6 : 4;
    case tsCutCorner: return 5;
    case tsRoundCorners: return 6;
    case tsSquareCorners: return 4;
  }
  return 0;
}

}  // namespace

// ------------------------------------------------------------------------------ shapes

std::vector<TPoint> TClCustomTabControl::TabShapePoints(Integer Index) const {
  const TRect r = TabLogicalRect(Index);
  const Integer L = r.Left, T = r.Top, R = r.Right, B = r.Bottom, H = B - T, C = FCutCornerSize;
  switch (FTabStyle) {
    case tsSingleSlant:
      if (FSoftCorners) return {{L, B}, {L, T + 2}, {L + 2, T}, {R - H - 4, T}, {R - H + 2, T + 2}, {R, B}};
      return {{L, B}, {L, T + 2}, {L + 2, T}, {R - H, T}, {R, B}};
    case tsDoubleSlant:
      if (FSoftCorners)
        return {{L, B}, {L + H - 2, T + 2}, {L + H + 4, T}, {R - H - 4, T}, {R - H + 2, T + 2}, {R, B}};
      return {{L, B}, {L + H, T}, {R - H, T}, {R, B}};
    case tsCutCorner: return {{L, B}, {L, T}, {R - C, T}, {R, T + C}, {R, B}};
    case tsRoundCorners: return {{L, B}, {L, T + 2}, {L + 2, T}, {R - 2, T}, {R, T + 2}, {R, B}};
    case tsBackSlant:
      if (FSoftCorners) return {{L, B}, {L + H - 2, T + 2}, {L + H + 4, T}, {R - 2, T}, {R, T + 2}, {R, B}};
      return {{L, B}, {L + H, T}, {R - 2, T}, {R, T + 2}, {R, B}};
    case tsSquareCorners: return {{L, B}, {L, T}, {R, T}, {R, B}};
  }
  return {};
}

std::vector<TPoint> TClCustomTabControl::TabPolygon(Integer Index) const {
  std::vector<TPoint> pts = TabShapePoints(Index);
  for (TPoint& p : pts) p = StripToControl(p);
  return pts;
}

const TRegion* TClCustomTabControl::TabRegion(Integer Index, const TRect& R) {
  if (const TRegion* cached = FRegionCache.FindTabRegion(R)) return cached;
  const std::vector<TPoint> pts = TabPolygon(Index);
  if (pts.size() < 3) return nullptr;
  auto region = std::make_unique<TRegion>(TRegion::CreatePolygonRgn(pts, ALTERNATE));
  FRegionCache.CacheTabRegion(R, std::move(region));
  return FRegionCache.FindTabRegion(R);
}

TRect TClCustomTabControl::TabContentRect(const TRect& TabR) const {
  TRect r = TabR;
  const Integer oH = TabR.Bottom - TabR.Top, oW = TabR.Right - TabR.Left;
  const bool side = SideTabs();
  const Integer s = TabOverlapFor(side ? oW : oH);
  const Integer C = FCutCornerSize;
  const bool horizontalText = FTextOrientation == orHorizontal;
  const TClTabOrientation o = FTabOrientation;
  switch (FTabStyle) {
    case tsSingleSlant:
      Inflate(r, -1, -1);
      if (!side) {
        r.Right -= 2 * s + 2;
        OffsetRect(r, 3, 0);
        if (o == toTop) r.Top += 2; else r.Bottom -= 2;
        if (o == toBottom) OffsetRect(r, 0, 1);
      } else {
        if (o == toLeft) { r.Top += 2 * s + 2; OffsetRect(r, 0, -2); }
        if (o == toRight) { r.Bottom -= 2 * s + 2; OffsetRect(r, 0, 2); }
        OffsetRect(r, 0, 1);
        if (o == toLeft) r.Left += 2; else r.Right -= 2;
        if (o == toRight) OffsetRect(r, 1, 0);
      }
      break;
    case tsBackSlant:
      Inflate(r, -1, -1);
      if (!side) {
        r.Left += 2 * s + 2;
        OffsetRect(r, -3, 0);
        if (o == toTop) r.Top += 2; else r.Bottom -= 2;
        if (o == toBottom) OffsetRect(r, 0, -1);
      } else {
        if (o == toLeft) { r.Bottom -= 2 * s + 2; OffsetRect(r, 0, 2); }
        if (o == toRight) { r.Top += 2 * s + 2; OffsetRect(r, 0, -2); }
        OffsetRect(r, 0, -1);
        if (o == toLeft) r.Left += 2; else r.Right -= 2;
        if (o == toRight) OffsetRect(r, 1, 0);
      }
      break;
    case tsDoubleSlant:
      if (!side) {
        Inflate(r, 1, -1);
        Inflate(r, -oH, 0);
        OffsetRect(r, 1, 0);
        if (o == toTop) r.Top += 2; else r.Bottom -= 2;
        if (o == toBottom) OffsetRect(r, 0, 1);
      } else {
        Inflate(r, -1, 1);
        Inflate(r, 0, -oW);
        r.Bottom += 2;
        OffsetRect(r, 0, 1);
        if (o == toLeft) r.Left += 2; else r.Right -= 2;
        if (o == toRight) OffsetRect(r, 1, 0);
      }
      break;
    case tsCutCorner:
      if (horizontalText) {
        if (!side) {
          Inflate(r, -(C + 3), -1);
          if (o == toTop) r.Top += 3; else r.Bottom -= 3;
          if (o == toBottom) OffsetRect(r, 0, 1);
        } else {
          Inflate(r, -1, -4);
          if (o == toLeft) r.Left += C + 5; else r.Right -= C + 5;
          if (o == toRight) OffsetRect(r, 1, 0);
        }
      } else {
        if (!side) {
          Inflate(r, -4, -1);
          if (o == toTop) r.Top += C + 3; else r.Bottom -= C + 3;
          if (o == toBottom) OffsetRect(r, 0, 1);
        } else {
          Inflate(r, -1, -(C + 3));
          if (o == toLeft) r.Left += 5; else r.Right -= 5;
          if (o == toRight) OffsetRect(r, 1, 0);
        }
      }
      break;
    case tsRoundCorners:
    case tsSquareCorners:
      if (horizontalText) Inflate(r, -4, -2); else Inflate(r, -2, -4);
      break;
  }
  if (FShowFocusRect) Inflate(r, -1, -1);
  return r;
}

// ------------------------------------------------------------------------------ fonts

void TClCustomTabControl::SelectTabFont(TCanvas* ACanvas) {
  auto font = std::make_unique<TFont>();
  font->Assign(FTabFont.get());
  Integer escapement = 0;
  if (FTextOrientation == orVertical) escapement = FTabOrientation == toRight ? 2700 : 900;
  font->SetOrientation(escapement);
  const Integer level = ACanvas->SaveDC();
  if (level <= 0) throw EClTabControlError("Error saving device context");
  FSavedDCs.push_back(level);
  ACanvas->SetFont(font.get());
  FFontStack.push_back(std::move(font));
}

void TClCustomTabControl::RestoreTabFont(TCanvas* ACanvas) {
  if (FSavedDCs.empty()) return;
  ACanvas->RestoreDC(FSavedDCs.back());
  FSavedDCs.pop_back();
  if (!FFontStack.empty()) FFontStack.pop_back();
}

// ------------------------------------------------------------------------------ paint

void TClCustomTabControl::Paint() {
  FPaintedOnce = true;
  UpdateLayout();
  if (FBuffer->Width() != Width() || FBuffer->Height() != Height()) FBuffer->SetSize(Width(), Height());
  TCanvas* c = FBuffer->Canvas();
  TRect background = DrawingBounds();
  background.Right += 1;
  background.Bottom += 1;
  bool handled = false;
  QueryPaintBackground(c, background, handled);
  if (!handled) {
    if (FTransparent) {
      PaintParentBackground(this, c, false);
    } else {
      c->Brush()->SetStyle(bsSolid);
      c->Brush()->SetColor(FBackgroundColor);
      c->FillRect(background);
    }
  }
  PositionCloseButton();
  PositionMenuButton();
  PositionScroller();
  if (FMenuButton) FMenuButton->Invalidate();
  if (FCloseButton) FCloseButton->Invalidate();
  if (FScroller) FScroller->Invalidate();
  PaintTabs();
  TCanvas* out = Canvas();
  const TCopyMode saved = out->CopyMode();
  out->SetCopyMode(cmSrcCopy);
  out->CopyRect(Rect(0, 0, Width(), Height()), c, Rect(0, 0, Width(), Height()));
  out->SetCopyMode(saved);
  // A repaint during a drag covered the indicator: it stays shown until it is taken away.
  if (FDragIndicatorShown) ToggleDragIndicator(FDragIndicatorRect);
}

void TClCustomTabControl::PaintTabs() {
  const Integer count = FTabs->Count();
  if (count > 0) {
    Integer s = -1;
    for (Integer i = 0; i < count; ++i)
      if (FTabs->Items(i)->Visible && FTabs->Items(i)->Row == 0) {
        s = i;
        break;
      }
    Integer i = (s <= 0) ? count - 1 : s - 1;
    Integer c = FRowCount - 1;
    for (Integer n = 0; n < count; ++n) {
      TClTabData* tab = FTabs->Items(i);
      if (tab->Visible && TabInView(i) && i >= FFirstShownTab && i != FTabIndex) {
        if (c > 0 && tab->Row < c) {
          PaintCard(c);
          c = tab->Row;
        }
        PaintTab(i);
      }
      i = i == 0 ? count - 1 : i - 1;
    }
    if (c == 1) PaintCard(1);
    if (FTabIndex >= 0 && FTabIndex < count && FTabIndex >= FFirstShownTab && TabInView(FTabIndex))
      PaintTab(FTabIndex);
  }
  PaintCard(0);
}

void TClCustomTabControl::PaintTab(Integer Index) {
  TCanvas* c = FBuffer->Canvas();
  const TRect R = TabRect(Index);
  TRect clip = c->ClipRect(), common;
  if (!IntersectRect(common, R, clip)) return;
  if (const TRegion* cached = TabRegion(Index, R)) {
    const TRegion region = *cached;
    const Integer level = c->SaveDC();
    if (level <= 0) throw EClTabControlError("Error saving device context");
    c->SelectClipRgn(&region);
    PaintTabBackground(Index, R);
    PaintTabContent(Index, R);
    c->RestoreDC(level);
  }
  FDrawingList.clear();
  FDrawingList.insert(FDrawingList.end(), {dcElement, 0, Index});
  RecordTabOutline(Index);
  ReplayDrawingList();
}

void TClCustomTabControl::PaintCard(Integer Row) {
  TCanvas* c = FBuffer->Canvas();
  TRect Q = CardRect(Row);
  if (RectIsZero(Q)) return;
  if (FCardVisible) {
    Q.Right += 1;
    Q.Bottom += 1;
  }
  bool handled = false;
  QueryPaintCardBackground(c, Row, Q, handled);
  if (!handled) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(FUseColoredTabs && FTabIndex >= 0 && FTabIndex < FTabs->Count()
                             ? FTabs->Items(FTabIndex)->Color
                             : Color());
    c->FillRect(Q);
  }
  if (FShowCardFrame) {
    FDrawingList.clear();
    FDrawingList.insert(FDrawingList.end(), {dcElement, 1, Row});
    RecordCardFrame(Row);
    ReplayDrawingList();
  }
}

void TClCustomTabControl::PaintTabBackground(Integer Index, const TRect& R) {
  TCanvas* c = FBuffer->Canvas();
  bool handled = false;
  QueryPaintTabBackground(c, Index, R, handled);
  if (handled) return;
  TClTabData* tab = FTabs->Items(Index);
  TColor base, light, shadow;
  if (FUseColoredTabs) {
    base = tab->Color;
    light = LightenColor(base, 20);
    shadow = ColorsAlike(light, clWhite) ? clBtnFace : DarkenColor(base, 40);
  } else {
    base = Color();
    light = FTabColors->Unselected();
    shadow = FTabColors->Shadow();
  }
  if (FHotTrack && FHotTrackStyle == htsTab && Index == FHotTab) {
    if (FHotTrackColorSource == htcsTabColor) {
      shadow = DarkenColor(shadow, 30);
    } else if (FHotTrackColorType == htctActual) {
      light = LightenColor(FHotTrackColor, 60);
      shadow = FHotTrackColor;
    } else {
      shadow = OppositeHueColor(FHotTrackColor, 140);
      light = LightenColor(shadow, 60);
    }
  }
  c->Brush()->SetStyle(bsSolid);
  if (Index == FTabIndex) {
    c->Brush()->SetColor(base);
    c->FillRect(R);
  } else if (FUseGradients && ScreenHasManyColors()) {
    const bool lightOuter = FTabOrientation == toTop || FTabOrientation == toLeft;
    DrawGradient(c, R, SideTabs() ? bgLeftToRight : bgTopToBottom, lightOuter ? light : shadow,
                 lightOuter ? shadow : light);
  } else {
    c->Brush()->SetColor(light);
    c->FillRect(R);
  }
}

Integer TClCustomTabControl::ContentImageMargin(Integer Index) const {
  return FTabs->Items(Index)->ImageIndex == -1 ? 0 : FImageMargin;
}

TRect TClCustomTabControl::ActiveCloseButtonRect(Integer, const TRect& Content) const {
  const bool along = (FTextOrientation == orHorizontal) != SideTabs();
  if (!along) return Rect(0, 0, 0, 0);
  const Integer L = Content.Left, T = Content.Top, R = Content.Right, B = Content.Bottom;
  const bool reverse = FTabSequence == tsReverse;
  if (!SideTabs()) {
    const bool big = B - T > 12;
    const Integer w = big ? 15 : 10, h = big ? 13 : 9;
    const Integer top = T + (B - T) / 2 - (big ? 6 : 4);
    return reverse ? Bounds(L, top, w, h) : Bounds(R - w, top, w, h);
  }
  const bool big = R - L > 14;
  const Integer w = big ? 13 : 9, h = big ? 15 : 10;
  const Integer left = L + (R - L) / 2 - (big ? 7 : 5);
  const bool atTop = (FTabOrientation == toLeft) != reverse;
  return atTop ? Bounds(left, T, w, h) : Bounds(left, B - h, w, h);
}

void TClCustomTabControl::PaintTabContent(Integer Index, const TRect& R) {
  TCanvas* c = FBuffer->Canvas();
  TClTabData* tab = FTabs->Items(Index);
  const TRect content = TabContentRect(R);
  const bool hasImage = FImages && tab->ImageIndex != -1;
  const Integer iw = hasImage ? FImages->Width() : 0, ih = hasImage ? FImages->Height() : 0;
  const Integer m = ContentImageMargin(Index);
  TRect text = content;
  switch (FImagePosition) {
    case ipLeft: text.Left += iw + m; break;
    case ipTop: text.Top += ih + m; break;
    case ipRight: text.Right -= iw + m; break;
    case ipBottom: text.Bottom -= ih + m; break;
    default: break;
  }
  const bool reverse = FTabSequence == tsReverse;
  const bool closeOnTab = Index == FTabIndex && FShowCloseButtonOnActiveTab &&
                          ((FTextOrientation == orHorizontal) != SideTabs());
  if (closeOnTab) {
    if (!SideTabs()) {
      if (reverse) text.Left += 20; else text.Right -= 20;
    } else if (FTabOrientation == toLeft) {
      if (reverse) text.Bottom -= 20; else text.Top += 20;
    } else {
      if (reverse) text.Top += 20; else text.Bottom -= 20;
    }
  }
  TRect image = content;
  switch (FImagePosition) {
    case ipLeft: image.Right = image.Left + iw; break;
    case ipTop: image.Bottom = image.Top + ih; break;
    case ipRight: image.Left = image.Right - iw; break;
    case ipBottom: image.Top = image.Bottom - ih; break;
    default: break;
  }
  if (closeOnTab && hasImage) {
    if (FImagePosition == ipLeft && reverse && !SideTabs()) OffsetRect(image, 20, 0);
    if (FImagePosition == ipRight && !reverse && !SideTabs()) OffsetRect(image, -20, 0);
    if (FImagePosition == ipTop && ((FTabOrientation == toLeft && !reverse) || (FTabOrientation == toRight && reverse)))
      OffsetRect(image, 0, 20);
    if (FImagePosition == ipBottom &&
        ((FTabOrientation == toLeft && reverse) || (FTabOrientation == toRight && !reverse)))
      OffsetRect(image, 0, -20);
  }
  if (hasImage) {
    Integer x = image.Left, y = image.Top;
    if (FImagePosition != ipStretch) {
      const Integer freeW = image.Right - image.Left - iw, freeH = image.Bottom - image.Top - ih;
      x += FImageAlignment == haLeft ? 0 : FImageAlignment == haCenter ? freeW / 2 : freeW;
      y += FImageAlignmentVertical == vaTop ? 0 : FImageAlignmentVertical == vaCenter ? freeH / 2 : freeH;
    }
    if (tab->Enabled)
      FImages->Draw(c, x, y, tab->ImageIndex, true);
    else if (tab->DisabledIndex != -1)
      FImages->Draw(c, x, y, tab->DisabledIndex, true);
    else
      FImages->Draw(c, x, y, tab->ImageIndex, false);
  }

  TColor colour = FTextColors->Unselected();
  bool handled = false;
  if (!tab->Enabled) {
    colour = FTextColors->Disabled();
    QueryTextColor(Index, tsDisabled, colour, handled);
    if (!handled) colour = FTextColors->Disabled();
  } else if (FHotTrack && Index == FHotTab) {
    TColor fallback = FTextColors->Selected();
    if (FHotTrackStyle == htsText)
      fallback = FHotTrackColorType == htctActual ? FHotTrackColor : OppositeHueColor(FHotTrackColor, 140);
    colour = fallback;
    QueryTextColor(Index, tsHotTrack, colour, handled);
    if (!handled) colour = fallback;
    if (FHotTrackStyle == htsTabBar) {
      TColor bar = FHotTrackColorSource == htcsTabColor ? DarkenColor(tab->Color, 40)
                   : FHotTrackColorType == htctActual   ? FHotTrackColor
                                                        : OppositeHueColor(FHotTrackColor, 140);
      DrawHotTrackBar(Index, bar);
    }
  } else if (Index == FTabIndex) {
    colour = FTextColors->Selected();
    QueryTextColor(Index, tsSelected, colour, handled);
    if (!handled) colour = FTextColors->Selected();
    if (FHotTrack && FHotTrackStyle == htsTabBar) DrawHotTrackBar(Index, FTabColors->HighlightBar());
  } else {
    QueryTextColor(Index, tsUnselected, colour, handled);
    if (!handled) colour = FTextColors->Unselected();
  }
  if (!tab->Caption.empty()) PaintCaption(Index, text, colour);

  if (Index == FTabIndex && FShowCloseButtonOnActiveTab && FActiveTabCloseButton) {
    const TRect b = ActiveCloseButtonRect(Index, content);
    FActiveTabCloseButton->SetBounds(b.Left, b.Top, b.Right - b.Left, b.Bottom - b.Top);
  }
  if (FShowFocusRect && Index == FTabIndex && Focused()) {
    TRect f = text;
    if (!SideTabs()) {
      Inflate(f, 1, 0);
      f.Bottom += 1;
    } else {
      Inflate(f, 0, 1);
    }
    if (RoundOrSquare(FTabStyle)) {
      switch (FTabOrientation) {
        case toTop: f.Top += 1; break;
        case toLeft: f.Left += 2; break;
        case toBottom: f.Bottom -= 1; break;
        case toRight: f.Right -= 2; break;
      }
    }
    c->Brush()->SetColor(clWhite);
    c->DrawFocusRect(f);
  }
}

void TClCustomTabControl::DrawHotTrackBar(Integer Index, TColor Colour) {
  TCanvas* c = FBuffer->Canvas();
  TRect r = TabRect(Index);
  Inflate(r, 1, 1);
  switch (FTabOrientation) {
    case toTop: r.Bottom = r.Top + 6; break;
    case toLeft: r.Right = r.Left + 6; break;
    case toBottom: r.Top = r.Bottom - 4; break;
    case toRight: r.Left = r.Right - 4; break;
  }
  const TColor saved = c->Brush()->Color();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Colour);
  c->FillRect(r);
  c->Brush()->SetColor(saved);
}

void TClCustomTabControl::PaintCaption(Integer Index, TRect TextRect, TColor Colour) {
  TCanvas* c = FBuffer->Canvas();
  TClTabData* tab = FTabs->Items(Index);
  const bool bold = Index == FTabIndex && FBoldCurrentTab;
  const bool hadBold = FTabFont->Style().Contains(fsBold);
  if (bold) FTabFont->SetStyle(FTabFont->Style() + TFontStyles{fsBold});
  const bool horizontal = FTextOrientation == orHorizontal;
  const TPoint block = MeasureCaption(tab->Caption, horizontal);
  SelectTabFont(c);
  const Integer width = TextRect.Right - TextRect.Left, height = TextRect.Bottom - TextRect.Top;
  if (horizontal) {
    if (FTextAlignmentVertical == vaCenter) {
      TextRect.Top += (height - block.Y) / 2;
      TextRect.Bottom -= (height - block.Y) / 2;
    } else if (FTextAlignmentVertical == vaBottom) {
      TextRect.Top = TextRect.Bottom - block.Y;
    }
  } else if (FTabOrientation == toRight) {
    if (FTextAlignment == haLeft) TextRect.Right = TextRect.Left + block.X;
    if (FTextAlignment == haCenter) {
      TextRect.Left += (width - block.X) / 2;
      TextRect.Right -= (width - block.X) / 2;
    }
  } else {
    if (FTextAlignment == haCenter) {
      TextRect.Left += (width - block.X) / 2;
      TextRect.Right -= (width - block.X) / 2;
    }
    if (FTextAlignment == haRight) TextRect.Left = TextRect.Right - block.X;
  }
  const Integer w = TextRect.Right - TextRect.Left, h = TextRect.Bottom - TextRect.Top;
  Integer before = 0;
  AnsiString rest = tab->Caption;
  for (;;) {
    const std::size_t p = rest.find("\r\n");
    const AnsiString line = rest.substr(0, p);
    AnsiString measured = line;
    const std::size_t amp = measured.find('&');
    if (amp != AnsiString::npos && amp + 1 < measured.size()) measured.erase(amp, 1);
    const TSize ext = c->TextExtent(measured);
    const Integer lw = horizontal ? ext.cx : ext.cy, lh = horizontal ? ext.cy : ext.cx;
    Integer x, y;
    if (horizontal) {
      x = TextRect.Left + (FTextAlignment == haLeft ? 0 : FTextAlignment == haCenter ? (w - lw) / 2 : w - lw);
      y = TextRect.Top + before;
      before += lh;
    } else if (FTabOrientation == toRight) {
      x = TextRect.Right - before;
      y = TextRect.Top + (FTextAlignmentVertical == vaTop ? 0 : FTextAlignmentVertical == vaCenter ? (h - lh) / 2 : h - lh);
      before += lw;
    } else {
      x = TextRect.Left + before;
      y = TextRect.Bottom - (FTextAlignmentVertical == vaTop ? h - lh : FTextAlignmentVertical == vaCenter ? (h - lh) / 2 : 0);
      before += lw;
    }
    DrawCaptionLine(x, y, Colour, horizontal, c, line);
    if (p == AnsiString::npos) break;
    rest = rest.substr(p + 2);
  }
  RestoreTabFont(c);
  if (bold && !hadBold) FTabFont->SetStyle(FTabFont->Style() - TFontStyles{fsBold});
}

void TClCustomTabControl::DrawCaptionLine(Integer X, Integer Y, TColor Colour, bool Horizontal, TCanvas* ACanvas,
                                          const AnsiString& Text) {
  AnsiString parts[3];
  const std::size_t amp = Text.find('&');
  Integer partCount = 1;
  if (amp == AnsiString::npos) {
    parts[0] = Text;
  } else if (amp + 1 < Text.size() && Text[amp + 1] == '&') {
    parts[0] = Text.substr(0, amp + 1);
    parts[2] = Text.substr(amp + 2);
    partCount = 3;
  } else {
    parts[0] = Text.substr(0, amp);
    parts[1] = amp + 1 < Text.size() ? Text.substr(amp + 1, 1) : AnsiString();
    parts[2] = amp + 2 < Text.size() ? Text.substr(amp + 2) : AnsiString();
    partCount = 3;
  }
  ACanvas->Brush()->SetStyle(bsClear);
  ACanvas->Font()->SetColor(Colour);
  for (Integer i = 0; i < partCount; ++i) {
    if (parts[i].empty()) continue;
    const bool underline = i == 1 && !ACanvas->Font()->Style().Contains(fsUnderline);
    if (underline) ACanvas->Font()->SetStyle(ACanvas->Font()->Style() + TFontStyles{fsUnderline});
    ACanvas->TextOut(X, Y, parts[i]);
    const TSize ext = ACanvas->TextExtent(parts[i]);
    if (underline) ACanvas->Font()->SetStyle(ACanvas->Font()->Style() - TFontStyles{fsUnderline});
    if (Horizontal)
      X += ext.cx;
    else if (FTabOrientation == toRight)
      Y += ext.cx;
    else
      Y -= ext.cx;
  }
  ACanvas->Brush()->SetStyle(bsSolid);
}

// ------------------------------------------------------------------------------ outlines

void TClCustomTabControl::RecordTabOutline(Integer Index) {
  const std::vector<TPoint> pts = TabPolygon(Index);
  if (Integer(pts.size()) != ShapePointCount(FTabStyle, FSoftCorners))
    throw EClTabControlError("Incorrect number of points in tab shape");
  FDrawingList.push_back(dcPenColor);
  FDrawingList.insert(FDrawingList.end(), {dcMove, pts[0].X, pts[0].Y});
  for (std::size_t i = 1; i < pts.size(); ++i) FDrawingList.insert(FDrawingList.end(), {dcLine, pts[i].X, pts[i].Y});
}

void TClCustomTabControl::RecordCardFrame(Integer Row) {
  const TRect q = CardRect(Row);
  const Integer L = q.Left, T = q.Top, R = q.Right, B = q.Bottom;
  const TPoint C0{L, T}, C1{R, T}, C2{R, B}, C3{L, B};
  auto move = [&](TPoint p) { FDrawingList.insert(FDrawingList.end(), {dcMove, p.X, p.Y}); };
  auto line = [&](TPoint p) { FDrawingList.insert(FDrawingList.end(), {dcLine, p.X, p.Y}); };
  auto soft = [&](Integer code, TPoint p) { FDrawingList.insert(FDrawingList.end(), {code, p.X, p.Y}); };
  const bool topShadow = FTabOrientation == toTop && FTabSequence == tsStandard && FShowShadow;
  auto shadow = [&]() {
    if (!topShadow || FTabAreaOnly) return;
    move({R - 1, T + 1});
    soft(dcSoft30, {R - 1, B - 1});
    soft(dcSoft30, {L, B - 1});
    move({R - 1, T});
    soft(dcSoft15, C1);
    soft(dcSoft15, C2);
    soft(dcSoft15, C3);
    soft(dcSoft15, {L, B - 1});
  };
  FDrawingList.push_back(dcPenColor);
  const bool gap = Row == 0 && FTabIndex >= 0 && FTabIndex < FTabs->Count() && TabInView(FTabIndex);
  if (!gap) {
    move(C0);
    if (topShadow) {
      line({R - 2, T});
      line({R - 2, B - 2});
      line({L, B - 2});
      line(C0);
      shadow();
    } else {
      line(C1);
      if (FShowFullFrame) {
        line(C2);
        line(C3);
        line(C0);
      }
    }
    return;
  }
  const std::vector<TPoint> shape = TabShapePoints(FTabIndex);
  TPoint G1 = StripToControl({shape.front().X + 1, shape.front().Y});
  TPoint G2 = StripToControl(shape.back());
  const bool full = FShowFullFrame;
  if (RoundOrSquare(FTabStyle)) {
    switch (FTabOrientation) {
      case toTop:
        if (topShadow) {
          move({L, B - 2}); line(C0); line(G1); move(G2);
          line({R - 2, T}); line({R - 2, B - 2}); line({L - 1, B - 2});
          shadow();
        } else if (full) {
          move(C3); line(C0); line(G1); move(G2); line(C1); line(C2); line({L - 1, B});
        } else {
          move(C0); line(G1); move(G2); line({R + 1, T});
        }
        move(G2); line(G2); line({G2.X + 1, G2.Y});
        break;
      case toBottom:
        G1.X -= 1;
        G2.X -= 1;
        if (full) {
          move(C3); line(C0); line(C1); line(C2); line(G2); move(G1); line(C3);
        } else {
          move({R, B + 1}); line({G2.X, G2.Y + 1}); move({G1.X, G2.Y + 1}); line({L - 1, B + 1});
        }
        break;
      case toLeft:
        if (full) {
          move(C3); line(G1); move(G2); line(C0); line(C1); line(C2); line({L - 1, B});
        } else {
          move({L - 1, B}); line({G1.X - 1, G1.Y}); move({G2.X - 1, G2.Y}); line({L - 1, T});
        }
        break;
      case toRight:
        if (full) {
          move(C3); line(C0); line({R + 1, T}); move(C1); line(G1); move(G2); line(C2); line({L - 1, B});
        } else {
          move({R + 1, T}); line({G1.X + 1, G1.Y}); move({G2.X + 1, G2.Y}); line({R + 1, B + 1});
        }
        break;
    }
    return;
  }
  switch (FTabOrientation) {
    case toTop:
      if (topShadow) {
        move(C0); line(G1); move(G2); line({R - 2, T});
        if (full) {
          line({R - 2, B - 2}); line({L, B - 2}); line({L, T - 1});
        }
        shadow();
      } else if (full) {
        move(C0); line(G1); move(G2); line(C1); line(C2); line(C3); line(C0);
      } else {
        move(C0); line(G1); move(G2); line({R + 1, T});
      }
      break;
    case toBottom:
      if (full) {
        move(C0); line(C1); line(C2); line({G2.X - 1, G2.Y}); move({G1.X - 1, G2.Y}); line(C3); line(C0);
      } else {
        move({R, B + 1}); line({G2.X - 1, G2.Y + 1}); move({G1.X - 1, G2.Y + 1}); line({L - 1, B + 1});
      }
      break;
    case toLeft:
      if (full) {
        move(C0); line(C1); line(C2); line(C3); line(G1); move(G2); line(C0);
      } else {
        move({L - 1, B}); line({G1.X - 1, G1.Y}); move({G2.X - 1, G2.Y}); line({L - 1, T - 1});
      }
      break;
    case toRight:
      if (full) {
        move(C0); line(C1); line(G1); move(G2); line(C2); line(C3); line(C0);
      } else {
        move({R + 1, T}); line({G1.X + 1, G1.Y}); move({G2.X + 1, G2.Y}); line({R + 1, B + 1});
      }
      break;
  }
}

void TClCustomTabControl::ReplayDrawingList() {
  TCanvas* c = FBuffer->Canvas();
  std::unique_ptr<TBitmap> snapshot;
  for (std::size_t i = 0; i < FDrawingList.size();) {
    const Integer code = FDrawingList[i];
    if (code == dcSoft30 || code == dcSoft15) {
      // The shadow darkens what lies behind the control, not what the control painted.
      snapshot = std::make_unique<TBitmap>();
      snapshot->SetPixelFormat(pf32bit);
      snapshot->SetSize(Width(), Height());
      PaintParentBackground(this, snapshot->Canvas(), false);
      break;
    }
    i += code >= dcMove ? 3 : code == dcElement ? 3 : 1;
  }
  TColor lineColour = ShiftColorLuminance(FFlatColor, FFlatColorAdjustment);
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetMode(pmCopy);
  TPoint pen = c->PenPos();
  for (std::size_t i = 0; i < FDrawingList.size();) {
    const Integer code = FDrawingList[i];
    switch (code) {
      case dcPenColor:
        c->Pen()->SetColor(lineColour);
        i += 1;
        break;
      case dcNothing: i += 1; break;
      case dcElement:
        lineColour = ShiftColorLuminance(FFlatColor, FFlatColorAdjustment);
        i += 3;
        break;
      case dcMove:
        pen = Point(FDrawingList[i + 1], FDrawingList[i + 2]);
        c->MoveTo(pen.X, pen.Y);
        i += 3;
        break;
      case dcLine:
        c->MoveTo(pen.X, pen.Y);
        pen = Point(FDrawingList[i + 1], FDrawingList[i + 2]);
        c->LineTo(pen.X, pen.Y);
        i += 3;
        break;
      case dcSoft30:
      case dcSoft15: {
        const Byte weight = code == dcSoft30 ? 30 : 15;
        const TPoint to = Point(FDrawingList[i + 1], FDrawingList[i + 2]);
        auto blend = [&](Integer x, Integer y) {
          const TColor behind = snapshot ? snapshot->PixelColor(x, y) : CLR_INVALID;
          if (behind == CLR_INVALID) return;
          c->SetPixel(x, y, MixColors(clBlack, behind, weight));
        };
        if (to.X == pen.X) {
          for (Integer y = std::min(pen.Y, to.Y); y <= std::max(pen.Y, to.Y); ++y) blend(pen.X, y);
        } else {
          for (Integer x = std::min(pen.X, to.X); x <= std::max(pen.X, to.X); ++x) blend(x, pen.Y);
        }
        pen = to;
        c->MoveTo(pen.X, pen.Y);
        i += 3;
        break;
      }
      default: i += 1; break;
    }
  }
}

// ------------------------------------------------------------------------------ drag indicator

TRect TClCustomTabControl::DragIndicatorRect(Integer Target) const {
  if (Target < 0 || Target >= FTabs->Count()) return Rect(0, 0, 0, 0);
  // Built along the strip as for top tabs, then turned with the tabs themselves.
  const TRect t = TabLogicalRect(Target);
  const bool beforeSelected =
      FTabIndex >= 0 && (FTabSequence == tsStandard ? Target < FTabIndex : Target > FTabIndex);
  const Integer half = FFixedDimension / 2;
  Integer x1, x2;
  if (beforeSelected) {
    x1 = t.Left - 8;
    x2 = t.Left + 7;
    if (FTabStyle == tsDoubleSlant || FTabStyle == tsBackSlant) x1 += half, x2 += half;
  } else {
    x1 = t.Right - 7;
    x2 = t.Right + 8;
    if (FTabStyle == tsSingleSlant || FTabStyle == tsDoubleSlant)
      x1 -= half, x2 -= half;
    else if (FTabStyle != tsBackSlant)
      x1 += 1, x2 += 1;
  }
  const TPoint a = StripToControl(Point(x1, t.Top - 2)), b = StripToControl(Point(x2, t.Top + 6));
  return OrderRectCorners(Rect(a.X, a.Y, b.X, b.Y));
}

void TClCustomTabControl::ToggleDragIndicator(const TRect& R) {
  // Drawn by inversion on the control's own surface (the platform draws no control over its
  // siblings), so drawing it twice restores the picture.
  const Integer w = R.Right - R.Left, h = R.Bottom - R.Top;
  if (w <= 0 || h <= 0) return;
  // The mark as for top tabs: 16 along the strip, 8 across, the coloured part a triangle
  // pointing at the tab.
  constexpr Integer kLength = 16, kDepth = 8;
  TBitmap strip;
  strip.SetPixelFormat(pf32bit);
  strip.SetSize(kLength, kDepth);
  TCanvas* m = strip.Canvas();
  m->Brush()->SetStyle(bsSolid);
  m->Brush()->SetColor(XorColors(FDragIndicatorColor, Parent() ? Parent()->Color() : Color()));
  m->FillRect(Rect(0, 0, kLength, kDepth));
  m->Pen()->SetStyle(psClear);
  m->Brush()->SetColor(clBlack);
  m->Polygon(std::vector<TPoint>{{0, 0}, {8, 8}, {0, 8}});
  m->Polygon(std::vector<TPoint>{{7, 8}, {15, 0}, {15, 8}});
  // Turned the way the strip runs on the control.
  TBitmap mark;
  mark.SetPixelFormat(pf32bit);
  mark.SetSize(w, h);
  for (Integer v = 0; v < kDepth; ++v)
    for (Integer u = 0; u < kLength; ++u) {
      Integer col = u, row = v;
      switch (FTabOrientation) {
        case toTop: break;
        case toBottom: row = kDepth - 1 - v; break;
        case toLeft: col = v, row = kLength - 1 - u; break;
        case toRight: col = kDepth - 1 - v, row = u; break;
      }
      if (col < w && row < h) mark.Canvas()->SetPixel(col, row, strip.Canvas()->GetPixel(u, v));
    }
  TCanvas* c = Canvas();
  const TCopyMode saved = c->CopyMode();
  c->SetCopyMode(cmSrcInvert);
  c->CopyRect(R, mark.Canvas(), Rect(0, 0, w, h));
  c->SetCopyMode(saved);
}
