// Geometry of the tab control: measuring, sizing, rows, the tab area, cards, page rectangle,
// mapping from strip to control coordinates, scrolling, hit testing and the child buttons.
#include <algorithm>
#include <cstdlib>

#include "widgets/tabs/tab_buttons.h"
#include "widgets/tabs/tab_control.h"
#include "widgets/tabs/tab_draw.h"

namespace {

bool RoundOrSquare(TClTabStyle S) { return S == tsRoundCorners || S == tsSquareCorners; }

// The caption line as measured: the first "&" is dropped (a doubled one counts once), except
// when it is the line's last character.
AnsiString StripAccelerator(const AnsiString& Line) {
  const std::size_t p = Line.find('&');
  if (p == AnsiString::npos || p + 1 >= Line.size()) return Line;
  return Line.substr(0, p) + Line.substr(p + 1);
}

std::vector<AnsiString> SplitLines(const AnsiString& Text) {
  std::vector<AnsiString> lines;
  if (Text.empty()) return lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t p = Text.find("\r\n", start);
    if (p == AnsiString::npos) {
      lines.push_back(Text.substr(start));
      break;
    }
    lines.push_back(Text.substr(start, p - start));
    start = p + 2;
  }
  return lines;
}

}  // namespace

TPoint TClCustomTabControl::MeasureCaption(const AnsiString& Text, bool Horizontal) {
  const std::vector<AnsiString> lines = SplitLines(Text);
  TPoint result{0, 0};
  if (lines.empty()) return result;
  TCanvas* c = FBuffer->Canvas();
  SelectTabFont(c);
  for (const AnsiString& line : lines) {
    TSize ext = c->TextExtent(StripAccelerator(line));
    Integer w = ext.cx, h = ext.cy;
    if (w < 0 || h < 0) w = h = 0;
    if (!Horizontal) std::swap(w, h);
    if (Horizontal) {
      result.X = std::max(result.X, w);
      result.Y += h;
    } else {
      result.X += w;
      result.Y = std::max(result.Y, h);
    }
  }
  RestoreTabFont(c);
  return result;
}

TPoint TClCustomTabControl::MinimumContentSize() {
  const bool horizontal = FTextOrientation == orHorizontal;
  const bool savedBold = FTabFont->Style().Contains(fsBold);
  if (FBoldCurrentTab) FTabFont->SetStyle(FTabFont->Style() + TFontStyles{fsBold});
  const TPoint m = MeasureCaption(RoundOrSquare(FTabStyle) ? "AAA" : "A", horizontal);
  if (FBoldCurrentTab && !savedBold) FTabFont->SetStyle(FTabFont->Style() - TFontStyles{fsBold});
  const Integer fontHeight = std::abs(Font()->Height());
  TPoint result = horizontal ? TPoint{m.X, fontHeight} : TPoint{fontHeight, m.Y};
  if (FTabWidth != 0) result.X = 0;
  if (FTabHeight != 0) result.Y = 0;
  return result;
}

TPoint TClCustomTabControl::TabContentSize(Integer Index) {
  TClTabData* tab = FTabs->Items(Index);
  if (!tab->Visible) return {0, 0};
  TPoint image{0, 0};
  if (FImages && tab->ImageIndex != -1) image = {FImages->Width(), FImages->Height()};
  const bool savedBold = FTabFont->Style().Contains(fsBold);
  if (FBoldCurrentTab) FTabFont->SetStyle(FTabFont->Style() + TFontStyles{fsBold});
  const TPoint text = MeasureCaption(tab->Caption, FTextOrientation == orHorizontal);
  if (FBoldCurrentTab && !savedBold) FTabFont->SetStyle(FTabFont->Style() - TFontStyles{fsBold});
  TPoint r;
  switch (FImagePosition) {
    case ipLeft:
    case ipRight: r = {FImageMargin + image.X + text.X, std::max(image.Y, text.Y)}; break;
    case ipTop:
    case ipBottom: r = {std::max(image.X, text.X), FImageMargin + image.Y + text.Y}; break;
    case ipBack: r = {std::max(image.X, text.X), std::max(image.Y, text.Y)}; break;
    case ipStretch: r = text; break;
  }
  if (FShowCloseButtonOnActiveTab) {
    if (FTextOrientation == orHorizontal && !SideTabs()) r.X += 20;
    if (FTextOrientation == orVertical && SideTabs()) r.Y += 20;
  }
  return r;
}

