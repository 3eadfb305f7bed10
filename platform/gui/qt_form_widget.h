// For platform/gui code only: the top-level widget of a form.
#pragma once

#include <QWidget>

class TCustomForm;

namespace clvqt {

class FormWidget : public QWidget {
  Q_OBJECT
 public:
  FormWidget();
  void SetForm(TCustomForm* Form) { FForm = Form; }

 protected:
  void closeEvent(QCloseEvent* Event) override;
  void paintEvent(QPaintEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

 private:
  TCustomForm* FForm = nullptr;
};

}  // namespace clvqt
