// The standard controls: label, push button, edit, check box, radio button, combo box, group box
// and scroll bar. Each is a real Qt widget, so keyboard navigation and the desktop's accessibility
// bus reach it, but its events follow the framework's rules:
// - a value changed from code fires the same event as a change by the user where the framework
//   does so (TEdit.OnChange, TCheckBox.OnClick, TRadioButton.OnClick, TScrollBar.OnChange);
// - a selection changed from code does not (TComboBox.ItemIndex);
// - OnKeyPress sees every character before the control and can drop it (Key := 0).
#pragma once

#include <memory>

#include "platform/gui/controls.h"
#include "platform/rtl/lists.h"

class QLineEdit;
class QComboBox;

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// A line of text. The framework's label is a light control; here it is a QLabel so that screen
// readers see it, but it never takes the focus. "&x" in the caption shows as x ("&&" as "&").
class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* AOwner);
  ~TLabel() override;

  // On by default: the label takes the size of its caption (its height only when WordWrap is on).
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);
  // A transparent label shows its parent through; otherwise it fills itself with Color.
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);

 protected:
  void TextChanged() override;
  void FontChanged() override;
  void ColorChanged() override;

 private:
  void ApplyText();
  void ApplyAlignment();
  void ApplyBackground();
  void AdjustBounds();

  bool FAutoSize = true;
  TAlignment FAlignment = taLeftJustify;
  bool FWordWrap = false;
  bool FTransparent = false;
};

// A push button. Clicking one whose ModalResult is set gives that result to its form, which ends
// the form's modal loop; then OnClick runs. Enter on the form clicks the Default button (or the
// focused button), Esc the Cancel button.
class TButton : public TWinControl, public TDialogKeyTarget {
 public:
  explicit TButton(TComponent* AOwner);
  ~TButton() override;

  bool Default() const { return FDefault; }
  void SetDefault(bool Value);
  bool Cancel() const { return FCancel; }
  void SetCancel(bool Value) { FCancel = Value; }
  Integer ModalResult() const { return FModalResult; }
  void SetModalResult(Integer Value) { FModalResult = Value; }

  void Click() override;

  bool IsDefaultButton() const override { return FDefault; }
  bool IsCancelButton() const override { return FCancel; }
  void DialogKeyClick() override;

 protected:
  // For buttons that bring their own kind of Qt button.
  TButton(TComponent* AOwner, QWidget* AWidget);
  void TextChanged() override;
  void FontChanged() override;

 private:
  void Init();

  bool FDefault = false;
  bool FCancel = false;
  Integer FModalResult = 0;
};

// A single-line text field. OnChange fires after every change of the text, whether typed or set
// from code. MaxLength limits typing and pasting only: text already there, or set from code, is
// never cut.
class TCustomEdit : public TWinControl {
 public:
  ~TCustomEdit() override;

  // 0 means no limit.
  Integer MaxLength() const { return FMaxLength; }
  void SetMaxLength(Integer Value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);

  // Positions count characters from 0; with no selection SelStart is the caret.
  Integer SelStart() const;
  void SetSelStart(Integer Value);
  Integer SelLength() const;
  void SetSelLength(Integer Value);
  AnsiString SelText() const;
  // Replaces the selection (or inserts at the caret); not limited by MaxLength.
  void SetSelText(const AnsiString& Value);
  void SelectAll();
  void Clear() { SetText(""); }

  TNotifyEvent OnChange;

 protected:
  TCustomEdit(TComponent* AOwner, QLineEdit* AEdit);

  virtual void Change();
  void TextChanged() override;
  void FontChanged() override;
  void ColorChanged() override;
  // The clipboard commands as the desktop's edit control takes them: WM_CUT, WM_COPY, WM_CLEAR
  // act on the selection (nothing without one; a read-only edit only copies it), WM_PASTE
  // replaces the selection with the clipboard's text up to its first line break (cut to
  // MaxLength as typing is), WM_UNDO takes back the last change. Each change fires OnChange.
  void WndProc(TMessage& Message) override;

  QLineEdit* Edit() const;

 private:
  friend struct EditAccess;
  void TextEditedByUser();

  Integer FMaxLength = 0;
  bool FReadOnly = false;
  // Set while the widget's text is being written from Text, so that the write is neither
  // limited by MaxLength nor reported back as typing.
  bool FWritingWidget = false;
};

class TEdit : public TCustomEdit {
 public:
  explicit TEdit(TComponent* AOwner);

 protected:
  TEdit(TComponent* AOwner, QLineEdit* AEdit) : TCustomEdit(AOwner, AEdit) {}
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
// Which side of the box the caption is on.
using TLeftRight = TAlignment;

// A check box. Every change of State, by the user or from code, fires OnClick once. A click cycles
// unchecked -> checked -> unchecked, or with AllowGrayed unchecked -> grayed -> checked ->
// unchecked.
class TCheckBox : public TWinControl {
 public:
  explicit TCheckBox(TComponent* AOwner);
  ~TCheckBox() override;

  bool Checked() const { return FState == cbChecked; }
  void SetChecked(bool Value) { SetState(Value ? cbChecked : cbUnchecked); }
  TCheckBoxState State() const { return FState; }
  void SetState(TCheckBoxState Value);
  bool AllowGrayed() const { return FAllowGrayed; }
  void SetAllowGrayed(bool Value);
  // taRightJustify (default) puts the caption right of the box, taLeftJustify left of it.
  TLeftRight Alignment() const { return FAlignment; }
  void SetAlignment(TLeftRight Value);

