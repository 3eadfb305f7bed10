// The base of the engine's components.
#pragma once

#include "platform/rtl/classes.h"

class TFFBaseComponent : public TComponent {
 public:
  explicit TFFBaseComponent(TComponent* AOwner);

  AnsiString About;
  const AnsiString& Version() const { return FVersion; }
  // Milliseconds; the option model copies them into each task.
  Integer ReadTimeout = 30000;
  Integer WriteTimeout = 30000;

 private:
  AnsiString FVersion = "1.0";
};
