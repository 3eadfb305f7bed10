#include "platform/gui/stdctrls.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QValidator>

#include "platform/gui/application.h"
#include "platform/gui/clipboard.h"
#include "platform/rtl/flag_guard.h"
#include "platform/gui/forms.h"
#include "platform/gui/graphics.h"
#include "platform/gui/qt_graphics_bridge.h"
#include "platform/gui/qt_strings.h"
#include "platform/gui/stdctrls_qt.h"

namespace {

class CountGuard {
 public:
  explicit CountGuard(Integer& Count) : FCount(Count) { ++FCount; }
  ~CountGuard() { --FCount; }
  CountGuard(const CountGuard&) = delete;
  CountGuard& operator=(const CountGuard&) = delete;

 private:
  Integer& FCount;
};

[[noreturn]] void ListIndexError(Integer Index) {
  throw EStringListError("List index out of bounds (" + std::to_string(Index) + ")");
}

}  // namespace

namespace clvqt {

AnsiString AStr(const QString& S) { return S.toUtf8().toStdString(); }

void ApplyFontColor(QWidget* Widget, const TFont* Font) {
  if (!Widget || !Font) return;
  QPalette P = Widget->palette();
  const QColor C = ToQColor(Font->Color());
  // The disabled group keeps the style's grey so that disabled text still looks disabled.
  for (QPalette::ColorGroup G : {QPalette::Active, QPalette::Inactive}) {
    P.setColor(G, QPalette::WindowText, C);
    P.setColor(G, QPalette::Text, C);
    P.setColor(G, QPalette::ButtonText, C);
  }
  Widget->setPalette(P);
}

void ApplyBaseColor(QWidget* Widget, TColor Color) {
  if (!Widget) return;
  QPalette P = Widget->palette();
  for (QPalette::ColorGroup G : {QPalette::Active, QPalette::Inactive}) P.setColor(G, QPalette::Base, ToQColor(Color));
  Widget->setPalette(P);
}

}  // namespace clvqt

using clvqt::AStr;

AnsiString StripHotkey(const AnsiString& Caption) {
  AnsiString Result;
  Result.reserve(Caption.size());
  for (std::size_t I = 0; I < Caption.size(); ++I) {
    if (Caption[I] == '&') {
      if (I + 1 < Caption.size() && Caption[I + 1] == '&') {
        Result += '&';
        ++I;
      }
      continue;
    }
    Result += Caption[I];
  }
  return Result;
}

// ---------------------------------------------------------------------------------------------
// TLabel

namespace {
QLabel* LabelOf(const TControl* C) { return static_cast<QLabel*>(C->Widget()); }
}  // namespace

TLabel::TLabel(TComponent* AOwner) : TControl(AOwner, new QLabel()) {
  ControlStyle = csClickEvents | csDoubleClicks;
  LabelOf(this)->setTextFormat(Qt::PlainText);
  LabelOf(this)->setFocusPolicy(Qt::NoFocus);
  SetBounds(Left(), Top(), 65, 17);
  ApplyAlignment();
  ApplyBackground();
  clvqt::ApplyFontColor(Widget(), Font());
  AdjustBounds();
}

TLabel::~TLabel() = default;

void TLabel::SetAutoSize(bool Value) {
  if (Value == FAutoSize) return;
  FAutoSize = Value;
  AdjustBounds();
}

void TLabel::SetAlignment(TAlignment Value) {
  if (Value == FAlignment) return;
  FAlignment = Value;
  ApplyAlignment();
}

void TLabel::SetWordWrap(bool Value) {
  if (Value == FWordWrap) return;
  FWordWrap = Value;
  LabelOf(this)->setWordWrap(Value);
  AdjustBounds();
}

void TLabel::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  ApplyBackground();
}

void TLabel::ApplyText() {
  // Qt turns "&x" into a mnemonic only for a label with a buddy; the marks are taken out here so
  // that they do not show.
  LabelOf(this)->setText(QStr(StripHotkey(Caption())));
  AdjustBounds();
}

void TLabel::ApplyAlignment() {
  Qt::Alignment A = Qt::AlignTop;
  switch (FAlignment) {
    case taLeftJustify: A |= Qt::AlignLeft; break;
    case taRightJustify: A |= Qt::AlignRight; break;
    case taCenter: A |= Qt::AlignHCenter; break;
  }
  LabelOf(this)->setAlignment(A);
}

