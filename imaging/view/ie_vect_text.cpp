// The kinds that carry text or a measurement: single-line texts (straight or along a curve),
// memos, the label of a labelled line, rulers and angles. Text goes through the plain canvas.
#include <algorithm>
#include <cmath>

#include "imaging/core/ie_canvas.h"
#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_text.h"
#include "imaging/view/ie_vect.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/sysutils.h"

namespace {
constexpr double kPi = 3.14159265358979323846;

// Toward zero; NaN and values beyond int32 never reach the conversion.
Integer T(double V) { return SafeTrunc<Integer>(V); }

void Grow(TRect& R, Integer X, Integer Y) { IEAddPointToRect(R, X, Y); }

// The object's font on the canvas at the zoomed height; H0 replaces a height of 0.
void SelectObjectFont(TIECanvas* C, const TIEVObjectRec& o, double ZoomY, Integer H0) {
  const TIELogFont L = o.Font ? *o.Font : TIELogFont();
  Integer h = L.Height();
  h = h == 0 ? H0 : T(h * ZoomY);
  L.ToFont(C->GetFont(), h);
  C->GetFont()->SetColor(o.PenColor);
}

// Rulers and angles: a solid unzoomed pen, no fill, the font at its point size over the zoom.
void MeasurementTools(TIECanvas* C, TColor PenColor, Integer PenWidth, double InvZoomY, const TIELogFont& Font) {
  TCanvas* Cv = C->GetHandle();
  C->Pen()->SetMode(pmCopy);
  C->Pen()->SetWidth(float(PenWidth));
  C->Pen()->SetStyle(psSolid);
  C->Pen()->SetColor(PenColor);
  C->Brush()->SetStyle(bsClear);
  Cv->Brush()->SetStyle(bsClear);
  Font.ToFont(Cv->Font(), 0);
  Cv->Font()->SetSize(std::max(3, T(std::abs(Font.Height()) / InvZoomY)));
  Cv->Font()->SetOrientation(0);
  Cv->Font()->SetColor(PenColor);
}

AnsiString FloatText(TZodivErVect* V, double Value) {
  AnsiString S;
  IEFloatToStrF(Value, ffFixed, V->FloatPrecision(), V->FloatDigits(), S);
  return S;
}
}  // namespace

TIELogFont TZodivErVect::DefaultFont(Integer Height) const {
  TIELogFont L = FTemplate.Font ? *FTemplate.Font : TIELogFont();
  L.SetHeight(Height);
  L.SetFaceName("Arial");
  return L;
}

