#include "imaging/view/ie_text_control.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imaging/core/ie_canvas.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/canvas.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/colors.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/keys.h"
#include "platform/rtl/numerics.h"

namespace {

// The fields of a format record (the objects file's layout).
constexpr size_t kUses = 0, kNameLength = 4, kName = 5, kHeight = 260, kStyle = 264, kColor = 268, kBack = 272,
                 kBackStyle = 276, kAlign = 277;
// A font height beyond this is no text a person edits; a block from elsewhere that claims one
// is refused rather than handed to the font engine.
constexpr Integer kMaxFontHeight = 4096;

Integer GetI32(const TIETextCharFormatRec& F, size_t At) {
  Integer v;
  std::memcpy(&v, &F.Bytes[At], 4);
  return v;
}
void SetI32(TIETextCharFormatRec& F, size_t At, Integer V) { std::memcpy(&F.Bytes[At], &V, 4); }
Integer Uses(const TIETextCharFormatRec& F) { return GetI32(F, kUses); }
void SetUses(TIETextCharFormatRec& F, Integer V) { SetI32(F, kUses, V); }

void SetFormatName(TIETextCharFormatRec& F, const AnsiString& Name) {
  const size_t n = std::min<size_t>(Name.size(), 255);
  std::memset(&F.Bytes[kName], 0, 255);
  F.Bytes[kNameLength] = Byte(n);
  std::memcpy(&F.Bytes[kName], Name.data(), n);
}

// Two records are the same format when everything after the use count is equal.
bool SameFormat(const TIETextCharFormatRec& A, const TIETextCharFormatRec& B) {
  return std::memcmp(&A.Bytes[4], &B.Bytes[4], IETextCharFormatSize - 4) == 0;
}

TFontStyles StylesOf(Byte Bits) {
  TFontStyles S;
  for (TFontStyle s : {fsBold, fsItalic, fsUnderline, fsStrikeOut})
    if (Bits & (1u << unsigned(s))) S.Include(s);
  return S;
}

TColor Invert(TColor C) { return static_cast<TColor>(~ColorToRGB(C) & 0xFFFFFF); }

bool IsBlankOrControl(char C) { return static_cast<Byte>(C) <= 32; }

}  // namespace

TClipFormat IETextMemoClipboardFormat() {
  static const TClipFormat Id = RegisterClipboardFormat("ZODIVER TEXTMEMO");
  return Id;
}

TIETextControl::TIETextControl(TComponent* AOwner)
    : TCustomControl(AOwner),
      FTextFont(std::make_unique<TFont>()),
      FTextBrush(std::make_unique<TBrush>()),
      FBorderPen(std::make_unique<TPen>()),
      FFillBrush(std::make_unique<TBrush>()),
      FOffscreen(std::make_unique<TBitmap>()) {
  FOffscreen->SetPixelFormat(pf24bit);
  SetCursor(crIBeam);
  SetText();
}

TIETextControl::~TIETextControl() = default;

TIETextCharFormatRec TIETextControl::FormatFromFont() const {
  TIETextCharFormatRec F;
  SetFormatName(F, FTextFont->Name());
  SetI32(F, kHeight, FTextFont->Height());
  F.Bytes[kStyle] = Byte(FTextFont->Style().Bits());
  SetI32(F, kColor, FTextFont->Color());
  SetI32(F, kBack, FTextBrush->Color());
  F.Bytes[kBackStyle] = Byte(FTextBrush->Style());
  F.Bytes[kAlign] = TextAlignment;
  return F;
}

void TIETextControl::SetText() {
  CaretIndex = SelStart = SelEnd = 0;
  const Integer N = TextLength();
  if (CharFormatIndex.size() != size_t(N)) CharFormatIndex.assign(size_t(N), 0);
  if (CharFormats.empty() && N > 0) {
    CharFormats.push_back(FormatFromFont());
    SetUses(CharFormats[0], N);
  }
  // The text may come from a file: an index that names no record would be read past the list
  // (such characters take format 0), and use counts are counted again, since PackFormats
  // would drop a record still in use whose stored count said 0.
  for (Integer& I : CharFormatIndex)
    if (I < 0 || size_t(I) >= CharFormats.size()) I = 0;
  for (TIETextCharFormatRec& F : CharFormats) SetUses(F, 0);
  if (!CharFormats.empty())
    for (Integer I : CharFormatIndex) SetUses(CharFormats[size_t(I)], Uses(CharFormats[size_t(I)]) + 1);
  const Integer Keep = Uses(CurrentFormat);
  CurrentFormat = FormatFromFont();
  SetUses(CurrentFormat, Keep);
  GrowCaches();
  InvalidateLayout(0, N + 1);
  PaintBackground();
}

