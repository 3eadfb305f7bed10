// The composite run's working folder: where it is made, and that emptying it deletes the run's
// frames and nothing else.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/work_folder.h"
#include "tests/support/fixtures.h"

namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& File) { std::ofstream(File) << "x"; }

TEST(WorkFolder, TmpInTheProgramFolderElseInTheCacheElseNone) {
  const std::string dir = testsupport::MakeTempDir("workfolder");
  fs::create_directories(dir + "/program");
  fs::create_directories(dir + "/cache");
  EXPECT_EQ(MakeTileWorkFolder(dir + "/program/", dir + "/cache"), dir + "/program/tmp/");
  EXPECT_TRUE(fs::is_directory(dir + "/program/tmp"));
  EXPECT_FALSE(fs::exists(dir + "/cache/tmp"));

  // A program folder where "tmp" cannot be a folder, or that cannot be written: the cache serves.
  fs::create_directories(dir + "/taken");
  Touch(dir + "/taken/tmp");
  EXPECT_EQ(MakeTileWorkFolder(dir + "/taken", dir + "/cache"), dir + "/cache/tmp/");
  if (geteuid() != 0) {
    fs::create_directories(dir + "/readonly");
    chmod((dir + "/readonly").c_str(), 0555);
    EXPECT_EQ(MakeTileWorkFolder(dir + "/readonly", dir + "/cache"), dir + "/cache/tmp/");
    chmod((dir + "/readonly").c_str(), 0755);
  }
  // Neither: the caller tells the user.
  Touch(dir + "/cachefile");
  EXPECT_EQ(MakeTileWorkFolder(dir + "/taken", dir + "/cachefile"), "");
  testsupport::RemoveTree(dir);
}

TEST(WorkFolder, PurgeDeletesTheRunsFramesOnlyAndNeverFollowsALink) {
  const std::string dir = testsupport::MakeTempDir("purge");
  const std::string work = dir + "/tmp/";
  fs::create_directories(work);
  const std::string run = MakeRunFrameFolder(work);
  ASSERT_FALSE(run.empty());
  EXPECT_NE(MakeRunFrameFolder(work), run) << "each run gets a folder of its own";
  for (const char* name : {"clip.mp4-1.png", "clip.mp4-2.png", "clip.mp4-11.png"}) Touch(run + name);
  fs::create_directories(dir + "/outside");
  Touch(dir + "/outside/clip.mp4-3.png");
  fs::create_symlink(dir + "/outside/clip.mp4-3.png", run + "clip.mp4-3.png");
  fs::create_directory_symlink(dir + "/outside", run + "clip.mp4-4.png");
  Touch(run + "notes.txt");
  Touch(run + "clip.mp4-01.png");

  int steps = 0;
  const auto failed = PurgeRunFrameFolder(run, "clip.mp4-", "png", [&] { ++steps; });
  EXPECT_EQ(steps, 7);
  for (const char* name : {"clip.mp4-1.png", "clip.mp4-2.png", "clip.mp4-11.png"}) EXPECT_FALSE(fs::exists(run + name));
  // What the run did not write stays, links and their targets included, and the folder that
  // could not be emptied is reported.
  for (const char* name : {"clip.mp4-3.png", "clip.mp4-4.png", "notes.txt", "clip.mp4-01.png"})
    EXPECT_TRUE(fs::exists(fs::symlink_status(run + name))) << name;
  EXPECT_TRUE(fs::exists(dir + "/outside/clip.mp4-3.png"));
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_NE(failed[0].find(run.substr(0, run.size() - 1)), std::string::npos) << failed[0];

  // A run folder holding only its frames goes with them, leaving the working folder empty.
  const std::string clean = MakeRunFrameFolder(work);
  Touch(clean + "a-1.jpg");
  EXPECT_TRUE(PurgeRunFrameFolder(clean, "a-", "jpg").empty());
  EXPECT_FALSE(fs::exists(clean));
  EXPECT_TRUE(PurgeRunFrameFolder(clean, "a-", "jpg").empty()) << "a folder already gone is no failure";
  testsupport::RemoveTree(dir);
}

TEST(WorkFolder, FrameNames) {
  EXPECT_TRUE(IsRunFrameName("v.mp4-1.jpg", "v.mp4-", "jpg"));
  EXPECT_TRUE(IsRunFrameName("v.mp4-120.jpg", "v.mp4-", "jpg"));
  for (const char* other : {"v.mp4-.jpg", "v.mp4-0.jpg", "v.mp4-1.png", "v.mp4-1a.jpg", "w.mp4-1.jpg", "v.mp4-1.jpg.bak"})
    EXPECT_FALSE(IsRunFrameName(other, "v.mp4-", "jpg")) << other;
}

}  // namespace
