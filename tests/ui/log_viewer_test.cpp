// The log viewer's reading of the event log file and its clearing.
#include "ui/windows/log_viewer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace quorvix {
namespace {

using testing::FileExists;
using testing::TempDir;
using testing::WriteFile;

// Lines as the event log writes them: "stamp TAB message CR LF".
std::string LogLines(std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += "2008-6-12 14:05:09\t第" + std::to_string(i) + "行\r\n";
  }
  return text;
}

TEST(LogViewer, ScrollsSoTheNewestLinesShow) {
  const struct {
    std::size_t lines, scroll;
  } cases[] = {{0, 0}, {1, 0}, {23, 0}, {24, 1}, {100, 77}, {40000, 39977}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    TempDir dir;
    WriteFile(dir / "q.log", LogLines(c.lines));
    const LogSnapshot snapshot = ReadLogSnapshot(dir / "q.log");
    EXPECT_EQ(snapshot.error, "");
    EXPECT_EQ(snapshot.lines, c.lines);
    EXPECT_EQ(snapshot.scroll, c.scroll);
    EXPECT_EQ(snapshot.text, LogLines(c.lines));  // whole, in order, each ending in CR LF
  }
}

TEST(LogViewer, ScrollForTheRowsThatFit) {
  const struct {
    std::size_t lines, rows, scroll;
  } cases[] = {{100, 23, 77}, {100, 18, 82}, {18, 18, 0}, {19, 18, 1}, {5, 40, 0}, {0, 1, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(ScrollFor(c.lines, c.rows), c.scroll) << c.lines << " in " << c.rows;
  }
  EXPECT_EQ(ScrollFor(100), 77u);
}

TEST(LogViewer, LineEndsTable) {
  const struct {
    std::string file, text;
    std::size_t lines;
  } cases[] = {
      {"a\r\nb\r\n", "a\r\nb\r\n", 2}, {"a\nb\n", "a\r\nb\r\n", 2},  // a lone LF ends a line too
      {"a\r\nb", "a\r\nb\r\n", 2},  // the unfinished last line still gets its own
      {"\r\n\r\n", "\r\n\r\n", 2},  // empty lines stay
      {"a\tb\r\n", "a\tb\r\n", 1},     {"中文\r\n", "中文\r\n", 1},
  };
  for (const auto& c : cases) {
    TempDir dir;
    WriteFile(dir / "q.log", c.file);
    const LogSnapshot snapshot = ReadLogSnapshot(dir / "q.log");
    EXPECT_EQ(snapshot.text, c.text) << c.file;
    EXPECT_EQ(snapshot.lines, c.lines) << c.file;
  }
}

TEST(LogViewer, MissingFileAndFolder) {
  TempDir dir;
  const LogSnapshot missing = ReadLogSnapshot(dir / "none.log");
  EXPECT_EQ(missing.text, "");
  EXPECT_EQ(missing.error, "");
  EXPECT_EQ(missing.scroll, 0u);

  std::filesystem::create_directory(dir / "folder.log");
  const LogSnapshot folder = ReadLogSnapshot(dir / "folder.log");
  EXPECT_NE(folder.error, "");
  EXPECT_EQ(folder.text, "");
  EXPECT_EQ(folder.lines, 0u);
}

TEST(LogViewer, ClearTable) {
  enum class Kind { File, Missing, FullFolder };
  const struct {
    Kind kind;
    bool existed, deleted, error;
  } cases[] = {
      {Kind::File, true, true, false},
      {Kind::Missing, false, false, false},
      {Kind::FullFolder, true, false, true},  // cannot go: the viewer says why
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    TempDir dir;
    const std::string path = dir / "q.log";
    if (c.kind == Kind::File) WriteFile(path, LogLines(3));
    if (c.kind == Kind::FullFolder) {
      std::filesystem::create_directory(path);
      WriteFile(path + "/inside", "x");
    }
    const ClearResult result = ClearLogFile(path);
    EXPECT_EQ(result.existed, c.existed);
    EXPECT_EQ(result.deleted, c.deleted);
    EXPECT_EQ(!result.error.empty(), c.error);
    EXPECT_EQ(FileExists(path), c.kind == Kind::FullFolder);
  }
}

}  // namespace
}  // namespace quorvix
