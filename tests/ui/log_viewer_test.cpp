// The toolkit-free parts of the windows: the log viewer's reading and clearing of the event log
// file, and the placing of a window in the middle of the screen.
#include "ui/windows/log_viewer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "support/temp_dir.h"
#include "ui/setup/center_form.h"

namespace quorvix {
namespace {

using namespace quorvix::testing;

// Lines as the event log writes them: "stamp TAB message CR LF".
std::string LogLines(std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i)
    text += "2008-6-12 14:05:09\t第" + std::to_string(i) + "行\r\n";
  return text;
}

TEST(LogViewer, ReadsEveryLineEndingInCrLfAndScrollsToTheNewest) {
  const struct {
    std::optional<std::string> file;  // none: missing
    std::string text;
    std::size_t lines, scroll;
  } cases[] = {
      {std::nullopt, "", 0, 0},
      {"", "", 0, 0},
      {LogLines(23), LogLines(23), 23, 0},
      {LogLines(24), LogLines(24), 24, 1},
      {LogLines(40000), LogLines(40000), 40000, 39977},  // no 16-bit limit
      {"a\nb\n", "a\r\nb\r\n", 2, 0},                    // a lone LF ends a line too
      {"a\r\nb", "a\r\nb\r\n", 2, 0},  // the unfinished last line still gets its own
      {"\r\n\r\n", "\r\n\r\n", 2, 0},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    TempDir dir;
    if (cases[i].file) WriteFile(dir / "q.log", *cases[i].file);
    const LogSnapshot read = ReadLogSnapshot(dir / "q.log");
    EXPECT_EQ(std::tuple(read.error, read.text, read.lines, read.scroll),
              std::tuple("", cases[i].text, cases[i].lines, cases[i].scroll));
  }
}

TEST(LogViewer, ClearDeletesTheFileAndSaysWhyItCannot) {
  TempDir dir;
  const auto clear = [](const std::string& path) {
    const ClearResult result = ClearLogFile(path);
    return std::tuple(result.existed, result.deleted, result.error.empty());
  };
  WriteFile(dir / "q.log", LogLines(3));
  EXPECT_EQ(clear(dir / "q.log"), std::tuple(true, true, true));
  EXPECT_FALSE(FileExists(dir / "q.log"));
  EXPECT_EQ(clear(dir / "q.log"), std::tuple(false, false, true));
  // A folder in the file's place cannot be read or deleted.
  std::filesystem::create_directory(dir / "q.log");
  WriteFile(dir / "q.log/inside", "x");
  EXPECT_NE(ReadLogSnapshot(dir / "q.log").error, "");
  EXPECT_EQ(clear(dir / "q.log"), std::tuple(true, false, false));
}

TEST(CenterForm, HalvesStayAndANarrowScreenGivesANegativeLeft) {
  const auto at = [](FormPosition p) { return std::pair(p.left, p.top); };
  EXPECT_EQ(at(CenterForm(1001, 601, 100, 100)), std::pair(450.5f, 250.5f));
  EXPECT_EQ(at(CenterForm(200, 100, 300, 541)), std::pair(-50.0f, -220.5f));
}

}  // namespace
}  // namespace quorvix
