// The transcoding engine of one task: its run state, worker thread, callbacks, the transcode loop
// and its steps (set-up, decoding, filtering, encoding, muxing, hooks, preview and progress).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "media/binding/format_converter.h"
#include "media/engine/custom_ffmpeg_opt.h"
#include "media/engine/engine_events.h"
#include "platform/rtl/sync.h"
#include "platform/rtl/threads.h"

class TCustomFFmpeg;
struct TFrameHookEntry;

// One lock over every task's preview flags and preview step.
TCriticalSection& TranscodePreviewLock();
class TConvertThread;
class TEncodeWorker;

// The audio hooks' record of a frame: its first plane, its size in bytes and its own format.
TTaskAudio TaskAudio(const AVFrame* Frame, Int64 PTS);

// Preview flag bits.
constexpr int PreviewWindowFlag = 1;
constexpr int PreviewBitmapFlag = 2;

// Video sync methods of the option model ("-vsync").
enum TVideoSync { vsAuto = -1, vsPassthrough = 0, vsCfr = 1, vsVfr = 2, vsDrop = 0xFF };

class TConvertThread : public TThread {
 public:
  TConvertThread(TCustomFFmpeg* Task, TThreadPriority Priority);
  ~TConvertThread() override;
  TCustomFFmpeg* Task;

 protected:
  void Execute() override;
};

class TCustomFFmpeg : public TCustomFFmpegOpt {
 public:
  TCustomFFmpeg();
  ~TCustomFFmpeg() override;

  // Background mode returns the worker, created suspended: the caller starts it. The task keeps
  // owning it, so the thread is joined before the task goes.
  TConvertThread* Start(bool InThread, TThreadPriority Priority = tpNormal);
  void Stop(bool Wait);
  void Cancel(bool Wait);
  void Run();
  void DoTerminate();
  void CloseAll();
  void SetPreviewFlags(int Flags);
  // Read without the preview lock by the video step, which only asks whether any preview is on.
  int PreviewFlags() const { return FPreviewFlags.load(std::memory_order_relaxed); }
  void SetHookBitsPixel(int BitsPixel);

  int OptVHook(void* Context, const AnsiString& Option, const AnsiString& Arg) override;
  int OptVideoHookBitsPixel(void* Context, const AnsiString& Option, const AnsiString& Arg) override;

  // ---- run state
  std::atomic<bool> Running{false};
  std::atomic<bool> Finished{false};
  std::atomic<bool> Ended{false};
  bool ExceptionRaised = false;
  AnsiString ExceptionMessage;
  std::atomic<TConvertThread*> WorkerThread{nullptr};
  TEvent* FinishedEvent;
  TEvent* TerminateEvent;

  // ---- callbacks
  TAudioHookProc AudioInputHookProc, AudioOutputHookProc;
  TVideoHookProc VideoInputHookProc, VideoOutputHookProc;
  TFrameHookProc FrameInputHookProc, FrameOutputHookProc;
  TPreviewBitmapProc PreviewBitmapProc;
  TProgressProc ProgressProc;
  TTerminateProc TerminateProc;

  TFormatConverter* HookConverter;
  // Makes the preview window on the first frame it shows; without it the window flag shows
  // nothing.
  TPreviewSinkFactory MakePreviewSink;
  // The preview window; guarded by the preview lock.
  TPreviewSink* Previewer = nullptr;
  TFormatConverter* PreviewConverter;
  bool VHookPresent = false;
  TFrameHookEntry* VHookModules = nullptr;

  Int64 ProgressInterval = 500000;
  Int64 PreviewInterval = 100000;

  // ---- statistics
  Int64 VideoSize = 0, AudioSize = 0, SubtitleSize = 0, ExtraSize = 0;
  Integer FramesDuplicated = 0, FramesDropped = 0;
  Int64 LastReportTime = -1;
  Integer QPHistogram[52] = {};
  bool DupDropNoticed = false;
  FILE* VStatsFile = nullptr;
  uint8_t* SubtitleBuffer = nullptr;
  int JoinSegment = 0, FirstActiveStream = 0, LastActiveStream = -1;

