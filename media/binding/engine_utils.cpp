#include "media/binding/engine_utils.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "media/binding/entry_points.h"
#include "media/binding/ffmpeg_exception.h"
#include "platform/rtl/mainthread.h"
#include "platform/rtl/sync.h"
#include "platform/rtl/sysutils.h"

AnsiString FormatFileSize(Int64 Size) {
  if (Size > 1073741824) return Format("%.2f GB", static_cast<double>(Size) / 1073741824.0);
  if (Size > 1048576) return Format("%.2f MB", static_cast<double>(Size) / 1048576.0);
  if (Size > 1024) return Format("%.2f KB", static_cast<double>(Size) / 1024.0);
  return Format("%d Byte", Size);
}

void SplitFirst(AnsiString& Source, const AnsiString& Delimiter, bool Cut, AnsiString& Part) {
  const size_t at = Delimiter.empty() ? AnsiString::npos : Source.find(Delimiter);
  if (at != AnsiString::npos) {
    Part = Source.substr(0, at);
    if (Cut) Source.erase(0, at + Delimiter.size());
  } else {
    Part = Source;
    if (Cut) Source.clear();
  }
}

int SeekFlagsToInt(TSeekFlags Flags) {
  int result = 0;
  if (Flags.Contains(sfBackward)) result += AVSEEK_FLAG_BACKWARD;
  if (Flags.Contains(sfByte)) result += AVSEEK_FLAG_BYTE;
  if (Flags.Contains(sfAny)) result += AVSEEK_FLAG_ANY;
  if (Flags.Contains(sfFrame)) result += AVSEEK_FLAG_FRAME;
  return result;
}

int RationalCompare(AVRational A, AVRational B) {
  const int64_t tmp = static_cast<int64_t>(A.num) * B.den - static_cast<int64_t>(B.num) * A.den;
  if (tmp) return static_cast<int>((tmp ^ A.den ^ B.den) >> 63) | 1;
  if (B.den && A.den) return 0;
  if (A.num && B.num) return (A.num >> 31) - (B.num >> 31);
  return INT_MIN;
}

double RationalToDouble(AVRational A) { return A.num / static_cast<double>(A.den); }

AVRational RationalDiv(AVRational B, AVRational C) {
  AVRational result;
  ff::av_reduce(&result.num, &result.den, static_cast<int64_t>(B.num) * C.den, static_cast<int64_t>(B.den) * C.num,
                INT_MAX);
  return result;
}

AVRational RationalInvert(AVRational A) { return AVRational{A.den, A.num}; }

AVRational RationalFromDouble(double Value, int Max) {
  if (std::isnan(Value)) return AVRational{0, 0};
  // Beyond the int range no fraction within the limit comes near: that is infinity.
  if (std::fabs(Value) > INT_MAX + 3.0) return AVRational{Value < 0 ? -1 : 1, 0};
  int exponent = static_cast<int>(std::floor(std::log2(std::fabs(Value) + 1e-20)));
  if (exponent < 0) exponent = 0;
  const int64_t den = static_cast<int64_t>(1) << (61 - exponent);
  const auto num = static_cast<int64_t>(std::floor(Value * static_cast<double>(den) + 0.5));
  AVRational result;
  ff::av_reduce(&result.num, &result.den, num, den, Max);
  // A small value that the limit rounds to nothing is tried again with the full range.
  if ((!result.num || !result.den) && Value != 0 && Max > 0 && Max < INT_MAX)
    ff::av_reduce(&result.num, &result.den, num, den, INT_MAX);
  return result;
}

AnsiString TimestampText(Int64 Ts) {
  if (Ts == AV_NOPTS_VALUE) return "NOPTS";
  return IntToStr(Ts);
}

AnsiString TimestampTimeText(AVRational TimeBase, Int64 Ts) {
  if (Ts == AV_NOPTS_VALUE) return "NOPTS";
  char buf[AV_TS_MAX_STRING_SIZE];
  std::snprintf(buf, sizeof buf, "%.6g", RationalToDouble(TimeBase) * static_cast<double>(Ts));
  return buf;
}

Int64 AVIOTell(AVIOContext* Pb) { return ff::avio_seek(Pb, 0, SEEK_CUR); }

AVRational BufferSinkFrameRate(const AVFilterContext* Sink) {
  EngineAssert(Sink && Sink->filter && std::strcmp(Sink->filter->name, "buffersink") == 0, "Not a buffer sink");
  return ff::av_buffersink_get_frame_rate(Sink);
}

int CompareMemory(const void* A, const void* B, size_t Length) {
  EngineAssert(A && B && Length, "Nothing to compare");
  const auto* a = static_cast<const unsigned char*>(A);
  const auto* b = static_cast<const unsigned char*>(B);
  for (size_t i = 0; i < Length; ++i) {
    if (a[i] != b[i]) return a[i] > b[i] ? 1 : -1;
  }
  return 0;
}

