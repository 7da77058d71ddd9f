#include "settings/store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/settings_backend_posix.h"
#include "support/fake_desktop.h"
#include "support/temp_dir.h"

namespace quorvix {
namespace {

namespace fs = std::filesystem;
using quorvix::testing::FakeDesktop;
using quorvix::testing::ReadFile;
using quorvix::testing::TempDir;
using quorvix::testing::WriteFile;

std::string Repeat(std::string_view piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

unsigned ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 0777;
}

class StoreTest : public ::testing::Test {
 protected:
  std::string Key() const { return dir_ / "config/quorvixDDNS"; }
  std::string Value(std::string_view name) const { return Key() + "/" + std::string(name); }

  TempDir dir_;
  bool crash_ = false;
  int renames_ = 0;
  platform::PosixSettingsBackend backend_{{Key(), dir_ / "config/autostart"}, [this] {
                                            ++renames_;
                                            if (crash_) throw std::runtime_error("crash");
                                          }};
  FakeDesktop desktop_;
  SettingsStore store_{backend_, desktop_, {"/opt/q", "quorvixDDNS"}, dir_ / "log/q.log"};
};

TEST_F(StoreTest, LoadSettingsOnEmptyStoreGivesDefaultsAndMarksFirstRunDone) {
  ProgramState state;
  state.glbLogVerbose = true;  // must be overwritten, not left as found
  state.hasDomains = true;
  store_.LoadSettings(state);
  EXPECT_TRUE(state.glbAutoRun);
  EXPECT_TRUE(state.glbMX);
  EXPECT_TRUE(state.glbFirstRun);
  EXPECT_FALSE(state.glbLogVerbose);
  EXPECT_FALSE(state.hasDomains);
  EXPECT_EQ(state.logFilePath, dir_ / "log/q.log");
  EXPECT_EQ(store_.ReadSetting(kSettingFirstRun), "false");

  ProgramState second;
  store_.LoadSettings(second);
  EXPECT_FALSE(second.glbFirstRun);
  EXPECT_TRUE(desktop_.messages.empty());
}

struct WordCase {
  std::string_view name;
  std::string stored;
  bool ProgramState::*flag;
  bool expected;
};

void PrintTo(const WordCase& c, std::ostream* os) { *os << c.name << "='" << c.stored << "'"; }

class StoreWordTest : public StoreTest, public ::testing::WithParamInterface<WordCase> {};

TEST_P(StoreWordTest, OnlyTheExactWordCounts) {
  const WordCase& c = GetParam();
  ASSERT_TRUE(store_.WriteSetting(c.name, c.stored));
  ProgramState state;
  state.*c.flag = !c.expected;
  store_.LoadSettings(state);
  EXPECT_EQ(state.*c.flag, c.expected) << c.name << " = '" << c.stored << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Words, StoreWordTest,
    ::testing::Values(WordCase{kSettingAutoRun, "false", &ProgramState::glbAutoRun, false},
                      WordCase{kSettingAutoRun, "False", &ProgramState::glbAutoRun, true},
                      WordCase{kSettingAutoRun, "FALSE", &ProgramState::glbAutoRun, true},
                      WordCase{kSettingAutoRun, " false", &ProgramState::glbAutoRun, true},
                      WordCase{kSettingAutoRun, "", &ProgramState::glbAutoRun, true},
                      WordCase{kSettingMX, "false", &ProgramState::glbMX, false},
                      WordCase{kSettingMX, "False", &ProgramState::glbMX, true},
                      WordCase{kSettingMX, "", &ProgramState::glbMX, true},
                      WordCase{kSettingLogVerbose, "true", &ProgramState::glbLogVerbose, true},
                      WordCase{kSettingLogVerbose, "TRUE", &ProgramState::glbLogVerbose, false},
                      WordCase{kSettingLogVerbose, "True", &ProgramState::glbLogVerbose, false},
                      WordCase{kSettingLogVerbose, "", &ProgramState::glbLogVerbose, false},
                      WordCase{kSettingFirstRun, "false", &ProgramState::glbFirstRun, false},
                      WordCase{kSettingFirstRun, "False", &ProgramState::glbFirstRun, true},
                      WordCase{kSettingFirstRun, "false ", &ProgramState::glbFirstRun, true},
                      WordCase{kSettingDomains, "a.com|pw,", &ProgramState::hasDomains, true},
                      WordCase{kSettingDomains, "a.com|pw", &ProgramState::hasDomains, false}));

struct LengthCase {
  std::string_view label;
  std::string stored;
  std::string expected;
};

void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.label; }

class StoreLengthTest : public StoreTest, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(StoreLengthTest, ReadsThroughTheFixedBuffer) {
  const LengthCase& c = GetParam();
  ASSERT_TRUE(store_.WriteSetting("v", c.stored)) << c.label;
  EXPECT_EQ(ReadFile(Value("v")), c.stored) << c.label;  // stored whole; only reading is bounded
  EXPECT_EQ(store_.ReadSetting("v"), c.expected) << c.label;
  EXPECT_TRUE(desktop_.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, StoreLengthTest,
    ::testing::Values(LengthCase{"1023 bytes", std::string(1023, 'a'), std::string(1023, 'a')},
                      LengthCase{"1024 bytes", std::string(1024, 'a'), ""},
                      LengthCase{"5000 bytes", std::string(5000, 'a'), ""},
                      LengthCase{"empty", "", ""}, LengthCase{"one byte", "x", "x"},
                      LengthCase{"chinese", "域名密码", "域名密码"},
                      LengthCase{"341 chinese", Repeat("域", 341), Repeat("域", 341)},
                      LengthCase{"342 chinese", Repeat("域", 342), ""},
                      LengthCase{"inner NUL", std::string("ab\0cd", 5), "ab"}));

TEST_F(StoreTest, MissingOrUnreadableValueReadsEmptyWithoutMessage) {
  EXPECT_EQ(store_.ReadSetting("never"), "");
  fs::create_directories(Value("folder"));
  EXPECT_EQ(store_.ReadSetting("folder"), "");
  EXPECT_FALSE(store_.WriteSetting("folder", "x"));
  EXPECT_TRUE(fs::is_directory(Value("folder")));
  EXPECT_TRUE(desktop_.messages.empty());
  EXPECT_EQ(desktop_.endProcessCalls, 0);
}

TEST_F(StoreTest, NamesThatCouldLeaveTheKeyAreRefused) {
  // Each name is paired with the file it would reach if it were used as a path.
  const struct {
    std::string_view name;
    std::string reached;
  } cases[] = {
      {"../x", dir_ / "config/x"}, {"a/b", Value("a/b")}, {".hidden", Value(".hidden")}, {"", ""}};
  fs::create_directories(Value("a"));
  for (const auto& c : cases) {
    if (!c.reached.empty()) WriteFile(c.reached, "planted");
    EXPECT_FALSE(store_.WriteSetting(c.name, "new")) << c.name;
    EXPECT_EQ(store_.ReadSetting(c.name), "") << c.name;
    if (!c.reached.empty()) {
      EXPECT_EQ(ReadFile(c.reached), "planted") << c.name;
    }
  }
  EXPECT_TRUE(desktop_.messages.empty());
}

class StoreKeyUnavailableTest : public StoreTest,
                                public ::testing::WithParamInterface<std::string_view> {};

TEST_P(StoreKeyUnavailableTest, ReadEndsTheProgramAndWriteFailsQuietly) {
  const std::string file = dir_ / GetParam();
  fs::create_directories(fs::path(file).parent_path());
  WriteFile(file, "not a folder");

  EXPECT_FALSE(store_.WriteSetting(kSettingMX, "true"));
  EXPECT_TRUE(desktop_.messages.empty());
  EXPECT_EQ(desktop_.endProcessCalls, 0);

  EXPECT_EQ(store_.ReadSetting(kSettingMX), "");
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(desktop_.messages[0].text, "打开注册表失败");
  EXPECT_EQ(desktop_.messages[0].title, "系统错误");
  EXPECT_EQ(desktop_.messages[0].icon, MessageIcon::Critical);
  EXPECT_EQ(desktop_.endProcessCalls, 1);
}

INSTANTIATE_TEST_SUITE_P(Obstacles, StoreKeyUnavailableTest,
                         ::testing::Values("config/quorvixDDNS", "config"));

TEST_F(StoreTest, KeyAndValuesArePrivate) {
  ASSERT_TRUE(store_.WriteSetting(kSettingDomains, "a.com|pw,"));
  EXPECT_EQ(ModeOf(Key()), 0700u);
  EXPECT_EQ(ModeOf(Value(kSettingDomains)), 0600u);

  // A value widened by hand and a widened folder are tightened by the next access.
  ::chmod(Value(kSettingDomains).c_str(), 0644);
  ::chmod(Key().c_str(), 0755);
  ASSERT_TRUE(store_.WriteSetting(kSettingDomains, "b.com|pw,"));
  EXPECT_EQ(ModeOf(Key()), 0700u);
  EXPECT_EQ(ModeOf(Value(kSettingDomains)), 0600u);

  ::chmod(Key().c_str(), 0755);
  EXPECT_EQ(store_.ReadSetting(kSettingDomains), "b.com|pw,");
  EXPECT_EQ(ModeOf(Key()), 0700u);
}

TEST_F(StoreTest, CrashBeforeRenameKeepsTheOldValueWhole) {
  const std::string old = Repeat("a.com|域名密码,", 40);
  ASSERT_TRUE(store_.WriteSetting(kSettingDomains, old));
  crash_ = true;
  for (const std::string_view name : {kSettingDomains, kSettingMX}) {
    const int before = renames_;
    try {
      EXPECT_FALSE(store_.WriteSetting(name, "new.com|pw,"));
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(renames_, before + 1) << "the crash point was not reached for " << name;
  }
  EXPECT_EQ(store_.ReadSetting(kSettingDomains), old);
  EXPECT_EQ(store_.ReadSetting(kSettingMX), "");

  crash_ = false;
  EXPECT_TRUE(store_.WriteSetting(kSettingDomains, "new.com|pw,"));
  EXPECT_EQ(store_.ReadSetting(kSettingDomains), "new.com|pw,");
}

}  // namespace
}  // namespace quorvix
