// Marks a stretch of code by holding a flag up, so that handlers reached during it (a widget's
// signals from a change the program makes, a field answering its partner, a second Cancel while
// the first waits) can tell and stay out.
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
