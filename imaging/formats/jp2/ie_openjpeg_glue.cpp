#include "imaging/formats/jp2/ie_openjpeg_glue.h"

#include <string>

namespace {

void OnError(const char* Message, void* Data) {
  auto* m = static_cast<TIEOpenJpegMessages*>(Data);
  try {
    m->LastError = Message ? Message : "";
    while (!m->LastError.empty() && (m->LastError.back() == '\n' || m->LastError.back() == ' ')) m->LastError.pop_back();
  } catch (...) {
  }
}
void OnWarning(const char*, void* Data) { ++static_cast<TIEOpenJpegMessages*>(Data)->Warnings; }
void OnInfo(const char*, void*) {}

}  // namespace

void IEOpenJpegMessagesTo(opj_codec_t* Codec, TIEOpenJpegMessages& Messages) {
  opj_set_error_handler(Codec, OnError, &Messages);
  opj_set_warning_handler(Codec, OnWarning, &Messages);
  opj_set_info_handler(Codec, OnInfo, &Messages);
}

TIEOpenJpegStream::TIEOpenJpegStream(TStream* Stream, bool Input) : FStream(Stream), FStart(Stream->Position()) {
  FHandle = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, Input ? OPJ_TRUE : OPJ_FALSE);
  if (!FHandle) throw EOutOfMemory("Out of memory");
  opj_stream_set_user_data(FHandle, this, nullptr);
  if (Input) {
    const Int64 size = Stream->Size() - FStart;
    opj_stream_set_user_data_length(FHandle, static_cast<OPJ_UINT64>(size > 0 ? size : 0));
    opj_stream_set_read_function(FHandle, Read);
  } else {
    opj_stream_set_write_function(FHandle, Write);
  }
  opj_stream_set_skip_function(FHandle, Skip);
  opj_stream_set_seek_function(FHandle, Seek);
}

TIEOpenJpegStream::~TIEOpenJpegStream() { opj_stream_destroy(FHandle); }

OPJ_SIZE_T TIEOpenJpegStream::Read(void* Buffer, OPJ_SIZE_T Bytes, void* Data) {
  auto* self = static_cast<TIEOpenJpegStream*>(Data);
  try {
    const Integer want = Bytes > 0x40000000 ? 0x40000000 : static_cast<Integer>(Bytes);
    const Integer n = self->FStream->Read(Buffer, want);
    return n > 0 ? static_cast<OPJ_SIZE_T>(n) : static_cast<OPJ_SIZE_T>(-1);
  } catch (const Exception& e) {
    self->FStreamError = e.Message;
  } catch (...) {
    self->FStreamError = "stream read error";
  }
  return static_cast<OPJ_SIZE_T>(-1);
}

OPJ_SIZE_T TIEOpenJpegStream::Write(void* Buffer, OPJ_SIZE_T Bytes, void* Data) {
  auto* self = static_cast<TIEOpenJpegStream*>(Data);
  try {
    const Integer want = Bytes > 0x40000000 ? 0x40000000 : static_cast<Integer>(Bytes);
    const Integer n = self->FStream->Write(Buffer, want);
    if (n == want) return static_cast<OPJ_SIZE_T>(n);
    self->FStreamError = "the output refused a write (disk full?)";
  } catch (const Exception& e) {
    self->FStreamError = e.Message;
  } catch (...) {
    self->FStreamError = "stream write error";
  }
  return static_cast<OPJ_SIZE_T>(-1);
}

OPJ_OFF_T TIEOpenJpegStream::Skip(OPJ_OFF_T Bytes, void* Data) {
  auto* self = static_cast<TIEOpenJpegStream*>(Data);
  try {
    const Int64 before = self->FStream->Position();
    Int64 target = before + Bytes;
    if (target < self->FStart) target = self->FStart;
    self->FStream->SetPosition(target);
    return static_cast<OPJ_OFF_T>(self->FStream->Position() - before);
  } catch (const Exception& e) {
    self->FStreamError = e.Message;
  } catch (...) {
  }
  return -1;
}

OPJ_BOOL TIEOpenJpegStream::Seek(OPJ_OFF_T Position, void* Data) {
  auto* self = static_cast<TIEOpenJpegStream*>(Data);
  try {
    if (Position < 0) return OPJ_FALSE;
    self->FStream->SetPosition(self->FStart + Position);
    return self->FStream->Position() == self->FStart + Position ? OPJ_TRUE : OPJ_FALSE;
  } catch (const Exception& e) {
    self->FStreamError = e.Message;
  } catch (...) {
  }
  return OPJ_FALSE;
}

void IEOpenJpegCheck(OPJ_BOOL Ok, const TIEOpenJpegMessages& Messages, const TIEOpenJpegStream& Stream, const char* What) {
  if (Ok) return;
  if (!Stream.StreamError().empty()) throw EIEOpenJpegError(Stream.StreamError());
  if (!Messages.LastError.empty()) throw EIEOpenJpegError(Messages.LastError);
  throw EIEOpenJpegError(What);
}
