// The media engine's exception class.
#pragma once

#include "platform/rtl/exceptions.h"

class FFmpegException : public Exception {
 public:
  using Exception::Exception;
};

// A programming error inside the engine (a broken invariant, a call in an impossible state).
class EEngineAssertion : public Exception {
 public:
  using Exception::Exception;
};

inline void EngineAssert(bool condition, const char* text) {
  if (!condition) throw EEngineAssertion(text);
}
