// Windows metafiles (WMF, with or without the placeable header) and enhanced metafiles (EMF):
// the content probes of format detection and the size an import draws them at.
#pragma once

#include "platform/rtl/streams.h"

// A memory metafile header (type 1, nine 16-bit words, no parameters), after a placeable
// header when the stream starts with one. The position is left where it was.
bool IsWMF(TStream* Stream);
// An enhanced metafile header record: type 1 and the signature " EMF" at offset 40. The
// position is left where it was.
bool IsEMF(TStream* Stream);

// The size a picture of PictureWidth x PictureHeight is drawn at for the asked Width and
// Height: a negative side follows the other in the picture's proportions, both negative give
// the picture's own size. Sides beyond MaxSide are brought down to it, keeping the proportions
// (each side at least 1). False, with a zero side, when no image can come of it: a picture
// without width or height, or an asked side of 0.
bool IEMetafileImportSize(Integer PictureWidth, Integer PictureHeight, Integer& Width, Integer& Height,
                          Integer MaxSide);
