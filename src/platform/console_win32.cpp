#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdlib>

#include "platform/console.h"
#include "platform/win32_text.h"

namespace quorvix::platform {
namespace {

constexpr const char* kBackgroundOption = "--background";

UINT savedOutputCodePage = 0;

void RestoreOutputCodePage() {
  if (savedOutputCodePage != 0) ::SetConsoleOutputCP(savedOutputCodePage);
}

}  // namespace

void PrepareConsole() {
  // The console keeps the code page after the program ends: the command prompt that started
  // it must get its own back.
  savedOutputCodePage = ::GetConsoleOutputCP();
  if (savedOutputCodePage != 0 && ::SetConsoleOutputCP(CP_UTF8)) {
    std::atexit(RestoreOutputCodePage);
  }
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(Narrow(wide[i]));
  ::LocalFree(wide);
  return args;
}

std::string AutoRunArguments() { return std::string("run ") + kBackgroundOption; }

bool TakeBackgroundOption(std::vector<std::string>& args) {
  if (args != std::vector<std::string>{"run", kBackgroundOption}) return false;
  args.pop_back();
  // The window of a console started for this process alone goes with it; the log file, the
  // status and `quorvixddnsd status` still tell what the client does.
  ::FreeConsole();
  return true;
}

}  // namespace quorvix::platform
