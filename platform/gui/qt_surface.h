// For platform/gui code only: the client-sized image a painted control draws into, the canvas
// over it, and the widgets that show it.
#pragma once

#include <functional>
#include <memory>

#include <QImage>
#include <QPointer>
#include <QWidget>

#include "platform/gui/colors.h"

class TCanvas;
class TControl;
class QScrollBar;

namespace clvqt {

// The image behind a painted control. Drawing through the canvas marks the widget for a
// repaint from the image; Invalidate additionally asks for the control's Paint.
class PaintSurface {
 public:
  PaintSurface(QWidget* Widget, bool Transparent);
  ~PaintSurface();

  TCanvas* Canvas() const { return FCanvas.get(); }
  QImage& Image() { return FImage; }
  // Keeps the image at this size; a new size asks for a Paint.
  void Resize(int Width, int Height);
  void Invalidate();
  // Gives the image's memory back (a control whose window was destroyed); the next Render
  // makes it again at the size it asks for.
  void Release();
  bool NeedsPaint() const { return FNeedsPaint; }
  // A Paint of Control at this size: clears the request, fills the image with the control's
  // Color unless Opaque (transparent surfaces clear to nothing), hands the canvas over with the
  // control's colour as brush and its font, and runs Paint (whose exceptions go to the
  // application's handler).
  void Render(TControl* Control, int Width, int Height, bool Opaque, const std::function<void()>& Paint);
  // Copies the image to Widget; called from its paint event.
  void DrawOn(QWidget* Widget) const;
  // Schedules the widget to show the image again (safe from any thread).
  void ScheduleShow();

 private:
  QPointer<QWidget> FWidget;
  bool FTransparent;
  QImage FImage;
  std::unique_ptr<TCanvas> FCanvas;
  bool FNeedsPaint = true;
  bool FPainting = false;
};

// The widget of TCustomControl and TGraphicControl: shows the surface, hosts scroll bars.
class PaintedWidget : public QWidget {
  Q_OBJECT
 public:
  explicit PaintedWidget(TControl* Owner);
  void SetOwnerControl(TControl* Owner) { FOwner = Owner; }
  QScrollBar* Bar(int Kind, bool Create);
  // The area the control may paint (the widget less its shown scroll bars).
  QRect ClientArea() const;
  void LayoutBars();

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

 private:
  void BarAction(int Kind, int Action);
  void BarReleased(int Kind);
  TControl* FOwner;
  QScrollBar* FBars[2] = {nullptr, nullptr};
};

}  // namespace clvqt
