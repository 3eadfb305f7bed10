// For platform/gui code only: the top-level widget of a form.
//
// The window holds an optional menu bar across its top and, below it, the client area: the
// widget the form's child controls sit on and its canvas shows on. Client coordinates are
// that widget's, so nothing the program places at (0, 0) hides under the bar.
#pragma once

#include <QPointer>
#include <QWidget>

class TCustomForm;

namespace clvqt {

class FormClientArea : public QWidget {
  Q_OBJECT
 public:
  explicit FormClientArea(QWidget* Parent);
  void SetForm(TCustomForm* Form) { FForm = Form; }

 protected:
  void paintEvent(QPaintEvent* Event) override;

 private:
  TCustomForm* FForm = nullptr;
};

class FormWidget : public QWidget {
  Q_OBJECT
 public:
  FormWidget();
  void SetForm(TCustomForm* Form);
  FormClientArea* ClientArea() const { return FClient; }
  // Shows Bar (nil: none) across the top, above the client area.
  void SetMenuBar(QWidget* Bar);
  // Places the bar and the client area in the window's current size.
  void LayoutClient();

 protected:
  void closeEvent(QCloseEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  int MenuBarHeight() const;
  void BarMayHaveChanged();

  TCustomForm* FForm = nullptr;
  FormClientArea* FClient = nullptr;
  QPointer<QWidget> FMenuBar;
  // The bar's height as the window was last laid out for it.
  int FBarHeight = 0;
};

}  // namespace clvqt
