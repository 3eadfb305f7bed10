// A small multi-line rich-text editor: per-character fonts and backgrounds, word wrap and
// alignment inside a framed box, a caret and a selection, keyboard and mouse editing, font and
// colour commands and a clipboard block that keeps the formatting. The vector view places one
// over a memo object while it is edited; the same layout draws memo texts into images.
// TIEEdit is the single-line companion placed over text objects.
#pragma once

#include <memory>
#include <vector>

#include "imaging/view/ie_vect.h"
#include "platform/gui/controls.h"
#include "platform/gui/graphics_objects.h"
#include "platform/gui/services.h"
#include "platform/gui/stdctrls.h"

class TBitmap;
class TIECanvas;

// The private clipboard format "ZODIVER TEXTMEMO", registered on first use: for N characters,
// the N characters, a NUL, then N format records of 280 bytes each.
TClipFormat IETextMemoClipboardFormat();
inline constexpr Integer IETextCharFormatSize = 280;

class TIETextControl : public TCustomControl {
 public:
  explicit TIETextControl(TComponent* AOwner);
  ~TIETextControl() override;
  AnsiString ClassName() const override { return "TIETextControl"; }

  // ----- the text: characters with line feeds, one format index each, the shared formats -----
  AnsiString TextBuffer;
  std::vector<Integer> CharFormatIndex;
  std::vector<TIETextCharFormatRec> CharFormats;
  Integer TextLength() const { return static_cast<Integer>(TextBuffer.size()); }
  // The format typed and pasted characters get.
  TIETextCharFormatRec CurrentFormat;
  bool UniformFormat = false;
  bool IgnoreColors = false;

  // ----- box and layout -----
  TFont* TextFont() const { return FTextFont.get(); }
  TBrush* TextBrush() const { return FTextBrush.get(); }
  TPen* BorderPen() const { return FBorderPen.get(); }
  TBrush* FillBrush() const { return FFillBrush.get(); }
  TBitmap* BackgroundBitmap = nullptr;  // the caller's
  double TextMargins[4] = {0, 0, 0, 0};  // left, top, right, bottom, in percent of the box
  Integer LineSpacing = 0;
  Integer FixedCharHeight = 0;
  bool AutoSize = false;
  double TextZoom = 1.0;
  Byte TextAlignment = 0;  // 0 left, 1 right, 2 centre, 3 justified
  bool CollectLines = false;
  AnsiString LaidOutText;
  // Per character plus one: measures (0 = not measured) and client positions (-1 = not laid
  // out); the entry at TextLength holds the position after the last character.
  std::vector<Integer> CharWidthCache, CharHeightCache, CharLeadingCache, CharDescentCache;
  std::vector<Integer> CharX, CharY;

  // ----- caret and selection -----
  Integer CaretIndex = 0;
  Integer CaretX = 0, CaretY = 0, CaretHeight = 0;
  Integer SelStart = 0, SelEnd = 0;
  TPoint ClickAnchor;
  bool InsertMode = true;
  TNotifyEvent OnCursorMoved;

  // Takes TextBuffer (with CharFormatIndex and CharFormats when set) as a new text.
  void SetText();
  void LayoutAndDraw(TIECanvas* Canvas, Integer X, Integer Y, Integer W, Integer H);
  void InvalidateLayout(Integer First, Integer Count);
  void PackFormats();
  void SetUniformFormat(bool Value);
  void InsertChar(char Ch);
  Integer DeleteChar(Integer Index);
  void DeleteSelectedText();
  void DeselectText() { SelStart = SelEnd = 0; }
  void ExtendTextSelection(Integer OldCaret, TShiftState Shift);
  void CaretFromPoint(Integer X, Integer Y);
  void CopyToClipboard();
  void PasteFromClipboard();
  void FontBigger();
  void FontSmaller();
  void SetSelectionFont(TFont* Font);
  void SetSelectionBackground(TColor Color);
  void ToggleSelectionStyle(Integer Style);  // 0 bold, 1 italic, 2 underline
  void SetParagraphAlignment(Integer Alignment);
  void Update() override;

  // Caret movement.
  void CaretLeft();
  void CaretRight();
  void WordLeft();
  void WordRight();
  void LineHome();
  void LineEnd();
  void LineUp();
  void LineDown();

  bool WantSpecialKey(Word CharCode, TShiftState Shift) override;

 protected:
  void Paint() override;
  void Resize() override;
  void KeyDown(Word& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void DoEnter() override;
  void DoExit() override;
  // WM_CUT, WM_COPY and WM_PASTE do what Ctrl+X, Ctrl+C and Ctrl+V do.
  void WndProc(TMessage& Message) override;

 private:
  void PaintBackground();
  void SelectWord();
  // Measures character I with its format on Canvas (cached).
  void MeasureChar(TCanvas* Canvas, Integer I);
  void SelectCharFormat(TCanvas* Canvas, Integer I, double Zoom);
  void GrowCaches();
  void AssignCharFormat(Integer I, const TIETextCharFormatRec& Format);
  template <class F>
  void ReformatSelection(F Change);
  TIETextCharFormatRec FormatFromFont() const;
  void FormatBeforeCaret();
  Byte CharAlignment(Integer I) const;

  std::unique_ptr<TFont> FTextFont;
  std::unique_ptr<TBrush> FTextBrush;
  std::unique_ptr<TPen> FBorderPen;
  std::unique_ptr<TBrush> FFillBrush;
  std::unique_ptr<TBitmap> FOffscreen;
  std::vector<Integer> FLineHeight;  // per character: the height of its line
};

// The single-line editor placed over text objects: it keeps Tab and the navigation keys.
class TIEEdit : public TEdit {
 public:
  explicit TIEEdit(TComponent* AOwner) : TEdit(AOwner) {}
  AnsiString ClassName() const override { return "TIEEdit"; }
  bool WantSpecialKey(Word CharCode, TShiftState Shift) override;

 protected:
  void KeyPress(char& Key) override;
};
