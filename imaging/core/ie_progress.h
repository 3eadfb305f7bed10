// The progress record every codec and long image operation receives by reference: where to
// report a percentage, the step counter, the caller's abort flag and, beside it, the text that
// says why an operation was refused. The record is built on the caller's stack for one call.
// The codec kit (imaging/formats/codec.h) adds the row stepper and the size gate on top.
#pragma once

#include <atomic>
#include <functional>

#include "platform/rtl/classes.h"
#include "platform/rtl/types.h"

// procedure(Sender; per): the percentage reached.
using TIEProgressEvent = std::function<void(TObject* Sender, Integer per)>;

struct TIECodecProgress {
  TIEProgressEvent OnProgress;  // may be empty: nothing is reported
  TObject* Sender = nullptr;    // handed back unchanged in every report
  Integer Val = 0;              // the step counter, the codec's own
  double Per = 0;               // percent per step, the codec's own
  // The caller's abort flag: set by the caller to cancel (from any thread), set by the codec to
  // report a damaged, truncated, refused or unsupported input. Nil: the caller cannot cancel and
  // a failure is only seen in FailureReason.
  std::atomic<bool>* Aborting = nullptr;
  // Where a refused input says why ("width 70000 is above the limit of 65536 pixels"); nil when
  // the caller does not want the text. The first reason given is kept.
  AnsiString* FailureReason = nullptr;
};

// True once the caller's flag is set.
inline bool IEAborting(const TIECodecProgress& Progress) {
  return Progress.Aborting && Progress.Aborting->load(std::memory_order_relaxed);
}

// Marks the operation as failed with a reason: sets the abort flag and keeps Reason unless an
// earlier reason is already there.
inline void IEFail(TIECodecProgress& Progress, const AnsiString& Reason) {
  if (Progress.FailureReason && Progress.FailureReason->empty()) *Progress.FailureReason = Reason;
  if (Progress.Aborting) Progress.Aborting->store(true, std::memory_order_relaxed);
}
