// The boundary between OpenJPEG and our code. OpenJPEG reports errors through message
// callbacks and failed calls (no longjmp), and calls back into us for stream data: those
// callbacks catch every exception, since none may unwind through OpenJPEG's C frames, and turn
// it into OpenJPEG's own failure value. After a failed call the guard raises EIEOpenJpegError
// with the library's last error message (or the stream's exception text).
//
//   TIEOpenJpegMessages msg;
//   opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_JP2);
//   IEOpenJpegMessagesTo(codec, msg);
//   TIEOpenJpegStream in(Stream, true);
//   IEOpenJpegCheck(opj_read_header(in.Handle(), codec, &image), msg, in);
#pragma once

#include <openjpeg.h>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/streams.h"

class EIEOpenJpegError : public Exception { using Exception::Exception; };

struct TIEOpenJpegMessages {
  AnsiString LastError;
  int Warnings = 0;
};

// Routes the codec's error, warning and information messages into Messages.
void IEOpenJpegMessagesTo(opj_codec_t* Codec, TIEOpenJpegMessages& Messages);

// An OpenJPEG stream reading from (Input true) or writing to a TStream from its current
// position; offsets OpenJPEG asks for are relative to that position.
class TIEOpenJpegStream {
 public:
  TIEOpenJpegStream(TStream* Stream, bool Input);
  ~TIEOpenJpegStream();
  TIEOpenJpegStream(const TIEOpenJpegStream&) = delete;
  TIEOpenJpegStream& operator=(const TIEOpenJpegStream&) = delete;
  opj_stream_t* Handle() const { return FHandle; }
  // The message of an exception the TStream raised inside a callback; empty when none did.
  const AnsiString& StreamError() const { return FStreamError; }

 private:
  static OPJ_SIZE_T Read(void* Buffer, OPJ_SIZE_T Bytes, void* Data);
  static OPJ_SIZE_T Write(void* Buffer, OPJ_SIZE_T Bytes, void* Data);
  static OPJ_OFF_T Skip(OPJ_OFF_T Bytes, void* Data);
  static OPJ_BOOL Seek(OPJ_OFF_T Position, void* Data);
  TStream* FStream;
  Int64 FStart;
  opj_stream_t* FHandle = nullptr;
  AnsiString FStreamError;
};

// Raises EIEOpenJpegError when Ok is false: the stream's exception text when there was one,
// else OpenJPEG's last error, else What.
void IEOpenJpegCheck(OPJ_BOOL Ok, const TIEOpenJpegMessages& Messages, const TIEOpenJpegStream& Stream,
                     const char* What = "JPEG 2000 data is not valid");
