#include "tests/support/fixtures.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

namespace testsupport {

int Run(const std::string& command, std::string* out) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) {
    if (out) out->append(buf.data(), n);
  }
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string RunOk(const std::string& command) {
  std::string out;
  const int rc = Run(command, &out);
  EXPECT_EQ(rc, 0) << "command failed: " << command << "\n" << out;
  return out;
}

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

std::string Fixture(const std::string& name, const std::string& recipe) {
  namespace fs = std::filesystem;
  // A recipe that makes nothing, or a name made by two recipes, works only when some other test
  // happened to run first: refuse both whatever the cache holds.
  if (recipe.find("{out}") == std::string::npos) ADD_FAILURE() << "the recipe of fixture " << name << " makes no {out}";
  {
    static std::mutex lock;
    static std::map<std::string, std::string> recipes;
    std::lock_guard<std::mutex> hold(lock);
    const auto [at, added] = recipes.emplace(name, recipe);
    if (!added && at->second != recipe)
      ADD_FAILURE() << "fixture " << name << " is made by two recipes:\n" << at->second << "\n" << recipe;
  }
  const fs::path dir = CLAVORNE_FIXTURE_DIR;
  fs::create_directories(dir);
  const fs::path target = dir / name;
  if (fs::exists(target)) return target.string();
  // Keep the extension last so tools that pick a format by extension still see it.
  const fs::path tmp = dir / ("tmp-" + std::to_string(getpid()) + "-" + name);
  std::string cmd = recipe;
  const std::string key = "{out}";
  for (size_t p; (p = cmd.find(key)) != std::string::npos;) cmd.replace(p, key.size(), ShellQuote(tmp.string()));
  std::string out;
  const int rc = Run("(" + cmd + ") 2>&1", &out);
  if (rc != 0 || !fs::exists(tmp)) {
    ADD_FAILURE() << "cannot make fixture " << name << " with: " << cmd << "\n" << out;
    std::error_code ec;
    fs::remove(tmp, ec);
    return target.string();
  }
  std::error_code ec;
  fs::rename(tmp, target, ec);  // atomic; a concurrent maker's identical file may win
  fs::remove(tmp, ec);
  return target.string();
}

std::string MakeTempDir(const std::string& tag) {
  std::string tmpl = (std::filesystem::temp_directory_path() / ("clavorne-" + tag + "-XXXXXX")).string();
  if (!mkdtemp(tmpl.data())) {
    ADD_FAILURE() << "mkdtemp failed";
    return {};
  }
  return tmpl;
}

void RemoveTree(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

}  // namespace testsupport
