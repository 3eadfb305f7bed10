// Pen, brush and font: the drawing tools a canvas holds. Each tells its OnChange listeners when a
// property changes, so a canvas or a control can redraw with the new tool.
#pragma once

#include <initializer_list>

#include "platform/gui/colors.h"
#include "platform/rtl/classes.h"

class TBitmap;

// Base of the drawing tools: the change notification and nothing else.
class TGraphicsObject : public TPersistent {
 public:
  TNotifyEvent OnChange;

 protected:
  void Changed();
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };

// Raster operations between the pen (or brush) colour P and the pixel D already there.
enum TPenMode {
  pmBlack,        // 0
  pmWhite,        // 1
  pmNop,          // D
  pmNot,          // not D
  pmCopy,         // P
  pmNotCopy,      // not P
  pmMergePenNot,  // P or not D
  pmMaskPenNot,   // P and not D
  pmMergeNotPen,  // not P or D
  pmMaskNotPen,   // not P and D
  pmMerge,        // P or D
  pmNotMerge,     // not (P or D)
  pmMask,         // P and D
  pmNotMask,      // not (P and D)
  pmXor,          // P xor D
  pmNotXor        // not (P xor D)
};

class TPen : public TGraphicsObject {
 public:
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  Integer Width() const { return FWidth; }
  // Widths below 1 are stored as 1, as the desktop does.
  void SetWidth(Integer Value);
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle Value);
  TPenMode Mode() const { return FMode; }
  void SetMode(TPenMode Value);

  void Assign(TPersistent* Source) override;
  AnsiString ClassName() const override { return "TPen"; }

 private:
  TColor FColor = clBlack;
  Integer FWidth = 1;
  TPenStyle FStyle = psSolid;
  TPenMode FMode = pmCopy;
};

// Hatch styles use the desktop's 8 x 8 patterns, anchored at the surface origin; the gaps of a
// hatch are left alone (transparent), as the framework sets its background mode for them.
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBrush : public TGraphicsObject {
 public:
  TBrush();
  ~TBrush() override;

  TColor Color() const { return FColor; }
  // Setting a colour on a clear brush makes it solid again.
  void SetColor(TColor Value);
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle Value);
  // A pattern brush: the bitmap tiles fills from the surface origin. The brush keeps a copy;
  // nullptr removes the pattern.
  TBitmap* Bitmap() const { return FBitmap; }
  void SetBitmap(TBitmap* Value);

  void Assign(TPersistent* Source) override;
  AnsiString ClassName() const override { return "TBrush"; }

 private:
  TColor FColor = clWhite;
  TBrushStyle FStyle = bsSolid;
  TBitmap* FBitmap = nullptr;
};

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };

// A set of font styles.
class TFontStyles {
 public:
  constexpr TFontStyles() = default;
  constexpr TFontStyles(std::initializer_list<TFontStyle> styles) {
    for (TFontStyle s : styles) FBits |= Bit(s);
  }
  constexpr bool Contains(TFontStyle s) const { return (FBits & Bit(s)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr TFontStyles& Include(TFontStyle s) { FBits |= Bit(s); return *this; }
  constexpr TFontStyles& Exclude(TFontStyle s) { FBits &= ~Bit(s); return *this; }
  constexpr unsigned Bits() const { return FBits; }
  friend constexpr TFontStyles operator+(TFontStyles a, TFontStyles b) { a.FBits |= b.FBits; return a; }
  friend constexpr TFontStyles operator-(TFontStyles a, TFontStyles b) { a.FBits &= ~b.FBits; return a; }
  friend constexpr TFontStyles operator*(TFontStyles a, TFontStyles b) { a.FBits &= b.FBits; return a; }
  friend constexpr bool operator==(TFontStyles, TFontStyles) = default;

 private:
  static constexpr unsigned Bit(TFontStyle s) { return 1u << unsigned(s); }
  unsigned FBits = 0;
};

using TFontCharset = Byte;
constexpr TFontCharset ANSI_CHARSET = 0;
constexpr TFontCharset DEFAULT_CHARSET = 1;
constexpr TFontCharset SYMBOL_CHARSET = 2;
constexpr TFontCharset OEM_CHARSET = 255;

enum TFontPitch { fpDefault, fpVariable, fpFixed };

// Text metrics of a font as the desktop reports them, in pixels.
struct TTextMetric {
  Integer tmHeight = 0;            // ascent + descent
  Integer tmAscent = 0;
  Integer tmDescent = 0;
  Integer tmInternalLeading = 0;   // tmHeight minus the em height
  Integer tmExternalLeading = 0;
  Integer tmAveCharWidth = 0;
  Integer tmMaxCharWidth = 0;
  Integer tmWeight = 400;
  Byte tmItalic = 0;
  Byte tmUnderlined = 0;
  Byte tmStruckOut = 0;
  Byte tmPitchAndFamily = 0;       // bit 0x04: TrueType (always set: outline fonts only here)
  Byte tmCharSet = DEFAULT_CHARSET;
};

// A font. Size is in points and Height in pixels at the fixed 96 pixels per inch:
// Height = -(Size * 96 / 72) rounded, negative meaning "character height without internal
// leading", as the desktop counts it. Windows face names map to the DejaVu family that is always
// installed here ("MS Sans Serif", "Tahoma", "Arial", "Verdana", "Segoe UI" -> "DejaVu Sans",
// "Courier New" -> "DejaVu Sans Mono", "Times New Roman" -> "DejaVu Serif"); Name keeps what was
// set. Orientation is the escapement in tenths of a degree, counter-clockwise.
class TFont : public TGraphicsObject {
 public:
  static constexpr Integer PixelsPerInch = 96;

  const AnsiString& Name() const { return FName; }
  void SetName(const AnsiString& Value);
  Integer Size() const;
  void SetSize(Integer Value);
  Integer Height() const { return FHeight; }
  void SetHeight(Integer Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles Value);
  TFontCharset Charset() const { return FCharset; }
  void SetCharset(TFontCharset Value);
  TFontPitch Pitch() const { return FPitch; }
  void SetPitch(TFontPitch Value);
  Integer Orientation() const { return FOrientation; }
  void SetOrientation(Integer Value);

  // The installed family that draws this font.
  AnsiString FamilyName() const;
  // Ascent, descent, leading and widths of this font.
  TTextMetric Metrics() const;

  void Assign(TPersistent* Source) override;
  AnsiString ClassName() const override { return "TFont"; }

 private:
  AnsiString FName = "Tahoma";
  Integer FHeight = -11;  // 8 points
  TColor FColor = clWindowText;
  TFontStyles FStyle;
  TFontCharset FCharset = DEFAULT_CHARSET;
  TFontPitch FPitch = fpDefault;
  Integer FOrientation = 0;
};

// The installed family used for a face name (see TFont).
AnsiString MapFontFamily(const AnsiString& FaceName);
