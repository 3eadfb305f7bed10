#include "platform/gui/qt_accessibility.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QRadioButton>
#include <QRegularExpression>

#include "platform/gui/application.h"
#include "platform/gui/controls.h"
#include "platform/gui/forms.h"
#include "platform/gui/qt_form_widget.h"
#include "platform/gui/qt_surface.h"
#include "platform/gui/spin_qt.h"

namespace clvqt {

namespace {

// Set on a name this unit gave, so that the next showing may give a better one.
const char* const kGivenName = "clvGivenName";

QString WithoutAccelerator(QString Text) {
  Text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
  return Text.replace(QStringLiteral("&&"), QStringLiteral("&"));
}

// Qt calls a checkable button that is not exclusive in Qt's sense a check box; the framework's
// radio buttons keep their exclusivity themselves.
class RadioButtonAccessible : public QAccessibleWidget {
 public:
  explicit RadioButtonAccessible(QWidget* W) : QAccessibleWidget(W, QAccessible::RadioButton) {}

  QAbstractButton* Button() const { return static_cast<QAbstractButton*>(widget()); }

  QString text(QAccessible::Text T) const override {
    if (T == QAccessible::Name) {
      if (!Button()->accessibleName().isEmpty()) return Button()->accessibleName();
      return WithoutAccelerator(Button()->text());
    }
    return QAccessibleWidget::text(T);
  }
  QAccessible::State state() const override {
    QAccessible::State S = QAccessibleWidget::state();
    S.checkable = true;
    S.checked = Button()->isChecked();
    return S;
  }
  QStringList actionNames() const override {
    QStringList Names = QAccessibleWidget::actionNames();
    if (widget()->isEnabled()) Names.prepend(pressAction());
    return Names;
  }
  void doAction(const QString& Action) override {
    if (!widget()->isEnabled()) return;
    if (Action == pressAction()) Button()->click();
    else QAccessibleWidget::doAction(Action);
  }
};

QString NameFromNeighbours(const TWinControl* Field);

// A pair of step buttons beside a value: named after what is written beside it, read afresh
// each time (the value it steps changes).
class StepButtonsAccessible : public QAccessibleWidget {
 public:
  explicit StepButtonsAccessible(QWidget* W) : QAccessibleWidget(W, QAccessible::SpinBox) {}

  QString text(QAccessible::Text T) const override {
    if (T == QAccessible::Name && widget()->accessibleName().isEmpty()) {
      if (auto* C = dynamic_cast<TWinControl*>(FindControl(widget()))) return NameFromNeighbours(C);
    }
    return QAccessibleWidget::text(T);
  }
};

// A drop-down list named after its caption, as any field is (Qt names one by the item it shows
// on this desktop), whose list is there only while it is open: its current item claims the
// focus whether shown or not.
class ComboBoxAccessible : public QAccessibleWidget {
 public:
  explicit ComboBoxAccessible(QWidget* W) : QAccessibleWidget(W, QAccessible::ComboBox) {
    addControllingSignal(QStringLiteral("currentIndexChanged(int)"));
  }

  QComboBox* Box() const { return static_cast<QComboBox*>(widget()); }
  bool Open() const { return Box()->view() && Box()->view()->isVisible(); }
  QList<QWidget*> Parts() const {
    QList<QWidget*> P;
    if (Open()) P.append(Box()->view());
    if (Box()->isEditable() && Box()->lineEdit()) P.append(Box()->lineEdit());
    return P;
  }

  int childCount() const override { return int(Parts().size()); }
  QAccessibleInterface* child(int Index) const override {
    const QList<QWidget*> P = Parts();
    return Index >= 0 && Index < P.size() ? QAccessible::queryAccessibleInterface(P[Index]) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* Child) const override {
    return Child ? int(Parts().indexOf(qobject_cast<QWidget*>(Child->object()))) : -1;
  }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }

  QString text(QAccessible::Text T) const override {
    if (T == QAccessible::Name) {
      if (!Box()->accessibleName().isEmpty()) return Box()->accessibleName();
      return QAccessibleWidget::text(T);
    }
    if (T == QAccessible::Value) return Box()->isEditable() ? Box()->lineEdit()->text() : Box()->currentText();
    return QAccessibleWidget::text(T);
  }
  QAccessible::State state() const override {
    QAccessible::State S = QAccessibleWidget::state();
    S.expandable = true;
    S.expanded = Open();
    S.collapsed = !Open();
    S.editable = Box()->isEditable();
    return S;
  }
  QStringList actionNames() const override {
    QStringList Names = QAccessibleWidget::actionNames();
    if (widget()->isEnabled()) Names.prepend(showMenuAction());
    return Names;
  }
  void doAction(const QString& Action) override {
    if (Action != showMenuAction() || !widget()->isEnabled()) {
      QAccessibleWidget::doAction(Action);
      return;
    }
    if (Open())
      Box()->hidePopup();
    else
      Box()->showPopup();
  }
};

// A form's window: a dialog while it has a dialog's border or runs modally, else a frame.
class FormAccessible : public QAccessibleWidget {
 public:
  explicit FormAccessible(QWidget* W) : QAccessibleWidget(W, QAccessible::Window) {}

  TCustomForm* Form() const { return dynamic_cast<TCustomForm*>(FindControl(widget())); }

  QAccessible::Role role() const override {
    TCustomForm* F = Form();
    if (F && (F->BorderStyle() == bsDialog || F->Modal())) return QAccessible::Dialog;
    return QAccessible::Window;
  }
  QAccessible::State state() const override {
    QAccessible::State S = QAccessibleWidget::state();
    if (TCustomForm* F = Form(); F && F->Modal()) S.modal = true;
    return S;
  }
};

class PaintedControlAccessible;

// One tab of a control that paints its own tabs: no widget of its own, so it lives as long as
// the control's record and reads the control afresh on each question.
class PageTabAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  PageTabAccessible(PaintedControlAccessible* Parent, int Index) : FParent(Parent), FIndex(Index) {}

  bool isValid() const override;
  QObject* object() const override { return nullptr; }
  QWindow* window() const override;
  QAccessibleInterface* parent() const override;
  QAccessibleInterface* child(int) const override { return nullptr; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* focusChild() const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QString text(QAccessible::Text T) const override;
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override;
  QAccessible::Role role() const override { return QAccessible::PageTab; }
  QAccessible::State state() const override;
  void* interface_cast(QAccessible::InterfaceType T) override {
    return T == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& Action) override;
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

 private:
  bool Tab(TAccessibleTab& Out) const;
  PaintedControlAccessible* FParent;
  int FIndex;
};

// A control that paints itself, presented as what it says it is (TControl::AccessibleKind): a
// slider with its value, a list of page tabs, a picture a click acts on, or a plain area.
class PaintedControlAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit PaintedControlAccessible(QWidget* W) : QAccessibleWidget(W, QAccessible::Client) {}
  ~PaintedControlAccessible() override {
    for (const auto& [Index, Id] : FTabs) QAccessible::deleteAccessibleInterface(Id);
  }

  QWidget* Widget() const { return widget(); }
  TControl* Control() const { return FindControl(widget()); }
  TAccessibleRole Kind() const {
    TControl* C = Control();
    return C && C->Widget() == widget() ? C->AccessibleKind() : arClient;
  }
  std::vector<TAccessibleTab> Tabs() const {
    TControl* C = Control();
    return C && Kind() == arPageTabList ? C->AccessibleTabs() : std::vector<TAccessibleTab>();
  }

  QAccessible::Role role() const override {
    switch (Kind()) {
      case arSlider: return QAccessible::Slider;
      // A page control whose only page shows no tab is a plain area.
      case arPageTabList: return Tabs().empty() ? QAccessible::Client : QAccessible::PageTabList;
      case arPicture: return QAccessible::Graphic;
      default: return QAccessible::Client;
    }
  }
  QString text(QAccessible::Text T) const override {
    // Only a name of the control's own: the title of the group it sits in names the group,
    // not each thing in it.
    if (T == QAccessible::Name) return widget()->accessibleName();
    return QAccessibleWidget::text(T);
  }
  QAccessible::State state() const override {
    QAccessible::State S = QAccessibleWidget::state();
    if (Kind() == arPicture) S.focusable = false;
    return S;
  }

