// The imaging library's layers point one way: core < formats < io, proc, view. A unit that
// includes a header of a layer above its own fails here with the file and the include.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

namespace {

int Rank(const std::string& Folder) {
  if (Folder == "core") return 0;
  if (Folder == "formats") return 1;
  if (Folder == "io" || Folder == "proc" || Folder == "view") return 2;
  return -1;
}

TEST(ImagingLayers, NoUnitIncludesALayerAboveItsOwn) {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(CLAVORNE_SOURCE_DIR) / "imaging";
  const std::regex include(R"re(^\s*#\s*include\s*"imaging/(\w+)/)re");
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
    const std::string own = fs::relative(entry.path(), root).begin()->string();
    const int ownRank = Rank(own);
    if (ownRank < 0) continue;
    ++files;
    std::ifstream in(entry.path());
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      std::smatch m;
      if (!std::regex_search(line, m, include)) continue;
      const int theirs = Rank(m[1].str());
      EXPECT_LE(theirs, ownRank)
          << entry.path().string() << ":" << number << " (" << own << ") includes " << line;
    }
  }
  EXPECT_GT(files, 50);
}

}  // namespace
