#include "settings/event_log.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/files.h"
#include "support/fake_clock.h"
#include "support/fake_desktop.h"
#include "support/temp_dir.h"

namespace quorvix {
namespace {

namespace fs = std::filesystem;
using quorvix::testing::FakeClock;
using quorvix::testing::FakeDesktop;
using quorvix::testing::FileExists;
using quorvix::testing::ReadFile;

// The file holds the platform's own text: UTF-8 on POSIX, the ANSI code page on Windows.
std::string InFile(std::string_view utf8) { return platform::ToPlatformText(utf8); }
using quorvix::testing::TempDir;
using quorvix::testing::WriteFile;

constexpr std::string_view kStamp = "2008-6-12 14:05:09";  // FakeClock's start

class EventLogTest : public ::testing::Test {
 protected:
  EventLogTest() {
    state_.logFilePath = dir_ / "q.log";
    log_.SetLineObserver([this](std::string_view line) { observed_.emplace_back(line); });
  }

  TempDir dir_;
  ProgramState state_;
  FakeDesktop desktop_;
  FakeClock clock_;
  EventLog log_{state_, desktop_, clock_};
  std::vector<std::string> observed_;
};

TEST_F(EventLogTest, LineIsTimeStampTabMessageCrLf) {
  const struct {
    platform::LocalTime time;
    std::string_view message;
    std::string_view line;
  } cases[] = {
      {{2008, 6, 12, 14, 5, 9, 0}, "message", "2008-6-12 14:05:09\tmessage\r\n"},
      {{2008, 6, 12, 0, 0, 0, 0}, "midnight", "2008-6-12\tmidnight\r\n"},
      {{2021, 12, 31, 0, 0, 1, 500}, "更新成功", "2021-12-31 0:00:01\t更新成功\r\n"},
      {{2008, 6, 12, 9, 1, 2, 0}, "first\r\nsecond", "2008-6-12 9:01:02\tfirst\r\nsecond\r\n"},
  };
  for (const auto& c : cases) {
    fs::remove(state_.logFilePath);
    clock_.Set(c.time);
    log_.WriteLog(c.message, false);
    EXPECT_EQ(ReadFile(state_.logFilePath), InFile(c.line)) << c.message;
  }
  EXPECT_TRUE(desktop_.messages.empty());
}

TEST_F(EventLogTest, VerboseLinesFollowTheFlagAtEveryCall) {
  const struct {
    bool verboseOnly;
    bool glbLogVerbose;
    bool written;
  } cases[] = {{true, false, false}, {true, true, true}, {false, false, true}, {false, true, true}};
  for (const auto& c : cases) {
    fs::remove(state_.logFilePath);
    observed_.clear();
    state_.glbLogVerbose = c.glbLogVerbose;
    log_.WriteLog("m", c.verboseOnly);
    EXPECT_EQ(FileExists(state_.logFilePath), c.written) << c.verboseOnly << c.glbLogVerbose;
    EXPECT_EQ(observed_.size(), c.written ? 1u : 0u) << c.verboseOnly << c.glbLogVerbose;
  }

  // The same log object follows the flag as it is switched between calls.
  fs::remove(state_.logFilePath);
  for (const bool verbose : {true, false, true}) {
    state_.glbLogVerbose = verbose;
    log_.WriteLog(verbose ? "on" : "off", true);
  }
  const std::string stamp(kStamp);
  EXPECT_EQ(ReadFile(state_.logFilePath), stamp + "\ton\r\n" + stamp + "\ton\r\n");
}

TEST_F(EventLogTest, AppendsInCallOrderCreatingMissingFolders) {
  state_.logFilePath = dir_ / "state/quorvixDDNS/q.log";
  log_.WriteLog("one", false);
  clock_.Advance(std::chrono::seconds(1));
  log_.WriteLog("two", false);
  EXPECT_EQ(ReadFile(state_.logFilePath),
            "2008-6-12 14:05:09\tone\r\n"
            "2008-6-12 14:05:10\ttwo\r\n");

  WriteFile(dir_ / "old.log", "earlier\r\n");
  state_.logFilePath = dir_ / "old.log";
  log_.WriteLog("three", false);
  EXPECT_EQ(ReadFile(state_.logFilePath), "earlier\r\n2008-6-12 14:05:10\tthree\r\n");
  EXPECT_EQ(observed_,
            (std::vector<std::string>{"2008-6-12 14:05:09\tone", "2008-6-12 14:05:10\ttwo",
                                      "2008-6-12 14:05:10\tthree"}));
  EXPECT_TRUE(desktop_.messages.empty());
}

TEST_F(EventLogTest, ReportErrorLogsAndShowsOneBox) {
  log_.ReportError("boom");
  const std::string message = std::string(kErrorReportPrefix) + "boom";
  EXPECT_EQ(ReadFile(state_.logFilePath), InFile(std::string(kStamp) + "\t" + message + "\r\n"));
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(desktop_.messages[0].text, message);
  EXPECT_EQ(desktop_.messages[0].title, "quorvixDDNS");
  EXPECT_EQ(desktop_.messages[0].icon, MessageIcon::Critical);
}

struct UnwritableCase {
  std::string_view label;
  std::string_view path;  // under the temporary folder unless absolute
  int error;
};

void PrintTo(const UnwritableCase& c, std::ostream* os) { *os << c.label; }

class EventLogUnwritableTest : public EventLogTest,
                               public ::testing::WithParamInterface<UnwritableCase> {};

TEST_P(EventLogUnwritableTest, EachLostLineIsReportedOnceAndLoggingRecovers) {
  const UnwritableCase& c = GetParam();
  fs::create_directories(dir_ / "folder.log");
  WriteFile(dir_ / "file", "a file");
  const bool absolute = c.path.front() == '/';
#ifdef _WIN32
  if (absolute) GTEST_SKIP() << c.path << " is a POSIX device";
#endif
  state_.logFilePath = absolute ? std::string(c.path) : dir_ / c.path;
  if (!FileExists(state_.logFilePath) && absolute) GTEST_SKIP() << c.path;

  log_.WriteLog("lost 1", false);
  log_.WriteLog("lost 2", false);
  ASSERT_EQ(desktop_.messages.size(), 2u) << c.label;
  for (const auto& shown : desktop_.messages) {
#ifdef _WIN32
    // The system's own wording of the error, whatever the language of the machine.
    EXPECT_EQ(shown.text.rfind(kErrorReportPrefix, 0), 0u) << c.label;
    EXPECT_GT(shown.text.size(), kErrorReportPrefix.size()) << c.label;
#else
    const std::string expected = std::string(kErrorReportPrefix) +
                                 std::error_code(c.error, std::generic_category()).message();
    EXPECT_EQ(shown.text, expected) << c.label;
#endif
    EXPECT_EQ(shown.title, "quorvixDDNS");
    EXPECT_EQ(shown.icon, MessageIcon::Critical);
  }
  EXPECT_EQ(desktop_.endProcessCalls, 0);

  state_.logFilePath = dir_ / "q.log";
  log_.WriteLog("back", false);
  EXPECT_EQ(ReadFile(state_.logFilePath), std::string(kStamp) + "\tback\r\n");
  EXPECT_EQ(desktop_.messages.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Obstacles, EventLogUnwritableTest,
                         ::testing::Values(UnwritableCase{"path is a folder", "folder.log", EISDIR},
                                           UnwritableCase{"disk full", "/dev/full", ENOSPC},
                                           UnwritableCase{"parent is a file", "file/q.log",
                                                          ENOTDIR}));

}  // namespace
}  // namespace quorvix
