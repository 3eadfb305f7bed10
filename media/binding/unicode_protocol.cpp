#include "media/binding/unicode_protocol.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>

#include "media/binding/entry_points.h"
#include "media/binding/file_names.h"
#include "media/binding/special_file_io.h"
#include "platform/rtl/strings.h"

namespace {

constexpr int IOBufferSize = 32768;

struct TUnicodeFile {
  int Handle;
};

std::mutex OpenContextsLock;
std::set<const AVIOContext*> OpenContexts;

// The library's own hooks, taken from the first context the engine hooks; they are the same
// for every context.
std::mutex DefaultHooksLock;
decltype(AVFormatContext::io_open) DefaultIOOpen = nullptr;
decltype(AVFormatContext::io_close2) DefaultIOClose2 = nullptr;

bool HasUnicodePrefix(const char* name) { return name && std::strncmp(name, "unicode:", 8) == 0; }

// Called from FFmpeg's frames, which no exception may cross.
extern "C" int HookedIOOpen(AVFormatContext* s, AVIOContext** pb, const char* url, int flags, AVDictionary** options) {
  try {
    if (HasUnicodePrefix(url)) return UnicodeIOOpen(pb, url, flags);
    decltype(AVFormatContext::io_open) fallback;
    {
      std::lock_guard<std::mutex> guard(DefaultHooksLock);
      fallback = DefaultIOOpen;
    }
    if (fallback) return fallback(s, pb, url, flags, options);
    return ff::avio_open2(pb, url, flags, &s->interrupt_callback, options);
  } catch (...) {
    return AVERROR(ENOMEM);
  }
}

extern "C" int HookedIOClose2(AVFormatContext* s, AVIOContext* pb) {
  try {
    if (IsUnicodeIOContext(pb)) return UnicodeIOClose(pb);
    decltype(AVFormatContext::io_close2) fallback;
    {
      std::lock_guard<std::mutex> guard(DefaultHooksLock);
      fallback = DefaultIOClose2;
    }
    if (fallback) return fallback(s, pb);
    return ff::avio_close(pb);
  } catch (...) {
    return AVERROR_BUG;
  }
}

void CloseOwnInputIO(AVIOContext** Pb) {
  if (IsSpecialFileIOContext(*Pb)) CloseSpecialFileIO(Pb);
  else if (*Pb) UnicodeIOClose(*Pb);
  *Pb = nullptr;
}

}  // namespace

void InstallUnicodeIOHooks(AVFormatContext* Context) {
  std::lock_guard<std::mutex> guard(DefaultHooksLock);
  if (Context->io_open != HookedIOOpen) {
    if (!DefaultIOOpen) DefaultIOOpen = Context->io_open;
    Context->io_open = HookedIOOpen;
  }
  if (Context->io_close2 != HookedIOClose2) {
    if (!DefaultIOClose2) DefaultIOClose2 = Context->io_close2;
    Context->io_close2 = HookedIOClose2;
  }
}

int OpenInputFile(AVFormatContext** Context, const char* Url, const AVInputFormat* Format, AVDictionary** Options) {
  if (!*Context) *Context = ff::avformat_alloc_context();
  if (!*Context) return AVERROR(ENOMEM);
  InstallUnicodeIOHooks(*Context);
  AVIOContext* pb = nullptr;
  if (!(*Context)->pb) {
    // A FIFO or device is read in slices that ask the interrupt callback, so a writer that never
    // comes ends in the read time-out or a stop instead of a wait in the kernel.
    const AnsiString local = LocalPathOf(Url);
    int ret = 0;
    if (IsSpecialFile(local))
      ret = OpenSpecialFileIO(&pb, local, (*Context)->interrupt_callback);
    else if (HasUnicodePrefix(Url))
      ret = UnicodeIOOpen(&pb, Url, AVIO_FLAG_READ);
    if (ret < 0) {
      ff::avformat_free_context(*Context);
      *Context = nullptr;
      return ret;
    }
    (*Context)->pb = pb;  // the library treats it as the caller's own I/O and leaves it open
  }
  const int ret = ff::avformat_open_input(Context, Url, Format, Options);
  if (ret < 0) CloseOwnInputIO(&pb);
  return ret;
}

AnsiString LocalPathOf(const char* Url) {
  if (!Url) return AnsiString();
  if (HasUnicodePrefix(Url)) return WideToAnsi(UnicodeProtocolWideName(Url));
  if (std::strncmp(Url, "file:", 5) == 0) return Url + 5;
  const char* protocol = ff::avio_find_protocol_name(Url);
  if (protocol && std::strcmp(protocol, "file") != 0) return AnsiString();
  return Url;
}

