#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/program_paths.h"
#include "platform/settings_backend_posix.h"
#include "settings/store.h"
#include "support/fake_desktop.h"
#include "support/temp_dir.h"

namespace quorvix {
namespace {

namespace fs = std::filesystem;
using quorvix::testing::FakeDesktop;
using quorvix::testing::FileExists;
using quorvix::testing::ReadFile;
using quorvix::testing::TempDir;
using quorvix::testing::WriteFile;

// The Exec value of a desktop entry, as written (still escaped).
std::string ExecOf(const std::string& entry) {
  const auto start = entry.find("\nExec=");
  if (start == std::string::npos) return "<no Exec line>";
  const auto from = start + 6;
  return entry.substr(from, entry.find('\n', from) - from);
}

struct ProgramCase {
  platform::ProgramLocation program;
  std::string command;
  std::string exec;
};

void PrintTo(const ProgramCase& c, std::ostream* os) {
  *os << c.program.folder << " + " << c.program.baseName;
}

class AutoRunTest : public ::testing::TestWithParam<ProgramCase> {
 protected:
  std::string Folder() const { return dir_ / "autostart"; }
  std::string Entry() const { return Folder() + "/" + GetParam().program.baseName + ".desktop"; }

  TempDir dir_;
  platform::PosixSettingsBackend backend_{{dir_ / "key", Folder()}};
  FakeDesktop desktop_;
  SettingsStore store_{backend_, desktop_, GetParam().program, dir_ / "q.log"};
};

TEST_P(AutoRunTest, EntryRunsTheProgramAndIsReplacedThenDeleted) {
  EXPECT_EQ(platform::AutoRunCommand(GetParam().program), GetParam().command);
  EXPECT_FALSE(store_.SetAutoRun(false)) << "nothing to delete yet";

  ASSERT_TRUE(store_.SetAutoRun(true));
  const std::string first = ReadFile(Entry());
  EXPECT_EQ(ExecOf(first), GetParam().exec);
  ASSERT_TRUE(store_.SetAutoRun(true));
  EXPECT_EQ(ReadFile(Entry()), first);
  EXPECT_EQ(std::distance(fs::directory_iterator(Folder()), fs::directory_iterator()), 1);

  EXPECT_TRUE(store_.SetAutoRun(false));
  EXPECT_FALSE(FileExists(Entry()));
  EXPECT_FALSE(store_.SetAutoRun(false));
  EXPECT_TRUE(desktop_.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Programs, AutoRunTest,
    ::testing::Values(
        ProgramCase{{"/opt/q", "quorvixDDNS"}, "/opt/q/quorvixDDNS", "/opt/q/quorvixDDNS"},
        ProgramCase{{"/", "quorvixDDNS"}, "/quorvixDDNS", "/quorvixDDNS"},
        ProgramCase{{"/opt/my apps", "q"}, "/opt/my apps/q", R"("/opt/my apps/q")"}));

TEST(AutoRunFolderTest, FolderThatIsAFileFails) {
  TempDir dir;
  WriteFile(dir / "autostart", "not a folder");
  platform::PosixSettingsBackend backend({dir / "key", dir / "autostart"});
  FakeDesktop desktop;
  SettingsStore store(backend, desktop, {"/opt/q", "quorvixDDNS"}, dir / "q.log");
  EXPECT_FALSE(store.SetAutoRun(true));
  EXPECT_FALSE(store.SetAutoRun(false));
  EXPECT_EQ(ReadFile(dir / "autostart"), "not a folder");
  EXPECT_TRUE(desktop.messages.empty());
}

TEST(DesktopEntryExecTest, QuotesAndEscapesReservedCharacters) {
  const struct {
    std::string_view command;
    std::string_view exec;
  } cases[] = {
      {"/opt/q/quorvixDDNS", "/opt/q/quorvixDDNS"},
      {"/opt/my app/q", R"("/opt/my app/q")"},
      {"/opt/it's/q", R"("/opt/it's/q")"},
      {R"(/opt/a"b/q)", R"("/opt/a\\"b/q")"},
      {"/opt/a`b/q", R"("/opt/a\\`b/q")"},
      {"/opt/$HOME/q", R"("/opt/\\$HOME/q")"},
      {R"(/opt/a\b/q)", R"("/opt/a\\\\b/q")"},
      {"/opt/100%/q", "/opt/100%%/q"},
      {"/opt/1 %f/q", R"("/opt/1 %%f/q")"},
      // A value holds no control characters, only their escapes.
      {"/opt/a\tb/q", R"("/opt/a\tb/q")"},
      {"/opt/a\rb/q", R"(/opt/a\rb/q)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::DesktopEntryExec(c.command), c.exec) << c.command;
  }
}

}  // namespace
}  // namespace quorvix
