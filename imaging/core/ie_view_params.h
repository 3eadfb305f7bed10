// How the image view scrolls and zooms: one scroll-bar holder per direction and one for the
// mouse wheel. The view reads them at each scroll or wheel notch.
#pragma once

#include "imaging/core/ie_types.h"
#include "platform/rtl/classes.h"

class TIEScrollBarParams : public TObject {
 public:
  // -1: one line (or one visible page); any other value: that many lines.
  Integer LineStepFactor = -1;
  Integer PageStepFactor = -1;
  bool TrackThumb = true;
};

class TIEMouseWheelParams : public TObject {
 public:
  enum : Byte { waNone = 0, waScroll = 1, waZoom = 2 };
  enum : Byte { skAbsolute = 0, skPercent = 1 };
  bool Reverse = false;
  Byte WheelAction = waZoom;
  Byte StepKind = skPercent;
  Integer StepValue = 8;
  bool ZoomAtCursor = false;
};
