// Pooled picture buffers for video decoders: the decoder's get_buffer2 takes a free buffer of
// the right size from the pool, and a frame's last reference puts it back, so decoded pictures
// can be kept and their memory reused.
#pragma once

#include <memory>

#include "media/binding/ffmpeg_headers.h"

struct TFrameBufferPoolState;

struct TFrameBuffer {
  uint8_t* Base[4];
  uint8_t* Data[4];
  int Linesize[4];
  int Height;
  int Width;
  AVPixelFormat PixFmt;
  int RefCount;
  // The pool it returns to; it keeps the pool's state alive while the buffer is out.
  std::shared_ptr<TFrameBufferPoolState> Pool;
  TFrameBuffer* Next;
};

class TFrameBufferPool {
 public:
  TFrameBufferPool();
  // Frees the free buffers; a buffer still held by a frame is freed when its frame lets it go.
  ~TFrameBufferPool();
  TFrameBufferPool(const TFrameBufferPool&) = delete;
  TFrameBufferPool& operator=(const TFrameBufferPool&) = delete;

  // Makes a decoder take its video pictures from this pool: sets its get_buffer2 and points its
  // opaque at the pool. Call before avcodec_open2.
  void Attach(AVCodecContext* Context);
  // Buffers made so far, and buffers waiting in the pool.
  int Allocated() const;
  int FreeCount() const;
  void FreeBufferPool();
  const std::shared_ptr<TFrameBufferPoolState>& State() const { return FState; }

 private:
  std::shared_ptr<TFrameBufferPoolState> FState;

};

// A zeroed buffer for the context's picture size; 0 or a negative FFmpeg error code.
int AllocFrameBuffer(const std::shared_ptr<TFrameBufferPoolState>& Pool, int Width, int Height, AVPixelFormat PixFmt,
                     AVCodecContext* Context, TFrameBuffer** Buffer);
// The get_buffer2 callback; the context's opaque is the pool.
int CodecGetBuffer(AVCodecContext* Context, AVFrame* Frame, int Flags);
// Drops one reference; the last puts the buffer back at the head of its pool.
void UnrefFrameBuffer(TFrameBuffer* Buffer);
