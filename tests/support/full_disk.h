// A folder on a file system that is full, for saves that must fail cleanly when the disk fills
// up. Tests (and CI) run as root, so it is a small tmpfs mounted for the test, filled up with a
// filler file once the test's own files are in it. Where mounting is refused, the same refusal
// comes from a file size limit (RLIMIT_FSIZE, with SIGXFSZ ignored) instead: every write past
// the limit fails, as on a full disk, and the test still checks what it should rather than
// passing silently.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <string>
#include <vector>

namespace testsupport {

class TFullDisk {
 public:
  TFullDisk();
  ~TFullDisk();
  TFullDisk(const TFullDisk&) = delete;
  TFullDisk& operator=(const TFullDisk&) = delete;

  const std::string& Path() const { return FPath; }
  std::string operator/(const std::string& Name) const { return FPath + "/" + Name; }

  // Takes the room that is left, keeping Room bytes free (rounded down to whole pages on the
  // tmpfs; with the size limit, files may grow to Room bytes). Call it once the test's own
  // files are in place.
  void Fill(long Room = 0);
  // The system's text for the refusal a write then meets ("No space left on device", or
  // "File too large" under the size limit).
  std::string Cause() const;
  // The names in the folder, without the filler, sorted.
  std::vector<std::string> Entries() const;
  bool Mounted() const { return FMounted; }

 private:
  std::string FPath;
  bool FMounted = false;
  bool FLimited = false;
  rlimit FOldLimit{};
  struct sigaction FOldAction {};
};

}  // namespace testsupport
