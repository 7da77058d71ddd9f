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

// The file type and permission bits.
unsigned ModeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode : 0;
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

TEST_F(FilesTest, FoldersAndAppendedFilesAreCreatedWithTheirModes) {
  for (int round = 0; round < 2; ++round) ASSERT_FALSE(CreateFolders(dir_ / "a/b", 0750)) << round;
  EXPECT_EQ(ModeOf(dir_ / "a"), S_IFDIR | 0750u);
  EXPECT_EQ(ModeOf(dir_ / "a/b"), S_IFDIR | 0750u);

  const std::string log = dir_ / "state/q/q.log";
  for (const char* piece : {"one\n", "two\n", "", "three"}) ASSERT_FALSE(AppendToFile(log, piece));
  EXPECT_EQ(ReadFile(log), "one\ntwo\nthree");
  EXPECT_EQ(ModeOf(dir_ / "state/q"), S_IFDIR | 0700u);
  EXPECT_EQ(ModeOf(log), S_IFREG | 0600u);
}

// A reader, or a crash just before the rename, sees the old content or the new, never a mixture.
TEST_F(FilesTest, ReplaceSwapsContentAtomically) {
  const std::string target = dir_ / "settings.ini";
  for (const auto& [content, mode] :
       {std::pair<std::string, unsigned>{"first", 0600}, {"", 0640}, {"old", 0600}}) {
    ASSERT_FALSE(ReplaceFileAtomically(target, content, mode));
    EXPECT_EQ(ReadFile(target), content);
    EXPECT_EQ(ModeOf(target), S_IFREG | mode);
  }
  EXPECT_EQ(NamesIn(dir_.path()), std::vector<std::string>{"settings.ini"});
  std::string seenInside;
  const auto crash = [&] {
    seenInside = ReadFile(target);
    throw std::runtime_error("crash");
  };
  EXPECT_THROW(ReplaceFileAtomically(target, "new", 0600, crash), std::runtime_error);
  EXPECT_EQ(seenInside, "old");
  EXPECT_EQ(ReadFile(target), "old");
  for (const std::string& name : NamesIn(dir_.path())) {  // at most a hidden temporary aside
    EXPECT_TRUE(name == "settings.ini" || name.rfind(".settings.ini.", 0) == 0) << name;
  }
}

// Root ignores permission bits, so the failures come from files and folders in the way.
TEST_F(FilesTest, FailuresReportAnErrorAndLeaveNoTemporary) {
  WriteFile(dir_ / "file", "x");
  for (const std::string& path : {dir_ / "file", dir_ / "file/sub/deeper"}) {
    EXPECT_TRUE(CreateFolders(path, 0700)) << path;
    EXPECT_TRUE(AppendToFile(path + "/log", "x")) << path;
  }
  EXPECT_TRUE(AppendToFile(dir_.path(), "x"));
  // Renaming over a non-empty folder fails after the temporary file was written.
  std::filesystem::create_directories(dir_ / "busy/inside");
  EXPECT_TRUE(ReplaceFileAtomically(dir_ / "busy", "new", 0600));
  EXPECT_TRUE(ReplaceFileAtomically(dir_ / "missing/settings.ini", "x", 0600));
  EXPECT_EQ(NamesIn(dir_.path()).size(), 2u);  // "file" and "busy"
  EXPECT_EQ(ReadFile(dir_ / "file"), "x");

  if (!testing::FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::error_code error = AppendToFile("/dev/full", "x");
  ASSERT_TRUE(error);
  EXPECT_FALSE(ErrorText(error).empty());
}

}  // namespace
}  // namespace quorvix::platform