TPoint TClCustomTabControl::TabSizeForContent(TPoint Content) const {
  const Integer W = Content.X + 2, H = Content.Y + 2, C = FCutCornerSize, Th = FTabHeight;
  const bool side = SideTabs();
  const bool horizontalText = FTextOrientation == orHorizontal;
  switch (FTabStyle) {
    case tsSingleSlant:
    case tsBackSlant:
      if (!side) return {W + 4 + 2 * ((H + 4) / 2) + Th / 2, H + 4};
      return {W + 4, H + 4 + 2 * ((W + 4) / 2) + Th / 2};
    case tsDoubleSlant:
      if (!side) return {W + 4 + 2 * H + Th, H + 4};
      return {W + 4, H + 4 + 2 * W + Th};
    case tsCutCorner:
      if (horizontalText) return side ? TPoint{W + C + 5, H + 8} : TPoint{2 * C + W + 6, H + 5};
      return side ? TPoint{W + 5, 2 * C + H + 6} : TPoint{W + 8, H + C + 5};
    case tsRoundCorners:
    case tsSquareCorners: return {W + 4, H + 4};
  }
  return {W, H};
}

Integer TClCustomTabControl::TabOverlapFor(Integer Thickness) const {
  switch (FTabStyle) {
    case tsSingleSlant:
    case tsBackSlant: return Thickness / 2;
    case tsDoubleSlant: return Thickness;
    case tsCutCorner:
    case tsRoundCorners: return FTabOverlap;
    case tsSquareCorners: return FTabOverlap + 1;
  }
  return 0;
}

