#include "widgets/slider/slider_resources.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/gui/application.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"

namespace {

// Picture rows: M is the magenta that the bottom-left pixel makes transparent, W white, L light
// grey, D dark grey, K black (the 16-colour palette's entries).
const char* const kHThumb[] = {
    "WWWWWWWWKWWWWWWWWK", "WLLLLLLDKWLLLLLLDK", "WLLLLLLDKWLWLWLWDK", "WLLLLLLDKWLLWLWLDK",
    "WLLLLLLDKWLWLWLWDK", "WLLLLLLDKWLLWLWLDK", "WLLLLLLDKWLWLWLWDK", "WLLLLLLDKWLLWLWLDK",
    "WLLLLLLDKWLWLWLWDK", "WLLLLLLDKWLLWLWLDK", "WLLLLLLDKWLWLWLWDK", "WLLLLLLDKWLLWLWLDK",
    "WLLLLLLDKWLWLWLWDK", "MWLLLLDKMMWLWLWDKM", "MMWLLDKMMMMWLWDKMM", "MMMWDKMMMMMMWDKMMM",
    "MMMMKMMMMMMMMKMMMM"};
const char* const kHRuler[] = {"MMMMMMMMMM", "MMMMMMMMMM", "DDDDDDDDDW", "DKKKKKKKLW",
                               "DLLLLLLLLW", "WWWWWWWWWW", "MMMMMMMMMM", "MMMMMMMMMM"};
const char* const kVThumb[] = {
    "MKKKKKKKKKKKKKMMMMMMKKKKKKKKKKKKKMMMMM", "MWDDDDDDDDDDDDKMMMMMWDDDDDDDDDDDDKMMMM",
    "MWLLLLLLLLLLLLDKMMMMWLWLWLWLWLWLWDKMMM", "MWLLLLLLLLLLLLLDKMMMWLLWLWLWLWLWLWDKMM",
    "MWLLLLLLLLLLLLLLDKMMWLWLWLWLWLWLWLWDKM", "MWLLLLLLLLLLLLLLWMMMWLLWLWLWLWLWLWLWMM",
    "MWLLLLLLLLLLLLLWMMMMWLWLWLWLWLWLWLWMMM", "MWLLLLLLLLLLLLWMMMMMWLLLLLLLLLLLLWMMMM",
    "MWWWWWWWWWWWWWMMMMMMWWWWWWWWWWWWWMMMMM"};
const char* const kVRuler[] = {"MMDDDWMM", "MMDKLWMM", "MMDKLWMM", "MMDKLWMM", "MMDKLWMM",
                               "MMDKLWMM", "MMDKLWMM", "MMDKLWMM", "MMDLLWMM", "MMWWWWMM"};

TColor PaletteColor(char c) {
  switch (c) {
    case 'M': return clFuchsia;
    case 'W': return clWhite;
    case 'L': return clSilver;
    case 'D': return clGray;
    default: return clBlack;
  }
}

template <std::size_t N>
void Paint(TBitmap* B, const char* const (&Rows)[N]) {
  const Integer w = Integer(std::strlen(Rows[0]));
  B->SetPixelFormat(pf24bit);
  B->SetSize(w, Integer(N));
  for (Integer y = 0; y < Integer(N); ++y) {
    auto* row = static_cast<std::uint8_t*>(B->ScanLine(y));
    for (Integer x = 0; x < w; ++x) {
      const TColor c = PaletteColor(Rows[y][x]);
      row[x * 3 + 0] = GetBValue(c);
      row[x * 3 + 1] = GetGValue(c);
      row[x * 3 + 2] = GetRValue(c);
    }
  }
  B->SetModified(true);
}

// Cursor pictures: '#' black outline, '.' white fill, anything else clear.
const char* const kHandCursor[] = {
    "     ##         ", "    #..#        ", "    #..#        ", "    #..#        ",
    "    #..###      ", "    #..#..###   ", "    #..#..#..## ", " ## #..#..#..#.#",
    "#..##........#.#", "#...#..........#", " #.............#", "  #............#",
    "  #...........# ", "   #..........# ", "    #........#  ", "    ##########  "};
const char* const kDragCursor[] = {
    "                ", "                ", "                ", "                ",
    "     ## ## ##   ", "    #..#..#..## ", "    #..#..#..#.#", " ## #........#.#",
    "#..##..........#", "#...#..........#", " #.............#", "  #............#",
    "  #...........# ", "   #..........# ", "    #........#  ", "    ##########  "};

TCursorImage MakeCursor(const char* const (&Rows)[16], Integer HotX, Integer HotY) {
  TCursorImage img;
  img.Width = 16;
  img.Height = 16;
  img.HotX = HotX;
  img.HotY = HotY;
  img.Pixels.reserve(256);
  for (const char* row : Rows)
    for (Integer x = 0; x < 16; ++x)
      img.Pixels.push_back(row[x] == '#' ? 0xFF000000u : row[x] == '.' ? 0xFFFFFFFFu : 0u);
  return img;
}

}  // namespace

void LoadSliderResource(TBitmap* Bitmap, const AnsiString& Name) {
  if (Name == "W95_HTB")
    Paint(Bitmap, kHThumb);
  else if (Name == "W95_HRL")
    Paint(Bitmap, kHRuler);
  else if (Name == "W95_VTB")
    Paint(Bitmap, kVThumb);
  else if (Name == "W95_VRL")
    Paint(Bitmap, kVRuler);
  else
    throw EInvalidGraphic(Format("Resource %s not found", Name));
}

void RegisterSliderCursors() {
  if (!Screen) return;
  Screen->SetCursors(crSliderHand, MakeCursor(kHandCursor, 5, 1));
  Screen->SetCursors(crSliderDrag, MakeCursor(kDragCursor, 8, 8));
}
