// The text control on a shown form, driven by real key and mouse events: typing and the shared
// format records, caret keys and selections, the formatting commands and dialogs, the clipboard
// block (and blocks from other programs that do not add up), and the layout's wrapping.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/view/ie_text_control.h"
#include "platform/gui/forms.h"
#include "platform/gui/input_simulation.h"
#include "platform/gui/keys.h"
#include "tests/support/scripted_services.h"

namespace {

Integer Uses(const TIETextCharFormatRec& F) {
  Integer v;
  std::memcpy(&v, &F.Bytes[0], 4);
  return v;
}

class TTestTextControl : public TIETextControl {
 public:
  using TIETextControl::Paint;
  using TIETextControl::TIETextControl;
};

struct TextControlTest : ::testing::Test {
  testsupport::ScriptedServices Services;
  TForm* Form = nullptr;
  TTestTextControl* C = nullptr;

  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetBounds(40, 40, 420, 300);
    C = new TTestTextControl(Form);
    C->SetParent(Form);
    C->SetBounds(10, 10, 300, 200);
    C->TextFont()->SetName("DejaVu Sans");
    C->TextFont()->SetHeight(-16);
    C->SetText();
    ShowActive(Form);
    C->SetFocus();
    C->Paint();
  }
  void TearDown() override { delete Form; }

  void Key(Word K, TShiftState S = 0) { SimulateKey(C, K, S); }
  void Type(const AnsiString& Text) {
    for (char Ch : Text) {
      if (Ch == '\n') Key(VK_RETURN);
      else SimulateTyping(C, AnsiString(1, Ch));
    }
  }
  const TIETextCharFormatRec& FormatOf(Integer I) { return C->CharFormats[size_t(C->CharFormatIndex[size_t(I)])]; }
  std::string Selected() {
    return C->SelStart < C->SelEnd ? C->TextBuffer.substr(size_t(C->SelStart), size_t(C->SelEnd - C->SelStart)) : "";
  }
  std::vector<Byte>& Private() { return Services.ClipboardData[IETextMemoClipboardFormat()]; }
};

TEST_F(TextControlTest, TypedCharactersShareOneFormatUntilOneIsMadeBold) {
  Type("a");
  ASSERT_EQ(C->TextBuffer, "a");
  ASSERT_EQ(C->CharFormats.size(), 1u);
  EXPECT_EQ(Uses(C->CharFormats[0]), 1);
  Type("b");
  ASSERT_EQ(C->CharFormats.size(), 1u);
  EXPECT_EQ(Uses(C->CharFormats[0]), 2);
  EXPECT_EQ(C->CaretIndex, 2);

  // The second character selected from the keyboard, then Ctrl+B.
  Key(VK_LEFT, ssShift);
  EXPECT_EQ(Selected(), "b");
  Key('B', ssCtrl);
  ASSERT_EQ(C->CharFormats.size(), 2u);
  EXPECT_EQ(Uses(C->CharFormats[0]), 1);
  EXPECT_EQ(Uses(C->CharFormats[1]), 1);
  EXPECT_EQ(FormatOf(1).FontStyle() & 1, 1);
  EXPECT_EQ(FormatOf(0).FontStyle() & 1, 0);
  // Bold again: the record without users stays until the text is packed.
  Key('B', ssCtrl);
  EXPECT_EQ(C->CharFormatIndex[1], 0);
  EXPECT_EQ(Uses(C->CharFormats[0]), 2);
  C->PackFormats();
  EXPECT_EQ(C->CharFormats.size(), 1u);
}

// A memo's text handed over from a file: indices that name no record fall back to the first,
// and stored use counts are not trusted, so packing keeps every record still in use.
TEST_F(TextControlTest, AHandedOverTextIsCheckedBeforeUse) {
  TIETextCharFormatRec A, B;
  A.Bytes[4] = 1, A.Bytes[5] = 'X';
  B.Bytes[4] = 1, B.Bytes[5] = 'Y';
  std::memset(&A.Bytes[0], 0, 4);  // claims no users
  C->TextBuffer = "abc";
  C->CharFormats = {A, B};
  C->CharFormatIndex = {0, 7, 1};
  C->SetText();
  EXPECT_EQ(C->CharFormatIndex[1], 0);
  EXPECT_EQ(Uses(C->CharFormats[0]), 2);
  C->PackFormats();
  ASSERT_EQ(C->CharFormats.size(), 2u);
  EXPECT_EQ(FormatOf(2).FontName(), "Y");
  C->Paint();
}

