#include "imaging/view/ie_view_cursors.h"

#include <cmath>
#include <cstdlib>
#include <numbers>

#include "imaging/view/ie_view.h"

namespace {

constexpr Integer Size = 32;
constexpr Cardinal Black = 0xFF000000u;
constexpr Cardinal White = 0xFFFFFFFFu;

// A small pen over a cursor picture: everything is drawn twice, a white halo first and the
// black stroke over it, so the cursor shows on dark and light images alike.
class TCursorPainter {
 public:
  TCursorPainter(Integer HotX, Integer HotY) {
    Image.Width = Image.Height = Size;
    Image.HotX = HotX;
    Image.HotY = HotY;
    Image.Pixels.assign(size_t(Size * Size), 0);
  }

  void Line(Integer X0, Integer Y0, Integer X1, Integer Y1) { Stroke([&](Cardinal C, Integer W) { RawLine(X0, Y0, X1, Y1, C, W); }); }
  void Circle(Integer CX, Integer CY, Integer R) {
    Stroke([&](Cardinal C, Integer W) {
      for (Integer A = 0; A < 360; A += 3) {
        const double T = A * std::numbers::pi / 180;
        Dot(CX + Integer(std::lround(R * std::cos(T))), CY + Integer(std::lround(R * std::sin(T))), C, W);
      }
    });
  }
  void Arc(Integer CX, Integer CY, Integer R, Integer FromDeg, Integer ToDeg) {
    Stroke([&](Cardinal C, Integer W) {
      for (Integer A = FromDeg; A <= ToDeg; A += 2) {
        const double T = A * std::numbers::pi / 180;
        Dot(CX + Integer(std::lround(R * std::cos(T))), CY + Integer(std::lround(R * std::sin(T))), C, W);
      }
    });
  }
  // A line with an arrow head at (X1, Y1).
  void Arrow(Integer X0, Integer Y0, Integer X1, Integer Y1) {
    Line(X0, Y0, X1, Y1);
    const double A = std::atan2(double(Y1 - Y0), double(X1 - X0));
    for (double Side : {-0.6, 0.6}) {
      const Integer HX = X1 - Integer(std::lround(5 * std::cos(A + Side)));
      const Integer HY = Y1 - Integer(std::lround(5 * std::sin(A + Side)));
      Line(X1, Y1, HX, HY);
    }
  }
  void Rect(Integer X0, Integer Y0, Integer X1, Integer Y1) {
    Line(X0, Y0, X1, Y0);
    Line(X1, Y0, X1, Y1);
    Line(X1, Y1, X0, Y1);
    Line(X0, Y1, X0, Y0);
  }

  TCursorImage Image;

 private:
  template <class F>
  void Stroke(F Draw) {
    Draw(White, 1);
    Draw(Black, 0);
  }
  void Dot(Integer X, Integer Y, Cardinal C, Integer Halo) {
    for (Integer DY = -Halo; DY <= Halo; ++DY)
      for (Integer DX = -Halo; DX <= Halo; ++DX) {
        const Integer PX = X + DX, PY = Y + DY;
        if (PX < 0 || PY < 0 || PX >= Size || PY >= Size) continue;
        Cardinal& P = Image.Pixels[size_t(PY * Size + PX)];
        if (C == White && P == Black) continue;
        P = C;
      }
  }
  void RawLine(Integer X0, Integer Y0, Integer X1, Integer Y1, Cardinal C, Integer W) {
    const Integer DX = std::abs(X1 - X0), DY = -std::abs(Y1 - Y0);
    const Integer SX = X0 < X1 ? 1 : -1, SY = Y0 < Y1 ? 1 : -1;
    Integer Err = DX + DY;
    for (;;) {
      Dot(X0, Y0, C, W);
      if (X0 == X1 && Y0 == Y1) break;
      const Integer E2 = 2 * Err;
      if (E2 >= DY) {
        Err += DY;
        X0 += SX;
      }
      if (E2 <= DX) {
        Err += DX;
        Y0 += SY;
      }
    }
  }
};

void Crosshair(TCursorPainter& P, Integer Gap) {
  P.Line(15, 2, 15, 15 - Gap);
  P.Line(15, 15 + Gap, 15, 28);
  P.Line(2, 15, 15 - Gap, 15);
  P.Line(15 + Gap, 15, 28, 15);
}

void Sign(TCursorPainter& P, bool Plus) {
  P.Line(21, 25, 27, 25);
  if (Plus) P.Line(24, 22, 24, 28);
}

void Magnifier(TCursorPainter& P, bool Plus) {
  P.Circle(12, 12, 8);
  P.Line(18, 18, 27, 27);
  P.Line(8, 12, 16, 12);
  if (Plus) P.Line(12, 8, 12, 16);
}

}  // namespace

