#include "settings/store.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/settings_backend_posix.h"
#include "support/fake_desktop.h"
#include "support/temp_dir.h"

namespace quorvix {
namespace {

namespace fs = std::filesystem;
using quorvix::testing::ReadFile;
using quorvix::testing::WriteFile;

unsigned ModeOf(const std::string& p) { return static_cast<unsigned>(fs::status(p).permissions()); }

class StoreTest : public ::testing::Test {
 protected:
  std::string Key() const { return dir_ / "config/quorvixDDNS"; }
  std::string Value(std::string_view name) const { return Key() + "/" + std::string(name); }

  quorvix::testing::TempDir dir_;
  bool crash_ = false;
  int renames_ = 0;
  platform::PosixSettingsBackend backend_{{Key(), dir_ / "config/autostart"}, [this] {
                                            ++renames_;
                                            if (crash_) throw std::runtime_error("crash");
                                          }};
  quorvix::testing::FakeDesktop desktop_;
  SettingsStore store_{backend_, desktop_, {"/opt/q", "quorvixDDNS"}, dir_ / "log/q.log"};
};

// Each setting with the flag it loads into; only the exact words count, an empty or missing
// value gives the default, and the first run is marked done in the store.
TEST_F(StoreTest, LoadSettingsTakesOnlyTheExactWords) {
  const std::string_view names[] = {kSettingAutoRun, kSettingMX, kSettingFirstRun,
                                    kSettingLogVerbose, kSettingDomains};
  bool ProgramState::*const flags[] = {&ProgramState::glbAutoRun, &ProgramState::glbMX,
                                       &ProgramState::glbFirstRun, &ProgramState::glbLogVerbose,
                                       &ProgramState::hasDomains};
  const std::pair<std::array<std::string, 5>, std::array<bool, 5>> cases[] = {
      {{"", "", "", "", ""}, {true, true, true, false, false}},
      {{"false", "false", "false", "true", "a.com|pw,"}, {false, false, false, true, true}},
      {{"False", "FALSE", "False", "TRUE", "a.com|pw"}, {true, true, true, false, false}},
      {{" false", "false ", "false ", "True", "|"}, {true, true, true, false, false}}};
  for (const auto& [stored, expected] : cases) {
    ProgramState state;
    std::array<bool, 5> loaded{};
    for (std::size_t i = 0; i < loaded.size(); ++i) {
      ASSERT_TRUE(store_.WriteSetting(names[i], stored[i]));
      state.*flags[i] = !expected[i];  // must be overwritten, not left as found
    }
    store_.LoadSettings(state);
    for (std::size_t i = 0; i < loaded.size(); ++i) loaded[i] = state.*flags[i];
    EXPECT_EQ(loaded, expected) << stored[0] << "," << stored[1] << "," << stored[4];
    EXPECT_EQ(store_.ReadSetting(kSettingFirstRun), "false");
    EXPECT_EQ(state.logFilePath, dir_ / "log/q.log");
  }
  EXPECT_TRUE(desktop_.messages.empty());
}

TEST_F(StoreTest, ValuesAreStoredWholeAndReadThroughTheFixedBuffer) {
  std::string chinese;  // 341 characters: 1,023 bytes of UTF-8
  for (int i = 0; i < 341; ++i) chinese += "域";
  const std::pair<std::string, std::string> cases[] = {
      {std::string(1023, 'a'), std::string(1023, 'a')},
      {std::string(1024, 'a'), ""},
      {"x", "x"},
      {chinese, chinese},
      {chinese + "域", ""},
      {std::string("ab\0cd", 5), "ab"}};
  for (const auto& [stored, expected] : cases) {
    ASSERT_TRUE(store_.WriteSetting("v", stored));
    EXPECT_EQ(ReadFile(Value("v")), stored);
    EXPECT_EQ(store_.ReadSetting("v"), expected) << stored.size() << " bytes";
  }
  EXPECT_TRUE(desktop_.messages.empty());
}

// A name that could leave the key is refused; a file it would reach as a path stays untouched.
TEST_F(StoreTest, MissingUnreadableOrEscapingValuesReadEmptyWithoutMessage) {
  EXPECT_EQ(store_.ReadSetting("never"), "");
  fs::create_directories(Value("folder"));
  const std::string planted[] = {Value("folder/b"), dir_ / "config/x", Value(".hidden")};
  for (const std::string& file : planted) WriteFile(file, "planted");
  for (const std::string_view name : {"folder", "../x", "folder/b", ".hidden", ""}) {
    EXPECT_FALSE(store_.WriteSetting(name, "new")) << name;
    EXPECT_EQ(store_.ReadSetting(name), "") << name;
  }
  for (const std::string& file : planted) EXPECT_EQ(ReadFile(file), "planted") << file;
  EXPECT_TRUE(fs::is_directory(Value("folder")));
  EXPECT_TRUE(desktop_.calls.empty());
}

TEST_F(StoreTest, AKeyThatCannotBeOpenedEndsTheProgramOnReadOnly) {
  fs::create_directories(dir_ / "config");
  WriteFile(Key(), "not a folder");
  EXPECT_FALSE(store_.WriteSetting(kSettingMX, "true"));
  EXPECT_TRUE(desktop_.calls.empty());
  EXPECT_EQ(store_.ReadSetting(kSettingMX), "");
  EXPECT_EQ(desktop_.calls, (std::vector<std::string>{"message:打开注册表失败", "end process"}));
  EXPECT_EQ(desktop_.messages.at(0).title, "系统错误");
  EXPECT_EQ(desktop_.messages.at(0).icon, MessageIcon::Critical);
}

TEST_F(StoreTest, KeyAndValuesArePrivate) {
  ASSERT_TRUE(store_.WriteSetting(kSettingDomains, "a.com|pw,"));
  EXPECT_EQ(ModeOf(Key()), 0700u);
  EXPECT_EQ(ModeOf(Value(kSettingDomains)), 0600u);
  fs::permissions(Key(), fs::perms(0755));  // widened by hand: tightened by the next access
  ASSERT_TRUE(store_.WriteSetting(kSettingMX, "x"));
  EXPECT_EQ(ModeOf(Key()), 0700u);
  fs::permissions(Key(), fs::perms(0755));
  EXPECT_EQ(store_.ReadSetting(kSettingDomains), "a.com|pw,");
  EXPECT_EQ(ModeOf(Key()), 0700u);
}

TEST_F(StoreTest, CrashBeforeRenameKeepsTheOldValueWhole) {
  const std::string old = "a.com|域名密码,b.com|pw,";
  ASSERT_TRUE(store_.WriteSetting(kSettingDomains, old));
  crash_ = true;
  try {
    EXPECT_FALSE(store_.WriteSetting(kSettingDomains, "new.com|pw,"));
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(renames_, 2) << "the crash point was not reached";
  EXPECT_EQ(store_.ReadSetting(kSettingDomains), old);
  crash_ = false;
  EXPECT_TRUE(store_.WriteSetting(kSettingDomains, "new.com|pw,"));
  EXPECT_EQ(store_.ReadSetting(kSettingDomains), "new.com|pw,");
}

}  // namespace
}  // namespace quorvix
