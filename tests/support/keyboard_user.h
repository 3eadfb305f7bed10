// A user at the keyboard for modal-window tests: presses the given keys, one per tick, on
// whatever modal window is on top, and writes down each window it saw. Whatever is still open
// after the keys is dismissed, so that a fault fails the test instead of holding it.
#pragma once

#include <utility>
#include <vector>

#include "platform/gui/input_simulation.h"
#include "platform/gui/timers.h"

class TKeyboardUser {
 public:
  explicit TKeyboardUser(std::vector<Word> Keys) : FKeys(std::move(Keys)), FTimer(nullptr) {
    FTimer.SetInterval(5);
    FTimer.OnTimer = [this](TObject*) { Tick(); };
  }
  // "caption: text" of each window a key went to, and the texts alone.
  std::vector<AnsiString> Seen;
  std::vector<AnsiString> SeenTexts;

 private:
  void Tick() {
    if (FNext >= FKeys.size()) {
      if (++FIdle > 20) {
        FTimer.SetEnabled(false);
        DismissModalWindows();
      }
      return;
    }
    if (OpenModalWindows() == 0) return;
    Seen.push_back(TopWindowCaption() + ": " + TopWindowText());
    SeenTexts.push_back(TopWindowText());
    SimulateKeyToTopWindow(FKeys[FNext++]);
  }
  std::vector<Word> FKeys;
  size_t FNext = 0;
  int FIdle = 0;
  TTimer FTimer;
};
