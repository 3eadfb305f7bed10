#include "platform/gui/graphics_objects.h"

#include <cctype>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>

#include "platform/gui/bitmap.h"
#include "platform/gui/qt_graphics_bridge.h"

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

// ---- TPen

void TPen::SetColor(TColor Value) {
  if (FColor == Value) return;
  FColor = Value;
  Changed();
}

void TPen::SetWidth(Integer Value) {
  if (Value < 1) Value = 1;
  if (FWidth == Value) return;
  FWidth = Value;
  Changed();
}

void TPen::SetStyle(TPenStyle Value) {
  if (FStyle == Value) return;
  FStyle = Value;
  Changed();
}

void TPen::SetMode(TPenMode Value) {
  if (FMode == Value) return;
  FMode = Value;
  Changed();
}

void TPen::Assign(TPersistent* Source) {
  if (auto* P = dynamic_cast<TPen*>(Source)) {
    FColor = P->FColor;
    FWidth = P->FWidth;
    FStyle = P->FStyle;
    FMode = P->FMode;
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

// ---- TBrush

TBrush::TBrush() = default;

TBrush::~TBrush() { delete FBitmap; }

void TBrush::SetColor(TColor Value) {
  if (FColor == Value && FStyle != bsClear) return;
  FColor = Value;
  if (FStyle == bsClear) FStyle = bsSolid;
  Changed();
}

void TBrush::SetStyle(TBrushStyle Value) {
  if (FStyle == Value) return;
  FStyle = Value;
  Changed();
}

void TBrush::SetBitmap(TBitmap* Value) {
  if (Value == FBitmap) return;
  delete FBitmap;
  FBitmap = nullptr;
  if (Value) {
    FBitmap = new TBitmap;
    FBitmap->Assign(Value);
  }
  Changed();
}

void TBrush::Assign(TPersistent* Source) {
  if (auto* B = dynamic_cast<TBrush*>(Source)) {
    if (B == this) return;
    FColor = B->FColor;
    FStyle = B->FStyle;
    delete FBitmap;
    FBitmap = nullptr;
    if (B->FBitmap) {
      FBitmap = new TBitmap;
      FBitmap->Assign(B->FBitmap);
    }
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

// ---- TFont

namespace {

// MulDiv's rounding: to nearest, halves away from zero.
Integer MulDivRound(Integer a, Integer b, Integer c) {
  long long p = static_cast<long long>(a) * b;
  long long q = (p >= 0 ? p + c / 2 : p - c / 2) / c;
  return Integer(q);
}

AnsiString Lower(const AnsiString& s) {
  AnsiString r = s;
  for (char& ch : r) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  return r;
}

}  // namespace

AnsiString MapFontFamily(const AnsiString& FaceName) {
  const AnsiString n = Lower(FaceName);
  if (n == "courier new" || n == "courier" || n == "lucida console" || n == "consolas" || n == "fixedsys" ||
      n == "terminal")
    return "DejaVu Sans Mono";
  if (n == "times new roman" || n == "times" || n == "georgia" || n == "serif") return "DejaVu Serif";
  if (n.rfind("dejavu", 0) == 0) return FaceName;
  return "DejaVu Sans";
}

Integer TFont::Size() const { return -MulDivRound(FHeight, 72, PixelsPerInch); }

void TFont::SetSize(Integer Value) { SetHeight(-MulDivRound(Value, PixelsPerInch, 72)); }

void TFont::SetName(const AnsiString& Value) {
  if (FName == Value || Value.empty()) return;
  FName = Value;
  Changed();
}

void TFont::SetHeight(Integer Value) {
  if (FHeight == Value) return;
  FHeight = Value;
  Changed();
}

void TFont::SetColor(TColor Value) {
  if (FColor == Value) return;
  FColor = Value;
  Changed();
}

void TFont::SetStyle(TFontStyles Value) {
  if (FStyle == Value) return;
  FStyle = Value;
  Changed();
}

void TFont::SetCharset(TFontCharset Value) {
  if (FCharset == Value) return;
  FCharset = Value;
  Changed();
}

void TFont::SetPitch(TFontPitch Value) {
  if (FPitch == Value) return;
  FPitch = Value;
  Changed();
}

void TFont::SetOrientation(Integer Value) {
  if (FOrientation == Value) return;
  FOrientation = Value;
  Changed();
}

AnsiString TFont::FamilyName() const {
  if (FPitch == fpFixed) return "DejaVu Sans Mono";
  return MapFontFamily(FName);
}

TTextMetric TFont::Metrics() const {
  QFont f = ToQFont(*this);
  QFontMetrics fm(f);
  TTextMetric tm;
  tm.tmAscent = fm.ascent();
  tm.tmDescent = fm.descent();
  tm.tmHeight = tm.tmAscent + tm.tmDescent;
  tm.tmInternalLeading = std::max(0, tm.tmHeight - f.pixelSize());
  tm.tmExternalLeading = std::max(0, fm.leading());
  tm.tmAveCharWidth = fm.averageCharWidth();
  tm.tmMaxCharWidth = fm.maxWidth();
  tm.tmWeight = FStyle.Contains(fsBold) ? 700 : 400;
  tm.tmItalic = FStyle.Contains(fsItalic) ? 1 : 0;
  tm.tmUnderlined = FStyle.Contains(fsUnderline) ? 1 : 0;
  tm.tmStruckOut = FStyle.Contains(fsStrikeOut) ? 1 : 0;
  tm.tmPitchAndFamily = 0x04 | (FamilyName() == "DejaVu Sans Mono" ? 0 : 0x01);
  tm.tmCharSet = FCharset;
  return tm;
}

void TFont::Assign(TPersistent* Source) {
  if (auto* F = dynamic_cast<TFont*>(Source)) {
    FName = F->FName;
    FHeight = F->FHeight;
    FColor = F->FColor;
    FStyle = F->FStyle;
    FCharset = F->FCharset;
    FPitch = F->FPitch;
    FOrientation = F->FOrientation;
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

// ---- Qt counterparts

QColor ToQColor(TColor Color) {
  const TColor c = ColorToRGB(Color);
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

TColor FromQColor(const QColor& Color) { return RGB(Byte(Color.red()), Byte(Color.green()), Byte(Color.blue())); }

namespace {

QFont MakeQFont(const TFont& Font) {
  QFont f(QString::fromStdString(Font.FamilyName()));
  // Crisp glyphs as the classic desktop draws them: every pixel is either text or not, which also
  // keeps text exact on indexed bitmaps and under raster operations.
  f.setStyleStrategy(QFont::StyleStrategy(QFont::PreferOutline | QFont::NoAntialias));
  Integer h = Font.Height();
  if (h == 0) h = -11;
  if (h < 0) {
    f.setPixelSize(-h);
  } else {
    // A positive height is the whole cell (ascent + descent); scale the em to fit it.
    f.setPixelSize(100);
    QFontMetricsF probe(f);
    const double cell = probe.ascent() + probe.descent();
    int em = cell > 0 ? int(std::lround(h * 100.0 / cell)) : h;
    f.setPixelSize(std::max(1, em));
  }
  f.setBold(Font.Style().Contains(fsBold));
  f.setItalic(Font.Style().Contains(fsItalic));
  f.setUnderline(Font.Style().Contains(fsUnderline));
  f.setStrikeOut(Font.Style().Contains(fsStrikeOut));
  f.setKerning(false);
  // Whole-pixel stems, as the desktop's small UI text has.
  f.setHintingPreference(QFont::PreferFullHinting);
  return f;
}

}  // namespace

QFont ToQFont(const TFont& Font) {
  // Drawing code asks for the same few fonts for every line of text; sizing a positive height
  // needs a metrics probe, so the last fonts made are kept (per thread: fonts are not shared).
  struct TKey {
    std::string Family;
    Integer Height;
    unsigned Styles;
    bool operator==(const TKey&) const = default;
  };
  struct TEntry {
    TKey Key;
    QFont Made;
  };
  thread_local std::vector<TEntry> recent;
  unsigned styles = 0;
  for (TFontStyle st : {fsBold, fsItalic, fsUnderline, fsStrikeOut})
    styles = styles << 1 | (Font.Style().Contains(st) ? 1u : 0u);
  TKey key{Font.FamilyName(), Font.Height(), styles};
  for (size_t i = 0; i < recent.size(); ++i)
    if (recent[i].Key == key) {
      if (i > 0) std::swap(recent[i], recent[0]);
      return recent[0].Made;
    }
  QFont made = MakeQFont(Font);
  constexpr size_t kKept = 16;
  if (recent.size() >= kKept) recent.pop_back();
  recent.insert(recent.begin(), TEntry{std::move(key), made});
  return made;
}
