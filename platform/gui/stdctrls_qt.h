// For platform/gui code only: small helpers the standard controls share.
#pragma once

#include <QString>

#include "platform/gui/colors.h"
#include "platform/rtl/types.h"

class QWidget;
class TFont;

namespace clvqt {

AnsiString AStr(const QString& S);
// Gives the widget's text the font's colour (the disabled look stays the style's).
void ApplyFontColor(QWidget* Widget, const TFont* Font);
// Gives a text field the colour behind its text.
void ApplyBaseColor(QWidget* Widget, TColor Color);

}  // namespace clvqt