void TLabel::ApplyBackground() {
  QLabel* L = LabelOf(this);
  L->setAutoFillBackground(!FTransparent);
  QPalette P = L->palette();
  P.setColor(QPalette::Window, ToQColor(Color()));
  L->setPalette(P);
}

void TLabel::AdjustBounds() {
  if (!FAutoSize) return;
  QLabel* L = LabelOf(this);
  const QSize Hint = L->sizeHint();
  Integer W = Hint.width();
  Integer H = Hint.height();
  if (FWordWrap) {
    W = Width();
    H = L->heightForWidth(W);
    if (H < 0) H = Hint.height();
  }
  Integer NewLeft = Left();
  // A right-aligned label grows to the left, keeping its right edge where it was.
  if (FAlignment == taRightJustify && !FWordWrap) NewLeft = Left() + Width() - W;
  SetBounds(NewLeft, Top(), W, H);
}

void TLabel::TextChanged() {
  ApplyText();
  TControl::TextChanged();
}

void TLabel::FontChanged() {
  TControl::FontChanged();
  clvqt::ApplyFontColor(Widget(), Font());
  AdjustBounds();
}

void TLabel::ColorChanged() {
  ApplyBackground();
  TControl::ColorChanged();
}

// ---------------------------------------------------------------------------------------------
// TButton

TButton::TButton(TComponent* AOwner) : TButton(AOwner, new QPushButton()) {}

TButton::TButton(TComponent* AOwner, QWidget* AWidget) : TWinControl(AOwner, AWidget) { Init(); }

void TButton::Init() {
  // The push button reports its own clicks (mouse, space bar); pressing and releasing is not
  // counted a second time.
  ControlStyle = csDoubleClicks;
  auto* B = static_cast<QPushButton*>(Widget());
  B->setAutoDefault(false);
  QObject::connect(B, &QPushButton::clicked, [this] { GuardedCall(this, [this] { Click(); }); });
  SetTabStop(true);
  SetBounds(Left(), Top(), 75, 25);
}

TButton::~TButton() = default;

void TButton::SetDefault(bool Value) {
  FDefault = Value;
  static_cast<QPushButton*>(Widget())->setDefault(Value);
}

void TButton::Click() {
  if (FModalResult != 0) {
    if (TCustomForm* F = GetParentForm()) F->SetModalResult(FModalResult);
  }
  TWinControl::Click();
}

void TButton::DialogKeyClick() {
  if (Enabled() && Visible()) Click();
}

void TButton::FontChanged() {
  TWinControl::FontChanged();
  clvqt::ApplyFontColor(Widget(), Font());
}

void TButton::TextChanged() {
  static_cast<QPushButton*>(Widget())->setText(QStr(Caption()));
  TWinControl::TextChanged();
}

// ---------------------------------------------------------------------------------------------
// TCustomEdit

// Keeps typing and pasting within MaxLength without ever cutting text that is already there.
struct EditAccess {
  static QValidator::State Validate(TCustomEdit* Edit, QString& Input, int& Pos) {
    if (Edit->FWritingWidget || Edit->FMaxLength <= 0) return QValidator::Acceptable;
    const QString Old = QStr(Edit->Text());
    const int Limit = std::max<int>(Edit->FMaxLength, static_cast<int>(Old.size()));
    if (Input.size() <= Limit) return QValidator::Acceptable;
    // The new characters end at the caret: drop as many of them as do not fit, as a paste that
    // is too long is cut.
    const int Excess = static_cast<int>(Input.size()) - Limit;
    const int Start = Pos - Excess;
    if (Start < 0) return QValidator::Invalid;
    QString Cut = Input;
    Cut.remove(Start, Excess);
    if (Cut == Old) return QValidator::Invalid;
    Input = Cut;
    Pos = Start;
    return QValidator::Acceptable;
  }
};

namespace {

class EditLengthValidator : public QValidator {
 public:
  EditLengthValidator(TCustomEdit* Edit, QObject* Parent) : QValidator(Parent), FEdit(Edit) {}
  State validate(QString& Input, int& Pos) const override { return EditAccess::Validate(FEdit, Input, Pos); }

 private:
  TCustomEdit* FEdit;
};

}  // namespace

