// TTimer: fires OnTimer every Interval milliseconds while Enabled, on the main thread, in
// whichever loop is running (the main loop, a modal form, a dialog, ProcessMessages).
// Switching the timer on, or changing Interval, starts the interval over; a handler that
// switches its own timer off first runs once per enabling (the program's one-shot steps).
#pragma once

#include "platform/rtl/classes.h"

namespace clvqt {
class TimerBridge;
}

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  Cardinal Interval() const { return FInterval; }
  void SetInterval(Cardinal Value);

  TNotifyEvent OnTimer;

 protected:
  virtual void Timer();

 private:
  friend class clvqt::TimerBridge;
  void UpdateTimer();

  bool FEnabled = true;
  Cardinal FInterval = 1000;
  clvqt::TimerBridge* FBridge = nullptr;
};
