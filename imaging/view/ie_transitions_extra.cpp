#include "imaging/view/ie_transitions_extra.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "imaging/core/ie_helpers.h"
#include "platform/rtl/numerics.h"

// ---------------------------------------------------------------------------------------------
// Drawing primitives

namespace {

// One axis of a stretch: for every destination index the source index, or -1 where the source
// falls outside its picture.
struct TAxisMap {
  Integer From = 0;  // first destination index drawn
  Integer To = 0;    // one past the last
  std::vector<Integer> Source;
};

TAxisMap MapAxis(Integer D0, Integer D1, Integer DestSize, Integer S0, Integer S1, Integer SourceSize) {
  TAxisMap m;
  const bool dFlip = D1 < D0;
  const bool sFlip = S1 < S0;
  const Int64 dl = std::min(D0, D1), dr = std::max(D0, D1);
  const Int64 sl = std::min(S0, S1), sr = std::max(S0, S1);
  const Int64 dw = dr - dl, sw = sr - sl;
  if (dw <= 0 || sw <= 0) return m;
  m.From = Integer(std::max<Int64>(dl, 0));
  m.To = Integer(std::min<Int64>(dr, DestSize));
  if (m.To <= m.From) {
    m.To = m.From;
    return m;
  }
  m.Source.resize(size_t(m.To - m.From));
  const bool flip = dFlip != sFlip;
  for (Integer d = m.From; d < m.To; ++d) {
    // Sample at the centre of the destination pixel.
    Int64 k = ((d - dl) * 2 + 1) * sw / (dw * 2);
    if (flip) k = sw - 1 - k;
    const Int64 s = sl + k;
    m.Source[size_t(d - m.From)] = (s >= 0 && s < SourceSize) ? Integer(s) : -1;
  }
  return m;
}

}  // namespace

void IETransitionStretch(const TIETransitionRows& Dest, const TRect& DestRect, const TIETransitionRows& Source,
                         const TRect& SourceRect) {
  const TAxisMap xs = MapAxis(DestRect.Left, DestRect.Right, Dest.Width, SourceRect.Left, SourceRect.Right,
                              Source.Width);
  const TAxisMap ys = MapAxis(DestRect.Top, DestRect.Bottom, Dest.Height, SourceRect.Top, SourceRect.Bottom,
                              Source.Height);
  if (xs.To <= xs.From || ys.To <= ys.From) return;

  // Reading and writing the same picture: keep the rows read in a copy of their own.
  std::vector<std::vector<Byte>> copies;
  std::vector<const Byte*> rows(size_t(Source.Height), nullptr);
  const bool same = Source.Rows == Dest.Rows;
  if (same) copies.resize(size_t(Source.Height));
  for (Integer s : ys.Source) {
    if (s < 0 || rows[size_t(s)]) continue;
    if (same) {
      copies[size_t(s)].assign(Source.Rows[s], Source.Rows[s] + size_t(Source.Width) * 3);
      rows[size_t(s)] = copies[size_t(s)].data();
    } else {
      rows[size_t(s)] = Source.Rows[s];
    }
  }

  // An unscaled, unmirrored run of columns is one block copy per row.
  bool straight = true;
  for (size_t i = 1; i < xs.Source.size() && straight; ++i)
    straight = xs.Source[i - 1] >= 0 && xs.Source[i] == xs.Source[i - 1] + 1;
  straight = straight && xs.Source[0] >= 0;

  for (Integer d = ys.From; d < ys.To; ++d) {
    const Integer s = ys.Source[size_t(d - ys.From)];
    if (s < 0) continue;
    const Byte* src = rows[size_t(s)];
    Byte* dst = Dest.Rows[d] + size_t(xs.From) * 3;
    if (straight) {
      std::memmove(dst, src + size_t(xs.Source[0]) * 3, xs.Source.size() * 3);
      continue;
    }
    for (Integer sx : xs.Source) {
      if (sx >= 0) {
        const Byte* p = src + size_t(sx) * 3;
        dst[0] = p[0];
        dst[1] = p[1];
        dst[2] = p[2];
      }
      dst += 3;
    }
  }
}

TIETransitionRegion::TIETransitionRegion(Integer Width, Integer Height)
    : FWidth(std::max(Width, 0)), FHeight(std::max(Height, 0)), FMask(size_t(FWidth) * size_t(FHeight), 0) {}

void TIETransitionRegion::Span(Integer Row, Integer From, Integer To, bool Xor) {
  if (Row < 0 || Row >= FHeight) return;
  From = std::max(From, 0);
  To = std::min(To, FWidth);
  if (To <= From) return;
  std::uint8_t* p = FMask.data() + size_t(Row) * size_t(FWidth);
  if (Xor) {
    for (Integer x = From; x < To; ++x) p[x] ^= 1;
  } else {
    std::memset(p + From, 1, size_t(To - From));
  }
}

void TIETransitionRegion::AddRect(Integer Left, Integer Top, Integer Right, Integer Bottom) {
  // A rectangle that has not opened yet (right left of left) covers nothing.
  const Integer t = std::max(Top, 0), b = std::min(Bottom, FHeight);
  for (Integer y = t; y < b; ++y) Span(y, Left, Right, false);
}

namespace {

// The first pixel whose centre is at or right of X.
Integer CentreCeil(double X) { return SafeTrunc<Integer>(std::ceil(std::clamp(X - 0.5, -1e9, 1e9))); }

}  // namespace

void TIETransitionRegion::AddPolygon(const TPoint* Points, Integer Count) {
  if (Count < 3) return;
  Integer minY = Points[0].Y, maxY = Points[0].Y;
  for (Integer i = 1; i < Count; ++i) {
    minY = std::min(minY, Points[i].Y);
    maxY = std::max(maxY, Points[i].Y);
  }
  struct TCross {
    double X;
    Integer Dir;
  };
  std::vector<TCross> cross;
  for (Integer y = std::max(minY, 0); y < std::min(maxY, FHeight); ++y) {
    const double yc = y + 0.5;
    cross.clear();
    for (Integer i = 0; i < Count; ++i) {
      const TPoint a = Points[i], b = Points[(i + 1) % Count];
      if (a.Y == b.Y) continue;
      const bool down = b.Y > a.Y;
      const double y0 = down ? a.Y : b.Y, y1 = down ? b.Y : a.Y;
      if (yc < y0 || yc >= y1) continue;
      const double x = a.X + (yc - a.Y) * double(b.X - a.X) / double(b.Y - a.Y);
      cross.push_back({x, down ? 1 : -1});
    }
    std::sort(cross.begin(), cross.end(), [](const TCross& l, const TCross& r) { return l.X < r.X; });
    Integer winding = 0;
    for (size_t i = 0; i + 1 < cross.size(); ++i) {
      winding += cross[i].Dir;
      if (winding != 0) Span(y, CentreCeil(cross[i].X), CentreCeil(cross[i + 1].X), false);
    }
  }
}