void CloseInputFile(AVFormatContext** Context) {
  if (!*Context) return;
  AVIOContext* pb = (*Context)->pb;
  const bool own = IsUnicodeIOContext(pb) || IsSpecialFileIOContext(pb);
  ff::avformat_close_input(Context);
  if (own) CloseOwnInputIO(&pb);
}

int OpenOutputIO(AVFormatContext* Context, const char* Url, AVDictionary** Options) {
  if (Context->oformat && (Context->oformat->flags & AVFMT_NOFILE)) return 0;
  if (HasUnicodePrefix(Url)) return UnicodeIOOpen(&Context->pb, Url, AVIO_FLAG_WRITE);
  return ff::avio_open2(&Context->pb, Url, AVIO_FLAG_WRITE, &Context->interrupt_callback, Options);
}

void CloseOutputIO(AVFormatContext* Context) {
  if (!Context->pb) return;
  if (IsUnicodeIOContext(Context->pb)) UnicodeIOClose(Context->pb);
  else ff::avio_closep(&Context->pb);
  Context->pb = nullptr;
}

int UnicodeIOOpen(AVIOContext** Pb, const char* Name, int Flags) {
  *Pb = nullptr;
  if (!ff::avio_alloc_context || !ff::av_malloc || !ff::av_free) return AVERROR(ENOSYS);
  // File names on this system are bytes; the wide name goes to the kernel as UTF-8.
  const AnsiString path = WideToAnsi(UnicodeProtocolWideName(Name));
  const bool canRead = Flags & AVIO_FLAG_READ;
  const bool canWrite = Flags & AVIO_FLAG_WRITE;
  int mode = O_RDONLY;
  if (canRead && canWrite) mode = O_RDWR | O_CREAT | O_TRUNC;
  else if (canWrite) mode = O_WRONLY | O_CREAT | O_TRUNC;
  const int handle = ::open(path.c_str(), mode | O_CLOEXEC, 0666);
  if (handle < 0) return -2;
  auto* file = new TUnicodeFile{handle};
  auto* buffer = static_cast<unsigned char*>(ff::av_malloc(IOBufferSize));
  AVIOContext* pb = buffer ? ff::avio_alloc_context(buffer, IOBufferSize, canWrite ? 1 : 0, file, UnicodeProtocolRead,
                                                    canWrite ? UnicodeProtocolWrite : nullptr, UnicodeProtocolSeek)
                           : nullptr;
  if (!pb) {
    ff::av_free(buffer);
    ::close(handle);
    delete file;
    return AVERROR(ENOMEM);
  }
  {
    std::lock_guard<std::mutex> guard(OpenContextsLock);
    OpenContexts.insert(pb);
  }
  *Pb = pb;
  return 0;
}

bool IsUnicodeIOContext(const AVIOContext* Pb) {
  std::lock_guard<std::mutex> guard(OpenContextsLock);
  return Pb && OpenContexts.count(Pb) != 0;
}

int UnicodeIOClose(AVIOContext* Pb) {
  if (!Pb) return 0;
  {
    std::lock_guard<std::mutex> guard(OpenContextsLock);
    OpenContexts.erase(Pb);
  }
  if (Pb->write_flag) ff::avio_flush(Pb);
  auto* file = static_cast<TUnicodeFile*>(Pb->opaque);
  const int failed = file ? ::close(file->Handle) : 0;
  delete file;
  ff::av_freep(&Pb->buffer);
  ff::avio_context_free(&Pb);
  return failed ? -1 : 0;
}

extern "C" int UnicodeProtocolRead(void* Opaque, uint8_t* Buffer, int Size) {
  const auto* file = static_cast<TUnicodeFile*>(Opaque);
  ssize_t n;
  do {
    n = ::read(file->Handle, Buffer, static_cast<size_t>(Size));
  } while (n < 0 && errno == EINTR);
  if (n < 0) return -1;
  // FFmpeg 5.1 wants the end of the file said in so many words.
  return n == 0 ? AVERROR_EOF : static_cast<int>(n);
}

extern "C" int UnicodeProtocolWrite(void* Opaque, uint8_t* Buffer, int Size) {
  const auto* file = static_cast<TUnicodeFile*>(Opaque);
  int done = 0;
  while (done < Size) {
    const ssize_t n = ::write(file->Handle, Buffer + done, static_cast<size_t>(Size - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    done += static_cast<int>(n);
  }
  return done;
}

extern "C" int64_t UnicodeProtocolSeek(void* Opaque, int64_t Position, int Whence) {
  const auto* file = static_cast<TUnicodeFile*>(Opaque);
  if (Whence & AVSEEK_SIZE) {
    struct stat st {};
    return ::fstat(file->Handle, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
  }
  const off_t result = ::lseek(file->Handle, static_cast<off_t>(Position), Whence & ~AVSEEK_FORCE);
  return result < 0 ? -1 : static_cast<int64_t>(result);
}
