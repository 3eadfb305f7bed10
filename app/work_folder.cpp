#include "app/work_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/rtl/files.h"
#include "platform/rtl/strings.h"

namespace {

// Makes Parent + "tmp" and checks that it is a folder this user can write into.
AnsiString UsableTmp(const AnsiString& Parent) {
  if (Parent.empty()) return AnsiString();
  const AnsiString folder = IncludeTrailingPathDelimiter(Parent) + "tmp";
  if (!ForceDirectories(folder) || !DirectoryExists(folder) || access(folder.c_str(), W_OK | X_OK) != 0)
    return AnsiString();
  return IncludeTrailingPathDelimiter(folder);
}

}  // namespace

AnsiString MakeTileWorkFolder(const AnsiString& ProgramFolder, const AnsiString& CacheFolder) {
  const AnsiString inProgram = UsableTmp(ProgramFolder);
  return inProgram.empty() ? UsableTmp(CacheFolder) : inProgram;
}

AnsiString MakeTileWorkFolder() {
  const AnsiString inProgram = UsableTmp(ProgramFolder());
  // The cache folder is only asked for (and made) when the program's folder cannot serve.
  return inProgram.empty() ? UsableTmp(WorkFolderFor(AnsiString())) : inProgram;
}

AnsiString MakeRunFrameFolder(const AnsiString& WorkFolder) {
  if (WorkFolder.empty()) return AnsiString();
  // The process id in the name tells whose folder it is when several copies of the program
  // share one working folder.
  AnsiString pattern = IncludeTrailingPathDelimiter(WorkFolder) + "run-" + IntToStr(Integer(getpid())) + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return AnsiString();
  return IncludeTrailingPathDelimiter(pattern);
}

bool IsRunFrameName(const AnsiString& Name, const AnsiString& Stem, const AnsiString& Ext) {
  const AnsiString tail = "." + Ext;
  if (Name.size() <= Stem.size() + tail.size() || Name.compare(0, Stem.size(), Stem) != 0 ||
      Name.compare(Name.size() - tail.size(), tail.size(), tail) != 0)
    return false;
  const AnsiString number = Name.substr(Stem.size(), Name.size() - Stem.size() - tail.size());
  if (number.empty() || number[0] == '0') return false;
  for (char c : number)
    if (c < '0' || c > '9') return false;
  return true;
}

std::vector<AnsiString> PurgeRunFrameFolder(const AnsiString& Folder, const AnsiString& Stem, const AnsiString& Ext,
                                            const std::function<void()>& Step) {
  namespace fs = std::filesystem;
  std::vector<AnsiString> failed;
  if (Folder.empty()) return failed;
  const fs::path dir(ExcludeTrailingPathDelimiter(Folder));
  std::error_code error;
  // The run's folder itself must be a real folder: a link put in its place is left alone.
  const fs::file_status own = fs::symlink_status(dir, error);
  if (error) return failed;  // already gone
  if (!fs::is_directory(own)) {
    failed.push_back(dir.string());
    return failed;
  }
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) entries.push_back(it->path());
  if (error) failed.push_back(dir.string() + ": " + error.message());
  for (const fs::path& entry : entries) {
    const fs::file_status status = fs::symlink_status(entry, error);
    if (!error && fs::is_regular_file(status) && IsRunFrameName(entry.filename().string(), Stem, Ext)) {
      if (unlink(entry.c_str()) != 0 && errno != ENOENT)
        failed.push_back(entry.string() + ": " + std::strerror(errno));
    }
    if (Step) Step();
  }
  if (rmdir(dir.c_str()) != 0 && errno != ENOENT) failed.push_back(dir.string() + ": " + std::strerror(errno));
  return failed;
}