// Each row: keys from a known caret, then the caret, the selection and the text.
TEST_F(TextControlTest, CaretKeysMoveSelectAndEdit) {
  Type("hello world\nsecond line");
  ASSERT_EQ(C->TextBuffer, "hello world\nsecond line");
  struct TStep {
    const char* What;
    Integer From;
    std::vector<std::pair<Word, TShiftState>> Keys;
    Integer Caret;
    const char* Selection;
  };
  const TStep Steps[] = {
      {"Ctrl+Home", 15, {{VK_HOME, ssCtrl}}, 0, ""},
      {"Ctrl+End", 3, {{VK_END, ssCtrl}}, 23, ""},
      {"End stops before the line feed", 2, {{VK_END, 0}}, 11, ""},
      {"End on the last line goes past its end", 14, {{VK_END, 0}}, 23, ""},
      {"Home", 16, {{VK_HOME, 0}}, 12, ""},
      {"Left and Right", 5, {{VK_LEFT, 0}, {VK_LEFT, 0}, {VK_RIGHT, 0}}, 4, ""},
      {"Ctrl+Right", 1, {{VK_RIGHT, ssCtrl}}, 5, ""},
      {"Ctrl+Left", 9, {{VK_LEFT, ssCtrl}}, 6, ""},
      {"Down keeps the column", 2, {{VK_DOWN, 0}}, 14, ""},
      {"Up keeps the column", 14, {{VK_UP, 0}}, 2, ""},
      {"Shift+End selects to the line's end", 12, {{VK_END, ssShift}}, 23, "second line"},
      {"Shift+Right twice", 0, {{VK_RIGHT, ssShift}, {VK_RIGHT, ssShift}}, 2, "he"},
      {"Shift+Left after Shift+Right shrinks", 0,
       {{VK_RIGHT, ssShift}, {VK_RIGHT, ssShift}, {VK_RIGHT, ssShift}, {VK_LEFT, ssShift}}, 2, "he"},
      {"a plain move drops the selection", 0, {{VK_RIGHT, ssShift}, {VK_RIGHT, 0}}, 2, ""},
  };
  for (const TStep& S : Steps) {
    SCOPED_TRACE(S.What);
    C->DeselectText();
    C->CaretIndex = S.From;
    C->Update();
    C->Paint();
    for (auto [K, Sh] : S.Keys) Key(K, Sh);
    EXPECT_EQ(C->CaretIndex, S.Caret);
    EXPECT_EQ(Selected(), S.Selection);
  }

  // Editing: Backspace and Delete take the selection, or one character.
  C->DeselectText();
  C->CaretIndex = 5;
  Key(VK_BACK);
  EXPECT_EQ(C->TextBuffer, "hell world\nsecond line");
  Key(VK_DELETE);
  EXPECT_EQ(C->TextBuffer, "hellworld\nsecond line");
  Key(VK_RIGHT, ssShift);
  Key(VK_RIGHT, ssShift);
  Key(VK_DELETE);
  EXPECT_EQ(C->TextBuffer, "hellrld\nsecond line");
  // Overwrite mode replaces; Insert switches back.
  Key(VK_INSERT);
  EXPECT_FALSE(C->InsertMode);
  Type("XY");
  EXPECT_EQ(C->TextBuffer, "hellXYd\nsecond line");
  Key(VK_INSERT);
  Type("Z");
  EXPECT_EQ(C->TextBuffer, "hellXYZd\nsecond line");
  // Typing over a selection replaces it; Enter inserts a line feed.
  C->SelStart = 0;
  C->SelEnd = 4;
  Type("H");
  EXPECT_EQ(C->TextBuffer, "HXYZd\nsecond line");
  Key(VK_RETURN);
  EXPECT_EQ(C->TextBuffer, "H\nXYZd\nsecond line");
  // The control keeps Tab and the navigation keys for itself.
  EXPECT_TRUE(C->WantSpecialKey(VK_TAB, 0));
  EXPECT_TRUE(C->WantSpecialKey(VK_LEFT, ssShift));
  EXPECT_FALSE(C->WantSpecialKey(VK_ESCAPE, 0));
}