TCustomEdit::TCustomEdit(TComponent* AOwner, QLineEdit* AEdit) : TWinControl(AOwner, AEdit) {
  // Qt's own limit cuts text set from code; the validator above takes its place.
  AEdit->setMaxLength(std::numeric_limits<int>::max());
  AEdit->setValidator(new EditLengthValidator(this, AEdit));
  QObject::connect(AEdit, &QLineEdit::textChanged, [this](const QString&) {
    if (FWritingWidget) return;
    GuardedCall(this, [this] { TextEditedByUser(); });
  });
  SetTabStop(true);
  SetColor(clWindow);
  SetBounds(Left(), Top(), 121, 21);
}

TCustomEdit::~TCustomEdit() {
  // The widget outlives this part of the control; it must not call back into it.
  if (QLineEdit* E = Edit()) {
    QObject::disconnect(E, &QLineEdit::textChanged, nullptr, nullptr);
    E->setValidator(nullptr);
  }
}

QLineEdit* TCustomEdit::Edit() const { return static_cast<QLineEdit*>(Widget()); }

void TCustomEdit::TextEditedByUser() {
  // The caption mirrors the widget; TextChanged then finds nothing to write and fires OnChange.
  TControl::SetCaption(AStr(Edit()->text()));
}

void TCustomEdit::TextChanged() {
  QLineEdit* E = Edit();
  const QString Want = QStr(Caption());
  if (E->text() != Want) {
    FlagGuard Writing(FWritingWidget);
    E->setText(Want);
    E->setCursorPosition(0);
  }
  TWinControl::TextChanged();
  Change();
}

void TCustomEdit::FontChanged() {
  TWinControl::FontChanged();
  clvqt::ApplyFontColor(Widget(), Font());
}

void TCustomEdit::ColorChanged() {
  TWinControl::ColorChanged();
  clvqt::ApplyBaseColor(Widget(), Color());
}

void TCustomEdit::Change() {
  if (OnChange) OnChange(this);
}

void TCustomEdit::SetMaxLength(Integer Value) { FMaxLength = std::max<Integer>(Value, 0); }

void TCustomEdit::SetReadOnly(bool Value) {
  FReadOnly = Value;
  Edit()->setReadOnly(Value);
}

Integer TCustomEdit::SelStart() const {
  QLineEdit* E = Edit();
  return E->hasSelectedText() ? E->selectionStart() : E->cursorPosition();
}

void TCustomEdit::SetSelStart(Integer Value) {
  Edit()->deselect();
  Edit()->setCursorPosition(std::max<Integer>(Value, 0));
}

Integer TCustomEdit::SelLength() const { return static_cast<Integer>(Edit()->selectedText().size()); }

void TCustomEdit::SetSelLength(Integer Value) {
  const Integer Start = SelStart();
  const Integer Len = static_cast<Integer>(Edit()->text().size());
  Value = std::clamp<Integer>(Value, 0, std::max<Integer>(Len - Start, 0));
  if (Value == 0)
    SetSelStart(Start);
  else
    Edit()->setSelection(Start, Value);
}

AnsiString TCustomEdit::SelText() const { return AStr(Edit()->selectedText()); }

void TCustomEdit::SetSelText(const AnsiString& Value) {
  {
    FlagGuard Writing(FWritingWidget);
    Edit()->insert(QStr(Value));
  }
  TControl::SetCaption(AStr(Edit()->text()));
}

void TCustomEdit::SelectAll() { Edit()->selectAll(); }

void TCustomEdit::WndProc(TMessage& Message) {
  QLineEdit* E = Edit();
  switch (Message.Msg) {
    case WM_COPY:
    case WM_CUT:
    case WM_CLEAR:
      if (!E->hasSelectedText() || (FReadOnly && Message.Msg != WM_COPY)) break;
      if (Message.Msg != WM_CLEAR) Clipboard()->SetAsText(AStr(E->selectedText()));
      if (Message.Msg != WM_COPY) E->del();
      break;
    case WM_PASTE: {
      if (FReadOnly || !Clipboard()->HasFormat(CF_TEXT)) break;
      AnsiString Text = Clipboard()->AsText();
      // One line holds no line break: the first line is what is pasted.
      Text.resize(std::min(Text.find_first_of("\r\n"), Text.size()));
      // Through the widget's own editing, so the length limit and the undo step apply.
      E->insert(QStr(Text));
      break;
    }
    case WM_UNDO:
      if (!FReadOnly) E->undo();
      Message.Result = 1;
      return;
    default: break;
  }
  TWinControl::WndProc(Message);
}