void TClCustomTabControl::ArrangeTabs() {
  const Integer count = FTabs->Count();
  const bool side = SideTabs();
  std::vector<TPoint> content(std::size_t(count), TPoint{0, 0});
  TPoint common{0, 0};
  for (Integer i = 0; i < count; ++i) {
    if (!FTabs->Items(i)->Visible) continue;
    content[std::size_t(i)] = TabContentSize(i);
    common.X = std::max(common.X, content[std::size_t(i)].X);
    common.Y = std::max(common.Y, content[std::size_t(i)].Y);
  }
  // Thickness.
  const TPoint minimum = MinimumContentSize();
  TPoint largest{0, 0};
  bool any = false;
  for (Integer i = 0; i < count; ++i) {
    if (!FTabs->Items(i)->Visible) continue;
    any = true;
    TPoint c = content[std::size_t(i)];
    c.X = std::max(c.X, minimum.X);
    c.Y = std::max(c.Y, minimum.Y);
    const TPoint size = TabSizeForContent(c);
    largest.X = std::max(largest.X, size.X);
    largest.Y = std::max(largest.Y, size.Y);
  }
  if (FTabWidth > 0) largest.X = FTabWidth;
  if (FTabHeight > 0) largest.Y = FTabHeight;
  FFixedDimension = any ? (side ? largest.X : largest.Y) : 0;

  // Per-tab length along the strip.
  std::vector<Integer> length(std::size_t(count), 0);
  for (Integer i = 0; i < count; ++i) {
    if (!FTabs->Items(i)->Visible) continue;
    TPoint c = content[std::size_t(i)];
    if (side)
      c.X = common.X;
    else
      c.Y = common.Y;
    TPoint size = TabSizeForContent(c);
    if (FTabWidth > 0) size.X = FTabWidth;
    if (FTabHeight > 0) size.Y = FTabHeight;
    length[std::size_t(i)] = side ? size.Y : size.X;
  }

  const Integer overlap = TabOverlapFor(FFixedDimension);
  // Row count.
  Integer rows = 1;
  if (FMultiLine) {
    const Integer lastVisible = LastVisibleTab();
    Integer guess = 1;
    Integer L = TabStripLength() - 2 * FMargin;
    bool restart = true;
    // Each restart adds a row; more rows than tabs can never be needed.
    while (restart && guess <= count + 1) {
      restart = false;
      Integer x = FMargin, row = 1;
      bool rowHasTab = false;
      for (Integer i = 0; i < count && !restart; ++i) {
        if (!FTabs->Items(i)->Visible) continue;
        const Integer len = length[std::size_t(i)];
        if (x + len < L) {
          x += len - overlap + 1;
          rowHasTab = true;
          continue;
        }
        if (row < guess) {
          ++row;
          x = FMargin;
          rowHasTab = false;
          if (x + len < L) {
            x += len - overlap + 1;
            rowHasTab = true;
          } else {
            // Too long even alone: it gets this row to itself.
            rowHasTab = true;
            x = L;
          }
        } else if (rowHasTab || i != lastVisible) {
          ++guess;
          L -= FRowIndent;
          restart = true;
        }
      }
      rows = row;
    }
  }
  SetRowCount(rows);

  Integer d = TabStripLength() - 2 * FMargin;
  if (FMultiLine) {
    d -= (FRowCount - 1) * FRowIndent;
  } else {
    if (FShowCloseButton) d -= ButtonLength() + 2;
    if (FShowMenuButton) d -= ButtonLength() + 2;
    d -= 2 * ButtonLength() + 2;
  }
  const Integer cap = RoundOrSquare(FTabStyle) ? d - 4 : d;
  for (Integer& len : length) len = std::max(0, std::min(len, cap));

  const Integer fd = FFixedDimension;
  Integer y = TabAreaDepth() - fd, row = 0;
  if (FTabSequence == tsStandard) {
    Integer x = FMargin;
    for (Integer i = 0; i < count; ++i) {
      TClTabData* tab = FTabs->Items(i);
      if (!tab->Visible) continue;
      const Integer len = length[std::size_t(i)];
      if (FMultiLine && x + len >= d && x != FMargin) {
        x = FMargin;
        y -= fd - FRowOverlap;
        ++row;
      }
      tab->TabRect = Rect(x, y, x + len, y + fd);
      tab->Row = row;
      x += len - overlap + 1;
    }
  } else {
    Integer e = -FMargin;
    for (Integer i = 0; i < count; ++i) {
      TClTabData* tab = FTabs->Items(i);
      if (!tab->Visible) continue;
      const Integer len = length[std::size_t(i)];
      if (FMultiLine && e - len <= -d && e != -FMargin) {
        e = -FMargin;
        y -= fd - FRowOverlap;
        ++row;
      }
      tab->TabRect = Rect(e - len, y, e, y + fd);
      tab->Row = row;
      e = e - len + overlap - 1;
    }
    const Integer shift = FMultiLine ? Width() : std::abs(e);
    for (Integer i = 0; i < count; ++i) {
      TClTabData* tab = FTabs->Items(i);
      if (tab->Visible) OffsetRect(tab->TabRect, shift, 0);
    }
  }

  // Justification of multi-line rows.
  const bool automaticLength = side ? FTabHeight == 0 : FTabWidth == 0;
  if (FAlignTabs && FMultiLine && automaticLength) {
    for (Integer r = 0; r < FRowCount; ++r) {
      std::vector<TClTabData*> members;
      for (Integer i = 0; i < count; ++i)
        if (FTabs->Items(i)->Visible && FTabs->Items(i)->Row == r) members.push_back(FTabs->Items(i));
      if (members.empty()) continue;
      const Integer span = FTabSequence == tsStandard ? members.back()->TabRect.Right - members.front()->TabRect.Left
                                                      : members.front()->TabRect.Right - members.back()->TabRect.Left;
      Integer F = TabStripLength() - 2 * FMargin - (FRowCount - 1) * FRowIndent - span;
      if (RoundOrSquare(FTabStyle)) F += 4;
      if (F <= 0) continue;
      const Integer n = Integer(members.size());
      Integer s = 0;
      for (Integer k = 0; k < n; ++k) {
        const Integer g = F / n + (k < F % n ? 1 : 0);
        TRect& rr = members[std::size_t(k)]->TabRect;
        if (FTabSequence == tsStandard) {
          rr.Left += s;
          rr.Right += s + g;
        } else {
          rr.Right -= s;
          rr.Left -= s + g;
        }
        s += g;
      }
    }
  }
}

