#include "platform/rtl/exceptions.h"

#include <cerrno>
#include <cstring>

void Abort() { throw EAbort("Operation aborted"); }

AnsiString SysErrorMessage(int errorCode) {
  char buf[256];
  // GNU strerror_r may return a static string instead of filling buf.
  const char* text = strerror_r(errorCode, buf, sizeof buf);
  return text ? AnsiString(text) : AnsiString();
}

void RaiseLastOSError() {
  const int code = errno;
  throw EOSError("System Error.  Code: " + std::to_string(code) + ".\n" + SysErrorMessage(code), code);
}
