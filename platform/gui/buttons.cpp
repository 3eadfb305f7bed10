#include "platform/gui/buttons.h"

#include <algorithm>

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QPushButton>

#include "platform/gui/graphics.h"
#include "platform/gui/qt_graphics_bridge.h"

namespace {

// One glyph of the strip with its transparent colour taken out.
QPixmap GlyphPart(const QImage& Strip, int Index, int Count) {
  const int W = Strip.width() / Count;
  if (W <= 0 || Strip.height() <= 0) return QPixmap();
  QImage Part = Strip.copy(Index * W, 0, W, Strip.height()).convertToFormat(QImage::Format_ARGB32);
  const QRgb Clear = Strip.pixel(0, Strip.height() - 1) & 0xFFFFFFu;
  for (int Y = 0; Y < Part.height(); ++Y)
    for (int X = 0; X < Part.width(); ++X)
      if ((Part.pixel(X, Y) & 0xFFFFFFu) == Clear) Part.setPixel(X, Y, 0);
  return QPixmap::fromImage(Part);
}

}  // namespace

TBitBtn::TBitBtn(TComponent* AOwner) : TButton(AOwner), FGlyph(std::make_unique<TBitmap>()) {
  FGlyph->OnChange = [this](TObject*) { GlyphChanged(); };
}

TBitBtn::~TBitBtn() { FGlyph->OnChange = nullptr; }

void TBitBtn::SetGlyph(TBitmap* Value) {
  if (Value) {
    FGlyph->Assign(Value);
    // A strip of square-ish pictures tells how many glyphs it holds.
    if (FGlyph->Height() > 0 && FGlyph->Width() % FGlyph->Height() == 0) {
      const Integer N = FGlyph->Width() / FGlyph->Height();
      if (N >= 1 && N <= 4) FNumGlyphs = N;
    }
  } else {
    FGlyph->SetSize(0, 0);
  }
  GlyphChanged();
}

void TBitBtn::SetNumGlyphs(Integer Value) {
  FNumGlyphs = std::clamp<Integer>(Value, 1, 4);
  GlyphChanged();
}

void TBitBtn::GlyphChanged() {
  if (FApplying) return;
  FApplying = true;
  auto* B = static_cast<QPushButton*>(Widget());
  QIcon Icon;
  if (!FGlyph->Empty()) {
    const QImage Strip = BitmapToRGB32(FGlyph.get());
    const int Count = std::min<int>(FNumGlyphs, std::max(Strip.width(), 1));
    Icon.addPixmap(GlyphPart(Strip, 0, Count), QIcon::Normal);
    if (Count > 1) Icon.addPixmap(GlyphPart(Strip, 1, Count), QIcon::Disabled);
    B->setIconSize(QSize(Strip.width() / Count, Strip.height()));
  }
  B->setIcon(Icon);
  FApplying = false;
}
