#include "platform/gui/colors.h"

namespace {

// The classic "Windows Standard" scheme, indexed by COLOR_*; 0x00BBGGRR.
constexpr TColor kStandardScheme[] = {
    0xC0C0C0,  // COLOR_SCROLLBAR
    0x808000,  // COLOR_BACKGROUND (teal desktop)
    0x800000,  // COLOR_ACTIVECAPTION (navy)
    0x808080,  // COLOR_INACTIVECAPTION
    0xC0C0C0,  // COLOR_MENU
    0xFFFFFF,  // COLOR_WINDOW
    0x000000,  // COLOR_WINDOWFRAME
    0x000000,  // COLOR_MENUTEXT
    0x000000,  // COLOR_WINDOWTEXT
    0xFFFFFF,  // COLOR_CAPTIONTEXT
    0xC0C0C0,  // COLOR_ACTIVEBORDER
    0xC0C0C0,  // COLOR_INACTIVEBORDER
    0x808080,  // COLOR_APPWORKSPACE
    0x800000,  // COLOR_HIGHLIGHT (navy)
    0xFFFFFF,  // COLOR_HIGHLIGHTTEXT
    0xC0C0C0,  // COLOR_BTNFACE
    0x808080,  // COLOR_BTNSHADOW
    0x808080,  // COLOR_GRAYTEXT
    0x000000,  // COLOR_BTNTEXT
    0xC0C0C0,  // COLOR_INACTIVECAPTIONTEXT
    0xFFFFFF,  // COLOR_BTNHIGHLIGHT
    0x000000,  // COLOR_3DDKSHADOW
    0xC0C0C0,  // COLOR_3DLIGHT
    0x000000,  // COLOR_INFOTEXT
    0xE1FFFF,  // COLOR_INFOBK (pale yellow)
    0xB5B5B5,  // 25, unused
    0x800000,  // COLOR_HOTLIGHT
    0xD08410,  // COLOR_GRADIENTACTIVECAPTION
    0xB5B5B5,  // COLOR_GRADIENTINACTIVECAPTION
    0x800000,  // COLOR_MENUHILIGHT
    0xC0C0C0,  // COLOR_MENUBAR
};

}  // namespace

TColor GetSysColor(int index) {
  if (index < 0 || index >= int(sizeof(kStandardScheme) / sizeof(kStandardScheme[0]))) return clBlack;
  return kStandardScheme[index];
}

TColor ColorToRGB(TColor color) {
  if (color & 0x80000000u) return GetSysColor(int(color & 0xFFu));
  return color;
}
