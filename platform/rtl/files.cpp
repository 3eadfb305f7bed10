#include "platform/rtl/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

#include "platform/rtl/numerics.h"
#include "platform/rtl/strings.h"

// ---------------------------------------------------------------------------------------------
// Path names

namespace {

// Position of the last "/" or ".", npos when neither is there.
std::size_t LastDotOrDelim(const AnsiString& name) { return name.find_last_of("./"); }

}  // namespace

AnsiString ExtractFilePath(const AnsiString& name) {
  const std::size_t at = name.rfind(PathDelim);
  return at == AnsiString::npos ? AnsiString() : name.substr(0, at + 1);
}

AnsiString ExtractFileDir(const AnsiString& name) {
  const std::size_t at = name.rfind(PathDelim);
  if (at == AnsiString::npos) return AnsiString();
  return at == 0 ? AnsiString(1, PathDelim) : name.substr(0, at);
}

AnsiString ExtractFileName(const AnsiString& name) {
  const std::size_t at = name.rfind(PathDelim);
  return at == AnsiString::npos ? name : name.substr(at + 1);
}

AnsiString ExtractFileExt(const AnsiString& name) {
  const std::size_t at = LastDotOrDelim(name);
  return at != AnsiString::npos && name[at] == '.' ? name.substr(at) : AnsiString();
}

AnsiString ChangeFileExt(const AnsiString& name, const AnsiString& ext) {
  const std::size_t at = LastDotOrDelim(name);
  if (at != AnsiString::npos && name[at] == '.') return name.substr(0, at) + ext;
  return name + ext;
}

AnsiString IncludeTrailingPathDelimiter(const AnsiString& path) {
  return !path.empty() && path.back() == PathDelim ? path : path + PathDelim;
}

AnsiString ExcludeTrailingPathDelimiter(const AnsiString& path) {
  if (path.size() > 1 && path.back() == PathDelim) return path.substr(0, path.size() - 1);
  return path;
}