void TIETextControl::GrowCaches() {
  const size_t N = size_t(TextLength()) + 1;
  for (auto* V : {&CharWidthCache, &CharHeightCache, &CharLeadingCache, &CharDescentCache, &FLineHeight})
    V->resize(N, 0);
  CharX.resize(N, -1);
  CharY.resize(N, -1);
}

void TIETextControl::InvalidateLayout(Integer First, Integer Count) {
  GrowCaches();
  const Integer End = std::min<Integer>(TextLength() + 1, First + Count);
  for (Integer i = std::max(First, 0); i < End; ++i) {
    CharWidthCache[size_t(i)] = CharHeightCache[size_t(i)] = CharLeadingCache[size_t(i)] = 0;
    CharDescentCache[size_t(i)] = 0;
    CharX[size_t(i)] = CharY[size_t(i)] = -1;
  }
}

void TIETextControl::Update() {
  InvalidateLayout(0, TextLength() + 1);
  Invalidate();
}

void TIETextControl::Resize() {
  TCustomControl::Resize();
  Update();
}

void TIETextControl::PackFormats() {
  for (Integer r = static_cast<Integer>(CharFormats.size()) - 1; r >= 0; --r) {
    if (Uses(CharFormats[size_t(r)]) > 0) continue;
    CharFormats.erase(CharFormats.begin() + r);
    for (Integer& I : CharFormatIndex)
      if (I > r) --I;
  }
}

void TIETextControl::SetUniformFormat(bool Value) {
  UniformFormat = Value;
  Update();
}

void TIETextControl::AssignCharFormat(Integer I, const TIETextCharFormatRec& Format) {
  size_t r = 0;
  while (r < CharFormats.size() && !SameFormat(CharFormats[r], Format)) ++r;
  if (r == CharFormats.size()) {
    CharFormats.push_back(Format);
    SetUses(CharFormats.back(), 0);
  }
  CharFormatIndex[size_t(I)] = static_cast<Integer>(r);
  SetUses(CharFormats[r], Uses(CharFormats[r]) + 1);
}

void TIETextControl::InsertChar(char Ch) {
  TextBuffer.insert(TextBuffer.begin() + CaretIndex, Ch);
  CharFormatIndex.insert(CharFormatIndex.begin() + CaretIndex, 0);
  AssignCharFormat(CaretIndex, CurrentFormat);
  GrowCaches();
  InvalidateLayout(CaretIndex, TextLength() + 1);
  ++CaretIndex;
}

Integer TIETextControl::DeleteChar(Integer Index) {
  if (Index < 0 || Index >= TextLength()) return Index;
  const Integer r = CharFormatIndex[size_t(Index)];
  if (r >= 0 && size_t(r) < CharFormats.size()) SetUses(CharFormats[size_t(r)], std::max(0, Uses(CharFormats[size_t(r)]) - 1));
  TextBuffer.erase(TextBuffer.begin() + Index);
  CharFormatIndex.erase(CharFormatIndex.begin() + Index);
  GrowCaches();
  InvalidateLayout(Index, TextLength() + 1);
  return Index;
}

// Without a selection nothing changes: the caret would otherwise jump to the text's start.
void TIETextControl::DeleteSelectedText() {
  if (SelStart >= SelEnd) return;
  for (Integer i = SelEnd - 1; i >= SelStart; --i) DeleteChar(i);
  CaretIndex = std::clamp(SelStart, 0, TextLength());
  DeselectText();
}

void TIETextControl::ExtendTextSelection(Integer OldCaret, TShiftState Shift) {
  if (!(Shift & ssShift)) {
    DeselectText();
  } else if (SelEnd != 0) {
    if (CaretIndex > OldCaret) {
      if (CaretIndex > SelEnd) SelEnd = CaretIndex;
      else SelStart = CaretIndex;
    } else {
      if (CaretIndex < SelStart) SelStart = CaretIndex;
      else SelEnd = CaretIndex;
    }
  } else {
    SelStart = OldCaret;
    SelEnd = CaretIndex;
  }
  if (SelEnd < SelStart) std::swap(SelStart, SelEnd);
}

void TIETextControl::FormatBeforeCaret() {
  if (CaretIndex <= 0 || CaretIndex > TextLength()) return;
  const Integer r = CharFormatIndex[size_t(CaretIndex) - 1];
  if (r >= 0 && size_t(r) < CharFormats.size()) CurrentFormat = CharFormats[size_t(r)];
}

// ---------- formatting commands ----------

template <class F>
void TIETextControl::ReformatSelection(F Change) {
  if (SelStart < SelEnd) {
    for (Integer i = SelStart; i < std::min(SelEnd, TextLength()); ++i) {
      TIETextCharFormatRec& Old = CharFormats[size_t(CharFormatIndex[size_t(i)])];
      TIETextCharFormatRec Copy = Old;
      Change(Copy, i);
      SetUses(Old, std::max(0, Uses(Old) - 1));
      AssignCharFormat(i, Copy);
    }
    InvalidateLayout(SelStart, TextLength() + 1);
  }
}

