// Value types shared by every image buffer of the imaging library: pixel formats, storage
// locations and the colour records whose byte layout readers and writers depend on.
#pragma once

#include <cstdint>

#include "platform/rtl/types.h"

enum TIEPixelFormat : Byte {
  ieNull = 0,
  ie1g = 1,
  ie8p = 2,
  ie8g = 3,
  ie16g = 4,
  ie24RGB = 5,
  ie32f = 6,
  ieCMYK = 7,
  ieRGB48 = 8,
  ieCIELab = 9,
  ie32RGB = 10,
};
constexpr int IEPixelFormatCount = 11;

enum TIELocation : Byte {
  ieMemory = 0,
  ieFile = 1,
  ieTBitmap = 2,
};

// Mode in which a file-backed row is mapped: read it from the file when mapping, write it back
// when releasing.
using TIEDataAccess = Byte;
constexpr TIEDataAccess iedRead = 1;
constexpr TIEDataAccess iedWrite = 2;

// How an image is scaled: rfNone picks the nearest pixel; the others are filters of the
// resampling engines.
enum TResampleFilter : Byte {
  rfNone, rfTriangle, rfHermite, rfBell, rfBSpline, rfLanczos3, rfMitchell, rfNearest, rfLinear, rfFastLinear,
  rfBilinear, rfBicubic, rfProjectBW, rfProjectWB
};

// A blend operation: 0 copies the source, 1..37 combine it with the destination.
using TIEBlendOp = Integer;

#pragma pack(push, 1)
// Memory order blue, green, red: the byte layout of 24-bit pixels and palette entries.
struct TRGB {
  Byte b;
  Byte g;
  Byte r;
  bool operator==(const TRGB&) const = default;
};
// Memory order red, green, blue (unlike TRGB).
struct TRGB48 {
  Word r;
  Word g;
  Word b;
  bool operator==(const TRGB48&) const = default;
};
// L* x 2.5 unsigned; a* and b* signed.
struct TCIELab {
  Byte l;
  std::int8_t a;
  std::int8_t b;
  bool operator==(const TCIELab&) const = default;
};
#pragma pack(pop)

static_assert(sizeof(TRGB) == 3 && sizeof(TRGB48) == 6 && sizeof(TCIELab) == 3);