TEdit::TEdit(TComponent* AOwner) : TCustomEdit(AOwner, new QLineEdit()) {}

// ---------------------------------------------------------------------------------------------
// TCheckBox

namespace {

class CheckBoxWidget : public QCheckBox {
 public:
  explicit CheckBoxWidget(TCheckBox* Owner) : FOwner(Owner) {}

 protected:
  // A click asks the control, which decides the next state and fires OnClick.
  void nextCheckState() override { GuardedCall(FOwner, [this] { FOwner->Toggle(); }); }
  // The whole control answers clicks, not only the box and the caption's text.
  bool hitButton(const QPoint& Pos) const override { return rect().contains(Pos); }

 private:
  TCheckBox* FOwner;
};

Qt::CheckState ToQt(TCheckBoxState S) {
  switch (S) {
    case cbChecked: return Qt::Checked;
    case cbGrayed: return Qt::PartiallyChecked;
    default: return Qt::Unchecked;
  }
}

}  // namespace

TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner, new CheckBoxWidget(this)) {
  ControlStyle = csDoubleClicks;
  SetTabStop(true);
  SetBounds(Left(), Top(), 97, 17);
}

TCheckBox::~TCheckBox() = default;

void TCheckBox::SetState(TCheckBoxState Value) {
  if (Value == FState) return;
  FState = Value;
  {
    auto* B = static_cast<QCheckBox*>(Widget());
    QSignalBlocker Block(B);
    if (Value == cbGrayed) B->setTristate(true);
    B->setCheckState(ToQt(Value));
  }
  Click();
}

void TCheckBox::SetAllowGrayed(bool Value) {
  FAllowGrayed = Value;
  static_cast<QCheckBox*>(Widget())->setTristate(Value || FState == cbGrayed);
}

void TCheckBox::SetAlignment(TLeftRight Value) {
  FAlignment = Value;
  Widget()->setLayoutDirection(Value == taLeftJustify ? Qt::RightToLeft : Qt::LeftToRight);
}

void TCheckBox::Toggle() {
  switch (FState) {
    case cbUnchecked: SetState(FAllowGrayed ? cbGrayed : cbChecked); break;
    case cbChecked: SetState(cbUnchecked); break;
    case cbGrayed: SetState(cbChecked); break;
  }
}

void TCheckBox::FontChanged() {
  TWinControl::FontChanged();
  clvqt::ApplyFontColor(Widget(), Font());
}

void TCheckBox::TextChanged() {
  static_cast<QCheckBox*>(Widget())->setText(QStr(Caption()));
  TWinControl::TextChanged();
}

// ---------------------------------------------------------------------------------------------
// TRadioButton

namespace {

class RadioButtonWidget : public QRadioButton {
 public:
  explicit RadioButtonWidget(TRadioButton* Owner) : FOwner(Owner) {
    setAutoExclusive(false);
    // Screen readers still learn it is a radio button.
    setProperty("clvRadioButton", true);
  }

 protected:
  void nextCheckState() override { GuardedCall(FOwner, [this] { FOwner->SetChecked(true); }); }
  bool hitButton(const QPoint& Pos) const override { return rect().contains(Pos); }

 private:
  TRadioButton* FOwner;
};

}  // namespace

TRadioButton::TRadioButton(TComponent* AOwner) : TWinControl(AOwner, new RadioButtonWidget(this)) {
  ControlStyle = csDoubleClicks;
  SetBounds(Left(), Top(), 113, 17);
  // Only the checked button of a group is reached with Tab; the arrows move within the group.
  SetTabStop(false);
}

TRadioButton::~TRadioButton() = default;

void TRadioButton::SetChecked(bool Value) {
  if (Value == FChecked) return;
  FChecked = Value;
  {
    QSignalBlocker Block(Widget());
    static_cast<QRadioButton*>(Widget())->setChecked(Value);
  }
  SetTabStop(Value);
  if (Value) {
    TurnSiblingsOff();
    Click();
  }
}

void TRadioButton::TurnSiblingsOff() {
  if (!Parent()) return;
  for (Integer I = 0; I < Parent()->ControlCount(); ++I) {
    auto* R = dynamic_cast<TRadioButton*>(Parent()->Controls(I));
    if (R && R != this) R->SetChecked(false);
  }
}

void TRadioButton::SetAlignment(TLeftRight Value) {
  FAlignment = Value;
  Widget()->setLayoutDirection(Value == taLeftJustify ? Qt::RightToLeft : Qt::LeftToRight);
}

