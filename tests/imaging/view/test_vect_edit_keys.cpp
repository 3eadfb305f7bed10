// The vector view's keys, object undo and redo, change events and in-place text editing, driven
// through the real view with simulated keys and mouse; and handles out of range.
#include <algorithm>

#include "imaging/proc/ie_proc.h"
#include "imaging/view/ie_layer.h"
#include "imaging/view/ie_text_control.h"
#include "platform/gui/application.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/keys.h"
#include "platform/gui/menus.h"
#include "platform/gui/stdctrls.h"
#include "tests/support/scripted_services.h"
#include "tests/imaging/view/vect_test_fixture.h"

using namespace vecttest;

namespace {

struct VectKeysTest : VectTest {
  TPoint C(Integer BX, Integer BY) { return {View->BitmapToScreenX(BX), View->BitmapToScreenY(BY)}; }
  void Drag(TPoint A, TPoint B) {
    SimulateMouse(View, smPress, mbLeft, A.X, A.Y);
    SimulateMouse(View, smMove, mbLeft, B.X, B.Y, ssLeft);
    SimulateMouse(View, smRelease, mbLeft, B.X, B.Y);
  }
  void Click(TPoint P) {
    SimulateMouse(View, smPress, mbLeft, P.X, P.Y);
    SimulateMouse(View, smRelease, mbLeft, P.X, P.Y);
  }
  TRect Box(Integer h) {
    const TIEVObjectRec& o = *View->GetObjectRec(h);
    return TRect{o.X1, o.Y1, o.X2, o.Y2};
  }
  Integer FilledBox(Integer X1, Integer Y1, Integer X2, Integer Y2) {
    const Integer h = Add(ievkBox, X1, Y1, X2, Y2);
    View->GetObjectRec(h)->BrushStyle = bsSolid;
    return h;
  }
  Integer Text(const AnsiString& S, Integer X1, Integer Y1, Integer X2, Integer Y2) {
    TIEVObjectRec R = Rec(ievkText, X1, Y1, X2, Y2);
    R.Text = S;
    return View->AppendObject(R);
  }
  Integer Memo(const AnsiString& S, Integer X1, Integer Y1, Integer X2, Integer Y2) {
    TIEVObjectRec R = Rec(ievkMemo, X1, Y1, X2, Y2);
    R.Text = S;
    return View->AppendObject(R);
  }
};

bool SameRect(const TRect& A, const TRect& B) {
  return A.Left == B.Left && A.Top == B.Top && A.Right == B.Right && A.Bottom == B.Bottom;
}

}  // namespace

TEST_F(VectKeysTest, MouseEditsAreUndoneAndRedoneThroughTheProcessingComponent) {
  const Integer h = FilledBox(20, 20, 80, 60);
  View->ObjAutoUndo = true;
  View->ObjUndoMode = ieumShared;
  View->Proc()->SetUndoLimit(5);
  View->SetMouseInteractObj(mioObjectSelect);
  Click(C(40, 40));
  // A press and release that change nothing leave no undo step behind.
  EXPECT_EQ(View->Proc()->UndoCount(), 0);
  Drag(C(40, 40), C(50, 55));
  ASSERT_TRUE(SameRect(Box(h), TRect{30, 35, 90, 75}));
  ASSERT_EQ(View->Proc()->UndoCount(), 1);
  EXPECT_EQ(View->Proc()->GetUndoSource(0), ieuObject);

  View->Proc()->Undo(true);
  EXPECT_TRUE(SameRect(Box(h), TRect{20, 20, 80, 60}));
  View->Proc()->Redo();
  EXPECT_TRUE(SameRect(Box(h), TRect{30, 35, 90, 75}));

  // A new object is undone too.
  View->SetMouseInteractObj(mioPutEllipse);
  Drag(C(100, 100), C(150, 140));
  ASSERT_EQ(View->ObjectsCount(), 2);
  View->Proc()->Undo();
  EXPECT_EQ(View->ObjectsCount(), 1);
}

