// The framework's exception classes. Every failure that carries a text for the user is an
// Exception; EAbort leaves an operation silently.
#pragma once

#include <exception>

#include "platform/rtl/types.h"

class Exception : public std::exception {
 public:
  explicit Exception(AnsiString message) : Message(std::move(message)) {}
  ~Exception() override = default;
  const char* what() const noexcept override { return Message.c_str(); }

  AnsiString Message;
};

// Silent abort: handlers that show exceptions to the user skip this one.
class EAbort : public Exception { using Exception::Exception; };

class EConvertError : public Exception { using Exception::Exception; };
class EOutOfMemory : public Exception { using Exception::Exception; };
class EInvalidOperation : public Exception { using Exception::Exception; };
class EInvalidPointer : public Exception { using Exception::Exception; };
class EInvalidGraphic : public Exception { using Exception::Exception; };
class EInvalidGraphicOperation : public Exception { using Exception::Exception; };
class EListError : public Exception { using Exception::Exception; };
class EStringListError : public Exception { using Exception::Exception; };
class EComponentError : public Exception { using Exception::Exception; };
class EThread : public Exception { using Exception::Exception; };
class ERangeError : public Exception { using Exception::Exception; };
class EIntOverflow : public Exception { using Exception::Exception; };
class EZeroDivide : public Exception { using Exception::Exception; };
class ENotSupportedException : public Exception { using Exception::Exception; };

class EStreamError : public Exception { using Exception::Exception; };
class EFileStreamError : public EStreamError { using EStreamError::EStreamError; };
class EFOpenError : public EFileStreamError { using EFileStreamError::EFileStreamError; };
class EFCreateError : public EFileStreamError { using EFileStreamError::EFileStreamError; };
class EFilerError : public EStreamError { using EStreamError::EStreamError; };
class EReadError : public EFilerError { using EFilerError::EFilerError; };
class EWriteError : public EFilerError { using EFilerError::EFilerError; };

// An operating-system call failed; ErrorCode is the errno value.
class EOSError : public Exception {
 public:
  EOSError(AnsiString message, int errorCode) : Exception(std::move(message)), ErrorCode(errorCode) {}
  int ErrorCode;
};

// A file input-output routine failed; ErrorCode is the errno value.
class EInOutError : public Exception {
 public:
  EInOutError(AnsiString message, int errorCode = 0) : Exception(std::move(message)), ErrorCode(errorCode) {}
  int ErrorCode;
};

// Raises EAbort.
[[noreturn]] void Abort();
// The system's text for an errno value ("No such file or directory").
AnsiString SysErrorMessage(int errorCode);
// Raises EOSError for the current errno ("System Error.  Code: %d.\n%s").
[[noreturn]] void RaiseLastOSError();
