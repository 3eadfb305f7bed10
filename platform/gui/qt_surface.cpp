#include "platform/gui/qt_surface.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>
#include <QStyle>
#include <QThread>

#include "platform/gui/application.h"
#include "platform/gui/qt_control_bridge.h"
#include "platform/gui/qt_graphics_bridge.h"

namespace clvqt {

namespace {
QImage::Format SurfaceFormat(bool Transparent) {
  return Transparent ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
}
}  // namespace

PaintSurface::PaintSurface(QWidget* Widget, bool Transparent)
    : FWidget(Widget), FTransparent(Transparent), FImage(1, 1, SurfaceFormat(Transparent)) {
  FImage.fill(Transparent ? Qt::transparent : Qt::white);
  FCanvas = CreateImageCanvas(&FImage);
  FCanvas->OnChange = [this](TObject*) {
    if (!FPainting) ScheduleShow();
  };
}

PaintSurface::~PaintSurface() {
  FCanvas->OnChange = nullptr;
  SetCanvasImage(FCanvas.get(), nullptr);
}

void PaintSurface::Resize(int Width, int Height) {
  Width = std::max(Width, 1);
  Height = std::max(Height, 1);
  if (FImage.width() == Width && FImage.height() == Height) return;
  QImage Fresh(Width, Height, SurfaceFormat(FTransparent));
  Fresh.fill(FTransparent ? QColor(Qt::transparent) : QColor(Qt::white));
  // Keep what was drawn where it still fits, so a resize shows no blank flash before Paint.
  {
    QPainter P(&Fresh);
    P.setCompositionMode(QPainter::CompositionMode_Source);
    P.drawImage(0, 0, FImage);
  }
  FImage = std::move(Fresh);
  SetCanvasImage(FCanvas.get(), &FImage);
  Invalidate();
}

void PaintSurface::Release() {
  FImage = QImage(1, 1, SurfaceFormat(FTransparent));
  FImage.fill(FTransparent ? QColor(Qt::transparent) : QColor(Qt::white));
  SetCanvasImage(FCanvas.get(), &FImage);
  FNeedsPaint = true;
}

void PaintSurface::Invalidate() {
  FNeedsPaint = true;
  ScheduleShow();
}

void PaintSurface::Render(TControl* Control, int Width, int Height, bool Opaque,
                          const std::function<void()>& Paint) {
  Resize(Width, Height);
  FNeedsPaint = false;
  FPainting = true;
  if (FTransparent)
    FImage.fill(Qt::transparent);
  else if (!Opaque)
    FImage.fill(ToQColor(Control->Color()));
  FCanvas->Brush()->SetColor(Control->Color());
  FCanvas->SetFont(Control->Font());
  GuardedCall(Control, Paint);
  FPainting = false;
}

void PaintSurface::DrawOn(QWidget* Widget) const {
  QPainter P(Widget);
  P.drawImage(0, 0, FImage);
}

void PaintSurface::ScheduleShow() {
  if (!FWidget) return;
  if (QThread::currentThread() == qApp->thread()) {
    FWidget->update();
  } else {
    QPointer<QWidget> W = FWidget;
    QMetaObject::invokeMethod(qApp, [W] { if (W) W->update(); }, Qt::QueuedConnection);
  }
}

PaintedWidget::PaintedWidget(TControl* Owner) : FOwner(Owner) {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  setMouseTracking(true);
}

QScrollBar* PaintedWidget::Bar(int Kind, bool Create) {
  if (!FBars[Kind] && Create) {
    auto* B = new QScrollBar(Kind == sbHorizontal ? Qt::Horizontal : Qt::Vertical, this);
    B->hide();
    B->setFocusPolicy(Qt::NoFocus);
    connect(B, &QScrollBar::actionTriggered, this, [this, Kind](int Action) { BarAction(Kind, Action); });
    connect(B, &QScrollBar::sliderReleased, this, [this, Kind] { BarReleased(Kind); });
    FBars[Kind] = B;
  }
  return FBars[Kind];
}

QRect PaintedWidget::ClientArea() const {
  int W = width();
  int H = height();
  if (FBars[sbVertical] && !FBars[sbVertical]->isHidden()) W -= FBars[sbVertical]->sizeHint().width();
  if (FBars[sbHorizontal] && !FBars[sbHorizontal]->isHidden())
    H -= FBars[sbHorizontal]->sizeHint().height();
  return QRect(0, 0, std::max(W, 0), std::max(H, 0));
}

void PaintedWidget::LayoutBars() {
  QRect C = ClientArea();
  if (FBars[sbVertical] && !FBars[sbVertical]->isHidden())
    FBars[sbVertical]->setGeometry(C.width(), 0, width() - C.width(), C.height());
  if (FBars[sbHorizontal] && !FBars[sbHorizontal]->isHidden())
    FBars[sbHorizontal]->setGeometry(0, C.height(), C.width(), height() - C.height());
}

void PaintedWidget::paintEvent(QPaintEvent* Event) {
  if (!FOwner) return;
  if (auto* C = dynamic_cast<TCustomControl*>(FOwner)) {
    ControlBridge::PaintCustom(C);
  } else if (auto* G = dynamic_cast<TGraphicControl*>(FOwner)) {
    ControlBridge::PaintGraphic(G);
  }
  (void)Event;
}

void PaintedWidget::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  LayoutBars();
}

namespace {
TScrollCode CodeForAction(int Action) {
  switch (Action) {
    case QAbstractSlider::SliderSingleStepAdd: return scLineDown;
    case QAbstractSlider::SliderSingleStepSub: return scLineUp;
    case QAbstractSlider::SliderPageStepAdd: return scPageDown;
    case QAbstractSlider::SliderPageStepSub: return scPageUp;
    case QAbstractSlider::SliderToMinimum: return scTop;
    case QAbstractSlider::SliderToMaximum: return scBottom;
    default: return scTrack;
  }
}
}  // namespace

void PaintedWidget::BarAction(int Kind, int Action) {
  auto* C = dynamic_cast<TCustomControl*>(FOwner);
  QScrollBar* B = FBars[Kind];
  if (!C || !B || Action == QAbstractSlider::SliderNoAction) return;
  TScrollCode Code = CodeForAction(Action);
  QPointer<QScrollBar> Guard = B;
  ControlBridge::Scroll(C, TScrollBarKind(Kind), Code, B->sliderPosition());
  if (!Guard) return;
  // The control owns the position, as with the desktop's bars: only a dragged thumb follows
  // the mouse by itself.
  if (Action != QAbstractSlider::SliderMove) B->setSliderPosition(C->GetScrollPos(TScrollBarKind(Kind)));
  if (Action != QAbstractSlider::SliderMove && Action != QAbstractSlider::SliderNoAction)
    ControlBridge::Scroll(C, TScrollBarKind(Kind), scEndScroll, C->GetScrollPos(TScrollBarKind(Kind)));
}

void PaintedWidget::BarReleased(int Kind) {
  auto* C = dynamic_cast<TCustomControl*>(FOwner);
  QScrollBar* B = FBars[Kind];
  if (!C || !B) return;
  QPointer<QScrollBar> Guard = B;
  ControlBridge::Scroll(C, TScrollBarKind(Kind), scPosition, B->sliderPosition());
  if (!Guard) return;
  ControlBridge::Scroll(C, TScrollBarKind(Kind), scEndScroll, C->GetScrollPos(TScrollBarKind(Kind)));
  if (Guard) B->setValue(C->GetScrollPos(TScrollBarKind(Kind)));
}

}  // namespace clvqt
