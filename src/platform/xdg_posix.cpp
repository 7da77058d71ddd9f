#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/xdg.h"

namespace quorvix::platform {
namespace {

std::string AbsoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return {};
  return value;
}

std::string HomeFolder() {
  std::string home = AbsoluteEnv("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/tmp";
}

std::string EnvOr(const char* name, const char* fallbackBelowHome) {
  std::string value = AbsoluteEnv(name);
  return value.empty() ? HomeFolder() + fallbackBelowHome : value;
}

}  // namespace

std::string XdgConfigHome() { return EnvOr("XDG_CONFIG_HOME", "/.config"); }
std::string XdgStateHome() { return EnvOr("XDG_STATE_HOME", "/.local/state"); }
std::string XdgDataHome() { return EnvOr("XDG_DATA_HOME", "/.local/share"); }
std::string XdgRuntimeDir() { return AbsoluteEnv("XDG_RUNTIME_DIR"); }

}  // namespace quorvix::platform
