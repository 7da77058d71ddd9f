// The log stays one line per event and bounded in size, whatever a reply holds.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "settings/event_log.h"
#include "settings/status_file.h"
#include "support/fake_clock.h"
#include "support/fake_desktop.h"
#include "support/temp_dir.h"
#include "ui/windows/log_viewer.h"

namespace quorvix {
namespace {

using namespace quorvix::testing;

// No text starts a line of its own or commands a terminal; TAB and printable text pass unchanged.
TEST(EscapeControls, WritesControlCharactersAsEscapes) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"a\r\n2008-6-12 14:05:09\t伪造", "a\\r\\n2008-6-12 14:05:09\t伪造"},
      {"\x1b[2J\x07\x7f", "\\x1B[2J\\x07\\x7F"},
      {std::string_view("nul\0x", 5), "nul\\x00x"},
      {"csi \xc2\x9b"
       "31m \xc2\xa0 \\path",
       "csi \\u009B31m \xc2\xa0 \\path"}};
  for (const auto& [text, escaped] : cases) EXPECT_EQ(EscapeControls(text), escaped);
}

// A reply's line ends stay inside its line. Past the limit the file becomes the older
// generation and a new one starts; the viewer shows both in order; clearing clears both.
TEST(EventLogFile, KeepsOneLineAnEventAndRotatesWhenFull) {
  TempDir dir;
  ProgramState state;
  state.logFilePath = dir / "q.log";
  FakeDesktop desktop;
  FakeClock clock;
  EventLog log(state, desktop, clock);
  const std::string old = "2008-6-12 14:05:08\told\r\n";
  WriteFile(state.logFilePath, old + std::string(kLogRotateBytes - old.size() - 2, 'x') + "\r\n");
  log.WriteLog("服务器返回结果:\r\nRET-INFO: x\r\n2008-6-12 14:05:09\t域名a动态解析成功", false);
  log.WriteLog("new", false);
  ASSERT_TRUE(FileExists(OlderLogPath(state.logFilePath)));
  EXPECT_EQ(platform::FromPlatformText(ReadFile(state.logFilePath)),
            "2008-6-12 14:05:09\t服务器返回结果:\\r\\nRET-INFO: x\\r\\n2008-6-12 14:05:09\t"
            "域名a动态解析成功\r\n2008-6-12 14:05:09\tnew\r\n");
  const LogSnapshot snapshot = ReadLogSnapshot(state.logFilePath);
  EXPECT_EQ(snapshot.lines, 4u);
  EXPECT_TRUE(snapshot.text.starts_with(old) && snapshot.text.ends_with("\tnew\r\n"));
  EXPECT_TRUE(ClearLogFile(state.logFilePath).deleted);
  EXPECT_FALSE(FileExists(OlderLogPath(state.logFilePath)));
  EXPECT_EQ(ReadLogSnapshot(state.logFilePath).lines, 0u);
  EXPECT_EQ(StatusFilePathBeside(state.logFilePath) + StatusFilePathBeside("q.log"),
            dir / "quorvixDDNS.status" + "quorvixDDNS.status");
}

}  // namespace
}  // namespace quorvix