void TRadioButton::FontChanged() {
  TWinControl::FontChanged();
  clvqt::ApplyFontColor(Widget(), Font());
}

void TRadioButton::TextChanged() {
  static_cast<QRadioButton*>(Widget())->setText(QStr(Caption()));
  TWinControl::TextChanged();
}

void TRadioButton::KeyDown(Word& Key, TShiftState Shift) {
  TWinControl::KeyDown(Key, Shift);
  if (!Parent()) return;
  int Step = 0;
  if (Key == VK_DOWN || Key == VK_RIGHT) Step = 1;
  if (Key == VK_UP || Key == VK_LEFT) Step = -1;
  if (Step == 0) return;
  std::vector<TRadioButton*> Group;
  for (Integer I = 0; I < Parent()->ControlCount(); ++I)
    if (auto* R = dynamic_cast<TRadioButton*>(Parent()->Controls(I)); R && R->CanFocus()) Group.push_back(R);
  auto It = std::find(Group.begin(), Group.end(), this);
  if (Group.size() < 2 || It == Group.end()) return;
  const auto N = static_cast<std::ptrdiff_t>(Group.size());
  const std::ptrdiff_t Next = ((It - Group.begin()) + Step + N) % N;
  Key = 0;
  Group[static_cast<std::size_t>(Next)]->SetFocus();
  Group[static_cast<std::size_t>(Next)]->SetChecked(true);
}

// ---------------------------------------------------------------------------------------------
// TComboBox

// The lines of a combo box, kept in the widget itself.
class TComboBoxStrings : public TStrings {
 public:
  explicit TComboBoxStrings(TComboBox* Combo) : FCombo(Combo) {}

  void Insert(Integer Index, const AnsiString& S) override {
    QComboBox* C = FCombo->Combo();
    if (Index < 0 || Index > C->count()) ListIndexError(Index);
    CountGuard Code(FCombo->FCodeChange);
    const int Before = C->currentIndex();
    C->insertItem(Index, QStr(S));
    // Qt selects the first line added to an empty list; the framework leaves the list unselected.
    if (Before < 0) C->setCurrentIndex(-1);
    FCombo->FLastIndex = C->currentIndex();
  }

  void Delete(Integer Index) override {
    QComboBox* C = FCombo->Combo();
    if (Index < 0 || Index >= C->count()) ListIndexError(Index);
    CountGuard Code(FCombo->FCodeChange);
    const int Before = C->currentIndex();
    C->removeItem(Index);
    if (Before == Index) C->setCurrentIndex(-1);
    FCombo->FLastIndex = C->currentIndex();
  }

  void Clear() override {
    CountGuard Code(FCombo->FCodeChange);
    FCombo->Combo()->clear();
    FCombo->FLastIndex = -1;
  }

 protected:
  AnsiString Get(Integer Index) const override {
    QComboBox* C = FCombo->Combo();
    if (Index < 0 || Index >= C->count()) ListIndexError(Index);
    return AStr(C->itemText(Index));
  }

  Integer GetCount() const override { return FCombo->Combo()->count(); }

  TObject* GetObject(Integer Index) const override {
    QComboBox* C = FCombo->Combo();
    if (Index < 0 || Index >= C->count()) ListIndexError(Index);
    return reinterpret_cast<TObject*>(C->itemData(Index).value<quintptr>());
  }

  void Put(Integer Index, const AnsiString& S) override {
    QComboBox* C = FCombo->Combo();
    if (Index < 0 || Index >= C->count()) ListIndexError(Index);
    CountGuard Code(FCombo->FCodeChange);
    C->setItemText(Index, QStr(S));
  }

  void PutObject(Integer Index, TObject* AObject) override {
    QComboBox* C = FCombo->Combo();
    if (Index < 0 || Index >= C->count()) ListIndexError(Index);
    C->setItemData(Index, QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(AObject)));
  }

 private:
  TComboBox* FCombo;
};

TComboBox::TComboBox(TComponent* AOwner) : TWinControl(AOwner, new QComboBox()) {
  ControlStyle = csDoubleClicks;
  FItems = std::make_unique<TComboBoxStrings>(this);
  QComboBox* C = Combo();
  C->setMaxVisibleItems(FDropDownCount);
  QObject::connect(C, &QComboBox::currentIndexChanged, [this](int Index) {
    if (FCodeChange > 0) return;
    GuardedCall(this, [this, Index] { SelectedByUser(Index); });
  });
  SetStyle(csDropDown);
  SetTabStop(true);
  SetColor(clWindow);
  SetBounds(Left(), Top(), 145, 21);
}

