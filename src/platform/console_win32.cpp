#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <iostream>
#include <streambuf>

#include "platform/console.h"
#include "platform/win32_text.h"

namespace quorvix::platform {
namespace {

constexpr const char* kBackgroundOption = "--background";

// A console shows what the program writes (UTF-8) through the wide API, whatever its code page
// (936, 437) and whatever the C run-time makes of bytes; files and pipes get the bytes as they
// are.
class ConsoleBuffer final : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) { setp(buffer_, buffer_ + kSize); }

 protected:
  int_type overflow(int_type c) override {
    sync();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
  }

  int sync() override {
    pending_.append(pbase(), pptr());
    setp(buffer_, buffer_ + kSize);
    // A character cut at the buffer's end waits for its other bytes.
    std::size_t complete = pending_.size();
    for (std::size_t back = 1; back <= 3 && back <= pending_.size(); ++back) {
      const auto byte = static_cast<unsigned char>(pending_[pending_.size() - back]);
      if ((byte & 0xC0) != 0x80) {  // the last character's first byte
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        if (length > back) complete = pending_.size() - back;
        break;
      }
    }
    const std::wstring wide = Widen(std::string_view(pending_).substr(0, complete));
    pending_.erase(0, complete);
    DWORD written = 0;
    return wide.empty() || ::WriteConsoleW(console_, wide.data(), static_cast<DWORD>(wide.size()),
                                           &written, nullptr)
               ? 0
               : -1;
  }

 private:
  static constexpr std::size_t kSize = 1024;
  HANDLE console_;
  char buffer_[kSize];
  std::string pending_;
};

void ShowOnConsole(DWORD which, std::ostream& stream) {
  const HANDLE handle = ::GetStdHandle(which);
  DWORD mode = 0;
  if (::GetConsoleMode(handle, &mode) == 0) return;
  // Never deleted: the streams are flushed at exit, after static objects are gone.
  stream.rdbuf(new ConsoleBuffer(handle));
}

}  // namespace

void PrepareConsole() {
  ShowOnConsole(STD_OUTPUT_HANDLE, std::cout);
  ShowOnConsole(STD_ERROR_HANDLE, std::cerr);
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
