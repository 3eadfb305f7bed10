// For platform/gui code only: the Qt cursor for a cursor id (stock or registered).
#pragma once

#include <QCursor>

#include "platform/gui/application.h"
#include "platform/gui/controls.h"

namespace clvqt {

QCursor CursorFor(TCursor Id);

}  // namespace clvqt

namespace clvqt {
void RegisterCursorImage(TCursor Id, const TCursorImage& Image);
void RegisterCursorAlias(TCursor Id, TCursor Stock);
bool CursorKnown(TCursor Id);
}  // namespace clvqt
