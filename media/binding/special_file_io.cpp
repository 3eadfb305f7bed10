#include "media/binding/special_file_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "media/binding/entry_points.h"

namespace {

constexpr int IOBufferSize = 32768;
constexpr int WaitSliceMs = 20;

struct TSpecialFile {
  int Handle;
  AVIOInterruptCB Interrupt;
  // A FIFO reads as ended while no writer has come yet; only after the first bytes does an
  // empty read mean the end.
  bool Delivered;
};

bool Interrupted(const TSpecialFile& file) {
  return file.Interrupt.callback && file.Interrupt.callback(file.Interrupt.opaque) != 0;
}

// Called from FFmpeg's frames: no exception may leave.
extern "C" int SpecialFileRead(void* Opaque, uint8_t* Buffer, int Size) {
  auto* file = static_cast<TSpecialFile*>(Opaque);
  for (;;) {
    const ssize_t n = ::read(file->Handle, Buffer, static_cast<size_t>(Size));
    if (n > 0) {
      file->Delivered = true;
      return static_cast<int>(n);
    }
    if (n == 0 && file->Delivered) return AVERROR_EOF;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return AVERROR(errno);
    if (Interrupted(*file)) return AVERROR_EXIT;
    if (n == 0) {
      // No writer: poll would answer at once, so pause instead.
      ::usleep(WaitSliceMs * 1000);
    } else {
      pollfd p{file->Handle, POLLIN, 0};
      ::poll(&p, 1, WaitSliceMs);
    }
  }
}

}  // namespace

bool IsSpecialFile(const AnsiString& Path) {
  struct stat st {};
  if (Path.empty() || ::stat(Path.c_str(), &st) != 0) return false;
  return !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

int OpenSpecialFileIO(AVIOContext** Pb, const AnsiString& Path, AVIOInterruptCB Interrupt) {
  *Pb = nullptr;
  // Non-blocking, so that opening a FIFO does not wait in the kernel for its writer either.
  const int handle = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (handle < 0) return AVERROR(errno);
  auto* file = new TSpecialFile{handle, Interrupt, false};
  auto* buffer = static_cast<unsigned char*>(ff::av_malloc(IOBufferSize));
  AVIOContext* pb =
      buffer ? ff::avio_alloc_context(buffer, IOBufferSize, 0, file, SpecialFileRead, nullptr, nullptr) : nullptr;
  if (!pb) {
    ff::av_free(buffer);
    ::close(handle);
    delete file;
    return AVERROR(ENOMEM);
  }
  pb->seekable = 0;
  *Pb = pb;
  return 0;
}

bool IsSpecialFileIOContext(const AVIOContext* Pb) { return Pb && Pb->read_packet == SpecialFileRead; }

void CloseSpecialFileIO(AVIOContext** Pb) {
  if (!*Pb) return;
  auto* file = static_cast<TSpecialFile*>((*Pb)->opaque);
  if (file) {
    ::close(file->Handle);
    delete file;
  }
  ff::av_freep(&(*Pb)->buffer);
  ff::avio_context_free(Pb);
}
