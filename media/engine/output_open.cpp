// Opening a task's output: muxer context, stream selection and maps, attachments, metadata,
// chapters and the output file itself.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "media/binding/entry_points.h"
#include "media/binding/error_text.h"
#include "media/binding/ffmpeg_exception.h"
#include "media/binding/file_names.h"
#include "media/binding/unicode_protocol.h"
#include "media/engine/custom_ffmpeg_opt.h"
#include "platform/rtl/files.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/numerics.h"

namespace {

TOptionsContext* Ctx(void* Context) {
  EngineAssert(Context != nullptr, "A per-file option needs an options context");
  return static_cast<TOptionsContext*>(Context);
}

TStreamMap& AddMap(TOptionsContext* o) {
  o->StreamMaps = static_cast<TStreamMap*>(GrowArray(o->StreamMaps, sizeof(TStreamMap), o->NbStreamMaps, o->NbStreamMaps + 1));
  return o->StreamMaps[o->NbStreamMaps - 1];
}

// The integer at the start of Text (automatic base) and where it ends.
int LeadingInt(const char* Text, const char** End) {
  char* end = nullptr;
  const long v = std::strtol(Text, &end, 0);
  if (End) *End = end;
  return v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

constexpr uint32_t ApicTag = 'A' | ('P' << 8) | ('I' << 16) | (static_cast<uint32_t>('C') << 24);

}  // namespace

// ---- "map", "map_channel", "attach"

int TCustomFFmpegOpt::OptMap(void* Context, const AnsiString&, const AnsiString& Arg) {
  TOptionsContext* o = Ctx(Context);
  AnsiString map = Arg;
  const bool negative = !map.empty() && map[0] == '-';
  if (negative) map.erase(0, 1);

  int syncFile = -1, syncStream = -1;
  const size_t comma = map.find(',');
  if (comma != AnsiString::npos) {
    const AnsiString sync = map.substr(comma + 1);
    map.resize(comma);
    const char* p = nullptr;
    syncFile = LeadingInt(sync.c_str(), &p);
    if (syncFile < 0 || syncFile >= static_cast<int>(InputFiles.size()))
      RaiseErrorFmt("Invalid sync file index: %d.", syncFile);
    if (*p == ':') ++p;
    const TInputFile* f = InputFiles[syncFile];
    for (int i = 0; i < f->NbStreams; ++i) {
      if (CheckStreamSpecifier(f->Ctx, f->Ctx->streams[i], p) > 0) {
        syncStream = i;
        break;
      }
    }
    if (syncStream < 0) RaiseErrorFmt("Sync stream specification in map %s does not match any streams.", Arg);
  }

  if (!map.empty() && map[0] == '[') {
    const size_t close = map.find(']');
    if (close == AnsiString::npos) RaiseErrorFmt("Invalid output link label: %s.", map);
    TStreamMap& m = AddMap(o);
    m.LinkLabel = ff::av_strdup(map.substr(1, close - 1).c_str());
    return 0;
  }

  const char* p = nullptr;
  const int fileIndex = LeadingInt(map.c_str(), &p);
  if (fileIndex < 0 || fileIndex >= static_cast<int>(InputFiles.size()))
    RaiseErrorFmt("Invalid input file index: %d.", fileIndex);
  if (*p == ':') ++p;
  const TInputFile* f = InputFiles[fileIndex];
  bool touched = false;
  if (negative) {
    for (int i = 0; i < o->NbStreamMaps; ++i) {
      TStreamMap& m = o->StreamMaps[i];
      if (m.LinkLabel || m.FileIndex != fileIndex || m.StreamIndex < 0 || m.StreamIndex >= f->NbStreams) continue;
      if (CheckStreamSpecifier(f->Ctx, f->Ctx->streams[m.StreamIndex], p) > 0) {
        m.Disabled = 1;
        touched = true;
      }
    }
  } else {
    for (int i = 0; i < f->NbStreams; ++i) {
      if (CheckStreamSpecifier(f->Ctx, f->Ctx->streams[i], p) <= 0) continue;
      TStreamMap& m = AddMap(o);
      m.FileIndex = fileIndex;
      m.StreamIndex = i;
      m.SyncFileIndex = syncFile >= 0 ? syncFile : fileIndex;
      m.SyncStreamIndex = syncFile >= 0 ? syncStream : i;
      touched = true;
    }
  }
  if (!touched) RaiseErrorFmt("Stream map \"%s\" matches no streams.", Arg);
  return 0;
}

int TCustomFFmpegOpt::OptMapChannel(void* Context, const AnsiString&, const AnsiString& Arg) {
  TOptionsContext* o = Ctx(Context);
  TAudioChannelMap m{-1, -1, -1, -1, -1};
  int n = std::sscanf(Arg.c_str(), "%d:%d.%d", &m.ChannelIndex, &m.OutputFileIndex, &m.OutputStreamIndex);
  if ((n == 1 || n == 3) && m.ChannelIndex == -1) {
    m.FileIndex = m.StreamIndex = -1;
    if (n == 1) m.OutputFileIndex = m.OutputStreamIndex = -1;
  } else {
    m = TAudioChannelMap{-1, -1, -1, -1, -1};
    n = std::sscanf(Arg.c_str(), "%d.%d.%d:%d.%d", &m.FileIndex, &m.StreamIndex, &m.ChannelIndex, &m.OutputFileIndex,
                    &m.OutputStreamIndex);
    if (n != 3 && n != 5)
      RaiseError("Syntax error, mapchan usage: [file.stream.channel|-1][:syncfile:syncstream]");
    if (n == 3) m.OutputFileIndex = m.OutputStreamIndex = -1;
    if (m.FileIndex < 0 || m.FileIndex >= static_cast<int>(InputFiles.size()))
      RaiseErrorFmt("mapchan: invalid input file index: %d", m.FileIndex);
    const TInputFile* f = InputFiles[m.FileIndex];
    if (m.StreamIndex < 0 || m.StreamIndex >= f->NbStreams)
      RaiseErrorFmt("mapchan: invalid input file stream index #%d.%d", m.FileIndex, m.StreamIndex);
    const AVStream* st = f->Ctx->streams[m.StreamIndex];
    if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
      RaiseErrorFmt("mapchan: stream #%d.%d is not an audio stream.", m.FileIndex, m.StreamIndex);
    if (m.ChannelIndex < 0 || m.ChannelIndex >= st->codecpar->ch_layout.nb_channels)
      RaiseErrorFmt("mapchan: invalid audio channel #%d.%d.%d", m.FileIndex, m.StreamIndex, m.ChannelIndex);
  }
  o->AudioChannelMaps = static_cast<TAudioChannelMap*>(
      GrowArray(o->AudioChannelMaps, sizeof(TAudioChannelMap), o->NbAudioChannelMaps, o->NbAudioChannelMaps + 1));
  o->AudioChannelMaps[o->NbAudioChannelMaps - 1] = m;
  return 0;
}

int TCustomFFmpegOpt::OptAttach(void* Context, const AnsiString&, const AnsiString& Arg) {
  TOptionsContext* o = Ctx(Context);
  o->Attachments = static_cast<char**>(GrowArray(o->Attachments, sizeof(char*), o->NbAttachments, o->NbAttachments + 1));
  o->Attachments[o->NbAttachments - 1] = ff::av_strdup(Arg.c_str());
  return 0;
}

// ---- metadata and chapters

int TCustomFFmpegOpt::ParseMetaType(const AnsiString& Spec, char& Type, AnsiString& StreamSpec, int& Index) {
  Type = 'g';
  StreamSpec.clear();
  Index = 0;
  if (Spec.empty()) return 0;
  Type = Spec[0];
  switch (Type) {
    case 's':
      if (Spec.size() > 1 && Spec[1] != ':') return Fail(Format("Invalid metadata specifier %s.", Spec), -1);
      StreamSpec = Spec.size() > 2 ? Spec.substr(2) : AnsiString();
      return 0;
    case 'c':
    case 'p':
      if (Spec.size() > 2 && Spec[1] == ':') Index = LeadingInt(Spec.c_str() + 2, nullptr);
      return 0;
    case 'g':
      return 0;
    default:
      return Fail(Format("Invalid metadata type %s.", Spec), -1);
  }
}

int TCustomFFmpegOpt::CopyMetadata(const AnsiString& OutSpec, const AnsiString& InSpec, AVFormatContext* OutCtx,
                                   AVFormatContext* InCtx, TOptionsContext& Context) {
  char inType, outType;
  AnsiString inStream, outStream;
  int inIndex, outIndex;
  if (ParseMetaType(InSpec, inType, inStream, inIndex) < 0) return -1;
  if (ParseMetaType(OutSpec, outType, outStream, outIndex) < 0) return -1;

  if (!InCtx) {
    if (outType == 'g' || OutSpec.empty()) Context.MetadataGlobalManual = 1;
    if (outType == 's' || OutSpec.empty()) Context.MetadataStreamsManual = 1;
    if (outType == 'c' || OutSpec.empty()) Context.MetadataChaptersManual = 1;
    return 0;
  }
  for (char t : {inType, outType}) {
    if (t == 'g') Context.MetadataGlobalManual = 1;
    if (t == 's') Context.MetadataStreamsManual = 1;
    if (t == 'c') Context.MetadataChaptersManual = 1;
  }

  AVDictionary** source = nullptr;
  switch (inType) {
    case 'g':
      source = &InCtx->metadata;
      break;
    case 'c':
      if (inIndex < 0 || inIndex >= static_cast<int>(InCtx->nb_chapters))
        return Fail(Format("Invalid %s index %d while processing metadata maps.", "chapter", inIndex), -1);
      source = &InCtx->chapters[inIndex]->metadata;
      break;
    case 'p':
      if (inIndex < 0 || inIndex >= static_cast<int>(InCtx->nb_programs))
        return Fail(Format("Invalid %s index %d while processing metadata maps.", "program", inIndex), -1);
      source = &InCtx->programs[inIndex]->metadata;
      break;
    case 's':
      for (unsigned i = 0; i < InCtx->nb_streams; ++i) {
        const int ret = CheckStreamSpecifier(InCtx, InCtx->streams[i], inStream.c_str());
        if (ret < 0) return Fail(ErrorText("check_stream_specifier", ret), ret);
        if (ret > 0) {
          source = &InCtx->streams[i]->metadata;
          break;
        }
      }
      if (!source) return Fail(Format("Stream specifier %s does not match  any streams.", inStream), -1);
      break;
  }

  switch (outType) {
    case 'g':
      ff::av_dict_copy(&OutCtx->metadata, *source, AV_DICT_DONT_OVERWRITE);
      break;
    case 'c':
      if (outIndex < 0 || outIndex >= static_cast<int>(OutCtx->nb_chapters))
        return Fail(Format("Invalid %s index %d while processing metadata maps.", "chapter", outIndex), -1);
      ff::av_dict_copy(&OutCtx->chapters[outIndex]->metadata, *source, AV_DICT_DONT_OVERWRITE);
      break;
    case 'p':
      if (outIndex < 0 || outIndex >= static_cast<int>(OutCtx->nb_programs))
        return Fail(Format("Invalid %s index %d while processing metadata maps.", "program", outIndex), -1);
      ff::av_dict_copy(&OutCtx->programs[outIndex]->metadata, *source, AV_DICT_DONT_OVERWRITE);
      break;
    case 's':
      for (unsigned i = 0; i < OutCtx->nb_streams; ++i) {
        const int ret = CheckStreamSpecifier(OutCtx, OutCtx->streams[i], outStream.c_str());
        if (ret < 0) return Fail(ErrorText("check_stream_specifier", ret), ret);
        if (ret > 0) ff::av_dict_copy(&OutCtx->streams[i]->metadata, *source, AV_DICT_DONT_OVERWRITE);
      }
      break;
  }
  return 0;
}

int TCustomFFmpegOpt::CopyChapters(TInputFile* Ifile, TOutputFile* Ofile, bool CopyMetadataToo) {
  AVFormatContext* is = Ifile->Ctx;
  AVFormatContext* os = Ofile->Ctx;
  if (is->nb_chapters == 0) return 0;
  const unsigned total = os->nb_chapters + is->nb_chapters;
  auto** grown = static_cast<AVChapter**>(ff::av_realloc_array(os->chapters, total, sizeof(AVChapter*)));
  if (!grown) return AVERROR(ENOMEM);
  os->chapters = grown;
  for (unsigned i = 0; i < is->nb_chapters; ++i) {
    const AVChapter* in = is->chapters[i];
    const int64_t ts_off = ff::av_rescale_q(Ofile->StartTime - Ifile->TsOffset, AV_TIME_BASE_Q, in->time_base);
    const int64_t rt = Ofile->RecordingTime == INT64_MAX
                           ? INT64_MAX
                           : ff::av_rescale_q(Ofile->RecordingTime, AV_TIME_BASE_Q, in->time_base);
    if (in->end < ts_off) continue;
    if (rt != INT64_MAX && in->start > rt + ts_off) break;
    auto* out = static_cast<AVChapter*>(ff::av_mallocz(sizeof(AVChapter)));
    if (!out) return AVERROR(ENOMEM);
    out->id = in->id;
    out->time_base = in->time_base;
    out->start = std::max<int64_t>(0, in->start - ts_off);
    out->end = std::min(rt, in->end - ts_off);
    if (CopyMetadataToo) ff::av_dict_copy(&out->metadata, in->metadata, 0);
    os->chapters[os->nb_chapters++] = out;
  }
  return 0;
}

// ---- stream selection

std::vector<int> TCustomFFmpegOpt::AutoSelectedStreams(TOptionsContext& Context, AVFormatContext* Oc, int FileIndex,
                                                       bool NamedSubtitleCodec) {
  std::vector<int> chosen;
  int first = 0, count = static_cast<int>(InputStreams.size());
  if (FileIndex >= 0) {
    first = InputFiles[FileIndex]->IstIndex;
    count = first + InputFiles[FileIndex]->NbStreams;
  }
  if (!Context.VideoDisable && Oc->oformat->video_codec != AV_CODEC_ID_NONE) {
    const int query = ff::avformat_query_codec(Oc->oformat, Oc->oformat->video_codec, 0);
    int64_t area = 0;
    int idx = -1;
    for (int i = first; i < count; ++i) {
      const AVStream* st = InputStreams[i]->St;
      if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
      const bool attached = st->disposition & AV_DISPOSITION_ATTACHED_PIC;
      if (static_cast<uint32_t>(query) == ApicTag && !attached) continue;
      int64_t score = static_cast<int64_t>(st->codecpar->width) * st->codecpar->height;
      if (attached && static_cast<uint32_t>(query) != ApicTag) score = 1;
      if (score > area) {
        area = score;
        idx = i;
      }
    }
    if (idx >= 0) chosen.push_back(idx);
  }
  if (!Context.AudioDisable && Oc->oformat->audio_codec != AV_CODEC_ID_NONE) {
    int channels = 0, idx = -1;
    for (int i = first; i < count; ++i) {
      const AVStream* st = InputStreams[i]->St;
      if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
      if (st->codecpar->ch_layout.nb_channels > channels) {
        channels = st->codecpar->ch_layout.nb_channels;
        idx = i;
      }
    }
    if (idx >= 0) chosen.push_back(idx);
  }
  char* subtitleCodec = nullptr;
  if (NamedSubtitleCodec) MatchPerTypeCodecName(Context, 's', subtitleCodec);
  if (!Context.SubtitleDisable && (Oc->oformat->subtitle_codec != AV_CODEC_ID_NONE || subtitleCodec)) {
    // Subtitles are re-encoded as text from text and as pictures from pictures only: a picture
    // subtitle (a disc's) given to a text encoder would fail the whole task. A stream copy, or a
    // codec of either kind or none, takes any.
    AVCodecID outputId = Oc->oformat->subtitle_codec;
    const bool copy = subtitleCodec && std::strcmp(subtitleCodec, "copy") == 0;
    if (subtitleCodec && !copy) {
      const AVCodec* named = ff::avcodec_find_encoder_by_name(subtitleCodec);
      outputId = named ? named->id : AV_CODEC_ID_NONE;
    }
    constexpr int Kinds = AV_CODEC_PROP_TEXT_SUB | AV_CODEC_PROP_BITMAP_SUB;
    const AVCodecDescriptor* output = ff::avcodec_descriptor_get(outputId);
    const int outputKind = output ? output->props & Kinds : 0;
    for (int i = first; i < count; ++i) {
      const AVCodecParameters* par = InputStreams[i]->St->codecpar;
      if (par->codec_type != AVMEDIA_TYPE_SUBTITLE) continue;
      const AVCodecDescriptor* input = ff::avcodec_descriptor_get(par->codec_id);
      const int inputKind = input ? input->props & Kinds : 0;
      if (copy || !outputKind || !inputKind || (inputKind & outputKind)) {
        chosen.push_back(i);
        break;
      }
    }
  }
  return chosen;
}

void TCustomFFmpegOpt::SelectStreamsAutomatically(TOptionsContext& Context, AVFormatContext* Oc) {
  // Joining: the first input alone decides; the others are bound to what it gave.
  for (int i : AutoSelectedStreams(Context, Oc, FJoinOpening ? 0 : -1, true)) {
    switch (InputStreams[i]->St->codecpar->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        NewVideoStream(Context, Oc, i);
        break;
      case AVMEDIA_TYPE_AUDIO:
        NewAudioStream(Context, Oc, i);
        break;
      default:
        NewSubtitleStream(Context, Oc, i);
        break;
    }
  }
}

int TCustomFFmpegOpt::AddAttachments(TOptionsContext& Context, AVFormatContext* Oc) {
  for (int i = 0; i < Context.NbAttachments; ++i) {
    const char* name = Context.Attachments[i];
    AVIOContext* pb = nullptr;
    ReadStartTime = ff::av_gettime();
    const int ret = ff::avio_open2(&pb, name, AVIO_FLAG_READ, &ReadInterrupt, nullptr);
    ReadStartTime = INT64_MAX;
    if (ret < 0) return Fail(Format("Could not open attachment file %s.", name), -1);
    const int64_t size = ff::avio_size(pb);
    if (size <= 0) {
      ff::avio_closep(&pb);
      return Fail(Format("Could not get size of the attachment %s.", name), -1);
    }
    uint8_t* data = size < INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE
                        ? static_cast<uint8_t*>(ff::av_mallocz(static_cast<size_t>(size) + AV_INPUT_BUFFER_PADDING_SIZE))
                        : nullptr;
    if (!data) {
      ff::avio_closep(&pb);
      return Fail(Format("Attachment %s too large to fit into memory.", name), -1);
    }
    ReadStartTime = ff::av_gettime();
    const int got = ff::avio_read(pb, data, static_cast<int>(size));
    ReadStartTime = INT64_MAX;
    ff::avio_closep(&pb);
    if (got != size) {
      ff::av_free(data);
      return Fail(Format("Could not open attachment file %s.", name), -1);
    }
    TOutputStream* ost = NewAttachmentStream(Context, Oc, -1);
    ost->StreamCopy = 0;
    ost->AttachmentFilename = name;
    ost->Finished = 1;
    ost->EncCtx->extradata = data;
    ost->EncCtx->extradata_size = static_cast<int>(size);
    AnsiString tagName = name;
    size_t cut = tagName.rfind('/');
    if (cut == AnsiString::npos) cut = tagName.rfind('\\');
    if (cut != AnsiString::npos) tagName.erase(0, cut + 1);
    ff::av_dict_set(&ost->St->metadata, "filename", tagName.c_str(), AV_DICT_DONT_OVERWRITE);
  }
  return 0;
}

int TCustomFFmpegOpt::ApplyMetadataOptions(TOptionsContext& Context, AVFormatContext* Oc, TOutputFile* Of) {
  const int outIndex = static_cast<int>(OutputFiles.size()) - 1;
  for (int i = 0; i < Context.MetadataMap.Count; ++i) {
    const TSpecifierOpt& m = Context.MetadataMap.Items[i];
    const char* p = nullptr;
    const int inFile = LeadingInt(m.U.Str, &p);
    if (inFile >= static_cast<int>(InputFiles.size()))
      return Fail(Format("Invalid input file index %d while processing metadata maps", inFile), -1);
    const AnsiString inSpec = *p == ',' ? AnsiString(p + 1) : AnsiString();
    if (CopyMetadata(m.Specifier ? m.Specifier : "", inSpec, Oc, inFile >= 0 ? InputFiles[inFile]->Ctx : nullptr,
                     Context) < 0)
      return -1;
  }

  if (Context.ChaptersInputFile >= static_cast<int>(InputFiles.size())) {
    if (Context.ChaptersInputFile == ChaptersAutomatic) {
      Context.ChaptersInputFile = -1;
      for (size_t i = 0; i < InputFiles.size(); ++i) {
        if (InputFiles[i]->Ctx->nb_chapters) {
          Context.ChaptersInputFile = static_cast<int>(i);
          break;
        }
      }
    } else {
      return Fail(Format("Invalid input file index %d in chapter mapping.", Context.ChaptersInputFile), -1);
    }
  }
  if (Context.ChaptersInputFile >= 0) {
    const int ret = CopyChapters(InputFiles[Context.ChaptersInputFile], Of, !Context.MetadataChaptersManual);
    if (ret < 0) return Fail(ErrorText(ret), ret);
  }

  if (!Context.MetadataGlobalManual && !InputFiles.empty()) {
    ff::av_dict_copy(&Oc->metadata, InputFiles[0]->Ctx->metadata, AV_DICT_DONT_OVERWRITE);
    if (Of->RecordingTime != INT64_MAX) ff::av_dict_set(&Oc->metadata, "duration", nullptr, 0);
    ff::av_dict_set(&Oc->metadata, "creation_time", nullptr, 0);
  }
  if (!Context.MetadataStreamsManual) {
    for (size_t i = Of->OstIndex; i < OutputStreams.size(); ++i) {
      TOutputStream* ost = OutputStreams[i];
      if (ost->FileIndex != outIndex || ost->SourceIndex < 0) continue;
      ff::av_dict_copy(&ost->St->metadata, InputStreams[ost->SourceIndex]->St->metadata, AV_DICT_DONT_OVERWRITE);
    }
  }

  for (int i = 0; i < Context.Metadata.Count; ++i) {
    const TSpecifierOpt& m = Context.Metadata.Items[i];
    const AnsiString text = m.U.Str ? m.U.Str : "";
    const size_t eq = text.find('=');
    if (eq == AnsiString::npos) return Fail(Format("No \"=\" character in metadata string %s.", text), -1);
    const AnsiString key = text.substr(0, eq);
    const AnsiString value = text.substr(eq + 1);
    const char* v = value.empty() ? nullptr : value.c_str();
    char type;
    AnsiString streamSpec;
    int index;
    const AnsiString spec = m.Specifier ? m.Specifier : "";
    if (ParseMetaType(spec, type, streamSpec, index) < 0) return -1;
    if (type == 's') {
      for (size_t j = Of->OstIndex; j < OutputStreams.size(); ++j) {
        TOutputStream* ost = OutputStreams[j];
        if (ost->FileIndex != outIndex) continue;
        const int ret = CheckStreamSpecifier(Oc, ost->St, streamSpec.c_str());
        if (ret < 0) return Fail(ErrorText("check_stream_specifier", ret), ret);
        if (ret > 0) ff::av_dict_set(&ost->St->metadata, key.c_str(), v, 0);
      }
    } else if (type == 'c') {
      if (index < 0 || index >= static_cast<int>(Oc->nb_chapters))
        return Fail(Format("Invalid chapter index %d in metadata specifier.", index), -1);
      ff::av_dict_set(&Oc->chapters[index]->metadata, key.c_str(), v, 0);
    } else if (type == 'g') {
      ff::av_dict_set(&Oc->metadata, key.c_str(), v, 0);
    } else {
      return Fail(Format("Invalid metadata specifier %s.", spec), -1);
    }
  }
  return 0;
}

// ---- opening

void TCustomFFmpegOpt::FreeOutputStreams() {
  for (TOutputStream* ost : OutputStreams) {
    // A joined input's streams borrow the first input's encoder contexts.
    if (!ost->OwnsCodecData) ost->EncCtx = nullptr;
    if (!ost->OwnsOpts) ost->Opts = nullptr;
    for (AVBSFContext*& bsf : ost->BitstreamFilters) ff::av_bsf_free(&bsf);
    ff::av_frame_free(&ost->FilteredFrame);
    ff::av_expr_free(ost->ForcedKeyframesPexpr);
    ff::avcodec_free_context(&ost->EncCtx);
    ff::av_dict_free(&ost->Opts);
    ff::av_dict_free(&ost->SwrOpts);
    ff::av_dict_free(&ost->ResampleOpts);
    if (ost->Filter) ost->Filter->Ost = nullptr;
    delete ost;
  }
  OutputStreams.clear();
}

int TCustomFFmpegOpt::RollBackOutput(AVFormatContext* Oc, const AnsiString& FileName, bool FileRecord, int Code) {
  if (FileRecord) {
    TOutputFile* of = OutputFiles.back();
    OutputFiles.pop_back();
    ff::av_dict_free(&of->Opts);
    delete of;
  }
  const bool writesFile = !(Oc->oformat->flags & AVFMT_NOFILE);
  if (writesFile && Oc->pb) {
    CloseOutputIO(Oc);
    if (FileExists(FileName) && FileSize(FileName) == 0) DeleteFile(FileName);
  }
  // The streams of this output point into its muxer context, which goes now: keeping their
  // records would leave the task's clean-up with dangling stream pointers.
  const int outIndex = static_cast<int>(OutputFiles.size());
  for (size_t i = OutputStreams.size(); i-- > 0;) {
    TOutputStream* ost = OutputStreams[i];
    if (ost->FileIndex != outIndex) break;
    for (AVBSFContext*& bsf : ost->BitstreamFilters) ff::av_bsf_free(&bsf);
    ff::avcodec_free_context(&ost->EncCtx);
    ff::av_dict_free(&ost->Opts);
    ff::av_dict_free(&ost->SwrOpts);
    ff::av_dict_free(&ost->ResampleOpts);
    if (ost->Filter) ost->Filter->Ost = nullptr;
    if (ost->SourceIndex >= 0) {
      TInputStream* source = InputStreams[ost->SourceIndex];
      bool stillUsed = source->DecodingNeeded > 0;
      for (size_t j = 0; j < i; ++j) stillUsed |= OutputStreams[j]->SourceIndex == ost->SourceIndex;
      if (!stillUsed) {
        source->Discard = 1;
        source->St->discard = AVDISCARD_ALL;
      }
    }
    delete ost;
    OutputStreams.erase(OutputStreams.begin() + static_cast<std::ptrdiff_t>(i));
  }
  ff::avformat_free_context(Oc);
  return Code;
}

int TCustomFFmpegOpt::OpenOutputFile(TOptionsContext& Context, const AnsiString& OptionString, bool Join,
                                     const WideString& FileName, const AnsiString& Presets) {
  int ret = ParseOptions(Context, OptionString, "output file", Presets);
  if (ret < 0) return ret;

  if (Joined || (Join && InputFiles.size() > 1 && !OutputFiles.empty()))
    return Fail("Cannot join more than one output file.", -1);
  const bool joining = Join && InputFiles.size() > 1;
  FJoinOpening = joining;
  struct TJoinOpening {
    bool& Flag;
    ~TJoinOpening() { Flag = false; }
  } joinOpening{FJoinOpening};

  if (ConfigureComplexFilters() < 0) return Fail("Error configuring filters.", -1);

  const AnsiString name = WideToFFmpegFileName(FileName);
  const AnsiString shownName = UTF8Encode(FileName);
  AVFormatContext* oc = nullptr;
  ret = ff::avformat_alloc_output_context2(&oc, nullptr, Context.Format, name.c_str());
  if (!oc) return Fail(ErrorText(shownName, ret < 0 ? ret : AVERROR(EINVAL)), -1);
  oc->interrupt_callback = WriteInterrupt;
  // Muxers that open their own files (numbered images) must reach "unicode:" names too.
  InstallUnicodeIOHooks(oc);

  bool folderOutput = false;
  const AnsiString location = OutputLocation(oc, folderOutput);
  {
    // Said now, rather than as a failed write once the run has begun (a muxer that makes its
    // own files would not try before its first picture).
    const AnsiString folder = folderOutput ? location : FolderOfPath(location);
    if (!location.empty() && FolderMissing(folder))
      return RollBackOutput(oc, shownName, false,
                            Fail(Format("Output folder \"%s\" of \"%s\" does not exist.",
                                        UTF8Encode(FFmpegFileNameToWide(folder)), shownName),
                                 AVERROR(ENOENT)));
  }

  bool fileRecord = false;
  try {
    ret = OpenOutputStreams(Context, oc);
    if (ret < 0) return RollBackOutput(oc, shownName, false, ret);

    // "-t" wins over "-to"; "-to" alone becomes a recording time counted from "-ss".
    if (Context.StopTime != OptionNotSet && Context.RecordingTime != OptionNotSet) {
      Context.StopTime = OptionNotSet;
      Log(llWarning, "-t and -to cannot be used together; using -t.");
    } else if (Context.StopTime != OptionNotSet) {
      if (Context.StopTime > Context.StartTime) {
        Context.RecordingTime = Context.StopTime - Context.StartTime;
      } else {
        Log(llWarning, "-to value smaller than -ss; ignoring -to.");
        Context.StopTime = OptionNotSet;
      }
    }

    auto* of = new TOutputFile();
    OutputFiles.push_back(of);
    fileRecord = true;
    of->Ctx = oc;
    of->OstIndex = static_cast<int>(OutputStreams.size()) - static_cast<int>(oc->nb_streams);
    of->RecordingTime = Context.RecordingTime;
    if (Context.RecordingTime != OptionNotSet) oc->duration = Context.RecordingTime;
    of->StartTime = Context.StartTime;
    of->LimitFilesize = Context.LimitFilesize;
    of->Shortest = Context.Shortest;
    TrackMuxerFiles(of);
    ff::av_dict_copy(&of->Opts, Context.Group->FormatOpts, 0);

    if ((oc->oformat->flags & AVFMT_NEEDNUMBER) && !ff::av_filename_number_test(oc->url))
      return RollBackOutput(oc, shownName, true, Fail(ErrorText(shownName, AVERROR(EINVAL)), AVERROR(EINVAL)));

    if (!(oc->oformat->flags & AVFMT_NOFILE)) {
      WriteStartTime = ff::av_gettime();
      ret = OpenOutputIO(oc, name.c_str(), &of->Opts);
      WriteStartTime = INT64_MAX;
      if (ret < 0) return RollBackOutput(oc, shownName, true, Fail(ErrorText(shownName, ret), ret));
    }
    if (!location.empty()) {
      auto watch = std::make_shared<TOutputWatch>();
      if (watch->Watch(location)) of->Watch = std::move(watch);
    }
    if (Context.MuxPreload != 0)
      ff::av_dict_set(&of->Opts, "preload", IntToStr(SafeTrunc<int64_t>(double(Context.MuxPreload) * AV_TIME_BASE)).c_str(), 0);
    oc->max_delay = SafeTrunc<int>(double(Context.MuxMaxDelay) * AV_TIME_BASE);

    ret = ApplyMetadataOptions(Context, oc, of);
    if (ret < 0) return RollBackOutput(oc, shownName, true, ret);
  } catch (...) {
    RollBackOutput(oc, shownName, fileRecord, -1);
    throw;
  }
  // The progress reports measure against the longest limited output.
  if (Context.RecordingTime != OptionNotSet && Context.RecordingTime > TotalDuration)
    TotalDuration = Context.RecordingTime;
  if (joining) {
    if (SetupJoin(Context) < 0) return -1;
    Joined = true;
  }
  return static_cast<int>(OutputFiles.size()) - 1 - (joining ? static_cast<int>(InputFiles.size()) - 1 : 0);
}

int TCustomFFmpegOpt::SetupJoin(TOptionsContext& Context) {
  JoinStreamCount = static_cast<int>(OutputStreams.size());
  for (int k = 1; k < static_cast<int>(InputFiles.size()); ++k) {
    if (JoinInputFile(Context, k) >= 0) continue;
    // Nothing of the joined output survives a failed join.
    const AnsiString message = LastErrorMessage;
    while (!OutputStreams.empty() && OutputStreams.back()->FileIndex > 0) {
      TOutputStream* clone = OutputStreams.back();
      OutputStreams.pop_back();
      if (clone->SourceIndex >= 0) {
        InputStreams[clone->SourceIndex]->Discard = 1;
        InputStreams[clone->SourceIndex]->St->discard = AVDISCARD_ALL;
      }
      delete clone;
    }
    for (size_t i = 1; i < OutputFiles.size(); ++i) delete OutputFiles[i];
    OutputFiles.resize(1);
    for (TOutputStream* ost : OutputStreams) {
      if (ost->Logfile) std::fclose(ost->Logfile);
      ost->Logfile = nullptr;
    }
    AVFormatContext* oc = OutputFiles[0]->Ctx;
    RollBackOutput(oc, UTF8Encode(FFmpegFileNameToWide(oc->url)), true, -1);
    Joined = false;
    JoinStreamCount = 0;
    LastErrorMessage = message;
    return -1;
  }
  int64_t total = 0;
  for (TInputFile* f : InputFiles)
    if (f->Ctx->duration != AV_NOPTS_VALUE && f->Ctx->duration > 0) total += f->Ctx->duration;
  TotalDuration = total > 0 ? total : -1;
  return 0;
}

int TCustomFFmpegOpt::JoinInputFile(TOptionsContext& Context, int InputIndex) {
  const int fileIndex = static_cast<int>(OutputFiles.size());
  AVFormatContext* oc = OutputFiles[0]->Ctx;
  const int firstClone = static_cast<int>(OutputStreams.size());
  for (int i = 0; i < JoinStreamCount; ++i) {
    // The clone writes into the same stream with the same encoder; the first set owns both.
    auto* clone = new TOutputStream(*OutputStreams[i]);
    OutputStreams.push_back(clone);
    clone->FileIndex = fileIndex;
    clone->SourceIndex = -1;
    clone->SyncIst = nullptr;
    clone->Filter = nullptr;
    clone->FilteredFrame = nullptr;
    clone->BitstreamFilters.clear();
    clone->ForcedKeyframesPexpr = nullptr;
    clone->Logfile = nullptr;
    clone->Opts = nullptr;
    clone->SwrOpts = nullptr;
    clone->ResampleOpts = nullptr;
    clone->OwnsOpts = 0;
    clone->OwnsCodecData = 0;
  }
  auto bind = [&](int IstIndex) -> bool {
    TInputStream* ist = InputStreams[IstIndex];
    const AVMediaType type = ist->St->codecpar->codec_type;
    if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_SUBTITLE &&
        type != AVMEDIA_TYPE_DATA) {
      Fail(Format("Cannot map stream #%d:%d - unsupported type.", ist->FileIndex, ist->St->index), -1);
      return false;
    }
    for (int i = firstClone; i < static_cast<int>(OutputStreams.size()); ++i) {
      TOutputStream* clone = OutputStreams[i];
      if (clone->SourceIndex >= 0 || clone->St->codecpar->codec_type != type) continue;
      clone->SourceIndex = IstIndex;
      clone->SyncIst = ist;
      ist->Discard = 0;
      ist->St->discard = AVDISCARD_NONE;
      return true;
    }
    return true;
  };
  if (!Context.NbStreamMaps) {
    for (int i : AutoSelectedStreams(Context, oc, InputIndex, false))
      if (!bind(i)) return -1;
  } else {
    for (int m = 0; m < Context.NbStreamMaps; ++m) {
      const TStreamMap& map = Context.StreamMaps[m];
      if (map.Disabled || map.LinkLabel || map.FileIndex != InputIndex) continue;
      if (!bind(InputFiles[map.FileIndex]->IstIndex + map.StreamIndex)) return -1;
    }
  }
  for (int i = firstClone; i < static_cast<int>(OutputStreams.size()); ++i)
    if (OutputStreams[i]->SourceIndex < 0) return Fail("Cannot join files with diffrent steams state", -1);
  auto* of = new TOutputFile(*OutputFiles[0]);
  of->Opts = nullptr;
  of->OstIndex = firstClone;
  OutputFiles.push_back(of);
  return fileIndex;
}