void TClCustomTabControl::BringRowToFront(Integer Tab) {
  if (!FMultiLine || Tab < 0 || Tab >= FTabs->Count()) return;
  Integer m = 0;
  for (Integer i = 0; i < FTabs->Count(); ++i)
    if (FTabs->Items(i)->Visible) m = std::max(m, FTabs->Items(i)->Row);
  const Integer r = FTabs->Items(Tab)->Row;
  if (m == 0 || r == 0) return;
  // The y values of each row slot, from the first visible tab standing in it.
  std::vector<std::pair<Integer, Integer>> slot(std::size_t(m + 1), {0, 0});
  std::vector<bool> seen(std::size_t(m + 1), false);
  for (Integer i = 0; i < FTabs->Count(); ++i) {
    TClTabData* t = FTabs->Items(i);
    if (!t->Visible || t->Row < 0 || t->Row > m || seen[std::size_t(t->Row)]) continue;
    seen[std::size_t(t->Row)] = true;
    slot[std::size_t(t->Row)] = {t->TabRect.Top, t->TabRect.Bottom};
  }
  for (Integer i = 0; i < FTabs->Count(); ++i) {
    TClTabData* t = FTabs->Items(i);
    if (!t->Visible) continue;
    t->Row = (t->Row + m - r + 1) % (m + 1);
    t->TabRect.Top = slot[std::size_t(t->Row)].first;
    t->TabRect.Bottom = slot[std::size_t(t->Row)].second;
  }
}

TRect TClCustomTabControl::DrawingBounds() const { return Rect(0, 0, Width() - 1, Height() - 1); }

Integer TClCustomTabControl::TabAreaDepth() const {
  if (!FCardVisible) return SideTabs() ? Width() - 1 : Height() - 1;
  const Integer G = RoundOrSquare(FTabStyle) ? 3 : 0;
  return G + FFixedDimension + (FFixedDimension - FRowOverlap) * (FRowCount - 1);
}

TRect TClCustomTabControl::TabAreaRect() const {
  const Integer W = Width() - 1, H = Height() - 1, D = TabAreaDepth();
  switch (FTabOrientation) {
    case toTop: return Rect(0, 0, (FTabSequence == tsStandard && FShowShadow) ? W - 2 : W, D);
    case toBottom: return Rect(0, H - D, W, H);
    case toLeft: return Rect(0, 0, D, H);
    case toRight: return Rect(W - D, 0, W, H);
  }
  return Rect(0, 0, W, D);
}

Integer TClCustomTabControl::TabStripLength() const {
  const TRect a = TabAreaRect();
  return SideTabs() ? a.Bottom - a.Top : a.Right - a.Left;
}

TRect TClCustomTabControl::CardRect(Integer Row) const {
  const TRect b = DrawingBounds();
  if (FTabs->Count() == 0 && FCardVisible) return b;
  const Integer step = FFixedDimension - FRowOverlap;
  const Integer O = TabAreaDepth() - Row * step, S = Row * step, N = Row * FRowIndent,
                F = (FRowCount - Row - 1) * FRowIndent;
  const bool std = FTabSequence == tsStandard;
  TRect r;
  switch (FTabOrientation) {
    case toTop:
      r = std ? Rect(b.Left + N, b.Top + O, b.Right - F, b.Bottom - S) : Rect(b.Left + F, b.Top + O, b.Right - N, b.Bottom - S);
      break;
    case toBottom:
      r = std ? Rect(b.Left + N, b.Top + S, b.Right - F, b.Bottom - O) : Rect(b.Left + F, b.Top + S, b.Right - N, b.Bottom - O);
      break;
    case toLeft:
      r = std ? Rect(b.Left + O, b.Top + F, b.Right - S, b.Bottom - N) : Rect(b.Left + O, b.Top + N, b.Right - S, b.Bottom - F);
      break;
    case toRight:
      r = std ? Rect(b.Left + S, b.Top + N, b.Right - O, b.Bottom - F) : Rect(b.Left + S, b.Top + F, b.Right - O, b.Bottom - N);
      break;
  }
  if (r.Left > r.Right || r.Top > r.Bottom) return Rect(0, 0, 0, 0);
  if (!FCardVisible) {
    // The frame falls outside the control on the three sides away from the tabs.
    if (FTabOrientation != toRight) r.Right = b.Right + 3;
    if (FTabOrientation != toLeft) r.Left = b.Left - 3;
    if (FTabOrientation != toBottom) r.Bottom = b.Bottom + 3;
    if (FTabOrientation != toTop) r.Top = b.Top - 3;
  }
  return r;
}

