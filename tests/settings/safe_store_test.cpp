// Nothing configured is lost, no value blocks, and interrupted writes leave nothing behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <string>

#include "platform/settings_backend_posix.h"
#include "settings/store.h"
#include "support/fake_desktop.h"
#include "support/temp_dir.h"

namespace quorvix {
namespace {

namespace fs = std::filesystem;
using namespace quorvix::testing;

struct Lines final : LogSink, std::vector<std::string> {
  void WriteLog(std::string_view message, bool verbose) override {
    push_back(std::string(message) + (verbose ? " (verbose)" : ""));
  }
};

class SafeStoreTest : public ::testing::Test {
 protected:
  SafeStoreTest() { fs::create_directories(Key()), store_.SetLogSink(&sink_); }
  std::string Key() const { return dir_ / "quorvixDDNS"; }
  std::string Value(std::string_view name) const { return Key() + "/" + std::string(name); }
  std::vector<fs::path> Kept() const {  // the lists moved aside
    std::vector<fs::path> kept;
    for (const fs::path& path : fs::directory_iterator(Key())) {
      if (path.filename().string().starts_with("domains.kept-")) kept.push_back(path);
    }
    return kept;
  }

  TempDir dir_;
  platform::PosixSettingsBackend backend_{{Key(), dir_ / "autostart"}};
  FakeDesktop desktop_;
  Lines sink_;
  SettingsStore store_{backend_, desktop_, {"/opt/q", "quorvixDDNS"}, dir_ / "q.log"};
};

// A list the store cannot read (too long, unreadable, not a regular file) looks empty to the
// dialog; saving a new one must keep the old one, and say where, in an always-written line.
TEST_F(SafeStoreTest, AnUnreadableDomainListIsKeptBeforeItIsReplaced) {
  const std::string longList(1024, 'a');
  WriteFile(Value("domains"), longList);
  ASSERT_EQ(store_.ReadSetting(kSettingDomains), "");
  ASSERT_TRUE(store_.WriteSetting(kSettingDomains, "new.example.com|pw,"));
  EXPECT_EQ(store_.ReadSetting(kSettingDomains), "new.example.com|pw,");
  const auto kept = Kept();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(ReadFile(kept[0]), longList);
  EXPECT_EQ(sink_, std::vector<std::string>{KeptDomainListLine(kept[0].string())});

  // A readable list, and other values, are replaced as before, with nothing kept or said.
  WriteFile(Value("glbMX"), std::string(2000, 'x'));
  ASSERT_TRUE(store_.WriteSetting(kSettingDomains, "b.example.com|pw,") &&
              store_.WriteSetting(kSettingMX, "true"));
  EXPECT_EQ(std::pair(Kept().size(), sink_.size()), std::pair(1ul, 1ul));
}

// A FIFO in place of a value reads as missing at once, and is kept aside like any unreadable list.
TEST_F(SafeStoreTest, AValueThatIsNoRegularFileReadsAsMissingWithoutBlocking) {
  ASSERT_EQ(::mkfifo(Value("domains").c_str(), 0600), 0);
  ProgramState state;
  store_.LoadSettings(state);
  EXPECT_FALSE(state.hasDomains);
  ASSERT_TRUE(store_.WriteSetting(kSettingDomains, "a.example.com|pw,"));
  ASSERT_EQ(Kept().size(), 1u);
  EXPECT_TRUE(fs::is_fifo(Kept()[0]));
}

// Temporaries of an unfinished write hold passwords: loading removes them, but not a fresh one.
TEST_F(SafeStoreTest, LoadingRemovesStaleTemporaryFilesOnly) {
  const std::string stale = Value(".domains.AbC123"), fresh = Value(".domains.XyZ789");
  WriteFile(stale, "a.example.com|secret,"), WriteFile(fresh, "b.example.com|secret,");
  const utimbuf hourAgo{::time(nullptr) - 3600, ::time(nullptr) - 3600};
  ASSERT_EQ(::utime(stale.c_str(), &hourAgo), 0);
  ProgramState state;
  store_.LoadSettings(state);
  EXPECT_TRUE(!FileExists(stale) && FileExists(fresh));
}

}  // namespace
}  // namespace quorvix
