// Editing the text of a text object in place: an edit box laid over the object at the current
// zoom and scroll position, Enter keeping and Escape dropping what was typed, the text taken back
// into the object with its automatic width.
#include <algorithm>

#include "imaging/core/ie_helpers.h"
#include "imaging/view/ie_vect.h"
#include "platform/rtl/numerics.h"
#include "platform/gui/keys.h"
#include "platform/gui/stdctrls.h"

void TZodivErVect::SetEditedObject(Integer hobj) {
  TIEVObjectRec* o = hobj >= 0 ? GetObjectRec(hobj) : nullptr;
  FEditedObject = o ? hobj : -1;
}

void TZodivErVect::StartTextEdit() {
  TIEVObjectRec* o = FEditedObject >= 0 ? GetObjectRec(FEditedObject) : nullptr;
  // A memo is edited by the rich-text control; without it, memos are not opened here.
  if (!o || !o->EditOnCreate || o->Kind != ievkText) {
    FEditedObject = -1;
    return;
  }
  if (!FEditBox) FEditBox = new TEdit(nullptr);
  FEditBox->SetVisible(false);
  FEditBox->SetParent(this);
  PlaceTextEditor();
  FEditBox->OnKeyDown = [this](TObject* Sender, Word& Key, TShiftState Shift) { EditBoxKeyDown(Sender, Key, Shift); };
  FEditBox->OnChange = [this](TObject* Sender) { EditBoxChange(Sender); };
  FEditStartText = o->Text ? *o->Text : AnsiString();
  FEditBox->SetText(FEditStartText);
  FEditBox->Show();
  if (FEditBox->CanFocus()) FEditBox->SetFocus();
  // Typing goes on at the end of the text, however the focus arrived.
  Integer Chars = 0;
  for (unsigned char c : FEditStartText)
    if ((c & 0xC0) != 0x80) ++Chars;
  FEditBox->SetSelStart(Chars);
  if (OnActivateTextEdit) OnActivateTextEdit(this);
}

void TZodivErVect::PlaceTextEditor() {
  if (!IsEditingText() || !FEditBox) return;
  TIEVObjectRec* o = GetObjectRec(FEditedObject);
  if (!o) return;
  const Integer x1 = BitmapToScreenX(o->X1), y1 = BitmapToScreenY(o->Y1);
  const Integer x2 = BitmapToScreenX(o->X2), y2 = BitmapToScreenY(o->Y2);
  FEditBox->SetBounds(x1, y1, x2 - x1, y2 - y1);
  FEditBox->SetColor(o->BrushStyle != bsSolid ? Background() : o->BrushColor);
  const TIELogFont lf = o->Font ? *o->Font : DefaultFont(0);
  const Integer h = lf.Height() != 0 ? SafeTrunc<Integer>(lf.Height() * ZoomY() / 100.0) : y2 - y1;
  lf.ToFont(FEditBox->Font(), h);
  FEditBox->Font()->SetColor(o->PenColor);
}

void TZodivErVect::EndTextEdit() {
  if (!IsEditingText() || !FEditBox || !FEditBox->Visible()) return;
  if (TIEVObjectRec* o = GetObjectRec(FEditedObject)) {
    o->Text = FEditBox->Text();
    if (o->TextAutoSize && !FDestroying) {
      TCanvas* C = Canvas();
      C->SetFont(FEditBox->Font());
      o->X2 = o->X1 + SafeTrunc<Integer>(C->TextWidth(*o->Text) / (ZoomX() / 100.0));
    }
  }
  FEditBox->OnKeyDown = nullptr;
  FEditBox->OnChange = nullptr;
  FEditBox->Hide();
  if (OnDeactivateTextEdit) OnDeactivateTextEdit(this);
  if (FDestroying) return;
  if (CanFocus()) SetFocus();
  VectorialChanged();
}

void TZodivErVect::EditBoxChange(TObject*) {
  TIEVObjectRec* o = GetObjectRec(FEditedObject);
  if (!o || !FEditBox || !o->TextAutoSize) return;
  TCanvas* C = Canvas();
  C->SetFont(FEditBox->Font());
  const Integer w = C->TextWidth(FEditBox->Text()), m = C->TextWidth("M");
  FEditBox->SetWidth(w);
  // One "M" of room ahead of the caret while typing.
  o->X2 = o->X1 + SafeTrunc<Integer>((w + m) / (ZoomX() / 100.0));
  Update();
}

void TZodivErVect::EditBoxKeyDown(TObject* Sender, Word& Key, TShiftState Shift) {
  if (OnTextKeyDown) OnTextKeyDown(Sender, Key, Shift);
  if (Key == VK_RETURN) {
    Key = 0;
    ResetInteraction();
    VectorialChanged();
  } else if (Key == VK_ESCAPE) {
    Key = 0;
    FEditBox->SetText(FEditStartText);
    ResetInteraction();
  }
}

void TZodivErVect::Update() {
  TZodivErView::Update();
  PlaceTextEditor();
}

void TZodivErVect::ViewChange(Integer Change) {
  TZodivErView::ViewChange(Change);
  if (IsEditingText()) PlaceTextEditor();
}

void TZodivErVect::DoEnter() {
  TZodivErView::DoEnter();
  if (IsEditingText() && FEditBox && FEditBox->Visible() && FEditBox->CanFocus()) FEditBox->SetFocus();
  Invalidate();
}
