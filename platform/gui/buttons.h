// A push button with a picture beside its caption.
#pragma once

#include <memory>

#include "platform/gui/stdctrls.h"

class TBitmap;

// Glyph may hold NumGlyphs pictures side by side (normal, disabled, pressed, down); the first is
// shown, and the second, when there is one, while the button is disabled. Its bottom-left pixel's
// colour is transparent.
class TBitBtn : public TButton {
 public:
  explicit TBitBtn(TComponent* AOwner);
  ~TBitBtn() override;

  TBitmap* Glyph() const { return FGlyph.get(); }
  void SetGlyph(TBitmap* Value);
  // 1..4; set from the glyph's proportions when a glyph is assigned.
  Integer NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(Integer Value);

 private:
  void GlyphChanged();

  std::unique_ptr<TBitmap> FGlyph;
  Integer FNumGlyphs = 1;
  bool FApplying = false;
};
