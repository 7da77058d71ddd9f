#include "settings/event_log.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/files.h"
#include "support/fake_clock.h"
#include "support/fake_desktop.h"
#include "support/temp_dir.h"

namespace quorvix {
namespace {

// The verbose flag is read at each call; each line lost is reported once, the next goes on.
TEST(EventLog, WritesReportsAndRecovers) {
  testing::TempDir dir;
  ProgramState state;
  state.logFilePath = dir / "state/q/q.log";
  testing::FakeDesktop desktop;
  testing::FakeClock clock;
  EventLog log(state, desktop, clock);
  std::string seen;
  log.SetLineObserver([&](std::string_view line) { seen += std::string(line) + "\r\n"; });
  log.WriteLog("first", false);
  clock.Set({2021, 12, 31, 0, 0, 0, 500});
  state.glbLogVerbose = true;
  log.WriteLog("二", true);
  state.glbLogVerbose = false;
  log.WriteLog("held back", true);
  log.ReportError("a\r\nb");
  const std::string report = std::string(kErrorReportPrefix) + "a\r\nb";
  // The file's line has the report's line end escaped; the message box shows it as it is.
  EXPECT_EQ(seen, "2008-6-12 14:05:09\tfirst\r\n2021-12-31\t二\r\n2021-12-31\t" +
                      std::string(kErrorReportPrefix) + "a\\r\\nb\r\n");
  EXPECT_EQ(platform::FromPlatformText(testing::ReadFile(state.logFilePath)), seen);
  state.logFilePath = dir / "state";
  log.WriteLog("lost", false);
  log.WriteLog("lost too", false);
  state.logFilePath = dir / "q.log";
  log.WriteLog("back", false);
  EXPECT_EQ(testing::ReadFile(state.logFilePath), "2021-12-31\tback\r\n");
  ASSERT_EQ(desktop.messages.size(), 3u);
  EXPECT_EQ(
      std::tuple(desktop.messages[0].text, desktop.messages[0].title, desktop.messages[0].icon),
      std::tuple(report, "quorvixDDNS", MessageIcon::Critical));
#ifndef _WIN32  // Windows words it in the language of the machine
  EXPECT_EQ(desktop.messages[2].text, std::string(kErrorReportPrefix) + std::strerror(EISDIR));
#endif
  EXPECT_TRUE(desktop.messages[1].text.starts_with(kErrorReportPrefix) &&
              desktop.messages[1].text == desktop.messages[2].text && !desktop.endProcessCalls);
}

}  // namespace
}  // namespace quorvix