TEST_F(TextControlTest, FormattingKeysAndDialogs) {
  Type("one two\nthree");
  // Shift+F2 / Shift+F1 step the height's magnitude by one pixel.
  C->SelStart = 0;
  C->SelEnd = 3;
  Key(VK_F2, ssShift);
  EXPECT_EQ(FormatOf(0).FontHeight(), -17);
  EXPECT_EQ(FormatOf(3).FontHeight(), -16);
  Key(VK_F1, ssShift);
  Key(VK_F1, ssShift);
  EXPECT_EQ(FormatOf(2).FontHeight(), -15);

  // Alignment applies to the caret's paragraph only and moves its line.
  C->DeselectText();
  C->CaretIndex = 2;
  Key(VK_RIGHT);
  const Integer LeftX = C->CharX[0];
  Key('E', ssCtrl);
  EXPECT_EQ(FormatOf(0).Alignment(), 2);
  EXPECT_EQ(FormatOf(6).Alignment(), 2);
  EXPECT_EQ(FormatOf(8).Alignment(), 0);
  EXPECT_GT(C->CharX[0], LeftX);
  Key('R', ssCtrl);
  EXPECT_EQ(FormatOf(0).Alignment(), 1);
  // Right: the line's last visible character ends one pixel left of the text area's end.
  const Integer AreaW = C->ClientWidth() - 2;
  EXPECT_EQ(C->CharX[6] + C->CharWidthCache[6], AreaW + 1 - 1);
  Key('L', ssCtrl);
  EXPECT_EQ(C->CharX[0], LeftX);

  // Ctrl+F and Ctrl+G open the dialogs with the current format, and apply the answer.
  C->SelStart = 8;
  C->SelEnd = 13;
  testsupport::ScriptedAnswer Font;
  Font.Result = 1;
  Font.Font.Name = "DejaVu Serif";
  Font.Font.Size = 20;
  Services.Script("Font", Font);
  Key('F', ssCtrl);
  ASSERT_EQ(Services.CallsOf("Font").size(), 1u);
  EXPECT_EQ(FormatOf(9).FontName(), "DejaVu Serif");
  EXPECT_EQ(FormatOf(1).FontName(), "DejaVu Sans");
  testsupport::ScriptedAnswer Colour;
  Colour.Result = 1;
  Colour.Color = 0x00FF00;
  Services.Script("Color", Colour);
  Key('G', ssCtrl);
  EXPECT_EQ(FormatOf(10).BackColor(), 0x00FF00);
  // With one format for the whole text neither dialog opens.
  C->SetUniformFormat(true);
  Key('F', ssCtrl);
  Key('G', ssCtrl);
  EXPECT_EQ(Services.CallsOf("Font").size(), 1u);
  EXPECT_EQ(Services.CallsOf("Color").size(), 1u);
}

TEST_F(TextControlTest, CopyAndPasteKeepTheFormats) {
  Type("ab");
  Key(VK_LEFT, ssShift);
  Key('B', ssCtrl);
  Key(VK_HOME, ssCtrl | ssShift);
  ASSERT_EQ(Selected(), "ab");
  Key('C', ssCtrl);
  EXPECT_EQ(Private().size(), 563u);  // 2 + 1 + 2 x 280
  EXPECT_EQ(Private()[2], 0);
  const std::vector<Byte>& Text = Services.ClipboardData[CF_TEXT];
  EXPECT_EQ(std::string(Text.begin(), Text.end()), "ab");

  Key(VK_END, ssCtrl);
  Key('V', ssCtrl);
  ASSERT_EQ(C->TextBuffer, "abab");
  EXPECT_EQ(FormatOf(2).FontStyle() & 1, 0);
  EXPECT_EQ(FormatOf(3).FontStyle() & 1, 1);
  // After a paste the current format is the last pasted character's.
  EXPECT_EQ(C->CurrentFormat.FontStyle() & 1, 1);

  // Ctrl+X takes the selection away; plain text from elsewhere comes without carriage returns.
  C->SelStart = 0;
  C->SelEnd = 2;
  Key('X', ssCtrl);
  EXPECT_EQ(C->TextBuffer, "ab");
  Services.ClipboardData.clear();
  const std::string Two = "x\r\ny";
  Services.ClipboardData[CF_TEXT] = std::vector<Byte>(Two.begin(), Two.end());
  Key(VK_END, ssCtrl);
  Key('V', ssCtrl);
  EXPECT_EQ(C->TextBuffer, "abx\ny");
  // The copy of a line break is CR LF.
  C->SelStart = 2;
  C->SelEnd = 5;
  Key('C', ssCtrl);
  const std::vector<Byte>& Copied = Services.ClipboardData[CF_TEXT];
  EXPECT_EQ(std::string(Copied.begin(), Copied.end()), "x\r\ny");
}

