#include <gtest/gtest.h>

#include <memory>

#include "platform/gui/application.h"
#include "platform/gui/extctrls.h"
#include "platform/gui/forms.h"
#include "platform/gui/graphics.h"
#include "platform/gui/imglist.h"
#include "platform/gui/input_simulation.h"
#include "platform/gui/menus.h"
#include "platform/gui/stdctrls.h"

namespace {

using Log = std::vector<AnsiString>;

TEST(ShortCuts, TextAndKeysConvertBothWays) {
  struct Case {
    Word Key;
    TShiftState Shift;
    const char* Text;
  };
  for (Case C : {Case{VK_F1, 0, "F1"}, Case{'S', ssCtrl, "Ctrl+S"}, Case{VK_DELETE, ssShift | ssCtrl, "Shift+Ctrl+Del"},
                 Case{'X', ssAlt, "Alt+X"}, Case{VK_F12, ssShift, "Shift+F12"}, Case{VK_RETURN, 0, "Enter"},
                 Case{'7', ssCtrl, "Ctrl+7"}}) {
    const TShortCut S = ShortCut(C.Key, C.Shift);
    EXPECT_EQ(ShortCutToText(S), C.Text);
    EXPECT_EQ(TextToShortCut(C.Text), S) << C.Text;
  }
  EXPECT_EQ(TextToShortCut("ctrl+s"), ShortCut('S', ssCtrl));
  for (const char* Bad : {"", "Ctrl+", "F99", "Hyper+A", "Ctrl+Ctrl"}) EXPECT_EQ(TextToShortCut(Bad), scNone) << Bad;
  EXPECT_EQ(ShortCut(0x170, 0), scNone);
  EXPECT_EQ(ShortCutToText(scNone), "");
}

// The main window's menu: " File " with "  Exit"; "Help" with "Help Contents" (F1), a line and
// "About".
struct MenuFixture : ::testing::Test {
  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetBounds(80, 80, 300, 200);
    Menu = new TMainMenu(Form);
    File = Item(" File ");
    Exit = Item("  Exit");
    File->Add(Exit);
    Help = Item("Help");
    Contents = Item("Help Contents");
    Contents->SetShortCut(ShortCut(VK_F1, 0));
    Help->Add(Contents);
    Help->Add(Item("-"));
    About = Item("About");
    Help->Add(About);
    Menu->Items()->Add(File);
    Menu->Items()->Add(Help);
    Field = new TEdit(Form);
    Field->SetParent(Form);
    Field->SetTop(60);
    ShowActive(Form);
  }
  void TearDown() override { delete Form; }

  TMenuItem* Item(const AnsiString& Caption) {
    auto* I = new TMenuItem(Form);
    I->SetCaption(Caption);
    I->OnClick = [this, Caption](TObject*) { L.push_back(Caption); };
    return I;
  }

  Log L;
  TForm* Form = nullptr;
  TMainMenu* Menu = nullptr;
  TMenuItem *File = nullptr, *Exit = nullptr, *Help = nullptr, *Contents = nullptr, *About = nullptr;
  TEdit* Field = nullptr;
};

TEST_F(MenuFixture, ShortcutClicksItsItemWhileEnabled) {
  int FieldKeys = 0;
  Field->OnKeyDown = [&](TObject*, Word&, TShiftState) { ++FieldKeys; };
  SimulateKey(Field, VK_F1);
  EXPECT_EQ(L, (Log{"Help Contents"}));
  // The menu takes the key before the focused control sees it.
  EXPECT_EQ(FieldKeys, 0);

  Contents->SetEnabled(false);
  SimulateKey(Field, VK_F1);
  EXPECT_EQ(L.size(), 1u);
  EXPECT_EQ(FieldKeys, 1);

  // IsShortCut finds enabled items only, anywhere in the tree.
  EXPECT_FALSE(Menu->IsShortCut(ShortCut(VK_F1, 0)));
  Contents->SetEnabled(true);
  EXPECT_EQ(Menu->FindItem(TextToShortCut("F1")), Contents);
  EXPECT_TRUE(Menu->IsShortCut(ShortCut(VK_F1, 0)));
  EXPECT_EQ(L.size(), 2u);
}

