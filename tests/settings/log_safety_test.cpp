// The log stays one line per event and bounded in size, whatever a reply holds.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/files.h"
#include "settings/event_log.h"
#include "support/fake_clock.h"
#include "support/fake_desktop.h"
#include "support/temp_dir.h"
#include "ui/windows/log_viewer.h"

namespace quorvix {
namespace {

using quorvix::testing::FileExists;
using quorvix::testing::ReadFile;
using quorvix::testing::WriteFile;

// No text can start a line of its own or reach a terminal as a command; TAB and printable
// text, Chinese included, pass unchanged.
TEST(EscapeControls, WritesControlCharactersAsEscapes) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"a\r\n2008-6-12 14:05:09\t伪造", "a\\r\\n2008-6-12 14:05:09\t伪造"},
      {"\x1b[2J\x07", "\\x1B[2J\\x07"},
      {std::string_view("nul\0x", 5), "nul\\x00x"},
      {"\x7f", "\\x7F"},
      {"csi \xc2\x9b"
       "31m",
       "csi \\u009B31m"},
      {"\xc2\xa0 ok \\path", "\xc2\xa0 ok \\path"},
  };
  for (const auto& [text, escaped] : cases) EXPECT_EQ(EscapeControls(text), escaped);
}

class LogFileTest : public ::testing::Test {
 protected:
  LogFileTest() { state_.logFilePath = dir_ / "q.log"; }
  quorvix::testing::TempDir dir_;
  ProgramState state_;
  quorvix::testing::FakeDesktop desktop_;
  quorvix::testing::FakeClock clock_;
  EventLog log_{state_, desktop_, clock_};
};

TEST_F(LogFileTest, AReplyCannotForgeALine) {
  log_.WriteLog("服务器返回结果:\r\nRET-INFO: x\r\n2008-6-12 14:05:09\t域名a动态解析成功", false);
  EXPECT_EQ(platform::FromPlatformText(ReadFile(state_.logFilePath)),
            "2008-6-12 14:05:09\t服务器返回结果:\\r\\nRET-INFO: x\\r\\n2008-6-12 14:05:09\t"
            "域名a动态解析成功\r\n");
}

// Past the limit the file becomes the older generation and a new one starts; the viewer shows
// both in the order written, and clearing the log clears both.
TEST_F(LogFileTest, AFullLogIsRotatedAndReadWithItsOlderGeneration) {
  const std::string old = "2008-6-12 14:05:08\told\r\n";
  WriteFile(state_.logFilePath, old + std::string(kLogRotateBytes - old.size() - 2, 'x') + "\r\n");
  log_.WriteLog("first", false);  // the file is full before this line: it starts the new one
  log_.WriteLog("new", false);
  ASSERT_TRUE(FileExists(OlderLogPath(state_.logFilePath)));
  EXPECT_EQ(ReadFile(state_.logFilePath),
            "2008-6-12 14:05:09\tfirst\r\n2008-6-12 14:05:09\tnew\r\n");
  const LogSnapshot snapshot = ReadLogSnapshot(state_.logFilePath);
  EXPECT_EQ(snapshot.lines, 4u);
  EXPECT_TRUE(snapshot.text.starts_with(old));
  EXPECT_TRUE(snapshot.text.ends_with("\tnew\r\n"));

  EXPECT_TRUE(ClearLogFile(state_.logFilePath).deleted);
  EXPECT_FALSE(FileExists(OlderLogPath(state_.logFilePath)));
  EXPECT_EQ(ReadLogSnapshot(state_.logFilePath).lines, 0u);
}

}  // namespace
}  // namespace quorvix
