#include "imaging/core/ie_wide_file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/files.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"

namespace {

// A folder opened read-only would succeed on Linux but is no file to read an image from.
int RefuseFolder(int fd) {
  struct stat st;
  if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return -1;
  }
  return fd;
}

}  // namespace

int IEFileCreateW(const WideString& FileName) {
  AnsiString name = WideToAnsi(FileName);
  return RefuseFolder(::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
}

int IEFileOpenW(const WideString& FileName, Word Mode) {
  if ((Mode & 3) > 2 || (Mode & 0xF0) > 0x40) {
    errno = EINVAL;
    return -1;
  }
  static constexpr int access[] = {O_RDONLY, O_WRONLY, O_RDWR};
  AnsiString name = WideToAnsi(FileName);
  return RefuseFolder(::open(name.c_str(), access[Mode & 3] | O_CLOEXEC));
}

TIEWideFileStream::TIEWideFileStream(const WideString& FileName, Word Mode) : THandleStream(-1) {
  bool create = Mode == ieFileCreateMode || Mode == fmCreate;
  FHandle = create ? IEFileCreateW(FileName) : IEFileOpenW(FileName, Mode);
  if (FHandle < 0) {
    int err = errno;
    AnsiString full = ExpandFileName(WideToAnsi(FileName));
    if (create) throw EFCreateError(Format("Cannot create file \"%s\". %s", full, SysErrorMessage(err)));
    throw EFOpenError(Format("Cannot open file \"%s\". %s", full, SysErrorMessage(err)));
  }
}

TIEWideFileStream::~TIEWideFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}