TComboBox::~TComboBox() {
  // The widget goes with the control; the lines must not be reached through it any more.
  if (Widget()) QObject::disconnect(Widget(), nullptr, Widget(), nullptr);
}

QComboBox* TComboBox::Combo() const { return static_cast<QComboBox*>(Widget()); }

void TComboBox::SetStyle(TComboBoxStyle Value) {
  FStyle = Value;
  QComboBox* C = Combo();
  CountGuard Code(FCodeChange);
  const bool Editable = Value != csDropDownList;
  if (C->isEditable() != Editable) C->setEditable(Editable);
  if (Editable) {
    C->setInsertPolicy(QComboBox::NoInsert);
    C->setCompleter(nullptr);
    // Qt makes a new edit field each time the combo box becomes editable.
    QLineEdit* E = C->lineEdit();
    if (!E->property("clvTyping").isValid()) {
      E->setProperty("clvTyping", true);
      QObject::connect(E, &QLineEdit::textEdited, [this](const QString&) {
        if (FCodeChange > 0) return;
        GuardedCall(this, [this] { EditedByUser(); });
      });
    }
  }
}

void TComboBox::SetItems(TStrings* Value) {
  if (Value) FItems->Assign(Value);
}

Integer TComboBox::ItemIndex() const {
  QComboBox* C = Combo();
  const int I = C->currentIndex();
  if (I >= 0 && C->isEditable() && C->currentText() != C->itemText(I)) return -1;
  return I;
}

void TComboBox::SetItemIndex(Integer Value) {
  QComboBox* C = Combo();
  if (Value < -1 || Value >= C->count()) Value = -1;
  CountGuard Code(FCodeChange);
  C->setCurrentIndex(Value);
  if (C->isEditable()) C->setEditText(Value >= 0 ? C->itemText(Value) : QString());
  FLastIndex = Value;
  TControl::SetCaption(Text());
}

AnsiString TComboBox::Text() const { return AStr(Combo()->currentText()); }

void TComboBox::SetText(const AnsiString& Value) {
  QComboBox* C = Combo();
  if (C->isEditable()) {
    CountGuard Code(FCodeChange);
    C->setEditText(QStr(Value));
  } else {
    const Integer I = FItems->IndexOf(Value);
    if (I >= 0) SetItemIndex(I);
  }
  TControl::SetCaption(Text());
}

void TComboBox::SetDropDownCount(Integer Value) {
  FDropDownCount = std::max<Integer>(Value, 1);
  Combo()->setMaxVisibleItems(FDropDownCount);
}

void TComboBox::Clear() {
  FItems->Clear();
  SetText("");
}

void TComboBox::SelectedByUser(int Index) {
  if (Index == FLastIndex) return;
  FLastIndex = Index;
  TControl::SetCaption(Text());
  Click();
  Select();
}

void TComboBox::EditedByUser() {
  TControl::SetCaption(Text());
  Change();
}

void TComboBox::FontChanged() {
  TWinControl::FontChanged();
  clvqt::ApplyFontColor(Widget(), Font());
}

void TComboBox::ColorChanged() {
  TWinControl::ColorChanged();
  clvqt::ApplyBaseColor(Widget(), Color());
}

void TComboBox::Change() {
  if (OnChange) OnChange(this);
}

void TComboBox::Select() {
  if (OnSelect)
    OnSelect(this);
  else
    Change();
}

// ---------------------------------------------------------------------------------------------
// TGroupBox

TGroupBox::TGroupBox(TComponent* AOwner) : TWinControl(AOwner, new QGroupBox()) {
  SetBounds(Left(), Top(), 185, 105);
}

void TGroupBox::FontChanged() {
  TWinControl::FontChanged();
  clvqt::ApplyFontColor(Widget(), Font());
}

void TGroupBox::TextChanged() {
  static_cast<QGroupBox*>(Widget())->setTitle(QStr(Caption()));
  TWinControl::TextChanged();
}

// ---------------------------------------------------------------------------------------------
// TScrollBar