TEST_F(VectKeysTest, TheViewsOwnSnapshotListIsBoundedAndTellsOfEachSave) {
  const Integer h = FilledBox(20, 20, 80, 60);
  View->ObjAutoUndo = true;
  View->ObjUndoLimit = 2;
  std::vector<TIEUndoSource> Saved;
  View->SetOnSaveUndo([&](TObject*, TIEUndoSource S) { Saved.push_back(S); });
  View->SetMouseInteractObj(mioObjectSelect);
  View->AddToSelection(h);
  Drag(C(40, 40), C(45, 40));
  Drag(C(45, 40), C(50, 40));
  Drag(C(50, 40), C(55, 40));
  ASSERT_EQ(View->ObjectsSnapshotCount(), 2);
  EXPECT_EQ(Saved.size(), 3u);
  EXPECT_EQ(Saved.back(), ieuObject);
  // The oldest kept is the state before the second drag.
  TMemoryStream* S = View->ObjectsSnapshot(0);
  ASSERT_NE(S, nullptr);
  S->SetPosition(0);
  ASSERT_TRUE(View->LoadObjectsFromStream(S));
  EXPECT_TRUE(SameRect(Box(0), TRect{25, 20, 85, 60}));
  EXPECT_EQ(View->ObjectsSnapshot(2), nullptr);

  View->ObjUndoLimit = 0;
  View->ClearObjectsSnapshots();
  Saved.clear();
  View->ClearObjects();
  EXPECT_EQ(View->ObjectsSnapshotCount(), 0);
  EXPECT_TRUE(Saved.empty());
}

TEST_F(VectKeysTest, ChangeEventsFireOncePerGestureUntilRearmed) {
  Integer Fired = 0;
  View->OnVectorialChanged = [&](TObject*) { ++Fired; };
  View->VectorialChangedOnce();
  View->VectorialChangedOnce();
  EXPECT_EQ(Fired, 1);
  View->VectorialChanged();
  View->VectorialChangedOnce();
  EXPECT_EQ(Fired, 3);

  // A corner drag through several moves reports once while dragging and once at the end.
  const Integer h = FilledBox(20, 20, 80, 60);
  View->AddToSelection(h);
  View->SetMouseInteractObj(mioObjectSelect);
  View->VectorialChanged();
  Fired = 0;
  SimulateMouse(View, smPress, mbLeft, C(80, 60).X, C(80, 60).Y);
  for (Integer i = 1; i <= 4; ++i) SimulateMouse(View, smMove, mbLeft, C(80 + i * 5, 60).X, C(80, 60).Y, ssLeft);
  SimulateMouse(View, smRelease, mbLeft, C(100, 60).X, C(100, 60).Y);
  EXPECT_TRUE(SameRect(Box(h), TRect{20, 20, 100, 60}));
  EXPECT_EQ(Fired, 2);
}

TEST_F(VectKeysTest, KeysOfTheView) {
  const Integer T = Text("Hello", 20, 20, 120, 40);
  const Integer L = Add(ievkLine, 20, 80, 120, 100);
  const Integer B = FilledBox(130, 100, 180, 150);
  std::vector<Word> Seen;
  View->OnKeyDown = [&](TObject*, Word& Key, TShiftState) { Seen.push_back(Key); };

  // F2 on a selected line does only the view's usual key handling.
  View->AddToSelection(L);
  SimulateKey(View, VK_F2);
  EXPECT_FALSE(View->IsEditingText());
  ASSERT_FALSE(Seen.empty());
  EXPECT_EQ(Seen.back(), VK_F2);

  // F2 on a text object opens its editor; Escape ends the edit.
  View->ClearSelection();
  View->AddToSelection(T);
  SimulateKey(View, VK_F2);
  ASSERT_TRUE(View->IsEditingText());
  ASSERT_NE(View->TextEditBox(), nullptr);
  EXPECT_TRUE(View->TextEditBox()->Visible());
  EXPECT_EQ(View->TextEditBox()->Text(), AnsiString("Hello"));
  SimulateKey(View, VK_ESCAPE);
  EXPECT_FALSE(View->IsEditingText());
  EXPECT_FALSE(View->TextEditBox()->Visible());

  // An object that must not be edited never opens the editor.
  View->GetObjectRec(T)->EditOnCreate = false;
  SimulateKey(View, VK_F2);
  EXPECT_FALSE(View->IsEditingText());
  EXPECT_EQ(View->EditedObject(), -1);

  // Arrows, Delete and the Ctrl shortcuts reach the view (arrows even inside dialogs) but edit
  // no object and leave the clipboard alone: objects have no clipboard here.
  EXPECT_TRUE(View->GetDlgCode() & dlgcWantArrows);
  View->ClearSelection();
  View->AddToSelection(B);
  Clipboard()->SetAsText("kept");
  const TClipFormat Vect = RegisterClipboardFormat("ZODIVER VECT");
  Seen.clear();
  const std::pair<Word, TShiftState> Keys[] = {{VK_LEFT, 0},       {VK_DOWN, 0},       {VK_DELETE, 0},
                                               {Word('C'), ssCtrl}, {Word('X'), ssCtrl}, {Word('V'), ssCtrl},
                                               {Word('Z'), ssCtrl}};
  for (auto [K, S] : Keys) SimulateKey(View, K, S);
  EXPECT_EQ(Seen.size(), std::size(Keys));
  EXPECT_EQ(View->ObjectsCount(), 3);
  EXPECT_TRUE(SameRect(Box(B), TRect{130, 100, 180, 150}));
  EXPECT_EQ(Clipboard()->AsText(), AnsiString("kept"));
  EXPECT_FALSE(Clipboard()->HasFormat(Vect));
}

