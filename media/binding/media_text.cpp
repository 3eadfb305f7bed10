#include "media/binding/media_text.h"

#include <ctime>

#include "media/binding/entry_points.h"

namespace {

constexpr AVRational MicrosecondBase{1, 1000000};

Int64 ToMicroseconds(AVRational timeBase, Int64 ts) {
  if (timeBase.num == MicrosecondBase.num && timeBase.den == MicrosecondBase.den) return ts;
  return ff::av_rescale_q(ts, timeBase, MicrosecondBase);
}

long UtcOffsetSecondsAt(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  return local.tm_gmtoff;
}

}  // namespace

AnsiString FormatTimeUs(Int64 Us) {
  if (Us == AV_NOPTS_VALUE) return "N/A";
  if (Us < 0) return "-" + FormatTimeUs(-Us);
  const Int64 total = Us + 5000;
  const Int64 seconds = total / 1000000;
  const Int64 rest = total % 1000000;
  return Format("%.2d:%.2d:%.2d.%.3d", seconds / 3600, (seconds / 60) % 60, seconds % 60, rest * 1000 / 1000000);
}

AnsiString FormatTimestamp(AVRational TimeBase, Int64 Ts) {
  if (Ts == AV_NOPTS_VALUE) return FormatTimeUs(Ts);
  return FormatTimeUs(ToMicroseconds(TimeBase, Ts));
}

AnsiString FormatSeconds(AVRational TimeBase, Int64 Ts) {
  if (Ts == AV_NOPTS_VALUE) return "";
  const Int64 us = ToMicroseconds(TimeBase, Ts);
  const Int64 whole = us / 1000000;
  const Int64 fraction = us % 1000000;
  // Between -1 and 0 seconds the whole part is 0 and the sign would be lost.
  return Format("%s%d.%.6d", us < 0 && whole == 0 ? "-" : "", whole, fraction < 0 ? -fraction : fraction);
}

Int64 FrameDurationUs(AVRational FrameRate) {
  if (FrameRate.num && FrameRate.den) return static_cast<Int64>(1000000) * FrameRate.den / FrameRate.num;
  return 1000000 / 25;
}

double LocalTimeOffsetDays() { return UtcOffsetSecondsAt(std::time(nullptr)) / 86400.0; }

TDateTime UnixTimeToLocalDateTime(Int64 Seconds) {
  return static_cast<double>(Seconds) / 86400.0 + 25569.0 + UtcOffsetSecondsAt(static_cast<std::time_t>(Seconds)) / 86400.0;
}

AnsiString UTCOffsetText() {
  const long offset = UtcOffsetSecondsAt(std::time(nullptr));
  if (offset == 0) return "UTC";
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  return Format("%s%s%.2d:%.2d", "UTC", offset > 0 ? "+" : "-", minutes / 60, minutes % 60);
}

AnsiString CodecNameText(const AVCodecContext* Context, bool Encoder) {
  const AVCodec* codec = Encoder ? ff::avcodec_find_encoder(Context->codec_id) : ff::avcodec_find_decoder(Context->codec_id);
  if (codec) {
    const AnsiString longName = codec->long_name ? Trim(codec->long_name) : AnsiString();
    return longName.empty() ? AnsiString(codec->name) : Format("%s(%s)", codec->name, longName);
  }
  if (Context->codec_id == AV_CODEC_ID_MPEG2TS) return "mpeg2ts";
  const uint32_t tag = Context->codec_tag;
  const Byte b[4] = {Byte(tag), Byte(tag >> 8), Byte(tag >> 16), Byte(tag >> 24)};
  if (IsPrintableChar(b[0]) && IsPrintableChar(b[1]) && IsPrintableChar(b[2]) && IsPrintableChar(b[3])) {
    return Format("%s%s%s%s / 0x%04X", AnsiString(1, char(b[0])), AnsiString(1, char(b[1])), AnsiString(1, char(b[2])),
                  AnsiString(1, char(b[3])), tag);
  }
  return Format("0x%04x", tag);
}

AnsiString MediaTypeName(int MediaType) {
  switch (MediaType) {
    case AVMEDIA_TYPE_VIDEO: return "Video";
    case AVMEDIA_TYPE_AUDIO: return "Audio";
    case AVMEDIA_TYPE_DATA: return "Data";
    case AVMEDIA_TYPE_SUBTITLE: return "Subtitle";
    case AVMEDIA_TYPE_ATTACHMENT: return "Attachment";
    default: return "Unknown";
  }
}

AnsiString PictureTypeName(int PictureType) {
  static const char* const names[] = {"Intra", "Predicted", "Bi-dir predicted", "S(GMC)-VOP MPEG4",
                                      "Switching Intra", "Switching Predicted", "BI type"};
  return PictureType >= 1 && PictureType <= 7 ? names[PictureType - 1] : "Unknown";
}

AnsiString DictValueOr(const AVDictionary* Dict, const AnsiString& Key, const AnsiString& Default) {
  const AVDictionaryEntry* e = ff::av_dict_get(Dict, Key.c_str(), nullptr, 0);
  return e ? AnsiString(e->value) : Default;
}

bool IsPrintableChar(Byte C) { return C >= 32 && C <= 126; }

uint32_t MakeTag(Byte A, Byte B, Byte C, Byte D) {
  return static_cast<uint32_t>(A) | (static_cast<uint32_t>(B) << 8) | (static_cast<uint32_t>(C) << 16) |
         (static_cast<uint32_t>(D) << 24);
}
