#include "platform/rtl/replacing_file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <random>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/files.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"

namespace {

// Room left in a 255-byte file name for the dot, the random part and ".tmp".
constexpr size_t kMaxBaseBytes = 200;

AnsiString RandomPart() {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 Generator(std::random_device{}() ^
                                         UInt64(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                                         UInt64(::getpid()) << 32);
  AnsiString Part(8, ' ');
  for (char& C : Part) C = kChars[Generator() % (sizeof(kChars) - 1)];
  return Part;
}

// A long name is shortened for the temporary file without cutting a UTF-8 character in two.
AnsiString ShortenedBase(AnsiString Base) {
  if (Base.size() <= kMaxBaseBytes) return Base;
  size_t End = kMaxBaseBytes;
  while (End > 0 && (Byte(Base[End]) & 0xC0) == 0x80) --End;
  Base.resize(End);
  return Base;
}

[[noreturn]] void RaiseCreate(const AnsiString& FileName, int Error) {
  throw EFCreateError(Format("Cannot create file \"%s\". %s", ExpandFileName(FileName), SysErrorMessage(Error)));
}

}  // namespace

TReplacingFileStream::TReplacingFileStream(const AnsiString& FileName)
    : THandleStream(-1), FFileName(FileName), FTarget(FileName) {
  if (FileName.empty()) RaiseCreate(FileName, ENOENT);
  struct stat Old {};
  const bool Exists = ::stat(FileName.c_str(), &Old) == 0;
  if (Exists && S_ISDIR(Old.st_mode)) RaiseCreate(FileName, EISDIR);
  if (Exists && !S_ISREG(Old.st_mode)) {
    // A device or a FIFO has no contents of its own to keep, and renaming a file over it would
    // take its place in the folder.
    FHandle = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FHandle < 0) RaiseCreate(FileName, errno);
    return;
  }
  // Through a symbolic link the file it points at is replaced; the link stays a link.
  if (Exists) {
    struct stat Link {};
    if (::lstat(FileName.c_str(), &Link) == 0 && S_ISLNK(Link.st_mode))
      if (char* Real = ::realpath(FileName.c_str(), nullptr)) {
        FTarget = Real;
        std::free(Real);
      }
  }
  const size_t Slash = FTarget.rfind('/');
  const AnsiString Folder = Slash == AnsiString::npos ? AnsiString() : FTarget.substr(0, Slash + 1);
  const AnsiString Base = ShortenedBase(FTarget.substr(Slash == AnsiString::npos ? 0 : Slash + 1));
  for (int Attempt = 0;; ++Attempt) {
    FTempName = Folder + "." + Base + "." + RandomPart() + ".tmp";
    // Created with the usual mode, so the umask applies as it does to any new file.
    FHandle = ::open(FTempName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (FHandle >= 0) break;
    const int Error = errno;
    if (Error != EEXIST || Attempt >= 100) {
      FTempName.clear();
      RaiseCreate(FileName, Error);
    }
  }
  if (Exists) {
    // Owner first: a change of owner clears the set-id bits, which the mode then restores.
    // Either may be refused to an ordinary user; the file is then simply the user's own.
    if (Old.st_uid != ::geteuid() || Old.st_gid != ::getegid()) (void)!::fchown(FHandle, Old.st_uid, Old.st_gid);
    (void)!::fchmod(FHandle, Old.st_mode & 07777);
  }
}

TReplacingFileStream::~TReplacingFileStream() { Discard(); }

Integer TReplacingFileStream::Write(const void* Buffer, Integer Count) {
  errno = 0;
  const Integer Put = THandleStream::Write(Buffer, Count);
  if (Put < Count && FWriteErrno == 0) FWriteErrno = errno != 0 ? errno : EIO;
  return Put;
}

AnsiString TReplacingFileStream::WriteError() const { return FWriteErrno ? SysErrorMessage(FWriteErrno) : AnsiString(); }

void TReplacingFileStream::Discard() {
  if (FHandle >= 0) ::close(FHandle);
  FHandle = -1;
  if (!FTempName.empty()) ::unlink(FTempName.c_str());
  FTempName.clear();
  FDone = true;
}

void TReplacingFileStream::FailCommit(int Error) {
  Discard();
  RaiseCreate(FFileName, Error);
}

void TReplacingFileStream::Commit() {
  if (FDone) return;
  if (FWriteErrno != 0) FailCommit(FWriteErrno);
  if (FTempName.empty()) {  // written in place
    FDone = true;
    return;
  }
  // Some file systems report a full disk only when the data reaches it.
  if (::fsync(FHandle) != 0) FailCommit(errno);
  const int Handle = FHandle;
  FHandle = -1;
  if (::close(Handle) != 0 && errno != EINTR) FailCommit(errno);
  if (::rename(FTempName.c_str(), FTarget.c_str()) != 0) FailCommit(errno);
  FTempName.clear();
  FDone = true;
  // The new name lasts through a crash once the folder itself is on the disk.
  const size_t Slash = FTarget.rfind('/');
  const AnsiString Folder = Slash == AnsiString::npos ? AnsiString(".") : FTarget.substr(0, Slash + 1);
  const int Dir = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Dir >= 0) {
    (void)::fsync(Dir);
    ::close(Dir);
  }
}