  int childCount() const override {
    return int(Tabs().size()) + QAccessibleWidget::childCount();
  }
  QAccessibleInterface* child(int Index) const override {
    const int TabCount = int(Tabs().size());
    if (Index < 0) return nullptr;
    if (Index >= TabCount) return QAccessibleWidget::child(Index - TabCount);
    auto It = FTabs.find(Index);
    if (It != FTabs.end()) return QAccessible::accessibleInterface(It->second);
    auto* Tab = new PageTabAccessible(const_cast<PaintedControlAccessible*>(this), Index);
    FTabs[Index] = QAccessible::registerAccessibleInterface(Tab);
    return Tab;
  }
  int indexOfChild(const QAccessibleInterface* Child) const override {
    for (const auto& [Index, Id] : FTabs)
      if (QAccessible::accessibleInterface(Id) == Child) return Index;
    const int I = QAccessibleWidget::indexOfChild(Child);
    return I < 0 ? I : I + int(Tabs().size());
  }
  QAccessibleInterface* childAt(int X, int Y) const override {
    const std::vector<TAccessibleTab> T = Tabs();
    for (int I = 0; I < int(T.size()); ++I) {
      QAccessibleInterface* C = child(I);
      if (C && C->rect().contains(X, Y)) return C;
    }
    return QAccessibleWidget::childAt(X, Y);
  }

  void* interface_cast(QAccessible::InterfaceType T) override {
    if (T == QAccessible::ValueInterface && Kind() == arSlider) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(T);
  }
  QStringList actionNames() const override {
    QStringList Names = QAccessibleWidget::actionNames();
    TControl* C = Control();
    if (Kind() == arPicture && C && C->OnClick && C->Enabled()) Names.prepend(pressAction());
    return Names;
  }
  void doAction(const QString& Action) override {
    TControl* C = Control();
    if (Action == pressAction() && Kind() == arPicture && C && C->Enabled())
      GuardedCall(C, [C] { C->Click(); });
    else
      QAccessibleWidget::doAction(Action);
  }

  QVariant currentValue() const override { return Read(2); }
  QVariant minimumValue() const override { return Read(0); }
  QVariant maximumValue() const override { return Read(1); }
  QVariant minimumStepSize() const override { return Read(3); }
  void setCurrentValue(const QVariant& Value) override {
    TControl* C = Control();
    if (C && C->Enabled()) GuardedCall(C, [C, &Value] { C->SetAccessibleValue(Value.toInt()); });
  }

 private:
  QVariant Read(int Which) const {
    Integer V[4] = {0, 0, 0, 1};
    TControl* C = Control();
    if (!C || !C->GetAccessibleValue(V[0], V[1], V[2], V[3])) return QVariant();
    return QVariant(int(V[Which]));
  }
  mutable std::map<int, QAccessible::Id> FTabs;
};

bool PageTabAccessible::Tab(TAccessibleTab& Out) const {
  const std::vector<TAccessibleTab> T = FParent->Tabs();
  if (FIndex >= int(T.size())) return false;
  Out = T[size_t(FIndex)];
  return true;
}

bool PageTabAccessible::isValid() const {
  TAccessibleTab T;
  return FParent->isValid() && Tab(T);
}

QWindow* PageTabAccessible::window() const { return FParent->window(); }
QAccessibleInterface* PageTabAccessible::parent() const { return FParent; }

QString PageTabAccessible::text(QAccessible::Text T) const {
  TAccessibleTab Tb;
  if (T != QAccessible::Name || !Tab(Tb)) return QString();
  return QString::fromStdString(Tb.Name);
}

QRect PageTabAccessible::rect() const {
  TAccessibleTab T;
  if (!Tab(T) || !FParent->Widget()) return QRect();
  const QPoint Origin = FParent->Widget()->mapToGlobal(QPoint(T.Bounds.Left, T.Bounds.Top));
  return QRect(Origin, QSize(T.Bounds.Width(), T.Bounds.Height()));
}

QAccessible::State PageTabAccessible::state() const {
  QAccessible::State S;
  TAccessibleTab T;
  if (!Tab(T)) {
    S.invalid = true;
    return S;
  }
  const QAccessible::State P = FParent->state();
  S.selectable = true;
  S.selected = T.Selected;
  S.invisible = P.invisible;
  S.offscreen = P.offscreen;
  S.disabled = P.disabled;
  S.focusable = P.focusable;
  S.focused = P.focused && T.Selected;
  return S;
}

void PageTabAccessible::doAction(const QString& Action) {
  TControl* C = FParent->Control();
  if (Action != pressAction() || !C || !C->Enabled()) return;
  const int Index = FIndex;
  GuardedCall(C, [C, Index] { C->SelectAccessibleTab(Index); });
}