namespace {
Integer StepHeight(Integer H, Integer Step) {
  const Integer R = H < 0 ? H - Step : H + Step;
  return R == 0 ? 1 : R;
}
}  // namespace

void TIETextControl::FontBigger() {
  auto Change = [](TIETextCharFormatRec& F, Integer) { SetI32(F, kHeight, StepHeight(GetI32(F, kHeight), 1)); };
  ReformatSelection(Change);
  Change(CurrentFormat, 0);
}

void TIETextControl::FontSmaller() {
  auto Change = [](TIETextCharFormatRec& F, Integer) { SetI32(F, kHeight, StepHeight(GetI32(F, kHeight), -1)); };
  ReformatSelection(Change);
  Change(CurrentFormat, 0);
}

void TIETextControl::SetSelectionFont(TFont* Font) {
  if (!Font) return;
  auto Change = [Font](TIETextCharFormatRec& F, Integer) {
    SetFormatName(F, Font->Name());
    SetI32(F, kHeight, Font->Height());
    F.Bytes[kStyle] = Byte(Font->Style().Bits());
    SetI32(F, kColor, Font->Color());
  };
  ReformatSelection(Change);
  Change(CurrentFormat, 0);
}

void TIETextControl::SetSelectionBackground(TColor Color) {
  auto Change = [Color](TIETextCharFormatRec& F, Integer) { SetI32(F, kBack, Color); };
  ReformatSelection(Change);
  Change(CurrentFormat, 0);
}

void TIETextControl::ToggleSelectionStyle(Integer Style) {
  const Byte Bit = Byte(1u << unsigned(std::clamp(Style, 0, 2)));
  if (SelStart < SelEnd && SelStart < TextLength()) {
    const Byte First = CharFormats[size_t(CharFormatIndex[size_t(SelStart)])].Bytes[kStyle] ^ Bit;
    ReformatSelection([First](TIETextCharFormatRec& F, Integer) { F.Bytes[kStyle] = First; });
    CurrentFormat.Bytes[kStyle] = First;
  } else {
    CurrentFormat.Bytes[kStyle] ^= Bit;
  }
}

void TIETextControl::SetParagraphAlignment(Integer Alignment) {
  const Byte A = Byte(std::clamp(Alignment, 0, 3));
  Integer Start = std::min(CaretIndex, TextLength()) - 1;
  while (Start >= 0 && TextBuffer[size_t(Start)] != '\n') --Start;
  ++Start;
  // The paragraph's line feed takes the alignment too: a line is aligned by its last character.
  Integer End = Start;
  while (End < TextLength() && TextBuffer[size_t(End)] != '\n') ++End;
  if (End < TextLength()) ++End;
  const Integer S = SelStart, E = SelEnd;
  SelStart = Start;
  SelEnd = End;
  ReformatSelection([A](TIETextCharFormatRec& F, Integer) { F.Bytes[kAlign] = A; });
  SelStart = S;
  SelEnd = E;
  CurrentFormat.Bytes[kAlign] = A;
}

// ---------- caret movement ----------

void TIETextControl::CaretLeft() { CaretIndex = std::max(0, CaretIndex - 1); }
void TIETextControl::CaretRight() { CaretIndex = std::min(TextLength(), CaretIndex + 1); }

void TIETextControl::WordLeft() {
  Integer i = CaretIndex - 1;
  while (i > 0 && IsBlankOrControl(TextBuffer[size_t(i)])) --i;
  while (i > 0 && !IsBlankOrControl(TextBuffer[size_t(i) - 1])) --i;
  CaretIndex = std::clamp(i, 0, std::max(0, TextLength() - 1));
}

void TIETextControl::WordRight() {
  Integer i = CaretIndex;
  while (i < TextLength() && IsBlankOrControl(TextBuffer[size_t(i)])) ++i;
  while (i < TextLength() && !IsBlankOrControl(TextBuffer[size_t(i)])) ++i;
  CaretIndex = std::clamp(i, 0, std::max(0, TextLength() - 1));
}

void TIETextControl::LineHome() {
  Integer i = CaretIndex;
  while (i > 0 && CharY[size_t(i) - 1] >= CaretY) --i;
  CaretIndex = i;
}

// Onto the line's last character (its line feed or wrapping blank); past the last character
// of the text on its last line.
void TIETextControl::LineEnd() {
  const Integer N = TextLength();
  Integer i = CaretIndex;
  while (i < N && CharY[size_t(i)] == CaretY) ++i;
  if (i < N && i > CaretIndex) --i;
  CaretIndex = i;
}

