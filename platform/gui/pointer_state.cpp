#include "platform/gui/pointer_state.h"

#include <QGuiApplication>

bool IsMouseButtonDown(TMouseButton Button) {
  const Qt::MouseButtons down = QGuiApplication::mouseButtons();
  switch (Button) {
    case mbLeft: return down & Qt::LeftButton;
    case mbRight: return down & Qt::RightButton;
    case mbMiddle: return down & Qt::MiddleButton;
  }
  return false;
}