TEST_F(VectKeysTest, TextObjectsAreEditedInPlaceByKeys) {
  View->SetMouseInteractObj(mioPutText);
  Integer Activated = 0, Deactivated = 0, Changed = 0;
  View->OnActivateTextEdit = [&](TObject*) { ++Activated; };
  View->OnDeactivateTextEdit = [&](TObject*) { ++Deactivated; };
  std::vector<Word> TextKeys;
  View->OnTextKeyDown = [&](TObject*, Word& Key, TShiftState) { TextKeys.push_back(Key); };
  Drag(C(20, 20), C(120, 40));
  ASSERT_EQ(View->ObjectsCount(), 1);
  ASSERT_TRUE(View->IsEditingText());
  TEdit* E = View->TextEditBox();
  ASSERT_NE(E, nullptr);
  EXPECT_EQ(Activated, 1);
  EXPECT_TRUE(E->Focused());
  // The box lies over the object.
  EXPECT_EQ(E->Left(), View->BitmapToScreenX(20));
  EXPECT_EQ(E->Width(), View->BitmapToScreenX(120) - View->BitmapToScreenX(20));

  View->OnVectorialChanged = [&](TObject*) { ++Changed; };
  SimulateTyping(E, "abc");
  SimulateKey(E, VK_RETURN);
  EXPECT_FALSE(View->IsEditingText());
  EXPECT_EQ(*View->GetObjectRec(0)->Text, AnsiString("abc"));
  EXPECT_EQ(Deactivated, 1);
  EXPECT_GE(Changed, 1);
  EXPECT_TRUE(View->Focused());
  EXPECT_FALSE(TextKeys.empty());

  // Escape drops what was typed.
  View->ClearSelection();
  View->AddToSelection(0);
  SimulateKey(View, VK_F2);
  ASSERT_TRUE(View->IsEditingText());
  SimulateTyping(E, "zz");
  EXPECT_EQ(E->Text(), AnsiString("abczz"));
  SimulateKey(E, VK_ESCAPE);
  EXPECT_FALSE(View->IsEditingText());
  EXPECT_EQ(*View->GetObjectRec(0)->Text, AnsiString("abc"));

  // Zooming during an edit carries the box along.
  SimulateKey(View, VK_F2);
  ASSERT_TRUE(View->IsEditingText());
  View->SetZoom(200);
  EXPECT_EQ(E->Left(), View->BitmapToScreenX(20));
  EXPECT_EQ(E->Width(), View->BitmapToScreenX(120) - View->BitmapToScreenX(20));
  SimulateKey(E, VK_RETURN);

  // With automatic size the object ends as wide as its text at the zoom, without the extra "M"
  // it had while typing.
  View->SetZoom(100);
  View->GetObjectRec(0)->TextAutoSize = true;
  SimulateKey(View, VK_F2);
  ASSERT_TRUE(View->IsEditingText());
  SimulateTyping(E, "d");
  TBitmap Measure;
  Measure.SetSize(8, 8);
  Measure.Canvas()->SetFont(E->Font());
  const Integer W = Measure.Canvas()->TextWidth("abcd"), M = Measure.Canvas()->TextWidth("M");
  EXPECT_EQ(View->GetObjectRec(0)->X2, 20 + W + M);
  SimulateKey(E, VK_RETURN);
  EXPECT_EQ(View->GetObjectRec(0)->X2, 20 + W);
}

