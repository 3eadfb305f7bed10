#include "media/engine/output_watch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

TOutputWatch::~TOutputWatch() {
  if (FHandle >= 0) ::close(FHandle);
}

bool TOutputWatch::Watch(const AnsiString& Path) {
  if (FHandle >= 0) {
    ::close(FHandle);
    FHandle = -1;
  }
  // O_PATH opens without reading rights and without side effects on devices or FIFOs.
  const int handle = ::open(Path.c_str(), O_PATH | O_CLOEXEC);
  if (handle < 0) return false;
  struct stat st {};
  if (::fstat(handle, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
    ::close(handle);
    return false;
  }
  FHandle = handle;
  FPath = Path;
  FDevice = st.st_dev;
  FInode = st.st_ino;
  return true;
}

bool TOutputWatch::Gone() const {
  if (FHandle < 0) return false;
  struct stat held {};
  if (::fstat(FHandle, &held) == 0 && held.st_nlink == 0) return true;
  struct stat named {};
  // Only a name that leads nowhere counts: a folder closed to this user still holds the file.
  if (::stat(FPath.c_str(), &named) != 0) return errno == ENOENT || errno == ENOTDIR;
  return named.st_dev != FDevice || named.st_ino != FInode;
}

AnsiString FolderOfPath(const AnsiString& Path) {
  const size_t slash = Path.find_last_of('/');
  if (slash == AnsiString::npos) return ".";
  return Path.substr(0, slash == 0 ? 1 : slash);
}

bool FolderMissing(const AnsiString& Folder) {
  struct stat st {};
  if (::stat(Folder.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR;
  return !S_ISDIR(st.st_mode);
}
