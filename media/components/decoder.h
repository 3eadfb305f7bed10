// The decoder component of the previews: seeks the open file, decodes the next picture of a
// video stream and hands it over as a 32-bit TBitmap.
#pragma once

#include "media/binding/ffmpeg_types.h"
#include "media/binding/seek_flags.h"
#include "media/components/decoder_custom.h"

class TBitmap;
class TFormatConverter;

struct TDecodedPicture {
  Integer PixFmt = -1;
  Integer Width = -1;
  Integer Height = -1;
  bool KeyFrame = false;
  Integer PictType = 0;
  Int64 PTS = AV_NOPTS_VALUE;        // microseconds from the stream's start
  // The picture's own presentation time, microseconds from the stream's start (PTS above comes
  // from the packet that released the picture, which lags behind it where pictures are reordered).
  Int64 PresentationUs = AV_NOPTS_VALUE;
  Int64 PacketDTS = AV_NOPTS_VALUE;  // stream time base
  Int64 PacketPTS = AV_NOPTS_VALUE;
  Integer PacketStreamIndex = -1;
  Int64 PacketPos = -1;
  bool Ready = false;
  TAVPicture Picture;  // planes of the decoded picture itself, held by the decoder until the next
};

// The decoder keeps an audio output format and state for symmetry with its video side; nothing
// in this system decodes audio through it.
struct TAudioOutputFormat {
  Integer Channels = 2;
  Integer SampleRate = 44100;
  Integer SampleFormat = AV_SAMPLE_FMT_S16;
};

struct TAudioDecodeState {
  TAudioOutputFormat Format;
  Int64 PTS = AV_NOPTS_VALUE;
  Int64 NextPTS = AV_NOPTS_VALUE;
};

class TFFDecoder : public TCustomDecoder {
 public:
  explicit TFFDecoder(TComponent* AOwner);
  ~TFFDecoder() override;

  void UpdateStreamInfo() override;
  void CloseFile() override;
  virtual void FreeAudioResampler();
  // Position in microseconds (bytes with sfByte); 0 aims half a frame before the first picture
  // once a video stream is selected.
  virtual bool Seek(Int64 Position, TSeekFlags Flags);

  // The next picture of the stream (-1: the selected or the first video stream).
  bool Decode(Integer StreamIndex = -1);
  // After a backward seek: decodes on to the first picture shown at or after Position
  // (microseconds from the stream's start), as a run starting there takes it; at the end of the
  // stream the last picture stands. False when no picture could be decoded.
  bool DecodeTo(Int64 Position, Integer StreamIndex = -1);
  // Bitmap becomes a pf32bit copy of the last picture; black and False when it cannot.
  bool CopyToBitmap(TBitmap* Bitmap);
  bool CanSeek();
  // Raises for a context the decoder did not open itself.
  bool CheckSeekable();
  Integer SelectVideoStream(Integer StreamIndex);
  AVCodecContext* OpenVideoCodec(Integer StreamIndex);
  void ResetVideoState();
  void ResetAudioState();

  AnsiString ClassName() const override { return "TFFDecoder"; }

  AVCodecContext* VideoCodecContext = nullptr;
  TFormatConverter* Converter = nullptr;
  Integer SeekStreamIndex = -1;
  Integer VideoStreamIndex = -1;
  AVRational FrameRate{0, 0};
  bool EndOfStream = false;
  bool Draining = false;
  TDecodedPicture LastPicture;
  uint8_t* PictureBuffer = nullptr;
  Integer PictureBufferSize = 0;
  Int64 PreviousPTS = AV_NOPTS_VALUE;
  TAudioOutputFormat AudioOutputFormat;
  TAudioDecodeState AudioState;

 protected:
  void ApplyOpenOptions() override;

 private:
  struct TPacketFacts {
    Int64 DTS = AV_NOPTS_VALUE;
    Int64 PTS = AV_NOPTS_VALUE;
    Integer StreamIndex = -1;
    Int64 Pos = -1;
  };

  bool IsImage2Input() const;
  void CloseVideoCodec();
  // The reading and decoding loop of Decode, for a stream already selected.
  bool DecodeNext(Integer StreamIndex);
  // A stream time in microseconds from the stream's start, as PresentationUs is reckoned.
  Int64 StreamTimeToUs(Integer StreamIndex, Int64 Time) const;
  // Whether DecodeTo may stop feeding the codec before the packet read: every packet from here
  // on is shown after the best picture already given to it.
  bool TargetAlreadySent(Int64 PacketDtsUs) const;
  // After the codec was emptied early, it holds no reference pictures: seek back and decode on
  // again to LastPicture (or, when none came out, to the time DecodeTo was heading for), so that
  // decoding can go on from there.
  bool ResumeAfterEarlyDrain(Integer StreamIndex);
  // Takes the next picture the decoder holds; 1 with a picture stored, 0 when it needs more
  // input or has nothing left, negative on a decoding error.
  int ReceivePicture();
  // Gives the codec a packet (null: the end of the input); the codec takes input again after
  // having been drained.
  void SendPacket(const AVPacket* Packet);
  bool StorePicture(const AVFrame* Frame);
  // Whether the packet's picture is shown before the time DecodeTo is heading for.
  bool PacketShownBeforeTarget(const AVPacket* Packet) const;
  // The stream's length in microseconds, or AV_NOPTS_VALUE when the file does not tell.
  Int64 StreamEndUs(Integer StreamIndex) const;

  Integer FVideoCodecStream = -1;
  AVPacket* FPacket = nullptr;
  AVFrame* FFrame = nullptr;
  AVFrame* FShownFrame = nullptr;  // a reference to the last picture, whose planes LastPicture shows
  TPacketFacts FLastPacket;
  Integer FLastPacketFlags = 0;
  SwrContext* FAudioResampler = nullptr;
  // Set while DecodeTo runs: pictures shown before it need not be decoded unless referred to.
  Int64 FSkipBeforeUs = AV_NOPTS_VALUE;
  // While DecodeTo runs: the earliest time at or after FSkipBeforeUs among the packets given to
  // the codec; once no later packet can be shown before it, the codec is emptied rather than fed
  // the pictures after it (which a codec with frame threads would otherwise decode first).
  Int64 FBestSentUs = AV_NOPTS_VALUE;
  bool FEarlyDrainAllowed = false;
  bool FDrainedEarly = false;
  Int64 FDrainTargetUs = AV_NOPTS_VALUE;
};
