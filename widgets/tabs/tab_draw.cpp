#include "widgets/tabs/tab_draw.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "platform/gui/screen_caps.h"
#include "platform/gui/unit_startup.h"
#include "platform/rtl/numerics.h"
#include "widgets/tabs/tab_control.h"

namespace {

Integer RoundToInt(double V) { return SafeRound<Integer>(V); }

Byte ClampByte(Integer V) { return Byte(std::clamp<Integer>(V, 0, 255)); }

// Pen style and brush colour are the caller's; the glyph routines put them back.
struct PenBrushKeeper {
  TCanvas* C;
  TPenStyle PenStyle;
  TColor BrushColor;
  explicit PenBrushKeeper(TCanvas* Canvas)
      : C(Canvas), PenStyle(Canvas->Pen()->Style()), BrushColor(Canvas->Brush()->Color()) {}
  ~PenBrushKeeper() {
    C->Pen()->SetStyle(PenStyle);
    C->Brush()->SetColor(BrushColor);
  }
};

void GlyphCentre(const TRect& R, Integer& cx, Integer& cy) {
  cx = R.Left + (R.Right - R.Left) / 2;
  cy = R.Top + (R.Bottom - R.Top) / 2;
  if ((R.Bottom - R.Top) % 2 == 0) --cy;
}

bool gManyColors = true;
bool gColorsProbed = false;

}  // namespace

void SplitColorHsl(TColor Color, Byte& Hue, Byte& Saturation, Byte& Luminance) {
  const TColor c = ColorToRGB(Color);
  const double r = GetRValue(c) / 255.0, g = GetGValue(c) / 255.0, b = GetBValue(c) / 255.0;
  const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
  const double L = (mx + mn) / 2;
  double S = 0, H = 0;
  if (mx != mn) {
    const double d = mx - mn;
    S = L < 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
    if (r == mx)
      H = (g - b) / d;
    else if (g == mx)
      H = 2 + (b - r) / d;
    else
      H = 4 + (r - g) / d;
    H /= 6;
    if (H < 0) H += 1;
  }
  Hue = ClampByte(RoundToInt(240 * H));
  Saturation = ClampByte(RoundToInt(240 * S));
  Luminance = ClampByte(RoundToInt(240 * L));
}

Byte HueOfColor(TColor Color) {
  Byte h, s, l;
  SplitColorHsl(Color, h, s, l);
  return h;
}

TColor ColorFromHsl(Byte Hue, Byte Saturation, Byte Luminance) {
  const double h = Hue / 239.0, s = Saturation / 240.0, l = Luminance / 240.0;
  const double v = l < 0.5 ? l * (1 + s) : l + s - l * s;
  if (v <= 0) return clBlack;
  const double m = 2 * l - v;
  const double sv = (v - m) / v;
  const double h6 = 6 * h;
  const Integer sextant = Integer(h6);
  const double f = h6 - sextant;
  const double t = v * sv * f;
  const double up = m + t, down = v - t;
  double r, g, b;
  switch (sextant) {
    case 1: r = down; g = v; b = m; break;
    case 2: r = m; g = v; b = up; break;
    case 3: r = m; g = down; b = v; break;
    case 4: r = up; g = m; b = v; break;
    case 5: r = v; g = m; b = down; break;
    default: r = v; g = up; b = m; break;
  }
  auto component = [](double x) { return ClampByte(RoundToInt(255 * std::min(x, 1.0))); };
  return RGB(component(r), component(g), component(b));
}

TColor DarkenColor(TColor Color, Byte Amount) {
  Byte h, s, l;
  SplitColorHsl(Color, h, s, l);
  return ColorFromHsl(h, s, Byte(std::max<Integer>(Integer(l) - Amount, 0)));
}

TColor LightenColor(TColor Color, Byte Amount) {
  Byte h, s, l;
  SplitColorHsl(Color, h, s, l);
  return ColorFromHsl(h, s, Byte(std::min<Integer>(Integer(l) + Amount, 255)));
}

TColor ShiftColorLuminance(TColor Color, Integer Amount) {
  if (Amount < 0) return DarkenColor(Color, Byte((-Int64(Amount)) & 0xFF));
  if (Amount > 0) return LightenColor(Color, Byte(Amount & 0xFF));
  return Color;
}

TColor MixColors(TColor Fore, TColor Back, Byte Alpha) {
  const TColor f = ColorToRGB(Fore), b = ColorToRGB(Back);
  const float a = Alpha / 255.0f;
  auto mix = [a](Byte x, Byte y) { return ClampByte(RoundToInt(x * double(a) + y * (1.0 - double(a)))); };
  return RGB(mix(GetRValue(f), GetRValue(b)), mix(GetGValue(f), GetGValue(b)), mix(GetBValue(f), GetBValue(b)));
}

