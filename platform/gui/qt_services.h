// For platform/gui code only: the service object that shows real Qt dialogs.
#pragma once

#include <QString>
#include <QStringList>

#include "platform/gui/services.h"

namespace clvqt {

TPlatformServices* DefaultServices();

// Qt's name filters for a framework filter text ("Text|*.a;*.b" -> "Text (*.a *.b)").
QStringList QtNameFilters(const AnsiString& Filter);

}  // namespace clvqt
