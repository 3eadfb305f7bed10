// The boundary between libjpeg and our code. libjpeg reports a fatal error by calling its error
// manager's error_exit, which must not return; an exception thrown through libjpeg's C frames
// would be undefined, so error_exit longjmps back to the guard below, and the guard, outside
// every libjpeg frame, throws EIEJpegError with libjpeg's own message. Warnings are counted, and
// the first one that means decoded pixels were lost (a scan cut short, a bad entropy code) is
// kept with its text, so a reader can report the image as damaged.
//
//   TIEJpegErrorManager err;
//   jpeg_decompress_struct info{};
//   info.err = IEJpegErrorManager(err);
//   IEJpegCall(err, [&] { jpeg_create_decompress(&info); });
//   IEJpegCall(err, [&] { jpeg_read_header(&info, TRUE); ... });
//
// No object with a destructor may live inside the called lambda (the longjmp skips
// destructors): keep std::vector, strings and streams in the caller, outside the lambda.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "platform/rtl/exceptions.h"

class EIEJpegError : public Exception {
 public:
  EIEJpegError(const AnsiString& Message, int Code) : Exception(Message), MessageCode(Code) {}
  int MessageCode;  // libjpeg's message number (e.g. JERR_INPUT_EMPTY)
};

struct TIEJpegErrorManager {
  jpeg_error_mgr Pub{};
  std::jmp_buf Jump{};
  char Message[JMSG_LENGTH_MAX] = {};
  int MessageCode = 0;
  int Warnings = 0;
  int DamageCode = 0;                      // 0: no pixel was lost
  char Damage[JMSG_LENGTH_MAX] = {};       // libjpeg's text of that warning
  void (*StandardEmit)(j_common_ptr, int) = nullptr;
};

// Fills Err's libjpeg part with the standard routines and our error_exit and output_message;
// returns the pointer to store in the compress or decompress structure's err field.
jpeg_error_mgr* IEJpegErrorManager(TIEJpegErrorManager& Err);

// Runs Body; a libjpeg error inside it ends it and raises EIEJpegError.
template <class F>
void IEJpegCall(TIEJpegErrorManager& Err, F&& Body) {
  if (setjmp(Err.Jump) != 0) throw EIEJpegError(Err.Message, Err.MessageCode);
  Body();
}