TColor XorColors(TColor A, TColor B) { return (ColorToRGB(A) ^ ColorToRGB(B)) & 0xFFFFFFu; }

bool ColorsAlike(TColor A, TColor B) {
  Byte h1, s1, l1, h2, s2, l2;
  SplitColorHsl(A, h1, s1, l1);
  SplitColorHsl(B, h2, s2, l2);
  return std::abs(Integer(h1) - h2) < 20 && std::abs(Integer(l1) - l2) < 60;
}

TColor OppositeHueColor(TColor Color, Byte Luminance) {
  const Byte h = HueOfColor(Color);
  const Byte opposite = h >= 120 ? Byte(h - 120) : Byte(h + 120);
  return ColorFromHsl(opposite, 240, Luminance);
}

void DrawGradient(TCanvas* ACanvas, const TRect& R, TBandGradient Kind, TColor From, TColor To) {
  const Integer W = std::abs(R.Right - R.Left), H = std::abs(R.Bottom - R.Top);
  if (W == 0 || H == 0 || !ACanvas) return;
  const TColor from = ColorToRGB(From), to = ColorToRGB(To);
  const bool rows = Kind == bgTopToBottom;
  const Integer E = rows ? H : W;
  auto channel = [&](Byte f, Byte t, Integer p) {
    const Int64 T = Int64(t) * 65536;
    const Int64 d = (Int64(f) - t) * 65536 / E;
    return Byte(((T + Int64(E - 1 - p) * d) >> 16) & 0xFF);
  };
  TBitmap band;
  band.SetPixelFormat(pf32bit);
  band.SetSize(W, H);
  TCanvas* c = band.Canvas();
  c->Brush()->SetStyle(bsSolid);
  // Runs of one colour become one fill.
  Integer runStart = 0;
  TColor runColor = 0;
  auto colourAt = [&](Integer p) {
    return RGB(channel(GetRValue(from), GetRValue(to), p), channel(GetGValue(from), GetGValue(to), p),
               channel(GetBValue(from), GetBValue(to), p));
  };
  auto flush = [&](Integer end) {
    c->Brush()->SetColor(runColor);
    c->FillRect(rows ? Rect(0, runStart, W, end) : Rect(runStart, 0, end, H));
  };
  for (Integer p = 0; p < E; ++p) {
    const TColor col = colourAt(p);
    if (p == 0) {
      runColor = col;
    } else if (col != runColor) {
      flush(p);
      runStart = p;
      runColor = col;
    }
  }
  flush(E);
  const TCopyMode saved = ACanvas->CopyMode();
  ACanvas->SetCopyMode(cmSrcCopy);
  ACanvas->CopyRect(Rect(R.Left, R.Top, R.Left + W, R.Top + H), c, Rect(0, 0, W, H));
  ACanvas->SetCopyMode(saved);
}

void PaintParentBackground(TControl* Control, TCanvas* ACanvas, bool InvalidateParent) {
  if (!Control || !ACanvas || !Control->Parent()) return;
  TWinControl* parent = Control->Parent();
  const TRect mine = Rect(0, 0, Control->Width(), Control->Height());
  if (auto* painted = dynamic_cast<TCustomControl*>(parent)) {
    const TCopyMode saved = ACanvas->CopyMode();
    ACanvas->SetCopyMode(cmSrcCopy);
    ACanvas->CopyRect(mine, painted->Canvas(),
                      Rect(Control->Left(), Control->Top(), Control->Left() + Control->Width(),
                           Control->Top() + Control->Height()));
    ACanvas->SetCopyMode(saved);
  } else {
    ACanvas->Brush()->SetStyle(bsSolid);
    ACanvas->Brush()->SetColor(parent->Color());
    ACanvas->FillRect(mine);
  }
  if (InvalidateParent && !dynamic_cast<TCustomControl*>(parent) && !(Control->ComponentState() & csDesigning))
    parent->Invalidate();
}

void DrawTabButtonFace(TCanvas* ACanvas, const TRect& Rr, TClCustomTabControl* TabControl, bool Enabled,
                       TColor FrameColor, bool Hot, bool Pressed) {
  const TColor base = TabControl ? TabControl->ButtonColor() : clBtnFace;
  TColor top = LightenColor(base, 20), bottom = DarkenColor(base, 20);
  TRect R = Rr;
  ACanvas->Pen()->SetStyle(psSolid);
  ACanvas->Pen()->SetColor(FrameColor);
  ACanvas->Brush()->SetStyle(bsSolid);
  if (!Enabled) {
    ACanvas->Brush()->SetColor(LightenColor(clBtnShadow, 30));
    ACanvas->Rectangle(R);
    return;
  }
  if (TabControl && TabControl->UseGradients()) {
    if (Pressed) {
      top = DarkenColor(top, 30);
      bottom = DarkenColor(bottom, 30);
    } else if (Hot) {
      top = LightenColor(top, 30);
      bottom = LightenColor(bottom, 30);
    }
    DrawGradient(ACanvas, Rect(R.Left + 1, R.Top + 1, R.Right - 1, R.Bottom - 1), bgTopToBottom, top, bottom);
    ACanvas->Brush()->SetStyle(bsClear);
    ACanvas->Rectangle(R);
    ACanvas->Brush()->SetStyle(bsSolid);
    return;
  }
  ACanvas->Brush()->SetColor(Pressed ? DarkenColor(base, 30) : Hot ? LightenColor(base, 30) : base);
  ACanvas->Rectangle(R);
}

