#include "platform/gui/qt_accessibility.h"

#include <algorithm>
#include <cstdlib>

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>

#include "platform/gui/controls.h"
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

QAccessibleInterface* Factory(const QString&, QObject* Object) {
  if (!Object || !Object->isWidgetType()) return nullptr;
  auto* W = static_cast<QWidget*>(Object);
  if (W->property("clvRadioButton").toBool()) return new RadioButtonAccessible(W);
  if (dynamic_cast<ArrowPairWidget*>(W)) return new StepButtonsAccessible(W);
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
