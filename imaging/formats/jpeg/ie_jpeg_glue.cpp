#include "imaging/formats/jpeg/ie_jpeg_glue.h"

namespace {

// libjpeg's errors end here; the structure's err field points at TIEJpegErrorManager::Pub,
// the first member, so the manager is recovered by a cast.
[[noreturn]] void ErrorExit(j_common_ptr Info) {
  auto* err = reinterpret_cast<TIEJpegErrorManager*>(Info->err);
  err->MessageCode = Info->err->msg_code;
  (*Info->err->format_message)(Info, err->Message);
  std::longjmp(err->Jump, 1);
}

// Warnings (corrupt data that libjpeg skips) go nowhere near stderr; they are only counted.
void OutputMessage(j_common_ptr Info) {
  auto* err = reinterpret_cast<TIEJpegErrorManager*>(Info->err);
  ++err->Warnings;
}

}  // namespace

jpeg_error_mgr* IEJpegErrorManager(TIEJpegErrorManager& Err) {
  jpeg_std_error(&Err.Pub);
  Err.Pub.error_exit = ErrorExit;
  Err.Pub.output_message = OutputMessage;
  return &Err.Pub;
}
