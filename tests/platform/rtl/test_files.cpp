#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>

#include "platform/rtl/files.h"
#include "tests/support/fixtures.h"

namespace {

void WriteFile(const AnsiString& name, const std::string& bytes) { std::ofstream(name, std::ios::binary) << bytes; }

// Every entry FindFirst/FindNext give for pattern, as name -> attributes.
std::map<AnsiString, Integer> List(const AnsiString& pattern, Integer attr) {
  std::map<AnsiString, Integer> found;
  TSearchRec rec;
  for (int rc = FindFirst(pattern, attr, rec); rc == 0; rc = FindNext(rec)) {
    EXPECT_FALSE(found.count(rec.Name)) << "listed twice: " << rec.Name;
    found[rec.Name] = rec.Attr;
  }
  FindClose(rec);
  return found;
}

class TempTree : public ::testing::Test {
 protected:
  void SetUp() override { root_ = IncludeTrailingPathDelimiter(testsupport::MakeTempDir("files")); }
  void TearDown() override {
    chmod((root_ + "locked.txt").c_str(), 0644);
    testsupport::RemoveTree(root_);
  }
  AnsiString root_;
};

}  // namespace

TEST(PathNames, ExtractionTable) {
  struct Case { const char* name; const char* path; const char* dir; const char* file; const char* ext; };
  const Case cases[] = {
      {"/a/b/c.txt", "/a/b/", "/a/b", "c.txt", ".txt"},
      {"/c.tar.gz", "/", "/", "c.tar.gz", ".gz"},
      {"/a.d/file", "/a.d/", "/a.d", "file", ""},   // a dot in a folder name is no extension
      {"rel/x.JPG", "rel/", "rel", "x.JPG", ".JPG"},
      {"noext", "", "", "noext", ""},
      {"/a/.hidden", "/a/", "/a", ".hidden", ".hidden"},
      {"/a/b/", "/a/b/", "/a/b", "", ""},
      {"c:video.mp4", "", "", "c:video.mp4", ".mp4"},  // ":" is an ordinary character
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.name), c.path) << c.name;
    EXPECT_EQ(ExtractFileDir(c.name), c.dir) << c.name;
    EXPECT_EQ(ExtractFileName(c.name), c.file) << c.name;
    EXPECT_EQ(ExtractFileExt(c.name), c.ext) << c.name;
  }
  EXPECT_EQ(ChangeFileExt("/v/clip.mp4", ".bmp"), "/v/clip.bmp");
  EXPECT_EQ(ChangeFileExt("/v.d/clip", ".bmp"), "/v.d/clip.bmp");
  EXPECT_EQ(ChangeFileExt("clip.tar.gz", ""), "clip.tar");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp"), "/tmp/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp/"), "/tmp/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/tmp/"), "/tmp");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
}

TEST(PathNames, ExpandFileNameResolvesDotsAsText) {
  const AnsiString cwd = GetCurrentDir();
  struct Case { AnsiString in, want; };
  const Case cases[] = {
      {"/a/./b/../c", "/a/c"},
      {"/a//b///c", "/a/b/c"},
      {"/../../x", "/x"},
      {"/a/b/..", "/a"},
      {"/a/b/", "/a/b/"},
      {"/", "/"},
      {"sub/../f.txt", IncludeTrailingPathDelimiter(cwd) + "f.txt"},
      {".", cwd},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandFileName(c.in), c.want) << c.in;
}