// While a text object is edited in place the view draws only its outline, one client pixel
// outside the box, at any zoom: neither its fill nor its text shows under the edit box.
TEST_F(VectKeysTest, TheEditedTextObjectIsDrawnAsAFrame) {
  TIEVObjectRec R = Rec(ievkText, 10, 20, 80, 40);
  R.Text = "Hello", R.PenColor = 0xFF0000, R.PenWidth = 1, R.BrushStyle = bsSolid, R.BrushColor = 0x00FF00;
  const Integer T = View->AppendObject(R);
  View->SetObjAntialias(false);
  View->SetZoomObjectsWidth(false);
  for (Integer Zoom : {100, 200}) {
    SCOPED_TRACE(Zoom);
    View->SetZoom(Zoom);
    auto Render = [&] {
      View->Update();
      View->Paint();
      Application->ProcessMessages();
      return View->BackBufferBitmap()->Canvas();
    };
    const Integer x1 = View->BitmapToScreenX(10), y1 = View->BitmapToScreenY(20);
    const Integer x2 = View->BitmapToScreenX(80), y2 = View->BitmapToScreenY(40);
    ASSERT_LT(x2 + 1, View->ClientWidth());
    const Integer mx = (x1 + x2) / 2, my = (y1 + y2) / 2;
    // Not edited: filled (right of its short text) and written.
    EXPECT_EQ(Render()->Pixels(x2 - 3, my), TColor(0x00FF00));

    View->SetEditedObject(T);
    View->StartTextEdit();
    ASSERT_TRUE(View->IsEditingText());
    TCanvas* Cv = Render();
    for (TPoint P : {TPoint{x1 - 1, my}, TPoint{x2, my}, TPoint{mx, y1 - 1}, TPoint{mx, y2}, TPoint{x1 - 1, y1 - 1}})
      EXPECT_EQ(Cv->Pixels(P.X, P.Y), TColor(0xFF0000)) << P.X << "," << P.Y;
    Integer Other = 0;
    for (Integer y = y1; y < y2; ++y)
      for (Integer x = x1; x < x2; ++x)
        if (Cv->Pixels(x, y) != TColor(0xFFFFFF)) ++Other;
    EXPECT_EQ(Other, 0);
    EXPECT_EQ(Cv->Pixels(x1 - 2, my), TColor(0xFFFFFF));
    EXPECT_EQ(Cv->Pixels(x2 + 1, my), TColor(0xFFFFFF));

    SimulateKey(View->TextEditBox(), VK_RETURN);
    ASSERT_FALSE(View->IsEditingText());
    EXPECT_EQ(Render()->Pixels(x2 - 3, my), TColor(0x00FF00));
  }
}

// The clipboard messages sent to the editors' windows do what the editors' Ctrl+X, Ctrl+C and
// Ctrl+V do; the view itself has no clipboard commands for objects. The single-line editor keeps
// Tab for itself.
TEST_F(VectKeysTest, ClipboardMessagesReachTheTextEditors) {
  testsupport::ScriptedServices Services;
  auto ClipText = [&] {
    const std::vector<Byte>& B = Services.ClipboardData[CF_TEXT];
    return AnsiString(B.begin(), B.end());
  };
  std::vector<Word> TextKeys;
  View->OnTextKeyDown = [&](TObject*, Word& Key, TShiftState) { TextKeys.push_back(Key); };

  const Integer T = Text("Hello world", 20, 20, 160, 40);
  View->AddToSelection(T);
  SimulateKey(View, VK_F2);
  ASSERT_TRUE(View->IsEditingText());
  TEdit* E = View->TextEditBox();
  E->SetSelStart(0);
  E->SetSelLength(6);
  EXPECT_EQ(SendMessage(E, WM_COPY), 0);
  EXPECT_EQ(ClipText(), "Hello ");
  SendMessage(E, WM_CUT);
  EXPECT_EQ(E->Text(), "world");
  E->SetSelStart(5);
  SendMessage(E, WM_PASTE);
  EXPECT_EQ(E->Text(), "worldHello ");
  SimulateKey(E, VK_TAB, 0, '\t');
  EXPECT_TRUE(E->Focused());
  ASSERT_FALSE(TextKeys.empty());
  EXPECT_EQ(TextKeys.back(), VK_TAB);
  EXPECT_EQ(E->Text(), "worldHello ");
  SimulateKey(E, VK_RETURN);
  EXPECT_EQ(*View->GetObjectRec(T)->Text, AnsiString("worldHello "));

  const Integer M = Memo("abc", 20, 60, 160, 120);
  View->ClearSelection();
  View->AddToSelection(M);
  SimulateKey(View, VK_F2);
  ASSERT_TRUE(View->IsEditingText());
  TIETextControl* C = View->TextControl();
  C->SelStart = 0;
  C->SelEnd = 2;
  TextKeys.clear();
  SendMessage(C, WM_COPY);
  EXPECT_EQ(ClipText(), "ab");
  EXPECT_EQ(Services.ClipboardData[IETextMemoClipboardFormat()].size(), 2u + 1u + 2u * 280u);
  SendMessage(C, WM_CUT);
  EXPECT_EQ(C->TextBuffer, "c");
  C->CaretIndex = 1;
  SendMessage(C, WM_PASTE);
  EXPECT_EQ(C->TextBuffer, "cab");
  // The control's own key handling ran, its owner's key event included.
  EXPECT_EQ(TextKeys, (std::vector<Word>{Word('C'), Word('X'), Word('V')}));
  SimulateKey(C, VK_ESCAPE);
  ASSERT_FALSE(View->IsEditingText());
  EXPECT_EQ(*View->GetObjectRec(M)->Text, AnsiString("cab"));

  // Sent to the view, with objects selected, the messages change nothing.
  View->AddToSelection(T);
  Services.ClipboardData.clear();
  for (Cardinal Msg : {WM_COPY, WM_CUT, WM_PASTE}) SendMessage(View, Msg);
  EXPECT_TRUE(Services.ClipboardData.empty());
  EXPECT_EQ(View->ObjectsCount(), 2);
  EXPECT_EQ(*View->GetObjectRec(T)->Text, AnsiString("worldHello "));
}