void TZodivErVect::DrawTextObject(TIECanvas* C, Integer x1, Integer y1, Integer x2, Integer y2, TIEVObjectRec& o,
                                  double ZoomX, double ZoomY, TRect& Extent) {
  if (!o.Text) return;
  const AnsiString& Text = *o.Text;
  if (o.CurvePoints.empty()) {
    // Under its edit box the object shows only its outline, one pixel outside the box, so the
    // text being typed is not seen twice.
    if (IsEditingText() && !FEditingMemo && &o == GetObjectRec(FEditedObject)) {
      C->Brush()->SetStyle(bsClear);
      C->Rectangle(x1 - 1, y1 - 1, x2 + 1, y2 + 1);
      Grow(Extent, x1 - 1, y1 - 1), Grow(Extent, x2, y2);
      return;
    }
    SelectObjectFont(C, o, ZoomY, y2 - y1);
    const double m = (o.Font ? o.Font->Escapement() : 0) / 10.0 * kPi / 180.0;
    const Integer tw = C->TextWidth(Text), th = C->TextHeight(Text);
    const Integer yo = T((y2 - y1) - std::cos(m) * th + std::sin(m) * tw) / 2;
    Integer xo = 0;
    const Integer Gap = o.PenStyle == psClear ? 0 : SafeRound<Integer>(((o.PenWidth + 1) * ZoomX));
    switch (o.TextAlign) {
      case 0: xo = std::abs(T(std::sin(m) * th)) + Gap; break;
      case 1: xo = T((x2 - x1) - std::cos(m) * tw) - Gap; break;
      case 2:
      case 3: xo = T((x2 - x1) - std::cos(m) * tw - std::sin(m) * th) / 2; break;
      default: break;
    }
    C->Rectangle(x1, y1, x2 + 1, y2 + 1);
    C->GetHandle()->Brush()->SetStyle(bsClear);
    C->TextRect(TRect{x1, y1, x2, y2}, x1 + xo, y1 + yo, Text);
    Grow(Extent, x1, y1), Grow(Extent, x2, y2);
    return;
  }
  if (Text.empty()) return;
  // Characters spread evenly along the curve, each turned along it unless a fixed rotation is
  // asked for.
  SelectObjectFont(C, o, ZoomY, y2 - y1);
  const double bw = std::abs(x2 - x1), bh = std::abs(y2 - y1);
  const auto& Pt = o.CurvePoints;
  double L = 0;
  for (size_t i = 1; i < Pt.size(); ++i)
    L += std::hypot(std::abs(Pt[i].X - Pt[i - 1].X) * bw, std::abs(Pt[i].Y - Pt[i - 1].Y) * bh);
  const Integer s = T(L / Text.size());
  if (s <= 0) return;
  double px = Pt[0].X * bw, py = Pt[0].Y * bh, a = 0;
  size_t ci = 0;
  TCanvas* Cv = C->GetHandle();
  Cv->Brush()->SetStyle(bsClear);
  const Integer SavedOrientation = Cv->Font()->Orientation();
  for (size_t i = 1; i < Pt.size() && ci < Text.size(); ++i) {
    const double qx = Pt[i].X * bw, qy = Pt[i].Y * bh;
    a += std::hypot(qx - px, qy - py);
    while (a >= s && ci < Text.size()) {
      if (a != 0) {
        const double nx = px + (qx - px) * s / a, ny = py + (qy - py) * s / a;
        Integer esc;
        if (o.CurveCharRotation == -10) {
          const double dx = nx - px, dy = ny - py;
          if (std::abs(dx) >= 0.01) {
            double ang = std::atan(-dy / dx);
            if (px > nx) ang += kPi;
            esc = T(ang * 180 / kPi * 10 + 0.5);
          } else {
            esc = dy > 0 ? 2700 : 900;
          }
        } else {
          esc = o.CurveCharRotation;
        }
        Cv->Font()->SetOrientation(esc);
        const Integer cx = T(px) + std::min(x1, x2), cy = T(py) + std::min(y1, y2);
        const AnsiString ch(1, Text[ci]);
        const Integer gw = Cv->TextWidth(ch), gh = Cv->TextHeight(ch);
        // The canvas draws from the top-left; centre the glyph on the baseline point.
        Cv->TextOut(cx - gw / 2, cy - gh * 3 / 4, ch);
        Grow(Extent, cx, cy), Grow(Extent, cx + gw, cy + gh), Grow(Extent, cx - gw, cy - gh);
        px = nx, py = ny;
      }
      ++ci;
      a -= s;
    }
    px = qx, py = qy;
  }
  Cv->Font()->SetOrientation(SavedOrientation);
}

