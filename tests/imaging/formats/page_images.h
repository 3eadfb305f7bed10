// Images for the page-description writers' tests (PostScript, PDF): a colour picture with hard
// edges and smooth ramps, and a black-and-white one with lines one pixel wide, so that a page
// drawn shifted, flipped, with channels swapped or with rows cut short shows it.
#pragma once

#include <string>

#include "imaging/core/ie_bitmap.h"

namespace ietest {

inline void MakeColourImage(TIEBitmap& B, Integer W, Integer H) {
  B.Allocate(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y) {
    Byte* Row = static_cast<Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < W; ++x) {
      Byte* p = Row + 3 * x;
      p[2] = Byte(x * 255 / (W > 1 ? W - 1 : 1));                  // red: left to right
      p[1] = Byte(y * 255 / (H > 1 ? H - 1 : 1));                  // green: top to bottom
      p[0] = Byte(((x / 4 + y / 3) % 2) ? 230 : 20);               // blue: a checker
      if (x == y % W) p[0] = p[1] = p[2] = 255;                    // a white diagonal
    }
  }
}

inline void MakeMonoImage(TIEBitmap& B, Integer W, Integer H) {
  B.Allocate(W, H, ie1g);
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) {
      const bool White = ((x * 7 + y * 3) % 11 < 6) || x == 0 || y == H - 1;
      Byte* Row = static_cast<Byte*>(B.GetScanline(y));
      if (White) Row[x / 8] |= Byte(0x80 >> (x % 8));
      else Row[x / 8] &= Byte(~(0x80 >> (x % 8)));
    }
}

}  // namespace ietest
