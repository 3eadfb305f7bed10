// For platform/gui code only: the framework's UTF-8 text as Qt text.
#pragma once

#include <QString>

#include "platform/rtl/types.h"

inline QString QStr(const AnsiString& S) { return QString::fromUtf8(S.data(), static_cast<qsizetype>(S.size())); }