void TZodivErVect::DrawMemoObject(TIECanvas* C, Integer x1, Integer y1, Integer x2, Integer y2, TIEVObjectRec& o,
                                  double ZoomX, double ZoomY, TRect& Extent) {
  (void)ZoomX;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  TCanvas* Cv = C->GetHandle();
  // Frame and fill of the box.
  C->Pen()->SetColor(o.MemoBorderColor);
  C->Pen()->SetStyle(static_cast<TPenStyle>(std::min<Byte>(o.MemoBorderStyle, psInsideFrame)));
  C->Pen()->SetWidth(1);
  C->Rectangle(x1, y1, x2 + 1, y2 + 1);
  Grow(Extent, x1, y1), Grow(Extent, x2, y2);
  if (!o.Text || o.Text->empty()) return;
  // Word-wrapped lines in the object's one font inside the margins.
  SelectObjectFont(C, o, ZoomY, -12);
  const Integer W = x2 - x1 + 1, H = y2 - y1 + 1;
  const Integer L = x1 + T(W * o.MemoMargins[0] / 100) + 1, Tp = y1 + T(H * o.MemoMargins[1] / 100) + 1;
  const Integer AW = T(W - W * (o.MemoMargins[0] + o.MemoMargins[2]) / 100) - 2;
  const Integer AH = T(H - H * (o.MemoMargins[1] + o.MemoMargins[3]) / 100) - 2;
  if (AW < 2 || AH < 2) return;
  Cv->Brush()->SetStyle(bsClear);
  const AnsiString& S = *o.Text;
  const Integer LineH = std::max(1, Cv->TextHeight("Wg") + o.MemoLineSpacing);
  Integer y = 0;
  size_t i = 0;
  const TRect Clip{L, Tp, L + AW, Tp + AH};
  while (i < S.size() && y + LineH <= AH + LineH / 2) {
    size_t End = i, LastBlank = AnsiString::npos;
    while (End < S.size() && S[End] != '\n' && S[End] != '\r') {
      if (Cv->TextWidth(S.substr(i, End - i + 1)) + 2 >= AW) break;
      if (S[End] == ' ') LastBlank = End;
      ++End;
    }
    if (End < S.size() && S[End] != '\n' && S[End] != '\r') {
      if (LastBlank != AnsiString::npos) End = LastBlank + 1;
      if (End == i) break;  // not even one character fits
    }
    const AnsiString Line = S.substr(i, End - i);
    Integer x = 0;
    const Integer lw = Cv->TextWidth(Line);
    if (o.TextAlign == 1) x = AW - lw - 1;
    if (o.TextAlign == 2) x = (AW - lw) / 2;
    Cv->TextRect(Clip, L + x, Tp + y, Line);
    y += LineH;
    i = End;
    if (i < S.size() && S[i] == '\r') ++i;
    if (i < S.size() && S[i] == '\n') ++i;
  }
}

void TZodivErVect::DrawLineLabel(TIECanvas* C, Integer x1, Integer y1, Integer x2, Integer y2, TIEVObjectRec& o,
                                 double ZoomX, double ZoomY, TRect& Extent) {
  (void)ZoomX;
  if (!o.Text) return;
  if (o.LabelPosition == 1) std::swap(x1, x2), std::swap(y1, y2);
  SelectObjectFont(C, o, ZoomY, -12);
  TCanvas* Cv = C->GetHandle();
  const AnsiString& Text = *o.Text;
  const Integer tw = C->TextWidth(Text), th = C->TextHeight(Text);
  const Integer l = x1 < x2 ? x1 - tw : x1, t = y1 < y2 ? y1 - th : y1, r = l + tw, b = t + th;
  C->Brush()->SetColor(o.LabelBrushColor);
  C->Brush()->SetStyle(static_cast<TBrushStyle>(std::min<Byte>(o.LabelBrushStyle, bsDiagCross)));
  C->Pen()->SetStyle(o.LabelShape != 0 ? psSolid : psClear);
  C->Pen()->SetWidth(1);
  C->Pen()->SetColor(o.PenColor);
  switch (o.LabelShape) {
    case 2: C->RoundRect(l, t, r + 1, b + 1, 10, 10); break;
    case 3:
      C->Ellipse(l, t - th, r + 1, b + th + 1);
      Grow(Extent, l, t - th), Grow(Extent, r + 1, b + th + 1);
      break;
    default: C->Rectangle(l, t, r + 1, b + 1); break;
  }
  Cv->Brush()->SetStyle(bsClear);
  // The box is exactly the text's extent, so an unrotated label needs no offset.
  C->TextRect(TRect{l, t, r, b}, l, t, Text);
  Grow(Extent, l, t), Grow(Extent, r, b);
  o.LabelBox = TRect{ScreenToBitmapX(l), ScreenToBitmapY(t), ScreenToBitmapX(r), ScreenToBitmapY(b)};
}