TRect TClCustomTabControl::PageRect() const {
  if (!FCardVisible) return Rect(-2, -2, -1, -1);
  TRect r = CardRect(0);
  if (FShowCardFrame && FShowFullFrame) {
    r.Left += 1;
    r.Top += 1;
    if (FTabOrientation == toTop && FTabSequence == tsStandard && FShowShadow) {
      r.Right -= 2;
      r.Bottom -= 2;
    }
  } else if (FShowCardFrame) {
    if (FTabOrientation == toTop) r.Top += 1;
    r.Right += 1;
    r.Bottom += 1;
  } else {
    if (!FShowFullFrame) {
      if (FTabOrientation == toLeft) r.Left -= 1;
      if (FTabOrientation == toBottom) r.Bottom += 1;
      if (FTabOrientation == toRight) r.Right += 1;
    }
    r.Right += 1;
    r.Bottom += 1;
  }
  return r;
}

Integer TClCustomTabControl::ScrollOffset() const {
  if (FFirstShownTab < 0 || FFirstShownTab >= FTabs->Count()) return 0;
  const Integer G = RoundOrSquare(FTabStyle) ? 2 : 0;
  const TRect& r = FTabs->Items(FFirstShownTab)->TabRect;
  return FTabSequence == tsStandard ? r.Left - G - FMargin : G + FMargin + r.Right;
}

TRect TClCustomTabControl::TabLogicalRect(Integer Index) const {
  const TClTabData* tab = FTabs->Items(Index);
  TRect r = tab->TabRect;
  OffsetRect(r, FTabSequence == tsStandard ? tab->Row * FRowIndent : -tab->Row * FRowIndent, 0);
  if (RoundOrSquare(FTabStyle) && Index == FTabIndex) {
    r.Left -= 2;
    r.Right += 2;
    r.Top -= 2;
  }
  return r;
}

TPoint TClCustomTabControl::StripToControl(TPoint P) const {
  const TRect a = TabAreaRect();
  const Integer s = ScrollOffset();
  const bool std = FTabSequence == tsStandard;
  switch (FTabOrientation) {
    case toTop: return std ? Point(P.X - s + a.Left, P.Y + a.Top) : Point(a.Right - (s - P.X), P.Y + a.Top);
    case toBottom: return std ? Point(P.X - s + a.Left, a.Bottom - P.Y) : Point(a.Right - (s - P.X), a.Bottom - P.Y);
    case toLeft: return std ? Point(P.Y + a.Left, a.Bottom - (P.X - s)) : Point(P.Y + a.Left, a.Top + (s - P.X));
    case toRight: return std ? Point(a.Right - P.Y, P.X - s + a.Top) : Point(a.Right - P.Y, a.Bottom - (s - P.X));
  }
  return P;
}

TRect TClCustomTabControl::TabRect(Integer Index) const {
  const TRect l = TabLogicalRect(Index);
  const TPoint a = StripToControl(l.TopLeft()), b = StripToControl(l.BottomRight());
  return OrderRectCorners(Rect(a.X, a.Y, b.X, b.Y));
}

bool TClCustomTabControl::TabInView(Integer Index) const {
  if (Index < 0 || Index >= FTabs->Count() || !FTabs->Items(Index)->Visible) return false;
  if (!FScrollNeeded) return true;
  Integer V = TabStripLength() - 2 * const_cast<TClCustomTabControl*>(this)->ButtonLength() - 2 * FMargin;
  if (FShowCloseButton) V -= const_cast<TClCustomTabControl*>(this)->ButtonLength() + 2;
  if (FShowMenuButton) V -= const_cast<TClCustomTabControl*>(this)->ButtonLength() + 2;
  const Integer s = ScrollOffset();
  const TRect& r = FTabs->Items(Index)->TabRect;
  if (FTabSequence == tsStandard) return r.Left >= s && r.Right - s <= V;
  return s >= r.Right && s - r.Left <= V;
}