  // ---- the transcode (public for the owner's tests and the steps' own units)
  void Transcode();
  int TranscodeInit();
  int TranscodeStep();
  int ProcessInput(int FileIndex);
  int TranscodeFromFilter(TFilterGraph* Graph, TInputStream*& BestIst);
  bool NeedOutput();
  TOutputStream* ChooseOutput();
  bool GotEagain();
  void ResetEagain();
  void UpdateActiveStreams();
  // Join mode: input file F has ended and the next one takes over the output.
  void SwitchJoinSegment(int F);
  // Whether Ost is one of the later inputs' streams, which borrow the first set's encoders.
  bool IsJoinClone(const TOutputStream* Ost) const;
  void FinishTranscode();
  // Why a run that read to the end of an input still failed: the input ended well before its
  // own length (or the length the outputs asked for), or an output file vanished; empty when not.
  AnsiString CheckInputComplete(int FileIndex);
  AnsiString CheckOutputsExist();
  void NoteReadEnd(int FileIndex, TInputStream* Ist, const AVPacket* Pkt);
  void Cleanup();
  void CloseOpenEncoders();
  void CloseOpenDecoders();

  int InitInputStream(int Index, AnsiString& Error);
  TInputStream* GetInputStream(TOutputStream* Ost);
  void ParseForcedKeyFrames(const AnsiString& Text, TOutputStream* Ost, AVCodecContext* Avctx);
  void DumpStreamMapping();
  // Logs the session description of outputs that all go out as RTP.
  void PrintSdp();

  int OutputPacket(TInputStream* Ist, const AVPacket* Pkt);
  int DecodeAudio(TInputStream* Ist, AVFrame* Frame, const AVPacket* Pkt);
  int DecodeVideo(TInputStream* Ist, AVFrame* Frame, const AVPacket* Pkt);
  int TranscodeSubtitles(TInputStream* Ist, const AVPacket* Pkt, bool& GotOutput);
  // Subtitles drawn into video: the canvas of a subtitle stream that feeds a filter graph.
  // HeartbeatPts and Pts are in the subtitle stream's time base.
  void Sub2VideoUpdate(TInputStream* Ist, int64_t HeartbeatPts, const AVSubtitle* Sub);
  void Sub2VideoCopyRect(AVFrame* Canvas, const AVSubtitleRect* Rect);
  void Sub2VideoPushRef(TInputStream* Ist, int64_t Pts);
  // A packet of Ist's input at Pts (Ist's time base) was read.
  void Sub2VideoHeartbeat(TInputStream* Ist, int64_t Pts);
  void Sub2VideoFlush(TInputStream* Ist);
  void DoStreamCopy(TInputStream* Ist, TOutputStream* Ost, const AVPacket* Pkt);
  bool CheckOutputConstraints(TInputStream* Ist, TOutputStream* Ost);
  void RateEmuSleep(TInputStream* Ist);
  int ReapFilters();

  void DoVideoOut(AVFormatContext* S, TOutputStream* Ost, AVFrame* Picture, double FloatPts);
  bool StartsAtFirstPicture(const TOutputStream* Ost, int Sync) const;
  void NoteRemovedFile(const AnsiString& Name);
  void DoAudioOut(AVFormatContext* S, TOutputStream* Ost, AVFrame* Frame);
  void DoSubtitleOut(AVFormatContext* S, TOutputStream* Ost, AVSubtitle* Sub, TInputStream* Ist);
  void WriteFrame(AVFormatContext* S, AVPacket* Pkt, TOutputStream* Ost);
  int CheckRecordingTime(TOutputStream* Ost);
  void CloseOutputStream(TOutputStream* Ost);
  void FlushEncoders();
  void DoVideoStats(TOutputStream* Ost, int FrameSize);
  // The sync method in force for an output's format.
  int EffectiveVideoSync(const AVOutputFormat* Format) const;

  void PreProcessVideoFrame(TInputStream* Ist, AVFrame* Frame);
  void ApplyOutputHooks(TOutputStream* Ost, AVFrame* Picture, Int64 Pts, int FrameNumber, bool& ConverterReady);
  void RunVideoHook(TVideoHookProc& Hook, TFormatConverter* Converter, AVFrame* Picture, Int64 Pts, int FrameNumber,
                    bool& ConverterReady);
  void PreviewFrame(AVFrame* Picture, int FrameNumber, Int64 Pts, bool ConverterReady);
  void ReportProgress(int FileIndex, bool IsLastReport, Int64 CurrentTime, Int64 StartTime);