void TZodivErVect::DrawRuler(TIECanvas* C, Integer x1, Integer y1, Integer x2, Integer y2, double Length,
                             TIEUnits Unit, TColor PenColor, Integer PenWidth, Byte RulerType, double InvZoomX,
                             double InvZoomY, TRect& Extent, const TIELogFont& Font) {
  if (x1 == x2 && y1 == y2) return;
  TCanvas* Cv = C->GetHandle();
  MeasurementTools(C, PenColor, PenWidth, InvZoomY, Font);
  C->DrawLine(x1, y1, x2, y2);
  Grow(Extent, x1, y1), Grow(Extent, x2, y2);
  double a;
  if (x1 == x2)
    a = y1 < y2 ? -kPi / 2 : kPi / 2;
  else
    a = IEAngleBetweenSegments(x1, y1, x2, y2, x1, y2);
  const bool Falling = (x1 < x2 && y1 < y2) || (x2 < x1 && y2 < y1);
  const double r = Falling ? 2 * kPi - a + kPi / 2 : a + kPi / 2;
  double c = std::cos(r), s = std::sin(r);
  if (y1 == y2 && RulerType == 0) c = 0, s = -1;
  const double B = IEDistance(x1, y1, x2, y2);
  if (RulerType == 0) {
    const Integer L6 = T(6 / InvZoomY), L8 = T(8 / InvZoomY), L12 = T(12 / InvZoomY);
    double fx, fy;
    ComputeUnitScale(Unit, fx, fy);
    const double ux = fx * InvZoomX * 10, uy = fy * InvZoomY * 10;
    if (ux == 0 || uy == 0) return;
    double Prev = 0;
    // A guard against a unit so small that the walk would never reach the end in reasonable time.
    for (Integer i = 0; Prev < B && i < 1000000; ++i) {
      const double sx = i / ux, sy = i / uy;
      double dx, dy;
      if (x1 > x2)
        dx = sx * s, dy = -sy * c;
      else
        dx = -sx * s, dy = sy * c;
      Prev = T(std::sqrt(dx * dx + dy * dy));
      if (!IEPointInRectNormalized(x1 + T(dx), y1 + T(dy), x1, y1, x2, y2)) continue;
      const Integer Len = i % 10 == 0 ? L12 : i % 5 == 0 ? L8 : L6;
      const Integer H = x1 + T(c * Len + dx), I = y1 + T(s * Len + dy);
      const Integer H2 = x1 + T(-c * Len + dx), I2 = y1 + T(-s * Len + dy);
      C->DrawLine(H, I, H2, I2);
      Grow(Extent, H, I), Grow(Extent, H2, I2);
      if (i % 10 == 0) {
        const AnsiString N = IntToStr(i / 10);
        const Integer n = 2 * Cv->TextHeight(N) + 1, m = Cv->TextWidth(N) / 2;
        Integer tx, ty;
        if (Falling)
          tx = T(H + n * c - 2 * m * c + m * s), ty = T(I + n * s - m * c) + 20;
        else
          tx = T(H + n * c + m * s), ty = T(I + n * s + m * c) + 20;
        Cv->TextOut(tx, ty, N);
        Grow(Extent, tx - 15, ty - 15), Grow(Extent, tx + 15, ty + 15);
      }
    }
    return;
  }
  const Integer F = T(9 / InvZoomX), G = T(9 / InvZoomY);
  for (const TPoint& e : {TPoint{x1, y1}, TPoint{x2, y2}}) {
    const Integer ax = e.X + T(c * F), ay = e.Y + T(s * G), bx = e.X + T(-c * F), by = e.Y + T(-s * G);
    C->DrawLine(ax, ay, bx, by);
    Grow(Extent, ax, ay), Grow(Extent, bx, by);
  }
  const double sa = IESegmentAngle(x1, y1, x2, y2);
  double t = 2 * kPi - sa;
  if (t > kPi / 2 && t <= 3 * kPi / 2) t -= kPi;
  Cv->Font()->SetOrientation(T(-t * 180 / kPi * 10));
  AnsiString Text = FloatText(this, Length) + " " + IEUnitNames[std::min<Integer>(Unit, 7)];
  if (RulerType == 1) Text = " " + Text;
  if (RulerType == 3) Text = Text + " ";
  const Integer tw = Cv->TextWidth(Text), th = Cv->TextHeight(Text);
  const bool FromStart = sa < kPi / 2 - 1e-6 || sa > 3 * kPi / 2;
  Integer ax, ay;
  if (RulerType == 1) {
    ax = FromStart ? x1 : x2, ay = FromStart ? y1 : y2;
  } else if (RulerType == 3) {
    const Integer ox = T(std::cos(t) * (B - tw)), oy = T(std::sin(t) * (B - tw));
    ax = (FromStart ? x1 : x2) + ox, ay = (FromStart ? y1 : y2) + oy;
  } else if (FromStart) {
    ax = x1 + T(std::cos(t) * (B - tw) / 2), ay = y1 + T(std::sin(t) * (B - tw) / 2);
  } else {
    ax = x1 - T(std::cos(t) * (tw + B) / 2), ay = y1 - T(std::sin(t) * (tw + B) / 2);
  }
  Cv->TextOut(ax, ay, Text);
  const Integer fx = ax + T(std::cos(t) * tw - std::sin(t) * th), fy = ay + T(std::sin(t) * tw + std::cos(t) * th);
  for (const TPoint& p : {TPoint{ax, ay}, TPoint{fx, fy}})
    Grow(Extent, p.X, p.Y), Grow(Extent, p.X - 15, p.Y - 15), Grow(Extent, p.X + 15, p.Y + 15);
  Cv->Font()->SetOrientation(0);
}

