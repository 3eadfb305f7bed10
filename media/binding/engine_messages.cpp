// The engine's waits that pump the main thread (declared in engine_utils.h). Apart from the other
// helpers because they reach the application object: a program that only decodes (a preview)
// then links none of the window classes.
#include "media/binding/engine_utils.h"
#include "platform/gui/application.h"
#include "platform/rtl/mainthread.h"
#include "platform/rtl/sync.h"

void ProcessMessages() {
  if (Application) {
    Application->ProcessMessages();
  } else if (IsMainThread()) {
    CheckSynchronize();
  }
}

bool ProcessMessage() {
  if (!IsMainThread()) return false;
  if (Application) return Application->ProcessMessage();
  return CheckSynchronize();
}
