#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace quorvix::platform {
namespace {

using testing::ReadFile;
using testing::WriteFile;

unsigned ModeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : ~0u;
}

std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

class FilesTest : public ::testing::Test {
 protected:
  // A known umask, so the modes that reach the disk are predictable.
  FilesTest() : oldMask_(::umask(022)) {}
  ~FilesTest() override { ::umask(oldMask_); }

  testing::TempDir dir_;
  mode_t oldMask_;
};

TEST_F(FilesTest, CreateFoldersMakesEveryLevelWithTheMode) {
  ASSERT_FALSE(CreateFolders(dir_ / "a/b/c", 0750));
  for (const std::string& folder : {dir_ / "a", dir_ / "a/b", dir_ / "a/b/c"}) {
    EXPECT_TRUE(std::filesystem::is_directory(folder)) << folder;
    EXPECT_EQ(ModeOf(folder), 0750u) << folder;
  }
  EXPECT_FALSE(CreateFolders(dir_ / "a/b/c", 0750)) << "an existing folder is fine";
}

// Root ignores permission bits, so the failures come from files and folders in the way.
TEST_F(FilesTest, FailsWhereAFileOrFolderIsInTheWay) {
  WriteFile(dir_ / "file", "x");
  for (const std::string& path : {dir_ / "file", dir_ / "file/sub", dir_ / "file/sub/deeper"}) {
    EXPECT_TRUE(CreateFolders(path, 0700)) << path;
    EXPECT_TRUE(AppendToFile(path + "/log", "x")) << path;
  }
  EXPECT_EQ(ReadFile(dir_ / "file"), "x");
  EXPECT_TRUE(AppendToFile(dir_.path(), "x"));
  if (testing::FileExists("/dev/full")) {
    const std::error_code error = AppendToFile("/dev/full", "x");
    ASSERT_TRUE(error);
    EXPECT_FALSE(ErrorText(error).empty());
  }
}

TEST_F(FilesTest, AppendCreatesFileAndFoldersAndKeepsOrder) {
  const std::string log = dir_ / "state/q/q.log";
  for (const char* piece : {"one\n", "two\n", "", "three"}) ASSERT_FALSE(AppendToFile(log, piece));
  EXPECT_EQ(ReadFile(log), "one\ntwo\nthree");
  EXPECT_EQ(ModeOf(log), 0600u);
}

TEST_F(FilesTest, ReplaceSwapsContentAppliesModeAndLeavesNoTemporary) {
  const std::string target = dir_ / "settings.ini";
  const struct {
    std::string content;
    unsigned mode;
  } steps[] = {{"first", 0600}, {"second, longer", 0640}, {"", 0600}};
  for (const auto& step : steps) {
    ASSERT_FALSE(ReplaceFileAtomically(target, step.content, step.mode));
    EXPECT_EQ(ReadFile(target), step.content);
    EXPECT_EQ(ModeOf(target), step.mode);
  }
  EXPECT_EQ(NamesIn(dir_.path()), std::vector<std::string>{"settings.ini"});
}

TEST_F(FilesTest, ReplaceInterruptedBeforeRenameKeepsOldContent) {
  const std::string target = dir_ / "settings.ini";
  WriteFile(target, "old");
  std::string seenInside;
  const auto crash = [&] {
    seenInside = ReadFile(target);
    throw std::runtime_error("crash");
  };
  EXPECT_THROW(ReplaceFileAtomically(target, "new", 0600, crash), std::runtime_error);
  EXPECT_EQ(seenInside, "old");
  EXPECT_EQ(ReadFile(target), "old");
  for (const std::string& name : NamesIn(dir_.path())) {  // at most the new content aside
    if (name == "settings.ini") continue;
    EXPECT_EQ(name.size(), std::string(".settings.ini.XXXXXX").size()) << name;
    EXPECT_EQ(name.rfind(".settings.ini.", 0), 0u) << name;
    EXPECT_EQ(ReadFile(dir_ / name), "new");
  }
}

TEST_F(FilesTest, FailedReplaceLeavesNoTemporary) {
  // Renaming over a non-empty folder fails after the temporary file was written.
  std::filesystem::create_directory(dir_ / "busy");
  WriteFile(dir_ / "busy/inside", "x");
  EXPECT_TRUE(ReplaceFileAtomically(dir_ / "busy", "new", 0600));
  EXPECT_TRUE(ReplaceFileAtomically(dir_ / "missing/settings.ini", "x", 0600));
  EXPECT_EQ(NamesIn(dir_.path()), std::vector<std::string>{"busy"});
}

}  // namespace
}  // namespace quorvix::platform
