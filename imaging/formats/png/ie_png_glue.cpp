#include "imaging/formats/png/ie_png_glue.h"

#include <cstring>

namespace {

[[noreturn]] void Error(png_structp Png, png_const_charp Message) {
  auto* messages = static_cast<TIEPngMessages*>(png_get_error_ptr(Png));
  std::strncpy(messages->Message, Message ? Message : "PNG error", sizeof messages->Message - 1);
  png_longjmp(Png, 1);
}

void Warning(png_structp Png, png_const_charp) {
  auto* messages = static_cast<TIEPngMessages*>(png_get_error_ptr(Png));
  ++messages->Warnings;
}

}  // namespace

png_structp IEPngCreateRead(TIEPngMessages& Messages) {
  return png_create_read_struct(PNG_LIBPNG_VER_STRING, &Messages, Error, Warning);
}

png_structp IEPngCreateWrite(TIEPngMessages& Messages) {
  return png_create_write_struct(PNG_LIBPNG_VER_STRING, &Messages, Error, Warning);
}