void TIETextControl::LineUp() {
  Integer i = std::min(CaretIndex, TextLength()) - 1;
  while (i >= 0 && CharY[size_t(i)] >= CaretY) --i;
  if (i < 0) return;
  const Integer Line = CharY[size_t(i)];
  while (i > 0 && CharY[size_t(i) - 1] == Line && CharX[size_t(i)] > CaretX) --i;
  if (CharY[size_t(i) + 1] == Line && std::abs(CharX[size_t(i) + 1] - CaretX) < std::abs(CharX[size_t(i)] - CaretX))
    ++i;
  CaretIndex = i;
}

void TIETextControl::LineDown() {
  const Integer N = TextLength();
  Integer i = std::max(CaretIndex, 0);
  while (i < N && CharY[size_t(i)] <= CaretY) ++i;
  if (CharY[size_t(i)] <= CaretY) return;
  const Integer Line = CharY[size_t(i)];
  while (i < N && CharY[size_t(i) + 1] == Line && CharX[size_t(i)] < CaretX) ++i;
  if (i > 0 && CharY[size_t(i) - 1] == Line &&
      std::abs(CharX[size_t(i) - 1] - CaretX) < std::abs(CharX[size_t(i)] - CaretX))
    --i;
  CaretIndex = i;
}

void TIETextControl::CaretFromPoint(Integer X, Integer Y) {
  Integer i = 0;
  while (i < TextLength() && CharY[size_t(i)] < Y) ++i;
  if (CharY[size_t(i)] >= Y || CharY[size_t(i)] < 0) --i;
  while (i > 0 && X < CharX[size_t(i)] - 1) --i;
  CaretIndex = std::clamp(i, 0, TextLength());
  FormatBeforeCaret();
}

// ---------- clipboard ----------

void TIETextControl::CopyToClipboard() {
  if (SelEnd - SelStart < 1) return;
  const Integer S = std::clamp(SelStart, 0, TextLength()), E = std::clamp(SelEnd, S, TextLength());
  const AnsiString Chars = TextBuffer.substr(size_t(S), size_t(E - S));
  AnsiString Text;
  for (char c : Chars) {
    if (c == '\n') Text += '\r';
    Text += c;
  }
  std::vector<Byte> Block(Chars.size() + 1 + IETextCharFormatSize * Chars.size());
  std::memcpy(Block.data(), Chars.data(), Chars.size());
  Byte* P = Block.data() + Chars.size() + 1;
  for (Integer i = S; i < E; ++i, P += IETextCharFormatSize)
    std::memcpy(P, CharFormats[size_t(CharFormatIndex[size_t(i)])].Bytes.data(), IETextCharFormatSize);
  TClipboard* C = Clipboard();
  C->Open();
  C->Clear();
  C->SetAsText(Text);
  C->SetAsHandle(IETextMemoClipboardFormat(), Block);
  C->Close();
}

void TIETextControl::PasteFromClipboard() {
  TClipboard* C = Clipboard();
  C->Open();
  bool Done = false;
  if (C->HasFormat(IETextMemoClipboardFormat())) {
    // The block may come from another program: its characters end at a NUL inside it, and a
    // format record for each of them must follow in full, with a font height a font can have.
    const std::vector<Byte> Block = C->GetAsHandle(IETextMemoClipboardFormat());
    const auto Nul = std::find(Block.begin(), Block.end(), Byte(0));
    const size_t N = size_t(Nul - Block.begin());
    bool Sound = Nul != Block.end() && (Block.size() - N - 1) / IETextCharFormatSize >= N;
    std::vector<TIETextCharFormatRec> Formats(Sound ? N : 0);
    for (size_t i = 0; Sound && i < N; ++i) {
      std::memcpy(Formats[i].Bytes.data(), Block.data() + N + 1 + i * IETextCharFormatSize, IETextCharFormatSize);
      const Integer H = GetI32(Formats[i], kHeight);
      Sound = H >= -kMaxFontHeight && H <= kMaxFontHeight && Formats[i].Bytes[kAlign] <= 3;
    }
    if (Sound) {
      for (size_t i = 0; i < N; ++i) {
        CurrentFormat = Formats[i];
        InsertChar(static_cast<char>(Block[i]));
      }
      Done = true;
    }
  }
  if (!Done && C->HasFormat(CF_TEXT)) {
    for (char c : C->AsText())
      if (c != '\r' && c != '\0') InsertChar(c);
  }
  C->Close();
}

// ---------- keys and mouse ----------

bool TIETextControl::WantSpecialKey(Word CharCode, TShiftState) {
  return CharCode == VK_TAB || (CharCode >= 33 && CharCode <= 40);
}

