// For platform/gui code only: marks a stretch of code, such as a change the program makes to a
// widget, so that the widget's signals during it can be told from the user's doing.
#pragma once

// Sets Flag for the guard's lifetime, also when an exception leaves the scope, and puts back the
// value it had (so guards nest).
class FlagGuard {
 public:
  explicit FlagGuard(bool& Flag) : FFlag(Flag), FOld(Flag) { FFlag = true; }
  ~FlagGuard() { FFlag = FOld; }
  FlagGuard(const FlagGuard&) = delete;
  FlagGuard& operator=(const FlagGuard&) = delete;

 private:
  bool& FFlag;
  bool FOld;
};
