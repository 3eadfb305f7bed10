// The decoder component's base: opens one media file through FFmpeg's format layer, probes its
// streams and answers questions about the file without decoding anything.
#pragma once

#include <atomic>
#include <functional>
#include <string_view>

#include "media/binding/base_component.h"
#include "media/binding/ffmpeg_types.h"
#include "media/binding/loader.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/types.h"

class TFFOptions;

struct TFileStreamInfo {
  Int64 StartTime = AV_NOPTS_VALUE;  // microseconds
  Int64 Duration = -1;               // microseconds
  Integer BitRate = -1;
  Integer Year = -1;
  Integer Track = -1;
  AnsiString Title, Author, Copyright, Comment, Album, Genre;
};

struct TVideoStreamInfo {
  AnsiString Language;
  AnsiString CodecName;
  Int64 StartTime = -1;  // stream time base
  Int64 StartTimeUs = -1;
  Int64 Duration = -1;  // stream time base
  Int64 DurationUs = -1;
  Integer BitRate = -1;
  Integer Height = -1;
  Integer Width = -1;
  float SampleAspectRatio = -1.0f;
  float DisplayAspectRatio = -1.0f;
  AVRational SampleAspect{0, 1};
  AVRational DisplayAspect{0, 1};
  Integer PixelFormat = -1;
  AVRational FrameRate{0, 1};
};

struct TAudioStreamInfo {
  AnsiString Language;
  AnsiString CodecName;
  Int64 StartTime = -1;
  Int64 StartTimeUs = -1;
  Int64 Duration = -1;
  Int64 DurationUs = -1;
  Integer BitRate = -1;
  Integer Channels = -1;
  Integer SampleRate = -1;
  Integer SampleFormat = -1;
};

using TBeforeFindStreamInfoEvent = std::function<void(TObject* Sender, AVFormatContext* FormatContext)>;

class TCustomDecoder : public TFFBaseComponent {
 public:
  explicit TCustomDecoder(TComponent* AOwner);
  ~TCustomDecoder() override;

  virtual void UpdateStreamInfo();
  // Uses a context someone else opened; the decoder never closes it.
  virtual void AttachFormatContext(AVFormatContext* Context);
  virtual void CloseFile();

  // An empty FormatName lets FFmpeg detect the format. Raises when a library is not loaded.
  bool OpenFile(const TPathFileName& FileName, const AnsiString& FormatName = AnsiString());

  // The getters leave the record at its defaults on failure, report why and never raise.
  void GetFileStreamInfo(TFileStreamInfo& Info);
  // A negative index means the first stream of that kind.
  void GetVideoStreamInfo(Integer StreamIndex, TVideoStreamInfo& Info);
  void GetAudioStreamInfo(Integer StreamIndex, TAudioStreamInfo& Info);
  void GetFirstVideoStreamInfo(TVideoStreamInfo& Info) { GetVideoStreamInfo(-1, Info); }
  void GetFirstAudioStreamInfo(TAudioStreamInfo& Info) { GetAudioStreamInfo(-1, Info); }
  bool IsVideoStream(Integer StreamIndex);
  // Lines separated by CR LF; the application searches it for codec names.
  AnsiString GetMediaInfoText();

  // Keeps Text as LastErrorMessage and logs it; Level is FFmpeg's (16 error, 24 warning, ...).
  void ReportMessage(int Level, const AnsiString& Text);
  template <class... Args>
  void ReportMessageFmt(int Level, std::string_view Fmt, const Args&... args) {
    ReportMessage(Level, Format(Fmt, args...));
  }

  AnsiString ClassName() const override { return "TCustomDecoder"; }

  AVFormatContext* FormatContext = nullptr;
  TFFOptions* Options = nullptr;
  bool OwnsFormatContext = false;
  AnsiString LastErrorMessage;
  AnsiString ForcedFormatName;
  Int64 FileSize = -1;
  Integer StreamCount = -1;
  Integer ProgramCount = -1;
  Integer AudioStreamCount = -1;
  Integer VideoStreamCount = -1;
  Integer SubtitleStreamCount = -1;
  Integer FirstAudioStreamIndex = -1;
  Integer FirstVideoStreamIndex = -1;
  Integer FirstSubtitleStreamIndex = -1;
  bool TriggerEventInMainThread = true;
  // When the current blocking open, probe or read began (av_gettime); read by the interrupt
  // callback in whatever thread FFmpeg does the I/O.
  std::atomic<Int64> IOStartTime{0};
  TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;

 protected:
  void CheckLibraries();
  // Called once the streams are probed, while the open's options are still set.
  virtual void ApplyOpenOptions() {}
  void RestartIOClock();

 private:
  // Finds the stream a getter asks about; -1 after reporting why there is none.
  Integer ResolveStream(Integer StreamIndex, AVMediaType Kind, const char* NoStream, const char* WrongKind);
};

// FFmpeg's interrupt callback for contexts a decoder opened: asks to abort once the current
// operation has run longer than the decoder's ReadTimeout.
extern "C" int DecoderInterruptCallback(void* Decoder);
