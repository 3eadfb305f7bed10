// For platform/gui code only: the Qt timer behind a TTimer.
#pragma once

#include <QObject>
#include <QTimer>

class TTimer;

namespace clvqt {

class TimerBridge : public QObject {
  Q_OBJECT
 public:
  explicit TimerBridge(TTimer* Owner);
  void Restart(int IntervalMs);
  void Stop();

 private:
  TTimer* FOwner;
  QTimer FTimer;
};

}  // namespace clvqt