void TClCustomTabControl::UpdateScrollNeeded() {
  const Integer first = FirstVisibleTab(), last = LastVisibleTab();
  if (FMultiLine || first < 0) {
    FScrollNeeded = false;
    return;
  }
  Integer A = TabStripLength() - 2 * FMargin;
  if (FShowCloseButton) A -= ButtonLength() + 2;
  if (FShowMenuButton) A -= ButtonLength() + 2;
  FScrollNeeded = (FTabSequence == tsStandard && A < FTabs->Items(last)->TabRect.Right) ||
                  (FTabSequence == tsReverse && A < FTabs->Items(first)->TabRect.Right);
}

void TClCustomTabControl::ScrollTabs(bool Forward) {
  const Integer count = FTabs->Count();
  const Integer old = FFirstShownTab;
  if (Forward) {
    const Integer last = LastVisibleTab();
    if (FFirstShownTab < count - 1 && last >= 0 && !TabInView(last)) {
      do {
        ++FFirstShownTab;
      } while (FFirstShownTab < count && !TabInView(FFirstShownTab));
      if (FFirstShownTab >= count)
        FFirstShownTab = old;
      else
        RepaintTabs();
    }
  } else {
    const Integer first = FirstVisibleTab();
    if (FFirstShownTab > 0 && first >= 0 && !TabInView(first)) {
      do {
        --FFirstShownTab;
      } while (FFirstShownTab >= 0 && !TabInView(FFirstShownTab));
      if (FFirstShownTab < 0)
        FFirstShownTab = old;
      else
        RepaintTabs();
    }
  }
  if (FShowCloseButtonOnActiveTab && FActiveTabCloseButton && FTabIndex >= 0)
    FActiveTabCloseButton->SetVisible(TabInView(FTabIndex));
  if (OnScrolledTabs) OnScrolledTabs(this);
}

Integer TClCustomTabControl::TabAtPos(Integer X, Integer Y) {
  const Integer count = FTabs->Count();
  if (count == 0 || FFirstShownTab < 0) return -1;
  auto hit = [&](Integer i) {
    if (!TabInView(i)) return false;
    const TRect r = TabRect(i);
    if (!PtInRect(r, Point(X, Y))) return false;
    const TRegion* region = TabRegion(i, r);
    return region && region->PtInRegion(X, Y);
  };
  if (FTabIndex >= 0 && FTabIndex < count && hit(FTabIndex)) return FTabIndex;
  for (Integer k = 0; k < count; ++k) {
    const Integer i = (FFirstShownTab + k) % count;
    if (i != FTabIndex && hit(i)) return i;
  }
  return -1;
}

Integer TClCustomTabControl::ButtonLength() {
  TCanvas* c = FBuffer->Canvas();
  SelectTabFont(c);
  const Integer textHeight = c->TextHeight("A");
  RestoreTabFont(c);
  Integer h = textHeight + (FTextOrientation == orVertical ? 2 : 4);
  const bool fixed = SideTabs() ? (FTextOrientation == orVertical && FTabWidth > 0)
                                : (FTextOrientation == orHorizontal && FTabHeight > 0);
  if (fixed) h = std::max(h, FFixedDimension - 2);
  return h;
}

Integer TClCustomTabControl::ButtonBreadth() {
  TCanvas* c = FBuffer->Canvas();
  SelectTabFont(c);
  const Integer textHeight = c->TextHeight("A");
  RestoreTabFont(c);
  const Integer h = textHeight + (FTextOrientation == orVertical ? 2 : 4);
  const bool roomy = SideTabs() ? (FTextOrientation == orVertical && h <= FTabWidth)
                                : (FTextOrientation == orHorizontal && h <= FTabHeight);
  return roomy ? std::max(h, FFixedDimension - 2) : std::min(h, FFixedDimension - 2);
}

namespace {

enum class ButtonKind { Close, Menu, Scroller };

}  // namespace