int TCustomFFmpegOpt::OpenOutputStreams(TOptionsContext& Context, AVFormatContext* Oc) {
  for (TFilterGraph* fg : FilterGraphs) {
    for (TOutputFilter* ofilter : fg->Outputs) {
      if (ofilter->Ost || !ofilter->OutTmp || ofilter->OutTmp->name) continue;
      const AVFilterInOut* out = ofilter->OutTmp;
      switch (ff::avfilter_pad_get_type(out->filter_ctx->output_pads, out->pad_idx)) {
        case AVMEDIA_TYPE_VIDEO:
          Context.VideoDisable = 1;
          break;
        case AVMEDIA_TYPE_AUDIO:
          Context.AudioDisable = 1;
          break;
        case AVMEDIA_TYPE_SUBTITLE:
          Context.SubtitleDisable = 1;
          break;
        default:
          break;
      }
      InitOutputFilter(ofilter, Context, Oc);
    }
  }

  if (!Context.NbStreamMaps) {
    SelectStreamsAutomatically(Context, Oc);
  } else {
    for (int i = 0; i < Context.NbStreamMaps; ++i) {
      const TStreamMap& map = Context.StreamMaps[i];
      if (map.Disabled) continue;
      if (map.LinkLabel) {
        TOutputFilter* found = nullptr;
        for (TFilterGraph* fg : FilterGraphs) {
          for (TOutputFilter* ofilter : fg->Outputs) {
            if (!ofilter->Ost && ofilter->OutTmp && ofilter->OutTmp->name &&
                std::strcmp(ofilter->OutTmp->name, map.LinkLabel) == 0) {
              found = ofilter;
              break;
            }
          }
          if (found) break;
        }
        if (!found)
          return Fail(Format("Output with label \"%s\" does not exist in any defined filter graph, or was already used "
                             "elsewhere.",
                             map.LinkLabel),
                      -1);
        InitOutputFilter(found, Context, Oc);
        continue;
      }
      if (FJoinOpening && map.FileIndex != 0) continue;
      const int index = InputFiles[map.FileIndex]->IstIndex + map.StreamIndex;
      TInputStream* ist = InputStreams[index];
      const AVMediaType type = ist->St->codecpar->codec_type;
      if ((Context.SubtitleDisable && type == AVMEDIA_TYPE_SUBTITLE) ||
          (Context.AudioDisable && type == AVMEDIA_TYPE_AUDIO) ||
          (Context.VideoDisable && type == AVMEDIA_TYPE_VIDEO) || (Context.DataDisable && type == AVMEDIA_TYPE_DATA))
        continue;
      TOutputStream* ost = nullptr;
      switch (type) {
        case AVMEDIA_TYPE_VIDEO:
          ost = NewVideoStream(Context, Oc, index);
          break;
        case AVMEDIA_TYPE_AUDIO:
          ost = NewAudioStream(Context, Oc, index);
          break;
        case AVMEDIA_TYPE_SUBTITLE:
          ost = NewSubtitleStream(Context, Oc, index);
          break;
        case AVMEDIA_TYPE_DATA:
          ost = NewDataStream(Context, Oc, index);
          break;
        case AVMEDIA_TYPE_ATTACHMENT:
          ost = NewAttachmentStream(Context, Oc, index);
          break;
        default:
          return Fail(Format("Cannot map stream #%d:%d - unsupported type.", map.FileIndex, map.StreamIndex), -1);
      }
      if (map.SyncFileIndex != map.FileIndex || map.SyncStreamIndex != map.StreamIndex)
        ost->SyncIst = InputStreams[InputFiles[map.SyncFileIndex]->IstIndex + map.SyncStreamIndex];
    }
  }

  int ret = AddAttachments(Context, Oc);
  if (ret < 0) return ret;

  const AVDictionaryEntry* flags = nullptr;
  for (const AVDictionaryEntry* e = nullptr; (e = ff::av_dict_get(Context.Group->CodecOpts, "", e, AV_DICT_IGNORE_SUFFIX));) {
    if (std::strncmp(e->key, "flags", 5) == 0) {
      flags = e;
      break;
    }
  }
  if (flags) {
    const int outIndex = static_cast<int>(OutputFiles.size());
    for (TOutputStream* ost : OutputStreams) {
      if (ost->FileIndex != outIndex || (!ost->StreamCopy && ost->AttachmentFilename.empty())) continue;
      bool applies = std::strcmp(flags->key, "flags") == 0;
      if (!applies && flags->key[5] == ':') applies = CheckStreamSpecifier(Oc, ost->St, flags->key + 6) > 0;
      if (applies && ff::av_opt_set(ost->EncCtx, "flags", flags->value, 0) < 0) return Fail("failed to set flags", -1);
    }
  }
  return 0;
}