TEST_F(TempTree, FindFirstListsByMaskAndAttributes) {
  WriteFile(root_ + "a.jpg", "12345");
  WriteFile(root_ + "B.JPG", "1");
  WriteFile(root_ + "c.png", "");
  WriteFile(root_ + "noext", "");
  WriteFile(root_ + ".hidden.jpg", "");
  WriteFile(root_ + "locked.txt", "");
  chmod((root_ + "locked.txt").c_str(), 0444);
  ASSERT_TRUE(CreateDir(root_ + "sub.jpg"));
  ASSERT_TRUE(CreateDir(root_ + "folder"));

  using M = std::map<AnsiString, Integer>;
  EXPECT_EQ(List(root_ + "*.jpg", 0), (M{{"B.JPG", faArchive}, {"a.jpg", faArchive}}));
  EXPECT_EQ(List(root_ + "*.jpg", faDirectory | faHidden),
            (M{{"B.JPG", faArchive}, {"a.jpg", faArchive}, {".hidden.jpg", faArchive | faHidden}, {"sub.jpg", faDirectory}}));
  // Ordinary files always come; "*.*" matches names without a dot too; "." and ".." never.
  const M all = List(root_ + "*.*", faAnyFile);
  EXPECT_EQ(all.size(), 8u);
  EXPECT_EQ(all.at("locked.txt"), faArchive | faReadOnly);
  EXPECT_EQ(all.at("noext"), faArchive);
  EXPECT_EQ(all.at("folder"), faDirectory);
  EXPECT_FALSE(all.count(".") || all.count(".."));
  EXPECT_EQ(List(root_ + "?.PNG", faAnyFile), (M{{"c.png", faArchive}}));
  EXPECT_EQ(List(root_ + "folder", faDirectory), (M{{"folder", faDirectory}}));
  EXPECT_TRUE(List(root_ + "folder", 0).empty());

  WriteFile(root_ + "\xC3\x89mile.jpg", "");  // "Émile.jpg": case folding beyond ASCII
  EXPECT_EQ(List(root_ + "\xC3\xA9MILE.*", 0), (M{{"\xC3\x89mile.jpg", faArchive}}));
  // Bytes that are no UTF-8 (a Latin-1 name) match only themselves.
  WriteFile(root_ + "\xE9t\xE9.txt", "");
  WriteFile(root_ + "\xFFt\xE9.txt", "");
  EXPECT_EQ(List(root_ + "\xE9*.txt", 0), (M{{"\xE9t\xE9.txt", faArchive}}));

  // Sorted by name without regard to case, whatever order the file system keeps.
  TSearchRec rec;
  AnsiString order;
  for (int rc = FindFirst(root_ + "*.jpg", faAnyFile, rec); rc == 0; rc = FindNext(rec)) order += rec.Name + " ";
  FindClose(rec);
  EXPECT_EQ(order, ".hidden.jpg a.jpg B.JPG sub.jpg \xC3\x89mile.jpg ");

  ASSERT_EQ(FindFirst(root_ + "a.jpg", faAnyFile, rec), 0);
  EXPECT_EQ(rec.Size, 5);
  TDateTime age = 0;
  ASSERT_TRUE(FileAge(root_ + "a.jpg", age));
  EXPECT_NEAR(FileDateToDateTime(rec.Time), age, 2.5 / 86400);  // DOS times keep even seconds
  EXPECT_NE(FindNext(rec), 0);
  FindClose(rec);
  EXPECT_NE(FindFirst(root_ + "*.gif", faAnyFile, rec), 0);
  EXPECT_NE(FindFirst(root_ + "missing/*.*", faAnyFile, rec), 0);
}