TEST_F(MenuFixture, ItemTreeKeepsOrderAndFreesSubItems) {
  ASSERT_EQ(Help->Count(), 3);
  EXPECT_TRUE(Help->Items(1)->IsLine());
  EXPECT_EQ(About->MenuIndex(), 2);
  EXPECT_EQ(About->GetParentMenu(), Menu);
  EXPECT_EQ(Menu->Items()->IndexOf(Help), 1);
  EXPECT_THROW(Help->Add(About), EInvalidOperation);
  EXPECT_THROW(Help->Items(3), EListError);

  auto* Index = Item("Index");
  Help->Insert(1, Index);
  EXPECT_EQ(Help->Items(1), Index);
  EXPECT_EQ(About->MenuIndex(), 3);

  // Freeing an item takes it out of its parent; freeing a parent frees its sub-items, which also
  // leave their owner.
  delete Index;
  EXPECT_EQ(Help->Count(), 3);
  const Integer Owned = Form->ComponentCount();
  delete Help;
  EXPECT_EQ(Menu->Items()->Count(), 1);
  EXPECT_EQ(Form->ComponentCount(), Owned - 4);
}

// The bar sits above the client area: the window grows by it, whether the client size was set
// before the menu got its items or after, and what is drawn at client (0, 0) stays in sight.
TEST(MainMenu, BarStaysOutsideTheClientArea) {
  for (bool SizeFirst : {true, false}) {
    SCOPED_TRACE(SizeFirst ? "size set first" : "menu made first");
    TForm Form(nullptr);
    if (SizeFirst) {
      Form.SetClientWidth(944);
      Form.SetClientHeight(686);
    }
    auto* Menu = new TMainMenu(&Form);
    auto* File = new TMenuItem(&Form);
    File->SetCaption("File");
    Menu->Items()->Add(File);
    if (!SizeFirst) {
      Form.SetClientWidth(944);
      Form.SetClientHeight(686);
    }
    auto* Panel = new TPanel(&Form);
    Panel->SetParent(&Form);
    Panel->SetBounds(0, 0, 40, 30);
    Panel->SetColor(clRed);
    Form.OnPaint = [&Form](TObject*) {
      Form.Canvas()->Brush()->SetColor(clBlue);
      Form.Canvas()->FillRect(Rect(100, 0, 110, 4));
    };
    ShowActive(&Form);

    EXPECT_EQ(Form.ClientWidth(), 944);
    EXPECT_EQ(Form.ClientHeight(), 686);
    EXPECT_EQ(Form.ClientRect(), Rect(0, 0, 944, 686));
    EXPECT_GT(Form.Height(), 686);
    EXPECT_EQ(PixelOnScreen(Panel, 5, 2), clRed);
    EXPECT_EQ(PixelOnScreen(&Form, 101, 1), clBlue);
    EXPECT_EQ(Form.ClientToScreen(Point(0, 30)), Panel->ClientToScreen(Point(0, 30)));
    // Aligned controls share the client area only.
    Panel->SetAlign(alClient);
    EXPECT_EQ(Panel->BoundsRect(), Rect(0, 0, 944, 686));
  }
}

// ---------------------------------------------------------------------------------------------
// Image lists

// A strip of two 4 x 3 pictures: the first red with a white top-left pixel, the second blue.
std::unique_ptr<TBitmap> Strip() {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(8, 3);
  B->Canvas()->Brush()->SetColor(clRed);
  B->Canvas()->FillRect(Rect(0, 0, 4, 3));
  B->Canvas()->Brush()->SetColor(clBlue);
  B->Canvas()->FillRect(Rect(4, 0, 8, 3));
  B->Canvas()->SetPixel(0, 0, clWhite);
  return B;
}

TColor PixelAt(TBitmap& B, Integer X, Integer Y) { return B.PixelColor(X, Y); }