void DrawArrowGlyph(TCanvas* ACanvas, const TRect& R, bool Enabled, Integer Direction) {
  PenBrushKeeper keep(ACanvas);
  TColor colour = clBtnShadow;
  if (Enabled) colour = ColorsAlike(ACanvas->Brush()->Color(), clBlack) ? cl3DDkShadow : clBlack;
  const TColor rgb = ColorToRGB(colour);
  Integer cx, cy;
  GlyphCentre(R, cx, cy);
  if (Direction == 0 || Direction == 1)
    ++cy;
  else
    cx -= 2;
  for (Integer i = 0; i <= 3; ++i) {
    for (Integer j = -i; j <= i; ++j) {
      switch (Direction) {
        case 0: ACanvas->SetPixel(cx + j, cy - 3 + i, rgb); break;
        case 1: ACanvas->SetPixel(cx + j, cy - i, rgb); break;
        case 2: ACanvas->SetPixel(cx + i, cy + j, rgb); break;
        default: ACanvas->SetPixel(cx + 3 - i, cy + j, rgb); break;
      }
    }
  }
}

void DrawCloseCross(TCanvas* ACanvas, const TRect& R, bool Enabled) {
  DrawCloseGlyph(ACanvas, R, Enabled ? clBlack : clBtnShadow);
}

void DrawCloseGlyph(TCanvas* ACanvas, const TRect& R, TColor Color) {
  PenBrushKeeper keep(ACanvas);
  Integer cx, cy;
  GlyphCentre(R, cx, cy);
  std::vector<TPoint> pts;
  if (R.Bottom - R.Top < 11 || R.Right - R.Left < 9)
    pts = {{cx, cy - 1},     {cx + 1, cy - 2}, {cx + 3, cy - 2}, {cx + 1, cy},     {cx + 3, cy + 3},
           {cx + 1, cy + 2}, {cx, cy + 1},     {cx - 3, cy + 3}, {cx - 3, cy + 2}, {cx - 1, cy},
           {cx - 3, cy - 2}, {cx - 1, cy - 2}, {cx - 1, cy - 1}};
  else
    pts = {{cx, cy - 1},     {cx + 2, cy - 3}, {cx + 5, cy - 3}, {cx + 2, cy},     {cx + 5, cy + 4},
           {cx + 2, cy + 3}, {cx, cy + 1},     {cx - 2, cy + 4}, {cx - 4, cy + 3}, {cx - 1, cy},
           {cx - 4, cy - 3}, {cx - 1, cy - 3}};
  ACanvas->Pen()->SetStyle(psClear);
  ACanvas->Brush()->SetStyle(bsSolid);
  ACanvas->Brush()->SetColor(Color);
  ACanvas->Polygon(pts);
}

bool IsTrueTypeFont(TFont*) { return true; }

bool ByteSetContains(Byte Value, const std::bitset<256>& Set) { return Set.test(Value); }

bool RunningOnNt6OrLater() { return true; }

bool ScreenHasManyColors() { return gManyColors; }

void ProbeScreenColors(Integer NumColors) {
  if (gColorsProbed) return;
  gColorsProbed = true;
  gManyColors = NumColors == -1;
}

namespace {
// The unit's start-up: the display is looked at once, before the first window is created.
const bool gScreenProbeRegistered = RegisterStartupRoutine([] { ProbeScreenColors(GetScreenDeviceCaps(NUMCOLORS)); });
}  // namespace

bool RectIsZero(const TRect& R) { return R.Left == 0 && R.Top == 0 && R.Right == 0 && R.Bottom == 0; }

TRect OrderRectCorners(const TRect& R) {
  return Rect(std::min(R.Left, R.Right), std::min(R.Top, R.Bottom), std::max(R.Left, R.Right),
              std::max(R.Top, R.Bottom));
}

bool PointInOrderedRect(const TPoint& P, const TRect& R) { return PtInRect(OrderRectCorners(R), P); }

void NotifyDesignerModified(TControl*) {}
