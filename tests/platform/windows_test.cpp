// What only Windows has: the registry store, the module path, the named mutex. Run under Wine
// with the Chinese ANSI code page (LC_ALL=zh_CN.UTF-8 gives code page 936).
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/instance_lock.h"
#include "platform/program_paths.h"
#include "platform/settings_backend_win32.h"
#include "settings/store.h"
#include "support/fake_desktop.h"

namespace quorvix {
namespace {

using platform::RegistryHives;

// A private key under the user's hive for each test, removed afterwards.
class RegistryTest : public ::testing::Test {
 protected:
  ~RegistryTest() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str()); }
  std::string RawValue(const std::string& key, const std::string& name) {
    char buffer[4096] = {};
    DWORD size = sizeof buffer;
    return ::RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr,
                          buffer, &size) == ERROR_SUCCESS
               ? std::string(buffer, size > 0 ? size - 1 : 0)
               : "<missing>";
  }
  const std::string base_ = "SOFTWARE\\QuorvixDDNS-test-" + std::to_string(::GetCurrentProcessId());
  RegistryHives hives_{HKEY_CURRENT_USER, base_ + "\\Program", base_ + "\\Run"};
  platform::RegistrySettingsBackend backend_{hives_};
  testing::FakeDesktop desktop_;
  SettingsStore store_{backend_, desktop_, {"C:\\Q\\", "quorvixDDNS"}, "log"};
};

// Two bytes a Chinese character in code page 936: 511 fit the 1024-byte buffer, 512 do not.
TEST_F(RegistryTest, ValuesFirstRunAndTheRunEntry) {
  std::string chinese;
  while (chinese.size() < 511 * 3) chinese += "域";
  for (const auto& [text, expected] : {std::pair{std::string(1023, 'a'), std::string(1023, 'a')},
                                       {std::string(1024, 'a'), std::string()},
                                       {chinese, chinese},
                                       {chinese + "域", std::string()}}) {
    ASSERT_TRUE(store_.WriteSetting(kSettingMX, text));
    EXPECT_EQ(store_.ReadSetting(kSettingMX), expected) << text.size();
  }
  ASSERT_TRUE(store_.WriteSetting(kSettingMX, "域名"));
  EXPECT_EQ(RawValue(hives_.programKey, "glbMX"), "\xD3\xF2\xC3\xFB");
  ProgramState state;
  store_.LoadSettings(state);
  EXPECT_TRUE(state.glbAutoRun && state.glbFirstRun && !state.glbLogVerbose && !state.hasDomains);
  EXPECT_EQ(RawValue(hives_.programKey, "glbFirstRun"), "false");
  ASSERT_TRUE(store_.SetAutoRun(true));
  EXPECT_EQ(RawValue(hives_.runKey, "quorvixDDNS"), "C:\\Q\\quorvixDDNS.exe");
  ASSERT_TRUE(store_.SetAutoRun(false));
  EXPECT_FALSE(store_.SetAutoRun(false));  // nothing left to delete
  EXPECT_TRUE(desktop_.messages.empty());
}

TEST(RegistryHivesTest, TheUserHiveWhenTheMachineHiveIsNotWritable) {
  EXPECT_EQ(RegistryHives::Choose([] { return false; }).root,
            static_cast<void*>(HKEY_CURRENT_USER));
  EXPECT_EQ(RegistryHives::Choose([] { return true; }).root,
            static_cast<void*>(HKEY_LOCAL_MACHINE));
}

TEST(ModulePath, TheTestProgramAndTheLogBesideIt) {
  const platform::ProgramLocation here = platform::CurrentProgramLocation();
  EXPECT_EQ(here.baseName, "windows_test");
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(here.folder + "\\windows_test.exe")));
  EXPECT_EQ(platform::DefaultLogFilePath(here), here.folder + "\\quorvixDDNS.log");
}

// The second holder sees the first; IsHeld takes nothing.
TEST(InstanceLockTest, HoldersSeeEachOtherAndTakeTurns) {
  const std::string name = "quorvix-test-" + std::to_string(::GetCurrentProcessId());
  EXPECT_FALSE(platform::InstanceLock::IsHeld(name));
  {
    const platform::InstanceLock first(name);
    EXPECT_TRUE(!first.previousInstance() && platform::InstanceLock::IsHeld(name));
    EXPECT_TRUE(platform::InstanceLock(name).previousInstance());
  }
  EXPECT_FALSE(platform::InstanceLock::IsHeld(name));
}

}  // namespace
}  // namespace quorvix
