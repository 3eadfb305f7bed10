// The resampling engines: every routine scales Source into Dest, whose size the caller has set
// (at least 1 x 1). Which engine runs depends on the filter and the source's pixel format.
#pragma once

#include <functional>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_types.h"
#include "platform/rtl/exceptions.h"

// Raised when the 8-bit grey path meets a buffer that is not a TIEBitmap.
class EInvalidCast : public Exception {
  using Exception::Exception;
};

using TIEProgressEvent = std::function<void(TObject* Sender, Integer Percent)>;

// 24-bit (kernel, fast linear, area, projection), 8-bit grey, 16-bit grey and 48-bit (area only)
// sources; other formats and unsupported combinations leave Dest unchanged.
void IEResampleFiltered(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TResampleFilter Filter,
                        const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// One 8-bit channel (grey images and alpha channels) into another.
void IEResampleGray8(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TResampleFilter Filter);
// A 1-bit source: projections give ie1g, every other filter an ie24RGB grey image.
void IEResampleBW(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TResampleFilter Filter);
// The inclusive rectangle X1..X2 x Y1..Y2 of a 1-bit Source reduced into the whole ie24RGB Dest.
void IEShrinkBWRect(TIEBaseBitmap* Source, Integer X1, Integer Y1, Integer X2, Integer Y2, TIEBaseBitmap* Dest);

// Area-weighted means with bilinear (Mode 0) or bicubic (Mode 1) sampling where an axis grows.
void IEResampleArea8(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, Integer Mode, const TIEProgressEvent& OnProgress,
                     TObject* Sender);
void IEResampleArea16(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, Integer Mode, const TIEProgressEvent& OnProgress,
                      TObject* Sender);
double IECubicInterpolate(Integer P0, Integer P1, Integer P2, double T, Integer P3, double Min, double Max);

// 17-bit fixed-point interpolation when growing, box means when shrinking.
void IEResampleFastLinear24(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TObject* Sender,
                            const TIEProgressEvent& OnProgress);
void IEResampleFastLinearGray8(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TObject* Sender,
                               const TIEProgressEvent& OnProgress);
void IEResampleFastLinearBW(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TObject* Sender,
                            const TIEProgressEvent& OnProgress);
// Projection onto ie1g that keeps one-pixel lines: black on white, or white on black.
TIEBaseBitmap* IEProjectBW(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, bool WhiteOnBlack, TObject* Sender,
                           const TIEProgressEvent& OnProgress);
TIEBaseBitmap* IEProjectRGBToBW(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, bool WhiteOnBlack, TObject* Sender,
                                const TIEProgressEvent& OnProgress);

// Reports a percentage only when it differs from the last one, never above 100.
class TIEProgressReporter {
 public:
  TIEProgressReporter(const TIEProgressEvent& Event, TObject* Sender) : Event(Event), Sender(Sender) {}
  void Report(Integer Percent, bool OnlyChanges);

 private:
  const TIEProgressEvent& Event;
  TObject* Sender;
  Integer Last = -1;
};
