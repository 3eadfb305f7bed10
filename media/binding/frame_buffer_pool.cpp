#include "media/binding/frame_buffer_pool.h"

#include <mutex>

#include "media/binding/entry_points.h"
#include "media/binding/ffmpeg_exception.h"

// FFmpeg's frame threads ask for buffers and let them go on their own threads, so the pool is
// locked.
struct TFrameBufferPoolState {
  std::mutex Lock;
  TFrameBuffer* Head = nullptr;
  int Allocated = 0;
  int FreeCount = 0;
  bool Closed = false;
};

namespace {

void FreeFrameBuffer(TFrameBuffer* buffer) {
  ff::av_freep(&buffer->Base[0]);
  delete buffer;
}

void FreePooledList(TFrameBufferPoolState& state) {
  while (state.Head) {
    TFrameBuffer* b = state.Head;
    state.Head = b->Next;
    --state.FreeCount;
    b->Pool.reset();
    FreeFrameBuffer(b);
  }
}

// Called from FFmpeg's frames, which no exception may cross.
extern "C" void ReleasePooledBuffer(void* opaque, uint8_t*) {
  try {
    UnrefFrameBuffer(static_cast<TFrameBuffer*>(opaque));
  } catch (...) {
  }
}

int GetPooledBuffer(AVCodecContext* Context, AVFrame* Frame, int Flags);

}  // namespace

TFrameBufferPool::TFrameBufferPool() : FState(std::make_shared<TFrameBufferPoolState>()) {}

TFrameBufferPool::~TFrameBufferPool() { FreeBufferPool(); }

void TFrameBufferPool::FreeBufferPool() {
  std::lock_guard<std::mutex> guard(FState->Lock);
  FState->Closed = true;
  FreePooledList(*FState);
}

void TFrameBufferPool::Attach(AVCodecContext* Context) {
  std::lock_guard<std::mutex> guard(FState->Lock);
  FState->Closed = false;
  Context->opaque = this;
  Context->get_buffer2 = CodecGetBuffer;
}

int TFrameBufferPool::Allocated() const {
  std::lock_guard<std::mutex> guard(FState->Lock);
  return FState->Allocated;
}

int TFrameBufferPool::FreeCount() const {
  std::lock_guard<std::mutex> guard(FState->Lock);
  return FState->FreeCount;
}

int AllocFrameBuffer(const std::shared_ptr<TFrameBufferPoolState>& Pool, int Width, int Height, AVPixelFormat PixFmt,
                     AVCodecContext* Context, TFrameBuffer** Buffer) {
  *Buffer = nullptr;
  if (!ff::av_pix_fmt_desc_get(PixFmt)) return AVERROR(EINVAL);
  int w = Width, h = Height;
  int strideAlign[AV_NUM_DATA_POINTERS];
  ff::avcodec_align_dimensions2(Context, &w, &h, strideAlign);
  auto* buffer = new (std::nothrow) TFrameBuffer{};
  if (!buffer) return AVERROR(ENOMEM);
  // 64-byte rows and planes satisfy every SIMD path of the decoders.
  const int ret = ff::av_image_alloc(buffer->Base, buffer->Linesize, w, h, PixFmt, 64);
  if (ret < 0) {
    ff::av_log(Context, AV_LOG_ERROR, "alloc_buffer: av_image_alloc() failed\n");
    delete buffer;
    return ret;
  }
  for (int i = 0; i < 4; ++i) buffer->Data[i] = buffer->Base[i];
  buffer->Width = Width;
  buffer->Height = Height;
  buffer->PixFmt = PixFmt;
  buffer->Pool = Pool;
  *Buffer = buffer;
  return 0;
}

int CodecGetBuffer(AVCodecContext* Context, AVFrame* Frame, int Flags) {
  try {
    return GetPooledBuffer(Context, Frame, Flags);
  } catch (...) {
    return AVERROR_BUG;
  }
}

namespace {

int GetPooledBuffer(AVCodecContext* Context, AVFrame* Frame, int Flags) {
  if (Context->codec_type != AVMEDIA_TYPE_VIDEO || !(Context->codec->capabilities & AV_CODEC_CAP_DR1)) {
    return ff::avcodec_default_get_buffer2(Context, Frame, Flags);
  }
  const auto pixFmt = static_cast<AVPixelFormat>(Frame->format);
  if (ff::av_image_check_size(Frame->width, Frame->height, 0, Context) < 0 || pixFmt == AV_PIX_FMT_NONE) {
    ff::av_log(Context, AV_LOG_ERROR, "codec_get_buffer: image parameters invalid\n");
    return -1;
  }
  auto* pool = static_cast<TFrameBufferPool*>(Context->opaque);
  const std::shared_ptr<TFrameBufferPoolState> state = pool->State();
  TFrameBuffer* buffer = nullptr;
  {
    std::lock_guard<std::mutex> guard(state->Lock);
    buffer = state->Head;
    if (buffer) {
      state->Head = buffer->Next;
      buffer->Next = nullptr;
      --state->FreeCount;
      if (buffer->Width != Frame->width || buffer->Height != Frame->height || buffer->PixFmt != pixFmt) {
        buffer->Pool.reset();
        FreeFrameBuffer(buffer);
        buffer = nullptr;
      }
    }
  }
  if (!buffer) {
    const int ret = AllocFrameBuffer(state, Frame->width, Frame->height, pixFmt, Context, &buffer);
    if (ret < 0) return ret;
    std::lock_guard<std::mutex> guard(state->Lock);
    ++state->Allocated;
  }
  EngineAssert(buffer->RefCount == 0, "Pooled buffer still referenced");
  buffer->RefCount = 1;
  Frame->buf[0] = ff::av_buffer_create(reinterpret_cast<uint8_t*>(buffer), sizeof(TFrameBuffer), ReleasePooledBuffer,
                                       buffer, 0);
  if (!Frame->buf[0]) {
    UnrefFrameBuffer(buffer);
    return AVERROR(ENOMEM);
  }
  for (int i = 0; i < 4; ++i) {
    Frame->data[i] = buffer->Data[i];
    Frame->linesize[i] = buffer->Linesize[i];
  }
  Frame->extended_data = Frame->data;
  return 0;
}

}  // namespace

void UnrefFrameBuffer(TFrameBuffer* Buffer) {
  EngineAssert(Buffer->RefCount > 0, "Pooled buffer released twice");
  if (--Buffer->RefCount > 0) return;
  std::shared_ptr<TFrameBufferPoolState> state = Buffer->Pool;
  std::lock_guard<std::mutex> guard(state->Lock);
  if (state->Closed) {
    Buffer->Pool.reset();
    FreeFrameBuffer(Buffer);
    return;
  }
  for (TFrameBuffer* b = state->Head; b; b = b->Next) EngineAssert(b != Buffer, "Buffer already in its pool");
  Buffer->Next = state->Head;
  state->Head = Buffer;
  ++state->FreeCount;
}