AnsiString ExpandFileName(const AnsiString& name) {
  if (name.empty()) return AnsiString();
  AnsiString full = name;
  if (full.front() != PathDelim) full = IncludeTrailingPathDelimiter(GetCurrentDir()) + full;
  std::vector<AnsiString> parts;
  std::size_t start = 0;
  while (start <= full.size()) {
    std::size_t end = full.find(PathDelim, start);
    if (end == AnsiString::npos) end = full.size();
    const AnsiString part = full.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  AnsiString out;
  for (const AnsiString& p : parts) out += PathDelim + p;
  if (out.empty()) return AnsiString(1, PathDelim);
  if (name.back() == PathDelim) out += PathDelim;
  return out;
}

// ---------------------------------------------------------------------------------------------
// Files and folders

bool FileExists(const AnsiString& name) {
  struct stat st {};
  return !name.empty() && stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const AnsiString& name) {
  struct stat st {};
  return !name.empty() && stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const AnsiString& dir) { return !dir.empty() && mkdir(dir.c_str(), 0777) == 0; }

bool ForceDirectories(const AnsiString& dir) {
  const AnsiString d = ExcludeTrailingPathDelimiter(dir);
  if (d.empty()) {
    errno = ENOENT;
    return false;
  }
  if (DirectoryExists(d)) return true;
  const AnsiString parent = ExtractFileDir(d);
  if (!parent.empty() && parent != d && !ForceDirectories(parent)) return false;
  // Another process may have made it meanwhile; that counts as success.
  return mkdir(d.c_str(), 0777) == 0 || DirectoryExists(d);
}

bool RemoveDir(const AnsiString& dir) { return !dir.empty() && rmdir(dir.c_str()) == 0; }

bool DeleteFile(const AnsiString& name) {
  if (DirectoryExists(name)) {
    errno = EISDIR;
    return false;
  }
  return !name.empty() && unlink(name.c_str()) == 0;
}

bool RenameFile(const AnsiString& oldName, const AnsiString& newName) {
  if (oldName.empty() || newName.empty()) {
    errno = ENOENT;
    return false;
  }
  if (renameat2(AT_FDCWD, oldName.c_str(), AT_FDCWD, newName.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the no-replace flag: check first (not atomic, but keeps the rule).
  struct stat st {};
  if (lstat(newName.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return std::rename(oldName.c_str(), newName.c_str()) == 0;
}

Int64 FileSize(const AnsiString& name) {
  struct stat st {};
  if (name.empty() || stat(name.c_str(), &st) != 0) return -1;
  return static_cast<Int64>(st.st_size);
}

namespace {

// Seconds since 1970 (with a fraction) to local TDateTime.
TDateTime UnixToLocalDateTime(time_t secs, long nsec) {
  tm local{};
  if (!localtime_r(&secs, &local)) return 0;
  TDateTime d = 0, t = 0;
  if (!TryEncodeDate(static_cast<Word>(local.tm_year + 1900), static_cast<Word>(local.tm_mon + 1),
                     static_cast<Word>(local.tm_mday), d))
    return 0;
  TryEncodeTime(static_cast<Word>(local.tm_hour), static_cast<Word>(local.tm_min),
                static_cast<Word>(std::min(local.tm_sec, 59)), static_cast<Word>(nsec / 1000000), t);
  return d + t;
}

bool LocalDateTimeToUnix(TDateTime value, time_t& secs) {
  Word y, mo, d, h, mi, s, ms;
  DecodeDate(value, y, mo, d);
  DecodeTime(value, h, mi, s, ms);
  if (y == 0) return false;
  tm local{};
  local.tm_year = y - 1900;
  local.tm_mon = mo - 1;
  local.tm_mday = d;
  local.tm_hour = h;
  local.tm_min = mi;
  local.tm_sec = s;
  local.tm_isdst = -1;
  secs = mktime(&local);
  return secs != static_cast<time_t>(-1);
}

}  // namespace

bool FileAge(const AnsiString& name, TDateTime& age) {
  struct stat st {};
  if (name.empty() || stat(name.c_str(), &st) != 0) return false;
  age = UnixToLocalDateTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  return true;
}

bool FileSetDate(const AnsiString& name, TDateTime age) {
  time_t secs;
  if (name.empty() || !LocalDateTimeToUnix(age, secs)) return false;
  const timespec times[2] = {{0, UTIME_OMIT}, {secs, 0}};
  return utimensat(AT_FDCWD, name.c_str(), times, 0) == 0;
}

AnsiString GetCurrentDir() {
  std::vector<char> buf(4096);
  while (!getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE || buf.size() > (1u << 20)) return AnsiString();
    buf.resize(buf.size() * 2);
  }
  return AnsiString(buf.data());
}

bool SetCurrentDir(const AnsiString& dir) { return !dir.empty() && chdir(dir.c_str()) == 0; }

// ---------------------------------------------------------------------------------------------
// Folder listing

struct TSearchState {
  AnsiString folder;  // with a trailing "/", or "" for the current folder
  std::vector<AnsiString> names;
  std::size_t next = 0;
};

namespace {

// "*" and "?" glob over case-folded names, so case is ignored beyond ASCII too.
bool GlobMatch(const WideString& name, const WideString& mask) {
  std::ptrdiff_t n = 0, m = 0, starM = -1, starN = 0;
  const auto nameSize = static_cast<std::ptrdiff_t>(name.size()), maskSize = static_cast<std::ptrdiff_t>(mask.size());
  while (n < nameSize) {
    if (m < maskSize && (mask[m] == u'?' || mask[m] == name[n])) {
      ++n;
      ++m;
    } else if (m < maskSize && mask[m] == u'*') {
      starM = m++;
      starN = n;
    } else if (starM >= 0) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < maskSize && mask[m] == u'*') ++m;
  return m == maskSize;
}

// Fills the record from the entry's status; false when the entry can no longer be examined.
bool DescribeEntry(const AnsiString& path, const AnsiString& name, TSearchRec& rec) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 && lstat(path.c_str(), &st) != 0) return false;
  Integer attr = 0;
  if (S_ISDIR(st.st_mode)) {
    attr |= faDirectory;
  } else if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) {
    attr |= faArchive;
  } else {
    attr |= faSysFile;
  }
  if (!(st.st_mode & S_IWUSR)) attr |= faReadOnly;
  if (!name.empty() && name[0] == '.') attr |= faHidden;
  rec.Name = name;
  rec.Attr = attr;
  rec.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<Int64>(st.st_size);
  rec.Time = DateTimeToFileDate(UnixToLocalDateTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec));
  return true;
}

}  // namespace

bool MatchesMask(const AnsiString& name, const AnsiString& mask) {
  if (mask == "*.*" || mask == "*") return true;
  // Bytes that are no UTF-8 keep their identity, so "\xE9*" does not match a name starting "\xFF".
  return GlobMatch(CaseFolded(name), CaseFolded(mask));
}

int FindFirst(const AnsiString& path, Integer attr, TSearchRec& rec) {
  FindClose(rec);
  auto state = std::make_shared<TSearchState>();
  state->folder = ExtractFilePath(path);
  const AnsiString mask = ExtractFileName(path);
  if (mask.empty()) return ENOENT;
  DIR* dir = opendir(state->folder.empty() ? "." : state->folder.c_str());
  if (!dir) return errno ? errno : ENOENT;
  while (dirent* e = readdir(dir)) {
    const AnsiString name = e->d_name;
    if (name == "." || name == "..") continue;
    if (MatchesMask(name, mask)) state->names.push_back(name);
  }
  closedir(dir);
  // A stable order independent of the file system's, as a Windows folder listing is sorted.
  std::sort(state->names.begin(), state->names.end(), [](const AnsiString& a, const AnsiString& b) {
    const int c = CompareText(a, b);
    return c != 0 ? c < 0 : a < b;
  });
  rec.ExcludeAttr = ~attr & (faHidden | faSysFile | faVolumeID | faDirectory);
  rec.FindHandle = std::move(state);
  const int rc = FindNext(rec);
  if (rc != 0) FindClose(rec);
  return rc;
}