void TIETransitionRegion::AddRoundRect(Integer Left, Integer Top, Integer Right, Integer Bottom, Integer EllipseWidth,
                                       Integer EllipseHeight, bool Xor) {
  if (Right <= Left || Bottom <= Top) return;
  const double rx = std::min<double>(std::abs(double(EllipseWidth)), double(Right) - Left) / 2;
  const double ry = std::min<double>(std::abs(double(EllipseHeight)), double(Bottom) - Top) / 2;
  for (Integer y = std::max(Top, 0); y < std::min(Bottom, FHeight); ++y) {
    const double yc = y + 0.5;
    double dy = 0;
    if (yc < Top + ry)
      dy = Top + ry - yc;
    else if (yc > Bottom - ry)
      dy = yc - (Bottom - ry);
    double dx = rx;
    if (ry > 0 && dy > 0) {
      const double q = dy / ry;
      if (q >= 1) continue;
      dx = rx * std::sqrt(1 - q * q);
    }
    Span(y, CentreCeil(Left + rx - dx), CentreCeil(Right - rx + dx), Xor);
  }
}

void TIETransitionRegion::IntersectWith(const TIETransitionRegion& Other) {
  if (Other.FWidth == FWidth && Other.FHeight == FHeight) {
    for (size_t i = 0; i < FMask.size(); ++i) FMask[i] &= Other.FMask[i];
    return;
  }
  for (size_t i = 0; i < FMask.size(); ++i) {
    const Integer y = Integer(i / size_t(FWidth)), x = Integer(i % size_t(FWidth));
    FMask[i] &= Other.Contains(x, y) ? 1 : 0;
  }
}

bool TIETransitionRegion::Contains(Integer X, Integer Y) const {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return false;
  return FMask[size_t(Y) * size_t(FWidth) + size_t(X)] != 0;
}

void TIETransitionRegion::Paint(const TIETransitionRows& Dest, const TIETransitionRows& Source) const {
  const Integer w = std::min({FWidth, Dest.Width, Source.Width});
  const Integer h = std::min({FHeight, Dest.Height, Source.Height});
  for (Integer y = 0; y < h; ++y) {
    const std::uint8_t* m = FMask.data() + size_t(y) * size_t(FWidth);
    Integer x = 0;
    while (x < w) {
      const void* on = std::memchr(m + x, 1, size_t(w - x));
      if (!on) break;
      const Integer from = Integer(static_cast<const std::uint8_t*>(on) - m);
      const void* off = std::memchr(m + from, 0, size_t(w - from));
      const Integer to = off ? Integer(static_cast<const std::uint8_t*>(off) - m) : w;
      std::memcpy(Dest.Rows[y] + size_t(from) * 3, Source.Rows[y] + size_t(from) * 3, size_t(to - from) * 3);
      x = to;
    }
  }
}

void ProgressExtents(const TRect& Rect, Integer Parameter, Integer Percent, Integer& W, Integer& H, Integer& PW,
                     Integer& PH, Integer& U) {
  W = Rect.Width();
  H = Rect.Height();
  if (W >= H) {
    PW = MulDiv(W, Percent, 100);
    PH = W > 0 ? MulDiv(PW, H, W) : 0;
    U = MulDiv(W, Parameter, 90);
  } else {
    PH = MulDiv(H, Percent, 100);
    PW = H > 0 ? MulDiv(PH, W, H) : 0;
    U = MulDiv(H, Parameter, 90);
  }
}

// ---------------------------------------------------------------------------------------------
// The effects