QAccessibleInterface* Factory(const QString&, QObject* Object) {
  if (!Object || !Object->isWidgetType()) return nullptr;
  auto* W = static_cast<QWidget*>(Object);
  if (W->property("clvRadioButton").toBool()) return new RadioButtonAccessible(W);
  if (dynamic_cast<ArrowPairWidget*>(W)) return new StepButtonsAccessible(W);
  if (qobject_cast<FormWidget*>(W)) return new FormAccessible(W);
  if (qobject_cast<QComboBox*>(W) && FindControl(W) && FindControl(W)->Widget() == W) return new ComboBoxAccessible(W);
  if (qobject_cast<PaintedWidget*>(W)) return new PaintedControlAccessible(W);
  return nullptr;
}

bool IsField(QWidget* W) { return qobject_cast<QLineEdit*>(W) || qobject_cast<QComboBox*>(W); }

QString CaptionOf(const TControl* C) {
  QWidget* W = C->Widget();
  if (!W || !C->Visible()) return QString();
  if (auto* L = qobject_cast<QLabel*>(W)) return WithoutAccelerator(L->text()).trimmed();
  if (qobject_cast<QCheckBox*>(W) || qobject_cast<QRadioButton*>(W))
    return WithoutAccelerator(static_cast<QAbstractButton*>(W)->text()).trimmed();
  return QString();
}

Integer Middle(const TControl* C) { return C->Top() + C->Height() / 2; }

QString NameFromNeighbours(const TWinControl* Field) {
  const TWinControl* Parent = Field->Parent();
  if (!Parent) return QString();
  const TControl* Before = nullptr;
  const TControl* Above = nullptr;
  for (Integer I = 0; I < Parent->ControlCount(); ++I) {
    const TControl* C = Parent->Controls(I);
    if (C == Field || CaptionOf(C).isEmpty()) continue;
    // On one row: the middle of the lower one lies within the height of the taller.
    const TControl* Low = C->Height() <= Field->Height() ? C : static_cast<const TControl*>(Field);
    const TControl* Tall = Low == C ? static_cast<const TControl*>(Field) : C;
    const bool SameRow = Middle(Low) > Tall->Top() && Middle(Low) < Tall->Top() + Tall->Height();
    if (SameRow && C->Left() + C->Width() <= Field->Left() + 2) {
      if (!Before || C->Left() > Before->Left()) Before = C;
    } else if (C->Top() + C->Height() <= Field->Top() + 2 && C->Left() < Field->Left() + Field->Width() &&
               Field->Left() < C->Left() + C->Width()) {
      if (!Above || C->Top() > Above->Top()) Above = C;
    }
  }
  if (Before) return CaptionOf(Before);
  if (Above) return CaptionOf(Above);
  return QString();
}

}  // namespace

void InstallAccessibility() { QAccessible::installFactory(&Factory); }

void NotifyAccessibleValue(TControl* Control) {
  Integer Min = 0, Max = 0, Value = 0, Step = 1;
  if (!QAccessible::isActive() || !Control->Widget() || !Control->GetAccessibleValue(Min, Max, Value, Step)) return;
  QAccessibleValueChangeEvent E(Control->Widget(), int(Value));
  QAccessible::updateAccessibility(&E);
}

void NotifyAccessibleTabs(TControl* Control) {
  if (!QAccessible::isActive() || !Control->Widget()) return;
  QAccessibleEvent E(Control->Widget(), QAccessible::SelectionWithin);
  QAccessible::updateAccessibility(&E);
}

void NameFieldsAfterTheirLabels(TWinControl* Root) {
  for (Integer I = 0; I < Root->ControlCount(); ++I) {
    auto* W = dynamic_cast<TWinControl*>(Root->Controls(I));
    if (!W) continue;
    QWidget* Q = W->Widget();
    if (Q && !Q->isWindow() && IsField(Q) &&
        (Q->accessibleName().isEmpty() || Q->property(kGivenName).toBool())) {
      const QString Name = NameFromNeighbours(W);
      Q->setAccessibleName(Name);
      Q->setProperty(kGivenName, !Name.isEmpty());
    }
    NameFieldsAfterTheirLabels(W);
  }
}

}  // namespace clvqt
