#include "platform/gui/qt_cursors.h"

#include <map>

#include <QImage>
#include <QPixmap>

#include "platform/gui/application.h"

namespace clvqt {

namespace {

struct Registered {
  bool IsAlias = false;
  TCursor Stock = crDefault;
  TCursorImage Image;
};

std::map<TCursor, Registered>& Registry() {
  static std::map<TCursor, Registered> R;
  return R;
}

Qt::CursorShape StockShape(TCursor Id) {
  switch (Id) {
    case crNone: return Qt::BlankCursor;
    case crCross: return Qt::CrossCursor;
    case crIBeam: return Qt::IBeamCursor;
    case crSizeNESW: return Qt::SizeBDiagCursor;
    case crSizeNS: return Qt::SizeVerCursor;
    case crSizeNWSE: return Qt::SizeFDiagCursor;
    case crSizeWE: return Qt::SizeHorCursor;
    case crUpArrow: return Qt::UpArrowCursor;
    case crHourGlass: return Qt::WaitCursor;
    case crDrag: return Qt::DragCopyCursor;
    case crNoDrop: return Qt::ForbiddenCursor;
    case crHSplit: return Qt::SplitHCursor;
    case crVSplit: return Qt::SplitVCursor;
    case crMultiDrag: return Qt::DragCopyCursor;
    case crSQLWait: return Qt::BusyCursor;
    case crNo: return Qt::ForbiddenCursor;
    case crAppStart: return Qt::BusyCursor;
    case crHelp: return Qt::WhatsThisCursor;
    case crHandPoint: return Qt::PointingHandCursor;
    case crSizeAll: return Qt::SizeAllCursor;
    default: return Qt::ArrowCursor;
  }
}

bool IsStock(TCursor Id) { return Id <= 0 && Id >= crSizeAll && Id != -5; }

}  // namespace

QCursor CursorFor(TCursor Id) {
  auto It = Registry().find(Id);
  if (It == Registry().end()) return QCursor(StockShape(Id));
  const Registered& R = It->second;
  if (R.IsAlias) return QCursor(StockShape(R.Stock));
  const TCursorImage& I = R.Image;
  if (I.Width <= 0 || I.Height <= 0 || I.Pixels.size() < std::size_t(I.Width) * std::size_t(I.Height))
    return QCursor(Qt::ArrowCursor);
  QImage Img(I.Width, I.Height, QImage::Format_ARGB32);
  for (int Y = 0; Y < I.Height; ++Y)
    for (int X = 0; X < I.Width; ++X) Img.setPixel(X, Y, I.Pixels[std::size_t(Y) * I.Width + X]);
  return QCursor(QPixmap::fromImage(Img), I.HotX, I.HotY);
}

void RegisterCursorImage(TCursor Id, const TCursorImage& Image) {
  Registered R;
  R.Image = Image;
  Registry()[Id] = R;
}

void RegisterCursorAlias(TCursor Id, TCursor Stock) {
  Registered R;
  R.IsAlias = true;
  R.Stock = Stock;
  Registry()[Id] = R;
}

bool CursorKnown(TCursor Id) { return IsStock(Id) || Registry().count(Id) != 0; }

}  // namespace clvqt
