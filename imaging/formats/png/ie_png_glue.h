// The boundary between libpng and our code. libpng reports a fatal error through its error
// callback, which must not return; ours records the message and longjmps to png_jmpbuf, set by
// the guard below, which then throws EIEPngError outside every libpng frame. Warnings are
// counted, never printed.
//
//   TIEPngMessages msg;
//   png_structp png = IEPngCreateRead(msg);           // nil when libpng cannot start
//   png_infop info = png_create_info_struct(png);
//   IEPngCall(png, msg, [&] { png_read_info(png, info); ... });
//   png_destroy_read_struct(&png, &info, nullptr);   // also after an exception
//
// No object with a destructor may live inside the called lambda (the longjmp skips
// destructors): keep buffers and strings in the caller.
#pragma once

#include <csetjmp>

#include <png.h>

#include "platform/rtl/exceptions.h"

class EIEPngError : public Exception { using Exception::Exception; };

struct TIEPngMessages {
  char Message[256] = {};
  int Warnings = 0;
};

// Read and write structures whose error and warning callbacks report into Messages.
png_structp IEPngCreateRead(TIEPngMessages& Messages);
png_structp IEPngCreateWrite(TIEPngMessages& Messages);

// Runs Body; a libpng error inside it ends it and raises EIEPngError with libpng's message.
template <class F>
void IEPngCall(png_structp Png, TIEPngMessages& Messages, F&& Body) {
  if (setjmp(png_jmpbuf(Png)) != 0) throw EIEPngError(Messages.Message);
  Body();
}