TEST_F(TempTree, FolderAndFileOperations) {
  const AnsiString deep = root_ + "x/y/z";
  EXPECT_TRUE(ForceDirectories(deep + "/"));
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_TRUE(ForceDirectories(deep));  // already there
  EXPECT_FALSE(ForceDirectories(""));
  EXPECT_FALSE(FileExists(deep));       // a folder is no file
  EXPECT_FALSE(CreateDir(deep));

  WriteFile(root_ + "one", "first");
  WriteFile(root_ + "two", "second");
  EXPECT_EQ(FileSize(root_ + "two"), 6);
  EXPECT_EQ(FileSize(root_ + "none"), -1);
  // Renaming never overwrites: "two" keeps its content.
  EXPECT_FALSE(RenameFile(root_ + "one", root_ + "two"));
  EXPECT_EQ(FileSize(root_ + "two"), 6);
  EXPECT_TRUE(RenameFile(root_ + "one", root_ + "three"));
  EXPECT_FALSE(FileExists(root_ + "one"));
  EXPECT_TRUE(FileExists(root_ + "three"));

  EXPECT_FALSE(DeleteFile(root_ + "x"));  // never a folder
  EXPECT_TRUE(DeleteFile(root_ + "three"));
  EXPECT_FALSE(DeleteFile(root_ + "three"));
  EXPECT_FALSE(RemoveDir(root_ + "x"));   // not empty
  EXPECT_TRUE(RemoveDir(deep));

  const TDateTime when = EncodeDate(2011, 7, 1) + EncodeTime(12, 30, 0, 0);
  ASSERT_TRUE(FileSetDate(root_ + "two", when));
  TDateTime age = 0;
  ASSERT_TRUE(FileAge(root_ + "two", age));
  EXPECT_NEAR(age, when, 0.5 / 86400);

  const AnsiString tmp = CreateTempFile(root_, "zodiver");
  EXPECT_TRUE(FileExists(tmp));
  EXPECT_EQ(ExtractFilePath(tmp), root_);
  EXPECT_EQ(ExtractFileName(tmp).rfind("zodiver", 0), 0u);
  EXPECT_EQ(ExtractFileExt(tmp), ".tmp");
  EXPECT_NE(CreateTempFile(root_, "zodiver"), tmp);
}

TEST(ProgramFolders, ExecutableTempDiskAndWorkFolder) {
  const AnsiString exe = ParamStr(0);
  EXPECT_TRUE(FileExists(exe)) << exe;
  EXPECT_EQ(ProgramFolder(), ExtractFilePath(exe));
  EXPECT_EQ(ProgramFolder().back(), '/');
  EXPECT_GE(ParamCount(), 0);
  EXPECT_EQ(ParamStr(ParamCount() + 1), "");

  EXPECT_EQ(GetTempFolder().back(), '/');
  EXPECT_TRUE(DirectoryExists(GetTempFolder()));
  EXPECT_GT(DiskFree(GetTempFolder()), 0);
  EXPECT_GE(DiskSize(GetTempFolder()), DiskFree(GetTempFolder()));
  EXPECT_EQ(DiskFree("/no/such/folder"), -1);

  // The test program's folder is writable, so the work folder is the program's folder.
  EXPECT_EQ(AppWorkFolder(), ProgramFolder());
}

TEST(ProgramFolders, WorkFolderFallsBackToTheCacheWhenTheProgramFolderIsNotWritable) {
  const AnsiString dir = IncludeTrailingPathDelimiter(testsupport::MakeTempDir("work"));
  const char* oldXdg = getenv("XDG_CACHE_HOME");
  const char* oldHome = getenv("HOME");
  const std::string savedXdg = oldXdg ? oldXdg : "", savedHome = oldHome ? oldHome : "";
  const AnsiString gone = dir + "no-such-program-folder/";  // not writable, even for root

  setenv("XDG_CACHE_HOME", (dir + "xdg").c_str(), 1);
  EXPECT_EQ(WorkFolderFor(gone), dir + "xdg/clavorne-pro/");
  EXPECT_TRUE(DirectoryExists(dir + "xdg/clavorne-pro"));
  setenv("XDG_CACHE_HOME", "relative/cache", 1);  // not absolute: ignored
  setenv("HOME", (dir + "home").c_str(), 1);
  EXPECT_EQ(WorkFolderFor(gone), dir + "home/.cache/clavorne-pro/");
  EXPECT_TRUE(DirectoryExists(dir + "home/.cache/clavorne-pro"));
  EXPECT_EQ(WorkFolderFor(dir), dir);  // writable: used as it is

  if (oldXdg) {
    setenv("XDG_CACHE_HOME", savedXdg.c_str(), 1);
  } else {
    unsetenv("XDG_CACHE_HOME");
  }
  if (oldHome) {
    setenv("HOME", savedHome.c_str(), 1);
  } else {
    unsetenv("HOME");
  }
  testsupport::RemoveTree(dir);
}