void TIETextControl::KeyDown(Word& Key, TShiftState Shift) {
  const Integer Old = CaretIndex;
  const bool Ctrl = Shift & ssCtrl;
  bool Moved = false;
  switch (Key) {
    case VK_BACK:
      if (SelStart < SelEnd) DeleteSelectedText();
      else if (CaretIndex > 0) DeleteChar(--CaretIndex);
      break;
    case VK_RETURN: InsertChar('\n'); break;
    case VK_END:
      if (Ctrl) CaretIndex = TextLength();
      else LineEnd();
      Moved = true;
      break;
    case VK_HOME:
      if (Ctrl) CaretIndex = 0;
      else LineHome();
      Moved = true;
      break;
    case VK_LEFT:
      if (Ctrl) WordLeft();
      else CaretLeft();
      Moved = true;
      break;
    case VK_RIGHT:
      if (Ctrl) WordRight();
      else CaretRight();
      Moved = true;
      break;
    case VK_UP: LineUp(); Moved = true; break;
    case VK_DOWN: LineDown(); Moved = true; break;
    case VK_INSERT: InsertMode = !InsertMode; break;
    case VK_DELETE:
      if (SelStart < SelEnd) DeleteSelectedText();
      else DeleteChar(CaretIndex);
      break;
    case VK_F1:
      if (Shift & ssShift) FontSmaller();
      break;
    case VK_F2:
      if (Shift & ssShift) FontBigger();
      break;
    default:
      if (!Ctrl) break;
      switch (Key) {
        case 'L': SetParagraphAlignment(0); break;
        case 'R': SetParagraphAlignment(1); break;
        case 'E': SetParagraphAlignment(2); break;
        case 'J': SetParagraphAlignment(3); break;
        case 'C': CopyToClipboard(); break;
        case 'X':
          CopyToClipboard();
          DeleteSelectedText();
          break;
        case 'V':
          DeleteSelectedText();
          PasteFromClipboard();
          break;
        case 'B': ToggleSelectionStyle(0); break;
        case 'I': ToggleSelectionStyle(1); break;
        case 'U': ToggleSelectionStyle(2); break;
        case 'F':
          if (!UniformFormat) {
            TFontDialog D(nullptr);
            TFont* F = D.Font();
            F->SetName(CurrentFormat.FontName());
            F->SetHeight(CurrentFormat.FontHeight());
            F->SetStyle(StylesOf(CurrentFormat.FontStyle()));
            F->SetColor(CurrentFormat.FontColor());
            if (D.Execute()) SetSelectionFont(D.Font());
          }
          break;
        case 'G':
          if (!UniformFormat) {
            TColorDialog D(nullptr);
            D.SetColor(CurrentFormat.BackColor());
            if (D.Execute()) SetSelectionBackground(D.Color());
          }
          break;
        default: break;
      }
  }
  if (Moved && CaretIndex != Old) {
    FormatBeforeCaret();
    ExtendTextSelection(Old, Shift);
  }
  // The positions of the edited text are needed by the next key: it is laid out now.
  Update();
  Paint();
  TCustomControl::KeyDown(Key, Shift);
}

void TIETextControl::KeyPress(char& Key) {
  if (static_cast<Byte>(Key) >= 32 && Key != 127) {
    DeleteSelectedText();
    if (!InsertMode) DeleteChar(CaretIndex);
    InsertChar(Key);
  }
  Update();
  Paint();
  TCustomControl::KeyPress(Key);
}

void TIETextControl::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  // The second press of a double click selects a word and does nothing else.
  if (Shift & ssDouble) {
    if (Button == mbLeft) SelectWord();
    TCustomControl::MouseDown(Button, Shift, X, Y);
    return;
  }
  if (!Focused()) SetFocus();
  if (Shift & ssShift) {
    CaretFromPoint(ClickAnchor.X, ClickAnchor.Y);
    const Integer From = CaretIndex;
    CaretFromPoint(X, Y);
    if (CaretIndex != From) {
      DeselectText();
      ExtendTextSelection(From, ssShift);
    }
  } else {
    DeselectText();
    CaretFromPoint(X, Y);
  }
  ClickAnchor = TPoint{X, Y};
  Update();
  Paint();
  if (OnCursorMoved) OnCursorMoved(this);
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TIETextControl::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  if (Shift & ssLeft) {
    DeselectText();
    CaretFromPoint(ClickAnchor.X, ClickAnchor.Y);
    const Integer From = CaretIndex;
    CaretFromPoint(X, Y);
    if (CaretIndex != From) {
      SelStart = std::min(From, CaretIndex);
      SelEnd = std::max(From, CaretIndex);
    }
    Update();
    Paint();
    if (OnCursorMoved) OnCursorMoved(this);
  }
  TCustomControl::MouseMove(Shift, X, Y);
}