TEST_F(VectKeysTest, DoubleClickOnATextOpensItsEditorAloneSelected) {
  const Integer T = Text("Hello", 20, 20, 120, 40);
  const Integer B = FilledBox(130, 100, 180, 150);
  View->AddToSelection(B);
  View->SetMouseInteractObj(mioObjectSelect);
  Integer DblClicked = -1;
  View->OnObjectDblClick = [&](TObject*, Integer h) { DblClicked = h; };
  const TPoint P = C(50, 30);
  SimulateMouse(View, smPress, mbLeft, P.X, P.Y);
  SimulateMouse(View, smRelease, mbLeft, P.X, P.Y);
  SimulateMouse(View, smDoubleClick, mbLeft, P.X, P.Y);
  SimulateMouse(View, smRelease, mbLeft, P.X, P.Y);
  EXPECT_EQ(DblClicked, T);
  EXPECT_TRUE(View->IsEditingText());
  EXPECT_EQ(View->EditedObject(), T);
  ASSERT_EQ(View->SelectedObjectsCount(), 1);
  EXPECT_EQ(View->SelectedObject(0), T);
  // A press elsewhere ends the edit and keeps the text.
  SimulateTyping(View->TextEditBox(), "!");
  Click(C(150, 120));
  EXPECT_FALSE(View->IsEditingText());
  EXPECT_EQ(*View->GetObjectRec(T)->Text, AnsiString("Hello!"));
}

TEST_F(VectKeysTest, MemosAreEditedInPlaceByTheTextControl) {
  const Integer M = Memo("ab", 20, 20, 120, 80);
  Integer Activated = 0, Deactivated = 0, Changed = 0;
  View->OnActivateTextEdit = [&](TObject*) { ++Activated; };
  View->OnDeactivateTextEdit = [&](TObject*) { ++Deactivated; };
  View->OnVectorialChanged = [&](TObject*) { ++Changed; };
  std::vector<Word> TextKeys;
  View->OnTextKeyDown = [&](TObject*, Word& Key, TShiftState) { TextKeys.push_back(Key); };

  View->AddToSelection(M);
  SimulateKey(View, VK_F2);
  ASSERT_TRUE(View->IsEditingText());
  EXPECT_EQ(View->EditedObject(), M);
  TIETextControl* T = View->TextControl();
  EXPECT_TRUE(T->Visible());
  EXPECT_TRUE(T->Focused());
  EXPECT_EQ(Activated, 1);
  EXPECT_EQ(T->TextBuffer, AnsiString("ab"));
  // The control covers the memo, its last row and column included.
  EXPECT_EQ(T->Left(), View->BitmapToScreenX(20));
  EXPECT_EQ(T->Top(), View->BitmapToScreenY(20));
  EXPECT_EQ(T->Width(), View->BitmapToScreenX(120) - View->BitmapToScreenX(20) + 1);
  EXPECT_EQ(T->Height(), View->BitmapToScreenY(80) - View->BitmapToScreenY(20) + 1);

  // Enter is a line break of the memo, not the end of the edit; Escape ends it keeping the text.
  SimulateKey(T, VK_END, ssCtrl);
  SimulateTyping(T, "cd");
  SimulateKey(T, VK_RETURN);
  ASSERT_TRUE(View->IsEditingText());
  SimulateTyping(T, "e");
  EXPECT_EQ(T->TextBuffer, AnsiString("abcd\ne"));
  SimulateKey(T, VK_ESCAPE);
  EXPECT_FALSE(View->IsEditingText());
  EXPECT_FALSE(T->Visible());
  EXPECT_EQ(Deactivated, 1);
  EXPECT_GE(Changed, 1);
  EXPECT_TRUE(View->Focused());
  EXPECT_NE(std::find(TextKeys.begin(), TextKeys.end(), VK_RETURN), TextKeys.end());
  ASSERT_FALSE(TextKeys.empty());
  EXPECT_EQ(TextKeys.back(), VK_ESCAPE);
  const TIEVObjectRec& o = *View->GetObjectRec(M);
  ASSERT_TRUE(o.Text.has_value());
  EXPECT_EQ(*o.Text, AnsiString("abcd\ne"));
  // Every character has a format, and the formats came back with the text.
  ASSERT_TRUE(o.MemoCharFormats.has_value());
  EXPECT_EQ(o.MemoCharFormats->size(), 6u);
  ASSERT_TRUE(o.MemoFormats.has_value());
  EXPECT_FALSE(o.MemoFormats->empty());

  // What was typed survives the objects file.
  TMemoryStream S;
  View->SaveObjectsToStream(&S);
  S.SetPosition(0);
  View->ClearObjects();
  ASSERT_TRUE(View->LoadObjectsFromStream(&S));
  ASSERT_TRUE(View->GetObjectRec(0)->Text.has_value());
  EXPECT_EQ(*View->GetObjectRec(0)->Text, AnsiString("abcd\ne"));

  // A memo that must not be edited never opens the control.
  View->GetObjectRec(0)->EditOnCreate = false;
  View->ClearSelection();
  View->AddToSelection(0);
  SimulateKey(View, VK_F2);
  EXPECT_FALSE(View->IsEditingText());
  EXPECT_FALSE(T->Visible());
}

