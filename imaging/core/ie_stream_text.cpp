#include "imaging/core/ie_stream_text.h"

#include "platform/rtl/exceptions.h"

void IESaveStringToStream(TStream* Stream, const AnsiString& S) {
  Integer len = static_cast<Integer>(S.size());
  Byte le[4] = {Byte(len), Byte(len >> 8), Byte(len >> 16), Byte(len >> 24)};
  Stream->WriteBuffer(le, 4);
  if (len > 0) Stream->WriteBuffer(S.data(), len);
}

void IELoadStringFromStream(TStream* Stream, AnsiString& S) {
  Byte le[4];
  Stream->ReadBuffer(le, 4);
  Integer len = static_cast<Integer>(DWORD(le[0]) | DWORD(le[1]) << 8 | DWORD(le[2]) << 16 | DWORD(le[3]) << 24);
  if (len < 0 || len > Stream->Size() - Stream->Position()) throw EReadError("Stream read error");
  AnsiString text(static_cast<size_t>(len), '\0');
  if (len > 0) Stream->ReadBuffer(text.data(), len);
  S = std::move(text);
}

void IEStreamWriteCRLFLine(TStream* Stream, const AnsiString& Text) {
  if (!Text.empty()) Stream->WriteBuffer(Text.data(), static_cast<Int64>(Text.size()));
  Stream->WriteBuffer("\r\n", 2);
}