namespace {

using TRows = TIETransitionRows;

// The quantities every effect starts from. Unit is never below 1, so the effects that divide by
// it or repeat a pattern at a period derived from it stay finite on small pictures.
struct TExtents {
  Integer W, H, PW, PH, U, Percent;
  TExtents(const TRect& R, Integer Parameter, Integer P) : Percent(std::clamp(P, 0, 100)) {
    ProgressExtents(R, Parameter, Percent, W, H, PW, PH, U);
    U = std::max(U, 1);
  }
};

inline Integer Half(Integer V) { return V / 2; }

TRect Rc(Integer L, Integer T, Integer R, Integer B) { return TRect{L, T, R, B}; }

// Draws the whole target stretched into D.
void Full(const TRows& Work, const TRows& Target, const TRect& D) {
  IETransitionStretch(Work, D, Target, Rc(0, 0, Target.Width, Target.Height));
}
void Same(const TRows& Work, const TRows& Target, const TRect& R) { IETransitionStretch(Work, R, Target, R); }

// A copy with the destination's two edges of one axis exchanged, each one pixel outward, after
// the source was clipped to the picture.
void StretchPartMirrored(const TRows& Work, const TRows& Target, TRect D, TRect S, bool Horizontal) {
  S.Left = std::max(S.Left, 0);
  S.Top = std::max(S.Top, 0);
  S.Right = std::min(S.Right, Target.Width);
  S.Bottom = std::min(S.Bottom, Target.Height);
  if (S.Right <= S.Left || S.Bottom <= S.Top) return;
  if (Horizontal)
    D = Rc(D.Right, D.Top, D.Left, D.Bottom);
  else
    D = Rc(D.Left, D.Bottom, D.Right, D.Top);
  IETransitionStretch(Work, D, Target, S);
}

#define EFFECT(name) \
  void name(const TRows& Work, const TRows&, const TRows& Target, const TRect& R, Integer Parameter, Integer Percent)
#define EXTENTS                                 \
  const TExtents e(R, Parameter, Percent);      \
  const Integer W = e.W, H = e.H, pw = e.PW, ph = e.PH; \
  (void)W; (void)H; (void)pw; (void)ph

// ----- copy effects -----

EFFECT(ExpandFromLeft) { EXTENTS; Full(Work, Target, Rc(0, 0, pw, H)); }
EFFECT(ExpandFromRight) { EXTENTS; Full(Work, Target, Rc(W - pw, 0, W, H)); }
EFFECT(ExpandFromTop) { EXTENTS; Full(Work, Target, Rc(0, 0, W, ph)); }
EFFECT(ExpandFromBottom) { EXTENTS; Full(Work, Target, Rc(0, H - ph, W, H)); }
EFFECT(ExpandFromTopLeft) { EXTENTS; Full(Work, Target, Rc(0, 0, pw, ph)); }
EFFECT(ExpandFromTopRight) { EXTENTS; Full(Work, Target, Rc(W - pw, 0, W, ph)); }
EFFECT(ExpandFromBottomLeft) { EXTENTS; Full(Work, Target, Rc(0, H - ph, pw, H)); }
EFFECT(ExpandFromBottomRight) { EXTENTS; Full(Work, Target, Rc(W - pw, H - ph, W, H)); }
EFFECT(ExpandInFromLeft) { EXTENTS; IETransitionStretch(Work, Rc(pw - W, 0, W, H), Target, Rc(W - pw, 0, W, H)); }
EFFECT(ExpandInFromRight) { EXTENTS; IETransitionStretch(Work, Rc(0, 0, 2 * W - pw, H), Target, Rc(0, 0, pw, H)); }
EFFECT(ExpandInFromTop) { EXTENTS; IETransitionStretch(Work, Rc(0, ph - H, W, H), Target, Rc(0, H - ph, W, H)); }
EFFECT(ExpandInFromBottom) { EXTENTS; IETransitionStretch(Work, Rc(0, 0, W, 2 * H - ph), Target, Rc(0, 0, W, ph)); }
EFFECT(ExpandInToVerticalCenter) {
  EXTENTS;
  IETransitionStretch(Work, Rc(pw - W, 0, 2 * W - pw, H), Target, Rc(Half(W - pw), 0, Half(W + pw), H));
}
EFFECT(ExpandInToHorizon) {
  EXTENTS;
  IETransitionStretch(Work, Rc(0, ph - H, W, 2 * H - ph), Target, Rc(0, Half(H - ph), W, Half(H + ph)));
}
EFFECT(ExpandInFromSides) {
  EXTENTS;
  IETransitionStretch(Work, Rc(0, 0, Half(pw) + 1, H), Target, Rc(0, 0, Half(W) + 1, H));
  IETransitionStretch(Work, Rc(W - Half(pw) - 1, 0, W, H), Target, Rc(Half(W), 0, W, H));
}
EFFECT(ExpandInFromTopAndBottom) {
  EXTENTS;
  IETransitionStretch(Work, Rc(0, 0, W, Half(ph) + 1), Target, Rc(0, 0, W, Half(H) + 1));
  IETransitionStretch(Work, Rc(0, H - Half(ph) - 1, W, H), Target, Rc(0, Half(H), W, H));
}
EFFECT(ExpandOutFromHorizon) { EXTENTS; Full(Work, Target, Rc(0, Half(H - ph), W, Half(H + ph))); }
EFFECT(ExpandOutFromVerticalCenter) { EXTENTS; Full(Work, Target, Rc(Half(W - pw), 0, Half(W + pw), H)); }
EFFECT(WipeFromTopLeft) { EXTENTS; Same(Work, Target, Rc(0, 0, pw, ph)); }
EFFECT(WipeFromTopRight) { EXTENTS; Same(Work, Target, Rc(W - pw, 0, W, ph)); }
EFFECT(WipeFromBottomLeft) { EXTENTS; Same(Work, Target, Rc(0, H - ph, pw, H)); }
EFFECT(WipeFromBottomRight) { EXTENTS; Same(Work, Target, Rc(W - pw, H - ph, W, H)); }
EFFECT(WipeFromHorizon) { EXTENTS; Same(Work, Target, Rc(0, Half(H - ph), W, Half(H + ph))); }
EFFECT(WipeInFromSides) {
  EXTENTS;
  Same(Work, Target, Rc(0, 0, Half(pw) + 1, H));
  Same(Work, Target, Rc(W - Half(pw) - 1, 0, W, H));
}
EFFECT(WipeOutFromVerticalCenter) { EXTENTS; Same(Work, Target, Rc(Half(W - pw), 0, Half(W + pw), H)); }
EFFECT(BuildUpFromLeft) {
  EXTENTS;
  Same(Work, Target, Rc(W - pw, 0, W, H));
  IETransitionStretch(Work, Rc(0, 0, W - pw, H), Target, Rc(std::max(W - pw - W / e.U, 0), 0, W - pw, H));
}
EFFECT(BuildUpFromRight) {
  EXTENTS;
  Same(Work, Target, Rc(0, 0, pw, H));
  IETransitionStretch(Work, Rc(pw, 0, W, H), Target, Rc(pw, 0, std::min(W / e.U + pw, W), H));
}
EFFECT(BuildUpFromTop) {
  EXTENTS;
  Same(Work, Target, Rc(0, H - ph, W, H));
  IETransitionStretch(Work, Rc(0, 0, W, H - ph), Target, Rc(0, std::max(H - ph - H / e.U, 0), W, H - ph));
}
EFFECT(BuildUpFromBottom) {
  EXTENTS;
  Same(Work, Target, Rc(0, 0, W, ph));
  IETransitionStretch(Work, Rc(0, ph, W, H), Target, Rc(0, ph, W, std::min(H / e.U + ph, H)));
}

// The roll edges of the unroll effects along an axis of length L progressed by p.
Integer RollLead(Integer L, Integer p) {
  if (p < L / 5) return p + Half(p);
  if (L < p + L / 5) return p + Half(L - p);
  return p + L / 10;
}
Integer RollTrail(Integer L, Integer p) {
  const Integer E = L - p;
  if (p < L / 5) return E - Half(p);
  if (E < L / 5) return E - Half(E);
  return E - L / 10;
}

EFFECT(UnrollFromLeft) {
  EXTENTS;
  const Integer r = RollLead(W, pw);
  StretchPartMirrored(Work, Target, Rc(pw, 0, r, H), Rc(r, 0, 2 * r - pw, H), true);
  Same(Work, Target, Rc(0, 0, pw, H));
}
EFFECT(UnrollFromRight) {
  EXTENTS;
  const Integer E = W - pw, l = RollTrail(W, pw);
  StretchPartMirrored(Work, Target, Rc(l, 0, E, H), Rc(2 * l - E, 0, l, H), true);
  Same(Work, Target, Rc(E, 0, W, H));
}
EFFECT(UnrollFromTop) {
  EXTENTS;
  const Integer r = RollLead(H, ph);
  StretchPartMirrored(Work, Target, Rc(0, ph, W, r), Rc(0, r, W, 2 * r - ph), false);
  Same(Work, Target, Rc(0, 0, W, ph));
}
EFFECT(UnrollFromBottom) {
  EXTENTS;
  const Integer E = H - ph, l = RollTrail(H, ph);
  StretchPartMirrored(Work, Target, Rc(0, l, W, E), Rc(0, 2 * l - E, W, l), false);
  Same(Work, Target, Rc(0, E, W, H));
}
EFFECT(SlideInFromLeft) { EXTENTS; Full(Work, Target, Rc(pw - W, 0, pw, H)); }
EFFECT(SlideInFromRight) { EXTENTS; Full(Work, Target, Rc(W - pw, 0, 2 * W - pw, H)); }
EFFECT(SlideInFromTop) { EXTENTS; Full(Work, Target, Rc(0, ph - H, W, ph)); }
EFFECT(SlideInFromBottom) { EXTENTS; Full(Work, Target, Rc(0, H - ph, W, 2 * H - ph)); }
EFFECT(SlideInFromTopAndBottom) {
  EXTENTS;
  Same(Work, Target, Rc(0, 0, W, Half(ph) + 1));
  Same(Work, Target, Rc(0, H - Half(ph) - 1, W, H));
}
EFFECT(ShrinkToTopLeft) { EXTENTS; IETransitionStretch(Work, Rc(0, 0, 2 * W - pw, 2 * H - ph), Target, Rc(0, 0, pw, ph)); }
EFFECT(ShrinkToTopRight) {
  EXTENTS;
  IETransitionStretch(Work, Rc(pw - W, 0, W, 2 * H - ph), Target, Rc(W - pw, 0, W, ph));
}
EFFECT(ShrinkToBottomLeft) {
  EXTENTS;
  IETransitionStretch(Work, Rc(0, ph - H, 2 * W - pw, H), Target, Rc(0, H - ph, pw, H));
}
EFFECT(ShrinkToBottomRight) {
  EXTENTS;
  IETransitionStretch(Work, Rc(pw - W, ph - H, W, H), Target, Rc(W - pw, H - ph, W, H));
}
EFFECT(ShrinkToCenter) {
  EXTENTS;
  IETransitionStretch(Work, Rc(pw - W, ph - H, 2 * W - pw, 2 * H - ph), Target,
                      Rc(Half(W - pw), Half(H - ph), Half(W + pw), Half(H + ph)));
}
EFFECT(QuartersWipeInToCenter) {
  EXTENTS;
  const Integer a = Half(pw) + 1, b = Half(ph) + 1;
  Same(Work, Target, Rc(0, 0, a, b));
  Same(Work, Target, Rc(0, H - b, a, H));
  Same(Work, Target, Rc(W - a, H - b, W, H));
  Same(Work, Target, Rc(W - a, 0, W, b));
}
EFFECT(QuartersExpandToCenter) {
  EXTENTS;
  const Integer a = Half(pw), b = Half(ph), hw = Half(W), hh = Half(H);
  IETransitionStretch(Work, Rc(0, 0, a, b), Target, Rc(0, 0, hw, hh));
  IETransitionStretch(Work, Rc(0, H - b, a, H), Target, Rc(0, hh, hw, H));
  IETransitionStretch(Work, Rc(W - a, H - b, W, H), Target, Rc(hw, hh, W, H));
  IETransitionStretch(Work, Rc(W - a, 0, W, b), Target, Rc(hw, 0, W, hh));
}
EFFECT(QuartersSlideInToCenter) {
  EXTENTS;
  const Integer hw = Half(W), hh = Half(H);
  IETransitionStretch(Work, Rc(Half(pw - W), 0, Half(pw) + 1, hh + 1), Target, Rc(0, 0, hw + 1, hh + 1));
  IETransitionStretch(Work, Rc(hw - 1, Half(ph - H), W, Half(ph) + 1), Target, Rc(hw - 1, 0, W, hh + 1));
  IETransitionStretch(Work, Rc(W - Half(pw), hh - 1, W + Half(W - pw), H), Target, Rc(hw + 1, hh - 1, W, H));
  IETransitionStretch(Work, Rc(0, H - Half(ph), hw + 1, H + Half(H - ph)), Target, Rc(0, hh + 1, hw + 1, H));
}
EFFECT(PushLeftAndSlideOut) {
  EXTENTS;
  IETransitionStretch(Work, Rc(0, 0, W - pw, H), Work, Rc(pw, 0, W, H));
  IETransitionStretch(Work, Rc(W - pw, 0, W, H), Target, Rc(0, 0, pw, H));
}
EFFECT(PushRightAndSlideOut) {
  EXTENTS;
  IETransitionStretch(Work, Rc(pw, 0, W, H), Work, Rc(0, 0, W - pw, H));
  IETransitionStretch(Work, Rc(0, 0, pw, H), Target, Rc(W - pw, 0, W, H));
}
EFFECT(PushUpAndSlideOut) {
  EXTENTS;
  IETransitionStretch(Work, Rc(0, 0, W, H - ph), Work, Rc(0, ph, W, H));
  IETransitionStretch(Work, Rc(0, H - ph, W, H), Target, Rc(0, 0, W, ph));
}
EFFECT(PushDownAndSlideOut) {
  EXTENTS;
  IETransitionStretch(Work, Rc(0, ph, W, H), Work, Rc(0, 0, W, H - ph));
  IETransitionStretch(Work, Rc(0, 0, W, ph), Target, Rc(0, H - ph, W, H));
}
EFFECT(PushAndSqueezeLeft) {
  EXTENTS;
  IETransitionStretch(Work, Rc(0, 0, W - pw, H), Work, Rc(0, 0, W, H));
  IETransitionStretch(Work, Rc(W - pw, 0, W, H), Target, Rc(0, 0, pw, H));
}
EFFECT(PushAndSqueezeRight) {
  EXTENTS;
  IETransitionStretch(Work, Rc(pw, 0, W, H), Work, Rc(0, 0, W, H));
  IETransitionStretch(Work, Rc(0, 0, pw, H), Target, Rc(W - pw, 0, W, H));
}
EFFECT(PushAndSqueezeUp) {
  EXTENTS;
  IETransitionStretch(Work, Rc(0, 0, W, H - ph), Work, Rc(0, 0, W, H));
  IETransitionStretch(Work, Rc(0, H - ph, W, H), Target, Rc(0, 0, W, ph));
}
EFFECT(PushAndSqueezeDown) {
  EXTENTS;
  IETransitionStretch(Work, Rc(0, ph, W, H), Work, Rc(0, 0, W, H));
  IETransitionStretch(Work, Rc(0, 0, W, ph), Target, Rc(0, H - ph, W, H));
}

// ----- region effects -----

#define REGION_EFFECT(name)                                                                            \
  void name##Region(TIETransitionRegion& Rg, const TExtents& e);                                      \
  EFFECT(name) {                                                                                       \
    const TExtents e(R, Parameter, Percent);                                                           \
    TIETransitionRegion Rg(std::min(e.W, Work.Width), std::min(e.H, Work.Height));                    \
    name##Region(Rg, e);                                                                               \
    Rg.Paint(Work, Target);                                                                            \
  }                                                                                                    \
  void name##Region(TIETransitionRegion& Rg, const TExtents& e)
#define REGION_EXTENTS                                                       \
  const Integer W = e.W, H = e.H, pw = e.PW, ph = e.PH, u = e.U;            \
  (void)W; (void)H; (void)pw; (void)ph; (void)u

REGION_EFFECT(CurvedWipeFromLeft) { REGION_EXTENTS; Rg.AddRoundRect(-2 * W, -5, 2 * pw, H + 5, 2 * W, 2 * W); }
REGION_EFFECT(CurvedWipeFromRight) { REGION_EXTENTS; Rg.AddRoundRect(W - 2 * pw, -5, 3 * W, H + 5, 2 * W, 2 * W); }
REGION_EFFECT(CurvedWipeFromTop) { REGION_EXTENTS; Rg.AddRoundRect(-5, -2 * H, W + 5, 2 * ph, 2 * H, 2 * H); }
REGION_EFFECT(CurvedWipeFromBottom) { REGION_EXTENTS; Rg.AddRoundRect(-5, H - 2 * ph, W + 5, 3 * H, 2 * H, 2 * H); }
REGION_EFFECT(CurvedWipeFromTopLeft) { REGION_EXTENTS; Rg.AddRoundRect(-2 * W, -2 * H, 2 * pw, 2 * ph, 2 * W, 2 * H); }
REGION_EFFECT(CurvedWipeFromTopRight) {
  REGION_EXTENTS;
  Rg.AddRoundRect(W - 2 * pw, -2 * H, 3 * W, 2 * ph, 2 * W, 2 * H);
}
REGION_EFFECT(CurvedWipeFromBottomLeft) {
  REGION_EXTENTS;
  Rg.AddRoundRect(-2 * W, H - 2 * ph, 2 * pw, 3 * H, 2 * W, 2 * H);
}
REGION_EFFECT(CurvedWipeFromBottomRight) {
  REGION_EXTENTS;
  Rg.AddRoundRect(W - 2 * pw, H - 2 * ph, 3 * W, 3 * H, 2 * H, 2 * H);
}
REGION_EFFECT(CircularWipeFromCenter) {
  REGION_EXTENTS;
  Rg.AddRoundRect(Half(W) - pw, Half(H) - ph, Half(W) + pw, Half(H) + ph, pw * 9 / 5, ph * 9 / 5);
}
REGION_EFFECT(CircularWipeToCenter) {
  REGION_EXTENTS;
  Rg.AddRect(0, 0, W, H);
  Rg.AddRoundRect(pw - Half(W), ph - Half(H), Half(3 * W) - pw, Half(3 * H) - ph, (W - pw) * 9 / 5, (H - ph) * 9 / 5,
                  true);
}

// Adds rectangles given along an axis: (l, r) along it and (t, b) across it; for the vertical
// axis the two are exchanged, so one description serves bars, bands and specks both ways.
struct TAxisRects {
  TIETransitionRegion& Rg;
  bool Horizontal;
  void operator()(Integer l, Integer t, Integer r, Integer b) const {
    if (Horizontal)
      Rg.AddRect(l, t, r, b);
    else
      Rg.AddRect(t, l, b, r);
  }
};

// Bars 5 pixels thick every 10 pixels, growing to length A along x (horizontal mode) and to B
// along y (vertical mode); see the effect table for the modes.
void BarsAxis(TIETransitionRegion& Rg, bool Horizontal, Integer A, Integer Snap, Integer Mode, Integer W, Integer H) {
  if (Mode == 0) return;
  const TAxisRects add{Rg, Horizontal};
  if (A <= W) {
    if (W < A + Snap) A = W;
    for (Integer i = 0; i < H + 5; i += 10) {
      switch (Mode) {
        case 1:
        case 5: add(W - A, i, W, i + 5); break;
        case 2:
        case 4: add(0, i, A, i + 5); break;
        case 3:
          add(0, i + 5, A, i + 10);
          add(W - A, i, W, i + 5);
          break;
        default: break;
      }
    }
  } else {
    for (Integer i = 5; i < H + 5; i += 10) {
      add(0, i - 5, W, i);
      if (Mode == 1 || Mode == 4) add(2 * W - A, i, W, i + 5);
      if (Mode == 2 || Mode == 5) add(0, i, A - W, i + 5);
    }
  }
}

void BarsRegion(TIETransitionRegion& Rg, const TExtents& e, Integer A, Integer B, Integer Snap, Integer HMode,
                Integer VMode) {
  BarsAxis(Rg, true, A, Snap, HMode, e.W, e.H);
  BarsAxis(Rg, false, B, Snap, VMode, e.H, e.W);
}

#define BARS(name, a, b, snap, hm, vm) \
  REGION_EFFECT(name) {                \
    REGION_EXTENTS;                    \
    BarsRegion(Rg, e, a, b, snap, hm, vm); \
  }
BARS(BarsInFromLeft, 2 * pw, 0, u, 2, 0)
BARS(BarsInFromRight, 2 * pw, 0, u, 1, 0)
BARS(BarsFromTop, 0, 2 * ph, u, 0, 2)
BARS(BarsFromBottom, 0, 2 * ph, u, 0, 1)
BARS(BarsLeftThenRight, 2 * pw, 0, u, 4, 0)
BARS(BarsRightThenLeft, 2 * pw, 0, u, 5, 0)
BARS(BarsTopThenBottom, 0, 2 * ph, u, 0, 4)
BARS(BarsBottomThenTop, 0, 2 * ph, u, 0, 5)
BARS(BarsFromBothSides, pw, 0, 0, 3, 0)
BARS(BarsFromTopAndBottom, 0, ph, 0, 0, 3)
BARS(CrisscrossFromTopLeft, 2 * pw, 2 * ph, u, 2, 2)
BARS(CrisscrossFromTopRight, 2 * pw, 2 * ph, u, 1, 2)
BARS(CrisscrossFromBottomLeft, 2 * pw, 2 * ph, u, 2, 1)
BARS(CrisscrossFromBottomRight, 2 * pw, 2 * ph, u, 1, 1)
BARS(CrisscrossBounceFromTopLeft, 2 * pw, 2 * ph, u, 4, 4)
BARS(CrisscrossBounceFromTopRight, 2 * pw, 2 * ph, u, 5, 4)
BARS(CrisscrossBounceFromBottomLeft, 2 * pw, 2 * ph, u, 4, 5)
BARS(CrisscrossBounceFromBottomRight, 2 * pw, 2 * ph, u, 5, 5)
BARS(CrisscrossFromLeftRightAndTop, pw, ph, u, 3, 2)
BARS(CrisscrossFromLeftRightAndBottom, pw, ph, u, 3, 1)
BARS(CrisscrossFromLeftTopAndBottom, pw, ph, u, 2, 3)
BARS(CrisscrossFromTopLeftRightAndBottom, pw, ph, 0, 3, 3)
BARS(CrisscrossFromRightTopAndBottom, pw, ph, u, 1, 3)
REGION_EFFECT(CrisscrossFromBottomLeftTopRight) {
  REGION_EXTENTS;
  BarsRegion(Rg, e, 2 * pw, 2 * ph, u, 1, 1);
  TIETransitionRegion other(W, H);
  BarsRegion(other, e, 2 * pw, 2 * ph, u, 2, 2);
  Rg.IntersectWith(other);
}

// Bands every 5 pixels whose ends are jittered while the effect is under way.
void ShredAxis(TIETransitionRegion& Rg, bool Horizontal, Integer A, Integer Mode, Integer W, Integer H) {
  if (Mode == 0) return;
  const TAxisRects add{Rg, Horizontal};
  const Integer j = A < W ? W / 7 : 0;
  const Integer thick = 5 + H % 5;
  for (Integer y = 0; y < H; y += 5) {
    const Integer bottom = y + thick;
    const Integer r1 = Random(j), r2 = Random(j);
    switch (Mode) {
      case 1: add(W - A + r1 - r2, y, W, bottom); break;
      case 2: add(0, y, A + r1 - r2, bottom); break;
      case 3: {
        const Integer r3 = Random(j), r4 = Random(j);
        add(Half(W - A + r1 - r2), y, Half(W), bottom);
        add(Half(W), y, Half(W + A + r3 - r4), bottom);
        break;
      }
      case 4: {
        const Integer r3 = Random(j), r4 = Random(j);
        add(W - Half(A + r1 - r2), y, W, bottom);
        add(0, y, Half(A + r3 - r4), bottom);
        break;
      }
      default: break;
    }
  }
}

#define SHRED(name, hm, vm)                    \
  REGION_EFFECT(name) {                        \
    REGION_EXTENTS;                            \
    ShredAxis(Rg, true, pw, hm, W, H);         \
    ShredAxis(Rg, false, ph, vm, H, W);        \
  }
SHRED(ShreddedFromLeft, 2, 0)
SHRED(ShreddedFromRight, 1, 0)
SHRED(ShreddedFromTop, 0, 2)
SHRED(ShreddedFromBottom, 0, 1)
SHRED(ShreddedFromTopAndLeft, 2, 2)
SHRED(ShreddedFromTopAndRight, 1, 2)
SHRED(ShreddedFromBottomAndLeft, 2, 1)
SHRED(ShreddedFromBottomAndRight, 1, 1)
SHRED(ShreddedFromHorizonAndLeft, 2, 3)
SHRED(ShreddedFromHorizonAndRight, 1, 3)
SHRED(ShreddedFromTopAndVerticalCenter, 3, 2)
SHRED(ShreddedFromBottomAndVerticalCenter, 3, 1)
SHRED(ShreddedToCenter, 4, 4)
SHRED(ShreddedFromCenter, 3, 3)
SHRED(ShreddedInToHorizon, 0, 4)
SHRED(ShreddedInToVerticalCenter, 4, 0)
SHRED(ShreddedOutFromHorizon, 0, 3)
SHRED(ShreddedOutFromVerticalCenter, 3, 0)

// A band with loose specks running ahead of its edge.
void SpeckleAxis(TIETransitionRegion& Rg, bool Horizontal, Integer A, Integer Mode, Integer W, Integer H) {
  if (Mode == 0) return;
  const TAxisRects add{Rg, Horizontal};
  const Integer g = A < W ? W / 10 : 0;
  const Integer s = std::max(g / 20, 2);
  for (Integer y = 0; y < H; y += Half(s)) {
    if (Mode == 1)
      add(W - A, y, W, y + s);
    else
      add(0, y, A, y + s);
    for (Integer i = g / s; i >= 1; --i) {
      const Integer f = i <= (3 * g / s) / 4 ? 1 : 0;
      if (f < Random(i)) continue;
      if (Mode == 1)
        add(W - A - i * s, y, W - A - i * s + s, y + s);
      else
        add(A + i * s - s, y, A + i * s, y + s);
    }
  }
}

#define SPECKLE(name, hm, vm)                  \
  REGION_EFFECT(name) {                        \
    REGION_EXTENTS;                            \
    SpeckleAxis(Rg, true, pw, hm, W, H);       \
    SpeckleAxis(Rg, false, ph, vm, H, W);      \
  }
SPECKLE(SpeckledWipeFromLeft, 2, 0)
SPECKLE(SpeckledWipeFromRight, 1, 0)
SPECKLE(SpeckledWipeFromTop, 0, 2)
SPECKLE(SpeckledWipeFromBottom, 0, 1)

void TriangleRegion(TIETransitionRegion& Rg, TPoint A, TPoint B, TPoint C) {
  const TPoint p[3] = {A, B, C};
  Rg.AddPolygon(p, 3);
}

REGION_EFFECT(WipeDiagonalFromTopLeft) { REGION_EXTENTS; TriangleRegion(Rg, {0, 0}, {2 * pw, 0}, {0, 2 * ph}); }
REGION_EFFECT(WipeDiagonalFromTopRight) { REGION_EXTENTS; TriangleRegion(Rg, {W, 0}, {W - 2 * pw, 0}, {W, 2 * ph}); }
REGION_EFFECT(WipeDiagonalFromBottomLeft) { REGION_EXTENTS; TriangleRegion(Rg, {0, H}, {2 * pw, H}, {0, H - 2 * ph}); }
REGION_EFFECT(WipeDiagonalFromBottomRight) {
  REGION_EXTENTS;
  TriangleRegion(Rg, {W, H}, {W - 2 * pw, H}, {W, H - 2 * ph});
}
REGION_EFFECT(DiagonalSweepClockwise) {
  REGION_EXTENTS;
  TriangleRegion(Rg, {W, 0}, {0, 0}, {W, ph});
  TriangleRegion(Rg, {W, H}, {0, H}, {0, H - ph});
}
REGION_EFFECT(DiagonalSweepCounterClockwise) {
  REGION_EXTENTS;
  TriangleRegion(Rg, {0, H}, {0, 0}, {pw, H});
  TriangleRegion(Rg, {W, H}, {W, 0}, {W - pw, 0});
}
REGION_EFFECT(StarburstClockwiseFromCenter) {
  REGION_EXTENTS;
  const TPoint c{Half(W), Half(H)};
  TriangleRegion(Rg, c, {0, H}, {0, H - ph});
  TriangleRegion(Rg, {0, 0}, {pw, 0}, c);
  TriangleRegion(Rg, {W - pw, H}, c, {W, H});
  TriangleRegion(Rg, c, {W, 0}, {W, ph});
}
REGION_EFFECT(TriangularShredToTopLeft) {
  REGION_EXTENTS;
  const Integer n = u > 1 ? Half(u) : u;
  const Integer w1 = W / n, h1 = H / n, p = pw / n, q = ph / n;
  for (Integer c = n; c >= 0; --c)
    for (Integer d = n; d >= 0; --d)
      TriangleRegion(Rg, {d * w1 - p, c * h1 - q}, {d * w1 + p, c * h1 - q}, {d * w1 - p, c * h1 + q});
}
REGION_EFFECT(RectangularShred) {
  REGION_EXTENTS;
  const Integer p = pw / u, q = ph / u;
  const Integer n = u > 1 ? Half(u) : u;
  const Integer w1 = W / n, h1 = H / n;
  for (Integer c = n; c >= 0; --c)
    for (Integer d = n; d >= 0; --d) Rg.AddRect(d * w1 - p, c * h1 - q, d * w1 + p, c * h1 + q);
}

void PieRegion(TIETransitionRegion& Rg, const TExtents& e, bool Clockwise) {
  const Integer percent = e.Percent;
  if (percent == 0) return;
  const Integer cx = Half(e.W), cy = Half(e.H);
  const double r = IECeil(std::sqrt(double(cx) * cx + double(cy) * cy));
  const double pi = std::numbers::pi;
  const double end = (Clockwise ? percent : -percent) * pi / 50 - pi / 2;
  std::vector<TPoint> p;
  p.push_back({cx, cy});
  for (Integer i = 0; i < percent; ++i) {
    const double a = -pi / 2 + i * (end + pi / 2) / percent;
    p.push_back({cx + SafeRound<Integer>(r * std::cos(a)), cy + SafeRound<Integer>(r * std::sin(a))});
  }
  Rg.AddPolygon(p.data(), Integer(p.size()));
}
REGION_EFFECT(SweepClockwise) { PieRegion(Rg, e, true); }
REGION_EFFECT(SweepCounterClockwise) { PieRegion(Rg, e, false); }

void RotatePoints(TPoint* Points, Integer Count, double Angle, TPoint Centre) {
  const double c = std::cos(Angle), s = std::sin(Angle);
  for (Integer i = 0; i < Count; ++i) {
    const double dx = Points[i].X - Centre.X, dy = Points[i].Y - Centre.Y;
    Points[i] = {Centre.X + SafeRound<Integer>(dx * c - dy * s), Centre.Y + SafeRound<Integer>(dx * s + dy * c)};
  }
}
REGION_EFFECT(RotationalRectangle) {
  REGION_EXTENTS;
  const Integer cx = Half(W), cy = Half(H), a = Half(pw), b = Half(ph);
  TPoint p[4] = {{cx - a, cy - b}, {cx + a, cy - b}, {cx + a, cy + b}, {cx - a, cy + b}};
  RotatePoints(p, 4, e.Percent * std::numbers::pi / 50, {cx, cy});
  Rg.AddPolygon(p, 4);
}
REGION_EFFECT(RotationalStar) {
  REGION_EXTENTS;
  const Integer cx = Half(W), cy = Half(H), a = Half(pw), b = Half(ph);
  TPoint p[8] = {{cx - 2 * pw, cy}, {cx - a, cy - b}, {cx, cy - 2 * ph}, {cx + a, cy - b},
                 {cx + 2 * pw, cy}, {cx + a, cy + b}, {cx, cy + 2 * ph}, {cx - a, cy + b}};
  RotatePoints(p, 8, e.Percent * std::numbers::pi / 50, {cx, cy});
  Rg.AddPolygon(p, 8);
}

// Strips of Percent % of a period c, repeated at that period across an axis of length L.
// Forward strips open at the start of each period, backward ones at its end.
void Blinds(TIETransitionRegion& Rg, bool Horizontal, Integer c, Integer Percent, Integer L, Integer Across,
            bool Backward) {
  c = std::max(c, 1);
  const Integer open = Integer(Int64(Percent) * c / 100);
  auto add = [&](Integer a, Integer b) {
    if (Horizontal)
      Rg.AddRect(a, 0, b, Across);
    else
      Rg.AddRect(0, a, Across, b);
  };
  if (!Backward) {
    for (Integer l = 0; l < L; l += c) add(l, l + open);
  } else {
    for (Integer r = L; r >= 0; r -= c) add(r - open, r);
  }
}
// Strips centred in each period c, Percent % of it thick.
void CentredStrips(TIETransitionRegion& Rg, bool Horizontal, Integer c, Integer Percent, Integer L, Integer Across) {
  c = std::max(c, 1);
  const Integer d = Integer(Int64(Percent) * c / 200);
  for (Integer t = Half(c) - d; t < L; t += c) {
    if (Horizontal)
      Rg.AddRect(t, 0, t + 2 * d, Across);
    else
      Rg.AddRect(0, t, Across, t + 2 * d);
  }
}

REGION_EFFECT(VerticalBlinds) { REGION_EXTENTS; Blinds(Rg, true, W / u, e.Percent, W, H, false); }
REGION_EFFECT(HorizontalBlinds) { REGION_EXTENTS; Blinds(Rg, false, H / u, e.Percent, H, W, false); }
REGION_EFFECT(UnevenBlindsFromLeft) { REGION_EXTENTS; Blinds(Rg, true, pw, e.Percent, W, H, false); }
REGION_EFFECT(UnevenBlindsFromRight) { REGION_EXTENTS; Blinds(Rg, true, pw, e.Percent, W, H, true); }
REGION_EFFECT(UnevenBlindsFromTop) { REGION_EXTENTS; Blinds(Rg, false, ph, e.Percent, H, W, false); }
REGION_EFFECT(UnevenBlindsFromBottom) { REGION_EXTENTS; Blinds(Rg, false, ph, e.Percent, H, W, true); }
REGION_EFFECT(RectanglesFromTheLeft) {
  REGION_EXTENTS;
  CentredStrips(Rg, false, H / u, e.Percent, H, W);
  Blinds(Rg, true, pw, e.Percent, W, H, false);
}
REGION_EFFECT(RectanglesFromTheRight) {
  REGION_EXTENTS;
  CentredStrips(Rg, false, H / u, e.Percent, H, W);
  Blinds(Rg, true, pw, e.Percent, W, H, true);
}
REGION_EFFECT(RectanglesFromTheTop) {
  REGION_EXTENTS;
  CentredStrips(Rg, true, W / u, e.Percent, W, H);
  Blinds(Rg, false, ph, e.Percent, H, W, false);
}
REGION_EFFECT(RectanglesFromTheBottom) {
  REGION_EXTENTS;
  CentredStrips(Rg, true, W / u, e.Percent, W, H);
  Blinds(Rg, false, ph, e.Percent, H, W, true);
}

#undef EFFECT
#undef EXTENTS
#undef REGION_EFFECT
#undef REGION_EXTENTS
#undef BARS
#undef SHRED
#undef SPECKLE

}  // namespace