 private:
  // What the engine keeps per stream beyond the option model's records.
  struct TInputState {
    bool Flushed = false;
    bool DecoderClosed = false;
    bool EofSentToFilters = false;
    bool SawFirstFrame = false;
    int64_t FramesDecoded = 0;
  };
  struct TOutputState {
    bool Flushed = false;
    bool EncoderClosed = false;
    bool NoteFirstPts = true;
    int Quality = 0;
    int PictType = 0;
    int64_t Error[4] = {};
    int64_t FramesEncoded = 0;
    int64_t PacketsWritten = 0;
    bool FirstPacketKept = false;
    // Where the last packet written ends, in microseconds.
    int64_t EndUs = INT64_MIN;
    // Forced key frame expression state.
    double KfN = 0, KfNForced = 0, KfPrevN = NAN, KfPrevT = NAN;
    AVFrame* LastFrame = nullptr;  // the last picture sent to the video encoder; freed by the clean-up
  };
  TInputState& IState(TInputStream* Ist);
  TOutputState& OState(TOutputStream* Ost);
  int OutputIndex(TOutputStream* Ost) const;
  bool OutputFileGotPackets(int FileIndex);
  void RegisterOpenCodec(std::vector<void*>& List, void* Stream);
  void UnregisterOpenCodec(std::vector<void*>& List, void* Stream);
  void SendEofToFilters(TInputStream* Ist);
  void PushFrameToFilters(TInputStream* Ist, AVFrame* Frame);
  void ReconfigureGraphsOf(TInputStream* Ist);
  void EncodeVideoFrame(AVFormatContext* S, TOutputStream* Ost, AVFrame* Frame);
  // SlotPts: the output slot of the picture sent last, for encoders that leave packets unstamped.
  void ReceivePackets(AVFormatContext* S, TOutputStream* Ost, bool Flushing, int64_t SlotPts);
  // SlotPts: the output slot the packet's picture filled, for encoders that leave it unstamped.
  void WriteEncodedPacket(AVFormatContext* S, TOutputStream* Ost, AVPacket* Pkt, int64_t SlotPts);
  // Whether Ost's pictures are encoded on a worker while the loop prepares the next one.
  bool EncodesAside(const TOutputStream* Ost) const;
  // Waits until the picture on the worker, if any, is encoded and written; raises its failure.
  void CollectEncodedPicture();
  // Ends the worker, dropping what it may still hold; before its encoder is closed.
  void StopEncodeWorker();
  int OpenEncoder(TOutputStream* Ost, TInputStream* Ist, AnsiString& Error);
  int PrepareStreamCopy(TOutputStream* Ost, TInputStream* Ist);
  int InitBitstreamFilters(TOutputStream* Ost);
  void ApplyPreviewFlags(int Flags);

  std::vector<TInputState> FInputState;
  // Per input file: the furthest packet end read (in microseconds, output time line).
  std::vector<int64_t> FInputReadEnd;
  AnsiString FInputCutShort;
  std::vector<TOutputState> FOutputState;
  std::vector<void*> OpenEncoders;
  std::vector<void*> OpenDecoders;
  TConvertThread* FThread = nullptr;  // owned; joined before the task goes
  std::atomic<int> FPreviewFlags{0};  // written under the preview lock
  bool FPreviewFlagsChanged = false;
  Int64 LastPreviewTime = 0;
  // After the loop: writes finish even when a stop was requested, so the files stay playable.
  std::atomic<bool> FFinishing{false};
  AVPacket* FPacket = nullptr;
  // Encodes and writes the single output's pictures beside the loop (see EncodesAside). While
  // it holds a picture, the loop leaves that output's encoder, muxer and counters alone.
  std::unique_ptr<TEncodeWorker> FEncodeWorker;
  // The "vhook" argument texts: modules may keep pointers into them.
  std::vector<char*> FVHookArgs;
};
