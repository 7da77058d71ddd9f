#include "platform/program_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace quorvix::platform {
namespace {

TEST(ProgramPaths, BaseNameOfTable) {
  const std::pair<std::string, std::string> cases[] = {{"quorvixDDNS.exe", "quorvixDDNS"},
                                                       {"quorvixDDNS", "quorvixDDNS"},
                                                       {"a.b.exe", "a.b"},
                                                       {".hidden", ".hidden"}};
  for (const auto& [name, base] : cases) EXPECT_EQ(BaseNameOf(name), base) << name;
}

TEST(ProgramPaths, LocationOfPathTable) {
  const struct {
    std::string path, folder;
  } cases[] = {{"/usr/bin/quorvixDDNS", "/usr/bin"},
               {"/quorvixDDNS", "/"},
               {"C:\\quorvixDDNS.exe", "C:\\"},  // a root keeps its separator
               {"C:\\Program Files\\Q\\quorvixDDNS.exe", "C:\\Program Files\\Q"}};
  for (const auto& c : cases) {
    const ProgramLocation location = LocationOfPath(c.path);
    EXPECT_EQ(location.folder, c.folder) << c.path;
    EXPECT_EQ(location.baseName, "quorvixDDNS") << c.path;
  }
}

TEST(ProgramPaths, AutoRunCommandJoinsWithOneSeparator) {
  EXPECT_EQ(AutoRunCommand({"/opt/q", "quorvixDDNS"}), "/opt/q/quorvixDDNS");
  EXPECT_EQ(AutoRunCommand({"/", "quorvixDDNS"}), "/quorvixDDNS");
}

TEST(ProgramPaths, DefaultLogFileFollowsStateHome) {
  const auto saved = [](const char* name) {
    const char* value = std::getenv(name);
    return std::pair<bool, std::string>(value != nullptr, value ? value : "");
  };
  const auto restore = [](const char* name, const std::pair<bool, std::string>& value) {
    value.first ? ::setenv(name, value.second.c_str(), 1) : ::unsetenv(name);
  };
  const auto oldHome = saved("HOME"), oldState = saved("XDG_STATE_HOME");
  const std::string fallback = "/home/tester/.local/state/quorvixDDNS/quorvixDDNS.log";
  const struct {
    const char* stateHome;  // nullptr: unset
    std::string expected;
  } cases[] = {{"/var/st", "/var/st/quorvixDDNS/quorvixDDNS.log"},
               {nullptr, fallback},
               {"", fallback},
               {"rel/st", fallback}};
  ::setenv("HOME", "/home/tester", 1);
  for (const auto& c : cases) {
    c.stateHome ? ::setenv("XDG_STATE_HOME", c.stateHome, 1) : ::unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(DefaultLogFilePath({"/opt/q", "quorvixDDNS"}), c.expected)
        << (c.stateHome ? c.stateHome : "(unset)");
  }
  restore("HOME", oldHome);
  restore("XDG_STATE_HOME", oldState);
}

TEST(ProgramPaths, CurrentProgramLocationIsThisTest) {
  namespace fs = std::filesystem;
  const ProgramLocation location = CurrentProgramLocation();
  EXPECT_EQ(location.baseName, "platform_test");
  EXPECT_TRUE(fs::path(location.folder).is_absolute()) << location.folder;
  EXPECT_TRUE(fs::is_directory(location.folder)) << location.folder;
  EXPECT_TRUE(fs::is_regular_file(location.folder + "/" + location.baseName)) << location.folder;
}

}  // namespace
}  // namespace quorvix::platform
