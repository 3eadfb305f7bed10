// Images for the page-description writers' tests (PostScript, PDF): a colour picture with hard
// edges and smooth ramps, and a black-and-white one with lines one pixel wide, so that a page
// drawn shifted, flipped, with channels swapped or with rows cut short shows it.
#pragma once

#include <string>

#include "imaging/core/ie_bitmap.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "tests/imaging/formats/codec_test_util.h"

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

// Largest channel difference between two images of the same size; a grey image is compared
// with each channel of the other.
inline Integer MaxDifference(const TPam& A, const TPam& B) {
  EXPECT_EQ(A.Width, B.Width);
  EXPECT_EQ(A.Height, B.Height);
  if (A.Width != B.Width || A.Height != B.Height) return 9999;
  Integer worst = 0;
  for (Integer y = 0; y < A.Height; ++y)
    for (Integer x = 0; x < A.Width; ++x)
      for (Integer k = 0; k < 3; ++k)
        worst = std::max(worst, std::abs(A.At8(x, y, A.Depth < 3 ? 0 : k) - B.At8(x, y, B.Depth < 3 ? 0 : k)));
  return worst;
}

// The image as a JPEG of that quality and colour space decodes with libjpeg's djpeg.
inline TPam JpegAsDecoded(TIEBitmap& B, Integer Quality, Byte ColorSpace = 2) {
  TIOParamsVals p(nullptr);
  p.JpegQuality = Quality;
  p.JpegColorSpace = ColorSpace;
  TProgressProbe probe;
  TMemoryStream m;
  WriteJPEGStream(&m, &B, p, probe.Progress);
  EXPECT_FALSE(probe.Failed()) << probe.Reason;
  const std::string dir = testsupport::MakeTempDir("psjpeg");
  WriteFileBytes(dir + "/page.jpg", StreamBytes(m));
  TPam pam = PamFromCommand("djpeg -pnm " + testsupport::ShellQuote(dir + "/page.jpg"));
  testsupport::RemoveTree(dir);
  return pam;
}

}  // namespace ietest
