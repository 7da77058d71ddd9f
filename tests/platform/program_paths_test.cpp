#include "platform/program_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>

namespace quorvix::platform {
namespace {

// A root keeps its separator; a leading dot starts no extension.
TEST(ProgramPaths, LocationOfPathAndAutoRunCommand) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"/usr/bin/quorvixDDNS", "/usr/bin", "quorvixDDNS"},
      {"/q.exe", "/", "q"},
      {"C:\\a.b.exe", "C:\\", "a.b"},
      {"C:\\Program Files\\Q\\.hidden", "C:\\Program Files\\Q", ".hidden"},
      {"quorvixDDNS", "", "quorvixDDNS"}};
  for (const auto& [path, folder, baseName] : cases) {
    const ProgramLocation location = LocationOfPath(path);
    EXPECT_EQ(std::tie(location.folder, location.baseName), std::tie(folder, baseName)) << path;
  }
  EXPECT_EQ(AutoRunCommand({"/opt/q", "quorvixDDNS"}), "/opt/q/quorvixDDNS");
  EXPECT_EQ(AutoRunCommand({"/", "quorvixDDNS"}), "/quorvixDDNS");
  const ProgramLocation self = CurrentProgramLocation();
  EXPECT_EQ(self.baseName, "platform_test");
  EXPECT_TRUE(self.folder.starts_with('/') &&
              std::filesystem::is_regular_file(self.folder + "/platform_test"))
      << self.folder;
}

TEST(ProgramPaths, DefaultLogFileFollowsStateHome) {
  const auto get = [](const char* name) -> std::optional<std::string> {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
  };
  const auto put = [](const char* name, const std::optional<std::string>& value) {
    value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
  };
  const auto oldHome = get("HOME"), oldState = get("XDG_STATE_HOME");
  const std::string fallback = "/home/tester/.local/state/quorvixDDNS/quorvixDDNS.log";
  const std::pair<std::optional<std::string>, std::string> cases[] = {
      {"/var/st", "/var/st/quorvixDDNS/quorvixDDNS.log"},
      {std::nullopt, fallback},
      {"rel/st", fallback}};  // only an absolute path counts
  put("HOME", "/home/tester");
  for (const auto& [stateHome, expected] : cases) {
    put("XDG_STATE_HOME", stateHome);
    EXPECT_EQ(DefaultLogFilePath({"/opt/q", "quorvixDDNS"}), expected) << stateHome.value_or("-");
  }
  put("HOME", oldHome);
  put("XDG_STATE_HOME", oldState);
}

}  // namespace
}  // namespace quorvix::platform
