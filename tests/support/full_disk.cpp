#include "tests/support/full_disk.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tests/support/fixtures.h"

namespace testsupport {

namespace {
constexpr const char* kFiller = ".filler";
}

TFullDisk::TFullDisk() : FPath(MakeTempDir("fulldisk")) {
  FMounted = ::mount("tmpfs", FPath.c_str(), "tmpfs", 0, "size=64k") == 0;
}

TFullDisk::~TFullDisk() {
  if (FLimited) {
    ::setrlimit(RLIMIT_FSIZE, &FOldLimit);
    ::sigaction(SIGXFSZ, &FOldAction, nullptr);
  }
  if (FMounted && ::umount2(FPath.c_str(), MNT_DETACH) != 0) ADD_FAILURE() << "cannot unmount " << FPath;
  RemoveTree(FPath);
}

void TFullDisk::Fill(long Room) {
  if (!FMounted) {
    // Writes past the limit fail with EFBIG instead of killing the process.
    struct sigaction Ignore {};
    Ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &Ignore, &FOldAction);
    ::getrlimit(RLIMIT_FSIZE, &FOldLimit);
    rlimit Limit = FOldLimit;
    Limit.rlim_cur = rlim_t(std::max(Room, 1L));
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Limit), 0) << std::strerror(errno);
    FLimited = true;
    return;
  }
  const std::string Filler = *this / kFiller;
  const int Fd = ::open(Filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(Fd, 0) << std::strerror(errno);
  const std::vector<char> Block(4096, 'f');
  long Size = 0;
  for (;;) {
    const ssize_t Put = ::write(Fd, Block.data(), Block.size());
    if (Put <= 0) break;
    Size += Put;
  }
  const int Error = errno;
  EXPECT_EQ(Error, ENOSPC) << std::strerror(Error);
  if (Room > 0) {
    EXPECT_EQ(::ftruncate(Fd, std::max(0L, Size - Room)), 0);
  }
  ::close(Fd);
}

std::string TFullDisk::Cause() const { return std::strerror(FMounted ? ENOSPC : EFBIG); }

std::vector<std::string> TFullDisk::Entries() const {
  std::vector<std::string> Names;
  for (const auto& E : std::filesystem::directory_iterator(FPath))
    if (E.path().filename() != kFiller) Names.push_back(E.path().filename().string());
  std::sort(Names.begin(), Names.end());
  return Names;
}

}  // namespace testsupport