static TPoint ButtonPosition(TClCustomTabControl* T, ButtonKind Kind, Integer w, Integer h, Integer c, Integer n) {
  const TRect a = T->TabAreaRect();
  const Integer M = T->Margin();
  const Integer k = T->ShowShadow() ? -1 : 1;
  const Integer extra = Kind == ButtonKind::Close ? 0 : Kind == ButtonKind::Menu ? c : c + n;
  if (T->TabSequence() == tsStandard) {
    switch (T->TabOrientation()) {
      case toTop: return Point(a.Right + k - w - M - extra, a.Bottom - h - 2);
      case toBottom: return Point(a.Right - w - M + 1 - extra, a.Top + 2);
      case toLeft: return Point(a.Right - w - 2, a.Top + M + extra);
      case toRight: return Point(a.Left + 2, a.Bottom - h - M + 1 - extra);
    }
  } else {
    switch (T->TabOrientation()) {
      case toTop: return Point(a.Left + M + extra, a.Bottom - h - 2);
      case toBottom: return Point(a.Left + M + extra, a.Top + 2);
      case toLeft: return Point(a.Right - w - 2, a.Bottom - h - M + 1 - extra);
      case toRight: return Point(a.Left + 2, a.Top + M + extra);
    }
  }
  return Point(0, 0);
}

void TClCustomTabControl::PositionCloseButton() {
  if (!FCloseButton || !FShowCloseButton) return;
  const bool none = FTabs->Count() == 0;
  const Integer along = none ? 0 : ButtonLength(), across = none ? 0 : ButtonBreadth();
  const Integer w = SideTabs() ? across : along, h = SideTabs() ? along : across;
  const TPoint p = ButtonPosition(this, ButtonKind::Close, w, h, 0, 0);
  FCloseButton->SetBounds(p.X, p.Y, w, h);
  FCloseButton->SetVisible(true);
}

void TClCustomTabControl::PositionMenuButton() {
  if (!FMenuButton || !FShowMenuButton) return;
  const bool none = FTabs->Count() == 0;
  const Integer along = none ? 0 : ButtonLength(), across = none ? 0 : ButtonBreadth();
  const Integer w = SideTabs() ? across : along, h = SideTabs() ? along : across;
  const Integer c = FShowCloseButton ? (none ? 0 : ButtonLength()) + 2 : 0;
  const TPoint p = ButtonPosition(this, ButtonKind::Menu, w, h, c, 0);
  FMenuButton->SetBounds(p.X, p.Y, w, h);
  FMenuButton->SetVisible(true);
}

void TClCustomTabControl::PositionScroller() {
  if (!FScrollNeeded) {
    if (FScroller) FScroller->SetBounds(-FScroller->Width() - 1, -FScroller->Height() - 1, FScroller->Width(),
                                        FScroller->Height());
    return;
  }
  if (!FScroller) {
    FScroller = new TClTabScroller(this, this);
    FScroller->SetParent(this);
    FScroller->SetFrameColor(ShiftColorLuminance(FFlatColor, FFlatColorAdjustment));
    FScroller->OnUpRightClick = [this](TObject*) {
      ScrollTabs(FTabSequence == tsStandard ? FTabOrientation != toRight : FTabOrientation == toRight);
    };
    FScroller->OnDownLeftClick = [this](TObject*) {
      ScrollTabs(FTabSequence == tsStandard ? FTabOrientation == toRight : FTabOrientation != toRight);
    };
  }
  FScroller->SetOrientation(SideTabs() ? orVertical : orHorizontal);
  const Integer along = 2 * ButtonLength() - 1, across = ButtonBreadth();
  const Integer w = SideTabs() ? across : along, h = SideTabs() ? along : across;
  const bool none = FTabs->Count() == 0;
  const Integer c = FShowCloseButton ? (none ? 0 : ButtonLength()) + 2 : 0;
  const Integer n = FShowMenuButton ? (none ? 0 : ButtonLength()) + 2 : 0;
  const TPoint p = ButtonPosition(this, ButtonKind::Scroller, w, h, c, n);
  FScroller->SetBounds(p.X, p.Y, w, h);
}
