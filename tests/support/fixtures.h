// Test fixtures made at test time by real tools, cached in the build tree.
#pragma once

#include <string>

namespace testsupport {

// Runs a shell command; returns its exit status. When out is given it receives standard output.
int Run(const std::string& command, std::string* out = nullptr);

// Runs a command that must succeed and returns its standard output; fails the test otherwise.
std::string RunOk(const std::string& command);

// The path of fixture `name`, made once by `recipe`, a shell command in which "{out}" stands for
// the file to write. Safe when several test processes ask for it at once: each makes its own
// temporary file and the first complete one is renamed into place.
std::string Fixture(const std::string& name, const std::string& recipe);

// A fresh empty folder for one test, removed by the caller with RemoveTree when wanted.
std::string MakeTempDir(const std::string& tag = "t");
void RemoveTree(const std::string& path);

// Quotes a string for the shell.
std::string ShellQuote(const std::string& s);

}  // namespace testsupport
