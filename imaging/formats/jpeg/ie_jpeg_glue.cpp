#include "imaging/formats/jpeg/ie_jpeg_glue.h"

#include <jerror.h>

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

// The warnings after which libjpeg goes on with made-up data: the rest of a scan (or of a
// restart interval) is filled in, so the image shown is not the one stored.
bool LosesPixels(int Code) {
  switch (Code) {
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
#if defined(C_ARITH_CODING_SUPPORTED) || defined(D_ARITH_CODING_SUPPORTED)
    case JWRN_ARITH_BAD_CODE:
#endif
    case JWRN_MUST_RESYNC:
    case JWRN_JPEG_EOF:
      return true;
    default:
      return false;
  }
}

void EmitMessage(j_common_ptr Info, int Level) {
  auto* err = reinterpret_cast<TIEJpegErrorManager*>(Info->err);
  if (Level < 0 && err->DamageCode == 0 && LosesPixels(Info->err->msg_code)) {
    err->DamageCode = Info->err->msg_code;
    (*Info->err->format_message)(Info, err->Damage);
  }
  err->StandardEmit(Info, Level);
}

}  // namespace

jpeg_error_mgr* IEJpegErrorManager(TIEJpegErrorManager& Err) {
  jpeg_std_error(&Err.Pub);
  Err.StandardEmit = Err.Pub.emit_message;
  Err.Pub.emit_message = EmitMessage;
  Err.Pub.error_exit = ErrorExit;
  Err.Pub.output_message = OutputMessage;
  return &Err.Pub;
}