  // What a click does to the state.
  virtual void Toggle();

 protected:
  void TextChanged() override;
  void FontChanged() override;

 private:
  TCheckBoxState FState = cbUnchecked;
  bool FAllowGrayed = false;
  TLeftRight FAlignment = taRightJustify;
};

// A radio button: checking one unchecks the other radio buttons of the same parent. Becoming
// checked, by a click or from code, fires OnClick; becoming unchecked fires nothing, and a click
// on the checked button does nothing.
class TRadioButton : public TWinControl {
 public:
  explicit TRadioButton(TComponent* AOwner);
  ~TRadioButton() override;

  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);
  TLeftRight Alignment() const { return FAlignment; }
  void SetAlignment(TLeftRight Value);

 protected:
  void TextChanged() override;
  void FontChanged() override;
  void KeyDown(Word& Key, TShiftState Shift) override;

 private:
  void TurnSiblingsOff();

  bool FChecked = false;
  TLeftRight FAlignment = taRightJustify;
};

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList };

// A drop-down list (csDropDownList) or a drop-down list with an edit field (csDropDown, the
// default). A selection by the user updates Text and fires OnClick, then OnSelect, or OnChange
// when OnSelect is not assigned; typing in the edit field fires OnChange. ItemIndex and Text set
// from code fire nothing.
class TComboBox : public TWinControl {
 public:
  explicit TComboBox(TComponent* AOwner);
  ~TComboBox() override;

  TComboBoxStyle Style() const { return FStyle; }
  void SetStyle(TComboBoxStyle Value);
  // The lines of the list; changing them changes the list at once.
  TStrings* Items() const { return FItems.get(); }
  void SetItems(TStrings* Value);
  // -1 when nothing is selected (or, with an edit field, the text is not the selected line's).
  Integer ItemIndex() const;
  void SetItemIndex(Integer Value);
  // The edit field's text, or the selected line for csDropDownList.
  AnsiString Text() const;
  // With csDropDownList, selects the line equal to Value (without regard to case) if there is one.
  void SetText(const AnsiString& Value);
  // How many lines the open list shows before it scrolls.
  Integer DropDownCount() const { return FDropDownCount; }
  void SetDropDownCount(Integer Value);
  void Clear();

  TNotifyEvent OnChange;
  TNotifyEvent OnSelect;

 protected:
  virtual void Change();
  virtual void Select();
  void FontChanged() override;
  void ColorChanged() override;

 private:
  friend class TComboBoxStrings;
  QComboBox* Combo() const;
  void SelectedByUser(int Index);
  void EditedByUser();

  std::unique_ptr<TStrings> FItems;
  TComboBoxStyle FStyle = csDropDown;
  Integer FDropDownCount = 8;
  Integer FLastIndex = -1;
  // Set while code changes the widget, so that its signals are not taken for the user's doing.
  Integer FCodeChange = 0;
};

// A framed box with a caption that groups other controls; child coordinates start at the box's
// top-left corner.
class TGroupBox : public TWinControl {
 public:
  explicit TGroupBox(TComponent* AOwner);

 protected:
  void TextChanged() override;
  void FontChanged() override;
};

// A stand-alone scroll bar. Positions run from Min to Max - PageSize + 1 (to Max when PageSize is
// 0). A move by the user fires OnScroll (which may change the position) and then OnChange; a
// position set from code fires OnChange.
using TScrollEvent = std::function<void(TObject* Sender, TScrollCode ScrollCode, Integer& ScrollPos)>;

class TScrollBar : public TWinControl {
 public:
  explicit TScrollBar(TComponent* AOwner);
  ~TScrollBar() override;

  TScrollBarKind Kind() const { return FKind; }
  void SetKind(TScrollBarKind Value);
  Integer Min() const { return FMin; }
  Integer Max() const { return FMax; }
  Integer Position() const { return FPosition; }
  Integer PageSize() const { return FPageSize; }
  void SetMin(Integer Value) { SetParams(FPosition, Value, FMax); }
  void SetMax(Integer Value) { SetParams(FPosition, FMin, Value); }
  void SetPosition(Integer Value) { SetParams(Value, FMin, FMax); }
  void SetPageSize(Integer Value);
  // Raises EInvalidOperation "Scroll bar property out of range" when AMax < AMin.
  void SetParams(Integer APosition, Integer AMin, Integer AMax);
  Integer SmallChange() const { return FSmallChange; }
  void SetSmallChange(Integer Value);
  Integer LargeChange() const { return FLargeChange; }
  void SetLargeChange(Integer Value);

  TNotifyEvent OnChange;
  TScrollEvent OnScroll;

 protected:
  virtual void Change();
  virtual void Scroll(TScrollCode ScrollCode, Integer& ScrollPos);

 private:
  friend struct ScrollBarAccess;
  void ApplyRange();
  void ActionByUser(int Action);
  Integer LastPosition() const;

  TScrollBarKind FKind = sbHorizontal;
  Integer FMin = 0;
  Integer FMax = 100;
  Integer FPosition = 0;
  Integer FPageSize = 0;
  Integer FSmallChange = 1;
  Integer FLargeChange = 1;
  bool FCodeChange = false;
};

// The caption with the accelerator marks taken out: "&File" -> "File", "&&" -> "&".
AnsiString StripHotkey(const AnsiString& Caption);