int FindNext(TSearchRec& rec) {
  TSearchState* s = rec.FindHandle.get();
  if (!s) return ENOENT;
  while (s->next < s->names.size()) {
    const AnsiString& name = s->names[s->next++];
    TSearchRec found;
    if (!DescribeEntry(s->folder + name, name, found)) continue;
    if (found.Attr & rec.ExcludeAttr) continue;
    rec.Name = found.Name;
    rec.Attr = found.Attr;
    rec.Size = found.Size;
    rec.Time = found.Time;
    return 0;
  }
  return ENOENT;
}

void FindClose(TSearchRec& rec) { rec.FindHandle.reset(); }

TDateTime FileDateToDateTime(Integer fileDate) {
  const auto v = static_cast<Cardinal>(fileDate);
  TDateTime d, t;
  if (!TryEncodeDate(static_cast<Word>((v >> 25) + 1980), static_cast<Word>((v >> 21) & 15),
                     static_cast<Word>((v >> 16) & 31), d) ||
      !TryEncodeTime(static_cast<Word>((v >> 11) & 31), static_cast<Word>((v >> 5) & 63),
                     static_cast<Word>((v & 31) * 2), 0, t))
    return 0;
  return d + t;
}

Integer DateTimeToFileDate(TDateTime value) {
  Word y, mo, d, h, mi, s, ms;
  DecodeDate(value, y, mo, d);
  DecodeTime(value, h, mi, s, ms);
  if (y < 1980 || y > 2107) return 0;
  const Cardinal v = (static_cast<Cardinal>(y - 1980) << 25) | (static_cast<Cardinal>(mo) << 21) |
                     (static_cast<Cardinal>(d) << 16) | (static_cast<Cardinal>(h) << 11) |
                     (static_cast<Cardinal>(mi) << 5) | (static_cast<Cardinal>(s) / 2);
  return static_cast<Integer>(v);
}

// ---------------------------------------------------------------------------------------------
// Program, temporary and working folders

namespace {

AnsiString ExecutablePath() {
  std::vector<char> buf(4096);
  while (true) {
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return AnsiString();
    if (static_cast<std::size_t>(n) < buf.size()) return AnsiString(buf.data(), static_cast<std::size_t>(n));
    if (buf.size() > (1u << 20)) return AnsiString();
    buf.resize(buf.size() * 2);
  }
}

std::vector<AnsiString> CommandLine() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<AnsiString> args;
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    args.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return args;
}

AnsiString HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  struct passwd pw {};
  struct passwd* found = nullptr;
  std::vector<char> buf(16384);
  if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir)
    return found->pw_dir;
  return AnsiString();
}

}  // namespace

AnsiString ProgramFolder() { return ExtractFilePath(ExecutablePath()); }

AnsiString ParamStr(int index) {
  if (index == 0) return ExecutablePath();
  if (index < 0) return AnsiString();
  const std::vector<AnsiString> args = CommandLine();
  return static_cast<std::size_t>(index) < args.size() ? args[static_cast<std::size_t>(index)] : AnsiString();
}

int ParamCount() {
  const std::size_t n = CommandLine().size();
  return n > 0 ? static_cast<int>(n - 1) : 0;
}

AnsiString GetTempFolder() {
  const char* env = std::getenv("TMPDIR");
  if (env && *env && DirectoryExists(env)) return IncludeTrailingPathDelimiter(env);
  return "/tmp/";
}

AnsiString CreateTempFile(const AnsiString& folder, const AnsiString& prefix) {
  AnsiString pattern = IncludeTrailingPathDelimiter(folder.empty() ? GetTempFolder() : folder) + prefix + "XXXXXX.tmp";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  const int fd = mkstemps(buf.data(), 4);
  if (fd < 0) return AnsiString();
  close(fd);
  return AnsiString(buf.data());
}

namespace {
Int64 StatvfsBytes(const AnsiString& folder, bool freeOnly) {
  struct statvfs vs {};
  if (folder.empty() || statvfs(folder.c_str(), &vs) != 0) return -1;
  const UInt64 blocks = freeOnly ? vs.f_bavail : vs.f_blocks;
  const UInt64 unit = vs.f_frsize ? vs.f_frsize : vs.f_bsize;
  if (unit && blocks > static_cast<UInt64>(std::numeric_limits<Int64>::max()) / unit)
    return std::numeric_limits<Int64>::max();
  return static_cast<Int64>(blocks * unit);
}
}  // namespace

Int64 DiskFree(const AnsiString& folder) { return StatvfsBytes(folder, true); }
Int64 DiskSize(const AnsiString& folder) { return StatvfsBytes(folder, false); }

AnsiString AppWorkFolder() { return WorkFolderFor(ProgramFolder()); }

AnsiString WorkFolderFor(const AnsiString& programFolder) {
  if (!programFolder.empty() && access(programFolder.c_str(), W_OK) == 0)
    return IncludeTrailingPathDelimiter(programFolder);
  AnsiString base;
  // The cache home must be absolute to count; otherwise the default applies.
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const AnsiString home = HomeFolder();
    base = (home.empty() ? AnsiString("/tmp") : home) + "/.cache";
  }
  const AnsiString folder = IncludeTrailingPathDelimiter(base) + "clavorne-pro/";
  ForceDirectories(folder);
  return folder;
}
