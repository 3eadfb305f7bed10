#include "imaging/formats/compression/ie_zlib_glue.h"

const char* IEZlibErrorText(int Code) {
  switch (Code) {
    case Z_ERRNO: return "file error";
    case Z_STREAM_ERROR: return "stream error";
    case Z_DATA_ERROR: return "data error";
    case Z_MEM_ERROR: return "insufficient memory";
    case Z_BUF_ERROR: return "buffer error";
    case Z_VERSION_ERROR: return "incompatible version";
    default: return "zlib error";
  }
}

int IEZCompressCheck(int Code) {
  if (Code < 0) throw EZCompressionError(IEZlibErrorText(Code));
  return Code;
}

int IEZDecompressCheck(int Code) {
  if (Code < 0) throw EZDecompressionError(IEZlibErrorText(Code));
  return Code;
}
