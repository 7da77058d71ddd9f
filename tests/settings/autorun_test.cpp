#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/settings_backend_posix.h"
#include "settings/store.h"
#include "support/fake_desktop.h"
#include "support/temp_dir.h"

namespace quorvix {
namespace {

using quorvix::testing::ReadFile;

TEST(AutoRunTest, EntryRunsTheProgramAndIsReplacedThenDeleted) {
  quorvix::testing::TempDir dir;
  const std::string folder = dir / "autostart", entry = folder + "/q.desktop";
  platform::PosixSettingsBackend backend({dir / "key", folder});
  quorvix::testing::FakeDesktop desktop;
  SettingsStore store(backend, desktop, {"/opt/my apps/", "q"}, dir / "q.log");
  EXPECT_FALSE(store.SetAutoRun(false)) << "nothing to delete yet";

  ASSERT_TRUE(store.SetAutoRun(true));
  const std::string first = ReadFile(entry);
  EXPECT_NE(first.find("\nExec=\"/opt/my apps/q\"\n"), std::string::npos) << first;
  ASSERT_TRUE(store.SetAutoRun(true));
  EXPECT_EQ(ReadFile(entry), first);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                          std::filesystem::directory_iterator()),
            1);

  EXPECT_TRUE(store.SetAutoRun(false));
  EXPECT_FALSE(quorvix::testing::FileExists(entry));
  EXPECT_FALSE(store.SetAutoRun(false));
  EXPECT_TRUE(desktop.messages.empty());
}

TEST(DesktopEntryExecTest, QuotesAndEscapesReservedCharacters) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"/opt/q/quorvixDDNS", "/opt/q/quorvixDDNS"},
      {"/opt/my app/q", R"("/opt/my app/q")"},
      {"/opt/it's/q", R"("/opt/it's/q")"},
      {R"(/a"b`c$d\e/q)", R"("/a\\"b\\`c\\$d\\\\e/q")"},
      {"/opt/100%/q", "/opt/100%%/q"},
      // A value holds no control characters, only their escapes.
      {"/opt/a\tb/q", R"("/opt/a\tb/q")"},
      {"/opt/a\rb/q", R"(/opt/a\rb/q)"}};
  for (const auto& [command, exec] : cases) {
    EXPECT_EQ(platform::DesktopEntryExec(command), exec) << command;
  }
}

}  // namespace
}  // namespace quorvix