// A block another program put there is read only when it adds up: a NUL inside it, a whole
// record for every character, and records a font can be made from. Otherwise the plain text
// is pasted, and without plain text nothing changes.
TEST_F(TextControlTest, ForeignClipboardBlocksAreChecked) {
  Type("ab");
  Key(VK_HOME, ssCtrl | ssShift);
  Key('C', ssCtrl);
  const std::vector<Byte> Good = Private();
  ASSERT_EQ(Good.size(), 563u);
  auto Height = [](std::vector<Byte> B, Integer Record, Integer H) {
    std::memcpy(&B[3 + 280 * size_t(Record) + 260], &H, 4);
    return B;
  };
  struct TCase {
    const char* What;
    std::vector<Byte> Block;
  };
  std::vector<Byte> NoNul = Good;
  NoNul[2] = 'c';
  std::vector<Byte> Aligned = Good;
  Aligned[3 + 280 + 277] = 9;
  const TCase Cases[] = {
      {"one record short", std::vector<Byte>(Good.begin(), Good.end() - 280)},
      {"one byte short", std::vector<Byte>(Good.begin(), Good.end() - 1)},
      {"no NUL", NoNul},
      {"characters only", std::vector<Byte>(Good.begin(), Good.begin() + 3)},
      {"a font of a million pixels", Height(Good, 1, 1000000)},
      {"an alignment that does not exist", Aligned},
      {"nothing", {}},
  };
  for (const TCase& Cs : Cases) {
    SCOPED_TRACE(Cs.What);
    C->TextBuffer.clear();
    C->CharFormatIndex.clear();
    C->CharFormats.clear();
    C->SetText();
    Services.ClipboardData.clear();
    Private() = Cs.Block;
    Key('V', ssCtrl);
    EXPECT_EQ(C->TextBuffer, "");
    const std::string Plain = "zz";
    Services.ClipboardData[CF_TEXT] = std::vector<Byte>(Plain.begin(), Plain.end());
    Key('V', ssCtrl);
    EXPECT_EQ(C->TextBuffer, "zz");
  }
  // More bytes than the characters need are left alone.
  C->TextBuffer.clear();
  C->CharFormatIndex.clear();
  C->CharFormats.clear();
  C->SetText();
  Services.ClipboardData.clear();
  Private() = Good;
  Private().resize(700, 0xEE);
  Key('V', ssCtrl);
  EXPECT_EQ(C->TextBuffer, "ab");
}

