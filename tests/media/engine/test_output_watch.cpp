// What a watched output counts as gone: its name leading nowhere or to another file, not a file
// that is merely written to, grown or touched.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "media/engine/output_watch.h"
#include "tests/support/fixtures.h"

namespace {

void Write(const std::string& File, const std::string& Text) {
  std::ofstream out(File, std::ios::binary | std::ios::app);
  out << Text;
}

struct TWatchCase {
  const char* Name;
  bool WatchFolder;  // the folder rather than the file in it
  std::function<void(const std::string& Folder, const std::string& File)> Change;
  bool Gone;
};

TEST(OutputWatch, TheNameMustStillLeadToTheSameFileOrFolder) {
  const TWatchCase cases[] = {
      {"file written on", false, [](const std::string&, const std::string& f) { Write(f, "more"); }, false},
      {"file truncated", false, [](const std::string&, const std::string& f) { std::ofstream(f, std::ios::trunc); },
       false},
      {"file removed", false, [](const std::string&, const std::string& f) { unlink(f.c_str()); }, true},
      {"folder removed", false, [](const std::string& d, const std::string&) { testsupport::RemoveTree(d); }, true},
      {"file replaced", false,
       [](const std::string& d, const std::string& f) {
         Write(d + "/other", "x");
         std::rename((d + "/other").c_str(), f.c_str());
       },
       true},
      {"folder renamed", false,
       [](const std::string& d, const std::string&) { std::rename(d.c_str(), (d + "-moved").c_str()); }, true},
      {"folder gains files", true, [](const std::string& d, const std::string&) { Write(d + "/next", "x"); }, false},
      {"folder removed", true, [](const std::string& d, const std::string&) { testsupport::RemoveTree(d); }, true},
      {"folder removed and made again", true,
       [](const std::string& d, const std::string&) {
         testsupport::RemoveTree(d);
         mkdir(d.c_str(), 0700);
       },
       true},
  };
  for (const TWatchCase& c : cases) {
    SCOPED_TRACE(std::string(c.Name) + (c.WatchFolder ? " (folder watched)" : " (file watched)"));
    const std::string folder = testsupport::MakeTempDir("watch");
    const std::string file = folder + "/out.mkv";
    Write(file, "header");
    TOutputWatch watch;
    ASSERT_TRUE(watch.Watch(c.WatchFolder ? folder : file));
    EXPECT_FALSE(watch.Gone());
    c.Change(folder, file);
    EXPECT_EQ(watch.Gone(), c.Gone);
    testsupport::RemoveTree(folder);
    testsupport::RemoveTree(folder + "-moved");
  }
}

TEST(OutputWatch, OnlyFilesAndFoldersAreWatched) {
  const std::string folder = testsupport::MakeTempDir("watch");
  const std::string fifo = folder + "/pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, std::string("/dev/null"), folder + "/nothing"}) {
    SCOPED_TRACE(path);
    TOutputWatch watch;
    EXPECT_FALSE(watch.Watch(path));
    EXPECT_FALSE(watch.Watching());
    EXPECT_FALSE(watch.Gone());
  }
  testsupport::RemoveTree(folder);
}

}  // namespace