TEST_F(VectKeysTest, AMemoOpenedByDoubleClickFollowsTheZoomAndReportsItsCaret) {
  const Integer M = Memo("hello world", 20, 20, 120, 60);
  View->GetObjectRec(M)->BrushStyle = bsSolid;
  View->GetObjectRec(M)->TextAutoSize = true;
  View->SetMouseInteractObj(mioObjectSelect);
  const TPoint P = C(50, 40);
  SimulateMouse(View, smPress, mbLeft, P.X, P.Y);
  SimulateMouse(View, smRelease, mbLeft, P.X, P.Y);
  SimulateMouse(View, smDoubleClick, mbLeft, P.X, P.Y);
  SimulateMouse(View, smRelease, mbLeft, P.X, P.Y);
  ASSERT_TRUE(View->IsEditingText());
  ASSERT_EQ(View->EditedObject(), M);
  TIETextControl* T = View->TextControl();
  ASSERT_TRUE(T->Visible());

  // The caret moved by the mouse is reported through the view's event.
  Integer Moved = 0;
  View->SetOnTextEditCursorMoved([&](TObject*) { ++Moved; });
  EXPECT_TRUE(static_cast<bool>(T->OnCursorMoved));
  EXPECT_TRUE(static_cast<bool>(View->OnTextEditCursorMoved()));
  T->Repaint();
  SimulateMouse(T, smPress, mbLeft, T->Width() - 2, 3);
  SimulateMouse(T, smRelease, mbLeft, T->Width() - 2, 3);
  EXPECT_GE(Moved, 1);
  EXPECT_GT(T->CaretIndex, 0);

  // Zooming carries the control along and zooms its text.
  View->SetZoom(200);
  EXPECT_EQ(T->Left(), View->BitmapToScreenX(20));
  EXPECT_EQ(T->Width(), View->BitmapToScreenX(120) - View->BitmapToScreenX(20) + 1);
  EXPECT_DOUBLE_EQ(T->TextZoom, 2.0);

  // With automatic size the memo ends as high as the control, in bitmap pixels.
  const Integer H = T->ClientHeight();
  SimulateKey(T, VK_ESCAPE);
  ASSERT_FALSE(View->IsEditingText());
  EXPECT_EQ(View->GetObjectRec(M)->Y2, 20 + H / 2);
  EXPECT_EQ(*View->GetObjectRec(M)->Text, AnsiString("hello world"));
}