TCursorImage IEViewCursorImage(TCursor Id) {
  if (Id < crIEFirstCursor || Id > crIELastCursor) return {};
  TCursorPainter P(15, 15);
  switch (Id) {
    case 1778: Magnifier(P, false); P.Image.HotX = P.Image.HotY = 12; break;
    case 1779: Magnifier(P, true); P.Image.HotX = P.Image.HotY = 12; break;
    case 1780: P.Line(15, 4, 15, 26); P.Line(4, 15, 26, 15); break;
    case 1781: P.Rect(6, 10, 24, 20); P.Line(12, 10, 12, 20); P.Image.HotX = 6; P.Image.HotY = 20; break;
    case 1782:  // an open hand: palm and four fingers
      P.Rect(9, 15, 22, 26);
      for (Integer F = 0; F < 4; ++F) P.Line(10 + F * 4, 15, 10 + F * 4, 6 + (F == 0 || F == 3 ? 3 : 0));
      P.Line(9, 19, 4, 14);
      break;
    case 1783: P.Line(4, 27, 24, 7); P.Line(7, 27, 27, 7); P.Line(4, 27, 7, 27); P.Image.HotX = 4; P.Image.HotY = 27; break;
    case 1784: Crosshair(P, 0); break;
    case 1785: Crosshair(P, 3); break;
    case 1786: P.Arrow(15, 15, 5, 5); P.Arrow(15, 15, 25, 25); break;
    case 1787: P.Arrow(15, 15, 15, 3); P.Arrow(15, 15, 15, 27); break;
    case 1788: P.Arrow(15, 15, 25, 5); P.Arrow(15, 15, 5, 25); break;
    case 1789: P.Arrow(15, 15, 3, 15); P.Arrow(15, 15, 27, 15); break;
    case 1790: P.Arrow(15, 15, 15, 3); P.Arrow(15, 15, 15, 27); P.Arrow(15, 15, 3, 15); P.Arrow(15, 15, 27, 15); break;
    case 1791: Crosshair(P, 3); Sign(P, true); break;
    case 1792: Crosshair(P, 3); Sign(P, false); break;
    case 1793: Crosshair(P, 1); P.Rect(12, 12, 18, 18); break;
    case 1794: Crosshair(P, 1); P.Rect(12, 12, 18, 18); Sign(P, true); break;
    case 1795:
    case 1796: Crosshair(P, 1); P.Rect(12, 12, 18, 18); Sign(P, false); break;
    case 1811: P.Arc(15, 15, 10, 90, 180); P.Arrow(5, 17, 5, 13); break;    // left and below
    case 1812: P.Arc(15, 15, 10, 270, 360); P.Arrow(25, 13, 25, 17); break;  // right and above
    case 1813: P.Arc(15, 15, 10, 0, 90); P.Arrow(17, 25, 13, 25); break;     // right and below
    case 1814: P.Arc(15, 15, 10, 180, 270); P.Arrow(13, 5, 17, 5); break;    // left and above
    default: Crosshair(P, 2); break;  // the numbered crosshair variants
  }
  return P.Image;
}

void IELoadViewCursors() {
  static bool Loaded = false;
  if (Loaded || !Screen) return;
  Loaded = true;
  for (TCursor Id = crIEFirstCursor; Id <= crIELastCursor; ++Id) Screen->SetCursors(Id, IEViewCursorImage(Id));
}
