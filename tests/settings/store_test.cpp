#include "settings/store.h"

#include <gtest/gtest.h>

#include "platform/settings_backend_posix.h"
#include "support/fake_desktop.h"
#include "support/temp_dir.h"

namespace quorvix {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;

class StoreTest : public ::testing::Test {
 protected:
  std::string Key() const { return dir_ / "config/q"; }
  unsigned Mode(const std::string& path) { return unsigned(fs::status(path).permissions()); }

  testing::TempDir dir_;
  bool crash_ = false;  // just before a value's new file is renamed over the old one
  platform::PosixSettingsBackend backend_{{Key(), dir_ / "autostart"}, [this] {
                                            if (crash_) throw std::runtime_error("crash");
                                          }};
  testing::FakeDesktop desktop_;
  SettingsStore store_{backend_, desktop_, {"/opt/my apps/", "q"}, dir_ / "log/q.log"};
};

// Only the exact words count; the first run is marked done in the store.
TEST_F(StoreTest, LoadSettingsTakesOnlyTheExactWords) {
  const std::string_view names[] = {kSettingAutoRun, kSettingMX, kSettingFirstRun,
                                    kSettingLogVerbose, kSettingDomains};
  for (const auto& [stored, expected] :  // autorun, MX, first run, verbose, has domains
       {std::pair<std::array<const char*, 5>, std::string>{{"", "", "", "", ""}, "11100"},
        {{"false", "false", "false", "true", "a.com|pw,"}, "00011"},
        {{"false ", "FALSE", " false", "True", "a.com|pw"}, "11100"}}) {
    ProgramState state;
    bool* flags[] = {&state.glbAutoRun, &state.glbMX, &state.glbFirstRun, &state.glbLogVerbose,
                     &state.hasDomains};
    for (std::size_t i = 0; i < 5; ++i) {
      ASSERT_TRUE(store_.WriteSetting(names[i], stored[i]));
      *flags[i] = expected[i] == '0';  // must be overwritten, not left as found
    }
    store_.LoadSettings(state);
    std::string loaded;
    for (const bool* flag : flags) loaded += *flag ? '1' : '0';
    EXPECT_EQ(loaded + " " + store_.ReadSetting(kSettingFirstRun) + " " + state.logFilePath,
              expected + " false " + dir_ / "log/q.log");
  }
}

// Private (a key widened by hand is tightened again), read through the 1,024-byte buffer, kept
// whole by a crash; a key that cannot be opened ends the program on reading.
TEST_F(StoreTest, ValuesAreStoredWholeAndPrivateAndReadThroughTheBuffer) {
  std::string chinese;  // 341 characters: 1,023 bytes of UTF-8
  for (int i = 0; i < 341; ++i) chinese += "域";
  for (const auto& [stored, expected] : {std::pair<std::string, std::string>{chinese, chinese},
                                         {std::string(1024, 'a'), ""},
                                         {std::string("ab\0cd", 5), "ab"}}) {
    ASSERT_TRUE(store_.WriteSetting("v", stored));
    EXPECT_EQ(ReadFile(Key() + "/v"), stored);
    EXPECT_EQ(std::pair(Mode(Key()), Mode(Key() + "/v")), std::pair(0700u, 0600u));
    fs::permissions(Key(), fs::perms(0755));
    EXPECT_EQ(store_.ReadSetting("v"), expected) << stored.size() << " bytes";
    EXPECT_EQ(Mode(Key()), 0700u);
  }
  EXPECT_FALSE(store_.WriteSetting("../v", "out") || store_.WriteSetting(".v", "hidden"));
  EXPECT_EQ(store_.ReadSetting("missing"), "");
  crash_ = true;
  EXPECT_THROW(store_.WriteSetting("v", "new"), std::runtime_error);
  EXPECT_EQ(store_.ReadSetting("v"), "ab");
  EXPECT_TRUE(desktop_.calls.empty());
  fs::remove_all(Key());
  testing::WriteFile(Key(), "not a folder");
  EXPECT_FALSE(store_.WriteSetting(kSettingMX, "true"));
  EXPECT_TRUE(desktop_.calls.empty());
  EXPECT_EQ(store_.ReadSetting(kSettingMX), "");
  EXPECT_EQ(desktop_.calls, (std::vector<std::string>{"message:打开注册表失败", "end process"}));
  EXPECT_EQ(desktop_.messages.at(0).title, "系统错误");
}

// The autostart entry, replaced whole, then deleted; its command quoted and escaped.
TEST_F(StoreTest, AutoRunEntry) {
  EXPECT_TRUE(!store_.SetAutoRun(false) && store_.SetAutoRun(true) && store_.SetAutoRun(true));
  const std::string entry = ReadFile(dir_ / "autostart/q.desktop");
  EXPECT_NE(entry.find("\nExec=\"/opt/my apps/q\"\n"), std::string::npos) << entry;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "autostart"), {}), 1);
  EXPECT_TRUE(store_.SetAutoRun(false) && !store_.SetAutoRun(false));
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"/opt/q/quorvixDDNS", "/opt/q/quorvixDDNS"},
      {"/opt/it's/q", R"("/opt/it's/q")"},
      {R"(/a"b`c$d\e/q)", R"("/a\\"b\\`c\\$d\\\\e/q")"},
      {"/opt/100%/q", "/opt/100%%/q"},
      {"/opt/a\tb/q", R"("/opt/a\tb/q")"},
      {"/opt/a\rb/q", R"(/opt/a\rb/q)"}};
  for (const auto& [command, exec] : cases) EXPECT_EQ(platform::DesktopEntryExec(command), exec);
}

}  // namespace
}  // namespace quorvix