TEST_F(VectKeysTest, AMemoEditRunningWhenTheViewGoesGivesItsTextBackUnsized) {
  const Integer M = Memo("ab", 20, 20, 120, 30);
  View->GetObjectRec(M)->TextAutoSize = true;
  View->AddToSelection(M);
  SimulateKey(View, VK_F2);
  ASSERT_TRUE(View->IsEditingText());
  SimulateKey(View->TextControl(), VK_END, ssCtrl);
  SimulateTyping(View->TextControl(), "c");
  std::optional<AnsiString> Text;
  Integer Y2 = -1, Deactivated = 0;
  View->OnDeactivateTextEdit = [&](TObject* Sender) {
    ++Deactivated;
    const TIEVObjectRec* o = static_cast<TZodivErVect*>(Sender)->GetObjectRec(M);
    Text = o->Text;
    Y2 = o->Y2;
  };
  View->OnVectorialChanged = [&](TObject*) { ADD_FAILURE() << "no change is reported by a view going away"; };
  delete View;
  View = nullptr;
  EXPECT_EQ(Deactivated, 1);
  ASSERT_TRUE(Text.has_value());
  EXPECT_EQ(*Text, AnsiString("abc"));
  EXPECT_EQ(Y2, 30);
}

TEST_F(VectKeysTest, HandlesAndPositionsOutOfRangeAreRefused) {
  const Integer h = FilledBox(20, 20, 80, 60);
  View->AddToSelection(h);
  EXPECT_EQ(View->GetObjectAt(0), h);
  EXPECT_EQ(View->GetObjectAt(1), IEV_NO_OBJECT);
  EXPECT_EQ(View->GetObjectAt(-1), IEV_NO_OBJECT);
  EXPECT_EQ(View->SelectedObject(1), IEV_NO_OBJECT);
  EXPECT_EQ(View->SelectedObject(-7), IEV_NO_OBJECT);
  for (Integer Bad : {1, 1000, -3, -4, -77}) {
    View->MoveObjectBy(Bad, 5, 5);
    View->ResizeObjectBy(Bad, 2, false, 5, 5);
    View->SetEditedObject(Bad);
    EXPECT_EQ(View->EditedObject(), -1);
    View->StartTextEdit();
    EXPECT_FALSE(View->IsEditingText());
    View->DrawObjectGrips(View->BackBufferBitmap()->Canvas(), Bad);
  }
  // The template is no object: moving "the next object" leaves it alone.
  View->MoveObjectBy(IEV_NEXT_OBJECT, 5, 5);
  EXPECT_EQ(View->GetObjectRec(IEV_NEXT_OBJECT)->X1, 0);
  EXPECT_TRUE(SameRect(Box(h), TRect{20, 20, 80, 60}));
}

TEST_F(VectKeysTest, MeasuringOperations) {
  View->SetSelectionBase(iesbBitmap);
  View->AddSelectionPoint(0, 0);
  View->AddSelectionPoint(10, 0);
  View->AddSelectionPoint(10, 10);
  View->AddSelectionPoint(0, 10);
  View->EndSelect();
  EXPECT_DOUBLE_EQ(View->SelectionArea(), 100.0);
  const TPoint Pts[3] = {{1, 1}, {2, 2}, {IEV_UNPLACED, 0}};
  EXPECT_EQ(TZodivErVect::CountAnglePoints(Pts), 2);

  TTestVect Other(Form);
  Other.SetMeasureScale(2.5);
  Other.AppendObject(Rec(ievkBox, 1, 1, 5, 5));
  View->Assign(&Other);
  EXPECT_EQ(View->MeasureScale, 2.5);
  EXPECT_EQ(View->ObjectsCount(), 1);
  View->Assign(nullptr);
  EXPECT_EQ(View->ObjectsCount(), 0);
}

namespace {

struct TRecordingPlugIn : TIEVPlugInObject {
  std::vector<std::string>* Log = nullptr;
  bool HandleKey(Word Key, TShiftState) override {
    Log->push_back("key " + std::to_string(Key));
    return true;
  }
  void MouseDown(TMouseButton, TShiftState, Integer, Integer) override { Log->push_back("down"); }
  void MouseUp(TMouseButton, TShiftState, Integer, Integer) override { Log->push_back("up"); }
  void MouseEnter(TShiftState, Integer, Integer) override { Log->push_back("enter"); }
  void MouseLeave(TShiftState, Integer, Integer) override { Log->push_back("leave"); }
  std::unique_ptr<TIEVPlugInObject> Clone() const override {
    auto P = std::make_unique<TRecordingPlugIn>();
    P->Log = Log;
    return P;
  }
  AnsiString PlugInClassName() const override { return "TRecordingPlugIn"; }
};

}  // namespace

