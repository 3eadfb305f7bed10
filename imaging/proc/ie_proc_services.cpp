#include "imaging/proc/ie_proc_services.h"

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_processing_services.h"
#include "imaging/core/ie_startup.h"
#include "imaging/proc/ie_blur.h"
#include "imaging/proc/ie_filter_presets.h"
#include "imaging/proc/resample/ie_resample.h"

namespace {

void ResampleFiltered(TIEBitmap* Source, TIEBaseBitmap* Dest, TResampleFilter Filter) {
  IEResampleFiltered(Source, Dest, Filter);
}
void ResampleBW(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) { IEResampleBW(Source, Dest, Filter); }
void ResampleGray8(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) {
  IEResampleGray8(Source, Dest, Filter);
}
// The core passes the far corner row first.
void ShrinkBWRect(TIEBitmap* Source, Integer X1, Integer Y1, TIEBitmap* Dest, Integer Y2, Integer X2) {
  IEShrinkBWRect(Source, X1, Y1, X2, Y2, Dest);
}

}  // namespace

void IERegisterProcessingServices() {
  IEProcessingServices.ResampleFiltered = ResampleFiltered;
  IEProcessingServices.ResampleBW = ResampleBW;
  IEProcessingServices.ResampleGray8 = ResampleGray8;
  IEProcessingServices.ShrinkBWRect = ShrinkBWRect;
  IEProcessingServices.BlurGrayRect = IEBlurGrayRect;
  IERegisterStartupStep(iessProcessing, IEInitZodivErProc, IEFinalZodivErProc);
}
