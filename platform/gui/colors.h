// Colours of the framework vocabulary.
//
// A TColor holds 0x00BBGGRR for a plain colour (red in the low byte). A value with the top bit set
// names a system colour: its low byte is the index (COLOR_BTNFACE = 15, ...). The constants below
// use the top byte 0xFF, the form stored files and the widgets expect; ColorToRGB also accepts the
// older 0x80 top byte, since only the top bit and the low byte are looked at.
//
// There is no desktop colour scheme to ask on Linux, so the system colours resolve through a fixed
// table: the classic Windows "Windows Standard" scheme (button face light grey 0xC0C0C0, button
// shadow mid grey 0x808080, highlight white, dark shadow black, selection navy, window white,
// tool-tip background pale yellow 0xE1FFFF). That keeps every 3-D frame and disabled glyph at
// pixel values a test can state.
#pragma once

#include "platform/rtl/types.h"

using TColor = Cardinal;

constexpr TColor clSystemColor = 0xFF000000u;

constexpr TColor clBlack = 0x000000u;
constexpr TColor clMaroon = 0x000080u;
constexpr TColor clGreen = 0x008000u;
constexpr TColor clOlive = 0x008080u;
constexpr TColor clNavy = 0x800000u;
constexpr TColor clPurple = 0x800080u;
constexpr TColor clTeal = 0x808000u;
constexpr TColor clGray = 0x808080u;
constexpr TColor clSilver = 0xC0C0C0u;
constexpr TColor clRed = 0x0000FFu;
constexpr TColor clLime = 0x00FF00u;
constexpr TColor clYellow = 0x00FFFFu;
constexpr TColor clBlue = 0xFF0000u;
constexpr TColor clFuchsia = 0xFF00FFu;
constexpr TColor clAqua = 0xFFFF00u;
constexpr TColor clWhite = 0xFFFFFFu;
constexpr TColor clLtGray = 0xC0C0C0u;
constexpr TColor clDkGray = 0x808080u;
constexpr TColor clMoneyGreen = 0xC0DCC0u;
constexpr TColor clSkyBlue = 0xF0CAA6u;
constexpr TColor clCream = 0xF0FBFFu;
constexpr TColor clMedGray = 0xA4A0A0u;

// Sentinels: "no colour" and "the default colour of whoever draws".
constexpr TColor clNone = 0x1FFFFFFFu;
constexpr TColor clDefault = 0x20000000u;

// System colour indices (the COLOR_* numbering).
constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_BACKGROUND = 1;
constexpr int COLOR_ACTIVECAPTION = 2;
constexpr int COLOR_INACTIVECAPTION = 3;
constexpr int COLOR_MENU = 4;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_MENUTEXT = 7;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_CAPTIONTEXT = 9;
constexpr int COLOR_ACTIVEBORDER = 10;
constexpr int COLOR_INACTIVEBORDER = 11;
constexpr int COLOR_APPWORKSPACE = 12;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_INACTIVECAPTIONTEXT = 19;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;
constexpr int COLOR_INFOTEXT = 23;
constexpr int COLOR_INFOBK = 24;
constexpr int COLOR_HOTLIGHT = 26;
constexpr int COLOR_GRADIENTACTIVECAPTION = 27;
constexpr int COLOR_GRADIENTINACTIVECAPTION = 28;
constexpr int COLOR_MENUHILIGHT = 29;
constexpr int COLOR_MENUBAR = 30;
constexpr int COLOR_3DFACE = COLOR_BTNFACE;
constexpr int COLOR_3DSHADOW = COLOR_BTNSHADOW;
constexpr int COLOR_3DHIGHLIGHT = COLOR_BTNHIGHLIGHT;
constexpr int COLOR_3DHILIGHT = COLOR_BTNHIGHLIGHT;
constexpr int COLOR_BTNHILIGHT = COLOR_BTNHIGHLIGHT;

constexpr TColor clScrollBar = clSystemColor | COLOR_SCROLLBAR;
constexpr TColor clBackground = clSystemColor | COLOR_BACKGROUND;
constexpr TColor clActiveCaption = clSystemColor | COLOR_ACTIVECAPTION;
constexpr TColor clInactiveCaption = clSystemColor | COLOR_INACTIVECAPTION;
constexpr TColor clMenu = clSystemColor | COLOR_MENU;
constexpr TColor clWindow = clSystemColor | COLOR_WINDOW;
constexpr TColor clWindowFrame = clSystemColor | COLOR_WINDOWFRAME;
constexpr TColor clMenuText = clSystemColor | COLOR_MENUTEXT;
constexpr TColor clWindowText = clSystemColor | COLOR_WINDOWTEXT;
constexpr TColor clCaptionText = clSystemColor | COLOR_CAPTIONTEXT;
constexpr TColor clActiveBorder = clSystemColor | COLOR_ACTIVEBORDER;
constexpr TColor clInactiveBorder = clSystemColor | COLOR_INACTIVEBORDER;
constexpr TColor clAppWorkSpace = clSystemColor | COLOR_APPWORKSPACE;
constexpr TColor clHighlight = clSystemColor | COLOR_HIGHLIGHT;
constexpr TColor clHighlightText = clSystemColor | COLOR_HIGHLIGHTTEXT;
constexpr TColor clBtnFace = clSystemColor | COLOR_BTNFACE;
constexpr TColor clBtnShadow = clSystemColor | COLOR_BTNSHADOW;
constexpr TColor clGrayText = clSystemColor | COLOR_GRAYTEXT;
constexpr TColor clBtnText = clSystemColor | COLOR_BTNTEXT;
constexpr TColor clInactiveCaptionText = clSystemColor | COLOR_INACTIVECAPTIONTEXT;
constexpr TColor clBtnHighlight = clSystemColor | COLOR_BTNHIGHLIGHT;
constexpr TColor cl3DDkShadow = clSystemColor | COLOR_3DDKSHADOW;
constexpr TColor cl3DLight = clSystemColor | COLOR_3DLIGHT;
constexpr TColor clInfoText = clSystemColor | COLOR_INFOTEXT;
constexpr TColor clInfoBk = clSystemColor | COLOR_INFOBK;
constexpr TColor clHotLight = clSystemColor | COLOR_HOTLIGHT;
constexpr TColor clGradientActiveCaption = clSystemColor | COLOR_GRADIENTACTIVECAPTION;
constexpr TColor clGradientInactiveCaption = clSystemColor | COLOR_GRADIENTINACTIVECAPTION;
constexpr TColor clMenuHighlight = clSystemColor | COLOR_MENUHILIGHT;
constexpr TColor clMenuBar = clSystemColor | COLOR_MENUBAR;

constexpr TColor RGB(Byte r, Byte g, Byte b) {
  return TColor(r) | (TColor(g) << 8) | (TColor(b) << 16);
}
constexpr Byte GetRValue(TColor c) { return Byte(c & 0xFF); }
constexpr Byte GetGValue(TColor c) { return Byte((c >> 8) & 0xFF); }
constexpr Byte GetBValue(TColor c) { return Byte((c >> 16) & 0xFF); }

// The RGB value of a system colour index from the fixed scheme; black for an unknown index.
TColor GetSysColor(int index);
// Resolves a system colour to its RGB value; a plain colour comes back unchanged.
TColor ColorToRGB(TColor color);