TEST_F(VectKeysTest, PlugInObjectsHearKeysAndTheMouseOverThem) {
  std::vector<std::string> Log;
  TRecordingPlugIn Proto;
  Proto.Log = &Log;
  TIEVObjectRec R = Rec(ievkPlugIn, 40, 40, 100, 90);
  R.PlugIn = Proto.Clone();
  const Integer h = View->AppendObject(R);
  View->SetMouseInteractObj(mioObjectSelect);
  SimulateMouse(View, smMove, mbLeft, C(150, 150).X, C(150, 150).Y);
  SimulateMouse(View, smMove, mbLeft, C(60, 60).X, C(60, 60).Y);
  Click(C(60, 60));
  SimulateMouse(View, smMove, mbLeft, C(150, 150).X, C(150, 150).Y);
  EXPECT_EQ(Log, (std::vector<std::string>{"enter", "down", "up", "leave"}));
  ASSERT_TRUE(View->IsObjectSelected(h));
  Log.clear();
  SimulateKey(View, VK_RIGHT);
  EXPECT_EQ(Log, std::vector<std::string>{"key " + std::to_string(VK_RIGHT)});
  // With a second object selected the keys are the view's alone.
  View->AddToSelection(FilledBox(120, 120, 140, 140));
  Log.clear();
  SimulateKey(View, VK_RIGHT);
  EXPECT_TRUE(Log.empty());
}

TEST_F(VectKeysTest, TheUnitStartUpRegistersTheFormatShortcutsAndPlugInList) {
  // The fixture started the library; start it again with the vector unit registered.
  IEFinalize();
  IERegisterVectorUnit();
  IEInitialize();
  EXPECT_NE(IEVectClipboardFormat, 0);
  EXPECT_EQ(ClipboardFormatName(IEVectClipboardFormat), AnsiString("ZODIVER VECT"));
  EXPECT_EQ(IEVTextShortCuts.Bold, ShortCut(Word('B'), ssCtrl));
  EXPECT_EQ(IEVTextShortCuts.AlignCenter, ShortCut(Word('E'), ssCtrl));
  EXPECT_EQ(IEVTextShortCuts.Color, ShortCut(Word('G'), ssCtrl));
  IERegisterPlugInClass("TRecordingPlugIn", [] { return std::make_unique<TRecordingPlugIn>(); });
  EXPECT_NE(IECreatePlugInObject("TRecordingPlugIn"), nullptr);
  IEFinalize();
  EXPECT_EQ(IECreatePlugInObject("TRecordingPlugIn"), nullptr);
  EXPECT_EQ(IEVTextShortCuts.Bold, 0);
  IEInitialize();
}

TEST_F(VectKeysTest, LayersAndObjectsAreUndoneAndRedoneTogether) {
  TZodivErProc* P = View->Proc();
  P->SetUndoLimit(3);
  const Integer B = FilledBox(20, 20, 80, 60);
  View->AddLayer();
  TIELayer* L = View->LayerAt(1);
  L->Bitmap->Allocate(6, 4, ie24RGB);
  L->Bitmap->Fill(static_cast<double>(0x0000FF));
  L->PosX = 7;
  L->LayerName = "top";
  P->SaveUndo(ieuObjectsAndLayers);
  ASSERT_EQ(P->UndoCount(), 1);
  EXPECT_EQ(P->GetUndoSource(0), ieuObjectsAndLayers);

  // Both halves change: an object moves and one is added, the layer moves and is repainted,
  // a third layer comes.
  View->GetObjectRec(B)->X1 = 30;
  Add(ievkLine, 5, 5, 60, 50);
  L->PosX = 40;
  L->LayerName = "moved";
  L->Bitmap->Fill(static_cast<double>(0x00FF00));
  View->AddLayer();
  const auto Check = [&](Integer Objects, Integer X1, Integer Layers, Integer PosX, const char* Name, Byte Green) {
    ASSERT_EQ(View->ObjectsCount(), Objects);
    EXPECT_EQ(View->GetObjectRec(B)->X1, X1);
    ASSERT_EQ(View->LayerCount(), Layers);
    TIELayer* Top = View->LayerAt(1);
    EXPECT_EQ(Top->PosX, PosX);
    EXPECT_EQ(Top->LayerName, AnsiString(Name));
    ASSERT_EQ(Top->Bitmap->GetWidth(), 6);
    EXPECT_EQ(Top->Bitmap->GetPixelRGB(2, 2).g, Green);
  };

  P->Undo(true);
  Check(1, 20, 2, 7, "top", 0);
  ASSERT_EQ(P->RedoCount(), 1);
  P->Redo();
  Check(2, 30, 3, 40, "moved", 255);
}
