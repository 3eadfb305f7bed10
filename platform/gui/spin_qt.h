// For platform/gui code only: the pair of arrow buttons that spin controls are made of.
#pragma once

#include <QToolButton>
#include <QWidget>

namespace clvqt {

// An up arrow over a down arrow, filling the widget. Held buttons repeat; they never take the
// focus.
class ArrowPairWidget : public QWidget {
 public:
  ArrowPairWidget();

  QToolButton* Next;
  QToolButton* Prev;

 protected:
  void resizeEvent(QResizeEvent* E) override;
};

QToolButton* MakeArrowButton(QWidget* Parent, Qt::ArrowType Arrow);
// Places the first button over the second inside R.
void PlaceArrowsStacked(QToolButton* Upper, QToolButton* Lower, const QRect& R);

}  // namespace clvqt
