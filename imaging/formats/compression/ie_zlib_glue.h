// The boundary between zlib and our code. zlib reports errors by result codes (no callbacks,
// no longjmp); every call whose result matters goes through a check that raises the side's
// exception with zlib's text for the code. Used by the Deflate streams here, and by the PNG and
// TIFF codecs and the layer and vector files through them.
#pragma once

#include <zlib.h>

#include "platform/rtl/exceptions.h"

class EZLibError : public Exception { using Exception::Exception; };
class EZCompressionError : public EZLibError { using EZLibError::EZLibError; };
class EZDecompressionError : public EZLibError { using EZLibError::EZLibError; };

// zlib's text for a negative result: "file error", "stream error", "data error",
// "insufficient memory", "buffer error", "incompatible version".
const char* IEZlibErrorText(int Code);

// Code when it is 0 or above; otherwise raises EZCompressionError with the code's text.
int IEZCompressCheck(int Code);
// Code when it is 0 or above; otherwise raises EZDecompressionError with the code's text.
int IEZDecompressCheck(int Code);
