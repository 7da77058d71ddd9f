#include "settings/event_log.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "platform/files.h"
#include "support/fake_clock.h"
#include "support/fake_desktop.h"
#include "support/temp_dir.h"

namespace quorvix {
namespace {

using quorvix::testing::ReadFile;

// The file holds the platform's own text: UTF-8 on POSIX, the ANSI code page on Windows.
std::string InFile(std::string_view utf8) { return platform::ToPlatformText(utf8); }

const std::string kStamp = "2008-6-12 14:05:09";  // FakeClock's start

class EventLogTest : public ::testing::Test {
 protected:
  EventLogTest() {
    state_.logFilePath = dir_ / "state/quorvixDDNS/q.log";  // folders still missing
    log_.SetLineObserver([this](std::string_view line) { observed_.emplace_back(line); });
  }

  quorvix::testing::TempDir dir_;
  ProgramState state_;
  quorvix::testing::FakeDesktop desktop_;
  quorvix::testing::FakeClock clock_;
  EventLog log_{state_, desktop_, clock_};
  std::vector<std::string> observed_;
};

// Lines are appended in call order; the observer sees each without its line end.
TEST_F(EventLogTest, LinesAreTimeStampTabMessageCrLfInCallOrder) {
  const std::tuple<platform::LocalTime, std::string_view, std::string_view> cases[] = {
      {{2008, 6, 12, 14, 5, 9, 0}, "first", "2008-6-12 14:05:09\tfirst"},
      {{2008, 6, 13, 0, 0, 0, 0}, "midnight", "2008-6-13\tmidnight"},
      {{2021, 12, 31, 0, 0, 1, 500}, "更新成功", "2021-12-31 0:00:01\t更新成功"},
      {{2021, 12, 31, 9, 1, 2, 0}, "one\r\ntwo", "2021-12-31 9:01:02\tone\r\ntwo"}};
  std::string file;
  std::vector<std::string> lines;
  for (const auto& [time, message, line] : cases) {
    clock_.Set(time);
    log_.WriteLog(message, false);
    file += std::string(line) + "\r\n";
    lines.emplace_back(line);
    EXPECT_EQ(ReadFile(state_.logFilePath), InFile(file)) << message;
  }
  EXPECT_EQ(observed_, lines);
  EXPECT_TRUE(desktop_.messages.empty());

  // An error report is logged like any line and shown in one box.
  log_.ReportError("boom");
  const std::string message = std::string(kErrorReportPrefix) + "boom";
  file += "2021-12-31 9:01:02\t" + message + "\r\n";
  EXPECT_EQ(ReadFile(state_.logFilePath), InFile(file));
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(desktop_.messages[0].text, message);
  EXPECT_EQ(desktop_.messages[0].title, "quorvixDDNS");
  EXPECT_EQ(desktop_.messages[0].icon, MessageIcon::Critical);
}

// The flag is read at every call; a line it holds back reaches neither the file nor observer.
TEST_F(EventLogTest, VerboseLinesFollowTheFlagAtEveryCall) {
  using Call = std::tuple<bool, bool, const char*>;  // verbose logging, verbose-only, message
  const Call calls[] = {{true, true, "a"},   {false, true, "b"}, {true, false, "c"},
                        {false, false, "d"}, {true, true, "e"},  {false, true, "f"}};
  for (const auto& [verbose, verboseOnly, message] : calls) {
    state_.glbLogVerbose = verbose;
    log_.WriteLog(message, verboseOnly);
  }
  EXPECT_EQ(ReadFile(state_.logFilePath),
            kStamp + "\ta\r\n" + kStamp + "\tc\r\n" + kStamp + "\td\r\n" + kStamp + "\te\r\n");
  EXPECT_EQ(observed_.size(), 4u);
}

// Each line lost to a folder in the file's place is reported once; the next line goes through.
TEST_F(EventLogTest, EachLostLineIsReportedOnceAndLoggingRecovers) {
  state_.logFilePath = dir_ / "folder.log";
  std::filesystem::create_directories(state_.logFilePath);
  log_.WriteLog("lost 1", false);
  log_.WriteLog("lost 2", false);
  ASSERT_EQ(desktop_.messages.size(), 2u);
  for (const auto& shown : desktop_.messages) {
#ifdef _WIN32
    // The system's own wording of the error, whatever the language of the machine.
    EXPECT_EQ(shown.text.rfind(kErrorReportPrefix, 0), 0u);
    EXPECT_GT(shown.text.size(), kErrorReportPrefix.size());
#else
    EXPECT_EQ(shown.text, std::string(kErrorReportPrefix) + std::strerror(EISDIR));
#endif
    EXPECT_EQ(shown.title, "quorvixDDNS");
    EXPECT_EQ(shown.icon, MessageIcon::Critical);
  }
  state_.logFilePath = dir_ / "q.log";
  log_.WriteLog("back", false);
  EXPECT_EQ(ReadFile(state_.logFilePath), kStamp + "\tback\r\n");
  EXPECT_EQ(desktop_.messages.size(), 2u);
  EXPECT_EQ(desktop_.endProcessCalls, 0);
}

}  // namespace
}  // namespace quorvix