struct ScrollBarAccess {
  static void Action(TScrollBar* S, int A) { S->ActionByUser(A); }
  static void Moved(TScrollBar* S, int Value) {
    if (S->FCodeChange || Value == S->FPosition) return;
    S->FPosition = Value;
    S->Change();
  }
};

TScrollBar::TScrollBar(TComponent* AOwner) : TWinControl(AOwner, new QScrollBar(Qt::Horizontal)) {
  ControlStyle = csDoubleClicks;
  auto* B = static_cast<QScrollBar*>(Widget());
  QObject::connect(B, &QAbstractSlider::actionTriggered,
                   [this](int A) { GuardedCall(this, [this, A] { ScrollBarAccess::Action(this, A); }); });
  QObject::connect(B, &QAbstractSlider::valueChanged,
                   [this](int V) { GuardedCall(this, [this, V] { ScrollBarAccess::Moved(this, V); }); });
  SetTabStop(true);
  ApplyRange();
  SetBounds(Left(), Top(), 121, 17);
}

TScrollBar::~TScrollBar() {
  if (Widget()) QObject::disconnect(Widget(), nullptr, Widget(), nullptr);
}

Integer TScrollBar::LastPosition() const {
  return std::max(FMin, FPageSize > 0 ? FMax - FPageSize + 1 : FMax);
}

void TScrollBar::ApplyRange() {
  auto* B = static_cast<QScrollBar*>(Widget());
  FlagGuard Code(FCodeChange);
  B->setRange(FMin, LastPosition());
  B->setSingleStep(FSmallChange);
  B->setPageStep(FPageSize > 0 ? FPageSize : FLargeChange);
  B->setValue(FPosition);
}

void TScrollBar::SetKind(TScrollBarKind Value) {
  if (Value == FKind) return;
  FKind = Value;
  static_cast<QScrollBar*>(Widget())->setOrientation(Value == sbHorizontal ? Qt::Horizontal : Qt::Vertical);
  SetBounds(Left(), Top(), Height(), Width());
}

void TScrollBar::SetParams(Integer APosition, Integer AMin, Integer AMax) {
  if (AMax < AMin || AMax < FPageSize) throw EInvalidOperation("Scroll bar property out of range");
  const Integer Last = std::max(AMin, FPageSize > 0 ? AMax - FPageSize + 1 : AMax);
  APosition = std::clamp(APosition, AMin, Last);
  const bool Changed = APosition != FPosition;
  FMin = AMin;
  FMax = AMax;
  FPosition = APosition;
  ApplyRange();
  if (Changed) Change();
}

void TScrollBar::SetPageSize(Integer Value) {
  if (Value < 0 || Value > FMax - FMin + 1) throw EInvalidOperation("Scroll bar property out of range");
  FPageSize = Value;
  SetParams(FPosition, FMin, FMax);
  ApplyRange();
}

void TScrollBar::SetSmallChange(Integer Value) {
  FSmallChange = Value;
  ApplyRange();
}

void TScrollBar::SetLargeChange(Integer Value) {
  FLargeChange = Value;
  ApplyRange();
}

void TScrollBar::ActionByUser(int A) {
  auto* B = static_cast<QScrollBar*>(Widget());
  TScrollCode Code = scPosition;
  Integer Pos = B->sliderPosition();
  switch (A) {
    case QAbstractSlider::SliderSingleStepAdd: Code = scLineDown; break;
    case QAbstractSlider::SliderSingleStepSub: Code = scLineUp; break;
    // Qt pages by the thumb size; the framework by LargeChange.
    case QAbstractSlider::SliderPageStepAdd: Code = scPageDown; Pos = FPosition + FLargeChange; break;
    case QAbstractSlider::SliderPageStepSub: Code = scPageUp; Pos = FPosition - FLargeChange; break;
    case QAbstractSlider::SliderToMinimum: Code = scTop; break;
    case QAbstractSlider::SliderToMaximum: Code = scBottom; break;
    case QAbstractSlider::SliderMove: Code = scTrack; break;
    default: return;
  }
  Pos = std::clamp(Pos, FMin, LastPosition());
  Scroll(Code, Pos);
  Pos = std::clamp(Pos, FMin, LastPosition());
  B->setSliderPosition(Pos);
}

void TScrollBar::Change() {
  if (OnChange) OnChange(this);
}

void TScrollBar::Scroll(TScrollCode ScrollCode, Integer& ScrollPos) {
  if (OnScroll) OnScroll(this, ScrollCode, ScrollPos);
}