TEST_F(TextControlTest, MouseSetsTheCaretAndSelects) {
  Type("alpha beta gamma");
  const Integer Y = C->CharY[0] + 3;
  SimulateClick(C, C->CharX[6] + 1, Y);
  EXPECT_EQ(C->CaretIndex, 6);
  EXPECT_EQ(Selected(), "");
  // Shift+click extends from the last plain click.
  SimulateMouse(C, smPress, mbLeft, C->CharX[10] + 1, Y, ssShift);
  SimulateMouse(C, smRelease, mbLeft, C->CharX[10] + 1, Y, ssShift);
  EXPECT_EQ(Selected(), "beta");
  // A drag selects from the press to the pointer.
  const Integer X0 = C->CharX[0] + 1, X5 = C->CharX[5] + 1;
  SimulateMouse(C, smPress, mbLeft, X0, Y);
  SimulateMouse(C, smMove, mbLeft, X5, Y, ssLeft);
  SimulateMouse(C, smRelease, mbLeft, X5, Y);
  EXPECT_EQ(Selected(), "alpha");
  // A double click selects the word under the caret, the text's last word too.
  SimulateMouse(C, smPress, mbLeft, C->CharX[12] + 1, Y);
  SimulateMouse(C, smRelease, mbLeft, C->CharX[12] + 1, Y);
  SimulateMouse(C, smDoubleClick, mbLeft, C->CharX[12] + 1, Y);
  EXPECT_EQ(Selected(), "gamma");
  SimulateMouse(C, smPress, mbLeft, C->CharX[7] + 1, Y);
  SimulateMouse(C, smRelease, mbLeft, C->CharX[7] + 1, Y);
  SimulateMouse(C, smDoubleClick, mbLeft, C->CharX[7] + 1, Y);
  EXPECT_EQ(Selected(), "beta");
}

// Words wrap at the last blank that fits and keep it on their line; a word longer than the
// line breaks where it no longer fits; justified lines fill the width except a paragraph's last.
TEST_F(TextControlTest, LayoutWrapsAlignsAndCollectsLines) {
  C->SetBounds(10, 10, 120, 200);
  C->CollectLines = true;
  Type("aaaa bbbb cccc dddd\nxxxxxxxxxxxxxxxxxxxx");
  C->Paint();
  const AnsiString Lines = C->LaidOutText;
  // Every line ends with a line feed; the blank that broke a line stays on it.
  ASSERT_GE(std::count(Lines.begin(), Lines.end(), '\n'), 4);
  EXPECT_EQ(Lines.back(), '\n');
  EXPECT_NE(Lines.find("aaaa bbbb \n"), std::string::npos) << Lines;
  // End on a wrapped line stops before its wrapping blank; Shift+End selects within the line.
  C->CaretIndex = 0;
  C->Paint();
  Key(VK_END, ssShift);
  EXPECT_EQ(C->TextBuffer[size_t(C->CaretIndex)], ' ');
  EXPECT_EQ(C->CharY[size_t(C->CaretIndex)], C->CharY[0]);
  EXPECT_NE(C->CharY[size_t(C->CaretIndex) + 1], C->CharY[0]);
  EXPECT_EQ(Selected(), "aaaa bbbb");
  C->DeselectText();
  // The long word is cut into pieces of which none is wider than the area.
  const Integer AreaW = C->ClientWidth() - 2;
  for (Integer i = 20; i < C->TextLength(); ++i) EXPECT_LE(C->CharX[size_t(i)] + C->CharWidthCache[size_t(i)], AreaW + 1);
  EXPECT_GT(C->CharY[39], C->CharY[20]);
  // Justified: the first line reaches the right edge, the paragraph's last line does not.
  C->CaretIndex = 1;
  Key('J', ssCtrl);
  C->Paint();
  const Integer Last = 8;  // the last b on the first line
  EXPECT_GT(C->CharX[size_t(Last)] + C->CharWidthCache[size_t(Last)], AreaW - 12);
  // The paragraph's last line (the one holding its line feed) keeps the measured widths.
  for (Integer k = 18; k > 0 && C->CharY[size_t(k) - 1] == C->CharY[18]; --k)
    EXPECT_EQ(C->CharX[size_t(k)] - C->CharX[size_t(k) - 1], C->CharWidthCache[size_t(k) - 1]) << k;
  EXPECT_NE(C->CharY[18], C->CharY[0]);
}

// The single-line editor keeps Tab for itself and types no tab character.
TEST_F(TextControlTest, TheLineEditKeepsTabAndTheArrows) {
  auto* E = new TIEEdit(Form);
  E->SetParent(Form);
  E->SetBounds(10, 220, 200, 24);
  E->SetFocus();
  SimulateTyping(E, "ab");
  SimulateKey(E, VK_TAB, 0, '\t');
  SimulateKey(E, VK_LEFT);
  SimulateTyping(E, "c");
  EXPECT_EQ(E->Text(), "acb");
  EXPECT_TRUE(E->Focused());
}

}  // namespace