const TTransitionEffectRow TransitionEffectTable[IETransitionEffectCount] = {
    {"Cross Fade", nullptr},
    {"Fade Out", nullptr},
    {"Fade In", nullptr},
    {"Fade Out then In", nullptr},
    {"Wipe Left to Right", nullptr},
    {"Wipe Left to Right 2", nullptr},
    {"Wipe Right to Left", nullptr},
    {"Wipe Right to Left 2", nullptr},
    {"Wipe Top to Bottom", nullptr},
    {"Wipe Top to Bottom 2", nullptr},
    {"Wipe Bottom to Top", nullptr},
    {"Wipe Bottom to Top 2", nullptr},
    {"Slide from Top Left", nullptr},
    {"Slide from Top Right", nullptr},
    {"Slide from Bottom Left", nullptr},
    {"Slide from Bottom Right", nullptr},
    {"Push Left to Right", nullptr},
    {"Slide Out Left to Right", nullptr},
    {"Push Right to Left", nullptr},
    {"Slide Out Right to Left", nullptr},
    {"Push Top to Bottom", nullptr},
    {"Slide Out Top to Bottom", nullptr},
    {"Push Bottom to Top", nullptr},
    {"Slide Out Bottom to Top", nullptr},
    {"Random Points", nullptr},
    {"Random Boxes", nullptr},
    {"Wipe Out from Center", nullptr},
    {"Wipe In to Center", nullptr},
    {"Expand Out from Center", nullptr},
    {"Expand In to Center", nullptr},
    {"Expand from Left", ExpandFromLeft},
    {"Expand from Right", ExpandFromRight},
    {"Expand from Top", ExpandFromTop},
    {"Expand from Bottom", ExpandFromBottom},
    {"Expand from Top Left", ExpandFromTopLeft},
    {"Expand from Top Right", ExpandFromTopRight},
    {"Expand from Bottom Left", ExpandFromBottomLeft},
    {"Expand from Bottom Right", ExpandFromBottomRight},
    {"Expand in from Left", ExpandInFromLeft},
    {"Expand in from Right", ExpandInFromRight},
    {"Expand in from Top", ExpandInFromTop},
    {"Expand in from Bottom", ExpandInFromBottom},
    {"Expand in to Vertical Center", ExpandInToVerticalCenter},
    {"Expand in to Horizon", ExpandInToHorizon},
    {"Expand in from Sides", ExpandInFromSides},
    {"Expand in from Top and Bottom", ExpandInFromTopAndBottom},
    {"Expand out from Horizon", ExpandOutFromHorizon},
    {"Expand out from Vertical Center", ExpandOutFromVerticalCenter},
    {"Wipe from Top Left", WipeFromTopLeft},
    {"Wipe from Top Right", WipeFromTopRight},
    {"Wipe from Bottom Left", WipeFromBottomLeft},
    {"Wipe from Bottom Right", WipeFromBottomRight},
    {"Wipe from Horizon", WipeFromHorizon},
    {"Wipe in from Sides", WipeInFromSides},
    {"Wipe out from Vertical Center", WipeOutFromVerticalCenter},
    {"Build up from Left", BuildUpFromLeft},
    {"Build up from Right", BuildUpFromRight},
    {"Build up from Top", BuildUpFromTop},
    {"Build up from Bottom", BuildUpFromBottom},
    {"Unroll from Left", UnrollFromLeft},
    {"Unroll from Right", UnrollFromRight},
    {"Unroll from Top", UnrollFromTop},
    {"Unroll from Bottom", UnrollFromBottom},
    {"Slide in from Left", SlideInFromLeft},
    {"Slide in from Right", SlideInFromRight},
    {"Slide in from Top", SlideInFromTop},
    {"Slide in from Bottom", SlideInFromBottom},
    {"Slide in from Top and Bottom", SlideInFromTopAndBottom},
    {"Shrink to Top Left", ShrinkToTopLeft},
    {"Shrink to Top Right", ShrinkToTopRight},
    {"Shrink to Bottom Left", ShrinkToBottomLeft},
    {"Shrink to Bottom Right", ShrinkToBottomRight},
    {"Shrink to Center", ShrinkToCenter},
    {"Quarters Wipe in to Center", QuartersWipeInToCenter},
    {"Quarters Expand to Center", QuartersExpandToCenter},
    {"Quarters Slide in to Center", QuartersSlideInToCenter},
    {"Curved Wipe from Left", CurvedWipeFromLeft},
    {"Curved Wipe from Right", CurvedWipeFromRight},
    {"Curved Wipe from Top", CurvedWipeFromTop},
    {"Curved Wipe from Bottom", CurvedWipeFromBottom},
    {"Bars in from Left", BarsInFromLeft},
    {"Bars in from Right", BarsInFromRight},
    {"Bars from Top", BarsFromTop},
    {"Bars from Bottom", BarsFromBottom},
    {"Bars Left then Right", BarsLeftThenRight},
    {"Bars Right then Left", BarsRightThenLeft},
    {"Bars Top then Bottom", BarsTopThenBottom},
    {"Bars Bottom then Top", BarsBottomThenTop},
    {"Bars from both Sides", BarsFromBothSides},
    {"Bars from Top and Bottom", BarsFromTopAndBottom},
    {"Shredded from Left", ShreddedFromLeft},
    {"Shredded from Right", ShreddedFromRight},
    {"Shredded from Top", ShreddedFromTop},
    {"Shredded from Bottom", ShreddedFromBottom},
    {"Shredded from Top and Left", ShreddedFromTopAndLeft},
    {"Shredded from Top and Right", ShreddedFromTopAndRight},
    {"Shredded from Bottom and Left", ShreddedFromBottomAndLeft},
    {"Shredded from Bottom and Right", ShreddedFromBottomAndRight},
    {"Shredded from Horizon and Left", ShreddedFromHorizonAndLeft},
    {"Shredded from Horizon and Right", ShreddedFromHorizonAndRight},
    {"Shredded from Top and Vertical Center", ShreddedFromTopAndVerticalCenter},
    {"Shredded from Bottom and Vertical Center", ShreddedFromBottomAndVerticalCenter},
    {"Shredded to Center", ShreddedToCenter},
    {"Shredded from Center", ShreddedFromCenter},
    {"Shredded in to Horizon", ShreddedInToHorizon},
    {"Shredded in to Vertical Center", ShreddedInToVerticalCenter},
    {"Shredded out from Horizon", ShreddedOutFromHorizon},
    {"Shredded out from Vertical Center", ShreddedOutFromVerticalCenter},
    {"Rectangular Shred", RectangularShred},
    {"Triangular Shred to Top Left", TriangularShredToTopLeft},
    {"Curved Wipe from Top Left", CurvedWipeFromTopLeft},
    {"Curved Wipe from Top Right", CurvedWipeFromTopRight},
    {"Curved Wipe from Bottom Left", CurvedWipeFromBottomLeft},
    {"Curved Wipe from Bottom Right", CurvedWipeFromBottomRight},
    {"Circular Wipe from Center", CircularWipeFromCenter},
    {"Circular Wipe to Center", CircularWipeToCenter},
    {"Crisscross Wipe from Top Left", CrisscrossFromTopLeft},
    {"Crisscross Wipe from Top Right", CrisscrossFromTopRight},
    {"Crisscross Wipe from Bottom Left", CrisscrossFromBottomLeft},
    {"Crisscross Wipe from Bottom Right", CrisscrossFromBottomRight},
    {"Crisscross Wipe Bounce from Top Left", CrisscrossBounceFromTopLeft},
    {"Crisscross Wipe Bounce from Top Right", CrisscrossBounceFromTopRight},
    {"Crisscross Wipe Bounce from Bottom Left", CrisscrossBounceFromBottomLeft},
    {"Crisscross Wipe Bounce from Bottom Right", CrisscrossBounceFromBottomRight},
    {"Crisscross Wipe from Left Right and Top", CrisscrossFromLeftRightAndTop},
    {"Crisscross Wipe from Left Right and Bottom", CrisscrossFromLeftRightAndBottom},
    {"Crisscross Wipe from Left Top and Bottom", CrisscrossFromLeftTopAndBottom},
    {"Crisscross Wipe from Top Left Right and Bottom", CrisscrossFromTopLeftRightAndBottom},
    {"Crisscross Wipe from Right Top and Bottom", CrisscrossFromRightTopAndBottom},
    {"Crisscross Wipe from Bottom Left Top Right", CrisscrossFromBottomLeftTopRight},
    {"Wipe diagonal from Top Left", WipeDiagonalFromTopLeft},
    {"Wipe diagonal from Top Right", WipeDiagonalFromTopRight},
    {"Wipe diagonal from Bottom Left", WipeDiagonalFromBottomLeft},
    {"Wipe diagonal from Bottom Right", WipeDiagonalFromBottomRight},
    {"Diagonal Sweep Clockwise", DiagonalSweepClockwise},
    {"Diagonal Sweep Counter-Clockwise", DiagonalSweepCounterClockwise},
    {"Sweep Clockwise", SweepClockwise},
    {"Sweep Counter-Clockwise", SweepCounterClockwise},
    {"Starburst Clockwise from Center", StarburstClockwiseFromCenter},
    {"Rotational Rectangle", RotationalRectangle},
    {"Rotational Star", RotationalStar},
    {"Speckled Wipe from Left", SpeckledWipeFromLeft},
    {"Speckled Wipe from Right", SpeckledWipeFromRight},
    {"Speckled Wipe from Top", SpeckledWipeFromTop},
    {"Speckled Wipe from Bottom", SpeckledWipeFromBottom},
    {"Push Left and Slide out", PushLeftAndSlideOut},
    {"Push Right and Slide out", PushRightAndSlideOut},
    {"Push up and Slide out", PushUpAndSlideOut},
    {"Push down and Slide out", PushDownAndSlideOut},
    {"Push and Squeeze Left", PushAndSqueezeLeft},
    {"Push and Squeeze Right", PushAndSqueezeRight},
    {"Push and Squeeze up", PushAndSqueezeUp},
    {"Push and Squeeze down", PushAndSqueezeDown},
    {"Horizontal Blinds", HorizontalBlinds},
    {"Vertical Blinds", VerticalBlinds},
    {"Uneven Blinds from Left", UnevenBlindsFromLeft},
    {"Uneven Blinds from Right", UnevenBlindsFromRight},
    {"Uneven Blinds from Top", UnevenBlindsFromTop},
    {"Uneven Blinds from Bottom", UnevenBlindsFromBottom},
    {"Rectangles from the Left", RectanglesFromTheLeft},
    {"Rectangles from the Right", RectanglesFromTheRight},
    {"Rectangles from the Top", RectanglesFromTheTop},
    {"Rectangles from the Bottom", RectanglesFromTheBottom},
};
