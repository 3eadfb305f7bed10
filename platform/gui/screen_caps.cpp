#include "platform/gui/screen_caps.h"

#include <QGuiApplication>
#include <QScreen>

Integer GetScreenDeviceCaps(Integer Index) {
  const QScreen* S = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                         ? QGuiApplication::primaryScreen()
                         : nullptr;
  if (!S) return 0;
  const Integer Depth = S->depth();
  switch (Index) {
    case BITSPIXEL: return Depth;
    case NUMCOLORS: return Depth > 8 ? -1 : (Depth > 0 ? Integer(1) << Depth : 0);
    default: return 0;
  }
}