// A double click selects the word under the caret.
void TIETextControl::SelectWord() {
  if (TextLength() == 0) return;
  WordLeft();
  const Integer Start = CaretIndex;
  WordRight();
  Integer End = CaretIndex;
  // The last word of the text ends at the text's end, not one character before it.
  if (End == TextLength() - 1 && !IsBlankOrControl(TextBuffer[size_t(End)])) End = TextLength();
  while (End > Start && IsBlankOrControl(TextBuffer[size_t(End) - 1])) --End;
  SelStart = Start;
  SelEnd = End;
  CaretIndex = End;
  FormatBeforeCaret();
  Update();
  Paint();
}

// ---------- layout and painting ----------

Byte TIETextControl::CharAlignment(Integer I) const {
  if (UniformFormat) return TextAlignment;
  if (I < 0 || I >= TextLength()) return CurrentFormat.Alignment();
  return CharFormats[size_t(CharFormatIndex[size_t(I)])].Alignment();
}

void TIETextControl::SelectCharFormat(TCanvas* C, Integer I, double Zoom) {
  TFont* F = C->Font();
  AnsiString Name;
  Integer Height;
  TFontStyles Style;
  TColor Color, Back;
  TBrushStyle BackStyle;
  if (UniformFormat || I < 0 || I >= TextLength() || CharFormats.empty()) {
    const bool Own = UniformFormat || CharFormats.empty();
    const TIETextCharFormatRec& R = CurrentFormat;
    Name = Own ? FTextFont->Name() : R.FontName();
    Height = Own ? FTextFont->Height() : R.FontHeight();
    Style = Own ? FTextFont->Style() : StylesOf(R.FontStyle());
    Color = Own ? FTextFont->Color() : R.FontColor();
    Back = Own ? FTextBrush->Color() : R.BackColor();
    BackStyle = Own ? FTextBrush->Style() : static_cast<TBrushStyle>(R.BackStyle());
  } else {
    const TIETextCharFormatRec& R = CharFormats[size_t(CharFormatIndex[size_t(I)])];
    Name = R.FontName();
    Height = R.FontHeight();
    Style = StylesOf(R.FontStyle());
    Color = R.FontColor();
    Back = R.BackColor();
    BackStyle = static_cast<TBrushStyle>(R.BackStyle());
  }
  Height = SafeTrunc<Integer>(std::clamp(Height, -kMaxFontHeight, kMaxFontHeight) * Zoom);
  if (Height == 0) Height = 1;
  if (F->Name() != Name && !Name.empty()) F->SetName(Name);
  if (F->Height() != Height) F->SetHeight(Height);
  if (!(F->Style() == Style)) F->SetStyle(Style);
  if (!IgnoreColors) {
    if (F->Color() != Color) F->SetColor(Color);
    if (C->Brush()->Color() != Back) C->Brush()->SetColor(Back);
  }
  if (C->Brush()->Style() != BackStyle) C->Brush()->SetStyle(BackStyle);
}

void TIETextControl::MeasureChar(TCanvas* C, Integer I) {
  const size_t i = size_t(I);
  if (CharWidthCache[i] != 0) return;
  SelectCharFormat(C, I, 1.0);
  const char Ch = TextBuffer[i];
  const bool Blank = static_cast<Byte>(Ch) < 31 || Ch == 127;
  CharWidthCache[i] = std::max(1, C->TextWidth(AnsiString(1, Blank ? ' ' : Ch)));
  if (FixedCharHeight != 0) {
    CharHeightCache[i] = std::abs(FixedCharHeight);
    CharLeadingCache[i] = CharDescentCache[i] = 0;
  } else {
    const TTextMetric M = C->Font()->Metrics();
    CharHeightCache[i] = std::abs(M.tmHeight);
    CharLeadingCache[i] = std::abs(M.tmInternalLeading);
    CharDescentCache[i] = std::abs(M.tmDescent);
  }
}

