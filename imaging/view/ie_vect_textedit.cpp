// Editing texts in place: an edit box laid over a text object, the rich-text control over a
// memo, both at the current zoom and scroll position. In the edit box Enter keeps and Escape
// drops what was typed; in the memo Enter is a line break and Escape ends the edit. The text is
// taken back into the object with its automatic size.
#include <algorithm>

#include "imaging/core/ie_helpers.h"
#include "imaging/view/ie_text_control.h"
#include "imaging/view/ie_vect.h"
#include "platform/rtl/numerics.h"
#include "platform/gui/keys.h"
#include "platform/gui/stdctrls.h"

void TZodivErVect::SetEditedObject(Integer hobj) {
  TIEVObjectRec* o = hobj >= 0 ? GetObjectRec(hobj) : nullptr;
  FEditedObject = o ? hobj : -1;
}

TIETextControl* TZodivErVect::TextControl() {
  if (!FTextControl) {
    FTextControl = new TIETextControl(nullptr);
    FTextControl->SetVisible(false);
  }
  return FTextControl;
}

TNotifyEvent TZodivErVect::OnTextEditCursorMoved() { return TextControl()->OnCursorMoved; }

void TZodivErVect::SetOnTextEditCursorMoved(TNotifyEvent Value) { TextControl()->OnCursorMoved = std::move(Value); }

void TZodivErVect::StartTextEdit() {
  TIEVObjectRec* o = FEditedObject >= 0 ? GetObjectRec(FEditedObject) : nullptr;
  if (!o || !o->EditOnCreate || (o->Kind != ievkText && o->Kind != ievkMemo)) {
    FEditedObject = -1;
    return;
  }
  FEditingMemo = o->Kind == ievkMemo;
  if (FEditingMemo) {
    TIETextControl* T = TextControl();
    T->SetVisible(false);
    // Where the memo's fill is not solid, the control shows what the view shows beneath it.
    T->BackgroundBitmap = BackBufferBitmap();
    T->SetParent(this);
    PlaceTextEditor();
    T->OnKeyDown = [this](TObject* Sender, Word& Key, TShiftState Shift) { TextControlKeyDown(Sender, Key, Shift); };
    // The control owns the text and its formats until the edit ends: one copy, edited in place,
    // and the memo meanwhile draws as its bare frame.
    T->TextBuffer = o->Text ? std::move(*o->Text) : AnsiString();
    T->CharFormatIndex = o->MemoCharFormats ? std::move(*o->MemoCharFormats) : std::vector<Integer>();
    T->CharFormats = o->MemoFormats ? std::move(*o->MemoFormats) : std::vector<TIETextCharFormatRec>();
    o->Text.reset();
    o->MemoCharFormats.reset();
    o->MemoFormats.reset();
    T->SetText();
    T->Show();
    if (T->CanFocus()) T->SetFocus();
    if (OnActivateTextEdit) OnActivateTextEdit(this);
    return;
  }
  if (!FEditBox) FEditBox = new TIEEdit(nullptr);
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
  if (!IsEditingText() || (FEditingMemo ? !FTextControl : !FEditBox)) return;
  TIEVObjectRec* o = GetObjectRec(FEditedObject);
  if (!o) return;
  const Integer x1 = BitmapToScreenX(o->X1), y1 = BitmapToScreenY(o->Y1);
  const Integer x2 = BitmapToScreenX(o->X2), y2 = BitmapToScreenY(o->Y2);
  if (FEditingMemo) {
    PlaceMemoEditor(*o, x1, y1, x2, y2);
    return;
  }
  FEditBox->SetBounds(x1, y1, x2 - x1, y2 - y1);
  FEditBox->SetColor(o->BrushStyle != bsSolid ? Background() : o->BrushColor);
  const TIELogFont lf = o->Font ? *o->Font : DefaultFont(0);
  const Integer h = lf.Height() != 0 ? SafeTrunc<Integer>(lf.Height() * ZoomY() / 100.0) : y2 - y1;
  lf.ToFont(FEditBox->Font(), h);
  FEditBox->Font()->SetColor(o->PenColor);
}

void TZodivErVect::PlaceMemoEditor(const TIEVObjectRec& o, Integer x1, Integer y1, Integer x2, Integer y2) {
  TIETextControl* T = FTextControl;
  T->SetBounds(x1, y1, x2 - x1 + 1, y2 - y1 + 1);
  std::copy(std::begin(o.MemoMargins), std::end(o.MemoMargins), std::begin(T->TextMargins));
  // The control zooms by itself: the font keeps the memo's own height.
  const TIELogFont lf = o.Font ? *o.Font : DefaultFont(0);
  lf.ToFont(T->TextFont(), lf.Height());
  T->TextFont()->SetOrientation(0);
  T->TextFont()->SetColor(o.PenColor);
  T->TextBrush()->SetColor(o.BrushColor);
  T->TextBrush()->SetStyle(static_cast<TBrushStyle>(std::min<Byte>(o.MemoFillStyle, bsDiagCross)));
  T->TextAlignment = o.TextAlign;
  T->FillBrush()->SetColor(o.BrushColor);
  T->FillBrush()->SetStyle(static_cast<TBrushStyle>(std::min<Byte>(o.BrushStyle, bsDiagCross)));
  T->SetUniformFormat(o.UniformFormat);
  T->AutoSize = o.TextAutoSize;
  T->LineSpacing = o.MemoLineSpacing;
  T->BorderPen()->SetColor(o.MemoBorderColor);
  T->BorderPen()->SetStyle(static_cast<TPenStyle>(std::min<Byte>(o.MemoBorderStyle, psInsideFrame)));
  T->FixedCharHeight = o.MemoFixedCharHeight;
  T->TextZoom = ZoomY() / 100.0;
  T->Update();
}

void TZodivErVect::EndMemoEdit(TIEVObjectRec* o) {
  TIETextControl* T = FTextControl;
  T->PackFormats();
  if (o) {
    if (o->TextAutoSize && !FDestroying)
      o->Y2 = o->Y1 + SafeTrunc<Integer>(T->ClientHeight() / (ZoomY() / 100.0));
    o->Text = std::move(T->TextBuffer);
    o->MemoFormats = std::move(T->CharFormats);
    o->MemoCharFormats = std::move(T->CharFormatIndex);
  }
  T->TextBuffer.clear();
  T->CharFormats.clear();
  T->CharFormatIndex.clear();
  T->SetText();
  T->OnKeyDown = nullptr;
  T->Hide();
}

void TZodivErVect::EndTextEdit() {
  if (!IsEditingText()) return;
  if (FEditingMemo) {
    // The text lives in the control until now, so it goes back however the control was left.
    if (!FTextControl) return;
    EndMemoEdit(GetObjectRec(FEditedObject));
    FEditingMemo = false;
    if (OnDeactivateTextEdit) OnDeactivateTextEdit(this);
    if (FDestroying) return;
    if (CanFocus()) SetFocus();
    VectorialChanged();
    return;
  }
  if (!FEditBox || !FEditBox->Visible()) return;
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

void TZodivErVect::TextControlKeyDown(TObject* Sender, Word& Key, TShiftState Shift) {
  if (OnTextKeyDown) OnTextKeyDown(Sender, Key, Shift);
  if (Key == VK_ESCAPE) {
    Key = 0;
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
  // The keys belong to the editor while an edit runs.
  if (IsEditingText()) {
    TWinControl* E = FEditingMemo ? static_cast<TWinControl*>(FTextControl) : FEditBox;
    if (E && E->Visible() && E->CanFocus()) E->SetFocus();
  }
  Invalidate();
}
