// Writing a new version of a file: the target changes only on Commit, whole, with the mode it
// had (or the umask's for a new file); whatever stops the writing first leaves it untouched and
// no temporary file behind.
#include "platform/rtl/replacing_file_stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/rtl/exceptions.h"
#include "tests/support/fixtures.h"
#include "tests/support/full_disk.h"

namespace {

namespace fs = std::filesystem;

std::string Contents(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), {});
}

void Put(const std::string& Path, const std::string& Text) { std::ofstream(Path, std::ios::binary) << Text; }

std::vector<std::string> Entries(const std::string& Folder) {
  std::vector<std::string> Names;
  for (const auto& E : fs::directory_iterator(Folder)) Names.push_back(E.path().filename().string());
  std::sort(Names.begin(), Names.end());
  return Names;
}

mode_t ModeOf(const std::string& Path) {
  struct stat St {};
  EXPECT_EQ(::stat(Path.c_str(), &St), 0) << Path;
  return St.st_mode & 07777;
}

void WriteText(TStream& S, const std::string& Text) { S.WriteBuffer(Text.data(), Int64(Text.size())); }

struct TFolder {
  std::string Path = testsupport::MakeTempDir("replace");
  ~TFolder() { testsupport::RemoveTree(Path); }
  std::string operator/(const std::string& Name) const { return Path + "/" + Name; }
};

TEST(ReplacingFileStream, TheTargetChangesOnlyOnCommit) {
  TFolder Dir;
  const std::string Target = Dir / "picture.bmp";
  Put(Target, "old");
  ASSERT_EQ(::chmod(Target.c_str(), 0604), 0);
  {
    TReplacingFileStream S(Target);
    WriteText(S, "new contents");
    EXPECT_EQ(Contents(Target), "old");  // nothing reaches the target while writing
    EXPECT_EQ(Entries(Dir.Path).size(), 2u);
  }
  EXPECT_EQ(Contents(Target), "old");  // destroyed uncommitted
  EXPECT_EQ(Entries(Dir.Path), std::vector<std::string>{"picture.bmp"});
  {
    TReplacingFileStream S(Target);
    WriteText(S, "new contents");
    S.Commit();
  }
  EXPECT_EQ(Contents(Target), "new contents");
  EXPECT_EQ(ModeOf(Target), mode_t(0604));
  EXPECT_EQ(Entries(Dir.Path), std::vector<std::string>{"picture.bmp"});

  // A new file gets the mode the umask leaves.
  const mode_t Old = ::umask(027);
  {
    TReplacingFileStream S(Dir / "new.bmp");
    WriteText(S, "x");
    S.Commit();
  }
  ::umask(Old);
  EXPECT_EQ(ModeOf(Dir / "new.bmp"), mode_t(0640));
}

TEST(ReplacingFileStream, LinksStayLinksAndDevicesAreWrittenInPlace) {
  TFolder Dir;
  Put(Dir / "real.png", "old");
  fs::create_symlink("real.png", Dir / "link.png");
  {
    TReplacingFileStream S(Dir / "link.png");
    WriteText(S, "through the link");
    S.Commit();
  }
  EXPECT_TRUE(fs::is_symlink(Dir / "link.png"));
  EXPECT_EQ(Contents(Dir / "real.png"), "through the link");

  // A device node is no file to replace: the bytes go to the device, which stays.
  ASSERT_EQ(::mknod((Dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0) << "mknod needs root, as CI has";
  {
    TReplacingFileStream S(Dir / "null");
    WriteText(S, "discarded");
    S.Commit();
  }
  EXPECT_TRUE(fs::is_character_file(Dir / "null"));
  EXPECT_EQ(Entries(Dir.Path), (std::vector<std::string>{"link.png", "null", "real.png"}));
}

TEST(ReplacingFileStream, WhatCannotBeCreatedNamesTheFileAndTheCause) {
  TFolder Dir;
  fs::create_directory(Dir / "folder");
  const struct {
    std::string Name, Cause;
  } Cases[] = {{Dir / "folder", "Is a directory"}, {Dir / "missing/a.png", "No such file or directory"}};
  for (const auto& C : Cases) {
    try {
      TReplacingFileStream S(C.Name);
      ADD_FAILURE() << C.Name << " was opened";
    } catch (const EFCreateError& E) {
      EXPECT_EQ(E.Message, "Cannot create file \"" + C.Name + "\". " + C.Cause);
    }
  }
  EXPECT_EQ(Entries(Dir.Path), std::vector<std::string>{"folder"});
}

TEST(ReplacingFileStream, AFullDiskFailsTheCommitAndKeepsTheTarget) {
  testsupport::TFullDisk Disk;
  const std::string Target = Disk / "picture.bmp";
  Put(Target, "old");
  Disk.Fill(4096);
  TReplacingFileStream S(Target);
  const std::string Big(20000, 'n');
  EXPECT_LT(S.Write(Big.data(), Integer(Big.size())), Integer(Big.size()));
  EXPECT_EQ(S.WriteError(), Disk.Cause());
  try {
    S.Commit();
    ADD_FAILURE() << "a short write was committed";
  } catch (const EFCreateError& E) {
    EXPECT_EQ(E.Message, "Cannot create file \"" + Target + "\". " + Disk.Cause());
  }
  EXPECT_EQ(Contents(Target), "old");
  EXPECT_EQ(Disk.Entries(), std::vector<std::string>{"picture.bmp"});
}

}  // namespace