void TIETextControl::LayoutAndDraw(TIECanvas* IC, Integer X, Integer Y, Integer W, Integer H) {
  if (W < 2 || H < 2) return;
  TCanvas* C = IC->GetHandle();
  GrowCaches();
  LaidOutText.clear();
  const double Zoom = TextZoom > 0 && std::isfinite(TextZoom) ? TextZoom : 1.0;
  struct TGlyph {
    Integer X, Y, Index;
    bool Selected;
  };
  std::vector<TGlyph> Glyphs;

  // The frame.
  C->Pen()->SetWidth(1);
  C->Pen()->SetColor(FTextFont->Color());
  C->Pen()->SetStyle(FBorderPen->Style());
  if (!IgnoreColors) C->Pen()->SetColor(FBorderPen->Color());
  C->Pen()->SetMode(pmCopy);
  C->SetBrush(FFillBrush.get());
  C->Rectangle(X, Y, X + SafeRound<Integer>(W * Zoom), Y + SafeRound<Integer>(H * Zoom));
  C->Pen()->SetStyle(psSolid);

  const Integer AW = SafeTrunc<Integer>(W - W * TextMargins[2] / 100 - W * TextMargins[0] / 100) - 2;
  const Integer AH = SafeTrunc<Integer>(H - H * TextMargins[3] / 100 - H * TextMargins[1] / 100) - 2;
  const Integer L = SafeTrunc<Integer>(W * TextMargins[0] / 100) + 1;
  const Integer T = SafeTrunc<Integer>(H * TextMargins[1] / 100) + 1;
  const Integer N = TextLength();

  auto DrawGlyph = [&](const TGlyph& G, double Z) {
    SelectCharFormat(C, G.Index, Z);
    if (G.Selected) {
      C->Font()->SetColor(Invert(C->Font()->Color()));
      C->Brush()->SetColor(Invert(C->Brush()->Color()));
      C->Brush()->SetStyle(bsSolid);
    }
    const char Ch = TextBuffer[size_t(G.Index)];
    const bool Blank = static_cast<Byte>(Ch) < 31 || Ch == 127;
    // The glyph's baseline lies at G.Y; the canvas draws from the cell's top.
    const Integer Ascent = C->Font()->Metrics().tmAscent;
    C->TextOut(G.X, G.Y - Ascent, AnsiString(1, Blank ? ' ' : Ch));
  };

  Integer y = 0, LastH = 0, LastLead = 0, LastDesc = 0;
  Integer i = 0;
  bool Stopped = false;
  while (i < N && !Stopped) {
    // Measuring pass.
    Integer x = 0, LineH = LastH, Lead = LastLead, Desc = LastDesc, j = i, Break = -1;
    while (j < N) {
      CharX[size_t(j)] = L + x;
      CharY[size_t(j)] = T + y;
      MeasureChar(C, j);
      LineH = std::max(LineH, CharHeightCache[size_t(j)]);
      Lead = std::max(Lead, CharLeadingCache[size_t(j)]);
      Desc = std::max(Desc, CharDescentCache[size_t(j)]);
      LastH = CharHeightCache[size_t(j)], LastLead = CharLeadingCache[size_t(j)], LastDesc = CharDescentCache[size_t(j)];
      if (TextBuffer[size_t(j)] == '\n') {
        ++j;
        break;
      }
      if (x + CharWidthCache[size_t(j)] + 2 >= AW) {
        Integer Blank = -1;
        for (Integer k = j - 1; k >= i && Blank < 0; --k)
          if (TextBuffer[size_t(k)] == ' ') Blank = k;
        Break = Blank >= 0 ? Blank + 1 : j;
        break;
      }
      x += CharWidthCache[size_t(j)];
      ++j;
    }
    const Integer End = Break >= 0 ? Break : j;
    if (End <= i) {
      Stopped = true;
      break;
    }
    // Where the line starts, or how it is stretched.
    Integer Last = End - 1;
    if (Last >= i && TextBuffer[size_t(Last)] == '\n') --Last;
    if (Last >= i && TextBuffer[size_t(Last)] == ' ') --Last;
    const Integer LineW = Last >= i ? CharX[size_t(Last)] - L + CharWidthCache[size_t(Last)] : 0;
    Integer Offset = 0;
    double Stretch = 1.0;
    switch (CharAlignment(End - 1)) {
      case 1: Offset = AW - LineW - 1; break;
      case 2: Offset = (AW - LineW) / 2; break;
      case 3:
        if (End < N && TextBuffer[size_t(End) - 1] != '\n' && LineW > 0) Stretch = double(AW) / (LineW + 1);
        break;
      default: break;
    }
    // Drawing pass.
    const Integer Baseline = Y + T + y + LineH - Lead;
    const bool Below = Baseline + Desc >= Y + T + AH;
    if (Below && AutoSize && Visible() && Parent()) {
      SetHeight(SafeTrunc<Integer>((Baseline + Desc + LineH) * Zoom));
      return;
    }
    double ux = 0;
    for (Integer k = i; k < End; ++k) {
      const Integer xk = Offset + SafeTrunc<Integer>(ux * Stretch);
      CharX[size_t(k)] = L + xk;
      CharY[size_t(k)] = T + y;
      FLineHeight[size_t(k)] = LineH;
      const Integer Wk = CharWidthCache[size_t(k)];
      if (!Below && TextBuffer[size_t(k)] != '\n' && X + L + xk + Wk <= X + L + AW) {
        const TGlyph G{X + L + xk, Baseline, k, SelStart <= k && k < SelEnd};
        if (Zoom == 1.0) DrawGlyph(G, 1.0);
        else Glyphs.push_back(G);
        if (CollectLines) LaidOutText += TextBuffer[size_t(k)];
      }
      ux += Wk;
    }
    if (CollectLines) LaidOutText += '\n';
    y += LineH + LineSpacing;
    i = End;
  }

  // The caret, and the position after the last character.
  if (N == 0) {
    CaretX = L;
    CaretY = T;
    SelectCharFormat(C, -1, 1.0);
    CaretHeight = std::abs(C->Font()->Height());
  } else {
    const Integer P = N - 1;
    Integer AfterX, AfterY;
    if (CharY[size_t(P)] < 0) {
      AfterX = L, AfterY = T;
    } else if (TextBuffer[size_t(P)] == '\n') {
      AfterX = L;
      AfterY = CharY[size_t(P)] + FLineHeight[size_t(P)] + LineSpacing;
    } else {
      AfterX = CharX[size_t(P)] + CharWidthCache[size_t(P)];
      AfterY = CharY[size_t(P)];
    }
    CharX[size_t(N)] = AfterX;
    CharY[size_t(N)] = AfterY;
    FLineHeight[size_t(N)] = FLineHeight[size_t(P)];
    const Integer K = std::clamp(CaretIndex, 0, N);
    CaretX = CharX[size_t(K)];
    CaretY = CharY[size_t(K)];
    CaretHeight = FLineHeight[size_t(K)];
  }

  // At another zoom the glyphs were laid out at 1 and are drawn scaled now.
  if (Zoom != 1.0) {
    for (const TGlyph& G : Glyphs)
      DrawGlyph({X + SafeTrunc<Integer>((G.X - X) * Zoom), Y + SafeTrunc<Integer>((G.Y - Y) * Zoom), G.Index, G.Selected},
                Zoom);
    for (size_t k = 0; k < CharX.size(); ++k) {
      if (CharX[k] >= 0) CharX[k] = SafeTrunc<Integer>(CharX[k] * Zoom);
      if (CharY[k] >= 0) CharY[k] = SafeTrunc<Integer>(CharY[k] * Zoom);
    }
    CaretX = SafeTrunc<Integer>(CaretX * Zoom);
    CaretY = SafeTrunc<Integer>(CaretY * Zoom);
    CaretHeight = SafeTrunc<Integer>(CaretHeight * Zoom);
  }
}

