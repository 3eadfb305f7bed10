#include "platform/gui/timers.h"

#include <limits>

#include "platform/gui/application.h"
#include "platform/gui/qt_timer_bridge.h"

namespace clvqt {

TimerBridge::TimerBridge(TTimer* Owner) : FOwner(Owner) {
  // Short intervals are the program's way of running the next step "right after" this one;
  // a coarse timer would stretch a chain of them.
  FTimer.setTimerType(Qt::PreciseTimer);
  connect(&FTimer, &QTimer::timeout, this, [this] { GuardedCall(FOwner, [this] { FOwner->Timer(); }); });
}

void TimerBridge::Restart(int IntervalMs) {
  FTimer.start(IntervalMs);
}

void TimerBridge::Stop() { FTimer.stop(); }

}  // namespace clvqt

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner), FBridge(new clvqt::TimerBridge(this)) {
  UpdateTimer();
}

TTimer::~TTimer() {
  delete FBridge;
  FBridge = nullptr;
}

void TTimer::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  UpdateTimer();
}

void TTimer::SetInterval(Cardinal Value) {
  if (Value == FInterval) return;
  FInterval = Value;
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (!FBridge) return;
  FBridge->Stop();
  if (FEnabled && FInterval > 0) {
    int Ms = FInterval > Cardinal(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                                     : int(FInterval);
    FBridge->Restart(Ms);
  }
}

void TTimer::Timer() {
  if (FEnabled && OnTimer) OnTimer(this);
}
