// Vocabulary shared by the tab control, its parts and the page control.
#pragma once

#include <functional>

#include "platform/gui/graphics.h"
#include "platform/rtl/exceptions.h"

class EClTabControlError : public Exception {
  using Exception::Exception;
};

enum TClTabStyle { tsSingleSlant, tsDoubleSlant, tsCutCorner, tsRoundCorners, tsBackSlant, tsSquareCorners };
enum TClTabOrientation { toTop, toLeft, toBottom, toRight };
enum TClTabSequence { tsStandard, tsReverse };
enum TClImagePosition { ipLeft, ipTop, ipRight, ipBottom, ipBack, ipStretch };
enum TClHorizontalAlignment { haLeft, haCenter, haRight };
enum TClVerticalAlignment { vaTop, vaCenter, vaBottom };
enum TClTabHotTrackStyle { htsTab, htsText, htsTabBar };
enum TClTabHotTrackColorSource { htcsTabColor, htcsHotTrackColorProp };
enum TClHotTrackColorType { htctComplement, htctActual };
enum TClTextStyle { tsHotTrack, tsSelected, tsUnselected, tsDisabled };
enum TOrientation { orHorizontal, orVertical };
enum TBandGradient { bgTopToBottom, bgLeftToRight };

using TClTabChangingEvent = std::function<void(TObject* Sender, Integer NewIndex, bool& AllowChange)>;
using TClTabCloseEvent = std::function<void(TObject* Sender, bool& AllowClose)>;
using TClGetTextColorEvent =
    std::function<void(TObject* Sender, Integer ATabIndex, TClTextStyle AStyle, TColor& AColor, bool& Handled)>;
using TClPaintBackgroundEvent =
    std::function<void(TObject* Sender, TCanvas* ACanvas, const TRect& ARect, bool& Handled)>;
using TClPaintCardBackgroundEvent =
    std::function<void(TObject* Sender, TCanvas* ACanvas, Integer ARow, const TRect& ARect, bool& Handled)>;
using TClPaintTabBackgroundEvent =
    std::function<void(TObject* Sender, TCanvas* ACanvas, Integer ATabIndex, const TRect& ARect, bool& Handled)>;
using TClTabDraggingEvent = std::function<void(TObject* Sender, Integer TabIndex, bool& AllowDrag)>;
using TClTabOrderChangeEvent = std::function<void(TObject* Sender, Integer OldIndex, Integer NewIndex)>;
