// The files a muxer opens on its own (one per numbered image) pass through these hooks, which
// remember the one being written until it is closed whole: after a failure that one is known
// to be cut short.
#include <cstring>

#include "media/binding/entry_points.h"
#include "media/binding/unicode_protocol.h"
#include "media/engine/custom_ffmpeg_opt.h"
#include "media/engine/output_file.h"

namespace {

TOutputFile* OutputOf(AVFormatContext* S) {
  auto* model = static_cast<TCustomFFmpegOpt*>(S->opaque);
  if (!model) return nullptr;
  for (TOutputFile* of : model->OutputFiles)
    if (of->Ctx == S) return of;
  return nullptr;
}

// Called from FFmpeg's frames, which no exception may cross.
extern "C" int TrackedIOOpen(AVFormatContext* S, AVIOContext** Pb, const char* Url, int Flags,
                             AVDictionary** Options) {
  try {
    TOutputFile* of = OutputOf(S);
    const int ret = of && of->InnerIOOpen ? of->InnerIOOpen(S, Pb, Url, Flags, Options)
                                          : ff::avio_open2(Pb, Url, Flags, &S->interrupt_callback, Options);
    if (of && ret >= 0 && (Flags & AVIO_FLAG_WRITE) && Url) of->WritingName = Url;
    return ret;
  } catch (...) {
    return AVERROR(ENOMEM);
  }
}

extern "C" int TrackedIOClose2(AVFormatContext* S, AVIOContext* Pb) {
  try {
    TOutputFile* of = OutputOf(S);
    int error = 0;
    if (Pb && Pb->write_flag) {
      ff::avio_flush(Pb);
      error = Pb->error;
    }
    const int ret = of && of->InnerIOClose2 ? of->InnerIOClose2(S, Pb) : ff::avio_close(Pb);
    if (error >= 0 && ret < 0) error = ret;
    if (of && error >= 0) of->WritingName.clear();
    if (of && error < 0 && of->WriteError == 0) of->WriteError = error;
    return ret;
  } catch (...) {
    return AVERROR_BUG;
  }
}

}  // namespace

void TCustomFFmpegOpt::TrackMuxerFiles(TOutputFile* Of) {
  AVFormatContext* oc = Of->Ctx;
  if (!oc || oc->io_open == TrackedIOOpen) return;
  Of->InnerIOOpen = oc->io_open;
  Of->InnerIOClose2 = oc->io_close2;
  oc->opaque = this;
  oc->io_open = TrackedIOOpen;
  oc->io_close2 = TrackedIOClose2;
}

AnsiString TCustomFFmpegOpt::OutputLocation(const AVFormatContext* Oc, bool& Folder) {
  Folder = false;
  if (!Oc || !Oc->url || !Oc->oformat) return AnsiString();
  const AnsiString path = LocalPathOf(Oc->url);
  if (path.empty() || path == "-") return AnsiString();
  if (!(Oc->oformat->flags & AVFMT_NOFILE)) return path;
  // Of the muxers without a file of their own, these make files named after the output; the
  // others' "names" are devices, window titles or lists of further outputs.
  static const char* const FileMakers[] = {"image2", "segment", "stream_segment,ssegment", "hls",
                                           "dash",   "webm_chunk", "smoothstreaming"};
  for (const char* maker : FileMakers) {
    if (std::strcmp(Oc->oformat->name, maker) == 0) {
      Folder = true;
      return FolderOfPath(path);
    }
  }
  return AnsiString();
}
