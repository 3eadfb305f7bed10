#include "platform/gui/unit_startup.h"

#include <vector>

namespace {

// Function-local statics: units register during static initialisation, in no fixed order.
std::vector<void (*)()>& Routines() {
  static std::vector<void (*)()> List;
  return List;
}

bool& StartupDone() {
  static bool Done = false;
  return Done;
}

}  // namespace

bool RegisterStartupRoutine(void (*Routine)()) {
  if (!Routine) return true;
  if (StartupDone())
    Routine();
  else
    Routines().push_back(Routine);
  return true;
}

void RunStartupRoutines() {
  if (StartupDone()) return;
  StartupDone() = true;
  std::vector<void (*)()> List;
  List.swap(Routines());
  for (auto* Routine : List) Routine();
}