TEST(ImageList, AddCutsAStripAndDrawLeavesMaskedPixelsAlone) {
  TImageList List(nullptr);
  List.SetWidth(4);
  List.SetHeight(3);
  auto Pictures = Strip();
  EXPECT_EQ(List.AddMasked(Pictures.get(), clWhite), 0);
  EXPECT_EQ(List.Count(), 2);

  TBitmap Target;
  Target.SetPixelFormat(pf24bit);
  Target.SetSize(10, 5);
  Target.Canvas()->Brush()->SetColor(clLime);
  Target.Canvas()->FillRect(Rect(0, 0, 10, 5));
  List.Draw(Target.Canvas(), 2, 1, 0);
  List.Draw(Target.Canvas(), 6, 1, 1);
  EXPECT_EQ(PixelAt(Target, 2, 1), clLime);  // the white pixel is transparent
  EXPECT_EQ(PixelAt(Target, 3, 1), clRed);
  EXPECT_EQ(PixelAt(Target, 9, 3), clBlue);
  EXPECT_EQ(PixelAt(Target, 1, 1), clLime);
  // A bad index draws nothing.
  List.Draw(Target.Canvas(), 0, 0, 5);
  EXPECT_EQ(PixelAt(Target, 0, 0), clLime);
}

TEST(ImageList, MonochromeMaskAndDisabledLook) {
  TImageList List(nullptr);
  List.SetWidth(4);
  List.SetHeight(3);
  auto Pictures = Strip();
  TBitmap Mask;
  Mask.SetPixelFormat(pf24bit);
  Mask.SetSize(8, 3);
  Mask.Canvas()->Brush()->SetColor(clBlack);
  Mask.Canvas()->FillRect(Rect(0, 0, 8, 3));
  Mask.Canvas()->SetPixel(5, 1, clWhite);
  List.Add(Pictures.get(), &Mask);

  TBitmap Target;
  Target.SetPixelFormat(pf24bit);
  Target.SetSize(5, 4);
  Target.Canvas()->Brush()->SetColor(clLime);
  Target.Canvas()->FillRect(Rect(0, 0, 5, 4));
  List.Draw(Target.Canvas(), 0, 0, 1);
  EXPECT_EQ(PixelAt(Target, 1, 1), clLime);
  EXPECT_EQ(PixelAt(Target, 0, 0), clBlue);

  // Disabled: dark ink in the shadow colour with the highlight one pixel below and right, where
  // that is not ink itself (the masked pixel).
  Target.Canvas()->FillRect(Rect(0, 0, 5, 4));
  List.Draw(Target.Canvas(), 0, 0, 1, false);
  EXPECT_EQ(PixelAt(Target, 0, 0), ColorToRGB(clBtnShadow));
  EXPECT_EQ(PixelAt(Target, 1, 1), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(PixelAt(Target, 4, 3), clLime);
}

TEST(ImageList, SizesAndIndexesAreChecked) {
  TImageList List(nullptr);
  List.SetWidth(10);
  auto Pictures = Strip();
  EXPECT_THROW(List.Add(Pictures.get(), nullptr), EInvalidOperation);
  EXPECT_THROW(List.Add(nullptr, nullptr), EInvalidOperation);
  EXPECT_THROW(List.SetHeight(0), EInvalidOperation);
  EXPECT_THROW(List.Delete(0), EInvalidOperation);
  List.SetWidth(4);
  List.Add(Pictures.get(), nullptr);
  TBitmap Copy;
  EXPECT_TRUE(List.GetBitmap(1, &Copy));
  EXPECT_EQ(Copy.Width(), 4);
  EXPECT_EQ(PixelAt(Copy, 0, 0), clBlue);
  EXPECT_FALSE(List.GetBitmap(2, &Copy));
  // A change of size empties the list and tells the registered links.
  int Changes = 0;
  TChangeLink Link;
  Link.OnChange = [&](TObject*) { ++Changes; };
  List.RegisterChanges(&Link);
  List.SetHeight(8);
  EXPECT_EQ(List.Count(), 0);
  EXPECT_EQ(Changes, 1);
}

TEST_F(MenuFixture, ItemPicturesComeFromTheMenusImageList) {
  // Only that freeing the list while the menu uses it is safe is checked; the icon is Qt's.
  auto* List = new TImageList(Form);
  List->SetWidth(4);
  List->SetHeight(3);
  auto Pictures = Strip();
  List->Add(Pictures.get(), nullptr);
  Menu->SetImages(List);
  About->SetImageIndex(1);
  delete List;
  EXPECT_EQ(Menu->Images(), nullptr);
  About->SetImageIndex(0);
}

}  // namespace