void TZodivErVect::DrawAngle(TIECanvas* C, const TPoint P[3], TColor PenColor, Integer PenWidth, TRect& Extent,
                             double InvZoomX, double InvZoomY, const TIELogFont& Font) {
  (void)InvZoomX;
  if (P[0].X == IEV_UNPLACED) return;
  TCanvas* Cv = C->GetHandle();
  MeasurementTools(C, PenColor, PenWidth, InvZoomY, Font);
  std::vector<TPoint> Placed;
  for (Integer i = 0; i < 3 && P[i].X != IEV_UNPLACED; ++i) Placed.push_back(P[i]);
  if (Placed.size() >= 2) C->Polyline(Placed);
  for (const TPoint& p : Placed) Grow(Extent, p.X, p.Y);
  if (Placed.size() < 3) return;
  const double v = IEVertexAngle(P[0].X, P[0].Y, P[1].X, P[1].Y, P[2].X, P[2].Y) * 180 / kPi;
  const AnsiString Text = FloatText(this, v) + "\xC2\xB0";
  Cv->TextOut(P[1].X, P[1].Y, Text);
  Grow(Extent, P[1].X, P[1].Y);
  Grow(Extent, P[1].X + Cv->TextWidth(Text), P[1].Y + Cv->TextHeight(Text));
  const Integer r = std::min(T(IEDistance(P[1].X, P[1].Y, P[2].X, P[2].Y)) / 4,
                             T(IEDistance(P[1].X, P[1].Y, P[0].X, P[0].Y)) / 4);
  if (r > 0) {
    C->Arc(P[1].X - r, P[1].Y - r, P[1].X + r, P[1].Y + r, P[0].X, P[0].Y, P[2].X, P[2].Y);
    Grow(Extent, P[1].X - r, P[1].Y - r), Grow(Extent, P[1].X + r, P[1].Y + r);
  }
}