void TIETextControl::PaintBackground() {
  if (FOffscreen->Width() <= 0 || FOffscreen->Height() <= 0) return;
  TCanvas* C = FOffscreen->Canvas();
  if (FFillBrush->Style() != bsSolid && BackgroundBitmap)
    C->CopyRect(TRect{0, 0, FOffscreen->Width(), FOffscreen->Height()}, BackgroundBitmap->Canvas(),
                TRect{Left(), Top(), Left() + FOffscreen->Width(), Top() + FOffscreen->Height()});
  if (FFillBrush->Style() != bsClear) {
    C->SetBrush(FFillBrush.get());
    C->FillRect(TRect{0, 0, FOffscreen->Width(), FOffscreen->Height()});
  }
}

void TIETextControl::Paint() {
  if (!Visible() || !Parent()) return;
  const Integer CW = ClientWidth(), CH = ClientHeight();
  if (CW <= 0 || CH <= 0) return;
  if (FOffscreen->Width() != CW || FOffscreen->Height() != CH) FOffscreen->SetSize(CW, CH);
  PaintBackground();
  {
    TIECanvas IC(FOffscreen->Canvas(), true, false);
    LayoutAndDraw(&IC, 0, 0, SafeTrunc<Integer>(CW / TextZoom), SafeTrunc<Integer>(CH / TextZoom));
  }
  Canvas()->Draw(0, 0, FOffscreen.get());
  if (Focused()) {
    TCanvas* C = Canvas();
    C->Pen()->SetMode(pmNot);
    C->Pen()->SetWidth(1);
    C->MoveTo(CaretX, CaretY);
    C->LineTo(CaretX, CaretY + std::max(CaretHeight, 1));
    C->Pen()->SetMode(pmCopy);
  }
}

// The caret shows only while the control has the focus.
void TIETextControl::DoEnter() {
  TCustomControl::DoEnter();
  Invalidate();
}

void TIETextControl::DoExit() {
  TCustomControl::DoExit();
  Invalidate();
}

void TIETextControl::WndProc(TMessage& Message) {
  Word Key = 0;
  switch (Message.Msg) {
    case WM_CUT: Key = 'X'; break;
    case WM_COPY: Key = 'C'; break;
    case WM_PASTE: Key = 'V'; break;
    default: return TCustomControl::WndProc(Message);
  }
  KeyDown(Key, ssCtrl);
}

// ---------- TIEEdit ----------

bool TIEEdit::WantSpecialKey(Word CharCode, TShiftState) {
  return CharCode == VK_TAB || (CharCode >= 33 && CharCode <= 40);
}

void TIEEdit::KeyPress(char& Key) {
  if (Key == '\t') Key = 0;
  TEdit::KeyPress(Key);
}
